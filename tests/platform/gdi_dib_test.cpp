// DIB drawing of every BMP variant from small hand-made buffers and from the BMP suite's good
// files, damaged and short buffers, stretched and mirrored blits, pixels, memory contexts and
// bitmaps loaded from files.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gdi_test_support.h"

namespace vx::win::testing {
namespace {

using Bytes = std::vector<uint8_t>;
// The device-context calls, not the lock-based helpers of the surface tests.
using ::vx::win::GetPixel;
using ::vx::win::SetPixel;

void Put16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

Bytes InfoHeader(int32_t width, int32_t height, uint16_t bits, uint32_t compression, uint32_t colorsUsed = 0) {
  Bytes b;
  Put32(b, 40);
  Put32(b, static_cast<uint32_t>(width));
  Put32(b, static_cast<uint32_t>(height));
  Put16(b, 1);
  Put16(b, bits);
  Put32(b, compression);
  for (int i = 0; i < 5; ++i) Put32(b, i == 3 ? colorsUsed : 0);
  return b;
}

// The test picture is 2x2: red, green on top; blue, white below. Palette indices 0 to 3 are those.
constexpr uint32_t kFill = 0x00123456;
constexpr uint32_t kRed = 0x00FF0000, kGreen = 0x0000FF00, kBlue = 0x000000FF, kWhite = 0x00FFFFFF, kBlack = 0;
const std::vector<uint32_t> kPicture = {kRed, kGreen, kBlue, kWhite};

Bytes WithPalette(Bytes header, size_t entries, bool core = false) {
  const uint32_t colors[] = {kRed, kGreen, kBlue, kWhite};
  for (size_t i = 0; i < entries; ++i) {
    const uint32_t c = i < 4 ? colors[i] : 0;
    header.push_back(static_cast<uint8_t>(c));
    header.push_back(static_cast<uint8_t>(c >> 8));
    header.push_back(static_cast<uint8_t>(c >> 16));
    if (!core) header.push_back(0);
  }
  return header;
}

struct DibCase {
  const char* name;
  Bytes info;
  Bytes bits;
  std::vector<uint32_t> expected;  // the 2x2 picture, top row first
};

std::vector<DibCase> Variants() {
  std::vector<DibCase> cases;
  // Bottom-up rows: the bottom row (blue, white) comes first.
  cases.push_back({"8-bit", WithPalette(InfoHeader(2, 2, 8, BI_RGB, 4), 4), {2, 3, 0, 0, 0, 1, 0, 0}, kPicture});
  cases.push_back({"4-bit", WithPalette(InfoHeader(2, 2, 4, BI_RGB), 16), {0x23, 0, 0, 0, 0x01, 0, 0, 0}, kPicture});
  // 1 bit: index 1 is green, index 0 red.
  cases.push_back({"1-bit", WithPalette(InfoHeader(2, 2, 1, BI_RGB, 2), 2), {0x40, 0, 0, 0, 0x80, 0, 0, 0},
                   {kGreen, kRed, kRed, kGreen}});
  cases.push_back({"24-bit", InfoHeader(2, 2, 24, BI_RGB),
                   {0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0, 0xFF, 0, 0, 0},
                   kPicture});
  cases.push_back({"24-bit top-down", InfoHeader(2, -2, 24, BI_RGB),
                   {0, 0, 0xFF, 0, 0xFF, 0, 0, 0, 0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0},
                   kPicture});
  {
    Bytes bits;
    for (uint32_t c : {kBlue, kWhite, kRed, kGreen}) Put32(bits, c | 0xAB000000u);  // the fourth byte is ignored
    cases.push_back({"32-bit", InfoHeader(2, 2, 32, BI_RGB), bits, kPicture});
  }
  {
    Bytes bits;
    for (uint32_t v : {0x001Fu, 0x7FFFu, 0x7C00u, 0x03E0u}) Put16(bits, v);
    cases.push_back({"16-bit 555", InfoHeader(2, 2, 16, BI_RGB), bits, kPicture});
  }
  {
    Bytes info = InfoHeader(2, 2, 16, BI_BITFIELDS);
    for (uint32_t m : {0xF800u, 0x07E0u, 0x001Fu}) Put32(info, m);
    Bytes bits;
    for (uint32_t v : {0x001Fu, 0xFFFFu, 0xF800u, 0x07E0u}) Put16(bits, v);
    cases.push_back({"16-bit 565 bitfields", info, bits, kPicture});
  }
  {
    // A V4-sized header with red in the low byte, blue in the third.
    Bytes info = InfoHeader(2, 2, 32, BI_BITFIELDS);
    info[0] = 108;
    for (uint32_t m : {0x000000FFu, 0x0000FF00u, 0x00FF0000u, 0u}) Put32(info, m);
    info.resize(108, 0);
    Bytes bits;
    for (uint32_t v : {0x00FF0000u, 0x00FFFFFFu, 0x000000FFu, 0x0000FF00u}) Put32(bits, v);
    cases.push_back({"32-bit bitfields in a V4 header", info, bits, kPicture});
  }
  {
    Bytes core;
    Put32(core, 12);
    Put16(core, 2);
    Put16(core, 2);
    Put16(core, 1);
    Put16(core, 8);
    cases.push_back({"core 8-bit", WithPalette(core, 256, true), {2, 3, 0, 0, 0, 1, 0, 0}, kPicture});
  }
  cases.push_back({"RLE8", WithPalette(InfoHeader(2, 2, 8, BI_RLE8, 4), 4), {1, 2, 1, 3, 0, 0, 1, 0, 1, 1, 0, 1},
                   kPicture});
  // A delta skips pixels, which keep what was there.
  cases.push_back({"RLE8 delta", WithPalette(InfoHeader(2, 2, 8, BI_RLE8, 4), 4), {1, 2, 0, 2, 0, 1, 1, 1, 0, 1},
                   {kFill, kGreen, kBlue, kFill}});
  cases.push_back({"RLE8 run", WithPalette(InfoHeader(2, 2, 8, BI_RLE8, 4), 4), {2, 3, 0, 0, 2, 1, 0, 1},
                   {kGreen, kGreen, kWhite, kWhite}});
  cases.push_back({"RLE4", WithPalette(InfoHeader(2, 2, 4, BI_RLE4, 4), 4), {2, 0x23, 0, 0, 2, 0x01, 0, 1},
                   kPicture});
  return cases;
}

class GdiDibTest : public GdiTest {};

TEST_F(GdiDibTest, EveryVariantDrawsItsPicture) {
  for (const DibCase& c : Variants()) {
    for (bool stretch : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (stretch ? " stretched" : ""));
      Ref<DirectDrawSurface> surface = Canvas(3, 3, 32, kFill);
      {
        SurfaceDc dc(surface.get());
        const auto* info = reinterpret_cast<const BITMAPINFO*>(c.info.data());
        const int lines = stretch ? StretchDIBits(dc, 0, 0, 2, 2, 0, 0, 2, 2, c.bits.data(), info, DIB_RGB_COLORS,
                                                  SRCCOPY, c.info.size(), c.bits.size())
                                  : SetDIBitsToDevice(dc, 0, 0, 2, 2, 0, 0, 0, 2, c.bits.data(), info, DIB_RGB_COLORS,
                                                      c.info.size(), c.bits.size());
        EXPECT_EQ(lines, 2);
      }
      const std::vector<uint32_t> pixels = Pixels(surface.get());
      EXPECT_EQ((std::vector<uint32_t>{pixels[0], pixels[1], pixels[3], pixels[4]}), c.expected);
      EXPECT_EQ(pixels[2], kFill) << "nothing drawn outside the picture";
      EXPECT_EQ(pixels[8], kFill);
    }
  }
}

TEST_F(GdiDibTest, DrawingStaysInsideTheBuffersItIsGiven) {
  Ref<DirectDrawSurface> surface = Canvas(8, 4, 32, kFill);
  SurfaceDc dc(surface.get());
  const Bytes palette = WithPalette(InfoHeader(2, 2, 8, BI_RLE8, 4), 4);
  const auto* info = reinterpret_cast<const BITMAPINFO*>(palette.data());
  // Runs longer than a row, an absolute run and a delta past the end, a buffer cut inside a run.
  const Bytes runs[] = {{255, 1, 255, 2, 0, 0, 200, 3}, {0, 200, 1, 2}, {0, 2, 250, 250, 1, 1}, {0, 5, 1}, {3}};
  for (const Bytes& bits : runs) {
    std::vector<uint8_t> exact(bits.begin(), bits.end());  // ASan sees a read past the end
    StretchDIBits(dc, 0, 0, 2, 2, 0, 0, 2, 2, exact.data(), info, DIB_RGB_COLORS, SRCCOPY, palette.size(), exact.size());
  }
  for (int y = 0; y < 4; ++y)
    for (int x = 2; x < 8; ++x) EXPECT_EQ(GetPixel(dc, x, y), RGB(0x12, 0x34, 0x56)) << x << "," << y;
  EXPECT_EQ(GetPixel(dc, 1, 0), RGB(255, 255, 255)) << "a long run fills its row up to the end";

  // Uncompressed rows that the data does not hold are not drawn.
  const Bytes header = InfoHeader(2, 2, 24, BI_RGB);
  const Bytes oneRow = {0, 0, 0xFF, 0, 0, 0xFF, 0, 0};  // the bottom row, red
  EXPECT_EQ(SetDIBitsToDevice(dc, 4, 0, 2, 2, 0, 0, 0, 2, oneRow.data(), reinterpret_cast<const BITMAPINFO*>(header.data()),
                              DIB_RGB_COLORS, header.size(), oneRow.size()),
            2);
  EXPECT_EQ(GetPixel(dc, 4, 1), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dc, 4, 0), RGB(0x12, 0x34, 0x56));

