// Pixel access commands: the program locks the screen's back buffer, learns where its pixels are
// and how they are laid out, works on them through their address, and unlocks it before the frame
// is drawn. Nothing here raises an error: the value functions give -1 while nothing is locked.
#include "common/interpreter_state.h"
#include "display/locked_pixels.h"
#include "surfaces/display_state.h"

namespace vx {

void LockScreenPixels() {
  if (!Display().gBackBuffer) return;
  win::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  if (win::Failed(Display().gBackBuffer->Lock(nullptr, &desc, win::DDLOCK_WAIT, nullptr))) return;
  MemoryAccess().gLockedPixels = LockedPixels{reinterpret_cast<uintptr_t>(desc.lpSurface), desc.dwWidth, desc.dwHeight,
                                              desc.ddpfPixelFormat.dwRGBBitCount, uint32_t(desc.lPitch)};
}

void UnlockScreenPixels() {
  if (Display().gBackBuffer && MemoryAccess().gLockedPixels.address != 0) Display().gBackBuffer->Unlock(nullptr);
  MemoryAccess().gLockedPixels = {};
}

namespace {

void CmdLockPixels() { LockScreenPixels(); }

void CmdUnlockPixels() {
  if (Display().gBackBuffer) UnlockScreenPixels();
}

// A word of the locked screen, or -1 while nothing is locked.
template <class Word>
void LockedWord(Word&& word) {
  SlotOperand(0)->i = MemoryAccess().gLockedPixels.address == 0 ? -1 : int32_t(word());
  SkipOperands(1);
}

// Pixel memory lies below 2 GiB, so the address is a positive integer.
void FnLockedPixelsPointer() {
  LockedWord([] {
    return MemoryAccess().gLockedPixels.address < (uintptr_t{1} << 31) ? MemoryAccess().gLockedPixels.address
                                                                       : uintptr_t(-1);
  });
}
void FnLockedPixelsWidth() {
  LockedWord([] { return MemoryAccess().gLockedPixels.width; });
}
void FnLockedPixelsHeight() {
  LockedWord([] { return MemoryAccess().gLockedPixels.height; });
}
void FnLockedPixelsDepth() {
  LockedWord([] { return MemoryAccess().gLockedPixels.bitsPerPixel; });
}
void FnLockedPixelsPitch() {
  LockedWord([] { return MemoryAccess().gLockedPixels.pitch; });
}

}  // namespace

}  // namespace vx

#include "generated/commands/pixels.inc"
