// Asynchronous key state by virtual key, with a replaceable source so that tests inject keys.
#pragma once
#include "platform/win/types.h"

namespace vx::win {

// Bit 15 set while the key is down; 0 otherwise.
int16_t GetAsyncKeyState(int virtualKey);

using KeyStateSource = int16_t (*)(int virtualKey);
// Replaces where key states come from; nullptr returns to the default source.
void SetKeyStateSource(KeyStateSource source);

}  // namespace vx::win
