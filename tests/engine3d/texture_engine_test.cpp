// Textures on a headless display with a software 3D device whose texture formats and size limits
// each test chooses: sizes and formats within the device's limits, BMP and image files into
// textures, colour keys, DXT1 compression and mip-mapped copies (chains of box-filtered halves);
// the engine's shared textures, found by name (letter case counting) or colour, loaded from the
// model's folder or with the "dds" ending (with the file's own mip chain), freed by their last
// user; textures of images and their refresh after grabs; and what display changes do to them.
#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "common/host_state.h"
#include "images/image_context.h"
#include "platform/d3d/direct3d.h"
#include "platform/gdi/gdi.h"
#include "platform/win/files.h"
#include "surfaces/engine_textures.h"
#include "surfaces/texture_surface.h"
#include "system/system_state.h"
#include "tests/engine3d/surface_fixture.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

using namespace win;
using test::ColourAt;

const DDPIXELFORMAT kR5G6B5 = MakeRgbFormat(16, 0xF800, 0x07E0, 0x001F);
const DDPIXELFORMAT kA8R8G8B8 = MakeRgbFormat(32, 0xFF0000, 0x00FF00, 0x0000FF, 0xFF000000);

// What the device offers: its texture formats and size limits (0: the device gives none).
struct DeviceOffer {
  std::vector<DDPIXELFORMAT> formats = StandardDirect3DProfile().textureFormats;
  uint32_t minSide = 1, maxWidth = 2048, maxHeight = 2048;
};

// The 2D world with a primary surface (attached to the image context, as at run set-up) and a device.
class TextureWorld : public test::SurfaceWorld {
 protected:
  void SetUp() override {
    InstallSurfaceDcHooks();
    GetStockObject(SYSTEM_FONT);  // stock objects are made once, on first use
    gdiObjects_ = LiveGdiObjectCount();
    MakeWorld(32, 64, 48, DDSCAPS_SYSTEMMEMORY | DDSCAPS_3DDEVICE);
    Display().gPrimarySurface = test::MakePrimarySurface(Display().gDirectDraw);
    ASSERT_NE(Display().gPrimarySurface, nullptr);
    ResetEngineRecords();  // attaches the image context to the display
    UseDevice(DeviceOffer{});
  }
  // Replaces the 3D device by one offering `offer` (on a new back buffer of `bits` unless 0), and
  // fills the texture-format table from it.
  void UseDevice(const DeviceOffer& offer, uint32_t bits = 0) {
    if (Display().gD3DDevice) Display().gD3DDevice->Release();
    if (Display().gDirect3D) Display().gDirect3D->Release();
    if (bits) {
      Display().gBackBuffer->Release();
      Display().gBackBuffer = test::MakeSurface(64, 48, bits, DDSCAPS_SYSTEMMEMORY | DDSCAPS_3DDEVICE);
    }
    Direct3DProfile profile = StandardDirect3DProfile();
    D3DDEVICEDESC7 caps = StandardDeviceCaps(IID_IDirect3DRGBDevice, false);
    caps.dwMinTextureWidth = caps.dwMinTextureHeight = offer.minSide;
    caps.dwMaxTextureWidth = offer.maxWidth;
    caps.dwMaxTextureHeight = offer.maxHeight;
    profile.devices = {{"Software", "RGB", caps}};
    profile.textureFormats = offer.formats;
    SetDirect3DProfile(profile);
    ASSERT_EQ(CreateDirect3D(Display().gDirectDraw, &Display().gDirect3D), D3D_OK);
    ASSERT_EQ(Display().gDirect3D->CreateDevice(IID_IDirect3DRGBDevice, Display().gBackBuffer, &Display().gD3DDevice),
              D3D_OK);
    Display().gTextureFormatCount = Display().gDxtTextures = 0;
    for (const DDPIXELFORMAT& f : offer.formats) {
      Display().gTextureFormats[size_t(Display().gTextureFormatCount++)] = f;
      if (f.dwFlags & DDPF_FOURCC) Display().gDxtTextures = 1;
    }
  }
  void TearDown() override {
    texture_.ReleaseTexture();
    ReleaseImageContext();
    if (auto* device = std::exchange(Display().gD3DDevice, nullptr)) device->Release();
    if (auto* direct3D = std::exchange(Display().gDirect3D, nullptr)) direct3D->Release();
    if (auto* primary = std::exchange(Display().gPrimarySurface, nullptr)) primary->Release();
    Records().gModelFolder.clear();
    Display().gFullScreen = 0;
    SetDirect3DProfile(StandardDirect3DProfile());
    SurfaceWorld::TearDown();
    EXPECT_EQ(LiveGdiObjectCount(), gdiObjects_) << "a GDI bitmap was not deleted";
    EXPECT_EQ(LiveDeviceContextCount(), 0u);
  }

