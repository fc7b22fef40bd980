// Moving decoded pixels into new surfaces, a batch of rows at a time, and reading surfaces back
// for the writers, through locks. Narrowing keeps a channel's top bits and widening shifts it up,
// so an image saved from a 16-bit surface and loaded again comes back to the same pixel values.
#include <algorithm>
#include <cstring>

#include "images/image_codecs.h"
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

}  // namespace

SurfaceRows::SurfaceRows(IDirectDraw7* directDraw, IDirectDrawSurface7* primary, bool systemMemory, PixelPath path)
    : directDraw_(directDraw), primary_(primary), systemMemory_(systemMemory), path_(path) {}

SurfaceRows::~SurfaceRows() {
  if (!surface_) return;
  surface_->Unlock(nullptr);
  surface_->Release();
}

bool SurfaceRows::Begin(uint32_t width, uint32_t height) {
  if (!directDraw_ || surface_ || !FitsImageBudget(width, height, sizeof(uint32_t))) return false;
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
  desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | (systemMemory_ ? DDSCAPS_SYSTEMMEMORY : 0);
  desc.dwWidth = width;
  desc.dwHeight = height;
  IDirectDrawSurface7* surface = nullptr;
  if (Failed(directDraw_->CreateSurface(&desc, &surface, nullptr)) || !surface) return false;
  DDSURFACEDESC2 locked{};
  locked.dwSize = sizeof locked;
  if (Failed(surface->Lock(nullptr, &locked, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr))) {
    surface->Release();
    return false;
  }
  surface_ = surface;
  store_ = ArgbRowStore(DescribeFormat(locked.ddpfPixelFormat), PaletteOf(surface, primary_));
  if (!store_.Storable()) return false;
  bits_ = static_cast<uint8_t*>(locked.lpSurface);
  pitch_ = locked.lPitch;
  width_ = width;
  return true;
}

uint32_t* SurfaceRows::Row(uint32_t y) {
  if (batch_.empty()) {
    // Rows start 4 bytes past a 64-byte boundary: libjpeg-turbo writes rows that start on one
    // with stores that bypass the cache, and these are read again at once. (Written straight into
    // a new surface, whose pages the system has just cleared through the cache, such stores are
    // slower still.)
    batchStride_ = (size_t(width_) + 15) / 16 * 16;
    batch_.assign(batchStride_ * kBatchRows + 32, 0);
    const auto start = reinterpret_cast<uintptr_t>(batch_.data());
    batchFirst_ = batch_.data() + ((68 - start % 64) % 64) / sizeof(uint32_t);
  }
  return batchFirst_ + size_t(y % kBatchRows) * batchStride_;
}

ByteOrder SurfaceRows::Bytes() const { return path_ == PixelPath::Fast ? store_.Bytes() : ByteOrder::Other; }

void SurfaceRows::Done(uint32_t first, uint32_t count, ByteOrder written) {
  const bool asTheyAre = written != ByteOrder::Other && written == Bytes();
  for (uint32_t y = first; y < first + count; ++y) {
    if (asTheyAre) {
      std::memcpy(SurfaceRow(y), Row(y), size_t(width_) * store_.BytesPerPixel());
    } else {
      Put(y, Row(y));
    }
  }
}

void SurfaceRows::Put(uint32_t y, const uint32_t* argb) {
  if (path_ == PixelPath::Reference) {
    store_.StoreReference(argb, SurfaceRow(y), width_);
  } else {
    store_.Store(argb, SurfaceRow(y), width_);
  }
}

IDirectDrawSurface7* SurfaceRows::Finish() {
  if (!bits_) return nullptr;
  IDirectDrawSurface7* surface = surface_;
  surface->Unlock(nullptr);
  surface_ = nullptr;
  bits_ = nullptr;
  return surface;
}

IDirectDrawSurface7* CreateSurfaceFromImage(IDirectDraw7* directDraw, IDirectDrawSurface7* primary,
                                            const DecodedImage& image, bool systemMemory, PixelPath path) {
  SurfaceRows rows(directDraw, primary, systemMemory, path);
  if (!rows.Begin(image.width, image.height)) return nullptr;
  for (uint32_t y = 0; y < image.height; ++y) rows.Put(y, image.pixels.data() + size_t(y) * image.width);
  return rows.Finish();
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
        argb =
            0xFF000000u | Widen(format.red, pixel) << 16 | Widen(format.green, pixel) << 8 | Widen(format.blue, pixel);
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

IDirectDrawSurface7* LoadThroughDecoder(const ImageFormatCodec& codec, const std::string& fileName, ImageDecoder decode,
                                        bool systemMemory) {
  const std::optional<std::vector<uint8_t>> bytes = ReadWholeFile(fileName);
  if (!bytes) return nullptr;
  const std::optional<DecodedImage> image = decode(*bytes);
  if (!image) return nullptr;
  return CreateSurfaceFromImage(codec.directDraw, codec.primarySurface, *image, systemMemory);
}

IDirectDrawSurface7* LoadThroughRows(const ImageFormatCodec& codec, const std::string& fileName, RowDecoder decode,
                                     bool systemMemory) {
  const std::optional<std::vector<uint8_t>> bytes = ReadWholeFile(fileName);
  if (!bytes) return nullptr;
  SurfaceRows rows(codec.directDraw, codec.primarySurface, systemMemory);
  if (!decode(*bytes, rows, PixelPath::Fast)) return nullptr;
  return rows.Finish();
}

bool WriteImageFile(const std::string& fileName, const std::vector<uint8_t>& bytes) {
  return !bytes.empty() && WriteWholeFile(fileName, bytes.data(), bytes.size());
}

}  // namespace vx
