// Direct3D devices: their creation and the state they track (render states, the viewport,
// textures), each checked as the real device does.
#include <cstring>
#include <limits>
#include <vector>

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
};

template <class T>
bool SameBytes(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST_F(D3DDeviceState, StatesKeepWhatIsSetAndRefuseWhatTheDeviceDoesNotKnow) {
  EXPECT_EQ(device_->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE), D3D_OK);

  const struct {
    DWORD state, value;
  } refused[] = {
      {1, 0},  // the texture handle of earlier interfaces
      {0, 0}, {200, 0}, {D3DRENDERSTATE_CULLMODE, 0}, {D3DRENDERSTATE_CULLMODE, 4}, {D3DRENDERSTATE_SRCBLEND, 14},
  };
  for (const auto& r : refused) {
    EXPECT_EQ(device_->SetRenderState(r.state, r.value), D3DERR_INVALIDCALL) << r.state << "=" << r.value;
  }
  EXPECT_EQ(RenderState(D3DRENDERSTATE_CULLMODE), D3DCULL_NONE);
  DWORD value = 0;
  EXPECT_EQ(device_->GetRenderState(200, &value), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->GetRenderState(D3DRENDERSTATE_ZENABLE, nullptr), D3DERR_INVALIDCALL);

  // Depth testing starts on only with a depth buffer.
  EXPECT_EQ(RenderState(D3DRENDERSTATE_ZENABLE), D3DZB_TRUE);
  Ref<DirectDrawSurface> bare = MakeTarget(8, 8, 32, 0);
  Ref<Direct3DDevice> device = MakeDevice(bare.get());
  DWORD z = 0xDEADBEEF;
  ASSERT_EQ(device->GetRenderState(D3DRENDERSTATE_ZENABLE, &z), D3D_OK);
  EXPECT_EQ(z, D3DZB_FALSE);
}

TEST_F(D3DDeviceState, ViewportsMustLieInsideTheTarget) {
  D3DVIEWPORT7 viewport{};
  ASSERT_EQ(device_->GetViewport(&viewport), D3D_OK);
  EXPECT_TRUE(SameBytes(viewport, D3DVIEWPORT7{0, 0, 64, 48, 0.0f, 1.0f}));

  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct {
    D3DVIEWPORT7 viewport;
    HRESULT expected;
  } cases[] = {
      {{10, 5, 54, 43, 0.0f, 1.0f}, D3D_OK},
      {{0, 0, 64, 48, 0.0f, 0.0f}, D3D_OK},  // depth range squeezed to the front
      {{0, 0, 0, 48, 0.0f, 1.0f}, D3DERR_INVALIDCALL},
      {{0, 1, 64, 48, 0.0f, 1.0f}, D3DERR_INVALIDCALL},
      {{0xFFFFFFFF, 0, 2, 48, 0.0f, 1.0f}, D3DERR_INVALIDCALL},  // wraps in 32 bits
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
  Direct3DFaults faults;
  faults.failSetViewport = true;
  SetDirect3DFaults(faults);
  EXPECT_TRUE(Failed(device_->SetViewport(&kept)));
}

TEST_F(D3DDeviceState, ATextureIsHeldOnceWhileItIsSet) {
  Ref<DirectDrawSurface> texture =
      Make(DescWithFormat(DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY, 8, 8, DisplayPixelFormat(16)));
  const DWORD alone = References(texture.get());
  ASSERT_EQ(device_->SetTexture(0, texture.get()), D3D_OK);
  EXPECT_EQ(References(texture.get()), alone + 1);
  ASSERT_EQ(device_->SetTexture(0, texture.get()), D3D_OK);  // setting it again holds it once
  EXPECT_EQ(References(texture.get()), alone + 1);
  DirectDrawSurface* got = nullptr;
  ASSERT_EQ(device_->GetTexture(0, &got), D3D_OK);
  EXPECT_EQ(got, texture.get());
  got->Release();  // GetTexture handed out a reference of its own
  EXPECT_EQ(device_->SetTexture(8, texture.get()), D3DERR_INVALIDCALL);
  ASSERT_EQ(device_->SetTexture(0, nullptr), D3D_OK);
  EXPECT_EQ(References(texture.get()), alone);
}

using D3DEnumeration = D3DTest;

TEST_F(D3DEnumeration, DeviceCreationChecksKindTargetAndInjectedFailures) {
  Ref<DirectDrawSurface> target = MakeTarget(16, 16);
  const DWORD alone = References(target.get());
  Ref<Direct3DDevice> device = MakeDevice(target.get());
  EXPECT_EQ(References(target.get()), alone + 1) << "a device holds its target until released";
  device.reset();
  EXPECT_EQ(References(target.get()), alone);

  Ref<DirectDrawSurface> plain = Plain(16, 16, 32);
  Ref<DirectDrawSurface> lost = MakeTarget(16, 16);
  LoseSurface(lost.get());
  const struct {
    const char* what;
    GUID kind;
    DirectDrawSurface* target;
    std::vector<GUID> failing;
    HRESULT expected;
  } cases[] = {
      {"not enumerated", IID_IDirect3DTnLHalDevice, target.get(), {}, D3DERR_INVALID_DEVICE},
      {"no target", IID_IDirect3DHALDevice, nullptr, {}, D3DERR_INVALIDCALL},
      {"not a 3D surface", IID_IDirect3DHALDevice, plain.get(), {}, DDERR_INVALIDCAPS},
      {"lost target", IID_IDirect3DHALDevice, lost.get(), {}, DDERR_SURFACELOST},
      {"injected", IID_IDirect3DHALDevice, target.get(), {IID_IDirect3DHALDevice}, D3DERR_INITFAILED},
  };
  for (const auto& c : cases) {
    SetDirect3DFaults({.failingDevices = c.failing});
    Direct3DDevice* made = reinterpret_cast<Direct3DDevice*>(this);  // must be overwritten
    EXPECT_EQ(direct3D_->CreateDevice(c.kind, c.target, &made), c.expected) << c.what;
    EXPECT_EQ(made != nullptr, c.expected == D3D_OK) << c.what;
    if (made) made->Release();
  }
}

}  // namespace
}  // namespace vx::win::testing
