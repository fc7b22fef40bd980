// The texture operations on one TextureSurface and the GDI/surface helpers behind them. Depends on
// the display's DirectDraw object, back buffer, palette, texture-format table and 3D device
// (surfaces/display_state.h), GDI for BMP files and device contexts, and the image context for
// other image files and mip-mapped copies.
#include "surfaces/texture_surface.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "common/runtime_hooks.h"
#include "images/image_context.h"
#include "platform/gdi/gdi.h"
#include "platform/win/resources.h"
#include "surfaces/display_state.h"
#include "surfaces/surface_retry.h"

namespace vx {

using namespace win;

namespace {

// GDI failures go to the debugger's output, which this system has not got: kept for the record.
void DebugOutput(const char*) {}

DDSURFACEDESC2 EmptyDesc() {
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  return desc;
}

DDPIXELFORMAT EmptyFormat() {
  DDPIXELFORMAT format{};
  format.dwSize = sizeof format;
  return format;
}

// A managed texture of the size and format, mip-mapped on request: with `levels` levels, or down
// to 1 x 1 when that is 0.
HRESULT CreateManagedTexture(uint32_t width, uint32_t height, const DDPIXELFORMAT& format, bool mipMapped,
                             IDirectDrawSurface7** out, uint32_t levels = 0) {
  *out = nullptr;
  if (!Display().gDirectDraw) return DDERR_INVALIDOBJECT;
  DDSURFACEDESC2 desc = EmptyDesc();
  desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
  desc.dwWidth = width;
  desc.dwHeight = height;
  desc.ddpfPixelFormat = format;
  desc.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
  desc.ddsCaps.dwCaps = DDSCAPS_TEXTURE | (mipMapped ? DDSCAPS_MIPMAP | DDSCAPS_COMPLEX : 0);
  desc.ddsCaps.dwCaps2 = DDSCAPS2_TEXTUREMANAGE;
  if (mipMapped && levels) {
    desc.dwFlags |= DDSD_MIPMAPCOUNT;
    desc.dwMipMapCount = levels;
  }
  const HRESULT result = Display().gDirectDraw->CreateSurface(&desc, out, nullptr);
  if (Failed(result)) *out = nullptr;
  return result;
}

// The back buffer's format when the device lists it as a texture format, else the device's
// format of the same depth.
bool BackBufferTextureFormat(Direct3DDevice* device, DDPIXELFORMAT* format) {
  if (!Display().gBackBuffer) return false;
  DDPIXELFORMAT back = EmptyFormat();
  if (Failed(Display().gBackBuffer->GetPixelFormat(&back))) return false;
  if (FindTextureFormatMatching(device, back, format)) return true;
  return Succeeded(FindTextureFormatByDepth(device, back.dwRGBBitCount, format));
}

bool Palettised(const DDPIXELFORMAT& format) {
  return (format.dwFlags & DDPF_FOURCC) == 0 && format.dwRGBBitCount <= 8;
}

// Black as the texture's source colour key: the pixel value of black above 8 bits, entry 0 below.
void SetBlackSourceKey(IDirectDrawSurface7* surface, const DDPIXELFORMAT& format) {
  const DWORD black = format.dwRGBBitCount > 8 ? MatchSurfaceColor(surface, RGB(0, 0, 0)) : 0;
  if (black == kNoSurfaceColour) return;
  const DDCOLORKEY key{black, black};
  surface->SetColorKey(DDCKEY_SRCBLT, &key);
}

IDirectDrawPalette* CreatePaletteFromBitmap(HBITMAP bitmap) {
  if (!Display().gDirectDraw) return nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) {
    DebugOutput("createcompatible dc failed\n");
    return nullptr;
  }
  HGDIOBJ previous = SelectObject(dc, bitmap);
  RGBQUAD table[256]{};
  const UINT count = GetDIBColorTable(dc, 0, 256, table);
  SelectObject(dc, previous);
  DeleteDC(dc);
  PALETTEENTRY entries[256]{};
  for (UINT i = 0; i < count; ++i) entries[i] = {table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, 0};
  IDirectDrawPalette* palette = nullptr;
  if (Failed(Display().gDirectDraw->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &palette, nullptr)))
    return nullptr;
  return palette;
}

