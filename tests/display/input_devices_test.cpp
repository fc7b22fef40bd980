// The run's input devices: the first joystick and its name, the control device chosen by name
// with its prepared effects, the mouse fold into the pointer values, focus loss, and the frame's
// clearing of the wheel movement.
#include <string>

#include "display/display_state.h"
#include "platform/win/time.h"
#include "system/system_state.h"
#include "tests/display/input_test_support.h"

namespace vx {
namespace {

using test::gForceLog;
using win::RecordedForceCall;

class InputDeviceTest : public test::InputDevicesTest {};

TEST_F(InputDeviceTest, FirstJoystickIsOpenedAndNamed) {
  Attach("Plain Stick");
  Attach("Force Pad");
  Init();
  EXPECT_EQ(gJoystickName, "Plain Stick");
  ASSERT_NE(gJoystickDevice, nullptr);
  EXPECT_EQ(gControlDevice, nullptr);
  EXPECT_EQ(gForceFeedbackReady, 0);
}

TEST_F(InputDeviceTest, JoystickWhoseSetUpFailedLeavesNoNameAndNoDevice) {
  Attach("Plain Stick");
  win::SetDeviceCreationFails(win::DIDEVTYPE_JOYSTICK, true);
  Init();
  EXPECT_TRUE(gJoystickName.empty());
  EXPECT_EQ(gJoystickDevice, nullptr);
  UnacquireInputDevices();
  EXPECT_EQ(RefreshInputState(), 1);  // keyboard and mouse acquired again; nothing else to touch
  EXPECT_EQ(gJoystickState.lX, 0);
  EXPECT_EQ(gJoystickState.rgdwPOV[0], 0u);
}

TEST_F(InputDeviceTest, LongProductNamesAreCutToTheNameBuffer) {
  Attach(std::string(300, 'n'));
  Init();
  EXPECT_EQ(gJoystickName, std::string(255, 'n'));
}

TEST_F(InputDeviceTest, ControlDeviceChoice) {
  Attach("Plain Stick");
  Attach("Force Pad");
  Init();
  struct Case {
    const char* name;
    int opened;
    int ready;
    const char* active;
  };
  const Case cases[] = {
      {"Force Pad", 1, 1, "Force Pad"},
      {"Plain Stick", 1, 0, "Plain Stick"},
      {"force pad", 0, 0, "Plain Stick"},  // exact names only; the last open name stays
      {"Nothing", 0, 0, "Plain Stick"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gForceLog = {};
    gControlDeviceName = c.name;
    EXPECT_EQ(OpenControlDevice(), c.opened);
    EXPECT_EQ(gForceFeedbackReady, c.ready);
    EXPECT_EQ(gActiveControlName, c.active);
    EXPECT_EQ(gControlDevice != nullptr, c.opened == 1);
  }
  // The force-feedback device gets its ten effects prepared without any starting.
  gForceLog = {};
  gControlDeviceName = "Force Pad";
  ASSERT_EQ(OpenControlDevice(), 1);
  int created = 0;
  for (const RecordedForceCall& call : gForceLog.calls) {
    EXPECT_NE(call.kind, RecordedForceCall::Start);
    if (call.kind == RecordedForceCall::Create) ++created;
  }
  EXPECT_EQ(created, 10);
  for (win::DirectInputEffect* effect : gForceEffects) EXPECT_NE(effect, nullptr);
  // Without periodic effects the vibrations are left out.
  gForceLog = {};
  gForceLog.periodic = false;
  ASSERT_EQ(OpenControlDevice(), 1);
  EXPECT_EQ(gForceEffects[kForceFastVibration], nullptr);
  EXPECT_EQ(gForceEffects[kForceSlowVibration], nullptr);
  EXPECT_NE(gForceEffects[kForceDamperB], nullptr);
}

TEST_F(InputDeviceTest, ControlDeviceThatIsTheJoystickFeedsBothTables) {
  SDL_Joystick* pad = Attach("Force Pad");
  Init();
  ASSERT_EQ(gJoystickName, "Force Pad");
  gControlDeviceName = "Force Pad";
  ASSERT_EQ(OpenControlDevice(), 1);
  SDL_JoystickSetVirtualAxis(pad, 0, 32767);
  SDL_JoystickSetVirtualButton(pad, 2, 1);
  RefreshInputState();
  EXPECT_EQ(gJoystickState.lX, 1000);
  EXPECT_EQ(gControlDeviceState.lX, 1000);
  EXPECT_EQ(gJoystickState.rgbButtons[2], 0x80);
}

TEST_F(InputDeviceTest, JoystickAxesUseTheDeadZoneAndRange) {
  SDL_Joystick* stick = Attach("Plain Stick");
  Init();
  SDL_JoystickSetVirtualAxis(stick, 0, -32768);
  SDL_JoystickSetVirtualAxis(stick, 1, 2000);  // inside the tenth round the centre
  SDL_JoystickSetVirtualAxis(stick, 5, 16384);
  SDL_JoystickSetVirtualHat(stick, 0, SDL_HAT_LEFT);
  RefreshInputState();
  EXPECT_EQ(gJoystickState.lX, -1000);
  EXPECT_EQ(gJoystickState.lY, 0);
  EXPECT_EQ(gJoystickState.lRz, 444);
  EXPECT_EQ(gJoystickState.rgdwPOV[0], 27000u);
  EXPECT_EQ(gJoystickState.rgdwPOV[1], win::kPovCentred);
}

TEST_F(InputDeviceTest, MouseFold) {
  gDisplayWidth = 640;
  gDisplayHeight = 480;
  struct Case {
    uint32_t windowMode;
    uint32_t pointer;
    win::DIMOUSESTATE delta;
    int32_t x, y, z, buttons, moveX, moveZ;
  };
  const Case cases[] = {
      // Full screen: the pointer moves and stops at the display's edges; the wheel at 0 and 99.
      {0, 0, {500, -300, 120, {0x80, 0, 0x80, 0}}, 639, 0, 99, 5, 500, 120},
      {0, 0, {-700, 20, -360, {0, 0x80, 0, 0x80}}, 0, 260, 0, 10, -700, -360},
      // In a window without the software pointer the messages own the position and buttons.
      {1, 0, {50, 50, 0, {0x80, 0, 0, 0}}, 320, 240, 50, 0, 50, 0},
      {1, 1, {-20, 5, 3, {0x80, 0, 0, 0}}, 300, 245, 53, 1, -20, 3},
  };
  for (const Case& c : cases) {
    gMouseX = 320, gMouseY = 240, gMouseZ = 50, gMouseButtons = 0;
    gMouseMoveX = gMouseMoveY = gMouseMoveZ = 0;
    gWindowMode = c.windowMode;
    gPointerSpritesOn = c.pointer;
    gMouseState = c.delta;
    FoldMouseState();
    EXPECT_EQ(gMouseX, c.x);
    EXPECT_EQ(gMouseY, c.y);
    EXPECT_EQ(gMouseZ, c.z);
    EXPECT_EQ(gMouseButtons, c.buttons);
    EXPECT_EQ(gMouseMoveX, c.moveX);
    EXPECT_EQ(gMouseMoveZ, c.moveZ);
  }
  gWindowMode = 1;
  gPointerSpritesOn = 0;
}

TEST_F(InputDeviceTest, WheelMovementIsClearedWithTheFrame) {
  gMouseMoveX = 4;
  gMouseMoveZ = 240;
  gAppActive = 1;
  gLastFrameTime = win::timeGetTime() - 1000;  // the frame time has passed
  FrameUpdate();
  EXPECT_EQ(gMouseMoveX, 0);
  EXPECT_EQ(gMouseMoveZ, 0);
}

TEST_F(InputDeviceTest, LosingTheFocusReleasesKeysAndButtons) {
  Init();
  Key(SDL_SCANCODE_RIGHT, true);
  EXPECT_EQ(RefreshInputState(), 0);
  EXPECT_EQ(gKeyState[win::DIK_RIGHT], 0x80);
  gMouseButtons = 1;
  gJoystickState.rgbButtons[0] = 0x80;
  gHasFocus = 0;
  EXPECT_EQ(RefreshInputState(), 1);
  EXPECT_EQ(gKeyState[win::DIK_RIGHT], 0);
  EXPECT_EQ(gMouseButtons, 0);
  EXPECT_EQ(gJoystickState.rgbButtons[0], 0);
  gHasFocus = 1;
}

TEST_F(InputDeviceTest, EditorScreensReadOnlyTheKeyboard) {
  Init();
  gWindowMode = 0;
  SDL_Event motion{};
  motion.type = SDL_MOUSEMOTION;
  motion.motion.xrel = 7;
  Push(motion);
  gEditorScreenState = 2;
  gMouseMoveX = 0;
  RefreshInputState();
  EXPECT_EQ(gMouseMoveX, 0);
  gEditorScreenState = 0;
  RefreshInputState();
  EXPECT_EQ(gMouseMoveX, 7);
  gWindowMode = 1;
}

TEST_F(InputDeviceTest, CreationFailuresAreLogged) {
  win::SetDirectInputCreationFails(true);
  EXPECT_FALSE(InitInputDevices(nullptr, nullptr));
  win::SetDirectInputCreationFails(false);
  win::SetDeviceCreationFails(win::DIDEVTYPE_MOUSE, true);
  EXPECT_FALSE(InitInputDevices(nullptr, nullptr));
  EXPECT_EQ(gKeyboardDevice, nullptr);  // released again
  win::SetDeviceCreationFails(win::DIDEVTYPE_MOUSE, false);
}

TEST_F(InputDeviceTest, EffectDurations) {
  const std::pair<int32_t, win::DWORD> cases[] = {
      {0, win::INFINITE}, {1, 51000}, {100, 150000}, {4000000, 4000050000u},
      {INT32_MAX, win::INFINITE - 1}, {-1000, 0}};
  for (const auto& [ms, us] : cases) EXPECT_EQ(EffectDuration(ms), us) << ms;
}

}  // namespace
}  // namespace vx
