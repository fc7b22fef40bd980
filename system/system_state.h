// State of the system services that the runtime core reads or clears: loaded modules of the DLL
// commands, the window and focus switches of the window commands, the exit message, a started
// child process and the multiplayer layer's detail code.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "platform/win/types.h"

namespace vx {

struct SystemState {
  std::array<win::HMODULE, 256> gDllHandles{};  // modules of the DLL commands; slot 0 unused
  uint32_t gInternalErrorCode = 0;              // detail code shown in the error report
  uint32_t gAlwaysActive = 0;                   // focus changes neither pause nor release
  void* gChildProcess = nullptr;                // program started by the execute-file command
  uint32_t gExitMessageFlag = 0;                // show the exit message after the run
  std::string gExitMessageText;
  std::string gExitMessageCaption;

  uint32_t gEscapeEnabled = 1;  // Esc ends the program while 1

  // Window commands' state: windowed or full screen and the geometry the display uses.
  uint32_t gWindowMode = 0;  // 1 windowed, 0 full screen
  int32_t gWindowWidth = 640;
  int32_t gWindowHeight = 480;
  int32_t gWindowBorder = 0;
  int32_t gWindowCaption = 0;
  int32_t gWindowClientX = 0;
  int32_t gWindowClientY = 0;
  uint32_t gWindowStyle = 0x800A0000u;
  int32_t gWindowShowState = 1;
  std::string gWindowTitle = "Vorlix";
};
extern SystemState gSystemState;  // the one instance (system/system_state.cpp)
inline SystemState& System() { return gSystemState; }

void ResetWindowState();
// Closes the FTP connection (there is no FTP layer: nothing is ever open).
void DisconnectFtpHangUp();
// Deletes the multiplayer session (there is no multiplayer layer: there is never one).
void DeleteMultiplayerSession();
// The child process has ended: forget it.
void CloseEndedChildProcess();

}  // namespace vx
