// What the GDI sources share and nobody else sees: the objects behind the handles, the pixel
// target a device context draws into, and the colour conversions between COLORREF and a target.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ddraw/pixel_format.h"
#include "platform/gdi/gdi.h"

namespace vx::win {

enum class GdiKind { Font, Bitmap };

struct GdiObject {
  explicit GdiObject(GdiKind k) : kind(k) {}
  virtual ~GdiObject() = default;
  GdiKind kind;
  int selections = 0;          // contexts it is selected into
  bool deletePending = false;  // deleted while selected: goes when the last context lets go
  bool stock = false;          // never deleted by DeleteObject
};

struct FontFace;  // fonts.cpp

struct FontObject : GdiObject {
  FontObject();
  ~FontObject() override;
  LOGFONTA request{};
  std::unique_ptr<FontFace> face;  // null when no face could be found
};

// Pixels kept as X8R8G8B8 rows; the colour table stays for GetDIBColorTable.
struct BitmapObject : GdiObject {
  BitmapObject() : GdiObject(GdiKind::Bitmap) {}
  DWORD width = 0;
  DWORD height = 0;
  WORD bitCount = 32;  // what GetObject reports
  std::vector<uint32_t> pixels;
  std::vector<RGBQUAD> colorTable;
};

// Where a context's pixels are.
using Canvas = PixelView;

struct DeviceContextObject {
  DirectDrawSurface* surface = nullptr;   // a surface's context, else a memory context
  BitmapObject* bitmap = nullptr;         // selected into a memory context
  BitmapObject* defaultBitmap = nullptr;  // a memory context's own 1x1 bitmap
  FontObject* font = nullptr;
  int bkMode = OPAQUE;
  COLORREF bkColor = RGB(255, 255, 255);
  COLORREF textColor = RGB(0, 0, 0);

  Canvas Target() const;
};

// Handles that are alive; null for anything else.
DeviceContextObject* LiveContext(HDC dc);
GdiObject* LiveObject(HGDIOBJ object);
void RegisterObject(GdiObject* object);
FontObject* StockSystemFont();

// Colour conversions for a canvas. Writing picks the nearest palette entry on palettised targets.
uint32_t ArgbToCanvasPixel(const Canvas& canvas, uint32_t argb);
uint32_t ReadCanvasArgb(const Canvas& canvas, uint32_t x, uint32_t y);
inline uint32_t ColorRefToArgb(COLORREF c) {
  return 0xFF000000u | (uint32_t{GetRValue(c)} << 16) | (uint32_t{GetGValue(c)} << 8) | GetBValue(c);
}
inline COLORREF ArgbToColorRef(uint32_t argb) {
  return RGB(static_cast<BYTE>(argb >> 16), static_cast<BYTE>(argb >> 8), static_cast<BYTE>(argb));
}
// Fills the rectangle, clipped to the canvas, with one pixel value.
void FillCanvas(const Canvas& canvas, int64_t left, int64_t top, int64_t right, int64_t bottom, uint32_t pixel);

// A decoded DIB region: ARGB pixels top-down; alpha 0 marks pixels the DIB left alone (RLE skips).
struct DecodedDib {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint32_t> argb;
};
// Decodes a whole DIB within the given byte counts; false for headers it can't draw.
bool DecodeDib(const uint8_t* info, size_t infoBytes, const uint8_t* bits, size_t bitsBytes, DecodedDib* out,
               std::vector<RGBQUAD>* colorTable, WORD* bitCount);

}  // namespace vx::win
