// Shared by the display-layer tests: a DirectDraw object per test with every fault switched off,
// references that give themselves back, and pixel access through locks.
#pragma once
#include <gtest/gtest.h>

#include <memory>

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

inline DDSURFACEDESC2 Desc(DWORD caps, DWORD width = 0, DWORD height = 0) {
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS;
  desc.ddsCaps.dwCaps = caps;
  if (width || height) {
    desc.dwFlags |= DDSD_WIDTH | DDSD_HEIGHT;
    desc.dwWidth = width;
    desc.dwHeight = height;
  }
  return desc;
}

inline DDSURFACEDESC2 DescWithFormat(DWORD caps, DWORD width, DWORD height, const DDPIXELFORMAT& format) {
  DDSURFACEDESC2 desc = Desc(caps, width, height);
  desc.dwFlags |= DDSD_PIXELFORMAT;
  desc.ddpfPixelFormat = format;
  return desc;
}

inline DDPIXELFORMAT FourCCFormat(DWORD fourCC) {
  DDPIXELFORMAT format{};
  format.dwSize = sizeof format;
  format.dwFlags = DDPF_FOURCC;
  format.dwFourCC = fourCC;
  return format;
}

inline DDPIXELFORMAT ArgbFormat() {
  DDPIXELFORMAT format = DisplayPixelFormat(32);
  format.dwFlags |= DDPF_ALPHAPIXELS;
  format.dwRGBAlphaBitMask = 0xFF000000u;
  return format;
}

inline DDPIXELFORMAT DepthFormat(DWORD bits) {
  DDPIXELFORMAT format{};
  format.dwSize = sizeof format;
  format.dwFlags = DDPF_ZBUFFER;
  format.dwZBufferBitDepth = bits;
  format.dwZBitMask = bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
  return format;
}

inline DWORD BytesPerPixel(DirectDrawSurface* surface) { return DescribeFormat(surface->PixelFormat()).bytesPerPixel; }

inline uint32_t GetPixel(DirectDrawSurface* surface, LONG x, LONG y) {
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  const RECT one{x, y, x + 1, y + 1};
  if (surface->Lock(&one, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr) != DD_OK) return 0xDEADBEEF;
  const uint32_t value = LoadPixel(static_cast<uint8_t*>(desc.lpSurface), BytesPerPixel(surface));
  surface->Unlock(&one);
  return value;
}

inline void SetPixel(DirectDrawSurface* surface, LONG x, LONG y, uint32_t value) {
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  const RECT one{x, y, x + 1, y + 1};
  ASSERT_EQ(surface->Lock(&one, &desc, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr), DD_OK);
  StorePixel(static_cast<uint8_t*>(desc.lpSurface), BytesPerPixel(surface), value);
  surface->Unlock(&one);
}

inline HRESULT Fill(DirectDrawSurface* surface, uint32_t value, const RECT* area = nullptr) {
  DDBLTFX fx{};
  fx.dwSize = sizeof fx;
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
    SetPresentationDriver("auto");
    SetPresentationWindow(nullptr);
    SetFrameHook(nullptr);
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

  // A top-level window of the window layer (virtual under the dummy driver), gone after the test
  // so that other tests' windows get the platform's events.
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

}  // namespace vx::win::testing
