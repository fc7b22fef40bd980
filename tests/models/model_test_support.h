// Paths of the model fixtures and small helpers shared by the model tests.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "models/scene_model.h"

namespace vx::test {

inline std::string Fixture(const std::string& name) { return std::string(VX_MODEL_FIXTURES_DIR) + "/" + name; }
inline std::string Source(const std::string& name) { return std::string(VX_MODEL_SOURCES_DIR) + "/" + name; }
inline std::string Corpus(const std::string& name) { return std::string(VX_TESTDATA_DIR) + "/models/" + name; }

// The same hand-written model in all the forms the fixture writer makes of it.
inline std::vector<std::string> AllForms(const std::string& stem) {
  return {Source(stem + ".x"), Fixture(stem + ".bin32.x"), Fixture(stem + ".bin64.x"), Fixture(stem + ".bzip.x"),
          Fixture(stem + ".tzip.x")};
}

struct Bounds {
  Vector3f min{0, 0, 0}, max{0, 0, 0};
  size_t vertices = 0;
};

inline Bounds BoundsOf(const MeshCopy& copy) {
  Bounds b;
  for (const MeshVertex& v : copy.vertices) {
    if (b.vertices++ == 0) {
      b.min = b.max = Vector3f(v.x, v.y, v.z);
      continue;
    }
    b.min = Vector3f(std::fmin(b.min.x, v.x), std::fmin(b.min.y, v.y), std::fmin(b.min.z, v.z));
    b.max = Vector3f(std::fmax(b.max.x, v.x), std::fmax(b.max.y, v.y), std::fmax(b.max.z, v.z));
  }
  return b;
}

// Every mesh of the copy has its indices inside its own vertices, in whole triangles.
inline ::testing::AssertionResult WellFormed(const MeshCopy& copy) {
  size_t vertexBase = 0, indexBase = 0;
  for (size_t m = 0; m < copy.meshVertexCounts.size(); ++m) {
    if (copy.meshIndexCounts[m] % 3 != 0) return ::testing::AssertionFailure() << "mesh " << m << " partial triangle";
    for (size_t i = 0; i < copy.meshIndexCounts[m]; ++i)
      if (copy.indices[indexBase + i] >= copy.meshVertexCounts[m])
        return ::testing::AssertionFailure() << "mesh " << m << " index beyond its vertices";
    vertexBase += copy.meshVertexCounts[m];
    indexBase += copy.meshIndexCounts[m];
  }
  for (const MeshVertex& v : copy.vertices)
    if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z))
      return ::testing::AssertionFailure() << "vertex not finite";
  if (vertexBase != copy.vertices.size() || indexBase != copy.indices.size())
    return ::testing::AssertionFailure() << "counts do not add up";
  return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult Near(const Vector3f& v, float x, float y, float z, float tolerance = 1e-5f) {
  if (std::fabs(v.x - x) <= tolerance && std::fabs(v.y - y) <= tolerance && std::fabs(v.z - z) <= tolerance)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << v.x << ", " << v.y << ", " << v.z << ") is not (" << x << ", " << y
                                       << ", " << z << ")";
}

}  // namespace vx::test
