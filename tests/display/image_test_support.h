// Shared by the image file tests: a DirectDraw object with a primary surface attached to the image
// context, the public corpora beside the repository (tests skip without them), pixels of loaded
// surfaces, and FreeImage as an independent decoder to compare against.
#pragma once
#include <gtest/gtest.h>

#include <FreeImage.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "display/images/image_codecs.h"
#include "display/images/image_context.h"
#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/faults.h"
#include "platform/ddraw/pixel_format.h"
#include "tests/engine3d/surface_fixture.h"

namespace vx::test {

// 0xRRGGBB pixels of an image, the top row first.
struct Picture {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint32_t> rgb;
  uint32_t At(uint32_t x, uint32_t y) const { return rgb[size_t(y) * width + x]; }
};

inline std::string CorpusFolder(const std::string& name) {
#ifdef VX_TESTDATA_DIR
  const std::string folder = std::string(VX_TESTDATA_DIR) + "/images/" + name;
  if (std::filesystem::is_directory(folder)) return folder;
#endif
  return {};
}

#define VX_CORPUS_OR_SKIP(variable, name)                                    \
  const std::string variable = ::vx::test::CorpusFolder(name);               \
  if (variable.empty()) GTEST_SKIP() << "image corpus " << name << " missing"

// The files of a folder with one of the endings (lower case), sorted.
inline std::vector<std::string> FilesIn(const std::string& folder, const std::string& ending) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && name.size() > ending.size() &&
        name.compare(name.size() - ending.size(), ending.size(), ending) == 0)
      files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

inline std::string BaseName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

inline std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline Picture PictureOf(win::IDirectDrawSurface7* surface) {
  Picture picture;
  const win::SurfacePixels view = surface->Pixels();
  picture.width = view.width;
  picture.height = view.height;
  for (uint32_t y = 0; y < view.height; ++y)
    for (uint32_t x = 0; x < view.width; ++x) picture.rgb.push_back(win::ReadPixelArgb(view, x, y) & 0xFFFFFF);
  return picture;
}

inline Picture PictureOf(const DecodedImage& image) {
  Picture picture{image.width, image.height, {}};
  for (uint32_t argb : image.pixels) picture.rgb.push_back(argb & 0xFFFFFF);
  return picture;
}

// FreeImage's reading of a file as 8-bit colour, for formats it reads at 8 bits a channel.
inline std::optional<Picture> ReferenceDecode(FREE_IMAGE_FORMAT format, const std::string& path) {
  FIBITMAP* loaded = FreeImage_Load(format, path.c_str(), 0);
  if (!loaded) return std::nullopt;
  FIBITMAP* colour = FreeImage_ConvertTo32Bits(loaded);
  FreeImage_Unload(loaded);
  if (!colour) return std::nullopt;
  Picture picture{FreeImage_GetWidth(colour), FreeImage_GetHeight(colour), {}};
  for (uint32_t y = 0; y < picture.height; ++y) {
    const BYTE* row = FreeImage_GetScanLine(colour, int(picture.height - 1 - y));
    for (uint32_t x = 0; x < picture.width; ++x, row += 4)
      picture.rgb.push_back(uint32_t(row[FI_RGBA_RED]) << 16 | uint32_t(row[FI_RGBA_GREEN]) << 8 | row[FI_RGBA_BLUE]);
  }
  FreeImage_Unload(colour);
  return picture;
}

// The largest difference of any channel of any pixel; a size mismatch gives 256.
inline int LargestDifference(const Picture& a, const Picture& b) {
  if (a.width != b.width || a.height != b.height) return 256;
  int largest = 0;
  for (size_t i = 0; i < a.rgb.size(); ++i)
    for (int shift = 0; shift < 24; shift += 8) {
      const int d = std::abs(int((a.rgb[i] >> shift) & 0xFF) - int((b.rgb[i] >> shift) & 0xFF));
      largest = std::max(largest, d);
    }
  return largest;
}

// A DirectDraw object in the desktop's 32-bit mode with its primary surface, attached to the
// image context as the display attaches its own.
class ImageFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    win::ResetDisplayFaults();
    ASSERT_EQ(win::DirectDrawCreateEx(nullptr, &directDraw_, win::IID_IDirectDraw7, nullptr), win::DD_OK);
    primary_ = MakePrimarySurface(directDraw_);
    ASSERT_NE(primary_, nullptr);
    AttachImageContext(nullptr, directDraw_, primary_);
  }

  void TearDown() override {
    ReleaseImageContext();
    if (primary_) primary_->Release();
    if (directDraw_) directDraw_->Release();
    win::ResetDisplayFaults();
    EXPECT_EQ(win::LiveSurfaceCount(), 0u) << "a loaded surface was not released";
  }

  // Loads through the image context; the picture of the surface, or nothing when the load failed.
  std::optional<Picture> Load(const std::string& path) {
    win::IDirectDrawSurface7* surface = LoadImageByExtension(path);
    if (!surface) return std::nullopt;
    Picture picture = PictureOf(surface);
    surface->Release();
    return picture;
  }

  // A system-memory surface in the display format holding the picture.
  win::IDirectDrawSurface7* SurfaceOf(const Picture& picture) {
    DecodedImage image;
    EXPECT_TRUE(image.Allocate(picture.width, picture.height));
    for (size_t i = 0; i < picture.rgb.size(); ++i) image.pixels[i] = 0xFF000000u | picture.rgb[i];
    return CreateSurfaceFromImage(directDraw_, primary_, image, true);
  }

  win::IDirectDraw7* directDraw_ = nullptr;
  win::IDirectDrawSurface7* primary_ = nullptr;
};

}  // namespace vx::test
