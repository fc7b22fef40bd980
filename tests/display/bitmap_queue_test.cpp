// The draw queue's bitmap-file items on real headless surfaces: files load into bitmaps and onto
// the screen (squeezed when larger), the loaded bitmap becomes current, damaged and missing files
// give their errors without touching anything, saves round-trip through every writable format and
// a failed save says so and keeps the old file, whole and rectangle copies (stretching) with every
// error, images saved through the work bitmap, and the immediate load into a slot.
#include <filesystem>
#include <set>
#include <utility>

#include "display/draw_queue_items.h"
#include "engine3d/records.h"
#include "tests/display/bitmap_test_support.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

using test::ColourAt;
using test::ColoursAt;
using test::Picture;
using test::PictureOf;
using Colours = std::vector<uint32_t>;

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
    test::Fill(gBackBuffer, 0x808080);
    const uint32_t grey = ColourAt(gBackBuffer, 0, 0);  // as near as the format comes

    // Smaller than the screen: at the top left, the rest of the screen as it was.
    QueueLoadBitmap(0, File("small.bmp"));
    EXPECT_EQ(ColourAt(gBackBuffer, 0, 0), grey);  // not before the frame
    ASSERT_EQ(Frame(), 0);
    EXPECT_EQ(ColoursAt(gBackBuffer, {{0, 0}, {7, 0}, {0, 5}, {7, 5}, {8, 0}, {0, 6}}),
              (Colours{kRed, kGreen, kBlue, kWhite, grey, grey}));
    EXPECT_EQ(gCurrentBitmap, 0);
    EXPECT_EQ(gCurrentSurface, gBackBuffer);
    EXPECT_EQ(gBitmaps[0], nullptr);  // the screen never becomes a bitmap of its own

    // Larger: squeezed into the whole screen.
    QueueLoadBitmap(0, File("large.bmp"));
    ASSERT_EQ(Frame(), 0);
    EXPECT_EQ(ColoursAt(gBackBuffer, {{1, 1}, {62, 1}, {1, 46}, {62, 46}, {31, 23}, {32, 24}}),
              (Colours{kRed, kGreen, kBlue, kWhite, kRed, kWhite}));

    // Into an empty bitmap: the file's size, the black key, and it becomes current.
    QueueLoadBitmap(5, File("small.bmp"));
    EXPECT_EQ(gCurrentBitmap, 0);
    ASSERT_EQ(Frame(), 0);
    ASSERT_NE(gBitmaps[5], nullptr);
    EXPECT_EQ(gCurrentBitmap, 5);
    EXPECT_EQ(gCurrentSurface, gBitmaps[5]);
    EXPECT_EQ((std::vector{gBitmapInfo[5].width, gBitmapInfo[5].height, gBitmapInfo[5].bitsPerPixel}),
              (std::vector{8u, 6u, gBitmaps[5]->PixelFormat().dwRGBBitCount}));
    EXPECT_EQ(PictureOf(gBitmaps[5]).rgb, test::Quadrants(8, 6).rgb);
    win::DDCOLORKEY key{1, 1};
    ASSERT_EQ(gBitmaps[5]->GetColorKey(win::DDCKEY_SRCBLT, &key), win::DD_OK);
    EXPECT_EQ(key.dwColorSpaceLowValue, 0u);

    // Into an existing bitmap: it keeps its size and surface, the file squeezed into it.
    QueueCreateBitmap(6, 20, 10);
    QueueSetCurrentBitmap(0);
    ASSERT_EQ(Frame(), 0);
    win::IDirectDrawSurface7* kept = gBitmaps[6];
    QueueLoadBitmap(6, File("large.bmp"));
    ASSERT_EQ(Frame(), 0);
    EXPECT_EQ(gBitmaps[6], kept);
    EXPECT_EQ(gCurrentBitmap, 6);
    EXPECT_EQ(std::pair(gBitmapInfo[6].width, gBitmapInfo[6].height), std::pair(20u, 10u));
    // Drawing queued after the load goes to the loaded bitmap.
    QueueInk(0x00FFFF, 0);
    QueueDot(3, 3);
    ASSERT_EQ(Frame(), 0);
    EXPECT_EQ(ColoursAt(kept, {{0, 0}, {19, 9}, {3, 3}}), (Colours{kRed, kWhite, 0x00FFFF}));
    TearDown();
  }
}

