// DirectDraw 7 as the system code calls it, over SDL2: display drivers and modes, surfaces held in
// memory (a primary with a real two-buffer flip chain, back buffers, off-screen surfaces, textures
// with mip chains and DXT blocks, depth buffers), blits, locks, colour keys, clippers, palettes,
// the gamma ramp, and presentation of the visible buffer into the SDL window (nowhere headless).
//
// Plain classes, no COM: reference counts are kept where the system relies on them (surfaces,
// clippers, palettes, the DirectDraw object). Rectangles that leave a surface fail with
// DDERR_INVALIDRECT; only a clipper clips. Tests switch faults on through platform/ddraw/faults.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/win/types.h"

namespace vx::win {

// --- Result codes ---------------------------------------------------------------------------------

constexpr HRESULT MakeDDResult(uint32_t code) { return static_cast<HRESULT>(0x88760000u | code); }

constexpr HRESULT S_OK = 0;
constexpr HRESULT DD_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

constexpr HRESULT DDERR_GENERIC = E_FAIL;
constexpr HRESULT DDERR_UNSUPPORTED = E_NOTIMPL;
constexpr HRESULT DDERR_OUTOFMEMORY = E_OUTOFMEMORY;
constexpr HRESULT DDERR_INVALIDPARAMS = E_INVALIDARG;
constexpr HRESULT DDERR_INVALIDCAPS = MakeDDResult(100);
constexpr HRESULT DDERR_INVALIDMODE = MakeDDResult(120);
constexpr HRESULT DDERR_INVALIDOBJECT = MakeDDResult(130);
constexpr HRESULT DDERR_INVALIDPIXELFORMAT = MakeDDResult(145);
constexpr HRESULT DDERR_INVALIDRECT = MakeDDResult(150);
constexpr HRESULT DDERR_NOCLIPLIST = MakeDDResult(205);
constexpr HRESULT DDERR_NOCOOPERATIVELEVELSET = MakeDDResult(212);
constexpr HRESULT DDERR_NOCOLORKEY = MakeDDResult(215);
constexpr HRESULT DDERR_NOEXCLUSIVEMODE = MakeDDResult(225);
constexpr HRESULT DDERR_NOTFOUND = MakeDDResult(255);
constexpr HRESULT DDERR_NORASTEROPHW = MakeDDResult(280);
constexpr HRESULT DDERR_NOROTATIONHW = MakeDDResult(290);
constexpr HRESULT DDERR_OUTOFVIDEOMEMORY = MakeDDResult(380);
constexpr HRESULT DDERR_SURFACEALREADYATTACHED = MakeDDResult(410);
constexpr HRESULT DDERR_SURFACEBUSY = MakeDDResult(430);
constexpr HRESULT DDERR_SURFACELOST = MakeDDResult(450);
constexpr HRESULT DDERR_SURFACENOTATTACHED = MakeDDResult(460);
constexpr HRESULT DDERR_CANNOTATTACHSURFACE = MakeDDResult(10);
constexpr HRESULT DDERR_WASSTILLDRAWING = MakeDDResult(540);
constexpr HRESULT DDERR_INVALIDDIRECTDRAWGUID = MakeDDResult(561);
constexpr HRESULT DDERR_DIRECTDRAWALREADYCREATED = MakeDDResult(562);
constexpr HRESULT DDERR_NODIRECTDRAWHW = MakeDDResult(563);
constexpr HRESULT DDERR_PRIMARYSURFACEALREADYEXISTS = MakeDDResult(564);
constexpr HRESULT DDERR_NOCLIPPERATTACHED = MakeDDResult(568);
constexpr HRESULT DDERR_BLTFASTCANTCLIP = MakeDDResult(574);
constexpr HRESULT DDERR_EXCLUSIVEMODEALREADYSET = MakeDDResult(581);
constexpr HRESULT DDERR_NOTFLIPPABLE = MakeDDResult(582);
constexpr HRESULT DDERR_NOTLOCKED = MakeDDResult(584);
constexpr HRESULT DDERR_CANTCREATEDC = MakeDDResult(585);
constexpr HRESULT DDERR_NODC = MakeDDResult(586);
constexpr HRESULT DDERR_WRONGMODE = MakeDDResult(587);
constexpr HRESULT DDERR_NOTPALETTIZED = MakeDDResult(589);
constexpr HRESULT DDERR_DCALREADYCREATED = MakeDDResult(620);
constexpr HRESULT DDERR_NOPALETTEATTACHED = MakeDDResult(572);

constexpr bool Failed(HRESULT result) { return result < 0; }
constexpr bool Succeeded(HRESULT result) { return result >= 0; }

// --- Flags ----------------------------------------------------------------------------------------

// Fields of DDSURFACEDESC2 that hold a value.
constexpr DWORD DDSD_CAPS = 0x00000001;
constexpr DWORD DDSD_HEIGHT = 0x00000002;
constexpr DWORD DDSD_WIDTH = 0x00000004;
constexpr DWORD DDSD_PITCH = 0x00000008;
constexpr DWORD DDSD_BACKBUFFERCOUNT = 0x00000020;
constexpr DWORD DDSD_LPSURFACE = 0x00000800;
constexpr DWORD DDSD_PIXELFORMAT = 0x00001000;
constexpr DWORD DDSD_CKDESTBLT = 0x00004000;
constexpr DWORD DDSD_CKSRCBLT = 0x00010000;
constexpr DWORD DDSD_MIPMAPCOUNT = 0x00020000;
constexpr DWORD DDSD_REFRESHRATE = 0x00040000;
constexpr DWORD DDSD_LINEARSIZE = 0x00080000;
constexpr DWORD DDSD_TEXTURESTAGE = 0x00100000;
constexpr DWORD DDSD_DEPTH = 0x00800000;

constexpr DWORD DDSCAPS_ALPHA = 0x00000002;
constexpr DWORD DDSCAPS_BACKBUFFER = 0x00000004;
constexpr DWORD DDSCAPS_COMPLEX = 0x00000008;
constexpr DWORD DDSCAPS_FLIP = 0x00000010;
constexpr DWORD DDSCAPS_FRONTBUFFER = 0x00000020;
constexpr DWORD DDSCAPS_OFFSCREENPLAIN = 0x00000040;
constexpr DWORD DDSCAPS_PALETTE = 0x00000100;
constexpr DWORD DDSCAPS_PRIMARYSURFACE = 0x00000200;
constexpr DWORD DDSCAPS_SYSTEMMEMORY = 0x00000800;
constexpr DWORD DDSCAPS_TEXTURE = 0x00001000;
constexpr DWORD DDSCAPS_3DDEVICE = 0x00002000;
constexpr DWORD DDSCAPS_VIDEOMEMORY = 0x00004000;
constexpr DWORD DDSCAPS_VISIBLE = 0x00008000;
constexpr DWORD DDSCAPS_WRITEONLY = 0x00010000;
constexpr DWORD DDSCAPS_ZBUFFER = 0x00020000;
constexpr DWORD DDSCAPS_OWNDC = 0x00040000;
constexpr DWORD DDSCAPS_MIPMAP = 0x00400000;
constexpr DWORD DDSCAPS_LOCALVIDMEM = 0x10000000;
constexpr DWORD DDSCAPS_NONLOCALVIDMEM = 0x20000000;

constexpr DWORD DDSCAPS2_TEXTUREMANAGE = 0x00000010;
constexpr DWORD DDSCAPS2_CUBEMAP = 0x00000200;
constexpr DWORD DDSCAPS2_MIPMAPSUBLEVEL = 0x00010000;
constexpr DWORD DDSCAPS2_D3DTEXTUREMANAGE = 0x00020000;
constexpr DWORD DDSCAPS2_VOLUME = 0x00200000;

constexpr DWORD DDPF_ALPHAPIXELS = 0x00000001;
constexpr DWORD DDPF_ALPHA = 0x00000002;
constexpr DWORD DDPF_FOURCC = 0x00000004;
constexpr DWORD DDPF_PALETTEINDEXED8 = 0x00000020;
constexpr DWORD DDPF_RGB = 0x00000040;
constexpr DWORD DDPF_ZBUFFER = 0x00000400;
constexpr DWORD DDPF_STENCILBUFFER = 0x00004000;
constexpr DWORD DDPF_ALPHAPREMULT = 0x00008000;

constexpr DWORD DDSCL_FULLSCREEN = 0x00000001;
constexpr DWORD DDSCL_ALLOWREBOOT = 0x00000002;
constexpr DWORD DDSCL_NOWINDOWCHANGES = 0x00000004;
constexpr DWORD DDSCL_NORMAL = 0x00000008;
constexpr DWORD DDSCL_EXCLUSIVE = 0x00000010;
constexpr DWORD DDSCL_MULTITHREADED = 0x00000400;
constexpr DWORD DDSCL_FPUSETUP = 0x00000800;
constexpr DWORD DDSCL_FPUPRESERVE = 0x00001000;

constexpr DWORD DDBLT_ASYNC = 0x00000200;
constexpr DWORD DDBLT_COLORFILL = 0x00000400;
constexpr DWORD DDBLT_DDFX = 0x00000800;
constexpr DWORD DDBLT_KEYDEST = 0x00002000;
constexpr DWORD DDBLT_KEYDESTOVERRIDE = 0x00004000;
constexpr DWORD DDBLT_KEYSRC = 0x00008000;
constexpr DWORD DDBLT_KEYSRCOVERRIDE = 0x00010000;
constexpr DWORD DDBLT_ROP = 0x00020000;
constexpr DWORD DDBLT_WAIT = 0x01000000;
constexpr DWORD DDBLT_DEPTHFILL = 0x02000000;
constexpr DWORD DDBLT_DONOTWAIT = 0x08000000;

constexpr DWORD DDBLTFAST_NOCOLORKEY = 0x00000000;
constexpr DWORD DDBLTFAST_SRCCOLORKEY = 0x00000001;
constexpr DWORD DDBLTFAST_DESTCOLORKEY = 0x00000002;
constexpr DWORD DDBLTFAST_WAIT = 0x00000010;
constexpr DWORD DDBLTFAST_DONOTWAIT = 0x00000020;

constexpr DWORD DDBLTFX_ARITHSTRETCHY = 0x00000001;
constexpr DWORD DDBLTFX_MIRRORLEFTRIGHT = 0x00000002;
constexpr DWORD DDBLTFX_MIRRORUPDOWN = 0x00000004;
constexpr DWORD DDBLTFX_NOTEARING = 0x00000008;
constexpr DWORD DDBLTFX_ROTATE180 = 0x00000010;
constexpr DWORD DDBLTFX_ROTATE270 = 0x00000020;
constexpr DWORD DDBLTFX_ROTATE90 = 0x00000040;

constexpr DWORD SRCCOPY = 0x00CC0020;  // the one raster operation a blit performs

constexpr DWORD DDLOCK_SURFACEMEMORYPTR = 0x00000000;
constexpr DWORD DDLOCK_WAIT = 0x00000001;
constexpr DWORD DDLOCK_READONLY = 0x00000010;
constexpr DWORD DDLOCK_WRITEONLY = 0x00000020;
constexpr DWORD DDLOCK_NOSYSLOCK = 0x00000800;
constexpr DWORD DDLOCK_NOOVERWRITE = 0x00001000;
constexpr DWORD DDLOCK_DISCARDCONTENTS = 0x00002000;
constexpr DWORD DDLOCK_DONOTWAIT = 0x00004000;

constexpr DWORD DDFLIP_WAIT = 0x00000001;
constexpr DWORD DDFLIP_NOVSYNC = 0x00000008;
constexpr DWORD DDFLIP_DONOTWAIT = 0x00000020;

constexpr DWORD DDCKEY_COLORSPACE = 0x00000001;
constexpr DWORD DDCKEY_DESTBLT = 0x00000002;
constexpr DWORD DDCKEY_DESTOVERLAY = 0x00000004;
constexpr DWORD DDCKEY_SRCBLT = 0x00000008;
constexpr DWORD DDCKEY_SRCOVERLAY = 0x00000010;

constexpr DWORD DDPCAPS_4BIT = 0x00000001;
constexpr DWORD DDPCAPS_8BITENTRIES = 0x00000002;
constexpr DWORD DDPCAPS_8BIT = 0x00000004;
constexpr DWORD DDPCAPS_PRIMARYSURFACE = 0x00000010;
constexpr DWORD DDPCAPS_ALLOW256 = 0x00000040;

// Bit-depth flags, as device descriptions list the depths they render at.
constexpr DWORD DDBD_1 = 0x00004000;
constexpr DWORD DDBD_2 = 0x00002000;
constexpr DWORD DDBD_4 = 0x00001000;
constexpr DWORD DDBD_8 = 0x00000800;
constexpr DWORD DDBD_16 = 0x00000400;
constexpr DWORD DDBD_24 = 0x00000200;
constexpr DWORD DDBD_32 = 0x00000100;

constexpr DWORD DDCAPS_3D = 0x00000001;
constexpr DWORD DDCAPS_BLT = 0x00000040;
constexpr DWORD DDCAPS_BLTSTRETCH = 0x00000200;
constexpr DWORD DDCAPS_COLORKEY = 0x00400000;
constexpr DWORD DDCAPS_BLTCOLORFILL = 0x04000000;
constexpr DWORD DDCAPS2_PRIMARYGAMMA = 0x00020000;
constexpr DWORD DDCKEYCAPS_DESTBLT = 0x00000002;
constexpr DWORD DDCKEYCAPS_SRCBLT = 0x00000200;

constexpr DWORD DDSGR_CALIBRATE = 0x00000001;

constexpr DWORD DDEDM_REFRESHRATES = 0x00000001;
constexpr HRESULT DDENUMRET_CANCEL = 0;
constexpr HRESULT DDENUMRET_OK = 1;

constexpr DWORD MakeFourCC(char a, char b, char c, char d) {
  return static_cast<DWORD>(static_cast<uint8_t>(a)) | (static_cast<DWORD>(static_cast<uint8_t>(b)) << 8) |
         (static_cast<DWORD>(static_cast<uint8_t>(c)) << 16) | (static_cast<DWORD>(static_cast<uint8_t>(d)) << 24);
}
constexpr DWORD FOURCC_DXT1 = MakeFourCC('D', 'X', 'T', '1');
constexpr DWORD FOURCC_DXT2 = MakeFourCC('D', 'X', 'T', '2');
constexpr DWORD FOURCC_DXT3 = MakeFourCC('D', 'X', 'T', '3');
constexpr DWORD FOURCC_DXT4 = MakeFourCC('D', 'X', 'T', '4');
constexpr DWORD FOURCC_DXT5 = MakeFourCC('D', 'X', 'T', '5');

// Only the identity of these matters; they name what a creation or query asks for.
inline constexpr GUID IID_IDirectDraw7 = {0x7d0d1a01, 0x5c2e, 0x4f17, {0x9a, 0x3b, 0x56, 0x44, 0x44, 0x72, 0x61, 0x07}};
inline constexpr GUID IID_IDirectDrawGammaControl = {
    0x7d0d1a02, 0x5c2e, 0x4f17, {0x9a, 0x3b, 0x56, 0x44, 0x44, 0x72, 0x61, 0x07}};

// --- Structures -----------------------------------------------------------------------------------

struct DDCOLORKEY {
  DWORD dwColorSpaceLowValue;
  DWORD dwColorSpaceHighValue;
};

struct DDPIXELFORMAT {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwFourCC;
  union {
    DWORD dwRGBBitCount;
    DWORD dwZBufferBitDepth;
    DWORD dwAlphaBitDepth;
  };
  union {
    DWORD dwRBitMask;
    DWORD dwStencilBitDepth;
  };
  union {
    DWORD dwGBitMask;
    DWORD dwZBitMask;
  };
  union {
    DWORD dwBBitMask;
    DWORD dwStencilBitMask;
  };
  union {
    DWORD dwRGBAlphaBitMask;
    DWORD dwRGBZBitMask;
  };
};
static_assert(sizeof(DDPIXELFORMAT) == 32, "stored in files as 32 bytes");

struct DDSCAPS2 {
  DWORD dwCaps;
  DWORD dwCaps2;
  DWORD dwCaps3;
  union {
    DWORD dwCaps4;
    DWORD dwVolumeDepth;
  };
};

struct DDSURFACEDESC2 {
  DWORD dwSize;  // sizeof(DDSURFACEDESC2)
  DWORD dwFlags;
  DWORD dwHeight;
  DWORD dwWidth;
  union {
    LONG lPitch;
    DWORD dwLinearSize;
  };
  union {
    DWORD dwBackBufferCount;
    DWORD dwDepth;
  };
  union {
    DWORD dwMipMapCount;
    DWORD dwRefreshRate;
    DWORD dwSrcVBHandle;
  };
  DWORD dwAlphaBitDepth;
  DWORD dwReserved;
  void* lpSurface;
  union {
    DDCOLORKEY ddckCKDestOverlay;
    DWORD dwEmptyFaceColor;
  };
  DDCOLORKEY ddckCKDestBlt;
  DDCOLORKEY ddckCKSrcOverlay;
  DDCOLORKEY ddckCKSrcBlt;
  union {
    DDPIXELFORMAT ddpfPixelFormat;
    DWORD dwFVF;
  };
  DDSCAPS2 ddsCaps;
  DWORD dwTextureStage;
};

// The description as files store it (the DDS header): 124 bytes, little-endian, with the
// surface pointer as a 32-bit zero. Reading sets dwSize to sizeof(DDSURFACEDESC2).
constexpr size_t kSurfaceDescRecordSize = 124;
void WriteSurfaceDescRecord(const DDSURFACEDESC2& desc, uint8_t (&record)[kSurfaceDescRecordSize]);
void ReadSurfaceDescRecord(const uint8_t (&record)[kSurfaceDescRecordSize], DDSURFACEDESC2* desc);

struct DDBLTFX {
  DWORD dwSize;  // sizeof(DDBLTFX)
  DWORD dwDDFX;
  DWORD dwROP;
  DWORD dwRotationAngle;
  union {
    DWORD dwFillColor;
    DWORD dwFillDepth;
    DWORD dwFillPixel;
  };
  DDCOLORKEY ddckDestColorkey;
  DDCOLORKEY ddckSrcColorkey;
};

struct DDCAPS {
  DWORD dwSize;  // sizeof(DDCAPS)
  DWORD dwCaps;
  DWORD dwCaps2;
  DWORD dwCKeyCaps;
  DWORD dwPalCaps;
  DWORD dwVidMemTotal;
  DWORD dwVidMemFree;
  DDSCAPS2 ddsCaps;
};

struct DDGAMMARAMP {
  WORD red[256];
  WORD green[256];
  WORD blue[256];
};

struct PALETTEENTRY {
  BYTE peRed;
  BYTE peGreen;
  BYTE peBlue;
  BYTE peFlags;
};

// Device contexts belong to the GDI layer, which registers how a surface hands one out.
struct DeviceContextObject;
using HDC = DeviceContextObject*;

class DirectDraw;
class DirectDrawSurface;
class DirectDrawClipper;
class DirectDrawPalette;
class DirectDrawGammaControl;
using IDirectDraw7 = DirectDraw;
using IDirectDrawSurface7 = DirectDrawSurface;
using IDirectDrawClipper = DirectDrawClipper;
using IDirectDrawPalette = DirectDrawPalette;
using IDirectDrawGammaControl = DirectDrawGammaControl;

// The GDI layer hands out device contexts on surfaces. Until it registers, GetDC fails with
// DDERR_CANTCREATEDC. While a context is out the surface counts as locked.
struct SurfaceDcHooks {
  HRESULT (*acquire)(DirectDrawSurface* surface, HDC* dc) = nullptr;
  void (*release)(DirectDrawSurface* surface, HDC dc) = nullptr;
};
void SetSurfaceDcHooks(const SurfaceDcHooks& hooks);

// Return TRUE_ to go on, FALSE_ to stop. The primary driver comes first, with a null GUID.
using LPDDENUMCALLBACKA = BOOL (*)(GUID* guid, char* description, char* name, void* context);
// Return DDENUMRET_OK to go on, DDENUMRET_CANCEL to stop.
using LPDDENUMMODESCALLBACK2 = HRESULT (*)(DDSURFACEDESC2* mode, void* context);

HRESULT DirectDrawEnumerateA(LPDDENUMCALLBACKA callback, void* context);
// guid null: the primary display driver. iid must be IID_IDirectDraw7; outer must be null.
HRESULT DirectDrawCreateEx(const GUID* guid, DirectDraw** out, const GUID& iid, void* outer);

// --- Platform views -------------------------------------------------------------------------------

// Where a surface's pixels are, for the 3D device, the GDI layer and video frames. Valid until the
// surface is flipped, restored or released. Rows are `pitch` bytes apart; a block-compressed
// surface has bytesPerPixel 0 and rows of 4x4 blocks. A depth buffer holds unsigned depth values
// of its format's bit depth (16 bits in 2 bytes, 24 and 32 bits in 4), 0 nearest.
struct SurfacePixels {
  uint8_t* bits = nullptr;
  LONG pitch = 0;
  DWORD width = 0;
  DWORD height = 0;
  DWORD bytesPerPixel = 0;
  DDPIXELFORMAT format{};
  const PALETTEENTRY* palette = nullptr;  // 256 entries of a palettised surface, when one is set
};

// --- Objects --------------------------------------------------------------------------------------

class DirectDrawClipper {
 public:
  DWORD AddRef();
  DWORD Release();
  // Blits onto a surface with this clipper are clipped to the window's client area.
  HRESULT SetHWnd(DWORD flags, HWND window);
  HRESULT GetHWnd(HWND* window);

