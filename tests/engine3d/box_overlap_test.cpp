// The oriented box test on its own: turned axes and the cross products of edges separate what the
// face axes cannot, and degenerate or damaged boxes give an answer, not a value that is not a number.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine3d/box_overlap.h"
#include "engine3d/maths3d.h"

namespace vx {
namespace {

constexpr float kQuarter = 3.14159265f / 4.0f;

// A unit cube (half extents 0.5) at the centre, turned about x, y and z in that order (radians).
OrientedBox UnitBox(float x, float y, float z, float ax = 0, float ay = 0, float az = 0) {
  OrientedBox box{{x, y, z}, {0.5f, 0.5f, 0.5f}, {}};
  RotationMatrixFromAngles(box.orientation, ax, ay, az);
  box.orientation.At(3, 0) = 100.0f;  // translation does not count
  return box;
}

bool Both(const OrientedBox& a, const OrientedBox& b) {
  const bool ab = OverlapBoxes(a, b), ba = OverlapBoxes(b, a);
  EXPECT_EQ(ab, ba) << "the order does not matter";
  return ab;
}

TEST(BoxOverlapTest, TurnedAxesAndTheCrossProductsOfEdgesSeparate) {
  // A box turned an eighth about y reaches 0.7071 along x with its edge; scale does not stretch a box.
  EXPECT_TRUE(Both(UnitBox(0, 0, 0), UnitBox(1.19f, 0, 0, 0, kQuarter, 0)));
  EXPECT_FALSE(Both(UnitBox(0, 0, 0), UnitBox(1.22f, 0, 0, 0, kQuarter, 0)));
  OrientedBox scaled = UnitBox(0, 0, 0);
  scaled.orientation.At(0, 0) = 5.0f;
  EXPECT_FALSE(Both(scaled, UnitBox(1.5f, 0, 0)));
  // A's edge along z stands at x = 0.7071; B's edge along y at 1.4142 + d - 0.7071. No face axis of
  // either box separates them; only the cross product of the two edges, x.
  const OrientedBox a = UnitBox(0, 0, 0, 0, 0, kQuarter);
  EXPECT_FALSE(Both(a, UnitBox(1.4242f, 0, 0, 0, kQuarter, 0)));
  EXPECT_TRUE(Both(a, UnitBox(1.4042f, 0, 0, 0, kQuarter, 0)));
}

TEST(BoxOverlapTest, DegenerateAndDamagedBoxesGiveAnAnswer) {
  OrientedBox flat = UnitBox(0, 0, 0);
  for (float& v : flat.orientation.m) v = 0.0f;  // no axes at all: a point
  EXPECT_TRUE(Both(flat, UnitBox(0.4f, 0, 0)));
  EXPECT_FALSE(Both(flat, UnitBox(0.6f, 0, 0)));
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_FALSE(Both(UnitBox(nan, 0, 0), UnitBox(0, 0, 0)));
  OrientedBox damaged = UnitBox(0, 0, 0);
  damaged.halfExtents[1] = nan;
  EXPECT_FALSE(Both(damaged, UnitBox(0, 0, 0)));
}

}  // namespace
}  // namespace vx
