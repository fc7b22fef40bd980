// The DirectDraw object: driver enumeration and creation, the cooperative level, display modes,
// and the making of surfaces, clippers and palettes. Surfaces keep the state they share with it
// alive, so a surface released after its DirectDraw object is still safe to release.
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/ddraw/driver_state.h"

namespace vx::win {

using ddraw_detail::DisplayMode;
using ddraw_detail::DriverState;
using ddraw_detail::PixelMemory;

namespace {

// Larger surfaces are refused: no picture the system makes comes near, and a size read from a bad
// file must not take the machine's memory.
constexpr uint64_t kLargestSurfaceBytes = uint64_t{256} << 20;
constexpr DWORD kLargestSide = 16384;

constexpr GUID kNullGuid{};

constexpr DWORD kCooperativeOptions =
    DDSCL_ALLOWREBOOT | DDSCL_NOWINDOWCHANGES | DDSCL_MULTITHREADED | DDSCL_FPUSETUP | DDSCL_FPUPRESERVE;

DWORD PitchOf(const FormatInfo& format, DWORD width) {
  if (format.kind == PixelKind::Dxt) return std::max<DWORD>(1, (width + 3) / 4) * format.blockBytes;
  return (width * format.bytesPerPixel + 3) / 4 * 4;
}

uint64_t BytesOf(const FormatInfo& format, DWORD width, DWORD height) {
  if (format.kind == PixelKind::Dxt) return DxtSurfaceBytes(format.fourCC, width, height);
  return uint64_t{PitchOf(format, width)} * height;
}

DWORD FullMipCount(DWORD width, DWORD height) {
  DWORD levels = 1;
  while (width > 1 || height > 1) {
    width = std::max<DWORD>(1, width / 2);
    height = std::max<DWORD>(1, height / 2);
    ++levels;
  }
  return levels;
}

bool Matches(const DDSURFACEDESC2* filter, const DDSURFACEDESC2& mode) {
  if (!filter) return true;
  if ((filter->dwFlags & DDSD_WIDTH) && filter->dwWidth != mode.dwWidth) return false;
  if ((filter->dwFlags & DDSD_HEIGHT) && filter->dwHeight != mode.dwHeight) return false;
  if ((filter->dwFlags & DDSD_PIXELFORMAT) &&
      filter->ddpfPixelFormat.dwRGBBitCount != mode.ddpfPixelFormat.dwRGBBitCount) {
    return false;
  }
  if ((filter->dwFlags & DDSD_REFRESHRATE) && filter->dwRefreshRate != 0 &&
      filter->dwRefreshRate != mode.dwRefreshRate) {
    return false;
  }
  return true;
}

}  // namespace

DDPIXELFORMAT DisplayPixelFormat(DWORD bitsPerPixel) {
  DDPIXELFORMAT format{};
  format.dwSize = sizeof format;
  switch (bitsPerPixel) {
    case 8:
      format.dwFlags = DDPF_RGB | DDPF_PALETTEINDEXED8;
      format.dwRGBBitCount = 8;
      break;
    case 16:
      format.dwFlags = DDPF_RGB;
      format.dwRGBBitCount = 16;
      format.dwRBitMask = 0xF800;
      format.dwGBitMask = 0x07E0;
      format.dwBBitMask = 0x001F;
      break;
    case 24:
    case 32:
      format.dwFlags = DDPF_RGB;
      format.dwRGBBitCount = bitsPerPixel;
      format.dwRBitMask = 0x00FF0000;
      format.dwGBitMask = 0x0000FF00;
      format.dwBBitMask = 0x000000FF;
      break;
    default: break;
  }
  return format;
}

// --- Enumeration and creation ---------------------------------------------------------------------

HRESULT DirectDrawEnumerateA(LPDDENUMCALLBACKA callback, void* context) {
  if (!callback) return DDERR_INVALIDPARAMS;
  const std::vector<DisplayDriverInfo> drivers = ddraw_detail::Drivers();  // a callback may reconfigure
  for (const DisplayDriverInfo& driver : drivers) {
    GUID guid = driver.guid;
    std::string description = driver.description;
    std::string name = driver.name;
    const bool primary = guid == kNullGuid;
    if (!callback(primary ? nullptr : &guid, description.data(), name.data(), context)) break;
  }
  return DD_OK;
}

HRESULT DirectDrawCreateEx(const GUID* guid, DirectDraw** out, const GUID& iid, void* outer) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (!(iid == IID_IDirectDraw7) || outer) return DDERR_INVALIDPARAMS;
  if (const auto failure = ddraw_detail::DirectDrawCreationFailure()) return *failure;
  const GUID wanted = guid ? *guid : kNullGuid;
  const auto& drivers = ddraw_detail::Drivers();
  const auto driver = std::find_if(drivers.begin(), drivers.end(), [&](const auto& d) { return d.guid == wanted; });
  if (driver == drivers.end()) return DDERR_INVALIDDIRECTDRAWGUID;
  auto* directDraw = new DirectDraw();
  directDraw->display_->driver = *driver;
  *out = directDraw;
  return DD_OK;
}

