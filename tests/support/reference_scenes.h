// Small 3D scenes that the 3D device and Mesa's fixed-function OpenGL both draw, where their
// equations agree: directional and point lights, linear and exp fog, modulated textures,
// blending and depth. Each is given in OpenGL's terms (y up, the viewer looking down -z,
// counter-clockwise fronts); the device's test mirrors z into its own space. Header-only, shared
// by the device tests and the Mesa picture tool.
#pragma once
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace vx::test {

struct SceneVertex {
  float x, y, z, nx, ny, nz, u, v;
};

struct SceneMesh {
  std::vector<SceneVertex> vertices;
  std::vector<uint16_t> indices;  // triangle list
  float world[16];                // column-major: the same array is Direct3D's row-major matrix
  float diffuse[4];               // material; alpha below 1 blends
  bool textured = false;
};

struct ReferenceScene {
  std::string name;
  int width = 96, height = 72;
  float fovY = 1.0f, zNear = 1.0f, zFar = 60.0f;
  uint32_t clear = 0xFF202040;
  float ambient = 0.2f;  // material ambient under a white scene ambient
  bool pointLight = false;
  float light[3] = {0.3f, 0.6f, 1.0f};  // towards the light (directional) or its position (point), view space
  float attenuation[3] = {1, 0, 0};
  int fog = 0;  // 0 none, 1 linear, 2 exp
  float fogStart = 0, fogEnd = 1, fogDensity = 0;
  uint32_t fogColour = 0xFF808080;
  std::vector<uint32_t> texture;  // 16x16 0xAARRGGBB, linear filtering, repeat
  std::vector<SceneMesh> meshes;  // drawn in order
};

namespace scene_detail {

inline void Placed(float* m, float scale, float x, float y, float z, float yAngle = 0, float xAngle = 0) {
  const float cy = std::cos(yAngle), sy = std::sin(yAngle), cx = std::cos(xAngle), sx = std::sin(xAngle);
  // R = Ry * Rx, columns first.
  const float r[3][3] = {{cy, sy * sx, sy * cx}, {0, cx, -sx}, {-sy, cy * sx, cy * cx}};
  for (int col = 0; col < 3; ++col) {
    for (int row = 0; row < 3; ++row) m[col * 4 + row] = r[row][col] * scale;
    m[col * 4 + 3] = 0;
  }
  m[12] = x, m[13] = y, m[14] = z, m[15] = 1;
}

inline SceneMesh Sphere(int slices, int stacks) {
  SceneMesh mesh;
  for (int stack = 0; stack <= stacks; ++stack) {
    const float t = 3.14159265f * float(stack) / float(stacks);
    for (int slice = 0; slice <= slices; ++slice) {
      const float f = 2 * 3.14159265f * float(slice) / float(slices);
      const float x = std::sin(t) * std::cos(f), y = std::cos(t), z = std::sin(t) * std::sin(f);
      mesh.vertices.push_back({x, y, z, x, y, z, 2.0f * float(slice) / float(slices), float(stack) / float(stacks)});
    }
  }
  const auto at = [&](int stack, int slice) { return uint16_t(stack * (slices + 1) + slice); };
  for (int stack = 0; stack < stacks; ++stack) {
    for (int slice = 0; slice < slices; ++slice) {
      const uint16_t a = at(stack, slice), b = at(stack, slice + 1), c = at(stack + 1, slice),
                     d = at(stack + 1, slice + 1);
      if (stack != 0) mesh.indices.insert(mesh.indices.end(), {a, b, d});
      if (stack != stacks - 1) mesh.indices.insert(mesh.indices.end(), {a, d, c});
    }
  }
  return mesh;
}

// A square of n x n cells in the xz plane from -1 to 1, facing +y.
inline SceneMesh Floor(int n, float repeat) {
  SceneMesh mesh;
  for (int j = 0; j <= n; ++j) {
    for (int i = 0; i <= n; ++i) {
      const float x = -1 + 2.0f * float(i) / float(n), z = -1 + 2.0f * float(j) / float(n);
      mesh.vertices.push_back({x, 0, z, 0, 1, 0, repeat * float(i) / float(n), repeat * float(j) / float(n)});
    }
  }
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      const auto a = uint16_t(j * (n + 1) + i), b = uint16_t(a + 1), c = uint16_t(a + n + 1), d = uint16_t(c + 1);
      mesh.indices.insert(mesh.indices.end(), {a, c, d, a, d, b});
    }
  }
  return mesh;
}

