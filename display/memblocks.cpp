// Memory blocks and their layouts (memblocks.h). Every count a block's header gives is checked
// against the block's size, in 64 bits, before anything is read from it or written anywhere.
#include "display/memblocks.h"

#include <cstdlib>
#include <cstring>

#include "common/le_words.h"
#include "common/runtime_hooks.h"
#include "engine3d/engine_services.h"
#include "engine3d/records.h"
#include "platform/win/heap.h"
#include "platform/win/low_memory.h"
#include "sound/sound_system.h"

namespace vx {

std::array<uint8_t*, kMemblockSlots> gMemblockData{};
std::array<uint32_t, kMemblockSlots> gMemblockSize{};

namespace {

std::array<win::LowMapping, kMemblockSlots> gMemblockMappings{};

constexpr int32_t kLowestFrequency = 100;
constexpr int32_t kHighestFrequency = 200000;

uint32_t Word(const uint8_t* block, uint32_t at) { return ReadLE32(block + at); }

void PutWord(uint8_t* block, uint32_t at, uint32_t value) { WriteLE32(block + at, value); }

// A surface locked for the block's rows; Unlock on the way out.
class SurfaceLock {
 public:
  SurfaceLock(win::IDirectDrawSurface7* surface, win::DWORD flags) : surface_(surface) {
    desc_.dwSize = sizeof desc_;
    locked_ = surface && win::Succeeded(surface->Lock(nullptr, &desc_, flags | win::DDLOCK_WAIT, nullptr));
  }
  ~SurfaceLock() {
    if (locked_) surface_->Unlock(nullptr);
  }
  SurfaceLock(const SurfaceLock&) = delete;
  SurfaceLock& operator=(const SurfaceLock&) = delete;

  bool Locked() const { return locked_; }
  const win::DDSURFACEDESC2& Desc() const { return desc_; }
  uint32_t BytesPerPixel() const { return desc_.ddpfPixelFormat.dwRGBBitCount / 8; }
  uint64_t RowBytes() const { return uint64_t(desc_.dwWidth) * BytesPerPixel(); }
  uint8_t* Row(uint32_t y) const { return static_cast<uint8_t*>(desc_.lpSurface) + size_t(y) * size_t(desc_.lPitch); }

 private:
  win::IDirectDrawSurface7* surface_;
  win::DDSURFACEDESC2 desc_{};
  bool locked_ = false;
};

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
    const uint64_t corners = Word(words, uint32_t(4 * at));
    if (corners < 3 || corners > (m.indexWords - at - 1) / 2) return false;
    for (uint64_t corner = 0; corner < corners; ++corner) {
      const uint64_t word = at + 1 + 2 * corner;
      if (Word(words, uint32_t(4 * word)) >= m.vertices || Word(words, uint32_t(4 * (word + 1))) >= m.normals)
        return false;
    }
    at += 1 + 2 * corners;
  }
  return true;
}

