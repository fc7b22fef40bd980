// State of the core system commands that lives across time slices: the open input line, the
// running waits and the system cursor of a windowed program. Run set-up resets it.
#pragma once
#include <cstdint>

#include "runtime/runtime_state.h"

namespace vx {

// The longest input line: with its "_" and the two spaces that cover it when it is finished it
// still fits in a text of the language.
constexpr int32_t kInputLineLimit = 252;

}  // namespace vx
