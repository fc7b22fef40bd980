// The one instance of the interpreter's shared state (common/interpreter_state.h) and of the
// host's (common/host_state.h), and the process's random generator.
#include "common/interpreter_state.h"

#include "common/host_state.h"

namespace vx {

InterpreterState gInterpreterState;

int32_t NextRandomDraw() {
  Interpreter().gRandomState = Interpreter().gRandomState * 214013u + 2531011u;
  return int32_t((Interpreter().gRandomState >> 16) & 0x7FFF);
}

HostState gHostState;

}  // namespace vx
