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

OrientedBox WorldBoxOf(uint32_t objectSlot) {
  const ObjectRecord& o = ObjectOf(objectSlot);
  OrientedBox box;
  box.orientation = ObjectRotation(objectSlot);
  Vector3f centre(o.boxCentre[0], o.boxCentre[1], o.boxCentre[2]);
  TransformCoord(centre, centre, box.orientation);
  box.centre[0] = o.position.x + centre.x;
  box.centre[1] = o.position.y + centre.y;
  box.centre[2] = o.position.z + centre.z;
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

// Axis-aligned boxes where the objects stand; when B asks for a response, the push-back of A is
// written on the axis whose gap was smallest where both stood before (the first of equal gaps).
int32_t BoxSweepOverlap(uint32_t slotA, uint32_t slotB) {
  const ObjectRecord& a = ObjectOf(slotA);
  const ObjectRecord& b = ObjectOf(slotB);
  const Corners A = CornersAt(a.position, a), B = CornersAt(b.position, b);
  for (int k = 0; k < 3; ++k)
    if (!(A.min[k] < B.max[k] && B.min[k] < A.max[k])) return 0;
  if (b.boxMode == 1) {
    const Corners pa = CornersAt(a.previousPosition, a), pb = CornersAt(b.previousPosition, b);
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
    (k == 0   ? Engine().gObjectBoxPushBack.x
     : k == 1 ? Engine().gObjectBoxPushBack.y
              : Engine().gObjectBoxPushBack.z) = push;
  }
  return 1;
}

bool OrientedObjectBoxTest(uint32_t slotA, uint32_t slotB) {
  if (ObjectOf(slotA).boxModeByte && ObjectOf(slotB).boxModeByte) return BoxSweepOverlap(slotA, slotB) == 1;
  return OverlapBoxes(WorldBoxOf(slotA), WorldBoxOf(slotB));
}

// Objects with an item that take part in box tests.
bool InBoxTests(uint32_t objectSlot) {
  const ObjectRecord& o = ObjectOf(objectSlot);
  return ItemOfObject(objectSlot) && o.draw.cameraLocked == 0 && o.collisionOn && o.boxCollision == 1;
}

int32_t BoxObjectHit(uint32_t objectSlot, uint32_t otherSlot) {
  Engine().gObjectBoxPushBack.Set(0, 0, 0);
  ObjectOf(objectSlot).collisionPartner = 0;
  const uint32_t item = uint32_t(ObjectOf(objectSlot).itemSlot);
  if (otherSlot != 0) return OrientedObjectBoxTest(objectSlot, otherSlot);
  // Every other object in list order; the last one hit is the answer.
  Records().gRenderItems.ForEachUsed([&](uint32_t other) {
    const ObjectRecord* o = ObjectOfItem(other);
    if (other == item || !o) return;
    const uint32_t slot = uint32_t(Records().gRenderItems[other].ownerSlot);
    if (slot == objectSlot || o->itemSlot != int32_t(other) || !InBoxTests(slot)) return;
    if (OrientedObjectBoxTest(objectSlot, slot)) ObjectOf(objectSlot).collisionPartner = int32_t(slot);
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
  if (!item || ObjectOf(objectSlot).draw.cameraLocked || !ObjectOf(objectSlot).collisionOn) return 0;
  if (otherSlot && (!otherItem || ObjectOf(otherSlot).draw.cameraLocked || !ObjectOf(otherSlot).collisionOn)) return 0;
  if (ObjectOf(objectSlot).boxCollision != 1) return LibraryObjectHit(objectSlot, otherSlot);
  if (otherSlot && ObjectOf(otherSlot).boxCollision != 1) return 0;
  return BoxObjectHit(objectSlot, otherSlot);
}

void KeepPreviousPositions() {
  Engine().gObjectRecords.ForEachUsed([](uint32_t slot) {
    ObjectRecord& o = Engine().gObjectRecords[slot];
    o.previousPosition = o.position;
  });
}

}  // namespace vx
