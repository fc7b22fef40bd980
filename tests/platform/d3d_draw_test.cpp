// Scenes, clears read back from the surfaces, vertex buffers, and the draw calls the device
// records for the rasteriser with the state in force.
#include <cstring>
#include <tuple>
#include <vector>

#include "tests/platform/ddraw_test_support.h"

namespace vx::win::testing {
namespace {

uint32_t ColourAt(DirectDrawSurface* surface, DWORD x, DWORD y) {
  return ReadPixelArgb(surface->Pixels(), x, y) & 0xFFFFFF;
}

uint32_t DepthAt(DirectDrawSurface* target, DWORD x, DWORD y) {
  const SurfacePixels pixels = target->AttachedZBuffer()->Pixels();
  return LoadPixel(pixels.bits + static_cast<ptrdiff_t>(y) * pixels.pitch + x * pixels.bytesPerPixel,
                   pixels.bytesPerPixel);
}

bool Inside(const D3DRECT& r, LONG x, LONG y) { return x >= r.x1 && x < r.x2 && y >= r.y1 && y < r.y2; }

using D3DScene = D3DTest;

TEST_F(D3DScene, ClearsFillOnlyTheRectanglesInsideTheViewport) {
  const struct { DWORD bits, depthBits; D3DVALUE z; uint32_t depthValue; } formats[] = {
      {16, 16, 0.25f, 16384}, {24, 24, 0.5f, 0x800000}, {32, 32, 1.0f, 0xFFFFFFFF}};
  const D3DRECT rects[] = {{-5, -5, 3, 2}, {5, 3, 100, 100}, {4, 2, 4, 9}};  // the last one is empty
  const D3DVIEWPORT7 viewport = {2, 1, 4, 3, 0.0f, 1.0f};
  const D3DRECT port = {2, 1, 6, 4};
  for (const auto& f : formats) {
    SCOPED_TRACE(f.bits);
    Ref<DirectDrawSurface> target = MakeTarget(8, 6, f.bits, f.depthBits);
    Ref<Direct3DDevice> device = MakeDevice(target.get());
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FF, 0.0f, 0), D3D_OK);
    ASSERT_EQ(device->SetViewport(&viewport), D3D_OK);
    ASSERT_EQ(device->Clear(3, rects, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFFFFFF, f.z, 0), D3D_OK);
    for (LONG y = 0; y < 6; ++y) {
      for (LONG x = 0; x < 8; ++x) {
        const bool cleared = Inside(port, x, y) && (Inside(rects[0], x, y) || Inside(rects[1], x, y));
        EXPECT_EQ(ColourAt(target.get(), x, y), cleared ? 0xFFFFFFu : 0x0000FFu) << x << "," << y;
        EXPECT_EQ(DepthAt(target.get(), x, y), cleared ? f.depthValue : 0u) << x << "," << y;
      }
    }
  }
}

TEST_F(D3DScene, NoRectanglesClearTheWholeViewportAndFlagsChooseTheBuffers) {
  Open(6, 4);
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x000000, 1.0f, 0), D3D_OK);
  const D3DVIEWPORT7 viewport = {1, 1, 4, 2, 0.0f, 1.0f};
  ASSERT_EQ(device_->SetViewport(&viewport), D3D_OK);
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0xFFFFFF, 0.0f, 0), D3D_OK);
  EXPECT_EQ(ColourAt(target_.get(), 2, 2), 0u);  // the colour was not asked for
  EXPECT_EQ(DepthAt(target_.get(), 2, 2), 0u);
  EXPECT_EQ(DepthAt(target_.get(), 0, 0), 0xFFFFFFu);
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0x123456, 0.5f, 0), D3D_OK);
  EXPECT_EQ(ColourAt(target_.get(), 4, 2), 0x123456u);
  EXPECT_EQ(ColourAt(target_.get(), 5, 2), 0u);
  EXPECT_EQ(DepthAt(target_.get(), 4, 2), 0u);
}

