// Program flow through whole images: jumps, loop steps, gosub, user functions with recursion,
// parameters and returned values, and the DATA list.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

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
using test::Lit;
using test::TextAt;
using test::To;

// Command numbers used by these programs.
enum : int {
  kJumpIfFalse = 1, kJump = 2, kForStep = 7, kCall = 21, kReturnNone = 22, kReturnInt = 23, kReturnFloat = 24,
  kReturnString = 25, kRestore = 31, kRestoreStart = 32, kReadInt = 33, kReadFloat = 34, kReadString = 35,
  kGosub = 41, kReturnGosub = 43, kMultiply = 71, kAdd = 81, kJoin = 87, kSubtract = 91, kLessEqual = 117,
  kAssignInt = 151, kAssignString = 153, kDimInt1 = 501, kSetInt1 = 561, kIntElement1 = 661,
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
    ImageBuilder b;
    int counter = b.IntVar(), exited = b.IntVar();
    int start = b.IntConst(c.counter), limit = b.IntConst(c.limit), step = b.IntConst(c.step), one = b.IntConst(1);
    b.Cmd(kAssignInt, {counter, start});
    b.Cmd(kForStep, {counter, limit, step, To("out")});
    b.Cmd(kJump, {To("end")});
    b.Label("out").Cmd(kAssignInt, {exited, one});
    b.Label("end");
    auto r = test::RunImage(b);
    ASSERT_TRUE(r.ended);
    EXPECT_EQ(IntAt(counter), c.after) << c.counter << " " << c.limit << " " << c.step;
    EXPECT_EQ(IntAt(exited), c.exits ? 1 : 0) << c.counter << " " << c.limit << " " << c.step;
  }
}

TEST_F(FlowTest, CountingLoopUpToTheLargestIntegerEnds) {
  ImageBuilder b;
  int i = b.IntVar(), passes = b.IntVar();
  int start = b.IntConst(INT_MAX - 3), limit = b.IntConst(INT_MAX), one = b.IntConst(1);
  b.Cmd(kAssignInt, {i, start});
  b.Label("top").Cmd(kAdd, {passes, passes, one});
  b.Cmd(kForStep, {i, limit, one, To("done")});
  b.Cmd(kJump, {To("top")});
  b.Label("done");
  auto r = test::RunImage(b, 100);
  EXPECT_TRUE(r.ended);
  EXPECT_EQ(IntAt(passes), 4);
}

TEST_F(FlowTest, ConditionJumpsOnlyOnAZeroWord) {
  for (float value : {0.0f, 0.5f, -1.0f}) {
    ImageBuilder b;
    int cond = b.FloatConst(value), taken = b.IntVar(), one = b.IntConst(1);
    b.Cmd(kJumpIfFalse, {cond, To("skip")});
    b.Cmd(kJump, {To("end")});
    b.Label("skip").Cmd(kAssignInt, {taken, one});
    b.Label("end");
    test::RunImage(b);
    EXPECT_EQ(IntAt(taken), value == 0.0f ? 1 : 0) << value;
  }
}

TEST_F(FlowTest, GosubReturnsAfterItsOperand) {
  ImageBuilder b;
  int x = b.IntVar(), one = b.IntConst(1);
  b.Cmd(kGosub, {To("sub")});
  b.Cmd(kGosub, {To("sub")});
  b.Cmd(kJump, {To("end")});
  b.Label("sub").Cmd(kAdd, {x, x, one}).Cmd(kReturnGosub);
  b.Label("end").Cmd(kReturnGosub);  // with an empty stack: nothing happens
  b.Cmd(kAdd, {x, x, one});
  auto r = test::RunImage(b);
  EXPECT_EQ(r.errorCode, 0);
  EXPECT_EQ(IntAt(x), 3);
}

TEST_F(FlowTest, StackHolds65534EntriesThenRaises108) {
  ImageBuilder b;
  b.Label("deep").Cmd(kGosub, {To("deep")});
  auto r = test::RunImage(b, 100000);
  EXPECT_EQ(r.errorCode, 108);
  EXPECT_EQ(gCallDepth, 65534);
}

