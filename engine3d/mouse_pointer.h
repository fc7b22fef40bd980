// The full-screen software mouse pointer: made at the display set-up, hidden and shown by the mouse
// commands, moved every frame and deleted at the end of a run. Until its sprites exist here, only
// whether it was made and whether it is shown are kept.
#pragma once
#include <cstdint>

namespace vx {

extern uint32_t gPointerSpritesOn;  // the software mouse pointer is drawn

void LoadPointerBitmap();
// Makes the pointer (shown) unless it exists; the flag says whether its images are sprite copies.
void CreatePointerSprites(int32_t spriteFlag = 0);
// Hides the pointer while keeping it.
void HidePointerSprites();
// Shows the pointer again, making it when it does not exist.
void ShowPointerSprites();
void DeletePointerSprites();
void UpdatePointerSprites();

}  // namespace vx
