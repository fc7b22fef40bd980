// The software mouse pointer's state (mouse_pointer.h).
#include "engine3d/mouse_pointer.h"

namespace vx {

uint32_t gPointerSpritesOn = 0;

namespace {
bool gPointerMade = false;  // stands for the pointer's sprites until they exist
}  // namespace

void LoadPointerBitmap() {}

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

}  // namespace vx
