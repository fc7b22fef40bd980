// The static world in memory: parts made from meshes (fans of faces, centre, radius, contact
// radius, culling box, containers), groups by texture and their texture uses, refused and empty
// meshes, the view test, occluders hiding what lies behind them, owned parts following their
// containers, batches of the shared buffer, and the box-list and sweep tests.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "engine3d/record_services.h"
#include "engine3d/scene_settings.h"
#include "tests/engine3d/static_world_fixture.h"

namespace vx {
namespace {

using test::BoxMesh;
using test::LookingAhead;
using test::LookingAt;
using test::StripMesh;
using test::TestMesh;

class StaticPartTest : public test::StaticWorldTest {};

TEST_F(StaticPartTest, FacesBecomeFansAndTheCentreAndRadiiComeFromTheVertices) {
  TestMesh m;
  for (auto [x, y] : {std::pair{0.0f, 0.0f}, {4.0f, 0.0f}, {4.0f, 4.0f}, {0.0f, 4.0f}, {2.0f, -8.0f}})
    m.Vertex(x, y, 10);
  m.Face({0, 1, 2, 3});
  m.Face({0, 1, 2, 3, 4});
  ASSERT_EQ(Add(0, m, 0, 1), 1);
  const StaticPart& p = *Parts().at(0);
  EXPECT_EQ(p.indices, (std::vector<uint16_t>{0, 1, 2, 0, 2, 3, 0, 1, 2, 0, 2, 3, 0, 3, 4}));
  EXPECT_FLOAT_EQ(p.centre.x, 2.0f);
  EXPECT_FLOAT_EQ(p.centre.y, 0.0f);
  EXPECT_FLOAT_EQ(p.centre.z, 10.0f);
  EXPECT_FLOAT_EQ(p.radius, 1.25f * 8.0f) << "the fifth vertex lies farthest";
  EXPECT_EQ(p.radiusMode, 1);
  EXPECT_FLOAT_EQ(p.contactRadius, 0.5f * 8.0f + 0.5f * 8.0f) << "and 8 below the centre";
  EXPECT_EQ(p.hasCullingBox, 0);
  EXPECT_FLOAT_EQ(p.vertices[4].y, -8.0f);
  EXPECT_FLOAT_EQ(p.vertices[4].nz, -1.0f);
}

TEST_F(StaticPartTest, TheCullingBoxSpansTheOctantsAndAnOccluderOnlyKeepsNoGeometry) {
  ASSERT_EQ(Add(0, BoxMesh(10, 20, 30, 4, 6, 8), 1), 1);
  const StaticPart& box = *Parts().at(0);
  EXPECT_EQ(box.hasCullingBox, 1);
  EXPECT_EQ(box.radiusMode, 0);
  EXPECT_FLOAT_EQ(box.contactRadius, 0.0f);
  const float expected[8][3] = {{2, 3, 4},  {2, 3, -4},  {2, -3, 4},  {2, -3, -4},
                                {-2, 3, 4}, {-2, 3, -4}, {-2, -3, 4}, {-2, -3, -4}};
  for (int i = 0; i < 8; ++i) {
    EXPECT_FLOAT_EQ(box.corners[size_t(i)].x, expected[i][0]) << i;
    EXPECT_FLOAT_EQ(box.corners[size_t(i)].y, expected[i][1]) << i;
    EXPECT_FLOAT_EQ(box.corners[size_t(i)].z, expected[i][2]) << i;
  }
  EXPECT_EQ(box.vertices.size(), 8u);

  ASSERT_EQ(Add(0, BoxMesh(0, 0, 50, 4, 4, 4), 1, 1, 0, 1), 1);
  const StaticPart& occluder = *Parts().at(1);
  EXPECT_EQ(occluder.geometryDropped, 1);
  EXPECT_EQ(occluder.radiusMode, 0) << "a culling box takes the place of the radius mode";
  EXPECT_EQ(occluder.extraFlag, 1);
  EXPECT_TRUE(occluder.vertices.empty());
  EXPECT_TRUE(occluder.indices.empty());
  EXPECT_GT(occluder.radius, 0.0f);
}

TEST_F(StaticPartTest, PartsGroupByTextureAndEachGroupHoldsOneUseOfItsTexture) {
  const uint32_t red = ColourTexture(0xFF0000), blue = ColourTexture(0x0000FF);
  ASSERT_EQ(Add(red, BoxMesh(0, 0, 100, 1, 1, 1)), 1);
  ASSERT_EQ(Add(blue, BoxMesh(5, 0, 100, 1, 1, 1)), 1);
  ASSERT_EQ(Add(red, BoxMesh(-5, 0, 100, 1, 1, 1)), 1);
  auto& groups = Engine().gStaticWorld.geometry.groups;
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups.front().textureSlot, red);
  EXPECT_EQ(groups.front().parts.size(), 2u);
  EXPECT_EQ(groups.back().textureSlot, blue);
  EXPECT_EQ(UsesOf(red), 2);
  EXPECT_EQ(UsesOf(blue), 2);

