// Every program in docs/guide.md, taken from its code blocks, each a test of its own: a "basic"
// block compiles and runs headless to its end without an error box, showing the text after
// "shows:" when it names one; a "basic no-run" block (it waits for keys) compiles; a "basic
// does-not-compile" block is refused by the compiler, as the guide says. The programs run in a
// folder that holds the examples' media folder, as they would beside the examples.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace vx {
namespace {

struct Block {
  int line = 0;      // of the opening fence
  std::string kind;  // "", "no-run", "does-not-compile" or "shows: TEXT"
  std::string code;
};

std::vector<Block> BasicBlocks(const std::string& path) {
  std::ifstream in(path);
  std::vector<Block> blocks;
  std::string line;
  bool inside = false;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!inside && line.rfind("```basic", 0) == 0) {
      inside = true;
      blocks.push_back({number, line.size() > 9 ? line.substr(9) : "", ""});
    } else if (inside && line == "```") {
      inside = false;
    } else if (inside) {
      blocks.back().code += line + "\n";
    }
  }
  return blocks;
}

const std::string kGuide = std::string(VX_SOURCE_DIR) + "/docs/guide.md";

TEST(GuideTest, HoldsItsPrograms) { EXPECT_GE(BasicBlocks(kGuide).size(), 30u); }

class GuideProgramTest : public ::testing::TestWithParam<Block> {};

TEST_P(GuideProgramTest, DoesWhatTheGuideSays) {
  const Block& block = GetParam();
  SCOPED_TRACE("docs/guide.md:" + std::to_string(block.line));
  test::TempFolder dir;
  dir.Write("tmp/.keep", "");
  std::filesystem::copy(std::string(VX_SOURCE_DIR) + "/examples/media", dir.path() + "media");
  dir.Write("guide.vxa", block.code);
  const bool runs = block.kind.empty() || block.kind.rfind("shows: ", 0) == 0;
  ASSERT_TRUE(runs || block.kind == "no-run" || block.kind == "does-not-compile") << block.kind;
  const std::string command = "cd '" + dir.path() + "' && TMPDIR='" + dir.path() +
                              "tmp' SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout 60 '" + VX_VORLIX_PATH +
                              (runs ? "' run guide.vxa" : "' compile guide.vxa -o guide.dat") +
                              " 2> errors.txt > /dev/null < /dev/null";
  const int raw = std::system(command.c_str());
  const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  const std::string errors = dir.Read("errors.txt");
  EXPECT_EQ(status, block.kind == "does-not-compile" ? 2 : 0) << errors;
  if (block.kind.rfind("shows: ", 0) == 0) {
    // The exit prompt's box writes "caption: text" on standard error.
    EXPECT_NE(errors.find(": " + block.kind.substr(7) + "\n"), std::string::npos) << errors;
  } else if (runs) {
    EXPECT_EQ(errors.find("Error In Program"), std::string::npos) << errors;
  }
}

// Each block is named by its line in the guide.
INSTANTIATE_TEST_SUITE_P(Guide, GuideProgramTest, ::testing::ValuesIn(BasicBlocks(kGuide)),
                         [](const ::testing::TestParamInfo<Block>& block) {
                           return "Line" + std::to_string(block.param.line);
                         });

}  // namespace
}  // namespace vx
