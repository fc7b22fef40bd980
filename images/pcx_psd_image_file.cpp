// PCX and Photoshop files, read by the system's own code (their writers write nothing). PCX: one,
// two, four and eight bits in one plane, 16 colours in two to four planes of one bit (any width,
// also 1 to 8 pixels), and 24-bit colour in three planes (a fourth plane is skipped). Photoshop:
// 8-bit RGB, raw or PackBits, up to four channels. Runs and sizes are checked against the lines
// and the file, so a damaged file gives no image.
#include "images/byte_reader.h"
#include "images/image_codecs.h"

namespace vx {

namespace {

// The table that three-plane (8-colour) PCX files get in place of a palette.
constexpr uint8_t kEightPlaneTable[16][3] = {
    {0x00, 0x00, 0x0E}, {0x00, 0x52, 0x07}, {0x2C, 0x00, 0x0E}, {0x00, 0x00, 0x00},
    {0xF8, 0x01, 0x2C}, {0x00, 0x85, 0x0F}, {0x42, 0x00, 0x00}, {0x21, 0x00, 0x00},
    {0x00, 0x00, 0x6A}, {0x24, 0x9B, 0x49}, {0xA1, 0x5E, 0x90}, {0x5E, 0x18, 0x5E},
    {0x84, 0x14, 0xD9}, {0x95, 0xA0, 0x14}, {0x12, 0x00, 0x06}, {0x00, 0x68, 0x1F}};

uint32_t Rgb(const uint8_t* rgb) { return 0xFF000000u | uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2]; }

bool PcxLayoutSupported(uint32_t bits, uint32_t planes) {
  if (planes == 1) return bits == 1 || bits == 2 || bits == 4 || bits == 8;
  if (bits == 1) return planes >= 2 && planes <= 4;
  return bits == 8 && (planes == 3 || planes == 4);
}

}  // namespace

