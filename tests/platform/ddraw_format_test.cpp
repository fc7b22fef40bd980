// Pixel formats: which descriptions make surfaces, conversions between the display formats
// (a lossless round trip through blits), and DXT blocks and surfaces.
#include "ddraw_test_support.h"

namespace vx::win::testing {
namespace {

TEST(PixelFormatTest, OnlyFormatsASurfaceCanHaveAreDescribed) {
  const struct {
    const char* name;
    DDPIXELFORMAT format;
    PixelKind kind;
  } cases[] = {
      {"A4R4G4B4", MakeRgbFormat(16, 0x0F00, 0x00F0, 0x000F, 0xF000), PixelKind::Rgb},
      {"12 bits", MakeRgbFormat(12, 0xF00, 0x0F0, 0x00F), PixelKind::Invalid},
      {"overlapping masks", MakeRgbFormat(16, 0xF800, 0x0FE0, 0x001F), PixelKind::Invalid},
      {"a mask with a gap", MakeRgbFormat(16, 0xF801, 0x07E0, 0x001E), PixelKind::Invalid},
      {"a mask beyond the pixel", MakeRgbFormat(16, 0x1F800, 0x07E0, 0x001F), PixelKind::Invalid},
      {"an unknown FourCC", MakeFourCCFormat(MakeFourCC('Y', 'U', 'Y', '2')), PixelKind::Invalid},
      {"8-bit depth", DepthFormat(8), PixelKind::Invalid},
  };
  for (const auto& c : cases) EXPECT_EQ(DescribeFormat(c.format).kind, c.kind) << c.name;
}

TEST_F(DirectDrawTest, EverySixteenBitValueSurvivesATripThroughThirtyTwoBits) {
  auto narrow = Plain(256, 256, 16);
  auto wide = Plain(256, 256, 32);
  auto back = Plain(256, 256, 16);
  auto desc = Sized<DDSURFACEDESC2>();
  ASSERT_EQ(narrow->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DD_OK);
  for (uint32_t v = 0; v < 65536; ++v) {
    StorePixel(static_cast<uint8_t*>(desc.lpSurface) + (v / 256) * desc.lPitch + (v % 256) * 2, 2, v);
  }
  narrow->Unlock(nullptr);
  ASSERT_EQ(wide->Blt(nullptr, narrow.get(), nullptr, DDBLT_WAIT, nullptr), DD_OK);
  ASSERT_EQ(back->Blt(nullptr, wide.get(), nullptr, DDBLT_WAIT, nullptr), DD_OK);
  ASSERT_EQ(back->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr), DD_OK);
  int wrong = 0;
  for (uint32_t v = 0; v < 65536; ++v) {
    wrong += LoadPixel(static_cast<uint8_t*>(desc.lpSurface) + (v / 256) * desc.lPitch + (v % 256) * 2, 2) != v;
  }
  back->Unlock(nullptr);
  EXPECT_EQ(wrong, 0);
}

TEST_F(DirectDrawTest, DxtSurfacesLockByBlocksAndBlitBothWays) {
  auto texture = Make(DescWithFormat(DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY, 8, 6, MakeFourCCFormat(FOURCC_DXT1)));
  ASSERT_TRUE(texture);
  auto desc = Sized<DDSURFACEDESC2>();
  ASSERT_EQ(texture->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DD_OK);
  EXPECT_TRUE(desc.dwFlags & DDSD_LINEARSIZE);
  EXPECT_FALSE(desc.dwFlags & DDSD_PITCH);
  EXPECT_EQ(desc.dwLinearSize, 2u * 2u * 8u);  // 6 rows still take two block rows
  texture->Unlock(nullptr);
  const RECT unaligned{1, 0, 4, 4};
  EXPECT_EQ(texture->Lock(&unaligned, &desc, DDLOCK_WAIT, nullptr), DDERR_INVALIDRECT);

  auto picture = Plain(8, 6, 32);
  for (LONG y = 0; y < 6; ++y) {
    for (LONG x = 0; x < 8; ++x) SetPixel(picture.get(), x, y, x < 4 ? 0xFF0000 : 0x0000FF);
  }
  ASSERT_EQ(texture->Blt(nullptr, picture.get(), nullptr, DDBLT_WAIT, nullptr), DD_OK);
  auto back = Plain(8, 6, 32);
  ASSERT_EQ(back->Blt(nullptr, texture.get(), nullptr, DDBLT_WAIT, nullptr), DD_OK);
  EXPECT_EQ(GetPixel(back.get(), 0, 5), 0xFF0000u);
  EXPECT_EQ(GetPixel(back.get(), 7, 0), 0x0000FFu);
  // A blit into part of a block keeps the rest of that block.
  auto green = Plain(1, 1, 32);
  SetPixel(green.get(), 0, 0, 0x00FF00);
  const RECT one{5, 1, 6, 2};
  ASSERT_EQ(texture->Blt(&one, green.get(), nullptr, 0, nullptr), DD_OK);
  ASSERT_EQ(back->Blt(nullptr, texture.get(), nullptr, 0, nullptr), DD_OK);
  EXPECT_EQ(GetPixel(back.get(), 5, 1), 0x00FF00u);
  EXPECT_EQ(GetPixel(back.get(), 4, 0), 0x0000FFu);
  EXPECT_EQ(GetPixel(back.get(), 3, 1), 0xFF0000u);
}

}  // namespace
}  // namespace vx::win::testing
