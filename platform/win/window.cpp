// Window classes and windows over SDL2. A process has at most one real SDL window; without a
// display every window is virtual: it keeps its geometry, gets its messages and has the focus as
// soon as it is shown. SDL's event queue is read here only, and its events become window messages.
//
// Typed characters: SDL reports text apart from keys, so WM_CHAR comes from SDL's text events
// (mapped to code page 1252) and, for the control characters a keyboard types (Backspace, Tab,
// Enter, Esc), from the key-down itself. TranslateMessage therefore has nothing left to post.
//
// Windows are made, used and destroyed on one thread; only posting is shared with other threads.
#include "platform/win/window.h"

#include <SDL.h>

#include <cstdlib>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/win/code_page.h"
#include "platform/win/display_loss.h"
#include "platform/win/keyboard.h"
#include "platform/win/message_box.h"
#include "platform/win/messages.h"
#include "platform/win/quit_signals.h"
#include "platform/win/sdl_keys.h"
#include "platform/win/utf8.h"

namespace vx::win {

struct WindowObject {
  std::string classKey;  // lower-case class name
  WNDPROC procedure = nullptr;
  std::string title;
  DWORD style = 0;
  // The client area; also what the procedure was last told, so SDL's echo of a change made
  // here is not reported twice.
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool visible = false;
  bool destroying = false;
  SDL_Window* native = nullptr;
};

namespace {

constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr WPARAM MK_MBUTTON = 0x0010;
constexpr int kHeadlessScreenWidth = 640;
constexpr int kHeadlessScreenHeight = 480;

struct WindowClass {
  std::string key;  // lower-case: class names match without regard to case
  WNDPROC procedure;
  UINT style;
  int iconResource;
};

// Unavailable: a display was named but could not be opened; no window can be made.
enum class Video { Unknown, Display, Headless, Unavailable };

std::vector<WindowClass> gClasses;
std::vector<std::unique_ptr<WindowObject>> gWindows;  // oldest first
Video gVideo = Video::Unknown;
std::string gVideoFailure;   // why the named display could not be opened
int gVideoOpenFailures = 0;  // fault injection: attempts still to fail
bool gCreationFails = false;
int gCursorCount = 0;         // shown while 0 or more
POINT gCursorPosition{0, 0};  // headless: where SetCursorPos put the cursor
HWND gCapture = nullptr;
std::vector<PlatformEventListener> gListeners;
std::atomic<std::thread::id> gEventThread{};
bool gPumping = false;

// --- Windows and classes ----------------------------------------------------------------------

std::string Lower(const char* text) {
  std::string out = text;
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

WindowClass* FindClass(const char* name) {
  if (!name) return nullptr;
  const std::string key = Lower(name);
  const auto found = std::find_if(gClasses.begin(), gClasses.end(), [&](const WindowClass& c) { return c.key == key; });
  return found == gClasses.end() ? nullptr : &*found;
}

WindowObject* Live(HWND window) {
  if (!window) return nullptr;
  const auto found = std::find_if(gWindows.begin(), gWindows.end(), [&](const auto& w) { return w.get() == window; });
  return found == gWindows.end() ? nullptr : found->get();
}

// The window that platform events are for: the one with the SDL window, else the oldest.
WindowObject* EventTarget() {
  WindowObject* target = nullptr;
  for (const auto& window : gWindows) {
    if (window->destroying) continue;
    if (window->native) return window.get();
    if (!target) target = window.get();
  }
  return target;
}

bool IsVirtualDriver(const char* driver) {
  const std::string_view name = driver ? driver : "";
  return name == "dummy" || name == "offscreen" || name == "evdev";
}

// The display the environment names, or empty when it names none and the program runs headless:
// DISPLAY or WAYLAND_DISPLAY, else a real driver set for SDL. A virtual driver set for SDL names
// none, whatever else is set.
std::string NamedDisplay() {
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  const std::string_view drivers = driver ? driver : "";
  if (IsVirtualDriver(std::string(drivers.substr(0, drivers.find(','))).c_str())) return {};
  for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY"})
    if (const char* name = std::getenv(variable); name && *name) return name;
  return std::string(drivers);
}

std::string DriversFor(const std::string& named) {
  if (named.empty()) return "offscreen,dummy";
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (x && *x && wayland && *wayland) return "x11,wayland";
  return x && *x ? "x11" : "wayland";
}

// A busy X server may refuse a connection for a moment (EAGAIN): a failed start is tried again.
bool StartVideo() {
  constexpr int kAttempts = 5;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (attempt > 0) SDL_Delay(50u << attempt);
    if (gVideoOpenFailures > 0) {
      --gVideoOpenFailures;
      SDL_SetError("the connection was refused (injected)");
      continue;
    }
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
  }
  return false;
}

Video ProbeVideo() {
  if (gVideo != Video::Unknown) return gVideo;
  gVideo = Video::Headless;
  // Closing the window is reported as WM_CLOSE already; a second report as SDL_QUIT would
  // close twice.
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  // As on Windows, the click that gives a window the focus reaches it too: SDL otherwise drops a
  // click that it handles within a few milliseconds of the focus, which a busy program does.
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  const std::string named = NamedDisplay();
  // Without an X or Wayland display there is nothing to probe: go straight to the offscreen
  // driver instead of letting the display libraries complain on standard error. With one, only
  // its own drivers: SDL would otherwise fall back to the offscreen one when it cannot connect.
  if (!std::getenv("SDL_VIDEODRIVER")) SDL_SetHint(SDL_HINT_VIDEODRIVER, DriversFor(named).c_str());
  if (!named.empty()) EndWhenDisplayIsLost();
  if (!SDL_WasInit(SDL_INIT_VIDEO) && !StartVideo()) {
    // A display that was asked for and cannot be had is an error, never a run nobody sees.
    if (!named.empty()) {
      gVideo = Video::Unavailable;
      gVideoFailure = "The display " + named + " could not be opened: " + SDL_GetError();
    }
    return gVideo;
  }
  if (!IsVirtualDriver(SDL_GetCurrentVideoDriver()) && SDL_GetNumVideoDisplays() > 0) gVideo = Video::Display;
  return gVideo;
}

LPARAM MakeLParam(int low, int high) {
  const uint32_t packed = (static_cast<uint32_t>(low) & 0xFFFFu) | ((static_cast<uint32_t>(high) & 0xFFFFu) << 16);
  return static_cast<LPARAM>(packed);
}

void SendSize(HWND hwnd) {
  if (const WindowObject* window = Live(hwnd)) {
    SendMessageA(hwnd, WM_SIZE, SIZE_RESTORED, MakeLParam(window->width, window->height));
  }
}

void SendMove(HWND hwnd) {
  if (const WindowObject* window = Live(hwnd)) SendMessageA(hwnd, WM_MOVE, 0, MakeLParam(window->x, window->y));
}

// The client area of a window rectangle under a style.
void PlaceClientArea(WindowObject& window, int x, int y, int width, int height) {
  const bool framed = (window.style & WS_CAPTION) == WS_CAPTION;
  const int side = framed ? kFrameBorder : 0;
  const int top = framed ? kFrameBorder + kFrameCaption : 0;
  window.x = x + side;
  window.y = y + top;
  window.width = std::max(width - 2 * side, 0);
  window.height = std::max(height - side - top, 0);
}

Uint32 NativeFlagsOf(DWORD style) {
  Uint32 flags = 0;
  if ((style & WS_CAPTION) != WS_CAPTION) flags |= SDL_WINDOW_BORDERLESS;
  if (style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
  return flags;
}

void ApplyCursor() {
  if (gVideo == Video::Display) SDL_ShowCursor(gCursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
}

// --- Events -----------------------------------------------------------------------------------

// Key messages carry the side-less modifier, as Windows reports it.
WPARAM MessageKey(int virtualKey) {
  if (virtualKey >= VK_LSHIFT && virtualKey <= VK_RMENU) {
    constexpr int kSideless[] = {VK_SHIFT, VK_CONTROL, VK_MENU};
    return static_cast<WPARAM>(kSideless[(virtualKey - VK_LSHIFT) / 2]);
  }
  return static_cast<WPARAM>(virtualKey);
}

// Repeat count 1; bit 30 the previous state (down for a repeat or a release); bit 31 a release.
LPARAM KeyParam(bool down, bool repeat) {
  uint32_t bits = 1;
  if (!down || repeat) bits |= 1u << 30;
  if (!down) bits |= 1u << 31;
  return static_cast<LPARAM>(bits);
}

WPARAM MouseKeyFlags() {
  WPARAM flags = 0;
  if (KeyIsDown(VK_LBUTTON)) flags |= MK_LBUTTON;
  if (KeyIsDown(VK_RBUTTON)) flags |= MK_RBUTTON;
  if (KeyIsDown(VK_MBUTTON)) flags |= MK_MBUTTON;
  if (KeyIsDown(VK_SHIFT)) flags |= MK_SHIFT;
  if (KeyIsDown(VK_CONTROL)) flags |= MK_CONTROL;
  return flags;
}

// Events of another SDL window than ours are not for the target.
bool ForTarget(const WindowObject* target, Uint32 windowId) {
  return target && (!target->native || windowId == 0 || windowId == SDL_GetWindowID(target->native));
}

void TranslateKey(const SDL_KeyboardEvent& event, WindowObject* target) {
  const bool down = event.type == SDL_KEYDOWN;
  const int virtualKey = VirtualKeyOf(event.keysym);
  if (virtualKey == 0) return;
  SetKeyDown(virtualKey, down);
  if (!ForTarget(target, event.windowID)) return;
  PostMessageA(target, down ? WM_KEYDOWN : WM_KEYUP, MessageKey(virtualKey), KeyParam(down, event.repeat != 0));
  // SDL's text events leave out the control characters these keys type.
  if (down && (virtualKey == VK_BACK || virtualKey == VK_TAB || virtualKey == VK_RETURN || virtualKey == VK_ESCAPE)) {
    PostMessageA(target, WM_CHAR, static_cast<WPARAM>(virtualKey), KeyParam(true, event.repeat != 0));
  }
}

void TranslateText(const SDL_TextInputEvent& event, WindowObject* target) {
  if (!ForTarget(target, event.windowID)) return;
  const std::string_view text(event.text, strnlen(event.text, sizeof event.text));
  size_t pos = 0;
  uint32_t codePoint = 0;
  while (pos < text.size()) {
    if (!NextCodePoint(text, pos, codePoint)) continue;
    // Control characters (C0, DEL, C1) come from the keys themselves, not from typed text.
    if (codePoint < 0x20 || (codePoint >= 0x7F && codePoint < 0xA0)) continue;
    const int byte = Cp1252FromCodePoint(codePoint);
    if (byte < 0) continue;  // not in the page
    PostMessageA(target, WM_CHAR, static_cast<WPARAM>(byte), KeyParam(true, false));
  }
}

void TranslateButton(const SDL_MouseButtonEvent& event, WindowObject* target) {
  const bool down = event.type == SDL_MOUSEBUTTONDOWN;
  const bool left = event.button == SDL_BUTTON_LEFT;
  const bool right = event.button == SDL_BUTTON_RIGHT;
  if (!left && !right && event.button != SDL_BUTTON_MIDDLE) return;
  const int virtualKey = left ? VK_LBUTTON : right ? VK_RBUTTON : VK_MBUTTON;
  UINT message = 0;  // the middle button has no message here
  if (left) message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
  if (right) message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
  SetKeyDown(virtualKey, down);
  if (message && ForTarget(target, event.windowID)) {
    PostMessageA(target, message, MouseKeyFlags(), MakeLParam(event.x, event.y));
  }
}

void TranslateWindowEvent(const SDL_WindowEvent& event, WindowObject* target) {
  if (event.event == SDL_WINDOWEVENT_FOCUS_LOST) ClearKeyStates();  // key releases will not arrive
  if (!ForTarget(target, event.windowID)) return;
  switch (event.event) {
    case SDL_WINDOWEVENT_FOCUS_GAINED: PostMessageA(target, WM_ACTIVATE, WA_ACTIVE, 0); break;
    case SDL_WINDOWEVENT_FOCUS_LOST: PostMessageA(target, WM_ACTIVATE, WA_INACTIVE, 0); break;
    case SDL_WINDOWEVENT_MOVED:
      if (event.data1 == target->x && event.data2 == target->y) break;
      target->x = event.data1;
      target->y = event.data2;
      PostMessageA(target, WM_MOVE, 0, MakeLParam(target->x, target->y));
      break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
      if (event.data1 == target->width && event.data2 == target->height) break;
      target->width = event.data1;
      target->height = event.data2;
      PostMessageA(target, WM_SIZE, SIZE_RESTORED, MakeLParam(target->width, target->height));
      break;
    case SDL_WINDOWEVENT_EXPOSED: PostMessageA(target, WM_PAINT, 0, 0); break;
    case SDL_WINDOWEVENT_CLOSE: PostMessageA(target, WM_CLOSE, 0, 0); break;
    default: break;
  }
}

// With no window to close, the request still ends the message loop.
void RequestQuit(WindowObject* target) {
  if (target) {
    PostMessageA(target, WM_CLOSE, 0, 0);
  } else {
    PostQuitMessage(0);
  }
}

void Translate(const SDL_Event& event) {
  WindowObject* target = EventTarget();
  switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: TranslateKey(event.key, target); break;
    case SDL_TEXTINPUT: TranslateText(event.text, target); break;
    case SDL_MOUSEMOTION:
      if (ForTarget(target, event.motion.windowID)) {
        PostMessageA(target, WM_MOUSEMOVE, MouseKeyFlags(), MakeLParam(event.motion.x, event.motion.y));
      }
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: TranslateButton(event.button, target); break;
    case SDL_WINDOWEVENT: TranslateWindowEvent(event.window, target); break;
    case SDL_QUIT: RequestQuit(target); break;
    default: break;
  }
}

bool OnEventThread() {
  const std::thread::id self = std::this_thread::get_id();
  std::thread::id owner{};
  return gEventThread.compare_exchange_strong(owner, self) || owner == self;
}

}  // namespace

// --- Classes and windows ----------------------------------------------------------------------

BOOL RegisterClassA(const WNDCLASSA* windowClass) {
  if (!windowClass || !windowClass->lpfnWndProc || !windowClass->lpszClassName || !*windowClass->lpszClassName) {
    return FALSE_;
  }
  if (FindClass(windowClass->lpszClassName)) return FALSE_;
  gClasses.push_back(WindowClass{Lower(windowClass->lpszClassName), windowClass->lpfnWndProc, windowClass->style,
                                 windowClass->iconResource});
  return TRUE_;
}

BOOL UnregisterClassA(const char* className) {
  const WindowClass* found = FindClass(className);
  if (!found) return FALSE_;
  const bool inUse =
      std::any_of(gWindows.begin(), gWindows.end(), [&](const auto& w) { return w->classKey == found->key; });
  if (inUse) return FALSE_;
  gClasses.erase(gClasses.begin() + (found - gClasses.data()));
  return TRUE_;
}

HWND CreateWindowExA(DWORD exStyle, const char* className, const char* title, DWORD style, int x, int y, int width,
                     int height, HWND parent, HINSTANCE instance) {
  if (gCreationFails) return nullptr;
  const WindowClass* windowClass = FindClass(className);
  if (!windowClass) return nullptr;
  auto window = std::make_unique<WindowObject>();
  window->classKey = windowClass->key;
  window->procedure = windowClass->procedure;
  window->title = title ? title : "";
  window->style = style;
  PlaceClientArea(*window, x, y, width, height);

  const bool nativeTaken = std::any_of(gWindows.begin(), gWindows.end(), [](const auto& w) { return w->native; });
  if (ProbeVideo() == Video::Unavailable) return nullptr;
  if (ProbeVideo() == Video::Display && !nativeTaken) {
    window->native = SDL_CreateWindow(ToUtf8(title).c_str(), window->x, window->y, std::max(window->width, 1),
                                      std::max(window->height, 1), SDL_WINDOW_HIDDEN | NativeFlagsOf(style));
    if (!window->native) return nullptr;
    if (!SDL_IsTextInputActive()) SDL_StartTextInput();
    ApplyCursor();
  }
  gWindows.push_back(std::move(window));
  return gWindows.back().get();
}

BOOL DestroyWindow(HWND hwnd) {
  WindowObject* window = Live(hwnd);
  if (!window || window->destroying) return FALSE_;
  window->destroying = true;
  SendMessageA(hwnd, WM_DESTROY, 0, 0);
  // The procedure may have destroyed other windows meanwhile; find this one again.
  const auto found = std::find_if(gWindows.begin(), gWindows.end(), [&](const auto& w) { return w.get() == hwnd; });
  if (found == gWindows.end()) return TRUE_;
  if (found->get()->native) SDL_DestroyWindow(found->get()->native);
  if (gCapture == hwnd) ReleaseCapture();
  gWindows.erase(found);
  RemoveWindowMessages(hwnd);
  return TRUE_;
}

BOOL ShowWindow(HWND hwnd, int command) {
  WindowObject* window = Live(hwnd);
  if (!window) return FALSE_;
  const BOOL wasVisible = window->visible ? TRUE_ : FALSE_;
  if (command == SW_HIDE) {
    if (window->native) SDL_HideWindow(window->native);
    window->visible = false;
    return wasVisible;
  }
  if (window->native) {
    if (SDL_GetWindowFlags(window->native) & SDL_WINDOW_MINIMIZED) SDL_RestoreWindow(window->native);
    SDL_ShowWindow(window->native);
  }
  if (wasVisible) return wasVisible;
  // Only the first showing reports: the activation handler may call ShowWindow again.
  window->visible = true;
  SendSize(hwnd);
  SendMove(hwnd);
  if (Live(hwnd)) SendMessageA(hwnd, WM_ACTIVATE, WA_ACTIVE, 0);
  return wasVisible;
}

BOOL SetWindowTextA(HWND hwnd, const char* text) {
  WindowObject* window = Live(hwnd);
  if (!window) return FALSE_;
  window->title = text ? text : "";
  if (window->native) SDL_SetWindowTitle(window->native, ToUtf8(text).c_str());
  return TRUE_;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
  WindowObject* window = Live(hwnd);
  if (!window) return FALSE_;
  const int oldX = window->x, oldY = window->y, oldWidth = window->width, oldHeight = window->height;
  PlaceClientArea(*window, x, y, width, height);
  const bool moved = window->x != oldX || window->y != oldY;
  const bool sized = window->width != oldWidth || window->height != oldHeight;
  if (window->native) {
    SDL_SetWindowPosition(window->native, window->x, window->y);
    SDL_SetWindowSize(window->native, std::max(window->width, 1), std::max(window->height, 1));
  }
  if (moved) SendMove(hwnd);
  if (sized) SendSize(hwnd);
  return TRUE_;
}

LONG SetWindowLongA(HWND hwnd, int index, LONG value) {
  WindowObject* window = Live(hwnd);
  if (!window || index != GWL_STYLE) return 0;
  const DWORD previous = window->style;
  window->style = static_cast<DWORD>(value);
  if (window->native) {
    const Uint32 flags = NativeFlagsOf(window->style);
    SDL_SetWindowBordered(window->native, (flags & SDL_WINDOW_BORDERLESS) ? SDL_FALSE : SDL_TRUE);
    SDL_SetWindowResizable(window->native, (flags & SDL_WINDOW_RESIZABLE) ? SDL_TRUE : SDL_FALSE);
  }
  return static_cast<LONG>(previous);
}

LONG GetWindowLongA(HWND hwnd, int index) {
  const WindowObject* window = Live(hwnd);
  return window && index == GWL_STYLE ? static_cast<LONG>(window->style) : 0;
}

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    DestroyWindow(hwnd);
  } else if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) {
    SendMessageA(hwnd, WM_CLOSE, 0, 0);
  }
  return 0;
}

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const WindowObject* window = Live(hwnd);
  if (!window) return 0;
  return window->procedure(hwnd, message, wParam, lParam);
}

