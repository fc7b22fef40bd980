// String functions and number-text conversions, run end to end through the dispatcher: each case
// is a one-command program followed by a marker assignment that shows the command left the
// program counter after its operands.
#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <limits>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/errors.h"
#include "tests/support/image_builder.h"
#include "tests/support/run_program.h"

namespace {

using namespace vx::test;

// An argument, or the expected result, of one of the three value types.
struct Arg {
  char type;  // 'l' integer, 'f' float, 's' string
  int32_t i = 0;
  float f = 0.0f;
  std::string s;
};
Arg I(int32_t v) { return {'l', v, 0.0f, {}}; }
Arg F(float v) { return {'f', 0, v, {}}; }
Arg S(std::string v) { return {'s', 0, 0.0f, std::move(v)}; }

int ResultTemp(char type) { return type == 'f' ? FloatTemp(0) : type == 's' ? StringTemp(0) : IntTemp(0); }

struct Outcome {
  RunResult run;
  bool continued = false;
};

// Runs `command result, args...` with the result in the given slot; a string result slot can be
// preloaded with a text first.
Outcome RunOne(int command, const std::vector<Arg>& args, int result, const char* preload = nullptr) {
  ImageBuilder image;
  const int marker = image.IntVar();
  std::vector<vx::test::Word> operands = {result};
  for (const Arg& a : args)
    operands.push_back(a.type == 'f' ? image.FloatConst(a.f) : a.type == 's' ? image.StringConst(a.s)
                                                                                : image.IntConst(a.i));
  if (preload) image.Cmd(153, {result, image.StringConst(preload)});
  const int one = image.IntConst(1);
  image.Raw(command);
  for (const auto& w : operands) image.Raw(w);
  image.Cmd(151, {marker, one});
  return {RunImage(image), IntAt(marker) == 1};
}

std::ostream& operator<<(std::ostream& out, const Arg& a) {
  return a.type == 's' ? out << '"' << a.s << '"' : a.type == 'f' ? out << a.f << 'f' : out << a.i;
}

struct Case {
  int command;
  std::vector<Arg> args;
  Arg expected;
};

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    std::ostringstream trace;
    trace << "command " << c.command;
    for (const Arg& a : c.args) trace << ' ' << a;
    SCOPED_TRACE(trace.str());
    const int slot = ResultTemp(c.expected.type);
    Outcome out = RunOne(c.command, c.args, slot);
    EXPECT_EQ(out.run.errorCode, 0);
    EXPECT_TRUE(out.continued);
    if (c.expected.type == 's')
      EXPECT_EQ(TextAt(slot), c.expected.s);
    else if (c.expected.type == 'f')
      EXPECT_EQ(FloatAt(slot), c.expected.f);
    else
      EXPECT_EQ(IntAt(slot), c.expected.i);
  }
}

TEST(StringCommands, LeftRightAndMidEdges) {
  const Arg hello = S("hello");
  RunCases({
      {233, {hello, I(0)}, S("")}, {233, {hello, I(-5)}, S("")}, {233, {hello, I(2)}, S("he")},
      {233, {hello, I(5)}, hello}, {233, {hello, I(9)}, hello}, {233, {S(""), I(3)}, S("")},
      {248, {hello, I(2)}, S("lo")}, {248, {hello, I(-1)}, S("")}, {248, {hello, I(0)}, S("")},
      {248, {hello, I(9)}, hello}, {248, {hello, I(INT_MAX)}, hello}, {237, {hello, I(1)}, S("h")},
      {237, {hello, I(5)}, S("o")}, {237, {hello, I(6)}, S("")}, {237, {hello, I(0)}, S("")},
      {237, {hello, I(INT_MIN)}, S("")},
  });
}

TEST(StringCommands, CaseAndCharacterCodes) {
  RunCases({
      {236, {S("Hello, World! 123 @[`{ \xC9")}, S("hello, world! 123 @[`{ \xC9")},
      {261, {S("Hello, World! 123 @[`{ \xE9")}, S("HELLO, WORLD! 123 @[`{ \xE9")},
      {236, {S("")}, S("")}, {203, {S("ABC")}, I(65)}, {203, {S("")}, I(0)}, {203, {S("\xFF")}, I(255)},
      {234, {S("hello")}, I(5)}, {234, {S("")}, I(0)}, {234, {S(std::string(255, 'z'))}, I(255)},
      {209, {I(65)}, S("A")}, {209, {I(0)}, S("")}, {209, {I(256)}, S("")}, {209, {I(0x141)}, S("A")},
      {209, {I(-191)}, S("A")}, {209, {I(255)}, S("\xFF")},
  });
}

