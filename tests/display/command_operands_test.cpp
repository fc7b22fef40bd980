// Every handler of the command table against its row: run once on operands of its row's types, as
// a loaded program holds them, on a real headless display, each handler must leave the program
// counter after exactly as many words as its row has parameter letters (a value function's result
// counts). Jumps, waits, the function call and the function head follow their own rules, listed
// below; every other handler steps over its operands on every path, errors included.
#include <map>
#include <string>

#include "common/commands.h"
#include "display/draw_queue.h"
#include "platform/win/messages.h"
#include "runtime/dispatcher_state.h"
#include "runtime/program_image.h"
#include "runtime/run_setup.h"
#include "system/system_state.h"
#include "tests/display/bitmap_test_support.h"
#include "tests/support/image_builder.h"
#include "tests/support/run_program.h"

namespace vx {
namespace {

using test::ImageBuilder;
using test::Word;

enum class Rule {
  kJumps,          // goes to its target
  kJumpsOrSteps,   // goes to its target, or steps over its operands and target
  kRerunsOrSteps,  // stays on its own command word to run again, or steps over its operands
  kCalls,          // goes to the first word after the called function's head
  kStepsItsFor,    // steps the for at its target: goes on after the for, or steps over its operands
  kEndsProgram,    // the program ran into a function's head: it ends with an error
};

// The block keywords' targets follow their parameters (the compiler adds them).
const std::map<int32_t, Rule> kOwnRules = {
    {kCmdIf, Rule::kJumpsOrSteps},
    {kCmdWhile, Rule::kJumpsOrSteps},
    {kCmdUntil, Rule::kJumpsOrSteps},
    {kCmdFor, Rule::kJumpsOrSteps},
    {kCmdElse, Rule::kJumps},
    {kCmdExit, Rule::kJumps},
    {kCmdLoop, Rule::kJumps},
    {kCmdEndwhile, Rule::kJumps},
    {kCmdNext, Rule::kJumps},
    {kCmdGoto, Rule::kJumps},
    {kCmdGosub, Rule::kJumps},
    {kCmdWait, Rule::kRerunsOrSteps},
    {kCmdSleep, Rule::kRerunsOrSteps},
    {kCmdWaitKey, Rule::kRerunsOrSteps},
    {kCmdSuspendForKey, Rule::kRerunsOrSteps},
    {kCmdWaitMouse, Rule::kRerunsOrSteps},
    {kCmdInputInt, Rule::kRerunsOrSteps},
    {kCmdInputFloat, Rule::kRerunsOrSteps},
    {kCmdInputString, Rule::kRerunsOrSteps},
    {kCmdCallFunction, Rule::kCalls},
    {kCmdFunctionHead, Rule::kEndsProgram},
    {kCmdNextStep, Rule::kStepsItsFor},
};

bool TakesTarget(int32_t number) {
  switch (number) {
    case kCmdIf:
    case kCmdElse:
    case kCmdExit:
    case kCmdLoop:
    case kCmdFor:
    case kCmdNext:
    case kCmdWhile:
    case kCmdEndwhile:
    case kCmdUntil: return true;
    default: return false;
  }
}

class CommandOperandsTest : public test::RealDisplayTest {
 protected:
  void SetUp() override {
    test::RealDisplayTest::SetUp();
    test::PrepareRuntime();
  }
  void TearDown() override {
    FreeProgramImage();
    ResetWindowState();
    System().gExitMessageFlag = 0;
    Display().gScreenSaveRequest = 0;
    test::RealDisplayTest::TearDown();
  }
};

TEST_F(CommandOperandsTest, EveryHandlerStepsOverTheOperandsOfItsRow) {
  int checked = 0;
  for (size_t r = 0; r < kCommandRowCount; ++r) {
    const CommandRow& row = kCommandRows[r];
    SCOPED_TRACE(std::string(row.name) + " (" + std::to_string(row.number) + ")");
    const CommandHandler handler = HandlerOf(row.number);
    ASSERT_EQ(handler != nullptr, row.handler != nullptr) << "the handler is registered exactly when the row names one";
    if (!handler) continue;
    const auto own = kOwnRules.find(row.number);
    const std::string letters = row.letters == std::string("0") ? "" : row.letters;
    if (letters.find('e') != std::string::npos) {
      ASSERT_NE(own, kOwnRules.end()) << "operands that vary need a rule";
    }

    // Command word, operands of the row's types, the target of a block keyword; a word between,
    // so that a jump and a step land apart; the target; and the called function's head.
    ImageBuilder b;
    std::vector<Word> operands;
    if (row.number == kCmdCallFunction) {
      operands = {test::To("function"), test::IntTemp(0), b.IntConst(0)};
    } else if (row.number == kCmdNextStep) {
      operands = {b.IntVar(), test::To("for")};
    } else {
      for (char letter : letters)
        operands.push_back(letter == 'f'   ? Word(b.FloatVar())
                           : letter == 's' ? Word(b.StringVar())
                           : letter == 'a' ? test::To("target")
                                           : Word(b.IntVar()));
      if (TakesTarget(row.number)) operands.push_back(test::To("target"));
    }
    b.Raw(row.number);
    for (const Word& w : operands) b.Raw(w);
    b.Raw(Word::Raw(0)).Label("target").Raw(Word::Raw(0));
    // A for's counter, limit, step and exit, for the fused next to step.
    if (row.number == kCmdNextStep)
      b.Label("for").Raw(b.IntVar()).Raw(b.IntConst(5)).Raw(b.IntConst(1)).Raw(test::To("target"));
    b.Function("function", 1, {});
    ASSERT_TRUE(b.Load());
    ResetRuntimeState();
    BeginProgramRun();
    Interpreter().gYieldFlag = 0;

    OperandWord* const command = Runtime().gCodeBase;
    OperandWord* const after = command + 1 + operands.size();
    OperandWord* const target = after + 1;
    Interpreter().gProgramCounter = command + 1;
    handler();
    const OperandWord* pc = Interpreter().gProgramCounter;
    if (own == kOwnRules.end()) {
      EXPECT_EQ(pc - command, after - command);
    } else {
      switch (own->second) {
        case Rule::kJumps: EXPECT_EQ(pc - command, target - command); break;
        case Rule::kJumpsOrSteps: EXPECT_TRUE(pc == target || pc == after) << pc - command; break;
        case Rule::kRerunsOrSteps: EXPECT_TRUE(pc == command || pc == after) << pc - command; break;
        case Rule::kCalls: EXPECT_EQ(pc - command, target + 3 - command); break;  // guard, number, then the body
        case Rule::kStepsItsFor: EXPECT_TRUE(pc == target + 5 || pc == after) << pc - command; break;
        case Rule::kEndsProgram: EXPECT_EQ(Interpreter().gErrorCode, kErrRanIntoFunction); break;
      }
    }
    ++checked;
    DrawQueueFlush();
    win::ClearMessageQueue();
    Interpreter().gErrorCode = Interpreter().gErrorWarningFlag = 0;
    FreeProgramImage();
  }
  EXPECT_GT(checked, 300);
}

}  // namespace
}  // namespace vx
