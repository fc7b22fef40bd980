// Rasterisation through the device: coverage and the top-left rule, flat and Gouraud shading,
// depth tests on every depth format, culling, fill modes, clipping, thread counts, and the
// specialised spans against the reference path over every family of states.
#include <functional>
#include <random>
#include <string>

#include "platform/d3d/raster.h"
#include "platform/d3d/vertex_pipeline.h"
#include "tests/platform/d3d_render_support.h"

namespace vx::win::testing {
namespace {

class D3DRaster : public D3DRender {
 protected:
  // Draws the triangles once on the fast spans and once on the reference path, with the states
  // that `states` sets, and expects the two pictures to match.
  void ExpectSpanPathsMatch(DWORD bits, DWORD depthBits, const std::vector<TLVertex>& vertices,
                            const std::function<void()>& states, const std::string& name) {
    test::Picture pictures[2];
    for (int path = 0; path < 2; ++path) {
      Start(64, 48, bits, depthBits);
      device_->SetSpanPath(path == 0 ? raster::SpanPath::Fast : raster::SpanPath::Reference);
      Set(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
      states();
      Draw(vertices);
      pictures[path] = Shot();
      ASSERT_EQ(device_->EndScene(), D3D_OK);
      device_.reset();
    }
    ASSERT_TRUE(test::MatchesPicture(pictures[0], pictures[1], name));
  }
};

TEST_F(D3DRaster, ARectangleCoversExactlyItsPixelCentres) {
  Start(8, 8);
  Set(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
  Draw(Rect(2, 1, 6, 4, 0xFF00FF00));
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const bool inside = x >= 2 && x < 6 && y >= 1 && y < 4;
      EXPECT_EQ(At(x, y), inside ? 0x00FF00u : 0u) << x << "," << y;
    }
  }
}

// Edges through pixel centres: triangles that share them cover each pixel once, and a shape
// takes the centres on its top and left edges but not those on its right and bottom.
TEST_F(D3DRaster, SharedEdgesCoverEachPixelOnceByTheTopLeftRule) {
  Start(16, 16);
  Set(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
  Set(D3DRENDERSTATE_ZENABLE, 0);
  Set(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
  Set(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ONE);
  Set(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE);
  // A fan of eight triangles about (8, 8) with corners on the square from (2, 2) to (14, 14).
  const float ring[8][2] = {{2, 2}, {8, 2}, {14, 2}, {14, 8}, {14, 14}, {8, 14}, {2, 14}, {2, 8}};
  std::vector<TLVertex> fan = {TL(8, 8, 0xFF010101)};
  for (int i = 0; i <= 8; ++i) fan.push_back(TL(ring[i % 8][0], ring[i % 8][1], 0xFF010101));
  Draw(fan, D3DPT_TRIANGLEFAN);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      const bool inside = x >= 2 && x < 14 && y >= 2 && y < 14;
      EXPECT_EQ(At(x, y), inside ? 0x010101u : 0u) << x << "," << y;
    }
  }
}

TEST_F(D3DRaster, FlatShadingTakesTheFirstVertexAndGouraudBlendsTheCorners) {
  Start(32, 32);
  Set(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
  const std::vector<TLVertex> triangle = {TL(0, 0, 0xFFFF0000), TL(32, 0, 0xFF00FF00), TL(0, 32, 0xFF0000FF)};
  Set(D3DRENDERSTATE_SHADEMODE, D3DSHADE_FLAT);
  Draw(triangle);
  EXPECT_EQ(At(1, 1), 0xFF0000u);
  EXPECT_EQ(At(20, 5), 0xFF0000u);
  Set(D3DRENDERSTATE_SHADEMODE, D3DSHADE_GOURAUD);
  Draw(triangle);
  // At (8, 8) the weights are 1/2, 1/4, 1/4.
  EXPECT_EQ(At(8, 8), 0x804040u);
  EXPECT_EQ(At(0, 0), 0xFF0000u);
}

TEST_F(D3DRaster, DepthComparesOnEveryFormatAndWritesOnlyWhenAsked) {
  for (const DWORD depthBits : {16u, 24u, 32u}) {
    for (const CompareCase& c : kCompareCases) {
      SCOPED_TRACE(::testing::Message() << depthBits << " bits, compare " << c.compare);
      Start(6, 2, 32, depthBits);
      ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.5f, 0), D3D_OK);
      const uint32_t half = DepthAt(0, 0);
      Set(D3DRENDERSTATE_ZFUNC, c.compare);
      Set(D3DRENDERSTATE_ZWRITEENABLE, 0);
      Draw(Rect(0, 0, 2, 1, 0xFFFFFFFF, 0.25f));
      Draw(Rect(2, 0, 4, 1, 0xFFFFFFFF, 0.5f));
      Draw(Rect(4, 0, 6, 1, 0xFFFFFFFF, 0.75f));
      EXPECT_EQ(At(0, 0), c.below ? 0xFFFFFFu : 0u);
      EXPECT_EQ(At(2, 0), c.equal ? 0xFFFFFFu : 0u);
      EXPECT_EQ(At(4, 0), c.above ? 0xFFFFFFu : 0u);
      EXPECT_EQ(DepthAt(0, 0), half);
      // Written on the second row when asked: 0.25 in the buffer's own steps.
      Set(D3DRENDERSTATE_ZWRITEENABLE, 1);
      Draw(Rect(0, 1, 2, 2, 0xFFFFFFFF, 0.25f));
      const double steps = depthBits == 32 ? 4294967295.0 : double((1u << depthBits) - 1);
      if (c.below) {
        EXPECT_NEAR(double(DepthAt(0, 1)), 0.25 * steps, 1.0);
      } else {
        EXPECT_EQ(DepthAt(0, 1), half);
      }
      EXPECT_EQ(device_->EndScene(), D3D_OK);
    }
  }
}

TEST_F(D3DRaster, ClearsInsideASceneKeepTheirPlaceAmongTheDraws) {
  for (const DWORD depthBits : {16u, 24u}) {
    Start(8, 4, 32, depthBits);
    Draw(Rect(0, 0, 8, 4, 0xFFFF0000, 0.2f));
    const D3DRECT left = {0, 0, 4, 4};
    ASSERT_EQ(device_->Clear(1, &left, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FF, 1.0f, 0), D3D_OK);
    Draw(Rect(0, 0, 8, 4, 0xFF00FF00, 0.5f));  // shows only where the depth was cleared
    EXPECT_EQ(At(1, 1), 0x00FF00u) << depthBits;
    EXPECT_EQ(At(6, 1), 0xFF0000u) << depthBits;
    ASSERT_EQ(device_->Clear(1, &left, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0), D3D_OK);
    EXPECT_EQ(At(1, 1), 0x0000FFu) << depthBits;
    ASSERT_EQ(device_->EndScene(), D3D_OK);
  }
}

TEST_F(D3DRaster, ATargetLostInsideASceneEndsItAndDrawsAgainOnceRestored) {
  Start(8, 8);
  Draw(Rect(0, 0, 8, 8, 0xFFFFFFFF));
  LoseSurface(target_.get());
  EXPECT_EQ(device_->EndScene(), D3D_OK);
  ASSERT_EQ(target_->Restore(), DD_OK);
  EXPECT_EQ(device_->BeginScene(), D3D_OK);
  Draw(Rect(0, 0, 2, 2, 0xFF00FF00));
  EXPECT_EQ(device_->EndScene(), D3D_OK);
  EXPECT_EQ(At(1, 1), 0x00FF00u);
}

TEST_F(D3DRaster, WithoutDepthTestingNothingIsTestedOrWritten) {
  Start(4, 1);
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.0f, 0), D3D_OK);
  Set(D3DRENDERSTATE_ZENABLE, D3DZB_FALSE);
  Draw(Rect(0, 0, 4, 1, 0xFF123456, 0.75f));
  EXPECT_EQ(At(1, 0), 0x123456u);
  EXPECT_EQ(DepthAt(1, 0), 0u);
}

