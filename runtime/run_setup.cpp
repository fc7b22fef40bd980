// Run set-up of the interpreter state.
#include "runtime/run_setup.h"

#include "common/checklist.h"
#include "display/draw_queue.h"
#include "display/text_fonts.h"
#include "display/video_playback.h"
#include "platform/win/time.h"
#include "runtime/arrays.h"
#include "runtime/core_commands.h"
#include "runtime/dispatcher_state.h"
#include "runtime/flow.h"
#include "runtime/main_loop.h"
#include "runtime/program_image.h"
#include "surfaces/display_state.h"
#include "system/system_state.h"

namespace vx {

void BeginProgramRun() {
  Interpreter().gDrawSceneAtFrameUpdate = 0;
  Interpreter().gYieldFlag = 1;
  Interpreter().gProgramCounter = Runtime().gCodeBase;
  Dispatcher().gCommandCount = 0;
  ResetCallStack();
  Interpreter().gErrorCode = 0;
  Interpreter().gErrorWarningFlag = 0;
  Dispatcher().gEndFlag = 0;
  ClearTypedCharacters();
  Runtime().gInputLineLength = -1;
  Runtime().gInputLine[0] = '\0';
  Runtime().gWaitUntil = -1.0;
  Runtime().gWaitKeyState = 0;
  Runtime().gWaitMouseState = 0;
  ResetChecklist();
  Dispatcher().gTimeSliceMode = 1;
  Dispatcher().gFrameTime = 25;
  Dispatcher().gPumpCallCount = 0;
  Interpreter().gAutoRefreshFlag = 1;
  System().gEscapeEnabled = 1;
  Dispatcher().gSliceLength = 33;
  Dispatcher().gSliceStart = win::timeGetTime();
}

void ResetRuntimeState() {
  // Items left by an earlier run point into its program's slots: a run starts with none.
  DrawQueueFlush();
  ResetAnimationStreams();
  Dispatcher().gDataReadIndex = 0;
  FreeAllArrays();  // a program run again in the same process starts without arrays
  Runtime().gReferenceTable.fill(nullptr);
  System().gDllHandles.fill(nullptr);
  ResetWindowState();
  ResetDrawTarget();              // drawing goes to the back buffer in white on black
  ResetTextStateForRun();         // the text state and both fonts, the print cursor at 0,0
  Display().gDisplayInvalid = 0;  // what an earlier run did to the display is no news to this one
}

}  // namespace vx
