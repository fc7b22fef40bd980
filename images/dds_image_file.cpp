// DDS files and mip-mapped texture copies. The reader makes a texture in system memory in the
// file's own format (DXT1 to DXT5, or uncompressed RGB with or without alpha) with the mip chain
// the file holds, and fills it level by level from the file. The writer saves a surface as a DXT1
// file, sized up to powers of two, with a mip chain; MakeMipmappedTexture makes the same chain in
// memory for the texture code. Compression is the display layer's: a blit into a DXT surface
// encodes it. Each smaller level is the box-filtered half of the level above it as stored.
//
// A file's header is trusted for nothing: sizes, the format and the mip count are checked, and the
// file must hold every level's data, before anything is allocated.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "images/byte_reader.h"
#include "images/image_codecs.h"
#include "images/image_context.h"
#include "platform/ddraw/pixel_format.h"
#include "platform/win/files.h"
#include "system/system_state.h"

namespace vx {

using namespace win;

namespace {

constexpr uint32_t kDdsMagic = 0x20534444;  // "DDS "
constexpr size_t kMagicBytes = 4;
// Where the stored sizes of the description and of its pixel format sit in the file.
constexpr size_t kDescSizeAt = 4;
constexpr size_t kFormatSizeAt = 4 + 72;
// The header as the writer fills it: caps, height, width, pixel format and mip count, and a
// complex mip-mapped texture.
constexpr DWORD kWrittenFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT | DDSD_MIPMAPCOUNT;
constexpr DWORD kMipChainCaps = DDSCAPS_COMPLEX | DDSCAPS_TEXTURE | DDSCAPS_MIPMAP;
// The most pixel data a file may have us allocate.
constexpr uint64_t kLargestDdsBytes = uint64_t{256} << 20;

// Left in gInternalErrorCode by the reader.
enum DdsDetailCode : uint32_t {
  kDdsCannotOpen = 10001,
  kDdsNotDds = 10002,
  kDdsNoSurface = 10003,        // the surface can't be made, nor one the header describes
  kDdsLevelUnreadable = 10004,  // a level can't be locked, or the file ends before its data
  kDdsChainEnded = 10006,       // every level was read
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Releases a reference when it goes.
struct SurfaceReleaser {
  void operator()(IDirectDrawSurface7* surface) const { surface->Release(); }
};
using SurfaceRef = std::unique_ptr<IDirectDrawSurface7, SurfaceReleaser>;

DDSURFACEDESC2 EmptyDesc() {
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  return desc;
}

DWORD FullMipCount(DWORD width, DWORD height) {
  DWORD levels = 1;
  for (; width > 1 || height > 1; ++levels) {
    width = std::max<DWORD>(1, width / 2);
    height = std::max<DWORD>(1, height / 2);
  }
  return levels;
}

// The halvings that bring the smaller side down to 2: 7 for 256, 0 for 2. What the header stores.
DWORD MipCountFor(DWORD width, DWORD height) {
  DWORD count = 0;
  for (DWORD side = std::min(width, height); side > 2; side /= 2) ++count;
  return count;
}

// The first of 2, 4, 8, ... 8192 that is not smaller, and 16384 above 8192.
DWORD RoundUpToPowerOfTwo(DWORD side) {
  for (DWORD power = 2; power <= 8192; power *= 2)
    if (side <= power) return power;
  return 16384;
}

uint64_t LevelBytes(const FormatInfo& info, DWORD width, DWORD height) {
  if (info.kind == PixelKind::Dxt) return DxtSurfaceBytes(info.fourCC, width, height);
  return uint64_t{width} * height * info.bytesPerPixel;
}

DDPIXELFORMAT DxtFormat(char letter) {
  DDPIXELFORMAT format{};
  format.dwSize = sizeof format;
  format.dwFlags = DDPF_FOURCC;
  format.dwFourCC = MakeFourCC('D', 'X', 'T', letter);
  return format;
}

// --- Reading ----------------------------------------------------------------------------------------

// What a sound header describes.
struct DdsLayout {
  DDPIXELFORMAT format{};
  FormatInfo info;
  DWORD width = 0;
  DWORD height = 0;
  DWORD levels = 1;
  uint64_t dataBytes = 0;  // all levels
};

// The pixel format as a surface takes it: DXT1 to DXT5, or RGB with an optional alpha mask.
std::optional<DDPIXELFORMAT> SurfaceFormatOf(const DDPIXELFORMAT& stored) {
  DDPIXELFORMAT format{};
  format.dwSize = sizeof format;
  if (stored.dwFlags & DDPF_FOURCC) {
    format.dwFlags = DDPF_FOURCC;
    format.dwFourCC = stored.dwFourCC;
    if (DescribeFormat(format).kind != PixelKind::Dxt) return std::nullopt;
    return format;
  }
  // Palettes, luminance, bump maps and the like are not surfaces of this display.
  if (!(stored.dwFlags & DDPF_RGB) || (stored.dwFlags & ~(DDPF_RGB | DDPF_ALPHAPIXELS))) return std::nullopt;
  format.dwFlags = stored.dwFlags;
  format.dwRGBBitCount = stored.dwRGBBitCount;
  format.dwRBitMask = stored.dwRBitMask;
  format.dwGBitMask = stored.dwGBitMask;
  format.dwBBitMask = stored.dwBBitMask;
  format.dwRGBAlphaBitMask = (stored.dwFlags & DDPF_ALPHAPIXELS) ? stored.dwRGBAlphaBitMask : 0;
  if (DescribeFormat(format).kind != PixelKind::Rgb) return std::nullopt;
  return format;
}

std::optional<DdsLayout> LayoutOf(const uint8_t (&header)[kMagicBytes + kSurfaceDescRecordSize]) {
  const std::span<const uint8_t> bytes(header);
  if (ReadU32LE(bytes, kDescSizeAt) != kSurfaceDescRecordSize || ReadU32LE(bytes, kFormatSizeAt) != 32)
    return std::nullopt;
  uint8_t record[kSurfaceDescRecordSize];
  std::copy_n(header + kMagicBytes, kSurfaceDescRecordSize, record);
  DDSURFACEDESC2 desc;
  ReadSurfaceDescRecord(record, &desc);

  DdsLayout layout;
  const std::optional<DDPIXELFORMAT> format = SurfaceFormatOf(desc.ddpfPixelFormat);
  if (!format) return std::nullopt;
  layout.format = *format;
  layout.info = DescribeFormat(*format);
  layout.width = desc.dwWidth;
  layout.height = desc.dwHeight;
  if (layout.width == 0 || layout.height == 0 || layout.width > kLargestImageSide ||
      layout.height > kLargestImageSide || uint64_t{layout.width} * layout.height > kLargestImagePixels)
    return std::nullopt;
  // Cube maps and volumes hold more than one picture; none is a texture of this system.
  if ((desc.ddsCaps.dwCaps2 & (DDSCAPS2_CUBEMAP | DDSCAPS2_VOLUME)) ||
      ((desc.dwFlags & DDSD_DEPTH) && desc.dwDepth > 1))
    return std::nullopt;
  const bool chain = (desc.dwFlags & DDSD_MIPMAPCOUNT) || (desc.ddsCaps.dwCaps & DDSCAPS_MIPMAP);
  layout.levels = chain && desc.dwMipMapCount > 1 ? desc.dwMipMapCount : 1;
  if (layout.levels > FullMipCount(layout.width, layout.height)) return std::nullopt;
  for (DWORD level = 0; level < layout.levels; ++level)
    layout.dataBytes +=
        LevelBytes(layout.info, std::max<DWORD>(1, layout.width >> level), std::max<DWORD>(1, layout.height >> level));
  if (layout.dataBytes > kLargestDdsBytes) return std::nullopt;
  return layout;
}

IDirectDrawSurface7* CreateTexture(IDirectDraw7* directDraw, const DdsLayout& layout) {
  DDSURFACEDESC2 desc = EmptyDesc();
  desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
  desc.dwWidth = layout.width;
  desc.dwHeight = layout.height;
  desc.ddpfPixelFormat = layout.format;
  desc.ddsCaps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY;
  if (layout.levels > 1) {
    desc.dwFlags |= DDSD_MIPMAPCOUNT;
    desc.dwMipMapCount = layout.levels;
    desc.ddsCaps.dwCaps |= kMipChainCaps;
  }
  IDirectDrawSurface7* texture = nullptr;
  if (!directDraw || Failed(directDraw->CreateSurface(&desc, &texture, nullptr))) return nullptr;
  return texture;
}

// One level's pixels from the file: in one piece when the lock reports a linear size, else row
// by row at the lock's pitch.
bool ReadLevel(std::FILE* file, IDirectDrawSurface7* level, const FormatInfo& info) {
  DDSURFACEDESC2 locked = EmptyDesc();
  if (Failed(level->Lock(nullptr, &locked, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr))) return false;
  auto* bits = static_cast<uint8_t*>(locked.lpSurface);
  bool read = true;
  if (locked.dwFlags & DDSD_LINEARSIZE) {
    read = std::fread(bits, 1, locked.dwLinearSize, file) == locked.dwLinearSize;
  } else {
    const size_t rowBytes = size_t(locked.dwWidth) * info.bytesPerPixel;
    for (DWORD y = 0; read && y < locked.dwHeight; ++y)
      read = std::fread(bits + ptrdiff_t(y) * locked.lPitch, 1, rowBytes, file) == rowBytes;
  }
  level->Unlock(nullptr);
  return read;
}

IDirectDrawSurface7* Fail(DdsDetailCode code) {
  System().gInternalErrorCode = code;
  return nullptr;
}

// The next level of a mip chain, with a reference of its own; null after the last.
IDirectDrawSurface7* NextLevel(IDirectDrawSurface7* level) {
  DDSCAPS2 caps{};
  caps.dwCaps = kMipChainCaps;
  IDirectDrawSurface7* next = nullptr;
  return Succeeded(level->GetAttachedSurface(&caps, &next)) ? next : nullptr;
}

// Calls `step` with each level of a chain, largest first, while it returns true; false when a step
// did.
template <typename Step>
bool EachLevel(IDirectDrawSurface7* top, Step step) {
  if (!step(top)) return false;
  for (SurfaceRef level(NextLevel(top)); level; level.reset(NextLevel(level.get())))
    if (!step(level.get())) return false;
  return true;
}

// --- Mip chains ------------------------------------------------------------------------------------

// A system-memory surface of 8-bit ARGB, in which levels are filtered without losing alpha.
IDirectDrawSurface7* CreateArgbSurface(IDirectDraw7* directDraw, DWORD width, DWORD height) {
  DDSURFACEDESC2 desc = EmptyDesc();
  desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
  desc.dwWidth = width;
  desc.dwHeight = height;
  desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
  desc.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
  desc.ddpfPixelFormat.dwFlags = DDPF_RGB | DDPF_ALPHAPIXELS;
  desc.ddpfPixelFormat.dwRGBBitCount = 32;
  desc.ddpfPixelFormat.dwRBitMask = 0x00FF0000;
  desc.ddpfPixelFormat.dwGBitMask = 0x0000FF00;
  desc.ddpfPixelFormat.dwBBitMask = 0x000000FF;
  desc.ddpfPixelFormat.dwRGBAlphaBitMask = 0xFF000000;
  IDirectDrawSurface7* surface = nullptr;
  if (Failed(directDraw->CreateSurface(&desc, &surface, nullptr))) return nullptr;
  return surface;
}

// The level's pixels in a new ARGB surface of its size: the working copy the next level is made of.
IDirectDrawSurface7* WorkingCopyOf(IDirectDraw7* directDraw, IDirectDrawSurface7* level) {
  IDirectDrawSurface7* copy = CreateArgbSurface(directDraw, level->Width(), level->Height());
  if (copy && Failed(copy->Blt(nullptr, level, nullptr, DDBLT_WAIT, nullptr))) {
    copy->Release();
    return nullptr;
  }
  return copy;
}

// Each pixel of `half` the average of a 2x2 block of `whole`, channel by channel (a side of one
// pixel averages the pair along the other side).
bool BoxFilterHalf(IDirectDrawSurface7* whole, IDirectDrawSurface7* half) {
  DDSURFACEDESC2 from = EmptyDesc(), to = EmptyDesc();
  if (Failed(whole->Lock(nullptr, &from, DDLOCK_WAIT | DDLOCK_READONLY, nullptr))) return false;
  if (Failed(half->Lock(nullptr, &to, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr))) {
    whole->Unlock(nullptr);
    return false;
  }
  const auto pixel = [&](DWORD x, DWORD y) {
    x = std::min(x, from.dwWidth - 1), y = std::min(y, from.dwHeight - 1);
    return LoadPixel(static_cast<const uint8_t*>(from.lpSurface) + ptrdiff_t(y) * from.lPitch + ptrdiff_t(x) * 4, 4);
  };
  for (DWORD y = 0; y < to.dwHeight; ++y) {
    auto* row = static_cast<uint8_t*>(to.lpSurface) + ptrdiff_t(y) * to.lPitch;
    for (DWORD x = 0; x < to.dwWidth; ++x) {
      const uint32_t quad[4] = {pixel(2 * x, 2 * y), pixel(2 * x + 1, 2 * y), pixel(2 * x, 2 * y + 1),
                                pixel(2 * x + 1, 2 * y + 1)};
      uint32_t average = 0;
      for (uint32_t shift = 0; shift < 32; shift += 8) {
        uint32_t sum = 2;
        for (const uint32_t p : quad) sum += (p >> shift) & 0xFF;
        average |= (sum / 4) << shift;
      }
      StorePixel(row + size_t(x) * 4, 4, average);
    }
  }
  half->Unlock(nullptr);
  whole->Unlock(nullptr);
  return true;
}

// A texture of the size, format and level count holding the source, scaled to its top level; each
// further level the box-filtered half of the one above. Null when a step fails.
IDirectDrawSurface7* MakeMipChain(IDirectDraw7* directDraw, IDirectDrawSurface7* source, DWORD width, DWORD height,
                                  DWORD levels, const DDPIXELFORMAT& format, DWORD memoryCaps, DWORD caps2) {
  if (!directDraw || !source) return nullptr;
  DDSURFACEDESC2 desc = EmptyDesc();
  desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT | DDSD_MIPMAPCOUNT;
  desc.dwWidth = width;
  desc.dwHeight = height;
  desc.dwMipMapCount = std::max<DWORD>(1, levels);
  desc.ddpfPixelFormat = format;
  desc.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
  desc.ddsCaps.dwCaps = kMipChainCaps | memoryCaps;
  desc.ddsCaps.dwCaps2 = caps2;
  IDirectDrawSurface7* made = nullptr;
  if (Failed(directDraw->CreateSurface(&desc, &made, nullptr))) return nullptr;
  SurfaceRef texture(made);

  // A palettised texture takes the source's palette on every level before anything is drawn.
  DirectDrawPalette* palette = source->Palette();
  if (palette && DescribeFormat(made->PixelFormat()).kind == PixelKind::Palette8)
    EachLevel(made, [palette](IDirectDrawSurface7* level) { return Succeeded(level->SetPalette(palette)); });
  if (Failed(made->Blt(nullptr, source, nullptr, DDBLT_WAIT, nullptr))) return nullptr;

  SurfaceRef working(WorkingCopyOf(directDraw, made));
  if (!working) return nullptr;
  const bool filled = EachLevel(made, [&](IDirectDrawSurface7* level) {
    if (level == made) return true;  // the top holds the source
    SurfaceRef half(CreateArgbSurface(directDraw, level->Width(), level->Height()));
    if (!half || !BoxFilterHalf(working.get(), half.get())) return false;
    if (Failed(level->Blt(nullptr, half.get(), nullptr, DDBLT_WAIT, nullptr))) return false;
    working.reset(WorkingCopyOf(directDraw, level));
    return working != nullptr;
  });
  return filled ? texture.release() : nullptr;
}

// --- Writing ----------------------------------------------------------------------------------------

// The file of a surface: the header, then every level's blocks, largest first.
std::optional<std::vector<uint8_t>> EncodeDds(IDirectDraw7* directDraw, IDirectDrawSurface7* surface, char letter) {
  const DWORD width = RoundUpToPowerOfTwo(surface->Width());
  const DWORD height = RoundUpToPowerOfTwo(surface->Height());
  const DWORD mipCount = MipCountFor(width, height);
  const DDPIXELFORMAT format = DxtFormat(letter);
  SurfaceRef texture(MakeMipChain(directDraw, surface, width, height, mipCount, format, DDSCAPS_SYSTEMMEMORY, 0));
  if (!texture) return std::nullopt;

  DDSURFACEDESC2 header = EmptyDesc();
  header.dwFlags = kWrittenFlags;
  header.dwWidth = width;
  header.dwHeight = height;
  header.dwMipMapCount = mipCount;
  header.ddpfPixelFormat = format;
  header.ddsCaps.dwCaps = kMipChainCaps;
  uint8_t record[kSurfaceDescRecordSize];
  WriteSurfaceDescRecord(header, record);
  std::vector<uint8_t> bytes(kMagicBytes);
  PutU32LE(bytes.data(), kDdsMagic);
  bytes.insert(bytes.end(), std::begin(record), std::end(record));

  const bool written = EachLevel(texture.get(), [&bytes](IDirectDrawSurface7* level) {
    DDSURFACEDESC2 locked = EmptyDesc();
    if (Failed(level->Lock(nullptr, &locked, DDLOCK_WAIT | DDLOCK_READONLY, nullptr))) return false;
    const auto* bits = static_cast<const uint8_t*>(locked.lpSurface);
    bytes.insert(bytes.end(), bits, bits + locked.dwLinearSize);
    level->Unlock(nullptr);
    return true;
  });
  if (!written) return std::nullopt;
  return bytes;
}

}  // namespace

IDirectDrawSurface7* DdsImageFile::Load(const std::string& fileName) {
  File file(std::fopen(ResolvePath(fileName).c_str(), "rb"));
  if (!file) return Fail(kDdsCannotOpen);
  uint8_t header[kMagicBytes + kSurfaceDescRecordSize];
  if (std::fread(header, 1, kMagicBytes, file.get()) != kMagicBytes || ReadU32LE(header, 0) != kDdsMagic)
    return Fail(kDdsNotDds);
  if (std::fread(header + kMagicBytes, 1, kSurfaceDescRecordSize, file.get()) != kSurfaceDescRecordSize)
    return Fail(kDdsNoSurface);
  const std::optional<DdsLayout> layout = LayoutOf(header);
  if (!layout) return Fail(kDdsNoSurface);
  // A file too short for its levels is refused before anything is made for it.
  struct stat status {};
  if (fstat(fileno(file.get()), &status) != 0 || uint64_t(status.st_size) < sizeof header + layout->dataBytes)
    return Fail(kDdsLevelUnreadable);

  SurfaceRef texture(CreateTexture(directDraw, *layout));
  if (!texture) return Fail(kDdsNoSurface);
  const FormatInfo& info = layout->info;
  if (!EachLevel(texture.get(), [&](IDirectDrawSurface7* level) { return ReadLevel(file.get(), level, info); }))
    return Fail(kDdsLevelUnreadable);
  System().gInternalErrorCode = kDdsChainEnded;
  return texture.release();
}

int32_t DdsImageFile::Save(IDirectDrawSurface7* surface, const std::string& fileName) {
  if (!surface) return 0;
  const std::optional<std::vector<uint8_t>> bytes = EncodeDds(directDraw, surface, '1');
  return bytes && WriteImageFile(fileName, *bytes) ? 1 : 0;
}

int32_t MakeMipmappedTexture(IDirectDrawSurface7* surface, IDirectDrawSurface7** out, char fourCCLetter,
                             int32_t compress) {
  if (!out) return 0;
  *out = nullptr;
  if (!surface) return 0;
  const DWORD width = surface->Width(), height = surface->Height();
  const DDPIXELFORMAT format = compress == 1 ? DxtFormat(fourCCLetter) : surface->PixelFormat();
  IDirectDrawSurface7* texture = MakeMipChain(gImageContext.directDraw, surface, width, height,
                                              MipCountFor(width, height), format, 0, DDSCAPS2_TEXTUREMANAGE);
  if (!texture) return 0;
  // An uncompressed copy keeps the source's transparent colour on every level.
  DDCOLORKEY key{};
  if (compress != 1 && Succeeded(surface->GetColorKey(DDCKEY_SRCBLT, &key)))
    EachLevel(texture,
              [&key](IDirectDrawSurface7* level) { return Succeeded(level->SetColorKey(DDCKEY_SRCBLT, &key)); });
  *out = texture;
  return 1;
}

}  // namespace vx
