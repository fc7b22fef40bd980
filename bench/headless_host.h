// Start-up as a game's, headless: the host, its window and the subsystems, before a program is
// loaded and the display set up. Shared by the benchmarks and the soak.
#pragma once
#include <cstdlib>

#include "common/host_state.h"
#include "platform/win/window.h"
#include "runtime/startup.h"

namespace vx::bench {

// The window, or null when a step failed.
inline win::HWND StartHeadlessHost() {
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  int fullScreen = 1, windowed = 0;
  BeginHost(nullptr, "", &fullScreen, &windowed);
  win::HWND window = CreateRuntimeWindow(nullptr, win::SW_SHOW, 0x800A0000u);
  if (!window) return nullptr;
  Host().gMainWindow = window;
  return InitSubsystems(nullptr, window) ? window : nullptr;
}

}  // namespace vx::bench
