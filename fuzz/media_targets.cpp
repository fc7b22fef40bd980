// Fuzz targets of films: a film opened as a load animation opens it, from memory as a game's
// attached film and from a file as any other, and a film played frame by frame as play animation
// plays it: decoded into a frame surface of the film's own format through a stream sample, each
// frame copied (and after a seek scaled) onto a screen surface, the sound track into a sink that
// plays by the clock, then sought back to its start as a looping film is.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_targets.h"
#include "platform/audio/audio_output.h"
#include "platform/ddraw/ddraw.h"
#include "platform/media/media_stream.h"
#include "platform/win/time.h"

namespace vx::fuzz {

namespace {

// A played film is given this many frame turns of 40 ms before and after its seek.
constexpr int kTurns = 60;
// The screen the frames are copied to: small, so that the copies cost little beside the decoding.
constexpr win::LONG kScreenWidth = 160, kScreenHeight = 120;

win::DWORD gFilmClock = 0;
win::DWORD FilmClock() { return gFilmClock; }

// Takes what it is given and plays it by the clock, as the audio output would.
class ClockSink final : public win::MediaAudioSink {
 public:
  size_t Write(const int16_t*, size_t frames) override {
    written_ += frames;
    return frames;
  }
  uint64_t PlayedFrames() override {
    const uint64_t elapsed = paused_ ? played_ : played_ + uint32_t(win::timeGetTime() - since_);
    return std::min<uint64_t>(written_, elapsed * win::kAudioOutputRate / 1000);
  }
  size_t QueuedFrames() override { return size_t(written_ - PlayedFrames()); }
  void SetPaused(bool paused) override {
    if (paused == paused_) return;
    if (paused) played_ += uint32_t(win::timeGetTime() - since_);
    since_ = win::timeGetTime();
    paused_ = paused;
  }
  void Flush() override {
    written_ = played_ = 0;
    since_ = win::timeGetTime();
  }

