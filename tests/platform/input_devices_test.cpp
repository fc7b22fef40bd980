// The input layer: scan codes, the keyboard and mouse fed from the window pump, focus loss,
// joysticks read from SDL's virtual joystick with ranges, dead zone and hats, and effects played
// on the recording force-feedback device.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstring>
#include <set>

#include "platform/input/dinput.h"
#include "platform/win/window.h"

namespace vx::win {
namespace {

class InputLayerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_JOYSTICK), 0); }
  void SetUp() override {
    ASSERT_EQ(DirectInputCreateA(nullptr, 0x0700, &input_), DI_OK);
    PumpPlatformEvents();
  }
  void TearDown() override {
    for (DirectInputDevice* device : devices_) device->Release();
    Push(WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED));
    SetForceFeedbackFactory(nullptr);
  }

  DirectInputDevice* System(const DeviceGuid& guid, DataFormat format) {
    DirectInputDevice* device = nullptr;
    EXPECT_EQ(input_->CreateDevice(guid, &device), DI_OK);
    EXPECT_EQ(device->SetDataFormat(format), DI_OK);
    EXPECT_EQ(device->SetCooperativeLevel(nullptr, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND), DI_OK);
    EXPECT_EQ(device->Acquire(), DI_OK);
    devices_.push_back(device);
    return device;
  }

  static SDL_Event WindowEvent(Uint8 what) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = what;
    return e;
  }
  static void Push(SDL_Event e) {
    SDL_PushEvent(&e);
    PumpPlatformEvents();
  }
  static void Key(SDL_Scancode code, bool down) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.keysym.scancode = code;
    Push(e);
  }

  DirectInput* input_ = nullptr;
  std::vector<DirectInputDevice*> devices_;
};

TEST_F(InputLayerTest, ScanCodesOfTheKeysTheCommandsName) {
  const std::pair<SDL_Scancode, int> keys[] = {
      {SDL_SCANCODE_UP, DIK_UP},         {SDL_SCANCODE_DOWN, DIK_DOWN},     {SDL_SCANCODE_LEFT, DIK_LEFT},
      {SDL_SCANCODE_RIGHT, DIK_RIGHT},   {SDL_SCANCODE_LCTRL, DIK_LCONTROL}, {SDL_SCANCODE_RCTRL, DIK_RCONTROL},
      {SDL_SCANCODE_LSHIFT, DIK_LSHIFT}, {SDL_SCANCODE_RSHIFT, DIK_RSHIFT}, {SDL_SCANCODE_RETURN, DIK_RETURN},
      {SDL_SCANCODE_SPACE, DIK_SPACE},   {SDL_SCANCODE_ESCAPE, DIK_ESCAPE}, {SDL_SCANCODE_A, 0x1E},
      {SDL_SCANCODE_1, 0x02},            {SDL_SCANCODE_F1, 0x3B},           {SDL_SCANCODE_F12, 0x58},
      {SDL_SCANCODE_KP_ENTER, 0x9C},     {SDL_SCANCODE_DELETE, 0xD3},       {SDL_SCANCODE_RALT, 0xB8},
  };
  for (const auto& [sdl, dik] : keys) EXPECT_EQ(DikFromScancode(sdl), dik) << SDL_GetScancodeName(sdl);
  EXPECT_EQ(DikFromScancode(-1), 0);
  EXPECT_EQ(DikFromScancode(SDL_NUM_SCANCODES), 0);
  // Every letter and digit has a code, and no two of them share one.
  std::set<int> seen;
  for (int sdl = SDL_SCANCODE_A; sdl <= SDL_SCANCODE_0; ++sdl) {
    EXPECT_NE(DikFromScancode(sdl), 0) << sdl;
    EXPECT_TRUE(seen.insert(DikFromScancode(sdl)).second) << sdl;
  }
}

