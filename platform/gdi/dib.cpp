// Device-independent bitmaps: decoding of every BMP variant (core and info headers, 1 to 32 bits,
// RLE4 and RLE8, bitfields, either row order) within the byte counts given, drawing them into a
// context with or without stretching, reading a bitmap back as DIB rows, and loading BMP files
// and bitmap resources into bitmaps.
#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/gdi/gdi_internal.h"
#include "platform/win/files.h"
#include "platform/win/resources.h"

namespace vx::win {

namespace {

constexpr uint64_t kMaxDibPixels = uint64_t{1} << 26;

uint32_t Read32(const uint8_t* at) {
  return uint32_t{at[0]} | (uint32_t{at[1]} << 8) | (uint32_t{at[2]} << 16) | (uint32_t{at[3]} << 24);
}
uint16_t Read16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }

struct Channel {
  uint32_t mask = 0;
  uint32_t shift = 0;
  uint32_t max = 0;
  uint32_t Expand(uint32_t pixel) const {
    if (!max) return 0;
    return static_cast<uint32_t>((uint64_t{(pixel & mask) >> shift} * 255 + max / 2) / max);
  }
};

Channel ChannelOf(uint32_t mask) {
  Channel channel;
  channel.mask = mask;
  if (!mask) return channel;
  while (!((mask >> channel.shift) & 1)) ++channel.shift;
  channel.max = mask >> channel.shift;
  // Masks with holes count as their full span; the expansion then stays within 8 bits.
  return channel;
}

uint32_t Argb(uint32_t r, uint32_t g, uint32_t b) { return 0xFF000000u | (r << 16) | (g << 8) | b; }

struct DibLayout {
  int64_t width = 0;
  int64_t height = 0;  // absolute
  bool topDown = false;
  uint32_t bitCount = 0;
  uint32_t compression = BI_RGB;
  Channel red, green, blue;
  std::vector<uint32_t> palette;  // ARGB
  std::vector<RGBQUAD> colorTable;
};

bool ReadLayout(const uint8_t* info, size_t infoBytes, DibLayout* layout) {
  if (!info || infoBytes < 12) return false;
  const uint32_t headerSize = Read32(info);
  if (headerSize > infoBytes || headerSize < 12) return false;
  size_t tableAt = headerSize;
  uint32_t colorsUsed = 0;
  size_t entryBytes = 4;
  if (headerSize == 12) {
    layout->width = Read16(info + 4);
    layout->height = Read16(info + 6);
    layout->bitCount = Read16(info + 10);
    entryBytes = 3;
  } else {
    if (headerSize < 16) return false;
    const auto width = static_cast<int32_t>(Read32(info + 4));
    const auto height = static_cast<int32_t>(Read32(info + 8));
    layout->bitCount = Read16(info + 14);
    layout->compression = headerSize >= 20 ? Read32(info + 16) : BI_RGB;
    colorsUsed = headerSize >= 36 ? Read32(info + 32) : 0;
    if (width <= 0 || height == INT32_MIN) return false;
    layout->width = width;
    layout->topDown = height < 0;
    layout->height = height < 0 ? -int64_t{height} : height;
  }
  const uint32_t bits = layout->bitCount;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  switch (layout->compression) {
    case BI_RGB: break;
    case BI_RLE8:
      if (bits != 8 || layout->topDown) return false;
      break;
    case BI_RLE4:
      if (bits != 4 || layout->topDown) return false;
      break;
    case BI_BITFIELDS:
      if (bits != 16 && bits != 32) return false;
      break;
    default: return false;
  }
  // A picture without rows or columns has no pixels to hand out, and a caller asking for one would
  // read outside the bitmap.
  if (layout->width <= 0 || layout->height <= 0 ||
      static_cast<uint64_t>(layout->width) * static_cast<uint64_t>(layout->height) > kMaxDibPixels)
    return false;

  if (layout->compression == BI_BITFIELDS) {
    // The masks follow a 40-byte header; later headers hold them at the same place inside.
    constexpr size_t masksAt = 40;
    if (infoBytes < masksAt + 12) return false;
    layout->red = ChannelOf(Read32(info + masksAt));
    layout->green = ChannelOf(Read32(info + masksAt + 4));
    layout->blue = ChannelOf(Read32(info + masksAt + 8));
    if (headerSize == 40) tableAt += 12;
  } else if (bits == 16) {
    layout->red = ChannelOf(0x7C00), layout->green = ChannelOf(0x03E0), layout->blue = ChannelOf(0x001F);
  } else if (bits >= 24) {
    layout->red = ChannelOf(0xFF0000), layout->green = ChannelOf(0xFF00), layout->blue = ChannelOf(0xFF);
  }
  if (bits <= 8) {
    const uint32_t full = 1u << bits;
    uint32_t count = colorsUsed && colorsUsed < full ? colorsUsed : full;
    // A table cut short by the block keeps the entries that are there; the rest read as black.
    const size_t available = tableAt < infoBytes ? (infoBytes - tableAt) / entryBytes : 0;
    count = static_cast<uint32_t>(std::min<size_t>(count, available));
    layout->palette.assign(full, 0xFF000000u);
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* entry = info + tableAt + i * entryBytes;
      layout->palette[i] = Argb(entry[2], entry[1], entry[0]);
      layout->colorTable.push_back(RGBQUAD{entry[0], entry[1], entry[2], 0});
    }
  }
  return true;
}

