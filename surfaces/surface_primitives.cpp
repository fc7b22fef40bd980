// Surface primitives and sprite drawing: see surface_primitives.h. Every blit here follows the
// display's rule for trouble: a busy surface is tried again, a lost one is restored and tried
// again, and a restore that fails pauses the program (unless it always runs).
#include "surfaces/surface_primitives.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "common/host_state.h"
#include "common/runtime_hooks.h"
#include "common/value_slot.h"
#include "images/image_context.h"
#include "platform/ddraw/pixel_format.h"
#include "surfaces/display_state.h"
#include "surfaces/surface_colours.h"
#include "surfaces/surface_records.h"
#include "system/system_state.h"

namespace vx {

namespace {

using win::DDERR_SURFACELOST;
using win::DDERR_WASSTILLDRAWING;
using win::HRESULT;
using win::IDirectDrawSurface7;
using win::RECT;

// Surfaces of the effects: system memory, in the format of the surface they work for, so that
// nothing is lost to a conversion on the way through.
IDirectDrawSurface7* MakeWorkSurface(IDirectDrawSurface7* like, uint32_t width, uint32_t height) {
  if (!Display().gDirectDraw || width == 0 || height == 0) return nullptr;
  win::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = win::DDSD_CAPS | win::DDSD_WIDTH | win::DDSD_HEIGHT | win::DDSD_PIXELFORMAT;
  desc.dwWidth = width;
  desc.dwHeight = height;
  desc.ddsCaps.dwCaps = win::DDSCAPS_OFFSCREENPLAIN | win::DDSCAPS_SYSTEMMEMORY;
  desc.ddpfPixelFormat = like->PixelFormat();
  IDirectDrawSurface7* made = nullptr;
  if (win::Failed(Display().gDirectDraw->CreateSurface(&desc, &made, nullptr))) return nullptr;
  return made;
}

HRESULT CopyRect(IDirectDrawSurface7* target, int32_t x, int32_t y, IDirectDrawSurface7* source, const RECT& rect) {
  return RetryBlit(target, source, [&] {
    return target->BltFast(win::DWORD(x), win::DWORD(y), source, &rect, win::DDBLTFAST_NOCOLORKEY);
  });
}

// The sprites whose backgrounds the frame keeps, in item order: f(SpriteRecord slot).
template <class F>
void ForEachBackgroundSprite(F&& f) {
  ForEachSprite([&](uint32_t slot) {
    if (Records().gSpriteRecords[slot].savesBackground == 1) f(slot);
  });
}

bool ImageUsable(int32_t slot) {
  return slot >= 0 && Records().gImageRecords.IsTaken(uint32_t(slot)) &&
         Records().gImageRecords[uint32_t(slot)].valid == 1 && Records().gImageRecords[uint32_t(slot)].surface;
}

// Moves one column (mirror) or row (flip) at a time through a one-pixel work surface.
int32_t SwapLines(IDirectDrawSurface7* surface, bool columns) {
  if (!surface) return 0;
  const int32_t w = int32_t(surface->Width()), h = int32_t(surface->Height());
  IDirectDrawSurface7* line = MakeWorkSurface(surface, columns ? 1 : uint32_t(w), columns ? uint32_t(h) : 1);
  if (!line) return 0;
  const int32_t count = columns ? w : h;
  auto lineRect = [&](int32_t i) { return columns ? RECT{i, 0, i + 1, h} : RECT{0, i, w, i + 1}; };
  auto at = [&](int32_t i) { return columns ? std::pair{i, 0} : std::pair{0, i}; };
  for (int32_t c = 0; c < count / 2; ++c) {
    const int32_t other = count - 1 - c;
    CopyRect(line, 0, 0, surface, lineRect(c));
    CopyRect(surface, at(c).first, at(c).second, surface, lineRect(other));
    CopyRect(surface, at(other).first, at(other).second, line, RECT{0, 0, columns ? 1 : w, columns ? h : 1});
  }
  line->Release();
  return 1;
}

}  // namespace

void TargetSize(int32_t n, int32_t* width, int32_t* height) {
  if (n == 0) {
    *width = Display().gDisplayWidth;
    *height = Display().gDisplayHeight;
  } else if (n > 0 && n < kBitmapSlots) {
    *width = int32_t(Display().gBitmapInfo[size_t(n)].width);
    *height = int32_t(Display().gBitmapInfo[size_t(n)].height);
  } else {
    *width = *height = 0;
  }
}

void ClipBlitRects(int32_t targetBitmap, RECT& source, RECT& destination, int32_t x, int32_t y, int32_t width,
                   int32_t height, float scaleX, float scaleY, int32_t flip, int32_t mirror) {
  int32_t targetWidth = 0, targetHeight = 0;
  TargetSize(targetBitmap, &targetWidth, &targetHeight);
  source.right = WrapAdd(source.left, width);
  source.bottom = WrapAdd(source.top, height);
  destination.left = x;
  destination.top = y;
  destination.right = WrapAdd(x, TruncateToInt32(double(width) * double(scaleX)));
  destination.bottom = WrapAdd(y, TruncateToInt32(double(height) * double(scaleY)));
  // A zero scale gives an infinite quotient, which the truncation turns into 0.
  auto cut = [](int64_t overhang, float scale) { return TruncateToInt32(double(overhang) / double(scale)); };
  if (destination.left < 0) {
    const int32_t d = cut(-int64_t(destination.left), scaleX);
    if (mirror == 1)
      source.right -= d;
    else
      source.left += d;
    destination.left = 0;
  }
  if (destination.top < 0) {
    const int32_t d = cut(-int64_t(destination.top), scaleY);
    if (flip == 1)
      source.bottom -= d;
    else
      source.top += d;
    destination.top = 0;
  }
  if (destination.right > targetWidth) {
    const int32_t d = cut(int64_t(destination.right) - targetWidth, scaleX);
    if (mirror == 0)
      source.right -= d;
    else
      source.left += d;
    destination.right = targetWidth;
  }
  if (destination.bottom > targetHeight) {
    const int32_t d = cut(int64_t(destination.bottom) - targetHeight, scaleY);
    if (flip == 0)
      source.bottom -= d;
    else
      source.top += d;
    destination.bottom = targetHeight;
  }
}

int32_t BlitImageToSurface(IDirectDrawSurface7* target, int32_t targetBitmap, uint32_t imageSlot, int32_t x, int32_t y,
                           int32_t width, int32_t height, int32_t colourKey) {
  if (!target || !ImageUsable(int32_t(imageSlot))) return 1;
  const ImageRecord& image = Records().gImageRecords[imageSlot];
  RECT source{image.sourceX, image.sourceY, 0, 0}, destination{};
  ClipBlitRects(targetBitmap, source, destination, x, y, width, height, 1.0f, 1.0f, 0, 0);
  if (destination.right <= destination.left || destination.bottom <= destination.top) return 1;
  IDirectDrawSurface7* surface = image.surface;
  const win::DWORD flags = colourKey ? win::DDBLTFAST_SRCCOLORKEY : win::DDBLTFAST_NOCOLORKEY;
  RetryBlit(target, nullptr, [&] {
    return target->BltFast(win::DWORD(destination.left), win::DWORD(destination.top), surface, &source, flags);
  });
  return 1;
}

void DrawSpriteToSurface(IDirectDrawSurface7* target, int32_t targetBitmap, uint32_t itemSlot, int32_t x, int32_t y) {
  const SpriteRecord* sprite = SpriteOf(itemSlot);
  if (!target || !sprite) return;
  const SpriteRecord item = *sprite;
  if (!ImageUsable(item.imageSlot)) return;
  // A scale of 0 or below draws nothing (and a clip would divide by it).
  if (!(item.scaleX > 0.0f) || !(item.scaleY > 0.0f)) return;
  const ImageRecord& image = Records().gImageRecords[uint32_t(item.imageSlot)];
  RECT source{image.sourceX, image.sourceY, 0, 0}, destination{};
  ClipBlitRects(targetBitmap, source, destination, WrapSub(x, item.hotSpotX), WrapSub(y, item.hotSpotY),
                image.imageWidth, image.imageHeight, item.scaleX, item.scaleY, item.flip, item.mirror);
  if (destination.right <= destination.left || destination.bottom <= destination.top) return;
  win::DDBLTFX fx{};
  fx.dwSize = sizeof fx;
  if (item.mirror == 1) fx.dwDDFX |= win::DDBLTFX_MIRRORLEFTRIGHT;
  if (item.flip == 1) fx.dwDDFX |= win::DDBLTFX_MIRRORUPDOWN;
  const win::DWORD flags = win::DDBLT_DDFX | (Records().gRenderItems[itemSlot].colourKey == 1 ? win::DDBLT_KEYSRC : 0);
  IDirectDrawSurface7* surface = image.surface;
  RetryBlit(target, nullptr, [&] { return target->Blt(&destination, surface, &source, flags, &fx); });
}

int32_t DrawSpriteLayers() {
  if (Display().gRenderEnabled != 1) return 1;
  for (int32_t layer = 0; layer <= 2; ++layer) {
    ForEachSprite([&](uint32_t slot) {
      const SpriteRecord& sprite = Records().gSpriteRecords[slot];
      const uint32_t item = uint32_t(sprite.itemSlot);
      if (sprite.layer == layer && Records().gRenderItems[item].visible == 1 && sprite.imageSlot != -1)
        DrawSpriteToSurface(Display().gBackBuffer, 0, item, sprite.x, sprite.y);
    });
  }
  return 1;
}

void SaveSpriteBackgrounds() {
  if (Display().gRenderEnabled != 1 || !Display().gBackBuffer) return;
  const int32_t page = Records().gSpritePage & 1;
  ForEachBackgroundSprite([&](uint32_t slot) {
    const SpriteRecord item = Records().gSpriteRecords[slot];
    int32_t* saved = Records().gSpriteRecords[slot].savedRects[page];
    if (!ImageUsable(item.imageSlot)) {
      saved[2] = 0;
      return;
    }
    const ImageRecord& sprite = Records().gImageRecords[uint32_t(item.imageSlot)];
    const int32_t w = TruncateToInt32(double(sprite.imageWidth) * double(item.scaleX));
    const int32_t h = TruncateToInt32(double(sprite.imageHeight) * double(item.scaleY));
    int32_t left = WrapSub(item.x, item.hotSpotX), top = WrapSub(item.y, item.hotSpotY);
    int32_t right = WrapAdd(left, w), bottom = WrapAdd(top, h);
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, Display().gDisplayWidth);
    bottom = std::min(bottom, Display().gDisplayHeight);
    if (w <= 0 || h <= 0 || right <= left || bottom <= top) {
      saved[0] = left, saved[1] = top, saved[2] = 0, saved[3] = bottom;
      return;
    }
    int32_t k = item.ownedImages[page];
    if (k == -1 || !Records().gImageRecords.IsTaken(uint32_t(k)) ||
        Records().gImageRecords[uint32_t(k)].imageWidth < w || Records().gImageRecords[uint32_t(k)].imageHeight < h ||
        !Records().gImageRecords[uint32_t(k)].surface) {
      if (k == -1 || !Records().gImageRecords.IsTaken(uint32_t(k))) {
        const uint32_t taken = AllocImageRecord();
        if (taken == kNoRecordSlot) return;  // the pool raised kErrOutOfMemory
        k = int32_t(taken);
        Records().gSpriteRecords[slot].ownedImages[page] = k;
      }
      if (!CreateImageSurface(uint32_t(k), w, h)) {
        RaiseRuntimeError(kErrOutOfMemory);
        Records().gImageRecords[uint32_t(k)].surface = nullptr;
        saved = Records().gSpriteRecords[slot].savedRects[page];
        saved[0] = left, saved[1] = top, saved[2] = 0, saved[3] = bottom;
        return;
      }
    }
    ImageRecord& copy = Records().gImageRecords[uint32_t(k)];
    copy.width = right - left;
    copy.height = bottom - top;
    const RECT area{left, top, right, bottom};
    RetryBlit(copy.surface, Display().gBackBuffer, [&] {
      return copy.surface->BltFast(win::DWORD(copy.sourceX), win::DWORD(copy.sourceY), Display().gBackBuffer, &area,
                                   win::DDBLTFAST_NOCOLORKEY);
    });
    saved = Records().gSpriteRecords[slot].savedRects[page];
    saved[0] = left, saved[1] = top, saved[2] = right, saved[3] = bottom;
  });
}

