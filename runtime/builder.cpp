// The standalone game builder. The game is written straight to its target name and deleted again
// when any step fails; the runtime part is read through a descriptor opened before the target is
// replaced, so a build may even overwrite the executable that runs it.
//
// Depends on the compiler (compiler/), the attached-files layout (runtime/attached_files.h), the
// status line (ide/status_line.h) and the platform's files and keys.
#include "runtime/builder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/le_words.h"
#include "compiler/compiler.h"
#include "ide/language.h"
#include "ide/status_line.h"
#include "platform/win/files.h"
#include "platform/win/keyboard.h"
#include "runtime/attached_files.h"
#include "runtime/dispatcher_state.h"
#include "runtime/errors.h"
#include "runtime/runtime_state.h"

namespace vx {

namespace {

constexpr const char* kMediaEndings[] = {"bmp", "rle", "dib", "dds", "jpg", "pcx", "png", "psd", "tga", "tif", "wav",
                                         "mp2", "mp3", "avi", "mpg", "mid", "arr", "dat", "txt", "3ds", "x"};

// A block's offset and every entry's size are 32-bit words in the file.
constexpr uint64_t kLargestWord = 0xFFFFFFFFu;

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  }
  return text;
}

std::string ErrnoText() { return std::strerror(errno); }

// "900 bytes", "37.0 KB", "1.9 MB".
std::string SizeText(uint64_t bytes) {
  char text[48];
  if (bytes < 1024)
    std::snprintf(text, sizeof text, "%llu %s", static_cast<unsigned long long>(bytes), bytes == 1 ? "byte" : "bytes");
  else if (bytes < 1024 * 1024)
    std::snprintf(text, sizeof text, "%.1f KB", double(bytes) / 1024.0);
  else
    std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / (1024.0 * 1024.0));
  return text;
}

// Closes a descriptor when the scope ends.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

int OpenForReading(const std::string& path) { return open(path.c_str(), O_RDONLY | O_CLOEXEC); }

std::string Absolute(const std::string& path) {
  if (!path.empty() && path.front() == '/') return path;
  std::string current;
  win::GetCurrentDirectoryA(&current);
  if (!current.empty() && current.back() != '/') current += '/';
  return current + path;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first {
  }, second{};
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

// A file name that leads out of the program's folder: absolute (/x, \x, C:\x) or starting with "..".
// Only names with an ending count, so that texts such as "/" are not taken for files.
bool NamesFileOutsideFolder(const std::string& text) {
  const size_t last = text.find_last_of("/\\");
  if (last == std::string::npos || text.find('.', last) == std::string::npos || last + 1 == text.size()) return false;
  const bool absolute = text[0] == '/' || text[0] == '\\' || (text.size() > 2 && text[1] == ':');
  return absolute || text.starts_with("../") || text.starts_with("..\\");
}

// The build ships only the program's folder: a file named outside it will be missing wherever the
// game is run, so the author hears of it now.
void ReportFilesNotShipped(const std::string& sourceFile) {
  std::vector<std::string> texts = gCompiler.stringConstants;
  for (const DataItem& item : gCompiler.data)
    if (item.type == 's') texts.push_back(item.text);
  for (const std::string& text : texts)
    if (NamesFileOutsideFolder(text))
      std::fprintf(stderr, "%s: \"%s\" lies outside the program's folder: the game is built without it\n",
                   sourceFile.c_str(), text.c_str());
}

}  // namespace

bool IsMediaFileName(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string ending = Lower(name.substr(dot + 1));
  return std::any_of(std::begin(kMediaEndings), std::end(kMediaEndings),
                     [&](const char* media) { return ending == media; });
}

StandaloneBuilder::StandaloneBuilder() = default;

StandaloneBuilder::~StandaloneBuilder() { AbandonTarget(); }

bool StandaloneBuilder::Fail(const std::string& message) {
  if (failure_.empty()) failure_ = message;  // the first cause is the one worth telling
  return false;
}

bool StandaloneBuilder::EscapePressed() {
  const bool down = (win::GetAsyncKeyState(win::VK_ESCAPE) & 0x8000) != 0;
  // Only a press that began during the build counts.
  const bool pressed = down && !escapeWasDown_;
  if (!down) escapeWasDown_ = false;
  return pressed;
}

bool StandaloneBuilder::WriteBytes(const void* data, size_t size) {
  if (target_ < 0) return Fail("No game is being written");
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t written = write(target_, bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return Fail("Could not write " + targetPath_ + ": " + ErrnoText());
    }
    bytes += written;
    size -= size_t(written);
  }
  return true;
}

bool StandaloneBuilder::WriteWord(uint32_t word) {
  uint8_t bytes[4];
  WriteLE32(bytes, word);
  return WriteBytes(bytes, sizeof bytes);
}

void StandaloneBuilder::AbandonTarget() {
  if (target_ < 0) return;
  close(target_);
  target_ = -1;
  unlink(targetPath_.c_str());
  targetPath_.clear();
}

