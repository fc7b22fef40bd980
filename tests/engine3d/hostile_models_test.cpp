// Model files made to hurt the model readers (tests/fixtures/make_hostile_models.py), loaded by a
// program's load object: keyframer chains that once took minutes load at once, hierarchies too
// deep for the .x reader are refused before a line of .x is written and the refusal names the
// program's file, a compressed .x that claims hundreds of megabytes is refused, and a texture BMP
// that declares a quarter of a gigabyte of pixels it does not hold leaves its model untextured;
// all within a bounded amount of memory.
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

}  // namespace
}  // namespace vx::test
