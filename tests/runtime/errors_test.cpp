// The error box, soft errors and the run-time test report.
#include <gtest/gtest.h>

#include "ide/language.h"
#include "platform/win/clipboard.h"
#include "runtime/dispatcher_state.h"
#include "runtime/errors.h"
#include "runtime/program_image.h"
#include "tests/support/image_builder.h"
#include "tests/support/run_program.h"

namespace vx {
namespace {

using test::ImageBuilder;

class ErrorsTest : public ::testing::Test {
 protected:
  void SetUp() override { test::PrepareRuntime(); }
  void TearDown() override {
    Interpreter().gErrorCode = 0;
    Interpreter().gErrorWarningFlag = 0;
    Interpreter().gStandaloneFlag = 0;
    Dispatcher().gRuntimeTestMode = 0;
    Runtime().gLastEngineError[0] = '\0';
    SetCommandInfoLookup(nullptr);
    FreeProgramImage();
  }
  std::string BoxFor(int32_t code, bool warning = false) {
    Interpreter().gErrorCode = code;
    Interpreter().gErrorWarningFlag = warning ? 1 : 0;
    return FormatErrorMessage();
  }
};

TEST_F(ErrorsTest, BoxTextNamesKindTextAndEngineMessage) {
  EXPECT_EQ(BoxFor(kErrFileNotFound), "Runtime Error : ERROR 10.");
  EXPECT_EQ(BoxFor(kErrDisplayModeNotSet, true), "Runtime Warning : ERROR 52.");
  EXPECT_EQ(BoxFor(9999), "Runtime Error : .");
  EXPECT_EQ(BoxFor(kErrLanguageNotFound), "System Error : Language not found.");
  EngineErrorLog("Could not set the display mode");
  EXPECT_EQ(BoxFor(kErrDisplayModeNotSetAtStart), "System Error : ERROR 164. Could not set the display mode");
  Language().gErrorWordTable[10] = "Array too small";
  EXPECT_EQ(BoxFor(kErrFileNotFound), "Runtime Error : Array too small. Could not set the display mode");
}

TEST_F(ErrorsTest, SoftErrorEndsTheRunOnlyOutsideAStandaloneGame) {
  RaiseRuntimeError(kErrDisplayModeNotSet);
  EXPECT_EQ(Interpreter().gErrorCode, kErrDisplayModeNotSet);
  EXPECT_EQ(Interpreter().gErrorWarningFlag, 1);
  EXPECT_EQ(Interpreter().gYieldFlag, 1);

  Interpreter().gErrorCode = 0;
  Interpreter().gYieldFlag = 0;
  Interpreter().gStandaloneFlag = 1;
  RaiseRuntimeError(kErrDisplayModeNotSet);
  RaiseRuntimeWarning(kErrDivisionByZero);
  EXPECT_EQ(Interpreter().gErrorCode, 0);
  EXPECT_EQ(Interpreter().gYieldFlag, 0);

  RaiseRuntimeError(kErrArrayIndexOutOfRange);  // hard errors end a game too
  EXPECT_EQ(Interpreter().gErrorCode, kErrArrayIndexOutOfRange);
  EXPECT_EQ(Interpreter().gErrorWarningFlag, 0);
}

// A program whose line 12 runs into a function declaration; the words after the
// command word name an integer, a float and a string slot of the next command.
ImageBuilder ReportProgram() {
  ImageBuilder b;
  int i = b.IntConst(7);
  int f = b.FloatConst(2.5f);
  int s = b.StringConst("abc");
  b.Cmd(kCmdFunctionHead, {}, 12);
  b.Cmd(kCmdAssignInt, {i, f, s, test::Lit(3)}, 13);
  return b;
}

bool FakeTable(int32_t number, CommandInfo* out) {
  if (number != kCmdFunctionHead) return false;
  out->name = "function guard";
  out->parameters = "xlfs";
  return true;
}

TEST_F(ErrorsTest, RunTimeTestReportNamesLineCommandAndOperands) {
  Runtime().gErrorReport = "old";
  EXPECT_EQ(test::RunImage(ReportProgram()).errorCode, kErrRanIntoFunction);
  EXPECT_EQ(Runtime().gErrorReport, "old");  // only in run-time test mode

  ASSERT_TRUE(ReportProgram().Load());
  Dispatcher().gRuntimeTestMode = 1;
  test::RunLoaded();
  const std::string expected = "Line Number:12\nCommand Number:26\nInternal Error Code:0\nP2:7\nP3:2.5\nP4:abc\n";
  EXPECT_EQ(Runtime().gErrorReport, expected);
  EXPECT_EQ(win::ClipboardText(), expected);

  SetCommandInfoLookup(FakeTable);
  ASSERT_TRUE(ReportProgram().Load());
  test::RunLoaded();
  EXPECT_EQ(Runtime().gErrorReport, "Line Number:12\nCommand Number:26\nName:function guard\nP2:7\nP3:2.5\nP4:abc\n");
}

}  // namespace
}  // namespace vx
