// A static world on a headless display with a software 3D device: meshes built in memory (boxes of
// quad faces, triangle strips), one-colour textures, a camera looking along +z, and the world
// released after each test with every texture use it took given back.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "engine3d/maths3d.h"
#include "engine3d/static_world.h"
#include "images/image_context.h"
#include "platform/d3d/direct3d.h"
#include "surfaces/engine_textures.h"
#include "surfaces/texture_names.h"
#include "tests/engine3d/surface_fixture.h"

namespace vx::test {

// A mesh's arrays in the layout the static world takes.
struct TestMesh {
  std::vector<float> positions, normals, uvs;
  std::vector<uint32_t> faces;
  uint32_t faceCount = 0;

  uint32_t Vertex(float x, float y, float z, float u = 0, float v = 0) {
    positions.insert(positions.end(), {x, y, z});
    normals.insert(normals.end(), {0, 0, -1});
    uvs.insert(uvs.end(), {u, v});
    return uint32_t(positions.size() / 3 - 1);
  }
  void Face(std::initializer_list<uint32_t> corners) {
    faces.push_back(uint32_t(corners.size()));
    for (uint32_t c : corners) faces.insert(faces.end(), {c, c});
    ++faceCount;
  }
  StaticMeshData Data() const {
    return {positions.data(),
            normals.data(),
            faces.data(),
            uvs.data(),
            uint32_t(positions.size() / 3),
            uint32_t(normals.size() / 3),
            faceCount,
            uint32_t(faces.size())};
  }
};

// A box of eight corner vertices and six quad faces, centred on (x, y, z) with the given sides.
inline TestMesh BoxMesh(float x, float y, float z, float w, float h, float d) {
  TestMesh m;
  for (int i = 0; i < 8; ++i)
    m.Vertex(x + (i & 4 ? w : -w) / 2, y + (i & 2 ? h : -h) / 2, z + (i & 1 ? d : -d) / 2, float(i & 1),
             float((i >> 1) & 1));
  m.Face({0, 2, 6, 4});
  m.Face({1, 5, 7, 3});
  m.Face({0, 1, 3, 2});
  m.Face({4, 6, 7, 5});
  m.Face({0, 4, 5, 1});
  m.Face({2, 3, 7, 6});
  return m;
}

// n vertices along x at z, joined into n - 2 triangles.
inline TestMesh StripMesh(uint32_t n, float z = 100.0f) {
  TestMesh m;
  for (uint32_t i = 0; i < n; ++i) m.Vertex(float(i % 50) * 0.1f, float(i % 2), z);
  for (uint32_t i = 0; i + 2 < n; ++i) m.Face({i, i + 1, i + 2});
  return m;
}

// The camera at the eye looking at `at`, the display's projection (near 1, far 3000).
inline StaticView LookingAt(Vector3f eye, Vector3f at, float width = 64, float height = 48) {
  StaticView v{};
  MatrixIdentity(v.worldBase);
  MatrixLookAt(v.view, eye, at, {0, 1, 0});
  MatrixPerspective(v.projection, 1.0814433f, height / width, 1.0f, 3000.0f);
  v.farRange = 3000.0f;
  return v;
}
inline StaticView LookingAhead() { return LookingAt({0, 0, 0}, {0, 0, 100}); }

class StaticWorldTest : public SurfaceWorld {
 protected:
  void SetUp() override {
    MakeWorld(32, 64, 48, win::DDSCAPS_SYSTEMMEMORY | win::DDSCAPS_3DDEVICE);
    Display().gPrimarySurface = MakePrimarySurface(Display().gDirectDraw);
    ASSERT_NE(Display().gPrimarySurface, nullptr);
    ResetEngineRecords();  // attaches the image context to the display
    win::Direct3DProfile profile = win::StandardDirect3DProfile();
    const win::D3DDEVICEDESC7 caps = win::StandardDeviceCaps(win::IID_IDirect3DRGBDevice, false);
    profile.devices = {{"Software", "RGB", caps}};
    win::SetDirect3DProfile(profile);
    ASSERT_EQ(win::CreateDirect3D(Display().gDirectDraw, &Display().gDirect3D), win::D3D_OK);
    ASSERT_EQ(
        Display().gDirect3D->CreateDevice(win::IID_IDirect3DRGBDevice, Display().gBackBuffer, &Display().gD3DDevice),
        win::D3D_OK);
    Display().gTextureFormatCount = Display().gDxtTextures = 0;
    for (const win::DDPIXELFORMAT& f : profile.textureFormats) {
      Display().gTextureFormats[size_t(Display().gTextureFormatCount++)] = f;
      if (f.dwFlags & win::DDPF_FOURCC) Display().gDxtTextures = 1;
    }
    Display().gCameraFar = 3000.0f;
    ResetStaticWorld();
  }
  void TearDown() override {
    ReleaseStaticWorld();
    for (uint32_t slot : textures_) ReleaseTextureSlot(slot, 0);
    EXPECT_EQ(Records().gTextureNameList, nullptr) << "a texture use was not given back";
    ReleaseImageContext();
    if (auto* device = std::exchange(Display().gD3DDevice, nullptr)) device->Release();
    if (auto* direct3D = std::exchange(Display().gDirect3D, nullptr)) direct3D->Release();
    win::SetDirect3DProfile(win::StandardDirect3DProfile());
    if (auto* primary = std::exchange(Display().gPrimarySurface, nullptr)) primary->Release();
    SurfaceWorld::TearDown();
  }

  // A one-colour texture the test holds one use of.
  uint32_t ColourTexture(uint32_t colour) {
    const uint32_t slot = GetColorTexture(int32_t(colour));
    EXPECT_GT(slot, 0u);
    textures_.push_back(slot);
    return slot;
  }
  static int32_t UsesOf(uint32_t textureSlot) {
    const TextureNameEntry* e = Records().gTextureRecords[textureSlot].nameEntry;
    return TextureNameListHolds(e) ? e->useCount : 0;
  }
  static int32_t Add(uint32_t texture, const TestMesh& mesh, int32_t cullingBox = 0, int32_t radius = 0,
                     int32_t owner = 0, int32_t extra = 0) {
    return AddStaticPart(texture, mesh.Data(), cullingBox, radius, owner, extra);
  }
  static std::vector<StaticPart*> Parts() {
    std::vector<StaticPart*> parts;
    for (StaticTextureGroup& g : Engine().gStaticWorld.geometry.groups)
      for (StaticPart& p : g.parts) parts.push_back(&p);
    return parts;
  }
  // Culls through the view and draws inside a scene.
  static StaticDrawStats Frame(const StaticView& view = LookingAhead()) {
    CullStaticWorld(view);
    EXPECT_EQ(Display().gD3DDevice->BeginScene(), win::D3D_OK);
    const StaticDrawStats stats = DrawStaticWorld();
    EXPECT_EQ(Display().gD3DDevice->EndScene(), win::D3D_OK);
    return stats;
  }

  std::vector<uint32_t> textures_;
};

}  // namespace vx::test
