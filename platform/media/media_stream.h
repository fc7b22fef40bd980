// Multimedia streams: a film file (any container and codec FFmpeg reads, save lists of other
// files) opened for reading, its picture decoded into DirectDraw surfaces through stream samples
// and its sound track played on the audio output. Decoding happens inside the sample's synchronous
// Update; the picture keeps to the sound track's clock while there is sound and to the millisecond
// clock (win::timeGetTime, which tests replace) while there is none.
//
// The objects mirror the calls their users make of a multimedia stream: the stream itself, its
// primary video stream, and a sample made on a surface. Each handle is owned by whoever got it
// and given back with Release; the handles share the open film, which lives while any remains.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ddraw/ddraw.h"

namespace vx::win {

// 100-nanosecond units.
using STREAM_TIME = int64_t;
constexpr STREAM_TIME kStreamTimeUnitsPerSecond = 10000000;

enum STREAM_TYPE : DWORD { STREAMTYPE_READ = 0 };
enum STREAM_STATE : DWORD { STREAMSTATE_STOP = 0, STREAMSTATE_RUN = 1 };
enum class MediaPurpose { PrimaryVideo, PrimaryAudio };
constexpr MediaPurpose MSPID_PrimaryVideo = MediaPurpose::PrimaryVideo;
constexpr MediaPurpose MSPID_PrimaryAudio = MediaPurpose::PrimaryAudio;

// Initialize: decoding runs inside Update on the caller's thread (the only way it runs here).
constexpr DWORD AMMSF_NOGRAPHTHREAD = 0x1;
// AddMediaStream of the sound track: play it on the audio output.
constexpr DWORD AMMSF_ADDDEFAULTRENDERER = 0x1;
// Sample Update flags.
constexpr DWORD SSUPDATE_ASYNC = 0x1;

constexpr HRESULT MS_S_ENDOFSTREAM = 0x00041002;
constexpr HRESULT MS_E_NOSTREAM = static_cast<HRESULT>(0x80041003u);
constexpr HRESULT MS_E_NOTINIT = static_cast<HRESULT>(0x80041004u);
constexpr HRESULT MS_E_NOTRUNNING = static_cast<HRESULT>(0x80041005u);
constexpr HRESULT MS_E_BADFILE = static_cast<HRESULT>(0x80041006u);

namespace media_detail {
struct Film;
}

class DirectDrawStreamSample;

// The primary video stream of an open film.
class DirectDrawMediaStream {
 public:
  void Release();
  // The frame's size and the surface description a sample's surface needs: an off-screen
  // system-memory surface in the display mode's pixel format.
  HRESULT GetFormat(DDSURFACEDESC2* current);
  // A sample whose Update writes frames into the surface (rect null: all of it; the frame is
  // scaled to fit). The sample holds a reference to the surface.
  HRESULT CreateSample(DirectDrawSurface* surface, const RECT* rect, DWORD flags, DirectDrawStreamSample** out);

 private:
  friend class MultiMediaStream;
  DirectDrawMediaStream(std::shared_ptr<media_detail::Film> film, DirectDraw* directDraw)
      : film_(std::move(film)), directDraw_(directDraw) {}
  std::shared_ptr<media_detail::Film> film_;
  DirectDraw* directDraw_;
};

class DirectDrawStreamSample {
 public:
  void Release();
  // Decodes up to the frame due now and writes it into the surface. MS_S_ENDOFSTREAM once the
  // last frame's time is over; MS_E_NOTRUNNING while the stream is stopped.
  HRESULT Update(DWORD flags);
  // Adds a reference to the surface it hands out.
  HRESULT GetSurface(DirectDrawSurface** surface, RECT* clip);

 private:
  friend class DirectDrawMediaStream;
  DirectDrawStreamSample(std::shared_ptr<media_detail::Film> film, DirectDrawSurface* surface, RECT rect);
  ~DirectDrawStreamSample();
  std::shared_ptr<media_detail::Film> film_;
  DirectDrawSurface* surface_;
  RECT rect_;
  uint64_t frameShown_ = 0;  // serial of the film's frame last written here, 0 none
};

class MultiMediaStream {
 public:
  // Stands for making the stream object; always succeeds here unless made to fail.
  static HRESULT Create(MultiMediaStream** out);
  void Release();

  HRESULT Initialize(STREAM_TYPE type, DWORD flags);
  // The picture goes to surfaces of this DirectDraw object; the sound to the audio output.
  HRESULT AddMediaStream(DirectDraw* directDraw, MediaPurpose purpose, DWORD flags);
  // Opens a film file. Only a regular file opens, and only as itself: a playlist or a list of
  // other files fails as a file without a picture stream, damaged or unreadable does.
  HRESULT OpenFile(const std::string& path, DWORD flags);
  // Opens a film held in memory (the bytes are kept by the stream), as OpenFile opens a file.
  HRESULT OpenMemory(std::vector<uint8_t> bytes, DWORD flags);
  // Only the primary video stream is handed out.
  HRESULT GetMediaStream(MediaPurpose purpose, DirectDrawMediaStream** out);
  HRESULT SetState(STREAM_STATE state);
  HRESULT GetState(STREAM_STATE* state);
  HRESULT Seek(STREAM_TIME time);
  HRESULT GetTime(STREAM_TIME* time);
  HRESULT GetDuration(STREAM_TIME* duration);

 private:
  MultiMediaStream() = default;
  ~MultiMediaStream() = default;
  HRESULT Open(std::shared_ptr<media_detail::Film> film);
  bool initialized_ = false;
  DirectDraw* directDraw_ = nullptr;  // not owned, as the surfaces it makes outlive nothing here
  bool wantSound_ = false;
  std::shared_ptr<media_detail::Film> film_;
};

// --- Sound output --------------------------------------------------------------------------------

// Where a film's sound track goes: interleaved stereo 16-bit frames at the audio output's rate.
class MediaAudioSink {
 public:
  virtual ~MediaAudioSink() = default;
  // Takes up to `frames` frames; returns how many it took (fewer when its buffer is full).
  virtual size_t Write(const int16_t* samples, size_t frames) = 0;
  // Frames played since the last Flush: the sound track's clock.
  virtual uint64_t PlayedFrames() = 0;
  // Frames written and not yet played.
  virtual size_t QueuedFrames() = 0;
  virtual void SetPaused(bool paused) = 0;
  // Forgets what waits to be played and counts played frames from 0 again.
  virtual void Flush() = 0;
};

// Makes the sink of each opened film with sound; null from the maker means no sound. Tests
// install a recording sink; an empty function gives back the audio output.
using MediaAudioSinkMaker = std::function<std::unique_ptr<MediaAudioSink>()>;
void SetMediaAudioSinkMaker(MediaAudioSinkMaker maker);

// The film's frames are written with one swscale call into the surface's own pixel format where
// swscale knows it; the plain path converts each pixel from 8-bit colour. Tests force the plain
// path to compare the two.
void SetMediaPlainConversion(bool plain);

// Failures a test can switch on.
struct MediaFaults {
  bool failCreate = false;  // MultiMediaStream::Create fails
};
void SetMediaFaults(const MediaFaults& faults);
size_t LiveFilmCount();

}  // namespace vx::win
