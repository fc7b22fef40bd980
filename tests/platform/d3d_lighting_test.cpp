// Transform and lighting through the device, checked at single lit points against Direct3D 7's
// lighting equations: directional, point and spot lights with range, attenuation and cones,
// ambient, specular, material sources, normalisation, lighting off, vertex and table fog, and
// clipping at the near plane.
#include <cmath>

#include "tests/platform/d3d_render_support.h"

namespace vx::win::testing {
namespace {

// D3DFVF_XYZ | NORMAL | DIFFUSE | SPECULAR.
struct ColouredVertex {
  float x, y, z, nx, ny, nz;
  DWORD diffuse, specular;
};
constexpr DWORD kColouredVertex = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR;

uint32_t Byte(float value) { return uint32_t(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f)); }
uint32_t Rgb(float r, float g, float b) { return (Byte(r) << 16) | (Byte(g) << 8) | Byte(b); }

// Colours that differ by at most one step per channel: the lighting sums in floats.
bool Close(uint32_t a, uint32_t b) {
  for (int shift = 0; shift < 24; shift += 8) {
    if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 1) return false;
  }
  return true;
}

class D3DLighting : public D3DRender {
 protected:
  // A 64x64 view looking down +z from the origin with a 90 degree field of view: the point
  // (x, y, z) shows at pixel (32 + 32x/z, 32 - 32y/z).
  void SetUp() override {
    D3DRender::SetUp();
    Start(64, 64);
    const D3DMATRIX identity = Identity();
    const D3DMATRIX projection = Perspective(3.14159265f / 2, 1.0f, 1.0f, 100.0f);
    ASSERT_EQ(device_->SetTransform(D3DTRANSFORMSTATE_WORLD, &identity), D3D_OK);
    ASSERT_EQ(device_->SetTransform(D3DTRANSFORMSTATE_VIEW, &identity), D3D_OK);
    ASSERT_EQ(device_->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &projection), D3D_OK);
    Material({0.8f, 0.6f, 0.4f, 1.0f}, {0, 0, 0, 0});
    // Colours from the material unless a test asks for the vertex's.
    Set(D3DRENDERSTATE_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    Set(D3DRENDERSTATE_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
  }

  void Material(D3DCOLORVALUE diffuse, D3DCOLORVALUE ambient, D3DCOLORVALUE specular = {}, float power = 0,
                D3DCOLORVALUE emissive = {}) {
    D3DMATERIAL7 m{};
    m.diffuse = diffuse;
    m.ambient = ambient;
    m.specular = specular;
    m.emissive = emissive;
    m.power = power;
    ASSERT_EQ(device_->SetMaterial(&m), D3D_OK);
  }

  void Light(DWORD index, const D3DLIGHT7& light) {
    ASSERT_EQ(device_->SetLight(index, &light), D3D_OK);
    ASSERT_EQ(device_->LightEnable(index, 1), D3D_OK);
  }

  static D3DLIGHT7 Directional(D3DVECTOR direction) {
    D3DLIGHT7 l{};
    l.dltType = D3DLIGHT_DIRECTIONAL;
    l.dcvDiffuse = {1, 1, 1, 1};
    l.dvDirection = direction;
    return l;
  }

  static D3DLIGHT7 Point(D3DVECTOR position, float range, float a0, float a1, float a2) {
    D3DLIGHT7 l{};
    l.dltType = D3DLIGHT_POINT;
    l.dcvDiffuse = {1, 1, 1, 1};
    l.dvPosition = position;
    l.dvRange = range;
    l.dvAttenuation0 = a0;
    l.dvAttenuation1 = a1;
    l.dvAttenuation2 = a2;
    return l;
  }

  // The colour of one lit point at (0, 0, 10) with the normal, as drawn.
  uint32_t LitPoint(D3DVECTOR normal, DWORD diffuse = 0xFFFFFFFF, DWORD specular = 0, D3DVECTOR at = {0, 0, 10}) {
    const ColouredVertex v = {at.x, at.y, at.z, normal.x, normal.y, normal.z, diffuse, specular};
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_POINTLIST, kColouredVertex, &v, 1, 0), D3D_OK);
    return At(32 + int(std::lround(32 * at.x / at.z)), 32 - int(std::lround(32 * at.y / at.z)));
  }
};