  std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = folder_.path() + name;
    EXPECT_TRUE(WriteWholeFile(path, bytes.data(), bytes.size()));
    return path;
  }
  // Saves a picture in the format its name gives, and lets it go.
  std::string Save(const std::string& name, IDirectDrawSurface7* picture) {
    const std::string path = folder_.path() + name;
    EXPECT_EQ(SaveImageByExtension(picture, path), 1);
    picture->Release();
    return path;
  }
  std::string Bmp(const std::string& name, uint32_t rgb) {
    IDirectDrawSurface7* picture = test::MakeSurface(8, 8, 32);
    test::Fill(picture, rgb);
    return Save(name, picture);
  }
  static TextureSurface& TextureOf(uint32_t slot) { return Records().gTextureRecords[slot].texture; }
  static uint32_t ColourOfTexture(uint32_t slot) { return ColourAt(TextureOf(slot).surface, 1, 1); }
  static int32_t UsesOf(uint32_t slot) {
    const TextureNameEntry* e = Records().gTextureRecords[slot].nameEntry;
    return TextureNameListHolds(e) ? e->useCount : 0;
  }
  static HRESULT KeyResult(IDirectDrawSurface7* s, DDCOLORKEY* key = nullptr) {
    DDCOLORKEY scratch{0xDEAD, 0xBEEF};
    return s->GetColorKey(DDCKEY_SRCBLT, key ? key : &scratch);
  }

  TextureSurface texture_{};
  test::TempFolder folder_;
  size_t gdiObjects_ = 0;
};

class TextureSurfaceTest : public TextureWorld {};
class EngineTextureTest : public TextureWorld {};

// A system-memory surface of the size and format whose pixel (x, y) is colour(x, y), 0xAARRGGBB.
template <typename Colour>
IDirectDrawSurface7* MakePicture(uint32_t width, uint32_t height, const DDPIXELFORMAT& format, Colour colour) {
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
  desc.dwWidth = width;
  desc.dwHeight = height;
  desc.ddpfPixelFormat = format;
  desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
  IDirectDrawSurface7* made = nullptr;
  if (Failed(Display().gDirectDraw->CreateSurface(&desc, &made, nullptr))) return nullptr;
  const SurfacePixels view = made->Pixels();
  const FormatInfo info = DescribeFormat(format);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
      StorePixel(view.bits + size_t(y) * size_t(view.pitch) + size_t(x) * info.bytesPerPixel, info.bytesPerPixel,
                 ArgbToPixel(info, colour(x, y)));
  made->ContentChanged();
  return made;
}

std::vector<uint32_t> ArgbPixels(IDirectDrawSurface7* s) {
  std::vector<uint32_t> pixels;
  for (uint32_t y = 0; y < s->Height(); ++y)
    for (uint32_t x = 0; x < s->Width(); ++x) pixels.push_back(ReadPixelArgb(s->Pixels(), x, y));
  return pixels;
}

// The largest difference of any channel, alpha included.
int Worst(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  if (a.size() != b.size()) return 256;
  int worst = 0;
  for (size_t i = 0; i < a.size(); ++i)
    for (int shift = 0; shift < 32; shift += 8)
      worst = std::max(worst, std::abs(int((a[i] >> shift) & 0xFF) - int((b[i] >> shift) & 0xFF)));
  return worst;
}

TEST_F(TextureSurfaceTest, SizesBecomeSquarePowersOfTwoWithinTheDevicesLimits) {
  const struct {
    uint32_t minSide, maxWidth, maxHeight, width, height, expected;
  } cases[] = {
      {1, 2048, 2048, 300, 40, 512},   // 512 x 64, then square
      {0, 0, 0, 0, 0, 16},             // no limits given: at least 16, never 0
      {1, 2048, 2048, 5000, 1, 1024},  // anything above 512 is 1024
      {32, 2048, 2048, 2, 2, 32},      // raised to the device's minimum
      {1, 256, 128, 200, 200, 128},    // square, and within the smaller maximum too
  };
  for (const auto& c : cases) {
    UseDevice(DeviceOffer{.minSide = c.minSide, .maxWidth = c.maxWidth, .maxHeight = c.maxHeight});
    uint32_t w = c.width, h = c.height;
    FitTextureSize(Display().gD3DDevice, w, h);
    EXPECT_EQ(std::pair(w, h), std::pair(c.expected, c.expected)) << c.width << "x" << c.height;
  }
  uint32_t w = 40, h = 3;
  FitTextureSize(nullptr, w, h);
  EXPECT_EQ(std::pair(w, h), std::pair(64u, 64u));
}

