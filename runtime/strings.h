// The work buffer shared by the string and print commands.
#pragma once
#include <cstddef>

#include "common/value_slot.h"

namespace vx {

// Results are built here before they are copied to their slot. Commands run one at a time on the
// main thread, so one buffer serves all; it holds any text of the language plus its NUL.
constexpr size_t kWorkTextSize = kMaxTextLength + 1;
extern char gWorkText[kWorkTextSize];

}  // namespace vx
