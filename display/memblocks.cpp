// Memory blocks and their layouts (memblocks.h). Every count a block's header gives is checked
// against the block's size, in 64 bits, before anything is read from it or written anywhere.
#include "display/memblocks.h"

#include <cstdlib>
#include <cstring>

#include "common/le_words.h"
#include "common/runtime_hooks.h"
#include "platform/win/heap.h"
#include "platform/win/low_memory.h"
#include "sound/sound_system.h"

namespace vx {

MemoryAccessState gMemoryAccessState;

namespace {

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

}  // namespace

bool IsMemblockNumber(int32_t b) { return b >= 1 && b < kMemblockSlots; }

bool CheckMemblock(int32_t b, bool mustExist) {
  if (!IsMemblockNumber(b)) {
    RaiseRuntimeError(kErrMemblockNumberOutOfRange);
    return false;
  }
  if (mustExist && !MemoryAccess().gMemblockData[size_t(b)]) {
    RaiseRuntimeError(kErrMemblockNotExist);
    return false;
  }
  return true;
}

uint8_t* MemblockData(int32_t b) { return IsMemblockNumber(b) ? MemoryAccess().gMemblockData[size_t(b)] : nullptr; }

bool MakeMemblock(int32_t b, uint64_t size) {
  if (!IsMemblockNumber(b)) return false;
  FreeMemblock(b);
  if (size == 0 || size > UINT32_MAX) return false;
  // Below 2 GiB or not at all: the program reads the address as a 32-bit integer.
  win::LowMapping mapping = win::MapLowMemory(size, true);
  if (!mapping.bytes) return false;
  MemoryAccess().gMemblockMappings[size_t(b)] = mapping;
  MemoryAccess().gMemblockData[size_t(b)] = mapping.bytes;
  MemoryAccess().gMemblockSize[size_t(b)] = uint32_t(size);
  return true;
}

void FreeMemblock(int32_t b) {
  if (!IsMemblockNumber(b)) return;
  win::UnmapLowMemory(MemoryAccess().gMemblockMappings[size_t(b)]);
  MemoryAccess().gMemblockData[size_t(b)] = nullptr;
  MemoryAccess().gMemblockSize[size_t(b)] = 0;
}

// The run's end and the next run's set-up: no block outlives its run.
void ClearMemblockTable() {
  for (int32_t b = 1; b < kMemblockSlots; ++b) FreeMemblock(b);
}

bool MemblockHolds(int32_t b, uint32_t position, uint64_t count) {
  return MemblockData(b) && uint64_t(position) + count <= MemoryAccess().gMemblockSize[size_t(b)];
}

// --- Surfaces ------------------------------------------------------------------------------------

int32_t MemblockFromSurface(int32_t b, win::IDirectDrawSurface7* surface) {
  FreeMemblock(b);
  const SurfaceLock lock(surface, win::DDLOCK_READONLY);
  if (!lock.Locked()) return kErrMemblockNotAllocated;
  const win::DDSURFACEDESC2& desc = lock.Desc();
  const uint64_t rowBytes = lock.RowBytes();
  if (!MakeMemblock(b, kSurfaceBlockHeader + rowBytes * desc.dwHeight)) return kErrMemblockNotAllocated;
  uint8_t* block = MemoryAccess().gMemblockData[size_t(b)];
  PutWord(block, 0, desc.dwWidth);
  PutWord(block, 4, desc.dwHeight);
  PutWord(block, 8, desc.ddpfPixelFormat.dwRGBBitCount);
  for (uint32_t y = 0; y < desc.dwHeight; ++y)
    std::memcpy(block + kSurfaceBlockHeader + rowBytes * y, lock.Row(y), size_t(rowBytes));
  return 0;
}

bool SurfaceBlockSize(int32_t b, int32_t* width, int32_t* height) {
  const uint8_t* block = MemblockData(b);
  if (!block || MemoryAccess().gMemblockSize[size_t(b)] < kSurfaceBlockHeader) return false;
  const uint32_t w = Word(block, 0), h = Word(block, 4);
  if (w < 1 || h < 1 || w > INT32_MAX || h > INT32_MAX) return false;
  *width = int32_t(w);
  *height = int32_t(h);
  return true;
}

bool SurfaceBlockHolds(int32_t b, uint32_t bitsPerPixel) {
  int32_t width = 0, height = 0;
  if (!SurfaceBlockSize(b, &width, &height) || bitsPerPixel / 8 == 0) return false;
  return kSurfaceBlockHeader + uint64_t(width) * uint64_t(height) * (bitsPerPixel / 8) <=
         MemoryAccess().gMemblockSize[size_t(b)];
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
  const uint8_t* block = MemoryAccess().gMemblockData[size_t(b)];
  for (uint32_t y = 0; y < uint32_t(height); ++y)
    std::memcpy(lock.Row(y), block + kSurfaceBlockHeader + rowBytes * y, size_t(rowBytes));
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
    uint8_t* block = MemoryAccess().gMemblockData[size_t(b)];
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
  if (!block || MemoryAccess().gMemblockSize[size_t(b)] < kSoundBlockHeader) return false;
  const uint32_t bits = Word(block, 0), frequency = Word(block, 4), length = Word(block, 8);
  const uint64_t dataBytes = MemoryAccess().gMemblockSize[size_t(b)] - kSoundBlockHeader;
  if ((bits != 8 && bits != 16) || frequency < uint32_t(kLowestFrequency) || frequency > uint32_t(kHighestFrequency))
    return false;
  if (length < 1 || uint64_t(length) * (bits / 8) > dataBytes || dataBytes > INT32_MAX) return false;
  return CreateSoundFromData(block + kSoundBlockHeader, int32_t(dataBytes), int32_t(bits), int32_t(frequency),
                             int32_t(length), soundNumber) != 0;
}

}  // namespace vx