TEST_F(InputLayerTest, KeyboardReadsInjectedKeysAndLosesThemWithTheFocus) {
  DirectInputDevice* keyboard = System(GUID_SysKeyboard, DataFormat::c_dfDIKeyboard);
  uint8_t keys[256];
  Key(SDL_SCANCODE_UP, true);
  Key(SDL_SCANCODE_LSHIFT, true);
  ASSERT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DI_OK);
  EXPECT_EQ(keys[DIK_UP], 0x80);
  EXPECT_EQ(keys[DIK_LSHIFT], 0x80);
  Key(SDL_SCANCODE_LSHIFT, false);
  ASSERT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DI_OK);
  EXPECT_EQ(keys[DIK_LSHIFT], 0);
  EXPECT_EQ(keyboard->GetDeviceState(100, keys), DIERR_INVALIDPARAM);

  // The up key's release goes to another window: it must not stay down.
  Push(WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST));
  EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DIERR_INPUTLOST);
  EXPECT_EQ(keyboard->Acquire(), DIERR_OTHERAPPHASPRIO);
  Push(WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED));
  ASSERT_EQ(keyboard->Acquire(), DI_OK);
  ASSERT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DI_OK);
  EXPECT_EQ(keys[DIK_UP], 0);
}

TEST_F(InputLayerTest, MouseSumsMotionAndWheelBetweenReads) {
  DirectInputDevice* mouse = System(GUID_SysMouse, DataFormat::c_dfDIMouse);
  SDL_Event e{};
  e.type = SDL_MOUSEMOTION;
  e.motion.xrel = 5;
  e.motion.yrel = -3;
  Push(e);
  Push(e);
  e = {};
  e.type = SDL_MOUSEWHEEL;
  e.wheel.y = 2;
  Push(e);
  e.wheel.direction = SDL_MOUSEWHEEL_FLIPPED;
  e.wheel.y = 1;
  Push(e);
  e = {};
  e.type = SDL_MOUSEBUTTONDOWN;
  e.button.button = SDL_BUTTON_RIGHT;
  Push(e);
  DIMOUSESTATE state{};
  ASSERT_EQ(mouse->GetDeviceState(sizeof state, &state), DI_OK);
  EXPECT_EQ(state.lX, 10);
  EXPECT_EQ(state.lY, -6);
  EXPECT_EQ(state.lZ, 120);  // two notches away, one towards
  EXPECT_EQ(state.rgbButtons[0], 0);
  EXPECT_EQ(state.rgbButtons[1], 0x80);
  ASSERT_EQ(mouse->GetDeviceState(sizeof state, &state), DI_OK);
  EXPECT_EQ(state.lX, 0);
  EXPECT_EQ(state.lZ, 0);
  EXPECT_EQ(state.rgbButtons[1], 0x80);  // still held
  Push(WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST));
  Push(WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED));
  ASSERT_EQ(mouse->Acquire(), DI_OK);
  ASSERT_EQ(mouse->GetDeviceState(sizeof state, &state), DI_OK);
  EXPECT_EQ(state.rgbButtons[1], 0);
}

