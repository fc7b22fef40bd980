// The scene tree's node operations. Frames hold matrices and pass calls on; mesh nodes hold the
// geometry, its vertex buffer on the device and its collision objects.
// Depends on the platform's Direct3D device and the collision library.
#include "models/scene_nodes.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "collision/collision.h"
#include "common/checklist.h"
#include "models/model_maths.h"
#include "platform/d3d/direct3d.h"

namespace vx {

using models::Identity;
using models::Multiply;

// ---- SceneNode: the tree and the forwarding ------------------------------------------------------

SceneNode::~SceneNode() {
  SceneNode* c = firstChild_;
  while (c) {
    SceneNode* next = c->nextSibling_;
    delete c;
    c = next;
  }
}

void SceneNode::AppendChild(SceneNode* child) {
  child->parent_ = this;
  child->nextSibling_ = nullptr;
  (lastChild_ ? lastChild_->nextSibling_ : firstChild_) = child;
  lastChild_ = child;
}

void SceneNode::Unlink() {
  if (!parent_) return;
  SceneNode* before = nullptr;
  SceneNode** link = &parent_->firstChild_;
  while (*link && *link != this) {
    before = *link;
    link = &(*link)->nextSibling_;
  }
  if (*link) {
    *link = nextSibling_;
    if (parent_->lastChild_ == this) parent_->lastChild_ = before;
  }
  parent_ = nullptr;
  nextSibling_ = nullptr;
}

void SceneNode::SetMatricesFromArray(const Matrix4f* m, int32_t n) {
  ForChildren([&](SceneNode& c) { c.SetMatricesFromArray(m, n); });
}
void SceneNode::SetMatrixById(int32_t id, const Matrix4f& m) {
  ForChildren([&](SceneNode& c) { c.SetMatrixById(id, m); });
}
bool SceneNode::GetMatrixById(int32_t id, Matrix4f& out) const {
  bool found = false;
  ForChildren([&](const SceneNode& c) { found = found || c.GetMatrixById(id, out); });
  return found;
}
void SceneNode::ScalePositionById(int32_t id, float sx, float sy, float sz) {
  ForChildren([&](SceneNode& c) { c.ScalePositionById(id, sx, sy, sz); });
}
void SceneNode::ScaleVerticesById(int32_t id, float sx, float sy, float sz) {
  ForChildren([&](SceneNode& c) { c.ScaleVerticesById(id, sx, sy, sz); });
}
void SceneNode::ScaleVertices(float sx, float sy, float sz) {
  ForChildren([&](SceneNode& c) { c.ScaleVertices(sx, sy, sz); });
}
void SceneNode::SetMeshDataById(int32_t id, const MeshRecordView& mesh) {
  ForChildren([&](SceneNode& c) { c.SetMeshDataById(id, mesh); });
}
void SceneNode::RebuildVertexBuffers() {
  ForChildren([](SceneNode& c) { c.RebuildVertexBuffers(); });
}
void SceneNode::SetTextureById(int32_t id, uint32_t slot) {
  ForChildren([&](SceneNode& c) { c.SetTextureById(id, slot); });
}
bool SceneNode::GetTextureById(int32_t id, uint32_t& out) const {
  bool found = false;
  ForChildren([&](const SceneNode& c) { found = found || c.GetTextureById(id, out); });
  return found;
}
bool SceneNode::GetTextureNameById(int32_t id, std::string& out) const {
  bool found = false;
  ForChildren([&](const SceneNode& c) { found = found || c.GetTextureNameById(id, out); });
  return found;
}
void SceneNode::SetVisibleById(int32_t id, int32_t flag) {
  ForChildren([&](SceneNode& c) { c.SetVisibleById(id, flag); });
}
void SceneNode::ScrollUvById(int32_t id, float du, float dv) {
  ForChildren([&](SceneNode& c) { c.ScrollUvById(id, du, dv); });
}
void SceneNode::ScaleUvById(int32_t id, float su, float sv) {
  ForChildren([&](SceneNode& c) { c.ScaleUvById(id, su, sv); });
}
void SceneNode::ScaleNormals(float f) {
  ForChildren([&](SceneNode& c) { c.ScaleNormals(f); });
}
void SceneNode::UpdateWorldMatrices(const Matrix4f& w) {
  ForChildren([&](SceneNode& c) { c.UpdateWorldMatrices(w); });
}
bool SceneNode::GetWorldMatrixById(int32_t id, Matrix4f& out) const {
  bool found = false;
  ForChildren([&](const SceneNode& c) { found = found || c.GetWorldMatrixById(id, out); });
  return found;
}
void SceneNode::ListFrames(int32_t& count) const {
  ForChildren([&](const SceneNode& c) { c.ListFrames(count); });
}
void SceneNode::SetCollisionShape(uint32_t slot, int32_t code, float s1, float s2, float s3) {
  ForChildren([&](SceneNode& c) { c.SetCollisionShape(slot, code, s1, s2, s3); });
}
void SceneNode::ClearCollision() {
  ForChildren([](SceneNode& c) { c.ClearCollision(); });
}
void SceneNode::SetCollisionShapeById(uint32_t slot, int32_t id, int32_t code) {
  ForChildren([&](SceneNode& c) { c.SetCollisionShapeById(slot, id, code); });
}
void SceneNode::ClearCollisionById(int32_t id) {
  ForChildren([&](SceneNode& c) { c.ClearCollisionById(id); });
}
void SceneNode::UpdateCollision(const Matrix4f& w) {
  ForChildren([&](SceneNode& c) { c.UpdateCollision(w); });
}
void SceneNode::CopyMeshData(MeshCopy& out, int32_t id, int64_t texture, const Matrix4f& m) const {
  ForChildren([&](const SceneNode& c) { c.CopyMeshData(out, id, texture, m); });
}
void SceneNode::VisitVertices(const Matrix4f& m, void (*visit)(void*, const Vector3f&), void* context) const {
  ForChildren([&](const SceneNode& c) { c.VisitVertices(m, visit, context); });
}

const FrameNode* SceneNode::FindFrame(int32_t frameId) const {
  // Iterative, first child first, so a deep or wide tree needs no deep stack.
  std::vector<const SceneNode*> stack{this};
  while (!stack.empty()) {
    const SceneNode* n = stack.back();
    stack.pop_back();
    if (n->kind_ == Kind::Frame && static_cast<const FrameNode*>(n)->id() == frameId)
      return static_cast<const FrameNode*>(n);
    std::vector<const SceneNode*> children;
    for (const SceneNode* c = n->firstChild_; c; c = c->nextSibling_) children.push_back(c);
    stack.insert(stack.end(), children.rbegin(), children.rend());
  }
  return nullptr;
}

std::vector<const FrameNode*> SceneNode::FramesById(int32_t count) const {
  std::vector<const FrameNode*> frames(size_t(std::max(count, 0)), nullptr);
  std::vector<const SceneNode*> stack{this};
  while (!stack.empty()) {
    const SceneNode* n = stack.back();
    stack.pop_back();
    if (n->kind_ == Kind::Frame) {
      const auto* frame = static_cast<const FrameNode*>(n);
      if (frame->id() >= 0 && frame->id() < count && !frames[size_t(frame->id())]) frames[size_t(frame->id())] = frame;
    }
    const size_t end = stack.size();
    for (const SceneNode* c = n->firstChild_; c; c = c->nextSibling_) stack.push_back(c);
    std::reverse(stack.begin() + ptrdiff_t(end), stack.end());
  }
  return frames;
}

FrameNode* SceneNode::FindFrame(int32_t frameId) {
  return const_cast<FrameNode*>(static_cast<const SceneNode*>(this)->FindFrame(frameId));
}

// ---- FrameNode ------------------------------------------------------------------------------------

FrameNode::FrameNode(int32_t id, std::string name)
    : SceneNode(Kind::Frame), id_(id), name_(std::move(name)), matrix_(Identity()), world_(Identity()) {}

int32_t FrameNode::MeshCount() const {
  int32_t n = 0;
  ForChildren([&](const SceneNode& c) { n += c.kind() == Kind::Mesh ? 1 : 0; });
  return n;
}

MeshNode* FrameNode::MeshAt(int32_t index) const {
  for (SceneNode* c = firstChild(); c; c = c->nextSibling())
    if (c->kind() == Kind::Mesh && index-- == 0) return static_cast<MeshNode*>(c);
  return nullptr;
}

void FrameNode::SetMatricesFromArray(const Matrix4f* matrices, int32_t count) {
  if (id_ >= 1 && id_ - 1 < count) matrix_ = matrices[id_ - 1];
  SceneNode::SetMatricesFromArray(matrices, count);
}

void FrameNode::SetMatrixById(int32_t frameId, const Matrix4f& matrix) {
  if (frameId == id_) matrix_ = matrix;
  SceneNode::SetMatrixById(frameId, matrix);
}

bool FrameNode::GetMatrixById(int32_t frameId, Matrix4f& out) const {
  if (frameId == id_) {
    out = matrix_;
    return true;
  }
  return SceneNode::GetMatrixById(frameId, out);
}

void FrameNode::ScalePositionById(int32_t frameId, float sx, float sy, float sz) {
  if (frameId == id_) {
    matrix_.At(3, 0) *= sx;
    matrix_.At(3, 1) *= sy;
    matrix_.At(3, 2) *= sz;
  }
  SceneNode::ScalePositionById(frameId, sx, sy, sz);
}

void FrameNode::SetMeshDataById(int32_t frameId, const MeshRecordView& mesh) {
  if (frameId == id_) {
    // The frame's mesh becomes the record's; a frame of several meshes keeps one.
    MeshNode* first = MeshAt(0);
    if (!first) {
      auto* made = new MeshNode();
      if (!made->SetFromRecord(mesh)) {
        delete made;
      } else {
        AppendChild(made);
      }
    } else if (first->SetFromRecord(mesh)) {
      while (MeshNode* extra = MeshAt(1)) {
        extra->Unlink();
        delete extra;
      }
    }
  }
  SceneNode::SetMeshDataById(frameId, mesh);
}

void FrameNode::UpdateWorldMatrices(const Matrix4f& parentWorld) {
  world_ = Multiply(matrix_, parentWorld);
  SceneNode::UpdateWorldMatrices(world_);
}

bool FrameNode::GetWorldMatrixById(int32_t frameId, Matrix4f& out) const {
  if (frameId == id_) {
    out = world_;
    return true;
  }
  return SceneNode::GetWorldMatrixById(frameId, out);
}

void FrameNode::ListFrames(int32_t& count) const {
  if (count < kChecklistCapacity) {
    ChecklistEntry& e = Checklist().gChecklist[size_t(count)];
    e.values[0] = id_;
    const size_t n = std::min(name_.size(), sizeof e.text - 1);
    std::memcpy(e.text, name_.data(), n);
    e.text[n] = '\0';
    ++count;
  }
  SceneNode::ListFrames(count);
}

void FrameNode::SetCollisionShape(uint32_t objectSlot, int32_t code, float s1, float s2, float s3) {
  collisionCode_ = code;
  collisionSizes_[0] = s1;
  collisionSizes_[1] = s2;
  collisionSizes_[2] = s3;
  SceneNode::SetCollisionShape(objectSlot, code, s1, s2, s3);
}

void FrameNode::SetCollisionShapeById(uint32_t objectSlot, int32_t frameId, int32_t code) {
  if (frameId == id_) {
    // The frame's own meshes only; the sizes are those the frame was last given.
    if (code != collisionCode_) collisionSizes_[0] = collisionSizes_[1] = collisionSizes_[2] = 0.0f;
    collisionCode_ = code;
    for (int32_t i = 0; MeshNode* mesh = MeshAt(i); ++i)
      mesh->SetCollisionShape(objectSlot, code, collisionSizes_[0], collisionSizes_[1], collisionSizes_[2]);
  }
  SceneNode::SetCollisionShapeById(objectSlot, frameId, code);
}

void FrameNode::UpdateCollision(const Matrix4f& parentWorld) {
  SceneNode::UpdateCollision(Multiply(matrix_, parentWorld));
}

void FrameNode::CopyMeshData(MeshCopy& out, int32_t frameId, int64_t texture, const Matrix4f& parentMatrix) const {
  SceneNode::CopyMeshData(out, frameId, texture, Multiply(matrix_, parentMatrix));
}

void FrameNode::VisitVertices(const Matrix4f& parentMatrix, void (*visit)(void*, const Vector3f&),
                              void* context) const {
  SceneNode::VisitVertices(Multiply(matrix_, parentMatrix), visit, context);
}

// ---- MeshNode -------------------------------------------------------------------------------------

MeshGeometry::MeshGeometry(const MeshGeometry& other)
    : positions(other.positions), normals(other.normals), textureCoords(other.textureCoords), indices(other.indices) {}

MeshGeometry::~MeshGeometry() { ReleaseBuffer(); }

void MeshGeometry::ReleaseBuffer() {
  if (buffer) buffer->Release();
  buffer = nullptr;
}

MeshNode::MeshNode() : SceneNode(Kind::Mesh), geometry_(std::make_shared<MeshGeometry>()) {}

MeshNode::~MeshNode() { ClearCollision(); }

MeshGeometry& MeshNode::EditGeometry() {
  if (geometry_.use_count() > 1) geometry_ = std::make_shared<MeshGeometry>(*geometry_);
  geometry_->bufferStale = true;
  return *geometry_;
}

int32_t MeshNode::frameId() const {
  const SceneNode* p = parent();
  return p && p->kind() == Kind::Frame ? static_cast<const FrameNode*>(p)->id() : -1;
}

bool MeshNode::SetFromRecord(const MeshRecordView& mesh) {
  if (mesh.vertexCount > 0 && !mesh.positions) return false;
  if (mesh.faceCount > 0 && !mesh.faces) return false;
  if (mesh.vertexCount > 65535) return false;
  std::vector<uint16_t> newIndices;
  newIndices.reserve(size_t(mesh.faceCount) * 3);
  for (uint32_t f = 0; f < mesh.faceCount; ++f) {
    const uint32_t* face = mesh.faces + size_t(f) * 7;
    for (int corner = 0; corner < 3; ++corner) {
      const uint32_t v = face[1 + corner * 2];
      if (v >= mesh.vertexCount) return false;
      newIndices.push_back(uint16_t(v));
    }
  }
  MeshGeometry& g = EditGeometry();
  g.positions.resize(mesh.vertexCount);
  g.normals.assign(mesh.vertexCount, Vector3f(0, 0, 0));
  g.textureCoords.assign(size_t(mesh.vertexCount) * 2, 0.0f);
  for (uint32_t i = 0; i < mesh.vertexCount; ++i) {
    g.positions[i] = Vector3f(mesh.positions[i * 3], mesh.positions[i * 3 + 1], mesh.positions[i * 3 + 2]);
    if (mesh.normals && i < mesh.normalCount)
      g.normals[i] = Vector3f(mesh.normals[i * 3], mesh.normals[i * 3 + 1], mesh.normals[i * 3 + 2]);
    if (mesh.textureCoords) {
      g.textureCoords[i * 2] = mesh.textureCoords[i * 2];
      g.textureCoords[i * 2 + 1] = mesh.textureCoords[i * 2 + 1];
    }
  }
  g.indices = std::move(newIndices);
  return true;
}

void MeshNode::ScaleVerticesById(int32_t id, float sx, float sy, float sz) {
  if (id == frameId()) ScaleVertices(sx, sy, sz);
}

void MeshNode::ScaleVertices(float sx, float sy, float sz) {
  for (Vector3f& p : EditGeometry().positions) p = Vector3f(p.x * sx, p.y * sy, p.z * sz);
}

void MeshNode::RebuildVertexBuffers() {
  geometry_->ReleaseBuffer();
  geometry_->bufferStale = true;
}

void MeshNode::SetTextureById(int32_t id, uint32_t slot) {
  if (id != frameId()) return;
  if (textureSlot != 0 && textureSlot != slot)
    if (ModelServices* services = GetModelServices()) services->ReleaseTexture(textureSlot);
  textureSlot = slot;
}

bool MeshNode::GetTextureById(int32_t id, uint32_t& out) const {
  if (id != frameId()) return false;
  out = textureSlot;
  return true;
}

bool MeshNode::GetTextureNameById(int32_t id, std::string& out) const {
  if (id != frameId()) return false;
  out = textureName;
  return true;
}

void MeshNode::SetVisibleById(int32_t id, int32_t flag) {
  if (id == frameId()) visible = flag;
}

void MeshNode::ScrollUvById(int32_t id, float du, float dv) {
  if (id != frameId()) return;
  std::vector<float>& uv = EditGeometry().textureCoords;
  for (size_t i = 0; i + 1 < uv.size(); i += 2) {
    uv[i] += du;
    uv[i + 1] += dv;
  }
}

void MeshNode::ScaleUvById(int32_t id, float su, float sv) {
  if (id != frameId()) return;
  std::vector<float>& uv = EditGeometry().textureCoords;
  for (size_t i = 0; i + 1 < uv.size(); i += 2) {
    uv[i] *= su;
    uv[i + 1] *= sv;
  }
}

void MeshNode::ScaleNormals(float factor) {
  for (Vector3f& n : EditGeometry().normals) n = Vector3f(n.x * factor, n.y * factor, n.z * factor);
}

bool MeshNode::MakeBuffer() {
  MeshGeometry& g = *geometry_;  // one buffer for every mesh that shares the geometry
  g.ReleaseBuffer();
  ModelServices* services = GetModelServices();
  win::Direct3D* d3d = services ? services->Direct3DForBuffers() : nullptr;
  if (!d3d || g.positions.empty()) return false;
  win::D3DVERTEXBUFFERDESC desc{sizeof(win::D3DVERTEXBUFFERDESC), 0, win::D3DFVF_VERTEX,
                                win::DWORD(g.positions.size())};
  if (d3d->CreateVertexBuffer(&desc, &g.buffer, 0) != win::D3D_OK) {
    g.buffer = nullptr;
    return false;
  }
  void* data = nullptr;
  win::DWORD size = 0;
  if (g.buffer->Lock(0, &data, &size) != win::D3D_OK || size < g.positions.size() * sizeof(MeshVertex)) {
    g.ReleaseBuffer();
    return false;
  }
  auto* out = static_cast<MeshVertex*>(data);
  for (size_t i = 0; i < g.positions.size(); ++i) {
    const Vector3f& n = i < g.normals.size() ? g.normals[i] : Vector3f(0, 0, 0);
    const float u = i * 2 + 1 < g.textureCoords.size() ? g.textureCoords[i * 2] : 0.0f;
    const float v = i * 2 + 1 < g.textureCoords.size() ? g.textureCoords[i * 2 + 1] : 0.0f;
    out[i] = MeshVertex{g.positions[i].x, g.positions[i].y, g.positions[i].z, n.x, n.y, n.z, u, v};
  }
  g.buffer->Unlock();
  g.bufferStale = false;
  return true;
}

uint32_t MeshNode::Draw(win::Direct3DDevice* device) {
  const MeshGeometry& g = *geometry_;
  if (visible != 1 || g.indices.empty()) return 0;
  if ((g.bufferStale || !g.buffer) && !MakeBuffer()) return 0;
  device->DrawIndexedPrimitiveVB(win::D3DPT_TRIANGLELIST, g.buffer, 0, win::DWORD(g.positions.size()), g.indices.data(),
                                 win::DWORD(g.indices.size()), 0);
  return uint32_t(g.indices.size());
}

// ---- collision ------------------------------------------------------------------------------------

namespace {

struct Bounds {
  Vector3f min{0, 0, 0}, max{0, 0, 0};
  bool any = false;
  void Add(const Vector3f& p) {
    if (!any) {
      min = max = p;
      any = true;
      return;
    }
    min = Vector3f(std::min(min.x, p.x), std::min(min.y, p.y), std::min(min.z, p.z));
    max = Vector3f(std::max(max.x, p.x), std::max(max.y, p.y), std::max(max.z, p.z));
  }
};

// The scale of each axis of a matrix (the lengths of its first three rows).
Vector3f AxisScale(const Matrix4f& m) {
  auto row = [&](int r) {
    return std::sqrt(m.At(r, 0) * m.At(r, 0) + m.At(r, 1) * m.At(r, 1) + m.At(r, 2) * m.At(r, 2));
  };
  return Vector3f(row(0), row(1), row(2));
}

bool SameScale(const Vector3f& a, const Vector3f& b) {
  auto close = [](float x, float y) { return std::fabs(x - y) <= 1e-4f * std::max(1.0f, std::fabs(y)); };
  return close(a.x, b.x) && close(a.y, b.y) && close(a.z, b.z);
}

// A thin slab stands in for the flat box's missing depth.
constexpr float kFlatBoxDepth = 0.01f;

}  // namespace

void MeshNode::BuildCollision(uint32_t objectSlot, int32_t code, const float sizes[3], const Vector3f& scale) {
  for (uint32_t h : collision_) RemoveCollisionObject(h);
  collision_.clear();
  if (code == kShapeNone || positions().empty()) return;
  const int32_t frame = frameId();
  if (frame < 0) return;
  CollisionShape shape;
  const float maxScale = std::max(scale.x, std::max(scale.y, scale.z));
  switch (code) {
    case kShapeBox:
      shape.kind = CollisionShape::Kind::Box;
      shape.size = Vector3f(sizes[0] * scale.x, sizes[1] * scale.y, sizes[2] * scale.z);
      break;
    case kShapeSphere:
      shape.kind = CollisionShape::Kind::Sphere;
      shape.size = Vector3f(sizes[0] * maxScale, 0, 0);
      break;
    case kShapeCube:
      shape.kind = CollisionShape::Kind::Box;
      shape.size = Vector3f(sizes[0] * scale.x, sizes[0] * scale.y, sizes[0] * scale.z);
      break;
    case kShapeCylinder:
    case kShapeCone:
      shape.kind = code == kShapeCylinder ? CollisionShape::Kind::Cylinder : CollisionShape::Kind::Cone;
      shape.size = Vector3f(sizes[0] * std::max(scale.x, scale.z), sizes[1] * scale.y, 0);
      break;
    case kShapeFlatBox:
      shape.kind = CollisionShape::Kind::Box;
      shape.size = Vector3f(sizes[0] * scale.x, sizes[1] * scale.y, kFlatBoxDepth * sizes[2] * scale.z);
      break;
    case kShapeFittedSphere:
    case kShapeFittedBox: {
      Bounds b;
      for (const Vector3f& p : positions()) b.Add(Vector3f(p.x * scale.x, p.y * scale.y, p.z * scale.z));
      const Vector3f centre((b.min.x + b.max.x) / 2, (b.min.y + b.max.y) / 2, (b.min.z + b.max.z) / 2);
      shape.offset = centre;
      if (code == kShapeFittedBox) {
        shape.kind = CollisionShape::Kind::Box;
        // A flat mesh still gets a slab so that it can be touched.
        shape.size = Vector3f(std::max(b.max.x - b.min.x, kFlatBoxDepth), std::max(b.max.y - b.min.y, kFlatBoxDepth),
                              std::max(b.max.z - b.min.z, kFlatBoxDepth));
      } else {
        float r = 0.0f;
        for (const Vector3f& p : positions())
          r = std::max(r,
                       models::Length(models::Subtract(Vector3f(p.x * scale.x, p.y * scale.y, p.z * scale.z), centre)));
        shape.kind = CollisionShape::Kind::Sphere;
        shape.size = Vector3f(r, 0, 0);
      }
      break;
    }
    case kShapeTriangles:
      shape.kind = CollisionShape::Kind::Triangles;
      shape.vertices.reserve(positions().size());
      for (const Vector3f& p : positions()) shape.vertices.emplace_back(p.x * scale.x, p.y * scale.y, p.z * scale.z);
      shape.indices.assign(indices().begin(), indices().end());
      break;
    default: return;
  }
  if (const uint32_t handle = AddCollisionObject(MakeCollisionId(objectSlot, uint32_t(frame)), shape))
    collision_.push_back(handle);
}

void MeshNode::SetCollisionShape(uint32_t objectSlot, int32_t code, float s1, float s2, float s3) {
  collisionSlot_ = objectSlot;
  collisionCode_ = code;
  collisionSizes_[0] = s1;
  collisionSizes_[1] = s2;
  collisionSizes_[2] = s3;
  collisionScale_ = Vector3f(1, 1, 1);
  BuildCollision(objectSlot, code, collisionSizes_, collisionScale_);
}

void MeshNode::ClearCollision() {
  for (uint32_t h : collision_) RemoveCollisionObject(h);
  collision_.clear();
  collisionCode_ = kShapeNone;
}

void MeshNode::ClearCollisionById(int32_t id) {
  if (id == frameId()) ClearCollision();
}

void MeshNode::UpdateCollision(const Matrix4f& parentWorld) {
  if (collision_.empty()) return;
  // The library places shapes by rotation and translation; scale goes into the shapes.
  const Vector3f scale = AxisScale(parentWorld);
  if (!SameScale(scale, collisionScale_)) {
    collisionScale_ = scale;
    BuildCollision(collisionSlot_, collisionCode_, collisionSizes_, scale);
  }
  Matrix4f rigid = parentWorld;
  const float s[3] = {scale.x, scale.y, scale.z};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) rigid.At(r, c) = s[r] > 0.0f ? rigid.At(r, c) / s[r] : (r == c ? 1.0f : 0.0f);
  for (uint32_t h : collision_) SetCollisionTransform(h, rigid);
}

