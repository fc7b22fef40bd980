// The model code's own matrix steps.
#include "models/model_maths.h"

namespace vx::models {

bool InvertAffine(Matrix4f& out, const Matrix4f& m) {
  const float a = m.At(0, 0), b = m.At(0, 1), c = m.At(0, 2);
  const float d = m.At(1, 0), e = m.At(1, 1), f = m.At(1, 2);
  const float g = m.At(2, 0), h = m.At(2, 1), i = m.At(2, 2);
  const float det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
  if (!(std::fabs(det) > 1e-12f)) return false;
  Matrix4f r = Identity();
  r.At(0, 0) = (e * i - f * h) / det;
  r.At(0, 1) = (c * h - b * i) / det;
  r.At(0, 2) = (b * f - c * e) / det;
  r.At(1, 0) = (f * g - d * i) / det;
  r.At(1, 1) = (a * i - c * g) / det;
  r.At(1, 2) = (c * d - a * f) / det;
  r.At(2, 0) = (d * h - e * g) / det;
  r.At(2, 1) = (b * g - a * h) / det;
  r.At(2, 2) = (a * e - b * d) / det;
  const Vector3f t(m.At(3, 0), m.At(3, 1), m.At(3, 2));
  const Vector3f moved = TransformDirection(t, r);
  r.At(3, 0) = -moved.x;
  r.At(3, 1) = -moved.y;
  r.At(3, 2) = -moved.z;
  out = r;
  return true;
}

void RotationKeyFromMatrix(const Matrix4f& matrix, float out[4]) {
  // The rotation without scale, then its inverse (the transpose).
  double r[3][3];
  for (int row = 0; row < 3; ++row) {
    const double len =
        std::sqrt(double(matrix.At(row, 0)) * matrix.At(row, 0) + double(matrix.At(row, 1)) * matrix.At(row, 1) +
                  double(matrix.At(row, 2)) * matrix.At(row, 2));
    for (int col = 0; col < 3; ++col) r[row][col] = len > 0.0 ? matrix.At(row, col) / len : (row == col ? 1.0 : 0.0);
  }
  double m[4][4] = {};
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 3; ++col) m[row][col] = r[col][row];
  m[3][3] = 1.0;
  double q[3] = {0, 0, 0}, w = 1.0;
  const double t = m[0][0] + m[1][1] + m[2][2] + m[3][3];
  if (t >= 1.0) {
    const double s = 2.0 * std::sqrt(t);
    w = s / 4.0;
    q[0] = (m[1][2] - m[2][1]) / s;
    q[1] = (m[2][0] - m[0][2]) / s;
    q[2] = (m[0][1] - m[1][0]) / s;
  } else {
    int i = m[1][1] > m[0][0] ? 1 : 0;
    if (m[2][2] >= m[i][i]) i = 2;
    const int j = (i + 1) % 3, k = (j + 1) % 3;
    const double s = 2.0 * std::sqrt(m[i][i] - m[j][j] - m[k][k] + 1.0);
    q[i] = s / 4.0;
    q[j] = (m[i][j] + m[j][i]) / s;
    q[k] = (m[i][k] + m[k][i]) / s;
    w = (m[j][k] - m[k][j]) / s;
  }
  out[0] = float(w);
  out[1] = float(q[0]);
  out[2] = float(q[1]);
  out[3] = float(q[2]);
}

}  // namespace vx::models
