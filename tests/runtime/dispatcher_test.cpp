// The dispatcher: slice ends in counting and time-slice mode, unknown commands and faults inside
// handlers.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include "display/draw_queue.h"
#include "platform/win/held_locks.h"
#include "platform/win/keyboard.h"
#include "platform/win/messages.h"
#include "platform/win/time.h"
#include "runtime/dispatcher.h"
#include "runtime/errors.h"
#include "runtime/program_image.h"
#include "runtime/run_setup.h"
#include "system/system_state.h"
#include "tests/support/image_builder.h"
#include "tests/support/processor_fault.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

using test::ImageBuilder;

constexpr int kProbe = 9998;  // free command numbers for test handlers
constexpr int kFault = 9999;
constexpr int kUnknown = 2008;  // a number between commands, which no row names

int gProbeCalls = 0;
void Probe() {
  ++gProbeCalls;
  test::gTestClock += 1;  // each probe command takes a millisecond
}

bool gF11Down = false;
int16_t TestKeys(int vk) { return (vk == win::VK_F11 && gF11Down) ? int16_t(0x8000) : int16_t(0); }

class DispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::PrepareRuntime();
    RegisterCommand(kProbe, Probe);
    gProbeCalls = 0;
    gF11Down = false;
    test::gTestClock = 1000;
    win::SetKeyStateSource(TestKeys);
  }
  void TearDown() override {
    RegisterCommand(kProbe, nullptr);
    RegisterCommand(kFault, nullptr);
    win::SetKeyStateSource(nullptr);
    Interpreter().gStandaloneFlag = 0;
    DrawQueue().gDrawQueueCount = 0;
    FreeProgramImage();
  }

  // Loads a straight run of probe commands and starts a run.
  void LoadProbes(int count) {
    ImageBuilder b;
    for (int i = 0; i < count; ++i) b.Cmd(kProbe);
    ASSERT_TRUE(b.Load());
    win::ClearMessageQueue();
    ResetRuntimeState();
    BeginProgramRun();
  }
  long CommandIndex() const { return long(Interpreter().gProgramCounter - Runtime().gCodeBase); }
};

TEST_F(DispatcherTest, StandaloneGameIgnoresBreakKeysButNotAFullDrawQueue) {
  LoadProbes(1000);
  ExecuteTimeSlice();
  Dispatcher().gTimeSliceMode = 0;
  Interpreter().gStandaloneFlag = 1;
  gF11Down = true;
  DrawQueue().gDrawQueueCount = 32001;
  ExecuteTimeSlice();
  EXPECT_EQ(gProbeCalls, 201);
  DrawQueue().gDrawQueueCount = 32000;
  ExecuteTimeSlice();  // nothing asks for a yield: runs off the end of the code
  EXPECT_EQ(gProbeCalls, 1000);
  EXPECT_TRUE(win::QuitMessagePending());
  EXPECT_EQ(Interpreter().gErrorCode, 0);
}

