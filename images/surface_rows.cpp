// Decoded rows into surface rows. The loops take whole rows with everything that depends on the
// format worked out before them, so that the compiler vectorises them; the display's own formats
// have loops with their shifts written out. The nearest palette entry is a search over 256
// colours, remembered per colour in a small table, as pictures repeat colours.
#include "images/surface_rows.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace vx {

using namespace win;

namespace {

using Narrowing = ArgbRowStore::Narrowing;
using ChannelMove = ArgbRowStore::ChannelMove;

Narrowing NarrowingOf(const ChannelLayout& channel) {
  if (channel.bits == 0) return {};
  return {channel.bits >= 8 ? channel.bits - 8 : 0, channel.bits >= 8 ? 0 : 8 - channel.bits, channel.shift,
          channel.mask};
}

uint32_t Narrow(const Narrowing& channel, uint32_t value8) {
  return ((value8 << channel.up) >> channel.down << channel.shift) & channel.mask;
}

// Narrow of the channel that 0xAARRGGBB holds at bit `from`, as one mask and two shifts: the bits
// kept move from `from + down` to `shift + up`.
ChannelMove MoveOf(const Narrowing& channel, uint32_t from) {
  if (channel.mask == 0) return {};
  const uint32_t keep = (0xFFu >> channel.down << channel.down) << from;
  const int offset = int(channel.shift + channel.up) - int(from + channel.down);
  return {keep, uint32_t(std::max(offset, 0)), uint32_t(std::max(-offset, 0))};
}

uint8_t CubeIndex(uint32_t argb) { return uint8_t((argb >> 16 & 0xE0) | (argb >> 11 & 0x1C) | (argb >> 6 & 0x03)); }

// The palette index whose colour is nearest (the first of equals); without a palette, the 3-3-2
// colour cube.
uint8_t NearestIndex(const PALETTEENTRY* palette, uint32_t argb) {
  if (!palette) return CubeIndex(argb);
  const int r = int((argb >> 16) & 0xFF), g = int((argb >> 8) & 0xFF), b = int(argb & 0xFF);
  int best = 0, bestDistance = 1 << 30;
  for (int i = 0; i < 256; ++i) {
    const int dr = r - palette[i].peRed, dg = g - palette[i].peGreen, db = b - palette[i].peBlue;
    const int distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) best = i, bestDistance = distance;
  }
  return uint8_t(best);
}

// --- Pixel values -------------------------------------------------------------------------------

struct Shifted {
  ChannelMove red, green, blue, alpha;
  static uint32_t Move(const ChannelMove& c, uint32_t argb) { return (argb & c.keep) << c.left >> c.right; }
  uint32_t operator()(uint32_t argb) const {
    return Move(red, argb) | Move(green, argb) | Move(blue, argb) | Move(alpha, argb);
  }
};

struct Masked {
  uint32_t keep;
  uint32_t operator()(uint32_t argb) const { return argb & keep; }
};

struct Rgb565 {
  uint32_t operator()(uint32_t argb) const { return (argb >> 8 & 0xF800) | (argb >> 5 & 0x07E0) | (argb >> 3 & 0x1F); }
};

// The three low bytes are the pixel; the packing drops the fourth.
struct Bgr24 {
  uint32_t operator()(uint32_t argb) const { return argb; }
};

struct Cube {
  uint32_t operator()(uint32_t argb) const { return CubeIndex(argb); }
};

// --- Row loops ----------------------------------------------------------------------------------

template <class Pixel, class Make>
void StoreRow(const uint32_t* __restrict in, uint8_t* __restrict out, uint32_t count, Make make) {
  for (uint32_t i = 0; i < count; ++i) {
    const Pixel pixel = Pixel(make(in[i]));
    std::memcpy(out + sizeof(Pixel) * i, &pixel, sizeof(Pixel));
  }
}

