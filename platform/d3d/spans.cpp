// The specialised spans and the choice between them. Each is a template instance for one target
// format, depth format and way of sampling stage 0; the other states (texture operations, a
// second stage, colour keys, specular, alpha test, vertex and table fog, blending) are decided
// per span. They compute what the reference span computes, with the same roundings: depth,
// 1/w and texture coordinates four pixels at a time, and each pixel's channels side by side in
// one vector register.
#include <emmintrin.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>

#include "platform/d3d/raster_internal.h"

namespace vx::raster::detail {
namespace {

enum class Sampling : uint8_t { None, Point, Linear, Lod };

using V4f = float __attribute__((vector_size(16)));
using V4i = int32_t __attribute__((vector_size(16)));

// ---- four pixels side by side -------------------------------------------------------------------

// ToByte and FloorToInt lane by lane, with the same comparisons in the same order.
inline V4i ToBytes(V4f c) {
  c = c > 0.0f ? c : V4f{};  // NaN too
  c = c >= 255.0f ? V4f{} + 255.0f : c;
  return __builtin_convertvector(c + 0.5f, V4i);
}

inline V4i FloorToInts(V4f f) {
  f = f >= -1073741824.0f ? f : V4f{} - 1073741824.0f;
  f = f <= 1073741823.0f ? f : V4f{} + 1073741823.0f;
  const V4i i = __builtin_convertvector(f, V4i);
  return i + (__builtin_convertvector(i, V4f) > f);  // true lanes are -1
}

// DepthValue for depths whose largest value fits a signed 32-bit lane (D16, D24).
inline V4i DepthValues(V4f z, double scale) {
  const __m128d s = _mm_set1_pd(scale), half = _mm_set1_pd(0.5), zero = _mm_setzero_pd();
  const auto one = [&](__m128d v) {
    v = _mm_add_pd(_mm_mul_pd(v, s), half);
    v = _mm_and_pd(v, _mm_cmpgt_pd(v, zero));  // NaN and below: 0
    const __m128d top = _mm_cmpge_pd(v, s);
    v = _mm_or_pd(_mm_and_pd(top, s), _mm_andnot_pd(top, v));
    return _mm_cvttpd_epi32(v);
  };
  const __m128 zf = reinterpret_cast<__m128>(z);
  const __m128i lo = one(_mm_cvtps_pd(zf)), hi = one(_mm_cvtps_pd(_mm_movehl_ps(zf, zf)));
  return reinterpret_cast<V4i>(_mm_unpacklo_epi64(lo, hi));
}

// The lanes where `value compare reference` holds, for values below 2^31.
inline V4i Compared(Compare compare, V4i value, V4i reference) { return Holds(compare, value, reference, V4i{} - 1); }

// ---- one pixel: the channels b, g, r, a in the four lanes ---------------------------------------

inline __m128i Unpack(uint32_t argb) {
  const __m128i zero = _mm_setzero_si128();
  return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(argb)), zero), zero);
}

inline uint32_t Pack(__m128i c) {
  return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(_mm_packs_epi32(c, c), c)));
}

inline __m128i Splat(int v) { return _mm_set1_epi32(v); }
inline __m128i AlphaLane() { return _mm_set_epi32(-1, 0, 0, 0); }
inline __m128i Select(__m128i mask, __m128i yes, __m128i no) {
  return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}
// The alpha lane of a, the others of colour.
inline __m128i WithAlpha(__m128i colour, __m128i a) { return Select(AlphaLane(), a, colour); }
inline __m128i BroadcastAlpha(__m128i c) { return _mm_shuffle_epi32(c, 0xFF); }
inline __m128i Min255(__m128i c) { return _mm_min_epi16(c, Splat(255)); }  // lanes below 32768

// ToByte of each channel.
inline __m128i ChannelBytes(__m128 c) { return reinterpret_cast<__m128i>(ToBytes(reinterpret_cast<V4f>(c))); }

// x * y / 255 rounded, as Mul8: lanes of 0 to 255.
inline __m128i Mul8(__m128i x, __m128i y) {
  const __m128i t = _mm_add_epi32(_mm_mullo_epi16(x, y), Splat(128));
  return _mm_srli_epi32(_mm_add_epi32(t, _mm_srli_epi32(t, 8)), 8);
}

// floor(n / 255) for lanes below 65535; from there up it stays at 256 or more.
inline __m128i Div255(__m128i n) {
  return _mm_srli_epi32(_mm_add_epi32(_mm_add_epi32(n, Splat(1)), _mm_srli_epi32(n, 8)), 8);
}

// a * wa + b * wb in each lane, for lanes and weights below 32768.
inline __m128i MulAdd(__m128i a, __m128i b, __m128i wa, __m128i wb) {
  return _mm_madd_epi16(_mm_or_si128(a, _mm_slli_epi32(b, 16)), _mm_or_si128(wa, _mm_slli_epi32(wb, 16)));
}

// A bilinear weight f of 0 to 256 as MulAdd takes the pair: (256 - f) | f << 16.
inline __m128i BilinearWeights(int f) { return Splat((f << 16) | (256 - f)); }

// Bilinear: the top and bottom mixes of at most 65280 are split into bytes so that every
// product fits the 16-bit multiplier; (256 * hi + lo + 32768) >> 16 is the same sum.
[[gnu::always_inline]] inline __m128i Bilinear(uint32_t t00, uint32_t t10, uint32_t t01, uint32_t t11, __m128i wu,
                                               __m128i wv) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i top = _mm_madd_epi16(
      _mm_unpacklo_epi8(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int(t00)), _mm_cvtsi32_si128(int(t10))), zero), wu);
  const __m128i bottom = _mm_madd_epi16(
      _mm_unpacklo_epi8(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int(t01)), _mm_cvtsi32_si128(int(t11))), zero), wu);
  const __m128i byte = Splat(255);
  const __m128i hi =
      _mm_madd_epi16(_mm_or_si128(_mm_srli_epi32(top, 8), _mm_slli_epi32(_mm_srli_epi32(bottom, 8), 16)), wv);
  const __m128i lo =
      _mm_madd_epi16(_mm_or_si128(_mm_and_si128(top, byte), _mm_slli_epi32(_mm_and_si128(bottom, byte), 16)), wv);
  return _mm_srli_epi32(_mm_add_epi32(_mm_add_epi32(_mm_slli_epi32(hi, 8), lo), Splat(32768)), 16);
}