TEST_F(FlowTest, RunningIntoAFunctionDeclarationRaises21) {
  ImageBuilder b;
  b.Function("f", 1, {}).Cmd(kReturnNone);
  auto r = test::RunImage(b);
  EXPECT_EQ(r.errorCode, 21);
  EXPECT_EQ(gEndFlag, 1);
}

TEST_F(FlowTest, ReturnOfTheWrongKindRaisesAnErrorInsteadOfRunningOperands) {
  {
    ImageBuilder b;  // a function that returns with the gosub return
    int result = test::IntTemp(0), zero = b.IntConst(0);
    b.Cmd(kCall, {To("f"), result, zero});
    b.Cmd(kJump, {To("end")});
    b.Function("f", 1, {}).Cmd(kReturnGosub);
    b.Label("end");
    EXPECT_EQ(test::RunImage(b).errorCode, 109);
  }
  {
    ImageBuilder b;  // a subroutine that returns with a function return
    int v = b.IntConst(5);
    b.Cmd(kGosub, {To("sub")});
    b.Cmd(kJump, {To("end")});
    b.Label("sub").Cmd(kReturnInt, {v});
    b.Label("end");
    EXPECT_EQ(test::RunImage(b).errorCode, 109);
  }
}

TEST_F(FlowTest, ValueReturnWithEmptyStackEndsQuietly) {
  ImageBuilder b;
  int x = b.IntVar(), one = b.IntConst(1);
  b.Cmd(kReturnInt, {one});
  b.Cmd(kAssignInt, {x, one});
  auto r = test::RunImage(b);
  EXPECT_TRUE(r.ended);
  EXPECT_EQ(r.errorCode, 0);
  EXPECT_EQ(IntAt(x), 0);
  EXPECT_EQ(gProgramCounter - gCodeBase, 2);
}

TEST_F(FlowTest, ArgumentsAreAllReadBeforeAnyParameterChanges) {
  // function f(a, b) : result = a * 10 + b ; called as f(b, a) from inside f's caller g(a, b).
  ImageBuilder b;
  int a = b.IntVar(1), bb = b.IntVar(1), r = b.IntVar(), ten = b.IntConst(10), two = b.IntConst(2);
  int one = b.IntConst(1), t0 = test::IntTemp(0), t1 = test::IntTemp(1);
  b.Cmd(kAssignInt, {a, one});
  b.Cmd(kAssignInt, {bb, ten});
  // Main program passes the function's own parameters swapped.
  b.Cmd(kCall, {To("f"), r, two, bb, a});
  b.Cmd(kJump, {To("end")});
  b.Function("f", 1, {a, bb});
  b.Cmd(kMultiply, {t0, a, ten}).Cmd(kAdd, {t1, t0, bb}).Cmd(kReturnInt, {t1});
  b.Label("end");
  test::RunImage(b);
  EXPECT_EQ(IntAt(r), 10 * 10 + 1);
}

TEST_F(FlowTest, StringArgumentThatIsItsOwnParameter) {
  // function twice$(s$) : if depth then return twice$(s$) ... here: s$ = s$ + s$ after a self call.
  ImageBuilder b;
  int s = b.StringVar(1), depth = b.IntVar(1), out = b.StringVar(), one = b.IntConst(1), zero = b.IntConst(0);
  int text = b.StringConst("ab"), t = test::StringTemp(0), cond = test::IntTemp(0);
  b.Cmd(kCall, {To("f"), out, b.IntConst(2), text, one});
  b.Cmd(kJump, {To("end")});
  b.Function("f", 1, {s, depth});
  b.Cmd(kLessEqual, {cond, depth, zero}).Cmd(kJumpIfFalse, {cond, To("recurse")});
  b.Cmd(kJoin, {t, s, s}).Cmd(kReturnString, {t});
  b.Label("recurse").Cmd(kCall, {To("f"), t, b.IntConst(2), s, zero}).Cmd(kReturnString, {t});
  b.Label("end");
  auto r = test::RunImage(b);
  EXPECT_EQ(r.errorCode, 0);
  EXPECT_EQ(TextAt(out), "abab");
}

