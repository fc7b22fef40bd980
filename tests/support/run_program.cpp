// In-process program runs for tests.
#include "tests/support/run_program.h"
#include "engine3d/engine_hooks.h"

#include "display/draw_queue.h"
#include "ide/language.h"
#include "platform/win/messages.h"
#include "platform/win/time.h"
#include "runtime/dispatcher.h"
#include "runtime/dispatcher_state.h"
#include "runtime/errors.h"
#include "runtime/program_image.h"
#include "runtime/run_setup.h"
#include "runtime/runtime_services.h"
#include "surfaces/display_state.h"

namespace vx::test {

uint32_t gTestClock = 0;
uint32_t TestClock() { return gTestClock; }

void PrepareRuntime() {
  InstallRuntimeHooks();
  InstallEngineHooks();
  RegisterAllCommands();
  win::SetClockSource(TestClock);
  win::ClearMessageQueue();
  ResetErrorWordTable();
  Runtime().gLastEngineError[0] = '\0';
  Host().gAppActive = 1;
  Dispatcher().gDebugMode = Display().gTraceMode = Dispatcher().gRuntimeTestMode = 0;
  DrawQueue().gDrawQueueCount = 0;
}

RunResult RunLoaded(int maxSlices, bool standalone) {
  RunResult result;
  win::ClearMessageQueue();
  ResetRuntimeState();
  BeginProgramRun();
  Interpreter().gStandaloneFlag = standalone ? 1 : 0;
  while (result.slices < maxSlices) {
    ExecuteTimeSlice();
    ++result.slices;
    if (win::QuitMessagePending()) {
      result.ended = true;
      break;
    }
  }
  result.errorCode = Interpreter().gErrorCode;
  result.warning = Interpreter().gErrorWarningFlag == 1;
  if (Interpreter().gErrorCode > 0) result.errorText = FormatErrorMessage();
  return result;
}

RunResult RunImage(const ImageBuilder& image, int maxSlices, bool standalone) {
  PrepareRuntime();
  if (!image.Load()) {
    RunResult failed;
    failed.errorText = "image refused";
    return failed;
  }
  return RunLoaded(maxSlices, standalone);
}

int32_t IntAt(int operand) { return SlotOfOperand(operand)->i; }
float FloatAt(int operand) { return SlotOfOperand(operand)->f; }
std::string TextAt(int operand) { return StringText(SlotOfOperand(operand)->s); }

}  // namespace vx::test
