// The 3D device on the reference scene: 100 textured, lit spheres of 400 triangles at 640x480x32
// with a 24-bit depth buffer, one indexed draw per sphere from a vertex buffer. The same run
// renders the same scene with Mesa's llvmpipe through OSMesa, in child processes (one thread and
// all threads), and prints the frame rates and the ratios; and the same scene with every sphere
// alpha-blended and mip-mapped (trilinear), whose frame time is set beside the opaque frame's.
// Frame rates are frames over wall time.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/d3d/direct3d.h"
#include "platform/d3d/raster.h"
#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/faults.h"
#include "tests/support/reference_scenes.h"

#if VX_BENCH_OSMESA
#include <GL/gl.h>
#include <GL/osmesa.h>

#include "tests/support/gl_texture.h"
#endif

namespace {

using namespace vx::win;

constexpr int kWidth = 640, kHeight = 480;
constexpr int kSlices = 20, kStacks = 11, kSpheres = 100;
constexpr int kWarmUp = 10, kTimed = 200;

struct Vertex {
  float x, y, z, nx, ny, nz, u, v;
};

// ---- the scene, the same for both renderers -----------------------------------------------------

// The opaque scene, or every sphere blended by its texture's alpha with a mip-mapped texture.
enum class Variant { Opaque, BlendedMipmapped };

struct Scene {
  std::vector<Vertex> vertices;
  std::vector<uint16_t> indices;
  std::vector<uint32_t> texture;  // 256x256 0xAARRGGBB

  Scene() {
    const vx::test::SceneMesh sphere = vx::test::scene_detail::Sphere(kSlices, kStacks);
    for (const vx::test::SceneVertex& v : sphere.vertices)
      vertices.push_back({v.x, v.y, v.z, v.nx, v.ny, v.nz, v.u, v.v});
    indices = sphere.indices;
    uint32_t seed = 12345;
    texture.resize(256 * 256);
    for (int y = 0; y < 256; ++y) {
      for (int x = 0; x < 256; ++x) {
        seed = seed * 1664525u + 1013904223u;
        const int noise = int(seed >> 27) - 16;
        const bool first = ((x / 32) + (y / 32)) % 2 == 0;
        const int r = (first ? 220 : 60) + noise, g = (first ? 150 : 90) + noise, b = (first ? 60 : 200) + noise;
        texture[size_t(y) * 256 + x] = 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
      }
    }
  }

  // Sphere s's world matrix in frame f as 16 floats: column-major for OpenGL, which is the same
  // array as the row-major matrix Direct3D multiplies row vectors by.
  static void World(int s, int frame, float* m) {
    const float sx = 24.0f / 10, sy = 20.0f / 10;
    const float scale = std::min(sx / 2.4f, sy / 2.0f);
    const float angle = float(2 * frame + 7 * s) * 3.14159265f / 180.0f;
    float ax = 0.3f, ay = 1.0f, az = 0.1f;
    const float length = std::sqrt(ax * ax + ay * ay + az * az);
    ax /= length, ay /= length, az /= length;
    const float c = std::cos(angle), n = std::sin(angle), t = 1 - c;
    const float r[3][3] = {{t * ax * ax + c, t * ax * ay - n * az, t * ax * az + n * ay},
                           {t * ax * ay + n * az, t * ay * ay + c, t * ay * az - n * ax},
                           {t * ax * az - n * ay, t * ay * az + n * ax, t * az * az + c}};
    for (int col = 0; col < 3; ++col) {
      for (int row = 0; row < 3; ++row) m[col * 4 + row] = r[row][col] * scale;
      m[col * 4 + 3] = 0;
    }
    m[12] = (float(s % 10) - 4.5f) * sx;
    m[13] = (float(s / 10) - 4.5f) * sy;
    m[14] = -18.0f;
    m[15] = 1;
  }
};

// ---- our device ---------------------------------------------------------------------------------

struct DeviceScene {
  DirectDraw* dd = nullptr;
  DirectDrawSurface* target = nullptr;
  DirectDrawSurface* texture = nullptr;
  Direct3D* d3d = nullptr;
  Direct3DDevice* device = nullptr;
  Direct3DVertexBuffer* buffer = nullptr;
  const Scene& scene;

