// The sound library: numbered samples, one channel per sample slot mixed into the platform's audio
// output, music slots, and the 3D and reverb settings. It works the same with or without an output
// device; without one nothing is heard.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/audio/audio_output.h"
#include "platform/win/types.h"

namespace vx {

struct SoundSample {
  std::vector<uint8_t> data;  // length × bits / 8 bytes; 16-bit samples little-endian
  int bits = 16;              // 8 (unsigned) or 16 (signed)
  int defaultFrequency = 0;   // Hz
  uint32_t length = 0;        // in samples
};

struct MusicSlot {
  bool loaded = false;
  bool playing = false;
  bool paused = false;
  bool looping = false;
  bool finished = false;  // the song reached its end while playing
};

struct SoundVector {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
};

struct SoundListener {
  SoundVector position;
  SoundVector velocity;
  SoundVector forward{0.0f, 0.0f, 1.0f};
  SoundVector top{0.0f, 1.0f, 0.0f};
};

class SoundLibrary {
 public:
  static constexpr int kSampleSlots = 1030;
  static constexpr int kMusicSlots = 33;
  static constexpr int kAllChannels = -1;

  SoundLibrary();
  ~SoundLibrary();
  SoundLibrary(const SoundLibrary&) = delete;
  SoundLibrary& operator=(const SoundLibrary&) = delete;

  // Readies the output for this library; false without a device, and the library stays usable.
  // The device itself opens when the first channel plays, so that a program without sound neither
  // waits for it at the start nor for its thread at the end.
  bool Start(win::HWND window);
  void Close();
  bool IsStarted() const { return started_; }

  // Samples. SetSample copies `length` samples out of `bytes` bytes and fails (leaving the slot
  // as it was) when the slot is out of range, there are too few bytes, or length or frequency
  // is not positive. Replacing or deleting a sample stops its channel first.
  bool SetSample(int slot, const void* data, size_t bytes, int bits, int frequency, uint32_t length);
  const SoundSample* Sample(int slot) const;  // nullptr when the slot holds none
  void DeleteSample(int slot);

  // Channels, one per sample slot.
  bool PlayChannel(int slot, bool looping);  // from the start; false without a sample
  void StopChannel(int slot);
  void PauseChannel(int slot, bool paused);
  bool IsChannelPlaying(int slot) const;
  bool IsChannelPaused(int slot) const;
  void SetReverbMix(int slot, float mix);  // kAllChannels for every channel
  float ReverbMix(int slot) const;

  // 3D settings.
  void SetDistanceFactor(float factor) { distanceFactor_ = factor; }
  float DistanceFactor() const { return distanceFactor_; }
  void SetListener(const SoundListener& listener) { listener_ = listener; }
  const SoundListener& Listener() const { return listener_; }
  void SetEnvironment(int environment) { environment_ = environment; }
  int Environment() const { return environment_; }
  // Channels are mixed without 3D placement, so there is nothing to commit yet.
  void Update3D() {}

  // Music slots. There is no decoder: whatever plays a song reports its end with FinishMusic.
  bool LoadMusic(int slot, bool looping);
  void PlayMusic(int slot);  // from the start
  void PauseMusic(int slot, bool paused);
  void StopMusic(int slot);
  void FinishMusic(int slot);
  void DeleteMusic(int slot);
  const MusicSlot& Music(int slot) const;  // slot 0 to kMusicSlots - 1

  // Mixes every playing channel into interleaved 16-bit stereo frames; the output's callback.
  void Mix(int16_t* out, size_t frames);

 private:
  struct Channel {
    win::AudioVoice voice;
    float reverbMix = 1.0f;
  };

  static bool ValidSample(int slot) { return slot >= 0 && slot < kSampleSlots; }
  static bool ValidMusic(int slot) { return slot >= 0 && slot < kMusicSlots; }
  static void MixCallback(void* user, int16_t* out, size_t frames);

  std::vector<SoundSample> samples_;  // length 0 marks an empty slot
  std::vector<Channel> channels_;
  std::array<MusicSlot, kMusicSlots> music_{};
  float distanceFactor_ = 1.0f;
  SoundListener listener_;
  int environment_ = 0;
  bool wanted_ = false;   // Start was called: the first channel that plays opens the output
  bool started_ = false;  // the output is open for this library

  void OpenOutputOnFirstPlay();
};

}  // namespace vx
