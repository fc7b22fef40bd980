// Code words of small programs, word for word: assignments and conversions, operators and their
// levels, every block keyword, labels, functions, DATA and restore. Every program ends with the
// added "end" (213) and the terminating 0.
#include "tests/compiler/compile_support.h"

namespace vx::test {
namespace {

struct Golden {
  const char* name;
  const char* source;
  std::vector<uint32_t> code;
};
void PrintTo(const Golden& golden, std::ostream* out) { *out << golden.name; }

// Operand numbers: integer variables from 13000, float 15000, string 17000; integer constants
// 19000, float 21000, string 23000; temporaries 10000, 11000, 12000 (a function's from 50 n on);
// code addresses 37000 plus the index.
const Golden kGolden[] = {
    {"IntegerAssignment", "a=1", {151, 13000, 19000, 213, 0}},
    {"FloatAssignment", "a#=1.5", {152, 15000, 21000, 213, 0}},
    {"StringAssignment", "a$=\"x\"", {153, 17000, 23000, 213, 0}},
    {"FloatIntoInteger", "a=1.5", {154, 10000, 21000, 151, 13000, 10000, 213, 0}},
    {"IntegerIntoFloat", "a#=2", {155, 11000, 19000, 152, 15000, 11000, 213, 0}},
    {"BlanksAndCase", "  A = B", {151, 13000, 13001, 213, 0}},
    {"TabsBeforeAStatement", "\t\ta=1", {151, 13000, 19000, 213, 0}},
    {"EqualLiteralsShareAConstant", "a=7\nb=7", {151, 13000, 19000, 151, 13001, 19000, 213, 0}},
    {"EqualStringsDoNot", "a$=\"x\"\nb$=\"x\"", {153, 17000, 23000, 153, 17001, 23001, 213, 0}},
    {"Addition", "a=b+1", {81, 10000, 13001, 19000, 151, 13000, 10000, 213, 0}},
    {"MixedAddition", "a#=b+1.5", {84, 11000, 13000, 21000, 152, 15000, 11000, 213, 0}},
    {"ProductBeforeSum", "a=2*3+1", {71, 10000, 19000, 19001, 81, 10001, 10000, 19002, 151, 13000, 10001, 213, 0}},
    // Each operator is its own level: + before -, / before *.
    {"SumBeforeDifference", "a=10-2+3", {81, 10000, 19000, 19001, 91, 10001, 19002, 10000, 151, 13000, 10001, 213, 0}},
    {"QuotientBeforeProduct", "a=2*3/4", {61, 10000, 19000, 19001, 71, 10001, 19002, 10000, 151, 13000, 10001, 213, 0}},
    // a+1-2*3: the product first, then a+1, then the difference: a-5.
    {"SignsAndLevels", "x=a+1-2*3",
     {71, 10000, 19000, 19001, 81, 10001, 13001, 19002, 91, 10002, 10001, 10000, 151, 13000, 10002, 213, 0}},
    {"NegativeLiteral", "a=-5*2", {71, 10000, 19000, 19001, 151, 13000, 10000, 213, 0}},
    {"SignAfterAnOperator", "a=b- -1", {91, 10000, 13001, 19000, 151, 13000, 10000, 213, 0}},
    {"GroupsFirst", "a=(1+2)*3", {81, 10000, 19000, 19001, 71, 10001, 10000, 19002, 151, 13000, 10001, 213, 0}},
    {"NestedGroupsOfALiteral", "a=((1))", {151, 13000, 19000, 213, 0}},
    {"Comparison", "a=b>=1", {113, 10000, 13001, 19000, 151, 13000, 10000, 213, 0}},
    {"ComparisonWrittenTheOtherWay", "a=b=>1", {113, 10000, 13001, 19000, 151, 13000, 10000, 213, 0}},
    {"EqualityInAnExpression", "a=b=1", {101, 10000, 13001, 19000, 151, 13000, 10000, 213, 0}},
    {"StringJoin", "a$=b$+\"x\"", {87, 12000, 17001, 23000, 153, 17000, 12000, 213, 0}},
    {"PrintOfEachType", "print 1\nprint 1.5\nprint \"s\"\nprint", {301, 19000, 302, 21000, 303, 23000, 304, 213, 0}},
    {"PrintWithSeveralItems", "print 1, 2; 3", {305, 19000, 305, 19001, 301, 19002, 213, 0}},
    {"InputWithAPrompt", "input \"n\", a", {307, 23000, 351, 13000, 213, 0}},
    {"ReadSeveral", "read a, b#", {33, 13000, 34, 15000, 213, 0}},
    {"IfElseEndif", "if a\nb=1\nelse\nb=2\nendif",
     {1, 13000, 37008, 151, 13001, 19000, 2, 37011, 151, 13001, 19001, 213, 0}},
    {"SingleLineIfIsTheSameCode", "if a then b=1 else b=2",
     {1, 13000, 37008, 151, 13001, 19000, 2, 37011, 151, 13001, 19001, 213, 0}},
    {"IfWithoutElse", "if a=1\nendif", {101, 10000, 13000, 19000, 1, 10000, 37007, 213, 0}},
    {"DoExitLoop", "do\nexit\nloop", {5, 37004, 6, 37000, 213, 0}},
    {"ExitInsideAnIf", "do\nif a then exit\nloop", {1, 13000, 37005, 5, 37007, 6, 37000, 213, 0}},
    // The counter starts one step before the start; the loop test stands before the body.
    {"ForNext", "for i=1 to 3\nnext i",
     {91, 10000, 19000, 19000, 151, 13000, 10000, 7, 13000, 19001, 19000, 37015, 8, 13000, 37007, 213, 0}},
    {"ForWithAStep", "for i=10 to 1 step -1\nnext i",
     {91, 10000, 19000, 19001, 151, 13000, 10000, 7, 13000, 19002, 19001, 37015, 8, 13000, 37007, 213, 0}},
    {"WhileEndwhile", "while a<3\nendwhile", {115, 10000, 13000, 19000, 9, 10000, 37009, 10, 37000, 213, 0}},
    {"WhileWithAndOr", "while a<>1 and b or c\nendwhile",
     {119, 10000, 13000, 19000, 123, 10001, 10000, 13001, 124, 10002, 10001, 13002, 9, 10002, 37017, 10, 37000, 213, 0}},
    {"RepeatUntil", "repeat\nuntil a", {12, 13000, 37000, 213, 0}},
    {"GotoALaterLabel", "goto x\nx:", {42, 37002, 213, 0}},
    {"GosubAndReturn", "gosub s\nend\ns:\nreturn", {41, 37003, 213, 43, 213, 0}},
    {"ArrayDimWriteRead", "dim a(5)\na(1)=2\nb=a(1)",
     {501, 13000, 19000, 561, 13000, 19001, 19002, 661, 10000, 13000, 19001, 151, 13001, 10000, 213, 0}},
    {"TwoDimensions", "dim a#(2,3)\na#(1,2)=3", {512, 15000, 19000, 19001, 577, 15000, 19002, 19000, 19001, 213, 0}},
    {"Undim", "dim a$(2)\nundim a$(2)", {521, 17000, 19000, 526, 17000, 213, 0}},
    {"RestoreAndGotoOfOneLabel", "data 1\nd:\ndata 2\nrestore d\ngoto d\n", {31, 25001, 42, 37000, 213, 0}},
    {"DataRestoreRead", "data 1, 2.5\nd:\ndata \"x\"\nrestore d\nread a$\nrestore", {31, 25002, 35, 17000, 32, 213, 0}},
    {"FunctionWithAReturnValue", "a=f(2)\nend\nfunction f(x)\nendfunction x*2",
     {21, 37010, 10000, 19000, 19001, 151, 13000, 10000, 213, 26, 13001, 1, 71, 10050, 13001, 19001, 23, 10050, 213, 0}},
    {"SelectAndCases", "select a\ncase 1, 2\nb=1\nendcase\ncase default\nendcase\nendselect",
     {151, 13000, 19000,                                                     // the marker = 0
      101, 10000, 13001, 19001, 101, 10001, 13001, 19002, 124, 10002, 10000, 10001, 1, 10002, 37024,
      151, 13000, 19001,                                                     // marker = 1
      151, 13002, 19001,                                                     // b = 1
      101, 10000, 13000, 19000, 1, 10000, 37031,                             // default: marker = 0
      213, 0}},
    {"CommentsAndRemRegions", "rem a=1\n` b=2\nremstart\nc=3\nremend\nd=4 : rem e=5", {151, 13000, 19000, 213, 0}},
};

class GoldenCodeTest : public CompileTest, public ::testing::WithParamInterface<Golden> {};

TEST_P(GoldenCodeTest, CompilesToTheseWords) {
  const Golden& g = GetParam();
  ASSERT_TRUE(Compile(g.source)) << Message() << " at line " << Line();
  EXPECT_EQ(Code(), g.code);
}

INSTANTIATE_TEST_SUITE_P(Programs, GoldenCodeTest, ::testing::ValuesIn(kGolden), CaseName());

TEST_F(CompileTest, LineTableHoldsTheSourceLineOfEachWord) {
  ASSERT_TRUE(Compile("a=1\n\nb=2"));
  // Lines 1 and 3, the added end on line 4, and 0 for the terminator.
  EXPECT_EQ(gCompiler.lines, (std::vector<uint32_t>{1, 1, 1, 3, 3, 3, 4, 0}));
}

}  // namespace
}  // namespace vx::test
