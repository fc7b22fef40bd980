// The static world (static_world.h): parts built from meshes and grouped by texture, the shared
// vertex buffer they are drawn through, the culling and occlusion passes, and the collision boxes
// with their box and sweep tests. Draws through the 3D device of the display; textures are the
// shared TextureRecords of the texture-name list.
#include "engine3d/static_world.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "engine3d/maths3d.h"
#include "engine3d/object_records.h"
#include "engine3d/record_services.h"
#include "engine3d/scene_settings.h"
#include "platform/d3d/direct3d.h"
#include "surfaces/display_state.h"
#include "surfaces/texture_names.h"

namespace vx {

namespace {

// --- Buffers -------------------------------------------------------------------------------------

void ReleaseVertexBuffer() {
  if (win::Direct3DVertexBuffer* buffer = std::exchange(Engine().gStaticWorld.vertexBuffer, nullptr)) buffer->Release();
}

win::Direct3DVertexBuffer* MakeVertexBuffer(uint32_t vertices) {
  if (!Display().gDirect3D) return nullptr;
  win::D3DVERTEXBUFFERDESC desc{};
  desc.dwSize = sizeof desc;
  // Only the hardware transform device draws from buffers in its own memory.
  const bool transformDevice = Display().gD3DDeviceName && std::strcmp(Display().gD3DDeviceName, "T&L") == 0;
  desc.dwCaps = !transformDevice || Display().gSurfaceFallback == 1 ? win::D3DVBCAPS_SYSTEMMEMORY : 0;
  desc.dwFVF = kStaticVertexFormat;
  desc.dwNumVertices = vertices;
  win::Direct3DVertexBuffer* buffer = nullptr;
  if (win::Failed(Display().gDirect3D->CreateVertexBuffer(&desc, &buffer, 0))) return nullptr;
  void* data = nullptr;
  win::DWORD size = 0;
  if (win::Succeeded(buffer->Lock(win::DDLOCK_WAIT | win::DDLOCK_WRITEONLY, &data, &size))) {
    std::memset(data, 0, size);
    buffer->Unlock();
  }
  return buffer;
}

// --- Building a part -----------------------------------------------------------------------------

float Distance(const Vector3f& a, const Vector3f& b) {
  const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// Each face is a fan: (first, second, third), then (first, previous, next) for every further
// corner. False when the list names a vertex the mesh lacks or runs past its words.
bool FanIndices(const StaticMeshData& mesh, std::vector<uint16_t>& indices) {
  size_t word = 0;
  for (uint32_t face = 0; face < mesh.faceCount; ++face) {
    if (!mesh.faces || word >= mesh.faceWordCount) return false;
    const uint32_t corners = mesh.faces[word];
    if (corners > (mesh.faceWordCount - word - 1) / 2) return false;
    const uint32_t* pairs = mesh.faces + word + 1;
    for (uint32_t c = 0; c < corners; ++c)
      if (pairs[2 * c] >= mesh.vertexCount) return false;
    for (uint32_t c = 2; c < corners; ++c) {
      indices.push_back(uint16_t(pairs[0]));
      indices.push_back(uint16_t(pairs[2 * (c - 1)]));
      indices.push_back(uint16_t(pairs[2 * c]));
    }
    word += 1 + 2 * size_t(corners);
  }
  return true;
}

// The eight corners of the culling box, relative to the centre: in each octant around the mean
// the vertex nearest to that octant's corner of the bounding box (its coordinates taken 1.2
// times) is kept, and the box spans the kept vertices.
void ComputeCullingBox(StaticPart& part) {
  const Vector3f& mean = part.centre;
  Vector3f lo = part.centre, hi = part.centre;
  for (const StaticVertex& v : part.vertices) {
    lo.Set(std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z));
    hi.Set(std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z));
  }
  // Searches start from the largest floats, so that a level far from the origin keeps its box.
  std::array<float, 8> nearest;
  nearest.fill(std::numeric_limits<float>::max());
  std::array<const StaticVertex*, 8> kept{};
  for (const StaticVertex& v : part.vertices) {
    const int octant = (v.x >= mean.x ? 4 : 0) + (v.y >= mean.y ? 2 : 0) + (v.z >= mean.z ? 1 : 0);
    const Vector3f corner{(octant & 4 ? hi.x : lo.x) * 1.2f, (octant & 2 ? hi.y : lo.y) * 1.2f,
                          (octant & 1 ? hi.z : lo.z) * 1.2f};
    const float d = Distance({v.x, v.y, v.z}, corner);
    if (d < nearest[size_t(octant)]) {
      nearest[size_t(octant)] = d;
      kept[size_t(octant)] = &v;
    }
  }
  constexpr float kBig = std::numeric_limits<float>::max();
  Vector3f mx{-kBig, -kBig, -kBig}, mn{kBig, kBig, kBig};
  for (const StaticVertex* v : kept) {
    if (!v) continue;
    mx.Set(std::max(mx.x, v->x), std::max(mx.y, v->y), std::max(mx.z, v->z));
    mn.Set(std::min(mn.x, v->x), std::min(mn.y, v->y), std::min(mn.z, v->z));
  }
  mx.Set(mx.x - mean.x, mx.y - mean.y, mx.z - mean.z);
  mn.Set(mn.x - mean.x, mn.y - mean.y, mn.z - mean.z);
  part.corners = {Vector3f{mx.x, mx.y, mx.z}, Vector3f{mx.x, mx.y, mn.z}, Vector3f{mx.x, mn.y, mx.z},
                  Vector3f{mx.x, mn.y, mn.z}, Vector3f{mn.x, mx.y, mx.z}, Vector3f{mn.x, mx.y, mn.z},
                  Vector3f{mn.x, mn.y, mx.z}, Vector3f{mn.x, mn.y, mn.z}};
}

// The nearest part of owner 0 whose sphere holds the whole of the new part.
StaticPart* FindContainer(const Vector3f& centre, float largestDistance) {
  StaticPart* found = nullptr;
  float best = 99999.9f;
  for (StaticTextureGroup& group : Engine().gStaticWorld.geometry.groups)
    for (StaticPart& other : group.parts) {
      if (other.owner != 0) continue;
      const float d = Distance(centre, other.centre);
      if (d < best && d + largestDistance < other.radius) {
        best = d;
        found = &other;
      }
    }
  return found;
}

StaticTextureGroup& GroupOf(uint32_t textureSlot) {
  for (StaticTextureGroup& group : Engine().gStaticWorld.geometry.groups)
    if (group.textureSlot == textureSlot) return group;
  StaticTextureGroup& made = Engine().gStaticWorld.geometry.groups.emplace_back();
  made.textureSlot = textureSlot;
  AddTextureUse(textureSlot);
  return made;
}

template <typename F>
void ForEachPart(F&& f) {
  for (StaticTextureGroup& group : Engine().gStaticWorld.geometry.groups)
    for (StaticPart& part : group.parts) f(part);
}

// --- Culling -------------------------------------------------------------------------------------

// Parts nearer than this are never culled by the screen edges.
constexpr float kEdgeTestDepth = 20.0f;

struct ScreenRect {
  float minX, minY, maxX, maxY;
};

float Clamp1(float v) { return std::clamp(v, -1.0f, 1.0f); }

Vector3f ToView(const Matrix4f& worldView, const Vector3f& p) {
  Vector3f out = p;
  TransformCoord(out, p, worldView);
  return out;
}

// A view-space point on the screen; false on the eye plane, where it has no projection.
bool Project(const StaticView& view, const Vector3f& p, Vector3f& out) {
  return TransformCoord(out, p, view.projection) == kMathsOk;
}

// The screen radius of a sphere of radius r at view depth z, read off the projected point (r, 0, z).
bool ScreenRadius(const StaticView& view, float r, float z, float& out) {
  Vector3f q;
  if (!Project(view, {r, 0, z}, q)) return false;
  out = q.x;
  return true;
}

void ViewTest(const StaticView& view, const Matrix4f& worldView, StaticPart& part, bool& anyVisible) {
  part.nextOccluder = nullptr;
  part.occluder.mark = 0;
  part.visible = 0;
  if (part.owner != 0) return;
  const Vector3f c = ToView(worldView, part.centre);
  const float z = c.z;
  bool outside = false;
  if (z >= kEdgeTestDepth) {
    Vector3f p;
    float r = 0;
    if (Project(view, c, p) && ScreenRadius(view, part.radius, z, r))
      outside = p.x + r < -1.0f || p.x - r > 1.0f || p.y + r < -1.0f || p.y - r > 1.0f;
  }
  if (z + part.radius < 0.0f || z - part.radius > view.farRange) outside = true;
  part.visible = outside ? 0 : 1;
  part.depthRatio = view.farRange != 0.0f ? z / view.farRange : 0.0f;
  anyVisible = anyVisible || part.visible;
}

// A visible part with a culling box occludes when most of its box is in front of the camera: its
// screen rectangle is that of its eight projected corners, and it hides only what lies wholly
// behind its farthest corner.
bool MakeOccluder(const StaticView& view, const Matrix4f& worldView, StaticPart& part) {
  int behind = 0;
  ScreenRect rect{1.0f, 1.0f, -1.0f, -1.0f};
  float farthest = -1e30f;
  for (const Vector3f& corner : part.corners) {
    const Vector3f v =
        ToView(worldView, {part.centre.x + corner.x, part.centre.y + corner.y, part.centre.z + corner.z});
    farthest = std::max(farthest, v.z);
    Vector3f p;
    float x, y;
    if (v.z < 0.0f || !Project(view, v, p)) {
      // Behind the eye the projection turns over: the corner is pushed to the screen's edge.
      behind += v.z < 0.0f;
      x = v.x < 0.0f ? -1.0f : 1.0f;
      y = v.y < 0.0f ? -1.0f : 1.0f;
    } else {
      x = Clamp1(p.x);
      y = Clamp1(p.y);
    }
    rect = {std::min(rect.minX, x), std::min(rect.minY, y), std::max(rect.maxX, x), std::max(rect.maxY, y)};
  }
  if (behind >= 4 || ToView(worldView, part.centre).z < 0.0f) return false;
  if (part.extraFlag == 1) rect.minY = -1.0f, rect.maxY = 1.0f;
  part.occluder = {1, rect.minX, rect.minY, rect.maxX, rect.maxY, farthest};
  return true;
}

// False when the occluders in front of the part leave nothing of its screen rectangle: each one
// that covers the rectangle's whole width or height trims it from that edge.
bool SurvivesOccluders(const StaticView& view, const Matrix4f& worldView, const StaticPart& part,
                       const StaticPart* occluders) {
  const Vector3f c = ToView(worldView, part.centre);
  const float nearDepth = c.z - part.radius;
  ScreenRect r{-1.0f, -1.0f, 1.0f, 1.0f};
  Vector3f p;
  float sr = 0;
  if (c.z > 0.0f && Project(view, c, p) &&
      ScreenRadius(view, part.radiusMode ? part.contactRadius : part.radius, c.z, sr)) {
    sr = std::fabs(sr);
    r = {Clamp1(p.x - sr), Clamp1(p.y - sr), Clamp1(p.x + sr), Clamp1(p.y + sr)};
  }
  for (const StaticPart* o = occluders; o; o = o->nextOccluder) {
    if (o == &part || !(o->occluder.depth < nearDepth)) continue;
    const StaticOccluderState& s = o->occluder;
    if (s.minX <= r.minX && r.maxX <= s.maxX && s.minY <= r.minY && r.maxY <= s.maxY) return false;
    if (!(s.minX < r.maxX && s.maxX > r.minX && s.minY < r.maxY && s.maxY > r.minY)) continue;
    // Trimmed from an edge only: a band out of the middle would leave two rectangles. A trim
    // that leaves nothing means the occluder covered it all, which the test above has seen.
    if (s.minX <= r.minX && s.maxX >= r.maxX) {
      if (s.minY <= r.minY) r.minY = s.maxY;
      if (s.maxY >= r.maxY) r.maxY = s.minY;
    }
    if (s.minY <= r.minY && s.maxY >= r.maxY) {
      if (s.minX <= r.minX) r.minX = s.maxX;
      if (s.maxX >= r.maxX) r.maxX = s.minX;
    }
  }
  return true;
}

// --- Drawing -------------------------------------------------------------------------------------

// Draws the current batch (when it has indices) and empties it.
void DrawBatch(StaticDrawStats& stats) {
  StaticWorld& w = Engine().gStaticWorld;
  if (w.indicesUsed > 0 &&
      win::Succeeded(Display().gD3DDevice->DrawIndexedPrimitiveVB(
          win::D3DPT_TRIANGLELIST, w.vertexBuffer, 0, w.verticesUsed, w.indexBuffer.data(), w.indicesUsed, 0))) {
    ++stats.batches;
    stats.indices += w.indicesUsed;
  }
  w.verticesUsed = 0;
  w.indicesUsed = 0;
}

bool LockBatch(StaticVertex*& vertices) {
  void* data = nullptr;
  if (win::Failed(Engine().gStaticWorld.vertexBuffer->Lock(win::DDLOCK_WAIT | win::DDLOCK_WRITEONLY, &data, nullptr)))
    return false;
  vertices = static_cast<StaticVertex*>(data);
  return true;
}

bool Drawn(const StaticPart& part) { return part.visible && !part.vertices.empty(); }

void DrawGroup(const StaticTextureGroup& group, StaticDrawStats& stats) {
  StaticWorld& w = Engine().gStaticWorld;
  if (std::none_of(group.parts.begin(), group.parts.end(), Drawn)) return;
  Display().gD3DDevice->SetTexture(0, StaticTextureSurface(group.textureSlot));
  StaticVertex* vertices = nullptr;
  if (!LockBatch(vertices)) return;
  for (const StaticPart& part : group.parts) {
    if (!Drawn(part)) continue;
    const uint32_t n = uint32_t(part.vertices.size());
    const size_t m = part.indices.size();
    if (w.verticesUsed + n >= kStaticBatchVertices || w.verticesUsed + n > w.vertexCapacity ||
        w.indicesUsed + m > w.indexCapacity) {
      w.vertexBuffer->Unlock();
      DrawBatch(stats);
      if (!LockBatch(vertices)) return;
    }
    std::memcpy(vertices + w.verticesUsed, part.vertices.data(), n * sizeof(StaticVertex));
    uint16_t* out = w.indexBuffer.data() + w.indicesUsed;
    for (size_t i = 0; i < m; ++i) out[i] = uint16_t(part.indices[i] + w.verticesUsed);
    w.verticesUsed += n;
    w.indicesUsed += uint32_t(m);
  }
  w.vertexBuffer->Unlock();
  DrawBatch(stats);
}

// --- Collision -------------------------------------------------------------------------------------

// The cube of half size `size` around p overlaps the box (faces touching count).
bool CubeHits(const StaticCollisionBox& b, const float p[3], float size) {
  return p[0] - size <= b.x2 && p[0] + size >= b.x1 && p[1] - size <= b.y2 && p[1] + size >= b.y1 &&
         p[2] - size <= b.z2 && p[2] + size >= b.z1;
}

}  // namespace

