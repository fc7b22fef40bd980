// Counts through the allocator hooks that AddressSanitizer offers: every allocation adds its size,
// every release takes the size the allocator gives for it.
#include "tests/support/allocation_peak.h"

#include <algorithm>
#include <atomic>

#if defined(__SANITIZE_ADDRESS__)
#define VX_COUNTS_ALLOCATIONS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VX_COUNTS_ALLOCATIONS 1
#endif
#endif

#ifdef VX_COUNTS_ALLOCATIONS
extern "C" {
int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                              void (*free_hook)(const volatile void*));
size_t __sanitizer_get_allocated_size(const volatile void* p);
}
#endif

namespace vx::test {

namespace {

std::atomic<long long> gHeld{0};
std::atomic<long long> gStart{0};
std::atomic<long long> gPeak{0};

#ifdef VX_COUNTS_ALLOCATIONS
void Allocated(const volatile void*, size_t size) {
  const long long held = gHeld.fetch_add((long long)size, std::memory_order_relaxed) + (long long)size;
  long long peak = gPeak.load(std::memory_order_relaxed);
  while (held > peak && !gPeak.compare_exchange_weak(peak, held, std::memory_order_relaxed)) {
  }
}
void Released(const volatile void* p) {
  if (p) gHeld.fetch_sub((long long)__sanitizer_get_allocated_size(p), std::memory_order_relaxed);
}

bool InstallHooks() {
  static const bool installed = __sanitizer_install_malloc_and_free_hooks(Allocated, Released) != 0;
  return installed;
}
#else
bool InstallHooks() { return false; }
#endif

}  // namespace

bool AllocationPeakMeasured() { return InstallHooks(); }

void ResetAllocationPeak() {
  InstallHooks();
  const long long held = gHeld.load();
  gStart = held;
  gPeak = held;
}

size_t AllocationPeak() { return size_t(std::max(0LL, gPeak.load() - gStart.load())); }

}  // namespace vx::test
