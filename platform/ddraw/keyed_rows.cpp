// Keyed row copies at three levels: scalar (the reference), SSE2 (every x86-64 processor) and
// AVX2 (picked at run time). A vector step loads a block of source and destination pixels, marks
// the source pixels outside the key and stores the blend, so it writes back the destination's own
// bytes where the key holds. Rows are handled in whole blocks; the last block overlaps the one
// before it, which is harmless because blending a pixel twice gives the same result. Rows shorter
// than a block go to the next level down. Loads and stores never leave the row.
#include "platform/ddraw/keyed_rows.h"

#include <algorithm>
#include <cstring>

#include "platform/ddraw/pixel_format.h"

#if defined(__x86_64__) || defined(__i386__)
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

// Every pixel of the rectangle, when no value can be in the key.
template <uint32_t Bpp>
void CopyRows(const KeyedRows& rows) {
  for (uint32_t y = 0; y < rows.height; ++y) {
    std::memcpy(rows.to + y * rows.toPitch, rows.from + y * rows.fromPitch, size_t{rows.width} * Bpp);
  }
}

#ifdef VX_KEYED_ROWS_X86

// The key for pixel values of at most `widest`: false when no such value can be in it, so that the
// whole row is copied.
bool Narrowed(const RowKey& key, uint32_t widest, RowKey& out) {
  if (key.low > key.high || key.low > widest) return false;
  out = RowKey{key.mask & widest, key.low, std::min(key.high, widest)};
  return true;
}

// Runs a block step over rows of at least one block each.
template <uint32_t Bpp, uint32_t Width, class State, void (*Step)(uint8_t*, const uint8_t*, const State&)>
[[gnu::always_inline]] inline void EachBlock(const KeyedRows& rows, const State& state) {
  uint8_t* to = rows.to;
  const uint8_t* from = rows.from;
  const uint32_t last = (rows.width - Width) * Bpp;
  for (uint32_t y = 0; y < rows.height; ++y, to += rows.toPitch, from += rows.fromPitch) {
    uint32_t x = 0;
    for (; x < last; x += Width * Bpp) Step(to + x, from + x, state);
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

// 8 and 16 bits: a value is in the key when neither low - value nor value - high stays above 0.
void Sse2Step8(uint8_t* to, const uint8_t* from, const Sse2Key& k) {
  const __m128i src = Load128(from);
  const __m128i value = _mm_and_si128(src, k.mask);
  const __m128i zero = _mm_setzero_si128();
  const __m128i in = _mm_and_si128(_mm_cmpeq_epi8(_mm_subs_epu8(k.low, value), zero),
                                   _mm_cmpeq_epi8(_mm_subs_epu8(value, k.high), zero));
  Store128(to, Select128(in, Load128(to), src));
}

void Sse2Step16(uint8_t* to, const uint8_t* from, const Sse2Key& k) {
  const __m128i src = Load128(from);
  const __m128i value = _mm_and_si128(src, k.mask);
  const __m128i zero = _mm_setzero_si128();
  const __m128i in = _mm_and_si128(_mm_cmpeq_epi16(_mm_subs_epu16(k.low, value), zero),
                                   _mm_cmpeq_epi16(_mm_subs_epu16(value, k.high), zero));
  Store128(to, Select128(in, Load128(to), src));
}

// 32 bits: unsigned order through signed compares of values with the top bit flipped.
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

struct Sse2Key24 {
  __m128i mask, low, high;  // low and high fit in 24 bits, so signed compares order them
};

__m128i Sse2CopyMask24(__m128i packed, const Sse2Key24& k) {
  const __m128i value = _mm_and_si128(Spread24(packed), k.mask);
  const __m128i copy = _mm_or_si128(_mm_cmpgt_epi32(k.low, value), _mm_cmpgt_epi32(value, k.high));
  const int flags = _mm_movemask_ps(_mm_castsi128_ps(copy));
  return _mm_load_si128(reinterpret_cast<const __m128i*>(kPacked24Masks.bytes[flags]));
}

void Sse2Step24(uint8_t* to, const uint8_t* from, const Sse2Key24& k) {
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
  RowKey k;
  if (!Narrowed(key, 0xFF, k)) return CopyRows<1>(rows);
  if (rows.width < 16) return ScalarRows<1>(rows, key);
  const Sse2Key state{_mm_set1_epi8(static_cast<char>(k.mask)), _mm_set1_epi8(static_cast<char>(k.low)),
                      _mm_set1_epi8(static_cast<char>(k.high))};
  EachBlock<1, 16, Sse2Key, Sse2Step8>(rows, state);
}

void Sse2Rows16(const KeyedRows& rows, const RowKey& key) {
  RowKey k;
  if (!Narrowed(key, 0xFFFF, k)) return CopyRows<2>(rows);
  if (rows.width < 8) return ScalarRows<2>(rows, key);
  const Sse2Key state{_mm_set1_epi16(static_cast<short>(k.mask)), _mm_set1_epi16(static_cast<short>(k.low)),
                      _mm_set1_epi16(static_cast<short>(k.high))};
  EachBlock<2, 8, Sse2Key, Sse2Step16>(rows, state);
}

void Sse2Rows24(const KeyedRows& rows, const RowKey& key) {
  RowKey k;
  if (!Narrowed(key, 0xFFFFFF, k)) return CopyRows<3>(rows);
  if (rows.width < 16) return ScalarRows<3>(rows, key);
  const Sse2Key24 state{_mm_set1_epi32(static_cast<int>(k.mask)), _mm_set1_epi32(static_cast<int>(k.low)),
                        _mm_set1_epi32(static_cast<int>(k.high))};
  EachBlock<3, 16, Sse2Key24, Sse2Step24>(rows, state);
}

void Sse2Rows32(const KeyedRows& rows, const RowKey& key) {
  if (rows.width < 4) return ScalarRows<4>(rows, key);
  const Sse2Key state{_mm_set1_epi32(static_cast<int>(key.mask)),
                      _mm_set1_epi32(static_cast<int>(key.low ^ 0x80000000u)),
                      _mm_set1_epi32(static_cast<int>(key.high ^ 0x80000000u))};
  EachBlock<4, 4, Sse2Key, Sse2Step32>(rows, state);
}

// --- AVX2 -----------------------------------------------------------------------------------------

#define VX_AVX2 [[gnu::target("avx2")]]

VX_AVX2 __m256i Load256(const uint8_t* at) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)); }
VX_AVX2 void Store256(uint8_t* at, __m256i value) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), value); }

