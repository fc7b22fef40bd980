// Standalone games end to end: a copy of vorlix with an attached block runs headless, and what it
// leaves (exit status, the error box on standard error, the log) is checked.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/block_writer.h"
#include "tests/support/image_builder.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

using test::ImageBuilder;

struct GameRun {
  int status = -1;
  std::string errors;
};

class StandaloneTest : public ::testing::Test {
 protected:
  // Writes a game holding the image (and any further entries) and runs it headless.
  GameRun Run(const test::BlockWriter& block) {
    const std::string game = dir.path() + "game";
    EXPECT_TRUE(block.AppendToCopy(VX_VORLIX_PATH, game));
    chmod(game.c_str(), 0755);
    dir.Write("tmp/.keep", "");
    const std::string command = "cd '" + dir.path() + "' && TMPDIR='" + dir.path() +
                                "tmp' SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy ./game 2> errors.txt > /dev/null";
    GameRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.errors = dir.Read("errors.txt");
    // The game's private temporary folder, with the extracted program, is gone.
    EXPECT_EQ(TempFolderEntries(), 1) << "left in " << dir.path() << "tmp";
    return run;
  }
  GameRun RunImage(const ImageBuilder& image) {
    const auto bytes = image.Build();
    test::BlockWriter block;
    block.Entry("C:\\WINDOWS\\Temp\\_exefile.dat", std::string(bytes.begin(), bytes.end()));
    return Run(block);
  }
  // dim a(2) : a(5) = 1
  static ImageBuilder IndexOutOfRange() {
    ImageBuilder b;
    int a = b.IntVar(), two = b.IntConst(2), five = b.IntConst(5), one = b.IntConst(1);
    b.Cmd(501, {a, two}).Cmd(561, {a, five, one}, 3);
    return b;
  }
  int TempFolderEntries() const {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path() + "tmp")) ++count;
    return count;
  }
  test::TempFolder dir;
};

TEST_F(StandaloneTest, ProgramThatEndsNormallyShowsNoBox) {
  ImageBuilder b;
  int i = b.IntVar(), limit = b.IntConst(100), one = b.IntConst(1);
  b.Label("top").Cmd(7, {i, limit, one, test::To("end")}).Cmd(2, {test::To("top")});
  b.Label("end");
  const GameRun run = RunImage(b);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.errors, "");
}

TEST_F(StandaloneTest, FailingProgramShowsTheErrorBoxOnStandardError) {
  const GameRun run = RunImage(IndexOutOfRange());
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.errors.find("Runtime Error : ERROR 7. "), std::string::npos) << run.errors;
  EXPECT_NE(run.errors.find("Error In Program"), std::string::npos) << run.errors;
}

TEST_F(StandaloneTest, SoftErrorsAreIgnoredInAGame) {
  ImageBuilder b;
  int r = b.IntVar(), one = b.IntConst(1), zero = b.IntConst(0);
  b.Cmd(61, {r, one, zero});  // division by zero: a warning only
  const GameRun run = RunImage(b);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.errors, "");
}

TEST_F(StandaloneTest, BlockWithoutAProgramEndsQuietly) {
  const GameRun run = Run(test::BlockWriter());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.errors, "");
}

TEST_F(StandaloneTest, RefusedImageEndsQuietly) {
  test::BlockWriter block;
  block.Entry("_exefile.dat", std::string("\x01\0\0\0", 4) + std::string(44, '\xff'));  // version 1, no valid area
  const GameRun run = Run(block);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.errors, "");
}

TEST_F(StandaloneTest, DebugModeLogsTheErrorAndWordFileGivesItsText) {
  dir.Write("SETUP.INI", "[SETTINGS]\r\nDEBUGMODE=1\r\n");
  dir.Write("VX.LOG", "[OLD]\r\nstale=1\r\n");
  dir.Write("LANG/english/WORDS.TXT", "[ERRORS]\r\n7=Array index out of range\r\n");
  const GameRun run = RunImage(IndexOutOfRange());
  EXPECT_NE(run.errors.find("Runtime Error : Array index out of range. "), std::string::npos) << run.errors;
  const std::string log = dir.Read("VX.LOG");
  EXPECT_EQ(log.find("stale"), std::string::npos);
  EXPECT_NE(log.find("RUNTIMEERROR ON "), std::string::npos) << log;
  EXPECT_NE(log.find("=Runtime Error : Array index out of range. "), std::string::npos) << log;
}

}  // namespace
}  // namespace vx
