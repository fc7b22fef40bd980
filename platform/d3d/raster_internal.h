// Inside the rasteriser: the set-up primitives that the tile pass fills, the span functions and
// their table, and the pixel arithmetic that the specialised spans and the reference path share
// by definition (every rounding below is the one both must make).
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/d3d/raster.h"

namespace vx::raster::detail {

// ---- interpolated attributes --------------------------------------------------------------------

// z (0 to 1) and q interpolate linearly on the screen; the others are stored times q so that dividing by
// q at a pixel makes them perspective-correct. The colour channels lie in the order of a pixel's
// bytes, so that the spans load them side by side.
enum Attribute : int { kZ, kQ, kB, kG, kR, kA, kSB, kSG, kSR, kFog, kU0, kV0, kU1, kV1, kAttributeCount };

// a(x, y) = a0 + dx * (x - ox) + dy * (y - oy), with x and y at pixel centres. Set-up writes
// every attribute (those a span does not read as 0), so nothing is cleared before; the arrays
// are padded to four vector registers.
constexpr int kPlaneFloats = 16;
static_assert(kAttributeCount <= kPlaneFloats);
struct Planes {
  alignas(16) float a0[kPlaneFloats];
  alignas(16) float dx[kPlaneFloats];
  alignas(16) float dy[kPlaneFloats];
  float ox, oy;
};

// The values of a row at x = ox; a pixel's value is row[i] + dx[i] * (x - ox).
inline void RowStart(const Planes& p, int y, float* row) {
  const float fy = static_cast<float>(y) - p.oy;
  for (int i = 0; i < kAttributeCount; ++i) row[i] = p.a0[i] + p.dy[i] * fy;
}

// ---- set-up primitives --------------------------------------------------------------------------

constexpr int kSubpixelBits = 8;
constexpr int64_t kSubpixel = 1 << kSubpixelBits;

// E(x, y) = a * x + b * y + c at the pixel centre (x, y); the pixel is inside when E >= threshold
// (0 on top and left edges, 1 on the others: the top-left rule on exact integers).
struct Edge {
  int64_t a = 0, b = 0, c = 0;
  int64_t threshold = 0;
};

struct DrawState;

struct SetupPrimitive {
  enum Kind : uint8_t { kTriangle, kLine, kPoint, kClear };
  // Provided, so that making one in place does not clear the planes first.
  SetupPrimitive() {}
  Kind kind = kTriangle;
  bool lastPixel = true;
  int minX = 0, minY = 0, maxX = -1, maxY = -1;  // inclusive pixel bounds, inside the viewport
  Edge edges[3];
  float x0 = 0, y0 = 0, x1 = 0, y1 = 0;          // line ends
  bool clearColour = false, clearDepth = false;  // a clear of the bounds
  uint32_t colourValue = 0, depthValue = 0, depthKeep = 0;
  const DrawState* state = nullptr;
  Planes planes;
};

// The buffers a span writes: pixel (x, y) of the colour buffer is at colour + y * colourPitch + x * bytes.
struct SpanTarget {
  uint8_t* colour = nullptr;
  intptr_t colourPitch = 0;
  uint8_t* depth = nullptr;  // null: no depth buffer
  intptr_t depthPitch = 0;
};

// Pixels x0 <= x < x1 of row y.
struct SpanRow {
  int y, x0, x1;
};

// Fills the rows of one primitive, in order.
using SpanFunction = void (*)(const SpanTarget& target, const DrawState& state, const Planes& planes,
                              const SpanRow* rows, int count);

// Up to four pixels of one primitive that a specialised span fills together: lanes below
// `count`. In a run they lie side by side in one row, from (x[0], y[0]) on; otherwise anywhere.
// A primitive covers each pixel once, so the order of its pixels does not matter.
struct PixelGroup {
  int32_t x[4];
  int32_t y[4];
  int32_t count;
  bool run;
};

// Fills groups of pixels of one primitive.
using GroupFunction = void (*)(const SpanTarget& target, const DrawState& state, const Planes& planes,
                               const PixelGroup* groups, int count);

// A texture level as the spans sample it.
struct LevelSampling {
  const uint32_t* texels = nullptr;
  const uint8_t* keyed = nullptr;  // null without keyed texels
  int width = 0, height = 0;
  int maskU = -1, maskV = -1;  // size - 1 when wrapping a power-of-two size, else -1
  int shift = 0;               // log2 of the width when both masks are set
};

constexpr int kMaxLevels = 16;

// A stage's texture as the spans sample it: its levels, and the one used when the level is not
// chosen per pixel.
struct StageSampling {
  const Texture* texture = nullptr;  // null: the stage reads opaque white
  const TextureLevel* level = nullptr;
  int maskU = -1, maskV = -1;  // those of `level`
  bool read = false;           // sampled: its operations read it, or its keyed texels leave pixels alone
  bool lod = false;            // the level and the filter are chosen per pixel
  int first = 0, last = 0;     // the most and least detailed levels used
  LevelSampling levels[kMaxLevels];
};

// How the specialised spans compute a stage's colour: the usual operations directly, the others
// through the general evaluation.
enum class StageMode : uint8_t { ModulateTexture, SelectTexture, SelectDiffuse, General };

struct DrawState {
  PixelState pixel;
  Viewport viewport;
  GroupFunction fill = nullptr;  // the specialised span; null on the reference path
  StageSampling stages[kMaxStages];
  StageMode stage0 = StageMode::General;
  uint32_t attributes = ~0u;                          // bit i: the span reads attribute i (the others' planes stay 0)
  alignas(16) uint32_t planeMask[kPlaneFloats] = {};  // all ones where the attribute's bit is set
  double depthScale = 0.0;                            // the depth buffer's value of z = 1
};

// Picks the span for the state (the reference span on the reference path) and works out what it
// reads; the state's pixel state, formats and depth scale are set.
void PrepareSpan(DrawState& state, bool reference);
// The one general path: every state, pixel by pixel, written for clarity.
void ReferenceSpan(const SpanTarget& target, const DrawState& state, const Planes& planes, const SpanRow* rows,
                   int count);

// Triangle set-up, appended to the list; false (and nothing appended) when nothing of it is drawn
// (culled, empty or outside the viewport).
bool SetupTriangle(const ScreenVertex& v0, const ScreenVertex& v1, const ScreenVertex& v2, Cull cull, bool flat,
                   const ScreenVertex& provoking, const DrawState& state, std::vector<SetupPrimitive>& list);
bool SetupLine(const ScreenVertex& v0, const ScreenVertex& v1, bool flat, bool lastPixel, const DrawState& state,
               SetupPrimitive& out);
bool SetupPoint(const ScreenVertex& v, const DrawState& state, SetupPrimitive& out);

// Fills the part of a set-up primitive inside the rectangle (inclusive bounds).
void FillPrimitive(const SpanTarget& target, const SetupPrimitive& primitive, int left, int top, int right, int bottom,
                   bool reference);
// The same coverage found by testing every pixel of the rectangle on its own (for tests).
void FillTriangleByPixels(const SpanTarget& target, const SetupPrimitive& primitive, int left, int top, int right,
                          int bottom);

// Clips a polygon (a triangle to start) against the near and far planes, w > 0 and the guard
// band; returns the vertex count left (0 when nothing is), vertices in `out`.
int ClipPolygon(const ClipVertex* in, int count, float guardX, float guardY, ClipVertex* out);
// The smallest w kept by clipping.
constexpr float kMinimumW = 1e-6f;
// Bit i set when the vertex is outside clip plane i (near, far, w, then the guard band's right,
// left, top and bottom); NaN counts as outside.
inline unsigned OutsideMask(const ClipVertex& v, float gx, float gy) {
  const auto out = [](float distance, unsigned bit) { return distance >= 0.0f ? 0u : bit; };
  return out(v.z, 1u) | out(v.w - v.z, 2u) | out(v.w - kMinimumW, 4u) | out(gx * v.w - v.x, 8u) |
         out(gx * v.w + v.x, 16u) | out(gy * v.w - v.y, 32u) | out(gy * v.w + v.y, 64u);
}
// The same for a line; false when nothing is left.
bool ClipLine(const ClipVertex& a, const ClipVertex& b, float guardX, float guardY, ClipVertex* out);
constexpr int kMaxClippedVertices = 3 + 8;

// ---- pixel arithmetic shared by every span ------------------------------------------------------

// floor(f) as an integer, for any float: NaN and values past +-2^30 come out at the ends.
inline int32_t FloorToInt(float f) {
  if (!(f >= -1073741824.0f)) f = -1073741824.0f;
  if (!(f <= 1073741823.0f)) f = 1073741823.0f;
  const auto i = static_cast<int32_t>(f);
  return i - (static_cast<float>(i) > f ? 1 : 0);
}

// A 0..255 channel from a float, rounded to the nearest; NaN gives 0.
inline uint32_t ToByte(float c) {
  if (!(c > 0.0f)) return 0;
  if (c >= 255.0f) return 255;
  return static_cast<uint32_t>(c + 0.5f);
}

// x * y / 255 rounded to the nearest, for x and y of 0 to 255.
inline uint32_t Mul8(uint32_t x, uint32_t y) {
  const uint32_t t = x * y + 128;
  return (t + (t >> 8)) >> 8;
}

inline uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return (a << 24) | (r << 16) | (g << 8) | b; }
inline uint32_t Channel(uint32_t argb, int shift) { return (argb >> shift) & 0xFF; }

