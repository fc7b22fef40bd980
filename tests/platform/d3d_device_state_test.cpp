// The device's tracked state: render and texture-stage states from the Direct3D 7 defaults,
// transforms, the viewport, lights, the material and textures, each checked as the real device does.
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

#include "tests/platform/ddraw_test_support.h"

namespace vx::win::testing {
namespace {

class D3DDeviceState : public D3DTest {
 protected:
  void SetUp() override {
    D3DTest::SetUp();
    Open(64, 48);
  }
  DWORD RenderState(DWORD state) {
    DWORD value = 0xDEADBEEF;
    EXPECT_EQ(device_->GetRenderState(state, &value), D3D_OK) << state;
    return value;
  }
  DWORD StageState(DWORD stage, DWORD state) {
    DWORD value = 0xDEADBEEF;
    EXPECT_EQ(device_->GetTextureStageState(stage, state, &value), D3D_OK) << stage << "/" << state;
    return value;
  }
};

template <class T>
bool SameBytes(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST_F(D3DDeviceState, StatesStartAtTheDirect3D7Defaults) {
  const struct { DWORD state, value; } renderDefaults[] = {
      {D3DRENDERSTATE_ZENABLE, D3DZB_TRUE},  // a depth buffer is attached
      {D3DRENDERSTATE_ZWRITEENABLE, 1},           {D3DRENDERSTATE_ZFUNC, D3DCMP_LESSEQUAL},
      {D3DRENDERSTATE_CULLMODE, D3DCULL_CCW},     {D3DRENDERSTATE_FILLMODE, D3DFILL_SOLID},
      {D3DRENDERSTATE_SHADEMODE, D3DSHADE_GOURAUD}, {D3DRENDERSTATE_LIGHTING, 1},
      {D3DRENDERSTATE_CLIPPING, 1},               {D3DRENDERSTATE_TEXTUREPERSPECTIVE, 1},
      {D3DRENDERSTATE_SRCBLEND, D3DBLEND_ONE},    {D3DRENDERSTATE_DESTBLEND, D3DBLEND_ZERO},
      {D3DRENDERSTATE_ALPHABLENDENABLE, 0},       {D3DRENDERSTATE_ALPHAFUNC, D3DCMP_ALWAYS},
      {D3DRENDERSTATE_COLORKEYENABLE, 0},         {D3DRENDERSTATE_DITHERENABLE, 0},
      {D3DRENDERSTATE_SPECULARENABLE, 0},         {D3DRENDERSTATE_FOGENABLE, 0},
      {D3DRENDERSTATE_FOGTABLEMODE, D3DFOG_NONE}, {D3DRENDERSTATE_FOGVERTEXMODE, D3DFOG_NONE},
      {D3DRENDERSTATE_FOGEND, std::bit_cast<DWORD>(1.0f)}, {D3DRENDERSTATE_AMBIENT, 0},
      {D3DRENDERSTATE_COLORVERTEX, 1},            {D3DRENDERSTATE_LOCALVIEWER, 1},
      {D3DRENDERSTATE_NORMALIZENORMALS, 0},       {D3DRENDERSTATE_STENCILMASK, 0xFFFFFFFF},
      {D3DRENDERSTATE_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1}, {D3DRENDERSTATE_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL},
  };
  for (const auto& d : renderDefaults) EXPECT_EQ(RenderState(d.state), d.value) << "state " << d.state;

  const struct { DWORD stage, state, value; } stageDefaults[] = {
      {0, D3DTSS_COLOROP, D3DTOP_MODULATE},    {1, D3DTSS_COLOROP, D3DTOP_DISABLE},
      {7, D3DTSS_COLOROP, D3DTOP_DISABLE},     {0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1},
      {1, D3DTSS_ALPHAOP, D3DTOP_DISABLE},     {0, D3DTSS_COLORARG1, D3DTA_TEXTURE},
      {3, D3DTSS_COLORARG2, D3DTA_CURRENT},    {0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE},
      {0, D3DTSS_MAGFILTER, D3DTFG_POINT},     {0, D3DTSS_MINFILTER, D3DTFN_POINT},
      {0, D3DTSS_MIPFILTER, D3DTFP_NONE},      {0, D3DTSS_ADDRESS, D3DTADDRESS_WRAP},
      {0, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP},  {2, D3DTSS_TEXCOORDINDEX, 2},
      {7, D3DTSS_MAXANISOTROPY, 1},            {0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE},
  };
  for (const auto& d : stageDefaults) EXPECT_EQ(StageState(d.stage, d.state), d.value) << d.stage << "/" << d.state;

  // Without a depth buffer, depth testing starts off.
  Ref<DirectDrawSurface> bare = MakeTarget(8, 8, 32, 0);
  Ref<Direct3DDevice> device = MakeDevice(bare.get());
  DWORD z = 0xDEADBEEF;
  ASSERT_EQ(device->GetRenderState(D3DRENDERSTATE_ZENABLE, &z), D3D_OK);
  EXPECT_EQ(z, D3DZB_FALSE);
}

TEST_F(D3DDeviceState, StatesKeepWhatIsSetAndRefuseWhatTheDeviceDoesNotKnow) {
  EXPECT_EQ(device_->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE), D3D_OK);
  EXPECT_EQ(device_->SetRenderState(D3DRENDERSTATE_FOGEND, std::bit_cast<DWORD>(1000.0f)), D3D_OK);
  EXPECT_EQ(RenderState(D3DRENDERSTATE_CULLMODE), D3DCULL_NONE);
  EXPECT_EQ(RenderState(D3DRENDERSTATE_FOGEND), std::bit_cast<DWORD>(1000.0f));

  const struct { DWORD state, value; } refused[] = {
      {1, 0},  // the texture handle of earlier interfaces
      {3, 1}, {0, 0}, {200, 0}, {D3DRENDERSTATE_CULLMODE, 0}, {D3DRENDERSTATE_CULLMODE, 4},
      {D3DRENDERSTATE_FILLMODE, 4}, {D3DRENDERSTATE_ZENABLE, 3}, {D3DRENDERSTATE_SRCBLEND, 14},
      {D3DRENDERSTATE_DESTBLEND, 0}, {D3DRENDERSTATE_FOGTABLEMODE, 4}, {D3DRENDERSTATE_ZFUNC, 9},
  };
  for (const auto& r : refused) {
    EXPECT_EQ(device_->SetRenderState(r.state, r.value), D3DERR_INVALIDCALL) << r.state << "=" << r.value;
  }
  EXPECT_EQ(RenderState(D3DRENDERSTATE_CULLMODE), D3DCULL_NONE);
  DWORD value = 0;
  EXPECT_EQ(device_->GetRenderState(200, &value), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->GetRenderState(D3DRENDERSTATE_ZENABLE, nullptr), D3DERR_INVALIDCALL);

  EXPECT_EQ(device_->SetTextureStageState(0, D3DTSS_ADDRESS, D3DTADDRESS_MIRROR), D3D_OK);
  EXPECT_EQ(StageState(0, D3DTSS_ADDRESSU), D3DTADDRESS_MIRROR);  // the combined mode sets both
  EXPECT_EQ(StageState(0, D3DTSS_ADDRESSV), D3DTADDRESS_MIRROR);
  EXPECT_EQ(device_->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTFP_LINEAR), D3D_OK);
  EXPECT_EQ(StageState(0, D3DTSS_MIPFILTER), D3DTFP_LINEAR);
  EXPECT_EQ(StageState(1, D3DTSS_MIPFILTER), D3DTFP_NONE);