uint32_t IndexColor(const DibLayout& layout, uint32_t index) {
  return index < layout.palette.size() ? layout.palette[index] : 0xFF000000u;
}

void DecodeRows(const DibLayout& layout, const uint8_t* bits, size_t bitsBytes, DecodedDib* out) {
  const uint64_t stride = ((static_cast<uint64_t>(layout.width) * layout.bitCount + 31) / 32) * 4;
  const uint64_t rowsPresent = stride ? std::min<uint64_t>(bitsBytes / stride, layout.height) : 0;
  for (uint64_t r = 0; r < rowsPresent; ++r) {
    const uint8_t* row = bits + r * stride;
    const uint64_t y = layout.topDown ? r : layout.height - 1 - r;
    uint32_t* to = out->argb.data() + y * out->width;
    for (int64_t x = 0; x < layout.width; ++x) {
      uint32_t color = 0;
      switch (layout.bitCount) {
        case 1: color = IndexColor(layout, (row[x >> 3] >> (7 - (x & 7))) & 1); break;
        case 4: color = IndexColor(layout, (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF); break;
        case 8: color = IndexColor(layout, row[x]); break;
        case 24: color = Argb(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]); break;
        default: {
          const uint32_t pixel = layout.bitCount == 16 ? Read16(row + x * 2) : Read32(row + x * 4);
          color = Argb(layout.red.Expand(pixel), layout.green.Expand(pixel), layout.blue.Expand(pixel));
        }
      }
      to[x] = color;
    }
  }
}

// Run-length rows run bottom-up. Pixels that the runs skip keep alpha 0: they are not drawn.
void DecodeRle(const DibLayout& layout, const uint8_t* bits, size_t bitsBytes, DecodedDib* out) {
  const bool four = layout.compression == BI_RLE4;
  int64_t x = 0, row = 0;  // row counts from the bottom
  size_t at = 0;
  auto put = [&](uint32_t index) {
    if (x < layout.width && row < layout.height)
      out->argb[static_cast<size_t>((layout.height - 1 - row) * layout.width + x)] = IndexColor(layout, index);
    ++x;
  };
  while (at + 2 <= bitsBytes && row < layout.height) {
    const uint8_t count = bits[at], value = bits[at + 1];
    at += 2;
    if (count > 0) {
      for (uint32_t i = 0; i < count && x < layout.width; ++i) put(four ? ((i & 1) ? value & 0xF : value >> 4) : value);
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++row;
    } else if (value == 1) {  // end of bitmap
      break;
    } else if (value == 2) {  // delta
      if (at + 2 > bitsBytes) break;
      x += bits[at];
      row += bits[at + 1];
      at += 2;
    } else {  // absolute run of `value` pixels, padded to a 16-bit boundary
      const size_t bytes = four ? (value + 1u) / 2 : value;
      const size_t available = std::min(bytes, bitsBytes - at);
      for (uint32_t i = 0; i < value; ++i) {
        const size_t byte = four ? i / 2 : i;
        if (byte >= available) break;
        put(four ? ((i & 1) ? bits[at + byte] & 0xF : bits[at + byte] >> 4) : bits[at + byte]);
      }
      at += (bytes + 1) & ~size_t{1};
    }
  }
}

