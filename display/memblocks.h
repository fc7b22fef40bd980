// Memory blocks 1 to 255: zero-filled byte buffers of the running program, mapped below 2 GiB so
// that their address fits the program's integers, and the layouts in which the pixels of a
// surface and the samples of a sound travel through them (the meshes' layout is the engine's:
// engine3d/mesh_memblocks.h). The commands are display/memblock_commands.cpp; the run's end frees
// every block (ClearMemblockTable).
#pragma once
#include <array>
#include <cstdint>

#include "display/locked_pixels.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win/low_memory.h"

namespace vx {

constexpr int32_t kMemblockSlots = 256;  // numbers 1 to 255; 0 is never used
struct MemoryAccessState {
  std::array<uint8_t*, kMemblockSlots> gMemblockData{};             // the block's bytes, null for none
  std::array<uint32_t, kMemblockSlots> gMemblockSize{};             // in bytes
  std::array<win::LowMapping, kMemblockSlots> gMemblockMappings{};  // what each block's bytes are mapped as

  // The screen's pixels while the pixel commands have them locked.
  LockedPixels gLockedPixels{};
};
extern MemoryAccessState gMemoryAccessState;  // the one instance (display/memblocks.cpp)
inline MemoryAccessState& MemoryAccess() { return gMemoryAccessState; }

constexpr uint32_t kSurfaceBlockHeader = 12;  // width, height, bits per pixel
constexpr uint32_t kSoundBlockHeader = 12;    // bits per sample, frequency, length in samples

bool IsMemblockNumber(int32_t b);
// Checks the block number (5101) and, when it must exist, the block (5103). False after the error.
bool CheckMemblock(int32_t b, bool mustExist = true);
// The block's bytes, null when b is out of range or has no block.
uint8_t* MemblockData(int32_t b);
// A zero-filled block of the size under b (any block there is freed first); false when the memory
// cannot be had.
bool MakeMemblock(int32_t b, uint64_t size);
void FreeMemblock(int32_t b);
// Every block freed (the run's end).
void ClearMemblockTable();
// True when count bytes from the position lie inside block b (counted in 64 bits, so that no sum
// wraps).
bool MemblockHolds(int32_t b, uint32_t position, uint64_t count);

// The surface's pixels into block b in the surface layout (rows without their padding). 0, or the
// error: kErrMemblockNotAllocated when the surface cannot be locked or the block made.
int32_t MemblockFromSurface(int32_t b, win::IDirectDrawSurface7* surface);
// Width and height of a block in the surface layout, false when it has no header or no pixels.
bool SurfaceBlockSize(int32_t b, int32_t* width, int32_t* height);
// True when the block holds its header and every pixel at the depth.
bool SurfaceBlockHolds(int32_t b, uint32_t bitsPerPixel);
// The block's rows into the surface, which has the block's width and height: false, with nothing
// written, when the block does not hold every pixel at the surface's depth or the surface cannot
// be locked.
bool SurfaceFromMemblock(int32_t b, win::IDirectDrawSurface7* surface);

// Sound n's samples into block b in the sound layout: 0, or kErrSoundNotExist when it has none, or
// kErrMemblockNotExist when the block cannot be made.
int32_t MemblockFromSound(int32_t b, int32_t soundNumber);
// Sound n made from the block: false when the block has no header, a depth other than 8 or 16 bits,
// a frequency outside what sound cards play, or fewer bytes than its length promises.
bool SoundFromMemblock(int32_t b, int32_t soundNumber);

}  // namespace vx
