// The terrain example run frame by frame on the headless engine: the hills are a textured grid,
// the ball rolls on the ground the grid gives (the program's own ground height and the engine's
// agree), the red light hovers over it, the camera follows, and the picture shows the ball in the
// middle, the ground below and the fogged sky above.
#include <filesystem>

#include "engine3d/grids.h"
#include "runtime/dispatcher_state.h"
#include "tests/engine3d/program_world.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

class TerrainExampleTest : public test::ProgramWorld {};

TEST_F(TerrainExampleTest, TheBallRollsOverTheHillsUnderTheRedLightWithTheCameraBehind) {
  const fs::path examples = fs::path(VX_SOURCE_DIR) / "examples";
  ASSERT_TRUE(StartFile((examples / "terrain.vxa").string(), examples.string()));
  // Slices long enough for the hills to be shaped in one.
  Dispatcher().gSliceLength = 5000;
  Frames(30);
  ASSERT_EQ(Interpreter().gErrorCode, 0) << Runtime().gLastEngineError;

  const uint32_t grid = Engine().gGridSlotById[1];
  ASSERT_NE(grid, 0u);
  const ObjectRecord& hills = Engine().gObjectRecords[grid];
  EXPECT_EQ(hills.gridSegmentsX, 24);
  EXPECT_EQ(hills.tileCount, 4);
  EXPECT_EQ(hills.draw.wireframe, 0) << "textured";
  EXPECT_NE(GetMatrixPointHeight(grid, 3, 5), GetMatrixPointHeight(grid, 9, 2)) << "hills, not a plain";

  const uint32_t ball = ObjectSlotOf(2);
  ASSERT_NE(ball, 0u);
  const Vector3f place = Engine().gObjectRecords[ball].position;
  // The program's ground is the grid's: the ball's middle stands one radius above it.
  EXPECT_NEAR(place.y, GetMatrixGroundHeight(grid, place.x, place.z) + 1.0f, 1e-3f);
  const LightRecord& red = Engine().gLightRecords[Engine().gLightSlotById[1]];
  EXPECT_EQ(red.type, 1);
  EXPECT_FLOAT_EQ(red.green, 40 / 255.0f);
  EXPECT_NEAR(red.positionY, place.y + 5.0f, 1e-4f);
  EXPECT_NEAR(red.positionX, place.x, 1e-4f);
  EXPECT_EQ(Scene().gFogOn, 1u);
  EXPECT_EQ(Scene().gFogColour, 0xAAB9C8u);

  Frames(3);
  const Vector3f moved = Engine().gObjectRecords[ball].position;
  EXPECT_NE(moved.x, place.x) << "the ball rolls on";
  EXPECT_NEAR(moved.y, GetMatrixGroundHeight(grid, moved.x, moved.z) + 1.0f, 1e-3f);
  // The camera keeps close behind the ball and turns towards it.
  const float dx = moved.x - Scene().gCameraPosition.x, dz = moved.z - Scene().gCameraPosition.z;
  EXPECT_LT(std::sqrt(dx * dx + dz * dz), 30.0f);
  EXPECT_EQ(Scene().gCameraMode, kCameraAngles);

  if (!test::kDeviceFills) return;
  int ball_ = 0, ground = 0, sky = 0;
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 160; ++x) {
      const uint32_t c = test::ColourAt(Display().gBackBuffer, x, y);
      const int r = int(c >> 16), g = int((c >> 8) & 0xFF), b = int(c & 0xFF);
      if (x >= 50 && x < 110 && y >= 30 && y < 90) ball_ += (r > g + 60 && r > b + 60) ? 1 : 0;
      if (y >= 90) ground += (g > r && g > b) ? 1 : 0;
      if (y < 20) sky += (std::abs(r - 170) < 12 && std::abs(g - 185) < 12 && std::abs(b - 200) < 12) ? 1 : 0;
    }
  EXPECT_GT(ball_, 5) << "the ball's red in the middle";
  EXPECT_GT(ground, 160 * 30 / 2) << "green ground along the bottom";
  EXPECT_GT(sky, 160 * 20 / 2) << "the fogged sky along the top";
}

}  // namespace
}  // namespace vx
