// Object value functions: whether objects and meshes exist; an object's place, angles, visibility,
// bounds, sizes and place on the screen; its limbs (existence, texture, offset, angles, where they
// stand and face in the world, visibility, texture file name); its collisions with other objects
// and the push-back of the last box test; and the state of its keyframe animation. Each checks its
// numbers first (the error leaves the result as it was) and never ends the time slice.
#include <cmath>
#include <string>

#include "common/interpreter_state.h"
#include "common/runtime_hooks.h"
#include "common/value_slot.h"
#include "engine3d/maths3d.h"
#include "engine3d/object_collision.h"
#include "engine3d/object_records.h"
#include "engine3d/object_support.h"
#include "engine3d/objects.h"
#include "engine3d/scene_render.h"
#include "models/scene_model.h"

namespace vx {

namespace {

// --- Objects ------------------------------------------------------------------------------------------

// result, object: the answer of `ask` for the object once its number checks.
template <class Ask>
void AskObject(Ask ask) {
  ValueSlot* result = SlotOperand(0);
  const int32_t number = IntOperand(1);
  SkipOperands(2);
  if (const uint32_t slot = CheckedObject(number)) ask(*result, slot);
}

template <class Value>
void AskObjectFloat(Value value) {
  AskObject([&](ValueSlot& r, uint32_t slot) { r.f = value(ObjectOf(slot)); });
}

template <class Value>
void AskObjectInt(Value value) {
  AskObject([&](ValueSlot& r, uint32_t slot) { r.i = value(ObjectOf(slot)); });
}

// A coordinate of the object's place (0 for an object that has no item).
void AskPosition(float Vector3f::*axis) {
  AskObject([axis](ValueSlot& r, uint32_t slot) { r.f = ItemOfObject(slot) ? ObjectOf(slot).position.*axis : 0.0f; });
}

void FnMeshExists() {
  AnswerAboutNumber(1, 65534, kErrMeshNumberOutOfRange, [](ValueSlot& r, int32_t number) {
    const uint32_t slot = Engine().gMeshSlotById[size_t(number)];
    r.i = slot != 0 && Engine().gMeshRecords.IsTaken(slot) ? 1 : 0;
  });
}

void FnObjectExists() {
  AnswerAboutNumber(1, 65535, kErrObjectNumberOutOfRange,
                    [](ValueSlot& r, int32_t number) { r.i = ObjectSlotOf(number) != 0 ? 1 : 0; });
}

void FnObjectPositionX() { AskPosition(&Vector3f::x); }
void FnObjectPositionY() { AskPosition(&Vector3f::y); }
void FnObjectPositionZ() { AskPosition(&Vector3f::z); }
void FnObjectAngleX() {
  AskObjectFloat([](const ObjectRecord& o) { return WrapAngleDegrees(o.angleX); });
}
void FnObjectAngleY() {
  AskObjectFloat([](const ObjectRecord& o) { return WrapAngleDegrees(o.angleY); });
}
void FnObjectAngleZ() {
  AskObjectFloat([](const ObjectRecord& o) { return WrapAngleDegrees(o.angleZ); });
}

void FnObjectVisible() {
  AskObject([](ValueSlot& r, uint32_t slot) {
    const RenderItem* it = ItemOfObject(slot);
    r.i = it && it->visible == 1 ? 1 : 0;
  });
}

void FnObjectBoundsRadius() {
  AskObjectFloat([](const ObjectRecord& o) { return o.radius; });
}
void FnObjectBoundsCentreX() {
  AskObjectFloat([](const ObjectRecord& o) { return o.centre.x; });
}
void FnObjectBoundsCentreY() {
  AskObjectFloat([](const ObjectRecord& o) { return o.centre.y; });
}
void FnObjectBoundsCentreZ() {
  AskObjectFloat([](const ObjectRecord& o) { return o.centre.z; });
}
void FnObjectSize() {
  AskObjectFloat([](const ObjectRecord& o) { return o.originRadius; });
}
void FnObjectSizeX() {
  AskObjectFloat([](const ObjectRecord& o) { return o.extentX; });
}
void FnObjectSizeY() {
  AskObjectFloat([](const ObjectRecord& o) { return o.extentY; });
}
void FnObjectSizeZ() {
  AskObjectFloat([](const ObjectRecord& o) { return o.extentZ; });
}

// Where the object's place lands on the screen: 0 screen x, 1 screen y, 2 whether it is in view.
void AskScreen(int part) {
  AskObject([part](ValueSlot& r, uint32_t slot) {
    int32_t inScreen = 0, x = 0, y = 0;
    const int32_t item = ObjectOf(slot).itemSlot;
    if (ItemOfObject(slot)) ProjectObjectToScreen(uint32_t(item), inScreen, x, y);
    r.i = part == 0 ? x : part == 1 ? y : inScreen;
  });
}

void FnObjectScreenX() { AskScreen(0); }
void FnObjectScreenY() { AskScreen(1); }
void FnObjectInScreen() { AskScreen(2); }

// --- Collisions ---------------------------------------------------------------------------------------

// result, object, other (0 any): the hit test once the object checks and its first limb exists.
// A new hit only reports a contact that the previous test of the object did not find.
void Contact(bool onlyNew) {
  ValueSlot* result = SlotOperand(0);
  const int32_t number = IntOperand(1), other = IntOperand(2);
  SkipOperands(3);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  const ObjectRecord& o = ObjectOf(slot);
  if (!o.limbs || o.limbCapacity < 1 || o.limbs[0].exists != 1) {
    RaiseRuntimeError(kErrLimbNotExist);
    return;
  }
  const int32_t hit = ObjectHitTest(slot, other);
  if (!onlyNew) {
    result->i = hit;
    return;
  }
  result->i = hit > 0 && ObjectOf(slot).lastHit == 0 ? hit : 0;
  ObjectOf(slot).lastHit = hit;
}

void FnObjectHit() { Contact(true); }
void FnObjectCollision() { Contact(false); }

void AskPushBack(float Vector3f::*axis) {
  SlotOperand(0)->f = Engine().gObjectBoxPushBack.*axis;
  SkipOperands(1);
}

void FnObjectCollisionX() { AskPushBack(&Vector3f::x); }
void FnObjectCollisionY() { AskPushBack(&Vector3f::y); }
void FnObjectCollisionZ() { AskPushBack(&Vector3f::z); }

// --- Limbs --------------------------------------------------------------------------------------------

// result, object, limb: the answer of `ask` once the object checks and the limb lies in range
// (and, with `mustExist`, exists).
template <class Ask>
void AskLimb(bool mustExist, Ask ask) {
  ValueSlot* result = SlotOperand(0);
  const int32_t number = IntOperand(1), limb = IntOperand(2);
  SkipOperands(3);
  const uint32_t slot = CheckedObject(number);
  if (!slot || !LimbInRange(slot, limb) || (mustExist && !LimbExists(slot, limb))) return;
  ask(*result, slot, limb);
}

template <class Value>
void AskLimbFloat(Value value) {
  AskLimb(true, [&](ValueSlot& r, uint32_t slot, int32_t limb) { r.f = value(LimbOf(slot, limb)); });
}

// The world matrices brought up to date now: the frame's own update keeps them only until the
// object is drawn, and an object moved since (or one that is not drawn) would answer from before.
void RefreshWorldMatrices(uint32_t slot) {
  uint32_t holder = slot;
  for (int links = 0; links < kMaxGlueLinks && holder > 0 && Engine().gObjectRecords.IsTaken(holder); ++links) {
    ObjectOf(holder).worldMatricesCurrent = 0;
    const int32_t next = ObjectOf(holder).gluedObject;
    if (next <= 0 || uint32_t(next) == slot) break;
    holder = uint32_t(next);
  }
  UpdateObjectWorldMatrices(slot, 1);
}

// A coordinate of where the limb stands (0 to 2) or faces in degrees (3 to 5) in the world.
void AskLimbWorld(int k) {
  AskLimb(true, [k](ValueSlot& r, uint32_t slot, int32_t limb) {
    RefreshWorldMatrices(slot);
    const ObjectLimbRecord& l = LimbOf(slot, limb);
    r.f = k < 3 ? l.worldPosition[k] : l.worldAngles[k - 3] * kEngineRadiansToDegrees;
  });
}

void FnLimbExists() {
  AskLimb(false, [](ValueSlot& r, uint32_t slot, int32_t limb) { r.i = LimbOf(slot, limb).exists == 1 ? 1 : 0; });
}

void FnLimbReserved() {
  AskLimb(true, [](ValueSlot& r, uint32_t slot, int32_t limb) { r.i = LimbOf(slot, limb).reserved; });
}

void FnLimbTexture() {
  AskLimb(true, [](ValueSlot& r, uint32_t slot, int32_t limb) { r.i = LimbOf(slot, limb).imageNumber; });
}

void FnLimbVisible() {
  AskLimb(true, [](ValueSlot& r, uint32_t slot, int32_t limb) { r.i = LimbOf(slot, limb).visible; });
}

void FnLimbOffsetX() {
  AskLimbFloat([](const ObjectLimbRecord& l) { return l.offsetX; });
}
void FnLimbOffsetY() {
  AskLimbFloat([](const ObjectLimbRecord& l) { return l.offsetY; });
}
void FnLimbOffsetZ() {
  AskLimbFloat([](const ObjectLimbRecord& l) { return l.offsetZ; });
}
void FnLimbAngleX() {
  AskLimbFloat([](const ObjectLimbRecord& l) { return l.angleX; });
}
void FnLimbAngleY() {
  AskLimbFloat([](const ObjectLimbRecord& l) { return l.angleY; });
}
void FnLimbAngleZ() {
  AskLimbFloat([](const ObjectLimbRecord& l) { return l.angleZ; });
}
void FnLimbPositionX() { AskLimbWorld(0); }
void FnLimbPositionY() { AskLimbWorld(1); }
void FnLimbPositionZ() { AskLimbWorld(2); }
void FnLimbDirectionX() { AskLimbWorld(3); }
void FnLimbDirectionY() { AskLimbWorld(4); }
void FnLimbDirectionZ() { AskLimbWorld(5); }

// The file name of the texture of the limb's mesh, at most 255 characters; "" without one.
void FnLimbName() {
  AskLimb(true, [](ValueSlot& r, uint32_t slot, int32_t limb) {
    std::string name;
    if (const SceneModel* model = ObjectOf(slot).model) model->GetTextureNameById(limb, name);
    if (name.size() > 255) name.resize(255);
    StoreString(&r, name.c_str(), name.size());
  });
}

// --- Animation ------------------------------------------------------------------------------------------

bool HasAnimation(const ObjectRecord& o) { return o.model && o.model->GetAnimationSet(); }

void FnObjectPlaying() {
  AskObjectInt([](const ObjectRecord& o) { return o.playing ? 1 : 0; });
}
void FnObjectLooping() {
  AskObjectInt([](const ObjectRecord& o) { return o.looping ? 1 : 0; });
}

void FnObjectFrame() {
  AskObjectFloat([](const ObjectRecord& o) { return HasAnimation(o) ? o.currentFrame : 0.0f; });
}

// Speed and interpolation are kept as n / 25 and n / 100 of the numbers the program gave; rounded,
// not cut, they give those numbers back (0.53 x 100 is a little below 53).
int32_t Unscaled(float value, double scale) { return SaturateToInt32(std::round(double(value) * scale)); }

void FnObjectSpeed() {
  AskObjectInt([](const ObjectRecord& o) { return HasAnimation(o) ? Unscaled(o.speed, 25.0) : 0; });
}

void FnObjectInterpolation() {
  AskObjectInt([](const ObjectRecord& o) { return Unscaled(o.blendFactor, 100.0); });
}

void FnTotalObjectFrames() {
  AskObjectInt([](const ObjectRecord& o) { return SaturateToInt32(o.frameCount); });
}

}  // namespace

}  // namespace vx

#include "generated/commands/object_value.inc"
