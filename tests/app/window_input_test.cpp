// The mouse of a full-screen program on a larger screen, under Xvfb: the pointer moved with
// xdotool to (200, 200) of a 1024x768 screen stands at (125, 125) of the 640x480 picture that the
// screen shows 1.6 times as large, which the program marks with a dot in a saved screen. A click
// shorter than a frame counts once; Esc and a signal end a program that computes without ending its
// slice.
#include <gtest/gtest.h>

#include <string>

#include "tests/app/saved_picture.h"
#include "tests/app/xvfb_session.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

using test::HaveTool;

TEST(WindowInputTest, TheMouseOfAScaledFullScreenPictureIsWhereThePlayerSeesIt) {
  if (!HaveTool("Xvfb") || !HaveTool("xwininfo") || !HaveTool("xdotool"))
    GTEST_SKIP() << "needs Xvfb, xwininfo and xdotool";
  test::TempFolder dir;
  // Waits (a minute at most) for the pointer to stand where the player sees it; the program's own
  // pointer is hidden, so that only the dot marks the place, wherever that is.
  dir.Write("mouse.vxa",
            "hide mouse\n"
            "manual refresh\n"
            "n = 0\n"
            "repeat\n"
            "  refresh screen\n"
            "  x = mousex() : y = mousey()\n"
            "  n = n + 1\n"
            "until x = 125 and y = 125 or n > 2400\n"
            "ink rgb(255, 0, 255), 0\n"
            "dot x, y\n"
            "refresh screen\n"
            "save bitmap \"mouse.png\"\n"
            "end\n");
  // The pointer comes to the place again and again until the program has seen it there (or
  // ended): a program that has not yet taken the screen over sees a later move. The program reads
  // movements, so the way there and back is taken in two steps that it can see apart.
  const int status =
      test::RunXvfbSession(dir,
                           "\"$VORLIX\" run mouse.vxa & game=$!\n"
                           "wait_window \"$VORLIX\"\n"
                           "while kill -0 $game 2>/dev/null; do\n"
                           "  xdotool mousemove 210 210; sleep 0.2; xdotool mousemove 200 200; sleep 0.2\n"
                           "done\n"
                           "wait $game\n",
                           "1024x768x24");
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

// A click of 10 ms, shorter than a frame, counts: it ends `wait mouse`, and mouseclick() reports it
// once, full screen (read from the mouse device) and in a window (from the window's messages).
// Each program shows red while it waits and white while it asks mouseclick(); the clicks come once
// those show, and a program that missed one would wait until the session's time is up.
TEST(WindowInputTest, AClickShorterThanAFrameEndsWaitMouseAndCountsOnce) {
  if (!HaveTool("Xvfb") || !HaveTool("xwd") || !HaveTool("xwininfo") || !HaveTool("xdotool"))
    GTEST_SKIP() << "needs Xvfb, xwd, xwininfo and xdotool";
  for (const std::string mode : {"", "set window on\n"}) {
    SCOPED_TRACE(mode.empty() ? "full screen" : "window");
    test::TempFolder dir;
    // A program in a window has the window commands' title; a full-screen one makes its window
    // again at the screen's size, and the clicks wait for that one.
    const std::string window = mode.empty() ? "\"$VORLIX\"" : "Vorlix";
    const std::string width = mode.empty() ? "1024" : "640";
    dir.Write("click.vxa", mode +
                               "cls rgb(255, 0, 0)\n"
                               "wait mouse\n"
                               "repeat\n"
                               "  cls rgb(255, 255, 255)\n"
                               "until mouseclick() = 1\n"
                               "end\n");
    // Both sessions end within ctest's limit, each with what it waited for should it hang.
    const std::string script =
        "\"$VORLIX\" run click.vxa & game=$!\n"
        "wait_window " +
        window +
        "\n"
        "waiting 'the window to be " +
        width +
        " wide'; tries=0\n"
        "until xwininfo -name " +
        window + " | grep -q 'Width: " + width +
        "'; do poll; done\n"
        "wait_focus " +
        window +
        "\n"
        "wait_shown " +
        window +
        " red.xwd ' 00 00 f[8-9a-f]'\n"
        "xdotool mousemove 100 100 mousedown 1 sleep 0.01 mouseup 1\n"
        "wait_shown " +
        window +
        " white.xwd ' f[8-9a-f] f[8-9a-f] f[8-9a-f]'\n"
        "xdotool mousedown 1 sleep 0.01 mouseup 1\n"
        "wait_game; echo game ended with $?\n";
    const int status = test::RunXvfbSession(dir, script, "1024x768x24", 50);
    ASSERT_EQ(status, 0) << dir.Read("log.txt");
    EXPECT_NE(dir.Read("log.txt").find("game ended with 0"), std::string::npos) << dir.Read("log.txt");
  }
}

}  // namespace
// A program that computes in manual refresh never ends its time slice by itself; Esc in its window
// (named Vorlix once the program asks for a window) and SIGTERM end it all the same: Esc as a run
// that ended (0), the signal by itself (143). A watchdog kills what is not ended within 30 seconds.
TEST(WindowInputTest, EscAndASignalEndAProgramThatComputesInItsWindow) {
  if (!HaveTool("Xvfb") || !HaveTool("xwininfo") || !HaveTool("xdotool"))
    GTEST_SKIP() << "needs Xvfb, xwininfo and xdotool";
  test::TempFolder dir;
  // The picture is saved at the end of the frame after which the loop starts.
  dir.Write("spin.vxa",
            "set window on\nmanual refresh\nsave bitmap \"ready.png\"\nrefresh screen\ndo\n  inc a\nloop\n");
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
      "1024x768x24");
  ASSERT_EQ(status, 0) << dir.Read("log.txt");
  const std::string log = dir.Read("log.txt");
  EXPECT_NE(log.find("esc: ended with 0"), std::string::npos) << log;
  EXPECT_NE(log.find("term: ended with 143"), std::string::npos) << log;
}

