// Video playback over the platform's multimedia streams. A film attached to a standalone game is
// read from the attached-files block's own bytes at each open, so films never share a temporary
// file. Frames go into a frame surface owned by the record, which outlives the stream's sample so
// that a paused or stopped film can still be drawn.
#include "display/video_playback.h"

#include <algorithm>
#include <vector>

#include "common/runtime_hooks.h"
#include "common/value_slot.h"
#include "platform/win/files.h"
#include "surfaces/display_state.h"
#include "surfaces/surface_retry.h"

namespace vx {

VideoState gVideoState;

namespace {

template <class T>
void ReleaseHandle(T*& handle) {
  if (handle) handle->Release();
  handle = nullptr;
}

void ReleaseSample(AnimationStream& a) {
  ReleaseHandle(a.sample);
  ReleaseHandle(a.video);
}

// The source rectangle starts as the whole frame; edges of the destination outside the target
// move the source's edges by the same share of the frame, so the part inside is drawn unchanged.
// A destination without width or height draws nothing.
void Clip(AnimationStream& a) {
  a.source = a.film;
  win::RECT& d = a.destination;
  const int64_t width = int64_t(d.right) - d.left, height = int64_t(d.bottom) - d.top;
  if (width <= 0 || height <= 0 || !a.target) {
    a.source = {};
    return;
  }
  const float perX = float(a.film.right) / float(width), perY = float(a.film.bottom) / float(height);
  const auto targetWidth = int32_t(a.target->Width()), targetHeight = int32_t(a.target->Height());
  // A shift past the frame's edge empties the source whatever its size, so it stops there.
  auto shift = [](int64_t excess, float per) { return TruncateToInt32(std::min(double(float(excess) * per), 1e9)); };
  if (d.left < 0) a.source.left += shift(-int64_t(d.left), perX), d.left = 0;
  if (d.top < 0) a.source.top += shift(-int64_t(d.top), perY), d.top = 0;
  if (d.right > targetWidth) a.source.right -= shift(int64_t(d.right) - targetWidth, perX), d.right = targetWidth;
  if (d.bottom > targetHeight)
    a.source.bottom -= shift(int64_t(d.bottom) - targetHeight, perY), d.bottom = targetHeight;
}

bool Drawable(const AnimationStream& a) {
  return a.prepared && a.frameSurface && a.target && a.destination.right > a.destination.left &&
         a.destination.bottom > a.destination.top && a.source.right > a.source.left && a.source.bottom > a.source.top;
}

void CopyFrame(AnimationStream& a) {
  if (!Drawable(a)) return;
  RetryBlit(a.target, a.frameSurface,
            [&] { return a.target->Blt(&a.destination, a.frameSurface, &a.source, 0, nullptr); });
}

// The video stream and the film's size.
bool Prepare(AnimationStream& a) {
  ReleaseSample(a);
  if (win::Failed(a.stream->GetMediaStream(win::MSPID_PrimaryVideo, &a.video))) return false;
  win::DDSURFACEDESC2 format{};
  format.dwSize = sizeof format;
  if (win::Failed(a.video->GetFormat(&format))) return false;
  a.film = {0, 0, win::LONG(format.dwWidth), win::LONG(format.dwHeight)};
  return true;
}

// A new frame surface and sample; the old ones go first.
bool MakeSample(AnimationStream& a, bool scaled) {
  ReleaseHandle(a.sample);
  ReleaseHandle(a.frameSurface);
  a.prepared = 0;
  Clip(a);
  if (!a.target || !Display().gDirectDraw) return false;
  win::DDSURFACEDESC2 format{};
  format.dwSize = sizeof format;
  if (win::Failed(a.video->GetFormat(&format)) ||
      win::Failed(Display().gDirectDraw->CreateSurface(&format, &a.frameSurface, nullptr)) ||
      win::Failed(a.video->CreateSample(a.frameSurface, nullptr, 0, &a.sample))) {
    ReleaseHandle(a.frameSurface);
    return false;
  }
  a.prepared = 1;
  a.scaled = scaled ? 1 : 0;
  return true;
}

void SetTarget(AnimationStream& a, win::IDirectDrawSurface7* target) {
  if (!target || target == a.target) return;
  target->AddRef();
  ReleaseHandle(a.target);
  a.target = target;
}

}  // namespace

int32_t OpenAnimationStream(int32_t n, const std::string& fileName) {
  AnimationStream& a = Video().gAnimationStreams[size_t(n)];
  a.fileName = fileName;
  ReleaseSample(a);
  ReleaseHandle(a.stream);
  std::vector<uint8_t> attached;
  ReadAttachedFile(fileName, attached);
  win::MultiMediaStream* stream = nullptr;
  if (win::Failed(win::MultiMediaStream::Create(&stream))) return 0;
  const bool opened =
      win::Succeeded(stream->Initialize(win::STREAMTYPE_READ, win::AMMSF_NOGRAPHTHREAD)) && Display().gDirectDraw &&
      win::Succeeded(stream->AddMediaStream(Display().gDirectDraw, win::MSPID_PrimaryVideo, 0)) &&
      win::Succeeded(stream->AddMediaStream(nullptr, win::MSPID_PrimaryAudio, win::AMMSF_ADDDEFAULTRENDERER)) &&
      win::Succeeded(attached.empty() ? stream->OpenFile(win::ResolvePath(fileName), 0)
                                      : stream->OpenMemory(std::move(attached), 0));
  if (!opened) {
    stream->Release();
    return 0;
  }
  a.stream = stream;
  return 1;
}

void CloseAnimationStream(int32_t n) {
  AnimationStream& a = Video().gAnimationStreams[size_t(n)];
  ReleaseSample(a);
  ReleaseHandle(a.stream);
  ReleaseHandle(a.frameSurface);
  a.prepared = 0;
}

int32_t LoadAnimationStream(int32_t n, const std::string& fileName) {
  if (!OpenAnimationStream(n, fileName)) return 0;
  AnimationStream& a = Video().gAnimationStreams[size_t(n)];
  a.requested = {};
  a.destination = {};
  const int32_t played = PlayAnimationStream(n, false, 0, 0, 0, 0, Display().gBackBuffer, true);
  CloseAnimationStream(n);
  return played;
}

int32_t PlayAnimationStream(int32_t n, bool useRect, int32_t left, int32_t top, int32_t right, int32_t bottom,
                            win::IDirectDrawSurface7* target, bool restart) {
  AnimationStream& a = Video().gAnimationStreams[size_t(n)];
  SetTarget(a, target);
  if (a.video) {
    if (win::Failed(a.stream->Seek(0))) return 0;
    a.stream->SetState(win::STREAMSTATE_RUN);
  } else if (a.stream && restart) {
    CloseAnimationStream(n);
  }
  if (useRect) a.requested = {left, top, right, bottom};
  if (!a.stream && !OpenAnimationStream(n, a.fileName)) return 0;
  if (!Prepare(a)) {
    CloseAnimationStream(n);
    return 0;
  }
  const win::RECT& r = a.requested;
  const bool ownSize = r.right == 0 && r.bottom == 0;
  a.destination = ownSize ? win::RECT{r.left, r.top, WrapAdd(r.left, a.film.right), WrapAdd(r.top, a.film.bottom)} : r;
  if (!MakeSample(a, !ownSize)) {
    CloseAnimationStream(n);
    return 0;
  }
  a.stream->SetState(win::STREAMSTATE_RUN);
  return 1;
}

int32_t PauseAnimationStream(int32_t n) {
  AnimationStream& a = Video().gAnimationStreams[size_t(n)];
  if (!a.stream) return 0;
  a.stream->SetState(win::STREAMSTATE_STOP);
  ReleaseSample(a);
  return 1;
}

int32_t ResumeAnimationStream(int32_t n) {
  const AnimationStream& a = Video().gAnimationStreams[size_t(n)];
  if (!a.stream || a.video) return 0;
  return PlayAnimationStream(n, false, 0, 0, 0, 0, nullptr, false);
}

int32_t StopAnimationStream(int32_t n) {
  AnimationStream& a = Video().gAnimationStreams[size_t(n)];
  if (!a.stream) return 0;
  ReleaseSample(a);
  ReleaseHandle(a.stream);
  return 1;
}

void PlaceAnimationStream(int32_t n, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  AnimationStream& a = Video().gAnimationStreams[size_t(n)];
  a.requested = a.destination = {left, top, right, bottom};
  Clip(a);
}

void GetAnimationRect(int32_t n, int32_t* left, int32_t* top, int32_t* width, int32_t* height) {
  const win::RECT& d = Video().gAnimationStreams[size_t(n)].destination;
  *left = d.left;
  *top = d.top;
  *width = int32_t(uint32_t(d.right) - uint32_t(d.left));
  *height = int32_t(uint32_t(d.bottom) - uint32_t(d.top));
}

void SetAnimationLoop(int32_t n, bool on) { Video().gAnimationStreams[size_t(n)].loop = on ? 1 : 0; }

void ResetAnimationStreams() {
  for (int32_t n = 0; n < kAnimationCount; ++n) {
    CloseAnimationStream(n);
    ReleaseHandle(Video().gAnimationStreams[size_t(n)].target);
  }
  Video().gAnimationStreams = {};
  Video().gAnimationSlots = {};
}

void DeleteAllAnimations() { ResetAnimationStreams(); }

void UpdateAnimations() {
  for (int32_t n = 0; n < kAnimationCount; ++n) {
    if (!Video().gAnimationSlots[size_t(n)].loaded) continue;
    AnimationStream& a = Video().gAnimationStreams[size_t(n)];
    if (a.video && a.sample) {
      const win::HRESULT update = a.sample->Update(0);
      if (update == win::MS_S_ENDOFSTREAM || win::Failed(update)) {
        if (a.loop)
          a.stream->Seek(0);
        else
          Video().gAnimationSlots[size_t(n)].playing = 0;
        continue;
      }
    }
    CopyFrame(a);
  }
}

}  // namespace vx