struct Avx2Key {
  __m256i mask, low, high;
};

VX_AVX2 void Avx2Step8(uint8_t* to, const uint8_t* from, const Avx2Key& k) {
  const __m256i src = Load256(from);
  const __m256i value = _mm256_and_si256(src, k.mask);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i in = _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_subs_epu8(k.low, value), zero),
                                      _mm256_cmpeq_epi8(_mm256_subs_epu8(value, k.high), zero));
  Store256(to, _mm256_blendv_epi8(src, Load256(to), in));
}

VX_AVX2 void Avx2Step16(uint8_t* to, const uint8_t* from, const Avx2Key& k) {
  const __m256i src = Load256(from);
  const __m256i value = _mm256_and_si256(src, k.mask);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i in = _mm256_and_si256(_mm256_cmpeq_epi16(_mm256_subs_epu16(k.low, value), zero),
                                      _mm256_cmpeq_epi16(_mm256_subs_epu16(value, k.high), zero));
  Store256(to, _mm256_blendv_epi8(src, Load256(to), in));
}

VX_AVX2 void Avx2Step32(uint8_t* to, const uint8_t* from, const Avx2Key& k) {
  const __m256i src = Load256(from);
  const __m256i value = _mm256_and_si256(src, k.mask);
  const __m256i in = _mm256_and_si256(_mm256_cmpeq_epi32(_mm256_max_epu32(value, k.low), value),
                                      _mm256_cmpeq_epi32(_mm256_min_epu32(value, k.high), value));
  _mm256_maskstore_epi32(reinterpret_cast<int*>(to), _mm256_xor_si256(in, _mm256_cmpeq_epi32(in, in)), src);
}

// 24 bits: byte shuffles spread two groups of four packed pixels at once (one per 128-bit half)
// and gather the lane flags back into packed byte masks.
struct Avx2Key24 {
  __m256i mask, low, high, spread, gather;
};

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
  RowKey k;
  if (rows.width < 32 || !Narrowed(key, 0xFF, k)) return Sse2Rows8(rows, key);
  const Avx2Key state{_mm256_set1_epi8(static_cast<char>(k.mask)), _mm256_set1_epi8(static_cast<char>(k.low)),
                      _mm256_set1_epi8(static_cast<char>(k.high))};
  EachBlock<1, 32, Avx2Key, Avx2Step8>(rows, state);
}

VX_AVX2 void Avx2Rows16(const KeyedRows& rows, const RowKey& key) {
  RowKey k;
  if (rows.width < 16 || !Narrowed(key, 0xFFFF, k)) return Sse2Rows16(rows, key);
  const Avx2Key state{_mm256_set1_epi16(static_cast<short>(k.mask)), _mm256_set1_epi16(static_cast<short>(k.low)),
                      _mm256_set1_epi16(static_cast<short>(k.high))};
  EachBlock<2, 16, Avx2Key, Avx2Step16>(rows, state);
}

VX_AVX2 void Avx2Rows24(const KeyedRows& rows, const RowKey& key) {
  RowKey k;
  if (rows.width < 16 || !Narrowed(key, 0xFFFFFF, k)) return Sse2Rows24(rows, key);
  const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,  //
                                          0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m256i gather = _mm256_setr_epi8(0, 0, 0, 4, 4, 4, 8, 8, 8, 12, 12, 12, -1, -1, -1, -1,  //
                                          0, 0, 0, 4, 4, 4, 8, 8, 8, 12, 12, 12, -1, -1, -1, -1);
  const Avx2Key24 state{_mm256_set1_epi32(static_cast<int>(k.mask)), _mm256_set1_epi32(static_cast<int>(k.low)),
                        _mm256_set1_epi32(static_cast<int>(k.high)), spread, gather};
  EachBlock<3, 16, Avx2Key24, Avx2Step24>(rows, state);
}

VX_AVX2 void Avx2Rows32(const KeyedRows& rows, const RowKey& key) {
  if (rows.width < 8) return Sse2Rows32(rows, key);
  const Avx2Key state{_mm256_set1_epi32(static_cast<int>(key.mask)), _mm256_set1_epi32(static_cast<int>(key.low)),
                      _mm256_set1_epi32(static_cast<int>(key.high))};
  EachBlock<4, 8, Avx2Key, Avx2Step32>(rows, state);
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

KeyedRowCopy FastestKeyedRowCopier(uint32_t bytesPerPixel) {
  return KeyedRowCopier(bytesPerPixel, RowCopyLevel::Avx2);
}

}  // namespace vx::win::ddraw_detail
