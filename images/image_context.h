// The image context: the one door through which the runtime turns image files into surfaces and
// surfaces back into files. It picks the format by the last three letters of the file name
// ("jpg", "bmp", "rle", "dib", "psd", "pcx", "tga", "dds", "png", "tif", any case) and lets that
// format's class do the work (images/image_codecs.h).
//
// Loaded surfaces are new off-screen plain surfaces in the display's pixel format, owned by the
// caller. A load that fails returns null; a save that fails returns 0 and leaves any old file.
#pragma once
#include <cstdint>
#include <string>

#include "platform/ddraw/ddraw.h"

namespace vx {

struct ImageContext {
  win::IDirectDraw7* directDraw = nullptr;             // makes every surface a loader returns
  win::IDirectDrawSurface7* primarySurface = nullptr;  // its format is what the writers read back
  win::HWND window = nullptr;
  bool owned = false;  // made by CreateImageContext, so released by ReleaseImageContext
};

extern ImageContext gImageContext;  // the one instance (images/image_context.cpp)
inline ImageContext& Images() { return gImageContext; }

// Its own DirectDraw object and primary surface for the window; 1, or 0 when a step fails.
int32_t CreateImageContext(win::HWND window);
// Uses the display's objects without taking references; returns 1.
int32_t AttachImageContext(win::HWND window, win::IDirectDraw7* directDraw, win::IDirectDrawSurface7* primary);
// Gives back what CreateImageContext made and forgets an attached display; returns 1.
int32_t ReleaseImageContext();

win::IDirectDrawSurface7* LoadImageByExtension(const std::string& fileName);
// 1 when the file was written (names ending in pcx, psd or tif write nothing and report 1);
// 0 for a null surface, a name of no known ending, or a failed write. `extra` is not used.
int32_t SaveImageByExtension(win::IDirectDrawSurface7* surface, const std::string& fileName, uint32_t extra = 0);
// A mip-mapped (optionally DXT-compressed) copy of a surface; 1 on success.
int32_t MakeMipmappedTexture(win::IDirectDrawSurface7* surface, win::IDirectDrawSurface7** out, char fourCCLetter,
                             int32_t compress);

}  // namespace vx