class VirtualJoystickTest : public InputLayerTest {
 protected:
  void SetUp() override {
    InputLayerTest::SetUp();
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_FLIGHT_STICK;
    desc.naxes = 8;
    desc.nbuttons = 12;
    desc.nhats = 2;
    desc.name = "Test Stick";
    const int index = SDL_JoystickAttachVirtualEx(&desc);
    ASSERT_GE(index, 0) << SDL_GetError();
    handle_ = SDL_JoystickOpen(index);
    ASSERT_NE(handle_, nullptr);
    instance_ = SDL_JoystickInstanceID(handle_);
  }
  void TearDown() override {
    InputLayerTest::TearDown();
    for (int i = 0; i < SDL_NumJoysticks(); ++i)
      if (SDL_JoystickGetDeviceInstanceID(i) == instance_) SDL_JoystickDetachVirtual(i);
    SDL_JoystickClose(handle_);
  }
  DirectInputDevice* Open() {
    DirectInputDevice* device = nullptr;
    bool found = false;
    input_->EnumDevices(
        DIDEVTYPE_JOYSTICK,
        [](const DIDEVICEINSTANCEA* d, void* ref) {
          if (std::strcmp(d->tszProductName, "Test Stick") != 0) return DIENUM_CONTINUE;
          *static_cast<bool*>(ref) = true;
          return DIENUM_STOP;
        },
        &found, DIEDFL_ATTACHEDONLY);
    EXPECT_TRUE(found);
    EXPECT_EQ(input_->CreateDevice({DIDEVTYPE_JOYSTICK, instance_}, &device), DI_OK);
    EXPECT_EQ(device->SetDataFormat(DataFormat::c_dfDIJoystick), DI_OK);
    EXPECT_EQ(device->SetCooperativeLevel(nullptr, DISCL_EXCLUSIVE | DISCL_BACKGROUND), DI_OK);
    devices_.push_back(device);
    return device;
  }
  DIJOYSTATE Read(DirectInputDevice* device) {
    DIJOYSTATE state{};
    EXPECT_EQ(device->Poll(), DI_OK);
    EXPECT_EQ(device->GetDeviceState(sizeof state, &state), DI_OK);
    return state;
  }
  SDL_Joystick* handle_ = nullptr;
  SDL_JoystickID instance_ = -1;
};

TEST_F(VirtualJoystickTest, AxesAreScaledToTheRangeOutsideTheDeadZone) {
  DirectInputDevice* stick = Open();
  for (DWORD offset : {DIJOFS_X, DIJOFS_Y, DIJOFS_Z, DIJOFS_RX, DIJOFS_RY, DIJOFS_RZ})
    ASSERT_EQ(stick->SetAxisRange(offset, -1000, 1000), DI_OK);
  ASSERT_EQ(stick->SetDeadZone(1000), DI_OK);
  ASSERT_EQ(stick->Acquire(), DI_OK);
  struct Case {
    Sint16 raw;
    LONG expected;
  };
  const Case cases[] = {{0, 0}, {3000, 0}, {-3270, 0}, {32767, 1000}, {-32768, -1000}, {16384, 444}, {-16384, -444}};
  for (const Case& c : cases) {
    for (int axis = 0; axis < 6; ++axis) SDL_JoystickSetVirtualAxis(handle_, axis, c.raw);
    const DIJOYSTATE s = Read(stick);
    for (LONG v : {s.lX, s.lY, s.lZ, s.lRx, s.lRy, s.lRz}) EXPECT_EQ(v, c.expected) << c.raw;
  }
  // Sliders keep the default range 0..65535 (the dead zone still applies round the centre).
  SDL_JoystickSetVirtualAxis(handle_, 6, 32767);
  SDL_JoystickSetVirtualAxis(handle_, 7, -32768);
  const DIJOYSTATE s = Read(stick);
  EXPECT_EQ(s.rglSlider[0], 65535);
  EXPECT_EQ(s.rglSlider[1], 0);
}

TEST_F(VirtualJoystickTest, HatsAndButtons) {
  DirectInputDevice* stick = Open();
  ASSERT_EQ(stick->Acquire(), DI_OK);
  const std::pair<Uint8, DWORD> hats[] = {{SDL_HAT_CENTERED, kPovCentred}, {SDL_HAT_UP, 0},
                                          {SDL_HAT_RIGHTUP, 4500},         {SDL_HAT_RIGHT, 9000},
                                          {SDL_HAT_DOWN, 18000},           {SDL_HAT_LEFTUP, 31500}};
  for (const auto& [hat, angle] : hats) {
    SDL_JoystickSetVirtualHat(handle_, 1, hat);
    const DIJOYSTATE s = Read(stick);
    EXPECT_EQ(s.rgdwPOV[1], angle);
    EXPECT_EQ(s.rgdwPOV[0], kPovCentred);
    EXPECT_EQ(s.rgdwPOV[3], kPovCentred);  // the stick has two hats
  }
  SDL_JoystickSetVirtualButton(handle_, 0, 1);
  SDL_JoystickSetVirtualButton(handle_, 11, 1);
  const DIJOYSTATE s = Read(stick);
  EXPECT_EQ(s.rgbButtons[0], 0x80);
  EXPECT_EQ(s.rgbButtons[1], 0);
  EXPECT_EQ(s.rgbButtons[11], 0x80);
  EXPECT_EQ(s.rgbButtons[12], 0);
}