// A signal ends a program whose exit prompt is set, by that signal: while it computes the box is
// never shown, and a box already waiting for its click closes. A watchdog kills what is not ended
// within 30 seconds.
TEST(WindowInputTest, ASignalEndsAProgramWhoseExitPromptWaits) {
  if (!HaveTool("Xvfb") || !HaveTool("xwininfo")) GTEST_SKIP() << "needs Xvfb and xwininfo";
  test::TempFolder dir;
  dir.Write("computes.vxa",
            "set window on\nexit prompt \"See you\", \"Goodbye\"\nmanual refresh\nsave bitmap \"ready.png\"\n"
            "refresh screen\ndo\n  inc a\nloop\n");
  dir.Write("box.vxa", "exit prompt \"See you\", \"Goodbye\"\nend\n");
  const int status = test::RunXvfbSession(dir,
                                          "for how in computes box; do\n"
                                          "  \"$VORLIX\" run $how.vxa 2> $how.txt & game=$!\n"
                                          "  ( sleep 30; kill -KILL $game ) 2>/dev/null & watchdog=$!\n"
                                          "  if [ $how = computes ]; then\n"
                                          "    waiting 'the first picture'; tries=0\n"
                                          "    until [ -f ready.png ]; do poll; done\n"
                                          "  else\n"
                                          "    wait_window Goodbye\n"
                                          "  fi\n"
                                          "  kill -TERM $game\n"
                                          "  wait_game; echo \"$how: ended with $?\"\n"
                                          "  kill $watchdog 2>/dev/null\n"
                                          "done\n",
                                          "1024x768x24");
  ASSERT_EQ(status, 0) << dir.Read("log.txt");
  const std::string log = dir.Read("log.txt");
  EXPECT_NE(log.find("computes: ended with 143"), std::string::npos) << log << dir.Read("computes.txt");
  EXPECT_NE(log.find("box: ended with 143"), std::string::npos) << log << dir.Read("box.txt");
  // The box's text still reaches the terminal.
  EXPECT_NE(dir.Read("computes.txt").find("Goodbye: See you\n"), std::string::npos) << dir.Read("computes.txt");
}

// A display that refuses the first connections, as a busy server does now and then, still gets
// the program's window; one that refuses every try ends the run with a message that names it.
TEST(WindowInputTest, ADisplayThatRefusesAFewConnectionsStillGetsTheWindow) {
  if (!HaveTool("Xvfb") || !HaveTool("xwininfo") || !HaveTool("xdotool"))
    GTEST_SKIP() << "needs Xvfb, xwininfo and xdotool";
  test::TempFolder dir;
  dir.Write("key.vxa", "set window on\nwait key\nend\n");
  const int status = test::RunXvfbSession(
      dir,
      "VX_TEST_DISPLAY_REFUSALS=4 \"$VORLIX\" run key.vxa & game=$!\n"
      "wait_window Vorlix\n"
      "xdotool windowfocus --sync $(xdotool search --name '^Vorlix$' | head -1) key space\n"
      "wait_game; echo \"refused 4 times: ended with $?\"\n"
      "game=; waiting 'the run on a display that refuses every try to end'\n"
      "VX_TEST_DISPLAY_REFUSALS=5 \"$VORLIX\" run key.vxa 2> refused.txt; echo \"refused 5 times: ended with $?\"\n"
      "echo \"the display was $DISPLAY\"\n",
      "640x480x24");
  ASSERT_EQ(status, 0) << dir.Read("log.txt");
  const std::string log = dir.Read("log.txt");
  EXPECT_NE(log.find("refused 4 times: ended with 0"), std::string::npos) << log;
  EXPECT_NE(log.find("refused 5 times: ended with 1"), std::string::npos) << log;
  const size_t at = log.find("the display was ");
  ASSERT_NE(at, std::string::npos) << log;
  const std::string display = log.substr(at + 16, log.find('\n', at) - at - 16);
  EXPECT_NE(dir.Read("refused.txt").find("The display " + display + " could not be opened"), std::string::npos)
      << dir.Read("refused.txt");
}

}  // namespace vx
