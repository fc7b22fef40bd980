// Programs run under Xvfb with a real window: a shell script drives the session (starts vorlix,
// waits for windows, shoots them with xwd, moves the pointer and types with xdotool) and the test
// reads what it left. Nothing waits for ever: every wait in the script gives up after a while and
// the script kills what it started.
#pragma once
#include <cstdint>
#include <string>

#include "tests/support/temp_folder.h"

namespace vx::test {

bool HaveTool(const char* name);

// The parts of an X window dump the tests read: size, pixel layout and the pixel rows.
struct WindowDump {
  uint32_t width = 0, height = 0, bitsPerPixel = 0, bytesPerLine = 0, byteOrder = 0;
  uint32_t redMask = 0, greenMask = 0, blueMask = 0;
  std::string pixels;
  bool Read(const std::string& file);
  // The pixel as 0xRRGGBB, for 24 and 32 bits a pixel with 8-bit channels.
  uint32_t At(uint32_t x, uint32_t y) const;
  // Pixels of about the colour: a display of fewer bits a channel shows each a little lower.
  int Count(uint32_t colour, uint32_t left, uint32_t top, uint32_t right, uint32_t bottom) const;
  bool AllBlack() const;
};

// Runs `sh session.sh` in the test's folder on an Xvfb server of its own with a screen of the given
// size ("1024x768x24"); the server picks a free display number itself, so sessions that run at the
// same time (other tests, other checkouts) never share one. The script finds vorlix in
// $VORLIX, the server's process in $XVFB (to take the display away), and these shell functions
// ready:
//   wait_window NAME   waits until a window of that name is mapped
//   window_gone NAME   waits until no window of that name is left
//   wait_focus NAME    waits until a window of that name has the input focus
//   wait_shown NAME FILE BYTES   shoots the window into FILE with xwd until its pixels hold BYTES,
//                      written as `od -tx1` writes them (" 23 11 e8"): the window shows what it
//                      was opened for
//   wait_game          waits until the program started as $game ends, with its status
//   waiting TEXT       notes what the script waits for next by other means
// A wait gives up after a minute, or at once when the program started as $game has ended: the
// session then ends with status 98 and says what it waited for. The whole session, server
// included, is ended after `seconds` (status 124), and the log says what it was waiting for then;
// keep the sessions of one test within ctest's limit. Work files and the log (log.txt) stay in
// the folder. Returns the script's exit status.
int RunXvfbSession(TempFolder& dir, const std::string& script, const std::string& screen, int seconds = 90);

}  // namespace vx::test
