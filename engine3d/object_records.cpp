// The engine's record pools: making and resetting them with the shared ones, taking and freeing
// objects, meshes and lights with what they own, the object delete, the limb arrays, the ageing
// of images and textures at the end of the frame, and the focus hooks.
//
// Every pointer a record owns is either null or live: arrays are zero-filled when made, and every
// release clears the pointer it released. That lets the reset and the shut-down release whatever a
// run left behind without ever touching garbage or releasing anything twice.
#include "engine3d/object_records.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/runtime_hooks.h"
#include "display/display.h"
#include "display/memblocks.h"
#include "display/mouse_pointer.h"
#include "engine3d/animation_list.h"
#include "engine3d/object_support.h"
#include "engine3d/objects.h"
#include "engine3d/record_services.h"
#include "models/scene_model.h"
#include "platform/win/heap.h"
#include "sound/sound_system.h"
#include "surfaces/engine_textures.h"
#include "surfaces/texture_names.h"
#include "system/system_state.h"

namespace vx {

EngineState gEngineState;

namespace {

template <class F>
void ForEachPool(F&& f) {
  f(Engine().gObjectRecords);
  f(Engine().gMeshRecords);
  f(Engine().gLightRecords);
}

// What a run may have left in the records: given back before the records are zeroed or freed.
void ReleaseRecordContents() {
  for (int32_t s = 0; s < Engine().gObjectRecords.capacity; ++s) ReleaseObjectContents(uint32_t(s));
  for (int32_t s = 0; s < Engine().gMeshRecords.capacity; ++s) FreeMeshArrays(Engine().gMeshRecords.records[s]);
  ReleaseSurfaceRecordContents();
}

// The objects glued to one that goes are let go where they hang.
void UnglueHolders(uint32_t objectSlot) {
  Records().gRenderItems.ForEachUsed([objectSlot](uint32_t item) {
    ObjectRecord* other = ObjectOfItem(item);
    if (other && other->gluedObject == int32_t(objectSlot)) other->gluedObject = other->gluedLimb = 0;
  });
  Engine().gObjectRecords[objectSlot].gluedHolders = 0;
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
  bool made = InitSurfaceRecordPools();
  ForEachPool([&made](auto& pool) { made = pool.Create() && made; });
  return made;
}

void FreeRecordPools() {
  ReleaseAllTextureSlots();
  ReleaseRecordContents();
  FreeSurfaceRecordPools();
  ForEachPool([](auto& pool) { pool.Destroy(); });
}

void ClearRecordPools() {
  ReleaseRecordContents();
  ForgetPointerSprites();
  ClearSurfaceRecordPools();
  ForEachPool([](auto& pool) { pool.Clear(); });
  for (NumberMap* map : {&Engine().gObjectSlotById, &Engine().gMeshSlotById, &Engine().gLightSlotById,
                         &Engine().gGridSlotById, &Engine().gSpareSlotMap})
    map->fill(0);
  Engine().gSceneChanged = 0;
  ClearFileHandles();
}

void ChainRecordPools() {
  ChainSurfaceRecordPools();
  ForEachPool([](auto& pool) {
    pool.Create();
    pool.Chain();
  });
  AllocMeshRecord();
}

void ResetEngineRecords() {
  InitSurfaceRecordPools();
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

uint32_t AllocObjectRecord() {
  const uint32_t slot = Engine().gObjectRecords.TakeZeroed();
  if (slot == kNoRecordSlot) return slot;
  auto* limbs = static_cast<ObjectLimbRecord*>(std::calloc(kInitialLimbCapacity, sizeof(ObjectLimbRecord)));
  if (!limbs) {
    Engine().gObjectRecords.Free(slot);
    ReportRecordPoolFull();
    return kNoRecordSlot;
  }
  Engine().gObjectRecords[slot].limbs = limbs;
  Engine().gObjectRecords[slot].limbCapacity = kInitialLimbCapacity;
  return slot;
}

uint32_t AllocMeshRecord() {
  const uint32_t slot = Engine().gMeshRecords.TakeZeroed();
  if (slot != kNoRecordSlot) Engine().gMeshRecords[slot].inUse = 1;
  return slot;
}

uint32_t AllocLightRecord() { return Engine().gLightRecords.TakeZeroed(); }

int32_t FreeObjectRecord(uint32_t slot) {
  if (!Engine().gObjectRecords.IsTaken(slot)) return 0;
  ReleaseObjectContents(slot);
  return Engine().gObjectRecords.Free(slot) ? 1 : 0;
}

int32_t FreeMeshRecord(uint32_t slot) {
  if (!Engine().gMeshRecords.IsTaken(slot)) return 0;
  FreeMeshArrays(Engine().gMeshRecords[slot]);
  Engine().gMeshRecords[slot].inUse = 0;
  return Engine().gMeshRecords.Free(slot) ? 1 : 0;
}

int32_t FreeLightRecord(uint32_t slot) {
  if (!Engine().gLightRecords.IsTaken(slot)) return 0;
  DisableDeviceLight(slot);
  return Engine().gLightRecords.Free(slot) ? 1 : 0;
}

void GrowLimbArray(uint32_t objectSlot, int32_t limbIndex) {
  if (!Engine().gObjectRecords.IsTaken(objectSlot)) return;
  ObjectRecord& o = Engine().gObjectRecords[objectSlot];
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

void GlueObject(uint32_t objectSlot, uint32_t targetSlot, int32_t limb) {
  UnglueObject(objectSlot);
  ObjectRecord& o = Engine().gObjectRecords[objectSlot];
  o.gluedObject = int32_t(targetSlot);
  o.gluedLimb = limb;
  ++Engine().gObjectRecords[targetSlot].gluedHolders;
}

void UnglueObject(uint32_t objectSlot) {
  ObjectRecord& o = Engine().gObjectRecords[objectSlot];
  const int32_t target = o.gluedObject;
  o.gluedObject = o.gluedLimb = 0;
  if (target <= 0 || target >= Engine().gObjectRecords.capacity) return;
  int32_t& holders = Engine().gObjectRecords[uint32_t(target)].gluedHolders;
  if (holders > 0) --holders;
}

void ReleaseObjectContents(uint32_t objectSlot) {
  if (objectSlot >= uint32_t(Engine().gObjectRecords.capacity)) return;
  auto object = [objectSlot]() -> ObjectRecord& { return Engine().gObjectRecords[objectSlot]; };

  if (object().inStaticWorld) {
    RemoveObjectFromStaticWorld(objectSlot);
    object().inStaticWorld = 0;
  }

  UnglueObject(objectSlot);
  if (object().gluedHolders > 0) UnglueHolders(objectSlot);

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
  if (Engine().gObjectRecords.IsTaken(objectSlot)) {
    ObjectRecord& o = Engine().gObjectRecords[objectSlot];
    o.inUse = 0;
    o.inStaticWorld = 0;
    o.boxCollision = 0;
    for (int i = 0; i < 3; ++i) o.boxMin[i] = o.boxMax[i] = o.boxCentre[i] = 0.0f;
    o.boxMode = 0;
    o.boxModeByte = 0;
    // Only the object's own item: a record that never got one may name another's.
    if (ItemOfObject(objectSlot)) FreeRenderItem(uint32_t(o.itemSlot));
    FreeObjectRecord(objectSlot);
  }
  if (objectNumber >= 0 && objectNumber < kNumberMapSize) Engine().gObjectSlotById[size_t(objectNumber)] = 0;
}

void AgeImagesAndTextures() {
  const bool refresh = AgeImagesAndSprites();
  // After the sprites' background copies were freed and a texture was made again, the objects'
  // limbs take their images' textures again.
  if (refresh && Records().gImageCopiesFreed) {
    Records().gRenderItems.ForEachUsed([](uint32_t slot) {
      if (!ObjectOfItem(slot)) return;
      const uint32_t objectSlot = uint32_t(Records().gRenderItems[slot].ownerSlot);
      for (int32_t limb = 0; limb < Engine().gObjectRecords[objectSlot].limbCapacity; ++limb) {
        const ObjectLimbRecord& l = Engine().gObjectRecords[objectSlot].limbs[limb];
        if (l.textureSlot <= 0) continue;
        const uint32_t texture = GetSharedImageTexture(uint32_t(l.imageSlot), 1);
        Engine().gObjectRecords[objectSlot].limbs[limb].textureSlot = int32_t(texture);
      }
    });
  }
  Records().gImageCopiesFreed = 0;
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
