// The edge cases of the engine's maths: aliasing in products, the tolerances at which inversion,
// projection and the homogeneous divide give up, degenerate vectors and views, angle wrapping,
// rotation directions and the order of the frame composition.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "engine3d/maths3d.h"

namespace vx {
namespace {

Matrix4f Identity() {
  Matrix4f m;
  MatrixIdentity(m);
  return m;
}
Matrix4f Filled(float first) {
  Matrix4f m;
  for (int i = 0; i < 16; ++i) m.m[i] = first + float(i);
  return m;
}
Matrix4f Product(const Matrix4f& a, const Matrix4f& b) {
  Matrix4f out;
  MatrixMultiply(out, a, b);
  return out;
}
bool SameBits(const Matrix4f& a, const Matrix4f& b) { return std::memcmp(a.m, b.m, sizeof a.m) == 0; }

::testing::AssertionResult Near(const Vector3f& v, float x, float y, float z) {
  if (std::fabs(v.x - x) <= 1e-5f && std::fabs(v.y - y) <= 1e-5f && std::fabs(v.z - z) <= 1e-5f)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << v.x << ", " << v.y << ", " << v.z << ")";
}

// p x M for a point (w = 1).
Vector3f Apply(const Vector3f& p, const Matrix4f& m) {
  Vector3f out(0, 0, 0);
  EXPECT_EQ(TransformCoord(out, p, m), kMathsOk);
  return out;
}

TEST(Maths3dTest, DegenerateInputIsRefusedAndLeavesTheOutputAlone) {
  Matrix4f skewed = Identity(), singular = Identity(), tiny = Identity(), out = Filled(3);
  skewed.At(0, 3) = 0.002f;  // the last column must be (0, 0, 0, 1) within 0.001
  singular.At(1, 1) = 0.0f;
  tiny.At(3, 3) = -0.000005f;  // |w| below 0.00001
  EXPECT_EQ(MatrixInvert(out, skewed), kMathsInvalidArg);
  EXPECT_EQ(MatrixInvert(out, singular), kMathsInvalidArg);
  EXPECT_EQ(ComposeFrameMatrixFromRotation(out, Vector3f(0, 0, 0), singular, Vector3f(1, 1, 1)), kMathsInvalidArg);
  for (auto [fov, far] : {std::pair(1.0f, 1.005f), std::pair(0.019f, 100.0f)})
    EXPECT_EQ(MatrixPerspective(out, fov, 0.75f, 1.0f, far), kMathsInvalidArg) << fov << " " << far;
  Vector3f v(9, 9, 9);
  EXPECT_EQ(TransformCoord(v, Vector3f(0, 0, 0), tiny), kMathsInvalidArg);
  EXPECT_TRUE(Near(v, 9, 9, 9));
  EXPECT_TRUE(SameBits(out, Filled(3)));

  Matrix4f frame, inverse;
  ComposeFrameMatrix(frame, Vector3f(3, -4, 12), Vector3f(30, 45, 60), Vector3f(2, 0.5f, 1), 0);
  ASSERT_EQ(MatrixInvert(inverse, frame), kMathsOk);
  EXPECT_TRUE(Near(Apply(Apply(Vector3f(1, 2, 3), frame), inverse), 1, 2, 3));
  // A camera looking at its own eye, and normalising nothing, give no NaNs.
  MatrixLookAt(out, Vector3f(1, 1, 1), Vector3f(1, 1, 1), Vector3f(0, 1, 0));
  for (float f : out.m) EXPECT_FALSE(std::isnan(f));
  Vector3Normalize(v, Vector3f(0, 0, 0));
  EXPECT_TRUE(Near(v, 0, 0, 0));
}

TEST(Maths3dTest, AnglesWrapWithoutLoopingForeverAndTheWorldIsLeftHanded) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  const std::pair<float, float> wraps[] = {{-30, 330}, {360, 0}, {35990, 350}, {40000, 0}, {nan, 0}, {-inf, 0}};
  for (const auto& [in, out] : wraps) EXPECT_EQ(WrapAngleDegrees(in), out) << in;

