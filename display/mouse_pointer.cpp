// The software mouse pointer (mouse_pointer.h). Its three images share the pointer bitmap's
// surface, each holding a reference of its own, so that whichever path frees an image releases
// only that image's reference.
#include "display/mouse_pointer.h"

#include "display/display.h"
#include "display/input_devices.h"
#include "surfaces/display_state.h"
#include "surfaces/surface_records.h"
#include "surfaces/texture_surface.h"

namespace vx {

PointerState gPointerState;

namespace {

// The arrow, the caret bar and a single pixel, all cut from the bitmap's top left.
constexpr int32_t kImageSizes[3][2] = {{20, 22}, {2, 22}, {1, 1}};
constexpr int32_t kOffScreen = -256;
constexpr int32_t kPointerLayer = 2;
constexpr int16_t kBlinkPasses = 20;  // the caret changes every 21 frames

int32_t gPointerImages[3] = {-1, -1, -1};
int16_t gBlinkCounter = 0;
int16_t gBlinkState = 0;

bool PointerExists() { return gPointerSprite != -1 && gRenderItems.IsTaken(uint32_t(gPointerSprite)); }

void PlaceItem(int32_t item, int32_t x, int32_t y) {
  if (item == -1 || !gRenderItems.IsTaken(uint32_t(item))) return;
  gRenderItems[uint32_t(item)].x = x;
  gRenderItems[uint32_t(item)].y = y;
}

void ShowImage(int32_t item, int32_t image) {
  if (item != -1 && gRenderItems.IsTaken(uint32_t(item))) gRenderItems[uint32_t(item)].spriteImageSlot = image;
}

// The image at its size on the pointer bitmap, with a reference of its own to the bitmap.
void CutImage(int32_t slot, int32_t index) {
  if (slot == -1 || !gImageRecords.IsTaken(uint32_t(slot))) return;
  ImageRecord& image = gImageRecords[uint32_t(slot)];
  ReleaseSurface(image.surface);
  const int32_t next = image.next, previous = image.previous;
  image = ImageRecord{};
  image.next = next;
  image.previous = previous;
  if (!gPointerImageSurface) return;
  gPointerImageSurface->AddRef();
  image.surface = gPointerImageSurface;
  image.width = image.imageWidth = kImageSizes[index][0];
  image.height = image.imageHeight = kImageSizes[index][1];
  image.madeWidth = int32_t(gPointerImageSurface->Width());
  image.madeHeight = int32_t(gPointerImageSurface->Height());
  image.valid = 1;
}

int32_t TakePointerItem(int32_t spriteFlag, int32_t x, int32_t y) {
  const uint32_t slot = AllocRenderItem();
  if (slot == kNoRecordSlot) return -1;
  RenderItem& item = gRenderItems[slot];
  item.visible = 1;
  item.colourKey = 1;
  item.spriteImageSlot = gPointerImages[0];
  item.spriteFlag = spriteFlag;
  item.layer = kPointerLayer;
  item.x = x;
  item.y = y;
  return int32_t(slot);
}

}  // namespace

int32_t LoadPointerBitmap() {
  ReleaseAndClear(gPointerImageSurface);
  gPointerImageSurface = CreateSurfaceFromBitmapResource(gDirectDraw, nullptr, kPointerBitmapResource, 0, 0, 1);
  if (!gPointerImageSurface) return 0;
  const win::DWORD black = BlackColourKey();
  const win::DDCOLORKEY key{black, black};
  gPointerImageSurface->SetColorKey(win::DDCKEY_SRCBLT, &key);
  return 1;
}

void CreatePointerSprites(int32_t spriteFlag) {
  if (PointerExists()) return;
  gPointerSpritesOn = 1;
  for (int index = 0; index < 3; ++index) {
    const uint32_t slot = AllocImageRecord();
    gPointerImages[index] = slot == kNoRecordSlot ? -1 : int32_t(slot);
    CutImage(gPointerImages[index], index);
  }
  gPointerSprite = TakePointerItem(spriteFlag, 320, 100);
  gCaretSprite = TakePointerItem(spriteFlag, kOffScreen, kOffScreen);
}

void RecreatePointerImages() {
  if (!PointerExists()) return;
  for (int index = 0; index < 3; ++index) CutImage(gPointerImages[index], index);
  ShowImage(gPointerSprite, gPointerImages[0]);
  ShowImage(gCaretSprite, gPointerImages[0]);
}

void HidePointerSprites() {
  if (!PointerExists()) return;
  gPointerSpritesOn = 0;
  PlaceItem(gPointerSprite, kOffScreen, kOffScreen);
  PlaceItem(gCaretSprite, kOffScreen, kOffScreen);
}

// Making the pointer does nothing once it exists, so showing it after a hide must turn it on.
void ShowPointerSprites() {
  if (PointerExists())
    gPointerSpritesOn = 1;
  else
    CreatePointerSprites(1);
}

void DeletePointerSprites() {
  if (PointerExists()) {
    // Freeing a sprite frees its background copies with it.
    for (int32_t item : {gPointerSprite, gCaretSprite})
      if (item != -1) FreeRenderItem(uint32_t(item));
    for (int32_t image : gPointerImages)
      if (image != -1) FreeImageRecord(uint32_t(image));
  }
  ForgetPointerSprites();
}

void ForgetPointerSprites() {
  gPointerSprite = gCaretSprite = -1;
  gPointerImages[0] = gPointerImages[1] = gPointerImages[2] = -1;
  gPointerSpritesOn = 0;
}

void SetPointerShape(int32_t shape) {
  if (!gPointerSpritesOn || !PointerExists() || shape < 1 || shape > 5) return;
  if (shape <= 3) {
    ShowImage(gPointerSprite, gPointerImages[shape - 1]);
  } else if (shape == 4) {
    gBlinkCounter = kBlinkPasses;
    gBlinkState = 1;
    ShowImage(gCaretSprite, gPointerImages[1]);
  } else {
    ShowImage(gCaretSprite, gPointerImages[0]);  // it no longer blinks
    PlaceItem(gCaretSprite, kOffScreen, kOffScreen);
  }
}

void UpdatePointerSprites() {
  if (gPointerSpritesOn && PointerExists()) {
    if (gCaretSprite != -1 && gRenderItems[uint32_t(gCaretSprite)].spriteImageSlot == gPointerImages[1]) {
      if (++gBlinkCounter > kBlinkPasses) {
        gBlinkCounter = 0;
        gBlinkState = int16_t(1 - gBlinkState);
      }
      if (gBlinkState == 1)
        PlaceItem(gCaretSprite, kOffScreen, kOffScreen);
      else
        PlaceItem(gCaretSprite, gCaretX - 1, gCaretY - 1);
    }
    PlaceItem(gPointerSprite, gMouseX - 1, gMouseY - 1);
  }
}

}  // namespace vx
