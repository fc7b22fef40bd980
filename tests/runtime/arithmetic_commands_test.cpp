// Arithmetic, comparison, assignment and conversion commands, run end to end through the
// dispatcher: each case is a one-command program followed by a marker assignment that shows the
// command left the program counter after its operands.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
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
  switch (v.type) {
    case 'f': return image.FloatConst(v.f);
    case 's': return image.StringConst(v.s);
    default: return image.IntConst(v.i);
  }
}

int ResultTemp(char type) { return type == 'f' ? FloatTemp(0) : type == 's' ? StringTemp(0) : IntTemp(0); }

int AssignCommand(char type) { return type == 'f' ? 152 : type == 's' ? 153 : 151; }

struct Outcome {
  RunResult run;
  bool continued = false;  // the command after it ran
};

// Runs `command result, operands...`; preload, when given, is written to the result slot first.
Outcome RunCommand(int command, const std::vector<Value>& operands, char resultType, const Value* preload = nullptr,
                   bool standalone = false) {
  ImageBuilder image;
  const int result = ResultTemp(resultType);
  const int marker = image.IntVar();
  std::vector<int> numbers;
  for (const Value& v : operands) numbers.push_back(Constant(image, v));
  if (preload) image.Cmd(AssignCommand(resultType), {result, Constant(image, *preload)});
  const int one = image.IntConst(1);
  switch (numbers.size()) {
    case 1: image.Cmd(command, {result, numbers[0]}); break;
    case 2: image.Cmd(command, {result, numbers[0], numbers[1]}); break;
    default: ADD_FAILURE() << "unsupported operand count"; break;
  }
  image.Cmd(151, {marker, one});
  Outcome out;
  out.run = RunImage(image, 1000, standalone);
  out.continued = vx::test::IntAt(marker) == 1;
  return out;
}

void ExpectValue(const Value& expected, char type) {
  const int slot = ResultTemp(type);
  ASSERT_EQ(expected.type, type);
  switch (type) {
    case 'f':
      if (std::isnan(expected.f))
        EXPECT_TRUE(std::isnan(FloatAt(slot)));
      else
        EXPECT_EQ(FloatAt(slot), expected.f);
      break;
    case 's': EXPECT_EQ(TextAt(slot), expected.s); break;
    default: EXPECT_EQ(IntAt(slot), expected.i); break;
  }
}

struct Case {
  const char* name;
  int command;
  std::vector<Value> operands;
  Value expected;
};

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Outcome out = RunCommand(c.command, c.operands, c.expected.type);
    EXPECT_EQ(out.run.errorCode, 0);
    EXPECT_TRUE(out.continued);
    ExpectValue(c.expected, c.expected.type);
  }
}

TEST(ArithmeticCommands, IntegerOperationsTruncateAndWrap) {
  RunCases({
      {"7 / 2", 61, {I(7), I(2)}, I(3)},
      {"-7 / 2", 61, {I(-7), I(2)}, I(-3)},
      {"7 / -2", 61, {I(7), I(-2)}, I(-3)},
      {"min / -1 has no trap", 61, {I(INT_MIN), I(-1)}, I(INT_MIN)},
      {"5 / -1", 61, {I(5), I(-1)}, I(-5)},
      {"max + 1", 81, {I(INT_MAX), I(1)}, I(INT_MIN)},
      {"min - 1", 91, {I(INT_MIN), I(1)}, I(INT_MAX)},
      {"3 - 5", 91, {I(3), I(5)}, I(-2)},
      {"65536 * 65536", 71, {I(65536), I(65536)}, I(0)},
      {"46341 squared", 71, {I(46341), I(46341)}, I(-2147479015)},
      {"-6 * 7", 71, {I(-6), I(7)}, I(-42)},
      {"2 ^ 10", 51, {I(2), I(10)}, I(1024)},
      {"2 ^ -1", 51, {I(2), I(-1)}, I(0)},
      {"-2 ^ 3", 51, {I(-2), I(3)}, I(-8)},
      {"2 ^ 31 keeps the low bits", 51, {I(2), I(31)}, I(INT_MIN)},
      {"10 ^ 20 beyond 64 bits", 51, {I(10), I(20)}, I(0)},
      {"12 and 10", 123, {I(12), I(10)}, I(8)},
      {"12 or 10", 124, {I(12), I(10)}, I(14)},
      {"-1 and min", 123, {I(-1), I(INT_MIN)}, I(INT_MIN)},
  });
}

