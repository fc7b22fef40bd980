// The shared record pools: making and resetting them, taking and freeing drawables, images and
// textures with what they own, image surfaces, grabs into them and their ageing, and the countdown
// of deleted sprites.
//
// Every pointer a record owns is either null or live: arrays are zero-filled when made, and every
// release clears the pointer it released. That lets the reset and the shut-down release whatever a
// run left behind without ever touching garbage or releasing anything twice.
#include "surfaces/surface_records.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "common/runtime_hooks.h"
#include "surfaces/display_state.h"
#include "surfaces/engine_textures.h"
#include "surfaces/surface_retry.h"
#include "surfaces/texture_names.h"

namespace vx {

SurfaceRecords gSurfaceRecords;

namespace {

template <class F>
void ForEachPool(F&& f) {
  f(Records().gRenderItems);
  f(Records().gSpriteRecords);
  f(Records().gImageRecords);
  f(Records().gTextureRecords);
}

}  // namespace

bool InitSurfaceRecordPools() {
  bool made = true;
  ForEachPool([&made](auto& pool) { made = pool.Create() && made; });
  return made;
}

void ReleaseAllTextureSlots() {
  for (int32_t s = 0; s < Records().gTextureRecords.capacity; ++s) ReleaseTextureSlot(uint32_t(s), 1);
  ClearTextureNameList();
}

void ReleaseSurfaceRecordContents() {
  ReleaseImageSurfaceTable();
  for (int32_t s = 0; s < Records().gTextureRecords.capacity; ++s) ReleaseTextureSurface(uint32_t(s));
}

void FreeSurfaceRecordPools() {
  ForEachPool([](auto& pool) { pool.Destroy(); });
}

void ClearSurfaceRecordPools() {
  ForEachPool([](auto& pool) { pool.Clear(); });
  Records().gSpriteSlotById.fill(0);
  Records().gImageSlotById.fill(0);
  Records().gTextureRefreshFlag = Records().gImageCopiesFreed = 0;
}

void ChainSurfaceRecordPools() {
  ForEachPool([](auto& pool) {
    pool.Create();
    pool.Chain();
  });
}

uint32_t AllocRenderItem(RenderItemKind kind) {
  const uint32_t slot = Records().gRenderItems.TakeZeroed();
  if (slot == kNoRecordSlot) return slot;
  Records().gRenderItems[slot].kind = kind;
  if (kind != RenderItemKind::kSprite) return slot;
  const uint32_t owner = Records().gSpriteRecords.TakeZeroed();
  if (owner == kNoRecordSlot) {
    Records().gRenderItems.Free(slot);
    return kNoRecordSlot;
  }
  SpriteRecord& sprite = Records().gSpriteRecords[owner];
  sprite.itemSlot = int32_t(slot);
  sprite.ownedImages[0] = sprite.ownedImages[1] = -1;
  sprite.scaleX = sprite.scaleY = 1.0f;
  Records().gRenderItems[slot].ownerSlot = int32_t(owner);
  return slot;
}

uint32_t AllocImageRecord() { return Records().gImageRecords.TakeZeroed(); }

uint32_t AllocTextureRecord() { return Records().gTextureRecords.TakeZeroed(); }

int32_t FreeRenderItem(uint32_t slot) {
  if (!Records().gRenderItems.IsTaken(slot)) return 0;
  if (SpriteRecord* sprite = SpriteOf(slot)) {
    for (int32_t& image : sprite->ownedImages) {
      // Image slot 0 is reserved; a sprite that never took its copies holds 0 or -1 there.
      if (image > 0) FreeImageRecord(uint32_t(image));
      image = -1;
    }
    sprite->savesBackground = 0;
    Records().gSpriteRecords.Free(uint32_t(Records().gRenderItems[slot].ownerSlot));
  }
  return Records().gRenderItems.Free(slot) ? 1 : 0;
}

int32_t FreeImageRecord(uint32_t slot) {
  if (!Records().gImageRecords.IsTaken(slot)) return 0;
  ReleaseSurface(Records().gImageRecords[slot].surface);
  // The image gives up its use of the texture made from it (or loaded for it) through the shared
  // release, which frees the texture and its name with the last use. A texture that lives on with
  // other users must no longer name this slot, which the next image taken here would inherit.
  const int32_t texture = Records().gImageRecords[slot].textureSlot;
  Records().gImageRecords[slot].textureSlot = 0;
  if (texture > 0) {
    ReleaseTextureSlot(uint32_t(texture), 0);
    if (Records().gTextureRecords.IsTaken(uint32_t(texture)) &&
        Records().gTextureRecords[uint32_t(texture)].texture.sourceId == int32_t(slot))
      Records().gTextureRecords[uint32_t(texture)].texture.sourceId = 0;
  }
  Records().gImageRecords[slot].valid = 0;
  return Records().gImageRecords.Free(slot) ? 1 : 0;
}

int32_t FreeTextureRecord(uint32_t slot) {
  if (!Records().gTextureRecords.IsTaken(slot)) return 0;
  // Normally released beforehand; a record freed with its surface or name still attached would
  // hand them to the next texture taken here.
  ReleaseTextureSurface(slot);
  TextureRecord& t = Records().gTextureRecords[slot];
  if (TextureNameListHolds(t.nameEntry)) DeleteTextureName(t.nameEntry);
  t.nameEntry = nullptr;
  return Records().gTextureRecords.Free(slot) ? 1 : 0;
}

void ReleaseTextureSurface(uint32_t textureSlot) {
  if (!Records().gTextureRecords.Exists() || textureSlot >= uint32_t(Records().gTextureRecords.capacity)) return;
  Records().gTextureRecords[textureSlot].texture.ReleaseTexture();
}

int32_t FreeTextureSurfaceOnly(uint32_t textureSlot) {
  ReleaseTextureSurface(textureSlot);
  return 1;
}

int32_t CreateImageSurface(uint32_t imageSlot, int32_t width, int32_t height) {
  if (!Records().gImageRecords.IsTaken(imageSlot)) return 0;
  ImageRecord& r = Records().gImageRecords[imageSlot];
  if (!(r.surface && r.madeWidth == width && r.madeHeight == height)) {
    ReleaseSurface(r.surface);
    win::IDirectDrawSurface7* made =
        width >= 1 && height >= 1 ? gSurfaceHooks.makeImageSurface(width, height) : nullptr;
    if (!made) {
      r.valid = 0;
      r.madeWidth = r.madeHeight = 0;
      return 0;
    }
    Records().gImageRecords[imageSlot].surface = made;
    Records().gImageRecords[imageSlot].madeWidth = width;
    Records().gImageRecords[imageSlot].madeHeight = height;
  }
  ImageRecord& image = Records().gImageRecords[imageSlot];
  image.sourceX = image.sourceY = 0;
  image.width = image.imageWidth = width;
  image.height = image.imageHeight = height;
  image.valid = 1;
  return 1;
}

void RefreshImageTexture(uint32_t imageSlot, int32_t flag) {
  if (Records().gImageRecords.IsTaken(imageSlot) && Records().gImageRecords[imageSlot].textureSlot > 0)
    UpdateImageTexture(imageSlot, 1, flag);
  Records().gTextureRefreshFlag = 1;
}

namespace {

int32_t GrabFromSurface(uint32_t imageSlot, win::IDirectDrawSurface7* source, int32_t left, int32_t top, int32_t right,
                        int32_t bottom, int32_t flag) {
  if (!Records().gImageRecords.IsTaken(imageSlot)) return 0;
  const int64_t width = int64_t(right) - left, height = int64_t(bottom) - top;
  const bool made = source && width <= INT32_MAX && height <= INT32_MAX &&
                    CreateImageSurface(imageSlot, int32_t(width), int32_t(height)) == 1;
  if (!made) {
    ImageRecord& r = Records().gImageRecords[imageSlot];
    ReleaseSurface(r.surface);
    r.width = r.height = r.imageWidth = r.imageHeight = 0;
    r.madeWidth = r.madeHeight = 0;
    r.valid = 0;
    return 0;
  }
  win::IDirectDrawSurface7* image = Records().gImageRecords[imageSlot].surface;
  // Only the part of the rectangle on the source is copied; the rest of the image is black, not
  // what an earlier grab of the same size left there.
  const win::RECT area{std::max(left, 0), std::max(top, 0), std::min(right, int32_t(source->Width())),
                       std::min(bottom, int32_t(source->Height()))};
  bool restored = false;
  auto restoreOnce = [&] {
    // Only the image surface is restored, and only once; a grab pauses the program only in full
    // screen, where a lost surface means the display went away.
    if (std::exchange(restored, true)) return false;
    if (win::Succeeded(image->Restore())) return true;
    if (Display().gFullScreen == 1) PauseProgram();
    return false;
  };
  win::HRESULT result = win::DD_OK;
  if (area.left != left || area.top != top || area.right != right || area.bottom != bottom) {
    win::DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    result =
        RetryUntilDrawn([&] { return image->Blt(nullptr, nullptr, nullptr, win::DDBLT_COLORFILL, &fx); }, restoreOnce);
  }
  if (win::Succeeded(result) && area.right > area.left && area.bottom > area.top)
    result = RetryUntilDrawn(
        [&] {
          return image->BltFast(win::DWORD(area.left - left), win::DWORD(area.top - top), source, &area,
                                win::DDBLTFAST_NOCOLORKEY);
        },
        restoreOnce);
  if (win::Failed(result)) {
    Records().gImageRecords[imageSlot].valid = 0;  // its pixels were never copied
    return 0;
  }
  RefreshImageTexture(imageSlot, flag);
  return 1;
}

}  // namespace

int32_t GrabScreenImage(uint32_t imageSlot, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t flag) {
  return GrabFromSurface(imageSlot, Display().gBackBuffer, left, top, right, bottom, flag);
}

int32_t GrabBitmapImage(uint32_t imageSlot, int32_t bitmap, int32_t left, int32_t top, int32_t right, int32_t bottom,
                        int32_t flag) {
  win::IDirectDrawSurface7* source =
      bitmap >= 0 && bitmap < kBitmapSlots ? Display().gBitmaps[size_t(bitmap)] : nullptr;
  return GrabFromSurface(imageSlot, source, left, top, right, bottom, flag);
}

void ReleaseImageSurfaceTable() {
  for (int32_t s = 0; s < Records().gImageRecords.capacity; ++s)
    ReleaseSurface(Records().gImageRecords.records[s].surface);
}

void ClearImageSurfaceTable() {
  for (int32_t s = 0; s < Records().gImageRecords.capacity; ++s) Records().gImageRecords.records[s].surface = nullptr;
}

bool AgeImagesAndSprites() {
  Records().gImageRecords.ForEachUsed([](uint32_t slot) {
    ImageRecord& r = Records().gImageRecords[slot];
    if (r.lifeCounter <= 0) return;
    --r.lifeCounter;
    // An image whose grab failed has no valid pixels but still holds its record.
    if (r.lifeCounter == 0) FreeImageRecord(slot);
  });

  // Deleted sprites are counted down every frame, so their saved backgrounds go even in a
  // program that never refreshes a texture.
  const bool refresh = Records().gTextureRefreshFlag != 0;
  Records().gTextureRefreshFlag = 0;
  ForEachSprite([](uint32_t slot) {
    SpriteRecord& sprite = Records().gSpriteRecords[slot];
    if (sprite.pendingRemoval < 1 || --sprite.pendingRemoval > 0) return;
    const uint32_t item = uint32_t(sprite.itemSlot);
    const int32_t number = sprite.spriteNumber;
    if (number > 0 && number < kNumberMapSize && Records().gSpriteSlotById[size_t(number)] == item)
      Records().gSpriteSlotById[size_t(number)] = 0;
    sprite.spriteNumber = 0;
    FreeRenderItem(item);
  });
  return refresh;
}

}  // namespace vx
