// Placeholders for the input, video and 3D services: each reports success and changes
// nothing.
#include "runtime/subsystem_hooks.h"

namespace vx {

int gBlitOverdraw = 1;

bool InitInputDevices(win::HINSTANCE, win::HWND) { return true; }
void RefreshInputState() {}
void AcquireInputDevices() {}
void UnacquireInputDevices() {}
void ReleaseInputDevices() {}

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

}  // namespace vx
