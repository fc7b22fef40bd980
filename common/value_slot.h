// Value slots, loaded code words and runtime strings: the cells every command reads and writes.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vx {

// A string of the running program: a zero-filled heap block of length plus one holding a
// NUL-terminated text. Only ever handled through a pointer.
struct RuntimeString;

// One cell of the variable area. No type tag: the command number fixes how it is read.
union ValueSlot {
  int32_t i;
  float f;
  RuntimeString* s;
  void* p;
};

// A code word after loading: a command number, a literal, a slot address or a code address.
union OperandWord {
  intptr_t word;
  ValueSlot* slot;
  OperandWord* target;
};

static_assert(sizeof(ValueSlot) == sizeof(void*));
static_assert(sizeof(OperandWord) == sizeof(void*));

// The language keeps every text below 256 characters.
constexpr size_t kMaxTextLength = 255;

// The text of a string, "" for a slot nothing has written yet.
inline const char* StringText(const RuntimeString* s) { return s ? reinterpret_cast<const char*>(s) : ""; }

// A new heap copy of the first length characters of text (cut to the language's limit).
RuntimeString* NewRuntimeString(const char* text, size_t length);
RuntimeString* NewRuntimeString(const char* text);
void FreeRuntimeString(RuntimeString* s);

// Stores a copy of text into the slot: copies first, then frees what the slot held, so that a
// slot may be stored into itself.
void StoreString(ValueSlot* slot, const char* text, size_t length);
void StoreString(ValueSlot* slot, const char* text);
// Frees the slot's text and leaves the slot empty (null).
void ClearString(ValueSlot* slot);

// Float to integer, truncating toward zero through 64 bits and keeping the low 32 bits;
// values outside the 64-bit range (and not-a-number) give 0.
int32_t TruncateToInt32(double value);
// Float to integer for numbers a program gives (frame numbers, speeds, counts): truncating toward
// zero, values beyond the 32-bit range held at its ends, not-a-number 0.
int32_t SaturateToInt32(double value);

// Integer arithmetic that wraps at 32 bits.
inline int32_t WrapAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t WrapSub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
inline int32_t WrapMul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

}  // namespace vx
