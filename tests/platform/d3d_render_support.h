// Helpers of the 3D drawing tests: vertices in the device's formats, a device on a target with
// the usual states, and reading colours and depths back.
#pragma once
#include <cmath>
#include <cstring>
#include <vector>

#include "tests/platform/ddraw_test_support.h"
#include "tests/support/golden_image.h"

namespace vx::win::testing {

// D3DFVF_XYZRHW | DIFFUSE | SPECULAR | TEX1: a transformed, lit vertex.
struct TLVertex {
  float x, y, z, rhw;
  DWORD diffuse, specular;
  float u, v;
};
constexpr DWORD kTLVertex = D3DFVF_TLVERTEX;

// D3DFVF_XYZ | NORMAL | TEX1.
struct LitVertex {
  float x, y, z, nx, ny, nz, u, v;
};
constexpr DWORD kLitVertex = D3DFVF_VERTEX;

inline TLVertex TL(float x, float y, DWORD colour, float z = 0.5f, float u = 0.0f, float v = 0.0f) {
  return {x, y, z, 1.0f, colour, 0, u, v};
}

// A rectangle of pixel centres [x0, x1) x [y0, y1) as two triangles, clockwise on the screen.
inline std::vector<TLVertex> Rect(int x0, int y0, int x1, int y1, DWORD colour, float z = 0.5f) {
  const float l = float(x0) - 0.5f, t = float(y0) - 0.5f, r = float(x1) - 0.5f, b = float(y1) - 0.5f;
  return {TL(l, t, colour, z, 0, 0), TL(r, t, colour, z, 1, 0), TL(l, b, colour, z, 0, 1),
          TL(r, t, colour, z, 1, 0), TL(r, b, colour, z, 1, 1), TL(l, b, colour, z, 0, 1)};
}

// A float render or stage state's value.
inline DWORD FloatBits(float value) {
  DWORD bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// Each comparison with whether it passes for a value below, equal to and above the reference.
struct CompareCase {
  DWORD compare;
  bool below, equal, above;
};
constexpr CompareCase kCompareCases[] = {
    {D3DCMP_NEVER, false, false, false},      {D3DCMP_LESS, true, false, false},
    {D3DCMP_EQUAL, false, true, false},       {D3DCMP_LESSEQUAL, true, true, false},
    {D3DCMP_GREATER, false, false, true},     {D3DCMP_NOTEQUAL, true, false, true},
    {D3DCMP_GREATEREQUAL, false, true, true}, {D3DCMP_ALWAYS, true, true, true},
};

inline D3DMATRIX Identity() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }

// A left-handed perspective projection (vertical field of view in radians).
inline D3DMATRIX Perspective(float fov, float aspect, float zn, float zf) {
  const float h = 1.0f / std::tan(fov / 2), w = h / aspect, q = zf / (zf - zn);
  return {w, 0, 0, 0, 0, h, 0, 0, 0, 0, q, 1, 0, 0, -q * zn, 0};
}

class D3DRender : public D3DTest {
 protected:
  // A target of the size, depth and depth-buffer bits, with a device drawing into it inside a scene.
  void Start(DWORD width, DWORD height, DWORD bits = 32, DWORD depthBits = 24) {
    device_.reset();
    target_ = MakeTarget(width, height, bits, depthBits);
    device_ = MakeDevice(target_.get());
    const DWORD flags = D3DCLEAR_TARGET | (depthBits ? D3DCLEAR_ZBUFFER : 0);
    ASSERT_EQ(device_->Clear(0, nullptr, flags, 0xFF000000, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
  }

  void Draw(const std::vector<TLVertex>& v, D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST) {
    ASSERT_EQ(device_->DrawPrimitive(type, kTLVertex, v.data(), DWORD(v.size()), 0), D3D_OK);
  }

  void Set(DWORD state, DWORD value) { ASSERT_EQ(device_->SetRenderState(state, value), D3D_OK); }
  void SetStage(DWORD stage, DWORD state, DWORD value) {
    ASSERT_EQ(device_->SetTextureStageState(stage, state, value), D3D_OK);
  }

  // The picture after the scene's primitives are filled.
  test::Picture Shot() {
    device_->Flush();
    return test::PictureOf(target_.get());
  }

  uint32_t At(int x, int y) {
    device_->Flush();
    return ReadPixelArgb(target_->Pixels(), DWORD(x), DWORD(y)) & 0xFFFFFF;
  }

  uint32_t DepthAt(int x, int y) {
    device_->Flush();
    const SurfacePixels p = target_->AttachedZBuffer()->Pixels();
    return LoadPixel(p.bits + ptrdiff_t(y) * p.pitch + x * p.bytesPerPixel, p.bytesPerPixel);
  }

  // A texture of the size in a format, filled from 0xAARRGGBB texels row by row.
  Ref<DirectDrawSurface> Texture(int width, int height, const std::vector<uint32_t>& texels,
                                 const DDPIXELFORMAT& format = MakeRgbFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000)) {
    Ref<DirectDrawSurface> texture =
        Make(DescWithFormat(DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY, DWORD(width), DWORD(height), format));
    FillTexture(texture.get(), texels);
    return texture;
  }

  static void FillTexture(DirectDrawSurface* texture, const std::vector<uint32_t>& texels) {
    const SurfacePixels p = texture->Pixels();
    const FormatInfo f = DescribeFormat(p.format);
    for (DWORD y = 0; y < p.height; ++y) {
      for (DWORD x = 0; x < p.width; ++x) {
        StorePixel(p.bits + ptrdiff_t(y) * p.pitch + x * f.bytesPerPixel, f.bytesPerPixel,
                   ArgbToPixel(f, texels[y * p.width + x]));
      }
    }
    texture->ContentChanged();
  }
};

}  // namespace vx::win::testing
