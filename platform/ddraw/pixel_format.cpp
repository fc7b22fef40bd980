// Pixel formats: description, and conversion to and from 8-bit ARGB. DXT blocks are coded in
// platform/ddraw/dxt_codec.cpp.
#include "platform/ddraw/pixel_format.h"

#include <bit>
#include <cstring>

namespace vx::win {

namespace {

// Tables for channels of 1 to 8 bits: widen[bits][value] and narrow[bits][value8].
struct ChannelTables {
  uint8_t widen[9][256]{};
  uint8_t narrow[9][256]{};
  ChannelTables() {
    for (uint32_t bits = 1; bits <= 8; ++bits) {
      const uint32_t max = (1u << bits) - 1;
      for (uint32_t v = 0; v <= max; ++v) widen[bits][v] = static_cast<uint8_t>((v * 255 + max / 2) / max);
      for (uint32_t v = 0; v < 256; ++v) narrow[bits][v] = static_cast<uint8_t>((v * max + 127) / 255);
    }
  }
};

const ChannelTables& Tables() {
  static const ChannelTables tables;
  return tables;
}

uint32_t Widen(uint32_t bits, uint32_t value) {
  if (bits == 0) return 0;
  if (bits <= 8) return Tables().widen[bits][value & 0xFF];
  const uint64_t max = (uint64_t{1} << bits) - 1;
  return static_cast<uint32_t>((uint64_t{value} * 255 + max / 2) / max);
}

uint32_t Narrow(uint32_t bits, uint32_t value8) {
  if (bits == 0) return 0;
  if (bits <= 8) return Tables().narrow[bits][value8];
  const uint64_t max = (uint64_t{1} << bits) - 1;
  return static_cast<uint32_t>((uint64_t{value8} * max + 127) / 255);
}

// False when the mask's bits are not one run.
bool Layout(uint32_t mask, ChannelLayout& out) {
  out = ChannelLayout{};
  if (mask == 0) return true;
  out.mask = mask;
  out.shift = static_cast<uint32_t>(std::countr_zero(mask));
  out.bits = static_cast<uint32_t>(std::popcount(mask));
  const uint32_t run = out.bits == 32 ? 0xFFFFFFFFu : ((1u << out.bits) - 1) << out.shift;
  return run == mask;
}

uint32_t Channel(const ChannelLayout& c, uint32_t pixel) { return Widen(c.bits, (pixel & c.mask) >> c.shift); }

uint32_t Place(const ChannelLayout& c, uint32_t value8) { return (Narrow(c.bits, value8) << c.shift) & c.mask; }

uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return (a << 24) | (r << 16) | (g << 8) | b; }
uint32_t AlphaOf(uint32_t argb) { return argb >> 24; }
uint32_t RedOf(uint32_t argb) { return (argb >> 16) & 0xFF; }
uint32_t GreenOf(uint32_t argb) { return (argb >> 8) & 0xFF; }
uint32_t BlueOf(uint32_t argb) { return argb & 0xFF; }

bool IsDxt(uint32_t fourCC) {
  return fourCC == FOURCC_DXT1 || fourCC == FOURCC_DXT2 || fourCC == FOURCC_DXT3 || fourCC == FOURCC_DXT4 ||
         fourCC == FOURCC_DXT5;
}

}  // namespace

bool FormatInfo::SameLayout(const FormatInfo& other) const {
  return kind == other.kind && bitCount == other.bitCount && fourCC == other.fourCC && red.mask == other.red.mask &&
         green.mask == other.green.mask && blue.mask == other.blue.mask && alpha.mask == other.alpha.mask &&
         valueMask == other.valueMask;
}