TEST_F(D3DScene, BadClearsFailAndTouchNothing) {
  Open(4, 4);
  Ref<DirectDrawSurface> withoutDepth = MakeTarget(4, 4, 32, 0);
  Ref<Direct3DDevice> bareDevice = MakeDevice(withoutDepth.get());
  Direct3DDevice* const depth = device_.get();
  const struct {
    const char* what;
    Direct3DDevice* device;
    DWORD count, flags;
    D3DVALUE z;
    HRESULT expected;
  } cases[] = {
      {"no flags", depth, 0, 0, 0.0f, D3DERR_INVALIDCALL},
      {"unknown flag", depth, 0, 8, 0.0f, D3DERR_INVALIDCALL},
      {"count without rectangles", depth, 2, D3DCLEAR_TARGET, 0.0f, D3DERR_INVALIDCALL},
      {"depth beyond 1", depth, 0, D3DCLEAR_ZBUFFER, 1.5f, D3DERR_INVALIDCALL},
      {"negative depth", depth, 0, D3DCLEAR_ZBUFFER, -0.5f, D3DERR_INVALIDCALL},
      {"no stencil bits", depth, 0, D3DCLEAR_STENCIL, 0.0f, D3DERR_STENCILBUFFER_NOTPRESENT},
      {"no depth buffer", bareDevice.get(), 0, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0.0f, D3DERR_ZBUFFER_NOTPRESENT},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.device->Clear(c.count, nullptr, c.flags, 0xFFFFFF, c.z, 0), c.expected) << c.what;
  }
  EXPECT_EQ(ColourAt(withoutDepth.get(), 1, 1), 0u);
  LoseSurface(target_.get());
  EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 0.0f, 0), DDERR_SURFACELOST);
}

TEST_F(D3DScene, ScenesNestNeverAndInjectedFailuresCountDown) {
  Open(8, 8);
  EXPECT_EQ(device_->EndScene(), D3DERR_SCENE_NOT_IN_SCENE);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  EXPECT_EQ(device_->BeginScene(), D3DERR_SCENE_IN_SCENE);
  EXPECT_EQ(device_->EndScene(), D3D_OK);

  InjectDirect3DFaults([](auto& f) { f.beginSceneFailures = 1; });
  EXPECT_EQ(device_->BeginScene(), DDERR_SURFACELOST);
  EXPECT_FALSE(device_->InScene());
  EXPECT_EQ(device_->BeginScene(), D3D_OK);
  EXPECT_EQ(device_->EndScene(), D3D_OK);

  LoseSurface(target_.get());
  EXPECT_EQ(device_->BeginScene(), DDERR_SURFACELOST);
}

// A D3DFVF_VERTEX vertex: position, normal, one texture coordinate pair.
struct Vertex {
  float x, y, z, nx, ny, nz, u, v;
};

std::vector<Vertex> Quad() {
  return {{0, 0, 0, 0, 0, -1, 0, 0}, {1, 0, 0, 0, 0, -1, 1, 0}, {1, 1, 0, 0, 0, -1, 1, 1}, {0, 1, 0, 0, 0, -1, 0, 1}};
}

class D3DDraw : public D3DTest {
 protected:
  void SetUp() override {
    D3DTest::SetUp();
    Open(32, 32);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
  }
};

