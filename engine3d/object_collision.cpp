// Object hit tests (object_collision.h) over the records, the box overlap test and the collision
// library's contact pass (engine3d/objects.h).
#include "engine3d/object_collision.h"

#include <cmath>

#include "engine3d/box_overlap.h"
#include "engine3d/maths3d.h"
#include "engine3d/object_records.h"
#include "engine3d/object_support.h"
#include "engine3d/objects.h"

namespace vx {

namespace {

// --- Through the collision library --------------------------------------------------------------

int32_t LibraryObjectHit(uint32_t objectSlot, uint32_t otherSlot) {
  ObjectRecord& o = ObjectOf(objectSlot);
  // The contact mark belongs to the partner watched in the last pass: a new one needs a new pass.
  if (otherSlot != 0 && o.watchedPartner != int32_t(otherSlot)) Engine().gSceneChanged = 1;
  o.watchedPartner = int32_t(otherSlot);
  UpdateObjectCollisions();
  if (otherSlot != 0) return ObjectOf(objectSlot).watchedContact == 1 ? 1 : 0;
  return NumberOfObjectSlot(ObjectOf(objectSlot).collisionPartner);
}

// --- Box against box ------------------------------------------------------------------------------

// The object's turn as it is drawn: its angles in its rotation order, or its free rotation.
Matrix4f ObjectRotation(uint32_t objectSlot) {
  const ObjectRecord& o = ObjectOf(objectSlot);
  const Vector3f origin(0, 0, 0), unit(1, 1, 1);
  Matrix4f rotation;
  MatrixIdentity(rotation);
  if (o.freeRotation)
    ComposeFrameMatrixFromRotation(rotation, origin, o.freeMatrix, unit);
  else
    ComposeFrameMatrix(rotation, origin, Vector3f(o.angleX, o.angleY, o.angleZ), unit, o.rotationOrder);
  return rotation;
}

OrientedBox WorldBoxOf(const RenderItem& item, uint32_t objectSlot) {
  const ObjectRecord& o = ObjectOf(objectSlot);
  OrientedBox box;
  box.orientation = ObjectRotation(objectSlot);
  Vector3f centre(o.boxCentre[0], o.boxCentre[1], o.boxCentre[2]);
  TransformCoord(centre, centre, box.orientation);
  box.centre[0] = item.position.x + centre.x;
  box.centre[1] = item.position.y + centre.y;
  box.centre[2] = item.position.z + centre.z;
  for (int k = 0; k < 3; ++k) box.halfExtents[k] = (o.boxMax[k] - o.boxMin[k]) * 0.5f;
  return box;
}

struct Corners {
  float min[3], max[3];
};

Corners CornersAt(const Vector3f& place, const ObjectRecord& o) {
  const float p[3] = {place.x, place.y, place.z};
  Corners c;
  for (int k = 0; k < 3; ++k) {
    c.min[k] = p[k] + o.boxMin[k];
    c.max[k] = p[k] + o.boxMax[k];
  }
  return c;
}

// Axis-aligned boxes where the items stand; when B asks for a response, the push-back of A is
// written on the axis whose gap was smallest where both stood before (the first of equal gaps).
int32_t BoxSweepOverlap(const RenderItem& itemA, uint32_t slotA, const RenderItem& itemB, uint32_t slotB) {
  const ObjectRecord& a = ObjectOf(slotA);
  const ObjectRecord& b = ObjectOf(slotB);
  const Corners A = CornersAt(itemA.position, a), B = CornersAt(itemB.position, b);
  for (int k = 0; k < 3; ++k)
    if (!(A.min[k] < B.max[k] && B.min[k] < A.max[k])) return 0;
  if (b.boxMode == 1) {
    const Corners pa = CornersAt(itemA.previousPosition, a), pb = CornersAt(itemB.previousPosition, b);
    int side = 0;
    float smallest = 0.0f;
    for (int k = 0; k < 3; ++k) {
      const float gaps[2] = {std::fabs(pa.max[k] - pb.min[k]), std::fabs(pb.max[k] - pa.min[k])};
      for (int s = 0; s < 2; ++s)
        if (k + s == 0 || gaps[s] < smallest) {
          smallest = gaps[s];
          side = k * 2 + s;
        }
    }
    const int k = side / 2;
    const float push = side % 2 == 0 ? A.max[k] - B.min[k] : A.min[k] - B.max[k];
    (k == 0 ? Engine().gObjectBoxPushBack.x : k == 1 ? Engine().gObjectBoxPushBack.y : Engine().gObjectBoxPushBack.z) = push;
  }
  return 1;
}

bool OrientedObjectBoxTest(uint32_t itemA, uint32_t slotA, uint32_t itemB, uint32_t slotB) {
  const RenderItem& a = Records().gRenderItems[itemA];
  const RenderItem& b = Records().gRenderItems[itemB];
  if (ObjectOf(slotA).boxModeByte && ObjectOf(slotB).boxModeByte) return BoxSweepOverlap(a, slotA, b, slotB) == 1;
  return OverlapBoxes(WorldBoxOf(a, slotA), WorldBoxOf(b, slotB));
}

// The items of objects that take part in box tests.
RenderItem* BoxItemOf(uint32_t objectSlot) {
  RenderItem* item = ItemOfObject(objectSlot);
  const ObjectRecord& o = ObjectOf(objectSlot);
  return item && item->cameraLocked == 0 && o.collisionOn && o.boxCollision == 1 ? item : nullptr;
}

int32_t BoxObjectHit(uint32_t objectSlot, uint32_t otherSlot) {
  Engine().gObjectBoxPushBack.Set(0, 0, 0);
  ObjectOf(objectSlot).collisionPartner = 0;
  const uint32_t item = uint32_t(ObjectOf(objectSlot).itemSlot);
  if (otherSlot != 0) return OrientedObjectBoxTest(item, objectSlot, uint32_t(ObjectOf(otherSlot).itemSlot), otherSlot);
  // Every other object in list order; the last one hit is the answer.
  Records().gRenderItems.ForEachUsed([&](uint32_t other) {
    const RenderItem& it = Records().gRenderItems[other];
    if (other == item || it.objectItem != 1 || it.objectSlot <= 0 || !Engine().gObjectRecords.IsTaken(uint32_t(it.objectSlot)))
      return;
    const uint32_t slot = uint32_t(it.objectSlot);
    if (slot == objectSlot || BoxItemOf(slot) != &it) return;
    if (OrientedObjectBoxTest(item, objectSlot, other, slot)) ObjectOf(objectSlot).collisionPartner = int32_t(slot);
  });
  return NumberOfObjectSlot(ObjectOf(objectSlot).collisionPartner);
}

}  // namespace

int32_t NumberOfObjectSlot(int32_t objectSlot) {
  if (objectSlot <= 0 || !Engine().gObjectRecords.IsTaken(uint32_t(objectSlot))) return 0;
  const int32_t number = ObjectOf(uint32_t(objectSlot)).objectNumber;
  return ObjectSlotOf(number) == uint32_t(objectSlot) ? number : 0;
}

int32_t ObjectHitTest(uint32_t objectSlot, int32_t otherNumber) {
  if (Engine().gCollisionEnabled != 1) return 0;
  uint32_t otherSlot = 0;
  if (otherNumber != 0) {
    otherSlot = ObjectSlotOf(otherNumber);  // 0 outside 1 to 65535 too
    if (otherSlot == 0 || otherSlot == objectSlot) return 0;
  }
  const RenderItem* item = ItemOfObject(objectSlot);
  const RenderItem* otherItem = otherSlot ? ItemOfObject(otherSlot) : nullptr;
  if (!item || item->cameraLocked || !ObjectOf(objectSlot).collisionOn) return 0;
  if (otherSlot && (!otherItem || otherItem->cameraLocked || !ObjectOf(otherSlot).collisionOn)) return 0;
  if (ObjectOf(objectSlot).boxCollision != 1) return LibraryObjectHit(objectSlot, otherSlot);
  if (otherSlot && ObjectOf(otherSlot).boxCollision != 1) return 0;
  return BoxObjectHit(objectSlot, otherSlot);
}

void KeepPreviousPositions() {
  Records().gRenderItems.ForEachUsed([](uint32_t slot) {
    RenderItem& item = Records().gRenderItems[slot];
    if (item.objectItem == 1) item.previousPosition = item.position;
  });
}

}  // namespace vx
