// The engine's release of what a run and the display acquired, in a fixed order: the run's
// resources, then the Direct3D device before the surfaces and the surfaces before DirectDraw.
// Each step releases only what exists and clears the pointer, so every step may run again.
#include "display/display.h"
#include "display/text_fonts.h"
#include "engine3d/records.h"
#include "engine3d/texture_names.h"
#include "platform/win/heap.h"
#include "platform/win/messages.h"
#include "platform/win/window.h"
#include "runtime/host.h"
#include "runtime/main_loop.h"
#include "system/system_state.h"

namespace vx {

using namespace win;

int32_t ReleaseRunResources() {
  DeleteMultiplayerSession();
  ClearMemblockTable();
  gKeyboardBuffer.clear();
  gKeyboardBuffer.shrink_to_fit();
  gKeyboardBufferCount = 0;
  for (int32_t slot = 0; slot < gObjectRecords.capacity; ++slot) ReleaseObjectContents(uint32_t(slot));
  for (int32_t slot = 0; slot < gMeshRecords.capacity; ++slot) {
    MeshRecord& mesh = gMeshRecords.records[slot];
    GlobalFree(mesh.positions);
    GlobalFree(mesh.normals);
    GlobalFree(mesh.faces);
    GlobalFree(mesh.textureCoords);
    mesh.positions = mesh.normals = mesh.textureCoords = nullptr;
    mesh.faces = nullptr;
  }
  // The records keep pointing at the entries; the list tells which ones are gone.
  ClearTextureNameList();
  ClearFileHandles();
  return 1;
}

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
}

int32_t ReleaseDirectDrawObjects(int32_t keep) {
  if (gDirectDraw) {
    ReleaseImageSurfaceTable();
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

void Shutdown3DEngine(int32_t keep) {
  ReleaseRunResources();
  ReleaseDirectDrawObjects(keep);
}

}  // namespace vx
