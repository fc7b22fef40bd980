// The few matrix and vector steps the model code does itself (Direct3D layout: row vectors,
// translation in the fourth row). The engine keeps its own maths; this library sits below it.
#pragma once
#include <cmath>

#include "common/maths_types.h"

namespace vx::models {

inline Matrix4f Identity() {
  Matrix4f m{};
  m.m[0] = m.m[5] = m.m[10] = m.m[15] = 1.0f;
  return m;
}

// a x b.
inline Matrix4f Multiply(const Matrix4f& a, const Matrix4f& b) {
  Matrix4f out;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      float s = 0.0f;
      for (int k = 0; k < 4; ++k) s += a.At(i, k) * b.At(k, j);
      out.At(i, j) = s;
    }
  return out;
}

// p x m for a point (w = 1, no divide: the matrices here are affine).
inline Vector3f TransformPoint(const Vector3f& p, const Matrix4f& m) {
  return Vector3f(p.x * m.At(0, 0) + p.y * m.At(1, 0) + p.z * m.At(2, 0) + m.At(3, 0),
                  p.x * m.At(0, 1) + p.y * m.At(1, 1) + p.z * m.At(2, 1) + m.At(3, 1),
                  p.x * m.At(0, 2) + p.y * m.At(1, 2) + p.z * m.At(2, 2) + m.At(3, 2));
}

// v x the upper 3x3 block of m.
inline Vector3f TransformDirection(const Vector3f& v, const Matrix4f& m) {
  return Vector3f(v.x * m.At(0, 0) + v.y * m.At(1, 0) + v.z * m.At(2, 0),
                  v.x * m.At(0, 1) + v.y * m.At(1, 1) + v.z * m.At(2, 1),
                  v.x * m.At(0, 2) + v.y * m.At(1, 2) + v.z * m.At(2, 2));
}

// The vector at unit length; a zero vector stays as it is.
inline Vector3f Normalized(const Vector3f& v) {
  const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  if (!(length > 0.0f)) return v;
  return Vector3f(v.x / length, v.y / length, v.z / length);
}

inline Vector3f Cross(const Vector3f& a, const Vector3f& b) {
  return Vector3f(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

inline Vector3f Subtract(const Vector3f& a, const Vector3f& b) { return Vector3f(a.x - b.x, a.y - b.y, a.z - b.z); }

inline float Length(const Vector3f& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

// The inverse of an affine matrix (upper 3x3 by cofactors, then the translation); false when the
// 3x3 block is singular.
bool InvertAffine(Matrix4f& out, const Matrix4f& m);

// The quaternion (w, x, y, z) of the rotation that the keyframe code turns back into this
// matrix: that of the inverse rotation, as the engine stores a limb's pose. Scale is divided out.
void RotationKeyFromMatrix(const Matrix4f& m, float out[4]);

}  // namespace vx::models
