// The pools' shared limit and the error of a pool that could not grow (record_pool.h).
#include "common/record_pool.h"

#include <cstdio>
#include <cstdlib>

#include "common/runtime_hooks.h"

namespace vx {

uint64_t gRecordPoolByteLimit = kDefaultRecordPoolByteLimit;

void ReportRecordPoolFull() { RaiseRuntimeError(kErrOutOfMemory); }

void RecordSlotOutsidePool(uint32_t slot, int32_t capacity) {
  std::fprintf(stderr, "record slot %u outside a pool of %d records\n", unsigned(slot), int(capacity));
  std::abort();
}

}  // namespace vx
