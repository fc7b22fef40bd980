// The window layer on SDL's dummy driver: window life and the messages it sends, SDL events
// turned into messages and key states, message boxes on standard error, and injected faults.
#include <gtest/gtest.h>

#include <SDL.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/win/keyboard.h"
#include "platform/win/messages.h"
#include "platform/win/window.h"

namespace vx::win {
namespace {

struct Received {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool operator==(const Received&) const = default;
};
std::vector<Received> gReceived;

// Behaves as the runtime's procedure where it matters: activation shows the window again.
LRESULT RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  gReceived.push_back({message, wParam, lParam});
  if (message == WM_ACTIVATE && wParam == WA_ACTIVE) ShowWindow(hwnd, SW_RESTORE);
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

LPARAM Pack(int low, int high) {
  return static_cast<LPARAM>((static_cast<uint32_t>(low) & 0xFFFFu) | ((static_cast<uint32_t>(high) & 0xFFFFu) << 16));
}

// An event of the type; `a` and `b` are the key's scan code and symbol, the mouse position,
// the window event's data or nothing, as the type needs.
SDL_Event Event(Uint32 type, int a = 0, int b = 0, int extra = 0) {
  SDL_Event event{};
  event.type = type;
  if (type == SDL_KEYDOWN || type == SDL_KEYUP) {
    event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym = {SDL_Scancode(a), SDL_Keycode(b), Uint16(extra), 0};
  } else if (type == SDL_MOUSEMOTION) {
    event.motion.x = a;
    event.motion.y = b;
  } else if (type == SDL_MOUSEBUTTONDOWN || type == SDL_MOUSEBUTTONUP) {
    event.button.x = a;
    event.button.y = b;
    event.button.button = Uint8(extra);
  } else if (type == SDL_WINDOWEVENT) {
    event.window.event = Uint8(extra);
    event.window.data1 = a;
    event.window.data2 = b;
  }
  return event;
}

SDL_Event WindowEvent(Uint8 what, int data1 = 0, int data2 = 0) { return Event(SDL_WINDOWEVENT, data1, data2, what); }

SDL_Event TextEvent(const char* utf8) {
  SDL_Event event = Event(SDL_TEXTINPUT);
  SDL_strlcpy(event.text.text, utf8, sizeof event.text.text);
  return event;
}

class WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SDL_setenv("SDL_VIDEODRIVER", "dummy", 1);
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS), 0) << SDL_GetError();
  }

  void SetUp() override {
    Reset();
    const WNDCLASSA windowClass{CS_HREDRAW | CS_VREDRAW, &RecordingProc, 144, "VXG", "VXG"};
    ASSERT_TRUE(RegisterClassA(&windowClass));
  }

  void TearDown() override {
    if (window_) DestroyWindow(window_);
    EXPECT_TRUE(UnregisterClassA("VXG"));
    SetWindowCreationFails(false);
    Reset();
  }

  static void Reset() {
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    ClearMessageQueue();
    ClearKeyStates();
    gReceived.clear();
  }

  HWND Create(int x = 10, int y = 20, int width = 320, int height = 240) {
    window_ = CreateWindowExA(0, "VXG", "Vorlix", WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX, x, y, width, height,
                              nullptr, nullptr);
    return window_;
  }

  static void Push(SDL_Event event) { ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError(); }

  // A key going down or up, on a layout where the scan code types the symbol.
  static void Key(Uint32 type, SDL_Scancode code, SDL_Keycode sym, Uint16 mod = KMOD_NONE) {
    Push(Event(type, code, sym, mod));
  }

  // Takes every waiting message, as the main loop does.
  static std::vector<MSG> Drain() {
    std::vector<MSG> taken;
    MSG msg{};
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) taken.push_back(msg);
    return taken;
  }

  // The messages the window received once every waiting message is dispatched.
  static std::vector<Received> DispatchAll() {
    gReceived.clear();
    for (const MSG& msg : Drain()) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    return gReceived;
  }

  HWND window_ = nullptr;
};

