// The device front end: state tracking with the Direct3D 7 defaults, the real device's parameter
// checks, clears into the surfaces' memory, and draw calls handed to the rasteriser
// (device_raster.cpp).
#include "platform/d3d/device.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <numbers>

#include "platform/d3d/direct3d.h"
#include "platform/d3d/vertex_buffer.h"
#include "platform/ddraw/pixel_format.h"

namespace vx::win {
namespace {

// ---- state tables -----------------------------------------------------------------------------

constexpr DWORD kAnyValue = 0xFFFFFFFFu;  // as `high`: the state takes every value

struct StateRule {
  DWORD state;
  DWORD defaultValue;
  DWORD low;
  DWORD high;
};

constexpr DWORD FloatBits(float value) { return std::bit_cast<DWORD>(value); }

// Every render state the device knows, with its Direct3D 7 default and, for the states that name
// one of a set of values, the values allowed. Flags (TRUE/FALSE) take any value: non-zero is TRUE.
constexpr StateRule kRenderStateRules[] = {
    {D3DRENDERSTATE_ANTIALIAS, D3DANTIALIAS_NONE, 0, D3DANTIALIAS_SORTINDEPENDENT},
    {D3DRENDERSTATE_TEXTUREPERSPECTIVE, 1, 0, kAnyValue},
    {D3DRENDERSTATE_ZENABLE, D3DZB_FALSE, D3DZB_FALSE, D3DZB_USEW},  // TRUE when a depth buffer is attached
    {D3DRENDERSTATE_FILLMODE, D3DFILL_SOLID, D3DFILL_POINT, D3DFILL_SOLID},
    {D3DRENDERSTATE_SHADEMODE, D3DSHADE_GOURAUD, D3DSHADE_FLAT, D3DSHADE_PHONG},
    {D3DRENDERSTATE_LINEPATTERN, 0, 0, kAnyValue},
    {D3DRENDERSTATE_ZWRITEENABLE, 1, 0, kAnyValue},
    {D3DRENDERSTATE_ALPHATESTENABLE, 0, 0, kAnyValue},
    {D3DRENDERSTATE_LASTPIXEL, 1, 0, kAnyValue},
    {D3DRENDERSTATE_SRCBLEND, D3DBLEND_ONE, D3DBLEND_ZERO, D3DBLEND_BOTHINVSRCALPHA},
    {D3DRENDERSTATE_DESTBLEND, D3DBLEND_ZERO, D3DBLEND_ZERO, D3DBLEND_BOTHINVSRCALPHA},
    {D3DRENDERSTATE_CULLMODE, D3DCULL_CCW, D3DCULL_NONE, D3DCULL_CCW},
    {D3DRENDERSTATE_ZFUNC, D3DCMP_LESSEQUAL, D3DCMP_NEVER, D3DCMP_ALWAYS},
    {D3DRENDERSTATE_ALPHAREF, 0, 0, kAnyValue},
    {D3DRENDERSTATE_ALPHAFUNC, D3DCMP_ALWAYS, D3DCMP_NEVER, D3DCMP_ALWAYS},
    {D3DRENDERSTATE_DITHERENABLE, 0, 0, kAnyValue},
    {D3DRENDERSTATE_ALPHABLENDENABLE, 0, 0, kAnyValue},
    {D3DRENDERSTATE_FOGENABLE, 0, 0, kAnyValue},
    {D3DRENDERSTATE_SPECULARENABLE, 0, 0, kAnyValue},
    {D3DRENDERSTATE_ZVISIBLE, 0, 0, kAnyValue},
    {D3DRENDERSTATE_STIPPLEDALPHA, 0, 0, kAnyValue},
    {D3DRENDERSTATE_FOGCOLOR, 0, 0, kAnyValue},
    {D3DRENDERSTATE_FOGTABLEMODE, D3DFOG_NONE, D3DFOG_NONE, D3DFOG_LINEAR},
    {D3DRENDERSTATE_FOGSTART, FloatBits(0.0f), 0, kAnyValue},
    {D3DRENDERSTATE_FOGEND, FloatBits(1.0f), 0, kAnyValue},
    {D3DRENDERSTATE_FOGDENSITY, FloatBits(1.0f), 0, kAnyValue},
    {D3DRENDERSTATE_EDGEANTIALIAS, 0, 0, kAnyValue},
    {D3DRENDERSTATE_COLORKEYENABLE, 0, 0, kAnyValue},
    {D3DRENDERSTATE_ZBIAS, 0, 0, 16},
    {D3DRENDERSTATE_RANGEFOGENABLE, 0, 0, kAnyValue},
    {D3DRENDERSTATE_STENCILENABLE, 0, 0, kAnyValue},
    {D3DRENDERSTATE_STENCILFAIL, D3DSTENCILOP_KEEP, D3DSTENCILOP_KEEP, D3DSTENCILOP_DECR},
    {D3DRENDERSTATE_STENCILZFAIL, D3DSTENCILOP_KEEP, D3DSTENCILOP_KEEP, D3DSTENCILOP_DECR},
    {D3DRENDERSTATE_STENCILPASS, D3DSTENCILOP_KEEP, D3DSTENCILOP_KEEP, D3DSTENCILOP_DECR},
    {D3DRENDERSTATE_STENCILFUNC, D3DCMP_ALWAYS, D3DCMP_NEVER, D3DCMP_ALWAYS},
    {D3DRENDERSTATE_STENCILREF, 0, 0, kAnyValue},
    {D3DRENDERSTATE_STENCILMASK, 0xFFFFFFFFu, 0, kAnyValue},
    {D3DRENDERSTATE_STENCILWRITEMASK, 0xFFFFFFFFu, 0, kAnyValue},
    {D3DRENDERSTATE_TEXTUREFACTOR, 0xFFFFFFFFu, 0, kAnyValue},
    {D3DRENDERSTATE_WRAP0 + 0, 0, 0, 15},
    {D3DRENDERSTATE_WRAP0 + 1, 0, 0, 15},
    {D3DRENDERSTATE_WRAP0 + 2, 0, 0, 15},
    {D3DRENDERSTATE_WRAP0 + 3, 0, 0, 15},
    {D3DRENDERSTATE_WRAP0 + 4, 0, 0, 15},
    {D3DRENDERSTATE_WRAP0 + 5, 0, 0, 15},
    {D3DRENDERSTATE_WRAP0 + 6, 0, 0, 15},
    {D3DRENDERSTATE_WRAP0 + 7, 0, 0, 15},
    {D3DRENDERSTATE_CLIPPING, 1, 0, kAnyValue},
    {D3DRENDERSTATE_LIGHTING, 1, 0, kAnyValue},
    {D3DRENDERSTATE_EXTENTS, 0, 0, kAnyValue},
    {D3DRENDERSTATE_AMBIENT, 0, 0, kAnyValue},
    {D3DRENDERSTATE_FOGVERTEXMODE, D3DFOG_NONE, D3DFOG_NONE, D3DFOG_LINEAR},
    {D3DRENDERSTATE_COLORVERTEX, 1, 0, kAnyValue},
    {D3DRENDERSTATE_LOCALVIEWER, 1, 0, kAnyValue},
    {D3DRENDERSTATE_NORMALIZENORMALS, 0, 0, kAnyValue},
    {D3DRENDERSTATE_COLORKEYBLENDENABLE, 0, 0, kAnyValue},
    {D3DRENDERSTATE_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1, D3DMCS_MATERIAL, D3DMCS_COLOR2},
    {D3DRENDERSTATE_SPECULARMATERIALSOURCE, D3DMCS_COLOR2, D3DMCS_MATERIAL, D3DMCS_COLOR2},
    {D3DRENDERSTATE_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL, D3DMCS_MATERIAL, D3DMCS_COLOR2},
    {D3DRENDERSTATE_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL, D3DMCS_MATERIAL, D3DMCS_COLOR2},
    {D3DRENDERSTATE_VERTEXBLEND, D3DVBLEND_DISABLE, D3DVBLEND_DISABLE, D3DVBLEND_3WEIGHTS},
    {D3DRENDERSTATE_CLIPPLANEENABLE, 0, 0, kAnyValue},
};

constexpr DWORD kTextureArgument = 0xFFFFFFFEu;  // as `high`: a texture argument (D3DTA_*)

// Stage 0 differs from the others in its operations and coordinate set (set per stage below).
constexpr StateRule kStageStateRules[] = {
    {D3DTSS_COLOROP, D3DTOP_DISABLE, D3DTOP_DISABLE, D3DTOP_DOTPRODUCT3},
    {D3DTSS_COLORARG1, D3DTA_TEXTURE, 0, kTextureArgument},
    {D3DTSS_COLORARG2, D3DTA_CURRENT, 0, kTextureArgument},
    {D3DTSS_ALPHAOP, D3DTOP_DISABLE, D3DTOP_DISABLE, D3DTOP_DOTPRODUCT3},
    {D3DTSS_ALPHAARG1, D3DTA_TEXTURE, 0, kTextureArgument},
    {D3DTSS_ALPHAARG2, D3DTA_CURRENT, 0, kTextureArgument},
    {D3DTSS_BUMPENVMAT00, 0, 0, kAnyValue},
    {D3DTSS_BUMPENVMAT01, 0, 0, kAnyValue},
    {D3DTSS_BUMPENVMAT10, 0, 0, kAnyValue},
    {D3DTSS_BUMPENVMAT11, 0, 0, kAnyValue},
    {D3DTSS_TEXCOORDINDEX, 0, 0, kAnyValue},
    {D3DTSS_ADDRESS, D3DTADDRESS_WRAP, D3DTADDRESS_WRAP, D3DTADDRESS_BORDER},
    {D3DTSS_ADDRESSU, D3DTADDRESS_WRAP, D3DTADDRESS_WRAP, D3DTADDRESS_BORDER},
    {D3DTSS_ADDRESSV, D3DTADDRESS_WRAP, D3DTADDRESS_WRAP, D3DTADDRESS_BORDER},
    {D3DTSS_BORDERCOLOR, 0, 0, kAnyValue},
    {D3DTSS_MAGFILTER, D3DTFG_POINT, D3DTFG_POINT, D3DTFG_ANISOTROPIC},
    {D3DTSS_MINFILTER, D3DTFN_POINT, D3DTFN_POINT, D3DTFN_ANISOTROPIC},
    {D3DTSS_MIPFILTER, D3DTFP_NONE, D3DTFP_NONE, D3DTFP_LINEAR},
    {D3DTSS_MIPMAPLODBIAS, FloatBits(0.0f), 0, kAnyValue},
    {D3DTSS_MAXMIPLEVEL, 0, 0, kAnyValue},
    {D3DTSS_MAXANISOTROPY, 1, 0, kAnyValue},
    {D3DTSS_BUMPENVLSCALE, FloatBits(0.0f), 0, kAnyValue},
    {D3DTSS_BUMPENVLOFFSET, FloatBits(0.0f), 0, kAnyValue},
    {D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE, 0, kAnyValue},
};

const StateRule* FindRule(const StateRule* begin, const StateRule* end, DWORD state) {
  const StateRule* rule = std::find_if(begin, end, [state](const StateRule& r) { return r.state == state; });
  return rule == end ? nullptr : rule;
}

const StateRule* RenderStateRule(DWORD state) {
  return FindRule(std::begin(kRenderStateRules), std::end(kRenderStateRules), state);
}

const StateRule* StageStateRule(DWORD state) {
  return FindRule(std::begin(kStageStateRules), std::end(kStageStateRules), state);
}

bool ValueAllowed(const StateRule& rule, DWORD value) {
  if (rule.high == kAnyValue) return true;
  if (rule.high == kTextureArgument) {
    return (value & ~(D3DTA_SELECTMASK | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE)) == 0 &&
           (value & D3DTA_SELECTMASK) <= D3DTA_SPECULAR;
  }
  return value >= rule.low && value <= rule.high;
}

constexpr D3DMATRIX kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

bool TransformKnown(DWORD type) {
  return (type >= D3DTRANSFORMSTATE_WORLD && type <= D3DTRANSFORMSTATE_WORLD3) ||
         (type >= D3DTRANSFORMSTATE_TEXTURE0 && type <= D3DTRANSFORMSTATE_TEXTURE7);
}

// ---- light checks -----------------------------------------------------------------------------

bool Finite(const D3DVECTOR& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
bool Zero(const D3DVECTOR& v) { return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f; }

// The checks of the real device: a known type; a point or spot light has a range within
// D3DLIGHT_RANGE_MAX and attenuations that are not negative and not all zero (an infinite
// light); a spot light's cones satisfy 0 <= theta <= phi <= pi; a spot or directional light
// points somewhere. Infinite attenuation is allowed: such a light simply lights nothing.
HRESULT ValidateLight(const D3DLIGHT7& light) {
  if (light.dltType != D3DLIGHT_POINT && light.dltType != D3DLIGHT_SPOT && light.dltType != D3DLIGHT_DIRECTIONAL) {
    return D3DERR_INVALIDCALL;
  }
  const bool positional = light.dltType != D3DLIGHT_DIRECTIONAL;
  const bool aimed = light.dltType != D3DLIGHT_POINT;
  if (positional) {
    if (!Finite(light.dvPosition)) return D3DERR_INVALIDCALL;
    if (!(light.dvRange >= 0.0f && light.dvRange <= D3DLIGHT_RANGE_MAX)) return D3DERR_INVALIDCALL;
    const float a0 = light.dvAttenuation0, a1 = light.dvAttenuation1, a2 = light.dvAttenuation2;
    if (!(a0 >= 0.0f && a1 >= 0.0f && a2 >= 0.0f)) return D3DERR_INVALIDCALL;  // also rejects NaN
    if (a0 == 0.0f && a1 == 0.0f && a2 == 0.0f) return D3DERR_INVALIDCALL;
  }
  if (aimed && (!Finite(light.dvDirection) || Zero(light.dvDirection))) return D3DERR_INVALIDCALL;
  if (light.dltType == D3DLIGHT_SPOT) {
    constexpr float kPi = std::numbers::pi_v<float>;
    if (!(light.dvPhi >= 0.0f && light.dvPhi <= kPi)) return D3DERR_INVALIDCALL;
    if (!(light.dvTheta >= 0.0f && light.dvTheta <= light.dvPhi)) return D3DERR_INVALIDCALL;
    if (std::isnan(light.dvFalloff)) return D3DERR_INVALIDCALL;
  }
  return D3D_OK;
}

D3DLIGHT7 DefaultLight() {
  D3DLIGHT7 light{};
  light.dltType = D3DLIGHT_DIRECTIONAL;
  light.dcvDiffuse = {1.0f, 1.0f, 1.0f, 0.0f};
  light.dvDirection = {0.0f, 0.0f, 1.0f};
  return light;
}

// ---- pixels -----------------------------------------------------------------------------------

// The bits of a depth-buffer pixel that hold the depth: its mask, or all bits of its depth.
DWORD DepthBits(const DDPIXELFORMAT& format) {
  if (!(format.dwFlags & DDPF_ZBUFFER)) return 0;
  if (format.dwZBitMask) return format.dwZBitMask;
  const DWORD bits = format.dwZBufferBitDepth;
  return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
}

// The bits a depth clear writes into each pixel of the format (the others are kept); false when
// the format holds no depth.
bool DepthClearValue(const DDPIXELFORMAT& format, DWORD flags, D3DVALUE z, DWORD stencil, DWORD* value, DWORD* keep) {
  const DWORD depthMask = DepthBits(format);
  if (depthMask == 0) return false;
  *keep = 0xFFFFFFFFu;
  *value = 0;
  if (flags & D3DCLEAR_ZBUFFER) {
    const int shift = std::countr_zero(depthMask);
    const double levels = static_cast<double>(depthMask >> shift);
    *value |= static_cast<DWORD>(static_cast<uint64_t>(static_cast<double>(z) * levels + 0.5) << shift) & depthMask;
    *keep &= ~depthMask;
  }
  if ((flags & D3DCLEAR_STENCIL) && format.dwStencilBitMask) {
    const int shift = std::countr_zero(format.dwStencilBitMask);
    *value |= static_cast<DWORD>(uint64_t{stencil} << shift) & format.dwStencilBitMask;
    *keep &= ~format.dwStencilBitMask;
  }
  return true;
}

// The part of `area` inside the surface; empty when nothing is.
D3DRECT ClipToSize(const D3DRECT& area, DWORD width, DWORD height) {
  D3DRECT r = area;
  r.x1 = std::max<LONG>(r.x1, 0);
  r.y1 = std::max<LONG>(r.y1, 0);
  r.x2 = static_cast<LONG>(std::min<int64_t>(r.x2, width));
  r.y2 = static_cast<LONG>(std::min<int64_t>(r.y2, height));
  return r;
}

bool Empty(const D3DRECT& r) { return r.x2 <= r.x1 || r.y2 <= r.y1; }

// Vertices a primitive of the type needs at least, and whether `count` of them draw anything.
bool DrawsSomething(D3DPRIMITIVETYPE type, DWORD count) {
  switch (type) {
    case D3DPT_POINTLIST: return count >= 1;
    case D3DPT_LINELIST:
    case D3DPT_LINESTRIP: return count >= 2;
    default: return count >= 3;
  }
}

}  // namespace

// ---- matrices ---------------------------------------------------------------------------------------

D3DMATRIX MatrixProduct(const D3DMATRIX& a, const D3DMATRIX& b) {
  const float* pa = &a._11;
  const float* pb = &b._11;
  D3DMATRIX result{};
  float* pr = &result._11;
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 4; ++column) {
      float sum = 0.0f;
      for (int k = 0; k < 4; ++k) sum += pa[row * 4 + k] * pb[k * 4 + column];
      pr[row * 4 + column] = sum;
    }
  }
  return result;
}

