// The collision library as the engine and the scene tree use it: shapes placed and turned by
// their transforms (cylinders and cones upright), pairs reported once with their full 64-bit ids
// in the order the objects were added, the same pairs with and without the broad phase, and the
// collision shapes a model's meshes build, follow and give back.
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <utility>
#include <vector>

#include "collision/collision.h"
#include "models/scene_model.h"

namespace vx {
namespace {

Matrix4f Place(float x, float y, float z, float turnY = 0.0f) {
  Matrix4f m{};
  const float c = std::cos(turnY), s = std::sin(turnY);
  m.At(0, 0) = c;
  m.At(0, 2) = -s;
  m.At(1, 1) = 1;
  m.At(2, 0) = s;
  m.At(2, 2) = c;
  m.At(3, 0) = x;
  m.At(3, 1) = y;
  m.At(3, 2) = z;
  m.At(3, 3) = 1;
  return m;
}

CollisionShape Box(float x, float y, float z) {
  CollisionShape s;
  s.kind = CollisionShape::Kind::Box;
  s.size = Vector3f(x, y, z);
  return s;
}

CollisionShape Sphere(float r) {
  CollisionShape s;
  s.kind = CollisionShape::Kind::Sphere;
  s.size = Vector3f(r, 0, 0);
  return s;
}

struct Recorder {
  std::vector<std::pair<CollisionId, CollisionId>> pairs;
  static void Record(void* data, CollisionId a, CollisionId b) {
    static_cast<Recorder*>(data)->pairs.emplace_back(a, b);
  }
};

class Collision : public ::testing::Test {
 protected:
  void SetUp() override { Restart(); }
  // An empty library that reports to the recorder.
  void Restart() {
    ResetCollisionLibrary();
    SetDefaultResponse(&Recorder::Record, kResponseSimple, &recorder_);
  }
  void TearDown() override { ResetCollisionLibrary(); }
  uint32_t Add(CollisionId id, const CollisionShape& shape, const Matrix4f& where) {
    const uint32_t handle = AddCollisionObject(id, shape);
    EXPECT_NE(handle, 0u);
    SetCollisionTransform(handle, where);
    return handle;
  }
  Recorder recorder_;
};

TEST_F(Collision, IdsKeepSlotsAndFramesThatWouldOverflowThirtyTwoBits) {
  const CollisionId a = MakeCollisionId(70000, 5), b = MakeCollisionId(70001, 99999);
  EXPECT_EQ(CollisionObjectSlot(a), 70000u);
  EXPECT_EQ(CollisionFrameId(b), 99999u);
  Add(a, Box(1, 1, 1), Place(0, 0, 0));
  const uint32_t far = Add(b, Sphere(0.5f), Place(5, 0, 0));
  EXPECT_EQ(TestCollisions(), 0);
  EXPECT_TRUE(recorder_.pairs.empty());
  SetCollisionTransform(far, Place(0.9f, 0, 0));
  EXPECT_EQ(TestCollisions(), 1);
  ASSERT_EQ(recorder_.pairs.size(), 1u);
  EXPECT_EQ(recorder_.pairs[0], std::make_pair(a, b));
  EXPECT_EQ(CollisionObjectIdOf(far), b);
}

TEST_F(Collision, TransformsTurnShapesAndCylindersAndConesStandUpright) {
  // A long thin box reaches a sphere on the z axis only once it is turned a quarter about y.
  const uint32_t rod = Add(1, Box(4, 0.2f, 0.2f), Place(0, 0, 0));
  Add(2, Sphere(0.2f), Place(0, 0, 1.8f));
  EXPECT_EQ(TestCollisions(), 0);
  SetCollisionTransform(rod, Place(0, 0, 0, float(M_PI / 2)));
  EXPECT_EQ(TestCollisions(), 1);
  RemoveCollisionObject(rod);
  EXPECT_EQ(CollisionObjectCount(), 1u);
  // Row vectors: a shape 2 along x, turned a quarter about y, lands at z -2 (p x M).
  CollisionShape offset = Box(1, 1, 1);
  offset.offset = Vector3f(2, 0, 0);
  const uint32_t moved = Add(3, offset, Place(0, 0, 0, float(M_PI / 2)));
  EXPECT_EQ(TestCollisions(), 0);
  SetCollisionTransform(moved, Place(0, 0, 4, float(M_PI / 2)));
  EXPECT_EQ(TestCollisions(), 1);
  RemoveCollisionObject(moved);

  // Each probe point touches the upright shape (radius 0.5) or not.
  struct Probe {
    Vector3f at;
    int32_t pairs;
  };
  auto check = [&](CollisionShape::Kind kind, float height, std::initializer_list<Probe> probes) {
    Restart();
    CollisionShape upright;
    upright.kind = kind;
    upright.size = Vector3f(0.5f, height, 0);
    Add(10, upright, Place(0, 0, 0));
    const uint32_t probe = Add(11, Sphere(0.05f), Place(0, 0, 0));
    for (const Probe& p : probes) {
      SetCollisionTransform(probe, Place(p.at.x, p.at.y, p.at.z));
      EXPECT_EQ(TestCollisions(), p.pairs) << p.at.x << ", " << p.at.y << ", " << p.at.z;
    }
  };
  // A cylinder of height 4 stands along y: it reaches y 1.9, not z 1.9.
  check(CollisionShape::Kind::Cylinder, 4, {{Vector3f(0, 1.9f, 0), 1}, {Vector3f(0, 0, 1.9f), 0}});
  // A cone's tip is at the top: narrow near y 0.9, wide near y -0.9.
  check(CollisionShape::Kind::Cone, 2,
        {{Vector3f(0, 0.9f, 0), 1}, {Vector3f(0.4f, 0.9f, 0), 0}, {Vector3f(0.4f, -0.9f, 0), 1}});
}

TEST_F(Collision, TheBroadPhaseFindsTheSamePairsAsTestingEveryPair) {
  // A row of boxes that touch their neighbours, and a triangle mesh across the row.
  for (int i = 0; i < 20; ++i)
    Add(MakeCollisionId(uint32_t(i), 0), Box(1.1f, 1, 1), Place(float(i), 0, float(i % 3) * 0.2f));
  CollisionShape sheet;
  sheet.kind = CollisionShape::Kind::Triangles;
  sheet.vertices = {Vector3f(2, -2, 0), Vector3f(2, 2, 0), Vector3f(12, 0, 0)};
  sheet.indices = {0, 1, 2};
  Add(MakeCollisionId(99, 1), sheet, Place(0, 0, 0.1f));
  const int32_t withBroadPhase = TestCollisions();
  const auto pairs = recorder_.pairs;
  recorder_.pairs.clear();
  DisableBroadPhase();
  EXPECT_EQ(TestCollisions(), withBroadPhase);
  EXPECT_EQ(recorder_.pairs, pairs);
  EXPECT_EQ(withBroadPhase, 19 + 11);
  // Pairs come in the order their objects were added.
  EXPECT_EQ(pairs.front(), std::make_pair(MakeCollisionId(0, 0), MakeCollisionId(1, 0)));
}

TEST_F(Collision, ShapesOfOneIdNeverPairAndWithoutAResponsePairsAreOnlyCounted) {
  Add(7, Box(1, 1, 1), Place(0, 0, 0));
  Add(7, Box(1, 1, 1), Place(0.5f, 0, 0));
  EXPECT_EQ(TestCollisions(), 0);
  Add(8, Box(1, 1, 1), Place(0.2f, 0, 0));
  SetDefaultResponse(nullptr, kResponseNone, nullptr);
  EXPECT_EQ(TestCollisions(), 2);
  EXPECT_TRUE(recorder_.pairs.empty());
  EXPECT_EQ(AddCollisionObject(9, Box(0, 1, 1)), 0u);  // no extent
  CollisionShape broken;
  broken.kind = CollisionShape::Kind::Triangles;
  broken.vertices = {Vector3f(0, 0, 0)};
  broken.indices = {0, 0, 4};
  EXPECT_EQ(AddCollisionObject(9, broken), 0u);
}

// ---- the shapes a model's meshes build ------------------------------------------------------------

// A frame under the root holding a unit square in the XY plane at the origin.
void AddSquare(SceneModel& model, int32_t frameId) {
  static const float positions[12] = {-0.5f, -0.5f, 0, 0.5f, -0.5f, 0, 0.5f, 0.5f, 0, -0.5f, 0.5f, 0};
  static const float normals[12] = {0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1};
  static const uint32_t faces[14] = {3, 0, 0, 1, 1, 2, 2, 3, 0, 0, 2, 2, 3, 3};
  ASSERT_EQ(model.AddMeshFrame(frameId, MeshRecordView{4, 4, 2, positions, normals, faces, nullptr}, 0), kModelOk);
}

TEST_F(Collision, ModelShapesFollowTheirFramesAndScaleAndGoWithTheirMeshes) {
  {
    SceneModel model;
    AddSquare(model, 0);
    AddSquare(model, 1);
    Matrix4f limb = Place(3, 0, 0);
    model.SetMatrixById(1, limb);
    model.SetCollisionShape(70000, kShapeFittedBox, 0, 0, 0);
    EXPECT_EQ(CollisionObjectCount(), 2u);
    const uint32_t probe = Add(MakeCollisionId(1, 0), Sphere(0.1f), Place(103, 0, 0));
    model.SetRootTransform(Place(100, 0, 0));
    model.UpdateCollision();
    recorder_.pairs.clear();
    EXPECT_EQ(TestCollisions(), 1);
    ASSERT_EQ(recorder_.pairs.size(), 1u);
    EXPECT_EQ(recorder_.pairs[0].first, MakeCollisionId(70000, 1));

    // Hiding the limb's shape and bringing it back.
    model.ClearCollisionById(1);
    EXPECT_EQ(TestCollisions(), 0);
    model.SetCollisionShapeById(70000, 1, kShapeFittedSphere);
    model.UpdateCollision();
    EXPECT_EQ(TestCollisions(), 1);

    // Scaled by 4, the root's square reaches a probe 1.5 away; unscaled it does not.
    SetCollisionTransform(probe, Place(101.5f, 0, 0));
    EXPECT_EQ(TestCollisions(), 0);
    Matrix4f scaled = Place(100, 0, 0);
    scaled.At(0, 0) = scaled.At(1, 1) = scaled.At(2, 2) = 4;
    model.SetRootTransform(scaled);
    model.UpdateCollision();
    EXPECT_EQ(TestCollisions(), 1);

    // The mesh's own triangles: the probe beside the square's plane touches nothing.
    model.SetCollisionShape(70000, kShapeTriangles, 0, 0, 0);
    model.SetRootTransform(Place(100, 0, 0));
    model.UpdateCollision();
    SetCollisionTransform(probe, Place(100, 0, 0.5f));
    EXPECT_EQ(TestCollisions(), 0);
    SetCollisionTransform(probe, Place(100.2f, 0.2f, 0.05f));
    EXPECT_EQ(TestCollisions(), 1);

    // Given sizes: a box of 1 by 1 by 6 reaches 2.5 along z.
    model.SetCollisionShape(70000, kShapeBox, 1, 1, 6);
    model.UpdateCollision();
    SetCollisionTransform(probe, Place(100, 0, 2.5f));
    EXPECT_EQ(TestCollisions(), 1);

    model.ClearCollision();
    EXPECT_EQ(CollisionObjectCount(), 1u);
    model.SetCollisionShape(70000, kShapeSphere, 1, 0, 0);
    EXPECT_EQ(CollisionObjectCount(), 3u);
  }
  // The model's meshes gave their shapes back when it went.
  EXPECT_EQ(CollisionObjectCount(), 1u);
}

}  // namespace
}  // namespace vx
