// Program flow through whole images: loop steps at the integer edges, the call stack's limit and
// misuse, arguments that alias parameters, and the DATA list's edges.
#include <gtest/gtest.h>

#include <climits>

#include "runtime/dispatcher_state.h"
#include "runtime/flow.h"
#include "runtime/program_image.h"
#include "tests/support/image_builder.h"
#include "tests/support/run_program.h"

namespace vx {
namespace {

using namespace test;

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
      {3, 3, 1, 4, true},
      {2, 1, -1, 1, false},
      {5, 0, 0, 5, false},
      {INT_MAX - 1, INT_MAX, 1, INT_MAX, false},
      {INT_MAX, INT_MAX, 1, INT_MIN, true},
      {INT_MIN, INT_MIN, -1, INT_MAX, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.counter << " " << c.limit << " " << c.step);
    ImageBuilder b;
    int counter = b.IntVar(), exited = b.IntVar();
    b.Cmd(kCmdAssignInt, {counter, b.IntConst(c.counter)});
    b.Cmd(kCmdFor, {counter, b.IntConst(c.limit), b.IntConst(c.step), To("out")}).Cmd(kCmdGoto, {To("end")});
    b.Label("out").Cmd(kCmdAssignInt, {exited, b.IntConst(1)});
    b.Label("end");
    ASSERT_TRUE(RunImage(b).ended);
    EXPECT_EQ(IntAt(counter), c.after);
    EXPECT_EQ(IntAt(exited), c.exits ? 1 : 0);
  }
}

TEST_F(FlowTest, StackHolds65534EntriesThenRaisesStackFull) {
  ImageBuilder gosubs;
  gosubs.Label("deep").Cmd(kCmdGosub, {To("deep")});
  EXPECT_EQ(RunImage(gosubs, 100000).errorCode, kErrCallStackFull);
  EXPECT_EQ(Dispatcher().gCallDepth, 65534);

  ImageBuilder calls;
  int ignored = IntTemp(0), zero = calls.IntConst(0);
  calls.Cmd(kCmdCallFunction, {To("f"), ignored, zero}).Cmd(kCmdGoto, {To("end")});
  calls.Function("f", 1, {}).Cmd(kCmdCallFunction, {To("f"), ignored, zero}).Cmd(kCmdEndFunction);
  calls.Label("end");
  EXPECT_EQ(RunImage(calls, 100000).errorCode, kErrCallStackFull);
}

TEST_F(FlowTest, ReturnOfTheWrongKindRaisesAnErrorInsteadOfRunningOperands) {
  ImageBuilder function;  // a function that returns with the gosub return
  function.Cmd(kCmdCallFunction, {To("f"), IntTemp(0), function.IntConst(0)}).Cmd(kCmdGoto, {To("end")});
  function.Function("f", 1, {}).Cmd(kCmdReturn);
  function.Label("end");
  EXPECT_EQ(RunImage(function).errorCode, kErrReturnMismatch);

  ImageBuilder sub;  // a subroutine that returns with a function return
  sub.Cmd(kCmdGosub, {To("sub")}).Cmd(kCmdGoto, {To("end")});
  sub.Label("sub").Cmd(kCmdEndFunctionInt, {sub.IntConst(5)});
  sub.Label("end");
  EXPECT_EQ(RunImage(sub).errorCode, kErrReturnMismatch);
}

// A gosub return with nothing on the stack does nothing; a value return ends the run quietly.
TEST_F(FlowTest, ReturnsWithAnEmptyStack) {
  ImageBuilder b;
  int x = b.IntVar(), one = b.IntConst(1);
  b.Cmd(kCmdReturn).Cmd(kCmdAddInt, {x, x, one}).Cmd(kCmdEndFunctionInt, {one}).Cmd(kCmdAddInt, {x, x, one});
  auto r = RunImage(b);
  EXPECT_TRUE(r.ended);
  EXPECT_EQ(r.errorCode, 0);
  EXPECT_EQ(IntAt(x), 1);
  EXPECT_EQ(Interpreter().gProgramCounter - Runtime().gCodeBase, 7);
}

TEST_F(FlowTest, ArgumentsAreAllReadBeforeAnyParameterChanges) {
  // function f(a, b) = a * 10 + b, called from the main program as f(b, a).
  ImageBuilder b;
  int a = b.IntVar(1), bb = b.IntVar(1), r = b.IntVar(), ten = b.IntConst(10);
  b.Cmd(kCmdAssignInt, {a, b.IntConst(1)}).Cmd(kCmdAssignInt, {bb, ten});
  b.Cmd(kCmdCallFunction, {To("f"), r, b.IntConst(2), bb, a}).Cmd(kCmdGoto, {To("end")});
  b.Function("f", 1, {a, bb});
  b.Cmd(kCmdMultiplyInt, {IntTemp(0), a, ten})
      .Cmd(kCmdAddInt, {IntTemp(1), IntTemp(0), bb})
      .Cmd(kCmdEndFunctionInt, {IntTemp(1)});
  b.Label("end");
  RunImage(b);
  EXPECT_EQ(IntAt(r), 10 * 10 + 1);
}

TEST_F(FlowTest, StringArgumentThatIsItsOwnParameter) {
  // f(s$, depth): at depth 0 return s$ + s$, else return f(s$, 0).
  ImageBuilder b;
  int s = b.StringVar(1), depth = b.IntVar(1), out = b.StringVar(), zero = b.IntConst(0);
  int t = StringTemp(0), cond = IntTemp(0);
  b.Cmd(kCmdCallFunction, {To("f"), out, b.IntConst(2), b.StringConst("ab"), b.IntConst(1)}).Cmd(kCmdGoto, {To("end")});
  b.Function("f", 1, {s, depth});
  b.Cmd(kCmdLessEqualInt, {cond, depth, zero}).Cmd(kCmdIf, {cond, To("recurse")});
  b.Cmd(kCmdJoinStrings, {t, s, s}).Cmd(kCmdEndFunctionString, {t});
  b.Label("recurse").Cmd(kCmdCallFunction, {To("f"), t, b.IntConst(2), s, zero}).Cmd(kCmdEndFunctionString, {t});
  b.Label("end");
  EXPECT_EQ(RunImage(b).errorCode, 0);
  EXPECT_EQ(TextAt(out), "abab");
}

TEST_F(FlowTest, DataReadOfTheWrongTypeOrPastTheEndStoresZero) {
  ImageBuilder b;
  b.DataInt(11);
  b.DataString("two");
  b.DataInt(33);
  int i = b.IntVar(), s = b.StringVar(), past = b.IntVar();
  b.Cmd(kCmdRestoreAtLabel, {Lit(1)}).Cmd(kCmdReadInt, {i}).Cmd(kCmdReadInt, {i});  // a string item: 0, then item 2
  b.Cmd(kCmdRestoreAtLabel, {Lit(9999)}).Cmd(kCmdReadString, {s});                  // past the end: clamped
  b.Cmd(kCmdAssignInt, {past, b.IntConst(7)}).Cmd(kCmdReadInt, {past});             // past the end: 0, and stays
  EXPECT_EQ(RunImage(b).errorCode, 0);
  EXPECT_EQ(Dispatcher().gDataReadIndex, 3u);
  EXPECT_EQ(IntAt(i), 33);
  EXPECT_EQ(TextAt(s), "");
  EXPECT_EQ(IntAt(past), 0);
}

}  // namespace
}  // namespace vx
