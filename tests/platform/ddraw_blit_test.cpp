// Blits of every kind in the three display formats, read back pixel by pixel: copy, mirror,
// stretch, colour keys, fills, fast blits, overlapping rectangles on one surface, and rectangles
// that leave a surface (which fail and change nothing).
#include <algorithm>
#include <optional>
#include <string>

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
      {"stretch down to the nearest sample", Call::Blt, RECT{5, 3, 6, 4}, {}, 0, 0, "....../....../....../.....E"},
      {"key, stretch and mirror", Call::Blt, RECT{0, 2, 6, 4}, {}, DDBLT_KEYSRC | DDBLT_DDFX, DDBLTFX_MIRRORLEFTRIGHT,
       "....../....../CC..AA/FFEEDD"},
      {"colour fill", Call::Fill, RECT{2, 1, 5, 3}, {}, 0, 0, "....../..DDD./..DDD./......"},
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
      {"past the destination's corner", Call::Blt, {4, 3, 7, 5}, {}},
      {"source above its surface", Call::Blt, {0, 0, 3, 2}, RECT{0, -1, 3, 1}},
      {"fill past the edge", Call::Fill, {5, 0, 7, 1}, {}},
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

INSTANTIATE_TEST_SUITE_P(Formats, BlitTest, ::testing::Values(16u, 24u, 32u),
                         [](const auto& param) { return "bits" + std::to_string(param.param); });

}  // namespace
}  // namespace vx::win::testing
