// State of the host program: folders, work files, the command line, the window and the settings
// switches that start-up reads.
#pragma once
#include <string>

#include "platform/win/types.h"

namespace vx {

extern std::string gProgramFolder;   // folder of the executable, ending with '/'
extern std::string gTempFolder;      // private temporary folder of this process, ending with '/'
extern std::string gStartDirectory;  // current directory at start-up
extern std::string gRunDirectory;    // current directory when the display set-up ended
extern std::string gWorkFile;        // temporary work files
extern std::string gWorkFile2;
extern std::string gSoundWorkFile;
extern std::string gCommandLine;     // the command line the program started with
extern win::HINSTANCE gInstance;
extern win::HWND gMainWindow;
extern win::HWND gOwnerWindow;

}  // namespace vx
