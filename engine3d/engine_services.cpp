// The neighbours of the record pools. Surfaces and palettes are released through their reference
// counts, and the image context is attached to the display's objects; the rest stand as they are
// before the 3D device, the static world, the collision library and the file
// commands exist: nothing of theirs can have been made, so there is nothing to switch off. Each
// part replaces its function here when it is built.
#include "engine3d/engine_services.h"

#include "common/host_state.h"
#include "display/display_state.h"
#include "display/images/image_context.h"
#include "engine3d/objects.h"
#include "engine3d/records.h"
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

void DisableDeviceLight(uint32_t lightSlot) {
  if (!gLightRecords.IsTaken(lightSlot) || !gLightRecords[lightSlot].deviceEnabled) return;
  if (gD3DDevice) gD3DDevice->LightEnable(lightSlot, 0);
  gLightRecords[lightSlot].deviceEnabled = 0;
}

// GetSharedImageTexture and UpdateImageTexture are the texture manager's (engine3d/engine_textures.cpp).

void AttachImageContextToDisplay() { AttachImageContext(gMainWindow, gDirectDraw, gPrimarySurface); }
void RegisterObjectCollisionResponse() {
  gCollisionEnabled = 1;
  DisableBroadPhase();
  SetDefaultResponse(CollisionPairCallback, kResponseSimple, nullptr);
  RegisterModelServices();
}
void ClearFileHandles() {}

}  // namespace vx