TEST(ArithmeticCommands, FloatAndMixedOperationsRunInDouble) {
  RunCases({
      {"7.0 / 2", 65, {F(7.0f), I(2)}, F(3.5f)},
      {"7 / 2.0", 64, {I(7), F(2.0f)}, F(3.5f)},
      {"7.0 / 2.0", 66, {F(7.0f), F(2.0f)}, F(3.5f)},
      {"1.0 / 3.0", 66, {F(1.0f), F(3.0f)}, F(float(1.0 / 3.0))},
      // In single precision 16777217 would round to 16777216 before the addition.
      {"16777217 + 0.5", 84, {I(16777217), F(0.5f)}, F(16777218.0f)},
      {"0.5 + 16777217", 85, {F(0.5f), I(16777217)}, F(16777218.0f)},
      {"1.5 + 2.25", 86, {F(1.5f), F(2.25f)}, F(3.75f)},
      {"2.5 - 1", 95, {F(2.5f), I(1)}, F(1.5f)},
      {"1 - 2.5", 94, {I(1), F(2.5f)}, F(-1.5f)},
      {"2.5 - 0.25", 96, {F(2.5f), F(0.25f)}, F(2.25f)},
      {"3 * 0.5", 74, {I(3), F(0.5f)}, F(1.5f)},
      {"0.5 * 3", 75, {F(0.5f), I(3)}, F(1.5f)},
      {"1e30 * 1e30 overflows to infinity", 76, {F(1e30f), F(1e30f)}, F(kInf)},
      {"2.0 ^ 0.5", 52, {F(2.0f), F(0.5f)}, F(float(std::sqrt(2.0)))},
      {"2 ^ 3.0", 53, {I(2), F(3.0f)}, F(8.0f)},
      {"2.5 ^ 2", 54, {F(2.5f), I(2)}, F(6.25f)},
      {"-8.0 ^ 0.5 is not a number", 52, {F(-8.0f), F(0.5f)}, F(kNaN)},
  });
}

