// Rows of decoded 0xAARRGGBB pixels stored in a surface's pixel format. Each kind of format has
// a plain loop over a whole row that the compiler turns into vector code; beside them stays the
// reference that converts pixel by pixel, which the tests hold every loop against byte for byte.
// Channels are narrowed by keeping their top bits; a palettised surface takes the nearest entry of
// its palette, or of the 3-3-2 colour cube when it has none.
#pragma once
#include <cstdint>
#include <memory>

#include "platform/ddraw/pixel_format.h"

namespace vx {

// Every conversion of decoded pixels has a fast way and a plain reference way that gives the same
// bytes.
enum class PixelPath { Fast, Reference };

// Formats whose pixels are bytes that libraries write: blue, green, red (the display's 24 bits),
// and the same with a zero fourth byte (its 32 bits).
enum class ByteOrder { Other, Bgr, Bgr0 };

class ArgbRowStore {
 public:
  // Only RGB and palettised formats can be stored; the palette (256 entries) may be null.
  ArgbRowStore(const win::FormatInfo& format, const win::PALETTEENTRY* palette);
  ~ArgbRowStore();
  ArgbRowStore(ArgbRowStore&&) noexcept;
  ArgbRowStore& operator=(ArgbRowStore&&) noexcept;

  bool Storable() const { return kind_ != Kind::None; }
  uint32_t BytesPerPixel() const { return bytesPerPixel_; }
  ByteOrder Bytes() const;

  // `count` pixels into `out`, which does not overlap them.
  void Store(const uint32_t* argb, uint8_t* out, uint32_t count);
  void StoreReference(const uint32_t* argb, uint8_t* out, uint32_t count) const;

  // How one 8-bit channel becomes its bits in a pixel value: ((value << up) >> down << shift) & mask.
  struct Narrowing {
    uint32_t up = 0;    // for channels wider than 8 bits
    uint32_t down = 0;  // for narrower ones: only the top bits are kept
    uint32_t shift = 0;
    uint32_t mask = 0;  // 0 for a channel the format does not have
  };
  // The same for a channel where 0xAARRGGBB holds it: (argb & keep) << left >> right.
  struct ChannelMove {
    uint32_t keep = 0;
    uint32_t left = 0;
    uint32_t right = 0;
  };

 private:
  // Masked32, Rgb565 and Bgr24 are the display's formats (and ones like them), Shifted any other
  // RGB format, Cube and Palette the palettised ones without and with a palette.
  enum class Kind { None, Masked32, Rgb565, Bgr24, Shifted, Cube, Palette };
  struct NearestCache;

  Kind kind_ = Kind::None;
  uint32_t bytesPerPixel_ = 0;
  uint32_t keep_ = 0;  // Masked32: the bits of the pixel that the format has
  Narrowing red_, green_, blue_, alpha_;
  ChannelMove moves_[4];  // red, green, blue, alpha
  const win::PALETTEENTRY* palette_ = nullptr;
  std::unique_ptr<NearestCache> nearest_;  // Palette: colours already matched
};

}  // namespace vx
