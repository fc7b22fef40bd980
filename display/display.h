// The display subsystem's door: DirectDraw and Direct3D device set-up, display modes and their
// re-initialisation, presentation of the back buffer, lost surfaces, screenshots, and the ordered
// release of what the display acquired. State is in surfaces/display_state.h; the engine's release
// after a run is engine3d/engine_shutdown.h.
#pragma once
#include <cstdint>
#include <functional>

#include "display/adapter_choice.h"
#include "platform/win/types.h"
#include "surfaces/display_state.h"

namespace vx {

// --- Device set-up -------------------------------------------------------------------------------
// Creates gDirectDraw on the chosen card (gChosenCardName; see display/adapter_choice.h) and sets
// its cooperative level. 1 or 0.
int32_t EnumerateDisplayCards(int32_t forcePrimary, int32_t allowExclusive);
// Surfaces and, with 3D, the device for a display of this size. 1 or 0.
int32_t InitDisplayAndDevice(int32_t width, int32_t height, int32_t with3D);
win::HRESULT CreateRenderSurfaces(win::HWND window, int32_t with3D);
win::HRESULT CreateZBuffer(int32_t videoMemory);
int32_t SetBlackColourKeys();
int32_t ChooseD3DDevice();
int32_t SetDefaultRenderStates();
// The capability flags that a device description and the back buffer's format give.
void SetCapabilityFlags(const win::D3DDEVICEDESC7& caps, const win::DDPIXELFORMAT& backBufferFormat);
// The blend level and second level of the blend caps (source, destination).
void BlendLevelsOf(win::DWORD srcCaps, win::DWORD destCaps, uint32_t* level, uint32_t* second);
// The back buffer's pixel value of black, which the 2D code uses as its colour key.
win::DWORD BlackColourKey();
// Image files: the image context is attached to the window, DirectDraw and the primary surface.
void AttachImageContextToDisplay();

// --- Display modes and presentation --------------------------------------------------------------
int32_t SetDisplayMode(int32_t width, int32_t height, int32_t depth);
// Re-initialises the whole display for the new values; 1 when they stand, 0 when it fell back.
int32_t SetDisplayModeFull(int32_t& width, int32_t& height, int32_t& depth, uint32_t& fallback, int32_t oldWidth,
                           int32_t oldHeight, int32_t oldDepth, uint32_t oldFallback);
// The display made again with the mode in force (the switches of the display commands).
int32_t RebuildDisplayWithCurrentMode();
int32_t PresentFrame();
int32_t ClearBackBuffer();
// Clears the depth buffer, unless nothing has written into it since it was last cleared (a frame
// without 3D leaves it as it was): its content version tells.
int32_t ClearZBuffer();
// The depth buffer goes: the next clear is done whatever the new one holds.
void ForgetDepthClear();
int32_t ClearAndPresentTwice();
win::HRESULT RestoreLostSurfaces();
// In full screen after a focus loss: true once the primary surface is usable again.
bool RestorePrimarySurface();
void FillWindowBorders(const win::RECT& picture);
void UpdateFrameRate();
int32_t SaveScreenshot();
int32_t ReleaseScreenshotSurface();
void ApplyWindowSettings(int32_t apply, int32_t all);
void ResetWindowToDefaults();
int32_t EvictManagedTextures();
// Where the window's client area is on the screen. Tests replace it to place the window.
extern std::function<win::RECT(win::HWND)> gClientAreaOnScreen;

// --- Release -----------------------------------------------------------------------------------------
void ReleaseD3DDevice();
void ReleaseDisplaySurfaces();
int32_t ReleaseDirectDrawObjects(int32_t keep);
int32_t DestroyWindowAndFonts();
int32_t SetFullScreen(uint32_t flag);
void PostCloseMessage();
void ResetCooperativeLevel();

// Releases an object once and clears the pointer.
template <typename T>
void ReleaseAndClear(T*& object) {
  if (object) object->Release();
  object = nullptr;
}

}  // namespace vx