// Draws the source rectangle of a decoded DIB (top-down coordinates) onto the destination
// rectangle, sampling the nearest pixel; negative sizes mirror. Returns the scan lines drawn.
int DrawDecoded(DeviceContextObject* context, const DecodedDib& dib, int64_t x, int64_t y, int64_t width,
                int64_t height, int64_t srcX, int64_t srcTop, int64_t srcWidth, int64_t srcHeight) {
  const Canvas canvas = context->Target();
  if (!canvas.bits) return 0;
  const bool mirrorX = (width < 0) != (srcWidth < 0), mirrorY = (height < 0) != (srcHeight < 0);
  const int64_t dw = width < 0 ? -width : width, dh = height < 0 ? -height : height;
  const int64_t sw = srcWidth < 0 ? -srcWidth : srcWidth, sh = srcHeight < 0 ? -srcHeight : srcHeight;
  const int64_t dx0 = width < 0 ? x + width : x, dy0 = height < 0 ? y + height : y;
  const int64_t sx0 = srcWidth < 0 ? srcX + srcWidth : srcX, sy0 = srcHeight < 0 ? srcTop + srcHeight : srcTop;
  if (!dw || !dh || !sw || !sh) return 0;
  const int64_t rowFrom = std::max<int64_t>(0, -dy0), rowTo = std::min<int64_t>(dh, int64_t{canvas.height} - dy0);
  const int64_t colFrom = std::max<int64_t>(0, -dx0), colTo = std::min<int64_t>(dw, int64_t{canvas.width} - dx0);
  uint32_t lastArgb = 0, lastPixel = 0;
  bool haveLast = false;
  for (int64_t j = rowFrom; j < rowTo; ++j) {
    const int64_t sy = sy0 + (mirrorY ? dh - 1 - j : j) * sh / dh;
    if (sy < 0 || sy >= dib.height) continue;
    for (int64_t i = colFrom; i < colTo; ++i) {
      const int64_t sx = sx0 + (mirrorX ? dw - 1 - i : i) * sw / dw;
      if (sx < 0 || sx >= dib.width) continue;
      const uint32_t argb = dib.argb[static_cast<size_t>(sy * dib.width + sx)];
      if (!(argb >> 24)) continue;
      if (!haveLast || argb != lastArgb) lastArgb = argb, lastPixel = ArgbToCanvasPixel(canvas, argb), haveLast = true;
      StorePixel(canvas.At(static_cast<uint32_t>(dx0 + i), static_cast<uint32_t>(dy0 + j)), canvas.format.bytesPerPixel,
                 lastPixel);
    }
  }
  return static_cast<int>(std::min<int64_t>(sh, INT32_MAX));
}

// Headers inside files need not be aligned, so they are read byte by byte. Only after a
// successful decode, which has checked the header's size.
bool TopDown(const uint8_t* info) { return Read32(info) != 12 && static_cast<int32_t>(Read32(info + 8)) < 0; }

}  // namespace

bool DecodeDib(const uint8_t* info, size_t infoBytes, const uint8_t* bits, size_t bitsBytes, DecodedDib* out,
               std::vector<RGBQUAD>* colorTable, WORD* bitCount) {
  DibLayout layout;
  if (!ReadLayout(info, infoBytes, &layout)) return false;
  out->width = static_cast<uint32_t>(layout.width);
  out->height = static_cast<uint32_t>(layout.height);
  const bool rle = layout.compression == BI_RLE4 || layout.compression == BI_RLE8;
  out->argb.assign(static_cast<size_t>(out->width) * out->height, 0u);  // alpha 0: not drawn
  if (bits) {
    if (rle)
      DecodeRle(layout, bits, bitsBytes, out);
    else
      DecodeRows(layout, bits, bitsBytes, out);
  }
  if (colorTable) *colorTable = std::move(layout.colorTable);
  if (bitCount) *bitCount = static_cast<WORD>(layout.bitCount);
  return true;
}

