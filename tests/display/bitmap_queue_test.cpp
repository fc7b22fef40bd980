// The draw queue's bitmap-file items on headless surfaces: files load into bitmaps and onto the
// screen (squeezed when larger), the loaded bitmap becomes current, damaged and missing files give
// their errors without touching anything, a failed save says so and keeps the old file, copy
// errors and lost surfaces, and the immediate load into a slot.
#include <filesystem>
#include <utility>

#include "display/draw_queue_items.h"
#include "engine3d/object_records.h"
#include "tests/display/bitmap_test_support.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

using test::ColourAt;
using test::Picture;
using test::PictureOf;
using Colours = std::vector<uint32_t>;

Colours ColoursAt(win::IDirectDrawSurface7* surface, std::initializer_list<std::pair<int32_t, int32_t>> points) {
  Colours colours;
  for (const auto& [x, y] : points) colours.push_back(ColourAt(surface, x, y));
  return colours;
}

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

class BitmapQueueTest : public test::BitmapWorld {
 protected:
  std::string File(const std::string& name) { return temp.path() + name; }
  test::TempFolder temp;
};

TEST_F(BitmapQueueTest, FilesLoadOntoTheScreenAndIntoBitmaps) {
  for (uint32_t bits : {16u, 32u}) {
    SCOPED_TRACE(bits);
    World(bits, 64, 48);
    test::WriteBmp(File("small.bmp"), test::Quadrants(8, 6));
    test::WriteBmp(File("large.bmp"), test::Quadrants(128, 96));
    test::Fill(Display().gBackBuffer, 0x808080);
    const uint32_t grey = ColourAt(Display().gBackBuffer, 0, 0);  // as near as the format comes

    // Smaller than the screen: at the top left, the rest of the screen as it was.
    QueueLoadBitmap(0, File("small.bmp"));
    EXPECT_EQ(ColourAt(Display().gBackBuffer, 0, 0), grey);  // not before the frame
    ASSERT_EQ(Frame(), 0);
    EXPECT_EQ(ColoursAt(Display().gBackBuffer, {{0, 0}, {7, 0}, {0, 5}, {7, 5}, {8, 0}, {0, 6}}),
              (Colours{kRed, kGreen, kBlue, kWhite, grey, grey}));
    EXPECT_EQ(DrawQueue().gCurrentBitmap, 0);
    EXPECT_EQ(DrawQueue().gCurrentSurface, Display().gBackBuffer);
    EXPECT_EQ(Display().gBitmaps[0], nullptr);  // the screen never becomes a bitmap of its own

    // Larger: squeezed into the whole screen.
    QueueLoadBitmap(0, File("large.bmp"));
    ASSERT_EQ(Frame(), 0);
    EXPECT_EQ(ColoursAt(Display().gBackBuffer, {{1, 1}, {62, 1}, {1, 46}, {62, 46}, {31, 23}, {32, 24}}),
              (Colours{kRed, kGreen, kBlue, kWhite, kRed, kWhite}));

    // Into an empty bitmap: the file's size, the black key, and it becomes current.
    QueueLoadBitmap(5, File("small.bmp"));
    EXPECT_EQ(DrawQueue().gCurrentBitmap, 0);
    ASSERT_EQ(Frame(), 0);
    ASSERT_NE(Display().gBitmaps[5], nullptr);
    EXPECT_EQ(DrawQueue().gCurrentBitmap, 5);
    EXPECT_EQ(DrawQueue().gCurrentSurface, Display().gBitmaps[5]);
    EXPECT_EQ((std::vector{Display().gBitmapInfo[5].width, Display().gBitmapInfo[5].height,
                           Display().gBitmapInfo[5].bitsPerPixel}),
              (std::vector{8u, 6u, Display().gBitmaps[5]->PixelFormat().dwRGBBitCount}));
    EXPECT_EQ(PictureOf(Display().gBitmaps[5]).rgb, test::Quadrants(8, 6).rgb);
    win::DDCOLORKEY key{1, 1};
    ASSERT_EQ(Display().gBitmaps[5]->GetColorKey(win::DDCKEY_SRCBLT, &key), win::DD_OK);
    EXPECT_EQ(key.dwColorSpaceLowValue, 0u);
    TearDown();
  }
}

