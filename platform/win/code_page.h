// Code page 1252, the page of the system's texts, as Windows reads and writes it: the bytes 0x80
// to 0x9F hold the euro sign, quotation marks, dashes and a few letters, 0xA0 to 0xFF are Latin-1.
// The five bytes the page leaves unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the control
// characters of the same value, both ways, as Windows converts them.
#pragma once
#include <cstdint>

namespace vx::win {

char32_t Cp1252ToCodePoint(uint8_t byte);
// The byte of a code point, or -1 when the page has none.
int Cp1252FromCodePoint(char32_t codePoint);

}  // namespace vx::win
