// The screen the drawing benchmarks draw on: 640x480x32 in system memory, with image 1 a 32x32
// ring on the black colour key, as the display set-up of a run leaves things.
#pragma once
#include <cstdint>

#include "display/draw_queue.h"
#include "engine3d/object_records.h"
#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/faults.h"
#include "surfaces/display_state.h"
#include "surfaces/surface_hooks.h"

namespace vx::bench {

inline win::IDirectDrawSurface7* MakeSurface(int32_t width, int32_t height, win::DWORD bits = 32) {
  win::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = win::DDSD_CAPS | win::DDSD_WIDTH | win::DDSD_HEIGHT | win::DDSD_PIXELFORMAT;
  desc.dwWidth = win::DWORD(width);
  desc.dwHeight = win::DWORD(height);
  desc.ddsCaps.dwCaps = win::DDSCAPS_OFFSCREENPLAIN | win::DDSCAPS_SYSTEMMEMORY;
  desc.ddpfPixelFormat = win::DisplayPixelFormat(bits);
  win::IDirectDrawSurface7* made = nullptr;
  Display().gDirectDraw->CreateSurface(&desc, &made, nullptr);
  return made;
}

// A new 32x32 image of a ring on the black colour key; its slot.
inline uint32_t MakeRingImage() {
  const uint32_t image = AllocImageRecord();
  CreateImageSurface(image, 32, 32);
  win::DDBLTFX fx{};
  fx.dwSize = sizeof fx;
  fx.dwFillColor = 0x00FF8040;
  win::RECT ring{4, 4, 28, 28};
  Records().gImageRecords[image].surface->Blt(&ring, nullptr, nullptr, win::DDBLT_COLORFILL, &fx);
  fx.dwFillColor = 0;
  win::RECT hole{10, 10, 22, 22};
  Records().gImageRecords[image].surface->Blt(&hole, nullptr, nullptr, win::DDBLT_COLORFILL, &fx);
  return image;
}

inline void MakeScreen() {
  if (Display().gBackBuffer) return;
  win::ResetDisplayFaults();
  win::DirectDrawCreateEx(nullptr, &Display().gDirectDraw, win::IID_IDirectDraw7, nullptr);
  Display().gBackBuffer = MakeSurface(640, 480);
  Display().gDisplayWidth = 640;
  Display().gDisplayHeight = 480;
  gSurfaceHooks.makeImageSurface = [](int32_t w, int32_t h) {
    win::IDirectDrawSurface7* s = MakeSurface(w, h);
    const win::DDCOLORKEY black{0, 0};
    s->SetColorKey(win::DDCKEY_SRCBLT, &black);
    return s;
  };
  InitRecordPools();
  ResetEngineRecords();
  Records().gImageSlotById[1] = MakeRingImage();
  ResetDrawTarget();
}

}  // namespace vx::bench
