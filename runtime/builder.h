// The standalone game builder: compiles a program and writes a game executable, a copy of the
// runtime followed by the attached-files block (runtime/attached_files.h) that holds the compiled
// program as entry 0 and the media files of the project folder after it.
//
// Every write is checked, and an entry that the runtime could not read back (a name of more than
// 255 characters, data of 4 GiB or more) is refused: a build either yields a complete game or
// leaves nothing under the target name.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>

namespace vx {

// True for the file names the builder attaches as media: those whose ending after the last dot
// is, in any case, one of bmp rle dib dds jpg pcx png psd tga tif wav mp2 mp3 avi mpg mid arr dat
// txt 3ds or x.
bool IsMediaFileName(const std::string& name);

class StandaloneBuilder {
 public:
  StandaloneBuilder();
  ~StandaloneBuilder();  // a target still open here is half-written: it is deleted
  StandaloneBuilder(const StandaloneBuilder&) = delete;
  StandaloneBuilder& operator=(const StandaloneBuilder&) = delete;

  // Compiles sourceFile (inside projectFolder, when that is not empty) and writes targetExe,
  // executable (mode 0755), with the media of projectFolder and its subfolders when that is not
  // empty; nothing else is written. A built game ends with a status line of the number of media
  // files and their bytes. False, with failure() telling why, when the
  // program did not compile, a file could not be read or written, an entry was refused, or Esc
  // was pressed; the target is then deleted (after a failed compile it is left as it was).
  bool BuildStandaloneExe(const std::string& targetExe, const std::string& sourceFile,
                          const std::string& projectFolder);

  // The steps of a build, for callers that assemble a game themselves. WriteExeStub deletes the
  // target and starts it with the runtime; the Add steps append entries; FinishAttachedBlock
  // writes the end marker and the trailer and closes the target. A failed step leaves the
  // target open: the next WriteExeStub or the destructor deletes it.
  bool WriteExeStub(const std::string& targetExe);
  bool AddAttachedFile(const std::string& filePath, const std::string& entryName);
  // Attaches folder/name under the entry name prefix + name, showing its name and size on the
  // status line.
  bool AddMediaFile(const std::string& folder, const std::string& name, const std::string& prefix);
  // Attaches the media of the folder and, under prefix + subfolder + "\", of its subfolders.
  // Symbolic links to folders are not followed.
  bool AddMediaFolder(const std::string& folder, const std::string& prefix);
  bool AddProjectMedia(const std::string& projectFolder);
  bool FinishAttachedBlock();
  // Closes and deletes a target that was started and not finished.
  void AbandonTarget();

  // The runtime copied to the front of a game: the running executable unless set.
  void SetStubPath(const std::string& path) { stubPath_ = path; }

  // Why the last build or step failed; empty after success.
  const std::string& failure() const { return failure_; }
  // Whether the build failed because the program did not compile; CompileErrorPlace tells where.
  bool compileFailed() const { return compileFailed_; }

 private:
  bool Fail(const std::string& message);
  bool WriteBytes(const void* data, size_t size);
  bool WriteWord(uint32_t word);
  bool CompileProgram(const std::string& sourceFile, const std::string& projectFolder, const std::string& imagePath);
  bool EscapePressed();

  int target_ = -1;  // the game being written, or -1
  std::string targetPath_;
  dev_t targetDevice_ = 0;  // identity of the target, so the media walk never attaches it
  ino_t targetInode_ = 0;
  uint64_t stubSize_ = 0;  // the block begins here; the trailer records it
  std::string stubPath_;
  std::string failure_;
  bool compileFailed_ = false;
  bool escapeWasDown_ = false;
  uint64_t mediaFiles_ = 0;  // attached by the walk of the project folder, and their bytes
  uint64_t mediaBytes_ = 0;
};

}  // namespace vx
