// File tests of the system services, the attached-files lookup in front of them, and the release
// of loaded modules with the program.
#include <gtest/gtest.h>

#include "platform/win/modules.h"
#include "runtime/program_image.h"
#include "system/file_functions.h"
#include "system/system_state.h"
#include "tests/support/image_builder.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

std::string gVirtualFolder;
std::string ToVirtualFolder(const std::string& name, const char*) { return gVirtualFolder + name; }

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

TEST(FileFunctionsTest, AttachedFilesAreFoundThroughTheLookup) {
  test::TempFolder dir;
  dir.Write("packed.bmp", "x");
  gVirtualFolder = dir.path();
  SetVirtualFileResolver(ToVirtualFolder);
  EXPECT_EQ(FileExists("packed.bmp"), 1);
  SetVirtualFileResolver(nullptr);
  EXPECT_EQ(FileExists("packed.bmp"), 0);
}

TEST(FileFunctionsTest, ProgramReleaseFreesLoadedModules) {
  test::ImageBuilder b;
  ASSERT_TRUE(b.Load());
  gDllHandles[3] = win::LoadLibraryA("libm.so.6");
  ASSERT_NE(gDllHandles[3], nullptr);
  FreeProgramImage();
  EXPECT_EQ(gDllHandles[3], nullptr);
}

}  // namespace
}  // namespace vx
