// The display's release of what it acquired, in a fixed order: the Direct3D device before the
// surfaces and the surfaces before DirectDraw; the window with the fonts; and the full-screen
// switch. Each step releases only what exists and clears the pointer, so every step may run again.
// The engine's release after a run, which ends here, is engine3d/engine_shutdown.cpp.
#include "common/host_state.h"
#include "display/display.h"
#include "display/locked_pixels.h"
#include "display/text_fonts.h"
#include "images/image_context.h"
#include "platform/win/messages.h"
#include "platform/win/window.h"
#include "surfaces/surface_primitives.h"
#include "surfaces/surface_records.h"

namespace vx {

using namespace win;

void ReleaseD3DDevice() {
  ReleaseAndClear(Display().gD3DDevice);
  ReleaseAndClear(Display().gDirect3D);
}

void ReleaseDisplaySurfaces() {
  ReleaseAndClear(Display().gGammaControl);
  Display().gGammaAvailable = 0;
  ReleaseAndClear(Display().gDisplayPalette);
  if (Display().gFlipChain == 1 && Display().gBackBuffer) {
    // The back buffer belongs to the chain: releasing the primary takes it along.
    ReleaseAndClear(Display().gPrimarySurface);
    Display().gBackBuffer = nullptr;
  } else {
    ReleaseAndClear(Display().gPrimarySurface);
    ReleaseAndClear(Display().gBackBuffer);
  }
  ReleaseAndClear(Display().gZBuffer);
  ForgetDepthClear();
}

int32_t ReleaseDirectDrawObjects(int32_t keep) {
  if (Display().gDirectDraw) {
    UnlockScreenPixels();
    // Image files are loaded and saved through the display's objects, which go now.
    ReleaseImageContext();
    ReleaseImageSurfaceTable();
    // The program's bitmaps and the work bitmap of the image saves.
    for (int32_t n = 1; n < kBitmapSlots; ++n) ReleaseBitmapSurface(n);
    ReleaseD3DDevice();
    ReleaseScreenshotSurface();
    ReleaseAndClear(Display().gPointerImageSurface);
    ReleaseDisplaySurfaces();
    if ((keep & 0xFF) == 0) {
      Display().gDirectDraw->SetCooperativeLevel(Host().gMainWindow, DDSCL_NORMAL);
      ReleaseAndClear(Display().gDirectDraw);
      Display().gDirectDrawReady = 0;
    }
  }
  return 1;
}

int32_t DestroyWindowAndFonts() {
  if (Host().gMainWindow) DestroyWindow(Host().gMainWindow);
  Host().gMainWindow = nullptr;
  DeleteTextFonts();
  return 1;
}

int32_t SetFullScreen(uint32_t flag) {
  Display().gFullScreen = flag;
  return 1;
}

void PostCloseMessage() { PostMessageA(Host().gMainWindow, WM_CLOSE, 0, 0); }

void ResetCooperativeLevel() {
  if (Display().gDirectDraw) Display().gDirectDraw->SetCooperativeLevel(Host().gMainWindow, DDSCL_NORMAL);
}

}  // namespace vx
