// Fetch-and-call loop of the interpreter, with the end-of-command checks of both slice modes, the
// debug trace and the guard that turns a fault inside a handler into a system error.
#include "runtime/dispatcher.h"

#include <link.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>
#include <string>

#include "display/draw_queue.h"
#include "platform/win/held_locks.h"
#include "platform/win/keyboard.h"
#include "platform/win/messages.h"
#include "platform/win/profile.h"
#include "platform/win/time.h"
#include "runtime/errors.h"
#include "runtime/fast_commands.h"
#include "runtime/main_loop.h"
#include "runtime/program_image.h"

namespace vx {

namespace {

int32_t gClockCountdown = kClockCheckBudget;

// Fault guard: a processor fault inside a handler jumps back into the slice, where it becomes the
// severe-exception error, when nothing that the fault cut short can be waiting for the run's end:
// the process sent the signal to itself, or the faulting instruction lies in the executable's own
// code on the thread that runs the slices while that thread holds none of the locks it counts.
// Any other fault may have stopped a library (the allocator, stdio, a decoder) inside a lock that
// the run's end would take again; the handler then writes the error box's text with plain writes
// and ends the process.
sigjmp_buf gFaultJump;
volatile sig_atomic_t gGuardActive = 0;
pid_t gGuardThread = 0;

struct CodeRange {
  uintptr_t begin, end;
};
CodeRange gOwnCode[8];
size_t gOwnCodeCount = 0;
// The error box's caption and text up to the engine's last message, made when the guard is set.
char gFaultReport[256];
size_t gFaultReportLength = 0;

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

uintptr_t FaultAddress(const void* context) {
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
  if (info->si_code <= 0) return info->si_pid == getpid();
  if (pid_t(syscall(SYS_gettid)) != gGuardThread || win::LocksHeld() != 0) return false;
  const uintptr_t at = FaultAddress(context);
  for (size_t i = 0; i < gOwnCodeCount; ++i)
    if (at >= gOwnCode[i].begin && at < gOwnCode[i].end) return true;
  return false;
}

[[noreturn]] void ReportFaultAndExit() {
  char report[sizeof gFaultReport + sizeof Runtime().gLastEngineError + 1];
  size_t length = gFaultReportLength;
  std::memcpy(report, gFaultReport, length);
  for (size_t i = 0; i < sizeof Runtime().gLastEngineError && Runtime().gLastEngineError[i] != '\0'; ++i)
    report[length++] = Runtime().gLastEngineError[i];
  report[length++] = '\n';
  for (size_t written = 0; written < length;) {
    const ssize_t n = write(STDERR_FILENO, report + written, length - written);
    if (n <= 0) break;
    written += size_t(n);
  }
  // A game exits as it does after any error box; the author's tool tells of the box.
  _exit(Interpreter().gStandaloneFlag ? 0 : 1);
}

void OnFault(int signal, siginfo_t* info, void* context) {
  if (gGuardActive) {
    gGuardActive = 0;
    if (FaultLeavesNothingHeld(info, context)) siglongjmp(gFaultJump, 1);
    ReportFaultAndExit();
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void InstallFaultGuard() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  dl_iterate_phdr(NoteOwnCode, nullptr);
  const std::string report = "Error In Program: System Error : " + ErrorNumberText(kErrSevereException) + ". ";
  gFaultReportLength = report.copy(gFaultReport, sizeof gFaultReport);
  static char alternateStack[64 * 1024];
  stack_t stack{};
  stack.ss_sp = alternateStack;
  stack.ss_size = sizeof alternateStack;
  sigaltstack(&stack, nullptr);
  struct sigaction action {};
  action.sa_sigaction = OnFault;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) sigaction(s, &action, nullptr);
}

void TraceCommand(const OperandWord* commandWord) {
  char key[32], value[32];
  std::snprintf(key, sizeof key, "PC%ld", long(commandWord - Runtime().gCodeBase));
  std::snprintf(value, sizeof value, "%ld", long(commandWord->word));
  win::WriteProfileString("VORLIXLOOPMIDDLE", key, value, LogFilePath());
}

void UnknownCommand() {
  win::PostQuitMessage(0);
  --Interpreter().gProgramCounter;
  Interpreter().gYieldFlag = 1;
}

// The checks that come due every so many commands. Time-slice mode: the clock; counting mode: the
// break keys, the queue and a waiting quit. Returns the budget until the next check.
int32_t SliceCheck(bool timeMode) {
  if (timeMode) {
    if (win::timeGetTime() - Dispatcher().gSliceStart > Dispatcher().gSliceLength) Interpreter().gYieldFlag = 1;
    // A tight drawing loop lets the frame drain the queue.
    if (DrawQueue().gDrawQueueCount > 32000) Interpreter().gYieldFlag = 1;
    return kClockCheckBudget;
  }
  if (!Interpreter().gStandaloneFlag && (win::GetAsyncKeyState(win::VK_F11) != 0 || win::GetAsyncKeyState(win::VK_F12) != 0))
    Interpreter().gYieldFlag = 1;
  if (DrawQueue().gDrawQueueCount > 32000 || QuitRequestWaiting()) Interpreter().gYieldFlag = 1;
  Dispatcher().gCommandCount = 0;
  Interpreter().gInputPollDue = 1;
  return kCountingCheckBudget;
}

// The budget left until the next check, kept between slices: time-slice mode counts it down in
// gClockCountdown, counting mode counts commands up in gCommandCount.
int32_t LoadBudget(bool timeMode) {
  return timeMode ? gClockCountdown : kCountingCheckBudget - int32_t(Dispatcher().gCommandCount);
}
void StoreBudget(bool timeMode, int32_t budget) {
  if (timeMode)
    gClockCountdown = budget;
  else
    Dispatcher().gCommandCount = uint32_t(kCountingCheckBudget - budget);
}

// The end-of-command check of one command that did not run in RunCommands' loop.
void EndOfCommandCheck() {
  const bool timeMode = Dispatcher().gTimeSliceMode != 0;
  int32_t budget = LoadBudget(timeMode) - (timeMode ? kSlowCommandWeight : 1);
  if (budget <= 0) budget = SliceCheck(timeMode);
  StoreBudget(timeMode, budget);
}

// The slice loop with the debug trace: every command through its handler.
void RunTracedCommands() {
  for (;;) {
    if (Interpreter().gYieldFlag) {
      Interpreter().gYieldFlag = 0;
      return;
    }
    OperandWord* word = Interpreter().gProgramCounter;
    TraceCommand(word);
    Interpreter().gProgramCounter = word + 1;
    const auto number = uintptr_t(word->word);
    (number < uintptr_t(kCommandLimit) ? Interpreter().gCommandHandlers[number] : UnknownCommand)();
    EndOfCommandCheck();
  }
}

// The slice loop proper; returns when the yield flag is met. The counter and the check budget
// live in registers: the fast commands run inline on them, every other command through its
// handler with gProgramCounter written before and read back after. gProgramCounter is written
// before every command all the same, so that a fault's report finds the command. The loop starts
// on a cache line and its jump targets are aligned too (CMakeLists.txt), so that its speed does not
// depend on where the linker happens to place it.
__attribute__((noinline, aligned(64))) void RunCommands() {
  if (Interpreter().gYieldFlag) {
    Interpreter().gYieldFlag = 0;
    return;
  }
  if (Dispatcher().gDebugMode) return RunTracedCommands();
  bool timeMode = Dispatcher().gTimeSliceMode != 0;
  int32_t slowWeight = timeMode ? kSlowCommandWeight : 1;
  int32_t budget = LoadBudget(timeMode);
  OperandWord* pc = Interpreter().gProgramCounter;
  for (;;) {
    const intptr_t number = pc->word;
    Interpreter().gProgramCounter = ++pc;
    switch (number) {
#define VX_FAST_CASE(command, step) \
  case command:                     \
    pc = fast::step(pc);            \
    if (--budget > 0) continue;     \
    break;
      VX_FAST_COMMANDS(VX_FAST_CASE)
#undef VX_FAST_CASE
      default:
        (uintptr_t(number) < uintptr_t(kCommandLimit) ? Interpreter().gCommandHandlers[number] : UnknownCommand)();
        pc = Interpreter().gProgramCounter;
        if ((Dispatcher().gTimeSliceMode != 0) != timeMode) {  // the command switched the slice mode
          StoreBudget(timeMode, budget);
          timeMode = !timeMode;
          slowWeight = timeMode ? kSlowCommandWeight : 1;
          budget = LoadBudget(timeMode);
        }
        budget -= slowWeight;
        break;
    }
    Interpreter().gProgramCounter = pc;
    if (budget <= 0) budget = SliceCheck(timeMode);
    if (Interpreter().gYieldFlag) {
      Interpreter().gYieldFlag = 0;
      StoreBudget(timeMode, budget);
      return;
    }
  }
}

}  // namespace

}  // namespace vx

