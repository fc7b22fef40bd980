// Video commands: loading, playing, looping, pausing, resuming, stopping and placing the program's
// films 1 to 32, and the questions about them. The handlers check the numbers, call the video
// engine (display/video_playback.h) and keep the command-side flags of each film.
#include <string>

#include "common/interpreter_state.h"
#include "common/runtime_hooks.h"
#include "display/draw_queue_items.h"
#include "display/video_playback.h"
#include "surfaces/display_state.h"

namespace vx {

namespace {

AnimationSlot& Slot(int32_t n) { return Video().gAnimationSlots[size_t(n)]; }

// False after raising the error: n must be 1 to 32 and, unless only the range counts, loaded.
bool CheckAnimation(int32_t n, bool mustBeLoaded = true) {
  if (n < 1 || n >= kAnimationCount) {
    RaiseRuntimeError(kErrAnimationNumberOutOfRange);
    return false;
  }
  if (mustBeLoaded && !Slot(n).loaded) {
    RaiseRuntimeError(kErrAnimationNotExist);
    return false;
  }
  return true;
}

// Plays once from the start; flags as a play sets them, or error 2007.
void PlayOnce(int32_t n, bool useRect, const win::RECT& r, win::IDirectDrawSurface7* target) {
  if (!PlayAnimationStream(n, useRect, r.left, r.top, r.right, r.bottom, target, true)) {
    RaiseRuntimeError(kErrAnimationNotPlayed);
    return;
  }
  SetAnimationLoop(n, false);
  Slot(n) = {1, 1, 0, 0};
}

// Plays looping; a failed play raises nothing.
void PlayLooping(int32_t n, bool useRect, const win::RECT& r, win::IDirectDrawSurface7* target, bool restart) {
  PlayAnimationStream(n, useRect, r.left, r.top, r.right, r.bottom, target, restart);
  SetAnimationLoop(n, true);
  Slot(n) = {1, 1, 0, 1};
}

win::RECT RectOperands(int first) {
  return {IntOperand(first), IntOperand(first + 1), IntOperand(first + 2), IntOperand(first + 3)};
}

// --- Statements ----------------------------------------------------------------------------------

void CmdLoadAnimation() {
  const std::string fileName = TextOperand(0);
  const int32_t n = IntOperand(1);
  SkipOperands(2);
  if (!CheckAnimation(n, false)) return;
  if (Slot(n).loaded) {
    CloseAnimationStream(n);
    Slot(n).loaded = 0;
  }
  if (!LoadAnimationStream(n, fileName)) {
    RaiseRuntimeError(kErrAnimationNotLoaded);
    return;
  }
  Slot(n) = {1, 0, 0, 0};
}

void CmdDeleteAnimation() {
  const int32_t n = IntOperand(0);
  SkipOperands(1);
  if (!CheckAnimation(n)) return;
  CloseAnimationStream(n);
  Slot(n).loaded = 0;
}

void CmdPlayAnimation() {
  const int32_t n = IntOperand(0);
  SkipOperands(1);
  if (CheckAnimation(n)) PlayOnce(n, false, {}, Display().gBackBuffer);
}

void CmdStopAnimation() {
  const int32_t n = IntOperand(0);
  SkipOperands(1);
  if (!CheckAnimation(n)) return;
  const int32_t stopped = StopAnimationStream(n);
  Slot(n).playing = Slot(n).looping = 0;
  if (!stopped) RaiseRuntimeError(kErrAnimationNotPlaying);
}

void CmdPauseAnimation() {
  const int32_t n = IntOperand(0);
  SkipOperands(1);
  if (!CheckAnimation(n)) return;
  if (!AnimationHasVideo(n)) {
    RaiseRuntimeError(kErrAnimationNotPlaying);
    return;
  }
  if (Slot(n).paused) {
    RaiseRuntimeError(kErrAnimationPausedAlready);
    return;
  }
  PauseAnimationStream(n);
  Slot(n).paused = 1;
}

void CmdResumeAnimation() {
  const int32_t n = IntOperand(0);
  SkipOperands(1);
  if (!CheckAnimation(n)) return;
  if (!ResumeAnimationStream(n)) {
    RaiseRuntimeError(kErrAnimationNotPaused);
    return;
  }
  Slot(n).paused = 0;
}

void CmdLoopAnimation() {
  const int32_t n = IntOperand(0);
  SkipOperands(1);
  if (CheckAnimation(n)) PlayLooping(n, false, {}, Display().gBackBuffer, false);
}

void CmdPlayAnimationAt() {
  const int32_t n = IntOperand(0);
  const win::RECT at{IntOperand(1), IntOperand(2), 0, 0};
  SkipOperands(3);
  if (CheckAnimation(n)) PlayOnce(n, true, at, Display().gBackBuffer);
}

void CmdPlayAnimationInRect() {
  const int32_t n = IntOperand(0);
  const win::RECT r = RectOperands(1);
  SkipOperands(5);
  if (CheckAnimation(n)) PlayOnce(n, true, r, Display().gBackBuffer);
}

void CmdPlaceAnimation() {
  const int32_t n = IntOperand(0);
  const win::RECT r = RectOperands(1);
  SkipOperands(5);
  if (CheckAnimation(n)) PlaceAnimationStream(n, r.left, r.top, r.right, r.bottom);
}

void CmdPlayAnimationToBitmap() {
  const int32_t n = IntOperand(0), b = IntOperand(1);
  const win::RECT r = RectOperands(2);
  SkipOperands(6);
  if (!CheckAnimation(n)) return;
  if (win::IDirectDrawSurface7* target = CheckedBitmap(b)) PlayOnce(n, true, r, target);
}

void CmdLoopAnimationToBitmap() {
  const int32_t n = IntOperand(0), b = IntOperand(1);
  const win::RECT r = RectOperands(2);
  SkipOperands(6);
  if (!CheckAnimation(n)) return;
  if (win::IDirectDrawSurface7* target = CheckedBitmap(b)) PlayLooping(n, true, r, target, true);
}

// --- Questions ----------------------------------------------------------------------------------

void FnAnimationExists() {
  ValueSlot* result = SlotOperand(0);
  const int32_t n = IntOperand(1);
  SkipOperands(2);
  if (CheckAnimation(n, false)) result->i = Slot(n).loaded;
}

enum class Question { kPlaying, kPaused, kLooping, kX, kY, kWidth, kHeight };

void Ask(Question question) {
  ValueSlot* result = SlotOperand(0);
  const int32_t n = IntOperand(1);
  SkipOperands(2);
  if (!CheckAnimation(n)) return;
  int32_t left = 0, top = 0, width = 0, height = 0;
  GetAnimationRect(n, &left, &top, &width, &height);
  switch (question) {
    case Question::kPlaying: result->i = Slot(n).playing; break;
    case Question::kPaused: result->i = Slot(n).paused; break;
    case Question::kLooping: result->i = Slot(n).looping; break;
    case Question::kX: result->i = left; break;
    case Question::kY: result->i = top; break;
    case Question::kWidth: result->i = width; break;
    case Question::kHeight: result->i = height; break;
  }
}

void FnAnimationPlaying() { Ask(Question::kPlaying); }
void FnAnimationPaused() { Ask(Question::kPaused); }
void FnAnimationLooping() { Ask(Question::kLooping); }
void FnAnimationPositionX() { Ask(Question::kX); }
void FnAnimationPositionY() { Ask(Question::kY); }
void FnAnimationWidth() { Ask(Question::kWidth); }
void FnAnimationHeight() { Ask(Question::kHeight); }

}  // namespace

}  // namespace vx

#include "generated/commands/video.inc"
