// The .3ds converter: a chunk reader of our own and a text .x writer. Meshes keep their local
// frames and the object hierarchy of the keyframer; faces, texture coordinates and materials
// with their texture file names are written; cameras, lights and the keyframer's animation are
// skipped. 3DS is right-handed with z up: y and z are swapped and the winding turned so that
// the model stands up and faces outwards in Direct3D's left-handed space.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "models/model_maths.h"
#include "models/scene_model.h"
#include "platform/win/files.h"

namespace vx {
namespace {

constexpr int kMaxChunkDepth = 16;
constexpr int32_t kConvertedOk = 0;
constexpr int32_t kCannotOpen = -4;
constexpr int32_t kDamaged = -2;
constexpr int32_t kCannotWrite = -3;

struct Material {
  std::string name;
  float diffuse[3] = {0.7f, 0.7f, 0.7f};
  std::string texture;
};

struct Object {
  std::string name;
  std::vector<Vector3f> vertices;
  std::vector<uint16_t> faces;  // three per face
  std::vector<float> uvs;       // two per vertex
  // The names of the materials that the faces use, each once; "" (the default) first.
  std::vector<std::string> materialNames{std::string()};
  std::unordered_map<std::string, uint32_t> materialIndex{{std::string(), 0}};
  std::vector<uint32_t> faceMaterial;  // into materialNames
  Matrix4f local;
  bool hasLocal = false;
};

struct Node {
  int32_t id = -1;
  std::string name;
  int32_t parent = -1;
};

struct Scene {
  std::vector<Material> materials;
  std::vector<Object> objects;
  std::vector<Node> nodes;
};

class ChunkReader {
 public:
  ChunkReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Read(Scene& scene) {
    scene_ = &scene;
    if (size_ < 6 || Word(0) != 0x4D4D) return Damaged("the file does not begin with a 3DS main chunk");
    return Chunks(0, size_, 0, Context{});
  }
  const std::string& damage() const { return damage_; }

 private:
  uint16_t Word(size_t at) const { return uint16_t(data_[at] | (data_[at + 1] << 8)); }
  uint32_t Dword(size_t at) const {
    return uint32_t(data_[at]) | (uint32_t(data_[at + 1]) << 8) | (uint32_t(data_[at + 2]) << 16) |
           (uint32_t(data_[at + 3]) << 24);
  }
  float Float(size_t at) const {
    const uint32_t bits = Dword(at);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
  }
  // A NUL-terminated name inside [at, end); false when it runs off the end.
  bool Name(size_t& at, size_t end, std::string& out) const {
    const size_t start = at;
    while (at < end && data_[at] != 0) ++at;
    if (at >= end) return false;
    out.assign(reinterpret_cast<const char*>(data_ + start), at - start);
    ++at;
    return true;
  }

  // What the chunks being read belong to; each chunk reads only the part it expects.
  struct Context {
    Object* object = nullptr;
    Material* material = nullptr;
    Node* node = nullptr;
  };
  bool Chunks(size_t begin, size_t end, int depth, Context context);
  bool Chunk(uint16_t id, size_t body, size_t end, int depth, Context context);

  // Keeps the first, innermost, cause; returns false.
  bool Damaged(const std::string& what) {
    if (damage_.empty()) damage_ = what;
    return false;
  }
  static std::string ChunkAt(size_t at) { return "the chunk at byte " + std::to_string(at); }

