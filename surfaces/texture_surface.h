// The texture object inside a TextureRecord: its managed surface and palette and what it was made
// from, and the operations that fill it: from BMP files through GDI, from image files, from
// surfaces (grabbed images) and from one colour, with power-of-two sizes within the device's
// limits, a pixel format the device lists, black colour keys, DXT1 compression and mip-maps. Also
// the GDI and surface helpers that move pixels between GDI bitmaps and DirectDraw surfaces.
//
// Textures are made with gDirectDraw for the 3D device; the operations report by results only and
// leave the raising of runtime errors to their callers.
#pragma once
#include <cstdint>
#include <string>

#include "platform/win/types.h"
#include "surfaces/surface_hooks.h"

namespace vx::win {
struct DDPIXELFORMAT;
struct DDSURFACEDESC2;
struct GdiObject;
using HBITMAP = GdiObject*;
using COLORREF = DWORD;
class DirectDraw;
using IDirectDraw7 = DirectDraw;
class Direct3DDevice;
}  // namespace vx::win

namespace vx {

struct TextureSurface {
  win::IDirectDrawSurface7* surface;  // managed texture surface, null when empty
  win::IDirectDrawPalette* palette;   // palette of an 8-bit texture, null otherwise
  int32_t sourceId;                   // ImageRecord slot it was made from (0 none, -1 not recorded)
  uint32_t sourceWidth;
  uint32_t sourceHeight;
  uint32_t textureWidth;   // power of two
  uint32_t textureHeight;  // power of two
  uint8_t dxt1;            // 1 when the surface holds a DXT1-compressed copy
  uint32_t mipMapped;      // 1 when the surface has a mip-map chain

