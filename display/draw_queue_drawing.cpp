// The draw queue's drawing items: choosing, making, deleting and changing bitmaps; grabbing,
// pasting and turning images and pasting sprites (through the engine's surface primitives); and
// clearing, dots, boxes, lines, ellipses, the colours and pixel reads with retried colour fills.
#include <algorithm>
#include <cmath>
#include <utility>

#include "common/runtime_hooks.h"
#include "display/draw_queue_items.h"
#include "surfaces/display_state.h"
#include "surfaces/engine_textures.h"
#include "surfaces/surface_colours.h"
#include "surfaces/surface_records.h"
#include "surfaces/surface_retry.h"
#include "surfaces/texture_names.h"
#include "surfaces/texture_surface.h"

namespace vx {

namespace {

// A colour fill of the rectangle; a busy target is asked again, a lost one restored.
win::HRESULT ColourFill(win::IDirectDrawSurface7* target, const win::RECT& rect, uint32_t pixel) {
  win::DDBLTFX fx{};
  fx.dwSize = sizeof fx;
  fx.dwFillColor = pixel;
  return RetryBlit(target, nullptr, [&] { return target->Blt(&rect, nullptr, nullptr, win::DDBLT_COLORFILL, &fx); });
}

// One-pixel steps from (x1, y1) towards (x2, y2); a fill that fails ends the line.
bool DrawLine(win::IDirectDrawSurface7* target, double x1, double y1, double x2, double y2, uint32_t pixel) {
  const double dx = x2 - x1, dy = y2 - y1;
  const double length = std::sqrt(dx * dx + dy * dy);
  const double stepX = length > 0 ? dx / length : 0, stepY = length > 0 ? dy / length : 0;
  double px = x1, py = y1;
  for (double t = 0; t <= length; t += 1.0) {
    const int32_t ix = TruncateToInt32(px), iy = TruncateToInt32(py);
    if (win::Failed(ColourFill(target, win::RECT{ix, iy, ix + 1, iy + 1}, pixel))) return false;
    px += stepX;
    py += stepY;
  }
  return true;
}

// The image record of an image number when the image is in use, else null.
ImageRecord* ImageInUse(int32_t number) {
  const uint32_t slot = ImageSlotOf(number);
  return slot != 0 && Records().gImageRecords.IsTaken(slot) ? &Records().gImageRecords[slot] : nullptr;
}

}  // namespace

// --- Bitmaps ---------------------------------------------------------------------------------------

void Perform(DrawQueueItem&, const SetBitmapItem&) {
  const int32_t n = DrawQueue().gCurrentBitmap;
  if (!IsProgramBitmap(n)) {
    RaiseRuntimeError(kErrBitmapNumberOutOfRange);
    return;
  }
  if (n > 0 && !Display().gBitmaps[size_t(n)]) {
    RaiseRuntimeError(kErrBitmapNotExist);
    return;
  }
  DrawQueue().gExecBitmap = n;
  DrawQueue().gExecSurface = SurfaceOfBitmap(n);
}

void Perform(DrawQueueItem&, const CreateBitmapItem& fields) {
  const int32_t n = fields.bitmap;
  if (n == 0) {
    RaiseRuntimeError(kErrScreenBitmapNotCreated);
    return;
  }
  if (!IsProgramBitmap(n)) {
    RaiseRuntimeError(kErrBitmapNumberOutOfRange);
    return;
  }
  if (!CreateBitmapSurface(n, fields.width, fields.height)) {
    RaiseRuntimeError(kErrBitmapNotCreated);
    return;
  }
  DrawQueue().gExecBitmap = DrawQueue().gCurrentBitmap = n;
  DrawQueue().gExecSurface = DrawQueue().gCurrentSurface = Display().gBitmaps[size_t(n)];
}

void Perform(DrawQueueItem&, const DeleteBitmapItem& fields) {
  const int32_t n = fields.bitmap;
  if (!IsProgramBitmap(n)) {
    RaiseRuntimeError(kErrBitmapNumberOutOfRange);
    return;
  }
  if (n < 1) {
    RaiseRuntimeError(kErrScreenBitmapNotDeleted);
    return;
  }
  if (!Display().gBitmaps[size_t(n)]) {
    RaiseRuntimeError(kErrBitmapNotExist);
    return;
  }
  // Items still waiting for this bitmap must not draw on a released surface.
  DropQueuedTarget(Display().gBitmaps[size_t(n)]);
  ReleaseBitmapSurface(n);
  if (n == DrawQueue().gExecBitmap) {
    DrawQueue().gExecBitmap = 0;
    DrawQueue().gExecSurface = Display().gBackBuffer;
  }
}

void Perform(DrawQueueItem&, const MirrorBitmapItem& fields) {
  if (win::IDirectDrawSurface7* s = CheckedBitmap(fields.bitmap)) MirrorSurface(s);
}

void Perform(DrawQueueItem&, const FlipBitmapItem& fields) {
  if (win::IDirectDrawSurface7* s = CheckedBitmap(fields.bitmap)) FlipSurface(s);
}

void Perform(DrawQueueItem&, const BlurBitmapItem& fields) {
  win::IDirectDrawSurface7* s = CheckedBitmap(fields.bitmap);
  if (!s) return;
  if (fields.value < 1 || fields.value > 8)
    RaiseRuntimeError(kErrBlurValueOutOfRange);
  else
    BlurSurface(s, fields.value);
}

void Perform(DrawQueueItem&, const FadeBitmapItem& fields) {
  win::IDirectDrawSurface7* s = CheckedBitmap(fields.bitmap);
  if (!s) return;
  if (fields.value < 0 || fields.value > 100)
    RaiseRuntimeError(kErrFadeValueOutOfRange);
  else
    FadeSurface(s, fields.value);
}

// --- Images and sprites ----------------------------------------------------------------------------

void Perform(DrawQueueItem& item, const GrabImageItem& fields) {
  win::IDirectDrawSurface7* target = item.targetSurface;
  const uint32_t slot = ImageSlotOf(fields.image);
  if (!target || !ImageInUse(fields.image)) return;
  int32_t w = 0, h = 0;
  TargetSize(item.targetBitmap, &w, &h);
  if (fields.right <= fields.left || fields.bottom <= fields.top) {
    RaiseRuntimeError(kErrGrabAreaEmpty);
    return;
  }
  // A rectangle partly beyond the target is grabbed with black where it is beyond; one with
  // nothing on the target is refused.
  if (fields.right <= 0 || fields.bottom <= 0 || fields.left >= w || fields.top >= h) {
    RaiseRuntimeError(kErrGrabAreaOutside);
    return;
  }
  const int32_t flag = fields.textureFlag;
  const int32_t grabbed =
      target == Display().gBackBuffer
          ? GrabScreenImage(slot, fields.left, fields.top, fields.right, fields.bottom, flag)
          : GrabBitmapImage(slot, item.targetBitmap, fields.left, fields.top, fields.right, fields.bottom, flag);
  if (!grabbed) {
    RaiseRuntimeError(kErrImageGrabOrPasteFailed);
    return;
  }
  if (flag > 0) {
    const int32_t texture = Records().gImageRecords[slot].textureSlot;
    if (texture <= 0) {
      GetImageTexture(slot, 1, 0);
    } else if (Records().gTextureRecords.IsTaken(uint32_t(texture))) {
      TextureSurface& t = Records().gTextureRecords[uint32_t(texture)].texture;
      t.dxt1 = flag == 2 ? 1 : 0;
      PreloadTexture(t);
    }
  }
}

void Perform(DrawQueueItem& item, const PasteImageItem& fields) {
  const uint32_t slot = ImageSlotOf(fields.image);
  if (!item.targetSurface || !ImageInUse(fields.image) || !Records().gImageRecords[slot].valid) return;
  // With BLITOVERDRAW set, pastes are drawn twice.
  for (int k = 0; k < std::clamp(Display().gBlitOverdraw, 1, 2); ++k) {
    const ImageRecord& image = Records().gImageRecords[slot];
    if (!BlitImageToSurface(item.targetSurface, item.targetBitmap, slot, fields.x, fields.y, image.width, image.height,
                            fields.colourKey))
      RaiseRuntimeError(kErrImageGrabOrPasteFailed);
  }
}

void Perform(DrawQueueItem& item, const PasteSpriteItem& fields) {
  // Slot 0 is a real item of this pool, so the item must still be this sprite.
  const uint32_t slot =
      fields.sprite >= 0 && fields.sprite < kNumberMapSize ? Records().gSpriteSlotById[size_t(fields.sprite)] : 0;
  const SpriteRecord* sprite = SpriteOf(slot);
  if (item.targetSurface && sprite && sprite->spriteNumber == fields.sprite)
    DrawSpriteToSurface(item.targetSurface, item.targetBitmap, slot, fields.x, fields.y);
}

void Perform(DrawQueueItem& item, const RotateImageItem& fields) {
  ImageRecord* image = ImageInUse(fields.image);
  if (!item.targetSurface || !image || !image->surface) return;
  // Degrees, whole turns left out; a turn against the clock is three with it.
  const int32_t angle = (fields.angle % 360 + 360) % 360;
  win::IDirectDrawSurface7* turned = RotateSurfaceQuarterTurns(image->surface, angle);
  if (!turned || turned == image->surface) return;  // a failed turn keeps the picture as it was
  const uint32_t slot = ImageSlotOf(fields.image);
  Records().gImageRecords[slot].surface = turned;
  // The texture made from the old picture is given up; the next use makes one of the new.
  if (const int32_t texture = Records().gImageRecords[slot].textureSlot; texture > 0) {
    Records().gImageRecords[slot].textureSlot = 0;
    ReleaseTextureSlot(uint32_t(texture), 0);
  }
  // A quarter turn exchanges the sides of the picture.
  if ((angle / 90) % 2 == 1) {
    ImageRecord& turnedImage = Records().gImageRecords[slot];
    std::swap(turnedImage.width, turnedImage.height);
    std::swap(turnedImage.imageWidth, turnedImage.imageHeight);
    std::swap(turnedImage.madeWidth, turnedImage.madeHeight);
  }
}

// --- Shapes and colours ----------------------------------------------------------------------------

void Perform(DrawQueueItem& item, const ClearItem& fields) {
  if (!item.targetSurface) return;
  int32_t w = 0, h = 0;
  TargetSize(item.targetBitmap, &w, &h);
  const bool screen = item.targetBitmap == 0;
  const bool viewportSized = int32_t(Display().gViewport.dwWidth) == Display().gDisplayWidth &&
                             int32_t(Display().gViewport.dwHeight) == Display().gDisplayHeight;
  // Without a 3D device the fill does the device's work.
  if (Display().gD3DDevice &&
      (fields.deviceClear == 1 || (DrawQueue().gDrawBackColor.pixel == 0 && screen && viewportSized)))
    ClearViewport(fields.colour);
  else
    ColourFill(item.targetSurface, win::RECT{0, 0, w, h},
               fields.deviceClear == 1 ? 0 : DrawQueue().gDrawBackColor.pixel);
}

void Perform(DrawQueueItem& item, const DotItem& fields) {
  if (item.targetSurface)
    ColourFill(item.targetSurface, win::RECT{fields.x, fields.y, fields.x + 1, fields.y + 1},
               DrawQueue().gDrawInkColor.pixel);
}

void Perform(DrawQueueItem& item, const BoxItem& fields) {
  if (!item.targetSurface) return;
  int32_t w = 0, h = 0;
  TargetSize(item.targetBitmap, &w, &h);
  // Corners inclusive; the part on the target is filled.
  const win::RECT rect{std::max(fields.left, 0), std::max(fields.top, 0), std::min(WrapAdd(fields.right, 1), w),
                       std::min(WrapAdd(fields.bottom, 1), h)};
  if (rect.right > rect.left && rect.bottom > rect.top)
    ColourFill(item.targetSurface, rect, DrawQueue().gDrawInkColor.pixel);
}

void Perform(DrawQueueItem& item, const LineItem& fields) {
  if (item.targetSurface)
    DrawLine(item.targetSurface, fields.x1, fields.y1, fields.x2, fields.y2, DrawQueue().gDrawInkColor.pixel);
}

void Perform(DrawQueueItem& item, const EllipseItem& fields) {
  if (!item.targetSurface) return;
  const double rx = fields.radiusX, ry = fields.radiusY;
  const double cx = fields.x + 0.5, cy = fields.y + 0.5;
  double px = cx + rx, py = cy;
  for (int step = 0;; ++step) {
    const double a = -0.06 + 0.0628 * step;
    if (a > 6.33) break;
    const double nx = cx + rx * std::cos(a), ny = cy + ry * std::sin(a);
    DrawLine(item.targetSurface, TruncateToInt32(px), TruncateToInt32(py), TruncateToInt32(nx), TruncateToInt32(ny),
             DrawQueue().gDrawInkColor.pixel);
    px = nx, py = ny;
  }
}

void Perform(DrawQueueItem& item, const InkItem& fields) {
  if (!item.targetSurface) return;
  ComputePixelFormatShifts(item.targetSurface);
  SetDrawColors(fields.background, fields.ink);
}

void Perform(DrawQueueItem& item, const BackColourItem& fields) {
  if (!item.targetSurface) return;
  ComputePixelFormatShifts(item.targetSurface);
  SetDrawColors(fields.background, -1);
}

void Perform(DrawQueueItem& item, const ReadPixelItem& fields) {
  int32_t w = 0, h = 0;
  TargetSize(item.targetBitmap, &w, &h);
  if (item.targetSurface && fields.result && fields.x >= 0 && fields.y >= 0 && fields.x < w && fields.y < h)
    fields.result->i = int32_t(ReadSurfacePixel(item.targetSurface, fields.x, fields.y));
}

}  // namespace vx
