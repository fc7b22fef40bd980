// File tests used by loaders and commands: existence, deletion, path existence.
#pragma once
#include <string>

namespace vx {

// 1 when the file can be opened for reading (after the attached-files lookup), else 0.
int FileExists(const std::string& name);
// 1 when FileExists found the file and it was deleted by the name as given, else 0.
int DeleteFileIfExists(const std::string& name);
// 1 when the file or folder exists, else 0.
int PathExists(const std::string& name);

// Lookup of attached files: maps a name to the temporary file holding its bytes, or returns the
// name unchanged. Installed by the attached-files service when a game carries a block.
using VirtualFileResolver = std::string (*)(const std::string& name, const char* tempExtension);
void SetVirtualFileResolver(VirtualFileResolver resolver);

}  // namespace vx