  DirectDrawSurface* Surface(DWORD caps, int w, int h, const DDPIXELFORMAT& format) {
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    desc.dwWidth = DWORD(w);
    desc.dwHeight = DWORD(h);
    desc.ddsCaps.dwCaps = caps;
    desc.ddpfPixelFormat = format;
    DirectDrawSurface* s = nullptr;
    dd->CreateSurface(&desc, &s, nullptr);
    return s;
  }

  // The texture and its mip levels (each a 2x2 box of the one above), the blended variant's texels
  // half transparent.
  void FillTexture(Variant variant) {
    std::vector<uint32_t> level = scene.texture;
    if (variant == Variant::BlendedMipmapped) {
      for (uint32_t& t : level) t = (t & 0x00FFFFFFu) | 0x80000000u;
    }
    DirectDrawSurface* surface = texture;
    surface->AddRef();
    DDSCAPS2 caps{};
    caps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_MIPMAP;
    for (int size = 256; surface; size /= 2) {
      const SurfacePixels pixels = surface->Pixels();
      for (int y = 0; y < size; ++y)
        std::memcpy(pixels.bits + y * pixels.pitch, &level[size_t(y) * size], size_t(size) * 4);
      surface->ContentChanged();
      DirectDrawSurface* next = nullptr;
      surface->GetAttachedSurface(&caps, &next);
      surface->Release();
      surface = next;
      if (size == 1) break;
      std::vector<uint32_t> half(size_t(size / 2) * (size / 2));
      for (int y = 0; y < size / 2; ++y) {
        for (int x = 0; x < size / 2; ++x) {
          uint32_t out = 0;
          for (int shift = 0; shift < 32; shift += 8) {
            uint32_t sum = 2;
            for (int k = 0; k < 4; ++k) sum += (level[size_t(2 * y + k / 2) * size + 2 * x + k % 2] >> shift) & 0xFF;
            out |= (sum / 4) << shift;
          }
          half[size_t(y) * (size / 2) + x] = out;
        }
      }
      level.swap(half);
    }
    if (surface) surface->Release();
  }

  explicit DeviceScene(const Scene& s, Variant variant = Variant::Opaque) : scene(s) {
    ResetDisplayFaults();
    DirectDrawCreateEx(nullptr, &dd, IID_IDirectDraw7, nullptr);
    dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL);
    target = Surface(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_SYSTEMMEMORY, kWidth, kHeight,
                     DisplayPixelFormat(32));
    DirectDrawSurface* depth =
        Surface(DDSCAPS_ZBUFFER | DDSCAPS_SYSTEMMEMORY, kWidth, kHeight, MakeDepthFormat(24, 0x00FFFFFF));
    target->AddAttachedSurface(depth);
    depth->Release();
    CreateDirect3D(dd, &d3d);
    d3d->CreateDevice(IID_IDirect3DHALDevice, target, &device);
    if (variant == Variant::BlendedMipmapped) {
      DDSURFACEDESC2 desc{};
      desc.dwSize = sizeof desc;
      desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT | DDSD_MIPMAPCOUNT;
      desc.dwWidth = desc.dwHeight = 256;
      desc.dwMipMapCount = 9;
      desc.ddsCaps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_MIPMAP | DDSCAPS_COMPLEX | DDSCAPS_SYSTEMMEMORY;
      desc.ddpfPixelFormat = MakeRgbFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
      dd->CreateSurface(&desc, &texture, nullptr);
    } else {
      texture = Surface(DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY, 256, 256,
                        MakeRgbFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000));
    }
    FillTexture(variant);
    D3DVERTEXBUFFERDESC desc{sizeof desc, D3DVBCAPS_SYSTEMMEMORY, D3DFVF_VERTEX, DWORD(scene.vertices.size())};
    d3d->CreateVertexBuffer(&desc, &buffer, 0);
    void* data = nullptr;
    buffer->Lock(DDLOCK_WRITEONLY, &data, nullptr);
    std::memcpy(data, scene.vertices.data(), scene.vertices.size() * sizeof(Vertex));
    buffer->Unlock();

