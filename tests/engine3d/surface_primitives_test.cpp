// Surface primitives and sprites on real headless surfaces: clipping of pastes and sprites,
// colour keys, scaled and mirrored sprites in their layers, the saved backgrounds of moving
// sprites, the in-place effects at 16 and 32 bits, and the lost-surface rule.
#include <gtest/gtest.h>

#include "common/host_state.h"
#include "generated/error_numbers.h"
#include "tests/engine3d/surface_fixture.h"

namespace vx {
namespace {

using test::ColourAt;
using test::Fill;
using test::Paint;

class SurfacePrimitivesTest : public test::SurfaceWorld {};

// The colours of a surface, row by row.
std::vector<uint32_t> Picture(win::IDirectDrawSurface7* s) {
  std::vector<uint32_t> out;
  for (int32_t y = 0; y < int32_t(s->Height()); ++y)
    for (int32_t x = 0; x < int32_t(s->Width()); ++x) out.push_back(ColourAt(s, x, y));
  return out;
}

TEST_F(SurfacePrimitivesTest, PastesClipAndKeepTheColourKey) {
  for (uint32_t bits : {16u, 32u}) {
    SCOPED_TRACE(bits);
    MakeWorld(bits, 32, 32);
    Fill(Display().gBackBuffer, 0x0000FF);
    const uint32_t image = MakeImage(4, 4, 0xFFFFFF);
    Paint(Records().gImageRecords[image].surface, 3, 3, 0x000000);  // a hole through the key
    EXPECT_EQ(BlitImageToSurface(Display().gBackBuffer, 0, image, -2, -2, 4, 4, 1), 1);
    EXPECT_EQ(std::tuple(ColourAt(Display().gBackBuffer, 0, 0), ColourAt(Display().gBackBuffer, 1, 1),
                         ColourAt(Display().gBackBuffer, 2, 0)),
              std::tuple(0xFFFFFFu, 0x0000FFu, 0x0000FFu));
    BlitImageToSurface(Display().gBackBuffer, 0, image, 28, 28, 4, 4, 0);  // without the key black is pasted
    EXPECT_EQ(ColourAt(Display().gBackBuffer, 31, 31), 0x000000u);
    BlitImageToSurface(Display().gBackBuffer, 0, image, 40, 40, 4, 4, 0);  // entirely outside
    BlitImageToSurface(Display().gBackBuffer, 0, image, -9, 0, 4, 4, 0);
    EXPECT_EQ(Host().gAppActive, 1u);
    TearDown();
  }
}

TEST_F(SurfacePrimitivesTest, SpritesAreScaledMirroredClippedAndDrawnInLayerOrder) {
  MakeWorld(32, 40, 40);
  Fill(Display().gBackBuffer, 0x000000);
  const uint32_t striped = MakeImage(2, 1, 0xFF0000);
  Paint(Records().gImageRecords[striped].surface, 1, 0, 0x00FF00);
  const uint32_t top = MakeImage(2, 2, 0x0000FF);
  Sprite(MakeSprite(top, 1, 10)).layer = 2;  // earlier in the list, but drawn last
  // Red and green, mirrored and scaled to 4 x 3 from x -1: the cut comes off the mirrored green end.
  SpriteRecord& wide = Sprite(MakeSprite(striped, 0, 10));
  wide.scaleX = 2.0f;
  wide.scaleY = 3.0f;
  wide.mirror = 1;
  wide.hotSpotX = 1;
  Sprite(MakeSprite(top, 5, 5)).scaleX = 0.0f;
  Records().gRenderItems[MakeSprite(top, 0, 0)].visible = 0;
  Records().gRenderItems[MakeSprite(top, 20, 20)].kind = RenderItemKind::kObject;  // a 3D object's item is no sprite

  EXPECT_EQ(DrawSpriteLayers(), 1);
  const std::pair<int32_t, int32_t> at[] = {{0, 12}, {1, 12}, {2, 12}, {3, 12}, {0, 13},
                                            {1, 10}, {5, 5},  {0, 0},  {20, 20}};
  const uint32_t expected[] = {0x00FF00, 0xFF0000, 0xFF0000, 0, 0, 0x0000FF, 0, 0, 0};
  for (size_t i = 0; i < 9; ++i)
    EXPECT_EQ(ColourAt(Display().gBackBuffer, at[i].first, at[i].second), expected[i]) << i;
}

TEST_F(SurfacePrimitivesTest, MovingSpritesPutTheirBackgroundBack) {
  MakeWorld(16, 32, 32);
  Fill(Display().gBackBuffer, 0x0000FF);
  win::RECT band{0, 0, 32, 4};
  Fill(Display().gBackBuffer, 0xFFFFFF, &band);
  const uint32_t sprite = MakeSprite(MakeImage(4, 4, 0xFF0000), -2, 2);
  Sprite(sprite).savesBackground = 1;
  SaveSpriteBackgrounds();
  DrawSpriteLayers();
  EXPECT_EQ(ColourAt(Display().gBackBuffer, 1, 2), 0xFF0000u);
  RestoreSpriteBackgrounds();
  EXPECT_EQ(std::pair(ColourAt(Display().gBackBuffer, 1, 2), ColourAt(Display().gBackBuffer, 1, 5)),
            std::pair(0xFFFFFFu, 0x0000FFu));
  EXPECT_EQ(ColourAt(Display().gBackBuffer, 2, 2), 0xFFFFFFu) << "only the clipped part was drawn over";

  Sprite(sprite).x = 100;  // off the screen: nothing saved, nothing put back
  SaveSpriteBackgrounds();
  Fill(Display().gBackBuffer, 0x00FF00);
  RestoreSpriteBackgrounds();
  EXPECT_EQ(ColourAt(Display().gBackBuffer, 0, 0), 0x00FF00u);
  const int32_t before = Records().gImageRecords.usedCount;
  FreeSpriteImageCopies();
  EXPECT_EQ(Records().gImageRecords.usedCount, before - 1);

  Sprite(sprite).x = 2;  // a background that can't be kept
  win::FailSurfaceCreations(1, win::DDERR_OUTOFMEMORY);
  SaveSpriteBackgrounds();
  EXPECT_EQ(Interpreter().gErrorCode, kErrOutOfMemory);
  EXPECT_EQ(Sprite(sprite).savedRects[0][2], 0);
  RestoreSpriteBackgrounds();
}

TEST_F(SurfacePrimitivesTest, LostTargetsAreRestoredOrTheProgramPauses) {
  MakeWorld(32, 16, 16, win::DDSCAPS_VIDEOMEMORY);
  const uint32_t image = MakeImage(2, 2, 0xFFFFFF);
  win::LoseSurface(Display().gBackBuffer);
  win::MakeSurfacesBusy(2);
  BlitImageToSurface(Display().gBackBuffer, 0, image, 0, 0, 2, 2, 0);
  EXPECT_EQ(ColourAt(Display().gBackBuffer, 1, 1), 0xFFFFFFu);
  EXPECT_EQ(Host().gAppActive, 1u);
  win::LoseSurface(Display().gBackBuffer);
  win::SetRestoreFails(true);
  BlitImageToSurface(Display().gBackBuffer, 0, image, 4, 4, 2, 2, 0);
  EXPECT_EQ(Host().gAppActive, 0u);
  Host().gAppActive = System().gAlwaysActive = 1;
  BlitImageToSurface(Display().gBackBuffer, 0, image, 4, 4, 2, 2, 0);
  EXPECT_EQ(Host().gAppActive, 1u);
  win::SetRestoreFails(false);
}

TEST_F(SurfacePrimitivesTest, MirrorFlipAndQuarterTurnsKeepThePictureWhenTheyFail) {
  MakeWorld(16);
  win::IDirectDrawSurface7* s = test::MakeSurface(3, 2, 16);
  const uint32_t a = 0xFF0000, b = 0x00FF00, c = 0x0000FF, d = 0xFFFFFF, e = 0x000000, f = 0xFF00FF;
  const uint32_t colours[6] = {a, b, c, d, e, f};
  for (int i = 0; i < 6; ++i) Paint(s, i % 3, i / 3, colours[i]);
  EXPECT_EQ(MirrorSurface(s) + FlipSurface(s), 2);
  EXPECT_EQ(Picture(s), (std::vector<uint32_t>{f, e, d, c, b, a}));
  s = RotateSurfaceQuarterTurns(s, 90);  // clockwise: the left column becomes the top row
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(Picture(s), (std::vector<uint32_t>{c, f, b, e, a, d}));
  win::FailSurfaceCreations(1, win::DDERR_OUTOFMEMORY);
  EXPECT_EQ(MirrorSurface(s), 0);
  win::FailSurfaceCreations(1, win::DDERR_OUTOFMEMORY);
  EXPECT_EQ(RotateSurfaceQuarterTurns(s, 180), nullptr);
  EXPECT_EQ(Picture(s), (std::vector<uint32_t>{c, f, b, e, a, d}));
  s->Release();
}

TEST_F(SurfacePrimitivesTest, BlurAveragesItsSquareAndFadeScalesTheChannels) {
  for (uint32_t bits : {16u, 32u}) {
    SCOPED_TRACE(bits);
    MakeWorld(bits);
    win::IDirectDrawSurface7* s = test::MakeSurface(12, 12, bits);
    Fill(s, 0x000000);
    Paint(s, 5, 5, 0xFFFFFF);
    EXPECT_EQ(BlurSurface(s, 10), 0);
    // Each pixel becomes the mean of the 3 x 3 square round it: the white pixel spreads as a ninth.
    EXPECT_EQ(BlurSurface(s, 3), 1);
    const PixelFormatShifts& shifts = ComputePixelFormatShifts(s);
    const auto part = [&shifts](uint32_t n) {
      return ((shifts.redMax / n) << shifts.redShift) + ((shifts.greenMax / n) << shifts.greenShift) +
             shifts.blueMax / n;
    };
    EXPECT_EQ(test::PixelAt(s, 4, 4), part(9));
    EXPECT_EQ(test::PixelAt(s, 7, 7), 0u);
    Fill(s, 0xFFFFFF);
    BlurSurface(s, 3);
    EXPECT_EQ(ColourAt(s, 0, 0), 0xFFFFFFu) << "a corner averages only what is inside";
    EXPECT_EQ(FadeSurface(s, 101) + FadeSurface(s, -1), 0);
    EXPECT_EQ(FadeSurface(s, 50), 1);
    EXPECT_EQ(test::PixelAt(s, 11, 11), part(2));
    s->Release();
    TearDown();
  }
}

}  // namespace
}  // namespace vx
