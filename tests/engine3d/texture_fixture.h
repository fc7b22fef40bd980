// A headless display for the texture tests: DirectDraw with a primary surface (attached to the
// image context by the record reset, as at run set-up), a back buffer of a chosen depth, a software
// 3D device whose texture formats and size limits each test may choose, the device's texture-format
// table as the set-up fills it, fresh record pools with real image surfaces, and BMP files written
// byte by byte.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "display/display_state.h"
#include "display/images/image_context.h"
#include "engine3d/engine_textures.h"
#include "engine3d/records.h"
#include "engine3d/surface_primitives.h"
#include "engine3d/texture_surface.h"
#include "platform/d3d/direct3d.h"
#include "platform/ddraw/faults.h"
#include "platform/ddraw/pixel_format.h"
#include "platform/gdi/gdi.h"
#include "platform/win/files.h"
#include "runtime/interpreter.h"
#include "system/system_state.h"
#include "tests/engine3d/surface_fixture.h"
#include "tests/support/temp_folder.h"

namespace vx::test {

// What the device offers: its texture formats and size limits (0: the device gives none).
struct DeviceOffer {
  std::vector<win::DDPIXELFORMAT> formats = win::StandardDirect3DProfile().textureFormats;
  uint32_t minSide = 1;
  uint32_t maxWidth = 2048;
  uint32_t maxHeight = 2048;
};

inline std::vector<win::DDPIXELFORMAT> WithoutDxt(std::vector<win::DDPIXELFORMAT> formats) {
  std::erase_if(formats, [](const win::DDPIXELFORMAT& f) { return (f.dwFlags & win::DDPF_FOURCC) != 0; });
  return formats;
}

inline win::IDirectDrawSurface7* MakePlainSurface(uint32_t width, uint32_t height, uint32_t bits,
                                                  win::DWORD extraCaps = 0) {
  win::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = win::DDSD_CAPS | win::DDSD_WIDTH | win::DDSD_HEIGHT | win::DDSD_PIXELFORMAT;
  desc.dwWidth = width;
  desc.dwHeight = height;
  desc.ddsCaps.dwCaps = win::DDSCAPS_OFFSCREENPLAIN | win::DDSCAPS_SYSTEMMEMORY | extraCaps;
  desc.ddpfPixelFormat = win::DisplayPixelFormat(bits);
  win::IDirectDrawSurface7* made = nullptr;
  return win::Succeeded(gDirectDraw->CreateSurface(&desc, &made, nullptr)) ? made : nullptr;
}

// 0xRRGGBB of a pixel of any surface, DXT included.
inline uint32_t RgbAt(win::IDirectDrawSurface7* s, uint32_t x, uint32_t y) {
  return win::ReadPixelArgb(s->Pixels(), x, y) & 0xFFFFFF;
}

inline void FillRect(win::IDirectDrawSurface7* s, uint32_t rgb, win::RECT* rect = nullptr) {
  win::DDBLTFX fx{};
  fx.dwSize = sizeof fx;
  fx.dwFillColor = win::ArgbToPixel(win::DescribeFormat(s->PixelFormat()), 0xFF000000u | rgb);
  ASSERT_EQ(s->Blt(rect, nullptr, nullptr, win::DDBLT_COLORFILL | win::DDBLT_WAIT, &fx), win::DD_OK);
}

// A bottom-up 24-bit BMP file of width x height whose pixel (x, y) is colour(x, y) (0xRRGGBB).
template <class Colour>
std::vector<uint8_t> Bmp24(uint32_t width, uint32_t height, Colour colour) {
  const uint32_t stride = (width * 3 + 3) & ~3u;
  std::vector<uint8_t> out{'B', 'M'};
  const auto put = [&out](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
  };
  for (uint32_t v : {54 + stride * height, 0u, 54u, 40u, width, height}) put(v, 4);
  put(1, 2);
  put(24, 2);
  for (int i = 0; i < 6; ++i) put(0, 4);
  for (uint32_t row = 0; row < height; ++row) {
    for (uint32_t x = 0; x < width; ++x) put(colour(x, height - 1 - row), 3);
    put(0, int(stride - width * 3));
  }
  return out;
}

class TextureWorld : public ::testing::Test {
 protected:
  void SetUp() override { StartDisplay(DeviceOffer{}, 32); }

