// The static world in the engine's frame: drawn before the objects with the scene's states, its
// triangles counted in the frame's statistic, and the same picture from a world saved, cleared and
// loaded back.
#include <vector>

#include "engine3d/static_world_file.h"
#include "surfaces/engine_textures.h"
#include "tests/engine3d/engine_world.h"
#include "tests/engine3d/static_world_fixture.h"

namespace vx {
namespace {

using test::BoxMesh;

class StaticWorldSceneTest : public test::EngineWorld {
 protected:
  void SetUp() override {
    EngineWorld::SetUp();
    BackdropPlaneOff();  // the frame is cleared here instead
  }
  static std::vector<uint32_t> Picture() {
    Display().gD3DDevice->Clear(0, nullptr, win::D3DCLEAR_TARGET | win::D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    RenderScene();
    return test::ScreenColours();
  }
};

TEST_F(StaticWorldSceneTest, ALoadedWorldDrawsTheSamePictureAsTheSavedOne) {
  const uint32_t red = GetColorTexture(0xFF0000), blue = GetColorTexture(0x0000FF);
  const test::TestMesh left = BoxMesh(-3, 0, 12, 3, 3, 3), right = BoxMesh(3, 1, 14, 3, 5, 3);
  ASSERT_EQ(AddStaticPart(red, left.Data(), 0, 0, 0, 0), 1);
  ASSERT_EQ(AddStaticPart(blue, right.Data(), 0, 0, 0, 0), 1);
  ReleaseTextureSlot(red, 0);  // the world holds them now
  ReleaseTextureSlot(blue, 0);

  const std::vector<uint32_t> saved = Picture();
  EXPECT_EQ(Scene().gPolygonCounter, 2u * 36u) << "twelve triangles of each box";
  const uint32_t empty = test::ColourAt(Display().gBackBuffer, 0, 0);
  EXPECT_NE(saved[60 * 160 + 50], empty) << "the left box is on the screen";
  EXPECT_NE(saved[60 * 160 + 110], empty) << "and the right one";
  EXPECT_NE(saved[60 * 160 + 50], saved[60 * 160 + 110]) << "each with its own texture";

  const std::string level = folder_.path() + "level.dat";
  ASSERT_EQ(SaveStaticWorldFile(level.c_str()), 1);
  ClearStaticGeometry();
  EXPECT_NE(Picture(), saved);
  ASSERT_EQ(LoadStaticWorldFile(level.c_str()), 1);
  EXPECT_EQ(Picture(), saved);
}

}  // namespace
}  // namespace vx
