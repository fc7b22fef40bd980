// The specialised spans and the table that picks one by state. Each is a template instance
// for one target format, depth format and texture mode, with everything else of the pixel state
// known to be off; a state outside every entry takes the reference span.
#include <array>

#include "platform/d3d/raster_internal.h"

namespace vx::raster::detail {
namespace {

enum class TexMode { None, Point, Linear };

// Texel addressing along one axis, with a mask when wrapping a power-of-two size.
struct Axis {
  int size;
  int mask;  // size - 1 when wrapping a power of two, else -1
  Address mode;
  int operator()(int i) const { return mask >= 0 ? (i & mask) : AddressTexel(i, size, mode); }
};

Axis MakeAxis(int size, Address mode) {
  const bool pow2 = (size & (size - 1)) == 0;
  return {size, mode == Address::Wrap && pow2 ? size - 1 : -1, mode};
}

template <ColourFormat kColour, DepthFormat kDepth, TexMode kTex, bool kModulate>
void FastSpan(const SpanTarget& target, const DrawState& state, const Planes& p, int y, int x0, int x1) {
  const PixelState& s = state.pixel;
  float row[kAttributeCount];
  RowStart(p, y, row);
  constexpr int kColourBytes = ColourBytes(kColour);
  uint8_t* colourAt = target.colour + y * target.colourPitch + x0 * kColourBytes;
  uint8_t* depthAt = nullptr;
  if constexpr (kDepth != DepthFormat::None) depthAt = target.depth + y * target.depthPitch + x0 * DepthBytes(kDepth);

  const TextureLevel* level = nullptr;
  Axis axisU{}, axisV{};
  if constexpr (kTex != TexMode::None) {
    const TextureStage& stage = s.stages[0];
    const Texture& texture = *stage.texture;
    const int last = static_cast<int>(texture.levels.size()) - 1;
    level = &texture.levels[stage.firstLevel < last ? stage.firstLevel : last];
    axisU = MakeAxis(level->width, stage.addressU);
    axisV = MakeAxis(level->height, stage.addressV);
  }
  const int uIndex = kU0 + 2 * s.stages[0].coordinateSet;
  const Compare compare = s.depthCompare;
  const bool depthWrite = s.depthWrite;
  const double depthScale = state.depthScale;

  for (int x = x0; x < x1; ++x, colourAt += kColourBytes) {
    const float fx = static_cast<float>(x) - p.ox;
    uint32_t depth = 0;
    if constexpr (kDepth != DepthFormat::None) {
      uint8_t* const d = depthAt;
      depthAt += DepthBytes(kDepth);
      depth = DepthValue(row[kZ] + p.dx[kZ] * fx, depthScale);
      if (!Passes(compare, depth, LoadDepth(d, kDepth))) continue;
      if (depthWrite) StoreDepth(d, kDepth, depth);
    }
    const float q = row[kQ] + p.dx[kQ] * fx;
    const float w = 1.0f / q;
    const uint32_t r = ToByte((row[kR] + p.dx[kR] * fx) * w);
    const uint32_t g = ToByte((row[kG] + p.dx[kG] * fx) * w);
    const uint32_t b = ToByte((row[kB] + p.dx[kB] * fx) * w);
    uint32_t colour = Argb(0, r, g, b);
    if constexpr (kTex != TexMode::None) {
      const float u = (row[uIndex] + p.dx[uIndex] * fx) * w;
      const float v = (row[uIndex + 1] + p.dx[uIndex + 1] * fx) * w;
      const int32_t cu = TexelCoordinate(u, level->width);
      const int32_t cv = TexelCoordinate(v, level->height);
      uint32_t texel;
      const uint32_t* texels = level->texels.data();
      if constexpr (kTex == TexMode::Point) {
        texel = texels[static_cast<size_t>(axisV(cv >> 8)) * level->width + axisU(cu >> 8)];
      } else {
        const int32_t lu = cu - 128;
        const int32_t lv = cv - 128;
        const int iu = lu >> 8;
        const int iv = lv >> 8;
        const uint32_t* row0 = texels + static_cast<size_t>(axisV(iv)) * level->width;
        const uint32_t* row1 = texels + static_cast<size_t>(axisV(iv + 1)) * level->width;
        const int u0 = axisU(iu);
        const int u1 = axisU(iu + 1);
        texel = Bilinear(row0[u0], row0[u1], row1[u0], row1[u1], static_cast<uint32_t>(lu & 255),
                         static_cast<uint32_t>(lv & 255));
      }
      if constexpr (kModulate) {
        colour = Argb(0, Mul8(Channel(texel, 16), r), Mul8(Channel(texel, 8), g), Mul8(Channel(texel, 0), b));
      } else {
        colour = texel;
      }
    }
    StoreColour(colourAt, kColour, colour);
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
  // Alpha must not matter: nothing blends, tests or stores it.
  if (s.blend || s.fog || s.alphaTest || s.specular || s.colourFormat == ColourFormat::Argb8888) return ReferenceSpan;
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
    if (readsTexture && texture && !texture->levels.empty()) {
      if (s.colourKey && texture->colourKeyed) return ReferenceSpan;
      const bool mipmapped = stage.mipFilter != MipFilter::None && texture->levels.size() > 1;
      if (mipmapped || stage.minFilter != stage.magFilter) return ReferenceSpan;
      tex = stage.magFilter == Filter::Point ? 1 : 2;
    } else if (readsTexture && !modulate) {
      return ReferenceSpan;  // white: rare enough for the general path
    }
  }
  return kTable[format][depth][tex][modulate ? 1 : 0];
}

}  // namespace vx::raster::detail