TEST_F(BitmapQueueTest, EveryReadableFormatLoadsIntoABitmap) {
  VX_CORPUS_OR_SKIP(images, "");
  World(32);
  // Each file against FreeImage's reading of it; the JPEG against the lossless picture.
  const struct {
    const char *file, *reference;
    FREE_IMAGE_FORMAT format;
    int tolerance;
  } cases[] = {
      {"bmp/g/rgb24.bmp", "bmp/g/rgb24.bmp", FIF_BMP, 0},
      {"png/hopper.png", "png/hopper.png", FIF_PNG, 0},
      {"tga/200x32_rgb_bl_raw.tga", "tga/200x32_rgb_bl_raw.tga", FIF_TARGA, 0},
      {"pcx/pil184.pcx", "pcx/pil184.pcx", FIF_PCX, 0},
      {"psd/hopper.psd", "psd/hopper.psd", FIF_PSD, 0},
      {"tiff/hopper.tif", "tiff/hopper.tif", FIF_TIFF, 0},
      {"jpeg/hopper.jpg", "png/hopper.png", FIF_PNG, 4},
  };
  int32_t n = 1;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::optional<Picture> reference = test::ReferenceDecode(c.format, images + "/" + c.reference);
    ASSERT_TRUE(reference);
    QueueLoadBitmap(n, images + "/" + c.file);
    ASSERT_EQ(Frame(), 0);
    ASSERT_NE(gBitmaps[size_t(n)], nullptr);
    EXPECT_EQ(gCurrentBitmap, n);
    EXPECT_EQ(std::pair(gBitmapInfo[size_t(n)].width, gBitmapInfo[size_t(n)].height),
              std::pair(reference->width, reference->height));
    EXPECT_LE(test::LargestDifference(PictureOf(gBitmaps[size_t(n)]), *reference), c.tolerance);
    ++n;
  }
}