// MixTexels: (a * (256 - weight) + b * weight + 128) >> 8.
inline __m128i Mix(__m128i a, __m128i b, int weight) {
  return _mm_srli_epi32(_mm_add_epi32(MulAdd(a, b, Splat(256 - weight), Splat(weight)), Splat(128)), 8);
}

// ---- texture sampling ---------------------------------------------------------------------------

inline int WrapMask(int size, Address mode) {
  return mode == Address::Wrap && (size & (size - 1)) == 0 ? size - 1 : -1;
}

// A level sampled at texel coordinates in 1/256 texels, a texel's index in the level being
// index(u, v); keyed when the texel where point sampling looks is.
template <class Index>
[[gnu::always_inline]] inline __m128i Filtered(const LevelSampling& level, Index index, int32_t cu, int32_t cv,
                                               Filter filter, bool& keyed) {
  const uint32_t* texels = level.texels;
  if (level.keyed) keyed = keyed || level.keyed[index(cu >> 8, cv >> 8)] != 0;
  if (filter == Filter::Point) return Unpack(texels[index(cu >> 8, cv >> 8)]);
  const int32_t lu = cu - 128, lv = cv - 128;
  const int iu = lu >> 8, iv = lv >> 8;
  return Bilinear(texels[index(iu, iv)], texels[index(iu + 1, iv)], texels[index(iu, iv + 1)],
                  texels[index(iu + 1, iv + 1)], BilinearWeights(lu & 255), BilinearWeights(lv & 255));
}

// The same, addressing by masks where the level wraps power-of-two sizes.
[[gnu::always_inline]] inline __m128i SampleCoordinates(const LevelSampling& level, const TextureStage& stage,
                                                        int32_t cu, int32_t cv, Filter filter, bool& keyed) {
  if (level.maskU >= 0 && level.maskV >= 0) {
    const int mu = level.maskU, mv = level.maskV, shift = level.shift;
    return Filtered(
        level, [=](int u, int v) { return size_t(((v & mv) << shift) + (u & mu)); }, cu, cv, filter, keyed);
  }
  const int width = level.width, height = level.height;
  const Address modeU = stage.addressU, modeV = stage.addressV;
  return Filtered(
      level,
      [=](int u, int v) {
        return size_t(AddressTexel(v, height, modeV)) * size_t(width) + size_t(AddressTexel(u, width, modeU));
      },
      cu, cv, filter, keyed);
}

// A level sampled at texture coordinates (u, v), as FilterLevel does; keyed when the texel where
// point sampling looks is.
[[gnu::always_inline]] inline __m128i SampleAt(const LevelSampling& level, const TextureStage& stage, float u, float v,
                                               Filter filter, bool& keyed) {
  return SampleCoordinates(level, stage, TexelCoordinate(u, level.width), TexelCoordinate(v, level.height), filter,
                           keyed);
}

// The reference's sampling at a level of detail (NaN and 0 or less: magnification): the level or
// the two levels, the mix between them and the filter.
inline __m128i SampleAtDetail(const TextureStage& stage, const StageSampling& sampling, float lod, float u, float v,
                              bool& keyed) {
  const LevelChoice choice = ChooseLevels(stage.mipFilter, sampling.first, sampling.last, lod);
  const Filter filter = choice.minified ? stage.minFilter : stage.magFilter;
  __m128i texel = SampleAt(sampling.levels[choice.level], stage, u, v, filter, keyed);
  if (choice.nextLevel != choice.level && choice.mix > 0) {
    bool unused = false;
    texel = Mix(texel, SampleAt(sampling.levels[choice.nextLevel], stage, u, v, filter, unused), choice.mix);
  }
  return texel;
}

// The level of detail at a pixel: log2 of the larger texel step across x or y, plus the bias.
inline float LevelOfDetail(const TextureStage& stage, const StageSampling& sampling, const Planes& p, float w, float u,
                           float v) {
  const int uIndex = kU0 + 2 * stage.coordinateSet, vIndex = uIndex + 1;
  const float width = static_cast<float>(sampling.levels[0].width),
              height = static_cast<float>(sampling.levels[0].height);
  const float dudx = (p.dx[uIndex] - u * p.dx[kQ]) * w * width;
  const float dvdx = (p.dx[vIndex] - v * p.dx[kQ]) * w * height;
  const float dudy = (p.dy[uIndex] - u * p.dy[kQ]) * w * width;
  const float dvdy = (p.dy[vIndex] - v * p.dy[kQ]) * w * height;
  const float rho = std::max(dudx * dudx + dvdx * dvdx, dudy * dudy + dvdy * dvdy);
  return 0.5f * std::log2(rho) + stage.lodBias;
}

// A stage sampled the reference's way at texture coordinates (u, v), with the level and filter
// chosen per pixel by the level of detail when the stage asks for that.
__m128i SampleStage(const TextureStage& stage, const StageSampling& sampling, const Planes& p, float w, float u,
                    float v, bool& keyed) {
  const float lod = sampling.lod ? LevelOfDetail(stage, sampling, p, w, u, v) : 0.0f;
  return SampleAtDetail(stage, sampling, lod, u, v, keyed);
}

// ---- texture operations -------------------------------------------------------------------------

struct Inputs {
  __m128i diffuse, current, texel, factor, specular;
};

inline __m128i Argument(const TextureArg& arg, const Inputs& in) {
  __m128i v = in.current;
  switch (arg.source) {
    case ArgSource::Diffuse: v = in.diffuse; break;
    case ArgSource::Current: v = in.current; break;
    case ArgSource::Texture: v = in.texel; break;
    case ArgSource::Factor: v = in.factor; break;
    case ArgSource::Specular: v = in.specular; break;
  }
  if (arg.complement) v = _mm_xor_si128(v, Splat(255));
  if (arg.alphaReplicate) v = BroadcastAlpha(v);
  return v;
}