TEST(ArithmeticCommands, ComparisonsStoreExactlyOneOrZero) {
  RunCases({
      {"3 = 3", 101, {I(3), I(3)}, I(1)},
      {"3 = 4", 101, {I(3), I(4)}, I(0)},
      {"1.5 = 1.5", 102, {F(1.5f), F(1.5f)}, I(1)},
      {"4 > 3", 111, {I(4), I(3)}, I(1)},
      {"3 > 3", 111, {I(3), I(3)}, I(0)},
      {"min > max", 111, {I(INT_MIN), I(INT_MAX)}, I(0)},
      {"2.5 > 2.0", 112, {F(2.5f), F(2.0f)}, I(1)},
      {"3 >= 3", 113, {I(3), I(3)}, I(1)},
      {"2 >= 3", 113, {I(2), I(3)}, I(0)},
      {"2.0 >= 2.0", 114, {F(2.0f), F(2.0f)}, I(1)},
      {"-1 < 0", 115, {I(-1), I(0)}, I(1)},
      {"0 < -1", 115, {I(0), I(-1)}, I(0)},
      {"-0.5 < 0.5", 116, {F(-0.5f), F(0.5f)}, I(1)},
      {"3 <= 3", 117, {I(3), I(3)}, I(1)},
      {"4 <= 3", 117, {I(4), I(3)}, I(0)},
      {"1.0 <= 0.5", 118, {F(1.0f), F(0.5f)}, I(0)},
      {"3 <> 4", 119, {I(3), I(4)}, I(1)},
      {"3 <> 3", 119, {I(3), I(3)}, I(0)},
      {"1.0 <> 1.5", 120, {F(1.0f), F(1.5f)}, I(1)},
      {"2 = 2.0", 131, {I(2), F(2.0f)}, I(1)},
      // Exact in double: in single precision both sides would be 16777216.
      {"16777217 = 16777216.0", 131, {I(16777217), F(16777216.0f)}, I(0)},
      {"16777216.0 = 16777217", 132, {F(16777216.0f), I(16777217)}, I(0)},
      {"3 > 2.5", 133, {I(3), F(2.5f)}, I(1)},
      {"2.5 > 3", 134, {F(2.5f), I(3)}, I(0)},
      {"3 >= 3.0", 135, {I(3), F(3.0f)}, I(1)},
      {"2.5 >= 3", 136, {F(2.5f), I(3)}, I(0)},
      {"2 < 2.5", 137, {I(2), F(2.5f)}, I(1)},
      {"2.5 < 2", 138, {F(2.5f), I(2)}, I(0)},
      {"3 <= 2.5", 139, {I(3), F(2.5f)}, I(0)},
      {"2.0 <= 2", 140, {F(2.0f), I(2)}, I(1)},
      {"2 <> 2.0", 141, {I(2), F(2.0f)}, I(0)},
      {"2.5 <> 2", 142, {F(2.5f), I(2)}, I(1)},
  });
}

TEST(ArithmeticCommands, NotANumberComparesUnequalAndUnordered) {
  RunCases({
      {"nan = nan", 102, {F(kNaN), F(kNaN)}, I(0)},
      {"nan <> nan", 120, {F(kNaN), F(kNaN)}, I(1)},
      {"nan > 1", 112, {F(kNaN), F(1.0f)}, I(0)},
      {"nan >= 1", 114, {F(kNaN), F(1.0f)}, I(0)},
      {"nan < 1", 116, {F(kNaN), F(1.0f)}, I(0)},
      {"nan <= 1", 118, {F(kNaN), F(1.0f)}, I(0)},
      {"1 = nan", 131, {I(1), F(kNaN)}, I(0)},
      {"nan <> 1", 142, {F(kNaN), I(1)}, I(1)},
      {"1 < nan", 137, {I(1), F(kNaN)}, I(0)},
  });
}

TEST(ArithmeticCommands, AndOrOfComparisonsGiveOneOrZero) {
  ImageBuilder image;
  const int three = image.IntConst(3), four = image.IntConst(4);
  const int both = image.IntVar(), either = image.IntVar();
  image.Cmd(115, {IntTemp(0), three, four});  // 1
  image.Cmd(111, {IntTemp(1), four, three});  // 1
  image.Cmd(101, {IntTemp(2), three, four});  // 0
  image.Cmd(123, {both, IntTemp(0), IntTemp(1)});
  image.Cmd(124, {either, IntTemp(2), IntTemp(0)});
  image.Cmd(123, {IntTemp(3), IntTemp(0), IntTemp(2)});
  RunResult run = RunImage(image);
  EXPECT_EQ(run.errorCode, 0);
  EXPECT_EQ(IntAt(both), 1);
  EXPECT_EQ(IntAt(either), 1);
  EXPECT_EQ(IntAt(IntTemp(3)), 0);
}

