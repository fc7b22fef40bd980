// Programs start with a visible window under Xvfb: screenshots of the window taken with xwd show
// the black 640x480 picture of an empty program, a full-screen picture laid over a larger screen
// by one window without an OpenGL driver, the welcome example's text, shapes and balls,
// the rocks example's ship, rocks and counter, the walk example's walker, floor and sky, the crate
// example's crate in the fog, the film example's film in its corner beside the moving shapes, the
// collision example's two cubes side by side or apart, never one inside the other, and the terrain
// example's ball, hills and fog.
// A program that asks for a window gets one of its own size where the window commands place it,
// with its picture unscaled, also on a larger screen. Esc in the window ends a game.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/app/xvfb_session.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

using test::HaveTool;
using test::WindowDump;

// Runs `vorlix run PROGRAM` under Xvfb (display number from first upwards) and takes screenshots
// of its window until two in a row agree (unless the picture moves: `settled` false) and, when
// given, the shell test `ready` holds for the screenshot: the picture the program keeps
// presenting. The program is then killed, so the test never waits for it; the programs end by
// themselves too, in case the screenshots never agree. Their work files go into the test's folder,
// which the test removes.
bool ShootWindow(test::TempFolder& dir, const std::string& program, const std::string& ready, WindowDump* dump,
                 bool settled = true, const std::string& window = "$VORLIX", const std::string& screen = "640x480x24") {
  const int status = test::RunXvfbSession(dir,
                                          "\"$VORLIX\" run \"" + program +
                                              "\" & game=$!\n"
                                              "tries=0\n"
                                              "until xwd -silent -name \"" +
                                              window + "\" -out shot.xwd 2>/dev/null && " + ready +
                                              (settled ? " cmp -s shot.xwd last.xwd" : " true") +
                                              "; do\n"
                                              "  cp shot.xwd last.xwd 2>/dev/null\n"
                                              "  tries=$((tries + 1)); [ $tries -gt 300 ] && break; sleep 0.1\n"
                                              "done\n"
                                              "xwininfo -name \"" +
                                              window +
                                              "\" > window.txt 2>/dev/null\n"
                                              "kill -KILL $game 2>/dev/null; wait $game 2>/dev/null\n"
                                              "exit 0\n",
                                          screen);
  EXPECT_EQ(status, 0) << dir.Read("log.txt");
  return dump->Read(dir.Read("shot.xwd"));
}

TEST(WindowScreenshotTest, ProgramShowsABlackPictureInItsWindow) {
  if (!HaveTool("Xvfb") || !HaveTool("xwd")) GTEST_SKIP() << "needs Xvfb and xwd";
  test::TempFolder dir;
  // Presents its empty picture, without the mouse pointer, for 400 frames (ten seconds at most),
  // then ends.
  dir.Write("frames.vxa", "hide mouse\nmanual refresh\nfor i = 1 to 400\nrefresh screen\nnext i\n");
  WindowDump dump;
  ASSERT_TRUE(ShootWindow(dir, "frames.vxa", "", &dump));
  EXPECT_EQ(dump.width, 640u);
  EXPECT_EQ(dump.height, 480u);
  EXPECT_TRUE(dump.AllBlack());
}

