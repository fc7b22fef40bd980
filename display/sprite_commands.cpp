// Sprite commands: placing sprites 1 to 65535 by position and image, their background and
// transparency switches, size, scale, hot spot, mirroring and flipping, hiding and showing, the
// paste into the current bitmap, deletion, the questions about them and the contact tests. The
// frame draws the sprites (surfaces/surface_primitives.h); none of these commands ends the time
// slice except the paste.
#include "common/interpreter_state.h"
#include "common/runtime_hooks.h"
#include "display/draw_queue.h"
#include "display/images.h"
#include "display/sprites.h"

namespace vx {

namespace {

constexpr int32_t kLargestScalePercent = 250000;

// Checks the sprite number (301) and that it has a sprite (302); the sprite's render item, or 0
// after the error.
uint32_t CheckedSprite(int32_t n) {
  if (!IsSpriteNumber(n)) {
    RaiseRuntimeError(kErrSpriteNumberOutOfRange);
    return 0;
  }
  const uint32_t slot = SpriteSlotById(n);
  if (slot == 0) RaiseRuntimeError(kErrSpriteNotExist);
  return slot;
}

// The sprite n, made when it has none; 0 after error 301 (or when the pool could not grow).
uint32_t PlacedSprite(int32_t n) {
  if (!IsSpriteNumber(n)) {
    RaiseRuntimeError(kErrSpriteNumberOutOfRange);
    return 0;
  }
  const uint32_t slot = TakeSprite(n);
  return slot == kNoRecordSlot ? 0 : slot;
}

// --- Placing and setting -------------------------------------------------------------------------

void CmdPlaceSprite() {
  const int32_t n = IntOperand(0), x = IntOperand(1), y = IntOperand(2), image = IntOperand(3);
  SkipOperands(4);
  const uint32_t slot = PlacedSprite(n);
  if (!slot) return;
  SpriteRecord& sprite = *SpriteOf(slot);
  sprite.x = x;
  sprite.y = y;
  sprite.imageNumber = image;
  const uint32_t imageSlot = ImageSlotById(image);
  sprite.imageSlot = imageSlot != 0 ? int32_t(imageSlot) : -1;
}

void CmdSetSprite() {
  const int32_t n = IntOperand(0), background = IntOperand(1), transparency = IntOperand(2);
  SkipOperands(3);
  const uint32_t slot = PlacedSprite(n);
  if (!slot) return;
  if (background < 0 || background > 1) {
    RaiseRuntimeError(kErrSpriteBackgroundFlag);
    return;
  }
  if (transparency < 0 || transparency > 1) {
    RaiseRuntimeError(kErrSpriteTransparencyFlag);
    return;
  }
  SpriteOf(slot)->savesBackground = background;
  Records().gRenderItems[slot].colourKey = transparency;
}

// The sprite drawn width x height pixels; a sprite whose image has no pixels keeps its scale.
void CmdSizeSprite() {
  const int32_t n = IntOperand(0), width = IntOperand(1), height = IntOperand(2);
  SkipOperands(3);
  const uint32_t slot = CheckedSprite(n);
  if (!slot) return;
  if (width < 0 || height < 0) {
    RaiseRuntimeError(kErrSpriteSizeBelowZero);
    return;
  }
  SpriteRecord& sprite = *SpriteOf(slot);
  const uint32_t imageSlot = ImageSlotById(sprite.imageNumber);
  if (imageSlot == 0 || !Records().gImageRecords.IsTaken(imageSlot)) return;
  const ImageRecord& image = Records().gImageRecords[imageSlot];
  if (image.imageWidth < 1 || image.imageHeight < 1) return;
  sprite.scaleX = float(width) / float(image.imageWidth);
  sprite.scaleY = float(height) / float(image.imageHeight);
}

bool ScalePercentValid(int32_t percent) { return percent >= 0 && percent <= kLargestScalePercent; }

void CmdScaleSprite() {
  const int32_t n = IntOperand(0), percent = IntOperand(1);
  SkipOperands(2);
  const uint32_t slot = CheckedSprite(n);
  if (!slot) return;
  if (!ScalePercentValid(percent)) {
    RaiseRuntimeError(kErrSpriteScaleOutOfRange);
    return;
  }
  SpriteOf(slot)->scaleX = SpriteOf(slot)->scaleY = float(percent) / 100.0f;
}

void CmdStretchSprite() {
  const int32_t n = IntOperand(0), percentX = IntOperand(1), percentY = IntOperand(2);
  SkipOperands(3);
  const uint32_t slot = CheckedSprite(n);
  if (!slot) return;
  if (!ScalePercentValid(percentX) || !ScalePercentValid(percentY)) {
    RaiseRuntimeError(kErrSpriteScaleOutOfRange);
    return;
  }
  SpriteOf(slot)->scaleX = float(percentX) / 100.0f;
  SpriteOf(slot)->scaleY = float(percentY) / 100.0f;
}

void CmdOffsetSprite() {
  const int32_t n = IntOperand(0), x = IntOperand(1), y = IntOperand(2);
  SkipOperands(3);
  if (const uint32_t slot = CheckedSprite(n)) {
    SpriteOf(slot)->hotSpotX = x;
    SpriteOf(slot)->hotSpotY = y;
  }
}

// Runs the change on sprite n (the command's only operand) when it exists: on its render item and
// its sprite record.
template <class Change>
void ChangeSprite(Change&& change) {
  const int32_t n = IntOperand(0);
  SkipOperands(1);
  if (const uint32_t slot = CheckedSprite(n)) change(Records().gRenderItems[slot], *SpriteOf(slot));
}

void CmdMirrorSprite() {
  ChangeSprite([](RenderItem&, SpriteRecord& sprite) { sprite.mirror = sprite.mirror == 1 ? 0 : 1; });
}
void CmdFlipSprite() {
  ChangeSprite([](RenderItem&, SpriteRecord& sprite) { sprite.flip = sprite.flip == 1 ? 0 : 1; });
}
void CmdHideSprite() {
  ChangeSprite([](RenderItem& item, SpriteRecord&) { item.visible = 0; });
}
void CmdShowSprite() {
  ChangeSprite([](RenderItem& item, SpriteRecord&) { item.visible = 1; });
}

// A sprite whose background the frame keeps stays until that background is put back on both
// pages; the others go at once.
void CmdDeleteSprite() {
  const int32_t n = IntOperand(0);
  SkipOperands(1);
  const uint32_t slot = CheckedSprite(n);
  if (!slot) return;
  SpriteRecord& sprite = *SpriteOf(slot);
  sprite.inUse = 0;
  if (sprite.savesBackground != 1) {
    Records().gSpriteSlotById[size_t(n)] = 0;
    sprite.spriteNumber = 0;
    FreeRenderItem(slot);
    return;
  }
  sprite.imageSlot = -1;
  sprite.pendingRemoval = 2;
}

void CmdPasteSprite() {
  const int32_t n = IntOperand(0), x = IntOperand(1), y = IntOperand(2);
  SkipOperands(3);
  if (!CheckedSprite(n)) return;
  QueuePasteSprite(n, x, y);
  EndSliceAfterCommand(SliceEnd::kAutoRefresh, DrawQueue().gCurrentBitmap == 0);
}

// Sprites of layer 0 that have an image; the items of 3D objects are left to the object commands.
void ShowAllSprites(int32_t visible) {
  ForEachSprite([visible](uint32_t slot) {
    const SpriteRecord& sprite = Records().gSpriteRecords[slot];
    if (sprite.layer != 0 || sprite.imageSlot == -1) return;
    RenderItem& item = Records().gRenderItems[uint32_t(sprite.itemSlot)];
    if (item.visible == 1 - visible) item.visible = visible;
  });
}

void CmdHideAllSprites() { ShowAllSprites(0); }
void CmdShowAllSprites() { ShowAllSprites(1); }

// --- Questions ------------------------------------------------------------------------------------

void FnSpriteExists() {
  ValueSlot* result = SlotOperand(0);
  const int32_t n = IntOperand(1);
  SkipOperands(2);
  if (!IsSpriteNumber(n)) {
    RaiseRuntimeError(kErrSpriteNumberOutOfRange);
    return;
  }
  const uint32_t slot = SpriteSlotById(n);
  result->i = slot != 0 && SpriteOf(slot)->pendingRemoval == 0 ? 1 : 0;
}

// A question about sprite n: the answer of the sprite, or the result left alone after an error.
template <class Answer>
void AskSprite(Answer&& answer) {
  ValueSlot* result = SlotOperand(0);
  const int32_t n = IntOperand(1);
  SkipOperands(2);
  if (const uint32_t slot = CheckedSprite(n)) result->i = answer(*SpriteOf(slot));
}

void FnSpriteX() {
  AskSprite([](const SpriteRecord& s) { return s.x; });
}
void FnSpriteY() {
  AskSprite([](const SpriteRecord& s) { return s.y; });
}
void FnSpriteOffsetX() {
  AskSprite([](const SpriteRecord& s) { return s.hotSpotX; });
}
void FnSpriteOffsetY() {
  AskSprite([](const SpriteRecord& s) { return s.hotSpotY; });
}
void FnSpriteWidth() {
  AskSprite([](const SpriteRecord& s) { return SpriteWidth(s); });
}
void FnSpriteHeight() {
  AskSprite([](const SpriteRecord& s) { return SpriteHeight(s); });
}
void FnSpriteImage() {
  AskSprite([](const SpriteRecord& s) { return s.imageNumber; });
}
void FnSpriteScaleX() {
  AskSprite([](const SpriteRecord& s) { return TruncateToInt32(double(s.scaleX) * 100.0); });
}
void FnSpriteScaleY() {
  AskSprite([](const SpriteRecord& s) { return TruncateToInt32(double(s.scaleY) * 100.0); });
}
void FnSpriteMirrored() {
  AskSprite([](const SpriteRecord& s) { return s.mirror; });
}
void FnSpriteFlipped() {
  AskSprite([](const SpriteRecord& s) { return s.flip; });
}

// What sprite a touches (sprite b, or any for b outside 1 to 65535). FnSpriteHit reports a contact
// once: on the first test of a that finds it, and again only after a test of a that found none.
void Contact(bool onlyNew) {
  ValueSlot* result = SlotOperand(0);
  const int32_t a = IntOperand(1), b = IntOperand(2);
  SkipOperands(3);
  const uint32_t slot = CheckedSprite(a);
  if (!slot) return;
  bool noSprite = false;
  const int32_t contact = SpriteContact(slot, b, &noSprite);
  if (noSprite) RaiseRuntimeError(kErrSpriteNotExist);
  if (!onlyNew) {
    if (!noSprite) result->i = contact;
    return;
  }
  SpriteRecord& sprite = *SpriteOf(slot);
  result->i = contact >= 1 && sprite.lastCollision == 0 ? contact : 0;
  sprite.lastCollision = contact;
}

void FnSpriteHit() { Contact(true); }
void FnSpriteCollision() { Contact(false); }

}  // namespace

}  // namespace vx

#include "generated/commands/sprite.inc"
