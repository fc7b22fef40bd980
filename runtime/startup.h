// Start-up and shut-down of a standalone game: folders, settings, window, attached files,
// subsystems, the program image, the display, the main loop and the ordered tear-down.
#pragma once
#include <string>

#include "platform/win/types.h"

namespace vx {

extern std::string gExternalEditor;  // outside editor from the settings, when it exists

// Runs the program attached to the executable; returns 0 in every case.
int WinMain(win::HINSTANCE instance, win::HINSTANCE previous, const char* commandLine, int showCommand);

void InitWorkFileNames(win::HINSTANCE instance);
void ReadSetupIni(int* fullScreen, int* windowed);
win::HWND CreateRuntimeWindow(win::HINSTANCE instance, int showCommand, win::DWORD style);
bool InitSubsystems(win::HINSTANCE instance, win::HWND window);
bool SetupDisplayForProgram(win::HWND window, int fullScreen, int windowed, int reinit);
void ResetDisplayDefaults();
void ShutdownEngine(int keep);
void ShutdownSubsystems();
void DestroyRuntimeWindow();
void DeleteTempWorkFiles();

}  // namespace vx
