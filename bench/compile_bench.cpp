// Compiler speed: a generated program of 100,000 source lines (assignments, conditions, loops,
// select blocks, array elements and user-function calls) compiled again and again, reported in
// source lines per second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "compiler/compiler.h"

namespace {

constexpr int kBlocks = 5000;
constexpr int kLinesPerBlock = 20;
constexpr int kFunctions = 100;

std::string GenerateProgram() {
  std::string s = "dim a(1000)\ns = 0\n";
  for (int b = 0; b < kBlocks; ++b) {
    const std::string k = std::to_string(b % 1000), c = std::to_string((b * 7) % 1000);
    const std::string f = std::to_string(b % kFunctions);
    s += "v" + k + " = v" + k + " + " + c + "\n";
    s += "w" + k + "# = w" + k + "# * 1.5 + v" + k + "\n";
    s += "if v" + k + " > " + c + " then v" + k + " = 0\n";
    s += "for i = 1 to 10\n";
    s += "  s = s + i * 2\n";
    s += "next i\n";
    s += "while v" + k + " < 100\n";
    s += "  v" + k + " = v" + k + " + 3\n";
    s += "endwhile\n";
    s += "select v" + k + "\n";
    s += "  case 1, 2\n";
    s += "    s = s - 1\n";
    s += "  endcase\n";
    s += "  case default\n";
    s += "    s = s + (v" + k + " - 1) / 2\n";
    s += "  endcase\n";
    s += "endselect\n";
    s += "a(" + c + ") = v" + k + " + w" + k + "#\n";
    s += "x = f" + f + "(v" + k + ", 2) : t$ = u$\n";
    s += "rem block " + std::to_string(b) + "\n";
  }
  s += "end\n";
  for (int f = 0; f < kFunctions; ++f)
    s += "function f" + std::to_string(f) + "(p, q)\n  r = p * q\nendfunction r + 1\n";
  return s;
}

void BM_CompileGeneratedProgram(benchmark::State& state) {
  char folder[] = "/tmp/vxbench-XXXXXX";
  if (!mkdtemp(folder)) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::string path = std::string(folder) + "/program.vxa";
  std::ofstream(path, std::ios::binary) << GenerateProgram();
  vx::ResetCompiler();
  vx::LoadCommandTable();
  if (vx::CompileFile(path) != 1) {
    state.SkipWithError(("compile failed: " + vx::gCompiler.resultMessage).c_str());
    std::remove(path.c_str());
    rmdir(folder);
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(vx::CompileFile(path));
  const double lines = double(kBlocks) * kLinesPerBlock;
  state.counters["lines_per_second"] = benchmark::Counter(lines, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["code_words"] = double(vx::gCompiler.code.size());
  vx::FreeCompilerTables();
  std::remove(path.c_str());
  rmdir(folder);
}
BENCHMARK(BM_CompileGeneratedProgram)->Unit(benchmark::kMillisecond);

}  // namespace
