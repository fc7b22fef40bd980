// Shorter code for the same results: "v = a + b" becomes one command that stores into v, where the
// plain code stores into a temporary and assigns it. A temporary keeps its value from statement to
// statement, and a command that leaves its result unwritten (a value function that does not
// answer, an error in a game that goes on, a user function left without a return) lets the next
// assignment read what the temporary last held. So an assignment is only folded when no command of
// the program may leave its temporary unwritten; the decision waits for the end of the compile,
// which then closes the code up behind the removed assignments.
#include <algorithm>

#include "compiler/internal.h"
#include "generated/command_numbers.h"

namespace vx::compiler {

namespace {

constexpr int32_t kTemporaryCount = operands::kIntVar - operands::kIntTemp;

// Statements that only read their temporaries (a for writes its counter, always a variable).
bool OnlyReads(int32_t number) {
  switch (number) {
    case kCmdIf:
    case kCmdWhile:
    case kCmdUntil:
    case kCmdFor:
    case kCmdForStart:
    case kCmdNext:
    case kCmdAssignInt:
    case kCmdAssignFloat:
    case kCmdAssignString:
    case kCmdPrintInt:
    case kCmdPrintFloat:
    case kCmdPrintString:
    case kCmdPrintIntInline:
    case kCmdPrintFloatInline:
    case kCmdPrintStringInline:
    case kCmdEndFunctionInt:
    case kCmdEndFunctionFloat:
    case kCmdEndFunctionString:
    case kCmdExitFunctionInt:
    case kCmdExitFunctionFloat:
    case kCmdExitFunctionString: return true;
    default: return false;
  }
}

}  // namespace

bool StoresResultLast(int32_t number) {
  switch (number) {
    case kCmdPowerInt:
    case kCmdPowerFloat:
    case kCmdPowerIntFloat:
    case kCmdPowerFloatInt:
    case kCmdMultiplyInt:
    case kCmdMultiplyIntFloat:
    case kCmdMultiplyFloatInt:
    case kCmdMultiplyFloat:
    case kCmdAddInt:
    case kCmdAddIntFloat:
    case kCmdAddFloatInt:
    case kCmdAddFloat:
    case kCmdSubtractInt:
    case kCmdSubtractIntFloat:
    case kCmdSubtractFloatInt:
    case kCmdSubtractFloat:
    case kCmdEqualInt:
    case kCmdEqualFloat:
    case kCmdEqualIntFloat:
    case kCmdEqualFloatInt:
    case kCmdNotEqualInt:
    case kCmdNotEqualFloat:
    case kCmdNotEqualIntFloat:
    case kCmdNotEqualFloatInt:
    case kCmdGreaterInt:
    case kCmdGreaterFloat:
    case kCmdGreaterIntFloat:
    case kCmdGreaterFloatInt:
    case kCmdGreaterEqualInt:
    case kCmdGreaterEqualFloat:
    case kCmdGreaterEqualIntFloat:
    case kCmdGreaterEqualFloatInt:
    case kCmdLessInt:
    case kCmdLessFloat:
    case kCmdLessIntFloat:
    case kCmdLessFloatInt:
    case kCmdLessEqualInt:
    case kCmdLessEqualFloat:
    case kCmdLessEqualIntFloat:
    case kCmdLessEqualFloatInt:
    case kCmdAnd:
    case kCmdOr:
    case kCmdFloatToInt:
    case kCmdIntToFloat: return true;
    default: return false;
  }
}

void NoteUnsureTemporary(int32_t operand) {
  CompilerContext& c = gCompiler;
  if (c.scanOnly || !IsTemporary(operand)) return;
  if (c.unsureTemporaries.empty()) c.unsureTemporaries.assign(kTemporaryCount, 0);
  c.unsureTemporaries[size_t(operand - operands::kIntTemp)] = 1;
}

void NoteStatementTemporaries(int32_t number, const std::vector<Operand>& ops) {
  if (OnlyReads(number)) return;
  for (const Operand& op : ops) NoteUnsureTemporary(op.number);
}

void NoteFoldableAssignment(int32_t number, const std::vector<Operand>& ops) {
  CompilerContext& c = gCompiler;
  if (!c.fuseCommands || c.scanOnly || c.compileMode != 1 || (number != kCmdAssignInt && number != kCmdAssignFloat) ||
      ops.size() != 2 || !IsTemporary(ops[1].number))
    return;
  // The value was stored by the statement's last command, one that always stores its result.
  const uint32_t at = c.lastCommandAt;
  if (at < c.statementStart || size_t(at) + 1 >= c.code.size() || !StoresResultLast(int32_t(c.code[at])) ||
      c.code[at + 1] != uint32_t(ops[1].number))
    return;
  c.foldableAssignments.emplace_back(at, uint32_t(c.code.size()));
}

void FoldAssignments() {
  CompilerContext& c = gCompiler;
  std::vector<uint8_t> removed;
  for (const auto& [operation, assignment] : c.foldableAssignments) {
    const uint32_t temporary = c.code[operation + 1];
    if (!c.unsureTemporaries.empty() && c.unsureTemporaries[temporary - operands::kIntTemp]) continue;
    if (removed.empty()) removed.assign(c.code.size(), 0);
    c.code[operation + 1] = c.code[assignment + 1];  // the assignment's variable
    std::fill_n(removed.begin() + assignment, 3, uint8_t(1));
    --c.commandCount;
  }
  c.foldableAssignments.clear();
  if (removed.empty()) return;

  // Where each word moves; an address names the word it named before (no jump lands on a removed
  // assignment, which stands inside its statement).
  std::vector<uint32_t> moved(c.code.size() + 1);
  uint32_t kept = 0;
  for (size_t i = 0; i < c.code.size(); ++i) {
    moved[i] = kept;
    kept += removed[i] ? 0 : 1;
  }
  moved[c.code.size()] = kept;
  auto relocate = [&](uint32_t word) {
    if (word < operands::kCodeAddress || word - operands::kCodeAddress > c.code.size()) return word;
    return operands::kCodeAddress + moved[word - operands::kCodeAddress];
  };
  size_t out = 0;
  for (size_t i = 0; i < c.code.size(); ++i) {
    if (removed[i]) continue;
    c.code[out] = relocate(c.code[i]);
    c.lines[out] = c.lines[i];
    ++out;
  }
  for (LabelRecord& label : c.labels) {
    if (label.definedAt >= 0) label.definedAt = int32_t(moved[size_t(label.definedAt)]);
    for (LabelReference& reference : label.references) reference.codeIndex = moved[reference.codeIndex];
  }
  c.code.resize(out);
  c.lines.resize(out);
}

}  // namespace vx::compiler
