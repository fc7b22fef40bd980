// Pictures that programs saved, read back with FreeImage as 0xRRGGBB pixels.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vx::test {

struct Picture {
  uint32_t width = 0, height = 0;
  std::vector<uint32_t> rgb;
  uint32_t At(uint32_t x, uint32_t y) const { return rgb[size_t(y) * width + x]; }
};

bool ReadPng(const std::string& path, Picture* out);

// The display may have fewer than 8 bits a channel; a channel read back is then a little lower.
bool Near(uint32_t actual, uint32_t expected);

}  // namespace vx::test