 private:
  friend class DirectDraw;
  friend class DirectDrawSurface;
  DirectDrawClipper() = default;
  ~DirectDrawClipper() = default;
  DWORD refs_ = 1;
  HWND window_ = nullptr;
};

class DirectDrawPalette {
 public:
  DWORD AddRef();
  DWORD Release();
  HRESULT GetEntries(DWORD flags, DWORD base, DWORD count, PALETTEENTRY* entries);
  HRESULT SetEntries(DWORD flags, DWORD start, DWORD count, const PALETTEENTRY* entries);
  HRESULT GetCaps(DWORD* caps);
  const PALETTEENTRY* Entries() const { return entries_; }

 private:
  friend class DirectDraw;
  friend class DirectDrawSurface;
  DirectDrawPalette() = default;
  ~DirectDrawPalette() = default;
  DWORD refs_ = 1;
  DWORD caps_ = 0;
  PALETTEENTRY entries_[256]{};
  std::vector<DirectDrawSurface*> users_;  // surfaces it is set on, to show a changed primary
};

// The gamma ramp of a primary surface, applied when its picture is presented. It shares the
// primary's reference count, as a queried interface does.
class DirectDrawGammaControl {
 public:
  DWORD AddRef();
  DWORD Release();
  HRESULT GetGammaRamp(DWORD flags, DDGAMMARAMP* ramp);
  HRESULT SetGammaRamp(DWORD flags, const DDGAMMARAMP* ramp);

