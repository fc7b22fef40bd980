// The interpreter's state that every command family reads: the program counter and the operand
// access of handlers, the yield and auto-refresh flags, the error code, the standalone switch,
// the input-poll request, the variable area and the handler table, one InterpreterState reached
// through Interpreter(). The runtime's dispatcher drives it; the rest of the interpreter's state
// (slice timing, run switches, call stack) is the runtime's own (runtime/dispatcher_state.h).
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/commands.h"
#include "common/operand_words.h"
#include "common/runtime_hooks.h"
#include "common/value_slot.h"

namespace vx {

struct InterpreterState {
  OperandWord* gProgramCounter = nullptr;  // next code word to run
  uint8_t gYieldFlag = 0;                  // set to end the current time slice
  uint8_t gAutoRefreshFlag = 1;            // drawing handlers end the slice while it is set
  int32_t gErrorCode = 0;                  // error of the run, 0 none; 10000 and above: system errors
  uint8_t gErrorWarningFlag = 0;           // gErrorCode came through the soft path
  uint32_t gStandaloneFlag = 0;            // 1 while a program runs as a game
  uint8_t gInputPollDue = 0;               // input commands poll the devices again while set
  ValueSlot* gVariableArea = nullptr;      // slots::kCount slots, or null when no program is loaded
  size_t gVariableAreaSize = 0;            // its size in bytes
  uint32_t gDrawSceneAtFrameUpdate = 0;    // 1: the 3D scene is drawn in the end-of-frame work
  uint32_t gRandomState = 1;               // random generator state: 1 at process start, never reset by a run

  // Handlers by command number. Every entry without a handler of its own holds gUnknownCommand once
  // the dispatcher has registered the families, so that the fetch needs no test.
  CommandHandler gCommandHandlers[kCommandLimit] = {};
  // What a number without a handler runs (the dispatcher's; null until it is set).
  CommandHandler gUnknownCommand = nullptr;
};
extern InterpreterState gInterpreterState;  // the one instance (common/interpreter_state.cpp)
inline InterpreterState& Interpreter() { return gInterpreterState; }

int32_t NextRandomDraw();

// Operand access for handlers: operand k counted from the word after the command word.
inline ValueSlot* SlotOperand(int k) { return Interpreter().gProgramCounter[k].slot; }
inline int32_t IntOperand(int k) { return Interpreter().gProgramCounter[k].slot->i; }
inline float FloatOperand(int k) { return Interpreter().gProgramCounter[k].slot->f; }
inline const char* TextOperand(int k) { return StringText(Interpreter().gProgramCounter[k].slot->s); }
inline intptr_t LiteralOperand(int k) { return Interpreter().gProgramCounter[k].word; }
inline OperandWord* TargetOperand(int k) { return Interpreter().gProgramCounter[k].target; }
inline void SkipOperands(int n) { Interpreter().gProgramCounter += n; }

// A question about the number in operand 1, answered into operand 0: answer(result, number) for a
// number from lowest to highest; otherwise the error, or nothing when error is 0.
template <class Answer>
void AnswerAboutNumber(int32_t lowest, int32_t highest, int32_t error, Answer&& answer) {
  ValueSlot* result = SlotOperand(0);
  const int32_t number = IntOperand(1);
  SkipOperands(2);
  if (number >= lowest && number <= highest)
    answer(*result, number);
  else if (error != 0)
    RaiseRuntimeError(error);
}

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
  if (shows && (when == SliceEnd::kAlways || Interpreter().gAutoRefreshFlag)) Interpreter().gYieldFlag = 1;
}

}  // namespace vx
