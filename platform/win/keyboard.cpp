// Asynchronous key state. The state comes from a replaceable source: the window layer feeds it
// from its input events, tests feed it directly.
#include "platform/win/keyboard.h"

#include <atomic>

namespace vx::win {

namespace {

int16_t NoKeyDown(int) { return 0; }

std::atomic<KeyStateSource> gKeyStateSource{&NoKeyDown};

}  // namespace

int16_t GetAsyncKeyState(int virtualKey) {
  return gKeyStateSource.load(std::memory_order_relaxed)(virtualKey);
}

void SetKeyStateSource(KeyStateSource source) {
  gKeyStateSource.store(source ? source : &NoKeyDown, std::memory_order_relaxed);
}

}  // namespace vx::win
