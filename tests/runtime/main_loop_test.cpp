// The main loop's message handling and the window procedure, with injected messages.
#include <gtest/gtest.h>

#include <string>

#include "common/runtime_hooks.h"
#include "display/draw_queue.h"
#include "display/input_devices.h"
#include "platform/win/messages.h"
#include "platform/win/window.h"
#include "runtime/dispatcher_state.h"
#include "runtime/main_loop.h"
#include "runtime/program_image.h"
#include "runtime/run_setup.h"
#include "system/system_state.h"
#include "tests/support/run_program.h"

namespace vx {
namespace {

class MainLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::PrepareRuntime();
    System().gWindowMode = 0;
  }
  void TearDown() override {
    win::ClearMessageQueue();
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
  EXPECT_EQ(Input().gKeyboardBuffer.size(), 256u);
  Send(win::WM_CHAR, 'Z');
  typed += 'Z';
  EXPECT_EQ(Input().gKeyboardBuffer.size(), 512u);
  EXPECT_EQ(Input().gKeyboardBufferCount, 253u);
  EXPECT_EQ(std::string(Input().gKeyboardBuffer.data()), typed);
}

TEST_F(MainLoopTest, WindowMovedPartlyOffTheScreenKeepsItsSign) {
  Send(win::WM_MOVE, 0, win::LPARAM((uint32_t(uint16_t(-8)) << 16) | 30));
  EXPECT_EQ(System().gWindowClientX, 30);
  EXPECT_EQ(System().gWindowClientY, -8);
  System().gWindowClientX = System().gWindowClientY = 0;
}

TEST_F(MainLoopTest, OccasionalPumpDrainsOnceIn50001CallsAndKeepsAQuit) {
  Dispatcher().gPumpCallCount = 0;
  win::PostMessageA(nullptr, win::WM_NULL, 0, 0);
  for (int i = 0; i < 50000; ++i) PumpMessagesOccasionally();
  win::MSG msg{};
  EXPECT_TRUE(win::PeekMessageA(&msg, nullptr, 0, 0, win::PM_NOREMOVE));
  win::PostQuitMessage(3);
  PumpMessagesOccasionally();
  EXPECT_EQ(Dispatcher().gPumpCallCount, 0);
  ASSERT_TRUE(win::PeekMessageA(&msg, nullptr, 0, 0, win::PM_REMOVE));
  EXPECT_EQ(msg.message, win::WM_QUIT);  // the quit is still there for the main loop
  EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(MainLoopTest, ARunStartsWithAnEmptyDrawQueue) {
  ValueSlot left{};
  QueueReadPixel(0, 0, &left);  // an earlier run's item, pointing into its slots
  QueueBox(0, 0, 1, 1);
  ResetRuntimeState();
  EXPECT_EQ(DrawQueue().gDrawQueueCount, 0u);
  DrawQueue().gDrawQueue.Destroy();
}

}  // namespace
}  // namespace vx
