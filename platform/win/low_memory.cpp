// Memory mapped low (low_memory.h): x86-64 Linux places MAP_32BIT mappings in the first 2 GiB;
// elsewhere a hint below 2 GiB is tried, which the system may or may not follow.
#include "platform/win/low_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>

namespace vx::win {

namespace {

constexpr uint64_t kLow = uint64_t{1} << 31;
constexpr uint64_t kLargest = uint64_t{1} << 40;

std::atomic<size_t> gLiveMappings{0};

void* MapAnywhere(size_t total, bool low) {
  void* mapping = MAP_FAILED;
#ifdef MAP_32BIT
  if (low) mapping = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
#else
  if (low)
    mapping = mmap(reinterpret_cast<void*>(uintptr_t{1} << 28), total, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
#endif
  if (mapping == MAP_FAILED && !low)
    mapping = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return mapping == MAP_FAILED ? nullptr : mapping;
}

}  // namespace

bool LiesBelow2GiB(const void* start, uint64_t size) {
  const auto at = reinterpret_cast<uintptr_t>(start);
  return at < kLow && size <= kLow - at;
}

LowMapping MapLowMemory(uint64_t size, bool requireLow, bool guardPage) {
  const auto page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  if (size == 0 || size > kLargest) return {};
  const uint64_t data = (size + page - 1) / page * page;
  const auto total = static_cast<size_t>(guardPage ? data + page : data);
  void* mapping = MapAnywhere(total, true);
  if (mapping && !LiesBelow2GiB(mapping, total)) {
    munmap(mapping, total);
    mapping = nullptr;
  }
  if (!mapping && !requireLow) mapping = MapAnywhere(total, false);
  if (!mapping) return {};
  auto* base = static_cast<uint8_t*>(mapping);
  if (guardPage) mprotect(base + data, static_cast<size_t>(page), PROT_NONE);
  gLiveMappings.fetch_add(1, std::memory_order_relaxed);
  return LowMapping{base + (data - size), mapping, total, guardPage};
}

void UnmapLowMemory(LowMapping& mapping) {
  if (mapping.mapping) {
    munmap(mapping.mapping, mapping.mappingBytes);
    gLiveMappings.fetch_sub(1, std::memory_order_relaxed);
  }
  mapping = {};
}

size_t LiveLowMappingCount() { return gLiveMappings.load(std::memory_order_relaxed); }

}  // namespace vx::win
