// The texture surface operations: sizes within the device's limits, pixel formats the device
// lists (and a clear failure when none fits), BMP and image files into textures, textures from
// surfaces with colour keys and DXT1 compression, one-colour textures, and the GDI helpers.
#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "tests/engine3d/texture_fixture.h"

namespace vx {
namespace {

using namespace win;
using test::DeviceOffer;
using test::RgbAt;

class TextureSurfaceTest : public test::TextureWorld {
 protected:
  static HRESULT KeyResult(IDirectDrawSurface7* s, DDCOLORKEY* key = nullptr) {
    DDCOLORKEY scratch{0xDEAD, 0xBEEF};
    return s->GetColorKey(DDCKEY_SRCBLT, key ? key : &scratch);
  }
  // The mip-map level `n` below `s`, with a reference the caller releases.
  static IDirectDrawSurface7* Level(IDirectDrawSurface7* s, int n) {
    s->AddRef();
    for (int i = 0; i < n && s; ++i) {
      DDSCAPS2 caps{};
      caps.dwCaps = DDSCAPS_MIPMAP;
      IDirectDrawSurface7* next = nullptr;
      s->GetAttachedSurface(&caps, &next);
      s->Release();
      s = next;
    }
    return s;
  }
  TextureSurface texture_{};
  void TearDown() override {
    texture_.ReleaseTexture();
    TextureWorld::TearDown();
  }
};

const DDPIXELFORMAT kR5G6B5 = MakeRgbFormat(16, 0xF800, 0x07E0, 0x001F);
const DDPIXELFORMAT kA1R5G5B5 = MakeRgbFormat(16, 0x7C00, 0x03E0, 0x001F, 0x8000);
const DDPIXELFORMAT kA4R4G4B4 = MakeRgbFormat(16, 0x0F00, 0x00F0, 0x000F, 0xF000);
const DDPIXELFORMAT kA8R8G8B8 = MakeRgbFormat(32, 0xFF0000, 0x00FF00, 0x0000FF, 0xFF000000);
const DDPIXELFORMAT kX8R8G8B8 = MakeRgbFormat(32, 0xFF0000, 0x00FF00, 0x0000FF);
const DDPIXELFORMAT kR3G3B2 = MakeRgbFormat(8, 0xE0, 0x1C, 0x03);

TEST_F(TextureSurfaceTest, SizesBecomeSquarePowersOfTwoWithinTheDevicesLimits) {
  struct Case {
    uint32_t minSide, maxWidth, maxHeight;
    uint32_t width, height, expected;
  };
  const Case cases[] = {
      {1, 2048, 2048, 300, 40, 512},    // 512 x 64, then square
      {1, 2048, 2048, 3, 5, 8},         // the device's own minimum of 1 allows small textures
      {0, 2048, 2048, 3, 5, 16},        // no minimum given: at least 16
      {0, 0, 0, 0, 0, 16},              // never 0
      {1, 256, 256, 1024, 1024, 256},   // the maximum wins
      {1, 256, 256, 1024, 20, 256},
      {1, 2048, 2048, 5000, 1, 1024},   // anything above 512 is 1024
      {1, 2048, 2048, 257, 256, 512},
      {32, 2048, 2048, 2, 2, 32},       // raised to the device's minimum
      {1, 256, 128, 200, 200, 128},     // square, and within the smaller maximum too
  };
  for (const Case& c : cases) {
    UseDevice(DeviceOffer{.minSide = c.minSide, .maxWidth = c.maxWidth, .maxHeight = c.maxHeight});
    uint32_t w = c.width, h = c.height;
    FitTextureSize(gD3DDevice, w, h);
    EXPECT_EQ(w, c.expected) << c.width << "x" << c.height << " max " << c.maxWidth;
    EXPECT_EQ(h, c.expected) << c.width << "x" << c.height << " max " << c.maxWidth;
  }
  uint32_t w = 40, h = 3;
  FitTextureSize(nullptr, w, h);
  EXPECT_EQ(w, 64u);
  EXPECT_EQ(h, 64u);
}

TEST_F(TextureSurfaceTest, ChosenFormatsFollowTheWantedAlphaAndReportWhenNothingFits) {
  struct Case {
    const char* what;
    std::vector<DDPIXELFORMAT> table;
    DDPIXELFORMAT wanted;
    HRESULT result;
    DDPIXELFORMAT expected;
  };
  DDPIXELFORMAT premultiplied = kA4R4G4B4;
  premultiplied.dwFlags |= DDPF_ALPHAPREMULT;
  const auto dxt = MakeFourCCFormat;
  const Case cases[] = {
      {"DXT3 listed", {kR5G6B5, kA4R4G4B4, dxt(FOURCC_DXT3)}, dxt(FOURCC_DXT3), DD_OK, dxt(FOURCC_DXT3)},
      {"DXT3 missing: exactly 4 alpha bits", {kR5G6B5, kA1R5G5B5, kA8R8G8B8, kA4R4G4B4}, dxt(FOURCC_DXT3), DD_OK,
       kA4R4G4B4},
      {"DXT1 missing: one alpha bit", {kA8R8G8B8, kA1R5G5B5}, dxt(FOURCC_DXT1), DD_OK, kA1R5G5B5},
      {"DXT5 missing, no 8-bit alpha: the most alpha", {kR5G6B5, kA1R5G5B5, kA4R4G4B4}, dxt(FOURCC_DXT5), DD_OK,
       kA4R4G4B4},
      {"DXT4 wants premultiplied alpha", {kA8R8G8B8, premultiplied}, dxt(FOURCC_DXT4), DD_OK, premultiplied},
      {"DXT2 without any premultiplied format", {kA8R8G8B8, kA4R4G4B4}, dxt(FOURCC_DXT2), DDERR_INVALIDPIXELFORMAT,
       {}},
      {"no channel of 4 bits", {kR3G3B2}, dxt(FOURCC_DXT1), DDERR_INVALIDPIXELFORMAT, {}},
      {"same bits per channel", {kA8R8G8B8, kX8R8G8B8, kR5G6B5}, kR5G6B5, DD_OK, kR5G6B5},
      {"masks placed elsewhere still count", {MakeRgbFormat(16, 0x001F, 0x07E0, 0xF800)}, kR5G6B5, DD_OK,
       MakeRgbFormat(16, 0x001F, 0x07E0, 0xF800)},
      {"nothing with the same bits", {kA8R8G8B8, kR5G6B5}, kX8R8G8B8, DDERR_INVALIDPIXELFORMAT, {}},
  };
  for (const Case& c : cases) {
    gTextureFormatCount = 0;
    for (const DDPIXELFORMAT& f : c.table) gTextureFormats[size_t(gTextureFormatCount++)] = f;
    DDPIXELFORMAT chosen{};
    chosen.dwRGBBitCount = 77;
    EXPECT_EQ(ChooseTextureFormat(c.wanted, &chosen), c.result) << c.what;
    if (Failed(c.result)) {
      EXPECT_EQ(chosen.dwRGBBitCount, 77u) << c.what << ": nothing is written on failure";
      continue;
    }
    EXPECT_EQ(chosen.dwFlags, c.expected.dwFlags) << c.what;
    EXPECT_EQ(chosen.dwFourCC, c.expected.dwFourCC) << c.what;
    EXPECT_EQ(chosen.dwRGBAlphaBitMask, c.expected.dwRGBAlphaBitMask) << c.what;
    EXPECT_EQ(chosen.dwRBitMask, c.expected.dwRBitMask) << c.what;
  }
}

TEST_F(TextureSurfaceTest, FormatsByDepthSkipAlphaAndFailCleanlyWhenNoneIsAcceptable) {
  DDPIXELFORMAT found{};
  ASSERT_EQ(FindTextureFormatByDepth(gD3DDevice, 16, &found), DD_OK);
  EXPECT_EQ(found.dwRBitMask, 0xF800u) << "the 16-bit format without alpha";
  ASSERT_EQ(FindTextureFormatByDepth(gD3DDevice, 8, &found), DD_OK);
  EXPECT_EQ(found.dwRGBBitCount, 32u) << "no 8-bit one: the last acceptable one";
  EXPECT_EQ(found.dwRGBAlphaBitMask, 0u);

  UseDevice(DeviceOffer{.formats = {kA8R8G8B8, kA4R4G4B4, MakeFourCCFormat(FOURCC_DXT1)}});
  DDPIXELFORMAT untouched{};
  untouched.dwRGBBitCount = 99;
  EXPECT_EQ(FindTextureFormatByDepth(gD3DDevice, 32, &untouched), DDERR_NOTFOUND);
  EXPECT_EQ(untouched.dwRGBBitCount, 99u);
  EXPECT_EQ(FindTextureFormatByDepth(nullptr, 32, &untouched), DDERR_INVALIDPARAMS);
  EXPECT_EQ(FindTextureFormatMatching(gD3DDevice, kA4R4G4B4, &found), 1);
  EXPECT_EQ(found.dwRGBAlphaBitMask, 0xF000u);
  EXPECT_EQ(FindTextureFormatMatching(gD3DDevice, kR5G6B5, &found), 0);
}

TEST_F(TextureSurfaceTest, ABmpTextureCoversTheWholeTextureAndShowsBlackAsTransparent) {
  // 300 x 40: red left half, blue right half, a green bottom row.
  const std::string file = WriteFile("wide.bmp", test::Bmp24(300, 40, [](uint32_t x, uint32_t y) {
                                       return y == 39 ? 0x00FF00u : x < 150 ? 0xFF0000u : 0x0000FFu;
                                     }));
  ASSERT_EQ(LoadTextureBitmap(texture_, gD3DDevice, file, 1), 1);
  IDirectDrawSurface7* s = texture_.surface;
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->Width(), 512u);
  EXPECT_EQ(s->Height(), 512u);
  EXPECT_TRUE(s->Caps() & DDSCAPS_TEXTURE);
  EXPECT_EQ(s->PixelFormat().dwRGBBitCount, 32u) << "the back buffer's format";
  EXPECT_EQ(RgbAt(s, 10, 10), 0xFF0000u);
  EXPECT_EQ(RgbAt(s, 500, 10), 0x0000FFu) << "the picture reaches the right edge";
  EXPECT_EQ(RgbAt(s, 10, 511), 0x00FF00u) << "and the bottom edge";
  DDCOLORKEY key{0xDEAD, 0xBEEF};
  ASSERT_EQ(KeyResult(s, &key), DD_OK);
  EXPECT_EQ(key.dwColorSpaceLowValue, 0u) << "black";
  EXPECT_EQ(key.dwColorSpaceHighValue, 0u);

