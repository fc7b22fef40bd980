// Direct3D: enumeration from the capability profile, device and vertex-buffer creation, and the
// failures tests switch on.
#include "platform/d3d/direct3d.h"

#include <algorithm>

namespace vx::win {
namespace {

Direct3DProfile& Profile() {
  static Direct3DProfile profile = StandardDirect3DProfile();
  return profile;
}

const DeviceProfile* FindDevice(const GUID& guid) {
  for (const DeviceProfile& device : Profile().devices) {
    if (device.caps.deviceGUID == guid) return &device;
  }
  return nullptr;
}

// The DDBD_ flag of a bit count; 0 for counts no device renders at.
DWORD BitDepthFlag(DWORD bits) {
  switch (bits) {
    case 8: return DDBD_8;
    case 16: return DDBD_16;
    case 24: return DDBD_24;
    case 32: return DDBD_32;
    default: return 0;
  }
}

}  // namespace

// ---- profiles -----------------------------------------------------------------------------------

D3DDEVICEDESC7 StandardDeviceCaps(const GUID& device, bool hardware) {
  D3DPRIMCAPS prim{};
  prim.dwSize = sizeof(D3DPRIMCAPS);
  prim.dwMiscCaps = D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW;
  // Table fog is computed from each pixel's eye distance (W fog), range fog from the vertex's distance.
  prim.dwRasterCaps = D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_SUBPIXEL | D3DPRASTERCAPS_FOGVERTEX |
                      D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_FOGRANGE | D3DPRASTERCAPS_WFOG |
                      D3DPRASTERCAPS_MIPMAPLODBIAS;
  prim.dwZCmpCaps = 0xFF;  // every comparison
  // Every factor; the saturated and "both" factors exist only as sources.
  prim.dwSrcBlendCaps = 0x1FFF;
  prim.dwDestBlendCaps = 0x03FF;
  prim.dwAlphaCmpCaps = 0xFF;
  prim.dwShadeCaps = D3DPSHADECAPS_COLORFLATRGB | D3DPSHADECAPS_COLORGOURAUDRGB | D3DPSHADECAPS_SPECULARFLATRGB |
                     D3DPSHADECAPS_SPECULARGOURAUDRGB | D3DPSHADECAPS_ALPHAFLATBLEND | D3DPSHADECAPS_ALPHAGOURAUDBLEND |
                     D3DPSHADECAPS_FOGFLAT | D3DPSHADECAPS_FOGGOURAUD;
  prim.dwTextureCaps =
      D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_TRANSPARENCY;
  prim.dwTextureFilterCaps = D3DPTFILTERCAPS_NEAREST | D3DPTFILTERCAPS_LINEAR | D3DPTFILTERCAPS_MIPNEAREST |
                             D3DPTFILTERCAPS_MIPLINEAR | D3DPTFILTERCAPS_LINEARMIPNEAREST |
                             D3DPTFILTERCAPS_LINEARMIPLINEAR | D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR |
                             D3DPTFILTERCAPS_MIPFPOINT | D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT |
                             D3DPTFILTERCAPS_MAGFLINEAR;
  prim.dwTextureAddressCaps =
      D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP | D3DPTADDRESSCAPS_INDEPENDENTUV;

  D3DDEVICEDESC7 desc{};
  desc.dwDevCaps = D3DDEVCAPS_FLOATTLVERTEX | D3DDEVCAPS_EXECUTESYSTEMMEMORY | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY |
                   D3DDEVCAPS_TEXTURESYSTEMMEMORY | D3DDEVCAPS_DRAWPRIMTLVERTEX | D3DDEVCAPS_CANRENDERAFTERFLIP |
                   D3DDEVCAPS_DRAWPRIMITIVES2 | D3DDEVCAPS_DRAWPRIMITIVES2EX;
  if (hardware) desc.dwDevCaps |= D3DDEVCAPS_HWRASTERIZATION | D3DDEVCAPS_TEXTUREVIDEOMEMORY;
  desc.dpcLineCaps = prim;
  desc.dpcTriCaps = prim;
  desc.dwDeviceRenderBitDepth = DDBD_16 | DDBD_24 | DDBD_32;
  desc.dwDeviceZBufferBitDepth = DDBD_16 | DDBD_24 | DDBD_32;
  desc.dwMinTextureWidth = 1;
  desc.dwMinTextureHeight = 1;
  desc.dwMaxTextureWidth = 2048;
  desc.dwMaxTextureHeight = 2048;
  desc.dwMaxTextureRepeat = 32768;
  desc.dwMaxTextureAspectRatio = 2048;
  desc.dwMaxAnisotropy = 1;
  desc.dwFVFCaps = 8;  // texture coordinate sets
  desc.dwTextureOpCaps = D3DTEXOPCAPS_DISABLE | D3DTEXOPCAPS_SELECTARG1 | D3DTEXOPCAPS_SELECTARG2 |
                         D3DTEXOPCAPS_MODULATE | D3DTEXOPCAPS_MODULATE2X | D3DTEXOPCAPS_MODULATE4X | D3DTEXOPCAPS_ADD |
                         D3DTEXOPCAPS_ADDSIGNED | D3DTEXOPCAPS_SUBTRACT | D3DTEXOPCAPS_BLENDDIFFUSEALPHA |
                         D3DTEXOPCAPS_BLENDTEXTUREALPHA | D3DTEXOPCAPS_BLENDCURRENTALPHA;
  desc.wMaxTextureBlendStages = raster::kMaxStages;
  desc.wMaxSimultaneousTextures = raster::kMaxStages;
  desc.dvGuardBandLeft = -raster::kGuardBand;
  desc.dvGuardBandTop = -raster::kGuardBand;
  desc.dvGuardBandRight = raster::kGuardBand - 1.0f;
  desc.dvGuardBandBottom = raster::kGuardBand - 1.0f;
  desc.dwMaxActiveLights = 0xFFFFFFFFu;  // lighting is computed in software: no limit
  desc.deviceGUID = device;
  desc.dwVertexProcessingCaps = D3DVTXPCAPS_MATERIALSOURCE7 | D3DVTXPCAPS_VERTEXFOG | D3DVTXPCAPS_DIRECTIONALLIGHTS |
                                D3DVTXPCAPS_POSITIONALLIGHTS | D3DVTXPCAPS_LOCALVIEWER;
  return desc;
}

DDPIXELFORMAT MakeDepthFormat(DWORD bitDepth, DWORD depthMask, DWORD stencilDepth, DWORD stencilMask) {
  DDPIXELFORMAT format{};
  format.dwSize = sizeof(DDPIXELFORMAT);
  format.dwFlags = DDPF_ZBUFFER | (stencilDepth ? DDPF_STENCILBUFFER : 0);
  format.dwZBufferBitDepth = bitDepth;
  format.dwStencilBitDepth = stencilDepth;
  format.dwZBitMask = depthMask;
  format.dwStencilBitMask = stencilMask;
  return format;
}

DDPIXELFORMAT MakeRgbFormat(DWORD bitCount, DWORD red, DWORD green, DWORD blue, DWORD alpha) {
  DDPIXELFORMAT format{};
  format.dwSize = sizeof(DDPIXELFORMAT);
  format.dwFlags = DDPF_RGB | (alpha ? DDPF_ALPHAPIXELS : 0);
  format.dwRGBBitCount = bitCount;
  format.dwRBitMask = red;
  format.dwGBitMask = green;
  format.dwBBitMask = blue;
  format.dwRGBAlphaBitMask = alpha;
  return format;
}

DDPIXELFORMAT MakeFourCCFormat(DWORD fourCC) {
  DDPIXELFORMAT format{};
  format.dwSize = sizeof(DDPIXELFORMAT);
  format.dwFlags = DDPF_FOURCC;
  format.dwFourCC = fourCC;
  return format;
}

Direct3DProfile StandardDirect3DProfile() {
  Direct3DProfile profile;
  profile.devices = {
      {"Software rasterisation, RGB colour model", "RGB", StandardDeviceCaps(IID_IDirect3DRGBDevice, false)},
      {"Software rasterisation, MMX path", "MMX", StandardDeviceCaps(IID_IDirect3DMMXDevice, false)},
      {"Hardware-rasterising device", "HAL", StandardDeviceCaps(IID_IDirect3DHALDevice, true)},
  };
  profile.depthFormats = {
      MakeDepthFormat(24, 0x00FFFFFF),
      MakeDepthFormat(16, 0x0000FFFF),
      MakeDepthFormat(32, 0xFFFFFFFF),
  };
  profile.textureFormats = {
      MakeRgbFormat(16, 0xF800, 0x07E0, 0x001F),
      MakeRgbFormat(24, 0xFF0000, 0x00FF00, 0x0000FF),
      MakeRgbFormat(32, 0xFF0000, 0x00FF00, 0x0000FF),
      MakeRgbFormat(16, 0x7C00, 0x03E0, 0x001F, 0x8000),
      MakeRgbFormat(16, 0x0F00, 0x00F0, 0x000F, 0xF000),
      MakeRgbFormat(32, 0xFF0000, 0x00FF00, 0x0000FF, 0xFF000000),
      MakeFourCCFormat(FOURCC_DXT1),
      MakeFourCCFormat(FOURCC_DXT2),
      MakeFourCCFormat(FOURCC_DXT3),
      MakeFourCCFormat(FOURCC_DXT4),
      MakeFourCCFormat(FOURCC_DXT5),
  };
  return profile;
}

void SetDirect3DProfile(const Direct3DProfile& profile) { Profile() = profile; }

const Direct3DProfile& CurrentDirect3DProfile() { return Profile(); }

Direct3DFaults& CurrentDirect3DFaults() {
  static Direct3DFaults faults;
  return faults;
}

void SetDirect3DFaults(const Direct3DFaults& faults) { CurrentDirect3DFaults() = faults; }

// ---- Direct3D -----------------------------------------------------------------------------------

HRESULT CreateDirect3D(DirectDraw* directDraw, Direct3D** out) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  if (!directDraw) return D3DERR_INVALIDCALL;
  if (CurrentDirect3DFaults().failCreate) return E_NOINTERFACE;
  *out = new Direct3D();
  return D3D_OK;
}

