// Maths commands through whole images: functions on degrees with the language's own pi, random
// draws and their bounds, and increment and decrement with their operand checks.
#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cmath>

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

class MathsTest : public ::testing::Test {
 protected:
  void TearDown() override { FreeProgramImage(); }
};

// One function command on constant arguments, each an integer or a float.
struct Call {
  int command;
  bool intArg;
  double arg;
  bool intArg2 = false;
  double arg2 = 0;
  bool binary = false;
};
Call Atan2(int command, double a, double b) {
  return {command, command == kAtan2Int || command == kAtan2IntFloat, a,
          command == kAtan2Int || command == kAtan2FloatInt, b, true};
}

// Runs the call into the given result slot and returns that slot's word.
ValueSlot RunFunction(const Call& c, int result = FloatTemp(0)) {
  ImageBuilder b;
  int arg = c.intArg ? b.IntConst(int32_t(c.arg)) : b.FloatConst(float(c.arg));
  if (c.binary)
    b.Cmd(c.command, {result, arg, c.intArg2 ? b.IntConst(int32_t(c.arg2)) : b.FloatConst(float(c.arg2))});
  else
    b.Cmd(c.command, {result, arg});
  EXPECT_EQ(test::RunImage(b).errorCode, 0) << c.command;
  return *SlotOfOperand(result);
}

TEST_F(MathsTest, FloatFunctions) {
  struct Case {
    Call call;
    float expected;
  };
  // Values the language fixes to the bit: its pi is 3.141, so sin 90 is not 1 and asin 1 is not 90.
  const Case exact[] = {
      {{kSinFloat, false, 90}, 0.99999994f},  {{kSinInt, true, 90}, 0.99999994f},
      {{kAsinFloat, false, 1}, 90.01698303f}, {{kAsinInt, true, 1}, 90.01698303f},
      {{kAcosFloat, false, -1}, 180.03397f},  {{kAcosInt, true, -1}, 180.03397f},
      {{kAtanFloat, false, 1}, 45.008492f},   {{kAtanInt, true, 1}, 45.008492f},
  };
  for (const auto& c : exact) {
    const float got = RunFunction(c.call).f;
    EXPECT_EQ(std::bit_cast<uint32_t>(got), std::bit_cast<uint32_t>(c.expected)) << c.call.command << ": " << got;
  }
  EXPECT_EQ(RadToDeg(DegToRad(180.0)), 180.0);
  EXPECT_EQ(DegToRad(180.0), 180.0 * 0.01745);

  // Operand 1 is the first argument of atan2, operand 2 the second, with either as an integer.
  const Case close[] = {
      {{kCosFloat, false, 0}, 1.0f},          {{kCosInt, true, 180}, -0.99999982f},
      {{kTanFloat, false, 45}, 0.9997037f},   {{kTanInt, true, 45}, 0.9997037f},
      {{kSinhFloat, false, 90}, 2.3005555f},  {{kSinhInt, true, 90}, 2.3005555f},
      {{kSinhFloat, false, -30.5}, -0.5577099f},
      {{kCoshFloat, false, 90}, 2.5084968f},  {{kCoshInt, true, 90}, 2.5084968f},
      {{kTanhFloat, false, 90}, 0.9171053f},  {{kTanhInt, true, 90}, 0.9171053f},
      {{kSqrtFloat, false, 16}, 4.0f},        {{kSqrtInt, true, 2}, 1.4142135f},
      {{kAbsFloat, false, -2.5}, 2.5f},       {{kAbsFloat, false, 3.25}, 3.25f},
      {{kSinInt, true, 0}, 0.0f},
      {Atan2(kAtan2Float, 1, 0), 90.01698303f}, {Atan2(kAtan2IntFloat, 1, 0), 90.01698303f},
      {Atan2(kAtan2FloatInt, 1, 0), 90.01698303f}, {Atan2(kAtan2Int, 1, 0), 90.01698303f},
      {Atan2(kAtan2Float, 0, -1), 180.03397f},  {Atan2(kAtan2Int, -1, -1), -135.02547f},
      {Atan2(kAtan2IntFloat, 0, 1), 0.0f},
  };
  for (const auto& c : close) EXPECT_FLOAT_EQ(RunFunction(c.call).f, c.expected) << c.call.command;

  // Domain errors are no errors: the result is not a number.
  EXPECT_TRUE(std::isnan(RunFunction({kSqrtFloat, false, -1}).f));
  EXPECT_TRUE(std::isnan(RunFunction({kAsinInt, true, 2}).f));
}

