// The run's input devices over SDL's virtual joysticks, with a force-feedback recorder attached to
// the joysticks whose names start with "Force": the first joystick and the control device chosen
// by name with its prepared effects, failed set-ups, focus loss, effect durations, and the input
// commands of a program: the device list and name, force commands' checks and the effects they
// play, and keys and joystick values read with numbers out of range; the mouse of a full-screen
// picture shown scaled in the window.
#include <gtest/gtest.h>

#include <SDL.h>

#include <string>
#include <vector>

#include "common/checklist.h"
#include "common/host_state.h"
#include "display/display.h"
#include "display/input_devices.h"
#include "display/mouse_pointer.h"
#include "ide/language.h"
#include "platform/win/window.h"
#include "runtime/dispatcher_state.h"
#include "runtime/main_loop.h"
#include "runtime/program_image.h"
#include "surfaces/display_state.h"
#include "system/system_state.h"
#include "tests/support/image_builder.h"
#include "tests/support/run_program.h"

namespace vx {
namespace {

using test::ImageBuilder;
using test::IntAt;
using test::IntTemp;
using test::StringTemp;
using win::RecordedForceCall;

// Every force-feedback device made for a test writes into one log.
win::RecordingForceFeedback gForceLog;

class ForwardingForceDevice : public win::ForceFeedbackDevice {
 public:
  bool SupportsPeriodic() const override { return gForceLog.periodic; }
  int CreateEffect(win::EffectType t, const win::DIEFFECT& e) override { return gForceLog.CreateEffect(t, e); }
  bool UpdateEffect(int id, const win::DIEFFECT& e) override { return gForceLog.UpdateEffect(id, e); }
  bool StartEffect(int id, win::DWORD n) override { return gForceLog.StartEffect(id, n); }
  bool StopEffect(int id) override { return gForceLog.StopEffect(id); }
  void DestroyEffect(int id) override { gForceLog.DestroyEffect(id); }
  bool SetAutoCenter(bool on) override { return gForceLog.SetAutoCenter(on); }
};

class InputTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_JOYSTICK), 0); }
  void SetUp() override {
    test::PrepareRuntime();
    gForceLog = {};
    win::SetForceFeedbackFactory([](const std::string& name) -> std::unique_ptr<win::ForceFeedbackDevice> {
      if (name.rfind("Force", 0) != 0) return nullptr;
      return std::make_unique<ForwardingForceDevice>();
    });
    Input().gHasFocus = Host().gAppActive = 1;
    Language().gEditorScreenState = Interpreter().gInputPollDue = 0;
  }
  void TearDown() override {
    FreeProgramImage();
    ReleaseInputDevices();
    for (SDL_Joystick* handle : handles_) {
      const SDL_JoystickID id = SDL_JoystickInstanceID(handle);
      for (int i = 0; i < SDL_NumJoysticks(); ++i)
        if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
      SDL_JoystickClose(handle);
    }
    win::SetForceFeedbackFactory(nullptr);
    win::SetDeviceCreationFails(win::DIDEVTYPE_JOYSTICK, false);
    Input().gKeyState.fill(0);
    Input().gJoystickState = {};
    Input().gControlDeviceState = {};
  }
  // Attaches a virtual joystick with eight axes, twelve buttons and two hats.
  SDL_Joystick* Attach(const std::string& name) {
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_FLIGHT_STICK;
    desc.naxes = 8;
    desc.nbuttons = 12;
    desc.nhats = 2;
    desc.name = name.c_str();
    const int index = SDL_JoystickAttachVirtualEx(&desc);
    EXPECT_GE(index, 0) << SDL_GetError();
    SDL_Joystick* handle = SDL_JoystickOpen(index);
    EXPECT_NE(handle, nullptr);
    handles_.push_back(handle);
    return handle;
  }
  void Init() {
    ASSERT_TRUE(InitInputDevices(nullptr, nullptr));
    AcquireInputDevices();
  }
  static void Key(SDL_Scancode code, bool down) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.keysym.scancode = code;
    SDL_PushEvent(&e);
    win::PumpPlatformEvents();
  }
  // Runs one command of integer constants, after the function's result when there is one; the
  // error of the run, and the result in IntTemp(0).
  static int32_t Run(int number, const std::vector<int32_t>& args, bool function = false) {
    FreeProgramImage();
    ImageBuilder b;
    std::vector<int> o;
    if (function) o.push_back(IntTemp(0));
    for (int32_t a : args) o.push_back(b.IntConst(a));
    o.resize(4, 0);
    const size_t n = args.size() + (function ? 1 : 0);
    if (n == 0) b.Cmd(number);
    if (n == 1) b.Cmd(number, {o[0]});
    if (n == 2) b.Cmd(number, {o[0], o[1]});
    if (n == 3) b.Cmd(number, {o[0], o[1], o[2]});
    return test::RunImage(b, 3).errorCode;
  }
  static int32_t Read(int number, const std::vector<int32_t>& args = {}) {
    EXPECT_EQ(Run(number, args, true), 0) << number;
    return IntAt(IntTemp(0));
  }
  void OpenForcePad() {
    Attach("Force Pad");
    Init();
    Input().gControlDeviceName = "Force Pad";
    ASSERT_EQ(OpenControlDevice(), 1);
    gForceLog.calls.clear();
  }
  std::vector<SDL_Joystick*> handles_;
};

