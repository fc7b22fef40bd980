// Transform, lighting and vertex fog in eye space: one vertex at a time in general, four side by
// side where only directional lights light vertices without colours of their own.
#include "platform/d3d/vertex_pipeline.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vx::raster {
namespace {

struct Vec3 {
  float x, y, z;
};

Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
float Length(Vec3 a) { return std::sqrt(Dot(a, a)); }
Vec3 Normalised(Vec3 a) {
  const float length = Length(a);
  return length > 0.0f ? Vec3{a.x / length, a.y / length, a.z / length} : a;
}

Vec3 ReadVec3(const uint8_t* at) {
  Vec3 v;
  std::memcpy(&v, at, sizeof v);
  return v;
}

Colour ReadColour(const uint8_t* at) {
  uint32_t argb;
  std::memcpy(&argb, at, 4);
  constexpr float k = 1.0f / 255.0f;
  return {static_cast<float>((argb >> 16) & 0xFF) * k, static_cast<float>((argb >> 8) & 0xFF) * k,
          static_cast<float>(argb & 0xFF) * k, static_cast<float>(argb >> 24) * k};
}

// The inverse transpose of the upper 3x3, which carries normals; the matrix itself when singular.
void NormalMatrix(const Matrix& m, float out[3][3]) {
  double a[3][3];
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) a[r][c] = m.m[r][c];
  }
  const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                     a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                     a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  if (det == 0.0 || !std::isfinite(det)) {
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) out[r][c] = m.m[r][c];
    }
    return;
  }
  // Cofactor matrix divided by the determinant is the inverse transpose.
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      const int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
      out[r][c] = static_cast<float>((a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1]) / det);
    }
  }
}

Colour Source(ColourSource source, const Colour& material, const Colour* diffuse, const Colour* specular) {
  if (source == ColourSource::Diffuse && diffuse) return *diffuse;
  if (source == ColourSource::Specular && specular) return *specular;
  return material;
}

float Clamp01(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }

void Lit(const VertexState& s, Vec3 position, Vec3 normal, const Colour* vertexDiffuse, const Colour* vertexSpecular,
         Colour& diffuseOut, Colour& specularOut) {
  const Material& m = s.material;
  const Colour* vd = s.colourVertex ? vertexDiffuse : nullptr;
  const Colour* vs = s.colourVertex ? vertexSpecular : nullptr;
  const Colour diffuse = Source(s.diffuseSource, m.diffuse, vd, vs);
  const Colour ambient = Source(s.ambientSource, m.ambient, vd, vs);
  const Colour specular = Source(s.specularSource, m.specular, vd, vs);
  const Colour emissive = Source(s.emissiveSource, m.emissive, vd, vs);

  float ar = s.ambient.r, ag = s.ambient.g, ab = s.ambient.b;
  float dr = 0, dg = 0, db = 0, sr = 0, sg = 0, sb = 0;
  const Vec3 toViewer = s.localViewer ? Normalised(Vec3{-position.x, -position.y, -position.z}) : Vec3{0, 0, -1};
  for (const Light& light : s.lights) {
    Vec3 toLight;
    float strength = 1.0f;
    if (light.type == LightType::Directional) {
      toLight = Normalised(Vec3{-light.direction[0], -light.direction[1], -light.direction[2]});
    } else {
      const Vec3 offset = Vec3{light.position[0], light.position[1], light.position[2]} - position;
      const float distance = Length(offset);
      if (distance > light.range) continue;
      toLight = distance > 0.0f ? Vec3{offset.x / distance, offset.y / distance, offset.z / distance} : Vec3{0, 0, 0};
      const float denominator =
          light.attenuation[0] + light.attenuation[1] * distance + light.attenuation[2] * distance * distance;
      strength = denominator > 0.0f ? 1.0f / denominator : 0.0f;
      if (light.type == LightType::Spot) {
        const Vec3 axis = Normalised(Vec3{light.direction[0], light.direction[1], light.direction[2]});
        const float rho = -Dot(toLight, axis);
        if (rho <= light.cosHalfPhi) continue;
        if (rho <= light.cosHalfTheta) {
          const float t = (rho - light.cosHalfPhi) / (light.cosHalfTheta - light.cosHalfPhi);
          strength *= light.falloff == 1.0f ? t : std::pow(t, light.falloff);
        }
      }
    }
    ar += light.ambient.r * strength;
    ag += light.ambient.g * strength;
    ab += light.ambient.b * strength;
    const float nDotL = Dot(normal, toLight);
    if (nDotL <= 0.0f) continue;
    dr += light.diffuse.r * nDotL * strength;
    dg += light.diffuse.g * nDotL * strength;
    db += light.diffuse.b * nDotL * strength;
    if (s.specular && m.power > 0.0f) {
      const float nDotH = Dot(normal, Normalised(toLight + toViewer));
      if (nDotH > 0.0f) {
        const float shine = std::pow(nDotH, m.power) * strength;
        sr += light.specular.r * shine;
        sg += light.specular.g * shine;
        sb += light.specular.b * shine;
      }
    }
  }
  diffuseOut = {Clamp01(emissive.r + ambient.r * ar + diffuse.r * dr),
                Clamp01(emissive.g + ambient.g * ag + diffuse.g * dg),
                Clamp01(emissive.b + ambient.b * ab + diffuse.b * db), Clamp01(diffuse.a)};
  specularOut = {Clamp01(specular.r * sr), Clamp01(specular.g * sg), Clamp01(specular.b * sb), Clamp01(specular.a)};
}

