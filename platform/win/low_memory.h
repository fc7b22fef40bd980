// Memory whose address a program can hold in a 32-bit integer: mapped below 2 GiB where the system
// allows it, zero-filled, and (unless asked otherwise) ending right before an inaccessible page, so
// that a read or a write past the last byte faults at once instead of reaching a neighbour.
// Surfaces' pixels and memory blocks live in it.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vx::win {

struct LowMapping {
  uint8_t* bytes = nullptr;  // the first byte, null when nothing is mapped
  void* mapping = nullptr;
  size_t mappingBytes = 0;  // the inaccessible page included
  bool guarded = false;     // ends at an inaccessible page
};

// Up to 2^40 bytes; an empty mapping when they cannot be had or, with requireLow, when the system
// could place them only at 2 GiB or above. The inaccessible page splits the mapping in two of the
// kernel's, and keeps it from merging with its neighbours: without it (guardPage false) a mapping
// can cost none.
LowMapping MapLowMemory(uint64_t size, bool requireLow, bool guardPage = true);
void UnmapLowMemory(LowMapping& mapping);
// Mappings made by MapLowMemory and not yet unmapped.
size_t LiveLowMappingCount();
// True when the whole range lies below 2 GiB: its address fits a positive 32-bit integer.
bool LiesBelow2GiB(const void* start, uint64_t size);

}  // namespace vx::win