TEST_F(D3DDraw, ADrawCallIsRecordedWithCopiesAndTheStateInForce) {
  Ref<DirectDrawSurface> texture = MakeTexture();
  const D3DMATRIX world = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 1, 2, 3, 1};
  D3DMATERIAL7 material{};
  material.ambient = {0.5f, 0.5f, 0.5f, 0.0f};
  D3DLIGHT7 light{};
  light.dltType = D3DLIGHT_DIRECTIONAL;
  light.dvDirection = {0, -1, 0};
  const D3DVIEWPORT7 viewport = {4, 4, 16, 16, 0.0f, 0.0f};
  device_->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
  device_->SetTextureStageState(0, D3DTSS_ADDRESS, D3DTADDRESS_CLAMP);
  device_->SetTexture(0, texture.get());
  device_->SetTransform(D3DTRANSFORMSTATE_WORLD, &world);
  device_->SetMaterial(&material);
  device_->SetViewport(&viewport);
  device_->SetLight(3, &light);
  device_->LightEnable(3, 1);
  device_->SetLight(1, &light);  // set but not enabled

  std::vector<Vertex> quad = Quad();
  std::vector<WORD> indices = {0, 1, 2, 0, 2, 3};
  ASSERT_EQ(
      device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, quad.data(), 4, indices.data(), 6, D3DDP_WAIT),
      D3D_OK);
  quad[0].x = 99.0f;  // the caller's memory is its own again
  indices[0] = 3;
  device_->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_CW);
  device_->SetTexture(0, nullptr);
  ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLEFAN, D3DFVF_VERTEX, quad.data(), 4, 0), D3D_OK);

  const std::vector<DrawCall>& calls = device_->RecordedDrawCalls();
  ASSERT_EQ(calls.size(), 2u);
  const DrawCall& first = calls[0];
  EXPECT_EQ(std::tuple(first.primitive, first.fvf, first.vertexSize, first.vertexCount, first.flags),
            std::tuple(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, DWORD{sizeof(Vertex)}, 4u, DWORD{D3DDP_WAIT}));
  const std::vector<Vertex> original = Quad();
  ASSERT_EQ(first.vertices.size(), 4 * sizeof(Vertex));
  EXPECT_EQ(std::memcmp(first.vertices.data(), original.data(), first.vertices.size()), 0);
  EXPECT_EQ(first.indices, (std::vector<WORD>{0, 1, 2, 0, 2, 3}));
  EXPECT_EQ(first.state.renderStates[D3DRENDERSTATE_CULLMODE], D3DCULL_NONE);
  EXPECT_EQ(first.state.renderStates[D3DRENDERSTATE_LIGHTING], 1u);
  EXPECT_EQ(first.state.stageStates[0][D3DTSS_ADDRESSU], D3DTADDRESS_CLAMP);
  EXPECT_EQ(first.state.stageStates[0][D3DTSS_COLOROP], D3DTOP_MODULATE);
  EXPECT_EQ(first.state.textures[0].get(), texture.get());
  EXPECT_EQ(std::memcmp(&first.state.world, &world, sizeof world), 0);
  EXPECT_EQ(first.state.material.ambient.g, 0.5f);
  EXPECT_EQ(std::memcmp(&first.state.viewport, &viewport, sizeof viewport), 0);
  ASSERT_EQ(first.state.lights.size(), 1u);
  EXPECT_EQ(first.state.lights[0].index, 3u);
  EXPECT_EQ(first.state.lights[0].light.dvDirection.y, -1.0f);

  const DrawCall& second = calls[1];
  EXPECT_TRUE(second.indices.empty());
  EXPECT_EQ(reinterpret_cast<const Vertex*>(second.vertices.data())[0].x, 99.0f);
  EXPECT_EQ(second.state.renderStates[D3DRENDERSTATE_CULLMODE], D3DCULL_CW);
  EXPECT_EQ(second.state.textures[0].get(), nullptr);

  // A new scene starts a new list.
  device_->EndScene();
  EXPECT_EQ(device_->RecordedDrawCalls().size(), 2u);
  device_->BeginScene();
  EXPECT_TRUE(device_->RecordedDrawCalls().empty());
}

