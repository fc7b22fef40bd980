// The rocks example played headless frame by frame with the right arrow key held: the ship moves
// to the right edge and stops there, the rocks fall, the counter shows, every rock on the screen
// is whole (nothing smears behind them) and the game ends by itself.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "display/input_devices.h"
#include "platform/input/dinput.h"
#include "tests/display/frame_runner.h"

namespace vx {
namespace {

class SpriteGameTest : public test::FrameWorld {
 protected:
  void TearDown() override {
    Input().gKeyState.fill(0);
    FrameWorld::TearDown();
  }
};

constexpr uint32_t kShip = 0x50FF78, kRock = 0xAA7850, kSky = 0x000028, kYellow = 0xFFDC00;

TEST_F(SpriteGameTest, TheShipSteersTheRocksFallAndTheGameEndsByItself) {
  std::ifstream file(std::filesystem::path(VX_SOURCE_DIR) / "examples" / "rocks.vxa");
  std::stringstream source;
  source << file.rdbuf();
  ASSERT_TRUE(Load(source.str()));
  Input().gKeyState[win::DIK_RIGHT] = 0x80;
  ASSERT_FALSE(RunFrames(120));
  ASSERT_EQ(Interpreter().gErrorCode, 0);
  const SpriteRecord& ship = *SpriteOf(Records().gSpriteSlotById[1]);
  EXPECT_EQ(std::tuple(ship.x, ship.y), std::tuple(608, 440)) << "at the right edge, where it stops";
  EXPECT_GT(Count(kShip, 608, 440, 640, 462), 300);
  EXPECT_EQ(Count(kShip, 0, 440, 600, 462), 0) << "no trail behind the ship";
  EXPECT_GT(Count(kYellow, 10, 8, 250, 40), 50) << "the counter";
  // Every rock pixel lies on a rock sprite: none is left behind where a rock was.
  int onRocks = 0;
  for (int n = 2; n <= 7; ++n) {
    const SpriteRecord& rock = *SpriteOf(Records().gSpriteSlotById[size_t(n)]);
    onRocks +=
        Count(kRock, std::max(rock.x, 0), std::max(rock.y, 0), std::min(rock.x + 24, 640), std::min(rock.y + 24, 480));
  }
  EXPECT_GT(onRocks, 300);
  EXPECT_EQ(Count(kRock, 0, 0, 640, 480), onRocks);
  EXPECT_GT(Count(kSky, 0, 0, 640, 480), 200000);
  Input().gKeyState[win::DIK_RIGHT] = 0;
  EXPECT_TRUE(RunFrames(3000)) << "twenty seconds end the game";
  EXPECT_EQ(Interpreter().gErrorCode, 0);
  EXPECT_GE(Int("hits"), 0);
}

}  // namespace
}  // namespace vx