 private:
  friend class DirectDraw;
  friend class DirectDrawSurface;
  explicit DirectDrawGammaControl(DirectDrawSurface* surface) : surface_(surface) {}
  DirectDrawSurface* surface_;
};

namespace ddraw_detail {
struct DriverState;
struct PixelMemory;
struct SurfaceAccess;
}  // namespace ddraw_detail

class DirectDrawSurface {
 public:
  DWORD AddRef();
  // Releasing the surface that made a complex structure (a flip chain, a mip chain) releases all
  // of it; releasing a member only gives back the reference that was taken for it.
  DWORD Release();

  // dst and src rectangles null mean the whole surface; different sizes stretch by nearest sample.
  HRESULT Blt(const RECT* dstRect, DirectDrawSurface* src, const RECT* srcRect, DWORD flags, const DDBLTFX* fx);
  HRESULT BltFast(DWORD x, DWORD y, DirectDrawSurface* src, const RECT* srcRect, DWORD flags);
  HRESULT Lock(const RECT* rect, DDSURFACEDESC2* desc, DWORD flags, HANDLE event);
  HRESULT Unlock(const RECT* rect);
  HRESULT GetDC(HDC* dc);
  HRESULT ReleaseDC(HDC dc);
  HRESULT SetColorKey(DWORD flags, const DDCOLORKEY* key);
  HRESULT GetColorKey(DWORD flags, DDCOLORKEY* key);
  HRESULT Flip(DirectDrawSurface* override, DWORD flags);
  HRESULT IsLost();
  HRESULT Restore();
  HRESULT GetSurfaceDesc(DDSURFACEDESC2* desc);
  HRESULT GetPixelFormat(DDPIXELFORMAT* format);
  HRESULT GetCaps(DDSCAPS2* caps);
  // Adds a reference to the surface it hands out.
  HRESULT GetAttachedSurface(const DDSCAPS2* caps, DirectDrawSurface** out);
  // Attaches a depth buffer of the same size to a surface that is rendered to.
  HRESULT AddAttachedSurface(DirectDrawSurface* surface);
  HRESULT DeleteAttachedSurface(DWORD flags, DirectDrawSurface* surface);
  HRESULT SetClipper(DirectDrawClipper* clipper);
  HRESULT GetClipper(DirectDrawClipper** clipper);
  HRESULT SetPalette(DirectDrawPalette* palette);
  HRESULT GetPalette(DirectDrawPalette** palette);
  // Only a primary surface has a gamma control; it adds a reference.
  HRESULT QueryGammaControl(DirectDrawGammaControl** out);
  HRESULT GetDDInterface(DirectDraw** out);

