// The soak: a program that makes, draws and deletes every kind of item each frame (soak.vxa by
// default) runs headless for a number of frames, flat out on the real clock, as the main loop
// runs it. At intervals it prints the frame, the frames per second since the last line, the
// process's resident memory and mappings, and what the device and the display hold: converted
// textures, live surfaces, pixel mappings below 2 GiB. Steady figures mean nothing leaks.
//   vx_soak [program.vxa] [frames] [interval]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/headless_host.h"
#include "common/host_state.h"
#include "compiler/compiler.h"
#include "platform/d3d/device.h"
#include "platform/ddraw/faults.h"
#include "platform/win/low_memory.h"
#include "platform/win/messages.h"
#include "platform/win/window.h"
#include "runtime/dispatcher.h"
#include "runtime/main_loop.h"
#include "runtime/program_image.h"
#include "runtime/run_setup.h"
#include "runtime/runtime_state.h"
#include "runtime/startup.h"
#include "surfaces/display_state.h"

namespace {

// Resident kilobytes and mapping count of this process.
long ResidentKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

long MappingCount() {
  std::ifstream maps("/proc/self/maps");
  long count = 0;
  for (std::string line; std::getline(maps, line);) ++count;
  return count;
}

bool CompileAndLoad(const std::string& source) {
  if (vx::LoadCommandTable() != 1) return false;
  vx::ResetCompiler();
  char folder[] = "/tmp/vx_soak_XXXXXX";
  if (!mkdtemp(folder)) return false;
  const std::string image = std::string(folder) + "/soak.dat";
  const int compiled = vx::CompileFile(source, image);
  vx::FreeCompilerTables();
  const bool loaded = compiled == 1 && vx::LoadProgramImage(image);
  std::remove(image.c_str());
  rmdir(folder);
  return loaded;
}

// Start-up as a game's, headless, with the program loaded.
bool Start(const std::string& source) {
  vx::win::HWND window = vx::bench::StartHeadlessHost();
  if (!window || !CompileAndLoad(source)) return false;
  if (!vx::SetupDisplayForProgram(window, 1, 0, 0)) return false;
  vx::Host().gAppActive = 1;
  vx::BeginProgramRun();
  return true;
}

void PrintLine(long frame, double framesPerSecond) {
  const vx::win::Direct3DDevice* device = vx::Display().gD3DDevice;
  std::printf("%9ld %9.0f %10ld %9ld %9zu %9zu %9zu\n", frame, framesPerSecond, ResidentKb(), MappingCount(),
              device ? device->CachedTextureCount() : size_t(0), vx::win::LiveSurfaceCount(),
              vx::win::LiveLowMappingCount());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string source = argc > 1 ? argv[1] : VX_SOAK_PROGRAM;
  const long frames = argc > 2 ? std::atol(argv[2]) : 100000;
  const long interval = argc > 3 ? std::atol(argv[3]) : 10000;
  if (!Start(source)) {
    std::fprintf(stderr, "vx_soak: %s did not start: %s\n", source.c_str(), vx::Runtime().gLastEngineError);
    return 2;
  }
  std::printf("%9s %9s %10s %9s %9s %9s %9s\n", "frame", "frames/s", "rss_kb", "mappings", "textures", "surfaces",
              "low_maps");
  using Clock = std::chrono::steady_clock;
  auto since = Clock::now();
  for (long frame = 1; frame <= frames; ++frame) {
    vx::RunFrame();
    if (vx::win::QuitMessagePending()) {
      std::fprintf(stderr, "vx_soak: the program ended at frame %ld with error %d: %s\n", frame,
                   vx::Interpreter().gErrorCode, vx::Runtime().gLastEngineError);
      return 1;
    }
    if (frame % interval != 0 && frame != 1) continue;
    const auto now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - since).count();
    PrintLine(frame, frame == 1 ? 0.0 : double(interval) / seconds);
    since = now;
  }
  return 0;
}
