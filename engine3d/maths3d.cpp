// The engine's matrix and vector arithmetic. Products and sums run in float in a fixed order so that
// every build gives the same bits (no contraction, no fast maths); the few steps that the engine did
// in double before rounding (the point rotation, the Euler angles) are done in double here too.
#include "engine3d/maths3d.h"

#include <cfloat>
#include <cmath>

namespace vx {

void MatrixIdentity(Matrix4f& m) {
  for (float& v : m.m) v = 0.0f;
  m.At(0, 0) = m.At(1, 1) = m.At(2, 2) = m.At(3, 3) = 1.0f;
}

void MatrixMultiply(Matrix4f& out, const Matrix4f& a, const Matrix4f& b) {
  Matrix4f product;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      float sum = 0.0f;
      for (int k = 0; k < 4; ++k) sum += a.At(i, k) * b.At(k, j);
      product.At(i, j) = sum;
    }
  }
  out = product;
}

void MatrixMultiplyCopy(Matrix4f& out, Matrix4f a, Matrix4f b) { MatrixMultiply(out, a, b); }

int32_t MatrixInvert(Matrix4f& out, const Matrix4f& m) {
  const float kTolerance = 0.001f;
  if (std::fabs(m.At(3, 3) - 1.0f) > kTolerance || std::fabs(m.At(0, 3)) > kTolerance ||
      std::fabs(m.At(1, 3)) > kTolerance || std::fabs(m.At(2, 3)) > kTolerance)
    return kMathsInvalidArg;
  auto a = [&m](int r, int c) { return m.At(r, c); };
  const float c00 = a(1, 1) * a(2, 2) - a(1, 2) * a(2, 1);
  const float c01 = a(1, 2) * a(2, 0) - a(1, 0) * a(2, 2);
  const float c02 = a(1, 0) * a(2, 1) - a(1, 1) * a(2, 0);
  const float det = a(0, 0) * c00 + a(0, 1) * c01 + a(0, 2) * c02;
  // A singular block has no inverse; dividing would only spread infinities through the scene.
  if (!(det != 0.0f) || !std::isfinite(det)) return kMathsInvalidArg;
  Matrix4f inv;
  inv.At(0, 0) = c00 / det;
  inv.At(0, 1) = (a(0, 2) * a(2, 1) - a(0, 1) * a(2, 2)) / det;
  inv.At(0, 2) = (a(0, 1) * a(1, 2) - a(0, 2) * a(1, 1)) / det;
  inv.At(1, 0) = c01 / det;
  inv.At(1, 1) = (a(0, 0) * a(2, 2) - a(0, 2) * a(2, 0)) / det;
  inv.At(1, 2) = (a(0, 2) * a(1, 0) - a(0, 0) * a(1, 2)) / det;
  inv.At(2, 0) = c02 / det;
  inv.At(2, 1) = (a(0, 1) * a(2, 0) - a(0, 0) * a(2, 1)) / det;
  inv.At(2, 2) = (a(0, 0) * a(1, 1) - a(0, 1) * a(1, 0)) / det;
  for (int r = 0; r < 3; ++r) inv.At(r, 3) = 0.0f;
  inv.At(3, 3) = 1.0f;
  for (int j = 0; j < 3; ++j)
    inv.At(3, j) = -(a(3, 0) * inv.At(0, j) + a(3, 1) * inv.At(1, j) + a(3, 2) * inv.At(2, j));
  out = inv;
  return kMathsOk;
}

int32_t TransformCoord(Vector3f& out, const Vector3f& v, const Matrix4f& m) {
  const float x = v.x * m.At(0, 0) + v.y * m.At(1, 0) + v.z * m.At(2, 0) + m.At(3, 0);
  const float y = v.x * m.At(0, 1) + v.y * m.At(1, 1) + v.z * m.At(2, 1) + m.At(3, 1);
  const float z = v.x * m.At(0, 2) + v.y * m.At(1, 2) + v.z * m.At(2, 2) + m.At(3, 2);
  const float w = v.x * m.At(0, 3) + v.y * m.At(1, 3) + v.z * m.At(2, 3) + m.At(3, 3);
  if (!(std::fabs(w) >= 0.00001f)) return kMathsInvalidArg;
  out.Set(x / w, y / w, z / w);
  return kMathsOk;
}

void MatrixRotationX(Matrix4f& m, float angle) {
  const float c = std::cos(angle), s = std::sin(angle);
  MatrixIdentity(m);
  m.At(1, 1) = c;
  m.At(1, 2) = s;
  m.At(2, 1) = -s;
  m.At(2, 2) = c;
}

void MatrixRotationY(Matrix4f& m, float angle) {
  const float c = std::cos(angle), s = std::sin(angle);
  MatrixIdentity(m);
  m.At(0, 0) = c;
  m.At(0, 2) = -s;
  m.At(2, 0) = s;
  m.At(2, 2) = c;
}

