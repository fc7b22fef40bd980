// State of the core system commands that lives across time slices: the open input line, the
// running waits and the system cursor of a windowed program. Run set-up resets it.
#pragma once
#include <cstdint>

namespace vx {

// The longest input line: with its "_" and the two spaces that cover it when it is finished it
// still fits in a text of the language.
constexpr int32_t kInputLineLimit = 252;

extern char gInputLine[256];        // the typed line, with "_" after it while it is edited
extern int32_t gInputLineLength;    // characters typed; -1 while no input line is open
extern int32_t gInputLineStartX;    // print cursor x where the line began
extern double gWaitUntil;           // clock value at which the running wait is over; -1.0 none
extern uint32_t gWaitStart;         // clock value when it began
extern uint8_t gWaitKeyState;       // 1 once the awaited key was typed, until it ends
extern uint8_t gWaitMouseState;     // 1 once the awaited button is down, until it is released
extern uint32_t gCursorShown;       // 1 while the system cursor shows in windowed mode

}  // namespace vx
