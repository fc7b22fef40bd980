// Object and limb statements: adding limbs with meshes, texturing, colouring, placing, turning,
// scaling, linking, hiding and showing limbs; placing, turning, scaling, hiding, ghosting and
// camera-locking objects; the collision switches and shapes; normal scaling and the order of
// rotation. Each handler checks its numbers in a fixed order, writes the records and pushes the
// change into the object's model; an object without a model keeps only its records.
#include <type_traits>

#include "common/interpreter_state.h"
#include "common/runtime_hooks.h"
#include "engine3d/maths3d.h"
#include "engine3d/object_records.h"
#include "engine3d/object_support.h"
#include "engine3d/objects.h"
#include "engine3d/scene_settings.h"
#include "models/scene_model.h"
#include "surfaces/display_state.h"
#include "surfaces/engine_textures.h"
#include "surfaces/texture_names.h"

namespace vx {

namespace {

void Yield() { EndSliceAfterCommand(SliceEnd::kAutoRefresh); }

void RootChanged(uint32_t slot) {
  UpdateObjectFrame(slot);
  Engine().gSceneChanged = 1;
}

// --- Limbs --------------------------------------------------------------------------------------------------

void CmdAddLimb() {
  const int32_t number = IntOperand(0), limb = IntOperand(1), meshNumber = IntOperand(2);
  SkipOperands(3);
  const uint32_t slot = CheckedObject(number);
  uint32_t mesh = 0;
  if (!slot || !CheckedMesh(meshNumber, 0, mesh)) return;
  if (limb < 1 || limb >= ObjectOf(slot).limbCapacity) {
    RaiseRuntimeError(kErrNewLimbNumberBelowOne);
    return;
  }
  if (ObjectOf(slot).limbs[limb].exists == 1) {
    RaiseRuntimeError(kErrLimbExists);
    return;
  }
  if (limb > 1 && ObjectOf(slot).limbs[limb - 1].exists != 1) {
    RaiseRuntimeError(kErrPreviousLimbNotExist);
    return;
  }
  // A limb is a frame of the model; an object without one has nowhere to hang it.
  if (!ObjectOf(slot).model || AddLimbMesh(slot, limb, mesh) != 1) return;
  ResetLimbRecord(ObjectOf(slot).limbs[limb]);
  ++ObjectOf(slot).limbCount;
  GrowLimbArray(slot, limb);
  ObjectOf(slot).collisionShape = kShapeFittedBox;
  ObjectOf(slot).model->SetCollisionShape(slot, kShapeFittedBox, 0, 0, 0);
  Engine().gSceneChanged = 1;
}

void CmdTextureLimb() {
  const int32_t number = IntOperand(0), limb = IntOperand(1), imageNumber = IntOperand(2);
  SkipOperands(3);
  const uint32_t slot = CheckedObject(number);
  uint32_t image = 0;
  if (!slot || !CheckedImage(imageNumber, image) || !CheckedLimb(slot, limb)) return;
  const uint32_t texture = image ? GetSharedImageTexture(image, 1) : 0;
  AssignFrameTexture(ObjectOf(slot).model, limb, texture);
  if (texture) ReleaseTextureSlot(texture, 0);  // the meshes hold their own uses
  ObjectLimbRecord& l = LimbOf(slot, limb);
  l.imageNumber = imageNumber;
  l.imageSlot = int32_t(image);
  l.textureSlot = int32_t(texture);
}

void CmdColorLimb() {
  const int32_t number = IntOperand(0), limb = IntOperand(1), colour = IntOperand(2);
  SkipOperands(3);
  const uint32_t slot = CheckedObject(number);
  if (!slot || !CheckedLimb(slot, limb)) return;
  // The image texture the meshes held is given back by the meshes as they take the colour, once.
  const uint32_t texture = GetColorTexture(colour);
  AssignFrameTexture(ObjectOf(slot).model, limb, texture);
  if (texture) ReleaseTextureSlot(texture, 0);
  ObjectLimbRecord& l = LimbOf(slot, limb);
  l.imageNumber = 0;
  l.imageSlot = 0;
  l.textureSlot = 0;
}

// Reads object, limb and three values; the slot and limb when both check.
template <class Value>
bool LimbOperands(uint32_t& slot, int32_t& limb, Value v[3]) {
  const int32_t number = IntOperand(0);
  limb = IntOperand(1);
  for (int i = 0; i < 3; ++i) {
    if constexpr (std::is_same_v<Value, float>)
      v[i] = FloatOperand(2 + i);
    else
      v[i] = IntOperand(2 + i);
  }
  SkipOperands(5);
  slot = CheckedObject(number);
  return slot && CheckedLimb(slot, limb);
}

// Three values of the limb, after the checks: offsets and angles as given (angles 0 to 360),
// scales in percent. The limb's frame follows.
template <class Value>
void SetLimbValues(float ObjectLimbRecord::*x, float ObjectLimbRecord::*y, float ObjectLimbRecord::*z, bool angles) {
  uint32_t slot;
  int32_t limb;
  Value v[3];
  if (!LimbOperands(slot, limb, v)) return;
  const float divisor = std::is_same_v<Value, float> ? 1.0f : 100.0f;
  const float f[3] = {float(v[0]) / divisor, float(v[1]) / divisor, float(v[2]) / divisor};
  if (angles && !AnglesAccepted(f[0], f[1], f[2])) return;
  ObjectLimbRecord& l = LimbOf(slot, limb);
  l.*x = f[0];
  l.*y = f[1];
  l.*z = f[2];
  UpdateLimbFrame(slot, limb);
  Engine().gSceneChanged = 1;
}

void CmdOffsetLimb() {
  SetLimbValues<float>(&ObjectLimbRecord::offsetX, &ObjectLimbRecord::offsetY, &ObjectLimbRecord::offsetZ, false);
}

void CmdRotateLimb() {
  SetLimbValues<float>(&ObjectLimbRecord::angleX, &ObjectLimbRecord::angleY, &ObjectLimbRecord::angleZ, true);
}

void CmdScaleLimb() {
  SetLimbValues<int32_t>(&ObjectLimbRecord::scaleX, &ObjectLimbRecord::scaleY, &ObjectLimbRecord::scaleZ, false);
}

void CmdLinkLimb() {
  const int32_t number = IntOperand(0), limb = IntOperand(1), parent = IntOperand(2);
  SkipOperands(3);
  const uint32_t slot = CheckedObject(number);
  if (!slot || !CheckedLimb(slot, limb) || !CheckedLimb(slot, parent)) return;
  if (parent == limb) {
    RaiseRuntimeError(kErrLimbNumberOutOfRange);
    return;
  }
  if (LimbOf(slot, limb).onRoot != 1) {
    RaiseRuntimeError(kErrLimbLinkedAlready);
    return;
  }
  if (!ObjectOf(slot).model || ObjectOf(slot).model->MoveNode(limb, parent) < 0) {
    RaiseRuntimeError(kErrLimbNotLinked);
    return;
  }
  LimbOf(slot, limb).onRoot = 0;
  Engine().gSceneChanged = 1;
}

void ShowLimb(int32_t visible) {
  const int32_t number = IntOperand(0), limb = IntOperand(1);
  SkipOperands(2);
  const uint32_t slot = CheckedObject(number);
  if (!slot || !CheckedLimb(slot, limb)) return;
  LimbOf(slot, limb).visible = visible;
  if (SceneModel* model = ObjectOf(slot).model) {
    model->SetVisibleById(limb, visible);
    if (visible)
      model->SetCollisionShapeById(slot, limb, ObjectOf(slot).collisionShape);
    else
      model->ClearCollisionById(limb);
  }
  Engine().gSceneChanged = 1;
}

void CmdHideLimb() { ShowLimb(0); }
void CmdShowLimb() { ShowLimb(1); }

template <class Change>
void ChangeLimbTexture(Change change) {
  const int32_t number = IntOperand(0), limb = IntOperand(1);
  const float u = FloatOperand(2), v = FloatOperand(3);
  SkipOperands(4);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  // A limb number without a limb changes nothing.
  SceneModel* model = ObjectOf(slot).model;
  if (model && limb >= 0 && limb < ObjectOf(slot).limbCapacity && LimbOf(slot, limb).exists == 1)
    change(*model, limb, u, v);
  Yield();
}

void CmdScrollLimbTexture() {
  ChangeLimbTexture([](SceneModel& m, int32_t limb, float u, float v) { m.ScrollUvById(limb, u, v); });
}

void CmdScaleLimbTexture() {
  ChangeLimbTexture([](SceneModel& m, int32_t limb, float u, float v) { m.ScaleUvById(limb, u, v); });
}

void CmdChangeLimbMesh() {
  const int32_t number = IntOperand(0), limb = IntOperand(1), meshNumber = IntOperand(2);
  SkipOperands(3);
  const uint32_t slot = CheckedObject(number);
  uint32_t mesh = 0;
  if (!slot || !LimbInRange(slot, limb) || !CheckedMesh(meshNumber, 1, mesh) || !LimbExists(slot, limb)) return;
  ReplaceLimbMesh(slot, limb, mesh);
  Engine().gSceneChanged = 1;
  Yield();
}

// --- Placing, turning and scaling objects -------------------------------------------------------------------

void CmdPositionObject() {
  const int32_t number = IntOperand(0);
  const Vector3f position(FloatOperand(1), FloatOperand(2), FloatOperand(3));
  SkipOperands(4);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  ObjectOf(slot).position = position;
  RootChanged(slot);
  Yield();
}

// Angles wrapped into 0 to 360 and stored; the object leaves free-rotation mode.
void TurnObjectTo(uint32_t slot, float x, float y, float z) {
  ObjectRecord& o = ObjectOf(slot);
  o.angleX = WrapAngleDegrees(x);
  o.angleY = WrapAngleDegrees(y);
  o.angleZ = WrapAngleDegrees(z);
  if (o.freeRotation) {
    o.freeRotation = 0;
    MatrixIdentity(o.freeMatrix);
  }
  RootChanged(slot);
}

void CmdRotateObject() {
  const int32_t number = IntOperand(0);
  const float x = FloatOperand(1), y = FloatOperand(2), z = FloatOperand(3);
  SkipOperands(4);
  const uint32_t slot = CheckedObject(number);
  if (!slot || !AnglesAccepted(x, y, z)) return;
  TurnObjectTo(slot, x, y, z);
  Yield();
}

// One angle about the axis; the other two stay.
void TurnObjectAbout(int axis) {
  const int32_t number = IntOperand(0);
  const float angle = FloatOperand(1);
  SkipOperands(2);
  const uint32_t slot = CheckedObject(number);
  if (!slot || !AnglesAccepted(angle, angle, angle)) return;
  const ObjectRecord& o = ObjectOf(slot);
  TurnObjectTo(slot, axis == 0 ? angle : o.angleX, axis == 1 ? angle : o.angleY, axis == 2 ? angle : o.angleZ);
  Yield();
}

void CmdXRotateObject() { TurnObjectAbout(0); }
void CmdYRotateObject() { TurnObjectAbout(1); }
void CmdZRotateObject() { TurnObjectAbout(2); }

void CmdScaleObject() {
  const int32_t number = IntOperand(0);
  const float x = FloatOperand(1), y = FloatOperand(2), z = FloatOperand(3);
  SkipOperands(4);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  ObjectRecord& o = ObjectOf(slot);
  o.scaleX = x / 100.0f;
  o.scaleY = y / 100.0f;
  o.scaleZ = z / 100.0f;
  RootChanged(slot);
  Yield();
}

void SetRotationOrder(int32_t order) {
  const int32_t number = IntOperand(0);
  SkipOperands(1);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  ObjectOf(slot).rotationOrder = order;
  const ObjectRecord& o = ObjectOf(slot);
  TurnObjectTo(slot, o.angleX, o.angleY, o.angleZ);
}

void CmdSetObjectRotationXYZ() { SetRotationOrder(0); }
void CmdSetObjectRotationZYX() { SetRotationOrder(1); }

// --- Showing and drawing objects -------------------------------------------------------------------------------

// The object's render item after the object check; null when the number is refused.
RenderItem* CheckedItem(uint32_t& slot) {
  const int32_t number = IntOperand(0);
  slot = CheckedObject(number);
  return slot ? ItemOfObject(slot) : nullptr;
}

void ShowObject(int32_t visible) {
  uint32_t slot;
  RenderItem* it = CheckedItem(slot);
  SkipOperands(1);
  // An object moved into the static world is drawn there.
  if (it && !ObjectOf(slot).inStaticWorld) it->visible = visible;
  Yield();
}

void CmdHideObject() { ShowObject(0); }
void CmdShowObject() { ShowObject(1); }

void CmdGhostObjectOn() {
  uint32_t slot;
  RenderItem* it = CheckedItem(slot);
  SkipOperands(1);
  if (it && Display().gBlendLevel > 0) {
    ObjectOf(slot).draw.ghost = 1;
    ObjectOf(slot).draw.ghostMode = 0;
  }
  Yield();
}

void CmdGhostObjectOnMode() {
  uint32_t slot;
  RenderItem* it = CheckedItem(slot);
  const int32_t mode = IntOperand(1);
  SkipOperands(2);
  if (it && Display().gBlendLevel > 0) {
    ObjectOf(slot).draw.ghost = 1;
    ObjectOf(slot).draw.ghostMode = mode & 0xFFFF;
  }
  Yield();
}

void CmdGhostObjectOff() {
  uint32_t slot;
  RenderItem* it = CheckedItem(slot);
  SkipOperands(1);
  if (it) {
    ObjectOf(slot).draw.ghost = 0;
    ObjectOf(slot).draw.ghostMode = 0;
  }
  Yield();
}

void LockToCamera(int32_t locked) {
  uint32_t slot;
  RenderItem* it = CheckedItem(slot);
  SkipOperands(1);
  if (!it) return;
  ObjectOf(slot).draw.cameraLocked = locked;
  Engine().gSceneChanged = 1;
  Yield();
}

void CmdLockObjectToCamera() { LockToCamera(1); }
void CmdUnlockObjectFromCamera() { LockToCamera(0); }

void CmdScaleObjectNormals() {
  const int32_t number = IntOperand(0), percent = IntOperand(1);
  SkipOperands(2);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  if (SceneModel* model = ObjectOf(slot).model) model->ScaleNormals(float(percent) / 100.0f);
  SetNormalizeNormals(0);
  Yield();
}

// --- Collision ------------------------------------------------------------------------------------------------

void CmdCollisionOn() { Engine().gCollisionEnabled = 1; }
void CmdCollisionOff() { Engine().gCollisionEnabled = 0; }

void ApplyCollisionShape(uint32_t slot) {
  if (SceneModel* model = ObjectOf(slot).model) model->SetCollisionShape(slot, ObjectOf(slot).collisionShape, 0, 0, 0);
}

void CmdSetObjectCollisionOn() {
  const int32_t number = IntOperand(0);
  SkipOperands(1);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  ObjectOf(slot).collisionOn = 1;
  if (!ObjectOf(slot).boxCollision) ApplyCollisionShape(slot);
  Engine().gSceneChanged = 1;
}

void CmdSetObjectCollisionOff() {
  const int32_t number = IntOperand(0);
  SkipOperands(1);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  ObjectOf(slot).collisionOn = 0;
  if (SceneModel* model = ObjectOf(slot).model) model->ClearCollision();
  Engine().gSceneChanged = 1;
}

void SetCollisionShapeCode(int32_t code) {
  const int32_t number = IntOperand(0);
  SkipOperands(1);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  ObjectOf(slot).boxCollision = 0;
  ObjectOf(slot).collisionShape = code;
  ApplyCollisionShape(slot);
  Engine().gSceneChanged = 1;
}

void CmdSetObjectCollisionBoundingSphere() { SetCollisionShapeCode(kShapeFittedSphere); }
void CmdSetObjectCollisionBoundingBox() { SetCollisionShapeCode(kShapeFittedBox); }
void CmdSetObjectCollisionPolygons() { SetCollisionShapeCode(kShapeTriangles); }

}  // namespace

}  // namespace vx

#include "generated/commands/object_statement.inc"
