// The reference span: every pixel state, one pixel at a time, each step written out plainly and
// decided by the state at each pixel. The specialised spans must give the same pixels; tests
// compare the two over random triangles and states.
#include <algorithm>
#include <cmath>

#include "platform/d3d/raster_internal.h"

namespace vx::raster::detail {
namespace {

struct Sample {
  uint32_t argb = 0xFFFFFFFFu;
  bool keyed = false;
};

uint32_t Texel(const TextureLevel& level, int u, int v, const TextureStage& stage) {
  const int x = AddressTexel(u, level.width, stage.addressU);
  const int y = AddressTexel(v, level.height, stage.addressV);
  return level.texels[static_cast<size_t>(y) * level.width + x];
}

bool TexelKeyed(const TextureLevel& level, int u, int v, const TextureStage& stage) {
  if (level.keyed.empty()) return false;
  const int x = AddressTexel(u, level.width, stage.addressU);
  const int y = AddressTexel(v, level.height, stage.addressV);
  return level.keyed[static_cast<size_t>(y) * level.width + x] != 0;
}

uint32_t FilterLevel(const TextureLevel& level, float u, float v, Filter filter, const TextureStage& stage) {
  const int32_t cu = TexelCoordinate(u, level.width);
  const int32_t cv = TexelCoordinate(v, level.height);
  if (filter == Filter::Point) return Texel(level, cu >> 8, cv >> 8, stage);
  const int32_t lu = cu - 128;
  const int32_t lv = cv - 128;
  const int iu = lu >> 8;
  const int iv = lv >> 8;
  return Bilinear(Texel(level, iu, iv, stage), Texel(level, iu + 1, iv, stage), Texel(level, iu, iv + 1, stage),
                  Texel(level, iu + 1, iv + 1, stage), static_cast<uint32_t>(lu & 255),
                  static_cast<uint32_t>(lv & 255));
}

// The level of detail at a pixel: log2 of the larger texel step across x or y.
float LevelOfDetail(const Planes& p, const float* row, float fx, float w, int uIndex, const TextureLevel& top) {
  const int vIndex = uIndex + 1;
  const float u = (row[uIndex] + p.dx[uIndex] * fx) * w;
  const float v = (row[vIndex] + p.dx[vIndex] * fx) * w;
  const float width = static_cast<float>(top.width);
  const float height = static_cast<float>(top.height);
  const float dudx = (p.dx[uIndex] - u * p.dx[kQ]) * w * width;
  const float dvdx = (p.dx[vIndex] - v * p.dx[kQ]) * w * height;
  const float dudy = (p.dy[uIndex] - u * p.dy[kQ]) * w * width;
  const float dvdy = (p.dy[vIndex] - v * p.dy[kQ]) * w * height;
  const float rho = std::max(dudx * dudx + dvdx * dvdx, dudy * dudy + dvdy * dvdy);
  return 0.5f * std::log2(rho);
}

Sample SampleStage(const TextureStage& stage, const Planes& p, const float* row, float fx, float w) {
  Sample out;
  const Texture* texture = stage.texture.get();
  if (!texture || texture->levels.empty()) return out;
  const int uIndex = kU0 + 2 * stage.coordinateSet;
  const float u = (row[uIndex] + p.dx[uIndex] * fx) * w;
  const float v = (row[uIndex + 1] + p.dx[uIndex + 1] * fx) * w;
  const int last = static_cast<int>(texture->levels.size()) - 1;
  const int first = std::min(stage.firstLevel, last);

  Filter filter = stage.magFilter;
  int level = first;
  int nextLevel = first;
  uint32_t mix = 0;
  const bool needsLod = stage.minFilter != stage.magFilter || (stage.mipFilter != MipFilter::None && last > 0);
  if (needsLod) {
    const float lod = LevelOfDetail(p, row, fx, w, uIndex, texture->levels[0]) + stage.lodBias;
    const LevelChoice choice = ChooseLevels(stage.mipFilter, first, last, lod);
    if (choice.minified) filter = stage.minFilter;
    level = choice.level;
    nextLevel = choice.nextLevel;
    mix = static_cast<uint32_t>(choice.mix);
  }
  const TextureLevel& near = texture->levels[level];
  out.argb = FilterLevel(near, u, v, filter, stage);
  if (nextLevel != level && mix > 0) {
    out.argb = MixTexels(out.argb, FilterLevel(texture->levels[nextLevel], u, v, filter, stage), mix);
  }
  if (!near.keyed.empty()) {
    out.keyed = TexelKeyed(near, TexelCoordinate(u, near.width) >> 8, TexelCoordinate(v, near.height) >> 8, stage);
  }
  return out;
}

struct Inputs {
  uint32_t diffuse, current, texel, factor, specular;
};

uint32_t Argument(const TextureArg& arg, const Inputs& in) {
  uint32_t value = 0;
  switch (arg.source) {
    case ArgSource::Diffuse: value = in.diffuse; break;
    case ArgSource::Current: value = in.current; break;
    case ArgSource::Texture: value = in.texel; break;
    case ArgSource::Factor: value = in.factor; break;
    case ArgSource::Specular: value = in.specular; break;
  }
  if (arg.complement) value = ~value;
  if (arg.alphaReplicate) value = (value >> 24) * 0x01010101u;
  return value;
}

uint32_t Operate(TextureOp op, uint32_t x, uint32_t y, const Inputs& in) {
  const auto blend = [&](uint32_t alpha) { return (x * alpha + y * (255 - alpha) + 127) / 255; };
  switch (op) {
    case TextureOp::Disable:
    case TextureOp::SelectArg1: return x;
    case TextureOp::SelectArg2: return y;
    case TextureOp::Modulate: return Mul8(x, y);
    case TextureOp::Modulate2x: return std::min<uint32_t>(255, 2 * Mul8(x, y));
    case TextureOp::Modulate4x: return std::min<uint32_t>(255, 4 * Mul8(x, y));
    case TextureOp::Add: return std::min<uint32_t>(255, x + y);
    case TextureOp::AddSigned: return static_cast<uint32_t>(std::clamp(static_cast<int>(x + y) - 128, 0, 255));
    case TextureOp::Subtract: return x > y ? x - y : 0;
    case TextureOp::BlendDiffuseAlpha: return blend(in.diffuse >> 24);
    case TextureOp::BlendTextureAlpha: return blend(in.texel >> 24);
    case TextureOp::BlendCurrentAlpha: return blend(in.current >> 24);
  }
  return x;
}

uint32_t Factor(BlendFactor factor, uint32_t src, uint32_t dst, int shift) {
  const uint32_t sa = src >> 24;
  const uint32_t da = dst >> 24;
  switch (factor) {
    case BlendFactor::Zero: return 0;
    case BlendFactor::One: return 255;
    case BlendFactor::SrcColour: return Channel(src, shift);
    case BlendFactor::InvSrcColour: return 255 - Channel(src, shift);
    case BlendFactor::SrcAlpha:
    case BlendFactor::BothSrcAlpha: return sa;
    case BlendFactor::InvSrcAlpha:
    case BlendFactor::BothInvSrcAlpha: return 255 - sa;
    case BlendFactor::DestAlpha: return da;
    case BlendFactor::InvDestAlpha: return 255 - da;
    case BlendFactor::DestColour: return Channel(dst, shift);
    case BlendFactor::InvDestColour: return 255 - Channel(dst, shift);
    case BlendFactor::SrcAlphaSat: return shift == 24 ? 255 : std::min(sa, 255 - da);
  }
  return 0;
}

uint32_t BlendPixel(const PixelState& s, uint32_t src, uint32_t dst) {
  BlendFactor sourceFactor = s.sourceBlend;
  BlendFactor destFactor = s.destBlend;
  // The "both" factors name the destination's factor too.
  if (sourceFactor == BlendFactor::BothSrcAlpha) destFactor = BlendFactor::InvSrcAlpha;
  if (sourceFactor == BlendFactor::BothInvSrcAlpha) destFactor = BlendFactor::SrcAlpha;
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t value = (Channel(src, shift) * Factor(sourceFactor, src, dst, shift) +
                            Channel(dst, shift) * Factor(destFactor, src, dst, shift) + 127) /
                           255;
    out |= std::min<uint32_t>(value, 255) << shift;
  }
  return out;
}

}  // namespace

