// What one draw call asked for, kept by the device for the rasteriser: the primitive, the vertices
// and indices copied out of the caller's memory, and the device state in force at the call.
#pragma once
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/d3d/d3d_types.h"

namespace vx::win {

// One reference to a surface: the device keeps its render target and textures alive while it uses them.
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

struct EnabledLight {
  DWORD index;
  D3DLIGHT7 light;
};

// The device state that decides how a primitive is drawn.
struct DeviceStateSnapshot {
  std::array<DWORD, kRenderStateCount> renderStates{};
  std::array<std::array<DWORD, kTextureStageStateCount>, kMaxTextureStages> stageStates{};
  std::array<SurfaceRef, kMaxTextureStages> textures;
  D3DMATRIX world{};
  D3DMATRIX view{};
  D3DMATRIX projection{};
  D3DVIEWPORT7 viewport{};
  D3DMATERIAL7 material{};
  std::vector<EnabledLight> lights;  // in index order
};

struct DrawCall {
  D3DPRIMITIVETYPE primitive = 0;
  DWORD fvf = 0;
  DWORD vertexSize = 0;  // bytes per vertex
  DWORD vertexCount = 0;
  std::vector<uint8_t> vertices;  // vertexCount * vertexSize bytes
  std::vector<WORD> indices;      // empty when the call was not indexed
  DWORD flags = 0;
  DeviceStateSnapshot state;
};

}  // namespace vx::win
