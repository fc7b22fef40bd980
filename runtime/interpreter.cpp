// Definitions of the interpreter's shared state.
#include "runtime/interpreter.h"

namespace vx {

OperandWord* gProgramCounter = nullptr;
uint8_t gYieldFlag = 0;
uint8_t gAutoRefreshFlag = 1;
uint8_t gTimeSliceMode = 1;
uint32_t gSliceLength = 33;
uint32_t gSliceStart = 0;
uint32_t gCommandCount = 0;
uint8_t gInputPollDue = 0;
int32_t gErrorCode = 0;
uint8_t gErrorWarningFlag = 0;
uint8_t gEndFlag = 0;
uint32_t gStandaloneFlag = 0;
uint32_t gAppActive = 1;
uint32_t gDebugMode = 0;
uint32_t gTraceMode = 0;
uint32_t gRuntimeTestMode = 0;
uint32_t gDrawQueueCount = 0;
uint32_t gFrameTime = 25;
int32_t gPumpCallCount = 0;
uint32_t gDrawSceneAtFrameUpdate = 0;
uint32_t gEscapeEnabled = 1;

}  // namespace vx