TEST_F(VirtualJoystickTest, UnacquiredOrFailedDevicesReportSo) {
  DirectInputDevice* stick = Open();
  DIJOYSTATE s{};
  EXPECT_EQ(stick->GetDeviceState(sizeof s, &s), DIERR_NOTACQUIRED);
  EXPECT_EQ(stick->SetAxisRange(2, -1, 1), DIERR_INVALIDPARAM);
  EXPECT_EQ(stick->SetDeadZone(10001), DIERR_INVALIDPARAM);
  SetDeviceCreationFails(DIDEVTYPE_JOYSTICK, true);
  DirectInputDevice* failed = nullptr;
  EXPECT_NE(input_->CreateDevice({DIDEVTYPE_JOYSTICK, instance_}, &failed), DI_OK);
  EXPECT_EQ(failed, nullptr);
  SetDeviceCreationFails(DIDEVTYPE_JOYSTICK, false);
}

TEST_F(VirtualJoystickTest, EffectsPlayOnTheForceFeedbackDevice) {
  RecordingForceFeedback* recorder = nullptr;
  SetForceFeedbackFactory([&](const std::string& name) -> std::unique_ptr<ForceFeedbackDevice> {
    if (name != "Test Stick") return nullptr;
    auto device = std::make_unique<RecordingForceFeedback>();
    recorder = device.get();
    return device;
  });
  bool listed = false;
  input_->EnumDevices(
      DIDEVTYPE_JOYSTICK,
      [](const DIDEVICEINSTANCEA* d, void* ref) {
        if (std::strcmp(d->tszProductName, "Test Stick") == 0) *static_cast<bool*>(ref) = d->forceFeedback;
        return DIENUM_CONTINUE;
      },
      &listed, DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK);
  EXPECT_TRUE(listed);
  DirectInputDevice* stick = Open();
  ASSERT_NE(recorder, nullptr);
  DIEFFECT effect;
  effect.dwFlags = DIEFF_POLAR | DIEFF_OBJECTOFFSETS;
  effect.rglDirection[0] = 9000;
  effect.constant.lMagnitude = 5000;
  DirectInputEffect* played = nullptr;
  ASSERT_EQ(stick->CreateEffect(EffectType::ConstantForce, effect, &played), DI_OK);
  effect.constant.lMagnitude = 7000;
  ASSERT_EQ(played->SetParameters(effect, DIEP_TYPESPECIFICPARAMS | DIEP_START), DI_OK);
  ASSERT_EQ(stick->SetAutoCenter(true), DI_OK);
  ASSERT_EQ(recorder->calls.size(), 4u);
  EXPECT_EQ(recorder->calls[0].kind, RecordedForceCall::Create);
  EXPECT_EQ(recorder->calls[1].kind, RecordedForceCall::Update);
  EXPECT_EQ(recorder->calls[1].effect.constant.lMagnitude, 7000);
  EXPECT_EQ(recorder->calls[2].kind, RecordedForceCall::Start);
  EXPECT_EQ(recorder->calls[3].kind, RecordedForceCall::AutoCenter);
  EXPECT_TRUE(recorder->calls[3].on);
  recorder->periodic = false;
  DirectInputEffect* none = nullptr;
  EXPECT_NE(stick->CreateEffect(EffectType::Periodic, effect, &none), DI_OK);
  EXPECT_EQ(none, nullptr);
  played->Release();
  EXPECT_EQ(recorder->calls.back().kind, RecordedForceCall::Destroy);
}

}  // namespace
}  // namespace vx::win
