// Objects handed to the static world (world_objects.h).
#include "engine3d/world_objects.h"

#include <set>

#include "engine3d/meshes.h"
#include "engine3d/object_records.h"
#include "engine3d/objects.h"
#include "engine3d/static_world.h"
#include "models/scene_model.h"

namespace vx {

int32_t AddObjectToStaticWorld(uint32_t objectSlot, int32_t cullingBox, int32_t radiusFlag, int32_t owner,
                               int32_t extraFlag) {
  if (!Engine().gObjectRecords.IsTaken(objectSlot) || !Engine().gObjectRecords[objectSlot].model) return 0;
  // The world keeps geometry where it stands: the object's own frame (which an instance's shared
  // tree may hold for another) goes into the copy.
  UpdateObjectFrame(objectSlot);
  const SceneModel& model = *Engine().gObjectRecords[objectSlot].model;
  Matrix4f place;
  if (!model.GetRootTransform(place)) return 0;
  int32_t result = 0;
  for (int32_t limb = 0; limb < Engine().gObjectRecords[objectSlot].limbCount; ++limb) {
    // One part for each texture of the limb, however many of its meshes share it.
    std::set<uint32_t> textures;
    for (int32_t i = 0; i < model.MeshCountById(limb); ++i)
      if (const MeshNode* mesh = model.FindMeshByIndex(limb, i)) textures.insert(mesh->textureSlot);
    for (const uint32_t texture : textures) {
      MeshCopy copy;
      model.CopyMeshData(copy, limb, texture, &place);
      const uint32_t mesh = AllocMeshRecord();
      if (mesh == kNoRecordSlot) return -1;
      if (!copy.vertices.empty() &&
          (!FillMeshRecord(mesh, copy) || AddStaticPart(texture, StaticMeshDataOf(Engine().gMeshRecords[mesh]),
                                                        cullingBox, radiusFlag, owner, extraFlag) != 1))
        result = -1;
      FreeMeshRecord(mesh);
    }
  }
  return result;
}

int32_t MoveObjectToStaticWorld(uint32_t objectSlot) {
  return AddObjectToStaticWorld(objectSlot, 0, 0, int32_t(objectSlot), 0);
}

void ClearStaticWorld() {
  if (StaticWorldHoldsGeometry()) ClearStaticGeometry();
  Records().gRenderItems.ForEachUsed([](uint32_t item) {
    ObjectRecord* o = ObjectOfItem(item);
    if (!o || !o->inStaticWorld) return;
    Records().gRenderItems[item].visible = 1;
    o->inStaticWorld = 0;
  });
}

}  // namespace vx
