// The layout of the variable area and of the operand words that name it: the value groups with
// their sizes, the literal and label ranges and the code addresses. The compiler writes operand
// words by it, the image loader relocates them and the commands find variables and arrays by it.
#pragma once
#include <cstdint>

namespace vx {

namespace operands {

constexpr int32_t kTemporariesPerKind = 1000;  // temporaries of each value type
constexpr int32_t kPerKind = 2000;             // variables, constants and arrays of each value type

// The first operand number of each value group; command numbers stay below kIntTemp.
constexpr int32_t kIntTemp = 10000;
constexpr int32_t kFloatTemp = kIntTemp + kTemporariesPerKind;
constexpr int32_t kStringTemp = kFloatTemp + kTemporariesPerKind;
constexpr int32_t kIntVar = kStringTemp + kTemporariesPerKind;
constexpr int32_t kFloatVar = kIntVar + kPerKind;
constexpr int32_t kStringVar = kFloatVar + kPerKind;
constexpr int32_t kIntConst = kStringVar + kPerKind;
constexpr int32_t kFloatConst = kIntConst + kPerKind;
constexpr int32_t kStringConst = kFloatConst + kPerKind;
constexpr int32_t kEnd = kStringConst + kPerKind;  // slot operands end here
constexpr int32_t kData = kEnd;                    // DATA items fill the slots from here (never named by a word)

constexpr uint32_t kLiteral = uint32_t(kEnd);  // a literal integer is this plus its value, below kLiteralEnd
constexpr uint32_t kLiteralEnd = 35000;
constexpr uint32_t kLiteralCount = kLiteralEnd - kLiteral;
constexpr uint32_t kLabel = kLiteralEnd;  // the compiler's label placeholders until the end of a compile
constexpr uint32_t kCodeAddress = 37000;  // a code address is this plus the code-word index
constexpr uint32_t kLabelCount = kCodeAddress - kLabel;

}  // namespace operands

// Variable-area slot indices of the value groups (operand number minus kOperandBase).
namespace slots {

constexpr int kOperandBase = operands::kIntTemp;
constexpr int kIntTemp = operands::kIntTemp - kOperandBase;
constexpr int kFloatTemp = operands::kFloatTemp - kOperandBase;
constexpr int kStringTemp = operands::kStringTemp - kOperandBase;
constexpr int kIntVar = operands::kIntVar - kOperandBase;
constexpr int kFloatVar = operands::kFloatVar - kOperandBase;
constexpr int kStringVar = operands::kStringVar - kOperandBase;
constexpr int kIntConst = operands::kIntConst - kOperandBase;
constexpr int kFloatConst = operands::kFloatConst - kOperandBase;
constexpr int kStringConst = operands::kStringConst - kOperandBase;
constexpr int kData = operands::kData - kOperandBase;
constexpr int kCount = 29000;                  // slots of the whole area
constexpr int kDataCapacity = kCount - kData;  // DATA items the area holds
constexpr int kTemporaryCount = kIntVar - kIntTemp;

}  // namespace slots

// The array handle table: one entry per variable slot, integer, float and string arrays in turn.
constexpr int kArrayHandleCount = 3 * operands::kPerKind;  // entry h belongs to variable slot slots::kIntVar + h
constexpr int kFirstFloatArray = operands::kPerKind;
constexpr int kFirstStringArray = 2 * operands::kPerKind;
constexpr int kReferenceCount = slots::kTemporaryCount;  // one per temporary slot

}  // namespace vx
