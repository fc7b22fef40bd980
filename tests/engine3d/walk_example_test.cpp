// The walk example run frame by frame on the headless engine: the floor is laid in the static
// world, the walker loads with its stride, loops it while it goes round the floor, the camera
// keeps behind it, and the picture shows the walker in the middle and the sky above.
#include <filesystem>

#include "engine3d/static_world.h"
#include "runtime/dispatcher_state.h"
#include "tests/engine3d/program_world.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

class WalkExampleTest : public test::ProgramWorld {};

TEST_F(WalkExampleTest, TheWalkerStridesRoundTheFloorWithTheCameraBehind) {
  const fs::path examples = fs::path(VX_SOURCE_DIR) / "examples";
  ASSERT_TRUE(StartFile((examples / "walk.vxa").string(), examples.string()));
  // Slices long enough for the floor to be laid in one, as on a machine whose clock does not move
  // on with every reading.
  Dispatcher().gSliceLength = 5000;
  Frames(40);
  ASSERT_EQ(Interpreter().gErrorCode, 0) << Runtime().gLastEngineError;
  const uint32_t walker = ObjectSlotOf(1);
  ASSERT_NE(walker, 0u);
  const ObjectRecord& o = Engine().gObjectRecords[walker];
  EXPECT_EQ(o.limbCount, 7) << "the root, a torso with a head and two arms, two legs";
  EXPECT_EQ(o.frameCount, 40.0f);
  EXPECT_EQ(o.looping, 1);
  // The floor is the static world's: a hundred tiles in two colours, the tile object gone.
  EXPECT_EQ(ObjectSlotOf(2), 0u);
  size_t tiles = 0;
  for (const StaticTextureGroup& group : Engine().gStaticWorld.geometry.groups) tiles += group.parts.size();
  EXPECT_EQ(tiles, 100u);
  EXPECT_EQ(Engine().gStaticWorld.geometry.groups.size(), 2u);
  const float frame = o.currentFrame;
  const Vector3f place = o.position;
  Frames(3);
  EXPECT_NE(o.currentFrame, frame) << "the stride goes on";
  const Vector3f moved = o.position;
  EXPECT_NE(moved.z, place.z) << "and so does the walk";

  // The camera stands six units behind the walker and three up.
  const float heading = o.angleY * 0.017453292f;
  EXPECT_NEAR(Scene().gCameraPosition.y, 3.0f, 1e-4);
  EXPECT_NEAR(Scene().gCameraPosition.x, moved.x - 6 * std::sin(heading), 0.05);
  EXPECT_NEAR(Scene().gCameraPosition.z, moved.z - 6 * std::cos(heading), 0.05);
  // The left leg swings through the stride.
  Matrix4f leg;
  ASSERT_TRUE(o.model->GetMatrixById(5, leg));
  EXPECT_NEAR(leg.At(3, 0), -0.2f, 1e-5);

  if (!test::kDeviceFills) return;
  auto blue = [](uint32_t c) { return int(c & 0xFF) > int((c >> 16) & 0xFF) + 60; };
  int walkerPixels = 0;
  for (int y = 40; y < 80; ++y)
    for (int x = 60; x < 100; ++x) walkerPixels += blue(test::ColourAt(Display().gBackBuffer, x, y)) ? 1 : 0;
  EXPECT_GT(walkerPixels, 20) << "the walker's blue in the middle of the picture";
  EXPECT_EQ(test::ColourAt(Display().gBackBuffer, 80, 2) & 0xF0F0F0, 0x90B0E0u) << "the sky at the top";
}

}  // namespace
}  // namespace vx