// ---- copies ---------------------------------------------------------------------------------------

void MeshNode::CopyMeshData(MeshCopy& out, int32_t id, int64_t texture, const Matrix4f& parentMatrix) const {
  if (id != -1 && id != frameId()) return;
  if (texture != -1 && texture != int64_t(textureSlot)) return;
  const MeshGeometry& g = *geometry_;
  out.meshVertexCounts.push_back(uint32_t(g.positions.size()));
  out.meshIndexCounts.push_back(uint32_t(g.indices.size()));
  for (size_t i = 0; i < g.positions.size(); ++i) {
    const Vector3f p = models::TransformPoint(g.positions[i], parentMatrix);
    const Vector3f n = models::Normalized(
        models::TransformDirection(i < g.normals.size() ? g.normals[i] : Vector3f(0, 0, 0), parentMatrix));
    const float u = i * 2 + 1 < g.textureCoords.size() ? g.textureCoords[i * 2] : 0.0f;
    const float v = i * 2 + 1 < g.textureCoords.size() ? g.textureCoords[i * 2 + 1] : 0.0f;
    out.vertices.push_back(MeshVertex{p.x, p.y, p.z, n.x, n.y, n.z, u, v});
  }
  out.indices.insert(out.indices.end(), g.indices.begin(), g.indices.end());
}

void MeshNode::VisitVertices(const Matrix4f& parentMatrix, void (*visit)(void*, const Vector3f&), void* context) const {
  for (const Vector3f& p : positions()) visit(context, models::TransformPoint(p, parentMatrix));
}

}  // namespace vx
