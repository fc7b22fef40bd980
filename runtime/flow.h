// Program flow state: the call stack shared by gosub and user-function calls, and the DATA position.
#pragma once
#include <cstdint>

#include "common/value_slot.h"

namespace vx {

constexpr int32_t kCallStackSize = 65535;  // at most 65534 entries are used

enum class CallKind : uint8_t { kNone = 0, kGosub = 1, kFunction = 2 };

struct SavedFrame;  // a caller's parameters and locals, saved by slot

extern int32_t gCallDepth;                         // entries in use
extern OperandWord* gReturnStack[kCallStackSize];  // gosub: word after the operand; call: its first operand
extern CallKind gCallKind[kCallStackSize];         // what made each entry
extern int32_t gCallArgCount[kCallStackSize];      // argument count of the call made at each depth
extern OperandWord* gCallEntry[kCallStackSize];    // entry address of the function called at each depth
extern SavedFrame* gSavedFrames[kCallStackSize];   // caller's saved frame, or null
extern uint16_t gSavedFunction[kCallStackSize];    // function number to restore on return
extern int16_t gCurrentFunction;                   // function of the running code; 0 the main program
extern uint32_t gDataReadIndex;                    // next DATA item to read

// Empties the call stack, freeing any saved frames.
void ResetCallStack();
// Restores the caller's frame saved for the call made at the current depth.
void RestoreCallerFrame();
// Steps every open function call back to the main program, restoring the callers' frames.
void UnwindFunctionFrames();

}  // namespace vx
