// Texturing and the pixel operations through the device, against their definitions: one-colour
// textures under a full-bright material, address modes at texel centres, point, linear and
// mip-mapped filtering, colour keys, the texture stage operations, every blend factor the device
// reports, and alpha tests.
#include <cmath>

#include "tests/platform/d3d_render_support.h"

namespace vx::win::testing {
namespace {

int ChannelOf(uint32_t c, int shift) { return int((c >> shift) & 0xFF); }

bool Close(uint32_t a, uint32_t b) {
  for (int shift = 0; shift < 24; shift += 8) {
    if (std::abs(ChannelOf(a, shift) - ChannelOf(b, shift)) > 1) return false;
  }
  return true;
}

class D3DTexture : public D3DRender {
 protected:
  // A row of pixels 0..n-1 whose centres sample u = (x + 0.5) * uEnd / pixels, with v from 0 to
  // vEnd over the row's height.
  void TexturedRow(int pixels, float uEnd, float vEnd = 1.0f) {
    const float r = float(pixels) - 0.5f;
    Draw({TL(-0.5f, -0.5f, 0xFFFFFFFF, 0.5f, 0, 0), TL(r, -0.5f, 0xFFFFFFFF, 0.5f, uEnd, 0),
          TL(-0.5f, 0.5f, 0xFFFFFFFF, 0.5f, 0, vEnd), TL(r, -0.5f, 0xFFFFFFFF, 0.5f, uEnd, 0),
          TL(r, 0.5f, 0xFFFFFFFF, 0.5f, uEnd, vEnd), TL(-0.5f, 0.5f, 0xFFFFFFFF, 0.5f, 0, vEnd)});
  }
};

TEST_F(D3DTexture, AFullBrightMaterialShowsAOneColourTextureExactly) {
  for (const DWORD bits : {16u, 24u, 32u}) {
    SCOPED_TRACE(bits);
    Start(32, 32, bits);
    const D3DMATRIX identity = Identity();
    const D3DMATRIX projection = Perspective(1.2f, 1.0f, 1.0f, 100.0f);
    device_->SetTransform(D3DTRANSFORMSTATE_WORLD, &identity);
    device_->SetTransform(D3DTRANSFORMSTATE_VIEW, &identity);
    device_->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &projection);
    D3DMATERIAL7 fullBright{};
    fullBright.ambient = {1, 1, 1, 1};
    device_->SetMaterial(&fullBright);
    Set(D3DRENDERSTATE_AMBIENT, 0x00FFFFFF);
    // The colour of the target's format, so that it survives the trip.
    const uint32_t colour = bits == 16 ? 0xFF31659C : 0xFF336699;
    Ref<DirectDrawSurface> texture = Texture(4, 4, std::vector<uint32_t>(16, colour));
    ASSERT_EQ(device_->SetTexture(0, texture.get()), D3D_OK);
    SetStage(0, D3DTSS_MAGFILTER, D3DTFG_LINEAR);
    SetStage(0, D3DTSS_MINFILTER, D3DTFN_LINEAR);
    const LitVertex quad[] = {{-10, 10, 4, 0, 0, -1, 0, 0},
                              {10, 10, 4, 0, 0, -1, 3, 0},
                              {-10, -10, 6, 0, 0, -1, 0, 3},
                              {10, -10, 6, 0, 0, -1, 3, 3}};
    Set(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, kLitVertex, quad, 4, 0), D3D_OK);
    const test::Picture shot = Shot();
    for (const uint32_t pixel : shot.pixels) EXPECT_EQ(pixel & 0xFFFFFF, colour & 0xFFFFFF);
  }
}

