// Shared by the GDI tests: surfaces with their device contexts, and pixels read back through locks.
#pragma once
#include <set>
#include <vector>

#include "ddraw_test_support.h"
#include "platform/gdi/gdi.h"

namespace vx::win::testing {

class GdiTest : public DirectDrawTest {
 public:
  // Every pixel value of a surface, row by row.
  static std::vector<uint32_t> Pixels(DirectDrawSurface* surface) {
    std::vector<uint32_t> out;
    auto desc = Sized<DDSURFACEDESC2>();
    if (surface->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr) != DD_OK) return out;
    const DWORD bytes = BytesPerPixel(surface);
    for (DWORD y = 0; y < desc.dwHeight; ++y)
      for (DWORD x = 0; x < desc.dwWidth; ++x)
        out.push_back(LoadPixel(static_cast<uint8_t*>(desc.lpSurface) + y * desc.lPitch + x * bytes, bytes));
    surface->Unlock(nullptr);
    return out;
  }

 protected:
  void SetUp() override {
    DirectDrawTest::SetUp();
    InstallSurfaceDcHooks();      // other tests replace them
    GetStockObject(SYSTEM_FONT);  // stock objects are made once, on first use
    objectsBefore_ = LiveGdiObjectCount();
  }
  void TearDown() override {
    EXPECT_EQ(LiveDeviceContextCount(), 0u) << "a device context was not released";
    EXPECT_EQ(LiveGdiObjectCount(), objectsBefore_) << "a GDI object was not deleted";
    DirectDrawTest::TearDown();
  }

  // A surface of the depth filled with one pixel value.
  Ref<DirectDrawSurface> Canvas(DWORD width, DWORD height, DWORD bits = 32, uint32_t fill = 0) {
    Ref<DirectDrawSurface> surface = Plain(width, height, bits);
    EXPECT_EQ(Fill(surface.get(), fill), DD_OK);
    return surface;
  }

  static std::set<uint32_t> Distinct(DirectDrawSurface* surface) {
    const std::vector<uint32_t> all = Pixels(surface);
    return {all.begin(), all.end()};
  }

  size_t objectsBefore_ = 0;
};

// A surface's device context for one scope.
class SurfaceDc {
 public:
  explicit SurfaceDc(DirectDrawSurface* surface) : surface_(surface) { EXPECT_EQ(surface->GetDC(&dc_), DD_OK); }
  ~SurfaceDc() {
    if (dc_) surface_->ReleaseDC(dc_);
  }
  SurfaceDc(const SurfaceDc&) = delete;
  SurfaceDc& operator=(const SurfaceDc&) = delete;
  operator HDC() const { return dc_; }

 private:
  DirectDrawSurface* surface_;
  HDC dc_ = nullptr;
};

}  // namespace vx::win::testing