TEST_F(D3DRaster, CullingDropsTheNamedWinding) {
  const std::vector<TLVertex> clockwise = {TL(0, 0, 0xFFFF0000), TL(8, 0, 0xFFFF0000), TL(0, 8, 0xFFFF0000)};
  const std::vector<TLVertex> anticlockwise = {TL(16, 0, 0xFF00FF00), TL(8, 8, 0xFF00FF00), TL(16, 8, 0xFF00FF00)};
  const struct {
    DWORD cull;
    bool clockwiseShown, anticlockwiseShown;
  } cases[] = {{D3DCULL_NONE, true, true}, {D3DCULL_CW, false, true}, {D3DCULL_CCW, true, false}};
  for (const auto& c : cases) {
    Start(16, 8);
    Set(D3DRENDERSTATE_CULLMODE, c.cull);
    Draw(clockwise);
    Draw(anticlockwise);
    EXPECT_EQ(At(1, 1), c.clockwiseShown ? 0xFF0000u : 0u) << c.cull;
    EXPECT_EQ(At(14, 6), c.anticlockwiseShown ? 0x00FF00u : 0u) << c.cull;
  }
}

TEST_F(D3DRaster, WireframeDrawsTheEdgesAndPointFillTheCorners) {
  Start(16, 16);
  Set(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
  const std::vector<TLVertex> triangle = {TL(2, 2, 0xFFFFFFFF), TL(12, 2, 0xFFFFFFFF), TL(2, 12, 0xFFFFFFFF)};
  Set(D3DRENDERSTATE_FILLMODE, D3DFILL_WIREFRAME);
  Draw(triangle);
  EXPECT_EQ(At(7, 2), 0xFFFFFFu);  // top edge
  EXPECT_EQ(At(2, 7), 0xFFFFFFu);  // left edge
  EXPECT_EQ(At(7, 7), 0xFFFFFFu);  // the diagonal
  EXPECT_EQ(At(4, 4), 0u);         // inside stays empty
  Start(16, 16);
  Set(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
  Set(D3DRENDERSTATE_FILLMODE, D3DFILL_POINT);
  Draw(triangle);
  int lit = 0;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) lit += At(x, y) != 0;
  }
  EXPECT_EQ(lit, 3);
  EXPECT_EQ(At(12, 2), 0xFFFFFFu);
}

