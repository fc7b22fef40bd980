// The thread message queue: one process-wide FIFO. WM_QUIT is an ordinary entry, so it is taken
// after everything posted before it. Waiting platform events are read in before each look, so
// a loop that peeks sees keys, mouse and window changes.
#include "platform/win/messages.h"

#include <algorithm>
#include <deque>
#include <mutex>

#include "platform/win/held_locks.h"
#include "platform/win/time.h"
#include "platform/win/window.h"

namespace vx::win {

namespace {

std::mutex gQueueLock;   // posts may come from other threads (timers, audio)
std::deque<MSG> gQueue;  // oldest first

bool Matches(const MSG& msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  // WM_QUIT belongs to the thread, not a window, and passes every filter.
  if (msg.message == WM_QUIT) return true;
  if (hwnd && msg.hwnd != hwnd) return false;
  if (filterMin == 0 && filterMax == 0) return true;
  return msg.message >= filterMin && msg.message <= filterMax;
}

void Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const MSG msg{hwnd, message, wParam, lParam, timeGetTime(), POINT{0, 0}};
  const CountedLock hold(gQueueLock);
  gQueue.push_back(msg);
}

}  // namespace

void PostQuitMessage(int exitCode) { Post(nullptr, WM_QUIT, static_cast<WPARAM>(static_cast<intptr_t>(exitCode)), 0); }

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Post(hwnd, message, wParam, lParam);
  return TRUE_;
}

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags) {
  if (!msg) return FALSE_;
  PumpPlatformEvents();
  const CountedLock hold(gQueueLock);
  const auto found = std::find_if(gQueue.begin(), gQueue.end(),
                                  [&](const MSG& waiting) { return Matches(waiting, hwnd, filterMin, filterMax); });
  if (found == gQueue.end()) return FALSE_;
  *msg = *found;
  if (removeFlags & PM_REMOVE) gQueue.erase(found);
  return TRUE_;
}

bool QuitMessagePending() {
  const CountedLock hold(gQueueLock);
  return std::any_of(gQueue.begin(), gQueue.end(), [](const MSG& waiting) { return waiting.message == WM_QUIT; });
}

bool MessageWaiting(UINT message, WPARAM wParam) {
  PumpPlatformEvents();
  const std::lock_guard<std::mutex> hold(gQueueLock);
  return std::any_of(gQueue.begin(), gQueue.end(),
                     [&](const MSG& waiting) { return waiting.message == message && waiting.wParam == wParam; });
}

void ClearMessageQueue() {
  const CountedLock hold(gQueueLock);
  gQueue.clear();
}

void RemoveWindowMessages(HWND hwnd) {
  if (!hwnd) return;
  const CountedLock hold(gQueueLock);
  std::erase_if(gQueue, [hwnd](const MSG& waiting) { return waiting.hwnd == hwnd; });
}

}  // namespace vx::win
