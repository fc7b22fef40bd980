// Definitions of the runtime's own interpreter state.
#include "runtime/dispatcher_state.h"

namespace vx {

uint8_t gTimeSliceMode = 1;
uint32_t gSliceLength = 33;
uint32_t gSliceStart = 0;
uint32_t gCommandCount = 0;
uint8_t gEndFlag = 0;
uint32_t gDebugMode = 0;
uint32_t gRuntimeTestMode = 0;
uint32_t gFrameTime = 25;
int32_t gPumpCallCount = 0;

}  // namespace vx
