// Surfaces: blits, locks, colour keys, flipping, lost surfaces, attachments, and the small
// objects that hang on a surface (clipper, palette, gamma control).
#include <algorithm>
#include <cstring>

#include "platform/ddraw/driver_state.h"
#include "platform/ddraw/presentation.h"

namespace vx::win {

using ddraw_detail::BlitRequest;
using ddraw_detail::BlitSurface;
using ddraw_detail::DriverState;

namespace {

SurfaceDcHooks gDcHooks;

constexpr DWORD kKnownBltFlags = DDBLT_ASYNC | DDBLT_COLORFILL | DDBLT_DDFX | DDBLT_KEYDEST | DDBLT_KEYDESTOVERRIDE |
                                 DDBLT_KEYSRC | DDBLT_KEYSRCOVERRIDE | DDBLT_ROP | DDBLT_WAIT | DDBLT_DEPTHFILL |
                                 DDBLT_DONOTWAIT;
constexpr DWORD kKnownBltFastFlags =
    DDBLTFAST_SRCCOLORKEY | DDBLTFAST_DESTCOLORKEY | DDBLTFAST_WAIT | DDBLTFAST_DONOTWAIT;

bool Inverted(const RECT& r) { return r.right < r.left || r.bottom < r.top; }
bool Empty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

bool Inside(const RECT& r, DWORD width, DWORD height) {
  return !Inverted(r) && r.left >= 0 && r.top >= 0 && static_cast<int64_t>(r.right) <= int64_t{width} &&
         static_cast<int64_t>(r.bottom) <= int64_t{height};
}

RECT Whole(DWORD width, DWORD height) { return RECT{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)}; }

RECT Intersection(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
  if (Empty(r)) r = RECT{0, 0, 0, 0};
  return r;
}

DDCOLORKEY Masked(const DDCOLORKEY& key, uint32_t mask) {
  return DDCOLORKEY{key.dwColorSpaceLowValue & mask, key.dwColorSpaceHighValue & mask};
}

}  // namespace

void SetSurfaceDcHooks(const SurfaceDcHooks& hooks) { gDcHooks = hooks; }

// --- Clipper and palette --------------------------------------------------------------------------

DWORD DirectDrawClipper::AddRef() { return ++refs_; }

DWORD DirectDrawClipper::Release() {
  if (refs_ == 0) return 0;
  if (--refs_ > 0) return refs_;
  delete this;
  return 0;
}

HRESULT DirectDrawClipper::SetHWnd(DWORD flags, HWND window) {
  if (flags != 0) return DDERR_INVALIDPARAMS;
  window_ = window;
  return DD_OK;
}

HRESULT DirectDrawClipper::GetHWnd(HWND* window) {
  if (!window) return DDERR_INVALIDPARAMS;
  *window = window_;
  return DD_OK;
}

DWORD DirectDrawPalette::AddRef() { return ++refs_; }

DWORD DirectDrawPalette::Release() {
  if (refs_ == 0) return 0;
  if (--refs_ > 0) return refs_;
  delete this;
  return 0;
}

HRESULT DirectDrawPalette::GetEntries(DWORD flags, DWORD base, DWORD count, PALETTEENTRY* entries) {
  if (!entries || uint64_t{base} + count > 256) return DDERR_INVALIDPARAMS;
  std::copy_n(entries_ + base, count, entries);
  return DD_OK;
}

HRESULT DirectDrawPalette::SetEntries(DWORD flags, DWORD start, DWORD count, const PALETTEENTRY* entries) {
  if (!entries || uint64_t{start} + count > 256) return DDERR_INVALIDPARAMS;
  std::copy_n(entries, count, entries_ + start);
  for (DirectDrawSurface* user : users_) user->ContentChanged();
  return DD_OK;
}

HRESULT DirectDrawPalette::GetCaps(DWORD* caps) {
  if (!caps) return DDERR_INVALIDPARAMS;
  *caps = caps_;
  return DD_OK;
}

// --- Gamma control --------------------------------------------------------------------------------

DWORD DirectDrawGammaControl::AddRef() { return surface_->AddRef(); }
DWORD DirectDrawGammaControl::Release() { return surface_->Release(); }

HRESULT DirectDrawGammaControl::GetGammaRamp(DWORD flags, DDGAMMARAMP* ramp) {
  if (!ramp || flags != 0) return DDERR_INVALIDPARAMS;
  *ramp = surface_->display_->gamma;
  return DD_OK;
}

