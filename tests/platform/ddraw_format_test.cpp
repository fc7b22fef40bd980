// Pixel formats: which descriptions make surfaces, conversions between the display formats
// through blits (round trips and quantisation), DXT blocks, and the description as files hold it.
#include <cstdlib>
#include <cstring>

#include "ddraw_test_support.h"

namespace vx::win::testing {
namespace {

TEST(PixelFormatTest, OnlyFormatsASurfaceCanHaveAreDescribed) {
  const struct { const char* name; DDPIXELFORMAT format; PixelKind kind; } cases[] = {
      {"R5G6B5", DisplayPixelFormat(16), PixelKind::Rgb},
      {"R8G8B8", DisplayPixelFormat(24), PixelKind::Rgb},
      {"X8R8G8B8", DisplayPixelFormat(32), PixelKind::Rgb},
      {"A4R4G4B4", MakeRgbFormat(16, 0x0F00, 0x00F0, 0x000F, 0xF000), PixelKind::Rgb},
      {"palettised", DisplayPixelFormat(8), PixelKind::Palette8},
      {"DXT3", MakeFourCCFormat(FOURCC_DXT3), PixelKind::Dxt},
      {"24-bit depth", DepthFormat(24), PixelKind::Depth},
      {"12 bits", MakeRgbFormat(12, 0xF00, 0x0F0, 0x00F), PixelKind::Invalid},
      {"overlapping masks", MakeRgbFormat(16, 0xF800, 0x0FE0, 0x001F), PixelKind::Invalid},
      {"a mask with a gap", MakeRgbFormat(16, 0xF801, 0x07E0, 0x001E), PixelKind::Invalid},
      {"a mask beyond the pixel", MakeRgbFormat(16, 0x1F800, 0x07E0, 0x001F), PixelKind::Invalid},
      {"no colour at all", MakeRgbFormat(16, 0, 0, 0), PixelKind::Invalid},
      {"an unknown FourCC", MakeFourCCFormat(MakeFourCC('Y', 'U', 'Y', '2')), PixelKind::Invalid},
      {"8-bit depth", DepthFormat(8), PixelKind::Invalid},
  };
  for (const auto& c : cases) EXPECT_EQ(DescribeFormat(c.format).kind, c.kind) << c.name;
}

TEST(PixelFormatTest, KnownColoursConvertBothWays) {
  const struct {
    DWORD bits;
    uint32_t argb, pixel, back;  // back: what the pixel reads as, alpha included
  } cases[] = {
      {16, 0xFF0000, 0xF800, 0xFFFF0000},     {16, 0x00FF00, 0x07E0, 0xFF00FF00}, {16, 0x0000FF, 0x001F, 0xFF0000FF},
      {16, 0x808080, 0x8410, 0xFF848284},     {16, 0xFFFFFF, 0xFFFF, 0xFFFFFFFF}, {24, 0x123456, 0x123456, 0xFF123456},
      {32, 0xAB123456, 0x123456, 0xFF123456},
  };
  for (const auto& c : cases) {
    const FormatInfo format = DescribeFormat(DisplayPixelFormat(c.bits));
    EXPECT_EQ(ArgbToPixel(format, c.argb), c.pixel) << std::hex << c.argb;
    EXPECT_EQ(PixelToArgb(format, c.pixel), c.back) << std::hex << c.pixel;
  }
  const FormatInfo argb4444 = DescribeFormat(MakeRgbFormat(16, 0x0F00, 0x00F0, 0x000F, 0xF000));
  EXPECT_EQ(ArgbToPixel(argb4444, 0x80FF0000), 0x8F00u);
  EXPECT_EQ(PixelToArgb(argb4444, 0x8F00), 0x88FF0000u);
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

TEST_F(DirectDrawTest, ThirtyTwoBitColoursComeBackFromSixteenBitsWithinHalfAStep) {
  auto wide = Plain(256, 3, 32);
  auto narrow = Plain(256, 3, 16);
  auto back = Plain(256, 3, 32);
  auto exact = Plain(256, 3, 24);
  for (LONG v = 0; v < 256; ++v) {
    for (LONG channel = 0; channel < 3; ++channel)
      SetPixel(wide.get(), v, channel, static_cast<uint32_t>(v) << (8 * channel));
  }
  ASSERT_EQ(narrow->Blt(nullptr, wide.get(), nullptr, 0, nullptr), DD_OK);
  ASSERT_EQ(back->Blt(nullptr, narrow.get(), nullptr, 0, nullptr), DD_OK);
  ASSERT_EQ(exact->Blt(nullptr, wide.get(), nullptr, 0, nullptr), DD_OK);
  for (LONG v = 0; v < 256; ++v) {
    for (LONG channel = 0; channel < 3; ++channel) {
      const uint32_t got = GetPixel(back.get(), v, channel);
      const int value = static_cast<int>((got >> (8 * channel)) & 0xFF);
      const int limit = channel == 1 ? 2 : 4;  // half a step of 6 and of 5 bits
      EXPECT_LE(std::abs(value - v), limit) << "channel " << channel << " value " << v;
      EXPECT_EQ(got & ~(0xFFu << (8 * channel)), 0u) << "other channels stay black";
      EXPECT_EQ(GetPixel(exact.get(), v, channel), static_cast<uint32_t>(v) << (8 * channel));
    }
  }
}

// --- DXT ------------------------------------------------------------------------------------------

uint32_t Dxt(uint32_t fourCC, const uint32_t (&in)[16], uint32_t (&out)[16]) {
  uint8_t block[16] = {};
  EncodeDxtBlock(fourCC, in, block);
  DecodeDxtBlock(fourCC, block, out);
  int worst = 0;
  for (int i = 0; i < 16; ++i) {
    for (int shift = 0; shift < 32; shift += 8) {
      worst = std::max(worst, std::abs(int(in[i] >> shift & 0xFF) - int(out[i] >> shift & 0xFF)));
    }
  }
  return static_cast<uint32_t>(worst);
}

TEST(DxtTest, BlocksKeepWhatTheirFormatCanHold) {
  uint32_t out[16];
  for (const uint32_t fourCC : {FOURCC_DXT1, FOURCC_DXT2, FOURCC_DXT3, FOURCC_DXT4, FOURCC_DXT5}) {
    SCOPED_TRACE(fourCC);
    uint32_t solid[16], two[16], ramp[16], falling[16];
    for (uint32_t i = 0; i < 16; ++i) {
      solid[i] = 0xFF84FF00;                                  // exact in 5-6-5
      two[i] = i % 4 < 2 ? 0xFFFF0000 : 0xFF0000FF;           // two exact colours, one per half
      ramp[i] = 0xFF000000u | i * 17 * 0x010101u;             // a grey ramp along one axis
      falling[i] = 0xFF000000u | i * 17 << 16 | (255 - i * 17);  // red rises as blue falls: the other diagonal
    }
    EXPECT_EQ(Dxt(fourCC, solid, out), 0u);
    EXPECT_EQ(Dxt(fourCC, two, out), 0u);
    EXPECT_LE(Dxt(fourCC, ramp, out), 40u);  // sixteen greys in four levels
    EXPECT_LE(Dxt(fourCC, falling, out), 40u);
  }
}

TEST(DxtTest, AlphaGoesAsEachFormatStoresIt) {
  uint32_t in[16];
  for (int i = 0; i < 16; ++i) in[i] = (static_cast<uint32_t>(i * 17) << 24) | 0x00FF0000;
  uint32_t out[16];
  uint8_t block[16];
  EncodeDxtBlock(FOURCC_DXT1, in, block);
  DecodeDxtBlock(FOURCC_DXT1, block, out);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(out[i] >> 24, i * 17 < 128 ? 0u : 255u) << "one-bit alpha, pixel " << i;
  EXPECT_EQ(Dxt(FOURCC_DXT3, in, out), 0u);  // 4-bit steps of 17 are exact
  EXPECT_LE(Dxt(FOURCC_DXT5, in, out), 19u);
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

TEST(SurfaceDescRecordTest, TheFileLayoutHoldsEveryFieldInItsPlace) {
  auto desc = Sized<DDSURFACEDESC2>();
  desc.dwFlags = 0x21007;
  desc.dwHeight = 64;
  desc.dwWidth = 128;
  desc.dwMipMapCount = 5;
  desc.lpSurface = &desc;  // never stored
  desc.ddckCKSrcBlt = DDCOLORKEY{3, 4};
  desc.ddpfPixelFormat = MakeFourCCFormat(FOURCC_DXT1);
  desc.ddsCaps.dwCaps = 0x401008;
  desc.dwTextureStage = 9;
  uint8_t record[kSurfaceDescRecordSize];
  WriteSurfaceDescRecord(desc, record);
  const std::pair<size_t, uint32_t> words[] = {{0, 124},  {4, 0x21007}, {8, 64},           {12, 128},
                                               {24, 5},   {36, 0},      {64, 3},           {68, 4},
                                               {72, 32},  {76, DDPF_FOURCC}, {80, FOURCC_DXT1}, {104, 0x401008},
                                               {120, 9}};
  for (const auto& [at, value] : words) EXPECT_EQ(LoadPixel(record + at, 4), value) << "offset " << at;
  EXPECT_EQ(std::memcmp(record + 80, "DXT1", 4), 0);
  // Reading gives every field back, in its own place; the record's size becomes the structure's.
  DDSURFACEDESC2 read{};
  ReadSurfaceDescRecord(record, &read);
  EXPECT_EQ(read.dwSize, sizeof(DDSURFACEDESC2));
  EXPECT_EQ(read.lpSurface, nullptr);
  EXPECT_EQ(read.dwWidth, 128u);
  uint8_t again[kSurfaceDescRecordSize];
  WriteSurfaceDescRecord(read, again);
  EXPECT_EQ(std::memcmp(record + 4, again + 4, sizeof record - 4), 0);
}

}  // namespace
}  // namespace vx::win::testing
