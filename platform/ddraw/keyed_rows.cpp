// Keyed row copies at three levels: scalar (the reference), SSE2 (every x86-64 processor) and
// AVX2 (picked at run time). A vector step loads a block of source pixels, marks those outside the
// key and stores them blended with the destination block, which writes back the destination's own
// bytes where the key holds (a masked store would leave them alone, but on AMD's processors it
// costs several times the load and blend). Rows are handled in whole
// blocks; the last block overlaps the one before it, which is harmless because copying a pixel
// twice gives the same result. Rows shorter than a block go to the next level down. Loads and
// stores never leave the row.
#include "platform/ddraw/keyed_rows.h"

#include <algorithm>
#include <cstring>

#include "platform/ddraw/pixel_format.h"

#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))
#define VX_KEYED_ROWS_X86 1
#include <immintrin.h>
#endif

namespace vx::win::ddraw_detail {

namespace {

template <uint32_t Bpp>
void ScalarRows(const KeyedRows& rows, const RowKey& key) {
  for (uint32_t y = 0; y < rows.height; ++y) {
    const uint8_t* from = rows.from + y * rows.fromPitch;
    uint8_t* to = rows.to + y * rows.toPitch;
    for (uint32_t x = 0; x < rows.width; ++x, from += Bpp, to += Bpp) {
      const uint32_t value = LoadPixel(from, Bpp);
      const uint32_t keyed = value & key.mask;
      if (keyed >= key.low && keyed <= key.high) continue;
      StorePixel(to, Bpp, value);
    }
  }
}

#ifdef VX_KEYED_ROWS_X86

// --- Blocks of rows -------------------------------------------------------------------------------

// Every pixel of the rectangle, when no value can be in the key.
template <uint32_t Bpp>
void CopyRows(const KeyedRows& rows) {
  for (uint32_t y = 0; y < rows.height; ++y) {
    std::memcpy(rows.to + y * rows.toPitch, rows.from + y * rows.fromPitch, size_t{rows.width} * Bpp);
  }
}

// The key for pixel values of at most `widest`, so that lanes of the pixel's width can compare with
// it; false when no such value can be in it.
bool Narrowed(const RowKey& key, uint32_t widest, RowKey& out) {
  if (key.low > key.high || key.low > widest) return false;
  out = RowKey{key.mask & widest, key.low, std::min(key.high, widest)};
  return true;
}

template <class State>
using BlockStep = void (*)(uint8_t* to, const uint8_t* from, const State& state);

// The copy of one level: `Step` copies `Width` pixels with the key broadcast by `Broadcast`;
// narrower rectangles go to `Narrower`.
template <uint32_t Bpp, uint32_t Width, class State, State (*Broadcast)(const RowKey&), BlockStep<State> Step,
          KeyedRowCopy Narrower>
[[gnu::always_inline]] inline void VectorRows(const KeyedRows& rows, const RowKey& key) {
  constexpr uint32_t widest = Bpp == 4 ? 0xFFFFFFFFu : (1u << (8 * Bpp)) - 1;
  RowKey narrowed;
  if (!Narrowed(key, widest, narrowed)) return CopyRows<Bpp>(rows);
  if (rows.width < Width) return Narrower(rows, key);
  const State state = Broadcast(narrowed);
  uint8_t* to = rows.to;
  const uint8_t* from = rows.from;
  const uint32_t last = (rows.width - Width) * Bpp;
  for (uint32_t y = 0; y < rows.height; ++y, to += rows.toPitch, from += rows.fromPitch) {
    for (uint32_t x = 0; x < last; x += Width * Bpp) Step(to + x, from + x, state);
    Step(to + last, from + last, state);
  }
}

// --- SSE2 -----------------------------------------------------------------------------------------

__m128i Load128(const uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }
void Store128(uint8_t* at, __m128i value) { _mm_storeu_si128(reinterpret_cast<__m128i*>(at), value); }

// Bytes of `first` where `pick` is set, of `second` elsewhere.
__m128i Select128(__m128i pick, __m128i first, __m128i second) {
  return _mm_or_si128(_mm_and_si128(pick, first), _mm_andnot_si128(pick, second));
}

struct Sse2Key {
  __m128i mask, low, high;
};

Sse2Key Sse2Key8(const RowKey& k) {
  return {_mm_set1_epi8(static_cast<char>(k.mask)), _mm_set1_epi8(static_cast<char>(k.low)),
          _mm_set1_epi8(static_cast<char>(k.high))};
}

Sse2Key Sse2Key16(const RowKey& k) {
  return {_mm_set1_epi16(static_cast<short>(k.mask)), _mm_set1_epi16(static_cast<short>(k.low)),
          _mm_set1_epi16(static_cast<short>(k.high))};
}

// 24 bits compare in 32-bit lanes as they are: the narrowed key fits in 24 bits.
Sse2Key Sse2Key24(const RowKey& k) {
  return {_mm_set1_epi32(static_cast<int>(k.mask)), _mm_set1_epi32(static_cast<int>(k.low)),
          _mm_set1_epi32(static_cast<int>(k.high))};
}

// 32 bits order unsigned through signed compares with the top bit flipped.
Sse2Key Sse2Key32(const RowKey& k) {
  return {_mm_set1_epi32(static_cast<int>(k.mask)), _mm_set1_epi32(static_cast<int>(k.low ^ 0x80000000u)),
          _mm_set1_epi32(static_cast<int>(k.high ^ 0x80000000u))};
}

// 8 and 16 bits: a value is in the key when neither low - value nor value - high stays above 0.
template <uint32_t Bits>
void Sse2StepNarrow(uint8_t* to, const uint8_t* from, const Sse2Key& k) {
  const __m128i src = Load128(from);
  const __m128i value = _mm_and_si128(src, k.mask);
  const __m128i zero = _mm_setzero_si128();
  __m128i in;
  if constexpr (Bits == 8) {
    in = _mm_and_si128(_mm_cmpeq_epi8(_mm_subs_epu8(k.low, value), zero),
                       _mm_cmpeq_epi8(_mm_subs_epu8(value, k.high), zero));
  } else {
    in = _mm_and_si128(_mm_cmpeq_epi16(_mm_subs_epu16(k.low, value), zero),
                       _mm_cmpeq_epi16(_mm_subs_epu16(value, k.high), zero));
  }
  Store128(to, Select128(in, Load128(to), src));
}

void Sse2Step32(uint8_t* to, const uint8_t* from, const Sse2Key& k) {
  const __m128i src = Load128(from);
  const __m128i value = _mm_xor_si128(_mm_and_si128(src, k.mask), _mm_set1_epi32(INT32_MIN));
  const __m128i copy = _mm_or_si128(_mm_cmpgt_epi32(k.low, value), _mm_cmpgt_epi32(value, k.high));
  Store128(to, Select128(copy, src, Load128(to)));
}

// 24 bits, 16 pixels in three registers. Four pixels packed in bytes 0-11 spread to one per lane
// (the top byte is left over and masked off).
__m128i Spread24(__m128i packed) {
  const __m128i low = _mm_unpacklo_epi32(packed, _mm_srli_si128(packed, 3));
  const __m128i high = _mm_unpacklo_epi32(_mm_srli_si128(packed, 6), _mm_srli_si128(packed, 9));
  return _mm_unpacklo_epi64(low, high);
}

// The byte mask over 12 packed bytes of four lane flags (bit n: pixel n).
struct Packed24Masks {
  alignas(16) uint8_t bytes[16][16];
};
constexpr Packed24Masks MakePacked24Masks() {
  Packed24Masks masks{};
  for (int flags = 0; flags < 16; ++flags) {
    for (int byte = 0; byte < 12; ++byte) masks.bytes[flags][byte] = (flags >> (byte / 3)) & 1 ? 0xFF : 0;
  }
  return masks;
}
constexpr Packed24Masks kPacked24Masks = MakePacked24Masks();

__m128i Sse2CopyMask24(__m128i packed, const Sse2Key& k) {
  const __m128i value = _mm_and_si128(Spread24(packed), k.mask);
  const __m128i copy = _mm_or_si128(_mm_cmpgt_epi32(k.low, value), _mm_cmpgt_epi32(value, k.high));
  const int flags = _mm_movemask_ps(_mm_castsi128_ps(copy));
  return _mm_load_si128(reinterpret_cast<const __m128i*>(kPacked24Masks.bytes[flags]));
}

// The packed masks of pixels 0-3, 4-7, 8-11 and 12-15 laid over the block's three registers.
void Sse2Step24(uint8_t* to, const uint8_t* from, const Sse2Key& k) {
  const __m128i s0 = Load128(from), s1 = Load128(from + 16), s2 = Load128(from + 32);
  const __m128i m0 = Sse2CopyMask24(s0, k);
  const __m128i m1 = Sse2CopyMask24(_mm_or_si128(_mm_srli_si128(s0, 12), _mm_slli_si128(s1, 4)), k);
  const __m128i m2 = Sse2CopyMask24(_mm_or_si128(_mm_srli_si128(s1, 8), _mm_slli_si128(s2, 8)), k);
  const __m128i m3 = Sse2CopyMask24(_mm_srli_si128(s2, 4), k);
  Store128(to, Select128(_mm_or_si128(m0, _mm_slli_si128(m1, 12)), s0, Load128(to)));
  Store128(to + 16, Select128(_mm_or_si128(_mm_srli_si128(m1, 4), _mm_slli_si128(m2, 8)), s1, Load128(to + 16)));
  Store128(to + 32, Select128(_mm_or_si128(_mm_srli_si128(m2, 8), _mm_slli_si128(m3, 4)), s2, Load128(to + 32)));
}

void Sse2Rows8(const KeyedRows& rows, const RowKey& key) {
  VectorRows<1, 16, Sse2Key, Sse2Key8, Sse2StepNarrow<8>, ScalarRows<1>>(rows, key);
}
void Sse2Rows16(const KeyedRows& rows, const RowKey& key) {
  VectorRows<2, 8, Sse2Key, Sse2Key16, Sse2StepNarrow<16>, ScalarRows<2>>(rows, key);
}
void Sse2Rows24(const KeyedRows& rows, const RowKey& key) {
  VectorRows<3, 16, Sse2Key, Sse2Key24, Sse2Step24, ScalarRows<3>>(rows, key);
}
void Sse2Rows32(const KeyedRows& rows, const RowKey& key) {
  VectorRows<4, 4, Sse2Key, Sse2Key32, Sse2Step32, ScalarRows<4>>(rows, key);
}

// --- AVX2 -----------------------------------------------------------------------------------------

#define VX_AVX2 [[gnu::target("avx2")]]

VX_AVX2 __m256i Load256(const uint8_t* at) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)); }
VX_AVX2 void Store256(uint8_t* at, __m256i value) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), value); }

