// Attached files: the block that a standalone game carries at the end of its own executable (the
// compiled program and the project's media), and the lookups that let every loader open an
// attached file through a temporary copy of its bytes.
//
// Block layout, little-endian u32 throughout: entries of (name length counting the NUL, the name
// with its NUL, data size, data), a zero name length as end marker, and as the file's last word
// the offset at which the block begins.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "runtime/runtime_state.h"

namespace vx {

// Longest stored name length, terminating NUL included.
constexpr uint32_t kAttachedNameLimit = 256;

struct AttachedEntry {
  std::string name;   // as the builder wrote it (backslashes), folded to lower case
  size_t offset = 0;  // where the data begins inside the block copy
  uint32_t size = 0;  // data size in bytes
};

// The block held in memory and the entries found in it.
class AttachedFiles {
 public:
  AttachedFiles() = default;
  ~AttachedFiles();  // releases: the extracted temporary files go too
  AttachedFiles(const AttachedFiles&) = delete;
  AttachedFiles& operator=(const AttachedFiles&) = delete;

  // See LoadAttachedFiles; replaces whatever the object held.
  bool Load(const std::string& path);
  // The first entry with the name (matched as ResolveVirtualFile does), or null; extracts nothing.
  const AttachedEntry* FindEntry(const std::string& name) const;
  // The walk of ResolveVirtualFile, or of ResolveVirtualFileByName when baseNameOnly is set.
  bool Resolve(std::string& name, const std::string& ending, bool baseNameOnly);
  // Writes the entry's bytes to gTempFolder + "_virtual." + ending and remembers the file for the
  // release; an ending that is not plain letters and digits becomes "dat".
  bool Extract(const AttachedEntry& entry, std::string& outPath, const std::string& ending);
  // Deletes every temporary file extracted so far and forgets the block.
  void Release();

  const std::vector<AttachedEntry>& entries() const { return entries_; }
  // The entry's bytes; empty for an entry that does not lie in this block.
  std::span<const uint8_t> EntryData(const AttachedEntry& entry) const;

 private:
  std::vector<uint8_t> block_;               // the whole block, trailer included
  std::vector<AttachedEntry> entries_;       // in block order
  std::vector<std::string> extractedPaths_;  // temporary files to delete at the release
};

// Reads the block at the end of the file into gAttachedFiles. False when the file cannot be read
// or carries no block; a damaged block keeps the entries in front of the damage and still counts.
bool LoadAttachedFiles(const std::string& path);
// ResolveVirtualFile and ResolveVirtualFileByName (common/runtime_hooks.h) write an entry to
// gTempFolder + "_virtual." + ending, one temporary file per ending: a later lookup overwrites it.
// With ResolveVirtualFileByName a name that holds a folder never matches.
// Writes entry 0 (the compiled program) to gTempFolder + "_virtual.dat"; on success outPath
// becomes that path and the result is true, otherwise outPath is left alone.
bool ExtractProgramImage(std::string& outPath);
bool ExtractAttachedEntry(const AttachedEntry& entry, std::string& outPath, const std::string& ending);
// Deletes the extracted temporary files and forgets the block; gAttachedFiles itself stays.
void AttachedFilesRelease();

// Writes the bytes to path, replacing any old file; true only when every byte was written.
bool WriteBufferToFile(const std::string& path, const void* data, size_t size);

}  // namespace vx
