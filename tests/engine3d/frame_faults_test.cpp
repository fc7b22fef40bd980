// Faults while the rasteriser's threads are up: a handler that faults, and a fill job that faults
// on one of the threads, end the run with the severe-exception error, and the next frame draws the
// same picture with the threads still working; a fault on a thread that holds a lock ends the
// process with the error text.
#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/d3d/raster.h"
#include "platform/win/held_locks.h"
#include "tests/engine3d/program_world.h"
#include "tests/support/processor_fault.h"

namespace vx {
namespace {

constexpr unsigned kThreads = 4;
constexpr char kScene[] =
    "make object cube 1, 10\n"
    "color object 1, rgb(255, 0, 0)\n"
    "position object 1, 0, 0, 20\n"
    "do\n"
    "wait 1\n"
    "loop\n";

// What the next job that a pool thread takes does. The thread that asked for the batch waits in
// its own job until a pool thread has taken one, so that one surely does.
enum class PoolJob { Any, Note, Fault, FaultHoldingALock };
std::atomic<PoolJob> gNextPoolJob{PoolJob::Any};

void ProbeJob(int, bool worker) {
  PoolJob job = gNextPoolJob.load();
  if (job == PoolJob::Any) return;
  if (!worker) {
    while (gNextPoolJob.load() != PoolJob::Any) std::this_thread::yield();
    return;
  }
  if (!gNextPoolJob.compare_exchange_strong(job, PoolJob::Any)) return;
  if (job == PoolJob::Fault) test::WriteToNoAccessPage();
  if (job == PoolJob::FaultHoldingALock) {
    static std::mutex lock;
    const win::CountedLock hold(lock);
    test::WriteToNoAccessPage();
  }
}

CommandHandler gWait = nullptr;
std::atomic<bool> gWaitFaults{false};

class FrameFaultsTest : public test::ProgramWorld {
 protected:
  void SetUp() override {
    ProgramWorld::SetUp();
    raster::SetThreadCount(kThreads);
    raster::SetJobProbe(ProbeJob);
  }
  void TearDown() override {
    if (gWait) RegisterCommand(kCmdWait, gWait);
    gWait = nullptr;
    gWaitFaults = false;
    raster::SetJobProbe(nullptr);
    raster::SetThreadCount(0);
    ProgramWorld::TearDown();
  }

  // The scene on screen after a frame's drawing, part of it drawn by a pool thread.
  static std::vector<uint32_t> Picture() {
    gNextPoolJob = PoolJob::Note;
    RenderFrame();
    EXPECT_EQ(gNextPoolJob.load(), PoolJob::Any) << "a pool thread drew";
    return test::ScreenColours();
  }

  // Starts the scene and runs it into its loop; its picture, with the cube in the middle.
  std::vector<uint32_t> StartScene() {
    EXPECT_TRUE(Start(kScene));
    // The wait faults when asked to.
    gWait = Interpreter().gCommandHandlers[kCmdWait];
    RegisterCommand(kCmdWait, [] {
      if (gWaitFaults) test::WriteToNoAccessPage();
      gWait();
    });
    Frames(10);  // on to the loop
    const std::vector<uint32_t> picture = Picture();
    EXPECT_LT(std::count(picture.begin(), picture.end(), picture[0]), long(picture.size()) - 100) << "the cube shows";
    EXPECT_EQ(Interpreter().gErrorCode, 0);
    return picture;
  }

  // The next frame draws the same picture, and ends without an error.
  static void ExpectTheSameFrame(const std::vector<uint32_t>& before) {
    Interpreter().gErrorCode = 0;
    EXPECT_EQ(Picture(), before);
    EXPECT_EQ(Interpreter().gErrorCode, 0);
  }
};

TEST_F(FrameFaultsTest, AHandlerThatFaultsWhileThePoolThreadsRunEndsTheRunAndTheFramesGoOn) {
  const std::vector<uint32_t> before = StartScene();
  gWaitFaults = true;
  Frames(3);
  gWaitFaults = false;
  EXPECT_TRUE(win::QuitMessagePending());
  EXPECT_EQ(Interpreter().gErrorCode, kErrSevereException);
  ExpectTheSameFrame(before);
}

TEST_F(FrameFaultsTest, AFillJobThatFaultsOnAPoolThreadEndsTheFrameWithSevereException) {
  const std::vector<uint32_t> before = StartScene();
  gNextPoolJob = PoolJob::Fault;
  Frames(3);
  EXPECT_EQ(gNextPoolJob.load(), PoolJob::Any) << "the job faulted";
  EXPECT_TRUE(win::QuitMessagePending());
  EXPECT_EQ(Interpreter().gErrorCode, kErrSevereException);
  EXPECT_EQ(FormatErrorMessage(), "System Error : Severe Exception!. Failed to draw the scene");
  ExpectTheSameFrame(before);
}

TEST_F(FrameFaultsTest, AFaultOnAPoolThreadThatHoldsALockEndsTheProcessWithTheErrorText) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto run = [&] {
    StartScene();
    gNextPoolJob = PoolJob::FaultHoldingALock;
    Frames(3);
    std::_Exit(4);  // not reached
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(1), "Error In Program: System Error : Severe Exception!\\. ");
}

}  // namespace
}  // namespace vx
