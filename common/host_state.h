// The host program's state that every subsystem reads: the main window, whether the program runs
// or is paused, and the program and temporary folders. Start-up sets them (runtime/startup.cpp);
// the host's other state is the runtime's own (runtime/runtime_state.h).
#pragma once
#include <cstdint>
#include <string>

#include "platform/win/types.h"

namespace vx {

extern win::HWND gMainWindow;
extern uint32_t gAppActive;         // 0 pauses the program (PauseProgram in common/runtime_hooks.h)
extern std::string gProgramFolder;  // folder of the executable, ending with '/'
extern std::string gTempFolder;     // private temporary folder of this process, ending with '/'

}  // namespace vx
