// Sound output over SDL2 audio: one output device per process playing 44100 Hz 16-bit stereo,
// filled by a mix callback that its user registers, and the voice mixer that such a callback uses.
// Without an audio device the output simply fails to open; its user goes on silently.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vx::win {

constexpr uint32_t kAudioOutputRate = 44100;
constexpr int kAudioOutputChannels = 2;

// Fills `frames` interleaved stereo frames. Runs on the audio thread with the output locked.
using AudioMixCallback = void (*)(void* user, int16_t* out, size_t frames);

// Opens the default device and starts calling `mix`; false when there is no device, SDL's audio
// cannot start or the open is made to fail. An output already open is closed first.
bool OpenAudioOutput(AudioMixCallback mix, void* user);
void CloseAudioOutput();
bool IsAudioOutputOpen();
// False when OpenAudioOutput would surely fail: no driver chosen, no sound server and no sound
// card, or the open is made to fail. Opens nothing.
bool AudioOutputPossible();

// Further sources played over the mix callback (a film's sound track). Each adds its frames to
// what is already in `out`. The first source opens the device when nothing else has; the device
// stays open while a source remains, also after CloseAudioOutput. False when it cannot open.
bool AddAudioSource(AudioMixCallback add, void* user);
void RemoveAudioSource(void* user);

// Keeps the mix callback out while the caller changes what it reads. No-ops while closed.
void LockAudioOutput();
void UnlockAudioOutput();

class AudioOutputLock {
 public:
  AudioOutputLock() { LockAudioOutput(); }
  ~AudioOutputLock() { UnlockAudioOutput(); }
  AudioOutputLock(const AudioOutputLock&) = delete;
  AudioOutputLock& operator=(const AudioOutputLock&) = delete;
};

// Failures a test can switch on.
struct AudioFaults {
  bool failOpen = false;  // OpenAudioOutput fails as if there were no device
};
void SetAudioFaults(const AudioFaults& faults);

enum class AudioSampleFormat : uint8_t {
  kUnsigned8,  // 0 to 255, silence at 128
  kSigned16,   // little-endian
};

// One mono sample being played. The mixer steps through it at frequency / output rate samples
// per output frame, taking the nearest earlier sample.
struct AudioVoice {
  const uint8_t* data = nullptr;  // not owned; must stay valid while the voice plays
  uint32_t length = 0;            // in samples
  AudioSampleFormat format = AudioSampleFormat::kSigned16;
  uint32_t frequency = 0;  // Hz
  uint64_t position = 0;   // 32.32 fixed point, in samples
  bool playing = false;
  bool paused = false;
  bool looping = false;
};

// Adds the voice's next `frames` samples (scaled to 16 bits) to `mono` and advances it. A voice
// that runs off its end without looping stops and rewinds; a paused or stopped one adds nothing.
void MixVoice(AudioVoice& voice, int32_t* mono, size_t frames);
// Writes the mono sums as interleaved stereo frames, clipped to 16 bits.
void WriteStereoFrames(const int32_t* mono, int16_t* out, size_t frames);

}  // namespace vx::win
