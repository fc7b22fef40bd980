// Code page 1252 against glibc's iconv, an implementation of its own: every byte the page assigns
// decodes as iconv decodes it, the five bytes it leaves unassigned (which iconv refuses) stand for
// the control characters of the same value as Windows reads them, and every code point goes back
// to its byte. Text drawn in an ANSI font and the window's texts read the same table.
#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "platform/gdi/gdi.h"
#include "platform/win/code_page.h"
#include "platform/win/utf8.h"

namespace vx::win {
namespace {

// The code point iconv gives a byte of CP1252, or 0 when it refuses the byte.
char32_t IconvDecode(iconv_t converter, uint8_t byte) {
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  char in[1] = {static_cast<char>(byte)};
  unsigned char out[4] = {};
  char* inPtr = in;
  char* outPtr = reinterpret_cast<char*>(out);
  size_t inLeft = 1, outLeft = sizeof out;
  if (iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) return 0;
  return char32_t(out[0]) | char32_t(out[1]) << 8 | char32_t(out[2]) << 16 | char32_t(out[3]) << 24;
}

TEST(CodePage1252Test, AssignedBytesDecodeAsIconvDoesAndUnassignedOnesStandForThemselves) {
  iconv_t converter = iconv_open("UTF-32LE", "CP1252");
  ASSERT_NE(converter, reinterpret_cast<iconv_t>(-1)) << "iconv has no CP1252";
  int unassigned = 0;
  for (int byte = 0; byte < 256; ++byte) {
    SCOPED_TRACE(byte);
    const char32_t expected = IconvDecode(converter, uint8_t(byte));
    const char32_t decoded = Cp1252ToCodePoint(uint8_t(byte));
    if (expected != 0 || byte == 0) {
      EXPECT_EQ(decoded, expected);
    } else {
      ++unassigned;
      EXPECT_EQ(decoded, char32_t(byte));
    }
    EXPECT_EQ(Cp1252FromCodePoint(decoded), byte) << "the code point goes back to its byte";
  }
  iconv_close(converter);
  EXPECT_EQ(unassigned, 5);
  EXPECT_EQ(Cp1252FromCodePoint(U'\u4E2D'), -1);
  EXPECT_EQ(Cp1252FromCodePoint(U'\u0100'), -1);
}

TEST(CodePage1252Test, AnsiFontTextReadsTheSameTable) {
  std::string all;
  std::u32string expected;
  for (int byte = 1; byte < 256; ++byte) {
    all += char(byte);
    expected += Cp1252ToCodePoint(uint8_t(byte));
  }
  EXPECT_EQ(DecodeCharsetText(ANSI_CHARSET, all.data(), all.size()), expected);
}

// SDL gets UTF-8: a code page 1252 text is converted as iconv converts it, a text that is UTF-8
// already passes as it is, and reading back refuses what is not well-formed.
TEST(CodePage1252Test, TextsForSdlAreUtf8AndMalformedSequencesAreRefused) {
  iconv_t converter = iconv_open("UTF-8", "CP1252");
  ASSERT_NE(converter, reinterpret_cast<iconv_t>(-1)) << "iconv has no CP1252";
  std::string text = "caf\xE9 \x80 \x93ok\x94";
  std::string expected(64, '\0');
  char* in = text.data();
  char* out = expected.data();
  size_t inLeft = text.size(), outLeft = expected.size();
  ASSERT_NE(iconv(converter, &in, &inLeft, &out, &outLeft), static_cast<size_t>(-1));
  expected.resize(expected.size() - outLeft);
  iconv_close(converter);
  EXPECT_EQ(ToUtf8(text.c_str()), expected);
  EXPECT_EQ(ToUtf8(expected.c_str()), expected) << "UTF-8 stays as it is";
  EXPECT_EQ(ToUtf8(nullptr), "");

  size_t pos = 0;
  uint32_t codePoint = 0;
  const std::string euro = "\xE2\x82\xAC";
  EXPECT_TRUE(NextCodePoint(euro, pos, codePoint));
  EXPECT_EQ(codePoint, 0x20ACu);
  EXPECT_EQ(pos, 3u);
  for (const std::string bad : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82", "\x82"}) {
    SCOPED_TRACE(bad.size());
    pos = 0;
    EXPECT_FALSE(NextCodePoint(bad, pos, codePoint));
    EXPECT_FALSE(IsUtf8(bad));
  }
}

}  // namespace
}  // namespace vx::win
