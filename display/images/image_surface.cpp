// Moving decoded pixels into new surfaces and reading surfaces back for the writers, through
// locks. Narrowing keeps a channel's top bits and widening shifts it up, so an image saved from a
// 16-bit surface and loaded again comes back to the same pixel values.
#include <algorithm>

#include "display/images/image_codecs.h"
#include "platform/ddraw/pixel_format.h"
#include "platform/win/files.h"

namespace vx {

using namespace win;

bool DecodedImage::Allocate(uint32_t w, uint32_t h) {
  if (!FitsImageBudget(w, h, sizeof(uint32_t))) return false;
  width = w;
  height = h;
  pixels.assign(size_t(w) * h, 0xFF000000u);
  return true;
}

namespace {

// How an 8-bit channel value becomes the bits of one channel of a pixel, worked out once per
// surface so that the loop over a picture's pixels makes no decision per channel.
struct Narrowing {
  uint32_t up = 0;    // for channels wider than 8 bits
  uint32_t down = 0;  // for narrower ones: only the top bits are kept
  uint32_t shift = 0;
  uint32_t mask = 0;  // 0 for a channel the format does not have
};

Narrowing NarrowingOf(const ChannelLayout& channel) {
  if (channel.bits == 0) return {};
  return {channel.bits >= 8 ? channel.bits - 8 : 0, channel.bits >= 8 ? 0 : 8 - channel.bits, channel.shift,
          channel.mask};
}

uint32_t Narrow(const Narrowing& channel, uint32_t value8) {
  return ((value8 << channel.up) >> channel.down << channel.shift) & channel.mask;
}

uint32_t Widen(const ChannelLayout& channel, uint32_t pixel) {
  if (channel.bits == 0) return 0;
  const uint32_t value = (pixel & channel.mask) >> channel.shift;
  return channel.bits >= 8 ? value >> (channel.bits - 8) : value << (8 - channel.bits);
}

const PALETTEENTRY* PaletteOf(DirectDrawSurface* surface, DirectDrawSurface* primary) {
  if (surface && surface->Palette()) return surface->Palette()->Entries();
  if (primary && primary->Palette()) return primary->Palette()->Entries();
  return nullptr;
}

// The palette index whose colour is nearest; without a palette, the 3-3-2 colour cube.
uint8_t NearestIndex(const PALETTEENTRY* palette, uint32_t argb) {
  const int r = int((argb >> 16) & 0xFF), g = int((argb >> 8) & 0xFF), b = int(argb & 0xFF);
  if (!palette) return uint8_t((r >> 5) << 5 | (g >> 5) << 2 | (b >> 6));
  int best = 0, bestDistance = 1 << 30;
  for (int i = 0; i < 256; ++i) {
    const int dr = r - palette[i].peRed, dg = g - palette[i].peGreen, db = b - palette[i].peBlue;
    const int distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) best = i, bestDistance = distance;
  }
  return uint8_t(best);
}

}  // namespace

