// Source reading: line ends, long lines, #include (nested, cyclic, names in another case, failures
// inside included files), the numbered listing of the run-time test mode, extra texts, and the
// command names in the error report.
#include "runtime/errors.h"
#include "runtime/host.h"
#include "runtime/interpreter.h"
#include "tests/compiler/compile_support.h"

namespace vx::test {
namespace {

TEST_F(CompileTest, EveryLineEndGivesTheSameCodeAndLines) {
  const char* const kSources[] = {
      "a=1\r\nb=2\r\n\r\nif a\r\nc=3\r\nendif\r\n",
      "a=1\nb=2\n\nif a\nc=3\nendif\n",
      "a=1\rb=2\r\rif a\rc=3\rendif\r",
      "a=1\r\nb=2\n\rif a\r\nc=3\nendif\r",
  };
  ASSERT_TRUE(Compile(kSources[0])) << Message();
  const std::vector<uint32_t> code = gCompiler.code;
  // CR LF lines count one each; the file's closing zero byte stands on line 7, "end" on 8.
  EXPECT_EQ(gCompiler.lines, (std::vector<uint32_t>{1, 1, 1, 2, 2, 2, 4, 4, 4, 5, 5, 5, 8, 0}));
  const std::vector<uint32_t> lines = gCompiler.lines;
  for (const char* source : kSources) {
    ASSERT_TRUE(Compile(source)) << Message();
    EXPECT_EQ(gCompiler.code, code) << source;
    EXPECT_EQ(gCompiler.lines, lines) << source;
  }
}

TEST_F(CompileTest, LinesOf254CharactersAreAcceptedAnd255Refused) {
  const auto line = [](size_t length) { return "a$=\"" + std::string(length - 5, 'x') + "\""; };
  ASSERT_EQ(line(254).size(), 254u);
  EXPECT_TRUE(Compile("b=1\n" + line(254) + "\n")) << Message();
  EXPECT_FALSE(Compile("b=1\n" + line(255) + "\n"));
  EXPECT_EQ(Message(), "M41");
  EXPECT_EQ(Line(), 2);
  // A long assignment is not refused because its rewritten statement is longer.
  EXPECT_TRUE(Compile("abcdef=" + std::string(123, '1') + "+" + std::string(123, '2'))) << Message();
}

TEST_F(CompileTest, NestedAndCyclicIncludesAreAppendedOnce) {
  dir.Write("a.vxa", "#include b.vxa\n#include main.vxa\nfunction fa()\nendfunction fb() + 1\n");
  dir.Write("b.vxa", "#include a.vxa\nfunction fb()\nendfunction 10\n");
  const RunResult r = Run("#include a.vxa\n#include \"A.VXA\"\nr = fa()\n");
  EXPECT_EQ(r.errorCode, 0) << r.errorText;
  EXPECT_EQ(Int("r"), 11);
  EXPECT_EQ(gCompiler.includes.size(), 2u);
}

TEST_F(CompileTest, FailureInAnIncludedFileIsReportedAtTheMainFilesInclude) {
  dir.Write("lib.vxa", "function f()\n  x =\nendfunction\n");
  dir.Write("a.vxa", "function fa()\nendfunction\n#include \"b.vxa\"\n");
  dir.Write("b.vxa", "function fb()\n  q = (1\nendfunction\n");
  dir.Write("c.vxa", "function (x)\nendfunction\n");
  const struct {
    const char* source;
    const char* message;  // the included line follows the message
    int line;
  } kCases[] = {
      {"a=1\n#include \"lib.vxa\"\nb=2\n", "M29 M45 x =", 2},
      {"x=1\ny=2\n#include a.vxa\n", "M23 M45 q = (1", 3},  // nested
      {"x=1\n#include c.vxa\n", "M38 M45 function (x)", 2},  // found by the function pre-scan
  };
  for (const auto& c : kCases) {
    EXPECT_FALSE(Compile(c.source)) << c.source;
    EXPECT_EQ(Message(), c.message);
    EXPECT_EQ(Line(), c.line) << c.source;
  }
}

TEST_F(CompileTest, LabelReferenceIsTakenWhereItsCommandIsEmitted) {
  // A parameter after the label is converted first, so its command does not start the statement.
  ASSERT_EQ(LoadCommandTableFromText("jump%42%al\nend%213%0\n"), 1);
  ASSERT_TRUE(Compile("jump x, 1.5\nx:")) << Message();
  EXPECT_EQ(gCompiler.code, (std::vector<uint32_t>{kCmdFloatToInt, 10000, 21000, kCmdGoto, 37006, 10000, kCmdEnd, 0}));
}

TEST_F(CompileTest, RuntimeTestModeWritesTheNumberedListing) {
  const std::string savedFolder = gProgramFolder;
  gProgramFolder = dir.path();
  gSourceListingWriter = WriteDebugOutputScript;  // as start-up sets it in run-time test mode
  dir.Write("lib.vxa", "x=1\nfunction f()\nendfunction\n");
  const bool ok = Compile("a=1\n#include lib.vxa\n");
  gSourceListingWriter = nullptr;
  gProgramFolder = savedFolder;
  ASSERT_TRUE(ok) << Message();
  const std::string listing = dir.Read("VX.VXA");
  // Included statements outside functions are shown as the comments they became.
  for (const char* line : {"     1 : a=1\r\n", "     4 : end\r\n", "     5 : `=1\r\n", "     6 : function f()\r\n"})
    EXPECT_NE(listing.find(line), std::string::npos) << listing;
}

TEST_F(CompileTest, ExtraTextCompilesAgainstTheLastCompile) {
  ASSERT_TRUE(Compile("a=1\n"));
  const size_t mainWords = gCompiler.code.size();
  ASSERT_EQ(CompileSourceText("b=a+2", 0), 1) << Message();
  ASSERT_GT(gCompiler.code.size(), mainWords);
  // The extra code follows the main program's and reads its variable a.
  EXPECT_EQ(std::vector<uint32_t>(gCompiler.code.begin() + long(mainWords), gCompiler.code.end()),
            (std::vector<uint32_t>{kCmdAddInt, 10000, 13000, 19001, kCmdAssignInt, 13001, 10000, kCmdEnd, 0}));
  EXPECT_EQ(CompileSourceText("c=(", 0), 0);
  EXPECT_EQ(Message(), "M23");
  EXPECT_EQ(Line(), 1);
  // A failed extra text leaves the tables as the last good one did.
  ASSERT_EQ(CompileSourceText("d=b", 0), 1) << Message();
  EXPECT_EQ(Operand("d"), 13002);
}

TEST_F(CompileTest, CommandTableNamesShowInTheErrorReport) {
  ASSERT_TRUE(Compile("dim a(3)\na(9)=1\n"));
  PrepareRuntime();
  ASSERT_TRUE(LoadProgramImage(output));
  gRuntimeTestMode = 1;
  CopyErrorReportToClipboard(gCodeBase + 3);  // the element write
  gRuntimeTestMode = 0;
  EXPECT_NE(gErrorReport.find("Name:@="), std::string::npos) << gErrorReport;
  EXPECT_NE(gErrorReport.find("P2:9"), std::string::npos) << gErrorReport;
  gErrorReport.clear();
}

}  // namespace
}  // namespace vx::test
