// The sound and music services the runtime calls, over the sound library.
#include "sound/sound_system.h"

#include <cstdlib>
#include <cstring>

namespace vx {

SoundState gSoundState;

namespace {

bool IsDataSoundNumber(int32_t soundNumber) {
  return soundNumber >= kLowestDataSoundNumber && soundNumber <= kHighestDataSoundNumber;
}

}  // namespace

int InitMusicSystem() { return 1; }

int InitSoundSystem(win::HWND window) {
  Sound().gSoundAvailable = Sound().gSoundLibrary.Start(window) ? 1 : 0;
  SetSoundDefaults();
  return 1;
}

int SetSoundDefaults() {
  Sound().gSoundLibrary.SetDistanceFactor(0.002f);
  Sound().gSoundLibrary.SetListener(SoundListener{});
  Sound().gSoundLibrary.SetEnvironment(0);
  Sound().gSoundLibrary.SetReverbMix(SoundLibrary::kAllChannels, 0.0f);
  return 1;
}

int SoundStubTrue() { return 1; }

int UpdateSound3D() {
  if (Sound().gSoundAvailable) Sound().gSoundLibrary.Update3D();
  return 1;
}

int UpdateMusic() {
  for (int slot = 0; slot < kMusicSlotCount; ++slot) {
    const MusicSlot& music = Sound().gSoundLibrary.Music(slot);
    if (music.looping && music.playing && music.finished) Sound().gSoundLibrary.PlayMusic(slot);
  }
  // The MCI music of the CD and MIDI commands would be updated here; those commands keep no
  // per-frame state in this system.
  return 1;
}

void DeleteAllMusicSlots() {
  for (int slot = 0; slot < kMusicSlotCount; ++slot) Sound().gSoundLibrary.DeleteMusic(slot);
  Sound().gMusicPausedByFocus.fill(0);
}

int ShutdownMusicSystem() {
  DeleteAllMusicSlots();
  return 1;
}

int DeleteAllSounds() {
  for (int slot = 0; slot < kSoundSlotCount; ++slot) {
    Sound().gSoundLibrary.StopChannel(slot);
    Sound().gSoundLibrary.DeleteSample(slot);
    Sound().gSoundSlotInUse[static_cast<size_t>(slot)] = 0;
  }
  return 1;
}

int ShutdownSoundSystem() {
  DeleteAllSounds();
  if (Sound().gSoundAvailable) {
    Sound().gSoundAvailable = 0;
    Sound().gSoundLibrary.Close();
  }
  return 1;
}

void PauseAllSounds() {
  for (int slot = 0; slot < kSoundSlotCount; ++slot) {
    if (Sound().gSoundSlotInUse[static_cast<size_t>(slot)] == 1 && Sound().gSoundLibrary.IsChannelPlaying(slot)) {
      Sound().gSoundLibrary.PauseChannel(slot, true);
    }
  }
}

void ResumeAllSounds() {
  for (int slot = 0; slot < kSoundSlotCount; ++slot) {
    if (Sound().gSoundSlotInUse[static_cast<size_t>(slot)] == 1 && Sound().gSoundLibrary.IsChannelPlaying(slot)) {
      Sound().gSoundLibrary.PauseChannel(slot, false);
    }
  }
}

void PauseAllMusic() {
  for (int slot = 0; slot < kMusicSlotCount; ++slot) {
    const MusicSlot& music = Sound().gSoundLibrary.Music(slot);
    if (music.loaded && music.playing && !music.paused) {
      Sound().gSoundLibrary.PauseMusic(slot, true);
      Sound().gMusicPausedByFocus[static_cast<size_t>(slot)] = 1;
    }
  }
}

void ResumeAllMusic() {
  for (int slot = 0; slot < kMusicSlotCount; ++slot) {
    if (Sound().gMusicPausedByFocus[static_cast<size_t>(slot)]) {
      Sound().gSoundLibrary.PauseMusic(slot, false);
      Sound().gMusicPausedByFocus[static_cast<size_t>(slot)] = 0;
    }
  }
}

int CopySoundData(void** data, int32_t* byteCount, int32_t* bitsPerSample, int32_t* frequency, int32_t* lengthInSamples,
                  int32_t soundNumber) {
  if (!data || !byteCount || !bitsPerSample || !frequency || !lengthInSamples) return 0;
  if (!IsDataSoundNumber(soundNumber)) return 0;
  const SoundSample* sample = Sound().gSoundLibrary.Sample(soundNumber);
  if (!sample) return 0;
  const size_t bytes = sample->data.size();
  void* copy = std::malloc(bytes);
  if (!copy) return 0;
  std::memcpy(copy, sample->data.data(), bytes);
  *data = copy;
  *byteCount = static_cast<int32_t>(bytes);
  *bitsPerSample = sample->bits;
  *frequency = sample->defaultFrequency;
  *lengthInSamples = static_cast<int32_t>(sample->length);
  return 1;
}

int CreateSoundFromData(const void* data, int32_t byteCount, int32_t bitsPerSample, int32_t frequency,
                        int32_t lengthInSamples, int32_t soundNumber) {
  if (!IsDataSoundNumber(soundNumber) || byteCount < 0 || lengthInSamples <= 0) return 0;
  if (!Sound().gSoundLibrary.SetSample(soundNumber, data, static_cast<size_t>(byteCount), bitsPerSample, frequency,
                                       static_cast<uint32_t>(lengthInSamples))) {
    return 0;
  }
  Sound().gSoundSlotInUse[static_cast<size_t>(soundNumber)] = 1;
  return 1;
}

}  // namespace vx
