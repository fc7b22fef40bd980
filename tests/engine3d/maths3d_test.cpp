// The edge cases of the engine's maths in one table: identity and aliasing in products, the
// tolerances at which inversion, projection and the homogeneous divide give up, the degree
// constants and angle wrapping, rotation directions and the order of the frame composition.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "engine3d/maths3d.h"

namespace vx {
namespace {

constexpr float kNear = 1e-5f;

Matrix4f Identity() { Matrix4f m; MatrixIdentity(m); return m; }
Matrix4f Filled(float first) { Matrix4f m; for (int i = 0; i < 16; ++i) m.m[i] = first + float(i); return m; }
Matrix4f Product(const Matrix4f& a, const Matrix4f& b) { Matrix4f out; MatrixMultiply(out, a, b); return out; }
bool SameBits(const Matrix4f& a, const Matrix4f& b) { return std::memcmp(a.m, b.m, sizeof a.m) == 0; }

::testing::AssertionResult Near(const Matrix4f& a, const Matrix4f& b) {
  for (int i = 0; i < 16; ++i)
    if (!(std::fabs(a.m[i] - b.m[i]) <= kNear))
      return ::testing::AssertionFailure() << "element " << i << ": " << a.m[i] << " vs " << b.m[i];
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult Near(const Vector3f& v, float x, float y, float z, float tolerance = kNear) {
  if (std::fabs(v.x - x) <= tolerance && std::fabs(v.y - y) <= tolerance && std::fabs(v.z - z) <= tolerance)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << v.x << ", " << v.y << ", " << v.z << ") vs (" << x << ", " << y
                                       << ", " << z << ")";
}

// p x M for a point (w = 1).
Vector3f Apply(const Vector3f& p, const Matrix4f& m) {
  Vector3f out(0, 0, 0);
  EXPECT_EQ(TransformCoord(out, p, m), kMathsOk);
  return out;
}

struct Case {
  const char* name;
  std::function<void()> check;
};

const Case kCases[] = {
    {"identity has ones on the diagonal only; products are row times column",
     [] {
       const Matrix4f i = Identity();
       for (int r = 0; r < 4; ++r)
         for (int c = 0; c < 4; ++c) EXPECT_EQ(i.At(r, c), r == c ? 1.0f : 0.0f);
       EXPECT_TRUE(SameBits(Product(i, Filled(1)), Filled(1)));
       EXPECT_TRUE(SameBits(Product(Filled(1), i), Filled(1)));
       const Matrix4f p = Product(Filled(0), Filled(16));
       // (0,0) = 0*16 + 1*20 + 2*24 + 3*28, (3,2) = 12*18 + 13*22 + 14*26 + 15*30.
       EXPECT_EQ(p.At(0, 0), 152.0f);
       EXPECT_EQ(p.At(3, 2), 1316.0f);
     }},
    {"a product may be written over either factor",
     [] {
       const Matrix4f a = Filled(1), b = Filled(-7), expected = Product(a, b);
       Matrix4f outA = a, outB = b, copy = a;
       MatrixMultiply(outA, outA, b);
       MatrixMultiply(outB, a, outB);
       MatrixMultiplyCopy(copy, copy, copy);
       EXPECT_TRUE(SameBits(outA, expected));
       EXPECT_TRUE(SameBits(outB, expected));
       EXPECT_TRUE(SameBits(copy, Product(a, a)));
     }},
    {"inversion needs a last column of (0, 0, 0, 1) within 0.001 and a non-singular matrix",
     [] {
       // Identity with one element changed; (1, 1) = 0 is flat along y, and with (0, 0) and (2, 2) all zero.
       const struct { int r, c; float v; bool ok; } edits[] = {
           {0, 3, 0.002f, false}, {0, 3, 0.0005f, true}, {3, 3, 1.002f, false}, {3, 3, 0.9995f, true},
           {1, 1, 0.0f, false},   {-1, 0, 0.0f, false}};
       for (const auto& e : edits) {
         Matrix4f m = Identity(), out = Filled(3);
         if (e.r >= 0) m.At(e.r, e.c) = e.v;
         else m.At(0, 0) = m.At(1, 1) = m.At(2, 2) = 0.0f;
         ASSERT_EQ(MatrixInvert(out, m), e.ok ? kMathsOk : kMathsInvalidArg) << e.r << "," << e.c << " = " << e.v;
         if (e.ok) EXPECT_EQ(out.At(e.r, e.c), float(e.r == e.c)) << "the last column is taken as (0, 0, 0, 1)";
         else EXPECT_TRUE(SameBits(out, Filled(3))) << "a failed inversion leaves its output alone";
       }
       Matrix4f frame, inverse;
       ComposeFrameMatrix(frame, Vector3f(3, -4, 12), Vector3f(30, 45, 60), Vector3f(2, 0.5f, 1), 0);
       ASSERT_EQ(MatrixInvert(inverse, frame), kMathsOk);
       EXPECT_TRUE(Near(Product(frame, inverse), Identity()));
       EXPECT_TRUE(Near(Apply(Apply(Vector3f(1, 2, 3), frame), inverse), 1, 2, 3));
     }},
    {"the homogeneous divide gives up below |w| = 0.00001",
     [] {
       Matrix4f m = Identity();
       Vector3f out(9, 9, 9);
       for (float w : {0.000005f, -0.000005f}) {
         m.At(3, 3) = w;
         EXPECT_EQ(TransformCoord(out, Vector3f(0, 0, 0), m), kMathsInvalidArg) << w;
         EXPECT_TRUE(Near(out, 9, 9, 9, 0));
       }
       m.At(3, 3) = 0.00002f;
       m.At(3, 0) = 0.00004f;
       EXPECT_EQ(TransformCoord(out, Vector3f(0, 0, 0), m), kMathsOk);
       EXPECT_FLOAT_EQ(out.x, 2.0f);
     }},
    {"rotations put cosine and sine where the left-handed layout wants them",
     [] {
       const float a = 0.3f, c = std::cos(a), s = std::sin(a);
       Matrix4f x, y, z;
       MatrixRotationX(x, a);
       MatrixRotationY(y, a);
       MatrixRotationZ(z, a);
       const struct { const Matrix4f& m; int r, c; float v; } cells[] = {
           {x, 1, 1, c}, {x, 1, 2, s}, {x, 2, 1, -s}, {y, 0, 2, -s}, {y, 2, 0, s},
           {z, 0, 1, s}, {z, 1, 0, -s}, {x, 0, 0, 1}, {z, 3, 3, 1}};
       for (const auto& e : cells) EXPECT_EQ(e.m.At(e.r, e.c), e.v) << e.r << "," << e.c;
     }},
    {"projection refuses near and far closer than 0.01 and a field of view without a sine",
     [] {
       Matrix4f m = Filled(2);
       for (auto [fov, far] : {std::pair(1.0f, 1.005f), std::pair(0.0f, 100.0f), std::pair(0.019f, 100.0f)})
         EXPECT_EQ(MatrixPerspective(m, fov, 0.75f, 1.0f, far), kMathsInvalidArg) << fov << " " << far;
       EXPECT_TRUE(SameBits(m, Filled(2)));
       ASSERT_EQ(MatrixPerspective(m, 3.14159265f / 2.0f, 0.75f, 1.0f, 101.0f), kMathsOk);
       EXPECT_FLOAT_EQ(m.At(0, 0), 0.75f);
       EXPECT_FLOAT_EQ(m.At(1, 1), 1.0f);
       EXPECT_FLOAT_EQ(m.At(2, 2), 1.01f);
       EXPECT_EQ(m.At(2, 3), 1.0f);
       EXPECT_FLOAT_EQ(m.At(3, 2), -1.01f);
       EXPECT_EQ(m.At(3, 3), 0.0f);
     }},
    {"look-at is left-handed, looking at the eye gives no NaNs, normalising nothing gives nothing,"
     " and cross products may alias",
     [] {
       Matrix4f view;
       MatrixLookAt(view, Vector3f(0, 0, -10), Vector3f(0, 0, 0), Vector3f(0, 1, 0));
       EXPECT_TRUE(Near(Apply(Vector3f(0, 0, 0), view), 0, 0, 10));
       EXPECT_TRUE(Near(Apply(Vector3f(1, 2, 0), view), 1, 2, 10));
       MatrixLookAt(view, Vector3f(0, 0, 0), Vector3f(10, 0, 0), Vector3f(0, 1, 0));
       EXPECT_TRUE(Near(Apply(Vector3f(5, 0, 0), view), 0, 0, 5)) << "looking along +x";
       EXPECT_TRUE(Near(Apply(Vector3f(0, 0, 1), view), -1, 0, 0)) << "left-handed: +z is on the left";
       MatrixLookAt(view, Vector3f(1, 1, 1), Vector3f(1, 1, 1), Vector3f(0, 1, 0));
       for (float v : view.m) EXPECT_FALSE(std::isnan(v));
       Vector3f v(7, 7, 7);
       Vector3Normalize(v, Vector3f(0, 0, 0));
       EXPECT_TRUE(Near(v, 0, 0, 0, 0));
       Vector3Normalize(v, Vector3f(3, 4, 0));
       EXPECT_TRUE(Near(v, 0.6f, 0.8f, 0));
       Vector3Cross(v, Vector3f(1, 0, 0), Vector3f(0, 1, 0));
       EXPECT_TRUE(Near(v, 0, 0, 1, 0));
       v = Vector3f(1, 2, 3);
       Vector3Cross(v, v, Vector3f(4, 5, 6));
       EXPECT_TRUE(Near(v, -3, 6, -3, 0));
     }},
    {"the engine's degree constants, the coarse one, angles wrapping into [0, 360) in at most 100 steps;"
     " rotating by angles skips zero angles and multiplies X, then Y, then Z on the right",
     [] {
       EXPECT_EQ(kEngineDegreesToRadians, 0.017453292f);
       EXPECT_EQ(kEngineRadiansToDegrees, 57.29578f);
       EXPECT_DOUBLE_EQ(DegreesToRadians(180.0), 180.0 * 0.01745);
       const float nan = std::numeric_limits<float>::quiet_NaN();
       const float inf = std::numeric_limits<float>::infinity();
       const std::pair<float, float> wraps[] = {{-30, 330}, {720, 0},     {35990, 350}, {40000, 0}, {359.5f, 359.5f},
                                                {0, 0},     {360, 0},     {-360, 0},    {-35290, 350}, {-35650, 0},
                                                {nan, 0},   {-inf, 0},    {inf, 0}};
       for (const auto& [in, out] : wraps) EXPECT_EQ(WrapAngleDegrees(in), out) << in;
       Matrix4f m = Filled(1);
       RotateMatrixByAngles(m, 0, 0, 0);
       EXPECT_TRUE(SameBits(m, Filled(1)));
       const float d = kEngineDegreesToRadians;
       Matrix4f rx, ry, rz, fromAngles;
       MatrixRotationX(rx, 10 * d);
       MatrixRotationY(ry, 20 * d);
       MatrixRotationZ(rz, 30 * d);
       m = Identity();
       RotateMatrixByAngles(m, 10, 20, 30);
       EXPECT_TRUE(SameBits(m, Product(Product(Product(Identity(), rx), ry), rz)));
       RotationMatrixFromAngles(fromAngles, 10 * d, 20 * d, 30 * d);
       EXPECT_TRUE(SameBits(fromAngles, Product(Product(rx, ry), rz)));
     }},
    {"the point rotation turns about X, then Y, then Z; angles towards a point are in [0, full turn)",
     [] {
       float x, y, z;
       EXPECT_EQ(RotatePoint3(1, 1, 0, 0, 0, 1, 1, 0, 0, x, y, z), 1);  // 90 degrees about Z
       EXPECT_TRUE(Near(Vector3f(x, y, z), 0, 1, 0, 0));
       RotatePoint3(0, 1, 1, 1, 0, 0, 0, 1, 0, x, y, z);  // 90 degrees about X
       EXPECT_TRUE(Near(Vector3f(x, y, z), 0, 0, 1, 0));
       RotatePoint3(0, 0, 1, 1, 1, 0, 0, 1, 0, x, y, z);  // X then Y
       EXPECT_TRUE(Near(Vector3f(x, y, z), 1, 0, 0, 0));
       const float fullTurn = float(double(kEngineDegreesToRadians) * 360.0);
       AnglesTowardsPoint(1, 1, 1, 1, 1, 11, x, y, z);
       EXPECT_TRUE(Near(Vector3f(x, y, z), 0, 0, 0));
       AnglesTowardsPoint(0, 0, 0, 10, 0, 0, x, y, z);
       EXPECT_NEAR(y, 1.5707964f, kNear);
       AnglesTowardsPoint(0, 0, 0, 0, 10, 10, x, y, z);
       EXPECT_NEAR(x, fullTurn - 0.78539819f, 1e-5f) << "upwards is a negative X angle, wrapped";
       EXPECT_EQ(z, 0.0f);
       AnglesTowardsPoint(0, 0, 0, -10, 0, 0, x, y, z);
       EXPECT_NEAR(y, fullTurn - 1.5707964f, 1e-5f);
     }},
    {"Euler angles of a matrix, also at the gimbal lock",
     [] {
       float x, y, z;
       MatrixToEulerDegrees(Identity().m, x, y, z);
       EXPECT_TRUE(Near(Vector3f(x, y, z), 0, 0, 0, 0));
       Matrix4f r;
       MatrixRotationX(r, 0.5f);
       MatrixToEulerDegrees(r.m, x, y, z);
       EXPECT_NEAR(x, -0.5f * 57.29578f, 1e-4f);
       EXPECT_NEAR(y, 0.0f, 1e-4f);
       MatrixRotationY(r, 3.14159265f / 2.0f);  // cos y below 16 epsilon: z is taken as 0
       r.At(0, 0) = r.At(1, 0) = 0.0f;
       MatrixToEulerDegrees(r.m, x, y, z);
       EXPECT_EQ(z, 0.0f);
       EXPECT_NEAR(y, -90.0f, 1e-3f);
     }},
    {"frame matrix: scaled, turned (order 0 about Z first, order 1 about X first), translated last;"
     " a free rotation is inverted, a singular one refused",
     [] {
       Matrix4f frame;
       ComposeFrameMatrix(frame, Vector3f(0, 0, 0), Vector3f(0, 90, 0), Vector3f(1, 1, 1), 0);
       EXPECT_TRUE(Near(Apply(Vector3f(1, 0, 0), frame), 0, 0, -1));
       ComposeFrameMatrix(frame, Vector3f(5, 0, 0), Vector3f(0, 90, 0), Vector3f(2, 1, 1), 0);
       EXPECT_TRUE(Near(Apply(Vector3f(1, 0, 0), frame), 5, 0, -2));
       ComposeFrameMatrix(frame, Vector3f(0, 0, 0), Vector3f(90, 0, 90), Vector3f(1, 1, 1), 0);
       EXPECT_TRUE(Near(Apply(Vector3f(1, 0, 0), frame), 0, 0, 1));
       ComposeFrameMatrix(frame, Vector3f(0, 0, 0), Vector3f(90, 0, 90), Vector3f(1, 1, 1), 1);
       EXPECT_TRUE(Near(Apply(Vector3f(1, 0, 0), frame), 0, 1, 0));
       Matrix4f rotation, flat = Identity(), untouched = Filled(5);
       MatrixRotationY(rotation, 90 * kEngineDegreesToRadians);
       ASSERT_EQ(ComposeFrameMatrixFromRotation(frame, Vector3f(0, 1, 0), rotation, Vector3f(1, 1, 1)), kMathsOk);
       EXPECT_TRUE(Near(Apply(Vector3f(1, 0, 0), frame), 0, 1, 1));
       flat.At(2, 2) = 0.0f;
       EXPECT_EQ(ComposeFrameMatrixFromRotation(untouched, Vector3f(0, 0, 0), flat, Vector3f(1, 1, 1)),
                 kMathsInvalidArg);
       EXPECT_TRUE(SameBits(untouched, Filled(5)));
     }},
};

TEST(Maths3dTest, EdgeCases) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    c.check();
  }
}

}  // namespace
}  // namespace vx