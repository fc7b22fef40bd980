// The display commands run as compiled programs on a headless display whose driver offers a known
// set of modes: the modes listed into the checklist, set, queried and tested for, each error of a
// bad mode or a display that cannot be made, and the display card chosen by name.
#include "common/checklist.h"
#include "tests/compiler/compile_support.h"
#include "tests/display/bitmap_test_support.h"

namespace vx {
namespace {

using namespace win;

constexpr const char* kSecondCard = "Vorlix Second Card";

class DisplayCommandsTest : public test::CompileTest {
 protected:
  void SetUp() override {
    CompileTest::SetUp();
    test::PrepareHeadlessDisplay("VXMODES", 320, 240);
    DisplayDriverInfo primary;
    primary.description = kPrimaryCardName;
    primary.name = "display";
    primary.modes = {{640, 480, 8},  {640, 480, 16}, {640, 480, 32}, {800, 600, 16},
                     {800, 600, 32}, {1024, 768, 8}, {1024, 768, 24}};
    SetDisplayDrivers({primary});
    Display().gRenderEnabled = 1;
    Display().gChosenCardName.clear();
    ASSERT_TRUE(EnumerateDisplayCards(0, 1) && SetDisplayMode(640, 480, 16) && InitDisplayAndDevice(640, 480, 1))
        << Runtime().gLastEngineError;
    ResetDrawTarget();
    Display().gScreenModeWidth = 640;
    Display().gScreenModeHeight = 480;
    Display().gScreenModeDepth = Display().gDisplayDepth = 16;
  }
  void TearDown() override {
    DrawQueueFlush();
    DrawQueue().gDrawQueue.Destroy();
    test::ReleaseHeadlessDisplay();
    Display().gChosenCardName.clear();
    Display().gFullScreen = 1;
    Interpreter().gErrorCode = Interpreter().gErrorWarningFlag = 0;
    CompileTest::TearDown();
  }

