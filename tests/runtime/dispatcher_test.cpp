// The dispatcher: slice ends in counting and time-slice mode, unknown commands and faults inside
// handlers.
#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>

#include "display/draw_queue.h"
#include "platform/win/keyboard.h"
#include "platform/win/messages.h"
#include "runtime/dispatcher.h"
#include "runtime/errors.h"
#include "runtime/program_image.h"
#include "runtime/run_setup.h"
#include "tests/support/image_builder.h"
#include "tests/support/run_program.h"

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
    gStandaloneFlag = 0;
    gDrawQueueCount = 0;
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
  long CommandIndex() const { return long(gProgramCounter - gCodeBase); }
};

TEST_F(DispatcherTest, StandaloneGameIgnoresBreakKeysButNotAFullDrawQueue) {
  LoadProbes(1000);
  ExecuteTimeSlice();
  gTimeSliceMode = 0;
  gStandaloneFlag = 1;
  gF11Down = true;
  gDrawQueueCount = 32001;
  ExecuteTimeSlice();
  EXPECT_EQ(gProbeCalls, 201);
  gDrawQueueCount = 32000;
  ExecuteTimeSlice();  // nothing asks for a yield: runs off the end of the code
  EXPECT_EQ(gProbeCalls, 1000);
  EXPECT_TRUE(win::QuitMessagePending());
  EXPECT_EQ(gErrorCode, 0);
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
  EXPECT_EQ(gProgramCounter->word, kUnknown);
}

TEST_F(DispatcherTest, FaultsInHandlersBecomeSevereException) {
  RegisterCommand(kFault, [] { throw std::runtime_error("boom"); });
  ImageBuilder b;
  b.Cmd(kProbe).Cmd(kFault).Cmd(kProbe);
  ASSERT_TRUE(b.Load());
  EngineErrorLog("Device lost");
  auto r = test::RunLoaded();
  gLastEngineError[0] = '\0';
  EXPECT_TRUE(r.ended);
  EXPECT_EQ(r.errorCode, kErrSevereException);
  EXPECT_EQ(r.errorText, "System Error : Severe Exception!. Device lost");
  EXPECT_EQ(gProbeCalls, 1);

  RegisterCommand(kFault, [] { std::raise(SIGFPE); });  // a processor fault
  EXPECT_EQ(test::RunImage(b).errorCode, kErrSevereException);
  EXPECT_EQ(gProbeCalls, 2);
}

}  // namespace
}  // namespace vx
