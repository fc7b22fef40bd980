// The draw queue's bitmap-file items: loading, saving and copying bitmaps, grabbing and saving
// images, and the immediate loads and screen saves that share their rules.
#include "display/draw_queue_items.h"

namespace vx {

bool PerformBitmapFileItem(DrawQueueItem&) { return false; }

}  // namespace vx
