// Image commands in programs run frame by frame: a grabbed picture turned by degrees and pasted
// comes out turned clockwise with its sides exchanged and its black still transparent; a turn that
// cannot get a surface keeps the picture; loads from files, saves that refuse an existing file,
// saves queued as the run ends that are still written, deletes that free the record a few frames
// later, and the errors of bad numbers.
#include <filesystem>

#include "surfaces/texture_names.h"

#include "runtime/dispatcher.h"
#include "runtime/main_loop.h"
#include "tests/display/frame_runner.h"

namespace vx {
namespace {

using test::Picture;

class ImageCommandTest : public test::FrameWorld {};

// Six pixels of six colours in a 3 x 2 rectangle at 10, 10, grabbed into image 1.
constexpr const char* kSixColours =
    "manual refresh\n"
    "cls rgb(0, 0, 64)\n"
    "ink rgb(255, 0, 0), 0 : dot 10, 10\n"
    "ink rgb(0, 255, 0), 0 : dot 11, 10\n"
    "ink rgb(0, 0, 255), 0 : dot 12, 10\n"
    "ink rgb(255, 255, 0), 0 : dot 10, 11\n"
    "ink rgb(0, 255, 255), 0 : dot 11, 11\n"
    "ink rgb(0, 0, 0), 0 : dot 12, 11\n"
    "get image 1, 10, 10, 13, 12\n";
constexpr uint32_t kColours[2][3] = {{0xFF0000, 0x00FF00, 0x0000FF}, {0xFFFF00, 0x00FFFF, 0x000000}};
constexpr uint32_t kBack = 0x000040;

TEST_F(ImageCommandTest, AGrabbedImageTurnedByDegreesIsPastedClockwiseWithItsSidesExchanged) {
  RunProgram(std::string(kSixColours) +
             "rotate image 1, 90\n"
             "paste image 1, 100, 100\n"
             "get image 2, 10, 10, 13, 12\n"
             "rotate image 2, 450\n"         // whole turns are left out
             "paste image 2, 200, 100, 1\n"  // its black is transparent
             "get image 3, 10, 10, 13, 12\n"
             "rotate image 3, -90\n"
             "paste image 3, 300, 100\n"
             "get image 4, 10, 10, 13, 12\n"
             "rotate image 4, 180\n"
             "paste image 4, 400, 100\n"
             "refresh screen\n"
             "end\n");
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 3; ++x) {
      const uint32_t c = kColours[y][x];
      EXPECT_EQ(At(100 + 1 - y, 100 + x), c) << "a quarter turn: " << x << "," << y;
      EXPECT_EQ(At(200 + 1 - y, 100 + x), c == 0 ? kBack : c) << "450 degrees, keyed: " << x << "," << y;
      EXPECT_EQ(At(300 + y, 100 + 2 - x), c) << "against the clock: " << x << "," << y;
      EXPECT_EQ(At(400 + 2 - x, 100 + 1 - y), c) << "half a turn: " << x << "," << y;
    }
  // Two wide and three high: nothing was pasted beside or below the turned pictures.
  for (int32_t x : {100, 200, 300}) {
    EXPECT_EQ(At(x + 2, 100), kBack);
    EXPECT_EQ(At(x, 103), kBack);
  }
  EXPECT_EQ(At(403, 100), kBack);
  const ImageRecord& turned = Records().gImageRecords[Records().gImageSlotById[1]];
  EXPECT_EQ(std::tuple(turned.width, turned.height, turned.imageWidth, turned.imageHeight), std::tuple(2, 3, 2, 3));
}

TEST_F(ImageCommandTest, ATurnThatCannotGetASurfaceKeepsThePicture) {
  ASSERT_TRUE(Load(std::string(kSixColours) + "refresh screen\nrotate image 1, 90\nrefresh screen\n"
                                              "paste image 1, 100, 100\nrefresh screen\nend\n"));
  for (int frame = 0;
       frame < 10 && !(Records().gImageSlotById[1] && Records().gImageRecords[Records().gImageSlotById[1]].valid);
       ++frame)
    ASSERT_FALSE(RunFrames(1));
  ASSERT_EQ(Records().gImageRecords[Records().gImageSlotById[1]].valid, 1) << "the grab is done";
  win::FailSurfaceCreations(1, win::DDERR_OUTOFMEMORY);
  ASSERT_TRUE(RunFrames());
  EXPECT_EQ(Interpreter().gErrorCode, 0);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(At(100 + x, 100 + y), kColours[y][x]) << x << "," << y;
}

TEST_F(ImageCommandTest, FilesLoadIntoImagesAndSavesRefuseAnExistingFile) {
  Picture picture = test::Quadrants(8, 6);
  picture.rgb[0] = 0;  // a black corner, transparent when pasted with the key
  test::WriteBmp(dir_.path() + "quad.bmp", picture);
  dir_.Write("damaged.bmp", "BM not a picture");
  RunProgram(
      "cls rgb(0, 0, 64)\n"
      "load image \"quad.bmp\", 7\n"
      "paste image 7, 20, 30\n"
      "paste image 7, 40, 30, 1\n"
      "save image \"copy.bmp\", 7\n"
      "exists = image exist(7)\n"
      "refresh screen\n"
      "end\n");
  for (uint32_t y = 0; y < 6; ++y)
    for (uint32_t x = 0; x < 8; ++x) EXPECT_EQ(At(20 + int32_t(x), 30 + int32_t(y)), picture.At(x, y));
  EXPECT_EQ(At(40, 30), kBack);
  EXPECT_EQ(At(41, 30), 0xFF0000u);
  ASSERT_TRUE(std::filesystem::exists(dir_.path() + "copy.bmp"));

  const auto written = std::filesystem::last_write_time(dir_.path() + "copy.bmp");
  EXPECT_EQ(ErrorOf("load image \"quad.bmp\", 7\nsave image \"copy.bmp\", 7\n"),
            std::pair(int32_t(kErrFileExists), false));
  EXPECT_EQ(std::filesystem::last_write_time(dir_.path() + "copy.bmp"), written);
  EXPECT_EQ(ErrorOf("load image \"missing.bmp\", 7\n"), std::pair(int32_t(kErrFileNotFound), false));
  EXPECT_EQ(ErrorOf("load image \"quad.bmp\", 7\nload image \"damaged.bmp\", 7\n"),
            std::pair(int32_t(kErrImageFileNotLoaded), true));
  EXPECT_EQ(Records().gImageRecords[Records().gImageSlotById[7]].imageWidth, 8)
      << "a failed load leaves the image as it was";
  EXPECT_EQ(Display().gBitmaps[kWorkBitmap], nullptr);
  EXPECT_EQ(ErrorOf("load image \"quad.bmp\", 0\n"), std::pair(int32_t(kErrImageNumberOutOfRange), false));
  EXPECT_EQ(ErrorOf("x = image exist(65536)\n"), std::pair(int32_t(kErrImageNumberOutOfRange), false));
  for (const char* use : {"paste image 3, 0, 0", "paste image 3, 0, 0, 1", "rotate image 3, 90", "delete image 3",
                          "save image \"new.bmp\", 3"})
    EXPECT_EQ(ErrorOf(std::string(use) + "\n"), std::pair(int32_t(kErrImageNotExist), false)) << use;
  EXPECT_EQ(ErrorOf("get image 65536, 0, 0, 1, 1\n"), std::pair(int32_t(kErrImageNumberOutOfRange), false));
}

TEST_F(ImageCommandTest, ADeletedImageIsGoneAtOnceAndItsRecordAFewFramesLaterGrabbedOrNot) {
  const int32_t before = Records().gImageRecords.usedCount;
  ASSERT_TRUE(
      Load("manual refresh\n"
           "get image 5, 0, 0, 8, 8\n"
           "refresh screen\n"
           "delete image 5\n"
           "gone = image exist(5)\n"
           "get image 6, 0, 0, 8, 8\n"  // never grabbed: deleted in the same slice
           "delete image 6\n"
           "refresh screen\n"
           "refresh screen\n"
           "refresh screen\n"
           "end\n"));
  ASSERT_TRUE(RunFrames());
  ASSERT_EQ(Interpreter().gErrorCode, 0);
  EXPECT_EQ(Records().gImageSlotById[5] + Records().gImageSlotById[6], 0u);
  EXPECT_EQ(Records().gImageRecords.usedCount, before) << "both records were freed";
}

TEST_F(ImageCommandTest, AGrabPartlyBeyondTheScreenIsBlackThereAndOneWhollyBeyondIsRefused) {
  RunProgram(
      "cls rgb(0, 0, 64)\n"
      "ink rgb(255, 0, 0), 0 : box 0, 0, 3, 3\n"
      "get image 1, -4, -4, 4, 4\n"
      "cls rgb(0, 255, 0)\n"
      "paste image 1, 100, 100\n"
      "refresh screen\n"
      "end\n");
  EXPECT_EQ(Count(0xFF0000, 100, 100, 108, 108), 16) << "the part on the screen";
  EXPECT_EQ(Count(0x000000, 100, 100, 108, 108), 48) << "the rest black";
  EXPECT_EQ(At(104, 104), 0xFF0000u);
  EXPECT_EQ(ErrorOf("get image 1, 640, 0, 650, 10\nrefresh screen\n").first, kErrGrabAreaOutside);
  EXPECT_EQ(ErrorOf("get image 1, -10, 0, 0, 10\nrefresh screen\n").first, kErrGrabAreaOutside);
  EXPECT_EQ(ErrorOf("get image 1, 5, 5, 5, 10\nrefresh screen\n").first, kErrGrabAreaEmpty);
}

// The frame that would perform what a run queued last never comes: the main loop performs it as the
// run ends. Saves are performed while drawing is paused too, since nothing would perform them later.
TEST_F(ImageCommandTest, SavesQueuedAsTheRunEndsAreWrittenThoughDrawingIsPaused) {
  test::WriteBmp(dir_.path() + "quad.bmp", test::Quadrants(8, 6));
  for (const bool paused : {false, true}) {
    SCOPED_TRACE(paused ? "drawing paused" : "drawing");
    std::filesystem::remove(dir_.path() + "copy.bmp");
    ASSERT_TRUE(Load("manual refresh\nload image \"quad.bmp\", 7\nsave image \"copy.bmp\", 7\nend\n"));
    Display().gRenderEnabled = paused ? 0 : 1;
    RunMainLoop();
    Display().gRenderEnabled = 1;
    EXPECT_EQ(Interpreter().gErrorCode, 0) << Runtime().gLastEngineError;
    EXPECT_TRUE(std::filesystem::exists(dir_.path() + "copy.bmp"));
  }
  // A save that fails as the run ends is the run's error, unless the run ended with one already.
  EXPECT_TRUE(Load("manual refresh\nload image \"quad.bmp\", 7\nsave image \"bad\", 7\nend\n"));
  RunMainLoop();
  EXPECT_EQ(Interpreter().gErrorCode, kErrBitmapNotSaved);
  EXPECT_TRUE(
      Load("manual refresh\nload image \"quad.bmp\", 7\nsave image \"bad\", 7\nload image \"missing.bmp\", 8\n"));
  RunMainLoop();
  EXPECT_EQ(Interpreter().gErrorCode, kErrFileNotFound);
}

class TexturedImageTest : public test::FlipFrameWorld {};

TEST_F(TexturedImageTest, ImagesGiveUpTheirTexturesThroughTheSharedRelease) {
  test::WriteBmp(Folder().path() + "quad.bmp", test::Quadrants(8, 8));
  RunProgram(
      "load image \"quad.bmp\", 1, 1\n"
      "load image \"quad.bmp\", 1, 1\n"  // the first image and its use of the file's texture go
      "load image \"quad.bmp\", 2, 2\n"
      "end\n");
  const auto entries = [] {
    int n = 0;
    for (const TextureNameEntry* e = Records().gTextureNameList; e; e = e->next, ++n)
      EXPECT_TRUE(Records().gTextureRecords.IsTaken(e->textureSlot)) << "an entry names a freed texture";
    return n;
  };
  ASSERT_EQ(entries(), 1) << "one texture for the file, shared";
  const int32_t texture = Records().gImageRecords[Records().gImageSlotById[1]].textureSlot;
  EXPECT_GT(texture, 0);
  EXPECT_EQ(Records().gImageRecords[Records().gImageSlotById[2]].textureSlot, texture);
  EXPECT_EQ(Records().gTextureNameList->useCount, 2);
  RunProgram("delete image 1\nrefresh screen\nrefresh screen\nrefresh screen\nend\n");
  ASSERT_EQ(entries(), 1);
  EXPECT_EQ(Records().gTextureNameList->useCount, 1);
  RunProgram("rotate image 2, 90\nrefresh screen\nend\n");
  EXPECT_EQ(entries(), 0) << "the turned image's texture went with its last use";
  EXPECT_EQ(Records().gImageRecords[Records().gImageSlotById[2]].textureSlot, 0);
}

}  // namespace
}  // namespace vx