  // Headers that lie: a colour table beyond the block, sizes beyond the block, unknown depths.
  Bytes shortTable = InfoHeader(2, 2, 8, BI_RGB, 256);
  shortTable.resize(44, 0xFF);  // one entry of 256: white
  const Bytes indices = {0, 7, 0, 0, 7, 0, 0, 0};
  EXPECT_EQ(StretchDIBits(dc, 0, 0, 2, 2, 0, 0, 2, 2, indices.data(), reinterpret_cast<const BITMAPINFO*>(shortTable.data()),
                          DIB_RGB_COLORS, SRCCOPY, shortTable.size(), indices.size()),
            2);
  EXPECT_EQ(GetPixel(dc, 1, 0), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0, 0, 0)) << "a missing table entry reads as black";
  const Bytes bad[] = {InfoHeader(2, 2, 7, BI_RGB), InfoHeader(0, 2, 24, BI_RGB), InfoHeader(2, 2, 24, BI_RLE8),
                       InfoHeader(2, -2, 8, BI_RLE8), InfoHeader(2, 2, 24, BI_JPEG), InfoHeader(100000, 100000, 1, BI_RGB)};
  for (const Bytes& h : bad)
    EXPECT_EQ(StretchDIBits(dc, 0, 0, 2, 2, 0, 0, 2, 2, indices.data(), reinterpret_cast<const BITMAPINFO*>(h.data()),
                            DIB_RGB_COLORS, SRCCOPY, h.size(), indices.size()),
              0);
  const Bytes whole = InfoHeader(2, 2, 24, BI_RGB);
  EXPECT_EQ(StretchDIBits(dc, 0, 0, 2, 2, 0, 0, 2, 2, indices.data(), reinterpret_cast<const BITMAPINFO*>(whole.data()),
                          DIB_RGB_COLORS, SRCCOPY, 20, indices.size()),
            0)
      << "a header longer than its block";
}

