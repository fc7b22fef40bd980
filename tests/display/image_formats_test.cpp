// Image files through the image context: the public corpora's real files load with the pixels an
// independent decoder gives (SDL, FreeImage), their damaged and fuzzer-found files fail without a
// crash or a read outside a buffer, names are dispatched by their last three letters, and a failed
// save says so and keeps the old file.
#include <SDL.h>

#include <set>

#include "platform/win/files.h"
#include "tests/display/bitmap_test_support.h"
#include "tests/support/temp_folder.h"

namespace vx::test {
namespace {

std::optional<Picture> SdlReferenceDecode(const std::string& path) {
  SDL_Surface* loaded = SDL_LoadBMP(path.c_str());
  if (!loaded) return std::nullopt;
  SDL_Surface* colour = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
  SDL_FreeSurface(loaded);
  if (!colour) return std::nullopt;
  Picture picture{uint32_t(colour->w), uint32_t(colour->h), {}};
  for (int y = 0; y < colour->h; ++y) {
    const auto* row =
        reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(colour->pixels) + y * colour->pitch);
    for (int x = 0; x < colour->w; ++x) picture.rgb.push_back(row[x] & 0xFFFFFF);
  }
  SDL_FreeSurface(colour);
  return picture;
}

TEST_F(ImageFileTest, BmpSuiteGoodFilesMatchSdlAndBadOnesFail) {
  VX_CORPUS_OR_SKIP(folder, "bmp");
  const std::vector<std::string> good = FilesIn(folder + "/g", ".bmp");
  ASSERT_GE(good.size(), 20u);
  for (const std::string& path : good) {
    SCOPED_TRACE(BaseName(path));
    const std::optional<Picture> loaded = Load(path);
    ASSERT_TRUE(loaded);
    // SDL widens narrow channels by repeating their bits, which may differ by one; it refuses the
    // unusual masks of rgb32bf.bmp, which holds the picture of rgb32.bmp.
    std::optional<Picture> reference = SdlReferenceDecode(path);
    if (!reference && BaseName(path) == "rgb32bf.bmp") reference = SdlReferenceDecode(folder + "/g/rgb32.bmp");
    ASSERT_TRUE(reference);
    EXPECT_LE(LargestDifference(*loaded, *reference), 1);
  }
  const std::optional<Picture> pal8 = Load(folder + "/g/pal8.bmp"), topDown = Load(folder + "/g/pal8topdown.bmp"),
                               os2 = Load(folder + "/g/pal8os2.bmp");
  ASSERT_TRUE(pal8 && topDown && os2);
  EXPECT_EQ(topDown->rgb, pal8->rgb);  // the right way up whichever way rows run
  EXPECT_EQ(os2->rgb, pal8->rgb);

  // Files whose pixel data is whole but whose advisory fields (sizes, density) or palette indices
  // are wrong load as Windows draws them; every other bad file fails.
  const std::set<std::string> loadable = {"badbitssize.bmp", "baddens1.bmp", "baddens2.bmp", "badfilesize.bmp",
                                          "pal8badindex.bmp"};
  const std::vector<std::string> bad = FilesIn(folder + "/b", ".bmp");
  ASSERT_GE(bad.size(), 14u);
  for (const std::string& path : bad) EXPECT_EQ(Load(path).has_value(), loadable.count(BaseName(path)) == 1) << path;
}

TEST_F(ImageFileTest, CorporaMatchFreeImageAndTheirDamagedFilesFail) {
  VX_CORPUS_OR_SKIP(images, "");
  for (const auto& [file, format] :
       {std::pair{"png/hopper.png", FIF_PNG}, {"psd/hopper.psd", FIF_PSD}, {"tiff/hopper.tif", FIF_TIFF}}) {
    const std::optional<Picture> loaded = Load(images + file), reference = ReferenceDecode(format, images + file);
    ASSERT_TRUE(loaded && reference) << file;
    EXPECT_EQ(LargestDifference(*loaded, *reference), 0) << file;
  }
  for (const std::string& path : FilesIn(images + "pcx", ".pcx")) {
    SCOPED_TRACE(path);
    const std::optional<Picture> loaded = Load(path);
    // 01r_00.pcx announces lines of 12 bytes for 88 pixels of 8 bits.
    if (BaseName(path).starts_with("ossfuzz") || BaseName(path) == "01r_00.pcx") {
      EXPECT_FALSE(loaded);
      continue;
    }
    ASSERT_TRUE(loaded);
    if (const std::optional<Picture> reference = ReferenceDecode(FIF_PCX, path)) {
      EXPECT_EQ(LargestDifference(*loaded, *reference), 0);
    }
  }
  for (const std::string& path : FilesIn(images + "tiff", ".tif")) {
    const std::string name = BaseName(path);
    const bool damaged = name.starts_with("crash-") || name.starts_with("timeout-") || name.find("oob") != name.npos;
    if (!damaged) {
      EXPECT_TRUE(Load(path)) << path;
    } else {
      Load(path);
    }
  }
  EXPECT_FALSE(Load(images + "png/broken.png"));
  EXPECT_FALSE(Load(images + "png/broken_data_stream.png"));
  EXPECT_TRUE(Load(images + "png/1_trns.png"));
  for (const std::string& path : FilesIn(images + "jpeg", ".jpg")) {
    // ultrahdr.jpg's main picture runs to the end of the file without its end marker.
    if (BaseName(path) != "ultrahdr.jpg") {
      EXPECT_EQ(Load(path).has_value(), BaseName(path) != "truncated_jpeg.jpg") << path;
    }
  }
  for (const std::string& path : FilesIn(images + "png/badpal", ".png")) Load(path);  // must not crash
}

TEST_F(ImageFileTest, NamesDispatchByTheirLastThreeLettersAndFailedSavesKeepTheOldFile) {
  TempFolder temp;
  WriteBmp(temp.path() + "q.bmp", Quadrants(4, 4));
  win::IDirectDrawSurface7* surface = LoadImageByExtension(temp.path() + "q.bmp");
  ASSERT_TRUE(surface);
  ASSERT_EQ(SaveImageByExtension(surface, temp.path() + "picture.JPG"), 1);
  EXPECT_TRUE(Load(temp.path() + "PICTURE.jpg"));  // names match without regard to case
  std::filesystem::copy_file(temp.path() + "picture.JPG", temp.path() + "picture.jpeg");
  EXPECT_FALSE(Load(temp.path() + "picture.jpeg"));
  EXPECT_FALSE(Load(temp.path() + "missing.png"));
  EXPECT_FALSE(Load("jp"));
  for (const char* name : {"x.pcx", "x.psd", "x.tif", "x.gif", "no/such/folder.bmp"}) {  // no false success
    EXPECT_EQ(SaveImageByExtension(surface, temp.path() + name), 0) << name;
    EXPECT_FALSE(std::filesystem::exists(temp.path() + name)) << name;
  }
  EXPECT_EQ(SaveImageByExtension(nullptr, temp.path() + "x.bmp"), 0);
  for (const char* name : {"old.bmp", "old.png", "old.jpg", "old.tga"}) {
    temp.Write(name, "old contents");
    win::SetWriteFailureForTesting(true);
    EXPECT_EQ(SaveImageByExtension(surface, temp.path() + name), 0) << name;
    win::SetWriteFailureForTesting(false);
    EXPECT_EQ(temp.Read(name), "old contents") << name;
  }
  surface->Release();
}

}  // namespace
}  // namespace vx::test
