// Global heap blocks. Blocks never move, so a handle is the address of the bytes; a 16-byte
// header in front of them keeps the requested size and a mark that tells a live block.
#include "platform/win/heap.h"

#include <cstdlib>
#include <cstring>

namespace vx::win {

namespace {

struct alignas(16) BlockHeader {
  size_t size;
  size_t mark;
};
static_assert(sizeof(BlockHeader) == 16, "the header keeps the bytes 16-byte aligned");
static_assert(alignof(std::max_align_t) >= 16, "malloc must return 16-byte aligned memory");

constexpr size_t kLiveMark = 0x6C6F6B6B42786Fu;
constexpr size_t kFreedMark = 0x64656572466F6Eu;
// Larger requests are refused rather than handed to the system, which might overcommit.
constexpr size_t kLargestBlock = size_t{1} << 30;
size_t gAllocLimit = 0;

BlockHeader* HeaderOf(HGLOBAL block) {
  return reinterpret_cast<BlockHeader*>(static_cast<unsigned char*>(block) - sizeof(BlockHeader));
}

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, size_t bytes) {
  if (bytes > kLargestBlock || (gAllocLimit > 0 && bytes > gAllocLimit)) return nullptr;
  const size_t total = sizeof(BlockHeader) + bytes;
  void* memory = (flags & GMEM_ZEROINIT) ? std::calloc(1, total) : std::malloc(total);
  if (!memory) return nullptr;
  auto* header = static_cast<BlockHeader*>(memory);
  header->size = bytes;
  header->mark = kLiveMark;
  return header + 1;
}

void SetGlobalAllocLimit(size_t bytes) { gAllocLimit = bytes; }

HGLOBAL GlobalFree(HGLOBAL block) {
  if (!block) return nullptr;
  BlockHeader* header = HeaderOf(block);
  if (header->mark != kLiveMark) return block;  // not ours, or freed twice: report failure
  header->mark = kFreedMark;
  std::free(header);
  return nullptr;
}

void* GlobalLock(HGLOBAL block) { return block; }

// Fixed blocks keep no lock count, so the block is never left locked.
BOOL GlobalUnlock(HGLOBAL /*block*/) { return FALSE_; }

size_t GlobalSize(HGLOBAL block) {
  if (!block) return 0;
  const BlockHeader* header = HeaderOf(block);
  return header->mark == kLiveMark ? header->size : 0;
}

}  // namespace vx::win