TEST_F(TextureSurfaceTest, ABmpTextureCoversTheWholeTextureAndShowsBlackAsTransparent) {
  // 300 x 40: red left half, blue right half, a green bottom row.
  IDirectDrawSurface7* picture = test::MakeSurface(300, 40, 32);
  test::Fill(picture, 0x0000FF);
  RECT left{0, 0, 150, 40}, bottom{0, 39, 300, 40};
  test::Fill(picture, 0xFF0000, &left);
  test::Fill(picture, 0x00FF00, &bottom);
  const std::string file = Save("wide.bmp", picture);
  ASSERT_EQ(LoadTextureBitmap(texture_, Display().gD3DDevice, file, 1), 1);
  IDirectDrawSurface7* s = texture_.surface;
  EXPECT_EQ(std::pair(s->Width(), s->Height()), std::pair(512u, 512u));
  EXPECT_EQ(ColourAt(s, 10, 10), 0xFF0000u);
  EXPECT_EQ(ColourAt(s, 500, 10), 0x0000FFu) << "the picture reaches the right edge";
  EXPECT_EQ(ColourAt(s, 10, 511), 0x00FF00u) << "and the bottom edge";
  DDCOLORKEY key{0xDEAD, 0xBEEF};
  ASSERT_EQ(KeyResult(s, &key), DD_OK);
  EXPECT_EQ(std::pair(key.dwColorSpaceLowValue, key.dwColorSpaceHighValue), std::pair(0u, 0u)) << "black";
  ASSERT_EQ(LoadTextureBitmap(texture_, Display().gD3DDevice, file, 0), 1);
  EXPECT_EQ(KeyResult(texture_.surface), DDERR_NOCOLORKEY) << "without the flag nothing is transparent";
}

TEST_F(TextureSurfaceTest, BitmapFailuresLeaveAnEmptyTexture) {
  ASSERT_EQ(CreateColorTexture(texture_, Display().gD3DDevice, 0x112233), 1);
  EXPECT_EQ(LoadTextureBitmap(texture_, Display().gD3DDevice, folder_.path() + "missing.bmp", 1), 0);
  EXPECT_NE(texture_.surface, nullptr) << "a file that can't be read changes nothing";
  EXPECT_EQ(LoadTextureBitmap(texture_, Display().gD3DDevice, WriteFile("damaged.bmp", {'B', 'M', 1, 2, 3}), 1), 0);
  const std::string file = Bmp("ok.bmp", 0x808080);
  FailSurfaceCreations(1, DDERR_OUTOFVIDEOMEMORY, DDSCAPS_TEXTURE);
  EXPECT_EQ(LoadTextureBitmap(texture_, Display().gD3DDevice, file, 1), 0);
  EXPECT_EQ(std::tuple(texture_.surface, texture_.palette), std::tuple(nullptr, nullptr));
  UseDevice(DeviceOffer{.formats = {kA8R8G8B8}});
  EXPECT_EQ(LoadTextureBitmap(texture_, Display().gD3DDevice, file, 1), 0) << "no texture format without alpha";
  EXPECT_EQ(texture_.surface, nullptr);
}

TEST_F(TextureSurfaceTest, AnImageFileBecomesATextureInAFormatTheDeviceLists) {
  IDirectDrawSurface7* picture = test::MakeSurface(20, 10, 32);
  test::Fill(picture, 0x00FF00);
  test::Paint(picture, 19, 9, 0xFF00FF);
  const std::string file = Save("leaf.png", picture);
  ASSERT_EQ(LoadTextureImage(texture_, file), 0);
  IDirectDrawSurface7* s = texture_.surface;
  EXPECT_EQ(std::pair(s->Width(), s->Height()), std::pair(32u, 32u));
  EXPECT_EQ(ColourAt(s, 0, 0), 0x00FF00u);
  EXPECT_EQ(ColourAt(s, 31, 31), 0xFF00FFu) << "stretched over the whole texture";
  EXPECT_EQ(LoadTextureImage(texture_, folder_.path() + "missing.png"), -1);
  UseDevice(DeviceOffer{.formats = {kR5G6B5}});
  EXPECT_EQ(LoadTextureImage(texture_, file), -1) << "no format with the picture's channels";
  EXPECT_EQ(texture_.surface, s) << "a failed load leaves the texture as it was";
}

