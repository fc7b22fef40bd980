// The blitter: copies a source rectangle into a destination rectangle with nearest-sample
// stretching, mirroring, source and destination colour keys and pixel-format conversion, and
// fills rectangles. Block-compressed surfaces are decoded into ARGB around the blit and encoded
// again; a source that overlaps its destination on one surface is copied aside first.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/ddraw/driver_state.h"
#include "platform/ddraw/keyed_rows.h"

namespace vx::win::ddraw_detail {

namespace {

bool InKey(const DDCOLORKEY& key, uint32_t value) {
  return value >= key.dwColorSpaceLowValue && value <= key.dwColorSpaceHighValue;
}

LONG RectWidth(const RECT& r) { return r.right - r.left; }
LONG RectHeight(const RECT& r) { return r.bottom - r.top; }

bool Intersect(const RECT& a, const RECT& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

uint8_t* PixelAt(const BlitSurface& s, LONG x, LONG y) {
  return s.bits + static_cast<ptrdiff_t>(y) * s.pitch + static_cast<ptrdiff_t>(x) * s.format.bytesPerPixel;
}

const FormatInfo& ArgbFormat() {
  static const FormatInfo format = [] {
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof pf;
    pf.dwFlags = DDPF_RGB | DDPF_ALPHAPIXELS;
    pf.dwRGBBitCount = 32;
    pf.dwRBitMask = 0x00FF0000;
    pf.dwGBitMask = 0x0000FF00;
    pf.dwBBitMask = 0x000000FF;
    pf.dwRGBAlphaBitMask = 0xFF000000;
    return DescribeFormat(pf);
  }();
  return format;
}

// A surface of our own for a staged copy.
struct Scratch {
  std::vector<uint8_t> bytes;
  BlitSurface view;
  Scratch(uint32_t width, uint32_t height, const FormatInfo& format, const PALETTEENTRY* palette) {
    view.width = width;
    view.height = height;
    view.format = format;
    view.palette = palette;
    view.pitch = static_cast<LONG>(width * format.bytesPerPixel);
    bytes.resize(static_cast<size_t>(width) * height * format.bytesPerPixel);
    view.bits = bytes.data();
  }
};

uint8_t* BlockAt(const BlitSurface& s, LONG blockX, LONG blockY) {
  return s.bits + static_cast<ptrdiff_t>(blockY) * s.pitch + static_cast<ptrdiff_t>(blockX) * s.format.blockBytes;
}

// The area's pixels of a DXT surface into an ARGB scratch of the area's size.
void DecodeDxtArea(const BlitSurface& dxt, const RECT& area, BlitSurface& out) {
  uint32_t block[16];
  for (LONG by = area.top / 4; by * 4 < area.bottom; ++by) {
    for (LONG bx = area.left / 4; bx * 4 < area.right; ++bx) {
      DecodeDxtBlock(dxt.format.fourCC, BlockAt(dxt, bx, by), block);
      for (LONG y = std::max(by * 4, area.top); y < std::min(by * 4 + 4, area.bottom); ++y) {
        for (LONG x = std::max(bx * 4, area.left); x < std::min(bx * 4 + 4, area.right); ++x) {
          StorePixel(PixelAt(out, x - area.left, y - area.top), 4, block[(y - by * 4) * 4 + (x - bx * 4)]);
        }
      }
    }
  }
}

// Encodes the blocks of a block-aligned area from an ARGB scratch holding that area; pixels of a
// block beyond the surface's edge repeat the edge.
void EncodeDxtArea(const BlitSurface& dxt, const RECT& area, const BlitSurface& argb) {
  uint32_t block[16];
  for (LONG by = area.top / 4; by * 4 < area.bottom; ++by) {
    for (LONG bx = area.left / 4; bx * 4 < area.right; ++bx) {
      for (LONG i = 0; i < 16; ++i) {
        const LONG x = std::min(bx * 4 + i % 4, area.right - 1) - area.left;
        const LONG y = std::min(by * 4 + i / 4, area.bottom - 1) - area.top;
        block[i] = LoadPixel(PixelAt(argb, x, y), 4);
      }
      EncodeDxtBlock(dxt.format.fourCC, block, BlockAt(dxt, bx, by));
    }
  }
}

uint32_t NearestPaletteIndex(const PALETTEENTRY* palette, uint32_t argb) {
  const int r = static_cast<int>((argb >> 16) & 0xFF);
  const int g = static_cast<int>((argb >> 8) & 0xFF);
  const int b = static_cast<int>(argb & 0xFF);
  uint32_t best = 0;
  int bestDistance = 1 << 30;
  for (uint32_t i = 0; i < 256; ++i) {
    const int dr = r - palette[i].peRed;
    const int dg = g - palette[i].peGreen;
    const int db = b - palette[i].peBlue;
    const int d = dr * dr + dg * dg + db * db;
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
    }
  }
  return best;
}

uint32_t Decode(const BlitSurface& s, uint32_t raw) {
  if (s.format.kind == PixelKind::Palette8 && s.palette) {
    const PALETTEENTRY& e = s.palette[raw & 0xFF];
    return 0xFF000000u | (uint32_t{e.peRed} << 16) | (uint32_t{e.peGreen} << 8) | e.peBlue;
  }
  return PixelToArgb(s.format, raw);
}

uint32_t Encode(const BlitSurface& s, uint32_t argb) {
  if (s.format.kind == PixelKind::Palette8) return NearestPaletteIndex(s.palette, argb);
  return ArgbToPixel(s.format, argb);
}

// Source column (row) of every destination column (row) of the clip: the nearest sample to the
// destination pixel's centre, counted from the far edge when mirrored.
std::vector<LONG> SampleMap(LONG dstStart, LONG dstSize, LONG clipStart, LONG clipEnd, LONG srcStart, LONG srcSize,
                            bool mirror) {
  std::vector<LONG> map;
  map.reserve(static_cast<size_t>(clipEnd - clipStart));
  for (LONG d = clipStart; d < clipEnd; ++d) {
    const uint64_t offset = static_cast<uint64_t>(d - dstStart);
    const auto index =
        static_cast<LONG>((2 * offset + 1) * static_cast<uint64_t>(srcSize) / (2 * static_cast<uint64_t>(dstSize)));
    map.push_back(mirror ? srcStart + srcSize - 1 - index : srcStart + index);
  }
  return map;
}

template <uint32_t Bpp>
void CopySameFormat(const BlitSurface& dst, const BlitSurface& src, const BlitRequest& request,
                    const std::vector<LONG>& xs, const std::vector<LONG>& ys) {
  const uint32_t mask = src.format.valueMask;
  for (size_t row = 0; row < ys.size(); ++row) {
    const uint8_t* from = src.bits + static_cast<ptrdiff_t>(ys[row]) * src.pitch;
    uint8_t* to = PixelAt(dst, request.clip.left, request.clip.top + static_cast<LONG>(row));
    for (size_t col = 0; col < xs.size(); ++col, to += Bpp) {
      const uint32_t value = LoadPixel(from + static_cast<ptrdiff_t>(xs[col]) * Bpp, Bpp);
      if (request.srcKey && InKey(*request.srcKey, value & mask)) continue;
      if (request.dstKey && !InKey(*request.dstKey, LoadPixel(to, Bpp) & mask)) continue;
      StorePixel(to, Bpp, value);
    }
  }
}

// An unscaled copy that leaves out the source key's pixels.
void CopyKeyed(const BlitSurface& dst, const BlitSurface& src, const BlitRequest& request) {
  const LONG dx = request.clip.left - request.dst.left, dy = request.clip.top - request.dst.top;
  KeyedRows rows;
  rows.to = PixelAt(dst, request.clip.left, request.clip.top);
  rows.toPitch = dst.pitch;
  rows.from = PixelAt(src, request.src.left + dx, request.src.top + dy);
  rows.fromPitch = src.pitch;
  rows.width = static_cast<uint32_t>(RectWidth(request.clip));
  rows.height = static_cast<uint32_t>(RectHeight(request.clip));
  const RowKey key{src.format.valueMask, request.srcKey->dwColorSpaceLowValue, request.srcKey->dwColorSpaceHighValue};
  FastestKeyedRowCopier(dst.format.bytesPerPixel)(rows, key);
}

void CopyConverting(const BlitSurface& dst, const BlitSurface& src, const BlitRequest& request,
                    const std::vector<LONG>& xs, const std::vector<LONG>& ys) {
  const uint32_t srcBytes = src.format.bytesPerPixel;
  const uint32_t dstBytes = dst.format.bytesPerPixel;
  uint32_t lastArgb = 0;
  uint32_t lastValue = Encode(dst, 0);
  for (size_t row = 0; row < ys.size(); ++row) {
    const uint8_t* from = src.bits + static_cast<ptrdiff_t>(ys[row]) * src.pitch;
    uint8_t* to = PixelAt(dst, request.clip.left, request.clip.top + static_cast<LONG>(row));
    for (size_t col = 0; col < xs.size(); ++col, to += dstBytes) {
      const uint32_t raw = LoadPixel(from + static_cast<ptrdiff_t>(xs[col]) * srcBytes, srcBytes);
      if (request.srcKey && InKey(*request.srcKey, raw & src.format.valueMask)) continue;
      if (request.dstKey && !InKey(*request.dstKey, LoadPixel(to, dstBytes) & dst.format.valueMask)) continue;
      const uint32_t argb = Decode(src, raw);
      if (argb != lastArgb) {  // runs of one colour are common; a palette search is slow
        lastArgb = argb;
        lastValue = Encode(dst, argb);
      }
      StorePixel(to, dstBytes, lastValue);
    }
  }
}

BlitRequest Shifted(const BlitRequest& request, LONG dx, LONG dy) {
  BlitRequest out = request;
  for (RECT* r : {&out.dst, &out.clip}) {
    r->left -= dx;
    r->right -= dx;
    r->top -= dy;
    r->bottom -= dy;
  }
  return out;
}

}  // namespace

HRESULT RunBlit(const BlitSurface& dst, const BlitSurface& src, const BlitRequest& request) {
  if (RectWidth(request.clip) <= 0 || RectHeight(request.clip) <= 0) return DD_OK;
  const bool depth = dst.format.kind == PixelKind::Depth || src.format.kind == PixelKind::Depth;
  if (depth && !dst.format.SameLayout(src.format)) return DDERR_UNSUPPORTED;
  const bool plain = !request.mirrorX && !request.mirrorY && !request.srcKey && !request.dstKey &&
                     RectWidth(request.src) == RectWidth(request.dst) &&
                     RectHeight(request.src) == RectHeight(request.dst);

  if (src.format.kind == PixelKind::Dxt) {
    const bool aligned = request.clip == request.dst && request.src.left % 4 == 0 && request.src.top % 4 == 0 &&
                         request.dst.left % 4 == 0 && request.dst.top % 4 == 0 &&
                         (RectWidth(request.src) % 4 == 0 || request.src.right == static_cast<LONG>(src.width)) &&
                         (RectHeight(request.src) % 4 == 0 || request.src.bottom == static_cast<LONG>(src.height)) &&
                         (request.dst.right == static_cast<LONG>(dst.width) || RectWidth(request.dst) % 4 == 0) &&
                         (request.dst.bottom == static_cast<LONG>(dst.height) || RectHeight(request.dst) % 4 == 0);
    if (plain && aligned && dst.format.SameLayout(src.format) && src.bits != dst.bits) {
      const LONG blocksWide = (RectWidth(request.src) + 3) / 4;
      for (LONG by = 0; by * 4 < RectHeight(request.src); ++by) {
        std::memcpy(BlockAt(dst, request.dst.left / 4, request.dst.top / 4 + by),
                    BlockAt(src, request.src.left / 4, request.src.top / 4 + by),
                    static_cast<size_t>(blocksWide) * src.format.blockBytes);
      }
      return DD_OK;
    }
    Scratch decoded(static_cast<uint32_t>(RectWidth(request.src)), static_cast<uint32_t>(RectHeight(request.src)),
                    ArgbFormat(), nullptr);
    DecodeDxtArea(src, request.src, decoded.view);
    BlitRequest staged = request;
    staged.src = RECT{0, 0, RectWidth(request.src), RectHeight(request.src)};
    staged.srcKey.reset();  // a block-compressed source carries its transparency in its blocks
    return RunBlit(dst, decoded.view, staged);
  }

  if (dst.format.kind == PixelKind::Dxt) {
    RECT area{request.clip.left / 4 * 4, request.clip.top / 4 * 4, (request.clip.right + 3) / 4 * 4,
              (request.clip.bottom + 3) / 4 * 4};
    area.right = std::min(area.right, static_cast<LONG>(dst.width));
    area.bottom = std::min(area.bottom, static_cast<LONG>(dst.height));
    Scratch decoded(static_cast<uint32_t>(RectWidth(area)), static_cast<uint32_t>(RectHeight(area)), ArgbFormat(),
                    nullptr);
    DecodeDxtArea(dst, area, decoded.view);
    BlitRequest staged = Shifted(request, area.left, area.top);
    staged.dstKey.reset();
    const HRESULT result = RunBlit(decoded.view, src, staged);
    if (Succeeded(result)) EncodeDxtArea(dst, area, decoded.view);
    return result;
  }

  if (src.bits == dst.bits && Intersect(request.src, request.clip)) {
    Scratch copy(static_cast<uint32_t>(RectWidth(request.src)), static_cast<uint32_t>(RectHeight(request.src)),
                 src.format, src.palette);
    const size_t rowBytes = static_cast<size_t>(RectWidth(request.src)) * src.format.bytesPerPixel;
    for (LONG y = 0; y < RectHeight(request.src); ++y) {
      std::memcpy(PixelAt(copy.view, 0, y), PixelAt(src, request.src.left, request.src.top + y), rowBytes);
    }
    BlitRequest staged = request;
    staged.src = RECT{0, 0, RectWidth(request.src), RectHeight(request.src)};
    return RunBlit(dst, copy.view, staged);
  }

  const bool same = dst.format.SameLayout(src.format);
  if (!same && dst.format.kind == PixelKind::Palette8 && !dst.palette) return DDERR_NOPALETTEATTACHED;

  if (same && plain) {
    const size_t rowBytes = static_cast<size_t>(RectWidth(request.clip)) * dst.format.bytesPerPixel;
    const LONG dx = request.clip.left - request.dst.left;
    const LONG dy = request.clip.top - request.dst.top;
    for (LONG y = 0; y < RectHeight(request.clip); ++y) {
      std::memmove(PixelAt(dst, request.clip.left, request.clip.top + y),
                   PixelAt(src, request.src.left + dx, request.src.top + dy + y), rowBytes);
    }
    return DD_OK;
  }

  // The common paste: one format, one size, only the source key.
  if (same && request.srcKey && !request.dstKey && !request.mirrorX && !request.mirrorY &&
      RectWidth(request.src) == RectWidth(request.dst) && RectHeight(request.src) == RectHeight(request.dst)) {
    CopyKeyed(dst, src, request);
    return DD_OK;
  }

  const auto xs = SampleMap(request.dst.left, RectWidth(request.dst), request.clip.left, request.clip.right,
                            request.src.left, RectWidth(request.src), request.mirrorX);
  const auto ys = SampleMap(request.dst.top, RectHeight(request.dst), request.clip.top, request.clip.bottom,
                            request.src.top, RectHeight(request.src), request.mirrorY);
  if (!same) {
    CopyConverting(dst, src, request, xs, ys);
    return DD_OK;
  }
  switch (dst.format.bytesPerPixel) {
    case 1: CopySameFormat<1>(dst, src, request, xs, ys); break;
    case 2: CopySameFormat<2>(dst, src, request, xs, ys); break;
    case 3: CopySameFormat<3>(dst, src, request, xs, ys); break;
    default: CopySameFormat<4>(dst, src, request, xs, ys); break;
  }
  return DD_OK;
}

HRESULT FillRect(const BlitSurface& dst, const RECT& area, uint32_t value) {
  if (RectWidth(area) <= 0 || RectHeight(area) <= 0) return DD_OK;
  if (dst.format.kind == PixelKind::Dxt || dst.format.kind == PixelKind::Invalid) return DDERR_UNSUPPORTED;
  const uint32_t bytes = dst.format.bytesPerPixel;
  value &= dst.format.valueMask;
  uint8_t pattern[4];
  StorePixel(pattern, bytes, value);
  const size_t rowBytes = static_cast<size_t>(RectWidth(area)) * bytes;
  for (LONG y = area.top; y < area.bottom; ++y) {
    uint8_t* row = PixelAt(dst, area.left, y);
    if (bytes == 1) {
      std::memset(row, pattern[0], rowBytes);
      continue;
    }
    std::memcpy(row, pattern, bytes);
    // Doubling copies fill the row in log steps.
    for (size_t done = bytes; done < rowBytes;) {
      const size_t step = std::min(done, rowBytes - done);
      std::memcpy(row + done, row, step);
      done += step;
    }
  }
  return DD_OK;
}

}  // namespace vx::win::ddraw_detail
