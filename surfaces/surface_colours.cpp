// Pixel values and colours of surfaces: the channel layout of a format, the two conversions, and
// the read of one pixel through a lock.
#include "surfaces/surface_colours.h"

#include <bit>

#include "common/value_slot.h"
#include "platform/ddraw/pixel_format.h"

namespace vx {

namespace {

// The position after the highest set bit, 0 for an empty mask.
uint32_t BitsUpTo(uint32_t mask) { return uint32_t(32 - std::countl_zero(mask)); }

uint32_t MaxOf(uint32_t bits) { return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1u; }

uint32_t Widen(uint32_t value, uint32_t max) {
  return max == 0 ? 0 : uint32_t(TruncateToInt32(255.0 / double(max) * double(value))) & 0xFFu;
}

}  // namespace

const PixelFormatShifts& ComputePixelFormatShifts(win::IDirectDrawSurface7* surface) {
  PixelFormatShifts s;
  if (surface) {
    const win::DDPIXELFORMAT& f = surface->PixelFormat();
    if (f.dwFlags & win::DDPF_PALETTEINDEXED8) {
      // The display palette is a 3-3-2 colour cube, so white is index 255, not index 0.
      s.redBits = 3, s.greenBits = 3, s.blueBits = 2;
      s.redMask = 0xE0, s.greenMask = 0x1C, s.blueMask = 0x03;
    } else if (f.dwFlags & win::DDPF_RGB) {
      s.blueBits = BitsUpTo(f.dwBBitMask);
      const uint32_t greenTop = BitsUpTo(f.dwGBitMask), redTop = BitsUpTo(f.dwRBitMask);
      s.greenBits = greenTop > s.blueBits ? greenTop - s.blueBits : 0;
      s.redBits = redTop > greenTop ? redTop - greenTop : 0;
      s.redMask = f.dwRBitMask;
      s.greenMask = f.dwGBitMask;
      s.blueMask = f.dwBBitMask;
    }
    s.bitCount = f.dwRGBBitCount;
  }
  s.greenShift = s.blueBits;
  s.redShift = s.blueBits + s.greenBits;
  s.redMax = MaxOf(s.redBits);
  s.greenMax = MaxOf(s.greenBits);
  s.blueMax = MaxOf(s.blueBits);
  Display().gPixelShifts = s;
  return Display().gPixelShifts;
}

uint32_t SurfacePixelToRgb(uint32_t pixel) {
  const PixelFormatShifts& s = Display().gPixelShifts;
  const uint32_t r = s.redShift < 32 ? (pixel >> s.redShift) & s.redMax : 0;
  const uint32_t g = s.greenShift < 32 ? (pixel >> s.greenShift) & s.greenMax : 0;
  const uint32_t b = pixel & s.blueMax;
  return Widen(r, s.redMax) << 16 | Widen(g, s.greenMax) << 8 | Widen(b, s.blueMax);
}

uint32_t RgbToSurfacePixel(uint32_t colour) {
  const PixelFormatShifts& s = Display().gPixelShifts;
  auto narrow = [](uint32_t value, uint32_t max) {
    return uint32_t(TruncateToInt32(double(max) / 255.0 * double(value)));
  };
  const uint32_t r = narrow((colour >> 16) & 0xFF, s.redMax);
  const uint32_t g = narrow((colour >> 8) & 0xFF, s.greenMax);
  const uint32_t b = narrow(colour & 0xFF, s.blueMax);
  return (s.redShift < 32 ? r << s.redShift : 0) + (s.greenShift < 32 ? g << s.greenShift : 0) + b;
}

uint32_t ReadSurfacePixel(win::IDirectDrawSurface7* surface, int32_t x, int32_t y) {
  if (!surface) return 0;
  ComputePixelFormatShifts(surface);
  win::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  if (win::Failed(surface->Lock(nullptr, &desc, win::DDLOCK_WAIT | win::DDLOCK_READONLY, nullptr))) return 0;
  uint32_t pixel = 0;
  const uint32_t bytes = (desc.ddpfPixelFormat.dwRGBBitCount + 7) / 8;
  // Only the pixel's own bytes are read, so the last pixel of a surface never reads past its end.
  if (x >= 0 && y >= 0 && uint32_t(x) < desc.dwWidth && uint32_t(y) < desc.dwHeight && bytes >= 1 && bytes <= 4) {
    const auto* at = static_cast<const uint8_t*>(desc.lpSurface) + size_t(y) * size_t(desc.lPitch) + size_t(x) * bytes;
    pixel = win::LoadPixel(at, bytes);
  }
  surface->Unlock(nullptr);
  return SurfacePixelToRgb(pixel);
}

}  // namespace vx
