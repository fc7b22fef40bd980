// The 3D benchmark scene (100 textured, lit spheres of 400 triangles in a 10 x 10 grid, each
// turning about its own axis, at 640x480x32 with a 24-bit depth buffer) built from the engine's
// own objects and drawn by its frame (view test, draw list, passes, state cache), so that its
// frame rate can be set beside the device's own benchmark of the same scene: the difference is
// the engine's overhead. Also the engine's own work for the same 100 objects with their meshes
// hidden (everything but the device's drawing), and a crowd of 1000 spheres of 224 triangles in a
// 40 x 25 grid. Frame rates are frames over wall time.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "common/host_state.h"
#include "display/display.h"
#include "engine3d/backdrop.h"
#include "engine3d/engine_hooks.h"
#include "engine3d/lights.h"
#include "engine3d/maths3d.h"
#include "engine3d/meshes.h"
#include "engine3d/object_records.h"
#include "engine3d/objects.h"
#include "engine3d/scene_render.h"
#include "engine3d/scene_settings.h"
#include "models/scene_model.h"
#include "platform/d3d/device.h"
#include "platform/d3d/raster.h"
#include "platform/ddraw/faults.h"
#include "platform/win/window.h"
#include "surfaces/display_state.h"
#include "surfaces/engine_textures.h"

namespace {

using namespace vx;

// A unit sphere, the pole rows single triangles: 20 slices and 11 stacks make 400 triangles, 16
// and 8 make 224.
MeshCopy SphereGeometry(int slices, int stacks) {
  MeshCopy copy;
  for (int stack = 0; stack <= stacks; ++stack)
    for (int slice = 0; slice <= slices; ++slice) {
      const float theta = 3.14159265f * float(stack) / float(stacks),
                  phi = 2 * 3.14159265f * float(slice) / float(slices);
      const float x = std::sin(theta) * std::cos(phi), y = std::cos(theta), z = std::sin(theta) * std::sin(phi);
      copy.vertices.push_back({x, y, z, x, y, z, 2.0f * float(slice) / float(slices), float(stack) / float(stacks)});
    }
  auto at = [slices](int stack, int slice) { return uint16_t(stack * (slices + 1) + slice); };
  for (int stack = 0; stack < stacks; ++stack)
    for (int slice = 0; slice < slices; ++slice) {
      const uint16_t a = at(stack, slice), b = at(stack, slice + 1), c = at(stack + 1, slice),
                     d = at(stack + 1, slice + 1);
      if (stack != 0) copy.indices.insert(copy.indices.end(), {a, b, c});
      if (stack != stacks - 1) copy.indices.insert(copy.indices.end(), {b, d, c});
    }
  copy.meshVertexCounts = {uint32_t(copy.vertices.size())};
  copy.meshIndexCounts = {uint32_t(copy.indices.size())};
  return copy;
}

// A 256x256 checker of 32-pixel squares with noise, as a BMP file.
std::string WriteCheckerTexture() {
  const std::string path = Host().gTempFolder + "checker.bmp";
  const uint32_t size = 256, row = size * 3;
  std::vector<uint8_t> file(54 + size_t(row) * size, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + size_t(i)] = uint8_t(v >> (8 * i));
  };
  file[0] = 'B', file[1] = 'M';
  put32(2, uint32_t(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, size);
  put32(22, size);
  file[26] = 1, file[28] = 24;
  uint32_t noise = 12345;
  for (uint32_t y = 0; y < size; ++y)
    for (uint32_t x = 0; x < size; ++x) {
      noise = noise * 1103515245u + 12345u;
      const int n = int((noise >> 16) % 31) - 15;
      const bool warm = ((x / 32) + (y / 32)) % 2 == 0;
      const int r = (warm ? 220 : 60) + n, g = (warm ? 150 : 90) + n, b = (warm ? 60 : 200) + n;
      uint8_t* p = &file[54 + size_t(y) * row + size_t(x) * 3];
      p[0] = uint8_t(b), p[1] = uint8_t(g), p[2] = uint8_t(r);
    }
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
  }
  return path;
}

