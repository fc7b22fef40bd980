// Device contexts: those that surfaces hand out, memory contexts with bitmaps, the object table
// that makes handles checkable, context state (colours, background mode), pixels and bit blits.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_set>
#include <utility>

#include "platform/gdi/gdi_internal.h"

namespace vx::win {

namespace {

std::unordered_set<DeviceContextObject*>& Contexts() {
  static std::unordered_set<DeviceContextObject*> contexts;
  return contexts;
}

std::unordered_set<GdiObject*>& Objects() {
  static std::unordered_set<GdiObject*> objects;
  return objects;
}

HRESULT AcquireSurfaceDc(DirectDrawSurface* surface, HDC* dc) {
  const SurfacePixels view = surface->Pixels();
  const FormatInfo format = DescribeFormat(view.format);
  if (!view.bits || (format.kind != PixelKind::Rgb && format.kind != PixelKind::Palette8)) return DDERR_CANTCREATEDC;
  auto* context = new DeviceContextObject;
  context->surface = surface;
  context->font = StockSystemFont();
  context->font->selections++;
  Contexts().insert(context);
  *dc = context;
  return DD_OK;
}

void Unselect(GdiObject* object) {
  if (!object || --object->selections > 0 || !object->deletePending) return;
  Objects().erase(object);
  delete object;
}

void DestroyContext(DeviceContextObject* context) {
  Contexts().erase(context);
  Unselect(context->font);
  if (context->bitmap != context->defaultBitmap) Unselect(context->bitmap);
  if (context->defaultBitmap) {
    Objects().erase(context->defaultBitmap);
    delete context->defaultBitmap;
  }
  delete context;
}

void ReleaseSurfaceDc(DirectDrawSurface*, HDC dc) {
  if (DeviceContextObject* context = LiveContext(dc)) DestroyContext(context);
}

// Installed whenever this file is linked, which any use of a context makes sure of.
const bool gHooksInstalled = (InstallSurfaceDcHooks(), true);

uint32_t NearestPaletteIndex(const PALETTEENTRY* palette, uint32_t argb) {
  const int r = static_cast<int>((argb >> 16) & 0xFF), g = static_cast<int>((argb >> 8) & 0xFF),
            b = static_cast<int>(argb & 0xFF);
  if (!palette) return static_cast<uint32_t>((r + g + b) / 3);
  uint32_t best = 0;
  int bestDistance = 1 << 30;
  for (uint32_t i = 0; i < 256 && bestDistance > 0; ++i) {
    const int dr = palette[i].peRed - r, dg = palette[i].peGreen - g, db = palette[i].peBlue - b;
    const int distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) bestDistance = distance, best = i;
  }
  return best;
}

struct ArgbRegion {
  int64_t width = 0, height = 0;
  std::vector<uint32_t> argb;
};

}  // namespace

void InstallSurfaceDcHooks() { SetSurfaceDcHooks({AcquireSurfaceDc, ReleaseSurfaceDc}); }

DeviceContextObject* LiveContext(HDC dc) {
  (void)gHooksInstalled;
  return dc && Contexts().count(dc) ? dc : nullptr;
}

GdiObject* LiveObject(HGDIOBJ object) {
  if (!object || !Objects().count(object)) return nullptr;
  return object->deletePending ? nullptr : object;
}

void RegisterObject(GdiObject* object) { Objects().insert(object); }

Canvas DeviceContextObject::Target() const {
  Canvas canvas;
  if (surface) {
    canvas = ViewOf(surface->Pixels());
  } else if (bitmap && !bitmap->pixels.empty()) {
    canvas.bits = reinterpret_cast<uint8_t*>(bitmap->pixels.data());
    canvas.pitch = static_cast<LONG>(bitmap->width * 4);
    canvas.width = bitmap->width;
    canvas.height = bitmap->height;
    canvas.format = DescribeFormat(DisplayPixelFormat(32));
  }
  return canvas;
}