  ASSERT_EQ(LoadTextureBitmap(texture_, gD3DDevice, file, 0), 1);
  EXPECT_EQ(KeyResult(texture_.surface), DDERR_NOCOLORKEY) << "without the flag nothing is transparent";

  // On a 16-bit display the 16-bit format, and the file is found in any letter case.
  StartDisplayAgain(16);
  WriteFile("Stone.BMP", test::Bmp24(8, 8, [](uint32_t, uint32_t) { return 0xFFFFFFu; }));
  ASSERT_EQ(LoadTextureBitmap(texture_, gD3DDevice, folder_.path() + "stone.bmp", 1), 1);
  EXPECT_EQ(texture_.surface->PixelFormat().dwRGBBitCount, 16u);
  EXPECT_EQ(texture_.surface->Width(), 8u) << "the device's minimum is 1";
  EXPECT_EQ(RgbAt(texture_.surface, 7, 7), 0xFFFFFFu);
}

TEST_F(TextureSurfaceTest, BitmapFailuresLeaveAnEmptyTexture) {
  ASSERT_EQ(CreateColorTexture(texture_, gD3DDevice, 0x112233), 1);
  EXPECT_EQ(LoadTextureBitmap(texture_, gD3DDevice, folder_.path() + "missing.bmp", 1), 0);
  EXPECT_NE(texture_.surface, nullptr) << "a file that can't be read changes nothing";
  const std::string damaged = WriteFile("damaged.bmp", {'B', 'M', 1, 2, 3});
  EXPECT_EQ(LoadTextureBitmap(texture_, gD3DDevice, damaged, 1), 0);

  const std::string file = WriteFile("ok.bmp", test::Bmp24(4, 4, [](uint32_t, uint32_t) { return 0x808080u; }));
  FailSurfaceCreations(1, DDERR_OUTOFVIDEOMEMORY, DDSCAPS_TEXTURE);
  EXPECT_EQ(LoadTextureBitmap(texture_, gD3DDevice, file, 1), 0);
  EXPECT_EQ(texture_.surface, nullptr);
  EXPECT_EQ(texture_.palette, nullptr);

  UseDevice(DeviceOffer{.formats = {kA8R8G8B8}});
  EXPECT_EQ(LoadTextureBitmap(texture_, gD3DDevice, file, 1), 0) << "no texture format without alpha";
  EXPECT_EQ(texture_.surface, nullptr);
}

TEST_F(TextureSurfaceTest, AnImageFileBecomesATextureInAFormatTheDeviceLists) {
  IDirectDrawSurface7* picture = test::MakePlainSurface(20, 10, 32);
  test::FillRect(picture, 0x00FF00);
  RECT corner{15, 5, 20, 10};
  test::FillRect(picture, 0xFF00FF, &corner);
  const std::string file = folder_.path() + "leaf.png";
  ASSERT_EQ(SaveImageByExtension(picture, file), 1);
  picture->Release();

  ASSERT_EQ(LoadTextureImage(texture_, file), 0);
  IDirectDrawSurface7* s = texture_.surface;
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->Width(), 32u);
  EXPECT_EQ(s->Height(), 32u);
  EXPECT_TRUE(s->Caps() & DDSCAPS_TEXTURE);
  EXPECT_EQ(texture_.mipMapped, 0u);
  EXPECT_EQ(RgbAt(s, 0, 0), 0x00FF00u);
  EXPECT_EQ(RgbAt(s, 31, 31), 0xFF00FFu) << "stretched over the whole texture";

