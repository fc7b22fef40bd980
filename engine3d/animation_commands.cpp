// Object animation commands: playing, looping and stopping an object's keyframe animation over all
// its frames or a range, setting its frame (blending into it when it does not loop), its speed and
// its blend, appending animation files, recording and deleting keys and writing them to a file;
// gluing an object to another's limb, pointing and moving an object, baking its rotation, and
// texturing and colouring all its limbs. The end of every frame plays what these set up
// (engine3d/animation.h).
#include <string>

#include "common/host_state.h"
#include "common/interpreter_state.h"
#include "common/runtime_hooks.h"
#include "common/value_slot.h"
#include "engine3d/animation.h"
#include "engine3d/maths3d.h"
#include "engine3d/object_records.h"
#include "engine3d/object_support.h"
#include "engine3d/objects.h"
#include "engine3d/scene_render.h"
#include "models/model_maths.h"
#include "models/scene_model.h"
#include "surfaces/engine_textures.h"
#include "surfaces/texture_names.h"

namespace vx {

namespace {

AnimationSet* SetOf(uint32_t slot) { return ObjectOf(slot).model ? ObjectOf(slot).model->GetAnimationSet() : nullptr; }

// The object's slot when it has an animation set; 7601 when it has none.
uint32_t AnimatedObject(int32_t number) {
  const uint32_t slot = CheckedObject(number);
  if (!slot) return 0;
  if (!SetOf(slot)) {
    RaiseRuntimeError(kErrObjectHasNoAnimation);
    return 0;
  }
  return slot;
}

void EnsureListed(uint32_t slot) {
  if (!ObjectOf(slot).animationNode) AddToAnimatedList(slot);
}

// Playing from `start` to `end`; a playing start moves the current frame there.
void Play(uint32_t slot, int32_t looping, float start, float end, bool fromStart) {
  ObjectRecord& o = ObjectOf(slot);
  o.playing = 1;
  o.looping = looping;
  o.blendPending = 0;
  o.startFrame = start;
  o.endFrame = end;
  if (fromStart) o.currentFrame = start;
  EnsureListed(slot);
}

float FrameOperand(int k) { return float(IntOperand(k)); }

// --- Playing ------------------------------------------------------------------------------------------------

// The play and loop rows: the object, then a start frame (0 without) and an end frame (the last
// without). Playing starts at the start frame; looping goes on from the current frame.
void PlayRow(int operands, int32_t looping) {
  const int32_t number = IntOperand(0);
  const float start = operands > 1 ? FrameOperand(1) : 0.0f;
  const float end = operands > 2 ? FrameOperand(2) : 0.0f;
  SkipOperands(operands);
  const uint32_t slot = AnimatedObject(number);
  if (slot) Play(slot, looping, start, operands > 2 ? end : ObjectOf(slot).frameCount, looping == 0);
}

void CmdPlayObject() { PlayRow(1, 0); }
void CmdPlayObjectFrom() { PlayRow(2, 0); }
void CmdPlayObjectRange() { PlayRow(3, 0); }
void CmdLoopObject() { PlayRow(1, 1); }
void CmdLoopObjectFrom() { PlayRow(2, 1); }
void CmdLoopObjectRange() { PlayRow(3, 1); }

void CmdStopObject() {
  const int32_t number = IntOperand(0);
  SkipOperands(1);
  if (const uint32_t slot = AnimatedObject(number)) StopObjectAnimation(slot);
}

void CmdSetObjectFrame() {
  const int32_t number = IntOperand(0);
  const float frame = FloatOperand(1);
  SkipOperands(2);
  const uint32_t slot = AnimatedObject(number);
  if (!slot) return;
  ObjectRecord& o = ObjectOf(slot);
  if (!(frame >= 0.0f && frame <= o.frameCount)) {
    RaiseRuntimeError(kErrAnimationFrameOutOfRange);
    return;
  }
  if (o.looping) {
    o.currentFrame = frame;
  } else {
    // A blend into the frame; without room for its tracks it jumps there.
    EnsureBlendArrays(slot, SetOf(slot)->TrackCount());
    o.blendPending = 1;
    o.blendProgress = 0.0f;
    o.blendTargetFrame = frame;
  }
  EnsureListed(slot);
}

void CmdSetObjectSpeed() {
  const int32_t number = IntOperand(0), speed = IntOperand(1);
  SkipOperands(2);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  if (speed < -100 || speed > 100) {
    RaiseRuntimeError(kErrAnimationSpeedOutOfRange);
    return;
  }
  ObjectOf(slot).speed = float(speed) / 25.0f;
}

void CmdSetObjectInterpolation() {
  const int32_t number = IntOperand(0), percent = IntOperand(1);
  SkipOperands(2);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  if (percent < 1 || percent > 100) {
    RaiseRuntimeError(kErrInterpolationOutOfRange);
    return;
  }
  ObjectOf(slot).blendFactor = float(percent) / 100.0f;
}

// --- Animation files and keys ------------------------------------------------------------------------------

void CmdAppendAnimationFile() {
  const std::string fileName = TextOperand(0);
  const int32_t number = IntOperand(1), start = IntOperand(2);
  SkipOperands(3);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  if (!(float(start) > ObjectOf(slot).frameCount)) {
    RaiseRuntimeError(kErrAnimationStartAfterLastFrame);
    return;
  }
  if (!SetOf(slot) || LoadAnimationFile(slot, fileName, start) != 1) {
    RaiseRuntimeError(kErrAnimationFileNotLoaded);
    return;
  }
  RecountFrames(SetOf(slot), slot);
}

void CmdSaveObjectAnimation() {
  std::string fileName = TextOperand(0);
  const int32_t number = IntOperand(1);
  SkipOperands(2);
  const uint32_t slot = AnimatedObject(number);
  if (!slot) return;
  if (ObjectOf(slot).model->WriteAnimation(fileName) != kModelOk) RaiseRuntimeError(kErrAnimationFileNotSaved);
}

void CmdAppendObjectAnimation() {
  std::string modelFile = TextOperand(0), animationFile = TextOperand(1);
  const int32_t number = IntOperand(2), readerFlags = IntOperand(3);
  SkipOperands(4);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  SceneModel* model = ObjectOf(slot).model;
  if (!model || (!model->GetAnimationSet() && !CreateAnimationSet(slot))) {
    RaiseRuntimeError(kErrAnimationFileNotLoaded);
    return;
  }
  ResolveVirtualFile(modelFile, "dat");
  ResolveVirtualFile(animationFile, "dat");
  const float start = float(SaturateToInt32(ObjectOf(slot).frameCount));
  if (AppendXAnimationFile(*model, modelFile, animationFile, readerFlags, start, Host().gTempFolder) != kModelOk) {
    RaiseRuntimeError(kErrAnimationFileNotLoaded);
    return;
  }
  RecountFrames(SetOf(slot), slot);
}

void CmdClearObjectAnimation() {
  const int32_t number = IntOperand(0);
  SkipOperands(1);
  const uint32_t slot = CheckedObject(number);
  if (!slot || !SetOf(slot)) return;
  StopObjectAnimation(slot);
  SceneModel* model = ObjectOf(slot).model;
  delete model->GetAnimationSet();
  model->SetAnimationSet(nullptr);
  ObjectRecord& o = ObjectOf(slot);
  o.currentFrame = o.startFrame = o.endFrame = o.frameCount = 0.0f;
  o.blendPending = 0;
}

void CmdDeleteObjectKeyframe() {
  const int32_t number = IntOperand(0), frame = IntOperand(1);
  SkipOperands(2);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  if (AnimationSet* set = SetOf(slot)) DeleteKeyframe(*set, frame);
}

void CmdSetObjectKeyframe() {
  const int32_t number = IntOperand(0), frame = IntOperand(1);
  SkipOperands(2);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  AnimationSet* set = SetOf(slot);
  if (!set) set = CreateAnimationSet(slot);
  if (!set) return;  // an object without a model has no limbs to record
  ObjectOf(slot).frameCount = float(SetKeyframe(*set, slot, frame));
  ObjectOf(slot).endFrame = ObjectOf(slot).frameCount;
}

// --- Glue -------------------------------------------------------------------------------------------------------

// True when gluing the object to the target would close a loop: the target is the object or hangs
// on it through other glued objects.
bool GlueWouldLoop(uint32_t object, uint32_t target) {
  uint32_t entry = target;
  for (int32_t steps = 0; entry > 0 && steps <= Engine().gObjectRecords.capacity; ++steps) {
    if (entry == object) return true;
    if (!Engine().gObjectRecords.IsTaken(entry)) return false;
    const int32_t next = ObjectOf(entry).gluedObject;
    if (next <= 0) return false;
    entry = uint32_t(next);
  }
  return true;
}

void CmdGlueObjectToLimb() {
  const int32_t number = IntOperand(0), targetNumber = IntOperand(1), limb = IntOperand(2);
  SkipOperands(3);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  const uint32_t target = CheckedObject(targetNumber);
  if (!target || !CheckedLimb(target, limb)) return;
  if (GlueWouldLoop(slot, target)) return;  // an object never hangs on itself
  GlueObject(slot, target, limb);
  ObjectRecord& o = ObjectOf(slot);
  o.position.Set(0, 0, 0);
  o.freeRotation = 0;
  UpdateObjectFrame(slot);
  Engine().gSceneChanged = 1;
}

void CmdUnglueObject() {
  const int32_t number = IntOperand(0);
  SkipOperands(1);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  const int32_t target = ObjectOf(slot).gluedObject;
  if (target <= 0) return;
  if (Engine().gObjectRecords.IsTaken(uint32_t(target))) {
    UpdateObjectWorldMatrices(uint32_t(target), 1);
    Matrix4f limb;
    if (GetLimbWorldMatrix(uint32_t(target), ObjectOf(slot).gluedLimb, limb))
      ObjectOf(slot).position.Set(limb.At(3, 0), limb.At(3, 1), limb.At(3, 2));
  }
  ObjectRecord& o = ObjectOf(slot);
  o.freeRotation = 0;
  UpdateObjectFrame(slot);
  Engine().gSceneChanged = 1;
  UnglueObject(slot);
}

// --- Pointing, moving and baking --------------------------------------------------------------------------------

void CmdPointObject() {
  const int32_t number = IntOperand(0);
  const float x = FloatOperand(1), y = FloatOperand(2), z = FloatOperand(3);
  SkipOperands(4);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  const Vector3f from = ObjectOf(slot).position;
  float ax = 0, ay = 0, az = 0;
  AnglesTowardsPoint(from.x, from.y, from.z, x, y, z, ax, ay, az);
  ObjectRecord& o = ObjectOf(slot);
  o.angleX = WrapAngleDegrees(ax * kEngineRadiansToDegrees);
  o.angleY = WrapAngleDegrees(ay * kEngineRadiansToDegrees);
  o.angleZ = WrapAngleDegrees(az * kEngineRadiansToDegrees);
  UpdateObjectFrame(slot);
  Engine().gSceneChanged = 1;
}

// The object's rotation as its frame has it: from its angles, or from its free rotation matrix.
Matrix4f ObjectRotation(const ObjectRecord& o) {
  Matrix4f m;
  const Vector3f origin(0, 0, 0), unit(1, 1, 1);
  if (!o.freeRotation || ComposeFrameMatrixFromRotation(m, origin, o.freeMatrix, unit) != kMathsOk) {
    const Vector3f angles(WrapAngleDegrees(o.angleX), WrapAngleDegrees(o.angleY), WrapAngleDegrees(o.angleZ));
    ComposeFrameMatrix(m, origin, o.freeRotation ? Vector3f(0, 0, 0) : angles, unit, o.rotationOrder);
  }
  return m;
}

void CmdMoveObject() {
  const int32_t number = IntOperand(0);
  const float step = FloatOperand(1);
  SkipOperands(2);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  // The way it faces is its +z axis turned by its rotation.
  const Matrix4f r = ObjectRotation(ObjectOf(slot));
  ObjectOf(slot).position.Add(Vector3f(r.At(2, 0) * step, r.At(2, 1) * step, r.At(2, 2) * step));
  UpdateObjectFrame(slot);
  Engine().gSceneChanged = 1;
}

void CmdBakeObjectRotation() {
  const int32_t number = IntOperand(0);
  SkipOperands(1);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  ObjectRecord& o = ObjectOf(slot);
  // The rotation as it stands between the scale and the place: S x R x inverse(S), so that the
  // root's S x T afterwards puts everything where S x R x T had it.
  Matrix4f r = ObjectRotation(o);
  if (o.scaleX != 0.0f && o.scaleY != 0.0f && o.scaleZ != 0.0f) {
    const float s[3] = {o.scaleX, o.scaleY, o.scaleZ};
    for (int row = 0; row < 3; ++row)
      for (int column = 0; column < 3; ++column) r.At(row, column) *= s[row] / s[column];
  }
  if (o.model && o.model->root) {
    // What hangs on the root turns once; the root itself keeps only the place and scale.
    for (SceneNode* c = o.model->root->firstChild(); c; c = c->nextSibling()) {
      if (c->kind() == SceneNode::Kind::Frame) {
        auto* frame = static_cast<FrameNode*>(c);
        frame->set_matrix(models::Multiply(frame->matrix(), r));
      } else {
        MeshGeometry& mesh = static_cast<MeshNode*>(c)->EditGeometry();
        for (Vector3f& p : mesh.positions) p = models::TransformPoint(p, r);
        for (Vector3f& n : mesh.normals) n = models::TransformDirection(n, r);
      }
    }
  }
  o.angleX = o.angleY = o.angleZ = 0.0f;
  o.freeRotation = 0;
  MatrixIdentity(o.freeMatrix);
  UpdateObjectFrame(slot);
  // Shapes fitted to the mesh are fitted again; the others keep their sizes.
  const int32_t shape = o.collisionShape;
  if (o.model && (shape == kShapeFittedSphere || shape == kShapeFittedBox || shape == kShapeTriangles))
    o.model->SetCollisionShape(slot, shape, 0, 0, 0);
  Engine().gSceneChanged = 1;
}

// --- Textures of every limb ---------------------------------------------------------------------------------------

// Gives the limbs from 0 up to the first missing one the texture (whose use the caller took, and
// which is given back here: the meshes hold their own).
void TextureLeadingLimbs(uint32_t slot, uint32_t texture, int32_t imageNumber, uint32_t imageSlot) {
  for (int32_t limb = 0; limb < ObjectOf(slot).limbCapacity && LimbOf(slot, limb).exists == 1; ++limb) {
    AssignFrameTexture(ObjectOf(slot).model, limb, texture);
    ObjectLimbRecord& l = LimbOf(slot, limb);
    l.imageNumber = imageNumber;
    l.imageSlot = int32_t(imageSlot);
    l.textureSlot = imageSlot ? int32_t(texture) : 0;
  }
  if (texture) ReleaseTextureSlot(texture, 0);
  EndSliceAfterCommand(SliceEnd::kAutoRefresh);
}

void CmdTextureObject() {
  const int32_t number = IntOperand(0), imageNumber = IntOperand(1);
  SkipOperands(2);
  const uint32_t slot = CheckedObject(number);
  uint32_t image = 0;
  if (!slot || !CheckedImage(imageNumber, image)) return;
  TextureLeadingLimbs(slot, image ? GetSharedImageTexture(image, 1) : 0, imageNumber, image);
}

void CmdColorObject() {
  const int32_t number = IntOperand(0), colour = IntOperand(1);
  SkipOperands(2);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  TextureLeadingLimbs(slot, GetColorTexture(colour), 0, 0);
}

}  // namespace

}  // namespace vx

#include "generated/commands/object_animation.inc"
