// The 3D engine's state: the pools and number maps of its objects, meshes and lights, the static
// world, the list of animated objects and the collision switches. The one instance is defined in
// engine3d/object_records.cpp.
#pragma once
#include <cstdint>

#include "common/maths_types.h"
#include "engine3d/object_records.h"
#include "engine3d/static_world.h"

namespace vx {

struct AnimationListNode;

struct EngineState {
  RecordPool<ObjectRecord> gObjectRecords{2, 4};
  RecordPool<MeshRecord> gMeshRecords{2, 4};
  RecordPool<LightRecord> gLightRecords{8, 4};

  NumberMap gObjectSlotById{};  // object number -> ObjectRecord
  NumberMap gMeshSlotById{};    // mesh number -> MeshRecord
  NumberMap gLightSlotById{};   // light number -> LightRecord
  NumberMap gGridSlotById{};    // grid number -> ObjectRecord
  NumberMap gSpareSlotMap{};    // cleared with the others, used by none

  uint8_t gSceneChanged = 0;  // an object moved, turned or changed shape

  // --- Static world ------------------------------------------------------------------------------
  StaticWorld gStaticWorld{};

  // --- Animation ---------------------------------------------------------------------------------
  AnimationListNode* gAnimatedObjectsHead = nullptr;

  // --- Collision ---------------------------------------------------------------------------------
  // The program-wide collision switch the collision queries read; on at every run set-up.
  uint32_t gCollisionEnabled = 1;

  // The push-back of the last box test: zeroed at the start of every object box test, set on the
  // axis the object entered by when the other's box asks for a response.
  Vector3f gObjectBoxPushBack{0, 0, 0};
  float gStaticBoxPushBack[3] = {0, 0, 0};  // the push-back of the last static box test
};
extern EngineState gEngineState;  // the one instance (engine3d/object_records.cpp)
inline EngineState& Engine() { return gEngineState; }

// The object of a taken object item; null for a sprite item or a slot not in use.
inline ObjectRecord* ObjectOfItem(uint32_t itemSlot) {
  if (!Records().gRenderItems.IsTaken(itemSlot)) return nullptr;
  const RenderItem& item = Records().gRenderItems.records[itemSlot];
  if (item.kind != RenderItemKind::kObject || item.ownerSlot <= 0 ||
      !Engine().gObjectRecords.IsTaken(uint32_t(item.ownerSlot)))
    return nullptr;
  return &Engine().gObjectRecords.records[item.ownerSlot];
}

}  // namespace vx
