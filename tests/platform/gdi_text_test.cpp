// Fonts and text on surface device contexts: exact two-colour drawing, character sets, and
// handles that are bogus or deleted while selected.
#include <algorithm>
#include <vector>

#include "gdi_test_support.h"

namespace vx::win::testing {
namespace {

using GdiTextTest = GdiTest;

TEST_F(GdiTextTest, TextIsDrawnInExactlyTheTextColourAtEveryDepth) {
  for (DWORD bits : {16u, 24u, 32u}) {
    SCOPED_TRACE(bits);
    const FormatInfo format = DescribeFormat(DisplayPixelFormat(bits));
    const uint32_t key = ArgbToPixel(format, 0xFFFF00FF), yellow = ArgbToPixel(format, 0xFFFFFF00);
    Ref<DirectDrawSurface> surface = Canvas(160, 40, bits, key);
    {
      SurfaceDc dc(surface.get());
      HFONT font = CreateFontA(-20, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, NONANTIALIASED_QUALITY, 2, "Arial");
      HGDIOBJ previous = SelectObject(dc, font);
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, RGB(255, 255, 0));
      EXPECT_TRUE(TextOutA(dc, 4, 4, "Hello, world", 12));
      SelectObject(dc, previous);
      EXPECT_TRUE(DeleteObject(font));
    }
    EXPECT_EQ(Distinct(surface.get()), (std::set<uint32_t>{key, yellow}));
    const std::vector<uint32_t> pixels = Pixels(surface.get());
    EXPECT_GT(std::count(pixels.begin(), pixels.end(), yellow), 50);
  }
}

TEST_F(GdiTextTest, CharacterSetsDecodeAndMeasureByCharacter) {
  EXPECT_EQ(DecodeCharsetText(ANSI_CHARSET, "A\x80\x93\xE9\x81", 5), U"A\u20AC\u201C\u00E9\u0081");
  // Shift-JIS: a double-byte hiragana, an ASCII letter, a one-byte katakana, a lead byte cut off.
  EXPECT_EQ(DecodeCharsetText(SHIFTJIS_CHARSET,
                              "\x82\xA0"
                              "a\xB1\x82",
                              5),
            U"\u3042a\uFF71\uFFFD");

  // Double-byte text measures and draws as characters, not bytes.
  Ref<DirectDrawSurface> surface = Canvas(120, 40, 32, 0);
  SIZE one{}, two{}, bytes{};
  {
    SurfaceDc dc(surface.get());
    HFONT japanese = CreateFontA(-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, 0, 0, 3, 2, "Arial");
    HFONT western = CreateFontA(-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 3, 2, "Arial");
    HGDIOBJ previous = SelectObject(dc, japanese);
    GetTextExtentPoint32A(dc, "\x82\xA0", 2, &one);
    GetTextExtentPoint32A(dc, "\x82\xA0\x82\xA0", 4, &two);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    EXPECT_TRUE(TextOutA(dc, 2, 2, "\x82\xA0\x82\xA0", 4));
    SelectObject(dc, western);
    GetTextExtentPoint32A(dc, "\x82\xA0", 2, &bytes);
    SIZE first{}, second{};
    GetTextExtentPoint32A(dc, "\x82", 1, &first);
    GetTextExtentPoint32A(dc, "\xA0", 1, &second);
    EXPECT_EQ(bytes.cx, first.cx + second.cx);
    SelectObject(dc, previous);
    DeleteObject(japanese);
    DeleteObject(western);
  }
  EXPECT_GT(one.cx, 0);
  EXPECT_EQ(two.cx, 2 * one.cx);
  EXPECT_EQ(Distinct(surface.get()), (std::set<uint32_t>{0, 0x00FFFFFF}));
}

TEST_F(GdiTextTest, ContextsCheckTheirHandlesAndKeepSelectedFonts) {
  Ref<DirectDrawSurface> surface = Canvas(100, 30, 32, 0);
  SurfaceDc dc(surface.get());
  EXPECT_EQ(MulDiv(1, 1, 0), -1);
  EXPECT_EQ(SetBkMode(dc, 7), 0);

  int junk = 0;
  HDC bogus = reinterpret_cast<HDC>(&junk);
  EXPECT_FALSE(TextOutA(bogus, 0, 0, "x", 1));
  EXPECT_EQ(SetTextColor(bogus, 0), CLR_INVALID);
  EXPECT_FALSE(DeleteObject(reinterpret_cast<HGDIOBJ>(&junk)));
  EXPECT_EQ(SelectObject(dc, reinterpret_cast<HGDIOBJ>(&junk)), nullptr);

  // A font deleted while selected keeps drawing until it is deselected.
  HFONT font = CreateFontA(-14, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 3, 2, "Arial");
  HGDIOBJ previous = SelectObject(dc, font);
  EXPECT_TRUE(DeleteObject(font));
  SetTextColor(dc, RGB(255, 255, 255));
  EXPECT_TRUE(TextOutA(dc, 0, 0, "still", 5));
  EXPECT_EQ(SelectObject(dc, font), nullptr) << "a deleted font can't be selected again";
  SelectObject(dc, previous);
  EXPECT_FALSE(DeleteObject(font));
  EXPECT_TRUE(DeleteObject(GetStockObject(SYSTEM_FONT))) << "stock objects stay";
}

}  // namespace
}  // namespace vx::win::testing
