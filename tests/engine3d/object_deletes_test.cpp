// Deleting objects end to end: a grid of coloured cubes and a few sprites, half the cubes deleted
// in a shuffled order and new ones made into the freed slots; every other cube and sprite is
// still there and drawn where it was, and glue to a deleted object is undone while glue to a
// kept one stays.
#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "tests/engine3d/program_world.h"

namespace vx {
namespace {

constexpr int kCubes = 16;

// Cube n (1 to 16) stands on a 4 x 4 grid two units apart, seen from ten units in front: its
// centre on the 160 x 120 screen, and its colour.
int CubeX(int n) { return -3 + 2 * ((n - 1) % 4); }
int CubeY(int n) { return -3 + 2 * ((n - 1) / 4); }
uint32_t CubeColour(int n) { return uint32_t(n * 15) << 16 | uint32_t(255 - n * 10) << 8 | 0x80u; }

std::string CubeSource(int n, int number) {
  return "make object cube " + std::to_string(number) + ", 1\n" + "position object " + std::to_string(number) + ", " +
         std::to_string(CubeX(n)) + ", " + std::to_string(CubeY(n)) + ", 0\n" + "color object " +
         std::to_string(number) + ", " + std::to_string(CubeColour(n)) + "\n" + "set object " + std::to_string(number) +
         ", 1, 1, 1, 1, 0\n";
}

class ObjectDeletesTest : public test::ProgramWorld {
 protected:
  test::Picture Saved(const std::string& name) {
    const std::optional<test::Picture> picture = test::ReferenceDecode(FIF_BMP, folder_.path() + name);
    EXPECT_TRUE(picture.has_value()) << name;
    return picture.value_or(test::Picture{});
  }
  static int ScreenX(int n) { return 80 + CubeX(n) * 10; }
  static int ScreenY(int n) { return 60 - CubeY(n) * 10; }
};

TEST_F(ObjectDeletesTest, DeletingInAnyOrderLeavesEveryOtherObjectAndSpriteWholeAndDrawn) {
  if (!test::kDeviceFills) GTEST_SKIP() << "the device only records its triangles";
  std::vector<int> order(kCubes);
  std::iota(order.begin(), order.end(), 1);
  std::shuffle(order.begin(), order.end(), std::mt19937(11));
  const std::vector<int> deleted(order.begin(), order.begin() + kCubes / 2);

  std::string source =
      "ink rgb(0, 0, 255), 0\n"
      "box 0, 0, 6, 6\n"
      "get image 1, 0, 0, 6, 6\n"
      "sprite 1, 2, 2, 1\n"
      "sprite 2, 150, 2, 1\n"
      "sprite 3, 2, 110, 1\n";
  for (int n = 1; n <= kCubes; ++n) source += CubeSource(n, 100 + n);
  // Two small cubes hang on a cube that goes and one that stays.
  source += "make object cube 200, 0.1\nglue object to limb 200, " + std::to_string(100 + deleted[0]) + ", 0\n" +
            "make object cube 201, 0.1\nglue object to limb 201, " + std::to_string(100 + order.back()) + ", 0\n";
  for (int n : deleted) source += "delete object " + std::to_string(100 + n) + "\n";
  // New objects take the freed slots; they stand behind the camera, out of the picture.
  for (int i = 0; i < 4; ++i)
    source += "make object cube " + std::to_string(300 + i) + ", 1\nposition object " + std::to_string(300 + i) +
              ", 0, 0, -20\n";
  source += "color backdrop 0\nposition camera 0, 0, -10\npoint camera 0, 0, 0\n";
  source += "delete sprite 2\nexisting = 0\nfor i = 101 to 116\n  existing = existing + object exist(i)\nnext i\n";
  source += "save bitmap \"after.bmp\"\nwait key\n";
  ASSERT_EQ(Run(source, 400), 0) << Runtime().gLastEngineError;

  EXPECT_EQ(Int("existing"), kCubes / 2);
  const test::Picture after = Saved("after.bmp");
  ASSERT_EQ(after.width, 160u);
  for (int n = 1; n <= kCubes; ++n) {
    const bool gone = std::find(deleted.begin(), deleted.end(), n) != deleted.end();
    const uint32_t pixel = after.At(uint32_t(ScreenX(n)), uint32_t(ScreenY(n)));
    if (gone) {
      EXPECT_EQ(pixel, 0u) << "deleted cube " << n;
      continue;
    }
    EXPECT_EQ(pixel, CubeColour(n)) << "kept cube " << n;
    EXPECT_EQ(Engine().gObjectRecords[ObjectSlotOf(100 + n)].position.x, float(CubeX(n))) << n;
  }
  EXPECT_EQ(after.At(4, 4), 0x0000FFu) << "sprite 1";
  EXPECT_EQ(after.At(152, 4), 0u) << "sprite 2 was deleted";
  EXPECT_EQ(after.At(4, 112), 0x0000FFu) << "sprite 3";
  EXPECT_EQ(Engine().gObjectRecords[ObjectSlotOf(200)].gluedObject, 0) << "its cube was deleted";
  EXPECT_EQ(Engine().gObjectRecords[ObjectSlotOf(201)].gluedObject, int32_t(ObjectSlotOf(100 + order.back())));
}

}  // namespace
}  // namespace vx
