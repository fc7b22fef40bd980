// DDS files through the image context. A saved surface becomes a DXT1 file of power-of-two sides
// with a mip chain of box-filtered halves, which ImageMagick reads with the same pixels; the DDS
// files ImageMagick writes (DXT1, DXT5, uncompressed with and without alpha and mip-maps) load with
// its pixels; headers are checked before anything is allocated, so damaged and hostile files (the
// public corpus's among them) fail with their detail code and leave nothing behind; a failed save
// keeps the old file.
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <set>
#include <sstream>

#include "platform/win/files.h"
#include "system/system_state.h"
#include "tests/display/bitmap_test_support.h"
#include "tests/support/temp_folder.h"

namespace vx::test {
namespace {

using win::DWORD;
using win::IDirectDrawSurface7;

constexpr const char* kImageMagick = "/usr/bin/convert";
constexpr const char* kIdentify = "/usr/bin/identify";
// What DXT coding may cost a smooth picture, and what two exact decoders may differ by (they round
// the mixed colours differently).
constexpr int kDxtLoss = 10;
constexpr int kDecoderSlack = 3;

bool HaveImageMagick() { return access(kImageMagick, X_OK) == 0 && access(kIdentify, X_OK) == 0; }

// The next level of a chain as it is made from a level's picture.
Picture BoxHalf(const Picture& whole) {
  return {std::max(1u, whole.width / 2), std::max(1u, whole.height / 2),
          test::BoxHalf(whole.rgb, whole.width, whole.height)};
}

// The picture as DXT1 blocks give it back (sides of whole blocks).
Picture Dxt1Coded(const Picture& picture) {
  Picture coded = picture;
  for (uint32_t by = 0; by < picture.height; by += 4)
    for (uint32_t bx = 0; bx < picture.width; bx += 4) {
      uint32_t block[16];
      uint8_t bytes[8];
      for (uint32_t i = 0; i < 16; ++i) block[i] = picture.At(bx + i % 4, by + i / 4);
      win::EncodeDxtBlock(win::FOURCC_DXT1, block, bytes);
      win::DecodeDxtBlock(win::FOURCC_DXT1, bytes, block);
      for (uint32_t i = 0; i < 16; ++i) coded.rgb[size_t(by + i / 4) * picture.width + bx + i % 4] = block[i];
    }
  return coded;
}

uint32_t U32At(const std::vector<uint8_t>& bytes, size_t at) {
  return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
         uint32_t(bytes[at + 3]) << 24;
}

// A DDS header written field by field, as another program would; data bytes follow as given.
struct Header {
  uint32_t size = 124, flags = 0x100F, height = 4, width = 4, pitch = 0, depth = 0, mipCount = 0;
  uint32_t formatSize = 32, formatFlags = 0x40, fourCC = 0, bits = 32;
  uint32_t red = 0xFF0000, green = 0xFF00, blue = 0xFF, alpha = 0;
  uint32_t caps = 0x1000, caps2 = 0;
};
std::vector<uint8_t> DdsFile(const Header& h, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> file{'D', 'D', 'S', ' '};
  const auto put = [&file](uint32_t v) {
    for (int i = 0; i < 4; ++i) file.push_back(uint8_t(v >> (8 * i)));
  };
  for (uint32_t v : {h.size, h.flags, h.height, h.width, h.pitch, h.depth, h.mipCount}) put(v);
  for (int i = 0; i < 11; ++i) put(0);
  for (uint32_t v : {h.formatSize, h.formatFlags, h.fourCC, h.bits, h.red, h.green, h.blue, h.alpha}) put(v);
  for (uint32_t v : {h.caps, h.caps2, 0u, 0u, 0u}) put(v);
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

class DdsImageTest : public ImageFileTest {
 protected:
  // A picture of the size whose channels change slowly, in a new surface of the display's format.
  IDirectDrawSurface7* SmoothSurface(uint32_t width, uint32_t height) {
    DecodedImage image;
    EXPECT_TRUE(image.Allocate(width, height));
    for (uint32_t y = 0; y < height; ++y)
      for (uint32_t x = 0; x < width; ++x)
        image.At(x, y) = 0xFF000000u | (40 + x * 3 / 2) << 16 | (30 + y * 2) << 8 | (200 - (x + y) / 2);
    return CreateSurfaceFromImage(directDraw_, primary_, image, true);
  }
  // ImageMagick's reading of a file, through a PNG it writes.
  std::optional<Picture> ImageMagickReads(const std::string& path) {
    const std::string png = temp.path() + "imagemagick.png";
    std::filesystem::remove(png);
    const std::string command = std::string(kImageMagick) + " '" + path + "' PNG32:'" + png + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) return std::nullopt;
    return ReferenceDecode(FIF_PNG, png, true);
  }
  std::string ImageMagickSize(const std::string& path) {
    const std::string answer = temp.path() + "identify.txt";
    const std::string command =
        std::string(kIdentify) + " -format '%w %h' '" + path + "' > '" + answer + "' 2>/dev/null";
    return std::system(command.c_str()) == 0 ? temp.Read("identify.txt") : "";
  }
  TempFolder temp;
};

TEST_F(DdsImageTest, ASavedSurfaceIsAPowerOfTwoDxt1ChainOfBoxFilteredHalvesThatImageMagickReads) {
  IDirectDrawSurface7* source = SmoothSurface(100, 60);
  ASSERT_TRUE(source);
  const std::string path = temp.path() + "saved.DDS";
  ASSERT_EQ(SaveImageByExtension(source, path), 1);
  const Picture original = PictureOf(source, true);
  source->Release();

  // 64 halves to 2 in five steps: five levels from 128 x 64 down to 8 x 4, largest first.
  const std::vector<uint8_t> file = FileBytes(path);
  ASSERT_GE(file.size(), 128u);
  EXPECT_EQ(U32At(file, 0), 0x20534444u);
  const std::vector<uint32_t> header = {124, 0x21007, 64, 128, 0, 0, 5};
  for (size_t i = 0; i < header.size(); ++i) EXPECT_EQ(U32At(file, 4 + 4 * i), header[i]) << "header word " << i;
  EXPECT_EQ(U32At(file, 76), 32u);
  EXPECT_EQ(U32At(file, 80), uint32_t(win::DDPF_FOURCC));
  EXPECT_EQ(U32At(file, 84), win::FOURCC_DXT1);
  EXPECT_EQ(U32At(file, 108), 0x401008u);
  EXPECT_EQ(file.size(), 128u + 4096 + 1024 + 256 + 64 + 16);

  IDirectDrawSurface7* loaded = LoadImageByExtension(path);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(System().gInternalErrorCode, 10006u);
  std::vector<IDirectDrawSurface7*> levels = MipLevels(loaded);
  ASSERT_EQ(levels.size(), 5u);
  Picture stretched{128, 64, {}};  // the source stretched over the top level by nearest sample
  for (uint32_t y = 0; y < 64; ++y)
    for (uint32_t x = 0; x < 128; ++x)
      stretched.rgb.push_back(original.At((2 * x + 1) * 100 / 256, (2 * y + 1) * 60 / 128));
  EXPECT_LE(LargestDifference(PictureOf(levels[0], true), stretched, true), kDxtLoss);
  for (size_t i = 1; i < levels.size(); ++i) {
    EXPECT_EQ(levels[i]->Width(), 128u >> i);
    EXPECT_EQ(levels[i]->Height(), 64u >> i);
    EXPECT_EQ(levels[i]->PixelFormat().dwFourCC, win::FOURCC_DXT1);
    EXPECT_EQ(LargestDifference(PictureOf(levels[i], true), Dxt1Coded(BoxHalf(PictureOf(levels[i - 1], true))), true),
              0)
        << "level " << i;
  }
  const Picture top = PictureOf(levels[0], true);
  ReleaseLevels(levels);
  loaded->Release();

  // A 2 x 2 surface takes no halving: mip count 0 and one level of one block.
  IDirectDrawSurface7* tiny = SmoothSurface(2, 2);
  ASSERT_EQ(SaveImageByExtension(tiny, temp.path() + "tiny.dds"), 1);
  tiny->Release();
  const std::vector<uint8_t> tinyFile = FileBytes(temp.path() + "tiny.dds");
  ASSERT_EQ(tinyFile.size(), 128u + 8);
  EXPECT_EQ(U32At(tinyFile, 12), 2u);
  EXPECT_EQ(U32At(tinyFile, 28), 0u);
  loaded = LoadImageByExtension(temp.path() + "tiny.dds");
  ASSERT_TRUE(loaded);
  levels = MipLevels(loaded);
  EXPECT_EQ(levels.size(), 1u);
  ReleaseLevels(levels);
  loaded->Release();

  if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick is not installed: not cross-checked";
  EXPECT_EQ(ImageMagickSize(path), "128 64");
  const std::optional<Picture> theirs = ImageMagickReads(path);
  ASSERT_TRUE(theirs);
  EXPECT_LE(LargestDifference(*theirs, top, true), kDecoderSlack);
}

TEST_F(DdsImageTest, ImageMagicksFilesOfEveryFormatLoadWithItsPixelsAndTheirLevels) {
#ifndef VX_DDS_FIXTURES_DIR
  GTEST_SKIP() << "DDS fixtures were not generated";
#else
  const std::string folder = VX_DDS_FIXTURES_DIR;
  std::ifstream manifest(folder + "/manifest.txt");
  std::string line;
  int files = 0;
  while (std::getline(manifest, line)) {
    std::istringstream fields(line);
    std::string name, picture;
    size_t levels = 0;
    if (line.starts_with("skipped")) GTEST_SKIP() << line;
    if (line.starts_with("#") || !(fields >> name >> picture >> levels)) continue;
    SCOPED_TRACE(name);
    ++files;
    IDirectDrawSurface7* loaded = LoadImageByExtension(folder + "/" + name + ".dds");
    ASSERT_TRUE(loaded);
    std::vector<IDirectDrawSurface7*> chain = MipLevels(loaded);
    EXPECT_EQ(chain.size(), levels);
    for (size_t i = 0; i < chain.size(); ++i) {
      EXPECT_EQ(chain[i]->Width(), std::max(1u, 64u >> i));
      EXPECT_EQ(chain[i]->Height(), std::max(1u, 32u >> i));
    }
    ReleaseLevels(chain);
    const Picture ours = PictureOf(loaded, true);
    loaded->Release();
    const std::optional<Picture> theirs = ReferenceDecode(FIF_PNG, folder + "/" + name + ".png", true);
    const std::optional<Picture> original = ReferenceDecode(FIF_PNG, folder + "/" + picture, true);
    ASSERT_TRUE(theirs && original);
    EXPECT_LE(LargestDifference(ours, *theirs, true), kDecoderSlack);
    // One-bit alpha keeps only which side of the middle a pixel's alpha is on.
    const bool oneBitAlpha = name.starts_with("im_dxt1") && picture == "fading.png";
    EXPECT_LE(LargestDifference(ours, *original, !oneBitAlpha), kDxtLoss);
  }
  EXPECT_EQ(files, 9);
#endif
}

TEST_F(DdsImageTest, UncompressedFilesLoadWithTheirExactPixelsInTheirOwnFormat) {
  // 2 x 2, four colours, in four layouts.
  const uint32_t colours[4] = {0xFFFF0000, 0x80008000, 0x400000FF, 0xFFFFFFFF};
  const struct {
    const char* name;
    uint32_t bits, red, green, blue, alpha;
    int tolerance;  // narrow channels lose their low bits
  } layouts[] = {{"A8R8G8B8", 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0},
                 {"R8G8B8", 24, 0xFF0000, 0xFF00, 0xFF, 0, 0},
                 {"A1R5G5B5", 16, 0x7C00, 0x3E0, 0x1F, 0x8000, 0},
                 {"R5G6B5", 16, 0xF800, 0x7E0, 0x1F, 0, 0}};
  for (const auto& layout : layouts) {
    SCOPED_TRACE(layout.name);
    const win::FormatInfo info =
        win::DescribeFormat(win::MakeRgbFormat(layout.bits, layout.red, layout.green, layout.blue, layout.alpha));
    std::vector<uint8_t> data;
    for (const uint32_t c : colours) {
      const uint32_t pixel = win::ArgbToPixel(info, c);
      for (uint32_t i = 0; i < layout.bits / 8; ++i) data.push_back(uint8_t(pixel >> (8 * i)));
    }
    Header h;
    h.width = h.height = 2;
    h.bits = layout.bits, h.red = layout.red, h.green = layout.green, h.blue = layout.blue, h.alpha = layout.alpha;
    h.formatFlags = layout.alpha ? 0x41 : 0x40;
    WriteBytes(temp.path() + "raw.dds", DdsFile(h, data));
    IDirectDrawSurface7* loaded = LoadImageByExtension(temp.path() + "raw.dds");
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->PixelFormat().dwRGBBitCount, layout.bits);
    const Picture picture = PictureOf(loaded, true);
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(picture.rgb[size_t(i)], win::PixelToArgb(info, win::ArgbToPixel(info, colours[i]))) << i;
    loaded->Release();
  }
}

TEST_F(DdsImageTest, DamagedHeadersAndShortFilesFailWithTheirDetailCodeAndLeaveNothing) {
  const auto load = [&](const std::vector<uint8_t>& bytes) {
    WriteBytes(temp.path() + "case.dds", bytes);
    System().gInternalErrorCode = 0;
    IDirectDrawSurface7* loaded = LoadImageByExtension(temp.path() + "case.dds");
    if (loaded) loaded->Release();
    return loaded ? 0 : System().gInternalErrorCode;
  };
  Header good;  // 4 x 4 A8R8G8B8
  good.formatFlags = 0x41, good.alpha = 0xFF000000;
  const std::vector<uint8_t> pixels(64, 0x7F);
  ASSERT_EQ(load(DdsFile(good, pixels)), 0u);
  EXPECT_EQ(System().gInternalErrorCode, 10006u);

  System().gInternalErrorCode = 0;
  EXPECT_FALSE(LoadImageByExtension(temp.path() + "missing.dds"));
  EXPECT_EQ(System().gInternalErrorCode, 10001u);
  std::vector<uint8_t> notDds = DdsFile(good, pixels);
  notDds[3] = 'X';
  EXPECT_EQ(load(notDds), 10002u);
  EXPECT_EQ(load({'D', 'D', 'S'}), 10002u);
  EXPECT_EQ(load({'D', 'D', 'S', ' ', 124, 0}), 10003u) << "a header cut short";

  const struct {
    const char* what;
    void (*damage)(Header&);
  } refused[] = {
      {"description size 123", [](Header& h) { h.size = 123; }},
      {"pixel format size 31", [](Header& h) { h.formatSize = 31; }},
      {"width 0", [](Header& h) { h.width = 0; }},
      {"height above 16384", [](Header& h) { h.height = 16385; }},
      {"more pixels than the budget", [](Header& h) { h.width = h.height = 16384; }},
      {"more levels than halvings", [](Header& h) { h.flags |= 0x20000, h.mipCount = 4; }},
      {"a cube map", [](Header& h) { h.caps2 = 0xFE00; }},
      {"a volume", [](Header& h) { h.flags |= 0x800000, h.depth = 4, h.caps2 = 0x200000; }},
      {"palette indices", [](Header& h) { h.formatFlags = 0x20, h.bits = 8; }},
      {"luminance", [](Header& h) { h.formatFlags = 0x20000, h.bits = 8, h.red = 0xFF; }},
      {"an unknown FourCC", [](Header& h) { h.formatFlags = 4, h.fourCC = win::MakeFourCC('A', 'T', 'I', '1'); }},
      {"a DX10 header", [](Header& h) { h.formatFlags = 4, h.fourCC = win::MakeFourCC('D', 'X', '1', '0'); }},
      {"masks that overlap", [](Header& h) { h.green = 0xFFFF00; }},
      {"no colour masks", [](Header& h) { h.red = h.green = h.blue = 0; }},
      {"12 bits a pixel", [](Header& h) { h.bits = 12, h.red = 0xF00, h.green = 0xF0, h.blue = 0xF; }},
  };
  for (const auto& c : refused) {
    Header h = good;
    c.damage(h);
    EXPECT_EQ(load(DdsFile(h, pixels)), 10003u) << c.what;
  }
  // Data missing: a level cut short, a whole level missing; refused before a surface is made.
  EXPECT_EQ(load(DdsFile(good, std::vector<uint8_t>(63, 0))), 10004u);
  Header chain = good;
  chain.flags |= 0x20000, chain.mipCount = 3, chain.caps = 0x401008;
  EXPECT_EQ(load(DdsFile(chain, std::vector<uint8_t>(64 + 16, 0))), 10004u);
  EXPECT_EQ(load(DdsFile(chain, std::vector<uint8_t>(64 + 16 + 4, 0))), 0u);
  Header huge = good;  // a DXT1 header of 16384 x 4096 with a few bytes of data
  huge.formatFlags = 4, huge.fourCC = win::FOURCC_DXT1, huge.width = 16384, huge.height = 4096;
  EXPECT_EQ(load(DdsFile(huge, pixels)), 10004u);
  EXPECT_EQ(win::LiveSurfaceCount(), 1u) << "only the primary surface";
}

TEST_F(DdsImageTest, ThePublicCorpusLoadsWithImageMagicksPixelsOrFailsCleanly) {
  VX_CORPUS_OR_SKIP(folder, "dds");
  // DXT1, DXT3, DXT5 and RGB files load; formats this display has no surface for (DX10, ATI and
  // BC4 to BC7, palettes, luminance) and damaged headers fail.
  const std::set<std::string> loadable = {"bgr15.dds",
                                          "dxt1-rgb-4bbp-noalpha_MipMaps-1.dds",
                                          "dxt3-argb-8bbp-explicitalpha_MipMaps-1.dds",
                                          "dxt5-argb-8bbp-interpolatedalpha_MipMaps-1.dds",
                                          "dxt5-colorblock-alpha-issue-4142.dds",
                                          "hopper.dds"};
  const std::vector<std::string> files = FilesIn(folder, ".dds");
  ASSERT_GE(files.size(), 30u);
  std::map<std::string, Picture> pictures;
  for (const std::string& path : files) {
    SCOPED_TRACE(BaseName(path));
    IDirectDrawSurface7* loaded = LoadImageByExtension(path);
    EXPECT_EQ(loaded != nullptr, loadable.count(BaseName(path)) == 1);
    if (!loaded) continue;
    pictures[BaseName(path)] = PictureOf(loaded, true);
    std::vector<IDirectDrawSurface7*> levels = MipLevels(loaded);
    EXPECT_EQ(levels.size(), BaseName(path) == "hopper.dds" ? 8u : 1u);
    ReleaseLevels(levels);
    loaded->Release();
  }
  // The 15-bit file holds the picture of hopper.dds in five bits a channel.
  EXPECT_LE(LargestDifference(pictures["bgr15.dds"], pictures["hopper.dds"], false), 8);
  if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick is not installed: pixels not cross-checked";
  for (const auto& [name, picture] : pictures) {
    if (name == "bgr15.dds") continue;  // ImageMagick reads no 16-bit DDS files
    const std::optional<Picture> theirs = ImageMagickReads(folder + "/" + name);
    ASSERT_TRUE(theirs) << name;
    EXPECT_LE(LargestDifference(picture, *theirs, true), kDecoderSlack) << name;
  }
}

TEST_F(DdsImageTest, AFailedSaveKeepsTheOldFileAndReleasesWhatItMade) {
  IDirectDrawSurface7* source = SmoothSurface(16, 16);
  ASSERT_TRUE(source);
  const size_t surfaces = win::LiveSurfaceCount();
  temp.Write("old.dds", "old contents");
  win::SetWriteFailureForTesting(true);
  EXPECT_EQ(SaveImageByExtension(source, temp.path() + "old.dds"), 0);
  win::SetWriteFailureForTesting(false);
  EXPECT_EQ(temp.Read("old.dds"), "old contents");
  EXPECT_EQ(win::LiveSurfaceCount(), surfaces);
  // The compressed texture or the working copy cannot be made.
  for (const DWORD caps : {DWORD(win::DDSCAPS_TEXTURE), DWORD(win::DDSCAPS_OFFSCREENPLAIN)}) {
    win::FailSurfaceCreations(1, win::DDERR_OUTOFMEMORY, caps);
    EXPECT_EQ(SaveImageByExtension(source, temp.path() + "old.dds"), 0);
    win::ResetDisplayFaults();
  }
  EXPECT_EQ(temp.Read("old.dds"), "old contents");
  EXPECT_EQ(win::LiveSurfaceCount(), surfaces);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.path()), {}), 1) << "no temporary file left";
  source->Release();
}

}  // namespace
}  // namespace vx::test
