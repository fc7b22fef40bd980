// What the draw queue's files share: the enqueue step, the bitmap and image lookups the items
// make, and the performance of each kind of item, one function each, which the executor
// (draw_queue.cpp) calls for the item's fields. Drawing items are in draw_queue_drawing.cpp, text
// items in draw_queue_text.cpp, bitmap-file items in draw_queue_bitmaps.cpp.
#pragma once
#include <cstdint>
#include <string>

#include "display/draw_queue.h"
#include "surfaces/surface_primitives.h"

namespace vx {

// The surface of bitmap n: the back buffer for 0, null for an empty slot or a bad number.
win::IDirectDrawSurface7* SurfaceOfBitmap(int32_t n);
// Frames of an item drawn on bitmap n: the screen's persistence, or once for a bitmap.
int32_t FramesFor(int32_t n);
// Takes an item of the fields' kind, with the frames and the fields; null when the pool could not
// grow. Every field of the kind is written, whatever the slot held before.
DrawQueueItem* TakeItem(DrawItemType type, int32_t frames);
template <class Fields>
DrawQueueItem* QueueItem(int32_t frames, const Fields& fields) {
  DrawQueueItem* item = TakeItem(Fields::kType, frames);
  if (item) item->fields = fields;
  return item;
}
// Checks a bitmap number as the bitmap items do; its surface, or null after kErrBitmapNumberOutOfRange
// or kErrBitmapNotExist.
win::IDirectDrawSurface7* CheckedBitmap(int32_t n);
// The ImageRecord slot of an image number, 0 when it has none.
uint32_t ImageSlotOf(int32_t number);

// An item's soft error, raised now at its last frame or else kept until that frame ends: a screen
// item of a flip chain reports when its second page has been shown.
void ReportAtLastFrame(DrawQueueItem& item, int32_t warning);

// --- The second page of a flip chain (draw_queue_pages.cpp) ------------------------------------------
// Before the queue runs: writes onto the back buffer the drawing kept from the other page, when the
// back buffer is now that other page.
void CopyDrawingFromOtherPage();
// Around a run of the queue that performs screen items: the page as the queue finds it, and
// afterwards the pixels that the run changed, kept for the other page.
void KeepPageBeforeDrawing();
void KeepDrawingForOtherPage();
// The display changed or the queue was emptied: nothing waits for the other page.
void ForgetPageDrawing();

// --- Performing one item, by kind -------------------------------------------------------------------
// Bitmaps and images (draw_queue_drawing.cpp).
void Perform(DrawQueueItem& item, const SetBitmapItem& fields);
void Perform(DrawQueueItem& item, const CreateBitmapItem& fields);
void Perform(DrawQueueItem& item, const DeleteBitmapItem& fields);
void Perform(DrawQueueItem& item, const MirrorBitmapItem& fields);
void Perform(DrawQueueItem& item, const FlipBitmapItem& fields);
void Perform(DrawQueueItem& item, const BlurBitmapItem& fields);
void Perform(DrawQueueItem& item, const FadeBitmapItem& fields);
void Perform(DrawQueueItem& item, const GrabImageItem& fields);
void Perform(DrawQueueItem& item, const PasteImageItem& fields);
void Perform(DrawQueueItem& item, const PasteSpriteItem& fields);
void Perform(DrawQueueItem& item, const RotateImageItem& fields);
// Shapes and colours (draw_queue_drawing.cpp).
void Perform(DrawQueueItem& item, const ClearItem& fields);
void Perform(DrawQueueItem& item, const DotItem& fields);
void Perform(DrawQueueItem& item, const BoxItem& fields);
void Perform(DrawQueueItem& item, const LineItem& fields);
void Perform(DrawQueueItem& item, const EllipseItem& fields);
void Perform(DrawQueueItem& item, const InkItem& fields);
void Perform(DrawQueueItem& item, const BackColourItem& fields);
void Perform(DrawQueueItem& item, const ReadPixelItem& fields);
// Texts and the text settings (draw_queue_text.cpp).
void Perform(DrawQueueItem& item, PrintTextItem& fields);
void Perform(DrawQueueItem& item, const EraseTextItem& fields);
void Perform(DrawQueueItem& item, DrawTextItem& fields);
void Perform(DrawQueueItem& item, DrawTextCentredItem& fields);
void Perform(DrawQueueItem& item, const TextFontItem& fields);
void Perform(DrawQueueItem& item, const TextSizeItem& fields);
void Perform(DrawQueueItem& item, const TextOpaqueItem& fields);
void Perform(DrawQueueItem& item, const TextTransparentItem& fields);
void Perform(DrawQueueItem& item, const TextNormalItem& fields);
void Perform(DrawQueueItem& item, const TextItalicItem& fields);
void Perform(DrawQueueItem& item, const TextBoldItem& fields);
void Perform(DrawQueueItem& item, const TextBoldItalicItem& fields);
// Bitmap files and copies (draw_queue_bitmaps.cpp).
void Perform(DrawQueueItem& item, const LoadBitmapItem& fields);
void Perform(DrawQueueItem& item, const SaveBitmapItem& fields);
void Perform(DrawQueueItem& item, const CopyBitmapItem& fields);
void Perform(DrawQueueItem& item, const SaveImageItem& fields);

}  // namespace vx