TEST_F(BitmapQueueTest, DamagedAndMissingFilesFailWithoutTouchingAnything) {
  World(32);
  test::WriteBmp(File("good.bmp"), test::Quadrants(8, 6));
  std::vector<uint8_t> bytes = test::FileBytes(File("good.bmp"));
  bytes.resize(60);  // headers promise rows that are not there
  test::WriteBytes(File("short.bmp"), bytes);
  test::WriteBytes(File("junk.png"), std::vector<uint8_t>(300, 0x5A));
  test::WriteBytes(File("empty.jpg"), {});
  std::filesystem::copy_file(File("good.bmp"), File("good.gif"));  // no reader for the ending

  QueueLoadBitmap(2, File("good.bmp"));
  ASSERT_EQ(Frame(), 0);
  win::IDirectDrawSurface7* before = gBitmaps[2];
  const Picture picture = PictureOf(before);
  QueueSetCurrentBitmap(0);
  Frame();
  for (const char* name : {"short.bmp", "junk.png", "empty.jpg", "good.gif"}) {
    SCOPED_TRACE(name);
    for (int32_t n : {0, 2, 3}) {
      QueueLoadBitmap(n, File(name));
      EXPECT_EQ(Frame(), 1003);
      EXPECT_EQ(gErrorWarningFlag, 1);  // soft: a warning
      EXPECT_EQ(gCurrentBitmap, 0);
    }
    EXPECT_EQ(gBitmaps[2], before);
    EXPECT_EQ(gBitmaps[3], nullptr);
    EXPECT_EQ(PictureOf(before).rgb, picture.rgb);
    EXPECT_EQ(ColourAt(gBackBuffer, 0, 0), 0u);
  }
  QueueLoadBitmap(3, File("missing.bmp"));
  EXPECT_EQ(Frame(), 105);
  for (int32_t n : {-1, 32, kWorkBitmap}) {
    QueueLoadBitmap(n, File("good.bmp"));
    EXPECT_EQ(Frame(), 1001) << n;
  }
  EXPECT_EQ(gBitmaps[size_t(kWorkBitmap)], nullptr);
  EXPECT_EQ(gBitmaps[32], nullptr);

  // Damaged files of the public corpora (fuzzer finds, broken headers and data) fail the same way.
  const std::set<std::string> wholeEnough = {"badbitssize.bmp", "baddens1.bmp", "baddens2.bmp", "badfilesize.bmp",
                                             "pal8badindex.bmp"};
  for (const auto& [folder, ending] : {std::pair{"bmp/b", ".bmp"}, {"tiff", ".tif"}, {"psd", ".psd"},
                                       {"pcx", ".pcx"}, {"png", ".png"}}) {
    const std::string path = test::CorpusFolder(folder);
    if (path.empty()) continue;
    const bool badBmp = std::string(folder) == "bmp/b";
    for (const std::string& file : test::FilesIn(path, ending)) {
      const std::string name = test::BaseName(file);
      if (badBmp ? wholeEnough.count(name) == 1
                 : !(name.starts_with("crash-") || name.starts_with("ossfuzz") ||
                     name.find("oob") != std::string::npos || name.starts_with("broken")))
        continue;
      SCOPED_TRACE(file);
      QueueLoadBitmap(4, file);
      const int32_t error = Frame();
      // Some fuzzer finds still hold a picture that the library can read; none may half load.
      if (badBmp || error != 0) {
        EXPECT_EQ(error, 1003);
        EXPECT_EQ(gBitmaps[4], nullptr);
      } else {
        EXPECT_NE(gBitmaps[4], nullptr);
        EXPECT_EQ(gCurrentBitmap, 4);
      }
      ReleaseBitmapSurface(4);
      QueueSetCurrentBitmap(0);
      Frame();
    }
  }
}

TEST_F(BitmapQueueTest, AFailedScreenLoadOnAFlipChainWarnsOnItsLastRun) {
  World(32);
  gScreenPersistFrames = 2;
  test::WriteBytes(File("junk.bmp"), std::vector<uint8_t>(100, 1));
  QueueLoadBitmap(0, File("junk.bmp"));
  EXPECT_EQ(Frame(), 0);
  EXPECT_EQ(gDrawQueueCount, 1u);
  EXPECT_EQ(Frame(), 1003);
  EXPECT_EQ(gDrawQueueCount, 0u);
}

TEST_F(BitmapQueueTest, SavedBitmapsLoadBackInEveryWritableFormat) {
  World(32);
  const Picture picture = test::Gradient(6, 5);
  test::WriteBmp(File("source.bmp"), picture);
  QueueLoadBitmap(1, File("source.bmp"));
  QueueLoadBitmap(0, File("source.bmp"));
  ASSERT_EQ(Frame(), 0);
  for (const auto& [name, tolerance] : {std::pair{"a.bmp", 0}, {"b.PNG", 0}, {"c.tga", 0}, {"d.jpg", 40}}) {
    SCOPED_TRACE(name);
    QueueSaveBitmap(1, File(name));
    QueueLoadBitmap(2, File(name));
    ASSERT_EQ(Frame(), 0);
    EXPECT_LE(test::LargestDifference(PictureOf(gBitmaps[2]), picture), tolerance);
  }
  // The screen saves the whole screen.
  QueueSaveBitmap(0, File("screen.png"));
  QueueLoadBitmap(3, File("screen.png"));
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(gBitmapInfo[3].width, 64u);
  EXPECT_EQ(test::PictureIn(gBitmaps[3], 0, 0, 6, 5).rgb, picture.rgb);
  EXPECT_EQ(ColourAt(gBitmaps[3], 6, 5), 0u);
}

