// The scene tree of one model: frame nodes (a matrix, an id and a name) holding mesh nodes and
// further frames. Every operation is called on the root; each node does its part and passes the
// call to its children in order, so the whole tree is visited first child first.
//
// Frame ids are given in read order: the root is 0 and the frames of a file count from 1. They
// are the limb numbers the program sees.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/maths_types.h"
#include "models/model_services.h"

namespace vx {

namespace win {
class Direct3DVertexBuffer;
}

class FrameNode;
class MeshNode;

// A vertex as drawn and as copied out: position, normal, texture coordinate (32 bytes).
struct MeshVertex {
  float x, y, z;
  float nx, ny, nz;
  float u, v;
};
static_assert(sizeof(MeshVertex) == 32);

// Geometry copied out of a model: all meshes one after the other, each mesh's indices counting
// from its own first vertex.
struct MeshCopy {
  std::vector<MeshVertex> vertices;
  std::vector<uint16_t> indices;
  std::vector<uint32_t> meshVertexCounts;
  std::vector<uint32_t> meshIndexCounts;
};

// Collision shape codes a model understands.
enum CollisionShapeCode : int32_t {
  kShapeNone = 0,
  kShapeBox = 1,
  kShapeSphere = 2,
  kShapeCube = 3,
  kShapeCylinder = 4,
  kShapeCone = 5,
  kShapeFlatBox = 6,
  kShapeFittedSphere = 51,
  kShapeFittedBox = 52,
  kShapeTriangles = 99,
};

class SceneNode {
 public:
  enum class Kind { Frame, Mesh };
  virtual ~SceneNode();  // deletes the children
  SceneNode(const SceneNode&) = delete;
  SceneNode& operator=(const SceneNode&) = delete;

  Kind kind() const { return kind_; }
  SceneNode* parent() const { return parent_; }
  SceneNode* firstChild() const { return firstChild_; }
  SceneNode* lastChild() const { return lastChild_; }
  SceneNode* nextSibling() const { return nextSibling_; }
  void AppendChild(SceneNode* child);  // at the end of the children
  void Unlink();                       // from its parent

  // ---- the node operations ----
  // Frames 1, 2, ... take matrices[0], [1], ... (the root keeps its own).
  virtual void SetMatricesFromArray(const Matrix4f* matrices, int32_t count);
  virtual void SetMatrixById(int32_t frameId, const Matrix4f& matrix);
  virtual bool GetMatrixById(int32_t frameId, Matrix4f& out) const;
  virtual void ScalePositionById(int32_t frameId, float sx, float sy, float sz);
  virtual void ScaleVerticesById(int32_t frameId, float sx, float sy, float sz);
  virtual void ScaleVertices(float sx, float sy, float sz);
  virtual void SetMeshDataById(int32_t frameId, const MeshRecordView& mesh);
  virtual void RebuildVertexBuffers();
  virtual void SetTextureById(int32_t frameId, uint32_t textureSlot);
  virtual bool GetTextureById(int32_t frameId, uint32_t& out) const;
  virtual bool GetTextureNameById(int32_t frameId, std::string& out) const;
  virtual void SetVisibleById(int32_t frameId, int32_t flag);
  virtual void ScrollUvById(int32_t frameId, float du, float dv);
  virtual void ScaleUvById(int32_t frameId, float su, float sv);
  virtual void ScaleNormals(float factor);
  virtual void UpdateWorldMatrices(const Matrix4f& parentWorld);
  virtual bool GetWorldMatrixById(int32_t frameId, Matrix4f& out) const;
  virtual void ListFrames(int32_t& count) const;
  virtual void SetCollisionShape(uint32_t objectSlot, int32_t code, float s1, float s2, float s3);
  virtual void ClearCollision();
  virtual void SetCollisionShapeById(uint32_t objectSlot, int32_t frameId, int32_t code);
  virtual void ClearCollisionById(int32_t frameId);
  virtual void UpdateCollision(const Matrix4f& parentWorld);
  // Geometry of one frame's meshes (or all with -1) using one texture (or all with -1), moved by
  // the frame matrices below `parentMatrix`.
  virtual void CopyMeshData(MeshCopy& out, int32_t frameId, int64_t texture, const Matrix4f& parentMatrix) const;
  // Calls `visit` for every vertex in model space.
  virtual void VisitVertices(const Matrix4f& parentMatrix, void (*visit)(void*, const Vector3f&), void* context) const;

  // ---- lookups ----
  FrameNode* FindFrame(int32_t frameId);
  const FrameNode* FindFrame(int32_t frameId) const;
  // The frames of ids 0 to count - 1 found in one walk, the first of an id in tree order; null
  // for ids that no frame has.
  std::vector<const FrameNode*> FramesById(int32_t count) const;

 protected:
  explicit SceneNode(Kind kind) : kind_(kind) {}

  template <class F>
  void ForChildren(F&& f) {
    for (SceneNode* c = firstChild_; c; c = c->nextSibling_) f(*c);
  }
  template <class F>
  void ForChildren(F&& f) const {
    for (const SceneNode* c = firstChild_; c; c = c->nextSibling_) f(*c);
  }

 private:
  Kind kind_;
  SceneNode* parent_ = nullptr;
  SceneNode* firstChild_ = nullptr;
  SceneNode* lastChild_ = nullptr;  // where AppendChild links the next child
  SceneNode* nextSibling_ = nullptr;
};

class FrameNode : public SceneNode {
 public:
  FrameNode(int32_t id, std::string name);

