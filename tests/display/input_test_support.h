// A run's input devices over SDL's virtual joysticks, with a force-feedback recorder attached to
// the joysticks whose names start with "Force".
#pragma once
#include <gtest/gtest.h>

#include <SDL.h>

#include <string>
#include <vector>

#include "display/input_devices.h"
#include "ide/language.h"
#include "platform/win/window.h"
#include "runtime/interpreter.h"
#include "runtime/main_loop.h"
#include "tests/support/run_program.h"

namespace vx::test {

// Every force-feedback device made for a test writes into one log.
inline win::RecordingForceFeedback gForceLog;

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

class InputDevicesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_JOYSTICK), 0); }

  void SetUp() override {
    PrepareRuntime();
    gForceLog = {};
    win::SetForceFeedbackFactory([](const std::string& name) -> std::unique_ptr<win::ForceFeedbackDevice> {
      if (name.rfind("Force", 0) != 0) return nullptr;
      return std::make_unique<ForwardingForceDevice>();
    });
    gHasFocus = 1;
    gAppActive = 1;
    gEditorScreenState = 0;
    gInputPollDue = 0;
  }

  void TearDown() override {
    ReleaseInputDevices();
    for (SDL_Joystick* handle : handles_) {
      const SDL_JoystickID id = SDL_JoystickInstanceID(handle);
      for (int i = 0; i < SDL_NumJoysticks(); ++i)
        if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
      SDL_JoystickClose(handle);
    }
    win::SetForceFeedbackFactory(nullptr);
    win::SetDeviceCreationFails(win::DIDEVTYPE_JOYSTICK, false);
    gKeyState.fill(0);
    gJoystickState = {};
    gControlDeviceState = {};
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

  static void Push(SDL_Event e) {
    SDL_PushEvent(&e);
    win::PumpPlatformEvents();
  }
  static void Key(SDL_Scancode code, bool down) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.keysym.scancode = code;
    Push(e);
  }

  std::vector<SDL_Joystick*> handles_;
};

}  // namespace vx::test
