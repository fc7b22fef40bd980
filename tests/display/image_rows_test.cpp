// The fast ways that decoded pictures reach surfaces, held against the plain references byte for
// byte: the row loops of every kind of pixel format at every width up to a few blocks, and whole
// loads in every display format (JPEG and PNG rows written by the library in the surface's order
// of bytes, a batch at a time) against a pixel-by-pixel decode and conversion of the same file.
#include <random>

#include "tests/display/bitmap_test_support.h"
#include "tests/support/temp_folder.h"

namespace vx::test {
namespace {

// 256 colours of a palette, some of them repeated so that the first of equals must be taken.
std::vector<win::PALETTEENTRY> SomePalette(uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<win::PALETTEENTRY> palette(256);
  for (win::PALETTEENTRY& entry : palette) entry = {uint8_t(random()), uint8_t(random()), uint8_t(random()), 0};
  for (size_t i = 200; i < 256; ++i) palette[i] = palette[i - 100];
  return palette;
}

TEST(ArgbRowStoreTest, EveryKindOfFormatStoresTheBytesOfThePixelByPixelReference) {
  const std::vector<win::PALETTEENTRY> palette = SomePalette(7);
  struct Case {
    const char* name;
    win::DDPIXELFORMAT format;
    const win::PALETTEENTRY* palette;
  };
  const Case cases[] = {
      {"display 8 without a palette", win::DisplayPixelFormat(8), nullptr},
      {"display 8 with a palette", win::DisplayPixelFormat(8), palette.data()},
      {"display 16", win::DisplayPixelFormat(16), nullptr},
      {"display 24", win::DisplayPixelFormat(24), nullptr},
      {"display 32", win::DisplayPixelFormat(32), nullptr},
      {"32 with alpha", win::MakeRgbFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000), nullptr},
      {"32 blue first", win::MakeRgbFormat(32, 0xFF, 0xFF00, 0xFF0000), nullptr},
      {"32 of 10 bits", win::MakeRgbFormat(32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000), nullptr},
      {"32 of 16-bit red", win::MakeRgbFormat(32, 0xFFFF0000, 0xFF00, 0xFF), nullptr},
      {"24 red first", win::MakeRgbFormat(24, 0xFF, 0xFF00, 0xFF0000), nullptr},
      {"24 of 6 bits", win::MakeRgbFormat(24, 0x3F000, 0xFC0, 0x3F), nullptr},
      {"16 of 5 bits", win::MakeRgbFormat(16, 0x7C00, 0x3E0, 0x1F), nullptr},
      {"16 with 1 alpha bit", win::MakeRgbFormat(16, 0x7C00, 0x3E0, 0x1F, 0x8000), nullptr},
      {"16 of 4 bits with alpha", win::MakeRgbFormat(16, 0xF00, 0xF0, 0xF, 0xF000), nullptr},
      {"16 blue first", win::MakeRgbFormat(16, 0x1F, 0x7E0, 0xF800), nullptr},
      {"8 of 3-3-2", win::MakeRgbFormat(8, 0xE0, 0x1C, 0x3), nullptr},
  };
  std::mt19937 random(11);
  std::vector<uint32_t> argb(200);
  for (uint32_t& pixel : argb) pixel = uint32_t(random());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ArgbRowStore store(win::DescribeFormat(c.format), c.palette);
    ASSERT_TRUE(store.Storable());
    const uint32_t bytes = store.BytesPerPixel();
    ASSERT_EQ(bytes, c.format.dwRGBBitCount / 8);
    for (uint32_t width = 1; width <= 140; width += width < 70 ? 1 : 23) {
      for (const uint32_t offset : {0u, 1u}) {  // the output need not be aligned
        std::vector<uint8_t> fast(size_t(width + 2) * bytes + 1, 0xA5), reference = fast;
        store.Store(argb.data() + offset, fast.data() + offset, width);
        store.StoreReference(argb.data() + offset, reference.data() + offset, width);
        ASSERT_EQ(fast, reference) << "width " << width << " offset " << offset;
        // Not a byte beside the row is written.
        for (size_t i = size_t(width) * bytes + offset; i < fast.size(); ++i) ASSERT_EQ(fast[i], 0xA5);
        if (offset) {
          ASSERT_EQ(fast[0], 0xA5);
        }
      }
    }
  }
  EXPECT_FALSE(ArgbRowStore(win::FormatInfo{}, nullptr).Storable());
}

