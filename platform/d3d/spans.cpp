// The specialised spans and the table that picks one by state. Each is a template instance
// for one target format, depth format and texture mode; vertex fog, colour keys and blending by
// colours are checked inside, and a state outside every entry takes the reference span.
#include <array>

#include "platform/d3d/raster_internal.h"

namespace vx::raster::detail {
namespace {

enum class TexMode { None, Point, Linear };

// Texel addressing along one axis: a mask when wrapping a power-of-two size.
struct Axis {
  int size;
  int mask;
  Address mode;
  int operator()(int i) const { return mask >= 0 ? (i & mask) : AddressTexel(i, size, mode); }
};

using V4f = float __attribute__((vector_size(16)));
using V4i = int32_t __attribute__((vector_size(16)));

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

// Blend factors that read only colours: the factor of one channel.
inline uint32_t ColourFactor(BlendFactor factor, uint32_t source, uint32_t dest) {
  switch (factor) {
    case BlendFactor::One: return 255;
    case BlendFactor::SrcColour: return source;
    case BlendFactor::InvSrcColour: return 255 - source;
    case BlendFactor::DestColour: return dest;
    case BlendFactor::InvDestColour: return 255 - dest;
    default: return 0;
  }
}

inline bool ColourOnly(BlendFactor factor) {
  return factor == BlendFactor::Zero || factor == BlendFactor::One || factor == BlendFactor::SrcColour ||
         factor == BlendFactor::InvSrcColour || factor == BlendFactor::DestColour ||
         factor == BlendFactor::InvDestColour;
}

inline uint32_t BlendColours(BlendFactor sourceFactor, BlendFactor destFactor, uint32_t source, uint32_t dest) {
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t sc = Channel(source, shift), dc = Channel(dest, shift);
    const uint32_t v = (sc * ColourFactor(sourceFactor, sc, dc) + dc * ColourFactor(destFactor, sc, dc) + 127) / 255;
    out |= (v < 255 ? v : 255) << shift;
  }
  return out;
}

template <ColourFormat kColour, DepthFormat kDepth, TexMode kTex, bool kModulate>
void FastSpan(const SpanTarget& target, const DrawState& state, const Planes& p, const SpanRow* rows, int count) {
  const PixelState& s = state.pixel;
  constexpr int kColourBytes = ColourBytes(kColour);
  const TextureLevel* level = state.level;
  Axis axisU{}, axisV{};
  const uint32_t* texels = nullptr;
  int width = 0;
  if constexpr (kTex != TexMode::None) {
    width = level->width;
    texels = level->texels.data();
    axisU = {level->width, state.maskU, s.stages[0].addressU};
    axisV = {level->height, state.maskV, s.stages[0].addressV};
  }
  const int uIndex = kU0 + 2 * s.stages[0].coordinateSet;
  const Compare compare = s.depthCompare;
  const bool depthWrite = s.depthWrite;
  const double depthScale = state.depthScale;
  // Vertex fog, colour keys and colour-only blending are checked at run time.
  const bool fog = s.fog;
  const bool keyed = kTex != TexMode::None && s.colourKey && level && !level->keyed.empty();
  const bool blend = s.blend;

  for (const SpanRow* row = rows; row != rows + count; ++row) {
  const int y = row->y, x0 = row->x0, x1 = row->x1;
  const float fy = static_cast<float>(y) - p.oy;
  const auto rowOf = [&](int i) { return p.a0[i] + p.dy[i] * fy; };
  uint8_t* colourAt = target.colour + y * target.colourPitch + x0 * kColourBytes;
  uint8_t* depthAt = nullptr;
  if constexpr (kDepth != DepthFormat::None) depthAt = target.depth + y * target.depthPitch + x0 * DepthBytes(kDepth);
  const float rowZ = rowOf(kZ), rowQ = rowOf(kQ), rowR = rowOf(kR), rowG = rowOf(kG), rowB = rowOf(kB);
  const float rowU = rowOf(uIndex), rowV = rowOf(uIndex + 1);
  const float rowFog = rowOf(kFog);

  // Four pixels at a time: the float arithmetic of each lane is the scalar arithmetic of the
  // reference, done in vector registers; texels are fetched lane by lane.
  for (int x = x0; x < x1; x += 4) {
    const int lanes = x1 - x < 4 ? x1 - x : 4;
    const V4i xs = V4i{0, 1, 2, 3} + x;
    const V4f fx = __builtin_convertvector(xs, V4f) - p.ox;
    unsigned pass = (1u << lanes) - 1;
    uint32_t depth[4] = {};
    if constexpr (kDepth != DepthFormat::None) {
      const V4f z = rowZ + p.dx[kZ] * fx;
      for (int i = 0; i < lanes; ++i) {
        depth[i] = DepthValue(z[i], depthScale);
        if (!Passes(compare, depth[i], LoadDepth(depthAt + (x - x0 + i) * DepthBytes(kDepth), kDepth))) {
          pass &= ~(1u << i);
        }
      }
      if (!pass) continue;
    }
    const V4f w = 1.0f / (rowQ + p.dx[kQ] * fx);
    const V4i r = ToBytes((rowR + p.dx[kR] * fx) * w);
    const V4i g = ToBytes((rowG + p.dx[kG] * fx) * w);
    const V4i b = ToBytes((rowB + p.dx[kB] * fx) * w);
    V4i fogFactor{};
    if (fog) fogFactor = ToBytes((rowFog + p.dx[kFog] * fx) * w);
    V4i cu{}, cv{};
    if constexpr (kTex != TexMode::None) {
      // As TexelCoordinate: (u * size) * 256.
      cu = FloorToInts((rowU + p.dx[uIndex] * fx) * w * static_cast<float>(level->width) * 256.0f);
      cv = FloorToInts((rowV + p.dx[uIndex + 1] * fx) * w * static_cast<float>(level->height) * 256.0f);
    }
    for (int i = 0; i < lanes; ++i) {
      if (!(pass & (1u << i))) continue;
      if constexpr (kTex != TexMode::None) {
        // A keyed texel where point sampling would look leaves the pixel alone.
        if (keyed && level->keyed[static_cast<size_t>(axisV(cv[i] >> 8)) * width + axisU(cu[i] >> 8)]) continue;
      }
      if constexpr (kDepth != DepthFormat::None) {
        if (depthWrite) StoreDepth(depthAt + (x - x0 + i) * DepthBytes(kDepth), kDepth, depth[i]);
      }
      uint32_t colour = Argb(0, uint32_t(r[i]), uint32_t(g[i]), uint32_t(b[i]));
      if constexpr (kTex != TexMode::None) {
        uint32_t texel;
        if constexpr (kTex == TexMode::Point) {
          texel = texels[static_cast<size_t>(axisV(cv[i] >> 8)) * width + axisU(cu[i] >> 8)];
        } else {
          const int32_t lu = cu[i] - 128;
          const int32_t lv = cv[i] - 128;
          const int iu = lu >> 8;
          const int iv = lv >> 8;
          const uint32_t* row0 = texels + static_cast<size_t>(axisV(iv)) * width;
          const uint32_t* row1 = texels + static_cast<size_t>(axisV(iv + 1)) * width;
          const int u0 = axisU(iu);
          const int u1 = axisU(iu + 1);
          texel = BilinearPacked(row0[u0], row0[u1], row1[u0], row1[u1], static_cast<uint32_t>(lu & 255),
                                 static_cast<uint32_t>(lv & 255));
        }
        if constexpr (kModulate) {
          colour = Argb(0, Mul8(Channel(texel, 16), uint32_t(r[i])), Mul8(Channel(texel, 8), uint32_t(g[i])),
                        Mul8(Channel(texel, 0), uint32_t(b[i])));
        } else {
          colour = texel;
        }
      }
      uint8_t* const at = colourAt + (x - x0 + i) * kColourBytes;
      if (fog) colour = ApplyFog(colour, s.fogColour, uint32_t(fogFactor[i]));
      if (blend) colour = BlendColours(s.sourceBlend, s.destBlend, colour, LoadColour(at, kColour));
      StoreColour(at, kColour, colour);
    }
  }
  }
}

// ---- the table --------------------------------------------------------------------------------

constexpr ColourFormat kFormats[] = {ColourFormat::Rgb565, ColourFormat::Rgb555, ColourFormat::Rgb888,
                                     ColourFormat::Xrgb8888};
constexpr DepthFormat kDepths[] = {DepthFormat::None, DepthFormat::D16, DepthFormat::D24, DepthFormat::D32};

// [format][depth][texture mode][modulate]
using Table = std::array<std::array<std::array<std::array<SpanFunction, 2>, 3>, 4>, 4>;

template <size_t F, size_t D, size_t T, size_t M>
constexpr SpanFunction Entry() {
  return &FastSpan<kFormats[F], kDepths[D], static_cast<TexMode>(T), M == 1>;
}

template <size_t F, size_t D, size_t T>
constexpr void FillModulate(Table& t) {
  t[F][D][T][0] = Entry<F, D, T, 0>();
  t[F][D][T][1] = Entry<F, D, T, 1>();
}

template <size_t F, size_t D>
constexpr void FillTex(Table& t) {
  FillModulate<F, D, 0>(t);
  FillModulate<F, D, 1>(t);
  FillModulate<F, D, 2>(t);
}

template <size_t F>
constexpr void FillDepth(Table& t) {
  FillTex<F, 0>(t);
  FillTex<F, 1>(t);
  FillTex<F, 2>(t);
  FillTex<F, 3>(t);
}

constexpr Table MakeTable() {
  Table t{};
  FillDepth<0>(t);
  FillDepth<1>(t);
  FillDepth<2>(t);
  FillDepth<3>(t);
  return t;
}

constexpr Table kTable = MakeTable();

bool PlainArg(const TextureArg& a) { return !a.complement && !a.alphaReplicate; }
bool IsDiffuse(const TextureArg& a) {
  return PlainArg(a) && (a.source == ArgSource::Diffuse || a.source == ArgSource::Current);
}
bool IsTexture(const TextureArg& a) { return PlainArg(a) && a.source == ArgSource::Texture; }

}  // namespace