struct Avx2Key {
  __m256i mask, low, high;
};

VX_AVX2 Avx2Key Avx2Key8(const RowKey& k) {
  return {_mm256_set1_epi8(static_cast<char>(k.mask)), _mm256_set1_epi8(static_cast<char>(k.low)),
          _mm256_set1_epi8(static_cast<char>(k.high))};
}

VX_AVX2 Avx2Key Avx2Key16(const RowKey& k) {
  return {_mm256_set1_epi16(static_cast<short>(k.mask)), _mm256_set1_epi16(static_cast<short>(k.low)),
          _mm256_set1_epi16(static_cast<short>(k.high))};
}

VX_AVX2 Avx2Key Avx2Key32(const RowKey& k) {
  return {_mm256_set1_epi32(static_cast<int>(k.mask)), _mm256_set1_epi32(static_cast<int>(k.low)),
          _mm256_set1_epi32(static_cast<int>(k.high))};
}

template <uint32_t Bits>
VX_AVX2 void Avx2StepNarrow(uint8_t* to, const uint8_t* from, const Avx2Key& k) {
  const __m256i src = Load256(from);
  const __m256i value = _mm256_and_si256(src, k.mask);
  const __m256i zero = _mm256_setzero_si256();
  __m256i in;
  if constexpr (Bits == 8) {
    in = _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_subs_epu8(k.low, value), zero),
                          _mm256_cmpeq_epi8(_mm256_subs_epu8(value, k.high), zero));
  } else {
    in = _mm256_and_si256(_mm256_cmpeq_epi16(_mm256_subs_epu16(k.low, value), zero),
                          _mm256_cmpeq_epi16(_mm256_subs_epu16(value, k.high), zero));
  }
  Store256(to, _mm256_blendv_epi8(src, Load256(to), in));
}

