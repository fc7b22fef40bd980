// Pixel formats: description, conversion to and from 8-bit ARGB, and DXT block coding.
// DXT encoding takes the end colours from the block's bounding box along the diagonal that follows
// the colours' spread, inset a little, and gives each pixel the nearest of the block's colours.
#include "platform/ddraw/pixel_format.h"

#include <algorithm>
#include <array>
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

// --- DXT colour blocks ----------------------------------------------------------------------------

uint32_t Expand565(uint32_t c) { return Argb(255, Widen(5, c >> 11), Widen(6, (c >> 5) & 0x3F), Widen(5, c & 0x1F)); }

uint32_t Pack565(uint32_t argb) {
  return (Narrow(5, RedOf(argb)) << 11) | (Narrow(6, GreenOf(argb)) << 5) | Narrow(5, BlueOf(argb));
}

uint32_t Mix(uint32_t a, uint32_t b, uint32_t wa, uint32_t wb) {
  const uint32_t sum = wa + wb;
  const auto part = [&](uint32_t x, uint32_t y) { return (x * wa + y * wb + sum / 2) / sum; };
  return Argb(255, part(RedOf(a), RedOf(b)), part(GreenOf(a), GreenOf(b)), part(BlueOf(a), BlueOf(b)));
}

// The four colours of a colour block; the fourth is transparent black in three-colour mode.
std::array<uint32_t, 4> ColourPalette(uint32_t c0, uint32_t c1, bool alwaysFour) {
  const uint32_t a = Expand565(c0);
  const uint32_t b = Expand565(c1);
  if (c0 > c1 || alwaysFour) return {a, b, Mix(a, b, 2, 1), Mix(a, b, 1, 2)};
  return {a, b, Mix(a, b, 1, 1), 0};
}

uint16_t Load16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }
void Store16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void DecodeColours(const uint8_t* block, bool alwaysFour, uint32_t (&argb)[16]) {
  const auto palette = ColourPalette(Load16(block), Load16(block + 2), alwaysFour);
  for (int i = 0; i < 16; ++i) argb[i] = palette[(block[4 + i / 4] >> (2 * (i % 4))) & 3];
}

int Distance(uint32_t a, uint32_t b) {
  const int dr = static_cast<int>(RedOf(a)) - static_cast<int>(RedOf(b));
  const int dg = static_cast<int>(GreenOf(a)) - static_cast<int>(GreenOf(b));
  const int db = static_cast<int>(BlueOf(a)) - static_cast<int>(BlueOf(b));
  return dr * dr + dg * dg + db * db;
}

struct ColourBlock {
  uint32_t c0 = 0;
  uint32_t c1 = 0;
  uint32_t indices = 0;
  int64_t error = 0;
};

// Orders the end colours for the block's mode and gives each pixel the nearest colour.
// transparent[i]: pixel i is left transparent (three-colour mode, index 3).
ColourBlock FitIndices(uint32_t c0, uint32_t c1, const uint32_t (&argb)[16], const bool (&transparent)[16], bool dxt1,
                       bool anyTransparent) {
  const bool threeColour = dxt1 && anyTransparent;
  if (threeColour ? c0 > c1 : c0 < c1) std::swap(c0, c1);
  const auto palette = ColourPalette(c0, c1, !dxt1);
  const int usable = threeColour ? 3 : (!dxt1 || c0 > c1 ? 4 : 3);
  ColourBlock block{c0, c1, 0, 0};
  for (int i = 0; i < 16; ++i) {
    uint32_t best = 3;
    if (!transparent[i]) {
      best = 0;
      int bestDistance = Distance(argb[i], palette[0]);
      for (int p = 1; p < usable; ++p) {
        const int d = Distance(argb[i], palette[p]);
        if (d < bestDistance) {
          bestDistance = d;
          best = static_cast<uint32_t>(p);
        }
      }
      block.error += bestDistance;
    }
    block.indices |= best << (2 * i);
  }
  return block;
}

void EncodeColours(const uint32_t (&argb)[16], const bool (&transparent)[16], bool dxt1, uint8_t* out) {
  bool anyTransparent = false;
  int lo[3] = {255, 255, 255};
  int hi[3] = {0, 0, 0};
  int sum[3] = {0, 0, 0};
  int count = 0;
  for (int i = 0; i < 16; ++i) {
    if (transparent[i]) {
      anyTransparent = true;
      continue;
    }
    const int c[3] = {static_cast<int>(RedOf(argb[i])), static_cast<int>(GreenOf(argb[i])),
                      static_cast<int>(BlueOf(argb[i]))};
    for (int k = 0; k < 3; ++k) {
      lo[k] = std::min(lo[k], c[k]);
      hi[k] = std::max(hi[k], c[k]);
      sum[k] += c[k];
    }
    ++count;
  }
  ColourBlock best;
  if (count == 0) {
    best = FitIndices(0, 0, argb, transparent, dxt1, anyTransparent);
  } else {
    // The channel that spreads most leads; channels that fall while it rises take the other diagonal.
    int major = 0;
    for (int k = 1; k < 3; ++k) {
      if (hi[k] - lo[k] > hi[major] - lo[major]) major = k;
    }
    int covariance[3] = {0, 0, 0};
    for (int i = 0; i < 16; ++i) {
      if (transparent[i]) continue;
      const int c[3] = {static_cast<int>(RedOf(argb[i])), static_cast<int>(GreenOf(argb[i])),
                        static_cast<int>(BlueOf(argb[i]))};
      const int m = c[major] * count - sum[major];
      for (int k = 0; k < 3; ++k) covariance[k] += m * (c[k] * count - sum[k]) / 16;
    }
    // The box's corners suit blocks of few colours; corners drawn in by a sixteenth suit spreads.
    for (const int insetShift : {0, 4}) {
      int end0[3];
      int end1[3];
      for (int k = 0; k < 3; ++k) {
        const int inset = insetShift ? (hi[k] - lo[k]) >> insetShift : 0;
        const bool falls = covariance[k] < 0;
        end0[k] = falls ? lo[k] + inset : hi[k] - inset;
        end1[k] = falls ? hi[k] - inset : lo[k] + inset;
      }
      const ColourBlock tried =
          FitIndices(Pack565(Argb(255, end0[0], end0[1], end0[2])), Pack565(Argb(255, end1[0], end1[1], end1[2])), argb,
                     transparent, dxt1, anyTransparent);
      if (insetShift == 0 || tried.error < best.error) best = tried;
    }
  }
  Store16(out, best.c0);
  Store16(out + 2, best.c1);
  for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(best.indices >> (8 * i));
}