TEST_F(D3DRaster, ListsStripsAndFansFromMemoryAndVertexBuffersDrawTheSameSquare) {
  // The square from (2, 2) to (10, 10) with its four corners coloured.
  const TLVertex a = TL(1.5f, 1.5f, 0xFFFF0000), b = TL(9.5f, 1.5f, 0xFF00FF00), c = TL(1.5f, 9.5f, 0xFF0000FF),
                 d = TL(9.5f, 9.5f, 0xFFFFFFFF);
  // All split the square along the diagonal from b to c.
  const std::vector<TLVertex> list = {a, b, c, b, d, c}, strip = {a, b, c, d}, fan = {b, d, c, a};
  const std::vector<WORD> listIndices = {0, 1, 2, 1, 3, 2};
  const std::vector<TLVertex> corners = {a, b, c, d};
  Ref<Direct3DVertexBuffer> buffer;
  {
    D3DVERTEXBUFFERDESC desc{sizeof desc, 0, kTLVertex, 4};
    Direct3DVertexBuffer* made = nullptr;
    ASSERT_EQ(direct3D_->CreateVertexBuffer(&desc, &made, 0), D3D_OK);
    buffer.reset(made);
    void* data = nullptr;
    ASSERT_EQ(buffer->Lock(DDLOCK_WRITEONLY, &data, nullptr), D3D_OK);
    std::memcpy(data, corners.data(), sizeof(TLVertex) * 4);
    buffer->Unlock();
  }
  test::Picture first;
  for (int way = 0; way < 5; ++way) {
    Start(12, 12);
    Set(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    switch (way) {
      case 0: Draw(list); break;
      case 1: Draw(strip, D3DPT_TRIANGLESTRIP); break;
      case 2: Draw(fan, D3DPT_TRIANGLEFAN); break;
      case 3:
        ASSERT_EQ(
            device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, kTLVertex, corners.data(), 4, listIndices.data(), 6, 0),
            D3D_OK);
        break;
      case 4:
        ASSERT_EQ(device_->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, buffer.get(), 0, 4, listIndices.data(), 6, 0),
                  D3D_OK);
        break;
    }
    const test::Picture shot = Shot();
    if (way == 0) {
      first = shot;
      EXPECT_NE(At(2, 2), 0u);
      EXPECT_EQ(At(1, 1), 0u);
      EXPECT_NE(At(9, 9), 0u);
      EXPECT_EQ(At(10, 10), 0u);
    } else {
      EXPECT_TRUE(test::MatchesPicture(shot, first, "square-" + std::to_string(way))) << way;
    }
  }
}

