// From .x data objects to a scene tree: frames in read order (the limb numbers), meshes
// triangulated and de-indexed so that every vertex has its own normal and texture coordinate,
// one mesh node per material, and the animation sets. A failure deletes everything made so far.
#include <algorithm>
#include <map>
#include <memory>
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
  bool ReadMaterial(const DataObject& object, MaterialInfo& out);

  int32_t nextId_ = 1;
  std::string error_;
};

bool ReadMatrix(const DataObject& object, Matrix4f& out) {
  ValueCursor c(object);
  for (float& v : out.m)
    if (!c.Float(v)) return false;
  return true;
}

bool ModelBuilder::Build(const xfile::File& file, std::unique_ptr<FrameNode>& root, int32_t& frameCount) {
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

bool ModelBuilder::AddMesh(FrameNode& frame, const DataObject& mesh) {
  ValueCursor c(mesh);
  uint32_t vertexCount = 0;
  if (!c.Unsigned(vertexCount) || uint64_t(vertexCount) * 3 > c.Remaining()) return Fail("bad Mesh " + mesh.name);
  std::vector<Vector3f> positions(vertexCount);
  for (Vector3f& p : positions)
    if (!c.Float(p.x) || !c.Float(p.y) || !c.Float(p.z)) return Fail("bad Mesh vertices");
  uint32_t faceCount = 0;
  if (!c.Unsigned(faceCount) || faceCount > c.Remaining()) return Fail("bad Mesh faces");
  // Faces as corner lists; faces of more than three corners become fans of triangles.
  std::vector<uint32_t> faceStart, faceSize, corners;
  for (uint32_t f = 0; f < faceCount; ++f) {
    uint32_t n = 0;
    if (!c.Unsigned(n) || n > c.Remaining()) return Fail("bad Mesh face");
    faceStart.push_back(uint32_t(corners.size()));
    faceSize.push_back(n);
    for (uint32_t k = 0; k < n; ++k) {
      uint32_t v = 0;
      if (!c.Unsigned(v) || v >= vertexCount) return Fail("face index beyond the vertices in " + mesh.name);
      corners.push_back(v);
    }
  }

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

  // Normals: their own list and their own face list, which must match the mesh's faces.
  std::vector<Vector3f> fileNormals;
  std::vector<uint32_t> normalCorners;
  if (normalsObject) {
    ValueCursor nc(*normalsObject);
    uint32_t n = 0;
    if (!nc.Unsigned(n) || uint64_t(n) * 3 > nc.Remaining()) return Fail("bad MeshNormals");
    fileNormals.resize(n);
    for (Vector3f& v : fileNormals)
      if (!nc.Float(v.x) || !nc.Float(v.y) || !nc.Float(v.z)) return Fail("bad MeshNormals");
    uint32_t faces = 0;
    bool matches = nc.Unsigned(faces) && faces == faceCount;
    for (uint32_t f = 0; matches && f < faces; ++f) {
      uint32_t k = 0;
      if (!nc.Unsigned(k) || k != faceSize[f]) {
        matches = false;
        break;
      }
      for (uint32_t i = 0; i < k; ++i) {
        uint32_t idx = 0;
        if (!nc.Unsigned(idx) || idx >= n) return Fail("normal index beyond the normals in " + mesh.name);
        normalCorners.push_back(idx);
      }
    }
    if (!matches) {
      normalCorners.clear();
      if (n != vertexCount) fileNormals.clear();  // unusable: normals are made from the faces
    }
  }

  std::vector<float> uv(size_t(vertexCount) * 2, 0.0f);
  if (uvObject) {
    ValueCursor uc(*uvObject);
    uint32_t n = 0;
    if (!uc.Unsigned(n) || uint64_t(n) * 2 > uc.Remaining()) return Fail("bad MeshTextureCoords");
    for (uint32_t i = 0; i < n; ++i) {
      float u = 0, v = 0;
      if (!uc.Float(u) || !uc.Float(v)) return Fail("bad MeshTextureCoords");
      if (i < vertexCount) {
        uv[size_t(i) * 2] = u;
        uv[size_t(i) * 2 + 1] = v;
      }
    }
  }

  std::vector<MaterialInfo> materials;
  std::vector<uint32_t> faceMaterial;
  if (materialList) {
    ValueCursor mc(*materialList);
    uint32_t count = 0, indexCount = 0;
    if (!mc.Unsigned(count) || !mc.Unsigned(indexCount) || indexCount > mc.Remaining())
      return Fail("bad MeshMaterialList");
    for (uint32_t i = 0; i < indexCount; ++i) {
      uint32_t m = 0;
      if (!mc.Unsigned(m)) return Fail("bad MeshMaterialList");
      faceMaterial.push_back(m);
    }
    for (const xfile::Child& child : materialList->children) {
      const DataObject* t = child.Target();
      if (!t || !t->Is("Material")) continue;
      MaterialInfo info;
      if (!ReadMaterial(*t, info)) return false;
      materials.push_back(std::move(info));
    }
  }
  if (materials.empty()) materials.emplace_back();
  auto materialOf = [&](uint32_t face) -> uint32_t {
    if (faceMaterial.empty()) return 0;
    const uint32_t m = faceMaterial[std::min<size_t>(face, faceMaterial.size() - 1)];
    return m < materials.size() ? m : 0;
  };

  // Triangles per material, each corner a (vertex, normal) pair.
  const bool indexedNormals = !normalCorners.empty();
  std::vector<std::vector<Corner>> groups(materials.size());
  std::vector<uint32_t> allTriangles;
  for (uint32_t f = 0; f < faceCount; ++f) {
    if (faceSize[f] < 3) continue;
    auto corner = [&](uint32_t k) {
      const uint32_t at = faceStart[f] + k;
      return Corner{corners[at], indexedNormals ? normalCorners[at] : corners[at]};
    };
    for (uint32_t k = 1; k + 1 < faceSize[f]; ++k) {
      for (const Corner& cr : {corner(0), corner(k), corner(k + 1)}) {
        groups[materialOf(f)].push_back(cr);
        allTriangles.push_back(cr.vertex);
      }
    }
  }
  std::vector<Vector3f> normals;
  if (!fileNormals.empty() && (indexedNormals || fileNormals.size() == vertexCount)) {
    normals = fileNormals;
  } else {
    normals = FaceNormals(positions, allTriangles);
  }
  const bool sameIndices = std::all_of(groups.begin(), groups.end(), [](const auto& g) {
    return std::all_of(g.begin(), g.end(), [](const Corner& k) { return k.vertex == k.normal; });
  });
  size_t usedGroups = 0;
  for (const auto& g : groups) usedGroups += g.empty() ? 0 : 1;

  for (size_t m = 0; m < groups.size(); ++m) {
    const std::vector<Corner>& g = groups[m];
    if (g.empty()) continue;
    auto start = [&]() {
      auto* node = new MeshNode();
      std::copy(materials[m].diffuse, materials[m].diffuse + 4, node->diffuse);
      node->textureName = materials[m].textureName;
      frame.AppendChild(node);
      return node;
    };
    auto emit = [&](MeshNode* node, const Corner& k) {
      node->positions.push_back(positions[k.vertex]);
      node->normals.push_back(normals[k.normal]);
      node->textureCoords.push_back(uv[size_t(k.vertex) * 2]);
      node->textureCoords.push_back(uv[size_t(k.vertex) * 2 + 1]);
    };
    if (usedGroups == 1 && sameIndices && vertexCount <= kMaxMeshVertices && normals.size() == vertexCount) {
      // The file's own vertices, as they are.
      MeshNode* node = start();
      for (uint32_t v = 0; v < vertexCount; ++v) emit(node, Corner{v, v});
      for (const Corner& k : g) node->indices.push_back(uint16_t(k.vertex));
      continue;
    }
    // De-indexed: one vertex per distinct (vertex, normal) pair, split where 16-bit indices end.
    MeshNode* node = start();
    std::map<std::pair<uint32_t, uint32_t>, uint16_t> made;
    for (size_t t = 0; t < g.size(); t += 3) {
      if (node->positions.size() + 3 > kMaxMeshVertices) {
        node = start();
        made.clear();
      }
      for (size_t k = t; k < t + 3; ++k) {
        const auto key = std::make_pair(g[k].vertex, g[k].normal);
        auto it = made.find(key);
        if (it == made.end()) {
          it = made.emplace(key, uint16_t(node->positions.size())).first;
          emit(node, g[k]);
        }
        node->indices.push_back(it->second);
      }
    }
  }
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