TEST_F(BitmapQueueTest, AFailedSaveSaysSoAndKeepsTheOldFile) {
  World(32);
  QueueCreateBitmap(1, 4, 4);
  ASSERT_EQ(Frame(), 0);
  const std::vector<uint8_t> old{'o', 'l', 'd'};
  test::WriteBytes(File("old.bmp"), old);

  // The surface can't be read while it is locked: nothing is written.
  ASSERT_NO_FATAL_FAILURE(test::LockSurface(gBitmaps[1]));
  QueueSaveBitmap(1, File("old.bmp"));
  EXPECT_EQ(Frame(), 1004);
  EXPECT_EQ(gErrorWarningFlag, 0);
  gBitmaps[1]->Unlock(nullptr);
  EXPECT_EQ(test::FileBytes(File("old.bmp")), old);

  // A folder that does not exist, an ending with no writer, endings that are only read.
  for (const char* name : {"missing/x.bmp", "x.gif", "x.pcx", "x.psd", "x.tif", "x"}) {
    QueueSaveBitmap(1, File(name));
    EXPECT_EQ(Frame(), 1004) << name;
    EXPECT_FALSE(std::filesystem::exists(File(name))) << name;
  }
  QueueSaveBitmap(1, File("old.bmp"));
  EXPECT_EQ(Frame(), 0);
  EXPECT_EQ(test::FileBytes(File("old.bmp")).size(), 54u + 12 * 4);

  QueueSaveBitmap(7, File("y.bmp"));
  EXPECT_EQ(Frame(), 1002);
  QueueSaveBitmap(32, File("y.bmp"));
  EXPECT_EQ(Frame(), 1001);
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
    test::Fill(gBitmaps[2], 0x404040);
  }
  static void ExpectUntouched() {
    EXPECT_EQ(PictureOf(gBitmaps[2]).rgb, Colours(256, 0x404040u));
    EXPECT_EQ(PictureOf(gBackBuffer).rgb, Colours(64 * 48, 0u));
  }
};

TEST_F(BitmapCopyTest, WholeCopiesGoToTheTopLeftWithoutTheColourKey) {
  test::Paint(gBitmaps[1], 0, 0, 0x000000);  // black is copied although it is the key
  QueueCopyBitmap(1, 2);
  QueueCopyBitmap(1, 0);
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(ColoursAt(gBitmaps[2], {{0, 0}, {7, 7}, {8, 0}, {0, 8}}), (Colours{0, kWhite, 0x404040, 0x404040}));
  EXPECT_EQ(ColourAt(gBackBuffer, 7, 0), kGreen);
  EXPECT_EQ(gCurrentBitmap, 0);  // copies do not change the current bitmap

  QueueCopyBitmap(2, 2);
  EXPECT_EQ(Frame(), 1007);
  QueueCopyBitmap(2, 1);  // 16 by 16 onto 8 by 8
  EXPECT_EQ(Frame(), 1008);
  QueueCopyBitmap(0, 2);  // the screen is larger too
  EXPECT_EQ(Frame(), 1008);
  EXPECT_EQ(ColourAt(gBitmaps[1], 7, 7), kWhite);
}

TEST_F(BitmapCopyTest, RectangleCopiesStretchBetweenInclusiveEdges) {
  // The top-left 4 by 4 (red) and the right half of row 7 (white) onto the target.
  QueueCopyBitmapRect(1, 0, 0, 3, 3, 2, 2, 2, 9, 9);     // doubled
  QueueCopyBitmapRect(1, 4, 4, 7, 7, 0, 10, 10, 11, 11);  // halved onto the screen
  ASSERT_EQ(Frame(), 0);
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 16; ++x) {
      const bool inside = x >= 2 && x < 10 && y >= 2 && y < 10;
      ASSERT_EQ(ColourAt(gBitmaps[2], x, y), inside ? kRed : 0x404040u) << x << "," << y;
    }
  EXPECT_EQ(test::PictureIn(gBackBuffer, 10, 10, 2, 2).rgb, Colours(4, kWhite));
  EXPECT_EQ(ColoursAt(gBackBuffer, {{12, 12}, {9, 9}}), (Colours{0, 0}));
  // The same bitmap as source and target is allowed for rectangles.
  QueueCopyBitmapRect(1, 4, 0, 7, 3, 1, 0, 4, 3, 7);
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(ColourAt(gBitmaps[1], 0, 4), kGreen);
}