void MatrixRotationZ(Matrix4f& m, float angle) {
  const float c = std::cos(angle), s = std::sin(angle);
  MatrixIdentity(m);
  m.At(0, 0) = c;
  m.At(0, 1) = s;
  m.At(1, 0) = -s;
  m.At(1, 1) = c;
}

int32_t MatrixPerspective(Matrix4f& m, float fieldOfView, float ratio, float nearPlane, float farPlane) {
  const float half = fieldOfView / 2.0f;
  const float s = std::sin(half);
  if (!(std::fabs(farPlane - nearPlane) >= 0.01f) || !(std::fabs(s) >= 0.01f)) return kMathsInvalidArg;
  const float cot = std::cos(half) / s;
  const float q = farPlane / (farPlane - nearPlane);
  for (float& v : m.m) v = 0.0f;
  m.At(0, 0) = ratio * cot;
  m.At(1, 1) = cot;
  m.At(2, 2) = q;
  m.At(2, 3) = 1.0f;
  m.At(3, 2) = -q * nearPlane;
  return kMathsOk;
}

void MatrixLookAt(Matrix4f& m, const Vector3f& eye, const Vector3f& at, const Vector3f& up) {
  Vector3f zAxis, xAxis, yAxis, difference, side;
  Vector3Subtract(difference, at, eye);
  // An eye on its target looks ahead, and a view along the up vector takes another up, so that
  // the axes always stand at right angles and no NaN reaches the view.
  if (!(Vector3LengthSquared(difference) > 0.0f)) difference.Set(0.0f, 0.0f, 1.0f);
  Vector3Normalize(zAxis, difference);
  Vector3Cross(side, up, zAxis);
  if (!(Vector3LengthSquared(side) > 1e-12f)) {
    const Vector3f other = std::fabs(zAxis.z) < 0.9f ? Vector3f(0.0f, 0.0f, 1.0f) : Vector3f(1.0f, 0.0f, 0.0f);
    Vector3Cross(side, other, zAxis);
  }
  Vector3Normalize(xAxis, side);
  Vector3Cross(yAxis, zAxis, xAxis);
  MatrixIdentity(m);
  const Vector3f* axes[3] = {&xAxis, &yAxis, &zAxis};
  for (int c = 0; c < 3; ++c) {
    const Vector3f& a = *axes[c];
    m.At(0, c) = a.x;
    m.At(1, c) = a.y;
    m.At(2, c) = a.z;
    m.At(3, c) = -(a.x * eye.x + a.y * eye.y + a.z * eye.z);
  }
}

void MatrixTranslation(Matrix4f& m, const Vector3f& v) {
  MatrixIdentity(m);
  m.At(3, 0) = v.x;
  m.At(3, 1) = v.y;
  m.At(3, 2) = v.z;
}

int32_t RotatePoint3(float cosX, float cosY, float cosZ, float sinX, float sinY, float sinZ, float x, float y, float z,
                     float& outX, float& outY, float& outZ) {
  using D = double;
  const float y1 = static_cast<float>(D(cosX) * y - D(sinX) * z);
  const float z1 = static_cast<float>(D(sinX) * y + D(cosX) * z);
  const float x2 = static_cast<float>(D(cosY) * x + D(sinY) * z1);
  outZ = static_cast<float>(D(cosY) * z1 - D(sinY) * x);
  outX = static_cast<float>(D(cosZ) * x2 - D(sinZ) * y1);
  outY = static_cast<float>(D(sinZ) * x2 + D(cosZ) * y1);
  return 1;
}

void Vector3Divide(Vector3f& out, const Vector3f& v, float s) { out.Set(v.x / s, v.y / s, v.z / s); }

void Vector3Subtract(Vector3f& out, const Vector3f& a, const Vector3f& b) { out.Set(a.x - b.x, a.y - b.y, a.z - b.z); }

float Vector3LengthSquared(const Vector3f& v) { return v.x * v.x + v.y * v.y + v.z * v.z; }

float Vector3Length(const Vector3f& v) { return std::sqrt(Vector3LengthSquared(v)); }

void Vector3Normalize(Vector3f& out, const Vector3f& v) {
  const float length = Vector3Length(v);
  if (length == 0.0f) {
    out = v;  // nothing to divide: the vector stays as it is
    return;
  }
  if (!(length > 0.0f) || !std::isfinite(length)) {
    out.Set(0.0f, 0.0f, 0.0f);
    return;
  }
  Vector3Divide(out, v, length);
}