TEST_F(WindowTest, FirstShowingReportsSizePositionAndFocus) {
  EXPECT_TRUE(IsHeadless());
  ASSERT_NE(Create(10, -20, 320, 240), nullptr);
  EXPECT_EQ(NativeWindowOf(window_), nullptr);
  EXPECT_TRUE(gReceived.empty());  // nothing until shown

  EXPECT_FALSE(ShowWindow(window_, SW_SHOWNORMAL));
  const std::vector<Received> shown{
      {WM_SIZE, 0, Pack(320, 240)}, {WM_MOVE, 0, Pack(10, -20)}, {WM_ACTIVATE, WA_ACTIVE, 0}};
  EXPECT_EQ(gReceived, shown);
  // Showing a shown window reports nothing; the procedure's SW_RESTORE did not recurse either.
  gReceived.clear();
  EXPECT_TRUE(ShowWindow(window_, SW_RESTORE));
  EXPECT_TRUE(gReceived.empty());

  EXPECT_TRUE(MoveWindow(window_, 0, 0, 320, 240, TRUE_));
  EXPECT_TRUE(MoveWindow(window_, 0, 0, 640, 480, TRUE_));
  EXPECT_EQ(gReceived, (std::vector<Received>{{WM_MOVE, 0, Pack(0, 0)}, {WM_SIZE, 0, Pack(640, 480)}}));

  gReceived.clear();
  EXPECT_TRUE(ShowWindow(window_, SW_HIDE));
  EXPECT_FALSE(ShowWindow(window_, SW_SHOW));  // hidden, so shown anew with the new geometry
  EXPECT_EQ(gReceived.at(0), (Received{WM_SIZE, 0, Pack(640, 480)}));
  EXPECT_TRUE(SetWindowTextA(window_, "/games/caf\xE9/game.exe"));
  EXPECT_TRUE(DispatchAll().empty());
}

TEST_F(WindowTest, DestroyingSendsDestroyAndRetiresTheHandle) {
  ASSERT_NE(Create(), nullptr);
  PostMessageA(window_, WM_CHAR, 'x', 0);
  PostMessageA(nullptr, WM_CHAR, 'y', 0);
  EXPECT_TRUE(DestroyWindow(window_));
  EXPECT_EQ(gReceived, (std::vector<Received>{{WM_DESTROY, 0, 0}}));

  // Its waiting messages went with it; a thread message stays and is dispatched nowhere.
  const std::vector<MSG> left = Drain();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].wParam, WPARAM{'y'});
  EXPECT_EQ(DispatchMessageA(&left[0]), 0);

  gReceived.clear();
  EXPECT_FALSE(DestroyWindow(window_));
  EXPECT_FALSE(ShowWindow(window_, SW_SHOW));
  EXPECT_FALSE(MoveWindow(window_, 0, 0, 1, 1, FALSE_));
  EXPECT_EQ(SendMessageA(window_, WM_CLOSE, 0, 0), 0);
  EXPECT_TRUE(gReceived.empty());
  EXPECT_EQ(DispatchMessageA(nullptr), 0);

  // Default processing of a close, by message or system command, destroys.
  for (const UINT message : {WM_CLOSE, WM_SYSCOMMAND}) {
    ASSERT_NE(Create(), nullptr);
    const MSG msg{window_, message, message == WM_SYSCOMMAND ? SC_CLOSE : 0, 0, 0, {0, 0}};
    EXPECT_EQ(DispatchMessageA(&msg), 0);
    EXPECT_EQ(gReceived.back().message, WM_DESTROY) << message;
    EXPECT_FALSE(DestroyWindow(window_));
  }
  window_ = nullptr;
}

TEST_F(WindowTest, ClassesAndCreationFailures) {
  const WNDCLASSA duplicate{0, &RecordingProc, 0, nullptr, "vxg"};  // class names ignore case
  EXPECT_FALSE(RegisterClassA(&duplicate));
  const WNDCLASSA noProcedure{0, nullptr, 0, nullptr, "Other"};
  EXPECT_FALSE(RegisterClassA(&noProcedure));
  EXPECT_FALSE(RegisterClassA(nullptr));
  EXPECT_EQ(CreateWindowExA(0, "Unknown", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr), nullptr);
  EXPECT_EQ(CreateWindowExA(0, nullptr, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr), nullptr);

  SetWindowCreationFails(true);
  EXPECT_EQ(Create(), nullptr);
  SetWindowCreationFails(false);
  ASSERT_NE(Create(), nullptr);
  EXPECT_FALSE(UnregisterClassA("VXG"));  // a window of the class exists
  EXPECT_FALSE(UnregisterClassA("Unknown"));
}

