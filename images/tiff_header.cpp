// The walk over a TIFF's first directory that runs before FreeImage sees the file. FreeImage and
// the TIFF library beneath it allocate what a header declares and assert on layouts they do not
// handle, so only pictures whose size fits the budget and whose sample layout, compression and
// strips or tiles are of the kinds they decode soundly get through, and the copy handed on keeps
// only the tags the picture needs.
#include <algorithm>
#include <array>

#include "images/image_codecs.h"

namespace vx {

namespace {

// Tags of the picture itself; metadata, sub-directories and private tags are dropped.
enum Tag : uint16_t {
  kNewSubfileType = 254,
  kImageWidth = 256,
  kImageLength = 257,
  kBitsPerSample = 258,
  kCompression = 259,
  kPhotometric = 262,
  kFillOrder = 266,
  kStripOffsets = 273,
  kOrientation = 274,
  kSamplesPerPixel = 277,
  kRowsPerStrip = 278,
  kStripByteCounts = 279,
  kXResolution = 282,
  kYResolution = 283,
  kPlanarConfig = 284,
  kT4Options = 292,
  kT6Options = 293,
  kResolutionUnit = 296,
  kPredictor = 317,
  kColorMap = 320,
  kTileWidth = 322,
  kTileLength = 323,
  kTileOffsets = 324,
  kTileByteCounts = 325,
  kExtraSamples = 338,
  kSampleFormat = 339,
  kJpegTables = 347,
  kYCbCrCoefficients = 529,
  kYCbCrSubSampling = 530,
  kYCbCrPositioning = 531,
  kReferenceBlackWhite = 532,
};
constexpr std::array kKeptTags = {
    kNewSubfileType,     kImageWidth,   kImageLength,  kBitsPerSample,     kCompression,      kPhotometric,
    kFillOrder,          kStripOffsets, kOrientation,  kSamplesPerPixel,   kRowsPerStrip,     kStripByteCounts,
    kXResolution,        kYResolution,  kPlanarConfig, kT4Options,         kT6Options,        kResolutionUnit,
    kPredictor,          kColorMap,     kTileWidth,    kTileLength,        kTileOffsets,      kTileByteCounts,
    kExtraSamples,       kSampleFormat, kJpegTables,   kYCbCrCoefficients, kYCbCrSubSampling, kYCbCrPositioning,
    kReferenceBlackWhite};

enum Compression : uint32_t {
  kNone = 1,
  kCcittRle = 2,
  kCcittFax3 = 3,
  kCcittFax4 = 4,
  kLzw = 5,
  kJpeg = 7,
  kDeflate = 8,
  kPackBits = 32773,
  kDeflateOld = 32946,
};
enum Photometric : uint32_t { kWhiteIsZero = 0, kBlackIsZero = 1, kRgb = 2, kPalette = 3, kSeparated = 5, kYCbCr = 6 };

// Directories larger than this are not pictures anyone wrote.
constexpr uint32_t kMostEntries = 512;
// Strips or tiles of one picture; a budget-sized picture of one-row strips stays below it.
constexpr uint64_t kMostChunks = 1u << 20;

struct Entry {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint32_t count = 0;
  size_t valueAt = 0;  // where the values are: inside the entry, or at the offset it gives
  size_t entryAt = 0;
};

class TiffWalk {
 public:
  explicit TiffWalk(std::span<const uint8_t> file) : file_(file) {}

  bool Header() {
    if (file_.size() < 8) return false;
    if (file_[0] == 'I' && file_[1] == 'I')
      big_ = false;
    else if (file_[0] == 'M' && file_[1] == 'M')
      big_ = true;
    else
      return false;
    if (U16(2) != 42) return false;  // BigTIFF (43) is not read
    directoryAt_ = U32(4);
    return directoryAt_ >= 8 && directoryAt_ % 2 == 0 && uint64_t(directoryAt_) + 2 <= file_.size();
  }