TEST_F(TextureSurfaceTest, TexturesFromSurfacesAreCompressedOnlyWhereTheDeviceListsDxt) {
  IDirectDrawSurface7* source = test::MakeSurface(20, 10, 32);
  test::Fill(source, 0xFFFFFF);
  ASSERT_EQ(CreateTextureFromSurface(texture_, Display().gD3DDevice, 5, source, 1, 1, 0), 1);
  EXPECT_EQ(std::pair(texture_.dxt1, texture_.surface->PixelFormat().dwFourCC), std::pair(uint8_t(1), FOURCC_DXT1));
  EXPECT_EQ(KeyResult(texture_.surface), DD_OK) << "the compressed copy keeps black transparent";
  EXPECT_EQ(std::tuple(texture_.sourceId, texture_.sourceWidth, texture_.textureWidth), std::tuple(5, 20u, 32u));

  DeviceOffer noDxt;
  std::erase_if(noDxt.formats, [](const DDPIXELFORMAT& f) { return (f.dwFlags & DDPF_FOURCC) != 0; });
  UseDevice(noDxt);
  ASSERT_EQ(CreateTextureFromSurface(texture_, Display().gD3DDevice, -1, source, 0, 1, 0), 1);
  const DDPIXELFORMAT format = texture_.surface->PixelFormat();
  EXPECT_EQ(std::pair(format.dwFourCC, format.dwRGBAlphaBitMask), std::pair(0u, 0u)) << "uncompressed, no alpha";
  EXPECT_EQ(texture_.sourceId, 5) << "source -1 records nothing";
  test::Fill(source, 0x00FF00);
  EXPECT_EQ(UpdateTextureFromSurface(texture_, source, 20, 10), 1);
  EXPECT_EQ(ColourAt(texture_.surface, 31, 31), 0x00FF00u) << "stretched into the same texture";
  EXPECT_EQ(UpdateTextureFromSurface(texture_, source, 40, 10), 0) << "a rectangle outside the source";
  EXPECT_EQ(CreateTextureFromSurface(texture_, Display().gD3DDevice, 1, nullptr, 0, 0, 0), 0);
  source->Release();
}

TEST_F(TextureSurfaceTest, OneColourTexturesHoldTheColourOrNothing) {
  for (auto [bits, colour] : {std::pair(32u, 0x123456u), std::pair(16u, 0xFF0000u), std::pair(16u, 0xFFFFFFu)}) {
    UseDevice(DeviceOffer{}, bits);
    ASSERT_EQ(CreateColorTexture(texture_, Display().gD3DDevice, colour), 1);
    EXPECT_EQ(ColourAt(texture_.surface, 31, 0), colour) << std::hex << colour << " at " << std::dec << bits;
  }
  FailSurfaceCreations(1, DDERR_OUTOFVIDEOMEMORY, DDSCAPS_TEXTURE);
  EXPECT_EQ(CreateColorTexture(texture_, Display().gD3DDevice, 0x00FF00), 0);
  EXPECT_EQ(texture_.surface, nullptr) << "no half-made texture";
}

TEST_F(TextureSurfaceTest, ColourKeysUseTheSurfacesOwnValueAndAFailedRemakeKeepsTheTexture) {
  ASSERT_EQ(CreateColorTexture(texture_, Display().gD3DDevice, 0x808080), 1);
  ASSERT_EQ(RecreateTextureWithColorKey(texture_), 1);
  EXPECT_EQ(KeyResult(texture_.surface), DD_OK);
  IDirectDrawSurface7* kept = texture_.surface;
  FailSurfaceCreations(1, DDERR_OUTOFVIDEOMEMORY, DDSCAPS_TEXTURE);
  EXPECT_EQ(RecreateTextureWithColorKey(texture_), 0);
  EXPECT_EQ(texture_.surface, kept);
  EXPECT_EQ(ColourAt(kept, 5, 5), 0x808080u);

  for (uint32_t bits : {16u, 24u, 32u}) {
    IDirectDrawSurface7* s = test::MakeSurface(4, 4, bits);
    test::Fill(s, 0x102030);
    EXPECT_EQ(MatchSurfaceColor(s, RGB(255, 0, 0)), ArgbToPixel(DescribeFormat(s->PixelFormat()), 0xFFFF0000u));
    EXPECT_EQ(ColourAt(s, 0, 0), ColourAt(s, 1, 1)) << "pixel (0, 0) is put back at " << bits;
    LoseSurface(s);
    EXPECT_EQ(MatchSurfaceColor(s, RGB(255, 0, 0)), kNoSurfaceColour);
    s->Release();
  }
  EXPECT_EQ(MatchSurfaceColor(nullptr, 0), kNoSurfaceColour);
}

