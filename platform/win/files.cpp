// Files and folders with Windows semantics on a POSIX file system. Names written for Windows use
// '\' and any letter case; ResolvePath turns them into the name this machine uses, and every
// function here that takes a name goes through it.
#include "platform/win/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <unordered_map>

namespace vx::win {

namespace {

std::atomic<bool> gFailWrites{false};  // test hook: WriteWholeFile runs out of disk

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringCase(const char* a, const std::string& b) {
  size_t i = 0;
  for (; a[i] != '\0' && i < b.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return a[i] == '\0' && i == b.size();
}

bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

std::string FoldedName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = FoldCase(c);
  return folded;
}

// The folders read while a FolderLookupScope lives: by folder, each folded name with the entry
// that FindEntryIgnoringCase picks for it.
struct FolderListings {
  int scopes = 0;
  std::unordered_map<std::string, std::unordered_map<std::string, std::string>> folders;
};
thread_local FolderListings tListings;
std::atomic<uint64_t> gFolderReads{0};  // test hook: folders read to look a name up

void ForgetFolderListings() { tListings.folders.clear(); }

// Hands each entry name of the folder to visit (none when it cannot be read).
template <typename Visit>
void ReadFolder(const std::string& folder, Visit visit) {
  gFolderReads.fetch_add(1, std::memory_order_relaxed);
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return;
  while (const dirent* entry = readdir(dir)) visit(entry->d_name);
  closedir(dir);
}

// Of several entries that match (a case-sensitive file system allows it), the smallest name wins,
// so the choice does not depend on directory order.
void KeepSmallest(std::string& best, const char* name) {
  if (best.empty() || std::strcmp(name, best.c_str()) < 0) best = name;
}

// The entry of folder whose name equals wanted ignoring case; empty when none.
std::string ScanForEntryIgnoringCase(const std::string& folder, const std::string& wanted) {
  std::string best;
  ReadFolder(folder, [&](const char* name) {
    if (EqualIgnoringCase(name, wanted)) KeepSmallest(best, name);
  });
  return best;
}

// The same from the folder's kept names, read at the first look-up in it.
std::string FindEntryIgnoringCase(const std::string& folder, const std::string& wanted) {
  if (tListings.scopes == 0) return ScanForEntryIgnoringCase(folder, wanted);
  auto [listing, added] = tListings.folders.try_emplace(folder);
  if (added)
    ReadFolder(folder, [&names = listing->second](const char* name) { KeepSmallest(names[FoldedName(name)], name); });
  const auto found = listing->second.find(FoldedName(wanted));
  return found == listing->second.end() ? std::string() : found->second;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    size_t chunk = size;
    if (gFailWrites.load(std::memory_order_relaxed)) {
      if (size == 1) {
        errno = ENOSPC;
        return false;
      }
      chunk = size / 2;  // part of the data lands before the disk fills up
    }
    const ssize_t written = write(fd, data, chunk);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return !gFailWrites.load(std::memory_order_relaxed);
}

}  // namespace

uint64_t FolderReadsForTesting() { return gFolderReads.load(std::memory_order_relaxed); }

FolderLookupScope::FolderLookupScope() { ++tListings.scopes; }
FolderLookupScope::~FolderLookupScope() {
  if (--tListings.scopes == 0) ForgetFolderListings();
}

std::string ResolvePath(const std::string& name) {
  std::string path = name;
  std::replace(path.begin(), path.end(), '\\', '/');
  if (path.empty() || Exists(path)) return path;

  const bool absolute = path.front() == '/';
  const bool trailingSlash = path.back() == '/';
  std::string result = absolute ? "/" : "";  // always empty or ending with '/'
  bool searching = true;                     // once a component matches nothing, nothing below it can exist
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string component = path.substr(start, end - start);
    start = end + 1;
    if (component.empty()) continue;  // "a//b"

    std::string next = result + component;
    if (searching && !Exists(next)) {
      const std::string match =
          (component == "." || component == "..") ? std::string() : FindEntryIgnoringCase(result, component);
      if (match.empty()) {
        searching = false;
      } else {
        next = result + match;
      }
    }
    result = next + "/";
  }
  if (result.size() > 1 && !trailingSlash) result.pop_back();
  return result;
}

int OpenRegularFile(const std::string& name, ReadFailure* why) {
  ReadFailure ignored;
  ReadFailure& failure = why ? *why : ignored;
  failure = ReadFailure::kNone;
  // O_NONBLOCK, taken off once the file is known to be regular: opening a FIFO without a writer
  // would wait for one.
  const int fd = open(ResolvePath(name).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    failure = ReadFailure::kCannotOpen;
    return -1;
  }
  struct stat info {};
  const int flags = fcntl(fd, F_GETFL);
  if (fstat(fd, &info) != 0 || flags < 0) {
    failure = ReadFailure::kCannotOpen;
  } else if (!S_ISREG(info.st_mode)) {
    failure = ReadFailure::kNotAFile;
  } else if (fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    failure = ReadFailure::kCannotOpen;
  } else {
    return fd;
  }
  close(fd);
  return -1;
}

bool CanOpenForReading(const std::string& name) {
  const int fd = OpenRegularFile(name);
  if (fd < 0) return false;
  close(fd);
  return true;
}

