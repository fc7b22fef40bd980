// How the record pools make and let go of DirectDraw objects: the hooks that the display installs
// once it has a DirectDraw object and a 3D device (tests install counting stand-ins), and the
// releases that clear the pointer they release.
#pragma once
#include <cstdint>

namespace vx::win {
class DirectDrawSurface;
class DirectDrawPalette;
using IDirectDrawSurface7 = DirectDrawSurface;
using IDirectDrawPalette = DirectDrawPalette;
}  // namespace vx::win

namespace vx {

// The defaults release through the objects' own reference counts; making image surfaces and
// evicting textures need the display's DirectDraw object and 3D device, so the display installs
// those two when it sets up (until then no image surface is made and there is nothing to evict).
struct SurfaceHooks {
  // An off-screen plain surface in system memory with the black source colour key; null on failure.
  win::IDirectDrawSurface7* (*makeImageSurface)(int32_t width, int32_t height);
  void (*releaseSurface)(win::IDirectDrawSurface7* surface);
  void (*releasePalette)(win::IDirectDrawPalette* palette);
  // The device's managed textures leave video memory.
  void (*evictManagedTextures)();
};
extern SurfaceHooks gSurfaceHooks;
SurfaceHooks DefaultSurfaceHooks();

// Release once and clear the pointer, so that no path can release the same object twice.
void ReleaseSurface(win::IDirectDrawSurface7*& surface);
void ReleasePalette(win::IDirectDrawPalette*& palette);

}  // namespace vx
