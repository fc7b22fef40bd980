// Input devices over SDL2 in the shape of DirectInput 7: the system keyboard by DirectInput scan
// code, the system mouse as relative motion, joysticks with ranged axes, dead zone, hats and
// buttons, and force-feedback effects through a narrow device interface (SDL's haptic API, or a
// recording fake for tests). Keyboard and mouse learn their events from the window layer's pump.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/win/types.h"

namespace vx::win {

// --- Results -------------------------------------------------------------------------------------
constexpr HRESULT DI_OK = 0;
constexpr HRESULT DIERR_GENERIC = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT DIERR_INVALIDPARAM = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT DIERR_NOTACQUIRED = static_cast<HRESULT>(0x8007000Cu);
constexpr HRESULT DIERR_INPUTLOST = static_cast<HRESULT>(0x8007001Eu);
constexpr HRESULT DIERR_OTHERAPPHASPRIO = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT DIERR_DEVICENOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT DIERR_UNSUPPORTED = static_cast<HRESULT>(0x80004001u);
inline bool DiFailed(HRESULT result) { return result < 0; }

// --- Keyboard scan codes that the system names ---------------------------------------------------
constexpr int DIK_ESCAPE = 0x01;
constexpr int DIK_RETURN = 0x1C;
constexpr int DIK_LCONTROL = 0x1D;
constexpr int DIK_LSHIFT = 0x2A;
constexpr int DIK_RSHIFT = 0x36;
constexpr int DIK_SPACE = 0x39;
constexpr int DIK_RCONTROL = 0x9D;
constexpr int DIK_UP = 0xC8;
constexpr int DIK_LEFT = 0xCB;
constexpr int DIK_RIGHT = 0xCD;
constexpr int DIK_DOWN = 0xD0;

// The DirectInput scan code of an SDL scancode, 0 for a key DirectInput has no code for.
int DikFromScancode(int sdlScancode);

// --- Device states -------------------------------------------------------------------------------
struct DIMOUSESTATE {
  LONG lX, lY, lZ;
  uint8_t rgbButtons[4];
};
static_assert(sizeof(DIMOUSESTATE) == 16);

struct DIJOYSTATE {
  LONG lX, lY, lZ;
  LONG lRx, lRy, lRz;
  LONG rglSlider[2];
  DWORD rgdwPOV[4];
  uint8_t rgbButtons[32];
};
static_assert(sizeof(DIJOYSTATE) == 80);

constexpr DWORD kPovCentred = 0xFFFFFFFFu;

// --- Devices and enumeration ---------------------------------------------------------------------
constexpr DWORD DIDEVTYPE_DEVICE = 1;
constexpr DWORD DIDEVTYPE_MOUSE = 2;
constexpr DWORD DIDEVTYPE_KEYBOARD = 3;
constexpr DWORD DIDEVTYPE_JOYSTICK = 4;
constexpr DWORD DIEDFL_ATTACHEDONLY = 0x00000001;
constexpr DWORD DIEDFL_FORCEFEEDBACK = 0x00000100;
constexpr BOOL DIENUM_STOP = 0;
constexpr BOOL DIENUM_CONTINUE = 1;

constexpr DWORD DISCL_EXCLUSIVE = 0x1;
constexpr DWORD DISCL_NONEXCLUSIVE = 0x2;
constexpr DWORD DISCL_FOREGROUND = 0x4;
constexpr DWORD DISCL_BACKGROUND = 0x8;

enum class DataFormat { c_dfDIKeyboard, c_dfDIMouse, c_dfDIJoystick };

// Which device an instance names: the system keyboard or mouse, or a joystick by SDL instance id.
struct DeviceGuid {
  DWORD type;        // DIDEVTYPE_ value
  int32_t instance;  // SDL joystick instance id; 0 for the keyboard and mouse
  friend bool operator==(const DeviceGuid&, const DeviceGuid&) = default;
};
constexpr DeviceGuid GUID_SysKeyboard{DIDEVTYPE_KEYBOARD, 0};
constexpr DeviceGuid GUID_SysMouse{DIDEVTYPE_MOUSE, 0};

struct DIDEVICEINSTANCEA {
  DeviceGuid guidInstance;
  DWORD dwDevType;
  bool forceFeedback;
  char tszInstanceName[260];
  char tszProductName[260];
};

// Axis offsets inside DIJOYSTATE, for ranges set by offset.
constexpr DWORD DIJOFS_X = 0, DIJOFS_Y = 4, DIJOFS_Z = 8, DIJOFS_RX = 12, DIJOFS_RY = 16, DIJOFS_RZ = 20;
constexpr DWORD DIJOFS_SLIDER0 = 24, DIJOFS_SLIDER1 = 28;

// --- Force feedback ------------------------------------------------------------------------------
constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD DI_FFNOMINALMAX = 10000;
constexpr DWORD DIEB_NOTRIGGER = 0xFFFFFFFFu;
constexpr DWORD DIEFF_OBJECTOFFSETS = 0x02;
constexpr DWORD DIEFF_CARTESIAN = 0x10;
constexpr DWORD DIEFF_POLAR = 0x20;
constexpr DWORD DIEP_DURATION = 0x001;
constexpr DWORD DIEP_DIRECTION = 0x040;
constexpr DWORD DIEP_TYPESPECIFICPARAMS = 0x100;
constexpr DWORD DIEP_START = 0x20000000;

enum class EffectType { ConstantForce, Periodic, Damper };

struct DICONSTANTFORCE {
  LONG lMagnitude;
};
struct DIPERIODIC {
  DWORD dwMagnitude;
  LONG lOffset;
  DWORD dwPhase;
  DWORD dwPeriod;  // microseconds
};
struct DICONDITION {
  LONG lOffset;
  LONG lPositiveCoefficient, lNegativeCoefficient;
  DWORD dwPositiveSaturation, dwNegativeSaturation;
  LONG lDeadBand;
};

// One effect's parameters; only the block of its type is read.
struct DIEFFECT {
  DWORD dwFlags = 0;
  DWORD dwDuration = 0;  // microseconds, INFINITE for endless
  DWORD dwSamplePeriod = 0;
  DWORD dwGain = DI_FFNOMINALMAX;
  DWORD dwTriggerButton = DIEB_NOTRIGGER;
  DWORD cAxes = 2;
  DWORD rgdwAxes[2] = {DIJOFS_X, DIJOFS_Y};
  LONG rglDirection[2] = {0, 0};  // polar: hundredths of a degree in [0]; cartesian: both
  DICONSTANTFORCE constant{};
  DIPERIODIC periodic{};
  DICONDITION condition{};
};

// The narrow interface the effects are played through.
class ForceFeedbackDevice {
 public:
  virtual ~ForceFeedbackDevice() = default;
  virtual bool SupportsPeriodic() const = 0;
  // Returns an effect id, or -1 when the device cannot make it.
  virtual int CreateEffect(EffectType type, const DIEFFECT& effect) = 0;
  virtual bool UpdateEffect(int id, const DIEFFECT& effect) = 0;
  virtual bool StartEffect(int id, DWORD iterations) = 0;
  virtual bool StopEffect(int id) = 0;
  virtual void DestroyEffect(int id) = 0;
  virtual bool SetAutoCenter(bool on) = 0;
};

// What the recording device saw, one entry per call.
struct RecordedForceCall {
  enum Kind { Create, Update, Start, Stop, Destroy, AutoCenter } kind;
  int id;
  EffectType type;
  DIEFFECT effect;
  bool on;  // AutoCenter's switch
};

class RecordingForceFeedback : public ForceFeedbackDevice {
 public:
  bool SupportsPeriodic() const override { return periodic; }
  int CreateEffect(EffectType type, const DIEFFECT& effect) override;
  bool UpdateEffect(int id, const DIEFFECT& effect) override;
  bool StartEffect(int id, DWORD iterations) override;
  bool StopEffect(int id) override;
  void DestroyEffect(int id) override;
  bool SetAutoCenter(bool on) override;

