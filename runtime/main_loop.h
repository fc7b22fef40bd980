// The runtime's main loop and window procedure: messages, the frame around each time slice and the
// typed-character queue. The mouse and keyboard state the window procedure keeps is the input
// devices' (display/input_devices.h), the frame switches are the display's (surfaces/display_state.h).
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/win/types.h"
#include "runtime/runtime_state.h"

namespace vx {

// Runs the program until WM_QUIT is taken.
void RunMainLoop();
win::LRESULT MainWindowProc(win::HWND window, win::UINT message, win::WPARAM wParam, win::LPARAM lParam);
// Drains the message queue once in 50001 calls: what PumpMessagesOccasionally
// (common/runtime_hooks.h) does, which long commands call.
void DrainMessagesOccasionally();
// A slice in counting mode may never end by itself: every few milliseconds it asks whether a close
// (a signal arrives as one), Esc (while enabled) or a quit waits, so that the main loop takes it.
// Nothing is taken from the queue and no frame is drawn.
bool QuitRequestWaiting();
// Waits while Esc, F11 or F12 is down, then drains the message queue, keeping a quit among the
// messages for the main loop when asked to.
void WaitForBreakKeysUp(bool keepQuit);
void RenderFrame();
void FrameUpdate();
// One frame as the main loop runs it when no message waits: the frame's preparation, one time
// slice of the program, the end of the frame.
void RunFrame();

// Typed characters for the commands that take typed input one character at a time (line input,
// waiting for a key). gLastKeyChar lasts only until the next message, so a character followed by
// a key release or a mouse move before the next slice would be lost; here each WM_CHAR waits in
// order until a command takes it. Characters that no such command asked for during a slice are
// dropped after it, so that typing from long ago does not answer a later question.
// The oldest waiting character, 0 when none waits. Marks the queue as read in this slice.
uint8_t TakeTypedCharacter();
// Marks the queue as read in this slice without taking a character.
void KeepTypedCharacters();
size_t TypedCharacterCount();
void ClearTypedCharacters();
// After each time slice: drops the waiting characters unless a command read the queue.
void EndSliceTypedCharacters();

}  // namespace vx
