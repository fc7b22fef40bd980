// The force-feedback devices behind the narrow interface: SDL's haptic API for real hardware,
// and the recording device that tests attach to a virtual joystick.
#include <SDL.h>

#include <algorithm>
#include <cstdint>

#include "platform/input/force_feedback_sdl.h"

namespace vx::win {

// --- Recording device ----------------------------------------------------------------------------

int RecordingForceFeedback::CreateEffect(EffectType type, const DIEFFECT& effect) {
  if (type == EffectType::Periodic && !periodic) return -1;
  const int id = static_cast<int>(types.size());
  types.push_back(type);
  calls.push_back({RecordedForceCall::Create, id, type, effect, false});
  return id;
}

bool RecordingForceFeedback::UpdateEffect(int id, const DIEFFECT& effect) {
  if (id < 0 || static_cast<size_t>(id) >= types.size()) return false;
  calls.push_back({RecordedForceCall::Update, id, types[size_t(id)], effect, false});
  return true;
}

bool RecordingForceFeedback::StartEffect(int id, DWORD) {
  if (id < 0 || static_cast<size_t>(id) >= types.size()) return false;
  calls.push_back({RecordedForceCall::Start, id, types[size_t(id)], {}, false});
  return true;
}

bool RecordingForceFeedback::StopEffect(int id) {
  if (id < 0 || static_cast<size_t>(id) >= types.size()) return false;
  calls.push_back({RecordedForceCall::Stop, id, types[size_t(id)], {}, false});
  return true;
}

void RecordingForceFeedback::DestroyEffect(int id) {
  if (id >= 0 && static_cast<size_t>(id) < types.size())
    calls.push_back({RecordedForceCall::Destroy, id, types[size_t(id)], {}, false});
}

bool RecordingForceFeedback::SetAutoCenter(bool on) {
  calls.push_back({RecordedForceCall::AutoCenter, -1, EffectType::ConstantForce, {}, on});
  return true;
}

// --- SDL haptic ----------------------------------------------------------------------------------

namespace {

Uint32 LengthMs(DWORD microseconds) { return microseconds == INFINITE ? SDL_HAPTIC_INFINITY : microseconds / 1000; }

// DirectInput's 0..10000 to SDL's signed 16-bit levels.
Sint16 Level(LONG value) {
  return static_cast<Sint16>(std::clamp<int64_t>(int64_t{value} * 32767 / 10000, -32767, 32767));
}
Uint16 Saturation(DWORD value) {
  return static_cast<Uint16>(std::min<uint64_t>(uint64_t{value} * 65535 / 10000, 65535));
}

SDL_HapticDirection Direction(const DIEFFECT& e) {
  SDL_HapticDirection d{};
  if (e.dwFlags & DIEFF_CARTESIAN) {
    d.type = SDL_HAPTIC_CARTESIAN;
    d.dir[0] = e.rglDirection[0];
    d.dir[1] = e.rglDirection[1];
  } else {
    d.type = SDL_HAPTIC_POLAR;
    d.dir[0] = e.rglDirection[0];
  }
  return d;
}

SDL_HapticEffect Convert(EffectType type, const DIEFFECT& e) {
  SDL_HapticEffect out{};
  switch (type) {
    case EffectType::ConstantForce:
      out.type = SDL_HAPTIC_CONSTANT;
      out.constant.direction = Direction(e);
      out.constant.length = LengthMs(e.dwDuration);
      out.constant.level = Level(e.constant.lMagnitude);
      break;
    case EffectType::Periodic:
      out.type = SDL_HAPTIC_SINE;
      out.periodic.direction = Direction(e);
      out.periodic.length = LengthMs(e.dwDuration);
      out.periodic.period = static_cast<Uint16>(std::min<DWORD>(e.periodic.dwPeriod / 1000, 65535));
      out.periodic.magnitude = Level(static_cast<LONG>(std::min<DWORD>(e.periodic.dwMagnitude, 10000)));
      out.periodic.offset = Level(e.periodic.lOffset);
      out.periodic.phase = static_cast<Uint16>(e.periodic.dwPhase % 36000);
      break;
    case EffectType::Damper:
      out.type = SDL_HAPTIC_DAMPER;
      out.condition.direction = Direction(e);
      out.condition.length = LengthMs(e.dwDuration);
      for (int axis = 0; axis < 2; ++axis) {
        out.condition.right_sat[axis] = Saturation(e.condition.dwPositiveSaturation);
        out.condition.left_sat[axis] = Saturation(e.condition.dwNegativeSaturation);
        out.condition.right_coeff[axis] = Level(e.condition.lPositiveCoefficient);
        out.condition.left_coeff[axis] = Level(e.condition.lNegativeCoefficient);
        out.condition.deadband[axis] = Saturation(static_cast<DWORD>(std::max<LONG>(e.condition.lDeadBand, 0)));
        out.condition.center[axis] = Level(e.condition.lOffset);
      }
      break;
  }
  return out;
}

class SdlHapticDevice : public ForceFeedbackDevice {
 public:
  explicit SdlHapticDevice(SDL_Haptic* haptic) : haptic_(haptic) {}
  ~SdlHapticDevice() override { SDL_HapticClose(haptic_); }
  bool SupportsPeriodic() const override { return (SDL_HapticQuery(haptic_) & SDL_HAPTIC_SINE) != 0; }
  int CreateEffect(EffectType type, const DIEFFECT& effect) override {
    SDL_HapticEffect converted = Convert(type, effect);
    const int id = SDL_HapticNewEffect(haptic_, &converted);
    if (id >= 0) {
      if (static_cast<size_t>(id) >= types_.size()) types_.resize(size_t(id) + 1);
      types_[size_t(id)] = type;
    }
    return id;
  }
  bool UpdateEffect(int id, const DIEFFECT& effect) override {
    if (id < 0 || static_cast<size_t>(id) >= types_.size()) return false;
    SDL_HapticEffect converted = Convert(types_[size_t(id)], effect);
    return SDL_HapticUpdateEffect(haptic_, id, &converted) == 0;
  }
  bool StartEffect(int id, DWORD iterations) override {
    return SDL_HapticRunEffect(haptic_, id, iterations == INFINITE ? SDL_HAPTIC_INFINITY : iterations) == 0;
  }
  bool StopEffect(int id) override { return SDL_HapticStopEffect(haptic_, id) == 0; }
  void DestroyEffect(int id) override { SDL_HapticDestroyEffect(haptic_, id); }
  bool SetAutoCenter(bool on) override {
    if (!(SDL_HapticQuery(haptic_) & SDL_HAPTIC_AUTOCENTER)) return !on;
    return SDL_HapticSetAutocenter(haptic_, on ? 100 : 0) == 0;
  }

 private:
  SDL_Haptic* haptic_;
  std::vector<EffectType> types_;
};

}  // namespace

std::unique_ptr<ForceFeedbackDevice> OpenSdlHaptic(_SDL_Joystick* joystick) {
  if (!joystick || !SDL_WasInit(SDL_INIT_HAPTIC) || SDL_JoystickIsHaptic(joystick) != SDL_TRUE) return nullptr;
  SDL_Haptic* haptic = SDL_HapticOpenFromJoystick(joystick);
  if (!haptic) return nullptr;
  return std::make_unique<SdlHapticDevice>(haptic);
}

}  // namespace vx::win
