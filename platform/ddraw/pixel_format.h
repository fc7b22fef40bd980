// Pixel formats of surfaces: what a DDPIXELFORMAT describes in a form that converts quickly, the
// conversions between a format's pixel values and 8-bit ARGB, and DXT block coding. The blitter,
// the presentation and the 3D device's texture reads all convert through here.
#pragma once
#include <cstdint>
#include <cstring>

#include "platform/ddraw/ddraw.h"

namespace vx::win {

enum class PixelKind { Invalid, Rgb, Palette8, Dxt, Depth };

struct ChannelLayout {
  uint32_t mask = 0;
  uint32_t shift = 0;  // position of the lowest bit
  uint32_t bits = 0;
};

// A format ready for conversion. Channel values widen to 8 bits rounded to the nearest and narrow
// back rounded to the nearest, so that a narrow value survives a trip through 8 bits unchanged.
struct FormatInfo {
  PixelKind kind = PixelKind::Invalid;
  uint32_t bitCount = 0;
  uint32_t bytesPerPixel = 0;  // 0 for DXT
  uint32_t blockBytes = 0;     // DXT: 8 for DXT1, 16 for the others
  uint32_t fourCC = 0;
  uint32_t valueMask = 0;  // the bits a pixel value uses
  ChannelLayout red, green, blue, alpha;
  bool premultiplied = false;

  bool SameLayout(const FormatInfo& other) const;
};

// Invalid for formats surfaces cannot have: RGB of other than 8, 16, 24 or 32 bits, masks that
// overlap or leave the pixel, FourCC codes other than DXT1 to DXT5, depth of other than 16, 24, 32.
FormatInfo DescribeFormat(const DDPIXELFORMAT& format);
// DescribeFormat, remembered for the last few formats of the thread, so that a small blit does not
// pay for it. The reference holds until four other formats have been described.
const FormatInfo& KnownFormat(const DDPIXELFORMAT& format);

// 0xAARRGGBB of an RGB pixel value; formats without alpha give alpha 255.
uint32_t PixelToArgb(const FormatInfo& format, uint32_t pixel);
// The pixel value of an 0xAARRGGBB colour.
uint32_t ArgbToPixel(const FormatInfo& format, uint32_t argb);

// A row of RGB or palettised pixels into 0xAARRGGBB (palette null: indices read as grey).
void ConvertRowToArgb(const FormatInfo& format, const PALETTEENTRY* palette, const uint8_t* in, uint32_t* out,
                      uint32_t count);

// Reads or writes one pixel value of bytesPerPixel bytes (1 to 4), exactly those bytes.
// Pixel values are little-endian in memory.
inline uint32_t LoadPixel(const uint8_t* at, uint32_t bytesPerPixel) {
  switch (bytesPerPixel) {
    case 1: return at[0];
    case 2: {
      uint16_t value;
      std::memcpy(&value, at, 2);
      return value;
    }
    case 3: return uint32_t{at[0]} | (uint32_t{at[1]} << 8) | (uint32_t{at[2]} << 16);
    case 4: {
      uint32_t value;
      std::memcpy(&value, at, 4);
      return value;
    }
    default: return 0;
  }
}

inline void StorePixel(uint8_t* at, uint32_t bytesPerPixel, uint32_t pixel) {
  switch (bytesPerPixel) {
    case 1: at[0] = static_cast<uint8_t>(pixel); break;
    case 2: {
      const auto value = static_cast<uint16_t>(pixel);
      std::memcpy(at, &value, 2);
      break;
    }
    case 3:
      at[0] = static_cast<uint8_t>(pixel);
      at[1] = static_cast<uint8_t>(pixel >> 8);
      at[2] = static_cast<uint8_t>(pixel >> 16);
      break;
    case 4: std::memcpy(at, &pixel, 4); break;
    default: break;
  }
}

// One 4x4 block of a DXT format (8 bytes for DXT1, 16 for the others) and its 16 colours
// 0xAARRGGBB, row by row (platform/ddraw/dxt_codec.cpp). Colours are straight: DXT2 and DXT4 store
// colour multiplied by alpha, which decoding divides out and encoding multiplies in. DXT1 keeps
// pixels of alpha below 128 as transparent black.
void DecodeDxtBlock(uint32_t fourCC, const uint8_t* block, uint32_t (&argb)[16]);
void EncodeDxtBlock(uint32_t fourCC, const uint32_t (&argb)[16], uint8_t* block);

// Bytes of a DXT surface of the given size (whole blocks, at least one).
uint64_t DxtSurfaceBytes(uint32_t fourCC, uint32_t width, uint32_t height);

// The colour of any pixel of a surface view (RGB, palettised or DXT) as 0xAARRGGBB; 0 for a
// depth buffer or a pixel outside.
uint32_t ReadPixelArgb(const SurfacePixels& view, uint32_t x, uint32_t y);

// Where a surface's or a bitmap's pixels are, with their layout: what the blitter and the GDI
// drawing work on.
struct PixelView {
  uint8_t* bits = nullptr;
  LONG pitch = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  FormatInfo format;
  const PALETTEENTRY* palette = nullptr;

  bool Contains(int64_t x, int64_t y) const { return x >= 0 && y >= 0 && x < width && y < height; }
  uint8_t* At(uint32_t x, uint32_t y) const {
    return bits + static_cast<ptrdiff_t>(y) * pitch + static_cast<ptrdiff_t>(x) * format.bytesPerPixel;
  }
};
PixelView ViewOf(const SurfacePixels& pixels);

}  // namespace vx::win
