// The per-format classes of the image context and the pixel coding beneath them. Every reader
// decodes a file's bytes into a DecodedImage (JPEG and PNG into rows that may go straight to a
// surface) and trusts nothing in them: sizes, offsets, runs and palettes are checked against the
// data, and a damaged file gives no image rather than a read or write outside a buffer. Every writer encodes into memory and writes the file through a
// temporary, so a failed save leaves the old file in place.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "images/surface_rows.h"
#include "platform/ddraw/ddraw.h"

namespace vx {

// Surfaces are at most this wide and high; no reader makes a larger image.
constexpr uint32_t kLargestImageSide = 16384;
// The most memory any reader, or a library beneath it, is let have for one picture's pixels. A
// file's declared size is checked against it before anything is allocated, so a few bytes cannot
// claim gigabytes.
constexpr uint64_t kImageMemoryBudget = uint64_t(256) << 20;
// Decoded pixels take four bytes each.
constexpr uint64_t kLargestImagePixels = kImageMemoryBudget / 4;
// True when a picture of the size, at the bytes per pixel a decoder holds it in, fits the budget
// and the largest side.
constexpr bool FitsImageBudget(uint64_t width, uint64_t height, uint64_t bytesPerPixel) {
  return width > 0 && height > 0 && width <= kLargestImageSide && height <= kLargestImageSide &&
         width * height * bytesPerPixel <= kImageMemoryBudget;
}

// Pixels as 0xAARRGGBB, the top row first, width pixels a row.
struct DecodedImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint32_t> pixels;

  // Sizes the image filled with opaque black; false for sizes outside the limits.
  bool Allocate(uint32_t w, uint32_t h);
  uint32_t& At(uint32_t x, uint32_t y) { return pixels[size_t(y) * width + x]; }
  uint32_t At(uint32_t x, uint32_t y) const { return pixels[size_t(y) * width + x]; }
};

// Where a decoder puts a picture as it decodes it: Begin with the size, then, in batches of at most
// kBatchRows consecutive rows from the top, Row for each row of the batch, the row written there,
// and Done for the batch. A row's memory is only good until its batch is done. Rows are
// 0xAARRGGBB words, or, when the target's pixels are bytes in an order that a library writes
// (Bytes), may be those bytes.
class ImageRows {
 public:
  static constexpr uint32_t kBatchRows = 16;
  // False when no picture of the size can be had.
  virtual bool Begin(uint32_t width, uint32_t height) = 0;
  virtual ByteOrder Bytes() const { return ByteOrder::Other; }
  // Room for a row of width words.
  virtual uint32_t* Row(uint32_t y) = 0;
  // `written` says how the rows were written: Other for 0xAARRGGBB words, else Bytes().
  virtual void Done(uint32_t first, uint32_t count, ByteOrder written) = 0;

 protected:
  ~ImageRows() = default;
};

// The rows into a DecodedImage.
class DecodedImageRows final : public ImageRows {
 public:
  explicit DecodedImageRows(DecodedImage& image) : image_(image) {}
  bool Begin(uint32_t width, uint32_t height) override { return image_.Allocate(width, height); }
  uint32_t* Row(uint32_t y) override { return &image_.At(0, y); }
  void Done(uint32_t, uint32_t, ByteOrder) override {}

 private:
  DecodedImage& image_;
};

// --- Readers (file bytes to pixels) ---------------------------------------------------------------
std::optional<DecodedImage> DecodeBmp(std::span<const uint8_t> file);
std::optional<DecodedImage> DecodePcx(std::span<const uint8_t> file);
std::optional<DecodedImage> DecodePsd(std::span<const uint8_t> file);
// JPEG and PNG decode into rows. The fast way has the library write blue, green, red and an opaque
// alpha, which is how 0xAARRGGBB words lie in memory; the reference takes RGB from the library and
// packs it pixel by pixel. False when the file is damaged or refused.
bool DecodeJpegRows(std::span<const uint8_t> file, ImageRows& rows, PixelPath path = PixelPath::Fast);
bool DecodePngRows(std::span<const uint8_t> file, ImageRows& rows, PixelPath path = PixelPath::Fast);
std::optional<DecodedImage> DecodeJpeg(std::span<const uint8_t> file, PixelPath path = PixelPath::Fast);
std::optional<DecodedImage> DecodePng(std::span<const uint8_t> file, PixelPath path = PixelPath::Fast);
// Targa checks before FreeImage sees the file: the header, and run-length packets that cover the
// picture exactly within the file.
bool TargaHeaderIsSound(std::span<const uint8_t> file);
// TIFF checks before FreeImage sees the file: the first directory's size, sample layout,
// compression and strips or tiles, against what FreeImage decodes soundly and the budget. The
// copy handed on keeps only the tags that the picture needs and no further directory, so no
// metadata reader of the library runs on the file. Nothing when refused.
std::optional<std::vector<uint8_t>> CheckedTiffCopy(std::span<const uint8_t> file);
enum class LibraryFormat { Targa, Tiff };
std::optional<DecodedImage> DecodeWithFreeImage(LibraryFormat format, std::span<const uint8_t> file);
// What FreeImage and the TIFF library beneath it say while they read never reaches standard
// error. While an object of this kind lives, their messages on its thread are gathered, and when
// it goes they become one line of the engine log naming the file; other messages are dropped.
class LibraryMessageNote {
 public:
  explicit LibraryMessageNote(std::string fileName);
  ~LibraryMessageNote();
  LibraryMessageNote(const LibraryMessageNote&) = delete;
  LibraryMessageNote& operator=(const LibraryMessageNote&) = delete;
  void Add(std::string message);

 private:
  std::string fileName_;
  std::string first_;
  size_t count_ = 0;
  LibraryMessageNote* outer_;
};