// --- Buffers ---------------------------------------------------------------------------------------

StaticMeshData StaticMeshDataOf(const MeshRecord& mesh) {
  return {mesh.positions,
          mesh.normals,
          mesh.faces,
          mesh.textureCoords,
          uint32_t(std::max(mesh.vertexCount, 0)),
          uint32_t(std::max(mesh.normalCount, 0)),
          uint32_t(std::max(mesh.faceCount, 0)),
          uint32_t(std::max(mesh.faceWordCount, 0))};
}

void ResetStaticWorld() {
  GrowStaticBuffers(kStaticInitialVertices);
  Engine().gStaticWorld.occlusionOn = 1;
}

bool GrowStaticBuffers(uint32_t vertices) {
  StaticWorld& w = Engine().gStaticWorld;
  vertices = std::clamp<uint32_t>(vertices, 1, kMaxStaticPartVertices);
  ReleaseVertexBuffer();
  w.vertexBuffer = MakeVertexBuffer(vertices);
  w.vertexCapacity = vertices;
  w.indexCapacity = 5 * vertices;
  w.indexBuffer.assign(w.indexCapacity, 0);
  w.verticesUsed = 0;
  w.indicesUsed = 0;
  return w.vertexBuffer != nullptr;
}

void EnsureStaticCapacity(uint32_t vertices, size_t indices) {
  StaticWorld& w = Engine().gStaticWorld;
  if (vertices > w.vertexCapacity || (!w.vertexBuffer && Display().gDirect3D))
    GrowStaticBuffers(std::max({vertices, w.vertexCapacity, kStaticInitialVertices}));
  if (indices > w.indexCapacity) {
    w.indexBuffer.assign(indices, 0);
    w.indexCapacity = uint32_t(indices);
  }
}

