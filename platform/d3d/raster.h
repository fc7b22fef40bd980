// The software rasteriser behind the 3D device: what it draws into, the per-pixel state it draws
// with, the vertices it takes and the renderer that clips, sets up and fills primitives in screen
// tiles. It knows nothing of the Direct3D interface; the device front end translates its states
// into a PixelState and its vertices into clip-space or screen-space vertices.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

namespace vx::raster {

// ---- targets ------------------------------------------------------------------------------------

enum class ColourFormat : uint8_t { Rgb565, Rgb555, Rgb888, Xrgb8888, Argb8888 };
// D24 keeps the bits above its 24 (a stencil or padding byte) as they are.
enum class DepthFormat : uint8_t { None, D16, D24, D32 };

struct ColourBuffer {
  uint8_t* bits = nullptr;
  intptr_t pitch = 0;
  int width = 0;
  int height = 0;
  ColourFormat format = ColourFormat::Xrgb8888;
};

struct DepthBuffer {
  uint8_t* bits = nullptr;  // null: no depth buffer
  intptr_t pitch = 0;
  DepthFormat format = DepthFormat::None;
};

// ---- textures -----------------------------------------------------------------------------------

// A texture converted for sampling: 0xAARRGGBB texels per mip level, largest first, and for a
// colour-keyed texture one byte per texel that is 1 where the texel matches the key.
struct TextureLevel {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> texels;
  std::vector<uint8_t> keyed;  // empty without a colour key
};

struct Texture {
  std::vector<TextureLevel> levels;
  bool colourKeyed = false;
};

// ---- per-pixel state ----------------------------------------------------------------------------

enum class Compare : uint8_t { Never, Less, Equal, LessEqual, Greater, NotEqual, GreaterEqual, Always };

enum class BlendFactor : uint8_t {
  Zero,
  One,
  SrcColour,
  InvSrcColour,
  SrcAlpha,
  InvSrcAlpha,
  DestAlpha,
  InvDestAlpha,
  DestColour,
  InvDestColour,
  SrcAlphaSat,
  BothSrcAlpha,
  BothInvSrcAlpha
};

enum class TextureOp : uint8_t {
  Disable,
  SelectArg1,
  SelectArg2,
  Modulate,
  Modulate2x,
  Modulate4x,
  Add,
  AddSigned,
  Subtract,
  BlendDiffuseAlpha,
  BlendTextureAlpha,
  BlendCurrentAlpha
};

enum class ArgSource : uint8_t { Diffuse, Current, Texture, Factor, Specular };

struct TextureArg {
  ArgSource source = ArgSource::Texture;
  bool complement = false;
  bool alphaReplicate = false;
};

enum class Address : uint8_t { Wrap, Mirror, Clamp };
enum class Filter : uint8_t { Point, Linear };
enum class MipFilter : uint8_t { None, Point, Linear };
enum class FogMode : uint8_t { None, Exp, Exp2, Linear };

struct TextureStage {
  TextureOp colourOp = TextureOp::Disable;
  TextureArg colourArg1, colourArg2;
  TextureOp alphaOp = TextureOp::Disable;
  TextureArg alphaArg1, alphaArg2;
  std::shared_ptr<const Texture> texture;  // null reads as opaque white
  int coordinateSet = 0;                   // which of the vertex's two coordinate pairs
  Address addressU = Address::Wrap;
  Address addressV = Address::Wrap;
  Filter magFilter = Filter::Point;
  Filter minFilter = Filter::Point;
  MipFilter mipFilter = MipFilter::None;
  float lodBias = 0.0f;
  int firstLevel = 0;  // the most detailed level used
};

constexpr int kMaxStages = 2;

struct PixelState {
  ColourFormat colourFormat = ColourFormat::Xrgb8888;
  DepthFormat depthFormat = DepthFormat::None;
  bool depthTest = false;
  Compare depthCompare = Compare::LessEqual;
  bool depthWrite = false;
  TextureStage stages[kMaxStages];
  int stageCount = 0;  // stages before the first disabled colour operation
  uint32_t textureFactor = 0xFFFFFFFFu;
  bool colourKey = false;  // keyed texels of keyed textures are not drawn
  bool alphaTest = false;
  Compare alphaCompare = Compare::Always;
  uint8_t alphaReference = 0;
  bool blend = false;
  BlendFactor sourceBlend = BlendFactor::One;
  BlendFactor destBlend = BlendFactor::Zero;
  bool specular = false;  // add the specular colour after the texture stages
  bool fog = false;
  // Table fog: the factor comes from each pixel's eye distance; None: the vertices' interpolated factor.
  FogMode tableFog = FogMode::None;
  float fogStart = 0.0f, fogEnd = 1.0f, fogDensity = 1.0f;
  uint32_t fogColour = 0;  // 0xRRGGBB
};

// ---- vertices -----------------------------------------------------------------------------------

// Colours and the fog factor count 0 to 255; tex holds two coordinate pairs. The order is that of
// the rasteriser's attributes after z and q.
struct VertexAttributes {
  float diffuse[4];   // b, g, r, a
  float specular[3];  // b, g, r
  float fog;          // 255 no fog, 0 all fog
  float tex[2][2];
};

struct ClipVertex {
  float x, y, z, w;  // inside when -w <= x, y <= w and 0 <= z <= w
  VertexAttributes a;
};

struct ScreenVertex {
  float x, y, z, q;  // pixels (centres at whole numbers), depth 0 to 1, q = 1 / w
  VertexAttributes a;
};

// ---- primitives -----------------------------------------------------------------------------------

enum class Primitive : uint8_t { Points, Lines, LineStrip, Triangles, TriangleStrip, TriangleFan };
enum class FillMode : uint8_t { Point, Wireframe, Solid };
// Which screen winding is dropped: clockwise or counter-clockwise as seen, y down.
enum class Cull : uint8_t { None, Clockwise, CounterClockwise };

struct Viewport {
  int x = 0, y = 0, width = 0, height = 0;
  float minZ = 0.0f, maxZ = 1.0f;
};

struct DrawSettings {
  Primitive primitive = Primitive::Triangles;
  FillMode fill = FillMode::Solid;
  Cull cull = Cull::None;
  bool flat = false;      // colours of the first vertex of each primitive
  bool lastPixel = true;  // lines draw their last pixel
  Viewport viewport;
};

// The half-widths of the guard band in pixels: screen coordinates past it are clipped.
constexpr float kGuardBand = 16384.0f;

// ---- the renderer -------------------------------------------------------------------------------

// Which path fills the pixels: the specialised spans picked by state, or the one general
// reference path, which also finds each triangle's pixels by testing them one by one. Both divide
// by the interpolated 1/w at every pixel and round alike, so tests require the same pictures.
enum class SpanPath : uint8_t { Fast, Reference };

struct VertexInput;

class Renderer {
 public:
  Renderer();
  ~Renderer();
  Renderer(const Renderer&) = delete;
  Renderer& operator=(const Renderer&) = delete;

