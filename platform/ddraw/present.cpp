// Presentation: the primary's visible picture turned into 0x00RRGGBB through the gamma ramp, kept
// as the last frame, and drawn into the SDL window with an SDL renderer when there is one. A frame
// is made into pixels only when something looks at it (a window, a frame hook, a reader of the last
// frame, the frame dump), and then only the rows that changed since the last one made.
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "platform/ddraw/driver_state.h"
#include "platform/ddraw/presentation.h"
#include "platform/win/window.h"

namespace vx::win {

namespace {

using ddraw_detail::DriverState;
using ddraw_detail::Presentation;

enum class Driver { Auto, Sdl, Headless };

// What the last frame was made from, so that the next one converts only the rows that differ.
struct FrameSource {
  bool valid = false;
  RECT area{};
  DDPIXELFORMAT format{};
  std::vector<PALETTEENTRY> palette;
  DDGAMMARAMP gamma{};
  std::vector<uint8_t> rows;  // the visible part of the primary, row after row
};

struct PresentationGlobals {
  Driver driver = Driver::Auto;
  SDL_Window* overrideWindow = nullptr;
  std::function<void(const PresentedFrame&)> hook;
  PresentedFrame last;
  FrameSource source;
  // The display whose primary holds a presented frame not yet made into pixels, and its area.
  DriverState* pending = nullptr;
  RECT pendingArea{};
  bool havePicture = false;
  PictureRect pictureRect{};
  int pictureWidth = 0;
  int pictureHeight = 0;
};

PresentationGlobals& Globals() {
  static PresentationGlobals globals;
  return globals;
}

bool WindowAlive(SDL_Window* window, uint32_t id) { return window && SDL_GetWindowFromID(id) == window; }

bool IsIdentity(const DDGAMMARAMP& ramp) {
  for (int i = 0; i < 256; ++i) {
    if ((ramp.red[i] >> 8) != i || (ramp.green[i] >> 8) != i || (ramp.blue[i] >> 8) != i) return false;
  }
  return true;
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// The part of the primary the picture shows: all of it full screen, the window's client area
// windowed (the primary is the desktop then).
RECT PictureArea(const DriverState& display, DirectDrawSurface& primary) {
  if (display.Exclusive()) return RECT{0, 0, static_cast<LONG>(primary.Width()), static_cast<LONG>(primary.Height())};
  HWND window = display.window;
  DirectDrawClipper* clipper = nullptr;
  if (Succeeded(primary.GetClipper(&clipper))) {
    HWND clipped = nullptr;
    clipper->GetHWnd(&clipped);
    clipper->Release();
    if (clipped) window = clipped;
  }
  if (!window) return RECT{0, 0, static_cast<LONG>(primary.Width()), static_cast<LONG>(primary.Height())};
  return ClientAreaOnScreen(window);
}

// Makes the frame from the primary. Rows whose source bytes are those the last frame was made from
// are left as they are, unless the area, the format, the palette or the gamma ramp changed.
void BuildFrame(const DriverState& display, DirectDrawSurface& primary, const RECT& area, PresentedFrame& frame,
                FrameSource& source) {
  const SurfacePixels pixels = primary.Pixels();
  const FormatInfo format = DescribeFormat(pixels.format);
  const int width = std::max<LONG>(0, area.right - area.left);
  const int height = std::max<LONG>(0, area.bottom - area.top);
  std::vector<PALETTEENTRY> palette;
  if (pixels.palette) palette.assign(pixels.palette, pixels.palette + 256);
  auto sameEntry = [](const PALETTEENTRY& a, const PALETTEENTRY& b) {
    return a.peRed == b.peRed && a.peGreen == b.peGreen && a.peBlue == b.peBlue;
  };
  const bool same = source.valid && format.kind != PixelKind::Dxt && frame.width == width && frame.height == height &&
                    SameRect(source.area, area) &&
                    std::memcmp(&source.format, &pixels.format, sizeof pixels.format) == 0 &&
                    std::memcmp(&source.gamma, &display.gamma, sizeof display.gamma) == 0 &&
                    std::equal(palette.begin(), palette.end(), source.palette.begin(), source.palette.end(), sameEntry);
  frame.width = width;
  frame.height = height;
  frame.fullScreen = display.Exclusive();
  if (!same) {
    frame.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    source = FrameSource{};
    source.area = area;
    source.format = pixels.format;
    source.palette = std::move(palette);
    source.gamma = display.gamma;
  }
  // The part of the area that lies on the primary; the rest stays black.
  const int64_t left = std::max<int64_t>(area.left, 0);
  const int64_t right = std::min<int64_t>(area.right, pixels.width);
  const int64_t top = std::max<int64_t>(area.top, 0);
  const int64_t bottom = std::min<int64_t>(area.bottom, pixels.height);
  if (left >= right || top >= bottom) return;
  const auto count = static_cast<uint32_t>(right - left);
  const size_t rowBytes = format.kind == PixelKind::Dxt ? 0 : size_t(count) * format.bytesPerPixel;
  source.rows.resize(rowBytes * static_cast<size_t>(bottom - top));
  const bool gamma = !IsIdentity(display.gamma);
  uint8_t ramp[3][256];
  for (int i = 0; i < 256; ++i) {
    ramp[0][i] = static_cast<uint8_t>(display.gamma.red[i] >> 8);
    ramp[1][i] = static_cast<uint8_t>(display.gamma.green[i] >> 8);
    ramp[2][i] = static_cast<uint8_t>(display.gamma.blue[i] >> 8);
  }
  for (int64_t sy = top; sy < bottom; ++sy) {
    uint32_t* out = frame.pixels.data() + static_cast<size_t>(sy - area.top) * static_cast<size_t>(width) +
                    static_cast<size_t>(left - area.left);
    if (format.kind == PixelKind::Dxt) {
      for (uint32_t x = 0; x < count; ++x)
        out[x] = ReadPixelArgb(pixels, static_cast<uint32_t>(left) + x, static_cast<uint32_t>(sy));
    } else {
      const uint8_t* in = pixels.bits + sy * pixels.pitch + left * format.bytesPerPixel;
      uint8_t* kept = source.rows.data() + static_cast<size_t>(sy - top) * rowBytes;
      if (same && std::memcmp(in, kept, rowBytes) == 0) continue;
      std::memcpy(kept, in, rowBytes);
      ConvertRowToArgb(format, pixels.palette, in, out, count);
    }
    for (uint32_t x = 0; x < count; ++x) {
      uint32_t c = out[x];
      if (gamma)
        c = (uint32_t{ramp[0][(c >> 16) & 0xFF]} << 16) | (uint32_t{ramp[1][(c >> 8) & 0xFF]} << 8) | ramp[2][c & 0xFF];
      out[x] = c & 0x00FFFFFFu;
    }
  }
  source.valid = format.kind != PixelKind::Dxt;
}

// Makes the frame waiting in a primary into pixels.
void BuildPending() {
  PresentationGlobals& globals = Globals();
  DriverState* display = std::exchange(globals.pending, nullptr);
  if (!display || !display->primary) return;
  BuildFrame(*display, *display->primary, globals.pendingArea, globals.last, globals.source);
}

void DrawInto(Presentation& p, SDL_Window* window, const PresentedFrame& frame) {
  if (p.window && (!WindowAlive(p.window, p.windowId) || SDL_GetRenderer(p.window) != p.renderer)) {
    p.window = nullptr;  // SDL took the renderer with the window
    p.renderer = nullptr;
    p.ownsRenderer = false;
    p.texture = nullptr;
  }
  if (p.window != window) {
    p.Destroy();
    p.window = window;
    p.windowId = SDL_GetWindowID(window);
  }
  if (!p.renderer) {
    p.renderer = SDL_GetRenderer(window);
    p.ownsRenderer = !p.renderer;
    if (!p.renderer) {
      // The picture is made by the CPU and only copied and scaled here: SDL's software renderer
      // into the window's own surface does it without an OpenGL driver, whose start costs half a
      // second where there is no GPU (Mesa's llvmpipe under Xvfb) and makes SDL build the window
      // anew. A renderer named in SDL_RENDER_DRIVER (opengl on a machine with a GPU, which scales
      // a large screen for less) is taken instead.
      const char* named = SDL_GetHint(SDL_HINT_RENDER_DRIVER);
      if (named && *named) {
        p.renderer = SDL_CreateRenderer(window, -1, 0);
      } else {
        SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_DEFAULT);
        p.renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
      }
    }
    if (!p.renderer) return;
  }
  if (!p.texture || p.textureWidth != frame.width || p.textureHeight != frame.height) {
    if (p.texture) SDL_DestroyTexture(p.texture);
    p.texture =
        SDL_CreateTexture(p.renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, frame.width, frame.height);
    p.textureWidth = frame.width;
    p.textureHeight = frame.height;
    if (!p.texture) return;
    SDL_SetTextureScaleMode(p.texture, SDL_ScaleModeLinear);
  }
  SDL_UpdateTexture(p.texture, nullptr, frame.pixels.data(), frame.width * 4);
  SDL_SetRenderDrawColor(p.renderer, 0, 0, 0, 255);
  SDL_RenderClear(p.renderer);
  int outWidth = 0;
  int outHeight = 0;
  SDL_GetRendererOutputSize(p.renderer, &outWidth, &outHeight);
  PictureRect place{0, 0, frame.width, frame.height};
  if (frame.fullScreen) place = FitPicture(frame.width, frame.height, outWidth, outHeight);
  Globals().havePicture = frame.fullScreen;
  Globals().pictureRect = place;
  Globals().pictureWidth = frame.width;
  Globals().pictureHeight = frame.height;
  const SDL_Rect dest{place.x, place.y, place.width, place.height};
  SDL_RenderCopy(p.renderer, p.texture, nullptr, &dest);
  SDL_RenderPresent(p.renderer);
}

}  // namespace

namespace ddraw_detail {

void Presentation::Destroy() {
  if (WindowAlive(window, windowId) && renderer && SDL_GetRenderer(window) == renderer) {
    if (texture) SDL_DestroyTexture(texture);
    if (ownsRenderer) SDL_DestroyRenderer(renderer);
  }
  window = nullptr;
  windowId = 0;
  renderer = nullptr;
  ownsRenderer = false;
  texture = nullptr;
  textureWidth = 0;
  textureHeight = 0;
}

void PresentPrimary(DriverState& display) {
  DirectDrawSurface* primary = display.primary;
  if (!primary || !display.owner || primary->Lost()) return;
  PresentationGlobals& globals = Globals();
  globals.pending = &display;
  globals.pendingArea = PictureArea(display, *primary);
  ++globals.last.number;
  SDL_Window* target = nullptr;
  if (globals.driver != Driver::Headless) {
    target = globals.overrideWindow;
    if (!target) target = static_cast<SDL_Window*>(NativeWindowOf(display.window));
  }
  // Headless, nothing shows the frame: it is made only if someone asks for it later.
  if (!target && !globals.hook) return;
  BuildPending();
  const PresentedFrame& frame = globals.last;
  if (target && frame.width > 0 && frame.height > 0) DrawInto(display.presentation, target, frame);
  if (globals.hook) globals.hook(frame);
}

void KeepPresentedFrame(DriverState& display) {
  if (Globals().pending == &display) BuildPending();
}

namespace {

// Full screen is the window (a full-screen program's has no frame) laid over the whole display it
// stands on. SDL's own desktop full screen waits a tenth of a second for a window manager on the
// way in and again on the way out, and without one leaves the window at its size.
void CoverDisplay(Presentation& p, SDL_Window* native) {
  SDL_Rect bounds{};
  if (SDL_GetDisplayBounds(std::max(SDL_GetWindowDisplayIndex(native), 0), &bounds) != 0) return;
  if (!p.madeFullScreen) {
    int x = 0, y = 0, width = 0, height = 0;
    SDL_GetWindowPosition(native, &x, &y);
    SDL_GetWindowSize(native, &width, &height);
    p.placeBefore = RECT{x, y, x + width, y + height};
  }
  SDL_SetWindowPosition(native, bounds.x, bounds.y);
  SDL_SetWindowSize(native, bounds.w, bounds.h);
  p.madeFullScreen = true;
}

void UncoverDisplay(Presentation& p, SDL_Window* native) {
  if (!p.madeFullScreen) return;
  p.madeFullScreen = false;
  if (!native) return;
  const RECT& place = p.placeBefore;
  SDL_SetWindowPosition(native, place.left, place.top);
  SDL_SetWindowSize(native, std::max<int>(place.right - place.left, 1), std::max<int>(place.bottom - place.top, 1));
}

}  // namespace

void ApplyCooperativeWindow(DriverState& display) {
  auto* native = static_cast<SDL_Window*>(NativeWindowOf(display.window));
  if (display.Exclusive() && native) {
    CoverDisplay(display.presentation, native);
  } else {
    UncoverDisplay(display.presentation, native);
  }
}

void EndPresentation(DriverState& display) {
  KeepPresentedFrame(display);
  Presentation& p = display.presentation;
  UncoverDisplay(p, static_cast<SDL_Window*>(NativeWindowOf(display.window)));
  p.Destroy();
  // An end-to-end run leaves its last picture where the environment says.
  const char* dump = std::getenv("VX_FRAME_DUMP");
  if (dump && *dump && Globals().last.number > 0) WriteFrameBmp(Globals().last, dump);
}

}  // namespace ddraw_detail

RECT ClientAreaOnScreen(HWND window) {
  if (auto* native = static_cast<SDL_Window*>(NativeWindowOf(window))) {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    SDL_GetWindowPosition(native, &x, &y);
    SDL_GetWindowSize(native, &width, &height);
    return RECT{x, y, x + width, y + height};
  }
  // The window layer keeps a virtual window's place to itself; headless, a window is taken to
  // cover the screen.
  const ddraw_detail::DisplayMode mode = ddraw_detail::CurrentMode();
  return RECT{0, 0, static_cast<LONG>(mode.width), static_cast<LONG>(mode.height)};
}

PictureRect FitPicture(int pictureWidth, int pictureHeight, int areaWidth, int areaHeight) {
  if (pictureWidth <= 0 || pictureHeight <= 0 || areaWidth <= 0 || areaHeight <= 0) return PictureRect{0, 0, 0, 0};
  int64_t width = areaWidth;
  int64_t height = int64_t{areaWidth} * pictureHeight / pictureWidth;
  if (height > areaHeight) {
    height = areaHeight;
    width = int64_t{areaHeight} * pictureWidth / pictureHeight;
  }
  return PictureRect{static_cast<int>((areaWidth - width) / 2), static_cast<int>((areaHeight - height) / 2),
                     static_cast<int>(width), static_cast<int>(height)};
}

bool SetPresentationDriver(std::string_view name) {
  if (name == "auto") {
    Globals().driver = Driver::Auto;
  } else if (name == "sdl") {
    Globals().driver = Driver::Sdl;
  } else if (name == "headless") {
    Globals().driver = Driver::Headless;
  } else {
    return false;
  }
  return true;
}

void SetPresentationWindow(void* sdlWindow) { Globals().overrideWindow = static_cast<SDL_Window*>(sdlWindow); }

void SetFrameHook(std::function<void(const PresentedFrame&)> hook) { Globals().hook = std::move(hook); }

const PresentedFrame& LastPresentedFrame() {
  BuildPending();
  return Globals().last;
}

bool LastPictureRect(PictureRect* inWindow, int* pictureWidth, int* pictureHeight) {
  const PresentationGlobals& globals = Globals();
  if (!globals.havePicture) return false;
  if (inWindow) *inWindow = globals.pictureRect;
  if (pictureWidth) *pictureWidth = globals.pictureWidth;
  if (pictureHeight) *pictureHeight = globals.pictureHeight;
  return true;
}

bool WriteFrameBmp(const PresentedFrame& frame, const std::string& path) {
  if (frame.width <= 0 || frame.height <= 0) return false;
  const uint32_t rowBytes = (static_cast<uint32_t>(frame.width) * 3 + 3) / 4 * 4;
  const uint32_t imageBytes = rowBytes * static_cast<uint32_t>(frame.height);
  uint8_t header[54] = {'B', 'M'};
  const auto put32 = [&](int at, uint32_t value) {
    for (int i = 0; i < 4; ++i) header[at + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  put32(2, 54 + imageBytes);
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(frame.width));
  put32(22, static_cast<uint32_t>(frame.height));
  header[26] = 1;
  header[28] = 24;
  put32(34, imageBytes);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = std::fwrite(header, 1, sizeof header, file) == sizeof header;
  std::vector<uint8_t> row(rowBytes, 0);
  for (int y = frame.height - 1; y >= 0 && ok; --y) {
    const uint32_t* in = frame.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(frame.width);
    for (int x = 0; x < frame.width; ++x) {
      row[3 * x] = static_cast<uint8_t>(in[x]);
      row[3 * x + 1] = static_cast<uint8_t>(in[x] >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(in[x] >> 16);
    }
    ok = std::fwrite(row.data(), 1, row.size(), file) == row.size();
  }
  return std::fclose(file) == 0 && ok;
}

}  // namespace vx::win
