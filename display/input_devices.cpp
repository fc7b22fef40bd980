// The run's input devices and their state tables. Devices are created at start-up, acquired with
// the display and read once per main-loop turn (and again by input commands when the dispatcher
// asks for a fresh poll). A joystick or control device that cannot be set up is skipped quietly.
#include "display/input_devices.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "common/host_state.h"
#include "common/interpreter_state.h"
#include "common/runtime_hooks.h"
#include "display/display.h"
#include "display/mouse_pointer.h"
#include "ide/language.h"
#include "platform/win/window.h"
#include "surfaces/display_state.h"
#include "system/system_state.h"

namespace vx {

using namespace win;

InputState gInputState;

std::function<bool(PictureRect*, int*, int*)> gFullScreenPicture = LastPictureRect;

namespace {

HWND gInputWindow = nullptr;  // kept for the cooperative levels of later devices

// Names are kept to the 255 characters the system's name buffers hold.
std::string BoundedName(const char (&name)[260]) { return std::string(name, strnlen(name, 255)); }

bool SameNameIgnoringCase(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

void ReleaseDevice(DirectInputDevice*& device) {
  if (!device) return;
  device->Unacquire();
  device->Release();
  device = nullptr;
}

// A device read with one re-acquisition when it has lost its input; false when both reads fail
// (the table keeps its previous state).
bool ReadDevice(DirectInputDevice* device, DWORD size, void* data, bool poll, int& reacquired) {
  if (poll) device->Poll();
  if (!DiFailed(device->GetDeviceState(size, data))) return true;
  device->Acquire();
  if (poll) device->Poll();
  reacquired = 1;
  return !DiFailed(device->GetDeviceState(size, data));
}

BOOL OpenJoystickCallback(const DIDEVICEINSTANCEA* instance, void*) {
  DirectInputDevice* device = nullptr;
  if (DiFailed(gDirectInput->CreateDevice(instance->guidInstance, &device))) return DIENUM_CONTINUE;
  if (DiFailed(device->SetDataFormat(DataFormat::c_dfDIJoystick)) ||
      DiFailed(device->SetCooperativeLevel(gInputWindow, DISCL_EXCLUSIVE | DISCL_BACKGROUND))) {
    device->Release();
    return DIENUM_CONTINUE;
  }
  for (DWORD offset : {DIJOFS_X, DIJOFS_Y, DIJOFS_Z, DIJOFS_RX, DIJOFS_RY, DIJOFS_RZ})
    device->SetAxisRange(offset, -kAxisRange, kAxisRange);
  device->SetDeadZone(kJoystickDeadZone);
  // Only a joystick that is set up is named, so a failed one leaves nothing behind.
  gJoystickName = BoundedName(instance->tszProductName);
  gJoystickDevice = device;
  return DIENUM_STOP;
}

void OpenFirstJoystick() {
  gJoystickDevice = nullptr;
  gJoystickName.clear();
  gDirectInput->EnumDevices(DIDEVTYPE_JOYSTICK, OpenJoystickCallback, nullptr, DIEDFL_ATTACHEDONLY);
}

BOOL OpenControlCallback(const DIDEVICEINSTANCEA* instance, void* opened) {
  if (BoundedName(instance->tszProductName) != gControlDeviceName) return DIENUM_CONTINUE;
  DirectInputDevice* device = nullptr;
  if (DiFailed(gDirectInput->CreateDevice(instance->guidInstance, &device))) return DIENUM_CONTINUE;
  if (DiFailed(device->SetCooperativeLevel(gInputWindow, DISCL_EXCLUSIVE | DISCL_BACKGROUND)) ||
      DiFailed(device->SetDataFormat(DataFormat::c_dfDIJoystick))) {
    device->Release();
    return DIENUM_CONTINUE;
  }
  for (DWORD offset : {DIJOFS_X, DIJOFS_Y, DIJOFS_Z}) device->SetAxisRange(offset, -kAxisRange, kAxisRange);
  device->SetAutoCenter(false);
  ReleaseDevice(gControlDevice);
  gControlDevice = device;
  gControlDevice->Acquire();
  *static_cast<bool*>(opened) = true;
  return DIENUM_STOP;
}

bool EnumerateControlDevice(DWORD flags) {
  bool opened = false;
  gDirectInput->EnumDevices(DIDEVTYPE_JOYSTICK, OpenControlCallback, &opened, flags);
  return opened;
}

DIEFFECT BaseEffect(DWORD flags, DWORD duration) {
  DIEFFECT effect;
  effect.dwFlags = flags;
  effect.dwDuration = duration;
  return effect;
}

// Updates and starts the slot's effect, or makes it (started only when asked).
void PlayEffect(int slot, EffectType type, const DIEFFECT& effect, DWORD updateFlags, int start) {
  if (!gControlDevice) return;
  DirectInputEffect*& held = gForceEffects[size_t(slot)];
  if (held) {
    held->SetParameters(effect, updateFlags | DIEP_START);
    return;
  }
  if (DiFailed(gControlDevice->CreateEffect(type, effect, &held))) {
    held = nullptr;
    return;
  }
  if (start == 1) held->Start(1, 0);
}

void PlayConstant(int slot, int magnitude, LONG direction, DWORD duration, DWORD updateFlags, int start) {
  DIEFFECT effect = BaseEffect(DIEFF_POLAR | DIEFF_OBJECTOFFSETS, duration);
  effect.rglDirection[0] = direction;
  effect.constant.lMagnitude = magnitude * 100;
  PlayEffect(slot, EffectType::ConstantForce, effect, updateFlags, start);
}

void PlayPeriodic(int slot, int magnitude, int duration, DWORD period, int start) {
  DIEFFECT effect = BaseEffect(DIEFF_POLAR | DIEFF_OBJECTOFFSETS, EffectDuration(duration));
  effect.periodic = {static_cast<DWORD>(magnitude * 100), 0, 0, period};
  if (!gControlDevice || !gControlDevice->HasPeriodicEffect()) return;
  PlayEffect(slot, EffectType::Periodic, effect, DIEP_DURATION | DIEP_TYPESPECIFICPARAMS, start);
}

void ReleaseHeldButtons() {
  gKeyState.fill(0);
  std::memset(gMouseState.rgbButtons, 0, sizeof gMouseState.rgbButtons);
  gMouseButtons = 0;
  std::memset(gJoystickState.rgbButtons, 0, sizeof gJoystickState.rgbButtons);
  std::memset(gControlDeviceState.rgbButtons, 0, sizeof gControlDeviceState.rgbButtons);
}

int32_t ClampedSum(int32_t value, int32_t delta, int32_t low, int32_t high) {
  return static_cast<int32_t>(std::clamp<int64_t>(int64_t{value} + delta, low, std::max(low, high)));
}

int32_t WrappingSum(int32_t value, int32_t delta) {
  return static_cast<int32_t>(static_cast<uint32_t>(value) + static_cast<uint32_t>(delta));
}

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

AxisScale gScaleX, gScaleY;

// The scales of the full-screen picture shown in the window; false when the picture is not shown
// scaled (headless, or in a window), where window and picture pixels are the same.
bool FullScreenScales() {
  PictureRect shown{};
  int width = 0, height = 0;
  if (gWindowMode != 0 || gFullScreen != 1 || !gFullScreenPicture || !gFullScreenPicture(&shown, &width, &height) ||
      shown.width <= 0 || shown.height <= 0 || width <= 0 || height <= 0)
    return false;
  const AxisScale x{width, shown.width, shown.x}, y{height, shown.height, shown.y};
  // A new place starts the running sums again.
  if (!(x == gScaleX)) gScaleX = x;
  if (!(y == gScaleY)) gScaleY = y;
  return true;
}

// The system pointer in the window's client area; false when it cannot be had.
bool PointerInWindow(int64_t* x, int64_t* y) {
  POINT cursor{};
  if (!GetCursorPos(&cursor) || !gMainWindow) return false;
  const RECT client = gClientAreaOnScreen(gMainWindow);
  *x = int64_t{cursor.x} - client.left;
  *y = int64_t{cursor.y} - client.top;
  return true;
}

}  // namespace

DWORD EffectDuration(int32_t milliseconds) {
  if (milliseconds == 0) return INFINITE;
  const double microseconds = (milliseconds / 1000.0 + 0.05) * 1000000.0;
  // A long duration stops just short of endless instead of wrapping round to a short one.
  return static_cast<DWORD>(std::clamp(microseconds, 0.0, static_cast<double>(INFINITE - 1)));
}

bool InitInputDevices(HINSTANCE instance, HWND window) {
  if (DiFailed(DirectInputCreateA(instance, 0x0700, &gDirectInput))) {
    gDirectInput = nullptr;
    EngineErrorLog("Failed to create DirectInput Interface");
    return false;
  }
  auto makeSystemDevice = [&](const DeviceGuid& guid, DataFormat format, DirectInputDevice*& device) {
    if (DiFailed(gDirectInput->CreateDevice(guid, &device))) return false;
    return !DiFailed(device->SetDataFormat(format)) &&
           !DiFailed(device->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND));
  };
  if (!makeSystemDevice(GUID_SysKeyboard, DataFormat::c_dfDIKeyboard, gKeyboardDevice)) {
    ReleaseInputDevices();
    EngineErrorLog("Failed to create DirectInput Keyboard Device");
    return false;
  }
  if (!makeSystemDevice(GUID_SysMouse, DataFormat::c_dfDIMouse, gMouseDevice)) {
    ReleaseInputDevices();
    EngineErrorLog("Failed to create DirectInput Mouse Device");
    return false;
  }
  gInputWindow = window;
  OpenFirstJoystick();
  gControlDevice = nullptr;
  gControlDeviceName.clear();
  gActiveControlName.clear();
  gForceFeedbackReady = 0;
  gForceEffects.fill(nullptr);
  return true;
}

int OpenControlDevice() {
  if (!gDirectInput) return 0;
  ReleaseForceEffects();
  ReleaseDevice(gControlDevice);
  gForceFeedbackReady = 0;
  if (EnumerateControlDevice(DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK)) {
    if (gJoystickDevice && SameNameIgnoringCase(gJoystickName, gControlDeviceName)) {
      // Both must refer to the same hardware.
      gJoystickDevice->Unacquire();
      ReleaseDevice(gControlDevice);
      EnumerateControlDevice(DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK);
    }
    if (!gControlDevice) return 0;
    gActiveControlName = gControlDeviceName;
    for (int direction = 1; direction <= 4; ++direction) PlayDirectionalForce(direction, 100, 0);
    PlayAngleForce(100, 0, 100, 0);
    PlayFastVibration(100, 100, 0);
    PlayTimedConstantForce(100, 100, 0);
    PlaySlowVibration(100, 100, 0);
    PlayDamper(100, 0, 0);
    gForceFeedbackReady = 1;
    return 1;
  }
  if (!EnumerateControlDevice(DIEDFL_ATTACHEDONLY)) return 0;
  gActiveControlName = gControlDeviceName;
  return 1;
}

void PlayDirectionalForce(int direction, int magnitude, int start) {
  static constexpr LONG kDirections[4] = {18000, 0, 9000, 27000};
  if (direction < 1 || direction > 4) return;
  PlayConstant(kForceUp + direction - 1, magnitude, kDirections[direction - 1], 100000,
               DIEP_DIRECTION | DIEP_TYPESPECIFICPARAMS, start);
}

void PlayAngleForce(int magnitude, int angle, int duration, int start) {
  PlayConstant(kForceAngle, magnitude, angle * 100, EffectDuration(duration),
               DIEP_DIRECTION | DIEP_TYPESPECIFICPARAMS | DIEP_DURATION, start);
}

void PlayTimedConstantForce(int magnitude, int duration, int start) {
  PlayConstant(kForceTimedConstant, magnitude, 0, EffectDuration(duration),
               DIEP_DIRECTION | DIEP_TYPESPECIFICPARAMS | DIEP_DURATION, start);
}

void PlayFastVibration(int magnitude, int duration, int start) {
  PlayPeriodic(kForceFastVibration, magnitude, duration, 50000, start);
}

void PlaySlowVibration(int magnitude, int duration, int start) {
  PlayPeriodic(kForceSlowVibration, magnitude, duration, 100000, start);
}

void PlayDamper(int magnitude, int duration, int start) {
  for (int k = 0; k < 2; ++k) {
    DIEFFECT effect = BaseEffect(DIEFF_CARTESIAN | DIEFF_OBJECTOFFSETS, EffectDuration(duration));
    effect.rglDirection[0] = effect.rglDirection[1] = k == 0 ? 1 : -1;
    effect.condition = {0, magnitude * 50, 0, 10000, 0, 0};
    PlayEffect(kForceDamperA + k, EffectType::Damper, effect, DIEP_DURATION | DIEP_TYPESPECIFICPARAMS, start);
  }
}

void ReleaseForceEffects() {
  for (DirectInputEffect*& effect : gForceEffects) {
    if (effect) effect->Release();
    effect = nullptr;
  }
  gForceFeedbackReady = 0;
}

void ReleaseInputDevices() {
  ReleaseForceEffects();
  ReleaseDevice(gControlDevice);
  ReleaseDevice(gJoystickDevice);
  ReleaseDevice(gMouseDevice);
  ReleaseDevice(gKeyboardDevice);
  gJoystickName.clear();
  gActiveControlName.clear();
  if (gDirectInput) gDirectInput->Release();
  gDirectInput = nullptr;
}

void AcquireInputDevices() {
  for (DirectInputDevice* device : {gKeyboardDevice, gMouseDevice, gJoystickDevice, gControlDevice})
    if (device) device->Acquire();
}

void UnacquireInputDevices() {
  for (DirectInputDevice* device : {gKeyboardDevice, gMouseDevice, gJoystickDevice, gControlDevice})
    if (device) device->Unacquire();
}

void FoldMouseState() {
  const bool pointerMoves = gPointerSpritesOn != 0 || gWindowMode == 0;
  const bool scaled = FullScreenScales();
  const int32_t moveX = scaled ? gScaleX.Move(gMouseState.lX) : gMouseState.lX;
  const int32_t moveY = scaled ? gScaleY.Move(gMouseState.lY) : gMouseState.lY;
  int64_t pointerX = 0, pointerY = 0;
  if (pointerMoves && scaled && (gMouseState.lX != 0 || gMouseState.lY != 0) && PointerInWindow(&pointerX, &pointerY)) {
    // Where the player sees the pointer; a pointer that did not move keeps a place the program set.
    gMouseX = gScaleX.At(pointerX, gDisplayWidth - 1);
    gMouseY = gScaleY.At(pointerY, gDisplayHeight - 1);
  } else if (pointerMoves) {
    gMouseX = ClampedSum(gMouseX, moveX, 0, gDisplayWidth - 1);
    gMouseY = ClampedSum(gMouseY, moveY, 0, gDisplayHeight - 1);
  }
  gMouseMoveX = WrappingSum(gMouseMoveX, moveX);
  gMouseMoveY = WrappingSum(gMouseMoveY, moveY);
  gMouseZ = ClampedSum(gMouseZ, gMouseState.lZ, 0, 99);
  gMouseMoveZ = WrappingSum(gMouseMoveZ, gMouseState.lZ);
  if (pointerMoves) {
    gMouseButtons = 0;
    for (int i = 0; i < 4; ++i)
      if (gMouseState.rgbButtons[i]) gMouseButtons |= 1 << i;
    gMouseButtonPresses |= gMouseButtons;
  }
}

int RefreshInputState() {
  if (!gHasFocus) {
    // The releases go to another window, so nothing may stay held until the focus returns.
    ReleaseHeldButtons();
    return 1;
  }
  if (!gAppActive) return 0;
  int result = 0;
  if (gKeyboardDevice) ReadDevice(gKeyboardDevice, sizeof gKeyState, gKeyState.data(), false, result);
  if (gEditorScreenState > 1) return result;
  if (gMouseDevice) {
    // A failed read leaves old deltas in the table, which must not move the pointer twice.
    if (ReadDevice(gMouseDevice, sizeof gMouseState, &gMouseState, false, result)) FoldMouseState();
  }
  if (gJoystickDevice) {
    const bool shared = gControlDevice && SameNameIgnoringCase(gJoystickName, gControlDeviceName);
    ReadDevice(shared ? gControlDevice : gJoystickDevice, sizeof gJoystickState, &gJoystickState, true, result);
  }
  if (gControlDevice) ReadDevice(gControlDevice, sizeof gControlDeviceState, &gControlDeviceState, true, result);
  return result;
}

void PollInputIfDue() {
  if (!gInputPollDue) return;
  RefreshInputState();
  gInputPollDue = 0;
}

void ResetMousePosition() {
  gMouseX = 320;
  gMouseY = 240;
  gMouseZ = 50;
  gMouseButtons = 0;
  gMouseButtonPresses = 0;
}

int32_t TakeMouseButtons() {
  const int32_t buttons = gMouseButtons | gMouseButtonPresses;
  gMouseButtonPresses = 0;
  return buttons;
}

void ResetKeyboardBuffer() {
  gKeyboardBuffer.assign(256, '\0');
  gKeyboardBufferCount = 0;
}

void ReleaseKeyboardBuffer() {
  gKeyboardBuffer.clear();
  gKeyboardBuffer.shrink_to_fit();
  gKeyboardBufferCount = 0;
}

}  // namespace vx
