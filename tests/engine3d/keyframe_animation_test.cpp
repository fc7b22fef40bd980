// Keyframe animation on the engine's objects: keys interpolated between the keys around a frame,
// key rotations that turn back into the poses they were taken from, keys posing the frames their
// tracks name (and no others), playback that advances, stops and wraps by its speed, blends that
// run their steps, objects without blend room that jump instead, stopped and cleared animations
// that leave no node reading a deleted set, and the pose buffer kept from frame to frame.
#include "engine3d/animation.h"

#include "engine3d/animation_list.h"
#include "engine3d/maths3d.h"
#include "models/model_maths.h"
#include "tests/engine3d/engine_world.h"

namespace vx {
namespace {

const std::string kAnimatedModel = std::string(VX_SOURCE_DIR) + "/tests/fixtures/models/anim.x";

::testing::AssertionResult Near(const Matrix4f& actual, const Matrix4f& expected, float tolerance = 1e-4f) {
  for (int i = 0; i < 16; ++i)
    if (!(std::fabs(actual.m[i] - expected.m[i]) <= tolerance))
      return ::testing::AssertionFailure() << "element " << i << " is " << actual.m[i] << ", not " << expected.m[i];
  return ::testing::AssertionSuccess();
}

// The matrix that turns row vectors about x by the angle (radians), moved to the position.
Matrix4f TurnAboutX(float angle, const Vector3f& position) {
  Matrix4f m = models::Identity();
  m.At(1, 1) = std::cos(angle);
  m.At(1, 2) = std::sin(angle);
  m.At(2, 1) = -std::sin(angle);
  m.At(2, 2) = std::cos(angle);
  m.At(3, 0) = position.x;
  m.At(3, 1) = position.y;
  m.At(3, 2) = position.z;
  return m;
}

class AnimationTest : public test::EngineWorld {
 protected:
  // The animated model (frames Hip 1, Knee 2, Still 3; the knee turns a quarter about x and moves
  // down by one over frames 0 to 10) under object 1.
  uint32_t LoadAnimated(int32_t number = 1) {
    Interpreter().gErrorCode = 0;
    LoadObject(kAnimatedModel, number);
    EXPECT_EQ(Interpreter().gErrorCode, 0);
    return ObjectSlotOf(number);
  }
  static Matrix4f FrameMatrix(uint32_t slot, int32_t frame) {
    Matrix4f m;
    EXPECT_TRUE(Engine().gObjectRecords[slot].model->GetMatrixById(frame, m)) << "frame " << frame;
    return m;
  }
  static void PoseAt(uint32_t slot, float frame) {
    Engine().gObjectRecords[slot].currentFrame = frame;
    UpdateObjectAnimation(slot, Engine().gObjectRecords[slot].model->GetAnimationSet());
  }
};

TEST_F(AnimationTest, KeysInterpolateBetweenTheKeysAroundAFrame) {
  const float half = std::sqrt(0.5f);
  const RotationKey turns[] = {{0, 1, 0, 0, 0}, {10, half, half, 0, 0}};
  const Quaternion middle = SlerpRotationKey(2, turns, 5.5f);
  // 55 % of a quarter turn.
  EXPECT_NEAR(middle.s, std::cos(0.55f * 3.14159265f / 4), 1e-5);
  EXPECT_NEAR(middle.x, std::sin(0.55f * 3.14159265f / 4), 1e-5);
  for (float frame : {10.0f, 25.0f, -1.0f}) {
    const Quaternion last = SlerpRotationKey(2, turns, frame);
    EXPECT_NEAR(last.s, half, 1e-6) << frame;
    EXPECT_NEAR(last.x, half, 1e-6) << frame;
  }

  const VectorKey moves[] = {{5, 0, 0, 0}, {10, 2, 4, -6}};
  const Vector3f before = InterpolateVectorKeys(2, moves, 3.0f);
  EXPECT_EQ(before.x, 0.0f);
  const Vector3f mid = InterpolateVectorKeys(2, moves, 7.5f);
  EXPECT_FLOAT_EQ(mid.x, 1.0f);
  EXPECT_FLOAT_EQ(mid.y, 2.0f);
  EXPECT_FLOAT_EQ(mid.z, -3.0f);
  EXPECT_FLOAT_EQ(InterpolateVectorKeys(2, moves, 1e30f).y, 4.0f) << "a huge frame is past the last key";
  EXPECT_FLOAT_EQ(InterpolateVectorKeys(2, moves, std::nanf("")).x, 0.0f);
}

TEST_F(AnimationTest, AKeyRotationTurnsBackIntoThePoseItWasTakenFrom) {
  for (const Vector3f angles : {Vector3f(0, 0, 0), Vector3f(90, 0, 0), Vector3f(0, 45, 0), Vector3f(30, 60, 200),
                                Vector3f(180, 0, 0), Vector3f(10, 180, 90)}) {
    Matrix4f pose;
    ComposeFrameMatrix(pose, Vector3f(1, 2, 3), angles, Vector3f(1, 1, 1), 0);
    float key[4];
    models::RotationKeyFromMatrix(pose, key);
    Matrix4f back = MatrixFromQuaternion(Quaternion{key[0], key[1], key[2], key[3]});
    back.At(3, 0) = 1, back.At(3, 1) = 2, back.At(3, 2) = 3;
    EXPECT_TRUE(Near(back, pose)) << angles.x << " " << angles.y << " " << angles.z;
  }
  EXPECT_TRUE(Near(MatrixFromQuaternion(Quaternion{0, 0, 0, 0}), models::Identity())) << "no rotation, no NaN";

  // The model's knee half way: an eighth of a turn about x (as the file's keys turn it), half way down.
  const uint32_t slot = LoadAnimated();
  PoseAt(slot, 5.0f);
  EXPECT_TRUE(Near(FrameMatrix(slot, 2), TurnAboutX(-3.14159265f / 4, Vector3f(0, -1.5f, 0))));
  PoseAt(slot, 10.0f);
  EXPECT_TRUE(Near(FrameMatrix(slot, 2), TurnAboutX(-3.14159265f / 2, Vector3f(0, -2, 0))));
}

TEST_F(AnimationTest, KeysPoseTheFramesTheirTracksNameAndNoOthers) {
  const uint32_t slot = LoadAnimated();
  SceneModel& model = *Engine().gObjectRecords[slot].model;
  const Matrix4f root = FrameMatrix(slot, 0), hip = FrameMatrix(slot, 1);
  // A set of two tracks in the wrong order: the still frame's first, then the knee's.
  auto* set = new AnimationSet();
  auto* still = new AnimationTrack();
  still->SetFrameId(3);
  still->positionKeys = {{0, 5, 6, 7}};
  auto* knee = new AnimationTrack();
  knee->SetFrameId(2);
  knee->positionKeys = {{0, 0, -9, 0}};
  set->AddTrack(still);
  set->AddTrack(knee);
  auto* stray = new AnimationTrack();  // a frame the model does not have
  stray->SetFrameId(40);
  stray->positionKeys = {{0, 1, 1, 1}};
  set->AddTrack(stray);
  delete model.GetAnimationSet();
  model.SetAnimationSet(set);

  PoseAt(slot, 0.0f);
  EXPECT_TRUE(Near(FrameMatrix(slot, 3), TurnAboutX(0, Vector3f(5, 6, 7))));
  EXPECT_TRUE(Near(FrameMatrix(slot, 2), TurnAboutX(0, Vector3f(0, -9, 0))));
  EXPECT_TRUE(Near(FrameMatrix(slot, 1), hip)) << "a frame without a track keeps its pose";
  EXPECT_TRUE(Near(FrameMatrix(slot, 0), root)) << "the root places the object";
}

TEST_F(AnimationTest, PlaybackAdvancesByItsSpeedStopsAtItsEndsAndWraps) {
  const uint32_t slot = LoadAnimated();
  ObjectRecord& o = Engine().gObjectRecords[slot];
  AddToAnimatedList(slot);

  // Once through 0 to 10 at 0.2 a frame: it stops at exactly 10 the first time it passes it.
  o.playing = 1, o.looping = 0, o.startFrame = 0, o.endFrame = 10, o.currentFrame = 0, o.speed = 0.2f;
  int frames = 0;
  while (o.playing && frames < 100) {
    AdvanceAnimations();
    ++frames;
  }
  EXPECT_EQ(o.currentFrame, 10.0f);
  EXPECT_EQ(frames, 51);

  // Backwards, once: it stops at the start frame.
  o.playing = 1, o.startFrame = 3, o.currentFrame = 5, o.speed = -1.0f;
  for (int i = 0; i < 5; ++i) AdvanceAnimations();
  EXPECT_EQ(o.playing, 0);
  EXPECT_EQ(o.currentFrame, 3.0f);

  // Looping forwards wraps to the start frame; backwards to the end frame.
  o.playing = 1, o.looping = 1, o.startFrame = 2, o.endFrame = 6, o.currentFrame = 5, o.speed = 1.0f;
  AdvanceAnimations();
  EXPECT_EQ(o.currentFrame, 6.0f);
  AdvanceAnimations();
  EXPECT_EQ(o.currentFrame, 2.0f);
  o.startFrame = 0, o.currentFrame = 0, o.speed = -1.0f;
  AdvanceAnimations();
  EXPECT_EQ(o.currentFrame, 6.0f);
  EXPECT_EQ(o.playing, 1);

  // An object moved into the static world stands still.
  o.inStaticWorld = 1;
  AdvanceAnimations();
  EXPECT_EQ(o.currentFrame, 6.0f);
  o.inStaticWorld = 0;
}

TEST_F(AnimationTest, ABlendRunsItsStepsFromTheFrameToTheTarget) {
  const uint32_t slot = LoadAnimated();
  ObjectRecord& o = Engine().gObjectRecords[slot];
  ASSERT_GE(o.blendTrackCount, 3) << "a loaded model has room to blend every track";
  PoseAt(slot, 0.0f);
  o.blendFactor = 0.25f, o.blendPending = 1, o.blendProgress = 0, o.blendTargetFrame = 10;
  float progress[4] = {};
  for (int step = 0; step < 4; ++step) {
    progress[step] = o.blendProgress;
    UpdateObjectAnimation(slot, o.model->GetAnimationSet());
    if (step == 0) {
      EXPECT_EQ(o.currentFrame, 10.0f) << "the frame jumps to the target at the first step";
      // A quarter of the way: from straight down at -1 to a quarter turn at -2.
      EXPECT_TRUE(Near(FrameMatrix(slot, 2), TurnAboutX(-3.14159265f / 8, Vector3f(0, -1.25f, 0))));
    }
  }
  EXPECT_EQ(progress[1], 0.25f);
  EXPECT_EQ(progress[2], 0.5f);
  EXPECT_EQ(progress[3], 0.0f) << "ended after three steps";
  EXPECT_EQ(o.blendPending, 0);
  EXPECT_TRUE(Near(FrameMatrix(slot, 2), TurnAboutX(-3.14159265f / 2, Vector3f(0, -2, 0))));
}

TEST_F(AnimationTest, AnObjectWithoutRoomToBlendJumpsToTheTarget) {
  LoadAnimated(1);
  Interpreter().gErrorCode = 0;
  InstanceObject(1, 2);
  const uint32_t instance = ObjectSlotOf(2);
  ASSERT_NE(instance, 0u);
  ObjectRecord& o = Engine().gObjectRecords[instance];
  EXPECT_EQ(o.blendArrays[0], nullptr);
  o.blendFactor = 0.5f, o.blendPending = 1, o.blendProgress = 0, o.blendTargetFrame = 10;
  UpdateObjectAnimation(instance, o.model->GetAnimationSet());
  EXPECT_TRUE(Near(FrameMatrix(instance, 2), TurnAboutX(-3.14159265f / 2, Vector3f(0, -2, 0))));
  // Room is made when a blend is asked for.
  ASSERT_TRUE(EnsureBlendArrays(instance, 3));
  EXPECT_EQ(o.blendTrackCount, 3);
  const void* kept = o.blendArrays[5];
  ASSERT_TRUE(EnsureBlendArrays(instance, 2));
  EXPECT_EQ(o.blendArrays[5], kept) << "enough room is kept";
}

TEST_F(AnimationTest, StoppingRemovesTheNodeAndNoNodeReadsAClearedSet) {
  const uint32_t slot = LoadAnimated(1);
  InstanceObject(1, 2);
  const uint32_t instance = ObjectSlotOf(2);
  AddToAnimatedList(slot);
  AddToAnimatedList(instance);
  ASSERT_EQ(Engine().gAnimatedObjectsHead->objectSlot, slot);
  // Not playing, yet on the list: stopping takes it off.
  StopObjectAnimation(slot);
  EXPECT_EQ(Engine().gObjectRecords[slot].animationNode, nullptr);
  EXPECT_EQ(Engine().gAnimatedObjectsHead->objectSlot, instance);
  EXPECT_EQ(Engine().gAnimatedObjectsHead->next, nullptr);

  // The instance shares the set; once it is deleted, the instance's node finds none.
  SceneModel* model = Engine().gObjectRecords[slot].model;
  delete model->GetAnimationSet();
  model->SetAnimationSet(nullptr);
  Engine().gObjectRecords[instance].playing = 1;
  AdvanceAnimations();
  EXPECT_EQ(Engine().gAnimatedObjectsHead->animationSet, nullptr);

  DeleteObjectRecord(instance, 2);
  EXPECT_EQ(Engine().gAnimatedObjectsHead, nullptr);
}

TEST_F(AnimationTest, ThePoseBufferIsKeptFromFrameToFrame) {
  const uint32_t slot = LoadAnimated();
  PoseAt(slot, 1.0f);
  const Matrix4f* buffer = Engine().gObjectRecords[slot].limbMatrices;
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(Engine().gObjectRecords[slot].limbMatrixCount, 4);
  for (float f = 2; f < 20; f += 1) PoseAt(slot, f);
  EXPECT_EQ(Engine().gObjectRecords[slot].limbMatrices, buffer);
}

}  // namespace
}  // namespace vx