TEST_F(TextureSurfaceTest, MipmappedCopiesAreChainsOfBoxFilteredHalvesInTheSourcesFormatOrCompressed) {
  // Every pixel its own colour and alpha; black is the transparent colour.
  IDirectDrawSurface7* source = MakePicture(32, 16, kA8R8G8B8, [](uint32_t x, uint32_t y) {
    return (x * 8 + y) << 24 | (x * 37 + y * 11) % 256 << 16 | (y * 53 + x) % 256 << 8 | (x * y * 7) % 256;
  });
  ASSERT_TRUE(source);
  const DDCOLORKEY black{0, 0};
  source->SetColorKey(DDCKEY_SRCBLT, &black);
  IDirectDrawSurface7* copy = nullptr;
  ASSERT_EQ(MakeMipmappedTexture(source, &copy, '1', 0), 1);
  ASSERT_TRUE(copy);
  EXPECT_TRUE(copy->Caps() & DDSCAPS_MIPMAP);
  // 16 halves to 2 in three steps: 32 x 16, 16 x 8, 8 x 4, each the exact box filter of the last.
  std::vector<IDirectDrawSurface7*> levels = test::MipLevels(copy);
  ASSERT_EQ(levels.size(), 3u);
  EXPECT_EQ(ArgbPixels(levels[0]), ArgbPixels(source));
  for (size_t i = 1; i < levels.size(); ++i) {
    EXPECT_EQ(std::pair(levels[i]->Width(), levels[i]->Height()), std::pair(32u >> i, 16u >> i));
    EXPECT_EQ(ArgbPixels(levels[i]),
              test::BoxHalf(ArgbPixels(levels[i - 1]), levels[i - 1]->Width(), levels[i - 1]->Height()))
        << "level " << i;
    EXPECT_EQ(levels[i]->PixelFormat().dwRGBAlphaBitMask, 0xFF000000u) << "alpha is kept";
    EXPECT_EQ(KeyResult(levels[i]), DD_OK) << "and so is the transparent colour";
  }
  test::ReleaseLevels(levels);
  copy->Release();

  // Compressed: the smaller levels are the DXT coding of the box filter of the level above. The
  // colours lie on a line and alpha runs across them, which DXT5 blocks hold closely.
  IDirectDrawSurface7* smooth = MakePicture(16, 16, kA8R8G8B8, [](uint32_t x, uint32_t y) {
    return (255 - y * 8) << 24 | (40 + x * 5) << 16 | (200 - x * 6) << 8 | (90 + x * 3);
  });
  ASSERT_EQ(MakeMipmappedTexture(smooth, &copy, '5', 1), 1);
  levels = test::MipLevels(copy);
  ASSERT_EQ(levels.size(), 3u);
  EXPECT_EQ(levels[0]->PixelFormat().dwFourCC, FOURCC_DXT5);
  EXPECT_LE(Worst(ArgbPixels(levels[0]), ArgbPixels(smooth)), 8);
  for (size_t i = 1; i < levels.size(); ++i) {
    const std::vector<uint32_t> expected = test::BoxHalf(ArgbPixels(levels[i - 1]), 16u >> (i - 1), 16u >> (i - 1));
    EXPECT_LE(Worst(ArgbPixels(levels[i]), expected), 8) << "level " << i;
  }
  test::ReleaseLevels(levels);
  copy->Release();

  // No DXT format of that letter, or no surface for it: nothing is made.
  EXPECT_EQ(MakeMipmappedTexture(smooth, &copy, '0', 1), 0);
  EXPECT_EQ(copy, nullptr);
  FailSurfaceCreations(1, DDERR_OUTOFVIDEOMEMORY, DDSCAPS_OFFSCREENPLAIN);
  EXPECT_EQ(MakeMipmappedTexture(smooth, &copy, '1', 1), 0);
  EXPECT_EQ(copy, nullptr);
  EXPECT_EQ(MakeMipmappedTexture(nullptr, &copy, '1', 1), 0);
  smooth->Release();
  source->Release();
}

TEST_F(TextureSurfaceTest, ATextureGetsItsMipChainOnceCompressedWhereTheDeviceListsDxt) {
  IDirectDrawSurface7* source = test::MakeSurface(20, 10, 32);
  test::Fill(source, 0x3060C0);
  ASSERT_EQ(CreateTextureFromSurface(texture_, Display().gD3DDevice, -1, source, 0, 0, 0), 1);
  ASSERT_EQ(MakeTextureMipmaps(texture_, 1), 1);
  EXPECT_EQ(texture_.mipMapped, 1u);
  EXPECT_EQ(texture_.surface->PixelFormat().dwFourCC, FOURCC_DXT1);
  std::vector<IDirectDrawSurface7*> levels = test::MipLevels(texture_.surface);
  EXPECT_EQ(levels.size(), 4u);  // 32 x 32 down to 4 x 4
  for (IDirectDrawSurface7* level : levels) EXPECT_EQ(ColourAt(level, 0, 0), ColourAt(levels[0], 0, 0));
  test::ReleaseLevels(levels);
  IDirectDrawSurface7* chain = texture_.surface;
  EXPECT_EQ(MakeTextureMipmaps(texture_, 1), 1);
  EXPECT_EQ(texture_.surface, chain) << "a texture with mip-maps keeps them";

  DeviceOffer noDxt;
  std::erase_if(noDxt.formats, [](const DDPIXELFORMAT& f) { return (f.dwFlags & DDPF_FOURCC) != 0; });
  UseDevice(noDxt);
  ASSERT_EQ(CreateTextureFromSurface(texture_, Display().gD3DDevice, -1, source, 0, 0, 0), 1);
  const DDPIXELFORMAT before = texture_.surface->PixelFormat();
  ASSERT_EQ(MakeTextureMipmaps(texture_, 1), 1);
  EXPECT_EQ(texture_.surface->PixelFormat().dwRGBBitCount, before.dwRGBBitCount) << "uncompressed";
  EXPECT_EQ(texture_.surface->PixelFormat().dwFourCC, 0u);
  source->Release();
}

