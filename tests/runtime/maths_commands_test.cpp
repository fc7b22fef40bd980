// Maths commands through whole images: functions on degrees with the language's own pi, random
// draws and their bounds, and increment and decrement with their operand checks.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>

#include "runtime/arrays.h"
#include "runtime/maths.h"
#include "runtime/program_image.h"
#include "tests/support/image_builder.h"
#include "tests/support/run_program.h"

namespace vx {
namespace {

using test::FloatAt;
using test::FloatTemp;
using test::ImageBuilder;
using test::IntAt;
using test::IntTemp;

enum : int {
  kAbsInt = 201, kAcosFloat = 202, kAsinFloat = 204, kAtanFloat = 205, kExpInt = 218, kCoshFloat = 222,
  kSinhFloat = 225, kTanhFloat = 226, kRandomSeed = 245, kRandomFloat = 249, kSqrtFloat = 257, kSqrtInt = 258,
  kCosFloat = 331, kCosInt = 332, kSinFloat = 341, kSinInt = 342, kAcosInt = 361, kAsinInt = 362, kAtanInt = 363,
  kAtan2Float = 364, kAtan2IntFloat = 365, kAtan2FloatInt = 366, kAtan2Int = 367, kAbsFloat = 368, kCoshInt = 371,
  kSinhInt = 372, kTanhInt = 373, kTanFloat = 381, kTanInt = 382, kRandomInt = 390,
  kIncFloat = 411, kIncInt = 412, kIncFloatBy = 413, kIncIntBy = 414,
  kDecFloat = 421, kDecInt = 422, kDecFloatBy = 423, kDecIntBy = 424,
  kDimInt = 501, kIntElement = 661,
};

constexpr int32_t kNegativeBound = 113;
constexpr int32_t kCannotIncrement = 114;
constexpr int32_t kCannotDecrement = 115;

uint32_t Bits(float f) {
  uint32_t b;
  std::memcpy(&b, &f, 4);
  return b;
}

class MathsTest : public ::testing::Test {
 protected:
  void TearDown() override { FreeProgramImage(); }
};

// Runs one function command on a constant argument (integer or float) and returns the result
// slot's word, read as the given type.
struct OneArg {
  int command;
  bool intArg;
  double arg;
};

float RunFloatFunction(const OneArg& c) {
  ImageBuilder b;
  int arg = c.intArg ? b.IntConst(int32_t(c.arg)) : b.FloatConst(float(c.arg));
  b.Cmd(c.command, {FloatTemp(0), arg});
  auto r = test::RunImage(b);
  EXPECT_EQ(r.errorCode, 0) << c.command;
  return FloatAt(FloatTemp(0));
}

// Values the language fixes to the bit: its pi is 3.141, so sin 90 is not 1 and asin 1 is not 90.
TEST_F(MathsTest, DegreeConversionsUseTheLanguagesPi) {
  struct Case {
    OneArg call;
    float expected;
  };
  const Case cases[] = {
      {{kSinFloat, false, 90}, 0.99999994f},   {{kSinInt, true, 90}, 0.99999994f},
      {{kAsinFloat, false, 1}, 90.01698303f},  {{kAsinInt, true, 1}, 90.01698303f},
      {{kAcosFloat, false, -1}, 180.03397f},   {{kAcosInt, true, -1}, 180.03397f},
      {{kAtanFloat, false, 1}, 45.008492f},    {{kAtanInt, true, 1}, 45.008492f},
  };
  for (const auto& c : cases) {
    const float got = RunFloatFunction(c.call);
    EXPECT_EQ(Bits(got), Bits(c.expected)) << c.call.command << ": " << got;
  }
  EXPECT_EQ(RadToDeg(DegToRad(180.0)), 180.0);
  EXPECT_EQ(DegToRad(180.0), 180.0 * 0.01745);
}

TEST_F(MathsTest, FunctionsOfOneArgument) {
  struct Case {
    OneArg call;
    float expected;
  };
  const Case cases[] = {
      {{kCosFloat, false, 0}, 1.0f},           {{kCosInt, true, 180}, -0.99999982f},
      {{kTanFloat, false, 45}, 0.9997037f},    {{kTanInt, true, 45}, 0.9997037f},
      {{kSinhFloat, false, 90}, 2.3005555f},   {{kSinhInt, true, 90}, 2.3005555f},
      {{kSinhFloat, false, -30.5}, -0.5577099f},
      {{kCoshFloat, false, 90}, 2.5084968f},   {{kCoshInt, true, 90}, 2.5084968f},
      {{kTanhFloat, false, 90}, 0.9171053f},   {{kTanhInt, true, 90}, 0.9171053f},
      {{kSqrtFloat, false, 16}, 4.0f},         {{kSqrtInt, true, 2}, 1.4142135f},
      {{kAbsFloat, false, -2.5}, 2.5f},        {{kAbsFloat, false, 3.25}, 3.25f},
      {{kSinInt, true, 0}, 0.0f},
  };
  for (const auto& c : cases) EXPECT_FLOAT_EQ(RunFloatFunction(c.call), c.expected) << c.call.command;

  // Domain errors are no errors: the result is not a number.
  EXPECT_TRUE(std::isnan(RunFloatFunction({kSqrtFloat, false, -1})));
  EXPECT_TRUE(std::isnan(RunFloatFunction({kAsinInt, true, 2})));
}

TEST_F(MathsTest, IntegerResultsTruncateTowardZero) {
  struct Case {
    OneArg call;
    int32_t expected;
  };
  const Case cases[] = {
      {{kAbsInt, false, -3.7}, 3},        {{kAbsInt, false, 2.5}, 2},    {{kAbsInt, false, -0.5}, 0},
      {{kExpInt, true, 1}, 2},            {{kExpInt, true, 10}, 22026},  {{kExpInt, true, -1}, 0},
      {{kExpInt, true, 21}, 1318815734},
      {{kExpInt, true, 22}, -710054450},  // 3584912846 keeps its low 32 bits
  };
  for (const auto& c : cases) {
    ImageBuilder b;
    int arg = c.call.intArg ? b.IntConst(int32_t(c.call.arg)) : b.FloatConst(float(c.call.arg));
    b.Cmd(c.call.command, {IntTemp(0), arg});
    auto r = test::RunImage(b);
    ASSERT_EQ(r.errorCode, 0);
    EXPECT_EQ(IntAt(IntTemp(0)), c.expected) << c.call.command << " " << c.call.arg;
  }
}

// Operand 1 is the first argument of atan2, operand 2 the second, with either as an integer.
TEST_F(MathsTest, Atan2TakesItsArgumentsInOrder) {
  struct Case {
    int command;
    double a, b;
    float expected;
  };
  const Case cases[] = {
      {kAtan2Float, 1, 0, 90.01698303f},     {kAtan2IntFloat, 1, 0, 90.01698303f},
      {kAtan2FloatInt, 1, 0, 90.01698303f},  {kAtan2Int, 1, 0, 90.01698303f},
      {kAtan2Float, 0, -1, 180.03397f},      {kAtan2Int, -1, -1, -135.02547f},
      {kAtan2IntFloat, 0, 1, 0.0f},
  };
  for (const auto& c : cases) {
    ImageBuilder b;
    const bool aInt = c.command == kAtan2Int || c.command == kAtan2IntFloat;
    const bool bInt = c.command == kAtan2Int || c.command == kAtan2FloatInt;
    int a = aInt ? b.IntConst(int32_t(c.a)) : b.FloatConst(float(c.a));
    int bb = bInt ? b.IntConst(int32_t(c.b)) : b.FloatConst(float(c.b));
    b.Cmd(c.command, {FloatTemp(0), a, bb});
    auto r = test::RunImage(b);
    ASSERT_EQ(r.errorCode, 0);
    EXPECT_FLOAT_EQ(FloatAt(FloatTemp(0)), c.expected) << c.command << " " << c.a << " " << c.b;
  }
}

TEST_F(MathsTest, DrawsFollowTheGeneratorFromStateOne) {
  gRandomState = 1;
  ImageBuilder b;
  int top = b.IntConst(32767), largest = b.IntConst(INT_MAX), hundred = b.IntConst(100), one = b.IntConst(1);
  b.Cmd(kRandomInt, {IntTemp(0), top}).Cmd(kRandomInt, {IntTemp(1), top});
  b.Cmd(kRandomSeed, {one}).Cmd(kRandomInt, {IntTemp(2), largest}).Cmd(kRandomInt, {IntTemp(3), hundred});
  b.Cmd(kRandomSeed, {one}).Cmd(kRandomFloat, {FloatTemp(0), top});
  auto r = test::RunImage(b);
  ASSERT_EQ(r.errorCode, 0);
  EXPECT_EQ(IntAt(IntTemp(0)), 41);
  EXPECT_EQ(IntAt(IntTemp(1)), 18467);
  EXPECT_EQ(IntAt(IntTemp(2)), 41);  // the largest bound is valid
  EXPECT_EQ(IntAt(IntTemp(3)), 18467 % 101);
  EXPECT_EQ(FloatAt(FloatTemp(0)), 41.0f);
}

TEST_F(MathsTest, GeneratorStateCarriesOverToTheNextRun) {
  gRandomState = 1;
  for (int32_t expected : {41, 18467}) {
    ImageBuilder b;
    int top = b.IntConst(32767);
    b.Cmd(kRandomInt, {IntTemp(0), top});
    auto r = test::RunImage(b);
    ASSERT_EQ(r.errorCode, 0);
    EXPECT_EQ(IntAt(IntTemp(0)), expected);
  }
}

TEST_F(MathsTest, BoundZeroAlwaysGivesZero) {
  ImageBuilder b;
  int zero = b.IntConst(0);
  for (int i = 0; i < 20; ++i) b.Cmd(kRandomInt, {IntTemp(i), zero});
  b.Cmd(kRandomFloat, {FloatTemp(0), zero});
  auto r = test::RunImage(b);
  ASSERT_EQ(r.errorCode, 0);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(IntAt(IntTemp(i)), 0);
  EXPECT_EQ(FloatAt(FloatTemp(0)), 0.0f);
}

TEST_F(MathsTest, BoundBelowZeroRaisesAndKeepsTheResult) {
  for (int command : {kRandomInt, kRandomFloat}) {
    for (int32_t bound : {-1, -2, INT_MIN}) {
      gRandomState = 1;
      ImageBuilder b;
      int top = b.IntConst(32767), bad = b.IntConst(bound);
      b.Cmd(kRandomInt, {IntTemp(0), top}).Cmd(kRandomFloat, {FloatTemp(0), top});
      b.Cmd(command, {command == kRandomInt ? IntTemp(0) : FloatTemp(0), bad});
      auto r = test::RunImage(b);
      EXPECT_EQ(r.errorCode, kNegativeBound) << command << " " << bound;
      EXPECT_EQ(IntAt(IntTemp(0)), 41);
      EXPECT_EQ(FloatAt(FloatTemp(0)), 18467.0f);
    }
  }
}

TEST_F(MathsTest, IncrementAndDecrementVariables) {
  ImageBuilder b;
  int i = b.IntVar(), j = b.IntVar(), k = b.IntVar(), f = b.FloatVar();
  int nearTop = b.FloatConst(2147483520.0f), rest = b.FloatConst(127.0f), up = b.FloatConst(2.9f),
      down = b.FloatConst(-2.9f), half = b.FloatConst(0.5f), quarter = b.FloatConst(0.25f);
  // i climbs to the largest integer and wraps.
  b.Cmd(kIncIntBy, {i, nearTop}).Cmd(kIncIntBy, {i, rest}).Cmd(kIncInt, {i});
  // j falls below the smallest integer and wraps back.
  b.Cmd(kDecIntBy, {j, nearTop}).Cmd(kDecIntBy, {j, rest}).Cmd(kDecInt, {j}).Cmd(kDecInt, {j});
  // Amounts truncate toward zero: +2, -2, -2, +2 then 1 more.
  b.Cmd(kIncIntBy, {k, up}).Cmd(kIncIntBy, {k, down}).Cmd(kDecIntBy, {k, up}).Cmd(kDecIntBy, {k, down});
  b.Cmd(kIncInt, {k});
  b.Cmd(kIncFloat, {f}).Cmd(kIncFloatBy, {f, half}).Cmd(kDecFloat, {f}).Cmd(kDecFloatBy, {f, quarter});
  auto r = test::RunImage(b);
  ASSERT_EQ(r.errorCode, 0);
  EXPECT_EQ(IntAt(i), INT_MIN);
  EXPECT_EQ(IntAt(j), INT_MAX);
  EXPECT_EQ(IntAt(k), 1);
  EXPECT_EQ(FloatAt(f), 0.25f);
}

// Only a variable of the command's own type can be stepped; anything else raises and stays.
TEST_F(MathsTest, StepsOfAnythingButAVariableRaise) {
  enum class Target { kIntTemp, kFloatTemp, kIntConst, kIntVar, kFloatVar, kElement, kArrayVariable };
  struct Case {
    int command;
    Target target;
    int32_t error;
  };
  const Case cases[] = {
      {kIncInt, Target::kIntTemp, kCannotIncrement},     {kDecInt, Target::kIntTemp, kCannotDecrement},
      {kIncFloat, Target::kFloatTemp, kCannotIncrement}, {kDecFloat, Target::kFloatTemp, kCannotDecrement},
      {kIncIntBy, Target::kIntConst, kCannotIncrement},  {kDecIntBy, Target::kIntConst, kCannotDecrement},
      {kIncFloat, Target::kIntVar, kCannotIncrement},    {kDecFloatBy, Target::kIntVar, kCannotDecrement},
      {kIncInt, Target::kFloatVar, kCannotIncrement},    {kDecIntBy, Target::kFloatVar, kCannotDecrement},
      {kIncInt, Target::kElement, kCannotIncrement},     {kDecInt, Target::kElement, kCannotDecrement},
      {kIncIntBy, Target::kArrayVariable, kCannotIncrement},
      {kDecInt, Target::kArrayVariable, kCannotDecrement},
  };
  for (const auto& c : cases) {
    ImageBuilder b;
    int iv = b.IntVar(), fv = b.FloatVar(), array = b.IntVar(), five = b.IntConst(5), two = b.IntConst(2),
        amount = b.FloatConst(1.0f);
    b.Cmd(kDimInt, {array, five});
    b.Cmd(kIntElement, {IntTemp(0), array, two});
    int target = 0;
    switch (c.target) {
      case Target::kIntTemp: target = IntTemp(3); break;
      case Target::kFloatTemp: target = FloatTemp(3); break;
      case Target::kIntConst: target = five; break;
      case Target::kIntVar: target = iv; break;
      case Target::kFloatVar: target = fv; break;
      case Target::kElement: target = IntTemp(0); break;
      case Target::kArrayVariable: target = array; break;
    }
    const bool by = c.command == kIncIntBy || c.command == kIncFloatBy || c.command == kDecIntBy ||
                    c.command == kDecFloatBy;
    if (by)
      b.Cmd(c.command, {target, amount});
    else
      b.Cmd(c.command, {target});
    auto r = test::RunImage(b);
    EXPECT_EQ(r.errorCode, c.error) << c.command << " " << int(c.target);
    EXPECT_EQ(test::IntAt(IntTemp(3)), 0);
    EXPECT_EQ(test::IntAt(five), 5);
    EXPECT_EQ(test::IntAt(iv), 0);
    EXPECT_EQ(test::FloatAt(fv), 0.0f);
    ASSERT_NE(gArrayHandles[size_t(array - 13000)], nullptr);
    EXPECT_EQ(SlotOfOperand(array)->p, gArrayHandles[size_t(array - 13000)]);
    EXPECT_EQ(gArrayHandles[size_t(array - 13000)][2].i, 0);
  }
}

}  // namespace
}  // namespace vx