void RestoreSpriteBackgrounds() {
  if (Display().gRenderEnabled != 1 || !Display().gBackBuffer) return;
  const int32_t page = Records().gSpritePage & 1;
  ForEachBackgroundSprite([&](uint32_t slot) {
    const SpriteRecord& item = Records().gSpriteRecords[slot];
    const int32_t k = item.ownedImages[page];
    const int32_t* saved = item.savedRects[page];
    if (k == -1 || !ImageUsable(k) || saved[2] < 1) return;
    const ImageRecord& copy = Records().gImageRecords[uint32_t(k)];
    const RECT source{copy.sourceX, copy.sourceY, copy.sourceX + copy.width, copy.sourceY + copy.height};
    RetryBlit(Display().gBackBuffer, copy.surface, [&] {
      return Display().gBackBuffer->BltFast(win::DWORD(saved[0]), win::DWORD(saved[1]), copy.surface, &source,
                                            win::DDBLTFAST_NOCOLORKEY);
    });
  });
}

void FreeSpriteImageCopies() {
  ForEachBackgroundSprite([](uint32_t slot) {
    for (int32_t& k : Records().gSpriteRecords[slot].ownedImages) {
      if (k != -1) FreeImageRecord(uint32_t(k));
      k = -1;
    }
  });
  Records().gImageCopiesFreed = 1;
}

