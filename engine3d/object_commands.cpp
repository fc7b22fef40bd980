// Model and object commands: loading models into objects and meshes, making objects of the built-in
// and built meshes, instancing and deleting them, their drawing style and texture modes, turning
// them in free-rotation mode about their own axes, taking another object's or the camera's
// orientation, scrolling and scaling their textures, collision boxes, handing objects to the static
// world and taking them back, the world's files and boxes, and the global switches of wireframe,
// mipmap filter and texture addressing. The handlers check the numbers and call the
// engine (engine3d/objects.h, meshes.h); the drawing ones end the time slice while automatic
// refresh is on.
#include <string>

#include "common/checklist.h"
#include "common/interpreter_state.h"
#include "common/runtime_hooks.h"
#include "engine3d/maths3d.h"
#include "engine3d/meshes.h"
#include "engine3d/object_records.h"
#include "engine3d/object_support.h"
#include "engine3d/objects.h"
#include "engine3d/record_services.h"
#include "engine3d/scene_render.h"
#include "engine3d/scene_settings.h"
#include "engine3d/static_world.h"
#include "engine3d/static_world_file.h"
#include "engine3d/world_objects.h"
#include "models/scene_model.h"
#include "surfaces/display_state.h"
#include "surfaces/engine_textures.h"
#include "surfaces/texture_names.h"

