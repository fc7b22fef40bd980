// Array storage shared by the array commands, the program release and the array file commands.
#include "runtime/arrays.h"

#include <cstdlib>

#include "runtime/dispatcher_state.h"
#include "runtime/program_image.h"

namespace vx {

int ArrayHandleOfSlot(const ValueSlot* slot) {
  int32_t operand = OperandNumberOf(slot);
  int h = operand - (slots::kOperandBase + slots::kIntVar);
  return (operand >= 0 && h >= 0 && h < kArrayHandleCount) ? h : -1;
}

void InvalidateReferencesInto(int h) {
  ValueSlot* block = Runtime().gArrayHandles[h];
  if (!block) return;
  ValueSlot* end = block + Runtime().gArrayDims[h][5];
  for (auto& ref : Runtime().gReferenceTable)
    if (ref >= block && ref < end) ref = nullptr;
}

void FreeArrayBlock(int h) {
  ValueSlot* block = Runtime().gArrayHandles[h];
  if (!block) return;
  InvalidateReferencesInto(h);
  if (h >= kFirstStringArray)
    for (uint32_t i = 0; i < Runtime().gArrayDims[h][5]; ++i) ClearString(&block[i]);
  std::free(block);
  Runtime().gArrayHandles[h] = nullptr;
}

void FreeAllArrays() {
  for (int h = 0; h < kArrayHandleCount; ++h) {
    if (!Runtime().gArrayHandles[h]) continue;
    FreeArrayBlock(h);
    if (Interpreter().gVariableArea) Interpreter().gVariableArea[slots::kIntVar + h].p = nullptr;
  }
}

}  // namespace vx
