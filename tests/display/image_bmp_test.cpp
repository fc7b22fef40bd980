// BMP files: the BMP suite's good files load with the pixels an independent decoder gives, its bad
// files fail (or, where only an advisory field is wrong, load at their size), the questionable
// ones never crash; headers and runs made here reach each check of the reader.
#include <SDL.h>

#include <set>

#include "display/images/byte_reader.h"
#include "tests/display/image_test_support.h"

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
    const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(colour->pixels) + y * colour->pitch);
    for (int x = 0; x < colour->w; ++x) picture.rgb.push_back(row[x] & 0xFFFFFF);
  }
  SDL_FreeSurface(colour);
  return picture;
}

TEST_F(ImageFileTest, GoodBmpSuiteFilesMatchAnIndependentDecoder) {
  VX_CORPUS_OR_SKIP(folder, "bmp/g");
  const std::vector<std::string> files = FilesIn(folder, ".bmp");
  ASSERT_GE(files.size(), 20u);
  for (const std::string& path : files) {
    SCOPED_TRACE(BaseName(path));
    const std::optional<Picture> loaded = Load(path);
    ASSERT_TRUE(loaded);
    // SDL widens narrow channels by repeating their bits, which may differ by one.
    // SDL refuses the unusual masks of rgb32bf.bmp, which holds the picture of rgb32.bmp.
    std::optional<Picture> reference = SdlReferenceDecode(path);
    if (!reference && BaseName(path) == "rgb32bf.bmp") reference = SdlReferenceDecode(folder + "/rgb32.bmp");
    ASSERT_TRUE(reference);
    EXPECT_LE(LargestDifference(*loaded, *reference), 1);
  }
}

// The suite's pictures are 127 by 64 (the non-square one 127 by 32): a red, green, blue and grey
// gradient pattern whose corners are known.
TEST_F(ImageFileTest, GoodBmpSuiteKnownPixels) {
  VX_CORPUS_OR_SKIP(folder, "bmp/g");
  const std::optional<Picture> rgb24 = Load(folder + "/rgb24.bmp");
  const std::optional<Picture> topDown = Load(folder + "/pal8topdown.bmp");
  const std::optional<Picture> bottomUp = Load(folder + "/pal8.bmp");
  const std::optional<Picture> os2 = Load(folder + "/pal8os2.bmp");
  ASSERT_TRUE(rgb24 && topDown && bottomUp && os2);
  EXPECT_EQ(rgb24->width, 127u);
  EXPECT_EQ(rgb24->height, 64u);
  EXPECT_EQ(topDown->rgb, bottomUp->rgb);  // drawn the right way up whichever way rows run
  EXPECT_EQ(os2->rgb, bottomUp->rgb);
}

// Files whose pixel data is whole but whose advisory fields (file size, image size, density) or
// palette indices are wrong load as Windows draws them; every other bad file fails.
TEST_F(ImageFileTest, BadBmpSuiteFilesFailOrLoadOnlyWhenThePixelsAreWhole) {
  VX_CORPUS_OR_SKIP(folder, "bmp/b");
  const std::set<std::string> loadable = {"badbitssize.bmp", "baddens1.bmp", "baddens2.bmp", "badfilesize.bmp",
                                          "pal8badindex.bmp"};
  const std::vector<std::string> files = FilesIn(folder, ".bmp");
  ASSERT_GE(files.size(), 14u);
  for (const std::string& path : files) {
    SCOPED_TRACE(BaseName(path));
    const std::optional<Picture> loaded = Load(path);
    EXPECT_EQ(loaded.has_value(), loadable.count(BaseName(path)) == 1);
  }
}

TEST_F(ImageFileTest, QuestionableBmpSuiteFilesLoadOrFailCleanly) {
  VX_CORPUS_OR_SKIP(folder, "bmp/q");
  int loadedCount = 0;
  for (const std::string& path : FilesIn(folder, ".bmp")) {
    SCOPED_TRACE(BaseName(path));
    const std::optional<Picture> loaded = Load(path);
    if (!loaded) continue;
    ++loadedCount;
    EXPECT_EQ(loaded->width, 127u);
  }
  EXPECT_GE(loadedCount, 10);
}

