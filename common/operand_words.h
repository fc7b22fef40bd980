// How a code word of a program image names its operand: the first operand number of each value
// group of the variable area, the literal range and the code-address range. The compiler writes
// these words and the loader relocates them.
#pragma once
#include <cstdint>

namespace vx::operands {

constexpr int32_t kIntTemp = 10000;
constexpr int32_t kFloatTemp = 11000;
constexpr int32_t kStringTemp = 12000;
constexpr int32_t kIntVar = 13000;
constexpr int32_t kFloatVar = 15000;
constexpr int32_t kStringVar = 17000;
constexpr int32_t kIntConst = 19000;
constexpr int32_t kFloatConst = 21000;
constexpr int32_t kStringConst = 23000;
constexpr int32_t kEnd = 25000;        // slot operands end here
constexpr int32_t kData = 25000;       // DATA items fill the slots from here (never named by a word)
constexpr uint32_t kLiteral = 25000;   // a literal integer is this plus its value, below kLiteralEnd
constexpr uint32_t kLiteralEnd = 35000;
constexpr uint32_t kLabel = 35000;     // the compiler's label placeholders until the end of a compile
constexpr uint32_t kCodeAddress = 37000;  // a code address is this plus the code-word index

// The value type of a slot operand: 'l' integer, 'f' float, 's' string (temporaries, variables
// and constants alike), 0 for any other word.
constexpr char ValueTypeOf(int32_t operand) {
  if (operand >= kIntTemp && operand < kIntVar) return "lfs"[(operand - kIntTemp) / 1000];
  if (operand >= kIntVar && operand < kIntConst) return "lfs"[(operand - kIntVar) / 2000];
  if (operand >= kIntConst && operand < kEnd) return "lfs"[(operand - kIntConst) / 2000];
  return 0;
}

}  // namespace vx::operands