TEST_F(FlowTest, RecursionRestoresParametersAndLocalsAfterEachInnerCall) {
  // function g(n): x = n * 10 ; if n > 0 then g(n - 1) ; total = total + x + n
  ImageBuilder b;
  int n = b.IntVar(1), x = b.IntVar(1), total = b.IntVar(), ignored = test::IntTemp(5);
  int zero = b.IntConst(0), one = b.IntConst(1), ten = b.IntConst(10), three = b.IntConst(3);
  int cond = test::IntTemp(0), t = test::IntTemp(1);
  b.Cmd(kCall, {To("g"), ignored, one, three});
  b.Cmd(kJump, {To("end")});
  b.Function("g", 1, {n});
  b.Cmd(kMultiply, {x, n, ten});
  b.Cmd(kLessEqual, {cond, n, zero}).Cmd(kJumpIfFalse, {cond, To("inner")});
  b.Cmd(kJump, {To("sum")});
  b.Label("inner").Cmd(kSubtract, {t, n, one}).Cmd(kCall, {To("g"), ignored, one, t});
  b.Label("sum").Cmd(kAdd, {total, total, x}).Cmd(kAdd, {total, total, n}).Cmd(kReturnNone);
  b.Label("end");
  auto r = test::RunImage(b);
  EXPECT_EQ(r.errorCode, 0);
  EXPECT_EQ(IntAt(total), (30 + 3) + (20 + 2) + (10 + 1) + 0);
  EXPECT_EQ(gCallDepth, 0);
}

TEST_F(FlowTest, CallsFromTheMainProgramSaveNothing) {
  // The local keeps its last value between calls from the main program.
  ImageBuilder b;
  int local = b.IntVar(1), r1 = b.IntVar(), r2 = b.IntVar(), one = b.IntConst(1), zero = b.IntConst(0);
  b.Cmd(kCall, {To("f"), r1, zero}).Cmd(kCall, {To("f"), r2, zero});
  b.Cmd(kJump, {To("end")});
  b.Function("f", 1, {}).Cmd(kAdd, {local, local, one}).Cmd(kReturnInt, {local});
  b.Label("end");
  test::RunImage(b);
  EXPECT_EQ(IntAt(r1), 1);
  EXPECT_EQ(IntAt(r2), 2);
}

TEST_F(FlowTest, IntegerArgumentReachesAFloatParameterAsTheSameBits) {
  ImageBuilder b;
  int p = b.FloatVar(1), seen = b.FloatVar(), ignored = test::IntTemp(0), arg = b.IntConst(1065353216);
  b.Cmd(kCall, {To("f"), ignored, b.IntConst(1), arg});
  b.Cmd(kJump, {To("end")});
  b.Function("f", 1, {p}).Cmd(152, {seen, p}).Cmd(kReturnNone);
  b.Label("end");
  test::RunImage(b);
  EXPECT_EQ(test::FloatAt(seen), 1.0f);  // 0x3F800000
}

TEST_F(FlowTest, ReturnsStoreTheirValueAndNoneStoresZeroOrEmpty) {
  ImageBuilder b;
  int ri = b.IntVar(), rf = b.FloatVar(), rs = b.StringVar(), rn = b.StringVar(), rz = b.IntVar();
  int zero = b.IntConst(0), seven = b.IntConst(7), half = b.FloatConst(0.5f), text = b.StringConst("hi");
  b.Cmd(kAssignInt, {rz, seven});
  b.Cmd(kCall, {To("fi"), ri, zero}).Cmd(kCall, {To("ff"), rf, zero}).Cmd(kCall, {To("fs"), rs, zero});
  b.Cmd(kCall, {To("fn"), rn, zero}).Cmd(kCall, {To("fn"), rz, zero});
  b.Cmd(kJump, {To("end")});
  b.Function("fi", 1, {}).Cmd(kReturnInt, {seven});
  b.Function("ff", 2, {}).Cmd(kReturnFloat, {half});
  b.Function("fs", 3, {}).Cmd(kReturnString, {text});
  b.Function("fn", 4, {}).Cmd(kReturnNone);
  b.Label("end");
  auto r = test::RunImage(b);
  EXPECT_EQ(r.errorCode, 0);
  EXPECT_EQ(IntAt(ri), 7);
  EXPECT_EQ(test::FloatAt(rf), 0.5f);
  EXPECT_EQ(TextAt(rs), "hi");
  ASSERT_NE(SlotOfOperand(rn)->s, nullptr);
  EXPECT_EQ(TextAt(rn), "");
  EXPECT_EQ(IntAt(rz), 0);
}

