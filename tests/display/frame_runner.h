// Programs of the image, sprite and memory block tests: a source text compiled, loaded and run
// frame by frame on a headless 640x480 screen of one page, as the main loop runs it (the frame
// preparation, a time slice, the end of the frame with the sprites), with a clock that moves on
// every reading. After a run the back buffer holds the last frame as it was presented.
#pragma once
#include <gtest/gtest.h>

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

namespace vx::test {

inline uint32_t gFrameClock = 0;
inline uint32_t FrameClock() { return gFrameClock++; }

class FrameWorld : public BitmapWorld {
 protected:
  void SetUp() override {
    PrepareRuntime();
    World(32, 640, 480);
    win::GetCurrentDirectoryA(&savedFolder_);
    win::SetCurrentDirectoryA(dir_.path().c_str());  // the program's files are beside it
  }
  void TearDown() override {
    win::SetCurrentDirectoryA(savedFolder_.c_str());
    win::SetClockSource(nullptr);
    DeleteTextFonts();
    FreeProgramImage();
    BitmapWorld::TearDown();
  }

  // Compiles the source; the program then starts from its first line at the next Run.
  ::testing::AssertionResult Load(const std::string& source) {
    const std::string path = dir_.Write("program.vxa", source), image = dir_.path() + "program.dat";
    ResetCompiler();
    if (LoadCommandTable() != 1) return ::testing::AssertionFailure() << "no command table";
    const int compiled = CompileFile(path, image);
    FreeCompilerTables();
    if (compiled != 1)
      return ::testing::AssertionFailure() << gCompiler.resultMessage << " at line " << gCompiler.errorLine;
    if (!LoadProgramImage(image)) return ::testing::AssertionFailure() << "image refused";
    gFrameClock = 0;
    win::SetClockSource(FrameClock);
    win::ClearMessageQueue();
    ResetRuntimeState();
    BeginProgramRun();
    gErrorCode = gErrorWarningFlag = 0;
    return ::testing::AssertionSuccess();
  }

  // Runs frames until the program ends or the count is reached; true when it ended.
  bool Run(int frames = 2000) {
    for (int i = 0; i < frames; ++i) {
      RenderFrame();
      ExecuteTimeSlice();
      FrameUpdate();
      if (win::QuitMessagePending()) return true;
    }
    return false;
  }

  // Runs the source to its end without an error.
  void RunProgram(const std::string& source) {
    ASSERT_TRUE(Load(source));
    ASSERT_TRUE(Run()) << "the program did not end";
    ASSERT_EQ(gErrorCode, 0) << gLastEngineError;
  }

  static uint32_t At(int32_t x, int32_t y) { return ColourAt(gBackBuffer, x, y); }
  // Pixels of the colour inside the rectangle (right and bottom excluded).
  static int Count(uint32_t colour, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    int n = 0;
    for (int32_t y = top; y < bottom; ++y)
      for (int32_t x = left; x < right; ++x) n += At(x, y) == colour;
    return n;
  }

  TempFolder dir_;
  std::string savedFolder_;
};

}  // namespace vx::test