// ---- life ---------------------------------------------------------------------------------------

Direct3DDevice::Direct3DDevice(const D3DDEVICEDESC7& caps, std::vector<DDPIXELFORMAT> textureFormats,
                               DirectDrawSurface* target)
    : caps_(caps), textureFormats_(std::move(textureFormats)), target_(target) {
  for (const StateRule& rule : kRenderStateRules) renderStates_[rule.state] = rule.defaultValue;
  if (target->AttachedZBuffer()) renderStates_[D3DRENDERSTATE_ZENABLE] = D3DZB_TRUE;
  for (DWORD stage = 0; stage < kMaxTextureStages; ++stage) {
    for (const StateRule& rule : kStageStateRules) stageStates_[stage][rule.state] = rule.defaultValue;
    stageStates_[stage][D3DTSS_TEXCOORDINDEX] = stage;
  }
  stageStates_[0][D3DTSS_COLOROP] = D3DTOP_MODULATE;
  stageStates_[0][D3DTSS_ALPHAOP] = D3DTOP_SELECTARG1;
  transforms_.fill(kIdentity);
  viewport_ = {0, 0, target->Width(), target->Height(), 0.0f, 1.0f};
}

Direct3DDevice::~Direct3DDevice() { Flush(); }

DWORD Direct3DDevice::AddRef() { return ++references_; }

