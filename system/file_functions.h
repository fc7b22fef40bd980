// File tests used by loaders and commands: existence, deletion, path existence.
#pragma once
#include <string>

namespace vx {

// 1 when an attached file has the name or the file on disk can be opened for reading, else 0.
int FileExists(const std::string& name);
// 1 when FileExists found the file and it was deleted by the name as given, else 0.
int DeleteFileIfExists(const std::string& name);
// 1 when the file or folder exists, else 0.
int PathExists(const std::string& name);

}  // namespace vx