std::optional<DecodedImage> DecodePcx(std::span<const uint8_t> file) {
  if (file.size() < 128 || file[0] != 10) return std::nullopt;
  const uint32_t bits = file[3];
  const uint32_t xMin = ReadU16LE(file, 4), yMin = ReadU16LE(file, 6);
  const uint32_t xMax = ReadU16LE(file, 8), yMax = ReadU16LE(file, 10);
  const uint32_t planes = file[65];
  const uint32_t lineBytes = ReadU16LE(file, 66);
  if (xMax < xMin || yMax < yMin || !PcxLayoutSupported(bits, planes)) return std::nullopt;
  const uint32_t width = xMax - xMin + 1, height = yMax - yMin + 1;
  if (uint64_t(lineBytes) * 8 < uint64_t(width) * bits) return std::nullopt;  // a plane's line must hold the row
  const size_t scanBytes = size_t(lineBytes) * planes;
  // Two bytes of runs give at most 63 bytes of lines.
  if ((file.size() - 128) / 2 * 63 + 63 < uint64_t(scanBytes) * height) return std::nullopt;
  DecodedImage image;
  if (!image.Allocate(width, height)) return std::nullopt;

  uint32_t palette[256];
  for (uint32_t& colour : palette) colour = 0xFF000000u;
  switch (bits * planes) {
    case 1: palette[1] = 0xFFFFFFFFu; break;
    case 2:
    case 4:
      for (int i = 0; i < 16; ++i) palette[i] = Rgb(&file[16 + 3 * i]);
      break;
    case 3:
      for (int i = 0; i < 16; ++i) palette[i] = Rgb(kEightPlaneTable[i]);
      break;
    case 8:
      // Without the marker byte 12 in front of the last 768 bytes the palette stays black.
      if (file.size() >= 128 + 769 && file[file.size() - 769] == 12)
        for (int i = 0; i < 256; ++i) palette[i] = Rgb(&file[file.size() - 768 + 3 * i]);
      break;
  }

  std::vector<uint8_t> line(scanBytes);
  ByteReader in(file, 128);
  uint32_t runLeft = 0;  // a run may carry over into the next line
  uint8_t runValue = 0;
  for (uint32_t y = 0; y < height; ++y) {
    for (size_t at = 0; at < scanBytes;) {
      if (runLeft > 0) {
        line[at++] = runValue;
        --runLeft;
        continue;
      }
      const uint8_t byte = in.U8();
      if ((byte & 0xC0) == 0xC0) {
        runLeft = byte & 0x3F;
        runValue = in.U8();
      } else {
        line[at++] = byte;
      }
      if (in.Failed()) return std::nullopt;
    }
    for (uint32_t x = 0; x < width; ++x) {
      uint32_t argb;
      if (planes == 1) {
        const uint32_t bit = x * bits;
        argb = palette[(line[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1)];
      } else if (bits == 1) {
        uint32_t index = 0;
        for (uint32_t p = 0; p < planes; ++p) index |= ((line[p * lineBytes + x / 8] >> (7 - x % 8)) & 1u) << p;
        argb = palette[index];
      } else {
        argb = 0xFF000000u | uint32_t(line[x]) << 16 | uint32_t(line[lineBytes + x]) << 8 | line[2 * lineBytes + x];
      }
      image.At(x, y) = argb;
    }
  }
  return image;
}

std::optional<DecodedImage> DecodePsd(std::span<const uint8_t> file) {
  ByteReader in(file);
  in.U32BE();  // the signature is not checked
  const uint32_t version = in.U16BE();
  in.Skip(6);
  const uint32_t channels = in.U16BE();
  const uint32_t height = in.U32BE();
  const uint32_t width = in.U32BE();
  const uint32_t depth = in.U16BE();
  const uint32_t mode = in.U16BE();
  for (int section = 0; section < 3; ++section) in.Skip(in.U32BE());  // colour data, resources, layers
  const uint32_t compression = in.U16BE();
  if (in.Failed() || version != 1 || channels > 16 || depth != 8 || mode != 3 || compression > 1) return std::nullopt;
  const uint32_t read = channels < 4 ? channels : 4;
  const uint64_t channelBytes = uint64_t(width) * height;
  if (compression == 1) {
    in.Skip(uint64_t(height) * channels * 2);  // the row byte counts
    // Two bytes of PackBits give at most 128 bytes.
    if (in.Failed() || in.Remaining() / 2 * 128 + 128 < channelBytes * read) return std::nullopt;
  } else if (in.Remaining() < channelBytes * read) {
    return std::nullopt;
  }
  // Only a file that can hold the picture gets memory for it.
  DecodedImage image;
  if (!image.Allocate(width, height)) return std::nullopt;
  static constexpr uint32_t kShift[4] = {16, 8, 0, 24};  // red, green, blue, alpha
  for (uint32_t c = 0; c < read; ++c) {
    const uint32_t shift = kShift[c];
    const uint32_t keep = ~(0xFFu << shift);
    uint32_t* out = image.pixels.data();
    auto put = [&](uint8_t value) { *out = (*out & keep) | uint32_t(value) << shift, ++out; };
    if (compression == 0) {
      for (uint64_t i = 0; i < channelBytes; ++i) put(in.U8());
      continue;
    }
    for (uint64_t done = 0; done < channelBytes;) {
      const uint32_t control = in.U8();
      if (control < 128) {
        if (done + control + 1 > channelBytes) return std::nullopt;
        for (uint32_t i = 0; i <= control; ++i) put(in.U8());
        done += control + 1;
      } else if (control > 128) {
        const uint32_t count = 257 - control;
        if (done + count > channelBytes) return std::nullopt;
        const uint8_t value = in.U8();
        for (uint32_t i = 0; i < count; ++i) put(value);
        done += count;
      }
      if (in.Failed()) return std::nullopt;
    }
  }
  if (in.Failed()) return std::nullopt;
  return image;
}

win::IDirectDrawSurface7* PcxImageFile::Load(const std::string& fileName) {
  return LoadThroughDecoder(*this, fileName, DecodePcx, false);
}
// Read only: nothing is written, and saying so keeps a caller from reporting a saved file.
int32_t PcxImageFile::Save(win::IDirectDrawSurface7*, const std::string&) { return 0; }

win::IDirectDrawSurface7* PsdImageFile::Load(const std::string& fileName) {
  return LoadThroughDecoder(*this, fileName, DecodePsd, false);
}
int32_t PsdImageFile::Save(win::IDirectDrawSurface7*, const std::string&) { return 0; }

}  // namespace vx