// The families of the command table register themselves; a new family needs nothing here.
#include "generated/command_families.inc"

namespace vx {

// Every number without a handler of its own runs UnknownCommand, so the fetch needs no test.
void RegisterAllCommands() {
  Interpreter().gUnknownCommand = UnknownCommand;
  for (auto& handler : Interpreter().gCommandHandlers)
    if (!handler) handler = UnknownCommand;
  RegisterCommandFamilies();
}

void ExecuteTimeSlice() {
  if (!Host().gAppActive) return;
  Interpreter().gInputPollDue = 0;
  Dispatcher().gSliceStart = win::timeGetTime();
  // A run without code fails at its first fetch.
  if (!Interpreter().gProgramCounter && !Interpreter().gYieldFlag) RaiseRuntimeError(kErrSevereException);
  gClockCountdown = kClockCheckBudget;
  InstallFaultGuard();
  gGuardThread = pid_t(syscall(SYS_gettid));
  for (;;) {
    if (sigsetjmp(gFaultJump, 1) == 0) {
      gGuardActive = 1;
      try {
        RunCommands();
        gGuardActive = 0;
        return;
      } catch (const std::bad_alloc&) {
        gGuardActive = 0;
        RaiseRuntimeError(kErrOutOfMemory);
      } catch (...) {
        gGuardActive = 0;
        RaiseRuntimeError(kErrSevereException);
      }
    } else {
      RaiseRuntimeError(kErrSevereException);
    }
    EndOfCommandCheck();
  }
}

}  // namespace vx
