// The 2D draw queue: the item pool, the enqueue operations and the executor that performs the
// waiting items once per frame preparation (see draw_queue.h).
#include "display/draw_queue.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "common/runtime_hooks.h"
#include "display/display_state.h"
#include "display/draw_queue_items.h"
#include "display/surface_colours.h"
#include "display/text_fonts.h"
#include "engine3d/engine_textures.h"
#include "engine3d/records.h"
#include "engine3d/surface_primitives.h"
#include "engine3d/texture_surface.h"
#include "system/system_state.h"

namespace vx {

RecordPool<DrawQueueItem> gDrawQueue(1024, 4);
uint32_t gDrawQueueCount = 0;
int32_t gCurrentBitmap = 0;
win::IDirectDrawSurface7* gCurrentSurface = nullptr;
uint8_t gScreenPersistFrames = 1;
DrawColour gDrawBackColor, gDrawInkColor;
int32_t gExecBitmap = 0;
win::IDirectDrawSurface7* gExecSurface = nullptr;

win::IDirectDrawSurface7* SurfaceOfBitmap(int32_t n) {
  if (n == 0) return gBackBuffer;
  return n > 0 && n < kBitmapSlots ? gBitmaps[size_t(n)] : nullptr;
}

int32_t FramesFor(int32_t n) { return n == 0 ? gScreenPersistFrames : 1; }

DrawQueueItem* QueueItem(int32_t type, int32_t frames) {
  const int32_t slot = DrawQueueAlloc();
  if (slot < 0) return nullptr;
  DrawQueueItem& item = gDrawQueue[uint32_t(slot)];
  item.type = type;
  item.frames = frames;
  item.result = nullptr;
  item.coloursKept = 0;
  item.keptFont = nullptr;
  return &item;
}

void SetItemText(DrawQueueItem& item, const std::string& text) {
  const size_t length = std::min<size_t>(text.size(), sizeof item.params.text - 1);
  std::memcpy(item.params.text, text.data(), length);
  item.params.text[length] = '\0';
}

win::IDirectDrawSurface7* CheckedBitmap(int32_t n) {
  if (!IsProgramBitmap(n)) {
    RaiseRuntimeError(kErrBitmapNumberOutOfRange);
    return nullptr;
  }
  win::IDirectDrawSurface7* surface = SurfaceOfBitmap(n);
  if (!surface) RaiseRuntimeError(kErrBitmapNotExist);
  return surface;
}

uint32_t ImageSlotOf(int32_t number) {
  return number >= 0 && number < kNumberMapSize ? gImageSlotById[size_t(number)] : 0;
}

namespace {

int32_t QueueNumbered(int32_t type, int32_t n, int32_t frames) {
  DrawQueueItem* item = QueueItem(type, frames);
  if (!item) return 0;
  item->number = n;
  return 1;
}

int32_t QueueAt(int32_t type, int32_t x, int32_t y, int32_t x2, int32_t y2) {
  DrawQueueItem* item = QueueItem(type, FramesFor(gCurrentBitmap));
  if (!item) return 0;
  item->x = x, item->y = y, item->x2 = x2, item->y2 = y2;
  return 1;
}

// The retried colour fill: busy is tried again, lost is restored and tried again.
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

void Perform(DrawQueueItem& item) {
  win::IDirectDrawSurface7* target = item.targetSurface;
  // Colour items of the frame before keep the colours they were first drawn with.
  if (!item.coloursKept) {
    item.keptInk = gDrawInkColor;
    item.keptBack = gDrawBackColor;
    item.coloursKept = 1;
  }
  const uint32_t ink = item.keptInk.pixel;
  switch (item.type) {
    case kSetBitmap: {
      const int32_t n = gCurrentBitmap;
      if (!IsProgramBitmap(n)) {
        RaiseRuntimeError(kErrBitmapNumberOutOfRange);
        break;
      }
      if (n > 0 && !gBitmaps[size_t(n)]) {
        RaiseRuntimeError(kErrBitmapNotExist);
        break;
      }
      gExecBitmap = n;
      gExecSurface = SurfaceOfBitmap(n);
      break;
    }
    case kCreateBitmap: {
      const int32_t n = item.number;
      if (n == 0) {
        RaiseRuntimeError(kErrScreenBitmapNotCreated);
        break;
      }
      if (!IsProgramBitmap(n)) {
        RaiseRuntimeError(kErrBitmapNumberOutOfRange);
        break;
      }
      if (!CreateBitmapSurface(n, item.x2, item.y2)) {
        RaiseRuntimeError(kErrBitmapNotCreated);
        break;
      }
      gExecBitmap = gCurrentBitmap = n;
      gExecSurface = gCurrentSurface = gBitmaps[size_t(n)];
      break;
    }
    case kDeleteBitmap: {
      const int32_t n = item.number;
      if (!IsProgramBitmap(n)) {
        RaiseRuntimeError(kErrBitmapNumberOutOfRange);
      } else if (n < 1) {
        RaiseRuntimeError(kErrScreenBitmapNotDeleted);
      } else if (!gBitmaps[size_t(n)]) {
        RaiseRuntimeError(kErrBitmapNotExist);
      } else {
        // Items still waiting for this bitmap must not draw on a released surface.
        win::IDirectDrawSurface7* gone = gBitmaps[size_t(n)];
        gDrawQueue.ForEachUsed([&](uint32_t s) {
          if (gDrawQueue[s].targetSurface == gone) gDrawQueue[s].targetSurface = nullptr;
        });
        ReleaseBitmapSurface(n);
        if (n == gExecBitmap) {
          gExecBitmap = 0;
          gExecSurface = gBackBuffer;
        }
      }
      break;
    }
    case kMirrorBitmap:
    case kFlipBitmap: {
      if (win::IDirectDrawSurface7* s = CheckedBitmap(item.number))
        item.type == kMirrorBitmap ? MirrorSurface(s) : FlipSurface(s);
      break;
    }
    case kBlurBitmap:
    case kFadeBitmap: {
      win::IDirectDrawSurface7* s = CheckedBitmap(item.number);
      if (!s) break;
      const int32_t v = item.params.p[0];
      if (item.type == kBlurBitmap) {
        if (v < 1 || v > 8) RaiseRuntimeError(kErrBlurValueOutOfRange); else BlurSurface(s, v);
      } else {
        if (v < 0 || v > 100) RaiseRuntimeError(kErrFadeValueOutOfRange); else FadeSurface(s, v);
      }
      break;
    }
    case kGrabImage: {
      const uint32_t slot = ImageSlotOf(item.number);
      if (!target || slot == 0 || !gImageRecords.IsTaken(slot)) break;
      int32_t w = 0, h = 0;
      TargetSize(item.targetBitmap, &w, &h);
      if (item.x2 <= item.x || item.y2 <= item.y) {
        RaiseRuntimeError(kErrGrabAreaEmpty);
        break;
      }
      if (item.x < 0 || item.y < 0 || item.x2 > w || item.y2 > h) {
        RaiseRuntimeError(kErrGrabAreaOutside);
        break;
      }
      const int32_t flag = item.params.p[0];
      const int32_t grabbed = target == gBackBuffer
                                  ? GrabScreenImage(slot, item.x, item.y, item.x2, item.y2, flag)
                                  : GrabBitmapImage(slot, item.targetBitmap, item.x, item.y, item.x2, item.y2, flag);
      if (!grabbed) {
        RaiseRuntimeError(kErrImageGrabOrPasteFailed);
        break;
      }
      if (flag > 0) {
        const int32_t texture = gImageRecords[slot].textureSlot;
        if (texture <= 0) {
          GetImageTexture(slot, 1, 0);
        } else if (gTextureRecords.IsTaken(uint32_t(texture))) {
          TextureSurface& t = gTextureRecords[uint32_t(texture)].texture;
          t.dxt1 = flag == 2 ? 1 : 0;
          PreloadTexture(t);
        }
      }
      break;
    }
    case kPasteImage: {
      const uint32_t slot = ImageSlotOf(item.number);
      if (!target || slot == 0 || !gImageRecords.IsTaken(slot) || !gImageRecords[slot].valid) break;
      for (int k = 0; k < std::clamp(gBlitOverdraw, 1, 2); ++k) {
        const ImageRecord& image = gImageRecords[slot];
        if (!BlitImageToSurface(target, item.targetBitmap, slot, item.x, item.y, image.width, image.height, item.x2))
          RaiseRuntimeError(kErrImageGrabOrPasteFailed);
      }
      break;
    }
    case kPasteSprite: {
      // Slot 0 is a real item of this pool, so the item must still be this sprite.
      const uint32_t slot =
          item.number >= 0 && item.number < kNumberMapSize ? gSpriteSlotById[size_t(item.number)] : 0;
      if (target && gRenderItems.IsTaken(slot) && gRenderItems[slot].spriteNumber == item.number)
        DrawSpriteToSurface(target, item.targetBitmap, slot, item.x, item.y);
      break;
    }
    case kRotateImage: {
      const uint32_t slot = ImageSlotOf(item.number);
      if (!target || slot == 0 || !gImageRecords.IsTaken(slot) || !gImageRecords[slot].surface) break;
      ImageRecord& image = gImageRecords[slot];
      win::IDirectDrawSurface7* turned = RotateSurfaceQuarterTurns(image.surface, item.x);
      if (!turned) break;
      if (turned != image.surface) {
        image.surface = turned;
        image.textureSlot = 0;
        // A quarter turn exchanges the sides of the picture.
        if ((item.x / 90) % 2 == 1) {
          std::swap(image.width, image.height);
          std::swap(image.imageWidth, image.imageHeight);
          std::swap(image.madeWidth, image.madeHeight);
        }
      }
      break;
    }
    case kClear: {
      if (!target) break;
      int32_t w = 0, h = 0;
      TargetSize(item.targetBitmap, &w, &h);
      const bool screen = item.targetBitmap == 0;
      const bool viewportSized = int32_t(gViewport.dwWidth) == gDisplayWidth &&
                                 int32_t(gViewport.dwHeight) == gDisplayHeight;
      // Without a 3D device the fill does the device's work.
      if (gD3DDevice && (item.params.p[0] == 1 || (item.keptBack.pixel == 0 && screen && viewportSized)))
        ClearViewport(uint32_t(item.params.p[1]));
      else
        ColourFill(target, win::RECT{0, 0, w, h}, item.params.p[0] == 1 ? 0 : item.keptBack.pixel);
      break;
    }
    case kDot:
      if (target) ColourFill(target, win::RECT{item.x, item.y, item.x + 1, item.y + 1}, ink);
      break;
    case kBox: {
      if (!target) break;
      int32_t w = 0, h = 0;
      TargetSize(item.targetBitmap, &w, &h);
      // Corners inclusive; the part on the target is filled.
      const win::RECT rect{std::max(item.x, 0), std::max(item.y, 0), std::min(WrapAdd(item.x2, 1), w),
                           std::min(WrapAdd(item.y2, 1), h)};
      if (rect.right > rect.left && rect.bottom > rect.top) ColourFill(target, rect, ink);
      break;
    }
    case kLine:
      if (target) DrawLine(target, item.x, item.y, item.x2, item.y2, ink);
      break;
    case kEllipse: {
      if (!target) break;
      const double rx = std::bit_cast<float>(item.x2), ry = std::bit_cast<float>(item.y2);
      const double cx = item.x + 0.5, cy = item.y + 0.5;
      double px = cx + rx, py = cy;
      for (int step = 0;; ++step) {
        const double a = -0.06 + 0.0628 * step;
        if (a > 6.33) break;
        const double nx = cx + rx * std::cos(a), ny = cy + ry * std::sin(a);
        DrawLine(target, TruncateToInt32(px), TruncateToInt32(py), TruncateToInt32(nx), TruncateToInt32(ny), ink);
        px = nx, py = ny;
      }
      break;
    }
    case kInk:
    case kBackColour:
      if (!target) break;
      ComputePixelFormatShifts(target);
      SetDrawColors(item.x2, item.type == kInk ? item.y2 : -1);
      item.keptInk = gDrawInkColor;
      item.keptBack = gDrawBackColor;
      break;
    case kReadPixel: {
      int32_t w = 0, h = 0;
      TargetSize(item.targetBitmap, &w, &h);
      if (target && item.result && item.x >= 0 && item.y >= 0 && item.x < w && item.y < h)
        item.result->i = int32_t(ReadSurfacePixel(target, item.x, item.y));
      break;
    }
    default:
      if (!PerformTextItem(item)) PerformBitmapFileItem(item);
      break;
  }
}

// Items that change what later items do are performed even while rendering is paused, so that a
// paused program's bitmaps, colours and fonts are there when it goes on.
bool ChangesState(int32_t type) {
  switch (type) {
    case kSetBitmap:
    case kLoadBitmap:
    case kCreateBitmap:
    case kDeleteBitmap:
    case kInk:
    case kBackColour:
    case kTextFont:
    case kTextSize:
    case kTextOpaque:
    case kTextTransparent:
    case kTextNormal:
    case kTextItalic:
    case kTextBold:
    case kTextBoldItalic:
      return true;
    default:
      return false;
  }
}

}  // namespace

void ResetDrawTarget() {
  gCurrentBitmap = gExecBitmap = 0;
  gCurrentSurface = gExecSurface = gBackBuffer;
  gScreenPersistFrames = gFlipChain ? 2 : 1;
  ComputePixelFormatShifts(gBackBuffer);
  SetDrawColors(0x000000, 0xFFFFFF);
}

int32_t DrawQueueAlloc() {
  if (!gDrawQueue.Exists() && !gDrawQueue.Create()) {
    ReportRecordPoolFull();
    return -1;
  }
  const uint32_t slot = gDrawQueue.Take();
  if (slot == kNoRecordSlot) return -1;
  DrawQueueItem& item = gDrawQueue[slot];
  item.targetBitmap = gCurrentBitmap;
  item.targetSurface = gCurrentSurface;
  gDrawQueueCount = uint32_t(gDrawQueue.usedCount);
  return int32_t(slot);
}

int32_t DrawQueueFree(int32_t slot) {
  if (slot < 0 || !gDrawQueue.Free(uint32_t(slot))) return 0;
  gDrawQueueCount = uint32_t(gDrawQueue.usedCount);
  return 1;
}

void DrawQueueFlush() {
  gDrawQueue.ForEachUsed([](uint32_t slot) { DrawQueueFree(int32_t(slot)); });
}

int32_t DrawQueueExecute() {
  if (!gBackBuffer || !gDrawQueue.Exists()) return 1;
  gDrawQueue.ForEachUsed([](uint32_t slot) {
    DrawQueueItem& item = gDrawQueue[slot];
    --item.frames;
    if (gRenderEnabled == 1 || ChangesState(item.type)) Perform(item);
    if (gDrawQueue[slot].frames <= 0) DrawQueueFree(int32_t(slot));
  });
  return 1;
}

void SetDrawColors(int32_t background, int32_t ink) {
  auto convert = [](uint32_t c) {
    DrawColour out;
    out.pixel = RgbToSurfacePixel(c);
    const uint32_t shown = SurfacePixelToRgb(out.pixel);  // the colour the pixel really has
    out.red = uint8_t(shown >> 16), out.green = uint8_t(shown >> 8), out.blue = uint8_t(shown);
    return out;
  };
  gDrawBackColor = convert(uint32_t(background));
  if (ink != -1) gDrawInkColor = convert(uint32_t(ink));
}

int32_t QueueSetCurrentBitmap(int32_t n) {
  if (!QueueItem(kSetBitmap, 1)) return 0;
  gCurrentBitmap = n;
  gCurrentSurface = SurfaceOfBitmap(n);
  return 1;
}

int32_t QueueCreateBitmap(int32_t n, int32_t width, int32_t height) {
  DrawQueueItem* item = QueueItem(kCreateBitmap, 1);
  if (!item) return 0;
  item->number = n, item->x2 = width, item->y2 = height;
  return 1;
}

int32_t QueueDeleteBitmap(int32_t n) {
  if (!QueueNumbered(kDeleteBitmap, n, 1)) return 0;
  if (n == gCurrentBitmap) {
    gCurrentBitmap = 0;
    gCurrentSurface = gBackBuffer;
  }
  return 1;
}

int32_t QueueMirrorBitmap(int32_t n) { return QueueNumbered(kMirrorBitmap, n, FramesFor(n)); }
int32_t QueueFlipBitmap(int32_t n) { return QueueNumbered(kFlipBitmap, n, FramesFor(n)); }

int32_t QueueBlurBitmap(int32_t n, int32_t value) {
  if (!QueueNumbered(kBlurBitmap, n, FramesFor(n))) return 0;
  gDrawQueue[uint32_t(gDrawQueue.usedTail)].params.p[0] = value;
  return 1;
}

int32_t QueueFadeBitmap(int32_t n, int32_t value) {
  if (!QueueNumbered(kFadeBitmap, n, FramesFor(n))) return 0;
  gDrawQueue[uint32_t(gDrawQueue.usedTail)].params.p[0] = value;
  return 1;
}

int32_t QueuePasteImage(int32_t imageNumber, int32_t x, int32_t y) {
  if (!QueueAt(kPasteImage, x, y, 0, 0)) return 0;
  gDrawQueue[uint32_t(gDrawQueue.usedTail)].number = imageNumber;
  return 1;
}

int32_t QueuePasteImageKeyed(int32_t imageNumber, int32_t x, int32_t y) {
  if (!QueueAt(kPasteImage, x, y, 1, 0)) return 0;
  gDrawQueue[uint32_t(gDrawQueue.usedTail)].number = imageNumber;
  return 1;
}

int32_t QueuePasteSprite(int32_t spriteNumber, int32_t x, int32_t y) {
  if (!QueueAt(kPasteSprite, x, y, 0, 0)) return 0;
  gDrawQueue[uint32_t(gDrawQueue.usedTail)].number = spriteNumber;
  return 1;
}

int32_t QueueRotateImage(int32_t imageNumber, int32_t angle) {
  DrawQueueItem* item = QueueItem(kRotateImage, 1);
  if (!item) return 0;
  item->number = imageNumber, item->x = angle;
  return 1;
}

int32_t QueueClearScreen() {
  if (!QueueAt(kClear, 0, 0, 0, 0)) return 0;
  DrawQueueItem& item = gDrawQueue[uint32_t(gDrawQueue.usedTail)];
  item.params.p[0] = item.params.p[1] = 0;
  return 1;
}

int32_t QueueDeviceClear(uint32_t colour) {
  if (!QueueAt(kClear, 0, 0, 0, 0)) return 0;
  DrawQueueItem& item = gDrawQueue[uint32_t(gDrawQueue.usedTail)];
  item.params.p[0] = 1;
  item.params.p[1] = int32_t(colour);
  return 1;
}

int32_t QueueDot(int32_t x, int32_t y) { return QueueAt(kDot, x, y, 0, 0); }
int32_t QueueBox(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return QueueAt(kBox, left, top, right, bottom);
}
int32_t QueueLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) { return QueueAt(kLine, x1, y1, x2, y2); }
int32_t QueueEllipse(int32_t x, int32_t y, int32_t radiusX, int32_t radiusY) {
  return QueueAt(kEllipse, x, y, std::bit_cast<int32_t>(float(radiusX)), std::bit_cast<int32_t>(float(radiusY)));
}
int32_t QueueInk(int32_t ink, int32_t background) { return QueueAt(kInk, 0, 0, background, ink); }
int32_t QueueClearColor(int32_t colour) { return QueueAt(kBackColour, 0, 0, colour, 0); }