DirectDraw::DirectDraw() : display_(std::make_shared<DriverState>()) {
  display_->owner = this;
  display_->gamma = ddraw_detail::IdentityRamp();
  ddraw_detail::Displays().push_back(display_.get());
}

DirectDraw::~DirectDraw() {
  ddraw_detail::EndPresentation(*display_);
  if (ddraw_detail::ExclusiveOwner() == display_.get()) {
    ddraw_detail::ExclusiveOwner() = nullptr;
    RestoreDisplayMode();
  }
  display_->owner = nullptr;
  std::erase(ddraw_detail::Displays(), display_.get());
}

DWORD DirectDraw::AddRef() { return ++refs_; }

DWORD DirectDraw::Release() {
  if (refs_ == 0) return 0;
  if (--refs_ > 0) return refs_;
  delete this;
  return 0;
}

const GUID& DirectDraw::DriverGuid() const { return display_->driver.guid; }
HWND DirectDraw::CooperativeWindow() const { return display_->window; }
bool DirectDraw::IsExclusive() const { return display_->Exclusive(); }

// --- Cooperative level and modes ------------------------------------------------------------------

HRESULT DirectDraw::SetCooperativeLevel(HWND window, DWORD flags) {
  const DWORD level = flags & ~kCooperativeOptions;
  const bool exclusive = level == (DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN);
  if (level != DDSCL_NORMAL && !exclusive) return DDERR_INVALIDPARAMS;
  if (exclusive && !window) return DDERR_INVALIDPARAMS;
  DriverState*& owner = ddraw_detail::ExclusiveOwner();
  if (exclusive && owner && owner != display_.get()) return DDERR_EXCLUSIVEMODEALREADYSET;
  if (!exclusive && owner == display_.get()) {
    owner = nullptr;
    RestoreDisplayMode();
  }
  if (exclusive) owner = display_.get();
  display_->window = window;
  display_->cooperativeFlags = flags;
  ddraw_detail::ApplyCooperativeWindow(*display_);
  return DD_OK;
}

HRESULT DirectDraw::GetCaps(DDCAPS* driverCaps, DDCAPS* emulationCaps) {
  if (!driverCaps && !emulationCaps) return DDERR_INVALIDPARAMS;
  for (DDCAPS* caps : {driverCaps, emulationCaps}) {
    if (caps && caps->dwSize != sizeof(DDCAPS)) return DDERR_INVALIDPARAMS;
  }
  const uint64_t total = display_->VideoTotal();
  const uint64_t free = total - std::min(total, display_->videoUsed);
  for (DDCAPS* caps : {driverCaps, emulationCaps}) {
    if (!caps) continue;
    std::memset(static_cast<void*>(caps), 0, sizeof *caps);
    caps->dwSize = sizeof *caps;
    caps->dwCaps = DDCAPS_3D | DDCAPS_BLT | DDCAPS_BLTSTRETCH | DDCAPS_COLORKEY | DDCAPS_BLTCOLORFILL;
    caps->dwCaps2 = DDCAPS2_PRIMARYGAMMA;
    caps->dwCKeyCaps = DDCKEYCAPS_SRCBLT | DDCKEYCAPS_DESTBLT;
    caps->dwPalCaps = DDPCAPS_8BIT | DDPCAPS_ALLOW256;
    caps->dwVidMemTotal = static_cast<DWORD>(std::min<uint64_t>(total, 0xFFFFFFFFu));
    caps->dwVidMemFree = static_cast<DWORD>(std::min<uint64_t>(free, 0xFFFFFFFFu));
    caps->ddsCaps.dwCaps = DDSCAPS_BACKBUFFER | DDSCAPS_COMPLEX | DDSCAPS_FLIP | DDSCAPS_FRONTBUFFER |
                           DDSCAPS_OFFSCREENPLAIN | DDSCAPS_PRIMARYSURFACE | DDSCAPS_SYSTEMMEMORY | DDSCAPS_TEXTURE |
                           DDSCAPS_3DDEVICE | DDSCAPS_VIDEOMEMORY | DDSCAPS_ZBUFFER | DDSCAPS_MIPMAP;
  }
  return DD_OK;
}