TEST_F(InputTest, FirstJoystickAndControlDeviceChoice) {
  Attach("Plain Stick");
  Attach("Force Pad");
  Init();
  EXPECT_EQ(Input().gJoystickName, "Plain Stick");
  ASSERT_NE(Input().gJoystickDevice, nullptr);
  EXPECT_EQ(Input().gControlDevice, nullptr);
  EXPECT_EQ(Run(kCmdListControlDevices, {}), 0);  // the list marks force feedback
  ASSERT_EQ(Checklist().gChecklistCount, 2);
  EXPECT_EQ((std::vector{Checklist().gChecklist[0].values[0], Checklist().gChecklist[1].values[0]}),
            (std::vector{0, 1}));
  EXPECT_STREQ(Checklist().gChecklist[1].text, "Force Pad");
  const struct {
    const char* name;
    int opened, ready;
    const char* active;
  } cases[] = {
      {"Force Pad", 1, 1, "Force Pad"},
      {"Plain Stick", 1, 0, "Plain Stick"},
      {"force pad", 0, 0, "Plain Stick"},  // exact names only; the last open name stays
  };
  for (const auto& c : cases) {
    Input().gControlDeviceName = c.name;
    EXPECT_EQ(OpenControlDevice(), c.opened) << c.name;
    EXPECT_EQ(Input().gForceFeedbackReady, c.ready) << c.name;
    EXPECT_EQ(Input().gActiveControlName, c.active) << c.name;
  }
  // The force-feedback device gets its ten effects prepared without any starting.
  gForceLog = {};
  Input().gControlDeviceName = "Force Pad";
  ASSERT_EQ(OpenControlDevice(), 1);
  int created = 0;
  for (const RecordedForceCall& call : gForceLog.calls) {
    EXPECT_NE(call.kind, RecordedForceCall::Start);
    created += call.kind == RecordedForceCall::Create;
  }
  EXPECT_EQ(created, 10);
}

TEST_F(InputTest, FailedSetUpsLeaveNothingBehind) {
  Attach(std::string(300, 'n'));
  win::SetDeviceCreationFails(win::DIDEVTYPE_JOYSTICK, true);
  Init();
  EXPECT_TRUE(Input().gJoystickName.empty());
  EXPECT_EQ(Input().gJoystickDevice, nullptr);
  UnacquireInputDevices();
  EXPECT_EQ(RefreshInputState(), 1);  // keyboard and mouse acquired again; nothing else to touch
  EXPECT_EQ(Input().gJoystickState.rgdwPOV[0], 0u);
  ReleaseInputDevices();
  win::SetDeviceCreationFails(win::DIDEVTYPE_JOYSTICK, false);
  Init();
  EXPECT_EQ(Input().gJoystickName, std::string(255, 'n'));  // cut to the name buffer
  ReleaseInputDevices();

  win::SetDeviceCreationFails(win::DIDEVTYPE_MOUSE, true);
  EXPECT_FALSE(InitInputDevices(nullptr, nullptr));
  EXPECT_EQ(Input().gKeyboardDevice, nullptr);  // released again
  win::SetDeviceCreationFails(win::DIDEVTYPE_MOUSE, false);
}

TEST_F(InputTest, LosingTheFocusReleasesKeysAndButtons) {
  Init();
  Key(SDL_SCANCODE_RIGHT, true);
  EXPECT_EQ(RefreshInputState(), 0);
  EXPECT_EQ(Input().gKeyState[win::DIK_RIGHT], 0x80);
  Input().gMouseButtons = 1;
  Input().gJoystickState.rgbButtons[0] = 0x80;
  Input().gHasFocus = 0;
  EXPECT_EQ(RefreshInputState(), 1);
  EXPECT_EQ(Input().gKeyState[win::DIK_RIGHT], 0);
  EXPECT_EQ(Input().gMouseButtons, 0);
  EXPECT_EQ(Input().gJoystickState.rgbButtons[0], 0);
  Key(SDL_SCANCODE_RIGHT, false);
}

TEST_F(InputTest, EffectDurationsNeverOverflow) {
  const std::pair<int32_t, win::DWORD> cases[] = {{0, win::INFINITE},
                                                  {1, 51000},
                                                  {4000000, 4000050000u},
                                                  {INT32_MAX, win::INFINITE - 1},
                                                  {-1000, 0}};
  for (const auto& [ms, us] : cases) EXPECT_EQ(EffectDuration(ms), us) << ms;
}

