// Colours of the language (0xRRGGBB) against the pixel values of a surface's own format: the
// channel shifts and maxima of a surface, a pixel value turned back into a colour, and the read of
// one pixel of a surface.
#pragma once
#include <cstdint>

#include "platform/ddraw/ddraw.h"

namespace vx {

// Channels as the 2D code sees them: blue in the lowest bits, green above it, red above both.
struct PixelFormatShifts {
  uint32_t redBits = 0, greenBits = 0, blueBits = 0;
  uint32_t redShift = 0, greenShift = 0;
  uint32_t redMax = 0, greenMax = 0, blueMax = 0;  // 2^bits - 1
  uint32_t redMask = 0, greenMask = 0, blueMask = 0;
  uint32_t bitCount = 0;
};

// Reads the surface's masks into gPixelShifts and returns them. A surface without RGB masks gives
// zero maxima, so that every colour packs to 0.
const PixelFormatShifts& ComputePixelFormatShifts(win::IDirectDrawSurface7* surface);
// The 0xRRGGBB of a pixel value under gPixelShifts, each channel widened with 255 / maximum.
uint32_t SurfacePixelToRgb(uint32_t pixel);
// The pixel value of a colour under gPixelShifts, each channel narrowed with maximum / 255.
uint32_t RgbToSurfacePixel(uint32_t colour);
// The colour at (x, y) of the surface as 0xRRGGBB; 0 when the surface can't be locked or the point
// is outside it.
uint32_t ReadSurfacePixel(win::IDirectDrawSurface7* surface, int32_t x, int32_t y);

}  // namespace vx

// The state of this part is in DisplayState (surfaces/display_state.h), which uses the types above.
#include "surfaces/display_state.h"
