// The meshes' memory blocks: a mesh's four arrays into a block in the mesh layout and back, and
// the commands that make blocks from meshes and meshes from blocks. Every count a block's header
// gives is checked against the block's size, in 64 bits, before anything is read from it.
#include "engine3d/mesh_memblocks.h"

#include <cstring>

#include "common/interpreter_state.h"
#include "common/le_words.h"
#include "common/runtime_hooks.h"
#include "display/memblocks.h"
#include "engine3d/object_records.h"
#include "platform/win/heap.h"

namespace vx {

namespace {

// The counts of a block in the mesh layout and where its arrays stand.
struct MeshBlock {
  uint64_t vertices = 0, normals = 0, faces = 0, indexWords = 0;
  uint64_t normalsAt = 0, indicesAt = 0, coordinatesAt = 0, end = 0;
};

MeshBlock MeshBlockOf(uint64_t vertices, uint64_t normals, uint64_t faces, uint64_t indexWords) {
  MeshBlock m{vertices, normals, faces, indexWords};
  m.normalsAt = kMeshBlockHeader + 12 * vertices;
  m.indicesAt = m.normalsAt + 12 * normals;
  m.coordinatesAt = m.indicesAt + 4 * indexWords;
  m.end = m.coordinatesAt + 8 * vertices;
  return m;
}

// The face list walks as the mesh keeps it: a corner count of at least 3, then a vertex index and
// a normal index for each corner, every index below its count.
bool FaceListValid(const uint8_t* words, const MeshBlock& m) {
  uint64_t at = 0;
  for (uint64_t face = 0; face < m.faces; ++face) {
    if (at >= m.indexWords) return false;
    const uint64_t corners = ReadLE32(words + 4 * at);
    if (corners < 3 || corners > (m.indexWords - at - 1) / 2) return false;
    for (uint64_t corner = 0; corner < corners; ++corner) {
      const uint64_t word = at + 1 + 2 * corner;
      if (ReadLE32(words + 4 * word) >= m.vertices || ReadLE32(words + 4 * (word + 1)) >= m.normals) return false;
    }
    at += 1 + 2 * corners;
  }
  return true;
}

// The block's counts when it holds every array they promise and a face list that walks.
bool ReadMeshBlock(int32_t b, MeshBlock* out) {
  const uint8_t* block = MemblockData(b);
  if (!block || MemoryAccess().gMemblockSize[size_t(b)] < kMeshBlockHeader) return false;
  const MeshBlock m = MeshBlockOf(ReadLE32(block), ReadLE32(block + 8), ReadLE32(block + 16), ReadLE32(block + 24));
  if (m.end > MemoryAccess().gMemblockSize[size_t(b)]) return false;
  if (!FaceListValid(block + m.indicesAt, m)) return false;
  *out = m;
  return true;
}

// The four arrays of the block into the mesh's, which hold the block's counts.
void CopyMeshArrays(const uint8_t* block, const MeshBlock& m, MeshRecord& mesh) {
  if (m.vertices) std::memcpy(mesh.positions, block + kMeshBlockHeader, size_t(12 * m.vertices));
  if (m.normals) std::memcpy(mesh.normals, block + m.normalsAt, size_t(12 * m.normals));
  if (m.indexWords) std::memcpy(mesh.faces, block + m.indicesAt, size_t(4 * m.indexWords));
  if (m.vertices) std::memcpy(mesh.textureCoords, block + m.coordinatesAt, size_t(8 * m.vertices));
}

template <class T>
T* NewArray(uint64_t bytes, bool* failed) {
  if (bytes == 0) return nullptr;
  void* block = win::GlobalAlloc(win::GPTR, size_t(bytes));
  if (!block) *failed = true;
  return static_cast<T*>(block);
}

}  // namespace

int32_t MemblockFromMesh(int32_t b, uint32_t meshSlot) {
  FreeMemblock(b);
  const MeshRecord& mesh = Engine().gMeshRecords[meshSlot];
  auto count = [](int32_t n) { return uint64_t(n > 0 ? n : 0); };
  const MeshBlock m =
      MeshBlockOf(count(mesh.vertexCount), count(mesh.normalCount), count(mesh.faceCount), count(mesh.faceWordCount));
  if (!MakeMemblock(b, m.end)) return kErrMemblockNotAllocated;
  uint8_t* block = MemoryAccess().gMemblockData[size_t(b)];
  const uint32_t words[8] = {uint32_t(m.vertices),   kMeshBlockHeader,         uint32_t(m.normals),
                             uint32_t(m.normalsAt),  uint32_t(m.faces),        uint32_t(m.indicesAt),
                             uint32_t(m.indexWords), uint32_t(m.coordinatesAt)};
  for (uint32_t i = 0; i < 8; ++i) WriteLE32(block + 4 * i, words[i]);
  // A mesh without one of its arrays gives zeros there.
  if (mesh.positions) std::memcpy(block + kMeshBlockHeader, mesh.positions, size_t(12 * m.vertices));
  if (mesh.normals) std::memcpy(block + m.normalsAt, mesh.normals, size_t(12 * m.normals));
  if (mesh.faces) std::memcpy(block + m.indicesAt, mesh.faces, size_t(4 * m.indexWords));
  if (mesh.textureCoords) std::memcpy(block + m.coordinatesAt, mesh.textureCoords, size_t(8 * m.vertices));
  return 0;
}

uint32_t MeshFromMemblock(int32_t b) {
  MeshBlock m;
  if (!ReadMeshBlock(b, &m) || m.vertices > INT32_MAX || m.normals > INT32_MAX || m.faces > INT32_MAX ||
      m.indexWords > INT32_MAX)
    return kNoRecordSlot;
  bool failed = false;
  auto* positions = NewArray<float>(12 * m.vertices, &failed);
  auto* normals = NewArray<float>(12 * m.normals, &failed);
  auto* faces = NewArray<uint32_t>(4 * m.indexWords, &failed);
  auto* coordinates = NewArray<float>(8 * m.vertices, &failed);
  const uint32_t slot = failed ? kNoRecordSlot : AllocMeshRecord();
  if (slot == kNoRecordSlot) {
    for (void* array : {static_cast<void*>(positions), static_cast<void*>(normals), static_cast<void*>(faces),
                        static_cast<void*>(coordinates)})
      win::GlobalFree(array);
    return kNoRecordSlot;
  }
  MeshRecord& mesh = Engine().gMeshRecords[slot];
  mesh.vertexCount = int32_t(m.vertices);
  mesh.normalCount = int32_t(m.normals);
  mesh.faceCount = int32_t(m.faces);
  mesh.faceWordCount = int32_t(m.indexWords);
  mesh.positions = positions;
  mesh.normals = normals;
  mesh.faces = faces;
  mesh.textureCoords = coordinates;
  CopyMeshArrays(MemoryAccess().gMemblockData[size_t(b)], m, mesh);
  return slot;
}

bool ChangeMeshFromMemblock(int32_t b, uint32_t meshSlot) {
  MeshBlock m;
  if (!ReadMeshBlock(b, &m) || !Engine().gMeshRecords.IsTaken(meshSlot)) return false;
  MeshRecord& mesh = Engine().gMeshRecords[meshSlot];
  const bool same = m.vertices == uint64_t(mesh.vertexCount) && m.normals == uint64_t(mesh.normalCount) &&
                    m.faces == uint64_t(mesh.faceCount) && m.indexWords == uint64_t(mesh.faceWordCount);
  const bool arrays = (!m.vertices || (mesh.positions && mesh.textureCoords)) && (!m.normals || mesh.normals) &&
                      (!m.indexWords || mesh.faces);
  if (!same || !arrays) return false;
  CopyMeshArrays(MemoryAccess().gMemblockData[size_t(b)], m, mesh);
  return true;
}

// --- Commands ------------------------------------------------------------------------------------

namespace {

constexpr int32_t kHighestMeshNumber = 65534;

bool CheckMeshNumber(int32_t n) {
  if (n >= 1 && n <= kHighestMeshNumber) return true;
  RaiseRuntimeError(kErrMeshNumberOutOfRange);
  return false;
}

uint32_t MeshSlotById(int32_t n) {
  const uint32_t slot = Engine().gMeshSlotById[size_t(n)];
  return slot != 0 && Engine().gMeshRecords.IsTaken(slot) ? slot : 0;
}

void CmdMakeMemoryBlockFromMesh() {
  const int32_t b = IntOperand(0), n = IntOperand(1);
  SkipOperands(2);
  if (!CheckMemblock(b, false) || !CheckMeshNumber(n)) return;
  const uint32_t slot = MeshSlotById(n);
  if (!slot) {
    RaiseRuntimeError(kErrMeshNotExist);
    return;
  }
  if (const int32_t error = MemblockFromMesh(b, slot)) RaiseRuntimeError(error);
}

void CmdMakeMeshFromMemoryBlock() {
  const int32_t n = IntOperand(0), b = IntOperand(1);
  SkipOperands(2);
  if (!CheckMeshNumber(n) || !CheckMemblock(b)) return;
  const uint32_t made = MeshFromMemblock(b);
  if (made == kNoRecordSlot) {
    RaiseRuntimeError(kErrNoMeshMade);  // the mesh under n is as it was
    return;
  }
  if (const uint32_t old = MeshSlotById(n)) FreeMeshRecord(old);
  Engine().gMeshSlotById[size_t(n)] = made;
}

void CmdChangeMeshFromMemoryBlock() {
  const int32_t n = IntOperand(0), b = IntOperand(1);
  SkipOperands(2);
  if (!CheckMeshNumber(n) || !CheckMemblock(b)) return;
  const uint32_t slot = MeshSlotById(n);
  if (!slot || !ChangeMeshFromMemblock(b, slot)) RaiseRuntimeError(kErrNoMeshMade);
}

}  // namespace

}  // namespace vx

#include "generated/commands/mesh_memblock.inc"