TEST_F(D3DRaster, TrianglesReachingPastTheGuardBandAreClippedToIt) {
  Start(16, 16);
  Set(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
  D3DDEVICEDESC7 caps{};
  ASSERT_EQ(device_->GetCaps(&caps), D3D_OK);
  EXPECT_LE(caps.dvGuardBandLeft, -4096.0f);
  EXPECT_GE(caps.dvGuardBandRight, 4096.0f);
  // Through the device's transform: a triangle whose far corners project far past the band.
  const D3DMATRIX identity = Identity();
  const D3DMATRIX projection = Perspective(1.0f, 1.0f, 1.0f, 100.0f);
  device_->SetTransform(D3DTRANSFORMSTATE_WORLD, &identity);
  device_->SetTransform(D3DTRANSFORMSTATE_VIEW, &identity);
  device_->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &projection);
  Set(D3DRENDERSTATE_LIGHTING, 0);
  struct {
    float x, y, z;
    DWORD colour;
  } huge[3] = {{-1e6f, -1e6f, 5, 0xFF00FF00}, {1e6f, -1e6f, 5, 0xFF00FF00}, {0, 1e6f, 5, 0xFF00FF00}};
  ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZ | D3DFVF_DIFFUSE, huge, 3, 0), D3D_OK);
  const test::Picture shot = Shot();
  for (const uint32_t pixel : shot.pixels) EXPECT_EQ(pixel & 0xFFFFFF, 0x00FF00u);
}

TEST_F(D3DRaster, LinesAndPointsDrawTheirPixels) {
  Start(8, 8);
  Draw({TL(1, 1, 0xFFFF0000), TL(6, 1, 0xFFFF0000)}, D3DPT_LINELIST);
  Draw({TL(3, 5, 0xFF00FF00)}, D3DPT_POINTLIST);
  for (int x = 0; x < 8; ++x) EXPECT_EQ(At(x, 1), x >= 1 && x <= 6 ? 0xFF0000u : 0u) << x;
  EXPECT_EQ(At(3, 5), 0x00FF00u);
  EXPECT_EQ(At(4, 5), 0u);
}