  EXPECT_EQ(LoadTextureImage(texture_, folder_.path() + "missing.png"), -1);
  EXPECT_EQ(texture_.surface, s) << "a failed load leaves the texture as it was";
  UseDevice(DeviceOffer{.formats = {kR5G6B5}});
  EXPECT_EQ(LoadTextureImage(texture_, file), -1) << "no format with the picture's channels";
  EXPECT_EQ(texture_.surface, s);
}

TEST_F(TextureSurfaceTest, LevelsAreCopiedOneByOneAndATextureWithFewerLevelsFails) {
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT | DDSD_MIPMAPCOUNT;
  desc.dwWidth = desc.dwHeight = 16;
  desc.dwMipMapCount = 3;
  desc.ddpfPixelFormat = kX8R8G8B8;
  desc.ddsCaps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_MIPMAP | DDSCAPS_COMPLEX | DDSCAPS_SYSTEMMEMORY;
  IDirectDrawSurface7* source = nullptr;
  ASSERT_EQ(gDirectDraw->CreateSurface(&desc, &source, nullptr), DD_OK);
  for (int n = 0; n < 3; ++n) {
    IDirectDrawSurface7* level = Level(source, n);
    ASSERT_NE(level, nullptr) << n;
    test::FillRect(level, 0xFF0000u >> (8 * n));
    level->Release();
  }

  IDirectDrawSurface7* made = nullptr;
  ASSERT_EQ(CreateTextureInFormat(desc, kX8R8G8B8, source, &made, 1), DD_OK);
  ASSERT_NE(made, nullptr);
  IDirectDrawSurface7* third = Level(made, 2);
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(third->Width(), 4u);
  EXPECT_EQ(RgbAt(third, 0, 0), 0x0000FFu) << "the third level holds the source's third level";
  third->Release();
  made->Release();

  made = reinterpret_cast<IDirectDrawSurface7*>(&desc);
  EXPECT_TRUE(Failed(CreateTextureInFormat(desc, kX8R8G8B8, source, &made, 0)));
  EXPECT_EQ(made, nullptr) << "one level cannot hold three";
  source->Release();
}