TEST_F(FlowTest, CallResultsKeptInHiddenLocalsSurviveLaterCalls) {
  // fib(n) = fib(n-1) + fib(n-2): the first result is copied into a local before the second call.
  ImageBuilder b;
  int n = b.IntVar(1), held = b.IntVar(1), result = b.IntVar();
  int one = b.IntConst(1), two = b.IntConst(2), ten = b.IntConst(10);
  int cond = test::IntTemp(0), arg = test::IntTemp(1), r1 = test::IntTemp(2), r2 = test::IntTemp(3), sum = test::IntTemp(4);
  b.Cmd(kCall, {To("fib"), result, one, ten});
  b.Cmd(kJump, {To("end")});
  b.Function("fib", 1, {n});
  b.Cmd(kLessEqual, {cond, n, one}).Cmd(kJumpIfFalse, {cond, To("more")}).Cmd(kReturnInt, {n});
  b.Label("more").Cmd(kSubtract, {arg, n, one}).Cmd(kCall, {To("fib"), r1, one, arg});
  b.Cmd(kAssignInt, {held, r1});
  b.Cmd(kSubtract, {arg, n, two}).Cmd(kCall, {To("fib"), r2, one, arg});
  b.Cmd(kAdd, {sum, held, r2}).Cmd(kReturnInt, {sum});
  b.Label("end");
  auto r = test::RunImage(b, 100000);
  EXPECT_EQ(r.errorCode, 0);
  EXPECT_EQ(IntAt(result), 55);
}

TEST_F(FlowTest, ArrayOwnedByAFunctionIsSharedByAllLevels) {
  // function h(n): arr(n) = n ; if n > 0 then h(n - 1) -- the array is not saved and restored.
  ImageBuilder b;
  int n = b.IntVar(1), arr = b.IntVar(1), ignored = test::IntTemp(9);
  int zero = b.IntConst(0), one = b.IntConst(1), three = b.IntConst(3);
  int cond = test::IntTemp(0), t = test::IntTemp(1), e0 = test::IntTemp(2), e3 = test::IntTemp(3);
  int out0 = b.IntVar(), out3 = b.IntVar();
  b.Cmd(kDimInt1, {arr, three});
  b.Cmd(kCall, {To("h"), ignored, one, three});
  b.Cmd(kIntElement1, {e0, arr, zero}).Cmd(kAssignInt, {out0, e0});
  b.Cmd(kIntElement1, {e3, arr, three}).Cmd(kAssignInt, {out3, e3});
  b.Cmd(kJump, {To("end")});
  b.Function("h", 1, {n});
  b.Cmd(kAdd, {t, n, b.IntConst(100)}).Cmd(kSetInt1, {arr, n, t});
  b.Cmd(kLessEqual, {cond, n, zero}).Cmd(kJumpIfFalse, {cond, To("inner")}).Cmd(kReturnNone);
  b.Label("inner").Cmd(kSubtract, {t, n, one}).Cmd(kCall, {To("h"), ignored, one, t}).Cmd(kReturnNone);
  b.Label("end");
  auto r = test::RunImage(b);
  EXPECT_EQ(r.errorCode, 0);
  EXPECT_EQ(IntAt(out0), 100);
  EXPECT_EQ(IntAt(out3), 103);
}