// Where `value compare reference` holds: a bool for numbers, lanes of all ones for vectors (`all`
// is what Always gives).
template <class Result, class Value>
inline Result Holds(Compare compare, Value value, Value reference, Result all) {
  switch (compare) {
    case Compare::Never: return Result{};
    case Compare::Less: return value < reference;
    case Compare::Equal: return value == reference;
    case Compare::LessEqual: return value <= reference;
    case Compare::Greater: return value > reference;
    case Compare::NotEqual: return value != reference;
    case Compare::GreaterEqual: return value >= reference;
    case Compare::Always: return all;
  }
  return Result{};
}

inline bool Passes(Compare compare, uint32_t value, uint32_t reference) {
  return Holds(compare, value, reference, true);
}

// ---- depth values ---

inline double DepthScale(DepthFormat format) {
  switch (format) {
    case DepthFormat::D16: return 65535.0;
    case DepthFormat::D24: return 16777215.0;
    case DepthFormat::D32: return 4294967295.0;
    case DepthFormat::None: return 0.0;
  }
  return 0.0;
}

// A depth of 0 to 1 as the buffer's value (scale its largest), rounded to the nearest, as
// clears round it.
inline uint32_t DepthValue(float z, double scale) {
  const double v = static_cast<double>(z) * scale + 0.5;
  if (!(v > 0.0)) return 0;
  return v >= scale ? static_cast<uint32_t>(scale) : static_cast<uint32_t>(v);
}

