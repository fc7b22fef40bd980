// Targa and TIFF files read through FreeImage's general loader with the format named, and the
// Targa checks (header, and run-length packets against the file) that run before FreeImage sees a
// file (the TIFF checks are in tiff_header.cpp). Whatever FreeImage gives (1 to 32 bits, 16 bits
// a channel, grey of 16 bits) is turned into 8-bit colour. The libraries' messages go to the
// engine log through LibraryMessageNote.
#include <FreeImage.h>
#include <dlfcn.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "common/runtime_hooks.h"
#include "images/byte_reader.h"
#include "images/image_codecs.h"

namespace vx {

namespace {

thread_local LibraryMessageNote* tNote = nullptr;

void Gather(std::string message) {
  if (tNote) tNote->Add(std::move(message));
}

void GatherFreeImageMessage(FREE_IMAGE_FORMAT, const char* message) { Gather(message ? message : ""); }

void GatherTiffMessage(const char* module, const char* format, va_list arguments) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, arguments);
  Gather(module && *module ? std::string(module) + ": " + text : std::string(text));
}

// FreeImage leaves the TIFF library's own handlers in place, which print to standard error. That
// library comes with FreeImage, so its setters are found in the process rather than linked.
void RouteLibraryMessages() {
  static std::once_flag once;
  std::call_once(once, [] {
    FreeImage_SetOutputMessage(GatherFreeImageMessage);
    using TiffHandler = void (*)(const char*, const char*, va_list);
    using TiffSetHandler = TiffHandler (*)(TiffHandler);
    for (const char* setter : {"TIFFSetErrorHandler", "TIFFSetWarningHandler"})
      if (auto set = reinterpret_cast<TiffSetHandler>(dlsym(RTLD_DEFAULT, setter))) set(GatherTiffMessage);
  });
}

}  // namespace

LibraryMessageNote::LibraryMessageNote(std::string fileName) : fileName_(std::move(fileName)), outer_(tNote) {
  tNote = this;
}

LibraryMessageNote::~LibraryMessageNote() {
  tNote = outer_;
  if (count_ == 0) return;
  std::string note = fileName_ + ": " + first_;
  if (count_ > 1) note += " (and " + std::to_string(count_ - 1) + " more messages of the image library)";
  EngineNote(note);
}

void LibraryMessageNote::Add(std::string message) {
  if (count_++ == 0) first_ = std::move(message);
}

bool TargaHeaderIsSound(std::span<const uint8_t> file) {
  if (file.size() < 18) return false;
  const uint32_t idLength = file[0];
  const uint32_t mapType = file[1];
  const uint32_t imageType = file[2];
  const uint32_t mapFirst = ReadU16LE(file, 3);
  const uint32_t mapLength = ReadU16LE(file, 5);
  const uint32_t mapEntryBits = file[7];
  const uint32_t width = ReadU16LE(file, 12);
  const uint32_t height = ReadU16LE(file, 14);
  const uint32_t depth = file[16];
  const uint32_t descriptor = file[17];

  if (mapType > 1 || (descriptor & 0xC0) != 0) return false;  // interleaved rows are not drawn
  if (!FitsImageBudget(width, height, sizeof(uint32_t))) return false;
  const bool mapBitsSound = mapEntryBits == 15 || mapEntryBits == 16 || mapEntryBits == 24 || mapEntryBits == 32;
  if (mapType == 1 && (!mapBitsSound || mapLength == 0)) return false;
  // Only colour-mapped pictures may carry a map: FreeImage takes one on a grey or true-colour
  // picture as its palette without the bounds that a colour-mapped picture's map is checked for.
  if (mapType == 1 && (imageType & ~8u) != 1) return false;
  switch (imageType & ~8u) {
    case 1:  // colour-mapped
      if (mapType != 1 || depth != 8 || mapFirst + mapLength > 256) return false;
      break;
    case 2:  // true colour
      if (depth != 15 && depth != 16 && depth != 24 && depth != 32) return false;
      break;
    case 3:  // grey
      if (depth != 8 && depth != 16) return false;
      break;
    default: return false;
  }
  const uint64_t mapBytes = mapType ? uint64_t(mapLength) * ((mapEntryBits + 7) / 8) : 0;
  const uint64_t start = 18 + idLength + mapBytes;
  if (start > file.size()) return false;
  const uint64_t pixelBytes = (depth + 7) / 8;
  const uint64_t pixels = uint64_t(width) * height;
  if (imageType & 8) {
    // The packets must cover the picture exactly: FreeImage fills a picture whose packets stop
    // early instead of refusing it.
    uint64_t covered = 0;
    size_t at = size_t(start);
    while (covered < pixels) {
      if (at >= file.size()) return false;
      const uint32_t packet = file[at++];
      const uint64_t bytes = packet & 0x80 ? pixelBytes : ((packet & 0x7F) + 1) * pixelBytes;
      if (bytes > file.size() - at) return false;
      at += size_t(bytes);
      covered += (packet & 0x7F) + 1;
    }
    return covered == pixels;
  }
  return file.size() - start >= pixels * pixelBytes;
}

