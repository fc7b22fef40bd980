// The 3D vector and matrix types shared by the engine, the display and the model code. Direct3D
// layout: row vectors, a point p is transformed as p x M, translation in the fourth row.
// Both types stay trivially copyable so that records holding them can be zero-filled and copied whole.
#pragma once

namespace vx {

struct Vector3f {
  float x, y, z;

  Vector3f() = default;  // leaves the components unset, as a record field must allow
  constexpr Vector3f(float ax, float ay, float az) : x(ax), y(ay), z(az) {}

  void Set(float ax, float ay, float az) {
    x = ax;
    y = ay;
    z = az;
  }
  void Add(const Vector3f& v) {
    x += v.x;
    y += v.y;
    z += v.z;
  }
};

// 16 floats, row-major: element (row, column) at index row * 4 + column.
struct Matrix4f {
  float m[16];

  float& At(int row, int column) { return m[row * 4 + column]; }
  float At(int row, int column) const { return m[row * 4 + column]; }
};

}  // namespace vx