DWORD Direct3D::AddRef() { return ++references_; }

DWORD Direct3D::Release() {
  const DWORD left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT Direct3D::EnumDevices(LPD3DENUMDEVICESCALLBACK7 callback, void* context) {
  if (!callback) return D3DERR_INVALIDCALL;
  if (CurrentDirect3DFaults().failEnumDevices) return DDERR_GENERIC;
  // Copies, so that a callback that writes into what it is given changes nothing here.
  const std::vector<DeviceProfile> devices = Profile().devices;
  for (const DeviceProfile& device : devices) {
    std::string description = device.description;
    std::string name = device.name;
    D3DDEVICEDESC7 caps = device.caps;
    if (callback(description.data(), name.data(), &caps, context) == D3DENUMRET_CANCEL) break;
  }
  return D3D_OK;
}

HRESULT Direct3D::EnumZBufferFormats(const GUID& device, LPD3DENUMPIXELFORMATSCALLBACK callback, void* context) {
  if (!callback) return D3DERR_INVALIDCALL;
  if (CurrentDirect3DFaults().failEnumZBufferFormats) return DDERR_GENERIC;
  if (!FindDevice(device)) return D3DERR_INVALID_DEVICE;
  const std::vector<DDPIXELFORMAT> formats = Profile().depthFormats;
  for (const DDPIXELFORMAT& format : formats) {
    DDPIXELFORMAT copy = format;
    if (callback(&copy, context) == D3DENUMRET_CANCEL) break;
  }
  return D3D_OK;
}

HRESULT Direct3D::CreateDevice(const GUID& device, DirectDrawSurface* target, Direct3DDevice** out) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  if (!target) return D3DERR_INVALIDCALL;
  const DeviceProfile* kind = FindDevice(device);
  if (!kind) return D3DERR_INVALID_DEVICE;
  const std::vector<GUID>& failing = CurrentDirect3DFaults().failingDevices;
  if (std::find(failing.begin(), failing.end(), device) != failing.end()) return D3DERR_INITFAILED;
  if (target->Lost()) return DDERR_SURFACELOST;
  if ((target->Caps() & DDSCAPS_3DDEVICE) == 0) return DDERR_INVALIDCAPS;

  const DDPIXELFORMAT format = target->PixelFormat();
  const DWORD renderFlag = BitDepthFlag(format.dwRGBBitCount);
  if (!(format.dwFlags & DDPF_RGB) || (kind->caps.dwDeviceRenderBitDepth & renderFlag) == 0 || renderFlag == 0 ||
      !RasterColourFormat(format, nullptr)) {
    return DDERR_INVALIDPIXELFORMAT;
  }
  if (DirectDrawSurface* depth = target->AttachedZBuffer()) {
    const DDPIXELFORMAT depthFormat = depth->PixelFormat();
    const DWORD depthFlag = BitDepthFlag(depthFormat.dwZBufferBitDepth);
    if (!(depthFormat.dwFlags & DDPF_ZBUFFER) || depthFlag == 0 ||
        (kind->caps.dwDeviceZBufferBitDepth & depthFlag) == 0) {
      return DDERR_INVALIDPIXELFORMAT;
    }
    if (depth->Width() < target->Width() || depth->Height() < target->Height()) {
      return D3DERR_INVALIDCALL;
    }
  }
  *out = new Direct3DDevice(kind->caps, Profile().textureFormats, target);
  return D3D_OK;
}

HRESULT Direct3D::CreateVertexBuffer(D3DVERTEXBUFFERDESC* desc, Direct3DVertexBuffer** out, DWORD flags) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  if (!desc || desc->dwSize != sizeof(D3DVERTEXBUFFERDESC) || flags != 0) return D3DERR_INVALIDCALL;
  constexpr DWORD kCreationCaps = D3DVBCAPS_DONOTCLIP | D3DVBCAPS_SYSTEMMEMORY | D3DVBCAPS_WRITEONLY;
  if (desc->dwCaps & ~kCreationCaps) return D3DERR_INVALIDCALL;
  const DWORD vertexSize = FvfVertexSize(desc->dwFVF);
  if (vertexSize == 0) return D3DERR_INVALIDVERTEXFORMAT;
  if (desc->dwNumVertices == 0 || desc->dwNumVertices > D3DMAXNUMVERTICES) return D3DERR_INVALIDCALL;
  if (CurrentDirect3DFaults().failCreateVertexBuffer) return D3DERR_VBUF_CREATE_FAILED;
  *out = new Direct3DVertexBuffer(*desc, vertexSize);
  return D3D_OK;
}

HRESULT Direct3D::EvictManagedTextures() { return D3D_OK; }

}  // namespace vx::win
