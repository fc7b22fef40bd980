// The numbered items that the 2D side and the 3D engine share: the drawables of the frame (sprites
// and the items of 3D objects) with the sprites' own records, images and textures, one growable
// pool of each, the number maps of sprites and images, and the take/free operation of each kind
// with what a free releases. Also image surfaces and grabs into them, and the end-of-frame ageing
// of images and deleted sprites.
// The engine's own records (objects, meshes, lights) are engine3d/object_records.h.
#pragma once
#include <array>
#include <cstdint>

#include "common/maths_types.h"
#include "common/record_pool.h"
#include "surfaces/surface_hooks.h"
#include "surfaces/texture_surface.h"

namespace vx {

struct TextureNameEntry;

enum class RenderItemKind : int32_t { kSprite = 0, kObject = 1 };

// One drawable of the frame: a 3D object owns one, a sprite is one. The list order is the drawing
// order of the sprites and the tie order of the 3D draw list. What only a sprite has is its
// SpriteRecord; what only an object has is in its ObjectRecord (engine3d/object_records.h).
struct RenderItem {
  int32_t next, previous;
  RenderItemKind kind;
  int32_t visible;    // 1 shown
  int32_t colourKey;  // colour-key transparency
  int32_t ownerSlot;  // the SpriteRecord of a sprite, the ObjectRecord of an object
};

// The sprite-only part of a sprite's RenderItem. It is taken and freed with its item, so the used
// list of the sprite records keeps the order of the sprites' items.
struct SpriteRecord {
  int32_t next, previous;
  int32_t itemSlot;  // its RenderItem
  int32_t spriteNumber;
  int32_t inUse;
  int32_t pendingRemoval;  // counted down each end of frame; freed at 0
  int32_t imageSlot;       // ImageRecord slot of the image, -1 none
  int32_t imageNumber;
  int32_t x, y;  // screen position
  int32_t hotSpotX, hotSpotY;
  float scaleX, scaleY;  // 1.0 = the image's own size
  int32_t mirror, flip;
  int32_t lastCollision;
  int32_t savesBackground;   // 1: the frame saves and restores the background under the sprite
  int32_t layer;             // drawing pass 0, 1 or 2
  int32_t ownedImages[2];    // background copies, one per back-buffer page, -1 none
  int32_t savedRects[2][4];  // left, top, right, bottom per page
};

// An image grabbed from the screen or a bitmap; used by sprites and as a texture source.
struct ImageRecord {
  int32_t next, previous;
  int32_t valid;                      // 1 once a surface exists
  int32_t textureSlot;                // TextureRecord made from it, 0 none
  win::IDirectDrawSurface7* surface;  // the image surface table entry of the slot
  int32_t sourceX, sourceY;           // 0
  int32_t width, height;              // source rectangle size
  int32_t imageWidth, imageHeight;
  int32_t madeWidth, madeHeight;  // size the current surface was made with
  int16_t lifeCounter;            // lowered each end of frame while above 0; at 0 a valid image is freed
  int16_t lifeSpare;              // the other half of the counter's word
};

// A texture shared by images and objects; its name entry's use count makes it shared.
struct TextureRecord {
  int32_t next, previous;
  TextureSurface texture;
  TextureNameEntry* nameEntry;  // null none
};

constexpr int kNumberMapSize = 65536;
using NumberMap = std::array<uint32_t, kNumberMapSize>;  // item number -> slot, 0 none

struct SurfaceRecords {
  RecordPool<RenderItem> gRenderItems{2, 4};
  RecordPool<SpriteRecord> gSpriteRecords{2, 4};
  RecordPool<ImageRecord> gImageRecords{16, 12};
  RecordPool<TextureRecord> gTextureRecords{2, 4};

  NumberMap gSpriteSlotById{};  // sprite number -> RenderItem
  NumberMap gImageSlotById{};   // image number -> ImageRecord

  uint8_t gTextureRefreshFlag = 0;  // an image's texture was made again; pending sprites count down
  uint8_t gImageCopiesFreed = 0;    // the sprites' background copies were freed