// --- Writers (pixels to file bytes) ----------------------------------------------------------------
// The image as blue, green, red bytes, the bottom row first, each row rowBytes long.
void PutBgrRowsBottomUp(const DecodedImage& image, uint8_t* out, size_t rowBytes);
// 24-bit bottom-up BMP with 54 bytes of headers; rows padded to 4 bytes.
std::vector<uint8_t> EncodeBmp(const DecodedImage& image);
// Uncompressed 24-bit Targa, origin at the lower left, no footer.
std::vector<uint8_t> EncodeTarga(const DecodedImage& image);
std::optional<std::vector<uint8_t>> EncodeJpeg(const DecodedImage& image, int quality);
std::optional<std::vector<uint8_t>> EncodePng(const DecodedImage& image);

// --- Surfaces -----------------------------------------------------------------------------------
// A new off-screen plain surface in the display format, filled as a decoder delivers its rows
// (surface_rows.h says how pixels are stored). The decoder writes a batch into a few rows held
// here, which stay in the cache until they are stored into the surface: copied as they are when
// written in the surface's own byte order (24 bits, or 32 without alpha), else converted. A
// surface not handed out by Finish is released with the object.
class SurfaceRows final : public ImageRows {
 public:
  SurfaceRows(win::IDirectDraw7* directDraw, win::IDirectDrawSurface7* primary, bool systemMemory,
              PixelPath path = PixelPath::Fast);
  ~SurfaceRows();
  SurfaceRows(const SurfaceRows&) = delete;
  SurfaceRows& operator=(const SurfaceRows&) = delete;

  bool Begin(uint32_t width, uint32_t height) override;
  uint32_t* Row(uint32_t y) override;
  void Done(uint32_t first, uint32_t count, ByteOrder written) override;
  ByteOrder Bytes() const override;
  // Row y stored from a row of width pixels held elsewhere.
  void Put(uint32_t y, const uint32_t* argb);
  // The filled surface, unlocked and the caller's; null when Begin did not succeed.
  win::IDirectDrawSurface7* Finish();

 private:
  uint8_t* SurfaceRow(uint32_t y) const { return bits_ + ptrdiff_t(y) * pitch_; }

  win::IDirectDraw7* directDraw_;
  win::IDirectDrawSurface7* primary_;
  bool systemMemory_;
  PixelPath path_;
  win::IDirectDrawSurface7* surface_ = nullptr;  // locked while held here
  uint8_t* bits_ = nullptr;
  ptrdiff_t pitch_ = 0;
  uint32_t width_ = 0;
  ArgbRowStore store_{win::FormatInfo{}, nullptr};
  std::vector<uint32_t> batch_;  // kBatchRows rows, made when first asked for
  uint32_t* batchFirst_ = nullptr;
  size_t batchStride_ = 0;  // words
};

// A new off-screen plain surface in the display format holding the image, or null.
win::IDirectDrawSurface7* CreateSurfaceFromImage(win::IDirectDraw7* directDraw, win::IDirectDrawSurface7* primary,
                                                 const DecodedImage& image, bool systemMemory,
                                                 PixelPath path = PixelPath::Fast);
// A surface's pixels through a read lock; channels narrower than 8 bits are shifted up (a 5-bit
// 31 reads as 248). Nothing for a null surface or one that cannot be locked.
std::optional<DecodedImage> ReadSurfaceImage(win::IDirectDrawSurface7* surface, win::IDirectDrawSurface7* primary);

// --- The per-format classes ---------------------------------------------------------------------
// What each class copies from the context when it is made.
struct ImageFormatCodec {
  win::IDirectDrawSurface7* primarySurface = nullptr;
  win::HWND window = nullptr;
  win::IDirectDraw7* directDraw = nullptr;
};

// Load: a new surface or null. Save: 1 when the file was written, else 0.
#define VX_IMAGE_FORMAT_CLASS(Name)                                               \
  class Name : public ImageFormatCodec {                                          \
   public:                                                                        \
    explicit Name(const ImageFormatCodec& codec) : ImageFormatCodec(codec) {}     \
    win::IDirectDrawSurface7* Load(const std::string& fileName);                  \
    int32_t Save(win::IDirectDrawSurface7* surface, const std::string& fileName); \
  }
VX_IMAGE_FORMAT_CLASS(JpegImageFile);
VX_IMAGE_FORMAT_CLASS(BmpImageFile);
VX_IMAGE_FORMAT_CLASS(PsdImageFile);
VX_IMAGE_FORMAT_CLASS(PcxImageFile);
VX_IMAGE_FORMAT_CLASS(TargaImageFile);
VX_IMAGE_FORMAT_CLASS(DdsImageFile);
VX_IMAGE_FORMAT_CLASS(PngImageFile);
VX_IMAGE_FORMAT_CLASS(TiffImageFile);
#undef VX_IMAGE_FORMAT_CLASS

// Shared by the classes: reads the file (either separator, any case) and makes the surface from
// what `decode` gives; encodes a surface and writes the file through a temporary.
using ImageDecoder = std::optional<DecodedImage> (*)(std::span<const uint8_t>);
win::IDirectDrawSurface7* LoadThroughDecoder(const ImageFormatCodec& codec, const std::string& fileName,
                                             ImageDecoder decode, bool systemMemory);
// The same for decoders that deliver rows straight into the surface.
using RowDecoder = bool (*)(std::span<const uint8_t>, ImageRows&, PixelPath);
win::IDirectDrawSurface7* LoadThroughRows(const ImageFormatCodec& codec, const std::string& fileName, RowDecoder decode,
                                          bool systemMemory);
bool WriteImageFile(const std::string& fileName, const std::vector<uint8_t>& bytes);

}  // namespace vx
