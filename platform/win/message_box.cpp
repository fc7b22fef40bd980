// The window layer's own message box (see message_box.h): the picture is laid out and drawn into
// a memory bitmap (background, stop sign and button here, the texts by the GDI layer), shown in
// an SDL window of its size, and the box waits in its own event loop until it is answered.
#include "platform/win/message_box.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/win/quit_signals.h"

namespace vx::win {

namespace {

constexpr int kMargin = 20;
constexpr int kIconSide = 32;
constexpr int kIconGap = 14;
constexpr int kTextWidthLimit = 520;
constexpr int kBandHeight = 46;
constexpr int kButtonWidth = 84;
constexpr int kButtonHeight = 26;
constexpr int kLeastWidth = 260;
constexpr uint32_t kPage = 0xFFFFFF, kBand = 0xF0F0F0, kButtonFace = 0xE1E1E1, kButtonEdge = 0x0078D7;
constexpr uint32_t kStopRed = 0xE81123;

struct Line {
  std::string text;
  int width = 0;
};

struct Layout {
  int width = 0, height = 0;
  int textLeft = 0, textTop = 0, lineHeight = 0;
  SDL_Rect button{};
  std::vector<Line> lines;
};

int TextWidth(HDC dc, const std::string& text) {
  SIZE size{0, 0};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  return size.cx;
}

// The text in lines no wider than the limit: broken at its own line ends, then between words, and
// a word longer than a line between characters.
std::vector<Line> WrapText(HDC dc, const std::string& text) {
  std::vector<Line> lines;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = std::min(text.find('\n', start), text.size());
    std::string paragraph = text.substr(start, end - start);
    std::erase(paragraph, '\r');
    std::string line;
    size_t at = 0;
    while (at < paragraph.size()) {
      const size_t space = paragraph.find(' ', at);
      const std::string word = paragraph.substr(at, space == std::string::npos ? std::string::npos : space - at + 1);
      at = space == std::string::npos ? paragraph.size() : space + 1;
      if (TextWidth(dc, line + word) <= kTextWidthLimit) {
        line += word;
        continue;
      }
      if (!line.empty()) lines.push_back({line, TextWidth(dc, line)});
      line.clear();
      for (char c : word) {
        if (!line.empty() && TextWidth(dc, line + c) > kTextWidthLimit) {
          lines.push_back({line, TextWidth(dc, line)});
          line.clear();
        }
        line += c;
      }
    }
    lines.push_back({line, TextWidth(dc, line)});
    start = end + 1;
  }
  return lines;
}

Layout LayOut(HDC dc, const std::string& text, bool stop) {
  Layout layout;
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc, &metrics);
  layout.lineHeight = std::max<int>(metrics.tmHeight, 1);
  layout.lines = WrapText(dc, text);
  int textWidth = 0;
  for (const Line& line : layout.lines) textWidth = std::max(textWidth, line.width);
  const int textHeight = layout.lineHeight * static_cast<int>(layout.lines.size());
  const int icon = stop ? kIconSide + kIconGap : 0;
  layout.width = std::max(kLeastWidth, kMargin + icon + textWidth + kMargin);
  const int body = std::max(textHeight, stop ? kIconSide : 0);
  layout.height = kMargin + body + kMargin + kBandHeight;
  layout.textLeft = kMargin + icon;
  layout.textTop = kMargin + (body - textHeight) / 2;
  const int bandTop = layout.height - kBandHeight;
  layout.button = SDL_Rect{(layout.width - kButtonWidth) / 2, bandTop + (kBandHeight - kButtonHeight) / 2, kButtonWidth,
                           kButtonHeight};
  return layout;
}

void FillRect(std::vector<uint32_t>& pixels, int width, const SDL_Rect& r, uint32_t colour) {
  const int height = static_cast<int>(pixels.size()) / width;
  for (int y = std::max(r.y, 0); y < std::min(r.y + r.h, height); ++y)
    for (int x = std::max(r.x, 0); x < std::min(r.x + r.w, width); ++x)
      pixels[size_t(y) * size_t(width) + size_t(x)] = colour;
}

// A red disc with a white cross, its edge smoothed over one pixel.
void DrawStopSign(std::vector<uint32_t>& pixels, int width, int left, int top) {
  const double centre = (kIconSide - 1) / 2.0, radius = kIconSide / 2.0;
  for (int y = 0; y < kIconSide; ++y)
    for (int x = 0; x < kIconSide; ++x) {
      const double dx = x - centre, dy = y - centre;
      const double cover = std::clamp(radius - std::sqrt(dx * dx + dy * dy), 0.0, 1.0);
      if (cover <= 0) continue;
      const bool cross = std::fabs(std::fabs(dx) - std::fabs(dy)) < 1.6 && std::fabs(dx) < radius * 0.45;
      const uint32_t ink = cross ? 0xFFFFFF : kStopRed;
      uint32_t& at = pixels[size_t(top + y) * size_t(width) + size_t(left + x)];
      uint32_t mixed = 0;
      for (int shift = 0; shift < 24; shift += 8) {
        const double channel = ((ink >> shift) & 0xFF) * cover + ((at >> shift) & 0xFF) * (1 - cover);
        mixed |= static_cast<uint32_t>(std::lround(channel)) << shift;
      }
      at = mixed;
    }
}