// Operate, channel by channel.
inline __m128i Operate(TextureOp op, __m128i x, __m128i y, const Inputs& in) {
  const auto blend = [&](__m128i alpha) {
    return Div255(_mm_add_epi32(MulAdd(x, y, alpha, _mm_sub_epi32(Splat(255), alpha)), Splat(127)));
  };
  switch (op) {
    case TextureOp::Disable:
    case TextureOp::SelectArg1: return x;
    case TextureOp::SelectArg2: return y;
    case TextureOp::Modulate: return Mul8(x, y);
    case TextureOp::Modulate2x: return Min255(_mm_slli_epi32(Mul8(x, y), 1));
    case TextureOp::Modulate4x: return Min255(_mm_slli_epi32(Mul8(x, y), 2));
    case TextureOp::Add: return Min255(_mm_add_epi32(x, y));
    case TextureOp::AddSigned: {
      const __m128i v = _mm_sub_epi32(_mm_add_epi32(x, y), Splat(128));
      return Min255(_mm_max_epi16(v, _mm_setzero_si128()));  // -128..382 in the low words
    }
    case TextureOp::Subtract: {
      const __m128i v = _mm_sub_epi32(x, y);
      return _mm_andnot_si128(_mm_srai_epi32(v, 31), v);
    }
    case TextureOp::BlendDiffuseAlpha: return blend(BroadcastAlpha(in.diffuse));
    case TextureOp::BlendTextureAlpha: return blend(BroadcastAlpha(in.texel));
    case TextureOp::BlendCurrentAlpha: return blend(BroadcastAlpha(in.current));
  }
  return x;
}

inline __m128i EvaluateStage(const TextureStage& stage, const Inputs& in) {
  const __m128i colour = Operate(stage.colourOp, Argument(stage.colourArg1, in), Argument(stage.colourArg2, in), in);
  __m128i alpha = in.current;
  if (stage.alphaOp != TextureOp::Disable) {
    alpha = Operate(stage.alphaOp, Argument(stage.alphaArg1, in), Argument(stage.alphaArg2, in), in);
  }
  return WithAlpha(colour, alpha);
}

// ---- fog and blending ---------------------------------------------------------------------------

// ApplyFog: the colour channels towards the fog colour, alpha kept.
inline __m128i Fogged(__m128i c, __m128i fogColour, int factor) {
  const __m128i mixed = Div255(_mm_add_epi32(MulAdd(c, fogColour, Splat(factor), Splat(255 - factor)), Splat(127)));
  return WithAlpha(mixed, c);
}

[[gnu::always_inline]] inline __m128i BlendFactorOf(BlendFactor factor, __m128i src, __m128i dst) {
  const __m128i full = Splat(255);
  switch (factor) {
    case BlendFactor::Zero: return _mm_setzero_si128();
    case BlendFactor::One: return full;
    case BlendFactor::SrcColour: return src;
    case BlendFactor::InvSrcColour: return _mm_sub_epi32(full, src);
    case BlendFactor::SrcAlpha:
    case BlendFactor::BothSrcAlpha: return BroadcastAlpha(src);
    case BlendFactor::InvSrcAlpha:
    case BlendFactor::BothInvSrcAlpha: return _mm_sub_epi32(full, BroadcastAlpha(src));
    case BlendFactor::DestAlpha: return BroadcastAlpha(dst);
    case BlendFactor::InvDestAlpha: return _mm_sub_epi32(full, BroadcastAlpha(dst));
    case BlendFactor::DestColour: return dst;
    case BlendFactor::InvDestColour: return _mm_sub_epi32(full, dst);
    case BlendFactor::SrcAlphaSat:
      return WithAlpha(_mm_min_epi16(BroadcastAlpha(src), _mm_sub_epi32(full, BroadcastAlpha(dst))), full);
  }
  return _mm_setzero_si128();
}

// BlendPixel: every channel, alpha too.
[[gnu::always_inline]] inline __m128i Blended(BlendFactor sourceFactor, BlendFactor destFactor, __m128i src,
                                              __m128i dst) {
  __m128i sourceWeight, destWeight;
  if (sourceFactor == BlendFactor::SrcAlpha && destFactor == BlendFactor::InvSrcAlpha) {
    sourceWeight = BroadcastAlpha(src);  // the usual pair, without the general choice
    destWeight = _mm_sub_epi32(Splat(255), sourceWeight);
  } else {
    sourceWeight = BlendFactorOf(sourceFactor, src, dst);
    destWeight = BlendFactorOf(destFactor, src, dst);
  }
  return Min255(Div255(_mm_add_epi32(MulAdd(src, dst, sourceWeight, destWeight), Splat(127))));
}

// ---- pixels in a target -------------------------------------------------------------------------

template <ColourFormat kColour>
inline __m128i LoadPixel(const uint8_t* at) {
  if constexpr (kColour == ColourFormat::Xrgb8888 || kColour == ColourFormat::Argb8888) {
    uint32_t p;
    std::memcpy(&p, at, 4);
    return Unpack(kColour == ColourFormat::Xrgb8888 ? (p | 0xFF000000u) : p);
  } else {
    return Unpack(LoadColour(at, kColour));
  }
}

template <ColourFormat kColour>
inline void StorePixel(uint8_t* at, __m128i c) {
  const uint32_t argb = Pack(c);
  if constexpr (kColour == ColourFormat::Xrgb8888) {
    const uint32_t p = argb & 0x00FFFFFFu;
    std::memcpy(at, &p, 4);
  } else if constexpr (kColour == ColourFormat::Argb8888) {
    std::memcpy(at, &argb, 4);
  } else {
    StoreColour(at, kColour, argb);
  }
}

// ---- what a span reads of the state, once per primitive -----------------------------------------

