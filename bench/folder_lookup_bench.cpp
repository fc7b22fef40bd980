// Looking up 2,000 names written in another letter case in a folder of 2,000 files, as loading a
// static world does for its textures: with the folder read once for the whole load (1) and read
// again for every name (0).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/win/files.h"

namespace {

using namespace vx;

constexpr int kFiles = 2000;

void BM_FolderLookups(benchmark::State& state) {
  std::string folder = (std::filesystem::temp_directory_path() / "vx-bench-XXXXXX").string();
  if (!mkdtemp(folder.data())) {
    state.SkipWithError("no temporary folder");
    return;
  }
  std::vector<std::string> asked;
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = "texture_" + std::to_string(i) + ".dds";
    std::ofstream(folder + "/" + name).put('x');
    std::string upper = name;
    for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
    asked.push_back(folder + "/" + upper);
  }
  for (auto _ : state) {
    std::optional<win::FolderLookupScope> once;
    if (state.range(0)) once.emplace();
    for (const std::string& name : asked) benchmark::DoNotOptimize(win::ResolvePath(name));
  }
  state.SetItemsProcessed(state.iterations() * kFiles);
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_FolderLookups)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
