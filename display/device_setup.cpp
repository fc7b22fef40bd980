// DirectDraw on the chosen card, the display surfaces (primary, back buffer, depth buffer), the
// Direct3D device with its capability flags, texture formats, viewport and default states. Every
// failure writes one line to the engine error log and gives back exactly what this step made, so
// a caller may retry (the display re-initialisation does, with the software fallback).
#include "common/host_state.h"
#include "common/runtime_hooks.h"
#include "display/device_events.h"
#include "display/display.h"
#include "images/image_context.h"
#include "surfaces/display_state.h"
#include "surfaces/surface_hooks.h"
#include "surfaces/surface_primitives.h"
#include "surfaces/surface_records.h"

namespace vx {

DeviceEvents gDeviceEvents = {[] {}, [] {}};

using namespace win;

namespace {

// The set-up's trace goes to a sink that keeps nothing; it is formatted only when asked for.
void Trace(const char*, const std::string&) {}

struct CardSearch {
  const std::string* wanted;  // null: the first secondary card
  bool found = false;
};

void TakeDriver(CardSearch* search, GUID* guid, const char* description, const char* name) {
  Display().gFoundDriverName = name ? name : "";
  Display().gFoundDriverDescription = description ? description : "";
  Display().gFoundDriverGuid = guid ? *guid : GUID{};
  search->found = true;
}

BOOL FirstSecondaryCardCallback(GUID* guid, char* description, char* name, void* context) {
  if (!guid) return 1;
  TakeDriver(static_cast<CardSearch*>(context), guid, description, name);
  return 0;
}

BOOL MatchDisplayCardCallback(GUID* guid, char* description, char* name, void* context) {
  auto* search = static_cast<CardSearch*>(context);
  if (Display().gTraceMode) {
    Trace("DXINIT: Enumeration Check: %s", description ? description : "");
    Trace("DXINIT: Enumeration Looking for: %s", *search->wanted);
  }
  if (!description || !SameCardName(*search->wanted, description)) return 1;
  if (Display().gTraceMode) Trace("DXINIT: Found card: %s", name ? name : "");
  TakeDriver(search, guid, description, name);
  return 0;
}

IDirectDrawSurface7* MakeImageSurface(int32_t width, int32_t height) {
  if (!Display().gDirectDraw || width <= 0 || height <= 0) return nullptr;
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  desc.dwWidth = DWORD(width);
  desc.dwHeight = DWORD(height);
  desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
  IDirectDrawSurface7* surface = nullptr;
  if (Failed(Display().gDirectDraw->CreateSurface(&desc, &surface, nullptr))) return nullptr;
  const DWORD black = BlackColourKey();
  const DDCOLORKEY key{black, black};
  surface->SetColorKey(DDCKEY_SRCBLT, &key);
  return surface;
}

void InstallSurfaceHooks() {
  gSurfaceHooks.makeImageSurface = MakeImageSurface;
  gSurfaceHooks.evictManagedTextures = [] { EvictManagedTextures(); };
}

// Surfaces made in CreateRenderSurfaces's failure paths go back at once; the clipper too.
HRESULT FailSurfaces(HRESULT result, const char* message, IDirectDrawClipper** clipper = nullptr) {
  if (clipper) ReleaseAndClear(*clipper);
  ReleaseDisplaySurfaces();
  EngineErrorLog(message);
  return Failed(result) ? result : E_FAIL;
}

HRESULT PickZBufferFormatCallback(DDPIXELFORMAT* format, void* context) {
  if (format->dwFlags != DDPF_ZBUFFER) return D3DENUMRET_OK;
  *static_cast<DDPIXELFORMAT*>(context) = *format;
  return D3DENUMRET_CANCEL;
}

struct HardwareSearch {
  DWORD bitDepthFlag = 0;
  bool found = false;
  GUID guid{};
  std::string name;
};

HRESULT FindHardwareDeviceCallback(char*, char* name, D3DDEVICEDESC7* desc, void* context) {
  auto* search = static_cast<HardwareSearch*>(context);
  if (!(desc->dwDevCaps & D3DDEVCAPS_HWRASTERIZATION) || !(desc->dwDeviceRenderBitDepth & search->bitDepthFlag))
    return D3DENUMRET_OK;
  search->found = true;
  search->guid = desc->deviceGUID;
  search->name = name ? name : "";
  return D3DENUMRET_CANCEL;
}

HRESULT CollectTextureFormatCallback(DDPIXELFORMAT* format, void*) {
  if (Display().gTextureFormatCount < kMaxTextureFormats)
    Display().gTextureFormats[size_t(Display().gTextureFormatCount++)] = *format;
  return D3DENUMRET_OK;
}

DWORD BitDepthFlag(DWORD bitCount) {
  switch (bitCount) {
    case 8: return DDBD_8;
    case 16: return DDBD_16;
    case 24: return DDBD_24;
    case 32: return DDBD_32;
    default: return 0;
  }
}

struct BlendPair {
  DWORD src, dest;
};

// The pair a ghost blends with at each level (index 0 keeps none).
constexpr BlendPair kGhostBlends[10] = {
    {0, 0},
    {D3DBLEND_ONE, D3DBLEND_INVSRCCOLOR},
    {D3DBLEND_INVDESTCOLOR, D3DBLEND_ONE},
    {D3DBLEND_ONE, D3DBLEND_ONE},
    {D3DBLEND_DESTCOLOR, D3DBLEND_ONE},
    {D3DBLEND_DESTCOLOR, D3DBLEND_SRCCOLOR},
    {D3DBLEND_DESTCOLOR, D3DBLEND_ZERO},
    {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR},
    {D3DBLEND_INVDESTCOLOR, D3DBLEND_INVSRCCOLOR},
    {D3DBLEND_ZERO, D3DBLEND_INVSRCCOLOR},
};

D3DMATERIAL7 MaterialOf(float diffuse, float ambient) {
  D3DMATERIAL7 m{};
  m.diffuse = {diffuse, diffuse, diffuse, 1.0f};
  m.ambient = {ambient, ambient, ambient, 1.0f};
  return m;
}

}  // namespace

int32_t EnumerateDisplayCards(int32_t forcePrimary, int32_t allowExclusive) {
  // The caller released the old objects; what is left here are stale pointers.
  Display().gPrimarySurface = Display().gBackBuffer = Display().gZBuffer = nullptr;
  Display().gDisplayPalette = nullptr;
  Display().gPointerImageSurface = nullptr;
  ClearImageSurfaceTable();

  const GUID* guid = nullptr;
  if (Display().gFullScreen == 0 || forcePrimary == 1 || SameCardName(Display().gChosenCardName, kPrimaryCardName)) {
    Display().gCurrentCardName = kPrimaryCardName;
  } else {
    Display().gFoundDriverName.clear();
    CardSearch search{Display().gChosenCardName.empty() ? nullptr : &Display().gChosenCardName};
    DirectDrawEnumerateA(search.wanted ? MatchDisplayCardCallback : FirstSecondaryCardCallback, &search);
    if (!search.found) {
      if (Display().gTraceMode) Trace("VORLIX: Using Primary Card", "");
      Display().gCurrentCardName = kPrimaryCardName;
    } else {
      if (Display().gTraceMode) Trace("VORLIX: Using Secondary Card", "");
      guid = &Display().gFoundDriverGuid;
      Display().gCurrentCardName = search.wanted ? *search.wanted : Display().gFoundDriverDescription;
    }
  }

  if (Failed(DirectDrawCreateEx(guid, &Display().gDirectDraw, IID_IDirectDraw7, nullptr))) {
    Display().gDirectDraw = nullptr;
    EngineErrorLog("Failed to create DirectDraw Interface");
    return 0;
  }
  const DWORD level =
      (Display().gFullScreen == 1 && allowExclusive == 1) ? (DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN) : DDSCL_NORMAL;
  if (Failed(Display().gDirectDraw->SetCooperativeLevel(Host().gMainWindow, level))) {
    ReleaseAndClear(Display().gDirectDraw);
    EngineErrorLog("Failed to set cooperative level for DirectDraw");
    return 0;
  }
  Display().gBlitFlipModeInUse = Display().gBlitFlipMode;
  DDCAPS caps{};
  caps.dwSize = sizeof caps;
  Display().gDirectDraw->GetCaps(&caps, nullptr);
  Display().gDirectDrawReady = 1;
  InstallSurfaceHooks();
  return 1;
}

int32_t InitDisplayAndDevice(int32_t width, int32_t height, int32_t with3D) {
  Display().gDisplayWidth = width;
  Display().gDisplayHeight = height;
  if (!Display().gDirectDraw) return 0;
  if (with3D && Failed(CreateDirect3D(Display().gDirectDraw, &Display().gDirect3D))) {
    Display().gDirect3D = nullptr;
    EngineErrorLog("Failed to query D3D Interface");
    return 0;
  }
  if (Failed(CreateRenderSurfaces(Host().gMainWindow, with3D))) {
    ReleaseAndClear(Display().gDirect3D);
    return 0;
  }
  if (!SetBlackColourKeys()) {
    ReleaseDisplaySurfaces();
    ReleaseAndClear(Display().gDirect3D);
    return 0;
  }
  if (!with3D) return 1;
  if (ChooseD3DDevice()) return 1;
  // A device made before a later step failed holds the back buffer: it goes first.
  ReleaseD3DDevice();
  ReleaseDisplaySurfaces();
  return 0;
}

namespace {

DDSURFACEDESC2 SurfaceDescription(DWORD flags, DWORD caps) {
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = flags;
  desc.ddsCaps.dwCaps = caps;
  return desc;
}

// A back buffer of the display's size in the memory the caps name.
HRESULT CreateBackBuffer(DWORD memoryCaps) {
  DDSURFACEDESC2 desc =
      SurfaceDescription(DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_CKSRCBLT, DDSCAPS_3DDEVICE | memoryCaps);
  desc.dwWidth = DWORD(Display().gDisplayWidth);
  desc.dwHeight = DWORD(Display().gDisplayHeight);
  const HRESULT made = Display().gDirectDraw->CreateSurface(&desc, &Display().gBackBuffer, nullptr);
  if (Failed(made)) Display().gBackBuffer = nullptr;
  return made;
}

HRESULT CreatePrimary() {
  DDSURFACEDESC2 desc = SurfaceDescription(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE);
  const HRESULT made = Display().gDirectDraw->CreateSurface(&desc, &Display().gPrimarySurface, nullptr);
  if (Failed(made)) Display().gPrimarySurface = nullptr;
  return made;
}

// Video memory when the frame buffers (and the depth buffer for 3D) fit there and no fallback
// was asked for; a flip chain unless blits are to present.
void ChooseSurfaceMemory(int32_t with3D) {
  // 64-bit: a large display size must not wrap into a small one.
  const uint64_t frame = uint64_t(uint32_t(Display().gDisplayWidth)) * uint64_t(uint32_t(Display().gDisplayHeight)) *
                         uint64_t(uint16_t(Display().gDisplayDepth)) / 8;
  const uint64_t needed = frame * (with3D ? 3 : 2);
  DDSCAPS2 textureCaps{};
  textureCaps.dwCaps = DDSCAPS_TEXTURE;
  DWORD total = 0, free = 0;
  const bool fits =
      Succeeded(Display().gDirectDraw->GetAvailableVidMem(&textureCaps, &total, &free)) && needed <= total;
  Display().gSystemMemorySurfaces = (with3D && fits && Display().gSurfaceFallback == 0) ? 0 : 1;
  Display().gFlipChain = Display().gBlitFlipModeInUse == 1 ? 0 : 1;
}

// A full-screen primary with its back buffer attached; neither when either fails.
void CreateFlipChain() {
  DDSURFACEDESC2 desc = SurfaceDescription(DDSD_CAPS | DDSD_BACKBUFFERCOUNT | DDSD_CKSRCBLT,
                                           DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE |
                                               DDSCAPS_VIDEOMEMORY);
  desc.dwBackBufferCount = 1;
  if (Failed(Display().gDirectDraw->CreateSurface(&desc, &Display().gPrimarySurface, nullptr))) {
    Display().gPrimarySurface = nullptr;
    return;
  }
  DDSCAPS2 back{};
  back.dwCaps = DDSCAPS_BACKBUFFER;
  if (Failed(Display().gPrimarySurface->GetAttachedSurface(&back, &Display().gBackBuffer))) {
    Display().gBackBuffer = nullptr;
    ReleaseAndClear(Display().gPrimarySurface);
  }
}

// The surfaces in video memory; what cannot be made there leaves the rest to system memory.
HRESULT CreateVideoSurfaces(int32_t with3D) {
  if (Display().gFullScreen == 1 && Display().gFlipChain == 1) {
    CreateFlipChain();
  } else {
    CreatePrimary();
    if (Display().gPrimarySurface) CreateBackBuffer(DDSCAPS_VIDEOMEMORY);
    Display().gFlipChain = 0;
  }
  if (!Display().gPrimarySurface || !Display().gBackBuffer) {
    Display().gSystemMemorySurfaces = 1;
    return DD_OK;
  }
  if (!with3D) return DD_OK;
  const HRESULT z = CreateZBuffer(1);
  return Failed(z) ? FailSurfaces(z, "Failed to create a Z-Buffer in video memory") : DD_OK;
}

HRESULT CreateSystemSurfaces(int32_t with3D) {
  if (!Display().gPrimarySurface) {
    const HRESULT made = CreatePrimary();
    if (Failed(made)) return FailSurfaces(made, "Failed to create a Primary Surface");
  }
  Display().gFlipChain = 0;
  const HRESULT back = CreateBackBuffer(DDSCAPS_SYSTEMMEMORY);
  if (Failed(back)) return FailSurfaces(back, "Failed to create a BackBuffer in system memory");
  if (!with3D) return DD_OK;
  const HRESULT z = CreateZBuffer(0);
  return Failed(z) ? FailSurfaces(z, "Failed to create a Z-Buffer in system memory") : DD_OK;
}

// Without a flip chain the primary is presented to by blits, clipped to the window.
HRESULT AttachClipper(HWND window) {
  IDirectDrawClipper* clipper = nullptr;
  HRESULT r = Display().gDirectDraw->CreateClipper(0, &clipper, nullptr);
  if (Failed(r)) {
    clipper = nullptr;
    return FailSurfaces(r, "Failed to create a Clipper Object");
  }
  if (Failed(r = clipper->SetHWnd(0, window))) return FailSurfaces(r, "Failed to set HWND for Clipper", &clipper);
  if (Failed(r = Display().gPrimarySurface->SetClipper(clipper)))
    return FailSurfaces(r, "Failed to set Clipper to Primary Surface", &clipper);
  ReleaseAndClear(clipper);  // the primary holds it
  return DD_OK;
}

// An 8-bit display gets a 3-3-2 colour cube in place of the palette bitmap.
HRESULT AttachPalette() {
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  HRESULT r = Display().gPrimarySurface->GetSurfaceDesc(&desc);
  if (Failed(r)) return FailSurfaces(r, "Failed to get surface description of Primary Surface");
  if (!(desc.ddpfPixelFormat.dwFlags & DDPF_PALETTEINDEXED8)) return DD_OK;
  PALETTEENTRY entries[256];
  for (int i = 0; i < 256; ++i)
    entries[i] = {BYTE(((i >> 5) & 7) * 255 / 7), BYTE(((i >> 2) & 7) * 255 / 7), BYTE((i & 3) * 255 / 3), 0};
  if (Failed(r = Display().gDirectDraw->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries,
                                                      &Display().gDisplayPalette, nullptr))) {
    Display().gDisplayPalette = nullptr;
    return FailSurfaces(r, "Failed to set Palette of Primary Surface");
  }
  if (Failed(r = Display().gPrimarySurface->SetPalette(Display().gDisplayPalette)))
    return FailSurfaces(r, "Failed to set Palette of Primary Surface");
  if (Failed(r = Display().gBackBuffer->SetPalette(Display().gDisplayPalette)))
    return FailSurfaces(r, "Failed to set Palette of BackBuffer Surface");
  return DD_OK;
}

void TakeGammaControl() {
  Display().gGammaAvailable = 0;
  if (Display().gPrimarySurface->QueryGammaControl(&Display().gGammaControl) == S_OK)
    Display().gGammaAvailable = 1;
  else
    Display().gGammaControl = nullptr;
}

// The back buffer's size and depth as made, which bitmap 0 (the screen) reports.
HRESULT TakeBackBufferSize() {
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  if (const HRESULT r = Display().gBackBuffer->GetSurfaceDesc(&desc); Failed(r))
    return FailSurfaces(r, "Failed to get surface description of BackBuffer Surface");
  Display().gBackBufferWidth = int32_t(desc.dwWidth);
  Display().gBackBufferHeight = int32_t(desc.dwHeight);
  Display().gBackBufferBitCount = int32_t(desc.ddpfPixelFormat.dwRGBBitCount);
  Display().gBitmapInfo[0].width = desc.dwWidth;
  Display().gBitmapInfo[0].height = desc.dwHeight;
  Display().gBitmapInfo[0].bitsPerPixel = desc.ddpfPixelFormat.dwRGBBitCount;
  return DD_OK;
}

}  // namespace