struct SpanConstants {
  const PixelState* s;
  const DrawState* state;
  const TextureStage* stage0;
  const StageSampling* sampling0;
  int stageCount;
  StageMode mode0;
  // Stage 0's level when it is not chosen per pixel.
  const uint32_t* texels = nullptr;
  float scaleU = 0.0f, scaleV = 0.0f;
  int widthShift = 0;
  bool masked = false;  // wrapped power-of-two sizes: texels found by masks
  V4i maskU, maskV;
  bool keyTest, vertexFog, tableFog, wantSpecular;
  __m128i fogColour, factor;
  int u0Index, u1Index;
  __m128 a0Colour, dyColour, dxColour;
  __m128 a0Specular, dySpecular, dxSpecular;  // the fourth lanes are fog's, replaced
  double depthScale;
  BlendFactor sourceFactor, destFactor;
};

template <Sampling kSampling>
[[gnu::always_inline]] inline SpanConstants MakeSpanConstants(const DrawState& state, const Planes& p) {
  const PixelState& s = state.pixel;
  SpanConstants c;
  c.s = &s;
  c.state = &state;
  c.stage0 = &s.stages[0];
  c.sampling0 = &state.stages[0];
  c.stageCount = s.stageCount;
  c.mode0 = state.stage0;
  if constexpr (kSampling == Sampling::Point || kSampling == Sampling::Linear) {
    const TextureLevel* level0 = c.sampling0->level;
    c.scaleU = static_cast<float>(level0->width);
    c.scaleV = static_cast<float>(level0->height);
    c.texels = level0->texels.data();
    c.masked = c.sampling0->maskU >= 0 && c.sampling0->maskV >= 0;
    c.widthShift = std::countr_zero(static_cast<unsigned>(level0->width));
  }
  c.maskU = V4i{} + c.sampling0->maskU;
  c.maskV = V4i{} + c.sampling0->maskV;
  c.keyTest = s.colourKey;
  c.vertexFog = s.fog && s.tableFog == FogMode::None;
  c.tableFog = s.fog && s.tableFog != FogMode::None;
  c.wantSpecular = (state.attributes & (1u << kSR)) != 0;
  c.fogColour = Unpack(s.fogColour);
  c.factor = Unpack(s.textureFactor);
  c.u0Index = kU0 + 2 * c.stage0->coordinateSet;
  c.u1Index = kU0 + 2 * s.stages[1].coordinateSet;
  c.a0Colour = _mm_loadu_ps(&p.a0[kB]);
  c.dyColour = _mm_loadu_ps(&p.dy[kB]);
  c.dxColour = _mm_loadu_ps(&p.dx[kB]);
  c.a0Specular = _mm_loadu_ps(&p.a0[kSB]);
  c.dySpecular = _mm_loadu_ps(&p.dy[kSB]);
  c.dxSpecular = _mm_loadu_ps(&p.dx[kSB]);
  c.depthScale = state.depthScale;
  c.sourceFactor = s.sourceBlend;
  c.destFactor = s.destBlend;
  // The "both" factors name the destination's factor too.
  if (c.sourceFactor == BlendFactor::BothSrcAlpha) c.destFactor = BlendFactor::InvSrcAlpha;
  if (c.sourceFactor == BlendFactor::BothInvSrcAlpha) c.destFactor = BlendFactor::SrcAlpha;
  return c;
}

// ---- four pixels of a group side by side --------------------------------------------------------

// The texels of a bilinear sample, by index into a level, with its weights as MulAdd takes them.
struct BilinearTaps {
  alignas(16) int32_t t00[4], t10[4], t01[4], t11[4];
  alignas(16) int32_t wu[4], wv[4];
};

// The levels, their mix and the filter chosen per pixel, and the texel coordinates in both levels.
struct LevelLanes {
  alignas(16) int32_t near[4], far[4], mix[4], minified[4];
  alignas(16) int32_t nearU[4], nearV[4], farU[4], farV[4];
};

// What the pixels of a group share, worked out four at a time.
struct GroupLanes {
  V4f fx, fy;  // pixel centres from the planes' origin
  V4f w;
  V4i depth{};
  V4i cu{}, cv{};  // stage 0's texel coordinates at its one level
  BilinearTaps taps;
  LevelLanes levels;
  V4i fog{};
};

// The attribute at each pixel as the reference makes it: the row's value, then the step along it.
[[gnu::always_inline]] inline V4f AttributeAt(const Planes& p, int i, const GroupLanes& g) {
  return (p.a0[i] + p.dy[i] * g.fy) + p.dx[i] * g.fx;
}

// The lanes that pass the depth test, with their depth values.
template <DepthFormat kDepth>
[[gnu::always_inline]] inline unsigned DepthPasses(const SpanTarget& target, const SpanConstants& c,
                                                   const PixelGroup& g, V4f z, V4i& depth) {
  V4i stored{};
  const auto depthAt = [&](int i) { return target.depth + g.y[i] * target.depthPitch + g.x[i] * DepthBytes(kDepth); };
  if constexpr (kDepth == DepthFormat::D32) {
    for (int i = 0; i < g.count; ++i) {
      depth[i] = static_cast<int32_t>(DepthValue(z[i], c.depthScale));
      stored[i] = static_cast<int32_t>(LoadDepth(depthAt(i), kDepth));
    }
    // Unsigned order by the sign bit flipped.
    const V4i flip = V4i{} + INT32_MIN;
    return static_cast<unsigned>(
        _mm_movemask_ps(reinterpret_cast<__m128>(Compared(c.s->depthCompare, depth ^ flip, stored ^ flip))));
  } else {
    depth = DepthValues(z, c.depthScale);
    if (g.run) {
      const uint8_t* at = depthAt(0);
      if constexpr (kDepth == DepthFormat::D16) {
        stored = reinterpret_cast<V4i>(
            _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at)), _mm_setzero_si128()));
      } else {
        stored = reinterpret_cast<V4i>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at))) & 0x00FFFFFF;
      }
    } else {
      for (int i = 0; i < g.count; ++i) stored[i] = static_cast<int32_t>(LoadDepth(depthAt(i), kDepth));
    }
    return static_cast<unsigned>(_mm_movemask_ps(reinterpret_cast<__m128>(Compared(c.s->depthCompare, depth, stored))));
  }
}