uint32_t ArgbToCanvasPixel(const Canvas& canvas, uint32_t argb) {
  if (canvas.format.kind == PixelKind::Palette8) return NearestPaletteIndex(canvas.palette, argb);
  return ArgbToPixel(canvas.format, argb | 0xFF000000u);
}

uint32_t ReadCanvasArgb(const Canvas& canvas, uint32_t x, uint32_t y) {
  uint32_t argb = 0;
  ConvertRowToArgb(canvas.format, canvas.palette, canvas.At(x, y), &argb, 1);
  return argb;
}

void FillCanvas(const Canvas& canvas, int64_t left, int64_t top, int64_t right, int64_t bottom, uint32_t pixel) {
  left = std::max<int64_t>(left, 0);
  top = std::max<int64_t>(top, 0);
  right = std::min<int64_t>(right, canvas.width);
  bottom = std::min<int64_t>(bottom, canvas.height);
  for (int64_t y = top; y < bottom; ++y)
    for (int64_t x = left; x < right; ++x)
      StorePixel(canvas.At(static_cast<uint32_t>(x), static_cast<uint32_t>(y)), canvas.format.bytesPerPixel, pixel);
}

// --- Contexts and objects -------------------------------------------------------------------------

HDC CreateCompatibleDC(HDC dc) {
  if (dc && !LiveContext(dc)) return nullptr;
  auto* bitmap = new BitmapObject;
  bitmap->width = bitmap->height = 1;
  bitmap->bitCount = 1;
  bitmap->pixels.assign(1, 0xFF000000u);
  bitmap->selections = 1;
  bitmap->stock = true;  // goes with its context, not with DeleteObject
  Objects().insert(bitmap);
  auto* context = new DeviceContextObject;
  context->bitmap = bitmap;
  context->defaultBitmap = bitmap;
  context->font = StockSystemFont();
  context->font->selections++;
  Contexts().insert(context);
  return context;
}

BOOL DeleteDC(HDC dc) {
  DeviceContextObject* context = LiveContext(dc);
  if (!context || context->surface) return FALSE_;  // a surface's context goes back with ReleaseDC
  DestroyContext(context);
  return TRUE_;
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
  DeviceContextObject* context = LiveContext(dc);
  if (!context || width <= 0 || height <= 0 || int64_t{width} * height > (int64_t{1} << 26)) return nullptr;
  auto* bitmap = new BitmapObject;
  bitmap->width = static_cast<DWORD>(width);
  bitmap->height = static_cast<DWORD>(height);
  bitmap->bitCount = 32;
  bitmap->pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0xFF000000u);
  Objects().insert(bitmap);
  return bitmap;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  DeviceContextObject* context = LiveContext(dc);
  GdiObject* live = LiveObject(object);
  if (!context || !live) return nullptr;
  GdiObject* previous = nullptr;
  if (live->kind == GdiKind::Font) {
    previous = context->font;
    context->font = static_cast<FontObject*>(live);
  } else {
    // A bitmap lives in one memory context at a time.
    if (context->surface || (live->selections > 0 && context->bitmap != live)) return nullptr;
    previous = context->bitmap;
    context->bitmap = static_cast<BitmapObject*>(live);
  }
  live->selections++;
  if (previous) Unselect(previous);  // a pending deletion happens now; the handle is not used again
  return previous;
}

BOOL DeleteObject(HGDIOBJ object) {
  GdiObject* live = LiveObject(object);
  if (!live) return FALSE_;
  if (live->stock) return TRUE_;
  if (live->selections > 0) {
    live->deletePending = true;
    return TRUE_;
  }
  Objects().erase(live);
  delete live;
  return TRUE_;
}

