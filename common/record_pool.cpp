// The pools' shared limit and the error of a pool that could not grow (record_pool.h).
#include "common/record_pool.h"

#include "common/runtime_hooks.h"

namespace vx {

uint64_t gRecordPoolByteLimit = kDefaultRecordPoolByteLimit;

void ReportRecordPoolFull() { RaiseRuntimeError(kErrOutOfMemory); }

}  // namespace vx