    // The scene is given with y up and the viewer looking down -z; the view mirrors z into the
    // device's left-handed space.
    const D3DMATRIX view = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1};
    const float h = 1.0f / std::tan(30.0f * 3.14159265f / 180.0f), w = h * kHeight / kWidth;
    const float zn = 1, zf = 100, q = zf / (zf - zn);
    const D3DMATRIX projection = {w, 0, 0, 0, 0, h, 0, 0, 0, 0, q, 1, 0, 0, -q * zn, 0};
    device->SetTransform(D3DTRANSFORMSTATE_VIEW, &view);
    device->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &projection);
    D3DLIGHT7 light{};
    light.dltType = D3DLIGHT_DIRECTIONAL;
    light.dcvDiffuse = {1, 1, 1, 1};
    light.dvDirection = {-0.5f, -0.7f, -1.0f};  // shining from (0.5, 0.7, 1) in the scene's view space
    device->SetLight(0, &light);
    device->LightEnable(0, 1);
    D3DMATERIAL7 material{};
    material.ambient = {0.2f, 0.2f, 0.2f, 1};
    material.diffuse = {0.9f, 0.9f, 0.9f, 1};
    device->SetMaterial(&material);
    device->SetRenderState(D3DRENDERSTATE_AMBIENT, 0x00FFFFFF);
    device->SetRenderState(D3DRENDERSTATE_NORMALIZENORMALS, 1);
    device->SetRenderState(D3DRENDERSTATE_ZFUNC, D3DCMP_LESS);
    // Counter-clockwise on the screen is the front here: the back faces are the clockwise ones.
    device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_CW);
    device->SetTexture(0, texture);
    device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_LINEAR);
    device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTFN_LINEAR);
    device->SetTextureStageState(0, D3DTSS_ADDRESS, D3DTADDRESS_WRAP);
    if (variant == Variant::BlendedMipmapped) {
      device->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTFP_LINEAR);
      device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
      device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
      device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
      device->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, 0);  // as ghosted objects draw
    }
  }

  ~DeviceScene() {
    buffer->Release();
    device->Release();
    d3d->Release();
    texture->Release();
    target->Release();
    dd->Release();
  }

  void Frame(int frame) {
    // Cleared inside the scene, the buffers are cleared tile by tile just before they are drawn.
    device->BeginScene();
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF1A1A33, 1.0f, 0);
    for (int s = 0; s < kSpheres; ++s) {
      D3DMATRIX world;
      Scene::World(s, frame, &world._11);
      device->SetTransform(D3DTRANSFORMSTATE_WORLD, &world);
      device->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, buffer, 0, DWORD(scene.vertices.size()), scene.indices.data(),
                                     DWORD(scene.indices.size()), 0);
    }
    device->EndScene();
  }
};