namespace {

void ReferenceRow(const SpanTarget& target, const DrawState& state, const Planes& p, int y, int x0, int x1) {
  const PixelState& s = state.pixel;
  float row[kAttributeCount];
  RowStart(p, y, row);
  const int colourBytes = ColourBytes(s.colourFormat);
  for (int x = x0; x < x1; ++x) {
    const float fx = static_cast<float>(x) - p.ox;
    uint8_t* colourAt = target.colour + y * target.colourPitch + x * colourBytes;
    uint8_t* depthAt = nullptr;
    uint32_t depth = 0;
    const bool depthOn = s.depthTest && target.depth && s.depthFormat != DepthFormat::None;
    if (depthOn) {
      depthAt = target.depth + y * target.depthPitch + x * DepthBytes(s.depthFormat);
      depth = DepthValue(row[kZ] + p.dx[kZ] * fx, state.depthScale);
      if (!Passes(s.depthCompare, depth, LoadDepth(depthAt, s.depthFormat))) continue;
    }
    const float q = row[kQ] + p.dx[kQ] * fx;
    const float w = 1.0f / q;
    const auto at = [&](int i) { return (row[i] + p.dx[i] * fx) * w; };

    Inputs in{};
    in.diffuse = Argb(ToByte(at(kA)), ToByte(at(kR)), ToByte(at(kG)), ToByte(at(kB)));
    in.specular = Argb(255, ToByte(at(kSR)), ToByte(at(kSG)), ToByte(at(kSB)));
    in.factor = s.textureFactor;
    in.current = in.diffuse;
    bool keyed = false;
    for (int i = 0; i < s.stageCount; ++i) {
      const TextureStage& stage = s.stages[i];
      const Sample sample = SampleStage(stage, p, row, fx, w);
      in.texel = sample.argb;
      keyed = keyed || sample.keyed;
      uint32_t colour = 0;
      for (int shift = 0; shift < 24; shift += 8) {
        colour |= Operate(stage.colourOp, Channel(Argument(stage.colourArg1, in), shift),
                          Channel(Argument(stage.colourArg2, in), shift), in)
                  << shift;
      }
      uint32_t alpha = in.current >> 24;
      if (stage.alphaOp != TextureOp::Disable) {
        alpha = Operate(stage.alphaOp, Argument(stage.alphaArg1, in) >> 24, Argument(stage.alphaArg2, in) >> 24, in);
      }
      in.current = (alpha << 24) | colour;
    }
    uint32_t colour = in.current;
    if (s.colourKey && keyed) continue;
    if (s.specular) {
      uint32_t sum = colour & 0xFF000000u;
      for (int shift = 0; shift < 24; shift += 8) {
        sum |= std::min<uint32_t>(255, Channel(colour, shift) + Channel(in.specular, shift)) << shift;
      }
      colour = sum;
    }
    if (s.alphaTest && !Passes(s.alphaCompare, colour >> 24, s.alphaReference)) continue;
    if (s.fog) {
      const uint32_t factor = s.tableFog != FogMode::None ? TableFogFactor(s, w) : ToByte(at(kFog));
      colour = ApplyFog(colour, s.fogColour, factor);
    }
    if (s.blend) colour = BlendPixel(s, colour, LoadColour(colourAt, s.colourFormat));
    StoreColour(colourAt, s.colourFormat, colour);
    if (depthOn && s.depthWrite) StoreDepth(depthAt, s.depthFormat, depth);
  }
}

}  // namespace

void ReferenceSpan(const SpanTarget& target, const DrawState& state, const Planes& p, const SpanRow* rows, int count) {
  for (int i = 0; i < count; ++i) ReferenceRow(target, state, p, rows[i].y, rows[i].x0, rows[i].x1);
}

}  // namespace vx::raster::detail