// --- Files made here ------------------------------------------------------------------------------

// A 40-byte-header BMP of the depth with the given palette and rows (as stored), bottom-up.
std::vector<uint8_t> MakeBmp(int32_t width, int32_t height, uint16_t bits, uint32_t compression,
                             const std::vector<uint32_t>& palette, const std::vector<uint8_t>& rows) {
  std::vector<uint8_t> file(54 + palette.size() * 4);
  file[0] = 'B';
  file[1] = 'M';
  PutU32LE(&file[10], uint32_t(file.size()));
  PutU32LE(&file[14], 40);
  PutU32LE(&file[18], uint32_t(width));
  PutU32LE(&file[22], uint32_t(height));
  PutU16LE(&file[26], 1);
  PutU16LE(&file[28], bits);
  PutU32LE(&file[30], compression);
  PutU32LE(&file[46], uint32_t(palette.size()));
  for (size_t i = 0; i < palette.size(); ++i) PutU32LE(&file[54 + 4 * i], palette[i]);
  file.insert(file.end(), rows.begin(), rows.end());
  return file;
}

TEST(BmpReaderTest, CoreHeaderUsesItsSixteenBitSizes) {
  // 12-byte header: width 2, height 1, 24 bits; one row of two pixels and two bytes of padding.
  std::vector<uint8_t> file = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 26, 0, 0, 0, 12, 0, 0, 0, 2, 0, 1, 0, 1, 0, 24, 0};
  file.insert(file.end(), {0x30, 0x20, 0x10, 0xFF, 0xFF, 0xFF, 0, 0});
  const std::optional<DecodedImage> image = DecodeBmp(file);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 2u);
  EXPECT_EQ(image->height, 1u);
  EXPECT_EQ(image->At(0, 0), 0xFF102030u);
  EXPECT_EQ(image->At(1, 0), 0xFFFFFFFFu);
}

TEST(BmpReaderTest, TopDownRowsLoadTheRightWayUp) {
  const std::vector<uint8_t> rows = {1, 0, 0, 0, 2, 0, 0, 0};  // 8 bits, width 1, two rows
  const std::vector<uint32_t> palette = {0, 0x0000FF, 0x00FF00};
  const std::optional<DecodedImage> bottomUp = DecodeBmp(MakeBmp(1, 2, 8, 0, palette, rows));
  const std::optional<DecodedImage> topDown = DecodeBmp(MakeBmp(1, -2, 8, 0, palette, rows));
  ASSERT_TRUE(bottomUp && topDown);
  EXPECT_EQ(bottomUp->At(0, 0), 0xFF00FF00u);
  EXPECT_EQ(topDown->At(0, 0), 0xFF0000FFu);
  EXPECT_EQ(topDown->height, 2u);
}

TEST(BmpReaderTest, RunLengthCodingDrawsRunsDeltasAndLiterals) {
  const std::vector<uint32_t> palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
  // 4 by 2, 8 bits: bottom row a run of one 1 and a literal 2, 3, 2 (padded); the end of the line,
  // a delta right by one, a run of one 3 and the end.
  const std::vector<uint8_t> rle8 = {1, 1, 0, 3, 2, 3, 2, 0, 0, 0, 0, 2, 1, 0, 1, 3, 0, 1};
  const std::optional<DecodedImage> image = DecodeBmp(MakeBmp(4, 2, 8, 1, palette, rle8));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->At(0, 1), 0xFFFF0000u);
  EXPECT_EQ(image->At(1, 1), 0xFF00FF00u);
  EXPECT_EQ(image->At(2, 1), 0xFF0000FFu);
  EXPECT_EQ(image->At(0, 0), 0xFF000000u);  // skipped by the delta
  EXPECT_EQ(image->At(1, 0), 0xFF0000FFu);
  // RLE4: a run of three alternating nibbles 1, 2, 1 and a literal of one pixel 3.
  const std::vector<uint8_t> rle4 = {3, 0x12, 0, 1};
  std::vector<uint8_t> rle4WithLiteral = {3, 0x12, 0, 3, 0x30, 0, 0, 0, 0, 1};  // literal of 3 pixels
  const std::optional<DecodedImage> four = DecodeBmp(MakeBmp(6, 1, 4, 2, palette, rle4WithLiteral));
  ASSERT_TRUE(four);
  EXPECT_EQ(four->At(1, 0), 0xFF00FF00u);
  EXPECT_EQ(four->At(3, 0), 0xFF0000FFu);
  EXPECT_TRUE(DecodeBmp(MakeBmp(3, 1, 4, 2, palette, rle4)));
}