void TexCoords(const VertexLayout& layout, const uint8_t* vertex, VertexAttributes& a) {
  for (int stage = 0; stage < kMaxStages; ++stage) {
    a.tex[stage][0] = a.tex[stage][1] = 0.0f;
    if (layout.tex[stage] < 0) continue;
    std::memcpy(&a.tex[stage][0], vertex + layout.tex[stage], 4);
    if (layout.texFloats[stage] >= 2) std::memcpy(&a.tex[stage][1], vertex + layout.tex[stage] + 4, 4);
  }
}

void StoreColours(const Colour& diffuse, const Colour& specular, VertexAttributes& a) {
  a.diffuse[0] = diffuse.b * 255.0f;
  a.diffuse[1] = diffuse.g * 255.0f;
  a.diffuse[2] = diffuse.r * 255.0f;
  a.diffuse[3] = diffuse.a * 255.0f;
  a.specular[0] = specular.b * 255.0f;
  a.specular[1] = specular.g * 255.0f;
  a.specular[2] = specular.r * 255.0f;
}

}  // namespace

float FogFactor(FogMode mode, float distance, float start, float end, float density) {
  switch (mode) {
    case FogMode::Linear:
      if (end == start) return distance < end ? 1.0f : 0.0f;
      return Clamp01((end - distance) / (end - start));
    case FogMode::Exp: return Clamp01(std::exp(-(density * distance)));
    case FogMode::Exp2: {
      const float d = density * distance;
      return Clamp01(std::exp(-(d * d)));
    }
    case FogMode::None: break;
  }
  return 1.0f;
}