  const uint8_t* data_;
  size_t size_;
  Scene* scene_ = nullptr;
  std::string damage_;
};

bool ChunkReader::Chunks(size_t begin, size_t end, int depth, Context context) {
  if (depth > kMaxChunkDepth) return Damaged(ChunkAt(begin) + " is nested too deeply");
  size_t at = begin;
  while (at < end) {
    if (end - at < 6) return Damaged(ChunkAt(at) + " is cut short");
    const uint16_t id = Word(at);
    const uint32_t length = Dword(at + 2);
    if (length < 6 || length > end - at)
      return Damaged(ChunkAt(at) + " is " + std::to_string(length) + " bytes long, but " + std::to_string(end - at) +
                     " are left");
    if (!Chunk(id, at + 6, at + length, depth, context)) return Damaged(ChunkAt(at) + " is damaged");
    at += length;
  }
  return true;
}

bool ChunkReader::Chunk(uint16_t id, size_t body, size_t end, int depth, Context context) {
  Object* object = context.object;
  Material* material = context.material;
  switch (id) {
    case 0x4D4D:  // main
    case 0x3D3D:  // editor
    case 0xB000:  // keyframer
      return Chunks(body, end, depth + 1, Context{});
    case 0x4000: {  // named object: a mesh, or a light or camera, which add nothing
      Object o;
      size_t at = body;
      if (!Name(at, end, o.name)) return false;
      o.local = models::Identity();
      if (!Chunks(at, end, depth + 1, Context{&o, nullptr, nullptr})) return false;
      scene_->objects.push_back(std::move(o));
      return true;
    }
    case 0x4100:  // triangle mesh
      return object ? Chunks(body, end, depth + 1, context) : true;
    case 0x4110: {  // vertices
      if (!object || end - body < 2) return false;
      const uint16_t count = Word(body);
      if (size_t(count) * 12 > end - body - 2) return false;
      object->vertices.resize(count);
      for (uint16_t i = 0; i < count; ++i) {
        const size_t at = body + 2 + size_t(i) * 12;
        object->vertices[i] = Vector3f(Float(at), Float(at + 4), Float(at + 8));
      }
      return true;
    }
    case 0x4120: {  // faces, then their material groups
      if (!object || end - body < 2) return false;
      const uint16_t count = Word(body);
      if (size_t(count) * 8 > end - body - 2) return false;
      object->faces.resize(size_t(count) * 3);
      object->faceMaterial.assign(count, 0);
      for (uint16_t i = 0; i < count; ++i)
        for (int k = 0; k < 3; ++k)
          object->faces[size_t(i) * 3 + size_t(k)] = Word(body + 2 + size_t(i) * 8 + size_t(k) * 2);
      return Chunks(body + 2 + size_t(count) * 8, end, depth + 1, context);
    }
    case 0x4130: {  // faces of one material
      if (!object) return false;
      size_t at = body;
      std::string name;
      if (!Name(at, end, name) || end - at < 2) return false;
      const uint16_t count = Word(at);
      if (size_t(count) * 2 > end - at - 2) return false;
      const auto [named, added] = object->materialIndex.emplace(name, uint32_t(object->materialNames.size()));
      if (added) object->materialNames.push_back(std::move(name));
      for (uint16_t i = 0; i < count; ++i) {
        const uint16_t face = Word(at + 2 + size_t(i) * 2);
        if (face >= object->faceMaterial.size()) return false;
        object->faceMaterial[face] = named->second;
      }
      return true;
    }
    case 0x4140: {  // texture coordinates
      if (!object || end - body < 2) return false;
      const uint16_t count = Word(body);
      if (size_t(count) * 8 > end - body - 2) return false;
      object->uvs.resize(size_t(count) * 2);
      for (size_t i = 0; i < size_t(count) * 2; ++i) object->uvs[i] = Float(body + 2 + i * 4);
      return true;
    }
    case 0x4160: {  // local frame: the three axes and the origin
      if (!object || end - body < 48) return false;
      object->local = models::Identity();
      for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 3; ++col) object->local.At(row, col) = Float(body + size_t(row * 3 + col) * 4);
      object->hasLocal = true;
      return true;
    }
    case 0xAFFF: {  // material
      Material m;
      if (!Chunks(body, end, depth + 1, Context{nullptr, &m, nullptr})) return false;
      scene_->materials.push_back(std::move(m));
      return true;
    }
    case 0xA000: {
      if (!material) return false;
      size_t at = body;
      return Name(at, end, material->name);
    }
    case 0xA020:  // diffuse colour
    case 0xA200:  // texture map
      return material ? Chunks(body, end, depth + 1, context) : true;
    case 0x0010:
    case 0x0013:
      if (material && end - body >= 12)
        for (int i = 0; i < 3; ++i) material->diffuse[i] = Float(body + size_t(i) * 4);
      return true;
    case 0x0011:
    case 0x0012:
      if (material && end - body >= 3)
        for (int i = 0; i < 3; ++i) material->diffuse[i] = float(data_[body + size_t(i)]) / 255.0f;
      return true;
    case 0xA300: {
      if (!material) return false;
      size_t at = body;
      return Name(at, end, material->texture);
    }
    case 0xB002: {  // keyframer object node
      Node n;
      n.id = int32_t(scene_->nodes.size());
      if (!Chunks(body, end, depth + 1, Context{nullptr, nullptr, &n})) return false;
      scene_->nodes.push_back(std::move(n));
      return true;
    }
    case 0xB030: {
      if (context.node && end - body >= 2) context.node->id = Word(body);
      return true;
    }
    case 0xB010: {
      Node* node = context.node;
      if (!node) return true;
      size_t at = body;
      if (!Name(at, end, node->name) || end - at < 6) return false;
      node->parent = int16_t(Word(at + 4));
      return true;
    }
    default: return true;  // cameras, lights, animation tracks and the rest are not converted
  }
}

// ---- the .x text ------------------------------------------------------------------------------

// Names as the .x grammar allows them.
std::string XName(const std::string& name, const char* fallback) {
  std::string out;
  for (char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    out += ok ? c : '_';
  }
  if (out.empty()) out = fallback;
  if (out[0] >= '0' && out[0] <= '9') out = "_" + out;
  return out;
}

void Number(std::string& out, float v) {
  if (!std::isfinite(v)) v = 0.0f;
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
  // Whole numbers keep a point, so that binary converters of this text see floats.
  if (std::string_view(buf, size_t(r.ptr - buf)).find_first_of(".e") == std::string_view::npos) out += ".0";
}

// 3DS to Direct3D: y and z change places.
Vector3f Swap(const Vector3f& v) { return Vector3f(v.x, v.z, v.y); }
Matrix4f Swap(const Matrix4f& m) {
  Matrix4f out = models::Identity();
  const int map[3] = {0, 2, 1};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 3; ++c) out.At(r < 3 ? map[r] : 3, map[c]) = m.At(r, c);
  return out;
}