// The display in full screen at a depth (8 with or without a palette on the primary surface), its
// primary attached to the image context as the display set-up attaches it.
class DisplayFormatLoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const win::WNDCLASSA windowClass{0, win::DefWindowProcA, 0, "VXROWS", "VXROWS"};
    win::RegisterClassA(&windowClass);
    window_ = win::CreateWindowExA(0, "VXROWS", "VXROWS", 0, 0, 0, 640, 480, nullptr, nullptr);
    win::ResetDisplayFaults();
    // A card that offers the palettised mode too.
    win::DisplayDriverInfo card;
    card.description = "Primary Display Driver";
    card.name = "display";
    card.videoMemoryBytes = uint64_t(64) << 20;
    for (const win::DWORD bits : {8u, 16u, 24u, 32u}) card.modes.push_back({640, 480, bits});
    win::SetDisplayDrivers({card});
    ASSERT_EQ(win::DirectDrawCreateEx(nullptr, &directDraw_, win::IID_IDirectDraw7, nullptr), win::DD_OK);
    ASSERT_EQ(directDraw_->SetCooperativeLevel(window_, win::DDSCL_EXCLUSIVE | win::DDSCL_FULLSCREEN), win::DD_OK);
  }
  void TearDown() override {
    Detach();
    if (directDraw_) directDraw_->Release();
    win::DestroyWindow(window_);
    win::ClearMessageQueue();
    win::ResetDisplayFaults();
    EXPECT_EQ(win::LiveSurfaceCount(), 0u) << "a loaded surface was not released";
  }
  void Detach() {
    ReleaseImageContext();
    if (primary_) primary_->Release();
    primary_ = nullptr;
    if (palette_) palette_->Release();
    palette_ = nullptr;
  }
  void UseDepth(uint32_t bits, bool withPalette) {
    Detach();
    ASSERT_EQ(directDraw_->SetDisplayMode(640, 480, bits, 0, 0), win::DD_OK);
    win::DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = win::DDSD_CAPS;
    desc.ddsCaps.dwCaps = win::DDSCAPS_PRIMARYSURFACE;
    ASSERT_EQ(directDraw_->CreateSurface(&desc, &primary_, nullptr), win::DD_OK);
    if (withPalette) {
      const std::vector<win::PALETTEENTRY> entries = SomePalette(bits);
      ASSERT_EQ(
          directDraw_->CreatePalette(win::DDPCAPS_8BIT | win::DDPCAPS_ALLOW256, entries.data(), &palette_, nullptr),
          win::DD_OK);
      ASSERT_EQ(primary_->SetPalette(palette_), win::DD_OK);
    }
    AttachImageContext(window_, directDraw_, primary_);
  }

  // The rows of a surface's pixels, without the padding of its pitch; empty for no surface.
  static std::vector<uint8_t> BytesOf(win::IDirectDrawSurface7* surface) {
    if (!surface) return {};
    const win::SurfacePixels view = surface->Pixels();
    std::vector<uint8_t> bytes;
    for (uint32_t y = 0; y < view.height; ++y) {
      const uint8_t* row = view.bits + ptrdiff_t(y) * view.pitch;
      bytes.insert(bytes.end(), row, row + size_t(view.width) * view.bytesPerPixel);
    }
    surface->Release();
    return bytes;
  }

  // The file loaded as `load bitmap` loads it, against the reference decode and conversion; both
  // fail or both give the same bytes. False when the file did not load.
  bool LoadsAsTheReference(const std::string& path) {
    SCOPED_TRACE(path);
    const std::vector<uint8_t> file = FileBytes(path);
    const std::optional<DecodedImage> decoded = DecodeByEnding(path, file, PixelPath::Reference);
    const std::optional<DecodedImage> fastDecoded = DecodeByEnding(path, file, PixelPath::Fast);
    EXPECT_EQ(fastDecoded.has_value(), decoded.has_value());
    if (fastDecoded && decoded) {
      EXPECT_TRUE(fastDecoded->pixels == decoded->pixels);
    }
    const std::vector<uint8_t> fast = BytesOf(LoadImageByExtension(path));
    const std::vector<uint8_t> reference =
        decoded ? BytesOf(CreateSurfaceFromImage(directDraw_, primary_, *decoded, false, PixelPath::Reference))
                : std::vector<uint8_t>{};
    EXPECT_EQ(fast.size(), reference.size());
    EXPECT_TRUE(fast == reference);
    return !fast.empty();
  }

  // JPEG and PNG decode in two ways; the other readers in one.
  static std::optional<DecodedImage> DecodeByEnding(const std::string& name, std::span<const uint8_t> file,
                                                    PixelPath path) {
    if (name.ends_with(".jpg")) return DecodeJpeg(file, path);
    if (name.ends_with(".png")) return DecodePng(file, path);
    if (name.ends_with(".bmp") || name.ends_with(".rle")) return DecodeBmp(file);
    if (name.ends_with(".pcx")) return DecodePcx(file);
    if (name.ends_with(".psd")) return DecodePsd(file);
    if (name.ends_with(".tga")) return DecodeWithFreeImage(LibraryFormat::Targa, file);
    if (name.ends_with(".tif")) return DecodeWithFreeImage(LibraryFormat::Tiff, file);
    ADD_FAILURE() << "no reader for " << name;
    return std::nullopt;
  }

  win::HWND window_ = nullptr;
  win::IDirectDraw7* directDraw_ = nullptr;
  win::IDirectDrawSurface7* primary_ = nullptr;
  win::IDirectDrawPalette* palette_ = nullptr;
};

