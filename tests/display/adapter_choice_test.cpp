// The choice of the display card on a machine with two cards: the stored card and depth of a fresh
// per-user profile, the choice screen and the capability screen with the input a player gives
// (posted while a screen waits), the probe at 16, 24 and 32 bits, what the screens show, and the
// stored choice used silently at the next start.
#include <cstdlib>
#include <optional>

#include "platform/ddraw/presentation.h"
#include "platform/win/profile.h"
#include "platform/win/time.h"
#include "tests/display/bitmap_test_support.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

using namespace win;

constexpr const char* kSecondCard = "Vorlix Test Accelerator";

struct Input {
  UINT message;
  WPARAM wParam = 0;
};
using Batch = std::vector<Input>;

// What the player does: a batch of input each time a screen waits with nothing to do.
struct Player {
  std::vector<Batch> onChoice, onCapabilities;
  Batch duringProbe;             // given before the capability screen shows
  int idleTurns[3] = {0, 0, 0};  // by screen
  int pauses = 0;
  std::optional<PresentedFrame> choicePicture, capabilityPicture;
};
Player gPlayer;

void Give(const Batch& batch) {
  for (const Input& input : batch) {
    if (input.message == WM_QUIT) {
      PostQuitMessage(int(input.wParam));
    } else {
      PostMessageA(Host().gMainWindow, input.message, input.wParam, 0);
    }
  }
}

void PlayerSleep(DWORD) {
  if (!Adapter().gCardScreenShown) {
    if (gPlayer.pauses++ == 0) Give(gPlayer.duringProbe);
    return;
  }
  const bool choice = Adapter().gCardScreenMode == 1;
  int& turns = gPlayer.idleTurns[choice ? 1 : 2];
  if (turns++ == 0) (choice ? gPlayer.choicePicture : gPlayer.capabilityPicture) = LastPresentedFrame();
  std::vector<Batch>& batches = choice ? gPlayer.onChoice : gPlayer.onCapabilities;
  if (batches.empty()) {
    ADD_FAILURE() << "screen " << Adapter().gCardScreenMode << " waits for input the player does not give";
    PostQuitMessage(99);
    return;
  }
  Give(batches.front());
  batches.erase(batches.begin());
}

int Count(const PresentedFrame& frame, uint32_t colour, const RECT& area) {
  int n = 0;
  for (LONG y = area.top; y < area.bottom; ++y)
    for (LONG x = area.left; x < area.right; ++x)
      n += frame.pixels[size_t(y) * size_t(frame.width) + size_t(x)] == colour;
  return n;
}

constexpr uint32_t kOrange = 0xFFC028, kDarkOrange = 0xF09614, kWhite = 0xFFFFFF, kYellow = 0xFFFF00, kRed = 0xFF0000,
                   kGrey = 0x404040;

class AdapterChoiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) savedConfig_ = old;
    setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
    test::PrepareHeadlessDisplay("VXCARD", 640, 480);
    savedClientArea_ = gClientAreaOnScreen;
    gClientAreaOnScreen = [](HWND) { return RECT{0, 0, 640, 480}; };
    gPlayer = Player{};
    gCardScreenSleep = PlayerSleep;
    Display().gChosenCardName.clear();
    Display().gDisplay3DDepth = 16;
  }
  void TearDown() override {
    gCardScreenSleep = win::Sleep;
    gClientAreaOnScreen = savedClientArea_;
    test::ReleaseHeadlessDisplay();
    Display().gChosenCardName.clear();
    Display().gDisplay3DDepth = 16;
    Display().gFullScreen = 1;
    if (savedConfig_) {
      setenv("XDG_CONFIG_HOME", savedConfig_->c_str(), 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
  }

  // The second card offers 32-bit modes only, so that the probe finds 3D at its third depth.
  static GUID AddSecondCard() {
    DisplayDriverInfo card;
    card.description = kSecondCard;
    card.name = "vxaccel";
    card.modes = {{640, 480, 32}, {800, 600, 32}};
    return AddDisplayDriver(card);
  }
  static std::string Stored(const char* key) { return ReadUserProfileString("VorlixStateData", key, "<none>"); }
  static void Store(const char* key, const char* value) {
    ASSERT_TRUE(WriteUserProfileString("VorlixStateData", key, value));
  }
  // A start: the choice as start-up runs it, with what it read reset first.
  static bool Start() {
    Display().gChosenCardName.clear();
    Display().gDisplay3DDepth = 16;
    return ChooseBestDisplayCard(Host().gMainWindow);
  }

  test::TempFolder config_;
  std::optional<std::string> savedConfig_;
  std::function<RECT(HWND)> savedClientArea_;
};

TEST_F(AdapterChoiceTest, TheAskedChoiceIsProbedShownRememberedAndUsedAtTheNextStart) {
  const GUID second = AddSecondCard();
  ListDisplayCards();
  ASSERT_EQ(Adapter().gDisplayCards, (std::vector<std::string>{kPrimaryCardName, kSecondCard}));
  EXPECT_EQ(Adapter().gPrimaryCardDescription, kPrimaryCardName);

  Store("BEST3DCARD", "**ASK**");  // the value matches in any case
  // Keys outside 1 to 2 and clicks choose nothing; the key typed is not lost to the key release
  // and the mouse move right behind it.
  gPlayer.onChoice = {{{WM_CHAR, '0'}},
                      {{WM_CHAR, '3'}},
                      {{WM_LBUTTONDOWN}},
                      {{WM_CHAR, '2'}, {WM_KEYUP}, {WM_MOUSEMOVE}}};
  gPlayer.duringProbe = {{WM_CHAR, 'z'}, {WM_LBUTTONDOWN}};  // answers nothing on the next screen
  gPlayer.onCapabilities = {{{WM_RBUTTONDOWN}}};
  ASSERT_TRUE(Start());
  EXPECT_EQ(gPlayer.idleTurns[1], 4);
  EXPECT_EQ(gPlayer.idleTurns[2], 1);
  EXPECT_EQ(Adapter().gCardScreenShown, 0);
  EXPECT_EQ(Display().gChosenCardName, kSecondCard);
  EXPECT_EQ(Display().gDisplay3DDepth, 32) << "the second card has no 16- or 24-bit mode";
  EXPECT_EQ(Adapter().gCardCapabilities, (std::array<int32_t, 4>{1, 1, 1, 1}));
  EXPECT_EQ(Stored("BEST3DCARD"), kSecondCard);
  EXPECT_EQ(Stored("BEST3DDEPTH"), "32");
  EXPECT_NE(std::string(Runtime().gLastEngineError).find("Could not set a display mode of 640x480x24"),
            std::string::npos);
  EXPECT_EQ(LiveDirectDrawCount(), 0u) << "the probe and the screens leave nothing made";
  EXPECT_FALSE(QuitMessagePending());

  // The choice screen: a box of 300x200 centred in the window with a grey frame, the title, two
  // card lines and three lines below them.
  ASSERT_TRUE(gPlayer.choicePicture);
  const PresentedFrame& choice = *gPlayer.choicePicture;
  ASSERT_EQ(choice.width, 640);
  ASSERT_EQ(choice.height, 480);
  const LONG left = 170, top = 135;
  EXPECT_EQ(Count(choice, kGrey, RECT{left + 2, top + 2, left + 4, top + 198}), 2 * 196);
  EXPECT_EQ(Count(choice, kGrey, RECT{0, 0, 640, 480}), 296 * 196 - 292 * 192) << "the frame is the only grey";
  EXPECT_GT(Count(choice, kOrange, RECT{left, top + 16, left + 300, top + 30}), 20);
  EXPECT_GT(Count(choice, kWhite, RECT{left, top + 46, left + 300, top + 60}), 20);
  EXPECT_GT(Count(choice, kWhite, RECT{left, top + 60, left + 300, top + 74}), 20);
  EXPECT_EQ(Count(choice, kWhite, RECT{left, top + 74, left + 300, top + 96}), 0);
  EXPECT_GT(Count(choice, kOrange, RECT{left, top + 96, left + 300, top + 124}), 40);
  EXPECT_GT(Count(choice, kDarkOrange, RECT{left, top + 124, left + 300, top + 138}), 20);
  EXPECT_EQ(Count(choice, kWhite, RECT{0, 0, left, 480}), 0) << "nothing outside the box";

  // The capability screen: four rows of white labels with a yellow "Yes" each.
  ASSERT_TRUE(gPlayer.capabilityPicture);
  const PresentedFrame& capabilities = *gPlayer.capabilityPicture;
  const LONG capTop = 143;  // the box sits 16 lower in the larger area
  for (LONG row = 0; row < 4; ++row) {
    SCOPED_TRACE(row);
    const RECT labels{left + 16, capTop + 46 + 14 * row, left + 250, capTop + 60 + 14 * row};
    const RECT answers{left + 252, capTop + 46 + 14 * row, left + 296, capTop + 60 + 14 * row};
    EXPECT_GT(Count(capabilities, kWhite, labels), 20);
    EXPECT_GT(Count(capabilities, kYellow, answers), 5);
    EXPECT_EQ(Count(capabilities, kRed, answers), 0);
  }
  EXPECT_GT(Count(capabilities, kOrange, RECT{left, capTop + 16, left + 300, capTop + 30}), 20);
  EXPECT_GT(Count(capabilities, kDarkOrange, RECT{left, capTop + 156, left + 300, capTop + 170}), 20);

  // The next start uses the stored card and depth without a screen, and DirectDraw takes the card.
  gPlayer = Player{};
  ASSERT_TRUE(Start());
  EXPECT_EQ(gPlayer.pauses + gPlayer.idleTurns[1] + gPlayer.idleTurns[2], 0);
  EXPECT_EQ(Display().gChosenCardName, kSecondCard);
  EXPECT_EQ(Display().gDisplay3DDepth, 32);
  Display().gFullScreen = 1;
  ASSERT_EQ(EnumerateDisplayCards(0, 1), 1);
  EXPECT_EQ(Display().gDirectDraw->DriverGuid(), second);
  EXPECT_EQ(Display().gCurrentCardName, kSecondCard);
  ReleaseDirectDrawObjects(0);

  // "**ask**" written back brings the choice back; leaving it with Esc keeps the question.
  Store("BEST3DCARD", "**ask**");
  gPlayer = Player{};
  gPlayer.onChoice = {{{WM_KEYDOWN, WPARAM(VK_ESCAPE)}}};
  EXPECT_FALSE(Start());
  EXPECT_EQ(gPlayer.idleTurns[1], 1);
  EXPECT_TRUE(QuitMessagePending());
  EXPECT_EQ(Stored("BEST3DCARD"), "**ask**");
  EXPECT_EQ(Adapter().gCardScreenShown, 0);
}

TEST_F(AdapterChoiceTest, EachScreenEndsOnItsAnswerOrOnAQuit) {
  struct Case {
    const char* what;
    bool twoCards;  // else the choice screen is skipped
    Batch onChoice, onCapabilities;
    bool goesOn;
    const char* storedCard;
    const char* storedDepth;
  };
  const Case cases[] = {
      {"a key", false, {}, {{WM_CHAR, 'q'}}, true, kPrimaryCardName, "16"},
      {"a left click", false, {}, {{WM_LBUTTONDOWN}}, true, kPrimaryCardName, "16"},
      {"a right click", false, {}, {{WM_RBUTTONDOWN}}, true, kPrimaryCardName, "16"},
      {"Esc on the capabilities", false, {}, {{WM_KEYDOWN, WPARAM(VK_ESCAPE)}}, false, kPrimaryCardName, "16"},
      {"a quit on the capabilities", false, {}, {{WM_QUIT, 3}}, false, kPrimaryCardName, "16"},
      {"the window closed on the capabilities", false, {}, {{WM_CLOSE}}, false, kPrimaryCardName, "16"},
      {"key 1 on the choice", true, {{WM_CHAR, '1'}}, {{WM_CHAR, ' '}}, true, kPrimaryCardName, "16"},
      {"a quit on the choice", true, {{WM_QUIT, 0}}, {}, false, "**ask**", "<none>"},
      {"the window closed on the choice", true, {{WM_CLOSE}}, {}, false, "**ask**", "<none>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ResetDisplayFaults();
    if (c.twoCards) AddSecondCard();
    Store("BEST3DCARD", "**ask**");
    WritePrivateProfileStringA("VorlixStateData", "BEST3DDEPTH", nullptr, UserProfilePath().c_str());
    gPlayer = Player{};
    if (!c.onChoice.empty()) gPlayer.onChoice = {c.onChoice};
    if (!c.onCapabilities.empty()) gPlayer.onCapabilities = {c.onCapabilities};
    EXPECT_EQ(Start(), c.goesOn);
    EXPECT_EQ(QuitMessagePending(), !c.goesOn) << "a quit stays for the program's end";
    EXPECT_EQ(Adapter().gCardScreenShown, 0);
    EXPECT_EQ(gPlayer.idleTurns[1], c.twoCards ? 1 : 0);
    EXPECT_EQ(Stored("BEST3DCARD"), c.storedCard);
    EXPECT_EQ(Stored("BEST3DDEPTH"), c.storedDepth);
    EXPECT_EQ(LiveDirectDrawCount(), 0u);
    ClearMessageQueue();
  }
}

TEST_F(AdapterChoiceTest, ACardWithoutHardware3DIsReportedAt16Bits) {
  Direct3DProfile software = StandardDirect3DProfile();
  std::erase_if(software.devices, [](const DeviceProfile& d) { return d.caps.deviceGUID == IID_IDirect3DHALDevice; });
  SetDirect3DProfile(software);
  Store("BEST3DCARD", "**ask**");
  gPlayer.onCapabilities = {{{WM_CHAR, 'x'}}};
  ASSERT_TRUE(Start());
  EXPECT_EQ(gPlayer.idleTurns[1], 0) << "one card: no choice screen";
  EXPECT_EQ(Display().gDisplay3DDepth, 16);
  EXPECT_EQ(Adapter().gCardCapabilities[0], 0);
  EXPECT_EQ(Stored("BEST3DDEPTH"), "16");
  ASSERT_TRUE(gPlayer.capabilityPicture);
  const PresentedFrame& picture = *gPlayer.capabilityPicture;
  const RECT firstAnswer{422, 143 + 46, 466, 143 + 60};
  EXPECT_GT(Count(picture, kRed, firstAnswer), 5);
  EXPECT_EQ(Count(picture, kYellow, firstAnswer), 0);
  // The software device still blends, filters and fogs.
  EXPECT_GT(Count(picture, kYellow, RECT{422, 143 + 60, 466, 143 + 102}), 15);
}

TEST_F(AdapterChoiceTest, StoredCardsMatchInAnyCaseAndOnlyKnownDepthsAreTaken) {
  AddSecondCard();
  struct Case {
    const char *card, *depth;
    int16_t expected;
  };
  const Case cases[] = {
      {"vorlix test ACCELERATOR", "24", 24},
      {kSecondCard, "32", 32},
      {kSecondCard, "15", 16},
      {kSecondCard, "8", 16},
      {kSecondCard, "thirty-two", 16},
      {kSecondCard, "99999999999999999999", 16},
      {"PRIMARY DISPLAY DRIVER", " 24", 24},
      {"A Card Taken Out", "32", 16},  // the depth of a card that is gone is not read
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.card) + " / " + c.depth);
    Store("BEST3DCARD", c.card);
    Store("BEST3DDEPTH", c.depth);
    ASSERT_TRUE(Start());
    EXPECT_EQ(Display().gDisplay3DDepth, c.expected);
    EXPECT_EQ(Display().gChosenCardName, c.card);
  }
  EXPECT_EQ(gPlayer.pauses, 0);

  // The stored name finds its card whatever its case; a card that is gone leaves the primary.
  Display().gFullScreen = 1;
  for (const char* name : {"vorlix test ACCELERATOR", "A Card Taken Out", "primary display driver"}) {
    SCOPED_TRACE(name);
    Display().gChosenCardName = name;
    ASSERT_EQ(EnumerateDisplayCards(0, 1), 1);
    EXPECT_EQ(Display().gDirectDraw->DriverGuid() == GUID{}, std::string(name) != "vorlix test ACCELERATOR");
    ReleaseDirectDrawObjects(0);
  }
}

TEST_F(AdapterChoiceTest, NoStoredCardTakesTheFirstSecondaryCardWithoutAScreen) {
  const GUID second = AddSecondCard();
  ASSERT_TRUE(Start());
  EXPECT_EQ(Display().gChosenCardName, "");
  EXPECT_EQ(gPlayer.pauses, 0);
  ASSERT_EQ(EnumerateDisplayCards(0, 1), 1);
  EXPECT_EQ(Display().gDirectDraw->DriverGuid(), second);
  EXPECT_EQ(Display().gCurrentCardName, kSecondCard);
}

}  // namespace
}  // namespace vx
