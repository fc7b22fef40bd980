// String functions and number-text conversions, run end to end through the dispatcher: each case
// is a one-command program followed by a marker assignment that shows the command left the
// program counter after its operands.
#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <limits>
#include <string>
#include <vector>

#include "runtime/errors.h"
#include "tests/support/image_builder.h"
#include "tests/support/run_program.h"

namespace {

using namespace vx::test;

struct Arg {
  char type;  // 'l' integer, 'f' float, 's' string
  int32_t i = 0;
  float f = 0.0f;
  std::string s;
};
Arg I(int32_t v) { return {'l', v, 0.0f, {}}; }
Arg F(float v) { return {'f', 0, v, {}}; }
Arg S(std::string v) { return {'s', 0, 0.0f, std::move(v)}; }

int Constant(ImageBuilder& image, const Arg& a) {
  switch (a.type) {
    case 'f': return image.FloatConst(a.f);
    case 's': return image.StringConst(a.s);
    default: return image.IntConst(a.i);
  }
}

struct Outcome {
  RunResult run;
  bool continued = false;
};

// Runs `command result, args...` with the result in the given slot; a string result slot can be
// preloaded with a text first.
Outcome RunOne(int command, const std::vector<Arg>& args, int result, const char* preload = nullptr) {
  ImageBuilder image;
  const int marker = image.IntVar();
  std::vector<int> numbers;
  for (const Arg& a : args) numbers.push_back(Constant(image, a));
  if (preload) image.Cmd(153, {result, image.StringConst(preload)});
  const int one = image.IntConst(1);
  switch (numbers.size()) {
    case 0: image.Cmd(command, {result}); break;
    case 1: image.Cmd(command, {result, numbers[0]}); break;
    case 2: image.Cmd(command, {result, numbers[0], numbers[1]}); break;
    default: ADD_FAILURE() << "unsupported operand count"; break;
  }
  image.Cmd(151, {marker, one});
  Outcome out;
  out.run = RunImage(image);
  out.continued = IntAt(marker) == 1;
  return out;
}

struct TextCase {
  const char* name;
  int command;
  std::vector<Arg> args;
  std::string expected;
};

void RunTextCases(const std::vector<TextCase>& cases) {
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.name);
    Outcome out = RunOne(c.command, c.args, StringTemp(0));
    EXPECT_EQ(out.run.errorCode, 0);
    EXPECT_TRUE(out.continued);
    EXPECT_EQ(TextAt(StringTemp(0)), c.expected);
  }
}

struct IntCase {
  const char* name;
  int command;
  std::vector<Arg> args;
  int32_t expected;
};

void RunIntCases(const std::vector<IntCase>& cases) {
  for (const IntCase& c : cases) {
    SCOPED_TRACE(c.name);
    Outcome out = RunOne(c.command, c.args, IntTemp(0));
    EXPECT_EQ(out.run.errorCode, 0);
    EXPECT_TRUE(out.continued);
    EXPECT_EQ(IntAt(IntTemp(0)), c.expected);
  }
}

TEST(StringCommands, LeftRightAndMidEdges) {
  RunTextCases({
      {"left 0", 233, {S("hello"), I(0)}, ""},
      {"left -5", 233, {S("hello"), I(-5)}, ""},
      {"left 2", 233, {S("hello"), I(2)}, "he"},
      {"left 5", 233, {S("hello"), I(5)}, "hello"},
      {"left 9", 233, {S("hello"), I(9)}, "hello"},
      {"left of empty", 233, {S(""), I(3)}, ""},
      {"right 2", 248, {S("hello"), I(2)}, "lo"},
      {"right -1", 248, {S("hello"), I(-1)}, ""},
      {"right 0", 248, {S("hello"), I(0)}, ""},
      {"right 9", 248, {S("hello"), I(9)}, "hello"},
      {"right max", 248, {S("hello"), I(INT_MAX)}, "hello"},
      {"mid 1", 237, {S("hello"), I(1)}, "h"},
      {"mid 5", 237, {S("hello"), I(5)}, "o"},
      {"mid 6", 237, {S("hello"), I(6)}, ""},
      {"mid 0", 237, {S("hello"), I(0)}, ""},
      {"mid min", 237, {S("hello"), I(INT_MIN)}, ""},
  });
}