TEST_F(BitmapQueueTest, DamagedAndMissingFilesFailWithoutTouchingAnything) {
  World(32);
  test::WriteBmp(File("good.bmp"), test::Quadrants(8, 6));
  std::vector<uint8_t> bytes = test::FileBytes(File("good.bmp"));
  bytes.resize(60);  // headers promise rows that are not there
  test::WriteBytes(File("short.bmp"), bytes);
  test::WriteBytes(File("junk.png"), std::vector<uint8_t>(300, 0x5A));
  std::filesystem::copy_file(File("good.bmp"), File("good.gif"));  // no reader for the ending

  QueueLoadBitmap(2, File("good.bmp"));
  ASSERT_EQ(Frame(), 0);
  win::IDirectDrawSurface7* before = Display().gBitmaps[2];
  const Picture picture = PictureOf(before);
  QueueSetCurrentBitmap(0);
  Frame();
  for (const char* name : {"short.bmp", "junk.png", "good.gif"}) {
    SCOPED_TRACE(name);
    for (int32_t n : {0, 2, 3}) {
      QueueLoadBitmap(n, File(name));
      EXPECT_EQ(Frame(), kErrImageFileNotLoaded);
      EXPECT_EQ(Interpreter().gErrorWarningFlag, 1);  // soft: a warning
      EXPECT_EQ(DrawQueue().gCurrentBitmap, 0);
    }
    EXPECT_EQ(Display().gBitmaps[2], before);
    EXPECT_EQ(Display().gBitmaps[3], nullptr);
    EXPECT_EQ(PictureOf(before).rgb, picture.rgb);
    EXPECT_EQ(ColourAt(Display().gBackBuffer, 0, 0), 0u);
  }
  QueueLoadBitmap(3, File("missing.bmp"));
  EXPECT_EQ(Frame(), kErrFileNotFound);
  for (int32_t n : {-1, 32, kWorkBitmap}) {
    QueueLoadBitmap(n, File("good.bmp"));
    EXPECT_EQ(Frame(), kErrBitmapNumberOutOfRange) << n;
  }
  EXPECT_EQ(Display().gBitmaps[size_t(kWorkBitmap)], nullptr);
  EXPECT_EQ(Display().gBitmaps[32], nullptr);
}

TEST_F(BitmapQueueTest, AFailedSaveSaysSoAndKeepsTheOldFile) {
  World(32);
  QueueCreateBitmap(1, 4, 4);
  ASSERT_EQ(Frame(), 0);
  const std::vector<uint8_t> old{'o', 'l', 'd'};
  test::WriteBytes(File("old.bmp"), old);

  // The surface can't be read while it is locked: nothing is written.
  ASSERT_NO_FATAL_FAILURE(test::LockSurface(Display().gBitmaps[1]));
  QueueSaveBitmap(1, File("old.bmp"));
  EXPECT_EQ(Frame(), kErrBitmapNotSaved);
  EXPECT_EQ(Interpreter().gErrorWarningFlag, 0);
  Display().gBitmaps[1]->Unlock(nullptr);
  EXPECT_EQ(test::FileBytes(File("old.bmp")), old);

  // A folder that does not exist, an ending with no writer, endings that are only read.
  for (const char* name : {"missing/x.bmp", "x.gif", "x.pcx", "x"}) {
    QueueSaveBitmap(1, File(name));
    EXPECT_EQ(Frame(), kErrBitmapNotSaved) << name;
    EXPECT_FALSE(std::filesystem::exists(File(name))) << name;
  }
  QueueSaveBitmap(1, File("old.bmp"));
  EXPECT_EQ(Frame(), 0);
  EXPECT_EQ(test::FileBytes(File("old.bmp")).size(), 54u + 12 * 4);

  QueueSaveBitmap(7, File("y.bmp"));
  EXPECT_EQ(Frame(), kErrBitmapNotExist);
  QueueSaveBitmap(32, File("y.bmp"));
  EXPECT_EQ(Frame(), kErrBitmapNumberOutOfRange);
  EXPECT_FALSE(std::filesystem::exists(File("y.bmp")));
}

// Bitmap 1 the 8 by 8 quadrants (black key; black never appears in it), bitmap 2 16 by 16 grey,
// the screen black and current.
class BitmapCopyTest : public BitmapQueueTest {
 protected:
  void SetUp() override {
    World(32, 64, 48);
    test::WriteBmp(File("q.bmp"), test::Quadrants(8, 8));
    QueueLoadBitmap(1, File("q.bmp"));
    QueueCreateBitmap(2, 16, 16);
    ASSERT_EQ(Frame(), 0);
    QueueSetCurrentBitmap(0);  // a created bitmap became current when it was made
    ASSERT_EQ(Frame(), 0);
    test::Fill(Display().gBitmaps[2], 0x404040);
  }
  static void ExpectUntouched() {
    EXPECT_EQ(PictureOf(Display().gBitmaps[2]).rgb, Colours(256, 0x404040u));
    EXPECT_EQ(PictureOf(Display().gBackBuffer).rgb, Colours(64 * 48, 0u));
  }
};

