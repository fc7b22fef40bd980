// Arithmetic, comparison, assignment and conversion commands, run end to end through the
// dispatcher: each case is a one-command program followed by a marker assignment that shows the
// command left the program counter after its operands.
#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cmath>
#include <limits>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/image_builder.h"
#include "tests/support/run_program.h"

namespace {

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
  if (preload) image.Cmd(resultType == 'f' ? 152 : resultType == 's' ? 153 : 151, {result, Constant(image, *preload)});
  const int one = image.IntConst(1);
  if (numbers.size() == 1)
    image.Cmd(command, {result, numbers[0]});
  else
    image.Cmd(command, {result, numbers[0], numbers[1]});
  image.Cmd(151, {marker, one});
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

std::ostream& operator<<(std::ostream& out, const Value& v) {
  return v.type == 's' ? out << '"' << v.s << '"' : v.type == 'f' ? out << v.f << 'f' : out << v.i;
}

std::string Describe(int command, const std::vector<Value>& operands) {
  std::ostringstream text;
  text << "command " << command;
  for (const Value& v : operands) text << ' ' << v;
  return text.str();
}

struct Case {
  int command;
  std::vector<Value> operands;
  Value expected;
};

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(Describe(c.command, c.operands));
    Outcome out = RunCommand(c.command, c.operands, c.expected.type);
    EXPECT_EQ(out.run.errorCode, 0);
    EXPECT_TRUE(out.continued);
    ExpectValue(c.expected);
  }
}

TEST(ArithmeticCommands, IntegerOperationsTruncateAndWrap) {
  RunCases({
      {61, {I(-7), I(2)}, I(-3)}, {61, {I(7), I(-2)}, I(-3)}, {61, {I(INT_MIN), I(-1)}, I(INT_MIN)},  // no trap
      {81, {I(INT_MAX), I(1)}, I(INT_MIN)}, {91, {I(INT_MIN), I(1)}, I(INT_MAX)}, {71, {I(65536), I(65536)}, I(0)},
      {71, {I(46341), I(46341)}, I(-2147479015)}, {51, {I(2), I(10)}, I(1024)}, {51, {I(2), I(-1)}, I(0)},
      {51, {I(-2), I(3)}, I(-8)}, {51, {I(2), I(31)}, I(INT_MIN)}, {51, {I(10), I(20)}, I(0)},  // beyond 64 bits
      {123, {I(12), I(10)}, I(8)}, {124, {I(12), I(10)}, I(14)}, {123, {I(-1), I(INT_MIN)}, I(INT_MIN)},
  });
}

TEST(ArithmeticCommands, FloatAndMixedOperationsRunInDouble) {
  RunCases({
      {65, {F(7.0f), I(2)}, F(3.5f)}, {64, {I(7), F(2.0f)}, F(3.5f)}, {66, {F(7.0f), F(2.0f)}, F(3.5f)},
      // In single precision 16777217 would round to 16777216 before the addition.
      {84, {I(16777217), F(0.5f)}, F(16777218.0f)}, {85, {F(0.5f), I(16777217)}, F(16777218.0f)},
      {86, {F(1.5f), F(2.25f)}, F(3.75f)}, {95, {F(2.5f), I(1)}, F(1.5f)}, {94, {I(1), F(2.5f)}, F(-1.5f)},
      {96, {F(2.5f), F(0.25f)}, F(2.25f)}, {74, {I(3), F(0.5f)}, F(1.5f)}, {75, {F(0.5f), I(3)}, F(1.5f)},
      {76, {F(1e30f), F(1e30f)}, F(kInf)}, {52, {F(2.0f), F(0.5f)}, F(float(std::sqrt(2.0)))},
      {53, {I(2), F(3.0f)}, F(8.0f)}, {54, {F(2.5f), I(2)}, F(6.25f)}, {52, {F(-8.0f), F(0.5f)}, F(kNaN)},
  });
}

