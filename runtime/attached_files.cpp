// Attached files: reads the block at the end of the executable once, keeps it in memory and
// writes an entry's bytes to a temporary file whenever a loader asks for it by name. The block
// comes from a file we did not necessarily write (a plain runtime has none, a copied game may be
// cut short), so every length in it is checked before it is used.
#include "runtime/attached_files.h"

#include <algorithm>
#include <cstring>

#include "common/le_words.h"
#include "common/runtime_hooks.h"
#include "platform/win/files.h"
#include "runtime/runtime_state.h"

namespace vx {

namespace {

constexpr size_t kTailSize = 8;  // end marker and trailer

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), LowerAscii);
  return text;
}

// A requested name in the spelling of the entries: lower case, backslashes.
std::string EntrySpelling(const std::string& name) {
  std::string folded = Lower(name);
  std::replace(folded.begin(), folded.end(), '/', '\\');
  return folded;
}

// The part after the last backslash; a name whose only backslash leads it stays whole.
std::string BaseName(const std::string& entryName) {
  const size_t slash = entryName.rfind('\\');
  return (slash == std::string::npos || slash == 0) ? entryName : entryName.substr(slash + 1);
}

}  // namespace

AttachedFiles::~AttachedFiles() { Release(); }

bool AttachedFiles::Load(const std::string& path) {
  Release();
  const auto file = win::ReadWholeFile(path);
  if (!file || file->size() < kTailSize) return false;
  const uint32_t offset = ReadLE32(file->data() + file->size() - 4);
  if (offset > file->size() - kTailSize) return false;  // past the end or inside the tail
  block_.assign(file->begin() + offset, file->end());

  // Every entry, and the end marker after the last, must end before the trailer: limit is the
  // last place where a name length may stand.
  const size_t limit = block_.size() - kTailSize;
  size_t pos = 0;
  bool endMarkerInPlace = false;
  while (pos <= limit) {
    const uint32_t nameLength = ReadLE32(&block_[pos]);
    if (nameLength == 0) {
      endMarkerInPlace = pos == limit;
      break;
    }
    if (nameLength < 2 || nameLength > kAttachedNameLimit) break;  // empty name or no name at all
    if (limit - pos < 8 + size_t(nameLength)) break;
    const char* name = reinterpret_cast<const char*>(&block_[pos + 4]);
    if (std::memchr(name, '\0', nameLength) != name + nameLength - 1) break;  // NUL only at its end
    const size_t sizeAt = pos + 4 + nameLength;
    const uint32_t size = ReadLE32(&block_[sizeAt]);
    if (size > limit - (sizeAt + 4)) break;
    entries_.push_back({Lower(std::string(name, nameLength - 1)), sizeAt + 4, size});
    pos = sizeAt + 4 + size;
  }

  // Without one sound entry or a well-placed end marker the last word was no offset of ours.
  if (entries_.empty() && !endMarkerInPlace) {
    block_.clear();
    return false;
  }
  return true;
}

const AttachedEntry* AttachedFiles::FindEntry(const std::string& name) const {
  const std::string wanted = EntrySpelling(name);
  for (const AttachedEntry& entry : entries_) {
    if (entry.name == wanted) return &entry;
  }
  return nullptr;
}

std::span<const uint8_t> AttachedFiles::EntryData(const AttachedEntry& entry) const {
  if (entry.offset > block_.size() || entry.size > block_.size() - entry.offset) return {};
  return {block_.data() + entry.offset, entry.size};
}

bool AttachedFiles::Resolve(std::string& name, const std::string& ending, bool baseNameOnly) {
  const std::string wanted = baseNameOnly ? Lower(name) : EntrySpelling(name);
  if (wanted.empty()) return false;
  for (const AttachedEntry& entry : entries_) {
    const bool match = baseNameOnly ? BaseName(entry.name) == wanted : entry.name == wanted;
    // An entry whose temporary file cannot be written counts as not found; a later entry of the
    // same name may still do.
    if (match && Extract(entry, name, ending)) return true;
  }
  return false;
}

bool AttachedFiles::Extract(const AttachedEntry& entry, std::string& outPath, const std::string& ending) {
  const bool ours = std::any_of(entries_.begin(), entries_.end(), [&](const AttachedEntry& e) { return &e == &entry; });
  if (!ours) return false;  // its offset would point into some other block
  const std::span<const uint8_t> data = EntryData(entry);
  const std::string path = Host().gTempFolder + "_virtual." + (IsPlainFileEnding(ending) ? ending : "dat");
  if (!WriteBufferToFile(path, data.data(), data.size())) return false;
  if (std::find(extractedPaths_.begin(), extractedPaths_.end(), path) == extractedPaths_.end()) {
    extractedPaths_.push_back(path);
  }
  outPath = path;
  return true;
}

void AttachedFiles::Release() {
  for (const std::string& path : extractedPaths_) win::DeleteFileA(path.c_str());
  extractedPaths_.clear();
  entries_.clear();
  block_.clear();
  block_.shrink_to_fit();
}

bool LoadAttachedFiles(const std::string& path) {
  return Runtime().gAttachedFiles && Runtime().gAttachedFiles->Load(path);
}

bool ExtractProgramImage(std::string& outPath) {
  return Runtime().gAttachedFiles && !Runtime().gAttachedFiles->entries().empty() &&
         Runtime().gAttachedFiles->Extract(Runtime().gAttachedFiles->entries().front(), outPath, "dat");
}

bool ExtractAttachedEntry(const AttachedEntry& entry, std::string& outPath, const std::string& ending) {
  return Runtime().gAttachedFiles && Runtime().gAttachedFiles->Extract(entry, outPath, ending);
}

void AttachedFilesRelease() {
  if (Runtime().gAttachedFiles) Runtime().gAttachedFiles->Release();
}

bool WriteBufferToFile(const std::string& path, const void* data, size_t size) {
  return win::WriteWholeFile(path, data, size);
}

}  // namespace vx
