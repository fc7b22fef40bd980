// The command dispatcher: runs command words at the program counter through their handlers until
// something asks the slice to end.
#pragma once
#include <cstdint>

#include "common/commands.h"
#include "common/value_slot.h"
#include "runtime/interpreter.h"

namespace vx {

// Registers every command family of the system (idempotent).
void RegisterAllCommands();

// Runs one time slice of the program.
void ExecuteTimeSlice();

// Slice checks in time-slice mode read the clock once per this many commands, which keeps the
// fast path cheap while a slice still ends within a fraction of a millisecond of its length.
constexpr uint32_t kClockCheckInterval = 32;

// Operand access for handlers: operand k counted from the word after the command word.
inline ValueSlot* SlotOperand(int k) { return gProgramCounter[k].slot; }
inline int32_t IntOperand(int k) { return gProgramCounter[k].slot->i; }
inline float FloatOperand(int k) { return gProgramCounter[k].slot->f; }
inline const char* TextOperand(int k) { return StringText(gProgramCounter[k].slot->s); }
inline intptr_t LiteralOperand(int k) { return gProgramCounter[k].word; }
inline OperandWord* TargetOperand(int k) { return gProgramCounter[k].target; }
inline void SkipOperands(int n) { gProgramCounter += n; }
// With automatic refresh the slice ends after the command, so the frame shows its effect. The flag
// is only ever raised: a slice end that an error asked for stays.
inline void YieldByRefreshMode() {
  if (gAutoRefreshFlag) gYieldFlag = 1;
}

}  // namespace vx
