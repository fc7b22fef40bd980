// The error box on a desktop, under Xvfb without any outside box tool: a failing game shows a box
// of its own titled "Error In Program" with the stop sign and the error's text after the place of
// the failing line, keeps the line on standard error, and ends once the box is answered; Enter
// answers it, and so does a click on OK in the box of the program's own exit prompt that follows.
#include <gtest/gtest.h>

#include <string>

#include "tests/app/xvfb_session.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

using test::HaveTool;
using test::WindowDump;

TEST(ErrorBoxTest, AFailingGameShowsItsErrorInABoxThatEnterAndOkClose) {
  if (!HaveTool("Xvfb") || !HaveTool("xwd") || !HaveTool("xwininfo") || !HaveTool("xdotool"))
    GTEST_SKIP() << "needs Xvfb, xwd, xwininfo and xdotool";
  test::TempFolder dir;
  dir.Write("fail.vxa", "exit prompt \"See you\", \"Goodbye\"\nload bitmap \"missing.bmp\"\nend\n");
  // Each box is answered once it shows its stop sign or its button (so once it waits for the
  // answer); the first is shot and listed before. A watchdog ends the game should a box stay.
  const int status = test::RunXvfbSession(
      dir,
      "\"$VORLIX\" run fail.vxa 2> errors.txt & game=$!\n"
      "( sleep 60; kill -KILL $game ) 2>/dev/null & watchdog=$!\n"
      "wait_shown 'Error In Program' box.xwd ' 23 11 e8'\n"
      "xwininfo -root -tree > windows.txt\n"
      "xdotool windowfocus --sync $(xdotool search --name 'Error In Program' | head -1) key Return\n"
      "window_gone 'Error In Program' && echo error box closed\n"
      "wait_shown Goodbye goodbye.xwd ' d7 78 00'\n"
      "wait_focus Goodbye\n"
      "box=$(xdotool search --name Goodbye | head -1)\n"
      "eval $(xdotool getwindowgeometry --shell $box)\n"
      "xdotool mousemove --window $box $((WIDTH / 2)) $((HEIGHT - 23)) click 1\n"
      "wait_game; echo game ended with $?\n"
      "kill $watchdog 2>/dev/null\n",
      "1024x768x24");
  ASSERT_EQ(status, 0) << dir.Read("log.txt");
  const std::string log = dir.Read("log.txt");
  EXPECT_NE(log.find("error box closed"), std::string::npos) << log;
  EXPECT_NE(log.find("game ended with 1"), std::string::npos) << log;
  EXPECT_NE(dir.Read("windows.txt").find("\"Error In Program\""), std::string::npos) << dir.Read("windows.txt");
  EXPECT_NE(
      dir.Read("errors.txt").find("Error In Program: fail.vxa:2: Runtime Error : File not found. \"missing.bmp\""),
      std::string::npos)
      << dir.Read("errors.txt");
  EXPECT_NE(dir.Read("errors.txt").find("Goodbye: See you"), std::string::npos) << dir.Read("errors.txt");
  WindowDump box;
  ASSERT_TRUE(box.Read(dir.Read("box.xwd")));
  EXPECT_GT(box.width, 250u);
  EXPECT_GT(box.Count(0xE81123, 0, 0, 80, box.height), 300) << "the stop sign";
  EXPECT_GT(box.Count(0x000000, 60, 0, box.width, box.height - 46), 100) << "the text";
}

}  // namespace
}  // namespace vx
