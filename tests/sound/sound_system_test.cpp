// The sound services the runtime calls: sample data in and out of sound numbers, clean-up, and the
// library's mix of playing channels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <tuple>
#include <vector>

#include "platform/audio/audio_output.h"
#include "sound/sound_system.h"

namespace vx {
namespace {

// CopySoundData's answer: its result, (bytes, bits, frequency, length) and the bytes of the block
// it handed out, which is freed here.
struct Copied {
  int result = 0;
  std::tuple<int32_t, int32_t, int32_t, int32_t> format{-1, -1, -1, -1};
  bool handedOut = false, ownBuffer = false;  // ownBuffer: the library's sample itself, not a copy
  std::vector<uint8_t> data;
};

Copied CopyOf(int32_t number) {
  Copied c;
  void* block = nullptr;
  auto& [bytes, bits, frequency, length] = c.format;
  c.result = CopySoundData(&block, &bytes, &bits, &frequency, &length, number);
  c.handedOut = block != nullptr;
  c.ownBuffer = c.result == 1 && block == static_cast<const void*>(Sound().gSoundLibrary.Sample(number)->data.data());
  if (block) c.data.assign(static_cast<uint8_t*>(block), static_cast<uint8_t*>(block) + std::max(bytes, 0));
  std::free(block);
  return c;
}

class SoundSystemTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset() {
    ShutdownSoundSystem();
    ShutdownMusicSystem();
    win::SetAudioFaults({});
  }
  // A sound of `length` 16-bit samples, all `value`.
  static void MakeSound16(int number, int16_t value, int32_t length, int32_t frequency = 44100) {
    std::vector<int16_t> samples(static_cast<size_t>(length), value);
    ASSERT_EQ(CreateSoundFromData(samples.data(), length * 2, 16, frequency, length, number), 1) << number;
  }
};

TEST_F(SoundSystemTest, SampleDataRoundTrip) {
  struct Case {
    int32_t bitsIn, bitsOut, frequency, length, number;
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
    ASSERT_NE(CreateSoundFromData(data.data(), int32_t(data.size()), c.bitsIn, c.frequency, c.length, c.number), 0);
    EXPECT_EQ(Sound().gSoundSlotInUse[static_cast<size_t>(c.number)], 1);
    const Copied copy = CopyOf(c.number);
    ASSERT_EQ(copy.result, 1);
    EXPECT_EQ(copy.format, std::tuple(bytes, c.bitsOut, c.frequency, c.length));
    EXPECT_EQ(copy.data, std::vector<uint8_t>(data.begin(), data.begin() + bytes));
    EXPECT_FALSE(copy.ownBuffer);
  }

  // A new sample replaces the slot's former one, even one that is playing.
  ASSERT_TRUE(Sound().gSoundLibrary.PlayChannel(1, true));
  MakeSound16(1, 0x1234, 2, 8000);
  EXPECT_FALSE(Sound().gSoundLibrary.IsChannelPlaying(1));
  const Copied copy = CopyOf(1);
  ASSERT_EQ(copy.result, 1);
  EXPECT_EQ(copy.format, std::tuple(4, 16, 8000, 2));
  EXPECT_EQ(copy.data[0], 0x34);
}

TEST_F(SoundSystemTest, BadNumbersAndDataFailWithoutTouchingTheSlot) {
  const uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  for (const int32_t number : {0, 1026, 1029, -1}) {
    SCOPED_TRACE(number);
    EXPECT_EQ(CreateSoundFromData(data, 8, 8, 22050, 8, number), 0);
    EXPECT_EQ(CopyOf(number).result, 0);
    EXPECT_EQ(number < 0 ? 0 : Sound().gSoundSlotInUse[static_cast<size_t>(number)], 0);
  }
  const Copied empty = CopyOf(5);  // nothing there
  EXPECT_EQ(empty.result, 0);
  EXPECT_FALSE(empty.handedOut);

  MakeSound16(5, 99, 2, 11025);
  struct Bad {
    const void* data;
    int32_t bytes, bits, frequency, length;
  };
  const Bad bad[] = {
      {data, 3, 16, 22050, 2},   {data, 8, 8, 22050, 9},  // too few bytes for two 16-bit, nine 8-bit samples
      {data, -4, 8, 22050, 2},   {data, 8, 8, 22050, 0}, {data, 8, 8, 22050, -1},  // size, no samples
      {nullptr, 8, 8, 22050, 8}, {data, 8, 8, 0, 8},     {data, 8, 8, -44100, 8},  // no data, no frequency
  };
  for (const Bad& b : bad) {
    SCOPED_TRACE(::testing::Message() << b.bytes << " bytes, length " << b.length << ", " << b.frequency);
    EXPECT_EQ(CreateSoundFromData(b.data, b.bytes, b.bits, b.frequency, b.length, 5), 0);
  }
  const Copied kept = CopyOf(5);
  ASSERT_EQ(kept.result, 1);
  EXPECT_EQ(kept.format, std::tuple(4, 16, 11025, 2));
  EXPECT_EQ(Sound().gSoundSlotInUse[5], 1);
  EXPECT_EQ(Sound().gSoundSlotInUse[4] + Sound().gSoundSlotInUse[6], 0);

  void* block = nullptr;
  int32_t bytes = 0, bits = 0, frequency = 0, length = 0;
  EXPECT_EQ(CopySoundData(nullptr, &bytes, &bits, &frequency, &length, 5), 0);
  EXPECT_EQ(CopySoundData(&block, &bytes, &bits, nullptr, &length, 5), 0);
  std::free(block);
}

TEST_F(SoundSystemTest, DeleteAllClearsEverySlot) {
  ASSERT_EQ(InitSoundSystem(nullptr), 1);
  const uint8_t bytes[4] = {10, 20, 30, 40};
  for (const int slot : {0, 1029}) {  // numbers the data exchange cannot reach
    ASSERT_TRUE(Sound().gSoundLibrary.SetSample(slot, bytes, sizeof bytes, 8, 8000, 4));
    Sound().gSoundSlotInUse[static_cast<size_t>(slot)] = 1;
    ASSERT_TRUE(Sound().gSoundLibrary.PlayChannel(slot, true));
  }
  MakeSound16(600, 1, 8);
  ASSERT_TRUE(Sound().gSoundLibrary.LoadMusic(9, true));
  Sound().gSoundLibrary.PlayMusic(9);
  PauseAllMusic();

  EXPECT_EQ(DeleteAllSounds(), 1);
  for (int slot = 0; slot < kSoundSlotCount; ++slot) {
    ASSERT_EQ(Sound().gSoundSlotInUse[static_cast<size_t>(slot)], 0) << slot;
    ASSERT_EQ(Sound().gSoundLibrary.Sample(slot), nullptr) << slot;
    ASSERT_FALSE(Sound().gSoundLibrary.IsChannelPlaying(slot)) << slot;
  }
  EXPECT_EQ(Sound().gSoundAvailable, 1);  // the output stays up

  DeleteAllMusicSlots();
  EXPECT_FALSE(Sound().gSoundLibrary.Music(9).loaded);
  EXPECT_EQ(Sound().gMusicPausedByFocus[9], 0);
}

TEST_F(SoundSystemTest, MixResamplesAndSumsPlayingChannels) {
  win::SetAudioFaults({.failOpen = true});  // no output, so no mixer runs meanwhile
  ASSERT_EQ(InitSoundSystem(nullptr), 1);
  ASSERT_EQ(Sound().gSoundAvailable, 0);
  // 8-bit at half the output rate: each sample is heard twice, then the sound ends.
  const uint8_t eight[4] = {128, 255, 0, 192};
  ASSERT_EQ(CreateSoundFromData(eight, 4, 8, 22050, 4, 1), 1);
  ASSERT_TRUE(Sound().gSoundLibrary.PlayChannel(1, false));
  std::vector<int16_t> out(20, 99);
  const auto mix = [&](size_t frames) {  // the left channel of each frame; the right must match it
    Sound().gSoundLibrary.Mix(out.data(), frames);
    std::vector<int16_t> left;
    for (size_t frame = 0; frame < frames; ++frame) {
      EXPECT_EQ(out[2 * frame + 1], out[2 * frame]) << frame;
      left.push_back(out[2 * frame]);
    }
    return left;
  };
  EXPECT_EQ(mix(10), (std::vector<int16_t>{0, 0, 32512, 32512, -32768, -32768, 16384, 16384, 0, 0}));
  EXPECT_FALSE(Sound().gSoundLibrary.IsChannelPlaying(1));

  // Two looping channels sum and clip; a paused one adds nothing and keeps its place.
  MakeSound16(2, 30000, 3);
  ASSERT_TRUE(Sound().gSoundLibrary.PlayChannel(1, true));
  ASSERT_TRUE(Sound().gSoundLibrary.PlayChannel(2, true));
  EXPECT_EQ(mix(4), (std::vector<int16_t>{30000, 30000, 32767, 32767}));  // 8-bit 0, 0, 127, 127 (× 256)
  Sound().gSoundLibrary.PauseChannel(1, true);
  EXPECT_EQ(mix(1)[0], 30000);
  Sound().gSoundLibrary.PauseChannel(1, false);
  EXPECT_EQ(mix(1)[0], 30000 - 32768);  // channel 1 goes on at its sample 2
}

}  // namespace
}  // namespace vx
