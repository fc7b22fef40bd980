// Model files made to hurt the model readers (tests/fixtures/make_hostile_models.py), loaded by a
// program's load object: keyframer chains that once took minutes load at once, hierarchies too
// deep for the .x reader are refused before a line of .x is written and the refusal names the
// program's file, a compressed .x that claims hundreds of megabytes is refused, and a texture BMP
// that declares a quarter of a gigabyte of pixels it does not hold leaves its model untextured;
// keys, meshes and material names that a file names over and over are read and kept once;
// templates that expand to billions of members without data are refused; all within a bounded
// amount of memory. A static world of many groups reads its folder once.
#include <fstream>
#include <sstream>

#include "tests/engine3d/program_world.h"
#include "tests/support/allocation_peak.h"

namespace vx::test {
namespace {

constexpr size_t kMemoryBound = size_t{200} << 20;

class HostileModelTest : public ProgramWorld {
 protected:
  void SetUp() override {
#ifdef VX_HOSTILE_MODELS_DIR
    fixtures_ = VX_HOSTILE_MODELS_DIR;
#endif
    if (fixtures_.empty() || !std::ifstream(fixtures_ + "/manifest.txt")) GTEST_SKIP() << "no hostile models (python3)";
    ProgramWorld::SetUp();
  }

  // Loads the fixture as object 1 through a program; the runtime error it ends with, 0 none.
  int32_t Load(const std::string& name) {
    std::ifstream in(fixtures_ + "/" + name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    folder_.Write(name, bytes.str());
    if (name.ends_with(".x") && name.starts_with("huge_texture")) {
      std::ifstream texture(fixtures_ + "/huge_texture.bmp", std::ios::binary);
      std::ostringstream textureBytes;
      textureBytes << texture.rdbuf();
      folder_.Write("huge_texture.bmp", textureBytes.str());
    }
    Runtime().gLastEngineError[0] = '\0';
    ResetAllocationPeak();
    const int32_t error = Run("load object \"" + name + "\", 1\nend\n", 10);
    peak_ = AllocationPeak();
    return error;
  }
  void ExpectBoundedMemory() const {
    if (AllocationPeakMeasured()) {
      EXPECT_LT(peak_, kMemoryBound) << peak_ / 1048576 << " MB at once";
    }
  }
  static SceneModel* Model() {
    const uint32_t slot = ObjectSlotOf(1);
    return slot ? Engine().gObjectRecords[slot].model : nullptr;
  }
  static std::string LastMessage() { return Runtime().gLastEngineError; }
  static const MeshNode* MeshOf(int32_t frame) { return Model() ? Model()->FindMeshByIndex(frame, 0) : nullptr; }

  std::string fixtures_;
  size_t peak_ = 0;
};

TEST_F(HostileModelTest, ManyNodesNamingOneMeshUnderALongChainLoad) {
  EXPECT_EQ(Load("keyframer_chain.3ds"), 0) << LastMessage();
  ASSERT_NE(Model(), nullptr);
  EXPECT_EQ(Model()->frameCount, 6001) << "the root and a frame for every mesh";
  ExpectBoundedMemory();
}

TEST_F(HostileModelTest, HierarchiesDeeperThanTheReaderTakesAreRefusedUnderTheProgramsName) {
  EXPECT_EQ(Load("deep48.3ds"), 0) << LastMessage();
  ASSERT_NE(Model(), nullptr);
  EXPECT_EQ(Model()->frameCount, 49) << "as deep as a model may be";
  for (const char* name : {"deep49.3ds", "deep_chain.3ds"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Load(name), kErrModelNotRead);
    EXPECT_EQ(Model(), nullptr);
    EXPECT_NE(LastMessage().find(name), std::string::npos) << LastMessage();
    EXPECT_NE(LastMessage().find("nest deeper than 48"), std::string::npos) << LastMessage();
    EXPECT_EQ(LastMessage().find("workfile"), std::string::npos) << LastMessage();
    EXPECT_FALSE(std::ifstream(Host().gTempFolder + "workfile.x")) << "nothing was written";
    ExpectBoundedMemory();
  }
}

TEST_F(HostileModelTest, ACompressedFileThatInflatesToHundredsOfMegabytesIsRefused) {
  EXPECT_EQ(Load("inflates.tzip.x"), kErrModelNotRead);
  EXPECT_NE(LastMessage().find("inflates to more than"), std::string::npos) << LastMessage();
  ExpectBoundedMemory();
}

TEST_F(HostileModelTest, ATextureThatDeclaresPixelsItDoesNotHoldLeavesTheModelUntextured) {
  EXPECT_EQ(Load("huge_texture.x"), 0) << LastMessage();
  ASSERT_NE(Model(), nullptr);
  EXPECT_EQ(Model()->GetTextureById(1), 0u);
  ExpectBoundedMemory();
}

TEST_F(HostileModelTest, AKeyObjectThatSetsAndAnimationsNameOverAndOverIsReadOnceForItsFrame) {
  EXPECT_EQ(Load("repeated_keys.x"), 0) << LastMessage();
  ASSERT_NE(Model(), nullptr);
  ASSERT_NE(Model()->GetAnimationSet(), nullptr);
  const AnimationTrack* bone = Model()->GetAnimationSet()->FindTrackByFrame(1);
  ASSERT_NE(bone, nullptr);
  EXPECT_EQ(bone->positionKeys.size(), 200u) << "the 200 keys of the one key object";
  EXPECT_EQ(bone->positionKeys.back().time, 199.0f);
  ExpectBoundedMemory();
}

TEST_F(HostileModelTest, AModelWhoseKeysWouldPassTheBudgetIsRefusedBeforeTheyAreRead) {
  EXPECT_EQ(Load("over_budget.x"), kErrModelNotRead);
  EXPECT_EQ(Model(), nullptr);
  EXPECT_NE(LastMessage().find("animation keys would take more than 256 MB"), std::string::npos) << LastMessage();
  ExpectBoundedMemory();
}

// Once read for hours, every member expanded: the reading of a file costs work in proportion to
// its size. The 395 bytes are what follows the header line.
TEST_F(HostileModelTest, TemplatesThatExpandToMoreMembersThanTheFileHoldsAreRefused) {
  EXPECT_EQ(Load("empty_templates.x"), kErrModelNotRead);
  EXPECT_EQ(Model(), nullptr);
  EXPECT_NE(LastMessage().find("templates expand to more members than 395 bytes of data"), std::string::npos)
      << LastMessage();
  ExpectBoundedMemory();
}

TEST_F(HostileModelTest, AMeshThatFramesNameIsOneMeshTheyShareUntilOneOfThemChangesIt) {
  EXPECT_EQ(Load("shared_mesh.x"), 0) << LastMessage();
  ASSERT_NE(Model(), nullptr);
  EXPECT_EQ(Model()->frameCount, 302) << "the root, the mesh's own frame and the 300 that name it";
  const MeshNode* own = MeshOf(1);
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(own->indices().size(), 64u * 64u * 6u);
  for (int32_t frame : {2, 151, 301}) {
    ASSERT_NE(MeshOf(frame), nullptr) << frame;
    EXPECT_TRUE(MeshOf(frame)->SharesGeometryWith(*own)) << frame;
  }
  ExpectBoundedMemory();
  const Vector3f before = MeshOf(3)->positions()[5];
  Model()->ScaleVerticesById(2, 2, 2, 2);
  EXPECT_EQ(MeshOf(2)->positions()[5].y, 2 * before.y);
  EXPECT_FALSE(MeshOf(2)->SharesGeometryWith(*own));
  EXPECT_EQ(MeshOf(3)->positions()[5].y, before.y) << "the other frames keep the mesh as it was";
  EXPECT_TRUE(MeshOf(3)->SharesGeometryWith(*own));
}

TEST_F(HostileModelTest, AMaterialNameIsKeptOnceForAllTheFacesThatUseIt) {
  EXPECT_EQ(Load("long_material.3ds"), 0) << LastMessage();
  ASSERT_NE(MeshOf(1), nullptr);
  EXPECT_EQ(MeshOf(1)->indices().size(), 65535u * 3u);
  EXPECT_NEAR(MeshOf(1)->diffuse[0], 200.0f / 255.0f, 1e-4f) << "the faces have the named material";
  ExpectBoundedMemory();
}

TEST_F(HostileModelTest, FramesSideBySideAreLimbsInFileOrderWithTheirOffsets) {
  EXPECT_EQ(Load("sibling_frames.x"), 0) << LastMessage();
  ASSERT_NE(Model(), nullptr);
  EXPECT_EQ(Model()->frameCount, 100001);
  const FrameNode* last = Model()->root->FindFrame(100000);
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(Model()->root->lastChild(), last);
  const ObjectRecord& object = Engine().gObjectRecords[ObjectSlotOf(1)];
  ASSERT_EQ(object.limbCount, 100001);
  EXPECT_EQ(object.limbs[100000].offsetX, 7.0f);
  EXPECT_EQ(object.limbs[99999].offsetX, 0.0f);
  ExpectBoundedMemory();
}

TEST_F(HostileModelTest, AStaticWorldOfManyGroupsReadsItsFolderOnceBesideManyFiles) {
  for (int i = 0; i < 300; ++i) folder_.Write("other" + std::to_string(i) + ".txt", "");
  std::ifstream in(fixtures_ + "/many_groups.world", std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  folder_.Write("many_groups.world", bytes.str());
  const uint64_t before = win::FolderReadsForTesting();
  EXPECT_EQ(Run("load static world \"many_groups.world\"\nend\n", 10), 0) << LastMessage();
  EXPECT_EQ(Engine().gStaticWorld.geometry.groups.size(), 2000u);
  EXPECT_LT(win::FolderReadsForTesting() - before, 20u) << "not once for each of the 2,000 textures";
}

}  // namespace
}  // namespace vx::test
