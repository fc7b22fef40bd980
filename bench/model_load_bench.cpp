// Reading a .x model of many frames side by side, with an animation set that keys each of them,
// and finding every limb's frame as loading an object does: the time per frame should stay the
// same from 10,000 frames to 100,000.
#include <benchmark/benchmark.h>

#include <string>

#include "models/scene_model.h"

namespace {

using namespace vx;

std::string SiblingFrames(int count) {
  std::string text = "xof 0303txt 0032\n";
  for (int i = 0; i < count; ++i) text += "Frame f" + std::to_string(i) + "{}\n";
  text += "AnimationSet walk {\n";
  for (int i = 0; i < count; i += 10) text += "Animation{{f" + std::to_string(i) + "}AnimationKey{2;1;0;3;1,2,3;;;}}\n";
  return text + "}\n";
}

void BM_LoadSiblingFrames(benchmark::State& state) {
  const std::string text = SiblingFrames(int(state.range(0)));
  for (auto _ : state) {
    XModel model;
    std::string error;
    if (!ReadXModelFromMemory(reinterpret_cast<const uint8_t*>(text.data()), text.size(), model, error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    const std::vector<const FrameNode*> limbs = model.root->FramesById(model.frameCount);
    benchmark::DoNotOptimize(limbs.data());
    SceneModel owner;  // frees the tree and the set
    owner.root = model.root;
    owner.frameCount = model.frameCount;
    owner.animationSet = model.animationSet;
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LoadSiblingFrames)->Arg(10000)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