namespace {

using V4f = float __attribute__((vector_size(16)));
using V4i = int32_t __attribute__((vector_size(16)));

inline V4f Clamp01(V4f v) { return v > 0.0f ? (v < 1.0f ? v : V4f{} + 1.0f) : V4f{}; }

constexpr size_t kBatchLights = 8;

// Whether the four-at-a-time path gives what Lit gives: directional lights only, no specular
// term, no vertex colours, no vertex fog.
bool Batchable(const VertexState& s, bool lit, const VertexLayout& layout) {
  if (layout.diffuse >= 0 || layout.specular >= 0 || s.fogMode != FogMode::None) return false;
  if (!lit) return true;
  if ((s.specular && s.material.power > 0.0f) || s.lights.size() > kBatchLights) return false;
  for (const Light& light : s.lights) {
    if (light.type != LightType::Directional) return false;
  }
  return true;
}

// Vertices first..first+count-1 (count a multiple of four) by four; what Batchable allows.
void ProcessBatches(const VertexState& s, const Matrix& worldView, bool lit, const float (&normalMatrix)[3][3],
                    const VertexLayout& layout, const uint8_t* data, uint32_t first, uint32_t count, ClipVertex* out) {
  const auto& wv = worldView.m;
  const auto& p = s.projection.m;
  const Material& m = s.material;
  // What is the same at every vertex, with the roundings Lit makes at each: the ambient sums,
  // the light directions, and the emissive plus ambient part of each colour.
  float ar = s.ambient.r, ag = s.ambient.g, ab = s.ambient.b;
  struct Direction {
    Vec3 toLight;
    Colour diffuse;
  };
  Direction lights[kBatchLights];
  size_t lightCount = 0;
  for (const Light& light : s.lights) {
    ar += light.ambient.r * 1.0f;
    ag += light.ambient.g * 1.0f;
    ab += light.ambient.b * 1.0f;
    lights[lightCount++] = {Normalised(Vec3{-light.direction[0], -light.direction[1], -light.direction[2]}),
                            light.diffuse};
  }
  const float baseR = m.emissive.r + m.ambient.r * ar, baseG = m.emissive.g + m.ambient.g * ag,
              baseB = m.emissive.b + m.ambient.b * ab;
  const float alpha = Clamp01(m.diffuse.a) * 255.0f;
  const float specular[3] = {Clamp01(m.specular.b * 0.0f) * 255.0f, Clamp01(m.specular.g * 0.0f) * 255.0f,
                             Clamp01(m.specular.r * 0.0f) * 255.0f};

  for (uint32_t i = 0; i < count; i += 4) {
    V4f x, y, z, nx{}, ny{}, nz{};
    for (int k = 0; k < 4; ++k) {
      const uint8_t* vertex = data + size_t{first + i + uint32_t(k)} * layout.stride;
      const Vec3 model = ReadVec3(vertex);
      x[k] = model.x;
      y[k] = model.y;
      z[k] = model.z;
      if (lit && layout.normal >= 0) {
        const Vec3 n = ReadVec3(vertex + layout.normal);
        nx[k] = n.x;
        ny[k] = n.y;
        nz[k] = n.z;
      }
    }
    const V4f ex = x * wv[0][0] + y * wv[1][0] + z * wv[2][0] + wv[3][0];
    const V4f ey = x * wv[0][1] + y * wv[1][1] + z * wv[2][1] + wv[3][1];
    const V4f ez = x * wv[0][2] + y * wv[1][2] + z * wv[2][2] + wv[3][2];
    const V4f ew = x * wv[0][3] + y * wv[1][3] + z * wv[2][3] + wv[3][3];
    const V4f cx = ex * p[0][0] + ey * p[1][0] + ez * p[2][0] + ew * p[3][0];
    const V4f cy = ex * p[0][1] + ey * p[1][1] + ez * p[2][1] + ew * p[3][1];
    const V4f cz = ex * p[0][2] + ey * p[1][2] + ez * p[2][2] + ew * p[3][2];
    const V4f cw = ex * p[0][3] + ey * p[1][3] + ez * p[2][3] + ew * p[3][3];
    V4f r = V4f{} + 255.0f, g = r, b = r;
    if (lit) {
      const auto& nm = normalMatrix;
      V4f tx = nx * nm[0][0] + ny * nm[1][0] + nz * nm[2][0];
      V4f ty = nx * nm[0][1] + ny * nm[1][1] + nz * nm[2][1];
      V4f tz = nx * nm[0][2] + ny * nm[1][2] + nz * nm[2][2];
      if (s.normalizeNormals) {
        V4f length;
        for (int k = 0; k < 4; ++k) length[k] = std::sqrt(tx[k] * tx[k] + ty[k] * ty[k] + tz[k] * tz[k]);
        const auto positive = length > 0.0f;
        const V4f divisor = positive ? length : V4f{} + 1.0f;
        tx = positive ? tx / divisor : tx;
        ty = positive ? ty / divisor : ty;
        tz = positive ? tz / divisor : tz;
      }
      V4f dr{}, dg{}, db{};
      for (size_t l = 0; l < lightCount; ++l) {
        const Direction& light = lights[l];
        const V4f nDotL = tx * light.toLight.x + ty * light.toLight.y + tz * light.toLight.z;
        const auto facing = nDotL > 0.0f;
        dr = facing ? dr + light.diffuse.r * nDotL * 1.0f : dr;
        dg = facing ? dg + light.diffuse.g * nDotL * 1.0f : dg;
        db = facing ? db + light.diffuse.b * nDotL * 1.0f : db;
      }
      r = Clamp01(baseR + m.diffuse.r * dr) * 255.0f;
      g = Clamp01(baseG + m.diffuse.g * dg) * 255.0f;
      b = Clamp01(baseB + m.diffuse.b * db) * 255.0f;
    }
    for (int k = 0; k < 4; ++k) {
      ClipVertex& o = out[i + uint32_t(k)];
      o.x = cx[k];
      o.y = cy[k];
      o.z = cz[k];
      o.w = cw[k];
      if (lit) {
        o.a.diffuse[0] = b[k];
        o.a.diffuse[1] = g[k];
        o.a.diffuse[2] = r[k];
        o.a.diffuse[3] = alpha;
        o.a.specular[0] = specular[0];
        o.a.specular[1] = specular[1];
        o.a.specular[2] = specular[2];
      } else {
        StoreColours(Colour{1, 1, 1, 1}, Colour{0, 0, 0, 0}, o.a);
      }
      o.a.fog = 255.0f;
      TexCoords(layout, data + size_t{first + i + uint32_t(k)} * layout.stride, o.a);
    }
  }
}

}  // namespace