bool StandaloneBuilder::WriteExeStub(const std::string& targetExe) {
  AbandonTarget();
  failure_.clear();
  const std::string stubPath = stubPath_.empty() ? win::ExecutablePath() : stubPath_;
  const FileDescriptor stub(OpenForReading(stubPath));
  struct stat stubInfo {};
  if (stub.get() < 0 || fstat(stub.get(), &stubInfo) != 0 || !S_ISREG(stubInfo.st_mode))
    return Fail("Could not read the runtime " + stubPath);
  // The trailer holds the block's offset in 32 bits, and the end marker and trailer follow it.
  if (uint64_t(stubInfo.st_size) > kLargestWord - 8) return Fail("The runtime " + stubPath + " is too large");

  if (unlink(targetExe.c_str()) != 0 && errno != ENOENT)
    return Fail("Could not replace " + targetExe + ": " + ErrnoText());
  // O_EXCL: nothing that appeared in the meantime (a link placed there) is written through.
  const int fd = open(targetExe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0755);
  if (fd < 0) return Fail("Could not create " + targetExe + ": " + ErrnoText());
  target_ = fd;
  targetPath_ = targetExe;
  struct stat targetInfo {};
  if (fchmod(fd, 0755) != 0 || fstat(fd, &targetInfo) != 0)
    return Fail("Could not make " + targetExe + " executable: " + ErrnoText());
  targetDevice_ = targetInfo.st_dev;
  targetInode_ = targetInfo.st_ino;

  std::vector<uint8_t> buffer(1 << 20);
  uint64_t copied = 0;
  for (;;) {
    const ssize_t got = read(stub.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Fail("Could not read the runtime " + stubPath + ": " + ErrnoText());
    if (got == 0) break;
    copied += uint64_t(got);
    if (copied > uint64_t(stubInfo.st_size)) return Fail("The runtime " + stubPath + " changed while it was read");
    if (!WriteBytes(buffer.data(), size_t(got))) return false;
  }
  if (copied != uint64_t(stubInfo.st_size)) return Fail("The runtime " + stubPath + " changed while it was read");
  stubSize_ = copied;
  return true;
}

bool StandaloneBuilder::AddAttachedFile(const std::string& filePath, const std::string& entryName) {
  if (target_ < 0) return Fail("No game is being written");
  // The runtime reads names of 1 to 255 characters ending in their only NUL.
  const size_t nameLength = entryName.size() + 1;
  if (nameLength < 2 || nameLength > kAttachedNameLimit || entryName.find('\0') != std::string::npos)
    return Fail("The name " + entryName + " is longer than a game can hold (" + std::to_string(kAttachedNameLimit - 1) +
                " characters)");
  const FileDescriptor file(OpenForReading(filePath));
  struct stat info {};
  if (file.get() < 0 || fstat(file.get(), &info) != 0) return Fail("Could not read " + filePath + ": " + ErrnoText());
  if (!S_ISREG(info.st_mode)) return Fail("Could not read " + filePath + ": not a file");
  const uint64_t size = uint64_t(info.st_size);
  if (size > kLargestWord) return Fail("The file " + filePath + " is larger than a game can hold (4 GiB)");

  if (!WriteWord(uint32_t(nameLength)) || !WriteBytes(entryName.c_str(), nameLength) || !WriteWord(uint32_t(size)))
    return false;
  // Exactly the size written before the data: a file that changes meanwhile would break the block.
  std::vector<uint8_t> buffer(size_t(std::min<uint64_t>(size, 1 << 20)) + 1);
  uint64_t left = size;
  while (left > 0) {
    const ssize_t got = read(file.get(), buffer.data(), size_t(std::min<uint64_t>(left, buffer.size())));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Fail("Could not read " + filePath + ": " + ErrnoText());
    if (got == 0) return Fail("The file " + filePath + " changed while it was read");
    if (!WriteBytes(buffer.data(), size_t(got))) return false;
    left -= uint64_t(got);
  }
  return true;
}

bool StandaloneBuilder::AddMediaFile(const std::string& folder, const std::string& name, const std::string& prefix) {
  std::string shown = prefix + name;
  std::replace(shown.begin(), shown.end(), '\\', '/');
  // Every file of the folder goes along, frame dumps and old builds too: the author sees each.
  const std::string path = folder + "/" + name;
  struct stat info {};
  const uint64_t size = stat(path.c_str(), &info) == 0 ? uint64_t(info.st_size) : 0;
  StatusLineText("Adding " + shown + " (" + SizeText(size) + ")...");
  if (!AddAttachedFile(path, prefix + name)) return false;
  ++mediaFiles_;
  mediaBytes_ += size;
  return true;
}

bool StandaloneBuilder::AddMediaFolder(const std::string& folder, const std::string& prefix) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return Fail("Could not read the folder " + folder + ": " + ErrnoText());
  std::vector<std::string> names;
  errno = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  const bool listed = errno == 0;
  closedir(dir);
  if (!listed) return Fail("Could not read the folder " + folder);
  // Directory order differs between file systems; a sorted walk builds the same game everywhere.
  std::sort(names.begin(), names.end());

  for (const std::string& name : names) {
    if (EscapePressed()) return Fail("Build abandoned: Esc was pressed");
    const std::string path = folder + "/" + name;
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return Fail("Could not read " + path + ": " + ErrnoText());
    if (S_ISDIR(info.st_mode)) {
      if (!AddMediaFolder(path, prefix + name + "\\")) return false;
      continue;
    }
    // A link is taken for the file it names, never for a folder: a link back up the tree would
    // otherwise be walked forever.
    if (S_ISLNK(info.st_mode) && stat(path.c_str(), &info) != 0) continue;
    if (!S_ISREG(info.st_mode) || !IsMediaFileName(name)) continue;
    if (info.st_dev == targetDevice_ && info.st_ino == targetInode_ && target_ >= 0) continue;  // the game itself
    if (!AddMediaFile(folder, name, prefix)) return false;
  }
  return true;
}