// Three bytes a pixel: the values are made a block at a time, laid out four pixels in three words
// (the low byte first), and the block copied out whole.
template <class Make>
void StoreRow24(const uint32_t* __restrict in, uint8_t* __restrict out, uint32_t count, Make make) {
  constexpr uint32_t kBlock = 64;
  uint32_t values[kBlock];
  uint32_t packed[kBlock / 4 * 3];
  for (uint32_t done = 0; done < count; done += kBlock) {
    const uint32_t n = std::min(kBlock, count - done);
    const uint32_t* from = in + done;  // an index of done + i could wrap, which keeps the loads apart
    for (uint32_t i = 0; i < n; ++i) values[i] = make(from[i]);
    for (uint32_t i = n; i < (n + 3) / 4 * 4; ++i) values[i] = 0;
    for (uint32_t i = 0, w = 0; i < n; i += 4, w += 3) {
      const uint32_t* v = values + i;
      packed[w] = (v[0] & 0xFFFFFF) | v[1] << 24;
      packed[w + 1] = (v[1] >> 8 & 0xFFFF) | v[2] << 16;
      packed[w + 2] = (v[2] >> 16 & 0xFF) | v[3] << 8;
    }
    std::memcpy(out + 3 * size_t(done), packed, 3 * size_t(n));
  }
}

}  // namespace

// Colours matched against the palette, remembered by a hash of the colour (a later colour of the
// same slot takes it over). The search measures all 256 entries at once: the distance and the
// index in one key, whose least is the nearest entry and, of equals, the first. Its loop is also
// compiled for AVX2, which multiplies eight lanes at a time, and picked when the processor has it.
struct ArgbRowStore::NearestCache {
  static constexpr uint32_t kSlots = 4096;
  uint32_t colour[kSlots] = {};  // 0x01RRGGBB when filled
  uint8_t index[kSlots] = {};
  int16_t red[256], green[256], blue[256];

  explicit NearestCache(const PALETTEENTRY* palette) {
    for (int i = 0; i < 256; ++i) red[i] = palette[i].peRed, green[i] = palette[i].peGreen, blue[i] = palette[i].peBlue;
  }

  [[gnu::target_clones("avx2", "default")]] uint8_t Search(uint32_t argb) const {
    const auto r = int16_t(argb >> 16 & 0xFF), g = int16_t(argb >> 8 & 0xFF), b = int16_t(argb & 0xFF);
    int32_t best = INT32_MAX;
    for (int32_t i = 0; i < 256; ++i) {
      const auto dr = int16_t(r - red[i]), dg = int16_t(g - green[i]), db = int16_t(b - blue[i]);
      best = std::min(best, (int32_t{dr} * dr + int32_t{dg} * dg + int32_t{db} * db) << 8 | i);
    }
    return uint8_t(best);
  }

  uint8_t Find(uint32_t argb) {
    const uint32_t key = (argb & 0xFFFFFF) | 0x1000000;
    const uint32_t slot = (key * 2654435761u) >> 20;
    if (colour[slot] != key) {
      colour[slot] = key;
      index[slot] = Search(argb);
    }
    return index[slot];
  }
};

