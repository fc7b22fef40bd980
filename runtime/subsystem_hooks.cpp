// Placeholders for the display, input, video and 3D services: each reports success and changes
// nothing.
#include "runtime/subsystem_hooks.h"

namespace vx {

int gFullScreen = 1;
int gDisplay3DDepth = 16;
int gBlitFlipMode = 0;
int gBlitOverdraw = 1;
int gPointerSpritesOn = 0;
int gPresentOffsetX = 0;
int gPresentOffsetY = 0;

bool InitInputDevices(win::HINSTANCE, win::HWND) { return true; }
void RefreshInputState() {}
void AcquireInputDevices() {}
void UnacquireInputDevices() {}
void ReleaseInputDevices() {}

bool ChooseBestDisplayCard() { return true; }
int SetFullScreen(int fullScreen) {
  gFullScreen = fullScreen;
  return 1;
}
bool CreateDirectDrawForCard() { return true; }
bool SetDisplayMode(int, int, int) { return true; }
bool CreateSurfacesAndDevice(int, int) { return true; }
void ClearAndPresentBackBuffer() {}
void ClearDepthBuffer() {}
bool RestorePrimarySurface() { return true; }
void PresentFrame() {}
void SaveScreenshot() {}
void LeaveWindowMode() {}
void ReleaseDirectDrawObjects() {}
void DestroyWindowGdiObjects() {}
void CreateTextFontForRun() {}

void Reset3DScene() {}
void LoadPointerBitmap() {}
void CreatePointerSprites() {}
void DeletePointerSprites() {}
void UpdatePointerSprites() {}
void RestoreSpriteBackgrounds() {}
void SaveSpriteBackgrounds() {}
void DrawSpriteLayers() {}
void DrawBackdropPlane() {}
void RenderSceneIfReady() {}
void DrawQueueExecute() {}
void AdvanceAnimations() {}
void UpdateAnimations() {}
void DeleteAllAnimations() {}
void Shutdown3DEngine(int) {}

}  // namespace vx