int GetObjectA(HGDIOBJ object, int bytes, void* out) {
  GdiObject* live = LiveObject(object);
  if (!live) return 0;
  if (live->kind == GdiKind::Bitmap) {
    if (!out) return static_cast<int>(sizeof(BITMAP));
    if (bytes < static_cast<int>(sizeof(BITMAP))) return 0;
    const auto* bitmap = static_cast<BitmapObject*>(live);
    BITMAP info{};
    info.bmWidth = static_cast<LONG>(bitmap->width);
    info.bmHeight = static_cast<LONG>(bitmap->height);
    info.bmWidthBytes = static_cast<LONG>(((bitmap->width * bitmap->bitCount + 15) / 16) * 2);
    info.bmPlanes = 1;
    info.bmBitsPixel = bitmap->bitCount;
    std::memcpy(out, &info, sizeof info);
    return static_cast<int>(sizeof info);
  }
  if (!out) return static_cast<int>(sizeof(LOGFONTA));
  if (bytes < static_cast<int>(sizeof(LOGFONTA))) return 0;
  std::memcpy(out, &static_cast<FontObject*>(live)->request, sizeof(LOGFONTA));
  return static_cast<int>(sizeof(LOGFONTA));
}

int GetDeviceCaps(HDC dc, int index) {
  DeviceContextObject* context = LiveContext(dc);
  if (!context) return 0;
  const Canvas canvas = context->Target();
  switch (index) {
    case LOGPIXELSX:
    case LOGPIXELSY: return 96;
    case HORZRES: return static_cast<int>(canvas.width);
    case VERTRES: return static_cast<int>(canvas.height);
    case BITSPIXEL: return context->surface ? static_cast<int>(canvas.format.bitCount) : 32;
    case PLANES: return 1;
    default: return 0;
  }
}

int MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  const int64_t product = int64_t{number} * numerator;
  const int64_t magnitude =
      (std::llabs(product) + std::llabs(int64_t{denominator}) / 2) / std::llabs(int64_t{denominator});
  const int64_t result = (product < 0) != (denominator < 0) ? -magnitude : magnitude;
  if (result > INT32_MAX || result < INT32_MIN) return -1;
  return static_cast<int>(result);
}

int SetBkMode(HDC dc, int mode) {
  DeviceContextObject* context = LiveContext(dc);
  if (!context || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  return std::exchange(context->bkMode, mode);
}

int GetBkMode(HDC dc) {
  DeviceContextObject* context = LiveContext(dc);
  return context ? context->bkMode : 0;
}

COLORREF SetBkColor(HDC dc, COLORREF color) {
  DeviceContextObject* context = LiveContext(dc);
  return context ? std::exchange(context->bkColor, color & 0xFFFFFFu) : CLR_INVALID;
}

COLORREF GetBkColor(HDC dc) {
  DeviceContextObject* context = LiveContext(dc);
  return context ? context->bkColor : CLR_INVALID;
}

COLORREF SetTextColor(HDC dc, COLORREF color) {
  DeviceContextObject* context = LiveContext(dc);
  return context ? std::exchange(context->textColor, color & 0xFFFFFFu) : CLR_INVALID;
}

COLORREF GetTextColor(HDC dc) {
  DeviceContextObject* context = LiveContext(dc);
  return context ? context->textColor : CLR_INVALID;
}

// --- Pixels and blits -----------------------------------------------------------------------------

COLORREF GetPixel(HDC dc, int x, int y) {
  DeviceContextObject* context = LiveContext(dc);
  if (!context) return CLR_INVALID;
  const Canvas canvas = context->Target();
  if (!canvas.bits || !canvas.Contains(x, y)) return CLR_INVALID;
  return ArgbToColorRef(ReadCanvasArgb(canvas, static_cast<uint32_t>(x), static_cast<uint32_t>(y)));
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF color) {
  DeviceContextObject* context = LiveContext(dc);
  if (!context) return CLR_INVALID;
  const Canvas canvas = context->Target();
  if (!canvas.bits || !canvas.Contains(x, y)) return CLR_INVALID;
  uint8_t* at = canvas.At(static_cast<uint32_t>(x), static_cast<uint32_t>(y));
  StorePixel(at, canvas.format.bytesPerPixel, ArgbToCanvasPixel(canvas, ColorRefToArgb(color)));
  return ArgbToColorRef(ReadCanvasArgb(canvas, static_cast<uint32_t>(x), static_cast<uint32_t>(y)));
}

BOOL BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop) {
  return StretchBlt(dst, x, y, width, height, src, srcX, srcY, width, height, rop);
}

