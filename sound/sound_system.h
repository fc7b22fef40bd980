// The sound and music services the runtime calls: start-up, the per-frame updates, pause and
// resume on focus changes, shut-down, and the exchange of sample data with memory blocks.
#pragma once
#include <array>
#include <cstdint>

#include "platform/win/types.h"
#include "sound/library/sound_library.h"

namespace vx {

constexpr int kSoundSlotCount = SoundLibrary::kSampleSlots;  // sound numbers 0 to 1029
constexpr int kMusicSlotCount = SoundLibrary::kMusicSlots;   // music numbers 0 to 32
constexpr int kLowestDataSoundNumber = 1;                    // range of the sample data exchange
constexpr int kHighestDataSoundNumber = 1025;

struct SoundState {
  SoundLibrary gSoundLibrary;
  int gSoundAvailable = 0;                                     // 1 while the library runs with an output
  std::array<uint8_t, kSoundSlotCount> gSoundSlotInUse{};      // 1 while the number holds a sound
  std::array<uint8_t, kMusicSlotCount> gMusicPausedByFocus{};  // 1 for songs PauseAllMusic paused
};
extern SoundState gSoundState;  // the one instance (sound/sound_system.cpp)
inline SoundState& Sound() { return gSoundState; }

int InitMusicSystem();
int InitSoundSystem(win::HWND window);  // 1 even when there is no sound
int SetSoundDefaults();
int SoundStubTrue();
int UpdateSound3D();
int UpdateMusic();
void DeleteAllMusicSlots();
int ShutdownMusicSystem();
int DeleteAllSounds();
int ShutdownSoundSystem();

void PauseAllSounds();
void ResumeAllSounds();
void PauseAllMusic();
void ResumeAllMusic();

// Hands out a copy of sound n's samples: *data is a std::malloc block of length × bits / 8 bytes
// that the caller releases with std::free. 0 (and nothing allocated) when n is outside 1 to 1025,
// holds no sample, or an out pointer is null.
int CopySoundData(void** data, int32_t* byteCount, int32_t* bitsPerSample, int32_t* frequency, int32_t* lengthInSamples,
                  int32_t soundNumber);
// Makes sound n from `length` samples of `data`: 8 bits gives an 8-bit sample, any other value a
// 16-bit one. 0 when n is outside 1 to 1025, byteCount holds fewer than the samples, or length or
// frequency is not positive; sound n is then left as it was.
int CreateSoundFromData(const void* data, int32_t byteCount, int32_t bitsPerSample, int32_t frequency,
                        int32_t lengthInSamples, int32_t soundNumber);

}  // namespace vx
