// Animation sets read with a model (one track per frame in frame order, the file's keys in place
// of the frame's pose), written as text .x and read back to the same keys, appended from a second
// file after a start frame, and every way these can fail.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "tests/models/model_test_support.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

using test::AllForms;

std::vector<float> Times(const std::vector<RotationKey>& keys) {
  std::vector<float> t;
  for (const RotationKey& k : keys) t.push_back(k.time);
  return t;
}

::testing::AssertionResult SameKeys(const AnimationSet& a, const AnimationSet& b) {
  const AnimationTrack* x = a.firstTrack;
  const AnimationTrack* y = b.firstTrack;
  for (int i = 0; x || y; ++i, x = x->next, y = y->next) {
    if (!x || !y) return ::testing::AssertionFailure() << "track counts differ at " << i;
    if (x->GetFrameId() != y->GetFrameId()) return ::testing::AssertionFailure() << "frame ids differ at " << i;
    auto same = [](const auto& p, const auto& q) {
      return p.size() == q.size() && (p.empty() || std::memcmp(p.data(), q.data(), p.size() * sizeof p[0]) == 0);
    };
    if (!same(x->rotationKeys, y->rotationKeys))
      return ::testing::AssertionFailure() << "rotation keys differ at " << i;
    if (!same(x->scaleKeys, y->scaleKeys)) return ::testing::AssertionFailure() << "scale keys differ at " << i;
    if (!same(x->positionKeys, y->positionKeys))
      return ::testing::AssertionFailure() << "position keys differ at " << i;
  }
  return ::testing::AssertionSuccess();
}

TEST(Animation, TracksFollowFrameOrderAndTheFileKeysReplaceThePose) {
  for (const std::string& path : AllForms("anim")) {
    SCOPED_TRACE(path);
    SceneModel model;
    std::string error;
    ASSERT_EQ(model.LoadX(path, error), kModelOk) << error;
    ASSERT_EQ(model.frameCount, 4);
    const AnimationSet* set = model.GetAnimationSet();
    ASSERT_NE(set, nullptr);
    ASSERT_EQ(set->TrackCount(), 3);
    const AnimationTrack* hip = set->firstTrack;
    const AnimationTrack* knee = hip->next;
    const AnimationTrack* still = knee->next;
    EXPECT_EQ(hip->GetFrameId(), 1);
    EXPECT_EQ(hip->GetName(), "Hip");
    EXPECT_EQ(knee->GetFrameId(), 2);
    EXPECT_EQ(still->GetFrameId(), 3);

    ASSERT_EQ(knee->rotationKeys.size(), 2u);
    EXPECT_EQ(knee->rotationKeys[1].time, 10.0f);
    EXPECT_FLOAT_EQ(knee->rotationKeys[1].s, 0.7071068f);
    EXPECT_FLOAT_EQ(knee->rotationKeys[1].x, 0.7071068f);
    ASSERT_EQ(knee->positionKeys.size(), 2u);
    EXPECT_EQ(knee->positionKeys[1].y, -2.0f);
    EXPECT_TRUE(knee->scaleKeys.empty());

    // A matrix key is taken apart: its rotation, scale and position join the other keys.
    ASSERT_EQ(hip->scaleKeys.size(), 2u);
    EXPECT_EQ(hip->scaleKeys[0].time, 5.0f);
    EXPECT_EQ(hip->scaleKeys[0].x, 2.0f);
    EXPECT_EQ(hip->scaleKeys[1].x, 1.0f);
    ASSERT_EQ(hip->positionKeys.size(), 1u);
    EXPECT_EQ(hip->positionKeys[0].time, 20.0f);
    EXPECT_EQ(hip->positionKeys[0].z, 5.0f);
    ASSERT_EQ(hip->rotationKeys.size(), 1u);
    EXPECT_EQ(hip->rotationKeys[0].s, 1.0f);

    // A frame that no animation names keeps its pose as one key of each kind it needs.
    ASSERT_EQ(still->rotationKeys.size(), 1u);
    EXPECT_EQ(still->rotationKeys[0].s, 1.0f);
    ASSERT_EQ(still->positionKeys.size(), 1u);
    EXPECT_EQ(still->positionKeys[0].x, 7.0f);
    EXPECT_TRUE(still->scaleKeys.empty());
  }
}

