// The interpreter's shared state: program counter, yield and slice control, error code and run
// switches. Read by every command family.
#pragma once
#include <cstdint>

#include "common/operand_words.h"
#include "common/value_slot.h"

namespace vx {

extern OperandWord* gProgramCounter;  // next code word to run
extern uint8_t gYieldFlag;            // set to end the current time slice
extern uint8_t gAutoRefreshFlag;      // drawing handlers end the slice while it is set
extern uint8_t gTimeSliceMode;        // 1: slices end by time; 0: counting mode
extern uint32_t gSliceLength;         // slice length in ms
extern uint32_t gSliceStart;          // timeGetTime at the start of the slice
extern uint32_t gCommandCount;        // commands since the last counting-mode check
extern uint8_t gInputPollDue;         // input commands poll the devices again while set
extern int32_t gErrorCode;            // error of the run, 0 none; 10000 and above: system errors
extern uint8_t gErrorWarningFlag;     // gErrorCode came through the soft path
extern uint8_t gEndFlag;              // the program ran into its end
extern uint32_t gStandaloneFlag;      // 1 while a program runs as a game
extern uint32_t gAppActive;           // 0 pauses the program
extern uint32_t gDebugMode;           // per-command trace and error lines in the log
extern uint32_t gTraceMode;           // display set-up trace lines
extern uint32_t gRuntimeTestMode;     // detailed error report
extern uint32_t gDrawQueueCount;      // 2D drawing items waiting for the next frame
extern uint32_t gFrameTime;           // ms per frame
extern int32_t gPumpCallCount;        // calls of PumpMessagesOccasionally since the last drain
extern uint32_t gDrawSceneAtFrameUpdate;  // 1: the 3D scene is drawn in the end-of-frame work
extern uint32_t gEscapeEnabled;       // Esc ends the program while 1

// Variable-area slot indices of the value groups (operand number minus 10000).
namespace slots {
constexpr int kOperandBase = operands::kIntTemp;
constexpr int kIntTemp = operands::kIntTemp - kOperandBase;
constexpr int kFloatTemp = operands::kFloatTemp - kOperandBase;
constexpr int kStringTemp = operands::kStringTemp - kOperandBase;
constexpr int kIntVar = operands::kIntVar - kOperandBase;
constexpr int kFloatVar = operands::kFloatVar - kOperandBase;
constexpr int kStringVar = operands::kStringVar - kOperandBase;
constexpr int kIntConst = operands::kIntConst - kOperandBase;
constexpr int kFloatConst = operands::kFloatConst - kOperandBase;
constexpr int kStringConst = operands::kStringConst - kOperandBase;
constexpr int kData = operands::kData - kOperandBase;
constexpr int kCount = 29000;
}  // namespace slots

}  // namespace vx
