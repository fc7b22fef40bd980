// Pictures compared with expected PNG files: a per-channel tolerance and a number of pixels that
// may differ beyond it (edges). On a mismatch the actual, the expected and a difference picture
// are written side by side into the test's output folder. Expected pictures live in tests/golden/
// and are written only when VX_UPDATE_GOLDEN=1 is set.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vx::win {
class DirectDrawSurface;
}

namespace vx::test {

// 0xAARRGGBB pixels row by row.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels[size_t(y) * width + x]; }
};

struct PictureTolerance {
  int channel = 0;          // largest difference of red, green or blue that still counts as equal
  int differentPixels = 0;  // pixels allowed past it
};

Picture PictureOf(win::DirectDrawSurface* surface);

bool ReadPng(const std::string& path, Picture* out);
bool WritePng(const std::string& path, const Picture& picture);

// Pixels of the two pictures that differ by more than the tolerance; -1 when the sizes differ.
int CountDifferences(const Picture& actual, const Picture& expected, int channel);

// Compares with tests/golden/NAME.png; `name` says what went wrong and where the pictures are.
::testing::AssertionResult MatchesGolden(const Picture& actual, const std::string& name,
                                         PictureTolerance tolerance = {});
// Compares two pictures made in the test; on a mismatch writes both as NAME-actual/-expected.
::testing::AssertionResult MatchesPicture(const Picture& actual, const Picture& expected, const std::string& name,
                                          PictureTolerance tolerance = {});

}  // namespace vx::test
