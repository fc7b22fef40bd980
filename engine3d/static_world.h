// The static world: one global store of level geometry that no longer moves. Meshes handed to it
// become parts, grouped by texture and drawn in batches through one shared vertex buffer; each
// part is culled by its sphere against the view, and parts built with a culling box occlude the
// parts behind them. Beside the geometry it keeps a list of axis-aligned collision boxes that
// moving boxes and points are tested against. The file that holds a world is
// engine3d/static_world_file.h.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <list>
#include <vector>

#include "common/maths_types.h"

namespace vx::win {
class Direct3DVertexBuffer;
class DirectDrawSurface;
}  // namespace vx::win

namespace vx {

struct MeshRecord;

// One vertex of the shared buffer: position, normal, one texture coordinate pair (FVF 0x112).
struct StaticVertex {
  float x, y, z;
  float nx, ny, nz;
  float u, v;
};
static_assert(sizeof(StaticVertex) == 32);
constexpr uint32_t kStaticVertexFormat = 0x112;  // D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1

// 16-bit indices reach no further.
constexpr uint32_t kMaxStaticPartVertices = 0xFFFF;
// The vertex buffer made at the start of a run.
constexpr uint32_t kStaticInitialVertices = 4000;
// A batch is drawn before it would reach this many vertices.
constexpr uint32_t kStaticBatchVertices = 300;

// Where a part's occluder rectangle stood in the last culling pass (screen coordinates -1 to 1).
struct StaticOccluderState {
  uint8_t mark;  // 1 while the part occludes
  float minX, minY, maxX, maxY;
  float depth;  // view depth of its farthest corner
};

struct StaticPart {
  std::vector<StaticVertex> vertices;
  std::vector<uint16_t> indices;  // triangle list, a multiple of 3
  int32_t owner = 0;              // object slot that moved it here, 0 for geometry added for good
  Vector3f centre{0, 0, 0};       // mean of the vertex positions
  float radius = 0;               // 1.25 times the largest distance of a vertex from the centre
  float contactRadius = 0;        // set in radius mode, else 0
  uint8_t visible = 0;            // set by the culling pass
  uint8_t hasCullingBox = 0;
  uint8_t radiusMode = 0;
  uint8_t geometryDropped = 0;        // an occluder only: no vertices or indices of its own
  uint8_t extraFlag = 0;              // the occluder covers the screen's whole height
  std::array<Vector3f, 8> corners{};  // the culling box, relative to the centre
  StaticOccluderState occluder{};
  StaticPart* container = nullptr;     // owned parts: the nearest owner-0 part whose sphere holds it
  StaticPart* nextOccluder = nullptr;  // occluder list of the current frame
  float depthRatio = 0;                // view depth / far range in the last culling pass
};

struct StaticTextureGroup {
  uint32_t textureSlot = 0;     // TextureRecord; one use of it is the group's
  std::list<StaticPart> parts;  // a list: containers point at parts
};

// x1, y1, z1 is the minimum corner.
struct StaticCollisionBox {
  float x1, y1, z1, x2, y2, z2;
};

// What the world holds, apart from the device buffers: what a file load builds and swaps in.
struct StaticGeometry {
  std::list<StaticTextureGroup> groups;   // in the order they were made
  std::vector<StaticCollisionBox> boxes;  // in the order added
};

struct StaticWorld {
  StaticGeometry geometry;
  uint32_t vertexCapacity = 0;                        // vertices the shared buffer holds
  win::Direct3DVertexBuffer* vertexBuffer = nullptr;  // null until a device exists
  uint32_t verticesUsed = 0;                          // in the current batch
  uint32_t indexCapacity = 0;                         // 5 times the vertex capacity, or more
  std::vector<uint16_t> indexBuffer;
  uint32_t indicesUsed = 0;  // in the current batch
  uint8_t occlusionOn = 1;   // the occluder passes run
};

// The arrays of a mesh as the static world takes them: positions and normals of three floats,
// texture coordinates of two (may be null), and faces of a corner count followed by a vertex
// index and a normal index per corner.
struct StaticMeshData {
  const float* positions;
  const float* normals;
  const uint32_t* faces;
  const float* textureCoords;
  uint32_t vertexCount;
  uint32_t normalCount;
  uint32_t faceCount;
  uint32_t faceWordCount;  // words of the face list, so a damaged list is never read past its end
};
StaticMeshData StaticMeshDataOf(const MeshRecord& mesh);

// --- Buffers ---------------------------------------------------------------------------------------

// Run set-up: the shared vertex buffer for 4000 vertices.
void ResetStaticWorld();
// Remakes the vertex buffer for n vertices (zeroed) and the index buffer for 5n indices; both
// batches empty. The capacity is kept even when no vertex buffer can be made (no device yet).
bool GrowStaticBuffers(uint32_t vertices);
// Makes room for a part or a batch: the vertex buffer holds `vertices`, the index buffer
// `indices`, and a vertex buffer exists once a device does.
void EnsureStaticCapacity(uint32_t vertices, size_t indices);
// The end of a run: the geometry cleared and the buffers given back.
void ReleaseStaticWorld();

// The surface of a group's texture; null for none.
win::DirectDrawSurface* StaticTextureSurface(uint32_t textureSlot);

// --- Geometry --------------------------------------------------------------------------------------

// Adds one mesh as a part of the texture's group (made, with one use of the texture, when new).
// cullingBox makes it an occluder; with radiusFlag as well it keeps no geometry of its own; with
// radiusFlag alone it is culled by its contact radius. 1 when added or when the mesh holds no
// vertices (nothing to add); 0 when refused: more vertices than 16-bit indices reach, or a face
// that names a vertex the mesh does not have.
int32_t AddStaticPart(uint32_t textureSlot, const StaticMeshData& mesh, int32_t cullingBox, int32_t radiusFlag,
                      int32_t owner, int32_t extraFlag);
// Deletes every part of that owner in every group; groups stay, even when empty.
void RemoveStaticParts(int32_t owner);
// Appends a box; 0, or -1 when no memory.
int32_t AddStaticCollisionBox(float x1, float y1, float z1, float x2, float y2, float z2);
// Deletes every box and every group with its parts; each group gives back its use of its texture.
void ClearStaticGeometry();
// The same for a world that is not (or no longer) the global one.
void ReleaseStaticGeometry(StaticGeometry& geometry);
// True when the world has a group or a box.
bool StaticWorldHoldsGeometry();

// --- Culling and drawing ---------------------------------------------------------------------------

// What the culling pass looks through.
struct StaticView {
  Matrix4f worldBase;
  Matrix4f view;
  Matrix4f projection;
  float farRange;
};
// The scene's world base, view and projection matrices and the camera's far range.
StaticView SceneStaticView();
// Sets each part's visible byte: the view test of the owner-0 parts, the occluder list, occlusion,
// and owned parts following their containers.
void CullStaticWorld(const StaticView& view);

struct StaticDrawStats {
  uint32_t batches;  // draw calls made
  uint32_t indices;  // triangle-list indices drawn (for the polygon statistic)
};
// Draws the visible parts group by group, in batches of fewer than 300 vertices.
StaticDrawStats DrawStaticWorld();
// The culling pass through the scene's view, then the batched draw.
StaticDrawStats RenderStaticWorld();

// --- Collision ---------------------------------------------------------------------------------------

// A box before (old minimum, old maximum) and after a move (new minimum, new maximum), twelve
// floats. For each world box the new box overlaps (faces touching count), one component of `out`
// receives the push-back out of the side the old box came from; later boxes overwrite the
// component they set. 1 on any contact, else 0 with `out` zero.
int32_t StaticBoxListTest(const float oldBox[6], const float newBox[6], float out[3]);
// A cube of half size `size` moved from start to end in steps of `step` along the largest axis
// of the move (0 counts as 1). The first position whose cube overlaps a box is the contact: `out`
// receives the position one step before it and the result is 1. Else 0 with `out` zero.
int32_t StaticWorldSweepTest(const float start[3], const float end[3], float size, float step, float out[3]);
// Steps a sweep walks at most: a tiny step still ends.
constexpr uint32_t kMaxSweepSteps = 4096;

}  // namespace vx

// The state of this part is in EngineState (engine3d/engine_state.h), which uses the types above.
#include "engine3d/engine_state.h"
