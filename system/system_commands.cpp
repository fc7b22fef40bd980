// System commands the runtime needs now: focus and Esc switches, the exit message and the
// checklist readers. (The window mode's commands change the display: display/display_commands.cpp.)
#include <cstring>

#include "common/checklist.h"
#include "common/commands.h"
#include "common/interpreter_state.h"
#include "system/system_state.h"

namespace vx {

namespace {

void CmdAlwaysActiveOn() { System().gAlwaysActive = 1; }
void CmdAlwaysActiveOff() { System().gAlwaysActive = 0; }

void CmdEscapeKeyOff() { System().gEscapeEnabled = 0; }
void CmdEscapeKeyOn() { System().gEscapeEnabled = 1; }

// exit prompt text$, caption$
void CmdExitPrompt() {
  System().gExitMessageText = TextOperand(0);
  System().gExitMessageCaption = TextOperand(1);
  System().gExitMessageFlag = 1;
  SkipOperands(2);
}

// Entries are numbered from 1, as the program counts them; others read as nothing.
const ChecklistEntry* ChecklistEntryAt(int32_t number) {
  if (number < 1 || number > Checklist().gChecklistCount || number > kChecklistCapacity) return nullptr;
  return &Checklist().gChecklist[size_t(number - 1)];
}

void FnChecklistQuantity() {
  SlotOperand(0)->i = Checklist().gChecklistCount;
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
