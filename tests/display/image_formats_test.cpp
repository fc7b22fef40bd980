// PCX, Photoshop, Targa, TIFF, JPEG and PNG files: the corpora's real files load with the right
// pixels (compared with FreeImage, with sibling PNGs, or between interlaced and plain PngSuite
// files), and their damaged, fuzzer-found files fail without a crash or a read outside a buffer.
#include "display/images/byte_reader.h"
#include "tests/display/image_test_support.h"

namespace vx::test {
namespace {

bool IsDamagedName(const std::string& name) {
  return name.starts_with("crash-") || name.starts_with("timeout-") || name.find("oob") != std::string::npos;
}

TEST_F(ImageFileTest, PcxCorpusMatchesFreeImageAndRejectsTheFuzzerFile) {
  VX_CORPUS_OR_SKIP(folder, "pcx");
  for (const std::string& path : FilesIn(folder, ".pcx")) {
    SCOPED_TRACE(BaseName(path));
    const std::optional<Picture> loaded = Load(path);
    // 01r_00.pcx announces lines of 12 bytes for 88 pixels of 8 bits.
    if (BaseName(path).starts_with("ossfuzz") || BaseName(path) == "01r_00.pcx") {
      EXPECT_FALSE(loaded);
      continue;
    }
    ASSERT_TRUE(loaded);
    const std::optional<Picture> reference = ReferenceDecode(FIF_PCX, path);
    if (reference) {
      EXPECT_EQ(LargestDifference(*loaded, *reference), 0);
    }
  }
}

// A 16-colour PCX of four planes of one bit: pixel x has colour index x % 16.
std::vector<uint8_t> FourPlanePcx(uint32_t width, uint16_t lineBytes) {
  std::vector<uint8_t> file(128, 0);
  file[0] = 10;
  file[3] = 1;
  PutU16LE(&file[8], width - 1);
  file[65] = 4;
  PutU16LE(&file[66], lineBytes);
  for (int i = 0; i < 16; ++i) file[16 + 3 * i] = uint8_t(i * 16), file[17 + 3 * i] = 1, file[18 + 3 * i] = 2;
  for (uint32_t p = 0; p < 4; ++p)
    for (uint32_t b = 0; b < lineBytes; ++b) {
      uint8_t byte = 0;
      for (uint32_t bit = 0; bit < 8; ++bit)
        if ((((b * 8 + bit) % 16) >> p) & 1) byte |= uint8_t(0x80 >> bit);
      file.push_back(0xC1);  // every byte as a run of one, so no byte reads as a count
      file.push_back(byte);
    }
  return file;
}

TEST(PcxReaderTest, SixteenColourFilesOfEveryNarrowWidth) {
  for (uint32_t width = 1; width <= 17; ++width) {
    SCOPED_TRACE(width);
    const uint16_t lineBytes = uint16_t(((width + 7) / 8 + 1) & ~1u);
    const std::optional<DecodedImage> image = DecodePcx(FourPlanePcx(width, lineBytes));
    ASSERT_TRUE(image);
    ASSERT_EQ(image->width, width);
    for (uint32_t x = 0; x < width; ++x) EXPECT_EQ(image->At(x, 0), 0xFF000102u | (x % 16) * 16 << 16);
  }
}

TEST(PcxReaderTest, RunsAndPalettes) {
  // 256 colours, 3 by 2: a run of 6 crosses the line end; the palette marker gives colour 5.
  std::vector<uint8_t> file(128, 0);
  file[0] = 10;
  file[3] = 8;
  PutU16LE(&file[8], 2);
  PutU16LE(&file[10], 1);
  file[65] = 1;
  PutU16LE(&file[66], 4);
  file.insert(file.end(), {0xC8, 5});
  std::vector<uint8_t> palette(769, 0);
  palette[0] = 12;
  palette[1 + 15] = 0xAA;
  palette[1 + 16] = 0xBB;
  palette[1 + 17] = 0xCC;
  std::vector<uint8_t> marked = file;
  marked.insert(marked.end(), palette.begin(), palette.end());
  const std::optional<DecodedImage> withPalette = DecodePcx(marked);
  ASSERT_TRUE(withPalette);
  EXPECT_EQ(withPalette->At(2, 1), 0xFFAABBCCu);
  palette[0] = 0;  // no marker: a black palette
  std::vector<uint8_t> unmarked = file;
  unmarked.insert(unmarked.end(), palette.begin(), palette.end());
  const std::optional<DecodedImage> black = DecodePcx(unmarked);
  ASSERT_TRUE(black);
  EXPECT_EQ(black->At(0, 0), 0xFF000000u);

  std::vector<uint8_t> truncated = file;
  truncated.back() = 0xC2;  // now the runs end before the second line is full and the file ends
  truncated.push_back(5);
  truncated.resize(truncated.size() - 1);
  EXPECT_FALSE(DecodePcx(std::vector<uint8_t>(file.begin(), file.end() - 1)));
  std::vector<uint8_t> narrowLines = file;
  PutU16LE(&narrowLines[66], 2);  // lines shorter than the width
  EXPECT_FALSE(DecodePcx(narrowLines));
  std::vector<uint8_t> twoPlanesOfEight = file;
  twoPlanesOfEight[65] = 2;
  EXPECT_FALSE(DecodePcx(twoPlanesOfEight));
  std::vector<uint8_t> wrongMaker = file;
  wrongMaker[0] = 11;
  EXPECT_FALSE(DecodePcx(wrongMaker));
}

// The fuzzer files are damaged in their layer records, which are skipped: their composite image
// loads when it is whole, at the header's size.
TEST_F(ImageFileTest, PsdCorpusLoadsRgbAndSurvivesDamage) {
  VX_CORPUS_OR_SKIP(folder, "psd");
  for (const std::string& path : FilesIn(folder, ".psd")) {
    SCOPED_TRACE(BaseName(path));
    const std::vector<uint8_t> bytes = FileBytes(path);
    const std::optional<Picture> loaded = Load(path);
    if (loaded) {
      EXPECT_EQ(loaded->height, ReadU32LE(std::vector<uint8_t>{bytes[17], bytes[16], bytes[15], bytes[14]}, 0));
    }
  }
  const std::optional<Picture> hopper = Load(folder + "/hopper.psd");
  ASSERT_TRUE(hopper);
  const std::optional<Picture> reference = ReferenceDecode(FIF_PSD, folder + "/hopper.psd");
  ASSERT_TRUE(reference);
  EXPECT_EQ(LargestDifference(*hopper, *reference), 0);
}

// A Photoshop file of 2 by 1 with the channels given, raw.
std::vector<uint8_t> MakePsd(uint16_t channels, uint16_t depth, uint16_t mode, const std::vector<uint8_t>& data,
                             uint16_t compression = 0) {
  std::vector<uint8_t> file = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0};
  auto u16 = [&](uint32_t v) { file.push_back(uint8_t(v >> 8)), file.push_back(uint8_t(v)); };
  auto u32 = [&](uint32_t v) { u16(v >> 16), u16(v & 0xFFFF); };
  u16(channels);
  u32(1);
  u32(2);
  u16(depth);
  u16(mode);
  u32(0), u32(0), u32(0);
  u16(compression);
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

TEST(PsdReaderTest, ChannelsDepthsAndRuns) {
  const std::optional<DecodedImage> three = DecodePsd(MakePsd(3, 8, 3, {1, 2, 3, 4, 5, 6}));
  ASSERT_TRUE(three);
  EXPECT_EQ(three->At(0, 0), 0xFF010305u);  // opaque: no fourth plane read
  EXPECT_EQ(three->At(1, 0), 0xFF020406u);
  EXPECT_FALSE(DecodePsd(MakePsd(3, 16, 3, std::vector<uint8_t>(12))));
  EXPECT_FALSE(DecodePsd(MakePsd(4, 8, 4, std::vector<uint8_t>(8))));  // CMYK
  EXPECT_FALSE(DecodePsd(MakePsd(3, 8, 3, {1, 2, 3, 4, 5})));           // a byte short
  // PackBits: the row counts (one row, one channel), then a run of 2 of 0x7F.
  const std::optional<DecodedImage> packed = DecodePsd(MakePsd(1, 8, 3, {0, 2, 0xFF, 0x7F}, 1));
  ASSERT_TRUE(packed);
  EXPECT_EQ(packed->At(1, 0), 0xFF7F0000u);
  EXPECT_FALSE(DecodePsd(MakePsd(1, 8, 3, {0, 2, 0xFE, 0x7F}, 1)));     // a run of 3 past the channel
  EXPECT_FALSE(DecodePsd(MakePsd(1, 8, 3, {0, 2, 0x01, 0x7F}, 1)));     // a literal cut short
  EXPECT_FALSE(DecodePsd(MakePsd(1, 8, 3, {0, 2, 0xFF, 0x7F}, 2)));     // unknown coding
}

TEST_F(ImageFileTest, TargaFilesMatchTheirPngSiblings) {
  VX_CORPUS_OR_SKIP(folder, "tga");
  int compared = 0;
  for (const std::string& path : FilesIn(folder, ".tga")) {
    SCOPED_TRACE(BaseName(path));
    const std::string name = BaseName(path);
    const std::string sibling = folder + "/" + name.substr(0, name.find('_', name.find('_') + 1)) + ".png";
    const std::optional<Picture> loaded = Load(path);
    const std::optional<Picture> expected = Load(sibling);
    ASSERT_TRUE(expected);
    // Grey with alpha is not read by FreeImage; everything else must be.
    if (name.find("_la_") != std::string::npos && !loaded) continue;
    ASSERT_TRUE(loaded);
    EXPECT_EQ(LargestDifference(*loaded, *expected), 0);
    ++compared;
  }
  EXPECT_GE(compared, 16);
}

TEST(TargaReaderTest, HeadersAreCheckedBeforeFreeImageSeesThem) {
  std::vector<uint8_t> good(18 + 2 * 2 * 3, 0x40);
  std::fill(good.begin(), good.begin() + 18, 0);
  good[2] = 2;
  good[12] = 2;
  good[14] = 2;
  good[16] = 24;
  ASSERT_TRUE(DecodeWithFreeImage(LibraryFormat::Targa, good));
  auto with = [&](size_t at, uint8_t value) {
    std::vector<uint8_t> file = good;
    file[at] = value;
    return file;
  };
  EXPECT_FALSE(DecodeWithFreeImage(LibraryFormat::Targa, std::vector<uint8_t>(good.begin(), good.end() - 1)));
  EXPECT_FALSE(DecodeWithFreeImage(LibraryFormat::Targa, with(2, 4)));     // no such image type
  EXPECT_FALSE(DecodeWithFreeImage(LibraryFormat::Targa, with(12, 0)));    // zero width
  EXPECT_FALSE(DecodeWithFreeImage(LibraryFormat::Targa, with(16, 12)));   // no such depth
  EXPECT_FALSE(DecodeWithFreeImage(LibraryFormat::Targa, with(1, 1)));     // a map of no entries
  EXPECT_FALSE(DecodeWithFreeImage(LibraryFormat::Targa, with(0, 200)));   // an ID past the end
  EXPECT_FALSE(DecodeWithFreeImage(LibraryFormat::Targa, with(15, 0x40))); // 16384 rows in 30 bytes
  EXPECT_FALSE(DecodeWithFreeImage(LibraryFormat::Targa, with(17, 0x40))); // interleaved
}

TEST_F(ImageFileTest, TiffCorpusLoadsAndFuzzerFilesDoNotCrash) {
  VX_CORPUS_OR_SKIP(folder, "tiff");
  for (const std::string& path : FilesIn(folder, ".tif")) {
    SCOPED_TRACE(BaseName(path));
    const std::optional<Picture> loaded = Load(path);
    if (!IsDamagedName(BaseName(path))) {
      EXPECT_TRUE(loaded);
    }
  }
  const std::optional<Picture> tiff = Load(folder + "/hopper.tif");
  const std::optional<Picture> reference = ReferenceDecode(FIF_TIFF, folder + "/hopper.tif");
  ASSERT_TRUE(tiff && reference);
  EXPECT_EQ(LargestDifference(*tiff, *reference), 0);
}

TEST_F(ImageFileTest, JpegCorpusLoadsGreyAndCmykAndRejectsTruncation) {
  VX_CORPUS_OR_SKIP(folder, "jpeg");
  for (const std::string& path : FilesIn(folder, ".jpg")) {
    SCOPED_TRACE(BaseName(path));
    const std::optional<Picture> loaded = Load(path);
    const std::string name = BaseName(path);
    // ultrahdr.jpg's main picture runs to the end of the file without its end marker.
    if (name != "ultrahdr.jpg") {
      EXPECT_EQ(loaded.has_value(), name != "truncated_jpeg.jpg");
    }
  }
  const std::optional<Picture> colour = Load(folder + "/hopper.jpg");
  const std::optional<Picture> grey = Load(folder + "/hopper_gray.jpg");
  ASSERT_TRUE(colour && grey);
  VX_CORPUS_OR_SKIP(pngFolder, "png");
  const std::optional<Picture> lossless = Load(pngFolder + "/hopper.png");
  ASSERT_TRUE(lossless);
  EXPECT_LE(LargestDifference(*colour, *lossless), 4);
  for (uint32_t value : grey->rgb) ASSERT_EQ(value, (value & 0xFF) * 0x010101u);
  const std::optional<Picture> cmyk = Load(folder + "/pil_sample_cmyk.jpg");
  const std::optional<Picture> rgb = Load(folder + "/pil_sample_rgb.jpg");
  ASSERT_TRUE(cmyk && rgb);
  EXPECT_LE(LargestDifference(*cmyk, *rgb), 40);  // the same picture through a different space
}

TEST_F(ImageFileTest, PngSuiteLoadsAndInterlacedFilesMatchPlainOnes) {
  VX_CORPUS_OR_SKIP(folder, "png/pngsuite");
  int pairs = 0;
  for (const std::string& path : FilesIn(folder, ".png")) {
    SCOPED_TRACE(BaseName(path));
    const std::optional<Picture> loaded = Load(path);
    ASSERT_TRUE(loaded);
    if (!BaseName(path).starts_with("basn")) continue;
    const std::optional<Picture> interlaced = Load(folder + "/i" + BaseName(path));
    if (!interlaced) continue;
    EXPECT_EQ(interlaced->rgb, loaded->rgb);
    ++pairs;
  }
  EXPECT_GE(pairs, 8);
  VX_CORPUS_OR_SKIP(pngFolder, "png");
  const std::optional<Picture> hopper = Load(pngFolder + "/hopper.png");
  const std::optional<Picture> reference = ReferenceDecode(FIF_PNG, pngFolder + "/hopper.png");
  ASSERT_TRUE(hopper && reference);
  EXPECT_EQ(LargestDifference(*hopper, *reference), 0);
}

TEST_F(ImageFileTest, DamagedPngsFail) {
  VX_CORPUS_OR_SKIP(folder, "png");
  EXPECT_FALSE(Load(folder + "/broken.png"));
  EXPECT_FALSE(Load(folder + "/broken_data_stream.png"));
  EXPECT_TRUE(Load(folder + "/hopper.png"));
  EXPECT_TRUE(Load(folder + "/1_trns.png"));
  for (const std::string& path : FilesIn(folder + "/badpal", ".png")) Load(path);  // must not crash
}

}  // namespace
}  // namespace vx::test
