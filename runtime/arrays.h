// Arrays of the running program: the handle table, the dimension records and the reference
// table through which a temporary can write back to the element it was read from.
#pragma once
#include <array>
#include <cstdint>

#include "common/value_slot.h"
#include "common/variable_layout.h"
#include "runtime/runtime_state.h"

namespace vx {

// Frees every array (string elements too) and clears the handles and their variables' slots.
void FreeAllArrays();
// Frees array h and clears its handle (not its variable's slot).
void FreeArrayBlock(int h);
// Forgets every reference into the element block of array h (before the block goes away).
void InvalidateReferencesInto(int h);
// Handle of an array variable's slot, or -1 when the slot is no variable.
int ArrayHandleOfSlot(const ValueSlot* slot);

}  // namespace vx