inline uint32_t LoadDepth(const uint8_t* at, DepthFormat format) {
  if (format == DepthFormat::D16) {
    uint16_t v;
    std::memcpy(&v, at, 2);
    return v;
  }
  uint32_t v;
  std::memcpy(&v, at, 4);
  return format == DepthFormat::D24 ? (v & 0x00FFFFFFu) : v;
}

inline void StoreDepth(uint8_t* at, DepthFormat format, uint32_t value) {
  if (format == DepthFormat::D16) {
    const auto v = static_cast<uint16_t>(value);
    std::memcpy(at, &v, 2);
    return;
  }
  if (format == DepthFormat::D24) {
    uint32_t old;
    std::memcpy(&old, at, 4);
    value = (old & 0xFF000000u) | (value & 0x00FFFFFFu);
  }
  std::memcpy(at, &value, 4);
}

constexpr int DepthBytes(DepthFormat format) { return format == DepthFormat::D16 ? 2 : 4; }

// ---- colour values ---

constexpr int ColourBytes(ColourFormat format) {
  switch (format) {
    case ColourFormat::Rgb565:
    case ColourFormat::Rgb555: return 2;
    case ColourFormat::Rgb888: return 3;
    default: return 4;
  }
}

// Channels narrow and widen rounded to the nearest, as the surfaces' own conversions do.
inline uint32_t Narrow5(uint32_t v) { return (v * 31 + 127) / 255; }
inline uint32_t Narrow6(uint32_t v) { return (v * 63 + 127) / 255; }
inline uint32_t Widen5(uint32_t v) { return (v * 255 + 15) / 31; }
inline uint32_t Widen6(uint32_t v) { return (v * 255 + 31) / 63; }

inline uint32_t LoadColour(const uint8_t* at, ColourFormat format) {
  switch (format) {
    case ColourFormat::Rgb565: {
      uint16_t p;
      std::memcpy(&p, at, 2);
      return Argb(255, Widen5(p >> 11), Widen6((p >> 5) & 63), Widen5(p & 31));
    }
    case ColourFormat::Rgb555: {
      uint16_t p;
      std::memcpy(&p, at, 2);
      return Argb(255, Widen5((p >> 10) & 31), Widen5((p >> 5) & 31), Widen5(p & 31));
    }
    case ColourFormat::Rgb888: return Argb(255, at[2], at[1], at[0]);
    case ColourFormat::Xrgb8888: {
      uint32_t p;
      std::memcpy(&p, at, 4);
      return p | 0xFF000000u;
    }
    case ColourFormat::Argb8888: {
      uint32_t p;
      std::memcpy(&p, at, 4);
      return p;
    }
  }
  return 0;
}

