// System commands the runtime needs now: focus and Esc switches, the exit message and the
// checklist readers. (The window mode's commands change the display: display/display_commands.cpp.)
#include <cstring>

#include "common/checklist.h"
#include "common/commands.h"
#include "common/interpreter_state.h"
#include "system/system_state.h"

namespace vx {

namespace {

void CmdAlwaysActiveOn() { gAlwaysActive = 1; }
void CmdAlwaysActiveOff() { gAlwaysActive = 0; }

void CmdEscapeKeyOff() { gEscapeEnabled = 0; }
void CmdEscapeKeyOn() { gEscapeEnabled = 1; }

// exit prompt text$, caption$
void CmdExitPrompt() {
  gExitMessageText = TextOperand(0);
  gExitMessageCaption = TextOperand(1);
  gExitMessageFlag = 1;
  SkipOperands(2);
}

// Entries are numbered from 1, as the program counts them; others read as nothing.
const ChecklistEntry* ChecklistEntryAt(int32_t number) {
  if (number < 1 || number > gChecklistCount || number > kChecklistCapacity) return nullptr;
  return &gChecklist[size_t(number - 1)];
}

void FnChecklistQuantity() {
  SlotOperand(0)->i = gChecklistCount;
  SkipOperands(1);
}

void FnChecklistString() {
  const ChecklistEntry* entry = ChecklistEntryAt(IntOperand(1));
  StoreString(SlotOperand(0), entry ? entry->text : "", entry ? strnlen(entry->text, sizeof entry->text) : 0);
  SkipOperands(2);
}

template <int kValue>
void FnChecklistValue() {
  const ChecklistEntry* entry = ChecklistEntryAt(IntOperand(1));
  SlotOperand(0)->i = entry ? entry->values[kValue] : 0;
  SkipOperands(2);
}

constexpr CommandHandler FnChecklistValueA = FnChecklistValue<0>;
constexpr CommandHandler FnChecklistValueB = FnChecklistValue<1>;
constexpr CommandHandler FnChecklistValueC = FnChecklistValue<2>;
constexpr CommandHandler FnChecklistValueD = FnChecklistValue<3>;

}  // namespace

}  // namespace vx

#include "generated/commands/system.inc"
