// Bitmap commands: loading, saving, creating, deleting, copying and changing the program's
// bitmaps 0 (the screen) to 31, choosing the bitmap that drawing goes to, the gamma ramp, and the
// questions about a bitmap's existence and properties. The handlers check what can be checked at
// once and queue the work for the next frame (display/draw_queue.h).
#include <cstring>
#include <string>

#include "common/interpreter_state.h"
#include "common/runtime_hooks.h"
#include "display/draw_queue.h"
#include "surfaces/display_state.h"
#include "surfaces/surface_primitives.h"

namespace vx {

namespace {

std::string FileOperand(int k) {
  const char* text = TextOperand(k);
  return std::string(text, strnlen(text, 255));
}

// --- Loading and saving --------------------------------------------------------------------------
// Loads, saves, creations, deletions and the gamma end the slice in every refresh mode, so the
// program goes on after the frame that did their work; choosing and copying only while the frame
// is refreshed automatically, and effects only when they change the screen.

void CmdLoadScreenBitmap() {
  QueueLoadBitmap(0, FileOperand(0));
  SkipOperands(1);
  EndSliceAfterCommand(SliceEnd::kAlways);
}

void CmdLoadBitmap() {
  QueueLoadBitmap(IntOperand(1), FileOperand(0));
  SkipOperands(2);
  EndSliceAfterCommand(SliceEnd::kAlways);
}

void CmdSaveScreenBitmap() {
  RequestScreenSave(FileOperand(0));
  SkipOperands(1);
  EndSliceAfterCommand(SliceEnd::kAlways);
}

void CmdSaveBitmap() {
  const int32_t n = IntOperand(1);
  if (n == 0)
    RequestScreenSave(FileOperand(0));
  else
    QueueSaveBitmap(n, FileOperand(0));
  SkipOperands(2);
  EndSliceAfterCommand(SliceEnd::kAlways);
}

// --- Making, choosing and copying ----------------------------------------------------------------

void CmdCreateBitmap() {
  QueueCreateBitmap(IntOperand(0), IntOperand(1), IntOperand(2));
  SkipOperands(3);
  EndSliceAfterCommand(SliceEnd::kAlways);
}

void CmdSetCurrentBitmap() {
  QueueSetCurrentBitmap(IntOperand(0));
  SkipOperands(1);
  EndSliceAfterCommand(SliceEnd::kAutoRefresh);
}

void CmdCopyBitmap() {
  const int32_t target = IntOperand(1);
  QueueCopyBitmap(IntOperand(0), target);
  SkipOperands(2);
  EndSliceAfterCommand(SliceEnd::kAutoRefresh, target == 0);
}

void CmdCopyBitmapRect() {
  const int32_t target = IntOperand(5);
  QueueCopyBitmapRect(IntOperand(0), IntOperand(1), IntOperand(2), IntOperand(3), IntOperand(4), target, IntOperand(6),
                      IntOperand(7), IntOperand(8), IntOperand(9));
  SkipOperands(10);
  EndSliceAfterCommand(SliceEnd::kAutoRefresh, target == 0);
}

void CmdDeleteBitmap() {
  // The queue makes the screen current at once when n is the current bitmap.
  QueueDeleteBitmap(IntOperand(0));
  SkipOperands(1);
  EndSliceAfterCommand(SliceEnd::kAlways);
}

// --- Effects ------------------------------------------------------------------------------------

// The flags count mirrorings and flips at once; the surface changes when the queue runs.
void CmdMirrorBitmap() {
  const int32_t n = IntOperand(0);
  if (IsProgramBitmap(n)) Display().gBitmapInfo[size_t(n)].mirrored ^= 1;
  QueueMirrorBitmap(n);
  SkipOperands(1);
  EndSliceAfterCommand(SliceEnd::kAlways, n == 0);
}

void CmdFlipBitmap() {
  const int32_t n = IntOperand(0);
  if (IsProgramBitmap(n)) Display().gBitmapInfo[size_t(n)].flipped ^= 1;
  QueueFlipBitmap(n);
  SkipOperands(1);
  EndSliceAfterCommand(SliceEnd::kAlways, n == 0);
}

void CmdBlurBitmap() {
  const int32_t n = IntOperand(0);
  QueueBlurBitmap(n, IntOperand(1));
  SkipOperands(2);
  EndSliceAfterCommand(SliceEnd::kAlways, n == 0);
}

void CmdFadeBitmap() {
  const int32_t n = IntOperand(0);
  QueueFadeBitmap(n, IntOperand(1));
  SkipOperands(2);
  EndSliceAfterCommand(SliceEnd::kAlways, n == 0);
}

void CmdSetGamma() {
  const int32_t red = IntOperand(0), green = IntOperand(1), blue = IntOperand(2);
  SkipOperands(3);
  EndSliceAfterCommand(SliceEnd::kAlways);
  for (int32_t v : {red, green, blue}) {
    if (v < 0 || v > 511) {
      RaiseRuntimeWarning(kErrGammaOutOfRange);
      return;
    }
  }
  SetGammaRamp(red, green, blue);
}

// --- Questions ----------------------------------------------------------------------------------

enum class Property { kWidth, kHeight, kDepth, kMirrored, kFlipped };

// Bitmap 0 is the screen: its size and depth are the display's, whatever loaded into it.
int32_t PropertyOf(int32_t n, Property property) {
  const BitmapInfo& info = Display().gBitmapInfo[size_t(n)];
  switch (property) {
    case Property::kWidth: return n == 0 ? Display().gDisplayWidth : int32_t(info.width);
    case Property::kHeight: return n == 0 ? Display().gDisplayHeight : int32_t(info.height);
    case Property::kDepth:
      if (n == 0)
        return Display().gBackBuffer ? int32_t(Display().gBackBuffer->PixelFormat().dwRGBBitCount)
                                     : Display().gDisplayDepth;
      return int32_t(info.bitsPerPixel);
    case Property::kMirrored: return info.mirrored;
    case Property::kFlipped: return info.flipped;
  }
  return 0;
}

// Checks n as the queries do; false after the error, which leaves the result as it was.
bool CheckQueriedBitmap(int32_t n) {
  if (!IsProgramBitmap(n)) {
    RaiseRuntimeError(kErrBitmapNumberOutOfRange);
    return false;
  }
  if (n > 0 && !Display().gBitmaps[size_t(n)]) {
    RaiseRuntimeError(kErrBitmapNotExist);
    return false;
  }
  return true;
}

void FnBitmapExists() {
  ValueSlot* result = SlotOperand(0);
  const int32_t n = IntOperand(1);
  SkipOperands(2);
  if (!IsProgramBitmap(n)) {
    RaiseRuntimeError(kErrBitmapNumberOutOfRange);
    return;
  }
  result->i = n == 0 || Display().gBitmaps[size_t(n)] ? 1 : 0;
}

void FnCurrentBitmap() {
  SlotOperand(0)->i = DrawQueue().gCurrentBitmap;
  SkipOperands(1);
}

// The current bitmap may be a number the program chose that is out of range; it is checked too.
void CurrentBitmapProperty(Property property) {
  ValueSlot* result = SlotOperand(0);
  SkipOperands(1);
  if (CheckQueriedBitmap(DrawQueue().gCurrentBitmap)) result->i = PropertyOf(DrawQueue().gCurrentBitmap, property);
}

void BitmapProperty(Property property) {
  ValueSlot* result = SlotOperand(0);
  const int32_t n = IntOperand(1);
  SkipOperands(2);
  if (CheckQueriedBitmap(n)) result->i = PropertyOf(n, property);
}

void FnCurrentBitmapWidth() { CurrentBitmapProperty(Property::kWidth); }
void FnCurrentBitmapHeight() { CurrentBitmapProperty(Property::kHeight); }
void FnCurrentBitmapDepth() { CurrentBitmapProperty(Property::kDepth); }
void FnCurrentBitmapMirrored() { CurrentBitmapProperty(Property::kMirrored); }
void FnCurrentBitmapFlipped() { CurrentBitmapProperty(Property::kFlipped); }
void FnBitmapWidth() { BitmapProperty(Property::kWidth); }
void FnBitmapHeight() { BitmapProperty(Property::kHeight); }
void FnBitmapDepth() { BitmapProperty(Property::kDepth); }
void FnBitmapMirrored() { BitmapProperty(Property::kMirrored); }
void FnBitmapFlipped() { BitmapProperty(Property::kFlipped); }

}  // namespace

}  // namespace vx

#include "generated/commands/bitmap.inc"