HRESULT DirectDraw::EnumDisplayModes(DWORD flags, const DDSURFACEDESC2* filter, void* context,
                                     LPDDENUMMODESCALLBACK2 callback) {
  if (!callback || (filter && filter->dwSize != sizeof(DDSURFACEDESC2))) return DDERR_INVALIDPARAMS;
  for (const DisplayModeInfo& mode : ddraw_detail::ModesOf(display_->driver)) {
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT | DDSD_REFRESHRATE;
    desc.dwWidth = mode.width;
    desc.dwHeight = mode.height;
    desc.ddpfPixelFormat = DisplayPixelFormat(mode.bitsPerPixel);
    desc.lPitch = static_cast<LONG>(PitchOf(DescribeFormat(desc.ddpfPixelFormat), mode.width));
    desc.dwRefreshRate = (flags & DDEDM_REFRESHRATES) ? 60 : 0;
    if (!Matches(filter, desc)) continue;
    if (callback(&desc, context) == DDENUMRET_CANCEL) break;
  }
  return DD_OK;
}

HRESULT DirectDraw::SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel, DWORD refreshRate, DWORD flags) {
  const auto modes = ddraw_detail::ModesOf(display_->driver);
  const DisplayModeInfo wanted{width, height, bitsPerPixel};
  if (std::find(modes.begin(), modes.end(), wanted) == modes.end() || (refreshRate != 0 && refreshRate != 60)) {
    return DDERR_INVALIDMODE;
  }
  const DisplayMode current = ddraw_detail::CurrentMode();
  if (!display_->Exclusive() && bitsPerPixel != current.bitsPerPixel) return DDERR_NOEXCLUSIVEMODE;
  if (current.width == width && current.height == height && current.bitsPerPixel == bitsPerPixel) return DD_OK;
  ddraw_detail::SetCurrentMode(DisplayMode{width, height, bitsPerPixel});
  LoseAllSurfaces();
  return DD_OK;
}

HRESULT DirectDraw::RestoreDisplayMode() {
  const DisplayMode current = ddraw_detail::CurrentMode();
  const DisplayMode desktop = ddraw_detail::DesktopMode();
  if (current.width == desktop.width && current.height == desktop.height &&
      current.bitsPerPixel == desktop.bitsPerPixel) {
    return DD_OK;
  }
  ddraw_detail::SetCurrentMode(desktop);
  LoseAllSurfaces();
  return DD_OK;
}

HRESULT DirectDraw::GetDisplayMode(DDSURFACEDESC2* mode) {
  if (!mode || mode->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
  const DisplayMode current = ddraw_detail::CurrentMode();
  std::memset(static_cast<void*>(mode), 0, sizeof *mode);
  mode->dwSize = sizeof *mode;
  mode->dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT | DDSD_REFRESHRATE;
  mode->dwWidth = current.width;
  mode->dwHeight = current.height;
  mode->ddpfPixelFormat = DisplayPixelFormat(current.bitsPerPixel);
  mode->lPitch = static_cast<LONG>(PitchOf(DescribeFormat(mode->ddpfPixelFormat), current.width));
  return DD_OK;
}

HRESULT DirectDraw::GetAvailableVidMem(const DDSCAPS2* caps, DWORD* total, DWORD* free) {
  if (!caps || (!total && !free)) return DDERR_INVALIDPARAMS;
  const uint64_t all = display_->VideoTotal();
  const uint64_t left = all - std::min(all, display_->videoUsed);
  if (total) *total = static_cast<DWORD>(std::min<uint64_t>(all, 0xFFFFFFFFu));
  if (free) *free = static_cast<DWORD>(std::min<uint64_t>(left, 0xFFFFFFFFu));
  return DD_OK;
}

HRESULT DirectDraw::RestoreAllSurfaces() {
  if (ddraw_detail::RestoreFails()) return DDERR_WRONGMODE;
  const std::vector<DirectDrawSurface*> surfaces = display_->surfaces;
  HRESULT result = DD_OK;
  for (DirectDrawSurface* surface : surfaces) {
    if (!surface->Lost()) continue;
    const HRESULT restored = surface->Restore();
    if (Failed(restored)) result = restored;
  }
  return result;
}

// --- Making objects -------------------------------------------------------------------------------

HRESULT DirectDraw::CreateClipper(DWORD flags, DirectDrawClipper** out, void* outer) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (outer || flags != 0) return DDERR_INVALIDPARAMS;
  *out = new DirectDrawClipper();
  return DD_OK;
}

