// A film's sound track on the audio output: a ring of one second of stereo frames that the main
// thread fills and the audio thread empties, added over whatever else the output plays.
#include <algorithm>
#include <vector>

#include "platform/audio/audio_output.h"
#include "platform/media/media_stream.h"

namespace vx::win {

namespace {

class OutputSink final : public MediaAudioSink {
 public:
  OutputSink() : ring_(size_t(kAudioOutputRate) * kAudioOutputChannels) {}
  ~OutputSink() override { RemoveAudioSource(this); }
  OutputSink(const OutputSink&) = delete;
  OutputSink& operator=(const OutputSink&) = delete;

  bool Start() { return AddAudioSource(&OutputSink::Add, this); }

  size_t Write(const int16_t* samples, size_t frames) override {
    AudioOutputLock lock;
    const size_t capacity = ring_.size() / 2;
    const size_t taken = std::min(frames, capacity - queued_);
    for (size_t i = 0; i < taken; ++i) {
      const size_t at = ((start_ + queued_ + i) % capacity) * 2;
      ring_[at] = samples[2 * i];
      ring_[at + 1] = samples[2 * i + 1];
    }
    queued_ += taken;
    return taken;
  }
  uint64_t PlayedFrames() override {
    AudioOutputLock lock;
    return played_;
  }
  size_t QueuedFrames() override {
    AudioOutputLock lock;
    return queued_;
  }
  void SetPaused(bool paused) override {
    AudioOutputLock lock;
    paused_ = paused;
  }
  void Flush() override {
    AudioOutputLock lock;
    start_ = queued_ = 0;
    played_ = 0;
  }

 private:
  // The audio thread, with the output locked.
  static void Add(void* user, int16_t* out, size_t frames) {
    auto& sink = *static_cast<OutputSink*>(user);
    if (sink.paused_) return;
    const size_t capacity = sink.ring_.size() / 2;
    const size_t n = std::min(frames, sink.queued_);
    for (size_t i = 0; i < n; ++i) {
      const size_t at = ((sink.start_ + i) % capacity) * 2;
      for (size_t c = 0; c < 2; ++c)
        out[2 * i + c] = int16_t(std::clamp(int32_t(out[2 * i + c]) + sink.ring_[at + c], -32768, 32767));
    }
    sink.start_ = (sink.start_ + n) % capacity;
    sink.queued_ -= n;
    sink.played_ += n;
  }

  std::vector<int16_t> ring_;
  size_t start_ = 0;   // first queued frame
  size_t queued_ = 0;  // frames waiting
  uint64_t played_ = 0;
  bool paused_ = false;
};

}  // namespace

// No audio device: the film plays without sound.
std::unique_ptr<MediaAudioSink> MakeOutputSink() {
  auto sink = std::make_unique<OutputSink>();
  if (!sink->Start()) return nullptr;
  return sink;
}

}  // namespace vx::win
