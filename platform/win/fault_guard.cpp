// The process-wide fault handler behind GuardedCall (fault_guard.h). A fault jumps back into the
// innermost guard of the thread it happened on when nothing that it cut short can be waiting for
// later code: the process sent the signal to itself, or the faulting instruction lies in the
// executable's own code, and the thread holds none of the locks it counts (held_locks.h). Any
// other fault may have stopped a library (the allocator, stdio, a decoder) inside a lock that
// later code takes again, or belongs to a thread without a guard: the program's fatal reporter
// ends the process. The handler reads only this thread's guard and lock count, tables made at
// installation and an atomic pointer, and allocates nothing.
#include "platform/win/fault_guard.h"

#include <link.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdint>
#include <iterator>
#include <mutex>

#include "platform/win/held_locks.h"

namespace vx::win {

namespace {

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};

struct CodeRange {
  uintptr_t begin, end;
};
CodeRange gOwnCode[8];
size_t gOwnCodeCount = 0;
struct sigaction gPrevious[std::size(kFaultSignals)];
std::atomic<FatalFaultReporter> gReporter{nullptr};

int NoteOwnCode(dl_phdr_info* info, size_t, void*) {
  // The executable comes first, and is all that is looked at.
  for (int i = 0; i < info->dlpi_phnum && gOwnCodeCount < std::size(gOwnCode); ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    if (segment.p_type != PT_LOAD || !(segment.p_flags & PF_X)) continue;
    const uintptr_t begin = info->dlpi_addr + segment.p_vaddr;
    gOwnCode[gOwnCodeCount++] = CodeRange{begin, begin + segment.p_memsz};
  }
  return 1;
}

uintptr_t InstructionAddress(const void* context) {
  const auto* machine = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
  return uintptr_t(machine->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
  return uintptr_t(machine->uc_mcontext.pc);
#else
  (void)machine;
  return 0;  // unknown: never taken for the executable's own code
#endif
}

bool FaultLeavesNothingHeld(const siginfo_t* info, const void* context) {
  if (LocksHeld() != 0) return false;
  if (info->si_code <= 0) return info->si_pid == getpid();
  const uintptr_t at = InstructionAddress(context);
  for (size_t i = 0; i < gOwnCodeCount; ++i)
    if (at >= gOwnCode[i].begin && at < gOwnCode[i].end) return true;
  return false;
}

FaultReport ReportOf(int signal, const siginfo_t* info, const void* context) {
  const bool sent = info->si_code <= 0;
  const bool memory = signal == SIGSEGV || signal == SIGBUS;
  return FaultReport{signal, !sent && memory ? reinterpret_cast<uintptr_t>(info->si_addr) : 0,
                     sent ? 0 : InstructionAddress(context)};
}

// Appends text to out[0, size) from `length` on; the new length.
size_t Append(char* out, size_t size, size_t length, const char* text) {
  for (; *text != '\0' && length < size; ++text) out[length++] = *text;
  return length;
}

size_t AppendHex(char* out, size_t size, size_t length, uintptr_t value) {
  char digits[2 + 2 * sizeof value + 1] = "0x";
  size_t count = 2;
  for (int shift = int(8 * sizeof value) - 4; shift >= 0; shift -= 4)
    digits[count++] = "0123456789abcdef"[(value >> shift) & 0xF];
  digits[count] = '\0';
  return Append(out, size, length, digits);
}

size_t AppendDecimal(char* out, size_t size, size_t length, int value) {
  char digits[12];
  size_t count = 0;
  unsigned magnitude = value < 0 ? 0u - unsigned(value) : unsigned(value);
  do {
    digits[count++] = char('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) digits[count++] = '-';
  while (count > 0 && length < size) out[length++] = digits[--count];
  return length;
}

void OnFault(int signal, siginfo_t* info, void* context) {
  detail::FaultGuard* guard = detail::tInnermostGuard;
  if (guard && FaultLeavesNothingHeld(info, context)) {
    detail::tInnermostGuard = guard->outer;
    siglongjmp(guard->jump, 1);
  }
  if (const FatalFaultReporter report = gReporter.load()) report(ReportOf(signal, info, context));
  // Without a reporter the handler from before (the default, or a sanitizer's) takes the fault: a
  // faulting instruction faults again once this returns, a sent signal is sent again.
  for (size_t i = 0; i < std::size(kFaultSignals); ++i)
    if (kFaultSignals[i] == signal) sigaction(signal, &gPrevious[i], nullptr);
  if (info->si_code <= 0) raise(signal);
}

void Install() {
  dl_iterate_phdr(NoteOwnCode, nullptr);
  struct sigaction action {};
  action.sa_sigaction = OnFault;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < std::size(kFaultSignals); ++i) sigaction(kFaultSignals[i], &action, &gPrevious[i]);
}

}  // namespace

namespace detail {

void InstallFaultHandler() {
  static std::once_flag once;
  std::call_once(once, Install);
  gFaultHandlerInstalled.store(true, std::memory_order_release);
}

}  // namespace detail

size_t DescribeFault(const FaultReport& fault, char* out, size_t size) {
  if (size == 0) return 0;
  const size_t room = size - 1;
  size_t length = Append(out, room, 0, "signal ");
  length = AppendDecimal(out, room, length, fault.signal);
  length = Append(out, room, length, " at address ");
  length = AppendHex(out, room, length, fault.address);
  length = Append(out, room, length, ", instruction ");
  length = AppendHex(out, room, length, fault.programCounter);
  out[length] = '\0';
  return length;
}

void SetFatalFaultReporter(FatalFaultReporter reporter) {
  detail::EnsureFaultHandler();
  gReporter.store(reporter);
  // The program's thread gets a stack of its own for the handler, so that an overflow of its
  // stack is reported too.
  static bool stackGiven = false;
  if (stackGiven) return;
  stackGiven = true;
  static char alternateStack[64 * 1024];
  stack_t stack{};
  stack.ss_sp = alternateStack;
  stack.ss_size = sizeof alternateStack;
  sigaltstack(&stack, nullptr);
}

}  // namespace vx::win
