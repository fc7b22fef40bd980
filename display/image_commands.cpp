// Image commands: images 1 to 65535 grabbed from the screen or the current bitmap, loaded from
// image files (with a 3D texture when asked), saved, pasted, turned and deleted. Grabs, pastes,
// turns and saves go through the draw queue, so they take effect at the next frame; loads are
// done at once through the work bitmap. Depends on the engine's image records and textures.
#include <string>

#include "common/interpreter_state.h"
#include "common/runtime_hooks.h"
#include "display/command_operands.h"
#include "display/draw_queue.h"
#include "display/images.h"
#include "surfaces/display_state.h"
#include "surfaces/engine_textures.h"
#include "surfaces/surface_primitives.h"
#include "surfaces/surface_records.h"
#include "surfaces/texture_surface.h"
#include "system/file_functions.h"

namespace vx {

bool IsImageNumber(int32_t n) { return n >= 1 && n < kNumberMapSize; }

uint32_t ImageSlotById(int32_t n) { return IsImageNumber(n) ? Records().gImageSlotById[size_t(n)] : 0; }

uint32_t LoadImageFile(const std::string& file) {
  if (!LoadBitmapIntoSlot(kWorkBitmap, file)) return kNoRecordSlot;
  uint32_t slot = RefreshBitmapSize(kWorkBitmap);
  ReleaseBitmapSurface(kWorkBitmap);
  Display().gBitmapInfo[size_t(kWorkBitmap)] = {};
  if (slot != kNoRecordSlot && Records().gImageRecords[slot].valid != 1) {
    FreeImageRecord(slot);  // its pixels were never copied
    slot = kNoRecordSlot;
  }
  return slot;
}

void ReplaceImage(int32_t n, uint32_t slot) {
  if (!IsImageNumber(n)) return;
  if (const uint32_t old = Records().gImageSlotById[size_t(n)]; old != 0 && old != slot) FreeImageRecord(old);
  Records().gImageSlotById[size_t(n)] = slot;
}

namespace {

// Checks the number (501) and, when the image must exist, that it has a record (502). The slot, or
// 0 after the error (and 0 without error for a free number that need not exist).
uint32_t CheckedImage(int32_t n, bool mustExist) {
  if (!IsImageNumber(n)) {
    RaiseRuntimeError(kErrImageNumberOutOfRange);
    return 0;
  }
  const uint32_t slot = Records().gImageSlotById[size_t(n)];
  if (slot == 0 && mustExist) RaiseRuntimeError(kErrImageNotExist);
  return slot;
}

// --- Grabbing and loading ------------------------------------------------------------------------

// The flag above 0 gives the image a texture when the grab is done (2: a compressed one).
void GrabImage(int32_t n, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t flag) {
  if (!IsImageNumber(n)) {
    RaiseRuntimeError(kErrImageNumberOutOfRange);
    return;
  }
  if (Records().gImageSlotById[size_t(n)] == 0) {
    const uint32_t slot = AllocImageRecord();
    if (slot == kNoRecordSlot) return;  // the pool raised the error
    Records().gImageSlotById[size_t(n)] = slot;
  }
  QueueGrabImage(n, left, top, right, bottom, flag);
  EndSliceAfterCommand(SliceEnd::kAutoRefresh);
}

void CmdGetImage() {
  GrabImage(IntOperand(0), IntOperand(1), IntOperand(2), IntOperand(3), IntOperand(4), 0);
  SkipOperands(5);
}

void CmdGetImageTextured() {
  GrabImage(IntOperand(0), IntOperand(1), IntOperand(2), IntOperand(3), IntOperand(4), IntOperand(5));
  SkipOperands(6);
}

// The file into image n at once; with a texture, the file's own when it can be one, else one made
// of the image (mode 2 compresses it).
void LoadImage(const std::string& file, int32_t n, bool textured, int32_t mode) {
  if (!IsImageNumber(n)) {
    RaiseRuntimeError(kErrImageNumberOutOfRange);
    return;
  }
  if (!FileExists(file)) {
    RaiseRuntimeError(kErrFileNotFound);
    return;
  }
  const uint32_t slot = LoadImageFile(file);
  if (slot == kNoRecordSlot) {
    // Nothing changed: image n is as it was.
    RaiseRuntimeWarning(kErrImageFileNotLoaded);
    return;
  }
  ReplaceImage(n, slot);  // the old image gives up its texture with its record
  EndSliceAfterCommand(SliceEnd::kAutoRefresh);
  if (!textured) return;
  const int32_t compressed = mode == 2 ? 1 : 0;
  uint32_t texture = LoadTextureFile(file.c_str(), 1);
  if (texture != 0) {
    Records().gImageRecords[slot].textureSlot = int32_t(texture);
    BuildTextureMipmaps(texture, 1);
  } else {
    texture = GetImageTexture(slot, 1, compressed);
  }
  if (texture == 0 || !Records().gTextureRecords.IsTaken(texture)) return;
  Records().gTextureRecords[texture].texture.dxt1 = uint32_t(compressed);
  PreloadTexture(Records().gTextureRecords[texture].texture);
}

void CmdLoadImage() {
  LoadImage(FileOperand(0), IntOperand(1), false, 0);
  SkipOperands(2);
}

void CmdLoadImageTextured() {
  LoadImage(FileOperand(0), IntOperand(1), true, IntOperand(2));
  SkipOperands(3);
}

// --- Saving, pasting, turning, deleting ------------------------------------------------------------

void CmdSaveImage() {
  const std::string file = FileOperand(0);
  const int32_t n = IntOperand(1);
  SkipOperands(2);
  if (!CheckedImage(n, true)) return;
  if (FileExists(file)) {
    RaiseRuntimeError(kErrFileExists);
    return;
  }
  QueueSaveImage(n, file);
  EndSliceAfterCommand(SliceEnd::kAutoRefresh);
}

void PasteImage(bool keyed, int operands) {
  const int32_t n = IntOperand(0), x = IntOperand(1), y = IntOperand(2);
  SkipOperands(operands);
  if (!CheckedImage(n, true)) return;
  if (keyed)
    QueuePasteImageKeyed(n, x, y);
  else
    QueuePasteImage(n, x, y);
  EndSliceAfterCommand(SliceEnd::kAutoRefresh, DrawQueue().gCurrentBitmap == 0);
}

void CmdPasteImage() { PasteImage(false, 3); }
// The fourth operand only chooses this form: black is transparent.
void CmdPasteImageKeyed() { PasteImage(true, 4); }

void CmdRotateImage() {
  const int32_t n = IntOperand(0), angle = IntOperand(1);
  SkipOperands(2);
  if (CheckedImage(n, true)) QueueRotateImage(n, angle);
}

// The record goes at the end of the second frame from now, so that items and sprites of this frame
// that still use it find it; the number is free at once.
void CmdDeleteImage() {
  const int32_t n = IntOperand(0);
  SkipOperands(1);
  const uint32_t slot = CheckedImage(n, true);
  if (!slot) return;
  Records().gImageRecords[slot].lifeCounter = 2;
  Records().gImageSlotById[size_t(n)] = 0;
}

void FnImageExists() {
  ValueSlot* result = SlotOperand(0);
  const int32_t n = IntOperand(1);
  SkipOperands(2);
  if (!IsImageNumber(n)) {
    RaiseRuntimeError(kErrImageNumberOutOfRange);
    return;
  }
  result->i = Records().gImageSlotById[size_t(n)] != 0 ? 1 : 0;
}

}  // namespace

}  // namespace vx

#include "generated/commands/image.inc"