// The source's rectangle stretched over (0, 0, width, height) of the target; GDI does it when the
// blitter can't.
bool StretchSurfaceOnto(IDirectDrawSurface7* target, IDirectDrawSurface7* source, uint32_t targetWidth,
                        uint32_t targetHeight, uint32_t sourceWidth, uint32_t sourceHeight) {
  RECT to{0, 0, LONG(targetWidth), LONG(targetHeight)};
  RECT from{0, 0, LONG(sourceWidth), LONG(sourceHeight)};
  if (Succeeded(target->Blt(&to, source, &from, DDBLT_WAIT, nullptr))) return true;
  HDC targetDc = nullptr, sourceDc = nullptr;
  if (Failed(target->GetDC(&targetDc))) return false;
  bool copied = false;
  if (Succeeded(source->GetDC(&sourceDc))) {
    copied = StretchBlt(targetDc, 0, 0, int(targetWidth), int(targetHeight), sourceDc, 0, 0, int(sourceWidth),
                        int(sourceHeight), SRCCOPY) != 0;
    source->ReleaseDC(sourceDc);
  }
  target->ReleaseDC(targetDc);
  return copied;
}

uint32_t FirstSetBit(uint32_t mask) { return mask ? uint32_t(std::countr_zero(mask)) : 0; }

// The value of one 8-bit channel in a mask: trunc(max / 255 * value), computed exactly.
uint32_t ChannelValue(uint32_t mask, uint32_t value) {
  const uint32_t bits = CountSetBits(mask);
  const uint64_t max = bits >= 32 ? 0xFFFFFFFFull : (uint64_t{1} << bits) - 1;
  return uint32_t((max * value / 255) << FirstSetBit(mask));
}

struct FormatSearch {
  DWORD bitCount = 0;
  const DDPIXELFORMAT* wanted = nullptr;
  DDPIXELFORMAT found{};
  bool any = false;
};

HRESULT ByDepthCallback(DDPIXELFORMAT* format, void* context) {
  auto* search = static_cast<FormatSearch*>(context);
  if (format->dwFlags & (DDPF_ALPHAPIXELS | DDPF_ALPHA)) return D3DENUMRET_OK;
  if (!(format->dwFlags & DDPF_RGB) || format->dwRGBBitCount < 8) return D3DENUMRET_OK;
  search->found = *format;
  search->any = true;
  return format->dwRGBBitCount == search->bitCount ? D3DENUMRET_CANCEL : D3DENUMRET_OK;
}

HRESULT MatchingCallback(DDPIXELFORMAT* format, void* context) {
  auto* search = static_cast<FormatSearch*>(context);
  const DDPIXELFORMAT& w = *search->wanted;
  if (format->dwFourCC != w.dwFourCC || format->dwRGBBitCount != w.dwRGBBitCount ||
      format->dwRBitMask != w.dwRBitMask || format->dwGBitMask != w.dwGBitMask || format->dwBBitMask != w.dwBBitMask ||
      format->dwRGBAlphaBitMask != w.dwRGBAlphaBitMask)
    return D3DENUMRET_OK;
  search->found = *format;
  search->any = true;
  return D3DENUMRET_CANCEL;
}

bool IsDxt(DWORD fourCC) {
  return fourCC == FOURCC_DXT1 || fourCC == FOURCC_DXT2 || fourCC == FOURCC_DXT3 || fourCC == FOURCC_DXT4 ||
         fourCC == FOURCC_DXT5;
}

bool ColourChannelsOfFour(const DDPIXELFORMAT& f) {
  return CountSetBits(f.dwRBitMask) >= 4 && CountSetBits(f.dwGBitMask) >= 4 && CountSetBits(f.dwBBitMask) >= 4;
}

// The next level of a mip chain (a reference of its own), or null.
IDirectDrawSurface7* NextMipLevel(IDirectDrawSurface7* level) {
  DDSCAPS2 caps{};
  caps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_MIPMAP;
  IDirectDrawSurface7* next = nullptr;
  return Succeeded(level->GetAttachedSurface(&caps, &next)) ? next : nullptr;
}

}  // namespace

