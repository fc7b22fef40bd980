// The interpreter's state that every command family reads: the program counter and the operand
// access of handlers, the yield and auto-refresh flags, the error code, the standalone switch,
// the input-poll request and the variable area. The runtime's dispatcher drives it; the rest of
// the interpreter's state (slice timing, run switches) is the runtime's own (runtime/dispatcher_state.h).
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/operand_words.h"
#include "common/value_slot.h"

namespace vx {

extern OperandWord* gProgramCounter;  // next code word to run
extern uint8_t gYieldFlag;            // set to end the current time slice
extern uint8_t gAutoRefreshFlag;      // drawing handlers end the slice while it is set
extern int32_t gErrorCode;            // error of the run, 0 none; 10000 and above: system errors
extern uint8_t gErrorWarningFlag;     // gErrorCode came through the soft path
extern uint32_t gStandaloneFlag;      // 1 while a program runs as a game
extern uint8_t gInputPollDue;         // input commands poll the devices again while set
extern ValueSlot* gVariableArea;      // slots::kCount slots, or null when no program is loaded
extern size_t gVariableAreaSize;      // its size in bytes
extern uint32_t gDrawSceneAtFrameUpdate;  // 1: the 3D scene is drawn in the end-of-frame work
extern uint32_t gRandomState;         // random generator state: 1 at process start, never reset by a run

// Advances the one random generator of the process (the maths commands and the grid heights draw
// from it) and returns its next draw, 0 to 32767.
int32_t NextRandomDraw();

// Operand access for handlers: operand k counted from the word after the command word.
inline ValueSlot* SlotOperand(int k) { return gProgramCounter[k].slot; }
inline int32_t IntOperand(int k) { return gProgramCounter[k].slot->i; }
inline float FloatOperand(int k) { return gProgramCounter[k].slot->f; }
inline const char* TextOperand(int k) { return StringText(gProgramCounter[k].slot->s); }
inline intptr_t LiteralOperand(int k) { return gProgramCounter[k].word; }
inline OperandWord* TargetOperand(int k) { return gProgramCounter[k].target; }
inline void SkipOperands(int n) { gProgramCounter += n; }

// When a command ends the time slice after itself, so that the frame shows what it drew or its
// result is in place before the next command runs.
enum class SliceEnd : uint8_t {
  kAlways,       // whatever the refresh mode
  kAutoRefresh,  // while automatic refresh is on
};
// The one way a command ends the slice: by the rule, unless its work cannot show (shows is false
// for drawing into a bitmap, which no frame presents). The flag is only ever raised: a slice end
// that an error asked for stays.
inline void EndSliceAfterCommand(SliceEnd when, bool shows = true) {
  if (shows && (when == SliceEnd::kAlways || gAutoRefreshFlag)) gYieldFlag = 1;
}

}  // namespace vx
