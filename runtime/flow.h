// Program flow: the call stack shared by gosub and user-function calls (its entries and the DATA
// position are fields of DispatcherState, runtime/dispatcher_state.h).
#pragma once
#include <cstdint>

#include "common/value_slot.h"

namespace vx {

constexpr int32_t kCallStackSize = 65535;  // at most 65534 entries are used

enum class CallKind : uint8_t { kNone = 0, kGosub = 1, kFunction = 2 };

struct SavedFrame;  // a caller's parameters and locals, saved by slot

// Empties the call stack, freeing any saved frames.
void ResetCallStack();
// Restores the caller's frame saved for the call made at the current depth.
void RestoreCallerFrame();
// Steps every open function call back to the main program, restoring the callers' frames.
void UnwindFunctionFrames();

}  // namespace vx

// The state of this part is in DispatcherState (runtime/dispatcher_state.h), which uses the types above.
#include "runtime/dispatcher_state.h"
