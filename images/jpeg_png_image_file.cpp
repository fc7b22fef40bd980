// JPEG files through libjpeg (6b interface) and PNG files through libpng, both decoded from and
// encoded into memory. The libraries report damage by jumping back to the function that set the
// jump; those functions keep no C++ objects of their own, so the jump skips no destructor, and
// their callers free what was made. Pictures come out a batch of rows at a time, written by the
// library as 0xAARRGGBB words where it can (grey JPEGs and every PNG colour type included); CMYK
// JPEGs, and the reference way, are packed here pixel by pixel.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jerror.h>
#include <jpeglib.h>
#include <png.h>

#include "images/image_codecs.h"

namespace vx {

namespace {

// --- JPEG ---------------------------------------------------------------------------------------

struct JpegErrors {
  jpeg_error_mgr manager;  // first, so the library's pointer is ours too
  std::jmp_buf jump;
  bool truncated;
  bool allRowsRead;
};

[[noreturn]] void JpegErrorExit(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1); }

// Warnings are not printed. A file that ends before its last row counts as damaged; one that
// only lacks its end marker does not.
void JpegEmitMessage(j_common_ptr info, int level) {
  auto* errors = reinterpret_cast<JpegErrors*>(info->err);
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF && !errors->allRowsRead) errors->truncated = true;
}

void JpegOutputMessage(j_common_ptr) {}

void InitJpegErrors(JpegErrors* errors) {
  jpeg_std_error(&errors->manager);
  errors->manager.error_exit = JpegErrorExit;
  errors->manager.emit_message = JpegEmitMessage;
  errors->manager.output_message = JpegOutputMessage;
  errors->truncated = false;
  errors->allRowsRead = false;
}

uint8_t Scale(uint32_t a, uint32_t b) { return uint8_t(a * b / 255); }

// One row of RGB (3 components) or CMYK (4) samples into 0xAARRGGBB pixels.
void PackJpegRow(const JSAMPLE* in, uint32_t* out, uint32_t width, bool cmyk, bool inverted) {
  const uint32_t components = cmyk ? 4 : 3;
  for (uint32_t x = 0; x < width; ++x, in += components) {
    uint32_t r = in[0], g = in[1], b = in[2];
    if (cmyk) {
      const uint32_t k = inverted ? in[3] : 255u - in[3];
      if (!inverted) r = 255 - r, g = 255 - g, b = 255 - b;
      r = Scale(r, k), g = Scale(g, k), b = Scale(b, k);
    }
    out[x] = 0xFF000000u | r << 16 | g << 8 | b;
  }
}

bool RunJpegDecode(jpeg_decompress_struct* info, JpegErrors* errors, const uint8_t* data, size_t size, ImageRows* rows,
                   PixelPath path) {
  if (setjmp(errors->jump)) return false;
  jpeg_create_decompress(info);
  jpeg_mem_src(info, data, static_cast<unsigned long>(size));
  // Progressive and multi-scan pictures keep every coefficient of the picture in memory; beyond
  // the budget the library fails instead of asking for more.
  info->mem->max_memory_to_use = long(kImageMemoryBudget);
  if (jpeg_read_header(info, TRUE) != JPEG_HEADER_OK) return false;
  const uint32_t width = info->image_width, height = info->image_height;
  if (!rows->Begin(width, height)) return false;
  // What the library writes into the rows: blue, green, red bytes for a target of that order;
  // 0xAARRGGBB words; or RGB or CMYK samples (it has no conversion of CMYK to colour) that are
  // packed here.
  enum class Target { Bgr, Words, Packed } target = Target::Packed;
  const bool cmyk = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
  if (cmyk) {
    info->out_color_space = JCS_CMYK;
  } else if (path == PixelPath::Reference) {
    info->out_color_space = JCS_RGB;
  } else if (rows->Bytes() == ByteOrder::Bgr) {
    info->out_color_space = JCS_EXT_BGR;
    target = Target::Bgr;
  } else {
    info->out_color_space = JCS_EXT_BGRA;
    target = Target::Words;
  }
  jpeg_start_decompress(info);
  const uint32_t components = uint32_t(info->output_components);
  const uint32_t expected = target == Target::Words || cmyk ? 4 : 3;
  if (info->output_width != width || info->output_height != height || components != expected) return false;
  JSAMPARRAY packed = target != Target::Packed
                          ? nullptr
                          : (*info->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(info), JPOOL_IMAGE,
                                                       width * components, ImageRows::kBatchRows);
  // Adobe writes CMYK inverted.
  const bool inverted = info->saw_Adobe_marker;
  while (info->output_scanline < height) {
    const uint32_t first = info->output_scanline;
    const uint32_t wanted = std::min(ImageRows::kBatchRows, height - first);
    JSAMPROW batch[ImageRows::kBatchRows];
    for (uint32_t i = 0; i < wanted; ++i)
      batch[i] = target == Target::Packed ? packed[i] : reinterpret_cast<JSAMPROW>(rows->Row(first + i));
    const uint32_t got = jpeg_read_scanlines(info, batch, wanted);
    if (got == 0 || got > wanted) return false;
    if (target == Target::Packed)
      for (uint32_t i = 0; i < got; ++i) PackJpegRow(packed[i], rows->Row(first + i), width, cmyk, inverted);
    rows->Done(first, got, target == Target::Bgr ? ByteOrder::Bgr : ByteOrder::Other);
  }
  const bool whole = !errors->truncated;
  errors->allRowsRead = true;
  jpeg_finish_decompress(info);
  return whole;
}

