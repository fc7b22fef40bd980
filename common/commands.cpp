// The handler table and the rows of the command table.
#include "common/commands.h"

#include <iterator>

namespace vx {

#include "generated/command_rows.inc"
const size_t kCommandRowCount = std::size(kCommandRows);

void RegisterCommand(int number, CommandHandler handler) {
  if (number > 0 && number < kCommandLimit)
    Interpreter().gCommandHandlers[number] = handler ? handler : Interpreter().gUnknownCommand;
}

CommandHandler HandlerOf(intptr_t number) {
  if (number <= 0 || number >= kCommandLimit) return nullptr;
  const CommandHandler handler = Interpreter().gCommandHandlers[number];
  return handler == Interpreter().gUnknownCommand ? nullptr : handler;
}

const CommandRow* FindCommandRow(int32_t number) {
  for (const CommandRow& row : kCommandRows)
    if (row.number == number) return &row;
  return nullptr;
}

}  // namespace vx
