// The host program's state that every subsystem reads: the main window, whether the program runs
// or is paused, and the program and temporary folders. Start-up sets them (runtime/startup.cpp);
// the host's other state is the runtime's own (runtime/runtime_state.h).
#pragma once
#include <cstdint>
#include <string>

#include "platform/win/types.h"

namespace vx {

struct HostState {
  win::HWND gMainWindow = nullptr;
  uint32_t gAppActive = 1;     // 0 pauses the program (PauseProgram in common/runtime_hooks.h)
  std::string gProgramFolder;  // folder of the executable, ending with '/'
  std::string gTempFolder;     // private temporary folder of this process, ending with '/'
};
extern HostState gHostState;  // the one instance (common/interpreter_state.cpp)
inline HostState& Host() { return gHostState; }

}  // namespace vx