HRESULT DirectDraw::CreatePalette(DWORD flags, const PALETTEENTRY* entries, DirectDrawPalette** out, void* outer) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (!entries || outer || !(flags & DDPCAPS_8BIT) || (flags & DDPCAPS_4BIT)) return DDERR_INVALIDPARAMS;
  auto* palette = new DirectDrawPalette();
  palette->caps_ = flags;
  std::copy_n(entries, 256, palette->entries_);
  *out = palette;
  return DD_OK;
}

namespace {

struct SurfacePlan {
  DWORD width = 0;
  DWORD height = 0;
  DWORD caps = 0;
  DWORD caps2 = 0;
  DDPIXELFORMAT format{};
  FormatInfo info;
  DWORD levels = 1;
  bool primary = false;
  bool managed = false;
  bool flipChain = false;
  bool video = false;
  bool desktopMemory = false;  // a windowed primary: the desktop's own memory, which the card keeps apart
  DWORD memoryCaps = 0;        // the memory caps every member gets
  uint64_t totalBytes = 0;
};

HRESULT PlanPrimary(const DDSURFACEDESC2& desc, const DriverState& display, const DisplayMode& mode,
                    SurfacePlan& plan) {
  if (display.cooperativeFlags == 0) return DDERR_NOCOOPERATIVELEVELSET;
  if (display.primary) return DDERR_PRIMARYSURFACEALREADYEXISTS;
  if ((desc.dwFlags & (DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT)) || (plan.caps & DDSCAPS_SYSTEMMEMORY)) {
    return DDERR_INVALIDPARAMS;
  }
  plan.flipChain = (plan.caps & DDSCAPS_FLIP) != 0;
  if (plan.flipChain) {
    if (!(plan.caps & DDSCAPS_COMPLEX) || !(desc.dwFlags & DDSD_BACKBUFFERCOUNT)) return DDERR_INVALIDCAPS;
    if (desc.dwBackBufferCount != 1) return DDERR_INVALIDPARAMS;  // one real two-buffer flip only
    if (!display.Exclusive()) return DDERR_NOEXCLUSIVEMODE;
  }
  // A window shares the desktop: its primary is the whole screen in the mode in force.
  const DisplayMode covered = display.Exclusive() ? mode : ddraw_detail::ScreenExtent();
  plan.width = covered.width;
  plan.height = covered.height;
  plan.format = DisplayPixelFormat(mode.bitsPerPixel);
  plan.video = true;
  return DD_OK;
}

HRESULT PlanOffscreen(const DDSURFACEDESC2& desc, const DisplayMode& mode, SurfacePlan& plan) {
  if (!(desc.dwFlags & DDSD_WIDTH) || !(desc.dwFlags & DDSD_HEIGHT) || desc.dwWidth == 0 || desc.dwHeight == 0) {
    return DDERR_INVALIDPARAMS;
  }
  if (plan.caps & (DDSCAPS_FLIP | DDSCAPS_BACKBUFFER | DDSCAPS_FRONTBUFFER)) return DDERR_INVALIDCAPS;
  plan.width = desc.dwWidth;
  plan.height = desc.dwHeight;
  plan.format = (desc.dwFlags & DDSD_PIXELFORMAT) ? desc.ddpfPixelFormat : DisplayPixelFormat(mode.bitsPerPixel);
  plan.format.dwSize = sizeof plan.format;
  plan.video = !plan.managed && !(plan.caps & DDSCAPS_SYSTEMMEMORY);
  return DD_OK;
}

HRESULT PlanFormatAndLevels(const DDSURFACEDESC2& desc, SurfacePlan& plan) {
  plan.info = DescribeFormat(plan.format);
  if (plan.info.kind == PixelKind::Invalid) return DDERR_INVALIDPIXELFORMAT;
  if (((plan.caps & DDSCAPS_ZBUFFER) != 0) != (plan.info.kind == PixelKind::Depth)) return DDERR_INVALIDPIXELFORMAT;
  if (plan.caps & DDSCAPS_MIPMAP) {
    if (!(plan.caps & DDSCAPS_TEXTURE)) return DDERR_INVALIDCAPS;
    const DWORD full = FullMipCount(plan.width, plan.height);
    plan.levels = (desc.dwFlags & DDSD_MIPMAPCOUNT) ? desc.dwMipMapCount : full;
    if (plan.levels == 0 || plan.levels > full) return DDERR_INVALIDPARAMS;
    if (plan.levels > 1 && !(plan.caps & DDSCAPS_COMPLEX)) return DDERR_INVALIDCAPS;
  }
  return DD_OK;
}

// The bytes of the whole structure, and the memory it goes to.
HRESULT PlanMemory(const DriverState& display, SurfacePlan& plan) {
  const bool explicitVideo = (plan.caps & DDSCAPS_VIDEOMEMORY) != 0;
  const HRESULT tooBig = explicitVideo || plan.primary ? DDERR_OUTOFVIDEOMEMORY : DDERR_OUTOFMEMORY;
  if (plan.width > kLargestSide || plan.height > kLargestSide) return tooBig;
  for (DWORD level = 0; level < plan.levels; ++level) {
    plan.totalBytes +=
        BytesOf(plan.info, std::max<DWORD>(1, plan.width >> level), std::max<DWORD>(1, plan.height >> level));
  }
  if (plan.flipChain) plan.totalBytes *= 2;
  if (plan.totalBytes > kLargestSurfaceBytes) return tooBig;
  plan.desktopMemory = plan.primary && !display.Exclusive();
  if (plan.video && !plan.desktopMemory) {
    const uint64_t room = display.VideoTotal() - std::min(display.VideoTotal(), display.videoUsed);
    if (plan.totalBytes > room) {
      if (explicitVideo || plan.primary) return DDERR_OUTOFVIDEOMEMORY;
      plan.video = false;  // DirectDraw places a surface that asked for no memory where it fits
    }
  }
  plan.memoryCaps = 0;  // a managed texture lives where the device puts it
  if (plan.video) {
    plan.memoryCaps = DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM;
  } else if (!plan.managed) {
    plan.memoryCaps = DDSCAPS_SYSTEMMEMORY;
  }
  return DD_OK;
}

// What the description asks for, checked, sized and placed in memory.
HRESULT PlanSurface(const DDSURFACEDESC2& desc, const DriverState& display, SurfacePlan& plan) {
  plan.caps = (desc.dwFlags & DDSD_CAPS) ? desc.ddsCaps.dwCaps : DDSCAPS_OFFSCREENPLAIN;
  plan.caps2 = (desc.dwFlags & DDSD_CAPS) ? desc.ddsCaps.dwCaps2 : 0;
  if ((plan.caps & DDSCAPS_SYSTEMMEMORY) && (plan.caps & DDSCAPS_VIDEOMEMORY)) return DDERR_INVALIDCAPS;
  if (const auto failure = ddraw_detail::TakeSurfaceCreationFailure(plan.caps)) return *failure;
  const DisplayMode mode = ddraw_detail::CurrentMode();
  plan.managed = (plan.caps2 & (DDSCAPS2_TEXTUREMANAGE | DDSCAPS2_D3DTEXTUREMANAGE)) != 0;
  plan.primary = (plan.caps & DDSCAPS_PRIMARYSURFACE) != 0;
  const HRESULT shaped = plan.primary ? PlanPrimary(desc, display, mode, plan) : PlanOffscreen(desc, mode, plan);
  if (Failed(shaped)) return shaped;
  ddraw_detail::ThrowIfCreationThrows(plan.width, plan.height);
  if (const HRESULT r = PlanFormatAndLevels(desc, plan); Failed(r)) return r;
  return PlanMemory(display, plan);
}

}  // namespace