Bytes ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

TEST_F(GdiDibTest, BmpSuiteFilesDrawTheSamePicture) {
  const std::string folder = std::string(VX_TESTDATA_DIR) + "/images/bmp/g/";
  if (!std::filesystem::exists(folder + "rgb24.bmp")) GTEST_SKIP() << "no BMP suite";
  auto draw = [&](const std::string& name) {
    const Bytes file = ReadFile(folder + name);
    const uint32_t offset = file[10] | (file[11] << 8) | (file[12] << 16) | (uint32_t{file[13]} << 24);
    Ref<DirectDrawSurface> surface = Canvas(127, 64, 32, 0);
    {
      SurfaceDc dc(surface.get());
      const auto* info = reinterpret_cast<const BITMAPINFO*>(file.data() + 14);
      EXPECT_EQ(SetDIBitsToDevice(dc, 0, 0, 127, 64, 0, 0, 0, 64, file.data() + offset, info, DIB_RGB_COLORS,
                                  offset - 14, file.size() - offset),
                64);
      EXPECT_EQ(StretchDIBits(dc, 0, 0, 127, 64, 0, 0, 127, 64, file.data() + offset, info, DIB_RGB_COLORS, SRCCOPY,
                              offset - 14, file.size() - offset),
                64);
    }
    return Pixels(surface.get());
  };
  // The palettised files hold a dithered picture, the true-colour ones the exact one.
  const std::pair<const char*, std::vector<const char*>> families[] = {
      {"pal8.bmp", {"pal8rle.bmp", "pal8topdown.bmp", "pal8os2.bmp", "pal8v4.bmp", "pal8v5.bmp", "pal8-0.bmp"}},
      {"rgb24.bmp", {"rgb32.bmp", "rgb32bf.bmp", "rgb24pal.bmp"}},
  };
  for (const auto& [first, others] : families) {
    const std::vector<uint32_t> reference = draw(first);
    for (const char* name : others) {
      SCOPED_TRACE(name);
      EXPECT_EQ(draw(name), reference);
    }
  }
}

