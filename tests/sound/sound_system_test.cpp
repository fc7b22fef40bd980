// The sound services the runtime calls: start-up with and without an output, sample data in and
// out of sound numbers, pause and resume on focus changes, the music restart rule, clean-up, and
// the library's mix of playing channels.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/audio/audio_output.h"
#include "sound/sound_system.h"

namespace vx {
namespace {

class SoundSystemTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }

  static void Reset() {
    ShutdownSoundSystem();
    ShutdownMusicSystem();
    win::SetAudioFaults({});
  }

  static void StartWithoutDevice() {
    win::SetAudioFaults({.failOpen = true});
    ASSERT_EQ(InitSoundSystem(nullptr), 1);
    ASSERT_EQ(gSoundAvailable, 0);
  }

  // A sound of `length` 16-bit samples, all `value`.
  static void MakeSound16(int number, int16_t value, int32_t length, int32_t frequency = 44100) {
    std::vector<int16_t> samples(static_cast<size_t>(length), value);
    ASSERT_EQ(CreateSoundFromData(samples.data(), length * 2, 16, frequency, length, number), 1) << number;
  }
};

TEST_F(SoundSystemTest, StartsWithTheDummyDriverAndAppliesTheDefaults) {
  gSoundLibrary.SetDistanceFactor(1.0f);
  gSoundLibrary.SetEnvironment(7);
  gSoundLibrary.SetReverbMix(SoundLibrary::kAllChannels, 0.5f);
  gSoundLibrary.SetListener({{1, 2, 3}, {0, 0, 1}, {1, 0, 0}, {0, 0, 1}});

  EXPECT_EQ(InitMusicSystem(), 1);
  EXPECT_EQ(InitSoundSystem(nullptr), 1);
  EXPECT_EQ(gSoundAvailable, 1);
  EXPECT_TRUE(win::IsAudioOutputOpen());

  EXPECT_FLOAT_EQ(gSoundLibrary.DistanceFactor(), 0.002f);
  EXPECT_EQ(gSoundLibrary.Environment(), 0);
  for (const int channel : {0, 1, 1029}) EXPECT_EQ(gSoundLibrary.ReverbMix(channel), 0.0f) << channel;
  const SoundListener& listener = gSoundLibrary.Listener();
  EXPECT_EQ(listener.position.x + listener.position.y + listener.position.z, 0.0f);
  EXPECT_EQ(listener.forward.z, 1.0f);
  EXPECT_EQ(listener.top.y, 1.0f);
}

TEST_F(SoundSystemTest, ShutdownThenInitAgainPlays) {
  ASSERT_EQ(InitSoundSystem(nullptr), 1);
  MakeSound16(1, 1000, 64);
  EXPECT_EQ(ShutdownSoundSystem(), 1);
  EXPECT_EQ(gSoundAvailable, 0);
  EXPECT_FALSE(win::IsAudioOutputOpen());
  EXPECT_EQ(gSoundSlotInUse[1], 0);

  ASSERT_EQ(InitSoundSystem(nullptr), 1);
  EXPECT_EQ(gSoundAvailable, 1);
  MakeSound16(1, 1000, 64);
  EXPECT_TRUE(gSoundLibrary.PlayChannel(1, true));
  EXPECT_TRUE(gSoundLibrary.IsChannelPlaying(1));
}

TEST_F(SoundSystemTest, WithoutADeviceEveryServiceStillAnswers) {
  StartWithoutDevice();
  EXPECT_FALSE(win::IsAudioOutputOpen());
  EXPECT_EQ(InitMusicSystem(), 1);
  EXPECT_EQ(SetSoundDefaults(), 1);
  EXPECT_EQ(SoundStubTrue(), 1);
  EXPECT_EQ(UpdateSound3D(), 1);
  EXPECT_EQ(UpdateMusic(), 1);

  MakeSound16(7, -5, 10);
  EXPECT_TRUE(gSoundLibrary.PlayChannel(7, false));
  PauseAllSounds();
  EXPECT_TRUE(gSoundLibrary.IsChannelPaused(7));
  ResumeAllSounds();
  EXPECT_FALSE(gSoundLibrary.IsChannelPaused(7));
  PauseAllMusic();
  ResumeAllMusic();

  EXPECT_EQ(DeleteAllSounds(), 1);
  EXPECT_EQ(ShutdownMusicSystem(), 1);
  EXPECT_EQ(ShutdownSoundSystem(), 1);
  EXPECT_EQ(ShutdownSoundSystem(), 1);  // a second shut-down finds nothing to close
}

