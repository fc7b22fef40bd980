// Arithmetic and comparison commands: power, the four operations, string joining and subtraction,
// comparisons, bitwise and/or, assignments and integer/float conversions. The command number fixes
// how each operand's slot is read; operand 0 is the result, 1 and 2 the left and right values.
// Depends on the dispatcher's operand helpers and the value-slot helpers.
#include <cmath>
#include <cstring>

#include "common/value_slot.h"
#include "runtime/dispatcher.h"
#include "runtime/errors.h"
#include "runtime/fast_commands.h"
#include "runtime/strings.h"

namespace vx {

namespace {

// Float and mixed operations run in double precision; an integer converts exactly.
inline double IntArg(int k) { return double(IntOperand(k)); }
inline double FloatArg(int k) { return double(FloatOperand(k)); }

inline void StoreInt(int32_t v) { SlotOperand(0)->i = v; }
inline void StoreFloat(double v) { SlotOperand(0)->f = float(v); }
inline void StoreTruth(bool v) { SlotOperand(0)->i = v ? 1 : 0; }

// A float divisor counts as zero also when it is not a number.
inline bool IsZeroDivisor(double d) { return !(d < 0.0) && !(d > 0.0); }

// --- Power -------------------------------------------------------------------------------------

void FnPowerInt() {
  StoreInt(TruncateToInt32(std::pow(IntArg(1), IntArg(2))));
  SkipOperands(3);
}
void FnPowerFloat() {
  StoreFloat(std::pow(FloatArg(1), FloatArg(2)));
  SkipOperands(3);
}
void FnPowerIntFloat() {
  StoreFloat(std::pow(IntArg(1), FloatArg(2)));
  SkipOperands(3);
}
void FnPowerFloatInt() {
  StoreFloat(std::pow(FloatArg(1), IntArg(2)));
  SkipOperands(3);
}

// --- Division ----------------------------------------------------------------------------------

// The warning is raised while the counter still points at the operands, so that the error report
// finds the command word.
void DivisionByZero() {
  SlotOperand(0)->i = 0;  // integer 0 and float 0.0 share the bit pattern
  RaiseRuntimeWarning(kErrDivisionByZero);
  SkipOperands(3);
}

void FnDivideInt() {
  const int32_t a = IntOperand(1);
  const int32_t b = IntOperand(2);
  if (b == 0) return DivisionByZero();
  // The smallest integer by -1 has no quotient in 32 bits; negation wraps it onto itself.
  StoreInt(b == -1 ? WrapSub(0, a) : a / b);
  SkipOperands(3);
}
void FnDivideIntFloat() {
  const double b = FloatArg(2);
  if (IsZeroDivisor(b)) return DivisionByZero();
  StoreFloat(IntArg(1) / b);
  SkipOperands(3);
}
void FnDivideFloatInt() {
  const int32_t b = IntOperand(2);
  if (b == 0) return DivisionByZero();
  StoreFloat(FloatArg(1) / double(b));
  SkipOperands(3);
}
void FnDivideFloat() {
  const double b = FloatArg(2);
  if (IsZeroDivisor(b)) return DivisionByZero();
  StoreFloat(FloatArg(1) / b);
  SkipOperands(3);
}

// --- Multiplication, addition, subtraction -----------------------------------------------------

void FnMultiplyInt() { Interpreter().gProgramCounter = fast::MultiplyInt(Interpreter().gProgramCounter); }
void FnMultiplyIntFloat() { Interpreter().gProgramCounter = fast::MultiplyIntFloat(Interpreter().gProgramCounter); }
void FnMultiplyFloatInt() { Interpreter().gProgramCounter = fast::MultiplyFloatInt(Interpreter().gProgramCounter); }
void FnMultiplyFloat() { Interpreter().gProgramCounter = fast::MultiplyFloat(Interpreter().gProgramCounter); }
void FnAddInt() { Interpreter().gProgramCounter = fast::AddInt(Interpreter().gProgramCounter); }
void FnAddIntFloat() { Interpreter().gProgramCounter = fast::AddIntFloat(Interpreter().gProgramCounter); }
void FnAddFloatInt() { Interpreter().gProgramCounter = fast::AddFloatInt(Interpreter().gProgramCounter); }
void FnAddFloat() { Interpreter().gProgramCounter = fast::AddFloat(Interpreter().gProgramCounter); }
void FnSubtractInt() { Interpreter().gProgramCounter = fast::SubtractInt(Interpreter().gProgramCounter); }
void FnSubtractIntFloat() { Interpreter().gProgramCounter = fast::SubtractIntFloat(Interpreter().gProgramCounter); }
void FnSubtractFloatInt() { Interpreter().gProgramCounter = fast::SubtractFloatInt(Interpreter().gProgramCounter); }
void FnSubtractFloat() { Interpreter().gProgramCounter = fast::SubtractFloat(Interpreter().gProgramCounter); }

// --- Strings -----------------------------------------------------------------------------------

// The result may be one of the operands, so the text is built in the work buffer first.
void FnJoinStrings() {
  const char* a = TextOperand(1);
  const char* b = TextOperand(2);
  const size_t la = std::strlen(a);
  const size_t lb = std::strlen(b);
  if (la + lb > kMaxTextLength) {
    RaiseRuntimeError(kErrStringTooLong);
    SkipOperands(3);
    return;
  }
  std::memcpy(Runtime().gWorkText, a, la);
  std::memcpy(Runtime().gWorkText + la, b, lb);
  StoreString(SlotOperand(0), Runtime().gWorkText, la + lb);
  SkipOperands(3);
}

void FnRemoveSubstring() {
  const char* a = TextOperand(1);
  const char* b = TextOperand(2);
  const size_t la = std::strlen(a);
  const size_t lb = std::strlen(b);
  const char* match = (lb > 0 && lb <= la) ? std::strstr(a, b) : nullptr;
  if (!match) {
    StoreString(SlotOperand(0), a, la);
    SkipOperands(3);
    return;
  }
  const size_t before = size_t(match - a);
  const size_t after = la - before - lb;
  // Texts are cut at the language's limit when loaded or stored, so this never truncates.
  const size_t keepBefore = before < kMaxTextLength ? before : kMaxTextLength;
  const size_t keepAfter = after < kMaxTextLength - keepBefore ? after : kMaxTextLength - keepBefore;
  std::memcpy(Runtime().gWorkText, a, keepBefore);
  std::memcpy(Runtime().gWorkText + keepBefore, match + lb, keepAfter);
  StoreString(SlotOperand(0), Runtime().gWorkText, keepBefore + keepAfter);
  SkipOperands(3);
}

// Byte-wise comparison as unsigned characters (strcmp's definition); case matters.
inline int CompareTexts() { return std::strcmp(TextOperand(1), TextOperand(2)); }

void FnEqualString() {
  StoreTruth(CompareTexts() == 0);
  SkipOperands(3);
}
void FnNotEqualString() {
  StoreTruth(CompareTexts() != 0);
  SkipOperands(3);
}
void FnGreaterString() {
  StoreTruth(CompareTexts() > 0);
  SkipOperands(3);
}
void FnLessString() {
  StoreTruth(CompareTexts() < 0);
  SkipOperands(3);
}

// --- Comparisons -------------------------------------------------------------------------------

void FnEqualInt() { Interpreter().gProgramCounter = fast::EqualInt(Interpreter().gProgramCounter); }
void FnEqualFloat() { Interpreter().gProgramCounter = fast::EqualFloat(Interpreter().gProgramCounter); }
void FnGreaterInt() { Interpreter().gProgramCounter = fast::GreaterInt(Interpreter().gProgramCounter); }
void FnGreaterFloat() { Interpreter().gProgramCounter = fast::GreaterFloat(Interpreter().gProgramCounter); }
void FnGreaterEqualInt() { Interpreter().gProgramCounter = fast::GreaterEqualInt(Interpreter().gProgramCounter); }
void FnGreaterEqualFloat() { Interpreter().gProgramCounter = fast::GreaterEqualFloat(Interpreter().gProgramCounter); }
void FnLessInt() { Interpreter().gProgramCounter = fast::LessInt(Interpreter().gProgramCounter); }
void FnLessFloat() { Interpreter().gProgramCounter = fast::LessFloat(Interpreter().gProgramCounter); }
void FnLessEqualInt() { Interpreter().gProgramCounter = fast::LessEqualInt(Interpreter().gProgramCounter); }
void FnLessEqualFloat() { Interpreter().gProgramCounter = fast::LessEqualFloat(Interpreter().gProgramCounter); }
void FnNotEqualInt() { Interpreter().gProgramCounter = fast::NotEqualInt(Interpreter().gProgramCounter); }
void FnNotEqualFloat() { Interpreter().gProgramCounter = fast::NotEqualFloat(Interpreter().gProgramCounter); }
void FnEqualIntFloat() { Interpreter().gProgramCounter = fast::EqualIntFloat(Interpreter().gProgramCounter); }
void FnEqualFloatInt() { Interpreter().gProgramCounter = fast::EqualFloatInt(Interpreter().gProgramCounter); }
void FnGreaterIntFloat() { Interpreter().gProgramCounter = fast::GreaterIntFloat(Interpreter().gProgramCounter); }
void FnGreaterFloatInt() { Interpreter().gProgramCounter = fast::GreaterFloatInt(Interpreter().gProgramCounter); }
void FnGreaterEqualIntFloat() {
  Interpreter().gProgramCounter = fast::GreaterEqualIntFloat(Interpreter().gProgramCounter);
}
void FnGreaterEqualFloatInt() {
  Interpreter().gProgramCounter = fast::GreaterEqualFloatInt(Interpreter().gProgramCounter);
}
void FnLessIntFloat() { Interpreter().gProgramCounter = fast::LessIntFloat(Interpreter().gProgramCounter); }
void FnLessFloatInt() { Interpreter().gProgramCounter = fast::LessFloatInt(Interpreter().gProgramCounter); }
void FnLessEqualIntFloat() { Interpreter().gProgramCounter = fast::LessEqualIntFloat(Interpreter().gProgramCounter); }
void FnLessEqualFloatInt() { Interpreter().gProgramCounter = fast::LessEqualFloatInt(Interpreter().gProgramCounter); }
void FnNotEqualIntFloat() { Interpreter().gProgramCounter = fast::NotEqualIntFloat(Interpreter().gProgramCounter); }
void FnNotEqualFloatInt() { Interpreter().gProgramCounter = fast::NotEqualFloatInt(Interpreter().gProgramCounter); }
void FnAnd() { Interpreter().gProgramCounter = fast::And(Interpreter().gProgramCounter); }
void FnOr() { Interpreter().gProgramCounter = fast::Or(Interpreter().gProgramCounter); }

// --- Assignments and conversions ---------------------------------------------------------------

void CmdAssignInt() { Interpreter().gProgramCounter = fast::AssignWord(Interpreter().gProgramCounter); }
void CmdAssignFloat() { Interpreter().gProgramCounter = fast::AssignWord(Interpreter().gProgramCounter); }

void CmdAssignString() {
  StoreString(SlotOperand(0), TextOperand(1));
  SkipOperands(2);
}

void CmdFloatToInt() {
  SlotOperand(0)->i = TruncateToInt32(FloatArg(1));
  SkipOperands(2);
}

void CmdIntToFloat() { Interpreter().gProgramCounter = fast::IntToFloat(Interpreter().gProgramCounter); }

}  // namespace

}  // namespace vx

#include "generated/commands/arithmetic.inc"
