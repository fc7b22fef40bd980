// Runtime string blocks and the numeric conversions shared by every command family.
#include "common/value_slot.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace vx {

RuntimeString* NewRuntimeString(const char* text, size_t length) {
  if (length > kMaxTextLength) length = kMaxTextLength;
  auto* block = static_cast<char*>(std::calloc(length + 1, 1));
  if (!block) throw std::bad_alloc();
  if (length) std::memcpy(block, text, length);
  return reinterpret_cast<RuntimeString*>(block);
}

RuntimeString* NewRuntimeString(const char* text) { return NewRuntimeString(text, std::strlen(text)); }

void FreeRuntimeString(RuntimeString* s) { std::free(s); }

void StoreString(ValueSlot* slot, const char* text, size_t length) {
  RuntimeString* copy = NewRuntimeString(text, length);
  FreeRuntimeString(slot->s);
  slot->s = copy;
}

void StoreString(ValueSlot* slot, const char* text) { StoreString(slot, text, std::strlen(text)); }

void ClearString(ValueSlot* slot) {
  FreeRuntimeString(slot->s);
  slot->s = nullptr;
}

int32_t TruncateToInt32(double value) {
  // 2^63 is exactly representable; anything at or beyond it (or NaN) is outside the 64-bit range.
  constexpr double kLimit = 9223372036854775808.0;
  if (!(value > -kLimit && value < kLimit)) return 0;
  auto wide = static_cast<int64_t>(value);
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(wide)));
}

int32_t SaturateToInt32(double value) {
  if (value != value) return 0;
  if (value >= 2147483647.0) return INT32_MAX;
  if (value <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(value);
}

}  // namespace vx