TEST_F(MathsTest, IntegerResultsTruncateTowardZero) {
  const std::pair<Call, int32_t> cases[] = {
      {{kAbsInt, false, -3.7}, 3},        {{kAbsInt, false, 2.5}, 2},    {{kAbsInt, false, -0.5}, 0},
      {{kExpInt, true, 1}, 2},            {{kExpInt, true, 10}, 22026},  {{kExpInt, true, -1}, 0},
      {{kExpInt, true, 21}, 1318815734},
      {{kExpInt, true, 22}, -710054450},  // 3584912846 keeps its low 32 bits
  };
  for (const auto& [call, expected] : cases)
    EXPECT_EQ(RunFunction(call, IntTemp(0)).i, expected) << call.command << " " << call.arg;
}

TEST_F(MathsTest, DrawsFollowTheGeneratorFromStateOne) {
  gRandomState = 1;
  ImageBuilder b;
  int top = b.IntConst(32767), zero = b.IntConst(0), one = b.IntConst(1);
  b.Cmd(kRandomInt, {IntTemp(0), top});
  b.Cmd(kRandomSeed, {one}).Cmd(kRandomInt, {IntTemp(2), b.IntConst(INT_MAX)});
  b.Cmd(kRandomInt, {IntTemp(3), b.IntConst(100)});
  b.Cmd(kRandomSeed, {one}).Cmd(kRandomFloat, {FloatTemp(0), top});
  for (int i = 10; i < 20; ++i) b.Cmd(kRandomInt, {IntTemp(i), zero});
  b.Cmd(kRandomFloat, {FloatTemp(1), zero});
  ASSERT_EQ(test::RunImage(b).errorCode, 0);
  EXPECT_EQ(IntAt(IntTemp(0)), 41);
  EXPECT_EQ(IntAt(IntTemp(2)), 41);  // the largest bound is valid
  EXPECT_EQ(IntAt(IntTemp(3)), 18467 % 101);
  EXPECT_EQ(FloatAt(FloatTemp(0)), 41.0f);
  for (int i = 10; i < 20; ++i) EXPECT_EQ(IntAt(IntTemp(i)), 0);  // bound 0 always gives 0
  EXPECT_EQ(FloatAt(FloatTemp(1)), 0.0f);

  // The state carries over to the next run.
  gRandomState = 1;
  for (int32_t expected : {41, 18467}) EXPECT_EQ(RunFunction({kRandomInt, true, 32767}, IntTemp(0)).i, expected);
}

TEST_F(MathsTest, BoundBelowZeroRaisesAndKeepsTheResult) {
  for (int command : {kRandomInt, kRandomFloat}) {
    for (int32_t bound : {-1, -2, INT_MIN}) {
      gRandomState = 1;
      ImageBuilder b;
      int top = b.IntConst(32767);
      b.Cmd(kRandomInt, {IntTemp(0), top}).Cmd(kRandomFloat, {FloatTemp(0), top});
      b.Cmd(command, {command == kRandomInt ? IntTemp(0) : FloatTemp(0), b.IntConst(bound)});
      EXPECT_EQ(test::RunImage(b).errorCode, kNegativeBound) << command << " " << bound;
      EXPECT_EQ(IntAt(IntTemp(0)), 41);
      EXPECT_EQ(FloatAt(FloatTemp(0)), 18467.0f);
    }
  }
}

