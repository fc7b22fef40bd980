// The commands a loop spends its time in (numeric operators, assignments, conversions, jumps and
// the loop steps) as inline steps on a program counter held by the caller. The dispatcher runs
// them without a call and without touching gProgramCounter; their registered handlers run the same
// steps on gProgramCounter, so both paths share one definition.
// Each step takes the counter at its first operand and returns the counter after it. None of them
// can fail, allocate or end the slice.
#pragma once
#include <cstdint>

#include "common/value_slot.h"
#include "generated/command_numbers.h"

namespace vx {
// A for's counter that its start put one step before a start near the limits, wrapped: true (and
// forgotten) for the first step of that counter at the running call depth.
bool TakeWrappedStart(const ValueSlot* counter);
}  // namespace vx

namespace vx::fast {

// Float and mixed operations run in double precision and store in single precision.
inline double I(const OperandWord* pc, int k) { return double(pc[k].slot->i); }
inline double F(const OperandWord* pc, int k) { return double(pc[k].slot->f); }
inline int32_t Int(const OperandWord* pc, int k) { return pc[k].slot->i; }

#define VX_INT_OPERATION(name, wrap)              \
  inline OperandWord* name(OperandWord* pc) {     \
    const int32_t a = Int(pc, 1), b = Int(pc, 2); \
    pc[0].slot->i = wrap(a, b);                   \
    return pc + 3;                                \
  }
#define VX_FLOAT_OPERATION(name, left, op, right)   \
  inline OperandWord* name(OperandWord* pc) {       \
    const double a = left(pc, 1), b = right(pc, 2); \
    pc[0].slot->f = float(a op b);                  \
    return pc + 3;                                  \
  }
// Comparisons store 1 or 0; float operands compare in double precision with IEEE rules.
#define VX_COMPARISON(name, left, op, right)        \
  inline OperandWord* name(OperandWord* pc) {       \
    const bool truth = left(pc, 1) op right(pc, 2); \
    pc[0].slot->i = truth ? 1 : 0;                  \
    return pc + 3;                                  \
  }

VX_INT_OPERATION(AddInt, WrapAdd)
VX_INT_OPERATION(SubtractInt, WrapSub)
VX_INT_OPERATION(MultiplyInt, WrapMul)
VX_FLOAT_OPERATION(AddFloat, F, +, F)
VX_FLOAT_OPERATION(AddIntFloat, I, +, F)
VX_FLOAT_OPERATION(AddFloatInt, F, +, I)
VX_FLOAT_OPERATION(SubtractFloat, F, -, F)
VX_FLOAT_OPERATION(SubtractIntFloat, I, -, F)
VX_FLOAT_OPERATION(SubtractFloatInt, F, -, I)
VX_FLOAT_OPERATION(MultiplyFloat, F, *, F)
VX_FLOAT_OPERATION(MultiplyIntFloat, I, *, F)
VX_FLOAT_OPERATION(MultiplyFloatInt, F, *, I)

VX_COMPARISON(EqualInt, Int, ==, Int)
VX_COMPARISON(EqualFloat, F, ==, F)
VX_COMPARISON(EqualIntFloat, I, ==, F)
VX_COMPARISON(EqualFloatInt, F, ==, I)
VX_COMPARISON(NotEqualInt, Int, !=, Int)
VX_COMPARISON(NotEqualFloat, F, !=, F)
VX_COMPARISON(NotEqualIntFloat, I, !=, F)
VX_COMPARISON(NotEqualFloatInt, F, !=, I)
VX_COMPARISON(GreaterInt, Int, >, Int)
VX_COMPARISON(GreaterFloat, F, >, F)
VX_COMPARISON(GreaterIntFloat, I, >, F)
VX_COMPARISON(GreaterFloatInt, F, >, I)
VX_COMPARISON(GreaterEqualInt, Int, >=, Int)
VX_COMPARISON(GreaterEqualFloat, F, >=, F)
VX_COMPARISON(GreaterEqualIntFloat, I, >=, F)
VX_COMPARISON(GreaterEqualFloatInt, F, >=, I)
VX_COMPARISON(LessInt, Int, <, Int)
VX_COMPARISON(LessFloat, F, <, F)
VX_COMPARISON(LessIntFloat, I, <, F)
VX_COMPARISON(LessFloatInt, F, <, I)
VX_COMPARISON(LessEqualInt, Int, <=, Int)
VX_COMPARISON(LessEqualFloat, F, <=, F)
VX_COMPARISON(LessEqualIntFloat, I, <=, F)
VX_COMPARISON(LessEqualFloatInt, F, <=, I)

#undef VX_INT_OPERATION
#undef VX_FLOAT_OPERATION
#undef VX_COMPARISON

inline int32_t BitAnd(int32_t a, int32_t b) { return a & b; }
inline int32_t BitOr(int32_t a, int32_t b) { return a | b; }
inline OperandWord* And(OperandWord* pc) {
  pc[0].slot->i = BitAnd(Int(pc, 1), Int(pc, 2));
  return pc + 3;
}
inline OperandWord* Or(OperandWord* pc) {
  pc[0].slot->i = BitOr(Int(pc, 1), Int(pc, 2));
  return pc + 3;
}

// Integer and float assignments copy the word, so a float keeps its exact bits.
inline OperandWord* AssignWord(OperandWord* pc) {
  pc[0].slot->i = Int(pc, 1);
  return pc + 2;
}
inline OperandWord* IntToFloat(OperandWord* pc) {
  pc[0].slot->f = float(Int(pc, 1));
  return pc + 2;
}

inline OperandWord* JumpIfFalse(OperandWord* pc) { return Int(pc, 0) == 0 ? pc[1].target : pc + 2; }
inline OperandWord* Jump(OperandWord* pc) { return pc[0].target; }
inline OperandWord* JumpToSecond(OperandWord* pc) { return pc[1].target; }

// Steps a for's counter (counter, limit, step at loop[0..2]); true while the loop goes on. The sum
// is taken in 64 bits, so a loop up to the largest integer ends instead of wrapping; only the
// first step from a start that lay within one step of the limits wraps back to that start. A step
// of 0 never ends the loop; a counter equal to the limit stays in it.
inline bool StepCounter(OperandWord* loop) {
  ValueSlot* counter = loop[0].slot;
  const int32_t limit = loop[1].slot->i;
  const int32_t step = loop[2].slot->i;
  int64_t next = int64_t(counter->i) + step;
  counter->i = WrapAdd(counter->i, step);
  if (next != counter->i && TakeWrappedStart(counter)) next = counter->i;
  return !((step > 0 && next > limit) || (step < 0 && next < limit));
}

// for: counter, limit, step, exit target.
inline OperandWord* ForStep(OperandWord* pc) { return StepCounter(pc) ? pc + 4 : pc[3].target; }

// The fused next: its second operand is the for's first operand, whose counter it steps; it goes
// on after the for while the loop runs, and after itself once it ends. The first operand is the
// next's own variable, not read.
inline OperandWord* NextStep(OperandWord* pc) {
  OperandWord* loop = pc[1].target;
  return StepCounter(loop) ? loop + 4 : pc + 2;
}

}  // namespace vx::fast

