// The 2D draw queue on real headless surfaces: items wait for the next frame and run in queue
// order; boxes, dots, lines and ellipses land on exact pixels at 16 and 32 bits; colours convert
// to the target's format; bitmap items check their numbers; on a flip chain screen items reach both
// buffers, pixel reads are written once and repeated items keep their colours; pastes honour the
// overdraw setting and follow image numbers, not record slots.
#include <gtest/gtest.h>

#include <bit>

#include "display/display.h"
#include "display/draw_queue.h"
#include "platform/d3d/direct3d.h"
#include "platform/win/messages.h"
#include "platform/win/window.h"
#include "runtime/errors.h"
#include "runtime/host.h"
#include "runtime/subsystem_hooks.h"
#include "tests/display/display_test_support.h"
#include "tests/engine3d/surface_fixture.h"

namespace vx {
namespace {

using test::ColourAt;
using test::Fill;

class DrawQueueTest : public test::SurfaceWorld {
 protected:
  void World(uint32_t bits, int32_t width = 64, int32_t height = 48) {
    MakeWorld(bits, width, height);
    gFlipChain = 0;
    ResetDrawTarget();
    Fill(gBackBuffer, 0x000000);
  }
  void TearDown() override {
    DrawQueueFlush();
    gDrawQueue.Destroy();
    gBlitOverdraw = 1;
    win::ClearMessageQueue();
    SurfaceWorld::TearDown();
  }
  // The rectangle of pixels that are not black, as left, top, right, bottom (exclusive).
  static win::RECT Painted(win::IDirectDrawSurface7* s) {
    win::RECT r{INT32_MAX, INT32_MAX, -1, -1};
    for (int32_t y = 0; y < int32_t(s->Height()); ++y)
      for (int32_t x = 0; x < int32_t(s->Width()); ++x)
        if (ColourAt(s, x, y) != 0) {
          r.left = std::min(r.left, x), r.top = std::min(r.top, y);
          r.right = std::max(r.right, x + 1), r.bottom = std::max(r.bottom, y + 1);
        }
    return r;
  }
  static int32_t ReadBack(int32_t x, int32_t y) {
    ValueSlot slot{};
    slot.i = -1;
    QueueReadPixel(x, y, &slot);
    DrawQueueExecute();
    return slot.i;
  }
};

TEST_F(DrawQueueTest, ItemsWaitForTheNextFrameAndRunInOrder) {
  World(32);
  QueueInk(0xFF0000, 0);
  QueueBox(0, 0, 9, 9);
  QueueInk(0x0000FF, 0);
  QueueBox(5, 5, 9, 9);
  EXPECT_EQ(gDrawQueueCount, 4u);
  EXPECT_EQ(ColourAt(gBackBuffer, 0, 0), 0u);  // nothing drawn until the frame
  EXPECT_EQ(DrawQueueExecute(), 1);
  EXPECT_EQ(gDrawQueueCount, 0u);
  EXPECT_EQ(ColourAt(gBackBuffer, 0, 0), 0xFF0000u);
  EXPECT_EQ(ColourAt(gBackBuffer, 5, 5), 0x0000FFu);

  // Paused rendering: items count down and go without drawing.
  gRenderEnabled = 0;
  QueueBox(20, 20, 30, 30);
  DrawQueueExecute();
  EXPECT_EQ(gDrawQueueCount, 0u);
  EXPECT_EQ(ColourAt(gBackBuffer, 20, 20), 0u);
  gRenderEnabled = 1;

  // The pool grows past its first size and keeps the order.
  const int32_t first = gDrawQueue.capacity;
  for (int32_t i = 0; i < first + 10; ++i) QueueDot(i % 64, 40);
  EXPECT_GT(gDrawQueue.capacity, first);
  EXPECT_EQ(gDrawQueueCount, uint32_t(first + 10));
  DrawQueueExecute();
  EXPECT_EQ(gDrawQueueCount, 0u);
  EXPECT_EQ(ColourAt(gBackBuffer, 63, 40), 0x0000FFu);
}

TEST_F(DrawQueueTest, PrimitivesHaveExactEdgesAtEachDepth) {
  for (uint32_t bits : {16u, 24u, 32u}) {
    SCOPED_TRACE(bits);
    World(bits, 64, 64);
    EXPECT_EQ(ReadBack(0, 0), 0);
    QueueBox(10, 10, 50, 50);  // 41 by 41
    DrawQueueExecute();
    EXPECT_EQ(Painted(gBackBuffer), (win::RECT{10, 10, 51, 51}));
    EXPECT_EQ(ReadBack(10, 10), 0xFFFFFF);  // the default ink is white in every format

    Fill(gBackBuffer, 0);
    QueueBox(30, 30, 20, 40);  // right left of left: nothing
    QueueDot(63, 63);
    QueueDot(64, 10);  // outside: nothing, no fault
    DrawQueueExecute();
    EXPECT_EQ(Painted(gBackBuffer), (win::RECT{63, 63, 64, 64}));

    Fill(gBackBuffer, 0);
    QueueBox(-5, 60, 3, 70);  // the part on the screen
    DrawQueueExecute();
    EXPECT_EQ(Painted(gBackBuffer), (win::RECT{0, 60, 4, 64}));

    Fill(gBackBuffer, 0);
    QueueLine(7, 7, 7, 7);
    DrawQueueExecute();
    EXPECT_EQ(Painted(gBackBuffer), (win::RECT{7, 7, 8, 8}));
    Fill(gBackBuffer, 0);
    QueueLine(2, 3, 12, 3);
    QueueLine(5, 20, 15, 30);
    DrawQueueExecute();
    for (int32_t x = 2; x <= 12; ++x) EXPECT_EQ(ColourAt(gBackBuffer, x, 3), 0xFFFFFFu) << x;
    EXPECT_EQ(ColourAt(gBackBuffer, 13, 3), 0u);
    EXPECT_EQ(ColourAt(gBackBuffer, 5, 20), 0xFFFFFFu);
    EXPECT_EQ(ColourAt(gBackBuffer, 14, 29), 0xFFFFFFu);

    Fill(gBackBuffer, 0);
    QueueEllipse(32, 32, 10, 5);
    DrawQueueExecute();
    EXPECT_EQ(Painted(gBackBuffer), (win::RECT{22, 27, 43, 38}));
    EXPECT_EQ(ColourAt(gBackBuffer, 32, 32), 0u);  // an outline
    TearDown();
  }
}

TEST_F(DrawQueueTest, ColoursConvertToTheTargetFormat) {
  World(16);
  QueueInk(0x808080, 0x102030);
  QueueDot(1, 1);
  QueueClearScreen();
  QueueDot(2, 2);
  DrawQueueExecute();
  EXPECT_EQ(ReadBack(2, 2), 0x7B7D7B);
  EXPECT_EQ(gDrawInkColor.Gdi(), 0x7B7D7Bu);
  EXPECT_EQ(ReadBack(1, 1), ReadBack(40, 40));  // cleared in the background colour
  // Each channel narrowed with truncation: 16 * 31 / 255, 32 * 63 / 255, 48 * 31 / 255.
  EXPECT_EQ(test::PixelAt(gBackBuffer, 40, 40), (1u << 11) + (7u << 5) + 5u);
  ValueSlot untouched{};
  untouched.i = 99;
  QueueReadPixel(64, 0, &untouched);  // outside: left as it was
  DrawQueueExecute();
  EXPECT_EQ(untouched.i, 99);
  QueueClearColor(0x00FF00);
  QueueClearScreen();
  DrawQueueExecute();
  EXPECT_EQ(ColourAt(gBackBuffer, 5, 5), 0x00FF00u);
}

TEST_F(DrawQueueTest, TheDefaultInkIsWhiteAtEveryDepth) {
  for (uint32_t bits : {8u, 16u, 24u, 32u}) {
    World(bits);
    QueueDot(3, 3);
    DrawQueueExecute();
    const uint32_t white = bits == 8 ? 0xFFu : bits == 16 ? 0xFFFFu : 0xFFFFFFu;
    EXPECT_EQ(test::PixelAt(gBackBuffer, 3, 3), white) << bits << " bits";
    EXPECT_EQ(gDrawInkColor.Gdi(), 0xFFFFFFu) << bits << " bits";
    TearDown();
  }
}

TEST_F(DrawQueueTest, BitmapItemsCheckTheirNumbersAndRetarget) {
  World(32);
  QueueCreateBitmap(3, 16, 8);
  DrawQueueExecute();
  ASSERT_NE(gBitmaps[3], nullptr);
  EXPECT_EQ(gCurrentBitmap, 3);  // made current when performed
  QueueBox(0, 0, 100, 100);      // cut at the bitmap's edges
  QueueSetCurrentBitmap(0);
  QueueDot(0, 0);
  DrawQueueExecute();
  EXPECT_EQ(Painted(gBitmaps[3]), (win::RECT{0, 0, 16, 8}));
  EXPECT_EQ(Painted(gBackBuffer), (win::RECT{0, 0, 1, 1}));

  struct Case {
    const char* name;
    int32_t (*queue)();
    int32_t error;
  };
  const Case cases[] = {
      {"create 0", [] { return QueueCreateBitmap(0, 4, 4); }, 1009},
      {"create 32", [] { return QueueCreateBitmap(32, 4, 4); }, 1001},
      {"create empty", [] { return QueueCreateBitmap(4, 0, 4); }, 1005},
      {"delete 0", [] { return QueueDeleteBitmap(0); }, 1006},
      {"delete empty", [] { return QueueDeleteBitmap(7); }, 1002},
      {"mirror -1", [] { return QueueMirrorBitmap(-1); }, 1001},
      {"blur 9", [] { return QueueBlurBitmap(3, 9); }, 1012},
      {"fade 101", [] { return QueueFadeBitmap(3, 101); }, 1013},
      {"fade empty", [] { return QueueFadeBitmap(9, 50); }, 1002},
  };
  for (const Case& c : cases) {
    gErrorCode = 0;
    EXPECT_EQ(c.queue(), 1);
    DrawQueueExecute();
    EXPECT_EQ(gErrorCode, c.error) << c.name;
    win::ClearMessageQueue();
  }
  gErrorCode = 0;
  QueueFadeBitmap(3, 0);
  DrawQueueExecute();
  EXPECT_EQ(Painted(gBitmaps[3]).right, -1);

  // Deleting the current bitmap targets the screen at once; items queued on it before are dropped
  // rather than drawn on a released surface.
  QueueSetCurrentBitmap(3);
  QueueBox(0, 0, 3, 3);
  QueueDeleteBitmap(3);
  EXPECT_EQ(gCurrentBitmap, 0);
  EXPECT_EQ(gCurrentSurface, gBackBuffer);
  QueueBox(1, 1, 1, 1);
  DrawQueueExecute();
  EXPECT_EQ(gBitmaps[3], nullptr);
  EXPECT_EQ(gErrorCode, 0);
}

TEST_F(DrawQueueTest, WhileRenderingIsPausedStateItemsRunAndDrawingsAreDropped) {
  World(32);
  gRenderEnabled = 0;
  QueueCreateBitmap(5, 8, 8);
  QueueInk(0x00FF00, 0x000000);
  QueueBox(0, 0, 3, 3);
  DrawQueueExecute();
  gRenderEnabled = 1;
  EXPECT_EQ(gDrawQueueCount, 0u);
  ASSERT_NE(gBitmaps[5], nullptr) << "the bitmap is made";
  EXPECT_EQ(gCurrentBitmap, 5);
  EXPECT_EQ(Painted(gBitmaps[5]).right, -1) << "the box is not drawn";
  QueueDot(2, 2);
  DrawQueueExecute();
  EXPECT_EQ(ColourAt(gBitmaps[5], 2, 2), 0x00FF00u) << "the ink set while paused holds";
}

TEST_F(DrawQueueTest, GrabsCopyTheAreaOfTheirTargetAndCheckIt) {
  World(32);
  const uint32_t slot = MakeImage(2, 2, 0);
  gImageSlotById[7] = slot;
  win::RECT red{4, 4, 8, 6};
  Fill(gBackBuffer, 0xFF0000, &red);
  EXPECT_EQ(QueueGrabImage(7, 4, 4, 10, 6, 0), 1);
  EXPECT_EQ(gImageRecords[slot].width, 6) << "the size is known at once";
  DrawQueueExecute();
  EXPECT_EQ(gErrorCode, 0);
  ASSERT_NE(gImageRecords[slot].surface, nullptr);
  EXPECT_EQ(gImageRecords[slot].imageWidth, 6);
  EXPECT_EQ(ColourAt(gImageRecords[slot].surface, 3, 1), 0xFF0000u);
  EXPECT_EQ(ColourAt(gImageRecords[slot].surface, 4, 1), 0u);

  // From a bitmap, the bitmap's size bounds the area.
  QueueCreateBitmap(2, 8, 8);
  QueueDot(1, 1);
  QueueGrabImage(7, 0, 0, 8, 8, 0);
  DrawQueueExecute();
  EXPECT_EQ(gErrorCode, 0);
  EXPECT_EQ(ColourAt(gImageRecords[slot].surface, 1, 1), 0xFFFFFFu);
  const struct {
    int32_t x1, y1, x2, y2, error;
  } bad[] = {{3, 0, 3, 4, 504}, {0, 5, 4, 2, 504}, {-1, 0, 4, 4, 503}, {0, 0, 9, 4, 503}, {0, 0, 4, 9, 503}};
  for (const auto& b : bad) {
    gErrorCode = 0;
    QueueGrabImage(7, b.x1, b.y1, b.x2, b.y2, 0);
    DrawQueueExecute();
    EXPECT_EQ(gErrorCode, b.error) << b.x1 << "," << b.y1 << " to " << b.x2 << "," << b.y2;
    win::ClearMessageQueue();
  }
}

TEST_F(DrawQueueTest, PastesFollowTheImageNumberAndTheOverdrawSetting) {
  World(32);
  const uint32_t slot = MakeImage(4, 4, 0xFF0000);
  gImageSlotById[5] = slot;
  test::Paint(gImageRecords[slot].surface, 0, 0, 0x000000);
  QueuePasteImageKeyed(5, 2, 2);
  QueuePasteImage(5, 10, 10);
  const uint64_t before = gBackBuffer->ContentVersion();
  DrawQueueExecute();
  const uint64_t once = gBackBuffer->ContentVersion() - before;
  EXPECT_EQ(ColourAt(gBackBuffer, 2, 2), 0u);  // keyed
  EXPECT_EQ(ColourAt(gBackBuffer, 3, 3), 0xFF0000u);
  EXPECT_EQ(ColourAt(gBackBuffer, 13, 13), 0xFF0000u);

  gBlitOverdraw = 2;
  QueuePasteImage(5, 10, 10);
  QueuePasteImage(5, 20, 20);
  const uint64_t start = gBackBuffer->ContentVersion();
  DrawQueueExecute();
  EXPECT_EQ(gBackBuffer->ContentVersion() - start, 2 * once);
  gBlitOverdraw = 1;

  // Image 5 deleted and its slot taken by image 6 before the frame: the paste of 5 draws nothing.
  Fill(gBackBuffer, 0);
  QueuePasteImage(5, 30, 30);
  FreeImageRecord(slot);
  gImageSlotById[5] = 0;
  const uint32_t reused = MakeImage(4, 4, 0x00FF00);
  EXPECT_EQ(reused, slot);
  gImageSlotById[6] = reused;
  DrawQueueExecute();
  EXPECT_EQ(Painted(gBackBuffer).right, -1);

  // Sprites by number, rotation by quarter turns with the sides exchanged.
  const uint32_t sprite = MakeSprite(reused, 0, 0);
  gSpriteSlotById[9] = sprite;
  gRenderItems[sprite].spriteNumber = 9;
  QueuePasteSprite(9, 40, 40);
  DrawQueueExecute();
  EXPECT_EQ(ColourAt(gBackBuffer, 43, 43), 0x00FF00u);
  CreateImageSurface(reused, 4, 2);
  QueueRotateImage(6, 90);
  DrawQueueExecute();
  EXPECT_EQ(gImageRecords[reused].width, 2);
  EXPECT_EQ(gImageRecords[reused].height, 4);
  EXPECT_EQ(gImageRecords[reused].surface->Width(), 2u);
}

// A real display with a flip chain: what is drawn on the screen must reach both buffers.
class FlipChainQueueTest : public test::RealDisplayTest {
 protected:
  void SetUp() override {
    RealDisplayTest::SetUp();
    ASSERT_EQ(gFlipChain, 1u);
  }
  // Draws the frame, then shows it: the other buffer becomes the back buffer.
  static void Frame() {
    DrawQueueExecute();
    PresentFrame();
  }
};

TEST_F(FlipChainQueueTest, ScreenItemsReachBothBuffersWithTheirColours) {
  EXPECT_EQ(gScreenPersistFrames, 2);
  ASSERT_EQ(CreateBitmapSurface(2, 8, 8), 1);
  QueueClearScreen();
  QueueSetCurrentBitmap(2);  // ink set on a bitmap is performed once
  QueueInk(0xFF0000, 0);
  QueueSetCurrentBitmap(0);
  QueueBox(0, 0, 9, 9);
  QueueSetCurrentBitmap(2);
  QueueInk(0x0000FF, 0);
  QueueSetCurrentBitmap(0);
  Frame();
  EXPECT_EQ(ColourAt(gPrimarySurface, 5, 5), 0xFF0000u);
  EXPECT_GT(gDrawQueueCount, 0u);
  Frame();
  // The second page got the box in the red it was queued with, not the blue set after it.
  EXPECT_EQ(ColourAt(gPrimarySurface, 5, 5), 0xFF0000u);
  EXPECT_EQ(ColourAt(gBackBuffer, 5, 5), 0xFF0000u);
  EXPECT_EQ(gDrawQueueCount, 0u);
}

TEST_F(FlipChainQueueTest, APixelReadIsWrittenOnceInTheNextFrame) {
  QueueBox(0, 0, 3, 3);
  ValueSlot result{};
  result.i = -1;
  QueueReadPixel(1, 1, &result);
  EXPECT_EQ(result.i, -1);
  Frame();
  EXPECT_EQ(result.i, 0xFFFFFF);
  result.i = 12345;  // the program's next command changed the variable
  Frame();
  EXPECT_EQ(result.i, 12345);
  EXPECT_EQ(gDrawQueueCount, 0u);
}

}  // namespace
}  // namespace vx