TEST_F(SoundSystemTest, SampleDataRoundTrip) {
  struct Case {
    int32_t bitsIn;
    int32_t bitsOut;
    int32_t frequency;
    int32_t length;
    int32_t number;
  };
  const Case cases[] = {
      {8, 8, 11025, 5, 1},
      {16, 16, 22050, 4, 1025},
      {12, 16, 44100, 3, 500},  // anything but 8 makes a 16-bit sample
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bitsIn);
    const int32_t bytes = c.length * c.bitsOut / 8;
    std::vector<uint8_t> data(static_cast<size_t>(bytes) + 3);  // extra bytes are not taken
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 37 + 1);
    ASSERT_NE(CreateSoundFromData(data.data(), static_cast<int32_t>(data.size()), c.bitsIn, c.frequency,
                                  c.length, c.number),
              0);
    EXPECT_EQ(gSoundSlotInUse[static_cast<size_t>(c.number)], 1);

    void* copy = nullptr;
    int32_t byteCount = -1, bits = -1, frequency = -1, length = -1;
    ASSERT_EQ(CopySoundData(&copy, &byteCount, &bits, &frequency, &length, c.number), 1);
    EXPECT_EQ(byteCount, bytes);
    EXPECT_EQ(bits, c.bitsOut);
    EXPECT_EQ(frequency, c.frequency);
    EXPECT_EQ(length, c.length);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(std::memcmp(copy, data.data(), static_cast<size_t>(bytes)), 0);
    EXPECT_NE(copy, static_cast<const void*>(gSoundLibrary.Sample(c.number)->data.data()));
    std::free(copy);
  }

  // A new sample replaces the slot's former one, even one that is playing.
  ASSERT_TRUE(gSoundLibrary.PlayChannel(1, true));
  MakeSound16(1, 0x1234, 2, 8000);
  EXPECT_FALSE(gSoundLibrary.IsChannelPlaying(1));
  void* copy = nullptr;
  int32_t byteCount = 0, bits = 0, frequency = 0, length = 0;
  ASSERT_EQ(CopySoundData(&copy, &byteCount, &bits, &frequency, &length, 1), 1);
  EXPECT_EQ(byteCount, 4);
  EXPECT_EQ(bits, 16);
  EXPECT_EQ(frequency, 8000);
  EXPECT_EQ(static_cast<const uint8_t*>(copy)[0], 0x34);
  std::free(copy);
}

TEST_F(SoundSystemTest, BadNumbersAndDataFailWithoutTouchingTheSlot) {
  const uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  void* copy = nullptr;
  int32_t byteCount = 0, bits = 0, frequency = 0, length = 0;
  for (const int32_t number : {0, 1026, 1029, -1}) {
    SCOPED_TRACE(number);
    EXPECT_EQ(CreateSoundFromData(data, 8, 8, 22050, 8, number), 0);
    EXPECT_EQ(CopySoundData(&copy, &byteCount, &bits, &frequency, &length, number), 0);
    if (number >= 0) {
      EXPECT_EQ(gSoundSlotInUse[static_cast<size_t>(number)], 0);
    }
  }
  EXPECT_EQ(CopySoundData(&copy, &byteCount, &bits, &frequency, &length, 5), 0);  // nothing there
  EXPECT_EQ(copy, nullptr);

  MakeSound16(5, 99, 2, 11025);
  struct Bad {
    const void* data;
    int32_t bytes, bits, frequency, length;
  };
  const Bad bad[] = {
      {data, 3, 16, 22050, 2},   // too few bytes for two 16-bit samples
      {data, 8, 8, 22050, 9},    // too few bytes for nine 8-bit samples
      {data, -4, 8, 22050, 2},   // negative size
      {data, 8, 8, 22050, 0},    // no samples
      {data, 8, 8, 22050, -1},
      {data, 8, 8, 0, 8},        // no frequency
      {data, 8, 8, -44100, 8},
      {nullptr, 8, 8, 22050, 8},
  };
  for (const Bad& b : bad) {
    SCOPED_TRACE(::testing::Message() << b.bytes << " bytes, length " << b.length << ", " << b.frequency);
    EXPECT_EQ(CreateSoundFromData(b.data, b.bytes, b.bits, b.frequency, b.length, 5), 0);
  }
  ASSERT_EQ(CopySoundData(&copy, &byteCount, &bits, &frequency, &length, 5), 1);
  EXPECT_EQ(frequency, 11025);
  EXPECT_EQ(length, 2);
  std::free(copy);
  EXPECT_EQ(gSoundSlotInUse[5], 1);
  EXPECT_EQ(gSoundSlotInUse[4] + gSoundSlotInUse[6], 0);

  EXPECT_EQ(CopySoundData(nullptr, &byteCount, &bits, &frequency, &length, 5), 0);
  EXPECT_EQ(CopySoundData(&copy, &byteCount, &bits, nullptr, &length, 5), 0);
}