TEST_F(D3DTexture, AddressModesRepeatMirrorOrClampAtTexelCentres) {
  const std::vector<uint32_t> texels = {0xFF000010, 0xFF000020, 0xFF000030, 0xFF000040};
  const struct {
    DWORD mode;
    uint32_t expected[10];
  } cases[] = {
      {D3DTADDRESS_WRAP, {0x10, 0x20, 0x30, 0x40, 0x10, 0x20, 0x30, 0x40, 0x10, 0x20}},
      {D3DTADDRESS_MIRROR, {0x10, 0x20, 0x30, 0x40, 0x40, 0x30, 0x20, 0x10, 0x10, 0x20}},
      {D3DTADDRESS_CLAMP, {0x10, 0x20, 0x30, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40}},
  };
  for (const auto& c : cases) {
    for (const DWORD filter : {D3DTFG_POINT, D3DTFG_LINEAR}) {
      Start(10, 1);
      Ref<DirectDrawSurface> texture = Texture(4, 1, texels);
      device_->SetTexture(0, texture.get());
      SetStage(0, D3DTSS_ADDRESSU, c.mode);
      SetStage(0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
      SetStage(0, D3DTSS_MAGFILTER, filter);
      SetStage(0, D3DTSS_MINFILTER, filter == D3DTFG_POINT ? D3DTFN_POINT : D3DTFN_LINEAR);
      TexturedRow(10, 10.0f / 4);
      for (int x = 0; x < 10; ++x)
        EXPECT_EQ(At(x, 0), c.expected[x]) << "mode " << c.mode << " filter " << filter << " x " << x;
    }
  }
}

TEST_F(D3DTexture, CompressedAndSixteenBitTexturesDrawTheirColours) {
  // Colours exact in 5:6:5, one to each 4x4 block, so that both formats keep them.
  const std::vector<uint32_t> texels = {0xFFFF0000, 0xFFFF0000, 0xFFFF0000, 0xFFFF0000,
                                        0xFF0000FF, 0xFF0000FF, 0xFF0000FF, 0xFF0000FF};
  for (const DDPIXELFORMAT& format : {MakeRgbFormat(16, 0xF800, 0x07E0, 0x001F), MakeFourCCFormat(FOURCC_DXT1)}) {
    Start(8, 1);
    Ref<DirectDrawSurface> texture = Make(DescWithFormat(DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY, 8, 4, format));
    // Through a blit from a 32-bit picture, which encodes the compressed blocks.
    Ref<DirectDrawSurface> source = Texture(8, 4, [&] {
      std::vector<uint32_t> all;
      for (int row = 0; row < 4; ++row) all.insert(all.end(), texels.begin(), texels.end());
      return all;
    }());
    ASSERT_EQ(texture->Blt(nullptr, source.get(), nullptr, DDBLT_WAIT, nullptr), DD_OK);
    device_->SetTexture(0, texture.get());
    TexturedRow(8, 1.0f, 0.25f);
    for (int x = 0; x < 8; ++x) EXPECT_PRED2(Close, At(x, 0), texels[x] & 0xFFFFFF) << format.dwFourCC << " " << x;
  }
}

TEST_F(D3DTexture, LinearFilteringMixesNeighbouringTexels) {
  Start(8, 1);
  Ref<DirectDrawSurface> texture = Texture(2, 1, {0xFF000000, 0xFFFFFFFF});
  device_->SetTexture(0, texture.get());
  SetStage(0, D3DTSS_ADDRESS, D3DTADDRESS_CLAMP);
  SetStage(0, D3DTSS_MAGFILTER, D3DTFG_LINEAR);
  SetStage(0, D3DTSS_MINFILTER, D3DTFN_LINEAR);
  TexturedRow(8, 1.0f);
  // Pixel centres at u = (x + 0.5) / 8: texel positions 0.125 .. 1.875, centres at 0.5 and 1.5.
  const uint32_t expected[8] = {0, 0, 0x202020, 0x606060, 0xA0A0A0, 0xE0E0E0, 0xFFFFFF, 0xFFFFFF};
  for (int x = 0; x < 8; ++x) EXPECT_PRED2(Close, At(x, 0), expected[x]) << x;
}

TEST_F(D3DTexture, MipMapsAreChosenByTheTexelsAPixelSpans) {
  // An 8x8 texture with a mip chain whose levels are red, green and blue, then white.
  DDSURFACEDESC2 desc = DescWithFormat(DDSCAPS_TEXTURE | DDSCAPS_MIPMAP | DDSCAPS_COMPLEX | DDSCAPS_SYSTEMMEMORY, 8, 8,
                                       MakeRgbFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000));
  desc.dwFlags |= DDSD_MIPMAPCOUNT;
  desc.dwMipMapCount = 4;
  Ref<DirectDrawSurface> texture = Make(desc);
  const uint32_t colours[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
  DirectDrawSurface* level = texture.get();
  level->AddRef();
  DDSCAPS2 caps{};
  caps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_MIPMAP;
  for (int i = 0; i < 4 && level; ++i) {
    FillTexture(level, std::vector<uint32_t>(level->Width() * level->Height(), colours[i]));
    DirectDrawSurface* next = nullptr;
    level->GetAttachedSurface(&caps, &next);
    level->Release();
    level = next;
  }
  if (level) level->Release();
  // The whole 8-texel width over 2 pixels: 4 texels a pixel, level 2; over 8, level 0; over 4, level 1.
  const struct {
    DWORD mip;
    int pixels;
    uint32_t expected;
  } cases[] = {{D3DTFP_POINT, 2, 0x0000FF},
               {D3DTFP_POINT, 8, 0xFF0000},
               {D3DTFP_NONE, 2, 0xFF0000},
               {D3DTFP_POINT, 4, 0x00FF00}};
  for (const auto& c : cases) {
    Start(8, 1);
    device_->SetTexture(0, texture.get());
    SetStage(0, D3DTSS_MIPFILTER, c.mip);
    TexturedRow(c.pixels, 1.0f, 1.0f / float(c.pixels));
    EXPECT_EQ(At(0, 0), c.expected) << c.mip << " " << c.pixels;
  }
  // A bias of one level, the largest level allowed, and a linear mix halfway between two levels.
  Start(8, 1);
  device_->SetTexture(0, texture.get());
  SetStage(0, D3DTSS_MIPFILTER, D3DTFP_POINT);
  SetStage(0, D3DTSS_MIPMAPLODBIAS, FloatBits(1.0f));
  TexturedRow(4, 1.0f, 0.25f);
  EXPECT_EQ(At(0, 0), 0x0000FFu);
  Start(8, 1);
  device_->SetTexture(0, texture.get());
  SetStage(0, D3DTSS_MIPFILTER, D3DTFP_POINT);
  SetStage(0, D3DTSS_MAXMIPLEVEL, 1);
  TexturedRow(8, 1.0f, 0.125f);
  EXPECT_EQ(At(0, 0), 0x00FF00u);
  Start(8, 1);
  device_->SetTexture(0, texture.get());
  SetStage(0, D3DTSS_MIPFILTER, D3DTFP_LINEAR);
  SetStage(0, D3DTSS_MIPMAPLODBIAS, FloatBits(0.5f));
  TexturedRow(8, 1.0f, 0.125f);
  EXPECT_PRED2(Close, At(0, 0), 0x808000u);
}

TEST_F(D3DTexture, ColourKeyedTexelsAreNotDrawn) {
  Start(4, 1);
  Draw(Rect(0, 0, 4, 1, 0xFF404040, 0.9f));
  // Without an alpha channel the key compares the colour alone.
  Ref<DirectDrawSurface> texture =
      Texture(4, 1, {0xFF000000, 0xFFFF0000, 0xFF000000, 0xFF00FF00}, MakeRgbFormat(32, 0xFF0000, 0xFF00, 0xFF));
  const DDCOLORKEY black{0, 0};
  ASSERT_EQ(texture->SetColorKey(DDCKEY_SRCBLT, &black), DD_OK);
  device_->SetTexture(0, texture.get());
  Set(D3DRENDERSTATE_COLORKEYENABLE, 1);
  TexturedRow(4, 1.0f);
  EXPECT_EQ(At(0, 0), 0x404040u);
  EXPECT_EQ(At(1, 0), 0xFF0000u);
  EXPECT_EQ(At(2, 0), 0x404040u);
  EXPECT_EQ(At(3, 0), 0x00FF00u);
  Set(D3DRENDERSTATE_COLORKEYENABLE, 0);
  TexturedRow(4, 1.0f);
  EXPECT_EQ(At(0, 0), 0u);
}

TEST_F(D3DTexture, StageOperationsCombineTheirArguments) {
  const uint32_t t = 0x80C04020, d = 0x604080C0;
  const auto each = [](uint32_t a, uint32_t b, auto f) {
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
      out |= uint32_t(std::clamp(f(ChannelOf(a, shift), ChannelOf(b, shift)), 0, 255)) << shift;
    }
    return out;
  };
  const auto mix = [&](int alpha) {
    return each(t, d, [alpha](int x, int y) { return (x * alpha + y * (255 - alpha) + 127) / 255; });
  };
  const struct {
    DWORD op;
    uint32_t expected;
  } cases[] = {
      {D3DTOP_SELECTARG1, t & 0xFFFFFF},
      {D3DTOP_SELECTARG2, d & 0xFFFFFF},
      {D3DTOP_MODULATE, each(t, d, [](int x, int y) { return (x * y + 127) / 255; })},
      {D3DTOP_MODULATE2X, each(t, d, [](int x, int y) { return 2 * ((x * y + 127) / 255); })},
      {D3DTOP_MODULATE4X, each(t, d, [](int x, int y) { return 4 * ((x * y + 127) / 255); })},
      {D3DTOP_ADD, each(t, d, [](int x, int y) { return x + y; })},
      {D3DTOP_ADDSIGNED, each(t, d, [](int x, int y) { return x + y - 128; })},
      {D3DTOP_SUBTRACT, each(t, d, [](int x, int y) { return x - y; })},
      {D3DTOP_BLENDDIFFUSEALPHA, mix(0x60)},
      {D3DTOP_BLENDTEXTUREALPHA, mix(0x80)},
      {D3DTOP_BLENDCURRENTALPHA, mix(0x60)},
  };
  for (const auto& c : cases) {
    Start(2, 1);
    Ref<DirectDrawSurface> texture = Texture(1, 1, {t});
    device_->SetTexture(0, texture.get());
    SetStage(0, D3DTSS_COLOROP, c.op);
    SetStage(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    SetStage(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    Draw(Rect(0, 0, 2, 1, d));
    EXPECT_PRED2(Close, At(0, 0), c.expected) << "op " << c.op;
  }
  // A second stage adds the texture factor to the first stage's result.
  Start(2, 1);
  SetStage(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  SetStage(1, D3DTSS_COLOROP, D3DTOP_ADD);
  SetStage(1, D3DTSS_COLORARG1, D3DTA_TFACTOR);
  SetStage(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
  Set(D3DRENDERSTATE_TEXTUREFACTOR, 0x00102030);
  Draw(Rect(0, 0, 2, 1, 0xFF405060));
  EXPECT_EQ(At(0, 0), 0x507090u);
}

TEST_F(D3DTexture, EveryReportedBlendFactorBlendsAsDefined) {
  D3DDEVICEDESC7 caps{};
  Start(1, 1);
  ASSERT_EQ(device_->GetCaps(&caps), D3D_OK);
  const uint32_t source = 0xA0309060, dest = 0xFF4080C0;  // the target has no alpha: it reads 255
  const auto factor = [&](DWORD f, int shift, bool forSource) -> int {
    const int sa = 0xA0, da = 255;
    const int s = ChannelOf(source, shift), d = ChannelOf(dest, shift);
    switch (f) {
      case D3DBLEND_ZERO: return 0;
      case D3DBLEND_ONE: return 255;
      case D3DBLEND_SRCCOLOR: return s;
      case D3DBLEND_INVSRCCOLOR: return 255 - s;
      case D3DBLEND_SRCALPHA: return sa;
      case D3DBLEND_INVSRCALPHA: return 255 - sa;
      case D3DBLEND_DESTALPHA: return da;
      case D3DBLEND_INVDESTALPHA: return 255 - da;
      case D3DBLEND_DESTCOLOR: return d;
      case D3DBLEND_INVDESTCOLOR: return 255 - d;
      case D3DBLEND_SRCALPHASAT: return std::min(sa, 255 - da);
      case D3DBLEND_BOTHSRCALPHA: return forSource ? sa : 255 - sa;
      case D3DBLEND_BOTHINVSRCALPHA: return forSource ? 255 - sa : sa;
    }
    return -1;
  };
  for (DWORD s = D3DBLEND_ZERO; s <= D3DBLEND_BOTHINVSRCALPHA; ++s) {
    if (!(caps.dpcTriCaps.dwSrcBlendCaps & (1u << (s - 1)))) continue;
    for (DWORD d = D3DBLEND_ZERO; d <= D3DBLEND_BOTHINVSRCALPHA; ++d) {
      if (!(caps.dpcTriCaps.dwDestBlendCaps & (1u << (d - 1)))) continue;
      Start(1, 1);
      Draw(Rect(0, 0, 1, 1, dest, 0.9f));
      Set(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
      Set(D3DRENDERSTATE_SRCBLEND, s);
      Set(D3DRENDERSTATE_DESTBLEND, d);
      SetStage(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
      SetStage(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
      Draw(Rect(0, 0, 1, 1, source, 0.5f));
      const bool both = s == D3DBLEND_BOTHSRCALPHA || s == D3DBLEND_BOTHINVSRCALPHA;
      uint32_t expected = 0;
      for (int shift = 0; shift < 24; shift += 8) {
        const int fs = factor(s, shift, true);
        const int fd = both ? factor(s, shift, false) : factor(d, shift, false);
        const int value = (ChannelOf(source, shift) * fs + ChannelOf(dest, shift) * fd + 127) / 255;
        expected |= uint32_t(std::min(value, 255)) << shift;
      }
      EXPECT_PRED2(Close, At(0, 0), expected) << "source " << s << " destination " << d;
    }
  }
}

// What the device reports is what the tests of this folder prove it does.
TEST_F(D3DTexture, TheCapabilitiesClaimedAreTheOnesImplemented) {
  Start(1, 1);
  D3DDEVICEDESC7 caps{};
  ASSERT_EQ(device_->GetCaps(&caps), D3D_OK);
  const D3DPRIMCAPS& tri = caps.dpcTriCaps;
  EXPECT_EQ(tri.dwZCmpCaps, 0xFFu);
  EXPECT_EQ(tri.dwAlphaCmpCaps, 0xFFu);
  EXPECT_EQ(tri.dwSrcBlendCaps, 0x1FFFu);
  EXPECT_EQ(tri.dwDestBlendCaps, 0x03FFu);
  EXPECT_EQ(tri.dwRasterCaps, D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_SUBPIXEL | D3DPRASTERCAPS_FOGVERTEX |
                                  D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_FOGRANGE | D3DPRASTERCAPS_WFOG |
                                  D3DPRASTERCAPS_MIPMAPLODBIAS);
  EXPECT_EQ(tri.dwMiscCaps, D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW);
  EXPECT_EQ(tri.dwTextureAddressCaps,
            D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP | D3DPTADDRESSCAPS_INDEPENDENTUV);
  EXPECT_EQ(tri.dwTextureCaps & (D3DPTEXTURECAPS_TRANSPARENCY | D3DPTEXTURECAPS_COLORKEYBLEND),
            D3DPTEXTURECAPS_TRANSPARENCY);
  EXPECT_EQ(tri.dwTextureFilterCaps & (D3DPTFILTERCAPS_MINFANISOTROPIC | D3DPTFILTERCAPS_MAGFANISOTROPIC), 0u);
  EXPECT_EQ(caps.wMaxTextureBlendStages, 2);
  EXPECT_EQ(caps.wMaxSimultaneousTextures, 2);
  EXPECT_EQ(caps.dwTextureOpCaps, D3DTEXOPCAPS_DISABLE | D3DTEXOPCAPS_SELECTARG1 | D3DTEXOPCAPS_SELECTARG2 |
                                      D3DTEXOPCAPS_MODULATE | D3DTEXOPCAPS_MODULATE2X | D3DTEXOPCAPS_MODULATE4X |
                                      D3DTEXOPCAPS_ADD | D3DTEXOPCAPS_ADDSIGNED | D3DTEXOPCAPS_SUBTRACT |
                                      D3DTEXOPCAPS_BLENDDIFFUSEALPHA | D3DTEXOPCAPS_BLENDTEXTUREALPHA |
                                      D3DTEXOPCAPS_BLENDCURRENTALPHA);
  EXPECT_EQ(caps.dwDeviceRenderBitDepth, DWORD(DDBD_16 | DDBD_24 | DDBD_32));
  EXPECT_EQ(caps.dwDeviceZBufferBitDepth, DWORD(DDBD_16 | DDBD_24 | DDBD_32));
  // An 8-bit palettised target is refused, as the render depths say.
  Ref<DirectDrawSurface> eight = Make(
      DescWithFormat(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_SYSTEMMEMORY, 8, 8, DisplayPixelFormat(8)));
  Direct3DDevice* none = nullptr;
  EXPECT_EQ(direct3D_->CreateDevice(IID_IDirect3DHALDevice, eight.get(), &none), DDERR_INVALIDPIXELFORMAT);
}

TEST_F(D3DTexture, AlphaTestsCompareWithTheReference) {
  for (const CompareCase& c : kCompareCases) {
    Start(3, 1);
    Set(D3DRENDERSTATE_ALPHATESTENABLE, 1);
    Set(D3DRENDERSTATE_ALPHAFUNC, c.compare);
    Set(D3DRENDERSTATE_ALPHAREF, 0x80);
    SetStage(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    SetStage(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    Draw(Rect(0, 0, 1, 1, 0x7FFFFFFF));
    Draw(Rect(1, 0, 2, 1, 0x80FFFFFF));
    Draw(Rect(2, 0, 3, 1, 0x81FFFFFF));
    EXPECT_EQ(At(0, 0), c.below ? 0xFFFFFFu : 0u) << c.compare;
    EXPECT_EQ(At(1, 0), c.equal ? 0xFFFFFFu : 0u) << c.compare;
    EXPECT_EQ(At(2, 0), c.above ? 0xFFFFFFu : 0u) << c.compare;
  }
}

}  // namespace
}  // namespace vx::win::testing