inline void StoreColour(uint8_t* at, ColourFormat format, uint32_t argb) {
  switch (format) {
    case ColourFormat::Rgb565: {
      const auto p = static_cast<uint16_t>((Narrow5(Channel(argb, 16)) << 11) | (Narrow6(Channel(argb, 8)) << 5) |
                                           Narrow5(Channel(argb, 0)));
      std::memcpy(at, &p, 2);
      return;
    }
    case ColourFormat::Rgb555: {
      const auto p = static_cast<uint16_t>((Narrow5(Channel(argb, 16)) << 10) | (Narrow5(Channel(argb, 8)) << 5) |
                                           Narrow5(Channel(argb, 0)));
      std::memcpy(at, &p, 2);
      return;
    }
    case ColourFormat::Rgb888:
      at[0] = static_cast<uint8_t>(argb);
      at[1] = static_cast<uint8_t>(argb >> 8);
      at[2] = static_cast<uint8_t>(argb >> 16);
      return;
    case ColourFormat::Xrgb8888: {
      const uint32_t p = argb & 0x00FFFFFFu;
      std::memcpy(at, &p, 4);
      return;
    }
    case ColourFormat::Argb8888: std::memcpy(at, &argb, 4); return;
  }
}

// ---- texture coordinates ---

// A texel index inside a size by the address mode.
inline int AddressTexel(int i, int size, Address mode) {
  switch (mode) {
    case Address::Wrap: {
      const int m = i % size;
      return m < 0 ? m + size : m;
    }
    case Address::Mirror: {
      int m = i % (2 * size);
      if (m < 0) m += 2 * size;
      return m < size ? m : 2 * size - 1 - m;
    }
    case Address::Clamp: return i < 0 ? 0 : (i >= size ? size - 1 : i);
  }
  return 0;
}

// A coordinate in 1/256 texels with the texel centres at .5: texel = result >> 8 for point
// sampling; for linear filtering take (coordinate - 128), whose low 8 bits are the weight.
inline int32_t TexelCoordinate(float coordinate, int size) {
  return FloorToInt(coordinate * static_cast<float>(size) * 256.0f);
}

// The levels sampled at a level of detail between the first and last level used: the more
// detailed one, the next one and the 0 to 255 mix between them; above 0 the minification filter
// applies, at 0 or below (or NaN) the magnification filter at the first level.
struct LevelChoice {
  int level, nextLevel, mix;
  bool minified;
};

inline LevelChoice ChooseLevels(MipFilter mipFilter, int first, int last, float lod) {
  LevelChoice choice{first, first, 0, lod > 0.0f};
  if (!choice.minified) return choice;
  if (mipFilter == MipFilter::Point) {
    choice.level = choice.nextLevel = std::clamp(FloorToInt(lod + 0.5f), first, last);
  } else if (mipFilter == MipFilter::Linear) {
    const int whole = FloorToInt(lod);
    choice.mix = FloorToInt((lod - static_cast<float>(whole)) * 256.0f);
    choice.level = std::clamp(whole, first, last);
    choice.nextLevel = std::clamp(whole + 1, first, last);
  }
  return choice;
}

// 0 to 256-weighted mixes of two and four texels, channel by channel, rounded to the nearest.
inline uint32_t MixTexels(uint32_t a, uint32_t b, uint32_t weight) {
  const uint32_t keep = 256 - weight;
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t c = (Channel(a, shift) * keep + Channel(b, shift) * weight + 128) >> 8;
    out |= c << shift;
  }
  return out;
}

inline uint32_t Bilinear(uint32_t t00, uint32_t t10, uint32_t t01, uint32_t t11, uint32_t fu, uint32_t fv) {
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t top = Channel(t00, shift) * (256 - fu) + Channel(t10, shift) * fu;
    const uint32_t bottom = Channel(t01, shift) * (256 - fu) + Channel(t11, shift) * fu;
    out |= ((top * (256 - fv) + bottom * fv + 32768) >> 16) << shift;
  }
  return out;
}

// ---- fog ---

// The table-fog factor (0 all fog, 255 none) at an eye distance.
inline uint32_t TableFogFactor(const PixelState& s, float distance) {
  float f = 1.0f;
  switch (s.tableFog) {
    case FogMode::Linear:
      f = s.fogEnd != s.fogStart ? (s.fogEnd - distance) / (s.fogEnd - s.fogStart)
                                 : (distance < s.fogEnd ? 1.0f : 0.0f);
      break;
    case FogMode::Exp: f = std::exp(-(s.fogDensity * distance)); break;
    case FogMode::Exp2: {
      const float d = s.fogDensity * distance;
      f = std::exp(-(d * d));
      break;
    }
    case FogMode::None: break;
  }
  return ToByte(f * 255.0f);
}

// The colour blended towards the fog colour: factor 255 keeps the colour.
inline uint32_t ApplyFog(uint32_t argb, uint32_t fogColour, uint32_t factor) {
  uint32_t out = argb & 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    out |= ((Channel(argb, shift) * factor + Channel(fogColour, shift) * (255 - factor) + 127) / 255) << shift;
  }
  return out;
}

}  // namespace vx::raster::detail
