// UTF-8 read and written for SDL, and the system's code page 1252 texts made into it.
#include "platform/win/utf8.h"

#include "platform/win/code_page.h"

namespace vx::win {

bool NextCodePoint(std::string_view text, size_t& pos, uint32_t& codePoint) {
  const auto lead = static_cast<unsigned char>(text[pos++]);
  if (lead < 0x80) {
    codePoint = lead;
    return true;
  }
  int extra = 3;
  uint32_t minimum = 0x10000;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1;
    minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
    minimum = 0x800;
  } else if ((lead & 0xF8) != 0xF0) {
    return false;
  }
  codePoint = lead & (0x3Fu >> extra);
  for (int i = 0; i < extra; ++i) {
    if (pos >= text.size()) return false;
    const auto next = static_cast<unsigned char>(text[pos]);
    if ((next & 0xC0) != 0x80) return false;
    codePoint = (codePoint << 6) | (next & 0x3Fu);
    ++pos;
  }
  return codePoint >= minimum && codePoint <= 0x10FFFF && (codePoint < 0xD800 || codePoint > 0xDFFF);
}

bool IsUtf8(std::string_view text) {
  size_t pos = 0;
  uint32_t codePoint = 0;
  while (pos < text.size()) {
    if (!NextCodePoint(text, pos, codePoint)) return false;
  }
  return true;
}

void AppendUtf8(std::string& out, uint32_t codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

std::string ToUtf8(const char* text) {
  const std::string_view view = text ? text : "";
  if (IsUtf8(view)) return std::string(view);
  std::string out;
  for (const char c : view) {
    AppendUtf8(out, Cp1252ToCodePoint(static_cast<uint8_t>(c)));
  }
  return out;
}

}  // namespace vx::win
