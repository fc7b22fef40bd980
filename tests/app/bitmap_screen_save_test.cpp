// Bitmap commands end to end: a program run headless by vorlix loads a picture onto the screen
// and into a bitmap, copies a rectangle of the bitmap onto the screen (stretched), and saves the
// shown screen to a PNG file; the file's pixels are what the program drew. Another loads a DDS
// file, saves its bitmap as a DDS file and reads that back pixel by pixel. A screen save to a
// folder that does not exist ends the run with the error box. In both presentation modes (pages
// flipped full screen, one back buffer in a window) a screen copy shows what it copied although
// the bitmap changes or goes afterwards: two saved screens in a row agree.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/app/saved_picture.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

using test::Near;
using test::Picture;
using test::ReadPng;

// A 24-bit bottom-up BMP whose pixel (x, y) is colour(x, y).
template <typename Colour>
std::string BmpFile(uint32_t width, uint32_t height, Colour colour) {
  const uint32_t row = (width * 3 + 3) & ~3u;
  std::string file(54 + size_t(row) * height, '\0');
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + size_t(i)] = char(uint8_t(v >> (8 * i)));
  };
  file[0] = 'B', file[1] = 'M';
  put32(2, uint32_t(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, width);
  put32(22, height);
  file[26] = 1, file[28] = 24;
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t c = colour(x, height - 1 - y);
      const size_t at = 54 + size_t(y) * row + size_t(x) * 3;
      file[at] = char(uint8_t(c)), file[at + 1] = char(uint8_t(c >> 8)), file[at + 2] = char(uint8_t(c >> 16));
    }
  return file;
}

// An uncompressed 24-bit DDS file whose pixel (x, y) is colour(x, y), written field by field.
template <typename Colour>
std::string DdsFile(uint32_t width, uint32_t height, Colour colour) {
  std::string file = "DDS ";
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) file += char(uint8_t(v >> (8 * i)));
  };
  for (uint32_t v : {124u, 0x100Fu, height, width, width * 3, 0u, 0u}) put32(v);
  for (int i = 0; i < 11; ++i) put32(0);
  for (uint32_t v : {32u, 0x40u, 0u, 24u, 0xFF0000u, 0xFF00u, 0xFFu, 0u, 0x1000u, 0u, 0u, 0u, 0u}) put32(v);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t c = colour(x, y);
      file += char(uint8_t(c)), file += char(uint8_t(c >> 8)), file += char(uint8_t(c >> 16));
    }
  return file;
}

