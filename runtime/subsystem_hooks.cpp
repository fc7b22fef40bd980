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
