// Runs a loaded program in-process the way the main loop does, with an injected clock.
#pragma once
#include <cstdint>
#include <string>

#include "generated/error_numbers.h"

#include "tests/support/image_builder.h"

namespace vx::test {

// Milliseconds seen by the program; tests move it.
extern uint32_t gTestClock;
uint32_t TestClock();

struct RunResult {
  bool ended = false;  // the quit message was posted
  int32_t errorCode = 0;
  bool warning = false;
  std::string errorText;  // the error box text, when errorCode > 0
  int slices = 0;
};

// Prepares a clean run state: handlers registered, clock injected, queue and tables empty,
// default error texts.
void PrepareRuntime();
// Loads the image and runs slices until the program ends or maxSlices have run.
RunResult RunImage(const ImageBuilder& image, int maxSlices = 1000, bool standalone = false);
// Runs the already loaded program.
RunResult RunLoaded(int maxSlices = 1000, bool standalone = false);

// Reads slots by operand number after a run.
int32_t IntAt(int operand);
float FloatAt(int operand);
std::string TextAt(int operand);

}  // namespace vx::test
