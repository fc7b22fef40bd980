// Code words of small programs, word for word, where a run would not show a fault: blanks and case,
// shared constants, unusual signs and groups, print and input, one label for DATA and code, and
// comments. Every program ends with the added "end" (213) and the terminating 0.
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
    {"BlanksAndCase", "  A = B", {151, 13000, 13001, 213, 0}},
    {"EqualLiteralsShareAConstant", "a=7\nb=7", {151, 13000, 19000, 151, 13001, 19000, 213, 0}},
    {"EqualStringsDoNot", "a$=\"x\"\nb$=\"x\"", {153, 17000, 23000, 153, 17001, 23001, 213, 0}},
    {"SignAfterAnOperator", "a=b- -1", {91, 10000, 13001, 19000, 151, 13000, 10000, 213, 0}},
    {"ComparisonWrittenTheOtherWay", "a=b=>1", {113, 10000, 13001, 19000, 151, 13000, 10000, 213, 0}},
    {"PrintWithSeveralItems", "print 1, 2; 3", {305, 19000, 305, 19001, 301, 19002, 213, 0}},
    {"InputWithAPrompt", "input \"n\", a", {307, 23000, 351, 13000, 213, 0}},
    {"Undim", "dim a$(2)\nundim a$(2)", {521, 17000, 19000, 526, 17000, 213, 0}},
    {"RestoreAndGotoOfOneLabel", "data 1\nd:\ndata 2\nrestore d\ngoto d\n", {31, 25001, 42, 37000, 213, 0}},
    {"CommentsAndRemRegions", "rem a=1\n` b=2\nremstart\nc=3\nremend\nd=4 : rem e=5", {151, 13000, 19000, 213, 0}},
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