DWORD Direct3DDevice::Release() {
  const DWORD left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT Direct3DDevice::GetCaps(D3DDEVICEDESC7* desc) const {
  if (!desc) return D3DERR_INVALIDCALL;
  *desc = caps_;
  return D3D_OK;
}

HRESULT Direct3DDevice::EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK callback, void* context) {
  if (!callback) return D3DERR_INVALIDCALL;
  if (CurrentDirect3DFaults().failEnumTextureFormats) return DDERR_GENERIC;
  for (const DDPIXELFORMAT& format : textureFormats_) {
    DDPIXELFORMAT copy = format;
    if (callback(&copy, context) == D3DENUMRET_CANCEL) break;
  }
  return D3D_OK;
}

// ---- scenes and clears --------------------------------------------------------------------------

HRESULT Direct3DDevice::BeginScene() {
  if (inScene_) return D3DERR_SCENE_IN_SCENE;
  Direct3DFaults& faults = CurrentDirect3DFaults();
  if (faults.beginSceneFailures > 0) {
    --faults.beginSceneFailures;
    return faults.beginSceneFailure;
  }
  if (target_.get()->Lost()) return DDERR_SURFACELOST;
  inScene_ = true;
  DropUnusedTextures();
  return D3D_OK;
}

HRESULT Direct3DDevice::EndScene() {
  if (!inScene_) return D3DERR_SCENE_NOT_IN_SCENE;
  inScene_ = false;
  Flush();
  // A fill that faulted on a pool thread left the scene unfinished.
  if (renderer_.TakeFault()) return D3DERR_SCENE_END_FAILED;
  return D3D_OK;
}