HRESULT CreateRenderSurfaces(HWND window, int32_t with3D) {
  ChooseSurfaceMemory(with3D);
  HRESULT r = DD_OK;
  if (Display().gSystemMemorySurfaces == 0 && Failed(r = CreateVideoSurfaces(with3D))) return r;
  if (Display().gSystemMemorySurfaces == 1 && Failed(r = CreateSystemSurfaces(with3D))) return r;
  if (!Display().gPrimarySurface) return FailSurfaces(E_FAIL, "Failed to create a Primary Surface for unknown reason");
  if (Display().gFlipChain == 0 && Failed(r = AttachClipper(window))) return r;
  if (Failed(r = AttachPalette())) return r;
  TakeGammaControl();
  return TakeBackBufferSize();
}

HRESULT CreateZBuffer(int32_t videoMemory) {
  DDPIXELFORMAT format{};
  bool systemMemory = videoMemory != 1;
  HRESULT r = E_FAIL;
  if (videoMemory == 1)
    r = Display().gDirect3D->EnumZBufferFormats(IID_IDirect3DHALDevice, PickZBufferFormatCallback, &format);
  if (videoMemory != 1 || Failed(r)) {
    systemMemory = true;
    r = Display().gDirect3D->EnumZBufferFormats(IID_IDirect3DRGBDevice, PickZBufferFormatCallback, &format);
    if (Failed(r)) return r;
  }
  if (format.dwFlags != DDPF_ZBUFFER) return DDERR_INVALIDPIXELFORMAT;  // no plain depth format offered
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
  desc.ddsCaps.dwCaps = DDSCAPS_ZBUFFER | (systemMemory ? DDSCAPS_SYSTEMMEMORY : DDSCAPS_VIDEOMEMORY);
  desc.dwWidth = DWORD(Display().gDisplayWidth);
  desc.dwHeight = DWORD(Display().gDisplayHeight);
  desc.ddpfPixelFormat = format;
  if (Failed(r = Display().gDirectDraw->CreateSurface(&desc, &Display().gZBuffer, nullptr))) {
    Display().gZBuffer = nullptr;
    return r;
  }
  if (Failed(r = Display().gBackBuffer->AddAttachedSurface(Display().gZBuffer))) {
    ReleaseAndClear(Display().gZBuffer);
    return r;
  }
  return DD_OK;
}

