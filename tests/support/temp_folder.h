// A private temporary folder for a test, removed with everything in it afterwards.
#pragma once
#include <string>

namespace vx::test {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  // The folder's path, ending with '/'.
  const std::string& path() const { return path_; }
  std::string Write(const std::string& name, const std::string& content) const;
  std::string Read(const std::string& name) const;
  // Makes the folder and its parents; returns its full path.
  std::string MakeFolder(const std::string& name) const;

 private:
  std::string path_;
};

}  // namespace vx::test
