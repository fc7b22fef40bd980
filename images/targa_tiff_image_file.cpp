// Targa files (read through FreeImage, written here as uncompressed 24-bit) and TIFF files (read
// through FreeImage, never written).
#include "images/byte_reader.h"
#include "images/image_codecs.h"

namespace vx {

namespace {
std::optional<DecodedImage> DecodeTarga(std::span<const uint8_t> file) {
  return DecodeWithFreeImage(LibraryFormat::Targa, file);
}
std::optional<DecodedImage> DecodeTiff(std::span<const uint8_t> file) {
  return DecodeWithFreeImage(LibraryFormat::Tiff, file);
}
}  // namespace

std::vector<uint8_t> EncodeTarga(const DecodedImage& image) {
  if (image.width > 0xFFFF || image.height > 0xFFFF) return {};
  std::vector<uint8_t> file(18 + size_t(image.width) * image.height * 3, 0);
  file[2] = 2;
  PutU16LE(&file[12], image.width);
  PutU16LE(&file[14], image.height);
  file[16] = 24;
  PutBgrRowsBottomUp(image, file.data() + 18, size_t(image.width) * 3);
  return file;
}

win::IDirectDrawSurface7* TargaImageFile::Load(const std::string& fileName) {
  const LibraryMessageNote note(fileName);
  return LoadThroughDecoder(*this, fileName, DecodeTarga, true);
}

int32_t TargaImageFile::Save(win::IDirectDrawSurface7* surface, const std::string& fileName) {
  const std::optional<DecodedImage> image = ReadSurfaceImage(surface, primarySurface);
  return image && WriteImageFile(fileName, EncodeTarga(*image)) ? 1 : 0;
}

win::IDirectDrawSurface7* TiffImageFile::Load(const std::string& fileName) {
  const LibraryMessageNote note(fileName);
  return LoadThroughDecoder(*this, fileName, DecodeTiff, true);
}

// Read only: nothing is written.
int32_t TiffImageFile::Save(win::IDirectDrawSurface7*, const std::string&) { return 0; }

}  // namespace vx
