// Dispatcher speed: a program looping over an integer add, a float multiply-add and a counting-loop
// step, measured per command in counting mode and in time-slice mode.
#include <benchmark/benchmark.h>

#include "engine3d/engine_hooks.h"
#include "platform/win/messages.h"
#include "runtime/dispatcher.h"
#include "runtime/program_image.h"
#include "runtime/run_setup.h"
#include "runtime/runtime_services.h"
#include "tests/support/image_builder.h"

namespace {

using vx::test::ImageBuilder;
using vx::test::To;

constexpr int kPasses = 10'000'000;
constexpr int kCommandsPerPass = 5;  // add, multiply, add, step, jump

void LoadLoop() {
  ImageBuilder b;
  int i = b.IntVar(), sum = b.IntVar(), x = b.FloatVar();
  int one = b.IntConst(1), limit = b.IntConst(kPasses), scale = b.FloatConst(1.0001f), bias = b.FloatConst(0.5f);
  int product = vx::test::FloatTemp(0), zero = b.IntConst(0);
  b.Cmd(vx::kCmdAssignInt, {i, zero});  // each run starts the count again
  b.Label("top");
  b.Cmd(vx::kCmdAddInt, {sum, sum, one});
  b.Cmd(vx::kCmdMultiplyFloat, {product, x, scale});
  b.Cmd(vx::kCmdAddFloat, {x, product, bias});
  b.Cmd(vx::kCmdFor, {i, limit, one, To("end")});
  b.Cmd(vx::kCmdGoto, {To("top")});
  b.Label("end");
  vx::InstallRuntimeHooks();
  vx::InstallEngineHooks();
  vx::RegisterAllCommands();
  b.Load();
}

void RunToEnd(uint8_t timeSliceMode) {
  vx::win::ClearMessageQueue();
  vx::ResetRuntimeState();
  vx::BeginProgramRun();
  vx::ExecuteTimeSlice();  // the first slice only clears the yield flag
  vx::Dispatcher().gTimeSliceMode = timeSliceMode;
  while (!vx::win::QuitMessagePending()) vx::ExecuteTimeSlice();
}

void BM_Dispatch(benchmark::State& state) {
  LoadLoop();
  for (auto _ : state) RunToEnd(uint8_t(state.range(0)));
  state.SetItemsProcessed(state.iterations() * int64_t(kPasses) * kCommandsPerPass);
  state.SetLabel(state.range(0) ? "time-slice mode" : "counting mode");
  vx::FreeProgramImage();
}

}  // namespace

BENCHMARK(BM_Dispatch)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
