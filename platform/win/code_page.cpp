// The one table of code page 1252 (code_page.h), for the window's texts and typed characters and
// for text drawn in an ANSI font.
#include "platform/win/code_page.h"

namespace vx::win {

namespace {

// 0x80 to 0x9F; the unassigned bytes stand for themselves.
constexpr char32_t kHighRow[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                   0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                   0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                   0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

char32_t Cp1252ToCodePoint(uint8_t byte) { return byte >= 0x80 && byte < 0xA0 ? kHighRow[byte - 0x80] : byte; }

int Cp1252FromCodePoint(char32_t codePoint) {
  for (int byte = 0x80; byte < 0xA0; ++byte)
    if (kHighRow[byte - 0x80] == codePoint) return byte;
  // The C1 controls that the unassigned bytes stand for are found above; the others have no byte.
  if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) return static_cast<int>(codePoint);
  return -1;
}

}  // namespace vx::win
