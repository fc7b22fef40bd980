// DIB drawing of the BMP variants from small hand-made buffers, damaged and short buffers,
// stretched and mirrored blits, and bitmaps loaded from files by the names programs give them.
#include <string>
#include <vector>

#include "gdi_test_support.h"
#include "platform/win/files.h"
#include "tests/support/temp_folder.h"

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
constexpr uint32_t kRed = 0x00FF0000, kGreen = 0x0000FF00, kBlue = 0x000000FF, kWhite = 0x00FFFFFF;
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
  // 1 bit: index 1 is green, index 0 red.
  cases.push_back({"1-bit",
                   WithPalette(InfoHeader(2, 2, 1, BI_RGB, 2), 2),
                   {0x40, 0, 0, 0, 0x80, 0, 0, 0},
                   {kGreen, kRed, kRed, kGreen}});
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
  // A delta skips pixels, which keep what was there.
  cases.push_back({"RLE8 delta",
                   WithPalette(InfoHeader(2, 2, 8, BI_RLE8, 4), 4),
                   {1, 2, 0, 2, 0, 1, 1, 1, 0, 1},
                   {kFill, kGreen, kBlue, kFill}});
  cases.push_back({"RLE4", WithPalette(InfoHeader(2, 2, 4, BI_RLE4, 4), 4), {2, 0x23, 0, 0, 2, 0x01, 0, 1}, kPicture});
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
    StretchDIBits(dc, 0, 0, 2, 2, 0, 0, 2, 2, exact.data(), info, DIB_RGB_COLORS, SRCCOPY, palette.size(),
                  exact.size());
  }
  for (int y = 0; y < 4; ++y)
    for (int x = 2; x < 8; ++x) EXPECT_EQ(GetPixel(dc, x, y), RGB(0x12, 0x34, 0x56)) << x << "," << y;
  EXPECT_EQ(GetPixel(dc, 1, 0), RGB(255, 255, 255)) << "a long run fills its row up to the end";

  // Uncompressed rows that the data does not hold are not drawn.
  const Bytes header = InfoHeader(2, 2, 24, BI_RGB);
  const Bytes oneRow = {0, 0, 0xFF, 0, 0, 0xFF, 0, 0};  // the bottom row, red
  EXPECT_EQ(SetDIBitsToDevice(dc, 4, 0, 2, 2, 0, 0, 0, 2, oneRow.data(),
                              reinterpret_cast<const BITMAPINFO*>(header.data()), DIB_RGB_COLORS, header.size(),
                              oneRow.size()),
            2);
  EXPECT_EQ(GetPixel(dc, 4, 1), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dc, 4, 0), RGB(0x12, 0x34, 0x56));

  // Headers that lie: a colour table beyond the block, sizes beyond the block, unknown depths.
  Bytes shortTable = InfoHeader(2, 2, 8, BI_RGB, 256);
  shortTable.resize(44, 0xFF);  // one entry of 256: white
  const Bytes indices = {0, 7, 0, 0, 7, 0, 0, 0};
  EXPECT_EQ(StretchDIBits(dc, 0, 0, 2, 2, 0, 0, 2, 2, indices.data(),
                          reinterpret_cast<const BITMAPINFO*>(shortTable.data()), DIB_RGB_COLORS, SRCCOPY,
                          shortTable.size(), indices.size()),
            2);
  EXPECT_EQ(GetPixel(dc, 1, 0), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0, 0, 0)) << "a missing table entry reads as black";
  const Bytes bad[] = {InfoHeader(2, 2, 7, BI_RGB),   InfoHeader(0, 2, 24, BI_RGB),
                       InfoHeader(2, 2, 24, BI_RLE8), InfoHeader(2, -2, 8, BI_RLE8),
                       InfoHeader(2, 2, 24, BI_JPEG), InfoHeader(100000, 100000, 1, BI_RGB)};
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

TEST_F(GdiDibTest, BlitsStretchAndMirrorAcrossDepths) {
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
  }
}

