// The check that every compile runs on its code: no temporary that a user-function call may write
// is read after the call with a value stored before it. It finds such code, passes the code the
// compiler writes, and knows every command of the programs it walks.
#include <filesystem>

#include "compiler/internal.h"
#include "generated/command_numbers.h"
#include "tests/compiler/compile_support.h"
#include "tests/support/program_generator.h"

namespace vx::test {
namespace {

class CallCheckTest : public CompileTest {
 protected:
  // Runs the check on these words in place of compiled code, the n-th word on line n + 1.
  bool Check(const std::vector<uint32_t>& words) {
    gCompiler.code = words;
    gCompiler.lines.clear();
    for (size_t i = 0; i < words.size(); ++i) gCompiler.lines.push_back(uint32_t(i + 1));
    gCompiler.intConstants = {1};
    gCompiler.failed = false;
    bool walked = false;
    const bool kept = compiler::ValuesOutliveCalls(&walked);
    EXPECT_TRUE(walked);
    return kept;
  }
  // f(x) of function 1 = x * x + f(x), with the product in t, read after the call through held.
  static std::vector<uint32_t> Function(uint32_t t, uint32_t held) {
    std::vector<uint32_t> words = {kCmdFunctionHead, 13001, 1, kCmdMultiplyInt, t, 13001, 13001};
    if (held != t) words.insert(words.end(), {kCmdAssignInt, held, t});
    words.insert(words.end(), {kCmdCallFunction, 35000, 10099, 19000, 13001, kCmdAddInt, 10098, held, 10099,
                               kCmdEndFunctionInt, 10098});
    return words;
  }
};

TEST_F(CallCheckTest, FindsAValueThatACallMayOverwrite) {
  ASSERT_TRUE(Compile("end\n")) << Message();
  // In a function any temporary may be written by the call; moved into a variable first it is kept.
  EXPECT_FALSE(Check(Function(10050, 10050)));
  EXPECT_EQ(Message(), "");  // the compile's message is untouched; the check's own is errorText
  EXPECT_EQ(gCompiler.errorText, "M61");
  EXPECT_EQ(Line(), 13);  // the add, the first command that reads it
  EXPECT_TRUE(Check(Function(10050, 13002)));

  // The main program's own first 50 temporaries belong to no function; those past them do.
  const auto main = [](uint32_t t) {
    return std::vector<uint32_t>{kCmdMultiplyInt, t,     13000, 13000, kCmdCallFunction, 35000, 10001, 19000, 13000,
                                 kCmdAddInt,      13001, t,     10001};
  };
  EXPECT_TRUE(Check(main(10049)));
  EXPECT_FALSE(Check(main(10050)));
  // Written again after the call, it is the new value that is read.
  std::vector<uint32_t> rewritten = main(10050);
  rewritten.insert(rewritten.begin() + 9, {kCmdMultiplyInt, 10050, 13000, 13000});
  EXPECT_TRUE(Check(rewritten));
}

TEST_F(CallCheckTest, ExamplesAndGeneratedProgramsPassAndEveryCommandIsKnown) {
  auto compiledAndWalked = [&](const std::string& source, const std::string& name) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(Compile(source)) << Message() << " at line " << Line();
    bool walked = false;
    EXPECT_TRUE(compiler::ValuesOutliveCalls(&walked));
    EXPECT_TRUE(walked);
  };
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(VX_SOURCE_DIR) / "examples")) {
    if (entry.path().extension() != ".vxa") continue;
    ResetCompiler();
    ASSERT_EQ(LoadCommandTable(), 1);
    ASSERT_EQ(CompileFile(entry.path().string(), output), 1) << entry.path() << ": " << Message();
    bool walked = false;
    EXPECT_TRUE(compiler::ValuesOutliveCalls(&walked)) << entry.path();
    EXPECT_TRUE(walked) << entry.path();
  }
  for (uint32_t seed = 1; seed <= 40; ++seed) compiledAndWalked(GenerateProgram(seed).source, std::to_string(seed));
}

}  // namespace
}  // namespace vx::test
