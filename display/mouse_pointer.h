// The full-screen software mouse pointer: an arrow drawn as a sprite in the top layer, with a
// blinking text caret beside it for the editor, both cut from the pointer bitmap (resource 103,
// made at build time) that the display set-up loads. Made at the display set-up, hidden and shown
// by the mouse commands, moved to the mouse every frame and deleted at the end of a run.
#pragma once
#include <cstdint>

namespace vx {

struct PointerState {
  uint32_t gPointerSpritesOn = 0;    // the software mouse pointer is shown
  int32_t gPointerSprite = -1;       // RenderItem of the arrow, -1 none
  int32_t gCaretSprite = -1;         // RenderItem of the caret, -1 none
  int32_t gCaretX = 0, gCaretY = 0;  // where the editor wants the caret
};
extern PointerState gPointerState;  // the one instance (display/mouse_pointer.cpp)
inline PointerState& Pointer() { return gPointerState; }

constexpr int32_t kPointerBitmapResource = 103;

// The pointer bitmap into gPointerImageSurface (system memory, black transparent); the old one is
// released. 0 when it could not be made.
int32_t LoadPointerBitmap();
// Makes the pointer (shown) unless it exists: its three images on the pointer bitmap and its two
// sprites; with savesBackground 1 the frame keeps the background under them.
void CreatePointerSprites(int32_t savesBackground = 1);
// After the display was made again: the images cut again from the new pointer bitmap.
void RecreatePointerImages();
// Hides the pointer while keeping it.
void HidePointerSprites();
// Shows the pointer again, making it when it does not exist.
void ShowPointerSprites();
void DeletePointerSprites();
// The record pools were emptied under the pointer: it no longer exists (nothing is released).
void ForgetPointerSprites();
// 1, 2, 3: the pointer shows image 1 (the arrow), 2 or 3; 4 shows the caret, 5 hides it. Only while
// the pointer is shown.
void SetPointerShape(int32_t shape);
// Every frame: the caret blinks and the pointer follows the mouse.
void UpdatePointerSprites();

}  // namespace vx