// Random triangles over random states: the specialised spans draw what the reference draws.
TEST_F(D3DRaster, SpecialisedSpansMatchTheReferencePixelForPixel) {
  std::mt19937 random(7);
  const auto pick = [&](int n) { return int(random() % unsigned(n)); };
  const auto real = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(random); };
  std::vector<uint32_t> texels(16 * 8);
  for (uint32_t& t : texels) t = uint32_t(random());
  const DWORD bitsChoice[] = {16, 24, 32};
  const DWORD depthChoice[] = {0, 16, 24, 32};
  for (int round = 0; round < 48; ++round) {
    const DWORD bits = bitsChoice[pick(3)];
    const DWORD depthBits = depthChoice[pick(4)];
    SCOPED_TRACE(::testing::Message() << "round " << round << ", " << bits << " bits, depth " << depthBits);
    Ref<DirectDrawSurface> textureSurface = Texture(16, 8, texels, MakeRgbFormat(32, 0xFF0000, 0xFF00, 0xFF));
    const DDCOLORKEY key{texels[5] & 0xFFFFFF, texels[5] & 0xFFFFFF};
    textureSurface->SetColorKey(DDCKEY_SRCBLT, &key);
    std::vector<TLVertex> vertices;
    for (int i = 0; i < 30; ++i) {
      const DWORD colour = DWORD(random()) | 0xFF000000u;
      const DWORD specular = DWORD(random());  // its alpha is the fog factor
      vertices.push_back(
          {real(-8, 72), real(-8, 56), real(0, 1), real(0.2f, 2), colour, specular, real(-2, 3), real(-2, 3)});
    }
    // Vertex fog, colour keys and blending by colours stay on the specialised spans.
    const DWORD fog = DWORD(pick(3) == 0);
    const DWORD keyed = DWORD(pick(3) == 0);
    const DWORD factors[] = {D3DBLEND_ZERO,        D3DBLEND_ONE,       D3DBLEND_SRCCOLOR,
                             D3DBLEND_INVSRCCOLOR, D3DBLEND_DESTCOLOR, D3DBLEND_INVDESTCOLOR};
    const DWORD blend = DWORD(pick(3) == 0);
    const DWORD source = factors[pick(6)], dest = factors[pick(6)];
    const DWORD compare = DWORD(D3DCMP_LESS + pick(2) * 2);  // LESS or LESSEQUAL
    const DWORD write = DWORD(pick(2));
    const DWORD shade = pick(4) == 0 ? D3DSHADE_FLAT : D3DSHADE_GOURAUD;
    const int texture = pick(3);  // none, point, linear
    const DWORD op = pick(3) == 0 ? D3DTOP_SELECTARG1 : D3DTOP_MODULATE;
    const DWORD address = DWORD(D3DTADDRESS_WRAP + pick(3));
    ExpectSpanPathsMatch(
        bits, depthBits, vertices,
        [&] {
          Set(D3DRENDERSTATE_ZFUNC, compare);
          Set(D3DRENDERSTATE_ZWRITEENABLE, write);
          Set(D3DRENDERSTATE_SHADEMODE, shade);
          SetStage(0, D3DTSS_COLOROP, op);
          SetStage(0, D3DTSS_ADDRESS, address);
          Set(D3DRENDERSTATE_FOGENABLE, fog);
          Set(D3DRENDERSTATE_FOGCOLOR, 0x00406080);
          Set(D3DRENDERSTATE_COLORKEYENABLE, keyed);
          Set(D3DRENDERSTATE_ALPHABLENDENABLE, blend);
          Set(D3DRENDERSTATE_SRCBLEND, source);
          Set(D3DRENDERSTATE_DESTBLEND, dest);
          if (texture > 0) {
            ASSERT_EQ(device_->SetTexture(0, textureSurface.get()), D3D_OK);
            const DWORD filter = texture == 1 ? D3DTFG_POINT : D3DTFG_LINEAR;
            SetStage(0, D3DTSS_MAGFILTER, filter);
            SetStage(0, D3DTSS_MINFILTER, texture == 1 ? D3DTFN_POINT : D3DTFN_LINEAR);
          }
        },
        "spans-round-" + std::to_string(round));
    if (HasFatalFailure()) return;
  }
}