TEST_F(FlowTest, NestedCallsBeyondTheStackRaise108) {
  ImageBuilder b;
  int ignored = test::IntTemp(0), zero = b.IntConst(0);
  b.Cmd(kCall, {To("f"), ignored, zero});
  b.Cmd(kJump, {To("end")});
  b.Function("f", 1, {}).Cmd(kCall, {To("f"), ignored, zero}).Cmd(kReturnNone);
  b.Label("end");
  auto r = test::RunImage(b, 100000);
  EXPECT_EQ(r.errorCode, 108);
}

class DataTest : public FlowTest {
 protected:
  ImageBuilder WithData() {
    ImageBuilder b;
    b.DataInt(11);
    b.DataFloat(2.5f);
    b.DataString("three");
    b.DataInt(44);
    return b;
  }
};

TEST_F(DataTest, ReadsFollowTheListAndTypeMismatchStoresZero) {
  ImageBuilder b = WithData();
  int i1 = b.IntVar(), f1 = b.FloatVar(), s1 = b.StringVar(), i2 = b.IntVar(), i3 = b.IntVar(), s2 = b.StringVar();
  b.Cmd(kReadInt, {i1}).Cmd(kReadFloat, {f1}).Cmd(kReadString, {s1}).Cmd(kReadInt, {i2});
  b.Cmd(kRestore, {Lit(2)}).Cmd(kReadInt, {i3}).Cmd(kReadInt, {i3});  // a string item: 0, then item 3
  b.Cmd(kRestore, {Lit(9999)}).Cmd(kReadString, {s2});                // past the end: clamped
  auto r = test::RunImage(b);
  EXPECT_EQ(r.errorCode, 0);
  EXPECT_EQ(IntAt(i1), 11);
  EXPECT_EQ(test::FloatAt(f1), 2.5f);
  EXPECT_EQ(TextAt(s1), "three");
  EXPECT_EQ(IntAt(i2), 44);
  EXPECT_EQ(IntAt(i3), 44);
  EXPECT_EQ(TextAt(s2), "");
  EXPECT_EQ(gDataReadIndex, 4u);
}

TEST_F(DataTest, ReadPastTheEndStoresZeroAndStays) {
  ImageBuilder b = WithData();
  int x = b.IntVar(), y = b.IntVar(), seven = b.IntConst(7);
  b.Cmd(kAssignInt, {y, seven}).Cmd(kRestore, {Lit(3)}).Cmd(kReadInt, {x}).Cmd(kReadInt, {y});
  b.Cmd(kRestoreStart).Cmd(kReadInt, {x});
  test::RunImage(b);
  EXPECT_EQ(IntAt(y), 0);
  EXPECT_EQ(IntAt(x), 11);
}

TEST_F(DataTest, ReadIntoATemporaryWritesTheElementItWasLoadedFrom) {
  ImageBuilder b = WithData();
  int arr = b.IntVar(), two = b.IntConst(2), e = test::IntTemp(0), out = b.IntVar();
  b.Cmd(kDimInt1, {arr, two});
  b.Cmd(kIntElement1, {e, arr, two});  // the temporary now refers to arr(2)
  b.Cmd(kReadInt, {e});
  b.Cmd(kIntElement1, {test::IntTemp(1), arr, two}).Cmd(kAssignInt, {out, test::IntTemp(1)});
  test::RunImage(b);
  EXPECT_EQ(IntAt(out), 11);
}

TEST_F(DataTest, ReadThroughAForgottenReferenceWritesNothing) {
  ImageBuilder b = WithData();
  int arr = b.IntVar(), two = b.IntConst(2), e = test::IntTemp(0);
  b.Cmd(kDimInt1, {arr, two}).Cmd(kIntElement1, {e, arr, two});
  b.Cmd(kDimInt1, {arr, two});  // the old block is gone
  b.Cmd(kReadInt, {e});
  auto r = test::RunImage(b);
  EXPECT_EQ(r.errorCode, 0);
  EXPECT_EQ(gReferenceTable[0], nullptr);
  EXPECT_EQ(gDataReadIndex, 1u);
}

}  // namespace
}  // namespace vx
