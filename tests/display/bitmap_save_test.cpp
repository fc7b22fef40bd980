// Bitmaps saved by programs on a 16-bit screen: rows of two bytes a pixel and an odd width, so that
// the surface's rows are longer than its pixels, come out whole and in place in every format
// written, as FreeImage reads the files.
#include <string>

#include "tests/display/frame_runner.h"

namespace vx {
namespace {

// A real headless display, which the program sets to 16 bits.
class BitmapSaveTest : public test::FlipFrameWorld {};

TEST_F(BitmapSaveTest, ABitmapOfOddWidthOnASixteenBitScreenIsSavedRowByRow) {
  // Each row its own colour, with a white dot that moves on by three pixels a row.
  std::string program = "set display mode 640, 480, 16\ncreate bitmap 1, 33, 9\n";
  for (uint32_t y = 0; y < 9; ++y) {
    const auto full = [y](uint32_t bit) { return std::to_string(y & bit ? 255 : 0); };
    program += "ink rgb(" + full(1) + ", " + full(2) + ", " + full(4) + "), 0\n";
    program += "box 0, " + std::to_string(y) + ", 32, " + std::to_string(y) + "\n";
    program += "ink rgb(255, 255, 255), 0\ndot " + std::to_string(y * 3 + 1) + ", " + std::to_string(y) + "\n";
  }
  RunProgram(program + "save bitmap \"odd.bmp\", 1\nsave bitmap \"odd.png\", 1\nsave bitmap \"odd.tga\", 1\nend\n");
  ASSERT_NE(Display().gBitmaps[1], nullptr);
  ASSERT_EQ(Display().gBitmapInfo[1].bitsPerPixel, 16u);
  const test::Picture drawn = test::PictureOf(Display().gBitmaps[1]);
  ASSERT_EQ(std::pair(drawn.width, drawn.height), std::pair(33u, 9u));
  const auto lit = [](uint32_t colour) {
    return (colour >> 16 & 0x80) >> 5 | (colour >> 8 & 0x80) >> 6 | (colour & 0x80) >> 7;
  };
  for (uint32_t y = 0; y < 9; ++y) {
    EXPECT_EQ(lit(drawn.At(0, y)), (y & 1) << 2 | (y & 2) | (y & 4) >> 2) << "row " << y;
    EXPECT_EQ(lit(drawn.At(y * 3 + 1, y)), 7u) << "the dot of row " << y;
  }
  for (const auto& [name, format] :
       {std::pair{"odd.bmp", FIF_BMP}, std::pair{"odd.png", FIF_PNG}, std::pair{"odd.tga", FIF_TARGA}}) {
    SCOPED_TRACE(name);
    const std::optional<test::Picture> saved = test::ReferenceDecode(format, Folder().path() + name);
    ASSERT_TRUE(saved);
    // Channels of five and six bits come back within their steps.
    EXPECT_LE(test::LargestDifference(*saved, drawn), 7);
  }
}

}  // namespace
}  // namespace vx