// --- GDI and surface operations --------------------------------------------------------------------

IDirectDrawSurface7* CreateSurfaceFromBitmapResource(IDirectDraw7* directDraw, HINSTANCE module, int32_t resourceId,
                                                     int32_t width, int32_t height, int32_t systemMemory) {
  if (!directDraw) return nullptr;
  HBITMAP bitmap = static_cast<HBITMAP>(
      LoadImageA(module, MAKEINTRESOURCEA(resourceId), IMAGE_BITMAP, width, height, LR_CREATEDIBSECTION));
  if (!bitmap) return nullptr;
  BITMAP info{};
  GetObjectA(bitmap, sizeof info, &info);
  DDSURFACEDESC2 desc = EmptyDesc();
  desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  desc.dwWidth = DWORD(info.bmWidth);
  desc.dwHeight = DWORD(info.bmHeight);
  desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | (systemMemory ? DDSCAPS_SYSTEMMEMORY : DDSCAPS_VIDEOMEMORY);
  IDirectDrawSurface7* surface = nullptr;
  if (Succeeded(directDraw->CreateSurface(&desc, &surface, nullptr)) && surface) {
    CopyBitmapToSurface(surface, bitmap, 0, 0, 0, 0);
  } else {
    surface = nullptr;
  }
  DeleteObject(bitmap);
  return surface;
}

HRESULT CopyBitmapToSurface(IDirectDrawSurface7* surface, HBITMAP bitmap, int32_t x, int32_t y, int32_t width,
                            int32_t height) {
  if (!surface || !bitmap) return E_FAIL;
  surface->Restore();
  HDC memory = CreateCompatibleDC(nullptr);
  if (!memory) DebugOutput("createcompatible dc failed\n");
  HGDIOBJ previous = memory ? SelectObject(memory, bitmap) : nullptr;
  BITMAP info{};
  GetObjectA(bitmap, sizeof info, &info);
  if (width == 0 && height == 0) {
    width = info.bmWidth;
    height = info.bmHeight;
  }
  DDSURFACEDESC2 desc = EmptyDesc();
  desc.dwFlags = DDSD_WIDTH | DDSD_HEIGHT;
  surface->GetSurfaceDesc(&desc);
  width = std::min<int32_t>(width, int32_t(desc.dwWidth));
  height = std::min<int32_t>(height, int32_t(desc.dwHeight));
  HDC target = nullptr;
  const HRESULT result = surface->GetDC(&target);
  if (Succeeded(result)) {
    if (memory) BitBlt(target, 0, 0, width, height, memory, x, y, SRCCOPY);
    surface->ReleaseDC(target);
  }
  if (memory) {
    SelectObject(memory, previous);
    DeleteDC(memory);
  }
  return result;
}

IDirectDrawPalette* LoadPaletteResource(IDirectDraw7* directDraw, int32_t resourceId) {
  if (!directDraw) return nullptr;
  PALETTEENTRY entries[256];
  for (uint32_t i = 0; i < 256; ++i) {
    entries[i].peRed = BYTE(((i >> 5) & 7) * 255 / 7);
    entries[i].peGreen = BYTE(((i >> 2) & 7) * 255 / 7);
    entries[i].peBlue = BYTE((i & 3) * 255 / 3);
    entries[i].peFlags = 0;
  }
  const ResourceBlob* blob = resourceId ? FindResourceBlob(kBitmapResourceType, resourceId) : nullptr;
  if (blob && blob->size >= 40) {
    BITMAPINFOHEADER header{};
    std::memcpy(&header, blob->data, sizeof header);
    if (header.biSize >= 40 && header.biSize <= blob->size && header.biBitCount <= 8) {
      uint32_t count = header.biClrUsed ? header.biClrUsed : (1u << header.biBitCount);
      // Only the entries the resource really holds, and never more than the palette has.
      count = std::min<uint32_t>({count, 256u, uint32_t((blob->size - header.biSize) / sizeof(RGBQUAD))});
      const uint8_t* table = blob->data + header.biSize;
      for (uint32_t i = 0; i < count; ++i) {
        entries[i].peRed = table[i * 4 + 2];
        entries[i].peGreen = table[i * 4 + 1];
        entries[i].peBlue = table[i * 4];
      }
      constexpr BYTE kExplicit = 0x02, kNoCollapse = 0x04;  // PC_EXPLICIT, PC_NOCOLLAPSE
      for (uint32_t i = 0; i < 256; ++i) entries[i].peFlags = (i < 10 || i >= 246) ? kExplicit : kNoCollapse;
    }
  }
  IDirectDrawPalette* palette = nullptr;
  if (Failed(directDraw->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &palette, nullptr))) return nullptr;
  return palette;
}