class XWriter {
 public:
  XWriter(const Scene& scene) : scene_(scene) {}
  // The text, or false (with `error` saying why) when the hierarchy nests deeper than the .x
  // reader takes frames.
  bool Write(std::string& out, std::string& error);

 private:
  // Each object's parent object from the keyframer's nodes, -1 at the top.
  std::vector<int64_t> Parents() const;
  void OpenFrame(size_t index, const Matrix4f& frame, const Matrix4f& parentFrame, size_t depth);
  void WriteMesh(const Object& o, const Matrix4f& toLocal, const std::string& pad);
  Matrix4f FrameOf(const Object& o) const;

  const Scene& scene_;
  std::string out_;
  std::map<std::string, const Material*> materials_;
};

Matrix4f XWriter::FrameOf(const Object& o) const {
  Matrix4f inverse;
  if (!o.hasLocal || !models::InvertAffine(inverse, o.local)) return models::Identity();
  return Swap(o.local);
}

// Links to parents (-1 none) that lead round in a circle are cut where the circle closes, each
// entry looked at once.
void CutCircles(std::vector<int64_t>& parent) {
  enum : uint8_t { kNew, kOnPath, kDone };
  std::vector<uint8_t> state(parent.size(), kNew);
  std::vector<size_t> path;
  for (size_t start = 0; start < parent.size(); ++start) {
    for (int64_t at = int64_t(start); at >= 0 && state[size_t(at)] == kNew; at = parent[size_t(at)]) {
      state[size_t(at)] = kOnPath;
      path.push_back(size_t(at));
      if (parent[size_t(at)] >= 0 && state[size_t(parent[size_t(at)])] == kOnPath) parent[size_t(at)] = -1;
    }
    for (size_t at : path) state[at] = kDone;
    path.clear();
  }
}

