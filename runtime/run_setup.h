// Setting up the interpreter for a run of the loaded program.
#pragma once

namespace vx {

// Run set-up of the interpreter: program counter at the code, empty call stack, no error, slice
// and frame defaults; the first slice afterwards only clears the yield flag.
void BeginProgramRun();
// Run-time state that every run starts from: DATA position, arrays, loaded modules.
void ResetRuntimeState();

}  // namespace vx
