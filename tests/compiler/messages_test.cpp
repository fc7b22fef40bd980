// Every message of a failed compile, with its line: the message texts are "M<key>", so each
// expectation shows which keys the message is built of. A failed compile writes no image.
#include <filesystem>

#include "platform/win/files.h"
#include "tests/compiler/compile_support.h"

namespace vx {
namespace {

using test::CompileTest;

struct Failure {
  const char* name;
  std::string source;
  std::string message;
  int line;
};

// count lines made by line(i), each ended by a line break.
template <typename Line>
std::string Repeat(int count, Line line) {
  std::string text;
  for (int i = 0; i < count; ++i) text += std::string(line(std::to_string(i))) + "\n";
  return text;
}

std::vector<Failure> Failures() {
  return {
      {"TooManyIntegerVariables", Repeat(2001, [](std::string i) { return "v" + i + "=0"; }), "M1", 2001},
      {"TooManyFloatVariables", Repeat(2001, [](std::string i) { return "v" + i + "#=0.5"; }), "M2", 2001},
      {"TooManyStringVariables", Repeat(2001, [](std::string i) { return "v" + i + "$=\"\""; }), "M3", 2001},
      {"TooManyLabels", Repeat(2001, [](std::string i) { return "l" + i + ":"; }), "M4", 2001},
      {"TooManyFunctions", "end\n" + Repeat(1025, [](std::string i) { return "function f" + i + "()\nendfunction"; }), "M5", 2050},
      {"ValuesOfAnOperator", "a=1+\"x\"", "M11 + M12 M8, M8", 1},
      {"ComparisonOfAStringAndANumber", "a=1\nb=a$=2", "M11 = M12 M8, M8", 2},
      {"WrongAssignment", "a$=1", "M37 M14", 1},
      {"WrongElementAssignment", "dim a$(3)\na$(1)=2", "M37 M15", 2},
      {"WrongElementRead", "dim a(3)\nb=a(\"x\")", "M11 M16", 2},
      {"WrongStatementParameters", "return 5", "M37 return M12 M13", 1},
      {"LabelOfAString", "print 1\nrestore \"x\"", "M24", 2},
      {"UserFunctionArguments", "x=f(1)\nend\nfunction f(a#)\nendfunction", "M17", 1},
      {"TooManyIntegerConstants", Repeat(2001, [](std::string i) { return "a=" + i; }), "M18", 2001},
      {"TooManyFloatConstants", Repeat(2001, [](std::string i) { return "a#=" + i + ".5"; }), "M19", 2001},
      {"TooManyStringConstants", Repeat(2001, [](std::string) { return "a$=\"x\""; }), "M21", 2001},
      {"MissingOperand", "a=1\nb=2*", "M22", 2},
      {"NoOperator", "a=b c", "M22", 1},
      {"SignBeforeAName", "a=b*-c", "M22", 1},
      {"TypedMarker", "a=?10000", "M22", 1},
      {"UnbalancedParentheses", "a=(1", "M23", 1},
      {"ClosingTooEarly", "a=1)+(2", "M23", 1},
      {"BadLabelName", "goto a-b", "M24", 1},
      {"TooManyArguments", "dim a(1)\nx=a(" + [] {
         std::string indices;
         for (int i = 0; i < 32; ++i) indices += "1,";
         return indices;
       }() + "1)",
       "M25", 2},
      {"LabelDefinedTwice", "a:\nb=1\na:", "M26", 3},
      {"FunctionDeclaredTwice", "end\nfunction f()\nendfunction\nfunction f()\nendfunction", "M27", 4},
      {"UnknownStatement", "a b", "M29", 1},
      {"LabelWithAStatement", "x: y=1", "M29", 1},
      {"EmptySingleLineIf", "if a then", "M30", 1},
      {"ForWithoutEquals", "for i 1 to 10\nnext i", "M31", 1},
      {"ForWithAFloatCounter", "for a#=1 to 10\nnext a#", "M31", 1},
      {"ForStatementWithAFloatCounter", "for a#,10,1\nnext a#", "M31", 1},
      {"TooManyArrays", Repeat(2000, [](std::string i) { return "dim a" + i + "(1)"; }) + "dim b#(1)", "M32", 2001},
      {"EmptyLabel", "restore ,", "M33", 1},
      {"LoopWithoutDo", "a=1\nloop", "M34", 2},
      {"ElseTwice", "if a\nelse\nelse\nendif", "M34", 3},
      {"ElseOutsideAnIf", "do\nelse\nloop", "M34", 2},
      {"ElseAtTheTop", "else", "M34", 1},
      {"ExitOutsideALoop", "if a\nexit\nendif", "M34", 2},
      {"ClosingTheWrongBlock", "do\nendif", "M34", 2},
      {"NextWithoutFor", "next i", "M34", 1},
      {"TooManyExits", "do\n" + Repeat(33, [](std::string) { return "exit"; }) + "loop", "M34", 34},
      {"TooManyDataItems", Repeat(1000, [](std::string) { return "data 1,1,1,1,1,1,1,1,1,1"; }), "M35", 1000},
      {"DataOfAName", "data 1, a", "M36", 1},
      {"DataOfAnExpression", "data 1+2", "M36", 1},
      {"BadDeclaration", "end\nfunction (a)\nendfunction", "M38", 2},
      {"BadParameter", "end\nfunction f(a-b)\nendfunction", "M38", 2},
      {"BadReturnValue", "end\nfunction f()\nendfunction 1+\"x\"", "M39", 3},
      {"EndfunctionOutsideAFunction", "a=1\nendfunction", "M40", 2},
      {"LongLine", "a=1\nb=\"" + std::string(251, 'x') + "\"", "M41", 2},
      // Each product of two literals grows the text: its marker is longer than "1*1".
      {"LongRewrittenExpression", "a=" + [] {
         std::string e = "1*1";
         while (e.size() < 248) e += "+1*1";
         return e;
       }(),
       "M43", 1},
      // The 20th function's temporaries start at 950: 50 of each type.
      {"TooManyTemporariesForAFunctionBand",
       Repeat(19, [](std::string i) { return "function f" + i + "()\nendfunction"; }) + "function g()\nx=" + [] {
         std::string e = "a";
         for (int i = 0; i < 51; ++i) e += "+a";
         return e;
       }() + "\nendfunction",
       "M43", 40},
      {"UndefinedLabel", "a=1\ngoto nowhere", "M48 M47 2", 2},
      {"ArrayWithoutDim", "a=1\n\nb(1)=2", "M49 M47 3", 3},
      {"ArrayOfTheMainProgramDimmedInAFunction", "x=a(1)\nend\nfunction f()\ndim a(3)\nendfunction", "M49 M47 1", 1},
      {"OpenBlock", "a=1\ndo\nif a\nendif", "M50 M47 2", 2},
      {"LaterCheckReplacesEarlier", "goto x\ndo", "M50 M47 2", 2},
      {"CaseOutsideASelect", "case 1", "M51", 1},
      {"SelectOfTwoWords", "select a b", "M51", 1},
      {"NestedSelect", "select a\nselect b", "M51", 2},
      {"EndselectAlone", "endselect", "M51", 1},
      {"SecondDefault", "select a\ncase default\nendcase\ncase default\nendcase\nendselect", "M52", 4},
      {"ReturnOfTheWrongType", "x=f()\nend\nfunction f()\nexitfunction \"s\"\nendfunction 1", "M39", 4},
  };
}

class MessageTest : public CompileTest, public ::testing::WithParamInterface<Failure> {};

TEST_P(MessageTest, FailsWithItsMessageAndLine) {
  const Failure& f = GetParam();
  dir.Write("out.dat", "stale image");
  EXPECT_FALSE(Compile(f.source));
  EXPECT_EQ(Message(), f.message);
  EXPECT_EQ(Line(), f.line);
  EXPECT_FALSE(std::filesystem::exists(output)) << "a failed compile leaves no image";
}

INSTANTIATE_TEST_SUITE_P(Compiles, MessageTest, ::testing::ValuesIn(Failures()),
                         [](const ::testing::TestParamInfo<Failure>& param) { return std::string(param.param.name); });

TEST_F(CompileTest, TwoHundredAndFiftySixIncludesAreTooMany) {
  std::string main;
  for (int i = 0; i < 256; ++i) {
    dir.Write("inc" + std::to_string(i) + ".vxa", "function f" + std::to_string(i) + "()\nendfunction\n");
    main += "#include inc" + std::to_string(i) + ".vxa\n";
  }
  EXPECT_FALSE(Compile(main));
  EXPECT_EQ(Message(), "M42");
  EXPECT_EQ(Line(), 256);
}

TEST_F(CompileTest, AFailureInAnIncludedFileNamesItsLineAndTheInclude) {
  dir.Write("lib.vxa", "function f()\n  x =\nendfunction\n");
  EXPECT_FALSE(Compile("a=1\n#include \"lib.vxa\"\nb=2\n"));
  EXPECT_EQ(Message(), "M29 M45 x =");
  EXPECT_EQ(Line(), 2);
}

TEST_F(CompileTest, MissingSourceFileIsAMessage) {
  dir.Write("out.dat", "stale image");
  EXPECT_EQ(CompileFile(dir.path() + "nothing.vxa", output), 0);
  EXPECT_EQ(Message(), "M46");
  EXPECT_EQ(Line(), 0);
  EXPECT_FALSE(std::filesystem::exists(output));
}

TEST_F(CompileTest, UnwritableImageFailsTheCompile) {
  win::SetWriteFailureForTesting(true);
  const bool ok = Compile("a=1");
  win::SetWriteFailureForTesting(false);
  EXPECT_FALSE(ok);
  EXPECT_EQ(Message(), "M53");
}

TEST_F(CompileTest, FailureIsAFlagEvenWithoutMessageTexts) {
  // A word file without texts (or with empty ones) must not turn a failure into a success.
  gCompilerMessages.fill(std::string());
  EXPECT_FALSE(Compile("a b"));
  EXPECT_FALSE(Message().empty());
  gCompilerMessages.fill(std::nullopt);
  EXPECT_FALSE(Compile("a=1\ngoto nowhere"));
  EXPECT_EQ(Message(), "Label used but never defined at line 2");
  EXPECT_FALSE(std::filesystem::exists(output));
}

TEST_F(CompileTest, SuccessLeavesNoMessageAndWritesWithoutOutputToo) {
  ASSERT_TRUE(Compile("a=1"));
  EXPECT_EQ(Message(), "");
  EXPECT_TRUE(std::filesystem::exists(output));
  EXPECT_EQ(CompileFile(dir.Write("other.vxa", "b=2")), 1);
  EXPECT_EQ(Message(), "");
}

TEST_F(CompileTest, NoArrayRowsMeansNoSuchFunction) {
  ASSERT_EQ(LoadCommandTableFromText("=%151%ll\nend%213%0\n"), 1);
  EXPECT_FALSE(Compile("a=b(1)"));
  EXPECT_EQ(Message(), "M9 b M10");
}

}  // namespace
}  // namespace vx