TEST_F(D3DDraw, BadDrawCallsFailAndRecordNothing) {
  const std::vector<Vertex> quad = Quad();
  const WORD good[] = {0, 1, 2};
  const WORD past[] = {0, 1, 4};
  const auto draw = [&](D3DPRIMITIVETYPE type, DWORD fvf, const void* vertices, const WORD* indices, DWORD count = 3,
                        DWORD flags = 0) {
    return device_->DrawIndexedPrimitive(type, fvf, vertices, 4, indices, count, flags);
  };
  const D3DPRIMITIVETYPE list = D3DPT_TRIANGLELIST;
  EXPECT_EQ(draw(0, D3DFVF_VERTEX, quad.data(), good), D3DERR_INVALIDPRIMITIVETYPE);
  EXPECT_EQ(draw(7, D3DFVF_VERTEX, quad.data(), good), D3DERR_INVALIDPRIMITIVETYPE);
  EXPECT_EQ(draw(list, D3DFVF_NORMAL, quad.data(), good), D3DERR_INVALIDVERTEXTYPE);  // no position
  EXPECT_EQ(draw(list, D3DFVF_XYZRHW | D3DFVF_NORMAL, quad.data(), good), D3DERR_INVALIDVERTEXTYPE);
  EXPECT_EQ(draw(list, D3DFVF_VERTEX, quad.data(), past), D3DERR_INVALIDCALL);
  EXPECT_EQ(draw(list, D3DFVF_VERTEX, nullptr, good), D3DERR_INVALIDCALL);
  EXPECT_EQ(draw(list, D3DFVF_VERTEX, quad.data(), nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(draw(list, D3DFVF_VERTEX, quad.data(), good, 3, 0x100), D3DERR_INVALIDCALL);
  EXPECT_EQ(draw(list, D3DFVF_VERTEX, quad.data(), good, 2), D3D_OK);  // too few indices for a triangle
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_LINELIST, D3DFVF_VERTEX, quad.data(), 1, 0), D3D_OK);
  EXPECT_TRUE(device_->RecordedDrawCalls().empty());

  device_->EndScene();
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, quad.data(), 3, 0), D3DERR_SCENE_NOT_IN_SCENE);
}

TEST_F(D3DDraw, VertexBuffersLockOnceAndFreezeWhenOptimised) {
  D3DVERTEXBUFFERDESC desc{sizeof(desc), D3DVBCAPS_SYSTEMMEMORY, D3DFVF_VERTEX, 4000};
  Direct3DVertexBuffer* made = nullptr;
  ASSERT_EQ(direct3D_->CreateVertexBuffer(&desc, &made, 0), D3D_OK);
  Ref<Direct3DVertexBuffer> buffer(made);
  D3DVERTEXBUFFERDESC read{sizeof(read), 0, 0, 0};
  ASSERT_EQ(buffer->GetVertexBufferDesc(&read), D3D_OK);
  EXPECT_EQ(std::memcmp(&read, &desc, sizeof read), 0);

  void* data = nullptr;
  DWORD size = 0;
  ASSERT_EQ(buffer->Lock(DDLOCK_WAIT | DDLOCK_WRITEONLY, &data, &size), D3D_OK);
  EXPECT_EQ(size, 4000 * sizeof(Vertex));
  void* again = nullptr;
  EXPECT_EQ(buffer->Lock(DDLOCK_WAIT, &again, nullptr), D3DERR_VERTEXBUFFERLOCKED);
  const std::vector<Vertex> quad = Quad();
  std::memcpy(static_cast<Vertex*>(data) + 10, quad.data(), 4 * sizeof(Vertex));
  const WORD indices[] = {0, 1, 2, 0, 2, 3};
  EXPECT_EQ(device_->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, buffer.get(), 10, 4, indices, 6, 0),
            D3DERR_VERTEXBUFFERLOCKED);
  EXPECT_EQ(buffer->Optimize(device_.get(), 0), D3DERR_VERTEXBUFFERLOCKED);
  ASSERT_EQ(buffer->Unlock(), D3D_OK);
  EXPECT_EQ(buffer->Unlock(), D3DERR_VERTEXBUFFERUNLOCKFAILED);

  // Indices count from the start vertex.
  ASSERT_EQ(device_->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, buffer.get(), 10, 4, indices, 6, 0), D3D_OK);
  const WORD past[] = {0, 1, 4};
  EXPECT_EQ(device_->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, buffer.get(), 10, 4, past, 3, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, buffer.get(), 3998, 4, indices, 6, 0),
            D3DERR_INVALIDCALL);
  ASSERT_EQ(device_->DrawPrimitiveVB(D3DPT_TRIANGLEFAN, buffer.get(), 10, 4, 0), D3D_OK);
  const std::vector<DrawCall>& calls = device_->RecordedDrawCalls();
  ASSERT_EQ(calls.size(), 2u);
  for (const DrawCall& call : calls) {
    EXPECT_EQ(call.fvf, D3DFVF_VERTEX);
    EXPECT_EQ(call.vertexCount, 4u);
    EXPECT_EQ(std::memcmp(call.vertices.data(), quad.data(), call.vertices.size()), 0);
  }

  ASSERT_EQ(buffer->Optimize(device_.get(), 0), D3D_OK);
  EXPECT_EQ(buffer->Optimize(device_.get(), 0), D3DERR_VERTEXBUFFEROPTIMIZED);
  EXPECT_EQ(buffer->Lock(DDLOCK_WAIT, &data, nullptr), D3DERR_VERTEXBUFFEROPTIMIZED);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(device_->DrawPrimitiveVB(D3DPT_TRIANGLEFAN, buffer.get(), 10, 4, 0), D3D_OK);
}