DWORD BlackColourKey() {
  // RGB 0 is pixel value 0 in every RGB format; with a palette the key is entry 0.
  return 0;
}

int32_t SetBlackColourKeys() {
  const DWORD black = BlackColourKey();
  const DDCOLORKEY key{black, black};
  if (Failed(Display().gPrimarySurface->SetColorKey(DDCKEY_SRCBLT, &key))) {
    EngineErrorLog("Failed to set Colorkey for Primary Surface");
    return 0;
  }
  if (Failed(Display().gBackBuffer->SetColorKey(DDCKEY_SRCBLT, &key))) {
    EngineErrorLog("Failed to set Colorkey for BackBuffer Surface");
    return 0;
  }
  return 1;
}

void BlendLevelsOf(DWORD s, DWORD d, uint32_t* level, uint32_t* second) {
  struct Row {
    DWORD src, dest;
    uint32_t level, second;
  };
  static constexpr Row kRows[] = {
      {D3DPBLENDCAPS_ZERO, D3DPBLENDCAPS_INVSRCCOLOR, 9, 0},
      {D3DPBLENDCAPS_INVDESTCOLOR, D3DPBLENDCAPS_INVSRCCOLOR, 8, 0},
      {D3DPBLENDCAPS_DESTCOLOR, D3DPBLENDCAPS_ZERO, 6, 6},
      {D3DPBLENDCAPS_DESTCOLOR, D3DPBLENDCAPS_SRCCOLOR, 5, 5},
      {D3DPBLENDCAPS_ZERO, D3DPBLENDCAPS_SRCCOLOR, 7, 7},
      {D3DPBLENDCAPS_DESTCOLOR, D3DPBLENDCAPS_ONE, 4, 0},
      {D3DPBLENDCAPS_ONE, D3DPBLENDCAPS_ONE, 3, 0},
      {D3DPBLENDCAPS_INVDESTCOLOR, D3DPBLENDCAPS_ONE, 2, 0},
      {D3DPBLENDCAPS_ONE, D3DPBLENDCAPS_INVSRCCOLOR, 1, 0},
  };
  *level = 0;
  *second = 0;
  for (const Row& row : kRows) {
    if (!(s & row.src) || !(d & row.dest)) continue;
    *level = row.level;
    if (row.second) *second = row.second;
  }
}