// The colour of pixel (x, y) of a bitmap, read through a memory context.
COLORREF PixelOf(HBITMAP bitmap, int x, int y) {
  HDC memory = CreateCompatibleDC(nullptr);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  const COLORREF colour = GetPixel(memory, x, y);
  SelectObject(memory, previous);
  DeleteDC(memory);
  return colour;
}

TEST_F(GdiDibTest, FilesAreFoundByTheNameAProgramGives) {
  Bytes file = {'B', 'M'};
  Put32(file, 54 + 16);
  Put32(file, 0);
  Put32(file, 54);
  const Bytes header = InfoHeader(2, 2, 24, BI_RGB);
  const Bytes rows = {0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0, 0xFF, 0, 0, 0};  // bottom row first
  file.insert(file.end(), header.begin(), header.end());
  file.insert(file.end(), rows.begin(), rows.end());
  test::TempFolder folder;
  const std::string sub = folder.MakeFolder("Media");
  ASSERT_TRUE(WriteWholeFile(sub + "/Tile.bmp", file.data(), file.size()));

  HBITMAP bitmap = static_cast<HBITMAP>(LoadImageA(nullptr, (folder.path() + "media\\TILE.BMP").c_str(), IMAGE_BITMAP,
                                                   0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(PixelOf(bitmap, 0, 0), RGB(255, 0, 0));
  EXPECT_EQ(PixelOf(bitmap, 1, 1), RGB(255, 255, 255));
  DeleteObject(bitmap);

  EXPECT_EQ(LoadImageA(nullptr, (sub + "/none.bmp").c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
  EXPECT_EQ(LoadImageA(nullptr, sub.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr) << "a folder";
  // No bitmap resource of this id is compiled in; a name that is not an id is no resource at all.
  EXPECT_EQ(LoadImageA(nullptr, MAKEINTRESOURCEA(30999), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION), nullptr);
  EXPECT_EQ(LoadImageA(nullptr, "tile.bmp", IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION), nullptr);
}

// A file is refused before anything is allocated when the rows its header declares cannot be in
// it: short of whole uncompressed rows, or short of the runs and moves that reach the last row.
TEST_F(GdiDibTest, FilesWhoseRowsCannotBeInThemAreRefused) {
  test::TempFolder folder;
  const auto file = [](const Bytes& info, const Bytes& bits) {
    Bytes out = {'B', 'M'};
    Put32(out, static_cast<uint32_t>(14 + info.size() + bits.size()));
    Put32(out, 0);
    Put32(out, static_cast<uint32_t>(14 + info.size()));
    out.insert(out.end(), info.begin(), info.end());
    out.insert(out.end(), bits.begin(), bits.end());
    return out;
  };
  const auto loads = [&](const Bytes& bytes) {
    const std::string path = folder.path() + "rows.bmp";
    EXPECT_TRUE(WriteWholeFile(path, bytes.data(), bytes.size()));
    auto* bitmap = static_cast<HBITMAP>(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    if (bitmap) DeleteObject(bitmap);
    return bitmap != nullptr;
  };
  const Bytes info8 = WithPalette(InfoHeader(4, 16581375, 8, BI_RGB, 4), 4);
  EXPECT_FALSE(loads(file(info8, {0}))) << "a quarter of a gigabyte declared, one byte there";
  const Bytes small = WithPalette(InfoHeader(4, 3, 8, BI_RGB, 4), 4);
  EXPECT_FALSE(loads(file(small, Bytes(11, 1)))) << "a byte of the last row missing";
  EXPECT_TRUE(loads(file(small, Bytes(12, 1))));
  const Bytes rle = WithPalette(InfoHeader(4, 16581375, 8, BI_RLE8, 4), 4);
  EXPECT_FALSE(loads(file(rle, {0, 1}))) << "no run or move can reach the rows";
  for (const DibCase& c : Variants()) {
    if (c.info.size() >= 20 && (c.info[16] == BI_RLE8 || c.info[16] == BI_RLE4)) {
      EXPECT_TRUE(loads(file(c.info, c.bits))) << c.name;
    }
  }
}

}  // namespace
}  // namespace vx::win::testing
