// The dispatcher's state, one DispatcherState reached through Dispatcher(): slice control, the run
// switches of the settings, and the call stack and DATA position of program flow (runtime/flow.h).
// What every command family reads (program counter, yield flag, error code, ...) is in
// common/interpreter_state.h.
#pragma once
#include <cstdint>

#include "common/interpreter_state.h"
#include "runtime/flow.h"

namespace vx {

struct DispatcherState {
  uint8_t gTimeSliceMode = 1;     // 1: slices end by time; 0: counting mode
  uint32_t gSliceLength = 33;     // slice length in ms
  uint32_t gSliceStart = 0;       // timeGetTime at the start of the slice
  uint32_t gCommandCount = 0;     // commands since the last counting-mode check
  int32_t gClockCountdown = 0;    // time-slice mode: budget until the clock is read; set as a slice starts
  uint8_t gEndFlag = 0;           // the program ran into its end
  uint32_t gDebugMode = 0;        // per-command trace and error lines in the log
  uint32_t gRuntimeTestMode = 0;  // detailed error report
  uint32_t gFrameTime = 25;       // ms per frame
  int32_t gPumpCallCount = 0;     // calls of PumpMessagesOccasionally since the last drain

  // --- Program flow: the call stack of gosub and user-function calls, the DATA position ---
  int32_t gCallDepth = 0;                          // entries in use
  OperandWord* gReturnStack[kCallStackSize] = {};  // gosub: word after the operand; call: its first operand
  CallKind gCallKind[kCallStackSize] = {};         // what made each entry
  int32_t gCallArgCount[kCallStackSize] = {};      // argument count of the call made at each depth
  OperandWord* gCallEntry[kCallStackSize] = {};    // entry address of the function called at each depth
  SavedFrame* gSavedFrames[kCallStackSize] = {};   // caller's saved frame, or null
  uint16_t gSavedFunction[kCallStackSize] = {};    // function number to restore on return
  int16_t gCurrentFunction = 0;                    // function of the running code; 0 the main program
  uint32_t gDataReadIndex = 0;                     // next DATA item to read
};
extern DispatcherState gDispatcherState;  // the one instance (runtime/dispatcher_state.cpp)
inline DispatcherState& Dispatcher() { return gDispatcherState; }

}  // namespace vx
