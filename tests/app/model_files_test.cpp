// Model files as modellers write them, run headless by vorlix: a MilkShape-style .x file, whose
// material names its texture with "TextureFileName", draws with that texture; a skinned file loads
// in its bind pose and says so, and names the template it skipped, on standard error.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/app/saved_picture.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

const std::string kModels = std::string(VX_SOURCE_DIR) + "/tests/fixtures/models/";

class ModelFilesTest : public ::testing::Test {
 protected:
  // Copies the model beside a program that shows it full-bright before a black backdrop, filling
  // the middle of the screen, and saves the screen; the exit status.
  int Show(const std::string& model) {
    std::filesystem::copy_file(kModels + model, dir.path() + model);
    dir.Write("tmp/.keep", "");
    dir.Write("show.vxa",
              "rem The texture the model names: green.\n"
              "create bitmap 1, 8, 8\n"
              "cls rgb(0, 200, 0)\n"
              "save bitmap \"skin.bmp\", 1\n"
              "delete bitmap 1\n"
              "manual refresh\n"
              "hide mouse\n"
              "load object \"" +
                  model +
                  "\", 1\n"
                  "set object 1, 1, 1, 1, 1, 0\n"
                  "color backdrop 0\n"
                  "position camera 0, 0, -2\n"
                  "point camera 0, 0, 0\n"
                  "refresh screen\n"
                  "refresh screen\n"
                  "save bitmap \"screen.png\"\n"
                  "end\n");
    const std::string command = "cd '" + dir.path() + "' && TMPDIR='" + dir.path() +
                                "tmp' SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout 60 '" + VX_VORLIX_PATH +
                                "' run show.vxa 2> errors.txt > /dev/null < /dev/null";
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  uint32_t Middle() {
    test::Picture shot;
    EXPECT_TRUE(test::ReadPng(dir.path() + "screen.png", &shot)) << dir.Read("errors.txt");
    return shot.rgb.empty() ? 0xFFFFFFFFu : shot.At(shot.width / 2, shot.height / 2);
  }
  test::TempFolder dir;
};

TEST_F(ModelFilesTest, AMilkShapeStyleFileDrawsWithTheTextureItsMaterialNames) {
  ASSERT_EQ(Show("milkshape.x"), 0) << dir.Read("errors.txt");
  EXPECT_TRUE(test::Near(Middle(), 0x00C800)) << std::hex << Middle();
  EXPECT_EQ(dir.Read("errors.txt"), "");
}

TEST_F(ModelFilesTest, ASkinnedFileLoadsInItsBindPoseAndSaysSo) {
  ASSERT_EQ(Show("skinned.x"), 0) << dir.Read("errors.txt");
  EXPECT_NE(Middle(), 0u) << "the mesh is drawn";
  const std::string errors = dir.Read("errors.txt");
  EXPECT_NE(errors.find("show.vxa:8: skinned.x: a skinned mesh: skinning is not supported"), std::string::npos)
      << errors;
  EXPECT_NE(errors.find("show.vxa:8: skinned.x: template MeshVertexColors skipped\n"), std::string::npos) << errors;
}

}  // namespace
}  // namespace vx
