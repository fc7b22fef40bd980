// How runs end, as processes of the author's tool and of a built game: a program that shows as many
// pictures by sprites as it may have ends cleanly; an allocation that fails in the frame's own
// steps, outside every command, ends the run with the error box and leaves no work folder; a save
// asked for just before the run ends is written, whichever way it ends.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/app/saved_picture.h"
#include "tests/app/tool_processes.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

using test::Outcome;

class RunOutcomeTest : public test::ToolProcessTest {
 protected:
  Outcome Shell(const std::string& command, const std::string& environment = "") {
    return ToolProcessTest::Shell("", command, environment, 100);
  }
  Outcome Run(const std::string& source, const std::string& environment = "") {
    dir.Write("game.vxa", source);
    return Shell(std::string("'") + VX_VORLIX_PATH + "' run game.vxa", environment);
  }
};

// Each picture is a surface and each sprite keeps the background under it in two more: some
// 200,000 surfaces, far more than the kernel gives a process mappings.
TEST_F(RunOutcomeTest, AsManyPicturesAsAProgramMayHaveShownBySpritesEndCleanly) {
  const Outcome run =
      Run("manual refresh\n"
          "for i = 1 to 65535\n"
          "  get image i, 0, 0, 8, 8\n"
          "  sprite i, 0, 0, i\n"
          "next i\n"
          "refresh screen\n"
          "end\n");
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(WorkFoldersLeft(), 0);
}

// The sprite's background is kept in a surface of its scaled size, made in the frame's end.
TEST_F(RunOutcomeTest, AnAllocationThatFailsInTheFrameStepEndsWithTheErrorBoxAndTheCleanUp) {
  const Outcome run =
      Run("manual refresh\n"
          "get image 1, 0, 0, 8, 8\n"
          "sprite 1, 0, 0, 1\n"
          "scale sprite 1, 300\n"
          "refresh screen\n"
          "end\n",
          "VX_TEST_SURFACE_THROWS=24x24");
  EXPECT_EQ(run.status, 1) << run.errors;
  EXPECT_NE(run.errors.find("Error In Program: game.vxa:"), std::string::npos) << run.errors;
  EXPECT_NE(run.errors.find("Runtime Error : "), std::string::npos) << run.errors;
  EXPECT_EQ(run.errors.find("terminate"), std::string::npos) << run.errors;
  EXPECT_EQ(WorkFoldersLeft(), 0);
}

// An eight-pixel square with a white box in it, grabbed and saved as the program's last act.
std::string SaveAtTheEnd(const std::string& before, const std::string& ending) {
  return "manual refresh\n"
         "box 0, 0, 7, 7\n"
         "get image 1, 0, 0, 8, 8\n" +
         before + "save image \"a.png\", 1\n" + ending + "\n";
}

void ExpectSavedSquare(const std::string& path) {
  test::Picture saved;
  ASSERT_TRUE(test::ReadPng(path, &saved)) << "no picture in " << path;
  ASSERT_EQ(std::pair(saved.width, saved.height), std::pair(8u, 8u));
  EXPECT_TRUE(test::Near(saved.At(0, 0), 0xFFFFFF)) << std::hex << saved.At(0, 0);
  EXPECT_TRUE(test::Near(saved.At(6, 6), 0xFFFFFF)) << std::hex << saved.At(6, 6);
}

// Ends the run with an error box.
constexpr const char* kIndexError = "dim b(2)\nb(5) = 1";

TEST_F(RunOutcomeTest, ASaveJustBeforeTheRunEndsIsWritten) {
  const struct {
    const char* before;
    const char* ending;
  } kCases[] = {{"", "end"}, {"refresh screen\n", "end"}, {"", "quit"}, {"", kIndexError}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.before) + c.ending);
    std::filesystem::remove(dir.path() + "a.png");
    const Outcome run = Run(SaveAtTheEnd(c.before, c.ending));
    EXPECT_EQ(run.status, c.ending == kIndexError ? 1 : 0) << run.errors;
    ExpectSavedSquare(dir.path() + "a.png");
  }
}

TEST_F(RunOutcomeTest, ABuiltGameWritesTheSaveItAskedForLast) {
  dir.Write("game.vxa", SaveAtTheEnd("", "end"));
  const Outcome built = Shell(std::string("'") + VX_VORLIX_PATH + "' build game.vxa -o game");
  ASSERT_EQ(built.status, 0) << built.errors;
  chmod((dir.path() + "game").c_str(), 0755);
  const Outcome run = Shell("./game");
  EXPECT_EQ(run.status, 0) << run.errors;
  ExpectSavedSquare(dir.path() + "a.png");
  EXPECT_EQ(WorkFoldersLeft(), 0);
}

}  // namespace
}  // namespace vx
