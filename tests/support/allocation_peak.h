// The most heap memory held at once while a piece of a test runs, as AddressSanitizer's allocator
// counts it; builds without it measure nothing.
#pragma once
#include <cstddef>

namespace vx::test {

// Whether this build can measure.
bool AllocationPeakMeasured();
// Starts counting from what is held now.
void ResetAllocationPeak();
// Bytes held above that start at the worst moment since.
size_t AllocationPeak();

}  // namespace vx::test