// VX_SCENE_DUMP=PREFIX writes the first timed frame of each renderer to PREFIX-ours.ppm and
// PREFIX-llvmpipe.ppm, to look at.
void DumpFrame(const char* suffix, const uint8_t* pixels, intptr_t pitch, bool bgra, bool flipped) {
  const char* prefix = std::getenv("VX_SCENE_DUMP");
  if (!prefix) return;
  const std::string path = std::string(prefix) + suffix;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return;
  std::fprintf(file, "P6\n%d %d\n255\n", kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y) {
    const uint8_t* row = pixels + (flipped ? kHeight - 1 - y : y) * pitch;
    for (int x = 0; x < kWidth; ++x) {
      const uint8_t* p = row + x * 4;
      const uint8_t rgb[3] = {bgra ? p[2] : p[0], p[1], bgra ? p[0] : p[2]};
      std::fwrite(rgb, 1, 3, file);
    }
  }
  std::fclose(file);
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double DeviceFramesPerSecond(const Scene& scene, unsigned threads, Variant variant = Variant::Opaque) {
  vx::raster::SetThreadCount(threads);
  DeviceScene device(scene, variant);
  for (int f = 0; f < kWarmUp; ++f) device.Frame(f);
  const SurfacePixels shown = device.target->Pixels();
  DumpFrame(variant == Variant::Opaque ? "-ours.ppm" : "-ours-blended.ppm", shown.bits, shown.pitch, true, false);
  const auto start = std::chrono::steady_clock::now();
  for (int f = 0; f < kTimed; ++f) device.Frame(kWarmUp + f);
  const double fps = kTimed / Seconds(start);
  vx::raster::SetThreadCount(0);
  return fps;
}

// ---- llvmpipe -----------------------------------------------------------------------------------

#if VX_BENCH_OSMESA
double MesaFramesPerSecond(const Scene& scene) {
  std::vector<uint8_t> frame(size_t(kWidth) * kHeight * 4);
  OSMesaContext context = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
  if (!context || !OSMesaMakeCurrent(context, frame.data(), GL_UNSIGNED_BYTE, kWidth, kHeight)) return 0;
  glViewport(0, 0, kWidth, kHeight);
  glMatrixMode(GL_PROJECTION);
  const double t = std::tan(30.0 * 3.14159265358979 / 180.0), r = t * kWidth / kHeight;
  glFrustum(-r, r, -t, t, 1, 100);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  const float position[4] = {0.5f, 0.7f, 1.0f, 0.0f}, white[4] = {1, 1, 1, 1};
  const float ambient[4] = {0.2f, 0.2f, 0.2f, 1}, diffuse[4] = {0.9f, 0.9f, 0.9f, 1};
  glLightfv(GL_LIGHT0, GL_POSITION, position);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, white);
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  glEnable(GL_NORMALIZE);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glShadeModel(GL_SMOOTH);
  vx::test::UploadModulatedTexture(256, 256, scene.texture);
  glEnable(GL_TEXTURE_2D);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glVertexPointer(3, GL_FLOAT, sizeof(Vertex), &scene.vertices[0].x);
  glNormalPointer(GL_FLOAT, sizeof(Vertex), &scene.vertices[0].nx);
  glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), &scene.vertices[0].u);
  glClearColor(0.1f, 0.1f, 0.2f, 1.0f);
  const auto draw = [&](int f) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    for (int s = 0; s < kSpheres; ++s) {
      float world[16];
      Scene::World(s, f, world);
      glLoadMatrixf(world);
      glDrawElements(GL_TRIANGLES, GLsizei(scene.indices.size()), GL_UNSIGNED_SHORT, scene.indices.data());
    }
    glFinish();
  };
  for (int f = 0; f < kWarmUp; ++f) draw(f);
  DumpFrame("-llvmpipe.ppm", frame.data(), kWidth * 4, false, true);
  const auto start = std::chrono::steady_clock::now();
  for (int f = 0; f < kTimed; ++f) draw(kWarmUp + f);
  const double fps = kTimed / Seconds(start);
  OSMesaDestroyContext(context);
  return fps;
}

// llvmpipe reads its thread count once, when it starts: each count gets a fresh child process.
double MesaInChild(const Scene& scene, const char* threads) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return 0;
  const pid_t child = fork();
  if (child == 0) {
    close(pipeFds[0]);
    if (threads) {
      setenv("LP_NUM_THREADS", threads, 1);
    } else {
      unsetenv("LP_NUM_THREADS");
    }
    const double fps = MesaFramesPerSecond(scene);
    const ssize_t written = write(pipeFds[1], &fps, sizeof fps);
    _exit(written == sizeof fps ? 0 : 1);
  }
  close(pipeFds[1]);
  double fps = 0;
  if (child < 0 || read(pipeFds[0], &fps, sizeof fps) != sizeof fps) fps = 0;
  close(pipeFds[0]);
  if (child > 0) waitpid(child, nullptr, 0);
  return fps;
}
#endif

