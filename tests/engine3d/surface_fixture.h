// A headless drawing world for the 2D tests: a DirectDraw object, a back buffer of a chosen depth
// standing for the screen, fresh record pools whose image surfaces are real surfaces, and helpers
// to paint and read pixels as 0xRRGGBB and to walk and check mip chains.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "common/host_state.h"
#include "engine3d/object_records.h"
#include "platform/ddraw/faults.h"
#include "platform/ddraw/pixel_format.h"
#include "runtime/dispatcher_state.h"
#include "runtime/main_loop.h"
#include "surfaces/display_state.h"
#include "surfaces/surface_colours.h"
#include "surfaces/surface_primitives.h"
#include "system/system_state.h"

namespace vx::test {

// A windowed primary surface in the desktop's format, whose format loaded image files take.
inline win::IDirectDrawSurface7* MakePrimarySurface(win::IDirectDraw7* directDraw) {
  if (win::Failed(directDraw->SetCooperativeLevel(nullptr, win::DDSCL_NORMAL))) return nullptr;
  win::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = win::DDSD_CAPS;
  desc.ddsCaps.dwCaps = win::DDSCAPS_PRIMARYSURFACE;
  win::IDirectDrawSurface7* made = nullptr;
  return win::Succeeded(directDraw->CreateSurface(&desc, &made, nullptr)) ? made : nullptr;
}

inline win::IDirectDrawSurface7* MakeSurface(int32_t width, int32_t height, uint32_t bits,
                                             win::DWORD caps = win::DDSCAPS_SYSTEMMEMORY) {
  win::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = win::DDSD_CAPS | win::DDSD_WIDTH | win::DDSD_HEIGHT | win::DDSD_PIXELFORMAT;
  desc.dwWidth = win::DWORD(width);
  desc.dwHeight = win::DWORD(height);
  desc.ddsCaps.dwCaps = win::DDSCAPS_OFFSCREENPLAIN | caps;
  desc.ddpfPixelFormat = win::DisplayPixelFormat(bits);
  win::IDirectDrawSurface7* made = nullptr;
  return win::Succeeded(Display().gDirectDraw->CreateSurface(&desc, &made, nullptr)) ? made : nullptr;
}

// Pixel values and colours (0xRRGGBB, DXT included) through the platform's own conversion.
inline uint32_t PixelAt(win::IDirectDrawSurface7* s, int32_t x, int32_t y) {
  const win::SurfacePixels p = s->Pixels();
  return win::LoadPixel(p.bits + size_t(y) * size_t(p.pitch) + size_t(x) * p.bytesPerPixel, p.bytesPerPixel);
}
inline uint32_t ColourAt(win::IDirectDrawSurface7* s, int32_t x, int32_t y) {
  return win::ReadPixelArgb(s->Pixels(), uint32_t(x), uint32_t(y)) & 0xFFFFFF;
}
// The colours of the whole screen, row by row.
inline std::vector<uint32_t> ScreenColours() {
  std::vector<uint32_t> pixels;
  for (int32_t y = 0; y < Display().gDisplayHeight; ++y)
    for (int32_t x = 0; x < Display().gDisplayWidth; ++x) pixels.push_back(ColourAt(Display().gBackBuffer, x, y));
  return pixels;
}
// Each pixel the rounded average of a 2x2 block of the picture above it, channel by channel and
// alpha too, as a mip level is made from the level above (a side of one pixel stays one).
inline std::vector<uint32_t> BoxHalf(const std::vector<uint32_t>& whole, uint32_t width, uint32_t height) {
  std::vector<uint32_t> half;
  for (uint32_t y = 0; y < std::max(1u, height / 2); ++y)
    for (uint32_t x = 0; x < std::max(1u, width / 2); ++x) {
      uint32_t average = 0;
      for (int shift = 0; shift < 32; shift += 8) {
        uint32_t sum = 2;
        for (uint32_t dy = 0; dy < 2; ++dy)
          for (uint32_t dx = 0; dx < 2; ++dx)
            sum +=
                (whole[size_t(std::min(2 * y + dy, height - 1)) * width + std::min(2 * x + dx, width - 1)] >> shift) &
                0xFF;
        average |= (sum / 4) << shift;
      }
      half.push_back(average);
    }
  return half;
}
// The levels of a mip chain, largest first, each with a reference of its own for ReleaseLevels.
inline std::vector<win::IDirectDrawSurface7*> MipLevels(win::IDirectDrawSurface7* top) {
  std::vector<win::IDirectDrawSurface7*> levels{top};
  top->AddRef();
  win::DDSCAPS2 caps{};
  caps.dwCaps = win::DDSCAPS_TEXTURE | win::DDSCAPS_MIPMAP;
  for (win::IDirectDrawSurface7* next = nullptr; win::Succeeded(levels.back()->GetAttachedSurface(&caps, &next));)
    levels.push_back(next);
  return levels;
}
inline void ReleaseLevels(std::vector<win::IDirectDrawSurface7*>& levels) {
  for (win::IDirectDrawSurface7* level : levels) level->Release();
  levels.clear();
}
inline void Fill(win::IDirectDrawSurface7* s, uint32_t colour, win::RECT* rect = nullptr) {
  win::DDBLTFX fx{};
  fx.dwSize = sizeof fx;
  fx.dwFillColor = win::ArgbToPixel(win::DescribeFormat(s->PixelFormat()), 0xFF000000u | colour);
  ASSERT_EQ(s->Blt(rect, nullptr, nullptr, win::DDBLT_COLORFILL | win::DDBLT_WAIT, &fx), win::DD_OK);
}
inline void Paint(win::IDirectDrawSurface7* s, int32_t x, int32_t y, uint32_t colour) {
  win::RECT r{x, y, x + 1, y + 1};
  Fill(s, colour, &r);
}

class SurfaceWorld : public ::testing::Test {
 protected:
  void MakeWorld(uint32_t bits, int32_t width = 64, int32_t height = 48,
                 win::DWORD backBufferCaps = win::DDSCAPS_SYSTEMMEMORY) {
    win::ResetDisplayFaults();
    ASSERT_EQ(win::DirectDrawCreateEx(nullptr, &Display().gDirectDraw, win::IID_IDirectDraw7, nullptr), win::DD_OK);
    Display().gBackBuffer = MakeSurface(width, height, bits, backBufferCaps);
    Display().gDisplayWidth = width;
    Display().gDisplayHeight = height;
    gSurfaceHooks = DefaultSurfaceHooks();
    gSurfaceHooks.makeImageSurface = [](int32_t w, int32_t h) {
      win::IDirectDrawSurface7* s = MakeSurface(w, h, Display().gBackBuffer->PixelFormat().dwRGBBitCount);
      const win::DDCOLORKEY black{0, 0};
      if (s) s->SetColorKey(win::DDCKEY_SRCBLT, &black);
      return s;
    };
    ASSERT_TRUE(InitRecordPools());
    ResetEngineRecords();
    Display().gRenderEnabled = 1;
    Host().gAppActive = 1;
    System().gAlwaysActive = 0;
    Interpreter().gErrorCode = 0;
    Records().gSpritePage = 0;
  }
  void TearDown() override {
    for (int32_t n = 1; n < kBitmapSlots; ++n) ReleaseBitmapSurface(n);
    Display().gBitmapInfo = {};
    FreeRecordPools();
    gSurfaceHooks = DefaultSurfaceHooks();
    if (Display().gBackBuffer) Display().gBackBuffer->Release();
    Display().gBackBuffer = nullptr;
    if (Display().gDirectDraw) Display().gDirectDraw->Release();
    Display().gDirectDraw = nullptr;
    win::ResetDisplayFaults();
    EXPECT_EQ(win::LiveSurfaceCount(), 0u);
    Interpreter().gErrorCode = 0;
    Host().gAppActive = 1;
  }

  // An image of the given size filled with a colour; its surface has the black source key.
  static uint32_t MakeImage(int32_t width, int32_t height, uint32_t colour) {
    const uint32_t slot = AllocImageRecord();
    EXPECT_EQ(CreateImageSurface(slot, width, height), 1);
    Fill(Records().gImageRecords[slot].surface, colour);
    return slot;
  }
  static uint32_t MakeSprite(uint32_t image, int32_t x, int32_t y) {
    // Taken sprites come unscaled, with no saved backgrounds.
    const uint32_t slot = AllocRenderItem(RenderItemKind::kSprite);
    Records().gRenderItems[slot].visible = 1;
    SpriteRecord& sprite = Sprite(slot);
    sprite.imageSlot = int32_t(image);
    sprite.x = x;
    sprite.y = y;
    return slot;
  }
  static SpriteRecord& Sprite(uint32_t itemSlot) { return *SpriteOf(itemSlot); }
};

}  // namespace vx::test