  // Drawing queues primitives; Flush fills them, tile by tile, and must run before anything
  // else reads or writes the buffers. Changing the buffers flushes.
  void SetBuffers(const ColourBuffer& colour, const DepthBuffer& depth);
  // The pixel state of the draws from now on.
  void SetPixelState(const PixelState& state);
  // Vertices of the input's layout, transformed and lit at the flush (in parallel with the other
  // draws' vertices). False, and nothing drawn, when an index lies past the vertices.
  bool Draw(const DrawSettings& settings, const VertexInput& input, const uint8_t* vertices, uint32_t vertexCount,
            const uint16_t* indices, uint32_t indexCount);
  bool DrawScreen(const DrawSettings& settings, const ScreenVertex* vertices, uint32_t vertexCount,
                  const uint16_t* indices, uint32_t indexCount);
  // Sets the pixels of the rectangle (viewport x, y, width, height) to the colour buffer's value
  // and/or to (old & depthKeep) | depthValue in the depth buffer, in order with the primitives.
  void Clear(const Viewport& area, bool colour, uint32_t colourValue, bool depth, uint32_t depthValue,
             uint32_t depthKeep);
  void Flush();
  // Forgets what was drawn and not yet filled (the buffers went away).
  void Discard();
  // True, once, when a job of a flush since the last call ended in a fault on a pool thread: that
  // flush stopped there and its pictures are unfinished. The pool goes on working.
  bool TakeFault();
  bool Pending() const;

  void SetSpanPath(SpanPath path);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Threads that fill tiles, shared by every renderer; 0 means one per processor. The picture is
// the same whatever the count.
void SetThreadCount(unsigned count);
unsigned ThreadCount();

// For tests: called at the start of every job that the threads share out, with the job's index in
// its batch and whether a pool thread runs it (not the thread that asked for the batch); null for
// none. A probe that faults makes a job fault.
using JobProbe = void (*)(int job, bool worker);
void SetJobProbe(JobProbe probe);

}  // namespace vx::raster
