// What the tests of vorlix as a process share: a private folder with a temporary folder of its own,
// commands run there headless with their exit status and standard error, and a count of the work
// folders that runs left behind.
#pragma once
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/temp_folder.h"

namespace vx::test {

struct Outcome {
  int status = -1;
  std::string errors;
};

class ToolProcessTest : public ::testing::Test {
 protected:
  void SetUp() override { dir.Write("tmp/.keep", ""); }

  // Runs the command in a folder below the test's own, headless, with the environment given before
  // it; the time limit only turns a hang into a failure.
  Outcome Shell(const std::string& folder, const std::string& command, const std::string& environment = "",
                int seconds = 60) {
    const std::string line = "cd '" + dir.path() + folder + "' && TMPDIR='" + dir.path() +
                             "tmp' SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy " + environment + " timeout " +
                             std::to_string(seconds) + " " + command + " 2> '" + dir.path() +
                             "errors.txt' > /dev/null < /dev/null";
    const int raw = std::system(line.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, dir.Read("errors.txt")};
  }
  Outcome Vorlix(const std::string& arguments) {
    return Shell("", std::string("'") + VX_VORLIX_PATH + "' " + arguments);
  }
  // The work folders that runs left in the temporary folder.
  int WorkFoldersLeft() {
    int left = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path() + "tmp"))
      left += entry.path().filename().string().starts_with("vorlix-");
    return left;
  }

  TempFolder dir;
};

}  // namespace vx::test
