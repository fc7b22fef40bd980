// Loadable modules (shared libraries) by file name.
#pragma once
#include "platform/win/types.h"

namespace vx::win {

HMODULE LoadLibraryA(const char* fileName);
BOOL FreeLibrary(HMODULE module);
void* GetProcAddress(HMODULE module, const char* name);
// The full path of a loaded module, null for the executable. A path that does not fit is cut to
// size - 1 characters and size is returned; 0 on failure. The buffer always ends with a NUL.
DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size);

}  // namespace vx::win
