// Maths commands: absolute value, square root, exponential, circular and hyperbolic functions on
// degrees, their inverses giving degrees, random numbers, and increment and decrement of
// variables. Everything is computed in double precision and stored as single precision.
// Depends on the dispatcher's operand helpers, error raising and the array table (an array
// variable's slot holds its block, not a number).
#include "runtime/maths.h"

#include <cmath>

#include "runtime/arrays.h"
#include "runtime/dispatcher.h"
#include "runtime/dispatcher_state.h"
#include "runtime/errors.h"
#include "runtime/program_image.h"

namespace vx {

namespace {

constexpr int kVariablesPerGroup = operands::kPerKind;

// Result of a one-argument function.
void StoreFloat(double value) {
  SlotOperand(0)->f = static_cast<float>(value);
  SkipOperands(2);
}

void StoreInt(int32_t value) {
  SlotOperand(0)->i = value;
  SkipOperands(2);
}

// Result of a two-argument function.
void StoreFloat2(double value) {
  SlotOperand(0)->f = static_cast<float>(value);
  SkipOperands(3);
}

double FloatArg(int k) { return FloatOperand(k); }
double IntArg(int k) { return IntOperand(k); }

// --- Functions ---------------------------------------------------------------------------------

void FnAbsInt() { StoreInt(TruncateToInt32(std::fabs(FloatArg(1)))); }
void FnAbsFloat() { StoreFloat(std::fabs(FloatArg(1))); }
void FnSqrtFloat() { StoreFloat(std::sqrt(FloatArg(1))); }
void FnSqrtInt() { StoreFloat(std::sqrt(IntArg(1))); }
void FnExpInt() { StoreInt(TruncateToInt32(std::exp(IntArg(1)))); }

void FnSinFloat() { StoreFloat(std::sin(DegToRad(FloatArg(1)))); }
void FnSinInt() { StoreFloat(std::sin(DegToRad(IntArg(1)))); }
void FnCosFloat() { StoreFloat(std::cos(DegToRad(FloatArg(1)))); }
void FnCosInt() { StoreFloat(std::cos(DegToRad(IntArg(1)))); }
void FnTanFloat() { StoreFloat(std::tan(DegToRad(FloatArg(1)))); }
void FnTanInt() { StoreFloat(std::tan(DegToRad(IntArg(1)))); }
void FnSinhFloat() { StoreFloat(std::sinh(DegToRad(FloatArg(1)))); }
void FnSinhInt() { StoreFloat(std::sinh(DegToRad(IntArg(1)))); }
void FnCoshFloat() { StoreFloat(std::cosh(DegToRad(FloatArg(1)))); }
void FnCoshInt() { StoreFloat(std::cosh(DegToRad(IntArg(1)))); }
void FnTanhFloat() { StoreFloat(std::tanh(DegToRad(FloatArg(1)))); }
void FnTanhInt() { StoreFloat(std::tanh(DegToRad(IntArg(1)))); }

void FnAsinFloat() { StoreFloat(RadToDeg(std::asin(FloatArg(1)))); }
void FnAsinInt() { StoreFloat(RadToDeg(std::asin(IntArg(1)))); }
void FnAcosFloat() { StoreFloat(RadToDeg(std::acos(FloatArg(1)))); }
void FnAcosInt() { StoreFloat(RadToDeg(std::acos(IntArg(1)))); }
void FnAtanFloat() { StoreFloat(RadToDeg(std::atan(FloatArg(1)))); }
void FnAtanInt() { StoreFloat(RadToDeg(std::atan(IntArg(1)))); }
void FnAtan2Float() { StoreFloat2(RadToDeg(std::atan2(FloatArg(1), FloatArg(2)))); }
void FnAtan2IntFloat() { StoreFloat2(RadToDeg(std::atan2(IntArg(1), FloatArg(2)))); }
void FnAtan2FloatInt() { StoreFloat2(RadToDeg(std::atan2(FloatArg(1), IntArg(2)))); }
void FnAtan2Int() { StoreFloat2(RadToDeg(std::atan2(IntArg(1), IntArg(2)))); }

// --- Random numbers ----------------------------------------------------------------------------

void CmdRandomSeed() {
  Interpreter().gRandomState = uint32_t(IntOperand(0));
  SkipOperands(1);
}

// A draw from 0 to the bound operand, or false (kErrRandomRangeBelowZero) for a bound below 0. The bound plus
// one is taken in 64 bits, so the largest integer is a valid bound.
bool DrawBelowBound(int32_t* value) {
  const int64_t range = int64_t(IntOperand(1)) + 1;
  if (range < 1) {
    RaiseRuntimeError(kErrRandomRangeBelowZero);
    return false;
  }
  *value = int32_t(NextRandomDraw() % range);
  return true;
}

void FnRandomInt() {
  int32_t value = 0;
  if (DrawBelowBound(&value)) SlotOperand(0)->i = value;
  SkipOperands(2);
}

void FnRandomFloat() {
  int32_t value = 0;
  if (DrawBelowBound(&value)) SlotOperand(0)->f = static_cast<float>(value);
  SkipOperands(2);
}

// --- Increment and decrement -------------------------------------------------------------------

// True when the slot is a variable of the group starting at slot index first that holds a number:
// temporaries and constants have no place to write back to, and an array variable holds its block.
bool IsNumberVariable(const ValueSlot* slot, int first) {
  const int32_t index = OperandNumberOf(slot) - slots::kOperandBase;
  if (index < first || index >= first + kVariablesPerGroup) return false;
  return Runtime().gArrayHandles[size_t(index - slots::kIntVar)] == nullptr;
}

// Adds delta (already truncated for integers) to operand 0, or raises error when it is no
// variable of the command's type. operands is the command's operand count.
void StepIntVar(int32_t delta, int32_t error, int operands) {
  ValueSlot* var = SlotOperand(0);
  if (IsNumberVariable(var, slots::kIntVar))
    var->i = WrapAdd(var->i, delta);
  else
    RaiseRuntimeError(error);
  SkipOperands(operands);
}

void StepFloatVar(double delta, int32_t error, int operands) {
  ValueSlot* var = SlotOperand(0);
  if (IsNumberVariable(var, slots::kFloatVar))
    var->f = static_cast<float>(double(var->f) + delta);
  else
    RaiseRuntimeError(error);
  SkipOperands(operands);
}

void CmdIncFloatVar() { StepFloatVar(1.0, kErrIncNeedsVariable, 1); }
void CmdIncIntVar() { StepIntVar(1, kErrIncNeedsVariable, 1); }
void CmdIncFloatVarBy() { StepFloatVar(FloatArg(1), kErrIncNeedsVariable, 2); }
void CmdIncIntVarBy() { StepIntVar(TruncateToInt32(FloatArg(1)), kErrIncNeedsVariable, 2); }
void CmdDecFloatVar() { StepFloatVar(-1.0, kErrDecNeedsVariable, 1); }
void CmdDecIntVar() { StepIntVar(-1, kErrDecNeedsVariable, 1); }
void CmdDecFloatVarBy() { StepFloatVar(-FloatArg(1), kErrDecNeedsVariable, 2); }
// Negating the truncated amount wraps like the subtraction it stands for.
void CmdDecIntVarBy() { StepIntVar(WrapSub(0, TruncateToInt32(FloatArg(1))), kErrDecNeedsVariable, 2); }

}  // namespace

}  // namespace vx

#include "generated/commands/maths.inc"
