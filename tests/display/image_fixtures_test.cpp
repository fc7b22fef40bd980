// Image files written at build time by tests/fixtures/make_images.py (BMP, PCX, Targa, Photoshop of
// every variant the readers handle) and make_images.sh (JPEG from cjpeg; PNG, TIFF and more from
// ImageMagick). Each good file must load through the image context with exactly the pixels the
// script wrote beside it (JPEG within the listed tolerance); each damaged one must fail without a
// crash or a sanitizer report; and what loads must survive a save and a load in every format the
// context writes, as read back by us and by FreeImage.
#include <sstream>

#include "tests/display/image_test_support.h"
#include "tests/support/temp_folder.h"

namespace vx::test {
namespace {

struct Fixture {
  bool good = false;
  std::string name;
  int tolerance = 0;  // good files: the largest channel difference allowed
  std::string why;    // damaged files: what is wrong with them
};

struct Manifest {
  std::vector<Fixture> fixtures;
  std::vector<std::string> skipped;  // tools that were missing when the fixtures were made
};

std::string FixtureFolder() {
#ifdef VX_IMAGE_FIXTURES_DIR
  if (std::filesystem::is_regular_file(std::string(VX_IMAGE_FIXTURES_DIR) + "/manifest.txt"))
    return VX_IMAGE_FIXTURES_DIR;
#endif
  return {};
}

#define VX_FIXTURES_OR_SKIP(variable)                          \
  const std::string variable = FixtureFolder();                \
  if (variable.empty()) GTEST_SKIP() << "image fixtures were not generated (python3 missing?)"

Manifest ReadManifest(const std::string& path) {
  Manifest manifest;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string kind;
    fields >> kind;
    if (kind == "good" || kind == "bad") {
      Fixture fixture;
      fixture.good = kind == "good";
      fields >> fixture.name;
      if (fixture.good) fields >> fixture.tolerance;
      std::getline(fields, fixture.why);
      manifest.fixtures.push_back(fixture);
    } else if (kind == "skipped") {
      manifest.skipped.push_back(line.substr(8));
    }
  }
  return manifest;
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

// Empty when the pictures agree within the tolerance, else where and how they first differ.
std::string Difference(const Picture& actual, const Picture& expected, int tolerance) {
  std::ostringstream out;
  if (actual.width != expected.width || actual.height != expected.height) {
    out << "size " << actual.width << "x" << actual.height << ", expected " << expected.width << "x"
        << expected.height;
    return out.str();
  }
  for (uint32_t y = 0; y < actual.height; ++y)
    for (uint32_t x = 0; x < actual.width; ++x) {
      const Picture one{1, 1, {actual.At(x, y)}}, other{1, 1, {expected.At(x, y)}};
      if (LargestDifference(one, other) > tolerance) {
        out << std::hex << "pixel (" << std::dec << x << "," << y << ") is #" << std::hex << actual.At(x, y)
            << ", expected #" << expected.At(x, y);
        return out.str();
      }
    }
  return {};
}

// What a second JPEG coding (quality 100, colour at half resolution) may add to a smooth picture.
constexpr int kSecondJpegLoss = 12;

std::string Ending(const std::string& name) { return name.substr(name.size() - 3); }

class ImageFixtureTest : public ImageFileTest {
 protected:
  // Every good fixture of the manifest loads as its expected picture; every damaged one fails.
  void CheckManifest(const std::string& folder, const Manifest& manifest) {
    for (const Fixture& fixture : manifest.fixtures) {
      SCOPED_TRACE(fixture.name);
      const std::optional<Picture> loaded = Load(folder + "/" + fixture.name);
      if (!fixture.good) {
        EXPECT_FALSE(loaded) << "a damaged file loaded:" << fixture.why;
        continue;
      }
      const std::optional<Picture> expected = ReadPpm(folder + "/expected/" + fixture.name + ".ppm");
      ASSERT_TRUE(expected) << "no expected picture";
      ASSERT_TRUE(loaded) << "did not load";
      EXPECT_EQ(Difference(*loaded, *expected, fixture.tolerance), "");
    }
  }

