// Golden pictures: PNG reading and writing through libpng, comparison, and the pictures written
// beside a failed comparison.
#include "tests/support/golden_image.h"

#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/pixel_format.h"

namespace vx::test {
namespace {

namespace fs = std::filesystem;

// Beside this file's folder, so that the pictures are found from any build folder.
fs::path GoldenFolder() { return fs::path(__FILE__).parent_path().parent_path() / "golden"; }

fs::path OutputFolder() {
  const fs::path folder = fs::current_path() / "golden-output";
  std::error_code ignored;
  fs::create_directories(folder, ignored);
  return folder;
}

int ChannelDifference(uint32_t a, uint32_t b) {
  int most = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    most = std::max(most, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
  }
  return most;
}

// Actual, expected and the difference (white where beyond the tolerance, else grey by size) in a row.
Picture SideBySide(const Picture& actual, const Picture& expected, int channel) {
  Picture out;
  out.width = actual.width + expected.width + std::max(actual.width, expected.width);
  out.height = std::max(actual.height, expected.height);
  out.pixels.assign(size_t(out.width) * out.height, 0xFF000000u);
  const auto put = [&](const Picture& p, int left) {
    for (int y = 0; y < p.height; ++y) {
      for (int x = 0; x < p.width; ++x) out.pixels[size_t(y) * out.width + left + x] = p.At(x, y) | 0xFF000000u;
    }
  };
  put(actual, 0);
  put(expected, actual.width);
  const int left = actual.width + expected.width;
  for (int y = 0; y < std::min(actual.height, expected.height); ++y) {
    for (int x = 0; x < std::min(actual.width, expected.width); ++x) {
      const int d = ChannelDifference(actual.At(x, y), expected.At(x, y));
      const uint32_t grey = d > channel ? 255u : uint32_t(std::min(d * 8, 200));
      out.pixels[size_t(y) * out.width + left + x] = 0xFF000000u | grey * 0x010101u;
    }
  }
  return out;
}

::testing::AssertionResult Compare(const Picture& actual, const Picture& expected, const std::string& name,
                                   PictureTolerance tolerance, const std::string& expectedPath) {
  const int differences = CountDifferences(actual, expected, tolerance.channel);
  if (differences >= 0 && differences <= tolerance.differentPixels) return ::testing::AssertionSuccess();
  const fs::path folder = OutputFolder();
  WritePng((folder / (name + "-actual.png")).string(), actual);
  WritePng((folder / (name + "-expected.png")).string(), expected);
  WritePng((folder / (name + "-compare.png")).string(), SideBySide(actual, expected, tolerance.channel));
  auto failure = ::testing::AssertionFailure();
  if (differences < 0) {
    failure << name << ": the picture is " << actual.width << "x" << actual.height << ", expected " << expected.width
            << "x" << expected.height;
  } else {
    failure << name << ": " << differences << " pixels differ by more than " << tolerance.channel << " (at most "
            << tolerance.differentPixels << " may)";
  }
  failure << "; actual, expected and difference side by side in " << (folder / (name + "-compare.png")).string();
  if (!expectedPath.empty()) failure << "; expected picture " << expectedPath;
  return failure;
}

}  // namespace

Picture PictureOf(win::DirectDrawSurface* surface) {
  const win::SurfacePixels view = surface->Pixels();
  Picture out;
  out.width = int(view.width);
  out.height = int(view.height);
  out.pixels.resize(size_t(out.width) * out.height);
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) out.pixels[size_t(y) * out.width + x] = win::ReadPixelArgb(view, x, y);
  }
  return out;
}

bool ReadPng(const std::string& path, Picture* out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_BGRA;  // little-endian 0xAARRGGBB words
  out->width = int(image.width);
  out->height = int(image.height);
  out->pixels.assign(size_t(image.width) * image.height, 0);
  if (!png_image_finish_read(&image, nullptr, out->pixels.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  return true;
}

bool WritePng(const std::string& path, const Picture& picture) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(picture.width);
  image.height = png_uint_32(picture.height);
  image.format = PNG_FORMAT_BGRA;
  std::vector<uint32_t> opaque = picture.pixels;
  for (uint32_t& p : opaque) p |= 0xFF000000u;
  return png_image_write_to_file(&image, path.c_str(), 0, opaque.data(), 0, nullptr) != 0;
}

int CountDifferences(const Picture& actual, const Picture& expected, int channel) {
  if (actual.width != expected.width || actual.height != expected.height) return -1;
  int count = 0;
  for (size_t i = 0; i < actual.pixels.size(); ++i)
    count += ChannelDifference(actual.pixels[i], expected.pixels[i]) > channel;
  return count;
}

::testing::AssertionResult MatchesGolden(const Picture& actual, const std::string& name, PictureTolerance tolerance) {
  const fs::path path = GoldenFolder() / (name + ".png");
  const char* update = std::getenv("VX_UPDATE_GOLDEN");
  if (update && std::string(update) == "1") {
    if (!WritePng(path.string(), actual)) return ::testing::AssertionFailure() << "could not write " << path;
    return ::testing::AssertionSuccess() << "wrote " << path;
  }
  Picture expected;
  if (!ReadPng(path.string(), &expected)) {
    WritePng((OutputFolder() / (name + "-actual.png")).string(), actual);
    return ::testing::AssertionFailure() << name << ": no expected picture " << path.string()
                                         << " (the actual one is in " << OutputFolder().string()
                                         << "; run with VX_UPDATE_GOLDEN=1 to write it)";
  }
  return Compare(actual, expected, name, tolerance, path.string());
}

::testing::AssertionResult MatchesPicture(const Picture& actual, const Picture& expected, const std::string& name,
                                          PictureTolerance tolerance) {
  return Compare(actual, expected, name, tolerance, "");
}

}  // namespace vx::test
