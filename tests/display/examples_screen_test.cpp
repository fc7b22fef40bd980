// The examples that draw: each is compiled and run frame by frame on a headless 640x480 screen,
// as the main loop runs it, with a clock that moves on every reading; what it drew is read back.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "compiler/compiler.h"
#include "display/text_fonts.h"
#include "platform/win/files.h"
#include "platform/win/time.h"
#include "runtime/dispatcher.h"
#include "runtime/program_image.h"
#include "runtime/run_setup.h"
#include "tests/display/bitmap_test_support.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

uint32_t gClock = 0;
uint32_t MovingClock() { return gClock++; }

class ExampleScreenTest : public test::BitmapWorld {
 protected:
  void TearDown() override {
    win::SetCurrentDirectoryA(saved_.c_str());
    win::SetClockSource(nullptr);
    DeleteTextFonts();
    FreeProgramImage();
    BitmapWorld::TearDown();
  }

  // Runs the example to its end; the screen then holds its last picture.
  void RunExample(const std::string& name) {
    test::PrepareRuntime();
    World(32, 640, 480);
    const std::string image = dir_.path() + "example.dat";
    ResetCompiler();
    ASSERT_EQ(LoadCommandTable(), 1);
    const fs::path source = fs::path(VX_SOURCE_DIR) / "examples" / name;
    const int compiled = CompileFile(source.string(), image);
    FreeCompilerTables();
    ASSERT_EQ(compiled, 1) << gCompiler.resultMessage << " at line " << gCompiler.errorLine;
    ASSERT_TRUE(LoadProgramImage(image));
    win::GetCurrentDirectoryA(&saved_);
    win::SetCurrentDirectoryA(source.parent_path().string().c_str());  // files beside the program
    gClock = 0;
    win::SetClockSource(MovingClock);
    ResetRuntimeState();
    BeginProgramRun();
    int frames = 0;
    while (frames < 5000 && !win::QuitMessagePending()) {
      DrawQueueExecute();
      ExecuteTimeSlice();
      ++frames;
    }
    ASSERT_TRUE(win::QuitMessagePending()) << name << " did not end";
    EXPECT_EQ(Interpreter().gErrorCode, 0);
  }

  // Pixels of the colour inside the rectangle.
  static int Count(uint32_t colour, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    int n = 0;
    for (int32_t y = top; y < bottom; ++y)
      for (int32_t x = left; x < right; ++x) n += test::ColourAt(Display().gBackBuffer, x, y) == colour;
    return n;
  }
  static uint32_t At(int32_t x, int32_t y) { return test::ColourAt(Display().gBackBuffer, x, y); }

  test::TempFolder dir_;
  std::string saved_;
};

TEST_F(ExampleScreenTest, ShapesDrawsABoxRoundShapesLinesAndReadsTheBoxBack) {
  RunExample("shapes.vxa");
  const uint32_t sky = 0x000040, gold = 0xFFC800, cyan = 0x00C8FF;
  EXPECT_EQ(Count(gold, 20, 20, 141, 101), 121 * 81) << "the box, corners included";
  EXPECT_EQ(At(19, 60), sky);
  EXPECT_EQ(At(141, 60), sky);
  EXPECT_GT(Count(cyan, 195, 15, 285, 105), 200) << "the circle's outline";
  EXPECT_EQ(At(240, 60), sky) << "the circle is not filled";
  EXPECT_GT(Count(cyan, 325, 25, 475, 95), 300) << "the ellipse";
  EXPECT_EQ(At(20, 140), 0xFFFFFFu) << "the first line starts at its point";
  EXPECT_EQ(At(192, 320), 0x00FF80u);
  EXPECT_EQ(At(447, 320), 0xFF0080u);
  EXPECT_GT(Count(0xFFFFFF, 0, 340, 640, 380), 100) << "the printed colour";
}

TEST_F(ExampleScreenTest, TextPrintsAndDrawsInChosenFonts) {
  RunExample("text.vxa");
  EXPECT_GT(Count(0xFFFFFF, 0, 0, 640, 40), 200) << "printed lines at the top";
  EXPECT_GT(Count(0xFFDC00, 240, 90, 400, 140), 200) << "the centred title";
  EXPECT_EQ(Count(0xFFDC00, 0, 90, 240, 140) + Count(0xFFDC00, 400, 90, 640, 140), 0);
  EXPECT_GT(Count(0xA0C8FF, 20, 165, 320, 195), 50) << "the italic line";
  EXPECT_GT(Count(0xC8C8C8, 20, 205, 320, 235), 500) << "the opaque background";
}

TEST_F(ExampleScreenTest, PictureCopiesStretchesMirrorsAndFadesTheBall) {
  RunExample("picture.vxa");
  EXPECT_EQ(Display().gBitmapInfo[1].width, 64u);
  // Ball 1 at 20,20 as loaded; ball 3 at 290,20 mirrored; ball 2 at 120,20 doubled.
  for (int32_t y = 0; y < 64; y += 7)
    for (int32_t x = 0; x < 64; x += 5) {
      EXPECT_EQ(At(290 + x, 20 + y), At(20 + 63 - x, 20 + y)) << x << "," << y;
      EXPECT_EQ(At(120 + 2 * x, 20 + 2 * y), At(20 + x, 20 + y)) << x << "," << y;
    }
  const uint32_t bright = At(20 + 16, 20 + 24), faded = At(400 + 63 - 16, 20 + 24);
  EXPECT_NE(bright, 0u);
  EXPECT_LT((faded >> 16) & 0xFF, (bright >> 16) & 0xFF) << "the faded copy is darker";
}

TEST_F(ExampleScreenTest, WelcomeShowsTheTitleTheBallsAndTheShapes) {
  RunExample("welcome.vxa");
  EXPECT_GT(Count(0xFFDC00, 100, 20, 540, 80), 500) << "the title";
  for (int32_t i = 0; i < 5; ++i) {
    const int32_t size = 32 + i * 16, x = 40 + i * 120;
    EXPECT_NE(At(x + size / 2, 120 + size / 2), 0u) << "ball " << i;
  }
  EXPECT_EQ(Count(0x00C8FF, 40, 250, 601, 255), 561 * 5) << "the bar";
  EXPECT_GT(Count(0xFFFFFF, 200, 430, 440, 470), 50) << "the last line";
}

}  // namespace
}  // namespace vx
