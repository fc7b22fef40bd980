// Main loop: one window message per turn, or the frame preparation, a time slice and the
// end-of-frame work; the window procedure keeps focus, geometry, mouse and typed characters.
#include "runtime/main_loop.h"

#include <array>
#include <cstring>

#include "display/display.h"
#include "display/draw_queue.h"
#include "display/input_devices.h"
#include "display/mouse_pointer.h"
#include "display/video_playback.h"
#include "engine3d/object_records.h"
#include "platform/win/keyboard.h"
#include "platform/win/messages.h"
#include "platform/win/time.h"
#include "platform/win/window.h"
#include "runtime/dispatcher.h"
#include "runtime/dispatcher_state.h"
#include "runtime/errors.h"
#include "runtime/run_setup.h"
#include "runtime/runtime_state.h"
#include "runtime/subsystem_hooks.h"
#include "sound/sound_system.h"
#include "surfaces/surface_primitives.h"
#include "system/system_state.h"

namespace vx {

namespace {

constexpr int32_t kPumpInterval = 50000;
constexpr uint32_t kQuitLookInterval = 5;  // ms between looks for a quit inside a slice

void QueueTypedCharacter(uint8_t c) {
  if (c == 0 || Runtime().gTypedCount == Runtime().gTypedRing.size()) return;  // when full the newest is dropped
  Runtime().gTypedRing[(Runtime().gTypedFirst + Runtime().gTypedCount) % Runtime().gTypedRing.size()] = c;
  ++Runtime().gTypedCount;
}

// Takes every waiting message. Returns true when a WM_QUIT was among them; it is dispatched
// (and so dropped) only when dropQuit is set.
bool DrainMessages(bool dropQuit) {
  win::MSG msg{};
  while (win::PeekMessageA(&msg, nullptr, 0, 0, win::PM_REMOVE)) {
    if (msg.message == win::WM_QUIT && !dropQuit) {
      win::PostQuitMessage(int(msg.wParam));  // kept for the main loop, which ends on it
      return true;
    }
    win::TranslateMessage(&msg);
    win::DispatchMessageA(&msg);
  }
  return false;
}

void AppendTypedCharacter(char c) {
  if (Input().gKeyboardBuffer.empty()) return;
  if (Input().gKeyboardBufferCount > Input().gKeyboardBuffer.size() - 5) {
    std::vector<char> bigger(Input().gKeyboardBuffer.size() * 2, '\0');
    std::memcpy(bigger.data(), Input().gKeyboardBuffer.data(), Input().gKeyboardBufferCount + 1);
    Input().gKeyboardBuffer.swap(bigger);
  }
  Input().gKeyboardBuffer[Input().gKeyboardBufferCount++] = c;
  Input().gKeyboardBuffer[Input().gKeyboardBufferCount] = '\0';
}

int16_t LowSigned(win::LPARAM v) { return int16_t(uint16_t(uintptr_t(v) & 0xFFFF)); }
int16_t HighSigned(win::LPARAM v) { return int16_t(uint16_t((uintptr_t(v) >> 16) & 0xFFFF)); }

// One turn of the main loop; false once it takes the quit message.
bool RunTurn() {
  RefreshInputState();
  win::MSG msg{};
  if (win::PeekMessageA(&msg, nullptr, 0, 0, win::PM_REMOVE)) {
    if (msg.message == win::WM_QUIT) return false;
    win::TranslateMessage(&msg);
    win::DispatchMessageA(&msg);
    return true;
  }
  if (!Host().gAppActive) win::Sleep(100);
  RunFrame();
  return true;
}

// What the error box will show.
struct RunError {
  int32_t code;
  uint8_t warning;
  uint32_t line;
  std::string file;
  std::array<char, sizeof Runtime().gLastEngineError> engineMessage;

