// The Direct3D 7 immediate-mode device front end: it validates every call as the real device
// does, keeps the states, transforms, viewport, lights, material and textures, clears its
// render target and depth buffer, and draws through the software rasteriser: its states become
// the rasteriser's pixel and vertex states when they change, its vertices are transformed and
// lit, and the primitives are filled by the end of the scene at the latest.
#pragma once
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/d3d/d3d_types.h"
#include "platform/d3d/raster.h"
#include "platform/d3d/surface_ref.h"
#include "platform/d3d/vertex_pipeline.h"

namespace vx::win {

class Direct3DVertexBuffer;

class Direct3DDevice {
 public:
  Direct3DDevice(const Direct3DDevice&) = delete;
  Direct3DDevice& operator=(const Direct3DDevice&) = delete;

  DWORD AddRef();
  DWORD Release();

  HRESULT GetCaps(D3DDEVICEDESC7* desc) const;
  HRESULT EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK callback, void* context);

  HRESULT BeginScene();
  // The scene's primitives are in the target and depth buffer afterwards; D3DERR_SCENE_END_FAILED
  // when filling them faulted on a rasteriser thread (the picture is unfinished).
  HRESULT EndScene();

  // Fills the rectangles (screen coordinates; none means the whole viewport), each clipped to
  // the viewport, in the render target and/or the depth buffer.
  HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, D3DVALUE z, DWORD stencil);

  HRESULT SetViewport(const D3DVIEWPORT7* viewport);
  HRESULT GetViewport(D3DVIEWPORT7* viewport) const;

  HRESULT SetTransform(D3DTRANSFORMSTATETYPE type, const D3DMATRIX* matrix);
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE type, D3DMATRIX* matrix) const;
  // The stored matrix becomes `matrix` times the stored matrix.
  HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE type, const D3DMATRIX* matrix);

  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value);
  HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) const;
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value);
  HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD* value) const;

  // The device holds each texture while it is set; GetTexture hands out a reference of its own.
  HRESULT SetTexture(DWORD stage, DirectDrawSurface* texture);
  HRESULT GetTexture(DWORD stage, DirectDrawSurface** texture) const;
  HRESULT PreLoad(DirectDrawSurface* texture);

  HRESULT SetLight(DWORD index, const D3DLIGHT7* light);
  HRESULT GetLight(DWORD index, D3DLIGHT7* light) const;
  // Enabling a light that was never set makes it a white directional light along +z first.
  HRESULT LightEnable(DWORD index, BOOL enable);
  HRESULT GetLightEnable(DWORD index, BOOL* enable) const;

  HRESULT SetMaterial(const D3DMATERIAL7* material);
  HRESULT GetMaterial(D3DMATERIAL7* material) const;

  HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, DWORD fvf, const void* vertices, DWORD vertexCount, DWORD flags);
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, DWORD fvf, const void* vertices, DWORD vertexCount,
                               const WORD* indices, DWORD indexCount, DWORD flags);
  HRESULT DrawPrimitiveVB(D3DPRIMITIVETYPE type, Direct3DVertexBuffer* buffer, DWORD startVertex, DWORD vertexCount,
                          DWORD flags);
  // Indices count from `startVertex` and stay below `vertexCount`.
  HRESULT DrawIndexedPrimitiveVB(D3DPRIMITIVETYPE type, Direct3DVertexBuffer* buffer, DWORD startVertex,
                                 DWORD vertexCount, const WORD* indices, DWORD indexCount, DWORD flags);

  // Platform access, not Direct3D's.
  bool InScene() const { return inScene_; }
  DirectDrawSurface* RenderTarget() const { return target_.get(); }
  // Fills what was drawn so far into the buffers (EndScene and Clear do it too).
  void Flush();
  // Textures converted for sampling that the device still keeps.
  size_t CachedTextureCount() const { return textureCache_.size(); }
  // The specialised spans or the reference path, for tests that compare them.
  void SetSpanPath(raster::SpanPath path);
  // What one draw asked for, as the caller handed it over, for tests of the code that draws.
  struct DrawObservation {
    D3DPRIMITIVETYPE primitive;
    DWORD fvf;
    DWORD vertexSize;
    std::vector<uint8_t> vertices;
    std::vector<WORD> indices;  // empty when the draw was not indexed
    D3DMATRIX world;
  };
  using DrawObserver = std::function<void(const DrawObservation&)>;
  // Every draw from now on is also handed to the observer; an empty one stops it.
  void SetDrawObserver(DrawObserver observer) { drawObserver_ = std::move(observer); }

 private:
  friend class Direct3D;
  Direct3DDevice(const D3DDEVICEDESC7& caps, std::vector<DDPIXELFORMAT> textureFormats, DirectDrawSurface* target);
  ~Direct3DDevice();

  struct LightSlot {
    D3DLIGHT7 light;
    bool enabled;
  };

  struct CachedTexture {
    SurfaceRef surface;
    std::vector<SurfaceRef> levels;  // the mip chain when converted, with the version of each
    std::vector<uint64_t> versions;
    bool keyed = false;
    DDCOLORKEY key{};
    std::shared_ptr<raster::Texture> texture;
  };

  HRESULT CheckDrawable(D3DPRIMITIVETYPE type, DWORD flags) const;
  void Render(D3DPRIMITIVETYPE type, DWORD fvf, const uint8_t* vertices, DWORD vertexCount, const WORD* indices,
              DWORD indexCount, DWORD flags);
  bool BindBuffers();
  void BuildPixelState();
  void BuildVertexState();
  std::shared_ptr<const raster::Texture> TextureFor(DirectDrawSurface* surface, const CachedTexture** entry);
  bool TexturesChanged() const;
  void DropUnusedTextures();
  HRESULT ClearTarget(const D3DRECT& area, D3DCOLOR color);
  HRESULT ClearDepth(DirectDrawSurface* depth, const D3DRECT& area, DWORD value, DWORD keep);
  bool QueueClears();

  D3DDEVICEDESC7 caps_;
  std::vector<DDPIXELFORMAT> textureFormats_;
  SurfaceRef target_;
  DWORD references_ = 1;
  bool inScene_ = false;
  D3DVIEWPORT7 viewport_{};
  std::array<DWORD, kRenderStateCount> renderStates_{};
  std::array<std::array<DWORD, kTextureStageStateCount>, kMaxTextureStages> stageStates_{};
  std::array<SurfaceRef, kMaxTextureStages> textures_;
  std::array<D3DMATRIX, D3DTRANSFORMSTATE_TEXTURE7 + 1> transforms_{};
  D3DMATERIAL7 material_{};
  std::map<DWORD, LightSlot> lights_;

  // What the rasteriser was last given, rebuilt when the states it comes from change.
  raster::Renderer renderer_;
  raster::PixelState pixelState_;
  std::array<const CachedTexture*, raster::kMaxStages> boundTextures_{};  // the conversions pixelState_ holds
  std::shared_ptr<raster::VertexState> vertexState_;                      // shared with the draws queued with it
  std::vector<std::shared_ptr<raster::VertexState>> vertexStates_;  // made so far, for reuse once no draw holds one
  raster::DrawSettings settings_;
  DrawObserver drawObserver_;
  bool pixelStateDirty_ = true;
  bool vertexStateDirty_ = true;
  uint8_t* boundColour_ = nullptr;
  uint8_t* boundDepth_ = nullptr;
  std::map<DirectDrawSurface*, CachedTexture> textureCache_;
  std::vector<raster::ScreenVertex> screenVertices_;
};

// a times b, for row vectors: the transform of a followed by that of b.
D3DMATRIX MatrixProduct(const D3DMATRIX& a, const D3DMATRIX& b);

// The rasteriser's format of a render target, or false when it cannot draw into it.
bool RasterColourFormat(const DDPIXELFORMAT& format, raster::ColourFormat* out);

}  // namespace vx::win