VX_AVX2 void Avx2Step32(uint8_t* to, const uint8_t* from, const Avx2Key& k) {
  const __m256i src = Load256(from);
  const __m256i value = _mm256_and_si256(src, k.mask);
  const __m256i in = _mm256_and_si256(_mm256_cmpeq_epi32(_mm256_max_epu32(value, k.low), value),
                                      _mm256_cmpeq_epi32(_mm256_min_epu32(value, k.high), value));
  Store256(to, _mm256_blendv_epi8(src, Load256(to), in));
}

// 24 bits: byte shuffles spread two groups of four packed pixels at once (one per 128-bit half)
// and gather the lane flags back into packed byte masks.
struct Avx2Key24 {
  __m256i mask, low, high, spread, gather;
};

VX_AVX2 Avx2Key24 MakeAvx2Key24(const RowKey& k) {
  const Avx2Key key = Avx2Key32(k);
  return {key.mask, key.low, key.high,
          _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,  //
                           0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1),
          _mm256_setr_epi8(0, 0, 0, 4, 4, 4, 8, 8, 8, 12, 12, 12, -1, -1, -1, -1,  //
                           0, 0, 0, 4, 4, 4, 8, 8, 8, 12, 12, 12, -1, -1, -1, -1)};
}

VX_AVX2 void Avx2CopyMasks24(__m128i first, __m128i second, const Avx2Key24& k, __m128i& maskFirst,
                             __m128i& maskSecond) {
  const __m256i value = _mm256_and_si256(_mm256_shuffle_epi8(_mm256_set_m128i(second, first), k.spread), k.mask);
  const __m256i copy = _mm256_or_si256(_mm256_cmpgt_epi32(k.low, value), _mm256_cmpgt_epi32(value, k.high));
  const __m256i bytes = _mm256_shuffle_epi8(copy, k.gather);
  maskFirst = _mm256_castsi256_si128(bytes);
  maskSecond = _mm256_extracti128_si256(bytes, 1);
}