// The fast commands by number, for the dispatcher's inline cases: X(number, step).
// clang-format off
#define VX_FAST_COMMANDS(X)                                                                                            \
  X(kCmdAddInt, AddInt) X(kCmdSubtractInt, SubtractInt) X(kCmdMultiplyInt, MultiplyInt)                                \
  X(kCmdAddFloat, AddFloat) X(kCmdAddIntFloat, AddIntFloat) X(kCmdAddFloatInt, AddFloatInt)                            \
  X(kCmdSubtractFloat, SubtractFloat) X(kCmdSubtractIntFloat, SubtractIntFloat)                                        \
  X(kCmdSubtractFloatInt, SubtractFloatInt) X(kCmdMultiplyFloat, MultiplyFloat)                                        \
  X(kCmdMultiplyIntFloat, MultiplyIntFloat) X(kCmdMultiplyFloatInt, MultiplyFloatInt)                                  \
  X(kCmdEqualInt, EqualInt) X(kCmdEqualFloat, EqualFloat) X(kCmdEqualIntFloat, EqualIntFloat)                          \
  X(kCmdEqualFloatInt, EqualFloatInt) X(kCmdNotEqualInt, NotEqualInt)                                                  \
  X(kCmdNotEqualFloat, NotEqualFloat) X(kCmdNotEqualIntFloat, NotEqualIntFloat)                                        \
  X(kCmdNotEqualFloatInt, NotEqualFloatInt) X(kCmdGreaterInt, GreaterInt)                                              \
  X(kCmdGreaterFloat, GreaterFloat) X(kCmdGreaterIntFloat, GreaterIntFloat)                                            \
  X(kCmdGreaterFloatInt, GreaterFloatInt) X(kCmdGreaterEqualInt, GreaterEqualInt)                                      \
  X(kCmdGreaterEqualFloat, GreaterEqualFloat) X(kCmdGreaterEqualIntFloat, GreaterEqualIntFloat)                        \
  X(kCmdGreaterEqualFloatInt, GreaterEqualFloatInt) X(kCmdLessInt, LessInt)                                            \
  X(kCmdLessFloat, LessFloat) X(kCmdLessIntFloat, LessIntFloat) X(kCmdLessFloatInt, LessFloatInt)                      \
  X(kCmdLessEqualInt, LessEqualInt) X(kCmdLessEqualFloat, LessEqualFloat)                                              \
  X(kCmdLessEqualIntFloat, LessEqualIntFloat) X(kCmdLessEqualFloatInt, LessEqualFloatInt)                              \
  X(kCmdAnd, And) X(kCmdOr, Or) X(kCmdAssignInt, AssignWord) X(kCmdAssignFloat, AssignWord)                            \
  X(kCmdIntToFloat, IntToFloat) X(kCmdIf, JumpIfFalse) X(kCmdWhile, JumpIfFalse)                                       \
  X(kCmdUntil, JumpIfFalse) X(kCmdElse, Jump) X(kCmdExit, Jump) X(kCmdLoop, Jump)                                      \
  X(kCmdEndwhile, Jump) X(kCmdGoto, Jump) X(kCmdNext, JumpToSecond) X(kCmdFor, ForStep)                                \
  X(kCmdNextStep, NextStep)
// clang-format on