// Stage 0's texel coordinates at its one level, and where the level wraps power-of-two sizes,
// every texel's index.
template <Sampling kSampling>
[[gnu::always_inline]] inline void LevelCoordinates(const SpanConstants& c, V4f u, V4f v, GroupLanes& lanes) {
  // As TexelCoordinate: (u * size) * 256.
  lanes.cu = FloorToInts(u * c.scaleU * 256.0f);
  lanes.cv = FloorToInts(v * c.scaleV * 256.0f);
  if (!c.masked) return;
  BilinearTaps& taps = lanes.taps;
  if constexpr (kSampling == Sampling::Linear) {
    const V4i lu = lanes.cu - 128, lv = lanes.cv - 128;
    const V4i iu = lu >> 8, iv = lv >> 8, fu = lu & 255, fv = lv & 255;
    const V4i u0 = iu & c.maskU, u1 = (iu + 1) & c.maskU;
    const V4i r0 = (iv & c.maskV) << c.widthShift, r1 = ((iv + 1) & c.maskV) << c.widthShift;
    const V4i t00 = r0 + u0, t10 = r0 + u1, t01 = r1 + u0, t11 = r1 + u1;
    const V4i wu = (256 - fu) | (fu << 16), wv = (256 - fv) | (fv << 16);
    std::memcpy(taps.t00, &t00, 16);
    std::memcpy(taps.t10, &t10, 16);
    std::memcpy(taps.t01, &t01, 16);
    std::memcpy(taps.t11, &t11, 16);
    std::memcpy(taps.wu, &wu, 16);
    std::memcpy(taps.wv, &wv, 16);
  } else {
    const V4i t = (((lanes.cv >> 8) & c.maskV) << c.widthShift) + ((lanes.cu >> 8) & c.maskU);
    std::memcpy(taps.t00, &t, 16);
  }
}

// Stage 0's level of detail per pixel: the levels, their mix and the filter chosen as
// SampleAtDetail chooses them, and the texel coordinates in both levels.
[[gnu::always_inline]] inline void LevelsOfDetail(const SpanConstants& c, const Planes& p, V4f u4, V4f v4,
                                                  unsigned pass, int count, GroupLanes& lanes) {
  const StageSampling& sampling0 = *c.sampling0;
  const int uIndex = c.u0Index, vIndex = uIndex + 1;
  const V4f w4 = lanes.w;
  const float width = static_cast<float>(sampling0.levels[0].width);
  const float height = static_cast<float>(sampling0.levels[0].height);
  const V4f dudx = (p.dx[uIndex] - u4 * p.dx[kQ]) * w4 * width;
  const V4f dvdx = (p.dx[vIndex] - v4 * p.dx[kQ]) * w4 * height;
  const V4f dudy = (p.dy[uIndex] - u4 * p.dy[kQ]) * w4 * width;
  const V4f dvdy = (p.dy[vIndex] - v4 * p.dy[kQ]) * w4 * height;
  const V4f across = dudx * dudx + dvdx * dvdx, down = dudy * dudy + dvdy * dvdy;
  const V4f rho = across < down ? down : across;  // std::max's choice, NaN too
  V4f lod{};
  for (int i = 0; i < count; ++i) {
    if (pass & (1u << i)) lod[i] = 0.5f * std::log2(rho[i]) + c.stage0->lodBias;
  }
  const V4i first = V4i{} + sampling0.first, last = V4i{} + sampling0.last;
  const auto clamp = [&](V4i l) { return l < first ? first : (l > last ? last : l); };
  const V4i minified = lod > 0.0f;
  V4i nearLevel = first, farLevel = first, mix{};
  if (c.stage0->mipFilter == MipFilter::Point) {
    nearLevel = clamp(FloorToInts(lod + 0.5f));
    farLevel = nearLevel;
  } else if (c.stage0->mipFilter == MipFilter::Linear) {
    const V4i whole = FloorToInts(lod);
    mix = FloorToInts((lod - __builtin_convertvector(whole, V4f)) * 256.0f);
    nearLevel = clamp(whole);
    farLevel = clamp(whole + 1);
  }
  nearLevel = minified ? nearLevel : first;
  farLevel = minified ? farLevel : first;
  mix = minified ? mix : V4i{};
  LevelLanes& out = lanes.levels;
  std::memcpy(out.near, &nearLevel, 16);
  std::memcpy(out.far, &farLevel, 16);
  std::memcpy(out.mix, &mix, 16);
  std::memcpy(out.minified, &minified, 16);
  // As TexelCoordinate in each lane's levels: (u * size) * 256.
  V4f nearWidth, nearHeight, farWidth, farHeight;
  for (int i = 0; i < 4; ++i) {
    nearWidth[i] = static_cast<float>(sampling0.levels[out.near[i]].width);
    nearHeight[i] = static_cast<float>(sampling0.levels[out.near[i]].height);
    farWidth[i] = static_cast<float>(sampling0.levels[out.far[i]].width);
    farHeight[i] = static_cast<float>(sampling0.levels[out.far[i]].height);
  }
  const V4i nu = FloorToInts(u4 * nearWidth * 256.0f), nv = FloorToInts(v4 * nearHeight * 256.0f);
  const V4i fu = FloorToInts(u4 * farWidth * 256.0f), fv = FloorToInts(v4 * farHeight * 256.0f);
  std::memcpy(out.nearU, &nu, 16);
  std::memcpy(out.nearV, &nv, 16);
  std::memcpy(out.farU, &fu, 16);
  std::memcpy(out.farV, &fv, 16);
}

// ---- one pixel of a group -----------------------------------------------------------------------

// The lane's place and 1/q, splatted for the channel-wise steps.
struct PixelAt {
  float fx, fy, w;
  __m128 fxv, fyv, wv;
};

