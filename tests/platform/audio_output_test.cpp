// The audio output: opening and closing the device (the dummy driver under CTest), the injected
// open failure, and the voice mixer's stepping, formats, looping and clipping.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/audio/audio_output.h"

namespace vx::win {
namespace {

void Silence(void*, int16_t* out, size_t frames) { std::memset(out, 0, frames * 4); }

TEST(AudioOutputTest, OpensClosesAndFailsOnRequest) {
  ASSERT_TRUE(OpenAudioOutput(Silence, nullptr)) << "SDL_AUDIODRIVER=dummy must be set";
  EXPECT_TRUE(IsAudioOutputOpen());
  {
    AudioOutputLock outer;
    AudioOutputLock inner;  // the lock nests
  }
  EXPECT_TRUE(OpenAudioOutput(Silence, nullptr));  // reopening closes the first
  CloseAudioOutput();
  EXPECT_FALSE(IsAudioOutputOpen());
  CloseAudioOutput();

  SetAudioFaults({.failOpen = true});
  EXPECT_FALSE(OpenAudioOutput(Silence, nullptr));
  EXPECT_FALSE(IsAudioOutputOpen());
  { AudioOutputLock closed; }  // no device, nothing to lock
  SetAudioFaults({});
  EXPECT_TRUE(OpenAudioOutput(Silence, nullptr));
  CloseAudioOutput();
}

std::vector<int32_t> Mix(AudioVoice& voice, size_t frames) {
  std::vector<int32_t> mono(frames, 0);
  MixVoice(voice, mono.data(), frames);
  return mono;
}

TEST(AudioMixerTest, StepsThroughSamplesAtTheirFrequency) {
  const uint8_t bytes16[8] = {0x00, 0x80, 0x01, 0x00, 0xFE, 0xFF, 0xFF, 0x7F};  // -32768, 1, -2, 32767
  const uint8_t bytes8[4] = {0, 128, 129, 255};
  const auto s16 = AudioSampleFormat::kSigned16;
  const auto u8 = AudioSampleFormat::kUnsigned8;
  const struct {
    const char* name;
    const uint8_t* data;
    AudioSampleFormat format;
    uint32_t frequency;
    bool looping;
    std::vector<int32_t> expected;
    bool playingAfter;
  } cases[] = {
      {"16-bit at the output rate", bytes16, s16, 44100, false, {-32768, 1, -2, 32767, 0, 0}, false},
      {"8-bit unsigned", bytes8, u8, 44100, false, {-32768, 0, 256, 32512, 0}, false},
      {"half rate repeats", bytes8, u8, 22050, false, {-32768, -32768, 0, 0, 256, 256, 32512, 32512, 0}, false},
      {"double rate skips", bytes16, s16, 88200, false, {-32768, -2, 0}, false},
      {"looping wraps", bytes16, s16, 88200, true, {-32768, -2, -32768, -2, -32768}, true},
      {"no frequency stops", bytes16, s16, 0, true, {0, 0}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AudioVoice voice{c.data, 4, c.format, c.frequency, 0, true, false, c.looping};
    EXPECT_EQ(Mix(voice, c.expected.size()), c.expected);
    EXPECT_EQ(voice.playing, c.playingAfter);
    EXPECT_TRUE(voice.playing || voice.position == 0u) << "a voice that stopped starts again from the top";
  }
}

TEST(AudioMixerTest, PausedVoicesHoldTheirPlaceAndSumsClip) {
  const uint8_t bytes8[3] = {255, 0, 255};
  AudioVoice voice{bytes8, 3, AudioSampleFormat::kUnsigned8, 44100, 0, true, true, false};
  EXPECT_EQ(Mix(voice, 2), (std::vector<int32_t>{0, 0}));
  voice.paused = false;
  EXPECT_EQ(Mix(voice, 1), (std::vector<int32_t>{32512}));

  const int32_t mono[4] = {40000, -40000, 12, -1};
  int16_t out[8];
  WriteStereoFrames(mono, out, 4);
  const int16_t expected[8] = {32767, 32767, -32768, -32768, 12, 12, -1, -1};
  EXPECT_EQ(std::memcmp(out, expected, sizeof out), 0);
}

}  // namespace
}  // namespace vx::win
