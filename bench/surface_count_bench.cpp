// Surfaces by the hundred thousand: as many small surfaces as a program that shows 65,535 pictures
// by sprites holds (the pictures and both pages of every sprite's kept background), made and then
// released in the order they were made. Reported as the time per surface made and released, and
// the kernel mappings their pixels took at the most, which must stay far below the 65,530 the
// kernel allows a process.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/bench_screen.h"

namespace {

constexpr int kSurfaces = 65535 * 3;

void BM_ManySmallSurfacesMadeAndReleased(benchmark::State& state) {
  vx::bench::MakeScreen();
  std::vector<vx::win::IDirectDrawSurface7*> surfaces;
  surfaces.reserve(kSurfaces);
  size_t mostMappings = 0;
  for (auto _ : state) {
    for (int i = 0; i < kSurfaces; ++i) {
      vx::win::IDirectDrawSurface7* made = vx::bench::MakeSurface(8, 8, 16);
      if (!made) {
        state.SkipWithError("a surface could not be made");
        break;
      }
      surfaces.push_back(made);
    }
    mostMappings = std::max(mostMappings, vx::win::SurfaceMappingCount());
    for (vx::win::IDirectDrawSurface7* surface : surfaces) surface->Release();
    surfaces.clear();
  }
  state.counters["most_mappings"] = double(mostMappings);
  state.SetItemsProcessed(state.iterations() * kSurfaces);
}
BENCHMARK(BM_ManySmallSurfacesMadeAndReleased)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
