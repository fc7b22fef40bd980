// Asynchronous key state. The default source answers from a table that the window layer keeps
// from its input events; tests may replace the source or feed the table.
#include "platform/win/keyboard.h"

#include <array>
#include <atomic>

#include "platform/win/window.h"

namespace vx::win {

namespace {

constexpr int kKeyCount = 256;

// Written by the event pump, read by any thread.
std::array<std::atomic<bool>, kKeyCount> gKeyDown{};

bool IsDown(int virtualKey) { return gKeyDown[static_cast<size_t>(virtualKey)].load(std::memory_order_relaxed); }

void Store(int virtualKey, bool down) {
  gKeyDown[static_cast<size_t>(virtualKey)].store(down, std::memory_order_relaxed);
}

int16_t FromTable(int virtualKey) {
  PumpPlatformEvents();
  if (virtualKey < 0 || virtualKey >= kKeyCount) return 0;
  return IsDown(virtualKey) ? static_cast<int16_t>(-0x8000) : int16_t{0};
}

std::atomic<KeyStateSource> gKeyStateSource{&FromTable};

}  // namespace

int16_t GetAsyncKeyState(int virtualKey) { return gKeyStateSource.load(std::memory_order_relaxed)(virtualKey); }

void SetKeyStateSource(KeyStateSource source) {
  gKeyStateSource.store(source ? source : &FromTable, std::memory_order_relaxed);
}

void SetKeyDown(int virtualKey, bool down) {
  if (virtualKey < 0 || virtualKey >= kKeyCount) return;
  Store(virtualKey, down);
  if (virtualKey >= VK_LSHIFT && virtualKey <= VK_RMENU) {
    constexpr int kSideless[] = {VK_SHIFT, VK_CONTROL, VK_MENU};
    const int pair = (virtualKey - VK_LSHIFT) / 2;
    const int left = VK_LSHIFT + pair * 2;
    Store(kSideless[pair], IsDown(left) || IsDown(left + 1));
  }
}

bool KeyIsDown(int virtualKey) { return virtualKey >= 0 && virtualKey < kKeyCount && IsDown(virtualKey); }

void ClearKeyStates() {
  for (auto& key : gKeyDown) key.store(false, std::memory_order_relaxed);
}

}  // namespace vx::win
