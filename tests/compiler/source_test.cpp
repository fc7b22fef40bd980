// Source reading: line ends, long lines, zero bytes, #include (nested, cyclic, names in another
// case, files that cannot be read, failures inside included files), where a line of the line
// table comes from, the numbered listing of the run-time test mode, extra texts, and the command
// names in the error report.
#include <sys/stat.h>

#include <filesystem>

#include "runtime/dispatcher_state.h"
#include "runtime/errors.h"
#include "runtime/runtime_state.h"
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

TEST_F(CompileTest, FailureInAnIncludedFileIsReportedInThatFileAtItsOwnLine) {
  dir.Write("lib.vxa", "function f()\n  x =\nendfunction\n");
  dir.Write("a.vxa", "function fa()\nendfunction\n#include \"b.vxa\"\n");
  dir.Write("b.vxa", "function fb()\n  q = (1\nendfunction\n");
  dir.Write("c.vxa", "function (x)\nendfunction\n");
  dir.Write("d.vxa", "function fd()\n  r = 1\n  if r = 1\n  goto nowhere\n  s = nothere(2)\nendfunction\n");
  const struct {
    const char* source;
    const char* message;
    const char* file;
    int line;
  } kCases[] = {
      {"a=1\n#include \"lib.vxa\"\nb=2\n", "M29: x", "lib.vxa", 2},
      {"x=1\ny=2\n#include a.vxa\n", "M23", "b.vxa", 2},  // nested
      {"x=1\n#include c.vxa\n", "M38", "c.vxa", 1},       // found by the function pre-scan
      // The end checks: the label, then the array, then the open block, each at its own line.
      {"#include d.vxa\n", "M50: if M47 3", "d.vxa", 3},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.source);
    EXPECT_FALSE(Compile(c.source));
    EXPECT_EQ(Message(), c.message);
    const SourceLine where = CompileErrorPlace();
    EXPECT_EQ(where.file, dir.path() + c.file);
    EXPECT_EQ(where.line, c.line);
    EXPECT_EQ(MessageWithoutLine(Message(), Line()),
              std::string(c.message).substr(0, std::string(c.message).find(" M47")));
  }
  // Each end check alone.
  dir.Write("d.vxa", "function fd()\n  r = 1\n  goto nowhere\n  s = nothere(2)\nendfunction\n");
  EXPECT_FALSE(Compile("a = 1\n#include d.vxa\n"));
  EXPECT_EQ(Message(), "M49: nothere M47 4");
  EXPECT_EQ(CompileErrorPlace().line, 4);
  dir.Write("d.vxa", "function fd()\n  r = 1\n  goto nowhere\nendfunction\n");
  EXPECT_FALSE(Compile("a = 1\n#include d.vxa\n"));
  EXPECT_EQ(Message(), "M48: nowhere M47 3");
  EXPECT_EQ(CompileErrorPlace().line, 3);
}

TEST_F(CompileTest, IncludesThatCannotBeReadFailWithTheirNameAndLine) {
  // Neither a FIFO nor a device may be read: they could block or never end. Nor may a text pass
  // 64 MB, which a sparse file reaches without taking room.
  ASSERT_EQ(mkfifo((dir.path() + "fifo.vxa").c_str(), 0600), 0);
  std::filesystem::resize_file(dir.Write("huge.vxa", ""), (64 << 20) + 1);
  dir.Write("inner.vxa", "#include nosuch.vxa\nfunction g()\nendfunction\n");
  const struct {
    std::string source;
    std::string message;
    int line;
  } kCases[] = {
      {"a=1\n#include \"lib/nosuch.vxa\"\nb=f()\n", "M54 lib/nosuch.vxa: M55", 2},
      {"#include fifo.vxa\n", "M54 fifo.vxa: M56", 1},
      {"#include /dev/zero\n", "M54 /dev/zero: M56", 1},
      {"#include huge.vxa\n", "M54 huge.vxa: M57", 1},
      // A file that an included file names is reported at that file's #include (its line 1, 6 of all).
      {"a=1\n\n#include inner.vxa\n", "M54 nosuch.vxa: M55", 6},
  };
  for (const auto& c : kCases) {
    EXPECT_FALSE(Compile(c.source)) << c.source;
    EXPECT_EQ(Message(), c.message);
    EXPECT_EQ(Line(), c.line) << c.source;
  }
  EXPECT_EQ(CompileFile(dir.path() + "fifo.vxa", output), 0);
  EXPECT_EQ(Message(), "M46 " + dir.path() + "fifo.vxa: M56");
  EXPECT_EQ(Line(), 0);
}

