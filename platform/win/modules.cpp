// Loadable modules on top of the dynamic linker.
#include "platform/win/modules.h"

#include <dlfcn.h>

#include <cstring>
#include <string>

#include "platform/win/files.h"

namespace vx::win {

HMODULE LoadLibraryA(const char* fileName) {
  if (!fileName || !*fileName) return nullptr;
  // A bare name is left to the linker's search path; a path follows the file rules.
  const std::string name = std::strpbrk(fileName, "/\\") ? ResolvePath(fileName) : std::string(fileName);
  return dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
}

BOOL FreeLibrary(HMODULE module) {
  if (!module) return FALSE_;
  return dlclose(module) == 0 ? TRUE_ : FALSE_;
}

void* GetProcAddress(HMODULE module, const char* name) {
  if (!module || !name) return nullptr;
  return dlsym(module, name);
}

}  // namespace vx::win
