// UTF-8, which SDL speaks, beside code page 1252, the page of the system's texts
// (platform/win/code_page.h).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace vx::win {

// Reads one UTF-8 sequence at text[pos]; false (pos past the bad byte) when it is malformed.
bool NextCodePoint(std::string_view text, size_t& pos, uint32_t& codePoint);
bool IsUtf8(std::string_view text);
// Code points below 0x10000.
void AppendUtf8(std::string& out, uint32_t codePoint);
// Texts from the system are code page 1252, but paths from Linux arrive in UTF-8: text that is
// already valid UTF-8 is taken as it is.
std::string ToUtf8(const char* text);

}  // namespace vx::win
