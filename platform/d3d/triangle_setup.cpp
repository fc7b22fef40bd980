// Primitive set-up and coverage: vertices snapped to 1/256 pixel, exact integer edge functions
// with the top-left rule, plane equations of every attribute, and the walk that turns a set-up
// triangle, line or point into spans inside a rectangle (a screen tile).
#include <emmintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "platform/d3d/raster_internal.h"

namespace vx::raster::detail {
namespace {

// floor(n / d) for d > 0, through a double quotient corrected to the exact one (both fit in
// 53 bits here, and a double division is far quicker than a 64-bit integer one).
int64_t FloorDiv(int64_t n, int64_t d) {
  auto q = static_cast<int64_t>(static_cast<double>(n) / static_cast<double>(d));  // truncated
  while (n - q * d < 0) --q;
  while (n - q * d >= d) ++q;
  return q;
}

using V4f = float __attribute__((vector_size(16)));
using V4i = int32_t __attribute__((vector_size(16)));

// The values every plane interpolates at one vertex: z, q, and the other attributes times q, the
// colours those of `colours` (flat shading's provoking vertex); the padding 0.
void VertexValues(const ScreenVertex& v, const VertexAttributes& colours, float* out) {
  static_assert(sizeof(VertexAttributes) == (kAttributeCount - 2) * sizeof(float));
  float a[kAttributeCount - 2];
  std::memcpy(a, &v.a, sizeof a);
  std::memcpy(a, colours.diffuse, sizeof colours.diffuse);
  std::memcpy(a + 4, colours.specular, sizeof colours.specular);
  const float q = v.q;
  out[kZ] = v.z;
  out[kQ] = q;
  for (int i = 0; i < kAttributeCount - 2; ++i) out[kB + i] = a[i] * q;
  for (int i = kAttributeCount; i < kPlaneFloats; ++i) out[i] = 0.0f;
}

// Flat shading takes the colours of one vertex; everything else stays per vertex.
const VertexAttributes& Colours(const ScreenVertex& v, const ScreenVertex* provoking) {
  return provoking ? provoking->a : v.a;
}

// One edge's bound on x row after row, stepped with integers only: the edge function's
// threshold crossing n(y) / d with n falling by b each row, kept as a quotient and remainder.
struct EdgeWalk {
  enum Kind { kLeft, kRight, kFlat } kind = kFlat;
  int64_t d = 0;         // |a|
  int64_t q = 0, r = 0;  // bound and remainder, 0 <= r < d
  int64_t sq = 0, sr = 0;

  void Start(const Edge& e, int y) {
    const int64_t cy = e.b * y + e.c;
    if (e.a == 0) {
      kind = kFlat;
      d = 0;
      sq = e.b;  // the row step of cy
      q = cy - e.threshold;
      return;
    }
    // Left bound: x >= ceil((t - cy) / a) for a > 0; right bound: x <= floor((cy - t) / -a).
    // Both are floor(m / d) forms: left = -floor((cy - t) / a), right = floor((cy - t) / -a).
    kind = e.a > 0 ? kLeft : kRight;
    d = e.a > 0 ? e.a : -e.a;
    const int64_t m = cy - e.threshold;
    q = FloorDiv(m, d);
    r = m - q * d;
    // m grows by b each row.
    sq = FloorDiv(e.b, d);
    sr = e.b - sq * d;
  }

  void Step() {
    if (kind == kFlat) {
      q += sq;
      return;
    }
    q += sq;
    r += sr;
    if (r >= d) {
      r -= d;
      ++q;
    }
  }