int32_t QueueReadPixel(int32_t x, int32_t y, ValueSlot* result) {
  // Once, even with a flip chain: a second read a frame later would overwrite a value the program
  // may already have changed.
  DrawQueueItem* item = QueueItem(kReadPixel, 1);
  if (!item) return 0;
  item->x = x, item->y = y, item->result = result;
  return 1;
}

namespace {

DrawQueueItem* QueueText(int32_t type, int32_t frames, const std::string& text) {
  DrawQueueItem* item = QueueItem(type, frames);
  if (item) SetItemText(*item, text);
  return item;
}

}  // namespace

int32_t QueueLoadBitmap(int32_t n, const std::string& file) {
  DrawQueueItem* item = QueueText(kLoadBitmap, FramesFor(n), file);
  if (!item) return 0;
  item->number = n;
  return 1;
}

int32_t QueueSaveBitmap(int32_t n, const std::string& file) {
  DrawQueueItem* item = QueueText(kSaveBitmap, 1, file);
  if (!item) return 0;
  item->number = n;
  return 1;
}

int32_t QueueCopyBitmap(int32_t source, int32_t target) {
  DrawQueueItem* item = QueueItem(kCopyBitmap, FramesFor(target));
  if (!item) return 0;
  item->number = source, item->x = 0;
  item->params.p[4] = target;
  return 1;
}