// Random triangles over random states of the families beyond the first test's: blending by any
// factors, alpha tests, specular, table fog, texture operations of every kind on one or two
// stages, mip-maps and differing minification and magnification filters.
TEST_F(D3DRaster, SpecialisedSpansOfEveryStateFamilyMatchTheReference) {
  std::mt19937 random(13);
  const auto pick = [&](int n) { return int(random() % unsigned(n)); };
  const auto real = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(random); };
  std::vector<uint32_t> texels(16 * 8);
  for (uint32_t& t : texels) t = uint32_t(random());
  const DWORD bitsChoice[] = {16, 24, 32};
  const DWORD depthChoice[] = {0, 16, 24, 32};
  const DWORD ops[] = {D3DTOP_SELECTARG1,        D3DTOP_SELECTARG2,       D3DTOP_MODULATE,
                       D3DTOP_MODULATE2X,        D3DTOP_MODULATE4X,       D3DTOP_ADD,
                       D3DTOP_ADDSIGNED,         D3DTOP_SUBTRACT,         D3DTOP_BLENDDIFFUSEALPHA,
                       D3DTOP_BLENDTEXTUREALPHA, D3DTOP_BLENDCURRENTALPHA};
  const auto arg = [&] {
    const DWORD sources[] = {D3DTA_DIFFUSE, D3DTA_CURRENT, D3DTA_TEXTURE, D3DTA_TEXTURE, D3DTA_TFACTOR, D3DTA_SPECULAR};
    DWORD a = sources[pick(6)];
    if (pick(4) == 0) a |= D3DTA_COMPLEMENT;
    if (pick(4) == 0) a |= D3DTA_ALPHAREPLICATE;
    return a;
  };
  // A 16x8 texture with four smaller levels, every texel random.
  const auto mipMappedTexture = [&] {
    DDSURFACEDESC2 desc = DescWithFormat(DDSCAPS_TEXTURE | DDSCAPS_MIPMAP | DDSCAPS_COMPLEX | DDSCAPS_SYSTEMMEMORY, 16,
                                         8, MakeRgbFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000));
    desc.dwFlags |= DDSD_MIPMAPCOUNT;
    desc.dwMipMapCount = 5;
    Ref<DirectDrawSurface> texture = Make(desc);
    DirectDrawSurface* level = texture.get();
    level->AddRef();
    DDSCAPS2 caps{};
    caps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_MIPMAP;
    while (level) {
      std::vector<uint32_t> levelTexels(level->Width() * level->Height());
      for (uint32_t& t : levelTexels) t = uint32_t(random());
      FillTexture(level, levelTexels);
      DirectDrawSurface* next = nullptr;
      level->GetAttachedSurface(&caps, &next);
      level->Release();
      level = next;
    }
    return texture;
  };
  for (int round = 0; round < 64; ++round) {
    const DWORD bits = bitsChoice[pick(3)];
    const DWORD depthBits = depthChoice[pick(4)];
    SCOPED_TRACE(::testing::Message() << "round " << round << ", " << bits << " bits, depth " << depthBits);
    Ref<DirectDrawSurface> plain = Texture(16, 8, texels);
    const DDCOLORKEY key{texels[5] & 0xFFFFFF, texels[5] & 0xFFFFFF};
    if (pick(2)) plain->SetColorKey(DDCKEY_SRCBLT, &key);
    Ref<DirectDrawSurface> mipMapped = mipMappedTexture();
    std::vector<TLVertex> vertices;
    for (int i = 0; i < 30; ++i) {
      vertices.push_back({real(-8, 72), real(-8, 56), real(0, 1), real(0.2f, 2), DWORD(random()), DWORD(random()),
                          real(-2, 3), real(-2, 3)});
    }
    struct StageChoice {
      int texture;  // none, plain, mip-mapped
      DWORD colourOp, colourArg1, colourArg2, alphaOp, alphaArg1, alphaArg2, mag, min, mip, address, maxLevel;
      float bias;
    };
    StageChoice stages[2];
    const int stageCount = 1 + pick(2);
    for (int i = 0; i < stageCount; ++i) {
      StageChoice& c = stages[i];
      c.texture = pick(3);
      // Mostly the usual modulation; otherwise any operation on any arguments.
      const bool usual = i == 0 && pick(2) == 0;
      c.colourOp = usual ? D3DTOP_MODULATE : ops[pick(11)];
      c.colourArg1 = usual ? D3DTA_TEXTURE : arg();
      c.colourArg2 = usual ? D3DTA_CURRENT : arg();
      c.alphaOp = usual ? D3DTOP_SELECTARG1 : (pick(4) == 0 ? D3DTOP_DISABLE : ops[pick(11)]);
      c.alphaArg1 = usual ? D3DTA_TEXTURE : arg();
      c.alphaArg2 = arg();
      c.mag = pick(2) ? D3DTFG_LINEAR : D3DTFG_POINT;
      c.min = pick(2) ? D3DTFN_LINEAR : D3DTFN_POINT;
      c.mip = DWORD(D3DTFP_NONE + pick(3));
      c.address = DWORD(D3DTADDRESS_WRAP + pick(3));
      c.maxLevel = DWORD(pick(3));
      c.bias = pick(2) ? 0.0f : real(-1, 1);
    }
    const DWORD factors[] = {D3DBLEND_ZERO,           D3DBLEND_ONE,          D3DBLEND_SRCCOLOR,
                             D3DBLEND_INVSRCCOLOR,    D3DBLEND_SRCALPHA,     D3DBLEND_INVSRCALPHA,
                             D3DBLEND_DESTALPHA,      D3DBLEND_INVDESTALPHA, D3DBLEND_DESTCOLOR,
                             D3DBLEND_INVDESTCOLOR,   D3DBLEND_SRCALPHASAT,  D3DBLEND_BOTHSRCALPHA,
                             D3DBLEND_BOTHINVSRCALPHA};
    const DWORD blend = DWORD(pick(2)), source = factors[pick(13)], dest = factors[pick(13)];
    const DWORD alphaTest = DWORD(pick(3) == 0), alphaCompare = kCompareCases[pick(8)].compare,
                alphaReference = DWORD(pick(256));
    const DWORD specular = DWORD(pick(2)), keyed = DWORD(pick(3) == 0), fog = DWORD(pick(2));
    const DWORD tableFog = DWORD(pick(4));  // none, exp, exp2, linear
    const float fogStart = real(0, 2), fogEnd = pick(8) ? real(2, 6) : fogStart, density = real(0.1f, 1);
    const DWORD textureFactor = DWORD(random());
    const DWORD compare = kCompareCases[pick(8)].compare, write = DWORD(pick(2));
    const DWORD shade = pick(4) == 0 ? D3DSHADE_FLAT : D3DSHADE_GOURAUD;
    ExpectSpanPathsMatch(
        bits, depthBits, vertices,
        [&] {
          Set(D3DRENDERSTATE_ZFUNC, compare);
          Set(D3DRENDERSTATE_ZWRITEENABLE, write);
          Set(D3DRENDERSTATE_SHADEMODE, shade);
          Set(D3DRENDERSTATE_ALPHABLENDENABLE, blend);
          Set(D3DRENDERSTATE_SRCBLEND, source);
          Set(D3DRENDERSTATE_DESTBLEND, dest);
          Set(D3DRENDERSTATE_ALPHATESTENABLE, alphaTest);
          Set(D3DRENDERSTATE_ALPHAFUNC, alphaCompare);
          Set(D3DRENDERSTATE_ALPHAREF, alphaReference);
          Set(D3DRENDERSTATE_SPECULARENABLE, specular);
          Set(D3DRENDERSTATE_COLORKEYENABLE, keyed);
          Set(D3DRENDERSTATE_FOGENABLE, fog);
          Set(D3DRENDERSTATE_FOGCOLOR, 0x00406080);
          Set(D3DRENDERSTATE_FOGTABLEMODE, tableFog);
          Set(D3DRENDERSTATE_FOGSTART, FloatBits(fogStart));
          Set(D3DRENDERSTATE_FOGEND, FloatBits(fogEnd));
          Set(D3DRENDERSTATE_FOGDENSITY, FloatBits(density));
          Set(D3DRENDERSTATE_TEXTUREFACTOR, textureFactor);
          for (int i = 0; i < stageCount; ++i) {
            const StageChoice& c = stages[i];
            const DWORD stage = DWORD(i);
            ASSERT_EQ(device_->SetTexture(stage, c.texture == 0   ? nullptr
                                                 : c.texture == 1 ? plain.get()
                                                                  : mipMapped.get()),
                      D3D_OK);
            SetStage(stage, D3DTSS_COLOROP, c.colourOp);
            SetStage(stage, D3DTSS_COLORARG1, c.colourArg1);
            SetStage(stage, D3DTSS_COLORARG2, c.colourArg2);
            SetStage(stage, D3DTSS_ALPHAOP, c.alphaOp);
            SetStage(stage, D3DTSS_ALPHAARG1, c.alphaArg1);
            SetStage(stage, D3DTSS_ALPHAARG2, c.alphaArg2);
            SetStage(stage, D3DTSS_MAGFILTER, c.mag);
            SetStage(stage, D3DTSS_MINFILTER, c.min);
            SetStage(stage, D3DTSS_MIPFILTER, c.mip);
            SetStage(stage, D3DTSS_MIPMAPLODBIAS, FloatBits(c.bias));
            SetStage(stage, D3DTSS_MAXMIPLEVEL, c.maxLevel);
            SetStage(stage, D3DTSS_ADDRESS, c.address);
            SetStage(stage, D3DTSS_TEXCOORDINDEX, 0);
          }
        },
        "families-round-" + std::to_string(round));
    if (HasFatalFailure()) return;
  }
}