TEST_F(InputTest, ControlDeviceNameNeedsADeviceAndForceCommandsNeedForceFeedback) {
  Attach("Plain Stick");
  Init();
  // No device yet: the no-name error, and the result slot holds a text, never a freed one.
  ImageBuilder b;
  b.Cmd(kCmdControlDeviceName, {StringTemp(0)});
  EXPECT_EQ(test::RunImage(b, 3).errorCode, kErrNoControlDeviceName);
  EXPECT_EQ(test::TextAt(StringTemp(0)), "");
  FreeProgramImage();
  ImageBuilder missing;
  missing.Cmd(kCmdSetControlDevice, {missing.StringConst("Missing")});
  EXPECT_EQ(test::RunImage(missing, 3).errorCode, kErrControlDeviceNotOpened);
  FreeProgramImage();
  ImageBuilder good;
  good.Cmd(kCmdSetControlDevice, {good.StringConst("Plain Stick")});
  // The second result replaces the first.
  good.Cmd(kCmdControlDeviceName, {StringTemp(0)}).Cmd(kCmdControlDeviceName, {StringTemp(0)});
  EXPECT_EQ(test::RunImage(good, 3).errorCode, 0);
  EXPECT_EQ(test::TextAt(StringTemp(0)), "Plain Stick");
  // A device without force feedback refuses the force commands even though it is open.
  EXPECT_EQ(Run(kCmdForceUp, {50}), kErrNoForceFeedbackDevice);
  EXPECT_EQ(Run(kCmdStopForceEffects, {}), kErrNoForceFeedbackDevice);
}

TEST_F(InputTest, ForceCommandsCheckInOrderAndPlayTheirEffect) {
  OpenForcePad();
  const struct {
    int command;
    std::vector<int32_t> args;
    int32_t error;
  } refused[] = {
      {kCmdForceUp, {101}, kErrForceMagnitudeOutOfRange},
      {kCmdForceAngle, {50, 361, -1}, kErrForceAngleOutOfRange},
      {kCmdForceAngle, {50, 360, -1}, kErrForceDurationOutOfRange},
      {kCmdForceFastVibration, {100, -1}, kErrForceDurationOutOfRange},
  };
  for (const auto& c : refused) {
    EXPECT_EQ(Run(c.command, c.args), c.error) << c.command;
    EXPECT_TRUE(gForceLog.calls.empty()) << c.command << ": nothing plays after a failed check";
  }
  EXPECT_EQ(Run(kCmdForceUp, {40}), 0);
  ASSERT_EQ(gForceLog.calls.size(), 2u);
  const RecordedForceCall& update = gForceLog.calls[0];
  EXPECT_EQ(update.kind, RecordedForceCall::Update);
  EXPECT_EQ(update.type, win::EffectType::ConstantForce);
  EXPECT_EQ(update.effect.dwDuration, 100000u);
  EXPECT_EQ(update.effect.rglDirection[0], 18000);
  EXPECT_EQ(update.effect.constant.lMagnitude, 4000);
  EXPECT_EQ(gForceLog.calls[1].kind, RecordedForceCall::Start);
  gForceLog.calls.clear();
  EXPECT_EQ(Run(kCmdForceConstant, {10, 0}), 0);  // no time: until stopped
  ASSERT_EQ(gForceLog.calls.size(), 2u);
  EXPECT_EQ(gForceLog.calls[0].effect.dwDuration, win::INFINITE);
}

TEST_F(InputTest, ProgramReadsKeysAndJoystickWithNumbersOutOfRange) {
  Init();
  Key(SDL_SCANCODE_LEFT, true);
  Key(SDL_SCANCODE_RSHIFT, true);
  RefreshInputState();  // the main loop's poll before the slice
  EXPECT_EQ((std::vector{Read(kCmdLeftKey), Read(kCmdRightKey), Read(kCmdShiftKey), Read(kCmdScanCodeDown, {0xCB}),
                         Read(kCmdScanCodeDown, {0x1E})}),
            (std::vector{1, 0, 1, 1, 0}));
  Key(SDL_SCANCODE_LEFT, false);
  Key(SDL_SCANCODE_RSHIFT, false);
  Input().gKeyState.fill(0x7F);  // only bit 7 counts
  EXPECT_EQ(Read(kCmdReturnKey), 0);
  Input().gKeyState.fill(0x80);
  for (int32_t code : {-1, 256, INT32_MIN}) EXPECT_EQ(Read(kCmdScanCodeDown, {code}), 0) << code;
  EXPECT_EQ(Read(kCmdScanCodeDown, {255}), 1);

  Input().gJoystickState = {};
  Input().gJoystickState.lX = -5;
  Input().gJoystickState.rgdwPOV[0] = 9000;
  Input().gJoystickState.rgdwPOV[1] = win::kPovCentred;
  Input().gJoystickState.rgbButtons[31] = 0x80;
  EXPECT_EQ((std::vector{Read(kCmdJoystickLeft), Read(kCmdJoystickX), Read(kCmdJoystickPovA), Read(kCmdJoystickPovB)}),
            (std::vector{1, -5, 9000, -1}));
  for (const auto& [n, value] : {std::pair{31, 1}, {32, 0}, {-1, 0}})
    EXPECT_EQ(Read(kCmdJoystickButton, {n}), value) << n;
  for (const auto& [n, value] : {std::pair{0, 9000}, {1, -1}, {2, 0}, {4, -1}, {-1, -1}})
    EXPECT_EQ(Read(kCmdJoystickHatAngle, {n}), value) << n;
}

