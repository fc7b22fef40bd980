// Array commands: dimensioning and freeing integer, float and string arrays of one to five
// dimensions, element writes and element reads. Reads record the element they came from in the
// reference table so that later commands can write back through the temporary.
// Depends on the array storage (arrays.h), the dispatcher's operand helpers and error raising.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "runtime/arrays.h"
#include "runtime/dispatcher.h"
#include "runtime/dispatcher_state.h"
#include "runtime/errors.h"
#include "runtime/program_image.h"

namespace vx {

namespace {

constexpr int kArraysPerType = operands::kPerKind;
// Far beyond any array a program of the language needs, and small enough that a mistyped size
// fails at once instead of taking gigabytes of memory.
constexpr uint64_t kMaxElements = uint64_t(1) << 27;

enum class ElementType { kInt, kFloat, kString };

// Handle of the array operand when it is a variable of the element type's group, else -1.
int HandleOf(const ValueSlot* var, ElementType type) {
  const int first = type == ElementType::kInt ? 0 : type == ElementType::kFloat ? kFirstFloatArray : kFirstStringArray;
  const int h = ArrayHandleOfSlot(var);
  return h >= first && h < first + kArraysPerType ? h : -1;
}

// Frees array h and takes its block out of the variable's slot. A string variable that owned no
// block holds its own text instead, which goes too.
void ReleaseArray(int h, ValueSlot* var, ElementType type) {
  ValueSlot* old = Runtime().gArrayHandles[size_t(h)];
  FreeArrayBlock(h);
  if (type == ElementType::kString && !(old && var->p == old))
    ClearString(var);
  else
    var->p = nullptr;
}

// Flat position of the element at the k indices starting at operand first, or false when the
// array has no element there. Computed exactly in 64 bits; a size stride that no longer fits
// only matters when its index is not 0.
bool FlatPosition(int h, int first, int k, uint32_t* position) {
  const auto& dims = Runtime().gArrayDims[size_t(h)];
  int64_t flat = 0;
  int64_t stride = 1;
  bool strideValid = true;
  for (int d = 0; d < k; ++d) {
    const int64_t index = IntOperand(first + d);
    if (index != 0) {
      int64_t term = 0;
      if (!strideValid || __builtin_mul_overflow(index, stride, &term) || __builtin_add_overflow(flat, term, &flat))
        return false;
    }
    if (d + 1 < k && strideValid) strideValid = !__builtin_mul_overflow(stride, int64_t(dims[size_t(d)]), &stride);
  }
  if (flat < 0 || flat >= int64_t(dims[5])) return false;
  *position = uint32_t(flat);
  return true;
}

template <ElementType T, int K>
void DimArray() {
  ValueSlot* var = SlotOperand(0);
  const int h = HandleOf(var, T);
  if (h < 0) {
    SkipOperands(K + 1);
    return;
  }

  std::array<uint32_t, 5> sizes{};
  uint64_t count = 1;
  bool fits = true;
  for (int d = 0; d < K; ++d) {
    const int64_t size = int64_t(IntOperand(1 + d)) + 1;
    if (size < 1) {
      EngineErrorLog("dim size " + std::to_string(size - 1) + " is below 0");
      fits = false;
      break;
    }
    sizes[size_t(d)] = uint32_t(size);
    count *= uint64_t(size);  // at most 2^27 * 2^31 before the cap stops it
    if (count > kMaxElements) {
      EngineErrorLog("dim of more than " + std::to_string(kMaxElements) + " elements");
      fits = false;
      break;
    }
  }

  // The old contents go before anything else, also when the new block cannot be made.
  ReleaseArray(h, var, T);
  auto& dims = Runtime().gArrayDims[size_t(h)];
  auto* block = fits ? static_cast<ValueSlot*>(std::calloc(size_t(count), sizeof(ValueSlot))) : nullptr;
  if (!block) {
    dims[5] = 0;
    if (T == ElementType::kString) StoreString(var, "");
    RaiseRuntimeError(kErrOutOfMemory);
    SkipOperands(K + 1);
    return;
  }
  if (K > 1)
    for (int d = 0; d < K; ++d) dims[size_t(d)] = sizes[size_t(d)];
  dims[5] = uint32_t(count);
  Runtime().gArrayHandles[size_t(h)] = block;
  var->p = block;
  SkipOperands(K + 1);
}

template <ElementType T>
void UndimArray() {
  ValueSlot* var = SlotOperand(0);
  const int h = HandleOf(var, T);
  if (h >= 0) {
    ReleaseArray(h, var, T);
    if (T == ElementType::kString) StoreString(var, "");
  }
  SkipOperands(1);
}

// Writes the value operand after the K indices into the element; FromInt converts an integer
// value to a float element.
template <ElementType T, int K, bool FromInt = false>
void SetElement() {
  const int h = HandleOf(SlotOperand(0), T);
  if (h >= 0 && Runtime().gArrayHandles[size_t(h)]) {
    uint32_t position = 0;
    if (!FlatPosition(h, 1, K, &position)) {
      RaiseRuntimeError(kErrArrayIndexOutOfRange);
    } else {
      ValueSlot* element = &Runtime().gArrayHandles[size_t(h)][position];
      const ValueSlot* value = SlotOperand(K + 1);
      if constexpr (T == ElementType::kString)
        StoreString(element, StringText(value->s));
      else if constexpr (FromInt)
        element->f = static_cast<float>(value->i);
      else
        element->i = value->i;
    }
  }
  SkipOperands(K + 2);
}

template <ElementType T, int K>
void ReadElement() {
  ValueSlot* result = SlotOperand(0);
  const int h = HandleOf(SlotOperand(1), T);
  ValueSlot* element = nullptr;
  bool outside = false;
  if (h >= 0 && Runtime().gArrayHandles[size_t(h)]) {
    uint32_t position = 0;
    if (FlatPosition(h, 2, K, &position))
      element = &Runtime().gArrayHandles[size_t(h)][position];
    else
      outside = true;
  }

  const int32_t reference = OperandNumberOf(result) - slots::kOperandBase;
  if (reference >= 0 && reference < kReferenceCount) Runtime().gReferenceTable[size_t(reference)] = element;

  if (outside) {
    RaiseRuntimeError(kErrArrayIndexOutOfRange);
    if constexpr (T == ElementType::kString) StoreString(result, "");
  } else if constexpr (T == ElementType::kString) {
    StoreString(result, element ? StringText(element->s) : "");
  } else {
    result->i = element ? element->i : 0;
  }
  SkipOperands(K + 2);
}

using E = ElementType;

constexpr CommandHandler CmdDimIntArray1 = DimArray<E::kInt, 1>;
constexpr CommandHandler CmdDimIntArray2 = DimArray<E::kInt, 2>;
constexpr CommandHandler CmdDimIntArray3 = DimArray<E::kInt, 3>;
constexpr CommandHandler CmdDimIntArray4 = DimArray<E::kInt, 4>;
constexpr CommandHandler CmdDimIntArray5 = DimArray<E::kInt, 5>;
constexpr CommandHandler CmdUndimIntArray = UndimArray<E::kInt>;
constexpr CommandHandler CmdDimFloatArray1 = DimArray<E::kFloat, 1>;
constexpr CommandHandler CmdDimFloatArray2 = DimArray<E::kFloat, 2>;
constexpr CommandHandler CmdDimFloatArray3 = DimArray<E::kFloat, 3>;
constexpr CommandHandler CmdDimFloatArray4 = DimArray<E::kFloat, 4>;
constexpr CommandHandler CmdDimFloatArray5 = DimArray<E::kFloat, 5>;
constexpr CommandHandler CmdUndimFloatArray = UndimArray<E::kFloat>;
constexpr CommandHandler CmdDimStringArray1 = DimArray<E::kString, 1>;
constexpr CommandHandler CmdDimStringArray2 = DimArray<E::kString, 2>;
constexpr CommandHandler CmdDimStringArray3 = DimArray<E::kString, 3>;
constexpr CommandHandler CmdDimStringArray4 = DimArray<E::kString, 4>;
constexpr CommandHandler CmdDimStringArray5 = DimArray<E::kString, 5>;
constexpr CommandHandler CmdUndimStringArray = UndimArray<E::kString>;

constexpr CommandHandler CmdSetIntElement1 = SetElement<E::kInt, 1>;
constexpr CommandHandler CmdSetIntElement2 = SetElement<E::kInt, 2>;
constexpr CommandHandler CmdSetIntElement3 = SetElement<E::kInt, 3>;
constexpr CommandHandler CmdSetIntElement4 = SetElement<E::kInt, 4>;
constexpr CommandHandler CmdSetIntElement5 = SetElement<E::kInt, 5>;
constexpr CommandHandler CmdSetFloatElement1 = SetElement<E::kFloat, 1>;
constexpr CommandHandler CmdSetFloatElement2 = SetElement<E::kFloat, 2>;
constexpr CommandHandler CmdSetFloatElement3 = SetElement<E::kFloat, 3>;
constexpr CommandHandler CmdSetFloatElement4 = SetElement<E::kFloat, 4>;
constexpr CommandHandler CmdSetFloatElement5 = SetElement<E::kFloat, 5>;
constexpr CommandHandler CmdSetStringElement1 = SetElement<E::kString, 1>;
constexpr CommandHandler CmdSetStringElement2 = SetElement<E::kString, 2>;
constexpr CommandHandler CmdSetStringElement3 = SetElement<E::kString, 3>;
constexpr CommandHandler CmdSetStringElement4 = SetElement<E::kString, 4>;
constexpr CommandHandler CmdSetStringElement5 = SetElement<E::kString, 5>;
constexpr CommandHandler CmdSetFloatElementFromInt1 = SetElement<E::kFloat, 1, true>;
constexpr CommandHandler CmdSetFloatElementFromInt2 = SetElement<E::kFloat, 2, true>;
constexpr CommandHandler CmdSetFloatElementFromInt3 = SetElement<E::kFloat, 3, true>;
constexpr CommandHandler CmdSetFloatElementFromInt4 = SetElement<E::kFloat, 4, true>;
constexpr CommandHandler CmdSetFloatElementFromInt5 = SetElement<E::kFloat, 5, true>;

constexpr CommandHandler FnIntElement1 = ReadElement<E::kInt, 1>;
constexpr CommandHandler FnIntElement2 = ReadElement<E::kInt, 2>;
constexpr CommandHandler FnIntElement3 = ReadElement<E::kInt, 3>;
constexpr CommandHandler FnIntElement4 = ReadElement<E::kInt, 4>;
constexpr CommandHandler FnIntElement5 = ReadElement<E::kInt, 5>;
constexpr CommandHandler FnFloatElement1 = ReadElement<E::kFloat, 1>;
constexpr CommandHandler FnFloatElement2 = ReadElement<E::kFloat, 2>;
constexpr CommandHandler FnFloatElement3 = ReadElement<E::kFloat, 3>;
constexpr CommandHandler FnFloatElement4 = ReadElement<E::kFloat, 4>;
constexpr CommandHandler FnFloatElement5 = ReadElement<E::kFloat, 5>;
constexpr CommandHandler FnStringElement1 = ReadElement<E::kString, 1>;
constexpr CommandHandler FnStringElement2 = ReadElement<E::kString, 2>;
constexpr CommandHandler FnStringElement3 = ReadElement<E::kString, 3>;
constexpr CommandHandler FnStringElement4 = ReadElement<E::kString, 4>;
constexpr CommandHandler FnStringElement5 = ReadElement<E::kString, 5>;

}  // namespace

}  // namespace vx

#include "generated/commands/array.inc"
