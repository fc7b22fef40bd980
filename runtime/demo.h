// A built-in demonstration program, run through the runtime until the compiler exists.
#pragma once

namespace vx {

// Runs the demonstration and prints what it computed; returns the process exit code.
int RunDemo();

}  // namespace vx