TEST_F(GdiDibTest, BlitsStretchMirrorAndCrossContexts) {
  Ref<DirectDrawSurface> source = Canvas(2, 2, 32, 0);
  {
    SurfaceDc dc(source.get());
    const COLORREF colors[] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 255)};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(SetPixel(dc, i % 2, i / 2, colors[i]), colors[i]);
    EXPECT_EQ(SetPixel(dc, 2, 0, 0), CLR_INVALID);
    EXPECT_EQ(GetPixel(dc, -1, 0), CLR_INVALID);
  }
  Ref<DirectDrawSurface> target = Canvas(4, 4, 16, 0);
  {
    SurfaceDc from(source.get());
    SurfaceDc to(target.get());
    EXPECT_TRUE(StretchBlt(to, 0, 0, 4, 4, from, 0, 0, 2, 2, SRCCOPY));
    EXPECT_EQ(GetPixel(to, 1, 1), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(to, 3, 0), RGB(0, 255, 0));
    EXPECT_EQ(GetPixel(to, 0, 3), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(to, 2, 2), RGB(255, 255, 255));
    EXPECT_TRUE(StretchBlt(to, 0, 0, 2, 1, from, 2, 0, -2, 1, SRCCOPY)) << "mirrored";
    EXPECT_EQ(GetPixel(to, 0, 0), RGB(0, 255, 0));
    EXPECT_EQ(GetPixel(to, 1, 0), RGB(255, 0, 0));
    EXPECT_FALSE(BitBlt(to, 0, 0, 1, 1, from, 0, 0, 0x00EE0086)) << "only copies";
    // At 16 bits a grey is stored as the nearest 5-6-5 value, which reads back as it was stored.
    const COLORREF stored = SetPixel(to, 0, 0, RGB(0x80, 0x80, 0x80));
    EXPECT_EQ(stored, GetPixel(to, 0, 0));
    EXPECT_NE(stored, RGB(0x80, 0x80, 0x80));
  }
  // Through a memory context and back out as DIB rows.
  {
    SurfaceDc from(source.get());
    HDC memory = CreateCompatibleDC(from);
    HBITMAP bitmap = CreateCompatibleBitmap(from, 2, 2);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    ASSERT_NE(previous, nullptr);
    EXPECT_TRUE(BitBlt(memory, 0, 0, 2, 2, from, 0, 0, SRCCOPY));
    HDC other = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SelectObject(other, bitmap), nullptr) << "a bitmap is in one context at a time";
    EXPECT_TRUE(DeleteDC(other));
    SelectObject(memory, previous);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 2;
    info.bmiHeader.biHeight = 2;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    uint8_t rows[16] = {};
    EXPECT_EQ(GetDIBits(memory, bitmap, 0, 2, rows, &info, DIB_RGB_COLORS), 2);
    EXPECT_EQ((Bytes(rows, rows + 8)), (Bytes{0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0})) << "bottom row first";
    EXPECT_EQ((Bytes(rows + 8, rows + 16)), (Bytes{0, 0, 0xFF, 0, 0xFF, 0, 0, 0}));
    BITMAP described{};
    EXPECT_EQ(GetObjectA(bitmap, sizeof described, &described), static_cast<int>(sizeof described));
    EXPECT_EQ(described.bmWidth, 2);
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_TRUE(DeleteDC(memory));
  }
}

