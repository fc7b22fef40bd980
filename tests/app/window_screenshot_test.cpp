// A program starts with a visible window under Xvfb: a screenshot of the window taken with xwd
// shows the black 640x480 picture.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace vx {
namespace {

bool HaveTool(const char* name) { return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0; }

uint32_t BigEndian32(const std::string& bytes, size_t at) {
  return uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
         uint32_t(uint8_t(bytes[at + 2])) << 8 | uint32_t(uint8_t(bytes[at + 3]));
}

// The parts of an X window dump this test reads: size, pixel layout and the pixel rows.
struct WindowDump {
  uint32_t width = 0, height = 0, bitsPerPixel = 0, bytesPerLine = 0;
  std::string pixels;
  bool Read(const std::string& file) {
    if (file.size() < 100) return false;
    const uint32_t headerSize = BigEndian32(file, 0);
    if (BigEndian32(file, 4) != 7 || headerSize > file.size()) return false;  // format version 7
    width = BigEndian32(file, 16);
    height = BigEndian32(file, 20);
    bitsPerPixel = BigEndian32(file, 44);
    bytesPerLine = BigEndian32(file, 48);
    const uint32_t colours = BigEndian32(file, 76);
    const size_t start = size_t(headerSize) + size_t(colours) * 12;
    if (start + size_t(bytesPerLine) * height > file.size()) return false;
    pixels = file.substr(start, size_t(bytesPerLine) * height);
    return true;
  }
  bool AllBlack() const {
    const uint32_t bytes = bitsPerPixel / 8;
    for (uint32_t y = 0; y < height; ++y)
      for (uint32_t x = 0; x < width * bytes; ++x)
        if (pixels[size_t(y) * bytesPerLine + x] != 0 && (bytes != 4 || x % 4 != 3)) return false;
    return true;
  }
};

TEST(WindowScreenshotTest, ProgramShowsABlackPictureInItsWindow) {
  if (!HaveTool("xvfb-run") || !HaveTool("xwd")) GTEST_SKIP() << "needs xvfb-run and xwd";
  test::TempFolder dir;
  // Runs long enough for the screenshot, then the script ends it.
  dir.Write("spin.vxa", "for i = 1 to 2000000000\nnext i\n");
  dir.Write("shot.sh",
            "#!/bin/sh\n"
            "\"$1\" run spin.vxa & game=$!\n"
            "tries=0\n"
            "until xwd -silent -name \"$1\" -out shot.xwd 2>/dev/null; do\n"
            "  tries=$((tries + 1)); [ $tries -gt 200 ] && break; sleep 0.1\n"
            "done\n"
            "sleep 1\n"  // a few frames presented
            "xwd -silent -name \"$1\" -out shot.xwd\n"
            "status=$?\n"
            "kill $game; wait $game 2>/dev/null\n"
            "exit $status\n");
  // The real X driver, whatever the test environment chose for SDL.
  const std::string command = "cd '" + dir.path() + "' && env -u SDL_VIDEODRIVER ASAN_OPTIONS=detect_leaks=0 SDL_AUDIODRIVER=dummy " +
                              "xvfb-run -a -s '-screen 0 640x480x24' sh shot.sh '" + VX_VORLIX_PATH +
                              "' > log.txt 2>&1";
  const int raw = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << dir.Read("log.txt");
  WindowDump dump;
  ASSERT_TRUE(dump.Read(dir.Read("shot.xwd")));
  EXPECT_EQ(dump.width, 640u);
  EXPECT_EQ(dump.height, 480u);
  EXPECT_TRUE(dump.AllBlack());
}

}  // namespace
}  // namespace vx
