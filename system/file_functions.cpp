// File tests with the attached files in front of the file system.
#include "system/file_functions.h"

#include "common/runtime_hooks.h"
#include "platform/win/files.h"

namespace vx {

int FileExists(const std::string& name) {
  // The entry list answers on its own: extracting the bytes only to see that they exist would
  // cost a write and overwrite the temporary file another loader may still be reading.
  if (AttachedFileExists(name)) return 1;
  return win::CanOpenForReading(name) ? 1 : 0;
}

int DeleteFileIfExists(const std::string& name) {
  if (!FileExists(name)) return 0;
  return win::DeleteFileA(name.c_str()) ? 1 : 0;
}

int PathExists(const std::string& name) {
  return win::GetFileAttributesA(name.c_str()) != win::INVALID_FILE_ATTRIBUTES ? 1 : 0;
}

}  // namespace vx