TEST(StringCommands, CaseConversionTouchesOnlyAsciiLetters) {
  RunTextCases({
      {"lower", 236, {S("Hello, World! 123 @[`{ \xC9")}, "hello, world! 123 @[`{ \xC9"},
      {"upper", 261, {S("Hello, World! 123 @[`{ \xE9")}, "HELLO, WORLD! 123 @[`{ \xE9"},
      {"lower of empty", 236, {S("")}, ""},
  });
}

TEST(StringCommands, CharacterCodes) {
  RunIntCases({
      {"asc A", 203, {S("ABC")}, 65},
      {"asc of empty", 203, {S("")}, 0},
      {"asc of a high byte", 203, {S("\xFF")}, 255},
      {"len", 234, {S("hello")}, 5},
      {"len of empty", 234, {S("")}, 0},
      {"len 255", 234, {S(std::string(255, 'z'))}, 255},
  });
  RunTextCases({
      {"chr 65", 209, {I(65)}, "A"},
      {"chr 0 is empty", 209, {I(0)}, ""},
      {"chr 256 is empty", 209, {I(256)}, ""},
      {"chr keeps the low 8 bits", 209, {I(0x141)}, "A"},
      {"chr -191", 209, {I(-191)}, "A"},
      {"chr 255", 209, {I(255)}, "\xFF"},
  });
}

TEST(StringCommands, Spaces) {
  RunTextCases({
      {"spaces 3", 256, {I(3)}, "   "},
      {"spaces 0", 256, {I(0)}, ""},
      {"spaces -3", 256, {I(-3)}, ""},
      {"spaces min", 256, {I(INT_MIN)}, ""},
      {"spaces 255", 256, {I(255)}, std::string(255, ' ')},
  });
  for (int32_t n : {256, 1000, INT_MAX}) {
    SCOPED_TRACE(n);
    Outcome out = RunOne(256, {I(n)}, StringTemp(0), "old");
    EXPECT_EQ(out.run.errorCode, 107);
    EXPECT_FALSE(out.run.warning);
    EXPECT_FALSE(out.continued);
    EXPECT_EQ(TextAt(StringTemp(0)), "old");
  }
}

TEST(StringCommands, NumberTexts) {
  const float inf = std::numeric_limits<float>::infinity();
  RunTextCases({
      {"str 42", 312, {I(42)}, "42"},
      {"str min", 312, {I(INT_MIN)}, "-2147483648"},
      {"str 1.5", 311, {F(1.5f)}, "1.5"},
      {"str 0.1", 311, {F(0.1f)}, "0.1"},
      {"str 100000", 311, {F(100000.0f)}, "100000"},
      {"str 1e6", 311, {F(1e6f)}, "1e+06"},
      {"str 1e20", 311, {F(1e20f)}, "1e+20"},
      {"str largest float", 311, {F(std::numeric_limits<float>::max())}, "3.40282e+38"},
      {"str smallest denormal", 311, {F(std::numeric_limits<float>::denorm_min())}, "1.4013e-45"},
      {"str -infinity", 311, {F(-inf)}, "-inf"},
      {"hex 255", 223, {I(255)}, "FF"},
      {"hex -1", 223, {I(-1)}, "FFFFFFFF"},
      {"hex 0", 223, {I(0)}, "0"},
      {"hex min", 223, {I(INT_MIN)}, "80000000"},
      {"binary 5", 206, {I(5)}, "%" + std::string(29, '0') + "101"},
      {"binary -1", 206, {I(-1)}, "%" + std::string(32, '1')},
      {"binary min", 206, {I(INT_MIN)}, "%1" + std::string(31, '0')},
      {"binary 0", 206, {I(0)}, "%" + std::string(32, '0')},
  });
}

