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
#include "system/system_state.h"

namespace vx {

void BeginProgramRun() {
  gDrawSceneAtFrameUpdate = 0;
  gYieldFlag = 1;
  gProgramCounter = gCodeBase;
  gCommandCount = 0;
  ResetCallStack();
  gErrorCode = 0;
  gErrorWarningFlag = 0;
  gEndFlag = 0;
  ClearTypedCharacters();
  gInputLineLength = -1;
  gInputLine[0] = '\0';
  gWaitUntil = -1.0;
  gWaitKeyState = 0;
  gWaitMouseState = 0;
  ResetChecklist();
  gTimeSliceMode = 1;
  gFrameTime = 25;
  gPumpCallCount = 0;
  gAutoRefreshFlag = 1;
  gEscapeEnabled = 1;
  gSliceLength = 33;
  gSliceStart = win::timeGetTime();
}

void ResetRuntimeState() {
  // Items left by an earlier run point into its program's slots: a run starts with none.
  DrawQueueFlush();
  ResetAnimationStreams();
  gDataReadIndex = 0;
  FreeAllArrays();  // a program run again in the same process starts without arrays
  gReferenceTable.fill(nullptr);
  gDllHandles.fill(nullptr);
  ResetWindowState();
  ResetDrawTarget();       // drawing goes to the back buffer in white on black
  ResetTextStateForRun();  // the text state and both fonts, the print cursor at 0,0
}

}  // namespace vx