  bool Directory() {
    const uint32_t count = U16(directoryAt_);
    if (count == 0 || count > kMostEntries) return false;
    if (uint64_t(directoryAt_) + 2 + 12ull * count + 4 > file_.size()) return false;
    for (uint32_t i = 0; i < count; ++i) {
      const size_t at = directoryAt_ + 2 + 12 * size_t(i);
      Entry entry{uint16_t(U16(at)), uint16_t(U16(at + 2)), U32(at + 4), at + 8, at};
      const uint64_t size = uint64_t(TypeSize(entry.type)) * entry.count;
      if (TypeSize(entry.type) == 0 || entry.count == 0) continue;  // unknown types are dropped
      if (size > 4) {
        entry.valueAt = U32(at + 8);
        if (entry.valueAt + size > file_.size()) return false;
      }
      if (!std::count(kKeptTags.begin(), kKeptTags.end(), entry.tag)) continue;
      for (const Entry& kept : entries_)
        if (kept.tag == entry.tag) return false;
      entries_.push_back(entry);
    }
    return true;
  }

  const Entry* Find(uint16_t tag) const {
    for (const Entry& entry : entries_)
      if (entry.tag == tag) return &entry;
    return nullptr;
  }
  // Value i of an integer tag (byte, short or long); false for other types or past the count.
  bool Value(const Entry& entry, uint32_t i, uint32_t* value) const {
    if (i >= entry.count) return false;
    switch (entry.type) {
      case 1: *value = file_[entry.valueAt + i]; return true;
      case 3: *value = U16(entry.valueAt + 2 * size_t(i)); return true;
      case 4: *value = U32(entry.valueAt + 4 * size_t(i)); return true;
      default: return false;
    }
  }
  // The single value of a tag, or the default when the tag is missing; false when it is present
  // but not one integer.
  bool Single(uint16_t tag, uint32_t fallback, uint32_t* value) const {
    const Entry* entry = Find(tag);
    if (!entry) {
      *value = fallback;
      return true;
    }
    return entry->count == 1 && Value(*entry, 0, value);
  }

  // A tag of one value per sample (or one for all) whose values are all the same; the default when
  // the tag is missing.
  bool SameForEverySample(uint16_t tag, uint32_t samples, uint32_t fallback, uint32_t* value) const {
    const Entry* entry = Find(tag);
    *value = fallback;
    if (!entry) return true;
    if (entry->count != 1 && entry->count != samples) return false;
    for (uint32_t i = 0; i < entry->count; ++i) {
      uint32_t sample = 0;
      if (!Value(*entry, i, &sample) || (i > 0 && sample != *value)) return false;
      *value = sample;
    }
    return true;
  }

  // The file with the first directory rewritten in place to the kept entries and no next one,
  // the planar configuration set to `planar` when the file gives one.
  std::vector<uint8_t> Copy(uint32_t planar) const {
    std::vector<uint8_t> copy(file_.begin(), file_.end());
    Put16(copy, directoryAt_, uint32_t(entries_.size()));
    size_t at = directoryAt_ + 2;
    for (const Entry& entry : entries_) {
      std::copy_n(file_.begin() + ptrdiff_t(entry.entryAt), 12, copy.begin() + ptrdiff_t(at));
      if (entry.tag == kPlanarConfig) PutSingle(copy, at, entry.type, planar);
      at += 12;
    }
    Put16(copy, at, 0);
    Put16(copy, at + 2, 0);
    return copy;
  }

  size_t FileSize() const { return file_.size(); }