HRESULT Direct3DDevice::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, D3DVALUE z,
                              DWORD stencil) {
  constexpr DWORD kKnown = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL;
  if (flags == 0 || (flags & ~kKnown) != 0) return D3DERR_INVALIDCALL;
  if (count > 0 && !rects) return D3DERR_INVALIDCALL;
  DirectDrawSurface* depth = target_.get()->AttachedZBuffer();
  if (flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) {
    if (!depth) return D3DERR_ZBUFFER_NOTPRESENT;
    if ((flags & D3DCLEAR_STENCIL) && depth->PixelFormat().dwStencilBitMask == 0) {
      return D3DERR_STENCILBUFFER_NOTPRESENT;
    }
    if ((flags & D3DCLEAR_ZBUFFER) && !(z >= 0.0f && z <= 1.0f)) return D3DERR_INVALIDCALL;
  }
  if (target_.get()->Lost() || ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && depth->Lost())) {
    return DDERR_SURFACELOST;
  }

  const D3DRECT whole = {static_cast<LONG>(viewport_.dwX), static_cast<LONG>(viewport_.dwY),
                         static_cast<LONG>(viewport_.dwX + viewport_.dwWidth),
                         static_cast<LONG>(viewport_.dwY + viewport_.dwHeight)};
  const bool depthClear = (flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) != 0;
  DWORD depthValue = 0, depthKeep = 0xFFFFFFFFu;
  if (depthClear && !DepthClearValue(depth->PixelFormat(), flags, z, stencil, &depthValue, &depthKeep)) {
    return DDERR_INVALIDPIXELFORMAT;
  }
  // Inside a scene the clear joins the queued primitives and is done tile by tile with them.
  const bool queued = inScene_ && QueueClears();
  if (!queued) Flush();
  const DWORD areas = count == 0 ? 1 : count;
  for (DWORD i = 0; i < areas; ++i) {
    D3DRECT area = count == 0 ? whole : rects[i];
    area = {std::max(area.x1, whole.x1), std::max(area.y1, whole.y1), std::min(area.x2, whole.x2),
            std::min(area.y2, whole.y2)};
    if (Empty(area)) continue;
    if (queued) {
      const FormatInfo format = DescribeFormat(target_.get()->PixelFormat());
      renderer_.Clear({area.x1, area.y1, area.x2 - area.x1, area.y2 - area.y1, 0, 1}, (flags & D3DCLEAR_TARGET) != 0,
                      ArgbToPixel(format, color), depthClear, depthValue, depthKeep);
      continue;
    }
    if (flags & D3DCLEAR_TARGET) {
      if (HRESULT hr = ClearTarget(area, color); hr != D3D_OK) return hr;
    }
    if (depthClear) {
      if (HRESULT hr = ClearDepth(depth, area, depthValue, depthKeep); hr != D3D_OK) return hr;
    }
  }
  return D3D_OK;
}

