// Input commands: the list of attached control devices, the choice of the control device, the
// force-feedback effects, and the keyboard, joystick and control-device state functions. The
// state functions poll the devices again only when the dispatcher has asked for a fresh poll.
#include <cstdio>
#include <cstring>

#include "common/checklist.h"
#include "display/input_devices.h"
#include "runtime/command_families.h"
#include "runtime/dispatcher.h"
#include "runtime/errors.h"
#include "runtime/interpreter.h"
#include "runtime/strings.h"

namespace vx {

using namespace win;

namespace {

// --- Control devices -----------------------------------------------------------------------------

BOOL AddInputDeviceEntry(const DIDEVICEINSTANCEA* instance, void*) {
  if (gChecklistCount >= kChecklistCapacity) return DIENUM_CONTINUE;
  ChecklistEntry& entry = gChecklist[size_t(gChecklistCount++)];
  entry.values[0] = entry.values[1] = entry.values[2] = entry.values[3] = 0;
  std::snprintf(entry.text, sizeof entry.text, "%.*s", 255, instance->tszProductName);
  return DIENUM_CONTINUE;
}

BOOL MarkForceFeedbackDevice(const DIDEVICEINSTANCEA* instance, void*) {
  for (int32_t i = 0; i < gChecklistCount; ++i)
    if (std::strncmp(gChecklist[size_t(i)].text, instance->tszProductName, sizeof gChecklist[0].text) == 0)
      gChecklist[size_t(i)].values[0] = 1;
  return DIENUM_CONTINUE;
}

void CmdListControlDevices() {
  gChecklistCount = 0;
  gChecklistHasValues = 1;
  gChecklistHasTexts = 1;
  if (!gDirectInput ||
      DiFailed(gDirectInput->EnumDevices(DIDEVTYPE_JOYSTICK, AddInputDeviceEntry, nullptr, DIEDFL_ATTACHEDONLY))) {
    gChecklistFilled = 0;
    return;
  }
  gDirectInput->EnumDevices(DIDEVTYPE_DEVICE, AddInputDeviceEntry, nullptr, DIEDFL_ATTACHEDONLY);
  gDirectInput->EnumDevices(DIDEVTYPE_JOYSTICK, MarkForceFeedbackDevice, nullptr,
                            DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK);
  gChecklistFilled = 1;
}

void CmdSetControlDevice() {
  const char* name = TextOperand(0);
  gControlDeviceName.assign(name, strnlen(name, 255));
  if (!OpenControlDevice()) RaiseRuntimeError(4001);
  SkipOperands(1);
}

// --- Force feedback ------------------------------------------------------------------------------

bool MagnitudeOk(int32_t magnitude) {
  if (magnitude >= 0 && magnitude <= 100) return true;
  RaiseRuntimeError(4102);
  return false;
}

bool DurationOk(int32_t duration) {
  if (duration >= 0) return true;
  RaiseRuntimeError(4103);
  return false;
}

// 4101 when there is no force-feedback control device.
bool ForceReady() {
  if (gForceFeedbackReady) return true;
  RaiseRuntimeError(4101);
  return false;
}

template <int kDirection>
void CmdForceDirection() {
  if (ForceReady() && gForceEffects[size_t(kForceUp + kDirection - 1)] && MagnitudeOk(IntOperand(0)))
    PlayDirectionalForce(kDirection, IntOperand(0), 1);
  SkipOperands(1);
}

void CmdForceAngle() {
  const int32_t magnitude = IntOperand(0), angle = IntOperand(1), duration = IntOperand(2);
  if (ForceReady() && gForceEffects[kForceAngle] && MagnitudeOk(magnitude)) {
    if (angle < 0 || angle > 360)
      RaiseRuntimeError(4104);
    else if (DurationOk(duration))
      PlayAngleForce(magnitude, angle, duration, 1);
  }
  SkipOperands(3);
}

template <ForceSlot kSlot, void (*kPlay)(int, int, int)>
void CmdForceTimed() {
  const int32_t magnitude = IntOperand(0), duration = IntOperand(1);
  if (ForceReady() && gForceEffects[kSlot] && MagnitudeOk(magnitude) && DurationOk(duration))
    kPlay(magnitude, duration, 1);
  SkipOperands(2);
}

void CmdForceDamper() {
  const int32_t magnitude = IntOperand(0), duration = IntOperand(1);
  if (ForceReady() && gForceEffects[kForceDamperA] && gForceEffects[kForceDamperB] && MagnitudeOk(magnitude) &&
      DurationOk(duration))
    PlayDamper(magnitude, duration, 1);
  SkipOperands(2);
}

void CmdStopForceEffects() {
  if (ForceReady())
    for (DirectInputEffect* effect : gForceEffects)
      if (effect) effect->Stop();
}

template <bool kOn>
void CmdForceAutoCenter() {
  if (ForceReady() && gControlDevice) {
    gControlDevice->Unacquire();
    gControlDevice->SetAutoCenter(kOn);
    gControlDevice->Acquire();
  }
}

// --- State functions -----------------------------------------------------------------------------

void PollIfDue() {
  if (!gInputPollDue) return;
  RefreshInputState();
  gInputPollDue = 0;
}

int32_t KeyDown(int code) { return (gKeyState[size_t(code)] & 0x80) ? 1 : 0; }

template <int kCode, int kOtherCode = kCode>
void FnKey() {
  PollIfDue();
  SlotOperand(0)->i = KeyDown(kCode) | KeyDown(kOtherCode);
  SkipOperands(1);
}

void FnScanCodeDown() {
  PollIfDue();
  const int32_t code = IntOperand(1);
  SlotOperand(0)->i = code >= 0 && code <= 255 ? KeyDown(code) : 0;
  SkipOperands(2);
}

template <auto kRead>
void FnState() {
  PollIfDue();
  SlotOperand(0)->i = kRead();
  SkipOperands(1);
}

template <int kButton>
int32_t JoystickButton() { return (gJoystickState.rgbButtons[kButton] & 0x80) ? 1 : 0; }

void FnJoystickButton() {
  PollIfDue();
  const int32_t button = IntOperand(1);
  SlotOperand(0)->i = button >= 0 && button <= 31 ? ((gJoystickState.rgbButtons[size_t(button)] & 0x80) ? 1 : 0) : 0;
  SkipOperands(2);
}

void FnJoystickHatAngle() {
  PollIfDue();
  const int32_t hat = IntOperand(1);
  int32_t angle = -1;
  if (hat >= 0 && hat <= 3 && (gJoystickState.rgdwPOV[size_t(hat)] & 0xFFFF) != 0xFFFF)
    angle = static_cast<int32_t>(gJoystickState.rgdwPOV[size_t(hat)]);
  SlotOperand(0)->i = angle;
  SkipOperands(2);
}

void FnControlDeviceName() {
  // The new text is stored before the old one is freed, so the result never holds a freed text.
  if (gActiveControlName.empty()) {
    RaiseRuntimeError(4002);
    StoreString(SlotOperand(0), "");
  } else {
    StoreString(SlotOperand(0), gActiveControlName.c_str(), gActiveControlName.size());
  }
  SkipOperands(1);
}

}  // namespace

void RegisterInputCommands() {
  RegisterCommand(4001, CmdListControlDevices);
  RegisterCommand(4002, CmdSetControlDevice);
  RegisterCommand(4101, CmdForceDirection<1>);
  RegisterCommand(4102, CmdForceDirection<2>);
  RegisterCommand(4103, CmdForceDirection<3>);
  RegisterCommand(4104, CmdForceDirection<4>);
  RegisterCommand(4105, CmdForceAngle);
  RegisterCommand(4106, CmdForceTimed<kForceFastVibration, PlayFastVibration>);
  RegisterCommand(4107, CmdForceTimed<kForceTimedConstant, PlayTimedConstantForce>);
  RegisterCommand(4108, CmdForceTimed<kForceSlowVibration, PlaySlowVibration>);
  RegisterCommand(4109, CmdStopForceEffects);
  RegisterCommand(4110, CmdForceDamper);
  RegisterCommand(4112, CmdForceAutoCenter<true>);
  RegisterCommand(4113, CmdForceAutoCenter<false>);

  RegisterCommand(4501, FnKey<DIK_UP>);
  RegisterCommand(4502, FnKey<DIK_DOWN>);
  RegisterCommand(4503, FnKey<DIK_LEFT>);
  RegisterCommand(4504, FnKey<DIK_RIGHT>);
  RegisterCommand(4505, FnKey<DIK_LCONTROL, DIK_RCONTROL>);
  RegisterCommand(4506, FnKey<DIK_LSHIFT, DIK_RSHIFT>);
  RegisterCommand(4507, FnKey<DIK_RETURN>);
  RegisterCommand(4508, FnKey<DIK_SPACE>);
  RegisterCommand(4509, FnScanCodeDown);
  RegisterCommand(4510, FnKey<DIK_ESCAPE>);
  RegisterCommand(4521, FnState<[] { return int32_t(gJoystickState.lX < 0); }>);
  RegisterCommand(4522, FnState<[] { return int32_t(gJoystickState.lX > 0); }>);
  RegisterCommand(4523, FnState<[] { return int32_t(gJoystickState.lY < 0); }>);
  RegisterCommand(4524, FnState<[] { return int32_t(gJoystickState.lY > 0); }>);
  RegisterCommand(4525, FnState<JoystickButton<0>>);
  RegisterCommand(4526, FnState<JoystickButton<1>>);
  RegisterCommand(4527, FnState<JoystickButton<2>>);
  RegisterCommand(4528, FnState<JoystickButton<3>>);
  RegisterCommand(4529, FnState<[] { return gJoystickState.lX; }>);
  RegisterCommand(4530, FnState<[] { return gJoystickState.lY; }>);
  RegisterCommand(4531, FnState<[] { return gJoystickState.lZ; }>);
  RegisterCommand(4532, FnState<[] { return gJoystickState.rglSlider[0]; }>);
  RegisterCommand(4533, FnState<[] { return gJoystickState.rglSlider[1]; }>);
  RegisterCommand(4534, FnState<[] { return static_cast<int32_t>(gJoystickState.rgdwPOV[0]); }>);
  RegisterCommand(4535, FnState<[] { return static_cast<int32_t>(gJoystickState.rgdwPOV[1]); }>);
  RegisterCommand(4536, FnJoystickButton);
  RegisterCommand(4537, FnState<[] { return gJoystickState.lRx; }>);
  RegisterCommand(4538, FnState<[] { return gJoystickState.lRy; }>);
  RegisterCommand(4539, FnState<[] { return gJoystickState.lRz; }>);
  RegisterCommand(4540, FnJoystickHatAngle);
  RegisterCommand(4551, FnControlDeviceName);
  RegisterCommand(4552, FnState<[] { return gControlDeviceState.lX; }>);
  RegisterCommand(4553, FnState<[] { return gControlDeviceState.lY; }>);
  RegisterCommand(4554, FnState<[] { return gControlDeviceState.lZ; }>);
}

}  // namespace vx
