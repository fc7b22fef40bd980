// Program flow through whole images: jumps, loop steps, gosub, user functions with recursion,
// parameters and returned values, and the DATA list.
#include <gtest/gtest.h>

#include <climits>

#include "runtime/arrays.h"
#include "runtime/flow.h"
#include "runtime/interpreter.h"
#include "runtime/program_image.h"
#include "tests/support/image_builder.h"
#include "tests/support/run_program.h"

namespace vx {
namespace {

using test::ImageBuilder;
using test::IntAt;
using test::IntTemp;
using test::Lit;
using test::TextAt;
using test::To;

// Command numbers used by these programs.
enum : int {
  kJumpIfFalse = 1, kJump = 2, kForStep = 7, kCall = 21, kReturnNone = 22, kReturnInt = 23, kReturnFloat = 24,
  kReturnString = 25, kRestore = 31, kRestoreStart = 32, kReadInt = 33, kReadFloat = 34, kReadString = 35,
  kGosub = 41, kReturnGosub = 43, kMultiply = 71, kAdd = 81, kJoin = 87, kSubtract = 91, kLessEqual = 117,
  kAssignInt = 151, kAssignFloat = 152, kDimInt1 = 501, kSetInt1 = 561, kIntElement1 = 661,
};

class FlowTest : public ::testing::Test {
 protected:
  void TearDown() override { FreeProgramImage(); }
};

TEST_F(FlowTest, LoopStepStaysOnTheLimitAndExitsPastIt) {
  struct Case {
    int32_t counter, limit, step, after;
    bool exits;
  };
  const Case cases[] = {
      {2, 3, 1, 3, false},  {3, 3, 1, 4, true},  {2, 1, -1, 1, false},       {1, 1, -1, 0, true},
      {5, 0, 0, 5, false},  {5, 9, 0, 5, false}, {INT_MAX - 1, INT_MAX, 1, INT_MAX, false},
      {INT_MAX, INT_MAX, 1, INT_MIN, true},       {INT_MIN, INT_MIN, -1, INT_MAX, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.counter << " " << c.limit << " " << c.step);
    ImageBuilder b;
    int counter = b.IntVar(), exited = b.IntVar();
    b.Cmd(kAssignInt, {counter, b.IntConst(c.counter)});
    b.Cmd(kForStep, {counter, b.IntConst(c.limit), b.IntConst(c.step), To("out")}).Cmd(kJump, {To("end")});
    b.Label("out").Cmd(kAssignInt, {exited, b.IntConst(1)});
    b.Label("end");
    ASSERT_TRUE(test::RunImage(b).ended);
    EXPECT_EQ(IntAt(counter), c.after);
    EXPECT_EQ(IntAt(exited), c.exits ? 1 : 0);
  }
}

TEST_F(FlowTest, ConditionJumpsOnlyOnAZeroWord) {
  for (float value : {0.0f, 0.5f, -1.0f}) {
    ImageBuilder b;
    int taken = b.IntVar();
    b.Cmd(kJumpIfFalse, {b.FloatConst(value), To("skip")}).Cmd(kJump, {To("end")});
    b.Label("skip").Cmd(kAssignInt, {taken, b.IntConst(1)});
    b.Label("end");
    test::RunImage(b);
    EXPECT_EQ(IntAt(taken), value == 0.0f ? 1 : 0) << value;
  }
}

TEST_F(FlowTest, GosubReturnsAfterItsOperand) {
  ImageBuilder b;
  int x = b.IntVar(), one = b.IntConst(1);
  b.Cmd(kGosub, {To("sub")}).Cmd(kGosub, {To("sub")}).Cmd(kJump, {To("end")});
  b.Label("sub").Cmd(kAdd, {x, x, one}).Cmd(kReturnGosub);
  b.Label("end").Cmd(kReturnGosub);  // with an empty stack: nothing happens
  b.Cmd(kAdd, {x, x, one});
  EXPECT_EQ(test::RunImage(b).errorCode, 0);
  EXPECT_EQ(IntAt(x), 3);
}

TEST_F(FlowTest, StackHolds65534EntriesThenRaises108) {
  ImageBuilder gosubs;
  gosubs.Label("deep").Cmd(kGosub, {To("deep")});
  EXPECT_EQ(test::RunImage(gosubs, 100000).errorCode, 108);
  EXPECT_EQ(gCallDepth, 65534);

  ImageBuilder calls;
  int ignored = IntTemp(0), zero = calls.IntConst(0);
  calls.Cmd(kCall, {To("f"), ignored, zero}).Cmd(kJump, {To("end")});
  calls.Function("f", 1, {}).Cmd(kCall, {To("f"), ignored, zero}).Cmd(kReturnNone);
  calls.Label("end");
  EXPECT_EQ(test::RunImage(calls, 100000).errorCode, 108);
}

TEST_F(FlowTest, RunningIntoAFunctionDeclarationRaises21) {
  ImageBuilder b;
  b.Function("f", 1, {}).Cmd(kReturnNone);
  EXPECT_EQ(test::RunImage(b).errorCode, 21);
  EXPECT_EQ(gEndFlag, 1);
}

TEST_F(FlowTest, ReturnOfTheWrongKindRaisesAnErrorInsteadOfRunningOperands) {
  ImageBuilder function;  // a function that returns with the gosub return
  function.Cmd(kCall, {To("f"), IntTemp(0), function.IntConst(0)}).Cmd(kJump, {To("end")});
  function.Function("f", 1, {}).Cmd(kReturnGosub);
  function.Label("end");
  EXPECT_EQ(test::RunImage(function).errorCode, 109);

  ImageBuilder sub;  // a subroutine that returns with a function return
  sub.Cmd(kGosub, {To("sub")}).Cmd(kJump, {To("end")});
  sub.Label("sub").Cmd(kReturnInt, {sub.IntConst(5)});
  sub.Label("end");
  EXPECT_EQ(test::RunImage(sub).errorCode, 109);
}

TEST_F(FlowTest, ValueReturnWithEmptyStackEndsQuietly) {
  ImageBuilder b;
  int x = b.IntVar(), one = b.IntConst(1);
  b.Cmd(kReturnInt, {one}).Cmd(kAssignInt, {x, one});
  auto r = test::RunImage(b);
  EXPECT_TRUE(r.ended);
  EXPECT_EQ(r.errorCode, 0);
  EXPECT_EQ(IntAt(x), 0);
  EXPECT_EQ(gProgramCounter - gCodeBase, 2);
}

TEST_F(FlowTest, ArgumentsAreAllReadBeforeAnyParameterChanges) {
  // function f(a, b) = a * 10 + b, called from the main program as f(b, a).
  ImageBuilder b;
  int a = b.IntVar(1), bb = b.IntVar(1), r = b.IntVar(), ten = b.IntConst(10);
  b.Cmd(kAssignInt, {a, b.IntConst(1)}).Cmd(kAssignInt, {bb, ten});
  b.Cmd(kCall, {To("f"), r, b.IntConst(2), bb, a}).Cmd(kJump, {To("end")});
  b.Function("f", 1, {a, bb});
  b.Cmd(kMultiply, {IntTemp(0), a, ten}).Cmd(kAdd, {IntTemp(1), IntTemp(0), bb}).Cmd(kReturnInt, {IntTemp(1)});
  b.Label("end");
  test::RunImage(b);
  EXPECT_EQ(IntAt(r), 10 * 10 + 1);
}

TEST_F(FlowTest, StringArgumentThatIsItsOwnParameter) {
  // f(s$, depth): at depth 0 return s$ + s$, else return f(s$, 0).
  ImageBuilder b;
  int s = b.StringVar(1), depth = b.IntVar(1), out = b.StringVar(), zero = b.IntConst(0);
  int t = test::StringTemp(0), cond = IntTemp(0);
  b.Cmd(kCall, {To("f"), out, b.IntConst(2), b.StringConst("ab"), b.IntConst(1)}).Cmd(kJump, {To("end")});
  b.Function("f", 1, {s, depth});
  b.Cmd(kLessEqual, {cond, depth, zero}).Cmd(kJumpIfFalse, {cond, To("recurse")});
  b.Cmd(kJoin, {t, s, s}).Cmd(kReturnString, {t});
  b.Label("recurse").Cmd(kCall, {To("f"), t, b.IntConst(2), s, zero}).Cmd(kReturnString, {t});
  b.Label("end");
  EXPECT_EQ(test::RunImage(b).errorCode, 0);
  EXPECT_EQ(TextAt(out), "abab");
}

TEST_F(FlowTest, RecursionRestoresParametersAndLocalsAfterEachInnerCall) {
  // function g(n): x = n * 10 ; if n > 0 then g(n - 1) ; total = total + x + n
  ImageBuilder b;
  int n = b.IntVar(1), x = b.IntVar(1), total = b.IntVar(), ignored = IntTemp(5);
  int zero = b.IntConst(0), one = b.IntConst(1), cond = IntTemp(0), t = IntTemp(1);
  b.Cmd(kCall, {To("g"), ignored, one, b.IntConst(3)}).Cmd(kJump, {To("end")});
  b.Function("g", 1, {n}).Cmd(kMultiply, {x, n, b.IntConst(10)});
  b.Cmd(kLessEqual, {cond, n, zero}).Cmd(kJumpIfFalse, {cond, To("inner")}).Cmd(kJump, {To("sum")});
  b.Label("inner").Cmd(kSubtract, {t, n, one}).Cmd(kCall, {To("g"), ignored, one, t});
  b.Label("sum").Cmd(kAdd, {total, total, x}).Cmd(kAdd, {total, total, n}).Cmd(kReturnNone);
  b.Label("end");
  EXPECT_EQ(test::RunImage(b).errorCode, 0);
  EXPECT_EQ(IntAt(total), (30 + 3) + (20 + 2) + (10 + 1) + 0);
  EXPECT_EQ(gCallDepth, 0);
}

TEST_F(FlowTest, IntegerArgumentReachesAFloatParameterAsTheSameBits) {
  ImageBuilder b;
  int p = b.FloatVar(1), seen = b.FloatVar();
  b.Cmd(kCall, {To("f"), IntTemp(0), b.IntConst(1), b.IntConst(0x3F800000)}).Cmd(kJump, {To("end")});
  b.Function("f", 1, {p}).Cmd(kAssignFloat, {seen, p}).Cmd(kReturnNone);
  b.Label("end");
  test::RunImage(b);
  EXPECT_EQ(test::FloatAt(seen), 1.0f);
}

// Calls from the main program save nothing: fi's local keeps its value from one call to the next.
TEST_F(FlowTest, ReturnsStoreTheirValueAndNoneStoresZeroOrEmpty) {
  ImageBuilder b;
  int ri = b.IntVar(), rf = b.FloatVar(), rs = b.StringVar(), rn = b.StringVar(), rz = b.IntVar(), r1 = b.IntVar();
  int local = b.IntVar(1), zero = b.IntConst(0), seven = b.IntConst(7);
  b.Cmd(kAssignInt, {rz, seven}).Cmd(kAssignInt, {local, b.IntConst(5)});
  b.Cmd(kCall, {To("fi"), r1, zero}).Cmd(kCall, {To("fi"), ri, zero});
  b.Cmd(kCall, {To("ff"), rf, zero}).Cmd(kCall, {To("fs"), rs, zero});
  b.Cmd(kCall, {To("fn"), rn, zero}).Cmd(kCall, {To("fn"), rz, zero}).Cmd(kJump, {To("end")});
  b.Function("fi", 1, {}).Cmd(kAdd, {local, local, b.IntConst(1)}).Cmd(kReturnInt, {local});
  b.Function("ff", 2, {}).Cmd(kReturnFloat, {b.FloatConst(0.5f)});
  b.Function("fs", 3, {}).Cmd(kReturnString, {b.StringConst("hi")});
  b.Function("fn", 4, {}).Cmd(kReturnNone);
  b.Label("end");
  EXPECT_EQ(test::RunImage(b).errorCode, 0);
  EXPECT_EQ(IntAt(r1), 6);
  EXPECT_EQ(IntAt(ri), 7);
  EXPECT_EQ(test::FloatAt(rf), 0.5f);
  EXPECT_EQ(TextAt(rs), "hi");
  ASSERT_NE(SlotOfOperand(rn)->s, nullptr);
  EXPECT_EQ(TextAt(rn), "");
  EXPECT_EQ(IntAt(rz), 0);
}

TEST_F(FlowTest, ArrayOwnedByAFunctionIsSharedByAllLevels) {
  // function h(n): arr(n) = n + 100 ; if n > 0 then h(n - 1) -- the array is not saved and restored.
  ImageBuilder b;
  int n = b.IntVar(1), arr = b.IntVar(1), ignored = IntTemp(9), out0 = b.IntVar(), out3 = b.IntVar();
  int zero = b.IntConst(0), one = b.IntConst(1), three = b.IntConst(3), cond = IntTemp(0), t = IntTemp(1);
  b.Cmd(kDimInt1, {arr, three}).Cmd(kCall, {To("h"), ignored, one, three});
  b.Cmd(kIntElement1, {IntTemp(2), arr, zero}).Cmd(kAssignInt, {out0, IntTemp(2)});
  b.Cmd(kIntElement1, {IntTemp(3), arr, three}).Cmd(kAssignInt, {out3, IntTemp(3)}).Cmd(kJump, {To("end")});
  b.Function("h", 1, {n}).Cmd(kAdd, {t, n, b.IntConst(100)}).Cmd(kSetInt1, {arr, n, t});
  b.Cmd(kLessEqual, {cond, n, zero}).Cmd(kJumpIfFalse, {cond, To("inner")}).Cmd(kReturnNone);
  b.Label("inner").Cmd(kSubtract, {t, n, one}).Cmd(kCall, {To("h"), ignored, one, t}).Cmd(kReturnNone);
  b.Label("end");
  EXPECT_EQ(test::RunImage(b).errorCode, 0);
  EXPECT_EQ(IntAt(out0), 100);
  EXPECT_EQ(IntAt(out3), 103);
}

TEST_F(FlowTest, DataReadsFollowTheListAndTypeMismatchStoresZero) {
  ImageBuilder b;
  b.DataInt(11);
  b.DataFloat(2.5f);
  b.DataString("three");
  b.DataInt(44);
  int i1 = b.IntVar(), f1 = b.FloatVar(), s1 = b.StringVar(), i2 = b.IntVar(), i3 = b.IntVar(), s2 = b.StringVar();
  int past = b.IntVar(), again = b.IntVar();
  b.Cmd(kReadInt, {i1}).Cmd(kReadFloat, {f1}).Cmd(kReadString, {s1}).Cmd(kReadInt, {i2});
  b.Cmd(kRestore, {Lit(2)}).Cmd(kReadInt, {i3}).Cmd(kReadInt, {i3});  // a string item: 0, then item 3
  b.Cmd(kRestore, {Lit(9999)}).Cmd(kReadString, {s2});                // past the end: clamped
  b.Cmd(kAssignInt, {past, b.IntConst(7)}).Cmd(kReadInt, {past});     // past the end: 0, and stays
  EXPECT_EQ(test::RunImage(b).errorCode, 0);
  EXPECT_EQ(gDataReadIndex, 4u);
  b.Cmd(kRestoreStart).Cmd(kReadInt, {again});
  EXPECT_EQ(test::RunImage(b).errorCode, 0);
  EXPECT_EQ(IntAt(i1), 11);
  EXPECT_EQ(test::FloatAt(f1), 2.5f);
  EXPECT_EQ(TextAt(s1), "three");
  EXPECT_EQ(IntAt(i2), 44);
  EXPECT_EQ(IntAt(i3), 44);
  EXPECT_EQ(TextAt(s2), "");
  EXPECT_EQ(IntAt(past), 0);
  EXPECT_EQ(IntAt(again), 11);
}

}  // namespace
}  // namespace vx
