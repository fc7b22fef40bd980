// The 2D draw queue on headless surfaces: items wait for the next frame and run in queue order;
// boxes, dots and lines land on exact pixels at 16, 24 and 32 bits; deleting the current bitmap
// drops what was queued on it; pastes follow image numbers, not record slots; on a flip chain
// screen items are drawn once and reach the other buffer as they were drawn, whatever became of
// their bitmaps since, the other buffer keeps what the queue did not touch, and pixel reads are
// written once.
#include "tests/display/bitmap_test_support.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

using test::ColourAt;
using test::Fill;

class DrawQueueTest : public test::SurfaceWorld {
 protected:
  void World(uint32_t bits, int32_t width = 64, int32_t height = 48) {
    MakeWorld(bits, width, height);
    Display().gFlipChain = 0;
    ResetDrawTarget();
    Fill(Display().gBackBuffer, 0x000000);
  }
  void TearDown() override {
    DrawQueueFlush();
    DrawQueue().gDrawQueue.Destroy();
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
  EXPECT_EQ(DrawQueue().gDrawQueueCount, 4u);
  EXPECT_EQ(ColourAt(Display().gBackBuffer, 0, 0), 0u);  // nothing drawn until the frame
  EXPECT_EQ(DrawQueueExecute(), 1);
  EXPECT_EQ(DrawQueue().gDrawQueueCount, 0u);
  EXPECT_EQ(ColourAt(Display().gBackBuffer, 0, 0), 0xFF0000u);
  EXPECT_EQ(ColourAt(Display().gBackBuffer, 5, 5), 0x0000FFu);

  // The pool grows past its first size and keeps the order.
  const int32_t first = DrawQueue().gDrawQueue.capacity;
  for (int32_t i = 0; i < first + 10; ++i) QueueDot(i % 64, 40);
  EXPECT_GT(DrawQueue().gDrawQueue.capacity, first);
  EXPECT_EQ(DrawQueue().gDrawQueueCount, uint32_t(first + 10));
  DrawQueueExecute();
  EXPECT_EQ(DrawQueue().gDrawQueueCount, 0u);
  EXPECT_EQ(ColourAt(Display().gBackBuffer, 63, 40), 0x0000FFu);
}

TEST_F(DrawQueueTest, PrimitivesHaveExactEdgesAtEachDepth) {
  for (uint32_t bits : {16u, 24u, 32u}) {
    SCOPED_TRACE(bits);
    World(bits, 64, 64);
    EXPECT_EQ(ReadBack(0, 0), 0);
    QueueBox(10, 10, 50, 50);  // 41 by 41
    DrawQueueExecute();
    EXPECT_EQ(Painted(Display().gBackBuffer), (win::RECT{10, 10, 51, 51}));
    EXPECT_EQ(ReadBack(10, 10), 0xFFFFFF);  // the default ink is white in every format

    Fill(Display().gBackBuffer, 0);
    QueueBox(30, 30, 20, 40);  // right left of left: nothing
    QueueDot(63, 63);
    QueueDot(64, 10);  // outside: nothing, no fault
    DrawQueueExecute();
    EXPECT_EQ(Painted(Display().gBackBuffer), (win::RECT{63, 63, 64, 64}));

    Fill(Display().gBackBuffer, 0);
    QueueBox(-5, 60, 3, 70);  // the part on the screen
    DrawQueueExecute();
    EXPECT_EQ(Painted(Display().gBackBuffer), (win::RECT{0, 60, 4, 64}));

    Fill(Display().gBackBuffer, 0);
    QueueLine(2, 3, 12, 3);
    QueueLine(5, 20, 15, 30);
    DrawQueueExecute();
    for (int32_t x = 2; x <= 12; ++x) EXPECT_EQ(ColourAt(Display().gBackBuffer, x, 3), 0xFFFFFFu) << x;
    EXPECT_EQ(ColourAt(Display().gBackBuffer, 13, 3), 0u);
    EXPECT_EQ(ColourAt(Display().gBackBuffer, 5, 20), 0xFFFFFFu);
    EXPECT_EQ(ColourAt(Display().gBackBuffer, 14, 29), 0xFFFFFFu);
    TearDown();
  }
}

TEST_F(DrawQueueTest, BitmapItemsRetargetAndDeletingTheCurrentOneDropsItsItems) {
  World(32);
  QueueCreateBitmap(3, 16, 8);
  DrawQueueExecute();
  ASSERT_NE(Display().gBitmaps[3], nullptr);
  EXPECT_EQ(DrawQueue().gCurrentBitmap, 3);  // made current when performed
  QueueBox(0, 0, 100, 100);                  // cut at the bitmap's edges
  QueueSetCurrentBitmap(0);
  QueueDot(0, 0);
  DrawQueueExecute();
  EXPECT_EQ(Painted(Display().gBitmaps[3]), (win::RECT{0, 0, 16, 8}));
  EXPECT_EQ(Painted(Display().gBackBuffer), (win::RECT{0, 0, 1, 1}));

  // Deleting the current bitmap targets the screen at once; items queued on it before are dropped
  // rather than drawn on a released surface.
  QueueSetCurrentBitmap(3);
  QueueBox(0, 0, 3, 3);
  QueueDeleteBitmap(3);
  EXPECT_EQ(DrawQueue().gCurrentBitmap, 0);
  EXPECT_EQ(DrawQueue().gCurrentSurface, Display().gBackBuffer);
  QueueBox(1, 1, 1, 1);
  DrawQueueExecute();
  EXPECT_EQ(Display().gBitmaps[3], nullptr);
  EXPECT_EQ(Interpreter().gErrorCode, 0);
}

TEST_F(DrawQueueTest, PastesAreKeyedAndFollowTheImageNumber) {
  World(32);
  const uint32_t slot = MakeImage(4, 4, 0xFF0000);
  Records().gImageSlotById[5] = slot;
  test::Paint(Records().gImageRecords[slot].surface, 0, 0, 0x000000);
  QueuePasteImageKeyed(5, 2, 2);
  QueuePasteImage(5, 10, 10);
  DrawQueueExecute();
  EXPECT_EQ(ColourAt(Display().gBackBuffer, 2, 2), 0u);  // keyed
  EXPECT_EQ(ColourAt(Display().gBackBuffer, 3, 3), 0xFF0000u);
  EXPECT_EQ(ColourAt(Display().gBackBuffer, 13, 13), 0xFF0000u);

  // Image 5 deleted and its slot taken by image 6 before the frame: the paste of 5 draws nothing.
  Fill(Display().gBackBuffer, 0);
  QueuePasteImage(5, 30, 30);
  FreeImageRecord(slot);
  Records().gImageSlotById[5] = 0;
  const uint32_t reused = MakeImage(4, 4, 0x00FF00);
  EXPECT_EQ(reused, slot);
  Records().gImageSlotById[6] = reused;
  DrawQueueExecute();
  EXPECT_EQ(Painted(Display().gBackBuffer).right, -1);
}

// A real display with a flip chain: what is drawn on the screen must reach both buffers.
class FlipChainQueueTest : public test::RealDisplayTest {
 protected:
  void SetUp() override {
    RealDisplayTest::SetUp();
    ASSERT_EQ(Display().gFlipChain, 1u);
  }
  // Draws the frame, then shows it: the other buffer becomes the back buffer.
  static void Frame() {
    DrawQueueExecute();
    PresentFrame();
  }
};

TEST_F(FlipChainQueueTest, ScreenItemsReachBothBuffersWithTheirColours) {
  EXPECT_EQ(DrawQueue().gScreenPersistFrames, 2);
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
  EXPECT_EQ(ColourAt(Display().gPrimarySurface, 5, 5), 0xFF0000u);
  EXPECT_GT(DrawQueue().gDrawQueueCount, 0u);
  Frame();
  // The second page got the box in the red it was queued with, not the blue set after it.
  EXPECT_EQ(ColourAt(Display().gPrimarySurface, 5, 5), 0xFF0000u);
  EXPECT_EQ(ColourAt(Display().gBackBuffer, 5, 5), 0xFF0000u);
  EXPECT_EQ(DrawQueue().gDrawQueueCount, 0u);
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
  EXPECT_EQ(DrawQueue().gDrawQueueCount, 0u);
}

// The same flip chain in a display mode of each depth.
class FlipChainDepthTest : public FlipChainQueueTest, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    test::PrepareHeadlessDisplay("VXREAL", 320, 240);
    Display().gRenderEnabled = 1;
    Interpreter().gStandaloneFlag = 0;
    ASSERT_TRUE(EnumerateDisplayCards(0, 1));
    ASSERT_EQ(Display().gDirectDraw->SetDisplayMode(640, 480, win::DWORD(GetParam()), 0, 0), win::DD_OK);
    ASSERT_TRUE(InitDisplayAndDevice(640, 480, 1)) << Runtime().gLastEngineError;
    ResetDrawTarget();
    ASSERT_EQ(Display().gFlipChain, 1u);
    ASSERT_EQ(Display().gBackBufferBitCount, GetParam());
  }
};