  // Releases the surface and the palette and clears both; harmless when they are already gone.
  void ReleaseTexture() {
    ReleaseSurface(surface);
    ReleasePalette(palette);
  }
  void ClearTextureSourceInfo() {
    sourceId = 0;
    sourceWidth = sourceHeight = 0;
    textureWidth = textureHeight = 0;
  }
};

// Textures made from surfaces are compressed when their maker asks (a fixed setting).
constexpr int32_t kTextureCompression = 1;
// MatchSurfaceColor's answer when the surface could not be read.
constexpr uint32_t kNoSurfaceColour = 0xFFFFFFFFu;

// --- GDI and surface operations --------------------------------------------------------------------

// An off-screen plain surface holding bitmap resource `resourceId` at the given size (0, 0 = its
// own), in system memory when systemMemory is set; null when the resource or the surface is missing.
win::IDirectDrawSurface7* CreateSurfaceFromBitmapResource(win::IDirectDraw7* directDraw, win::HINSTANCE module,
                                                          int32_t resourceId, int32_t width, int32_t height,
                                                          int32_t systemMemory);
// Copies the bitmap's area from (x, y) to the surface's top left; width and height 0 mean the
// bitmap's own, and both are clipped to the surface. E_FAIL without a surface or a bitmap, else the
// result of taking the surface's device context.
win::HRESULT CopyBitmapToSurface(win::IDirectDrawSurface7* surface, win::HBITMAP bitmap, int32_t x, int32_t y,
                                 int32_t width, int32_t height);
// A 256-entry palette: a 3-3-2 colour cube, with the colour table of bitmap resource `resourceId`
// (0 none) over its first entries when that resource exists. Null when DirectDraw refuses it.
win::IDirectDrawPalette* LoadPaletteResource(win::IDirectDraw7* directDraw, int32_t resourceId);
// The surface's pixel value of a GDI colour (CLR_INVALID: of the pixel at (0, 0) as it is), or
// kNoSurfaceColour when the surface can't be read. The pixel at (0, 0) is left as it was.
uint32_t MatchSurfaceColor(win::IDirectDrawSurface7* surface, win::COLORREF colour);
// Source-blit colour key of exactly the surface's value of the colour.
win::HRESULT SetSurfaceColorKey(win::IDirectDrawSurface7* surface, win::COLORREF colour);

// --- Texture sizes and formats ---------------------------------------------------------------------

// Rounds both sides up to powers of two, within the device's minimum (16 when it gives none) and
// maximum, and makes the texture square. Never 0, never beyond the device's maximum.
void FitTextureSize(win::Direct3DDevice* device, uint32_t& width, uint32_t& height);
// The device's RGB texture format without alpha of that bit count, or else the last acceptable
// one of at least 8 bits. DDERR_NOTFOUND (and `format` untouched) when none is acceptable.
win::HRESULT FindTextureFormatByDepth(win::Direct3DDevice* device, uint32_t bitCount, win::DDPIXELFORMAT* format);
// 1 when the device lists a format with the wanted FourCC, bit count and masks (copied out), else 0.
int32_t FindTextureFormatMatching(win::Direct3DDevice* device, const win::DDPIXELFORMAT& wanted,
                                  win::DDPIXELFORMAT* format);
uint16_t CountSetBits(uint32_t mask);
// Picks from gTextureFormats the format for a wanted FourCC and masks: the same DXT format, else the
// closest uncompressed one with the alpha bits that DXT format carries; for other formats one with
// the same bits per channel. 0, or DDERR_INVALIDPIXELFORMAT when nothing fits.
win::HRESULT ChooseTextureFormat(const win::DDPIXELFORMAT& wanted, win::DDPIXELFORMAT* format);

// --- Filling a texture -----------------------------------------------------------------------------

// From a BMP file through GDI, stretched over the whole texture, with black transparent when
// colourKey is 1. 1, or 0 with the texture emptied.
int32_t LoadTextureBitmap(TextureSurface& texture, win::Direct3DDevice* device, const std::string& file,
                          int32_t colourKey);
// From any image file the image context reads, with its mip-maps when it has them. 0, or -1 when
// the file can't be loaded or no texture can be made of it (the texture is then unchanged).
int32_t LoadTextureImage(TextureSurface& texture, const std::string& file);
// A managed texture of the loaded size fitted, in the format, holding the source level by level.
// 0 with the texture in `out`, or a failure code with `out` null.
win::HRESULT CreateTextureInFormat(const win::DDSURFACEDESC2& loaded, const win::DDPIXELFORMAT& format,
                                   win::IDirectDrawSurface7* source, win::IDirectDrawSurface7** out,
                                   uint32_t mipMapped);
// A texture stretched from a surface. sourceId -1 records nothing of the source. With compress 1
// (and the device listing DXT formats) the texture is compressed to DXT1. 1, or 0.
int32_t CreateTextureFromSurface(TextureSurface& texture, win::Direct3DDevice* device, int32_t sourceId,
                                 win::IDirectDrawSurface7* source, int32_t colourKey, int32_t compress,
                                 int32_t byDepth);
// Stretches the source's rectangle (0, 0, width, height) over the whole texture. 1 when done or
// when the texture has no surface; 0 when the copy fails.
int32_t UpdateTextureFromSurface(TextureSurface& texture, win::IDirectDrawSurface7* source, uint32_t width,
                                 uint32_t height);
// A one-colour texture of colour 0xRRGGBB. 1, or 0 with the texture left empty.
int32_t CreateColorTexture(TextureSurface& texture, win::Direct3DDevice* device, uint32_t colour);
int32_t StretchBitmapToTexture(TextureSurface& texture, win::HBITMAP bitmap, int32_t width, int32_t height);
int32_t StretchSurfaceToTexture(TextureSurface& texture, win::IDirectDrawSurface7* source, uint32_t textureWidth,
                                uint32_t textureHeight, uint32_t sourceWidth, uint32_t sourceHeight);
int32_t RestoreTextureSurface(TextureSurface& texture);
// The managed texture goes into video memory now rather than at its first use. 1, or 0.
int32_t PreloadTexture(TextureSurface& texture);
// Gives the texture a mip-map chain (DXT-compressed with format digit `digit` where the device
// lists DXT formats). 1 when it has one afterwards; nothing changes when it can't be made.
int32_t MakeTextureMipmaps(TextureSurface& texture, int32_t digit);
// Remakes the texture in DXT1, or, on a device without DXT1, in the closest format with one alpha
// bit. 1 when it holds DXT1 afterwards; 0 otherwise (unchanged when nothing could be made).
int32_t CompressTextureDXT1(TextureSurface& texture);
// Remakes the texture from its own surface with black transparent. 1, or 0 with it unchanged.
int32_t RecreateTextureWithColorKey(TextureSurface& texture);

}  // namespace vx