uint32_t MatchSurfaceColor(IDirectDrawSurface7* surface, COLORREF colour) {
  if (!surface) return kNoSurfaceColour;
  COLORREF remembered = CLR_INVALID;
  HDC dc = nullptr;
  if (colour != CLR_INVALID && Succeeded(surface->GetDC(&dc))) {
    remembered = GetPixel(dc, 0, 0);
    SetPixel(dc, 0, 0, colour);
    surface->ReleaseDC(dc);
  }
  DDSURFACEDESC2 desc = EmptyDesc();
  // A lost surface has no pixels to read: nothing is restored.
  const HRESULT locked =
      RetryUntilDrawn([&] { return surface->Lock(nullptr, &desc, 0, nullptr); }, [] { return false; });
  uint32_t value = kNoSurfaceColour;
  if (Succeeded(locked)) {
    const DWORD bits = desc.ddpfPixelFormat.dwRGBBitCount;
    const uint32_t bytes = std::clamp<uint32_t>((bits + 7) / 8, 1, 4);
    uint32_t first = 0;
    std::memcpy(&first, desc.lpSurface, bytes);  // never past the first pixel of a narrow surface
    value = bits < 32 ? first & ((1u << bits) - 1) : first;
    surface->Unlock(nullptr);
  }
  if (remembered != CLR_INVALID && Succeeded(surface->GetDC(&dc))) {
    SetPixel(dc, 0, 0, remembered);
    surface->ReleaseDC(dc);
  }
  return value;
}

HRESULT SetSurfaceColorKey(IDirectDrawSurface7* surface, COLORREF colour) {
  if (!surface) return E_FAIL;
  const uint32_t value = MatchSurfaceColor(surface, colour);
  const DDCOLORKEY key{value, value};
  return surface->SetColorKey(DDCKEY_SRCBLT, &key);
}

// --- Texture sizes and formats ---------------------------------------------------------------------

void FitTextureSize(Direct3DDevice* device, uint32_t& width, uint32_t& height) {
  const auto roundUp = [](uint32_t side) -> uint32_t {
    for (uint32_t power = 2; power <= 512; power *= 2)
      if (side <= power) return power;
    return 1024;
  };
  width = roundUp(width);
  height = roundUp(height);
  D3DDEVICEDESC7 caps{};
  if (!device || Failed(device->GetCaps(&caps))) caps = D3DDEVICEDESC7{};
  if (caps.dwMinTextureWidth) {
    width = std::max<uint32_t>(width, caps.dwMinTextureWidth);
    height = std::max<uint32_t>(height, caps.dwMinTextureHeight);
  } else {
    width = std::max<uint32_t>(width, 16);
    height = std::max<uint32_t>(height, 16);
  }
  uint32_t side = std::max(width, height);
  // A square within both maxima: the larger side must not carry the texture past the smaller one.
  const uint32_t maxWidth = caps.dwMaxTextureWidth;
  const uint32_t maxHeight = caps.dwMaxTextureHeight ? caps.dwMaxTextureHeight : maxWidth;
  if (maxWidth) side = std::min({side, maxWidth, maxHeight});
  width = height = side;
}