TEST_F(MathsTest, IncrementAndDecrementVariables) {
  ImageBuilder b;
  int i = b.IntVar(), j = b.IntVar(), k = b.IntVar(), f = b.FloatVar();
  int nearTop = b.FloatConst(2147483520.0f), rest = b.FloatConst(127.0f), up = b.FloatConst(2.9f),
      down = b.FloatConst(-2.9f);
  // i climbs to the largest integer and wraps.
  b.Cmd(kIncIntBy, {i, nearTop}).Cmd(kIncIntBy, {i, rest}).Cmd(kIncInt, {i});
  // j falls below the smallest integer and wraps back.
  b.Cmd(kDecIntBy, {j, nearTop}).Cmd(kDecIntBy, {j, rest}).Cmd(kDecInt, {j}).Cmd(kDecInt, {j});
  // Amounts truncate toward zero: +2, -2, -2, +2 then 1 more.
  b.Cmd(kIncIntBy, {k, up}).Cmd(kIncIntBy, {k, down}).Cmd(kDecIntBy, {k, up}).Cmd(kDecIntBy, {k, down});
  b.Cmd(kIncInt, {k});
  b.Cmd(kIncFloat, {f}).Cmd(kIncFloatBy, {f, b.FloatConst(0.5f)}).Cmd(kDecFloat, {f});
  b.Cmd(kDecFloatBy, {f, b.FloatConst(0.25f)});
  ASSERT_EQ(test::RunImage(b).errorCode, 0);
  EXPECT_EQ(IntAt(i), INT_MIN);
  EXPECT_EQ(IntAt(j), INT_MAX);
  EXPECT_EQ(IntAt(k), 1);
  EXPECT_EQ(FloatAt(f), 0.25f);
}

// Only a variable of the command's own type can be stepped; anything else raises and stays.
TEST_F(MathsTest, StepsOfAnythingButAVariableRaise) {
  enum class Target { kIntTemp, kFloatTemp, kIntConst, kIntVar, kFloatVar, kElement, kArrayVariable };
  const std::pair<int, Target> cases[] = {
      {kIncInt, Target::kIntTemp},   {kDecInt, Target::kIntTemp},      {kIncFloat, Target::kFloatTemp},
      {kDecFloat, Target::kFloatTemp}, {kIncIntBy, Target::kIntConst}, {kDecIntBy, Target::kIntConst},
      {kIncFloat, Target::kIntVar},  {kDecFloatBy, Target::kIntVar},   {kIncInt, Target::kFloatVar},
      {kDecIntBy, Target::kFloatVar}, {kIncInt, Target::kElement},     {kDecInt, Target::kElement},
      {kIncIntBy, Target::kArrayVariable}, {kDecInt, Target::kArrayVariable},
  };
  for (const auto& [command, which] : cases) {
    SCOPED_TRACE(testing::Message() << command << " " << int(which));
    ImageBuilder b;
    int iv = b.IntVar(), fv = b.FloatVar(), array = b.IntVar(), five = b.IntConst(5);
    b.Cmd(kDimInt, {array, five}).Cmd(kIntElement, {IntTemp(0), array, b.IntConst(2)});
    const int targets[] = {IntTemp(3), FloatTemp(3), five, iv, fv, IntTemp(0), array};
    const int target = targets[int(which)];
    const bool increment = command >= kIncFloat && command <= kIncIntBy;
    if (command == kIncIntBy || command == kIncFloatBy || command == kDecIntBy || command == kDecFloatBy)
      b.Cmd(command, {target, b.FloatConst(1.0f)});
    else
      b.Cmd(command, {target});
    EXPECT_EQ(test::RunImage(b).errorCode, increment ? kCannotIncrement : kCannotDecrement);
    EXPECT_EQ(IntAt(IntTemp(3)), 0);
    EXPECT_EQ(IntAt(five), 5);
    EXPECT_EQ(IntAt(iv), 0);
    EXPECT_EQ(FloatAt(fv), 0.0f);
    ValueSlot* block = gArrayHandles[size_t(array - 13000)];
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(SlotOfOperand(array)->p, block);
    EXPECT_EQ(block[2].i, 0);
  }
}

}  // namespace
}  // namespace vx
