// Sprites in programs run frame by frame: a moving sprite puts back the background it covered (on
// one page and on both pages of a flip chain), a mirrored sprite half off the left edge shows the
// clipped side of its picture, a scale of 200 doubles it, contacts are pixel-exact and reported
// once by the hit test, deleted sprites leave no picture behind, a background that cannot be kept
// for want of memory ends the run with its error, and the errors of the family.
#include "display/sprites.h"
#include "runtime/main_loop.h"
#include "tests/display/frame_runner.h"

namespace vx {
namespace {

using test::Picture;

constexpr uint32_t kBack = 0x000040, kBand = 0xC80000, kWhite = 0xFFFFFF;

// Every pixel a colour of its own: red counts the column, green the row.
uint32_t RampColour(uint32_t x, uint32_t y) { return (x + 1) * 15 << 16 | (y + 1) * 20 << 8 | 0x40; }

// A white disc of 16 pixels across on black.
Picture Disc() {
  Picture disc{16, 16, {}};
  for (uint32_t y = 0; y < 16; ++y)
    for (uint32_t x = 0; x < 16; ++x) {
      const double dx = x + 0.5 - 8, dy = y + 0.5 - 8;
      disc.rgb.push_back(dx * dx + dy * dy < 64 ? kWhite : 0);
    }
  return disc;
}

// A 16 x 8 ramp and the disc, for images 1 and 2.
void WritePictures(const test::TempFolder& dir) {
  Picture ramp{16, 8, {}};
  for (uint32_t y = 0; y < 8; ++y)
    for (uint32_t x = 0; x < 16; ++x) ramp.rgb.push_back(RampColour(x, y));
  test::WriteBmp(dir.path() + "ramp.bmp", ramp);
  test::WriteBmp(dir.path() + "disc.bmp", Disc());
}

// A dark screen with a red band across rows 100 to 139, the disc moved along the band frame by
// frame from x 40 to x 400.
constexpr const char* kMovingDisc =
    "cls rgb(0, 0, 64)\n"
    "ink rgb(200, 0, 0), 0 : box 0, 100, 639, 139\n"
    "load image \"disc.bmp\", 2\n"
    "for x = 40 to 400 step 8\n"
    "  sprite 1, x, 110, 2\n"
    "  refresh screen\n"
    "next x\n"
    "end\n";

class SpriteCommandTest : public test::FrameWorld {
 protected:
  void SetUp() override {
    FrameWorld::SetUp();
    WritePictures(dir_);
  }
};

TEST_F(SpriteCommandTest, AMovingSpriteLeavesNoTrail) {
  RunProgram(kMovingDisc);
  EXPECT_EQ(Count(kBand, 0, 100, 400, 140), 400 * 40) << "the band is whole behind the disc";
  EXPECT_EQ(At(408, 118), kWhite);
  EXPECT_EQ(At(400, 110), kBand) << "the disc's black corners are transparent";
  EXPECT_EQ(Count(kBand, 416, 100, 640, 140), 224 * 40);
}

class FlipChainSpriteTest : public test::FlipFrameWorld {};

TEST_F(FlipChainSpriteTest, AMovingSpriteLeavesNoTrailOnEitherPage) {
  WritePictures(Folder());
  RunProgram(kMovingDisc);
  for (win::IDirectDrawSurface7* page : {Display().gPrimarySurface, Display().gBackBuffer}) {
    EXPECT_EQ(test::CountColour(page, kBand, 0, 100, 400, 140), 400 * 40);
    EXPECT_EQ(test::ColourAt(page, 408, 118), kWhite);
  }
}

TEST_F(SpriteCommandTest, MirroredClippedAndScaledSpritesShowTheRightPixels) {
  RunProgram(
      "cls rgb(0, 0, 64)\n"
      "load image \"ramp.bmp\", 1\n"
      "sprite 1, -8, 200, 1 : mirror sprite 1\n"  // half off the left edge, mirrored
      "sprite 2, 100, 200, 1 : flip sprite 2\n"
      "sprite 3, 300, 300, 1 : scale sprite 3, 200\n"
      "sprite 4, 200, 200, 1 : mirror sprite 4 : mirror sprite 4\n"  // twice: as it was
      "sprite 5, 500, 200, 1 : offset sprite 5, 4, 2 : stretch sprite 5, 100, 300\n"
      "w = sprite width(3) : h = sprite height(3) : s = sprite scale x(3)\n"
      "m = sprite mirrored(1) : f = sprite flipped(2) : i = sprite image(3)\n"
      "h5 = sprite height(5) : ox = sprite offset x(5) : oy = sprite offset y(5)\n"
      "refresh screen\n"
      "end\n");
  for (uint32_t y = 0; y < 8; ++y)
    for (uint32_t k = 0; k < 8; ++k)
      EXPECT_EQ(At(int32_t(k), 200 + int32_t(y)), RampColour(7 - k, y)) << "mirrored, clipped: " << k << "," << y;
  EXPECT_EQ(At(8, 200), kBack);
  for (uint32_t y = 0; y < 8; ++y)
    for (uint32_t x = 0; x < 16; ++x) {
      EXPECT_EQ(At(100 + int32_t(x), 200 + int32_t(y)), RampColour(x, 7 - y)) << "flipped";
      EXPECT_EQ(At(200 + int32_t(x), 200 + int32_t(y)), RampColour(x, y)) << "mirrored twice";
      for (int32_t d : {0, 1, 2, 3})
        EXPECT_EQ(At(300 + 2 * int32_t(x) + d % 2, 300 + 2 * int32_t(y) + d / 2), RampColour(x, y)) << "doubled";
      EXPECT_EQ(At(496 + int32_t(x), 198 + 3 * int32_t(y) + 2), RampColour(x, y)) << "stretched from its hot spot";
    }
  EXPECT_EQ(At(332, 300), kBack);
  EXPECT_EQ(At(300, 316), kBack);
  EXPECT_EQ(std::tuple(Int("w"), Int("h"), Int("s"), Int("i")), std::tuple(32, 16, 200, 1));
  EXPECT_EQ(std::tuple(Int("m"), Int("f"), Int("h5"), Int("ox"), Int("oy")), std::tuple(1, 1, 24, 4, 2));
}

TEST_F(SpriteCommandTest, ContactsArePixelExactAndAHitIsReportedOnce) {
  // Two discs whose boxes overlap only at their black corners, then whose white parts meet.
  RunProgram(
      "load image \"disc.bmp\", 2\n"
      "sprite 1, 100, 100, 2 : sprite 2, 113, 113, 2 : sprite 3, 300, 300, 2\n"
      "corner = sprite collision(1, 2) : cornerAny = sprite collision(1, 0)\n"
      "firstHit = sprite hit(1, 2)\n"
      "sprite 2, 110, 108, 2\n"
      "touch = sprite collision(1, 2) : touchAny = sprite collision(1, 0)\n"
      "hit1 = sprite hit(1, 2) : hit2 = sprite hit(1, 2)\n"
      "sprite 2, 200, 200, 2 : apart = sprite hit(1, 2)\n"
      "sprite 2, 105, 100, 2 : hit3 = sprite hit(1, 2) : hitAny = sprite hit(2, 0)\n"
      "hide sprite 2 : hidden = sprite collision(1, 2)\n"
      "mirror sprite 2 : sprite 4, 100, 100, 99 : noImage = sprite collision(1, 4)\n"
      "e = sprite exist(4) : w4 = sprite width(4) : size sprite 4, 40, 40 : s4 = sprite scale x(4)\n"
      "end\n");
  EXPECT_EQ(std::tuple(Int("corner"), Int("cornerAny"), Int("firstHit")), std::tuple(0, 0, 0))
      << "touching transparent corners do not collide";
  EXPECT_EQ(std::tuple(Int("touch"), Int("touchAny")), std::tuple(1, 2));
  EXPECT_EQ(std::tuple(Int("hit1"), Int("hit2"), Int("apart"), Int("hit3"), Int("hitAny")), std::tuple(1, 0, 0, 1, 1));
  EXPECT_EQ(Int("hidden"), 1) << "hidden sprites still collide";
  EXPECT_EQ(std::tuple(Int("noImage"), Int("e"), Int("w4"), Int("s4")), std::tuple(0, 1, 0, 100))
      << "a sprite without an image never collides, is 0 wide and keeps its scale";
}

TEST_F(SpriteCommandTest, DeletedHiddenAndZeroScaleSpritesLeaveTheBackground) {
  RunProgram(
      "cls rgb(0, 0, 64)\n"
      "load image \"disc.bmp\", 2\n"
      "sprite 1, 100, 100, 2 : sprite 2, 200, 100, 2 : sprite 3, 300, 100, 2 : sprite 4, 400, 100, 2\n"
      "set sprite 4, 0, 1\n"
      "refresh screen\n"
      "delete sprite 1 : gone = sprite exist(1)\n"
      "delete sprite 4\n"
      "hide sprite 2 : scale sprite 3, 0\n"
      "sprite 5, 500, 100, 2 : hide all sprites : show all sprites : hide sprite 5 : hide all sprites\n"
      "refresh screen : refresh screen : refresh screen\n"
      "again = sprite exist(1)\n"
      "end\n");
  EXPECT_EQ(Int("gone"), 0) << "a deleted sprite is gone at once, while its background comes back";
  EXPECT_EQ(Int("again"), 0);
  const Picture disc = Disc();
  EXPECT_EQ(Count(kWhite, 0, 0, 640, 480), std::count(disc.rgb.begin(), disc.rgb.end(), kWhite))
      << "only the sprite without a kept background left a picture";
  EXPECT_EQ(At(408, 108), kWhite);
  EXPECT_EQ(Records().gSpriteSlotById[1] + Records().gSpriteSlotById[4], 0u);
}

// The frame's end keeps the background under the sprite in a surface of its scaled size, outside
// every command: an allocation that fails there ends the run as one inside a command would.
TEST_F(SpriteCommandTest, AnAllocationThatFailsWhileTheFrameKeepsABackgroundEndsTheRun) {
  ASSERT_TRUE(
      Load("manual refresh\n"
           "get image 1, 0, 0, 8, 8\n"
           "sprite 1, 0, 0, 1\n"
           "scale sprite 1, 300\n"
           "do\n"
           "  refresh screen\n"
           "loop\n"));
  win::ThrowOnSurfaceCreations(1, 24, 24);
  RunMainLoop();
  EXPECT_EQ(Interpreter().gErrorCode, kErrOutOfMemory);
}

TEST_F(SpriteCommandTest, BadNumbersFlagsAndSizesAreErrors) {
  EXPECT_EQ(ErrorOf("sprite 0, 0, 0, 1\n").first, kErrSpriteNumberOutOfRange);
  EXPECT_EQ(ErrorOf("x = sprite x(65536)\n").first, kErrSpriteNumberOutOfRange);
  EXPECT_EQ(ErrorOf("x = sprite exist(0)\n").first, kErrSpriteNumberOutOfRange);
  for (const char* use :
       {"x = sprite x(3)", "mirror sprite 3", "delete sprite 3", "paste sprite 3, 0, 0", "scale sprite 3, 100",
        "x = sprite hit(3, 0)", "sprite 1, 0, 0, 1 : x = sprite collision(1, 3)"})
    EXPECT_EQ(ErrorOf(std::string(use) + "\n").first, kErrSpriteNotExist) << use;
  EXPECT_EQ(ErrorOf("set sprite 1, 2, 1\n").first, kErrSpriteBackgroundFlag);
  EXPECT_EQ(ErrorOf("set sprite 1, 1, -1\n").first, kErrSpriteTransparencyFlag);
  EXPECT_EQ(SpriteSlotById(1) != 0, true) << "set sprite makes the sprite before it checks its flags";
  EXPECT_EQ(ErrorOf("sprite 1, 0, 0, 1 : scale sprite 1, 250001\n").first, kErrSpriteScaleOutOfRange);
  EXPECT_EQ(ErrorOf("sprite 1, 0, 0, 1 : scale sprite 1, 250000 : stretch sprite 1, 5, -1\n").first,
            kErrSpriteScaleOutOfRange);
  EXPECT_EQ(ErrorOf("sprite 1, 0, 0, 1 : size sprite 1, -1, 5\n").first, kErrSpriteSizeBelowZero);
}

}  // namespace
}  // namespace vx