TEST_F(TextureSurfaceTest, TexturesFromSurfacesAreCompressedOnlyWhereTheDeviceListsDxt) {
  IDirectDrawSurface7* source = test::MakePlainSurface(20, 10, 32);
  test::FillRect(source, 0xFFFFFF);
  RECT hole{0, 0, 4, 4};
  test::FillRect(source, 0x000000, &hole);

  ASSERT_EQ(CreateTextureFromSurface(texture_, gD3DDevice, 5, source, 1, 1, 0), 1);
  EXPECT_EQ(texture_.dxt1, 1);
  EXPECT_EQ(texture_.surface->PixelFormat().dwFourCC, FOURCC_DXT1);
  EXPECT_EQ(KeyResult(texture_.surface), DD_OK) << "the compressed copy keeps black transparent";
  EXPECT_EQ(texture_.sourceId, 5);
  EXPECT_EQ(texture_.sourceWidth, 20u);
  EXPECT_EQ(texture_.sourceHeight, 10u);
  EXPECT_EQ(texture_.textureWidth, 32u);
  EXPECT_EQ(texture_.textureHeight, 32u);

  UseDevice(DeviceOffer{.formats = test::WithoutDxt(DeviceOffer{}.formats)});
  ASSERT_EQ(gDxtTextures, 0u);
  ASSERT_EQ(CreateTextureFromSurface(texture_, gD3DDevice, -1, source, 0, 1, 0), 1);
  EXPECT_EQ(texture_.dxt1, 0);
  EXPECT_EQ(texture_.surface->PixelFormat().dwFourCC, 0u) << "no DXT on this device: uncompressed";
  EXPECT_EQ(texture_.surface->PixelFormat().dwRGBAlphaBitMask, 0u) << "not the one-alpha-bit stand-in either";
  EXPECT_EQ(RgbAt(texture_.surface, 31, 31), 0xFFFFFFu);
  EXPECT_EQ(texture_.sourceId, 5) << "source -1 records nothing";

  // Updating stretches the source into the same texture.
  test::FillRect(source, 0x00FF00);
  IDirectDrawSurface7* before = texture_.surface;
  ASSERT_NE(before, nullptr);
  EXPECT_EQ(UpdateTextureFromSurface(texture_, source, 20, 10), 1);
  EXPECT_EQ(texture_.surface, before);
  EXPECT_EQ(RgbAt(before, 31, 31), 0x00FF00u);
  EXPECT_EQ(UpdateTextureFromSurface(texture_, source, 40, 10), 0) << "a rectangle outside the source";
  TextureSurface empty{};
  EXPECT_EQ(UpdateTextureFromSurface(empty, source, 20, 10), 1) << "nothing to update";
  EXPECT_EQ(CreateTextureFromSurface(texture_, gD3DDevice, 1, nullptr, 0, 0, 0), 0);
  source->Release();
}

