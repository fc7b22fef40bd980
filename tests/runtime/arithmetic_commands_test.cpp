// Arithmetic, comparison, conversion and string commands, run end to end through the dispatcher:
// each case is a one-command program followed by a marker assignment that shows the command left
// the program counter after its operands.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "runtime/runtime_state.h"
#include "tests/support/image_builder.h"
#include "tests/support/run_program.h"

namespace {

using namespace vx;
using namespace vx::test;

// A constant operand, or the expected result, of one of the three value types.
struct Value {
  char type = 'l';  // 'l' integer, 'f' float, 's' string
  int32_t i = 0;
  float f = 0.0f;
  std::string s;
};
Value I(int32_t v) { return {'l', v, 0.0f, {}}; }
Value F(float v) { return {'f', 0, v, {}}; }
Value S(std::string v) { return {'s', 0, 0.0f, std::move(v)}; }

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

int Constant(ImageBuilder& image, const Value& v) {
  return v.type == 'f' ? image.FloatConst(v.f) : v.type == 's' ? image.StringConst(v.s) : image.IntConst(v.i);
}
int ResultTemp(char type) { return type == 'f' ? FloatTemp(0) : type == 's' ? StringTemp(0) : IntTemp(0); }

struct Outcome {
  RunResult run;
  bool continued = false;  // the command after it ran
};

// Runs `command result, operands...`; preload, when given, is assigned to the result slot first.
Outcome RunCommand(int command, const std::vector<Value>& operands, char resultType, const Value* preload = nullptr,
                   bool standalone = false) {
  ImageBuilder image;
  const int result = ResultTemp(resultType), marker = image.IntVar();
  std::vector<int> numbers;
  for (const Value& v : operands) numbers.push_back(Constant(image, v));
  if (preload)
    image.Cmd(resultType == 'f'   ? kCmdAssignFloat
              : resultType == 's' ? kCmdAssignString
                                  : kCmdAssignInt,
              {result, Constant(image, *preload)});
  const int one = image.IntConst(1);
  image.Raw(command).Raw(result);
  for (int n : numbers) image.Raw(n);
  image.Cmd(kCmdAssignInt, {marker, one});
  return {RunImage(image, 1000, standalone), IntAt(marker) == 1};
}

void ExpectValue(const Value& expected) {
  const int slot = ResultTemp(expected.type);
  if (expected.type == 's')
    EXPECT_EQ(TextAt(slot), expected.s);
  else if (expected.type == 'l')
    EXPECT_EQ(IntAt(slot), expected.i);
  else if (std::isnan(expected.f))
    EXPECT_TRUE(std::isnan(FloatAt(slot)));
  else
    EXPECT_EQ(FloatAt(slot), expected.f);
}

struct Case {
  int command;
  std::vector<Value> operands;
  Value expected;
};

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "case " << &c - cases.data() << ", command " << c.command);
    Outcome out = RunCommand(c.command, c.operands, c.expected.type);
    EXPECT_EQ(out.run.errorCode, 0);
    EXPECT_TRUE(out.continued);
    ExpectValue(c.expected);
  }
}

TEST(ArithmeticCommands, IntegerOperationsAndConversionsTruncateAndWrap) {
  RunCases({
      {kCmdDivideInt, {I(-7), I(2)}, I(-3)},
      {kCmdDivideInt, {I(INT_MIN), I(-1)}, I(INT_MIN)},  // no trap
      {kCmdAddInt, {I(INT_MAX), I(1)}, I(INT_MIN)},
      {kCmdSubtractInt, {I(INT_MIN), I(1)}, I(INT_MAX)},
      {kCmdMultiplyInt, {I(46341), I(46341)}, I(-2147479015)},
      {kCmdPowerInt, {I(2), I(-1)}, I(0)},
      {kCmdPowerInt, {I(-2), I(3)}, I(-8)},
      {kCmdPowerInt, {I(2), I(31)}, I(INT_MIN)},
      {kCmdPowerInt, {I(10), I(20)}, I(0)},  // beyond 64 bits
      {kCmdAnd, {I(12), I(10)}, I(8)},
      {kCmdOr, {I(12), I(10)}, I(14)},
      {kCmdFloatToInt, {F(-2.9f)}, I(-2)},
      {kCmdFloatToInt, {F(5e9f)}, I(705032704)},  // the low 32 bits
      {kCmdFloatToInt, {F(1e20f)}, I(0)},
      {kCmdFloatToInt, {F(kNaN)}, I(0)},
      {kCmdIntToFloat, {I(INT_MAX)}, F(2147483648.0f)},
  });
}