  const struct { DWORD stage, state, value; } refusedStage[] = {
      {8, D3DTSS_COLOROP, D3DTOP_MODULATE}, {0, 0, 0}, {0, 25, 0}, {0, D3DTSS_COLOROP, 0},
      {0, D3DTSS_COLOROP, 25}, {0, D3DTSS_ADDRESS, 5}, {0, D3DTSS_MAGFILTER, 6}, {0, D3DTSS_MINFILTER, 4},
      {0, D3DTSS_MIPFILTER, 0}, {0, D3DTSS_COLORARG1, 5}, {0, D3DTSS_COLORARG1, D3DTA_TEXTURE | 0x40},
  };
  for (const auto& r : refusedStage) {
    EXPECT_EQ(device_->SetTextureStageState(r.stage, r.state, r.value), D3DERR_INVALIDCALL)
        << r.stage << "/" << r.state << "=" << r.value;
  }
  EXPECT_EQ(device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT), D3D_OK);
}

TEST_F(D3DDeviceState, TransformsGiveBackExactlyWhatWasStored) {
  const D3DMATRIX identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  D3DMATRIX odd = {-0.0f, 1e-38f, 3.4e38f, -1.5f, 0.1f, 0.2f, 0.3f, 0.4f, 5, 6, 7, 8, 9, 10, 11, 12};
  odd._44 = std::numeric_limits<float>::quiet_NaN();
  for (DWORD type : {D3DTRANSFORMSTATE_WORLD, D3DTRANSFORMSTATE_VIEW, D3DTRANSFORMSTATE_PROJECTION,
                     D3DTRANSFORMSTATE_WORLD1, D3DTRANSFORMSTATE_WORLD3, D3DTRANSFORMSTATE_TEXTURE0,
                     D3DTRANSFORMSTATE_TEXTURE7}) {
    D3DMATRIX read{};
    ASSERT_EQ(device_->GetTransform(type, &read), D3D_OK) << type;
    EXPECT_TRUE(SameBytes(read, identity)) << type;
    odd._41 = static_cast<float>(type);
    ASSERT_EQ(device_->SetTransform(type, &odd), D3D_OK) << type;
    ASSERT_EQ(device_->GetTransform(type, &read), D3D_OK) << type;
    EXPECT_TRUE(SameBytes(read, odd)) << type;
  }
  for (DWORD type : {0u, 7u, 15u, 24u}) {
    D3DMATRIX read{};
    EXPECT_EQ(device_->SetTransform(type, &identity), D3DERR_INVALIDCALL) << type;
    EXPECT_EQ(device_->GetTransform(type, &read), D3DERR_INVALIDCALL) << type;
  }
  EXPECT_EQ(device_->SetTransform(D3DTRANSFORMSTATE_WORLD, nullptr), D3DERR_INVALIDCALL);

  // Multiplying puts the given matrix first: a scale times a translation scales only the axes.
  const D3DMATRIX translate = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 6, 7, 1};
  const D3DMATRIX scale = {2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 1};
  ASSERT_EQ(device_->SetTransform(D3DTRANSFORMSTATE_WORLD, &translate), D3D_OK);
  ASSERT_EQ(device_->MultiplyTransform(D3DTRANSFORMSTATE_WORLD, &scale), D3D_OK);
  D3DMATRIX product{};
  device_->GetTransform(D3DTRANSFORMSTATE_WORLD, &product);
  EXPECT_TRUE(SameBytes(product, D3DMATRIX{2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 5, 6, 7, 1}));
}