TEST(ArithmeticCommands, ComparisonsStoreExactlyOneOrZero) {
  RunCases({
      {101, {I(3), I(3)}, I(1)}, {101, {I(3), I(4)}, I(0)}, {102, {F(1.5f), F(1.5f)}, I(1)},
      {111, {I(4), I(3)}, I(1)}, {111, {I(3), I(3)}, I(0)}, {111, {I(INT_MIN), I(INT_MAX)}, I(0)},
      {112, {F(2.5f), F(2.0f)}, I(1)}, {113, {I(3), I(3)}, I(1)}, {113, {I(2), I(3)}, I(0)},
      {114, {F(2.0f), F(2.0f)}, I(1)}, {115, {I(-1), I(0)}, I(1)}, {115, {I(0), I(-1)}, I(0)},
      {116, {F(-0.5f), F(0.5f)}, I(1)}, {117, {I(3), I(3)}, I(1)}, {117, {I(4), I(3)}, I(0)},
      {118, {F(1.0f), F(0.5f)}, I(0)}, {119, {I(3), I(4)}, I(1)}, {119, {I(3), I(3)}, I(0)},
      {120, {F(1.0f), F(1.5f)}, I(1)}, {131, {I(2), F(2.0f)}, I(1)},
      // Exact in double: in single precision both sides would be 16777216.
      {131, {I(16777217), F(16777216.0f)}, I(0)}, {132, {F(16777216.0f), I(16777217)}, I(0)},
      {133, {I(3), F(2.5f)}, I(1)}, {134, {F(2.5f), I(3)}, I(0)}, {135, {I(3), F(3.0f)}, I(1)},
      {136, {F(2.5f), I(3)}, I(0)}, {137, {I(2), F(2.5f)}, I(1)}, {138, {F(2.5f), I(2)}, I(0)},
      {139, {I(3), F(2.5f)}, I(0)}, {140, {F(2.0f), I(2)}, I(1)}, {141, {I(2), F(2.0f)}, I(0)},
      {142, {F(2.5f), I(2)}, I(1)},
      // Not a number is unequal to everything and unordered.
      {102, {F(kNaN), F(kNaN)}, I(0)}, {120, {F(kNaN), F(kNaN)}, I(1)}, {112, {F(kNaN), F(1.0f)}, I(0)},
      {114, {F(kNaN), F(1.0f)}, I(0)}, {116, {F(kNaN), F(1.0f)}, I(0)}, {118, {F(kNaN), F(1.0f)}, I(0)},
      {131, {I(1), F(kNaN)}, I(0)}, {142, {F(kNaN), I(1)}, I(1)}, {137, {I(1), F(kNaN)}, I(0)},
  });
}