// The display, the device, the camera and the light, made once.
bool MakeDisplay() {
  static const bool made = [] {
    win::ResetDisplayFaults();
    const win::WNDCLASSA windowClass{
        0, [](win::HWND w, win::UINT m, win::WPARAM wp, win::LPARAM lp) { return win::DefWindowProcA(w, m, wp, lp); },
        0, "VXBENCH3D", "VXBENCH3D"};
    win::RegisterClassA(&windowClass);
    Host().gMainWindow = win::CreateWindowExA(0, "VXBENCH3D", "VXBENCH3D", 0, 0, 0, 640, 480, nullptr, nullptr);
    if (Host().gTempFolder.empty()) Host().gTempFolder = "/tmp/";
    Display().gFullScreen = 0;
    Display().gAllowTnL = 1;
    Display().gDisplayDepth = 32;
    Display().gRenderEnabled = 1;
    InstallEngineHooks();
    InitRecordPools();
    ResetDisplayDefaults();
    if (!EnumerateDisplayCards(0, 1) || !InitDisplayAndDevice(640, 480, 1)) return false;
    ResetEngineRecords();
    Reset3DScene();
    BackdropPlaneOff();  // the frame clears the screen itself, as the device's benchmark does

    // The camera at the origin looking along +z; the grid 18 units ahead.
    Scene().gCameraPosition.Set(0, 0, 0);
    Scene().gCameraLookAt.Set(0, 0, 1);
    UpdateCameraLookAt();
    Display().gCameraNear = 1.0f;
    Display().gCameraFar = 100.0f;
    Display().gCameraFov = 60.0f * 3.14159265f / 180.0f;
    SetProjection(Display().gCameraNear, Display().gCameraFar, Display().gCameraFov);
    SetAmbientLevel(20);
    LightRecord& light = Engine().gLightRecords[0];
    light.directionX = -0.5f, light.directionY = -0.7f, light.directionZ = -1.0f;  // towards (0.5, 0.7, 1)
    ApplyLight(0);
    return true;
  }();
  return made;
}

// A grid of columns x rows spheres, made once; the object slots. The other grids are hidden.
const std::vector<uint32_t>& Spheres(int columns, int rows, int slices, int stacks) {
  static std::map<int, std::vector<uint32_t>> made;
  static int nextNumber = 1;
  static uint32_t texture = 0;
  std::vector<uint32_t>& spheres = made[columns * rows];
  if (spheres.empty()) {
    if (!texture) texture = LoadTextureFile(WriteCheckerTexture().c_str(), 1);
    const uint32_t mesh = AllocMeshRecord();
    FillMeshRecord(mesh, SphereGeometry(slices, stacks));
    const float sx = 24.0f / float(columns), sy = 20.0f / float(rows), scale = std::fmin(sx / 2.4f, sy / 2.0f);
    for (int s = 0; s < columns * rows; ++s) {
      const uint32_t slot = AllocObjectRecord();
      Engine().gObjectSlotById[size_t(nextNumber++)] = slot;
      if (texture) AddTextureUse(texture);
      BuildObjectFromMesh(slot, mesh, texture);
      BuildObjectRecords(slot, 0);
      ObjectRecord& o = Engine().gObjectRecords[slot];
      o.scaleX = o.scaleY = o.scaleZ = scale;
      o.freeRotation = 1;
      o.position.Set((float(s % columns) - float(columns - 1) / 2) * sx,
                     (float(s / columns) - float(rows - 1) / 2) * sy, 18.0f);
      spheres.push_back(slot);
    }
    FreeMeshRecord(mesh);
  }
  for (const auto& [count, set] : made) {
    for (uint32_t slot : set) {
      RenderItem& it = Records().gRenderItems[uint32_t(Engine().gObjectRecords[slot].itemSlot)];
      it.visible = &set == &spheres ? 1 : 0;
      Engine().gObjectRecords[slot].model->SetVisibleById(0, 1);
    }
  }
  return spheres;
}