// The renderer behind the device refuses a draw whose indices reach past its vertices, whole.
TEST(RasterRenderer, AnIndexPastTheVerticesRefusesTheWholeDraw) {
  std::vector<uint32_t> pixels(16 * 16, 0);
  raster::Renderer renderer;
  renderer.SetBuffers({reinterpret_cast<uint8_t*>(pixels.data()), 16 * 4, 16, 16, raster::ColourFormat::Xrgb8888}, {});
  renderer.SetPixelState(raster::PixelState{});
  raster::DrawSettings settings;
  settings.viewport = {0, 0, 16, 16, 0.0f, 1.0f};
  const auto lit = [&] {
    renderer.Flush();
    int count = 0;
    for (const uint32_t p : pixels) count += p != 0;
    return count;
  };
  raster::ScreenVertex screen[3] = {};
  const float corners[3][2] = {{0, 0}, {15, 0}, {0, 15}};
  for (int i = 0; i < 3; ++i) {
    screen[i].x = corners[i][0];
    screen[i].y = corners[i][1];
    screen[i].q = 1.0f;
    std::fill(std::begin(screen[i].a.diffuse), std::end(screen[i].a.diffuse), 255.0f);
  }
  const uint16_t indices[6] = {0, 1, 2, 0, 2, 7};
  EXPECT_FALSE(renderer.DrawScreen(settings, screen, 3, indices, 6));
  EXPECT_EQ(lit(), 0);
  EXPECT_TRUE(renderer.DrawScreen(settings, screen, 3, indices, 3));
  EXPECT_GT(lit(), 0);

  // Vertices to transform: positions in clip space already, unlit.
  std::fill(pixels.begin(), pixels.end(), 0);
  raster::VertexInput input;
  auto state = std::make_shared<raster::VertexState>();
  state->projection = raster::Matrix{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
  input.state = state;
  input.worldView = state->projection;
  input.lighting = false;
  input.layout.stride = 12;
  const float positions[3][3] = {{-1, 1, 0.5f}, {1, 1, 0.5f}, {-1, -1, 0.5f}};
  const auto* data = reinterpret_cast<const uint8_t*>(positions);
  EXPECT_FALSE(renderer.Draw(settings, input, data, 3, indices, 6));
  EXPECT_EQ(lit(), 0);
  EXPECT_TRUE(renderer.Draw(settings, input, data, 3, indices, 3));
  EXPECT_GT(lit(), 0);
}

TEST_F(D3DRaster, ThePictureIsTheSameForEveryThreadCount) {
  std::mt19937 random(11);
  std::vector<TLVertex> vertices;
  for (int i = 0; i < 600; ++i) {
    vertices.push_back({float(random() % 300) - 10, float(random() % 220) - 10, float(random() % 1000) / 1000.0f, 1.0f,
                        DWORD(random()) | 0xFF000000u, 0, 0, 0});
  }
  test::Picture pictures[2];
  const unsigned counts[2] = {1, 7};
  for (int i = 0; i < 2; ++i) {
    raster::SetThreadCount(counts[i]);
    Start(280, 200);
    Set(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    Set(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
    Set(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCCOLOR);
    Set(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCCOLOR);
    Draw(vertices);
    pictures[i] = Shot();
  }
  raster::SetThreadCount(0);
  EXPECT_TRUE(test::MatchesPicture(pictures[1], pictures[0], "threads"));
}

TEST_F(D3DRaster, GouraudTrianglesInEveryTargetFormatMatchTheirPictures) {
  for (const DWORD bits : {16u, 24u, 32u}) {
    Start(48, 32, bits);
    Set(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    Draw({TL(2, 2, 0xFFFF0000, 0.5f), TL(46, 6, 0xFF00FF00, 0.5f), TL(10, 30, 0xFF0000FF, 0.5f)});
    Draw({TL(30, 0, 0xFFFFFF00, 0.2f), TL(47, 31, 0xFF00FFFF, 0.8f), TL(20, 31, 0xFFFF00FF, 0.8f)});
    // Rounding may move a channel by a step or two, and a pixel or two where the triangles cross.
    EXPECT_TRUE(test::MatchesGolden(Shot(), "gouraud-" + std::to_string(bits), {2, 4}));
  }
}

}  // namespace
}  // namespace vx::win::testing
