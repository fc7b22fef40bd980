// The static world's per-frame culling (view test, occluder list, occlusion, owned parts) over a
// level of 4096 boxes in a 64 x 64 grid with a wall in every eighth row, seen from one end; and
// the sweep test of a moving point against 1024 collision boxes.
#include <benchmark/benchmark.h>

#include <array>
#include <vector>

#include "engine3d/maths3d.h"
#include "engine3d/static_world.h"

namespace {

using namespace vx;

// A box of eight corners and twelve triangles (six quads).
struct BoxArrays {
  std::vector<float> positions, normals;
  std::vector<uint32_t> faces;
  BoxArrays(float x, float z, float w, float h, float d) {
    for (int i = 0; i < 8; ++i) {
      positions.insert(positions.end(), {x + (i & 4 ? w : -w) / 2, (i & 2 ? h : 0.0f), z + (i & 1 ? d : -d) / 2});
      normals.insert(normals.end(), {0, 1, 0});
    }
    for (auto q : {std::array{0u, 2u, 6u, 4u},
                   {1u, 5u, 7u, 3u},
                   {0u, 1u, 3u, 2u},
                   {4u, 6u, 7u, 5u},
                   {0u, 4u, 5u, 1u},
                   {2u, 3u, 7u, 6u}}) {
      faces.push_back(4);
      for (uint32_t c : q) faces.insert(faces.end(), {c, c});
    }
  }
  StaticMeshData Data() const {
    return {positions.data(), normals.data(), faces.data(), nullptr, 8, 8, 6, uint32_t(faces.size())};
  }
};

void BuildLevel() {
  ReleaseStaticWorld();
  for (int row = 0; row < 64; ++row)
    for (int column = 0; column < 64; ++column) {
      const bool wall = row % 8 == 7 && column % 8 == 0;
      const BoxArrays box(float(column - 32) * 10.0f, float(row) * 10.0f + 20.0f, wall ? 80.0f : 4.0f,
                          wall ? 30.0f : 4.0f, wall ? 1.0f : 4.0f);
      AddStaticPart(uint32_t(column % 8), box.Data(), wall ? 1 : 0, 0, 0, 0);
    }
}

void BM_StaticWorldCulling(benchmark::State& state) {
  BuildLevel();
  StaticView view{};
  MatrixIdentity(view.worldBase);
  MatrixLookAt(view.view, {0, 10, 0}, {0, 10, 100}, {0, 1, 0});
  MatrixPerspective(view.projection, 1.0814433f, 0.75f, 1.0f, 3000.0f);
  view.farRange = 3000.0f;
  for (auto _ : state) {
    CullStaticWorld(view);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 64 * 64);
  ReleaseStaticWorld();
}
BENCHMARK(BM_StaticWorldCulling)->Unit(benchmark::kMicrosecond);

void BM_StaticWorldSweep(benchmark::State& state) {
  ReleaseStaticWorld();
  for (int i = 0; i < 1024; ++i) {
    const float x = float(i % 32) * 8.0f, z = float(i / 32) * 8.0f;
    AddStaticCollisionBox(x, 0, z, x + 2, 4, z + 2);
  }
  const float start[3] = {1, 1, -10}, end[3] = {255, 1, 255};
  float out[3];
  for (auto _ : state) benchmark::DoNotOptimize(StaticWorldSweepTest(start, end, 0.5f, 1.0f, out));
  ReleaseStaticWorld();
}
BENCHMARK(BM_StaticWorldSweep)->Unit(benchmark::kMicrosecond);

}  // namespace