HRESULT FindTextureFormatByDepth(Direct3DDevice* device, uint32_t bitCount, DDPIXELFORMAT* format) {
  if (!device || !format) return DDERR_INVALIDPARAMS;
  FormatSearch search;
  search.bitCount = bitCount;
  const HRESULT result = device->EnumTextureFormats(ByDepthCallback, &search);
  if (Failed(result)) return result;
  if (!search.any) return DDERR_NOTFOUND;
  *format = search.found;
  return result;
}

int32_t FindTextureFormatMatching(Direct3DDevice* device, const DDPIXELFORMAT& wanted, DDPIXELFORMAT* format) {
  if (!device || !format) return 0;
  FormatSearch search;
  search.wanted = &wanted;
  if (Failed(device->EnumTextureFormats(MatchingCallback, &search)) || !search.any) return 0;
  *format = search.found;
  return 1;
}

uint16_t CountSetBits(uint32_t mask) { return uint16_t(std::popcount(mask)); }

HRESULT ChooseTextureFormat(const DDPIXELFORMAT& wanted, DDPIXELFORMAT* format) {
  if (!format) return DDERR_INVALIDPARAMS;
  const int32_t count = std::clamp<int32_t>(Display().gTextureFormatCount, 0, kMaxTextureFormats);
  const auto formats = [](int32_t i) -> const DDPIXELFORMAT& { return Display().gTextureFormats[size_t(i)]; };
  const DWORD fourCC = wanted.dwFourCC;

  if (IsDxt(fourCC)) {
    const bool premultiplied = fourCC == FOURCC_DXT2 || fourCC == FOURCC_DXT4;
    const uint32_t alphaBits = fourCC == FOURCC_DXT1 ? 1 : (fourCC == FOURCC_DXT2 || fourCC == FOURCC_DXT3) ? 4 : 8;
    for (int32_t i = 0; i < count; ++i)
      if ((formats(i).dwFlags & DDPF_FOURCC) && formats(i).dwFourCC == fourCC) {
        *format = formats(i);
        return DD_OK;
      }
    const auto premultipliedMatches = [&](const DDPIXELFORMAT& f) {
      return ((f.dwFlags & DDPF_ALPHAPREMULT) != 0) == premultiplied;
    };
    for (int32_t i = 0; i < count; ++i) {
      const DDPIXELFORMAT& f = formats(i);
      if (premultipliedMatches(f) && CountSetBits(f.dwRGBAlphaBitMask) == alphaBits && ColourChannelsOfFour(f)) {
        *format = f;
        return DD_OK;
      }
    }
    int32_t best = -1;
    for (int32_t i = 0; i < count; ++i) {
      const DDPIXELFORMAT& f = formats(i);
      if (!premultipliedMatches(f) || !ColourChannelsOfFour(f)) continue;
      if (best < 0 || CountSetBits(f.dwRGBAlphaBitMask) > CountSetBits(formats(best).dwRGBAlphaBitMask)) best = i;
    }
    if (best < 0) return DDERR_INVALIDPIXELFORMAT;
    *format = formats(best);
    return DD_OK;
  }

  for (int32_t i = 0; i < count; ++i) {
    const DDPIXELFORMAT& f = formats(i);
    if (f.dwFourCC == 0 && CountSetBits(f.dwRGBAlphaBitMask) == CountSetBits(wanted.dwRGBAlphaBitMask) &&
        CountSetBits(f.dwRBitMask) == CountSetBits(wanted.dwRBitMask) &&
        CountSetBits(f.dwGBitMask) == CountSetBits(wanted.dwGBitMask) &&
        CountSetBits(f.dwBBitMask) == CountSetBits(wanted.dwBBitMask)) {
      *format = f;
      return DD_OK;
    }
  }
  return DDERR_INVALIDPIXELFORMAT;
}

// --- Filling a texture -----------------------------------------------------------------------------