HRESULT DirectDrawGammaControl::SetGammaRamp(DWORD flags, const DDGAMMARAMP* ramp) {
  if (!ramp || (flags & ~DDSGR_CALIBRATE)) return DDERR_INVALIDPARAMS;
  surface_->display_->gamma = *ramp;
  surface_->Shown();
  return DD_OK;
}

// --- Surface life ---------------------------------------------------------------------------------

DirectDrawSurface::DirectDrawSurface() { ddraw_detail::SurfaceMade(); }

DirectDrawSurface::~DirectDrawSurface() {
  if (attachedZ_) attachedZ_->Release();
  if (clipper_) clipper_->Release();
  if (palette_) {
    std::erase(palette_->users_, this);
    palette_->Release();
  }
  if (display_) {
    if (listed_ != SIZE_MAX) {  // the last one takes its place: a program may hold many thousands
      std::vector<DirectDrawSurface*>& list = display_->surfaces;
      list[listed_] = list.back();
      list[listed_]->listed_ = listed_;
      list.pop_back();
    }
    display_->videoUsed -= videoBytes_;
    if (display_->primary == this) {
      ddraw_detail::KeepPresentedFrame(*display_);
      display_->primary = nullptr;
    }
  }
  ddraw_detail::SurfaceGone();
}

DWORD DirectDrawSurface::AddRef() { return ++refs_; }

DWORD DirectDrawSurface::Release() {
  if (refs_ == 0) return 0;  // a member that was given back more often than taken
  --refs_;
  if (root_ || refs_ > 0) return refs_;
  DestroyChain();
  return 0;
}

void DirectDrawSurface::DestroyChain() {
  DirectDrawSurface* member = chainNext_;
  while (member) {
    DirectDrawSurface* next = member->chainNext_;
    delete member;
    member = next;
  }
  delete this;
}

DirectDrawSurface* DirectDrawSurface::Root() { return root_ ? root_ : this; }

bool DirectDrawSurface::IsVideoMemory() const { return (caps_ & DDSCAPS_VIDEOMEMORY) != 0; }

bool DirectDrawSurface::IsVisiblePrimary() const { return display_ && display_->primary == this && display_->owner; }

bool DirectDrawSurface::Lost() const { return lost_; }

void DirectDrawSurface::Shown() {
  if (IsVisiblePrimary()) ddraw_detail::PresentPrimary(*display_);
}

void DirectDrawSurface::ContentChanged() {
  ++contentVersion_;
  Shown();
}

HRESULT DirectDrawSurface::CheckBusy(bool wait) { return ddraw_detail::TakeBusy(wait) ? DDERR_WASSTILLDRAWING : DD_OK; }

namespace ddraw_detail {

void SurfaceAccess::LoseChain(DirectDrawSurface* surface) {
  for (DirectDrawSurface* member = surface->Root(); member; member = member->chainNext_) member->lost_ = true;
}

void SurfaceAccess::LoseVideoSurfaces(DriverState& display) {
  for (DirectDrawSurface* surface : display.surfaces) {
    if (surface->IsVideoMemory()) surface->lost_ = true;
  }
}

}  // namespace ddraw_detail

// The rectangle a clipper lets blits reach, in the surface's coordinates; none without a clipper.
std::optional<RECT> DirectDrawSurface::ClipRect() const {
  if (!clipper_) return std::nullopt;
  const RECT whole = Whole(width_, height_);
  if (!(caps_ & DDSCAPS_PRIMARYSURFACE) || !clipper_->window_) return whole;
  return Intersection(whole, ClientAreaOnScreen(clipper_->window_));
}

SurfacePixels DirectDrawSurface::Pixels() {
  SurfacePixels pixels;
  pixels.bits = memory_ ? memory_->bits : nullptr;
  pixels.pitch = pitch_;
  pixels.width = width_;
  pixels.height = height_;
  pixels.bytesPerPixel = KnownFormat(format_).bytesPerPixel;
  pixels.format = format_;
  pixels.palette = palette_ ? palette_->entries_ : nullptr;
  return pixels;
}

// --- Blits ----------------------------------------------------------------------------------------

