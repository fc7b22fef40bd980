// The language core's everyday commands that talk to the screen, the keyboard, the mouse and the
// clock: printing at the print cursor and simple drawing (both only queue draw items for the next
// frame), line input, the typed-character buffer, waits, the timer, mouse values, colour values,
// the refresh mode and ending the program.
// Commands that wait re-run themselves: they put the program counter back on their own command
// word and end the slice, so frames, input and sound go on until they are done.
#include "runtime/core_commands.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "display/draw_queue.h"
#include "display/input_devices.h"
#include "display/mouse_pointer.h"
#include "display/text_fonts.h"
#include "platform/win/files.h"
#include "platform/win/messages.h"
#include "platform/win/modules.h"
#include "platform/win/time.h"
#include "platform/win/window.h"
#include "runtime/dispatcher.h"
#include "runtime/dispatcher_state.h"
#include "runtime/errors.h"
#include "runtime/main_loop.h"
#include "runtime/runtime_state.h"
#include "runtime/strings.h"
#include "system/system_state.h"

namespace vx {

namespace {

constexpr uint8_t kBackspace = 8;
constexpr uint8_t kEnter = 13;

// --- Slices --------------------------------------------------------------------------------------
// Drawing ends the slice only while the frame is refreshed automatically, and drawing into a
// bitmap (gCurrentBitmap not 0) not at all, since it shows nothing; waits, input and questions
// whose answer the frame gives end it always.

// Runs the command again in the next slice. A handler that has not skipped its operands has the
// counter one word past its command word.
void RerunCommand() {
  --Interpreter().gProgramCounter;
  EndSliceAfterCommand(SliceEnd::kAlways);
}

void StoreText(const char* text) { StoreString(SlotOperand(0), text); }

// --- Drawing -------------------------------------------------------------------------------------

// A box ends the slice also when it draws into a bitmap.
void CmdBox() {
  QueueBox(IntOperand(0), IntOperand(1), IntOperand(2), IntOperand(3));
  EndSliceAfterCommand(SliceEnd::kAutoRefresh);
  SkipOperands(4);
}

void CmdCircle() {
  const int32_t r = IntOperand(2);
  QueueEllipse(IntOperand(0), IntOperand(1), r, r);
  EndSliceAfterCommand(SliceEnd::kAutoRefresh, DrawQueue().gCurrentBitmap == 0);
  SkipOperands(3);
}

void CmdEllipse() {
  QueueEllipse(IntOperand(0), IntOperand(1), IntOperand(2), IntOperand(3));
  EndSliceAfterCommand(SliceEnd::kAutoRefresh, DrawQueue().gCurrentBitmap == 0);
  SkipOperands(4);
}

void CmdDot() {
  QueueDot(IntOperand(0), IntOperand(1));
  EndSliceAfterCommand(SliceEnd::kAutoRefresh, DrawQueue().gCurrentBitmap == 0);
  SkipOperands(2);
}

void CmdLine() {
  QueueLine(IntOperand(0), IntOperand(1), IntOperand(2), IntOperand(3));
  EndSliceAfterCommand(SliceEnd::kAutoRefresh, DrawQueue().gCurrentBitmap == 0);
  SkipOperands(4);
}

void CmdInk() {
  QueueInk(IntOperand(0), IntOperand(1));
  SkipOperands(2);
}

void ClearScreenAndCursor() {
  QueueClearScreen();
  Text().gTextCursorX = Text().gTextCursorY = 0;
  EndSliceAfterCommand(SliceEnd::kAutoRefresh, DrawQueue().gCurrentBitmap == 0);
}

void CmdCls() { ClearScreenAndCursor(); }

void CmdClsColour() {
  QueueClearColor(IntOperand(0));
  ClearScreenAndCursor();
  SkipOperands(1);
}

// The executor writes the colour into the result slot when the queue runs; ending the slice makes
// sure that happens before the next command reads it.
void FnPoint() {
  QueueReadPixel(IntOperand(1), IntOperand(2), SlotOperand(0));
  EndSliceAfterCommand(SliceEnd::kAlways);
  SkipOperands(3);
}

void CmdSetCursor() {
  Text().gTextCursorX = IntOperand(0);
  Text().gTextCursorY = IntOperand(1);
  SkipOperands(2);
}

// --- Printing ------------------------------------------------------------------------------------

// A line print ends with the cursor at the start of the next line; an inline print leaves it
// after the text and wraps it when it passes the display's width.
void PrintWorkText(bool inLine) {
  const int32_t flag = inLine ? 1 : 0;
  QueuePrintText(Runtime().gWorkText, &Text().gTextCursorX, &Text().gTextCursorY, flag, 0, flag);
  EndSliceAfterCommand(SliceEnd::kAutoRefresh, DrawQueue().gCurrentBitmap == 0);
}

template <bool kInLine>
void PrintInt() {
  std::snprintf(Runtime().gWorkText, sizeof Runtime().gWorkText, "%d", int(IntOperand(0)));
  PrintWorkText(kInLine);
  SkipOperands(1);
}

template <bool kInLine>
void PrintFloat() {
  std::snprintf(Runtime().gWorkText, sizeof Runtime().gWorkText, "%g", double(FloatOperand(0)));
  PrintWorkText(kInLine);
  SkipOperands(1);
}

template <bool kInLine>
void PrintString() {
  std::snprintf(Runtime().gWorkText, sizeof Runtime().gWorkText, "%s", TextOperand(0));
  PrintWorkText(kInLine);
  SkipOperands(1);
}

void CmdPrintInt() { PrintInt<false>(); }
void CmdPrintFloat() { PrintFloat<false>(); }
void CmdPrintString() { PrintString<false>(); }
void CmdPrintIntInline() { PrintInt<true>(); }
void CmdPrintFloatInline() { PrintFloat<true>(); }
void CmdPrintStringInline() { PrintString<true>(); }

void CmdPrintBlankLine() {
  std::snprintf(Runtime().gWorkText, sizeof Runtime().gWorkText, " ");
  PrintWorkText(false);
}

// --- Line input ----------------------------------------------------------------------------------

void OpenInputLine() {
  Runtime().gInputLineStartX = Text().gTextCursorX;
  Runtime().gInputLineLength = 0;
  Runtime().gInputLine[0] = '\0';
}

void InputLineAddChar(uint8_t key) {
  if (Runtime().gInputLineLength == -1) {
    OpenInputLine();
    QueuePrintText("_", &Text().gTextCursorX, &Text().gTextCursorY, 1, 1, 0);
  }
  if (key == kBackspace) {
    if (Runtime().gInputLineLength > 0) {
      Text().gTextCursorX = Runtime().gInputLineStartX;
      QueueEraseText(Runtime().gInputLine, Text().gTextCursorX,
                     Text().gTextCursorY);  // the line as shown, with its "_"
      --Runtime().gInputLineLength;
    }
  } else if (Runtime().gInputLineLength < kInputLineLimit) {
    Runtime().gInputLine[Runtime().gInputLineLength++] = char(key);
  }
  Runtime().gInputLine[Runtime().gInputLineLength] = '_';
  Runtime().gInputLine[Runtime().gInputLineLength + 1] = '\0';
  Text().gTextCursorX = Runtime().gInputLineStartX;
  QueuePrintText(Runtime().gInputLine, &Text().gTextCursorX, &Text().gTextCursorY, 1, 1, 0);
}

// Enter on a line that no key has opened yet gives an empty answer where the cursor stands.
void InputLineFinish() {
  if (Runtime().gInputLineLength == -1) OpenInputLine();
  Runtime().gInputLine[Runtime().gInputLineLength] = '\0';
  Text().gTextCursorX = Runtime().gInputLineStartX;
  QueuePrintText(std::string(Runtime().gInputLine) + "  ", &Text().gTextCursorX, &Text().gTextCursorY, 0, 1, 0);
  Runtime().gInputLineLength = -1;
}

bool NumberKey(uint8_t key) { return (key >= '0' && key <= '9') || key == '-' || key == '.' || key == kBackspace; }
bool TextKey(uint8_t key) { return (key >= 32 && key <= 127) || key == kBackspace; }

// One typed character per execution; the command re-runs until Enter.
template <char kType>
void LineInput() {
  const uint8_t key = TakeTypedCharacter();
  if (kType == 's' ? TextKey(key) : NumberKey(key)) InputLineAddChar(key);
  if (key == kEnter) {
    InputLineFinish();
    if (kType == 'l') SlotOperand(0)->i = ParseInt(Runtime().gInputLine);
    if (kType == 'f') SlotOperand(0)->f = float(std::strtod(Runtime().gInputLine, nullptr));
    if (kType == 's') StoreText(Runtime().gInputLine);
    Runtime().gInputLine[0] = '\0';
    SkipOperands(1);
  } else {
    RerunCommand();
  }
  Input().gLastKeyChar = 0;
  EndSliceAfterCommand(SliceEnd::kAlways);
}

void CmdInputInt() { LineInput<'l'>(); }
void CmdInputFloat() { LineInput<'f'>(); }
void CmdInputString() { LineInput<'s'>(); }

// --- Keyboard ------------------------------------------------------------------------------------

void FnInkey() {
  if (!Dispatcher().gTimeSliceMode) PumpMessagesOccasionally();
  const char text[2] = {char(Input().gLastKeyChar), '\0'};
  StoreText(text);
  SkipOperands(1);
}

void FnEntryBuffer() {
  if (!Dispatcher().gTimeSliceMode) PumpMessagesOccasionally();
  StoreText(Input().gKeyboardBuffer.empty() ? "" : Input().gKeyboardBuffer.data());
  SkipOperands(1);
}

void CmdClearEntryBuffer() {
  std::fill(Input().gKeyboardBuffer.begin(), Input().gKeyboardBuffer.end(), '\0');
  Input().gKeyboardBufferCount = 0;
}

void FnScanCode() {
  PollInputIfDue();
  const auto down =
      std::find_if(Input().gKeyState.begin(), Input().gKeyState.end(), [](uint8_t state) { return state != 0; });
  SlotOperand(0)->i = down == Input().gKeyState.end() ? 0 : int32_t(down - Input().gKeyState.begin());
  Interpreter().gInputPollDue = 1;
  SkipOperands(1);
}

// A typed character starts the wait's second half, which lasts until the character's momentary
// value has gone, so that the key does not answer the next question too.
void CmdWaitKey() {
  if (Runtime().gWaitKeyState == 0) {
    if (TakeTypedCharacter() != 0) Runtime().gWaitKeyState = 1;
    RerunCommand();
    return;
  }
  KeepTypedCharacters();  // what is typed meanwhile is for the next question
  if (Input().gLastKeyChar == 0)
    Runtime().gWaitKeyState = 0;
  else
    RerunCommand();
}

void CmdWaitMouse() {
  if (Runtime().gWaitMouseState == 0) {
    if (TakeMouseButtons() != 0) Runtime().gWaitMouseState = 1;
    RerunCommand();
    return;
  }
  if (TakeMouseButtons() == 0)
    Runtime().gWaitMouseState = 0;
  else
    RerunCommand();
}

// --- Mouse ---------------------------------------------------------------------------------------

template <int32_t InputState::*kValue>
void FnMouseValue() {
  PollInputIfDue();
  SlotOperand(0)->i = Input().*kValue;
  SkipOperands(1);
}

constexpr CommandHandler FnMouseX = FnMouseValue<&InputState::gMouseX>;
constexpr CommandHandler FnMouseY = FnMouseValue<&InputState::gMouseY>;
constexpr CommandHandler FnMouseZ = FnMouseValue<&InputState::gMouseZ>;
constexpr CommandHandler FnMouseMoveX = FnMouseValue<&InputState::gMouseMoveX>;
constexpr CommandHandler FnMouseMoveY = FnMouseValue<&InputState::gMouseMoveY>;
constexpr CommandHandler FnMouseMoveZ = FnMouseValue<&InputState::gMouseMoveZ>;

void FnMouseButtons() {
  PollInputIfDue();
  SlotOperand(0)->i = int16_t(uint16_t(uint32_t(TakeMouseButtons()) & 0xFFFF));
  SkipOperands(1);
}

int ScreenCoordinate(int64_t value) { return int(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX)); }

// The window commands keep gWindowClientX/Y at the window's frame position plus half the border
// (and the caption), so the client point (x, y) lies at the client origin plus (x, y) on the
// screen, wherever the window stands.
void CmdPositionMouse() {
  Input().gMouseX = IntOperand(0);
  Input().gMouseY = IntOperand(1);
  if (System().gWindowMode == 1)
    win::SetCursorPos(ScreenCoordinate(int64_t(System().gWindowClientX) + Input().gMouseX),
                      ScreenCoordinate(int64_t(System().gWindowClientY) + Input().gMouseY));
  EndSliceAfterCommand(SliceEnd::kAutoRefresh);
  SkipOperands(2);
}

void CmdHideMouse() {
  if (System().gWindowMode == 0) {
    HidePointerSprites();
  } else if (Runtime().gCursorShown == 1) {
    Runtime().gCursorShown = 0;
    win::ShowCursor(0);
    win::SetCapture(Host().gMainWindow);
  }
  EndSliceAfterCommand(SliceEnd::kAutoRefresh);
}

void CmdShowMouse() {
  if (System().gWindowMode == 0) {
    ShowPointerSprites();
  } else if (Runtime().gCursorShown == 0) {
    Runtime().gCursorShown = 1;
    win::ShowCursor(1);
    win::ReleaseCapture();
  }
  EndSliceAfterCommand(SliceEnd::kAlways);
}

// --- Clock, refresh ------------------------------------------------------------------------------

void FnTimer() {
  SlotOperand(0)->i = int32_t(win::timeGetTime());
  SkipOperands(1);
}

// The clock wraps at 32 bits, so the time gone by is measured from the start of the wait rather
// than compared with an end that may lie past the wrap. A negative time waits as 0 does: until the
// clock has moved on.
void CmdWait() {
  const uint32_t now = win::timeGetTime();
  if (Runtime().gWaitUntil == -1.0) {
    Runtime().gWaitStart = now;
    Runtime().gWaitUntil = double(now) + double(std::max(IntOperand(0), 0));
    RerunCommand();
  } else if (double(uint32_t(now - Runtime().gWaitStart)) > Runtime().gWaitUntil - double(Runtime().gWaitStart)) {
    Runtime().gWaitUntil = -1.0;
    SkipOperands(1);
  } else {
    RerunCommand();
  }
  EndSliceAfterCommand(SliceEnd::kAlways);
}

void CmdEndSlice() { EndSliceAfterCommand(SliceEnd::kAlways); }

void CmdManualRefresh() {
  Dispatcher().gTimeSliceMode = 0;
  Interpreter().gAutoRefreshFlag = 0;
  EndSliceAfterCommand(SliceEnd::kAlways);
}

void CmdAutoRefresh() {
  Dispatcher().gTimeSliceMode = 1;
  Interpreter().gAutoRefreshFlag = 1;
  EndSliceAfterCommand(SliceEnd::kAlways);
}

void CmdFrameRate() {
  const int32_t rate = IntOperand(0);
  if (rate < 0 || rate > 1000)
    RaiseRuntimeError(kErrFrameRateOutOfRange);
  else
    Dispatcher().gFrameTime = rate == 0 ? 0 : uint32_t(1000 / rate);
  SkipOperands(1);
}

// --- Colours -------------------------------------------------------------------------------------

// The parts are not masked: a part beyond 255 runs into the next one.
void FnRgb() {
  const uint32_t colour = (uint32_t(IntOperand(1)) << 16) + (uint32_t(IntOperand(2)) << 8) + uint32_t(IntOperand(3));
  SlotOperand(0)->i = int32_t(colour);
  SkipOperands(4);
}

template <int kShift>
void FnRgbPart() {
  SlotOperand(0)->i = int32_t((uint32_t(IntOperand(1)) >> kShift) & 0xFF);
  SkipOperands(2);
}

constexpr CommandHandler FnRgbRed = FnRgbPart<16>;
constexpr CommandHandler FnRgbGreen = FnRgbPart<8>;
constexpr CommandHandler FnRgbBlue = FnRgbPart<0>;

// --- Ending --------------------------------------------------------------------------------------

void CmdQuit() {
  win::PostQuitMessage(0);
  EndSliceAfterCommand(SliceEnd::kAlways);
}

void CmdQuitWithText() {
  CmdQuit();
  SkipOperands(1);
}

// --- Folders -------------------------------------------------------------------------------------

void FnAppFileName() {
  char path[kMaxTextLength + 1] = {};
  win::GetModuleFileNameA(nullptr, path, sizeof path);
  StoreText(path);
  SkipOperands(1);
}

void FnWindowsFolder() {
  char folder[kMaxTextLength + 1] = {};
  if (win::GetWindowsDirectoryA(folder, sizeof folder) >= sizeof folder) folder[0] = '\0';
  StoreText(folder);
  SkipOperands(1);
}

}  // namespace

}  // namespace vx

#include "generated/commands/core_system.inc"
