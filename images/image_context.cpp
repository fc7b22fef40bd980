// The image context and the dispatch by the file name's last three letters. Every format's class
// is made for one load or save from the context's three objects and dropped straight after.
#include "images/image_context.h"

#include <strings.h>

#include "images/image_codecs.h"

namespace vx {

using namespace win;

ImageContext gImageContext;

namespace {

enum class Format { Jpeg, Bmp, Psd, Pcx, Targa, Dds, Png, Tiff, None };

// In the order the endings are compared; "rle" and "dib" are BMP files too.
struct Ending {
  const char* letters;
  Format format;
};
constexpr Ending kEndings[] = {
    {"jpg", Format::Jpeg}, {"bmp", Format::Bmp},   {"rle", Format::Bmp}, {"dib", Format::Bmp}, {"psd", Format::Psd},
    {"pcx", Format::Pcx},  {"tga", Format::Targa}, {"dds", Format::Dds}, {"png", Format::Png}, {"tif", Format::Tiff}};

// Only the last three characters count: "x.jpeg" and "x.tiff" match nothing; a shorter name
// matches nothing either.
Format FormatOfName(const std::string& fileName) {
  if (fileName.size() < 3) return Format::None;
  const char* last = fileName.c_str() + fileName.size() - 3;
  for (const Ending& ending : kEndings)
    if (strcasecmp(last, ending.letters) == 0) return ending.format;
  return Format::None;
}

ImageFormatCodec CodecFromContext() {
  return ImageFormatCodec{gImageContext.primarySurface, gImageContext.window, gImageContext.directDraw};
}

}  // namespace

int32_t CreateImageContext(HWND window) {
  ReleaseImageContext();
  DirectDraw* directDraw = nullptr;
  if (Failed(DirectDrawCreateEx(nullptr, &directDraw, IID_IDirectDraw7, nullptr)) || !directDraw) return 0;
  if (Failed(directDraw->SetCooperativeLevel(window, DDSCL_NORMAL))) {
    directDraw->Release();
    return 0;
  }
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS;
  desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_3DDEVICE;
  DirectDrawSurface* primary = nullptr;
  if (Failed(directDraw->CreateSurface(&desc, &primary, nullptr)) || !primary) {
    directDraw->Release();
    return 0;
  }
  gImageContext = ImageContext{directDraw, primary, window, true};
  return 1;
}

int32_t AttachImageContext(HWND window, IDirectDraw7* directDraw, IDirectDrawSurface7* primary) {
  ReleaseImageContext();
  gImageContext = ImageContext{directDraw, primary, window, false};
  return 1;
}

int32_t ReleaseImageContext() {
  // Attached objects belong to the display, which releases them itself.
  if (gImageContext.owned) {
    if (gImageContext.primarySurface) gImageContext.primarySurface->Release();
    if (gImageContext.directDraw) gImageContext.directDraw->Release();
  }
  gImageContext = ImageContext{};
  return 1;
}

IDirectDrawSurface7* LoadImageByExtension(const std::string& fileName) {
  const ImageFormatCodec codec = CodecFromContext();
  switch (FormatOfName(fileName)) {
    case Format::Jpeg: return JpegImageFile(codec).Load(fileName);
    case Format::Bmp: return BmpImageFile(codec).Load(fileName);
    case Format::Psd: return PsdImageFile(codec).Load(fileName);
    case Format::Pcx: return PcxImageFile(codec).Load(fileName);
    case Format::Targa: return TargaImageFile(codec).Load(fileName);
    case Format::Dds: return DdsImageFile(codec).Load(fileName);
    case Format::Png: return PngImageFile(codec).Load(fileName);
    case Format::Tiff: return TiffImageFile(codec).Load(fileName);
    case Format::None: break;
  }
  return nullptr;
}

int32_t SaveImageByExtension(IDirectDrawSurface7* surface, const std::string& fileName, uint32_t) {
  if (!surface) return 0;
  const ImageFormatCodec codec = CodecFromContext();
  switch (FormatOfName(fileName)) {
    case Format::Jpeg: return JpegImageFile(codec).Save(surface, fileName);
    case Format::Bmp: return BmpImageFile(codec).Save(surface, fileName);
    case Format::Psd: return PsdImageFile(codec).Save(surface, fileName);
    case Format::Pcx: return PcxImageFile(codec).Save(surface, fileName);
    case Format::Targa: return TargaImageFile(codec).Save(surface, fileName);
    case Format::Dds: return DdsImageFile(codec).Save(surface, fileName);
    case Format::Png: return PngImageFile(codec).Save(surface, fileName);
    case Format::Tiff: return TiffImageFile(codec).Save(surface, fileName);
    case Format::None: break;
  }
  return 0;
}

}  // namespace vx