HRESULT DirectDrawSurface::Blt(const RECT* dstRect, DirectDrawSurface* src, const RECT* srcRect, DWORD flags,
                               const DDBLTFX* fx) {
  if (flags & ~kKnownBltFlags) return DDERR_UNSUPPORTED;
  const bool fill = (flags & (DDBLT_COLORFILL | DDBLT_DEPTHFILL)) != 0;
  const bool needsFx = (flags & (DDBLT_COLORFILL | DDBLT_DEPTHFILL | DDBLT_DDFX | DDBLT_ROP | DDBLT_KEYSRCOVERRIDE |
                                 DDBLT_KEYDESTOVERRIDE)) != 0;
  if (needsFx && (!fx || fx->dwSize != sizeof(DDBLTFX))) return DDERR_INVALIDPARAMS;
  if (!fill && !src) return DDERR_INVALIDPARAMS;
  if (lost_ || (!fill && src->lost_)) return DDERR_SURFACELOST;
  if (locked_ || dc_ || (!fill && (src->locked_ || src->dc_))) return DDERR_SURFACEBUSY;
  if (const HRESULT busy = CheckBusy((flags & DDBLT_WAIT) != 0); Failed(busy)) return busy;

  const RECT dst = dstRect ? *dstRect : Whole(width_, height_);
  if (Inverted(dst)) return DDERR_INVALIDRECT;
  RECT clip = dst;
  if (const auto reach = ClipRect()) {
    clip = Intersection(dst, *reach);
  } else if (!Inside(dst, width_, height_)) {
    return DDERR_INVALIDRECT;
  }
  const BlitSurface target = ViewOf(Pixels());

  HRESULT result = DD_OK;
  if (fill) {
    result = ddraw_detail::FillRect(target, clip, (flags & DDBLT_DEPTHFILL) ? fx->dwFillDepth : fx->dwFillColor);
  } else {
    BlitRequest request;
    request.dst = dst;
    request.clip = clip;
    request.src = srcRect ? *srcRect : Whole(src->width_, src->height_);
    if (!Inside(request.src, src->width_, src->height_)) return DDERR_INVALIDRECT;
    if (Empty(request.src) || Empty(dst)) return DD_OK;
    if ((flags & DDBLT_ROP) && fx->dwROP != SRCCOPY) return DDERR_NORASTEROPHW;
    if (flags & DDBLT_DDFX) {
      if (fx->dwDDFX & (DDBLTFX_ROTATE90 | DDBLTFX_ROTATE270)) return DDERR_NOROTATIONHW;
      const bool half = (fx->dwDDFX & DDBLTFX_ROTATE180) != 0;
      request.mirrorX = half != ((fx->dwDDFX & DDBLTFX_MIRRORLEFTRIGHT) != 0);
      request.mirrorY = half != ((fx->dwDDFX & DDBLTFX_MIRRORUPDOWN) != 0);
    }
    const BlitSurface source = ViewOf(src->Pixels());
    // A key flag on a surface without that key copies every pixel, as the display drivers do.
    if (flags & DDBLT_KEYSRCOVERRIDE) {
      request.srcKey = Masked(fx->ddckSrcColorkey, source.format.valueMask);
    } else if (flags & DDBLT_KEYSRC) {
      request.srcKey = src->srcKey_;
    }
    if (flags & DDBLT_KEYDESTOVERRIDE) {
      request.dstKey = Masked(fx->ddckDestColorkey, target.format.valueMask);
    } else if (flags & DDBLT_KEYDEST) {
      request.dstKey = destKey_;
    }
    result = ddraw_detail::RunBlit(target, source, request);
  }
  if (Succeeded(result) && !Empty(clip)) ContentChanged();
  return result;
}