bool RunJpegEncode(jpeg_compress_struct* info, JpegErrors* errors, const DecodedImage* image, int quality,
                   unsigned char** out, unsigned long* outSize, uint8_t* row) {
  if (setjmp(errors->jump)) return false;
  jpeg_create_compress(info);
  jpeg_mem_dest(info, out, outSize);
  info->image_width = image->width;
  info->image_height = image->height;
  info->input_components = 3;
  info->in_color_space = JCS_RGB;
  jpeg_set_defaults(info);
  jpeg_set_quality(info, quality, TRUE);
  jpeg_start_compress(info, TRUE);
  for (uint32_t y = 0; y < image->height; ++y) {
    for (uint32_t x = 0; x < image->width; ++x) {
      const uint32_t argb = image->At(x, y);
      row[3 * x] = uint8_t(argb >> 16);
      row[3 * x + 1] = uint8_t(argb >> 8);
      row[3 * x + 2] = uint8_t(argb);
    }
    JSAMPROW rows[1] = {row};
    jpeg_write_scanlines(info, rows, 1);
  }
  jpeg_finish_compress(info);
  return true;
}

// --- PNG ----------------------------------------------------------------------------------------

constexpr png_alloc_size_t kPngChunkBudget = 8u << 20;
constexpr png_uint_32 kPngChunksKept = 256;
// Ancillary chunks that nothing here uses; five bytes each, the name and a NUL.
constexpr png_byte kPngChunksSkipped[] =
    "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0"
    "sBIT\0sCAL\0sPLT\0sRGB\0sTER\0tEXt\0tIME\0zTXt";

struct PngSource {
  const uint8_t* data;
  size_t size;
  size_t at;
};

void PngReadFromBlock(png_structp png, png_bytep out, size_t count) {
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  if (count > source->size - source->at) png_error(png, "file ends early");
  std::memcpy(out, source->data + source->at, count);
  source->at += count;
}

void PngWriteToBlock(png_structp png, png_bytep data, size_t count) {
  auto* sink = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  sink->insert(sink->end(), data, data + count);
}

void PngFlush(png_structp) {}

[[noreturn]] void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarning(png_structp, png_const_charp) {}