TEST(ArithmeticCommands, FloatAndMixedOperationsRunInDouble) {
  RunCases({
      {kCmdDivideFloatInt, {F(7.0f), I(2)}, F(3.5f)},
      {kCmdDivideIntFloat, {I(7), F(2.0f)}, F(3.5f)},
      {kCmdSubtractIntFloat, {I(1), F(2.5f)}, F(-1.5f)},
      // In single precision 16777217 would round to 16777216 before the addition.
      {kCmdAddIntFloat, {I(16777217), F(0.5f)}, F(16777218.0f)},
      {kCmdAddFloatInt, {F(0.5f), I(16777217)}, F(16777218.0f)},
      {kCmdMultiplyFloat, {F(1e30f), F(1e30f)}, F(kInf)},
      {kCmdPowerFloat, {F(2.0f), F(0.5f)}, F(float(std::sqrt(2.0)))},
      {kCmdPowerIntFloat, {I(2), F(3.0f)}, F(8.0f)},
      {kCmdPowerFloat, {F(-8.0f), F(0.5f)}, F(kNaN)},
  });
}

TEST(ArithmeticCommands, ComparisonsStoreExactlyOneOrZero) {
  RunCases({
      {kCmdGreaterInt, {I(INT_MIN), I(INT_MAX)}, I(0)},
      {kCmdLessInt, {I(-1), I(0)}, I(1)},
      {kCmdEqualIntFloat, {I(2), F(2.0f)}, I(1)},
      // Exact in double: in single precision both sides would be 16777216.
      {kCmdEqualIntFloat, {I(16777217), F(16777216.0f)}, I(0)},
      {kCmdEqualFloatInt, {F(16777216.0f), I(16777217)}, I(0)},
      {kCmdGreaterFloatInt, {F(2.5f), I(3)}, I(0)},
      {kCmdLessIntFloat, {I(2), F(2.5f)}, I(1)},
      // Not a number is unequal to everything and unordered.
      {kCmdEqualFloat, {F(kNaN), F(kNaN)}, I(0)},
      {kCmdNotEqualFloat, {F(kNaN), F(kNaN)}, I(1)},
      {kCmdGreaterFloat, {F(kNaN), F(1.0f)}, I(0)},
      {kCmdLessEqualFloat, {F(kNaN), F(1.0f)}, I(0)},
      {kCmdNotEqualFloatInt, {F(kNaN), I(1)}, I(1)},
      {kCmdLessIntFloat, {I(1), F(kNaN)}, I(0)},
  });
}

