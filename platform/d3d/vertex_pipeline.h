// Fixed-function vertex processing: vertices of a described layout are transformed to clip
// space, lit (ambient, diffuse and specular from directional, point and spot lights with range,
// attenuation and cone falloff, material or vertex colours as the sources say) and given their
// vertex fog factor. Matrices are row-vector 4x4 (a point times the matrix), as the device keeps them.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/d3d/raster.h"

namespace vx::raster {

struct Colour {
  float r = 0.0f, g = 0.0f, b = 0.0f, a = 0.0f;
};

struct Matrix {
  float m[4][4];
};

enum class LightType : uint8_t { Point, Spot, Directional };

// A light with its position and direction already in eye space.
struct Light {
  LightType type = LightType::Directional;
  Colour diffuse, specular, ambient;
  float position[3] = {0, 0, 0};
  float direction[3] = {0, 0, 1};
  float range = 0.0f;
  float falloff = 1.0f;
  float attenuation[3] = {1, 0, 0};
  float cosHalfTheta = 1.0f;  // inside the inner cone at full strength
  float cosHalfPhi = 1.0f;    // outside the outer cone dark
};

struct Material {
  Colour diffuse, ambient, specular, emissive;
  float power = 0.0f;
};

// Where a lit colour comes from: the material or one of the vertex's two colours.
enum class ColourSource : uint8_t { Material, Diffuse, Specular };

struct VertexLayout {
  uint32_t stride = 0;
  bool transformed = false;  // x, y, z, rhw in screen space
  int normal = -1;           // byte offsets, -1 when absent
  int diffuse = -1;
  int specular = -1;
  int tex[kMaxStages] = {-1, -1};      // the coordinate set each stage reads
  int texFloats[kMaxStages] = {0, 0};  // 1 to 4
};

// What lights and places the vertices of draws, apart from the world-view matrix of each draw.
struct VertexState {
  Matrix projection;
  bool lighting = true;
  bool specular = false;  // compute the specular term
  bool localViewer = true;
  bool normalizeNormals = false;
  Colour ambient;  // the scene's ambient light
  Material material;
  bool colourVertex = true;
  ColourSource diffuseSource = ColourSource::Diffuse;
  ColourSource specularSource = ColourSource::Specular;
  ColourSource ambientSource = ColourSource::Material;
  ColourSource emissiveSource = ColourSource::Material;
  std::vector<Light> lights;
  // Vertex fog by eye depth (or distance, with range fog); None leaves the factor at no fog.
  FogMode fogMode = FogMode::None;
  bool rangeFog = false;
  float fogStart = 0.0f, fogEnd = 1.0f, fogDensity = 1.0f;
  // Vertices without fog of their own: the specular alpha is the fog factor.
  bool fogFromSpecularAlpha = false;
};

// The vertices of one draw as the renderer takes them, to transform and light at the flush.
struct VertexInput {
  std::shared_ptr<const VertexState> state;  // shared by the draws that follow until it changes
  Matrix worldView;
  VertexLayout layout;
  bool lighting = true;  // false: the draw asked not to be lit
};

// The fog factor (1 no fog, 0 all fog) of a distance in a mode.
float FogFactor(FogMode mode, float distance, float start, float end, float density);

// Vertices first..first+count-1 of the data into clip-space vertices (out[0] for vertex first).
// Runs of four vertices that only directional lights light are done side by side in vector
// registers, with every rounding of the one-at-a-time path.
void ProcessVertices(const VertexState& state, const Matrix& worldView, bool lighting, const VertexLayout& layout,
                     const uint8_t* data, uint32_t first, uint32_t count, ClipVertex* out);
// Transformed vertices into screen vertices; with fogFromSpecularAlpha their specular alpha is
// the fog factor.
void ProcessScreenVertices(bool fogFromSpecularAlpha, const VertexLayout& layout, const uint8_t* data, uint32_t first,
                           uint32_t count, ScreenVertex* out);

}  // namespace vx::raster
