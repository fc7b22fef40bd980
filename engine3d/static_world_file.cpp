// The static world file (static_world_file.h). Layout, little-endian:
//   per group:  byte 1, texture number (u32), per part: byte 1 and a part record; byte 0
//   byte 0
//   per box:    byte 1, x1, y1, z1, x2, y2, z2 (floats)
//   byte 0
// Part record: vertex count n (u32), n vertices of 8 floats, index count m (u32), m u16 indices,
// centre x, y, z, radius, contact radius (floats), visible, has culling box, radius mode, geometry
// dropped, extra flag (bytes), 8 corners of 3 floats, the occluder state (mark byte, 3 spare bytes,
// rectangle and depth: 5 floats). Owners and containers are not kept: a loaded part is for good.
//
// Textures go through the image context's DDS writer and come back through the engine's textures.
#include "engine3d/static_world_file.h"

#include <strings.h>

#include <algorithm>
#include <bit>
#include <utility>

#include "common/le_words.h"
#include "common/runtime_hooks.h"
#include "engine3d/object_records.h"
#include "images/image_context.h"
#include "platform/win/files.h"
#include "surfaces/engine_textures.h"
#include "surfaces/texture_names.h"

namespace vx {

namespace {

constexpr uint8_t kMore = 1;
constexpr uint8_t kEnd = 0;
constexpr size_t kVertexBytes = sizeof(StaticVertex);
constexpr size_t kOccluderSpareBytes = 3;
// Textures are looked up among the attached files by the whole name, not the base name alone.
constexpr int32_t kWholeNameLookup = 1;

// --- Writing -------------------------------------------------------------------------------------

class Writer {
 public:
  void Byte(uint8_t b) { out_.push_back(b); }
  void U32(uint32_t v) { AppendLE32(out_, v); }
  void U16(uint16_t v) {
    out_.push_back(uint8_t(v));
    out_.push_back(uint8_t(v >> 8));
  }
  void F32(float f) { U32(std::bit_cast<uint32_t>(f)); }
  std::vector<uint8_t> Take() { return std::move(out_); }