// An interpolated colour (a0, dx, dy of four channels) at the pixel, as bytes.
[[gnu::always_inline]] inline __m128i ColourAt(__m128 a0, __m128 dy, __m128 dx, const PixelAt& at) {
  return ChannelBytes(_mm_mul_ps(_mm_add_ps(_mm_add_ps(a0, _mm_mul_ps(dy, at.fyv)), _mm_mul_ps(dx, at.fxv)), at.wv));
}

// Stage 0's texel at lane i; keyed when the texel where point sampling looks is (tested here only
// by the general span, and for the level's masks).
template <Sampling kSampling, bool kSimple>
[[gnu::always_inline]] inline __m128i FetchTexel(const SpanConstants& c, const GroupLanes& lanes, int i, bool& keyed) {
  const StageSampling& sampling0 = *c.sampling0;
  if constexpr (kSampling == Sampling::Point || kSampling == Sampling::Linear) {
    __m128i texel;
    if (c.masked) {
      const BilinearTaps& taps = lanes.taps;
      if constexpr (kSampling == Sampling::Linear) {
        texel = Bilinear(c.texels[taps.t00[i]], c.texels[taps.t10[i]], c.texels[taps.t01[i]], c.texels[taps.t11[i]],
                         Splat(taps.wu[i]), Splat(taps.wv[i]));
      } else {
        texel = Unpack(c.texels[taps.t00[i]]);
      }
    } else {
      texel = SampleCoordinates(sampling0.levels[sampling0.first], *c.stage0, lanes.cu[i], lanes.cv[i],
                                kSampling == Sampling::Point ? Filter::Point : Filter::Linear, keyed);
    }
    if (!kSimple && c.keyTest && c.masked) {
      const LevelSampling& l = sampling0.levels[sampling0.first];
      keyed = l.keyed && l.keyed[(((lanes.cv[i] >> 8) & l.maskV) << l.shift) + ((lanes.cu[i] >> 8) & l.maskU)] != 0;
    }
    return texel;
  } else if constexpr (kSampling == Sampling::Lod) {
    const LevelLanes& l = lanes.levels;
    const Filter filter = l.minified[i] ? c.stage0->minFilter : c.stage0->magFilter;
    __m128i texel = SampleCoordinates(sampling0.levels[l.near[i]], *c.stage0, l.nearU[i], l.nearV[i], filter, keyed);
    if (l.far[i] != l.near[i] && l.mix[i] > 0) {
      bool unused = false;
      texel = Mix(texel, SampleCoordinates(sampling0.levels[l.far[i]], *c.stage0, l.farU[i], l.farV[i], filter, unused),
                  l.mix[i]);
    }
    return texel;
  } else {
    return Splat(255);
  }
}

// The texture modulating the diffuse colour, alpha the texture's.
inline __m128i Modulated(__m128i texel, __m128i diffuse) { return WithAlpha(Mul8(texel, diffuse), texel); }

// The colour of the simple span: one stage at most, modulating or selecting its texture.
[[gnu::always_inline]] inline __m128i ShadeSimple(const SpanConstants& c, __m128i diffuse, __m128i texel) {
  if (c.stageCount == 0) return diffuse;
  return c.mode0 == StageMode::ModulateTexture ? Modulated(texel, diffuse) : texel;
}

// The texture stages, the second sampled here; a keyed texel there marks the pixel too.
[[gnu::always_inline]] inline __m128i ShadeStages(const SpanConstants& c, const Planes& p, const PixelAt& at,
                                                  Inputs& in, bool& keyed) {
  if (c.stageCount == 0) return in.current;
  switch (c.mode0) {
    case StageMode::ModulateTexture: in.current = Modulated(in.texel, in.diffuse); break;
    case StageMode::SelectTexture: in.current = in.texel; break;
    case StageMode::SelectDiffuse: break;
    case StageMode::General: in.current = EvaluateStage(*c.stage0, in); break;
  }
  if (c.stageCount > 1) {
    in.texel = Splat(255);
    if (c.state->stages[1].read) {
      const int u1 = c.u1Index;
      const float rowU = p.a0[u1] + p.dy[u1] * at.fy;
      const float rowV = p.a0[u1 + 1] + p.dy[u1 + 1] * at.fy;
      const float u = (rowU + p.dx[u1] * at.fx) * at.w;
      const float v = (rowV + p.dx[u1 + 1] * at.fx) * at.w;
      in.texel = SampleStage(c.s->stages[1], c.state->stages[1], p, at.w, u, v, keyed);
    }
    in.current = EvaluateStage(c.s->stages[1], in);
  }
  return in.current;
}

// The colour of the general span: the stages, colour key, specular, alpha test and fog; false
// where the pixel is left alone.
[[gnu::always_inline]] inline bool ShadeGeneral(const SpanConstants& c, const Planes& p, const PixelAt& at,
                                                __m128i diffuse, __m128i texel, bool keyed, int vertexFog,
                                                __m128i& colour) {
  const PixelState& s = *c.s;
  Inputs in;
  in.diffuse = diffuse;
  in.current = diffuse;
  in.factor = c.factor;
  in.texel = texel;
  in.specular = _mm_and_si128(Splat(255), AlphaLane());
  if (c.wantSpecular) in.specular = WithAlpha(ColourAt(c.a0Specular, c.dySpecular, c.dxSpecular, at), Splat(255));
  colour = ShadeStages(c, p, at, in, keyed);
  if (c.keyTest && keyed) return false;
  if (s.specular) colour = Min255(_mm_add_epi32(colour, _mm_andnot_si128(AlphaLane(), in.specular)));
  if (s.alphaTest &&
      !Passes(s.alphaCompare, uint32_t(_mm_cvtsi128_si32(_mm_shuffle_epi32(colour, 0xFF))), s.alphaReference)) {
    return false;
  }
  if (c.vertexFog) colour = Fogged(colour, c.fogColour, vertexFog);
  if (c.tableFog) colour = Fogged(colour, c.fogColour, int(TableFogFactor(s, at.w)));
  return true;
}

