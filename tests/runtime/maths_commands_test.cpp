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

using namespace test;

class MathsTest : public ::testing::Test {
 protected:
  void TearDown() override { FreeProgramImage(); }
};

// Runs `command result, args...` on float constants, or integer ones where ints says so.
ValueSlot RunFunction(int command, std::initializer_list<double> args, bool ints, int result = FloatTemp(0)) {
  ImageBuilder b;
  b.Raw(command).Raw(result);
  for (double a : args) b.Raw(ints ? b.IntConst(int32_t(a)) : b.FloatConst(float(a)));
  EXPECT_EQ(RunImage(b).errorCode, 0) << command;
  return *SlotOfOperand(result);
}

// The language's pi is 3.141, so sin 90 is not 1 and asin 1 is not 90.
TEST_F(MathsTest, FunctionsOnDegrees) {
  const auto bits = [](float f) { return std::bit_cast<uint32_t>(f); };
  EXPECT_EQ(bits(RunFunction(kCmdSinFloat, {90}, false).f), bits(0.99999994f));
  EXPECT_EQ(bits(RunFunction(kCmdAsinFloat, {1}, false).f), bits(90.01698303f));
  EXPECT_EQ(bits(RunFunction(kCmdAtanInt, {1}, true).f), bits(45.008492f));
  // Operand 1 is the first argument of atan2, with either as an integer.
  ImageBuilder b;
  b.Cmd(kCmdAtan2IntFloat, {FloatTemp(0), b.IntConst(1), b.FloatConst(0.0f)});
  b.Cmd(kCmdAtan2FloatInt, {FloatTemp(1), b.FloatConst(0.0f), b.IntConst(1)});
  ASSERT_EQ(RunImage(b).errorCode, 0);
  EXPECT_FLOAT_EQ(FloatAt(FloatTemp(0)), 90.01698303f);
  EXPECT_FLOAT_EQ(FloatAt(FloatTemp(1)), 0.0f);
  // Domain errors are no errors: the result is not a number.
  EXPECT_TRUE(std::isnan(RunFunction(kCmdSqrtFloat, {-1}, false).f));
}

TEST_F(MathsTest, IntegerResultsTruncateTowardZero) {
  EXPECT_EQ(RunFunction(kCmdAbsInt, {-3.7}, false, IntTemp(0)).i, 3);
  EXPECT_EQ(RunFunction(kCmdExpInt, {-1}, true, IntTemp(0)).i, 0);
  EXPECT_EQ(RunFunction(kCmdExpInt, {22}, true, IntTemp(0)).i, -710054450);  // 3584912846 keeps its low 32 bits
}

TEST_F(MathsTest, DrawsFollowTheGeneratorFromStateOneAndNegativeBoundsRaise) {
  Interpreter().gRandomState = 1;
  ImageBuilder b;
  int top = b.IntConst(32767), zero = b.IntConst(0), one = b.IntConst(1);
  b.Cmd(kCmdRandomInt, {IntTemp(0), top}).Cmd(kCmdRandomInt, {IntTemp(1), b.IntConst(100)});
  b.Cmd(kCmdRandomSeed, {one}).Cmd(kCmdRandomInt, {IntTemp(2), b.IntConst(INT_MAX)});
  b.Cmd(kCmdRandomInt, {IntTemp(3), zero}).Cmd(kCmdRandomFloat, {FloatTemp(0), zero});
  b.Cmd(kCmdRandomFloat, {FloatTemp(1), top}).Cmd(kCmdRandomInt, {IntTemp(0), b.IntConst(INT_MIN)});
  EXPECT_EQ(RunImage(b).errorCode, kErrRandomRangeBelowZero);
  EXPECT_EQ(IntAt(IntTemp(0)), 41);  // kept
  EXPECT_EQ(IntAt(IntTemp(1)), 18467 % 101);
  EXPECT_EQ(IntAt(IntTemp(2)), 41);  // the largest bound is valid
  EXPECT_EQ(IntAt(IntTemp(3)), 0);   // bound 0 always gives 0
  EXPECT_EQ(FloatAt(FloatTemp(0)), 0.0f);
}

TEST_F(MathsTest, IncrementAndDecrementWrapAndTruncate) {
  ImageBuilder b;
  int i = b.IntVar(), j = b.IntVar(), k = b.IntVar();
  int nearTop = b.FloatConst(2147483520.0f), rest = b.FloatConst(127.0f), up = b.FloatConst(2.9f);
  b.Cmd(kCmdIncIntVarBy, {i, nearTop}).Cmd(kCmdIncIntVarBy, {i, rest}).Cmd(kCmdIncIntVar, {i});
  b.Cmd(kCmdDecIntVarBy, {j, nearTop}).Cmd(kCmdDecIntVarBy, {j, rest}).Cmd(kCmdDecIntVar, {j}).Cmd(kCmdDecIntVar, {j});
  b.Cmd(kCmdIncIntVarBy, {k, up}).Cmd(kCmdDecIntVarBy, {k, b.FloatConst(-2.9f)});
  ASSERT_EQ(RunImage(b).errorCode, 0);
  EXPECT_EQ(IntAt(i), INT_MIN);
  EXPECT_EQ(IntAt(j), INT_MAX);
  EXPECT_EQ(IntAt(k), 4);
}

// Only a variable of the command's own type can be stepped; anything else raises and stays.
TEST_F(MathsTest, StepsOfAnythingButAVariableRaise) {
  for (int which = 0; which < 4; ++which) {
    SCOPED_TRACE(which);
    ImageBuilder b;
    int iv = b.IntVar(), array = b.IntVar(), five = b.IntConst(5);
    b.Cmd(kCmdDimIntArray1, {array, five}).Cmd(kCmdIntElement1, {IntTemp(0), array, b.IntConst(2)});
    if (which == 0) b.Cmd(kCmdIncIntVarBy, {five, b.FloatConst(1.0f)});  // a constant
    if (which == 1) b.Cmd(kCmdDecFloatVar, {iv});                        // a variable of the other type
    if (which == 2) b.Cmd(kCmdIncIntVar, {IntTemp(0)});                  // an element read
    if (which == 3) b.Cmd(kCmdDecIntVar, {array});                       // an array variable
    EXPECT_EQ(RunImage(b).errorCode, which % 2 ? kErrDecNeedsVariable : kErrIncNeedsVariable);
    EXPECT_EQ(IntAt(five), 5);
    EXPECT_EQ(IntAt(iv), 0);
    ValueSlot* block = Runtime().gArrayHandles[size_t(array - operands::kIntVar)];
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(SlotOfOperand(array)->p, block);
    EXPECT_EQ(block[2].i, 0);
  }
}

}  // namespace
}  // namespace vx
