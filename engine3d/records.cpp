// The record pools of the engine: making and resetting them, taking and freeing each kind of record
// with what it owns, the object delete, the limb arrays, image surfaces, grabs into them and their
// ageing, and the focus hooks.
//
// Every pointer a record owns is either null or live: arrays are zero-filled when made, and every
// release clears the pointer it released. That lets the reset and the shut-down release whatever a
// run left behind without ever touching garbage or releasing anything twice.
#include "engine3d/records.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "common/host_state.h"
#include "common/runtime_hooks.h"
#include "display/display_state.h"
#include "display/surface_retry.h"
#include "engine3d/animation_list.h"
#include "engine3d/mouse_pointer.h"
#include "engine3d/objects.h"
#include "engine3d/surface_primitives.h"
#include "engine3d/texture_names.h"
#include "models/scene_model.h"
#include "platform/win/heap.h"
#include "sound/sound_system.h"
#include "system/system_state.h"

namespace vx {

RecordPool<RenderItem> gRenderItems(2, 4);
RecordPool<ImageRecord> gImageRecords(16, 12);
RecordPool<ObjectRecord> gObjectRecords(2, 4);
RecordPool<MeshRecord> gMeshRecords(2, 4);
RecordPool<TextureRecord> gTextureRecords(2, 4);
RecordPool<LightRecord> gLightRecords(8, 4);

NumberMap gSpriteSlotById{};
NumberMap gImageSlotById{};
NumberMap gObjectSlotById{};
NumberMap gMeshSlotById{};
NumberMap gLightSlotById{};
NumberMap gGridSlotById{};
NumberMap gSpareSlotMap{};

uint8_t gTextureRefreshFlag = 0;
uint8_t gImageCopiesFreed = 0;
uint8_t gSceneChanged = 0;

namespace {

template <class Record>
void ZeroRecord(Record& r) {
  std::memset(static_cast<void*>(&r), 0, sizeof(Record));
}

template <class F>
void ForEachPool(F&& f) {
  f(gRenderItems);
  f(gImageRecords);
  f(gObjectRecords);
  f(gMeshRecords);
  f(gTextureRecords);
  f(gLightRecords);
}

// What a run may have left in the records: given back before the records are zeroed or freed.
void ReleaseRecordContents() {
  for (int32_t s = 0; s < gObjectRecords.capacity; ++s) ReleaseObjectContents(uint32_t(s));
  for (int32_t s = 0; s < gMeshRecords.capacity; ++s) FreeMeshArrays(gMeshRecords.records[s]);
  ReleaseImageSurfaceTable();
  for (int32_t s = 0; s < gTextureRecords.capacity; ++s) ReleaseTextureSurface(uint32_t(s));
}

}  // namespace

void FreeMeshArrays(MeshRecord& m) {
  win::GlobalFree(m.positions);
  win::GlobalFree(m.normals);
  win::GlobalFree(m.faces);
  win::GlobalFree(m.textureCoords);
  m.positions = m.normals = m.textureCoords = nullptr;
  m.faces = nullptr;
}

bool InitRecordPools() {
  bool made = true;
  ForEachPool([&made](auto& pool) { made = pool.Create() && made; });
  return made;
}

void FreeRecordPools() {
  for (int32_t s = 0; s < gTextureRecords.capacity; ++s) ReleaseTextureSlot(uint32_t(s), 1);
  ClearTextureNameList();
  ReleaseRecordContents();
  ForEachPool([](auto& pool) { pool.Destroy(); });
}

void ClearRecordPools() {
  ReleaseRecordContents();
  ForgetPointerSprites();
  ForEachPool([](auto& pool) { pool.Clear(); });
  for (NumberMap* map : {&gSpriteSlotById, &gImageSlotById, &gObjectSlotById, &gMeshSlotById, &gLightSlotById,
                         &gGridSlotById, &gSpareSlotMap})
    map->fill(0);
  gTextureRefreshFlag = gImageCopiesFreed = gSceneChanged = 0;
  ClearFileHandles();
}

void ChainRecordPools() {
  ForEachPool([](auto& pool) {
    pool.Create();
    pool.Chain();
  });
  AllocMeshRecord();
}

void ResetEngineRecords() {
  ForEachPool([](auto& pool) { pool.Create(); });
  ClearRecordPools();
  ChainRecordPools();
  // Slot 0 means "none" in the number maps, so no numbered item may ever get it.
  AllocImageRecord();
  AllocObjectRecord();
  AllocMeshRecord();
  AllocTextureRecord();
  ClearTextureNameList();
  RegisterObjectCollisionResponse();
  AttachImageContextToDisplay();
  DeleteMultiplayerSession();
  ClearMemblockTable();
}

namespace {

// Zero-fills a freshly taken record, keeping its links.
template <class Record>
uint32_t TakeZeroed(RecordPool<Record>& pool) {
  const uint32_t slot = pool.Take();
  if (slot == kNoRecordSlot) return slot;
  Record& r = pool[slot];
  const int32_t next = r.next, previous = r.previous;
  ZeroRecord(r);
  r.next = next;
  r.previous = previous;
  return slot;
}

}  // namespace

uint32_t AllocRenderItem() {
  const uint32_t slot = TakeZeroed(gRenderItems);
  if (slot == kNoRecordSlot) return slot;
  RenderItem& it = gRenderItems[slot];
  it.ownedImages[0] = it.ownedImages[1] = -1;
  it.scaleX = it.scaleY = 1.0f;
  return slot;
}

uint32_t AllocImageRecord() { return TakeZeroed(gImageRecords); }

uint32_t AllocObjectRecord() {
  const uint32_t slot = TakeZeroed(gObjectRecords);
  if (slot == kNoRecordSlot) return slot;
  auto* limbs = static_cast<ObjectLimbRecord*>(std::calloc(kInitialLimbCapacity, sizeof(ObjectLimbRecord)));
  if (!limbs) {
    gObjectRecords.Free(slot);
    ReportRecordPoolFull();
    return kNoRecordSlot;
  }
  gObjectRecords[slot].limbs = limbs;
  gObjectRecords[slot].limbCapacity = kInitialLimbCapacity;
  return slot;
}

uint32_t AllocMeshRecord() {
  const uint32_t slot = TakeZeroed(gMeshRecords);
  if (slot != kNoRecordSlot) gMeshRecords[slot].inUse = 1;
  return slot;
}

uint32_t AllocTextureRecord() { return TakeZeroed(gTextureRecords); }

uint32_t AllocLightRecord() { return TakeZeroed(gLightRecords); }

int32_t FreeRenderItem(uint32_t slot) {
  if (!gRenderItems.IsTaken(slot)) return 0;
  for (int i = 0; i < 2; ++i) {
    // Image slot 0 is reserved; an item that never took its copies holds 0 or -1 there.
    const int32_t image = gRenderItems[slot].ownedImages[i];
    if (image > 0) FreeImageRecord(uint32_t(image));
    gRenderItems[slot].ownedImages[i] = -1;
  }
  gRenderItems[slot].spriteFlag = 0;
  return gRenderItems.Free(slot) ? 1 : 0;
}

int32_t FreeImageRecord(uint32_t slot) {
  if (!gImageRecords.IsTaken(slot)) return 0;
  ReleaseSurface(gImageRecords[slot].surface);
  // The image gives up its use of the texture made from it (or loaded for it) through the shared
  // release, which frees the texture and its name with the last use. A texture that lives on with
  // other users must no longer name this slot, which the next image taken here would inherit.
  const int32_t texture = gImageRecords[slot].textureSlot;
  gImageRecords[slot].textureSlot = 0;
  if (texture > 0) {
    ReleaseTextureSlot(uint32_t(texture), 0);
    if (gTextureRecords.IsTaken(uint32_t(texture)) &&
        gTextureRecords[uint32_t(texture)].texture.sourceId == int32_t(slot))
      gTextureRecords[uint32_t(texture)].texture.sourceId = 0;
  }
  gImageRecords[slot].valid = 0;
  return gImageRecords.Free(slot) ? 1 : 0;
}

int32_t FreeObjectRecord(uint32_t slot) {
  if (!gObjectRecords.IsTaken(slot)) return 0;
  ReleaseObjectContents(slot);
  return gObjectRecords.Free(slot) ? 1 : 0;
}

int32_t FreeMeshRecord(uint32_t slot) {
  if (!gMeshRecords.IsTaken(slot)) return 0;
  FreeMeshArrays(gMeshRecords[slot]);
  gMeshRecords[slot].inUse = 0;
  return gMeshRecords.Free(slot) ? 1 : 0;
}

int32_t FreeTextureRecord(uint32_t slot) {
  if (!gTextureRecords.IsTaken(slot)) return 0;
  // Normally released beforehand; a record freed with its surface or name still attached would
  // hand them to the next texture taken here.
  ReleaseTextureSurface(slot);
  TextureRecord& t = gTextureRecords[slot];
  if (TextureNameListHolds(t.nameEntry)) DeleteTextureName(t.nameEntry);
  t.nameEntry = nullptr;
  return gTextureRecords.Free(slot) ? 1 : 0;
}

int32_t FreeLightRecord(uint32_t slot) {
  if (!gLightRecords.IsTaken(slot)) return 0;
  DisableDeviceLight(slot);
  return gLightRecords.Free(slot) ? 1 : 0;
}

void ReleaseTextureSurface(uint32_t textureSlot) {
  if (!gTextureRecords.Exists() || textureSlot >= uint32_t(gTextureRecords.capacity)) return;
  gTextureRecords[textureSlot].texture.ReleaseTexture();
}

int32_t FreeTextureSurfaceOnly(uint32_t textureSlot) {
  ReleaseTextureSurface(textureSlot);
  return 1;
}

void GrowLimbArray(uint32_t objectSlot, int32_t limbIndex) {
  if (!gObjectRecords.IsTaken(objectSlot)) return;
  ObjectRecord& o = gObjectRecords[objectSlot];
  int64_t capacity = o.limbCapacity > 0 ? o.limbCapacity : kInitialLimbCapacity / 2;
  if (int64_t(limbIndex) <= int64_t(o.limbCapacity) - 4) return;
  while (int64_t(limbIndex) > capacity - 4) capacity *= 2;
  const uint64_t bytes = uint64_t(capacity) * sizeof(ObjectLimbRecord);
  void* grown = bytes <= gRecordPoolByteLimit ? std::calloc(size_t(capacity), sizeof(ObjectLimbRecord)) : nullptr;
  if (!grown) {
    ReportRecordPoolFull();
    return;
  }
  if (o.limbs) std::memcpy(grown, o.limbs, sizeof(ObjectLimbRecord) * size_t(o.limbCapacity));
  std::free(o.limbs);
  o.limbs = static_cast<ObjectLimbRecord*>(grown);
  o.limbCapacity = int32_t(capacity);
}

void ReleaseObjectContents(uint32_t objectSlot) {
  if (objectSlot >= uint32_t(gObjectRecords.capacity)) return;
  auto object = [objectSlot]() -> ObjectRecord& { return gObjectRecords[objectSlot]; };

  if (object().inStaticWorld) {
    RemoveObjectFromStaticWorld(objectSlot);
    object().inStaticWorld = 0;
  }

  gRenderItems.ForEachUsed([objectSlot](uint32_t item) {
    const RenderItem& it = gRenderItems[item];
    if (it.objectItem != 1 || it.objectSlot < 0 || it.objectSlot >= gObjectRecords.capacity) return;
    ObjectRecord& other = gObjectRecords[uint32_t(it.objectSlot)];
    if (other.gluedObject == int32_t(objectSlot)) other.gluedObject = 0;
  });

  // An instance shares its source's tree; the tree goes with the last object that draws with it.
  if (SceneModel* model = object().model) {
    object().model = nullptr;
    DropModel(model);
  }

  // An instance copies its source's node pointer; only the node's own object removes it, and only
  // while it is still on the list.
  if (AnimationListNode* node = object().animationNode) {
    object().animationNode = nullptr;
    if (AnimatedListHolds(node) && node->objectSlot == objectSlot) RemoveFromAnimatedList(node);
  }

  for (void*& block : object().blendArrays) {
    std::free(block);
    block = nullptr;
  }
  object().blendTrackCount = 0;
  std::free(object().limbMatrices);
  object().limbMatrices = nullptr;
  object().limbMatrixCount = 0;

  for (int32_t i = 0; i < object().limbCapacity && object().limbs; ++i) {
    for (int32_t ObjectLimbRecord::*mesh : {&ObjectLimbRecord::meshSlot, &ObjectLimbRecord::secondMeshSlot}) {
      const int32_t meshSlot = object().limbs[i].*mesh;
      if (meshSlot > 0) FreeMeshRecord(uint32_t(meshSlot));
      object().limbs[i].*mesh = 0;
    }
  }
  std::free(object().limbs);
  object().limbs = nullptr;
  object().limbCapacity = 0;
}

void DeleteObjectRecord(uint32_t objectSlot, int32_t objectNumber) {
  if (gObjectRecords.IsTaken(objectSlot)) {
    ObjectRecord& o = gObjectRecords[objectSlot];
    o.inUse = 0;
    o.inStaticWorld = 0;
    o.boxCollision = 0;
    for (int i = 0; i < 3; ++i) o.boxMin[i] = o.boxMax[i] = o.boxCentre[i] = 0.0f;
    o.boxMode = 0;
    o.boxModeByte = 0;
    // Only the object's own item: a record that never got one holds slot 0, which may be a sprite.
    const int32_t item = o.itemSlot;
    if (item >= 0 && gRenderItems.IsTaken(uint32_t(item)) && gRenderItems[uint32_t(item)].objectItem == 1 &&
        gRenderItems[uint32_t(item)].objectSlot == int32_t(objectSlot))
      FreeRenderItem(uint32_t(item));
    FreeObjectRecord(objectSlot);
  }
  if (objectNumber >= 0 && objectNumber < kNumberMapSize) gObjectSlotById[size_t(objectNumber)] = 0;
}

int32_t CreateImageSurface(uint32_t imageSlot, int32_t width, int32_t height) {
  if (!gImageRecords.IsTaken(imageSlot)) return 0;
  ImageRecord& r = gImageRecords[imageSlot];
  if (!(r.surface && r.madeWidth == width && r.madeHeight == height)) {
    ReleaseSurface(r.surface);
    win::IDirectDrawSurface7* made =
        width >= 1 && height >= 1 ? gSurfaceHooks.makeImageSurface(width, height) : nullptr;
    if (!made) {
      r.valid = 0;
      r.madeWidth = r.madeHeight = 0;
      return 0;
    }
    gImageRecords[imageSlot].surface = made;
    gImageRecords[imageSlot].madeWidth = width;
    gImageRecords[imageSlot].madeHeight = height;
  }
  ImageRecord& image = gImageRecords[imageSlot];
  image.sourceX = image.sourceY = 0;
  image.width = image.imageWidth = width;
  image.height = image.imageHeight = height;
  image.valid = 1;
  return 1;
}

void RefreshImageTexture(uint32_t imageSlot, int32_t flag) {
  if (gImageRecords.IsTaken(imageSlot) && gImageRecords[imageSlot].textureSlot > 0)
    UpdateImageTexture(imageSlot, 1, flag);
  gTextureRefreshFlag = 1;
}

namespace {

int32_t GrabFromSurface(uint32_t imageSlot, win::IDirectDrawSurface7* source, int32_t left, int32_t top,
                        int32_t right, int32_t bottom, int32_t flag) {
  if (!gImageRecords.IsTaken(imageSlot)) return 0;
  const int64_t width = int64_t(right) - left, height = int64_t(bottom) - top;
  const bool made = source && width <= INT32_MAX && height <= INT32_MAX &&
                    CreateImageSurface(imageSlot, int32_t(width), int32_t(height)) == 1;
  if (!made) {
    ImageRecord& r = gImageRecords[imageSlot];
    ReleaseSurface(r.surface);
    r.width = r.height = r.imageWidth = r.imageHeight = 0;
    r.madeWidth = r.madeHeight = 0;
    r.valid = 0;
    return 0;
  }
  win::IDirectDrawSurface7* image = gImageRecords[imageSlot].surface;
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
    if (gFullScreen == 1) PauseProgram();
    return false;
  };
  win::HRESULT result = win::DD_OK;
  if (area.left != left || area.top != top || area.right != right || area.bottom != bottom) {
    win::DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    result = RetryUntilDrawn([&] { return image->Blt(nullptr, nullptr, nullptr, win::DDBLT_COLORFILL, &fx); },
                             restoreOnce);
  }
  if (win::Succeeded(result) && area.right > area.left && area.bottom > area.top)
    result = RetryUntilDrawn(
        [&] {
          return image->BltFast(win::DWORD(area.left - left), win::DWORD(area.top - top), source, &area,
                                win::DDBLTFAST_NOCOLORKEY);
        },
        restoreOnce);
  if (win::Failed(result)) {
    gImageRecords[imageSlot].valid = 0;  // its pixels were never copied
    return 0;
  }
  RefreshImageTexture(imageSlot, flag);
  return 1;
}

}  // namespace