TEST_F(EngineTextureTest, AModelTextureFallsBackToItsDdsFileWithTheFilesOwnMipChain) {
  Records().gModelFolder = folder_.path();
  // 20 x 10 is saved as a 32 x 16 DXT1 file of three levels; the texture is 32 x 32 with three.
  IDirectDrawSurface7* picture = test::MakeSurface(20, 10, 32);
  test::Fill(picture, 0x2040A0);
  Save("rock.dds", picture);
  const uint32_t slot = LoadTextureFile("rock.bmp", 0);
  ASSERT_NE(slot, 0u);
  const TextureSurface& texture = TextureOf(slot);
  EXPECT_EQ(texture.mipMapped, 1u);
  EXPECT_EQ(texture.surface->PixelFormat().dwFourCC, FOURCC_DXT1);
  std::vector<IDirectDrawSurface7*> levels = test::MipLevels(texture.surface);
  ASSERT_EQ(levels.size(), 3u) << "no level beyond the file's, which would stay empty";
  for (size_t i = 0; i < levels.size(); ++i) {
    EXPECT_EQ(levels[i]->Width(), 32u >> i);
    EXPECT_LE(Worst({ReadPixelArgb(levels[i]->Pixels(), 1, 1)}, {0xFF2040A0u}), 4) << "level " << i;
  }
  test::ReleaseLevels(levels);
  EXPECT_EQ(LoadTextureFile("rock.bmp", 0), slot) << "shared under the name asked for";
}

TEST_F(EngineTextureTest, TheSameFileTwiceSharesOneTextureFreedByItsLastUser) {
  Records().gModelFolder = folder_.path();
  Bmp("wall.bmp", 0xFF0000);
  const int32_t used = Records().gTextureRecords.usedCount;
  const uint32_t first = LoadTextureFile("wall.bmp", 0);
  EXPECT_EQ(ColourOfTexture(first), 0xFF0000u);
  EXPECT_EQ(LoadTextureFile("wall.bmp", 0), first);
  ReleaseTextureSlot(first, 0);
  EXPECT_TRUE(Records().gTextureRecords.IsTaken(first));
  ReleaseTextureSlot(first, 0);
  EXPECT_EQ(Records().gTextureRecords.usedCount, used);

  const uint32_t upper = LoadTextureFile("Wall.bmp", 0);
  EXPECT_EQ(ColourOfTexture(upper), 0xFF0000u) << "the file itself is found in any case";
  EXPECT_NE(LoadTextureFile("wall.bmp", 0), upper) << "but the names differ";
  // A colour and a file named like its number are different textures.
  const uint32_t grey = GetColorTexture(128);
  EXPECT_EQ(ColourOfTexture(grey), 0x000080u);
  EXPECT_EQ(GetColorTexture(128), grey);
  EXPECT_EQ(LoadTextureFile("128", 1), 0u) << "no file of that name";
  EXPECT_EQ(UsesOf(grey), 2);
  // An image's texture is named "" and never found by name.
  const uint32_t fromImage = GetImageTexture(MakeImage(8, 8, 0x0000FF), 1, 0);
  EXPECT_EQ(LoadTextureFile("", 0), 0u);
  EXPECT_EQ(UsesOf(fromImage), 1);
}