int32_t QueueCopyBitmapRect(int32_t source, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t target,
                            int32_t targetLeft, int32_t targetTop, int32_t targetRight, int32_t targetBottom) {
  DrawQueueItem* item = QueueItem(kCopyBitmap, FramesFor(target));
  if (!item) return 0;
  item->number = source, item->x = 1;
  const int32_t p[9] = {left, top, right, bottom, target, targetLeft, targetTop, targetRight, targetBottom};
  std::memcpy(item->params.p, p, sizeof p);
  return 1;
}

int32_t QueueGrabImage(int32_t imageNumber, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t flag) {
  DrawQueueItem* item = QueueItem(kGrabImage, 1);
  if (!item) return 0;
  item->number = imageNumber, item->x = x1, item->y = y1, item->x2 = x2, item->y2 = y2;
  item->params.p[0] = flag;
  if (const uint32_t slot = ImageSlotOf(imageNumber); slot != 0 && gImageRecords.IsTaken(slot)) {
    gImageRecords[slot].width = WrapSub(x2, x1);
    gImageRecords[slot].height = WrapSub(y2, y1);
  }
  return 1;
}

int32_t QueueSaveImage(int32_t imageNumber, const std::string& file) {
  DrawQueueItem* item = QueueText(kSaveImage, 1, file);
  if (!item) return 0;
  item->number = imageNumber;
  return 1;
}