TEST_F(TextureSurfaceTest, OneColourTexturesHoldTheColourOrNothing) {
  const std::pair<uint32_t, uint32_t> cases[] = {
      {32, 0xFFFFFF}, {32, 0x123456}, {16, 0xFFFFFF}, {16, 0xFF0000}, {16, 0x000000}};
  for (auto [bits, colour] : cases) {
    StartDisplayAgain(bits);
    ASSERT_EQ(CreateColorTexture(texture_, gD3DDevice, colour), 1);
    EXPECT_EQ(texture_.surface->Width(), 32u);
    EXPECT_EQ(texture_.surface->PixelFormat().dwRGBBitCount, bits);
    EXPECT_EQ(RgbAt(texture_.surface, 31, 0), colour) << std::hex << colour << " at " << std::dec << bits;
  }
  FailSurfaceCreations(1, DDERR_OUTOFVIDEOMEMORY, DDSCAPS_TEXTURE);
  EXPECT_EQ(CreateColorTexture(texture_, gD3DDevice, 0x00FF00), 0);
  EXPECT_EQ(texture_.surface, nullptr) << "no half-made texture";
  UseDevice(DeviceOffer{.formats = {kA8R8G8B8}});
  EXPECT_EQ(CreateColorTexture(texture_, gD3DDevice, 0x00FF00), 0);
  EXPECT_EQ(texture_.surface, nullptr);
}

TEST_F(TextureSurfaceTest, RemakingWithTheColourKeyOrMipmapsKeepsTheTextureWhenItCannotBeDone) {
  ASSERT_EQ(CreateColorTexture(texture_, gD3DDevice, 0x808080), 1);
  ASSERT_EQ(KeyResult(texture_.surface), DDERR_NOCOLORKEY);
  ASSERT_EQ(RecreateTextureWithColorKey(texture_), 1);
  EXPECT_EQ(KeyResult(texture_.surface), DD_OK);
  EXPECT_EQ(RgbAt(texture_.surface, 5, 5), 0x808080u);

  IDirectDrawSurface7* kept = texture_.surface;
  FailSurfaceCreations(1, DDERR_OUTOFVIDEOMEMORY, DDSCAPS_TEXTURE);
  EXPECT_EQ(RecreateTextureWithColorKey(texture_), 0);
  EXPECT_EQ(texture_.surface, kept);
  EXPECT_EQ(RgbAt(kept, 5, 5), 0x808080u);

  if (MakeTextureMipmaps(texture_, 1) == 0) {
    EXPECT_EQ(texture_.surface, kept);
    EXPECT_EQ(texture_.mipMapped, 0u);
  } else {
    EXPECT_EQ(texture_.mipMapped, 1u);
    EXPECT_TRUE(texture_.surface->Caps() & DDSCAPS_MIPMAP);
  }
  TextureSurface empty{};
  EXPECT_EQ(MakeTextureMipmaps(empty, 1), 0);
}

