// Bounded reading of file bytes for the image readers: every read past the end reads zero and
// marks the reader failed, so a decoder checks once instead of at every field.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

namespace vx {

class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes, size_t at = 0) : bytes_(bytes), at_(at) {
    if (at > bytes.size()) failed_ = true;
  }
  uint8_t U8() { return Has(1) ? bytes_[at_++] : Fail(); }
  uint16_t U16LE() {
    if (!Has(2)) return Fail();
    const uint32_t low = Take();
    return uint16_t(low | Take() << 8);
  }
  uint32_t U32LE() {
    if (!Has(4)) return Fail();
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= uint32_t(Take()) << (8 * i);
    return value;
  }
  uint16_t U16BE() {
    if (!Has(2)) return Fail();
    const uint32_t high = Take();
    return uint16_t(high << 8 | Take());
  }
  uint32_t U32BE() {
    if (!Has(4)) return Fail();
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | Take();
    return value;
  }
  void Skip(uint64_t count) {
    if (count > Remaining()) {
      failed_ = true;
      at_ = bytes_.size();
    } else {
      at_ += size_t(count);
    }
  }
  size_t Remaining() const { return bytes_.size() - at_; }
  size_t Position() const { return at_; }
  bool Failed() const { return failed_; }
  bool AtEnd() const { return at_ >= bytes_.size(); }

 private:
  bool Has(size_t count) {
    if (count <= Remaining()) return true;
    failed_ = true;
    at_ = bytes_.size();
    return false;
  }
  uint32_t Take() { return bytes_[at_++]; }
  uint8_t Fail() {
    failed_ = true;
    return 0;
  }

  std::span<const uint8_t> bytes_;
  size_t at_ = 0;
  bool failed_ = false;
};

inline uint16_t ReadU16LE(std::span<const uint8_t> b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }
inline uint32_t ReadU32LE(std::span<const uint8_t> b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
inline void PutU16LE(uint8_t* at, uint32_t value) {
  at[0] = uint8_t(value);
  at[1] = uint8_t(value >> 8);
}
inline void PutU32LE(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = uint8_t(value >> (8 * i));
}

}  // namespace vx