// A node's object is the first mesh object of its name; its parent is the nearest ancestor node
// that names a mesh object other than its own. Every node and object is looked at a bounded
// number of times, so long chains and many nodes naming one object cost no more than their count.
std::vector<int64_t> XWriter::Parents() const {
  const size_t n = scene_.objects.size(), count = scene_.nodes.size();
  std::unordered_map<std::string, int64_t> objectByName;
  for (size_t i = 0; i < n; ++i)
    if (!scene_.objects[i].vertices.empty()) objectByName.emplace(scene_.objects[i].name, int64_t(i));
  std::unordered_map<int32_t, int64_t> nodeById;
  for (size_t k = 0; k < count; ++k) nodeById.emplace(scene_.nodes[k].id, int64_t(k));
  std::vector<int64_t> up(count, -1), object(count, -1);
  for (size_t k = 0; k < count; ++k) {
    const auto named = objectByName.find(scene_.nodes[k].name);
    if (named != objectByName.end()) object[k] = named->second;
    const auto parent = scene_.nodes[k].parent >= 0 ? nodeById.find(scene_.nodes[k].parent) : nodeById.end();
    if (parent != nodeById.end()) up[k] = parent->second;
  }
  CutCircles(up);  // a chain of nodes that loops back
  std::vector<size_t> path;
  // Nearest ancestor naming a mesh object (mesh), and nearest one above that which names another
  // object than it (other), each from the answers of the node above.
  std::vector<int64_t> mesh(count, -1), other(count, -1);
  std::vector<uint8_t> known(count, 0);
  for (size_t k = 0; k < count; ++k) {
    for (int64_t at = int64_t(k); at >= 0 && !known[size_t(at)]; at = up[size_t(at)]) path.push_back(size_t(at));
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
      const size_t at = *it;
      const int64_t above = up[at];
      if (above >= 0) {
        mesh[at] = object[size_t(above)] >= 0 ? above : mesh[size_t(above)];
        const int64_t m = mesh[at];
        if (m >= 0 && object[at] >= 0) {
          // The first mesh-naming ancestor whose object differs from this node's.
          other[at] = object[size_t(m)] != object[at] ? m : other[size_t(m)];
        }
      }
      known[at] = 1;
    }
    path.clear();
  }
  std::vector<int64_t> parentOf(n, -1);
  for (size_t k = 0; k < count; ++k) {
    const int64_t child = object[k];
    if (child < 0 || parentOf[size_t(child)] >= 0) continue;
    const int64_t m = mesh[k];
    const int64_t found = m < 0 ? -1 : object[size_t(m)] != child ? m : other[size_t(m)];
    if (found >= 0) parentOf[size_t(child)] = object[size_t(found)];
  }
  CutCircles(parentOf);  // objects that would be each other's ancestors
  return parentOf;
}

