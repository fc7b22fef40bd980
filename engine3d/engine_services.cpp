// The neighbours of the record pools. Surfaces and palettes are released through their reference
// counts; the rest stand as they are before the display set-up, the 3D device, the static world,
// the collision library, the texture manager and the memory block and file commands exist: nothing
// of theirs can have been made, so there is nothing to make, switch off or attach. Each part
// replaces its function here when it is built.
#include "engine3d/engine_services.h"

#include "engine3d/records.h"
#include "engine3d/texture_names.h"
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

void RemoveObjectFromStaticWorld(uint32_t) {}

void DisableDeviceLight(uint32_t lightSlot) {
  if (!gLightRecords.IsTaken(lightSlot)) return;
  gLightRecords[lightSlot].deviceEnabled = 0;
}

uint32_t GetSharedImageTexture(uint32_t imageSlot, int32_t) {
  if (!gImageRecords.IsTaken(imageSlot)) return 0;
  const int32_t texture = gImageRecords[imageSlot].textureSlot;
  return texture > 0 && AddTextureUse(uint32_t(texture)) ? uint32_t(texture) : 0;
}

void UpdateImageTexture(uint32_t, int32_t, int32_t) {}
void AttachImageContextToDisplay() {}
void RegisterObjectCollisionResponse() {}
void ClearFileHandles() {}
void ClearMemblockTable() {}

}  // namespace vx