int StretchDIBits(HDC dc, int x, int y, int width, int height, int srcX, int srcY, int srcWidth, int srcHeight,
                  const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop, size_t infoBytes, size_t bitsBytes) {
  DeviceContextObject* context = LiveContext(dc);
  if (!context || usage != DIB_RGB_COLORS || rop != SRCCOPY || !info) return 0;
  DecodedDib dib;
  if (!DecodeDib(reinterpret_cast<const uint8_t*>(info), infoBytes, static_cast<const uint8_t*>(bits), bitsBytes, &dib,
                 nullptr, nullptr))
    return 0;
  // The source origin of a bottom-up DIB is its bottom left corner.
  const bool topDown = TopDown(reinterpret_cast<const uint8_t*>(info));
  const int64_t srcTop = topDown ? srcY : int64_t{dib.height} - srcY - srcHeight;
  return DrawDecoded(context, dib, x, y, width, height, srcX, srcTop, srcWidth, srcHeight);
}

int SetDIBitsToDevice(HDC dc, int x, int y, DWORD width, DWORD height, int srcX, int srcY, UINT startScan,
                      UINT scanLines, const void* bits, const BITMAPINFO* info, UINT usage, size_t infoBytes,
                      size_t bitsBytes) {
  DeviceContextObject* context = LiveContext(dc);
  if (!context || usage != DIB_RGB_COLORS || !info || width > INT32_MAX || height > INT32_MAX) return 0;
  DecodedDib dib;
  if (!DecodeDib(reinterpret_cast<const uint8_t*>(info), infoBytes, static_cast<const uint8_t*>(bits), bitsBytes, &dib,
                 nullptr, nullptr))
    return 0;
  const bool topDown = TopDown(reinterpret_cast<const uint8_t*>(info));
  // The data holds scan lines startScan to startScan + scanLines - 1 (counted from the bottom of a
  // bottom-up DIB); the decoder read them as the first rows, so move them to where they belong.
  const uint64_t total = dib.height;
  if (startScan != 0 || scanLines < total) {
    if (startScan >= total || scanLines == 0) return 0;
    const uint64_t lines = std::min<uint64_t>(scanLines, total - startScan);
    DecodedDib placed;
    placed.width = dib.width;
    placed.height = dib.height;
    placed.argb.assign(dib.argb.size(), 0);
    for (uint64_t k = 0; k < lines; ++k) {
      // Row k of the data, in the decoder's top-down output and in the placed image.
      const uint64_t from = topDown ? k : total - 1 - k;
      const uint64_t to = topDown ? startScan + k : total - 1 - (startScan + k);
      std::copy_n(dib.argb.begin() + static_cast<ptrdiff_t>(from * dib.width), dib.width,
                  placed.argb.begin() + static_cast<ptrdiff_t>(to * dib.width));
    }
    dib = std::move(placed);
  }
  const int64_t srcTop = topDown ? srcY : int64_t{dib.height} - srcY - int64_t{height};
  DrawDecoded(context, dib, x, y, width, height, srcX, srcTop, width, height);
  return static_cast<int>(std::min<uint64_t>(scanLines, total));
}