TEST_F(D3DDeviceState, ViewportsMustLieInsideTheTarget) {
  D3DVIEWPORT7 viewport{};
  ASSERT_EQ(device_->GetViewport(&viewport), D3D_OK);
  EXPECT_TRUE(SameBytes(viewport, D3DVIEWPORT7{0, 0, 64, 48, 0.0f, 1.0f}));

  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct { D3DVIEWPORT7 viewport; HRESULT expected; } cases[] = {
      {{0, 0, 64, 48, 0.0f, 1.0f}, D3D_OK},
      {{10, 5, 54, 43, 0.0f, 1.0f}, D3D_OK},
      {{0, 0, 64, 48, 0.0f, 0.0f}, D3D_OK},  // depth range squeezed to the front
      {{0, 0, 0, 48, 0.0f, 1.0f}, D3DERR_INVALIDCALL},
      {{0, 0, 64, 0, 0.0f, 1.0f}, D3DERR_INVALIDCALL},
      {{1, 0, 64, 48, 0.0f, 1.0f}, D3DERR_INVALIDCALL},
      {{0, 1, 64, 48, 0.0f, 1.0f}, D3DERR_INVALIDCALL},
      {{0xFFFFFFFF, 0, 2, 48, 0.0f, 1.0f}, D3DERR_INVALIDCALL},  // wraps in 32 bits
      {{0, 0, 64, 48, -0.1f, 1.0f}, D3DERR_INVALIDCALL},
      {{0, 0, 64, 48, 0.0f, 1.5f}, D3DERR_INVALIDCALL},
      {{0, 0, 64, 48, nan, 1.0f}, D3DERR_INVALIDCALL},
  };
  const D3DVIEWPORT7 kept = {3, 4, 20, 10, 0.25f, 0.75f};
  for (const auto& c : cases) {
    ASSERT_EQ(device_->SetViewport(&kept), D3D_OK);
    EXPECT_EQ(device_->SetViewport(&c.viewport), c.expected)
        << c.viewport.dwX << "," << c.viewport.dwY << " " << c.viewport.dwWidth << "x" << c.viewport.dwHeight;
    D3DVIEWPORT7 read{};
    device_->GetViewport(&read);
    EXPECT_TRUE(SameBytes(read, c.expected == D3D_OK ? c.viewport : kept));
  }
  EXPECT_EQ(device_->SetViewport(nullptr), D3DERR_INVALIDCALL);
  InjectDirect3DFaults([](auto& f) { f.failSetViewport = true; });
  EXPECT_TRUE(Failed(device_->SetViewport(&kept)));
}

