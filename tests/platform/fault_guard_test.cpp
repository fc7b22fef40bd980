// Guarded calls: a fault returns the innermost guarded call of its own thread, however many
// threads fault at once, and nests and passes exceptions without losing the outer guards; a
// thread without a guard never lands on another thread's guard, it reaches the fatal reporter.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <string>
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
    SetFatalFaultReporter([](const FaultReport&) {
      static const char kText[] = "fault without a guard\n";
      (void)!write(STDERR_FILENO, kText, sizeof kText - 1);
      _exit(5);
    });
    GuardedCall([] { std::thread(WriteToNoAccessPage).join(); });
    _exit(4);  // not reached
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(5), "fault without a guard");
}

// The reporter learns what faulted and where: the address written to and the instruction that
// wrote it, which lies in the test program's own code. The page is mapped anew in the process of
// the death test, so the reporter itself compares.
TEST(FaultGuard, TheReporterIsToldTheFaultAddressAndTheInstruction) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto run = [] {
    SetFatalFaultReporter([](const FaultReport& fault) {
      char text[96];
      const size_t n = DescribeFault(fault, text, sizeof text);
      (void)!write(STDERR_FILENO, text, n);
      const auto writer = reinterpret_cast<uintptr_t>(&test::WriteToNoAccessPage);
      const bool page = fault.address == reinterpret_cast<uintptr_t>(test::NoAccessPage());
      const bool inWriter = fault.programCounter >= writer && fault.programCounter < writer + 256;
      static const char kBoth[] = " on the page, in the writer\n";
      if (page && inWriter) (void)!write(STDERR_FILENO, kBoth, sizeof kBoth - 1);
      _exit(5);
    });
    std::thread(test::WriteToNoAccessPage).join();
    _exit(4);  // not reached
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(5),
              "signal 11 at address 0x[0-9a-f]{16}, instruction 0x[0-9a-f]{16} on the page, in the writer");
}

TEST(FaultGuard, AFaultDescriptionFitsTheRoomItIsGiven) {
  char text[16];
  const size_t n = DescribeFault({SIGBUS, 0x1234, 0xabcdef}, text, sizeof text);
  EXPECT_EQ(n, sizeof text - 1);
  EXPECT_STREQ(text, "signal 7 at add");
  char full[96];
  DescribeFault({SIGBUS, 0x1234, 0xabcdef}, full, sizeof full);
  EXPECT_STREQ(full, "signal 7 at address 0x0000000000001234, instruction 0x0000000000abcdef");
}

}  // namespace
}  // namespace vx::win
