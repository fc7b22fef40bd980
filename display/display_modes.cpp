// Display modes and the display's re-initialisation, presentation of the back buffer (flip, or a
// blit into the window with black borders round the picture), the frame rate, lost surfaces, the
// window settings and the saved screen.

#include <algorithm>

#include "common/host_state.h"
#include "common/runtime_hooks.h"
#include "display/device_events.h"
#include "display/display.h"
#include "display/draw_queue.h"
#include "display/mouse_pointer.h"
#include "display/video_playback.h"
#include "images/image_context.h"
#include "platform/ddraw/presentation.h"
#include "platform/win/time.h"
#include "platform/win/window.h"
#include "surfaces/display_state.h"
#include "surfaces/surface_primitives.h"
#include "surfaces/surface_records.h"
#include "surfaces/surface_retry.h"
#include "system/system_state.h"

namespace vx {

using namespace win;

std::function<RECT(HWND)> gClientAreaOnScreen = [](HWND window) { return ClientAreaOnScreen(window); };

int32_t SetDisplayMode(int32_t width, int32_t height, int32_t depth) {
  if (System().gWindowMode) {
    System().gWindowWidth = width;
    System().gWindowHeight = height;
    ApplyWindowSettings(1, 1);
  }
  if (Display().gFullScreen == 0) return 1;
  if (!Display().gDirectDraw) return 0;
  const HRESULT r = Display().gDirectDraw->SetDisplayMode(DWORD(width), DWORD(height), DWORD(depth), 0, 0);
  if (Failed(r)) {
    std::string line = "Could not set a display mode of " + std::to_string(width) + "x" + std::to_string(height) + "x" +
                       std::to_string(depth);
    if (r == DDERR_NOEXCLUSIVEMODE) line += ". Must be in exclusive mode to switch bit-depth";
    EngineErrorLog(line);
    return 0;
  }
  MoveWindow(Host().gMainWindow, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), 1);
  ShowWindow(Host().gMainWindow, SW_SHOW);
  return 1;
}

int32_t SetDisplayModeFull(int32_t& width, int32_t& height, int32_t& depth, uint32_t& fallback, int32_t oldWidth,
                           int32_t oldHeight, int32_t oldDepth, uint32_t oldFallback) {
  auto restoreOld = [&] {
    width = oldWidth;
    height = oldHeight;
    depth = oldDepth;
    fallback = oldFallback;
    SetDisplayMode(oldWidth, oldHeight, oldDepth);
  };
  DrawQueueFlush();
  ResetAnimationStreams();
  ReleaseAndClear(Display().gPointerImageSurface);
  ReleaseDirectDrawObjects(0);
  if (!EnumerateDisplayCards(Display().gSurfaceFallback == 1 ? 1 : 0, 1)) {
    RaiseRuntimeError(kErrDirectDrawNotCreated);
    return 0;
  }
  int32_t result = 1;
  if (SetDisplayMode(width, height, depth)) {
    Display().gDisplayWidth = width;
    Display().gDisplayHeight = height;
  } else {
    // The surfaces are made again below with the mode in force, so the program keeps a display.
    restoreOld();
    RaiseRuntimeWarning(kErrDisplayModeNotSet);
    result = 0;
  }
  Display().gDisplayDepth = int16_t(depth);
  if (!InitDisplayAndDevice(width, height, 1)) {
    fallback = 1;
    if (!InitDisplayAndDevice(width, height, 1)) {
      restoreOld();
      Display().gDisplayDepth = int16_t(oldDepth);
      RaiseRuntimeWarning(kErrDisplaySurfacesNotCreated);
      result = 0;
      // Without surfaces the program cannot go on.
      if (!InitDisplayAndDevice(oldWidth, oldHeight, 1)) RaiseRuntimeError(kErrDisplaySurfacesOrDeviceNotCreated);
    }
  }
  if (Display().gBackBuffer) {
    ClearAndPresentTwice();
    for (int32_t slot = 0; slot < Records().gTextureRecords.capacity; ++slot) ReleaseTextureSurface(uint32_t(slot));
    FreeSpriteImageCopies();
    ResetDrawTarget();
    LoadPointerBitmap();
    if (System().gWindowMode == 0) RecreatePointerImages();
    // The new device knows none of the engine's lights, buffers or view.
    gDeviceEvents.displayRemade();
  }
  Display().gDisplayInvalid = 1;
  return result;
}

int32_t RebuildDisplayWithCurrentMode() {
  int32_t width = Display().gDisplayWidth, height = Display().gDisplayHeight, depth = Display().gDisplayDepth;
  uint32_t fallback = Display().gSurfaceFallback;
  return SetDisplayModeFull(width, height, depth, Display().gSurfaceFallback, width, height, depth, fallback);
}

