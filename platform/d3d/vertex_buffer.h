// Vertex buffers: vertices of one flexible vertex format in memory the device draws from, filled
// between Lock and Unlock, frozen by Optimize.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/d3d/d3d_types.h"

namespace vx::win {

class Direct3DDevice;

class Direct3DVertexBuffer {
 public:
  Direct3DVertexBuffer(const Direct3DVertexBuffer&) = delete;
  Direct3DVertexBuffer& operator=(const Direct3DVertexBuffer&) = delete;

  DWORD AddRef();
  DWORD Release();  // deletes the buffer with the last reference

  // Hands out the whole buffer. Fails while locked or once optimised.
  HRESULT Lock(DWORD flags, void** data, DWORD* size);
  HRESULT Unlock();
  // Freezes the contents for drawing; the buffer cannot be locked afterwards.
  HRESULT Optimize(Direct3DDevice* device, DWORD flags);
  HRESULT GetVertexBufferDesc(D3DVERTEXBUFFERDESC* desc) const;

  // For the device's draw calls.
  bool IsLocked() const { return locked_; }
  DWORD VertexSize() const { return vertexSize_; }
  const uint8_t* VertexData() const { return data_.data(); }

 private:
  friend class Direct3D;
  Direct3DVertexBuffer(const D3DVERTEXBUFFERDESC& desc, DWORD vertexSize);
  ~Direct3DVertexBuffer() = default;

  D3DVERTEXBUFFERDESC desc_;
  DWORD vertexSize_;
  std::vector<uint8_t> data_;
  DWORD references_ = 1;
  bool locked_ = false;
  bool optimized_ = false;
};

}  // namespace vx::win
