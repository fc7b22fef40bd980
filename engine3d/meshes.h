// Mesh records built in memory: the five built-in meshes (binary .x resources), boxes and
// triangles built in code, copies of a loaded object's geometry, the .x mesh reader, and the
// operations on a whole mesh. A mesh becomes visible by being put into an object's model.
#pragma once
#include <cstdint>
#include <string>

#include "models/scene_nodes.h"

namespace vx {

struct MeshRecord;

constexpr int kSphereMeshResource = 189, kCubeMeshResource = 190, kCylinderMeshResource = 191, kPlainMeshResource = 193,
              kConeMeshResource = 194;

// Fills the record from copied geometry (one normal per vertex); false when it holds more
// vertices than 16-bit indices reach or the memory can't be had (the record is then unchanged).
bool FillMeshRecord(uint32_t meshSlot, const MeshCopy& copy);
// Allocates the four arrays for the counts (zero-filled); false when memory is short.
bool AllocateMeshArrays(MeshRecord& mesh, int32_t vertexCount, int32_t faceCount);

int32_t LoadResourceMesh(uint32_t meshSlot, int resourceId);
int32_t LoadSphereMesh(uint32_t meshSlot, float size);
int32_t LoadCubeMesh(uint32_t meshSlot, float size);
int32_t LoadCylinderMesh(uint32_t meshSlot, float size);
int32_t LoadConeMesh(uint32_t meshSlot, float size);
int32_t LoadPlainMesh(uint32_t meshSlot, float width, float height);
int32_t BuildBoxMesh(uint32_t meshSlot, float width, float height, float depth);
int32_t BuildTriangleMesh(uint32_t meshSlot, float x1, float y1, float z1, float x2, float y2, float z2, float x3,
                          float y3, float z3);
// A new mesh of the object's geometry (all limbs with -1, meshes of one texture unless -1); the
// mesh slot, or -1 when the object has no model or no mesh results.
int32_t MakeMeshFromObject(uint32_t objectSlot, int32_t limb, int64_t texture);
uint32_t CopyMeshRecord(uint32_t meshSlot);
bool GetMeshBounds(uint32_t meshSlot, float& minX, float& minY, float& minZ, float& maxX, float& maxY, float& maxZ);
float PointDistance(float x1, float y1, float z1, float x2, float y2, float z2);
int32_t BuildObjectFromMeshSlot(uint32_t objectSlot, uint32_t meshSlot);
void RebuildMatrixMesh(uint32_t objectSlot, int32_t limb);

// .x mesh reader: 1, or 0 when the data can't be read (the record is then unchanged).
int32_t LoadMeshFromXFile(uint32_t meshSlot, const std::string& fileName);
int32_t LoadMeshFromXMemory(uint32_t meshSlot, const uint8_t* data, size_t size);

// Whole-mesh operations; slot 0 does nothing. Each returns 1.
int32_t SetMeshAllHeights(uint32_t meshSlot, float height);
int32_t SetMeshAllTiles(uint32_t meshSlot, float uLow, float vLow, float uHigh, float vHigh);
int32_t SetMeshSquareUV(uint32_t meshSlot, int32_t x, int32_t z, int32_t zSegments, float uLow, float vLow, float uHigh,
                        float vHigh);
int32_t ScaleMeshVertices(uint32_t meshSlot, float sx, float sy, float sz);
int32_t SetMeshAllNormals(uint32_t meshSlot, float nx, float ny, float nz);
int32_t ScaleMeshNormals(uint32_t meshSlot, float factor);
int32_t RotateMeshVertices(uint32_t meshSlot, float angleX, float angleY, float angleZ);

}  // namespace vx