HRESULT DirectDrawSurface::BltFast(DWORD x, DWORD y, DirectDrawSurface* src, const RECT* srcRect, DWORD flags) {
  if ((flags & ~kKnownBltFastFlags) || !src) return DDERR_INVALIDPARAMS;
  if (lost_ || src->lost_) return DDERR_SURFACELOST;
  if (clipper_) return DDERR_BLTFASTCANTCLIP;
  if (locked_ || dc_ || src->locked_ || src->dc_) return DDERR_SURFACEBUSY;
  if (const HRESULT busy = CheckBusy((flags & DDBLTFAST_WAIT) != 0); Failed(busy)) return busy;

  BlitRequest request;
  request.src = srcRect ? *srcRect : Whole(src->width_, src->height_);
  if (!Inside(request.src, src->width_, src->height_)) return DDERR_INVALIDRECT;
  const int64_t right = int64_t{x} + (request.src.right - request.src.left);
  const int64_t bottom = int64_t{y} + (request.src.bottom - request.src.top);
  if (right > int64_t{width_} || bottom > int64_t{height_}) return DDERR_INVALIDRECT;
  request.dst = RECT{static_cast<LONG>(x), static_cast<LONG>(y), static_cast<LONG>(right), static_cast<LONG>(bottom)};
  request.clip = request.dst;
  if (Empty(request.dst)) return DD_OK;
  if (flags & DDBLTFAST_SRCCOLORKEY) request.srcKey = src->srcKey_;
  if (flags & DDBLTFAST_DESTCOLORKEY) request.dstKey = destKey_;
  const HRESULT result = ddraw_detail::RunBlit(ViewOf(Pixels()), ViewOf(src->Pixels()), request);
  if (Succeeded(result)) ContentChanged();
  return result;
}

// --- Locks and device contexts --------------------------------------------------------------------