TEST_F(BitmapCopyTest, EveryCopyErrorLeavesTheTargetAlone) {
  const struct {
    const char* what;
    int32_t source, edges[4], target, targetEdges[4];
    int32_t error;
  } cases[] = {
      {"source -1", -1, {0, 0, 1, 1}, 2, {0, 0, 1, 1}, 1001},
      {"target 32", 1, {0, 0, 1, 1}, 32, {0, 0, 1, 1}, 1001},
      {"work bitmap", 1, {0, 0, 1, 1}, kWorkBitmap, {0, 0, 1, 1}, 1001},
      {"empty source", 9, {0, 0, 1, 1}, 2, {0, 0, 1, 1}, 1002},
      {"empty target", 1, {0, 0, 1, 1}, 9, {0, 0, 1, 1}, 1002},
      {"left below 0", 1, {-1, 0, 1, 1}, 2, {0, 0, 1, 1}, 1010},
      {"top below 0", 1, {0, -1, 1, 1}, 2, {0, 0, 1, 1}, 1010},
      {"right past the width", 1, {0, 0, 8, 1}, 2, {0, 0, 1, 1}, 1010},
      {"bottom past the height", 1, {0, 0, 1, 8}, 2, {0, 0, 1, 1}, 1010},
      {"right at the largest", 1, {0, 0, INT32_MAX, 1}, 2, {0, 0, 1, 1}, 1010},
      {"source one column", 1, {3, 0, 3, 5}, 2, {0, 0, 1, 1}, 1011},
      {"source upside down", 1, {0, 5, 3, 2}, 2, {0, 0, 1, 1}, 1011},
      {"target outside", 1, {0, 0, 1, 1}, 2, {8, 8, 16, 9}, 1010},
      {"target empty", 1, {0, 0, 1, 1}, 2, {5, 5, 5, 9}, 1011},
      {"screen outside", 1, {0, 0, 1, 1}, 0, {60, 40, 64, 45}, 1010},
  };
  for (const auto& c : cases) {
    QueueCopyBitmapRect(c.source, c.edges[0], c.edges[1], c.edges[2], c.edges[3], c.target, c.targetEdges[0],
                        c.targetEdges[1], c.targetEdges[2], c.targetEdges[3]);
    EXPECT_EQ(Frame(), c.error) << c.what;
  }
  QueueCopyBitmap(1, 40);
  EXPECT_EQ(Frame(), 1001);
  QueueCopyBitmap(9, 2);
  EXPECT_EQ(Frame(), 1002);
  ExpectUntouched();

  // A blit that fails is reported, and the whole source is not copied over the target instead.
  ASSERT_NO_FATAL_FAILURE(test::LockSurface(gBitmaps[1]));
  QueueCopyBitmapRect(1, 0, 0, 3, 3, 2, 0, 0, 3, 3);
  QueueCopyBitmap(1, 2);
  EXPECT_EQ(Frame(), 1000);
  gBitmaps[1]->Unlock(nullptr);
  ExpectUntouched();
  // Sizes on record larger than the surface let a rectangle past the checks; the blit refuses it.
  gBitmapInfo[1].width = gBitmapInfo[1].height = 100;
  QueueCopyBitmapRect(1, 0, 0, 49, 49, 2, 0, 0, 15, 15);
  EXPECT_EQ(Frame(), 1000);
  ExpectUntouched();
}

