// Scenes and clears read back from the surfaces.
#include "tests/platform/ddraw_test_support.h"

namespace vx::win::testing {
namespace {

uint32_t ColourAt(DirectDrawSurface* surface, DWORD x, DWORD y) {
  return ReadPixelArgb(surface->Pixels(), x, y) & 0xFFFFFF;
}

uint32_t DepthAt(DirectDrawSurface* target, DWORD x, DWORD y) {
  const SurfacePixels pixels = target->AttachedZBuffer()->Pixels();
  return LoadPixel(pixels.bits + static_cast<ptrdiff_t>(y) * pixels.pitch + x * pixels.bytesPerPixel,
                   pixels.bytesPerPixel);
}

bool Inside(const D3DRECT& r, LONG x, LONG y) { return x >= r.x1 && x < r.x2 && y >= r.y1 && y < r.y2; }

using D3DScene = D3DTest;

TEST_F(D3DScene, ClearsFillOnlyTheRectanglesInsideTheViewport) {
  const struct {
    DWORD bits, depthBits;
    D3DVALUE z;
    uint32_t depthValue;
  } formats[] = {{16, 16, 0.25f, 16384}, {32, 32, 1.0f, 0xFFFFFFFF}};
  const D3DRECT rects[] = {{-5, -5, 3, 2}, {5, 3, 100, 100}, {4, 2, 4, 9}};  // the last one is empty
  const D3DVIEWPORT7 viewport = {2, 1, 4, 3, 0.0f, 1.0f};
  const D3DRECT port = {2, 1, 6, 4};
  for (const auto& f : formats) {
    SCOPED_TRACE(f.bits);
    Ref<DirectDrawSurface> target = MakeTarget(8, 6, f.bits, f.depthBits);
    Ref<Direct3DDevice> device = MakeDevice(target.get());
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FF, 0.0f, 0), D3D_OK);
    ASSERT_EQ(device->SetViewport(&viewport), D3D_OK);
    ASSERT_EQ(device->Clear(3, rects, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFFFFFF, f.z, 0), D3D_OK);
    for (LONG y = 0; y < 6; ++y) {
      for (LONG x = 0; x < 8; ++x) {
        const bool cleared = Inside(port, x, y) && (Inside(rects[0], x, y) || Inside(rects[1], x, y));
        EXPECT_EQ(ColourAt(target.get(), x, y), cleared ? 0xFFFFFFu : 0x0000FFu) << x << "," << y;
        EXPECT_EQ(DepthAt(target.get(), x, y), cleared ? f.depthValue : 0u) << x << "," << y;
      }
    }
  }
}

TEST_F(D3DScene, BadClearsFailAndTouchNothing) {
  Open(4, 4);
  Ref<DirectDrawSurface> withoutDepth = MakeTarget(4, 4, 32, 0);
  Ref<Direct3DDevice> bareDevice = MakeDevice(withoutDepth.get());
  Direct3DDevice* const depth = device_.get();
  const struct {
    const char* what;
    Direct3DDevice* device;
    DWORD count, flags;
    D3DVALUE z;
    HRESULT expected;
  } cases[] = {
      {"unknown flag", depth, 0, 8, 0.0f, D3DERR_INVALIDCALL},
      {"count without rectangles", depth, 2, D3DCLEAR_TARGET, 0.0f, D3DERR_INVALIDCALL},
      {"no stencil bits", depth, 0, D3DCLEAR_STENCIL, 0.0f, D3DERR_STENCILBUFFER_NOTPRESENT},
      {"no depth buffer", bareDevice.get(), 0, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0.0f, D3DERR_ZBUFFER_NOTPRESENT},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.device->Clear(c.count, nullptr, c.flags, 0xFFFFFF, c.z, 0), c.expected) << c.what;
  }
  EXPECT_EQ(ColourAt(withoutDepth.get(), 1, 1), 0u);
  LoseSurface(target_.get());
  EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 0.0f, 0), DDERR_SURFACELOST);
}

TEST_F(D3DScene, ScenesNestNeverAndInjectedFailuresCountDown) {
  Open(8, 8);
  EXPECT_EQ(device_->EndScene(), D3DERR_SCENE_NOT_IN_SCENE);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  EXPECT_EQ(device_->BeginScene(), D3DERR_SCENE_IN_SCENE);
  EXPECT_EQ(device_->EndScene(), D3D_OK);

  Direct3DFaults faults;
  faults.beginSceneFailures = 1;
  SetDirect3DFaults(faults);
  EXPECT_EQ(device_->BeginScene(), DDERR_SURFACELOST);
  EXPECT_FALSE(device_->InScene());
  EXPECT_EQ(device_->BeginScene(), D3D_OK);
  EXPECT_EQ(device_->EndScene(), D3D_OK);

  LoseSurface(target_.get());
  EXPECT_EQ(device_->BeginScene(), DDERR_SURFACELOST);
}

}  // namespace
}  // namespace vx::win::testing
