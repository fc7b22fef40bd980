// The object command families' checks, limb frame updates and limb textures (object_support.h).
#include "engine3d/object_support.h"

#include "common/runtime_hooks.h"
#include "engine3d/maths3d.h"
#include "engine3d/object_records.h"
#include "engine3d/objects.h"
#include "models/scene_model.h"
#include "surfaces/display_state.h"
#include "surfaces/engine_textures.h"
#include "surfaces/texture_names.h"

namespace vx {

ObjectRecord& ObjectOf(uint32_t objectSlot) { return Engine().gObjectRecords[objectSlot]; }

RenderItem* ItemOfObject(uint32_t objectSlot) {
  const int32_t item = Engine().gObjectRecords[objectSlot].itemSlot;
  if (item < 0 || ObjectOfItem(uint32_t(item)) != &Engine().gObjectRecords[objectSlot]) return nullptr;
  return &Records().gRenderItems[uint32_t(item)];
}

uint32_t CheckedObject(int32_t number) {
  if (number < 1 || number > 65535) {
    RaiseRuntimeError(kErrObjectNumberOutOfRange);
    return 0;
  }
  const uint32_t slot = ObjectSlotOf(number);
  if (!slot) RaiseRuntimeError(kErrObjectNotExist);
  return slot;
}

bool LimbInRange(uint32_t objectSlot, int32_t limb) {
  const ObjectRecord& o = Engine().gObjectRecords[objectSlot];
  if (limb >= 0 && limb < o.limbCapacity && o.limbs) return true;
  RaiseRuntimeError(kErrLimbNumberOutOfRange);
  return false;
}

bool LimbExists(uint32_t objectSlot, int32_t limb) {
  if (Engine().gObjectRecords[objectSlot].limbs[limb].exists == 1) return true;
  RaiseRuntimeError(kErrLimbNotExist);
  return false;
}

bool CheckedLimb(uint32_t objectSlot, int32_t limb) {
  return LimbInRange(objectSlot, limb) && LimbExists(objectSlot, limb);
}

namespace {

// A number of a pool's map from `lowest` to `highest`; number 0, where accepted, gives slot 0.
template <class Record>
bool CheckedNumber(int32_t number, int32_t lowest, int32_t highest, const NumberMap& map, RecordPool<Record>& pool,
                   int32_t rangeError, int32_t missingError, uint32_t& slot) {
  slot = 0;
  if (number < lowest || number > highest) {
    RaiseRuntimeError(rangeError);
    return false;
  }
  if (number == 0) return true;
  const uint32_t found = map[size_t(number)];
  if (!found || !pool.IsTaken(found)) {
    RaiseRuntimeError(missingError);
    return false;
  }
  slot = found;
  return true;
}

}  // namespace

bool CheckedMesh(int32_t number, int32_t lowest, uint32_t& meshSlot) {
  return CheckedNumber(number, lowest, 65534, Engine().gMeshSlotById, Engine().gMeshRecords, kErrMeshNumberOutOfRange,
                       kErrMeshNotExist, meshSlot);
}

bool CheckedImage(int32_t number, uint32_t& imageSlot) {
  return CheckedNumber(number, 0, 65535, Records().gImageSlotById, Records().gImageRecords, kErrImageNumberOutOfRange,
                       kErrImageNotExist, imageSlot);
}

uint32_t CheckedGrid(int32_t number) {
  if (number < 1 || number > 65535) {
    RaiseRuntimeError(kErrMatrixNumberOutOfRange);
    return 0;
  }
  const uint32_t slot = Engine().gGridSlotById[size_t(number)];
  if (slot != 0 && Engine().gObjectRecords.IsTaken(slot)) return slot;
  RaiseRuntimeError(kErrMatrixNotExist);
  return 0;
}

bool CheckedImageFromOne(int32_t number, uint32_t& imageSlot) {
  return CheckedNumber(number, 1, 65535, Records().gImageSlotById, Records().gImageRecords, kErrImageNumberOutOfRange,
                       kErrImageNotExist, imageSlot);
}

bool AnglesAccepted(float x, float y, float z) {
  auto accepted = [](float a) { return a >= 0.0f && a <= 360.0f; };
  if (accepted(x) && accepted(y) && accepted(z)) return true;
  RaiseRuntimeError(kErrAngleOutOfRange);
  return false;
}

ObjectLimbRecord& LimbOf(uint32_t objectSlot, int32_t limb) { return Engine().gObjectRecords[objectSlot].limbs[limb]; }

void UpdateLimbFrame(uint32_t objectSlot, int32_t limb) {
  const ObjectRecord& o = Engine().gObjectRecords[objectSlot];
  if (!o.model) return;
  const ObjectLimbRecord& l = o.limbs[limb];
  Matrix4f frame;
  ComposeFrameMatrix(frame, Vector3f(l.offsetX, l.offsetY, l.offsetZ), Vector3f(l.angleX, l.angleY, l.angleZ),
                     Vector3f(l.scaleX, l.scaleY, l.scaleZ), o.rotationOrder);
  o.model->SetMatrixById(limb, frame);
}

namespace {

// Each texture of the object's limbs that exist.
template <class F>
void ForLimbTextures(uint32_t objectSlot, F&& f) {
  const ObjectRecord& o = Engine().gObjectRecords[objectSlot];
  if (!o.model || !o.limbs) return;
  for (int32_t limb = 0; limb < o.limbCapacity; ++limb)
    if (o.limbs[limb].exists == 1)
      if (const uint32_t texture = o.model->GetTextureById(limb)) f(texture);
}

}  // namespace

void ApplyDrawingStyle(uint32_t objectSlot, const int32_t* v, int count) {
  RenderItem* it = ItemOfObject(objectSlot);
  if (!it) return;
  ObjectDrawState& draw = Engine().gObjectRecords[objectSlot].draw;
  draw.wireframe = v[0] == 1 ? 0 : 1;
  it->colourKey = v[1] == 1 ? 0 : 1;
  draw.culling = v[2] == 1 ? 1 : 0;
  if (count > 3) draw.filtering = v[3] == 1 ? 1 : 0;
  if (count > 4) draw.fullBright = v[4] == 1 ? 0 : 1;
  if (count > 5) draw.fog = v[5] != 0 ? 1 : 0;
  if (count > 6) draw.ambient = v[6] != 0 ? 1 : 0;
  if (it->colourKey == 1) ForLimbTextures(objectSlot, [](uint32_t texture) { ApplyTextureColorKey(texture); });
}

void ApplyTextureMode(uint32_t objectSlot, int32_t mode, int32_t mipmaps) {
  RenderItem* it = ItemOfObject(objectSlot);
  if (!it) return;
  // Only a mode the device can address is taken.
  int32_t& addressMode = Engine().gObjectRecords[objectSlot].draw.addressMode;
  if (mode == 0 && Display().gWrapAddressing) addressMode = 1;
  if (mode == 1 && Display().gMirrorAddressing) addressMode = 2;
  if (mode == 2 && Display().gClampAddressing) addressMode = 3;
  if (mipmaps == 1 && it->colourKey == 0 && Display().gMipmapping)
    ForLimbTextures(objectSlot, [](uint32_t texture) { BuildTextureMipmaps(texture, 0); });
}

void AssignFrameTexture(SceneModel* model, int32_t frameId, uint32_t textureSlot) {
  FrameNode* frame = model && model->root ? model->root->FindFrame(frameId) : nullptr;
  if (!frame) return;
  for (int32_t i = 0; MeshNode* mesh = frame->MeshAt(i); ++i) {
    const uint32_t old = mesh->textureSlot;
    if (old == textureSlot) continue;
    if (textureSlot) AddTextureUse(textureSlot);
    mesh->textureSlot = textureSlot;
    if (old) ReleaseTextureSlot(old, 0);
  }
}

}  // namespace vx
