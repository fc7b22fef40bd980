// Files with Windows semantics resolved against a real folder tree, and the folders and module
// paths programs ask for, cut to their buffers.
#include "platform/win/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "platform/win/modules.h"
#include "tests/support/temp_folder.h"

namespace vx::win {
namespace {

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.MakeFolder("MEDIA2");
    dir.Write("Media/Sub Folder/Tree.BMP", "tree");
    dir.Write("readme.txt", "hello");
  }

  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  test::TempFolder dir;
  const std::string root = dir.path();
};

TEST_F(FilesTest, ResolvesSeparatorsAndLetterCase) {
  const struct {
    std::string written, expected;
  } cases[] = {
      {"\\media\\sub folder\\tree.bmp", "Media/Sub Folder/Tree.BMP"},
      {"media2", "MEDIA2"},
      // Components below the first missing one are kept as written.
      {"media\\Missing\\tree.bmp", "Media/Missing/tree.bmp"},
      {"media\\..\\README.txt", "Media/../readme.txt"},
  };
  for (const auto& c : cases) EXPECT_EQ(ResolvePath(root + c.written), root + c.expected) << c.written;

  dir.Write("README.TXT", "other");  // an exact name wins over a case match
  EXPECT_EQ(ResolvePath(root + "readme.txt"), root + "readme.txt");
  EXPECT_EQ(ResolvePath(root + "README.TXT"), root + "README.TXT");
}

TEST_F(FilesTest, RelativeNamesResolveAgainstCurrentDirectory) {
  std::string saved;
  ASSERT_TRUE(GetCurrentDirectoryA(&saved));
  ASSERT_TRUE(SetCurrentDirectoryA((root + "MEDIA").c_str()));
  EXPECT_EQ(ResolvePath("SUB FOLDER\\tree.bmp"), "Sub Folder/Tree.BMP");
  EXPECT_TRUE(CanOpenForReading("sub folder\\TREE.BMP"));
  EXPECT_FALSE(SetCurrentDirectoryA("no such folder"));
  ASSERT_TRUE(SetCurrentDirectoryA(saved.c_str()));
}

TEST_F(FilesTest, AttributesOpeningCreatingAndDeleting) {
  EXPECT_EQ(GetFileAttributesA((root + "MEDIA").c_str()), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributesA(nullptr), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(CanOpenForReading(root + "media"));  // a folder is not a file to read

  EXPECT_TRUE(CreateDirectoryA((root + "Saves").c_str(), nullptr));
  EXPECT_FALSE(CreateDirectoryA((root + "SAVES").c_str(), nullptr));  // under Windows rules it exists
  EXPECT_FALSE(CreateDirectoryA((root + "none\\deeper").c_str(), nullptr));
  EXPECT_TRUE(DeleteFileA((root + "README.txt").c_str()));
  EXPECT_FALSE(DeleteFileA((root + "README.txt").c_str()));
  EXPECT_EQ(Entries(), (std::vector<std::string>{"MEDIA2", "Media", "Saves"}));
}

TEST_F(FilesTest, WholeFileRoundTripReplacesTheExistingSpelling) {
  const std::vector<uint8_t> data{0, 1, 2, 255, '\r', '\n'};
  ASSERT_TRUE(WriteWholeFile((root + "README.TXT"), data.data(), data.size()));
  EXPECT_EQ(Entries(), (std::vector<std::string>{"MEDIA2", "Media", "readme.txt"}));
  EXPECT_EQ(ReadWholeFile(root + "readme.txt"), data);

  EXPECT_FALSE(ReadWholeFile(root + "Media").has_value());
  EXPECT_FALSE(WriteWholeFile(root + "Media", "x", 1));  // never replaces a folder

  // A failed write keeps the old file and leaves no temporary behind.
  const std::string big(100000, 'n');
  SetWriteFailureForTesting(true);
  const bool written = WriteWholeFile(root + "readme.txt", big.data(), big.size());
  SetWriteFailureForTesting(false);
  EXPECT_FALSE(written);
  EXPECT_EQ(dir.Read("readme.txt"), std::string(data.begin(), data.end()));
  EXPECT_EQ(Entries(), (std::vector<std::string>{"MEDIA2", "Media", "readme.txt"}));
}

TEST_F(FilesTest, WholeFileReadsRefuseWhatCouldBlockOrNeverEnd) {
  // A FIFO without a writer would block at its opening, /dev/zero never ends, and a sparse file
  // is larger than its room on disk.
  ASSERT_EQ(mkfifo((root + "fifo").c_str(), 0600), 0);
  std::filesystem::resize_file(dir.Write("sparse", ""), 100 << 20);
  const std::pair<std::string, ReadFailure> kRefused[] = {
      {root + "fifo", ReadFailure::kNotAFile},   {"/dev/zero", ReadFailure::kNotAFile},
      {root + "media", ReadFailure::kNotAFile},  {root + "sparse", ReadFailure::kTooLarge},
      {root + "none", ReadFailure::kCannotOpen}, {root + "README.TXT", ReadFailure::kTooLarge},
  };
  for (const auto& [name, reason] : kRefused) {
    ReadFailure why = ReadFailure::kNone;
    EXPECT_FALSE(ReadWholeFile(name, 4, &why).has_value()) << name;
    EXPECT_EQ(why, reason) << name;
  }
  ReadFailure why = ReadFailure::kTooLarge;
  EXPECT_EQ(ReadWholeFile(root + "readme.txt", 5, &why), (std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o'}));
  EXPECT_EQ(why, ReadFailure::kNone);
  // A file that reports no size is read all the same, up to the limit.
  EXPECT_FALSE(ReadWholeFile("/proc/self/status", 10, &why).has_value());
  EXPECT_EQ(why, ReadFailure::kTooLarge);
  EXPECT_GT(ReadWholeFile("/proc/self/status").value_or(std::vector<uint8_t>{}).size(), 10u);
}

TEST(FoldersTest, NamesThatDoNotFitTheBufferAreCutOrAskForTheirSize) {
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetWindowsDirectoryA(buffer, 4), 5u);  // no room for the NUL: nothing written
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(GetWindowsDirectoryA(nullptr, 0), 5u);

  const std::string path = ExecutablePath();
  ASSERT_GT(path.size(), 4u);
  char cut[5];
  std::memset(cut, 'x', sizeof cut);
  EXPECT_EQ(GetModuleFileNameA(nullptr, cut, sizeof cut), sizeof cut);  // cut: the size comes back
  EXPECT_EQ(std::string(cut), path.substr(0, 4));
  EXPECT_EQ(GetModuleFileNameA(nullptr, cut, 0), 0u);
}

}  // namespace
}  // namespace vx::win
