// WinMain of a standalone game and the steps it takes, in order.
#include "runtime/startup.h"
#include "engine3d/engine_hooks.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string_view>
#include <vector>

#include "compiler/compiler.h"
#include "display/display.h"
#include "display/draw_queue.h"
#include "display/input_devices.h"
#include "display/mouse_pointer.h"
#include "display/text_fonts.h"
#include "display/video_playback.h"
#include "engine3d/engine_shutdown.h"
#include "engine3d/object_records.h"
#include "ide/language.h"
#include "platform/win/files.h"
#include "platform/win/profile.h"
#include "platform/win/quit_signals.h"
#include "platform/win/window.h"
#include "runtime/attached_files.h"
#include "runtime/dispatcher.h"
#include "runtime/dispatcher_state.h"
#include "runtime/errors.h"
#include "runtime/flow.h"
#include "runtime/main_loop.h"
#include "runtime/program_image.h"
#include "runtime/run_setup.h"
#include "runtime/runtime_services.h"
#include "runtime/runtime_state.h"
#include "runtime/subsystem_hooks.h"
#include "sound/sound_system.h"
#include "system/system_state.h"

namespace vx {

namespace {

constexpr const char* kClassName = "VXG";
constexpr win::DWORD kRuntimeWindowStyle = 0x800A0000u;
constexpr int kIconResource = 144;

std::string SetupIniPath() { return Host().gProgramFolder + "SETUP.INI"; }

std::string Setting(const char* key, const char* defaultValue) {
  return win::ReadProfileString("SETTINGS", key, defaultValue, SetupIniPath());
}

// A program image that the loader refuses ends the run with the error box, so that a damaged
// game says why it stopped instead of ending as if it had run.
bool LoadProgramImageOrSayWhy(const std::string& path) {
  if (LoadProgramImage(path)) return true;
  Interpreter().gErrorCode = kErrProgramNotLoaded;
  return false;
}

std::string gWorkFolderFailure;  // why no work folder could be made
std::string gMadeWorkFolder;     // the folder made here: the only one the clean-up removes

// The folders to make the private work folder in, in order: the one TMPDIR names, then the
// system's own. Tests name another in place of the system's, which as root cannot be refused.
std::vector<std::string> WorkFolderBases() {
  std::vector<std::string> bases;
  if (const char* named = std::getenv("TMPDIR"); named && *named) bases.emplace_back(named);
  const char* systemFolder = std::getenv("VX_TEST_SYSTEM_TEMP_FOLDER");
  bases.emplace_back(systemFolder && *systemFolder ? systemFolder : P_tmpdir);
  return bases;
}

// Run once, by the program's own end or by the end that does not wait for it (quit_signals.h).
void RemoveWorkFolder() {
  if (gMadeWorkFolder.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(gMadeWorkFolder, ignored);
  gMadeWorkFolder.clear();
}

// A private folder for this process's work files, removed at exit; empty when none could be made.
// Never a shared folder itself: the work files have fixed names that every running game uses.
std::string MakeTempFolder() {
  std::string tried;
  for (const std::string& base : WorkFolderBases()) {
    std::string pattern = base + "/vorlix-XXXXXX";
    if (mkdtemp(pattern.data())) {
      gMadeWorkFolder = pattern + "/";
      win::SetEndingCleanUp(RemoveWorkFolder);
      return gMadeWorkFolder;
    }
    tried += (tried.empty() ? "" : ", nor in ") + base + " (" + std::strerror(errno) + ")";
  }
  gWorkFolderFailure =
      "No private work folder could be made in " + tried + ": set TMPDIR to a folder that can be written";
  return {};
}

// Tests make one command take minutes, as a model that long to read does: it waits before it
// runs, and no signal cuts the wait short.
constexpr int kSlowCommandSeconds = 600;
CommandHandler gSlowCommandHandler = nullptr;

void RunSlowCommand() {
  timespec until{};
  clock_gettime(CLOCK_MONOTONIC, &until);
  until.tv_sec += kSlowCommandSeconds;
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
  gSlowCommandHandler();
}

void SlowCommandForTests() {
  const char* name = std::getenv("VX_TEST_SLOW_COMMAND");
  if (!name) return;
  for (size_t i = 0; i < kCommandRowCount; ++i) {
    const CommandRow& row = kCommandRows[i];
    if (row.name != std::string_view(name) || !(gSlowCommandHandler = HandlerOf(row.number))) continue;
    RegisterCommand(row.number, RunSlowCommand);
    return;
  }
}

}  // namespace

bool InitWorkFileNames(win::HINSTANCE) {
  win::GetCurrentDirectoryA(&Runtime().gStartDirectory);
  Host().gProgramFolder = win::ExecutableFolder();
  Host().gTempFolder = MakeTempFolder();
  if (Host().gTempFolder.empty()) return false;
  // Tests send a quit signal here, the first moment that leaves something for the clean-up.
  if (std::getenv("VX_TEST_TERM_AFTER_TEMP_FOLDER")) std::raise(SIGTERM);
  win::SetCurrentDirectoryA(Runtime().gStartDirectory.c_str());
  Runtime().gWorkFile = Host().gTempFolder + "workfile.tmp";
  Runtime().gWorkFile2 = Host().gTempFolder + "workfil2.tmp";
  Runtime().gSoundWorkFile = Host().gTempFolder + "workfile.wav";
  return true;
}

std::string WorkFolderFailure() { return gWorkFolderFailure; }

void ReadSetupIni(int* fullScreen, int* windowed) {
  Display().gBlitFlipMode = Setting("BLITFLIPMODE", "0") == "1" ? 1 : 0;
  Display().gBlitOverdraw = Setting("BLITOVERDRAW", "0") == "1" ? 2 : 1;
  const bool windowMode = Setting("WINDOWMODE", "0") == "1";
  *fullScreen = windowMode ? 0 : 1;
  *windowed = windowMode ? 1 : 0;
  const std::string editor = Setting("EXTERNALEDITOR", "");
  Runtime().gExternalEditor = editor.empty() ? std::string() : Host().gProgramFolder + editor;
  if (!editor.empty() && !win::CanOpenForReading(Runtime().gExternalEditor)) Runtime().gExternalEditor.clear();
  auto modeSwitch = [](const char* key, uint32_t& target) {
    if (Setting(key, "0") != "1") return;
    win::DeleteFileA(LogFilePath().c_str());
    target = 1;
  };
  modeSwitch("DEBUGMODE", Dispatcher().gDebugMode);
  modeSwitch("TRACEMODE", Display().gTraceMode);
  modeSwitch("RUNTIMETEST", Dispatcher().gRuntimeTestMode);
  const std::string language = Setting("TEXTLANGUAGE", "");
  if (!language.empty()) Language().gTextLanguage = language;
}

win::HWND CreateRuntimeWindow(win::HINSTANCE instance, int showCommand, win::DWORD style) {
  win::HWND window = win::CreateWindowExA(0, kClassName, "Vorlix", style, 0, 0, 640, 480, nullptr, instance);
  if (!window) {
    Interpreter().gErrorCode = kErrWindowNotCreated;
    if (const std::string why = win::DisplayFailure(); !why.empty()) LogEngineError(why);
    return nullptr;
  }
  CreateSystemFont();
  win::ShowWindow(window, showCommand);
  return window;
}

bool InitSubsystems(win::HINSTANCE instance, win::HWND window) {
  if (!InitInputDevices(instance, window)) {
    Interpreter().gErrorCode = kErrInputDevicesNotStarted;
    return false;
  }
  InitMusicSystem();
  InitSoundSystem(window);
  InitRecordPools();
  return true;
}

bool SetupDisplayForProgram(win::HWND window, int fullScreen, int windowed, int reinit) {
  // A player who leaves on the card screens ends the program before it starts.
  if (!reinit && !ChooseBestDisplayCard(window)) return false;
  SetFullScreen(fullScreen);
  Display().gScreenModeWidth = 640;
  Display().gScreenModeHeight = 480;
  Display().gScreenModeDepth = Display().gDisplayDepth = Display().gDisplay3DDepth;
  if (!reinit && !EnumerateDisplayCards(0, 1)) {
    Interpreter().gErrorCode = kErrDirectDrawNotCreated;
    return false;
  }
  if (windowed == 1) {
    win::MoveWindow(window, 0, 0, win::GetSystemMetrics(win::SM_CXSCREEN), win::GetSystemMetrics(win::SM_CYSCREEN), 1);
    win::ShowWindow(window, win::SW_SHOW);
  } else if (!reinit && !SetDisplayMode(640, 480, Display().gDisplay3DDepth)) {
    Interpreter().gErrorCode = kErrDisplayModeNotSetAtStart;
    return false;
  }
  ResetDisplayDefaults();
  if (!InitDisplayAndDevice(640, 480, 1)) {
    Interpreter().gErrorCode = kErrDisplaySurfacesOrDeviceNotCreated;
    return false;
  }
  win::ShowCursor(0);
  for (int i = 0; i < 2; ++i) {  // both buffers start black
    ClearBackBuffer();
    PresentFrame();
  }
  ResetEngineRecords();
  ResetKeyboardBuffer();
  Reset3DScene();
  LoadPointerBitmap();
  CreatePointerSprites();
  ResetRuntimeState();
  SetSoundDefaults();
  win::GetCurrentDirectoryA(&Runtime().gRunDirectory);
  AcquireInputDevices();
  return true;
}

void ShutdownEngine(int keep) {
  DisconnectFtpHangUp();
  UnacquireInputDevices();
  ResetDisplayDefaults();
  DeleteAllMusicSlots();
  DeleteAllSounds();
  DeleteAllAnimations();
  DeletePointerSprites();
  Shutdown3DEngine(keep);
  ResetCallStack();
  FreeProgramImage();
  win::SetCurrentDirectoryA(Runtime().gRunDirectory.c_str());
  ResetWindowToDefaults();
}

void ShutdownSubsystems() {
  FreeRecordPools();
  ReleaseDirectDrawObjects(0);
  ShutdownMusicSystem();
  ShutdownSoundSystem();
  ReleaseInputDevices();
}

void DestroyRuntimeWindow() {
  DestroyWindowAndFonts();
  Runtime().gOwnerWindow = nullptr;
}

void DeleteTempWorkFiles() {
  win::SetCurrentDirectoryA(Runtime().gStartDirectory.c_str());
  win::DeleteFileA(Runtime().gSoundWorkFile.c_str());
  win::RunEndingCleanUp();
}

bool BeginHost(win::HINSTANCE instance, const char* commandLine, int* fullScreen, int* windowed) {
  Runtime().gInstance = instance;
  Runtime().gCommandLine = commandLine ? commandLine : "";
  // A signal from here on ends the run through the clean-up that removes the work folder; an end
  // that cannot wait for the run's own clean-up removes it too.
  win::InstallQuitSignals();
  InstallRuntimeHooks();
  InstallEngineHooks();
  RegisterAllCommands();
  SlowCommandForTests();
  const win::WNDCLASSA windowClass{win::CS_HREDRAW | win::CS_VREDRAW, MainWindowProc, kIconResource, kClassName,
                                   kClassName};
  win::RegisterClassA(&windowClass);
  if (!InitWorkFileNames(instance)) return false;
  ReadSetupIni(fullScreen, windowed);
  ResetErrorWordTable();
  LoadLanguageSettings();
  return true;
}

bool RunProgram(win::HINSTANCE instance, int showCommand, int fullScreen, int windowed, bool standalone,
                ProgramSource source) {
  // A command may hold the run for minutes (a model that takes that long to read); a quit signal
  // does not wait for it. Compiling and building end in their own time: they write files.
  win::EndPromptlyOnQuit();
  if (win::QuitSignalled()) return true;  // asked to end before it began
  win::HWND window = CreateRuntimeWindow(instance, showCommand, kRuntimeWindowStyle);
  if (!window) return false;
  Host().gMainWindow = Runtime().gOwnerWindow = window;
  win::SetWindowTextA(window, win::ExecutablePath().c_str());
  Runtime().gAttachedFiles = std::make_unique<AttachedFiles>();
  // An exception in any of the steps ends the run with its error box; the shut-down still runs.
  RunCatchingExceptions([&] {
    std::string imagePath;
    if (source(imagePath) && InitSubsystems(instance, window) && LoadProgramImageOrSayWhy(imagePath) &&
        SetupDisplayForProgram(window, fullScreen, windowed, 0)) {
      Interpreter().gStandaloneFlag = standalone ? 1 : 0;
      RunMainLoop();
    }
  });
  AttachedFilesRelease();
  Runtime().gAttachedFiles.reset();
  RunCatchingExceptions([] { ShutdownEngine(0); });
  return true;
}

bool EndHost() {
  RunCatchingExceptions(ShutdownSubsystems);
  const bool errorBox = Interpreter().gErrorCode > 0;
  if (errorBox) {
    const std::string text = FormatErrorMessage();
    LogRuntimeError(text);
    win::ShowCursor(1);
    const std::string box = Runtime().gErrorPlace + text;
    if (Dispatcher().gRuntimeTestMode)
      win::MessageBoxA(Host().gMainWindow, Runtime().gErrorReport.c_str(), ("ERRORINFO: " + box).c_str(), win::MB_OK);
    else
      win::MessageBoxA(Host().gMainWindow, box.c_str(), "Error In Program", win::MB_ICONSTOP);
  }
  if (System().gExitMessageFlag == 1) {
    win::ShowCursor(1);
    win::MessageBoxA(Host().gMainWindow, System().gExitMessageText.c_str(), System().gExitMessageCaption.c_str(),
                     win::MB_OK);
  }
  DestroyRuntimeWindow();
  DeleteTempWorkFiles();
  return errorBox;
}

namespace {

// The word file that the builder attached names the errors, unless one stands beside the game.
void LoadAttachedWords() {
  std::string words = LanguageWordFileEntry();
  if (!win::CanOpenForReading(LanguageWordFilePath()) && ResolveVirtualFile(words, "txt"))
    LoadLanguageSettingsFrom(words);
}

}  // namespace

int WinMain(win::HINSTANCE instance, win::HINSTANCE, const char* commandLine, int showCommand) {
  int fullScreen = 1, windowed = 0;
  if (!BeginHost(instance, commandLine, &fullScreen, &windowed)) {
    win::MessageBoxA(nullptr, WorkFolderFailure().c_str(), "Vorlix", win::MB_ICONSTOP);
    return 1;
  }
  // The program is entry 0 of the block at the end of the executable.
  const bool ran = RunProgram(instance, showCommand, fullScreen, windowed, true, [](std::string& imagePath) {
    if (!LoadAttachedFiles(win::ExecutablePath()) || !ExtractProgramImage(imagePath)) return false;
    LoadAttachedWords();
    return true;
  });
  if (!ran) {  // no window, so the block was never read: its words still name the error
    Runtime().gAttachedFiles = std::make_unique<AttachedFiles>();
    if (LoadAttachedFiles(win::ExecutablePath())) LoadAttachedWords();
    AttachedFilesRelease();
    Runtime().gAttachedFiles.reset();
  }
  EndHost();
  return ran ? 0 : 1;
}

}  // namespace vx