  // The fixture loaded, saved in each written format and loaded again; the saved file also read
  // by FreeImage, so a fault that a writer and its reader share still shows.
  void CheckRoundTrips(const std::string& folder, const Fixture& fixture, const TempFolder& temp) {
    SCOPED_TRACE(fixture.name);
    const std::optional<Picture> expected = ReadPpm(folder + "/expected/" + fixture.name + ".ppm");
    ASSERT_TRUE(expected);
    win::IDirectDrawSurface7* surface = LoadImageByExtension(folder + "/" + fixture.name);
    ASSERT_TRUE(surface);
    struct Format {
      const char* ending;
      FREE_IMAGE_FORMAT reference;
    };
    for (const Format& format : {Format{"bmp", FIF_BMP}, Format{"tga", FIF_TARGA}, Format{"png", FIF_PNG},
                                 Format{"jpg", FIF_JPEG}}) {
      SCOPED_TRACE(format.ending);
      const std::string path = temp.path() + "saved." + format.ending;
      std::filesystem::remove(path);
      ASSERT_EQ(SaveImageByExtension(surface, path), 1);
      const std::optional<Picture> again = Load(path);
      const std::optional<Picture> reference = ReferenceDecode(format.reference, path);
      ASSERT_TRUE(again && reference);
      if (std::string(format.ending) == "jpg") {
        // Lossy, and decoders upsample colour differently near sharp edges: only the smooth
        // pictures that the JPEG fixtures hold are compared, with both decoders.
        EXPECT_EQ(again->width, expected->width);
        EXPECT_EQ(again->height, expected->height);
        if (fixture.tolerance > 0) {
          const int tolerance = fixture.tolerance + kSecondJpegLoss;
          EXPECT_EQ(Difference(*again, *expected, tolerance), "");
          EXPECT_EQ(Difference(*reference, *expected, tolerance), "");
        }
        continue;
      }
      EXPECT_EQ(Difference(*again, *expected, fixture.tolerance), "");
      EXPECT_EQ(Difference(*reference, *again, 0), "") << "FreeImage reads the saved file differently";
    }
    surface->Release();
  }
};

TEST_F(ImageFixtureTest, OwnCodeFixturesLoadExactlyAndDamagedOnesFail) {
  VX_FIXTURES_OR_SKIP(folder);
  const Manifest manifest = ReadManifest(folder + "/manifest.txt");
  // Every format of the script is there, good and damaged, so a script that stops early shows.
  for (const char* ending : {"bmp", "rle", "pcx", "tga", "psd"}) {
    int good = 0, bad = 0;
    for (const Fixture& fixture : manifest.fixtures)
      if (Ending(fixture.name) == ending) ++(fixture.good ? good : bad);
    EXPECT_GE(good, 2) << ending;
    EXPECT_GE(bad, 2) << ending;
  }
  EXPECT_GE(manifest.fixtures.size(), 180u);
  CheckManifest(folder, manifest);
}

TEST_F(ImageFixtureTest, ToolMadeFixturesLoadAsTheirPicturesAndDamagedOnesFail) {
  VX_FIXTURES_OR_SKIP(folder);
  const Manifest manifest = ReadManifest(folder + "/manifest-tools.txt");
  CheckManifest(folder, manifest);
  if (!manifest.skipped.empty()) {
    std::string missing;
    for (const std::string& tool : manifest.skipped) missing += " [" + tool + "]";
    GTEST_SKIP() << "fixtures of missing tools were not made:" << missing;
  }
}

TEST_F(ImageFixtureTest, GoodFixturesSurviveSaveAndLoadInEveryWrittenFormat) {
  VX_FIXTURES_OR_SKIP(folder);
  TempFolder temp;
  int checked = 0;
  for (const char* manifestName : {"/manifest.txt", "/manifest-tools.txt"})
    for (const Fixture& fixture : ReadManifest(folder + manifestName).fixtures)
      if (fixture.good) {
        CheckRoundTrips(folder, fixture, temp);
        ++checked;
      }
  EXPECT_GE(checked, 90);
}

// The written layouts of a picture of odd width: BMP rows padded to four bytes and stored bottom-up,
// Targa rows unpadded, both blue, green, red.
TEST_F(ImageFixtureTest, WrittenBmpAndTargaRowsHoldTheFixturePixels) {
  VX_FIXTURES_OR_SKIP(folder);
  const std::string name = "bmp_rgb24_5x3_bu.bmp";
  const std::optional<Picture> expected = ReadPpm(folder + "/expected/" + name + ".ppm");
  ASSERT_TRUE(expected);
  win::IDirectDrawSurface7* surface = LoadImageByExtension(folder + "/" + name);
  ASSERT_TRUE(surface);
  TempFolder temp;
  ASSERT_EQ(SaveImageByExtension(surface, temp.path() + "out.bmp"), 1);
  ASSERT_EQ(SaveImageByExtension(surface, temp.path() + "out.tga"), 1);
  surface->Release();
  // The fixture itself is a 24-bit bottom-up file of the same layout, so its rows must come back.
  const std::vector<uint8_t> original = FileBytes(folder + "/" + name);
  const std::vector<uint8_t> bmp = FileBytes(temp.path() + "out.bmp");
  ASSERT_EQ(bmp.size(), 54u + 16 * 3);
  EXPECT_TRUE(std::equal(bmp.begin() + 54, bmp.end(), original.end() - 16 * 3));
  const std::vector<uint8_t> tga = FileBytes(temp.path() + "out.tga");
  ASSERT_EQ(tga.size(), 18u + 15 * 3);
  for (uint32_t row = 0; row < 3; ++row)
    for (uint32_t x = 0; x < 5; ++x) {
      const uint32_t rgb = expected->At(x, 2 - row);
      const uint8_t* pixel = &tga[18 + row * 15 + x * 3];
      EXPECT_EQ(uint32_t(pixel[2]) << 16 | uint32_t(pixel[1]) << 8 | pixel[0], rgb) << x << "," << row;
    }
}

}  // namespace
}  // namespace vx::test