FormatInfo DescribeFormat(const DDPIXELFORMAT& format) {
  FormatInfo info;
  if (format.dwFlags & DDPF_FOURCC) {
    if (!IsDxt(format.dwFourCC)) return FormatInfo{};
    info.kind = PixelKind::Dxt;
    info.fourCC = format.dwFourCC;
    info.blockBytes = format.dwFourCC == FOURCC_DXT1 ? 8 : 16;
    info.premultiplied = format.dwFourCC == FOURCC_DXT2 || format.dwFourCC == FOURCC_DXT4;
    return info;
  }
  if (format.dwFlags & DDPF_ZBUFFER) {
    const uint32_t depth = format.dwZBufferBitDepth;
    if (depth != 16 && depth != 24 && depth != 32) return FormatInfo{};
    info.kind = PixelKind::Depth;
    info.bitCount = depth;
    info.bytesPerPixel = depth == 16 ? 2 : 4;
    info.valueMask = format.dwZBitMask ? format.dwZBitMask : (depth == 32 ? 0xFFFFFFFFu : (1u << depth) - 1);
    return info;
  }
  if (format.dwFlags & DDPF_PALETTEINDEXED8) {
    info.kind = PixelKind::Palette8;
    info.bitCount = 8;
    info.bytesPerPixel = 1;
    info.valueMask = 0xFF;
    return info;
  }
  if (!(format.dwFlags & DDPF_RGB)) return FormatInfo{};
  const uint32_t bits = format.dwRGBBitCount;
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return FormatInfo{};
  info.kind = PixelKind::Rgb;
  info.bitCount = bits;
  info.bytesPerPixel = bits / 8;
  info.valueMask = bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
  const uint32_t alphaMask = (format.dwFlags & DDPF_ALPHAPIXELS) ? format.dwRGBAlphaBitMask : 0;
  if (!Layout(format.dwRBitMask, info.red) || !Layout(format.dwGBitMask, info.green) ||
      !Layout(format.dwBBitMask, info.blue) || !Layout(alphaMask, info.alpha)) {
    return FormatInfo{};
  }
  const uint32_t masks[4] = {format.dwRBitMask, format.dwGBitMask, format.dwBBitMask, alphaMask};
  uint32_t seen = 0;
  for (const uint32_t mask : masks) {
    if ((seen & mask) || (mask & ~info.valueMask)) return FormatInfo{};
    seen |= mask;
  }
  if ((format.dwRBitMask | format.dwGBitMask | format.dwBBitMask) == 0) return FormatInfo{};
  info.premultiplied = (format.dwFlags & DDPF_ALPHAPREMULT) != 0;
  return info;
}

uint32_t PixelToArgb(const FormatInfo& format, uint32_t pixel) {
  if (format.kind == PixelKind::Palette8) return Argb(255, pixel & 0xFF, pixel & 0xFF, pixel & 0xFF);
  const uint32_t alpha = format.alpha.bits ? Channel(format.alpha, pixel) : 255;
  return Argb(alpha, Channel(format.red, pixel), Channel(format.green, pixel), Channel(format.blue, pixel));
}

uint32_t ArgbToPixel(const FormatInfo& format, uint32_t argb) {
  return Place(format.red, RedOf(argb)) | Place(format.green, GreenOf(argb)) | Place(format.blue, BlueOf(argb)) |
         Place(format.alpha, AlphaOf(argb));
}