  // --- Sprite drawing ----------------------------------------------------------------------------
  // The bitmaps (gBitmaps, gBitmapInfo) are the display's (surfaces/display_state.h).
  int32_t gSpritePage = 0;  // back-buffer page whose sprite backgrounds are saved and put back

  // --- Shared textures ---------------------------------------------------------------------------
  TextureNameEntry* gTextureNameList = nullptr;  // first entry, null when empty

  // The folder of the model file being loaded, ending with its separator, or "". Set by the model
  // loader while it loads a model's textures.
  std::string gModelFolder;
};
extern SurfaceRecords gSurfaceRecords;  // the one instance (surfaces/surface_records.cpp)
inline SurfaceRecords& Records() { return gSurfaceRecords; }

// The sprite record of a taken sprite item; null for an object item or a slot not in use.
inline SpriteRecord* SpriteOf(uint32_t itemSlot) {
  SurfaceRecords& r = Records();
  if (!r.gRenderItems.IsTaken(itemSlot)) return nullptr;
  const RenderItem& item = r.gRenderItems.records[itemSlot];
  if (item.kind != RenderItemKind::kSprite || !r.gSpriteRecords.IsTaken(uint32_t(item.ownerSlot))) return nullptr;
  return &r.gSpriteRecords.records[item.ownerSlot];
}

// Calls f(sprite record slot) for every sprite, in item order; f may free the sprite it is given.
template <class F>
void ForEachSprite(F&& f) {
  Records().gSpriteRecords.ForEachUsed(f);
}

bool InitSurfaceRecordPools();
// Shut-down: every texture let go (with force) and the texture-name list emptied.
void ReleaseAllTextureSlots();
// Whatever the images and textures still own released.
void ReleaseSurfaceRecordContents();
// The pools destroyed.
void FreeSurfaceRecordPools();
// Every record, the sprite and image maps and the flags zeroed.
void ClearSurfaceRecordPools();
// Every pool made (when it was not) and chained.
void ChainSurfaceRecordPools();

// Take operations: the new slot, or kNoRecordSlot after kErrOutOfMemory. A sprite item takes its
// SpriteRecord with it (no owned images, hot spot 0, scales 1.0, not in use); the owner of an
// object item is set by the caller.
uint32_t AllocRenderItem(RenderItemKind kind);
uint32_t AllocImageRecord();
uint32_t AllocTextureRecord();
// Free operations: 1, or 0 (and nothing changes) when the slot is not in use. A sprite item frees
// its SpriteRecord and the background copies it owns.
int32_t FreeRenderItem(uint32_t slot);
int32_t FreeImageRecord(uint32_t slot);
int32_t FreeTextureRecord(uint32_t slot);

// Releases the surface and palette of a texture when it holds any.
void ReleaseTextureSurface(uint32_t textureSlot);
int32_t FreeTextureSurfaceOnly(uint32_t textureSlot);

// Image records. CreateImageSurface keeps a surface of the same size; 1 on success, 0 on failure.
int32_t CreateImageSurface(uint32_t imageSlot, int32_t width, int32_t height);
void RefreshImageTexture(uint32_t imageSlot, int32_t flag);
// Copies the rectangle (left, top, right, bottom) of the back buffer, or of bitmap n, into the
// image, then refreshes the image's texture. 1, or 0 when the image surface can't be made (the
// image is then emptied) or the copy fails.
int32_t GrabScreenImage(uint32_t imageSlot, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t flag);
int32_t GrabBitmapImage(uint32_t imageSlot, int32_t bitmap, int32_t left, int32_t top, int32_t right, int32_t bottom,
                        int32_t flag);
// Every image surface released (display teardown), or forgotten without release (display set-up,
// after the surfaces were released elsewhere).
void ReleaseImageSurfaceTable();
void ClearImageSurfaceTable();

// End of frame: images age, deleted sprites count down and go at 0. True when a texture was made
// again since the last call (the flag is cleared).
bool AgeImagesAndSprites();

}  // namespace vx
