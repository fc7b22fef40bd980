// Placeholders for the video and 3D services: each reports success and changes nothing, except
// the software pointer, which keeps whether it is made and whether it is shown.
#include "runtime/subsystem_hooks.h"

#include "display/display_state.h"
#include "display/text_fonts.h"

namespace vx {

int gBlitOverdraw = 1;

void CreateTextFontForRun() { ResetTextStateForRun(); }

void Reset3DScene() {}
void LoadPointerBitmap() {}

namespace {
bool gPointerMade = false;  // stands for the pointer's sprites until they exist
}  // namespace

void CreatePointerSprites(int32_t) {
  if (gPointerMade) return;
  gPointerMade = true;
  gPointerSpritesOn = 1;
}

void HidePointerSprites() {
  if (gPointerMade) gPointerSpritesOn = 0;
}

// Making the pointer does nothing once it exists, so showing it after a hide must turn it on.
void ShowPointerSprites() {
  if (gPointerMade)
    gPointerSpritesOn = 1;
  else
    CreatePointerSprites(1);
}

void DeletePointerSprites() {
  gPointerMade = false;
  gPointerSpritesOn = 0;
}
void UpdatePointerSprites() {}
void DrawBackdropPlane() {}
void RenderSceneIfReady() {}
void AdvanceAnimations() {}

}  // namespace vx
