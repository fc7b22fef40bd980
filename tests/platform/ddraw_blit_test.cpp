// Blits of every kind in the three display formats, read back pixel by pixel: copy, mirror,
// stretch, colour keys, fills, fast blits, overlapping rectangles on one surface, and rectangles
// that leave a surface (which fail and change nothing). Keyed pastes: every vector row copy against
// the scalar one on random rows, and keyed blits of random pictures against a pixel model.
#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "ddraw_test_support.h"
#include "platform/ddraw/keyed_rows.h"

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
      {"mirror left-right",
       Call::Blt,
       RECT{1, 1, 4, 3},
       {},
       DDBLT_DDFX,
       DDBLTFX_MIRRORLEFTRIGHT,
       "....../.CBA../.FED../......"},
      {"stretch down to the nearest sample", Call::Blt, RECT{5, 3, 6, 4}, {}, 0, 0, "....../....../....../.....E"},
      {"key, stretch and mirror",
       Call::Blt,
       RECT{0, 2, 6, 4},
       {},
       DDBLT_KEYSRC | DDBLT_DDFX,
       DDBLTFX_MIRRORLEFTRIGHT,
       "....../....../CC..AA/FFEEDD"},
      {"colour fill", Call::Fill, RECT{2, 1, 5, 3}, {}, 0, 0, "....../..DDD./..DDD./......"},
      {"fast blit with source key",
       Call::BltFast,
       RECT{0, 0, 0, 0},
       {},
       DDBLTFAST_SRCCOLORKEY,
       0,
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
  const struct {
    const char* name;
    Call call;
    RECT src, dst;
    DWORD fx;
    const char* expected;
  } cases[] = {
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
  const struct {
    const char* name;
    Call call;
    RECT dst;
    std::optional<RECT> src;
  } cases[] = {
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

// --- Keyed pastes ---------------------------------------------------------------------------------

using ddraw_detail::KeyedRowCopier;
using ddraw_detail::KeyedRows;
using ddraw_detail::RowCopyLevel;
using ddraw_detail::RowKey;

uint32_t Widest(uint32_t bytesPerPixel) { return bytesPerPixel == 4 ? 0xFFFFFFFFu : (1u << (8 * bytesPerPixel)) - 1; }

// Keys of every shape over a few values that the pixels repeat, so that rows mix keyed and copied
// pixels, runs of both and the values just outside the key.
struct KeyedCase {
  RowKey key;
  std::vector<uint32_t> values;
};

// A surface's key has the format's value mask; a row copy may be given any mask.
KeyedCase RandomKeyedCase(std::mt19937& random, uint32_t bytesPerPixel, std::optional<uint32_t> mask = {}) {
  const uint32_t widest = Widest(bytesPerPixel);
  KeyedCase c;
  const uint32_t masks[] = {widest, widest & 0x00FFFFFFu, widest & 0xFFFFu, widest & 0x7BEFu,
                            widest & static_cast<uint32_t>(random())};
  c.key.mask = mask ? *mask : masks[random() % std::size(masks)];
  const uint32_t a = random() & c.key.mask, b = random() & c.key.mask;
  switch (random() % 5) {
    case 0: c.key.low = c.key.high = a; break;                               // one value
    case 1: c.key.low = std::min(a, b), c.key.high = std::max(a, b); break;  // a range
    case 2: c.key.low = std::max(a, b), c.key.high = std::min(a, b); break;  // low above high
    case 3: c.key.low = a, c.key.high = widest == 0xFFFFFFFFu ? widest : widest + 1 + random() % 99; break;
    default: c.key.low = widest == 0xFFFFFFFFu ? a : widest + 1, c.key.high = c.key.low + random() % 5; break;
  }
  for (const uint32_t edge : {c.key.low, c.key.high, c.key.low - 1, c.key.high + 1, a, b}) {
    // Bits outside the mask do not decide whether a value is keyed.
    c.values.push_back(((edge & c.key.mask) | (random() & ~c.key.mask)) & widest);
  }
  return c;
}

uint32_t RandomPixel(std::mt19937& random, const KeyedCase& c, uint32_t bytesPerPixel) {
  if (random() % 8 == 0) return random() & Widest(bytesPerPixel);
  return c.values[random() % c.values.size()];
}

std::vector<RowCopyLevel> VectorLevels() {
  std::vector<RowCopyLevel> levels;
  for (const RowCopyLevel level : {RowCopyLevel::Sse2, RowCopyLevel::Avx2}) {
    if (ddraw_detail::RowCopyLevelAvailable(level)) levels.push_back(level);
  }
  return levels;
}

TEST(KeyedRowCopyTest, VectorCopiesEqualTheScalarCopyByteForByteAndStayInTheirRows) {
  const std::vector<RowCopyLevel> levels = VectorLevels();
  if (levels.empty()) GTEST_SKIP() << "no vector row copy on this processor";
  std::mt19937 random(20240611);
  for (uint32_t bytes = 1; bytes <= 4; ++bytes) {
    for (const RowCopyLevel level : levels) {
      for (uint32_t width = 0; width <= 70; ++width) {
        for (int trial = 0; trial < 6; ++trial) {
          SCOPED_TRACE(::testing::Message() << bytes << " bytes, level " << static_cast<int>(level) << ", width "
                                            << width << ", trial " << trial);
          const KeyedCase c = RandomKeyedCase(random, bytes);
          const uint32_t height = 1 + random() % 3;
          const size_t rowBytes = size_t{width} * bytes;
          // Misaligned starts, and gaps between the rows that must stay as they were.
          const size_t fromStart = random() % 32, toStart = 32 + random() % 32;
          const size_t fromPitch = rowBytes + random() % 9, toPitch = rowBytes + random() % 9;
          // The source ends with its last pixel, so that a read past it is caught by the sanitizer.
          std::vector<uint8_t> from(fromStart + (height - 1) * fromPitch + rowBytes);
          for (auto& byte : from) byte = static_cast<uint8_t>(random());
          for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
              StorePixel(&from[fromStart + y * fromPitch + x * bytes], bytes, RandomPixel(random, c, bytes));
            }
          }
          std::vector<uint8_t> before(toStart + (height - 1) * toPitch + rowBytes + 32);
          for (auto& byte : before) byte = static_cast<uint8_t>(random());
          std::vector<uint8_t> expected = before, actual = before;
          const auto rowsInto = [&](std::vector<uint8_t>& to) {
            KeyedRows rows;
            rows.to = to.data() + toStart;
            rows.toPitch = static_cast<ptrdiff_t>(toPitch);
            rows.from = from.data() + fromStart;
            rows.fromPitch = static_cast<ptrdiff_t>(fromPitch);
            rows.width = width;
            rows.height = height;
            return rows;
          };
          KeyedRowCopier(bytes, RowCopyLevel::Scalar)(rowsInto(expected), c.key);
          KeyedRowCopier(bytes, level)(rowsInto(actual), c.key);
          ASSERT_EQ(actual, expected);
          for (size_t i = 0; i < before.size(); ++i) {
            const size_t inside = i - toStart;
            const bool inRow = rowBytes > 0 && i >= toStart && inside % toPitch < rowBytes && inside / toPitch < height;
            if (!inRow) {
              ASSERT_EQ(actual[i], before[i]) << "byte " << i << " outside the rows";
            }
          }
        }
      }
    }
  }
}

// Keyed blits through the surface calls in every format, with range keys, against a model of the
// pixels read back: the copy that leaves out keyed pixels, over whole, clipped and odd rectangles.
class KeyedPasteTest : public DirectDrawTest, public ::testing::WithParamInterface<DWORD> {
 protected:
  std::vector<uint8_t> Bytes(DirectDrawSurface* surface, LONG& pitch) {
    auto desc = Sized<DDSURFACEDESC2>();
    EXPECT_EQ(surface->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr), DD_OK);
    pitch = desc.lPitch;
    const auto* bits = static_cast<const uint8_t*>(desc.lpSurface);
    std::vector<uint8_t> bytes(bits, bits + size_t(desc.lPitch) * surface->Height());
    surface->Unlock(nullptr);
    return bytes;
  }
};