TEST(ArithmeticCommands, DivisionByZeroStoresZeroAndWarns) {
  const struct {
    const char* name;
    int command;
    std::vector<Value> operands;
    char resultType;
  } cases[] = {
      {"int / 0", 61, {I(7), I(0)}, 'l'},
      {"int / 0.0", 64, {I(7), F(0.0f)}, 'f'},
      {"int / -0.0", 64, {I(7), F(-0.0f)}, 'f'},
      {"float / 0", 65, {F(7.0f), I(0)}, 'f'},
      {"float / 0.0", 66, {F(7.0f), F(0.0f)}, 'f'},
      {"float / nan", 66, {F(7.0f), F(kNaN)}, 'f'},
      {"int / nan", 64, {I(7), F(kNaN)}, 'f'},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Value preload = c.resultType == 'f' ? F(5.0f) : I(5);
    const Value zero = c.resultType == 'f' ? F(0.0f) : I(0);

    Outcome test = RunCommand(c.command, c.operands, c.resultType, &preload);
    EXPECT_EQ(test.run.errorCode, 111);
    EXPECT_TRUE(test.run.warning);
    EXPECT_FALSE(test.continued);
    ExpectValue(zero, c.resultType);

    // A standalone game ignores the warning and goes on with 0.
    Outcome game = RunCommand(c.command, c.operands, c.resultType, &preload, /*standalone=*/true);
    EXPECT_EQ(game.run.errorCode, 0);
    EXPECT_TRUE(game.continued);
    ExpectValue(zero, c.resultType);
  }
}

TEST(ArithmeticCommands, StandaloneDivisionByZeroFeedsZeroOnward) {
  ImageBuilder image;
  const int seven = image.IntConst(7), zero = image.IntConst(0), ten = image.IntConst(10);
  const int total = image.IntVar();
  image.Cmd(61, {IntTemp(0), seven, zero});
  image.Cmd(81, {total, IntTemp(0), ten});
  RunResult run = RunImage(image, 1000, /*standalone=*/true);
  EXPECT_EQ(run.errorCode, 0);
  EXPECT_EQ(IntAt(total), 10);
}

TEST(ArithmeticCommands, ConversionsTruncateTowardZero) {
  RunCases({
      {"2.9 to int", 154, {F(2.9f)}, I(2)},
      {"-2.9 to int", 154, {F(-2.9f)}, I(-2)},
      {"-0.5 to int", 154, {F(-0.5f)}, I(0)},
      {"5e9 keeps the low 32 bits", 154, {F(5e9f)}, I(705032704)},
      {"1e20 beyond 64 bits", 154, {F(1e20f)}, I(0)},
      {"nan to int", 154, {F(kNaN)}, I(0)},
      {"infinity to int", 154, {F(-kInf)}, I(0)},
      {"-3 to float", 155, {I(-3)}, F(-3.0f)},
      {"16777217 to the nearest float", 155, {I(16777217)}, F(16777216.0f)},
      {"max to float", 155, {I(INT_MAX)}, F(2147483648.0f)},
      {"assign int", 151, {I(-123456)}, I(-123456)},
      {"assign float", 152, {F(-0.75f)}, F(-0.75f)},
      {"assign string", 153, {S("text")}, S("text")},
  });
}

TEST(ArithmeticCommands, FloatAssignmentCopiesTheExactBits) {
  const uint32_t payload = 0x7FC12345u;  // a NaN with a payload
  float nan;
  std::memcpy(&nan, &payload, 4);
  ImageBuilder image;
  const int target = image.FloatVar();
  image.Cmd(152, {target, image.FloatConst(nan)});
  ASSERT_EQ(RunImage(image).errorCode, 0);
  const float got = FloatAt(target);
  uint32_t bits;
  std::memcpy(&bits, &got, 4);
  EXPECT_EQ(bits, payload);
}

