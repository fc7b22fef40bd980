// Memory block commands: making and deleting blocks 1 to 255, their address and size, copies
// between them, bytes, words, double words and floats read and written at a position, and the
// conversions of bitmaps, images and sounds into blocks and back (display/memblocks.h; meshes are
// the engine's, engine3d/mesh_memblocks.cpp).
// Value functions give 0 when they fail. None of these commands ends the time slice.
#include <cstring>

#include "common/interpreter_state.h"
#include "common/runtime_hooks.h"
#include "display/draw_queue.h"
#include "display/images.h"
#include "display/memblocks.h"
#include "sound/sound_system.h"
#include "surfaces/display_state.h"
#include "surfaces/surface_primitives.h"
#include "surfaces/surface_records.h"

namespace vx {

namespace {

// Checks the block and that width bytes at the position lie in it (5105). Positions are unsigned:
// a negative one is a huge one.
uint8_t* CheckedPlace(int32_t b, int32_t position, uint32_t width) {
  if (!CheckMemblock(b)) return nullptr;
  if (!MemblockHolds(b, uint32_t(position), width)) {
    RaiseRuntimeError(kErrMemblockPositionOutside);
    return nullptr;
  }
  return MemoryAccess().gMemblockData[size_t(b)] + uint32_t(position);
}

// --- Blocks ----------------------------------------------------------------------------------------

void CmdMakeMemoryBlock() {
  const int32_t b = IntOperand(0), size = IntOperand(1);
  SkipOperands(2);
  if (!CheckMemblock(b, false)) return;
  if (MemoryAccess().gMemblockData[size_t(b)]) {
    RaiseRuntimeError(kErrMemblockExists);
    return;
  }
  if (size < 1) {
    RaiseRuntimeError(kErrMemblockSizeBelowOne);
    return;
  }
  if (!MakeMemblock(b, uint32_t(size))) RaiseRuntimeError(kErrMemblockNotAllocated);
}

void CmdDeleteMemoryBlock() {
  const int32_t b = IntOperand(0);
  SkipOperands(1);
  if (CheckMemblock(b)) FreeMemblock(b);
}

void FnMemoryBlockExists() {
  ValueSlot* result = SlotOperand(0);
  const int32_t b = IntOperand(1);
  SkipOperands(2);
  result->i = 0;
  if (CheckMemblock(b, false)) result->i = MemoryAccess().gMemblockData[size_t(b)] ? 1 : 0;
}

// A question about block b; 0 after an error.
template <class Answer>
void AskBlock(Answer&& answer) {
  ValueSlot* result = SlotOperand(0);
  const int32_t b = IntOperand(1);
  SkipOperands(2);
  result->i = CheckMemblock(b) ? answer(b) : 0;
}

// The block lies below 2 GiB, so its address is a positive integer.
void FnMemoryBlockPointer() {
  AskBlock([](int32_t b) { return int32_t(reinterpret_cast<uintptr_t>(MemoryAccess().gMemblockData[size_t(b)])); });
}

void FnMemoryBlockSize() {
  AskBlock([](int32_t b) { return int32_t(MemoryAccess().gMemblockSize[size_t(b)]); });
}

void CmdCopyMemoryBlock() {
  const int32_t from = IntOperand(0), to = IntOperand(1);
  const uint32_t fromPosition = uint32_t(IntOperand(2)), toPosition = uint32_t(IntOperand(3));
  const uint32_t count = uint32_t(IntOperand(4));
  SkipOperands(5);
  if (!CheckMemblock(from) || !CheckMemblock(to)) return;
  if (fromPosition >= MemoryAccess().gMemblockSize[size_t(from)] ||
      toPosition >= MemoryAccess().gMemblockSize[size_t(to)] || !MemblockHolds(from, fromPosition, count) ||
      !MemblockHolds(to, toPosition, count)) {
    RaiseRuntimeError(kErrMemblockPositionOutside);
    return;
  }
  // The two ranges may overlap within one block.
  std::memmove(MemoryAccess().gMemblockData[size_t(to)] + toPosition,
               MemoryAccess().gMemblockData[size_t(from)] + fromPosition, count);
}

// --- Values ----------------------------------------------------------------------------------------

// Writes the value's low `width` bytes at the position, low byte first, when the check allows it.
void WriteValue(uint32_t width, bool (*allowed)(int32_t), int32_t error) {
  const int32_t b = IntOperand(0), position = IntOperand(1), value = IntOperand(2);
  SkipOperands(3);
  uint8_t* at = CheckedPlace(b, position, width);
  if (!at) return;
  if (!allowed(value)) {
    RaiseRuntimeError(error);
    return;
  }
  for (uint32_t i = 0; i < width; ++i) at[i] = uint8_t(uint32_t(value) >> (8 * i));
}

// The `width` bytes at the position, low byte first; 0 after an error.
void ReadValue(uint32_t width) {
  ValueSlot* result = SlotOperand(0);
  const int32_t b = IntOperand(1), position = IntOperand(2);
  SkipOperands(3);
  uint32_t value = 0;
  if (const uint8_t* at = CheckedPlace(b, position, width))
    for (uint32_t i = 0; i < width; ++i) value |= uint32_t(at[i]) << (8 * i);
  result->i = int32_t(value);
}

void CmdWriteMemoryBlockByte() {
  WriteValue(
      1, [](int32_t v) { return v >= 0 && v <= 255; }, kErrByteOutOfRange);
}
void CmdWriteMemoryBlockWord() {
  WriteValue(
      2, [](int32_t v) { return v >= 0 && v <= 65535; }, kErrWordOutOfRange);
}
void CmdWriteMemoryBlockDword() {
  WriteValue(
      4, [](int32_t v) { return v >= 0; }, kErrValueBelowZero);
}
// A float's 32 bits, whatever they hold.
void CmdWriteMemoryBlockFloat() {
  WriteValue(
      4, [](int32_t) { return true; }, 0);
}
void FnMemoryBlockByte() { ReadValue(1); }
void FnMemoryBlockWord() { ReadValue(2); }
void FnMemoryBlockDword() { ReadValue(4); }
void FnMemoryBlockFloat() { ReadValue(4); }

// --- Bitmaps and images ----------------------------------------------------------------------------

void CmdMakeMemoryBlockFromBitmap() {
  const int32_t b = IntOperand(0), n = IntOperand(1);
  SkipOperands(2);
  if (!CheckMemblock(b, false)) return;
  if (!IsProgramBitmap(n)) {
    RaiseRuntimeError(kErrBitmapNumberOutOfRange);
    return;
  }
  win::IDirectDrawSurface7* surface = n == 0 ? Display().gBackBuffer : Display().gBitmaps[size_t(n)];
  if (!surface) {
    RaiseRuntimeError(kErrBitmapNotExist);
    return;
  }
  if (const int32_t error = MemblockFromSurface(b, surface)) RaiseRuntimeError(error);
}

// Bitmap n (above 0) at the size, made again when it has another size or none; the screen becomes
// the drawing target when it was that bitmap. Its surface, or null when none could be made.
win::IDirectDrawSurface7* BitmapOfSize(int32_t n, int32_t width, int32_t height) {
  win::IDirectDrawSurface7* old = Display().gBitmaps[size_t(n)];
  if (old && old->Width() == uint32_t(width) && old->Height() == uint32_t(height)) return old;
  if (old) {
    DropQueuedTarget(old);
    if (DrawQueue().gCurrentBitmap == n) {
      DrawQueue().gCurrentBitmap = 0;
      DrawQueue().gCurrentSurface = Display().gBackBuffer;
    }
    if (DrawQueue().gExecBitmap == n) {
      DrawQueue().gExecBitmap = 0;
      DrawQueue().gExecSurface = Display().gBackBuffer;
    }
  }
  return CreateBitmapSurface(n, width, height) ? Display().gBitmaps[size_t(n)] : nullptr;
}

// The depth a bitmap made now takes: the display mode's.
uint32_t NewBitmapDepth() {
  win::DDSURFACEDESC2 mode{};
  mode.dwSize = sizeof mode;
  if (!Display().gDirectDraw || win::Failed(Display().gDirectDraw->GetDisplayMode(&mode))) return 0;
  return mode.ddpfPixelFormat.dwRGBBitCount;
}

// The block's pixels into bitmap n (the screen for 0, which keeps its size and takes only a block
// of that size). A bitmap is made again only for a block that holds all its pixels.
void CmdMakeBitmapFromMemoryBlock() {
  const int32_t n = IntOperand(0), b = IntOperand(1);
  SkipOperands(2);
  if (!IsProgramBitmap(n)) {
    RaiseRuntimeError(kErrBitmapNumberOutOfRange);
    return;
  }
  if (!CheckMemblock(b)) return;
  int32_t width = 0, height = 0;
  win::IDirectDrawSurface7* surface = nullptr;
  if (SurfaceBlockSize(b, &width, &height)) {
    win::IDirectDrawSurface7* old = n == 0 ? Display().gBackBuffer : Display().gBitmaps[size_t(n)];
    const bool sameSize = old && old->Width() == uint32_t(width) && old->Height() == uint32_t(height);
    if (n == 0 || sameSize || SurfaceBlockHolds(b, NewBitmapDepth()))
      surface = n == 0 ? old : BitmapOfSize(n, width, height);
  }
  if (!SurfaceFromMemblock(b, surface)) RaiseRuntimeError(kErrBitmapNotExist);
}

void CmdMakeMemoryBlockFromImage() {
  const int32_t b = IntOperand(0), n = IntOperand(1);
  SkipOperands(2);
  if (!CheckMemblock(b, false)) return;
  if (!IsImageNumber(n)) {
    RaiseRuntimeError(kErrImageNumberOutOfRange);
    return;
  }
  const uint32_t slot = ImageSlotById(n);
  if (slot == 0 || !Records().gImageRecords.IsTaken(slot) || !Records().gImageRecords[slot].surface) {
    RaiseRuntimeError(kErrImageNotExist);
    return;
  }
  if (const int32_t error = MemblockFromSurface(b, Records().gImageRecords[slot].surface)) RaiseRuntimeError(error);
}

// The block's pixels into image n, which is made again at the block's size when it has another
// size or does not exist: the new image takes the number only once it holds the block's pixels.
// Its texture follows.
void CmdMakeImageFromMemoryBlock() {
  const int32_t n = IntOperand(0), b = IntOperand(1);
  SkipOperands(2);
  if (!IsImageNumber(n)) {
    RaiseRuntimeError(kErrImageNumberOutOfRange);
    return;
  }
  if (!CheckMemblock(b)) return;
  int32_t width = 0, height = 0;
  if (!SurfaceBlockSize(b, &width, &height)) {
    RaiseRuntimeError(kErrImageNotExist);
    return;
  }
  uint32_t slot = ImageSlotById(n);
  const bool sameSize = slot != 0 && Records().gImageRecords.IsTaken(slot) && Records().gImageRecords[slot].surface &&
                        Records().gImageRecords[slot].imageWidth == width &&
                        Records().gImageRecords[slot].imageHeight == height;
  if (!sameSize) {
    slot = AllocImageRecord();
    if (slot == kNoRecordSlot) return;  // the pool raised the error
    CreateImageSurface(slot, width, height);
  }
  if (!SurfaceFromMemblock(b, Records().gImageRecords[slot].surface)) {
    if (!sameSize) FreeImageRecord(slot);
    RaiseRuntimeError(kErrImageNotExist);
    return;
  }
  if (!sameSize) ReplaceImage(n, slot);
  RefreshImageTexture(slot, 0);
}

// --- Sounds ----------------------------------------------------------------------------------------

bool CheckSoundNumber(int32_t n) {
  if (n >= kLowestDataSoundNumber && n <= kHighestDataSoundNumber) return true;
  RaiseRuntimeError(kErrSoundNumberOutOfRange);
  return false;
}

void CmdMakeMemoryBlockFromSound() {
  const int32_t b = IntOperand(0), n = IntOperand(1);
  SkipOperands(2);
  if (!CheckMemblock(b, false) || !CheckSoundNumber(n)) return;
  if (Sound().gSoundSlotInUse[size_t(n)] != 1) {
    RaiseRuntimeError(kErrSoundNotExist);
    return;
  }
  if (const int32_t error = MemblockFromSound(b, n)) RaiseRuntimeError(error);
}

void CmdMakeSoundFromMemoryBlock() {
  const int32_t n = IntOperand(0), b = IntOperand(1);
  SkipOperands(2);
  if (!CheckSoundNumber(n) || !CheckMemblock(b)) return;
  if (!SoundFromMemblock(b, n)) RaiseRuntimeError(kErrSoundNotExist);
}

}  // namespace

}  // namespace vx

#include "generated/commands/memblock.inc"