const Scene& TheScene() {
  static const Scene scene;
  return scene;
}

// Frames of the reference scene on our device; the first argument is the thread count (0: all),
// the second the variant (0 opaque, 1 blended and mip-mapped). Timed by the wall clock, so that the
// frame rate counts the work of every thread.
void BM_ReferenceSceneFrame(benchmark::State& state) {
  vx::raster::SetThreadCount(unsigned(state.range(0)));
  DeviceScene device(TheScene(), state.range(1) ? Variant::BlendedMipmapped : Variant::Opaque);
  int frame = 0;
  for (auto _ : state) device.Frame(frame++);
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  vx::raster::SetThreadCount(0);
}
BENCHMARK(BM_ReferenceSceneFrame)
    ->ArgsProduct({{1, 0}, {0, 1}})
    ->ArgNames({"threads", "blended"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The comparison with llvmpipe, measured in one run: 10 warm-up and 200 timed frames each, in
// three rounds that take turns, so that a busy machine slows both alike; the medians are reported.
// The blended, mip-mapped scene takes its turns too, and its frame time is given against the
// opaque frame's.
void BM_ReferenceSceneAgainstLlvmpipe(benchmark::State& state) {
  const Scene& scene = TheScene();
  const auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  for (auto _ : state) {
    std::vector<double> mesaOne, mesaAll, oursOne, oursAll, blendedOne, blendedAll;
    for (int round = 0; round < 3; ++round) {
#if VX_BENCH_OSMESA
      mesaOne.push_back(MesaInChild(scene, "1"));
      mesaAll.push_back(MesaInChild(scene, nullptr));
#else
      mesaOne.push_back(0);
      mesaAll.push_back(0);
#endif
      oursOne.push_back(DeviceFramesPerSecond(scene, 1));
      oursAll.push_back(DeviceFramesPerSecond(scene, 0));
      blendedOne.push_back(DeviceFramesPerSecond(scene, 1, Variant::BlendedMipmapped));
      blendedAll.push_back(DeviceFramesPerSecond(scene, 0, Variant::BlendedMipmapped));
      std::printf(
          "round %d: ours %.1f / %.1f, blended %.1f / %.1f, llvmpipe %.1f / %.1f frames a second "
          "(1 thread / all)\n",
          round + 1, oursOne.back(), oursAll.back(), blendedOne.back(), blendedAll.back(), mesaOne.back(),
          mesaAll.back());
    }
    const double m1 = median(mesaOne), mAll = median(mesaAll), o1 = median(oursOne), oAll = median(oursAll);
    const double b1 = median(blendedOne), bAll = median(blendedAll);
    state.counters["ours_1t_fps"] = o1;
    state.counters["ours_all_fps"] = oAll;
    state.counters["llvmpipe_1t_fps"] = m1;
    state.counters["llvmpipe_all_fps"] = mAll;
    state.counters["blended_1t_fps"] = b1;
    state.counters["blended_all_fps"] = bAll;
    std::printf(
        "\nreference scene, median frames a second: ours %.1f on 1 thread, %.1f on %u threads; "
        "llvmpipe %.1f on 1 thread, %.1f on all\n",
        o1, oAll, vx::raster::ThreadCount(), m1, mAll);
    if (m1 > 0 && mAll > 0) {
      std::printf("ratio to llvmpipe: %.2f on 1 thread, %.2f on all threads\n\n", o1 / m1, oAll / mAll);
    } else {
      std::printf("llvmpipe not measured (the benchmark was built without OSMesa)\n\n");
    }
    std::printf(
        "blended and mip-mapped frame time against the opaque frame's: %.2f on 1 thread, %.2f on all "
        "threads\n\n",
        o1 / b1, oAll / bAll);
  }
}
BENCHMARK(BM_ReferenceSceneAgainstLlvmpipe)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