// Rotation by `degrees` about an axis, as the stored inverse the free-rotation mode keeps.
Matrix4f InverseAxisRotation(float degrees, float ax, float ay, float az) {
  const float length = std::sqrt(ax * ax + ay * ay + az * az);
  ax /= length, ay /= length, az /= length;
  const float a = degrees * 3.14159265f / 180.0f, c = std::cos(a), s = std::sin(a), t = 1 - c;
  // The row-vector rotation's transpose, which is its inverse.
  const float m[3][3] = {{t * ax * ax + c, t * ax * ay + s * az, t * ax * az - s * ay},
                         {t * ax * ay - s * az, t * ay * ay + c, t * ay * az + s * ax},
                         {t * ax * az + s * ay, t * ay * az - s * ax, t * az * az + c}};
  Matrix4f out;
  MatrixIdentity(out);
  for (int r = 0; r < 3; ++r)
    for (int k = 0; k < 3; ++k) out.At(r, k) = m[k][r];
  return out;
}

// Turns every sphere of the set for the frame, clears the screen and draws the frame.
void DrawFrame(const std::vector<uint32_t>& spheres, int frame) {
  for (size_t s = 0; s < spheres.size(); ++s) {
    Engine().gObjectRecords[spheres[s]].freeMatrix =
        InverseAxisRotation(float(2 * frame + 7 * int(s)), 0.3f, 1.0f, 0.1f);
    UpdateObjectFrame(spheres[s]);
  }
  Display().gD3DDevice->Clear(0, nullptr, win::D3DCLEAR_TARGET | win::D3DCLEAR_ZBUFFER, 0xFF1A1A33, 1.0f, 0);
  RenderScene();
}

// The 100 spheres drawn; the argument is the thread count (0: all).
void BM_EngineSceneFrame(benchmark::State& state) {
  if (!MakeDisplay()) {
    state.SkipWithError("no 3D device");
    return;
  }
  raster::SetThreadCount(unsigned(state.range(0)));
  const std::vector<uint32_t>& spheres = Spheres(10, 10, 20, 11);
  int frame = 0;
  for (int i = 0; i < 10; ++i) DrawFrame(spheres, frame++);
  for (auto _ : state) DrawFrame(spheres, frame++);
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["triangles"] = double(Scene().gPolygonCounter / 3);
  raster::SetThreadCount(0);
}
BENCHMARK(BM_EngineSceneFrame)->Arg(1)->Arg(0)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();

// The engine's work for the 100 spheres with every mesh hidden: turning them, the frame's clear,
// the view test, the draw list and the passes, with nothing left for the device to draw.
void BM_EngineSceneHiddenMeshes(benchmark::State& state) {
  if (!MakeDisplay()) {
    state.SkipWithError("no 3D device");
    return;
  }
  const std::vector<uint32_t>& spheres = Spheres(10, 10, 20, 11);
  for (uint32_t slot : spheres) Engine().gObjectRecords[slot].model->SetVisibleById(0, 0);
  int frame = 0;
  for (int i = 0; i < 10; ++i) DrawFrame(spheres, frame++);
  for (auto _ : state) DrawFrame(spheres, frame++);
  for (uint32_t slot : spheres) Engine().gObjectRecords[slot].model->SetVisibleById(0, 1);
}
BENCHMARK(BM_EngineSceneHiddenMeshes)->Unit(benchmark::kMicrosecond)->UseRealTime();

// 1000 spheres of 224 triangles in a 40 x 25 grid over the same part of the view, all threads.
void BM_EngineCrowdFrame(benchmark::State& state) {
  if (!MakeDisplay()) {
    state.SkipWithError("no 3D device");
    return;
  }
  const std::vector<uint32_t>& spheres = Spheres(40, 25, 16, 8);
  int frame = 0;
  for (int i = 0; i < 10; ++i) DrawFrame(spheres, frame++);
  for (auto _ : state) DrawFrame(spheres, frame++);
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["triangles"] = double(Scene().gPolygonCounter / 3);
}
BENCHMARK(BM_EngineCrowdFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
