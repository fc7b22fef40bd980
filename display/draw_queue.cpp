// The 2D draw queue: the item pool, the enqueue operations and the executor that performs the
// waiting items once per frame preparation (see draw_queue.h). Each kind of item is performed by
// its own function (draw_queue_items.h).
#include "display/draw_queue.h"

#include <algorithm>
#include <cstring>

#include "common/runtime_hooks.h"
#include "display/display.h"
#include "display/draw_queue_items.h"
#include "display/text_fonts.h"
#include "surfaces/display_state.h"
#include "surfaces/surface_colours.h"
#include "surfaces/surface_records.h"

namespace vx {

DrawQueueState gDrawQueueState;

void ItemText::Set(const std::string& text) {
  const size_t length = std::min<size_t>(text.size(), sizeof chars - 1);
  std::memcpy(chars, text.data(), length);
  chars[length] = '\0';
}

win::IDirectDrawSurface7* SurfaceOfBitmap(int32_t n) {
  if (n == 0) return Display().gBackBuffer;
  return n > 0 && n < kBitmapSlots ? Display().gBitmaps[size_t(n)] : nullptr;
}

int32_t FramesFor(int32_t n) { return n == 0 ? DrawQueue().gScreenPersistFrames : 1; }

DrawQueueItem* TakeItem(DrawItemType type, int32_t frames) {
  const int32_t slot = DrawQueueAlloc();
  if (slot < 0) return nullptr;
  DrawQueueItem& item = DrawQueue().gDrawQueue[uint32_t(slot)];
  item.type = type;
  item.frames = frames;
  item.performed = 0;
  item.lastTurnWarning = 0;
  return &item;
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
  return number >= 0 && number < kNumberMapSize ? Records().gImageSlotById[size_t(number)] : 0;
}

namespace {

// Items that change what later items do are performed even while rendering is paused, so that a
// paused program's bitmaps, colours and fonts are there when it goes on; so are the saves it asked
// for, which nothing would perform later.
bool PerformedWhilePaused(DrawItemType type) {
  switch (type) {
    case DrawItemType::kSaveBitmap:
    case DrawItemType::kSaveImage:
    case DrawItemType::kSetBitmap:
    case DrawItemType::kLoadBitmap:
    case DrawItemType::kCreateBitmap:
    case DrawItemType::kDeleteBitmap:
    case DrawItemType::kInk:
    case DrawItemType::kBackColour:
    case DrawItemType::kTextFont:
    case DrawItemType::kTextSize:
    case DrawItemType::kTextOpaque:
    case DrawItemType::kTextTransparent:
    case DrawItemType::kTextNormal:
    case DrawItemType::kTextItalic:
    case DrawItemType::kTextBold:
    case DrawItemType::kTextBoldItalic: return true;
    default: return false;
  }
}

void PerformItem(DrawQueueItem& item) {
  item.performed = 1;
  std::visit([&item](auto& fields) { Perform(item, fields); }, item.fields);
}

// A screen item of a flip chain waiting for its first performance: what the run draws is kept for
// the other page.
bool DrawsForBothPages() {
  bool both = false;
  DrawQueue().gDrawQueue.ForEachUsed([&both](uint32_t slot) {
    const DrawQueueItem& item = DrawQueue().gDrawQueue[slot];
    if (!item.performed && item.frames > 1) both = true;
  });
  return both;
}

}  // namespace

void ReportAtLastFrame(DrawQueueItem& item, int32_t warning) {
  if (item.frames <= 0)
    RaiseRuntimeWarning(warning);
  else
    item.lastTurnWarning = warning;
}

void ResetDrawTarget() {
  ForgetPageDrawing();
  DrawQueue().gCurrentBitmap = DrawQueue().gExecBitmap = 0;
  DrawQueue().gCurrentSurface = DrawQueue().gExecSurface = Display().gBackBuffer;
  DrawQueue().gScreenPersistFrames = Display().gFlipChain ? 2 : 1;
  ComputePixelFormatShifts(Display().gBackBuffer);
  SetDrawColors(0x000000, 0xFFFFFF);
  // Images load and save through the display in use, never one that was made again since.
  AttachImageContextToDisplay();
}

int32_t DrawQueueAlloc() {
  if (!DrawQueue().gDrawQueue.Exists() && !DrawQueue().gDrawQueue.Create()) {
    ReportRecordPoolFull();
    return -1;
  }
  const uint32_t slot = DrawQueue().gDrawQueue.Take();
  if (slot == kNoRecordSlot) return -1;
  DrawQueueItem& item = DrawQueue().gDrawQueue[slot];
  item.targetBitmap = DrawQueue().gCurrentBitmap;
  item.targetSurface = DrawQueue().gCurrentSurface;
  DrawQueue().gDrawQueueCount = uint32_t(DrawQueue().gDrawQueue.usedCount);
  return int32_t(slot);
}

int32_t DrawQueueFree(int32_t slot) {
  if (slot < 0 || !DrawQueue().gDrawQueue.Free(uint32_t(slot))) return 0;
  DrawQueue().gDrawQueueCount = uint32_t(DrawQueue().gDrawQueue.usedCount);
  return 1;
}

void DrawQueueFlush() {
  DrawQueue().gDrawQueue.ForEachUsed([](uint32_t slot) { DrawQueueFree(int32_t(slot)); });
  ForgetPageDrawing();
}

void DropQueuedTarget(win::IDirectDrawSurface7* surface) {
  if (!surface || !DrawQueue().gDrawQueue.Exists()) return;
  DrawQueue().gDrawQueue.ForEachUsed([surface](uint32_t slot) {
    if (DrawQueue().gDrawQueue[slot].targetSurface == surface) DrawQueue().gDrawQueue[slot].targetSurface = nullptr;
  });
}

int32_t DrawQueueExecute() {
  if (!Display().gBackBuffer || !DrawQueue().gDrawQueue.Exists()) return 1;
  const bool drawing = Display().gRenderEnabled == 1;
  // The other page's drawing first: in queue order it stands before every item waiting now.
  if (drawing) CopyDrawingFromOtherPage();
  const bool bothPages = drawing && DrawsForBothPages();
  if (bothPages) KeepPageBeforeDrawing();
  DrawQueue().gDrawQueue.ForEachUsed([drawing](uint32_t slot) {
    DrawQueueItem& item = DrawQueue().gDrawQueue[slot];
    --item.frames;
    if (!item.performed && (drawing || PerformedWhilePaused(item.type))) PerformItem(item);
    if (DrawQueue().gDrawQueue[slot].frames > 0) return;
    const int32_t warning = DrawQueue().gDrawQueue[slot].lastTurnWarning;
    DrawQueueFree(int32_t(slot));
    if (warning) RaiseRuntimeWarning(warning);
  });
  if (bothPages) KeepDrawingForOtherPage();
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
  DrawQueue().gDrawBackColor = convert(uint32_t(background));
  if (ink != -1) DrawQueue().gDrawInkColor = convert(uint32_t(ink));
}

// --- Enqueue operations ----------------------------------------------------------------------------
// Items that change the screen wait a second frame with a flip chain (FramesFor), so that their
// drawing reaches the other page; drawing follows the current bitmap.

namespace {

template <class Fields>
int32_t Queue(int32_t frames, const Fields& fields) {
  return QueueItem(frames, fields) ? 1 : 0;
}

template <class Fields>
int32_t QueueText(int32_t frames, Fields fields, const std::string& text) {
  fields.text.Set(text);
  return Queue(frames, fields);
}

}  // namespace

int32_t QueueSetCurrentBitmap(int32_t n) {
  if (!Queue(1, SetBitmapItem{})) return 0;
  DrawQueue().gCurrentBitmap = n;
  DrawQueue().gCurrentSurface = SurfaceOfBitmap(n);
  return 1;
}

int32_t QueueLoadBitmap(int32_t n, const std::string& file) {
  LoadBitmapItem fields{n, {}};
  fields.file.Set(file);
  return Queue(FramesFor(n), fields);
}

int32_t QueueSaveBitmap(int32_t n, const std::string& file) {
  SaveBitmapItem fields{n, {}};
  fields.file.Set(file);
  return Queue(1, fields);
}

int32_t QueueCreateBitmap(int32_t n, int32_t width, int32_t height) {
  return Queue(1, CreateBitmapItem{n, width, height});
}

int32_t QueueDeleteBitmap(int32_t n) {
  if (!Queue(1, DeleteBitmapItem{n})) return 0;
  if (n == DrawQueue().gCurrentBitmap) {
    DrawQueue().gCurrentBitmap = 0;
    DrawQueue().gCurrentSurface = Display().gBackBuffer;
  }
  return 1;
}

int32_t QueueCopyBitmap(int32_t source, int32_t target) {
  return Queue(FramesFor(target), CopyBitmapItem{source, target, 1, {}, {}});
}

int32_t QueueCopyBitmapRect(int32_t source, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t target,
                            int32_t targetLeft, int32_t targetTop, int32_t targetRight, int32_t targetBottom) {
  return Queue(FramesFor(target), CopyBitmapItem{source,
                                                 target,
                                                 0,
                                                 {left, top, right, bottom},
                                                 {targetLeft, targetTop, targetRight, targetBottom}});
}

int32_t QueueMirrorBitmap(int32_t n) { return Queue(FramesFor(n), MirrorBitmapItem{n}); }
int32_t QueueFlipBitmap(int32_t n) { return Queue(FramesFor(n), FlipBitmapItem{n}); }
int32_t QueueBlurBitmap(int32_t n, int32_t value) { return Queue(FramesFor(n), BlurBitmapItem{n, value}); }
int32_t QueueFadeBitmap(int32_t n, int32_t value) { return Queue(FramesFor(n), FadeBitmapItem{n, value}); }

int32_t QueueGrabImage(int32_t imageNumber, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t flag) {
  if (!Queue(1, GrabImageItem{imageNumber, x1, y1, x2, y2, flag})) return 0;
  if (const uint32_t slot = ImageSlotOf(imageNumber); slot != 0 && Records().gImageRecords.IsTaken(slot)) {
    Records().gImageRecords[slot].width = WrapSub(x2, x1);
    Records().gImageRecords[slot].height = WrapSub(y2, y1);
  }
  return 1;
}

int32_t QueuePasteImage(int32_t imageNumber, int32_t x, int32_t y) {
  return Queue(FramesFor(DrawQueue().gCurrentBitmap), PasteImageItem{imageNumber, x, y, 0});
}

int32_t QueuePasteImageKeyed(int32_t imageNumber, int32_t x, int32_t y) {
  return Queue(FramesFor(DrawQueue().gCurrentBitmap), PasteImageItem{imageNumber, x, y, 1});
}

int32_t QueuePasteSprite(int32_t spriteNumber, int32_t x, int32_t y) {
  return Queue(FramesFor(DrawQueue().gCurrentBitmap), PasteSpriteItem{spriteNumber, x, y});
}

int32_t QueueSaveImage(int32_t imageNumber, const std::string& file) {
  SaveImageItem fields{imageNumber, {}};
  fields.file.Set(file);
  return Queue(1, fields);
}

int32_t QueueRotateImage(int32_t imageNumber, int32_t angle) { return Queue(1, RotateImageItem{imageNumber, angle}); }

int32_t QueueClearScreen() { return Queue(FramesFor(DrawQueue().gCurrentBitmap), ClearItem{0, 0}); }
int32_t QueueDeviceClear(uint32_t colour) { return Queue(FramesFor(DrawQueue().gCurrentBitmap), ClearItem{1, colour}); }

int32_t QueueDot(int32_t x, int32_t y) { return Queue(FramesFor(DrawQueue().gCurrentBitmap), DotItem{x, y}); }
int32_t QueueBox(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return Queue(FramesFor(DrawQueue().gCurrentBitmap), BoxItem{left, top, right, bottom});
}
int32_t QueueLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  return Queue(FramesFor(DrawQueue().gCurrentBitmap), LineItem{x1, y1, x2, y2});
}
int32_t QueueEllipse(int32_t x, int32_t y, int32_t radiusX, int32_t radiusY) {
  return Queue(FramesFor(DrawQueue().gCurrentBitmap), EllipseItem{x, y, float(radiusX), float(radiusY)});
}
int32_t QueueInk(int32_t ink, int32_t background) {
  return Queue(FramesFor(DrawQueue().gCurrentBitmap), InkItem{ink, background});
}
int32_t QueueClearColor(int32_t colour) { return Queue(FramesFor(DrawQueue().gCurrentBitmap), BackColourItem{colour}); }