int32_t LoadTextureBitmap(TextureSurface& texture, Direct3DDevice* device, const std::string& file, int32_t colourKey) {
  std::string name = file;
  ResolveVirtualFile(name, "dat");
  HBITMAP bitmap = static_cast<HBITMAP>(
      LoadImageA(nullptr, name.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
  if (!bitmap) return 0;
  texture.ReleaseTexture();
  BITMAP info{};
  GetObjectA(bitmap, sizeof info, &info);
  uint32_t width = uint32_t(info.bmWidth), height = uint32_t(info.bmHeight);
  FitTextureSize(device, width, height);

  const auto fail = [&] {
    DeleteObject(bitmap);
    texture.ReleaseTexture();
    return 0;
  };
  DDPIXELFORMAT format = EmptyFormat();
  if (!BackBufferTextureFormat(device, &format)) return fail();
  if (Failed(CreateManagedTexture(width, height, format, false, &texture.surface))) return fail();
  if (Palettised(format)) {
    texture.palette = CreatePaletteFromBitmap(bitmap);
    if (!texture.palette || Failed(texture.surface->SetPalette(texture.palette))) return fail();
  }
  // The whole bitmap covers the whole texture, so that texture coordinates span the picture.
  if (!StretchBitmapToTexture(texture, bitmap, int32_t(width), int32_t(height))) return fail();
  if (colourKey == 1) SetBlackSourceKey(texture.surface, format);
  DeleteObject(bitmap);
  texture.mipMapped = 0;
  PreloadTexture(texture);
  return 1;
}

int32_t LoadTextureImage(TextureSurface& texture, const std::string& file) {
  IDirectDrawSurface7* loaded = LoadImageByExtension(file);
  if (!loaded) return -1;
  DDSURFACEDESC2 desc = EmptyDesc();
  DDPIXELFORMAT format = EmptyFormat();
  IDirectDrawSurface7* made = nullptr;
  const bool mipMapped = Succeeded(loaded->GetSurfaceDesc(&desc)) && (desc.ddsCaps.dwCaps & DDSCAPS_MIPMAP);
  const bool ok = Succeeded(ChooseTextureFormat(desc.ddpfPixelFormat, &format)) &&
                  Succeeded(CreateTextureInFormat(desc, format, loaded, &made, mipMapped ? 1 : 0));
  loaded->Release();
  if (!ok) return -1;
  texture.ReleaseTexture();
  texture.surface = made;
  texture.mipMapped = mipMapped ? 1 : 0;
  PreloadTexture(texture);
  return 0;
}

HRESULT CreateTextureInFormat(const DDSURFACEDESC2& loaded, const DDPIXELFORMAT& format, IDirectDrawSurface7* source,
                              IDirectDrawSurface7** out, uint32_t mipMapped) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (!source) return DDERR_INVALIDPARAMS;
  uint32_t width = loaded.dwWidth, height = loaded.dwHeight;
  FitTextureSize(Display().gD3DDevice, width, height);
  IDirectDrawSurface7* made = nullptr;
  // As many levels as the source has: levels beyond its chain would stay empty and draw black.
  const uint32_t levels = (loaded.dwFlags & DDSD_MIPMAPCOUNT) ? loaded.dwMipMapCount : 0;
  HRESULT result = CreateManagedTexture(width, height, format, mipMapped != 0, &made, levels);
  if (Failed(result)) return result;

  // Level by level; the first level of each chain is not a reference of ours.
  IDirectDrawSurface7* from = source;
  IDirectDrawSurface7* to = made;
  bool ownFrom = false, ownTo = false;
  for (;;) {
    result = to->Blt(nullptr, from, nullptr, DDBLT_WAIT, nullptr);
    if (Failed(result)) break;
    IDirectDrawSurface7* nextFrom = NextMipLevel(from);
    if (!nextFrom) break;
    IDirectDrawSurface7* nextTo = NextMipLevel(to);
    if (ownFrom) from->Release();
    if (ownTo) to->Release();
    from = nextFrom;
    ownFrom = true;
    to = nextTo;
    ownTo = nextTo != nullptr;
    if (!to) {
      result = DDERR_NOTFOUND;  // the texture has fewer levels than the source
      break;
    }
  }
  if (ownFrom) from->Release();
  if (ownTo && to) to->Release();
  if (Failed(result)) {
    made->Release();
    return result;
  }
  *out = made;
  return DD_OK;
}

int32_t CreateTextureFromSurface(TextureSurface& texture, Direct3DDevice* device, int32_t sourceId,
                                 IDirectDrawSurface7* source, int32_t colourKey, int32_t compress, int32_t byDepth) {
  if (!source) return 0;
  // Remade from its own surface, the texture keeps what it had when the remake fails.
  const bool fromItself = source == texture.surface;
  const auto fail = [&] {
    if (!fromItself) texture.ReleaseTexture();
    return 0;
  };
  DDSURFACEDESC2 desc = EmptyDesc();
  if (Failed(source->GetSurfaceDesc(&desc))) return fail();
  const DWORD bitCount = desc.ddpfPixelFormat.dwRGBBitCount ? desc.ddpfPixelFormat.dwRGBBitCount : 16;
  uint32_t width = desc.dwWidth, height = desc.dwHeight;
  FitTextureSize(device, width, height);

  DDPIXELFORMAT format = EmptyFormat();
  if (byDepth == 1 || !FindTextureFormatMatching(device, desc.ddpfPixelFormat, &format))
    if (Failed(FindTextureFormatByDepth(device, bitCount, &format))) return fail();
  IDirectDrawSurface7* made = nullptr;
  if (Failed(CreateManagedTexture(width, height, format, false, &made))) return fail();
  if (Palettised(format) && Display().gDisplayPalette) made->SetPalette(Display().gDisplayPalette);

  DDBLTFX fx{};
  fx.dwSize = sizeof fx;
  fx.dwFillColor = 0;
  made->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
  StretchSurfaceOnto(made, source, width, height, desc.dwWidth, desc.dwHeight);
  made->Restore();

  texture.ReleaseTexture();
  texture.surface = made;
  texture.mipMapped = 0;
  RestoreTextureSurface(texture);
  if (colourKey == 1) SetBlackSourceKey(made, format);

  texture.dxt1 = 0;
  // Only a device that lists DXT formats gets compressed textures; elsewhere they stay as made.
  if (kTextureCompression == 1 && compress == 1 && Display().gDxtTextures) {
    texture.dxt1 = uint8_t(CompressTextureDXT1(texture));
    // A compressed copy is a new surface: it needs the key as much as the one it replaced.
    if (colourKey == 1) {
      DDPIXELFORMAT compressed = EmptyFormat();
      texture.surface->GetPixelFormat(&compressed);
      SetBlackSourceKey(texture.surface, compressed);
    }
  }
  PreloadTexture(texture);
  if (sourceId != -1) {
    texture.sourceId = sourceId;
    texture.sourceWidth = desc.dwWidth;
    texture.sourceHeight = desc.dwHeight;
    texture.textureWidth = width;
    texture.textureHeight = height;
  }
  return 1;
}

int32_t UpdateTextureFromSurface(TextureSurface& texture, IDirectDrawSurface7* source, uint32_t width,
                                 uint32_t height) {
  if (!texture.surface) return 1;
  if (!source) return 0;
  RECT from{0, 0, LONG(width), LONG(height)};
  if (Failed(texture.surface->Blt(nullptr, source, &from, DDBLT_WAIT, nullptr))) return 0;
  PreloadTexture(texture);
  return 1;
}

int32_t CreateColorTexture(TextureSurface& texture, Direct3DDevice* device, uint32_t colour) {
  uint32_t width = 32, height = 32;
  FitTextureSize(device, width, height);
  texture.ReleaseTexture();
  DDPIXELFORMAT format = EmptyFormat();
  if (!BackBufferTextureFormat(device, &format)) return 0;
  if (Failed(CreateManagedTexture(width, height, format, false, &texture.surface))) return 0;
  if (Palettised(format) && Display().gDisplayPalette) texture.surface->SetPalette(Display().gDisplayPalette);

  DDPIXELFORMAT made = EmptyFormat();
  texture.surface->GetPixelFormat(&made);
  const uint32_t pixel = ChannelValue(made.dwRBitMask, (colour >> 16) & 0xFF) +
                         ChannelValue(made.dwGBitMask, (colour >> 8) & 0xFF) +
                         ChannelValue(made.dwBBitMask, colour & 0xFF);
  DDBLTFX fx{};
  fx.dwSize = sizeof fx;
  fx.dwFillColor = pixel;
  if (Failed(texture.surface->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx))) {
    texture.ReleaseTexture();
    return 0;
  }
  texture.dxt1 = 0;
  texture.mipMapped = 0;
  PreloadTexture(texture);
  return 1;
}