// A picture of odd sizes with gradients and noise, so that every sampling and edge case shows.
DecodedImage NoisyPicture(uint32_t width, uint32_t height, uint32_t seed) {
  std::mt19937 random(seed);
  DecodedImage image;
  image.Allocate(width, height);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
      image.At(x, y) = 0xFF000000u | ((x * 255 / width + random() % 32) & 0xFF) << 16 |
                       ((y * 255 / height + random() % 32) & 0xFF) << 8 | (random() & 0xFF);
  return image;
}

TEST_F(DisplayFormatLoadTest, PicturesLoadWithTheBytesOfThePixelByPixelPathInEveryDisplayFormat) {
  TempFolder temp;
  std::vector<std::string> files;
  for (const auto& [width, height] : {std::pair{1u, 1u}, {3u, 17u}, {5u, 2u}, {17u, 9u}, {63u, 33u}, {65u, 40u}}) {
    const DecodedImage picture = NoisyPicture(width, height, width * 100 + height);
    const std::string name = temp.path() + "odd" + std::to_string(width) + "x" + std::to_string(height);
    WriteBytes(name + ".jpg", *EncodeJpeg(picture, 90));
    WriteBytes(name + ".png", *EncodePng(picture));
    files.push_back(name + ".jpg");
    files.push_back(name + ".png");
  }
#ifdef VX_IMAGE_FIXTURES_DIR
  for (const char* ending : {".jpg", ".png", ".bmp", ".rle", ".pcx", ".psd", ".tga", ".tif"})
    for (const std::string& path : FilesIn(VX_IMAGE_FIXTURES_DIR, ending)) files.push_back(path);
#endif
  const std::string corpus = CorpusFolder("");
  if (!corpus.empty()) {
    for (const std::string& path : FilesIn(corpus + "jpeg", ".jpg")) files.push_back(path);
    for (const std::string& path : FilesIn(corpus + "png/pngsuite", ".png")) files.push_back(path);
    for (const std::string& path : FilesIn(corpus + "png", ".png")) files.push_back(path);
  }
  // Large pictures take long under the sanitizers; the palette search, pixel by pixel, longer.
  struct File {
    std::string path;
    uint64_t pixels;
  };
  std::vector<File> small;
  for (const std::string& path : files) {
    const std::optional<DecodedImage> image = DecodeByEnding(path, FileBytes(path), PixelPath::Fast);
    const uint64_t pixels = image ? uint64_t(image->width) * image->height : 0;
    if (pixels <= 300000) small.push_back({path, pixels});
  }
  ASSERT_GE(small.size(), 12u);
  struct Depth {
    uint32_t bits;
    bool palette;
  };
  for (const Depth depth : {Depth{32, false}, {24, false}, {16, false}, {8, false}, {8, true}}) {
    SCOPED_TRACE(testing::Message() << depth.bits << " bits" << (depth.palette ? " with a palette" : ""));
    UseDepth(depth.bits, depth.palette);
    int loaded = 0;
    for (const File& file : small) {
      if (depth.palette && file.pixels > 20000) continue;
      loaded += LoadsAsTheReference(file.path);
    }
    EXPECT_GE(loaded, 12);
  }
}

}  // namespace
}  // namespace vx::test
