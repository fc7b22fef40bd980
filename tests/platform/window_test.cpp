// The window layer on SDL's dummy driver: window life and the messages it sends, SDL events
// turned into messages and key states, and injected faults.
#include <gtest/gtest.h>

#include <SDL.h>

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

SDL_Event Event(Uint32 type, Uint8 windowEvent = 0) {
  SDL_Event event{};
  event.type = type;
  event.window.event = windowEvent;
  return event;
}

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

  HWND Create(int x = 10, int y = 20) {
    window_ =
        CreateWindowExA(0, "VXG", "Vorlix", WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX, x, y, 320, 240, nullptr, nullptr);
    return window_;
  }

  static void Push(SDL_Event event) { ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError(); }

  // A key going down or up, on a layout where the scan code types the symbol.
  static void Key(Uint32 type, SDL_Scancode code, SDL_Keycode sym, Uint16 mod = KMOD_NONE) {
    SDL_Event event = Event(type);
    event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym = {code, sym, mod, 0};
    Push(event);
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
  ASSERT_NE(Create(10, -20), nullptr);
  EXPECT_TRUE(gReceived.empty());  // nothing until shown

  EXPECT_FALSE(ShowWindow(window_, SW_SHOWNORMAL));
  const std::vector<Received> shown{{WM_SIZE, 0, Pack(320, 240)},
                                    {WM_MOVE, 0, Pack(10, -20)},
                                    {WM_ACTIVATE, WA_ACTIVE, 0}};
  EXPECT_EQ(gReceived, shown);
  // Showing a shown window reports nothing; the procedure's SW_RESTORE did not recurse either.
  gReceived.clear();
  EXPECT_TRUE(ShowWindow(window_, SW_RESTORE));
  EXPECT_TRUE(gReceived.empty());
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
  EXPECT_EQ(SendMessageA(window_, WM_CLOSE, 0, 0), 0);
  EXPECT_TRUE(gReceived.empty());

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

TEST_F(WindowTest, AnInjectedCreationFailureMakesNoWindow) {
  SetWindowCreationFails(true);
  EXPECT_EQ(Create(), nullptr);
  SetWindowCreationFails(false);
  ASSERT_NE(Create(), nullptr);
  EXPECT_FALSE(UnregisterClassA("VXG"));  // a window of the class exists
}

TEST_F(WindowTest, KeysBecomeVirtualKeyMessages) {
  const struct {
    SDL_Scancode code;
    SDL_Keycode sym;
    Uint16 mod;
    WPARAM virtualKey;
  } cases[] = {
      {SDL_SCANCODE_A, SDLK_a, KMOD_NONE, 'A'},
      {SDL_SCANCODE_Q, SDLK_a, KMOD_NONE, 'A'},          // a French keyboard: the key typing "a"
      {SDL_SCANCODE_1, SDLK_AMPERSAND, KMOD_NONE, '1'},  // its number row still gives digits
      {SDL_SCANCODE_F, 0x0430, KMOD_NONE, 'F'},          // a Cyrillic layout
      {SDL_SCANCODE_KP_4, SDLK_KP_4, KMOD_NONE, 0x25},   // Num Lock off: the arrow on the key
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
  Push(TextEvent("a\xC3\xA9"));     // a, e acute
  Push(TextEvent("\xE2\x82\xAC"));  // euro sign
  Push(
      TextEvent("\xE4\xB8\xAD"
                "b"));  // a CJK character has no byte: dropped
  Push(
      TextEvent("\xC5\x92\xFF"
                "c"));  // OE ligature, then a byte that is not UTF-8
  // Control characters come from the keys themselves, after the key-down, never from a release.
  Key(SDL_KEYDOWN, SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER);
  Key(SDL_KEYUP, SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER);
  std::vector<std::pair<UINT, WPARAM>> messages;
  for (const MSG& msg : Drain()) {
    // TranslateMessage adds nothing: the characters are already queued.
    EXPECT_EQ(TranslateMessage(&msg), msg.message == WM_CHAR ? FALSE_ : TRUE_);
    messages.emplace_back(msg.message, msg.wParam);
  }
  std::vector<std::pair<UINT, WPARAM>> expected;
  for (const WPARAM typed : std::vector<WPARAM>{'a', 0xE9, 0x80, 'b', 0x8C, 'c'}) expected.emplace_back(WM_CHAR, typed);
  for (const UINT message : {WM_KEYDOWN, WM_CHAR, WM_KEYUP}) expected.emplace_back(message, 13);
  EXPECT_EQ(messages, expected);
  EXPECT_TRUE(Drain().empty());
}

TEST_F(WindowTest, CloseRequestsAndQuit) {
  for (const bool quit : {true, false}) {
    ASSERT_NE(Create(), nullptr);
    Push(quit ? Event(SDL_QUIT) : Event(SDL_WINDOWEVENT, SDL_WINDOWEVENT_CLOSE));
    EXPECT_EQ(DispatchAll(), (std::vector<Received>{{WM_CLOSE, 0, 0}, {WM_DESTROY, 0, 0}})) << quit;
    window_ = nullptr;
  }
  // With no window, events still move key states but post nothing; a quit request ends the loop.
  Key(SDL_KEYDOWN, SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
  Push(Event(SDL_WINDOWEVENT, SDL_WINDOWEVENT_CLOSE));
  EXPECT_TRUE(Drain().empty());
  EXPECT_NE(GetAsyncKeyState(VK_ESCAPE), 0);
  Push(Event(SDL_QUIT));
  const std::vector<MSG> taken = Drain();
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_EQ(taken[0].message, WM_QUIT);
}

TEST_F(WindowTest, LosingTheFocusReleasesHeldKeysAndKeysOutsideTheTableAreUp) {
  Key(SDL_KEYDOWN, SDL_SCANCODE_F12, SDLK_F12);
  EXPECT_EQ(GetAsyncKeyState(VK_F12) & 0x8000, 0x8000);      // read without a message loop
  Push(Event(SDL_WINDOWEVENT, SDL_WINDOWEVENT_FOCUS_LOST));  // the key's release goes to another program
  EXPECT_EQ(GetAsyncKeyState(VK_F12), 0);
  EXPECT_EQ(GetAsyncKeyState(-1), 0);
  EXPECT_EQ(GetAsyncKeyState(256), 0);
}

TEST_F(WindowTest, WindowRectanglesOfACaptionedStyleHoldTheFrameRoundTheClientArea) {
  ASSERT_NE(Create(10, 20), nullptr);
  ShowWindow(window_, SW_SHOWNORMAL);
  gReceived.clear();
  EXPECT_EQ(DWORD(SetWindowLongA(window_, GWL_STYLE, LONG(WS_OVERLAPPEDWINDOW))),
            WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX);
  EXPECT_EQ(DWORD(GetWindowLongA(window_, GWL_STYLE)), WS_OVERLAPPEDWINDOW);
  EXPECT_TRUE(gReceived.empty()) << "the client area stays where it is";
  // A border on each side and the caption above: the client area is 640 x 480 at (4, 23).
  EXPECT_TRUE(MoveWindow(window_, 0, 0, 640 + 2 * kFrameBorder, 480 + 2 * kFrameBorder + kFrameCaption, TRUE_));
  const std::vector<Received> framed{{WM_MOVE, 0, Pack(4, 23)}, {WM_SIZE, 0, Pack(640, 480)}};
  EXPECT_EQ(gReceived, framed);
  // Without a caption the window is its client area.
  gReceived.clear();
  SetWindowLongA(window_, GWL_STYLE, LONG(WS_POPUP));
  EXPECT_TRUE(MoveWindow(window_, 0, 0, 640, 480, TRUE_));
  const std::vector<Received> bare{{WM_MOVE, 0, Pack(0, 0)}};
  EXPECT_EQ(gReceived, bare);
  EXPECT_EQ(SetWindowLongA(window_, 0, 1), 0) << "only the style is kept";
}

}  // namespace
}  // namespace vx::win
