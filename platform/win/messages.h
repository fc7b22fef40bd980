// The thread message queue: posted messages and the quit message, taken in order.
#pragma once
#include "platform/win/types.h"

namespace vx::win {

// Posts WM_QUIT with the exit code; it is taken after every message posted before it.
void PostQuitMessage(int exitCode);
BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Takes (PM_REMOVE) or looks at (PM_NOREMOVE) the oldest waiting message; FALSE when none waits.
// Waiting platform events (keys, mouse, window changes) are read into the queue first.
BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags);
// True while a WM_QUIT is waiting in the queue.
bool QuitMessagePending();
// True while a message of that kind and wParam is waiting; platform events are read in first.
bool MessageWaiting(UINT message, WPARAM wParam);
// Drops every waiting message (a new run starts with an empty queue).
void ClearMessageQueue();
// Drops the messages waiting for a window (it is being destroyed).
void RemoveWindowMessages(HWND hwnd);

}  // namespace vx::win