bool RunPngDecode(png_structp png, png_infop info, PngSource* source, ImageRows* rows, PixelPath path,
                  std::vector<uint8_t>* whole, std::vector<png_bytep>* rowPointers) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, source, PngReadFromBlock);
  // Ancillary chunks are held in memory whole (and text chunks inflated), so a few bytes that
  // declare a 2 GB chunk would have libpng ask for it: chunks, and the number of them kept, are
  // bounded like the picture.
  png_set_user_limits(png, kLargestImageSide, kLargestImageSide);
  png_set_chunk_malloc_max(png, kPngChunkBudget);
  png_set_chunk_cache_max(png, kPngChunksKept);
  // libpng only warns about an oversized chunk and then reads it whole, so the chunks that the
  // picture does not need (texts, profiles, metadata) are skipped unread.
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kPngChunksSkipped, int(sizeof kPngChunksSkipped / 5));
  png_read_info(png, info);
  const uint32_t width = png_get_image_width(png, info);
  const uint32_t height = png_get_image_height(png, info);
  if (!rows->Begin(width, height)) return false;
  // Everything becomes 8-bit BGR: palettes and low depths expanded, 16 bits cut to their high 8,
  // grey made colour, and alpha (also a transparency chunk's) dropped, as the surfaces keep none.
  // A target of BGR bytes, or of BGR and a zero byte, takes them as they are; 0xAARRGGBB words
  // are BGR with an opaque alpha byte; the reference packs BGR here.
  const bool fast = path == PixelPath::Fast;
  const ByteOrder written = fast ? rows->Bytes() : ByteOrder::Other;
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_strip_alpha(png);
  png_set_bgr(png);
  if (fast && written != ByteOrder::Bgr) png_set_filler(png, written == ByteOrder::Bgr0 ? 0 : 0xFF, PNG_FILLER_AFTER);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const uint32_t channels = fast && written != ByteOrder::Bgr ? 4 : 3;
  const size_t rowBytes = png_get_rowbytes(png, info);
  if (png_get_channels(png, info) != channels || png_get_bit_depth(png, info) != 8 ||
      rowBytes != size_t(width) * channels)
    return false;
  png_bytep batch[ImageRows::kBatchRows];
  if (fast && passes == 1) {
    for (uint32_t first = 0; first < height; first += ImageRows::kBatchRows) {
      const uint32_t count = std::min(ImageRows::kBatchRows, height - first);
      for (uint32_t i = 0; i < count; ++i) batch[i] = reinterpret_cast<png_bytep>(rows->Row(first + i));
      png_read_rows(png, batch, nullptr, count);
      rows->Done(first, count, written);
    }
    png_read_end(png, nullptr);
    return true;
  }
  // An interlaced picture comes together over several passes, so it is read whole first; so is
  // the reference.
  whole->assign(rowBytes * height, 0);
  rowPointers->resize(height);
  for (uint32_t y = 0; y < height; ++y) (*rowPointers)[y] = whole->data() + rowBytes * y;
  png_read_image(png, rowPointers->data());
  png_read_end(png, nullptr);
  for (uint32_t first = 0; first < height; first += ImageRows::kBatchRows) {
    const uint32_t count = std::min(ImageRows::kBatchRows, height - first);
    for (uint32_t y = first; y < first + count; ++y) {
      const uint8_t* in = (*rowPointers)[y];
      uint32_t* out = rows->Row(y);
      if (fast) {
        std::memcpy(out, in, rowBytes);
        continue;
      }
      for (uint32_t x = 0; x < width; ++x, in += 3)
        out[x] = 0xFF000000u | uint32_t(in[2]) << 16 | uint32_t(in[1]) << 8 | in[0];
    }
    rows->Done(first, count, written);
  }
  return true;
}

bool RunPngEncode(png_structp png, png_infop info, const DecodedImage* image, std::vector<uint8_t>* out,
                  std::vector<uint8_t>* rows, std::vector<png_bytep>* rowPointers) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, out, PngWriteToBlock, PngFlush);
  png_set_IHDR(png, info, image->width, image->height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_packing(png);
  png_set_bgr(png);
  const size_t rowBytes = png_get_rowbytes(png, info);
  if (rowBytes < size_t(image->width) * 3) return false;
  rows->assign(rowBytes * image->height, 0);
  rowPointers->resize(image->height);
  for (uint32_t y = 0; y < image->height; ++y) {
    uint8_t* row = rows->data() + rowBytes * y;
    (*rowPointers)[y] = row;
    for (uint32_t x = 0; x < image->width; ++x) {
      const uint32_t argb = image->At(x, y);
      row[3 * x] = uint8_t(argb);
      row[3 * x + 1] = uint8_t(argb >> 8);
      row[3 * x + 2] = uint8_t(argb >> 16);
    }
  }
  png_write_image(png, rowPointers->data());
  png_write_end(png, info);
  return true;
}

}  // namespace