TEST_F(D3DLighting, ADirectionalLightShadesByTheCosineOfItsAngle) {
  for (const float degrees : {0.0f, 30.0f, 60.0f, 89.0f, 120.0f}) {
    const float a = degrees * 3.14159265f / 180.0f;
    Light(0, Directional({std::sin(a), 0, std::cos(a)}));  // shining away from the viewer, tilted
    const float nDotL = std::max(0.0f, std::cos(a));
    EXPECT_PRED2(Close, LitPoint({0, 0, -1}), Rgb(0.8f * nDotL, 0.6f * nDotL, 0.4f * nDotL)) << degrees;
  }
}

TEST_F(D3DLighting, AmbientAndEmissiveAddToTheDiffuseTerm) {
  Light(0, Directional({0, 0, 1}));
  D3DLIGHT7 second = Directional({0, 0, 1});
  second.dcvDiffuse = {0, 0, 0, 0};
  second.dcvAmbient = {0.1f, 0.1f, 0.1f, 0};
  Light(1, second);
  Set(D3DRENDERSTATE_AMBIENT, 0x00402000);
  Material({0.5f, 0.5f, 0.5f, 1}, {1.0f, 0.5f, 0.0f, 1}, {}, 0, {0.0f, 0.0f, 0.25f, 1});
  // emissive + ambient * (global + light ambient) + diffuse * N.L
  const float gr = 0x40 / 255.0f + 0.1f, gg = 0x20 / 255.0f + 0.1f;
  EXPECT_PRED2(Close, LitPoint({0, 0, -1}), Rgb(1.0f * gr + 0.5f, 0.5f * gg + 0.5f, 0.25f + 0.5f));
}

TEST_F(D3DLighting, PointLightsAttenuateAndStopAtTheirRange) {
  // The point is 4 units from the light.
  Light(0, Point({0, 0, 6}, 10.0f, 0.5f, 0.25f, 0.0625f));
  const float attenuation = 1.0f / (0.5f + 0.25f * 4 + 0.0625f * 16);
  EXPECT_PRED2(Close, LitPoint({0, 0, -1}), Rgb(0.8f * attenuation, 0.6f * attenuation, 0.4f * attenuation));
  Light(0, Point({0, 0, 6}, 3.9f, 0.5f, 0.25f, 0.0625f));
  EXPECT_PRED2(Close, LitPoint({0, 0, -1}), 0u);
  // The device light of an engine light: range 3000 gives quadratic attenuation 1/1000000.
  Light(0, Point({0, 0, 0}, 3000.0f, 1.0f, 0.0f, 1.0f / ((3000.0f / 3.0f) * (3000.0f / 3.0f))));
  EXPECT_PRED2(Close, LitPoint({0, 0, -1}), Rgb(0.8f / (1 + 100e-6f), 0.6f / (1 + 100e-6f), 0.4f / (1 + 100e-6f)));
}

TEST_F(D3DLighting, SpotLightsFallOffBetweenTheirCones) {
  // A spot at the origin aimed along +z; the lit point sits at an angle off its axis.
  D3DLIGHT7 spot = Point({0, 0, 0}, 100.0f, 1.0f, 0.0f, 0.0f);
  spot.dltType = D3DLIGHT_SPOT;
  spot.dvDirection = {0, 0, 1};
  spot.dvTheta = 0.4f;  // inner half-angle 0.2
  spot.dvPhi = 1.0f;    // outer half-angle 0.5
  spot.dvFalloff = 2.0f;
  Light(0, spot);
  for (const float off : {0.1f, 0.35f, 0.6f}) {
    const D3DVECTOR at = {10 * std::tan(off), 0, 10};
    const float length = std::sqrt(at.x * at.x + at.z * at.z);
    // Facing the light: N.L is 1.
    const D3DVECTOR normal = {-at.x / length, 0, -at.z / length};
    const float rho = std::cos(off);
    float factor = 1.0f;
    if (rho <= std::cos(0.5f))
      factor = 0.0f;
    else if (rho <= std::cos(0.2f))
      factor = std::pow((rho - std::cos(0.5f)) / (std::cos(0.2f) - std::cos(0.5f)), 2.0f);
    EXPECT_PRED2(Close, LitPoint(normal, 0xFFFFFFFF, 0, at), Rgb(0.8f * factor, 0.6f * factor, 0.4f * factor)) << off;
  }
}