 private:
  std::vector<uint8_t> out_;
};

void WritePart(Writer& w, const StaticPart& part) {
  w.U32(uint32_t(part.vertices.size()));
  for (const StaticVertex& v : part.vertices)
    for (float f : {v.x, v.y, v.z, v.nx, v.ny, v.nz, v.u, v.v}) w.F32(f);
  w.U32(uint32_t(part.indices.size()));
  for (uint16_t i : part.indices) w.U16(i);
  for (float f : {part.centre.x, part.centre.y, part.centre.z, part.radius, part.contactRadius}) w.F32(f);
  for (uint8_t b : {part.visible, part.hasCullingBox, part.radiusMode, part.geometryDropped, part.extraFlag}) w.Byte(b);
  for (const Vector3f& c : part.corners)
    for (float f : {c.x, c.y, c.z}) w.F32(f);
  const StaticOccluderState& o = part.occluder;
  w.Byte(o.mark);
  for (size_t i = 0; i < kOccluderSpareBytes; ++i) w.Byte(0);
  for (float f : {o.minX, o.minY, o.maxX, o.maxY, o.depth}) w.F32(f);
}

// --- Reading -------------------------------------------------------------------------------------

// Reads within the bytes; every read past the end fails and leaves the reader failed.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  size_t Left() const { return bytes_.size() - at_; }
  bool Byte(uint8_t& b) {
    if (Left() < 1) return false;
    b = bytes_[at_++];
    return true;
  }
  bool U32(uint32_t& v) {
    if (Left() < 4) return false;
    v = ReadLE32(bytes_.data() + at_);
    at_ += 4;
    return true;
  }
  bool U16(uint16_t& v) {
    if (Left() < 2) return false;
    v = uint16_t(bytes_[at_] | (bytes_[at_ + 1] << 8));
    at_ += 2;
    return true;
  }
  bool F32(float& f) {
    uint32_t bits;
    if (!U32(bits)) return false;
    f = std::bit_cast<float>(bits);
    return true;
  }
  template <typename... F>
  bool Floats(F&... f) {
    return (F32(f) && ...);
  }
  bool Skip(size_t n) {
    if (Left() < n) return false;
    at_ += n;
    return true;
  }
  // A marker: 1 when a record follows, 0 at the end of a list, -1 for anything else.
  int Marker() {
    uint8_t b;
    if (!Byte(b) || b > kMore) return -1;
    return b;
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t at_ = 0;
};

bool ReadPart(Reader& r, StaticPart& part) {
  // Every count is held against what is left of the file before anything is made of it.
  uint32_t n;
  if (!r.U32(n) || n > kMaxStaticPartVertices || size_t(n) * kVertexBytes > r.Left()) return false;
  part.vertices.resize(n);
  for (StaticVertex& v : part.vertices)
    if (!r.Floats(v.x, v.y, v.z, v.nx, v.ny, v.nz, v.u, v.v)) return false;
  uint32_t m;
  if (!r.U32(m) || size_t(m) * 2 > r.Left()) return false;
  part.indices.resize(m);
  for (uint16_t& i : part.indices)
    if (!r.U16(i)) return false;
  if (!r.Floats(part.centre.x, part.centre.y, part.centre.z, part.radius, part.contactRadius)) return false;
  for (uint8_t* b : {&part.visible, &part.hasCullingBox, &part.radiusMode, &part.geometryDropped, &part.extraFlag})
    if (!r.Byte(*b)) return false;
  for (Vector3f& c : part.corners)
    if (!r.Floats(c.x, c.y, c.z)) return false;
  StaticOccluderState& o = part.occluder;
  if (!r.Byte(o.mark) || !r.Skip(kOccluderSpareBytes) || !r.Floats(o.minX, o.minY, o.maxX, o.maxY, o.depth))
    return false;
  if (part.hasCullingBox && part.geometryDropped) {
    // An occluder only; whatever geometry an older writer left in the file is not kept.
    part.vertices = {};
    part.indices = {};
    return true;
  }
  if (m % 3 != 0) return false;
  for (uint16_t i : part.indices)
    if (i >= n) return false;
  return true;
}

bool ReadWorld(Reader& r, StaticGeometry& geometry) {
  for (int group; (group = r.Marker()) != kEnd;) {
    StaticTextureGroup& made = geometry.groups.emplace_back();
    if (group < 0 || !r.U32(made.textureSlot)) return false;
    for (int part; (part = r.Marker()) != kEnd;)
      if (part < 0 || !ReadPart(r, made.parts.emplace_back())) return false;
  }
  for (int box; (box = r.Marker()) != kEnd;) {
    StaticCollisionBox& b = geometry.boxes.emplace_back();
    if (box < 0 || !r.Floats(b.x1, b.y1, b.z1, b.x2, b.y2, b.z2)) return false;
  }
  return true;
}

// --- Textures ------------------------------------------------------------------------------------

void WriteGroupTexture(const std::string& worldFile, uint32_t textureSlot) {
  win::IDirectDrawSurface7* surface = StaticTextureSurface(textureSlot);
  if (!surface) return;
  const std::string name = StaticTextureFileName(worldFile, textureSlot);
  win::DeleteFileA(name.c_str());
  surface->Restore();
  SaveImageByExtension(surface, name);
}

// One more use of a texture of that name (letter case aside), or the texture loaded by that name,
// which the attached files are searched by.
uint32_t FindWorldTexture(const std::string& name) {
  const std::string key = TextureNameKey(name.c_str(), 0, kWholeNameLookup);
  for (TextureNameEntry* e = Records().gTextureNameList; e; e = e->next)
    if (strcasecmp(e->name.c_str(), key.c_str()) == 0 && AddTextureUse(e->textureSlot)) return e->textureSlot;
  return LoadTextureFile(name.c_str(), kWholeNameLookup);
}

}  // namespace

std::string StaticTextureFileName(const std::string& worldFile, uint32_t textureNumber) {
  return worldFile + "_" + std::to_string(textureNumber) + ".dds";
}

std::vector<uint8_t> EncodeStaticWorld(const StaticGeometry& geometry) {
  Writer w;
  for (const StaticTextureGroup& group : geometry.groups) {
    w.Byte(kMore);
    w.U32(group.textureSlot);
    for (const StaticPart& part : group.parts) {
      w.Byte(kMore);
      WritePart(w, part);
    }
    w.Byte(kEnd);
  }
  w.Byte(kEnd);
  for (const StaticCollisionBox& b : geometry.boxes) {
    w.Byte(kMore);
    for (float f : {b.x1, b.y1, b.z1, b.x2, b.y2, b.z2}) w.F32(f);
  }
  w.Byte(kEnd);
  return w.Take();
}

std::optional<StaticGeometry> DecodeStaticWorld(std::span<const uint8_t> bytes) {
  Reader r(bytes);
  StaticGeometry geometry;
  if (!ReadWorld(r, geometry)) return std::nullopt;
  return geometry;
}

int32_t WriteStaticWorldFile(const std::string& fileName) {
  for (const StaticTextureGroup& group : Engine().gStaticWorld.geometry.groups)
    WriteGroupTexture(fileName, group.textureSlot);
  const std::vector<uint8_t> bytes = EncodeStaticWorld(Engine().gStaticWorld.geometry);
  return win::WriteWholeFile(fileName, bytes.data(), bytes.size()) ? 1 : 0;
}

int32_t ReadStaticWorldFile(const std::string& path, const std::string& textureName) {
  win::ReadFailure why = win::ReadFailure::kNone;
  const std::optional<std::vector<uint8_t>> bytes = win::ReadWholeFile(path, kMaxStaticWorldFileBytes, &why);
  if (!bytes) {
    // Opened as "open always": a name that does not exist is made as an empty file.
    if (why == win::ReadFailure::kCannotOpen && win::GetFileAttributesA(path.c_str()) == win::INVALID_FILE_ATTRIBUTES)
      win::WriteWholeFile(path, nullptr, 0);
    return 0;
  }
  if (bytes->empty()) return 0;
  std::optional<StaticGeometry> loaded = DecodeStaticWorld(*bytes);
  if (!loaded) {
    EngineErrorLog("The static world file " + textureName + " is damaged");
    return 0;
  }
  // The new world's textures are taken before the old world lets go of its own, so a texture
  // that both use stays loaded.
  uint32_t mostVertices = 0;
  size_t mostIndices = 0;
  const win::FolderLookupScope folders;  // every group names a file of the same folder
  for (StaticTextureGroup& group : loaded->groups) {
    group.textureSlot = FindWorldTexture(StaticTextureFileName(textureName, group.textureSlot));
    for (const StaticPart& part : group.parts) {
      mostVertices = std::max(mostVertices, uint32_t(part.vertices.size()));
      mostIndices = std::max(mostIndices, part.indices.size());
    }
  }
  ClearStaticGeometry();
  Engine().gStaticWorld.geometry = std::move(*loaded);
  EnsureStaticCapacity(mostVertices, mostIndices);
  return 1;
}

int32_t LoadStaticWorldFile(const char* fileName) {
  if (!fileName) return 0;
  std::string path = fileName;
  ResolveVirtualFile(path, VirtualFileEnding(path));
  return ReadStaticWorldFile(path, fileName);
}

int32_t SaveStaticWorldFile(const char* fileName) {
  if (!fileName || !StaticWorldHoldsGeometry()) return 0;
  return WriteStaticWorldFile(fileName);
}

}  // namespace vx
