// Files and folders with Windows semantics: either separator, and names matched without regard
// to case when the exact name does not exist.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/win/types.h"

namespace vx::win {

constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

// The name as this machine spells it: separators turned into '/', and each component that does
// not exist as written replaced by the one entry of its folder whose name matches ignoring case.
// Components that match nothing are kept as written.
std::string ResolvePath(const std::string& name);

// While one lives on a thread, a folder that names are looked up in without regard to case is
// read once and its names kept, so that many look-ups in one folder (the textures of a world or
// a model) cost one read of it. A write, delete, new folder or change of the current folder
// through this layer forgets what was kept. Scopes nest.
class FolderLookupScope {
 public:
  FolderLookupScope();
  ~FolderLookupScope();
  FolderLookupScope(const FolderLookupScope&) = delete;
  FolderLookupScope& operator=(const FolderLookupScope&) = delete;
};

// Test hook: how many times a folder has been read to look a name up in it.
uint64_t FolderReadsForTesting();

// True when the file exists and can be opened for reading.
bool CanOpenForReading(const std::string& name);
DWORD GetFileAttributesA(const char* name);
BOOL DeleteFileA(const char* name);
BOOL CreateDirectoryA(const char* name, void* securityAttributes);
BOOL GetCurrentDirectoryA(std::string* out);
BOOL SetCurrentDirectoryA(const char* name);

// Why ReadWholeFile gave nothing.
enum class ReadFailure { kNone, kCannotOpen, kNotAFile, kTooLarge };
// A regular file opened for blocking reads, or -1 with the reason in why when given: a FIFO, a
// device or a folder is refused at once, without waiting for a FIFO's writer.
int OpenRegularFile(const std::string& name, ReadFailure* why = nullptr);
// Whole-file helpers used by loaders. Only a regular file is read (a FIFO, a device or a folder
// is refused at once, so a read can neither block nor run for ever); nullopt when the file
// cannot be read or holds more than limit bytes, with the reason in why when given.
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& name, size_t limit = SIZE_MAX,
                                                  ReadFailure* why = nullptr);
// Writes through a temporary beside the target and renames it, so a failed write keeps the old file.
bool WriteWholeFile(const std::string& name, const void* data, size_t size);
// Test hook: while set, WriteWholeFile fails part-way through as on a full disk.
void SetWriteFailureForTesting(bool fail);

// The folder of the running executable, ending with '/'.
std::string ExecutableFolder();
// The full path of the running executable.
std::string ExecutablePath();
// The system folder that programs written for Windows ask for as the Windows folder. This system
// has none; "/etc", where the machine keeps its own settings, is the closest in spirit and exists
// everywhere. Returns its length; when the buffer is too small, the size it needs (with the NUL)
// and the buffer is left as it was.
UINT GetWindowsDirectoryA(char* buffer, UINT size);

}  // namespace vx::win
