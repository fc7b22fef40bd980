// Shared by the display and 3D device tests: a DirectDraw object per test with every fault switched
// off, references that give themselves back, pixel access through locks, and Direct3D devices on
// render targets with or without a depth buffer.
#pragma once
#include <gtest/gtest.h>

#include <memory>

#include "platform/d3d/direct3d.h"
#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/faults.h"
#include "platform/ddraw/pixel_format.h"
#include "platform/ddraw/presentation.h"
#include "platform/win/window.h"

namespace vx::win::testing {

struct Releaser {
  template <class T>
  void operator()(T* object) const {
    if (object) object->Release();
  }
};
template <class T>
using Ref = std::unique_ptr<T, Releaser>;

// A structure of the interface with its size field filled in, as every caller must.
template <class T>
T Sized() {
  T value{};
  value.dwSize = sizeof value;
  return value;
}

inline DDSURFACEDESC2 Desc(DWORD caps, DWORD width = 0, DWORD height = 0) {
  auto desc = Sized<DDSURFACEDESC2>();
  desc.dwFlags = DDSD_CAPS | (width || height ? DDSD_WIDTH | DDSD_HEIGHT : 0);
  desc.ddsCaps.dwCaps = caps;
  desc.dwWidth = width;
  desc.dwHeight = height;
  return desc;
}

inline DDSURFACEDESC2 DescWithFormat(DWORD caps, DWORD width, DWORD height, const DDPIXELFORMAT& format) {
  DDSURFACEDESC2 desc = Desc(caps, width, height);
  desc.dwFlags |= DDSD_PIXELFORMAT;
  desc.ddpfPixelFormat = format;
  return desc;
}

inline DDPIXELFORMAT DepthFormat(DWORD bits) {
  return MakeDepthFormat(bits, bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1);
}

inline DWORD BytesPerPixel(DirectDrawSurface* surface) { return DescribeFormat(surface->PixelFormat()).bytesPerPixel; }

// One pixel through a lock of just that pixel, as a program reads and writes the screen.
inline uint32_t GetPixel(DirectDrawSurface* surface, LONG x, LONG y) {
  auto desc = Sized<DDSURFACEDESC2>();
  const RECT one{x, y, x + 1, y + 1};
  if (surface->Lock(&one, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr) != DD_OK) return 0xDEADBEEF;
  const uint32_t value = LoadPixel(static_cast<uint8_t*>(desc.lpSurface), BytesPerPixel(surface));
  surface->Unlock(&one);
  return value;
}

inline void SetPixel(DirectDrawSurface* surface, LONG x, LONG y, uint32_t value) {
  auto desc = Sized<DDSURFACEDESC2>();
  const RECT one{x, y, x + 1, y + 1};
  ASSERT_EQ(surface->Lock(&one, &desc, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr), DD_OK);
  StorePixel(static_cast<uint8_t*>(desc.lpSurface), BytesPerPixel(surface), value);
  surface->Unlock(&one);
}

inline HRESULT Fill(DirectDrawSurface* surface, uint32_t value, const RECT* area = nullptr) {
  auto fx = Sized<DDBLTFX>();
  fx.dwFillColor = value;
  return surface->Blt(area, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
}

class DirectDrawTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetDisplayFaults();
    DirectDraw* made = nullptr;
    ASSERT_EQ(DirectDrawCreateEx(nullptr, &made, IID_IDirectDraw7, nullptr), DD_OK);
    dd_.reset(made);
  }

  void TearDown() override {
    dd_.reset();
    if (window_) DestroyWindow(window_);
    ResetDisplayFaults();
    EXPECT_EQ(LiveSurfaceCount(), 0u) << "a surface was not released";
    EXPECT_EQ(LiveDirectDrawCount(), 0u);
  }

  Ref<DirectDrawSurface> Make(DDSURFACEDESC2 desc, HRESULT expected = DD_OK) {
    DirectDrawSurface* surface = nullptr;
    EXPECT_EQ(dd_->CreateSurface(&desc, &surface, nullptr), expected);
    return Ref<DirectDrawSurface>(surface);
  }

  // A system-memory surface in the display format of the depth.
  Ref<DirectDrawSurface> Plain(DWORD width, DWORD height, DWORD bits) {
    return Make(DescWithFormat(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY, width, height, DisplayPixelFormat(bits)));
  }

  // A window of the window layer, gone after the test so that other tests' windows get the events.
  HWND TestWindow() {
    if (!window_) {
      WNDCLASSA windowClass{};
      windowClass.lpfnWndProc = DefWindowProcA;
      windowClass.lpszClassName = "VxDisplayTest";
      RegisterClassA(&windowClass);  // fails harmlessly once registered
      window_ = CreateWindowExA(0, "VxDisplayTest", "display test", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr);
    }
    return window_;
  }

  Ref<DirectDraw> dd_;
  HWND window_ = nullptr;
};

// Direct3D on the test's DirectDraw object, with the standard profile and no faults.
class D3DTest : public DirectDrawTest {
 protected:
  void SetUp() override {
    SetDirect3DProfile(StandardDirect3DProfile());
    SetDirect3DFaults({});
    DirectDrawTest::SetUp();
    ASSERT_EQ(dd_->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
    Direct3D* d3d = nullptr;
    ASSERT_EQ(CreateDirect3D(dd_.get(), &d3d), D3D_OK);
    direct3D_.reset(d3d);
  }

  void TearDown() override {
    device_.reset();
    target_.reset();
    direct3D_.reset();
    SetDirect3DProfile(StandardDirect3DProfile());
    SetDirect3DFaults({});
    DirectDrawTest::TearDown();
  }

  // A 3D render target of the display format of `bits`; depthBits 0 attaches no depth buffer.
  Ref<DirectDrawSurface> MakeTarget(DWORD width, DWORD height, DWORD bits = 32, DWORD depthBits = 24) {
    const DWORD caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_SYSTEMMEMORY;
    Ref<DirectDrawSurface> target = Make(DescWithFormat(caps, width, height, DisplayPixelFormat(bits)));
    if (target && depthBits) {
      Ref<DirectDrawSurface> depth =
          Make(DescWithFormat(DDSCAPS_ZBUFFER | DDSCAPS_SYSTEMMEMORY, width, height, DepthFormat(depthBits)));
      EXPECT_EQ(target->AddAttachedSurface(depth.get()), DD_OK);  // the target keeps its own reference
    }
    return target;
  }

  Ref<Direct3DDevice> MakeDevice(DirectDrawSurface* target, const GUID& kind = IID_IDirect3DHALDevice) {
    Direct3DDevice* device = nullptr;
    EXPECT_EQ(direct3D_->CreateDevice(kind, target, &device), D3D_OK);
    return Ref<Direct3DDevice>(device);
  }

  // The test's own target of the size with a hardware device on it.
  void Open(DWORD width, DWORD height) {
    target_ = MakeTarget(width, height);
    device_ = MakeDevice(target_.get());
  }

  // The references a surface has, read by taking one more and giving it back.
  static DWORD References(DirectDrawSurface* surface) {
    surface->AddRef();
    return surface->Release();
  }

  Ref<Direct3D> direct3D_;
  Ref<DirectDrawSurface> target_;
  Ref<Direct3DDevice> device_;
};

}  // namespace vx::win::testing
