// The cost of an empty frame: a program in manual refresh that only refreshes the screen, run
// headless on the display as start-up makes it (640x480, full screen with two pages, the 3D
// device), frame time 0. One iteration is one turn of the main loop: the frame preparation, the
// slice and the end of the frame with its presentation; the frame wait is left out (the clock
// moves on at every reading). Also the same turn with a presentation that someone watches (a
// frame hook), which converts what changed for showing, and a game loop's turn that clears the
// screen and draws a box moving along, whose drawing the second page receives. Target: an empty
// frame below 0.2 ms.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "bench/headless_host.h"
#include "common/host_state.h"
#include "platform/ddraw/presentation.h"
#include "platform/win/time.h"
#include "platform/win/window.h"
#include "runtime/dispatcher.h"
#include "runtime/dispatcher_state.h"
#include "runtime/main_loop.h"
#include "runtime/program_image.h"
#include "runtime/run_setup.h"
#include "runtime/runtime_services.h"
#include "runtime/startup.h"
#include "surfaces/display_state.h"
#include "tests/support/image_builder.h"

namespace {

using vx::test::ImageBuilder;
using vx::test::To;

vx::win::DWORD gTicks = 0;
vx::win::DWORD MovingClock() { return ++gTicks; }

// Start-up as a game's, headless; once per process.
bool StartDisplay() {
  static bool started = [] {
    vx::win::HWND window = vx::bench::StartHeadlessHost();
    if (!window) return false;
    ImageBuilder b;
    b.Cmd(vx::kCmdEnd);
    if (!b.Load() || !vx::SetupDisplayForProgram(window, 1, 0, 0)) return false;
    vx::win::SetClockSource(MovingClock);
    return true;
  }();
  return started;
}

// Loads the program that write() makes and starts its run at frame time 0.
bool StartProgram(void (*write)(ImageBuilder&)) {
  if (!StartDisplay()) return false;
  vx::FreeProgramImage();
  ImageBuilder b;
  write(b);
  if (!b.Load()) return false;
  vx::BeginProgramRun();
  vx::Dispatcher().gFrameTime = 0;
  return true;
}

// The program in manual refresh that only refreshes the screen.
bool StartEmptyProgram() {
  return StartProgram([](ImageBuilder& b) {
    b.Cmd(vx::kCmdManualRefresh);
    b.Label("top");
    b.Cmd(vx::kCmdRefreshScreen);
    b.Cmd(vx::kCmdGoto, {To("top")});
  });
}

// A game loop: clear the screen, draw a 100-pixel box one pixel further right, refresh.
bool StartDrawingProgram() {
  return StartProgram([](ImageBuilder& b) {
    const int x = b.IntVar(), right = b.IntVar();
    const int zero = b.IntConst(0), one = b.IntConst(1), top = b.IntConst(100), bottom = b.IntConst(199);
    const int width = b.IntConst(99), last = b.IntConst(400), white = b.IntConst(0xFFFFFF);
    b.Cmd(vx::kCmdManualRefresh);
    b.Cmd(vx::kCmdInk, {white, zero});
    b.Label("again");
    b.Cmd(vx::kCmdAssignInt, {x, zero});
    b.Label("frame");
    b.Cmd(vx::kCmdCls);
    b.Cmd(vx::kCmdAddInt, {right, x, width});
    b.Cmd(vx::kCmdBox, {x, top, right, bottom});
    b.Cmd(vx::kCmdRefreshScreen);
    b.Cmd(vx::kCmdFor, {x, last, one, To("end")});
    b.Cmd(vx::kCmdGoto, {To("frame")});
    b.Label("end");
    b.Cmd(vx::kCmdGoto, {To("again")});
  });
}

void Turn() {
  vx::RenderFrame();
  vx::ExecuteTimeSlice();
  vx::FrameUpdate();
}

// Turns of the program that start() loads, after ten to settle; frames presented a turn alongside.
void RunTurns(benchmark::State& state, bool (*start)(), const char* label) {
  if (!start()) {
    state.SkipWithError("the display could not be made");
    return;
  }
  for (int i = 0; i < 10; ++i) Turn();
  const uint32_t frames = vx::Display().gFrameCounter;
  for (auto _ : state) Turn();
  state.counters["presented_per_turn"] = double(vx::Display().gFrameCounter - frames) / double(state.iterations());
  state.SetLabel(label);
}

void BM_EmptyFrame(benchmark::State& state) { RunTurns(state, StartEmptyProgram, "headless, nothing shown"); }
BENCHMARK(BM_EmptyFrame)->Unit(benchmark::kMicrosecond);

void BM_EmptyFrameWatched(benchmark::State& state) {
  uint64_t shown = 0;
  vx::win::SetFrameHook([&shown](const vx::win::PresentedFrame& frame) { shown += frame.pixels.size(); });
  RunTurns(state, StartEmptyProgram, "headless, each frame handed to a watcher");
  vx::win::SetFrameHook(nullptr);
  benchmark::DoNotOptimize(shown);
}
BENCHMARK(BM_EmptyFrameWatched)->Unit(benchmark::kMicrosecond);

void BM_DrawnFrame(benchmark::State& state) { RunTurns(state, StartDrawingProgram, "cls and a moving box, two pages"); }
BENCHMARK(BM_DrawnFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
