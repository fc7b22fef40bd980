// The X server going away under a running program, under Xvfb: the run ends at once with a
// message that names the display and status 1, through the clean-up that removes its work folder,
// whether it was `vorlix run`, a built game, or a run whose exit box waited for its click.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/app/xvfb_session.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

using test::HaveTool;

TEST(LostDisplayTest, TheXServerGoingAwayEndsTheRunThroughItsCleanUp) {
  if (!HaveTool("Xvfb") || !HaveTool("xwininfo")) GTEST_SKIP() << "needs Xvfb and xwininfo";
  const struct {
    const char* name;
    const char* start;   // starts the program as $game
    const char* window;  // what is on the screen when the server goes
  } kCases[] = {
      {"run", "\"$VORLIX\" run spin.vxa 2> errors.txt & game=$!\n", "Vorlix"},
      {"game", "\"$VORLIX\" build spin.vxa -o game && ./game 2> errors.txt & game=$!\n", "Vorlix"},
      {"box", "\"$VORLIX\" run box.vxa 2> errors.txt & game=$!\n", "Goodbye"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    test::TempFolder dir;
    dir.Write("spin.vxa", "set window on\ndo\n  inc a\nloop\n");
    dir.Write("box.vxa", "exit prompt \"See you\", \"Goodbye\"\nend\n");
    const int status = test::RunXvfbSession(dir,
                                            std::string(c.start) + "wait_window " + c.window +
                                                "\n"
                                                "kill $XVFB\n"
                                                "wait_game; echo \"ended with $?\"\n",
                                            "640x480x24", 40);
    ASSERT_EQ(status, 0) << dir.Read("log.txt");
    EXPECT_NE(dir.Read("log.txt").find("ended with 1\n"), std::string::npos) << dir.Read("log.txt");
    EXPECT_NE(dir.Read("errors.txt").find("was lost: its X server went away"), std::string::npos)
        << dir.Read("errors.txt");
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      EXPECT_FALSE(entry.path().filename().string().starts_with("vorlix-")) << entry.path();
  }
}

}  // namespace
}  // namespace vx
