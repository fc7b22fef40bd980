// Programs of the language core made from a seed: subroutines, user functions of every result
// type with parameters, bounded recursion, every kind of loop with exits, select, if, goto out of
// blocks and arrays, combined at random. While it writes a program, the generator works out what
// the program must leave in its main program's variables, so a run can be checked without
// another implementation.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vx::test {

struct GeneratedProgram {
  uint32_t seed = 0;
  std::string source;
  // The main program's variables when it has ended, by name ("hash", "name$"); integers as decimal
  // text. "hash" and "steps" take in every block that ran, in order; "check" the shared array.
  std::map<std::string, std::string> expected;
  // The numbers of the blocks that ran, in order (the first ones): what "hash" was made of.
  std::vector<int32_t> trace;
};

struct GeneratorLimits {
  int functions = 5;          // user functions, at most
  int subroutines = 3;        // subroutines of the main program, at most
  int statements = 10;        // statements of a body, at most
  int nesting = 3;            // blocks inside blocks, at most
  int64_t stepBudget = 4000;  // statements a program may run; a program that runs more is made again
};

// The same seed always gives the same program.
GeneratedProgram GenerateProgram(uint32_t seed, const GeneratorLimits& limits = {});

}  // namespace vx::test
