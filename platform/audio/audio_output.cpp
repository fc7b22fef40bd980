// Sound output over SDL2 audio and the voice mixer. The device is opened with the exact format we
// ask for, so SDL converts when the hardware differs and the callback always sees 16-bit stereo.
#include "platform/audio/audio_output.h"

#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/win/held_locks.h"

namespace vx::win {

namespace {

// About 46 ms at 44100 Hz, near the 40 ms buffer the sound library asks for.
constexpr Uint16 kDeviceBufferFrames = 2048;

SDL_AudioDeviceID gDevice = 0;
AudioMixCallback gMix = nullptr;
void* gMixUser = nullptr;
AudioFaults gFaults;
std::vector<std::pair<AudioMixCallback, void*>> gSources;  // changed only under the device lock

void FillStream(void* /*userdata*/, Uint8* stream, int len) {
  const size_t frames = static_cast<size_t>(len) / (sizeof(int16_t) * kAudioOutputChannels);
  auto* out = reinterpret_cast<int16_t*>(stream);
  if (gMix) {
    gMix(gMixUser, out, frames);
  } else {
    std::memset(stream, 0, static_cast<size_t>(len));
  }
  for (const auto& [add, user] : gSources) add(user, out, frames);
}

int32_t SampleAt(const AudioVoice& voice, uint32_t index) {
  if (voice.format == AudioSampleFormat::kUnsigned8) {
    return (static_cast<int32_t>(voice.data[index]) - 128) * 256;
  }
  const uint8_t* bytes = voice.data + size_t{index} * 2;
  return static_cast<int16_t>(static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)));
}

// False when nothing could play sound: no driver chosen, no sound server and no sound card.
// SDL would otherwise try ALSA, which reports every missing card on standard error.
bool AnySoundOutputPresent() {
  if (const char* driver = std::getenv("SDL_AUDIODRIVER"); driver && *driver) return true;
  if (std::getenv("PULSE_SERVER")) return true;
  struct stat info {};
  if (stat("/dev/snd", &info) == 0) return true;
  const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
  if (!runtimeDir) return false;
  for (const char* socket : {"/pulse/native", "/pipewire-0"})
    if (stat((std::string(runtimeDir) + socket).c_str(), &info) == 0) return true;
  return false;
}

}  // namespace

namespace {

bool OpenDevice() {
  if (gFaults.failOpen || !AnySoundOutputPresent()) return false;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;

  SDL_AudioSpec wanted{};
  wanted.freq = static_cast<int>(kAudioOutputRate);
  wanted.format = AUDIO_S16SYS;
  wanted.channels = kAudioOutputChannels;
  wanted.samples = kDeviceBufferFrames;
  wanted.callback = FillStream;
  SDL_AudioSpec obtained{};
  gDevice = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
  if (gDevice == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  SDL_PauseAudioDevice(gDevice, 0);
  return true;
}

void CloseDevice() {
  if (gDevice == 0) return;
  // Closing waits for a callback in progress, so the callback's user may go away afterwards.
  SDL_CloseAudioDevice(gDevice);
  gDevice = 0;
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace

bool OpenAudioOutput(AudioMixCallback mix, void* user) {
  CloseAudioOutput();
  if (gDevice == 0 && (gFaults.failOpen || !OpenDevice())) return false;
  AudioOutputLock lock;
  gMix = mix;
  gMixUser = user;
  return true;
}

void CloseAudioOutput() {
  if (gDevice == 0) return;
  {
    AudioOutputLock lock;
    gMix = nullptr;
    gMixUser = nullptr;
  }
  if (gSources.empty()) CloseDevice();
}

bool AddAudioSource(AudioMixCallback add, void* user) {
  if (gDevice == 0 && !OpenDevice()) return false;
  AudioOutputLock lock;
  gSources.emplace_back(add, user);
  return true;
}

void RemoveAudioSource(void* user) {
  {
    AudioOutputLock lock;
    std::erase_if(gSources, [user](const auto& source) { return source.second == user; });
  }
  if (gSources.empty() && !gMix) CloseDevice();
}

bool IsAudioOutputOpen() { return gDevice != 0; }

bool AudioOutputPossible() { return gDevice != 0 || (!gFaults.failOpen && AnySoundOutputPresent()); }

void LockAudioOutput() {
  if (gDevice != 0) SDL_LockAudioDevice(gDevice);
  ++tLocksHeld;
}

void UnlockAudioOutput() {
  --tLocksHeld;
  if (gDevice != 0) SDL_UnlockAudioDevice(gDevice);
}

void SetAudioFaults(const AudioFaults& faults) { gFaults = faults; }

void MixVoice(AudioVoice& voice, int32_t* mono, size_t frames) {
  if (!voice.playing || voice.paused) return;
  if (!voice.data || voice.length == 0 || voice.frequency == 0) {
    voice.playing = false;
    voice.position = 0;
    return;
  }
  // Neither sum can wrap: end < 2^64 - 2^32 and the step stays below 2^48.
  const uint64_t step = (uint64_t{voice.frequency} << 32) / kAudioOutputRate;
  const uint64_t end = uint64_t{voice.length} << 32;
  for (size_t i = 0; i < frames; ++i) {
    if (voice.position >= end) {
      if (!voice.looping) {
        voice.playing = false;
        voice.position = 0;
        return;
      }
      voice.position %= end;
    }
    mono[i] += SampleAt(voice, static_cast<uint32_t>(voice.position >> 32));
    voice.position += step;
  }
}

void WriteStereoFrames(const int32_t* mono, int16_t* out, size_t frames) {
  for (size_t i = 0; i < frames; ++i) {
    const auto value = static_cast<int16_t>(std::clamp<int32_t>(mono[i], INT16_MIN, INT16_MAX));
    out[2 * i] = value;
    out[2 * i + 1] = value;
  }
}

}  // namespace vx::win
