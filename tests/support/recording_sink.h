// A sound sink for film tests: it keeps every frame written and plays them by the millisecond
// clock that tests move, so the sound track's clock runs with the test's time.
#pragma once
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/audio/audio_output.h"
#include "platform/media/media_stream.h"
#include "platform/win/time.h"

namespace vx::test {

class RecordingSink final : public win::MediaAudioSink {
 public:
  struct Record {
    std::vector<int16_t> samples;  // everything written, interleaved stereo
    int flushes = 0;
  };
  explicit RecordingSink(std::shared_ptr<Record> record) : record_(std::move(record)) {}

  size_t Write(const int16_t* samples, size_t frames) override {
    record_->samples.insert(record_->samples.end(), samples, samples + frames * 2);
    written_ += frames;
    return frames;
  }
  uint64_t PlayedFrames() override { return std::min<uint64_t>(written_, Elapsed() * win::kAudioOutputRate / 1000); }
  size_t QueuedFrames() override { return size_t(written_ - PlayedFrames()); }
  void SetPaused(bool paused) override {
    if (paused == paused_) return;
    if (paused) playedMillis_ = Elapsed();
    since_ = win::timeGetTime();
    paused_ = paused;
  }
  void Flush() override {
    ++record_->flushes;
    written_ = 0;
    playedMillis_ = 0;
    since_ = win::timeGetTime();
  }

  // Makes films play into one record.
  static std::shared_ptr<Record> Install() {
    auto record = std::make_shared<Record>();
    win::SetMediaAudioSinkMaker([record]() { return std::make_unique<RecordingSink>(record); });
    return record;
  }

 private:
  uint64_t Elapsed() const { return paused_ ? playedMillis_ : playedMillis_ + uint32_t(win::timeGetTime() - since_); }
  std::shared_ptr<Record> record_;
  uint64_t written_ = 0;
  uint64_t playedMillis_ = 0;  // ms played before since_
  uint32_t since_ = win::timeGetTime();
  bool paused_ = true;
};

}  // namespace vx::test