int32_t QueueReadPixel(int32_t x, int32_t y, ValueSlot* result) {
  // One frame, even with a flip chain: it draws nothing, and the program reads the value in the
  // next slice.
  return Queue(1, ReadPixelItem{x, y, result});
}

int32_t QueuePrintText(const std::string& text, int32_t* cursorX, int32_t* cursorY, int32_t sameLine, int32_t opaque,
                       int32_t wrap) {
  DrawQueueItem* item = QueueItem(FramesFor(DrawQueue().gCurrentBitmap), PrintTextItem{*cursorX, *cursorY, opaque, {}});
  if (!item) return 0;
  PrintTextItem& fields = std::get<PrintTextItem>(item->fields);
  fields.text.Set(text);
  const win::SIZE size = MeasureInDefaultFont(fields.text.chars);  // what is drawn, cut at 255
  if (sameLine) {
    *cursorX = WrapAdd(*cursorX, size.cx);
  } else {
    *cursorX = 0;
    *cursorY = WrapAdd(*cursorY, size.cy);
  }
  if (wrap && *cursorX >= Display().gDisplayWidth) {
    *cursorX = 0;
    *cursorY = WrapAdd(*cursorY, size.cy);
  }
  return 1;
}

int32_t QueueEraseText(const std::string& text, int32_t cursorX, int32_t cursorY) {
  return QueueText(FramesFor(DrawQueue().gCurrentBitmap), EraseTextItem{cursorX, cursorY, {}}, text);
}

int32_t QueueTextFont(const std::string& face, int32_t charset) {
  TextFontItem fields{charset, {}};
  fields.face.Set(face);
  return Queue(1, fields);
}

int32_t QueueTextSize(int32_t size) { return Queue(1, TextSizeItem{size}); }
int32_t QueueTextOpaque() { return Queue(1, TextOpaqueItem{}); }
int32_t QueueTextTransparent() { return Queue(1, TextTransparentItem{}); }
int32_t QueueTextNormal() { return Queue(1, TextNormalItem{}); }
int32_t QueueTextItalic() { return Queue(1, TextItalicItem{}); }
int32_t QueueTextBold() { return Queue(1, TextBoldItem{}); }
int32_t QueueTextBoldItalic() { return Queue(1, TextBoldItalicItem{}); }

int32_t QueueDrawText(int32_t x, int32_t y, const std::string& text) {
  return QueueText(FramesFor(DrawQueue().gCurrentBitmap), DrawTextItem{x, y, {}}, text);
}

int32_t QueueDrawTextCentred(int32_t x, int32_t y, const std::string& text) {
  return QueueText(FramesFor(DrawQueue().gCurrentBitmap), DrawTextCentredItem{x, y, {}}, text);
}

}  // namespace vx
