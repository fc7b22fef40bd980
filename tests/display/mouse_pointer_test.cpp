// The software mouse pointer on real headless surfaces: its bitmap resource, one pointer however
// often it is made, drawn over the sprites where the mouse is and taking its background along as
// it moves, hidden and shown, the caret's blinking, and its three images sharing one surface that
// each releases once.
#include <gtest/gtest.h>

#include "display/input_devices.h"
#include "display/mouse_pointer.h"
#include "tests/engine3d/surface_fixture.h"

namespace vx {
namespace {

using test::ColourAt;
using test::Fill;

class MousePointerTest : public test::SurfaceWorld {
 protected:
  void SetUp() override {
    MakeWorld(16, 64, 48);
    Fill(Display().gBackBuffer, 0x0000FF);
    ASSERT_EQ(LoadPointerBitmap(), 1);
  }
  void TearDown() override {
    DeletePointerSprites();
    ReleaseSurface(Display().gPointerImageSurface);
    Input().gMouseX = 320;
    Input().gMouseY = 240;
    SurfaceWorld::TearDown();
  }
  // One frame's sprite work, as the main loop does it.
  static void Frame() {
    UpdatePointerSprites();
    RestoreSpriteBackgrounds();
    SaveSpriteBackgrounds();
    DrawSpriteLayers();
  }
};

TEST_F(MousePointerTest, TheArrowIsDrawnOverSpritesWhereTheMouseIsAndTakesItsBackgroundAlong) {
  ASSERT_NE(Display().gPointerImageSurface, nullptr);
  EXPECT_EQ(std::pair(Display().gPointerImageSurface->Width(), Display().gPointerImageSurface->Height()),
            std::pair(27u, 22u));
  const SpriteRecord sprite = Sprite(MakeSprite(MakeImage(8, 8, 0x00FF00), 10, 10));
  CreatePointerSprites();
  CreatePointerSprites(0);
  EXPECT_EQ(Records().gRenderItems.usedCount, 3) << "one sprite, one arrow, one caret";
  EXPECT_EQ(Pointer().gPointerSpritesOn, 1u);
  Input().gMouseX = 11;
  Input().gMouseY = 11;
  Frame();
  // The arrow's tip at the mouse less one: its outline, then its white body, over the sprite.
  EXPECT_EQ(ColourAt(Display().gBackBuffer, 10, 10), 0x212021u) << "the outline, as 16 bits keep it";
  EXPECT_EQ(ColourAt(Display().gBackBuffer, 11, 12), 0xFFFFFFu);
  EXPECT_EQ(ColourAt(Display().gBackBuffer, 13, 11), 0x00FF00u) << "the arrow's black is transparent";
  EXPECT_EQ(ColourAt(Display().gBackBuffer, 30, 30), 0x0000FFu);
  Input().gMouseX = 41;
  Frame();
  Frame();  // both pages have had it moved
  EXPECT_EQ(ColourAt(Display().gBackBuffer, 11, 12), 0x00FF00u) << "the sprite comes back from under the arrow";
  EXPECT_EQ(ColourAt(Display().gBackBuffer, 41, 12), 0xFFFFFFu);
  EXPECT_EQ(sprite.layer, 0);
}

TEST_F(MousePointerTest, HiddenItStaysAwayUntilShownAndOnlyShapesOneToFiveChangeIt) {
  CreatePointerSprites();
  const SpriteRecord& arrow = Sprite(uint32_t(Pointer().gPointerSprite));
  const SpriteRecord& caret = Sprite(uint32_t(Pointer().gCaretSprite));
  EXPECT_EQ(std::tuple(arrow.x, arrow.y, arrow.layer, caret.x), std::tuple(320, 100, 2, -256));
  HidePointerSprites();
  Input().gMouseX = Input().gMouseY = 20;
  Frame();
  EXPECT_EQ(std::tuple(arrow.x, arrow.y, Pointer().gPointerSpritesOn), std::tuple(-256, -256, 0u));
  const int32_t arrowImage = arrow.imageSlot;
  SetPointerShape(2);
  EXPECT_EQ(arrow.imageSlot, arrowImage) << "nothing changes while it is hidden";
  ShowPointerSprites();
  Frame();
  EXPECT_EQ(std::tuple(arrow.x, arrow.y), std::tuple(19, 19));
  SetPointerShape(6);
  EXPECT_EQ(arrow.imageSlot, arrowImage);
  SetPointerShape(3);
  EXPECT_EQ(Records().gImageRecords[uint32_t(arrow.imageSlot)].imageWidth, 1);

  // The caret shows for 21 frames and hides for 21.
  Pointer().gCaretX = 30;
  Pointer().gCaretY = 5;
  SetPointerShape(4);
  std::vector<int32_t> shown;
  for (int i = 0; i < 63; ++i) {
    Frame();
    shown.push_back(caret.x == 29 ? 1 : 0);
  }
  EXPECT_EQ(std::count(shown.begin(), shown.begin() + 21, 1), 21);
  EXPECT_EQ(std::count(shown.begin() + 21, shown.begin() + 42, 1), 0);
  EXPECT_EQ(std::count(shown.begin() + 42, shown.end(), 1), 21);
  SetPointerShape(5);
  Frame();
  EXPECT_EQ(caret.x, -256);
}

TEST_F(MousePointerTest, ItsImagesShareOneSurfaceThatEachReleasesOnce) {
  CreatePointerSprites();
  Frame();
  // The images hold a reference each; deleting the pointer gives those back and the bitmap stays.
  DeletePointerSprites();
  EXPECT_EQ(Pointer().gPointerSprite, -1);
  EXPECT_EQ(Display().gPointerImageSurface->AddRef(), 2u);
  Display().gPointerImageSurface->Release();
  // A pointer left when the pools are emptied is forgotten; its images' references go with them.
  CreatePointerSprites();
  ResetEngineRecords();
  EXPECT_EQ(std::tuple(Pointer().gPointerSprite, Pointer().gCaretSprite, Pointer().gPointerSpritesOn),
            std::tuple(-1, -1, 0u));
  EXPECT_EQ(Display().gPointerImageSurface->AddRef(), 2u);
  Display().gPointerImageSurface->Release();
  // After a display change the images are cut from the new bitmap.
  CreatePointerSprites();
  ASSERT_EQ(LoadPointerBitmap(), 1);
  RecreatePointerImages();
  EXPECT_EQ(Records().gImageRecords[uint32_t(Sprite(uint32_t(Pointer().gPointerSprite)).imageSlot)].surface,
            Display().gPointerImageSurface);
  EXPECT_EQ(Display().gPointerImageSurface->AddRef(), 5u) << "its own and the three images'";
  Display().gPointerImageSurface->Release();
}

}  // namespace
}  // namespace vx