  RemoveStaticParts(0);
  EXPECT_EQ(groups.size(), 2u) << "groups stay when their parts go";
  EXPECT_TRUE(groups.front().parts.empty());
  ClearStaticGeometry();
  EXPECT_TRUE(groups.empty());
  EXPECT_EQ(UsesOf(red), 1);
  EXPECT_EQ(UsesOf(blue), 1);
}

TEST_F(StaticPartTest, MeshesWithoutVerticesAreSkippedAndUnreachableOnesRefused) {
  const uint32_t red = ColourTexture(0xFF0000);
  EXPECT_EQ(Add(red, TestMesh{}), 1) << "nothing to add is no failure";
  EXPECT_TRUE(Engine().gStaticWorld.geometry.groups.empty()) << "no part with a centre of 0 / 0";
  EXPECT_EQ(UsesOf(red), 1);

  TestMesh huge;
  huge.positions.assign(3 * size_t(kMaxStaticPartVertices + 1), 1.0f);
  huge.Face({0, 1, kMaxStaticPartVertices});
  EXPECT_EQ(Add(red, huge), 0) << "16-bit indices cannot reach every vertex";

  TestMesh stray = BoxMesh(0, 0, 0, 1, 1, 1);
  stray.Face({0, 1, 8});
  EXPECT_EQ(Add(red, stray), 0) << "a face naming a vertex the mesh lacks";

  TestMesh cut = BoxMesh(0, 0, 0, 1, 1, 1);
  StaticMeshData data = cut.Data();
  data.faceWordCount -= 2;  // the last face runs past the list
  EXPECT_EQ(AddStaticPart(red, data, 0, 0, 0, 0), 0);
  ++data.faceCount;
  data.faceWordCount += 2;
  EXPECT_EQ(AddStaticPart(red, data, 0, 0, 0, 0), 0) << "more faces declared than the list holds";

  EXPECT_TRUE(Engine().gStaticWorld.geometry.groups.empty());
  EXPECT_EQ(UsesOf(red), 1);
}

TEST_F(StaticPartTest, TheBuffersGrowWithAPartsVerticesAndItsIndices) {
  EXPECT_EQ(Engine().gStaticWorld.vertexCapacity, kStaticInitialVertices);
  EXPECT_EQ(Engine().gStaticWorld.indexCapacity, 5 * kStaticInitialVertices);
  ASSERT_EQ(Add(0, StripMesh(5000)), 1);
  EXPECT_EQ(Engine().gStaticWorld.vertexCapacity, 5000u);
  EXPECT_GE(Engine().gStaticWorld.indexCapacity, 3u * 4998u);

  // Few vertices and very many faces: more indices than five per vertex of the buffer.
  TestMesh dense;
  for (int i = 0; i < 4; ++i) dense.Vertex(float(i & 1), float(i >> 1), 100);
  for (int i = 0; i < 5000; ++i) dense.Face({0, 1, 3, 2});
  ASSERT_EQ(Add(0, dense), 1);
  EXPECT_GE(Engine().gStaticWorld.indexCapacity, 30000u);
  ClearStaticGeometry();
  ASSERT_EQ(Add(0, dense), 1);
  EXPECT_EQ(Frame().indices, 30000u) << "drawn whole, within the index buffer";
}

// One vertex more than the buffer made at the start: the buffer grows to hold the whole part.
TEST_F(StaticPartTest, APartOneVertexBeyondTheFirstBufferGrowsItAndIsDrawnWhole) {
  ASSERT_EQ(Engine().gStaticWorld.vertexCapacity, kStaticInitialVertices);
  ASSERT_EQ(Add(0, StripMesh(kStaticInitialVertices + 1)), 1);
  EXPECT_EQ(Engine().gStaticWorld.vertexCapacity, kStaticInitialVertices + 1);
  void* data = nullptr;
  win::DWORD size = 0;
  ASSERT_EQ(Engine().gStaticWorld.vertexBuffer->Lock(win::DDLOCK_WAIT, &data, &size), win::D3D_OK);
  Engine().gStaticWorld.vertexBuffer->Unlock();
  EXPECT_EQ(size, (kStaticInitialVertices + 1) * sizeof(StaticVertex));
  const StaticDrawStats drawn = Frame();
  EXPECT_EQ(drawn.batches, 1u);
  EXPECT_EQ(drawn.indices, 3u * (kStaticInitialVertices - 1));
}

TEST_F(StaticPartTest, AnOwnedPartLivesInTheNearestWorldPartThatHoldsItAndGoesWithItsOwner) {
  ASSERT_EQ(Add(0, BoxMesh(0, 0, 100, 100, 100, 100)), 1);  // large, holds the owned part
  ASSERT_EQ(Add(0, BoxMesh(2, 0, 100, 30, 30, 30)), 1);     // nearer, and holds it too
  ASSERT_EQ(Add(0, BoxMesh(-6000, 0, 100, 100, 100, 100)), 1);
  ASSERT_EQ(Add(0, BoxMesh(2.5f, 0, 100, 2, 2, 2), 0, 0, 7), 1);
  ASSERT_EQ(Add(0, BoxMesh(900, 0, 900, 2, 2, 2), 0, 0, 7), 1);
  ASSERT_EQ(Add(0, BoxMesh(-6000, 0, 100, 2, 2, 2), 0, 0, 8), 1);
  std::vector<StaticPart*> parts = Parts();
  EXPECT_EQ(parts[3]->container, parts[1]);
  EXPECT_EQ(parts[4]->container, nullptr) << "no world part holds it";
  EXPECT_EQ(parts[5]->container, nullptr) << "owned parts far out to -x are never contained";

  Frame();
  EXPECT_EQ(parts[1]->visible, 1);
  EXPECT_EQ(parts[3]->visible, 1) << "visible with its container";
  EXPECT_EQ(parts[4]->visible, 0) << "never visible without a container";
  Frame(LookingAt({0, 0, 0}, {0, 0, -100}));
  EXPECT_EQ(parts[1]->visible, 0);
  EXPECT_EQ(parts[3]->visible, 0) << "hidden with its container, wherever it is";

  RemoveStaticParts(0);  // the containers go first: nothing may point at them
  ASSERT_EQ(Parts().size(), 3u);
  EXPECT_EQ(Parts()[0]->container, nullptr);
  RemoveObjectFromStaticWorld(7);
  ASSERT_EQ(Parts().size(), 1u);
  EXPECT_EQ(Parts()[0]->owner, 8);
}

class StaticCullingTest : public test::StaticWorldTest {};

TEST_F(StaticCullingTest, PartsOutsideTheViewAreNotDrawn) {
  ASSERT_EQ(Add(0, BoxMesh(0, 0, 100, 2, 2, 2)), 1);     // ahead
  ASSERT_EQ(Add(0, BoxMesh(0, 0, -100, 2, 2, 2)), 1);    // behind the camera
  ASSERT_EQ(Add(0, BoxMesh(0, 0, 4000, 2, 2, 2)), 1);    // beyond the far range
  ASSERT_EQ(Add(0, BoxMesh(500, 0, 100, 2, 2, 2)), 1);   // off to the right
  ASSERT_EQ(Add(0, BoxMesh(0, -400, 100, 2, 2, 2)), 1);  // below
  ASSERT_EQ(Add(0, BoxMesh(15, 0, 10, 2, 2, 2)), 1);     // off the edge, but nearer than 20
  ASSERT_EQ(Add(0, BoxMesh(0, 0, -1, 4, 4, 4)), 1);      // around the eye
  const StaticDrawStats stats = Frame();
  std::vector<uint8_t> visible;
  for (const StaticPart* p : Parts()) visible.push_back(p->visible);
  EXPECT_EQ(visible, (std::vector<uint8_t>{1, 0, 0, 0, 0, 1, 1}));
  EXPECT_FLOAT_EQ(Parts()[0]->depthRatio, 100.0f / 3000.0f);
  EXPECT_EQ(stats.batches, 1u);
  EXPECT_EQ(stats.indices, 3u * 36u) << "three boxes of twelve triangles";
}

TEST_F(StaticCullingTest, TheRenderCullsThroughTheScenesView) {
  ASSERT_EQ(Add(0, BoxMesh(0, 0, 100, 2, 2, 2)), 1);
  const Matrix4f savedView = Scene().gViewMatrix, savedProjection = Scene().gProjectionMatrix;
  const StaticView back = LookingAt({0, 0, 0}, {0, 0, -100});
  Scene().gViewMatrix = back.view;
  Scene().gProjectionMatrix = back.projection;
  ASSERT_EQ(Display().gD3DDevice->BeginScene(), win::D3D_OK);
  EXPECT_EQ(RenderStaticWorld().batches, 0u);
  EXPECT_EQ(Parts()[0]->visible, 0);
  Scene().gViewMatrix = LookingAhead().view;
  EXPECT_EQ(RenderStaticWorld().batches, 1u);
  EXPECT_EQ(Parts()[0]->visible, 1);
  Display().gD3DDevice->EndScene();
  Scene().gViewMatrix = savedView;
  Scene().gProjectionMatrix = savedProjection;
}

TEST_F(StaticCullingTest, AnOccluderHidesWhatLiesWhollyBehindIt) {
  ASSERT_EQ(Add(0, BoxMesh(0, 0, 50, 40, 40, 1), 1), 1);  // a wall ahead
  ASSERT_EQ(Add(0, BoxMesh(0, 0, 200, 2, 2, 2)), 1);      // behind it
  ASSERT_EQ(Add(0, BoxMesh(0, 0, 20, 2, 2, 2)), 1);       // in front of it
  ASSERT_EQ(Add(0, BoxMesh(150, 0, 200, 2, 2, 2)), 1);    // behind, but beside it on the screen
  ASSERT_EQ(Add(0, BoxMesh(0, 0, 60, 2, 2, 30)), 1);      // reaching in front of its far face
  Frame();
  std::vector<StaticPart*> parts = Parts();
  EXPECT_EQ(parts[0]->visible, 1);
  EXPECT_EQ(parts[0]->occluder.mark, 1);
  EXPECT_NEAR(parts[0]->occluder.maxX, 1.25f * 20.0f / 49.5f, 1e-3f);
  EXPECT_EQ(parts[1]->visible, 0);
  EXPECT_EQ(parts[2]->visible, 1);
  EXPECT_EQ(parts[3]->visible, 1);
  EXPECT_EQ(parts[4]->visible, 1);

  Engine().gStaticWorld.occlusionOn = 0;
  Frame();
  EXPECT_EQ(parts[1]->visible, 1) << "with occlusion off only the view test counts";
  EXPECT_EQ(parts[0]->occluder.mark, 0);
}

TEST_F(StaticCullingTest, OccludersTrimTogetherAndTheExtraFlagCoversTheWholeHeight) {
  ASSERT_EQ(Add(0, BoxMesh(0, 0, 200, 10, 10, 10)), 1);        // the hidden part
  ASSERT_EQ(Add(0, BoxMesh(-19.5f, 0, 50, 41, 80, 1), 1), 1);  // left wall, x -40 to 1
  Frame();
  EXPECT_EQ(Parts()[0]->visible, 1) << "one wall leaves a strip of it";
  ASSERT_EQ(Add(0, BoxMesh(19.5f, 0, 50, 41, 80, 1), 1), 1);  // right wall, x -1 to 40
  Frame();
  EXPECT_EQ(Parts()[0]->visible, 0) << "the two walls leave nothing";

  ClearStaticGeometry();
  ASSERT_EQ(Add(0, BoxMesh(0, 30, 200, 4, 4, 4)), 1);  // high above a low wall
  ASSERT_EQ(Add(0, BoxMesh(0, 0, 50, 80, 2, 1), 1), 1);
  Frame();
  EXPECT_EQ(Parts()[0]->visible, 1);
  ClearStaticGeometry();
  ASSERT_EQ(Add(0, BoxMesh(0, 30, 200, 4, 4, 4)), 1);
  ASSERT_EQ(Add(0, BoxMesh(0, 0, 50, 80, 2, 1), 1, 1, 0, 1), 1);  // the same wall, full height
  Frame();
  EXPECT_EQ(Parts()[0]->visible, 0);
  EXPECT_EQ(Parts()[1]->occluder.minY, -1.0f);
  EXPECT_EQ(Parts()[1]->occluder.maxY, 1.0f);
}

TEST_F(StaticCullingTest, ABoxMostlyBehindTheCameraOccludesNothing) {
  ASSERT_EQ(Add(0, BoxMesh(0, 0, 200, 2, 2, 2)), 1);
  ASSERT_EQ(Add(0, BoxMesh(0, 0, -5, 400, 400, 20), 1), 1);  // around the eye, mostly behind it
  Frame();
  EXPECT_EQ(Parts()[1]->visible, 1);
  EXPECT_EQ(Parts()[1]->occluder.mark, 0);
  EXPECT_EQ(Parts()[0]->visible, 1);
}

class StaticBatchTest : public test::StaticWorldTest {
 protected:
  // The vertices of the last batch, read back from the shared buffer.
  static std::vector<StaticVertex> BufferVertices(uint32_t count) {
    void* data = nullptr;
    EXPECT_EQ(Engine().gStaticWorld.vertexBuffer->Lock(win::DDLOCK_WAIT, &data, nullptr), win::D3D_OK);
    const auto* v = static_cast<const StaticVertex*>(data);
    std::vector<StaticVertex> out(v, v + count);
    Engine().gStaticWorld.vertexBuffer->Unlock();
    return out;
  }
};

TEST_F(StaticBatchTest, PartsOfOneTextureShareABatchWithTheirIndicesMovedOn) {
  const uint32_t red = ColourTexture(0xFF0000);
  TestMesh a = StripMesh(3), b = StripMesh(4);
  b.positions[0] = 7.0f;
  ASSERT_EQ(Add(red, a), 1);
  ASSERT_EQ(Add(red, b), 1);
  const StaticDrawStats stats = Frame();
  EXPECT_EQ(stats.batches, 1u);
  EXPECT_EQ(stats.indices, 9u);
  const std::vector<uint16_t> indices(Engine().gStaticWorld.indexBuffer.begin(),
                                      Engine().gStaticWorld.indexBuffer.begin() + 9);
  EXPECT_EQ(indices, (std::vector<uint16_t>{0, 1, 2, 3, 4, 5, 4, 5, 6}));
  EXPECT_FLOAT_EQ(BufferVertices(7)[3].x, 7.0f);
  win::IDirectDrawSurface7* texture = nullptr;
  ASSERT_EQ(Display().gD3DDevice->GetTexture(0, &texture), win::D3D_OK);
  EXPECT_EQ(texture, StaticTextureSurface(red));
  if (texture) texture->Release();
}

TEST_F(StaticBatchTest, ABatchIsDrawnBeforeItWouldReachThreeHundredVerticesAndPerTexture) {
  ASSERT_EQ(Add(0, StripMesh(100)), 1);
  ASSERT_EQ(Add(0, StripMesh(250)), 1);
  EXPECT_EQ(Frame().batches, 2u) << "250 after 100 starts a new batch";
  ClearStaticGeometry();
  ASSERT_EQ(Add(0, StripMesh(100)), 1);
  ASSERT_EQ(Add(0, StripMesh(199)), 1);
  EXPECT_EQ(Frame().batches, 1u) << "299 vertices fit";
  ASSERT_EQ(Add(ColourTexture(0x00FF00), StripMesh(10)), 1);
  EXPECT_EQ(Frame().batches, 2u) << "one batch per texture at least";
  ASSERT_EQ(Add(0, StripMesh(1000)), 1);
  const StaticDrawStats stats = Frame();
  EXPECT_EQ(stats.batches, 3u) << "a part of 300 or more goes alone";
  EXPECT_EQ(stats.indices, 3u * (98 + 197 + 8 + 998));
}

TEST_F(StaticBatchTest, OccludersWithoutGeometryAndHiddenPartsDrawNothing) {
  ASSERT_EQ(Add(0, BoxMesh(0, 0, 50, 40, 40, 1), 1, 1), 1);  // an occluder only
  ASSERT_EQ(Add(0, BoxMesh(0, 0, 200, 2, 2, 2)), 1);         // hidden by it
  EXPECT_EQ(Frame().batches, 0u);
  ASSERT_EQ(Add(0, BoxMesh(0, 0, 20, 2, 2, 2)), 1);
  const StaticDrawStats stats = Frame();
  EXPECT_EQ(stats.batches, 1u);
  EXPECT_EQ(stats.indices, 36u);
}

TEST_F(StaticBatchTest, NothingIsDrawnOutsideAScene) {
  ASSERT_EQ(Add(0, StripMesh(10)), 1);
  CullStaticWorld(LookingAhead());
  EXPECT_EQ(DrawStaticWorld().batches, 0u) << "the device refuses, and nothing is counted";
}

// --- Collision ---------------------------------------------------------------------------------

class StaticCollisionTest : public test::StaticWorldTest {};

TEST_F(StaticCollisionTest, TheBoxTestPushesBackOutOfTheSideTheBoxCameFrom) {
  ASSERT_EQ(AddStaticCollisionBox(0, 0, 0, 10, 10, 10), 0);
  float out[3];
  const float fromLeftOld[6] = {-3, 2, 2, -1, 4, 4}, fromLeftNew[6] = {-1, 2, 2, 1, 4, 4};
  EXPECT_EQ(StaticBoxListTest(fromLeftOld, fromLeftNew, out), 1);
  EXPECT_FLOAT_EQ(out[0], 1.0f);
  EXPECT_FLOAT_EQ(out[1], 0.0f);
  const float fromAboveOld[6] = {2, 11, 2, 4, 13, 4}, fromAboveNew[6] = {2, 9, 2, 4, 11, 4};
  EXPECT_EQ(StaticBoxListTest(fromAboveOld, fromAboveNew, out), 1);
  EXPECT_FLOAT_EQ(out[1], -1.0f);
  EXPECT_FLOAT_EQ(out[0], 0.0f);
  const float touchingNew[6] = {-2, 2, 2, 0, 4, 4};
  EXPECT_EQ(StaticBoxListTest(fromLeftOld, touchingNew, out), 1) << "a touching face counts";
  EXPECT_FLOAT_EQ(out[0], 0.0f);
  const float apartNew[6] = {-2, 2, 2, -0.01f, 4, 4};
  EXPECT_EQ(StaticBoxListTest(fromLeftOld, apartNew, out), 0);

  // A second box pushes on another axis; a third overwrites the first one's component.
  ASSERT_EQ(AddStaticCollisionBox(-5, -10, -5, 5, 3, 5), 0);
  ASSERT_EQ(AddStaticCollisionBox(-10, 2, 2, 0.5f, 3.2f, 3), 0);
  const float downOld[6] = {-1, 3.5f, 2, 1, 5, 4}, downNew[6] = {-1, 2.5f, 2, 1, 4, 4};
  EXPECT_EQ(StaticBoxListTest(downOld, downNew, out), 1);
  EXPECT_FLOAT_EQ(out[1], 2.5f - 3.2f) << "the third box, from above, overwrote the second's";
  EXPECT_FLOAT_EQ(out[0], 1.0f) << "the first box's push stays";
}

TEST_F(StaticCollisionTest, TheSweepStopsOneStepBeforeTheFirstContactInAnyDirection) {
  ASSERT_EQ(AddStaticCollisionBox(10, -5, -5, 12, 5, 5), 0);  // ahead along x
  ASSERT_EQ(AddStaticCollisionBox(-5, 10, -5, 5, 12, 5), 0);  // overhead
  float out[3];
  const float origin[3] = {0, 0, 0};
  const float right[3] = {20, 0, 0}, up[3] = {0, 20, 0}, back[3] = {0, 0, -20};
  EXPECT_EQ(StaticWorldSweepTest(origin, right, 0.5f, 1.0f, out), 1);
  EXPECT_FLOAT_EQ(out[0], 9.0f);
  EXPECT_EQ(StaticWorldSweepTest(origin, up, 0.5f, 1.0f, out), 1) << "a vertical move collides";
  EXPECT_FLOAT_EQ(out[0], 0.0f);
  EXPECT_FLOAT_EQ(out[1], 9.0f);
  EXPECT_EQ(StaticWorldSweepTest(origin, back, 0.5f, 1.0f, out), 0);
  EXPECT_EQ(out[2], 0.0f);
  EXPECT_EQ(StaticWorldSweepTest(origin, right, 0.5f, 0.0f, out), 1) << "a step of 0 counts as 1";
  EXPECT_FLOAT_EQ(out[0], 9.0f);
  EXPECT_EQ(StaticWorldSweepTest(origin, right, 0.5f, 2.0f, out), 1);
  EXPECT_FLOAT_EQ(out[0], 8.0f);

  // The box that the path meets first wins, whatever the order of the list.
  ASSERT_EQ(AddStaticCollisionBox(4, -1, -1, 5, 1, 1), 0);
  EXPECT_EQ(StaticWorldSweepTest(origin, right, 0.0f, 1.0f, out), 1);
  EXPECT_FLOAT_EQ(out[0], 3.0f);
}

TEST_F(StaticCollisionTest, StillPointsShortMovesAndTinyStepsAreTestedAndEnd) {
  ASSERT_EQ(AddStaticCollisionBox(10.2f, -5, -5, 11, 5, 5), 0);
  float out[3];
  const float inside[3] = {10.5f, 0, 0}, outside[3] = {3, 0, 0};
  EXPECT_EQ(StaticWorldSweepTest(inside, inside, 0.1f, 1.0f, out), 1) << "no move: the start is tested";
  EXPECT_FLOAT_EQ(out[0], 10.5f);
  EXPECT_EQ(StaticWorldSweepTest(outside, outside, 0.1f, 1.0f, out), 0);

  const float start[3] = {0, 0, 0}, end[3] = {10.5f, 0, 0};
  EXPECT_EQ(StaticWorldSweepTest(start, end, 0.0f, 1.0f, out), 1) << "the end between two steps is tested";
  EXPECT_FLOAT_EQ(out[0], 10.0f);
  const float shortEnd[3] = {0.5f, 0, 0}, nearStart[3] = {10, 0, 0};
  EXPECT_EQ(StaticWorldSweepTest(nearStart, shortEnd, 0.0f, 1.0f, out), 0);

  const float far[3] = {20, 0, 0};
  EXPECT_EQ(StaticWorldSweepTest(start, far, 0.0f, 1e-30f, out), 1) << "capped, so it ends";
  EXPECT_NEAR(out[0], 10.2f, 20.0f / float(kMaxSweepSteps));
  EXPECT_LT(out[0], 10.2f);
}

}  // namespace
}  // namespace vx