void ClearViewport(uint32_t colour) {
  if (!Display().gD3DDevice) return;
  const win::D3DRECT area{0, 0, Display().gDisplayWidth, Display().gDisplayHeight};
  Display().gD3DDevice->Clear(1, &area, win::D3DCLEAR_TARGET, colour, 1.0f, 0);
}

int32_t CreateBitmapSurface(int32_t n, int32_t width, int32_t height) {
  if (n < 1 || n >= kBitmapSlots) return 0;
  ReleaseBitmapSurface(n);
  if (width < 1 || height < 1 || !Display().gDirectDraw) return 0;
  win::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = win::DDSD_CAPS | win::DDSD_HEIGHT | win::DDSD_WIDTH;
  desc.dwWidth = win::DWORD(width);
  desc.dwHeight = win::DWORD(height);
  desc.ddsCaps.dwCaps = win::DDSCAPS_OFFSCREENPLAIN | win::DDSCAPS_SYSTEMMEMORY;
  IDirectDrawSurface7* made = nullptr;
  if (win::Failed(Display().gDirectDraw->CreateSurface(&desc, &made, nullptr)) || !made) return 0;
  Display().gBitmaps[size_t(n)] = made;
  BitmapInfo& info = Display().gBitmapInfo[size_t(n)];
  info.width = made->Width();
  info.height = made->Height();
  info.bitsPerPixel = made->PixelFormat().dwRGBBitCount;
  return 1;
}

