// DirectInput over SDL2. The keyboard and mouse keep their own tables from the window layer's
// event listener (SDL's own keyboard state misses injected events and the window pump is the one
// reader of the queue); joysticks read SDL's joystick state when polled. Losing the focus
// releases every key and button and makes the foreground devices report their input lost.
#include "platform/input/dinput.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/input/force_feedback_sdl.h"
#include "platform/win/window.h"

namespace vx::win {

namespace {

// --- Keyboard and mouse, fed by the event listener ----------------------------------------------
uint8_t gKeyTable[256];
int64_t gPendingX = 0, gPendingY = 0, gPendingZ = 0;  // motion since the mouse was last read
uint8_t gButtonTable[4];
uint8_t gButtonPressed[4];  // went down since the mouse was last read: a click between two reads shows once
bool gFocused = true;
uint32_t gFocusLosses = 0;  // devices acquired before the last loss have lost their input
bool gCreationFails = false;
bool gKeyboardFails = false;
bool gMouseFails = false;
bool gJoystickFails = false;
ForceFeedbackFactory gForceFactory;

LONG ClampToLong(int64_t v) { return static_cast<LONG>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

void OnPlatformEvent(const SDL_Event& event) {
  switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      if (const int dik = DikFromScancode(event.key.keysym.scancode))
        gKeyTable[dik] = event.type == SDL_KEYDOWN ? 0x80 : 0;
      break;
    case SDL_MOUSEMOTION:
      gPendingX += event.motion.xrel;
      gPendingY += event.motion.yrel;
      break;
    case SDL_MOUSEWHEEL: {
      // DirectInput reports one notch as 120, positive away from the user.
      const int64_t notches = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y;
      gPendingZ += notches * 120;
      break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      int index = -1;
      if (event.button.button == SDL_BUTTON_LEFT) index = 0;
      if (event.button.button == SDL_BUTTON_RIGHT) index = 1;
      if (event.button.button == SDL_BUTTON_MIDDLE) index = 2;
      if (event.button.button == SDL_BUTTON_X1) index = 3;
      if (index >= 0) gButtonTable[index] = event.type == SDL_MOUSEBUTTONDOWN ? 0x80 : 0;
      if (index >= 0 && event.type == SDL_MOUSEBUTTONDOWN) gButtonPressed[index] = 0x80;
      break;
    }
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
        // The releases will go to another window: nothing may stay held.
        std::memset(gKeyTable, 0, sizeof gKeyTable);
        std::memset(gButtonTable, 0, sizeof gButtonTable);
        std::memset(gButtonPressed, 0, sizeof gButtonPressed);
        gPendingX = gPendingY = gPendingZ = 0;
        gFocused = false;
        ++gFocusLosses;
      } else if (event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
        gFocused = true;
      }
      break;
    default: break;
  }
}

LONG ScaleAxis(Sint16 raw, LONG low, LONG high, DWORD deadZone) {
  const double r = raw < 0 ? raw / 32768.0 : raw / 32767.0;
  const double zone = std::min(deadZone, DWORD{10000}) / 10000.0;
  double magnitude = std::fabs(r);
  magnitude = magnitude <= zone || zone >= 1.0 ? 0.0 : (magnitude - zone) / (1.0 - zone);
  const double centre = (static_cast<double>(low) + high) / 2.0;
  const double value = centre + std::copysign(magnitude, r) * ((static_cast<double>(high) - low) / 2.0);
  return static_cast<LONG>(
      std::clamp(std::lround(value), static_cast<long>(std::min(low, high)), static_cast<long>(std::max(low, high))));
}

DWORD HatAngle(Uint8 hat) {
  switch (hat) {
    case SDL_HAT_UP: return 0;
    case SDL_HAT_RIGHTUP: return 4500;
    case SDL_HAT_RIGHT: return 9000;
    case SDL_HAT_RIGHTDOWN: return 13500;
    case SDL_HAT_DOWN: return 18000;
    case SDL_HAT_LEFTDOWN: return 22500;
    case SDL_HAT_LEFT: return 27000;
    case SDL_HAT_LEFTUP: return 31500;
    default: return kPovCentred;
  }
}

std::unique_ptr<ForceFeedbackDevice> ForceDeviceFor(SDL_Joystick* joystick, const std::string& name) {
  if (gForceFactory) return gForceFactory(name);
  return OpenSdlHaptic(joystick);
}

void CopyName(char (&to)[260], const char* from) { std::snprintf(to, sizeof to, "%s", from ? from : ""); }

}  // namespace

