// Oriented box overlap (box_overlap.h). The sums run in double: the cross products of nearly
// parallel axes are tiny, and their projections must keep the sign of the comparison.
#include "engine3d/box_overlap.h"

#include <cmath>

namespace vx {

namespace {

struct Axis {
  double x, y, z;
};

double Dot(const Axis& a, const Axis& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Axis Cross(const Axis& a, const Axis& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// The box's axis k: the image of the unit vector under the matrix less the image of the origin,
// which is the matrix's row k; normalised, or left at no length when it has none.
Axis BoxAxis(const Matrix4f& m, int k) {
  Axis a{m.At(k, 0), m.At(k, 1), m.At(k, 2)};
  const double length = std::sqrt(Dot(a, a));
  if (length > 0.0 && std::isfinite(length)) return {a.x / length, a.y / length, a.z / length};
  return {0.0, 0.0, 0.0};
}

// The half length of the box's shadow on the line.
double Radius(const Axis axes[3], const float half[3], const Axis& line) {
  double r = 0.0;
  for (int k = 0; k < 3; ++k) r += double(half[k]) * std::fabs(Dot(axes[k], line));
  return r;
}

}  // namespace

bool OverlapBoxes(const OrientedBox& a, const OrientedBox& b) {
  Axis axesA[3], axesB[3];
  for (int k = 0; k < 3; ++k) {
    axesA[k] = BoxAxis(a.orientation, k);
    axesB[k] = BoxAxis(b.orientation, k);
  }
  const Axis t{double(b.centre[0]) - a.centre[0], double(b.centre[1]) - a.centre[1], double(b.centre[2]) - a.centre[2]};
  // Written as "not within reach" so that a value that is not a number separates.
  auto separates = [&](const Axis& line) {
    return !(std::fabs(Dot(t, line)) <= Radius(axesA, a.halfExtents, line) + Radius(axesB, b.halfExtents, line));
  };
  for (int k = 0; k < 3; ++k)
    if (separates(axesA[k]) || separates(axesB[k])) return false;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      if (separates(Cross(axesA[i], axesB[j]))) return false;
  return true;
}

}  // namespace vx