int GetDIBits(HDC dc, HBITMAP bitmap, UINT startScan, UINT scanLines, void* bits, BITMAPINFO* info, UINT usage) {
  GdiObject* live = LiveObject(bitmap);
  if (!LiveContext(dc) || !live || live->kind != GdiKind::Bitmap || !info || usage != DIB_RGB_COLORS) return 0;
  const auto* source = static_cast<BitmapObject*>(live);
  BITMAPINFOHEADER& header = info->bmiHeader;
  if (header.biSize < sizeof(BITMAPINFOHEADER)) return 0;
  if (!bits) {
    if (header.biBitCount == 0) header.biBitCount = 32;
    header.biWidth = static_cast<LONG>(source->width);
    header.biHeight = static_cast<LONG>(source->height);
    header.biPlanes = 1;
    header.biCompression = BI_RGB;
    header.biSizeImage = ((source->width * header.biBitCount + 31) / 32) * 4 * source->height;
    return static_cast<int>(source->height);
  }
  if ((header.biBitCount != 24 && header.biBitCount != 32) || header.biCompression != BI_RGB || header.biWidth <= 0)
    return 0;
  const bool topDown = header.biHeight < 0;
  const uint64_t rows = topDown ? -int64_t{header.biHeight} : header.biHeight;
  const uint64_t width = std::min<uint64_t>(static_cast<uint64_t>(header.biWidth), source->width);
  const uint64_t stride = ((static_cast<uint64_t>(header.biWidth) * header.biBitCount + 31) / 32) * 4;
  const uint32_t bytes = header.biBitCount / 8u;
  int copied = 0;
  for (uint64_t k = 0; k < scanLines && startScan + k < rows; ++k) {
    const uint64_t scan = startScan + k;  // counted from the bottom of a bottom-up DIB
    const uint64_t imageRow = topDown ? scan : rows - 1 - scan;
    if (imageRow >= source->height) continue;
    auto* out = static_cast<uint8_t*>(bits) + k * stride;
    std::memset(out, 0, stride);
    for (uint64_t x = 0; x < width; ++x) {
      const uint32_t argb = source->pixels[imageRow * source->width + x];
      out[x * bytes] = static_cast<uint8_t>(argb);
      out[x * bytes + 1] = static_cast<uint8_t>(argb >> 8);
      out[x * bytes + 2] = static_cast<uint8_t>(argb >> 16);
    }
    ++copied;
  }
  return copied;
}

UINT GetDIBColorTable(HDC dc, UINT start, UINT count, RGBQUAD* colors) {
  DeviceContextObject* context = LiveContext(dc);
  if (!context || !context->bitmap || !colors) return 0;
  const std::vector<RGBQUAD>& table = context->bitmap->colorTable;
  if (start >= table.size()) return 0;
  const UINT copied = static_cast<UINT>(std::min<size_t>(count, table.size() - start));
  std::copy_n(table.begin() + start, copied, colors);
  return copied;
}

