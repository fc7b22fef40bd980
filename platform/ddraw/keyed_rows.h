// Row copies that leave out colour-keyed pixels: the blitter's hot loop for pastes with a source
// key. A plain scalar copy is the reference; SSE2 and AVX2 copies do the same work many pixels at
// a time and are picked by what the processor offers.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vx::win::ddraw_detail {

// Pixels whose value, masked, lies in low..high (both included) are not copied.
struct RowKey {
  uint32_t mask = 0xFFFFFFFFu;
  uint32_t low = 0;
  uint32_t high = 0;
};

// A rectangle of `width` x `height` pixels in two pixel areas that do not overlap.
struct KeyedRows {
  uint8_t* to = nullptr;
  ptrdiff_t toPitch = 0;
  const uint8_t* from = nullptr;
  ptrdiff_t fromPitch = 0;
  uint32_t width = 0;
  uint32_t height = 0;
};

// Copies the rectangle's pixels; only the bytes of its rows are read and written.
using KeyedRowCopy = void (*)(const KeyedRows& rows, const RowKey& key);

enum class RowCopyLevel { Scalar, Sse2, Avx2 };

bool RowCopyLevelAvailable(RowCopyLevel level);
// The copy of one level for pixels of 1 to 4 bytes; the level must be available.
KeyedRowCopy KeyedRowCopier(uint32_t bytesPerPixel, RowCopyLevel level);
// The fastest copy this processor runs.
KeyedRowCopy FastestKeyedRowCopier(uint32_t bytesPerPixel);

}  // namespace vx::win::ddraw_detail