TEST_F(GdiDibTest, PalettisedSurfacesTakeTheNearestEntry) {
  PALETTEENTRY entries[256] = {};
  entries[1] = {255, 0, 0, 0};
  entries[2] = {0, 0, 250, 0};
  DirectDrawPalette* palette = nullptr;
  ASSERT_EQ(dd_->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &palette, nullptr), DD_OK);
  Ref<DirectDrawSurface> surface = Canvas(4, 1, 8, 0);
  surface->SetPalette(palette);
  palette->Release();
  {
    SurfaceDc dc(surface.get());
    EXPECT_EQ(SetPixel(dc, 0, 0, RGB(0, 0, 255)), RGB(0, 0, 250));
    EXPECT_EQ(SetPixel(dc, 1, 0, RGB(200, 10, 0)), RGB(255, 0, 0));
  }
  EXPECT_EQ(Pixels(surface.get()), (std::vector<uint32_t>{2, 1, 0, 0}));
}

TEST_F(GdiDibTest, BitmapFilesLoadWithTheirColourTables) {
  const std::string file = std::string(VX_TESTDATA_DIR) + "/images/bmp/g/pal8.bmp";
  if (!std::filesystem::exists(file)) GTEST_SKIP() << "no BMP suite";
  HBITMAP bitmap = static_cast<HBITMAP>(LoadImageA(nullptr, file.c_str(), IMAGE_BITMAP, 0, 0,
                                                   LR_LOADFROMFILE | LR_CREATEDIBSECTION));
  ASSERT_NE(bitmap, nullptr);
  BITMAP described{};
  GetObjectA(bitmap, sizeof described, &described);
  EXPECT_EQ(described.bmWidth, 127);
  EXPECT_EQ(described.bmHeight, 64);
  EXPECT_EQ(described.bmBitsPixel, 8);
  HDC memory = CreateCompatibleDC(nullptr);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  RGBQUAD table[256];
  EXPECT_EQ(GetDIBColorTable(memory, 0, 256, table), 252u);

  // Drawn onto a surface it matches the file drawn as a DIB.
  Ref<DirectDrawSurface> surface = Canvas(127, 64, 32, 0);
  {
    SurfaceDc dc(surface.get());
    EXPECT_TRUE(BitBlt(dc, 0, 0, 127, 64, memory, 0, 0, SRCCOPY));
  }
  const std::vector<uint32_t> loaded = Pixels(surface.get());
  const Bytes data = ReadFile(file);
  const uint32_t offset = data[10] | (data[11] << 8);
  {
    SurfaceDc dc(surface.get());
    StretchDIBits(dc, 0, 0, 127, 64, 0, 0, 127, 64, data.data() + offset, reinterpret_cast<const BITMAPINFO*>(data.data() + 14),
                  DIB_RGB_COLORS, SRCCOPY, offset - 14, data.size() - offset);
  }
  EXPECT_EQ(Pixels(surface.get()), loaded);
  SelectObject(memory, previous);
  DeleteDC(memory);
  DeleteObject(bitmap);
  EXPECT_EQ(LoadImageA(nullptr, "/nonexistent.bmp", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
}

}  // namespace
}  // namespace vx::win::testing