TEST(ArithmeticCommands, StringJoinAndSubtraction) {
  RunCases({
      {"join", 87, {S("ab"), S("cd")}, S("abcd")},
      {"join empties", 87, {S(""), S("")}, S("")},
      {"join 200 + 55", 87, {S(std::string(200, 'x')), S(std::string(55, 'y'))},
       S(std::string(200, 'x') + std::string(55, 'y'))},
      {"hello world - lo", 97, {S("hello world"), S("lo")}, S("hel world")},
      {"abc - x", 97, {S("abc"), S("x")}, S("abc")},
      {"abc - empty", 97, {S("abc"), S("")}, S("abc")},
      {"ab - abc", 97, {S("ab"), S("abc")}, S("ab")},
      {"abc - abc", 97, {S("abc"), S("abc")}, S("")},
      {"first occurrence only", 97, {S("abcabc"), S("bc")}, S("aabc")},
      {"match at the end", 97, {S("hello"), S("llo")}, S("he")},
  });
}

TEST(ArithmeticCommands, OverlongJoinRaises107AndKeepsTheOldText) {
  const Value old = S("old");
  Outcome out = RunCommand(87, {S(std::string(200, 'x')), S(std::string(56, 'y'))}, 's', &old);
  EXPECT_EQ(out.run.errorCode, 107);
  EXPECT_FALSE(out.run.warning);
  EXPECT_FALSE(out.continued);
  EXPECT_EQ(TextAt(StringTemp(0)), "old");
}

TEST(ArithmeticCommands, StringComparisonsAreBytewiseAndCaseSensitive) {
  RunCases({
      {"abc = abc", 103, {S("abc"), S("abc")}, I(1)},
      {"abc = ABC", 103, {S("abc"), S("ABC")}, I(0)},
      {"abc <> abd", 121, {S("abc"), S("abd")}, I(1)},
      {"abc <> abc", 121, {S("abc"), S("abc")}, I(0)},
      {"abc < abd", 144, {S("abc"), S("abd")}, I(1)},
      {"abd < abc", 144, {S("abd"), S("abc")}, I(0)},
      {"abd > abc", 143, {S("abd"), S("abc")}, I(1)},
      {"B < a", 144, {S("B"), S("a")}, I(1)},
      {"B > a", 143, {S("B"), S("a")}, I(0)},
      {"prefix sorts first", 144, {S("ab"), S("abc")}, I(1)},
      {"empty < a", 144, {S(""), S("a")}, I(1)},
      {"high bytes sort after ASCII", 143, {S("\xE9"), S("z")}, I(1)},
  });
}

TEST(ArithmeticCommands, StringSlotsUsedAsOwnOperands) {
  ImageBuilder image;
  const int text = image.StringVar();
  const int tail = image.StringConst("cd");
  image.Cmd(153, {text, image.StringConst("ab")});
  image.Cmd(153, {text, text});              // assigned to itself
  image.Cmd(87, {text, text, tail});         // joined into itself
  image.Cmd(97, {StringTemp(1), text, image.StringConst("bc")});
  image.Cmd(97, {StringTemp(1), StringTemp(1), image.StringConst("a")});
  ASSERT_EQ(RunImage(image).errorCode, 0);
  EXPECT_EQ(TextAt(text), "abcd");
  EXPECT_EQ(TextAt(StringTemp(1)), "d");
}

TEST(ArithmeticCommands, UnwrittenStringTemporaryReadsEmpty) {
  ImageBuilder image;
  const int target = image.StringVar();
  const int x = image.StringConst("x");
  image.Cmd(153, {target, image.StringConst("not yet")});
  image.Cmd(153, {target, StringTemp(5)});
  image.Cmd(87, {StringTemp(0), StringTemp(6), x});
  image.Cmd(103, {IntTemp(0), StringTemp(7), image.StringConst("")});
  image.Cmd(97, {StringTemp(1), StringTemp(8), x});
  ASSERT_EQ(RunImage(image).errorCode, 0);
  EXPECT_EQ(TextAt(target), "");
  EXPECT_EQ(TextAt(StringTemp(0)), "x");
  EXPECT_EQ(IntAt(IntTemp(0)), 1);
  EXPECT_EQ(TextAt(StringTemp(1)), "");
}

}  // namespace
