// Loading bitmaps: BMP files by the names programs give them (either separator, any letter case),
// stretched on request, and bitmap resources by id.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gdi_test_support.h"
#include "platform/win/files.h"
#include "platform/win/resources.h"
#include "tests/support/temp_folder.h"

namespace vx::win::testing {
namespace {

// A 2 x 2 bottom-up 24-bit BMP: top row red, green; bottom row blue, white.
std::vector<uint8_t> SmallBmp() {
  std::vector<uint8_t> out{'B', 'M'};
  const auto put32 = [&out](uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
  };
  const auto put16 = [&out](uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
  };
  put32(54 + 16);
  put32(0);
  put32(54);
  put32(40);
  put32(2);
  put32(2);
  put16(1);
  put16(24);
  for (int i = 0; i < 6; ++i) put32(0);
  const uint8_t rows[] = {0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0,  // bottom: blue, white (BGR), padding
                          0, 0, 0xFF, 0, 0xFF, 0, 0, 0};       // top: red, green
  out.insert(out.end(), std::begin(rows), std::end(rows));
  return out;
}

class GdiLoadImageTest : public GdiTest {
 protected:
  // The colour of pixel (x, y) of a bitmap, read through a memory context.
  static COLORREF PixelOf(HBITMAP bitmap, int x, int y) {
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    const COLORREF colour = GetPixel(memory, x, y);
    SelectObject(memory, previous);
    DeleteDC(memory);
    return colour;
  }
  test::TempFolder folder_;
};

TEST_F(GdiLoadImageTest, FilesAreFoundByTheNameAProgramGivesInAnyCase) {
  const std::vector<uint8_t> bytes = SmallBmp();
  const std::string sub = folder_.MakeFolder("Media");
  ASSERT_TRUE(WriteWholeFile(sub + "/Tile.bmp", bytes.data(), bytes.size()));
  for (const std::string& name : {folder_.path() + "Media/Tile.bmp", folder_.path() + "media\\TILE.BMP"}) {
    HBITMAP bitmap = static_cast<HBITMAP>(
        LoadImageA(nullptr, name.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    ASSERT_NE(bitmap, nullptr) << name;
    BITMAP described{};
    ASSERT_GT(GetObjectA(bitmap, sizeof described, &described), 0);
    EXPECT_EQ(described.bmWidth, 2);
    EXPECT_EQ(PixelOf(bitmap, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(PixelOf(bitmap, 1, 1), RGB(255, 255, 255));
    DeleteObject(bitmap);
  }
  HBITMAP stretched =
      static_cast<HBITMAP>(LoadImageA(nullptr, (sub + "/tile.bmp").c_str(), IMAGE_BITMAP, 4, 6, LR_LOADFROMFILE));
  ASSERT_NE(stretched, nullptr);
  BITMAP described{};
  GetObjectA(stretched, sizeof described, &described);
  EXPECT_EQ(described.bmWidth, 4);
  EXPECT_EQ(described.bmHeight, 6);
  EXPECT_EQ(PixelOf(stretched, 3, 5), RGB(255, 255, 255));
  DeleteObject(stretched);

  EXPECT_EQ(LoadImageA(nullptr, (sub + "/none.bmp").c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
  EXPECT_EQ(LoadImageA(nullptr, sub.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr) << "a folder";
}

TEST_F(GdiLoadImageTest, ResourcesAreAskedForById) {
  EXPECT_TRUE(IS_INTRESOURCEA(MAKEINTRESOURCEA(103)));
  EXPECT_FALSE(IS_INTRESOURCEA("103"));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(MAKEINTRESOURCEA(103)), 103u);
  // No bitmap resource of this id is compiled in; a name that is not an id is no resource at all.
  EXPECT_EQ(FindResourceBlob(kBitmapResourceType, 30999), nullptr);
  EXPECT_EQ(LoadImageA(nullptr, MAKEINTRESOURCEA(30999), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION), nullptr);
  EXPECT_EQ(LoadImageA(nullptr, "tile.bmp", IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION), nullptr);
}

}  // namespace
}  // namespace vx::win::testing
