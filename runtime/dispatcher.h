// The command dispatcher: runs command words at the program counter through their handlers until
// something asks the slice to end.
#pragma once
#include <cstdint>

#include "common/commands.h"
#include "common/interpreter_state.h"
#include "runtime/dispatcher_state.h"

namespace vx {

// Registers every command family of the system (idempotent).
void RegisterAllCommands();

// Runs one time slice of the program.
void ExecuteTimeSlice();

// Slice checks in time-slice mode read the clock when a budget runs out. A fast command (one that
// runs inline in the slice loop, a few nanoseconds at most) takes 1 from it, any other command
// kSlowCommandWeight: other commands read the clock once per kClockCheckInterval of them, a run of
// fast commands once per kClockCheckBudget, and a slice still ends within a fraction of a
// millisecond of its length.
constexpr int32_t kClockCheckInterval = 32;
constexpr int32_t kSlowCommandWeight = 256;
constexpr int32_t kClockCheckBudget = kClockCheckInterval * kSlowCommandWeight;
// Counting mode checks after every 201 commands.
constexpr int32_t kCountingCheckBudget = 201;

}  // namespace vx
