// Pictures that programs saved (see saved_picture.h).
#include "tests/app/saved_picture.h"

#include <FreeImage.h>

namespace vx::test {

bool ReadPng(const std::string& path, Picture* out) {
  FIBITMAP* loaded = FreeImage_Load(FIF_PNG, path.c_str(), 0);
  if (!loaded) return false;
  FIBITMAP* colour = FreeImage_ConvertTo32Bits(loaded);
  FreeImage_Unload(loaded);
  if (!colour) return false;
  out->width = FreeImage_GetWidth(colour);
  out->height = FreeImage_GetHeight(colour);
  for (uint32_t y = 0; y < out->height; ++y) {
    const BYTE* row = FreeImage_GetScanLine(colour, int(out->height - 1 - y));
    for (uint32_t x = 0; x < out->width; ++x, row += 4)
      out->rgb.push_back(uint32_t(row[FI_RGBA_RED]) << 16 | uint32_t(row[FI_RGBA_GREEN]) << 8 | row[FI_RGBA_BLUE]);
  }
  FreeImage_Unload(colour);
  return true;
}

bool Near(uint32_t actual, uint32_t expected) {
  for (int shift = 0; shift < 24; shift += 8) {
    const int a = int((actual >> shift) & 0xFF), e = int((expected >> shift) & 0xFF);
    if (a > e || e - a > 8) return false;
  }
  return true;
}

}  // namespace vx::test
