// Programs of the image, sprite and memory block tests: a source text compiled, loaded and run
// frame by frame as the main loop runs it (the frame preparation, a time slice, the end of the
// frame with the sprites and the present), with a clock that moves on every reading. FrameWorld
// runs on a headless 640x480 screen of one page, whose back buffer holds the last frame as it was
// presented after a run; FlipFrameWorld on a real headless display with a flip chain.
#pragma once
#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <map>
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

// A program in a folder of its own, which is the current folder while it exists.
class ProgramFrames {
 public:
  ProgramFrames() {
    PrepareRuntime();
    win::GetCurrentDirectoryA(&savedFolder_);
    win::SetCurrentDirectoryA(dir_.path().c_str());
  }
  ~ProgramFrames() {
    win::SetCurrentDirectoryA(savedFolder_.c_str());
    win::SetClockSource(nullptr);
    DeleteTextFonts();
    FreeProgramImage();
  }

  const TempFolder& Folder() const { return dir_; }

  // Compiles the source; the program then starts from its first line at the next Run.
  ::testing::AssertionResult Load(const std::string& source) {
    const std::string path = dir_.Write("program.vxa", source), image = dir_.path() + "program.dat";
    ResetCompiler();
    if (LoadCommandTable() != 1) return ::testing::AssertionFailure() << "no command table";
    const int compiled = CompileFile(path, image);
    variables_.clear();
    // Integer variables of the main program, by name.
    const auto& integers = gCompiler.variables[0];
    for (size_t i = 0; i < integers.size(); ++i)
      if (integers[i].function == 0 && !integers[i].isArray) variables_[integers[i].name] = operands::kIntVar + int(i);
    FreeCompilerTables();
    if (compiled != 1)
      return ::testing::AssertionFailure() << gCompiler.resultMessage << " at line " << gCompiler.errorLine;
    if (!LoadProgramImage(image)) return ::testing::AssertionFailure() << "image refused";
    gFrameClock = 0;
    win::SetClockSource(FrameClock);
    win::ClearMessageQueue();
    ResetRuntimeState();
    BeginProgramRun();
    Interpreter().gErrorCode = Interpreter().gErrorWarningFlag = 0;
    return ::testing::AssertionSuccess();
  }

  // Runs frames until the program ends or the count is reached; true when it ended.
  static bool RunFrames(int frames = 2000) {
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
    ASSERT_TRUE(RunFrames()) << "the program did not end";
    ASSERT_EQ(Interpreter().gErrorCode, 0) << Runtime().gLastEngineError;
  }

  // An integer variable of the main program after a run.
  int32_t Int(const std::string& name) const {
    std::string lower = name;  // the language does not tell letter cases apart
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    const auto found = variables_.find(lower);
    EXPECT_NE(found, variables_.end()) << name;
    return found == variables_.end() ? INT32_MIN : IntAt(found->second);
  }

  // The error a program ends with, and whether it came as a warning.
  std::pair<int32_t, bool> ErrorOf(const std::string& source, int frames = 50) {
    EXPECT_TRUE(Load(source));
    EXPECT_TRUE(RunFrames(frames)) << source;
    return {Interpreter().gErrorCode, Interpreter().gErrorWarningFlag == 1};
  }

 private:
  TempFolder dir_;
  std::string savedFolder_;
  std::map<std::string, int> variables_;
};

// Pixels of the colour inside the rectangle (right and bottom excluded).
inline int CountColour(win::IDirectDrawSurface7* surface, uint32_t colour, int32_t left, int32_t top, int32_t right,
                       int32_t bottom) {
  int n = 0;
  for (int32_t y = top; y < bottom; ++y)
    for (int32_t x = left; x < right; ++x) n += ColourAt(surface, x, y) == colour;
  return n;
}

class FrameWorld : public BitmapWorld, protected ProgramFrames {
 protected:
  void SetUp() override { World(32, 640, 480); }

  const TempFolder& dir_ = Folder();
  static uint32_t At(int32_t x, int32_t y) { return ColourAt(Display().gBackBuffer, x, y); }
  static int Count(uint32_t colour, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return CountColour(Display().gBackBuffer, colour, left, top, right, bottom);
  }
};

class FlipFrameWorld : public RealDisplayTest, protected ProgramFrames {
 protected:
  void SetUp() override {
    RealDisplayTest::SetUp();
    ResetEngineRecords();  // as the display set-up of a run: image files load in the display's format
    ASSERT_EQ(Display().gFlipChain, 1u);
  }
};

}  // namespace vx::test