DWORD GetFileAttributesA(const char* name) {
  if (!name) return INVALID_FILE_ATTRIBUTES;
  struct stat info {};
  if (stat(ResolvePath(name).c_str(), &info) != 0) return INVALID_FILE_ATTRIBUTES;
  return S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

BOOL DeleteFileA(const char* name) {
  if (!name) return FALSE_;
  ForgetFolderListings();
  return unlink(ResolvePath(name).c_str()) == 0 ? TRUE_ : FALSE_;
}

BOOL CreateDirectoryA(const char* name, void* /*securityAttributes*/) {
  if (!name) return FALSE_;
  ForgetFolderListings();
  return mkdir(ResolvePath(name).c_str(), 0777) == 0 ? TRUE_ : FALSE_;
}

BOOL GetCurrentDirectoryA(std::string* out) {
  if (!out) return FALSE_;
  std::string buffer(256, '\0');
  while (!getcwd(buffer.data(), buffer.size())) {
    if (errno != ERANGE) return FALSE_;
    buffer.resize(buffer.size() * 2);
  }
  buffer.resize(std::strlen(buffer.c_str()));
  *out = std::move(buffer);
  return TRUE_;
}

BOOL SetCurrentDirectoryA(const char* name) {
  if (!name) return FALSE_;
  ForgetFolderListings();
  return chdir(ResolvePath(name).c_str()) == 0 ? TRUE_ : FALSE_;
}

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& name, size_t limit, ReadFailure* why) {
  ReadFailure ignored;
  ReadFailure& failure = why ? *why : ignored;
  failure = ReadFailure::kNone;
  // Only a regular file has an end: a FIFO or a device such as /dev/zero may never have one.
  const int fd = OpenRegularFile(name, &failure);
  if (fd < 0) return std::nullopt;
  auto fail = [&](ReadFailure reason) -> std::optional<std::vector<uint8_t>> {
    close(fd);
    failure = reason;
    return std::nullopt;
  };
  struct stat info {};
  if (fstat(fd, &info) != 0) return fail(ReadFailure::kCannotOpen);
  if (info.st_size < 0 || uint64_t(info.st_size) > limit) return fail(ReadFailure::kTooLarge);
  // The size is only a hint: files under /proc report 0 and still have contents, and a file may
  // grow while it is read.
  std::vector<uint8_t> data(info.st_size > 0 ? static_cast<size_t>(info.st_size) + 1 : 4096);
  size_t used = 0;
  for (;;) {
    if (used == data.size()) {
      if (used > limit) return fail(ReadFailure::kTooLarge);
      data.resize(std::min(data.size() * 2, limit == SIZE_MAX ? limit : limit + 1));
    }
    const ssize_t got = read(fd, data.data() + used, data.size() - used);
    if (got < 0) {
      if (errno == EINTR) continue;
      return fail(ReadFailure::kCannotOpen);
    }
    if (got == 0) break;
    used += static_cast<size_t>(got);
  }
  close(fd);
  if (used > limit) {
    failure = ReadFailure::kTooLarge;
    return std::nullopt;
  }
  data.resize(used);
  return data;
}

bool WriteWholeFile(const std::string& name, const void* data, size_t size) {
  const std::string target = ResolvePath(name);
  if (target.empty() || target.back() == '/' || (!data && size > 0)) return false;
  struct stat old {};
  const bool replacing = stat(target.c_str(), &old) == 0;
  if (replacing && !S_ISREG(old.st_mode)) return false;

  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  // A shortened base keeps the temporary's name within the file system's limit.
  const std::string base = target.substr(slash == std::string::npos ? 0 : slash + 1).substr(0, 64);
  static std::atomic<unsigned> serial{0};
  std::string temp;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temp = folder + "." + base + "." + std::to_string(getpid()) + "." + std::to_string(serial++) + ".tmp";
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;

  bool ok = WriteAll(fd, static_cast<const uint8_t*>(data), size);
  if (ok && replacing) (void)fchmod(fd, old.st_mode & 07777);  // the replacement keeps the old mode
  if (close(fd) != 0) ok = false;
  if (ok && rename(temp.c_str(), target.c_str()) != 0) ok = false;
  if (!ok) unlink(temp.c_str());
  ForgetFolderListings();
  return ok;
}

void SetWriteFailureForTesting(bool fail) { gFailWrites.store(fail, std::memory_order_relaxed); }

std::string ExecutablePath() {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return {};
    if (static_cast<size_t>(length) < buffer.size()) {
      buffer.resize(static_cast<size_t>(length));
      return buffer;
    }
    buffer.resize(buffer.size() * 2);  // may have been cut: try again with room to spare
  }
}

UINT GetWindowsDirectoryA(char* buffer, UINT size) {
  static constexpr char kFolder[] = "/etc";
  constexpr UINT kLength = sizeof kFolder - 1;
  if (!buffer || size <= kLength) return kLength + 1;
  std::memcpy(buffer, kFolder, sizeof kFolder);
  return kLength;
}

std::string ExecutableFolder() {
  const std::string path = ExecutablePath();
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

}  // namespace vx::win