int32_t GrabScreenImage(uint32_t imageSlot, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t flag) {
  return GrabFromSurface(imageSlot, gBackBuffer, left, top, right, bottom, flag);
}

int32_t GrabBitmapImage(uint32_t imageSlot, int32_t bitmap, int32_t left, int32_t top, int32_t right, int32_t bottom,
                        int32_t flag) {
  win::IDirectDrawSurface7* source = bitmap >= 0 && bitmap < kBitmapSlots ? gBitmaps[size_t(bitmap)] : nullptr;
  return GrabFromSurface(imageSlot, source, left, top, right, bottom, flag);
}

void ReleaseImageSurfaceTable() {
  for (int32_t s = 0; s < gImageRecords.capacity; ++s) ReleaseSurface(gImageRecords.records[s].surface);
}

void ClearImageSurfaceTable() {
  for (int32_t s = 0; s < gImageRecords.capacity; ++s) gImageRecords.records[s].surface = nullptr;
}

void AgeImagesAndTextures() {
  gImageRecords.ForEachUsed([](uint32_t slot) {
    ImageRecord& r = gImageRecords[slot];
    if (r.lifeCounter <= 0) return;
    --r.lifeCounter;
    // An image whose grab failed has no valid pixels but still holds its record.
    if (r.lifeCounter == 0) FreeImageRecord(slot);
  });

  // Deleted sprites are counted down every frame, so their saved backgrounds go even in a
  // program that never refreshes a texture.
  const bool refresh = gTextureRefreshFlag != 0;
  gTextureRefreshFlag = 0;
  gRenderItems.ForEachUsed([refresh](uint32_t slot) {
    RenderItem& it = gRenderItems[slot];
    if (it.pendingRemoval >= 1) {
      if (--it.pendingRemoval > 0) return;
      const int32_t number = it.spriteNumber;
      if (number > 0 && number < kNumberMapSize && gSpriteSlotById[size_t(number)] == slot)
        gSpriteSlotById[size_t(number)] = 0;
      it.spriteNumber = 0;
      FreeRenderItem(slot);
      return;
    }
    if (!refresh || !gImageCopiesFreed || it.objectItem != 1 || it.objectSlot < 0) return;
    const uint32_t objectSlot = uint32_t(it.objectSlot);
    if (!gObjectRecords.IsTaken(objectSlot)) return;
    for (int32_t limb = 0; limb < gObjectRecords[objectSlot].limbCapacity; ++limb) {
      const ObjectLimbRecord& l = gObjectRecords[objectSlot].limbs[limb];
      if (l.textureSlot <= 0) continue;
      const uint32_t texture = GetSharedImageTexture(uint32_t(l.imageSlot), 1);
      gObjectRecords[objectSlot].limbs[limb].textureSlot = int32_t(texture);
    }
  });
  gImageCopiesFreed = 0;
}

void PauseMediaOnDeactivate() {
  PauseAllMusic();
  PauseAllSounds();
}

void ResumeMediaOnActivate() {
  ResumeAllMusic();
  ResumeAllSounds();
  gSurfaceHooks.evictManagedTextures();
}

}  // namespace vx