void ConvertRowToArgb(const FormatInfo& format, const PALETTEENTRY* palette, const uint8_t* in, uint32_t* out,
                      uint32_t count) {
  const bool eightBitChannels = format.red.bits == 8 && format.green.bits == 8 && format.blue.bits == 8 &&
                                (format.alpha.bits == 0 || format.alpha.bits == 8);
  if (format.kind == PixelKind::Rgb && eightBitChannels && format.red.shift == 16 && format.green.shift == 8 &&
      format.blue.shift == 0 && format.bytesPerPixel >= 3) {
    const uint32_t fill = format.alpha.bits ? 0 : 0xFF000000u;
    const uint32_t keep = 0x00FFFFFFu | (format.alpha.bits ? format.alpha.mask : 0);
    for (uint32_t i = 0; i < count; ++i, in += format.bytesPerPixel)
      out[i] = (LoadPixel(in, format.bytesPerPixel) & keep) | fill;
    return;
  }
  if (format.kind == PixelKind::Palette8 && palette) {
    for (uint32_t i = 0; i < count; ++i) {
      const PALETTEENTRY& e = palette[in[i]];
      out[i] = Argb(255, e.peRed, e.peGreen, e.peBlue);
    }
    return;
  }
  if (format.kind == PixelKind::Rgb && format.red.bits <= 8 && format.green.bits <= 8 && format.blue.bits <= 8 &&
      format.alpha.bits <= 8) {
    const ChannelTables& tables = Tables();
    const uint8_t* r = tables.widen[format.red.bits];
    const uint8_t* g = tables.widen[format.green.bits];
    const uint8_t* b = tables.widen[format.blue.bits];
    const uint8_t* a = tables.widen[format.alpha.bits];
    for (uint32_t i = 0; i < count; ++i, in += format.bytesPerPixel) {
      const uint32_t p = LoadPixel(in, format.bytesPerPixel);
      const uint32_t alpha = format.alpha.bits ? a[(p & format.alpha.mask) >> format.alpha.shift] : 255;
      out[i] = Argb(alpha, r[(p & format.red.mask) >> format.red.shift],
                    g[(p & format.green.mask) >> format.green.shift], b[(p & format.blue.mask) >> format.blue.shift]);
    }
    return;
  }
  for (uint32_t i = 0; i < count; ++i, in += format.bytesPerPixel)
    out[i] = PixelToArgb(format, LoadPixel(in, format.bytesPerPixel));
}

// Pixel values are little-endian in memory, as on the machines the system ran on.
static_assert(std::endian::native == std::endian::little, "pixel memory is read as little-endian words");

uint32_t ReadPixelArgb(const SurfacePixels& view, uint32_t x, uint32_t y) {
  if (!view.bits || x >= view.width || y >= view.height) return 0;
  const FormatInfo format = DescribeFormat(view.format);
  switch (format.kind) {
    case PixelKind::Rgb:
      return PixelToArgb(format, LoadPixel(view.bits + uint64_t{y} * view.pitch + uint64_t{x} * format.bytesPerPixel,
                                           format.bytesPerPixel));
    case PixelKind::Palette8: {
      const uint8_t index = view.bits[uint64_t{y} * view.pitch + x];
      if (!view.palette) return PixelToArgb(format, index);
      const PALETTEENTRY& entry = view.palette[index];
      return Argb(255, entry.peRed, entry.peGreen, entry.peBlue);
    }
    case PixelKind::Dxt: {
      uint32_t block[16];
      DecodeDxtBlock(format.fourCC, view.bits + uint64_t{y / 4} * view.pitch + uint64_t{x / 4} * format.blockBytes,
                     block);
      return block[(y % 4) * 4 + x % 4];
    }
    default: return 0;
  }
}

const FormatInfo& KnownFormat(const DDPIXELFORMAT& format) {
  struct Known {
    DDPIXELFORMAT format;
    FormatInfo info;
  };
  thread_local Known known[4] = {};
  thread_local uint32_t count = 0;
  const uint32_t held = std::min<uint32_t>(count, 4);
  for (uint32_t i = 0; i < held; ++i) {
    if (std::memcmp(&known[i].format, &format, sizeof format) == 0) return known[i].info;
  }
  Known& entry = known[count++ % 4];
  entry.format = format;
  entry.info = DescribeFormat(format);
  return entry.info;
}

PixelView ViewOf(const SurfacePixels& pixels) {
  PixelView view;
  view.bits = pixels.bits;
  view.pitch = pixels.pitch;
  view.width = pixels.width;
  view.height = pixels.height;
  view.format = KnownFormat(pixels.format);
  view.palette = pixels.palette;
  return view;
}

}  // namespace vx::win
