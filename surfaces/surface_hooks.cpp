// The surface hooks and their defaults: surfaces and palettes are released through their
// reference counts; no image surface is made and nothing is evicted until the display installs
// its own.
#include "surfaces/surface_hooks.h"

#include "platform/ddraw/ddraw.h"

namespace vx {

namespace {

win::IDirectDrawSurface7* NoImageSurface(int32_t, int32_t) { return nullptr; }
void ReleaseOneSurface(win::IDirectDrawSurface7* surface) { surface->Release(); }
void ReleaseOnePalette(win::IDirectDrawPalette* palette) { palette->Release(); }
void NoEviction() {}

}  // namespace

SurfaceHooks DefaultSurfaceHooks() { return {NoImageSurface, ReleaseOneSurface, ReleaseOnePalette, NoEviction}; }

SurfaceHooks gSurfaceHooks = DefaultSurfaceHooks();

void ReleaseSurface(win::IDirectDrawSurface7*& surface) {
  if (!surface) return;
  win::IDirectDrawSurface7* released = surface;
  surface = nullptr;  // cleared first: a release that reaches back here finds nothing
  gSurfaceHooks.releaseSurface(released);
}

void ReleasePalette(win::IDirectDrawPalette*& palette) {
  if (!palette) return;
  win::IDirectDrawPalette* released = palette;
  palette = nullptr;
  gSurfaceHooks.releasePalette(released);
}

}  // namespace vx