inline ReferenceScene Named(const std::string& name) {
  ReferenceScene scene;
  scene.name = name;
  return scene;
}

inline SceneMesh With(SceneMesh mesh, const float (&diffuse)[4], bool textured) {
  for (int i = 0; i < 4; ++i) mesh.diffuse[i] = diffuse[i];
  mesh.textured = textured;
  return mesh;
}

}  // namespace scene_detail

inline std::vector<ReferenceScene> ReferenceScenes() {
  using namespace scene_detail;
  std::vector<ReferenceScene> scenes;
  const float white[4] = {0.9f, 0.9f, 0.9f, 1}, orange[4] = {1.0f, 0.6f, 0.2f, 1}, glass[4] = {0.2f, 0.5f, 1.0f, 0.5f};
  std::vector<uint32_t> checker(16 * 16);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) checker[size_t(y) * 16 + x] = ((x / 4 + y / 4) % 2) ? 0xFFE0A040 : 0xFF3060C0;
  }

  ReferenceScene directional = Named("directional");
  directional.meshes.push_back(With(Sphere(24, 16), orange, false));
  Placed(directional.meshes.back().world, 1.6f, -0.6f, 0.2f, -6, 0.5f, 0.3f);
  directional.meshes.push_back(With(Floor(8, 1), white, false));
  Placed(directional.meshes.back().world, 5, 0, -1.6f, -8);
  scenes.push_back(directional);

  ReferenceScene point = Named("point");
  point.pointLight = true;
  point.light[0] = 0.5f, point.light[1] = 0.5f, point.light[2] = -6.0f;
  point.attenuation[0] = 0.2f, point.attenuation[1] = 0.1f, point.attenuation[2] = 0.05f;
  point.meshes.push_back(With(Floor(16, 1), white, false));
  Placed(point.meshes.back().world, 5, 0, -1.5f, -7);
  point.meshes.push_back(With(Sphere(24, 16), orange, false));
  Placed(point.meshes.back().world, 0.8f, -1.2f, -0.5f, -7.5f);
  scenes.push_back(point);

  ReferenceScene linear = Named("fog-linear");
  linear.fog = 1, linear.fogStart = 4, linear.fogEnd = 24;
  linear.meshes.push_back(With(Floor(24, 1), white, false));
  Placed(linear.meshes.back().world, 14, 0, -1.5f, -16);
  linear.meshes.push_back(With(Sphere(20, 12), orange, false));
  Placed(linear.meshes.back().world, 1, 1.5f, 0, -14);
  scenes.push_back(linear);

  ReferenceScene exp = Named("fog-exp");
  exp.fog = 2, exp.fogDensity = 0.08f;
  exp.meshes = linear.meshes;
  scenes.push_back(exp);

  ReferenceScene textured = Named("textured");
  textured.texture = checker;
  textured.meshes.push_back(With(Sphere(24, 16), white, true));
  Placed(textured.meshes.back().world, 1.7f, 0, 0, -5, 0.7f, 0.2f);
  textured.meshes.push_back(With(Floor(8, 4), white, true));
  Placed(textured.meshes.back().world, 6, 0, -1.7f, -7);
  scenes.push_back(textured);

  ReferenceScene blended = Named("blend-depth");
  blended.meshes.push_back(With(Floor(4, 1), orange, false));
  Placed(blended.meshes.back().world, 2, 0.3f, 0, -7, 0, 1.2f);
  blended.meshes.push_back(With(Floor(4, 1), white, false));
  Placed(blended.meshes.back().world, 2, -0.3f, 0, -7, 0.4f, 1.5f);
  blended.meshes.push_back(With(Sphere(16, 10), glass, false));
  Placed(blended.meshes.back().world, 1.2f, 0.4f, 0.3f, -5);
  scenes.push_back(blended);
  return scenes;
}

// A picture as a binary PPM, rows from the top; 0xFFRRGGBB pixels.
inline std::string EncodePpm(int width, int height, const std::vector<uint32_t>& pixels) {
  std::string out = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  for (const uint32_t p : pixels) {
    out += char((p >> 16) & 0xFF);
    out += char((p >> 8) & 0xFF);
    out += char(p & 0xFF);
  }
  return out;
}

}  // namespace vx::test