// Whether clears can be queued: the renderer draws into the target and its depth buffer as they are.
bool Direct3DDevice::QueueClears() {
  if (!BindBuffers()) return false;
  DirectDrawSurface* depth = target_.get()->AttachedZBuffer();
  return !depth || (boundDepth_ && boundDepth_ == depth->Pixels().bits);
}

namespace {

// Sets the pixels [x1, x2) of a row of `bytes` bytes each to (old & keep) | value.
void FillPixels(uint8_t* row, LONG x1, LONG x2, DWORD bytes, uint32_t value, uint32_t keep) {
  const auto fill = [&](auto type) {
    using T = decltype(type);
    if (reinterpret_cast<uintptr_t>(row) % alignof(T) != 0) return false;
    T* at = reinterpret_cast<T*>(row) + x1;
    T* const end = reinterpret_cast<T*>(row) + x2;
    if (keep == 0) {
      std::fill(at, end, static_cast<T>(value));
    } else {
      for (; at != end; ++at) *at = static_cast<T>((*at & keep) | value);
    }
    return true;
  };
  if (bytes == 4 && fill(uint32_t{})) return;
  if (bytes == 2 && fill(uint16_t{})) return;
  for (LONG x = x1; x < x2; ++x) {
    uint8_t* at = row + size_t(x) * bytes;
    StorePixel(at, bytes, keep ? (LoadPixel(at, bytes) & keep) | value : value);
  }
}

}  // namespace