VX_AVX2 void Avx2Step24(uint8_t* to, const uint8_t* from, const Avx2Key24& k) {
  const __m128i s0 = Load128(from), s1 = Load128(from + 16), s2 = Load128(from + 32);
  __m128i m0, m1, m2, m3;
  Avx2CopyMasks24(s0, _mm_alignr_epi8(s1, s0, 12), k, m0, m1);
  Avx2CopyMasks24(_mm_alignr_epi8(s2, s1, 8), _mm_srli_si128(s2, 4), k, m2, m3);
  Store128(to, _mm_blendv_epi8(Load128(to), s0, _mm_or_si128(m0, _mm_slli_si128(m1, 12))));
  Store128(to + 16, _mm_blendv_epi8(Load128(to + 16), s1, _mm_or_si128(_mm_srli_si128(m1, 4), _mm_slli_si128(m2, 8))));
  Store128(to + 32, _mm_blendv_epi8(Load128(to + 32), s2, _mm_or_si128(_mm_srli_si128(m2, 8), _mm_slli_si128(m3, 4))));
}

VX_AVX2 void Avx2Rows8(const KeyedRows& rows, const RowKey& key) {
  VectorRows<1, 32, Avx2Key, Avx2Key8, Avx2StepNarrow<8>, Sse2Rows8>(rows, key);
}
VX_AVX2 void Avx2Rows16(const KeyedRows& rows, const RowKey& key) {
  VectorRows<2, 16, Avx2Key, Avx2Key16, Avx2StepNarrow<16>, Sse2Rows16>(rows, key);
}
VX_AVX2 void Avx2Rows24(const KeyedRows& rows, const RowKey& key) {
  VectorRows<3, 16, Avx2Key24, MakeAvx2Key24, Avx2Step24, Sse2Rows24>(rows, key);
}
VX_AVX2 void Avx2Rows32(const KeyedRows& rows, const RowKey& key) {
  VectorRows<4, 8, Avx2Key, Avx2Key32, Avx2Step32, Sse2Rows32>(rows, key);
}

#undef VX_AVX2

bool ProcessorHasAvx2() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
}

#endif  // VX_KEYED_ROWS_X86

constexpr KeyedRowCopy kScalarRows[4] = {ScalarRows<1>, ScalarRows<2>, ScalarRows<3>, ScalarRows<4>};
#ifdef VX_KEYED_ROWS_X86
constexpr KeyedRowCopy kSse2Rows[4] = {Sse2Rows8, Sse2Rows16, Sse2Rows24, Sse2Rows32};
constexpr KeyedRowCopy kAvx2Rows[4] = {Avx2Rows8, Avx2Rows16, Avx2Rows24, Avx2Rows32};
#endif

}  // namespace

bool RowCopyLevelAvailable(RowCopyLevel level) {
  switch (level) {
    case RowCopyLevel::Scalar: return true;
#ifdef VX_KEYED_ROWS_X86
    case RowCopyLevel::Sse2: return true;
    case RowCopyLevel::Avx2: return ProcessorHasAvx2();
#endif
    default: return false;
  }
}

KeyedRowCopy KeyedRowCopier(uint32_t bytesPerPixel, RowCopyLevel level) {
  const uint32_t index = std::clamp(bytesPerPixel, 1u, 4u) - 1;
#ifdef VX_KEYED_ROWS_X86
  if (level == RowCopyLevel::Avx2 && ProcessorHasAvx2()) return kAvx2Rows[index];
  if (level != RowCopyLevel::Scalar) return kSse2Rows[index];
#endif
  return kScalarRows[index];
}

KeyedRowCopy FastestKeyedRowCopier(uint32_t bytesPerPixel) { return KeyedRowCopier(bytesPerPixel, RowCopyLevel::Avx2); }

}  // namespace vx::win::ddraw_detail
