// Where the primary surface's visible picture goes. Full screen, the window covers the desktop and
// shows the display mode's picture scaled with its aspect kept and black borders; windowed, the
// window shows its client area of the desktop-sized primary at 1:1. The gamma ramp is applied on
// the way. Presentation drivers are picked by name: "sdl" draws into the SDL window behind the
// cooperative window, "headless" draws nowhere; "auto" (the default) takes "sdl" when there is an
// SDL window. Every driver keeps the last frame, which tests read or write to a BMP file; it is
// made into pixels only when something looks at it (a window, the frame hook, a reader of the last
// frame), from the rows that changed since the last one made. With VX_FRAME_DUMP set in the
// environment, the last frame is written there as a BMP file when the DirectDraw object that
// showed it goes, so that an end-to-end run leaves its final picture.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win/types.h"

namespace vx::win {

struct PresentedFrame {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB, top row first, after the gamma ramp
  bool fullScreen = false;
  uint64_t number = 0;  // presentations so far in this process
};

struct PictureRect {
  int x;
  int y;
  int width;
  int height;
  friend bool operator==(const PictureRect&, const PictureRect&) = default;
};

// The largest rectangle of the picture's aspect that fits the area, centred (integer halves).
PictureRect FitPicture(int pictureWidth, int pictureHeight, int areaWidth, int areaHeight);

// false for a name that is not a driver.
bool SetPresentationDriver(std::string_view name);
// Presents into this SDL window (an SDL_Window*) instead of the cooperative window's; null undoes it.
void SetPresentationWindow(void* sdlWindow);
// Called with every frame as it is presented.
void SetFrameHook(std::function<void(const PresentedFrame&)> hook);

// Makes the last presented frame into pixels first when nothing has yet.
const PresentedFrame& LastPresentedFrame();
// A 24-bit bottom-up BMP; false when the file cannot be written or the frame is empty.
bool WriteFrameBmp(const PresentedFrame& frame, const std::string& path);

// Where the last full-screen picture went in the window, to map window points back to picture
// pixels; false when nothing was presented full screen.
bool LastPictureRect(PictureRect* inWindow, int* pictureWidth, int* pictureHeight);

// The client area of a window in screen coordinates.
RECT ClientAreaOnScreen(HWND window);

}  // namespace vx::win
