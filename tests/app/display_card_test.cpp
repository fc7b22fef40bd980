// Start-up reads the display card and depth the player chose once from the per-user profile: a run
// with a fresh profile folder starts at the stored depth of a card that is there, at 16 bits for a
// card that is gone. The program ends without an error only in the mode it expects.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "tests/support/temp_folder.h"

namespace vx {
namespace {

class DisplayCardStartTest : public ::testing::Test {
 protected:
  // Runs the program headless with the profile folder of the test; the exit status.
  int Run(const std::string& source) {
    dir.Write("game.vxa", source);
    dir.Write("tmp/.keep", "");
    const std::string line = "cd '" + dir.path() + "' && TMPDIR='" + dir.path() + "tmp' XDG_CONFIG_HOME='" +
                             dir.path() + "config' SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout 60 '" +
                             VX_VORLIX_PATH + "' run game.vxa 2> errors.txt > /dev/null < /dev/null";
    const int raw = std::system(line.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  // Ends quietly at the mode, else with an index error.
  static std::string ExpectingMode(int width, int height, int depth) {
    return "w = screen width()\nh = screen height()\nd = screen depth()\n"
           "if w = " +
           std::to_string(width) + "\n if h = " + std::to_string(height) + "\n  if d = " + std::to_string(depth) +
           "\n   end\n  endif\n endif\nendif\ndim a(1)\na(5) = 1\n";
  }
  void Profile(const std::string& card, const std::string& depth) {
    dir.Write("config/vorlix/WIN.INI", "[VorlixStateData]\r\nBEST3DCARD=" + card + "\r\nBEST3DDEPTH=" + depth + "\r\n");
  }

  test::TempFolder dir;
};

TEST_F(DisplayCardStartTest, TheStoredDepthOfAKnownCardIsTheStartingDepth) {
  Profile("primary display driver", "24");
  EXPECT_EQ(Run(ExpectingMode(640, 480, 24)), 0) << dir.Read("errors.txt");
  EXPECT_EQ(Run(ExpectingMode(640, 480, 32)), 1) << "the program tells one depth from another";
  Profile("A Card Taken Out", "32");  // the depth of a card that is gone is not taken
  EXPECT_EQ(Run(ExpectingMode(640, 480, 16)), 0) << dir.Read("errors.txt");
  // And the program's own mode change stands.
  Profile("Primary Display Driver", "32");
  EXPECT_EQ(Run("set display mode 800, 600, 24\n" + ExpectingMode(800, 600, 24)), 0) << dir.Read("errors.txt");
}

}  // namespace
}  // namespace vx