void SetForceFeedbackFactory(ForceFeedbackFactory factory) { gForceFactory = std::move(factory); }
void SetDirectInputCreationFails(bool fail) { gCreationFails = fail; }
void SetDeviceCreationFails(DWORD devType, bool fail) {
  if (devType == DIDEVTYPE_KEYBOARD) gKeyboardFails = fail;
  if (devType == DIDEVTYPE_MOUSE) gMouseFails = fail;
  if (devType == DIDEVTYPE_JOYSTICK) gJoystickFails = fail;
}

// --- Devices -------------------------------------------------------------------------------------

struct DirectInputDevice::Impl {
  DeviceGuid guid{};
  bool formatSet = false;
  DWORD cooperation = 0;
  bool acquired = false;
  uint32_t acquiredAt = 0;  // gFocusLosses when acquired
  SDL_Joystick* joystick = nullptr;
  std::unique_ptr<ForceFeedbackDevice> force;
  LONG rangeLow[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  LONG rangeHigh[8] = {65535, 65535, 65535, 65535, 65535, 65535, 65535, 65535};
  DWORD deadZone = 0;
  std::vector<DirectInputEffect*> effects;

  DataFormat ExpectedFormat() const {
    return guid.type == DIDEVTYPE_KEYBOARD ? DataFormat::c_dfDIKeyboard
           : guid.type == DIDEVTYPE_MOUSE  ? DataFormat::c_dfDIMouse
                                           : DataFormat::c_dfDIJoystick;
  }
  bool Foreground() const { return (cooperation & DISCL_FOREGROUND) != 0; }
};

DirectInputDevice::DirectInputDevice(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

DirectInputDevice::~DirectInputDevice() {
  for (DirectInputEffect* effect : impl_->effects) {
    if (impl_->force) impl_->force->DestroyEffect(effect->id_);
    effect->owner_ = nullptr;
  }
  impl_->force.reset();
  if (impl_->joystick) SDL_JoystickClose(impl_->joystick);
}

void DirectInputDevice::Release() { delete this; }

HRESULT DirectInputDevice::SetDataFormat(DataFormat format) {
  if (impl_->acquired) return DIERR_GENERIC;
  if (format != impl_->ExpectedFormat()) return DIERR_INVALIDPARAM;
  impl_->formatSet = true;
  return DI_OK;
}

HRESULT DirectInputDevice::SetCooperativeLevel(HWND, DWORD flags) {
  const bool oneShare = ((flags & DISCL_EXCLUSIVE) != 0) != ((flags & DISCL_NONEXCLUSIVE) != 0);
  const bool oneWhen = ((flags & DISCL_FOREGROUND) != 0) != ((flags & DISCL_BACKGROUND) != 0);
  if (!oneShare || !oneWhen) return DIERR_INVALIDPARAM;
  impl_->cooperation = flags;
  return DI_OK;
}

HRESULT DirectInputDevice::Acquire() {
  if (!impl_->formatSet) return DIERR_INVALIDPARAM;
  if (impl_->Foreground() && !gFocused) return DIERR_OTHERAPPHASPRIO;
  if (impl_->joystick && !SDL_JoystickGetAttached(impl_->joystick)) return DIERR_INPUTLOST;
  if (!impl_->acquired && impl_->guid.type == DIDEVTYPE_MOUSE) {
    gPendingX = gPendingY = gPendingZ = 0;
    std::memset(gButtonPressed, 0, sizeof gButtonPressed);
  }
  impl_->acquired = true;
  impl_->acquiredAt = gFocusLosses;
  return DI_OK;
}

HRESULT DirectInputDevice::Unacquire() {
  impl_->acquired = false;
  return DI_OK;
}

HRESULT DirectInputDevice::Poll() {
  if (!impl_->acquired) return DIERR_NOTACQUIRED;
  if (impl_->joystick) SDL_JoystickUpdate();
  return DI_OK;
}

HRESULT DirectInputDevice::GetDeviceState(DWORD size, void* data) {
  Impl& d = *impl_;
  if (!data) return DIERR_INVALIDPARAM;
  if (!d.acquired) return DIERR_NOTACQUIRED;
  if (d.Foreground() && d.acquiredAt != gFocusLosses) {
    d.acquired = false;
    return DIERR_INPUTLOST;
  }
  switch (d.guid.type) {
    case DIDEVTYPE_KEYBOARD:
      if (size != sizeof gKeyTable) return DIERR_INVALIDPARAM;
      std::memcpy(data, gKeyTable, sizeof gKeyTable);
      return DI_OK;
    case DIDEVTYPE_MOUSE: {
      if (size != sizeof(DIMOUSESTATE)) return DIERR_INVALIDPARAM;
      DIMOUSESTATE state{ClampToLong(gPendingX), ClampToLong(gPendingY), ClampToLong(gPendingZ), {}};
      for (size_t i = 0; i < sizeof gButtonTable; ++i) state.rgbButtons[i] = gButtonTable[i] | gButtonPressed[i];
      std::memset(gButtonPressed, 0, sizeof gButtonPressed);
      gPendingX = gPendingY = gPendingZ = 0;
      std::memcpy(data, &state, sizeof state);
      return DI_OK;
    }
    default: break;
  }
  if (size != sizeof(DIJOYSTATE)) return DIERR_INVALIDPARAM;
  if (!SDL_JoystickGetAttached(d.joystick)) {
    d.acquired = false;
    return DIERR_INPUTLOST;
  }
  DIJOYSTATE state{};
  LONG* axes[8] = {&state.lX,  &state.lY,  &state.lZ,           &state.lRx,
                   &state.lRy, &state.lRz, &state.rglSlider[0], &state.rglSlider[1]};
  const int axisCount = std::min(SDL_JoystickNumAxes(d.joystick), 8);
  for (int i = 0; i < axisCount; ++i)
    *axes[i] = ScaleAxis(SDL_JoystickGetAxis(d.joystick, i), d.rangeLow[i], d.rangeHigh[i], d.deadZone);
  const int hats = SDL_JoystickNumHats(d.joystick);
  for (int i = 0; i < 4; ++i) state.rgdwPOV[i] = i < hats ? HatAngle(SDL_JoystickGetHat(d.joystick, i)) : kPovCentred;
  const int buttons = std::min(SDL_JoystickNumButtons(d.joystick), 32);
  for (int i = 0; i < buttons; ++i) state.rgbButtons[i] = SDL_JoystickGetButton(d.joystick, i) ? 0x80 : 0;
  std::memcpy(data, &state, sizeof state);
  return DI_OK;
}

HRESULT DirectInputDevice::SetAxisRange(DWORD offset, LONG minimum, LONG maximum) {
  if (!impl_->joystick || offset % 4 != 0 || offset / 4 >= 8 || minimum >= maximum) return DIERR_INVALIDPARAM;
  impl_->rangeLow[offset / 4] = minimum;
  impl_->rangeHigh[offset / 4] = maximum;
  return DI_OK;
}

HRESULT DirectInputDevice::SetDeadZone(DWORD zone) {
  if (!impl_->joystick || zone > 10000) return DIERR_INVALIDPARAM;
  impl_->deadZone = zone;
  return DI_OK;
}

HRESULT DirectInputDevice::SetAutoCenter(bool on) {
  if (!impl_->force) return DIERR_UNSUPPORTED;
  if (impl_->acquired && (impl_->cooperation & DISCL_EXCLUSIVE)) return DIERR_GENERIC;  // set while unacquired
  return impl_->force->SetAutoCenter(on) ? DI_OK : DIERR_GENERIC;
}

bool DirectInputDevice::HasPeriodicEffect() const { return impl_->force && impl_->force->SupportsPeriodic(); }

HRESULT DirectInputDevice::CreateEffect(EffectType type, const DIEFFECT& effect, DirectInputEffect** out) {
  if (!out) return DIERR_INVALIDPARAM;
  *out = nullptr;
  if (!impl_->force) return DIERR_UNSUPPORTED;
  if (type == EffectType::Periodic && !impl_->force->SupportsPeriodic()) return DIERR_UNSUPPORTED;
  const int id = impl_->force->CreateEffect(type, effect);
  if (id < 0) return DIERR_GENERIC;
  *out = new DirectInputEffect(this, id);
  impl_->effects.push_back(*out);
  return DI_OK;
}

// --- Effects -------------------------------------------------------------------------------------

HRESULT DirectInputEffect::SetParameters(const DIEFFECT& effect, DWORD flags) {
  if (!owner_ || !owner_->impl_->force) return DIERR_GENERIC;
  if (!owner_->impl_->force->UpdateEffect(id_, effect)) return DIERR_GENERIC;
  if (flags & DIEP_START) return Start(1, 0);
  return DI_OK;
}

HRESULT DirectInputEffect::Start(DWORD iterations, DWORD) {
  if (!owner_ || !owner_->impl_->force) return DIERR_GENERIC;
  return owner_->impl_->force->StartEffect(id_, iterations) ? DI_OK : DIERR_GENERIC;
}

HRESULT DirectInputEffect::Stop() {
  if (!owner_ || !owner_->impl_->force) return DIERR_GENERIC;
  return owner_->impl_->force->StopEffect(id_) ? DI_OK : DIERR_GENERIC;
}

void DirectInputEffect::Release() {
  if (owner_) {
    if (owner_->impl_->force) owner_->impl_->force->DestroyEffect(id_);
    std::erase(owner_->impl_->effects, this);
  }
  delete this;
}

// --- The DirectInput object ----------------------------------------------------------------------

HRESULT DirectInputCreateA(HINSTANCE, DWORD version, DirectInput** out) {
  if (!out) return DIERR_INVALIDPARAM;
  *out = nullptr;
  if (gCreationFails || version < 0x0500) return DIERR_GENERIC;
  if (!SDL_WasInit(SDL_INIT_JOYSTICK) && SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) return DIERR_GENERIC;
  if (!SDL_WasInit(SDL_INIT_HAPTIC)) SDL_InitSubSystem(SDL_INIT_HAPTIC);  // without it: no force feedback
  AddPlatformEventListener(OnPlatformEvent);
  static DirectInput object;
  *out = &object;
  return DI_OK;
}

void DirectInput::Release() {}

HRESULT DirectInput::CreateDevice(const DeviceGuid& guid, DirectInputDevice** out) {
  if (!out) return DIERR_INVALIDPARAM;
  *out = nullptr;
  auto impl = std::make_unique<DirectInputDevice::Impl>();
  impl->guid = guid;
  if (guid.type == DIDEVTYPE_KEYBOARD || guid.type == DIDEVTYPE_MOUSE) {
    if ((guid.type == DIDEVTYPE_KEYBOARD ? gKeyboardFails : gMouseFails)) return DIERR_DEVICENOTREG;
  } else if (guid.type == DIDEVTYPE_JOYSTICK) {
    if (gJoystickFails) return DIERR_DEVICENOTREG;
    SDL_Joystick* joystick = nullptr;
    for (int i = 0; i < SDL_NumJoysticks() && !joystick; ++i)
      if (SDL_JoystickGetDeviceInstanceID(i) == guid.instance) joystick = SDL_JoystickOpen(i);
    if (!joystick) return DIERR_DEVICENOTREG;
    impl->joystick = joystick;
    const char* name = SDL_JoystickName(joystick);
    impl->force = ForceDeviceFor(joystick, name ? name : "");
  } else {
    return DIERR_DEVICENOTREG;
  }
  *out = new DirectInputDevice(std::move(impl));
  return DI_OK;
}

HRESULT DirectInput::EnumDevices(DWORD devType, LPDIENUMDEVICESCALLBACKA callback, void* ref, DWORD flags) {
  if (!callback) return DIERR_INVALIDPARAM;
  const bool forceOnly = (flags & DIEDFL_FORCEFEEDBACK) != 0;
  auto offer = [&](DIDEVICEINSTANCEA& instance) { return callback(&instance, ref) != DIENUM_STOP; };
  if (!forceOnly && (devType == 0 || devType == DIDEVTYPE_KEYBOARD)) {
    DIDEVICEINSTANCEA keyboard{GUID_SysKeyboard, DIDEVTYPE_KEYBOARD, false, {}, {}};
    CopyName(keyboard.tszInstanceName, "Keyboard");
    CopyName(keyboard.tszProductName, "Keyboard");
    if (!offer(keyboard)) return DI_OK;
  }
  if (!forceOnly && (devType == 0 || devType == DIDEVTYPE_MOUSE)) {
    DIDEVICEINSTANCEA mouse{GUID_SysMouse, DIDEVTYPE_MOUSE, false, {}, {}};
    CopyName(mouse.tszInstanceName, "Mouse");
    CopyName(mouse.tszProductName, "Mouse");
    if (!offer(mouse)) return DI_OK;
  }
  // SDL knows no input devices besides keyboards, mice and joysticks, so DIDEVTYPE_DEVICE lists none.
  if (devType != 0 && devType != DIDEVTYPE_JOYSTICK) return DI_OK;
  SDL_JoystickUpdate();
  for (int i = 0; i < SDL_NumJoysticks(); ++i) {
    DIDEVICEINSTANCEA instance{{DIDEVTYPE_JOYSTICK, SDL_JoystickGetDeviceInstanceID(i)},
                               DIDEVTYPE_JOYSTICK,
                               false,
                               {},
                               {}};
    const char* name = SDL_JoystickNameForIndex(i);
    CopyName(instance.tszInstanceName, name);
    CopyName(instance.tszProductName, name);
    if (gForceFactory) {
      instance.forceFeedback = gForceFactory(instance.tszProductName) != nullptr;
    } else if (SDL_Joystick* joystick = SDL_JoystickOpen(i)) {
      instance.forceFeedback = SDL_WasInit(SDL_INIT_HAPTIC) && SDL_JoystickIsHaptic(joystick) == SDL_TRUE;
      SDL_JoystickClose(joystick);
    }
    if (forceOnly && !instance.forceFeedback) continue;
    if (!offer(instance)) return DI_OK;
  }
  return DI_OK;
}

}  // namespace vx::win
