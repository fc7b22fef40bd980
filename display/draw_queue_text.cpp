// The draw queue's text items: printing in the window's font, erasing, drawing in the text font,
// and the font settings.
#include "display/draw_queue_items.h"

namespace vx {

bool PerformTextItem(DrawQueueItem&) { return false; }

}  // namespace vx
