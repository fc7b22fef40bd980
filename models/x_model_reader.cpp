// From .x data objects to a scene tree: frames in read order (the limb numbers), meshes
// triangulated and de-indexed so that every vertex has its own normal and texture coordinate,
// one mesh node per material, and the animation sets. A failure deletes everything made so far.
#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string_view>

#include "models/animation_io.h"
#include "models/model_maths.h"
#include "models/scene_model.h"
#include "models/xfile.h"
#include "platform/win/files.h"

namespace vx {
namespace {

using xfile::DataObject;
using xfile::ValueCursor;

constexpr uint32_t kMaxMeshVertices = 65535;  // indices are 16 bits

struct MaterialInfo {
  float diffuse[4] = {1, 1, 1, 1};
  std::string textureName;
};

struct Corner {
  uint32_t vertex;
  uint32_t normal;
};

// A Mesh object as read: positions, faces as corner lists, and what its child objects add.
struct MeshData {
  std::vector<Vector3f> positions;
  std::vector<uint32_t> faceStart, faceSize, corners;
  std::vector<Vector3f> fileNormals;
  std::vector<uint32_t> normalCorners;  // one per face corner, or none
  std::vector<float> uv;                // two per vertex
  std::vector<MaterialInfo> materials;
  std::vector<uint32_t> faceMaterial;
  uint32_t FaceCount() const { return uint32_t(faceSize.size()); }
};

// Bytes a built mesh takes at most for each corner of its triangles: a vertex of its own and an index.
constexpr uint64_t kBytesPerCorner = 2 * sizeof(Vector3f) + 2 * sizeof(float) + sizeof(uint16_t);
// Bytes of a frame node, its name aside.
constexpr uint64_t kBytesPerFrame = sizeof(FrameNode) + 64;

class ModelBuilder {
 public:
  bool Build(const xfile::File& file, std::unique_ptr<FrameNode>& root, int32_t& frameCount);
  const std::string& error() const { return error_; }

 private:
  bool Fail(const std::string& why) {
    if (error_.empty()) error_ = why;
    return false;
  }
  bool AddFrame(FrameNode& parent, const DataObject& frame, int depth);
  bool AddMesh(FrameNode& frame, const DataObject& mesh);
  bool ReadFaces(const DataObject& mesh, MeshData& out);
  bool ReadNormals(const DataObject& normals, const DataObject& mesh, MeshData& out);
  bool ReadTextureCoords(const DataObject& coords, MeshData& out);
  bool ReadMaterialList(const DataObject& list, MeshData& out);
  bool ReadMaterial(const DataObject& object, MaterialInfo& out);

