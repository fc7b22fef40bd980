// Definitions of the host program's state.
#include "runtime/runtime_state.h"

namespace vx {

std::string gStartDirectory;
std::string gRunDirectory;
std::string gWorkFile;
std::string gWorkFile2;
std::string gSoundWorkFile;
std::string gCommandLine;
win::HINSTANCE gInstance = nullptr;
win::HWND gOwnerWindow = nullptr;

}  // namespace vx
