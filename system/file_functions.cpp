// File tests with the attached-files lookup in front of the file system.
#include "system/file_functions.h"

#include "platform/win/files.h"

namespace vx {

namespace {
VirtualFileResolver gResolver = nullptr;
}

void SetVirtualFileResolver(VirtualFileResolver resolver) { gResolver = resolver; }

int FileExists(const std::string& name) {
  std::string path = name.substr(0, 255);
  if (gResolver) path = gResolver(path, "dat");
  return win::CanOpenForReading(path) ? 1 : 0;
}

int DeleteFileIfExists(const std::string& name) {
  if (!FileExists(name)) return 0;
  return win::DeleteFileA(name.c_str()) ? 1 : 0;
}

int PathExists(const std::string& name) {
  return win::GetFileAttributesA(name.c_str()) != win::INVALID_FILE_ATTRIBUTES ? 1 : 0;
}

}  // namespace vx