BITMAPINFO TopDown32(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

// The box's picture as 0x00RRGGBB pixels, top row first; empty when the GDI layer could not draw.
std::vector<uint32_t> DrawBox(const std::string& text, bool stop, Layout* layout) {
  std::vector<uint32_t> pixels;
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return pixels;
  HFONT font = CreateFontA(16, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           ANTIALIASED_QUALITY, VARIABLE_PITCH, "Segoe UI");
  HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
  *layout = LayOut(dc, text, stop);
  const int width = layout->width, height = layout->height;
  HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
  HGDIOBJ oldBitmap = bitmap ? SelectObject(dc, bitmap) : nullptr;
  if (bitmap && oldBitmap) {
    pixels.assign(size_t(width) * size_t(height), kPage);
    FillRect(pixels, width, SDL_Rect{0, height - kBandHeight, width, kBandHeight}, kBand);
    const SDL_Rect& b = layout->button;
    FillRect(pixels, width, b, kButtonEdge);
    FillRect(pixels, width, SDL_Rect{b.x + 2, b.y + 2, b.w - 4, b.h - 4}, kButtonFace);
    const int textHeight = layout->lineHeight * static_cast<int>(layout->lines.size());
    if (stop) DrawStopSign(pixels, width, kMargin, layout->textTop + (textHeight - kIconSide) / 2);
    BITMAPINFO info = TopDown32(width, height);
    SetDIBitsToDevice(dc, 0, 0, DWORD(width), DWORD(height), 0, 0, 0, UINT(height), pixels.data(), &info,
                      DIB_RGB_COLORS, sizeof info.bmiHeader, pixels.size() * 4);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    int y = layout->textTop;
    for (const Line& line : layout->lines) {
      TextOutA(dc, layout->textLeft, y, line.text.c_str(), static_cast<int>(line.text.size()));
      y += layout->lineHeight;
    }
    const std::string ok = "OK";
    TextOutA(dc, b.x + (b.w - TextWidth(dc, ok)) / 2, b.y + (b.h - layout->lineHeight) / 2, ok.c_str(), 2);
    if (GetDIBits(dc, bitmap, 0, UINT(height), pixels.data(), &info, DIB_RGB_COLORS) != height) pixels.clear();
  }
  if (oldBitmap) SelectObject(dc, oldBitmap);
  if (bitmap) DeleteObject(bitmap);
  if (oldFont) SelectObject(dc, oldFont);
  if (font) DeleteObject(font);
  DeleteDC(dc);
  return pixels;
}

bool Inside(const SDL_Rect& r, int x, int y) { return x >= r.x && y >= r.y && x < r.x + r.w && y < r.y + r.h; }

// Waits for the answer, or for a signal that ends the process; events of other windows are left
// alone.
void WaitForAnswer(SDL_Window* window, SDL_Renderer* renderer, SDL_Texture* texture, const SDL_Rect& button) {
  const Uint32 id = SDL_GetWindowID(window);
  auto present = [&] {
    SDL_RenderClear(renderer);
    SDL_RenderCopy(renderer, texture, nullptr, nullptr);
    SDL_RenderPresent(renderer);
  };
  present();
  bool pressed = false;  // the button went down inside it
  while (!QuitSignalled()) {
    SDL_Event event;
    if (!SDL_WaitEventTimeout(&event, 200)) {
      present();
      continue;
    }
    switch (event.type) {
      case SDL_QUIT: return;
      case SDL_WINDOWEVENT:
        if (event.window.windowID != id) break;
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) return;
        if (event.window.event == SDL_WINDOWEVENT_EXPOSED) present();
        break;
      case SDL_KEYDOWN: {
        // A key the player held when the box came up repeats; only a new press answers.
        const SDL_Keycode key = event.key.keysym.sym;
        if (event.key.windowID == id && !event.key.repeat &&
            (key == SDLK_RETURN || key == SDLK_KP_ENTER || key == SDLK_ESCAPE || key == SDLK_SPACE))
          return;
        break;
      }
      case SDL_MOUSEBUTTONDOWN:
        if (event.button.windowID == id && event.button.button == SDL_BUTTON_LEFT)
          pressed = Inside(button, event.button.x, event.button.y);
        break;
      case SDL_MOUSEBUTTONUP:
        if (event.button.windowID == id && event.button.button == SDL_BUTTON_LEFT && pressed &&
            Inside(button, event.button.x, event.button.y))
          return;
        pressed = false;
        break;
      default: break;
    }
  }
}

}  // namespace

bool ShowMessageBoxWindow(const std::string& text, const std::string& caption, bool stop) {
  Layout layout;
  std::vector<uint32_t> pixels = DrawBox(text, stop, &layout);
  if (pixels.empty()) return false;
  SDL_Window* window = SDL_CreateWindow(caption.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, layout.width,
                                        layout.height, SDL_WINDOW_ALWAYS_ON_TOP);
  if (!window) return false;
  SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, 0);
  SDL_Texture* texture = nullptr;
  if (renderer)
    texture =
        SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STATIC, layout.width, layout.height);
  const bool shown = texture && SDL_UpdateTexture(texture, nullptr, pixels.data(), layout.width * 4) == 0;
  if (shown) {
    SDL_RaiseWindow(window);
    WaitForAnswer(window, renderer, texture, layout.button);
  }
  if (texture) SDL_DestroyTexture(texture);
  if (renderer) SDL_DestroyRenderer(renderer);
  SDL_DestroyWindow(window);
  return shown;
}

}  // namespace vx::win
