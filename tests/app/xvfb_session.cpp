// Xvfb sessions for the end-to-end tests of real windows (see xvfb_session.h).
#include "tests/app/xvfb_session.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <bit>
#include <cstdlib>

namespace vx::test {

namespace {

uint32_t BigEndian32(const std::string& bytes, size_t at) {
  return uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
         uint32_t(uint8_t(bytes[at + 2])) << 8 | uint32_t(uint8_t(bytes[at + 3]));
}

// The waits poll for what they wait for; their bounds only end a session that went wrong, so they
// are generous enough for a machine under load. Each notes what it waits for, so that a session
// ended for its time says where it stood; a wait that gives up, or that waits for a window of a
// program that has ended ($game), ends the session with what it waited for.
constexpr const char* kPrelude =
    "waiting() { echo \"$*\" > waiting.txt; }\n"
    "give_up() { echo \"gave up waiting for $(cat waiting.txt)$1\"; exit 98; }\n"
    "poll() {\n"
    "  [ -n \"$game\" ] && ! kill -0 \"$game\" 2>/dev/null && give_up ': vorlix had ended'\n"
    "  tries=$((tries + 1)); [ $tries -gt 600 ] && give_up ' for a minute'; sleep 0.1\n"
    "}\n"
    "wait_window() {\n"
    "  waiting \"the window $1 to be mapped\"; tries=0\n"
    "  until xwininfo -name \"$1\" 2>/dev/null | grep -q IsViewable; do poll; done\n"
    "}\n"
    "window_gone() {\n"
    "  waiting \"the window $1 to go\"; tries=0\n"
    "  while xwininfo -name \"$1\" >/dev/null 2>&1; do poll; done\n"
    "}\n"
    "wait_focus() {\n"
    "  waiting \"the window $1 to have the focus\"; tries=0\n"
    "  until xdotool search --name \"$1\" 2>/dev/null | grep -qx \"$(xdotool getwindowfocus 2>/dev/null)\"; do\n"
    "    poll\n"
    "  done\n"
    "}\n"
    "wait_shown() {\n"
    "  waiting \"the window $1 to show the bytes $3\"; tries=0\n"
    "  until xwd -silent -name \"$1\" -out \"$2\" 2>/dev/null &&\n"
    "        od -An -tx1 -v \"$2\" | tr -d '\\n' | grep -q \"$3\"; do\n"
    "    poll\n"
    "  done\n"
    "}\n"
    "wait_game() { waiting 'vorlix to end'; wait $game; }\n";

}  // namespace

bool HaveTool(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

bool WindowDump::Read(const std::string& file) {
  if (file.size() < 100) return false;
  const uint32_t headerSize = BigEndian32(file, 0);
  if (BigEndian32(file, 4) != 7 || headerSize > file.size()) return false;  // format version 7
  width = BigEndian32(file, 16);
  height = BigEndian32(file, 20);
  bitsPerPixel = BigEndian32(file, 44);
  byteOrder = BigEndian32(file, 28);  // 0: least significant byte first
  bytesPerLine = BigEndian32(file, 48);
  redMask = BigEndian32(file, 56);
  greenMask = BigEndian32(file, 60);
  blueMask = BigEndian32(file, 64);
  const uint32_t colours = BigEndian32(file, 76);
  const size_t start = size_t(headerSize) + size_t(colours) * 12;
  if (start + size_t(bytesPerLine) * height > file.size()) return false;
  pixels = file.substr(start, size_t(bytesPerLine) * height);
  return true;
}

uint32_t WindowDump::At(uint32_t x, uint32_t y) const {
  const uint32_t bytes = bitsPerPixel / 8;
  uint32_t value = 0;
  for (uint32_t i = 0; i < bytes; ++i) {
    const uint32_t byte = uint8_t(pixels[size_t(y) * bytesPerLine + size_t(x) * bytes + i]);
    value |= byteOrder == 0 ? byte << (8 * i) : byte << (8 * (bytes - 1 - i));
  }
  auto channel = [&](uint32_t mask) { return mask ? (value & mask) >> std::countr_zero(mask) : 0u; };
  return channel(redMask) << 16 | channel(greenMask) << 8 | channel(blueMask);
}

int WindowDump::Count(uint32_t colour, uint32_t left, uint32_t top, uint32_t right, uint32_t bottom) const {
  auto near = [colour](uint32_t actual) {
    for (int shift = 0; shift < 24; shift += 8) {
      const int a = int((actual >> shift) & 0xFF), e = int((colour >> shift) & 0xFF);
      if (a > e || e - a > 8) return false;
    }
    return true;
  };
  int n = 0;
  for (uint32_t y = top; y < bottom && y < height; ++y)
    for (uint32_t x = left; x < right && x < width; ++x) n += near(At(x, y));
  return n;
}

bool WindowDump::AllBlack() const {
  const uint32_t bytes = bitsPerPixel / 8;
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width * bytes; ++x)
      if (pixels[size_t(y) * bytesPerLine + x] != 0 && (bytes != 4 || x % 4 != 3)) return false;
  return true;
}

int RunXvfbSession(TempFolder& dir, const std::string& script, const std::string& screen, int seconds) {
  dir.Write("session.sh", std::string(kPrelude) + script);
  // The server writes the display number it took once it listens; the session runs on it and the
  // server is ended after it, whatever the session did.
  dir.Write("waiting.txt", "Xvfb to start\n");
  dir.Write("xvfb.sh",
            "Xvfb -displayfd 3 -nolisten tcp -screen 0 " + screen +
                " 3>display.txt 2>xvfb.log & server=$!\n"
                "tries=0\n"
                "until [ -s display.txt ]; do\n"
                "  tries=$((tries + 1)); [ $tries -gt 600 ] && { kill $server; echo 'Xvfb did not start'; exit 97; }\n"
                "  sleep 0.05\n"
                "done\n"
                "DISPLAY=:$(head -n 1 display.txt) XVFB=$server sh session.sh; status=$?\n"
                "kill $server 2>/dev/null; wait $server 2>/dev/null\n"
                "exit $status\n");
  // The real X driver, whatever the test environment chose for SDL; leak checks are off for the
  // programs that the session kills. The time limit ends the server, the session and what it
  // started together, before ctest's limit would end the test and leave its folder behind.
  const std::string command = "cd '" + dir.path() + "' && env -u SDL_VIDEODRIVER ASAN_OPTIONS=detect_leaks=0 " +
                              "TMPDIR='" + dir.path() + "' VORLIX='" + VX_VORLIX_PATH + "' " +
                              "SDL_AUDIODRIVER=dummy timeout -k 5 " + std::to_string(seconds) +
                              " sh xvfb.sh > log.txt 2>&1";
  const int raw = std::system(command.c_str());
  const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  if (status == 124 || status == 137)
    dir.Write("log.txt", dir.Read("log.txt") + "the session was ended after " + std::to_string(seconds) +
                             " s while waiting for " + dir.Read("waiting.txt"));
  return status;
}

}  // namespace vx::test
