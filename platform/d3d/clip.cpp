// Clipping in homogeneous clip space: the near plane (z = 0), the far plane (z = w), a tiny w
// above 0, and the guard band on x and y, so that what is left projects onto finite screen
// coordinates the set-up can snap. Attributes interpolate linearly in clip space, which is
// perspective-correct once divided.
#include <cstring>

#include "platform/d3d/raster_internal.h"

namespace vx::raster::detail {
namespace {

constexpr int kPlanes = 7;
constexpr int kFloats = sizeof(ClipVertex) / sizeof(float);
static_assert(sizeof(ClipVertex) == kFloats * sizeof(float), "clip vertices are all floats");

// Signed distance to plane i: inside when not negative.
float Distance(const ClipVertex& v, int plane, float gx, float gy) {
  switch (plane) {
    case 0: return v.z;
    case 1: return v.w - v.z;
    case 2: return v.w - kMinimumW;
    case 3: return gx * v.w - v.x;
    case 4: return gx * v.w + v.x;
    case 5: return gy * v.w - v.y;
    default: return gy * v.w + v.y;
  }
}

ClipVertex Lerp(const ClipVertex& a, const ClipVertex& b, float t) {
  float fa[kFloats], fb[kFloats], fo[kFloats];
  std::memcpy(fa, &a, sizeof a);
  std::memcpy(fb, &b, sizeof b);
  for (int i = 0; i < kFloats; ++i) fo[i] = fa[i] + (fb[i] - fa[i]) * t;
  ClipVertex out;
  std::memcpy(&out, fo, sizeof out);
  return out;
}

}  // namespace

int ClipPolygon(const ClipVertex* in, int count, float gx, float gy, ClipVertex* out) {
  unsigned any = 0, all = ~0u;
  for (int i = 0; i < count; ++i) {
    const unsigned mask = OutsideMask(in[i], gx, gy);
    any |= mask;
    all &= mask;
  }
  if (all) return 0;
  ClipVertex a[kMaxClippedVertices], b[kMaxClippedVertices];
  std::memcpy(a, in, sizeof(ClipVertex) * count);
  ClipVertex* from = a;
  ClipVertex* to = b;
  for (int plane = 0; plane < kPlanes && count > 0; ++plane) {
    if (!(any & (1u << plane))) continue;
    int made = 0;
    for (int i = 0; i < count; ++i) {
      const ClipVertex& p = from[i];
      const ClipVertex& n = from[(i + 1) % count];
      const float dp = Distance(p, plane, gx, gy);
      const float dn = Distance(n, plane, gx, gy);
      const bool pIn = dp >= 0.0f, nIn = dn >= 0.0f;
      if (pIn) to[made++] = p;
      if (pIn != nIn && made < kMaxClippedVertices) {
        // Always from the inside vertex, so that a shared edge clips to the same point.
        to[made++] = pIn ? Lerp(p, n, dp / (dp - dn)) : Lerp(n, p, dn / (dn - dp));
      }
    }
    count = made >= 3 ? made : 0;
    std::swap(from, to);
  }
  std::memcpy(out, from, sizeof(ClipVertex) * count);
  return count;
}

bool ClipLine(const ClipVertex& a, const ClipVertex& b, float gx, float gy, ClipVertex* out) {
  float t0 = 0.0f, t1 = 1.0f;
  for (int plane = 0; plane < kPlanes; ++plane) {
    const float da = Distance(a, plane, gx, gy);
    const float db = Distance(b, plane, gx, gy);
    if (!(da >= 0.0f) && !(db >= 0.0f)) return false;
    if (da >= 0.0f && db >= 0.0f) continue;
    const float t = da / (da - db);
    if (!(da >= 0.0f)) {
      t0 = t > t0 ? t : t0;
    } else {
      t1 = t < t1 ? t : t1;
    }
  }
  if (t0 > t1) return false;
  out[0] = t0 > 0.0f ? Lerp(a, b, t0) : a;
  out[1] = t1 < 1.0f ? Lerp(a, b, t1) : b;
  return true;
}

}  // namespace vx::raster::detail
