// Loadable modules on top of the dynamic linker.
#include "platform/win/modules.h"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
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

DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size) {
  if (!buffer || size == 0) return 0;
  std::string path;
  if (module) {
    link_map* map = nullptr;
    if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || !map) return 0;
    path = map->l_name ? map->l_name : "";
  }
  if (path.empty()) path = ExecutablePath();  // the executable's own entry has no name
  if (path.empty()) return 0;
  const size_t kept = std::min<size_t>(path.size(), size - 1);
  std::memcpy(buffer, path.data(), kept);
  buffer[kept] = '\0';
  return kept < path.size() ? size : DWORD(kept);
}

}  // namespace vx::win