// The animated model, loaded, with its set written to "walk.x" in a folder of the test's own.
class WrittenAnimation : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(model_.LoadX(test::Source("anim.x")), kModelOk);
    written_ = folder_.path() + "walk.x";
    ASSERT_EQ(model_.WriteAnimation(written_), kModelOk);
  }
  test::TempFolder folder_;
  SceneModel model_;
  std::string written_;
};

TEST_F(WrittenAnimation, AWrittenSetReadsBackToTheSameKeys) {
  test::TempFolder& folder = folder_;
  const SceneModel& source = model_;
  const std::string& written = written_;
  const std::string text = folder.Read("walk.x");
  EXPECT_EQ(text.substr(0, 17), "xof 0303txt 0032\n");
  EXPECT_NE(text.find("AnimationSet xvx_animset_0"), std::string::npos);
  EXPECT_NE(text.find("Animation xvx_anim_2"), std::string::npos);

  SceneModel target;
  ASSERT_EQ(target.LoadX(test::Source("anim.x")), kModelOk);
  delete target.GetAnimationSet();
  target.SetAnimationSet(nullptr);
  ASSERT_EQ(ReadXAnimationIntoModel(target, written, 0, 0.0f), kModelOk);
  ASSERT_NE(target.GetAnimationSet(), nullptr);
  EXPECT_TRUE(SameKeys(*source.GetAnimationSet(), *target.GetAnimationSet()));
}

TEST_F(WrittenAnimation, AnAppendedFileAddsItsKeysAfterTheStartFrameOnlyOnce) {
  test::TempFolder& folder = folder_;
  SceneModel& model = model_;
  const std::string& written = written_;
  const std::string work = folder.MakeFolder("work");
  ASSERT_EQ(AppendXAnimationFile(model, test::Source("anim.x"), written, 0, 20.0f, work), kModelOk);
  const AnimationTrack* knee = model.GetAnimationSet()->firstTrack->next;
  // The model file's own set is not read a second time.
  EXPECT_EQ(Times(knee->rotationKeys), (std::vector<float>{0, 10, 20, 30}));
  EXPECT_FALSE(std::filesystem::exists(work + "/workfile.x"));
}

TEST_F(WrittenAnimation, FilesThatCannotBeWrittenOrReadFailAndChangeNothing) {
  test::TempFolder& folder = folder_;
  SceneModel& model = model_;
  const std::string& written = written_;
  SceneModel before;
  ASSERT_EQ(before.LoadX(test::Source("anim.x")), kModelOk);

  EXPECT_EQ(model.WriteAnimation(folder.path() + "no-such-folder/walk.x"), kModelFail);
  SceneModel still;
  ASSERT_EQ(still.LoadX(test::Source("frames.x")), kModelOk);
  EXPECT_EQ(still.WriteAnimation(folder.path() + "none.x"), kModelFail);  // no set to write

  const std::string shortFile = folder.Write("short.x", "xof 0303txt 003");
  const std::string damaged =
      folder.Write("damaged.x",
                   "xof 0303txt 0032\nAnimationSet s {\n Animation a {\n  { Knee }\n  AnimationKey {\n   0;\n   2;\n"
                   "   0;4;1.0,0.0,0.0,0.0;;,\n   10;4;1.0;;;\n  }\n }\n}\n");
  const std::string work = folder.MakeFolder("work");
  EXPECT_EQ(AppendXAnimationFile(model, test::Source("anim.x"), shortFile, 0, 20.0f, work), kModelFail);
  EXPECT_EQ(AppendXAnimationFile(model, test::Source("anim.x"), folder.path() + "missing.x", 0, 20.0f, work),
            kModelFail);
  EXPECT_EQ(AppendXAnimationFile(model, test::Source("anim.x"), written, 0, 20.0f, folder.path() + "no/such"),
            kModelFail);
  EXPECT_EQ(AppendXAnimationFile(model, test::Source("anim.x"), damaged, 0, 20.0f, work), kModelFail);
  EXPECT_EQ(ReadXAnimationIntoModel(model, damaged, 0, 0.0f), kModelFail);
  EXPECT_EQ(ReadXAnimationIntoModel(model, folder.path() + "missing.x", 0, 0.0f), kModelFail);
  EXPECT_TRUE(SameKeys(*model.GetAnimationSet(), *before.GetAnimationSet()));

  SceneModel empty;
  EXPECT_EQ(ReadXAnimationIntoModel(empty, written, 0, 0.0f), kModelFail);
  EXPECT_EQ(AppendXAnimationFile(empty, test::Source("anim.x"), written, 0, 0.0f, work), kModelFail);
}

}  // namespace
}  // namespace vx
