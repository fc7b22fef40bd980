// Operands of the display's command handlers beyond the interpreter's own access.
#pragma once
#include <cstring>
#include <string>

#include "common/interpreter_state.h"

namespace vx {

// A file name operand, cut to the language's text limit.
inline std::string FileOperand(int k) {
  const char* text = TextOperand(k);
  return std::string(text, strnlen(text, kMaxTextLength));
}

}  // namespace vx
