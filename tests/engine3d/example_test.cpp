// The 3D example run as the main loop runs it, frame by frame on the headless device with a clock
// that moves on every reading: the crate loads with its texture, turns, and the scene has the
// example's fog and backdrop colour.
#include <filesystem>

#include "compiler/compiler.h"
#include "platform/win/files.h"
#include "platform/win/time.h"
#include "runtime/dispatcher.h"
#include "runtime/program_image.h"
#include "runtime/run_setup.h"
#include "tests/engine3d/engine_world.h"
#include "tests/support/run_program.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

uint32_t gClock = 0;
uint32_t MovingClock() { return gClock += 3; }

class ExampleTest : public test::EngineWorld {
 protected:
  void TearDown() override {
    win::SetCurrentDirectoryA(saved_.c_str());
    win::SetClockSource(nullptr);
    FreeProgramImage();
    EngineWorld::TearDown();
  }
  void Start(const std::string& name) {
    test::PrepareRuntime();
    ResetCompiler();
    ASSERT_EQ(LoadCommandTable(), 1);
    const fs::path source = fs::path(VX_SOURCE_DIR) / "examples" / name;
    const std::string image = folder_.path() + "example.dat";
    const int compiled = CompileFile(source.string(), image);
    FreeCompilerTables();
    ASSERT_EQ(compiled, 1) << gCompiler.resultMessage << " at line " << gCompiler.errorLine;
    ASSERT_TRUE(LoadProgramImage(image));
    win::GetCurrentDirectoryA(&saved_);
    win::SetCurrentDirectoryA(source.parent_path().string().c_str());
    win::SetClockSource(MovingClock);
    ResetRuntimeState();
    BeginProgramRun();
  }
  // Frames as the main loop draws them.
  static void Frames(int count) {
    for (int i = 0; i < count && !win::QuitMessagePending(); ++i) {
      DrawBackdropPlane();
      RenderSceneIfReady();
      ExecuteTimeSlice();
    }
  }
  std::string saved_;
};

TEST_F(ExampleTest, TheCrateTurnsTexturedInTheFog) {
  Start("crate.vxa");
  Frames(30);
  ASSERT_EQ(Interpreter().gErrorCode, 0) << Runtime().gLastEngineError;
  const uint32_t crate = ObjectSlotOf(1);
  ASSERT_NE(crate, 0u);
  const SceneModel* model = Engine().gObjectRecords[crate].model;
  const uint32_t texture = model->GetTextureById(1);
  ASSERT_NE(texture, 0u) << "crate.png beside the model";
  ASSERT_NE(Records().gTextureRecords[texture].texture.surface, nullptr);
  EXPECT_NE(test::ColourAt(Records().gTextureRecords[texture].texture.surface, 20, 20), 0u);
  const float turned = Engine().gObjectRecords[crate].angleY;
  EXPECT_GT(turned, 10.0f);
  Frames(5);
  EXPECT_GT(Engine().gObjectRecords[crate].angleY, turned) << "one step a frame";
  EXPECT_EQ(Scene().gFogOn, 1u);
  EXPECT_EQ(Scene().gFogColour, 0x96AAC8u);
  EXPECT_FLOAT_EQ(Scene().gFogDistance, 12.0f);
  EXPECT_EQ(Scene().gBackdropOn, 1);
  EXPECT_EQ(test::ColourAt(Records().gTextureRecords[Scene().gBackdropTexture].texture.surface, 0, 0), 0x96AAC8u);
  EXPECT_FLOAT_EQ(Scene().gCameraPosition.z, -6.0f);
  EXPECT_GT(Scene().gPolygonCounter, 0u) << "the crate was drawn";
}

}  // namespace
}  // namespace vx
