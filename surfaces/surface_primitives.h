// The surface work of the 2D side: clipping and pasting images and sprites onto the back buffer or
// a bitmap, the sprite steps of every frame (backgrounds saved and put back, layers drawn), the
// bitmap surfaces, and the in-place effects (mirror, flip, quarter turns, blur, fade) and gamma.
// Colours here are pixel values of the surface's own format (surfaces/surface_colours.h).
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "platform/ddraw/ddraw.h"
#include "surfaces/display_state.h"
#include "surfaces/surface_records.h"
#include "surfaces/surface_retry.h"

namespace vx {

// Width and height of bitmap n (the display for 0); 0 by 0 for a number outside the table.
void TargetSize(int32_t n, int32_t* width, int32_t* height);

// Clips a paste of width x height (scaled) at (x, y) to target bitmap n (0: the display). The
// source rectangle's left and top come in; its clipped edges and the destination go out.
void ClipBlitRects(int32_t targetBitmap, win::RECT& source, win::RECT& destination, int32_t x, int32_t y, int32_t width,
                   int32_t height, float scaleX, float scaleY, int32_t flip, int32_t mirror);

// Pastes an image unscaled, with its source colour key when colourKey is not 0. Returns 1.
int32_t BlitImageToSurface(win::IDirectDrawSurface7* target, int32_t targetBitmap, uint32_t imageSlot, int32_t x,
                           int32_t y, int32_t width, int32_t height, int32_t colourKey);
// Draws one sprite (a RenderItem that is not a 3D object) scaled, mirrored and flipped.
void DrawSpriteToSurface(win::IDirectDrawSurface7* target, int32_t targetBitmap, uint32_t itemSlot, int32_t x,
                         int32_t y);

// Frame steps.
void RestoreSpriteBackgrounds();
void SaveSpriteBackgrounds();
int32_t DrawSpriteLayers();
void FreeSpriteImageCopies();

// The 3D device's clear of the display rectangle with a colour.
void ClearViewport(uint32_t colour);

// Bitmap surfaces; n is checked by the callers (0 to 31, or the work bitmap).
int32_t CreateBitmapSurface(int32_t n, int32_t width, int32_t height);
int32_t ReleaseBitmapSurface(int32_t n);
int32_t SaveBitmapSlot(int32_t n, const std::string& fileName);
// Bitmap n's size from its surface into gBitmapInfo, then the whole bitmap copied into a new image:
// the image's slot, or kNoRecordSlot when none could be taken.
uint32_t RefreshBitmapSize(int32_t n);
// A new image holding the rectangle of bitmap n; its slot, or kNoRecordSlot when none could be
// taken (a taken image whose copy failed is kept, invalid).
uint32_t GrabBitmapToNewImage(int32_t n, int32_t left, int32_t top, int32_t right, int32_t bottom);

// Effects; each returns 0 and leaves the surface as it was when it can't be done.
int32_t MirrorSurface(win::IDirectDrawSurface7* surface);
int32_t FlipSurface(win::IDirectDrawSurface7* surface);
// The surface turned clockwise by angle / 90 quarter turns (whole turns left out), with the given
// one's colour key; the given one has then been released. The given one itself for less than a
// quarter turn; null when no surface can be made, and the given one is kept.
win::IDirectDrawSurface7* RotateSurfaceQuarterTurns(win::IDirectDrawSurface7* surface, int32_t angle);
int32_t BlurSurface(win::IDirectDrawSurface7* surface, int32_t value);
int32_t FadeSurface(win::IDirectDrawSurface7* surface, int32_t value);
// The average of the pixels from x + first to x + last and y + first to y + last that lie inside
// the surface, packed with the shifts of the last ComputePixelFormatShifts.
uint32_t BoxAveragePixel(uint32_t bytesPerPixel, const uint8_t* bits, int32_t pitch, int32_t width, int32_t height,
                         int32_t x, int32_t y, int32_t first, int32_t last);
// Channel values 0 to 511 (others are taken as the nearest), 256 neutral. 1 when the ramp was set.
int32_t SetGammaRamp(int32_t red, int32_t green, int32_t blue);

}  // namespace vx
