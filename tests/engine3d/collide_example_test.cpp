// The collision example run frame by frame on the headless engine: the two cubes meet again and
// again, yet after every frame they stand apart or side by side, never one inside the other, and
// both stay on the screen.
#include <filesystem>

#include "runtime/dispatcher_state.h"
#include "tests/engine3d/program_world.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

class CollideExampleTest : public test::ProgramWorld {};

TEST_F(CollideExampleTest, TheCubesMeetAndPushEachOtherApartWithoutEverOverlapping) {
  const fs::path examples = fs::path(VX_SOURCE_DIR) / "examples";
  ASSERT_TRUE(StartFile((examples / "collide.vxa").string(), examples.string()));
  // Slices long enough for a whole turn of the loop, as on a machine whose clock does not move on
  // with every reading.
  Dispatcher().gSliceLength = 5000;
  float closest = 100.0f;
  int frames = 0;
  for (; frames < 300 && !win::QuitMessagePending(); ++frames) {
    Frames(1);
    ASSERT_EQ(Interpreter().gErrorCode, 0) << Runtime().gLastEngineError;
    const uint32_t a = ObjectSlotOf(1), b = ObjectSlotOf(2);
    if (!a || !b) continue;  // not made yet
    const float gap = Engine().gObjectRecords[b].position.x - Engine().gObjectRecords[a].position.x;
    ASSERT_GE(gap, 2.0f - 1e-4f) << "frame " << frames << ": the cubes overlap";
    closest = std::min(closest, gap);
    for (const uint32_t item :
         {uint32_t(Engine().gObjectRecords[a].itemSlot), uint32_t(Engine().gObjectRecords[b].itemSlot)}) {
      int32_t inScreen = 0, x = 0, y = 0;
      ProjectObjectToScreen(item, inScreen, x, y);
      ASSERT_EQ(inScreen, 1) << "frame " << frames;
      ASSERT_TRUE(x > 0 && x < 160 && y > 0 && y < 120) << "frame " << frames << ": " << x << ", " << y;
    }
  }
  EXPECT_EQ(frames, 300) << "the example runs on";
  EXPECT_NEAR(closest, 2.0f, 1e-4f) << "they met side by side";
  EXPECT_GE(Int("meetings"), 2);

  if (!test::kDeviceFills) return;
  int red = 0, blue = 0;
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 160; ++x) {
      const uint32_t c = test::ColourAt(Display().gBackBuffer, x, y);
      const int r = int(c >> 16), g = int((c >> 8) & 0xFF), bl = int(c & 0xFF);
      red += r > 120 && r > g + 60 && r > bl + 60 ? 1 : 0;
      blue += bl > 120 && bl > r + 60 ? 1 : 0;
    }
  EXPECT_GT(red, 30) << "the red cube";
  EXPECT_GT(blue, 30) << "the blue cube";
}

}  // namespace
}  // namespace vx