TEST_F(BitmapCopyTest, LostSurfacesAreRestoredAndAFailedRestorePauses) {
  win::LoseSurface(gBitmaps[2]);
  QueueCopyBitmapRect(1, 0, 0, 3, 3, 2, 0, 0, 3, 3);
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(ColourAt(gBitmaps[2], 3, 3), kRed);

  win::LoseSurface(gBitmaps[1]);
  QueueCopyBitmap(1, 2);
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(gAppActive, 1u);

  win::LoseSurface(gBitmaps[1]);
  win::SetRestoreFails(true);
  QueueCopyBitmap(1, 2);
  EXPECT_EQ(Frame(), 0);  // not the program's fault: it waits until the display is back
  EXPECT_EQ(gAppActive, 0u);
  win::SetRestoreFails(false);
}

TEST_F(BitmapQueueTest, ImagesAreSavedThroughTheWorkBitmap) {
  World(32);
  const uint32_t slot = MakeImage(6, 4, 0x20C040);
  test::Paint(gImageRecords[slot].surface, 0, 0, 0x000000);  // black is saved, not keyed out
  gImageSlotById[12] = slot;
  QueueSaveImage(12, File("image.png"));
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(gBitmaps[size_t(kWorkBitmap)], nullptr);
  QueueLoadBitmap(1, File("image.png"));
  ASSERT_EQ(Frame(), 0);
  EXPECT_EQ(std::pair(gBitmapInfo[1].width, gBitmapInfo[1].height), std::pair(6u, 4u));
  EXPECT_EQ(ColoursAt(gBitmaps[1], {{0, 0}, {5, 3}}), (Colours{0, 0x20C040}));

  for (const auto& [id, name, error] : {std::tuple{13, "none.png", 502}, {12, "image.pcx", 1004},
                                        {12, "missing/image.png", 1004}}) {
    QueueSaveImage(id, File(name));
    EXPECT_EQ(Frame(), error) << name;
    EXPECT_FALSE(std::filesystem::exists(File(name))) << name;
  }
  EXPECT_EQ(gBitmaps[size_t(kWorkBitmap)], nullptr);
}

TEST_F(BitmapQueueTest, ImmediateLoadsFillASlotAtOnce) {
  World(32);
  test::WriteBmp(File("pic.BMP"), test::Quadrants(4, 2));
  ASSERT_EQ(LoadBitmapIntoSlot(kWorkBitmap, File("pic.BMP")), 1);
  win::IDirectDrawSurface7* loaded = gBitmaps[size_t(kWorkBitmap)];
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(gBitmapInfo[size_t(kWorkBitmap)].width, 4u);
  EXPECT_EQ(ColourAt(loaded, 3, 1), kWhite);
  win::DDCOLORKEY key{};
  EXPECT_EQ(loaded->GetColorKey(win::DDCKEY_SRCBLT, &key), win::DD_OK);

  // A failed load leaves what the slot held; the screen is never a slot to load into.
  EXPECT_EQ(LoadBitmapIntoSlot(kWorkBitmap, File("missing.bmp")), 0);
  EXPECT_EQ(gBitmaps[size_t(kWorkBitmap)], loaded);
  EXPECT_EQ(LoadBitmapIntoSlot(0, File("pic.BMP")), 0);
  EXPECT_EQ(LoadBitmapIntoSlot(kBitmapSlots, File("pic.BMP")), 0);
  EXPECT_EQ(ColourAt(gBackBuffer, 0, 0), 0u);
  // Loading again replaces (and releases) the old surface.
  ASSERT_EQ(LoadBitmapIntoSlot(kWorkBitmap, File("pic.BMP")), 1);
  ReleaseBitmapSurface(kWorkBitmap);

  // The name is lowered in place.
  for (const auto& [given, dds, lowered] : {std::tuple{"Sky.DDS", true, "sky.dds"}, {"a.dd", false, "a.dd"},
                                            {"ds", false, "ds"}, {"tex.ddsx", false, "tex.ddsx"}, {"", false, ""}}) {
    std::string name = given;
    EXPECT_EQ(IsDdsFileName(name), dds) << given;
    EXPECT_EQ(name, lowered);
  }
}

}  // namespace
}  // namespace vx
