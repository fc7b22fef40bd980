// What the record pools call of their neighbours: the DirectDraw surfaces of the display, the 3D
// device, the static world, the collision library, the texture manager, and the tables of the
// system and memory block commands. Those parts are built elsewhere; until they are, the
// functions here do the least that keeps the pools' bookkeeping right (engine_services.cpp).
#pragma once
#include <cstdint>

namespace vx::win {
class DirectDrawSurface;
class DirectDrawPalette;
using IDirectDrawSurface7 = DirectDrawSurface;
using IDirectDrawPalette = DirectDrawPalette;
}  // namespace vx::win

namespace vx {

// How the engine makes and lets go of DirectDraw objects. The defaults release through the objects'
// own reference counts; making image surfaces and evicting textures need the display's DirectDraw
// object and 3D device, so the display installs those two when it sets up (until then no image
// surface is made and there is nothing to evict). Tests install counting stand-ins.
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

// Static world: removes the parts whose owner is the object slot.
void RemoveObjectFromStaticWorld(uint32_t objectSlot);
// Device lights: when the light record's device light is enabled, the device light of that index is
// switched off and the flag cleared.
void DisableDeviceLight(uint32_t lightSlot);
// Texture manager (engine3d/engine_textures.cpp): the shared texture of an image (one more use),
// 0 when none can be had; and the image's texture made again from its surface after a grab.
uint32_t GetSharedImageTexture(uint32_t imageSlot, int32_t colourKey);
void UpdateImageTexture(uint32_t imageSlot, int32_t colourKey, int32_t mipmaps);
// Image files: the image context is attached to the window, DirectDraw and the primary surface.
void AttachImageContextToDisplay();
// Collision library: broad phase off and the object collision callback registered; the model
// code's services registered.
void RegisterObjectCollisionResponse();
// System commands: file numbers 0 to 31 forgotten (not closed: the run's end closed them).
void ClearFileHandles();
// Memory block commands (display/memblocks.cpp): every block freed.
void ClearMemblockTable();

}  // namespace vx
