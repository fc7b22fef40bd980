// The runtime's own state of the host program: the current directories, work files, the command
// line and the instance. The main window, the active flag and the program and temporary folders,
// which every subsystem reads, are in common/host_state.h.
#pragma once
#include <string>

#include "common/host_state.h"
#include "platform/win/types.h"

namespace vx {

extern std::string gStartDirectory;  // current directory at start-up
extern std::string gRunDirectory;    // current directory when the display set-up ended
extern std::string gWorkFile;        // temporary work files
extern std::string gWorkFile2;
extern std::string gSoundWorkFile;
extern std::string gCommandLine;     // the command line the program started with
extern win::HINSTANCE gInstance;
extern win::HWND gOwnerWindow;

}  // namespace vx