int32_t ClearBackBuffer() {
  if (!Display().gBackBuffer) return 0;
  DDBLTFX fx{};
  fx.dwSize = sizeof fx;
  fx.dwFillColor = 0;
  const HRESULT r =
      RetryUntilDrawn([&] { return Display().gBackBuffer->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx); },
                      [] { return RestoreOrPause(Display().gBackBuffer); });
  return r == DDERR_SURFACELOST ? 0 : 1;
}

int32_t ClearZBuffer() {
  if (Display().gD3DDevice && Display().gRenderEnabled == 1) {
    if (Display().gZBuffer && Display().gZBuffer == Display().gClearedDepth &&
        Display().gZBuffer->ContentVersion() == Display().gClearedDepthVersion)
      return 1;
    const D3DRECT all{0, 0, Display().gDisplayWidth, Display().gDisplayHeight};
    const bool cleared = Succeeded(Display().gD3DDevice->Clear(1, &all, D3DCLEAR_ZBUFFER, 0, 1.0f, 0));
    Display().gClearedDepth = cleared ? Display().gZBuffer : nullptr;
    Display().gClearedDepthVersion = Display().gZBuffer ? Display().gZBuffer->ContentVersion() : 0;
  }
  return 1;
}

void ForgetDepthClear() { Display().gClearedDepth = nullptr; }

int32_t ClearAndPresentTwice() {
  ClearZBuffer();
  for (int i = 0; i < 2; ++i) {
    ClearBackBuffer();
    PresentFrame();
  }
  return 1;
}

int32_t PresentFrame() {
  if (!Display().gPrimarySurface || Display().gRenderEnabled == 0) return 0;
  // Presenting restores every surface of the display; only a failed restore stops it (any other
  // failure shows nothing this frame).
  auto restore = [] { return Succeeded(RestoreLostSurfaces()); };
  if (Display().gFlipChain) {
    if (RetryUntilDrawn([] { return Display().gPrimarySurface->Flip(nullptr, 0); }, restore) == DDERR_SURFACELOST)
      return 0;
    Records().gSpritePage ^= 1;
  } else {
    const RECT source{0, 0, Display().gDisplayWidth, Display().gDisplayHeight};
    const RECT client = gClientAreaOnScreen(Host().gMainWindow);
    int32_t offsetX = 0, offsetY = 0;
    if (Display().gFullScreen == 0) {
      offsetX = ((client.right - client.left) - Display().gDisplayWidth) / 2;
      offsetY = ((client.bottom - client.top) - Display().gDisplayHeight) / 2;
    }
    const RECT dest{client.left + offsetX, client.top + offsetY, client.left + offsetX + Display().gDisplayWidth,
                    client.top + offsetY + Display().gDisplayHeight};
    Display().gPresentOffsetX = dest.left;
    Display().gPresentOffsetY = dest.top;
    if (RetryUntilDrawn(
            [&] { return Display().gPrimarySurface->Blt(&dest, Display().gBackBuffer, &source, 0, nullptr); },
            restore) == DDERR_SURFACELOST)
      return 0;
    if (Display().gWindowBorders == 1) FillWindowBorders(dest);
  }
  UpdateFrameRate();
  return 1;
}

void FillWindowBorders(const RECT& picture) {
  if (Display().gFullScreen != 0 || !Display().gPrimarySurface) return;
  const RECT c = gClientAreaOnScreen(Host().gMainWindow);
  DDBLTFX fx{};
  fx.dwSize = sizeof fx;
  fx.dwFillColor = 0;
  const RECT bands[4] = {
      {c.left, c.top, c.right, picture.top},
      {c.left, picture.bottom, c.right, c.bottom},
      {c.left, c.top, picture.left, c.bottom},
      {picture.right, c.top, c.right, c.bottom},
  };
  for (const RECT& band : bands) {
    // An empty band (the picture reaches that edge) has nothing to fill.
    if (band.right <= band.left || band.bottom <= band.top) continue;
    RECT inside{std::max<LONG>(band.left, 0), std::max<LONG>(band.top, 0),
                std::min<LONG>(band.right, LONG(Display().gPrimarySurface->Width())),
                std::min<LONG>(band.bottom, LONG(Display().gPrimarySurface->Height()))};
    if (inside.right <= inside.left || inside.bottom <= inside.top) continue;
    Display().gPrimarySurface->Blt(&inside, nullptr, nullptr, DDBLT_COLORFILL, &fx);
  }
}