HRESULT DirectDrawSurface::Lock(const RECT* rect, DDSURFACEDESC2* desc, DWORD flags, HANDLE event) {
  if (!desc || desc->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
  if (lost_) return DDERR_SURFACELOST;
  if (locked_ || dc_) return DDERR_SURFACEBUSY;
  if (const HRESULT busy = CheckBusy((flags & DDLOCK_WAIT) != 0); Failed(busy)) return busy;
  const RECT area = rect ? *rect : Whole(width_, height_);
  if (!Inside(area, width_, height_)) return DDERR_INVALIDRECT;
  const FormatInfo format = DescribeFormat(format_);
  if (format.kind == PixelKind::Dxt && (area.left % 4 || area.top % 4)) return DDERR_INVALIDRECT;
  GetSurfaceDesc(desc);
  desc->dwFlags |= DDSD_LPSURFACE;
  const ptrdiff_t offset =
      format.kind == PixelKind::Dxt
          ? static_cast<ptrdiff_t>(area.top / 4) * pitch_ + static_cast<ptrdiff_t>(area.left / 4) * format.blockBytes
          : static_cast<ptrdiff_t>(area.top) * pitch_ + static_cast<ptrdiff_t>(area.left) * format.bytesPerPixel;
  desc->lpSurface = memory_->bits + offset;
  locked_ = true;
  lockedReadOnly_ = (flags & DDLOCK_READONLY) != 0;
  lockRect_ = area;
  return DD_OK;
}

HRESULT DirectDrawSurface::Unlock(const RECT* rect) {
  if (!locked_) return DDERR_NOTLOCKED;
  locked_ = false;
  if (!lockedReadOnly_) ContentChanged();
  return DD_OK;
}

HRESULT DirectDrawSurface::GetDC(HDC* dc) {
  if (!dc) return DDERR_INVALIDPARAMS;
  *dc = nullptr;
  if (lost_) return DDERR_SURFACELOST;
  if (dc_) return DDERR_DCALREADYCREATED;
  if (locked_) return DDERR_SURFACEBUSY;
  if (!gDcHooks.acquire) return DDERR_CANTCREATEDC;
  const HRESULT result = gDcHooks.acquire(this, dc);
  if (Failed(result)) return result;
  dc_ = *dc;
  return DD_OK;
}

HRESULT DirectDrawSurface::ReleaseDC(HDC dc) {
  if (!dc_ || dc != dc_) return DDERR_NODC;
  if (gDcHooks.release) gDcHooks.release(this, dc);
  dc_ = nullptr;
  ContentChanged();
  return DD_OK;
}

// --- Colour keys ----------------------------------------------------------------------------------

HRESULT DirectDrawSurface::SetColorKey(DWORD flags, const DDCOLORKEY* key) {
  const DWORD which = flags & ~DDCKEY_COLORSPACE;
  if (which != DDCKEY_SRCBLT && which != DDCKEY_DESTBLT) {
    return (which == DDCKEY_SRCOVERLAY || which == DDCKEY_DESTOVERLAY) ? DDERR_UNSUPPORTED : DDERR_INVALIDPARAMS;
  }
  std::optional<DDCOLORKEY>& slot = which == DDCKEY_SRCBLT ? srcKey_ : destKey_;
  if (!key) {
    slot.reset();
    return DD_OK;
  }
  const uint32_t mask = DescribeFormat(format_).valueMask;
  const DWORD low = key->dwColorSpaceLowValue & mask;
  const DWORD high = (flags & DDCKEY_COLORSPACE) ? key->dwColorSpaceHighValue & mask : low;
  slot = DDCOLORKEY{low, high};
  return DD_OK;
}

HRESULT DirectDrawSurface::GetColorKey(DWORD flags, DDCOLORKEY* key) {
  if (!key || (flags != DDCKEY_SRCBLT && flags != DDCKEY_DESTBLT)) return DDERR_INVALIDPARAMS;
  const std::optional<DDCOLORKEY>& slot = flags == DDCKEY_SRCBLT ? srcKey_ : destKey_;
  if (!slot) return DDERR_NOCOLORKEY;
  *key = *slot;
  return DD_OK;
}

// --- Flip, loss and restore -----------------------------------------------------------------------

HRESULT DirectDrawSurface::Flip(DirectDrawSurface* override, DWORD flags) {
  DirectDrawSurface* back = chainNext_;
  if (!(caps_ & DDSCAPS_FRONTBUFFER) || !back) return DDERR_NOTFLIPPABLE;
  if (override && override != back) return DDERR_INVALIDPARAMS;
  if (lost_ || back->lost_) return DDERR_SURFACELOST;
  if (locked_ || dc_ || back->locked_ || back->dc_) return DDERR_SURFACEBUSY;
  if (const HRESULT busy = CheckBusy((flags & DDFLIP_WAIT) != 0); Failed(busy)) return busy;
  std::swap(memory_, back->memory_);
  ++back->contentVersion_;
  ContentChanged();
  return DD_OK;
}

HRESULT DirectDrawSurface::IsLost() { return lost_ ? DDERR_SURFACELOST : DD_OK; }

HRESULT DirectDrawSurface::Restore() {
  DirectDrawSurface* root = Root();
  bool anyLost = false;
  for (DirectDrawSurface* member = root; member; member = member->chainNext_) anyLost = anyLost || member->lost_;
  if (!anyLost) return DD_OK;
  if (ddraw_detail::RestoreFails()) return DDERR_WRONGMODE;
  if (root->caps_ & DDSCAPS_PRIMARYSURFACE) {
    // A primary made for another display mode cannot come back; it has to be made again.
    const ddraw_detail::DisplayMode mode = ddraw_detail::CurrentMode();
    const bool exclusive = display_ && display_->Exclusive();
    if (exclusive && (mode.width != root->width_ || mode.height != root->height_ ||
                      mode.bitsPerPixel != DescribeFormat(root->format_).bitCount)) {
      return DDERR_WRONGMODE;
    }
  }
  for (DirectDrawSurface* member = root; member; member = member->chainNext_) {
    if (!member->lost_) continue;
    member->lost_ = false;
    // Video memory comes back empty; whoever drew it draws it again.
    std::memset(member->memory_->bits, 0, member->memory_->bytes);
    ++member->contentVersion_;
  }
  root->Shown();
  return DD_OK;
}

// --- Descriptions and attachments -----------------------------------------------------------------

HRESULT DirectDrawSurface::GetSurfaceDesc(DDSURFACEDESC2* desc) {
  if (!desc || desc->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
  std::memset(static_cast<void*>(desc), 0, sizeof *desc);
  desc->dwSize = sizeof *desc;
  const bool blocks = DescribeFormat(format_).kind == PixelKind::Dxt;
  desc->dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT | (blocks ? DDSD_LINEARSIZE : DDSD_PITCH);
  desc->dwWidth = width_;
  desc->dwHeight = height_;
  if (blocks) {
    desc->dwLinearSize = static_cast<DWORD>(memoryBytes_);
  } else {
    desc->lPitch = pitch_;
  }
  if (backBufferCount_) {
    desc->dwFlags |= DDSD_BACKBUFFERCOUNT;
    desc->dwBackBufferCount = backBufferCount_;
  }
  if (mipLevels_) {
    desc->dwFlags |= DDSD_MIPMAPCOUNT;
    desc->dwMipMapCount = mipLevels_;
  }
  if (srcKey_) {
    desc->dwFlags |= DDSD_CKSRCBLT;
    desc->ddckCKSrcBlt = *srcKey_;
  }
  if (destKey_) {
    desc->dwFlags |= DDSD_CKDESTBLT;
    desc->ddckCKDestBlt = *destKey_;
  }
  desc->ddpfPixelFormat = format_;
  desc->ddsCaps.dwCaps = caps_;
  desc->ddsCaps.dwCaps2 = caps2_;
  return DD_OK;
}

HRESULT DirectDrawSurface::GetPixelFormat(DDPIXELFORMAT* format) {
  if (!format) return DDERR_INVALIDPARAMS;
  *format = format_;
  return DD_OK;
}

HRESULT DirectDrawSurface::GetCaps(DDSCAPS2* caps) {
  if (!caps) return DDERR_INVALIDPARAMS;
  *caps = DDSCAPS2{};
  caps->dwCaps = caps_;
  caps->dwCaps2 = caps2_;
  return DD_OK;
}

HRESULT DirectDrawSurface::GetAttachedSurface(const DDSCAPS2* caps, DirectDrawSurface** out) {
  if (!caps || !out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  DirectDrawSurface* front = root_ && (root_->caps_ & DDSCAPS_FRONTBUFFER) ? root_ : nullptr;
  for (DirectDrawSurface* candidate : {chainNext_, attachedZ_, front}) {
    if (!candidate) continue;
    if ((candidate->caps_ & caps->dwCaps) == caps->dwCaps && (candidate->caps2_ & caps->dwCaps2) == caps->dwCaps2) {
      candidate->AddRef();
      *out = candidate;
      return DD_OK;
    }
  }
  return DDERR_NOTFOUND;
}

HRESULT DirectDrawSurface::AddAttachedSurface(DirectDrawSurface* surface) {
  if (!surface || surface == this) return DDERR_INVALIDPARAMS;
  if (!(surface->caps_ & DDSCAPS_ZBUFFER) || (caps_ & DDSCAPS_ZBUFFER)) return DDERR_CANNOTATTACHSURFACE;
  if (attachedZ_) return DDERR_SURFACEALREADYATTACHED;
  if (surface->width_ != width_ || surface->height_ != height_) return DDERR_CANNOTATTACHSURFACE;
  surface->AddRef();
  attachedZ_ = surface;
  return DD_OK;
}

HRESULT DirectDrawSurface::DeleteAttachedSurface(DWORD flags, DirectDrawSurface* surface) {
  if (!attachedZ_ || (surface && surface != attachedZ_)) return DDERR_SURFACENOTATTACHED;
  DirectDrawSurface* z = attachedZ_;
  attachedZ_ = nullptr;
  z->Release();
  return DD_OK;
}

HRESULT DirectDrawSurface::SetClipper(DirectDrawClipper* clipper) {
  if (clipper) clipper->AddRef();
  if (clipper_) clipper_->Release();
  clipper_ = clipper;
  return DD_OK;
}

HRESULT DirectDrawSurface::GetClipper(DirectDrawClipper** clipper) {
  if (!clipper) return DDERR_INVALIDPARAMS;
  *clipper = clipper_;
  if (!clipper_) return DDERR_NOCLIPPERATTACHED;
  clipper_->AddRef();
  return DD_OK;
}

HRESULT DirectDrawSurface::SetPalette(DirectDrawPalette* palette) {
  if (palette && DescribeFormat(format_).kind != PixelKind::Palette8) return DDERR_NOTPALETTIZED;
  if (palette) {
    palette->AddRef();
    palette->users_.push_back(this);
  }
  if (palette_) {
    std::erase(palette_->users_, this);
    palette_->Release();
  }
  palette_ = palette;
  ContentChanged();
  return DD_OK;
}

HRESULT DirectDrawSurface::GetPalette(DirectDrawPalette** palette) {
  if (!palette) return DDERR_INVALIDPARAMS;
  *palette = palette_;
  if (!palette_) return DDERR_NOPALETTEATTACHED;
  palette_->AddRef();
  return DD_OK;
}

HRESULT DirectDrawSurface::QueryGammaControl(DirectDrawGammaControl** out) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (!gammaControl_) return E_NOINTERFACE;
  AddRef();
  *out = gammaControl_.get();
  return DD_OK;
}

HRESULT DirectDrawSurface::GetDDInterface(DirectDraw** out) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = display_ ? display_->owner : nullptr;
  if (!*out) return DDERR_INVALIDOBJECT;
  (*out)->AddRef();
  return DD_OK;
}

}  // namespace vx::win
