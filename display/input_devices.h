// The input devices of a run: the system keyboard and mouse, the first attached joystick and the
// control device chosen by name with its prepared force-feedback effects, read every frame into
// the state tables that the input commands, the mouse commands and the editor read; with them the
// mouse position, the focus and the typed characters that the window procedure keeps.
#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ddraw/presentation.h"
#include "platform/input/dinput.h"
#include "platform/win/types.h"

namespace vx {

// The prepared effects, by slot.
enum ForceSlot {
  kForceUp,
  kForceDown,
  kForceLeft,
  kForceRight,
  kForceAngle,
  kForceFastVibration,
  kForceTimedConstant,
  kForceSlowVibration,
  kForceDamperA,
  kForceDamperB,
  kForceSlotCount
};

// Window pixels to picture pixels along one axis: a scale of picture / shown, the picture's edge at
// offset in the window. Movements are scaled as a running sum, so that slow moves of less than a
// picture pixel each still add up.
struct AxisScale {
  int64_t picture = 1, shown = 1, offset = 0;
  int64_t moved = 0, given = 0;  // window pixels moved, picture pixels given out for them
  bool operator==(const AxisScale& o) const { return picture == o.picture && shown == o.shown && offset == o.offset; }
  int32_t Move(int32_t delta) {
    moved += delta;
    const int64_t total = moved * picture / shown;
    const int64_t step = total - given;
    given = total;
    return static_cast<int32_t>(std::clamp<int64_t>(step, INT32_MIN, INT32_MAX));
  }
  int32_t At(int64_t windowPoint, int32_t last) const {
    const int64_t point = (windowPoint - offset) * picture / shown;
    return static_cast<int32_t>(std::clamp<int64_t>(point, 0, std::max<int64_t>(last, 0)));
  }
};

struct InputState {
  // --- Devices -------------------------------------------------------------------------------------
  win::DirectInput* gDirectInput = nullptr;
  win::DirectInputDevice* gKeyboardDevice = nullptr;
  win::DirectInputDevice* gMouseDevice = nullptr;
  win::DirectInputDevice* gJoystickDevice = nullptr;  // first attached joystick, or null
  std::string gJoystickName;                          // its product name; empty without one
  win::DirectInputDevice* gControlDevice = nullptr;   // opened by name, or null
  std::string gControlDeviceName;                     // the name asked for
  std::string gActiveControlName;                     // the name of the device actually opened
  uint8_t gForceFeedbackReady = 0;                    // the control device plays the prepared effects

  std::array<win::DirectInputEffect*, kForceSlotCount> gForceEffects{};

  // --- State tables --------------------------------------------------------------------------------
  std::array<uint8_t, 256> gKeyState{};  // by DirectInput key code; bit 7 while down
  win::DIMOUSESTATE gMouseState{};
  win::DIJOYSTATE gJoystickState{};
  win::DIJOYSTATE gControlDeviceState{};

  // The mouse as the program sees it: from the devices in full screen, from window messages in a
  // window; the moves are the last frame's.
  int32_t gMouseX = 320, gMouseY = 240, gMouseZ = 50;  // z: the wheel, 0 to 99
  int32_t gMouseButtons = 0;                           // 1 left, 2 right, 4 middle, 8 the fourth, added
  int32_t gMouseButtonPresses = 0;                     // buttons pressed since the program last looked, held or not
  int32_t gMouseMoveX = 0, gMouseMoveY = 0, gMouseMoveZ = 0;
  int32_t gMouseClickState = 0;  // 1 left press, 2 right press, 0 released
  uint32_t gHasFocus = 1;        // the window has the keyboard focus

  // Typed characters kept by the window procedure for the keyboard commands.
  uint8_t gLastKeyChar = 0;           // character of the last WM_CHAR until the next message
  std::vector<char> gKeyboardBuffer;  // typed characters not yet taken, NUL-terminated; empty: none made
  uint32_t gKeyboardBufferCount = 0;  // characters in it

  win::HWND gInputWindow = nullptr;  // kept for the cooperative levels of later devices
  AxisScale gScaleX, gScaleY;        // window to picture pixels while a full screen shows in a window
};
extern InputState gInputState;  // the one instance (display/input_devices.cpp)
inline InputState& Input() { return gInputState; }

constexpr int32_t kAxisRange = 1000;  // axes report -1000..1000
constexpr uint32_t kJoystickDeadZone = 1000;

// --- Interfaces ----------------------------------------------------------------------------------
// Creates DirectInput, the keyboard and the mouse and opens the first joystick; 0 with a line in
// the engine error log when one of the three fails.
bool InitInputDevices(win::HINSTANCE instance, win::HWND window);
// Reads every device into its table; 1 when a device had to be acquired again or the window has
// no focus.
int RefreshInputState();
void AcquireInputDevices();
void UnacquireInputDevices();
// Opens the device named by gControlDeviceName; 1 when one was opened.
int OpenControlDevice();
void ReleaseForceEffects();
void ReleaseInputDevices();
// Reads the devices again when the dispatcher has asked for a fresh poll since the last read
// (gInputPollDue), as the key, joystick and mouse questions do.
void PollInputIfDue();
// Adds the mouse deltas of gMouseState to the pointer, wheel and movement values. A full-screen
// picture that the window shows scaled puts the pointer where the system pointer stands in the
// picture, through the presentation's scale and offset, and scales the movements the same way.
void FoldMouseState();
// Where the full-screen picture was last shown in the window and its size in pixels
// (win::LastPictureRect); false when none was. Tests replace it.
extern std::function<bool(win::PictureRect*, int*, int*)> gFullScreenPicture;
// The pointer in the middle of the screen, the wheel at 50, no button down.
void ResetMousePosition();
// The buttons as the program samples them: those held and those pressed since its last sample, so
// that a click shorter than a frame still counts once.
int32_t TakeMouseButtons();
// Makes the typed-character buffer: 256 bytes, empty.
void ResetKeyboardBuffer();
// Lets go of the typed-character buffer (the engine's release after a run).
void ReleaseKeyboardBuffer();

// Force effects: magnitude 0..100, duration in ms with 0 endless; start 1 plays at once.
void PlayDirectionalForce(int direction, int magnitude, int start);
void PlayAngleForce(int magnitude, int angle, int duration, int start);
void PlayTimedConstantForce(int magnitude, int duration, int start);
void PlayFastVibration(int magnitude, int duration, int start);
void PlaySlowVibration(int magnitude, int duration, int start);
void PlayDamper(int magnitude, int duration, int start);
// An effect duration in microseconds: 50 ms past the asked time, INFINITE for 0, and never
// wrapping into a short or endless effect.
win::DWORD EffectDuration(int32_t milliseconds);

}  // namespace vx
