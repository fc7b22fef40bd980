// Programs start with a visible window under Xvfb: screenshots of the window taken with xwd show
// the black 640x480 picture of an empty program, and the welcome example's text, shapes and balls.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <bit>
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
  uint32_t width = 0, height = 0, bitsPerPixel = 0, bytesPerLine = 0, byteOrder = 0;
  uint32_t redMask = 0, greenMask = 0, blueMask = 0;
  std::string pixels;
  bool Read(const std::string& file) {
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
  // The pixel as 0xRRGGBB, for 24 and 32 bits a pixel with 8-bit channels.
  uint32_t At(uint32_t x, uint32_t y) const {
    const uint32_t bytes = bitsPerPixel / 8;
    uint32_t value = 0;
    for (uint32_t i = 0; i < bytes; ++i) {
      const uint32_t byte = uint8_t(pixels[size_t(y) * bytesPerLine + size_t(x) * bytes + i]);
      value |= byteOrder == 0 ? byte << (8 * i) : byte << (8 * (bytes - 1 - i));
    }
    auto channel = [&](uint32_t mask) { return mask ? (value & mask) >> std::countr_zero(mask) : 0u; };
    return channel(redMask) << 16 | channel(greenMask) << 8 | channel(blueMask);
  }
  // Pixels of about the colour: a display of fewer bits a channel shows each a little lower.
  int Count(uint32_t colour, uint32_t left, uint32_t top, uint32_t right, uint32_t bottom) const {
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
  bool AllBlack() const {
    const uint32_t bytes = bitsPerPixel / 8;
    for (uint32_t y = 0; y < height; ++y)
      for (uint32_t x = 0; x < width * bytes; ++x)
        if (pixels[size_t(y) * bytesPerLine + x] != 0 && (bytes != 4 || x % 4 != 3)) return false;
    return true;
  }
};

// Runs `vorlix run PROGRAM` under Xvfb (display number from first upwards) and takes screenshots
// of its window until two in a row agree (unless the picture moves: `settled` false) and, when
// given, the shell test `ready` holds for the screenshot: the picture the program keeps
// presenting. The program is then killed, so the test never waits for it; the programs end by
// themselves too, in case the screenshots never agree. Their work files go into the test's folder,
// which the test removes.
bool ShootWindow(test::TempFolder& dir, const std::string& program, int first, const std::string& ready,
                 WindowDump* dump, bool settled = true) {
  dir.Write("shot.sh",
            "#!/bin/sh\n"
            "\"$1\" run \"$2\" & game=$!\n"
            "tries=0\n"
            "until xwd -silent -name \"$1\" -out shot.xwd 2>/dev/null && " + ready +
                (settled ? " cmp -s shot.xwd last.xwd" : " true") + "; do\n"
            "  cp shot.xwd last.xwd 2>/dev/null\n"
            "  tries=$((tries + 1)); [ $tries -gt 300 ] && break; sleep 0.1\n"
            "done\n"
            "kill -KILL $game 2>/dev/null; wait $game 2>/dev/null\n"
            "exit 0\n");
  // The real X driver, whatever the test environment chose for SDL.
  const std::string command = "cd '" + dir.path() + "' && env -u SDL_VIDEODRIVER ASAN_OPTIONS=detect_leaks=0 " +
                              "TMPDIR='" + dir.path() + "' " +
                              "SDL_AUDIODRIVER=dummy xvfb-run -a -n " + std::to_string(first) +
                              " -s '-screen 0 640x480x24' sh shot.sh '" + VX_VORLIX_PATH + "' '" + program +
                              "' > log.txt 2>&1";
  const int raw = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << dir.Read("log.txt");
  return dump->Read(dir.Read("shot.xwd"));
}

TEST(WindowScreenshotTest, ProgramShowsABlackPictureInItsWindow) {
  if (!HaveTool("xvfb-run") || !HaveTool("xwd")) GTEST_SKIP() << "needs xvfb-run and xwd";
  test::TempFolder dir;
  // Presents its empty picture, without the mouse pointer, for 400 frames (ten seconds at most),
  // then ends.
  dir.Write("frames.vxa", "hide mouse\nmanual refresh\nfor i = 1 to 400\nrefresh screen\nnext i\n");
  WindowDump dump;
  ASSERT_TRUE(ShootWindow(dir, "frames.vxa", 91, "", &dump));
  EXPECT_EQ(dump.width, 640u);
  EXPECT_EQ(dump.height, 480u);
  EXPECT_TRUE(dump.AllBlack());
}

TEST(WindowScreenshotTest, TheWelcomeExampleShowsTextShapesAndPicturesInItsWindow) {
  if (!HaveTool("xvfb-run") || !HaveTool("xwd")) GTEST_SKIP() << "needs xvfb-run and xwd";
  test::TempFolder dir;
  // The title's yellow shows once the picture is drawn (the program then waits, and ends itself
  // after ten seconds).
  WindowDump dump;
  ASSERT_TRUE(ShootWindow(dir, std::string(VX_SOURCE_DIR) + "/examples/welcome.vxa", 96,
                          "od -An -tx1 -v shot.xwd | tr -d '\\n' | grep -q ' 00 d[4-9a-c] ff' &&", &dump));
  ASSERT_EQ(dump.bitsPerPixel % 8, 0u);
  EXPECT_GT(dump.Count(0xFFDC00, 100, 20, 540, 80), 500) << "the title";
  EXPECT_EQ(dump.Count(0x00C8FF, 40, 250, 601, 255), 561 * 5) << "the bar";
  EXPECT_NE(dump.At(40 + 16, 120 + 16), 0u) << "the first ball";
  EXPECT_GT(dump.Count(0xFFFFFF, 200, 430, 440, 470), 50) << "the last line";
}

TEST(WindowScreenshotTest, TheRocksExampleShowsTheShipTheRocksAndTheCounterInItsWindow) {
  if (!HaveTool("xvfb-run") || !HaveTool("xwd")) GTEST_SKIP() << "needs xvfb-run and xwd";
  test::TempFolder dir;
  // The rocks keep falling, so the shot is taken once the counter's yellow shows (the game ends
  // itself after twenty seconds).
  WindowDump dump;
  ASSERT_TRUE(ShootWindow(dir, std::string(VX_SOURCE_DIR) + "/examples/rocks.vxa", 101,
                          "od -An -tx1 -v shot.xwd | tr -d '\\n' | grep -q ' 00 d[4-9a-c] ff' &&", &dump, false));
  ASSERT_EQ(dump.bitsPerPixel % 8, 0u);
  EXPECT_GT(dump.Count(0xFFDC00, 10, 8, 250, 40), 50) << "the counter";
  EXPECT_GT(dump.Count(0x50FF78, 0, 440, 640, 462), 200) << "the ship";
  EXPECT_GT(dump.Count(0xAA7850, 0, 0, 640, 480), 300) << "the rocks";
}

TEST(WindowScreenshotTest, TheWalkExampleShowsTheWalkerOnItsFloorUnderTheSky) {
  if (!HaveTool("xvfb-run") || !HaveTool("xwd")) GTEST_SKIP() << "needs xvfb-run and xwd";
  test::TempFolder dir;
  // The sky's colour (blue, green, red bytes, about 230, 190, 150 on a display of any depth) shows
  // once the walker is loaded and coloured; the picture keeps moving.
  WindowDump dump;
  ASSERT_TRUE(ShootWindow(dir, std::string(VX_SOURCE_DIR) + "/examples/walk.vxa", 106,
                          "od -An -tx1 -v shot.xwd | tr -d '\\n' | grep -q ' [de][0-9a-f] b[8-9a-f] 9[0-7]' &&",
                          &dump, false));
  ASSERT_EQ(dump.bitsPerPixel % 8, 0u);
  int sky = 0, walker = 0, light = 0, dark = 0;
  for (uint32_t y = 0; y < dump.height; ++y)
    for (uint32_t x = 0; x < dump.width; ++x) {
      const uint32_t c = dump.At(x, y);
      const int r = int(c >> 16), g = int((c >> 8) & 0xFF), b = int(c & 0xFF);
      if (y < 100) sky += (std::abs(r - 150) < 12 && std::abs(g - 190) < 12 && std::abs(b - 230) < 12) ? 1 : 0;
      if (x >= 220 && x < 420 && y >= 100 && y < 380) walker += b > r + 80 && b > g + 40 ? 1 : 0;
      if (y >= 380) {
        light += r > 170 && g > 170 && b > 140 ? 1 : 0;
        dark += g > r + 15 && g > b + 15 ? 1 : 0;
      }
    }
  EXPECT_GT(sky, 20000) << "the sky over the top of the picture";
  EXPECT_GT(walker, 2000) << "the walker's blue in the middle";
  EXPECT_GT(light, 2000) << "light tiles";
  EXPECT_GT(dark, 2000) << "dark tiles";
}

}  // namespace
}  // namespace vx
