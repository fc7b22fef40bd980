// Objects in numbers: n cubes made as the make command makes them, then ended by the engine's
// release after a run (what every record owns, then the records reset for the next run), or
// deleted one by one in a shuffled order. Both must cost time in proportion to n: the figures
// for 8,000, 32,000 and 65,535 objects should stand in the ratio of those numbers.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

#include "common/host_state.h"
#include "engine3d/engine_hooks.h"
#include "engine3d/engine_shutdown.h"
#include "engine3d/meshes.h"
#include "engine3d/object_records.h"
#include "engine3d/objects.h"

namespace {

using namespace vx;

void FreshRecords() {
  static const bool hooked = [] {
    if (Host().gTempFolder.empty()) Host().gTempFolder = "/tmp/";
    InstallEngineHooks();
    return InitRecordPools();
  }();
  (void)hooked;
  ResetEngineRecords();
}

void MakeCube(int32_t number) {
  const uint32_t mesh = AllocMeshRecord();
  LoadCubeMesh(mesh, 1.0f);
  const uint32_t slot = AllocObjectRecord();
  Engine().gObjectSlotById[size_t(number)] = slot;
  Engine().gObjectRecords[slot].objectNumber = number;
  BuildObjectFromMeshSlot(slot, mesh);
  BuildObjectRecords(slot, 0);
  Engine().gObjectRecords[slot].limbCount = 1;
  FreeMeshRecord(mesh);
}

void MakeCubes(int32_t count) {
  for (int32_t number = 1; number <= count; ++number) MakeCube(number);
}

// The end of a run and the start of the next.
void EndRun() {
  ReleaseRunResources();
  ResetEngineRecords();
}

void BM_MakeAndEndObjects(benchmark::State& state) {
  const auto count = int32_t(state.range(0));
  FreshRecords();
  for (auto _ : state) {
    MakeCubes(count);
    EndRun();
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_MakeAndEndObjects)->Arg(8000)->Arg(32000)->Arg(65535)->Unit(benchmark::kMillisecond);

void BM_EndObjects(benchmark::State& state) {
  const auto count = int32_t(state.range(0));
  FreshRecords();
  for (auto _ : state) {
    state.PauseTiming();
    MakeCubes(count);
    state.ResumeTiming();
    EndRun();
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_EndObjects)->Arg(8000)->Arg(32000)->Arg(65535)->Unit(benchmark::kMillisecond);

void BM_DeleteObjectsInShuffledOrder(benchmark::State& state) {
  const auto count = int32_t(state.range(0));
  std::vector<int32_t> order(static_cast<size_t>(count));
  std::iota(order.begin(), order.end(), 1);
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  FreshRecords();
  for (auto _ : state) {
    state.PauseTiming();
    MakeCubes(count);
    state.ResumeTiming();
    for (const int32_t number : order) DeleteObjectRecord(ObjectSlotOf(number), number);
    state.PauseTiming();
    EndRun();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_DeleteObjectsInShuffledOrder)->Arg(8000)->Arg(32000)->Arg(65535)->Unit(benchmark::kMillisecond);

}  // namespace