class BitmapScreenSaveTest : public ::testing::Test {
 protected:
  // Runs the program with `vorlix run` headless from another folder: its files are found beside
  // it all the same. The exit status.
  int Run(const std::string& source, const std::string& environment = "") {
    dir.Write("game.vxa", source);
    dir.Write("tmp/.keep", "");
    const std::string command = "cd / && " + environment + " TMPDIR='" + dir.path() +
                                "tmp' SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy '" + VX_VORLIX_PATH + "' run '" +
                                dir.path() + "game.vxa' 2> '" + dir.path() + "errors.txt' > /dev/null";
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  test::TempFolder dir;
};

// Red, green, blue and white quarters of an 8 by 8 picture.
uint32_t Quarter(uint32_t x, uint32_t y) {
  return y < 4 ? (x < 4 ? 0xFF0000u : 0x00FF00u) : (x < 4 ? 0x0000FFu : 0xFFFFFFu);
}

TEST_F(BitmapScreenSaveTest, TheSavedScreenHoldsWhatTheProgramDrew) {
  dir.Write("picture.bmp", BmpFile(8, 8, Quarter));
  const int status =
      Run("load bitmap \"picture.bmp\"\n"
          "load bitmap \"picture.bmp\", 1\n"
          "rem the green quarter, doubled, onto the screen\n"
          "copy bitmap 1, 4, 0, 7, 3, 0, 100, 50, 107, 57\n"
          "if bitmap width(1) = 8 and current bitmap() = 1 then save bitmap \"screen.png\"\n"
          "save bitmap \"small.bmp\", 1\n"
          "end\n");
  ASSERT_EQ(status, 0) << dir.Read("errors.txt");
  // A saved BMP says its own length in its header, as readers check.
  const std::string bmp = dir.Read("small.bmp");
  ASSERT_EQ(bmp.size(), 54u + 8 * 24);
  EXPECT_EQ(uint32_t(uint8_t(bmp[2])) | uint32_t(uint8_t(bmp[3])) << 8 | uint32_t(uint8_t(bmp[4])) << 16 |
                uint32_t(uint8_t(bmp[5])) << 24,
            bmp.size());
  Picture shot;
  ASSERT_TRUE(ReadPng(dir.path() + "screen.png", &shot)) << dir.Read("errors.txt");
  ASSERT_EQ(shot.width, 640u);
  ASSERT_EQ(shot.height, 480u);
  for (uint32_t y = 0; y < 8; ++y)
    for (uint32_t x = 0; x < 8; ++x) ASSERT_TRUE(Near(shot.At(x, y), Quarter(x, y))) << x << "," << y;
  for (uint32_t y = 50; y < 58; ++y)
    for (uint32_t x = 100; x < 108; ++x) ASSERT_TRUE(Near(shot.At(x, y), 0x00FF00u)) << x << "," << y;
  EXPECT_EQ(shot.At(8, 0), 0u);
  EXPECT_EQ(shot.At(99, 50), 0u);
  EXPECT_EQ(shot.At(108, 57), 0u);
  EXPECT_EQ(shot.At(639, 479), 0u);
}

// Red, green, blue and white quarters of a 32 by 16 picture.
uint32_t WideQuarter(uint32_t x, uint32_t y) { return Quarter(x / 4, y / 2); }

TEST_F(BitmapScreenSaveTest, ADdsBitmapIsSavedAsADdsFileThatLoadsBackWithItsPixels) {
  dir.Write("in.dds", DdsFile(32, 16, WideQuarter));
  // A wrong colour loads a file that is not there, which ends the run with the error box.
  const int status =
      Run("load bitmap \"in.dds\", 1\n"
          "save bitmap \"out.dds\", 1\n"
          "create bitmap 2, 32, 16\n"
          "load bitmap \"out.dds\", 2\n"
          "c = point(4, 4)\n"
          "if rgb red(c) < 230 or rgb green(c) > 30 or rgb blue(c) > 30 then load bitmap \"not red.bmp\"\n"
          "c = point(28, 12)\n"
          "if rgb red(c) < 230 or rgb green(c) < 230 or rgb blue(c) < 230 then load bitmap \"not white.bmp\"\n"
          "set current bitmap 0\n"
          "load bitmap \"out.dds\"\n"
          "save bitmap \"screen.png\"\n"
          "end\n");
  ASSERT_EQ(status, 0) << dir.Read("errors.txt");
  // A 32 x 16 DXT1 file with three levels: 32 x 16, 16 x 8 and 8 x 4.
  const std::string out = dir.Read("out.dds");
  ASSERT_EQ(out.size(), 128u + 256 + 64 + 16);
  EXPECT_EQ(out.substr(0, 4), "DDS ");
  EXPECT_EQ(out.substr(84, 4), "DXT1");
  Picture shot;
  ASSERT_TRUE(ReadPng(dir.path() + "screen.png", &shot)) << dir.Read("errors.txt");
  for (uint32_t y = 0; y < 16; y += 3)
    for (uint32_t x = 0; x < 32; x += 3) ASSERT_TRUE(Near(shot.At(x, y), WideQuarter(x, y))) << x << "," << y;
  EXPECT_EQ(shot.At(32, 0), 0u);
  EXPECT_EQ(shot.At(0, 16), 0u);
}

TEST_F(BitmapScreenSaveTest, AScreenThatCannotBeSavedEndsTheRunWithTheErrorBox) {
  const int status = Run("save bitmap \"nowhere/screen.png\"\nend\n");
  EXPECT_EQ(status, 1);
  EXPECT_NE(dir.Read("errors.txt").find("Runtime Error"), std::string::npos) << dir.Read("errors.txt");
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "nowhere"));
}

// Runs each program full screen (two pages flipped) and in a window (one back buffer).
class ScreenPagesTest : public BitmapScreenSaveTest, public ::testing::WithParamInterface<const char*> {
 protected:
  int RunInMode(const std::string& source, const std::string& environment = "") {
    return Run(std::string(GetParam()) + source, environment);
  }
};

