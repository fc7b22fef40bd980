// Guarded calls: a fault returns the innermost guarded call of its own thread, however many
// threads fault at once, and nests and passes exceptions without losing the outer guards; a
// thread without a guard never lands on another thread's guard, it reaches the fatal reporter.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/win/fault_guard.h"
#include "tests/support/processor_fault.h"

namespace vx::win {
namespace {

using test::WriteToNoAccessPage;

TEST(FaultGuard, AFaultReturnsTheInnermostGuardAndExceptionsPassThrough) {
  bool innerFaulted = false, afterInner = false;
  EXPECT_TRUE(GuardedCall([&] {
    innerFaulted = !GuardedCall(WriteToNoAccessPage);
    afterInner = true;
    EXPECT_THROW(GuardedCall([] { throw std::runtime_error("thrown"); }), std::runtime_error);
    EXPECT_FALSE(GuardedCall(WriteToNoAccessPage)) << "the guards are whole after an exception";
  }));
  EXPECT_TRUE(innerFaulted);
  EXPECT_TRUE(afterInner);
  EXPECT_TRUE(GuardedCall([] {}));
}

TEST(FaultGuard, ThreadsFaultingTogetherEachComeBackOnTheirOwn) {
  constexpr int kThreads = 4, kFaults = 50;
  std::atomic<int> recovered{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < kFaults; ++i) recovered += GuardedCall(WriteToNoAccessPage) ? 0 : 1;
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(recovered.load(), kThreads * kFaults);
}

TEST(FaultGuard, AFaultOnAThreadWithoutAGuardGoesToTheReporter) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto run = [] {
    SetFatalFaultReporter([] {
      static const char kText[] = "fault without a guard\n";
      (void)!write(STDERR_FILENO, kText, sizeof kText - 1);
      _exit(5);
    });
    GuardedCall([] { std::thread(WriteToNoAccessPage).join(); });
    _exit(4);  // not reached
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(5), "fault without a guard");
}

}  // namespace
}  // namespace vx::win