void SetCapabilityFlags(const D3DDEVICEDESC7& caps, const DDPIXELFORMAT& backBufferFormat) {
  const D3DPRIMCAPS& tri = caps.dpcTriCaps;
  Display().gDrawPrimTLVertex = (caps.dwDevCaps & D3DDEVCAPS_DRAWPRIMTLVERTEX) ? 1 : 0;
  BlendLevelsOf(tri.dwSrcBlendCaps, tri.dwDestBlendCaps, &Display().gBlendLevel, &Display().gSecondBlendLevel);
  const DWORD filter = tri.dwTextureFilterCaps;
  Display().gFilterLevel = 0;
  if ((filter & D3DPTFILTERCAPS_MAGFLINEAR) && (filter & D3DPTFILTERCAPS_MINFLINEAR)) Display().gFilterLevel = 1;
  if ((filter & D3DPTFILTERCAPS_MAGFANISOTROPIC) && (filter & D3DPTFILTERCAPS_MINFANISOTROPIC))
    Display().gFilterLevel = 2;
  const DWORD raster = tri.dwRasterCaps;
  Display().gFogAvailable = (raster & (D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_FOGVERTEX)) ? 1 : 0;
  Display().gWBuffer = (raster & D3DPRASTERCAPS_WBUFFER) ? 1 : 0;
  Display().gTableFogOnly = (!(raster & D3DPRASTERCAPS_FOGVERTEX) && (raster & D3DPRASTERCAPS_FOGTABLE)) ? 1 : 0;
  Display().gMipmapping = (filter & (D3DPTFILTERCAPS_MIPNEAREST | D3DPTFILTERCAPS_MIPLINEAR)) ? 1 : 0;
  Display().gWrapAddressing = (tri.dwTextureAddressCaps & D3DPTADDRESSCAPS_WRAP) ? 1 : 0;
  Display().gMirrorAddressing = (tri.dwTextureAddressCaps & D3DPTADDRESSCAPS_MIRROR) ? 1 : 0;
  Display().gClampAddressing = (tri.dwTextureAddressCaps & D3DPTADDRESSCAPS_CLAMP) ? 1 : 0;
  Display().gPremultipliedAlpha = (backBufferFormat.dwFlags & DDPF_ALPHAPREMULT) ? 1 : 0;
  Display().gColourKeyAvailable = (tri.dwTextureCaps & D3DPTEXTURECAPS_TRANSPARENCY) ? 1 : 0;
  Display().gColourKeyBlendAvailable =
      (Display().gColourKeyAvailable && (tri.dwTextureCaps & D3DPTEXTURECAPS_COLORKEYBLEND)) ? 1 : 0;
}

