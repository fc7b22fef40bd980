// The main loop and the window procedure with an injected clock and injected messages.
#include <gtest/gtest.h>

#include <string>

#include "display/draw_queue.h"
#include "platform/win/messages.h"
#include "platform/win/time.h"
#include "platform/win/window.h"
#include "runtime/dispatcher.h"
#include "runtime/interpreter.h"
#include "runtime/main_loop.h"
#include "runtime/program_image.h"
#include "runtime/run_setup.h"
#include "system/system_state.h"
#include "tests/support/image_builder.h"
#include "tests/support/run_program.h"

namespace vx {
namespace {

// A clock that moves on by a millisecond every few readings, so busy waits end.
uint32_t gReadings = 0;
win::DWORD CreepingClock() { return 5000 + (++gReadings / 4); }

class MainLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::PrepareRuntime();
    win::SetClockSource(CreepingClock);
    gReadings = 0;
    gWindowMode = 0;
    gAlwaysActive = 0;
    gEscapeEnabled = 1;
    gAppActive = 1;
  }
  void TearDown() override {
    win::ClearMessageQueue();
    win::SetClockSource(nullptr);
    gAppActive = 1;
    gAlwaysActive = 0;
    gWindowMode = 0;
    FreeProgramImage();
  }
  win::LRESULT Send(win::UINT message, win::WPARAM wParam = 0, win::LPARAM lParam = 0) {
    return MainWindowProc(nullptr, message, wParam, lParam);
  }
};

TEST_F(MainLoopTest, KeyboardBufferDoublesBeforeItFillsAndKeepsItsText) {
  ResetKeyboardBuffer();
  std::string typed;
  for (int i = 0; i < 252; ++i) {
    char c = char('a' + i % 26);
    typed += c;
    Send(win::WM_CHAR, win::WPARAM(uint8_t(c)));
  }
  EXPECT_EQ(gKeyboardBuffer.size(), 256u);
  Send(win::WM_CHAR, 'Z');
  typed += 'Z';
  EXPECT_EQ(gKeyboardBuffer.size(), 512u);
  EXPECT_EQ(gKeyboardBufferCount, 253u);
  EXPECT_EQ(std::string(gKeyboardBuffer.data()), typed);
  EXPECT_EQ(gLastKeyChar, 'Z');
  Send(win::WM_MOUSEMOVE);
  EXPECT_EQ(gLastKeyChar, 0);  // every message clears it first
}

TEST_F(MainLoopTest, FrameTimeZeroWaitsForTheNextMillisecond) {
  gAppActive = 1;
  gFrameTime = 0;
  gLastFrameTime = win::timeGetTime();
  const uint32_t before = gLastFrameTime;
  FrameUpdate();
  EXPECT_EQ(gLastFrameTime, before + 1);
  gFrameTime = 25;
  FrameUpdate();
  EXPECT_GE(gLastFrameTime - before, 26u);
}

TEST_F(MainLoopTest, EscQuitsOnlyWhileEnabled) {
  gEscapeEnabled = 0;
  Send(win::WM_KEYDOWN, win::VK_ESCAPE);
  EXPECT_FALSE(win::QuitMessagePending());
  gEscapeEnabled = 1;
  Send(win::WM_KEYDOWN, win::VK_ESCAPE);
  EXPECT_TRUE(win::QuitMessagePending());
}

TEST_F(MainLoopTest, DeactivationPausesAFullScreenProgramUnlessAlwaysActive) {
  Send(win::WM_ACTIVATE, win::WA_INACTIVE);
  EXPECT_EQ(gAppActive, 0u);
  EXPECT_EQ(gHasFocus, 0u);
  Send(win::WM_ACTIVATE, win::WA_ACTIVE);
  EXPECT_EQ(gAppActive, 1u);
  EXPECT_EQ(gHasFocus, 1u);

  gAlwaysActive = 1;
  Send(win::WM_ACTIVATE, win::WA_INACTIVE);
  EXPECT_EQ(gAppActive, 1u);
  EXPECT_EQ(gRenderEnabled, 0u);

  gAlwaysActive = 0;
  gWindowMode = 1;
  Send(win::WM_ACTIVATE, win::WA_INACTIVE);
  EXPECT_EQ(gAppActive, 1u);  // a windowed program goes on
  EXPECT_EQ(gRenderEnabled, 1u);
}

TEST_F(MainLoopTest, WindowGeometryAndMouseInAWindow) {
  Send(win::WM_MOVE, 0, win::LPARAM((uint32_t(uint16_t(-8)) << 16) | 30));
  EXPECT_EQ(gWindowClientX, 30);
  EXPECT_EQ(gWindowClientY, -8);
  Send(win::WM_SIZE, 0, win::LPARAM((480u << 16) | 640u));
  EXPECT_EQ(gWindowWidth, 640);
  EXPECT_EQ(gWindowHeight, 480);
  gWindowMode = 1;
  gWindowClientX = gWindowClientY = 0;
  Send(win::WM_MOUSEMOVE, 0, win::LPARAM((100u << 16) | 50u));
  EXPECT_EQ(gMouseX, 50);
  EXPECT_EQ(gMouseY, 100);
  Send(win::WM_RBUTTONDOWN);
  EXPECT_EQ(gMouseButtons, 2);
  EXPECT_EQ(gMouseClickState, 2);
  Send(win::WM_RBUTTONUP);
  EXPECT_EQ(gMouseButtons, 0);
  EXPECT_EQ(Send(win::WM_SETCURSOR), 1);
}

TEST_F(MainLoopTest, OccasionalPumpDrainsOnceIn50001CallsAndKeepsAQuit) {
  gPumpCallCount = 0;
  win::PostMessageA(nullptr, win::WM_NULL, 0, 0);
  for (int i = 0; i < 50000; ++i) PumpMessagesOccasionally();
  win::MSG msg{};
  EXPECT_TRUE(win::PeekMessageA(&msg, nullptr, 0, 0, win::PM_NOREMOVE));
  win::PostQuitMessage(3);
  PumpMessagesOccasionally();
  EXPECT_EQ(gPumpCallCount, 0);
  ASSERT_TRUE(win::PeekMessageA(&msg, nullptr, 0, 0, win::PM_REMOVE));
  EXPECT_EQ(msg.message, win::WM_QUIT);  // the quit is still there for the main loop
  EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(MainLoopTest, RunsAProgramToItsEndFrameByFrame) {
  test::ImageBuilder b;
  int i = b.IntVar(), limit = b.IntConst(1000), one = b.IntConst(1);
  b.Label("top").Cmd(7, {i, limit, one, test::To("end")}).Cmd(2, {test::To("top")});
  b.Label("end");
  ASSERT_TRUE(b.Load());
  ResetRuntimeState();
  RunMainLoop();
  EXPECT_EQ(gErrorCode, 0);
  EXPECT_EQ(test::IntAt(i), 1001);
  EXPECT_FALSE(win::QuitMessagePending());  // the loop took it
}

TEST_F(MainLoopTest, ARunStartsWithAnEmptyDrawQueue) {
  ValueSlot left{};
  QueueReadPixel(0, 0, &left);  // an earlier run's item, pointing into its slots
  QueueBox(0, 0, 1, 1);
  ResetRuntimeState();
  EXPECT_EQ(gDrawQueueCount, 0u);
  gDrawQueue.Destroy();
}

}  // namespace
}  // namespace vx