// Counting mode ends no slice by itself, so the checks after every 201 commands also look, a few
// milliseconds apart, for a close (a signal arrives as one), Esc while enabled, or a quit. They
// take nothing from the queue: the main loop handles what they found.
TEST_F(DispatcherTest, CountingModeEndsItsSliceForAWaitingCloseEscOrQuit) {
  const auto window = reinterpret_cast<win::HWND>(uintptr_t(8));
  const struct {
    const char* what;
    win::UINT message;
    win::WPARAM wParam;
    uint32_t escapeEnabled;
    bool ends;
  } kCases[] = {
      {"close", win::WM_CLOSE, 0, 1, true},
      {"Esc", win::WM_KEYDOWN, win::VK_ESCAPE, 1, true},
      {"quit", win::WM_QUIT, 0, 1, true},
      {"Esc while disabled", win::WM_KEYDOWN, win::VK_ESCAPE, 0, false},
      {"another key", win::WM_KEYDOWN, 'A', 1, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    LoadProbes(2000);
    gProbeCalls = 0;
    ExecuteTimeSlice();
    Dispatcher().gTimeSliceMode = 0;
    System().gEscapeEnabled = c.escapeEnabled;
    win::PostMessageA(window, c.message, c.wParam, 0);
    ExecuteTimeSlice();
    if (c.ends) {
      EXPECT_LE(gProbeCalls, 2 * 201);
      win::MSG msg{};
      EXPECT_TRUE(win::PeekMessageA(&msg, nullptr, 0, 0, win::PM_NOREMOVE));
      EXPECT_EQ(msg.message, c.message) << "the request is still there for the main loop";
    } else {
      EXPECT_EQ(gProbeCalls, 2000);
    }
  }
  System().gEscapeEnabled = 1;
}

// A clock that moves a millisecond each time it is read.
uint32_t gClockReads = 0;
uint32_t ReadMovingClock() { return 1000 + gClockReads++; }

// The commands a loop spends its time in run inline in the slice loop and cost the time-slice
// check less than other commands: a run of them reads the clock once per kClockCheckBudget, and
// the slice still ends on the first read past its length. Counting mode counts them one by one,
// also across a command that switches the mode.
TEST_F(DispatcherTest, FastCommandsReadTheClockSeldomAndCountOneByOne) {
  ImageBuilder b;
  const int a = b.IntVar(), one = b.IntConst(1);
  b.Cmd(kCmdAddInt, {a, a, one}).Cmd(kCmdManualRefresh);
  b.Label("top").Cmd(kCmdAddInt, {a, a, one}).Cmd(kCmdGoto, {test::To("top")});
  ASSERT_TRUE(b.Load());
  win::ClearMessageQueue();
  ResetRuntimeState();
  BeginProgramRun();
  ExecuteTimeSlice();  // the run set-up's yield

  // Time-slice mode for the first two commands; the second switches to counting mode and ends
  // the slice, counted as the first command of the count. F11 ends the next slice 200 commands on.
  gF11Down = true;
  ExecuteTimeSlice();
  EXPECT_EQ(test::IntAt(a), 1);
  EXPECT_EQ(Dispatcher().gCommandCount, 1u);
  ExecuteTimeSlice();
  EXPECT_EQ(test::IntAt(a), 1 + 100);
  EXPECT_EQ(Dispatcher().gCommandCount, 0u);

  // Time-slice mode: the slice starts with a read and reads again every kClockCheckBudget fast
  // commands until more than gSliceLength milliseconds have passed.
  Dispatcher().gTimeSliceMode = 1;
  gClockReads = 0;
  win::SetClockSource(ReadMovingClock);
  const int32_t before = test::IntAt(a);
  ExecuteTimeSlice();
  win::SetClockSource(test::TestClock);
  const uint32_t checks = Dispatcher().gSliceLength + 1;
  EXPECT_EQ(gClockReads, 1 + checks);
  EXPECT_EQ(test::IntAt(a) - before, int32_t(checks * kClockCheckBudget / 2));
}

// Debug mode (DEBUGMODE=1 in SETUP.INI) runs every command through the traced loop, which checks
// the clock in time-slice mode as the plain loop does: a program that never yields still leaves
// its slice, so that the frames go on. Each probe takes a millisecond, and the clock is read
// every kClockCheckInterval commands until a read finds the slice's length passed.
TEST_F(DispatcherTest, DebugModeEndsATimeSliceByTheClock) {
  test::TempFolder dir;
  const std::string programFolder = Host().gProgramFolder;
  Host().gProgramFolder = dir.path();  // the trace goes to VX.LOG there
  Dispatcher().gDebugMode = 1;
  LoadProbes(1000);
  ExecuteTimeSlice();  // the run set-up's yield
  gProbeCalls = 0;
  ExecuteTimeSlice();
  Dispatcher().gDebugMode = 0;
  Host().gProgramFolder = programFolder;
  EXPECT_EQ(gProbeCalls, int(Dispatcher().gSliceLength / kClockCheckInterval + 1) * kClockCheckInterval);
  EXPECT_NE(dir.Read("VX.LOG").find("[VORLIXLOOPMIDDLE]"), std::string::npos) << "the slice ran untraced";
}

TEST_F(DispatcherTest, UnknownCommandEndsQuietlyWithCounterOnIt) {
  ImageBuilder b;
  ASSERT_EQ(FindCommandRow(kUnknown), nullptr);
  b.Cmd(kProbe).Cmd(kUnknown).Cmd(kProbe);
  auto r = test::RunImage(b);
  EXPECT_TRUE(r.ended);
  EXPECT_EQ(r.errorCode, 0);
  EXPECT_EQ(gProbeCalls, 1);
  EXPECT_EQ(CommandIndex(), 1);
  EXPECT_EQ(Interpreter().gProgramCounter->word, kUnknown);
}

// An exception's own text goes to the engine log, which the error box shows; one without text
// leaves the message the command logged there.
TEST_F(DispatcherTest, FaultsInHandlersBecomeSevereException) {
  RegisterCommand(kFault, [] {
    EngineErrorLog("Device lost");
    throw std::runtime_error("boom");
  });
  ImageBuilder b;
  b.Cmd(kProbe).Cmd(kFault).Cmd(kProbe);
  ASSERT_TRUE(b.Load());
  auto r = test::RunLoaded();
  EXPECT_TRUE(r.ended);
  EXPECT_EQ(r.errorCode, kErrSevereException);
  EXPECT_EQ(r.errorText, "System Error : Severe Exception!. boom");
  EXPECT_EQ(gProbeCalls, 1);

  RegisterCommand(kFault, [] {
    EngineErrorLog("Device lost");
    throw 42;
  });
  ASSERT_TRUE(b.Load());
  r = test::RunLoaded();
  Runtime().gLastEngineError[0] = '\0';
  EXPECT_EQ(r.errorCode, kErrSevereException);
  EXPECT_EQ(r.errorText, "System Error : Severe Exception!. Device lost");
  EXPECT_EQ(gProbeCalls, 2);

  RegisterCommand(kFault, [] { std::raise(SIGFPE); });  // a processor fault
  EXPECT_EQ(test::RunImage(b).errorCode, kErrSevereException);
  EXPECT_EQ(gProbeCalls, 3);
}

// The error names the line of the command that faulted, also after commands that run inline.
TEST_F(DispatcherTest, AFaultInTheProgramsOwnCodeBecomesSevereExceptionAndTheRunGoesOnToItsEnd) {
  RegisterCommand(kFault, [] {
    EngineErrorLog("Device lost");
    test::WriteToNoAccessPage();
  });
  ImageBuilder b;
  const int a = b.IntVar(), one = b.IntConst(1);
  b.Cmd(kProbe, {}, 1).Cmd(kCmdAddInt, {a, a, one}, 2).Cmd(kFault, {}, 3).Cmd(kCmdAddInt, {a, a, one}, 4);
  b.Cmd(kProbe, {}, 5);
  ASSERT_TRUE(b.Load());
  const auto r = test::RunLoaded();
  Runtime().gLastEngineError[0] = '\0';
  EXPECT_TRUE(r.ended);
  EXPECT_EQ(r.errorCode, kErrSevereException);
  EXPECT_EQ(r.errorText, "System Error : Severe Exception!. Device lost");
  EXPECT_EQ(Runtime().gErrorLine, 3u);
  EXPECT_EQ(gProbeCalls, 1);
}

// A fault inside a library (here the C library's, or the sanitizer's in its place) or while a lock
// is held may have left a lock taken that the run's end would wait for: the process ends at once,
// with the error box's text on standard error.
TEST_F(DispatcherTest, AFaultThatMayHaveCutALockShortEndsTheProcessWithTheErrorText) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ImageBuilder b;
  b.Cmd(kProbe).Cmd(kFault).Cmd(kProbe);
  const auto run = [&](bool standalone) {
    if (!b.Load()) std::_Exit(3);
    test::RunLoaded(1000, standalone);
    std::_Exit(4);  // not reached
  };
  RegisterCommand(kFault, [] {
    EngineErrorLog("Device lost");
    std::printf("%zu\n", std::strlen(test::NoAccessPage()));
  });
  // The text names where: the address read and the instruction that read it.
  EXPECT_EXIT(run(false), ::testing::ExitedWithCode(1),
              "Error In Program: System Error : Severe Exception!\\. Device lost "
              "\\(signal 11 at address 0x[0-9a-f]{16}, instruction 0x[0-9a-f]{16}\\)");
  RegisterCommand(kFault, [] {
    static std::mutex lock;
    const win::CountedLock hold(lock);
    test::WriteToNoAccessPage();
  });
  EXPECT_EXIT(run(false), ::testing::ExitedWithCode(1), "Severe Exception!");
  // A game exits as after any error box.
  EXPECT_EXIT(run(true), ::testing::ExitedWithCode(0), "Severe Exception!");
}

}  // namespace
}  // namespace vx