HRESULT DirectDraw::CreateSurface(DDSURFACEDESC2* desc, DirectDrawSurface** out, void* outer) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (!desc || desc->dwSize != sizeof(DDSURFACEDESC2) || outer) return DDERR_INVALIDPARAMS;
  if (desc->dwFlags & DDSD_LPSURFACE) return DDERR_UNSUPPORTED;
  SurfacePlan plan;
  if (const HRESULT r = PlanSurface(*desc, *display_, plan); Failed(r)) return r;
  // The members of the structure, top first.
  std::vector<DirectDrawSurface*> members;
  const auto discard = [&] {
    for (DirectDrawSurface* member : members) {
      member->videoBytes_ = 0;  // not counted yet
      delete member;
    }
  };
  const DWORD count = plan.flipChain ? 2 : plan.levels;
  for (DWORD index = 0; index < count; ++index) {
    const DWORD width = plan.flipChain ? plan.width : std::max<DWORD>(1, plan.width >> index);
    const DWORD height = plan.flipChain ? plan.height : std::max<DWORD>(1, plan.height >> index);
    const uint64_t bytes = BytesOf(plan.info, width, height);
    auto memory = PixelMemory::Allocate(bytes);
    if (!memory) {
      discard();
      return DDERR_OUTOFMEMORY;
    }
    auto* surface = new DirectDrawSurface();
    members.push_back(surface);
    surface->display_ = display_;
    surface->width_ = width;
    surface->height_ = height;
    surface->format_ = plan.format;
    surface->pitch_ = static_cast<LONG>(PitchOf(plan.info, width));
    surface->memoryBytes_ = bytes;
    surface->memory_ = std::move(memory);
    surface->videoBytes_ = plan.video && !plan.desktopMemory ? bytes : 0;
    surface->caps_ =
        (plan.caps & ~(DDSCAPS_VIDEOMEMORY | DDSCAPS_SYSTEMMEMORY | DDSCAPS_LOCALVIDMEM)) | plan.memoryCaps;
    surface->caps2_ = plan.caps2;
    if (plan.primary) {
      surface->caps_ |= DDSCAPS_VISIBLE;
      if (plan.flipChain) surface->caps_ |= DDSCAPS_FRONTBUFFER;
    }
    if (index > 0) {
      surface->root_ = members.front();
      members[index - 1]->chainNext_ = surface;
      if (plan.flipChain) {
        surface->caps_ =
            DDSCAPS_BACKBUFFER | DDSCAPS_FLIP | DDSCAPS_COMPLEX | plan.memoryCaps | (plan.caps & DDSCAPS_3DDEVICE);
      } else {
        surface->caps_ = DDSCAPS_TEXTURE | DDSCAPS_MIPMAP | DDSCAPS_COMPLEX | plan.memoryCaps;
        surface->caps2_ = plan.caps2 | DDSCAPS2_MIPMAPSUBLEVEL;
      }
    }
    if (plan.caps & DDSCAPS_MIPMAP) surface->mipLevels_ = plan.levels - index;
    if (desc->dwFlags & DDSD_CKSRCBLT) surface->SetColorKey(DDCKEY_SRCBLT | DDCKEY_COLORSPACE, &desc->ddckCKSrcBlt);
    if (desc->dwFlags & DDSD_CKDESTBLT) surface->SetColorKey(DDCKEY_DESTBLT | DDCKEY_COLORSPACE, &desc->ddckCKDestBlt);
  }
  for (DirectDrawSurface* surface : members) {
    surface->listed_ = display_->surfaces.size();
    display_->surfaces.push_back(surface);
    display_->videoUsed += surface->videoBytes_;
  }
  DirectDrawSurface* top = members.front();
  if (plan.primary) {
    if (plan.flipChain) top->backBufferCount_ = 1;
    top->gammaControl_.reset(new DirectDrawGammaControl(top));
    display_->primary = top;
  }
  *out = top;
  return DD_OK;
}

}  // namespace vx::win
