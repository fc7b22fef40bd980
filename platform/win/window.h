// Window classes, windows and their messages over SDL2: one top-level window per process, its
// events turned into window messages, message boxes, the cursor and system parameters.
#pragma once
#include <string>

#include "platform/win/types.h"

union SDL_Event;

namespace vx::win {

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSA {
  UINT style;
  WNDPROC lpfnWndProc;
  int iconResource;  // resource id of the class icon, 0 none
  const char* lpszMenuName;
  const char* lpszClassName;
};

constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;

constexpr DWORD WS_POPUP = 0x80000000u;
constexpr DWORD WS_CAPTION = 0x00C00000u;
constexpr DWORD WS_SYSMENU = 0x00080000u;
constexpr DWORD WS_THICKFRAME = 0x00040000u;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000u;
constexpr DWORD WS_OVERLAPPEDWINDOW = 0x00CF0000u;

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;
constexpr int SW_RESTORE = 9;

constexpr WPARAM WA_INACTIVE = 0;
constexpr WPARAM WA_ACTIVE = 1;
constexpr WPARAM SC_CLOSE = 0xF060;

constexpr UINT MB_OK = 0x0000;
constexpr UINT MB_ICONSTOP = 0x0010;
constexpr int IDOK = 1;

constexpr UINT SPI_SETSCREENSAVERRUNNING = 0x0061;

constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;

constexpr int GWL_STYLE = -16;

// The frame round the client area of a window with a caption (WS_CAPTION): a border of
// kFrameBorder on each side and the caption bar of kFrameCaption above the client area. A window
// without a caption has no frame. Window rectangles (CreateWindowExA, MoveWindow) include the
// frame; the client area is what the window's messages and its SDL window cover.
constexpr int kFrameBorder = 4;
constexpr int kFrameCaption = 19;

BOOL RegisterClassA(const WNDCLASSA* windowClass);
BOOL UnregisterClassA(const char* className);
// Creates the window of a registered class. It is not shown until ShowWindow. With no display
// (SDL's dummy or offscreen driver, or none named) the window is virtual and always has focus; a
// display that is named but cannot be opened makes every creation fail (DisplayFailure).
HWND CreateWindowExA(DWORD exStyle, const char* className, const char* title, DWORD style, int x, int y, int width,
                     int height, HWND parent, HINSTANCE instance);
BOOL DestroyWindow(HWND window);  // sends WM_DESTROY
// Shows or hides the window; showing sends WM_SIZE, WM_MOVE and WM_ACTIVATE to the window
// procedure before it returns.
BOOL ShowWindow(HWND window, int command);
BOOL SetWindowTextA(HWND window, const char* text);
// The window rectangle, frame included; WM_MOVE and WM_SIZE report the client area.
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
// GWL_STYLE only: the style decides the frame (and whether the SDL window has a border and can be
// resized). The client area stays where it is. Returns the previous style, 0 on failure.
LONG SetWindowLongA(HWND window, int index, LONG value);
LONG GetWindowLongA(HWND window, int index);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Calls the window procedure of the message's window (thread messages go nowhere).
LRESULT DispatchMessageA(const MSG* msg);
// Typed characters already arrive as WM_CHAR from the platform events, so this posts nothing;
// it answers TRUE for key messages as Windows does.
BOOL TranslateMessage(const MSG* msg);
bool IsHeadless();
// Why no window can be made: the display that the environment names (DISPLAY, WAYLAND_DISPLAY or a
// real driver in SDL_VIDEODRIVER) could not be opened, after a few tries. Empty when it could, or
// when none is named and windows are virtual.
std::string DisplayFailure();
// The SDL window behind a window handle (null for a virtual window), for presentation.
void* NativeWindowOf(HWND window);

// Writes the caption and text to standard error and, with a display, shows them in a box of the
// window layer's own (message_box.h) until it is answered. Headless it only writes them.
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);
int ShowCursor(BOOL show);
// The system cursor in screen coordinates. With a display it is moved for real; headless the
// position is only kept, so that GetCursorPos reports what was set.
BOOL SetCursorPos(int x, int y);
BOOL GetCursorPos(POINT* out);
// The window that gets the mouse messages even while the pointer is outside it; returns the window
// that had the capture before.
HWND SetCapture(HWND window);
BOOL ReleaseCapture();
HWND GetCapture();
BOOL SystemParametersInfoA(UINT action, UINT param, void* value, UINT winIni);
// Size of the desktop (SM_CXSCREEN, SM_CYSCREEN); 640 x 480 headless; 0 for other indexes.
int GetSystemMetrics(int index);

// Reads waiting SDL events into the message queue (PeekMessageA and GetAsyncKeyState call it).
// Only the thread that first pumps does so; elsewhere it does nothing.
void PumpPlatformEvents();

// The pump is the one reader of SDL's event queue; other parts of the layer (input devices)
// see every event through a listener, called before the event becomes a message.
using PlatformEventListener = void (*)(const SDL_Event& event);
void AddPlatformEventListener(PlatformEventListener listener);
void RemovePlatformEventListener(PlatformEventListener listener);

// Fault injection: while set, CreateWindowExA fails and returns null.
void SetWindowCreationFails(bool fail);
// Fault injection: the next `count` attempts to open the display fail, as a busy server refuses.
void SetDisplayOpenFailures(int count);

}  // namespace vx::win
