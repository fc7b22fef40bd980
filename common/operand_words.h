// How a code word of a program image names its operand (the ranges are in
// common/variable_layout.h): the value type of a slot operand. The compiler writes these words
// and the loader relocates them.
#pragma once
#include <cstdint>

#include "common/variable_layout.h"

namespace vx::operands {

// The value type of a slot operand: 'l' integer, 'f' float, 's' string (temporaries, variables
// and constants alike), 0 for any other word.
constexpr char ValueTypeOf(int32_t operand) {
  if (operand >= kIntTemp && operand < kIntVar) return "lfs"[(operand - kIntTemp) / kTemporariesPerKind];
  if (operand >= kIntVar && operand < kIntConst) return "lfs"[(operand - kIntVar) / kPerKind];
  if (operand >= kIntConst && operand < kEnd) return "lfs"[(operand - kIntConst) / kPerKind];
  return 0;
}

}  // namespace vx::operands