  // Platform access, not DirectDraw's.
  SurfacePixels Pixels();
  // After writing through Pixels: the content version moves on and a visible surface is shown.
  void ContentChanged();
  uint64_t ContentVersion() const { return contentVersion_; }
  DirectDrawSurface* AttachedZBuffer() const { return attachedZ_; }
  bool Lost() const;
  DWORD Width() const { return width_; }
  DWORD Height() const { return height_; }
  const DDPIXELFORMAT& PixelFormat() const { return format_; }
  DWORD Caps() const { return caps_; }
  DirectDrawPalette* Palette() const { return palette_; }

 private:
  friend class DirectDraw;
  friend class DirectDrawGammaControl;
  friend struct ddraw_detail::SurfaceAccess;
  DirectDrawSurface();
  ~DirectDrawSurface();

  DirectDrawSurface* Root();
  bool IsVideoMemory() const;
  bool IsVisiblePrimary() const;
  std::optional<RECT> ClipRect() const;
  void DestroyChain();
  void Shown();
  HRESULT CheckBusy(bool wait);

  DWORD refs_ = 1;
  std::shared_ptr<ddraw_detail::DriverState> display_;
  size_t listed_ = SIZE_MAX;                // its place in the display's list of surfaces, once it is there
  DirectDrawSurface* root_ = nullptr;       // the surface whose Release destroys this one, or null
  DirectDrawSurface* chainNext_ = nullptr;  // back buffer of a front buffer, next mip level
  DirectDrawSurface* attachedZ_ = nullptr;  // holds a reference
  DirectDrawClipper* clipper_ = nullptr;    // holds a reference
  DirectDrawPalette* palette_ = nullptr;    // holds a reference
  std::unique_ptr<DirectDrawGammaControl> gammaControl_;
  DWORD width_ = 0;
  DWORD height_ = 0;
  DWORD caps_ = 0;
  DWORD caps2_ = 0;
  DWORD backBufferCount_ = 0;
  DWORD mipLevels_ = 0;  // levels from this one down, 0 when not a mip map
  DDPIXELFORMAT format_{};
  LONG pitch_ = 0;
  uint64_t memoryBytes_ = 0;
  uint64_t videoBytes_ = 0;  // what it takes of the driver's video memory
  std::unique_ptr<ddraw_detail::PixelMemory> memory_;
  std::optional<DDCOLORKEY> srcKey_;
  std::optional<DDCOLORKEY> destKey_;
  bool lost_ = false;
  bool locked_ = false;
  bool lockedReadOnly_ = false;
  RECT lockRect_{};
  HDC dc_ = nullptr;
  uint64_t contentVersion_ = 0;
};

class DirectDraw {
 public:
  DWORD AddRef();
  DWORD Release();
  // DDSCL_NORMAL, or DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN for a window that then covers the desktop
  // and shows the display mode's picture scaled with its aspect kept.
  HRESULT SetCooperativeLevel(HWND window, DWORD flags);
  HRESULT GetCaps(DDCAPS* driverCaps, DDCAPS* emulationCaps);
  // Modes of 16, 24 and 32 bits in the sizes of the desktop and the common ones, smallest first.
  // A filter's width, height, bit count and refresh rate, where its flags say so, must match.
  HRESULT EnumDisplayModes(DWORD flags, const DDSURFACEDESC2* filter, void* context, LPDDENUMMODESCALLBACK2 callback);
  // Changing the mode loses every video-memory surface. A depth other than the current one needs
  // the exclusive level.
  HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel, DWORD refreshRate, DWORD flags);
  HRESULT RestoreDisplayMode();
  HRESULT GetDisplayMode(DDSURFACEDESC2* mode);
  HRESULT CreateSurface(DDSURFACEDESC2* desc, DirectDrawSurface** out, void* outer);
  HRESULT CreateClipper(DWORD flags, DirectDrawClipper** out, void* outer);
  // flags DDPCAPS_8BIT (with DDPCAPS_ALLOW256); entries holds 256 colours.
  HRESULT CreatePalette(DWORD flags, const PALETTEENTRY* entries, DirectDrawPalette** out, void* outer);
  HRESULT GetAvailableVidMem(const DDSCAPS2* caps, DWORD* total, DWORD* free);
  HRESULT RestoreAllSurfaces();

  // Platform access, not DirectDraw's.
  const GUID& DriverGuid() const;
  HWND CooperativeWindow() const;
  bool IsExclusive() const;

 private:
  friend HRESULT DirectDrawCreateEx(const GUID*, DirectDraw**, const GUID&, void*);
  DirectDraw();
  ~DirectDraw();
  DWORD refs_ = 1;
  std::shared_ptr<ddraw_detail::DriverState> display_;
};

// The display format of a depth: 16 R5G6B5, 24 R8G8B8, 32 X8R8G8B8, 8 palettised; others empty.
DDPIXELFORMAT DisplayPixelFormat(DWORD bitsPerPixel);

}  // namespace vx::win
