// The draw queue and the blitter at 640x480x32: 32x32 image pastes with the colour key and
// 100-pixel lines, reported as how many fit into one 25 ms frame. Below them the keyed blit alone
// in every pixel size, and its row copy at every level the processor runs.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/bench_screen.h"
#include "display/draw_queue.h"
#include "engine3d/object_records.h"
#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/faults.h"
#include "platform/ddraw/keyed_rows.h"
#include "surfaces/display_state.h"

namespace {

constexpr int kItemsPerFrame = 1000;
constexpr double kFrameSeconds = 0.025;

using vx::bench::MakeScreen;
using vx::bench::MakeSurface;

void Report(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * kItemsPerFrame);
  state.counters["per_25ms_frame"] =
      benchmark::Counter(double(state.iterations()) * kItemsPerFrame * kFrameSeconds, benchmark::Counter::kIsRate);
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

// BltFast with the source key straight onto a 640x480 surface of the argument's bits, from a 32x32
// ring on key 0: the blitter without the draw queue.
void BM_KeyedBltFast(benchmark::State& state) {
  MakeScreen();
  const auto bits = vx::win::DWORD(state.range(0));
  vx::win::IDirectDrawSurface7* screen = MakeSurface(640, 480, bits);
  vx::win::IDirectDrawSurface7* ring = MakeSurface(32, 32, bits);
  vx::win::DDBLTFX fx{};
  fx.dwSize = sizeof fx;
  fx.dwFillColor = 0x3C;
  vx::win::RECT outer{4, 4, 28, 28}, hole{10, 10, 22, 22};
  ring->Blt(&outer, nullptr, nullptr, vx::win::DDBLT_COLORFILL, &fx);
  fx.dwFillColor = 0;
  ring->Blt(&hole, nullptr, nullptr, vx::win::DDBLT_COLORFILL, &fx);
  const vx::win::DDCOLORKEY black{0, 0};
  ring->SetColorKey(vx::win::DDCKEY_SRCBLT, &black);
  for (auto _ : state) {
    for (int k = 0; k < kItemsPerFrame; ++k) {
      screen->BltFast(vx::win::DWORD((k * 37) % 600), vx::win::DWORD((k * 53) % 440), ring, nullptr,
                      vx::win::DDBLTFAST_SRCCOLORKEY);
    }
  }
  ring->Release();
  screen->Release();
  Report(state);
}
BENCHMARK(BM_KeyedBltFast)->Arg(8)->Arg(16)->Arg(24)->Arg(32);

// The row copy of a 32x32 keyed paste between two 640x480 areas: bytes per pixel, then the level
// (0 scalar, 1 SSE2, 2 AVX2).
void BM_KeyedRowCopy(benchmark::State& state) {
  using namespace vx::win::ddraw_detail;
  const auto bytes = uint32_t(state.range(0));
  const auto level = RowCopyLevel(state.range(1));
  if (!RowCopyLevelAvailable(level)) {
    state.SkipWithError("this processor lacks the level");
    return;
  }
  const ptrdiff_t pitch = 640 * bytes;
  std::vector<uint8_t> screen(size_t(pitch) * 480), ring(size_t(pitch) * 32);
  for (size_t i = 0; i < ring.size(); ++i) ring[i] = (i / bytes) % 5 == 0 ? 0 : uint8_t(i);
  const KeyedRowCopy copy = KeyedRowCopier(bytes, level);
  const RowKey key{0xFFFFFFFFu, 0, 0};
  for (auto _ : state) {
    for (int k = 0; k < kItemsPerFrame; ++k) {
      KeyedRows rows{screen.data() + (k * 53) % 440 * pitch + (k * 37) % 600 * ptrdiff_t(bytes),
                     pitch,
                     ring.data(),
                     pitch,
                     32,
                     32};
      copy(rows, key);
    }
    benchmark::DoNotOptimize(screen.data());
  }
  Report(state);
}
BENCHMARK(BM_KeyedRowCopy)->ArgsProduct({{1, 2, 3, 4}, {0, 1, 2}});

}  // namespace