win::IDirectDrawSurface7* StaticTextureSurface(uint32_t textureSlot) {
  if (textureSlot == 0 || !Records().gTextureRecords.IsTaken(textureSlot)) return nullptr;
  return Records().gTextureRecords[textureSlot].texture.surface;
}

void ReleaseStaticWorld() {
  ClearStaticGeometry();
  ReleaseVertexBuffer();
  StaticWorld& w = Engine().gStaticWorld;
  w.vertexCapacity = w.indexCapacity = 0;
  w.indexBuffer = {};
  w.verticesUsed = w.indicesUsed = 0;
}

// --- Geometry --------------------------------------------------------------------------------------

int32_t AddStaticPart(uint32_t textureSlot, const StaticMeshData& mesh, int32_t cullingBox, int32_t radiusFlag,
                      int32_t owner, int32_t extraFlag) {
  // A mesh without vertices has no centre to cull by and nothing to draw.
  if (mesh.vertexCount == 0) return 1;
  if (mesh.vertexCount > kMaxStaticPartVertices || !mesh.positions) return 0;
  try {
    StaticPart part;
    if (!FanIndices(mesh, part.indices)) return 0;
    part.vertices.resize(mesh.vertexCount);
    double sx = 0, sy = 0, sz = 0;
    for (uint32_t i = 0; i < mesh.vertexCount; ++i) {
      StaticVertex& v = part.vertices[i];
      const float* p = mesh.positions + 3 * size_t(i);
      v = {p[0], p[1], p[2], 0, 0, 0, 0, 0};
      if (mesh.normals && i < mesh.normalCount) {
        const float* n = mesh.normals + 3 * size_t(i);
        v.nx = n[0], v.ny = n[1], v.nz = n[2];
      }
      if (mesh.textureCoords) v.u = mesh.textureCoords[2 * size_t(i)], v.v = mesh.textureCoords[2 * size_t(i) + 1];
      sx += v.x, sy += v.y, sz += v.z;
    }
    const double count = mesh.vertexCount;
    part.centre = {float(sx / count), float(sy / count), float(sz / count)};
    float largest = 0, deepest = 0;
    for (const StaticVertex& v : part.vertices) {
      largest = std::max(largest, Distance({v.x, v.y, v.z}, part.centre));
      deepest = std::max(deepest, part.centre.y - v.y);
    }
    part.radius = largest * 1.25f;
    part.owner = owner;
    part.extraFlag = uint8_t(extraFlag);
    if (owner > 0 && part.centre.x > -5000.0f) part.container = FindContainer(part.centre, largest);
    if (radiusFlag && !cullingBox) {
      part.radiusMode = 1;
      part.contactRadius = 0.5f * largest + 0.5f * deepest;
    }
    if (cullingBox) {
      ComputeCullingBox(part);
      part.hasCullingBox = 1;
      if (radiusFlag) {
        // An occluder only: counts of 0, so the draw and the file have nothing of it to copy.
        part.geometryDropped = 1;
        part.vertices = {};
        part.indices = {};
      }
    }
    EnsureStaticCapacity(uint32_t(part.vertices.size()), part.indices.size());
    GroupOf(textureSlot).parts.push_back(std::move(part));
    return 1;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

void RemoveStaticParts(int32_t owner) {
  ForEachPart([owner](StaticPart& part) {
    if (part.container && part.container->owner == owner) part.container = nullptr;
  });
  for (StaticTextureGroup& group : Engine().gStaticWorld.geometry.groups)
    group.parts.remove_if([owner](const StaticPart& part) { return part.owner == owner; });
}

void RemoveObjectFromStaticWorld(uint32_t objectSlot) { RemoveStaticParts(int32_t(objectSlot)); }

int32_t AddStaticCollisionBox(float x1, float y1, float z1, float x2, float y2, float z2) {
  try {
    Engine().gStaticWorld.geometry.boxes.push_back({x1, y1, z1, x2, y2, z2});
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

void ReleaseStaticGeometry(StaticGeometry& geometry) {
  for (const StaticTextureGroup& group : geometry.groups) ReleaseTextureSlot(group.textureSlot, 0);
  geometry.groups.clear();
  geometry.boxes.clear();
}

void ClearStaticGeometry() { ReleaseStaticGeometry(Engine().gStaticWorld.geometry); }

bool StaticWorldHoldsGeometry() {
  return !Engine().gStaticWorld.geometry.groups.empty() || !Engine().gStaticWorld.geometry.boxes.empty();
}

// --- Culling and drawing ---------------------------------------------------------------------------

StaticView SceneStaticView() {
  return {Scene().gWorldBaseMatrix, Scene().gViewMatrix, Scene().gProjectionMatrix, Display().gCameraFar};
}

void CullStaticWorld(const StaticView& view) {
  Matrix4f worldView;
  MatrixMultiply(worldView, view.worldBase, view.view);

  bool anyVisible = false;
  ForEachPart([&](StaticPart& part) { ViewTest(view, worldView, part, anyVisible); });

  if (anyVisible && Engine().gStaticWorld.occlusionOn) {
    StaticPart* occluders = nullptr;
    StaticPart** tail = &occluders;
    ForEachPart([&](StaticPart& part) {
      if (!part.visible || !part.hasCullingBox || !MakeOccluder(view, worldView, part)) return;
      *tail = &part;
      tail = &part.nextOccluder;
    });
    if (occluders)
      ForEachPart([&](StaticPart& part) {
        if (part.visible && !SurvivesOccluders(view, worldView, part, occluders)) part.visible = 0;
      });
  }

  ForEachPart([](StaticPart& part) {
    if (part.owner != 0) part.visible = part.container && part.container->visible ? 1 : 0;
  });
}

StaticDrawStats DrawStaticWorld() {
  StaticDrawStats stats{0, 0};
  if (!Display().gD3DDevice) return stats;
  uint32_t mostVertices = 0;
  size_t mostIndices = 0;
  ForEachPart([&](const StaticPart& part) {
    if (!Drawn(part)) return;
    mostVertices = std::max(mostVertices, uint32_t(part.vertices.size()));
    mostIndices = std::max(mostIndices, part.indices.size());
  });
  if (mostVertices == 0) return stats;
  EnsureStaticCapacity(mostVertices, mostIndices);
  if (!Engine().gStaticWorld.vertexBuffer) return stats;
  Engine().gStaticWorld.verticesUsed = Engine().gStaticWorld.indicesUsed = 0;
  for (const StaticTextureGroup& group : Engine().gStaticWorld.geometry.groups) DrawGroup(group, stats);
  return stats;
}

StaticDrawStats RenderStaticWorld() {
  CullStaticWorld(SceneStaticView());
  return DrawStaticWorld();
}

// --- Collision ---------------------------------------------------------------------------------------

int32_t StaticBoxListTest(const float oldBox[6], const float newBox[6], float out[3]) {
  out[0] = out[1] = out[2] = 0.0f;
  int32_t result = 0;
  const float* o = oldBox;
  const float* n = newBox;
  for (const StaticCollisionBox& b : Engine().gStaticWorld.geometry.boxes) {
    if (!(n[0] <= b.x2 && n[3] >= b.x1 && n[1] <= b.y2 && n[4] >= b.y1 && n[2] <= b.z2 && n[5] >= b.z1)) continue;
    // The side the volume came from is the one its old box was nearest to.
    const float gaps[6] = {std::fabs(o[3] - b.x1), std::fabs(b.x2 - o[0]), std::fabs(o[4] - b.y1),
                           std::fabs(b.y2 - o[1]), std::fabs(o[5] - b.z1), std::fabs(b.z2 - o[2])};
    int side = 0;
    for (int i = 1; i < 6; ++i)
      if (gaps[i] < gaps[side]) side = i;
    switch (side) {
      case 0: out[0] = n[3] - b.x1; break;
      case 1: out[0] = n[0] - b.x2; break;
      case 2: out[1] = n[4] - b.y1; break;
      case 3: out[1] = n[1] - b.y2; break;
      case 4: out[2] = n[5] - b.z1; break;
      default: out[2] = n[2] - b.z2; break;
    }
    result = 1;
  }
  return result;
}

int32_t StaticWorldSweepTest(const float start[3], const float end[3], float size, float step, float out[3]) {
  out[0] = out[1] = out[2] = 0.0f;
  const float move[3] = {end[0] - start[0], end[1] - start[1], end[2] - start[2]};
  const float extent = std::max({std::fabs(move[0]), std::fabs(move[1]), std::fabs(move[2])});
  if (!(step > 0.0f)) step = 1.0f;

  // Positions start + i * unit for i = 0 .. steps, then the end itself when the steps fall short.
  uint32_t steps = 0;
  float scale = 0.0f;  // of the move, per step
  if (extent > 0.0f && std::isfinite(extent)) {
    const double wanted = std::floor(double(extent) / double(step));
    if (wanted > kMaxSweepSteps) {
      steps = kMaxSweepSteps;
      scale = 1.0f / float(kMaxSweepSteps);
    } else {
      steps = uint32_t(wanted);
      scale = step / extent;
    }
  }
  const bool endSample = extent > 0.0f && std::isfinite(extent) && float(steps) * scale < 1.0f;

  // Only the boxes that the swept cube can reach are walked.
  std::vector<const StaticCollisionBox*> reachable;
  const float lo[3] = {std::min(start[0], end[0]) - size, std::min(start[1], end[1]) - size,
                       std::min(start[2], end[2]) - size};
  const float hi[3] = {std::max(start[0], end[0]) + size, std::max(start[1], end[1]) + size,
                       std::max(start[2], end[2]) + size};
  for (const StaticCollisionBox& b : Engine().gStaticWorld.geometry.boxes)
    if (lo[0] <= b.x2 && hi[0] >= b.x1 && lo[1] <= b.y2 && hi[1] >= b.y1 && lo[2] <= b.z2 && hi[2] >= b.z1)
      reachable.push_back(&b);
  if (reachable.empty()) return 0;

  float previous[3] = {start[0], start[1], start[2]};
  const uint32_t samples = steps + 1 + (endSample ? 1 : 0);
  for (uint32_t i = 0; i < samples; ++i) {
    float p[3];
    if (i <= steps) {
      for (int a = 0; a < 3; ++a) p[a] = start[a] + move[a] * (scale * float(i));
    } else {
      std::copy(end, end + 3, p);
    }
    for (const StaticCollisionBox* b : reachable)
      if (CubeHits(*b, p, size)) {
        std::copy(previous, previous + 3, out);
        return 1;
      }
    std::copy(p, p + 3, previous);
  }
  return 0;
}

}  // namespace vx
