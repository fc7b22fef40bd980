// SceneModel: the holder of one object's scene tree and the door to its operations.
#include "models/scene_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/checklist.h"
#include "common/runtime_hooks.h"
#include "models/model_maths.h"
#include "platform/d3d/device.h"

namespace vx {

namespace {
ModelServices* gModelServices = nullptr;  // the engine's, registered at start-up
}  // namespace

void SetModelServices(ModelServices* services) { gModelServices = services; }
ModelServices* GetModelServices() { return gModelServices; }

SceneModel::SceneModel() : root(nullptr), frameCount(0), animationSet(nullptr) {}

SceneModel::~SceneModel() {
  delete animationSet;
  delete root;
}

int32_t SceneModel::LoadX(const std::string& path) {
  std::string error;
  return LoadX(path, error);
}

int32_t SceneModel::LoadX(const std::string& path, std::string& error) {
  if (root) {
    error = "the model already holds a tree";
    return kModelFail;
  }
  XModel read;
  if (!ReadXModel(path, read, error)) return kModelFail;
  root = read.root;
  frameCount = read.frameCount;
  animationSet = read.animationSet;
  for (const std::string& note : read.notes) EngineNote(path + ": " + note);
  return kModelOk;
}

int32_t SceneModel::AddMeshFrame(int32_t frameId, const MeshRecordView& mesh, uint32_t textureSlot) {
  if (frameId < 0 || (frameId == 0) == (root != nullptr)) return kModelFail;
  auto* frame = new FrameNode(frameId, root ? "userframe" : "root");
  auto* node = new MeshNode();
  frame->AppendChild(node);
  if (!node->SetFromRecord(mesh)) {
    delete frame;
    return kModelFail;
  }
  node->textureSlot = textureSlot;
  if (!root) {
    root = frame;
    frameCount = 1;
  } else {
    root->AppendChild(frame);
    frameCount = std::max(frameCount, frameId + 1);
  }
  return kModelOk;
}

int32_t SceneModel::UpdateMeshFromRecord(int32_t frameId, const MeshRecordView& mesh) {
  if (!root) return kModelFail;
  root->SetMeshDataById(frameId, mesh);
  return kModelOk;
}

namespace {

struct SphereSums {
  double x = 0, y = 0, z = 0;
  size_t count = 0;
  Vector3f centre{0, 0, 0};
  float radius = 0.0f;
};

}  // namespace

int32_t SceneModel::GetBoundingSphere(Vector3f& centre, float& radius) const {
  centre = Vector3f(0, 0, 0);
  radius = -1.0f;
  if (!root) return kModelFail;
  // The root's own matrix places the object; the sphere is in model space.
  SphereSums sums;
  const Matrix4f identity = models::Identity();
  root->SceneNode::VisitVertices(
      identity,
      [](void* c, const Vector3f& p) {
        auto* s = static_cast<SphereSums*>(c);
        s->x += p.x;
        s->y += p.y;
        s->z += p.z;
        ++s->count;
      },
      &sums);
  if (sums.count > 0)
    sums.centre = Vector3f(float(sums.x / double(sums.count)), float(sums.y / double(sums.count)),
                           float(sums.z / double(sums.count)));
  root->SceneNode::VisitVertices(
      identity,
      [](void* c, const Vector3f& p) {
        auto* s = static_cast<SphereSums*>(c);
        s->radius = std::max(s->radius, models::Length(models::Subtract(p, s->centre)));
      },
      &sums);
  centre = sums.centre;
  radius = sums.count > 0 ? sums.radius : -1.0f;
  return radius > 0.0f ? kModelOk : kModelFail;
}

int32_t SceneModel::GetOriginBoundingSphere(Vector3f& centre, float& radius) const {
  centre = Vector3f(0, 0, 0);
  radius = -1.0f;
  if (!root) return kModelFail;
  SphereSums sums;
  root->SceneNode::VisitVertices(
      models::Identity(),
      [](void* c, const Vector3f& p) {
        auto* s = static_cast<SphereSums*>(c);
        s->radius = std::max(s->radius, models::Length(p));
        ++s->count;
      },
      &sums);
  radius = sums.count > 0 ? sums.radius : -1.0f;
  return radius > 0.0f ? kModelOk : kModelFail;
}

int32_t SceneModel::GetBoundingBox(Vector3f& low, Vector3f& high) const {
  struct Box {
    Vector3f low{0, 0, 0}, high{0, 0, 0};
    bool any = false;
  } box;
  if (root)
    root->SceneNode::VisitVertices(
        models::Identity(),
        [](void* c, const Vector3f& p) {
          auto* b = static_cast<Box*>(c);
          if (!b->any) b->low = b->high = p;
          b->any = true;
          b->low = Vector3f(std::min(b->low.x, p.x), std::min(b->low.y, p.y), std::min(b->low.z, p.z));
          b->high = Vector3f(std::max(b->high.x, p.x), std::max(b->high.y, p.y), std::max(b->high.z, p.z));
        },
        &box);
  low = box.low;
  high = box.high;
  return box.any ? kModelOk : kModelFail;
}

void SceneModel::CopyMeshData(MeshCopy& out, int32_t frameId, int64_t texture, const Matrix4f* rootTransform) const {
  if (!root) return;
  root->SceneNode::CopyMeshData(out, frameId, texture, rootTransform ? *rootTransform : models::Identity());
}

bool SceneModel::GetFrameName(int32_t frameId, std::string& out) const {
  const FrameNode* f = root ? root->FindFrame(frameId) : nullptr;
  if (!f) return false;
  out = f->name();
  return true;
}

int32_t SceneModel::MeshCountById(int32_t frameId) const {
  const FrameNode* f = root ? root->FindFrame(frameId) : nullptr;
  return f ? f->MeshCount() : 0;
}

const MeshNode* SceneModel::FindMeshByIndex(int32_t frameId, int32_t index) const {
  const FrameNode* f = root ? root->FindFrame(frameId) : nullptr;
  return f && index >= 0 ? f->MeshAt(index) : nullptr;
}

int32_t SceneModel::WriteAnimation(const std::string& path) const {
  if (!animationSet) return kModelFail;
  // Tracks without a name are written under their frame's.
  const std::vector<const FrameNode*> frames = root ? root->FramesById(frameCount) : std::vector<const FrameNode*>();
  for (AnimationTrack* t = animationSet->firstTrack; t; t = t->next) {
    const int32_t id = t->GetFrameId();
    if (t->GetName().empty() && id >= 0 && size_t(id) < frames.size() && frames[size_t(id)])
      t->SetName(frames[size_t(id)]->name());
  }
  return WriteXAnimation(*animationSet, path) ? kModelOk : kModelFail;
}

// ---- forwarding ---------------------------------------------------------------------------------

void SceneModel::SetMatricesFromArray(const Matrix4f* m, int32_t count) {
  if (root) root->SetMatricesFromArray(m, count);
}
void SceneModel::SetRootTransform(const Matrix4f& m) {
  if (root) root->set_matrix(m);
}
bool SceneModel::GetRootTransform(Matrix4f& out) const {
  if (!root) return false;
  out = root->matrix();
  return true;
}
void SceneModel::SetMatrixById(int32_t id, const Matrix4f& m) {
  if (root) root->SetMatrixById(id, m);
}
bool SceneModel::GetMatrixById(int32_t id, Matrix4f& out) const { return root && root->GetMatrixById(id, out); }
void SceneModel::ScalePositionById(int32_t id, float sx, float sy, float sz) {
  if (root) root->ScalePositionById(id, sx, sy, sz);
}
void SceneModel::ScaleVerticesById(int32_t id, float sx, float sy, float sz) {
  if (root) root->ScaleVerticesById(id, sx, sy, sz);
}
void SceneModel::ScaleVertices(float sx, float sy, float sz) {
  if (root) root->ScaleVertices(sx, sy, sz);
}
void SceneModel::ScaleNormals(float factor) {
  if (root) root->ScaleNormals(factor);
}
void SceneModel::SetMeshDataById(int32_t id, const MeshRecordView& mesh) {
  if (root) root->SetMeshDataById(id, mesh);
}
void SceneModel::RebuildVertexBuffers() {
  if (root) root->RebuildVertexBuffers();
}
void SceneModel::SetTextureById(int32_t id, uint32_t slot) {
  if (root) root->SetTextureById(id, slot);
}
uint32_t SceneModel::GetTextureById(int32_t id) const {
  uint32_t slot = 0;
  if (root) root->GetTextureById(id, slot);
  return slot;
}
bool SceneModel::GetTextureNameById(int32_t id, std::string& out) const {
  return root && root->GetTextureNameById(id, out);
}
void SceneModel::SetVisibleById(int32_t id, int32_t flag) {
  if (root) root->SetVisibleById(id, flag);
}
void SceneModel::ScrollUvById(int32_t id, float du, float dv) {
  if (root) root->ScrollUvById(id, du, dv);
}
void SceneModel::ScaleUvById(int32_t id, float su, float sv) {
  if (root) root->ScaleUvById(id, su, sv);
}
void SceneModel::UpdateWorldMatrices(win::Direct3DDevice* device) {
  if (!root || !device) return;
  win::D3DMATRIX world;
  device->GetTransform(win::D3DTRANSFORMSTATE_WORLD, &world);
  Matrix4f base;
  std::memcpy(base.m, &world, sizeof base.m);
  root->UpdateWorldMatrices(base);
}

bool SceneModel::GetWorldMatrixById(int32_t id, Matrix4f& out) const {
  return root && root->GetWorldMatrixById(id, out);
}

void SceneModel::ListFrames() const {
  if (!root) return;
  int32_t count = std::max(0, std::min(Checklist().gChecklistCount, kChecklistCapacity));
  root->ListFrames(count);
  Checklist().gChecklistCount = count;
}

int32_t SceneModel::MoveNode(int32_t frameId, int32_t newParentId) {
  if (!root) return -1;
  FrameNode* frame = root->FindFrame(frameId);
  FrameNode* parent = root->FindFrame(newParentId);
  if (!frame || !parent || frame == root) return -1;
  // The new parent must not lie inside the moved frame.
  if (frame->FindFrame(newParentId)) return -2;
  frame->Unlink();
  parent->AppendChild(frame);
  return 0;
}

void SceneModel::SetCollisionShape(uint32_t slot, int32_t code, float s1, float s2, float s3) {
  if (root) root->SetCollisionShape(slot, code, s1, s2, s3);
}
void SceneModel::ClearCollision() {
  if (root) root->ClearCollision();
}
void SceneModel::SetCollisionShapeById(uint32_t slot, int32_t id, int32_t code) {
  if (root) root->SetCollisionShapeById(slot, id, code);
}
void SceneModel::ClearCollisionById(int32_t id) {
  if (root) root->ClearCollisionById(id);
}
void SceneModel::UpdateCollision() {
  if (root) root->UpdateCollision(models::Identity());
}

}  // namespace vx
