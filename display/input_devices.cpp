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
  if (DiFailed(Input().gDirectInput->CreateDevice(instance->guidInstance, &device))) return DIENUM_CONTINUE;
  if (DiFailed(device->SetDataFormat(DataFormat::c_dfDIJoystick)) ||
      DiFailed(device->SetCooperativeLevel(Input().gInputWindow, DISCL_EXCLUSIVE | DISCL_BACKGROUND))) {
    device->Release();
    return DIENUM_CONTINUE;
  }
  for (DWORD offset : {DIJOFS_X, DIJOFS_Y, DIJOFS_Z, DIJOFS_RX, DIJOFS_RY, DIJOFS_RZ})
    device->SetAxisRange(offset, -kAxisRange, kAxisRange);
  device->SetDeadZone(kJoystickDeadZone);
  // Only a joystick that is set up is named, so a failed one leaves nothing behind.
  Input().gJoystickName = BoundedName(instance->tszProductName);
  Input().gJoystickDevice = device;
  return DIENUM_STOP;
}

void OpenFirstJoystick() {
  Input().gJoystickDevice = nullptr;
  Input().gJoystickName.clear();
  Input().gDirectInput->EnumDevices(DIDEVTYPE_JOYSTICK, OpenJoystickCallback, nullptr, DIEDFL_ATTACHEDONLY);
}

BOOL OpenControlCallback(const DIDEVICEINSTANCEA* instance, void* opened) {
  if (BoundedName(instance->tszProductName) != Input().gControlDeviceName) return DIENUM_CONTINUE;
  DirectInputDevice* device = nullptr;
  if (DiFailed(Input().gDirectInput->CreateDevice(instance->guidInstance, &device))) return DIENUM_CONTINUE;
  if (DiFailed(device->SetCooperativeLevel(Input().gInputWindow, DISCL_EXCLUSIVE | DISCL_BACKGROUND)) ||
      DiFailed(device->SetDataFormat(DataFormat::c_dfDIJoystick))) {
    device->Release();
    return DIENUM_CONTINUE;
  }
  for (DWORD offset : {DIJOFS_X, DIJOFS_Y, DIJOFS_Z}) device->SetAxisRange(offset, -kAxisRange, kAxisRange);
  device->SetAutoCenter(false);
  ReleaseDevice(Input().gControlDevice);
  Input().gControlDevice = device;
  Input().gControlDevice->Acquire();
  *static_cast<bool*>(opened) = true;
  return DIENUM_STOP;
}