TEST(WindowScreenshotTest, AFullScreenProgramCoversALargerScreenWithOneWindowAndNoOpenGlDriver) {
  if (!HaveTool("Xvfb") || !HaveTool("xwd") || !HaveTool("xdotool")) GTEST_SKIP() << "needs Xvfb, xwd and xdotool";
  test::TempFolder dir;
  // A red box in the top left corner of the 640x480 picture, shown for 400 frames.
  dir.Write("corner.vxa",
            "hide mouse\nmanual refresh\nink rgb(255, 0, 0), 0\nbox 0, 0, 9, 9\n"
            "for i = 1 to 400\nrefresh screen\nnext i\n");
  // The windows of the program's name are listed every tenth of a second from the first one's
  // showing until the picture is there (two red pixels side by side: blue, green, red and a byte of
  // no meaning each); the last shot is kept.
  const int status = test::RunXvfbSession(
      dir,
      "\"$VORLIX\" run corner.vxa & game=$!\n"
      "wait_window \"$VORLIX\"\n"
      "tries=0\n"
      "until xwd -silent -name \"$VORLIX\" -out shot.xwd 2>/dev/null && "
      "od -An -tx1 -v shot.xwd | tr -d '\\n' | grep -q ' 00 00 ff [0-9a-f][0-9a-f] 00 00 ff '; do\n"
      "  xdotool search --name \"$VORLIX\" >> windows.txt\n"
      "  tries=$((tries + 1)); [ $tries -gt 100 ] && break; sleep 0.1\n"
      "done\n"
      "xdotool search --name \"$VORLIX\" >> windows.txt\n"
      "grep -c -E 'swrast_dri|libGLX_mesa' /proc/$game/maps > gl.txt\n"
      "kill -KILL $game 2>/dev/null; wait $game 2>/dev/null\n"
      "exit 0\n",
      "1024x768x24");
  ASSERT_EQ(status, 0) << dir.Read("log.txt");
  WindowDump dump;
  ASSERT_TRUE(dump.Read(dir.Read("shot.xwd"))) << dir.Read("log.txt");
  EXPECT_EQ(dump.width, 1024u);
  EXPECT_EQ(dump.height, 768u);
  // The box, 1.6 times as large: 16 pixels a side.
  EXPECT_GT(dump.Count(0xFF0000, 0, 0, 20, 20), 200);
  EXPECT_EQ(dump.Count(0xFF0000, 20, 20, 1024, 768), 0);
  std::string windows = dir.Read("windows.txt");
  ASSERT_FALSE(windows.empty());
  const std::string first = windows.substr(0, windows.find('\n') + 1);
  for (size_t at = 0; at < windows.size(); at += first.size())
    EXPECT_EQ(windows.substr(at, first.size()), first) << "one window for the whole run:\n" << windows;
  // The picture reaches the window without an OpenGL driver (half a second to start under Xvfb).
  EXPECT_EQ(dir.Read("gl.txt"), "0\n");
}

TEST(WindowScreenshotTest, TheWelcomeExampleShowsTextShapesAndPicturesInItsWindow) {
  if (!HaveTool("Xvfb") || !HaveTool("xwd")) GTEST_SKIP() << "needs Xvfb and xwd";
  test::TempFolder dir;
  // The title's yellow shows once the picture is drawn (the program then waits, and ends itself
  // after ten seconds).
  WindowDump dump;
  ASSERT_TRUE(ShootWindow(dir, std::string(VX_SOURCE_DIR) + "/examples/welcome.vxa",
                          "od -An -tx1 -v shot.xwd | tr -d '\\n' | grep -q ' 00 d[4-9a-c] ff' &&", &dump));
  ASSERT_EQ(dump.bitsPerPixel % 8, 0u);
  EXPECT_GT(dump.Count(0xFFDC00, 100, 20, 540, 80), 500) << "the title";
  EXPECT_EQ(dump.Count(0x00C8FF, 40, 250, 601, 255), 561 * 5) << "the bar";
  EXPECT_NE(dump.At(40 + 16, 120 + 16), 0u) << "the first ball";
  EXPECT_GT(dump.Count(0xFFFFFF, 200, 430, 440, 470), 50) << "the last line";
}

TEST(WindowScreenshotTest, TheRocksExampleShowsTheShipTheRocksAndTheCounterInItsWindow) {
  if (!HaveTool("Xvfb") || !HaveTool("xwd")) GTEST_SKIP() << "needs Xvfb and xwd";
  test::TempFolder dir;
  // The rocks keep falling, so the shot is taken once the counter's yellow shows (the game ends
  // itself after twenty seconds).
  WindowDump dump;
  ASSERT_TRUE(ShootWindow(dir, std::string(VX_SOURCE_DIR) + "/examples/rocks.vxa",
                          "od -An -tx1 -v shot.xwd | tr -d '\\n' | grep -q ' 00 d[4-9a-c] ff' &&", &dump, false));
  ASSERT_EQ(dump.bitsPerPixel % 8, 0u);
  EXPECT_GT(dump.Count(0xFFDC00, 10, 8, 250, 40), 50) << "the counter";
  EXPECT_GT(dump.Count(0x50FF78, 0, 440, 640, 462), 200) << "the ship";
  EXPECT_GT(dump.Count(0xAA7850, 0, 0, 640, 480), 300) << "the rocks";
}