int32_t ReleaseBitmapSurface(int32_t n) {
  // Bitmap 0 is the screen: the back buffer is never released as a bitmap.
  if (n < 1 || n >= kBitmapSlots) return 1;
  if (Display().gBitmaps[size_t(n)]) Display().gBitmaps[size_t(n)]->Release();
  Display().gBitmaps[size_t(n)] = nullptr;
  return 1;
}

int32_t SaveBitmapSlot(int32_t n, const std::string& fileName) {
  if (n < 1 || n >= kBitmapSlots || !Display().gBitmaps[size_t(n)]) return 0;
  return SaveImageByExtension(Display().gBitmaps[size_t(n)], fileName) ? 1 : 0;
}

uint32_t RefreshBitmapSize(int32_t n) {
  if (n < 1 || n >= kBitmapSlots || !Display().gBitmaps[size_t(n)]) return kNoRecordSlot;
  win::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  if (win::Failed(Display().gBitmaps[size_t(n)]->GetSurfaceDesc(&desc))) return kNoRecordSlot;
  Display().gBitmapInfo[size_t(n)].width = desc.dwWidth;
  Display().gBitmapInfo[size_t(n)].height = desc.dwHeight;
  return GrabBitmapToNewImage(n, 0, 0, int32_t(desc.dwWidth), int32_t(desc.dwHeight));
}

uint32_t GrabBitmapToNewImage(int32_t n, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  const uint32_t slot = AllocImageRecord();
  if (slot != kNoRecordSlot) GrabBitmapImage(slot, n, left, top, right, bottom, 0);
  return slot;
}

