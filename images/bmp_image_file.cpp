// Windows bitmaps ("bmp", "rle", "dib"): a reader of every variant the system draws (core and
// info headers up to version 5, 1/4/8/16/24/32 bits, RLE8 and RLE4, bit fields, top-down and
// bottom-up) that checks each field against the file, and the 24-bit writer.
#include <bit>

#include "images/byte_reader.h"
#include "images/image_codecs.h"

namespace vx {

namespace {

constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;

struct Channel {
  uint32_t mask = 0;
  uint32_t shift = 0;
  uint32_t bits = 0;
};

// False for a mask whose bits are not one run.
bool MakeChannel(uint32_t mask, Channel* channel) {
  *channel = Channel{};
  if (mask == 0) return true;
  channel->mask = mask;
  channel->shift = uint32_t(std::countr_zero(mask));
  channel->bits = uint32_t(std::popcount(mask));
  return uint32_t(std::countl_zero(mask)) + channel->bits + channel->shift == 32;
}

uint32_t Expand(const Channel& channel, uint32_t pixel) {
  if (channel.bits == 0) return 0;
  const uint32_t value = (pixel & channel.mask) >> channel.shift;
  if (channel.bits >= 8) return value >> (channel.bits - 8);
  return value * 255u / ((1u << channel.bits) - 1u);
}

struct BmpLayout {
  uint32_t width = 0;
  uint32_t height = 0;
  bool topDown = false;
  uint32_t bitCount = 0;
  uint32_t compression = kRgb;
  Channel red, green, blue;
  std::vector<uint32_t> palette;  // 0xFFRRGGBB
  uint32_t bitsOffset = 0;
};

uint32_t PaletteColour(const BmpLayout& layout, uint32_t index) {
  return index < layout.palette.size() ? layout.palette[index] : 0xFF000000u;
}

// What the header says besides the layout's own fields.
struct HeaderFacts {
  uint32_t size = 0;
  bool core = false;  // the 12-byte header of the first bitmaps
  bool os2 = false;
  uint32_t coloursUsed = 0;
};

bool KnownHeaderSize(uint32_t size) {
  return size == 12 || size == 16 || size == 64 || size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

// Size, depth and compression from the header.
bool ReadHeader(std::span<const uint8_t> file, HeaderFacts& facts, BmpLayout& layout) {
  ByteReader header(file.subspan(14, facts.size), 4);
  int64_t width, height;
  if (facts.core) {
    width = header.U16LE();
    height = header.U16LE();
  } else {
    width = int32_t(header.U32LE());
    height = int32_t(header.U32LE());
  }
  const uint32_t planes = header.U16LE();
  layout.bitCount = header.U16LE();
  if (facts.size >= 20) layout.compression = header.U32LE();
  if (facts.size >= 36) {
    header.Skip(12);  // image size, resolution: advisory only
    facts.coloursUsed = header.U32LE();
  }
  if (header.Failed() || planes != 1 || width <= 0 || height == 0) return false;
  layout.topDown = height < 0;
  if (height < 0) height = -height;
  layout.width = uint32_t(width);
  layout.height = uint32_t(height);
  return layout.width <= kLargestImageSide && layout.height <= kLargestImageSide;
}

bool DrawnCompression(const HeaderFacts& facts, const BmpLayout& layout) {
  const uint32_t bits = layout.bitCount;
  switch (layout.compression) {
    case kRgb: return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    case kRle8: return bits == 8 && !layout.topDown;
    case kRle4: return bits == 4 && !layout.topDown;
    case kBitFields:
    case kAlphaBitFields:
      // In OS/2 headers these numbers mean Huffman and RLE24 coding, which nothing draws.
      return (bits == 16 || bits == 32) && !facts.core && !facts.os2;
    default: return false;  // embedded JPEG and PNG included
  }
}

// The channel masks, given or by depth. Masks sit in headers of 52 bytes and more, else right
// after a 40-byte header, where the palette then starts after them.
bool ReadMasks(std::span<const uint8_t> file, const HeaderFacts& facts, BmpLayout& layout, size_t& paletteStart) {
  const uint32_t bits = layout.bitCount;
  uint32_t masks[3] = {0, 0, 0};
  if (layout.compression == kBitFields || layout.compression == kAlphaBitFields) {
    size_t at = 14 + 40;
    if (facts.size == 40) paletteStart += layout.compression == kAlphaBitFields ? 16 : 12;
    if (at + 12 > file.size()) return false;
    for (uint32_t& mask : masks) mask = ReadU32LE(file, at), at += 4;
  } else if (bits == 16) {
    masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
  } else {
    masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
  }
  if (bits == 16 && ((masks[0] | masks[1] | masks[2]) >> 16)) return false;
  if ((masks[0] & masks[1]) || (masks[0] & masks[2]) || (masks[1] & masks[2])) return false;
  return MakeChannel(masks[0], &layout.red) && MakeChannel(masks[1], &layout.green) &&
         MakeChannel(masks[2], &layout.blue);
}

// The palette of a depth of 8 bits or less.
bool ReadPalette(std::span<const uint8_t> file, const HeaderFacts& facts, size_t paletteStart, BmpLayout& layout) {
  const uint32_t most = 1u << layout.bitCount;
  const size_t entryBytes = facts.core ? 3 : 4;
  uint32_t count;
  if (facts.core) {
    // A core header has no count: a palette shorter than its depth ends where the bits begin.
    count = most;
    if (layout.bitsOffset > paletteStart) {
      const size_t room = (layout.bitsOffset - paletteStart) / 3;
      if (room > 0 && room < most) count = uint32_t(room);
    }
  } else {
    if (facts.coloursUsed > 256) return false;
    count = facts.coloursUsed == 0 || facts.coloursUsed > most ? most : facts.coloursUsed;
  }
  if (paletteStart + count * entryBytes > file.size()) return false;
  layout.palette.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* entry = file.data() + paletteStart + i * entryBytes;
    layout.palette[i] = 0xFF000000u | uint32_t(entry[2]) << 16 | uint32_t(entry[1]) << 8 | entry[0];
  }
  return true;
}

std::optional<BmpLayout> ReadLayout(std::span<const uint8_t> file) {
  if (file.size() < 18 || file[0] != 'B' || file[1] != 'M') return std::nullopt;
  BmpLayout layout;
  layout.bitsOffset = ReadU32LE(file, 10);
  HeaderFacts facts;
  facts.size = ReadU32LE(file, 14);
  facts.core = facts.size == 12;
  facts.os2 = facts.size == 16 || facts.size == 64;
  if (!KnownHeaderSize(facts.size) || uint64_t(14) + facts.size > file.size()) return std::nullopt;
  if (!ReadHeader(file, facts, layout) || !DrawnCompression(facts, layout)) return std::nullopt;
  size_t paletteStart = 14 + size_t(facts.size);
  if (!ReadMasks(file, facts, layout, paletteStart)) return std::nullopt;
  if (layout.bitCount <= 8 && !ReadPalette(file, facts, paletteStart, layout)) return std::nullopt;
  if (layout.bitsOffset >= file.size()) return std::nullopt;
  return layout;
}

uint64_t Stride(const BmpLayout& layout) { return (uint64_t(layout.width) * layout.bitCount + 31) / 32 * 4; }

// Rows are only decoded from a file that holds all of them, which is known before any allocation.
bool UncompressedRowsInFile(const BmpLayout& layout, std::span<const uint8_t> file) {
  return layout.bitsOffset + Stride(layout) * layout.height <= file.size();
}

bool DecodeUncompressed(const BmpLayout& layout, std::span<const uint8_t> file, DecodedImage& image) {
  const uint64_t stride = Stride(layout);
  const Channel& red = layout.red;
  const Channel& green = layout.green;
  const Channel& blue = layout.blue;
  for (uint32_t r = 0; r < layout.height; ++r) {
    const uint8_t* row = file.data() + layout.bitsOffset + stride * r;
    const uint32_t y = layout.topDown ? r : layout.height - 1 - r;
    for (uint32_t x = 0; x < layout.width; ++x) {
      uint32_t argb;
      switch (layout.bitCount) {
        case 1: argb = PaletteColour(layout, (row[x >> 3] >> (7 - (x & 7))) & 1); break;
        case 4: argb = PaletteColour(layout, (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15); break;
        case 8: argb = PaletteColour(layout, row[x]); break;
        case 24:
          argb = 0xFF000000u | uint32_t(row[3 * x + 2]) << 16 | uint32_t(row[3 * x + 1]) << 8 | row[3 * x];
          break;
        default: {
          const uint32_t pixel = layout.bitCount == 16 ? ReadU16LE(file, row - file.data() + 2 * size_t(x))
                                                       : ReadU32LE(file, row - file.data() + 4 * size_t(x));
          argb = 0xFF000000u | Expand(red, pixel) << 16 | Expand(green, pixel) << 8 | Expand(blue, pixel);
        }
      }
      image.At(x, y) = argb;
    }
  }
  return true;
}

// Some encoders compress whole padded rows, so pixels past the width but within the row's padding
// are dropped. Runs past the padding or below the image, and data that stops before the
// end-of-bitmap mark, make the file damaged.
bool DecodeRunLength(const BmpLayout& layout, std::span<const uint8_t> file, DecodedImage& image) {
  ByteReader in(file, layout.bitsOffset);
  const bool four = layout.compression == kRle4;
  const uint32_t paddedWidth = (layout.width * layout.bitCount + 31) / 32 * 32 / layout.bitCount;
  uint32_t x = 0, row = 0;  // row counts from the bottom
  auto put = [&](uint32_t index) {
    if (x >= paddedWidth || row >= layout.height) return false;
    if (x < layout.width) image.At(x, layout.height - 1 - row) = PaletteColour(layout, index);
    ++x;
    return true;
  };
  for (;;) {
    const uint32_t count = in.U8();
    const uint32_t value = in.U8();
    if (in.Failed()) return false;
    if (count > 0) {
      for (uint32_t i = 0; i < count; ++i)
        if (!put(four ? (i & 1 ? value & 15 : value >> 4) : value)) return false;
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        ++row;
        break;
      case 1:  // end of bitmap
        return true;
      case 2: {  // move right and up
        const uint32_t dx = in.U8();
        const uint32_t dy = in.U8();
        if (in.Failed() || x + dx > layout.width || row + dy > layout.height) return false;
        x += dx;
        row += dy;
        break;
      }
      default: {  // literal pixels, padded to a 16-bit boundary
        const uint32_t bytes = four ? (value + 1) / 2 : value;
        uint8_t byte = 0;
        for (uint32_t i = 0; i < value; ++i) {
          if (!four || (i & 1) == 0) byte = in.U8();
          if (in.Failed() || !put(four ? (i & 1 ? byte & 15 : byte >> 4) : byte)) return false;
        }
        if (bytes & 1) in.U8();
        if (in.Failed()) return false;
      }
    }
  }
}

}  // namespace

std::optional<DecodedImage> DecodeBmp(std::span<const uint8_t> file) {
  const std::optional<BmpLayout> layout = ReadLayout(file);
  if (!layout) return std::nullopt;
  const bool runLength = layout->compression == kRle8 || layout->compression == kRle4;
  if (!runLength && !UncompressedRowsInFile(*layout, file)) return std::nullopt;
  DecodedImage image;
  if (!image.Allocate(layout->width, layout->height)) return std::nullopt;
  const bool decoded = runLength ? DecodeRunLength(*layout, file, image) : DecodeUncompressed(*layout, file, image);
  if (!decoded) return std::nullopt;
  return image;
}

void PutBgrRowsBottomUp(const DecodedImage& image, uint8_t* out, size_t rowBytes) {
  for (uint32_t y = 0; y < image.height; ++y) {
    uint8_t* at = out + rowBytes * (image.height - 1 - y);
    for (uint32_t x = 0; x < image.width; ++x) {
      const uint32_t argb = image.At(x, y);
      *at++ = uint8_t(argb);
      *at++ = uint8_t(argb >> 8);
      *at++ = uint8_t(argb >> 16);
    }
  }
}

std::vector<uint8_t> EncodeBmp(const DecodedImage& image) {
  const size_t rowBytes = (size_t(image.width) * 3 + 3) & ~size_t(3);
  std::vector<uint8_t> file(54 + rowBytes * image.height, 0);
  file[0] = 'B';
  file[1] = 'M';
  PutU32LE(&file[2], uint32_t(file.size()));
  PutU32LE(&file[10], 54);
  PutU32LE(&file[14], 40);
  PutU32LE(&file[18], image.width);
  PutU32LE(&file[22], image.height);
  PutU16LE(&file[26], 1);
  PutU16LE(&file[28], 24);
  PutBgrRowsBottomUp(image, file.data() + 54, rowBytes);
  return file;
}

win::IDirectDrawSurface7* BmpImageFile::Load(const std::string& fileName) {
  return LoadThroughDecoder(*this, fileName, DecodeBmp, true);
}

int32_t BmpImageFile::Save(win::IDirectDrawSurface7* surface, const std::string& fileName) {
  const std::optional<DecodedImage> image = ReadSurfaceImage(surface, primarySurface);
  return image && WriteImageFile(fileName, EncodeBmp(*image)) ? 1 : 0;
}

}  // namespace vx
