// DXT block coding. Blocks built by hand decode as the formats define them: four- and
// three-colour DXT1 blocks (transparent black), explicit DXT3 alpha, DXT5 alpha in eight and six
// steps, and DXT2 and DXT4 colour divided by its alpha. Encoding gives back exactly every solid
// colour a block can hold and any other within one level; ramps, and blocks that a block can hold,
// come back closely; DXT1 keeps which pixels are transparent.
#include <algorithm>
#include <cstdlib>

#include "ddraw_test_support.h"

namespace vx::win::testing {
namespace {

struct Block {
  uint8_t bytes[16] = {};
};

// The largest channel difference between two sets of 16 colours (alpha too when asked).
int Worst(const uint32_t (&a)[16], const uint32_t (&b)[16], bool alpha = true) {
  int worst = 0;
  for (int i = 0; i < 16; ++i)
    for (int shift = 0; shift < (alpha ? 32 : 24); shift += 8)
      worst = std::max(worst, std::abs(int(a[i] >> shift & 0xFF) - int(b[i] >> shift & 0xFF)));
  return worst;
}

// Encoded and decoded again; the worst difference.
int RoundTrip(uint32_t fourCC, const uint32_t (&in)[16], uint32_t (&out)[16], bool alpha = true) {
  Block block;
  EncodeDxtBlock(fourCC, in, block.bytes);
  DecodeDxtBlock(fourCC, block.bytes, out);
  return Worst(in, out, alpha);
}

// A colour block: two end colours and the indices of the 16 pixels.
void PutColours(uint8_t* at, uint16_t c0, uint16_t c1, const int (&indices)[16]) {
  at[0] = uint8_t(c0), at[1] = uint8_t(c0 >> 8), at[2] = uint8_t(c1), at[3] = uint8_t(c1 >> 8);
  for (int i = 0; i < 16; ++i) at[4 + i / 4] |= uint8_t(indices[i] << (2 * (i % 4)));
}

constexpr int kEachIndex[16] = {0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3};
constexpr uint16_t kRed = 0xF800, kBlue = 0x001F;

// A small deterministic generator, so that failures repeat.
struct Numbers {
  uint32_t state = 12345;
  uint32_t Next() { return state = state * 1664525u + 1013904223u; }
  uint32_t Below(uint32_t n) { return (Next() >> 8) % n; }
};

TEST(DxtDecodeTest, BlocksDecodeAsTheFormatsDefineThem) {
  uint32_t out[16];
  // DXT1 with the larger end first: four colours, mixed 2:1 and 1:2.
  Block four;
  PutColours(four.bytes, kRed, kBlue, kEachIndex);
  DecodeDxtBlock(FOURCC_DXT1, four.bytes, out);
  EXPECT_EQ(std::vector<uint32_t>(out, out + 4),
            (std::vector<uint32_t>{0xFFFF0000, 0xFF0000FF, 0xFFAA0055, 0xFF5500AA}));
  // The smaller first: three colours, the even mix, and transparent black.
  Block three;
  PutColours(three.bytes, kBlue, kRed, kEachIndex);
  DecodeDxtBlock(FOURCC_DXT1, three.bytes, out);
  EXPECT_EQ(std::vector<uint32_t>(out, out + 4),
            (std::vector<uint32_t>{0xFF0000FF, 0xFFFF0000, 0xFF800080, 0x00000000}));
  Block equal;
  PutColours(equal.bytes, kRed, kRed, kEachIndex);
  DecodeDxtBlock(FOURCC_DXT1, equal.bytes, out);
  EXPECT_EQ(std::vector<uint32_t>(out, out + 4), (std::vector<uint32_t>{0xFFFF0000, 0xFFFF0000, 0xFFFF0000, 0}));

  // DXT3: a 4-bit alpha a pixel, low nibble first; its colour block always has four colours.
  Block explicitAlpha;
  explicitAlpha.bytes[0] = 0xF0, explicitAlpha.bytes[1] = 0x81;
  PutColours(explicitAlpha.bytes + 8, kBlue, kRed, kEachIndex);
  DecodeDxtBlock(FOURCC_DXT3, explicitAlpha.bytes, out);
  EXPECT_EQ(std::vector<uint32_t>(out, out + 4),
            (std::vector<uint32_t>{0x000000FF, 0xFFFF0000, 0x115500AA, 0x88AA0055}));

  // DXT5: eight steps between 200 and 100, or six between 100 and 200 with 0 and 255.
  for (const auto& [a0, a1, expected] :
       {std::tuple(200u, 100u, std::vector<uint32_t>{200, 100, 186, 171, 157, 143, 129, 114}),
        std::tuple(100u, 200u, std::vector<uint32_t>{100, 200, 120, 140, 160, 180, 0, 255})}) {
    Block interpolated;
    interpolated.bytes[0] = uint8_t(a0), interpolated.bytes[1] = uint8_t(a1);
    uint64_t bits = 0;
    for (uint64_t i = 0; i < 16; ++i) bits |= (i % 8) << (3 * i);
    for (int i = 0; i < 6; ++i) interpolated.bytes[2 + i] = uint8_t(bits >> (8 * i));
    PutColours(interpolated.bytes + 8, kRed, kRed, {});
    DecodeDxtBlock(FOURCC_DXT5, interpolated.bytes, out);
    for (size_t i = 0; i < 16; ++i) EXPECT_EQ(out[i] >> 24, expected[i % 8]) << a0 << " " << a1 << " pixel " << i;
  }

  // DXT2 and DXT4 hold colour multiplied by alpha: the same bytes as DXT3 and DXT5 give it divided.
  Block premultiplied;
  premultiplied.bytes[0] = 0x80, premultiplied.bytes[1] = 0xFF,
  premultiplied.bytes[2] = 0x04;  // as DXT3: 0, 136, 255, 255, 68, 0...
  PutColours(premultiplied.bytes + 8, 0x4208, 0x8410, kEachIndex);
  for (const auto& [stored, straight] : {std::pair(FOURCC_DXT3, FOURCC_DXT2), std::pair(FOURCC_DXT5, FOURCC_DXT4)}) {
    uint32_t plain[16];
    DecodeDxtBlock(stored, premultiplied.bytes, plain);
    DecodeDxtBlock(straight, premultiplied.bytes, out);
    for (int i = 0; i < 16; ++i) {
      const uint32_t a = plain[i] >> 24;
      EXPECT_EQ(out[i] >> 24, a);
      for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t expected = a ? std::min(255u, ((plain[i] >> shift & 0xFF) * 255 + a / 2) / a) : 0;
        EXPECT_EQ(out[i] >> shift & 0xFF, expected) << "pixel " << i;
      }
    }
  }
}

TEST(DxtEncodeTest, SolidBlocksComeBackExactlyWhenABlockCanHoldTheirColourElseWithinALevel) {
  uint32_t in[16], out[16];
  const uint32_t formats[] = {FOURCC_DXT1, FOURCC_DXT2, FOURCC_DXT3, FOURCC_DXT4, FOURCC_DXT5};
  // Every end colour (a spread of them, to stay quick) is held exactly.
  for (uint32_t c = 0; c < 65536; c += 97) {
    Block solid;
    PutColours(solid.bytes, uint16_t(c), uint16_t(c), {});
    DecodeDxtBlock(FOURCC_DXT1, solid.bytes, in);
    for (const uint32_t format : formats) ASSERT_EQ(RoundTrip(format, in, out), 0) << std::hex << c;
  }
  // Any colour comes within one level: the ends' mixes reach between the 5:6:5 steps.
  Numbers numbers;
  for (int n = 0; n < 1500; ++n) {
    std::fill(std::begin(in), std::end(in), 0xFF000000u | (numbers.Next() & 0xFFFFFF));
    for (const uint32_t format : formats) ASSERT_LE(RoundTrip(format, in, out), 1) << std::hex << in[0];
  }
  // Alpha: DXT5 holds every value, DXT3 the nearest of 16 steps, DXT1 only whether it is at least
  // half; a transparent DXT1 pixel is black.
  for (uint32_t a = 0; a < 256; ++a) {
    std::fill(std::begin(in), std::end(in), a << 24 | 0x00FF00u);  // a colour blocks hold exactly
    EXPECT_EQ(RoundTrip(FOURCC_DXT5, in, out), 0) << a;
    RoundTrip(FOURCC_DXT3, in, out);
    EXPECT_EQ(out[0] >> 24, (a * 15 + 127) / 255 * 17) << a;
    RoundTrip(FOURCC_DXT1, in, out);
    EXPECT_EQ(out[5], a < 128 ? 0u : 0xFF00FF00u) << a;
  }
}

TEST(DxtEncodeTest, RampsAndBlocksThatABlockCanHoldComeBackClosely) {
  uint32_t in[16], out[16];
  Numbers numbers;
  const uint32_t formats[] = {FOURCC_DXT1, FOURCC_DXT3, FOURCC_DXT5};
  // Four colours on a line across or down the block: what a four-colour block is made for.
  for (int n = 0; n < 600; ++n) {
    int start[3], step[3];
    for (int k = 0; k < 3; ++k) start[k] = 100 + int(numbers.Below(56)), step[k] = int(numbers.Below(61)) - 30;
    const bool across = n % 2 == 0;
    for (int i = 0; i < 16; ++i) {
      const int t = across ? i % 4 : i / 4;
      in[i] = 0xFF000000u | uint32_t(start[0] + step[0] * t) << 16 | uint32_t(start[1] + step[1] * t) << 8 |
              uint32_t(start[2] + step[2] * t);
    }
    for (const uint32_t format : formats) ASSERT_LE(RoundTrip(format, in, out), 6) << n;
  }
  // Blocks that a four-colour block gives are found again, nearly always exactly.
  for (const uint32_t format : formats) {
    int exact = 0, total = 0;
    for (int n = 0; n < 500; ++n) {
      Block source;
      uint16_t c0 = uint16_t(numbers.Next()), c1 = uint16_t(numbers.Next());
      if (c0 == c1) continue;
      int indices[16];
      for (int& index : indices) index = int(numbers.Below(4));
      PutColours(source.bytes, std::max(c0, c1), std::min(c0, c1), indices);
      DecodeDxtBlock(FOURCC_DXT1, source.bytes, in);
      const int worst = RoundTrip(format, in, out);
      total += worst;
      exact += worst == 0;
    }
    EXPECT_GE(exact, 470) << std::hex << format;
    EXPECT_LE(total, 250) << std::hex << format;
  }
  // DXT1 transparency and colour together (three colours, 14 levels apart); DXT5 alpha running
  // across the block in steps of 17 (eight values, 36 apart).
  for (int i = 0; i < 16; ++i) in[i] = (i % 3 == 0 ? 0u : 0xFF000000u) | uint32_t(40 + i * 3) << 16 | 0x8040u;
  RoundTrip(FOURCC_DXT1, in, out);
  for (int i = 0; i < 16; ++i) {
    if (i % 3 == 0) {
      EXPECT_EQ(out[i], 0u) << i;
    } else {
      EXPECT_EQ(out[i] >> 24, 255u) << i;
      for (int shift = 0; shift < 24; shift += 8)
        EXPECT_LE(std::abs(int(out[i] >> shift & 0xFF) - int(in[i] >> shift & 0xFF)), 12) << i;
    }
  }
  for (int i = 0; i < 16; ++i) in[i] = uint32_t(i * 17) << 24 | 0x00FF00u;
  EXPECT_LE(RoundTrip(FOURCC_DXT5, in, out), 18);
  EXPECT_EQ(RoundTrip(FOURCC_DXT3, in, out), 0) << "4-bit steps of 17 are exact";
}

}  // namespace
}  // namespace vx::win::testing
