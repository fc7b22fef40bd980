// Fetch-and-call loop of the interpreter, with the end-of-command checks of both slice modes, the
// debug trace and the guard that turns a fault inside a handler into a system error.
#include "runtime/dispatcher.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "common/runtime_hooks.h"
#include "display/draw_queue.h"
#include "platform/win/fault_guard.h"
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

// Past this many waiting draw-queue items a slice ends, so that a tight drawing loop lets the
// frame drain the queue.
constexpr uint32_t kDrawQueueSliceLimit = 32000;

// The error box's caption and text up to the engine's last message, made when the reporter is set.
char gFaultReport[256];
size_t gFaultReportLength = 0;

// A fault that no guard can take back (fault_guard.cpp) ends the process with the error box's
// text and where the fault was, written with plain writes: the run's end could wait for a lock the
// fault left taken.
[[noreturn]] void ReportFaultAndExit(const win::FaultReport& fault) {
  const char* engineMessage = Runtime().gLastEngineError;
  constexpr size_t kWhere = 96;
  char report[sizeof gFaultReport + sizeof Runtime().gLastEngineError + kWhere + 4];
  size_t length = gFaultReportLength;
  std::memcpy(report, gFaultReport, length);
  for (size_t i = 0; i < sizeof Runtime().gLastEngineError && engineMessage[i] != '\0'; ++i)
    report[length++] = engineMessage[i];
  if (engineMessage[0] != '\0') report[length++] = ' ';
  report[length++] = '(';
  length += win::DescribeFault(fault, report + length, kWhere);
  report[length++] = ')';
  report[length++] = '\n';
  for (size_t written = 0; written < length;) {
    const ssize_t n = write(STDERR_FILENO, report + written, length - written);
    if (n <= 0) break;
    written += size_t(n);
  }
  // A game exits as it does after any error box; the author's tool tells of the box.
  _exit(Interpreter().gStandaloneFlag ? 0 : 1);
}

void SetFaultReporter() {
  static bool set = false;
  if (set) return;
  set = true;
  const std::string report = "Error In Program: System Error : " + ErrorNumberText(kErrSevereException) + ". ";
  gFaultReportLength = report.copy(gFaultReport, sizeof gFaultReport);
  win::SetFatalFaultReporter(ReportFaultAndExit);
}

void TraceCommand(const OperandWord* commandWord) {
  char key[32], value[32];
  std::snprintf(key, sizeof key, "PC%ld", long(commandWord - Runtime().gCodeBase));
  std::snprintf(value, sizeof value, "%ld", long(commandWord->word));
  win::WriteProfileString("VORLIXLOOPMIDDLE", key, value, LogFilePath());
}

// The engine's last message explains the error of the command that logged it; after a command that
// ended without an error it was only a log line, and a later error box must not show it.
inline void EndEngineMessageOfCommand() {
  if (Runtime().gLastEngineError[0] != '\0' && Interpreter().gErrorCode == 0) [[unlikely]]
    Runtime().gLastEngineError[0] = '\0';
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
    if (DrawQueue().gDrawQueueCount > kDrawQueueSliceLimit) Interpreter().gYieldFlag = 1;
    return kClockCheckBudget;
  }
  if (!Interpreter().gStandaloneFlag &&
      (win::GetAsyncKeyState(win::VK_F11) != 0 || win::GetAsyncKeyState(win::VK_F12) != 0))
    Interpreter().gYieldFlag = 1;
  if (DrawQueue().gDrawQueueCount > kDrawQueueSliceLimit || QuitRequestWaiting()) Interpreter().gYieldFlag = 1;
  Dispatcher().gCommandCount = 0;
  Interpreter().gInputPollDue = 1;
  return kCountingCheckBudget;
}

// The budget left until the next check, kept between slices: time-slice mode counts it down in
// gClockCountdown, counting mode counts commands up in gCommandCount.
int32_t LoadBudget(bool timeMode) {
  return timeMode ? Dispatcher().gClockCountdown : kCountingCheckBudget - int32_t(Dispatcher().gCommandCount);
}
void StoreBudget(bool timeMode, int32_t budget) {
  if (timeMode)
    Dispatcher().gClockCountdown = budget;
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
    EndEngineMessageOfCommand();
    EndOfCommandCheck();
  }
}

// The slice loop proper; returns when the yield flag is met. The counter and the check budget
// live in registers: the fast commands run inline on them and leave gProgramCounter alone (they
// cannot fail, yield or fault on a valid image, so a fault's report names the last other command);
// every other command runs through its handler with gProgramCounter written before and read back
// after. The yield flag can only change in a handler or in the slice check, and is read after
// them alone. The loop starts on a cache line and its jump targets are aligned too
// (CMakeLists.txt), so that its speed does not depend on where the linker happens to place it.
__attribute__((noinline, aligned(64))) void RunCommands() {
  InterpreterState& interpreter = Interpreter();
  if (interpreter.gYieldFlag) {
    interpreter.gYieldFlag = 0;
    return;
  }
  if (Dispatcher().gDebugMode) return RunTracedCommands();
  bool timeMode = Dispatcher().gTimeSliceMode != 0;
  int32_t slowWeight = timeMode ? kSlowCommandWeight : 1;
  int32_t budget = LoadBudget(timeMode);
  OperandWord* pc = interpreter.gProgramCounter;
  for (;;) {
    const intptr_t number = pc->word;
    ++pc;
    switch (number) {
#define VX_FAST_CASE(command, step) \
  case command:                     \
    pc = fast::step(pc);            \
    if (--budget > 0) continue;     \
    break;
      VX_FAST_COMMANDS(VX_FAST_CASE)
#undef VX_FAST_CASE
      default:
        interpreter.gProgramCounter = pc;
        (uintptr_t(number) < uintptr_t(kCommandLimit) ? interpreter.gCommandHandlers[number] : UnknownCommand)();
        pc = interpreter.gProgramCounter;
        EndEngineMessageOfCommand();
        if ((Dispatcher().gTimeSliceMode != 0) != timeMode) {  // the command switched the slice mode
          StoreBudget(timeMode, budget);
          timeMode = !timeMode;
          slowWeight = timeMode ? kSlowCommandWeight : 1;
          budget = LoadBudget(timeMode);
        }
        budget -= slowWeight;
        break;
    }
    if (budget <= 0) budget = SliceCheck(timeMode);
    if (interpreter.gYieldFlag) {
      interpreter.gYieldFlag = 0;
      interpreter.gProgramCounter = pc;
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
  Dispatcher().gClockCountdown = kClockCheckBudget;
  SetFaultReporter();
  // A fault inside a handler comes back here, and the slice goes on after the command.
  for (;;) {
    try {
      if (win::GuardedCall(RunCommands)) return;
      RaiseRuntimeError(kErrSevereException);
    } catch (...) {
      RaiseErrorOfCaughtException();
    }
    EndOfCommandCheck();
  }
}

}  // namespace vx
