// Pictures of the engine's frame that can be worked out by hand: a full-bright object shows its
// one-colour texture exactly, a plane lit by the default light has 0.5 + 0.5 N.L of its colour
// (ambient level one half), and a plane at the fog's end distance has the fog colour. Needs a
// device that fills triangles; with one that only records them the tests are skipped.
#include <cmath>

#include "platform/d3d/device.h"
#include "surfaces/engine_textures.h"
#include "tests/engine3d/engine_world.h"

namespace vx {
namespace {

using namespace win;

#if __has_include("platform/d3d/raster.h")
constexpr bool kDeviceFills = true;
#else
constexpr bool kDeviceFills = false;
#endif

class ScenePixelsTest : public test::EngineWorld {
 protected:
  void SetUp() override {
    EngineWorld::SetUp();
    if (!kDeviceFills) GTEST_SKIP() << "the device only records its triangles";
    BackdropPlaneOff();  // the frame is cleared here instead
  }
  // A 4 x 4 plain 5 units ahead, facing the camera, with a one-colour texture.
  uint32_t Plain(uint32_t colour) {
    const uint32_t slot = MakeMeshObject(1, [](uint32_t mesh) { LoadPlainMesh(mesh, 4.0f, 4.0f); });
    Engine().gObjectRecords[slot].model->SetTextureById(0, GetColorTexture(int32_t(colour)));
    DrawOf(slot).culling = 0;
    Place(slot, 0, 0, 5);
    return slot;
  }
  static uint32_t CentreAfterFrame() {
    Display().gD3DDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    RenderScene();
    return test::ColourAt(Display().gBackBuffer, 80, 60);
  }
  static int Channel(uint32_t c, int shift) { return int((c >> shift) & 0xFF); }
};

TEST_F(ScenePixelsTest, AFullBrightObjectShowsItsTextureColourExactly) {
  const uint32_t plain = Plain(0xFF00FF);
  DrawOf(plain).fullBright = 1;
  EXPECT_EQ(CentreAfterFrame(), 0xFF00FFu);
}

TEST_F(ScenePixelsTest, APlaneFacingTheCameraIsLitByTheDefaultLight) {
  Plain(0xFFFFFF);
  // Light travels along (0.2, -0.7, 0.1); the plane's normal is (0, 0, -1).
  const float length = std::sqrt(0.2f * 0.2f + 0.7f * 0.7f + 0.1f * 0.1f);
  const float lit = 0.5f + 0.5f * (0.1f / length);
  const uint32_t centre = CentreAfterFrame();
  for (int shift : {0, 8, 16}) EXPECT_NEAR(Channel(centre, shift), lit * 255.0f, 2.0) << shift;
}

TEST_F(ScenePixelsTest, APlaneAtTheFogsEndHasTheFogColour) {
  const uint32_t plain = Plain(0xFF00FF);
  DrawOf(plain).fullBright = 1;
  Display().gFogAvailable = 1;
  SetFogColour(0x00FF00);
  SetFogDistance(5.0f);
  EnableFog();
  const uint32_t centre = CentreAfterFrame();
  EXPECT_NEAR(Channel(centre, 16), 0, 2);
  EXPECT_NEAR(Channel(centre, 8), 255, 2);
  EXPECT_NEAR(Channel(centre, 0), 0, 2);
}

}  // namespace
}  // namespace vx