int32_t StretchBitmapToTexture(TextureSurface& texture, HBITMAP bitmap, int32_t width, int32_t height) {
  if (!texture.surface || !bitmap) return 0;
  HDC memory = CreateCompatibleDC(nullptr);
  if (!memory) {
    DebugOutput("createcompatible dc failed\n");
    return 0;
  }
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BITMAP info{};
  GetObjectA(bitmap, sizeof info, &info);
  bool copied = false;
  HDC target = nullptr;
  if (Succeeded(texture.surface->GetDC(&target))) {
    copied = StretchBlt(target, 0, 0, width, height, memory, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY) != 0;
    texture.surface->ReleaseDC(target);
  }
  SelectObject(memory, previous);
  DeleteDC(memory);
  RestoreTextureSurface(texture);
  return copied ? 1 : 0;
}

int32_t StretchSurfaceToTexture(TextureSurface& texture, IDirectDrawSurface7* source, uint32_t textureWidth,
                                uint32_t textureHeight, uint32_t sourceWidth, uint32_t sourceHeight) {
  if (!texture.surface || !source) return 0;
  const bool copied =
      StretchSurfaceOnto(texture.surface, source, textureWidth, textureHeight, sourceWidth, sourceHeight);
  RestoreTextureSurface(texture);
  return copied ? 1 : 0;
}