// Lane i of a group that passed the depth test: shaded, blended and written with its depth.
template <ColourFormat kColour, DepthFormat kDepth, Sampling kSampling, bool kSimple>
[[gnu::always_inline]] inline void FillPixel(const SpanTarget& target, const SpanConstants& c, const Planes& p,
                                             const PixelGroup& g, const GroupLanes& lanes, int i) {
  PixelAt at;
  at.fx = lanes.fx[i];
  at.fy = lanes.fy[i];
  at.w = lanes.w[i];
  at.fxv = _mm_set1_ps(at.fx);
  at.fyv = _mm_set1_ps(at.fy);
  at.wv = _mm_set1_ps(at.w);
  const __m128i diffuse = ColourAt(c.a0Colour, c.dyColour, c.dxColour, at);
  bool keyed = false;
  const __m128i texel = FetchTexel<kSampling, kSimple>(c, lanes, i, keyed);
  __m128i colour;
  if constexpr (kSimple) {
    colour = ShadeSimple(c, diffuse, texel);
  } else {
    if (!ShadeGeneral(c, p, at, diffuse, texel, keyed, lanes.fog[i], colour)) return;
  }
  uint8_t* const pixel = target.colour + g.y[i] * target.colourPitch + g.x[i] * ColourBytes(kColour);
  if (c.s->blend) colour = Blended(c.sourceFactor, c.destFactor, colour, LoadPixel<kColour>(pixel));
  StorePixel<kColour>(pixel, colour);
  if constexpr (kDepth != DepthFormat::None) {
    if (c.s->depthWrite) {
      StoreDepth(target.depth + g.y[i] * target.depthPitch + g.x[i] * DepthBytes(kDepth), kDepth,
                 uint32_t(lanes.depth[i]));
    }
  }
}

// ---- the span -----------------------------------------------------------------------------------

// kSimple: one stage at most that modulates or selects its texture, no colour key test,
// specular, alpha test or fog.
template <ColourFormat kColour, DepthFormat kDepth, Sampling kSampling, bool kSimple>
void FastSpan(const SpanTarget& target, const DrawState& state, const Planes& p, const PixelGroup* groups, int count) {
  const SpanConstants c = MakeSpanConstants<kSampling>(state, p);
  for (const PixelGroup* g = groups; g != groups + count; ++g) {
    GroupLanes lanes;
    V4i xs, ys;
    std::memcpy(&xs, g->x, sizeof xs);
    std::memcpy(&ys, g->y, sizeof ys);
    lanes.fx = __builtin_convertvector(xs, V4f) - p.ox;
    lanes.fy = __builtin_convertvector(ys, V4f) - p.oy;
    unsigned pass = (1u << g->count) - 1;
    if constexpr (kDepth != DepthFormat::None) {
      pass &= DepthPasses<kDepth>(target, c, *g, AttributeAt(p, kZ, lanes), lanes.depth);
      if (!pass) continue;
    }
    lanes.w = 1.0f / AttributeAt(p, kQ, lanes);
    if constexpr (kSampling != Sampling::None) {
      const V4f u = AttributeAt(p, c.u0Index, lanes) * lanes.w, v = AttributeAt(p, c.u0Index + 1, lanes) * lanes.w;
      if constexpr (kSampling == Sampling::Lod) {
        LevelsOfDetail(c, p, u, v, pass, g->count, lanes);
      } else {
        LevelCoordinates<kSampling>(c, u, v, lanes);
      }
    }
    if (!kSimple && c.vertexFog) lanes.fog = ToBytes(AttributeAt(p, kFog, lanes) * lanes.w);
    for (int i = 0; i < g->count; ++i) {
      if (pass & (1u << i)) FillPixel<kColour, kDepth, kSampling, kSimple>(target, c, p, *g, lanes, i);
    }
  }
}

// ---- the table ----------------------------------------------------------------------------------

constexpr ColourFormat kFormats[] = {ColourFormat::Rgb565, ColourFormat::Rgb555, ColourFormat::Rgb888,
                                     ColourFormat::Xrgb8888, ColourFormat::Argb8888};
constexpr DepthFormat kDepths[] = {DepthFormat::None, DepthFormat::D16, DepthFormat::D24, DepthFormat::D32};
constexpr size_t kSamplings = 4;

// [format][depth][sampling][simple]
using Table = std::array<std::array<std::array<std::array<GroupFunction, 2>, kSamplings>, std::size(kDepths)>,
                         std::size(kFormats)>;

template <size_t F, size_t D, size_t... S>
constexpr void FillSamplings(Table& t, std::index_sequence<S...>) {
  ((t[F][D][S][0] = &FastSpan<kFormats[F], kDepths[D], static_cast<Sampling>(S), false>), ...);
  ((t[F][D][S][1] = &FastSpan<kFormats[F], kDepths[D], static_cast<Sampling>(S), true>), ...);
}

template <size_t F, size_t... D>
constexpr void FillDepths(Table& t, std::index_sequence<D...>) {
  (FillSamplings<F, D>(t, std::make_index_sequence<kSamplings>{}), ...);
}

template <size_t... F>
constexpr Table MakeTable(std::index_sequence<F...>) {
  Table t{};
  (FillDepths<F>(t, std::make_index_sequence<std::size(kDepths)>{}), ...);
  return t;
}

constexpr Table kTable = MakeTable(std::make_index_sequence<std::size(kFormats)>{});

bool Plain(const TextureArg& a) { return !a.complement && !a.alphaReplicate; }
bool IsDiffuse(const TextureArg& a) {
  return Plain(a) && (a.source == ArgSource::Diffuse || a.source == ArgSource::Current);
}
bool IsTexture(const TextureArg& a) { return Plain(a) && a.source == ArgSource::Texture; }
bool ReadsTexture(const TextureStage& stage) {
  return stage.colourArg1.source == ArgSource::Texture || stage.colourArg2.source == ArgSource::Texture ||
         stage.alphaArg1.source == ArgSource::Texture || stage.alphaArg2.source == ArgSource::Texture ||
         stage.colourOp == TextureOp::BlendTextureAlpha || stage.alphaOp == TextureOp::BlendTextureAlpha;
}
bool ReadsSpecular(const TextureStage& stage) {
  return stage.colourArg1.source == ArgSource::Specular || stage.colourArg2.source == ArgSource::Specular ||
         stage.alphaArg1.source == ArgSource::Specular || stage.alphaArg2.source == ArgSource::Specular;
}