LRESULT DispatchMessageA(const MSG* msg) {
  if (!msg || !msg->hwnd) return 0;
  return SendMessageA(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL TranslateMessage(const MSG* msg) {
  return msg && (msg->message == WM_KEYDOWN || msg->message == WM_KEYUP) ? TRUE_ : FALSE_;
}

bool IsHeadless() { return ProbeVideo() != Video::Display; }

std::string DisplayFailure() { return ProbeVideo() == Video::Unavailable ? gVideoFailure : std::string(); }

void* NativeWindowOf(HWND hwnd) {
  const WindowObject* window = Live(hwnd);
  return window ? window->native : nullptr;
}

// --- Boxes, cursor, system --------------------------------------------------------------------

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
  std::string line = caption && *caption ? std::string(caption) + ": " : std::string();
  line += text ? text : "";
  std::erase(line, '\r');  // reports break lines with CR LF; one LF per line reads right everywhere
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  // Windows titles a box without a caption "Error".
  // A process asked to end by a signal waits for no answer.
  if (ProbeVideo() == Video::Display && !QuitSignalled())
    ShowMessageBoxWindow(text ? text : "", ToUtf8(caption ? caption : "Error"), (type & 0xF0) == MB_ICONSTOP);
  return IDOK;
}

int ShowCursor(BOOL show) {
  gCursorCount += show ? 1 : -1;
  ApplyCursor();
  return gCursorCount;
}

BOOL SetCursorPos(int x, int y) {
  gCursorPosition = {x, y};
  if (ProbeVideo() == Video::Display) SDL_WarpMouseGlobal(x, y);
  return TRUE_;
}

BOOL GetCursorPos(POINT* out) {
  if (!out) return FALSE_;
  if (ProbeVideo() == Video::Display) {
    int x = 0, y = 0;
    // Over a window of ours the place comes from that window's own motion events: X11's global
    // state is queried again only after some events and may lag behind the pointer.
    if (SDL_Window* over = SDL_GetMouseFocus()) {
      int left = 0, top = 0;
      SDL_GetMouseState(&x, &y);
      SDL_GetWindowPosition(over, &left, &top);
      x += left;
      y += top;
    } else {
      SDL_GetGlobalMouseState(&x, &y);
    }
    gCursorPosition = {x, y};
  }
  *out = gCursorPosition;
  return TRUE_;
}

HWND SetCapture(HWND hwnd) {
  const HWND previous = gCapture;
  gCapture = Live(hwnd) ? hwnd : nullptr;
  // SDL captures for whichever of its windows has the focus, which is ours.
  if (gCapture && gCapture->native) SDL_CaptureMouse(SDL_TRUE);
  return previous;
}

BOOL ReleaseCapture() {
  if (gCapture && gCapture->native) SDL_CaptureMouse(SDL_FALSE);
  gCapture = nullptr;
  return TRUE_;
}

HWND GetCapture() { return Live(gCapture) ? gCapture : nullptr; }

BOOL SystemParametersInfoA(UINT action, UINT param, void* value, UINT winIni) {
  // The screen-saver switch only kept the system keys from leaving a full-screen program on old
  // systems; here it has nothing to do.
  return action == SPI_SETSCREENSAVERRUNNING ? TRUE_ : FALSE_;
}

int GetSystemMetrics(int index) {
  if (index != SM_CXSCREEN && index != SM_CYSCREEN) return 0;
  SDL_DisplayMode mode{};
  if (ProbeVideo() == Video::Display && SDL_GetDesktopDisplayMode(0, &mode) == 0) {
    return index == SM_CXSCREEN ? mode.w : mode.h;
  }
  return index == SM_CXSCREEN ? kHeadlessScreenWidth : kHeadlessScreenHeight;
}

// --- Events -----------------------------------------------------------------------------------

void PumpPlatformEvents() {
  if (gPumping || !OnEventThread()) return;
  if (TakeQuitSignals() > 0) RequestQuit(EventTarget());
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
  gPumping = true;  // a listener that peeks must not read events out of order
  SDL_PumpEvents();
  SDL_Event events[16];
  for (;;) {
    const int count = SDL_PeepEvents(events, 16, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
    if (count <= 0) break;
    const std::vector<PlatformEventListener> listeners = gListeners;  // a listener may remove itself
    for (int i = 0; i < count; ++i) {
      for (const PlatformEventListener listener : listeners) listener(events[i]);
      Translate(events[i]);
    }
  }
  gPumping = false;
}

void AddPlatformEventListener(PlatformEventListener listener) {
  if (listener && std::find(gListeners.begin(), gListeners.end(), listener) == gListeners.end()) {
    gListeners.push_back(listener);
  }
}

void RemovePlatformEventListener(PlatformEventListener listener) { std::erase(gListeners, listener); }

void SetWindowCreationFails(bool fail) { gCreationFails = fail; }

void SetDisplayOpenFailures(int count) { gVideoOpenFailures = count; }

}  // namespace vx::win