bool EnumerateControlDevice(DWORD flags) {
  bool opened = false;
  Input().gDirectInput->EnumDevices(DIDEVTYPE_JOYSTICK, OpenControlCallback, &opened, flags);
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
  if (!Input().gControlDevice) return;
  DirectInputEffect*& held = Input().gForceEffects[size_t(slot)];
  if (held) {
    held->SetParameters(effect, updateFlags | DIEP_START);
    return;
  }
  if (DiFailed(Input().gControlDevice->CreateEffect(type, effect, &held))) {
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
  if (!Input().gControlDevice || !Input().gControlDevice->HasPeriodicEffect()) return;
  PlayEffect(slot, EffectType::Periodic, effect, DIEP_DURATION | DIEP_TYPESPECIFICPARAMS, start);
}

void ReleaseHeldButtons() {
  Input().gKeyState.fill(0);
  std::memset(Input().gMouseState.rgbButtons, 0, sizeof Input().gMouseState.rgbButtons);
  Input().gMouseButtons = 0;
  std::memset(Input().gJoystickState.rgbButtons, 0, sizeof Input().gJoystickState.rgbButtons);
  std::memset(Input().gControlDeviceState.rgbButtons, 0, sizeof Input().gControlDeviceState.rgbButtons);
}

int32_t ClampedSum(int32_t value, int32_t delta, int32_t low, int32_t high) {
  return static_cast<int32_t>(std::clamp<int64_t>(int64_t{value} + delta, low, std::max(low, high)));
}

int32_t WrappingSum(int32_t value, int32_t delta) {
  return static_cast<int32_t>(static_cast<uint32_t>(value) + static_cast<uint32_t>(delta));
}

// The scales of the full-screen picture shown in the window; false when the picture is not shown
// scaled (headless, or in a window), where window and picture pixels are the same.
bool FullScreenScales() {
  PictureRect shown{};
  int width = 0, height = 0;
  if (System().gWindowMode != 0 || Display().gFullScreen != 1 || !gFullScreenPicture ||
      !gFullScreenPicture(&shown, &width, &height) || shown.width <= 0 || shown.height <= 0 || width <= 0 ||
      height <= 0)
    return false;
  const AxisScale x{width, shown.width, shown.x}, y{height, shown.height, shown.y};
  // A new place starts the running sums again.
  if (!(x == Input().gScaleX)) Input().gScaleX = x;
  if (!(y == Input().gScaleY)) Input().gScaleY = y;
  return true;
}

// The system pointer in the window's client area; false when it cannot be had.
bool PointerInWindow(int64_t* x, int64_t* y) {
  POINT cursor{};
  if (!GetCursorPos(&cursor) || !Host().gMainWindow) return false;
  const RECT client = gClientAreaOnScreen(Host().gMainWindow);
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
  if (DiFailed(DirectInputCreateA(instance, 0x0700, &Input().gDirectInput))) {
    Input().gDirectInput = nullptr;
    EngineErrorLog("Failed to create DirectInput Interface");
    return false;
  }
  auto makeSystemDevice = [&](const DeviceGuid& guid, DataFormat format, DirectInputDevice*& device) {
    if (DiFailed(Input().gDirectInput->CreateDevice(guid, &device))) return false;
    return !DiFailed(device->SetDataFormat(format)) &&
           !DiFailed(device->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND));
  };
  if (!makeSystemDevice(GUID_SysKeyboard, DataFormat::c_dfDIKeyboard, Input().gKeyboardDevice)) {
    ReleaseInputDevices();
    EngineErrorLog("Failed to create DirectInput Keyboard Device");
    return false;
  }
  if (!makeSystemDevice(GUID_SysMouse, DataFormat::c_dfDIMouse, Input().gMouseDevice)) {
    ReleaseInputDevices();
    EngineErrorLog("Failed to create DirectInput Mouse Device");
    return false;
  }
  Input().gInputWindow = window;
  OpenFirstJoystick();
  Input().gControlDevice = nullptr;
  Input().gControlDeviceName.clear();
  Input().gActiveControlName.clear();
  Input().gForceFeedbackReady = 0;
  Input().gForceEffects.fill(nullptr);
  return true;
}

int OpenControlDevice() {
  if (!Input().gDirectInput) return 0;
  ReleaseForceEffects();
  ReleaseDevice(Input().gControlDevice);
  Input().gForceFeedbackReady = 0;
  if (EnumerateControlDevice(DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK)) {
    if (Input().gJoystickDevice && SameNameIgnoringCase(Input().gJoystickName, Input().gControlDeviceName)) {
      // Both must refer to the same hardware.
      Input().gJoystickDevice->Unacquire();
      ReleaseDevice(Input().gControlDevice);
      EnumerateControlDevice(DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK);
    }
    if (!Input().gControlDevice) return 0;
    Input().gActiveControlName = Input().gControlDeviceName;
    for (int direction = 1; direction <= 4; ++direction) PlayDirectionalForce(direction, 100, 0);
    PlayAngleForce(100, 0, 100, 0);
    PlayFastVibration(100, 100, 0);
    PlayTimedConstantForce(100, 100, 0);
    PlaySlowVibration(100, 100, 0);
    PlayDamper(100, 0, 0);
    Input().gForceFeedbackReady = 1;
    return 1;
  }
  if (!EnumerateControlDevice(DIEDFL_ATTACHEDONLY)) return 0;
  Input().gActiveControlName = Input().gControlDeviceName;
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
  for (DirectInputEffect*& effect : Input().gForceEffects) {
    if (effect) effect->Release();
    effect = nullptr;
  }
  Input().gForceFeedbackReady = 0;
}

void ReleaseInputDevices() {
  ReleaseForceEffects();
  ReleaseDevice(Input().gControlDevice);
  ReleaseDevice(Input().gJoystickDevice);
  ReleaseDevice(Input().gMouseDevice);
  ReleaseDevice(Input().gKeyboardDevice);
  Input().gJoystickName.clear();
  Input().gActiveControlName.clear();
  if (Input().gDirectInput) Input().gDirectInput->Release();
  Input().gDirectInput = nullptr;
}

void AcquireInputDevices() {
  for (DirectInputDevice* device :
       {Input().gKeyboardDevice, Input().gMouseDevice, Input().gJoystickDevice, Input().gControlDevice})
    if (device) device->Acquire();
}