int32_t QueuePrintText(const std::string& text, int32_t* cursorX, int32_t* cursorY, int32_t sameLine,
                       int32_t opaque, int32_t wrap) {
  DrawQueueItem* item = QueueText(kPrintText, FramesFor(gCurrentBitmap), text);
  if (!item) return 0;
  item->x = *cursorX, item->y = *cursorY, item->opaque = opaque;
  const win::SIZE size = MeasureInDefaultFont(item->params.text);  // what is drawn, cut at 255
  if (sameLine) {
    *cursorX = WrapAdd(*cursorX, size.cx);
  } else {
    *cursorX = 0;
    *cursorY = WrapAdd(*cursorY, size.cy);
  }
  if (wrap && *cursorX >= gDisplayWidth) {
    *cursorX = 0;
    *cursorY = WrapAdd(*cursorY, size.cy);
  }
  return 1;
}

int32_t QueueEraseText(const std::string& text, int32_t cursorX, int32_t cursorY) {
  DrawQueueItem* item = QueueText(kEraseText, FramesFor(gCurrentBitmap), text);
  if (!item) return 0;
  item->x = cursorX, item->y = cursorY;
  return 1;
}

int32_t QueueTextFont(const std::string& face, int32_t charset) {
  DrawQueueItem* item = QueueText(kTextFont, 1, face);
  if (!item) return 0;
  item->x = charset;
  return 1;
}