  int32_t id() const { return id_; }
  void set_id(int32_t id) { id_ = id; }
  const std::string& name() const { return name_; }
  const Matrix4f& matrix() const { return matrix_; }
  void set_matrix(const Matrix4f& m) { matrix_ = m; }
  const Matrix4f& worldMatrix() const { return world_; }
  int32_t collisionCode() const { return collisionCode_; }
  // The mesh nodes directly under this frame.
  int32_t MeshCount() const;
  MeshNode* MeshAt(int32_t index) const;

  void SetMatricesFromArray(const Matrix4f* matrices, int32_t count) override;
  void SetMatrixById(int32_t frameId, const Matrix4f& matrix) override;
  bool GetMatrixById(int32_t frameId, Matrix4f& out) const override;
  void ScalePositionById(int32_t frameId, float sx, float sy, float sz) override;
  void SetMeshDataById(int32_t frameId, const MeshRecordView& mesh) override;
  void UpdateWorldMatrices(const Matrix4f& parentWorld) override;
  bool GetWorldMatrixById(int32_t frameId, Matrix4f& out) const override;
  void ListFrames(int32_t& count) const override;
  void SetCollisionShape(uint32_t objectSlot, int32_t code, float s1, float s2, float s3) override;
  void SetCollisionShapeById(uint32_t objectSlot, int32_t frameId, int32_t code) override;
  void UpdateCollision(const Matrix4f& parentWorld) override;
  void CopyMeshData(MeshCopy& out, int32_t frameId, int64_t texture, const Matrix4f& parentMatrix) const override;
  void VisitVertices(const Matrix4f& parentMatrix, void (*visit)(void*, const Vector3f&), void* context) const override;

 private:
  int32_t id_;
  std::string name_;
  Matrix4f matrix_;
  Matrix4f world_;
  int32_t collisionCode_ = kShapeNone;
  float collisionSizes_[3] = {0, 0, 0};
};

// The geometry of a mesh: one normal and one texture coordinate per vertex, three indices per
// triangle, and the vertex buffer made from them. The frames that name one mesh of a file share
// one; a change through one of them gives that one a copy of its own first.
struct MeshGeometry {
  std::vector<Vector3f> positions;
  std::vector<Vector3f> normals;
  std::vector<float> textureCoords;  // u, v per vertex
  std::vector<uint16_t> indices;
  win::Direct3DVertexBuffer* buffer = nullptr;
  bool bufferStale = true;

  MeshGeometry() = default;
  MeshGeometry(const MeshGeometry& other);  // the arrays; the copy makes a buffer of its own
  MeshGeometry& operator=(const MeshGeometry&) = delete;
  ~MeshGeometry();
  void ReleaseBuffer();
};

class MeshNode : public SceneNode {
 public:
  MeshNode();
  ~MeshNode() override;

  const std::vector<Vector3f>& positions() const { return geometry_->positions; }
  const std::vector<Vector3f>& normals() const { return geometry_->normals; }
  const std::vector<float>& textureCoords() const { return geometry_->textureCoords; }
  const std::vector<uint16_t>& indices() const { return geometry_->indices; }
  // The geometry to change, copied first when another mesh shares it; the vertex buffer is made
  // again before the next draw.
  MeshGeometry& EditGeometry();
  // Takes the geometry of `other` as its own, shared.
  void ShareGeometry(const MeshNode& other) { geometry_ = other.geometry_; }
  bool SharesGeometryWith(const MeshNode& other) const { return geometry_ == other.geometry_; }

  uint32_t textureSlot = 0;
  std::string textureName;
  float diffuse[4] = {1, 1, 1, 1};
  int32_t visible = 1;

  // The id of the frame that holds it.
  int32_t frameId() const;
  // Makes the geometry from a mesh record's arrays; false when the record is inconsistent
  // (an index beyond the vertices), leaving the mesh as it was.
  bool SetFromRecord(const MeshRecordView& mesh);
  // Draws the mesh as an indexed triangle list with the device's current states and transforms,
  // making its vertex buffer first when there is none or it is stale; the number of indices
  // drawn (0 when hidden, empty or without a buffer).
  uint32_t Draw(win::Direct3DDevice* device);

  void ScaleVerticesById(int32_t frameId, float sx, float sy, float sz) override;
  void ScaleVertices(float sx, float sy, float sz) override;
  void RebuildVertexBuffers() override;
  void SetTextureById(int32_t frameId, uint32_t textureSlot) override;
  bool GetTextureById(int32_t frameId, uint32_t& out) const override;
  bool GetTextureNameById(int32_t frameId, std::string& out) const override;
  void SetVisibleById(int32_t frameId, int32_t flag) override;
  void ScrollUvById(int32_t frameId, float du, float dv) override;
  void ScaleUvById(int32_t frameId, float su, float sv) override;
  void ScaleNormals(float factor) override;
  void SetCollisionShape(uint32_t objectSlot, int32_t code, float s1, float s2, float s3) override;
  void ClearCollision() override;
  void ClearCollisionById(int32_t frameId) override;
  void UpdateCollision(const Matrix4f& parentWorld) override;
  void CopyMeshData(MeshCopy& out, int32_t frameId, int64_t texture, const Matrix4f& parentMatrix) const override;
  void VisitVertices(const Matrix4f& parentMatrix, void (*visit)(void*, const Vector3f&), void* context) const override;

  // The collision objects this mesh has in the collision library (tests read them).
  const std::vector<uint32_t>& collisionHandles() const { return collision_; }

 private:
  bool MakeBuffer();
  void BuildCollision(uint32_t objectSlot, int32_t code, const float sizes[3], const Vector3f& scale);

  std::shared_ptr<MeshGeometry> geometry_;
  std::vector<uint32_t> collision_;
  uint32_t collisionSlot_ = 0;
  int32_t collisionCode_ = kShapeNone;
  float collisionSizes_[3] = {0, 0, 0};
  Vector3f collisionScale_{1, 1, 1};
};

}  // namespace vx