  void Limit(int64_t& from, int64_t& to) const {
    switch (kind) {
      case kLeft: {
        // x >= ceil(-m / d) = -floor(m / d)
        from = std::max(from, -q);
        break;
      }
      case kRight: to = std::min(to, q); break;
      case kFlat:
        if (q < 0) to = from - 1;
        break;
    }
  }
};

template <class T>
void FillRow(uint8_t* at, int count, uint32_t keep, uint32_t value) {
  for (int x = 0; x < count; ++x, at += sizeof(T)) {
    T old;
    std::memcpy(&old, at, sizeof old);
    const auto updated = static_cast<T>((old & keep) | value);
    std::memcpy(at, &updated, sizeof updated);
  }
}

void FillClear(const SpanTarget& target, const SetupPrimitive& p, int left, int top, int right, int bottom) {
  const int x0 = std::max(left, p.minX), x1 = std::min(right, p.maxX);
  const int y0 = std::max(top, p.minY), y1 = std::min(bottom, p.maxY);
  if (x0 > x1 || y0 > y1) return;
  const int colourBytes = ColourBytes(p.state->pixel.colourFormat);
  const int depthBytes = DepthBytes(p.state->pixel.depthFormat);
  const int count = x1 - x0 + 1;
  for (int y = y0; y <= y1; ++y) {
    if (p.clearColour) {
      uint8_t* at = target.colour + y * target.colourPitch + x0 * colourBytes;
      switch (colourBytes) {
        case 2: FillRow<uint16_t>(at, count, 0, p.colourValue); break;
        case 4: FillRow<uint32_t>(at, count, 0, p.colourValue); break;
        default:
          for (int x = 0; x < count; ++x, at += 3) {
            at[0] = static_cast<uint8_t>(p.colourValue);
            at[1] = static_cast<uint8_t>(p.colourValue >> 8);
            at[2] = static_cast<uint8_t>(p.colourValue >> 16);
          }
      }
    }
    if (p.clearDepth && target.depth) {
      uint8_t* at = target.depth + y * target.depthPitch + x0 * depthBytes;
      if (depthBytes == 2) {
        FillRow<uint16_t>(at, count, p.depthKeep, p.depthValue);
      } else {
        FillRow<uint32_t>(at, count, p.depthKeep, p.depthValue);
      }
    }
  }
}

// Triangles narrower than this are covered by testing pixels, wider ones by walking edges.
constexpr int kNarrow = 16;

// Every edge spans at most 64 pixels across and down: the edge functions at the pixels of the
// triangle's bounds stay below 2^30 in size, counted from any of them.
bool SmallEdges(const SetupPrimitive& p) {
  constexpr int64_t kLimit = 64 * kSubpixel * kSubpixel;
  for (const Edge& e : p.edges) {
    if (e.a > kLimit || e.a < -kLimit || e.b > kLimit || e.b < -kLimit) return false;
  }
  return true;
}

void ClampBounds(SetupPrimitive& out, const Viewport& vp) {
  out.minX = std::max(out.minX, vp.x);
  out.minY = std::max(out.minY, vp.y);
  out.maxX = std::min(out.maxX, vp.x + vp.width - 1);
  out.maxY = std::min(out.maxY, vp.y + vp.height - 1);
}

// The pixels a primitive covers, handed to its span a batch at a time: rows for the reference
// span; for a specialised span groups of four, a row's pixels side by side where four are left,
// the others packed with those of the next rows.
class Coverage {
 public:
  Coverage(const SpanTarget& target, const SetupPrimitive& p, bool reference)
      : target_(target), p_(p), reference_(reference) {}
  Coverage(const Coverage&) = delete;
  Coverage& operator=(const Coverage&) = delete;
  ~Coverage() {
    if (open_.count > 0) Group();
    Flush();
  }

  // Pixels from <= x <= to of row y.
  void Row(int y, int from, int to) {
    if (from > to) return;
    if (reference_) {
      rows_[count_++] = {y, from, to + 1};
      if (count_ == kBatch) Flush();
      return;
    }
    for (int x = from; x <= to;) {
      if (open_.count == 0 && to - x >= 3) {
        PixelGroup& g = groups_[count_];
        for (int i = 0; i < 4; ++i) {
          g.x[i] = x + i;
          g.y[i] = y;
        }
        g.count = 4;
        g.run = true;
        x += 4;
        if (++count_ == kBatch) Flush();
        continue;
      }
      open_.x[open_.count] = x++;
      open_.y[open_.count] = y;
      if (++open_.count == 4) Group();
    }
  }

 private:
  static constexpr int kBatch = 64;

  void Group() {
    open_.run = false;
    groups_[count_] = open_;
    open_.count = 0;
    if (++count_ == kBatch) Flush();
  }