// The block's counts when it holds every array they promise and a face list that walks.
bool ReadMeshBlock(int32_t b, MeshBlock* out) {
  const uint8_t* block = MemblockData(b);
  if (!block || gMemblockSize[size_t(b)] < kMeshBlockHeader) return false;
  const MeshBlock m = MeshBlockOf(Word(block, 0), Word(block, 8), Word(block, 16), Word(block, 24));
  if (m.end > gMemblockSize[size_t(b)]) return false;
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

bool IsMemblockNumber(int32_t b) { return b >= 1 && b < kMemblockSlots; }

uint8_t* MemblockData(int32_t b) { return IsMemblockNumber(b) ? gMemblockData[size_t(b)] : nullptr; }

bool MakeMemblock(int32_t b, uint64_t size) {
  if (!IsMemblockNumber(b)) return false;
  FreeMemblock(b);
  if (size == 0 || size > UINT32_MAX) return false;
  // Below 2 GiB or not at all: the program reads the address as a 32-bit integer.
  win::LowMapping mapping = win::MapLowMemory(size, true);
  if (!mapping.bytes) return false;
  gMemblockMappings[size_t(b)] = mapping;
  gMemblockData[size_t(b)] = mapping.bytes;
  gMemblockSize[size_t(b)] = uint32_t(size);
  return true;
}

void FreeMemblock(int32_t b) {
  if (!IsMemblockNumber(b)) return;
  win::UnmapLowMemory(gMemblockMappings[size_t(b)]);
  gMemblockData[size_t(b)] = nullptr;
  gMemblockSize[size_t(b)] = 0;
}

// The run's end and the next run's set-up: no block outlives its run.
void ClearMemblockTable() {
  for (int32_t b = 1; b < kMemblockSlots; ++b) FreeMemblock(b);
}

bool MemblockHolds(int32_t b, uint32_t position, uint64_t count) {
  return MemblockData(b) && uint64_t(position) + count <= gMemblockSize[size_t(b)];
}

// --- Surfaces ------------------------------------------------------------------------------------

int32_t MemblockFromSurface(int32_t b, win::IDirectDrawSurface7* surface) {
  FreeMemblock(b);
  const SurfaceLock lock(surface, win::DDLOCK_READONLY);
  if (!lock.Locked()) return kErrMemblockNotAllocated;
  const win::DDSURFACEDESC2& desc = lock.Desc();
  const uint64_t rowBytes = lock.RowBytes();
  if (!MakeMemblock(b, kSurfaceBlockHeader + rowBytes * desc.dwHeight)) return kErrMemblockNotAllocated;
  uint8_t* block = gMemblockData[size_t(b)];
  PutWord(block, 0, desc.dwWidth);
  PutWord(block, 4, desc.dwHeight);
  PutWord(block, 8, desc.ddpfPixelFormat.dwRGBBitCount);
  for (uint32_t y = 0; y < desc.dwHeight; ++y)
    std::memcpy(block + kSurfaceBlockHeader + rowBytes * y, lock.Row(y), size_t(rowBytes));
  return 0;
}

bool SurfaceBlockSize(int32_t b, int32_t* width, int32_t* height) {
  const uint8_t* block = MemblockData(b);
  if (!block || gMemblockSize[size_t(b)] < kSurfaceBlockHeader) return false;
  const uint32_t w = Word(block, 0), h = Word(block, 4);
  if (w < 1 || h < 1 || w > INT32_MAX || h > INT32_MAX) return false;
  *width = int32_t(w);
  *height = int32_t(h);
  return true;
}

bool SurfaceBlockHolds(int32_t b, uint32_t bitsPerPixel) {
  int32_t width = 0, height = 0;
  if (!SurfaceBlockSize(b, &width, &height) || bitsPerPixel / 8 == 0) return false;
  return kSurfaceBlockHeader + uint64_t(width) * uint64_t(height) * (bitsPerPixel / 8) <= gMemblockSize[size_t(b)];
}

bool SurfaceFromMemblock(int32_t b, win::IDirectDrawSurface7* surface) {
  int32_t width = 0, height = 0;
  if (!SurfaceBlockSize(b, &width, &height) || !surface) return false;
  if (surface->Width() != uint32_t(width) || surface->Height() != uint32_t(height)) return false;
  // The pixels are taken as they stand, in the surface's own format, so the block must hold them
  // all at its depth.
  if (!SurfaceBlockHolds(b, surface->PixelFormat().dwRGBBitCount)) return false;
  const SurfaceLock lock(surface, win::DDLOCK_WRITEONLY);
  if (!lock.Locked() || lock.BytesPerPixel() == 0) return false;
  const uint64_t rowBytes = lock.RowBytes();
  const uint8_t* block = gMemblockData[size_t(b)];
  for (uint32_t y = 0; y < uint32_t(height); ++y)
    std::memcpy(lock.Row(y), block + kSurfaceBlockHeader + rowBytes * y, size_t(rowBytes));
  return true;
}

// --- Meshes --------------------------------------------------------------------------------------

int32_t MemblockFromMesh(int32_t b, uint32_t meshSlot) {
  FreeMemblock(b);
  const MeshRecord& mesh = gMeshRecords[meshSlot];
  auto count = [](int32_t n) { return uint64_t(n > 0 ? n : 0); };
  const MeshBlock m =
      MeshBlockOf(count(mesh.vertexCount), count(mesh.normalCount), count(mesh.faceCount), count(mesh.faceWordCount));
  if (!MakeMemblock(b, m.end)) return kErrMemblockNotAllocated;
  uint8_t* block = gMemblockData[size_t(b)];
  const uint32_t words[8] = {uint32_t(m.vertices), kMeshBlockHeader,   uint32_t(m.normals),    uint32_t(m.normalsAt),
                             uint32_t(m.faces),    uint32_t(m.indicesAt), uint32_t(m.indexWords), uint32_t(m.coordinatesAt)};
  for (uint32_t i = 0; i < 8; ++i) PutWord(block, 4 * i, words[i]);
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
  MeshRecord& mesh = gMeshRecords[slot];
  mesh.vertexCount = int32_t(m.vertices);
  mesh.normalCount = int32_t(m.normals);
  mesh.faceCount = int32_t(m.faces);
  mesh.faceWordCount = int32_t(m.indexWords);
  mesh.positions = positions;
  mesh.normals = normals;
  mesh.faces = faces;
  mesh.textureCoords = coordinates;
  CopyMeshArrays(gMemblockData[size_t(b)], m, mesh);
  return slot;
}

bool ChangeMeshFromMemblock(int32_t b, uint32_t meshSlot) {
  MeshBlock m;
  if (!ReadMeshBlock(b, &m) || !gMeshRecords.IsTaken(meshSlot)) return false;
  MeshRecord& mesh = gMeshRecords[meshSlot];
  const bool same = m.vertices == uint64_t(mesh.vertexCount) && m.normals == uint64_t(mesh.normalCount) &&
                    m.faces == uint64_t(mesh.faceCount) && m.indexWords == uint64_t(mesh.faceWordCount);
  const bool arrays = (!m.vertices || (mesh.positions && mesh.textureCoords)) && (!m.normals || mesh.normals) &&
                      (!m.indexWords || mesh.faces);
  if (!same || !arrays) return false;
  CopyMeshArrays(gMemblockData[size_t(b)], m, mesh);
  return true;
}

// --- Sounds --------------------------------------------------------------------------------------

int32_t MemblockFromSound(int32_t b, int32_t soundNumber) {
  void* data = nullptr;
  int32_t bytes = 0, bits = 0, frequency = 0, length = 0;
  if (!CopySoundData(&data, &bytes, &bits, &frequency, &length, soundNumber)) return kErrSoundNotExist;
  FreeMemblock(b);
  int32_t error = 0;
  if (bytes < 0 || !MakeMemblock(b, kSoundBlockHeader + uint64_t(bytes))) {
    error = kErrMemblockNotExist;
  } else {
    uint8_t* block = gMemblockData[size_t(b)];
    PutWord(block, 0, uint32_t(bits));
    PutWord(block, 4, uint32_t(frequency));
    PutWord(block, 8, uint32_t(length));
    if (bytes > 0) std::memcpy(block + kSoundBlockHeader, data, size_t(bytes));
  }
  std::free(data);
  return error;
}

bool SoundFromMemblock(int32_t b, int32_t soundNumber) {
  const uint8_t* block = MemblockData(b);
  if (!block || gMemblockSize[size_t(b)] < kSoundBlockHeader) return false;
  const uint32_t bits = Word(block, 0), frequency = Word(block, 4), length = Word(block, 8);
  const uint64_t dataBytes = gMemblockSize[size_t(b)] - kSoundBlockHeader;
  if ((bits != 8 && bits != 16) || frequency < uint32_t(kLowestFrequency) || frequency > uint32_t(kHighestFrequency))
    return false;
  if (length < 1 || uint64_t(length) * (bits / 8) > dataBytes || dataBytes > INT32_MAX) return false;
  return CreateSoundFromData(block + kSoundBlockHeader, int32_t(dataBytes), int32_t(bits), int32_t(frequency),
                             int32_t(length), soundNumber) != 0;
}

}  // namespace vx
