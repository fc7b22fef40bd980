// Mesh records built in memory (meshes.h): from the built-in .x resources, from code, from a
// loaded object's geometry, from .x data, and the operations on a whole mesh. Every record keeps
// one normal per vertex, so its normal count always equals its vertex count.
#include "engine3d/meshes.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <vector>

#include "common/runtime_hooks.h"
#include "engine3d/maths3d.h"
#include "engine3d/object_records.h"
#include "engine3d/objects.h"
#include "models/scene_model.h"
#include "platform/win/heap.h"
#include "platform/win/resources.h"

namespace vx {

namespace {

template <class T>
T* AllocateArray(size_t count) {
  if (count == 0) return nullptr;
  return static_cast<T*>(win::GlobalAlloc(win::GPTR, count * sizeof(T)));
}

// Bounds words as the .x reader leaves them: whole numbers, the first vertex setting all six and
// later ones replacing a bound only when strictly beyond it.
void StoreBounds(MeshRecord& mesh) {
  std::memset(mesh.bounds, 0, sizeof mesh.bounds);
  int32_t b[6] = {0, 0, 0, 0, 0, 0};  // min x, y, z, max x, y, z
  for (int32_t v = 0; v < mesh.vertexCount; ++v) {
    for (int axis = 0; axis < 3; ++axis) {
      const float p = mesh.positions[v * 3 + axis];
      const int32_t whole = std::isfinite(p) && std::fabs(p) < 2e9f ? int32_t(p) : 0;
      if (v == 0) {
        b[axis] = b[axis + 3] = whole;
        continue;
      }
      if (p < float(b[axis])) b[axis] = whole;
      if (p > float(b[axis + 3])) b[axis + 3] = whole;
    }
  }
  mesh.bounds[0][0] = b[0];
  mesh.bounds[0][1] = b[1];
  mesh.bounds[0][2] = b[3];
  mesh.bounds[0][3] = b[4];
  mesh.bounds[1][1] = b[2];
  mesh.bounds[1][3] = b[5];
}

MeshRecord* TakenMesh(uint32_t slot) {
  return slot > 0 && Engine().gMeshRecords.IsTaken(slot) ? &Engine().gMeshRecords[slot] : nullptr;
}

void SetFace(uint32_t* words, uint32_t a, uint32_t b, uint32_t c) {
  words[0] = 3;
  words[1] = words[2] = a;
  words[3] = words[4] = b;
  words[5] = words[6] = c;
}

}  // namespace

bool AllocateMeshArrays(MeshRecord& mesh, int32_t vertexCount, int32_t faceCount) {
  if (vertexCount < 0 || faceCount < 0) return false;
  const size_t v = size_t(vertexCount), f = size_t(faceCount);
  float* positions = AllocateArray<float>(v * 3);
  float* normals = AllocateArray<float>(v * 3);
  float* coords = AllocateArray<float>(v * 2);
  uint32_t* faces = AllocateArray<uint32_t>(f * 7);
  if ((v && (!positions || !normals || !coords)) || (f && !faces)) {
    win::GlobalFree(positions);
    win::GlobalFree(normals);
    win::GlobalFree(coords);
    win::GlobalFree(faces);
    return false;
  }
  FreeMeshArrays(mesh);
  mesh.positions = positions;
  mesh.normals = normals;
  mesh.textureCoords = coords;
  mesh.faces = faces;
  mesh.vertexCount = mesh.normalCount = vertexCount;
  mesh.faceCount = faceCount;
  mesh.faceWordCount = faceCount * 7;
  return true;
}

bool FillMeshRecord(uint32_t meshSlot, const MeshCopy& copy) {
  MeshRecord* mesh = TakenMesh(meshSlot);
  if (!mesh || copy.vertices.size() > size_t(std::numeric_limits<int32_t>::max() / 3)) return false;
  if (!AllocateMeshArrays(*mesh, int32_t(copy.vertices.size()), int32_t(copy.indices.size() / 3))) return false;
  for (size_t i = 0; i < copy.vertices.size(); ++i) {
    const MeshVertex& v = copy.vertices[i];
    std::memcpy(mesh->positions + i * 3, &v.x, 3 * sizeof(float));
    std::memcpy(mesh->normals + i * 3, &v.nx, 3 * sizeof(float));
    mesh->textureCoords[i * 2] = v.u;
    mesh->textureCoords[i * 2 + 1] = v.v;
  }
  // Each mesh's indices count from its own first vertex; the record's from the first of all.
  size_t face = 0, index = 0;
  uint32_t base = 0;
  for (size_t m = 0; m < copy.meshIndexCounts.size(); ++m) {
    for (uint32_t i = 0; i + 2 < copy.meshIndexCounts[m]; i += 3) {
      SetFace(mesh->faces + face * 7, base + copy.indices[index + i], base + copy.indices[index + i + 1],
              base + copy.indices[index + i + 2]);
      ++face;
    }
    index += copy.meshIndexCounts[m];
    base += m < copy.meshVertexCounts.size() ? copy.meshVertexCounts[m] : 0;
  }
  mesh->faceCount = int32_t(face);
  mesh->faceWordCount = int32_t(face * 7);
  StoreBounds(*mesh);
  return true;
}

int32_t LoadMeshFromXMemory(uint32_t meshSlot, const uint8_t* data, size_t size) {
  MeshCopy copy;
  std::string error;
  if (!data || !ReadXMeshData(data, size, copy, error)) return 0;
  return FillMeshRecord(meshSlot, copy) ? 1 : 0;
}

int32_t LoadMeshFromXFile(uint32_t meshSlot, const std::string& fileName) {
  std::string path = fileName;
  ResolveVirtualFile(path, "dat");
  std::ifstream in(path, std::ios::binary);
  if (!in) return 0;
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return LoadMeshFromXMemory(meshSlot, bytes.data(), bytes.size());
}

int32_t LoadResourceMesh(uint32_t meshSlot, int resourceId) {
  const win::ResourceBlob* blob = win::FindResourceBlob("X", resourceId);
  if (!blob) return 0;
  return LoadMeshFromXMemory(meshSlot, blob->data, blob->size);
}

namespace {

int32_t LoadScaledResourceMesh(uint32_t meshSlot, int resourceId, float sx, float sy, float sz) {
  LoadResourceMesh(meshSlot, resourceId);
  ScaleMeshVertices(meshSlot, sx, sy, sz);
  return 1;
}

}  // namespace

int32_t LoadSphereMesh(uint32_t slot, float size) {
  return LoadScaledResourceMesh(slot, kSphereMeshResource, size, size, size);
}
int32_t LoadCubeMesh(uint32_t slot, float size) {
  return LoadScaledResourceMesh(slot, kCubeMeshResource, size, size, size);
}
int32_t LoadCylinderMesh(uint32_t slot, float size) {
  return LoadScaledResourceMesh(slot, kCylinderMeshResource, size, size, size);
}
int32_t LoadConeMesh(uint32_t slot, float size) {
  return LoadScaledResourceMesh(slot, kConeMeshResource, size, size, size);
}
int32_t LoadPlainMesh(uint32_t slot, float width, float height) {
  return LoadScaledResourceMesh(slot, kPlainMeshResource, width, height, 1.0f);
}

int32_t BuildBoxMesh(uint32_t meshSlot, float width, float height, float depth) {
  MeshRecord* mesh = TakenMesh(meshSlot);
  if (!mesh || !AllocateMeshArrays(*mesh, 16, 12)) return 0;
  const float a = width / 2, b = height / 2, c = depth / 2;
  struct Corner {
    float x, y, z, nx, ny, nz, u, v;
  };
  const Corner corners[16] = {{-a, -b, -c, -0.5f, 0, -0.5f, 0, 1},
                              {-a, -b, c, -0.5f, 0, 0.5f, 1, 1},
                              {a, -b, c, 0.5f, 0, 0.5f, 0, 1},
                              {a, -b, -c, 0.5f, 0, -0.5f, 1, 1},
                              {-a, b, -c, -0.5f, 0, -0.5f, 0, 0},
                              {-a, b, c, -0.5f, 0, 0.5f, 1, 0},
                              {a, b, c, 0.5f, 0, 0.5f, 0, 0},
                              {a, b, -c, 0.5f, 0, -0.5f, 1, 0},
                              {-a, -b, -c, 0, -1, 0, 0, 0},
                              {-a, -b, c, 0, -1, 0, 1, 0},
                              {a, -b, c, 0, -1, 0, 1, 1},
                              {a, -b, -c, 0, -1, 0, 0, 1},
                              {-a, b, -c, 0, 1, 0, 0, 0},
                              {-a, b, c, 0, 1, 0, 1, 0},
                              {a, b, c, 0, 1, 0, 1, 1},
                              {a, b, -c, 0, 1, 0, 0, 1}};
  for (int i = 0; i < 16; ++i) {
    const Corner& k = corners[i];
    const float p[3] = {k.x, k.y, k.z}, n[3] = {k.nx, k.ny, k.nz};
    std::memcpy(mesh->positions + i * 3, p, sizeof p);
    std::memcpy(mesh->normals + i * 3, n, sizeof n);
    mesh->textureCoords[i * 2] = k.u;
    mesh->textureCoords[i * 2 + 1] = k.v;
  }
  static constexpr uint32_t kFaces[12][3] = {{0, 4, 7}, {0, 7, 3}, {1, 5, 4},  {1, 4, 0},   {2, 6, 5},    {2, 5, 1},
                                             {3, 7, 6}, {3, 6, 2}, {9, 8, 11}, {9, 11, 10}, {12, 13, 14}, {12, 14, 15}};
  for (int f = 0; f < 12; ++f) SetFace(mesh->faces + f * 7, kFaces[f][0], kFaces[f][1], kFaces[f][2]);
  return 1;
}

int32_t BuildTriangleMesh(uint32_t meshSlot, float x1, float y1, float z1, float x2, float y2, float z2, float x3,
                          float y3, float z3) {
  MeshRecord* mesh = TakenMesh(meshSlot);
  if (!mesh || !AllocateMeshArrays(*mesh, 3, 1)) return 0;
  const float p[9] = {x1, y1, z1, x2, y2, z2, x3, y3, z3};
  std::memcpy(mesh->positions, p, sizeof p);
  for (int i = 0; i < 3; ++i) {
    mesh->normals[i * 3 + 2] = -1.0f;
    mesh->textureCoords[i * 2] = i == 0 ? 0.0f : 1.0f;
    mesh->textureCoords[i * 2 + 1] = i == 0 ? 0.0f : 1.0f;
  }
  SetFace(mesh->faces, 0, 1, 2);
  return 1;
}

int32_t MakeMeshFromObject(uint32_t objectSlot, int32_t limb, int64_t texture) {
  if (!Engine().gObjectRecords.IsTaken(objectSlot) || !Engine().gObjectRecords[objectSlot].model) return -1;
  MeshCopy copy;
  Engine().gObjectRecords[objectSlot].model->CopyMeshData(copy, limb, texture);
  if (copy.vertices.empty()) return -1;
  const uint32_t slot = AllocMeshRecord();
  if (slot == kNoRecordSlot) return -1;
  // The copy must make a model of its own; one that can't is no mesh.
  SceneModel check;
  if (!FillMeshRecord(slot, copy) || check.AddMeshFrame(0, ViewOfMesh(Engine().gMeshRecords[slot]), 0) != kModelOk) {
    FreeMeshRecord(slot);
    return -1;
  }
  return int32_t(slot);
}

uint32_t CopyMeshRecord(uint32_t meshSlot) {
  if (!TakenMesh(meshSlot)) return 0;
  const uint32_t slot = AllocMeshRecord();
  if (slot == kNoRecordSlot) return 0;
  const MeshRecord& from = Engine().gMeshRecords[meshSlot];
  MeshRecord& to = Engine().gMeshRecords[slot];
  if (!AllocateMeshArrays(to, from.vertexCount, from.faceCount)) {
    FreeMeshRecord(slot);
    return 0;
  }
  const size_t v = size_t(from.vertexCount), f = size_t(from.faceCount);
  if (v) {
    std::memcpy(to.positions, from.positions, v * 3 * sizeof(float));
    std::memcpy(to.normals, from.normals, v * 3 * sizeof(float));
    std::memcpy(to.textureCoords, from.textureCoords, v * 2 * sizeof(float));
  }
  if (f) std::memcpy(to.faces, from.faces, f * 7 * sizeof(uint32_t));
  to.normalCount = from.normalCount;
  to.faceWordCount = from.faceWordCount;
  std::memcpy(to.bounds, from.bounds, sizeof to.bounds);
  return slot;
}

bool GetMeshBounds(uint32_t meshSlot, float& minX, float& minY, float& minZ, float& maxX, float& maxY, float& maxZ) {
  const MeshRecord* mesh = TakenMesh(meshSlot);
  if (!mesh || mesh->vertexCount <= 0 || !mesh->positions) return false;
  float lo[3], hi[3];
  for (int axis = 0; axis < 3; ++axis) lo[axis] = hi[axis] = mesh->positions[axis];
  for (int32_t v = 1; v < mesh->vertexCount; ++v)
    for (int axis = 0; axis < 3; ++axis) {
      lo[axis] = std::min(lo[axis], mesh->positions[v * 3 + axis]);
      hi[axis] = std::max(hi[axis], mesh->positions[v * 3 + axis]);
    }
  minX = lo[0], minY = lo[1], minZ = lo[2];
  maxX = hi[0], maxY = hi[1], maxZ = hi[2];
  return true;
}

float PointDistance(float x1, float y1, float z1, float x2, float y2, float z2) {
  const float dx = x2 - x1, dy = y2 - y1, dz = z2 - z1;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

int32_t BuildObjectFromMeshSlot(uint32_t objectSlot, uint32_t meshSlot) {
  return BuildObjectFromMesh(objectSlot, meshSlot, 0);
}

void RebuildMatrixMesh(uint32_t objectSlot, int32_t limb) {
  if (!Engine().gObjectRecords.IsTaken(objectSlot)) return;
  const ObjectRecord& o = Engine().gObjectRecords[objectSlot];
  if (!o.model || limb < 0 || limb >= o.limbCapacity || !o.limbs) return;
  const int32_t mesh = o.limbs[limb].meshSlot;
  if (mesh > 0 && Engine().gMeshRecords.IsTaken(uint32_t(mesh)))
    o.model->UpdateMeshFromRecord(limb, ViewOfMesh(Engine().gMeshRecords[uint32_t(mesh)]));
}

// --- Whole-mesh operations ----------------------------------------------------------------------------

int32_t SetMeshAllHeights(uint32_t meshSlot, float height) {
  if (MeshRecord* mesh = TakenMesh(meshSlot))
    for (int32_t v = 0; v < mesh->vertexCount; ++v) mesh->positions[v * 3 + 1] = height;
  return 1;
}

int32_t SetMeshAllTiles(uint32_t meshSlot, float uLow, float vLow, float uHigh, float vHigh) {
  if (MeshRecord* mesh = TakenMesh(meshSlot)) {
    const float coords[8] = {uLow, vHigh, uHigh, vHigh, uHigh, vLow, uLow, vLow};
    for (int32_t square = 0; square + 1 <= mesh->vertexCount / 4; ++square)
      std::memcpy(mesh->textureCoords + square * 8, coords, sizeof coords);
  }
  return 1;
}

int32_t SetMeshSquareUV(uint32_t meshSlot, int32_t x, int32_t z, int32_t zSegments, float uLow, float vLow, float uHigh,
                        float vHigh) {
  MeshRecord* mesh = TakenMesh(meshSlot);
  if (!mesh || x < 0 || z < 0 || zSegments < 1) return 1;
  const int64_t square = int64_t(x) * zSegments + z;
  if ((square + 1) * 4 > mesh->vertexCount) return 1;
  const float coords[8] = {uLow, vHigh, uHigh, vHigh, uHigh, vLow, uLow, vLow};
  std::memcpy(mesh->textureCoords + square * 8, coords, sizeof coords);
  return 1;
}

int32_t ScaleMeshVertices(uint32_t meshSlot, float sx, float sy, float sz) {
  if (MeshRecord* mesh = TakenMesh(meshSlot))
    for (int32_t v = 0; v < mesh->vertexCount; ++v) {
      mesh->positions[v * 3] *= sx;
      mesh->positions[v * 3 + 1] *= sy;
      mesh->positions[v * 3 + 2] *= sz;
    }
  return 1;
}

int32_t SetMeshAllNormals(uint32_t meshSlot, float nx, float ny, float nz) {
  if (MeshRecord* mesh = TakenMesh(meshSlot))
    for (int32_t v = 0; v < mesh->normalCount; ++v) {
      mesh->normals[v * 3] = nx;
      mesh->normals[v * 3 + 1] = ny;
      mesh->normals[v * 3 + 2] = nz;
    }
  return 1;
}

int32_t ScaleMeshNormals(uint32_t meshSlot, float factor) {
  if (MeshRecord* mesh = TakenMesh(meshSlot))
    for (int32_t i = 0; i < mesh->normalCount * 3; ++i) mesh->normals[i] *= factor;
  return 1;
}

int32_t RotateMeshVertices(uint32_t meshSlot, float angleX, float angleY, float angleZ) {
  MeshRecord* mesh = TakenMesh(meshSlot);
  if (!mesh) return 1;
  constexpr float kCoarseDegrees = 0.017444445f;  // pi taken as 3.14
  const float ax = angleX * kCoarseDegrees, ay = angleY * kCoarseDegrees, az = angleZ * kCoarseDegrees;
  const float cx = std::cos(ax), cy = std::cos(ay), cz = std::cos(az);
  const float sx = std::sin(ax), sy = std::sin(ay), sz = std::sin(az);
  for (float* array : {mesh->positions, mesh->normals})
    for (int32_t v = 0; v < mesh->vertexCount; ++v) {
      float* p = array + v * 3;
      RotatePoint3(cx, cy, cz, sx, sy, sz, p[0], p[1], p[2], p[0], p[1], p[2]);
    }
  return 1;
}

}  // namespace vx