TEST_F(EngineTextureTest, MissingOrDamagedFilesGiveNoTextureAndKeepNoRecord) {
  const int32_t used = Records().gTextureRecords.usedCount;
  EXPECT_EQ(LoadTextureFile("nowhere.bmp", 0), 0u);
  EXPECT_EQ(LoadTextureFile("ab", 1), 0u) << "too short for another ending";
  EXPECT_EQ(LoadTextureFile(WriteFile("damaged.png", {0x89, 'P', 'N', 'G', 0}).c_str(), 1), 0u);
  // Only an unreadable "dds" file stands beside the missing "bmp" one: found, refused, nothing kept.
  Records().gModelFolder = folder_.path();
  WriteFile("rock.dds", {'D', 'D', 'S', ' ', 0, 0, 0, 0});
  EXPECT_EQ(LoadTextureFile("rock.bmp", 0), 0u);
  EXPECT_EQ(Records().gTextureRecords.usedCount, used);
  EXPECT_EQ(Records().gTextureNameList, nullptr);
  Bmp("rock.bmp", 0xFF0000);
  EXPECT_EQ(ColourOfTexture(LoadTextureFile("rock.bmp", 0)), 0xFF0000u) << "the bmp file comes first";
}

TEST_F(EngineTextureTest, ManyTexturesSurviveThePoolGrowingAndImageTexturesAreSharedUntilANewOneIsAskedFor) {
  // Every slot is read back only after all were made, so a pool that moved would show.
  std::vector<uint32_t> colours, images, textures;
  for (uint32_t i = 0; i < 20; ++i) colours.push_back(GetColorTexture(int32_t(i * 0x0C0000)));
  for (uint32_t i = 0; i < 20; ++i) images.push_back(MakeImage(4, 4, 0x000010u * (i + 1)));
  for (uint32_t image : images) textures.push_back(GetImageTexture(image, 1, 0));
  for (uint32_t i = 0; i < 20; ++i) {
    EXPECT_EQ(ColourOfTexture(colours[i]), i * 0x0C0000u) << i;
    EXPECT_EQ(TextureOf(textures[i]).sourceId, int32_t(images[i]));
    EXPECT_EQ(ColourOfTexture(textures[i]), 0x000010u * (i + 1));
  }

  const uint32_t image = MakeImage(20, 10, 0x0000FF);
  const uint32_t texture = GetImageTexture(image, 1, 0);
  EXPECT_EQ(GetSharedImageTexture(image, 1), texture);
  EXPECT_EQ(UsesOf(texture), 2);
  const uint32_t fresh = GetImageTexture(image, 1, 1);
  EXPECT_NE(fresh, texture);
  EXPECT_EQ(TextureOf(fresh).dxt1, 1) << "made new, and compressed where the device lists DXT";
  ReleaseTextureSlot(texture, 1);
  EXPECT_EQ(Records().gImageRecords[image].textureSlot, int32_t(fresh)) << "the old texture no longer names the image";
  ReleaseTextureSlot(fresh, 0);
  EXPECT_EQ(Records().gImageRecords[image].textureSlot, 0);

  EXPECT_EQ(GetImageTexture(AllocImageRecord(), 1, 0), 0u) << "an image without a surface";
  EXPECT_EQ(GetImageTexture(9999, 1, 0), 0u);
  const int32_t used = Records().gTextureRecords.usedCount;
  FailSurfaceCreations(1, DDERR_OUTOFVIDEOMEMORY, DDSCAPS_TEXTURE);
  EXPECT_EQ(GetImageTexture(image, 1, 0), 0u);
  EXPECT_EQ(Records().gTextureRecords.usedCount, used);
}

