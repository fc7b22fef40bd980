// The runtime's own interpreter state: slice control and the run switches of the settings. What
// every command family reads (program counter, yield flag, error code, ...) is in
// common/interpreter_state.h.
#pragma once
#include <cstdint>

#include "common/interpreter_state.h"

namespace vx {

extern uint8_t gTimeSliceMode;        // 1: slices end by time; 0: counting mode
extern uint32_t gSliceLength;         // slice length in ms
extern uint32_t gSliceStart;          // timeGetTime at the start of the slice
extern uint32_t gCommandCount;        // commands since the last counting-mode check
extern uint8_t gEndFlag;              // the program ran into its end
extern uint32_t gDebugMode;           // per-command trace and error lines in the log
extern uint32_t gRuntimeTestMode;     // detailed error report
extern uint32_t gFrameTime;           // ms per frame
extern int32_t gPumpCallCount;        // calls of PumpMessagesOccasionally since the last drain

}  // namespace vx