// --- DXT alpha blocks -----------------------------------------------------------------------------

std::array<uint32_t, 8> AlphaPalette(uint32_t a0, uint32_t a1) {
  std::array<uint32_t, 8> values{a0, a1, 0, 0, 0, 0, 0, 0};
  if (a0 > a1) {
    for (uint32_t i = 2; i < 8; ++i) values[i] = ((8 - i) * a0 + (i - 1) * a1 + 3) / 7;
  } else {
    for (uint32_t i = 2; i < 6; ++i) values[i] = ((6 - i) * a0 + (i - 1) * a1 + 2) / 5;
    values[6] = 0;
    values[7] = 255;
  }
  return values;
}

void DecodeInterpolatedAlpha(const uint8_t* block, uint32_t (&alpha)[16]) {
  const auto values = AlphaPalette(block[0], block[1]);
  uint64_t bits = 0;
  for (int i = 0; i < 6; ++i) bits |= uint64_t{block[2 + i]} << (8 * i);
  for (int i = 0; i < 16; ++i) alpha[i] = values[(bits >> (3 * i)) & 7];
}

void EncodeInterpolatedAlpha(const uint32_t (&argb)[16], uint8_t* block) {
  uint32_t lo = 255;
  uint32_t hi = 0;
  for (const uint32_t c : argb) {
    lo = std::min(lo, AlphaOf(c));
    hi = std::max(hi, AlphaOf(c));
  }
  block[0] = static_cast<uint8_t>(hi);
  block[1] = static_cast<uint8_t>(lo);
  uint64_t bits = 0;
  if (hi != lo) {
    const auto values = AlphaPalette(hi, lo);
    for (int i = 0; i < 16; ++i) {
      const int a = static_cast<int>(AlphaOf(argb[i]));
      uint64_t best = 0;
      for (uint64_t p = 1; p < 8; ++p) {
        if (std::abs(a - static_cast<int>(values[p])) < std::abs(a - static_cast<int>(values[best]))) best = p;
      }
      bits |= best << (3 * i);
    }
  }
  for (int i = 0; i < 6; ++i) block[2 + i] = static_cast<uint8_t>(bits >> (8 * i));
}

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


void DecodeDxtBlock(uint32_t fourCC, const uint8_t* block, uint32_t (&argb)[16]) {
  if (fourCC == FOURCC_DXT1) {
    DecodeColours(block, false, argb);
    return;
  }
  DecodeColours(block + 8, true, argb);
  uint32_t alpha[16];
  if (fourCC == FOURCC_DXT2 || fourCC == FOURCC_DXT3) {
    for (int i = 0; i < 16; ++i) alpha[i] = ((block[i / 2] >> (4 * (i % 2))) & 0xF) * 17;
  } else {
    DecodeInterpolatedAlpha(block, alpha);
  }
  for (int i = 0; i < 16; ++i) argb[i] = (argb[i] & 0x00FFFFFFu) | (alpha[i] << 24);
}

void EncodeDxtBlock(uint32_t fourCC, const uint32_t (&argb)[16], uint8_t* block) {
  bool transparent[16] = {};
  if (fourCC == FOURCC_DXT1) {
    for (int i = 0; i < 16; ++i) transparent[i] = AlphaOf(argb[i]) < 128;
    EncodeColours(argb, transparent, true, block);
    return;
  }
  EncodeColours(argb, transparent, false, block + 8);
  if (fourCC == FOURCC_DXT2 || fourCC == FOURCC_DXT3) {
    for (int i = 0; i < 8; ++i) {
      block[i] = static_cast<uint8_t>(Narrow(4, AlphaOf(argb[2 * i])) | (Narrow(4, AlphaOf(argb[2 * i + 1])) << 4));
    }
  } else {
    EncodeInterpolatedAlpha(argb, block);
  }
}

uint64_t DxtSurfaceBytes(uint32_t fourCC, uint32_t width, uint32_t height) {
  const uint64_t blocksWide = std::max<uint64_t>(1, (uint64_t{width} + 3) / 4);
  const uint64_t blocksHigh = std::max<uint64_t>(1, (uint64_t{height} + 3) / 4);
  return blocksWide * blocksHigh * (fourCC == FOURCC_DXT1 ? 8 : 16);
}

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