void Vector3Cross(Vector3f& out, const Vector3f& a, const Vector3f& b) {
  out.Set(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

double DegreesToRadians(double degrees) { return degrees * kDegreesToRadiansCoarse; }

float WrapAngleDegrees(float degrees) {
  float a = degrees;
  for (int pass = 0; pass < 100; ++pass) {
    if (a >= 0.0f && a < 360.0f) return a;
    if (a < 0.0f) a += 360.0f;
    if (a >= 360.0f) a -= 360.0f;
  }
  return 0.0f;
}

void RotateMatrixByAngles(Matrix4f& m, float x, float y, float z) {
  Matrix4f r;
  if (x != 0.0f) {
    MatrixRotationX(r, x * kEngineDegreesToRadians);
    MatrixMultiply(m, m, r);
  }
  if (y != 0.0f) {
    MatrixRotationY(r, y * kEngineDegreesToRadians);
    MatrixMultiply(m, m, r);
  }
  if (z != 0.0f) {
    MatrixRotationZ(r, z * kEngineDegreesToRadians);
    MatrixMultiply(m, m, r);
  }
}

void RotationMatrixFromAngles(Matrix4f& out, float x, float y, float z) {
  Matrix4f rx, ry, rz, xy;
  MatrixRotationX(rx, x);
  MatrixRotationY(ry, y);
  MatrixRotationZ(rz, z);
  MatrixMultiplyCopy(xy, rx, ry);
  MatrixMultiplyCopy(out, xy, rz);
}

namespace {

float IntoOneTurn(double angle) {
  const double fullTurn = double(kEngineDegreesToRadians) * 360.0;
  if (angle < 0.0) angle += fullTurn;
  if (angle >= fullTurn) angle -= fullTurn;
  return static_cast<float>(angle);
}

}  // namespace

void AnglesTowardsPoint(float fromX, float fromY, float fromZ, float toX, float toY, float toZ, float& outX,
                        float& outY, float& outZ) {
  const Vector3f d(toX - fromX, toY - fromY, toZ - fromZ);
  const float yAngle = static_cast<float>(std::atan2(double(d.x), double(d.z)));
  Matrix4f turn;
  MatrixRotationY(turn, -yAngle);
  Vector3f turned = d;
  TransformCoord(turned, d, turn);  // w is 1 for a rotation, so this cannot fail
  const float xAngle = static_cast<float>(-std::atan2(double(turned.y), double(turned.z)));
  outX = IntoOneTurn(xAngle);
  outY = IntoOneTurn(yAngle);
  outZ = IntoOneTurn(0.0);
}

void MatrixToEulerDegrees(const float values[16], float& outX, float& outY, float& outZ) {
  auto M = [values](int r, int c) { return double(values[r * 4 + c]); };
  const double cy = std::sqrt(M(0, 0) * M(0, 0) + M(1, 0) * M(1, 0));
  double x, y, z;
  if (cy > 16.0 * FLT_EPSILON) {
    x = std::atan2(M(2, 1), M(2, 2));
    y = std::atan2(-M(2, 0), cy);
    z = std::atan2(M(1, 0), M(0, 0));
  } else {
    x = std::atan2(-M(1, 2), M(1, 1));
    y = std::atan2(-M(2, 0), cy);
    z = 0.0;
  }
  outX = static_cast<float>(x * kEngineRadiansToDegrees);
  outY = static_cast<float>(y * kEngineRadiansToDegrees);
  outZ = static_cast<float>(z * kEngineRadiansToDegrees);
}

namespace {

void ScaleMatrix(Matrix4f& m, const Vector3f& scale) {
  MatrixIdentity(m);
  m.At(0, 0) = scale.x;
  m.At(1, 1) = scale.y;
  m.At(2, 2) = scale.z;
}

// S x R x T.
void ScaleRotateTranslate(Matrix4f& out, const Vector3f& scale, const Matrix4f& rotation, const Vector3f& position) {
  Matrix4f s, t, sr;
  ScaleMatrix(s, scale);
  MatrixTranslation(t, position);
  MatrixMultiply(sr, s, rotation);
  MatrixMultiply(out, sr, t);
}

}  // namespace

void ComposeFrameMatrix(Matrix4f& out, const Vector3f& position, const Vector3f& anglesDegrees, const Vector3f& scale,
                        int32_t rotationOrder) {
  Matrix4f rx, ry, rz, r;
  MatrixRotationX(rx, anglesDegrees.x * kEngineDegreesToRadians);
  MatrixRotationY(ry, anglesDegrees.y * kEngineDegreesToRadians);
  MatrixRotationZ(rz, anglesDegrees.z * kEngineDegreesToRadians);
  // Each step multiplies the next axis in front of what is there.
  if (rotationOrder == 0) {
    r = rx;
    MatrixMultiply(r, ry, r);
    MatrixMultiply(r, rz, r);
  } else {
    r = rz;
    MatrixMultiply(r, ry, r);
    MatrixMultiply(r, rx, r);
  }
  ScaleRotateTranslate(out, scale, r, position);
}

int32_t ComposeFrameMatrixFromRotation(Matrix4f& out, const Vector3f& position, const Matrix4f& rotation,
                                       const Vector3f& scale) {
  Matrix4f inverse;
  const int32_t result = MatrixInvert(inverse, rotation);
  if (result != kMathsOk) return result;
  ScaleRotateTranslate(out, scale, inverse, position);
  return kMathsOk;
}

}  // namespace vx