TEST_F(D3DLighting, SpecularHighlightsUseThePowerAndTheViewer) {
  D3DLIGHT7 light = Directional({0, 0, 1});
  light.dcvSpecular = {1, 1, 1, 1};
  light.dcvDiffuse = {0, 0, 0, 0};
  Light(0, light);
  Material({0, 0, 0, 1}, {0, 0, 0, 0}, {0.5f, 0.5f, 0.5f, 1}, 4.0f);
  Set(D3DRENDERSTATE_SPECULARENABLE, 1);
  // A normal tilted by 0.3 from the viewer: the half-way vector points at the viewer.
  const D3DVECTOR normal = {std::sin(0.3f), 0, -std::cos(0.3f)};
  const float expected = 0.5f * std::pow(std::cos(0.3f), 4.0f) * std::cos(0.3f) / std::cos(0.3f);
  Set(D3DRENDERSTATE_LOCALVIEWER, 0);
  EXPECT_PRED2(Close, LitPoint(normal), Rgb(expected, expected, expected));
  Set(D3DRENDERSTATE_SPECULARENABLE, 0);
  EXPECT_PRED2(Close, LitPoint(normal), 0u);
}

TEST_F(D3DLighting, MaterialSourcesTakeTheVertexColoursWhenAsked) {
  Light(0, Directional({0, 0, 1}));
  // Direct3D's default takes the diffuse colour from the vertex.
  Set(D3DRENDERSTATE_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
  EXPECT_PRED2(Close, LitPoint({0, 0, -1}, 0xFF204080), 0x204080u);
  Set(D3DRENDERSTATE_COLORVERTEX, 0);
  EXPECT_PRED2(Close, LitPoint({0, 0, -1}, 0xFF204080), Rgb(0.8f, 0.6f, 0.4f));
  Set(D3DRENDERSTATE_COLORVERTEX, 1);
  Set(D3DRENDERSTATE_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR2);
  EXPECT_PRED2(Close, LitPoint({0, 0, -1}, 0xFF204080, 0xFF802010), 0x802010u);
  Set(D3DRENDERSTATE_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
  Set(D3DRENDERSTATE_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1);
  Set(D3DRENDERSTATE_AMBIENT, 0x00FFFFFF);
  EXPECT_PRED2(Close, LitPoint({0, 0, -1}, 0xFF102030),
               Rgb(0.8f + 0x10 / 255.0f, 0.6f + 0x20 / 255.0f, 0.4f + 0x30 / 255.0f));
  // Without lighting the vertex colours are drawn as they are.
  Set(D3DRENDERSTATE_LIGHTING, 0);
  EXPECT_PRED2(Close, LitPoint({0, 0, -1}, 0xFF102030), 0x102030u);
}

TEST_F(D3DLighting, NormalsAreScaledByTheWorldUnlessNormalised) {
  Light(0, Directional({0, 0, 1}));
  Material({0.25f, 0.25f, 0.25f, 1}, {0, 0, 0, 0});
  const D3DMATRIX half = {0.5f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 1};
  ASSERT_EQ(device_->SetTransform(D3DTRANSFORMSTATE_WORLD, &half), D3D_OK);
  // A world scaled by a half makes normals twice as long (the inverse transpose).
  EXPECT_PRED2(Close, LitPoint({0, 0, -1}, 0xFFFFFFFF, 0, {0, 0, 20}), Rgb(0.5f, 0.5f, 0.5f));
  Set(D3DRENDERSTATE_NORMALIZENORMALS, 1);
  EXPECT_PRED2(Close, LitPoint({0, 0, -1}, 0xFFFFFFFF, 0, {0, 0, 20}), Rgb(0.25f, 0.25f, 0.25f));
}

TEST_F(D3DLighting, VertexAndTableFogReachTheFogColourAtTheEnd) {
  Set(D3DRENDERSTATE_LIGHTING, 0);
  Set(D3DRENDERSTATE_FOGENABLE, 1);
  Set(D3DRENDERSTATE_FOGCOLOR, 0x00FF8000);
  Set(D3DRENDERSTATE_FOGSTART, FloatBits(5.0f));
  Set(D3DRENDERSTATE_FOGEND, FloatBits(15.0f));
  for (const DWORD mode : {D3DRENDERSTATE_FOGVERTEXMODE, D3DRENDERSTATE_FOGTABLEMODE}) {
    SCOPED_TRACE(mode);
    Set(mode, D3DFOG_LINEAR);
    EXPECT_PRED2(Close, LitPoint({0, 0, -1}, 0xFF0000FF, 0, {0, 0, 5}), 0x0000FFu);
    EXPECT_PRED2(Close, LitPoint({0, 0, -1}, 0xFF0000FF, 0, {0, 0, 10}), 0x7F4080u);
    EXPECT_PRED2(Close, LitPoint({0, 0, -1}, 0xFF0000FF, 0, {0, 0, 15}), 0xFF8000u);
    EXPECT_PRED2(Close, LitPoint({0, 0, -1}, 0xFF0000FF, 0, {0, 0, 30}), 0xFF8000u);
    Set(mode, D3DFOG_EXP);
    Set(D3DRENDERSTATE_FOGDENSITY, FloatBits(0.1f));
    const float e = std::exp(-1.0f);
    EXPECT_PRED2(Close, LitPoint({0, 0, -1}, 0xFF0000FF, 0, {0, 0, 10}), Rgb(1 - e, 0.5f * (1 - e), e));
    Set(mode, D3DFOG_EXP2);
    EXPECT_PRED2(Close, LitPoint({0, 0, -1}, 0xFF0000FF, 0, {0, 0, 10}), Rgb(1 - e, 0.5f * (1 - e), e));
    const float e2 = std::exp(-4.0f);  // (0.1 * 20) squared
    EXPECT_PRED2(Close, LitPoint({0, 0, -1}, 0xFF0000FF, 0, {0, 0, 20}), Rgb(1 - e2, 0.5f * (1 - e2), e2));
    Set(mode, D3DFOG_NONE);
  }
}

TEST_F(D3DLighting, RangeFogCountsTheDistanceNotTheDepth) {
  Set(D3DRENDERSTATE_LIGHTING, 0);
  Set(D3DRENDERSTATE_FOGENABLE, 1);
  Set(D3DRENDERSTATE_FOGCOLOR, 0x00FFFFFF);
  Set(D3DRENDERSTATE_FOGSTART, FloatBits(0.0f));
  Set(D3DRENDERSTATE_FOGEND, FloatBits(20.0f));
  Set(D3DRENDERSTATE_FOGVERTEXMODE, D3DFOG_LINEAR);
  // A point at depth 8 and distance sqrt(80).
  const D3DVECTOR at = {4, 0, 8};
  EXPECT_PRED2(Close, LitPoint({0, 0, -1}, 0xFF000000, 0, at), Rgb(0.4f, 0.4f, 0.4f));
  Set(D3DRENDERSTATE_RANGEFOGENABLE, 1);
  const float fogged = 1.0f - (20.0f - std::sqrt(80.0f)) / 20.0f;
  EXPECT_PRED2(Close, LitPoint({0, 0, -1}, 0xFF000000, 0, at), Rgb(fogged, fogged, fogged));
}

TEST_F(D3DLighting, TrianglesCrossingTheNearPlaneShowWhatIsInFront) {
  Set(D3DRENDERSTATE_LIGHTING, 0);
  Set(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
  // A floor from behind the viewer to far ahead, below the eye.
  const ColouredVertex floor[] = {{-50, -2, -5, 0, 1, 0, 0xFF00FF00, 0},
                                  {50, -2, -5, 0, 1, 0, 0xFF00FF00, 0},
                                  {0, -2, 90, 0, 1, 0, 0xFF00FF00, 0}};
  ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, kColouredVertex, floor, 3, 0), D3D_OK);
  EXPECT_EQ(At(32, 63), 0x00FF00u);  // near the viewer's feet
  EXPECT_EQ(At(32, 34), 0x00FF00u);  // far away, just below the horizon
  EXPECT_EQ(At(32, 20), 0u);         // above the horizon
  // Past the far plane (100) nothing shows; the near half of a wall reaching through it does.
  EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
  const ColouredVertex wall[] = {{-300, 300, 80, 0, 0, -1, 0xFFFF0000, 0},
                                 {300, 300, 120, 0, 0, -1, 0xFFFF0000, 0},
                                 {-300, -300, 80, 0, 0, -1, 0xFFFF0000, 0},
                                 {300, -300, 120, 0, 0, -1, 0xFFFF0000, 0}};
  ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, kColouredVertex, wall, 4, 0), D3D_OK);
  EXPECT_EQ(At(10, 32), 0xFF0000u);  // depth below 100
  EXPECT_EQ(At(54, 32), 0u);         // depth above 100
}

}  // namespace
}  // namespace vx::win::testing
