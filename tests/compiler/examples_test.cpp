// The example programs in examples/: each compiles, and each runs to the result it promises,
// which shows in the message it leaves for the end of the run or in its error.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "compiler/compiler.h"
#include "runtime/program_image.h"
#include "system/system_state.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

const fs::path kExamples = fs::path(VX_SOURCE_DIR) / "examples";

struct Expected {
  std::string message;  // the exit prompt's text, empty for none
  int32_t error = 0;
};

// Every example, with what it shows. A new example must be added here.
const std::map<std::string, Expected> kExpected = {
    {"hello.vxa", {"Hello, world!"}},
    {"loops.vxa", {"for: 55  while: 55  repeat: 55  do: 55"}},
    {"functions.vxa", {"fib(10) = 55, 7! = 5040, hypotenuse(3, 4) = 5"}},
    {"arrays.vxa", {"sum of squares 0..10: 385, table(2, 2): 9, GRACE"}},
    {"data.vxa", {"Total: 3 items cost 7.5"}},
    {"strings.vxa", {"Vorlix has 2 vowels; A is 65 = 41 hex; val(\"42\") + 1 = 43"}},
    {"error.vxa", {"", kErrArrayIndexOutOfRange}},
};

// The examples that draw; tests/display/examples_screen_test.cpp checks their pictures (the film
// example: tests/display/video_test.cpp; the 3D examples: tests/engine3d/example_test.cpp,
// walk_example_test.cpp, terrain_example_test.cpp and collide_example_test.cpp; the rocks game:
// tests/display/sprite_game_test.cpp).
const std::set<std::string> kDrawn = {"shapes.vxa", "text.vxa", "picture.vxa", "welcome.vxa", "film.vxa",
                                      "crate.vxa",  "walk.vxa", "rocks.vxa",   "terrain.vxa", "collide.vxa"};

TEST(ExamplesTest, EveryExampleIsListedCompilesAndShowsItsResult) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(kExamples)) {
    if (entry.path().extension() != ".vxa") continue;
    ++count;
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(kExpected.count(name) + kDrawn.count(name) == 1) << entry.path() << " is not listed";
  }
  EXPECT_EQ(count, int(kExpected.size() + kDrawn.size()));

  // The shorter fused code and the plain code show the same.
  test::TempFolder dir;
  for (const bool fused : {true, false}) {
    for (const auto& [name, expected] : kExpected) {
      SCOPED_TRACE(name + (fused ? " fused" : " plain"));
      const std::string image = dir.path() + "program.dat";
      ResetCompiler();
      ASSERT_EQ(LoadCommandTable(), 1);
      gCompiler.fuseCommands = fused;
      const int compiled = CompileFile((kExamples / name).string(), image);
      gCompiler.fuseCommands = true;
      FreeCompilerTables();
      ASSERT_EQ(compiled, 1) << "line " << gCompiler.errorLine << ": " << gCompiler.resultMessage;
      test::PrepareRuntime();
      System().gExitMessageFlag = 0;
      System().gExitMessageText.clear();
      ASSERT_TRUE(LoadProgramImage(image));
      const test::RunResult run = test::RunLoaded(100000);
      EXPECT_TRUE(run.ended);
      EXPECT_EQ(run.errorCode, expected.error) << run.errorText;
      EXPECT_EQ(System().gExitMessageFlag, expected.message.empty() ? 0u : 1u);
      EXPECT_EQ(System().gExitMessageText, expected.message);
      FreeProgramImage();
    }
  }
}

}  // namespace
}  // namespace vx