int32_t RestoreTextureSurface(TextureSurface& texture) {
  return texture.surface && Succeeded(texture.surface->Restore()) ? 1 : 0;
}

int32_t PreloadTexture(TextureSurface& texture) {
  return texture.surface && Display().gD3DDevice && Succeeded(Display().gD3DDevice->PreLoad(texture.surface)) ? 1 : 0;
}

int32_t MakeTextureMipmaps(TextureSurface& texture, int32_t digit) {
  if (!texture.surface) return 0;
  int32_t result = 1;
  if (!texture.mipMapped) {
    const char letter = char('0' + (digit >= 0 && digit <= 9 ? digit : 0));
    IDirectDrawSurface7* copy = nullptr;
    if (MakeMipmappedTexture(texture.surface, &copy, letter, int32_t(Display().gDxtTextures)) == 1 && copy) {
      if (texture.palette) copy->SetPalette(texture.palette);
      ReleaseSurface(texture.surface);
      texture.surface = copy;
      texture.mipMapped = 1;
    } else {
      if (copy) copy->Release();
      result = 0;
    }
  }
  PreloadTexture(texture);
  return result;
}

int32_t CompressTextureDXT1(TextureSurface& texture) {
  if (!texture.surface) return 0;
  DDPIXELFORMAT wanted = EmptyFormat();
  wanted.dwFlags = DDPF_FOURCC;
  wanted.dwFourCC = FOURCC_DXT1;
  DDPIXELFORMAT format = EmptyFormat();
  if (Failed(ChooseTextureFormat(wanted, &format))) return 0;
  DDSURFACEDESC2 desc = EmptyDesc();
  if (Failed(texture.surface->GetSurfaceDesc(&desc))) return 0;
  IDirectDrawSurface7* made = nullptr;
  if (Failed(CreateTextureInFormat(desc, format, texture.surface, &made, 0))) return 0;
  texture.ReleaseTexture();
  texture.surface = made;
  texture.mipMapped = 0;
  PreloadTexture(texture);
  // Without DXT1 itself the copy is uncompressed with one alpha bit: compressed it is not.
  return (format.dwFlags & DDPF_FOURCC) && format.dwFourCC == FOURCC_DXT1 ? 1 : 0;
}

int32_t RecreateTextureWithColorKey(TextureSurface& texture) {
  if (!texture.surface) return 0;
  return CreateTextureFromSurface(texture, Display().gD3DDevice, -1, texture.surface, 1, 0, 1);
}

}  // namespace vx
