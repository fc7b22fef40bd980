// The screen's pixels as the pixel access commands lock them for the program: where the back
// buffer's pixel memory is and its layout, kept while it is locked. The commands are
// display/pixel_commands.cpp.
#pragma once
#include <cstdint>

namespace vx {

struct LockedPixels {
  uintptr_t address = 0;  // the first pixel of the locked back buffer; 0 while nothing is locked
  uint32_t width = 0, height = 0;
  uint32_t bitsPerPixel = 0;
  uint32_t pitch = 0;  // bytes from one row's start to the next
};

// Locks the whole back buffer and keeps its place and layout; a failed lock keeps what was kept.
void LockScreenPixels();
// Unlocks the back buffer and forgets it. The run's end and the display's release call it too, so
// that a program that ends with the screen locked does not leave it so.
void UnlockScreenPixels();

}  // namespace vx

// The state of this part is in MemoryAccessState (display/memblocks.h), which uses the types above.
#include "display/memblocks.h"