namespace {

// Where the pixel rows of a DIB begin after its header block: the header, the masks that follow a
// 40-byte header with bitfields, and the colour table. 0 when the header can't be read.
size_t DibBitsOffset(const uint8_t* info, size_t infoBytes) {
  if (infoBytes < 12) return 0;
  const uint32_t headerSize = Read32(info);
  if (headerSize < 12 || headerSize > infoBytes) return 0;
  if (headerSize == 12) {
    const uint32_t bits = Read16(info + 10);
    return headerSize + (bits <= 8 ? (size_t{1} << bits) * 3 : 0);
  }
  if (headerSize < 16) return 0;
  const uint32_t bits = Read16(info + 14);
  const uint32_t compression = headerSize >= 20 ? Read32(info + 16) : BI_RGB;
  const uint32_t colorsUsed = headerSize >= 36 ? Read32(info + 32) : 0;
  size_t offset = headerSize;
  if (compression == BI_BITFIELDS && headerSize == 40) offset += 12;
  const uint64_t full = bits <= 8 ? uint64_t{1} << bits : 0;
  const uint64_t entries = bits <= 8 ? (colorsUsed && colorsUsed < full ? colorsUsed : full) : colorsUsed;
  if (entries > infoBytes) return 0;
  return offset + static_cast<size_t>(entries) * 4;
}

// Whether the pixel data can hold every row the header declares: whole rows when they are
// uncompressed; when run-length coded, the two bytes of a run per 255 columns of a row and the
// four of a move per 255 rows. Known from the header alone, before anything is allocated.
bool DibRowsFit(const uint8_t* info, size_t infoBytes, size_t bitsBytes) {
  DibLayout layout;
  if (!ReadLayout(info, infoBytes, &layout)) return false;
  const auto width = static_cast<uint64_t>(layout.width), height = static_cast<uint64_t>(layout.height);
  if (layout.compression == BI_RLE4 || layout.compression == BI_RLE8)
    return bitsBytes >= 2 * ((width + 254) / 255) && bitsBytes >= 4 * ((height - 1) / 255) + 2;
  const uint64_t stride = ((width * layout.bitCount + 31) / 32) * 4;
  return stride * height <= bitsBytes;
}

HANDLE BitmapFromDib(const uint8_t* info, size_t infoBytes, const uint8_t* bits, size_t bitsBytes, int width,
                     int height) {
  if (!DibRowsFit(info, infoBytes, bitsBytes)) return nullptr;
  DecodedDib dib;
  auto* bitmap = new BitmapObject;
  if (!DecodeDib(info, infoBytes, bits, bitsBytes, &dib, &bitmap->colorTable, &bitmap->bitCount)) {
    delete bitmap;
    return nullptr;
  }
  const uint32_t outWidth = width ? static_cast<uint32_t>(width) : dib.width;
  const uint32_t outHeight = height ? static_cast<uint32_t>(height) : dib.height;
  if (uint64_t{outWidth} * outHeight > kMaxDibPixels) {
    delete bitmap;
    return nullptr;
  }
  bitmap->width = outWidth;
  bitmap->height = outHeight;
  if (outWidth == dib.width && outHeight == dib.height) {
    // At its own size the decoded pixels become the bitmap's.
    bitmap->pixels = std::move(dib.argb);
    for (uint32_t& argb : bitmap->pixels) argb |= 0xFF000000u;  // skipped runs read as black
    RegisterObject(bitmap);
    return bitmap;
  }
  bitmap->pixels.resize(static_cast<size_t>(outWidth) * outHeight);
  for (uint32_t y = 0; y < outHeight; ++y)
    for (uint32_t x = 0; x < outWidth; ++x) {
      const uint32_t argb = dib.argb[static_cast<size_t>(uint64_t{y} * dib.height / outHeight) * dib.width +
                                     static_cast<size_t>(uint64_t{x} * dib.width / outWidth)];
      bitmap->pixels[static_cast<size_t>(y) * outWidth + x] = argb | 0xFF000000u;  // skipped runs read as black
    }
  RegisterObject(bitmap);
  return bitmap;
}

}  // namespace

HANDLE LoadImageA(HINSTANCE instance, const char* name, UINT type, int width, int height, UINT flags) {
  if (!name || type != IMAGE_BITMAP || width < 0 || height < 0) return nullptr;
  if (!(flags & LR_LOADFROMFILE)) {
    if (!IS_INTRESOURCEA(name)) return nullptr;
    const int id = static_cast<int>(reinterpret_cast<uintptr_t>(name));
    const ResourceBlob* blob = FindResourceBlob(kBitmapResourceType, id);
    if (!blob) return nullptr;
    const size_t bitsAt = DibBitsOffset(blob->data, blob->size);
    if (bitsAt == 0 || bitsAt > blob->size) return nullptr;
    return BitmapFromDib(blob->data, bitsAt, blob->data + bitsAt, blob->size - bitsAt, width, height);
  }
  if (instance) return nullptr;
  // Through the file layer, so that a program's name finds the file in any letter case.
  const std::optional<std::vector<uint8_t>> file = ReadWholeFile(name);
  if (!file) return nullptr;
  const std::vector<uint8_t>& data = *file;
  if (data.size() < 14 + 12 || data[0] != 'B' || data[1] != 'M') return nullptr;
  const uint32_t offset = Read32(data.data() + 10);
  if (offset < 14 + 12 || offset > data.size()) return nullptr;
  return BitmapFromDib(data.data() + 14, offset - 14, data.data() + offset, data.size() - offset, width, height);
}

}  // namespace vx::win
