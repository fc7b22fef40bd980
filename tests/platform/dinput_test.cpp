// The input layer: scan codes, and the keyboard fed from the window pump and its focus loss.
#include <gtest/gtest.h>

#include <SDL.h>

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

TEST_F(InputLayerTest, ScanCodesOutsideTheTableHaveNoneAndNoTwoKeysShareOne) {
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
  DirectInputDevice* keyboard = nullptr;
  ASSERT_EQ(input_->CreateDevice(GUID_SysKeyboard, &keyboard), DI_OK);
  devices_.push_back(keyboard);
  ASSERT_EQ(keyboard->SetDataFormat(DataFormat::c_dfDIKeyboard), DI_OK);
  ASSERT_EQ(keyboard->SetCooperativeLevel(nullptr, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND), DI_OK);
  ASSERT_EQ(keyboard->Acquire(), DI_OK);
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

}  // namespace
}  // namespace vx::win
