// Input to real windows under Xvfb. The mouse of a full-screen program on a larger screen: the
// pointer moved with xdotool to (200, 200) of a 1024x768 screen stands at (125, 125) of the
// 640x480 picture that the screen shows 1.6 times as large, which the program marks with a dot in
// a saved screen. Esc and a signal end a program that computes without ending its slice.
#include <gtest/gtest.h>

#include <string>

#include "tests/app/saved_picture.h"
#include "tests/app/xvfb_session.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

using test::HaveTool;

TEST(WindowInputTest, TheMouseOfAScaledFullScreenPictureIsWhereThePlayerSeesIt) {
  if (!HaveTool("xvfb-run") || !HaveTool("xwininfo") || !HaveTool("xdotool"))
    GTEST_SKIP() << "needs xvfb-run, xwininfo and xdotool";
  test::TempFolder dir;
  // Waits (ten seconds at most) for the pointer to leave the middle of the picture, where it starts;
  // the program's own pointer is hidden, so that only the dot marks the place.
  dir.Write("mouse.vxa",
            "hide mouse\n"
            "manual refresh\n"
            "n = 0\n"
            "repeat\n"
            "  refresh screen\n"
            "  n = n + 1\n"
            "until mousex() <> 320 or n > 400\n"
            "ink rgb(255, 0, 255), 0\n"
            "dot mousex(), mousey()\n"
            "refresh screen\n"
            "save bitmap \"mouse.png\"\n"
            "end\n");
  // The pointer moves once the window covers the screen and its picture has been shown.
  const int status = test::RunXvfbSession(dir,
                                          "\"$VORLIX\" run mouse.vxa & game=$!\n"
                                          "wait_window \"$VORLIX\"\n"
                                          "tries=0\n"
                                          "until xwininfo -name \"$VORLIX\" | grep -q 'Width: 1024'; do\n"
                                          "  tries=$((tries + 1)); [ $tries -gt 100 ] && break; sleep 0.1\n"
                                          "done\n"
                                          "sleep 0.5\n"
                                          "xdotool mousemove 200 200\n"
                                          "wait $game\n",
                                          111, "1024x768x24");
  ASSERT_EQ(status, 0) << dir.Read("log.txt");
  test::Picture shot;
  ASSERT_TRUE(test::ReadPng(dir.path() + "mouse.png", &shot)) << dir.Read("log.txt");
  ASSERT_EQ(shot.width, 640u);
  int dots = 0;
  for (uint32_t y = 0; y < shot.height; ++y)
    for (uint32_t x = 0; x < shot.width; ++x)
      if (shot.At(x, y) != 0) {
        ++dots;
        EXPECT_EQ(x, 125u);
        EXPECT_EQ(y, 125u);
      }
  EXPECT_EQ(dots, 1);
}

// A program that computes in manual refresh never ends its time slice by itself; Esc in its window
// (named Vorlix once the program asks for a window) and SIGTERM end it all the same. A watchdog
// kills what is not ended within 30 seconds.
TEST(WindowInputTest, EscAndASignalEndAProgramThatComputesInItsWindow) {
  if (!HaveTool("xvfb-run") || !HaveTool("xwininfo") || !HaveTool("xdotool"))
    GTEST_SKIP() << "needs xvfb-run, xwininfo and xdotool";
  test::TempFolder dir;
  // The picture is saved at the end of the frame after which the loop starts.
  dir.Write("spin.vxa", "set window on\nmanual refresh\nsave bitmap \"ready.png\"\nrefresh screen\ndo\n  inc a\nloop\n");
  const int status = test::RunXvfbSession(
      dir,
      "for how in esc term; do\n"
      "  rm -f ready.png\n"
      "  \"$VORLIX\" run spin.vxa & game=$!\n"
      "  ( sleep 30; kill -KILL $game ) 2>/dev/null & watchdog=$!\n"
      "  wait_window Vorlix\n"
      "  tries=0\n"
      "  until [ -f ready.png ]; do tries=$((tries + 1)); [ $tries -gt 200 ] && break; sleep 0.05; done\n"
      "  if [ $how = esc ]; then\n"
      "    xdotool windowfocus --sync $(xdotool search --name '^Vorlix$' | head -1) key Escape\n"
      "  else\n"
      "    kill -TERM $game\n"
      "  fi\n"
      "  wait $game; echo \"$how: ended with $?\"\n"
      "  kill $watchdog 2>/dev/null\n"
      "done\n",
      131, "1024x768x24");
  ASSERT_EQ(status, 0) << dir.Read("log.txt");
  const std::string log = dir.Read("log.txt");
  EXPECT_NE(log.find("esc: ended with 0"), std::string::npos) << log;
  EXPECT_NE(log.find("term: ended with 0"), std::string::npos) << log;
}

}  // namespace
}  // namespace vx
