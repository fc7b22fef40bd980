// Vertex buffers and the layout of flexible vertex formats.
#include "platform/d3d/vertex_buffer.h"

namespace vx::win {

DWORD FvfVertexSize(DWORD fvf) {
  if (fvf & (D3DFVF_RESERVED0 | D3DFVF_RESERVED2)) return 0;
  DWORD size = 0;
  switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ: size = 12; break;
    case D3DFVF_XYZRHW: size = 16; break;
    case D3DFVF_XYZB1: size = 16; break;
    case D3DFVF_XYZB2: size = 20; break;
    case D3DFVF_XYZB3: size = 24; break;
    case D3DFVF_XYZB4: size = 28; break;
    case D3DFVF_XYZB5: size = 32; break;
    default: return 0;  // no position
  }
  // Transformed vertices are already lit: a normal would have nothing to do.
  if ((fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW && (fvf & D3DFVF_NORMAL)) return 0;
  if (fvf & D3DFVF_NORMAL) size += 12;
  if (fvf & D3DFVF_RESERVED1) size += 4;
  if (fvf & D3DFVF_DIFFUSE) size += 4;
  if (fvf & D3DFVF_SPECULAR) size += 4;
  const DWORD sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
  if (sets > 8) return 0;
  for (DWORD set = 0; set < sets; ++set) {
    static constexpr DWORD kFloats[4] = {2, 3, 4, 1};
    size += 4 * kFloats[(fvf >> (set * 2 + 16)) & 3];
  }
  return size;
}

Direct3DVertexBuffer::Direct3DVertexBuffer(const D3DVERTEXBUFFERDESC& desc, DWORD vertexSize)
    : desc_(desc), vertexSize_(vertexSize), data_(size_t{desc.dwNumVertices} * vertexSize, 0) {}

DWORD Direct3DVertexBuffer::AddRef() { return ++references_; }

DWORD Direct3DVertexBuffer::Release() {
  const DWORD left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT Direct3DVertexBuffer::Lock(DWORD flags, void** data, DWORD* size) {
  if (!data) return D3DERR_INVALIDCALL;
  *data = nullptr;
  if (optimized_) return D3DERR_VERTEXBUFFEROPTIMIZED;
  if (locked_) return D3DERR_VERTEXBUFFERLOCKED;
  if ((flags & DDLOCK_READONLY) && (flags & DDLOCK_WRITEONLY)) return D3DERR_INVALIDCALL;
  locked_ = true;
  *data = data_.data();
  if (size) *size = static_cast<DWORD>(data_.size());
  return D3D_OK;
}

HRESULT Direct3DVertexBuffer::Unlock() {
  if (!locked_) return D3DERR_VERTEXBUFFERUNLOCKFAILED;
  locked_ = false;
  return D3D_OK;
}

HRESULT Direct3DVertexBuffer::Optimize(Direct3DDevice* device, DWORD flags) {
  if (!device || flags != 0) return D3DERR_INVALIDCALL;
  if (locked_) return D3DERR_VERTEXBUFFERLOCKED;
  if (optimized_) return D3DERR_VERTEXBUFFEROPTIMIZED;
  optimized_ = true;
  desc_.dwCaps |= D3DVBCAPS_OPTIMIZED;
  return D3D_OK;
}

HRESULT Direct3DVertexBuffer::GetVertexBufferDesc(D3DVERTEXBUFFERDESC* desc) const {
  if (!desc || desc->dwSize != sizeof(D3DVERTEXBUFFERDESC)) return D3DERR_INVALIDCALL;
  *desc = desc_;
  return D3D_OK;
}

}  // namespace vx::win
