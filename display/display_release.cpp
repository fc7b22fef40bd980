// The display's release of what it acquired, in a fixed order: the Direct3D device before the
// surfaces and the surfaces before DirectDraw; the window with the fonts; and the full-screen
// switch. Each step releases only what exists and clears the pointer, so every step may run again.
// The engine's release after a run, which ends here, is engine3d/engine_shutdown.cpp.
#include "common/host_state.h"
#include "display/display.h"
#include "display/images/image_context.h"
#include "display/locked_pixels.h"
#include "display/text_fonts.h"
#include "platform/win/messages.h"
#include "platform/win/window.h"
#include "surfaces/surface_primitives.h"
#include "surfaces/surface_records.h"

namespace vx {

using namespace win;

void ReleaseD3DDevice() {
  ReleaseAndClear(gD3DDevice);
  ReleaseAndClear(gDirect3D);
}

void ReleaseDisplaySurfaces() {
  ReleaseAndClear(gGammaControl);
  gGammaAvailable = 0;
  ReleaseAndClear(gDisplayPalette);
  if (gFlipChain == 1 && gBackBuffer) {
    // The back buffer belongs to the chain: releasing the primary takes it along.
    ReleaseAndClear(gPrimarySurface);
    gBackBuffer = nullptr;
  } else {
    ReleaseAndClear(gPrimarySurface);
    ReleaseAndClear(gBackBuffer);
  }
  ReleaseAndClear(gZBuffer);
  ForgetDepthClear();
}

int32_t ReleaseDirectDrawObjects(int32_t keep) {
  if (gDirectDraw) {
    UnlockScreenPixels();
    // Image files are loaded and saved through the display's objects, which go now.
    ReleaseImageContext();
    ReleaseImageSurfaceTable();
    // The program's bitmaps and the work bitmap of the image saves.
    for (int32_t n = 1; n < kBitmapSlots; ++n) ReleaseBitmapSurface(n);
    ReleaseD3DDevice();
    ReleaseScreenshotSurface();
    ReleaseAndClear(gPointerImageSurface);
    ReleaseDisplaySurfaces();
    if ((keep & 0xFF) == 0) {
      gDirectDraw->SetCooperativeLevel(gMainWindow, DDSCL_NORMAL);
      ReleaseAndClear(gDirectDraw);
      gDirectDrawReady = 0;
    }
  }
  return 1;
}

int32_t DestroyWindowAndFonts() {
  if (gMainWindow) DestroyWindow(gMainWindow);
  gMainWindow = nullptr;
  DeleteTextFonts();
  return 1;
}

int32_t SetFullScreen(uint32_t flag) {
  gFullScreen = flag;
  return 1;
}

void PostCloseMessage() { PostMessageA(gMainWindow, WM_CLOSE, 0, 0); }

void ResetCooperativeLevel() {
  if (gDirectDraw) gDirectDraw->SetCooperativeLevel(gMainWindow, DDSCL_NORMAL);
}

}  // namespace vx