namespace {

// FreeImage puts a colour map at palette index 0 even when the file says that it starts further
// up; the palette is rebuilt so that index first + i has entry i, for colour-mapped pictures only,
// whose map the header check has bounded to 256 entries.
void PlaceTargaColourMap(std::span<const uint8_t> file, FIBITMAP* bitmap) {
  const uint32_t mapFirst = ReadU16LE(file, 3);
  const uint32_t mapLength = ReadU16LE(file, 5);
  const uint32_t entryBytes = (file[7] + 7u) / 8u;
  const bool colourMapped = (file[2] & ~8u) == 1;
  RGBQUAD* palette = FreeImage_GetPalette(bitmap);
  if (!colourMapped || file[1] != 1 || mapFirst == 0 || FreeImage_GetBPP(bitmap) != 8 || !palette) return;
  if (mapFirst + mapLength > 256) return;
  const uint8_t* entry = file.data() + 18 + file[0];  // the header check put the map inside the file
  for (uint32_t i = 0; i < 256; ++i) palette[i] = RGBQUAD{0, 0, 0, 0};
  for (uint32_t i = 0; i < mapLength; ++i, entry += entryBytes) {
    RGBQUAD& colour = palette[mapFirst + i];
    if (entryBytes == 2) {
      const uint32_t value = uint32_t(entry[0]) | uint32_t(entry[1]) << 8;
      auto widen = [](uint32_t five) { return BYTE(five << 3 | five >> 2); };
      colour.rgbRed = widen(value >> 10 & 31);
      colour.rgbGreen = widen(value >> 5 & 31);
      colour.rgbBlue = widen(value & 31);
    } else {
      colour.rgbBlue = entry[0], colour.rgbGreen = entry[1], colour.rgbRed = entry[2];
    }
  }
}

}  // namespace

std::optional<DecodedImage> DecodeWithFreeImage(LibraryFormat format, std::span<const uint8_t> file) {
  if (file.empty() || file.size() > 0xFFFFFFFFu) return std::nullopt;
  if (format == LibraryFormat::Targa && !TargaHeaderIsSound(file)) return std::nullopt;
  std::optional<std::vector<uint8_t>> tiff;
  if (format == LibraryFormat::Tiff && !(tiff = CheckedTiffCopy(file))) return std::nullopt;
  const std::span<const uint8_t> vetted = tiff ? std::span<const uint8_t>(*tiff) : file;
  const FREE_IMAGE_FORMAT code = format == LibraryFormat::Targa ? FIF_TARGA : FIF_TIFF;
  RouteLibraryMessages();
  // FreeImage only reads from the block it is given.
  FIMEMORY* memory = FreeImage_OpenMemory(const_cast<BYTE*>(vetted.data()), static_cast<DWORD>(vetted.size()));
  if (!memory) return std::nullopt;
  FIBITMAP* loaded = FreeImage_LoadFromMemory(code, memory, 0);
  FreeImage_CloseMemory(memory);
  if (!loaded) return std::nullopt;
  if (format == LibraryFormat::Targa) PlaceTargaColourMap(file, loaded);

  FIBITMAP* colour = nullptr;
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(loaded);
  if (type == FIT_BITMAP || type == FIT_RGB16 || type == FIT_RGBA16) {
    colour = FreeImage_ConvertTo32Bits(loaded);
  } else if (FIBITMAP* standard = FreeImage_ConvertToStandardType(loaded, TRUE)) {
    colour = FreeImage_ConvertTo32Bits(standard);
    FreeImage_Unload(standard);
  }
  FreeImage_Unload(loaded);
  if (!colour) return std::nullopt;

  DecodedImage image;
  const bool sized =
      FreeImage_GetBPP(colour) == 32 && image.Allocate(FreeImage_GetWidth(colour), FreeImage_GetHeight(colour));
  for (uint32_t y = 0; sized && y < image.height; ++y) {
    // FreeImage keeps the bottom row first.
    const BYTE* row = FreeImage_GetScanLine(colour, int(image.height - 1 - y));
    for (uint32_t x = 0; x < image.width; ++x, row += 4)
      image.At(x, y) =
          0xFF000000u | uint32_t(row[FI_RGBA_RED]) << 16 | uint32_t(row[FI_RGBA_GREEN]) << 8 | row[FI_RGBA_BLUE];
  }
  FreeImage_Unload(colour);
  if (!sized) return std::nullopt;
  return image;
}

}  // namespace vx