  static RunError Now() {
    RunError error{Interpreter().gErrorCode,
                   Interpreter().gErrorWarningFlag,
                   Runtime().gErrorLine,
                   Runtime().gErrorFile,
                   {}};
    std::memcpy(error.engineMessage.data(), Runtime().gLastEngineError, error.engineMessage.size());
    return error;
  }
  void Restore() const {
    Interpreter().gErrorCode = code;
    Interpreter().gErrorWarningFlag = warning;
    Runtime().gErrorLine = line;
    Runtime().gErrorFile = file;
    std::memcpy(Runtime().gLastEngineError, engineMessage.data(), engineMessage.size());
  }
};

// The frame preparation that would have performed what the program queued last never comes: it is
// performed now, so that no file the program asked to write is lost, however the run ended. An
// error it raises is shown only when the run ended without one.
void FinishQueuedWork() {
  const RunError ended = RunError::Now();
  RunCatchingExceptions(DrawQueueExecute);
  if (ended.code != 0) ended.Restore();
}

}  // namespace

void RunFrame() {
  RenderFrame();
  ExecuteTimeSlice();
  EndSliceTypedCharacters();
  FrameUpdate();
}

uint8_t TakeTypedCharacter() {
  Runtime().gTypedRead = true;
  if (Runtime().gTypedCount == 0) return 0;
  const uint8_t c = Runtime().gTypedRing[Runtime().gTypedFirst];
  Runtime().gTypedFirst = (Runtime().gTypedFirst + 1) % Runtime().gTypedRing.size();
  --Runtime().gTypedCount;
  return c;
}

void KeepTypedCharacters() { Runtime().gTypedRead = true; }

size_t TypedCharacterCount() { return Runtime().gTypedCount; }

void ClearTypedCharacters() {
  Runtime().gTypedFirst = Runtime().gTypedCount = 0;
  Runtime().gTypedRead = false;
}

void EndSliceTypedCharacters() {
  if (!Runtime().gTypedRead) Runtime().gTypedFirst = Runtime().gTypedCount = 0;
  Runtime().gTypedRead = false;
}

void DrainMessagesOccasionally() {
  if (++Dispatcher().gPumpCallCount > kPumpInterval) {
    Dispatcher().gPumpCallCount = 0;
    DrainMessages(false);
  }
}

bool QuitRequestWaiting() {
  const uint32_t now = win::timeGetTime();
  if (now - Runtime().gLastQuitLook < kQuitLookInterval) return false;
  Runtime().gLastQuitLook = now;
  win::MSG msg{};
  // A signal arrives as a close; WM_QUIT passes every filter.
  if (win::PeekMessageA(&msg, nullptr, win::WM_CLOSE, win::WM_CLOSE, win::PM_NOREMOVE)) return true;
  return System().gEscapeEnabled == 1 && win::MessageWaiting(win::WM_KEYDOWN, win::WPARAM(win::VK_ESCAPE));
}

void WaitForBreakKeysUp(bool keepQuit) {
  for (int key : {win::VK_ESCAPE, win::VK_F11, win::VK_F12})
    while (win::GetAsyncKeyState(key) != 0) {
    }
  DrainMessages(!keepQuit);
}

void RunMainLoop() {
  BeginProgramRun();
  ResetMousePosition();
  DrainMessagesOccasionally();
  // A close, a signal or Esc during the start-up still ends the run.
  WaitForBreakKeysUp(true);
  Input().gLastKeyChar = 0;
  // An exception outside the commands (the frame's steps, a window message) ends the run as one
  // inside them does: with its error box and the whole clean-up.
  for (bool running = true; running;) {
    try {
      running = RunTurn();
    } catch (...) {
      RaiseErrorOfCaughtException();
      running = false;
    }
  }
  FinishQueuedWork();
  WaitForBreakKeysUp(false);
}

void RenderFrame() {
  if (!Host().gAppActive) {
    if (System().gChildProcess) CloseEndedChildProcess();
    Display().gDisplayInvalid = 1;
    if (!Display().gFullScreen || !RestorePrimarySurface()) return;
    Host().gAppActive = 1;
  }
  UpdatePointerSprites();
  KeepPreviousPositions();
  if (Display().gRenderEnabled == 1) ClearZBuffer();
  RestoreSpriteBackgrounds();
  DrawBackdropPlane();
  if (Interpreter().gDrawSceneAtFrameUpdate != 1) RenderSceneIfReady();
  DrawQueueExecute();
}

void FrameUpdate() {
  if (Host().gAppActive != 1) return;
  AgeImagesAndTextures();
  if (win::QuitMessagePending()) {
    // The run ends at the next turn: its last frame is shown at once, without waiting out the frame.
  } else if (Dispatcher().gFrameTime < 1) {
    while (win::timeGetTime() == Runtime().gLastFrameTime) {
    }
  } else {
    // The rest of the frame is slept, not spun: a message that comes meanwhile waits for the next
    // turn either way. A sleep of the whole milliseconds left ends in the tick that is due.
    for (uint32_t gone; (gone = win::timeGetTime() - Runtime().gLastFrameTime) < Dispatcher().gFrameTime;)
      win::SleepOnClock(Dispatcher().gFrameTime - gone);
  }
  Runtime().gLastFrameTime = win::timeGetTime();
  UpdateAnimations();
  SaveSpriteBackgrounds();
  if (Interpreter().gDrawSceneAtFrameUpdate == 1) RenderSceneIfReady();
  DrawSpriteLayers();
  SoundStubTrue();
  UpdateSound3D();
  UpdateMusic();
  AdvanceAnimations();
  PresentFrame();
  // The request waits while nothing is drawn, so that the file holds a picture of the program.
  if (Display().gScreenSaveRequest == 1 && Display().gRenderEnabled == 1) {
    Display().gScreenSaveRequest = 0;
    if (!SaveScreenshot()) RaiseRuntimeError(kErrBitmapNotSaved);
  }
  Input().gMouseMoveX = 0;
  Input().gMouseMoveY = 0;
  Input().gMouseMoveZ = 0;  // the wheel movement is a frame's movement like the others
}

win::LRESULT MainWindowProc(win::HWND window, win::UINT message, win::WPARAM wParam, win::LPARAM lParam) {
  Input().gLastKeyChar = 0;
  switch (message) {
    case win::WM_DESTROY: win::PostQuitMessage(0); break;
    case win::WM_MOVE:
      System().gWindowClientX = LowSigned(lParam);
      System().gWindowClientY = HighSigned(lParam);
      PresentFrame();
      break;
    case win::WM_SIZE:
      System().gWindowWidth = int32_t(uintptr_t(lParam) & 0xFFFF);
      System().gWindowHeight = int32_t((uintptr_t(lParam) >> 16) & 0xFFFF);
      PresentFrame();
      break;
    case win::WM_ACTIVATE:
      if ((wParam & 0xFFFF) != 0) {
        win::ShowWindow(window, win::SW_RESTORE);
        if (!System().gAlwaysActive) {
          ResumeMediaOnActivate();
          Host().gAppActive = 1;
        }
        Display().gRenderEnabled = 1;
        Input().gHasFocus = 1;
      } else {
        if (System().gWindowMode == 0) {
          if (!System().gAlwaysActive) {
            PauseMediaOnDeactivate();
            Host().gAppActive = 0;
          }
          Display().gRenderEnabled = System().gAlwaysActive ? 0 : 1;
        } else {
          Display().gRenderEnabled = 1;
        }
        Input().gHasFocus = 0;
      }
      break;
    case win::WM_SETCURSOR: return 1;
    case win::WM_SYSCOMMAND:
      if (Host().gAppActive == 1 && System().gWindowMode == 0 && (wParam & 0xFFF0) != win::SC_CLOSE) return 1;
      break;
    case win::WM_KEYDOWN:
      if (wParam == win::WPARAM(win::VK_ESCAPE) && System().gEscapeEnabled == 1) win::PostQuitMessage(0);
      break;
    case win::WM_CHAR:
      Input().gLastKeyChar = uint8_t(wParam);
      QueueTypedCharacter(Input().gLastKeyChar);
      AppendTypedCharacter(char(wParam));
      break;
    case win::WM_MOUSEMOVE:
      if (!Pointer().gPointerSpritesOn && System().gWindowMode == 1) {
        Input().gMouseX = int32_t(uintptr_t(lParam) & 0xFFFF) - Display().gPresentOffsetX + System().gWindowClientX;
        Input().gMouseY =
            int32_t((uintptr_t(lParam) >> 16) & 0xFFFF) - Display().gPresentOffsetY + System().gWindowClientY;
      }
      break;
    case win::WM_LBUTTONDOWN:
    case win::WM_RBUTTONDOWN: {
      const int32_t button = message == win::WM_LBUTTONDOWN ? 1 : 2;
      Input().gMouseClickState = button;
      if (!Pointer().gPointerSpritesOn && System().gWindowMode == 1) {
        Input().gMouseButtons = button;
        Input().gMouseButtonPresses |= button;
      }
      break;
    }
    case win::WM_LBUTTONUP:
    case win::WM_RBUTTONUP:
      Input().gMouseClickState = 0;
      if (!Pointer().gPointerSpritesOn && System().gWindowMode == 1) Input().gMouseButtons = 0;
      break;
    default: break;
  }
  return win::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace vx
