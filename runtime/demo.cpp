// The built-in demonstration: a small program image assembled here (a counting loop that sums
// 1 to 100 and one that steps the Fibonacci numbers), run slice by slice through the dispatcher.
#include "runtime/demo.h"

#include <cstdio>
#include <vector>

#include "common/le_words.h"
#include "common/variable_layout.h"
#include "ide/language.h"
#include "platform/win/messages.h"
#include "runtime/dispatcher.h"
#include "runtime/errors.h"
#include "runtime/program_image.h"
#include "runtime/run_setup.h"

namespace vx {

namespace {

constexpr uint32_t kAt = operands::kCodeAddress;  // code-address operands count from here
constexpr uint32_t kIntConst = operands::kIntConst, kIntVar = operands::kIntVar;
constexpr uint32_t kZero = kIntConst, kOne = kIntConst + 1, kHundred = kIntConst + 2, kTwenty = kIntConst + 3;
constexpr uint32_t kCounter = kIntVar, kSum = kIntVar + 1, kA = kIntVar + 2, kB = kIntVar + 3;
constexpr uint32_t kTemp = operands::kIntTemp;
constexpr uint32_t kAssignInt = 151, kAddInt = 81, kForStep = 7, kJump = 2;

std::vector<uint8_t> DemoImage() {
  const std::vector<uint32_t> constants = {0, 1, 100, 20};
  const std::vector<uint32_t> owners = {4, 0, 0, 0, 0, 0, 0};  // four integer variables of the main program
  const std::vector<uint32_t> code = {
      kAssignInt, kSum,     kZero,                         // sum = 0
      kAssignInt, kCounter, kZero,                         // i = 0
      kForStep,   kCounter, kHundred, kOne,     kAt + 17,  // next i (to 100)
      kAddInt,    kSum,     kSum,     kCounter,            // sum = sum + i
      kJump,      kAt + 6,                                 //
      kAssignInt, kA,       kZero,                         // a = 0
      kAssignInt, kB,       kOne,                          // b = 1
      kAssignInt, kCounter, kZero,                         // n = 0
      kForStep,   kCounter, kTwenty,  kOne,     kAt + 43,  // next n (to 20)
      kAddInt,    kTemp,    kA,       kB,                  // t = a + b
      kAssignInt, kA,       kB,                            // a = b
      kAssignInt, kB,       kTemp,                         // b = t
      kJump,      kAt + 26,                                //
  };
  const uint32_t I = 12, F = I + uint32_t(constants.size()), S = F, D = S;
  const uint32_t K = D + 1 + uint32_t(owners.size());
  std::vector<uint8_t> out;
  for (uint32_t w : {1u, I, F, S, 0u, D, 0u, K, 4u, 0u, 0u, uint32_t(owners.size())}) AppendLE32(out, w);
  for (uint32_t w : constants) AppendLE32(out, w);
  AppendLE32(out, 0);  // the empty DATA list
  for (uint32_t w : owners) AppendLE32(out, w);
  for (uint32_t w : code) AppendLE32(out, w);
  for (size_t i = 0; i < code.size(); ++i) AppendLE32(out, 1);
  return out;
}

}  // namespace

int RunDemo() {
  RegisterAllCommands();
  const auto image = DemoImage();
  if (!LoadProgramImageFromBytes(image.data(), image.size())) {
    std::fputs("vorlix: the demonstration image did not load\n", stderr);
    return 1;
  }
  ResetErrorWordTable();
  ResetRuntimeState();
  BeginProgramRun();
  int slices = 0;
  while (!win::QuitMessagePending()) {
    ExecuteTimeSlice();
    ++slices;
  }
  if (Interpreter().gErrorCode > 0) {
    std::fprintf(stderr, "%s\n", FormatErrorMessage().c_str());
    FreeProgramImage();
    return 1;
  }
  std::printf("Vorlix runtime demonstration\n");
  std::printf("  sum of 1 to 100      = %d\n", SlotOfOperand(kSum)->i);
  std::printf("  Fibonacci number 20  = %d\n", SlotOfOperand(kA)->i);
  std::printf("  time slices run      = %d\n", slices);
  FreeProgramImage();
  return 0;
}

}  // namespace vx
