// Every fuzz target's corpus (fuzz/corpus/NAME/) and every input a fuzzer found to crash it
// (fuzz/crashes/NAME/) run through the target, built here with the ordinary compiler and the
// sanitizers of the test build, so that a crash once fixed stays fixed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "fuzz/fuzz_targets.h"

namespace vx::test {
namespace {

const std::string kFuzzFolder = VX_FUZZ_DIR;

std::vector<std::string> FilesOf(const std::string& folder) {
  std::vector<std::string> files;
  if (!std::filesystem::is_directory(folder)) return files;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.is_regular_file()) files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<uint8_t> Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> TargetNames() {
  std::vector<std::string> names;
  for (const fuzz::FuzzTargetEntry& target : fuzz::FuzzTargets()) names.push_back(target.name);
  return names;
}

class CorpusReplay : public ::testing::TestWithParam<std::string> {};

TEST_P(CorpusReplay, EveryCorpusFileAndFoundCrashRunsCleanly) {
  const fuzz::FuzzTargetEntry* target = fuzz::FindFuzzTarget(GetParam());
  ASSERT_NE(target, nullptr);
  const std::vector<std::string> corpus = FilesOf(kFuzzFolder + "/corpus/" + GetParam());
  EXPECT_GE(corpus.size(), 5u) << "each target starts from a corpus of its own";
  std::vector<std::string> inputs = corpus;
  for (const std::string& crash : FilesOf(kFuzzFolder + "/crashes/" + GetParam())) inputs.push_back(crash);
  for (const std::string& path : inputs) {
    SCOPED_TRACE(path);
    const std::vector<uint8_t> bytes = Bytes(path);
    target->run(bytes.data(), bytes.size());
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, CorpusReplay, ::testing::ValuesIn(TargetNames()),
                         [](const auto& param) { return param.param; });

// A folder named after no target would never be replayed.
TEST(CorpusFolders, NameTargets) {
  const std::vector<std::string> names = TargetNames();
  const std::set<std::string> known(names.begin(), names.end());
  EXPECT_EQ(known.size(), names.size()) << "two targets share a name";
  for (const char* kind : {"corpus", "crashes"}) {
    const std::string folder = kFuzzFolder + "/" + kind;
    if (!std::filesystem::is_directory(folder)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (entry.is_directory()) {
        EXPECT_TRUE(known.count(entry.path().filename().string())) << entry.path();
      }
    }
  }
}

}  // namespace
}  // namespace vx::test
