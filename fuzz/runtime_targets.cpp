// Fuzz targets of the runtime's readers: the program image loader, the attached-files block of a
// game, the compiler, a compiled program run headless within a budget of slices (a recovered fault
// in it aborts, so that libFuzzer keeps the input), and profile (settings) files.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "compiler/compiler.h"
#include "display/draw_queue.h"
#include "fuzz/fuzz_targets.h"
#include "ide/language.h"
#include "platform/win/keyboard.h"
#include "platform/win/messages.h"
#include "platform/win/profile.h"
#include "platform/win/time.h"
#include "runtime/attached_files.h"
#include "runtime/dispatcher.h"
#include "runtime/dispatcher_state.h"
#include "runtime/errors.h"
#include "runtime/flow.h"
#include "runtime/program_image.h"
#include "runtime/run_setup.h"
#include "runtime/runtime_state.h"
#include "surfaces/display_state.h"

namespace vx::fuzz {

namespace {

// A fuzzed program runs at most this many slices.
constexpr int kSliceBudget = 48;

// Each reading moves the clock on, so a slice ends after a bounded number of commands in
// time-slice mode.
win::DWORD gFuzzClock = 0;
win::DWORD FuzzClock() { return ++gFuzzClock; }
// The break key held ends every slice outside time-slice mode after its check interval.
int16_t BreakKeyHeld(int virtualKey) {
  return virtualKey == win::VK_F11 || virtualKey == win::VK_F12 ? int16_t(0x8000) : int16_t(0);
}

// A recovered fault is a crash, never an outcome: the run aborts where the error is raised.
void (*gRaiseError)(int32_t) = nullptr;
void AbortOnSevereException(int32_t n) {
  if (n == kErrSevereException) {
    std::fprintf(stderr, "compile_run: a fault was recovered (error %d, Severe Exception)\n", int(n));
    std::abort();
  }
  gRaiseError(n);
}

bool CompileInput(const uint8_t* data, size_t size, const std::string& output) {
  const std::string source = FuzzWorkFolder() + "main.vxa";
  WriteFuzzInput(source, data, size);
  ResetCompiler();
  const bool compiled = LoadCommandTable() == 1 && CompileFile(source, output) == 1;
  FreeCompilerTables();
  return compiled;
}

}  // namespace

void FuzzProgramImage(const uint8_t* data, size_t size) {
  LoadProgramImageFromBytes(data, size);
  FreeProgramImage();
}

void FuzzAttachedFiles(const uint8_t* data, size_t size) {
  const std::string path = FuzzWorkFolder() + "game";
  WriteFuzzInput(path, data, size);
  Runtime().gAttachedFiles = std::make_unique<AttachedFiles>();
  if (LoadAttachedFiles(path)) {
    std::string program;
    ExtractProgramImage(program);
    // Every entry is looked up by its own name and extracted, as the loaders of a game do.
    const std::vector<AttachedEntry> entries = Runtime().gAttachedFiles->entries();
    for (const AttachedEntry& entry : entries) {
      std::string name = entry.name;
      ResolveVirtualFile(name, VirtualFileEnding(entry.name));
      std::string baseName = entry.name;
      ResolveVirtualFileByName(baseName, "dat");
    }
  }
  AttachedFilesRelease();
  Runtime().gAttachedFiles.reset();
}

void FuzzCompiler(const uint8_t* data, size_t size) { CompileInput(data, size, FuzzWorkFolder() + "main.dat"); }

void FuzzCompileAndRun(const uint8_t* data, size_t size) {
  const std::string image = FuzzWorkFolder() + "main.dat";
  if (!CompileInput(data, size, image)) return;
  // The program runs in the work folder, so that the files it names by relative names land there.
  const std::filesystem::path started = std::filesystem::current_path();
  std::filesystem::current_path(FuzzWorkFolder());
  RegisterAllCommands();
  win::SetClockSource(FuzzClock);
  win::SetKeyStateSource(BreakKeyHeld);
  win::ClearMessageQueue();
  ResetErrorWordTable();
  Host().gAppActive = 1;
  Dispatcher().gDebugMode = Display().gTraceMode = Dispatcher().gRuntimeTestMode = 0;
  gRaiseError = gRuntimeHooks.raiseError;
  gRuntimeHooks.raiseError = AbortOnSevereException;
  if (LoadProgramImage(image)) {
    ResetRuntimeState();
    BeginProgramRun();
    Interpreter().gStandaloneFlag = 0;
    // Drawing is queued and never performed: no frame is prepared, so nothing a program names is
    // loaded or written by the queue.
    for (int slice = 0; slice < kSliceBudget && !win::QuitMessagePending(); ++slice) {
      ExecuteTimeSlice();
      DrawQueueFlush();
    }
  }
  gRuntimeHooks.raiseError = gRaiseError;
  DrawQueue().gDrawQueue.Destroy();
  ResetCallStack();
  FreeProgramImage();
  ResetRuntimeState();
  win::ClearMessageQueue();
  win::SetKeyStateSource(nullptr);
  win::SetClockSource(nullptr);
  Interpreter().gErrorCode = 0;
  std::filesystem::current_path(started);
}

void FuzzProfile(const uint8_t* data, size_t size) {
  const std::string path = FuzzWorkFolder() + "SETUP.INI";
  WriteFuzzInput(path, data, size);
  win::ReadProfileString("SETTINGS", "WINDOWMODE", "0", path);
  win::ReadProfileString("errors", "161", "", path);
  char small[8];
  win::GetPrivateProfileStringA("SETTINGS", "DEBUGMODE", "default", small, sizeof small, path.c_str());
  // Writing keeps the other lines: a key set, one deleted, a section deleted.
  win::WriteProfileString("SETTINGS", "WINDOWMODE", "1", path);
  win::WritePrivateProfileStringA("ERRORLOG", "STRINGOUTPUT", nullptr, path.c_str());
  win::WritePrivateProfileStringA("VORLIXLOOPMIDDLE", nullptr, nullptr, path.c_str());
  win::ReadProfileString("SETTINGS", "WINDOWMODE", "0", path);
}

}  // namespace vx::fuzz