TEST_F(EngineTextureTest, GrabsCopyTheScreenOrABitmapAndRefreshTheImagesTexture) {
  test::Fill(Display().gBackBuffer, 0x00FF00);
  test::Paint(Display().gBackBuffer, 10, 10, 0xFF0000);
  const uint32_t image = AllocImageRecord();
  const ImageRecord& r = Records().gImageRecords[image];
  ASSERT_EQ(GrabScreenImage(image, 10, 10, 30, 20, 0), 1);
  EXPECT_EQ(std::tuple(r.valid, r.width, r.height), std::tuple(1, 20, 10));
  EXPECT_EQ(std::pair(ColourAt(r.surface, 0, 0), ColourAt(r.surface, 19, 9)), std::pair(0xFF0000u, 0x00FF00u));
  const uint32_t texture = GetImageTexture(image, 1, 0);
  IDirectDrawSurface7* textureSurface = TextureOf(texture).surface;
  test::Fill(Display().gBackBuffer, 0x0000FF);
  MakeSurfacesBusy(3);
  ASSERT_EQ(GrabScreenImage(image, 10, 10, 30, 20, 0), 1) << "a busy screen is waited for";
  EXPECT_EQ(TextureOf(texture).surface, textureSurface) << "same size: the texture is updated in place";
  EXPECT_EQ(ColourOfTexture(texture), 0x0000FFu);
  ASSERT_EQ(CreateBitmapSurface(3, 16, 16), 1);
  test::Fill(Display().gBitmaps[3], 0xFFFF00);
  ASSERT_EQ(GrabBitmapImage(image, 3, 0, 0, 16, 16, 0), 1);
  EXPECT_EQ(ColourOfTexture(texture), 0xFFFF00u) << "another size: the texture is made again";

  EXPECT_EQ(GrabBitmapImage(image, 7, 0, 0, 4, 4, 0), 0) << "a bitmap that does not exist";
  EXPECT_EQ(std::tuple(r.valid, r.surface, r.width), std::tuple(0, nullptr, 0));
  EXPECT_EQ(GrabScreenImage(image, 4, 4, 4, 8, 0), 0) << "nothing to grab";
  EXPECT_EQ(r.valid, 0) << "an image whose pixels were never copied is not in use";
  // Partly beyond the screen: the part on it is copied, the rest is black, whatever an earlier
  // grab of the same size left.
  const int32_t right = int32_t(Display().gBackBuffer->Width());
  test::Fill(Display().gBackBuffer, 0x0000FF);
  ASSERT_EQ(GrabScreenImage(image, 0, 0, 8, 8, 0), 1);
  test::Fill(Display().gBackBuffer, 0xFFFFFF);
  ASSERT_EQ(GrabScreenImage(image, right - 4, -2, right + 4, 6, 0), 1);
  EXPECT_EQ(std::tuple(ColourAt(r.surface, 0, 2), ColourAt(r.surface, 3, 7)), std::tuple(0xFFFFFFu, 0xFFFFFFu));
  EXPECT_EQ(std::tuple(ColourAt(r.surface, 0, 1), ColourAt(r.surface, 4, 2)), std::tuple(0u, 0u));
  ASSERT_EQ(GrabScreenImage(image, -20, -20, -10, -10, 0), 1) << "wholly beyond: all black";
  EXPECT_EQ(ColourAt(r.surface, 5, 5), 0u);
  ASSERT_EQ(GrabScreenImage(image, 0, 0, 8, 8, 0), 1);
  LoseSurface(r.surface);
  EXPECT_EQ(GrabScreenImage(image, 0, 0, 8, 8, 0), 1) << "the image surface is restored once";
  Display().gFullScreen = 1;
  LoseSurface(r.surface);
  SetRestoreFails(true);
  EXPECT_EQ(GrabScreenImage(image, 0, 0, 8, 8, 0), 0);
  EXPECT_EQ(Host().gAppActive, 0u) << "full screen without its surfaces: the program pauses";
  // The one pause rule: a program that always runs is never paused; a grab pauses only in full screen.
  for (const auto& [fullScreen, alwaysActive] : {std::pair(0u, 0u), std::pair(1u, 1u)}) {
    Host().gAppActive = 1;
    Display().gFullScreen = fullScreen;
    System().gAlwaysActive = alwaysActive;
    ASSERT_EQ(GrabScreenImage(image, 0, 0, 8, 8, 0), 0);
    EXPECT_EQ(Host().gAppActive, 1u) << fullScreen << alwaysActive;
  }
  System().gAlwaysActive = 0;
  SetRestoreFails(false);
}

TEST_F(EngineTextureTest, DisplayChangesLetImagesGiveUpTheirTextures) {
  const uint32_t kept = MakeImage(8, 8, 0x808080);
  const uint32_t keptTexture = GetImageTexture(kept, 1, 0);
  const uint32_t sharedTexture = GetImageTexture(MakeImage(8, 8, 0x404040), 1, 0);
  AddTextureUse(sharedTexture);  // an object still uses it
  // A texture surface that had to be restored pauses the program.
  EXPECT_EQ(FindLostTextureSurface(), 1);
  EXPECT_EQ(Host().gAppActive, 0u);

  ReleaseImageTextureLinks();
  EXPECT_FALSE(Records().gTextureRecords.IsTaken(keptTexture));
  EXPECT_TRUE(Records().gTextureRecords.IsTaken(sharedTexture));
  EXPECT_NE(Records().gImageRecords[kept].surface, nullptr) << "only the links go";
  EXPECT_EQ(Records().gTextureRefreshFlag, 1);
  GetImageTexture(kept, 1, 0);
  ReleaseAllImageTextures();
  EXPECT_EQ(std::tuple(Records().gImageRecords[kept].textureSlot, Records().gImageRecords[kept].surface),
            std::tuple(0, nullptr));
  const uint32_t colour = GetColorTexture(0x112233);
  ReleaseAllTextureSurfaces();
  EXPECT_EQ(TextureOf(colour).surface, nullptr);
  EXPECT_EQ(GetColorTexture(0x112233), colour) << "records and names stay";
}

}  // namespace
}  // namespace vx