  int32_t nextId_ = 1;
  std::string error_;
  // The mesh nodes made from each Mesh object, for the frames that name it again.
  std::map<const DataObject*, std::vector<MeshNode*>> built_;
};

bool ReadMatrix(const DataObject& object, Matrix4f& out) {
  ValueCursor c(object);
  for (float& v : out.m)
    if (!c.Float(v)) return false;
  return true;
}

// The corners of a Mesh object's triangles (faces of n corners make n - 2 triangles), read from its
// values without storing them; 0 when they are damaged, which the build then reports.
uint64_t TriangleCorners(const DataObject& mesh) {
  ValueCursor c(mesh);
  uint32_t vertexCount = 0, faceCount = 0;
  double skipped = 0;
  if (!c.Unsigned(vertexCount) || uint64_t(vertexCount) * 3 > c.Remaining()) return 0;
  for (uint64_t i = 0; i < uint64_t(vertexCount) * 3; ++i) c.Number(skipped);
  if (!c.Unsigned(faceCount)) return 0;
  uint64_t corners = 0;
  for (uint32_t f = 0; f < faceCount; ++f) {
    uint32_t n = 0;
    if (!c.Unsigned(n) || n > c.Remaining()) return corners;
    corners += n >= 3 ? 3 * uint64_t(n - 2) : 0;
    for (uint32_t k = 0; k < n; ++k) c.Number(skipped);
  }
  return corners;
}

// The materials of a Mesh object as read and as its mesh nodes keep them: a list may name one
// material of a long texture name many times over.
uint64_t MaterialBytes(const DataObject& mesh) {
  uint64_t bytes = 0;
  for (const xfile::Child& child : mesh.children) {
    const DataObject* list = child.Target();
    if (!list || !list->Is("MeshMaterialList")) continue;
    for (const xfile::Child& entry : list->children) {
      const DataObject* material = entry.Target();
      if (!material || !material->Is("Material")) continue;
      uint64_t names = 0;
      for (const xfile::Child& part : material->children)
        if (const DataObject* t = part.Target(); t && t->Is("TextureFilename"))
          for (const std::string& text : t->strings) names += text.size();
      bytes += 2 * (sizeof(MaterialInfo) + sizeof(MeshNode) + names);
    }
  }
  return bytes;
}

// What the frames and meshes of an object take once built, each Mesh object counted once
// however many frames name it.
void AddTreeBytes(const DataObject& object, std::set<const DataObject*>& meshes, uint64_t& bytes) {
  if (object.Is("Mesh")) {
    if (meshes.insert(&object).second) bytes += TriangleCorners(object) * kBytesPerCorner + MaterialBytes(object);
    return;
  }
  if (!object.Is("Frame")) return;
  bytes += kBytesPerFrame + object.name.size();
  for (const xfile::Child& child : object.children) {
    const DataObject* target = child.Target();
    if (target && (!child.IsReference() || target->Is("Mesh"))) AddTreeBytes(*target, meshes, bytes);
  }
}

bool ModelBuilder::Build(const xfile::File& file, std::unique_ptr<FrameNode>& root, int32_t& frameCount) {
  std::set<const DataObject*> meshes;
  uint64_t bytes = 0;
  for (const auto& object : file.objects) AddTreeBytes(*object, meshes, bytes);
  if (bytes > kModelMemoryBudget)
    return Fail("frames and meshes would take more than " + std::to_string(kModelMemoryBudget >> 20) + " MB");
  root = std::make_unique<FrameNode>(0, "root");
  for (const auto& object : file.objects) {
    if (object->Is("Frame")) {
      if (!AddFrame(*root, *object, 1)) return false;
    } else if (object->Is("Mesh")) {
      // A mesh outside any frame gets a frame of its own.
      auto* frame = new FrameNode(nextId_++, object->name);
      root->AppendChild(frame);
      if (!AddMesh(*frame, *object)) return false;
    }
  }
  frameCount = nextId_;
  return true;
}

bool ModelBuilder::AddFrame(FrameNode& parent, const DataObject& object, int depth) {
  if (depth > kMaxFrameDepth) return Fail("frames nest too deeply");
  auto* frame = new FrameNode(nextId_++, object.name);
  parent.AppendChild(frame);
  for (const xfile::Child& child : object.children) {
    const DataObject* target = child.Target();
    if (!target) continue;
    if (target->Is("FrameTransformMatrix") && !child.IsReference()) {
      Matrix4f m;
      if (!ReadMatrix(*target, m)) return Fail("bad FrameTransformMatrix in " + object.name);
      frame->set_matrix(m);
    } else if (target->Is("Frame") && !child.IsReference()) {
      if (!AddFrame(*frame, *target, depth + 1)) return false;
    } else if (target->Is("Mesh")) {
      if (!AddMesh(*frame, *target)) return false;
    }
  }
  return true;
}

bool ModelBuilder::ReadMaterial(const DataObject& object, MaterialInfo& out) {
  ValueCursor c(object);
  for (float& v : out.diffuse)
    if (!c.Float(v)) return Fail("bad Material " + object.name);
  for (const xfile::Child& child : object.children) {
    const DataObject* t = child.Target();
    if (!t || !t->Is("TextureFilename")) continue;
    ValueCursor tc(*t);
    std::string name;
    if (tc.Text(name)) out.textureName = name;
  }
  return true;
}

// Smooth normals from the faces, for meshes that bring none.
std::vector<Vector3f> FaceNormals(const std::vector<Vector3f>& positions, const std::vector<uint32_t>& triangles) {
  std::vector<Vector3f> normals(positions.size(), Vector3f(0, 0, 0));
  for (size_t i = 0; i + 2 < triangles.size(); i += 3) {
    const Vector3f& a = positions[triangles[i]];
    const Vector3f& b = positions[triangles[i + 1]];
    const Vector3f& c = positions[triangles[i + 2]];
    const Vector3f n = models::Cross(models::Subtract(b, a), models::Subtract(c, a));
    for (int k = 0; k < 3; ++k) normals[triangles[i + size_t(k)]].Add(n);
  }
  for (Vector3f& n : normals) n = models::Normalized(n);
  return normals;
}

bool ModelBuilder::ReadFaces(const DataObject& mesh, MeshData& out) {
  ValueCursor c(mesh);
  uint32_t vertexCount = 0;
  if (!c.Unsigned(vertexCount) || uint64_t(vertexCount) * 3 > c.Remaining()) return Fail("bad Mesh " + mesh.name);
  out.positions.resize(vertexCount);
  for (Vector3f& p : out.positions)
    if (!c.Float(p.x) || !c.Float(p.y) || !c.Float(p.z)) return Fail("bad Mesh vertices");
  uint32_t faceCount = 0;
  if (!c.Unsigned(faceCount) || faceCount > c.Remaining()) return Fail("bad Mesh faces");
  // Faces as corner lists; faces of more than three corners become fans of triangles.
  for (uint32_t f = 0; f < faceCount; ++f) {
    uint32_t n = 0;
    if (!c.Unsigned(n) || n > c.Remaining()) return Fail("bad Mesh face");
    out.faceStart.push_back(uint32_t(out.corners.size()));
    out.faceSize.push_back(n);
    for (uint32_t k = 0; k < n; ++k) {
      uint32_t v = 0;
      if (!c.Unsigned(v) || v >= vertexCount) return Fail("face index beyond the vertices in " + mesh.name);
      out.corners.push_back(v);
    }
  }
  out.uv.assign(size_t(vertexCount) * 2, 0.0f);
  return true;
}

// Normals: their own list and their own face list, which must match the mesh's faces.
bool ModelBuilder::ReadNormals(const DataObject& normals, const DataObject& mesh, MeshData& out) {
  ValueCursor nc(normals);
  uint32_t n = 0;
  if (!nc.Unsigned(n) || uint64_t(n) * 3 > nc.Remaining()) return Fail("bad MeshNormals");
  out.fileNormals.resize(n);
  for (Vector3f& v : out.fileNormals)
    if (!nc.Float(v.x) || !nc.Float(v.y) || !nc.Float(v.z)) return Fail("bad MeshNormals");
  uint32_t faces = 0;
  bool matches = nc.Unsigned(faces) && faces == out.FaceCount();
  for (uint32_t f = 0; matches && f < faces; ++f) {
    uint32_t k = 0;
    if (!nc.Unsigned(k) || k != out.faceSize[f]) {
      matches = false;
      break;
    }
    for (uint32_t i = 0; i < k; ++i) {
      uint32_t idx = 0;
      if (!nc.Unsigned(idx) || idx >= n) return Fail("normal index beyond the normals in " + mesh.name);
      out.normalCorners.push_back(idx);
    }
  }
  if (!matches) {
    out.normalCorners.clear();
    if (n != out.positions.size()) out.fileNormals.clear();  // unusable: normals are made from the faces
  }
  return true;
}

bool ModelBuilder::ReadTextureCoords(const DataObject& coords, MeshData& out) {
  ValueCursor uc(coords);
  uint32_t n = 0;
  if (!uc.Unsigned(n) || uint64_t(n) * 2 > uc.Remaining()) return Fail("bad MeshTextureCoords");
  for (uint32_t i = 0; i < n; ++i) {
    float u = 0, v = 0;
    if (!uc.Float(u) || !uc.Float(v)) return Fail("bad MeshTextureCoords");
    if (i < out.positions.size()) {
      out.uv[size_t(i) * 2] = u;
      out.uv[size_t(i) * 2 + 1] = v;
    }
  }
  return true;
}

bool ModelBuilder::ReadMaterialList(const DataObject& list, MeshData& out) {
  ValueCursor mc(list);
  uint32_t count = 0, indexCount = 0;
  if (!mc.Unsigned(count) || !mc.Unsigned(indexCount) || indexCount > mc.Remaining())
    return Fail("bad MeshMaterialList");
  for (uint32_t i = 0; i < indexCount; ++i) {
    uint32_t m = 0;
    if (!mc.Unsigned(m)) return Fail("bad MeshMaterialList");
    out.faceMaterial.push_back(m);
  }
  for (const xfile::Child& child : list.children) {
    const DataObject* t = child.Target();
    if (!t || !t->Is("Material")) continue;
    MaterialInfo info;
    if (!ReadMaterial(*t, info)) return false;
    out.materials.push_back(std::move(info));
  }
  return true;
}

// Triangles per material, each corner a (vertex, normal) pair; `allTriangles` gets every
// triangle's vertices, for normals made from the faces.
std::vector<std::vector<Corner>> TrianglesByMaterial(const MeshData& mesh, std::vector<uint32_t>& allTriangles) {
  auto materialOf = [&](uint32_t face) -> uint32_t {
    if (mesh.faceMaterial.empty()) return 0;
    const uint32_t m = mesh.faceMaterial[std::min<size_t>(face, mesh.faceMaterial.size() - 1)];
    return m < mesh.materials.size() ? m : 0;
  };
  const bool indexedNormals = !mesh.normalCorners.empty();
  std::vector<std::vector<Corner>> groups(mesh.materials.size());
  for (uint32_t f = 0; f < mesh.FaceCount(); ++f) {
    if (mesh.faceSize[f] < 3) continue;
    auto corner = [&](uint32_t k) {
      const uint32_t at = mesh.faceStart[f] + k;
      return Corner{mesh.corners[at], indexedNormals ? mesh.normalCorners[at] : mesh.corners[at]};
    };
    for (uint32_t k = 1; k + 1 < mesh.faceSize[f]; ++k) {
      for (const Corner& cr : {corner(0), corner(k), corner(k + 1)}) {
        groups[materialOf(f)].push_back(cr);
        allTriangles.push_back(cr.vertex);
      }
    }
  }
  return groups;
}

// The mesh nodes of one material's triangles under the frame: the file's own vertices when they
// serve as they are, else one vertex per distinct (vertex, normal) pair, split where 16-bit
// indices end.
void EmitMaterialGroup(FrameNode& frame, const MeshData& mesh, const std::vector<Vector3f>& normals,
                       const MaterialInfo& material, const std::vector<Corner>& group, bool asIs) {
  auto start = [&]() {
    auto* node = new MeshNode();
    std::copy(material.diffuse, material.diffuse + 4, node->diffuse);
    node->textureName = material.textureName;
    frame.AppendChild(node);
    return &node->EditGeometry();
  };
  auto emit = [&](MeshGeometry* g, const Corner& k) {
    g->positions.push_back(mesh.positions[k.vertex]);
    g->normals.push_back(normals[k.normal]);
    g->textureCoords.push_back(mesh.uv[size_t(k.vertex) * 2]);
    g->textureCoords.push_back(mesh.uv[size_t(k.vertex) * 2 + 1]);
  };
  MeshGeometry* g = start();
  if (asIs) {
    for (uint32_t v = 0; v < mesh.positions.size(); ++v) emit(g, Corner{v, v});
    for (const Corner& k : group) g->indices.push_back(uint16_t(k.vertex));
    return;
  }
  std::map<std::pair<uint32_t, uint32_t>, uint16_t> made;
  for (size_t t = 0; t < group.size(); t += 3) {
    if (g->positions.size() + 3 > kMaxMeshVertices) {
      g = start();
      made.clear();
    }
    for (size_t k = t; k < t + 3; ++k) {
      const auto key = std::make_pair(group[k].vertex, group[k].normal);
      auto it = made.find(key);
      if (it == made.end()) {
        it = made.emplace(key, uint16_t(g->positions.size())).first;
        emit(g, group[k]);
      }
      g->indices.push_back(it->second);
    }
  }
}

bool ModelBuilder::AddMesh(FrameNode& frame, const DataObject& mesh) {
  // A mesh that another frame named first is shared, as the file shares it.
  if (const auto found = built_.find(&mesh); found != built_.end()) {
    for (const MeshNode* made : found->second) {
      auto* node = new MeshNode();
      node->ShareGeometry(*made);
      std::copy(made->diffuse, made->diffuse + 4, node->diffuse);
      node->textureName = made->textureName;
      frame.AppendChild(node);
    }
    return true;
  }
  MeshData data;
  if (!ReadFaces(mesh, data)) return false;
  // The last of each kind of child counts.
  const DataObject* normalsObject = nullptr;
  const DataObject* uvObject = nullptr;
  const DataObject* materialList = nullptr;
  for (const xfile::Child& child : mesh.children) {
    const DataObject* t = child.Target();
    if (!t) continue;
    if (t->Is("MeshNormals"))
      normalsObject = t;
    else if (t->Is("MeshTextureCoords"))
      uvObject = t;
    else if (t->Is("MeshMaterialList"))
      materialList = t;
  }
  if ((normalsObject && !ReadNormals(*normalsObject, mesh, data)) ||
      (uvObject && !ReadTextureCoords(*uvObject, data)) || (materialList && !ReadMaterialList(*materialList, data)))
    return false;
  if (data.materials.empty()) data.materials.emplace_back();

  std::vector<uint32_t> allTriangles;
  const std::vector<std::vector<Corner>> groups = TrianglesByMaterial(data, allTriangles);
  const size_t vertexCount = data.positions.size();
  const bool indexedNormals = !data.normalCorners.empty();
  const std::vector<Vector3f> normals =
      !data.fileNormals.empty() && (indexedNormals || data.fileNormals.size() == vertexCount)
          ? data.fileNormals
          : FaceNormals(data.positions, allTriangles);
  const bool sameIndices = std::all_of(groups.begin(), groups.end(), [](const auto& g) {
    return std::all_of(g.begin(), g.end(), [](const Corner& k) { return k.vertex == k.normal; });
  });
  const size_t usedGroups =
      size_t(std::count_if(groups.begin(), groups.end(), [](const auto& g) { return !g.empty(); }));
  const bool asIs = usedGroups == 1 && sameIndices && vertexCount <= kMaxMeshVertices && normals.size() == vertexCount;
  SceneNode* last = frame.lastChild();
  for (size_t m = 0; m < groups.size(); ++m)
    if (!groups[m].empty()) EmitMaterialGroup(frame, data, normals, data.materials[m], groups[m], asIs);
  std::vector<MeshNode*>& made = built_[&mesh];
  for (SceneNode* n = last ? last->nextSibling() : frame.firstChild(); n; n = n->nextSibling())
    made.push_back(static_cast<MeshNode*>(n));
  return true;
}

// Templates that the reader takes, or leaves out without loss.
constexpr std::string_view kKnownTemplates[] = {"Header",
                                                "Frame",
                                                "FrameTransformMatrix",
                                                "Mesh",
                                                "MeshNormals",
                                                "MeshTextureCoords",
                                                "MeshMaterialList",
                                                "Material",
                                                "TextureFilename",
                                                "AnimationSet",
                                                "Animation",
                                                "AnimationKey",
                                                "AnimationOptions",
                                                "AnimTicksPerSecond",
                                                "VertexDuplicationIndices",
                                                "MeshFaceWraps"};
// Skinning: the meshes are drawn in their bind pose and only the bones animate.
constexpr std::string_view kSkinTemplates[] = {"XSkinMeshHeader", "SkinWeights"};

bool IsOneOf(const DataObject& object, std::span<const std::string_view> names) {
  return std::any_of(names.begin(), names.end(), [&](std::string_view n) { return object.Is(n); });
}

bool CarriesMaterial(const DataObject& object) {
  for (const xfile::Child& child : object.children) {
    if (!child.object) continue;
    if (child.object->Is("Material") || child.object->Is("TextureFilename") || CarriesMaterial(*child.object))
      return true;
  }
  return false;
}

struct Omissions {
  bool skinned = false;
  std::map<std::string, bool, xfile::CaselessLess> skipped;  // template name: carried a material or texture
};

// What the model leaves out of the file: the templates it does not know (with what they carry)
// and skinning.
void CollectOmissions(const DataObject& object, Omissions& out) {
  if (IsOneOf(object, kSkinTemplates)) {
    out.skinned = true;
    return;
  }
  if (!IsOneOf(object, kKnownTemplates)) {
    out.skipped[object.templateName] |= CarriesMaterial(object);
    return;
  }
  for (const xfile::Child& child : object.children)
    if (child.object) CollectOmissions(*child.object, out);
}

std::vector<std::string> OmissionNotes(const xfile::File& file) {
  Omissions found;
  for (const auto& object : file.objects) CollectOmissions(*object, found);
  std::vector<std::string> notes;
  if (found.skinned)
    notes.push_back(
        "a skinned mesh: skinning is not supported, so the mesh keeps its bind pose while its bones animate");
  for (const auto& [name, material] : found.skipped)
    notes.push_back("template " + name + " skipped" + (material ? " with the material or texture in it" : ""));
  return notes;
}

// Loads the textures named by the meshes once the whole tree stands.
void LoadTextures(SceneNode& node) {
  ModelServices* services = GetModelServices();
  if (!services) return;
  const win::FolderLookupScope folders;  // the textures of a model lie in a few folders
  std::vector<SceneNode*> stack{&node};
  while (!stack.empty()) {
    SceneNode* n = stack.back();
    stack.pop_back();
    if (n->kind() == SceneNode::Kind::Mesh) {
      auto* mesh = static_cast<MeshNode*>(n);
      if (!mesh->textureName.empty()) mesh->textureSlot = services->LoadTexture(mesh->textureName);
    }
    std::vector<SceneNode*> children;
    for (SceneNode* c = n->firstChild(); c; c = c->nextSibling()) children.push_back(c);
    stack.insert(stack.end(), children.rbegin(), children.rend());
  }
}

}  // namespace

namespace {

bool ReadModel(const uint8_t* data, size_t size, XModel& out, std::string& error, bool loadTextures) {
  out = XModel();
  xfile::File file;
  if (!xfile::ReadFile(data, size, file, error)) return false;
  ModelBuilder builder;
  std::unique_ptr<FrameNode> root;
  int32_t frameCount = 0;
  if (!builder.Build(file, root, frameCount)) {
    error = builder.error();
    return false;
  }
  std::unique_ptr<AnimationSet> set;
  if (!ReadAnimationSets(file, *root, frameCount, set, 0.0f, 0, error)) return false;
  if (loadTextures) LoadTextures(*root);
  out.notes = OmissionNotes(file);
  out.root = root.release();
  out.frameCount = frameCount;
  out.animationSet = set.release();
  return true;
}

}  // namespace

bool ReadXModelFromMemory(const uint8_t* data, size_t size, XModel& out, std::string& error) {
  return ReadModel(data, size, out, error, true);
}

bool ReadXModel(const std::string& path, XModel& out, std::string& error) {
  out = XModel();
  const std::optional<std::vector<uint8_t>> bytes = win::ReadWholeFile(path);
  if (!bytes) {
    error = "can't read " + path;
    return false;
  }
  return ReadXModelFromMemory(bytes->data(), bytes->size(), out, error);
}

bool ReadXMeshData(const uint8_t* data, size_t size, MeshCopy& out, std::string& error) {
  out = MeshCopy();
  // Mesh data takes no textures: the engine is not asked for any.
  XModel read;
  if (!ReadModel(data, size, read, error, false)) return false;
  SceneModel model;
  model.root = read.root;
  model.frameCount = read.frameCount;
  model.animationSet = read.animationSet;
  model.CopyMeshData(out, -1, -1);
  return true;
}

}  // namespace vx