TEST(WindowScreenshotTest, AWindowedProgramGetsAWindowOfItsOwnSizeWhereTheWindowCommandsPlaceIt) {
  if (!HaveTool("Xvfb") || !HaveTool("xwd") || !HaveTool("xwininfo")) GTEST_SKIP() << "needs Xvfb, xwd and xwininfo";
  test::TempFolder dir;
  // A red box in the top left corner and a blue one in the bottom right one, shown for 400 frames.
  dir.Write("window.vxa",
            "set window on\nmanual refresh\nink rgb(255, 0, 0), 0\nbox 0, 0, 9, 9\nink rgb(0, 0, 255), 0\n"
            "box 630, 470, 639, 479\nfor i = 1 to 400\nrefresh screen\nnext i\n");
  WindowDump dump;
  // The window command titles the window; its last pixel is the blue box's once it is drawn.
  ASSERT_TRUE(ShootWindow(dir, "window.vxa", "tail -c 4 shot.xwd | od -An -tx1 | grep -q 'ff 00 00' &&", &dump, true,
                          "Vorlix", "1024x768x24"));
  EXPECT_EQ(dump.width, 640u);
  EXPECT_EQ(dump.height, 480u);
  const std::string place = dir.Read("window.txt");
  EXPECT_NE(place.find("Absolute upper-left X:  4\n"), std::string::npos) << place;
  EXPECT_NE(place.find("Absolute upper-left Y:  23\n"), std::string::npos) << place;
  // Unscaled: each box is 10 by 10 pixels at its corner.
  EXPECT_EQ(dump.Count(0xFF0000, 0, 0, 640, 480), 100);
  EXPECT_EQ(dump.Count(0xFF0000, 0, 0, 10, 10), 100);
  EXPECT_EQ(dump.Count(0x0000FF, 630, 470, 640, 480), 100);
  EXPECT_EQ(dump.At(10, 10), 0u);
}

