// The scene on the device: the camera's views (and no NaN from a degenerate aim), projections that
// are refused whole, device lights (the default light, ranges of 0, a new device), fog and ambient
// changes that the next item is drawn with, the passes of the frame (what each draws, that an
// item no pass can take ends the pass, the order of the draw list, and that a steady frame
// allocates nothing), ghosts on a device that keeps no blend pair, the backdrop
// that the first object brings, and glue chains that hang each link on its own limb.
#include <dlfcn.h>

#include <atomic>
#include <bit>
#include <new>

#include "engine3d/lights.h"
#include "engine3d/maths3d.h"
#include "platform/d3d/device.h"
#include "platform/d3d/raster.h"
#include "surfaces/engine_textures.h"
#include "tests/engine3d/engine_world.h"

// Every allocation of this test program is counted, so that a test can see a frame make none;
// the allocation itself is left to the operators these replace (the sanitizer's or the library's).
namespace {
std::atomic<long> gAllocations{0};

template <class F>
F Next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}
}  // namespace

void* operator new(std::size_t size) {
  static const auto next = Next<void* (*)(std::size_t)>("_Znwm");
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  return next(size);
}
void* operator new[](std::size_t size) {
  static const auto next = Next<void* (*)(std::size_t)>("_Znam");
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  return next(size);
}
void operator delete(void* p) noexcept {
  static const auto next = Next<void (*)(void*)>("_ZdlPv");
  next(p);
}
void operator delete[](void* p) noexcept {
  static const auto next = Next<void (*)(void*)>("_ZdaPv");
  next(p);
}
void operator delete(void* p, std::size_t size) noexcept {
  static const auto next = Next<void (*)(void*, std::size_t)>("_ZdlPvm");
  next(p, size);
}
void operator delete[](void* p, std::size_t size) noexcept {
  static const auto next = Next<void (*)(void*, std::size_t)>("_ZdaPvm");
  next(p, size);
}