void UpdateFrameRate() {
  ++Display().gFrameCounter;
  const uint32_t now = timeGetTime();
  const uint32_t elapsed = now - Display().gTimeAtLastMeasure;
  if (elapsed > 1000) {
    Display().gFramesPerSecond =
        uint32_t(uint64_t(Display().gFrameCounter - Display().gFramesAtLastMeasure) * 1000u / elapsed);
    Display().gTimeAtLastMeasure = now;
    Display().gFramesAtLastMeasure = Display().gFrameCounter;
  }
  Display().gFrameRate = Display().gFramesPerSecond;
}

HRESULT RestoreLostSurfaces() {
  for (HRESULT r : {Display().gDirectDraw ? Display().gDirectDraw->RestoreAllSurfaces() : DD_OK,
                    Display().gPrimarySurface ? Display().gPrimarySurface->Restore() : DD_OK}) {
    if (Failed(r)) {
      PauseProgram();
      return r;
    }
  }
  // A back buffer of a flip chain came back with its primary.
  if (Display().gBackBuffer && !Display().gFlipChain) {
    const HRESULT r = Display().gBackBuffer->Restore();
    if (Failed(r)) {
      PauseProgram();
      return r;
    }
  }
  // The saved sprite backgrounds went with the surfaces' contents.
  FreeSpriteImageCopies();
  return DD_OK;
}

bool RestorePrimarySurface() {
  if (!Display().gPrimarySurface) return false;
  if (!Display().gPrimarySurface->Lost()) return true;
  return Succeeded(RestoreLostSurfaces());
}

int32_t EvictManagedTextures() {
  if (Display().gDirect3D) Display().gDirect3D->EvictManagedTextures();
  return 1;
}

int32_t ReleaseScreenshotSurface() {
  if (!Display().gScreenshotSurface) return 0;
  ReleaseAndClear(Display().gScreenshotSurface);
  return 1;
}

int32_t SaveScreenshot() {
  if (Display().gRenderEnabled != 1) return 1;
  ReleaseScreenshotSurface();
  if (!Display().gDirectDraw || !Display().gPrimarySurface || !Display().gBackBuffer) return 0;
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  desc.ddsCaps.dwCaps = DDSCAPS_SYSTEMMEMORY;
  desc.dwWidth = DWORD(Display().gDisplayWidth);
  desc.dwHeight = DWORD(Display().gDisplayHeight);
  if (Failed(Display().gDirectDraw->CreateSurface(&desc, &Display().gScreenshotSurface, nullptr))) {
    Display().gScreenshotSurface = nullptr;
    return 0;
  }
  // Windowed, the primary is the desktop: the picture is the back buffer that was just shown.
  // A flip chain shows its primary, which then holds the picture at the display size.
  IDirectDrawSurface7* source = Display().gFlipChain ? Display().gPrimarySurface : Display().gBackBuffer;
  const RECT area{0, 0, Display().gDisplayWidth, Display().gDisplayHeight};
  if (Failed(Display().gScreenshotSurface->Blt(&area, source, &area, DDBLT_WAIT, nullptr))) {
    ReleaseScreenshotSurface();
    return 0;
  }
  // The writers go through a temporary file, so a failed save keeps an old file of the name.
  const std::string& name = Display().gScreenshotFile;
  const bool written = !name.empty() && SaveImageByExtension(Display().gScreenshotSurface, name) == 1;
  ReleaseScreenshotSurface();
  return written ? 1 : 0;
}

void ApplyWindowSettings(int32_t apply, int32_t) {
  if (!Host().gMainWindow) return;
  if (apply) {
    SetWindowTextA(Host().gMainWindow, System().gWindowTitle.c_str());
    SetWindowLongA(Host().gMainWindow, GWL_STYLE, LONG(System().gWindowStyle));
    MoveWindow(Host().gMainWindow, System().gWindowClientX - System().gWindowBorder / 2,
               System().gWindowClientY - System().gWindowCaption - System().gWindowBorder / 2,
               System().gWindowWidth + System().gWindowBorder,
               System().gWindowHeight + System().gWindowBorder + System().gWindowCaption, 1);
    ShowWindow(Host().gMainWindow, System().gWindowShowState);
    if (System().gWindowMode == 0) {
      ShowCursor(0);
      RecreatePointerImages();
    } else {
      ShowCursor(1);
      HidePointerSprites();
    }
  } else {
    ShowWindow(Host().gMainWindow, System().gWindowShowState);
  }
}

void ResetWindowToDefaults() {
  if (!System().gWindowMode) return;
  ResetWindowState();
  Display().gWindowBorders = 1;
  System().gWindowTitle = "Vorlix";
  System().gWindowShowState = 10;
  System().gWindowWidth = GetSystemMetrics(SM_CXSCREEN);
  System().gWindowHeight = GetSystemMetrics(SM_CYSCREEN);
  ApplyWindowSettings(1, 1);
}

}  // namespace vx
