// Files with Windows semantics: backslashes and letter case resolved against a real folder tree.
#include "platform/win/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/platform/temp_folder.h"

namespace vx::win {
namespace {

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir.path().empty());
    dir.MakeFolder("Media/Sub Folder");
    dir.MakeFolder("MEDIA2");
    dir.MakeFile("Media/Sub Folder/Tree.BMP", "tree");
    dir.MakeFile("readme.txt", "hello");
  }

  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempFolder dir;
};

TEST_F(FilesTest, ResolvesSeparatorsAndLetterCase) {
  const std::string root = dir.path();
  const struct {
    std::string written;
    std::string expected;
  } cases[] = {
      {root + "\\media\\sub folder\\tree.bmp", root + "/Media/Sub Folder/Tree.BMP"},
      {root + "/MEDIA\\Sub Folder/TREE.bmp", root + "/Media/Sub Folder/Tree.BMP"},
      {root + "\\Readme.TXT", root + "/readme.txt"},
      {root + "\\media2", root + "/MEDIA2"},
      // Components below the first missing one are kept as written.
      {root + "\\media\\Missing\\tree.bmp", root + "/Media/Missing/tree.bmp"},
      {root + "\\media\\\\sub folder\\", root + "/Media/Sub Folder/"},
      {root + "\\media\\..\\README.txt", root + "/Media/../readme.txt"},
  };
  for (const auto& c : cases) EXPECT_EQ(ResolvePath(c.written), c.expected) << c.written;
}

TEST_F(FilesTest, ExactNameWinsOverCaseMatch) {
  dir.MakeFile("README.TXT", "other");
  EXPECT_EQ(ResolvePath(dir / "readme.txt"), dir / "readme.txt");
  EXPECT_EQ(ResolvePath(dir / "README.TXT"), dir / "README.TXT");
}

TEST_F(FilesTest, RelativeNamesResolveAgainstCurrentDirectory) {
  std::string saved;
  ASSERT_TRUE(GetCurrentDirectoryA(&saved));
  ASSERT_TRUE(SetCurrentDirectoryA((dir.path() + "\\MEDIA").c_str()));
  std::string now;
  ASSERT_TRUE(GetCurrentDirectoryA(&now));
  EXPECT_EQ(now, std::filesystem::canonical(dir / "Media").string());
  EXPECT_EQ(ResolvePath("SUB FOLDER\\tree.bmp"), "Sub Folder/Tree.BMP");
  EXPECT_TRUE(CanOpenForReading("sub folder\\TREE.BMP"));
  EXPECT_FALSE(SetCurrentDirectoryA("no such folder"));
  ASSERT_TRUE(SetCurrentDirectoryA(saved.c_str()));
}

TEST_F(FilesTest, AttributesAndOpening) {
  EXPECT_EQ(GetFileAttributesA((dir.path() + "\\MEDIA").c_str()), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributesA((dir.path() + "\\README.TXT").c_str()), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(GetFileAttributesA((dir.path() + "\\nothing").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA(nullptr), INVALID_FILE_ATTRIBUTES);

  EXPECT_TRUE(CanOpenForReading(dir.path() + "\\README.TXT"));
  EXPECT_FALSE(CanOpenForReading(dir.path() + "\\media"));  // a folder is not a file to read
  EXPECT_FALSE(CanOpenForReading(dir.path() + "\\nothing"));
}

TEST_F(FilesTest, CreateAndDeleteFollowTheSameNames) {
  EXPECT_TRUE(CreateDirectoryA((dir.path() + "\\Saves").c_str(), nullptr));
  EXPECT_FALSE(CreateDirectoryA((dir.path() + "\\Saves").c_str(), nullptr));
  // Under Windows rules "SAVES" is the folder that already exists.
  EXPECT_FALSE(CreateDirectoryA((dir.path() + "\\SAVES").c_str(), nullptr));
  EXPECT_FALSE(CreateDirectoryA((dir.path() + "\\none\\deeper").c_str(), nullptr));

  EXPECT_TRUE(DeleteFileA((dir.path() + "\\README.txt").c_str()));
  EXPECT_FALSE(DeleteFileA((dir.path() + "\\README.txt").c_str()));
  EXPECT_EQ(Entries(), (std::vector<std::string>{"MEDIA2", "Media", "Saves"}));
}

TEST_F(FilesTest, WholeFileRoundTripReplacesTheExistingSpelling) {
  const std::vector<uint8_t> data{0, 1, 2, 255, '\r', '\n'};
  ASSERT_TRUE(WriteWholeFile(dir.path() + "\\README.TXT", data.data(), data.size()));
  EXPECT_EQ(Entries(), (std::vector<std::string>{"MEDIA2", "Media", "readme.txt"}));
  EXPECT_EQ(ReadWholeFile(dir / "readme.txt"), data);

  ASSERT_TRUE(WriteWholeFile(dir / "empty.bin", nullptr, 0));
  EXPECT_EQ(ReadWholeFile(dir / "EMPTY.BIN"), std::vector<uint8_t>{});

  EXPECT_FALSE(ReadWholeFile(dir / "missing.bin").has_value());
  EXPECT_FALSE(ReadWholeFile(dir / "Media").has_value());
  EXPECT_FALSE(WriteWholeFile(dir / "Media", "x", 1));  // never replaces a folder
  EXPECT_FALSE(WriteWholeFile(dir / "missing/file.bin", "x", 1));
}

TEST_F(FilesTest, FailedWriteKeepsTheOldFileAndNoTemporary) {
  const std::string big(100000, 'n');
  SetWriteFailureForTesting(true);
  const bool written = WriteWholeFile(dir / "readme.txt", big.data(), big.size());
  SetWriteFailureForTesting(false);
  EXPECT_FALSE(written);
  EXPECT_EQ(dir.Contents("readme.txt"), "hello");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"MEDIA2", "Media", "readme.txt"}));
}

TEST(ExecutableTest, PathAndFolder) {
  const std::string path = ExecutablePath();
  const std::string folder = ExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_EQ(path.compare(0, folder.size(), folder), 0);
  EXPECT_EQ(path.substr(folder.size()), "test_platform");
}

}  // namespace
}  // namespace vx::win
