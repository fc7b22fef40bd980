// The holder of one object's scene tree: the root frame, the frame count (the engine's limb
// count) and the animation set. An ObjectRecord owns at most one. Every operation does nothing
// (or fails) while there is no root.
//
// Results are HRESULT-style: kModelOk (0) or kModelFail (E_FAIL).
#pragma once
#include <cstdint>
#include <string>

#include "common/maths_types.h"
#include "models/animation_set.h"
#include "models/model_maths.h"
#include "models/model_services.h"
#include "models/scene_nodes.h"

namespace vx {

constexpr int32_t kModelOk = 0;
constexpr int32_t kModelFail = int32_t(0x80004005u);  // E_FAIL

class SceneModel {
 public:
  SceneModel();
  ~SceneModel();  // deletes the animation set, then the tree
  SceneModel(const SceneModel&) = delete;
  SceneModel& operator=(const SceneModel&) = delete;

  FrameNode* root;             // null: no tree
  int32_t frameCount;          // frames of the tree, the root included
  AnimationSet* animationSet;  // null: none; owned

  // Reads a .x file into a new tree (and its animation sets into a new set). Fails when the model
  // already has a tree or the file can't be read; then nothing is changed. `error` says why.
  int32_t LoadX(const std::string& path);
  int32_t LoadX(const std::string& path, std::string& error);

  AnimationSet* GetAnimationSet() const { return animationSet; }
  void SetAnimationSet(AnimationSet* set) { animationSet = set; }  // the caller deletes an old one

  // Without a root and with frame id 0: a root "root" holding the mesh. With a root: a frame
  // "userframe" with that id holding the mesh, under the root.
  int32_t AddMeshFrame(int32_t frameId, const MeshRecordView& mesh, uint32_t textureSlot);
  int32_t UpdateMeshFromRecord(int32_t frameId, const MeshRecordView& mesh);

  // Centre = mean of all vertices, radius = largest distance from it (model space). Without a root
  // the centre is 0 and the radius -1. Fails when the radius is not above 0.
  int32_t GetBoundingSphere(Vector3f& centre, float& radius) const;
  // The same about the origin.
  int32_t GetOriginBoundingSphere(Vector3f& centre, float& radius) const;
  // The smallest box around all vertices in model space, without copying them; fails (leaving
  // both corners at 0) when there are none.
  int32_t GetBoundingBox(Vector3f& low, Vector3f& high) const;

  // Geometry of one frame (or all, -1) and one texture (or all, -1) in model space, or in the
  // space of `rootTransform` standing in for the root's matrix.
  void CopyMeshData(MeshCopy& out, int32_t frameId, int64_t texture, const Matrix4f* rootTransform = nullptr) const;
  bool GetFrameName(int32_t frameId, std::string& out) const;
  // The meshes of a frame, for callers that walk them one by one.
  int32_t MeshCountById(int32_t frameId) const;
  const MeshNode* FindMeshByIndex(int32_t frameId, int32_t index) const;

  // Writes the animation set as a text .x file; fails when there is none or it can't be written.
  int32_t WriteAnimation(const std::string& path) const;