TEST(StringCommands, ParsingNumbers) {
  RunIntCases({
      {"12abc", 322, {S("12abc")}, 12},
      {"abc", 322, {S("abc")}, 0},
      {"empty", 322, {S("")}, 0},
      {"leading space and sign", 322, {S(" \t\n-42x")}, -42},
      {"plus sign", 322, {S("+7")}, 7},
      {"sign alone", 322, {S("-")}, 0},
      {"space after sign", 322, {S("- 5")}, 0},
      {"min", 322, {S("-2147483648")}, INT_MIN},
      {"too large saturates", 322, {S("99999999999999999999")}, INT_MAX},
      {"too small saturates", 322, {S("-99999999999999999999")}, INT_MIN},
      {"2.9 truncated", 232, {F(2.9f)}, 2},
      {"-2.9 truncated", 232, {F(-2.9f)}, -2},
      {"nan to int", 232, {F(std::numeric_limits<float>::quiet_NaN())}, 0},
  });
  const struct {
    const char* text;
    float expected;
  } floats[] = {
      {"1.5", 1.5f}, {"abc", 0.0f}, {"  -2.5e3x", -2500.0f}, {"12abc", 12.0f}, {"", 0.0f},
      {"1e300", std::numeric_limits<float>::infinity()},
  };
  for (const auto& c : floats) {
    SCOPED_TRACE(c.text);
    Outcome out = RunOne(321, {S(c.text)}, FloatTemp(0));
    EXPECT_EQ(out.run.errorCode, 0);
    EXPECT_TRUE(out.continued);
    EXPECT_EQ(FloatAt(FloatTemp(0)), c.expected);
  }
}

// Only the shape can be checked: the values come from the system clock.
bool HasShape(const std::string& text, char separator, int firstMax, int secondMax, int thirdMax, int firstMin,
              int secondMin) {
  if (text.size() != 8 || text[2] != separator || text[5] != separator) return false;
  for (size_t i : {0u, 1u, 3u, 4u, 6u, 7u})
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  const int a = std::stoi(text.substr(0, 2)), b = std::stoi(text.substr(3, 2)), c = std::stoi(text.substr(6, 2));
  return a >= firstMin && a <= firstMax && b >= secondMin && b <= secondMax && c <= thirdMax;
}

TEST(StringCommands, DateAndTimeTexts) {
  Outcome date = RunOne(408, {}, StringTemp(0), "old");
  EXPECT_EQ(date.run.errorCode, 0);
  EXPECT_TRUE(date.continued);
  const std::string d = TextAt(StringTemp(0));
  EXPECT_TRUE(HasShape(d, '/', 12, 31, 99, 1, 1)) << d;

  Outcome time = RunOne(409, {}, StringTemp(0));
  EXPECT_EQ(time.run.errorCode, 0);
  EXPECT_TRUE(time.continued);
  const std::string t = TextAt(StringTemp(0));
  EXPECT_TRUE(HasShape(t, ':', 23, 59, 60, 0, 0)) << t;
}

TEST(StringCommands, CommandLineIsCopiedAndCutToTheTextLimit) {
  const std::string saved = vx::gCommandLine;
  vx::gCommandLine = "game -window";
  Outcome out = RunOne(211, {}, StringTemp(0), "old");
  EXPECT_EQ(out.run.errorCode, 0);
  EXPECT_TRUE(out.continued);
  EXPECT_EQ(TextAt(StringTemp(0)), "game -window");

  vx::gCommandLine = std::string(300, 'c');
  RunOne(211, {}, StringTemp(0));
  EXPECT_EQ(TextAt(StringTemp(0)), std::string(255, 'c'));
  vx::gCommandLine = saved;
}

TEST(StringCommands, ResultMayBeItsOwnArgument) {
  ImageBuilder image;
  const int text = image.StringVar();
  image.Cmd(153, {text, image.StringConst("Hello")});
  image.Cmd(261, {text, text});
  image.Cmd(233, {text, text, image.IntConst(4)});
  image.Cmd(248, {text, text, image.IntConst(3)});
  ASSERT_EQ(RunImage(image).errorCode, 0);
  EXPECT_EQ(TextAt(text), "ELL");
}

TEST(StringCommands, UnwrittenTemporaryReadsEmpty) {
  ImageBuilder image;
  image.Cmd(234, {IntTemp(0), StringTemp(3)});
  image.Cmd(203, {IntTemp(1), StringTemp(3)});
  image.Cmd(236, {StringTemp(0), StringTemp(4)});
  image.Cmd(322, {IntTemp(2), StringTemp(5)});
  ASSERT_EQ(RunImage(image).errorCode, 0);
  EXPECT_EQ(IntAt(IntTemp(0)), 0);
  EXPECT_EQ(IntAt(IntTemp(1)), 0);
  EXPECT_EQ(TextAt(StringTemp(0)), "");
  EXPECT_EQ(IntAt(IntTemp(2)), 0);
}

}  // namespace
