// The libFuzzer entry of the one fuzzing executable: VX_FUZZ_TARGET names the target that its inputs
// go to; VX_FUZZ_TARGET=list prints the names of all targets, one a line.
#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_targets.h"

namespace {
const vx::fuzz::FuzzTargetEntry* gTarget = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* name = std::getenv("VX_FUZZ_TARGET");
  if (name && std::string_view(name) == "list") {
    for (const vx::fuzz::FuzzTargetEntry& target : vx::fuzz::FuzzTargets()) std::printf("%s\n", target.name);
    std::exit(0);
  }
  gTarget = name ? vx::fuzz::FindFuzzTarget(name) : nullptr;
  if (!gTarget) {
    std::fprintf(stderr, "vx_fuzz: set VX_FUZZ_TARGET to one of the targets (VX_FUZZ_TARGET=list names them)\n");
    std::exit(2);
  }
  vx::fuzz::FuzzWorkFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  gTarget->run(data, size);
  return 0;
}