int32_t ChooseD3DDevice() {
  ReleaseAndClear(Display().gD3DDevice);
  for (int32_t slot = 0; slot < Records().gTextureRecords.capacity; ++slot) ReleaseTextureSurface(uint32_t(slot));
  DDSURFACEDESC2 back{};
  back.dwSize = sizeof back;
  if (Failed(Display().gBackBuffer->GetSurfaceDesc(&back))) {
    EngineErrorLog("Failed to get surface description of BackBuffer Surface");
    return 0;
  }

  HardwareSearch hardware;
  hardware.bitDepthFlag = BitDepthFlag(back.ddpfPixelFormat.dwRGBBitCount);
  if (Failed(Display().gDirect3D->EnumDevices(FindHardwareDeviceCallback, &hardware))) {
    EngineErrorLog("Failed to Enumerate Devices from D3D Interface");
    return 0;
  }
  // Without a matching hardware device the software devices are still worth trying.
  if (!hardware.found) EngineErrorLog("D3D Devices do not support backbuffer bit-depth and HW Acceleration");

  char status[7] = "......";  // two unused, then T&L, HAL, RGB, MMX
  auto attempt = [&](int index, const char* name, uint32_t isHardware, const GUID& guid) {
    Display().gD3DDeviceName = name;
    Display().gHardwareDevice = isHardware;
    if (Failed(Display().gDirect3D->CreateDevice(guid, Display().gBackBuffer, &Display().gD3DDevice)))
      Display().gD3DDevice = nullptr;
    if (index >= 0) status[index] = Display().gD3DDevice ? '1' : '0';
  };
  if (hardware.found && Display().gSurfaceFallback == 0 && Display().gAllowTnL == 1)
    attempt(2, "T&L", 1, IID_IDirect3DTnLHalDevice);
  else if (Display().gAllowTnL != 1)
    status[2] = '2';
  if (hardware.found && Display().gSurfaceFallback == 0 && !Display().gD3DDevice)
    attempt(3, "HAL", 1, IID_IDirect3DHALDevice);
  if (!Display().gD3DDevice) attempt(4, "RGB", 0, IID_IDirect3DRGBDevice);
  if (!Display().gD3DDevice && Display().gSurfaceFallback == 1) attempt(5, "MMX", 0, IID_IDirect3DMMXDevice);
  if (!Display().gD3DDevice && hardware.found) attempt(-1, "OTHER", 1, hardware.guid);
  if (!Display().gD3DDevice) {
    char line[160];
    std::snprintf(line, sizeof line, "[%c%c%c%c%c%c & %s] Failed to create a D3D Device from BackBuffer Surface",
                  status[0], status[1], status[2], status[3], status[4], status[5], hardware.name.c_str());
    EngineErrorLog(line);
    return 0;
  }

  D3DDEVICEDESC7 caps{};
  Display().gD3DDevice->GetCaps(&caps);
  SetCapabilityFlags(caps, back.ddpfPixelFormat);

  Display().gTextureFormatCount = 0;
  if (Failed(Display().gD3DDevice->EnumTextureFormats(CollectTextureFormatCallback, nullptr))) {
    EngineErrorLog("Failed to create list of available texture formats");
    return 0;
  }
  Display().gDxtTextures = 0;
  for (int32_t i = 0; i < Display().gTextureFormatCount; ++i) {
    const DDPIXELFORMAT& f = Display().gTextureFormats[size_t(i)];
    if ((f.dwFlags & DDPF_FOURCC) &&
        (f.dwFourCC == FOURCC_DXT1 || f.dwFourCC == FOURCC_DXT2 || f.dwFourCC == FOURCC_DXT3 ||
         f.dwFourCC == FOURCC_DXT4 || f.dwFourCC == FOURCC_DXT5))
      Display().gDxtTextures = 1;
  }

  Display().gViewport = D3DVIEWPORT7{0, 0, DWORD(Display().gDisplayWidth), DWORD(Display().gDisplayHeight), 0.0f, 1.0f};
  if (Failed(Display().gD3DDevice->SetViewport(&Display().gViewport))) {
    EngineErrorLog("Failed to set Viewport Properties");
    return 0;
  }
  if (!SetDefaultRenderStates()) return 0;
  gDeviceEvents.deviceSetUp();
  return 1;
}

