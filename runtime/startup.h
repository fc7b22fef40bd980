// Start-up and shut-down of a standalone game: folders, settings, window, attached files,
// subsystems, the program image, the display, the main loop and the ordered tear-down.
#pragma once
#include <string>

#include "platform/win/types.h"
#include "runtime/runtime_state.h"

namespace vx {

// Runs the program attached to the executable; returns 0, or 1 when it got no work folder or no
// window to run in.
int WinMain(win::HINSTANCE instance, win::HINSTANCE previous, const char* commandLine, int showCommand);

// The steps of WinMain, also used to run a program compiled by the author's tool:
// folders, settings and error texts; then the window, subsystems, image, display and main loop
// for the image that source provides (false when it provides none); then the tear-down, which
// shows the error box and returns whether there was one. BeginHost is false when no work folder
// could be made (WorkFolderFailure says why); nothing may run then.
using ProgramSource = bool (*)(std::string& imagePath);
bool BeginHost(win::HINSTANCE instance, const char* commandLine, int* fullScreen, int* windowed);
bool RunProgram(win::HINSTANCE instance, int showCommand, int fullScreen, int windowed, bool standalone,
                ProgramSource source);
bool EndHost();

bool InitWorkFileNames(win::HINSTANCE instance);
std::string WorkFolderFailure();
void ReadSetupIni(int* fullScreen, int* windowed);
win::HWND CreateRuntimeWindow(win::HINSTANCE instance, int showCommand, win::DWORD style);
bool InitSubsystems(win::HINSTANCE instance, win::HWND window);
bool SetupDisplayForProgram(win::HWND window, int fullScreen, int windowed, int reinit);
void ShutdownEngine(int keep);
void ShutdownSubsystems();
void DestroyRuntimeWindow();
void DeleteTempWorkFiles();

}  // namespace vx
