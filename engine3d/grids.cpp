// Grid meshes (grids.h). A grid point lives in up to four square corners; the point operations
// read and write through one pair of helpers, and the shifts work on whole point and square
// tables, so that no corner is ever left out of step with the others of its point.
#include "engine3d/grids.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "common/value_slot.h"
#include "engine3d/meshes.h"
#include "engine3d/object_records.h"

namespace vx {

namespace {

// Points per square: the most squares a grid of 16-bit indexed vertices can hold.
constexpr int64_t kMostSquares = 16384;

struct Grid {
  MeshRecord* mesh = nullptr;
  int32_t xs = 0, zs = 0;

  // Component `c` of corner `k` of square (x, z) in the array of `width` floats per vertex.
  float& At(float* array, int width, int32_t x, int32_t z, int k, int c) const {
    return array[(size_t(x * zs + z) * 4 + size_t(k)) * size_t(width) + size_t(c)];
  }
};

bool GridOf(uint32_t objectSlot, Grid& out) {
  if (!Engine().gObjectRecords.IsTaken(objectSlot)) return false;
  const ObjectRecord& o = Engine().gObjectRecords[objectSlot];
  if (!o.limbs || o.gridSegmentsX < 1 || o.gridSegmentsZ < 1) return false;
  const int32_t mesh = o.limbs[0].meshSlot;
  if (mesh <= 0 || !Engine().gMeshRecords.IsTaken(uint32_t(mesh))) return false;
  MeshRecord& m = Engine().gMeshRecords[uint32_t(mesh)];
  if (int64_t(m.vertexCount) != int64_t(o.gridSegmentsX) * o.gridSegmentsZ * 4 || !m.positions) return false;
  out.mesh = &m;
  out.xs = o.gridSegmentsX;
  out.zs = o.gridSegmentsZ;
  return true;
}

bool PointInGrid(const Grid& g, int32_t x, int32_t z) { return x >= 0 && z >= 0 && x <= g.xs && z <= g.zs; }

// Writes `count` components of a point into every corner that shares it.
void WritePoint(const Grid& g, float* array, int width, int first, int count, int32_t x, int32_t z,
                const float* values) {
  auto put = [&](int32_t sx, int32_t sz, int k) {
    for (int c = 0; c < count; ++c) g.At(array, width, sx, sz, k, first + c) = values[c];
  };
  if (x < g.xs && z < g.zs) put(x, z, 0);
  if (x >= 1 && z < g.zs) put(x - 1, z, 1);
  if (x >= 1 && z >= 1) put(x - 1, z - 1, 2);
  if (z >= 1 && x < g.xs) put(x, z - 1, 3);
}

void ReadPoint(const Grid& g, float* array, int width, int first, int count, int32_t x, int32_t z, float* values) {
  int32_t sx = x, sz = z;
  int k = 0;
  if (x < g.xs && z < g.zs) {
    k = 0;
  } else if (x == g.xs && z < g.zs) {
    sx = g.xs - 1, k = 1;
  } else if (x == g.xs) {
    sx = g.xs - 1, sz = g.zs - 1, k = 2;
  } else {
    sz = g.zs - 1, k = 3;
  }
  for (int c = 0; c < count; ++c) values[c] = g.At(array, width, sx, sz, k, first + c);
}

// The point table of one quantity (heights: positions component 1; normals: all three).
struct PointTable {
  int count;
  std::vector<float> values;  // (xs + 1) x (zs + 1) points, x outer
};

PointTable ReadPoints(const Grid& g, float* array, int width, int first, int count) {
  PointTable t{count, std::vector<float>(size_t(g.xs + 1) * size_t(g.zs + 1) * size_t(count))};
  for (int32_t x = 0; x <= g.xs; ++x)
    for (int32_t z = 0; z <= g.zs; ++z)
      ReadPoint(g, array, width, first, count, x, z,
                &t.values[(size_t(x) * size_t(g.zs + 1) + size_t(z)) * size_t(count)]);
  return t;
}

void WritePoints(const Grid& g, float* array, int width, int first, const PointTable& t) {
  for (int32_t x = 0; x <= g.xs; ++x)
    for (int32_t z = 0; z <= g.zs; ++z)
      WritePoint(g, array, width, first, t.count, x, z,
                 &t.values[(size_t(x) * size_t(g.zs + 1) + size_t(z)) * size_t(t.count)]);
}

// Moves whole lines of a table of `columns` x `rows` cells (`cellSize` floats each, columns outer):
// cell (c, r) takes the old cell (from(c), r) or (c, from(r)).
template <class Source>
void MoveCells(std::vector<float>& cells, int32_t columns, int32_t rows, size_t cellSize, Source source) {
  const std::vector<float> old = cells;
  for (int32_t c = 0; c < columns; ++c)
    for (int32_t r = 0; r < rows; ++r) {
      int32_t fc = c, fr = r;
      source(fc, fr);
      std::memcpy(&cells[(size_t(c) * size_t(rows) + size_t(r)) * cellSize],
                  &old[(size_t(fc) * size_t(rows) + size_t(fr)) * cellSize], cellSize * sizeof(float));
    }
}

// One shift: the point moves (`pointSource`) and the square moves (`squareSource`) applied to
// heights, normals and texture coordinates together.
template <class PointSource, class SquareSource>
void ShiftGrid(uint32_t objectSlot, PointSource pointSource, SquareSource squareSource) {
  Grid g;
  if (!GridOf(objectSlot, g)) return;
  PointTable heights = ReadPoints(g, g.mesh->positions, 3, 1, 1);
  PointTable normals = ReadPoints(g, g.mesh->normals, 3, 0, 3);
  MoveCells(heights.values, g.xs + 1, g.zs + 1, 1, pointSource);
  MoveCells(normals.values, g.xs + 1, g.zs + 1, 3, pointSource);
  WritePoints(g, g.mesh->positions, 3, 1, heights);
  WritePoints(g, g.mesh->normals, 3, 0, normals);
  if (!g.mesh->textureCoords) return;
  std::vector<float> squares(g.mesh->textureCoords, g.mesh->textureCoords + size_t(g.xs) * size_t(g.zs) * 8);
  MoveCells(squares, g.xs, g.zs, 8, squareSource);
  std::memcpy(g.mesh->textureCoords, squares.data(), squares.size() * sizeof(float));
}

}  // namespace

int32_t BuildMatrixGridMesh(uint32_t meshSlot, float width, float depth, int32_t xs, int32_t zs) {
  if (xs < 1 || zs < 1 || int64_t(xs) * zs > kMostSquares) return 0;
  if (meshSlot == 0 || !Engine().gMeshRecords.IsTaken(meshSlot)) return 0;
  MeshRecord& m = Engine().gMeshRecords[meshSlot];
  if (!AllocateMeshArrays(m, 4 * xs * zs, 2 * xs * zs)) return 0;
  const float cellWidth = width / float(xs), cellDepth = depth / float(zs);
  constexpr float kLow = 1.0f / 256.0f, kHigh = 255.0f / 256.0f, kNearLow = 0.00390625047f;
  const float coords[8] = {kLow, 1.0f, kHigh, 1.0f, kHigh, kNearLow, kLow, kNearLow};
  for (int32_t x = 0; x < xs; ++x)
    for (int32_t z = 0; z < zs; ++z) {
      const int32_t square = x * zs + z, b = square * 4;
      const float x0 = float(x) * cellWidth, x1 = x0 + cellWidth;
      const float z0 = float(z) * cellDepth, z1 = z0 + cellDepth;
      const float corners[4][3] = {{x0, 0, z0}, {x1, 0, z0}, {x1, 0, z1}, {x0, 0, z1}};
      std::memcpy(m.positions + size_t(b) * 3, corners, sizeof corners);
      for (int k = 0; k < 4; ++k) {
        m.normals[(b + k) * 3] = 0.0f;
        m.normals[(b + k) * 3 + 1] = 1.0f;
        m.normals[(b + k) * 3 + 2] = 0.0f;
      }
      std::memcpy(m.textureCoords + size_t(b) * 2, coords, sizeof coords);
      const uint32_t u = uint32_t(b);
      const uint32_t faces[14] = {3, u, u, u + 2, u + 2, u + 1, u + 1, 3, u, u, u + 3, u + 3, u + 2, u + 2};
      std::memcpy(m.faces + size_t(square) * 14, faces, sizeof faces);
    }
  return 1;
}

int32_t SetMatrixPointHeight(uint32_t objectSlot, int32_t x, int32_t z, float height) {
  Grid g;
  if (GridOf(objectSlot, g) && PointInGrid(g, x, z)) WritePoint(g, g.mesh->positions, 3, 1, 1, x, z, &height);
  return 1;
}

int32_t SetMatrixPointNormal(uint32_t objectSlot, int32_t x, int32_t z, float nx, float ny, float nz) {
  Grid g;
  const float n[3] = {nx, ny, nz};
  if (GridOf(objectSlot, g) && PointInGrid(g, x, z)) WritePoint(g, g.mesh->normals, 3, 0, 3, x, z, n);
  return 1;
}

float GetMatrixPointHeight(uint32_t objectSlot, int32_t x, int32_t z) {
  Grid g;
  float height = 0.0f;
  if (GridOf(objectSlot, g) && PointInGrid(g, x, z)) ReadPoint(g, g.mesh->positions, 3, 1, 1, x, z, &height);
  return height;
}

bool GetMatrixPointNormal(uint32_t objectSlot, int32_t x, int32_t z, float& nx, float& ny, float& nz) {
  Grid g;
  if (!GridOf(objectSlot, g) || !PointInGrid(g, x, z)) return false;
  float n[3];
  ReadPoint(g, g.mesh->normals, 3, 0, 3, x, z, n);
  nx = n[0], ny = n[1], nz = n[2];
  return true;
}

int32_t RandomizeMatrixHeights(uint32_t objectSlot, float maximum, int32_t (*nextRandom)()) {
  Grid g;
  if (!GridOf(objectSlot, g)) return 1;
  const int32_t m = SaturateToInt32(double(maximum) * 100.0);
  for (int32_t x = 0; x <= g.xs; ++x)
    for (int32_t z = 0; z <= g.zs; ++z) {
      // Below a hundredth there is nothing to draw from: the ground stays flat.
      const float height = m > 0 && nextRandom ? float(uint32_t(nextRandom()) % uint32_t(m)) / 100.0f : 0.0f;
      WritePoint(g, g.mesh->positions, 3, 1, 1, x, z, &height);
    }
  return 1;
}

void ShiftMatrixHeightsLeft(uint32_t objectSlot) {
  int32_t xs = 0;
  if (Engine().gObjectRecords.IsTaken(objectSlot)) xs = Engine().gObjectRecords[objectSlot].gridSegmentsX;
  // Columns 0 to xs-1 turn round by one; column xs stays.
  ShiftGrid(
      objectSlot, [xs](int32_t& c, int32_t&) { c = c < xs ? (c + 1) % xs : c; },
      [xs](int32_t& c, int32_t&) { c = (c + 1) % xs; });
}

void ShiftMatrixHeightsRight(uint32_t objectSlot) {
  int32_t xs = 0;
  if (Engine().gObjectRecords.IsTaken(objectSlot)) xs = Engine().gObjectRecords[objectSlot].gridSegmentsX;
  // All xs+1 point columns turn round; the squares' columns turn among themselves.
  ShiftGrid(
      objectSlot, [xs](int32_t& c, int32_t&) { c = c == 0 ? xs : c - 1; },
      [xs](int32_t& c, int32_t&) { c = c == 0 ? xs - 1 : c - 1; });
}

void ShiftMatrixHeightsDown(uint32_t objectSlot) {
  int32_t zs = 0;
  if (Engine().gObjectRecords.IsTaken(objectSlot)) zs = Engine().gObjectRecords[objectSlot].gridSegmentsZ;
  ShiftGrid(
      objectSlot, [zs](int32_t&, int32_t& r) { r = r < zs ? (r + 1) % zs : r; },
      [zs](int32_t&, int32_t& r) { r = (r + 1) % zs; });
}

void ShiftMatrixHeightsUp(uint32_t objectSlot) {
  int32_t zs = 0;
  if (Engine().gObjectRecords.IsTaken(objectSlot)) zs = Engine().gObjectRecords[objectSlot].gridSegmentsZ;
  // The exact reverse of a shift down: rows 0 to zs-1 turn round, so no row is lost.
  ShiftGrid(
      objectSlot, [zs](int32_t&, int32_t& r) { r = r < zs ? (r + zs - 1) % zs : r; },
      [zs](int32_t&, int32_t& r) { r = (r + zs - 1) % zs; });
}

float GetMatrixGroundHeight(uint32_t objectSlot, float x, float z) {
  Grid g;
  if (!GridOf(objectSlot, g)) return 0.0f;
  const ObjectRecord& o = Engine().gObjectRecords[objectSlot];
  const float cellWidth = o.gridWidth / float(g.xs), cellDepth = o.gridDepth / float(g.zs);
  auto index = [](float v, float cell, int32_t segments) {
    const float q = cell != 0.0f ? v / cell : 0.0f;
    // The far edge belongs to the last square.
    return std::clamp(SaturateToInt32(q), 0, segments - 1);
  };
  const int32_t ix = index(x, cellWidth, g.xs), iz = index(z, cellDepth, g.zs);
  float* p = g.mesh->positions;
  auto corner = [&](int k, int c) { return g.At(p, 3, ix, iz, k, c); };
  const float spanX = corner(1, 0) - corner(0, 0), spanZ = corner(3, 2) - corner(0, 2);
  const float u = spanX != 0.0f ? (x - corner(0, 0)) / spanX : 0.0f;
  const float v = spanZ != 0.0f ? (z - corner(0, 2)) / spanZ : 0.0f;
  const float h0 = corner(0, 1), h1 = corner(1, 1), h2 = corner(2, 1), h3 = corner(3, 1);
  // The square is split along its diagonal from corner 0 to corner 2, in the square's own
  // proportions; each half is a plane through its three corners.
  if (v >= u) return h0 + (h2 - h3) * u + (h3 - h0) * v;
  return h0 + (h1 - h0) * u + (h2 - h1) * v;
}

}  // namespace vx
