// One counted reference to a surface: the device keeps its render target and textures alive while
// it uses them.
#pragma once
#include <utility>

#include "platform/d3d/d3d_types.h"

namespace vx::win {

class SurfaceRef {
 public:
  SurfaceRef() = default;
  explicit SurfaceRef(DirectDrawSurface* surface) : surface_(surface) {
    if (surface_) surface_->AddRef();
  }
  SurfaceRef(const SurfaceRef& other) : SurfaceRef(other.surface_) {}
  SurfaceRef(SurfaceRef&& other) noexcept : surface_(std::exchange(other.surface_, nullptr)) {}
  SurfaceRef& operator=(SurfaceRef other) noexcept {
    std::swap(surface_, other.surface_);
    return *this;
  }
  ~SurfaceRef() {
    if (surface_) surface_->Release();
  }
  DirectDrawSurface* get() const { return surface_; }
  explicit operator bool() const { return surface_ != nullptr; }

 private:
  DirectDrawSurface* surface_ = nullptr;
};

}  // namespace vx::win