  // ---- forwarding to the tree ----
  void SetMatricesFromArray(const Matrix4f* matrices, int32_t count);
  void SetRootTransform(const Matrix4f& m);
  bool GetRootTransform(Matrix4f& out) const;
  void SetMatrixById(int32_t frameId, const Matrix4f& m);
  bool GetMatrixById(int32_t frameId, Matrix4f& out) const;
  void ScalePositionById(int32_t frameId, float sx, float sy, float sz);
  void ScaleVerticesById(int32_t frameId, float sx, float sy, float sz);
  void ScaleVertices(float sx, float sy, float sz);
  void ScaleNormals(float factor);
  void SetMeshDataById(int32_t frameId, const MeshRecordView& mesh);
  void RebuildVertexBuffers();
  void SetTextureById(int32_t frameId, uint32_t textureSlot);
  uint32_t GetTextureById(int32_t frameId) const;  // 0 none
  bool GetTextureNameById(int32_t frameId, std::string& out) const;
  void SetVisibleById(int32_t frameId, int32_t flag);
  void ScrollUvById(int32_t frameId, float du, float dv);
  void ScaleUvById(int32_t frameId, float su, float sv);
  // Calls visit(mesh, world) for every mesh node in tree order, `world` being the matrices of the
  // mesh's frame and of the frames above it, times `base`: what the mesh is drawn with.
  template <class Visit>
  void VisitMeshes(const Matrix4f& base, Visit&& visit) {
    if (root) VisitFrameMeshes(*root, base, visit);
  }
  void UpdateWorldMatrices(win::Direct3DDevice* device);
  bool GetWorldMatrixById(int32_t frameId, Matrix4f& out) const;
  // Adds an entry per frame (id and name) after the checklist's current count, up to its capacity.
  void ListFrames() const;
  // Moves a frame under another; negative when either is missing, the frame is the root, or the
  // new parent lies inside the moved frame.
  int32_t MoveNode(int32_t frameId, int32_t newParentId);
  void SetCollisionShape(uint32_t objectSlot, int32_t code, float s1, float s2, float s3);
  void ClearCollision();
  void SetCollisionShapeById(uint32_t objectSlot, int32_t frameId, int32_t code);
  void ClearCollisionById(int32_t frameId);
  // Places the collision shapes by the frames' matrices (the root's holds the object's place).
  void UpdateCollision();

 private:
  template <class Visit>
  static void VisitFrameMeshes(FrameNode& frame, const Matrix4f& parentWorld, Visit& visit) {
    const Matrix4f world = models::Multiply(frame.matrix(), parentWorld);
    for (SceneNode* c = frame.firstChild(); c; c = c->nextSibling()) {
      if (c->kind() == SceneNode::Kind::Mesh) {
        visit(*static_cast<MeshNode*>(c), world);
      } else {
        VisitFrameMeshes(*static_cast<FrameNode*>(c), world, visit);
      }
    }
  }
};

// The most memory one model's tree, meshes and keys may take once read. A file that declares more
// is refused before the memory is asked for, so that a few kilobytes cannot claim gigabytes.
constexpr uint64_t kModelMemoryBudget = uint64_t(256) << 20;

// Frames within frames that a model may hold below its root: the .x reader refuses deeper ones,
// and the .3ds converter writes none.
constexpr int kMaxFrameDepth = 48;

// The parts of a read .x model, before they are handed to a SceneModel.
struct XModel {
  FrameNode* root = nullptr;
  int32_t frameCount = 0;
  AnimationSet* animationSet = nullptr;
  std::vector<std::string> notes;  // what the reader left out of the file, one line each
};
// Reads a .x file into a new tree; false (with nothing left allocated) when it can't.
bool ReadXModel(const std::string& path, XModel& out, std::string& error);
// The same from .x data in memory (the built-in meshes are resources).
bool ReadXModelFromMemory(const uint8_t* data, size_t size, XModel& out, std::string& error);
// The geometry of .x data in memory, all meshes in model space, for building a mesh record.
bool ReadXMeshData(const uint8_t* data, size_t size, MeshCopy& out, std::string& error);

// Reads the animation sets of a .x file into the model's set, times moved on by `startFrame`,
// matching animations to frames by name. `readerFlags` is accepted for callers that pass one; it
// changes nothing. 0, or negative on failure (E_FAIL without a root).
int32_t ReadXAnimationIntoModel(SceneModel& model, const std::string& path, int32_t readerFlags, float startFrame);
// Joins the model file and the animation file (less its 17-byte header line) into "workfile.x"
// in `tempFolder` and reads the animation of the joined file's second part into the model from
// `startFrame`. 0, or E_FAIL.
int32_t AppendXAnimationFile(SceneModel& model, const std::string& modelPath, const std::string& animationPath,
                             int32_t readerFlags, float startFrame, const std::string& tempFolder);
// Writes a set as a text .x file; false when it can't be written.
bool WriteXAnimation(const AnimationSet& set, const std::string& path);

// Converts a .3ds file into a text .x file, deleting any old output first. 0 on success, -4 when
// the source can't be opened, another negative value when it is damaged, nests its objects deeper
// than kMaxFrameDepth, or can't be written; nothing is written then, and `why`, when given, says
// what went wrong (for damage, at which byte).
int32_t ConvertThreeDsToX(const std::string& source, const std::string& output, std::string* why = nullptr);

}  // namespace vx