TEST_P(ScreenPagesTest, ACopyShowsWhatItCopiedOnEveryPageThoughItsBitmapChangedAfterwards) {
  const int status = RunInMode(
      "manual refresh\n"
      "create bitmap 1, 20, 20\n"
      "cls rgb(255, 0, 0)\n"
      "set current bitmap 0\n"
      "copy bitmap 1, 0, 0, 19, 19, 0, 10, 10, 29, 29\n"
      "set current bitmap 1\n"
      "cls rgb(0, 0, 255)\n"
      "set current bitmap 0\n"
      "refresh screen\n"
      "save bitmap \"n1.png\"\n"
      "save bitmap \"n2.png\"\n"
      "end\n");
  ASSERT_EQ(status, 0) << dir.Read("errors.txt");
  Picture first, second;
  ASSERT_TRUE(ReadPng(dir.path() + "n1.png", &first)) << dir.Read("errors.txt");
  ASSERT_TRUE(ReadPng(dir.path() + "n2.png", &second)) << dir.Read("errors.txt");
  EXPECT_EQ(first.rgb, second.rgb);
  EXPECT_TRUE(Near(first.At(15, 15), 0xFF0000u)) << std::hex << first.At(15, 15);
  EXPECT_TRUE(Near(first.At(29, 29), 0xFF0000u));
  EXPECT_EQ(first.At(9, 9), 0u);
  EXPECT_EQ(first.At(30, 30), 0u);
}

TEST_P(ScreenPagesTest, ALoopThatDeletesWhatItCopiedRunsToItsEnd) {
  dir.Write("ball.bmp", BmpFile(8, 8, Quarter));
  const int status = RunInMode(
      "manual refresh\n"
      "for f = 1 to 3\n"
      "  load bitmap \"ball.bmp\", 1\n"
      "  copy bitmap 1, 0\n"
      "  delete bitmap 1\n"
      "  refresh screen\n"
      "next f\n"
      "save bitmap \"screen.png\"\n"
      "end\n");
  EXPECT_EQ(status, 0) << dir.Read("errors.txt");
  EXPECT_EQ(dir.Read("errors.txt"), "");
  Picture shot;
  ASSERT_TRUE(ReadPng(dir.path() + "screen.png", &shot)) << dir.Read("errors.txt");
  EXPECT_TRUE(Near(shot.At(6, 6), 0xFFFFFFu));
}

// Headless nothing shows the frames, so none is made into pixels while the program runs; the last
// one is all the same in the frame dump that the environment asks for.
TEST_P(ScreenPagesTest, TheFrameDumpHoldsTheLastPictureShown) {
  const int status =
      RunInMode("manual refresh\nink rgb(255, 0, 0), 0\nbox 100, 50, 109, 59\nrefresh screen\nrefresh screen\nend\n",
                "VX_FRAME_DUMP='" + dir.path() + "frame.bmp'");
  ASSERT_EQ(status, 0) << dir.Read("errors.txt");
  const std::string bmp = dir.Read("frame.bmp");
  ASSERT_GT(bmp.size(), 54u);
  auto at = [&](uint32_t x, uint32_t y) {
    auto word = [&](size_t i) { return uint32_t(uint8_t(bmp[i])) | uint32_t(uint8_t(bmp[i + 1])) << 8; };
    const uint32_t width = word(18), height = word(22);
    const size_t row = (size_t(width) * 3 + 3) / 4 * 4, offset = 54 + row * (height - 1 - y) + size_t(x) * 3;
    return uint32_t(uint8_t(bmp[offset + 2])) << 16 | uint32_t(uint8_t(bmp[offset + 1])) << 8 | uint8_t(bmp[offset]);
  };
  EXPECT_TRUE(Near(at(105, 55), 0xFF0000u)) << std::hex << at(105, 55);
  EXPECT_EQ(at(99, 55), 0u);
  EXPECT_EQ(at(110, 60), 0u);
}

INSTANTIATE_TEST_SUITE_P(Modes, ScreenPagesTest, ::testing::Values("", "set window on\n"),
                         [](const auto& mode) { return mode.index == 0 ? "FullScreen" : "Window"; });

}  // namespace
}  // namespace vx
