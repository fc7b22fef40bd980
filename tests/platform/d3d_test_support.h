// Shared set-up of the 3D device tests: a DirectDraw object with Direct3D, render targets with
// or without a depth buffer, textures, and holders that release what they own.
#pragma once
#include <gtest/gtest.h>

#include <memory>

#include "platform/d3d/direct3d.h"
#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/faults.h"
#include "platform/ddraw/pixel_format.h"

namespace vx::win::testing {

struct ReleaseObject {
  template <class T>
  void operator()(T* object) const {
    object->Release();
  }
};
template <class T>
using Owned = std::unique_ptr<T, ReleaseObject>;

class D3DTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDirect3DProfile(StandardDirect3DProfile());
    SetDirect3DFaults({});
    ResetDisplayFaults();
    DirectDraw* dd = nullptr;
    ASSERT_EQ(DirectDrawCreateEx(nullptr, &dd, IID_IDirectDraw7, nullptr), DD_OK);
    directDraw_.reset(dd);
    ASSERT_EQ(directDraw_->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
    Direct3D* d3d = nullptr;
    ASSERT_EQ(CreateDirect3D(directDraw_.get(), &d3d), D3D_OK);
    direct3D_.reset(d3d);
  }

  void TearDown() override {
    SetDirect3DProfile(StandardDirect3DProfile());
    SetDirect3DFaults({});
    ResetDisplayFaults();
  }

  Owned<DirectDrawSurface> MakeSurface(DWORD width, DWORD height, DWORD caps, const DDPIXELFORMAT& format) {
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    desc.dwWidth = width;
    desc.dwHeight = height;
    desc.ddpfPixelFormat = format;
    desc.ddsCaps.dwCaps = caps | DDSCAPS_SYSTEMMEMORY;
    DirectDrawSurface* surface = nullptr;
    EXPECT_EQ(directDraw_->CreateSurface(&desc, &surface, nullptr), DD_OK);
    return Owned<DirectDrawSurface>(surface);
  }

  // A 3D render target of the display format of `bits`; depthBits 0 attaches no depth buffer.
  Owned<DirectDrawSurface> MakeTarget(DWORD width, DWORD height, DWORD bits = 32, DWORD depthBits = 24) {
    Owned<DirectDrawSurface> target =
        MakeSurface(width, height, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE, DisplayPixelFormat(bits));
    if (target && depthBits) {
      const DWORD mask = depthBits == 32 ? 0xFFFFFFFFu : (1u << depthBits) - 1;
      Owned<DirectDrawSurface> depth = MakeSurface(width, height, DDSCAPS_ZBUFFER, MakeDepthFormat(depthBits, mask));
      EXPECT_EQ(target->AddAttachedSurface(depth.get()), DD_OK);  // the target keeps its own reference
    }
    return target;
  }

  Owned<DirectDrawSurface> MakeTexture(DWORD size = 8) {
    return MakeSurface(size, size, DDSCAPS_TEXTURE, MakeRgbFormat(16, 0xF800, 0x07E0, 0x001F));
  }

  Owned<Direct3DDevice> MakeDevice(DirectDrawSurface* target, const GUID& kind = IID_IDirect3DHALDevice) {
    Direct3DDevice* device = nullptr;
    EXPECT_EQ(direct3D_->CreateDevice(kind, target, &device), D3D_OK);
    return Owned<Direct3DDevice>(device);
  }

  // The references a surface has, read by taking one more and giving it back.
  static DWORD References(DirectDrawSurface* surface) {
    surface->AddRef();
    return surface->Release();
  }

  Owned<DirectDraw> directDraw_;
  Owned<Direct3D> direct3D_;
};

}  // namespace vx::win::testing