TEST(WindowScreenshotTest, TheWalkExampleShowsTheWalkerOnItsFloorUnderTheSky) {
  if (!HaveTool("Xvfb") || !HaveTool("xwd")) GTEST_SKIP() << "needs Xvfb and xwd";
  test::TempFolder dir;
  // The sky's colour (blue, green, red bytes, about 230, 190, 150 on a display of any depth) shows
  // once the walker is loaded and coloured; the picture keeps moving.
  WindowDump dump;
  ASSERT_TRUE(ShootWindow(dir, std::string(VX_SOURCE_DIR) + "/examples/walk.vxa",
                          "od -An -tx1 -v shot.xwd | tr -d '\\n' | grep -q ' [de][0-9a-f] b[8-9a-f] 9[0-7]' &&", &dump,
                          false));
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

TEST(WindowScreenshotTest, TheCrateExampleShowsTheTexturedCrateInTheFog) {
  if (!HaveTool("Xvfb") || !HaveTool("xwd")) GTEST_SKIP() << "needs Xvfb and xwd";
  test::TempFolder dir;
  // The sky's colour (blue, green, red bytes 200, 170, 150) shows once the crate is loaded; the
  // crate keeps turning.
  WindowDump dump;
  ASSERT_TRUE(ShootWindow(dir, std::string(VX_SOURCE_DIR) + "/examples/crate.vxa",
                          "od -An -tx1 -v shot.xwd | tr -d '\\n' | grep -q ' c[4-9a-c] a[6-9a-e] 9[2-9a]' &&", &dump,
                          false));
  ASSERT_EQ(dump.bitsPerPixel % 8, 0u);
  int sky = 0, crate = 0;
  for (uint32_t y = 0; y < dump.height; ++y)
    for (uint32_t x = 0; x < dump.width; ++x) {
      const uint32_t c = dump.At(x, y);
      const int r = int(c >> 16), g = int((c >> 8) & 0xFF), b = int(c & 0xFF);
      const bool inMiddle = x >= 200 && x < 440 && y >= 120 && y < 360;
      if (!inMiddle) sky += (std::abs(r - 150) < 8 && std::abs(g - 170) < 8 && std::abs(b - 200) < 8) ? 1 : 0;
      // The wood, fogged towards the sky but still redder than it is blue.
      if (inMiddle) crate += r > b && (std::abs(g - 170) > 20 || std::abs(b - 200) > 20) ? 1 : 0;
    }
  EXPECT_GT(sky, 200000) << "the sky round the crate";
  EXPECT_GT(crate, 10000) << "the crate in the middle";
}

TEST(WindowScreenshotTest, TheFilmExampleShowsItsFilmInTheCornerAndTheMovingShapes) {
  if (!HaveTool("Xvfb") || !HaveTool("xwd")) GTEST_SKIP() << "needs Xvfb and xwd";
  test::TempFolder dir;
  // The shot is taken once the film's magenta bar shows (two pixels of blue, green, red bytes
  // about 255, 0, 255 side by side), which nothing else of the picture has, and the program has
  // cleared the screen to its dark blue (blue, green, red bytes about 64, 0, 0 at 10, 10: the
  // frames before the program's first drawing are black).
  const std::string corner =
      "head=$(od -An -tu4 --endian=big -N4 shot.xwd) && "
      "line=$(od -An -tu4 --endian=big -j48 -N4 shot.xwd) && "
      "colours=$(od -An -tu4 --endian=big -j76 -N4 shot.xwd) && "
      "od -An -tx1 -j$((head + colours * 12 + 10 * line + 10 * 4)) -N3 shot.xwd | grep -q '^ [34][0-9a-f] 00 00' && ";
  WindowDump dump;
  ASSERT_TRUE(ShootWindow(
      dir, std::string(VX_SOURCE_DIR) + "/examples/film.vxa",
      corner + "od -An -tx1 -v shot.xwd | tr -d '\\n' | "
               "grep -q ' f[0-9a-f] 0[0-9a-f] f[0-9a-f] [0-9a-f][0-9a-f] f[0-9a-f] 0[0-9a-f] f[0-9a-f] ' &&",
      &dump, false));
  ASSERT_EQ(dump.bitsPerPixel % 8, 0u);
  // The background's dark blue, as a display of fewer bits a channel shows it.
  const auto background = [&](uint32_t x, uint32_t y) {
    const uint32_t c = dump.At(x, y);
    return (c >> 16) < 8 && ((c >> 8) & 0xFF) < 8 && std::abs(int(c & 0xFF) - 64) < 12;
  };
  int film = 0, outside = 0;
  for (uint32_t y = 8; y < 80; ++y)
    for (uint32_t x = 528; x < 624; ++x) film += background(x, y) ? 0 : 1;
  for (uint32_t y = 0; y < 200; ++y)
    for (uint32_t x = 0; x < 520; ++x) outside += background(x, y) ? 0 : 1;
  EXPECT_GT(film, 96 * 72 * 9 / 10) << "the film covers its corner";
  EXPECT_EQ(outside, 0) << "nothing else above the shapes";
  EXPECT_GT(dump.Count(0xFFC800, 0, 200, 640, 261), 60 * 60) << "the box";
}

TEST(WindowScreenshotTest, EscInTheWindowEndsTheGame) {
  if (!HaveTool("Xvfb") || !HaveTool("xdotool")) GTEST_SKIP() << "needs Xvfb and xdotool";
  test::TempFolder dir;
  // Runs for a minute unless ended; a watchdog kills it after 40 seconds should Esc not end it.
  dir.Write("endless.vxa",
            "hide mouse\nmanual refresh\nstart = timer()\nrepeat\nrefresh screen\n"
            "until timer() - start > 60000\n");
  // Esc again and again, to the window there is, until the game is gone: the first may come
  // before the program reads its keys.
  const int status = test::RunXvfbSession(dir,
                                          "\"$VORLIX\" run endless.vxa & game=$!\n"
                                          "( sleep 40; kill -KILL $game ) 2>/dev/null & watchdog=$!\n"
                                          "tries=0\n"
                                          "while kill -0 $game 2>/dev/null && [ $tries -lt 60 ]; do\n"
                                          "  sleep 0.5; tries=$((tries + 1))\n"
                                          "  window=$(xdotool search --name \"$VORLIX\" | tail -1)\n"
                                          "  [ -n \"$window\" ] && xdotool key --window $window Escape &&\n"
                                          "    echo \"Esc to $window at try $tries\"\n"
                                          "done\n"
                                          "wait $game; echo \"ended $?\" > ended.txt\n"
                                          "kill $watchdog 2>/dev/null\n"
                                          "exit 0\n",
                                          "640x480x24");
  ASSERT_EQ(status, 0) << dir.Read("log.txt");
  EXPECT_EQ(dir.Read("ended.txt"), "ended 0\n") << dir.Read("log.txt");
}

}  // namespace
TEST(WindowScreenshotTest, TheCollideExampleShowsItsCubesApartOrSideBySide) {
  if (!HaveTool("Xvfb") || !HaveTool("xwd")) GTEST_SKIP() << "needs Xvfb and xwd";
  test::TempFolder dir;
  // The backdrop's colour (blue, green, red bytes 64, 40, 24, or about 58, 36, 16 on a display of
  // 16 bits) shows once the cubes and the camera are placed; the picture keeps moving.
  WindowDump dump;
  ASSERT_TRUE(ShootWindow(dir, std::string(VX_SOURCE_DIR) + "/examples/collide.vxa",
                          "od -An -tx1 -v shot.xwd | tr -d '\\n' | grep -qE ' (3[89a-f]|4[0-3]) 2[0-9ab] 1[0-9a-f]' &&",
                          &dump, false));
  ASSERT_EQ(dump.bitsPerPixel % 8, 0u);
  // The red cube moves on the left of the blue one: every red column lies left of every blue one.
  int red = 0, blue = 0;
  uint32_t redRight = 0, blueLeft = dump.width;
  for (uint32_t y = 40; y < dump.height; ++y)
    for (uint32_t x = 0; x < dump.width; ++x) {
      const uint32_t c = dump.At(x, y);
      const int r = int(c >> 16), g = int((c >> 8) & 0xFF), b = int(c & 0xFF);
      if (r > g + 50 && r > b + 50) {
        ++red;
        redRight = std::max(redRight, x);
      }
      if (b > r + 80 && b > g + 40 && g > 60) {
        ++blue;
        blueLeft = std::min(blueLeft, x);
      }
    }
  EXPECT_GT(red, 1500) << "the red cube";
  EXPECT_GT(blue, 1500) << "the blue cube";
  EXPECT_LE(redRight, blueLeft + 1) << "the cubes overlap";
}

