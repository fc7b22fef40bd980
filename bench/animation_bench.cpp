// The end-of-frame keyframe update of a crowd: 100 objects of 20 limbs each, every limb turning
// through five rotation keys and moving between two position keys, all looping; one iteration is
// one frame of the crowd (the frames advance, every limb is posed and handed to its model).
#include <benchmark/benchmark.h>

#include <cmath>

#include "engine3d/animation.h"
#include "engine3d/animation_list.h"
#include "engine3d/object_records.h"
#include "engine3d/objects.h"
#include "models/scene_model.h"

namespace {

using namespace vx;

constexpr int kObjects = 100, kLimbs = 20;

// A model of a root and kLimbs frames under it, each animated over 40 frames.
SceneModel* Walker() {
  auto* model = new SceneModel();
  const MeshRecordView none;
  model->AddMeshFrame(0, none, 0);
  auto* set = new AnimationSet();
  for (int limb = 1; limb <= kLimbs; ++limb) {
    model->AddMeshFrame(limb, none, 0);
    auto* track = new AnimationTrack();
    track->SetFrameId(limb);
    for (int key = 0; key < 5; ++key) {
      const float half = 0.25f * std::sin(float(key + limb));
      track->rotationKeys.push_back({float(key * 10), std::cos(half), std::sin(half), 0, 0});
    }
    track->positionKeys = {{0, 0, float(limb), 0}, {40, 1, float(limb), 0}};
    set->AddTrack(track);
  }
  model->SetAnimationSet(set);
  return model;
}

void BM_AnimationCrowd(benchmark::State& state) {
  InitRecordPools();
  ClearRecordPools();
  ChainRecordPools();
  for (int i = 0; i < kObjects; ++i) {
    const uint32_t slot = AllocObjectRecord();
    ObjectRecord& o = Engine().gObjectRecords[slot];
    o.inUse = 1;
    o.model = Walker();
    ShareModel(o.model);
    o.limbCount = kLimbs + 1;
    o.playing = o.looping = 1;
    o.speed = 0.7f;
    o.endFrame = o.frameCount = 40;
    o.currentFrame = float(i % 40);
    AddToAnimatedList(slot);
  }
  for (auto _ : state) {
    AdvanceAnimations();
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kObjects * kLimbs);
  FreeRecordPools();
}
BENCHMARK(BM_AnimationCrowd)->Unit(benchmark::kMicrosecond);

}  // namespace
