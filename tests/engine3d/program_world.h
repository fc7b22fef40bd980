// A BASIC program compiled and run on the headless engine world the way the main loop runs it:
// each frame draws the scene, runs one time slice and ends with the end-of-frame work (animation,
// presentation, screen saves), on a clock that moves on every reading. The program's folder is the
// test's own and its current folder while it runs.
#pragma once
#include <map>
#include <string>

#include "common/host_state.h"
#include "compiler/compiler.h"
#include "engine3d/animation.h"
#include "platform/win/files.h"
#include "platform/win/messages.h"
#include "platform/win/time.h"
#include "runtime/dispatcher.h"
#include "runtime/main_loop.h"
#include "runtime/program_image.h"
#include "runtime/run_setup.h"
#include "tests/engine3d/engine_world.h"
#include "tests/support/run_program.h"

namespace vx::test {

// Whether the device fills triangles; one that only records them draws no pictures to probe.
#if __has_include("platform/d3d/raster.h")
constexpr bool kDeviceFills = true;
#else
constexpr bool kDeviceFills = false;
#endif

class ProgramWorld : public EngineWorld {
 protected:
  void TearDown() override {
    if (!saved_.empty()) win::SetCurrentDirectoryA(saved_.c_str());
    win::SetClockSource(nullptr);
    FreeProgramImage();
    EngineWorld::TearDown();
  }

  static uint32_t MovingClock() {
    static uint32_t clock = 0;
    return clock += 7;
  }

  // Compiles the source in the test's folder and starts it there; false (with a failure) when it
  // does not compile.
  bool Start(const std::string& source) { return StartFile(folder_.Write("program.vxa", source), folder_.path()); }

  // Compiles a source file and starts it with `folder` as the current folder.
  bool StartFile(const std::string& file, const std::string& folder) {
    PrepareRuntime();
    ResetCompiler();
    if (LoadCommandTable() != 1) {
      ADD_FAILURE() << "no command table";
      return false;
    }
    const std::string image = folder_.path() + "program.dat";
    const int compiled = CompileFile(file, image);
    // Variables of the main program by name, with their "#" or "$": integers, floats, texts.
    variables_.clear();
    for (int group = 0; group < 3; ++group) {
      const auto& table = gCompiler.variables[size_t(group)];
      for (size_t i = 0; i < table.size(); ++i)
        if (table[i].function == 0 && !table[i].isArray)
          variables_[table[i].name] = operands::kIntVar + operands::kPerKind * group + int(i);
    }
    FreeCompilerTables();
    if (compiled != 1) {
      ADD_FAILURE() << gCompiler.resultMessage << " at line " << gCompiler.errorLine;
      return false;
    }
    if (!LoadProgramImage(image)) {
      ADD_FAILURE() << "image not loaded";
      return false;
    }
    win::GetCurrentDirectoryA(&saved_);
    win::SetCurrentDirectoryA(folder.c_str());
    win::SetClockSource(MovingClock);
    Host().gAppActive = 1;
    ResetRuntimeState();
    BeginProgramRun();
    return true;
  }

  // Frames as the main loop runs them, until the program ends.
  static void Frames(int count) {
    for (int i = 0; i < count && !win::QuitMessagePending(); ++i) RunFrame();
  }

  // Runs the source to its end (or for `frames` frames); the runtime error it ended with, 0 none.
  int32_t Run(const std::string& source, int frames = 200) {
    if (!Start(source)) return -1;
    Frames(frames);
    return Interpreter().gErrorCode;
  }

  // A variable of the main program after a run (names in lower case).
  int32_t Int(const std::string& name) const { return IntAt(VariableOperand(name)); }
  float Float(const std::string& name) const { return FloatAt(VariableOperand(name)); }
  std::string Text(const std::string& name) const { return TextAt(VariableOperand(name)); }

  std::string saved_;

 private:
  int VariableOperand(const std::string& name) const {
    const auto found = variables_.find(name);
    if (found != variables_.end()) return found->second;
    ADD_FAILURE() << "no variable " << name;
    return operands::kIntVar;
  }
  std::map<std::string, int> variables_;
};

}  // namespace vx::test