HRESULT Direct3DDevice::ClearTarget(const D3DRECT& area, D3DCOLOR color) {
  DirectDrawSurface* target = target_.get();
  const FormatInfo format = DescribeFormat(target->PixelFormat());
  if (format.kind != PixelKind::Rgb) return DDERR_INVALIDPIXELFORMAT;
  const uint32_t value = ArgbToPixel(format, color);
  const SurfacePixels pixels = target->Pixels();
  if (!pixels.bits) return DDERR_GENERIC;
  const D3DRECT r = ClipToSize(area, pixels.width, pixels.height);
  if (Empty(r)) return D3D_OK;
  for (LONG y = r.y1; y < r.y2; ++y) {
    FillPixels(pixels.bits + static_cast<ptrdiff_t>(y) * pixels.pitch, r.x1, r.x2, pixels.bytesPerPixel, value, 0);
  }
  target->ContentChanged();
  return D3D_OK;
}

HRESULT Direct3DDevice::ClearDepth(DirectDrawSurface* depth, const D3DRECT& area, DWORD value, DWORD keep) {
  const SurfacePixels pixels = depth->Pixels();
  if (!pixels.bits || pixels.bytesPerPixel == 0) return DDERR_GENERIC;
  const D3DRECT r = ClipToSize(area, pixels.width, pixels.height);
  if (Empty(r)) return D3D_OK;
  for (LONG y = r.y1; y < r.y2; ++y) {
    FillPixels(pixels.bits + static_cast<ptrdiff_t>(y) * pixels.pitch, r.x1, r.x2, pixels.bytesPerPixel, value, keep);
  }
  depth->ContentChanged();
  return D3D_OK;
}

// ---- viewport and transforms --------------------------------------------------------------------

HRESULT Direct3DDevice::SetViewport(const D3DVIEWPORT7* viewport) {
  if (!viewport) return D3DERR_INVALIDCALL;
  if (CurrentDirect3DFaults().failSetViewport) return DDERR_GENERIC;
  const DirectDrawSurface* target = target_.get();
  if (viewport->dwWidth == 0 || viewport->dwHeight == 0) return D3DERR_INVALIDCALL;
  if (uint64_t{viewport->dwX} + viewport->dwWidth > target->Width() ||
      uint64_t{viewport->dwY} + viewport->dwHeight > target->Height()) {
    return D3DERR_INVALIDCALL;
  }
  const auto unit = [](float v) { return v >= 0.0f && v <= 1.0f; };
  if (!unit(viewport->dvMinZ) || !unit(viewport->dvMaxZ)) return D3DERR_INVALIDCALL;
  viewport_ = *viewport;
  return D3D_OK;
}

HRESULT Direct3DDevice::GetViewport(D3DVIEWPORT7* viewport) const {
  if (!viewport) return D3DERR_INVALIDCALL;
  *viewport = viewport_;
  return D3D_OK;
}

HRESULT Direct3DDevice::SetTransform(D3DTRANSFORMSTATETYPE type, const D3DMATRIX* matrix) {
  if (!matrix || !TransformKnown(type)) return D3DERR_INVALIDCALL;
  transforms_[type] = *matrix;
  // Each draw takes the world matrix itself; the others reach the shared vertex state.
  if (type != D3DTRANSFORMSTATE_WORLD) vertexStateDirty_ = true;
  return D3D_OK;
}

HRESULT Direct3DDevice::GetTransform(D3DTRANSFORMSTATETYPE type, D3DMATRIX* matrix) const {
  if (!matrix || !TransformKnown(type)) return D3DERR_INVALIDCALL;
  *matrix = transforms_[type];
  return D3D_OK;
}

HRESULT Direct3DDevice::MultiplyTransform(D3DTRANSFORMSTATETYPE type, const D3DMATRIX* matrix) {
  if (!matrix || !TransformKnown(type)) return D3DERR_INVALIDCALL;
  transforms_[type] = MatrixProduct(*matrix, transforms_[type]);
  if (type != D3DTRANSFORMSTATE_WORLD) vertexStateDirty_ = true;
  return D3D_OK;
}

