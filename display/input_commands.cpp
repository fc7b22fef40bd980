// Input commands: the list of attached control devices, the choice of the control device, the
// force-feedback effects, and the keyboard, joystick and control-device state functions. The
// state functions poll the devices again only when the dispatcher has asked for a fresh poll.
#include <cstdio>
#include <cstring>

#include "common/checklist.h"
#include "common/commands.h"
#include "common/interpreter_state.h"
#include "common/runtime_hooks.h"
#include "display/input_devices.h"

namespace vx {

using namespace win;

namespace {

// --- Control devices -----------------------------------------------------------------------------

BOOL AddInputDeviceEntry(const DIDEVICEINSTANCEA* instance, void*) {
  if (Checklist().gChecklistCount >= kChecklistCapacity) return DIENUM_CONTINUE;
  ChecklistEntry& entry = Checklist().gChecklist[size_t(Checklist().gChecklistCount++)];
  entry.values[0] = entry.values[1] = entry.values[2] = entry.values[3] = 0;
  std::snprintf(entry.text, sizeof entry.text, "%.*s", 255, instance->tszProductName);
  return DIENUM_CONTINUE;
}

BOOL MarkForceFeedbackDevice(const DIDEVICEINSTANCEA* instance, void*) {
  for (int32_t i = 0; i < Checklist().gChecklistCount; ++i)
    if (std::strncmp(Checklist().gChecklist[size_t(i)].text, instance->tszProductName,
                     sizeof Checklist().gChecklist[0].text) == 0)
      Checklist().gChecklist[size_t(i)].values[0] = 1;
  return DIENUM_CONTINUE;
}

void CmdListControlDevices() {
  Checklist().gChecklistCount = 0;
  Checklist().gChecklistHasValues = 1;
  Checklist().gChecklistHasTexts = 1;
  if (!Input().gDirectInput || DiFailed(Input().gDirectInput->EnumDevices(DIDEVTYPE_JOYSTICK, AddInputDeviceEntry,
                                                                          nullptr, DIEDFL_ATTACHEDONLY))) {
    Checklist().gChecklistFilled = 0;
    return;
  }
  Input().gDirectInput->EnumDevices(DIDEVTYPE_DEVICE, AddInputDeviceEntry, nullptr, DIEDFL_ATTACHEDONLY);
  Input().gDirectInput->EnumDevices(DIDEVTYPE_JOYSTICK, MarkForceFeedbackDevice, nullptr,
                                    DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK);
  Checklist().gChecklistFilled = 1;
}

void CmdSetControlDevice() {
  const char* name = TextOperand(0);
  Input().gControlDeviceName.assign(name, strnlen(name, 255));
  if (!OpenControlDevice()) RaiseRuntimeError(kErrControlDeviceNotOpened);
  SkipOperands(1);
}

// --- Force feedback ------------------------------------------------------------------------------

bool MagnitudeOk(int32_t magnitude) {
  if (magnitude >= 0 && magnitude <= 100) return true;
  RaiseRuntimeError(kErrForceMagnitudeOutOfRange);
  return false;
}

bool DurationOk(int32_t duration) {
  if (duration >= 0) return true;
  RaiseRuntimeError(kErrForceDurationOutOfRange);
  return false;
}

// An error when there is no force-feedback control device.
bool ForceReady() {
  if (Input().gForceFeedbackReady) return true;
  RaiseRuntimeError(kErrNoForceFeedbackDevice);
  return false;
}

template <int kDirection>
void CmdForceDirection() {
  if (ForceReady() && Input().gForceEffects[size_t(kForceUp + kDirection - 1)] && MagnitudeOk(IntOperand(0)))
    PlayDirectionalForce(kDirection, IntOperand(0), 1);
  SkipOperands(1);
}

constexpr CommandHandler CmdForceUp = CmdForceDirection<1>;
constexpr CommandHandler CmdForceDown = CmdForceDirection<2>;
constexpr CommandHandler CmdForceLeft = CmdForceDirection<3>;
constexpr CommandHandler CmdForceRight = CmdForceDirection<4>;

void CmdForceAngle() {
  const int32_t magnitude = IntOperand(0), angle = IntOperand(1), duration = IntOperand(2);
  if (ForceReady() && Input().gForceEffects[kForceAngle] && MagnitudeOk(magnitude)) {
    if (angle < 0 || angle > 360)
      RaiseRuntimeError(kErrForceAngleOutOfRange);
    else if (DurationOk(duration))
      PlayAngleForce(magnitude, angle, duration, 1);
  }
  SkipOperands(3);
}

template <ForceSlot kSlot, void (*kPlay)(int, int, int)>
void CmdForceTimed() {
  const int32_t magnitude = IntOperand(0), duration = IntOperand(1);
  if (ForceReady() && Input().gForceEffects[kSlot] && MagnitudeOk(magnitude) && DurationOk(duration))
    kPlay(magnitude, duration, 1);
  SkipOperands(2);
}

constexpr CommandHandler CmdForceFastVibration = CmdForceTimed<kForceFastVibration, PlayFastVibration>;
constexpr CommandHandler CmdForceConstant = CmdForceTimed<kForceTimedConstant, PlayTimedConstantForce>;
constexpr CommandHandler CmdForceSlowVibration = CmdForceTimed<kForceSlowVibration, PlaySlowVibration>;

void CmdForceDamper() {
  const int32_t magnitude = IntOperand(0), duration = IntOperand(1);
  if (ForceReady() && Input().gForceEffects[kForceDamperA] && Input().gForceEffects[kForceDamperB] &&
      MagnitudeOk(magnitude) && DurationOk(duration))
    PlayDamper(magnitude, duration, 1);
  SkipOperands(2);
}

void CmdStopForceEffects() {
  if (ForceReady())
    for (DirectInputEffect* effect : Input().gForceEffects)
      if (effect) effect->Stop();
}

template <bool kOn>
void CmdForceAutoCenter() {
  if (ForceReady() && Input().gControlDevice) {
    Input().gControlDevice->Unacquire();
    Input().gControlDevice->SetAutoCenter(kOn);
    Input().gControlDevice->Acquire();
  }
}

constexpr CommandHandler CmdForceAutoCenterOn = CmdForceAutoCenter<true>;
constexpr CommandHandler CmdForceAutoCenterOff = CmdForceAutoCenter<false>;

// --- State functions -----------------------------------------------------------------------------

int32_t KeyDown(int code) { return (Input().gKeyState[size_t(code)] & 0x80) ? 1 : 0; }

template <int kCode, int kOtherCode = kCode>
void FnKey() {
  PollInputIfDue();
  SlotOperand(0)->i = KeyDown(kCode) | KeyDown(kOtherCode);
  SkipOperands(1);
}

constexpr CommandHandler FnUpKey = FnKey<DIK_UP>;
constexpr CommandHandler FnDownKey = FnKey<DIK_DOWN>;
constexpr CommandHandler FnLeftKey = FnKey<DIK_LEFT>;
constexpr CommandHandler FnRightKey = FnKey<DIK_RIGHT>;
constexpr CommandHandler FnControlKey = FnKey<DIK_LCONTROL, DIK_RCONTROL>;
constexpr CommandHandler FnShiftKey = FnKey<DIK_LSHIFT, DIK_RSHIFT>;
constexpr CommandHandler FnReturnKey = FnKey<DIK_RETURN>;
constexpr CommandHandler FnSpaceKey = FnKey<DIK_SPACE>;
constexpr CommandHandler FnEscapeKey = FnKey<DIK_ESCAPE>;

void FnScanCodeDown() {
  PollInputIfDue();
  const int32_t code = IntOperand(1);
  SlotOperand(0)->i = code >= 0 && code <= 255 ? KeyDown(code) : 0;
  SkipOperands(2);
}

template <auto kRead>
void FnState() {
  PollInputIfDue();
  SlotOperand(0)->i = kRead();
  SkipOperands(1);
}

template <int kButton>
int32_t JoystickButton() {
  return (Input().gJoystickState.rgbButtons[kButton] & 0x80) ? 1 : 0;
}

constexpr CommandHandler FnJoystickLeft = FnState<[] { return int32_t(Input().gJoystickState.lX < 0); }>;
constexpr CommandHandler FnJoystickRight = FnState<[] { return int32_t(Input().gJoystickState.lX > 0); }>;
constexpr CommandHandler FnJoystickUp = FnState<[] { return int32_t(Input().gJoystickState.lY < 0); }>;
constexpr CommandHandler FnJoystickDown = FnState<[] { return int32_t(Input().gJoystickState.lY > 0); }>;
constexpr CommandHandler FnJoystickFireA = FnState<JoystickButton<0>>;
constexpr CommandHandler FnJoystickFireB = FnState<JoystickButton<1>>;
constexpr CommandHandler FnJoystickFireC = FnState<JoystickButton<2>>;
constexpr CommandHandler FnJoystickFireD = FnState<JoystickButton<3>>;
constexpr CommandHandler FnJoystickX = FnState<[] { return Input().gJoystickState.lX; }>;
constexpr CommandHandler FnJoystickY = FnState<[] { return Input().gJoystickState.lY; }>;
constexpr CommandHandler FnJoystickZ = FnState<[] { return Input().gJoystickState.lZ; }>;
constexpr CommandHandler FnJoystickSliderA = FnState<[] { return Input().gJoystickState.rglSlider[0]; }>;
constexpr CommandHandler FnJoystickSliderB = FnState<[] { return Input().gJoystickState.rglSlider[1]; }>;
constexpr CommandHandler FnJoystickPovA =
    FnState<[] { return static_cast<int32_t>(Input().gJoystickState.rgdwPOV[0]); }>;
constexpr CommandHandler FnJoystickPovB =
    FnState<[] { return static_cast<int32_t>(Input().gJoystickState.rgdwPOV[1]); }>;
constexpr CommandHandler FnJoystickTwistX = FnState<[] { return Input().gJoystickState.lRx; }>;
constexpr CommandHandler FnJoystickTwistY = FnState<[] { return Input().gJoystickState.lRy; }>;
constexpr CommandHandler FnJoystickTwistZ = FnState<[] { return Input().gJoystickState.lRz; }>;
constexpr CommandHandler FnControlDeviceX = FnState<[] { return Input().gControlDeviceState.lX; }>;
constexpr CommandHandler FnControlDeviceY = FnState<[] { return Input().gControlDeviceState.lY; }>;
constexpr CommandHandler FnControlDeviceZ = FnState<[] { return Input().gControlDeviceState.lZ; }>;

void FnJoystickButton() {
  PollInputIfDue();
  const int32_t button = IntOperand(1);
  SlotOperand(0)->i =
      button >= 0 && button <= 31 ? ((Input().gJoystickState.rgbButtons[size_t(button)] & 0x80) ? 1 : 0) : 0;
  SkipOperands(2);
}

void FnJoystickHatAngle() {
  PollInputIfDue();
  const int32_t hat = IntOperand(1);
  int32_t angle = -1;
  if (hat >= 0 && hat <= 3 && (Input().gJoystickState.rgdwPOV[size_t(hat)] & 0xFFFF) != 0xFFFF)
    angle = static_cast<int32_t>(Input().gJoystickState.rgdwPOV[size_t(hat)]);
  SlotOperand(0)->i = angle;
  SkipOperands(2);
}

void FnControlDeviceName() {
  // The new text is stored before the old one is freed, so the result never holds a freed text.
  if (Input().gActiveControlName.empty()) {
    RaiseRuntimeError(kErrNoControlDeviceName);
    StoreString(SlotOperand(0), "");
  } else {
    StoreString(SlotOperand(0), Input().gActiveControlName.c_str(), Input().gActiveControlName.size());
  }
  SkipOperands(1);
}

}  // namespace

}  // namespace vx

#include "generated/commands/input.inc"
