// The program image: loading a compiled program into the variable area, the relocated code block
// and the line table, and releasing all of it at the end of a run.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/interpreter_state.h"
#include "common/value_slot.h"
#include "runtime/runtime_state.h"

namespace vx {

// Loads the image file. False when the file cannot be read or breaks the format; an image whose
// version is not 1 loads nothing and reports success (its run ends at the first command).
bool LoadProgramImage(const std::string& path);
// The same from bytes in memory.
bool LoadProgramImageFromBytes(const uint8_t* data, size_t size);
// Releases everything the load and the run made; does nothing when nothing was loaded.
void FreeProgramImage();

// The operand number (slots::kOperandBase and up) of a slot of the variable area, or -1 for any other address.
int32_t OperandNumberOf(const void* slot);
inline ValueSlot* SlotOfOperand(int32_t operand) {
  return Interpreter().gVariableArea + (operand - slots::kOperandBase);
}
// The code-word index of a position in the code block.
inline intptr_t CodeIndexOf(const OperandWord* word) { return word - Runtime().gCodeBase; }

}  // namespace vx
