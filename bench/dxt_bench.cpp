// DXT block coding: a 256x256 picture of smooth gradients with detail (a texture's worth)
// encoded and decoded in DXT1 and DXT5, reported in pictures a second.
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/ddraw/pixel_format.h"

namespace {

constexpr uint32_t kSide = 256;
constexpr uint32_t kBlocks = (kSide / 4) * (kSide / 4);

// 16 pixels a block, block after block.
std::vector<uint32_t> Picture() {
  std::vector<uint32_t> pixels;
  for (uint32_t block = 0; block < kBlocks; ++block)
    for (uint32_t i = 0; i < 16; ++i) {
      const uint32_t x = block % (kSide / 4) * 4 + i % 4, y = block / (kSide / 4) * 4 + i / 4;
      const uint32_t detail = (x * 7 ^ y * 13) & 15;
      pixels.push_back((x ^ y) << 24 | (x + detail) % 256 << 16 | (y * 3 / 4 + detail) << 8 | (255 - (x + y) / 2));
    }
  return pixels;
}

void Encode(benchmark::State& state, uint32_t fourCC) {
  const std::vector<uint32_t> pixels = Picture();
  std::vector<uint8_t> blocks(kBlocks * 16);
  for (auto _ : state) {
    for (uint32_t b = 0; b < kBlocks; ++b)
      vx::win::EncodeDxtBlock(fourCC, *reinterpret_cast<const uint32_t(*)[16]>(&pixels[b * 16]), &blocks[b * 16]);
    benchmark::DoNotOptimize(blocks.data());
  }
  state.counters["pictures/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void Decode(benchmark::State& state, uint32_t fourCC) {
  const std::vector<uint32_t> pixels = Picture();
  std::vector<uint8_t> blocks(kBlocks * 16);
  for (uint32_t b = 0; b < kBlocks; ++b)
    vx::win::EncodeDxtBlock(fourCC, *reinterpret_cast<const uint32_t(*)[16]>(&pixels[b * 16]), &blocks[b * 16]);
  uint32_t out[16];
  for (auto _ : state) {
    for (uint32_t b = 0; b < kBlocks; ++b) vx::win::DecodeDxtBlock(fourCC, &blocks[b * 16], out);
    benchmark::DoNotOptimize(out);
  }
  state.counters["pictures/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(Encode, dxt1, vx::win::FOURCC_DXT1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, dxt5, vx::win::FOURCC_DXT5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, dxt1, vx::win::FOURCC_DXT1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, dxt5, vx::win::FOURCC_DXT5)->Unit(benchmark::kMillisecond);

}  // namespace