namespace vx {

namespace {

void Yield() { EndSliceAfterCommand(SliceEnd::kAutoRefresh); }

// The first limbs from 0 up to the first that does not exist.
template <class F>
void ForLeadingLimbs(uint32_t objectSlot, F&& f) {
  for (int32_t limb = 0; limb < ObjectOf(objectSlot).limbCapacity && ObjectOf(objectSlot).limbs[limb].exists == 1;
       ++limb)
    f(limb);
}

// --- Loading and making -------------------------------------------------------------------------------

void CmdLoadObject() {
  const std::string fileName = TextOperand(0);
  const int32_t number = IntOperand(1);
  SkipOperands(2);
  LoadObject(fileName, number);
  Yield();
}

// A mesh number (1 to 65534, else 7001) made free for a new mesh: the mesh it held is deleted.
bool ClearMeshNumber(int32_t number) {
  if (number < 1 || number > 65534) {
    RaiseRuntimeError(kErrMeshNumberOutOfRange);
    return false;
  }
  if (const uint32_t old = Engine().gMeshSlotById[size_t(number)]) {
    if (Engine().gMeshRecords.IsTaken(old)) FreeMeshRecord(old);
    Engine().gMeshSlotById[size_t(number)] = 0;
  }
  return true;
}

void CmdLoadMesh() {
  const std::string fileName = TextOperand(0);
  const int32_t number = IntOperand(1);
  SkipOperands(2);
  if (!ClearMeshNumber(number)) return;
  const uint32_t temporary = AllocObjectRecord();
  if (temporary == kNoRecordSlot) return;
  const int32_t loaded = LoadModelFile(temporary, fileName);
  if (loaded <= 0) {
    FreeObjectRecord(temporary);
    RaiseRuntimeError(loaded == kLoadUnsupportedEnding ? kErrModelFileEnding : kErrMeshNotLoaded);
    return;
  }
  const int32_t mesh = MakeMeshFromObject(temporary, -1, -1);
  FreeObjectRecord(temporary);
  if (mesh < 0) {
    RaiseRuntimeError(kErrNoMeshMade);
    return;
  }
  Engine().gMeshSlotById[size_t(number)] = uint32_t(mesh);
}

void CmdDeleteMesh() {
  const int32_t number = IntOperand(0);
  SkipOperands(1);
  uint32_t mesh = 0;
  if (!CheckedMesh(number, 1, mesh)) return;
  FreeMeshRecord(mesh);
  Engine().gMeshSlotById[size_t(number)] = 0;
}

void CmdChecklistObjectLimbs() {
  const int32_t number = IntOperand(0);
  SkipOperands(1);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  ResetChecklist();
  Checklist().gChecklistFilled = Checklist().gChecklistHasValues = Checklist().gChecklistHasTexts = 1;
  if (const SceneModel* model = ObjectOf(slot).model) model->ListFrames();
}

void CmdMakeMeshFromObject() {
  const int32_t number = IntOperand(0), object = IntOperand(1);
  SkipOperands(2);
  if (number < 1 || number > 65534) {
    RaiseRuntimeError(kErrMeshNumberOutOfRange);
    return;
  }
  const uint32_t slot = CheckedObject(object);
  if (!slot || !ClearMeshNumber(number)) return;
  const int32_t mesh = MakeMeshFromObject(slot, -1, -1);
  if (mesh < 0) {
    RaiseRuntimeError(kErrNoMeshMade);
    return;
  }
  Engine().gMeshSlotById[size_t(number)] = uint32_t(mesh);
}

// The number must be 1 to 65535 (7006) and free (7007).
bool FreeObjectNumber(int32_t number) {
  if (number < 1 || number > 65535) {
    RaiseRuntimeError(kErrObjectNumberOutOfRange);
    return false;
  }
  if (ObjectSlotOf(number)) {
    RaiseRuntimeError(kErrObjectExists);
    return false;
  }
  return true;
}

// A new object under the number whose model is made of the mesh (none for slot 0) with the texture;
// its slot, or 0 when no record could be had. The object's model holds the texture's use.
uint32_t NewMeshObject(int32_t number, uint32_t meshSlot, uint32_t textureSlot) {
  const uint32_t slot = AllocObjectRecord();
  if (slot == kNoRecordSlot) {
    if (textureSlot) ReleaseTextureSlot(textureSlot, 0);
    return 0;
  }
  Engine().gObjectSlotById[size_t(number)] = slot;
  ObjectOf(slot).objectNumber = number;
  const bool built = meshSlot && BuildObjectFromMesh(slot, meshSlot, textureSlot) == 1;
  if (!built && textureSlot) ReleaseTextureSlot(textureSlot, 0);
  if (BuildObjectRecords(slot, 1) == kNoRecordSlot) {
    DeleteObjectRecord(slot, number);
    return 0;
  }
  ObjectOf(slot).limbCount = 1;
  return slot;
}

void ApplyShape(uint32_t slot, int32_t code, float s1, float s2, float s3) {
  ObjectOf(slot).collisionShape = code;
  if (SceneModel* model = ObjectOf(slot).model) model->SetCollisionShape(slot, code, s1, s2, s3);
  Engine().gSceneChanged = 1;
}

struct MadeShape {
  int32_t code;
  float sizes[3];
  bool boxCollision;
  bool cullingOff;
};

// The make commands of the built-in and built meshes: the mesh is made in a record of its own,
// copied into the object's model and given back.
template <class Fill>
void MakeObjectOfMesh(int32_t number, Fill fill, const MadeShape& shape) {
  if (!FreeObjectNumber(number)) return;
  const uint32_t mesh = AllocMeshRecord();
  if (mesh == kNoRecordSlot) return;
  fill(mesh);
  const uint32_t slot = NewMeshObject(number, mesh, 0);
  FreeMeshRecord(mesh);
  if (!slot) return;
  if (shape.boxCollision) {
    ObjectOf(slot).boxCollision = 1;
    ObjectOf(slot).boxMode = 0;
  }
  if (shape.cullingOff) ObjectOf(slot).draw.culling = 0;
  ApplyShape(slot, shape.code, shape.sizes[0], shape.sizes[1], shape.sizes[2]);
  Yield();
}

void CmdMakeObject() {
  const int32_t number = IntOperand(0), meshNumber = IntOperand(1), imageNumber = IntOperand(2);
  SkipOperands(3);
  uint32_t mesh = 0, image = 0;
  if (!FreeObjectNumber(number) || !CheckedMesh(meshNumber, 0, mesh) || !CheckedImage(imageNumber, image)) return;
  const uint32_t texture = image ? GetSharedImageTexture(image, 1) : 0;
  const uint32_t slot = NewMeshObject(number, mesh, texture);
  if (!slot) return;
  ObjectLimbRecord& limb = ObjectOf(slot).limbs[0];
  limb.imageNumber = imageNumber;
  limb.imageSlot = int32_t(image);
  limb.textureSlot = mesh ? int32_t(texture) : 0;
  ApplyShape(slot, kShapeFittedBox, 0, 0, 0);
  Yield();
}

void CmdDeleteObject() {
  const int32_t number = IntOperand(0);
  SkipOperands(1);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  DeleteObjectRecord(slot, number);
  Yield();
}

void CmdMakeObjectBox() {
  const int32_t number = IntOperand(0);
  const float w = FloatOperand(1), h = FloatOperand(2), d = FloatOperand(3);
  SkipOperands(4);
  MakeObjectOfMesh(number, [&](uint32_t mesh) { BuildBoxMesh(mesh, w, h, d); }, {kShapeBox, {w, h, d}, true, false});
}

// The make commands of one size: the shape's sizes are the size times the factors.
void MakeObjectOfSize(int32_t (*load)(uint32_t, float), int32_t code, float first, float second, bool boxCollision) {
  const int32_t number = IntOperand(0);
  const float size = FloatOperand(1);
  SkipOperands(2);
  MakeObjectOfMesh(number, [&](uint32_t mesh) { load(mesh, size); },
                   {code, {size * first, size * second, 0}, boxCollision, false});
}

void CmdMakeObjectSphere() { MakeObjectOfSize(LoadSphereMesh, kShapeSphere, 0.5f, 0.0f, false); }
void CmdMakeObjectCube() { MakeObjectOfSize(LoadCubeMesh, kShapeCube, 1.0f, 0.0f, true); }
void CmdMakeObjectCylinder() { MakeObjectOfSize(LoadCylinderMesh, kShapeCylinder, 0.5f, 1.0f, false); }
void CmdMakeObjectCone() { MakeObjectOfSize(LoadConeMesh, kShapeCone, 0.5f, 1.0f, false); }

void CmdMakeObjectPlain() {
  const int32_t number = IntOperand(0);
  const float w = FloatOperand(1), h = FloatOperand(2);
  SkipOperands(3);
  MakeObjectOfMesh(number, [&](uint32_t mesh) { LoadPlainMesh(mesh, w, h); },
                   {kShapeFlatBox, {w, h, 1.0f}, true, true});
}

void CmdMakeObjectTriangle() {
  const int32_t number = IntOperand(0);
  float p[9];
  for (int i = 0; i < 9; ++i) p[i] = FloatOperand(1 + i);
  SkipOperands(10);
  MakeObjectOfMesh(
      number, [&](uint32_t mesh) { BuildTriangleMesh(mesh, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8]); },
      {kShapeTriangles, {0, 0, 0}, false, true});
}

void CmdInstanceObject() {
  const int32_t source = IntOperand(0), number = IntOperand(1);
  SkipOperands(2);
  InstanceObject(source, number);
  Yield();
}

// --- Drawing style ------------------------------------------------------------------------------------------

// Fill, colour key and culling, then as many of filtering, lighting, fog and ambient as the row has.
void SetObjectStyle(int count) {
  int32_t v[8] = {};
  for (int i = 0; i < count; ++i) v[i] = IntOperand(i);
  SkipOperands(count);
  const uint32_t slot = CheckedObject(v[0]);
  if (!slot) return;
  ApplyDrawingStyle(slot, v + 1, count - 1);
  Yield();
}

void CmdSetObjectStyle() { SetObjectStyle(4); }
void CmdSetObjectStyle4() { SetObjectStyle(5); }
void CmdSetObjectStyle5() { SetObjectStyle(6); }
void CmdSetObjectStyle6() { SetObjectStyle(7); }
void CmdSetObjectStyle7() { SetObjectStyle(8); }

void CmdSetObjectTextureMode() {
  const int32_t number = IntOperand(0), mode = IntOperand(1), mipmaps = IntOperand(2);
  SkipOperands(3);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  ApplyTextureMode(slot, mode, mipmaps);
  Yield();
}

void SetOverlay(int32_t on) {
  const int32_t number = IntOperand(0);
  SkipOperands(1);
  if (const uint32_t slot = CheckedObject(number)) ObjectOf(slot).draw.overlay = on;
}

void CmdSetObjectOverlayOn() { SetOverlay(1); }
void CmdSetObjectOverlayOff() { SetOverlay(0); }

void CmdWireframeOn() { Scene().gWireframeAll = 1; }
void CmdWireframeOff() { Scene().gWireframeAll = 0; }

void CmdSetMipmapMode() {
  const int32_t mode = IntOperand(0);
  SkipOperands(1);
  SetMipmapFilter(uint32_t(mode));
}

void CmdSetTextureAddressMode() {
  const int32_t mode = IntOperand(0);
  SkipOperands(1);
  Scene().gGlobalAddressMode = mode == 1 ? 2 : mode == 2 ? 3 : 1;
  Yield();
}

// --- Collision boxes --------------------------------------------------------------------------------------

void CmdSetObjectCollisionBox() {
  const int32_t number = IntOperand(0);
  float c[6];
  for (int i = 0; i < 6; ++i) c[i] = FloatOperand(1 + i);
  const int32_t mode = IntOperand(7);
  SkipOperands(8);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  ObjectRecord& o = ObjectOf(slot);
  o.boxCollision = 1;
  for (int i = 0; i < 3; ++i) {
    o.boxMin[i] = c[i];
    o.boxMax[i] = c[i + 3];
    o.boxCentre[i] = c[i] + (c[i + 3] - c[i]) * 0.5f;
  }
  o.boxMode = mode == 1 ? 0 : 1;
  o.boxModeByte = mode == 1 ? 0 : 1;
  if (o.model) o.model->ClearCollision();
}

void CmdDeleteObjectCollisionBox() {
  const int32_t number = IntOperand(0);
  SkipOperands(1);
  if (const uint32_t slot = CheckedObject(number)) ObjectOf(slot).boxCollision = 0;
}

// --- Textures of every limb ---------------------------------------------------------------------------------

template <class Change>
void ChangeObjectTexture(Change change) {
  const int32_t number = IntOperand(0);
  const float u = FloatOperand(1), v = FloatOperand(2);
  SkipOperands(3);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  if (SceneModel* model = ObjectOf(slot).model)
    ForLeadingLimbs(slot, [&](int32_t limb) { change(*model, limb, u, v); });
  Yield();
}

void CmdScrollObjectTexture() {
  ChangeObjectTexture([](SceneModel& m, int32_t limb, float u, float v) { m.ScrollUvById(limb, u, v); });
}

void CmdScaleObjectTexture() {
  ChangeObjectTexture([](SceneModel& m, int32_t limb, float u, float v) { m.ScaleUvById(limb, u, v); });
}

// --- Free rotation ---------------------------------------------------------------------------------------------

// The object's root frame and angles follow its free rotation matrix, and it stays in free mode.
void TakeFreeMatrix(uint32_t slot, const Matrix4f& matrix) {
  ObjectRecord& o = ObjectOf(slot);
  o.freeMatrix = matrix;
  o.freeRotation = 1;
  MatrixToEulerDegrees(o.freeMatrix.m, o.angleX, o.angleY, o.angleZ);
  UpdateObjectFrame(slot);
  Engine().gSceneChanged = 1;
}

// Turns the object about one of its own axes by the angle (degrees), negated for `negative`.
void TurnObject(int axis, bool negative) {
  const int32_t number = IntOperand(0);
  const float angle = FloatOperand(1);
  SkipOperands(2);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  float turn = WrapAngleDegrees(angle);
  if (negative) turn = -turn;
  Matrix4f m = ObjectOf(slot).freeMatrix;
  RotateMatrixByAngles(m, axis == 0 ? turn : 0.0f, axis == 1 ? turn : 0.0f, axis == 2 ? turn : 0.0f);
  TakeFreeMatrix(slot, m);
  Yield();
}

void CmdYawObjectPositive() { TurnObject(1, false); }
void CmdYawObjectNegative() { TurnObject(1, true); }
void CmdPitchObjectPositive() { TurnObject(0, false); }
void CmdPitchObjectNegative() { TurnObject(0, true); }
void CmdRollObjectNegative() { TurnObject(2, true); }
void CmdRollObjectPositive() { TurnObject(2, false); }

// The object turned by angles (degrees), leaving free-rotation mode.
void TakeAngles(uint32_t slot, float x, float y, float z) {
  ObjectRecord& o = ObjectOf(slot);
  o.angleX = x;
  o.angleY = y;
  o.angleZ = z;
  if (o.freeRotation) {
    MatrixIdentity(o.freeMatrix);
    o.freeRotation = 0;
  }
  UpdateObjectFrame(slot);
  Engine().gSceneChanged = 1;
}

void CmdSetObjectToObjectOrientation() {
  const int32_t number = IntOperand(0), sourceNumber = IntOperand(1);
  SkipOperands(2);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  const uint32_t source = CheckedObject(sourceNumber);
  if (!source) return;
  const ObjectRecord& s = ObjectOf(source);
  if (s.freeRotation)
    TakeFreeMatrix(slot, s.freeMatrix);
  else
    TakeAngles(slot, s.angleX, s.angleY, s.angleZ);
}

void CmdSetObjectToCameraOrientation() {
  const int32_t number = IntOperand(0);
  SkipOperands(1);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  if (Scene().gCameraMode == kCameraFree)
    TakeFreeMatrix(slot, Scene().gCameraFreeMatrix);
  else
    TakeAngles(slot, Scene().gCameraAngles.x * kEngineRadiansToDegrees,
               Scene().gCameraAngles.y * kEngineRadiansToDegrees, Scene().gCameraAngles.z * kEngineRadiansToDegrees);
}

// --- The static world ------------------------------------------------------------------------------------

// Hands the object's geometry to the world for good with the build flags of a mode: a culling box
// for modes 1, 3 and 4, the radius for modes 2, 3 and 4, the whole height for mode 4.
void AddToStaticWorld(int32_t number, int32_t mode) {
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  const int32_t box = mode == 1 || mode == 3 || mode == 4, radius = mode == 2 || mode == 3 || mode == 4;
  if (AddObjectToStaticWorld(slot, box, radius, 0, mode == 4) != 0) RaiseRuntimeError(kErrNoMeshMade);
}

void CmdAddObjectToStaticWorld() {
  const int32_t number = IntOperand(0);
  SkipOperands(1);
  AddToStaticWorld(number, 0);
}

void CmdAddObjectToStaticWorldMode() {
  const int32_t number = IntOperand(0), mode = IntOperand(1);
  SkipOperands(2);
  AddToStaticWorld(number, mode);
}

void CmdClearStaticWorld() { ClearStaticWorld(); }

void CmdMoveObjectToStaticWorld() {
  const int32_t number = IntOperand(0);
  SkipOperands(1);
  const uint32_t slot = CheckedObject(number);
  if (!slot || ObjectOf(slot).inStaticWorld) return;
  MoveObjectToStaticWorld(slot);
  if (RenderItem* it = ItemOfObject(slot)) it->visible = 0;
  ObjectOf(slot).inStaticWorld = 1;
}

void CmdRestoreObjectFromStaticWorld() {
  const int32_t number = IntOperand(0);
  SkipOperands(1);
  const uint32_t slot = CheckedObject(number);
  if (!slot || !ObjectOf(slot).inStaticWorld) return;
  RemoveObjectFromStaticWorld(slot);
  if (RenderItem* it = ItemOfObject(slot)) it->visible = 1;
  ObjectOf(slot).inStaticWorld = 0;
}

void CmdLoadStaticWorld() {
  const std::string fileName = TextOperand(0);
  SkipOperands(1);
  LoadStaticWorldFile(fileName.c_str());
}

void CmdSaveStaticWorld() {
  const std::string fileName = TextOperand(0);
  SkipOperands(1);
  SaveStaticWorldFile(fileName.c_str());
}

void CmdAddStaticCollisionBox() {
  float c[6];
  for (int i = 0; i < 6; ++i) c[i] = FloatOperand(i);
  SkipOperands(6);
  AddStaticCollisionBox(c[0], c[1], c[2], c[3], c[4], c[5]);
}

void CmdStaticWorldCullingOff() { Engine().gStaticWorld.occlusionOn = 0; }
void CmdStaticWorldCullingOn() { Engine().gStaticWorld.occlusionOn = 1; }

}  // namespace

}  // namespace vx

#include "generated/commands/object.inc"