// ---- states -------------------------------------------------------------------------------------

HRESULT Direct3DDevice::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  const StateRule* rule = RenderStateRule(state);
  if (!rule || !ValueAllowed(*rule, value)) return D3DERR_INVALIDCALL;
  if (renderStates_[state] != value) pixelStateDirty_ = vertexStateDirty_ = true;
  renderStates_[state] = value;
  return D3D_OK;
}

HRESULT Direct3DDevice::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) const {
  if (!value || !RenderStateRule(state)) return D3DERR_INVALIDCALL;
  *value = renderStates_[state];
  return D3D_OK;
}

HRESULT Direct3DDevice::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value) {
  const StateRule* rule = StageStateRule(state);
  if (stage >= kMaxTextureStages || !rule || !ValueAllowed(*rule, value)) return D3DERR_INVALIDCALL;
  if (stageStates_[stage][state] != value) pixelStateDirty_ = vertexStateDirty_ = true;
  stageStates_[stage][state] = value;
  // The combined address mode sets both directions.
  if (state == D3DTSS_ADDRESS) {
    stageStates_[stage][D3DTSS_ADDRESSU] = value;
    stageStates_[stage][D3DTSS_ADDRESSV] = value;
  }
  return D3D_OK;
}

HRESULT Direct3DDevice::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD* value) const {
  if (!value || stage >= kMaxTextureStages || !StageStateRule(state)) return D3DERR_INVALIDCALL;
  *value = stageStates_[stage][state];
  return D3D_OK;
}

HRESULT Direct3DDevice::SetTexture(DWORD stage, DirectDrawSurface* texture) {
  if (stage >= kMaxTextureStages) return D3DERR_INVALIDCALL;
  if (textures_[stage].get() != texture) pixelStateDirty_ = true;
  textures_[stage] = SurfaceRef(texture);
  return D3D_OK;
}

HRESULT Direct3DDevice::GetTexture(DWORD stage, DirectDrawSurface** texture) const {
  if (!texture || stage >= kMaxTextureStages) return D3DERR_INVALIDCALL;
  *texture = textures_[stage].get();
  if (*texture) (*texture)->AddRef();
  return D3D_OK;
}

HRESULT Direct3DDevice::PreLoad(DirectDrawSurface* texture) {
  if (!texture) return D3DERR_INVALIDCALL;
  return texture->Lost() ? DDERR_SURFACELOST : D3D_OK;
}

// ---- lights and material ------------------------------------------------------------------------

HRESULT Direct3DDevice::SetLight(DWORD index, const D3DLIGHT7* light) {
  if (!light) return D3DERR_INVALIDCALL;
  if (HRESULT hr = ValidateLight(*light); hr != D3D_OK) return hr;
  if (CurrentDirect3DFaults().failSetLight) return D3DERR_LIGHT_SET_FAILED;
  auto [slot, added] = lights_.try_emplace(index, LightSlot{*light, false});
  if (!added) slot->second.light = *light;
  vertexStateDirty_ = true;
  return D3D_OK;
}

HRESULT Direct3DDevice::GetLight(DWORD index, D3DLIGHT7* light) const {
  if (!light) return D3DERR_INVALIDCALL;
  const auto slot = lights_.find(index);
  if (slot == lights_.end()) return D3DERR_INVALIDCALL;
  *light = slot->second.light;
  return D3D_OK;
}

HRESULT Direct3DDevice::LightEnable(DWORD index, BOOL enable) {
  if (CurrentDirect3DFaults().failLightEnable) return D3DERR_LIGHT_SET_FAILED;
  auto slot = lights_.try_emplace(index, LightSlot{DefaultLight(), false}).first;
  slot->second.enabled = enable != 0;
  vertexStateDirty_ = true;
  return D3D_OK;
}

HRESULT Direct3DDevice::GetLightEnable(DWORD index, BOOL* enable) const {
  if (!enable) return D3DERR_INVALIDCALL;
  const auto slot = lights_.find(index);
  if (slot == lights_.end()) return D3DERR_INVALIDCALL;
  *enable = slot->second.enabled ? 1 : 0;
  return D3D_OK;
}

HRESULT Direct3DDevice::SetMaterial(const D3DMATERIAL7* material) {
  if (!material) return D3DERR_INVALIDCALL;
  if (CurrentDirect3DFaults().failSetMaterial) return DDERR_GENERIC;
  material_ = *material;
  vertexStateDirty_ = true;
  return D3D_OK;
}

HRESULT Direct3DDevice::GetMaterial(D3DMATERIAL7* material) const {
  if (!material) return D3DERR_INVALIDCALL;
  *material = material_;
  return D3D_OK;
}

// ---- drawing ------------------------------------------------------------------------------------

