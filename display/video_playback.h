// Video playback: the program's films ("animations") 1 to 32, each a multimedia stream whose frames
// are decoded into a frame surface of its own and copied every frame onto its target (the back
// buffer or a bitmap's surface), scaled and clipped. The main loop's end-of-frame work calls
// UpdateAnimations; the video commands start, stop, pause and place the films.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "platform/ddraw/ddraw.h"
#include "platform/media/media_stream.h"

namespace vx {

constexpr int32_t kAnimationCount = 33;  // numbers 1 to 32; 0 is never used

struct AnimationStream {
  std::string fileName;                              // as the program gave it; looked up at each open
  win::IDirectDrawSurface7* target = nullptr;        // where frames go; holds a reference
  win::MultiMediaStream* stream = nullptr;           // null while closed
  win::DirectDrawMediaStream* video = nullptr;       // null while paused, stopped or closed
  win::IDirectDrawSurface7* frameSurface = nullptr;  // the last decoded frame; kept while paused or stopped
  win::DirectDrawStreamSample* sample = nullptr;     // null while paused, stopped or closed
  win::RECT destination{};                           // on the target, after clipping
  win::RECT source{};                                // within the frame, after clipping
  win::RECT film{};                                  // 0, 0, film width, film height
  uint8_t prepared = 0;                              // a frame surface exists and is drawn
  uint8_t scaled = 0;                                // the program gave the size
  uint8_t loop = 0;
  win::RECT requested{};  // as the program last gave it
};

struct AnimationSlot {
  uint8_t loaded = 0;
  uint8_t playing = 0;  // also cleared when a film that does not loop reaches its end
  uint8_t paused = 0;
  uint8_t looping = 0;
};

struct VideoState {
  std::array<AnimationStream, kAnimationCount> gAnimationStreams{};
  std::array<AnimationSlot, kAnimationCount> gAnimationSlots{};
};
extern VideoState gVideoState;  // the one instance (display/video_playback.cpp)
inline VideoState& Video() { return gVideoState; }

int32_t OpenAnimationStream(int32_t n, const std::string& fileName);
int32_t LoadAnimationStream(int32_t n, const std::string& fileName);
void CloseAnimationStream(int32_t n);
// Plays into target (null: the stored one) at the given rectangle when useRect, else at the one
// stored; restart closes a paused film first, so that it starts from the beginning.
int32_t PlayAnimationStream(int32_t n, bool useRect, int32_t left, int32_t top, int32_t right, int32_t bottom,
                            win::IDirectDrawSurface7* target, bool restart);
int32_t PauseAnimationStream(int32_t n);   // 0 when not open
int32_t ResumeAnimationStream(int32_t n);  // 0 when not paused or not open
int32_t StopAnimationStream(int32_t n);    // 0 when not open
void PlaceAnimationStream(int32_t n, int32_t left, int32_t top, int32_t right, int32_t bottom);
void GetAnimationRect(int32_t n, int32_t* left, int32_t* top, int32_t* width, int32_t* height);
void SetAnimationLoop(int32_t n, bool on);
// Closes every film and clears all records and slots (run set-up, display re-creation, shutdown).
void ResetAnimationStreams();
// Once per frame: the next frame of every playing film, and the last one of paused films.
void UpdateAnimations();
void DeleteAllAnimations();

inline bool AnimationIsOpen(int32_t n) { return Video().gAnimationStreams[size_t(n)].stream != nullptr; }
inline bool AnimationHasVideo(int32_t n) { return Video().gAnimationStreams[size_t(n)].video != nullptr; }

}  // namespace vx
