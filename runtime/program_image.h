// The program image: loading a compiled program into the variable area, the relocated code block
// and the line table, and releasing all of it at the end of a run.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/interpreter_state.h"
#include "common/value_slot.h"

namespace vx {

// gVariableArea and gVariableAreaSize are in common/interpreter_state.h.
extern OperandWord* gCodeBase;        // relocated code, followed by a few end words
extern uint32_t gCodeSize;            // code length in bytes as stored (4 per word)
extern uint32_t gCodeWordCount;       // code length in words
extern std::vector<uint32_t> gLineTable;   // source line of each code word
extern std::vector<uint8_t> gDataTypes;    // 'l', 'f' or 's' per DATA item
extern uint32_t gDataTypeCount;
extern std::vector<uint32_t> gIntVarOwners;     // owning function of each integer variable
extern std::vector<uint32_t> gFloatVarOwners;   // ... of each float variable
extern std::vector<uint32_t> gStringVarOwners;  // ... of each string variable
extern uint32_t gStringConstantCount;           // string constants loaded
extern uint32_t gImageLoads;  // counts loads and frees, so tables built from an image know when it went

// Loads the image file. False when the file cannot be read or breaks the format; an image whose
// version is not 1 loads nothing and reports success (its run ends at the first command).
bool LoadProgramImage(const std::string& path);
// The same from bytes in memory.
bool LoadProgramImageFromBytes(const uint8_t* data, size_t size);
// Releases everything the load and the run made; does nothing when nothing was loaded.
void FreeProgramImage();

// The operand number (slots::kOperandBase and up) of a slot of the variable area, or -1 for any other address.
int32_t OperandNumberOf(const void* slot);
inline ValueSlot* SlotOfOperand(int32_t operand) { return gVariableArea + (operand - slots::kOperandBase); }
// The code-word index of a position in the code block.
inline intptr_t CodeIndexOf(const OperandWord* word) { return word - gCodeBase; }

}  // namespace vx