HRESULT Direct3DDevice::CheckDrawable(D3DPRIMITIVETYPE type, DWORD flags) const {
  if (type < D3DPT_POINTLIST || type > D3DPT_TRIANGLEFAN) return D3DERR_INVALIDPRIMITIVETYPE;
  constexpr DWORD kKnownFlags = D3DDP_WAIT | D3DDP_DONOTCLIP | D3DDP_DONOTUPDATEEXTENTS | D3DDP_DONOTLIGHT;
  if (flags & ~kKnownFlags) return D3DERR_INVALIDCALL;
  if (!inScene_) return D3DERR_SCENE_NOT_IN_SCENE;
  if (target_.get()->Lost()) return DDERR_SURFACELOST;
  return D3D_OK;
}

HRESULT Direct3DDevice::DrawPrimitive(D3DPRIMITIVETYPE type, DWORD fvf, const void* vertices, DWORD vertexCount,
                                      DWORD flags) {
  if (HRESULT hr = CheckDrawable(type, flags); hr != D3D_OK) return hr;
  const DWORD size = FvfVertexSize(fvf);
  if (size == 0) return D3DERR_INVALIDVERTEXTYPE;
  if (vertexCount > D3DMAXNUMVERTICES || (vertexCount > 0 && !vertices)) return D3DERR_INVALIDCALL;
  if (!DrawsSomething(type, vertexCount)) return D3D_OK;
  Render(type, fvf, static_cast<const uint8_t*>(vertices), vertexCount, nullptr, 0, flags);
  return D3D_OK;
}

HRESULT Direct3DDevice::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, DWORD fvf, const void* vertices, DWORD vertexCount,
                                             const WORD* indices, DWORD indexCount, DWORD flags) {
  if (HRESULT hr = CheckDrawable(type, flags); hr != D3D_OK) return hr;
  const DWORD size = FvfVertexSize(fvf);
  if (size == 0) return D3DERR_INVALIDVERTEXTYPE;
  if (vertexCount > D3DMAXNUMVERTICES || (vertexCount > 0 && !vertices) || (indexCount > 0 && !indices)) {
    return D3DERR_INVALIDCALL;
  }
  // An index past the vertices would have the rasteriser read outside the caller's memory.
  if (indexCount > 0 && *std::max_element(indices, indices + indexCount) >= vertexCount) return D3DERR_INVALIDCALL;
  if (!DrawsSomething(type, indexCount)) return D3D_OK;
  Render(type, fvf, static_cast<const uint8_t*>(vertices), vertexCount, indices, indexCount, flags);
  return D3D_OK;
}

HRESULT Direct3DDevice::DrawPrimitiveVB(D3DPRIMITIVETYPE type, Direct3DVertexBuffer* buffer, DWORD startVertex,
                                        DWORD vertexCount, DWORD flags) {
  if (HRESULT hr = CheckDrawable(type, flags); hr != D3D_OK) return hr;
  if (!buffer) return D3DERR_INVALIDCALL;
  if (buffer->IsLocked()) return D3DERR_VERTEXBUFFERLOCKED;
  D3DVERTEXBUFFERDESC desc{sizeof(D3DVERTEXBUFFERDESC), 0, 0, 0};
  buffer->GetVertexBufferDesc(&desc);
  if (uint64_t{startVertex} + vertexCount > desc.dwNumVertices) return D3DERR_INVALIDCALL;
  if (!DrawsSomething(type, vertexCount)) return D3D_OK;
  const DWORD size = buffer->VertexSize();
  Render(type, desc.dwFVF, buffer->VertexData() + size_t{startVertex} * size, vertexCount, nullptr, 0, flags);
  return D3D_OK;
}

HRESULT Direct3DDevice::DrawIndexedPrimitiveVB(D3DPRIMITIVETYPE type, Direct3DVertexBuffer* buffer, DWORD startVertex,
                                               DWORD vertexCount, const WORD* indices, DWORD indexCount, DWORD flags) {
  if (HRESULT hr = CheckDrawable(type, flags); hr != D3D_OK) return hr;
  if (!buffer || (indexCount > 0 && !indices)) return D3DERR_INVALIDCALL;
  if (buffer->IsLocked()) return D3DERR_VERTEXBUFFERLOCKED;
  D3DVERTEXBUFFERDESC desc{sizeof(D3DVERTEXBUFFERDESC), 0, 0, 0};
  buffer->GetVertexBufferDesc(&desc);
  if (uint64_t{startVertex} + vertexCount > desc.dwNumVertices) return D3DERR_INVALIDCALL;
  if (indexCount > 0 && *std::max_element(indices, indices + indexCount) >= vertexCount) return D3DERR_INVALIDCALL;
  if (!DrawsSomething(type, indexCount)) return D3D_OK;
  const DWORD size = buffer->VertexSize();
  Render(type, desc.dwFVF, buffer->VertexData() + size_t{startVertex} * size, vertexCount, indices, indexCount, flags);
  return D3D_OK;
}

}  // namespace vx::win