bool DecodeJpegRows(std::span<const uint8_t> file, ImageRows& rows, PixelPath path) {
  if (file.empty() || file.size() > 0xFFFFFFFFu) return false;
  jpeg_decompress_struct info{};
  JpegErrors errors{};
  InitJpegErrors(&errors);
  info.err = &errors.manager;
  const bool decoded = RunJpegDecode(&info, &errors, file.data(), file.size(), &rows, path);
  jpeg_destroy_decompress(&info);
  return decoded;
}

std::optional<DecodedImage> DecodeJpeg(std::span<const uint8_t> file, PixelPath path) {
  DecodedImage image;
  DecodedImageRows rows(image);
  if (!DecodeJpegRows(file, rows, path)) return std::nullopt;
  return image;
}

std::optional<std::vector<uint8_t>> EncodeJpeg(const DecodedImage& image, int quality) {
  if (image.width == 0 || image.height == 0) return std::nullopt;
  jpeg_compress_struct info{};
  JpegErrors errors{};
  InitJpegErrors(&errors);
  info.err = &errors.manager;
  std::vector<uint8_t> row((size_t(image.width) * 3 + 3) & ~size_t(3));
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  const bool encoded = RunJpegEncode(&info, &errors, &image, quality, &out, &outSize, row.data());
  jpeg_destroy_compress(&info);
  std::optional<std::vector<uint8_t>> bytes;
  if (encoded && out) bytes.emplace(out, out + outSize);
  std::free(out);
  return bytes;
}

bool DecodePngRows(std::span<const uint8_t> file, ImageRows& rows, PixelPath path) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  PngSource source{file.data(), file.size(), 0};
  std::vector<uint8_t> whole;
  std::vector<png_bytep> rowPointers;
  const bool decoded = RunPngDecode(png, info, &source, &rows, path, &whole, &rowPointers);
  png_destroy_read_struct(&png, &info, nullptr);
  return decoded;
}

std::optional<DecodedImage> DecodePng(std::span<const uint8_t> file, PixelPath path) {
  DecodedImage image;
  DecodedImageRows rows(image);
  if (!DecodePngRows(file, rows, path)) return std::nullopt;
  return image;
}

std::optional<std::vector<uint8_t>> EncodePng(const DecodedImage& image) {
  if (image.width == 0 || image.height == 0) return std::nullopt;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  if (!png) return std::nullopt;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return std::nullopt;
  }
  std::vector<uint8_t> out;
  std::vector<uint8_t> rows;
  std::vector<png_bytep> rowPointers;
  const bool encoded = RunPngEncode(png, info, &image, &out, &rows, &rowPointers);
  png_destroy_write_struct(&png, &info);
  if (!encoded) return std::nullopt;
  return out;
}

win::IDirectDrawSurface7* JpegImageFile::Load(const std::string& fileName) {
  return LoadThroughRows(*this, fileName, DecodeJpegRows, false);
}

int32_t JpegImageFile::Save(win::IDirectDrawSurface7* surface, const std::string& fileName) {
  const std::optional<DecodedImage> image = ReadSurfaceImage(surface, primarySurface);
  if (!image) return 0;
  const std::optional<std::vector<uint8_t>> bytes = EncodeJpeg(*image, 100);
  return bytes && WriteImageFile(fileName, *bytes) ? 1 : 0;
}

win::IDirectDrawSurface7* PngImageFile::Load(const std::string& fileName) {
  return LoadThroughRows(*this, fileName, DecodePngRows, false);
}

int32_t PngImageFile::Save(win::IDirectDrawSurface7* surface, const std::string& fileName) {
  const std::optional<DecodedImage> image = ReadSurfaceImage(surface, primarySurface);
  if (!image) return 0;
  const std::optional<std::vector<uint8_t>> bytes = EncodePng(*image);
  return bytes && WriteImageFile(fileName, *bytes) ? 1 : 0;
}

}  // namespace vx
