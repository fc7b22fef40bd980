// Standalone games end to end: a copy of vorlix with an attached block runs headless, and what it
// leaves (exit status, the error box on standard error, the log) is checked.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

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
  // Writes a game with the block behind a copy of vorlix and runs it headless.
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
    const auto tmp = std::filesystem::directory_iterator(dir.path() + "tmp");
    EXPECT_EQ(std::distance(tmp, std::filesystem::directory_iterator()), 1) << "left in " << dir.path() << "tmp";
    return run;
  }
  static test::BlockWriter Holding(const ImageBuilder& image) {
    const auto bytes = image.Build();
    const std::string program(bytes.begin(), bytes.end());
    return std::move(test::BlockWriter().Entry("C:\\WINDOWS\\Temp\\_exefile.dat", program));
  }
  // dim a(2) : a(5) = 1
  static ImageBuilder IndexOutOfRange() {
    ImageBuilder b;
    int a = b.IntVar(), two = b.IntConst(2), five = b.IntConst(5), one = b.IntConst(1);
    b.Cmd(kCmdDimIntArray1, {a, two}).Cmd(kCmdSetIntElement1, {a, five, one}, 3);
    return b;
  }
  test::TempFolder dir;
};

TEST_F(StandaloneTest, GamesThatEndWithoutAHardErrorShowNoBox) {
  ImageBuilder loop;
  int i = loop.IntVar(), limit = loop.IntConst(100), one = loop.IntConst(1);
  loop.Label("top").Cmd(kCmdFor, {i, limit, one, test::To("end")}).Cmd(kCmdGoto, {test::To("top")});
  loop.Label("end");
  ImageBuilder soft;  // division by zero: a warning only
  soft.Cmd(kCmdDivideInt, {soft.IntVar(), soft.IntConst(1), soft.IntConst(0)});
  const std::pair<const char*, test::BlockWriter> games[] = {
      {"normal end", Holding(loop)},
      {"soft error", Holding(soft)},
      {"no program", test::BlockWriter()},
  };
  for (const auto& [what, block] : games) {
    const GameRun run = Run(block);
    EXPECT_EQ(run.status, 0) << what;
    EXPECT_EQ(run.errors, "") << what;
  }
}

TEST_F(StandaloneTest, FailingProgramShowsTheErrorBoxOnStandardError) {
  const GameRun run = Run(Holding(IndexOutOfRange()));
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.errors.find("Runtime Error : ERROR 7.\n"), std::string::npos) << run.errors;
  EXPECT_NE(run.errors.find("Error In Program"), std::string::npos) << run.errors;
}

// A game whose program the loader refuses says so in the error box instead of ending as if it had
// run; the program is never started, and a game still exits with 0.
TEST_F(StandaloneTest, DamagedProgramImageShowsTheErrorBox) {
  const std::vector<uint8_t> sound = IndexOutOfRange().Build();
  std::string damaged(sound.begin(), sound.end());
  damaged.resize(48);  // version 1 and a header whose areas lie past the end
  const GameRun run = Run(std::move(test::BlockWriter().Entry("C:\\WINDOWS\\Temp\\_exefile.dat", damaged)));
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.errors.find("System Error : ERROR 161.\n"), std::string::npos) << run.errors;
  EXPECT_NE(run.errors.find("Error In Program"), std::string::npos) << run.errors;
  EXPECT_EQ(run.errors.find("Runtime Error"), std::string::npos) << "the program ran: " << run.errors;
}

TEST_F(StandaloneTest, DebugModeLogsTheErrorAndWordFileGivesItsText) {
  dir.Write("SETUP.INI", "[SETTINGS]\r\nDEBUGMODE=1\r\n");
  dir.Write("VX.LOG", "[OLD]\r\nstale=1\r\n");
  dir.Write("LANG/english/WORDS.TXT", "[ERRORS]\r\n7=Array index out of range\r\n");
  const GameRun run = Run(Holding(IndexOutOfRange()));
  EXPECT_NE(run.errors.find("Runtime Error : Array index out of range.\n"), std::string::npos) << run.errors;
  const std::string log = dir.Read("VX.LOG");
  EXPECT_EQ(log.find("stale"), std::string::npos);
  EXPECT_NE(log.find("RUNTIMEERROR ON "), std::string::npos) << log;
  EXPECT_NE(log.find("=Runtime Error : Array index out of range."), std::string::npos) << log;
}

}  // namespace
}  // namespace vx