TEST_P(FlipChainDepthTest, TheOtherPageGetsWhatACopyDrewThoughItsBitmapChangedAndWent) {
  ASSERT_EQ(CreateBitmapSurface(2, 8, 8), 1);
  Fill(Display().gBitmaps[2], 0xFF0000);
  QueueCopyBitmapRect(2, 0, 0, 7, 7, 0, 10, 10, 17, 17);
  Frame();  // copied red on this page, shown
  Fill(Display().gBitmaps[2], 0x0000FF);
  QueueDeleteBitmap(2);
  // A pixel of this page's own picture (the 3D scene of its frame) that the queue leaves alone.
  win::RECT own{100, 100, 101, 101};
  Fill(Display().gBackBuffer, 0x00FF00, &own);
  Frame();
  EXPECT_EQ(Interpreter().gErrorCode, 0) << "the copy is not performed again";
  EXPECT_EQ(Display().gBitmaps[2], nullptr);
  EXPECT_EQ(ColourAt(Display().gPrimarySurface, 12, 12), 0xFF0000u);
  EXPECT_EQ(ColourAt(Display().gBackBuffer, 12, 12), 0xFF0000u);
  EXPECT_EQ(ColourAt(Display().gPrimarySurface, 100, 100), 0x00FF00u);
  EXPECT_EQ(ColourAt(Display().gBackBuffer, 100, 100), 0u) << "only what the queue drew is copied";
  EXPECT_EQ(DrawQueue().gDrawQueueCount, 0u);
  // Nothing is copied again: each page keeps what was drawn on it since.
  win::RECT drawn{12, 12, 13, 13};
  Fill(Display().gBackBuffer, 0x00FF00, &drawn);
  Frame();
  EXPECT_EQ(ColourAt(Display().gPrimarySurface, 12, 12), 0x00FF00u);
  Frame();
  EXPECT_EQ(ColourAt(Display().gPrimarySurface, 12, 12), 0xFF0000u);
}

INSTANTIATE_TEST_SUITE_P(Depths, FlipChainDepthTest, ::testing::Values(16, 24, 32));

TEST_F(FlipChainQueueTest, AFailedScreenLoadIsReportedOnceItsSecondPageIsShown) {
  test::TempFolder dir;
  const std::string damaged = dir.path() + "damaged.bmp";
  test::WriteBytes(damaged, {'B', 'M', 1, 2, 3});
  QueueLoadBitmap(0, damaged);
  Frame();
  EXPECT_EQ(Interpreter().gErrorCode, 0);
  Frame();
  EXPECT_EQ(Interpreter().gErrorCode, kErrImageFileNotLoaded);
  EXPECT_EQ(Interpreter().gErrorWarningFlag, 1);
}

}  // namespace
}  // namespace vx
