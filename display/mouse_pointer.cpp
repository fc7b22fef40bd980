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

bool PointerExists() {
  return Pointer().gPointerSprite != -1 && Records().gRenderItems.IsTaken(uint32_t(Pointer().gPointerSprite));
}

// The sprite record of a pointer item, null for none.
SpriteRecord* PointerSprite(int32_t item) { return item == -1 ? nullptr : SpriteOf(uint32_t(item)); }

void PlaceItem(int32_t item, int32_t x, int32_t y) {
  if (SpriteRecord* sprite = PointerSprite(item)) {
    sprite->x = x;
    sprite->y = y;
  }
}

void ShowImage(int32_t item, int32_t image) {
  if (SpriteRecord* sprite = PointerSprite(item)) sprite->imageSlot = image;
}

// The image at its size on the pointer bitmap, with a reference of its own to the bitmap.
void CutImage(int32_t slot, int32_t index) {
  if (slot == -1 || !Records().gImageRecords.IsTaken(uint32_t(slot))) return;
  ImageRecord& image = Records().gImageRecords[uint32_t(slot)];
  ReleaseSurface(image.surface);
  const int32_t next = image.next, previous = image.previous;
  image = ImageRecord{};
  image.next = next;
  image.previous = previous;
  if (!Display().gPointerImageSurface) return;
  Display().gPointerImageSurface->AddRef();
  image.surface = Display().gPointerImageSurface;
  image.width = image.imageWidth = kImageSizes[index][0];
  image.height = image.imageHeight = kImageSizes[index][1];
  image.madeWidth = int32_t(Display().gPointerImageSurface->Width());
  image.madeHeight = int32_t(Display().gPointerImageSurface->Height());
  image.valid = 1;
}

int32_t TakePointerItem(int32_t savesBackground, int32_t x, int32_t y) {
  const uint32_t slot = AllocRenderItem(RenderItemKind::kSprite);
  if (slot == kNoRecordSlot) return -1;
  RenderItem& item = Records().gRenderItems[slot];
  item.visible = 1;
  item.colourKey = 1;
  SpriteRecord& sprite = *SpriteOf(slot);
  sprite.imageSlot = gPointerImages[0];
  sprite.savesBackground = savesBackground;
  sprite.layer = kPointerLayer;
  sprite.x = x;
  sprite.y = y;
  return int32_t(slot);
}

}  // namespace

int32_t LoadPointerBitmap() {
  ReleaseAndClear(Display().gPointerImageSurface);
  Display().gPointerImageSurface =
      CreateSurfaceFromBitmapResource(Display().gDirectDraw, nullptr, kPointerBitmapResource, 0, 0, 1);
  if (!Display().gPointerImageSurface) return 0;
  const win::DWORD black = BlackColourKey();
  const win::DDCOLORKEY key{black, black};
  Display().gPointerImageSurface->SetColorKey(win::DDCKEY_SRCBLT, &key);
  return 1;
}

void CreatePointerSprites(int32_t savesBackground) {
  if (PointerExists()) return;
  Pointer().gPointerSpritesOn = 1;
  for (int index = 0; index < 3; ++index) {
    const uint32_t slot = AllocImageRecord();
    gPointerImages[index] = slot == kNoRecordSlot ? -1 : int32_t(slot);
    CutImage(gPointerImages[index], index);
  }
  Pointer().gPointerSprite = TakePointerItem(savesBackground, 320, 100);
  Pointer().gCaretSprite = TakePointerItem(savesBackground, kOffScreen, kOffScreen);
}

void RecreatePointerImages() {
  if (!PointerExists()) return;
  for (int index = 0; index < 3; ++index) CutImage(gPointerImages[index], index);
  ShowImage(Pointer().gPointerSprite, gPointerImages[0]);
  ShowImage(Pointer().gCaretSprite, gPointerImages[0]);
}

void HidePointerSprites() {
  if (!PointerExists()) return;
  Pointer().gPointerSpritesOn = 0;
  PlaceItem(Pointer().gPointerSprite, kOffScreen, kOffScreen);
  PlaceItem(Pointer().gCaretSprite, kOffScreen, kOffScreen);
}

// Making the pointer does nothing once it exists, so showing it after a hide must turn it on.
void ShowPointerSprites() {
  if (PointerExists())
    Pointer().gPointerSpritesOn = 1;
  else
    CreatePointerSprites(1);
}

void DeletePointerSprites() {
  if (PointerExists()) {
    // Freeing a sprite frees its background copies with it.
    for (int32_t item : {Pointer().gPointerSprite, Pointer().gCaretSprite})
      if (item != -1) FreeRenderItem(uint32_t(item));
    for (int32_t image : gPointerImages)
      if (image != -1) FreeImageRecord(uint32_t(image));
  }
  ForgetPointerSprites();
}

void ForgetPointerSprites() {
  Pointer().gPointerSprite = Pointer().gCaretSprite = -1;
  gPointerImages[0] = gPointerImages[1] = gPointerImages[2] = -1;
  Pointer().gPointerSpritesOn = 0;
}

void SetPointerShape(int32_t shape) {
  if (!Pointer().gPointerSpritesOn || !PointerExists() || shape < 1 || shape > 5) return;
  if (shape <= 3) {
    ShowImage(Pointer().gPointerSprite, gPointerImages[shape - 1]);
  } else if (shape == 4) {
    gBlinkCounter = kBlinkPasses;
    gBlinkState = 1;
    ShowImage(Pointer().gCaretSprite, gPointerImages[1]);
  } else {
    ShowImage(Pointer().gCaretSprite, gPointerImages[0]);  // it no longer blinks
    PlaceItem(Pointer().gCaretSprite, kOffScreen, kOffScreen);
  }
}

void UpdatePointerSprites() {
  if (Pointer().gPointerSpritesOn && PointerExists()) {
    const SpriteRecord* caret = PointerSprite(Pointer().gCaretSprite);
    if (caret && caret->imageSlot == gPointerImages[1]) {
      if (++gBlinkCounter > kBlinkPasses) {
        gBlinkCounter = 0;
        gBlinkState = int16_t(1 - gBlinkState);
      }
      if (gBlinkState == 1)
        PlaceItem(Pointer().gCaretSprite, kOffScreen, kOffScreen);
      else
        PlaceItem(Pointer().gCaretSprite, Pointer().gCaretX - 1, Pointer().gCaretY - 1);
    }
    PlaceItem(Pointer().gPointerSprite, Input().gMouseX - 1, Input().gMouseY - 1);
  }
}

}  // namespace vx