int32_t SetDefaultRenderStates() {
  Direct3DDevice* d = Display().gD3DDevice;
  d->SetRenderState(D3DRENDERSTATE_ZENABLE, Display().gWBuffer ? D3DZB_USEW : D3DZB_TRUE);
  d->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, 1);
  const uint32_t level = Display().gBlendLevel < 10 ? Display().gBlendLevel : 0;
  Display().gGhostSrcBlend = kGhostBlends[level].src;
  Display().gGhostDestBlend = kGhostBlends[level].dest;
  if (level >= 2) {
    d->SetRenderState(D3DRENDERSTATE_SRCBLEND, Display().gGhostSrcBlend);
    d->SetRenderState(D3DRENDERSTATE_DESTBLEND, Display().gGhostDestBlend);
  }
  const uint32_t second =
      (Display().gSecondBlendLevel >= 5 && Display().gSecondBlendLevel <= 7) ? Display().gSecondBlendLevel : 0;
  Display().gGhostSrcBlend2 = kGhostBlends[second].src;
  Display().gGhostDestBlend2 = kGhostBlends[second].dest;
  d->SetRenderState(D3DRENDERSTATE_TEXTUREPERSPECTIVE, 1);
  d->SetRenderState(D3DRENDERSTATE_SPECULARENABLE, 0);
  d->SetRenderState(D3DRENDERSTATE_SHADEMODE, D3DSHADE_GOURAUD);
  if (Display().gSurfaceFallback == 1) {
    d->SetRenderState(D3DRENDERSTATE_DITHERENABLE, 0);
    Display().gFilterLevel = 0;
  } else {
    d->SetRenderState(D3DRENDERSTATE_DITHERENABLE, 1);
  }
  d->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTFP_LINEAR);
  static constexpr DWORD kMag[3] = {D3DTFG_POINT, D3DTFG_LINEAR, D3DTFG_ANISOTROPIC};
  static constexpr DWORD kMin[3] = {D3DTFN_POINT, D3DTFN_LINEAR, D3DTFN_ANISOTROPIC};
  d->SetTextureStageState(0, D3DTSS_MAGFILTER, kMag[Display().gFilterLevel < 3 ? Display().gFilterLevel : 0]);
  d->SetTextureStageState(0, D3DTSS_MINFILTER, kMin[Display().gFilterLevel < 3 ? Display().gFilterLevel : 0]);
  d->SetRenderState(D3DRENDERSTATE_FILLMODE, D3DFILL_SOLID);
  d->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_CCW);
  d->SetRenderState(D3DRENDERSTATE_NORMALIZENORMALS, 1);
  d->SetRenderState(D3DRENDERSTATE_LOCALVIEWER, 0);
  d->SetRenderState(D3DRENDERSTATE_AMBIENT, 0x00FFFFFF);
  d->SetTextureStageState(0, D3DTSS_ADDRESS, D3DTADDRESS_WRAP);
  Display().gSceneMaterial = MaterialOf(1.0f - Display().gAmbientLevel, Display().gAmbientLevel);
  Display().gFullBrightMaterial = MaterialOf(0.0f, 1.0f);
  Display().gPlainMaterial = MaterialOf(1.0f, 0.0f);
  return Succeeded(d->SetMaterial(&Display().gSceneMaterial)) ? 1 : 0;
}

void AttachImageContextToDisplay() {
  AttachImageContext(Host().gMainWindow, Display().gDirectDraw, Display().gPrimarySurface);
}

}  // namespace vx
