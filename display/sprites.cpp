// Sprites: making them, their size as drawn, and the pixel-exact contact test (sprites.h).
#include "display/sprites.h"

#include <algorithm>
#include <optional>

#include "common/value_slot.h"
#include "platform/ddraw/pixel_format.h"

namespace vx {

namespace {

bool ImageHasPixels(int32_t slot) {
  return slot >= 1 && Records().gImageRecords.IsTaken(uint32_t(slot)) &&
         Records().gImageRecords[uint32_t(slot)].valid == 1 && Records().gImageRecords[uint32_t(slot)].surface;
}

// A locked image surface read pixel by pixel: exactly each pixel's bytes, inside the surface.
class LockedPixels {
 public:
  explicit LockedPixels(win::IDirectDrawSurface7* surface) : surface_(surface) {
    desc_.dwSize = sizeof desc_;
    if (win::Failed(surface->Lock(nullptr, &desc_, win::DDLOCK_WAIT | win::DDLOCK_READONLY, nullptr))) return;
    locked_ = true;
    const win::DDPIXELFORMAT& f = desc_.ddpfPixelFormat;
    bytes_ = (f.dwRGBBitCount + 7) / 8;
    // A pixel shows when it is not black; bits outside the colour channels (alpha, padding) do not count.
    solid_ = (f.dwFlags & win::DDPF_RGB) ? f.dwRBitMask | f.dwGBitMask | f.dwBBitMask
                                         : (f.dwRGBBitCount >= 32 ? 0xFFFFFFFFu : (1u << f.dwRGBBitCount) - 1u);
  }
  ~LockedPixels() {
    if (locked_) surface_->Unlock(nullptr);
  }
  LockedPixels(const LockedPixels&) = delete;
  LockedPixels& operator=(const LockedPixels&) = delete;

  bool Usable() const { return locked_ && bytes_ >= 1 && bytes_ <= 4; }
  bool Shows(int32_t x, int32_t y) const {
    if (x < 0 || y < 0 || uint32_t(x) >= desc_.dwWidth || uint32_t(y) >= desc_.dwHeight) return false;
    const auto* at =
        static_cast<const uint8_t*>(desc_.lpSurface) + size_t(y) * size_t(desc_.lPitch) + size_t(x) * bytes_;
    return (win::LoadPixel(at, bytes_) & solid_) != 0;
  }

