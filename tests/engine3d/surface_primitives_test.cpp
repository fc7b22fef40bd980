// Surface primitives and sprites on real headless surfaces: clipping of pastes and sprites,
// colour keys, scaled and mirrored sprites in their layers, the saved backgrounds of moving
// sprites, the in-place effects at 16 and 32 bits, and the lost-surface rule.
#include <gtest/gtest.h>

#include "tests/engine3d/surface_fixture.h"

namespace vx {
namespace {

using test::ColourAt;
using test::Fill;
using test::Paint;
using win::RECT;

class SurfacePrimitivesTest : public test::SurfaceWorld {};

TEST_F(SurfacePrimitivesTest, ClippingTakesTheCutFromTheRightEndOfTheSource) {
  MakeWorld(32, 100, 80);
  gBitmapInfo[3].width = 20;
  gBitmapInfo[3].height = 10;
  struct Case {
    const char* name;
    int32_t target, x, y, w, h;
    float sx, sy;
    int32_t flip, mirror;
    RECT source, destination;
  };
  const Case cases[] = {
      {"inside", 0, 10, 10, 16, 8, 1, 1, 0, 0, {0, 0, 16, 8}, {10, 10, 26, 18}},
      {"left edge", 0, -6, 0, 16, 8, 1, 1, 0, 0, {6, 0, 16, 8}, {0, 0, 10, 8}},
      {"left edge mirrored", 0, -6, 0, 16, 8, 1, 1, 0, 1, {0, 0, 10, 8}, {0, 0, 10, 8}},
      {"top edge flipped", 0, 0, -3, 16, 8, 1, 1, 1, 0, {0, 0, 16, 5}, {0, 0, 16, 5}},
      {"right and bottom", 0, 90, 75, 16, 8, 1, 1, 0, 0, {0, 0, 10, 5}, {90, 75, 100, 80}},
      {"right mirrored", 0, 90, 0, 16, 8, 1, 1, 0, 1, {6, 0, 16, 8}, {90, 0, 100, 8}},
      {"scaled twice", 0, -4, 0, 16, 8, 2, 2, 0, 0, {2, 0, 16, 8}, {0, 0, 28, 16}},
      {"bitmap target", 3, 15, 5, 16, 8, 1, 1, 0, 0, {0, 0, 5, 5}, {15, 5, 20, 10}},
      {"zero scale does not trap", 0, -4, 0, 16, 8, 0, 0, 0, 0, {0, 0, 16, 8}, {0, 0, -4, 0}},
  };
  for (const Case& c : cases) {
    RECT source{0, 0, 0, 0}, destination{};
    ClipBlitRects(c.target, source, destination, c.x, c.y, c.w, c.h, c.sx, c.sy, c.flip, c.mirror);
    EXPECT_EQ(source, c.source) << c.name;
    EXPECT_EQ(destination, c.destination) << c.name;
  }
}

TEST_F(SurfacePrimitivesTest, PastesClipAndKeepTheColourKey) {
  for (uint32_t bits : {16u, 32u}) {
    SCOPED_TRACE(bits);
    MakeWorld(bits, 32, 32);
    Fill(gBackBuffer, 0x0000FF);
    const uint32_t image = MakeImage(4, 4, 0xFFFFFF);
    Paint(gImageRecords[image].surface, 3, 3, 0x000000);  // a hole through the key
    EXPECT_EQ(BlitImageToSurface(gBackBuffer, 0, image, -2, -2, 4, 4, 1), 1);
    EXPECT_EQ(ColourAt(gBackBuffer, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(ColourAt(gBackBuffer, 1, 1), 0x0000FFu);  // the keyed pixel
    EXPECT_EQ(ColourAt(gBackBuffer, 2, 0), 0x0000FFu);
    // Without the key black is pasted; off the bottom right it is cut.
    BlitImageToSurface(gBackBuffer, 0, image, 30, 30, 4, 4, 0);
    EXPECT_EQ(ColourAt(gBackBuffer, 31, 31), 0xFFFFFFu);
    BlitImageToSurface(gBackBuffer, 0, image, 29, 29, 4, 4, 0);
    EXPECT_EQ(ColourAt(gBackBuffer, 31, 31), 0xFFFFFFu);
    BlitImageToSurface(gBackBuffer, 0, image, 28, 28, 4, 4, 0);
    EXPECT_EQ(ColourAt(gBackBuffer, 31, 31), 0x000000u);
    // Entirely outside: nothing, and no trouble.
    BlitImageToSurface(gBackBuffer, 0, image, 40, 40, 4, 4, 0);
    BlitImageToSurface(gBackBuffer, 0, image, -9, 0, 4, 4, 0);
    EXPECT_EQ(gAppActive, 1u);
    TearDown();
  }
}

TEST_F(SurfacePrimitivesTest, SpritesAreScaledMirroredAndDrawnInLayerOrder) {
  MakeWorld(32, 40, 40);
  Fill(gBackBuffer, 0x000000);
  const uint32_t striped = MakeImage(2, 1, 0xFF0000);
  Paint(gImageRecords[striped].surface, 1, 0, 0x00FF00);
  const uint32_t top = MakeImage(2, 2, 0x0000FF);

  const uint32_t wide = test::SurfaceWorld::MakeSprite(striped, 10, 10);
  gRenderItems[wide].scaleX = 2.0f;
  gRenderItems[wide].scaleY = 3.0f;
  gRenderItems[wide].mirror = 1;
  gRenderItems[wide].hotSpotX = 1;
  gRenderItems[wide].layer = 0;
  // Queued first in the list but in a higher layer: drawn last, on top.
  const uint32_t over = test::SurfaceWorld::MakeSprite(top, 9, 10);
  gRenderItems[over].layer = 2;
  gRenderItems.Free(over);
  const uint32_t overAgain = test::SurfaceWorld::MakeSprite(top, 9, 10);
  gRenderItems[overAgain].layer = 2;
  const uint32_t hidden = test::SurfaceWorld::MakeSprite(top, 0, 0);
  gRenderItems[hidden].visible = 0;
  const uint32_t object = test::SurfaceWorld::MakeSprite(top, 20, 20);
  gRenderItems[object].objectItem = 1;

  EXPECT_EQ(DrawSpriteLayers(), 1);
  // Mirrored: green on the left half of the 4-pixel-wide sprite at x 9..12, rows 10..12.
  EXPECT_EQ(ColourAt(gBackBuffer, 10, 12), 0x00FF00u);
  EXPECT_EQ(ColourAt(gBackBuffer, 11, 12), 0xFF0000u);
  EXPECT_EQ(ColourAt(gBackBuffer, 12, 12), 0xFF0000u);
  EXPECT_EQ(ColourAt(gBackBuffer, 13, 12), 0x000000u);
  EXPECT_EQ(ColourAt(gBackBuffer, 11, 13), 0x000000u);
  EXPECT_EQ(ColourAt(gBackBuffer, 9, 10), 0x0000FFu);  // layer 2 over layer 0
  EXPECT_EQ(ColourAt(gBackBuffer, 0, 0), 0x000000u);   // invisible
  EXPECT_EQ(ColourAt(gBackBuffer, 20, 20), 0x000000u); // a 3D object's item is no sprite

  gRenderEnabled = 0;
  Fill(gBackBuffer, 0x000000);
  DrawSpriteLayers();
  EXPECT_EQ(ColourAt(gBackBuffer, 9, 10), 0x000000u);
}

TEST_F(SurfacePrimitivesTest, MovingSpritesPutTheirBackgroundBack) {
  MakeWorld(16, 32, 32);
  Fill(gBackBuffer, 0x0000FF);
  RECT band{0, 0, 32, 4};
  Fill(gBackBuffer, 0xFFFFFF, &band);
  const uint32_t image = MakeImage(4, 4, 0xFF0000);
  const uint32_t sprite = MakeSprite(image, -2, 2);
  gRenderItems[sprite].spriteFlag = 1;

  SaveSpriteBackgrounds();
  const RenderItem& saved = gRenderItems[sprite];
  ASSERT_NE(saved.ownedImages[0], -1);
  EXPECT_EQ(saved.ownedImages[1], -1);
  EXPECT_EQ(saved.savedRects[0][0], 0);
  EXPECT_EQ(saved.savedRects[0][1], 2);
  EXPECT_EQ(saved.savedRects[0][2], 2);
  EXPECT_EQ(saved.savedRects[0][3], 6);
  DrawSpriteLayers();
  EXPECT_EQ(ColourAt(gBackBuffer, 1, 2), 0xFF0000u);
  RestoreSpriteBackgrounds();
  EXPECT_EQ(ColourAt(gBackBuffer, 1, 2), 0xFFFFFFu);
  EXPECT_EQ(ColourAt(gBackBuffer, 1, 5), 0x0000FFu);
  EXPECT_EQ(ColourAt(gBackBuffer, 2, 2), 0xFFFFFFu);

  // The other page keeps its own copy.
  gSpritePage = 1;
  SaveSpriteBackgrounds();
  EXPECT_NE(gRenderItems[sprite].ownedImages[1], -1);
  EXPECT_NE(gRenderItems[sprite].ownedImages[1], gRenderItems[sprite].ownedImages[0]);

  // Off the screen: nothing saved, nothing put back.
  gSpritePage = 0;
  gRenderItems[sprite].x = 100;
  SaveSpriteBackgrounds();
  EXPECT_EQ(gRenderItems[sprite].savedRects[0][2], 0);
  Fill(gBackBuffer, 0x00FF00);
  RestoreSpriteBackgrounds();
  EXPECT_EQ(ColourAt(gBackBuffer, 0, 0), 0x00FF00u);

  const uint32_t before = uint32_t(gImageRecords.usedCount);
  FreeSpriteImageCopies();
  EXPECT_EQ(gRenderItems[sprite].ownedImages[0], -1);
  EXPECT_EQ(gRenderItems[sprite].ownedImages[1], -1);
  EXPECT_EQ(uint32_t(gImageRecords.usedCount), before - 2);
  EXPECT_EQ(gImageCopiesFreed, 1);
}

TEST_F(SurfacePrimitivesTest, ABackgroundThatCantBeKeptRaisesOutOfMemory) {
  MakeWorld(32, 16, 16);
  const uint32_t image = MakeImage(4, 4, 0xFF0000);
  const uint32_t sprite = MakeSprite(image, 2, 2);
  gRenderItems[sprite].spriteFlag = 1;
  win::FailSurfaceCreations(1, win::DDERR_OUTOFMEMORY);
  SaveSpriteBackgrounds();
  EXPECT_EQ(gErrorCode, 101);
  EXPECT_EQ(gRenderItems[sprite].savedRects[0][2], 0);
  RestoreSpriteBackgrounds();  // nothing to put back, and no fault
}

TEST_F(SurfacePrimitivesTest, LostTargetsAreRestoredOrTheProgramPauses) {
  MakeWorld(32, 16, 16, true);
  const uint32_t image = MakeImage(2, 2, 0xFFFFFF);
  win::LoseSurface(gBackBuffer);
  win::MakeSurfacesBusy(2);
  BlitImageToSurface(gBackBuffer, 0, image, 0, 0, 2, 2, 0);
  EXPECT_EQ(ColourAt(gBackBuffer, 1, 1), 0xFFFFFFu);
  EXPECT_EQ(gAppActive, 1u);

  win::LoseSurface(gBackBuffer);
  win::SetRestoreFails(true);
  BlitImageToSurface(gBackBuffer, 0, image, 4, 4, 2, 2, 0);
  EXPECT_EQ(gAppActive, 0u);
  gAppActive = 1;
  gAlwaysActive = 1;
  BlitImageToSurface(gBackBuffer, 0, image, 4, 4, 2, 2, 0);
  EXPECT_EQ(gAppActive, 1u);
  win::SetRestoreFails(false);
}

// Pictures of 3 x 2 pixels as colours, row by row.
std::vector<uint32_t> Picture(win::IDirectDrawSurface7* s) {
  std::vector<uint32_t> out;
  for (int32_t y = 0; y < int32_t(s->Height()); ++y)
    for (int32_t x = 0; x < int32_t(s->Width()); ++x) out.push_back(ColourAt(s, x, y));
  return out;
}

TEST_F(SurfacePrimitivesTest, MirrorFlipAndQuarterTurns) {
  MakeWorld(16);
  win::IDirectDrawSurface7* s = test::MakeSurface(3, 2, 16);
  const uint32_t a = 0xFF0000, b = 0x00FF00, c = 0x0000FF, d = 0xFFFFFF, e = 0x000000, f = 0xFF00FF;
  const uint32_t colours[6] = {a, b, c, d, e, f};
  for (int i = 0; i < 6; ++i) Paint(s, i % 3, i / 3, colours[i]);
  EXPECT_EQ(MirrorSurface(s), 1);
  EXPECT_EQ(Picture(s), (std::vector<uint32_t>{c, b, a, f, e, d}));
  EXPECT_EQ(FlipSurface(s), 1);
  EXPECT_EQ(Picture(s), (std::vector<uint32_t>{f, e, d, c, b, a}));
  FlipSurface(s);
  MirrorSurface(s);
  EXPECT_EQ(RotateSurfaceQuarterTurns(s, 89), s);
  s = RotateSurfaceQuarterTurns(s, 90);  // clockwise: the left column becomes the top row
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->Width(), 2u);
  EXPECT_EQ(Picture(s), (std::vector<uint32_t>{d, a, e, b, f, c}));
  s = RotateSurfaceQuarterTurns(s, 270);
  EXPECT_EQ(Picture(s), (std::vector<uint32_t>{a, b, c, d, e, f}));

  win::FailSurfaceCreations(1, win::DDERR_OUTOFMEMORY);
  EXPECT_EQ(MirrorSurface(s), 0);
  win::FailSurfaceCreations(1, win::DDERR_OUTOFMEMORY);
  EXPECT_EQ(RotateSurfaceQuarterTurns(s, 180), nullptr);
  EXPECT_EQ(Picture(s), (std::vector<uint32_t>{a, b, c, d, e, f}));
  s->Release();
}

TEST_F(SurfacePrimitivesTest, BlurAveragesItsSquareAndFadeScalesTheChannels) {
  for (uint32_t bits : {16u, 32u}) {
    SCOPED_TRACE(bits);
    MakeWorld(bits);
    win::IDirectDrawSurface7* s = test::MakeSurface(12, 12, bits);
    Fill(s, 0x000000);
    Paint(s, 5, 5, 0xFFFFFF);
    const auto before = Picture(s);
    EXPECT_EQ(BlurSurface(s, 1), 1);
    EXPECT_EQ(Picture(s), before);
    EXPECT_EQ(BlurSurface(s, 10), 0);
    EXPECT_EQ(Picture(s), before);

    // Value 3: each pixel is the mean of the 3 x 3 square round it; the white pixel is spread
    // over its neighbours as one ninth.
    EXPECT_EQ(BlurSurface(s, 3), 1);
    const PixelFormatShifts& shifts = ComputePixelFormatShifts(s);
    const uint32_t ninth = ((shifts.redMax / 9) << shifts.redShift) + ((shifts.greenMax / 9) << shifts.greenShift) +
                           shifts.blueMax / 9;
    EXPECT_EQ(test::PixelAt(s, 4, 4), ninth);
    EXPECT_EQ(test::PixelAt(s, 6, 6), ninth);
    EXPECT_EQ(test::PixelAt(s, 7, 7), 0u);
    // A corner averages only what is inside: 4 samples.
    Fill(s, 0xFFFFFF);
    BlurSurface(s, 3);
    EXPECT_EQ(ColourAt(s, 0, 0), 0xFFFFFFu);

    Fill(s, 0xFFFFFF);
    EXPECT_EQ(FadeSurface(s, 101), 0);
    EXPECT_EQ(FadeSurface(s, -1), 0);
    EXPECT_EQ(FadeSurface(s, 50), 1);
    const uint32_t half = ((shifts.redMax / 2) << shifts.redShift) + ((shifts.greenMax / 2) << shifts.greenShift) +
                          shifts.blueMax / 2;
    EXPECT_EQ(test::PixelAt(s, 11, 11), half);
    EXPECT_EQ(FadeSurface(s, 0), 1);
    EXPECT_EQ(ColourAt(s, 3, 3), 0u);
    s->Release();
    TearDown();
  }
}

TEST_F(SurfacePrimitivesTest, BitmapSurfacesKeepTheirSizes) {
  MakeWorld(32);
  EXPECT_EQ(CreateBitmapSurface(5, 0, 10), 0);
  EXPECT_EQ(gBitmaps[5], nullptr);
  EXPECT_EQ(CreateBitmapSurface(5, 30, 20), 1);
  ASSERT_NE(gBitmaps[5], nullptr);
  EXPECT_EQ(gBitmapInfo[5].width, 30u);
  EXPECT_EQ(gBitmapInfo[5].height, 20u);
  EXPECT_EQ(gBitmapInfo[5].bitsPerPixel, 32u);  // the display's format
  EXPECT_EQ(CreateBitmapSurface(5, 8, 8), 1);  // the old surface is released, not leaked
  EXPECT_EQ(gBitmapInfo[5].width, 8u);
  EXPECT_EQ(CreateBitmapSurface(0, 8, 8), 0);  // the screen is no bitmap surface
  EXPECT_EQ(ReleaseBitmapSurface(0), 1);
  EXPECT_NE(gBackBuffer->Width(), 0u);
  EXPECT_EQ(SaveBitmapSlot(6, "none.bmp"), 0);
  EXPECT_EQ(ReleaseBitmapSurface(5), 1);
  EXPECT_EQ(gBitmaps[5], nullptr);
}

TEST_F(SurfacePrimitivesTest, GammaRampNeedsAGammaControl) {
  MakeWorld(32);
  gGammaControl = nullptr;
  EXPECT_EQ(SetGammaRamp(256, 256, 256), 0);
}

}  // namespace
}  // namespace vx
