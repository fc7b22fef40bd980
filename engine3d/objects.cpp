// 3D objects and model loading (objects.h): the load of a model file into an object, the set-up
// of a new object's records, instances, objects built from mesh records, the sharing of scene
// trees, the engine's services for the model code and the object collision bookkeeping.
#include "engine3d/objects.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "common/host_state.h"
#include "common/runtime_hooks.h"
#include "common/value_slot.h"
#include "engine3d/animation.h"
#include "engine3d/backdrop.h"
#include "engine3d/maths3d.h"
#include "engine3d/meshes.h"
#include "engine3d/object_records.h"
#include "engine3d/scene_render.h"
#include "engine3d/scene_settings.h"
#include "models/scene_model.h"
#include "surfaces/display_state.h"
#include "surfaces/engine_textures.h"
#include "surfaces/texture_names.h"
#include "system/file_functions.h"

namespace vx {

namespace {

ObjectRecord& Object(uint32_t slot) { return Engine().gObjectRecords[slot]; }

// --- Shared trees ------------------------------------------------------------------------------------

std::unordered_map<const SceneModel*, int32_t>& ModelUsers() {
  static std::unordered_map<const SceneModel*, int32_t> users;
  return users;
}

// Each mesh holds one use of its texture; the tree gives them back when it goes.
void ReleaseModelTextures(SceneModel& model) {
  std::vector<SceneNode*> stack;
  if (model.root) stack.push_back(model.root);
  while (!stack.empty()) {
    SceneNode* node = stack.back();
    stack.pop_back();
    if (node->kind() == SceneNode::Kind::Mesh) {
      auto* mesh = static_cast<MeshNode*>(node);
      if (mesh->textureSlot != 0) ReleaseTextureSlot(mesh->textureSlot, 0);
      mesh->textureSlot = 0;
    }
    for (SceneNode* c = node->firstChild(); c; c = c->nextSibling()) stack.push_back(c);
  }
}

// --- Services for the model code ---------------------------------------------------------------------

class EngineModelServices final : public ModelServices {
 public:
  uint32_t LoadTexture(const std::string& fileName) override { return LoadTextureFile(fileName.c_str(), 0); }
  void ReleaseTexture(uint32_t textureSlot) override { ReleaseTextureSlot(textureSlot, 0); }
  win::Direct3D* Direct3DForBuffers() override { return Display().gDirect3D; }
};

std::string Lowercased(const std::string& text) {
  std::string out = text;
  for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Clears the model folder when a load ends, whichever way it ends.
struct ModelFolderScope {
  ~ModelFolderScope() { Records().gModelFolder.clear(); }
};

bool InObjectRange(int32_t number) { return number >= 1 && number <= 65535; }

void SetLimbOffsetsFromModel(uint32_t slot) {
  const int32_t count = Object(slot).limbCount;
  GrowLimbArray(slot, count);  // before any limb beyond the first 32 is written
  const SceneModel* model = Object(slot).model;
  const std::vector<const FrameNode*> frames =
      model && model->root ? model->root->FramesById(count) : std::vector<const FrameNode*>();
  for (int32_t limb = 0; limb < count && limb < Object(slot).limbCapacity; ++limb) {
    ObjectLimbRecord& l = Object(slot).limbs[limb];
    ResetLimbRecord(l);
    if (size_t(limb) < frames.size() && frames[size_t(limb)]) {
      const Matrix4f& m = frames[size_t(limb)]->matrix();
      l.offsetX = m.At(3, 0);
      l.offsetY = m.At(3, 1);
      l.offsetZ = m.At(3, 2);
    }
    l.reserved = 0;
  }
}

void ApplyFittedBoxCollision(uint32_t slot) {
  Object(slot).collisionShape = kShapeFittedBox;
  if (Object(slot).model) Object(slot).model->SetCollisionShape(slot, kShapeFittedBox, 0, 0, 0);
  Engine().gSceneChanged = 1;
}

}  // namespace

void ShareModel(SceneModel* model) {
  if (model) ++ModelUsers()[model];
}

void DropModel(SceneModel* model) {
  if (!model) return;
  auto& users = ModelUsers();
  auto it = users.find(model);
  if (it != users.end() && --it->second > 0) return;
  if (it != users.end()) users.erase(it);
  ReleaseModelTextures(*model);
  delete model;
}

int32_t ModelUserCount(const SceneModel* model) {
  auto it = ModelUsers().find(model);
  return it == ModelUsers().end() ? 0 : it->second;
}

void RegisterModelServices() {
  static EngineModelServices services;
  SetModelServices(&services);
}

MeshRecordView ViewOfMesh(const MeshRecord& mesh) {
  MeshRecordView view;
  view.vertexCount = uint32_t(std::max(0, mesh.vertexCount));
  view.normalCount = uint32_t(std::max(0, mesh.normalCount));
  view.faceCount = uint32_t(std::max(0, mesh.faceCount));
  view.positions = mesh.positions;
  view.normals = mesh.normals;
  view.faces = mesh.faces;
  view.textureCoords = mesh.textureCoords;
  return view;
}

// --- Loading ---------------------------------------------------------------------------------------------

std::string ModelFolderOf(const std::string& name) {
  for (size_t i = name.size() >= 2 ? name.size() - 2 : 0; i >= 1 && i < name.size(); --i)
    if (name[i] == '\\' || name[i] == '/') return name.substr(0, i + 1);
  return "";
}

std::string FileEndingOf(const std::string& name) {
  for (size_t i = name.size(); i-- > 1;)
    if (name[i] == '.') return name.substr(i + 1);
  return "";
}

int32_t LoadModelFile(uint32_t objectSlot, const std::string& fileName) {
  ModelFolderScope scope;
  const std::string lower = Lowercased(fileName);
  // The folder keeps its letter case: on this system a folder's name is found only as it is.
  Records().gModelFolder = ModelFolderOf(fileName);
  const std::string ending = FileEndingOf(lower);
  if (ending != "x" && ending != "3ds") return kLoadUnsupportedEnding;
  std::string path = fileName;
  ResolveVirtualFile(path, "dat");
  if (ending == "x") {
    if (!FileExists(path)) return kLoadFileMissing;
    return LoadXModelIntoObject(objectSlot, path, fileName);
  }
  return LoadThreeDsModelIntoObject(objectSlot, ending, path, fileName);
}

int32_t LoadThreeDsModelIntoObject(uint32_t objectSlot, const std::string& ending, const std::string& path,
                                   const std::string& shownName) {
  const std::string work = Host().gTempFolder + "workfile.x";
  const std::string& shown = shownName.empty() ? path : shownName;
  if (ending == "3ds") {
    std::string why;
    const int32_t converted = ConvertThreeDsFile(path, work, &why);
    // A missing file has its own error; a damaged one says where.
    if (converted < 0 && converted != kLoadFileMissing) EngineErrorLog("Failed to load model " + shown + ": " + why);
    if (converted < 0) return converted;
  }
  // The work file is ours: what the reader says of it is said of the program's file.
  const int32_t result = LoadXModelIntoObject(objectSlot, work, shown);
  DeleteFileIfExists(work);
  return result;
}

int32_t ConvertThreeDsFile(const std::string& source, const std::string& output, std::string* why) {
  return ConvertThreeDsToX(source, output, why);
}

int32_t LoadXModelIntoObject(uint32_t objectSlot, const std::string& path, const std::string& shownName) {
  if (!Engine().gObjectRecords.IsTaken(objectSlot)) return 0;
  if (!Object(objectSlot).model) {
    Object(objectSlot).model = new SceneModel();
    ShareModel(Object(objectSlot).model);
  }
  SceneModel* model = Object(objectSlot).model;
  if (model->root) return model->frameCount;
  std::string error;
  if (model->LoadX(path, error) < 0) {
    EngineErrorLog("Failed to load model " + (shownName.empty() ? path : shownName) + ": " + error);
    Object(objectSlot).model = nullptr;
    DropModel(model);
    return 0;
  }
  return model->frameCount;
}

// --- Objects ----------------------------------------------------------------------------------------------

void ResetLimbRecord(ObjectLimbRecord& l) {
  l.exists = 1;
  l.visible = 1;
  l.imageNumber = 0;
  l.imageSlot = 0;
  l.offsetX = l.offsetY = l.offsetZ = 0.0f;
  l.angleX = l.angleY = l.angleZ = 0.0f;
  l.scaleX = l.scaleY = l.scaleZ = 1.0f;
  l.onRoot = 1;
  l.meshWord = 0;
  for (int i = 0; i < 3; ++i) l.worldPosition[i] = l.worldAngles[i] = 0.0f;
}

uint32_t ObjectSlotOf(int32_t number) {
  if (!InObjectRange(number)) return 0;
  const uint32_t slot = Engine().gObjectSlotById[size_t(number)];
  return slot != 0 && Engine().gObjectRecords.IsTaken(slot) ? slot : 0;
}

void UpdateObjectFrame(uint32_t slot) {
  if (!Engine().gObjectRecords.IsTaken(slot) || !Object(slot).model) return;
  const ObjectRecord& o = Object(slot);
  const Vector3f position = o.position;
  const Vector3f scale(o.scaleX, o.scaleY, o.scaleZ);
  Matrix4f frame;
  if (o.freeRotation) {
    if (ComposeFrameMatrixFromRotation(frame, position, o.freeMatrix, scale) != kMathsOk) return;
  } else {
    ComposeFrameMatrix(frame, position, Vector3f(o.angleX, o.angleY, o.angleZ), scale, o.rotationOrder);
  }
  o.model->SetRootTransform(frame);
}

uint32_t BuildObjectRecords(uint32_t slot, int32_t placeCamera) {
  // Taken first: the plane takes records of its own, and records move when a pool grows.
  if (Scene().gBackdropPending) BackdropPlaneOn();
  if (!Engine().gObjectRecords.IsTaken(slot)) return kNoRecordSlot;
  {
    ObjectRecord& o = Object(slot);
    o.inUse = 1;
    o.createdWord = 1;
    o.inStaticWorld = 0;
    o.angleX = o.angleY = o.angleZ = 0.0f;
    o.scaleX = o.scaleY = o.scaleZ = 1.0f;
    o.rotationOrder = 0;
    o.freeRotation = 0;
    MatrixIdentity(o.freeMatrix);
    o.collisionOn = 1;
  }
  UnglueObject(slot);
  Object(slot).itemSlot = -1;
  const uint32_t item = AllocRenderItem(RenderItemKind::kObject);
  if (item == kNoRecordSlot) return item;
  {
    ObjectRecord& o = Object(slot);
    o.itemSlot = int32_t(item);
    o.position.Set(0, 0, 0);
    o.previousPosition.Set(0, 0, 0);
    ObjectDrawState& draw = o.draw;
    draw = ObjectDrawState{};
    draw.depthTest = draw.depthWrite = 1;
    draw.culling = 1;
    draw.filtering = 1;
    draw.fog = 1;
    draw.ambient = 1;
    draw.addressMode = 1;
    RenderItem& it = Records().gRenderItems[item];
    it.ownerSlot = int32_t(slot);
    it.colourKey = 0;
    it.visible = 1;
  }
  ObjectRecord& o = Object(slot);
  o.boxCollision = 0;
  o.boxMode = 0;
  o.boxModeByte = 0;
  if (o.limbs) ResetLimbRecord(o.limbs[0]);
  UpdateObjectFrame(slot);
  o.currentFrame = 0.0f;
  o.speed = 0.2f;
  o.startFrame = o.endFrame = 0.0f;
  o.blendFactor = 1.0f;
  o.blendPending = 0;
  o.blendTargetFrame = 0.0f;
  for (void*& block : o.blendArrays) block = nullptr;  // the caller's record owns none yet
  o.blendTrackCount = 0;
  o.blendProgress = 0.0f;
  o.collisionShape = 0;

  Vector3f centre(0, 0, 0);
  float radius = -1.0f, originRadius = -1.0f;
  if (o.model) {
    o.model->GetBoundingSphere(centre, radius);
    Vector3f origin;
    o.model->GetOriginBoundingSphere(origin, originRadius);
  }
  o.centre = centre;
  o.radius = float(SaturateToInt32(radius)) + 1.0f;
  o.originRadius = float(SaturateToInt32(originRadius)) + 1.0f;

  // Measured over the shared meshes as they are, not over a copy of every frame's geometry.
  Vector3f low(0, 0, 0), high(0, 0, 0);
  if (o.model) o.model->GetBoundingBox(low, high);
  const float box[6] = {low.x, low.y, low.z, high.x, high.y, high.z};
  ObjectRecord& b = Object(slot);
  b.extentX = std::fabs(box[3] - box[0]);
  b.extentY = std::fabs(box[4] - box[1]);
  b.extentZ = std::fabs(box[5] - box[2]);
  for (int i = 0; i < 3; ++i) {
    b.boxMin[i] = box[i];
    b.boxMax[i] = box[i + 3];
    b.boxCentre[i] = box[i] + (box[i + 3] - box[i]) * 0.5f;
  }

  if (placeCamera && Scene().gAutoCamera) {
    Vector3f c(0, 0, 0);
    float r = -1.0f;
    if (b.model) b.model->GetOriginBoundingSphere(c, r);
    Scene().gCameraPosition.Set(c.x, c.y + r / 2.0f, std::min(c.z - 2.0f * r, -2.0f));
    Scene().gCameraLookAt = c;
    UpdateCameraLookAt();
  }
  return item;
}

void LoadObject(const std::string& fileName, int32_t number) {
  if (!InObjectRange(number)) {
    RaiseRuntimeError(kErrObjectNumberOutOfRange);
    return;
  }
  if (const uint32_t old = Engine().gObjectSlotById[size_t(number)]) DeleteObjectRecord(old, number);
  const uint32_t slot = AllocObjectRecord();
  if (slot == kNoRecordSlot) return;
  const int32_t result = LoadModelFile(slot, fileName);
  if (result <= 0) {
    FreeObjectRecord(slot);
    RaiseRuntimeError(result == kLoadFileMissing         ? kErrFileNotFound
                      : result == kLoadUnsupportedEnding ? kErrModelFileEnding
                                                         : kErrModelNotRead);
    return;
  }
  Engine().gObjectSlotById[size_t(number)] = slot;
  Object(slot).objectNumber = number;
  if (BuildObjectRecords(slot, 1) == kNoRecordSlot) return;
  Object(slot).limbCount = result;

  // Frame count and end frame from the latest key; the blend's work arrays, one entry a track.
  const AnimationSet* set = Object(slot).model->GetAnimationSet();
  RecountFrames(set, slot);
  if (set) EnsureBlendArrays(slot, set->TrackCount());

  SetLimbOffsetsFromModel(slot);
  Object(slot).boxCollision = 1;
  Object(slot).boxMode = 0;
  ApplyFittedBoxCollision(slot);
}

void InstanceObject(int32_t sourceNumber, int32_t newNumber) {
  if (!InObjectRange(sourceNumber) || !InObjectRange(newNumber)) {
    RaiseRuntimeError(kErrObjectNumberOutOfRange);
    return;
  }
  if (!ObjectSlotOf(sourceNumber)) {
    RaiseRuntimeError(kErrObjectNotExist);
    return;
  }
  if (const uint32_t old = Engine().gObjectSlotById[size_t(newNumber)]) DeleteObjectRecord(old, newNumber);
  const uint32_t source = ObjectSlotOf(sourceNumber);
  if (!source) {  // the new number was the source's own
    RaiseRuntimeError(kErrObjectNotExist);
    return;
  }
  const uint32_t slot = AllocObjectRecord();
  if (slot == kNoRecordSlot) return;
  Engine().gObjectSlotById[size_t(newNumber)] = slot;

  // Only what places and shapes the object is copied: never the limb array, the blend arrays,
  // the animation node or the playing state, which belong to the source alone.
  const ObjectRecord& s = Object(source);
  ObjectRecord& o = Object(slot);
  o.angleX = s.angleX, o.angleY = s.angleY, o.angleZ = s.angleZ;
  o.scaleX = s.scaleX, o.scaleY = s.scaleY, o.scaleZ = s.scaleZ;
  o.rotationOrder = s.rotationOrder;
  o.freeRotation = s.freeRotation;
  o.freeMatrix = s.freeMatrix;
  o.collisionOn = s.collisionOn;
  o.model = s.model;
  ShareModel(o.model);
  o.gridWidth = s.gridWidth, o.gridDepth = s.gridDepth;
  o.gridSegmentsX = s.gridSegmentsX, o.gridSegmentsZ = s.gridSegmentsZ;
  o.objectNumber = newNumber;
  const int32_t limbCount = s.limbCount;

  if (BuildObjectRecords(slot, 1) == kNoRecordSlot) return;
  Object(slot).limbCount = limbCount;
  Object(slot).frameCount = 0.0f;
  Object(slot).endFrame = 0.0f;
  SetLimbOffsetsFromModel(slot);
  ApplyFittedBoxCollision(slot);
}

int32_t BuildObjectFromMesh(uint32_t objectSlot, uint32_t meshSlot, uint32_t textureSlot) {
  if (!Engine().gObjectRecords.IsTaken(objectSlot) || !Engine().gMeshRecords.IsTaken(meshSlot)) return 0;
  bool made = false;
  if (!Object(objectSlot).model) {
    Object(objectSlot).model = new SceneModel();
    ShareModel(Object(objectSlot).model);
    made = true;
  }
  SceneModel* model = Object(objectSlot).model;
  if (model->AddMeshFrame(0, ViewOfMesh(Engine().gMeshRecords[meshSlot]), textureSlot) != kModelOk) {
    if (made) {
      Object(objectSlot).model = nullptr;
      DropModel(model);
    }
    return 0;
  }
  return 1;
}

int32_t AddLimbMesh(uint32_t objectSlot, int32_t limb, uint32_t meshSlot) {
  if (!Engine().gObjectRecords.IsTaken(objectSlot) || !Object(objectSlot).model) return 0;
  MeshRecordView view;
  if (meshSlot > 0 && Engine().gMeshRecords.IsTaken(meshSlot)) view = ViewOfMesh(Engine().gMeshRecords[meshSlot]);
  return Object(objectSlot).model->AddMeshFrame(limb, view, 0) == kModelOk ? 1 : 0;
}

int32_t ReplaceLimbMesh(uint32_t objectSlot, int32_t limb, uint32_t meshSlot) {
  if (!Engine().gObjectRecords.IsTaken(objectSlot) || !Object(objectSlot).model ||
      !Engine().gMeshRecords.IsTaken(meshSlot))
    return 0;
  return Object(objectSlot).model->UpdateMeshFromRecord(limb, ViewOfMesh(Engine().gMeshRecords[meshSlot])) == kModelOk
             ? 1
             : 0;
}

// --- Collision ---------------------------------------------------------------------------------------------

void CollisionPairCallback(void*, CollisionId a, CollisionId b) {
  const uint32_t first = CollisionObjectSlot(a), second = CollisionObjectSlot(b);
  if (first == second || !Engine().gObjectRecords.IsTaken(first) || !Engine().gObjectRecords.IsTaken(second)) return;
  Object(first).collisionPartner = int32_t(second);
  Object(second).collisionPartner = int32_t(first);
  if (Object(first).watchedPartner == int32_t(second)) Object(first).watchedContact = 1;
  if (Object(second).watchedPartner == int32_t(first)) Object(second).watchedContact = 1;
}

int32_t UpdateObjectCollisions() {
  if (!Engine().gSceneChanged) return 1;
  std::vector<uint32_t> updated;
  Records().gRenderItems.ForEachUsed([&updated](uint32_t item) {
    const ObjectRecord* o = ObjectOfItem(item);
    if (!o || o->draw.cameraLocked) return;
    const uint32_t slot = uint32_t(Records().gRenderItems[item].ownerSlot);
    if (!Object(slot).collisionOn || !Object(slot).model) return;
    if (ModelUserCount(Object(slot).model) > 1) UpdateObjectFrame(slot);  // the shared root holds another's place
    Object(slot).model->UpdateCollision();
    Object(slot).collisionPartner = 0;
    updated.push_back(slot);
  });
  Engine().gSceneChanged = 0;
  if (updated.empty()) return 1;
  for (uint32_t slot : updated) Object(slot).watchedContact = 0;
  TestCollisions();
  return 1;
}

}  // namespace vx