 private:
  win::IDirectDrawSurface7* surface_;
  win::DDSURFACEDESC2 desc_{};
  bool locked_ = false;
  uint32_t bytes_ = 0;
  uint32_t solid_ = 0;
};

// The image's column (or row) under a place of its scaled rectangle.
int32_t SourceIndex(int32_t at, int32_t rectangleSize, int32_t imageSize, int32_t reversed) {
  const float scale = float(imageSize) / float(rectangleSize);
  const int32_t index = std::clamp(TruncateToInt32(double(float(at) * scale)), 0, imageSize - 1);
  return reversed == 1 ? imageSize - 1 - index : index;
}

// The sprite's rectangle on the screen: its position less its hot spot, at its drawn size.
win::RECT ScreenBox(const SpriteRecord& sprite) {
  const int32_t left = WrapSub(sprite.x, sprite.hotSpotX), top = WrapSub(sprite.y, sprite.hotSpotY);
  return win::RECT{left, top, WrapAdd(left, SpriteWidth(sprite)), WrapAdd(top, SpriteHeight(sprite))};
}

}  // namespace

bool IsSpriteNumber(int32_t n) { return n >= 1 && n < kNumberMapSize; }

uint32_t SpriteSlotById(int32_t n) {
  if (!IsSpriteNumber(n)) return 0;
  const uint32_t slot = Records().gSpriteSlotById[size_t(n)];
  return SpriteOf(slot) ? slot : 0;
}

uint32_t TakeSprite(int32_t n) {
  if (const uint32_t slot = SpriteSlotById(n); slot != 0) {
    // Placed again before its background was put back: the removal is called off.
    SpriteRecord& sprite = *SpriteOf(slot);
    sprite.pendingRemoval = 0;
    sprite.inUse = 1;
    return slot;
  }
  uint32_t slot = AllocRenderItem(RenderItemKind::kSprite);
  if (slot == 0) {
    // Slot 0 means "no sprite" in the number map: that record is kept aside, hidden and without an
    // image, and the next one taken.
    SpriteOf(0)->imageSlot = -1;
    slot = AllocRenderItem(RenderItemKind::kSprite);
  }
  if (slot == kNoRecordSlot) return slot;
  RenderItem& item = Records().gRenderItems[slot];
  item.colourKey = 1;
  item.visible = 1;
  SpriteRecord& sprite = *SpriteOf(slot);
  sprite.inUse = 1;
  sprite.imageSlot = -1;
  sprite.savesBackground = 1;
  sprite.spriteNumber = n;
  Records().gSpriteSlotById[size_t(n)] = slot;
  return slot;
}

int32_t SpriteWidth(const SpriteRecord& sprite) {
  if (!ImageHasPixels(sprite.imageSlot)) return 0;
  return TruncateToInt32(double(Records().gImageRecords[uint32_t(sprite.imageSlot)].imageWidth) *
                         double(sprite.scaleX));
}

int32_t SpriteHeight(const SpriteRecord& sprite) {
  if (!ImageHasPixels(sprite.imageSlot)) return 0;
  return TruncateToInt32(double(Records().gImageRecords[uint32_t(sprite.imageSlot)].imageHeight) *
                         double(sprite.scaleY));
}

int32_t ImagePixelsOverlap(uint32_t imageA, const win::RECT& a, uint32_t imageB, const win::RECT& b, int32_t flipA,
                           int32_t mirrorA, int32_t flipB, int32_t mirrorB) {
  if (!ImageHasPixels(int32_t(imageA)) || !ImageHasPixels(int32_t(imageB))) return 0;
  const int64_t widthA = int64_t(a.right) - a.left, heightA = int64_t(a.bottom) - a.top;
  const int64_t widthB = int64_t(b.right) - b.left, heightB = int64_t(b.bottom) - b.top;
  if (widthA <= 0 || heightA <= 0 || widthB <= 0 || heightB <= 0 || widthA > INT32_MAX || heightA > INT32_MAX ||
      widthB > INT32_MAX || heightB > INT32_MAX)
    return 0;
  const int32_t left = std::max(a.left, b.left), right = std::min(a.right, b.right);
  const int32_t top = std::max(a.top, b.top), bottom = std::min(a.bottom, b.bottom);
  if (right <= left || bottom <= top) return 0;

  const ImageRecord& first = Records().gImageRecords[imageA];
  const ImageRecord& second = Records().gImageRecords[imageB];
  // Images cut from one surface (the pointer's) lock it once.
  LockedPixels pixelsA(first.surface);
  std::optional<LockedPixels> ownB;
  if (second.surface != first.surface) ownB.emplace(second.surface);
  const LockedPixels& pixelsB = ownB ? *ownB : pixelsA;
  if (!pixelsA.Usable() || !pixelsB.Usable()) return 0;

  for (int32_t y = top; y < bottom; ++y) {
    const int32_t rowA = first.sourceY + SourceIndex(y - a.top, int32_t(heightA), first.imageHeight, flipA);
    const int32_t rowB = second.sourceY + SourceIndex(y - b.top, int32_t(heightB), second.imageHeight, flipB);
    for (int32_t x = left; x < right; ++x) {
      if (!pixelsA.Shows(first.sourceX + SourceIndex(x - a.left, int32_t(widthA), first.imageWidth, mirrorA), rowA))
        continue;
      if (pixelsB.Shows(second.sourceX + SourceIndex(x - b.left, int32_t(widthB), second.imageWidth, mirrorB), rowB))
        return 1;
    }
  }
  return 0;
}

int32_t SpritesOverlap(uint32_t a, uint32_t b) {
  const SpriteRecord* spriteA = SpriteOf(a);
  const SpriteRecord* spriteB = SpriteOf(b);
  if (!spriteA || !spriteB) return 0;
  const SpriteRecord& first = *spriteA;
  const SpriteRecord& second = *spriteB;
  if (first.inUse != 1 || second.inUse != 1 || first.imageSlot < 1 || second.imageSlot < 1) return 0;
  const win::RECT boxA = ScreenBox(first), boxB = ScreenBox(second);
  if (boxA.left > boxB.right || boxA.top > boxB.bottom || boxA.right <= boxB.left || boxA.bottom <= boxB.top) return 0;
  return ImagePixelsOverlap(uint32_t(first.imageSlot), boxA, uint32_t(second.imageSlot), boxB, first.flip, first.mirror,
                            second.flip, second.mirror);
}

int32_t SpriteContact(uint32_t a, int32_t b, bool* noSprite) {
  *noSprite = false;
  if (!IsSpriteNumber(b)) {
    int32_t found = -1;
    ForEachSprite([&](uint32_t slot) {
      const SpriteRecord& sprite = Records().gSpriteRecords[slot];
      if (found >= 0 || uint32_t(sprite.itemSlot) == a || !SpritesOverlap(a, uint32_t(sprite.itemSlot))) return;
      found = std::max(sprite.spriteNumber, 0);
    });
    return std::max(found, 0);
  }
  const uint32_t other = SpriteSlotById(b);
  if (other == 0) {
    *noSprite = true;
    return 0;
  }
  return SpriteOf(other)->spriteNumber >= 1 ? SpritesOverlap(a, other) : 0;
}

}  // namespace vx