TEST_F(TextureSurfaceTest, ColourMatchingReadsTheSurfacesOwnValueAndPutsThePixelBack) {
  for (uint32_t bits : {16u, 24u, 32u}) {
    IDirectDrawSurface7* s = test::MakePlainSurface(4, 4, bits);
    test::FillRect(s, 0x102030);
    const uint32_t expected = ArgbToPixel(DescribeFormat(s->PixelFormat()), 0xFFFF0000u);
    EXPECT_EQ(MatchSurfaceColor(s, RGB(255, 0, 0)), expected) << bits;
    EXPECT_EQ(RgbAt(s, 0, 0), RgbAt(s, 1, 1)) << "pixel (0, 0) is put back at " << bits;
    EXPECT_EQ(MatchSurfaceColor(s, CLR_INVALID), ArgbToPixel(DescribeFormat(s->PixelFormat()), 0xFF102030u));
    ASSERT_EQ(SetSurfaceColorKey(s, RGB(255, 0, 0)), DD_OK);
    DDCOLORKEY key{};
    ASSERT_EQ(KeyResult(s, &key), DD_OK);
    EXPECT_EQ(key.dwColorSpaceLowValue, expected);
    EXPECT_EQ(key.dwColorSpaceHighValue, expected);
    s->Release();
  }
  IDirectDrawSurface7* lost = test::MakePlainSurface(4, 4, 32);
  LoseSurface(lost);
  EXPECT_EQ(MatchSurfaceColor(lost, RGB(255, 0, 0)), kNoSurfaceColour);
  lost->Release();
  EXPECT_EQ(MatchSurfaceColor(nullptr, 0), kNoSurfaceColour);
  EXPECT_EQ(SetSurfaceColorKey(nullptr, 0), E_FAIL);
}

TEST_F(TextureSurfaceTest, BitmapsCopyToSurfacesClippedAndResourcePalettesStartAsAColourCube) {
  const std::string file = WriteFile("four.bmp", test::Bmp24(8, 8, [](uint32_t x, uint32_t y) {
                                       return x >= 4 && y >= 4 ? 0xFF0000u : 0x0000FFu;
                                     }));
  HBITMAP bitmap = static_cast<HBITMAP>(LoadImageA(nullptr, file.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
  ASSERT_NE(bitmap, nullptr);
  IDirectDrawSurface7* s = test::MakePlainSurface(6, 6, 32);
  test::FillRect(s, 0x00FF00);
  EXPECT_EQ(CopyBitmapToSurface(s, bitmap, 4, 4, 0, 0), DD_OK);
  EXPECT_EQ(RgbAt(s, 0, 0), 0xFF0000u) << "the area from (4, 4)";
  EXPECT_EQ(RgbAt(s, 3, 3), 0xFF0000u);
  EXPECT_EQ(CopyBitmapToSurface(nullptr, bitmap, 0, 0, 0, 0), E_FAIL);
  EXPECT_EQ(CopyBitmapToSurface(s, nullptr, 0, 0, 0, 0), E_FAIL);
  DeleteObject(bitmap);
  s->Release();

  EXPECT_EQ(CreateSurfaceFromBitmapResource(gDirectDraw, nullptr, 30999, 0, 0, 1), nullptr) << "no such resource";
  const auto rgb = [](const PALETTEENTRY& e) { return std::tuple{int(e.peRed), int(e.peGreen), int(e.peBlue)}; };
  for (int32_t resource : {0, 30999}) {
    IDirectDrawPalette* palette = LoadPaletteResource(gDirectDraw, resource);
    ASSERT_NE(palette, nullptr);
    PALETTEENTRY entries[256]{};
    ASSERT_EQ(palette->GetEntries(0, 0, 256, entries), DD_OK);
    EXPECT_EQ(rgb(entries[0]), std::tuple(0, 0, 0));
    EXPECT_EQ(rgb(entries[255]), std::tuple(255, 255, 255));
    EXPECT_EQ(rgb(entries[0xB6]), std::tuple(5 * 255 / 7, 5 * 255 / 7, 2 * 255 / 3));  // 0b101'101'10
    palette->Release();
  }
  EXPECT_EQ(LoadPaletteResource(nullptr, 0), nullptr);
}

}  // namespace
}  // namespace vx