void UnacquireInputDevices() {
  for (DirectInputDevice* device :
       {Input().gKeyboardDevice, Input().gMouseDevice, Input().gJoystickDevice, Input().gControlDevice})
    if (device) device->Unacquire();
}

void FoldMouseState() {
  const bool pointerMoves = Pointer().gPointerSpritesOn != 0 || System().gWindowMode == 0;
  const bool scaled = FullScreenScales();
  const int32_t moveX = scaled ? Input().gScaleX.Move(Input().gMouseState.lX) : Input().gMouseState.lX;
  const int32_t moveY = scaled ? Input().gScaleY.Move(Input().gMouseState.lY) : Input().gMouseState.lY;
  int64_t pointerX = 0, pointerY = 0;
  if (pointerMoves && scaled && (Input().gMouseState.lX != 0 || Input().gMouseState.lY != 0) &&
      PointerInWindow(&pointerX, &pointerY)) {
    // Where the player sees the pointer; a pointer that did not move keeps a place the program set.
    Input().gMouseX = Input().gScaleX.At(pointerX, Display().gDisplayWidth - 1);
    Input().gMouseY = Input().gScaleY.At(pointerY, Display().gDisplayHeight - 1);
  } else if (pointerMoves) {
    Input().gMouseX = ClampedSum(Input().gMouseX, moveX, 0, Display().gDisplayWidth - 1);
    Input().gMouseY = ClampedSum(Input().gMouseY, moveY, 0, Display().gDisplayHeight - 1);
  }
  Input().gMouseMoveX = WrappingSum(Input().gMouseMoveX, moveX);
  Input().gMouseMoveY = WrappingSum(Input().gMouseMoveY, moveY);
  Input().gMouseZ = ClampedSum(Input().gMouseZ, Input().gMouseState.lZ, 0, 99);
  Input().gMouseMoveZ = WrappingSum(Input().gMouseMoveZ, Input().gMouseState.lZ);
  if (pointerMoves) {
    Input().gMouseButtons = 0;
    for (int i = 0; i < 4; ++i)
      if (Input().gMouseState.rgbButtons[i]) Input().gMouseButtons |= 1 << i;
    Input().gMouseButtonPresses |= Input().gMouseButtons;
  }
}

int RefreshInputState() {
  if (!Input().gHasFocus) {
    // The releases go to another window, so nothing may stay held until the focus returns.
    ReleaseHeldButtons();
    return 1;
  }
  if (!Host().gAppActive) return 0;
  int result = 0;
  if (Input().gKeyboardDevice)
    ReadDevice(Input().gKeyboardDevice, sizeof Input().gKeyState, Input().gKeyState.data(), false, result);
  if (Language().gEditorScreenState > 1) return result;
  if (Input().gMouseDevice) {
    // A failed read leaves old deltas in the table, which must not move the pointer twice.
    if (ReadDevice(Input().gMouseDevice, sizeof Input().gMouseState, &Input().gMouseState, false, result))
      FoldMouseState();
  }
  if (Input().gJoystickDevice) {
    const bool shared =
        Input().gControlDevice && SameNameIgnoringCase(Input().gJoystickName, Input().gControlDeviceName);
    ReadDevice(shared ? Input().gControlDevice : Input().gJoystickDevice, sizeof Input().gJoystickState,
               &Input().gJoystickState, true, result);
  }
  if (Input().gControlDevice)
    ReadDevice(Input().gControlDevice, sizeof Input().gControlDeviceState, &Input().gControlDeviceState, true, result);
  return result;
}

void PollInputIfDue() {
  if (!Interpreter().gInputPollDue) return;
  RefreshInputState();
  Interpreter().gInputPollDue = 0;
}

void ResetMousePosition() {
  Input().gMouseX = 320;
  Input().gMouseY = 240;
  Input().gMouseZ = 50;
  Input().gMouseButtons = 0;
  Input().gMouseButtonPresses = 0;
}

int32_t TakeMouseButtons() {
  const int32_t buttons = Input().gMouseButtons | Input().gMouseButtonPresses;
  Input().gMouseButtonPresses = 0;
  return buttons;
}

void ResetKeyboardBuffer() {
  Input().gKeyboardBuffer.assign(256, '\0');
  Input().gKeyboardBufferCount = 0;
}

void ReleaseKeyboardBuffer() {
  Input().gKeyboardBuffer.clear();
  Input().gKeyboardBuffer.shrink_to_fit();
  Input().gKeyboardBufferCount = 0;
}

}  // namespace vx