// A 640x480 picture shown full screen in a window of 1024 by 768 (1.6 times) or of 1280 by 768
// (1.6 times, 128 pixels of black at each side); the pointer and its moves in picture pixels.
TEST_F(InputTest, TheMouseOfAScaledFullScreenPictureIsInPicturePixels) {
  Init();
  System().gWindowMode = 0;
  Display().gFullScreen = 1;
  Pointer().gPointerSpritesOn = 0;
  Display().gDisplayWidth = 640;
  Display().gDisplayHeight = 480;
  win::PictureRect shown{0, 0, 1024, 768};
  gFullScreenPicture = [&shown](win::PictureRect* rect, int* width, int* height) {
    *rect = shown, *width = 640, *height = 480;
    return true;
  };
  const auto clientArea = gClientAreaOnScreen;
  gClientAreaOnScreen = [](win::HWND) { return win::RECT{0, 0, 1024, 768}; };
  const win::WNDCLASSA windowClass{
      0, [](win::HWND w, win::UINT m, win::WPARAM wp, win::LPARAM lp) { return win::DefWindowProcA(w, m, wp, lp); }, 0,
      "VXMOUSE", "VXMOUSE"};
  win::RegisterClassA(&windowClass);
  Host().gMainWindow = win::CreateWindowExA(0, "VXMOUSE", "", 0, 0, 0, 1024, 768, nullptr, nullptr);
  auto move = [](int toX, int toY, int byX, int byY) {
    win::SetCursorPos(toX, toY);
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.xrel = byX;
    e.motion.yrel = byY;
    SDL_PushEvent(&e);
    win::PumpPlatformEvents();
    Input().gMouseMoveX = Input().gMouseMoveY = 0;
    RefreshInputState();
  };
  // From the middle of the screen to (200, 200).
  move(200, 200, -312, -184);
  EXPECT_EQ(std::pair(Input().gMouseX, Input().gMouseY), std::pair(125, 125));
  EXPECT_EQ(std::pair(Input().gMouseMoveX, Input().gMouseMoveY), std::pair(-195, -115));
  // Moves of one window pixel add up: eight of them are five picture pixels.
  int32_t summed = 0;
  for (int i = 0; i < 8; ++i) {
    move(201 + i, 200, 1, 0);
    summed += Input().gMouseMoveX;
  }
  EXPECT_EQ(summed, 5);
  EXPECT_EQ(Input().gMouseX, 130);
  // A place the program set stays until the pointer moves.
  Input().gMouseX = 300;
  move(208, 200, 0, 0);
  EXPECT_EQ(Input().gMouseX, 300);
  // Beside the picture the pointer stays at its edge.
  shown = win::PictureRect{128, 0, 1024, 768};
  gClientAreaOnScreen = [](win::HWND) { return win::RECT{0, 0, 1280, 768}; };
  move(640, 384, 5, 5);
  EXPECT_EQ(std::pair(Input().gMouseX, Input().gMouseY), std::pair(320, 240));
  move(50, 767, -590, 383);
  EXPECT_EQ(std::pair(Input().gMouseX, Input().gMouseY), std::pair(0, 479));
  // In a window the picture is not scaled: the deltas count as they come.
  System().gWindowMode = 1;
  Display().gFullScreen = 0;
  Pointer().gPointerSpritesOn = 1;
  Input().gMouseX = 100;
  move(0, 0, 10, 0);
  EXPECT_EQ(Input().gMouseX, 110);
  EXPECT_EQ(Input().gMouseMoveX, 10);

  win::DestroyWindow(Host().gMainWindow);
  Host().gMainWindow = nullptr;
  win::UnregisterClassA("VXMOUSE");
  gFullScreenPicture = win::LastPictureRect;
  gClientAreaOnScreen = clientArea;
  System().gWindowMode = 0;
  Pointer().gPointerSpritesOn = 0;
}

}  // namespace
}  // namespace vx
