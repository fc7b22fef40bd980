// What the draw queue's item files share: the item types, the enqueue step and the retried
// surface work. The executor hands text items and bitmap-file items to their own files.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>

#include "display/draw_queue.h"
#include "engine3d/surface_primitives.h"

namespace vx {

enum DrawItemType : int32_t {
  kSetBitmap = 1,
  kLoadBitmap = 2,
  kSaveBitmap = 3,
  kCreateBitmap = 4,
  kDeleteBitmap = 5,
  kCopyBitmap = 6,
  kMirrorBitmap = 8,
  kFlipBitmap = 9,
  kBlurBitmap = 10,
  kFadeBitmap = 11,
  kGrabImage = 51,
  kPasteImage = 52,
  kPasteSprite = 54,
  kSaveImage = 55,
  kRotateImage = 56,
  kClear = 101,
  kPrintText = 102,
  kDot = 103,
  kBox = 104,
  kLine = 105,
  kEllipse = 106,
  kInk = 107,
  kBackColour = 108,
  kReadPixel = 109,
  kEraseText = 110,
  kTextFont = 201,
  kTextSize = 202,
  kTextOpaque = 205,
  kTextTransparent = 206,
  kTextNormal = 207,
  kTextItalic = 208,
  kTextBold = 209,
  kTextBoldItalic = 210,
  kDrawText = 212,
  kDrawTextCentred = 213,
};

// The surface of bitmap n: the back buffer for 0, null for an empty slot or a bad number.
win::IDirectDrawSurface7* SurfaceOfBitmap(int32_t n);
// Frames of an item drawn on bitmap n: the screen's persistence, or once for a bitmap.
int32_t FramesFor(int32_t n);
// Takes an item and sets its type and frames; null when the pool could not grow.
DrawQueueItem* QueueItem(int32_t type, int32_t frames);
// Copies text into the item's parameter area, cut to 255 characters.
void SetItemText(DrawQueueItem& item, const std::string& text);
// The item's text, never beyond its parameter area.
inline std::string ItemText(const DrawQueueItem& item) {
  return std::string(item.params.text, strnlen(item.params.text, sizeof item.params.text - 1));
}
// Checks a bitmap number as the bitmap items do; its surface, or null after kErrBitmapNumberOutOfRange or kErrBitmapNotExist.
win::IDirectDrawSurface7* CheckedBitmap(int32_t n);

// The ImageRecord slot of an image number, 0 when it has none.
uint32_t ImageSlotOf(int32_t number);

// Performs the item when it is one of the file's types; false for any other type.
bool PerformTextItem(DrawQueueItem& item);
bool PerformBitmapFileItem(DrawQueueItem& item);

}  // namespace vx