// Stage 0's colour by the usual operations, with the alpha the stage leaves.
StageMode ModeOf(const TextureStage& stage) {
  const bool alphaFromTexture = stage.alphaOp == TextureOp::SelectArg1 && IsTexture(stage.alphaArg1);
  if (!alphaFromTexture) return StageMode::General;
  if (stage.colourOp == TextureOp::Modulate && ((IsTexture(stage.colourArg1) && IsDiffuse(stage.colourArg2)) ||
                                                (IsDiffuse(stage.colourArg1) && IsTexture(stage.colourArg2)))) {
    return StageMode::ModulateTexture;
  }
  if ((stage.colourOp == TextureOp::SelectArg1 && IsTexture(stage.colourArg1)) ||
      (stage.colourOp == TextureOp::SelectArg2 && IsTexture(stage.colourArg2))) {
    return StageMode::SelectTexture;
  }
  return StageMode::General;
}

// A stage's texture as the spans sample it: its levels and the one used when the level is not
// chosen per pixel.
void PrepareStageSampling(const PixelState& s, const TextureStage& stage, StageSampling& sampling) {
  const Texture* texture = stage.texture.get();
  if (!texture || texture->levels.empty()) return;
  sampling.texture = texture;
  sampling.last = std::min(static_cast<int>(texture->levels.size()), kMaxLevels) - 1;
  sampling.first = std::clamp(stage.firstLevel, 0, sampling.last);
  sampling.level = &texture->levels[size_t(sampling.first)];
  sampling.maskU = WrapMask(sampling.level->width, stage.addressU);
  sampling.maskV = WrapMask(sampling.level->height, stage.addressV);
  for (int l = 0; l <= sampling.last; ++l) {
    const TextureLevel& level = texture->levels[size_t(l)];
    LevelSampling& out = sampling.levels[l];
    out.texels = level.texels.data();
    out.keyed = level.keyed.empty() ? nullptr : level.keyed.data();
    out.width = level.width;
    out.height = level.height;
    out.maskU = WrapMask(level.width, stage.addressU);
    out.maskV = WrapMask(level.height, stage.addressV);
    out.shift = out.maskU >= 0 ? std::countr_zero(static_cast<unsigned>(level.width)) : 0;
  }
  // A stage samples its texture even when its operations ignore it: a keyed texel there still
  // leaves the pixel alone.
  sampling.read = ReadsTexture(stage) || (s.colourKey && texture->colourKeyed);
  sampling.lod =
      stage.minFilter != stage.magFilter || (stage.mipFilter != MipFilter::None && texture->levels.size() > 1);
}

// The specialised span for the state, and how it computes stage 0.
GroupFunction PickSpan(DrawState& state) {
  const PixelState& s = state.pixel;
  size_t format = 0;
  while (kFormats[format] != s.colourFormat) ++format;
  size_t depth = 0;
  if (s.depthTest && s.depthFormat != DepthFormat::None) {
    while (kDepths[depth] != s.depthFormat) ++depth;
  }
  Sampling sampling = Sampling::None;
  if (s.stageCount > 0 && state.stages[0].read) {
    sampling = state.stages[0].lod                      ? Sampling::Lod
               : s.stages[0].magFilter == Filter::Point ? Sampling::Point
                                                        : Sampling::Linear;
  }
  state.stage0 = s.stageCount > 0 ? ModeOf(s.stages[0]) : StageMode::SelectDiffuse;
  if (state.stage0 != StageMode::General && sampling == Sampling::None && state.stage0 != StageMode::SelectDiffuse) {
    state.stage0 = StageMode::General;  // white texel: the general operations read it
  }
  bool keyedTexture = false;
  for (int i = 0; i < s.stageCount; ++i)
    keyedTexture = keyedTexture || (state.stages[i].texture && state.stages[i].texture->colourKeyed);
  const bool simple =
      s.stageCount <= 1 &&
      (s.stageCount == 0 || state.stage0 == StageMode::ModulateTexture || state.stage0 == StageMode::SelectTexture) &&
      !(s.colourKey && keyedTexture) && !s.specular && !s.alphaTest && !s.fog;
  return kTable[format][depth][size_t(sampling)][simple ? 1 : 0];
}

// The attributes the specialised span reads.
uint32_t UsedAttributes(const DrawState& state) {
  const PixelState& s = state.pixel;
  uint32_t used = 1u << kZ | 1u << kQ | 1u << kR | 1u << kG | 1u << kB | 1u << kA;
  bool specular = s.specular;
  for (int i = 0; i < s.stageCount; ++i) {
    const int u = kU0 + 2 * s.stages[i].coordinateSet;
    if (state.stages[i].read) used |= 1u << u | 1u << (u + 1);
    specular = specular || ReadsSpecular(s.stages[i]);
  }
  if (specular) used |= 1u << kSR | 1u << kSG | 1u << kSB;
  if (s.fog && s.tableFog == FogMode::None) used |= 1u << kFog;
  return used;
}

}  // namespace

void PrepareSpan(DrawState& state, bool reference) {
  const PixelState& s = state.pixel;
  for (int i = 0; i < s.stageCount; ++i) PrepareStageSampling(s, s.stages[i], state.stages[i]);
  state.fill = reference ? nullptr : PickSpan(state);
  state.attributes = reference ? ~0u : UsedAttributes(state);
  for (int i = 0; i < kPlaneFloats; ++i)
    state.planeMask[i] = i < kAttributeCount && (state.attributes >> i & 1u) ? ~0u : 0u;
}

}  // namespace vx::raster::detail
