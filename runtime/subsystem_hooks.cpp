// Placeholders for the video and 3D services: each reports success and changes
// nothing.
#include "runtime/subsystem_hooks.h"

namespace vx {

int gBlitOverdraw = 1;

void CreateTextFontForRun() {}

void Reset3DScene() {}
void LoadPointerBitmap() {}
void CreatePointerSprites() {}
void DeletePointerSprites() {}
void UpdatePointerSprites() {}
void DrawBackdropPlane() {}
void RenderSceneIfReady() {}
void AdvanceAnimations() {}
void UpdateAnimations() {}
void DeleteAllAnimations() {}

}  // namespace vx
