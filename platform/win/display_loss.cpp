// Display loss (display_loss.h): Xlib's handler for a broken connection, process-wide; SDL's
// X11 driver uses the same library and so the same handler.
#include "platform/win/display_loss.h"

#include <X11/Xlib.h>

#include <cstdio>

#include "platform/win/quit_signals.h"

namespace vx::win {

namespace {

// Xlib exits when the handler returns, so it does not.
int OnDisplayLost(::Display* display) {
  std::fprintf(stderr, "The display %s was lost: its X server went away or closed the connection\n",
               display ? XDisplayString(display) : "");
  EndAtOnce(1);
}

}  // namespace

void EndWhenDisplayIsLost() { XSetIOErrorHandler(OnDisplayLost); }

}  // namespace vx::win