 private:
  static uint32_t TypeSize(uint16_t type) {
    switch (type) {
      case 1:
      case 2:
      case 6:
      case 7: return 1;
      case 3:
      case 8: return 2;
      case 4:
      case 9:
      case 11:
      case 13: return 4;
      case 5:
      case 10:
      case 12: return 8;
      default: return 0;
    }
  }
  uint32_t U16(size_t at) const {
    return big_ ? uint32_t(file_[at]) << 8 | file_[at + 1] : uint32_t(file_[at + 1]) << 8 | file_[at];
  }
  uint32_t U32(size_t at) const { return big_ ? U16(at) << 16 | U16(at + 2) : U16(at + 2) << 16 | U16(at); }
  void Put16(std::vector<uint8_t>& out, size_t at, uint32_t value) const {
    out[at + (big_ ? 1 : 0)] = uint8_t(value);
    out[at + (big_ ? 0 : 1)] = uint8_t(value >> 8);
  }

  // The value of a one-value entry at `at`, of a type that holds it inside the entry.
  void PutSingle(std::vector<uint8_t>& out, size_t at, uint16_t type, uint32_t value) const {
    if (type == 1) {
      out[at + 8] = uint8_t(value);
    } else if (type == 3) {
      Put16(out, at + 8, value);
    } else if (type == 4) {
      Put16(out, at + (big_ ? 10 : 8), value);
      Put16(out, at + (big_ ? 8 : 10), 0);
    }
  }