  // Everything the display set-up would make, with a device offering `offer`.
  void StartDisplay(const DeviceOffer& offer, uint32_t bits) {
    win::ResetDisplayFaults();
    win::InstallSurfaceDcHooks();
    win::GetStockObject(win::SYSTEM_FONT);  // stock objects are made once, on first use
    gdiObjects_ = win::LiveGdiObjectCount();
    ASSERT_EQ(win::DirectDrawCreateEx(nullptr, &gDirectDraw, win::IID_IDirectDraw7, nullptr), win::DD_OK);
    gPrimarySurface = MakePrimarySurface(gDirectDraw);
    ASSERT_NE(gPrimarySurface, nullptr);
    gBackBuffer = MakePlainSurface(64, 48, bits, win::DDSCAPS_3DDEVICE);
    ASSERT_NE(gBackBuffer, nullptr);
    gDisplayWidth = 64;
    gDisplayHeight = 48;
    UseDevice(offer);
    gSurfaceHooks = SurfaceHooks{[](int32_t w, int32_t h) -> win::IDirectDrawSurface7* {
                                   const uint32_t depth = gBackBuffer->PixelFormat().dwRGBBitCount;
                                   win::IDirectDrawSurface7* s = MakePlainSurface(uint32_t(w), uint32_t(h), depth);
                                   const win::DDCOLORKEY black{0, 0};
                                   if (s) s->SetColorKey(win::DDCKEY_SRCBLT, &black);
                                   return s;
                                 },
                                 DefaultSurfaceHooks().releaseSurface, DefaultSurfaceHooks().releasePalette,
                                 DefaultSurfaceHooks().evictManagedTextures};
    ASSERT_TRUE(InitRecordPools());
    ResetEngineRecords();
    gModelFolder.clear();
    gAppActive = 1;
    gAlwaysActive = 0;
    gFullScreen = 0;
  }

  // A back buffer of another depth and a device on it.
  void StartDisplayAgain(uint32_t bits, const DeviceOffer& offer = DeviceOffer{}) {
    if (gD3DDevice) gD3DDevice->Release();
    gD3DDevice = nullptr;
    gBackBuffer->Release();
    gBackBuffer = MakePlainSurface(64, 48, bits, win::DDSCAPS_3DDEVICE);
    ASSERT_NE(gBackBuffer, nullptr);
    UseDevice(offer);
  }

  // Replaces the 3D device by one offering `offer`, and fills the texture-format table from it.
  void UseDevice(const DeviceOffer& offer) {
    if (gD3DDevice) gD3DDevice->Release();
    if (gDirect3D) gDirect3D->Release();
    gD3DDevice = nullptr;
    gDirect3D = nullptr;
    win::Direct3DProfile profile = win::StandardDirect3DProfile();
    win::D3DDEVICEDESC7 caps = win::StandardDeviceCaps(win::IID_IDirect3DRGBDevice, false);
    caps.dwMinTextureWidth = caps.dwMinTextureHeight = offer.minSide;
    caps.dwMaxTextureWidth = offer.maxWidth;
    caps.dwMaxTextureHeight = offer.maxHeight;
    profile.devices = {{"Software", "RGB", caps}};
    profile.textureFormats = offer.formats;
    win::SetDirect3DProfile(profile);
    ASSERT_EQ(win::CreateDirect3D(gDirectDraw, &gDirect3D), win::D3D_OK);
    ASSERT_EQ(gDirect3D->CreateDevice(win::IID_IDirect3DRGBDevice, gBackBuffer, &gD3DDevice), win::D3D_OK);
    gTextureFormatCount = gDxtTextures = 0;
    for (const win::DDPIXELFORMAT& f : offer.formats) {
      gTextureFormats[size_t(gTextureFormatCount++)] = f;
      if (f.dwFlags & win::DDPF_FOURCC) gDxtTextures = 1;
    }
  }

  void TearDown() override {
    FreeRecordPools();
    ReleaseImageContext();
    gSurfaceHooks = DefaultSurfaceHooks();
    for (int32_t n = 1; n < kBitmapSlots; ++n) ReleaseBitmapSurface(n);
    gBitmapInfo = {};
    if (gD3DDevice) gD3DDevice->Release();
    if (gDirect3D) gDirect3D->Release();
    gD3DDevice = nullptr;
    gDirect3D = nullptr;
    for (win::IDirectDrawSurface7** s : {&gBackBuffer, &gPrimarySurface}) {
      if (*s) (*s)->Release();
      *s = nullptr;
    }
    if (gDirectDraw) gDirectDraw->Release();
    gDirectDraw = nullptr;
    gTextureFormatCount = gDxtTextures = 0;
    gModelFolder.clear();
    gAppActive = 1;
    gFullScreen = 0;
    win::ResetDisplayFaults();
    win::SetDirect3DProfile(win::StandardDirect3DProfile());
    EXPECT_EQ(win::LiveSurfaceCount(), 0u) << "a surface was not released";
    EXPECT_EQ(win::LiveGdiObjectCount(), gdiObjects_) << "a GDI bitmap was not deleted";
    EXPECT_EQ(win::LiveDeviceContextCount(), 0u);
  }

  std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = folder_.path() + name;
    EXPECT_TRUE(win::WriteWholeFile(path, bytes.data(), bytes.size()));
    return path;
  }

  // An image of the given size filled with a colour, with its surface.
  static uint32_t MakeImage(int32_t width, int32_t height, uint32_t rgb) {
    const uint32_t slot = AllocImageRecord();
    EXPECT_EQ(CreateImageSurface(slot, width, height), 1);
    FillRect(gImageRecords[slot].surface, rgb);
    return slot;
  }

  static TextureSurface& TextureOf(uint32_t slot) { return gTextureRecords[slot].texture; }
  static int32_t UsesOf(uint32_t slot) {
    const TextureNameEntry* e = gTextureRecords[slot].nameEntry;
    return TextureNameListHolds(e) ? e->useCount : 0;
  }

  TempFolder folder_;
  size_t gdiObjects_ = 0;
};

}  // namespace vx::test
