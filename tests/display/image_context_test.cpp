// The image context: dispatch by the name's last three letters, saves that report failure and
// keep the old file, and round trips through BMP, PNG, Targa and JPEG files.
#include "display/images/byte_reader.h"
#include "platform/win/files.h"
#include "tests/display/image_test_support.h"
#include "tests/support/temp_folder.h"

namespace vx::test {
namespace {

Picture Gradient(uint32_t width, uint32_t height) {
  Picture picture{width, height, {}};
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) picture.rgb.push_back((x * 37 & 0xFF) << 16 | (y * 53 & 0xFF) << 8 | ((x + y) * 11 & 0xFF));
  return picture;
}

TEST_F(ImageFileTest, SavedFilesLoadBackWithTheirPixels) {
  TempFolder temp;
  const Picture picture = Gradient(5, 3);
  win::IDirectDrawSurface7* surface = SurfaceOf(picture);
  ASSERT_TRUE(surface);
  struct Case {
    const char* name;
    int tolerance;
  };
  for (const Case& c : {Case{"a.bmp", 0}, Case{"b.PNG", 0}, Case{"c.tga", 0}, Case{"d.jpg", 40}}) {
    SCOPED_TRACE(c.name);
    const std::string path = temp.path() + c.name;
    ASSERT_EQ(SaveImageByExtension(surface, path), 1);
    const std::optional<Picture> loaded = Load(path);
    ASSERT_TRUE(loaded);
    EXPECT_LE(LargestDifference(*loaded, picture), c.tolerance);
  }
  // Layouts of the written files: a BMP row of 5 pixels takes 16 bytes, a Targa row 15.
  const std::vector<uint8_t> bmp = FileBytes(temp.path() + "a.bmp");
  EXPECT_EQ(bmp.size(), 54u + 16 * 3);
  EXPECT_EQ(ReadU32LE(bmp, 2), 0u);
  EXPECT_EQ(ReadU32LE(bmp, 10), 54u);
  EXPECT_EQ(FileBytes(temp.path() + "c.tga").size(), 18u + 15 * 3);
  surface->Release();
}

TEST_F(ImageFileTest, DispatchByTheLastThreeLetters) {
  TempFolder temp;
  win::IDirectDrawSurface7* surface = SurfaceOf(Gradient(4, 4));
  ASSERT_TRUE(surface);
  ASSERT_EQ(SaveImageByExtension(surface, temp.path() + "picture.JPG"), 1);
  EXPECT_TRUE(Load(temp.path() + "picture.JPG"));
  EXPECT_TRUE(Load(temp.path() + "PICTURE.jpg"));  // names match without regard to case
  std::filesystem::copy_file(temp.path() + "picture.JPG", temp.path() + "picture.jpeg");
  EXPECT_FALSE(Load(temp.path() + "picture.jpeg"));
  EXPECT_FALSE(Load(temp.path() + "missing.png"));
  EXPECT_FALSE(Load("jp"));
  for (const char* name : {"x.pcx", "x.psd", "x.tif"}) {  // read, never written: no false success
    EXPECT_EQ(SaveImageByExtension(surface, temp.path() + name), 0) << name;
    EXPECT_FALSE(std::filesystem::exists(temp.path() + name)) << name;
  }
  EXPECT_EQ(SaveImageByExtension(surface, temp.path() + "x.gif"), 0);
  EXPECT_EQ(SaveImageByExtension(nullptr, temp.path() + "x.bmp"), 0);
  EXPECT_FALSE(std::filesystem::exists(temp.path() + "x.bmp"));
  surface->Release();
}

TEST_F(ImageFileTest, AFailedSaveReportsItAndKeepsTheOldFile) {
  TempFolder temp;
  win::IDirectDrawSurface7* surface = SurfaceOf(Gradient(4, 4));
  ASSERT_TRUE(surface);
  for (const char* name : {"old.bmp", "old.png", "old.jpg", "old.tga"}) {
    SCOPED_TRACE(name);
    temp.Write(name, "old contents");
    win::SetWriteFailureForTesting(true);
    EXPECT_EQ(SaveImageByExtension(surface, temp.path() + name), 0);
    win::SetWriteFailureForTesting(false);
    EXPECT_EQ(temp.Read(name), "old contents");
  }
  EXPECT_EQ(SaveImageByExtension(surface, temp.path() + "no/such/folder.bmp"), 0);
  surface->Release();
}

}  // namespace
}  // namespace vx::test
