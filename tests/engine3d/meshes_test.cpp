// Mesh records: the built-in meshes at their sizes with a normal per vertex, boxes and triangles
// built in code, copies of an object's geometry, and grid meshes: points shared by squares, the
// ground height on square and stretched cells and at the far edges, random heights, and shifts
// that give the grid back.
#include "engine3d/grids.h"
#include "tests/engine3d/engine_world.h"

namespace vx {
namespace {

class MeshesTest : public test::EngineWorld {
 protected:
  struct Box {
    float lo[3], hi[3];
  };
  static Box BoundsOf(uint32_t mesh) {
    Box b{};
    EXPECT_TRUE(GetMeshBounds(mesh, b.lo[0], b.lo[1], b.lo[2], b.hi[0], b.hi[1], b.hi[2]));
    return b;
  }
  // A grid object of xs by zs squares over width by depth; its object slot.
  uint32_t MakeGrid(float width, float depth, int32_t xs, int32_t zs) {
    const uint32_t mesh = AllocMeshRecord();
    EXPECT_EQ(BuildMatrixGridMesh(mesh, width, depth, xs, zs), 1);
    const uint32_t slot = AllocObjectRecord();
    ObjectRecord& o = Engine().gObjectRecords[slot];
    o.gridWidth = width, o.gridDepth = depth, o.gridSegmentsX = xs, o.gridSegmentsZ = zs;
    o.limbs[0].meshSlot = int32_t(mesh);
    return slot;
  }
  static const MeshRecord& GridMesh(uint32_t grid) {
    return Engine().gMeshRecords[uint32_t(Engine().gObjectRecords[grid].limbs[0].meshSlot)];
  }
  static std::vector<float> Heights(uint32_t grid) {
    std::vector<float> h;
    const ObjectRecord& o = Engine().gObjectRecords[grid];
    for (int32_t x = 0; x <= o.gridSegmentsX; ++x)
      for (int32_t z = 0; z <= o.gridSegmentsZ; ++z) h.push_back(GetMatrixPointHeight(grid, x, z));
    return h;
  }
  static void NumberHeights(uint32_t grid) {
    const ObjectRecord& o = Engine().gObjectRecords[grid];
    for (int32_t x = 0; x <= o.gridSegmentsX; ++x)
      for (int32_t z = 0; z <= o.gridSegmentsZ; ++z) SetMatrixPointHeight(grid, x, z, float(x * 10 + z));
  }
};

TEST_F(MeshesTest, BuiltInMeshesHaveTheirSizesAndANormalPerVertex) {
  struct Case {
    int32_t (*load)(uint32_t, float);
    float size;
  };
  for (const Case& c :
       {Case{LoadSphereMesh, 2.0f}, Case{LoadCubeMesh, 2.0f}, Case{LoadCylinderMesh, 2.0f}, Case{LoadConeMesh, 2.0f}}) {
    const uint32_t mesh = AllocMeshRecord();
    EXPECT_EQ(c.load(mesh, c.size), 1);
    const MeshRecord& m = Engine().gMeshRecords[mesh];
    EXPECT_GT(m.faceCount, 0);
    EXPECT_EQ(m.normalCount, m.vertexCount);
    EXPECT_EQ(m.faceWordCount, m.faceCount * 7);
    const Box b = BoundsOf(mesh);
    for (int axis = 0; axis < 3; ++axis) {
      EXPECT_NEAR(b.lo[axis], -1.0f, 0.02f);
      EXPECT_NEAR(b.hi[axis], 1.0f, 0.02f);
    }
    for (int32_t f = 0; f < m.faceCount; ++f) {
      EXPECT_EQ(m.faces[f * 7], 3u);
      for (int k = 0; k < 3; ++k) {
        EXPECT_LT(m.faces[f * 7 + 1 + k * 2], uint32_t(m.vertexCount));
        EXPECT_EQ(m.faces[f * 7 + 1 + k * 2], m.faces[f * 7 + 2 + k * 2]);
      }
    }
  }
  const uint32_t plain = AllocMeshRecord();
  LoadPlainMesh(plain, 4.0f, 2.0f);
  const Box p = BoundsOf(plain);
  EXPECT_NEAR(p.lo[0], -2.0f, 0.01f);
  EXPECT_NEAR(p.hi[1], 1.0f, 0.01f);
  EXPECT_NEAR(p.lo[2], 0.001f, 0.0005f);
}

TEST_F(MeshesTest, BoxesTrianglesAndCopies) {
  const uint32_t box = AllocMeshRecord();
  BuildBoxMesh(box, 2, 4, 6);
  const MeshRecord& b = Engine().gMeshRecords[box];
  EXPECT_EQ(std::tuple(b.vertexCount, b.normalCount, b.faceCount, b.faceWordCount), std::tuple(16, 16, 12, 84));
  const Box bounds = BoundsOf(box);
  EXPECT_EQ(std::vector<float>(bounds.hi, bounds.hi + 3), (std::vector<float>{1, 2, 3}));
  for (int k = 0; k < 3; ++k) EXPECT_FLOAT_EQ(b.positions[b.faces[1 + k * 2] * 3 + 2], -3.0f) << "face 0 at z = -3";

  const uint32_t triangle = AllocMeshRecord();
  BuildTriangleMesh(triangle, 1, 1, 1, 1, 1, 1, 1, 1, 1);
  EXPECT_EQ(Engine().gMeshRecords[triangle].faceCount, 1);

  const uint32_t copy = CopyMeshRecord(box);
  ASSERT_NE(copy, 0u);
  EXPECT_NE(Engine().gMeshRecords[copy].positions, b.positions);
  EXPECT_EQ(std::memcmp(Engine().gMeshRecords[copy].faces, Engine().gMeshRecords[box].faces, 84 * 4), 0);
  EXPECT_EQ(CopyMeshRecord(0), 0u);

  // An object's geometry comes back as a mesh; an object without a model gives none.
  const uint32_t object = MakeCube(1, 2.0f);
  const int32_t meshes = Engine().gMeshRecords.usedCount;
  const int32_t made = MakeMeshFromObject(object, -1, -1);
  ASSERT_GT(made, 0);
  EXPECT_NEAR(BoundsOf(uint32_t(made)).hi[0], 1.0f, 0.01f);
  const uint32_t bare = AllocObjectRecord();
  EXPECT_EQ(MakeMeshFromObject(bare, -1, -1), -1);
  EXPECT_EQ(Engine().gMeshRecords.usedCount, meshes + 1);
}

TEST_F(MeshesTest, GridPointsAreSharedByTheirSquares) {
  const uint32_t one = MakeGrid(1, 1, 1, 1);
  const MeshRecord& m = GridMesh(one);
  EXPECT_EQ(std::tuple(m.vertexCount, m.faceCount), std::tuple(4, 2));
  SetMatrixPointHeight(one, 1, 1, 5.0f);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(m.positions[k * 3 + 1], k == 2 ? 5.0f : 0.0f);

  const uint32_t grid = MakeGrid(4, 4, 4, 4);
  EXPECT_EQ(GetMatrixPointHeight(grid, 2, 2), 0.0f);
  float nx, ny, nz;
  ASSERT_TRUE(GetMatrixPointNormal(grid, 4, 4, nx, ny, nz));
  EXPECT_EQ(std::tuple(nx, ny, nz), std::tuple(0.0f, 1.0f, 0.0f));
  SetMatrixPointHeight(grid, 2, 2, 3.0f);
  const MeshRecord& g = GridMesh(grid);
  int corners = 0;
  for (int32_t v = 0; v < g.vertexCount; ++v) corners += g.positions[v * 3 + 1] == 3.0f;
  EXPECT_EQ(corners, 4) << "an inner point is a corner of four squares";
  EXPECT_EQ(GetMatrixPointHeight(grid, 2, 2), 3.0f);
  EXPECT_FLOAT_EQ(GetMatrixGroundHeight(grid, 2, 2), 3.0f) << "at a grid point";
  EXPECT_FLOAT_EQ(GetMatrixGroundHeight(grid, 1.5f, 1.5f), 1.5f) << "on the diagonal both halves agree";
  EXPECT_FLOAT_EQ(GetMatrixGroundHeight(grid, 1.5f, 1.75f), 1.5f);

  SetMeshAllTiles(uint32_t(Engine().gObjectRecords[grid].limbs[0].meshSlot), 0, 0, 1, 1);
  EXPECT_EQ(std::vector<float>(g.textureCoords, g.textureCoords + 8), (std::vector<float>{0, 1, 1, 1, 1, 0, 0, 0}));
}

TEST_F(MeshesTest, GroundHeightFollowsStretchedCellsAndTheFarEdges) {
  // Cells 4 wide and 1 deep, the far corner of the first square raised.
  const uint32_t grid = MakeGrid(8, 2, 2, 2);
  SetMatrixPointHeight(grid, 1, 1, 4.0f);
  // (3, 0.5) lies below the square's diagonal from (0, 0) to (4, 1): three quarters along x,
  // half along z, so the height is 4 x 0.5 (the edge from corner 1 to corner 2).
  EXPECT_FLOAT_EQ(GetMatrixGroundHeight(grid, 3.0f, 0.5f), 2.0f);
  EXPECT_FLOAT_EQ(GetMatrixGroundHeight(grid, 1.0f, 0.75f), 1.0f);
  // The far edges belong to the last squares.
  SetMatrixPointHeight(grid, 2, 2, 6.0f);
  EXPECT_FLOAT_EQ(GetMatrixGroundHeight(grid, 8.0f, 2.0f), 6.0f);
  EXPECT_FLOAT_EQ(GetMatrixGroundHeight(grid, 8.0f, 0.0f), 0.0f);
}

TEST_F(MeshesTest, RandomHeightsAndShiftsKeepEveryPoint) {
  const uint32_t grid = MakeGrid(3, 3, 3, 3);
  static int32_t draws = 0;
  RandomizeMatrixHeights(grid, 0.005f, [] { return ++draws; });
  for (float h : Heights(grid)) EXPECT_EQ(h, 0.0f) << "a maximum below a hundredth leaves the ground flat";
  RandomizeMatrixHeights(grid, 1.0f, [] { return 37; });
  EXPECT_FLOAT_EQ(GetMatrixPointHeight(grid, 3, 3), 0.37f);

  NumberHeights(grid);
  const std::vector<float> start = Heights(grid);
  const std::vector<float> coords(GridMesh(grid).textureCoords, GridMesh(grid).textureCoords + 9 * 8);
  ShiftMatrixHeightsUp(grid);
  EXPECT_NE(Heights(grid), start);
  ShiftMatrixHeightsDown(grid);
  EXPECT_EQ(Heights(grid), start) << "up then down gives every row back";
  ShiftMatrixHeightsDown(grid);
  ShiftMatrixHeightsUp(grid);
  EXPECT_EQ(Heights(grid), start);
  for (int i = 0; i < 3; ++i) ShiftMatrixHeightsLeft(grid);
  EXPECT_EQ(Heights(grid), start);
  for (int i = 0; i < 4; ++i) ShiftMatrixHeightsRight(grid);
  EXPECT_EQ(Heights(grid), start);
  EXPECT_EQ(std::vector<float>(GridMesh(grid).textureCoords, GridMesh(grid).textureCoords + 9 * 8), coords);
  ShiftMatrixHeightsLeft(grid);
  EXPECT_EQ(GetMatrixPointHeight(grid, 0, 1), 11.0f);
  EXPECT_EQ(GetMatrixPointHeight(grid, 2, 1), 1.0f) << "column 0 comes back at the end";
  EXPECT_EQ(GetMatrixPointHeight(grid, 3, 1), 31.0f) << "the last point column stays";
}

}  // namespace
}  // namespace vx
