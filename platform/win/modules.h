// Loadable modules (shared libraries) by file name.
#pragma once
#include "platform/win/types.h"

namespace vx::win {

HMODULE LoadLibraryA(const char* fileName);
BOOL FreeLibrary(HMODULE module);
void* GetProcAddress(HMODULE module, const char* name);

}  // namespace vx::win
