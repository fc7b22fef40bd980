// The choice of the display card: the stored card and depth of the per-user profile, the card
// screens in the runtime's window with their waits, and the probe of the chosen card for 3D.
// Depends on the device set-up (EnumerateDisplayCards, InitDisplayAndDevice), the display modes
// and the release of the display's objects.
#include "display/adapter_choice.h"

#include <charconv>

#include "display/display.h"
#include "display/input_devices.h"
#include "platform/ddraw/ddraw.h"
#include "platform/gdi/gdi.h"
#include "platform/win/messages.h"
#include "platform/win/profile.h"
#include "platform/win/time.h"
#include "platform/win/window.h"

namespace vx {

using namespace win;

AdapterState gAdapterState;
CardScreenSleep gCardScreenSleep = win::Sleep;

namespace {

constexpr const char* kStateSection = "VorlixStateData";
constexpr const char* kCardKey = "BEST3DCARD";
constexpr const char* kDepthKey = "BEST3DDEPTH";

// Between two looks at the message queue while nothing happens on a screen.
constexpr DWORD kIdleMilliseconds = 10;
// Before the capability screen, so that the display has settled after the probe's mode changes.
constexpr DWORD kSettleMilliseconds = 1000;

constexpr COLORREF kOrange = 0x0028C0FF;
constexpr COLORREF kDarkOrange = 0x001496F0;
constexpr COLORREF kWhite = 0x00FFFFFF;
constexpr COLORREF kYellow = 0x0000FFFF;
constexpr COLORREF kRed = 0x000000FF;
constexpr uint32_t kDarkGrey = 0x404040;  // the frame round the box

// --- The screens' picture ------------------------------------------------------------------------

void FillArea(IDirectDrawSurface7* surface, const RECT& area, uint32_t colour) {
  if (area.right <= area.left || area.bottom <= area.top) return;
  DDBLTFX fx{};
  fx.dwSize = sizeof fx;
  fx.dwFillColor = colour;
  surface->Blt(&area, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
}

RECT Inset(const RECT& r, LONG by) { return RECT{r.left + by, r.top + by, r.right - by, r.bottom - by}; }

// The box the screen is drawn in, in a client area of this size.
RECT ScreenBox(LONG width, LONG height) {
  RECT box{20, 30, width - 20, height - (Adapter().gCardScreenMode == 2 ? 24 : 40)};
  if (box.right - box.left > 300) {
    const LONG left = box.left + (box.right - box.left - 300) / 2;
    const LONG top = box.top + (box.bottom - box.top - 200) / 2;
    box = RECT{left, top, left + 300, top + 200};
  }
  return box;
}

class BoxText {
 public:
  BoxText(HDC dc, const RECT& box) : dc_(dc), box_(box) { SetBkMode(dc_, TRANSPARENT); }
  void At(LONG x, LONG y, const std::string& text, COLORREF colour) {
    SetTextColor(dc_, colour);
    TextOutA(dc_, int(x), int(box_.top + y), text.c_str(), int(text.size()));
  }
  void Centred(LONG y, const std::string& text, COLORREF colour) {
    SIZE size{};
    GetTextExtentPoint32A(dc_, text.c_str(), int(text.size()), &size);
    At(box_.left + (box_.right - box_.left - size.cx) / 2, y, text, colour);
  }

 private:
  HDC dc_;
  RECT box_;
};

void DrawChoiceText(BoxText& text) {
  const LONG count = LONG(Adapter().gDisplayCards.size());
  text.Centred(16, "MULTIPLE DISPLAY CARDS DETECTED", kOrange);
  for (LONG i = 0; i < count; ++i)
    text.Centred(46 + 14 * i, std::to_string(i + 1) + ". " + Adapter().gDisplayCards[size_t(i)], kWhite);
  text.Centred(14 * count + 68, "PLEASE SELECT KEYS 1 to " + std::to_string(count), kOrange);
  text.Centred(14 * count + 82, "TO CHOOSE YOUR BEST CARD", kOrange);
  text.Centred(14 * count + 96, "(THIS WINDOW ONLY APPEARS ONCE)", kDarkOrange);
}

void DrawCapabilityText(BoxText& text, const RECT& box) {
  const auto& v = Adapter().gCardCapabilities;
  text.Centred(16, Display().gChosenCardName, kOrange);
  const std::string labels[4] = {
      "Supports 3D at 640x480x" + std::to_string(v[0] != 0 ? Display().gDisplay3DDepth : 16),
      "Supports Alphablending",
      "Supports Texture Filtering",
      "Supports Fogging",
  };
  for (LONG row = 0; row < 4; ++row) {
    text.At(box.left + 16, 46 + 14 * row, labels[row], kWhite);
    const bool yes = v[size_t(row)] == 1;
    text.At(box.right - 48, 46 + 14 * row, yes ? "Yes" : "No", yes ? kYellow : kRed);
  }
  const bool all = v[0] != 0 && v[1] != 0 && v[2] != 0 && v[3] != 0;
  const char* verdict[2] = {"YOUR GRAPHICS CARD IS NOT", "RECOMMENDED FOR HIGH-CONTENT 3D"};
  if (all) {
    verdict[0] = "YOUR 3D CARD SUPPORTS", verdict[1] = "ALL BUILT-IN FEATURES";
  } else if (v[0] != 0) {
    verdict[0] = "YOU MAY EXPERIENCE SOME", verdict[1] = "LOSS IN VISUAL QUALITY";
  }
  text.Centred(14 * 4 + 68, verdict[0], kOrange);
  text.Centred(14 * 4 + 82, verdict[1], kOrange);
  text.Centred(14 * 4 + 100, "PRESS ANY KEY", kDarkOrange);
}

void DrawCardScreen(IDirectDrawSurface7* picture, LONG width, LONG height) {
  FillArea(picture, RECT{0, 0, width, height}, 0);  // the window's background
  const RECT box = ScreenBox(width, height);
  FillArea(picture, box, 0);
  FillArea(picture, Inset(box, 2), kDarkGrey);
  FillArea(picture, Inset(box, 4), 0);
  HDC dc = nullptr;
  if (Failed(picture->GetDC(&dc))) return;
  BoxText text(dc, box);
  if (Adapter().gCardScreenMode == 1) {
    DrawChoiceText(text);
  } else {
    DrawCapabilityText(text, box);
  }
  picture->ReleaseDC(dc);
}

// --- The screens' waits --------------------------------------------------------------------------

// What ended a wait: a character (1 to 255), a click, or a quit.
constexpr int32_t kClickAnswer = 256;
constexpr int32_t kQuitAnswer = -1;
constexpr int32_t kNoAnswer = 0;

struct WantedAnswer {
  uint8_t firstKey, lastKey;  // the characters that answer
  bool clicks;                // a mouse button answers too
};

// Takes the window's waiting messages in order until one answers (it is consumed) or the queue is
// empty. A quit message, Esc or a request to close the window ends the screen: the quit is posted
// again, so that the program ends. Everything else goes to the window procedure; paint requests
// repaint the screen.
int32_t TakeCardScreenMessages(HWND window, const WantedAnswer& wanted) {
  MSG msg{};
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    switch (msg.message) {
      case WM_QUIT: PostQuitMessage(int(msg.wParam)); return kQuitAnswer;
      case WM_CLOSE: PostQuitMessage(0); return kQuitAnswer;
      case WM_KEYDOWN:
        if (msg.wParam == WPARAM(VK_ESCAPE)) {
          PostQuitMessage(0);
          return kQuitAnswer;
        }
        break;
      case WM_CHAR:
        if (msg.wParam >= wanted.firstKey && msg.wParam <= wanted.lastKey) return int32_t(msg.wParam & 0xFF);
        break;
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
        if (wanted.clicks) return kClickAnswer;
        break;
      case WM_PAINT:
        if (msg.hwnd == window && Adapter().gCardScreenShown) {
          ShowCardChoiceScreen(window);
          continue;
        }
        break;
      default: break;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return kNoAnswer;
}

// Shows the screen of the mode and waits for its answer; the screen is down again afterwards.
int32_t WaitOnCardScreen(HWND window, int32_t mode, const WantedAnswer& wanted) {
  Adapter().gCardScreenShown = 1;
  Adapter().gCardScreenMode = mode;
  ShowWindow(window, SW_SHOWNORMAL);
  Input().gLastKeyChar = 0;
  Input().gMouseClickState = 0;
  ShowCardChoiceScreen(window);
  int32_t answer = kNoAnswer;
  while ((answer = TakeCardScreenMessages(window, wanted)) == kNoAnswer) gCardScreenSleep(kIdleMilliseconds);
  Adapter().gCardScreenShown = 0;
  return answer;
}

// ASCII only, so that the match does not change with the locale.
char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

}  // namespace

bool SameCardName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  return true;
}

int16_t StoredDisplayDepth(const std::string& text) {
  // The number the text starts with, as the profile's readers take it (blanks are trimmed there).
  int value = 0;
  if (std::from_chars(text.data(), text.data() + text.size(), value).ec != std::errc()) return 16;
  return (value == 16 || value == 24 || value == 32) ? int16_t(value) : int16_t(16);
}

void ListDisplayCards() {
  Adapter().gDisplayCards.clear();
  DirectDrawEnumerateA(
      [](GUID* guid, char* description, char*, void*) -> BOOL {
        if (Adapter().gDisplayCards.size() < kMaxDisplayCards) {
          Adapter().gDisplayCards.emplace_back(description ? description : "");
          if (!guid) Adapter().gPrimaryCardDescription = Adapter().gDisplayCards.back();
        }
        return 1;
      },
      nullptr);
}

bool ChooseBestDisplayCard(HWND window) {
  Display().gChosenCardName = ReadUserProfileString(kStateSection, kCardKey, "");
  ListDisplayCards();
  for (const std::string& card : Adapter().gDisplayCards) {
    if (!SameCardName(card, Display().gChosenCardName)) continue;
    Display().gDisplay3DDepth = StoredDisplayDepth(ReadUserProfileString(kStateSection, kDepthKey, "16"));
    return true;
  }
  // An empty name makes DirectDraw take the first secondary card, another unknown one the primary.
  if (!SameCardName(Display().gChosenCardName, kAskForCard)) return true;
  if (!AskBestDisplayCard(window)) return false;
  WriteUserProfileString(kStateSection, kCardKey, Display().gChosenCardName);
  std::array<int32_t, 4> values{};
  ProbeBest3DDepth(values[0], Display().gDisplay3DDepth, values[1], values[2], values[3]);
  const bool goOn = ShowCardCapabilitiesAndWait(window, values);
  // The probe's result stands even when the player leaves now: the card is stored already.
  WriteUserProfileString(kStateSection, kDepthKey, std::to_string(Display().gDisplay3DDepth));
  return goOn;
}

bool AskBestDisplayCard(HWND window) {
  if (Adapter().gDisplayCards.size() <= 1) {
    Display().gChosenCardName = Adapter().gDisplayCards.empty() ? std::string() : Adapter().gDisplayCards.front();
    return true;
  }
  const WantedAnswer keys{uint8_t('1'), uint8_t('0' + Adapter().gDisplayCards.size()), false};
  const int32_t answer = WaitOnCardScreen(window, 1, keys);
  if (answer == kQuitAnswer) return false;
  Display().gChosenCardName = Adapter().gDisplayCards[size_t(answer - '1')];
  return true;
}

int32_t ProbeBest3DDepth(int32_t& has3D, int16_t& depth, int32_t& alphaBlending, int32_t& filtering, int32_t& fog) {
  SetFullScreen(1);
  bool hardware = false;
  int16_t tried = 16;
  uint32_t systemMemory = 1;
  if (EnumerateDisplayCards(0, 1)) {
    for (const int16_t bits : {int16_t(16), int16_t(24), int16_t(32)}) {
      tried = bits;
      hardware = SetDisplayMode(640, 480, bits) && InitDisplayAndDevice(640, 480, 1) && Display().gHardwareDevice == 1;
      systemMemory = Display().gSystemMemorySurfaces;
      ReleaseDirectDrawObjects(0);
      if (hardware || !EnumerateDisplayCards(0, 1)) break;
    }
  }
  has3D = hardware && systemMemory == 0 ? 1 : 0;
  depth = hardware ? tried : int16_t(16);
  alphaBlending = Display().gBlendLevel > 0 ? 1 : 0;
  filtering = Display().gFilterLevel > 0 ? 1 : 0;
  fog = Display().gFogAvailable == 1 ? 1 : 0;
  return hardware ? 1 : 0;
}

bool ShowCardCapabilitiesAndWait(HWND window, const std::array<int32_t, 4>& values) {
  gCardScreenSleep(kSettleMilliseconds);
  // Input given while the probe ran answers nothing; a quit still counts.
  if (TakeCardScreenMessages(window, WantedAnswer{1, 0, false}) == kQuitAnswer) return false;
  gCardScreenSleep(kSettleMilliseconds);
  Adapter().gCardCapabilities = values;
  return WaitOnCardScreen(window, 2, WantedAnswer{1, 255, true}) != kQuitAnswer;
}

void ShowCardChoiceScreen(HWND window) {
  const RECT client = gClientAreaOnScreen(window);
  const LONG width = client.right - client.left, height = client.bottom - client.top;
  if (width <= 0 || height <= 0) return;
  // A DirectDraw object of the screen's own: the display's is not made yet, or already released.
  IDirectDraw7* directDraw = nullptr;
  if (Failed(DirectDrawCreateEx(nullptr, &directDraw, IID_IDirectDraw7, nullptr))) return;
  IDirectDrawSurface7* primary = nullptr;
  IDirectDrawSurface7* picture = nullptr;
  IDirectDrawClipper* clipper = nullptr;
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS;
  desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
  bool ready = Succeeded(directDraw->SetCooperativeLevel(window, DDSCL_NORMAL)) &&
               Succeeded(directDraw->CreateSurface(&desc, &primary, nullptr)) &&
               Succeeded(directDraw->CreateClipper(0, &clipper, nullptr)) && Succeeded(clipper->SetHWnd(0, window)) &&
               Succeeded(primary->SetClipper(clipper));
  if (ready) {
    desc = DDSURFACEDESC2{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    desc.dwWidth = DWORD(width);
    desc.dwHeight = DWORD(height);
    desc.ddpfPixelFormat = DisplayPixelFormat(32);  // fills take 0xRRGGBB as they are
    ready = Succeeded(directDraw->CreateSurface(&desc, &picture, nullptr));
  }
  if (ready) {
    DrawCardScreen(picture, width, height);
    primary->Blt(&client, picture, nullptr, DDBLT_WAIT, nullptr);
  }
  ReleaseAndClear(picture);
  ReleaseAndClear(clipper);
  ReleaseAndClear(primary);
  ReleaseAndClear(directDraw);
}

}  // namespace vx