bool XWriter::Write(std::string& out, std::string& error) {
  const size_t n = scene_.objects.size();
  const std::vector<int64_t> parentOf = Parents();
  std::vector<std::vector<size_t>> children(n);
  for (size_t i = 0; i < n; ++i)
    if (parentOf[i] >= 0) children[size_t(parentOf[i])].push_back(i);
  // Frames below the root nest one deeper per generation; the reader takes no deeper ones, so a
  // model it would refuse is refused here before a line is written.
  std::vector<size_t> roots;
  for (size_t i = 0; i < n; ++i)
    if (parentOf[i] < 0 && !scene_.objects[i].vertices.empty()) roots.push_back(i);
  {
    std::vector<std::pair<size_t, size_t>> stack;
    for (size_t root : roots) stack.emplace_back(root, 1);
    while (!stack.empty()) {
      const auto [index, depth] = stack.back();
      stack.pop_back();
      if (depth > size_t(kMaxFrameDepth)) {
        error = "objects nest deeper than " + std::to_string(kMaxFrameDepth) + " frames";
        return false;
      }
      for (size_t child : children[index]) stack.emplace_back(child, depth + 1);
    }
  }
  for (const Material& m : scene_.materials) materials_[m.name] = &m;  // the last of a name counts

  out_ = "xof 0303txt 0032\n\n";
  // Depth first without recursion: each open frame with the child to write next.
  struct Open {
    size_t index;
    Matrix4f frame;
    size_t nextChild;
  };
  std::vector<Open> open;
  for (size_t root : roots) {
    const Matrix4f frame = FrameOf(scene_.objects[root]);
    OpenFrame(root, frame, models::Identity(), 0);
    open.push_back(Open{root, frame, 0});
    while (!open.empty()) {
      Open& top = open.back();
      if (top.nextChild < children[top.index].size()) {
        const size_t child = children[top.index][top.nextChild++];
        const Matrix4f childFrame = FrameOf(scene_.objects[child]);
        OpenFrame(child, childFrame, top.frame, open.size());
        open.push_back(Open{child, childFrame, 0});
        continue;
      }
      out_ += std::string(open.size() - 1, ' ') + "}\n";
      open.pop_back();
    }
  }
  out = std::move(out_);
  return true;
}

// A frame's head: its name, its matrix relative to its parent's, and its mesh; the children and
// the closing brace follow.
void XWriter::OpenFrame(size_t index, const Matrix4f& frame, const Matrix4f& parentFrame, size_t depth) {
  const Object& o = scene_.objects[index];
  const std::string pad(depth, ' ');
  Matrix4f parentInverse;
  if (!models::InvertAffine(parentInverse, parentFrame)) parentInverse = models::Identity();
  const Matrix4f relative = models::Multiply(frame, parentInverse);
  out_ += pad + "Frame " + XName(o.name, "object") + " {\n" + pad + " FrameTransformMatrix {\n" + pad + "  ";
  for (int i = 0; i < 16; ++i) {
    Number(out_, relative.m[i]);
    out_ += i < 15 ? "," : ";;\n";
  }
  out_ += pad + " }\n";
  Matrix4f toLocal;
  if (!models::InvertAffine(toLocal, frame)) toLocal = models::Identity();
  WriteMesh(o, toLocal, pad + " ");
}