TEST(BmpReaderTest, DamagedFilesFail) {
  const std::vector<uint32_t> palette = {0, 0xFFFFFF};
  const std::vector<uint8_t> row = {0x80, 0, 0, 0};
  ASSERT_TRUE(DecodeBmp(MakeBmp(1, 1, 1, 0, palette, row)));
  struct Case {
    const char* what;
    std::vector<uint8_t> file;
  };
  std::vector<uint8_t> wrongMagic = MakeBmp(1, 1, 1, 0, palette, row);
  wrongMagic[0] = 'X';
  std::vector<uint8_t> pixelsPastEnd = MakeBmp(1, 1, 1, 0, palette, row);
  PutU32LE(&pixelsPastEnd[10], 0xFFFFFFF0u);
  std::vector<uint8_t> paletteTooLong = MakeBmp(1, 1, 8, 0, palette, row);
  PutU32LE(&paletteTooLong[46], 200);
  std::vector<uint8_t> headerOnly = MakeBmp(1, 1, 1, 0, palette, row);
  headerOnly.resize(30);
  const Case cases[] = {
      {"wrong magic", wrongMagic},
      {"header only", headerOnly},
      {"rows cut short", MakeBmp(8, 4, 1, 0, palette, row)},
      {"pixel offset past the end", pixelsPastEnd},
      {"palette past the end", paletteTooLong},
      {"zero height", MakeBmp(1, 0, 1, 0, palette, row)},
      {"negative width", MakeBmp(-1, 1, 1, 0, palette, row)},
      {"depth 7", MakeBmp(1, 1, 7, 0, palette, row)},
      {"RLE8 at 4 bits", MakeBmp(1, 1, 4, 1, palette, row)},
      {"top-down RLE", MakeBmp(1, -1, 8, 1, palette, {0, 1})},
      {"run past the padded line", MakeBmp(2, 1, 8, 1, palette, {5, 1, 0, 1})},
      {"delta below the image", MakeBmp(2, 1, 8, 1, palette, {0, 2, 0, 5, 0, 1})},
      {"literal past the data", MakeBmp(8, 1, 8, 1, palette, {0, 8, 1, 1})},
      {"no end of bitmap", MakeBmp(2, 1, 8, 1, palette, {2, 1})},
      {"embedded PNG", MakeBmp(1, 1, 24, 5, {}, {0, 0, 0, 0})},
      {"too large", MakeBmp(20000, 1, 1, 0, palette, std::vector<uint8_t>(2500))},
  };
  for (const Case& c : cases) EXPECT_FALSE(DecodeBmp(c.file)) << c.what;
}

TEST(BmpReaderTest, BitFieldsOfSixteenAndThirtyTwoBits) {
  // 565 in a 40-byte header, the masks after it.
  std::vector<uint8_t> file = MakeBmp(1, 1, 16, 3, {}, {});
  const uint8_t masks[12] = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
  file.insert(file.end(), masks, masks + 12);
  PutU32LE(&file[10], uint32_t(file.size()));
  file.insert(file.end(), {0x1F, 0xF8, 0, 0});  // red full and blue full
  const std::optional<DecodedImage> image = DecodeBmp(file);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->At(0, 0), 0xFFFF00FFu);
  std::vector<uint8_t> split = file;
  split[54] = 0x05;  // a red mask with a hole
  EXPECT_FALSE(DecodeBmp(split));
}

}  // namespace
}  // namespace vx::test