int32_t MirrorSurface(IDirectDrawSurface7* surface) { return SwapLines(surface, true); }
int32_t FlipSurface(IDirectDrawSurface7* surface) { return SwapLines(surface, false); }

IDirectDrawSurface7* RotateSurfaceQuarterTurns(IDirectDrawSurface7* surface, int32_t angle) {
  if (!surface) return nullptr;
  // Whole turns change nothing.
  const int32_t turns = angle / 90 < 1 ? 0 : (angle / 90) % 4;
  if (turns == 0) return surface;
  const int32_t w = int32_t(surface->Width()), h = int32_t(surface->Height());
  const bool across = turns % 2 == 1;
  IDirectDrawSurface7* turned = MakeWorkSurface(surface, uint32_t(across ? h : w), uint32_t(across ? w : h));
  if (!turned) return nullptr;
  win::DDCOLORKEY key{};
  if (win::Succeeded(surface->GetColorKey(win::DDCKEY_SRCBLT, &key))) turned->SetColorKey(win::DDCKEY_SRCBLT, &key);
  // One pass over the pixels into the new surface; the given one is let go only once it is done.
  win::DDSURFACEDESC2 in{}, out{};
  in.dwSize = out.dwSize = sizeof in;
  bool done = false;
  if (win::Succeeded(surface->Lock(nullptr, &in, win::DDLOCK_WAIT | win::DDLOCK_READONLY, nullptr))) {
    if (win::Succeeded(turned->Lock(nullptr, &out, win::DDLOCK_WAIT | win::DDLOCK_WRITEONLY, nullptr))) {
      const uint32_t bytes = (in.ddpfPixelFormat.dwRGBBitCount + 7) / 8;
      done = bytes >= 1 && bytes <= 4;
      const auto* from = static_cast<const uint8_t*>(in.lpSurface);
      auto* to = static_cast<uint8_t*>(out.lpSurface);
      for (int32_t y = 0; done && y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
          // Where (x, y) lands after the turns, clockwise.
          const int32_t nx = turns == 1 ? h - 1 - y : turns == 2 ? w - 1 - x : y;
          const int32_t ny = turns == 1 ? x : turns == 2 ? h - 1 - y : w - 1 - x;
          win::StorePixel(to + size_t(ny) * size_t(out.lPitch) + size_t(nx) * bytes, bytes,
                          win::LoadPixel(from + size_t(y) * size_t(in.lPitch) + size_t(x) * bytes, bytes));
        }
      turned->Unlock(nullptr);
    }
    surface->Unlock(nullptr);
  }
  if (!done) {
    turned->Release();
    return nullptr;
  }
  surface->Release();
  return turned;
}

uint32_t BoxAveragePixel(uint32_t bytesPerPixel, const uint8_t* bits, int32_t pitch, int32_t width, int32_t height,
                         int32_t x, int32_t y, int32_t first, int32_t last) {
  const PixelFormatShifts& s = Display().gPixelShifts;
  const uint32_t keep = s.bitCount < 32 ? (1u << s.bitCount) - 1u : 0xFFFFFFFFu;
  uint64_t red = 0, green = 0, blue = 0, count = 0;
  for (int32_t row = y + first; row <= y + last; ++row) {
    if (row < 0 || row >= height) continue;
    int32_t taken = 0;
    for (int32_t column = x + first; column <= x + last && taken < 100; ++column) {
      if (column < 0 || column >= width) continue;
      const uint32_t p =
          win::LoadPixel(bits + size_t(row) * size_t(pitch) + size_t(column) * bytesPerPixel, bytesPerPixel) & keep;
      red += (p >> s.redShift) & s.redMax;
      green += (p >> s.greenShift) & s.greenMax;
      blue += p & s.blueMax;
      ++count;
      ++taken;
    }
  }
  if (count == 0) return 0;
  return uint32_t((green / count) << s.greenShift) + uint32_t(blue / count) + uint32_t((red / count) << s.redShift);
}