TEST_F(D3DDraw, VertexBufferCreationChecksItsDescription) {
  const DWORD size = sizeof(D3DVERTEXBUFFERDESC);
  const struct { const char* what; D3DVERTEXBUFFERDESC desc; DWORD flags; bool fail; HRESULT expected; } cases[] = {
      {"static world", {size, D3DVBCAPS_SYSTEMMEMORY, 0x112, 4000}, 0, false, D3D_OK},
      {"largest", {size, 0, D3DFVF_TLVERTEX, D3DMAXNUMVERTICES}, 0, false, D3D_OK},
      {"size unset", {0, 0, D3DFVF_VERTEX, 10}, 0, false, D3DERR_INVALIDCALL},
      {"bad format", {size, 0, D3DFVF_XYZ | D3DFVF_RESERVED0, 10}, 0, false, D3DERR_INVALIDVERTEXFORMAT},
      {"no vertices", {size, 0, D3DFVF_VERTEX, 0}, 0, false, D3DERR_INVALIDCALL},
      {"too many vertices", {size, 0, D3DFVF_VERTEX, 65536}, 0, false, D3DERR_INVALIDCALL},
      {"optimised at birth", {size, D3DVBCAPS_OPTIMIZED, D3DFVF_VERTEX, 10}, 0, false, D3DERR_INVALIDCALL},
      {"flags", {size, 0, D3DFVF_VERTEX, 10}, 1, false, D3DERR_INVALIDCALL},
      {"injected", {size, 0, D3DFVF_VERTEX, 10}, 0, true, D3DERR_VBUF_CREATE_FAILED},
  };
  for (auto c : cases) {
    InjectDirect3DFaults([&](auto& f) { f.failCreateVertexBuffer = c.fail; });
    Direct3DVertexBuffer* buffer = reinterpret_cast<Direct3DVertexBuffer*>(this);
    EXPECT_EQ(direct3D_->CreateVertexBuffer(&c.desc, &buffer, c.flags), c.expected) << c.what;
    EXPECT_EQ(buffer != nullptr, c.expected == D3D_OK) << c.what;
    if (buffer) buffer->Release();
  }
}

TEST(D3DVertexFormat, SizesFollowTheFormatAndBadFormatsHaveNone) {
  const struct { DWORD fvf, size; } cases[] = {
      {D3DFVF_VERTEX, 32}, {D3DFVF_LVERTEX, 32}, {D3DFVF_TLVERTEX, 32}, {D3DFVF_XYZ, 12},
      {D3DFVF_XYZ | D3DFVF_DIFFUSE, 16}, {D3DFVF_XYZB3 | D3DFVF_NORMAL, 36},
      {D3DFVF_XYZ | D3DFVF_TEX2 | D3DFVF_TEXCOORDSIZE3(1), 12 + 8 + 12},
      {D3DFVF_XYZ | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE1(0), 16}, {D3DFVF_XYZ | D3DFVF_TEX8, 12 + 64},
      // Formats with no size.
      {0, 0}, {D3DFVF_NORMAL | D3DFVF_TEX1, 0}, {D3DFVF_XYZ | D3DFVF_RESERVED0, 0}, {D3DFVF_XYZ | 0x1000, 0},
      {D3DFVF_XYZ | 0x0900, 0},  // nine coordinate sets
      {D3DFVF_XYZRHW | D3DFVF_NORMAL, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(FvfVertexSize(c.fvf), c.size) << std::hex << c.fvf;
}

}  // namespace
}  // namespace vx::win::testing