  bool periodic = true;
  std::vector<RecordedForceCall> calls;
  std::vector<EffectType> types;  // by effect id
};

// Tests attach a force-feedback device to joysticks: while a factory is set, every joystick
// whose product name it accepts (a non-null result) reports force feedback through that device.
using ForceFeedbackFactory = std::function<std::unique_ptr<ForceFeedbackDevice>(const std::string& productName)>;
void SetForceFeedbackFactory(ForceFeedbackFactory factory);

class DirectInputDevice;

class DirectInputEffect {
 public:
  HRESULT SetParameters(const DIEFFECT& effect, DWORD flags);
  HRESULT Start(DWORD iterations, DWORD flags);
  HRESULT Stop();
  void Release();

 private:
  friend class DirectInputDevice;
  DirectInputEffect(DirectInputDevice* owner, int id) : owner_(owner), id_(id) {}
  DirectInputDevice* owner_;
  int id_;
};

// --- The device ----------------------------------------------------------------------------------
class DirectInputDevice {
 public:
  HRESULT SetDataFormat(DataFormat format);
  HRESULT SetCooperativeLevel(HWND window, DWORD flags);
  HRESULT Acquire();
  HRESULT Unacquire();
  HRESULT Poll();
  // Copies the state in the set data format; size must be that format's size.
  HRESULT GetDeviceState(DWORD size, void* data);
  HRESULT SetAxisRange(DWORD offset, LONG minimum, LONG maximum);  // DIPROP_RANGE by offset
  HRESULT SetDeadZone(DWORD zone);                                 // DIPROP_DEADZONE, 0..10000
  HRESULT SetAutoCenter(bool on);                                  // DIPROP_AUTOCENTER
  // The first periodic effect the device lists; false when it has none.
  bool HasPeriodicEffect() const;
  HRESULT CreateEffect(EffectType type, const DIEFFECT& effect, DirectInputEffect** out);
  void Release();

  ~DirectInputDevice();

 private:
  friend class DirectInput;
  friend class DirectInputEffect;
  struct Impl;
  explicit DirectInputDevice(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

using LPDIENUMDEVICESCALLBACKA = BOOL (*)(const DIDEVICEINSTANCEA* instance, void* ref);

class DirectInput {
 public:
  HRESULT CreateDevice(const DeviceGuid& guid, DirectInputDevice** out);
  HRESULT EnumDevices(DWORD devType, LPDIENUMDEVICESCALLBACKA callback, void* ref, DWORD flags);
  void Release();
};

HRESULT DirectInputCreateA(HINSTANCE instance, DWORD version, DirectInput** out);

// Fault injection: while set, DirectInputCreateA, or CreateDevice for devices of one type
// (DIDEVTYPE_KEYBOARD, DIDEVTYPE_MOUSE or DIDEVTYPE_JOYSTICK), fails.
void SetDirectInputCreationFails(bool fail);
void SetDeviceCreationFails(DWORD devType, bool fail);

}  // namespace vx::win
