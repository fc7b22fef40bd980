// Code words of small programs, word for word, where a run would not show a fault: blanks and case,
// shared constants, unusual signs and groups, print and input, one label for DATA and code, and
// comments. Every program ends with the added "end" and the terminating 0.
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
    {"BlanksAndCase", "  A = B", {kCmdAssignInt, 13000, 13001, kCmdEnd, 0}},
    {"EqualLiteralsShareAConstant", "a=7\nb=7", {kCmdAssignInt, 13000, 19000, kCmdAssignInt, 13001, 19000, kCmdEnd, 0}},
    {"EqualStringsDoNot",
     "a$=\"x\"\nb$=\"x\"",
     {kCmdAssignString, 17000, 23000, kCmdAssignString, 17001, 23001, kCmdEnd, 0}},
    {"SignAfterAnOperator", "a=b- -1", {kCmdSubtractInt, 13000, 13001, 19000, kCmdEnd, 0}},
    {"ComparisonWrittenTheOtherWay", "a=b=>1", {kCmdGreaterEqualInt, 13000, 13001, 19000, kCmdEnd, 0}},
    // An operation stores into the assigned variable, also one that it reads, unless some command
    // (here a division, which may fail) may leave its temporary unwritten.
    {"OperationsStoreIntoTheirVariable",
     "x=x+1\ny#=x\nz#=y#/2",
     {kCmdAddInt, 13000, 13000, 19000, kCmdIntToFloat, 11000, 13000, kCmdAssignFloat, 15000, 11000, kCmdDivideFloatInt,
      11000, 15000, 19001, kCmdAssignFloat, 15001, 11000, kCmdEnd, 0}},
    // The next of a for with nothing to work out steps the counter and goes on after the for (word
    // 9); a for whose end is worked out each time is jumped back to.
    {"NextStepsItsFor",
     "for i=1 to 3\nnext i\nfor j=1 to i*2\nnext j",
     {kCmdForStart, 13000, 19000,        19000, kCmdFor, 13000,    19001,           19000, 37012,   kCmdNextStep,
      13000,        37005, kCmdForStart, 13001, 19000,   19000,    kCmdMultiplyInt, 10000, 13000,   19002,
      kCmdFor,      13001, 10000,        19000, 37028,   kCmdNext, 13001,           37016, kCmdEnd, 0}},
    {"PrintWithSeveralItems",
     "print 1, 2; 3",
     {kCmdPrintIntInline, 19000, kCmdPrintIntInline, 19001, kCmdPrintInt, 19002, kCmdEnd, 0}},
    {"InputWithAPrompt", "input \"n\", a", {kCmdPrintStringInline, 23000, kCmdInputInt, 13000, kCmdEnd, 0}},
    {"Undim", "dim a$(2)\nundim a$(2)", {kCmdDimStringArray1, 17000, 19000, kCmdUndimStringArray, 17000, kCmdEnd, 0}},
    {"RestoreAndGotoOfOneLabel",
     "data 1\nd:\ndata 2\nrestore d\ngoto d\n",
     {kCmdRestoreAtLabel, 25001, kCmdGoto, 37000, kCmdEnd, 0}},
    {"CommentsAndRemRegions",
     "rem a=1\n` b=2\nremstart\nc=3\nremend\nd=4 : rem e=5",
     {kCmdAssignInt, 13000, 19000, kCmdEnd, 0}},
};

class GoldenCodeTest : public CompileTest, public ::testing::WithParamInterface<Golden> {};

TEST_P(GoldenCodeTest, CompilesToTheseWords) {
  const Golden& g = GetParam();
  ASSERT_TRUE(Compile(g.source)) << Message() << " at line " << Line();
  EXPECT_EQ(gCompiler.code, g.code);
}

INSTANTIATE_TEST_SUITE_P(Programs, GoldenCodeTest, ::testing::ValuesIn(kGolden), CaseName());

}  // namespace
}  // namespace vx::test
