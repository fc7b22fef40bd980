// The draw queue's bitmap-file items: loading and saving bitmaps, copying them whole or by
// rectangles, and writing images through the work bitmap; with them the immediate loads and the
// screen-save request that share their rules. Depends on the image context for file formats and
// on the surface primitives for the bitmap table.
#include <algorithm>
#include <cctype>

#include "common/runtime_hooks.h"
#include "display/display.h"
#include "display/draw_queue_items.h"
#include "images/image_context.h"
#include "surfaces/display_state.h"
#include "surfaces/surface_primitives.h"
#include "surfaces/surface_records.h"
#include "system/file_functions.h"

namespace vx {

namespace {

// Attached files stand in for files on disk; the temporary copy keeps the name's ending.
std::string ResolvedName(std::string name) {
  ResolveVirtualFile(name, VirtualFileEnding(name));
  return name;
}

void GiveBlackColourKey(win::IDirectDrawSurface7* surface) {
  const win::DWORD black = BlackColourKey();
  const win::DDCOLORKEY key{black, black};
  surface->SetColorKey(win::DDCKEY_SRCBLT, &key);
}

// Width, height and depth of bitmap n as its surface describes them.
void RecordBitmapSize(int32_t n, win::IDirectDrawSurface7* surface) {
  win::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  if (win::Failed(surface->GetSurfaceDesc(&desc))) return;
  BitmapInfo& info = Display().gBitmapInfo[size_t(n)];
  info.width = desc.dwWidth;
  info.height = desc.dwHeight;
  info.bitsPerPixel = desc.ddpfPixelFormat.dwRGBBitCount;
}

bool SaveSurface(win::IDirectDrawSurface7* surface, const std::string& name) {
  return SaveImageByExtension(surface, name) == 1;
}

// A blit's end as the program hears of it: a failed restore has paused the program, which is not
// the blit's fault, so only another failure is the blit error.
bool BlitFailed(win::HRESULT result, win::IDirectDrawSurface7* target, win::IDirectDrawSurface7* source) {
  if (win::Succeeded(result)) return false;
  return result != win::DDERR_SURFACELOST || !(target->Lost() || source->Lost());
}

}  // namespace

// The file into bitmap n (the screen for 0), which becomes the current bitmap.
void Perform(DrawQueueItem& item, const LoadBitmapItem& fields) {
  const int32_t n = fields.bitmap;
  if (!IsProgramBitmap(n)) {
    RaiseRuntimeError(kErrBitmapNumberOutOfRange);
    return;
  }
  const std::string file = fields.file.Get();
  if (!FileExists(file)) {
    RaiseRuntimeError(kErrFileNotFound);
    return;
  }
  DrawQueue().gExecBitmap = n;
  DrawQueue().gExecSurface = SurfaceOfBitmap(n);
  std::string name = ResolvedName(file);
  win::IDirectDrawSurface7* loaded = LoadImageByExtension(name);
  if (!loaded) {
    ReportAtLastFrame(item, kErrImageFileNotLoaded);
    return;
  }
  if (DrawQueue().gExecSurface) {
    CopySurfaceToSurface(DrawQueue().gExecSurface, loaded);
    loaded->Release();
  } else {
    if (!IsDdsFileName(name)) GiveBlackColourKey(loaded);
    DrawQueue().gExecSurface = loaded;
  }
  if (n > 0) Display().gBitmaps[size_t(n)] = DrawQueue().gExecSurface;
  RecordBitmapSize(n, DrawQueue().gExecSurface);
  DrawQueue().gCurrentBitmap = n;
  DrawQueue().gCurrentSurface = DrawQueue().gExecSurface;
}

// Bitmap n written to the file in the format its name ends in.
void Perform(DrawQueueItem&, const SaveBitmapItem& fields) {
  win::IDirectDrawSurface7* surface = CheckedBitmap(fields.bitmap);
  if (!surface) return;
  DrawQueue().gExecBitmap = fields.bitmap;
  DrawQueue().gExecSurface = surface;
  // The writers go through a temporary file, so a failed save keeps the old file.
  if (!SaveSurface(surface, fields.file.Get())) RaiseRuntimeError(kErrBitmapNotSaved);
}

namespace {

// The sides of rectangle copies are inclusive; false (after the error) when the rectangle is not
// a part of its bitmap that holds pixels.
bool CheckCopyRectangle(const int32_t* edges, int32_t width, int32_t height, win::RECT* out) {
  const int64_t left = edges[0], top = edges[1], right = int64_t{edges[2]} + 1, bottom = int64_t{edges[3]} + 1;
  if (left < 0 || top < 0 || right > width || bottom > height) {
    RaiseRuntimeError(kErrCopyAreaOutside);
    return false;
  }
  if (edges[0] >= edges[2] || edges[1] >= edges[3]) {
    RaiseRuntimeError(kErrCopyAreaEmpty);
    return false;
  }
  *out = win::RECT{int32_t(left), int32_t(top), int32_t(right), int32_t(bottom)};
  return true;
}

}  // namespace

// The source bitmap onto the target, whole at (0, 0) or from one rectangle to another.
void Perform(DrawQueueItem&, const CopyBitmapItem& fields) {
  const int32_t source = fields.source, target = fields.target;
  const bool whole = fields.whole == 1;
  if (!IsProgramBitmap(source) || !IsProgramBitmap(target)) {
    RaiseRuntimeError(kErrBitmapNumberOutOfRange);
    return;
  }
  if (whole && source == target) {
    RaiseRuntimeError(kErrBitmapCopyOntoItself);
    return;
  }
  win::IDirectDrawSurface7* from = SurfaceOfBitmap(source);
  win::IDirectDrawSurface7* to = SurfaceOfBitmap(target);
  if (!from || !to) {
    RaiseRuntimeError(kErrBitmapNotExist);
    return;
  }
  int32_t sourceWidth = 0, sourceHeight = 0, targetWidth = 0, targetHeight = 0;
  TargetSize(source, &sourceWidth, &sourceHeight);
  TargetSize(target, &targetWidth, &targetHeight);
  win::HRESULT result;
  if (whole) {
    if (targetWidth < sourceWidth || targetHeight < sourceHeight) {
      RaiseRuntimeError(kErrBitmapSourceTooLarge);
      return;
    }
    result = RetryBlit(to, from, [&] { return to->BltFast(0, 0, from, nullptr, win::DDBLTFAST_NOCOLORKEY); });
  } else {
    win::RECT sourceRect{}, targetRect{};
    if (!CheckCopyRectangle(fields.sourceEdges, sourceWidth, sourceHeight, &sourceRect)) return;
    if (!CheckCopyRectangle(fields.targetEdges, targetWidth, targetHeight, &targetRect)) return;
    // A failed copy is reported as it is; copying the whole source over the target instead
    // would destroy the rest of the target.
    result = RetryBlit(to, from, [&] { return to->Blt(&targetRect, from, &sourceRect, win::DDBLT_WAIT, nullptr); });
  }
  if (BlitFailed(result, to, from)) RaiseRuntimeError(kErrBitmapBlitFailed);
}

// The image's rectangle written through the work bitmap, which is released again.
void Perform(DrawQueueItem&, const SaveImageItem& fields) {
  const uint32_t slot = ImageSlotOf(fields.image);
  if (slot == 0 || !Records().gImageRecords.IsTaken(slot) || !Records().gImageRecords[slot].valid ||
      !Records().gImageRecords[slot].surface) {
    RaiseRuntimeError(kErrImageNotExist);
    return;
  }
  const ImageRecord& image = Records().gImageRecords[slot];
  win::IDirectDrawSurface7* pixels = image.surface;
  const int32_t width = std::min(image.width, int32_t(pixels->Width()) - image.sourceX);
  const int32_t height = std::min(image.height, int32_t(pixels->Height()) - image.sourceY);
  bool saved = false;
  if (image.sourceX >= 0 && image.sourceY >= 0 && CreateBitmapSurface(kWorkBitmap, width, height)) {
    win::IDirectDrawSurface7* work = Display().gBitmaps[size_t(kWorkBitmap)];
    const win::RECT area{image.sourceX, image.sourceY, image.sourceX + width, image.sourceY + height};
    const win::HRESULT result =
        RetryBlit(work, pixels, [&] { return work->BltFast(0, 0, pixels, &area, win::DDBLTFAST_NOCOLORKEY); });
    saved = win::Succeeded(result) && SaveBitmapSlot(kWorkBitmap, fields.file.Get()) == 1;
    ReleaseBitmapSurface(kWorkBitmap);
  }
  if (!saved) RaiseRuntimeError(kErrBitmapNotSaved);
}

int32_t LoadBitmapIntoSlot(int32_t n, const std::string& file) {
  // The screen is never replaced by a loaded surface; the work bitmap is allowed.
  if (n < 1 || n >= kBitmapSlots) return 0;
  std::string name = ResolvedName(file);
  win::IDirectDrawSurface7* loaded = LoadImageByExtension(name);
  if (!loaded) return 0;
  ReleaseBitmapSurface(n);
  Display().gBitmaps[size_t(n)] = loaded;
  RecordBitmapSize(n, loaded);
  if (!IsDdsFileName(name)) GiveBlackColourKey(loaded);
  return 1;
}

void RequestScreenSave(const std::string& file) {
  Display().gScreenshotFile = file;
  Display().gScreenSaveRequest = 1;
}

bool IsDdsFileName(std::string& name) {
  for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
  return name.size() >= 3 && name.compare(name.size() - 3, 3, "dds") == 0;
}

void CopySurfaceToSurface(win::IDirectDrawSurface7* target, win::IDirectDrawSurface7* source) {
  if (!target || !source) return;
  win::DDSURFACEDESC2 targetDesc{}, sourceDesc{};
  targetDesc.dwSize = sourceDesc.dwSize = sizeof targetDesc;
  if (win::Failed(target->GetSurfaceDesc(&targetDesc)) || win::Failed(source->GetSurfaceDesc(&sourceDesc))) {
    RaiseRuntimeError(kErrBitmapBlitFailed);
    return;
  }
  // A larger source is squeezed into the target; a smaller one lands at the top left.
  const win::RECT area{0, 0, int32_t(std::min(sourceDesc.dwWidth, targetDesc.dwWidth)),
                       int32_t(std::min(sourceDesc.dwHeight, targetDesc.dwHeight))};
  const win::HRESULT result =
      RetryBlit(target, source, [&] { return target->Blt(&area, source, nullptr, win::DDBLT_WAIT, nullptr); });
  if (BlitFailed(result, target, source)) RaiseRuntimeError(kErrBitmapBlitFailed);
}

}  // namespace vx
