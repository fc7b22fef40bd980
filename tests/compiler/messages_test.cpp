// Every message of a failed compile, with its line: the message texts are "M<key>", so each
// expectation shows which keys the message is built of. A failed compile writes no image.
#include <filesystem>

#include "compiler/context.h"
#include "compiler/internal.h"
#include "platform/win/files.h"
#include "tests/compiler/compile_support.h"

namespace vx::test {
namespace {

struct Failure {
  const char* name;
  std::string source;
  std::string message;
  int line;
};
void PrintTo(const Failure& failure, std::ostream* out) { *out << failure.name; }

// count lines "<before><i><after>", each ended by a line break; and count copies of a piece.
std::string Numbered(int count, const std::string& before, const std::string& after) {
  std::string text;
  for (int i = 0; i < count; ++i) text += before + std::to_string(i) + after + "\n";
  return text;
}
std::string Times(int count, const std::string& piece) {
  std::string text;
  while (count-- > 0) text += piece;
  return text;
}

// One more variable or constant of a type than the variable area holds.
constexpr int kOneTooMany = operands::kPerKind + 1;

std::vector<Failure> Failures() {
  return {
      {"TooManyIntegerVariables", Numbered(kOneTooMany, "v", "=0"), "M1", kOneTooMany},
      {"TooManyFloatVariables", Numbered(kOneTooMany, "v", "#=0.5"), "M2", kOneTooMany},
      {"TooManyStringVariables", Numbered(kOneTooMany, "v", "$=\"\""), "M3", kOneTooMany},
      {"TooManyLabels", Numbered(kMaxLabels + 1, "l", ":"), "M4", kMaxLabels + 1},
      {"TooManyFunctions", "end\n" + Numbered(1025, "function f", "()\nendfunction"), "M5", 2050},
      {"ValuesOfAnOperator", "a=1+\"x\"", "M11 + M12 M8, M8", 1},
      {"WrongAssignment", "a$=1", "M37 M14", 1},
      {"WrongElementAssignment", "dim a$(3)\na$(1)=2", "M37 M15", 2},
      {"WrongElementRead", "dim a(3)\nb=a(\"x\")", "M11 M16", 2},
      {"WrongStatementParameters", "return 5", "M37 return M12 M13", 1},
      {"LabelOfAString", "print 1\nrestore \"x\"", "M24", 2},
      {"UserFunctionArguments", "x=f(1)\nend\nfunction f(a#)\nendfunction",
       "M17: f takes 1 value (M7), given 1 value (M6)", 1},
      {"TooManyUserFunctionArguments", "x=f(1, \"b\")\nend\nfunction f(a)\nendfunction",
       "M17: f takes 1 value (M6), given 2 values (M6, M8)", 1},
      {"ArgumentsForNone", "f(1)\nend\nfunction f()\nendfunction", "M17: f takes 0 values, given 1 value (M6)", 1},
      {"NoArgumentsForOne", "x=f()\nend\nfunction f(a$)\nendfunction", "M17: f takes 1 value (M8), given 0 values", 1},
      {"TooManyIntegerConstants", Numbered(kOneTooMany, "a=", ""), "M18", kOneTooMany},
      {"TooManyFloatConstants", Numbered(kOneTooMany, "a#=", ".5"), "M19", kOneTooMany},
      {"TooManyStringConstants", Times(kOneTooMany, "a$=\"x\"\n"), "M21", kOneTooMany},
      {"MissingOperand", "a=1\nb=2*", "M22", 2},
      {"TypedMarker", "a=?10000", "M22: ?10000", 1},
      {"CallOfNoFunction", "a=1\nx = Foo()", "M49: foo", 2},
      {"ConditionCallingNoFunction", "if leftky() then a=1", "M49: leftky", 1},
      {"ArrayWithoutAnIndex", "dim a(3)\nx = a()", "M22: a()", 2},
      {"ComparisonWithDoubleEquals", "x=5\nif x == 5\nendif", "M62: ==", 2},
      {"ComparisonWithBangEquals", "if x != 4 then x=4", "M62: !=", 1},
      {"ComparisonWithDoubleEqualsInAValue", "b = (x+1 == 5)", "M62: ==", 1},
      {"UnclosedString", "a$ = \"Abc", "M22: \"Abc (no closing \")", 1},
      {"SignBeforeAName", "back = -speed", "M22: -speed", 1},
      {"UnbalancedParentheses", "a=(1", "M23", 1},
      {"TooManyArguments", "dim a(1)\nx=a(" + Times(32, "1,") + "1)", "M25", 2},
      {"LabelDefinedTwice", "a:\nb=1\na:", "M26", 3},
      {"FunctionDeclaredTwice", "end\nfunction f()\nendfunction\nfunction f()\nendfunction", "M27", 4},
      {"UnknownStatement", "a b", "M29: a b", 1},
      {"MisspeltWordOfACommand", "make objct cube 1, 2", "M29: make objct cube", 1},
      {"UnknownCall", "frob(1)", "M29: frob", 1},
      {"MisspeltCommand", "prnt \"hello\"", "M29: prnt", 1},
      {"EmptySingleLineIf", "if a then", "M30", 1},
      {"ForWithAFloatCounter", "for a#=1 to 10\nnext a#",
       "M31: a# is a M7 variable; the for variable must be an M6 variable", 1},
      {"ForWithAStringCounter", "a=1\nfor s$ = 1 to 3",
       "M31: s$ is a M8 variable; the for variable must be an M6 variable", 2},
      {"ForWithAnArrayElement", "dim a(3)\nfor a(1) = 1 to 3",
       "M31: a(1) is not a variable; the for variable must be an M6 variable", 2},
      {"TooManyArrays", Numbered(kMaxArrayDeclarations, "dim a", "(1)") + "dim b#(1)", "M32",
       kMaxArrayDeclarations + 1},
      {"EmptyLabel", "restore ,", "M33", 1},
      {"LoopWithoutDo", "a=1\nloop", "M34: loop", 2},
      {"SecondElse", "a=1\nif a=1\nb=1\nelse\nb=2\nelse\nb=3\nendif", "M34: else (an if block is open)", 6},
      {"StrayEndif", "a=1\nendif", "M34: endif", 2},
      {"CloserOfAnotherBlock", "for i=1 to 2\nendwhile\nnext i", "M34: endwhile (a for block is open)", 2},
      {"UntilInsideAnIf", "repeat\nif a\nuntil a=1\nendif", "M34: until (an if block is open)", 3},
      {"ExitOutsideALoop", "if a\nexit\nendif", "M34: exit (an if block is open)", 2},
      {"TooManyExits", "do\n" + Times(33, "exit\n") + "loop", "M34", 34},
      {"TooManyDataItems", Times(1000, "data 1,1,1,1,1,1,1,1,1,1\n"), "M35", 1000},
      {"DataOfAName", "data 1, a", "M36", 1},
      {"BadDeclaration", "end\nfunction (a)\nendfunction", "M38", 2},
      {"BadReturnValue", "end\nfunction f()\nendfunction 1+\"x\"", "M39", 3},
      {"EndfunctionOutsideAFunction", "a=1\nendfunction", "M40", 2},
      // The file ends inside the function: the error names it on its declaration's line.
      {"FunctionWithoutEndfunction", "x=f(1)\nprint x\nend\nfunction f(a)\n  b=a*2", "M60: f", 4},
      {"FunctionWithoutEndfunctionBeforeAnother", "end\nfunction g()\nendfunction\nfunction f(a)\nb=a", "M60: f", 4},
      // Each product of two literals grows the text: its marker is longer than "1*1".
      {"LongRewrittenExpression", "a=1*1" + Times(62, "+1*1"), "M43", 1},
      // The 20th function's temporaries start at 950: 50 of each type.
      {"TooManyTemporariesForAFunctionBand",
       Numbered(19, "function f", "()\nendfunction") + "function g()\nx=a" + Times(51, "+a") + "\nendfunction", "M43",
       40},
      {"UndefinedLabel", "a=1\ngoto nowhere", "M48: nowhere M47 2", 2},
      {"ArrayWithoutDim", "a=1\n\nb(1)=2", "M49: b M47 3", 3},
      {"OpenBlock", "a=1\ndo\nif a\nendif", "M50: do M47 2", 2},
      {"BlocksNestedTooDeeply", Times(1024, "do\n"), "M59", 1024},
      {"CaseOutsideASelect", "case 1", "M51: case", 1},
      {"StrayEndselect", "a=1\nendselect", "M51: endselect", 2},
      // A case ends with endcase; a case, endselect or the end of the file first names the case.
      {"CaseWithoutEndcaseBeforeTheNextCase", "a=1\nselect a\ncase 1\nb=1\ncase 2\nb=2\nendcase\nendselect",
       "M63: case 1 M47 3", 5},
      {"CaseWithoutEndcaseBeforeEndselect", "select a\ncase 2, 3\nb=2\nendselect", "M63: case 2, 3 M47 2", 4},
      {"DefaultWithoutEndcase", "select a\ncase 1\nendcase\ncase default\nendselect", "M63: case default M47 4", 5},
      {"CaseWithoutEndcaseAtTheEnd", "select a\ncase 1\nendcase\ncase 2\nb=2", "M63: case 2 M47 4", 4},
      {"CaseWithoutEndcaseOrEndselectInALoop", "do\nselect a\ncase 2\nb=2\nloop", "M34: loop (a case block is open)",
       5},
      {"EndcaseWithAnIfOpen", "select a\ncase 1\nif a\nendcase\nendselect", "M51: endcase (an if block is open)", 4},
      {"CaseWithAnIfOpen", "select a\ncase 1\nendcase\nwhile a\ncase 2", "M51: case (a while block is open)", 5},
      {"EndcaseWithoutACase", "select a\nendcase", "M51: endcase", 2},
      {"SecondDefault", "select a\ncase default\nendcase\ncase default\nendcase\nendselect", "M52", 4},
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

INSTANTIATE_TEST_SUITE_P(Compiles, MessageTest, ::testing::ValuesIn(Failures()), CaseName());

TEST_F(CompileTest, TwoHundredAndFiftySixIncludesAreTooMany) {
  std::string main;
  for (int i = 0; i < 256; ++i) {
    const std::string n = std::to_string(i);
    dir.Write("inc" + n + ".vxa", "function f" + n + "()\nendfunction\n");
    main += "#include inc" + n + ".vxa\n";
  }
  EXPECT_FALSE(Compile(main));
  EXPECT_EQ(Message(), "M42");
  EXPECT_EQ(Line(), 256);
}

TEST_F(CompileTest, MissingSourceAndUnwritableImageAreMessages) {
  dir.Write("out.dat", "stale image");
  EXPECT_EQ(CompileFile(dir.path() + "nothing.vxa", output), 0);
  EXPECT_EQ(Message(), "M46 " + dir.path() + "nothing.vxa: M55");
  EXPECT_EQ(Line(), 0);
  EXPECT_FALSE(std::filesystem::exists(output));
  win::SetWriteFailureForTesting(true);
  const bool ok = Compile("a=1");
  win::SetWriteFailureForTesting(false);
  EXPECT_FALSE(ok);
  EXPECT_EQ(Message(), "M53");
}

TEST_F(CompileTest, FailureIsAFlagEvenWithoutMessageTexts) {
  // A word file without texts (or with empty ones) must not turn a failure into a success.
  Language().gCompilerMessages.fill(std::string());
  EXPECT_FALSE(Compile("a b"));
  EXPECT_FALSE(Message().empty());
  Language().gCompilerMessages.fill(std::nullopt);
  EXPECT_FALSE(Compile("a=1\ngoto nowhere"));
  EXPECT_EQ(Message(), "Label used but never defined: nowhere at line 2");
  EXPECT_FALSE(std::filesystem::exists(output));
}

TEST_F(CompileTest, TheBuiltInTextsOfTheLimitsNameTheirNumbers) {
  Language().gCompilerMessages.fill(std::nullopt);
  const std::pair<int, int> limits[] = {
      {compiler::msg::kNoIntVariable, kMaxVariablesPerType},
      {compiler::msg::kNoFloatVariable, kMaxVariablesPerType},
      {compiler::msg::kNoStringVariable, kMaxVariablesPerType},
      {compiler::msg::kNoLabel, kMaxLabels},
      {compiler::msg::kNoFunction, kMaxUserFunctions},
      {compiler::msg::kNoIntConstant, kMaxConstantsPerType},
      {compiler::msg::kNoFloatConstant, kMaxConstantsPerType},
      {compiler::msg::kNoStringConstant, kMaxConstantsPerType},
      {compiler::msg::kTooManyArguments, kMaxArguments},
  };
  for (const auto& [key, limit] : limits)
    EXPECT_NE(compiler::MessageText(key).find("(" + std::to_string(limit) + " at most)"), std::string::npos)
        << compiler::MessageText(key);
}

TEST_F(CompileTest, NoArrayRowsMeansNoSuchFunction) {
  ASSERT_EQ(LoadCommandTableFromText("=%151%ll\nend%213%0\n"), 1);
  EXPECT_FALSE(Compile("a=b(1)"));
  EXPECT_EQ(Message(), "M9 b M10");
}

}  // namespace
}  // namespace vx::test