BOOL StretchBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, int srcWidth, int srcHeight,
                DWORD rop) {
  DeviceContextObject* target = LiveContext(dst);
  if (!target) return FALSE_;
  const Canvas to = target->Target();
  if (!to.bits) return FALSE_;
  if (rop == BLACKNESS || rop == WHITENESS) {
    const int64_t left = std::min<int64_t>(x, int64_t{x} + width), right = std::max<int64_t>(x, int64_t{x} + width);
    const int64_t top = std::min<int64_t>(y, int64_t{y} + height), bottom = std::max<int64_t>(y, int64_t{y} + height);
    FillCanvas(to, left, top, right, bottom, ArgbToCanvasPixel(to, rop == BLACKNESS ? 0xFF000000u : 0xFFFFFFFFu));
    return TRUE_;
  }
  DeviceContextObject* source = LiveContext(src);
  if (rop != SRCCOPY || !source) return FALSE_;
  const Canvas from = source->Target();
  if (!from.bits || width == 0 || height == 0 || srcWidth == 0 || srcHeight == 0) return from.bits ? TRUE_ : FALSE_;
  // Opposite signs of the two widths (or heights) mirror.
  const bool mirrorX = (width < 0) != (srcWidth < 0), mirrorY = (height < 0) != (srcHeight < 0);
  const int64_t dw = std::llabs(int64_t{width}), dh = std::llabs(int64_t{height});
  const int64_t sw = std::llabs(int64_t{srcWidth}), sh = std::llabs(int64_t{srcHeight});
  const int64_t dx0 = width < 0 ? int64_t{x} + width : x, dy0 = height < 0 ? int64_t{y} + height : y;
  const int64_t sx0 = srcWidth < 0 ? int64_t{srcX} + srcWidth : srcX,
                sy0 = srcHeight < 0 ? int64_t{srcY} + srcHeight : srcY;
  if (dw * dh > (int64_t{1} << 26)) return FALSE_;

  // Read first, so that a context copying onto itself sees its pixels as they were.
  std::vector<uint32_t> staged(static_cast<size_t>(dw * dh), 0);
  std::vector<bool> present(staged.size(), false);
  for (int64_t j = 0; j < dh; ++j) {
    const int64_t v = mirrorY ? dh - 1 - j : j;
    const int64_t sy = sy0 + v * sh / dh;
    for (int64_t i = 0; i < dw; ++i) {
      const int64_t u = mirrorX ? dw - 1 - i : i;
      const int64_t sx = sx0 + u * sw / dw;
      if (!from.Contains(sx, sy) || !to.Contains(dx0 + i, dy0 + j)) continue;
      const size_t k = static_cast<size_t>(j * dw + i);
      staged[k] = ReadCanvasArgb(from, static_cast<uint32_t>(sx), static_cast<uint32_t>(sy));
      present[k] = true;
    }
  }
  for (int64_t j = 0; j < dh; ++j)
    for (int64_t i = 0; i < dw; ++i) {
      const size_t k = static_cast<size_t>(j * dw + i);
      if (!present[k]) continue;
      StorePixel(to.At(static_cast<uint32_t>(dx0 + i), static_cast<uint32_t>(dy0 + j)), to.format.bytesPerPixel,
                 ArgbToCanvasPixel(to, staged[k]));
    }
  return TRUE_;
}

size_t LiveGdiObjectCount() { return Objects().size(); }
size_t LiveDeviceContextCount() { return Contexts().size(); }

}  // namespace vx::win
