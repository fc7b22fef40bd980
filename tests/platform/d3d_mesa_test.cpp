// The device's pictures of the reference scenes against Mesa's fixed-function OpenGL (drawn by
// the vx_mesa_reference tool): lit, fogged, textured, blended and depth-tested scenes must match
// within a small tolerance except for a few pixels along edges.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/platform/d3d_render_support.h"
#include "tests/support/reference_scenes.h"
#include "tests/support/temp_folder.h"

namespace vx::win::testing {
namespace {

bool ReadPpm(const std::string& path, test::Picture* out) {
  std::ifstream file(path, std::ios::binary);
  std::string magic;
  int maximum = 0;
  file >> magic >> out->width >> out->height >> maximum;
  file.get();
  if (!file || magic != "P6" || maximum != 255 || out->width <= 0 || out->height <= 0) return false;
  out->pixels.resize(size_t(out->width) * out->height);
  for (uint32_t& p : out->pixels) {
    unsigned char rgb[3];
    if (!file.read(reinterpret_cast<char*>(rgb), 3)) return false;
    p = 0xFF000000u | uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2];
  }
  return true;
}

class D3DAgainstMesa : public D3DRender {
 protected:
  // The scene drawn by the device: OpenGL's view space mirrored in z is the device's eye space.
  test::Picture DrawScene(const test::ReferenceScene& scene) {
    Start(DWORD(scene.width), DWORD(scene.height));
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, scene.clear, 1.0f, 0), D3D_OK);
    const D3DMATRIX mirror = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1};
    const D3DMATRIX projection =
        Perspective(scene.fovY, float(scene.width) / float(scene.height), scene.zNear, scene.zFar);
    device_->SetTransform(D3DTRANSFORMSTATE_VIEW, &mirror);
    device_->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &projection);
    D3DLIGHT7 light{};
    light.dcvDiffuse = {1, 1, 1, 1};
    if (scene.pointLight) {
      light.dltType = D3DLIGHT_POINT;
      light.dvPosition = {scene.light[0], scene.light[1], scene.light[2]};
      light.dvRange = 1000.0f;
      light.dvAttenuation0 = scene.attenuation[0];
      light.dvAttenuation1 = scene.attenuation[1];
      light.dvAttenuation2 = scene.attenuation[2];
    } else {
      light.dltType = D3DLIGHT_DIRECTIONAL;
      light.dvDirection = {-scene.light[0], -scene.light[1], -scene.light[2]};
    }
    EXPECT_EQ(device_->SetLight(0, &light), D3D_OK);
    EXPECT_EQ(device_->LightEnable(0, 1), D3D_OK);
    Set(D3DRENDERSTATE_AMBIENT, 0x00FFFFFF);
    Set(D3DRENDERSTATE_NORMALIZENORMALS, 1);
    Set(D3DRENDERSTATE_CULLMODE, D3DCULL_CW);  // the fronts wind counter-clockwise on the screen
    if (scene.fog) {
      Set(D3DRENDERSTATE_FOGENABLE, 1);
      Set(D3DRENDERSTATE_FOGVERTEXMODE, scene.fog == 1 ? D3DFOG_LINEAR : D3DFOG_EXP);
      Set(D3DRENDERSTATE_FOGSTART, FloatBits(scene.fogStart));
      Set(D3DRENDERSTATE_FOGEND, FloatBits(scene.fogEnd));
      Set(D3DRENDERSTATE_FOGDENSITY, FloatBits(scene.fogDensity));
      Set(D3DRENDERSTATE_FOGCOLOR, scene.fogColour);
    }
    Ref<DirectDrawSurface> texture;
    if (!scene.texture.empty()) texture = Texture(16, 16, scene.texture);
    SetStage(0, D3DTSS_MAGFILTER, D3DTFG_LINEAR);
    SetStage(0, D3DTSS_MINFILTER, D3DTFN_LINEAR);
    Set(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
    Set(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
    for (const test::SceneMesh& mesh : scene.meshes) {
      D3DMATERIAL7 material{};
      material.ambient = {scene.ambient, scene.ambient, scene.ambient, 1};
      material.diffuse = {mesh.diffuse[0], mesh.diffuse[1], mesh.diffuse[2], mesh.diffuse[3]};
      device_->SetMaterial(&material);
      device_->SetTexture(0, mesh.textured ? texture.get() : nullptr);
      SetStage(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
      SetStage(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
      Set(D3DRENDERSTATE_ALPHABLENDENABLE, mesh.diffuse[3] < 1.0f);
      D3DMATRIX world;
      std::memcpy(&world, mesh.world, sizeof world);
      device_->SetTransform(D3DTRANSFORMSTATE_WORLD, &world);
      EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, mesh.vertices.data(),
                                              DWORD(mesh.vertices.size()), mesh.indices.data(),
                                              DWORD(mesh.indices.size()), 0),
                D3D_OK);
    }
    return Shot();
  }
};

TEST_F(D3DAgainstMesa, ReferenceScenesMatchMesasPictures) {
#ifndef VX_MESA_REFERENCE
  GTEST_SKIP() << "built without OSMesa: no reference pictures";
#else
  test::TempFolder folder;
  for (const test::ReferenceScene& scene : test::ReferenceScenes()) {
    SCOPED_TRACE(scene.name);
    const std::string path = folder.path() + scene.name + ".ppm";
    const std::string command = std::string("'") + VX_MESA_REFERENCE + "' " + scene.name + " '" + path + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    test::Picture mesa;
    ASSERT_TRUE(ReadPpm(path, &mesa));
    const test::Picture ours = DrawScene(scene);
    // Within 3 steps a channel; edges may fall a pixel apart: one pixel in a hundred may differ more.
    const int allowed = scene.width * scene.height / 100;
    EXPECT_TRUE(test::MatchesPicture(ours, mesa, "mesa-" + scene.name, {3, allowed}));
  }
#endif
}

}  // namespace
}  // namespace vx::win::testing
