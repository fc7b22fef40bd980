// Guarded calls: a processor fault (access violation, division fault, illegal instruction, bus
// error) inside a call made through GuardedCall returns the call with false on the thread that
// made it, as a structured exception handler would, where nothing the fault cut short can be
// left for other code to wait on. Each thread keeps its own guards; one process-wide signal
// handler serves them all. A fault that cannot be recovered on its own thread goes to the fatal
// reporter that the program set, with the address that faulted and the instruction.
#pragma once
#include <atomic>
#include <csetjmp>
#include <cstddef>
#include <cstdint>

namespace vx::win {

// What the processor reported of a fault.
struct FaultReport {
  int signal;
  uintptr_t address;         // the memory address that faulted (for SIGSEGV and SIGBUS), else 0
  uintptr_t programCounter;  // the faulting instruction, 0 for a signal sent by a process
};
// "signal 11 at address 0x..., instruction 0x..." into out, ended by a zero byte when it fits;
// its length without the zero. Async-signal-safe.
size_t DescribeFault(const FaultReport& fault, char* out, size_t size);

// Ends the process after a fault that no guard can take back; runs inside the signal handler, so
// it may use only async-signal-safe calls, and must not return.
using FatalFaultReporter = void (*)(const FaultReport& fault);
// The reporter for every thread; null leaves such faults to the handler that was there before.
// The first call also gives the calling thread (the program's own) an alternate stack for the
// handler, so that an overflow of its stack is reported too.
void SetFatalFaultReporter(FatalFaultReporter reporter);

namespace detail {

struct FaultGuard {
  sigjmp_buf jump;
  FaultGuard* outer;  // the guard this one is nested in, on the same thread
};

// The innermost guard of this thread while its call runs. Initial-exec, so that the signal handler
// reads it without a call that may allocate.
inline thread_local FaultGuard* tInnermostGuard __attribute__((tls_model("initial-exec"))) = nullptr;

// Installs the process-wide handler, once, whichever thread asks first.
void InstallFaultHandler();
inline std::atomic<bool> gFaultHandlerInstalled{false};
inline void EnsureFaultHandler() {
  if (!gFaultHandlerInstalled.load(std::memory_order_acquire)) InstallFaultHandler();
}

// Puts the guard back to its outer one however the call ends.
struct GuardScope {
  FaultGuard& guard;
  ~GuardScope() {
    tInnermostGuard = guard.outer;
    std::atomic_signal_fence(std::memory_order_seq_cst);
  }
};

}  // namespace detail

// Calls call(); false when it ended in a fault that was recovered. Exceptions pass through. What
// the frames cut short by a fault held (heap blocks, objects) is not released: their destructors
// never run.
template <class F>
[[gnu::noinline]] bool GuardedCall(F&& call) {
  detail::EnsureFaultHandler();
  detail::FaultGuard guard;
  guard.outer = detail::tInnermostGuard;
  const detail::GuardScope scope{guard};
  if (sigsetjmp(guard.jump, 1) != 0) return false;
  detail::tInnermostGuard = &guard;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  call();
  return true;
}

}  // namespace vx::win
