// Image files written at build time by tests/fixtures/make_images.py (BMP, PCX, Targa, Photoshop of
// every variant the readers handle) and make_images.sh (JPEG from cjpeg; PNG, TIFF and more from
// ImageMagick). Each good file must load through the image context with exactly the pixels the
// script wrote beside it (JPEG within the listed tolerance); each damaged one must fail without a
// crash or a sanitizer report; and what loads must survive a save and a load in every format the
// context writes, as read back by us and by FreeImage.
#include <sstream>

#include "tests/display/bitmap_test_support.h"
#include "tests/support/temp_folder.h"

namespace vx::test {
namespace {

struct Fixture {
  bool good = false;
  std::string name;
  int tolerance = 0;  // good files: the largest channel difference allowed
  std::string why;    // damaged files: what is wrong with them
};

// The fixtures of a manifest; the tools that were missing when they were made go to skipped.
std::vector<Fixture> ReadManifest(const std::string& path, std::string* skipped) {
  std::vector<Fixture> fixtures;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string kind;
    fields >> kind;
    if (kind == "skipped") *skipped += " [" + line.substr(8) + "]";
    if (kind != "good" && kind != "bad") continue;
    Fixture& fixture = fixtures.emplace_back();
    fixture.good = kind == "good";
    fields >> fixture.name;
    if (fixture.good) fields >> fixture.tolerance;
    std::getline(fields, fixture.why);
  }
  return fixtures;
}

// A binary PPM (P6, maxval 255) as the script writes it.
std::optional<Picture> ReadPpm(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  uint32_t width = 0, height = 0, maxValue = 0;
  if (!(in >> magic >> width >> height >> maxValue) || magic != "P6" || maxValue != 255) return std::nullopt;
  in.get();
  std::vector<uint8_t> bytes(size_t(width) * height * 3);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()))) return std::nullopt;
  Picture picture{width, height, {}};
  for (size_t i = 0; i < bytes.size(); i += 3)
    picture.rgb.push_back(uint32_t(bytes[i]) << 16 | uint32_t(bytes[i + 1]) << 8 | bytes[i + 2]);
  return picture;
}

// Empty when the pictures agree within the tolerance, else where they first differ.
std::string Difference(const Picture& actual, const Picture& expected, int tolerance) {
  if (actual.width != expected.width || actual.height != expected.height) return "another size";
  for (uint32_t y = 0; y < actual.height; ++y)
    for (uint32_t x = 0; x < actual.width; ++x)
      if (LargestDifference({1, 1, {actual.At(x, y)}}, {1, 1, {expected.At(x, y)}}) > tolerance)
        return "pixel " + std::to_string(x) + "," + std::to_string(y);
  return {};
}

// What a second JPEG coding (quality 100, colour at half resolution) may add to a smooth picture.
constexpr int kSecondJpegLoss = 12;

TEST_F(ImageFileTest, FixturesLoadAsTheirPicturesSurviveSavingAndDamagedOnesFail) {
#ifndef VX_IMAGE_FIXTURES_DIR
  GTEST_SKIP() << "image fixtures were not generated (python3 missing?)";
#else
  const std::string folder = VX_IMAGE_FIXTURES_DIR;
  std::string skipped;
  const std::vector<Fixture> own = ReadManifest(folder + "/manifest.txt", &skipped);
  // Every format of the script is there, good and damaged, so a script that stops early shows.
  for (const char* ending : {"bmp", "rle", "pcx", "tga", "psd"}) {
    int good = 0, bad = 0;
    for (const Fixture& fixture : own)
      if (fixture.name.ends_with(ending)) ++(fixture.good ? good : bad);
    EXPECT_GE(good, 2) << ending;
    EXPECT_GE(bad, 2) << ending;
  }
  EXPECT_GE(own.size(), 180u);
  std::vector<Fixture> all = own;
  for (const Fixture& fixture : ReadManifest(folder + "/manifest-tools.txt", &skipped)) all.push_back(fixture);
  TempFolder temp;
  for (const Fixture& fixture : all) {
    SCOPED_TRACE(fixture.name);
    win::IDirectDrawSurface7* surface = LoadImageByExtension(folder + "/" + fixture.name);
    if (!fixture.good) {
      EXPECT_EQ(surface, nullptr) << "a damaged file loaded:" << fixture.why;
      if (surface) surface->Release();
      continue;
    }
    const std::optional<Picture> expected = ReadPpm(folder + "/expected/" + fixture.name + ".ppm");
    ASSERT_TRUE(expected) << "no expected picture";
    ASSERT_TRUE(surface) << "did not load";
    EXPECT_EQ(Difference(PictureOf(surface), *expected, fixture.tolerance), "");
    // Saved in each written format and loaded again; the saved file also read by FreeImage, so a
    // fault that a writer and its reader share still shows.
    for (const auto& [ending, format] :
         {std::pair{"bmp", FIF_BMP}, {"tga", FIF_TARGA}, {"png", FIF_PNG}, {"jpg", FIF_JPEG}}) {
      SCOPED_TRACE(ending);
      const std::string path = temp.path() + "saved." + ending;
      std::filesystem::remove(path);
      ASSERT_EQ(SaveImageByExtension(surface, path), 1);
      const std::optional<Picture> again = Load(path), reference = ReferenceDecode(format, path);
      ASSERT_TRUE(again && reference);
      if (format != FIF_JPEG) {
        EXPECT_EQ(Difference(*again, *expected, fixture.tolerance), "");
        EXPECT_EQ(Difference(*reference, *again, 0), "") << "FreeImage reads the saved file differently";
        continue;
      }
      // Lossy, and decoders upsample colour differently near sharp edges: only the smooth
      // pictures that the JPEG fixtures hold are compared, with both decoders.
      EXPECT_EQ(std::pair(again->width, again->height), std::pair(expected->width, expected->height));
      if (fixture.tolerance > 0) {
        EXPECT_EQ(Difference(*again, *expected, fixture.tolerance + kSecondJpegLoss), "");
        EXPECT_EQ(Difference(*reference, *expected, fixture.tolerance + kSecondJpegLoss), "");
      }
    }
    surface->Release();
  }
  if (!skipped.empty()) GTEST_SKIP() << "fixtures of missing tools were not made:" << skipped;
#endif
}

}  // namespace
}  // namespace vx::test