TEST_F(WindowTest, KeysBecomeVirtualKeyMessages) {
  const struct { SDL_Scancode code; SDL_Keycode sym; Uint16 mod; WPARAM virtualKey; } cases[] = {
      {SDL_SCANCODE_A, SDLK_a, KMOD_NONE, 'A'},
      {SDL_SCANCODE_Q, SDLK_a, KMOD_NONE, 'A'},          // a French keyboard: the key typing "a"
      {SDL_SCANCODE_1, SDLK_AMPERSAND, KMOD_NONE, '1'},  // its number row still gives digits
      {SDL_SCANCODE_F, 0x0430, KMOD_NONE, 'F'},          // a Cyrillic layout
      {SDL_SCANCODE_M, SDLK_COMMA, KMOD_NONE, 0xBC},     {SDL_SCANCODE_0, SDLK_0, KMOD_NONE, '0'},
      {SDL_SCANCODE_F1, SDLK_F1, KMOD_NONE, 0x70},       {SDL_SCANCODE_F12, SDLK_F12, KMOD_NONE, 0x7B},
      {SDL_SCANCODE_SPACE, SDLK_SPACE, KMOD_NONE, 0x20}, {SDL_SCANCODE_LEFT, SDLK_LEFT, KMOD_NONE, 0x25},
      {SDL_SCANCODE_DOWN, SDLK_DOWN, KMOD_NONE, 0x28},   {SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, KMOD_NONE, 0x10},
      {SDL_SCANCODE_RCTRL, SDLK_RCTRL, KMOD_NONE, 0x11}, {SDL_SCANCODE_LALT, SDLK_LALT, KMOD_NONE, 0x12},
      {SDL_SCANCODE_KP_4, SDLK_KP_4, KMOD_NUM, 0x64},    {SDL_SCANCODE_DELETE, SDLK_DELETE, KMOD_NONE, 0x2E},
      {SDL_SCANCODE_KP_4, SDLK_KP_4, KMOD_NONE, 0x25},  // Num Lock off: the arrow on the key
  };
  ASSERT_NE(Create(), nullptr);
  for (const auto& c : cases) {
    Key(SDL_KEYDOWN, c.code, c.sym, c.mod);
    Key(SDL_KEYUP, c.code, c.sym, c.mod);
    const std::vector<MSG> taken = Drain();
    ASSERT_EQ(taken.size(), 2u) << c.code;
    EXPECT_EQ(taken[0].hwnd, window_);
    EXPECT_EQ(std::pair(taken[0].message, taken[1].message), std::pair(UINT{WM_KEYDOWN}, UINT{WM_KEYUP}));
    EXPECT_EQ(taken[0].wParam, c.virtualKey) << SDL_GetScancodeName(c.code);
    EXPECT_EQ(taken[1].wParam, c.virtualKey);
    // The transition bit tells a release.
    EXPECT_EQ(static_cast<uint32_t>(taken[0].lParam) >> 31, 0u);
    EXPECT_EQ(static_cast<uint32_t>(taken[1].lParam) >> 31, 1u);
  }
}

