// The command dispatcher: runs command words at the program counter through their handlers until
// something asks the slice to end.
#pragma once
#include <cstdint>

#include "common/commands.h"
#include "common/interpreter.h"
#include "runtime/interpreter.h"

namespace vx {

// Registers every command family of the system (idempotent).
void RegisterAllCommands();

// Runs one time slice of the program.
void ExecuteTimeSlice();

// Slice checks in time-slice mode read the clock once per this many commands, which keeps the
// fast path cheap while a slice still ends within a fraction of a millisecond of its length.
constexpr uint32_t kClockCheckInterval = 32;

}  // namespace vx
