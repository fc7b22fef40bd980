// File tests of the system services, the attached files in front of them, and the release
// of loaded modules with the program.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "platform/win/modules.h"
#include "runtime/attached_files.h"
#include "runtime/program_image.h"
#include "runtime/runtime_state.h"
#include "system/file_functions.h"
#include "system/system_state.h"
#include "tests/support/block_writer.h"
#include "tests/support/image_builder.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

TEST(FileFunctionsTest, ExistenceDeletionAndFolders) {
  test::TempFolder dir;
  const std::string file = dir.Write("Data/Level1.txt", "x");
  EXPECT_EQ(FileExists(file), 1);
  EXPECT_EQ(FileExists(dir.path() + "DATA\\level1.TXT"), 1);
  EXPECT_EQ(FileExists(dir.path() + "Data"), 0);  // a folder is no file
  EXPECT_EQ(PathExists(dir.path() + "data"), 1);
  EXPECT_EQ(PathExists(dir.path() + "nothing"), 0);
  EXPECT_EQ(DeleteFileIfExists(dir.path() + "missing.txt"), 0);
  EXPECT_EQ(DeleteFileIfExists(file), 1);
  EXPECT_EQ(FileExists(file), 0);
}

TEST(FileFunctionsTest, AttachedFilesAnswerFromTheEntryList) {
  test::TempFolder temp, games;
  struct Restore {
    std::string temp = Host().gTempFolder;
    ~Restore() {
      Runtime().gAttachedFiles.reset();
      Host().gTempFolder = temp;
    }
  } restore;
  Host().gTempFolder = temp.path();
  const std::string onDisk = games.Write("disk.txt", "x");
  const std::string game = games.path() + "game";
  ASSERT_TRUE(test::BlockWriter().Front("runtime").Entry("prog.dat", "p").Entry("Media\\Tree.bmp", "t").WriteTo(game));
  Runtime().gAttachedFiles = std::make_unique<AttachedFiles>();
  ASSERT_TRUE(LoadAttachedFiles(game));

  EXPECT_EQ(FileExists("media/TREE.BMP"), 1);
  EXPECT_EQ(FileExists("media\\tree"), 0);
  EXPECT_EQ(FileExists(onDisk), 1);                     // the disk still answers for what is not attached
  EXPECT_EQ(DeleteFileIfExists("media/tree.bmp"), 0);   // nothing on disk to delete
  EXPECT_TRUE(std::filesystem::is_empty(temp.path()));  // the answers extracted nothing

  Runtime().gAttachedFiles.reset();
  EXPECT_EQ(FileExists("media/tree.bmp"), 0);
}

TEST(FileFunctionsTest, ProgramReleaseFreesLoadedModules) {
  test::ImageBuilder b;
  ASSERT_TRUE(b.Load());
  System().gDllHandles[3] = win::LoadLibraryA("libm.so.6");
  ASSERT_NE(System().gDllHandles[3], nullptr);
  FreeProgramImage();
  EXPECT_EQ(System().gDllHandles[3], nullptr);
}

}  // namespace
}  // namespace vx