 private:
  uint64_t written_ = 0;
  uint64_t played_ = 0;  // ms played before since_
  uint32_t since_ = win::timeGetTime();
  bool paused_ = true;
};

win::DirectDraw* FilmDirectDraw() {
  static win::DirectDraw* const directDraw = [] {
    win::DirectDraw* made = nullptr;
    if (win::DirectDrawCreateEx(nullptr, &made, win::IID_IDirectDraw7, nullptr) != win::DD_OK ||
        made->SetCooperativeLevel(nullptr, win::DDSCL_NORMAL) != win::DD_OK)
      std::abort();
    return made;
  }();
  return directDraw;
}

win::DirectDrawSurface* MakeSurface(win::DirectDraw* directDraw, const win::DDSURFACEDESC2& format) {
  win::DDSURFACEDESC2 desc = format;
  desc.dwFlags = win::DDSD_CAPS | win::DDSD_WIDTH | win::DDSD_HEIGHT | win::DDSD_PIXELFORMAT;
  desc.ddsCaps.dwCaps = win::DDSCAPS_OFFSCREENPLAIN | win::DDSCAPS_SYSTEMMEMORY;
  win::DirectDrawSurface* surface = nullptr;
  return directDraw->CreateSurface(&desc, &surface, nullptr) == win::DD_OK ? surface : nullptr;
}

// The stream, opened from the input with its sound track wanted, held in memory or written to a
// file that is opened by its name; null when it does not open.
win::MultiMediaStream* OpenFilm(const uint8_t* data, size_t size, bool fromFile) {
  win::MultiMediaStream* stream = nullptr;
  if (win::MultiMediaStream::Create(&stream) != win::S_OK) std::abort();
  if (stream->Initialize(win::STREAMTYPE_READ, win::AMMSF_NOGRAPHTHREAD) != win::S_OK ||
      stream->AddMediaStream(FilmDirectDraw(), win::MSPID_PrimaryVideo, 0) != win::S_OK ||
      stream->AddMediaStream(nullptr, win::MSPID_PrimaryAudio, win::AMMSF_ADDDEFAULTRENDERER) != win::S_OK)
    std::abort();
  const std::string path = FuzzWorkFolder() + "input.avi";
  if (fromFile) WriteFuzzInput(path, data, size);
  const win::HRESULT opened =
      fromFile ? stream->OpenFile(path, 0) : stream->OpenMemory(std::vector<uint8_t>(data, data + size), 0);
  if (opened != win::S_OK) {
    stream->Release();
    return nullptr;
  }
  return stream;
}

// Turns of the main loop: the sample decodes the frame due, which is copied onto the screen.
void PlayTurns(win::DirectDrawStreamSample* sample, win::DirectDrawSurface* frame, win::DirectDrawSurface* screen,
               const win::RECT& from, const win::RECT& to) {
  for (int turn = 0; turn < kTurns; ++turn) {
    gFilmClock += 40;
    const win::HRESULT update = sample->Update(0);
    if (update != win::S_OK) return;
    screen->Blt(&to, frame, &from, 0, nullptr);
  }
}

}  // namespace

void FuzzFilmOpen(const uint8_t* data, size_t size) {
  win::SetMediaAudioSinkMaker([] { return std::make_unique<ClockSink>(); });
  for (const bool fromFile : {false, true}) {
    win::MultiMediaStream* stream = OpenFilm(data, size, fromFile);
    if (!stream) continue;
    win::DirectDrawMediaStream* video = nullptr;
    if (stream->GetMediaStream(win::MSPID_PrimaryVideo, &video) == win::S_OK) {
      win::DDSURFACEDESC2 format{};
      format.dwSize = sizeof format;
      video->GetFormat(&format);
      video->Release();
    }
    win::STREAM_TIME duration = 0;
    stream->GetDuration(&duration);
    stream->Release();
  }
  win::SetMediaAudioSinkMaker(nullptr);
}

void FuzzFilmPlay(const uint8_t* data, size_t size) {
  win::SetMediaAudioSinkMaker([] { return std::make_unique<ClockSink>(); });
  win::SetClockSource(FilmClock);
  gFilmClock = 1000;
  // Inputs of odd length are played from a file, the others from memory.
  win::MultiMediaStream* stream = OpenFilm(data, size, size % 2 == 1);
  win::DirectDrawMediaStream* video = nullptr;
  if (stream && stream->GetMediaStream(win::MSPID_PrimaryVideo, &video) == win::S_OK) {
    win::DDSURFACEDESC2 format{};
    format.dwSize = sizeof format;
    win::DirectDrawSurface* frame = nullptr;
    win::DirectDrawStreamSample* sample = nullptr;
    win::DDSURFACEDESC2 screenFormat = format;
    if (video->GetFormat(&format) == win::S_OK && (frame = MakeSurface(FilmDirectDraw(), format)) &&
        video->CreateSample(frame, nullptr, 0, &sample) == win::S_OK) {
      screenFormat = format;
      screenFormat.dwWidth = kScreenWidth;
      screenFormat.dwHeight = kScreenHeight;
      if (win::DirectDrawSurface* screen = MakeSurface(FilmDirectDraw(), screenFormat)) {
        // The film at its own size at the top left, and then scaled into a rectangle of odd sizes.
        const win::RECT whole{0, 0, win::LONG(format.dwWidth), win::LONG(format.dwHeight)};
        const win::RECT own{0, 0, std::min(whole.right, kScreenWidth), std::min(whole.bottom, kScreenHeight)};
        stream->SetState(win::STREAMSTATE_RUN);
        PlayTurns(sample, frame, screen, own, own);
        if (stream->Seek(0) == win::S_OK) PlayTurns(sample, frame, screen, whole, win::RECT{13, 7, 150, 111});
        stream->SetState(win::STREAMSTATE_STOP);
        screen->Release();
      }
    }
    if (sample) sample->Release();
    if (frame) frame->Release();
    video->Release();
  }
  if (stream) stream->Release();
  win::SetClockSource(nullptr);
  win::SetMediaAudioSinkMaker(nullptr);
}

}  // namespace vx::fuzz
