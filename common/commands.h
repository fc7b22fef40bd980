// The command numbers and the handler table that every command family registers into. Numbers,
// rows and each family's registration are generated from resources/commands/*.txt by
// scripts/gen-commands; a family's source file includes its generated registration
// ("generated/commands/<family>.inc") after its handlers, and the dispatcher runs them all.
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/variable_layout.h"
#include "generated/command_numbers.h"

namespace vx {

// A handler takes no arguments: it reads its operands at gProgramCounter (the result slot first),
// leaves the counter after its last operand or on a jump target, and reports failures with
// RaiseRuntimeError or RaiseRuntimeWarning.
using CommandHandler = void (*)();

constexpr int kCommandLimit = operands::kIntTemp;  // command numbers are below the first operand

// Sets the handler of a number; null makes the number unknown again.
void RegisterCommand(int number, CommandHandler handler);
// The handler of a command number, or null when the number is unknown.
CommandHandler HandlerOf(intptr_t number);

// A row of the command table as data.
enum class CommandKind : uint8_t { kStatement, kValueFunction, kInternal };
struct CommandRow {
  int32_t number;
  const char* name;     // as a program writes it (a value function without its "["); internal: "(...)"
  const char* letters;  // parameter letters; a value function's result first
  CommandKind kind;
  const char* family;   // the family whose source file registers the handler
  const char* handler;  // the handler's name, null for a number without one
};
extern const CommandRow kCommandRows[];
extern const size_t kCommandRowCount;
// The row of a command number, or null.
const CommandRow* FindCommandRow(int32_t number);

}  // namespace vx

// The state of this part is in InterpreterState (common/interpreter_state.h), which uses the types above.
#include "common/interpreter_state.h"
