// Fonts and text on surface device contexts: exact two-colour drawing, background modes, extents
// against drawn pixels, styles, face mapping, family enumeration over a known font folder, and
// character sets.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "gdi_test_support.h"

namespace vx::win::testing {
namespace {

namespace fs = std::filesystem;

struct DrawnBox {
  LONG left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  int count = 0;
};

// Where pixels of the given value are.
DrawnBox FindValue(DirectDrawSurface* surface, uint32_t value) {
  const std::vector<uint32_t> pixels = GdiTest::Pixels(surface);
  DrawnBox box;
  const LONG width = static_cast<LONG>(surface->Width());
  for (size_t i = 0; i < pixels.size(); ++i) {
    if (pixels[i] != value) continue;
    const LONG x = static_cast<LONG>(i) % width, y = static_cast<LONG>(i) / width;
    box.left = std::min(box.left, x), box.top = std::min(box.top, y);
    box.right = std::max(box.right, x + 1), box.bottom = std::max(box.bottom, y + 1);
    ++box.count;
  }
  return box;
}

class GdiTextTest : public GdiTest {
 protected:
  // Draws the text with a new font and gives the font's extent of it.
  SIZE Draw(DirectDrawSurface* surface, const char* face, int height, int weight, bool italic, const char* text,
            int mode, COLORREF ink, COLORREF paper = RGB(0, 0, 0), int x = 4, int y = 4, DWORD charSet = 0) {
    SurfaceDc dc(surface);
    HFONT font = CreateFontA(height, 0, 0, 0, weight, italic, 0, 0, charSet, 0, 0, NONANTIALIASED_QUALITY,
                             VARIABLE_PITCH, face);
    HGDIOBJ previous = SelectObject(dc, font);
    EXPECT_NE(previous, nullptr);
    SetBkMode(dc, mode);
    SetTextColor(dc, ink);
    SetBkColor(dc, paper);
    SIZE size{};
    EXPECT_TRUE(GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &size));
    EXPECT_TRUE(TextOutA(dc, x, y, text, static_cast<int>(std::strlen(text))));
    SelectObject(dc, previous);
    EXPECT_TRUE(DeleteObject(font));
    return size;
  }
};

TEST_F(GdiTextTest, TextIsDrawnInExactlyTheTextColourAtEveryDepth) {
  for (DWORD bits : {16u, 24u, 32u}) {
    SCOPED_TRACE(bits);
    const FormatInfo format = DescribeFormat(DisplayPixelFormat(bits));
    const uint32_t key = ArgbToPixel(format, 0xFFFF00FF), yellow = ArgbToPixel(format, 0xFFFFFF00);
    Ref<DirectDrawSurface> surface = Canvas(160, 40, bits, key);
    Draw(surface.get(), "Arial", -20, FW_NORMAL, false, "Hello, world", TRANSPARENT, RGB(255, 255, 0));
    EXPECT_EQ(Distinct(surface.get()), (std::set<uint32_t>{key, yellow}));
    EXPECT_GT(FindValue(surface.get(), yellow).count, 50);
  }
}

TEST_F(GdiTextTest, OpaqueFillsTheCellsAndTransparentLeavesThemAlone) {
  const uint32_t key = 0x00FF00FF, ink = 0x00FFFFFF, paper = 0x00800000;
  Ref<DirectDrawSurface> transparent = Canvas(160, 40, 32, key);
  Draw(transparent.get(), "Arial", 20, FW_NORMAL, false, "Text", TRANSPARENT, RGB(255, 255, 255), RGB(128, 0, 0));
  EXPECT_EQ(Distinct(transparent.get()), (std::set<uint32_t>{key, ink}));

  Ref<DirectDrawSurface> opaque = Canvas(160, 40, 32, key);
  const SIZE size =
      Draw(opaque.get(), "Arial", 20, FW_NORMAL, false, "Text", OPAQUE, RGB(255, 255, 255), RGB(128, 0, 0), 10, 5);
  const DrawnBox cell = FindValue(opaque.get(), paper);
  EXPECT_EQ(cell.left, 10);
  EXPECT_EQ(cell.top, 5);
  EXPECT_EQ(cell.right, 10 + size.cx);
  EXPECT_EQ(cell.bottom, 5 + size.cy);
  EXPECT_EQ(size.cy, 20) << "a positive height is the cell height";
}

TEST_F(GdiTextTest, ExtentsAgreeWithTheDrawnPixelsAndAddUp) {
  Ref<DirectDrawSurface> surface = Canvas(300, 60, 32, 0);
  const SIZE size = Draw(surface.get(), "Times New Roman", -24, FW_NORMAL, false, "Wavy text", TRANSPARENT,
                         RGB(255, 255, 255), 0, 20, 10);
  const DrawnBox ink = FindValue(surface.get(), 0x00FFFFFF);
  EXPECT_GE(ink.left, 20);
  EXPECT_LE(ink.right, 20 + size.cx + 1);
  EXPECT_GE(ink.top, 10);
  EXPECT_LE(ink.bottom, 10 + size.cy);
  EXPECT_GT(ink.right - ink.left, size.cx * 3 / 4);

  SurfaceDc dc(surface.get());
  HFONT font = CreateFontA(-24, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, NONANTIALIASED_QUALITY, VARIABLE_PITCH,
                           "Times New Roman");
  HGDIOBJ previous = SelectObject(dc, font);
  SIZE a{}, b{}, ab{};
  GetTextExtentPoint32A(dc, "Wavy ", 5, &a);
  GetTextExtentPoint32A(dc, "text", 4, &b);
  GetTextExtentPoint32A(dc, "Wavy text", 9, &ab);
  EXPECT_EQ(ab.cx, a.cx + b.cx);
  EXPECT_EQ(ab.cx, size.cx);
  TEXTMETRICA metrics{};
  ASSERT_TRUE(GetTextMetricsA(dc, &metrics));
  EXPECT_EQ(metrics.tmHeight, ab.cy);
  EXPECT_EQ(metrics.tmAscent + metrics.tmDescent, metrics.tmHeight);
  EXPECT_EQ(metrics.tmHeight - metrics.tmInternalLeading, 24) << "a negative height is the character height";
  SIZE empty{};
  EXPECT_TRUE(GetTextExtentPoint32A(dc, "", 0, &empty));
  EXPECT_EQ(empty.cx, 0);
  EXPECT_FALSE(GetTextExtentPoint32A(dc, "x", -1, &empty));
  SelectObject(dc, previous);
  DeleteObject(font);
}

TEST_F(GdiTextTest, BoldAndItalicLookDifferent) {
  std::vector<std::vector<uint32_t>> looks;
  std::vector<LONG> widths;
  for (auto [weight, italic] : {std::pair{FW_NORMAL, false}, {FW_BOLD, false}, {FW_NORMAL, true}, {FW_BOLD, true}}) {
    Ref<DirectDrawSurface> surface = Canvas(200, 40, 32, 0);
    widths.push_back(Draw(surface.get(), "Arial", -20, weight, italic, "Styled", TRANSPARENT, RGB(255, 255, 255)).cx);
    looks.push_back(Pixels(surface.get()));
  }
  for (size_t i = 0; i < looks.size(); ++i)
    for (size_t j = i + 1; j < looks.size(); ++j) EXPECT_NE(looks[i], looks[j]) << i << " and " << j;
  EXPECT_GT(widths[1], widths[0]) << "bold is wider";
}

TEST_F(GdiTextTest, WindowsFacesMapToTheirMetricCompatibleFonts) {
  const struct {
    const char* face;
    int weight;
    const char* family;
    const char* file;
  } cases[] = {
      {"Arial", FW_NORMAL, "Liberation Sans", "LiberationSans-Regular.ttf"},
      {"arial", FW_BOLD, "Liberation Sans", "LiberationSans-Bold.ttf"},
      {"Times New Roman", FW_NORMAL, "Liberation Serif", "LiberationSerif-Regular.ttf"},
      {"Courier New", FW_NORMAL, "Liberation Mono", "LiberationMono-Regular.ttf"},
      {"system", FW_NORMAL, "DejaVu Sans", "DejaVuSans-Bold.ttf"},
      {"Fixedsys", FW_BOLD, "DejaVu Sans Mono", "DejaVuSansMono.ttf"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.face);
    HFONT font = CreateFontA(10, 0, 0, 0, c.weight, 0, 0, 0, 0, 0, 0, NONANTIALIASED_QUALITY, VARIABLE_PITCH, c.face);
    EXPECT_EQ(FontFamilyName(font), c.family);
    EXPECT_EQ(fs::path(FontFilePath(font)).filename(), c.file);
    DeleteObject(font);
  }
  // The fixed choices keep their one size whatever is asked for.
  Ref<DirectDrawSurface> surface = Canvas(8, 8);
  SurfaceDc dc(surface.get());
  for (int size : {10, 30}) {
    HFONT font = CreateFontA(size, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, NONANTIALIASED_QUALITY, VARIABLE_PITCH, "system");
    HGDIOBJ previous = SelectObject(dc, font);
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    EXPECT_EQ(metrics.tmHeight, 16);
    char face[64] = {};
    EXPECT_EQ(GetTextFaceA(dc, sizeof face, face), 11);
    EXPECT_STREQ(face, "DejaVu Sans");
    SelectObject(dc, previous);
    DeleteObject(font);
  }
}

int CollectFamily(const LOGFONTA* font, const TEXTMETRICA* metrics, DWORD type, LPARAM context) {
  auto* names = reinterpret_cast<std::vector<std::string>*>(context);
  names->push_back(font->lfFaceName);
  EXPECT_GT(metrics->tmHeight, 0);
  EXPECT_EQ(type, TRUETYPE_FONTTYPE);
  EXPECT_STREQ(reinterpret_cast<const ENUMLOGFONTEXA*>(font)->elfFullName, font->lfFaceName);
  return names->size() < 100 ? 1 : 0;
}

int StopAtFirst(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM context) {
  ++*reinterpret_cast<int*>(context);
  return 0;
}

TEST_F(GdiTextTest, FamiliesAreEnumeratedFromTheConfiguredFolder) {
  const fs::path folder = fs::temp_directory_path() / ("vx-gdi-fonts-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  fs::copy_file("/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf", folder / "a.ttf",
                fs::copy_options::overwrite_existing);
  fs::copy_file("/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf", folder / "b.ttf",
                fs::copy_options::overwrite_existing);
  fs::copy_file("/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf", folder / "c.ttf",
                fs::copy_options::overwrite_existing);
  std::ofstream(folder / "fonts.conf") << "<?xml version=\"1.0\"?>\n<fontconfig><dir>" << folder.string()
                                       << "</dir><cachedir>" << (folder / "cache").string()
                                       << "</cachedir></fontconfig>\n";
  ::setenv("FONTCONFIG_FILE", (folder / "fonts.conf").c_str(), 1);
  ReloadFontConfiguration();

  Ref<DirectDrawSurface> surface = Canvas(8, 8);
  {
    SurfaceDc dc(surface.get());
    std::vector<std::string> names;
    EXPECT_EQ(EnumFontFamiliesA(dc, nullptr, CollectFamily, reinterpret_cast<LPARAM>(&names)), 1);
    EXPECT_EQ(names, (std::vector<std::string>{"DejaVu Sans Mono", "Liberation Sans"})) << "one entry per family";
    names.clear();
    EnumFontFamiliesA(dc, "liberation sans", CollectFamily, reinterpret_cast<LPARAM>(&names));
    EXPECT_EQ(names, std::vector<std::string>{"Liberation Sans"});
    int calls = 0;
    EXPECT_EQ(EnumFontFamiliesA(dc, nullptr, StopAtFirst, reinterpret_cast<LPARAM>(&calls)), 0);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(EnumFontFamiliesA(nullptr, nullptr, StopAtFirst, reinterpret_cast<LPARAM>(&calls)), 0);
  }
  // An unknown face still gives a font: one of the folder's.
  HFONT font = CreateFontA(12, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 3, 2, "No Such Face");
  EXPECT_EQ(fs::path(FontFilePath(font)).parent_path(), folder);
  DeleteObject(font);

  ::unsetenv("FONTCONFIG_FILE");
  ReloadFontConfiguration();
  fs::remove_all(folder);
}

TEST_F(GdiTextTest, CharacterSetsReadTheirCodePages) {
  EXPECT_EQ(CharsetCodePage(ANSI_CHARSET), 1252u);
  EXPECT_EQ(CharsetCodePage(DEFAULT_CHARSET), 1252u);
  EXPECT_EQ(CharsetCodePage(SHIFTJIS_CHARSET), 932u);
  EXPECT_EQ(CharsetCodePage(HANGUL_CHARSET), 949u);
  EXPECT_EQ(CharsetCodePage(GB2312_CHARSET), 936u);
  EXPECT_EQ(CharsetCodePage(CHINESEBIG5_CHARSET), 950u);
  EXPECT_EQ(CharsetCodePage(RUSSIAN_CHARSET), 1251u);
  EXPECT_EQ(DecodeCharsetText(ANSI_CHARSET, "A\x80\x93\xE9\x81", 5), U"A\u20AC\u201C\u00E9\u0081");
  EXPECT_EQ(DecodeCharsetText(RUSSIAN_CHARSET, "\xCF\xF0", 2), U"\u041F\u0440");
  // Shift-JIS: a double-byte hiragana, an ASCII letter, a one-byte katakana, a lead byte cut off.
  EXPECT_EQ(DecodeCharsetText(SHIFTJIS_CHARSET, "\x82\xA0" "a\xB1\x82", 5), U"\u3042a\uFF71\uFFFD");
  EXPECT_EQ(DecodeCharsetText(HANGUL_CHARSET, "\xB0\xA1", 2), U"\uAC00");

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
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 96);
  EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 32);
  EXPECT_EQ(MulDiv(10, 96, 72), 13);
  EXPECT_EQ(MulDiv(-10, 96, 72), -13);
  EXPECT_EQ(MulDiv(1, 1, 0), -1);
  EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
  EXPECT_EQ(SetBkMode(dc, 7), 0);
  EXPECT_EQ(GetBkMode(dc), TRANSPARENT);

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