void XWriter::WriteMesh(const Object& o, const Matrix4f& toLocal, const std::string& pad) {
  if (o.vertices.empty() || o.faces.empty()) return;
  out_ += pad + "Mesh " + XName(o.name, "object") + "_mesh {\n" + pad + " " + std::to_string(o.vertices.size()) + ";\n";
  for (size_t i = 0; i < o.vertices.size(); ++i) {
    const Vector3f p = models::TransformPoint(Swap(o.vertices[i]), toLocal);
    out_ += pad + " ";
    Number(out_, p.x);
    out_ += ';';
    Number(out_, p.y);
    out_ += ';';
    Number(out_, p.z);
    out_ += i + 1 < o.vertices.size() ? ";,\n" : ";;\n";
  }
  const size_t faces = o.faces.size() / 3;
  out_ += pad + " " + std::to_string(faces) + ";\n";
  for (size_t f = 0; f < faces; ++f) {
    // The swap of y and z mirrors the model; the reversed winding keeps faces facing out.
    out_ += pad + " 3;" + std::to_string(o.faces[f * 3]) + "," + std::to_string(o.faces[f * 3 + 2]) + "," +
            std::to_string(o.faces[f * 3 + 1]) + (f + 1 < faces ? ";,\n" : ";;\n");
  }
  if (!o.uvs.empty()) {
    out_ += pad + " MeshTextureCoords {\n" + pad + "  " + std::to_string(o.vertices.size()) + ";\n";
    for (size_t i = 0; i < o.vertices.size(); ++i) {
      const float u = i * 2 + 1 < o.uvs.size() ? o.uvs[i * 2] : 0.0f;
      const float v = i * 2 + 1 < o.uvs.size() ? o.uvs[i * 2 + 1] : 0.0f;
      out_ += pad + "  ";
      Number(out_, u);
      out_ += ';';
      Number(out_, 1.0f - v);  // 3DS counts v upwards, Direct3D downwards
      out_ += i + 1 < o.vertices.size() ? ";,\n" : ";;\n";
    }
    out_ += pad + " }\n";
  }
  // Materials in the order the faces first use them.
  std::vector<std::string> used;
  std::vector<size_t> usedIndex(o.materialNames.size(), SIZE_MAX);
  std::vector<size_t> faceIndex(faces);
  for (size_t f = 0; f < faces; ++f) {
    const uint32_t material = f < o.faceMaterial.size() ? o.faceMaterial[f] : 0;
    if (usedIndex[material] == SIZE_MAX) {
      usedIndex[material] = used.size();
      used.push_back(o.materialNames[material]);
    }
    faceIndex[f] = usedIndex[material];
  }
  out_ += pad + " MeshMaterialList {\n" + pad + "  " + std::to_string(used.size()) + ";\n" + pad + "  " +
          std::to_string(faces) + ";\n";
  for (size_t f = 0; f < faces; ++f)
    out_ += pad + "  " + std::to_string(faceIndex[f]) + (f + 1 < faces ? ",\n" : ";;\n");
  for (const std::string& name : used) {
    const auto found = materials_.find(name);
    const Material fallback;
    const Material* m = found != materials_.end() ? found->second : &fallback;
    out_ += pad + "  Material " + XName(name, "default") + " {\n" + pad + "   ";
    for (float c : m->diffuse) {
      Number(out_, c);
      out_ += ';';
    }
    out_ += "1.0;;\n" + pad + "   0.0;\n" + pad + "   0.0;0.0;0.0;;\n" + pad + "   0.0;0.0;0.0;;\n";
    if (!m->texture.empty()) {
      std::string file;
      for (char c : m->texture)
        if (c != '"') file += c;
      out_ += pad + "   TextureFilename {\n" + pad + "    \"" + file + "\";\n" + pad + "   }\n";
    }
    out_ += pad + "  }\n";
  }
  out_ += pad + " }\n" + pad + "}\n";
}

}  // namespace

int32_t ConvertThreeDsToX(const std::string& source, const std::string& output, std::string* why) {
  auto fail = [why](int32_t result, const std::string& text) {
    if (why) *why = text;
    return result;
  };
  win::DeleteFileA(output.c_str());
  const std::optional<std::vector<uint8_t>> bytes = win::ReadWholeFile(source);
  if (!bytes) return fail(kCannotOpen, "can't read " + source);
  Scene scene;
  ChunkReader reader(bytes->data(), bytes->size());
  if (!reader.Read(scene)) return fail(kDamaged, reader.damage());
  for (const Object& o : scene.objects)
    for (uint16_t index : o.faces)
      if (index >= o.vertices.size()) return fail(kDamaged, "a face of " + o.name + " names a vertex it does not have");
  std::string text, error;
  if (!XWriter(scene).Write(text, error)) return fail(kDamaged, error);
  if (!win::WriteWholeFile(output, text.data(), text.size())) return fail(kCannotWrite, "can't write " + output);
  return kConvertedOk;
}

}  // namespace vx
