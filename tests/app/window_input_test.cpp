// The mouse of a full-screen program on a larger screen, under Xvfb: the pointer moved with
// xdotool to (200, 200) of a 1024x768 screen stands at (125, 125) of the 640x480 picture that the
// screen shows 1.6 times as large, which the program marks with a dot in a saved screen.
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

}  // namespace
}  // namespace vx