TEST_F(WindowTest, TypedCharactersAreCodePage1252) {
  ASSERT_NE(Create(), nullptr);
  Push(TextEvent("a\xC3\xA9"));          // a, e acute
  Push(TextEvent("\xE2\x82\xAC"));       // euro sign
  Push(TextEvent("\xE4\xB8\xAD" "b"));   // a CJK character has no byte: dropped
  Push(TextEvent("\xC5\x92\xFF" "c"));   // OE ligature, then a byte that is not UTF-8
  // Control characters come from the keys themselves, after the key-down, never from a release.
  const std::pair<SDL_Scancode, SDL_Keycode> controls[] = {{SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE},
      {SDL_SCANCODE_TAB, SDLK_TAB}, {SDL_SCANCODE_RETURN, SDLK_RETURN}, {SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER},
      {SDL_SCANCODE_ESCAPE, SDLK_ESCAPE}};
  for (const auto& [code, sym] : controls) {
    Key(SDL_KEYDOWN, code, sym);
    Key(SDL_KEYUP, code, sym);
  }
  std::vector<std::pair<UINT, WPARAM>> messages;
  for (const MSG& msg : Drain()) {
    // TranslateMessage adds nothing: the characters are already queued.
    EXPECT_EQ(TranslateMessage(&msg), msg.message == WM_CHAR ? FALSE_ : TRUE_);
    messages.emplace_back(msg.message, msg.wParam);
  }
  std::vector<std::pair<UINT, WPARAM>> expected;
  for (const WPARAM typed : std::vector<WPARAM>{'a', 0xE9, 0x80, 'b', 0x8C, 'c'}) expected.emplace_back(WM_CHAR, typed);
  for (const WPARAM key : {8, 9, 13, 13, 27}) {
    for (const UINT message : {WM_KEYDOWN, WM_CHAR, WM_KEYUP}) expected.emplace_back(message, key);
  }
  EXPECT_EQ(messages, expected);
  EXPECT_TRUE(Drain().empty());
}

TEST_F(WindowTest, MouseMessagesCarryClientCoordinatesAndButtons) {
  ASSERT_NE(Create(), nullptr);
  Push(Event(SDL_MOUSEMOTION, 100, 200));
  Push(Event(SDL_MOUSEBUTTONDOWN, 5, 6, SDL_BUTTON_LEFT));
  Push(Event(SDL_MOUSEMOTION, 639, 479));
  Push(Event(SDL_MOUSEBUTTONUP, 7, 8, SDL_BUTTON_LEFT));
  Push(Event(SDL_MOUSEBUTTONDOWN, 9, 10, SDL_BUTTON_RIGHT));
  Push(Event(SDL_MOUSEBUTTONUP, 11, 12, SDL_BUTTON_RIGHT));
  Push(Event(SDL_MOUSEBUTTONDOWN, 0, 0, SDL_BUTTON_MIDDLE));  // no message, only its key state
  const std::vector<Received> expected{
      {WM_MOUSEMOVE, 0, Pack(100, 200)},      {WM_LBUTTONDOWN, 0x0001, Pack(5, 6)},
      {WM_MOUSEMOVE, 0x0001, Pack(639, 479)}, {WM_LBUTTONUP, 0, Pack(7, 8)},
      {WM_RBUTTONDOWN, 0x0002, Pack(9, 10)},  {WM_RBUTTONUP, 0, Pack(11, 12)}};
  EXPECT_EQ(DispatchAll(), expected);
  EXPECT_NE(GetAsyncKeyState(VK_MBUTTON), 0);
  EXPECT_EQ(GetAsyncKeyState(VK_LBUTTON), 0);
}

TEST_F(WindowTest, WindowEventsAndQuit) {
  ASSERT_NE(Create(10, 20, 320, 240), nullptr);
  ShowWindow(window_, SW_SHOW);
  Push(WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED));
  Push(WindowEvent(SDL_WINDOWEVENT_MOVED, 10, 20));  // where it already is: not reported again
  Push(WindowEvent(SDL_WINDOWEVENT_MOVED, 30, 40));
  Push(WindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 800, 600));
  Push(WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST));
  const std::vector<Received> expected{{WM_ACTIVATE, WA_ACTIVE, 0}, {WM_MOVE, 0, Pack(30, 40)},
                                       {WM_SIZE, 0, Pack(800, 600)}, {WM_ACTIVATE, WA_INACTIVE, 0}};
  EXPECT_EQ(DispatchAll(), expected);

  for (const bool quit : {true, false}) {
    if (!window_) {
      ASSERT_NE(Create(), nullptr);
    }
    Push(quit ? Event(SDL_QUIT) : WindowEvent(SDL_WINDOWEVENT_CLOSE));
    EXPECT_EQ(DispatchAll(), (std::vector<Received>{{WM_CLOSE, 0, 0}, {WM_DESTROY, 0, 0}})) << quit;
    window_ = nullptr;
  }
  // With no window, events still move key states but post nothing; a quit request ends the loop.
  Key(SDL_KEYDOWN, SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
  Push(WindowEvent(SDL_WINDOWEVENT_CLOSE));
  EXPECT_TRUE(Drain().empty());
  EXPECT_NE(GetAsyncKeyState(VK_ESCAPE), 0);
  Push(Event(SDL_QUIT));
  const std::vector<MSG> taken = Drain();
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_EQ(taken[0].message, WM_QUIT);
}