  Matrix4f m;
  MatrixLookAt(m, Vector3f(0, 0, 0), Vector3f(10, 0, 0), Vector3f(0, 1, 0));
  EXPECT_TRUE(Near(Apply(Vector3f(5, 0, 0), m), 0, 0, 5)) << "looking along +x";
  EXPECT_TRUE(Near(Apply(Vector3f(0, 0, 1), m), -1, 0, 0)) << "+z is on the left";
  ASSERT_EQ(MatrixPerspective(m, 3.14159265f / 2.0f, 0.75f, 1.0f, 101.0f), kMathsOk);
  EXPECT_EQ(std::tuple(m.At(0, 0), m.At(2, 3), m.At(3, 3)), std::tuple(0.75f, 1.0f, 0.0f));
  EXPECT_FLOAT_EQ(m.At(3, 2), -1.01f);
  MatrixRotationY(m, 3.14159265f / 2.0f);  // at the gimbal lock z is taken as 0
  m.At(0, 0) = m.At(1, 0) = 0.0f;
  float x, y, z;
  MatrixToEulerDegrees(m.m, x, y, z);
  EXPECT_EQ(z, 0.0f);
  EXPECT_NEAR(y, -90.0f, 1e-3f);
}

TEST(Maths3dTest, ProductsMayAliasAndFramesAreScaledThenTurnedInTheirOrderThenMoved) {
  const Matrix4f a = Filled(0), b = Filled(16), expected = Product(a, b);
  Matrix4f outA = a, outB = b, copy = a;
  MatrixMultiply(outA, outA, b);
  MatrixMultiply(outB, a, outB);
  MatrixMultiplyCopy(copy, copy, copy);
  EXPECT_TRUE(SameBits(outA, expected));
  EXPECT_TRUE(SameBits(outB, expected));
  EXPECT_TRUE(SameBits(copy, Product(a, a)));
  const float d = kEngineDegreesToRadians;
  Matrix4f rx, ry, rz, m = Filled(1);
  RotateMatrixByAngles(m, 0, 0, 0);
  EXPECT_TRUE(SameBits(m, Filled(1))) << "zero angles are skipped";
  MatrixRotationX(rx, 10 * d);
  MatrixRotationY(ry, 20 * d);
  MatrixRotationZ(rz, 30 * d);
  m = Identity();
  RotateMatrixByAngles(m, 10, 20, 30);
  EXPECT_TRUE(SameBits(m, Product(Product(Product(Identity(), rx), ry), rz)));
  RotationMatrixFromAngles(m, 10 * d, 20 * d, 30 * d);
  EXPECT_TRUE(SameBits(m, Product(Product(rx, ry), rz)));
  float x, y, z;
  AnglesTowardsPoint(0, 0, 0, 0, 10, 10, x, y, z);
  EXPECT_NEAR(x, float(double(d) * 360.0) - 0.78539819f, 1e-5f) << "upwards is a negative X angle, wrapped";

  ComposeFrameMatrix(m, Vector3f(5, 0, 0), Vector3f(0, 90, 0), Vector3f(2, 1, 1), 0);
  EXPECT_TRUE(Near(Apply(Vector3f(1, 0, 0), m), 5, 0, -2));
  ComposeFrameMatrix(m, Vector3f(0, 0, 0), Vector3f(90, 0, 90), Vector3f(1, 1, 1), 0);
  EXPECT_TRUE(Near(Apply(Vector3f(1, 0, 0), m), 0, 0, 1)) << "order 0: about Z first";
  ComposeFrameMatrix(m, Vector3f(0, 0, 0), Vector3f(90, 0, 90), Vector3f(1, 1, 1), 1);
  EXPECT_TRUE(Near(Apply(Vector3f(1, 0, 0), m), 0, 1, 0)) << "order 1: about X first";
  ASSERT_EQ(ComposeFrameMatrixFromRotation(m, Vector3f(0, 1, 0), ry, Vector3f(1, 1, 1)), kMathsOk);
  EXPECT_TRUE(Near(Apply(Vector3f(0, 0, 1), m), -std::sin(20 * d), 1, std::cos(20 * d)))
      << "the stored rotation is inverted";
}

}  // namespace
}  // namespace vx