TEST_P(KeyedPasteTest, KeyedBlitsLeaveOutExactlyThePixelsInTheKey) {
  const DWORD bits = GetParam();
  const uint32_t bytes = bits / 8;
  std::mt19937 random(bits);
  auto src = Plain(70, 9, bits);
  auto dst = Plain(101, 13, bits);
  const uint32_t valueMask = Widest(bytes);
  for (int trial = 0; trial < 40; ++trial) {
    SCOPED_TRACE(trial);
    // The surface keeps the key's ends masked to its values; low may stay above high.
    KeyedCase c = RandomKeyedCase(random, bytes, valueMask);
    c.key.low &= valueMask;
    c.key.high &= valueMask;
    for (LONG y = 0; y < 9; ++y) {
      for (LONG x = 0; x < 70; ++x) SetPixel(src.get(), x, y, RandomPixel(random, c, bytes));
    }
    for (LONG y = 0; y < 13; ++y) {
      for (LONG x = 0; x < 101; ++x) SetPixel(dst.get(), x, y, random() & valueMask);
    }
    const DDCOLORKEY key{c.key.low, c.key.high};
    ASSERT_EQ(src->SetColorKey(DDCKEY_SRCBLT | DDCKEY_COLORSPACE, &key), DD_OK);
    const LONG left = LONG(random() % 70), top = LONG(random() % 9);
    const RECT from{left, top, left + 1 + LONG(random() % (70 - left)), top + 1 + LONG(random() % (9 - top))};
    const LONG w = from.right - from.left, h = from.bottom - from.top;
    const LONG x = LONG(random() % (102 - w)), y = LONG(random() % (14 - h));

    LONG srcPitch = 0, dstPitch = 0;
    const std::vector<uint8_t> source = Bytes(src.get(), srcPitch);
    std::vector<uint8_t> expected = Bytes(dst.get(), dstPitch);
    for (LONG row = 0; row < h; ++row) {
      for (LONG col = 0; col < w; ++col) {
        const uint32_t value = LoadPixel(&source[(from.top + row) * srcPitch + (from.left + col) * bytes], bytes);
        if (value >= c.key.low && value <= c.key.high) continue;
        StorePixel(&expected[(y + row) * dstPitch + (x + col) * bytes], bytes, value);
      }
    }
    if (trial % 2 == 0) {
      ASSERT_EQ(dst->BltFast(DWORD(x), DWORD(y), src.get(), &from, DDBLTFAST_SRCCOLORKEY | DDBLTFAST_WAIT), DD_OK);
    } else {
      // The same key given with the call.
      auto fx = Sized<DDBLTFX>();
      fx.ddckSrcColorkey = key;
      const RECT to{x, y, x + w, y + h};
      ASSERT_EQ(dst->Blt(&to, src.get(), &from, DDBLT_KEYSRCOVERRIDE | DDBLT_WAIT, &fx), DD_OK);
    }
    LONG pitch = 0;
    ASSERT_EQ(Bytes(dst.get(), pitch), expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, KeyedPasteTest, ::testing::Values(8u, 16u, 24u, 32u),
                         [](const auto& param) { return "bits" + std::to_string(param.param); });

}  // namespace
}  // namespace vx::win::testing