TEST(WindowScreenshotTest, TheTerrainExampleShowsTheBallOnTheHillsUnderTheFoggedSky) {
  if (!HaveTool("Xvfb") || !HaveTool("xwd")) GTEST_SKIP() << "needs Xvfb and xwd";
  test::TempFolder dir;
  // The sky's colour (blue, green, red bytes, about 200, 185, 170) shows once the hills are made,
  // and the bottom right pixel is the ground's; the picture keeps moving. (A frame at the start
  // can show the sky over black ground before the textures are in place.)
  WindowDump dump;
  ASSERT_TRUE(ShootWindow(dir, std::string(VX_SOURCE_DIR) + "/examples/terrain.vxa",
                          "od -An -tx1 -v shot.xwd | tr -d '\\n' | grep -q ' c[0-9a-f] b[0-9a-f] a[0-9a-f]' && "
                          "! tail -c 4 shot.xwd | head -c 3 | od -An -tx1 | grep -q '00 00 00' &&",
                          &dump, false));
  ASSERT_EQ(dump.bitsPerPixel % 8, 0u);
  int sky = 0, ball = 0, ground = 0;
  for (uint32_t y = 0; y < dump.height; ++y)
    for (uint32_t x = 0; x < dump.width; ++x) {
      const uint32_t c = dump.At(x, y);
      const int r = int(c >> 16), g = int((c >> 8) & 0xFF), b = int(c & 0xFF);
      if (y < 60) sky += (std::abs(r - 170) < 12 && std::abs(g - 185) < 12 && std::abs(b - 200) < 12) ? 1 : 0;
      if (x >= 220 && x < 420 && y >= 140 && y < 340) ball += r > g + 60 && r > b + 60 ? 1 : 0;
      if (y >= 400) ground += g > r && g > b ? 1 : 0;
    }
  EXPECT_GT(sky, 20000) << "the fogged sky over the top of the picture";
  EXPECT_GT(ball, 150) << "the ball's red in the middle";
  EXPECT_GT(ground, 20000) << "the hills' grass along the bottom";
}

}  // namespace vx