  test::RunResult RunProgram(const std::string& source, bool standalone = false) {
    if (!Compile(source)) {
      ADD_FAILURE() << "compile failed: " << Message() << " at line " << Line();
      return {};
    }
    test::PrepareRuntime();
    if (!LoadProgramImage(output)) {
      ADD_FAILURE() << "the image was refused";
      return {};
    }
    return test::RunLoaded(100, standalone);
  }
  static std::string Text(const std::string& name) { return test::TextAt(Operand(name)); }
};

TEST_F(DisplayCommandsTest, ModesAreListedSetQueriedAndTestedFor) {
  Display().gFrameRate = 42;
  const test::RunResult run = RunProgram(
      "perform checklist for display modes\n"
      "n = checklist quantity()\n"
      "first$ = checklist string$(1)\n"
      "last$ = checklist string$(5)\n"
      "a = checklist value a(5)\n"
      "b = checklist value b(5)\n"
      "c = checklist value c(5)\n"
      "there = display mode exists(800, 600, 32)\n"
      "missing = display mode exists(800, 600, 24)\n"
      "w0 = screen width()\n"
      "d0 = screen depth()\n"
      "fresh = screen invalid()\n"
      "fps = screen fps()\n"
      "set display mode 800, 600, 32\n"
      "w = screen width()\n"
      "h = screen height()\n"
      "d = screen depth()\n"
      "remade = screen invalid()\n"
      "again = screen invalid()\n"
      "video = screen in video memory()\n"
      "emulation on\n"
      "emulated = screen in video memory()\n"
      "end\n");
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.errorCode, 0) << run.errorText;
  EXPECT_EQ(Checklist().gChecklistFilled, 1);
  EXPECT_EQ(Int("n"), 5) << "the two 8-bit modes are left out";
  EXPECT_EQ(Text("first$"), "640x480x16");
  EXPECT_EQ(Text("last$"), "1024x768x24");
  EXPECT_EQ(Int("a"), 1024);
  EXPECT_EQ(Int("b"), 768);
  EXPECT_EQ(Int("c"), 24);
  EXPECT_EQ(Int("there"), 1);
  EXPECT_EQ(Int("missing"), 0);
  EXPECT_EQ(Int("w0"), 640);
  EXPECT_EQ(Int("d0"), 16);
  EXPECT_EQ(Int("fresh"), 0);
  EXPECT_EQ(Int("w"), 800);
  EXPECT_EQ(Int("h"), 600);
  EXPECT_EQ(Int("d"), 32);
  EXPECT_EQ(Int("remade"), 1);
  EXPECT_EQ(Int("again"), 0);
  EXPECT_EQ(Int("video"), 1);
  EXPECT_EQ(Int("fps"), 42);
  EXPECT_EQ(Int("emulated"), 0);
  ASSERT_NE(Display().gBackBuffer, nullptr);
  EXPECT_EQ(Display().gBackBuffer->Width(), 800u);
  EXPECT_EQ(Display().gBackBufferBitCount, 32);
}

// What a run did to the display is news to that run only: the next starts with the screen valid.
TEST_F(DisplayCommandsTest, ARunStartsWithTheScreenValidWhateverTheRunBeforeDid) {
  ASSERT_TRUE(RunProgram("set display mode 800, 600, 32\nend\n").ended);
  const test::RunResult run = RunProgram("fresh = screen invalid()\nend\n");
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(Int("fresh"), 0);
}

TEST_F(DisplayCommandsTest, EachErrorOfABadModeOrADisplayThatCannotBeMade) {
  struct Case {
    const char* what;
    const char* line;
    int32_t error;
    bool warning;
    void (*fault)();
  };
  const Case cases[] = {
      {"depth 15", "set display mode 640, 480, 15", kErrDisplayDepthInvalid, false, nullptr},
      {"depth 0 before a bad size", "set display mode 0, 0, 0", kErrDisplayDepthInvalid, false, nullptr},
      {"width 0", "set display mode 0, 480, 16", kErrDisplaySizeBelowOne, false, nullptr},
      {"exists at depth 15", "x = display mode exists(640, 480, 15)", kErrDisplayDepthInvalid, false, nullptr},
      {"exists with height -1", "x = display mode exists(640, -1, 16)", kErrDisplaySizeBelowOne, false, nullptr},
      {"a mode the driver lacks", "set display mode 123, 77, 16", kErrDisplayModeNotSet, true, nullptr},
      {"surfaces that cannot be made", "set display mode 800, 600, 32", kErrDisplaySurfacesNotCreated, true,
       [] { FailSurfaceCreations(2, DDERR_OUTOFMEMORY, DDSCAPS_ZBUFFER); }},
      {"no DirectDraw", "set display mode 800, 600, 32", kErrDirectDrawNotCreated, false,
       [] { SetDirectDrawCreationFailure(DDERR_GENERIC); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.fault) c.fault();
    const test::RunResult run = RunProgram(std::string(c.line) + "\nend\n");
    EXPECT_EQ(run.errorCode, c.error) << run.errorText;
    EXPECT_EQ(run.warning, c.warning);
    ResetDisplayFaults();
    SetDisplayDrivers(CurrentDisplayDrivers());
    if (!Display().gBackBuffer) {  // the display went with DirectDraw: make it again for the next case
      ReleaseDirectDrawObjects(0);
      ASSERT_TRUE(EnumerateDisplayCards(0, 1) && InitDisplayAndDevice(640, 480, 1));
    }
  }
}

TEST_F(DisplayCommandsTest, AModeThatDoesNotStandKeepsTheOldOneInAGame) {
  for (const bool surfacesFail : {false, true}) {
    SCOPED_TRACE(surfacesFail ? "surfaces fail" : "no such mode");
    if (surfacesFail) FailSurfaceCreations(2, DDERR_OUTOFMEMORY, DDSCAPS_ZBUFFER);
    const test::RunResult run =
        RunProgram(std::string(surfacesFail ? "set display mode 800, 600, 32\n" : "set display mode 123, 77, 24\n") +
                       "w = screen width()\n"
                       "d = screen depth()\n"
                       "end\n",
                   true);
    EXPECT_TRUE(run.ended);
    EXPECT_EQ(run.errorCode, 0) << "a game goes on past the warning";
    EXPECT_EQ(Int("w"), 640);
    EXPECT_EQ(Int("d"), 16);
    ASSERT_NE(Display().gBackBuffer, nullptr);
    EXPECT_EQ(Display().gBackBuffer->Width(), 640u);
    EXPECT_EQ(Display().gDisplayDepth, 16);
  }
}

TEST_F(DisplayCommandsTest, TheDisplayCardIsChosenByNameInAnyCase) {
  DisplayDriverInfo second;
  second.description = kSecondCard;
  second.name = "second";
  const GUID secondGuid = AddDisplayDriver(second);

  test::RunResult run = RunProgram("set display card \"VORLIX second CARD\"\nend\n");
  EXPECT_EQ(run.errorCode, 0) << run.errorText;
  ASSERT_NE(Display().gDirectDraw, nullptr);
  EXPECT_EQ(Display().gDirectDraw->DriverGuid(), secondGuid);
  EXPECT_NE(Display().gBackBuffer, nullptr);

  run = RunProgram("set display card \"primary display driver\"\nend\n");
  EXPECT_EQ(run.errorCode, 0) << run.errorText;
  EXPECT_EQ(Display().gDirectDraw->DriverGuid(), GUID{});

  run = RunProgram("set display card \"A Card Taken Out\"\nend\n");
  EXPECT_EQ(run.errorCode, kErrDisplayCardNotChosen);
  EXPECT_TRUE(run.warning);
  EXPECT_EQ(Display().gDirectDraw->DriverGuid(), GUID{}) << "the primary card stands in";

  // A window is always on the primary card.
  Display().gFullScreen = 0;
  run = RunProgram("set display card \"" + std::string(kSecondCard) + "\"\nend\n");
  EXPECT_EQ(run.errorCode, kErrDisplayCardNotChosen);
  EXPECT_EQ(Display().gDirectDraw->DriverGuid(), GUID{});
}

}  // namespace
}  // namespace vx
