// String commands and conversions: length, left, right, single character, case, character codes,
// spaces, decimal/hexadecimal/binary texts, number parsing, date and time texts and the command
// line. Results are built in the shared work buffer and stored through StoreString.
// Depends on the dispatcher's operand helpers, the error raising and the platform clock.
#include "runtime/strings.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/win/time.h"
#include "runtime/dispatcher.h"
#include "runtime/errors.h"

namespace vx {

namespace {

// Length of a text as the language sees it: never beyond its limit.
size_t TextLength(const char* text) { return strnlen(text, kMaxTextLength); }

void StoreResult(const char* text, size_t length) { StoreString(SlotOperand(0), text, length); }

// The length snprintf kept in the work buffer, given what it returned.
size_t KeptLength(int written) {
  if (written < 0) return 0;
  return size_t(written) < sizeof Runtime().gWorkText ? size_t(written) : sizeof Runtime().gWorkText - 1;
}

// --- Text functions ----------------------------------------------------------------------------

void FnLen() {
  SlotOperand(0)->i = int32_t(TextLength(TextOperand(1)));
  SkipOperands(2);
}

void FnLeft() {
  const char* text = TextOperand(1);
  const int32_t n = IntOperand(2);
  const size_t length = TextLength(text);
  const size_t keep = n < 1 ? 0 : size_t(n) < length ? size_t(n) : length;
  StoreResult(text, keep);
  SkipOperands(3);
}

void FnRight() {
  const char* text = TextOperand(1);
  const int32_t n = IntOperand(2);
  const size_t length = TextLength(text);
  const size_t keep = n < 1 ? 0 : size_t(n) < length ? size_t(n) : length;
  StoreResult(text + (length - keep), keep);
  SkipOperands(3);
}

void FnMidChar() {
  const char* text = TextOperand(1);
  const int32_t n = IntOperand(2);
  const size_t length = TextLength(text);
  if (n >= 1 && size_t(n) <= length)
    StoreResult(text + (n - 1), 1);
  else
    StoreResult("", 0);
  SkipOperands(3);
}

// Only the ASCII letters change; the C library's case functions would follow the locale.
void ConvertCase(char from, char to) {
  const char* text = TextOperand(1);
  const size_t length = TextLength(text);
  for (size_t i = 0; i < length; ++i) {
    const char c = text[i];
    Runtime().gWorkText[i] = (c >= from && c <= char(from + 25)) ? char(c - from + to) : c;
  }
  StoreResult(Runtime().gWorkText, length);
  SkipOperands(2);
}

void FnLower() { ConvertCase('A', 'a'); }
void FnUpper() { ConvertCase('a', 'A'); }

void FnAsc() {
  SlotOperand(0)->i = static_cast<unsigned char>(TextOperand(1)[0]);
  SkipOperands(2);
}

void FnChr() {
  Runtime().gWorkText[0] = char(uint8_t(IntOperand(1)));
  StoreResult(Runtime().gWorkText, Runtime().gWorkText[0] ? 1 : 0);
  SkipOperands(2);
}

void FnSpaces() {
  const int32_t n = IntOperand(1);
  if (n > int32_t(kMaxTextLength)) {
    RaiseRuntimeError(kErrStringTooLong);
    SkipOperands(2);
    return;
  }
  const size_t count = n > 0 ? size_t(n) : 0;
  std::memset(Runtime().gWorkText, ' ', count);
  StoreResult(Runtime().gWorkText, count);
  SkipOperands(2);
}

// --- Number texts ------------------------------------------------------------------------------

void FnStrInt() {
  const int n = std::snprintf(Runtime().gWorkText, sizeof Runtime().gWorkText, "%d", int(IntOperand(1)));
  StoreResult(Runtime().gWorkText, KeptLength(n));
  SkipOperands(2);
}

void FnStrFloat() {
  const int n = std::snprintf(Runtime().gWorkText, sizeof Runtime().gWorkText, "%g", double(FloatOperand(1)));
  StoreResult(Runtime().gWorkText, KeptLength(n));
  SkipOperands(2);
}

void FnHexString() {
  const int n = std::snprintf(Runtime().gWorkText, sizeof Runtime().gWorkText, "%X", unsigned(uint32_t(IntOperand(1))));
  StoreResult(Runtime().gWorkText, KeptLength(n));
  SkipOperands(2);
}

void FnBinaryString() {
  const auto bits = uint32_t(IntOperand(1));
  Runtime().gWorkText[0] = '%';
  for (int i = 0; i < 32; ++i) Runtime().gWorkText[1 + i] = (bits >> (31 - i)) & 1u ? '1' : '0';
  StoreResult(Runtime().gWorkText, 33);
  SkipOperands(2);
}

}  // namespace

int32_t ParseInt(const char* text) {
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  const bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  const int64_t limit = negative ? -int64_t(INT32_MIN) : int64_t(INT32_MAX);
  int64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > limit) value = limit;
  }
  return int32_t(negative ? -value : value);
}

namespace {

void FnValInt() {
  SlotOperand(0)->i = ParseInt(TextOperand(1));
  SkipOperands(2);
}

void FnValFloat() {
  SlotOperand(0)->f = float(std::strtod(TextOperand(1), nullptr));
  SkipOperands(2);
}

void FnIntOfFloat() {
  SlotOperand(0)->i = TruncateToInt32(double(FloatOperand(1)));
  SkipOperands(2);
}

// --- Date, time and command line ---------------------------------------------------------------

// Two-digit fields of the local date or time, joined by the separator.
void StoreLocalTimeText(char separator, int (*fields)(const win::SYSTEMTIME&, int)) {
  win::SYSTEMTIME now{};
  win::GetLocalTime(&now);
  const int n = std::snprintf(Runtime().gWorkText, sizeof Runtime().gWorkText, "%02d%c%02d%c%02d", fields(now, 0) % 100,
                              separator, fields(now, 1) % 100, separator, fields(now, 2) % 100);
  StoreResult(Runtime().gWorkText, KeptLength(n));
  SkipOperands(1);
}

void FnDate() {
  StoreLocalTimeText('/', [](const win::SYSTEMTIME& t, int i) {
    return int(i == 0 ? t.wMonth : i == 1 ? t.wDay : t.wYear);
  });
}

void FnTime() {
  StoreLocalTimeText(':', [](const win::SYSTEMTIME& t, int i) {
    return int(i == 0 ? t.wHour : i == 1 ? t.wMinute : t.wSecond);
  });
}

// The command line enters the language here, so it is cut to the text limit.
void FnCommandLine() {
  StoreResult(Runtime().gCommandLine.c_str(), TextLength(Runtime().gCommandLine.c_str()));
  SkipOperands(1);
}

}  // namespace

}  // namespace vx

#include "generated/commands/string.inc"
