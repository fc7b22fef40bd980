// The audio output: opening and closing the device (the dummy driver under CTest), its lock, and
// the voice mixer's edge cases.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/audio/audio_output.h"

namespace vx::win {
namespace {

void Silence(void*, int16_t* out, size_t frames) { std::memset(out, 0, frames * 4); }

TEST(AudioOutputTest, ReopensAndLocksNestedOrWithoutADevice) {
  ASSERT_TRUE(OpenAudioOutput(Silence, nullptr)) << "SDL_AUDIODRIVER=dummy must be set";
  EXPECT_TRUE(IsAudioOutputOpen());
  {
    AudioOutputLock outer;
    AudioOutputLock inner;  // the lock nests
  }
  EXPECT_TRUE(OpenAudioOutput(Silence, nullptr));  // reopening closes the first
  CloseAudioOutput();
  CloseAudioOutput();

  { AudioOutputLock closed; }  // no device, nothing to lock
}

void AddNothing(void*, int16_t*, size_t) {}

TEST(AudioOutputTest, AnAddedSourceKeepsTheDeviceOpenAcrossTheMixCallbacksLife) {
  int source = 0;
  ASSERT_TRUE(AddAudioSource(AddNothing, &source));
  EXPECT_TRUE(IsAudioOutputOpen()) << "the first source opens the device";
  EXPECT_TRUE(OpenAudioOutput(Silence, nullptr));
  CloseAudioOutput();
  EXPECT_TRUE(IsAudioOutputOpen()) << "the source still plays";
  RemoveAudioSource(&source);
  EXPECT_FALSE(IsAudioOutputOpen());

  ASSERT_TRUE(OpenAudioOutput(Silence, nullptr));
  ASSERT_TRUE(AddAudioSource(AddNothing, &source));
  RemoveAudioSource(&source);
  EXPECT_TRUE(IsAudioOutputOpen()) << "the mix callback still plays";
  CloseAudioOutput();
  EXPECT_FALSE(IsAudioOutputOpen());
}

std::vector<int32_t> Mix(AudioVoice& voice, size_t frames) {
  std::vector<int32_t> mono(frames, 0);
  MixVoice(voice, mono.data(), frames);
  return mono;
}

TEST(AudioMixerTest, AVoiceWithoutAFrequencyStopsAndStartsAgainFromTheTop) {
  const uint8_t bytes16[8] = {0x00, 0x80, 0x01, 0x00, 0xFE, 0xFF, 0xFF, 0x7F};
  AudioVoice voice{bytes16, 4, AudioSampleFormat::kSigned16, 0, 0, true, false, true};
  EXPECT_EQ(Mix(voice, 2), (std::vector<int32_t>{0, 0}));
  EXPECT_FALSE(voice.playing);
  EXPECT_EQ(voice.position, 0u);
}

TEST(AudioMixerTest, SumsClipToSixteenBits) {
  const int32_t mono[4] = {40000, -40000, 12, -1};
  int16_t out[8];
  WriteStereoFrames(mono, out, 4);
  const int16_t expected[8] = {32767, 32767, -32768, -32768, 12, 12, -1, -1};
  EXPECT_EQ(std::memcmp(out, expected, sizeof out), 0);
}

}  // namespace
}  // namespace vx::win