void ProcessVertices(const VertexState& s, const Matrix& worldView, bool lighting, const VertexLayout& layout,
                     const uint8_t* data, uint32_t first, uint32_t count, ClipVertex* out) {
  float normalMatrix[3][3];
  const bool lit = lighting;
  if (lit) NormalMatrix(worldView, normalMatrix);
  if (count >= 4 && Batchable(s, lit, layout)) {
    const uint32_t batched = count & ~3u;
    ProcessBatches(s, worldView, lit, normalMatrix, layout, data, first, batched, out);
    first += batched;
    count -= batched;
    out += batched;
  }
  const auto& wv = worldView.m;
  const auto& p = s.projection.m;
  const Colour white{1, 1, 1, 1}, black{0, 0, 0, 0};
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* vertex = data + size_t{first + i} * layout.stride;
    const Vec3 model = ReadVec3(vertex);
    const Vec3 eye = {model.x * wv[0][0] + model.y * wv[1][0] + model.z * wv[2][0] + wv[3][0],
                      model.x * wv[0][1] + model.y * wv[1][1] + model.z * wv[2][1] + wv[3][1],
                      model.x * wv[0][2] + model.y * wv[1][2] + model.z * wv[2][2] + wv[3][2]};
    const float eyeW = model.x * wv[0][3] + model.y * wv[1][3] + model.z * wv[2][3] + wv[3][3];
    ClipVertex& o = out[i];
    o.x = eye.x * p[0][0] + eye.y * p[1][0] + eye.z * p[2][0] + eyeW * p[3][0];
    o.y = eye.x * p[0][1] + eye.y * p[1][1] + eye.z * p[2][1] + eyeW * p[3][1];
    o.z = eye.x * p[0][2] + eye.y * p[1][2] + eye.z * p[2][2] + eyeW * p[3][2];
    o.w = eye.x * p[0][3] + eye.y * p[1][3] + eye.z * p[2][3] + eyeW * p[3][3];

    Colour vd, vs;
    const Colour* vertexDiffuse = nullptr;
    const Colour* vertexSpecular = nullptr;
    if (layout.diffuse >= 0) vertexDiffuse = &(vd = ReadColour(vertex + layout.diffuse));
    if (layout.specular >= 0) vertexSpecular = &(vs = ReadColour(vertex + layout.specular));
    Colour diffuse, specular;
    if (lit) {
      Vec3 normal{0, 0, 0};
      if (layout.normal >= 0) {
        const Vec3 n = ReadVec3(vertex + layout.normal);
        normal = {n.x * normalMatrix[0][0] + n.y * normalMatrix[1][0] + n.z * normalMatrix[2][0],
                  n.x * normalMatrix[0][1] + n.y * normalMatrix[1][1] + n.z * normalMatrix[2][1],
                  n.x * normalMatrix[0][2] + n.y * normalMatrix[1][2] + n.z * normalMatrix[2][2]};
        if (s.normalizeNormals) normal = Normalised(normal);
      }
      Lit(s, eye, normal, vertexDiffuse, vertexSpecular, diffuse, specular);
    } else {
      diffuse = vertexDiffuse ? *vertexDiffuse : white;
      specular = vertexSpecular ? *vertexSpecular : black;
    }
    StoreColours(diffuse, specular, o.a);
    const float distance = s.rangeFog ? Length(eye) : eye.z;
    o.a.fog = FogFactor(s.fogMode, distance, s.fogStart, s.fogEnd, s.fogDensity) * 255.0f;
    if (s.fogMode == FogMode::None && s.fogFromSpecularAlpha && vertexSpecular) o.a.fog = vs.a * 255.0f;
    TexCoords(layout, vertex, o.a);
  }
}

void ProcessScreenVertices(bool fogFromSpecularAlpha, const VertexLayout& layout, const uint8_t* data, uint32_t first,
                           uint32_t count, ScreenVertex* out) {
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* vertex = data + size_t{first + i} * layout.stride;
    float position[4];
    std::memcpy(position, vertex, sizeof position);
    ScreenVertex& o = out[i];
    o.x = position[0];
    o.y = position[1];
    o.z = position[2];
    o.q = position[3];
    const Colour diffuse = layout.diffuse >= 0 ? ReadColour(vertex + layout.diffuse) : Colour{1, 1, 1, 1};
    const Colour specular = layout.specular >= 0 ? ReadColour(vertex + layout.specular) : Colour{0, 0, 0, 1};
    StoreColours(diffuse, specular, o.a);
    o.a.fog = fogFromSpecularAlpha && layout.specular >= 0 ? specular.a * 255.0f : 255.0f;
    TexCoords(layout, vertex, o.a);
  }
}

}  // namespace vx::raster