TEST_F(SoundSystemTest, FocusPauseTouchesOnlyPlayingChannelsInUse) {
  ASSERT_EQ(InitSoundSystem(nullptr), 1);  // the mixer runs meanwhile: looping channels never end
  for (const int number : {1, 2, 3, 4}) MakeSound16(number, 100, 32);
  ASSERT_TRUE(gSoundLibrary.PlayChannel(1, true));  // in use, playing
  // 2: in use, never played
  ASSERT_TRUE(gSoundLibrary.PlayChannel(3, true));  // playing, but the number is not in use
  gSoundSlotInUse[3] = 0;
  ASSERT_TRUE(gSoundLibrary.PlayChannel(4, true));  // played and stopped
  gSoundLibrary.StopChannel(4);

  PauseAllSounds();
  EXPECT_TRUE(gSoundLibrary.IsChannelPaused(1));
  EXPECT_FALSE(gSoundLibrary.IsChannelPaused(2));
  EXPECT_FALSE(gSoundLibrary.IsChannelPaused(3));
  EXPECT_FALSE(gSoundLibrary.IsChannelPaused(4));

  gSoundLibrary.PauseChannel(3, true);
  ResumeAllSounds();
  EXPECT_FALSE(gSoundLibrary.IsChannelPaused(1));
  EXPECT_TRUE(gSoundLibrary.IsChannelPlaying(1));
  EXPECT_TRUE(gSoundLibrary.IsChannelPaused(3));
}

TEST_F(SoundSystemTest, FocusPauseResumesOnlyTheSongsItPaused) {
  for (const int slot : {0, 1, 2, 32}) ASSERT_TRUE(gSoundLibrary.LoadMusic(slot, false));
  gSoundLibrary.PlayMusic(0);
  gSoundLibrary.PlayMusic(1);
  gSoundLibrary.PauseMusic(1, true);  // paused by the program itself
  gSoundLibrary.PlayMusic(32);        // 2 is loaded but not playing

  PauseAllMusic();
  for (const int slot : {0, 1, 32}) EXPECT_TRUE(gSoundLibrary.Music(slot).paused) << slot;
  EXPECT_FALSE(gSoundLibrary.Music(2).paused);
  EXPECT_EQ(gMusicPausedByFocus[0] + gMusicPausedByFocus[32], 2);
  EXPECT_EQ(gMusicPausedByFocus[1] + gMusicPausedByFocus[2], 0);

  ResumeAllMusic();
  EXPECT_FALSE(gSoundLibrary.Music(0).paused);
  EXPECT_FALSE(gSoundLibrary.Music(32).paused);
  EXPECT_TRUE(gSoundLibrary.Music(1).paused);
  for (const uint8_t mark : gMusicPausedByFocus) EXPECT_EQ(mark, 0);

  gSoundLibrary.PauseMusic(0, true);
  ResumeAllMusic();  // the marks are gone, so nothing resumes
  EXPECT_TRUE(gSoundLibrary.Music(0).paused);
}

