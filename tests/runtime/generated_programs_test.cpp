// Generated programs of the language core (tests/support/program_generator.h) compiled and run
// end to end, plain and with the compiler's shorter fused code: each must end without an error
// and leave in its variables what the generator worked out. A failure names the seed.
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "tests/compiler/compile_support.h"
#include "tests/support/program_generator.h"

namespace vx::test {
namespace {

constexpr uint32_t kSeedsPerGroup = 40;
constexpr int kGroups = 8;

class GeneratedProgramTest : public CompileTest {
 protected:
  // What differs between the run and the expected values, or "" when nothing does.
  std::string Differences(const GeneratedProgram& program, bool fused) {
    gCompiler.fuseCommands = fused;
    const RunResult run = Run(program.source);
    gCompiler.fuseCommands = true;
    std::ostringstream out;
    if (run.errorCode != 0) out << "error " << run.errorCode << ": " << run.errorText << "\n";
    if (!run.ended) out << "the program did not end\n";
    for (const auto& [name, value] : program.expected) {
      const int operand = Operand(name);
      if (operand < 0) {
        out << name << " is no variable of the main program\n";
        continue;
      }
      const std::string actual = name.back() == '$' ? TextAt(operand) : std::to_string(IntAt(operand));
      if (actual != value) out << name << " is " << actual << ", expected " << value << "\n";
    }
    FreeProgramImage();
    return out.str();
  }

  void Check(uint32_t seed) {
    // Named before the run, so that a run the sanitizers end names its seed too.
    std::fprintf(stderr, "generated program, seed %u\n", unsigned(seed));
    const GeneratedProgram program = GenerateProgram(seed);
    for (const bool fused : {false, true}) {
      const std::string differences = Differences(program, fused);
      if (differences.empty()) continue;
      std::string trace;
      for (const int32_t block : program.trace) trace += std::to_string(block) + " ";
      ADD_FAILURE() << "seed " << seed << (fused ? " (fused code)" : " (plain code)") << "\n"
                    << differences << "blocks expected to run first: " << trace << "\n"
                    << program.source;
      return;
    }
  }
};

class GeneratedPrograms : public GeneratedProgramTest, public ::testing::WithParamInterface<int> {};

TEST_P(GeneratedPrograms, LeaveWhatTheGeneratorWorkedOut) {
  const uint32_t first = uint32_t(GetParam()) * kSeedsPerGroup + 1;
  for (uint32_t seed = first; seed < first + kSeedsPerGroup && !HasFailure(); ++seed) Check(seed);
}

INSTANTIATE_TEST_SUITE_P(Seeds, GeneratedPrograms, ::testing::Range(0, kGroups));

// The first fault the generator found, written out small: a function called inside a
// subroutine (of the main program, or of a function) crashed the run.
TEST_F(GeneratedProgramTest, FunctionsCalledInsideSubroutinesReturnToThem) {
  GeneratedProgram program;
  program.source = R"(
gosub s
done = 1
end
s:
f()
r = g(4)
return
function f()
endfunction
function g(n)
endfunction n * 2
)";
  program.expected = {{"done", "1"}, {"r", "8"}};
  EXPECT_EQ(Differences(program, false), "");

  program.source = R"(
r = walk(4)
dim seen$(0)
level = 0
gosub again
found$ = seen$(0)
end
again:
level = level + 1
seen$(0) = seen$(0) + mark$(level)
if level < 4 then gosub again
return
function walk(n)
  total = n
  gosub more
  exitfunction total
more:
  total = total + depth(n) * 10
  return
endfunction 0
function depth(k)
  if k <= 1 then exitfunction 1
  d = depth(k - 1) + 1
endfunction d
function mark$(k)
  if k = 1 then exitfunction "a"
  m$ = mark$(k - 1) + "b"
endfunction m$
)";
  program.expected = {{"r", "44"}, {"level", "4"}, {"found$", "aababbabbb"}};
  EXPECT_EQ(Differences(program, false), "");
}

// VX_GENERATED_SEED=N runs seed N, VX_GENERATED_SEED=N-M seeds N to M (a longer run after a
// change to the interpreter).
TEST_F(GeneratedProgramTest, OfTheSeedsInTheEnvironment) {
  const char* seeds = std::getenv("VX_GENERATED_SEED");
  if (!seeds) GTEST_SKIP() << "VX_GENERATED_SEED names no seed";
  char* rest = nullptr;
  const uint32_t first = uint32_t(std::strtoul(seeds, &rest, 10));
  const uint32_t last = *rest == '-' ? uint32_t(std::strtoul(rest + 1, nullptr, 10)) : first;
  for (uint32_t seed = first; seed <= last && !HasFailure(); ++seed) Check(seed);
}

}  // namespace
}  // namespace vx::test