TEST(ArithmeticCommands, DivisionByZeroStoresZeroAndWarns) {
  const Case cases[] = {
      {61, {I(7), I(0)}, I(0)},      {64, {I(7), F(0.0f)}, F(0.0f)},    {64, {I(7), F(-0.0f)}, F(0.0f)},
      {65, {F(7.0f), I(0)}, F(0.0f)}, {66, {F(7.0f), F(0.0f)}, F(0.0f)}, {66, {F(7.0f), F(kNaN)}, F(0.0f)},
      {64, {I(7), F(kNaN)}, F(0.0f)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Describe(c.command, c.operands));
    const Value preload = c.expected.type == 'f' ? F(5.0f) : I(5);
    Outcome test = RunCommand(c.command, c.operands, c.expected.type, &preload);
    EXPECT_EQ(test.run.errorCode, 111);
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

TEST(ArithmeticCommands, ConversionsTruncateTowardZero) {
  RunCases({
      {154, {F(2.9f)}, I(2)}, {154, {F(-2.9f)}, I(-2)}, {154, {F(-0.5f)}, I(0)},
      {154, {F(5e9f)}, I(705032704)},  // the low 32 bits
      {154, {F(1e20f)}, I(0)}, {154, {F(kNaN)}, I(0)}, {154, {F(-kInf)}, I(0)}, {155, {I(-3)}, F(-3.0f)},
      {155, {I(16777217)}, F(16777216.0f)}, {155, {I(INT_MAX)}, F(2147483648.0f)}, {151, {I(-123456)}, I(-123456)},
      {152, {F(-0.75f)}, F(-0.75f)}, {153, {S("text")}, S("text")},
  });
}

TEST(ArithmeticCommands, FloatAssignmentCopiesTheExactBits) {
  const uint32_t payload = 0x7FC12345u;  // a NaN with a payload
  ImageBuilder image;
  const int target = image.FloatVar();
  image.Cmd(152, {target, image.FloatConst(std::bit_cast<float>(payload))});
  ASSERT_EQ(RunImage(image).errorCode, 0);
  EXPECT_EQ(std::bit_cast<uint32_t>(FloatAt(target)), payload);
}

TEST(ArithmeticCommands, StringJoinAndSubtraction) {
  RunCases({
      {87, {S("ab"), S("cd")}, S("abcd")}, {87, {S(""), S("")}, S("")},
      {87, {S(std::string(200, 'x')), S(std::string(55, 'y'))}, S(std::string(200, 'x') + std::string(55, 'y'))},
      {97, {S("hello world"), S("lo")}, S("hel world")}, {97, {S("abc"), S("x")}, S("abc")},
      {97, {S("abc"), S("")}, S("abc")}, {97, {S("ab"), S("abc")}, S("ab")}, {97, {S("abc"), S("abc")}, S("")},
      {97, {S("abcabc"), S("bc")}, S("aabc")}, {97, {S("hello"), S("llo")}, S("he")},
  });
  // A join past 255 characters raises 107 and keeps the old text.
  const Value old = S("old");
  Outcome out = RunCommand(87, {S(std::string(200, 'x')), S(std::string(56, 'y'))}, 's', &old);
  EXPECT_EQ(out.run.errorCode, 107);
  EXPECT_FALSE(out.run.warning);
  EXPECT_FALSE(out.continued);
  EXPECT_EQ(TextAt(StringTemp(0)), "old");
}

TEST(ArithmeticCommands, StringComparisonsAreBytewiseAndCaseSensitive) {
  RunCases({
      {103, {S("abc"), S("abc")}, I(1)}, {103, {S("abc"), S("ABC")}, I(0)}, {121, {S("abc"), S("abd")}, I(1)},
      {121, {S("abc"), S("abc")}, I(0)}, {144, {S("abc"), S("abd")}, I(1)}, {144, {S("abd"), S("abc")}, I(0)},
      {143, {S("abd"), S("abc")}, I(1)}, {144, {S("B"), S("a")}, I(1)}, {143, {S("B"), S("a")}, I(0)},
      {144, {S("ab"), S("abc")}, I(1)}, {144, {S(""), S("a")}, I(1)}, {143, {S("\xE9"), S("z")}, I(1)},
  });
}

// A slot may be its own operand, and string temporaries never written read as empty.
TEST(ArithmeticCommands, AliasedAndUnwrittenStringSlots) {
  ImageBuilder image;
  const int text = image.StringVar(), unwritten = image.StringVar();
  const int x = image.StringConst("x");
  image.Cmd(153, {text, image.StringConst("ab")});
  image.Cmd(153, {text, text});
  image.Cmd(87, {text, text, image.StringConst("cd")});
  image.Cmd(97, {StringTemp(1), text, image.StringConst("bc")});
  image.Cmd(97, {StringTemp(1), StringTemp(1), image.StringConst("a")});
  image.Cmd(153, {unwritten, image.StringConst("not yet")}).Cmd(153, {unwritten, StringTemp(5)});
  image.Cmd(87, {StringTemp(0), StringTemp(6), x});
  image.Cmd(103, {IntTemp(0), StringTemp(7), image.StringConst("")});
  image.Cmd(97, {StringTemp(2), StringTemp(8), x});
  ASSERT_EQ(RunImage(image).errorCode, 0);
  EXPECT_EQ(TextAt(text), "abcd");
  EXPECT_EQ(TextAt(StringTemp(1)), "d");
  EXPECT_EQ(TextAt(unwritten), "");
  EXPECT_EQ(TextAt(StringTemp(0)), "x");
  EXPECT_EQ(IntAt(IntTemp(0)), 1);
  EXPECT_EQ(TextAt(StringTemp(2)), "");
}

}  // namespace
