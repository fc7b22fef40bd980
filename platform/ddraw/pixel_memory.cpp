// Pixel memory of surfaces (driver_state.h): a mapping of its own for a large surface, and for
// every surface of a debug or sanitizer build, while the budget of such mappings lasts; a block of
// a shared slab for the others. The kernel allows a process about 65,000 mappings and a mapping
// that ends at an inaccessible page costs two, so a mapping per surface would run out at some
// 30,000 surfaces, far below what a program may make.
#include <unistd.h>

#include <bit>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include "platform/ddraw/driver_state.h"

#if defined(__SANITIZE_ADDRESS__)
#define VX_POISON_PIXELS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VX_POISON_PIXELS 1
#endif
#endif
#ifdef VX_POISON_PIXELS
#include <sanitizer/asan_interface.h>
#endif

namespace vx::win {

namespace ddraw_detail {

namespace {

#if defined(VX_POISON_PIXELS) || !defined(NDEBUG)
constexpr bool kGuardSmallSurfaces = true;
#else
constexpr bool kGuardSmallSurfaces = false;
#endif

#ifdef VX_POISON_PIXELS
constexpr size_t kRedZone = 16;  // poisoned bytes after a shared block's pixels, at the least
void Poison(void* at, size_t bytes) { ASAN_POISON_MEMORY_REGION(at, bytes); }
void Unpoison(void* at, size_t bytes) { ASAN_UNPOISON_MEMORY_REGION(at, bytes); }
#else
constexpr size_t kRedZone = 0;
void Poison(void*, size_t) {}
void Unpoison(void*, size_t) {}
#endif

constexpr size_t kLargestBlock = size_t{64} << 10;  // a guard page costs at most a sixteenth above this
constexpr size_t kSmallestBlock = 64;
constexpr size_t kSlabBytes = size_t{1} << 20;
constexpr size_t kNotOpen = ~size_t{0};
constexpr size_t kAssumedMappingLimit = 65530;  // Linux's default

// Mappings of surfaces just released, kept for the next surface of the same size: a fresh mapping
// costs a page fault and a cleared page for every 4 KiB the new surface touches, which for a
// loaded picture costs as much as decoding it; clearing a kept one costs a tenth of that.
constexpr size_t kMostKeptBytes = size_t{16} << 20;
constexpr size_t kMostKept = 4;

// Block sizes go up by quarters of a power of two, so a block is never a fifth unused.
size_t BlockBytesFor(size_t bytes) {
  if (bytes <= kSmallestBlock) return kSmallestBlock;
  const int top = std::bit_width(bytes - 1) - 1;
  const size_t step = size_t{1} << (top - 2);
  return (bytes + step - 1) / step * step;
}

size_t PageBytes() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }

// An eighth of the kernel's limit: a guarded mapping costs two of its mappings, and the rest of
// the process (the allocator, the sanitizer's shadow, libraries, threads) needs room too.
size_t MachineGuardedBudget() {
  static const size_t budget = [] {
    unsigned long limit = kAssumedMappingLimit;
    if (std::FILE* file = std::fopen("/proc/sys/vm/max_map_count", "r")) {
      if (std::fscanf(file, "%lu", &limit) != 1 || limit == 0) limit = kAssumedMappingLimit;
      std::fclose(file);
    }
    return static_cast<size_t>(limit / 8);
  }();
  return budget;
}

}  // namespace

// One mapping cut into blocks of one size.
struct PixelSlab {
  LowMapping low;
  size_t blockBytes = 0;
  uint32_t blockCount = 0;
  uint32_t fresh = 0;  // blocks from here on were never handed out, and are still zero
  uint32_t used = 0;
  std::vector<uint32_t> returned;  // blocks handed back, cleared when handed out again
  size_t openIndex = kNotOpen;     // where it stands among the slabs of its size that have room