namespace vx {
namespace {

using namespace win;

class SceneTest : public test::EngineWorld {
 protected:
  static DWORD State(D3DRENDERSTATETYPE s) {
    DWORD v = 0;
    Display().gD3DDevice->GetRenderState(s, &v);
    return v;
  }
  static Matrix4f Transform(D3DTRANSFORMSTATETYPE t) {
    D3DMATRIX m;
    Display().gD3DDevice->GetTransform(t, &m);
    return FromD3DMatrix(m);
  }
  // Draws the frame and returns the triangle indices drawn.
  static uint32_t Frame() {
    DrawBackdropPlane();
    RenderScene();
    return Scene().gPolygonCounter;
  }
};

TEST_F(SceneTest, TheCameraAimsWithoutEverMakingANaN) {
  Scene().gCameraPosition.Set(0, 0, -10);
  Scene().gCameraLookAt.Set(0, 0, 0);
  UpdateCameraLookAt();
  Vector3f p;
  TransformCoord(p, Vector3f(0, 0, 0), Transform(D3DTRANSFORMSTATE_VIEW));
  EXPECT_NEAR(p.z, 10.0f, 1e-5f);
  for (const Vector3f& at : {Vector3f(0, 0, -10), Vector3f(0, 5, -10), Vector3f(0, -5, -10)}) {
    Scene().gCameraLookAt = at;
    UpdateCameraLookAt();
    EXPECT_TRUE(test::Finite(Scene().gViewMatrix));
  }
  Vector3f zero(0, 0, 0), out(9, 9, 9);
  Vector3Normalize(out, zero);
  EXPECT_EQ(std::tuple(out.x, out.y, out.z), std::tuple(0.0f, 0.0f, 0.0f));

  // Angle mode with no angles is the translation alone.
  Scene().gCameraMode = kCameraAngles;
  Scene().gCameraAngles.Set(0, 0, 0);
  UpdateCameraView();
  EXPECT_FLOAT_EQ(Scene().gViewMatrix.At(3, 2), 10.0f);
  EXPECT_FLOAT_EQ(Scene().gViewMatrix.At(0, 0), 1.0f);
}

TEST_F(SceneTest, ARefusedProjectionChangesNothing) {
  const Matrix4f before = Scene().gProjectionMatrix;
  EXPECT_EQ(SetProjection(1.0f, 1.005f, 1.0f), 0);
  EXPECT_EQ(SetProjection(1.0f, 100.0f, 0.0f), 0);
  EXPECT_EQ(SetProjection(1.0f, 100.0f, 3.1416f), 0);
  EXPECT_EQ(SetProjection(5.0f, 1.0f, 1.0f), 0);
  EXPECT_EQ(std::memcmp(&before, &Scene().gProjectionMatrix, sizeof before), 0);
  EXPECT_EQ(std::memcmp(&before, Transform(D3DTRANSFORMSTATE_PROJECTION).m, sizeof before), 0);
  EXPECT_EQ(SetProjection(2.0f, 50.0f, 1.0f), 1);
  EXPECT_EQ(std::memcmp(&Scene().gProjectionMatrix, Transform(D3DTRANSFORMSTATE_PROJECTION).m, sizeof before), 0);
  EXPECT_FALSE(ProjectionAcceptable(1.0f, 1.0f, 1.0f));
}

TEST_F(SceneTest, TheDefaultLightAndLightsOfNoRange) {
  D3DLIGHT7 light{};
  ASSERT_EQ(Display().gD3DDevice->GetLight(0, &light), D3D_OK);
  BOOL on = 0;
  Display().gD3DDevice->GetLightEnable(0, &on);
  EXPECT_TRUE(on);
  EXPECT_EQ(light.dltType, D3DLIGHT_DIRECTIONAL);
  EXPECT_FLOAT_EQ(light.dvDirection.y, -0.7f);
  EXPECT_NEAR(light.dvAttenuation2, 0.000001f, 1e-9f);

  for (float range : {0.0f, -5.0f}) {
    Engine().gLightRecords[0].range = range;
    Engine().gLightRecords[0].type = D3DLIGHT_POINT;
    EXPECT_EQ(ApplyLight(0), 1);
    Display().gD3DDevice->GetLight(0, &light);
    EXPECT_TRUE(std::isfinite(light.dvAttenuation2));
    EXPECT_GT(light.dvRange, 0.0f);
  }
  // Switched off, then the device is made again: the new device has it, off.
  Engine().gLightRecords[0].on = 0;
  ApplyLight(0);
  ASSERT_TRUE(ChooseD3DDevice());
  RestoreDeviceLights();
  Display().gD3DDevice->GetLightEnable(0, &on);
  EXPECT_FALSE(on);
  EXPECT_EQ(Engine().gLightRecords[0].deviceEnabled, 0);
  EXPECT_EQ(Display().gD3DDevice->GetLight(0, &light), D3D_OK);
  EXPECT_EQ(light.dltType, D3DLIGHT_POINT);
}

TEST_F(SceneTest, FogAndAmbientChangesReachTheNextItem) {
  const uint32_t cube = MakeCube(1, 1.0f);
  Place(cube, 0, 0, 5);
  Display().gFogAvailable = 1;
  EnableFog();
  SetFogDistance(40.0f);
  Frame();
  EXPECT_EQ(State(D3DRENDERSTATE_FOGENABLE), 1u);
  EXPECT_EQ(std::bit_cast<float>(State(D3DRENDERSTATE_FOGEND)), 40.0f);
  DisableFog();
  EXPECT_EQ(State(D3DRENDERSTATE_FOGENABLE), 0u);
  EnableFog();
  Frame();
  EXPECT_EQ(State(D3DRENDERSTATE_FOGENABLE), 1u) << "the item asks for fog again";

  DrawOf(cube).fullBright = 1;
  Frame();
  SetAmbientLevel(20);
  Frame();
  D3DMATERIAL7 material{};
  Display().gD3DDevice->GetMaterial(&material);
  EXPECT_EQ(material.ambient.r, 1.0f) << "full bright after the ambient change";
  EXPECT_EQ(material.diffuse.r, 0.0f);
  DrawOf(cube).fullBright = 0;
  Frame();
  Display().gD3DDevice->GetMaterial(&material);
  EXPECT_FLOAT_EQ(material.ambient.r, 0.2f);
}

TEST_F(SceneTest, EachPassDrawsItsItemsAndNoPassWaitsForOneItCannotTake) {
  Scene().gCameraPosition.Set(0, 0, 0);
  Scene().gCameraLookAt.Set(0, 0, 10);
  UpdateCameraLookAt();
  const uint32_t opaque = MakeCube(1, 1.0f);
  Place(opaque, 0, 0, 10);
  const uint32_t cubeIndices = Frame();
  EXPECT_EQ(cubeIndices, 36u);

  const uint32_t behind = MakeCube(2, 1.0f);
  Place(behind, 0, 0, -20);
  EXPECT_EQ(Frame(), cubeIndices) << "culled behind the camera";

  // A camera-locked item at z <= 0 and an overlay beyond the far plane are never drawn, and take
  // no other item's place.
  const uint32_t lockedBehind = MakeCube(3, 1.0f), lockedAhead = MakeCube(4, 1.0f);
  DrawOf(lockedBehind).cameraLocked = 1;
  Place(lockedBehind, 0, 0, -1);
  DrawOf(lockedAhead).cameraLocked = 1;
  Place(lockedAhead, 0, 0, 5);
  EXPECT_EQ(Frame(), 2 * cubeIndices);
  const uint32_t overlay = MakeCube(5, 1.0f);
  DrawOf(overlay).overlay = 1;
  Place(overlay, 0, 0, 8);
  EXPECT_EQ(Frame(), 3 * cubeIndices);
  const uint32_t ghost = MakeCube(6, 1.0f);
  DrawOf(ghost).ghost = 1;
  Place(ghost, 1, 0, 9);
  EXPECT_EQ(Frame(), 4 * cubeIndices);
  // The viewport and the view are back after the camera-locked pass.
  D3DVIEWPORT7 viewport{};
  Display().gD3DDevice->GetViewport(&viewport);
  EXPECT_EQ(viewport.dvMaxZ, 1.0f);
  EXPECT_EQ(std::memcmp(Transform(D3DTRANSFORMSTATE_VIEW).m, Scene().gViewMatrix.m, sizeof Scene().gViewMatrix.m), 0);
}

// Opaque meshes by texture group, the group of the nearest mean depth first (whatever order its
// objects were made in), then ghosts back to front, overlays front to back and camera-locked
// objects farthest first, the later item first among equal depths (the first for camera-locked).
TEST_F(SceneTest, TheFramesDrawListKeepsThePassesAndTheirOrders) {
  Scene().gCameraPosition.Set(0, 0, 0);
  Scene().gCameraLookAt.Set(0, 0, 10);
  UpdateCameraLookAt();
  struct Placed {
    float x, z;
    int32_t colour;  // the texture's colour
    int kind;        // 0 opaque, 1 ghost, 2 overlay, 3 camera-locked
  };
  // Group A's depths 10, 30 and 50 have the mean 30, below group B's 32: halving the running
  // depth at each object would put A at 35, behind B.
  const Placed placed[] = {{-4, 10, 0xFF0000, 0}, {-3, 30, 0xFF0000, 0}, {-2, 50, 0xFF0000, 0}, {-1, 32, 0x00FF00, 0},
                           {1, 15, 0, 1},         {2, 25, 0, 1},         {3, 15, 0, 1},         {4, 12, 0, 2},
                           {5, 8, 0, 2},          {6, 5, 0, 3},          {7, 7, 0, 3},          {8, -1, 0, 3}};
  int32_t number = 1;
  for (const Placed& p : placed) {
    const uint32_t cube = MakeCube(number++, 1.0f);
    if (p.colour) Engine().gObjectRecords[cube].model->SetTextureById(0, GetColorTexture(p.colour));
    DrawOf(cube).ghost = p.kind == 1;
    DrawOf(cube).overlay = p.kind == 2;
    DrawOf(cube).cameraLocked = p.kind == 3;
    Place(cube, p.x, 0, p.z);
  }
  Frame();  // the backdrop shows from the next frame
  Scene().gBackdropOn = 0;
  std::vector<float> drawn;
  Display().gD3DDevice->SetDrawObserver(
      [&](const Direct3DDevice::DrawObservation& d) { drawn.push_back(d.world._41); });
  EXPECT_EQ(Frame(), 11u * 36);
  Display().gD3DDevice->SetDrawObserver(nullptr);
  EXPECT_EQ(drawn, (std::vector<float>{-4, -3, -2, -1, 2, 3, 1, 5, 4, 7, 6}));
  // The world transform is the device's own again.
  EXPECT_TRUE(std::memcmp(Transform(D3DTRANSFORMSTATE_WORLD).m, Scene().gWorldBaseMatrix.m,
                          sizeof Scene().gWorldBaseMatrix.m) == 0);
}

// Once the frame's lists have grown to the scene, a frame allocates nothing: not the engine's
// draw list, nor the device (its tile threads aside: one thread draws here).
TEST_F(SceneTest, ASteadyFrameAllocatesNothing) {
  raster::SetThreadCount(1);
  Scene().gCameraPosition.Set(0, 0, 0);
  Scene().gCameraLookAt.Set(0, 0, 10);
  UpdateCameraLookAt();
  for (int32_t number = 1; number <= 6; ++number) {
    const uint32_t cube = MakeCube(number, 1.0f);
    Engine().gObjectRecords[cube].model->SetTextureById(0, GetColorTexture(number % 2 ? 0xFF0000 : 0x00FF00));
    DrawOf(cube).ghost = number == 5;
    Place(cube, float(number) - 3.5f, 0, 10);
  }
  for (int i = 0; i < 3; ++i) Frame();
  const long before = gAllocations.load();
  EXPECT_EQ(Frame(), 6u * 36);
  EXPECT_EQ(gAllocations.load() - before, 0);
  raster::SetThreadCount(0);
}

TEST_F(SceneTest, GhostsOnADeviceWithoutABlendPairStillBlendValidly) {
  const uint32_t cube = MakeCube(1, 1.0f);
  Place(cube, 0, 0, 5);
  DrawOf(cube).ghost = 1;
  for (uint32_t mode : {0u, 1u}) {
    DrawOf(cube).ghostMode = int32_t(mode);
    Display().gBlendLevel = 1;
    Display().gGhostSrcBlend = Display().gGhostDestBlend = Display().gGhostSrcBlend2 = Display().gGhostDestBlend2 = 0;
    Scene().gRenderStateCache.blend = 0;
    Frame();
    EXPECT_NE(State(D3DRENDERSTATE_SRCBLEND), 0u);
    EXPECT_NE(State(D3DRENDERSTATE_DESTBLEND), 0u);
    ResetRenderStates();
    EXPECT_NE(State(D3DRENDERSTATE_SRCBLEND), 0u);
  }
}

TEST_F(SceneTest, TheFirstObjectBringsTheBackdrop) {
  EXPECT_EQ(Scene().gBackdropObject, 0);
  MakeCube(1, 1.0f);
  ASSERT_GT(Scene().gBackdropObject, 0);
  EXPECT_EQ(Scene().gBackdropPending, 0);
  Frame();
  EXPECT_EQ(Scene().gBackdropOn, 1) << "shown from the frame after it was asked for";
  Scene().gPolygonCounter = 0;
  DrawBackdropPlane();
  EXPECT_EQ(Scene().gPolygonCounter, 36u) << "the plane's 12 triangles";
  EXPECT_EQ(Scene().gSceneBegun, 1) << "the plane began the scene";
  RenderScene();
  EXPECT_EQ(Scene().gSceneBegun, 0);
  MakeCube(2, 1.0f);
  EXPECT_EQ(Engine().gObjectRecords.usedCount, 4) << "slot 0, the plane and two cubes: one plane only";
}

TEST_F(SceneTest, AGlueChainHangsEachLinkOnItsOwnLimb) {
  // A: limbs 1 at (10, 0, 0) and 2 at (0, 20, 0); B: limb 1 at (0, 0, 5); C hangs on B's limb 1,
  // B on A's limb 2.
  auto loadFrames = [&](int32_t number, const std::string& text) {
    LoadObject(folder_.Write("m" + std::to_string(number) + ".x", text), number);
    return ObjectSlotOf(number);
  };
  const std::string quad =
      "Mesh { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; MeshNormals { 1; 0;0;-1;; 1; 3;0,0,0;; } }\n";
  const uint32_t a = loadFrames(
      1, "xof 0303txt 0032\nFrame one { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 10,0,0,1;; } " + quad +
             "}\nFrame two { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,20,0,1;; } " + quad + "}\n");
  const uint32_t b = loadFrames(
      2, "xof 0303txt 0032\nFrame one { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,5,1;; } " + quad + "}\n");
  const uint32_t c = loadFrames(3, "xof 0303txt 0032\n" + quad);
  ASSERT_TRUE(a && b && c);
  Engine().gObjectRecords[b].gluedObject = int32_t(a);
  Engine().gObjectRecords[b].gluedLimb = 2;
  Engine().gObjectRecords[c].gluedObject = int32_t(b);
  Engine().gObjectRecords[c].gluedLimb = 1;
  for (uint32_t s : {a, b, c}) Engine().gObjectRecords[s].worldMatricesCurrent = 0;
  Matrix4f identity;
  MatrixIdentity(identity);
  // The device's world transform is neither read nor written on the way.
  Matrix4f elsewhere = identity;
  elsewhere.At(3, 0) = elsewhere.At(3, 1) = elsewhere.At(3, 2) = 7.0f;
  const D3DMATRIX e = ToD3DMatrix(elsewhere);
  Display().gD3DDevice->SetTransform(D3DTRANSFORMSTATE_WORLD, &e);
  const Matrix4f world = ApplyGlueTransform(c, b, identity);
  EXPECT_FLOAT_EQ(world.At(3, 0), 0.0f);
  EXPECT_FLOAT_EQ(world.At(3, 1), 20.0f);
  EXPECT_FLOAT_EQ(world.At(3, 2), 5.0f);
  EXPECT_FLOAT_EQ(Transform(D3DTRANSFORMSTATE_WORLD).At(3, 0), 7.0f);
}

}  // namespace
}  // namespace vx