TEST_F(BitmapCopyTest, EveryCopyErrorLeavesTheTargetAlone) {
  const struct {
    const char* what;
    int32_t source, edges[4], target, targetEdges[4];
    int32_t error;
  } cases[] = {
      {"work bitmap", 1, {0, 0, 1, 1}, kWorkBitmap, {0, 0, 1, 1}, kErrBitmapNumberOutOfRange},
      {"empty source", 9, {0, 0, 1, 1}, 2, {0, 0, 1, 1}, kErrBitmapNotExist},
      {"left below 0", 1, {-1, 0, 1, 1}, 2, {0, 0, 1, 1}, kErrCopyAreaOutside},
      {"right at the largest", 1, {0, 0, INT32_MAX, 1}, 2, {0, 0, 1, 1}, kErrCopyAreaOutside},
      {"source upside down", 1, {0, 5, 3, 2}, 2, {0, 0, 1, 1}, kErrCopyAreaEmpty},
      {"target outside", 1, {0, 0, 1, 1}, 2, {8, 8, 16, 9}, kErrCopyAreaOutside},
      {"screen outside", 1, {0, 0, 1, 1}, 0, {60, 40, 64, 45}, kErrCopyAreaOutside},
  };
  for (const auto& c : cases) {
    QueueCopyBitmapRect(c.source, c.edges[0], c.edges[1], c.edges[2], c.edges[3], c.target, c.targetEdges[0],
                        c.targetEdges[1], c.targetEdges[2], c.targetEdges[3]);
    EXPECT_EQ(Frame(), c.error) << c.what;
  }
  QueueCopyBitmap(1, 40);
  EXPECT_EQ(Frame(), kErrBitmapNumberOutOfRange);
  QueueCopyBitmap(9, 2);
  EXPECT_EQ(Frame(), kErrBitmapNotExist);
  ExpectUntouched();

  // A blit that fails is reported, and the whole source is not copied over the target instead.
  ASSERT_NO_FATAL_FAILURE(test::LockSurface(Display().gBitmaps[1]));
  QueueCopyBitmapRect(1, 0, 0, 3, 3, 2, 0, 0, 3, 3);
  QueueCopyBitmap(1, 2);
  EXPECT_EQ(Frame(), kErrBitmapBlitFailed);
  Display().gBitmaps[1]->Unlock(nullptr);
  ExpectUntouched();
  // Sizes on record larger than the surface let a rectangle past the checks; the blit refuses it.
  Display().gBitmapInfo[1].width = Display().gBitmapInfo[1].height = 100;
  QueueCopyBitmapRect(1, 0, 0, 49, 49, 2, 0, 0, 15, 15);
  EXPECT_EQ(Frame(), kErrBitmapBlitFailed);
  ExpectUntouched();
}

TEST_F(BitmapCopyTest, LostSurfacesAreRestoredAndAFailedRestorePauses) {
  win::LoseSurface(Display().gBitmaps[2]);
  QueueCopyBitmapRect(1, 0, 0, 3, 3, 2, 0, 0, 3, 3);
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(ColourAt(Display().gBitmaps[2], 3, 3), kRed);

  win::LoseSurface(Display().gBitmaps[1]);
  QueueCopyBitmap(1, 2);
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(Host().gAppActive, 1u);

  win::LoseSurface(Display().gBitmaps[1]);
  win::SetRestoreFails(true);
  QueueCopyBitmap(1, 2);
  EXPECT_EQ(Frame(), 0);  // not the program's fault: it waits until the display is back
  EXPECT_EQ(Host().gAppActive, 0u);
  win::SetRestoreFails(false);
}

TEST_F(BitmapQueueTest, ImmediateLoadsFillASlotAtOnce) {
  World(32);
  test::WriteBmp(File("pic.BMP"), test::Quadrants(4, 2));
  ASSERT_EQ(LoadBitmapIntoSlot(kWorkBitmap, File("pic.BMP")), 1);
  win::IDirectDrawSurface7* loaded = Display().gBitmaps[size_t(kWorkBitmap)];
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(Display().gBitmapInfo[size_t(kWorkBitmap)].width, 4u);
  EXPECT_EQ(ColourAt(loaded, 3, 1), kWhite);
  win::DDCOLORKEY key{};
  EXPECT_EQ(loaded->GetColorKey(win::DDCKEY_SRCBLT, &key), win::DD_OK);

  // A failed load leaves what the slot held; the screen is never a slot to load into.
  EXPECT_EQ(LoadBitmapIntoSlot(kWorkBitmap, File("missing.bmp")), 0);
  EXPECT_EQ(Display().gBitmaps[size_t(kWorkBitmap)], loaded);
  EXPECT_EQ(LoadBitmapIntoSlot(0, File("pic.BMP")), 0);
  EXPECT_EQ(LoadBitmapIntoSlot(kBitmapSlots, File("pic.BMP")), 0);
  EXPECT_EQ(ColourAt(Display().gBackBuffer, 0, 0), 0u);
  // Loading again replaces (and releases) the old surface.
  ASSERT_EQ(LoadBitmapIntoSlot(kWorkBitmap, File("pic.BMP")), 1);
  ReleaseBitmapSurface(kWorkBitmap);
}

}  // namespace
}  // namespace vx