D3DLIGHT7 Light(D3DLIGHTTYPE type) {
  return {.dltType = type, .dcvDiffuse = {1.0f, 1.0f, 1.0f, 0.0f}, .dcvSpecular = {}, .dcvAmbient = {},
          .dvPosition = {0.0f, 10.0f, 0.0f}, .dvDirection = {0.2f, -0.7f, 0.1f}, .dvRange = 3000.0f,
          .dvFalloff = 1.0f, .dvAttenuation0 = 1.0f, .dvAttenuation1 = 0.0f,
          .dvAttenuation2 = 1.0f / (1000.0f * 1000.0f), .dvTheta = 0.5f, .dvPhi = 1.0f};
}

TEST_F(D3DDeviceState, LightsAreCheckedAsTheRealDeviceChecksThem) {
  const struct { const char* what; D3DLIGHTTYPE type; void (*change)(D3DLIGHT7&); HRESULT expected; } cases[] = {
      {"directional", D3DLIGHT_DIRECTIONAL, nullptr, D3D_OK},
      {"point", D3DLIGHT_POINT, nullptr, D3D_OK},
      {"spot", D3DLIGHT_SPOT, nullptr, D3D_OK},
      {"type 0", 0, nullptr, D3DERR_INVALIDCALL},
      {"parallel point", 4, nullptr, D3DERR_INVALIDCALL},
      {"directional without direction", D3DLIGHT_DIRECTIONAL, [](D3DLIGHT7& l) { l.dvDirection = {0, 0, 0}; },
       D3DERR_INVALIDCALL},
      {"directional ignores range", D3DLIGHT_DIRECTIONAL, [](D3DLIGHT7& l) { l.dvRange = -1.0f; }, D3D_OK},
      {"point ignores direction", D3DLIGHT_POINT, [](D3DLIGHT7& l) { l.dvDirection = {0, 0, 0}; }, D3D_OK},
      {"negative range", D3DLIGHT_POINT, [](D3DLIGHT7& l) { l.dvRange = -1.0f; }, D3DERR_INVALIDCALL},
      {"range beyond the largest", D3DLIGHT_POINT, [](D3DLIGHT7& l) { l.dvRange = D3DLIGHT_RANGE_MAX * 2.0f; },
       D3DERR_INVALIDCALL},
      {"negative attenuation", D3DLIGHT_POINT, [](D3DLIGHT7& l) { l.dvAttenuation1 = -0.5f; }, D3DERR_INVALIDCALL},
      {"no attenuation at all", D3DLIGHT_SPOT, [](D3DLIGHT7& l) { l.dvAttenuation0 = l.dvAttenuation2 = 0.0f; },
       D3DERR_INVALIDCALL},
      {"infinite attenuation of a zero range", D3DLIGHT_POINT,
       [](D3DLIGHT7& l) { l.dvRange = 0.0f, l.dvAttenuation2 = std::numeric_limits<float>::infinity(); }, D3D_OK},
      {"NaN attenuation", D3DLIGHT_POINT, [](D3DLIGHT7& l) { l.dvAttenuation0 = std::nanf(""); }, D3DERR_INVALIDCALL},
      {"inner cone wider than outer", D3DLIGHT_SPOT, [](D3DLIGHT7& l) { l.dvTheta = 1.2f; }, D3DERR_INVALIDCALL},
      {"outer cone beyond pi", D3DLIGHT_SPOT, [](D3DLIGHT7& l) { l.dvPhi = 3.2f; }, D3DERR_INVALIDCALL},
      {"both cones pi", D3DLIGHT_SPOT, [](D3DLIGHT7& l) { l.dvTheta = l.dvPhi = std::numbers::pi_v<float>; }, D3D_OK},
      {"spot without direction", D3DLIGHT_SPOT, [](D3DLIGHT7& l) { l.dvDirection = {0, 0, 0}; }, D3DERR_INVALIDCALL},
  };
  DWORD index = 0;
  for (const auto& c : cases) {
    D3DLIGHT7 light = Light(c.type);
    if (c.change) c.change(light);
    EXPECT_EQ(device_->SetLight(index, &light), c.expected) << c.what;
    D3DLIGHT7 read{};
    // A refused light is not stored.
    ASSERT_EQ(device_->GetLight(index, &read), c.expected == D3D_OK ? D3D_OK : D3DERR_INVALIDCALL) << c.what;
    EXPECT_TRUE(c.expected != D3D_OK || SameBytes(read, light)) << c.what;
    ++index;
  }
  EXPECT_EQ(device_->SetLight(0, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(D3DDeviceState, EnablingALightThatWasNeverSetMakesTheDefaultLight) {
  BOOL enabled = 7;
  EXPECT_EQ(device_->GetLightEnable(5, &enabled), D3DERR_INVALIDCALL);
  ASSERT_EQ(device_->LightEnable(5, 1), D3D_OK);
  D3DLIGHT7 light{};
  ASSERT_EQ(device_->GetLight(5, &light), D3D_OK);
  EXPECT_EQ(light.dltType, D3DLIGHT_DIRECTIONAL);
  EXPECT_EQ(light.dcvDiffuse.r, 1.0f);
  EXPECT_EQ(light.dcvDiffuse.b, 1.0f);
  EXPECT_EQ(light.dvDirection.z, 1.0f);
  ASSERT_EQ(device_->GetLightEnable(5, &enabled), D3D_OK);
  EXPECT_EQ(enabled, 1);

  // Setting a light keeps whether it is enabled; disabling keeps the light.
  const D3DLIGHT7 point = Light(D3DLIGHT_POINT);
  ASSERT_EQ(device_->SetLight(5, &point), D3D_OK);
  device_->GetLightEnable(5, &enabled);
  EXPECT_EQ(enabled, 1);
  ASSERT_EQ(device_->LightEnable(5, 0), D3D_OK);
  device_->GetLightEnable(5, &enabled);
  EXPECT_EQ(enabled, 0);
  device_->GetLight(5, &light);
  EXPECT_EQ(light.dltType, D3DLIGHT_POINT);

  InjectDirect3DFaults([](auto& f) { f.failSetLight = f.failLightEnable = true; });
  EXPECT_TRUE(Failed(device_->SetLight(6, &point)));
  EXPECT_TRUE(Failed(device_->LightEnable(5, 1)));
  device_->GetLightEnable(5, &enabled);
  EXPECT_EQ(enabled, 0);
}

TEST_F(D3DDeviceState, TheMaterialIsKeptAsGivenAndATextureWhileItIsSet) {
  D3DMATERIAL7 material{};
  ASSERT_EQ(device_->GetMaterial(&material), D3D_OK);
  EXPECT_EQ(material.diffuse.r, 0.0f);
  material.diffuse = material.ambient = {0.5f, 0.5f, 0.5f, 0.0f};
  material.power = -3.0f;
  ASSERT_EQ(device_->SetMaterial(&material), D3D_OK);
  D3DMATERIAL7 read{};
  device_->GetMaterial(&read);
  EXPECT_TRUE(SameBytes(read, material));
  EXPECT_EQ(device_->SetMaterial(nullptr), D3DERR_INVALIDCALL);

  Ref<DirectDrawSurface> texture = MakeTexture();
  const DWORD alone = References(texture.get());
  ASSERT_EQ(device_->SetTexture(0, texture.get()), D3D_OK);
  EXPECT_EQ(References(texture.get()), alone + 1);
  ASSERT_EQ(device_->SetTexture(0, texture.get()), D3D_OK);  // setting it again holds it once
  EXPECT_EQ(References(texture.get()), alone + 1);
  DirectDrawSurface* got = nullptr;
  ASSERT_EQ(device_->GetTexture(0, &got), D3D_OK);
  EXPECT_EQ(got, texture.get());
  got->Release();  // GetTexture handed out a reference of its own
  ASSERT_EQ(device_->GetTexture(1, &got), D3D_OK);
  EXPECT_EQ(got, nullptr);
  EXPECT_EQ(device_->SetTexture(8, texture.get()), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->PreLoad(texture.get()), D3D_OK);
  EXPECT_EQ(device_->PreLoad(nullptr), D3DERR_INVALIDCALL);
  ASSERT_EQ(device_->SetTexture(0, nullptr), D3D_OK);
  EXPECT_EQ(References(texture.get()), alone);

  InjectDirect3DFaults([](auto& f) { f.failSetMaterial = true; });
  EXPECT_TRUE(Failed(device_->SetMaterial(&material)));
}

}  // namespace
}  // namespace vx::win::testing
