// Little-endian 32-bit words of files, read and written byte by byte.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vx {

inline uint32_t ReadLE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

inline void WriteLE32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

inline void AppendLE32(std::vector<uint8_t>& out, uint32_t v) {
  uint8_t b[4];
  WriteLE32(b, v);
  out.insert(out.end(), b, b + 4);
}

}  // namespace vx