TEST(ArithmeticCommands, DivisionByZeroStoresZeroAndWarns) {
  const Case cases[] = {{kCmdDivideInt, {I(7), I(0)}, I(0)},
                        {kCmdDivideIntFloat, {I(7), F(-0.0f)}, F(0.0f)},
                        {kCmdDivideFloat, {F(7.0f), F(kNaN)}, F(0.0f)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    const Value preload = c.expected.type == 'f' ? F(5.0f) : I(5);
    Outcome test = RunCommand(c.command, c.operands, c.expected.type, &preload);
    EXPECT_EQ(test.run.errorCode, kErrDivisionByZero);
    EXPECT_TRUE(test.run.warning);
    EXPECT_FALSE(test.continued);
    ExpectValue(c.expected);
    // A standalone game ignores the warning and goes on with 0.
    Outcome game = RunCommand(c.command, c.operands, c.expected.type, &preload, /*standalone=*/true);
    EXPECT_EQ(game.run.errorCode, 0);
    EXPECT_TRUE(game.continued);
    ExpectValue(c.expected);
  }
}

// Texts longer than 255 characters raise the too-long error and keep the old text.
TEST(StringCommands, TooLongResultsRaiseStringTooLong) {
  const Value old = S("old");
  for (const Case& c : {Case{kCmdJoinStrings, {S(std::string(200, 'x')), S(std::string(56, 'y'))}, old},
                        Case{kCmdSpaces, {I(256)}, old}, Case{kCmdSpaces, {I(INT_MAX)}, old}}) {
    SCOPED_TRACE(c.operands[0].i);
    Outcome out = RunCommand(c.command, c.operands, 's', &old);
    EXPECT_EQ(out.run.errorCode, kErrStringTooLong);
    EXPECT_FALSE(out.run.warning);
    EXPECT_FALSE(out.continued);
    EXPECT_EQ(TextAt(StringTemp(0)), "old");
  }
}

// A slot may be its own operand, and string temporaries never written read as empty.
TEST(StringCommands, AliasedAndUnwrittenSlots) {
  ImageBuilder image;
  const int text = image.StringVar(), unwritten = image.StringVar();
  const int x = image.StringConst("x");
  image.Cmd(kCmdAssignString, {text, image.StringConst("ab")});
  image.Cmd(kCmdAssignString, {text, text});
  image.Cmd(kCmdJoinStrings, {text, text, image.StringConst("cd")});
  image.Cmd(kCmdUpper, {text, text});
  image.Cmd(kCmdRight, {text, text, image.IntConst(3)});
  image.Cmd(kCmdRemoveSubstring, {StringTemp(1), text, image.StringConst("C")});
  image.Cmd(kCmdRemoveSubstring, {StringTemp(1), StringTemp(1), image.StringConst("B")});
  image.Cmd(kCmdAssignString, {unwritten, image.StringConst("not yet")})
      .Cmd(kCmdAssignString, {unwritten, StringTemp(5)});
  image.Cmd(kCmdJoinStrings, {StringTemp(0), StringTemp(6), x});
  image.Cmd(kCmdEqualString, {IntTemp(0), StringTemp(7), image.StringConst("")});
  image.Cmd(kCmdRemoveSubstring, {StringTemp(2), StringTemp(8), x});
  image.Cmd(kCmdLen, {IntTemp(1), StringTemp(3)}).Cmd(kCmdValInt, {IntTemp(2), StringTemp(4)});
  ASSERT_EQ(RunImage(image).errorCode, 0);
  EXPECT_EQ(TextAt(text), "BCD");
  EXPECT_EQ(TextAt(StringTemp(1)), "D");
  EXPECT_EQ(TextAt(unwritten), "");
  EXPECT_EQ(TextAt(StringTemp(0)), "x");
  EXPECT_EQ(IntAt(IntTemp(0)), 1);
  EXPECT_EQ(TextAt(StringTemp(2)), "");
  EXPECT_EQ(IntAt(IntTemp(1)), 0);
  EXPECT_EQ(IntAt(IntTemp(2)), 0);
}

TEST(StringCommands, OperationsAtTheirEdges) {
  const Value hello = S("hello");
  RunCases({
      {kCmdJoinStrings,
       {S(std::string(200, 'x')), S(std::string(55, 'y'))},
       S(std::string(200, 'x') + std::string(55, 'y'))},
      {kCmdRemoveSubstring, {S("abcabc"), S("bc")}, S("aabc")},
      {kCmdRemoveSubstring, {S("ab"), S("abc")}, S("ab")},
      {kCmdRemoveSubstring, {S("abc"), S("")}, S("abc")},
      // Comparisons are bytewise and case-sensitive.
      {kCmdEqualString, {S("abc"), S("ABC")}, I(0)},
      {kCmdLessString, {S("B"), S("a")}, I(1)},
      {kCmdLessString, {S("ab"), S("abc")}, I(1)},
      {kCmdGreaterString, {S("\xE9"), S("z")}, I(1)},
      {kCmdLeft, {hello, I(-5)}, S("")},
      {kCmdLeft, {hello, I(9)}, hello},
      {kCmdRight, {hello, I(2)}, S("lo")},
      {kCmdRight, {hello, I(-1)}, S("")},
      {kCmdRight, {hello, I(INT_MAX)}, hello},
      {kCmdMidChar, {hello, I(5)}, S("o")},
      {kCmdMidChar, {hello, I(6)}, S("")},
      {kCmdMidChar, {hello, I(INT_MIN)}, S("")},
      {kCmdLower, {S("Hello, World! @[`{ \xC9")}, S("hello, world! @[`{ \xC9")},
      {kCmdUpper, {S("Hello, World! @[`{ \xE9")}, S("HELLO, WORLD! @[`{ \xE9")},
      {kCmdAsc, {S("")}, I(0)},
      {kCmdAsc, {S("\xFF")}, I(255)},
      {kCmdLen, {S(std::string(255, 'z'))}, I(255)},
      {kCmdChr, {I(0)}, S("")},
      {kCmdChr, {I(-191)}, S("A")},
      {kCmdChr, {I(255)}, S("\xFF")},
      {kCmdSpaces, {I(-3)}, S("")},
      {kCmdSpaces, {I(INT_MIN)}, S("")},
      {kCmdSpaces, {I(255)}, S(std::string(255, ' '))},
  });
}

TEST(StringCommands, NumberTextsBothWays) {
  RunCases({
      {kCmdStrInt, {I(INT_MIN)}, S("-2147483648")},
      {kCmdStrFloat, {F(0.1f)}, S("0.1")},
      {kCmdStrFloat, {F(100000.0f)}, S("100000")},
      {kCmdStrFloat, {F(1e6f)}, S("1e+06")},
      {kCmdStrFloat, {F(-kInf)}, S("-inf")},
      {kCmdHexString, {I(-1)}, S("FFFFFFFF")},
      {kCmdHexString, {I(INT_MIN)}, S("80000000")},
      {kCmdBinaryString, {I(5)}, S("%" + std::string(29, '0') + "101")},
      {kCmdBinaryString, {I(-1)}, S("%" + std::string(32, '1'))},
      {kCmdValInt, {S(" \t\n-42x")}, I(-42)},
      {kCmdValInt, {S("- 5")}, I(0)},
      {kCmdValInt, {S("99999999999999999999")}, I(INT_MAX)},
      {kCmdValInt, {S("-99999999999999999999")}, I(INT_MIN)},  // saturated
      {kCmdIntOfFloat, {F(kNaN)}, I(0)},
      {kCmdValFloat, {S("  -2.5e3x")}, F(-2500.0f)},
      {kCmdValFloat, {S("abc")}, F(0.0f)},
      {kCmdValFloat, {S("1e300")}, F(kInf)},
  });
}

TEST(StringCommands, CommandLineIsCutToTheTextLimit) {
  const std::string saved = vx::Runtime().gCommandLine;
  vx::Runtime().gCommandLine = std::string(300, 'c');
  const Value old = S("old");
  Outcome out = RunCommand(kCmdCommandLine, {}, 's', &old);
  vx::Runtime().gCommandLine = saved;
  EXPECT_EQ(out.run.errorCode, 0);
  EXPECT_TRUE(out.continued);
  EXPECT_EQ(TextAt(StringTemp(0)), std::string(255, 'c'));
}

}  // namespace