int32_t BlurSurface(IDirectDrawSurface7* surface, int32_t value) {
  if (!surface || value >= 10 || value < 0) return 0;
  ComputePixelFormatShifts(surface);
  const uint32_t w = surface->Width(), h = surface->Height();
  IDirectDrawSurface7* from = MakeWorkSurface(surface, w, h);
  IDirectDrawSurface7* to = from ? MakeWorkSurface(surface, w, h) : nullptr;
  auto done = [&](int32_t result) {
    if (from) from->Release();
    if (to) to->Release();
    return result;
  };
  if (!to) return done(0);
  if (win::Failed(CopyRect(from, 0, 0, surface, RECT{0, 0, int32_t(w), int32_t(h)}))) return done(0);
  win::DDSURFACEDESC2 in{}, out{};
  in.dwSize = out.dwSize = sizeof in;
  if (win::Failed(from->Lock(nullptr, &in, win::DDLOCK_WAIT | win::DDLOCK_READONLY, nullptr))) return done(0);
  if (win::Failed(to->Lock(nullptr, &out, win::DDLOCK_WAIT | win::DDLOCK_WRITEONLY, nullptr))) {
    from->Unlock(nullptr);
    return done(0);
  }
  const int32_t first = value < 2 ? 0 : -(value / 2);
  const int32_t last = value < 2 ? 0 : value - 1 + first;
  const uint32_t bytes = (in.ddpfPixelFormat.dwRGBBitCount + 7) / 8;
  const auto* source = static_cast<const uint8_t*>(in.lpSurface);
  auto* target = static_cast<uint8_t*>(out.lpSurface);
  for (int32_t y = 0; y < int32_t(h); ++y)
    for (int32_t x = 0; x < int32_t(w); ++x)
      win::StorePixel(target + size_t(y) * size_t(out.lPitch) + size_t(x) * bytes, bytes,
                      BoxAveragePixel(bytes, source, in.lPitch, int32_t(w), int32_t(h), x, y, first, last));
  from->Unlock(nullptr);
  to->Unlock(nullptr);
  const HRESULT copied = CopyRect(surface, 0, 0, to, RECT{0, 0, int32_t(w), int32_t(h)});
  return done(win::Succeeded(copied) ? 1 : 0);
}

int32_t FadeSurface(IDirectDrawSurface7* surface, int32_t value) {
  if (!surface || value < 0 || value > 100) return 0;
  const PixelFormatShifts& s = ComputePixelFormatShifts(surface);
  win::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  if (win::Failed(surface->Lock(nullptr, &desc, win::DDLOCK_WAIT, nullptr))) return 0;
  const double f = double(value) / 100.0;
  const uint32_t bytes = (desc.ddpfPixelFormat.dwRGBBitCount + 7) / 8;
  auto scale = [&](uint32_t channel) { return uint32_t(TruncateToInt32(double(channel) * f)); };
  for (uint32_t y = 0; y < desc.dwHeight; ++y) {
    auto* row = static_cast<uint8_t*>(desc.lpSurface) + size_t(y) * size_t(desc.lPitch);
    for (uint32_t x = 0; x < desc.dwWidth; ++x) {
      const uint32_t p = win::LoadPixel(row + size_t(x) * bytes, bytes);
      const uint32_t r = scale((p >> s.redShift) & s.redMax), g = scale((p >> s.greenShift) & s.greenMax);
      const uint32_t b = scale(p & s.blueMax);
      win::StorePixel(row + size_t(x) * bytes, bytes, (g << s.greenShift) + b + (r << s.redShift));
    }
  }
  surface->Unlock(nullptr);
  return 1;
}

int32_t SetGammaRamp(int32_t red, int32_t green, int32_t blue) {
  if (!Display().gGammaControl || !Display().gGammaAvailable) return 0;
  win::DDGAMMARAMP ramp{};
  auto fill = [](win::WORD(&entries)[256], int32_t value) {
    // Outside 0 to 511 the offset or the scale would leave the 16-bit entries.
    const int32_t v = std::clamp(value, 0, 511);
    const uint32_t offset = v > 256 ? uint32_t(v - 256) : 0;
    const uint32_t scale = v > 256 ? 255u - offset : uint32_t(v);
    for (uint32_t i = 0; i < 256; ++i) entries[i] = win::WORD((offset * 256u + i * scale) & 0xFFFFu);
  };
  fill(ramp.red, red);
  fill(ramp.green, green);
  fill(ramp.blue, blue);
  return win::Succeeded(Display().gGammaControl->SetGammaRamp(0, &ramp)) ? 1 : 0;
}

}  // namespace vx