bool StandaloneBuilder::AddProjectMedia(const std::string& projectFolder) {
  std::string folder = win::ResolvePath(projectFolder);
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return AddMediaFolder(folder, "");
}

bool StandaloneBuilder::FinishAttachedBlock() {
  if (!WriteWord(0) || !WriteWord(uint32_t(stubSize_))) return false;
  const int fd = target_;
  target_ = -1;
  // close reports what the file system could not store after all.
  if (close(fd) != 0) {
    unlink(targetPath_.c_str());
    return Fail("Could not write " + targetPath_ + ": " + ErrnoText());
  }
  targetPath_.clear();
  return true;
}

bool StandaloneBuilder::CompileProgram(const std::string& sourceFile, const std::string& projectFolder,
                                       const std::string& imagePath) {
  unlink(imagePath.c_str());  // an image of an earlier build must not pass for this one's
  const std::string source = win::ResolvePath(sourceFile);
  if (!win::CanOpenForReading(source)) {
    compileFailed_ = true;
    return Fail("Could not read the program " + sourceFile);
  }
  // The source is named from where the build started; the compile runs in the project folder.
  const std::string absoluteSource = Absolute(source);
  std::string savedDirectory;
  win::GetCurrentDirectoryA(&savedDirectory);
  ResetCompiler();
  gCompiler.listingWriter = Dispatcher().gRuntimeTestMode ? WriteDebugOutputScript : nullptr;
  const bool tableLoaded = LoadCommandTable() == 1;
  const bool inProject = projectFolder.empty() || win::SetCurrentDirectoryA(projectFolder.c_str());
  const bool compiled = tableLoaded && inProject && CompileFile(absoluteSource, imagePath) == 1;
  win::SetCurrentDirectoryA(savedDirectory.c_str());
  const std::string message = gCompiler.resultMessage;
  compileFailed_ = tableLoaded && inProject && !compiled;
  gCompiler.sourceName = sourceFile;  // where a failure stands is told as the build was asked for
  if (compiled) ReportFilesNotShipped(sourceFile);
  FreeCompilerTables();

  if (!tableLoaded) return Fail("The command table is missing from this executable");
  if (!inProject) return Fail("Could not enter the project folder " + projectFolder);
  if (!compiled) {
    unlink(imagePath.c_str());
    return Fail(message.empty() ? "The program did not compile" : message);
  }
  if (!win::CanOpenForReading(imagePath)) return Fail("The compiler wrote no program image");
  return true;
}

bool StandaloneBuilder::BuildStandaloneExe(const std::string& targetExe, const std::string& sourceFile,
                                           const std::string& projectFolder) {
  failure_.clear();
  compileFailed_ = false;
  mediaFiles_ = 0;
  mediaBytes_ = 0;
  escapeWasDown_ = (win::GetAsyncKeyState(win::VK_ESCAPE) & 0x8000) != 0;
  if (Host().gTempFolder.empty()) return Fail("No temporary folder to compile into");
  const std::string imagePath = Host().gTempFolder + "_exefile.dat";

  if (!CompileProgram(sourceFile, projectFolder, imagePath)) return false;
  if (SameFile(targetExe, sourceFile)) {
    unlink(imagePath.c_str());
    return Fail("The game " + targetExe + " would replace the program's source");
  }
  // Entry 0 is named by the path the program was compiled to; the runtime takes it by position,
  // so a temporary folder too deep for a name falls back to the bare file name.
  const std::string programEntry = imagePath.size() < kAttachedNameLimit ? imagePath : std::string("_exefile.dat");
  // The language's word file goes along, so that the game names its errors as vorlix run does.
  const std::string words = LanguageWordFilePath();
  const bool withWords = win::CanOpenForReading(words);
  const bool built = WriteExeStub(targetExe) && AddAttachedFile(imagePath, programEntry) &&
                     (!withWords || AddAttachedFile(words, LanguageWordFileEntry())) &&
                     (projectFolder.empty() || AddProjectMedia(projectFolder)) && FinishAttachedBlock();
  unlink(imagePath.c_str());
  if (!built) {
    AbandonTarget();
    return false;
  }
  StatusLineText(std::to_string(mediaFiles_) + (mediaFiles_ == 1 ? " file" : " files") + " attached, " +
                 SizeText(mediaBytes_) + " in all");
  return true;
}

}  // namespace vx