TEST_F(SoundSystemTest, UpdateMusicRestartsOnlyFinishedLoopingSongs) {
  ASSERT_TRUE(gSoundLibrary.LoadMusic(3, true));
  ASSERT_TRUE(gSoundLibrary.LoadMusic(4, false));
  ASSERT_TRUE(gSoundLibrary.LoadMusic(5, true));
  for (const int slot : {3, 4, 5}) gSoundLibrary.PlayMusic(slot);
  gSoundLibrary.FinishMusic(3);
  gSoundLibrary.FinishMusic(4);

  EXPECT_EQ(UpdateMusic(), 1);
  EXPECT_TRUE(gSoundLibrary.Music(3).playing);
  EXPECT_FALSE(gSoundLibrary.Music(3).finished);
  EXPECT_TRUE(gSoundLibrary.Music(4).finished);
  EXPECT_TRUE(gSoundLibrary.Music(5).playing);
  EXPECT_FALSE(gSoundLibrary.Music(5).finished);
}

TEST_F(SoundSystemTest, DeleteAllClearsEverySlot) {
  ASSERT_EQ(InitSoundSystem(nullptr), 1);
  const uint8_t bytes[4] = {10, 20, 30, 40};
  for (const int slot : {0, 1029}) {  // numbers the data exchange cannot reach
    ASSERT_TRUE(gSoundLibrary.SetSample(slot, bytes, sizeof bytes, 8, 8000, 4));
    gSoundSlotInUse[static_cast<size_t>(slot)] = 1;
    ASSERT_TRUE(gSoundLibrary.PlayChannel(slot, true));
  }
  MakeSound16(600, 1, 8);
  ASSERT_TRUE(gSoundLibrary.LoadMusic(9, true));
  gSoundLibrary.PlayMusic(9);
  PauseAllMusic();

  EXPECT_EQ(DeleteAllSounds(), 1);
  for (int slot = 0; slot < kSoundSlotCount; ++slot) {
    ASSERT_EQ(gSoundSlotInUse[static_cast<size_t>(slot)], 0) << slot;
    ASSERT_EQ(gSoundLibrary.Sample(slot), nullptr) << slot;
    ASSERT_FALSE(gSoundLibrary.IsChannelPlaying(slot)) << slot;
  }
  EXPECT_EQ(gSoundAvailable, 1);  // the output stays up

  DeleteAllMusicSlots();
  EXPECT_FALSE(gSoundLibrary.Music(9).loaded);
  EXPECT_EQ(gMusicPausedByFocus[9], 0);
}

TEST_F(SoundSystemTest, MixResamplesAndSumsPlayingChannels) {
  StartWithoutDevice();
  // 8-bit at half the output rate: each sample is heard twice, then the sound ends.
  const uint8_t eight[4] = {128, 255, 0, 192};
  ASSERT_EQ(CreateSoundFromData(eight, 4, 8, 22050, 4, 1), 1);
  ASSERT_TRUE(gSoundLibrary.PlayChannel(1, false));
  std::vector<int16_t> out(20, 99);
  gSoundLibrary.Mix(out.data(), 10);
  const int16_t expected[10] = {0, 0, 32512, 32512, -32768, -32768, 16384, 16384, 0, 0};
  for (size_t frame = 0; frame < 10; ++frame) {
    EXPECT_EQ(out[2 * frame], expected[frame]) << frame;
    EXPECT_EQ(out[2 * frame + 1], expected[frame]) << frame;
  }
  EXPECT_FALSE(gSoundLibrary.IsChannelPlaying(1));

  // Two looping channels sum and clip; a paused one adds nothing and keeps its place.
  MakeSound16(2, 30000, 3);
  ASSERT_TRUE(gSoundLibrary.PlayChannel(1, true));
  ASSERT_TRUE(gSoundLibrary.PlayChannel(2, true));
  gSoundLibrary.Mix(out.data(), 4);
  const int16_t summed[4] = {30000, 30000, 32767, 32767};  // 8-bit 0, 0, 127, 127 (× 256)
  for (size_t frame = 0; frame < 4; ++frame) EXPECT_EQ(out[2 * frame], summed[frame]) << frame;

  gSoundLibrary.PauseChannel(1, true);
  gSoundLibrary.Mix(out.data(), 1);
  EXPECT_EQ(out[0], 30000);
  gSoundLibrary.PauseChannel(1, false);
  gSoundLibrary.Mix(out.data(), 1);
  EXPECT_EQ(out[0], 30000 - 32768);  // channel 1 goes on at its sample 2
}

}  // namespace
}  // namespace vx
