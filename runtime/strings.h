// The work buffer shared by the string and print commands.
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/value_slot.h"

namespace vx {

// Results are built here before they are copied to their slot. Commands run one at a time on the
// main thread, so one buffer serves all; it holds any text of the language plus its NUL.
constexpr size_t kWorkTextSize = kMaxTextLength + 1;

// The integer value of a text as val reads it (atoi's grammar); beyond the 32-bit range it saturates.
int32_t ParseInt(const char* text);

}  // namespace vx

// The state of this part is in RuntimeState (runtime/runtime_state.h), which uses the types above.
#include "runtime/runtime_state.h"