TEST(StringCommands, Spaces) {
  RunCases({
      {256, {I(3)}, S("   ")}, {256, {I(0)}, S("")}, {256, {I(-3)}, S("")}, {256, {I(INT_MIN)}, S("")},
      {256, {I(255)}, S(std::string(255, ' '))},
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
  using limits = std::numeric_limits<float>;
  RunCases({
      {312, {I(42)}, S("42")}, {312, {I(INT_MIN)}, S("-2147483648")}, {311, {F(1.5f)}, S("1.5")},
      {311, {F(0.1f)}, S("0.1")}, {311, {F(100000.0f)}, S("100000")}, {311, {F(1e6f)}, S("1e+06")},
      {311, {F(1e20f)}, S("1e+20")}, {311, {F(limits::max())}, S("3.40282e+38")},
      {311, {F(limits::denorm_min())}, S("1.4013e-45")}, {311, {F(-limits::infinity())}, S("-inf")},
      {223, {I(255)}, S("FF")}, {223, {I(-1)}, S("FFFFFFFF")}, {223, {I(0)}, S("0")},
      {223, {I(INT_MIN)}, S("80000000")}, {206, {I(5)}, S("%" + std::string(29, '0') + "101")},
      {206, {I(-1)}, S("%" + std::string(32, '1'))}, {206, {I(INT_MIN)}, S("%1" + std::string(31, '0'))},
      {206, {I(0)}, S("%" + std::string(32, '0'))},
  });
}

TEST(StringCommands, ParsingNumbers) {
  RunCases({
      {322, {S("12abc")}, I(12)}, {322, {S("abc")}, I(0)}, {322, {S("")}, I(0)}, {322, {S(" \t\n-42x")}, I(-42)},
      {322, {S("+7")}, I(7)}, {322, {S("-")}, I(0)}, {322, {S("- 5")}, I(0)}, {322, {S("-2147483648")}, I(INT_MIN)},
      {322, {S("99999999999999999999")}, I(INT_MAX)}, {322, {S("-99999999999999999999")}, I(INT_MIN)},  // saturated
      {232, {F(2.9f)}, I(2)}, {232, {F(-2.9f)}, I(-2)}, {232, {F(std::numeric_limits<float>::quiet_NaN())}, I(0)},
      {321, {S("1.5")}, F(1.5f)}, {321, {S("abc")}, F(0.0f)}, {321, {S("  -2.5e3x")}, F(-2500.0f)},
      {321, {S("12abc")}, F(12.0f)}, {321, {S("")}, F(0.0f)},
      {321, {S("1e300")}, F(std::numeric_limits<float>::infinity())},
  });
}

// Only the shape can be checked: the values come from the system clock.
bool HasShape(const std::string& text, char separator, int firstMin, int firstMax, int secondMin, int secondMax,
              int thirdMax) {
  if (text.size() != 8 || text[2] != separator || text[5] != separator) return false;
  for (size_t i : {0u, 1u, 3u, 4u, 6u, 7u})
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  const int a = std::stoi(text.substr(0, 2)), b = std::stoi(text.substr(3, 2)), c = std::stoi(text.substr(6, 2));
  return a >= firstMin && a <= firstMax && b >= secondMin && b <= secondMax && c <= thirdMax;
}

TEST(StringCommands, DateTimeAndCommandLineTexts) {
  Outcome date = RunOne(408, {}, StringTemp(0), "old");
  EXPECT_EQ(date.run.errorCode, 0);
  EXPECT_TRUE(date.continued);
  EXPECT_TRUE(HasShape(TextAt(StringTemp(0)), '/', 1, 12, 1, 31, 99)) << TextAt(StringTemp(0));
  Outcome time = RunOne(409, {}, StringTemp(0));
  EXPECT_EQ(time.run.errorCode, 0);
  EXPECT_TRUE(time.continued);
  EXPECT_TRUE(HasShape(TextAt(StringTemp(0)), ':', 0, 23, 0, 59, 60)) << TextAt(StringTemp(0));

  // The command line is copied and cut to the text limit.
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

// A result may be its own argument, and string temporaries never written read as empty.
TEST(StringCommands, AliasedAndUnwrittenSlots) {
  ImageBuilder image;
  const int text = image.StringVar();
  image.Cmd(153, {text, image.StringConst("Hello")});
  image.Cmd(261, {text, text});
  image.Cmd(233, {text, text, image.IntConst(4)});
  image.Cmd(248, {text, text, image.IntConst(3)});
  image.Cmd(234, {IntTemp(0), StringTemp(3)});
  image.Cmd(203, {IntTemp(1), StringTemp(3)});
  image.Cmd(236, {StringTemp(0), StringTemp(4)});
  image.Cmd(322, {IntTemp(2), StringTemp(5)});
  ASSERT_EQ(RunImage(image).errorCode, 0);
  EXPECT_EQ(TextAt(text), "ELL");
  EXPECT_EQ(IntAt(IntTemp(0)), 0);
  EXPECT_EQ(IntAt(IntTemp(1)), 0);
  EXPECT_EQ(TextAt(StringTemp(0)), "");
  EXPECT_EQ(IntAt(IntTemp(2)), 0);
}

}  // namespace
