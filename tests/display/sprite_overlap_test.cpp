// The pixel-exact contact test and the sprite drawing at every pixel size: images scaled, mirrored
// and flipped into their rectangles meet only where both show a pixel, the last pixel of a 16- or
// 24-bit image is read without a byte beyond it (its surface ends at an inaccessible page), and a
// sprite scaled to 0 or below draws nothing. Gamma values outside 0 to 511 are taken as the nearest.
#include "display/sprites.h"
#include "tests/display/bitmap_test_support.h"

namespace vx {
namespace {

using test::Paint;

class SpriteOverlapTest : public test::SurfaceWorld {
 protected:
  // A black image with one white pixel.
  static uint32_t Dot(int32_t width, int32_t height, int32_t x, int32_t y) {
    const uint32_t image = MakeImage(width, height, 0x000000);
    Paint(Records().gImageRecords[image].surface, x, y, 0xFFFFFF);
    return image;
  }
};

TEST_F(SpriteOverlapTest, ImagesMeetOnlyWhereBothShowAPixelAtEveryDepth) {
  for (uint32_t bits : {16u, 24u, 32u}) {
    SCOPED_TRACE(bits);
    MakeWorld(bits, 64, 48);
    // Four pixels a row at 3 bytes fill the row exactly: the last pixel ends the pixel memory.
    const uint32_t corner = Dot(4, 4, 3, 3), other = Dot(4, 4, 0, 0);
    const win::RECT a{10, 10, 14, 14};
    EXPECT_EQ(ImagePixelsOverlap(corner, a, other, win::RECT{13, 13, 17, 17}, 0, 0, 0, 0), 1);
    EXPECT_EQ(ImagePixelsOverlap(corner, a, other, win::RECT{12, 12, 16, 16}, 0, 0, 0, 0), 0);
    EXPECT_EQ(ImagePixelsOverlap(corner, a, other, win::RECT{10, 13, 14, 17}, 0, 0, 0, 1), 1)
        << "the other mirrored: its pixel at the right";
    EXPECT_EQ(ImagePixelsOverlap(corner, a, other, win::RECT{13, 10, 17, 14}, 0, 0, 1, 0), 1) << "flipped";
    EXPECT_EQ(ImagePixelsOverlap(corner, a, corner, a, 1, 1, 0, 0), 0) << "one turned round";
    // Scaled to twice its size, the white pixel covers 16 to 17 of a rectangle at 10.
    EXPECT_EQ(ImagePixelsOverlap(corner, win::RECT{10, 10, 18, 18}, other, win::RECT{17, 17, 21, 21}, 0, 0, 0, 0), 1);
    EXPECT_EQ(ImagePixelsOverlap(corner, win::RECT{10, 10, 18, 18}, other, win::RECT{18, 17, 22, 21}, 0, 0, 0, 0), 0);
    EXPECT_EQ(ImagePixelsOverlap(corner, win::RECT{10, 10, 10, 14}, other, a, 0, 0, 0, 0), 0) << "an empty rectangle";
    EXPECT_EQ(ImagePixelsOverlap(corner, a, 0, a, 0, 0, 0, 0), 0) << "the reserved image has no pixels";
    TearDown();
  }
}

TEST_F(SpriteOverlapTest, SpritesScaledToNothingDrawNothingAndNeverDivideByIt) {
  MakeWorld(32, 32, 32);
  test::Fill(Display().gBackBuffer, 0x0000FF);
  const uint32_t image = MakeImage(4, 4, 0xFFFFFF);
  for (float scale : {0.0f, -1.0f}) {
    SpriteRecord& sprite = Sprite(MakeSprite(image, -2, -2));
    sprite.scaleX = scale;
    sprite.scaleY = 1.0f;
  }
  DrawSpriteLayers();
  EXPECT_EQ(test::ColourAt(Display().gBackBuffer, 0, 0), 0x0000FFu);
  const SpriteRecord& none = Sprite(MakeSprite(0, 0, 0));
  EXPECT_EQ(std::pair(SpriteWidth(none), SpriteHeight(none)), std::pair(0, 0));
}

class GammaTest : public test::RealDisplayTest {};

TEST_F(GammaTest, ValuesBeyondTheRangeAreTakenAsItsEnds) {
  if (!Display().gGammaControl || !Display().gGammaAvailable) GTEST_SKIP() << "no gamma control";
  ASSERT_EQ(SetGammaRamp(600, -5, 256), 1);
  win::DDGAMMARAMP ramp{};
  ASSERT_EQ(Display().gGammaControl->GetGammaRamp(0, &ramp), win::DD_OK);
  for (int i : {0, 100, 255}) {
    EXPECT_EQ(ramp.red[i], 65280) << i;
    EXPECT_EQ(ramp.green[i], 0) << i;
    EXPECT_EQ(ramp.blue[i], i * 256) << i;
  }
}

}  // namespace
}  // namespace vx