ArgbRowStore::ArgbRowStore(const FormatInfo& format, const PALETTEENTRY* palette) {
  if (format.kind == PixelKind::Palette8) {
    bytesPerPixel_ = 1;
    palette_ = palette;
    kind_ = palette ? Kind::Palette : Kind::Cube;
    if (palette) nearest_ = std::make_unique<NearestCache>(palette);
    return;
  }
  if (format.kind != PixelKind::Rgb || format.bytesPerPixel < 1 || format.bytesPerPixel > 4) return;
  bytesPerPixel_ = format.bytesPerPixel;
  red_ = NarrowingOf(format.red);
  green_ = NarrowingOf(format.green);
  blue_ = NarrowingOf(format.blue);
  alpha_ = NarrowingOf(format.alpha);
  moves_[0] = MoveOf(red_, 16);
  moves_[1] = MoveOf(green_, 8);
  moves_[2] = MoveOf(blue_, 0);
  moves_[3] = MoveOf(alpha_, 24);
  const auto masks = [&](uint32_t r, uint32_t g, uint32_t b) {
    return format.red.mask == r && format.green.mask == g && format.blue.mask == b && format.alpha.mask == 0;
  };
  // Channels of 8 bits where 0xAARRGGBB has them: the pixel is the colour with the absent
  // channels cleared.
  const auto inPlace = [](const ChannelLayout& channel, uint32_t shift) {
    return channel.bits == 0 || (channel.bits == 8 && channel.shift == shift);
  };
  if (bytesPerPixel_ == 4 && inPlace(format.red, 16) && inPlace(format.green, 8) && inPlace(format.blue, 0) &&
      inPlace(format.alpha, 24)) {
    kind_ = Kind::Masked32;
    keep_ = format.red.mask | format.green.mask | format.blue.mask | format.alpha.mask;
  } else if (bytesPerPixel_ == 2 && masks(0xF800, 0x07E0, 0x001F)) {
    kind_ = Kind::Rgb565;
  } else if (bytesPerPixel_ == 3 && masks(0xFF0000, 0xFF00, 0xFF)) {
    kind_ = Kind::Bgr24;
  } else {
    kind_ = Kind::Shifted;
  }
}

ByteOrder ArgbRowStore::Bytes() const {
  if (kind_ == Kind::Bgr24) return ByteOrder::Bgr;
  if (kind_ == Kind::Masked32 && keep_ == 0xFFFFFF) return ByteOrder::Bgr0;
  return ByteOrder::Other;
}

ArgbRowStore::~ArgbRowStore() = default;
ArgbRowStore::ArgbRowStore(ArgbRowStore&&) noexcept = default;
ArgbRowStore& ArgbRowStore::operator=(ArgbRowStore&&) noexcept = default;

void ArgbRowStore::Store(const uint32_t* argb, uint8_t* out, uint32_t count) {
  const Shifted shifted{moves_[0], moves_[1], moves_[2], moves_[3]};
  switch (kind_) {
    case Kind::None: return;
    case Kind::Masked32: return StoreRow<uint32_t>(argb, out, count, Masked{keep_});
    case Kind::Rgb565: return StoreRow<uint16_t>(argb, out, count, Rgb565{});
    case Kind::Bgr24: return StoreRow24(argb, out, count, Bgr24{});
    case Kind::Shifted:
      switch (bytesPerPixel_) {
        case 1: return StoreRow<uint8_t>(argb, out, count, shifted);
        case 2: return StoreRow<uint16_t>(argb, out, count, shifted);
        case 3: return StoreRow24(argb, out, count, shifted);
        default: return StoreRow<uint32_t>(argb, out, count, shifted);
      }
    case Kind::Cube: return StoreRow<uint8_t>(argb, out, count, Cube{});
    case Kind::Palette:
      for (uint32_t i = 0; i < count; ++i) out[i] = nearest_->Find(argb[i]);
      return;
  }
}

void ArgbRowStore::StoreReference(const uint32_t* argb, uint8_t* out, uint32_t count) const {
  if (kind_ == Kind::None) return;
  const bool paletted = kind_ == Kind::Cube || kind_ == Kind::Palette;
  for (uint32_t x = 0; x < count; ++x, out += bytesPerPixel_) {
    const uint32_t colour = argb[x];
    const uint32_t pixel = paletted ? NearestIndex(palette_, colour)
                                    : Narrow(red_, (colour >> 16) & 0xFF) | Narrow(green_, (colour >> 8) & 0xFF) |
                                          Narrow(blue_, colour & 0xFF) | Narrow(alpha_, colour >> 24);
    StorePixel(out, bytesPerPixel_, pixel);
  }
}

}  // namespace vx