TEST_F(WindowTest, KeyStateFollowsPushedKeys) {
  // GetAsyncKeyState reads the events itself, so a busy wait on a key ends without a message loop.
  Key(SDL_KEYDOWN, SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
  EXPECT_EQ(GetAsyncKeyState(VK_ESCAPE) & 0x8000, 0x8000);
  EXPECT_EQ(GetAsyncKeyState(VK_F11), 0);
  Key(SDL_KEYUP, SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
  EXPECT_EQ(GetAsyncKeyState(VK_ESCAPE), 0);

  // The side-less modifier is down while either side is.
  Key(SDL_KEYDOWN, SDL_SCANCODE_LSHIFT, SDLK_LSHIFT);
  Key(SDL_KEYDOWN, SDL_SCANCODE_RSHIFT, SDLK_RSHIFT);
  Key(SDL_KEYUP, SDL_SCANCODE_LSHIFT, SDLK_LSHIFT);
  EXPECT_NE(GetAsyncKeyState(VK_SHIFT), 0);
  EXPECT_EQ(GetAsyncKeyState(VK_LSHIFT), 0);
  EXPECT_NE(GetAsyncKeyState(VK_RSHIFT), 0);
  Key(SDL_KEYUP, SDL_SCANCODE_RSHIFT, SDLK_RSHIFT);
  EXPECT_EQ(GetAsyncKeyState(VK_SHIFT), 0);

  // Losing the focus releases held keys: their releases go to another program.
  Key(SDL_KEYDOWN, SDL_SCANCODE_F12, SDLK_F12);
  EXPECT_NE(GetAsyncKeyState(VK_F12), 0);
  Push(WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST));
  EXPECT_EQ(GetAsyncKeyState(VK_F12), 0);
  EXPECT_EQ(GetAsyncKeyState(-1), 0);
  EXPECT_EQ(GetAsyncKeyState(256), 0);
}

std::vector<Uint32> gHeard;
void Listen(const SDL_Event& event) { gHeard.push_back(event.type); }

TEST_F(WindowTest, ListenersSeeEveryEvent) {
  gHeard.clear();
  AddPlatformEventListener(&Listen);
  AddPlatformEventListener(&Listen);  // once only
  Push(Event(SDL_MOUSEMOTION, 1, 1));
  Push(Event(SDL_USEREVENT));
  PumpPlatformEvents();
  RemovePlatformEventListener(&Listen);
  Push(Event(SDL_MOUSEMOTION, 2, 2));
  PumpPlatformEvents();
  EXPECT_EQ(gHeard, (std::vector<Uint32>{SDL_MOUSEMOTION, SDL_USEREVENT}));
}

TEST_F(WindowTest, MessageBoxesCursorAndSystemSettings) {
  const struct { const char *text, *caption, *line; } cases[] = {
      {"Runtime Error 105 - Array does not exist", "Error In Program",
       "Error In Program: Runtime Error 105 - Array does not exist\n"},
      {"Can't create OLE.", nullptr, "Can't create OLE.\n"},
      {"bye", "", "bye\n"},
      {"line 1\r\nline 2", "ERRORINFO: x", "ERRORINFO: x: line 1\nline 2\n"},
  };
  for (const auto& c : cases) {  // headless, a message box goes to standard error
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, c.text, c.caption, MB_OK | MB_ICONSTOP), IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line);
  }
  EXPECT_EQ(ShowCursor(FALSE_), -1);
  EXPECT_EQ(ShowCursor(FALSE_), -2);
  EXPECT_EQ(ShowCursor(TRUE_), -1);
  EXPECT_EQ(ShowCursor(TRUE_), 0);
  EXPECT_TRUE(SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, FALSE_, nullptr, 0));
  EXPECT_FALSE(SystemParametersInfoA(0x1234, 0, nullptr, 0));
  EXPECT_EQ(GetSystemMetrics(99), 0);
}

}  // namespace
}  // namespace vx::win