SpanFunction ChooseSpan(const PixelState& s, bool hasDepthBuffer) {
  // Alpha must not matter: nothing blends by it, tests or stores it.
  if (s.alphaTest || s.specular || s.colourFormat == ColourFormat::Argb8888) return ReferenceSpan;
  if (s.blend && !(ColourOnly(s.sourceBlend) && ColourOnly(s.destBlend))) return ReferenceSpan;
  if (s.fog && s.tableFog != FogMode::None) return ReferenceSpan;
  if (s.stageCount > 1) return ReferenceSpan;
  size_t format = 0;
  while (kFormats[format] != s.colourFormat) ++format;
  size_t depth = 0;
  if (s.depthTest && hasDepthBuffer) {
    while (kDepths[depth] != s.depthFormat) ++depth;
  }

  size_t tex = 0;
  bool modulate = false;
  if (s.stageCount == 1) {
    const TextureStage& stage = s.stages[0];
    const Texture* texture = stage.texture.get();
    bool readsTexture = false;
    if (stage.colourOp == TextureOp::Modulate && ((IsTexture(stage.colourArg1) && IsDiffuse(stage.colourArg2)) ||
                                                  (IsDiffuse(stage.colourArg1) && IsTexture(stage.colourArg2)))) {
      readsTexture = true;
      modulate = true;
    } else if ((stage.colourOp == TextureOp::SelectArg1 && IsTexture(stage.colourArg1)) ||
               (stage.colourOp == TextureOp::SelectArg2 && IsTexture(stage.colourArg2))) {
      readsTexture = true;
    } else if (!((stage.colourOp == TextureOp::SelectArg1 && IsDiffuse(stage.colourArg1)) ||
                 (stage.colourOp == TextureOp::SelectArg2 && IsDiffuse(stage.colourArg2)))) {
      return ReferenceSpan;
    }
    // The reference samples a stage's texture even when its operation ignores it, and a keyed
    // texel there still leaves the pixel alone.
    if (!readsTexture && s.colourKey && texture && texture->colourKeyed) return ReferenceSpan;
    if (readsTexture && texture && !texture->levels.empty()) {
      const bool mipmapped = stage.mipFilter != MipFilter::None && texture->levels.size() > 1;
      if (mipmapped || stage.minFilter != stage.magFilter) return ReferenceSpan;
      tex = stage.magFilter == Filter::Point ? 1 : 2;
      } else if (readsTexture && !modulate) {
      return ReferenceSpan;  // white: rare enough for the general path
    }
  }
  return kTable[format][depth][tex][modulate ? 1 : 0];
}

uint32_t SpanAttributes(SpanFunction span, const PixelState& s) {
  if (span == ReferenceSpan) return ~0u;
  uint32_t used = 1u << kZ | 1u << kQ | 1u << kR | 1u << kG | 1u << kB | (s.fog ? 1u << kFog : 0u);
  const int u = kU0 + 2 * s.stages[0].coordinateSet;
  if (s.stageCount > 0) used |= 1u << u | 1u << (u + 1);
  return used;
}

}  // namespace vx::raster::detail