  uint8_t* Block(uint32_t index) const { return low.bytes + size_t{index} * blockBytes; }
};

namespace {

struct SlabsOfASize {
  std::vector<PixelSlab*> open;  // those with a free block
  size_t count = 0;
};

struct PixelPool {
  std::mutex lock;
  std::map<size_t, SlabsOfASize> sizes;
  size_t slabs = 0;
  std::deque<LowMapping> kept;  // guarded mappings released, the most recent last
  size_t keptBytes = 0;
  size_t ownMappings = 0;  // surfaces' own mappings, kept ones included
  size_t guarded = 0;      // those of them that end at an inaccessible page
};

// Never destroyed: a surface may be released while the process ends.
PixelPool& Pool() {
  static PixelPool* pool = new PixelPool;
  return *pool;
}

size_t DataBytesOf(const LowMapping& low) { return low.mappingBytes - (low.guarded ? PageBytes() : 0); }

void Open(SlabsOfASize& size, PixelSlab* slab) {
  slab->openIndex = size.open.size();
  size.open.push_back(slab);
}

void Close(SlabsOfASize& size, PixelSlab* slab) {
  PixelSlab* last = size.open.back();
  size.open[slab->openIndex] = last;
  last->openIndex = slab->openIndex;
  size.open.pop_back();
  slab->openIndex = kNotOpen;
}

PixelSlab* MakeSlab(size_t blockBytes) {
  LowMapping low = MapLowMemory(kSlabBytes, false);
  if (!low.bytes) return nullptr;
  Poison(low.bytes, kSlabBytes);
  auto* slab = new PixelSlab;
  slab->low = low;
  slab->blockBytes = blockBytes;
  slab->blockCount = static_cast<uint32_t>(kSlabBytes / blockBytes);
  return slab;
}

void DropSlab(PixelSlab* slab) {
  Unpoison(slab->low.bytes, kSlabBytes);  // the addresses may be mapped again for anything
  UnmapLowMemory(slab->low);
  delete slab;
}

bool TakeBlock(PixelMemory& memory) {
  const size_t blockBytes = BlockBytesFor(memory.bytes + kRedZone);
  PixelPool& pool = Pool();
  PixelSlab* slab = nullptr;
  uint32_t index = 0;
  bool used = false;
  {
    const std::lock_guard<std::mutex> hold(pool.lock);
    SlabsOfASize& size = pool.sizes[blockBytes];
    if (size.open.empty()) {
      PixelSlab* made = MakeSlab(blockBytes);
      if (!made) return false;
      ++size.count;
      ++pool.slabs;
      Open(size, made);
    }
    slab = size.open.back();
    if (!slab->returned.empty()) {
      index = slab->returned.back();
      slab->returned.pop_back();
      used = true;
    } else {
      index = slab->fresh++;
    }
    if (++slab->used == slab->blockCount) Close(size, slab);
  }
  uint8_t* block = slab->Block(index);
  Unpoison(block, memory.bytes);
  if (used) std::memset(block, 0, memory.bytes);
  memory.slab = slab;
  memory.block = index;
  memory.bits = block;
  return true;
}

void ReturnBlock(PixelSlab* slab, uint32_t index) {
  Poison(slab->Block(index), slab->blockBytes);
  PixelPool& pool = Pool();
  const std::lock_guard<std::mutex> hold(pool.lock);
  SlabsOfASize& size = pool.sizes[slab->blockBytes];
  slab->returned.push_back(index);
  if (slab->openIndex == kNotOpen) Open(size, slab);
  // An empty slab goes unless it is the last of its size, which stays for the next surface.
  if (--slab->used == 0 && size.count > 1) {
    Close(size, slab);
    --size.count;
    --pool.slabs;
    DropSlab(slab);
  }
}

bool TakeOwn(PixelMemory& memory, bool guarded) {
  PixelPool& pool = Pool();
  LowMapping low{};
  if (guarded) {
    const std::lock_guard<std::mutex> hold(pool.lock);
    for (auto it = pool.kept.rbegin(); it != pool.kept.rend(); ++it) {
      const size_t data = DataBytesOf(*it);
      // The same data pages; the surface ends where the inaccessible page begins.
      if (memory.bytes <= data && data - memory.bytes < PageBytes()) {
        low = *it;
        pool.keptBytes -= it->mappingBytes;
        pool.kept.erase(std::next(it).base());
        break;
      }
    }
  }
  if (low.mapping) {
    const size_t data = DataBytesOf(low);
    std::memset(low.mapping, 0, data);
    low.bytes = static_cast<uint8_t*>(low.mapping) + (data - memory.bytes);
  } else {
    low = MapLowMemory(memory.bytes, false, guarded);
    if (!low.bytes) return false;
    const std::lock_guard<std::mutex> hold(pool.lock);
    ++pool.ownMappings;
    if (guarded) ++pool.guarded;
  }
  memory.own = low;
  memory.bits = low.bytes;
  return true;
}

void Unmap(PixelPool& pool, LowMapping& low) {
  --pool.ownMappings;
  if (low.guarded) --pool.guarded;
  UnmapLowMemory(low);
}

void ReleaseOwn(LowMapping low) {
  PixelPool& pool = Pool();
  const std::lock_guard<std::mutex> hold(pool.lock);
  if (!low.guarded || low.mappingBytes > kMostKeptBytes / kMostKept) return Unmap(pool, low);
  pool.kept.push_back(low);
  pool.keptBytes += low.mappingBytes;
  while (pool.kept.size() > kMostKept || pool.keptBytes > kMostKeptBytes) {
    pool.keptBytes -= pool.kept.front().mappingBytes;
    Unmap(pool, pool.kept.front());
    pool.kept.pop_front();
  }
}

}  // namespace

std::unique_ptr<PixelMemory> PixelMemory::Allocate(uint64_t bytes) {
  if (bytes == 0 || bytes > (uint64_t{1} << 40)) return nullptr;
  auto memory = std::make_unique<PixelMemory>();
  memory->bytes = static_cast<size_t>(bytes);
  const bool shareable = memory->bytes + kRedZone <= kLargestBlock;
  bool guarded = false;
  if (!shareable || kGuardSmallSurfaces) {
    const std::optional<size_t> budget = GuardedSurfaceBudget();
    PixelPool& pool = Pool();
    const std::lock_guard<std::mutex> hold(pool.lock);
    guarded = pool.guarded < (budget ? *budget : MachineGuardedBudget());
  }
  const bool made = guarded || !shareable ? TakeOwn(*memory, guarded) : TakeBlock(*memory);
  if (!made) return nullptr;
  return memory;
}

PixelMemory::~PixelMemory() {
  if (slab) {
    ReturnBlock(slab, block);
  } else if (own.mapping) {
    ReleaseOwn(own);
  }
}

}  // namespace ddraw_detail

size_t SurfaceMappingCount() {
  ddraw_detail::PixelPool& pool = ddraw_detail::Pool();
  const std::lock_guard<std::mutex> hold(pool.lock);
  return pool.slabs + pool.ownMappings;
}

size_t GuardedSurfaceCount() {
  ddraw_detail::PixelPool& pool = ddraw_detail::Pool();
  const std::lock_guard<std::mutex> hold(pool.lock);
  return pool.guarded;
}

}  // namespace vx::win
