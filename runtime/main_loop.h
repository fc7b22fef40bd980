// The runtime's main loop and window procedure: messages, the frame around each time slice, the
// typed-character buffer and the mouse in a window.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/win/types.h"

namespace vx {

extern uint32_t gRenderEnabled;        // the frame is drawn
extern uint32_t gHasFocus;             // the window has the keyboard focus
extern uint8_t gLastKeyChar;           // character of the last WM_CHAR until the next message
extern std::vector<char> gKeyboardBuffer;  // typed characters not yet taken, NUL-terminated; empty: none made
extern uint32_t gKeyboardBufferCount;  // characters in it
extern int32_t gMouseX, gMouseY, gMouseZ, gMouseButtons, gMouseMoveX, gMouseMoveY;
extern int32_t gMouseClickState;       // 1 left press, 2 right press, 0 released
extern uint32_t gLastFrameTime;        // when the last frame ended
extern uint32_t gScreenSaveRequest;    // save the shown screen at the end of the frame
extern uint8_t gDisplayInvalid;        // the display was inactive or made again

// Runs the program until WM_QUIT is taken.
void RunMainLoop();
win::LRESULT MainWindowProc(win::HWND window, win::UINT message, win::WPARAM wParam, win::LPARAM lParam);
// Called inside long commands: drains the message queue once in 50001 calls.
void PumpMessagesOccasionally();
void ResetMousePosition();
// Waits while Esc, F11 or F12 is down, then drains the message queue.
void WaitForBreakKeysUp();
void RenderFrame();
void FrameUpdate();
// Makes the typed-character buffer: 256 bytes, empty.
void ResetKeyboardBuffer();

// Typed characters for the commands that take typed input one character at a time (line input,
// waiting for a key). gLastKeyChar lasts only until the next message, so a character followed by
// a key release or a mouse move before the next slice would be lost; here each WM_CHAR waits in
// order until a command takes it. Characters that no such command asked for during a slice are
// dropped after it, so that typing from long ago does not answer a later question.
constexpr size_t kTypedCharacterLimit = 256;
// The oldest waiting character, 0 when none waits. Marks the queue as read in this slice.
uint8_t TakeTypedCharacter();
// Marks the queue as read in this slice without taking a character.
void KeepTypedCharacters();
size_t TypedCharacterCount();
void ClearTypedCharacters();
// After each time slice: drops the waiting characters unless a command read the queue.
void EndSliceTypedCharacters();

}  // namespace vx