TEST_F(CompileTest, AZeroByteInALineIsAnError) {
  using namespace std::string_literals;
  dir.Write("lib.vxa", "function f()\n  x = 1\0\nendfunction\n"s);
  const struct {
    std::string source;
    std::string message;
    int line;
  } kCases[] = {
      // At the start it would hide the line, an #include too.
      {"a=1\n\0#include lib.vxa\nb=f()\n"s, "M58", 2},
      {"a=1\nb=2\0"s, "M58", 2},
      {"a=1\n#include lib.vxa\n", "M58", 6},  // line 2 of lib.vxa
  };
  for (const auto& c : kCases) {
    EXPECT_FALSE(Compile(c.source)) << c.source;
    EXPECT_EQ(Message(), c.message);
    EXPECT_EQ(Line(), c.line) << c.source;
  }
}

TEST_F(CompileTest, LinesOfTheLineTableAreFoundInTheirFiles) {
  dir.Write("lib/util.vxa", "rem utilities\nfunction f()\n  x = 1\nendfunction x\n");
  dir.Write("lib/more.vxa", "function g()\nendfunction 2\n");
  ASSERT_TRUE(Compile("#include lib/util.vxa\nr = f()\n#include lib/more.vxa\n")) << Message();
  FreeCompilerTables();  // what the lines stand for outlives the tables
  const std::string main = dir.path() + "main.vxa";
  // Line 4 holds the file's closing zero byte and line 5 the added "end".
  const std::pair<int, SourceLine> kLines[] = {{2, {main, 2}},
                                               {5, {main, 5}},
                                               {6, {dir.path() + "lib/util.vxa", 1}},
                                               {8, {dir.path() + "lib/util.vxa", 3}},
                                               {11, {dir.path() + "lib/more.vxa", 2}}};
  for (const auto& [line, where] : kLines) {
    const SourceLine found = LocateSourceLine(line);
    EXPECT_EQ(found.file, where.file) << line;
    EXPECT_EQ(found.line, where.line) << line;
  }
}

TEST_F(CompileTest, LabelReferenceIsTakenWhereItsCommandIsEmitted) {
  // A parameter after the label is converted first, so its command does not start the statement.
  ASSERT_EQ(LoadCommandTableFromText("jump%42%al\nend%213%0\n"), 1);
  ASSERT_TRUE(Compile("jump x, 1.5\nx:")) << Message();
  EXPECT_EQ(gCompiler.code, (std::vector<uint32_t>{kCmdFloatToInt, 10000, 21000, kCmdGoto, 37006, 10000, kCmdEnd, 0}));
}

TEST_F(CompileTest, RuntimeTestModeWritesTheNumberedListing) {
  const std::string savedFolder = Host().gProgramFolder;
  Host().gProgramFolder = dir.path();
  gCompiler.listingWriter = WriteDebugOutputScript;
  dir.Write("lib.vxa", "x=1\nfunction f()\nendfunction\n");
  const bool ok = Compile("a=1\n#include lib.vxa\n");
  gCompiler.listingWriter = nullptr;
  Host().gProgramFolder = savedFolder;
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
  Dispatcher().gRuntimeTestMode = 1;
  CopyErrorReportToClipboard(Runtime().gCodeBase + 3);  // the element write
  Dispatcher().gRuntimeTestMode = 0;
  EXPECT_NE(Runtime().gErrorReport.find("Name:@="), std::string::npos) << Runtime().gErrorReport;
  EXPECT_NE(Runtime().gErrorReport.find("P2:9"), std::string::npos) << Runtime().gErrorReport;
  Runtime().gErrorReport.clear();
}

}  // namespace
}  // namespace vx::test