IDirectDrawSurface7* CreateSurfaceFromImage(IDirectDraw7* directDraw, IDirectDrawSurface7* primary,
                                            const DecodedImage& image, bool systemMemory) {
  if (!directDraw || image.width == 0 || image.height == 0) return nullptr;
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
  desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | (systemMemory ? DDSCAPS_SYSTEMMEMORY : 0);
  desc.dwWidth = image.width;
  desc.dwHeight = image.height;
  IDirectDrawSurface7* surface = nullptr;
  if (Failed(directDraw->CreateSurface(&desc, &surface, nullptr)) || !surface) return nullptr;

  DDSURFACEDESC2 locked{};
  locked.dwSize = sizeof locked;
  if (Failed(surface->Lock(nullptr, &locked, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr))) {
    surface->Release();
    return nullptr;
  }
  const FormatInfo format = DescribeFormat(locked.ddpfPixelFormat);
  const PALETTEENTRY* palette = PaletteOf(surface, primary);
  auto* base = static_cast<uint8_t*>(locked.lpSurface);
  const bool paletted = format.kind == PixelKind::Palette8;
  const bool written = format.kind == PixelKind::Rgb || paletted;
  const Narrowing red = NarrowingOf(format.red), green = NarrowingOf(format.green), blue = NarrowingOf(format.blue),
                  alpha = NarrowingOf(format.alpha);
  const uint32_t bytesPerPixel = format.bytesPerPixel;
  for (uint32_t y = 0; written && y < image.height; ++y) {
    uint8_t* row = base + ptrdiff_t(y) * locked.lPitch;
    const uint32_t* from = image.pixels.data() + size_t(y) * image.width;
    for (uint32_t x = 0; x < image.width; ++x, row += bytesPerPixel) {
      const uint32_t argb = from[x];
      const uint32_t pixel = paletted ? NearestIndex(palette, argb)
                                      : Narrow(red, (argb >> 16) & 0xFF) | Narrow(green, (argb >> 8) & 0xFF) |
                                            Narrow(blue, argb & 0xFF) | Narrow(alpha, argb >> 24);
      StorePixel(row, bytesPerPixel, pixel);
    }
  }
  surface->Unlock(nullptr);
  if (!written) {
    surface->Release();
    return nullptr;
  }
  return surface;
}

std::optional<DecodedImage> ReadSurfaceImage(IDirectDrawSurface7* surface, IDirectDrawSurface7* primary) {
  if (!surface) return std::nullopt;
  DDSURFACEDESC2 locked{};
  locked.dwSize = sizeof locked;
  if (Failed(surface->Lock(nullptr, &locked, DDLOCK_WAIT | DDLOCK_READONLY, nullptr))) return std::nullopt;
  DecodedImage image;
  const FormatInfo format = DescribeFormat(locked.ddpfPixelFormat);
  if (!image.Allocate(locked.dwWidth, locked.dwHeight) ||
      (format.kind != PixelKind::Rgb && format.kind != PixelKind::Palette8 && format.kind != PixelKind::Dxt)) {
    surface->Unlock(nullptr);
    return std::nullopt;
  }
  const PALETTEENTRY* palette = PaletteOf(surface, primary);
  const auto* base = static_cast<const uint8_t*>(locked.lpSurface);
  for (uint32_t y = 0; y < image.height; ++y) {
    const uint8_t* row = base + ptrdiff_t(y) * locked.lPitch;
    for (uint32_t x = 0; x < image.width; ++x) {
      uint32_t argb;
      if (format.kind == PixelKind::Rgb) {
        const uint32_t pixel = LoadPixel(row + size_t(x) * format.bytesPerPixel, format.bytesPerPixel);
        argb = 0xFF000000u | Widen(format.red, pixel) << 16 | Widen(format.green, pixel) << 8 | Widen(format.blue, pixel);
      } else if (format.kind == PixelKind::Palette8) {
        const uint8_t index = row[x];
        argb = palette ? 0xFF000000u | uint32_t(palette[index].peRed) << 16 | uint32_t(palette[index].peGreen) << 8 |
                             palette[index].peBlue
                       : 0xFF000000u | uint32_t(index) * 0x010101u;
      } else {
        SurfacePixels view = surface->Pixels();
        argb = 0xFF000000u | ReadPixelArgb(view, x, y);
      }
      image.At(x, y) = argb;
    }
  }
  surface->Unlock(nullptr);
  return image;
}

IDirectDrawSurface7* LoadThroughDecoder(const ImageFormatCodec& codec, const std::string& fileName,
                                        ImageDecoder decode, bool systemMemory) {
  const std::optional<std::vector<uint8_t>> bytes = ReadWholeFile(fileName);
  if (!bytes) return nullptr;
  const std::optional<DecodedImage> image = decode(*bytes);
  if (!image) return nullptr;
  return CreateSurfaceFromImage(codec.directDraw, codec.primarySurface, *image, systemMemory);
}

bool WriteImageFile(const std::string& fileName, const std::vector<uint8_t>& bytes) {
  return !bytes.empty() && WriteWholeFile(fileName, bytes.data(), bytes.size());
}

}  // namespace vx
