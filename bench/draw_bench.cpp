// The draw queue and the blitter at 640x480x32: 32x32 image pastes with the colour key and
// 100-pixel lines, reported as how many fit into one 25 ms frame.
#include <benchmark/benchmark.h>

#include "display/display_state.h"
#include "display/draw_queue.h"
#include "engine3d/engine_services.h"
#include "engine3d/records.h"
#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/faults.h"

namespace {

constexpr int kItemsPerFrame = 1000;
constexpr double kFrameSeconds = 0.025;

vx::win::IDirectDrawSurface7* MakeSurface(int32_t width, int32_t height) {
  vx::win::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = vx::win::DDSD_CAPS | vx::win::DDSD_WIDTH | vx::win::DDSD_HEIGHT | vx::win::DDSD_PIXELFORMAT;
  desc.dwWidth = vx::win::DWORD(width);
  desc.dwHeight = vx::win::DWORD(height);
  desc.ddsCaps.dwCaps = vx::win::DDSCAPS_OFFSCREENPLAIN | vx::win::DDSCAPS_SYSTEMMEMORY;
  desc.ddpfPixelFormat = vx::win::DisplayPixelFormat(32);
  vx::win::IDirectDrawSurface7* made = nullptr;
  vx::gDirectDraw->CreateSurface(&desc, &made, nullptr);
  return made;
}

// A 640x480x32 screen and image 1: a 32x32 ring on the black colour key.
void MakeScreen() {
  if (vx::gBackBuffer) return;
  vx::win::ResetDisplayFaults();
  vx::win::DirectDrawCreateEx(nullptr, &vx::gDirectDraw, vx::win::IID_IDirectDraw7, nullptr);
  vx::gBackBuffer = MakeSurface(640, 480);
  vx::gDisplayWidth = 640;
  vx::gDisplayHeight = 480;
  vx::gSurfaceHooks.makeImageSurface = [](int32_t w, int32_t h) {
    vx::win::IDirectDrawSurface7* s = MakeSurface(w, h);
    const vx::win::DDCOLORKEY black{0, 0};
    s->SetColorKey(vx::win::DDCKEY_SRCBLT, &black);
    return s;
  };
  vx::InitRecordPools();
  vx::ResetEngineRecords();
  const uint32_t image = vx::AllocImageRecord();
  vx::CreateImageSurface(image, 32, 32);
  vx::gImageSlotById[1] = image;
  vx::win::DDBLTFX fx{};
  fx.dwSize = sizeof fx;
  fx.dwFillColor = 0x00FF8040;
  vx::win::RECT ring{4, 4, 28, 28};
  vx::gImageRecords[image].surface->Blt(&ring, nullptr, nullptr, vx::win::DDBLT_COLORFILL, &fx);
  fx.dwFillColor = 0;
  vx::win::RECT hole{10, 10, 22, 22};
  vx::gImageRecords[image].surface->Blt(&hole, nullptr, nullptr, vx::win::DDBLT_COLORFILL, &fx);
  vx::ResetDrawTarget();
}

void Report(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * kItemsPerFrame);
  state.counters["per_25ms_frame"] = benchmark::Counter(
      double(state.iterations()) * kItemsPerFrame * kFrameSeconds, benchmark::Counter::kIsRate);
}

void BM_KeyedPastes(benchmark::State& state) {
  MakeScreen();
  for (auto _ : state) {
    for (int k = 0; k < kItemsPerFrame; ++k) vx::QueuePasteImageKeyed(1, (k * 37) % 620, (k * 53) % 460);
    vx::DrawQueueExecute();
  }
  Report(state);
}
BENCHMARK(BM_KeyedPastes);

void BM_Lines(benchmark::State& state) {
  MakeScreen();
  for (auto _ : state) {
    for (int k = 0; k < kItemsPerFrame; ++k) {
      const int x = (k * 37) % 500, y = (k * 53) % 380;
      vx::QueueLine(x, y, x + 80, y + 60);  // 100 pixels long
    }
    vx::DrawQueueExecute();
  }
  Report(state);
}
BENCHMARK(BM_Lines);

}  // namespace
