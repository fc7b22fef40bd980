// The sound library. Channel voices are shared with the audio thread, so every change to them
// happens under the output lock; samples are only replaced once their channel has stopped.
#include "sound/library/sound_library.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace vx {

namespace {

constexpr size_t kMixChunkFrames = 512;

}  // namespace

SoundLibrary::SoundLibrary() : samples_(kSampleSlots), channels_(kSampleSlots) {}

SoundLibrary::~SoundLibrary() { Close(); }

bool SoundLibrary::Start(win::HWND /*window*/) {
  Close();
  wanted_ = win::AudioOutputPossible();
  return wanted_;
}

void SoundLibrary::OpenOutputOnFirstPlay() {
  if (!wanted_ || started_) return;
  started_ = win::OpenAudioOutput(&SoundLibrary::MixCallback, this);
  if (!started_) wanted_ = false;  // tried once, as the start used to
}

void SoundLibrary::Close() {
  wanted_ = false;
  if (!started_) return;
  win::CloseAudioOutput();
  started_ = false;
}

bool SoundLibrary::SetSample(int slot, const void* data, size_t bytes, int bits, int frequency, uint32_t length) {
  if (!ValidSample(slot) || !data || length == 0 || frequency <= 0) return false;
  if (bits != 8) bits = 16;
  const uint64_t needed = uint64_t{length} * static_cast<uint64_t>(bits / 8);
  if (needed > bytes) return false;
  SoundSample sample;
  try {
    sample.data.resize(static_cast<size_t>(needed));
  } catch (const std::bad_alloc&) {
    return false;
  }
  std::memcpy(sample.data.data(), data, static_cast<size_t>(needed));
  sample.bits = bits;
  sample.defaultFrequency = frequency;
  sample.length = length;
  StopChannel(slot);
  samples_[static_cast<size_t>(slot)] = std::move(sample);
  return true;
}

const SoundSample* SoundLibrary::Sample(int slot) const {
  if (!ValidSample(slot)) return nullptr;
  const SoundSample& sample = samples_[static_cast<size_t>(slot)];
  return sample.length == 0 ? nullptr : &sample;
}

void SoundLibrary::DeleteSample(int slot) {
  if (!ValidSample(slot)) return;
  StopChannel(slot);
  samples_[static_cast<size_t>(slot)] = SoundSample{};
}

bool SoundLibrary::PlayChannel(int slot, bool looping) {
  const SoundSample* sample = Sample(slot);
  if (!sample) return false;
  OpenOutputOnFirstPlay();
  win::AudioOutputLock lock;
  win::AudioVoice& voice = channels_[static_cast<size_t>(slot)].voice;
  voice.data = sample->data.data();
  voice.length = sample->length;
  voice.format = sample->bits == 8 ? win::AudioSampleFormat::kUnsigned8 : win::AudioSampleFormat::kSigned16;
  voice.frequency = static_cast<uint32_t>(sample->defaultFrequency);
  voice.position = 0;
  voice.looping = looping;
  voice.paused = false;
  voice.playing = true;
  return true;
}

void SoundLibrary::StopChannel(int slot) {
  if (!ValidSample(slot)) return;
  win::AudioOutputLock lock;
  channels_[static_cast<size_t>(slot)].voice = win::AudioVoice{};
}

void SoundLibrary::PauseChannel(int slot, bool paused) {
  if (!ValidSample(slot)) return;
  win::AudioOutputLock lock;
  channels_[static_cast<size_t>(slot)].voice.paused = paused;
}

bool SoundLibrary::IsChannelPlaying(int slot) const {
  if (!ValidSample(slot)) return false;
  win::AudioOutputLock lock;
  return channels_[static_cast<size_t>(slot)].voice.playing;
}

bool SoundLibrary::IsChannelPaused(int slot) const {
  if (!ValidSample(slot)) return false;
  win::AudioOutputLock lock;
  return channels_[static_cast<size_t>(slot)].voice.paused;
}

void SoundLibrary::SetReverbMix(int slot, float mix) {
  if (slot == kAllChannels) {
    for (Channel& channel : channels_) channel.reverbMix = mix;
  } else if (ValidSample(slot)) {
    channels_[static_cast<size_t>(slot)].reverbMix = mix;
  }
}

float SoundLibrary::ReverbMix(int slot) const {
  return ValidSample(slot) ? channels_[static_cast<size_t>(slot)].reverbMix : 0.0f;
}

bool SoundLibrary::LoadMusic(int slot, bool looping) {
  if (!ValidMusic(slot)) return false;
  music_[static_cast<size_t>(slot)] = MusicSlot{};
  music_[static_cast<size_t>(slot)].loaded = true;
  music_[static_cast<size_t>(slot)].looping = looping;
  return true;
}

void SoundLibrary::PlayMusic(int slot) {
  if (!ValidMusic(slot) || !music_[static_cast<size_t>(slot)].loaded) return;
  MusicSlot& music = music_[static_cast<size_t>(slot)];
  music.playing = true;
  music.paused = false;
  music.finished = false;
}

void SoundLibrary::PauseMusic(int slot, bool paused) {
  if (!ValidMusic(slot) || !music_[static_cast<size_t>(slot)].loaded) return;
  music_[static_cast<size_t>(slot)].paused = paused;
}

void SoundLibrary::StopMusic(int slot) {
  if (!ValidMusic(slot)) return;
  MusicSlot& music = music_[static_cast<size_t>(slot)];
  music.playing = false;
  music.paused = false;
  music.finished = false;
}

void SoundLibrary::FinishMusic(int slot) {
  if (!ValidMusic(slot) || !music_[static_cast<size_t>(slot)].playing) return;
  music_[static_cast<size_t>(slot)].finished = true;
}

void SoundLibrary::DeleteMusic(int slot) {
  if (ValidMusic(slot)) music_[static_cast<size_t>(slot)] = MusicSlot{};
}

const MusicSlot& SoundLibrary::Music(int slot) const {
  static const MusicSlot kNone{};
  return ValidMusic(slot) ? music_[static_cast<size_t>(slot)] : kNone;
}

void SoundLibrary::Mix(int16_t* out, size_t frames) {
  std::array<int32_t, kMixChunkFrames> mono;
  while (frames > 0) {
    const size_t chunk = std::min(frames, kMixChunkFrames);
    std::fill_n(mono.begin(), chunk, 0);
    for (Channel& channel : channels_) win::MixVoice(channel.voice, mono.data(), chunk);
    win::WriteStereoFrames(mono.data(), out, chunk);
    out += chunk * win::kAudioOutputChannels;
    frames -= chunk;
  }
}

void SoundLibrary::MixCallback(void* user, int16_t* out, size_t frames) {
  static_cast<SoundLibrary*>(user)->Mix(out, frames);
}

}  // namespace vx