  void Flush() {
    if (count_ == 0) return;
    if (reference_) {
      ReferenceSpan(target_, *p_.state, p_.planes, rows_, count_);
    } else {
      p_.state->fill(target_, *p_.state, p_.planes, groups_, count_);
    }
    count_ = 0;
  }

  const SpanTarget& target_;
  const SetupPrimitive& p_;
  const bool reference_;
  int count_ = 0;
  union {
    SpanRow rows_[kBatch];
    PixelGroup groups_[kBatch];
  };
  PixelGroup open_{{}, {}, 0, false};
};

// Covers [x0, x1] of row y of a line or point, the pixels inside the rectangle.
void Run(Coverage& coverage, const SetupPrimitive& p, int y, int x0, int x1, int left, int top, int right, int bottom) {
  if (y < top || y > bottom || y < p.minY || y > p.maxY) return;
  x0 = std::max({x0, left, p.minX});
  x1 = std::min({x1, right, p.maxX});
  coverage.Row(y, x0, x1);
}

void FillLine(Coverage& coverage, const SetupPrimitive& p, int left, int top, int right, int bottom) {
  const float dx = p.x1 - p.x0;
  const float dy = p.y1 - p.y0;
  const bool xMajor = std::fabs(dx) >= std::fabs(dy);
  // Pixels step along the major axis from the first end's pixel to the last end's, the last one
  // only when asked; the other coordinate is the line's at that pixel centre, rounded.
  const float a0 = xMajor ? p.x0 : p.y0;
  const float a1 = xMajor ? p.x1 : p.y1;
  const float b0 = xMajor ? p.y0 : p.x0;
  const float slope = xMajor ? (dx != 0.0f ? dy / dx : 0.0f) : (dy != 0.0f ? dx / dy : 0.0f);
  const int first = FloorToInt(a0 + 0.5f);
  const int last = FloorToInt(a1 + 0.5f);
  const int step = last >= first ? 1 : -1;
  const int end = p.lastPixel ? last + step : last;
  // Only the part of the major axis inside the rectangle is walked.
  const int low = xMajor ? left : top;
  const int high = xMajor ? right : bottom;
  for (int i = first; i != end; i += step) {
    if ((step > 0 && i > high) || (step < 0 && i < low)) break;
    if (i < low || i > high) continue;
    const int j = FloorToInt(b0 + slope * (static_cast<float>(i) - a0) + 0.5f);
    if (xMajor) {
      Run(coverage, p, j, i, i, left, top, right, bottom);
    } else {
      Run(coverage, p, i, j, j, left, top, right, bottom);
    }
  }
}

}  // namespace

bool SetupTriangle(const ScreenVertex& v0, const ScreenVertex& v1, const ScreenVertex& v2, Cull cull, bool flat,
                   const ScreenVertex& provoking, const DrawState& state, std::vector<SetupPrimitive>& list) {
  const ScreenVertex* v[3] = {&v0, &v1, &v2};
  // The corners snapped to 1/256 pixel, three at once: positions past the guard band (or NaN),
  // and depths or q that are not finite, draw nothing.
  const V4f xs{v0.x, v1.x, v2.x, 0.0f}, ys{v0.y, v1.y, v2.y, 0.0f};
  const V4f qs{v0.q, v1.q, v2.q, 0.0f}, zs{v0.z, v1.z, v2.z, 0.0f};
  const V4i absMask = V4i{} + 0x7FFFFFFF;
  const V4f absX = reinterpret_cast<V4f>(reinterpret_cast<V4i>(xs) & absMask);
  const V4f absY = reinterpret_cast<V4f>(reinterpret_cast<V4i>(ys) & absMask);
  const V4i valid = (absX <= 2.0f * kGuardBand) & (absY <= 2.0f * kGuardBand) & (qs - qs == 0.0f) & (zs - zs == 0.0f);
  if ((_mm_movemask_ps(reinterpret_cast<__m128>(valid)) & 7) != 7) return false;
  const auto floors = [](V4f f) {
    const V4i i = __builtin_convertvector(f, V4i);
    return i + (__builtin_convertvector(i, V4f) > f);  // true lanes are -1
  };
  const V4i sx = floors(xs * static_cast<float>(kSubpixel) + 0.5f);
  const V4i sy = floors(ys * static_cast<float>(kSubpixel) + 0.5f);
  int64_t X[3] = {sx[0], sx[1], sx[2]}, Y[3] = {sy[0], sy[1], sy[2]};
  const int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
  if (area == 0) return false;
  // Positive area winds clockwise on the screen (y down).
  if ((cull == Cull::Clockwise && area > 0) || (cull == Cull::CounterClockwise && area < 0)) return false;
  if (area < 0) {
    std::swap(v[1], v[2]);
    std::swap(X[1], X[2]);
    std::swap(Y[1], Y[2]);
  }
  const int64_t minX = std::min({X[0], X[1], X[2]}), maxX = std::max({X[0], X[1], X[2]});
  const int64_t minY = std::min({Y[0], Y[1], Y[2]}), maxY = std::max({Y[0], Y[1], Y[2]});
  const Viewport& vp = state.viewport;
  // Pixel centres inside the bounds: ceil and floor of the bounds in whole pixels.
  const int left = std::max(static_cast<int>(-((-minX) >> kSubpixelBits)), vp.x);
  const int right = std::min(static_cast<int>(maxX >> kSubpixelBits), vp.x + vp.width - 1);
  const int top = std::max(static_cast<int>(-((-minY) >> kSubpixelBits)), vp.y);
  const int bottom = std::min(static_cast<int>(maxY >> kSubpixelBits), vp.y + vp.height - 1);
  if (left > right || top > bottom) return false;

  // Only a triangle that shows takes a place in the list.
  SetupPrimitive& out = list.emplace_back();
  out.minX = left;
  out.maxX = right;
  out.minY = top;
  out.maxY = bottom;
  out.kind = SetupPrimitive::kTriangle;
  out.state = &state;
  for (int i = 0; i < 3; ++i) {
    const int j = (i + 1) % 3;
    const int64_t dx = X[j] - X[i];
    const int64_t dy = Y[j] - Y[i];
    Edge& e = out.edges[i];
    e.a = -dy * kSubpixel;
    e.b = dx * kSubpixel;
    e.c = -dx * Y[i] + dy * X[i];
    e.threshold = (dy < 0 || (dy == 0 && dx > 0)) ? 0 : 1;
  }

  // Planes through the snapped positions, relative to the first vertex, four attributes at a
  // time; those the span does not read are 0.
  alignas(16) float values[3][kPlaneFloats];
  for (int i = 0; i < 3; ++i) VertexValues(*v[i], Colours(*v[i], flat ? &provoking : nullptr), values[i]);
  constexpr float kPixel = 1.0f / static_cast<float>(kSubpixel);
  const float ex1 = static_cast<float>(X[1] - X[0]) * kPixel, ey1 = static_cast<float>(Y[1] - Y[0]) * kPixel;
  const float ex2 = static_cast<float>(X[2] - X[0]) * kPixel, ey2 = static_cast<float>(Y[2] - Y[0]) * kPixel;
  const float inverse = 1.0f / (ex1 * ey2 - ex2 * ey1);
  Planes& p = out.planes;
  p.ox = static_cast<float>(X[0]) * kPixel;
  p.oy = static_cast<float>(Y[0]) * kPixel;
  for (int k = 0; k < kPlaneFloats; k += 4) {
    V4f a, b, c;
    V4i mask;
    std::memcpy(&a, &values[0][k], sizeof a);
    std::memcpy(&b, &values[1][k], sizeof b);
    std::memcpy(&c, &values[2][k], sizeof c);
    std::memcpy(&mask, &state.planeMask[k], sizeof mask);
    const V4f d1 = b - a, d2 = c - a;
    const V4i dx = reinterpret_cast<V4i>((d1 * ey2 - d2 * ey1) * inverse) & mask;
    const V4i dy = reinterpret_cast<V4i>((d2 * ex1 - d1 * ex2) * inverse) & mask;
    const V4i a0 = reinterpret_cast<V4i>(a) & mask;
    std::memcpy(&p.a0[k], &a0, sizeof a0);
    std::memcpy(&p.dx[k], &dx, sizeof dx);
    std::memcpy(&p.dy[k], &dy, sizeof dy);
  }
  return true;
}

bool SetupLine(const ScreenVertex& v0, const ScreenVertex& v1, bool flat, bool lastPixel, const DrawState& state,
               SetupPrimitive& out) {
  for (const ScreenVertex* v : {&v0, &v1}) {
    if (!(std::fabs(v->x) <= 2.0f * kGuardBand) || !(std::fabs(v->y) <= 2.0f * kGuardBand)) return false;
    if (!std::isfinite(v->q) || !std::isfinite(v->z)) return false;
  }
  out.kind = SetupPrimitive::kLine;
  out.state = &state;
  out.lastPixel = lastPixel;
  out.x0 = v0.x;
  out.y0 = v0.y;
  out.x1 = v1.x;
  out.y1 = v1.y;
  out.minX = FloorToInt(std::min(v0.x, v1.x) + 0.5f) - 1;
  out.maxX = FloorToInt(std::max(v0.x, v1.x) + 0.5f) + 1;
  out.minY = FloorToInt(std::min(v0.y, v1.y) + 0.5f) - 1;
  out.maxY = FloorToInt(std::max(v0.y, v1.y) + 0.5f) + 1;
  ClampBounds(out, state.viewport);
  if (out.minX > out.maxX || out.minY > out.maxY) return false;

  // Attributes change along the line and not across it.
  float a[kPlaneFloats], b[kPlaneFloats];
  VertexValues(v0, Colours(v0, flat ? &v0 : nullptr), a);
  VertexValues(v1, Colours(v1, flat ? &v0 : nullptr), b);
  const double dx = static_cast<double>(v1.x) - v0.x, dy = static_cast<double>(v1.y) - v0.y;
  const double length2 = dx * dx + dy * dy;
  Planes& p = out.planes;
  p.ox = v0.x;
  p.oy = v0.y;
  for (int i = 0; i < kPlaneFloats; ++i) {
    const double d = static_cast<double>(b[i]) - a[i];
    p.a0[i] = a[i];
    p.dx[i] = length2 > 0.0 ? static_cast<float>(d * dx / length2) : 0.0f;
    p.dy[i] = length2 > 0.0 ? static_cast<float>(d * dy / length2) : 0.0f;
  }
  return true;
}

bool SetupPoint(const ScreenVertex& v, const DrawState& state, SetupPrimitive& out) {
  if (!(std::fabs(v.x) <= 2.0f * kGuardBand) || !(std::fabs(v.y) <= 2.0f * kGuardBand)) return false;
  if (!std::isfinite(v.q) || !std::isfinite(v.z)) return false;
  out.kind = SetupPrimitive::kPoint;
  out.state = &state;
  out.minX = out.maxX = FloorToInt(v.x + 0.5f);
  out.minY = out.maxY = FloorToInt(v.y + 0.5f);
  ClampBounds(out, state.viewport);
  if (out.minX > out.maxX || out.minY > out.maxY) return false;
  Planes& p = out.planes;
  p.ox = static_cast<float>(out.minX);
  p.oy = static_cast<float>(out.minY);
  VertexValues(v, v.a, p.a0);
  std::fill(std::begin(p.dx), std::end(p.dx), 0.0f);
  std::fill(std::begin(p.dy), std::end(p.dy), 0.0f);
  return true;
}

void FillPrimitive(const SpanTarget& target, const SetupPrimitive& p, int left, int top, int right, int bottom,
                   bool reference) {
  if (p.kind == SetupPrimitive::kClear) {
    FillClear(target, p, left, top, right, bottom);
    return;
  }
  Coverage coverage(target, p, reference);
  if (p.kind == SetupPrimitive::kPoint) {
    Run(coverage, p, p.minY, p.minX, p.minX, left, top, right, bottom);
    return;
  }
  if (p.kind == SetupPrimitive::kLine) {
    FillLine(coverage, p, left, top, right, bottom);
    return;
  }
  const int y0 = std::max(top, p.minY), y1 = std::min(bottom, p.maxY);
  const int xl = std::max(left, p.minX), xr = std::min(right, p.maxX);
  if (y0 > y1 || xl > xr) return;
  const auto add = [&coverage](int y, int64_t from, int64_t to) {
    if (from <= to) coverage.Row(y, static_cast<int>(from), static_cast<int>(to));
  };
  if (xr - xl < kNarrow && SmallEdges(p)) {
    // Narrow and small: the edge functions of 16 pixels of a row at once, in 32-bit lanes
    // counted from the row's first pixel, where they cannot overflow.
    V4i e[3][kNarrow / 4], step[3], above[3];
    const int groups = (xr - xl) / 4 + 1;
    for (int i = 0; i < 3; ++i) {
      const Edge& edge = p.edges[i];
      const auto start = static_cast<int32_t>(edge.a * xl + edge.b * y0 + edge.c);
      const auto a = static_cast<int32_t>(edge.a);
      for (int g = 0; g < groups; ++g) e[i][g] = start + a * (V4i{0, 1, 2, 3} + 4 * g);
      step[i] = V4i{} + static_cast<int32_t>(edge.b);
      above[i] = V4i{} + static_cast<int32_t>(edge.threshold - 1);
    }
    const uint32_t inRow = (xr - xl + 1) >= 32 ? ~0u : (1u << (xr - xl + 1)) - 1;
    for (int y = y0; y <= y1; ++y) {
      uint32_t covered = 0;
      for (int g = 0; g < groups; ++g) {
        const V4i inside = (e[0][g] > above[0]) & (e[1][g] > above[1]) & (e[2][g] > above[2]);
        covered |= static_cast<uint32_t>(_mm_movemask_ps(reinterpret_cast<__m128>(inside))) << (4 * g);
        for (int i = 0; i < 3; ++i) e[i][g] += step[i];
      }
      covered &= inRow;
      // A triangle's row is one run.
      if (covered) add(y, xl + std::countr_zero(covered), xl + 31 - std::countl_zero(covered));
    }
  } else if (xr - xl < kNarrow) {
    // Narrow: test the pixels of each row, stepping the edge functions by whole pixels.
    int64_t rowStart[3];
    for (int i = 0; i < 3; ++i) rowStart[i] = p.edges[i].a * xl + p.edges[i].b * y0 + p.edges[i].c;
    for (int y = y0; y <= y1; ++y) {
      int64_t e[3] = {rowStart[0], rowStart[1], rowStart[2]};
      int from = xr + 1, to = xl - 1;
      for (int x = xl; x <= xr; ++x) {
        if (e[0] >= p.edges[0].threshold && e[1] >= p.edges[1].threshold && e[2] >= p.edges[2].threshold) {
          from = std::min(from, x);
          to = x;
        } else if (to >= from) {
          break;  // a triangle's row is one run
        }
        for (int i = 0; i < 3; ++i) e[i] += p.edges[i].a;
      }
      add(y, from, to);
      for (int i = 0; i < 3; ++i) rowStart[i] += p.edges[i].b;
    }
  } else {
    EdgeWalk walks[3];
    for (int i = 0; i < 3; ++i) walks[i].Start(p.edges[i], y0);
    for (int y = y0; y <= y1; ++y) {
      int64_t from = xl, to = xr;
      for (EdgeWalk& walk : walks) {
        walk.Limit(from, to);
        walk.Step();
      }
      add(y, from, to);
    }
  }
}

void FillTriangleByPixels(const SpanTarget& target, const SetupPrimitive& p, int left, int top, int right, int bottom) {
  for (int y = std::max(top, p.minY); y <= std::min(bottom, p.maxY); ++y) {
    for (int x = std::max(left, p.minX); x <= std::min(right, p.maxX); ++x) {
      bool inside = true;
      for (const Edge& e : p.edges) inside = inside && e.a * x + e.b * y + e.c >= e.threshold;
      const SpanRow row{y, x, x + 1};
      if (inside) ReferenceSpan(target, *p.state, p.planes, &row, 1);
    }
  }
}

}  // namespace vx::raster::detail
