// Blits of every kind in the three display formats, read back pixel by pixel: copy, mirror,
// stretch, colour keys, fills, fast blits, overlapping rectangles on one surface, and rectangles
// that leave a surface (which fail and change nothing).
#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "ddraw_test_support.h"

namespace vx::win::testing {
namespace {

// Letters name pixel values: the 3x2 source "ABC/DEF", '.' the destination's background.
constexpr char kLetters[] = ".ABCDEFG";
constexpr uint32_t kColours[] = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0xFFFF00, 0x00FFFF, 0xFF00FF};

uint32_t ValueOf(DWORD bits, char letter) {
  const auto at = std::string(kLetters).find(letter);
  return ArgbToPixel(DescribeFormat(DisplayPixelFormat(bits)), kColours[at]);
}

char LetterOf(DWORD bits, uint32_t value) {
  for (const char letter : std::string(kLetters)) {
    if (ValueOf(bits, letter) == value) return letter;
  }
  return '?';
}

// The surface's pixels as letters, rows separated by '/'.
std::string Picture(DirectDrawSurface* surface, DWORD bits) {
  std::string out;
  for (LONG y = 0; y < static_cast<LONG>(surface->Height()); ++y) {
    if (y) out += '/';
    for (LONG x = 0; x < static_cast<LONG>(surface->Width()); ++x) out += LetterOf(bits, GetPixel(surface, x, y));
  }
  return out;
}

void Draw(DirectDrawSurface* surface, DWORD bits, const std::string& picture) {
  const size_t stride = std::min(picture.find('/'), picture.size()) + 1;  // a row and its '/'
  for (size_t i = 0; i < picture.size(); ++i) {
    if (picture[i] != '/') SetPixel(surface, LONG(i % stride), LONG(i / stride), ValueOf(bits, picture[i]));
  }
}

enum class Call { Blt, BltFast, Fill };

// One blit of `src` into `dst`; a fast blit goes to the destination rectangle's corner.
HRESULT Blit(Call call, DirectDrawSurface* dst, DirectDrawSurface* src, DWORD bits, const std::optional<RECT>& to,
             const std::optional<RECT>& from, DWORD flags, DDBLTFX* fx) {
  const RECT* dstRect = to ? &*to : nullptr;
  const RECT* srcRect = from ? &*from : nullptr;
  switch (call) {
    case Call::Blt: return dst->Blt(dstRect, src, srcRect, flags, fx);
    case Call::BltFast:
      return dst->BltFast(static_cast<DWORD>(to->left), static_cast<DWORD>(to->top), src, srcRect, flags);
    case Call::Fill: return Fill(dst, ValueOf(bits, 'D'), dstRect);
  }
  return E_FAIL;
}

class BlitTest : public DirectDrawTest, public ::testing::WithParamInterface<DWORD> {
 protected:
  // The source "ABC/DEF" keyed on B, and a 6x4 destination filled with the background.
  void Prepare() {
    src_ = Plain(3, 2, GetParam());
    dst_ = Plain(6, 4, GetParam());
    Draw(src_.get(), GetParam(), "ABC/DEF");
    const DDCOLORKEY key{ValueOf(GetParam(), 'B'), ValueOf(GetParam(), 'B')};
    ASSERT_EQ(src_->SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
    ASSERT_EQ(Fill(dst_.get(), ValueOf(GetParam(), '.')), DD_OK);
  }
  void TearDown() override {
    src_.reset();
    dst_.reset();
    DirectDrawTest::TearDown();
  }
  Ref<DirectDrawSurface> src_, dst_;
};

TEST_P(BlitTest, EveryKindReadsBackRight) {
  const struct {
    const char* name;
    Call call;
    std::optional<RECT> dst, src;
    DWORD flags, fx;
    const char* expected;  // the 6x4 destination afterwards
  } cases[] = {
      {"copy", Call::Blt, RECT{1, 1, 4, 3}, {}, DDBLT_WAIT, 0, "....../.ABC../.DEF../......"},
      {"mirror left-right", Call::Blt, RECT{1, 1, 4, 3}, {}, DDBLT_DDFX, DDBLTFX_MIRRORLEFTRIGHT,
       "....../.CBA../.FED../......"},
      {"mirror up-down", Call::Blt, RECT{1, 1, 4, 3}, {}, DDBLT_DDFX, DDBLTFX_MIRRORUPDOWN,
       "....../.DEF../.ABC../......"},
      {"half turn", Call::Blt, RECT{0, 0, 3, 2}, {}, DDBLT_DDFX, DDBLTFX_ROTATE180, "FED.../CBA.../....../......"},
      {"stretch up", Call::Blt, {}, {}, 0, 0, "AABBCC/AABBCC/DDEEFF/DDEEFF"},
      {"stretch down to the nearest sample", Call::Blt, RECT{5, 3, 6, 4}, {}, 0, 0, "....../....../....../.....E"},
      {"part of the source", Call::Blt, RECT{4, 0, 6, 1}, RECT{1, 1, 3, 2}, 0, 0, "....EF/....../....../......"},
      {"source colour key", Call::Blt, RECT{0, 0, 3, 2}, {}, DDBLT_KEYSRC, 0, "A.C.../DEF.../....../......"},
      {"key, stretch and mirror", Call::Blt, RECT{0, 2, 6, 4}, {}, DDBLT_KEYSRC | DDBLT_DDFX, DDBLTFX_MIRRORLEFTRIGHT,
       "....../....../CC..AA/FFEEDD"},
      {"colour fill", Call::Fill, RECT{2, 1, 5, 3}, {}, 0, 0, "....../..DDD./..DDD./......"},
      {"fill everything", Call::Fill, {}, {}, 0, 0, "DDDDDD/DDDDDD/DDDDDD/DDDDDD"},
      {"fast blit", Call::BltFast, RECT{3, 2, 0, 0}, RECT{1, 0, 3, 2}, DDBLTFAST_WAIT, 0,
       "....../....../...BC./...EF."},
      {"fast blit with source key", Call::BltFast, RECT{0, 0, 0, 0}, {}, DDBLTFAST_SRCCOLORKEY, 0,
       "A.C.../DEF.../....../......"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Prepare();
    auto fx = Sized<DDBLTFX>();
    fx.dwDDFX = c.fx;
    EXPECT_EQ(Blit(c.call, dst_.get(), src_.get(), GetParam(), c.dst, c.src, c.flags, &fx), DD_OK);
    EXPECT_EQ(Picture(dst_.get(), GetParam()), c.expected);
  }
}

TEST_P(BlitTest, OverlappingRectanglesOnOneSurfaceCopyTheOldPixels) {
  const struct { const char* name; Call call; RECT src, dst; DWORD fx; const char* expected; } cases[] = {
      {"fast, rightwards", Call::BltFast, {0, 0, 4, 1}, {2, 0, 6, 1}, 0, "ABABCD.."},
      {"leftwards", Call::Blt, {2, 0, 6, 1}, {0, 0, 4, 1}, 0, "CDEFEF.."},
      {"stretched over itself", Call::Blt, {0, 0, 4, 1}, {0, 0, 8, 1}, 0, "AABBCCDD"},
      {"mirrored onto itself", Call::Blt, {0, 0, 6, 1}, {0, 0, 6, 1}, DDBLTFX_MIRRORLEFTRIGHT, "FEDCBA.."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto surface = Plain(8, 1, GetParam());
    Draw(surface.get(), GetParam(), "ABCDEF..");
    auto fx = Sized<DDBLTFX>();
    fx.dwDDFX = c.fx;
    const DWORD flags = c.call == Call::Blt ? DDBLT_DDFX : 0;
    EXPECT_EQ(Blit(c.call, surface.get(), surface.get(), GetParam(), c.dst, c.src, flags, &fx), DD_OK);
    EXPECT_EQ(Picture(surface.get(), GetParam()), c.expected);
  }
}

TEST_P(BlitTest, RectanglesThatLeaveASurfaceFailAndChangeNothing) {
  const struct { const char* name; Call call; RECT dst; std::optional<RECT> src; } cases[] = {
      {"left of the destination", Call::Blt, {-1, 0, 2, 2}, {}},
      {"past the destination's corner", Call::Blt, {4, 3, 7, 5}, {}},
      {"inverted destination", Call::Blt, {3, 0, 1, 2}, {}},
      {"source too large", Call::Blt, {0, 0, 3, 2}, RECT{0, 0, 4, 2}},
      {"source above its surface", Call::Blt, {0, 0, 3, 2}, RECT{0, -1, 3, 1}},
      {"inverted source", Call::Blt, {0, 0, 3, 2}, RECT{2, 0, 1, 2}},
      {"fill past the edge", Call::Fill, {5, 0, 7, 1}, {}},
      {"fast blit past the right edge", Call::BltFast, {4, 0, 0, 0}, {}},
      {"fast blit at a huge position", Call::BltFast, {-1, 0, 0, 0}, {}},
      {"fast blit from outside the source", Call::BltFast, {0, 0, 0, 0}, RECT{1, 1, 4, 3}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Prepare();
    const DWORD flags = c.call == Call::Blt ? DDBLT_WAIT : 0;
    EXPECT_EQ(Blit(c.call, dst_.get(), src_.get(), GetParam(), c.dst, c.src, flags, nullptr), DDERR_INVALIDRECT);
    EXPECT_EQ(Picture(dst_.get(), GetParam()), "....../....../....../......");
  }
}

TEST_P(BlitTest, DestinationKeyWritesOnlyOverTheKeyedPixels) {
  const DWORD bits = GetParam();
  auto src = Plain(3, 2, bits);
  auto dst = Plain(3, 2, bits);
  Draw(src.get(), bits, "ABC/DEF");
  Draw(dst.get(), bits, "G.G/.G.");
  const DDCOLORKEY key{ValueOf(bits, 'G'), ValueOf(bits, 'G')};
  ASSERT_EQ(dst->SetColorKey(DDCKEY_DESTBLT, &key), DD_OK);
  ASSERT_EQ(dst->Blt(nullptr, src.get(), nullptr, DDBLT_KEYDEST, nullptr), DD_OK);
  EXPECT_EQ(Picture(dst.get(), bits), "A.C/.E.");
  auto fx = Sized<DDBLTFX>();
  fx.ddckDestColorkey = DDCOLORKEY{ValueOf(bits, '.'), ValueOf(bits, '.')};
  ASSERT_EQ(dst->Blt(nullptr, src.get(), nullptr, DDBLT_KEYDESTOVERRIDE, &fx), DD_OK);
  EXPECT_EQ(Picture(dst.get(), bits), "ABC/DEF");
}

INSTANTIATE_TEST_SUITE_P(Formats, BlitTest, ::testing::Values(16u, 24u, 32u),
                         [](const auto& param) { return "bits" + std::to_string(param.param); });

TEST_F(DirectDrawTest, BlitFlagsThatCannotBeDoneAreRefused) {
  auto src = Plain(4, 4, 32);
  auto dst = Plain(4, 4, 32);
  auto fx = Sized<DDBLTFX>();
  EXPECT_EQ(dst->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, nullptr), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dst->Blt(nullptr, nullptr, nullptr, 0, nullptr), DDERR_INVALIDPARAMS);
  fx.dwROP = 0x00EE0086;  // SRCPAINT
  EXPECT_EQ(dst->Blt(nullptr, src.get(), nullptr, DDBLT_ROP, &fx), DDERR_NORASTEROPHW);
  fx.dwROP = SRCCOPY;
  EXPECT_EQ(dst->Blt(nullptr, src.get(), nullptr, DDBLT_ROP, &fx), DD_OK);
  fx.dwDDFX = DDBLTFX_ROTATE90;
  EXPECT_EQ(dst->Blt(nullptr, src.get(), nullptr, DDBLT_DDFX, &fx), DDERR_NOROTATIONHW);
  DDBLTFX small = fx;
  small.dwSize = 4;
  EXPECT_EQ(dst->Blt(nullptr, src.get(), nullptr, DDBLT_DDFX, &small), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dst->BltFast(0, 0, src.get(), nullptr, 0x100), DDERR_INVALIDPARAMS);
}

TEST_F(DirectDrawTest, ColourKeysAreSingleValuesUnlessARangeIsAsked) {
  auto surface = Plain(2, 2, 16);
  DDCOLORKEY read{};
  const auto key = [&](DirectDrawSurface* of) {
    EXPECT_EQ(of->GetColorKey(DDCKEY_SRCBLT, &read), DD_OK);
    return std::pair(read.dwColorSpaceLowValue, read.dwColorSpaceHighValue);
  };
  EXPECT_EQ(surface->GetColorKey(DDCKEY_SRCBLT, &read), DDERR_NOCOLORKEY);
  DDCOLORKEY set{0x1234, 0x5678};
  ASSERT_EQ(surface->SetColorKey(DDCKEY_SRCBLT, &set), DD_OK);
  EXPECT_EQ(key(surface.get()), std::pair(0x1234u, 0x1234u));
  set = DDCOLORKEY{0x10001, 0x20002};  // beyond 16 bits: the pixel's bits are kept
  ASSERT_EQ(surface->SetColorKey(DDCKEY_SRCBLT | DDCKEY_COLORSPACE, &set), DD_OK);
  EXPECT_EQ(key(surface.get()), std::pair(0x0001u, 0x0002u));
  ASSERT_EQ(surface->SetColorKey(DDCKEY_SRCBLT, nullptr), DD_OK);
  EXPECT_EQ(surface->GetColorKey(DDCKEY_SRCBLT, &read), DDERR_NOCOLORKEY);
  EXPECT_EQ(surface->SetColorKey(DDCKEY_SRCOVERLAY, &set), DDERR_UNSUPPORTED);

  DDSURFACEDESC2 desc = Desc(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY, 2, 2);
  desc.dwFlags |= DDSD_CKSRCBLT;
  desc.ddckCKSrcBlt = DDCOLORKEY{7, 7};
  EXPECT_EQ(key(Make(desc).get()), std::pair(7u, 7u));

  // A key flag on a surface without that key copies every pixel.
  auto src = Plain(2, 1, 32);
  auto dst = Plain(2, 1, 32);
  SetPixel(src.get(), 0, 0, 0x000000);
  SetPixel(src.get(), 1, 0, 0x123456);
  ASSERT_EQ(Fill(dst.get(), 0xFFFFFF), DD_OK);
  EXPECT_EQ(dst->Blt(nullptr, src.get(), nullptr, DDBLT_KEYSRC, nullptr), DD_OK);
  EXPECT_EQ(GetPixel(dst.get(), 0, 0), 0x000000u);
  EXPECT_EQ(GetPixel(dst.get(), 1, 0), 0x123456u);
}

TEST_F(DirectDrawTest, PalettisedSurfacesBlitThroughTheirPalette) {
  PALETTEENTRY entries[256]{};
  entries[1] = PALETTEENTRY{255, 0, 0, 0};
  entries[2] = PALETTEENTRY{0, 0, 255, 0};
  entries[3] = PALETTEENTRY{250, 10, 10, 0};
  DirectDrawPalette* made = nullptr;
  ASSERT_EQ(dd_->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &made, nullptr), DD_OK);
  Ref<DirectDrawPalette> palette(made);
  auto indexed = Plain(2, 1, 8);
  auto rgb = Plain(2, 1, 32);
  ASSERT_EQ(indexed->SetPalette(palette.get()), DD_OK);
  EXPECT_EQ(rgb->SetPalette(palette.get()), DDERR_NOTPALETTIZED);
  SetPixel(indexed.get(), 0, 0, 1);
  SetPixel(indexed.get(), 1, 0, 2);
  ASSERT_EQ(rgb->Blt(nullptr, indexed.get(), nullptr, 0, nullptr), DD_OK);
  EXPECT_EQ(GetPixel(rgb.get(), 0, 0), 0xFF0000u);
  EXPECT_EQ(GetPixel(rgb.get(), 1, 0), 0x0000FFu);
  // Back into indices: the nearest colour of the palette.
  SetPixel(rgb.get(), 0, 0, 0xF00808);
  ASSERT_EQ(indexed->Blt(nullptr, rgb.get(), nullptr, 0, nullptr), DD_OK);
  EXPECT_EQ(GetPixel(indexed.get(), 0, 0), 3u);
  EXPECT_EQ(GetPixel(indexed.get(), 1, 0), 2u);
  // The surface holds its own reference to the palette.
  EXPECT_EQ(palette->AddRef(), 3u);
  EXPECT_EQ(palette->Release(), 2u);
}

}  // namespace
}  // namespace vx::win::testing