  std::span<const uint8_t> file_;
  bool big_ = false;
  uint32_t directoryAt_ = 0;
  std::vector<Entry> entries_;
};

uint64_t CeilDiv(uint64_t a, uint64_t b) { return (a + b - 1) / b; }

// Offsets and byte counts of `chunks` strips or tiles, each lying inside the file.
bool ChunksInsideFile(const TiffWalk& walk, uint16_t offsetsTag, uint16_t countsTag, uint64_t chunks) {
  const Entry* offsets = walk.Find(offsetsTag);
  const Entry* counts = walk.Find(countsTag);
  if (!offsets || !counts || offsets->count != chunks || counts->count != chunks) return false;
  for (uint32_t i = 0; i < chunks; ++i) {
    uint32_t offset = 0, count = 0;
    if (!walk.Value(*offsets, i, &offset) || !walk.Value(*counts, i, &count)) return false;
    if (uint64_t(offset) + count > walk.FileSize()) return false;
  }
  return true;
}

// Sample layouts that FreeImage decodes: bits per sample by photometric interpretation, samples
// per pixel and sample format.
bool SampleLayoutDecodes(uint32_t photometric, uint32_t samples, uint32_t bits, uint32_t format) {
  const bool integer = format == 1 || (format == 2 && bits == 16);
  const bool floating = format == 3 && bits == 32;
  if (!integer && !floating) return false;
  switch (photometric) {
    case kWhiteIsZero:
    case kBlackIsZero:
      // Grey with alpha is read as such only at 8 bits; at others FreeImage takes the pair of
      // samples for one grey value.
      return (samples == 1 && (bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || floating)) ||
             (samples == 2 && bits == 8 && integer);
    case kRgb: return (samples == 3 || samples == 4) && (bits == 8 || bits == 16 || floating);
    case kPalette: return samples == 1 && format == 1 && (bits == 1 || bits == 2 || bits == 4 || bits == 8);
    case kSeparated: return (samples == 4 || samples == 5) && format == 1 && (bits == 8 || bits == 16);
    case kYCbCr: return samples == 3 && format == 1 && bits == 8;
    default: return false;
  }
}

bool CompressionFits(uint32_t compression, uint32_t photometric, uint32_t samples, uint32_t bits) {
  switch (compression) {
    case kNone:
    case kLzw:
    case kDeflate:
    case kDeflateOld:
    case kPackBits: return photometric != kYCbCr;  // subsampled YCbCr is only read through JPEG
    case kCcittRle:
    case kCcittFax3:
    case kCcittFax4: return bits == 1 && samples == 1 && (photometric == kWhiteIsZero || photometric == kBlackIsZero);
    case kJpeg:
      return bits == 8 && (samples == 1 || samples == 3) && photometric != kPalette && photometric != kSeparated;
    default: return false;
  }
}

}  // namespace

std::optional<std::vector<uint8_t>> CheckedTiffCopy(std::span<const uint8_t> file) {
  TiffWalk walk(file);
  if (!walk.Header() || !walk.Directory()) return std::nullopt;
  uint32_t width = 0, height = 0, samples = 0, compression = 0, photometric = 0, planar = 0, format = 0;
  if (!walk.Single(kImageWidth, 0, &width) || !walk.Single(kImageLength, 0, &height) ||
      !walk.Single(kSamplesPerPixel, 1, &samples) || !walk.Single(kCompression, kNone, &compression) ||
      !walk.Single(kPhotometric, 0xFFFFFFFFu, &photometric) || !walk.Single(kPlanarConfig, 1, &planar))
    return std::nullopt;
  uint32_t bits = 0;
  if (!walk.SameForEverySample(kBitsPerSample, samples, 1, &bits) ||
      !walk.SameForEverySample(kSampleFormat, samples, 1, &format) || (planar != 1 && planar != 2))
    return std::nullopt;
  if (!SampleLayoutDecodes(photometric, samples, bits, format) ||
      !CompressionFits(compression, photometric, samples, bits))
    return std::nullopt;
  const uint64_t bytesPerPixel = CeilDiv(uint64_t(samples) * bits, 8);
  if (!FitsImageBudget(width, height, std::max<uint64_t>(bytesPerPixel, 4))) return std::nullopt;

  if (photometric == kPalette) {
    const Entry* map = walk.Find(kColorMap);
    if (!map || map->type != 3 || map->count != 3u << bits) return std::nullopt;
  }
  if (photometric == kYCbCr) {
    if (const Entry* entry = walk.Find(kYCbCrSubSampling)) {
      uint32_t across = 0, down = 0;
      if (entry->count != 2 || !walk.Value(*entry, 0, &across) || !walk.Value(*entry, 1, &down)) return std::nullopt;
      const auto step = [](uint32_t v) { return v == 1 || v == 2 || v == 4; };
      if (!step(across) || !step(down) || down > across) return std::nullopt;
    }
  }

  // FreeImage copies separate planes sample by sample in whole bytes and asserts on narrower
  // samples; one sample lies the same in either configuration, so it is read as contiguous.
  const bool tiled = walk.Find(kTileWidth) || walk.Find(kTileLength) || walk.Find(kTileOffsets);
  if (planar == 2 && samples > 1 && (bits % 8 != 0 || tiled)) return std::nullopt;
  const uint64_t planes = planar == 2 ? samples : 1;
  // The picture is in strips or in tiles, never both, and each one lies inside the file.
  if (tiled) {
    uint32_t tileWidth = 0, tileLength = 0;
    if (walk.Find(kStripOffsets) || !walk.Single(kTileWidth, 0, &tileWidth) ||
        !walk.Single(kTileLength, 0, &tileLength))
      return std::nullopt;
    // Tiles come in steps of 16 and are no larger than the picture rounded up to that step.
    if (tileWidth == 0 || tileLength == 0 || tileWidth % 16 || tileLength % 16) return std::nullopt;
    if (tileWidth > CeilDiv(width, 16) * 16 || tileLength > CeilDiv(height, 16) * 16) return std::nullopt;
    const uint64_t tiles = CeilDiv(width, tileWidth) * CeilDiv(height, tileLength) * planes;
    if (tiles > kMostChunks || !ChunksInsideFile(walk, kTileOffsets, kTileByteCounts, tiles)) return std::nullopt;
  } else {
    uint32_t rowsPerStrip = 0;
    if (!walk.Single(kRowsPerStrip, height, &rowsPerStrip) || rowsPerStrip == 0) return std::nullopt;
    const uint64_t strips = CeilDiv(height, std::min(rowsPerStrip, height)) * planes;
    if (strips > kMostChunks || !ChunksInsideFile(walk, kStripOffsets, kStripByteCounts, strips)) return std::nullopt;
  }
  return walk.Copy(samples == 1 ? 1 : planar);
}

}  // namespace vx