int32_t QueueTextSize(int32_t size) {
  DrawQueueItem* item = QueueItem(kTextSize, 1);
  if (!item) return 0;
  item->params.p[0] = size;
  return 1;
}

int32_t QueueTextOpaque() { return QueueItem(kTextOpaque, 1) ? 1 : 0; }
int32_t QueueTextTransparent() { return QueueItem(kTextTransparent, 1) ? 1 : 0; }
int32_t QueueTextNormal() { return QueueItem(kTextNormal, 1) ? 1 : 0; }
int32_t QueueTextItalic() { return QueueItem(kTextItalic, 1) ? 1 : 0; }
int32_t QueueTextBold() { return QueueItem(kTextBold, 1) ? 1 : 0; }
int32_t QueueTextBoldItalic() { return QueueItem(kTextBoldItalic, 1) ? 1 : 0; }

int32_t QueueDrawText(int32_t x, int32_t y, const std::string& text) {
  DrawQueueItem* item = QueueText(kDrawText, FramesFor(gCurrentBitmap), text);
  if (!item) return 0;
  item->x = x, item->y = y;
  return 1;
}

int32_t QueueDrawTextCentred(int32_t x, int32_t y, const std::string& text) {
  DrawQueueItem* item = QueueText(kDrawTextCentred, FramesFor(gCurrentBitmap), text);
  if (!item) return 0;
  item->x = x, item->y = y;
  return 1;
}

}  // namespace vx
