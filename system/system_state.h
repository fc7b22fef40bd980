// State of the system services that the runtime core reads or clears: loaded modules of the DLL
// commands, the window and focus switches of the window commands, the exit message, a started
// child process and the multiplayer layer's detail code.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "platform/win/types.h"

namespace vx {

extern std::array<win::HMODULE, 256> gDllHandles;  // modules of the DLL commands; slot 0 unused
extern uint32_t gInternalErrorCode;                // detail code shown in the error report
extern uint32_t gAlwaysActive;                     // focus changes neither pause nor release
extern void* gChildProcess;                        // program started by the execute-file command
extern uint32_t gExitMessageFlag;                  // show the exit message after the run
extern std::string gExitMessageText;
extern std::string gExitMessageCaption;

extern uint32_t gEscapeEnabled;                    // Esc ends the program while 1

// Window commands' state: windowed or full screen and the geometry the display uses.
extern uint32_t gWindowMode;        // 1 windowed, 0 full screen
extern int32_t gWindowWidth;
extern int32_t gWindowHeight;
extern int32_t gWindowBorder;
extern int32_t gWindowCaption;
extern int32_t gWindowClientX;
extern int32_t gWindowClientY;
extern uint32_t gWindowStyle;
extern int32_t gWindowShowState;
extern std::string gWindowTitle;

// Returns the window values to full screen.
void ResetWindowState();
// Closes the FTP connection (there is no FTP layer: nothing is ever open).
void DisconnectFtpHangUp();
// Deletes the multiplayer session (there is no multiplayer layer: there is never one).
void DeleteMultiplayerSession();
// The child process has ended: forget it.
void CloseEndedChildProcess();

}  // namespace vx
