// DXT1 to DXT5 block coding, decoded exactly as the formats define their blocks. A colour block
// holds two 5:6:5 end colours and a 2-bit index a pixel: a DXT1 block whose first end colour is the
// larger has four colours (the ends and their 2:1 and 1:2 mixes), any other DXT1 block three (the
// ends and their even mix) and transparent black; the colour blocks of DXT2 to DXT5 always have
// four. DXT2 and DXT3 add a 4-bit alpha a pixel; DXT4 and DXT5 two 8-bit end alphas and a 3-bit
// index a pixel, with eight steps between them when the first is the larger, else six with 0 and
// 255 besides.
//
// The encoder is a range fit: the end colours start at the extremes of the block's colours along
// their principal axis and are then bettered by least squares on the indices they gave. A block of
// one colour takes the pair of end colours whose mix comes nearest to it (within one level).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "platform/ddraw/pixel_format.h"

namespace vx::win {

namespace {

uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return (a << 24) | (r << 16) | (g << 8) | b; }

// Channels widen to 8 bits and narrow back rounded to the nearest, as every format conversion does.
uint32_t WidenBits(uint32_t bits, uint32_t value) {
  const uint32_t max = (1u << bits) - 1;
  return (value * 255 + max / 2) / max;
}
uint32_t NarrowBits(uint32_t bits, uint32_t value8) {
  const uint32_t max = (1u << bits) - 1;
  return (value8 * max + 127) / 255;
}

// wa parts of a and wb parts of b, rounded to the nearest.
uint32_t MixValue(uint32_t a, uint32_t b, uint32_t wa, uint32_t wb) {
  const uint32_t sum = wa + wb;
  return (a * wa + b * wb + sum / 2) / sum;
}

uint16_t Load16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }
void Store16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

bool Premultiplied(uint32_t fourCC) { return fourCC == FOURCC_DXT2 || fourCC == FOURCC_DXT4; }
bool ExplicitAlpha(uint32_t fourCC) { return fourCC == FOURCC_DXT2 || fourCC == FOURCC_DXT3; }

// --- Colour blocks --------------------------------------------------------------------------------

struct Rgb {
  int r = 0, g = 0, b = 0;
};

int Distance(const Rgb& a, const Rgb& b) {
  const int dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
  return dr * dr + dg * dg + db * db;
}

Rgb Expand565(uint32_t c) {
  return {int(WidenBits(5, c >> 11)), int(WidenBits(6, (c >> 5) & 0x3F)), int(WidenBits(5, c & 0x1F))};
}

uint16_t Pack565(int r, int g, int b) {
  const auto narrow = [](uint32_t bits, int v) { return NarrowBits(bits, uint32_t(std::clamp(v, 0, 255))); };
  return uint16_t(narrow(5, r) << 11 | narrow(6, g) << 5 | narrow(5, b));
}

Rgb MixRgb(const Rgb& a, const Rgb& b, uint32_t wa, uint32_t wb) {
  return {int(MixValue(uint32_t(a.r), uint32_t(b.r), wa, wb)), int(MixValue(uint32_t(a.g), uint32_t(b.g), wa, wb)),
          int(MixValue(uint32_t(a.b), uint32_t(b.b), wa, wb))};
}

// The colours a block's end colours give; index 3 of a three-colour block is transparent black.
struct ColourPalette {
  Rgb colour[4];
  bool threeColour = false;
};

ColourPalette PaletteOf(uint16_t c0, uint16_t c1, bool alwaysFour) {
  const Rgb a = Expand565(c0), b = Expand565(c1);
  if (alwaysFour || c0 > c1) return {{a, b, MixRgb(a, b, 2, 1), MixRgb(a, b, 1, 2)}, false};
  return {{a, b, MixRgb(a, b, 1, 1), Rgb{}}, true};
}

void DecodeColours(const uint8_t* block, bool alwaysFour, uint32_t (&argb)[16]) {
  const ColourPalette palette = PaletteOf(Load16(block), Load16(block + 2), alwaysFour);
  uint32_t colours[4];
  for (int k = 0; k < 4; ++k) {
    const Rgb& c = palette.colour[k];
    colours[k] = Argb(255, uint32_t(c.r), uint32_t(c.g), uint32_t(c.b));
  }
  if (palette.threeColour) colours[3] = 0;
  for (int i = 0; i < 16; ++i) argb[i] = colours[(block[4 + i / 4] >> (2 * (i % 4))) & 3];
}

// What a colour block is fitted to. Ignored pixels do not count; in DXT1 they are the transparent
// ones, which only a three-colour block can give.
struct ColourTask {
  Rgb colour[16];
  bool ignored[16] = {};
  bool dxt1 = false;
  bool anyTransparent = false;  // DXT1 with ignored pixels: three colours only
};

struct ColourFit {
  uint16_t c0 = 0;
  uint16_t c1 = 0;
  uint32_t indices = 0;
  int64_t error = std::numeric_limits<int64_t>::max();
};

// The block of end colours a and b in the order the wanted mode needs, each counted pixel given the
// nearest colour. Equal ends give one colour, taken by index 0 in every mode.
ColourFit FitIndices(const ColourTask& task, uint16_t a, uint16_t b, bool threeColour) {
  ColourFit fit;
  fit.c0 = threeColour ? std::min(a, b) : std::max(a, b);
  fit.c1 = threeColour ? std::max(a, b) : std::min(a, b);
  const ColourPalette palette = PaletteOf(fit.c0, fit.c1, !task.dxt1);
  const int usable = fit.c0 == fit.c1 ? 1 : (palette.threeColour ? 3 : 4);
  fit.error = 0;
  for (int i = 0; i < 16; ++i) {
    uint32_t best = 0;
    if (task.ignored[i]) {
      if (task.dxt1) best = 3;
    } else {
      int bestDistance = Distance(task.colour[i], palette.colour[0]);
      for (int k = 1; k < usable; ++k) {
        const int d = Distance(task.colour[i], palette.colour[k]);
        if (d < bestDistance) bestDistance = d, best = uint32_t(k);
      }
      fit.error += bestDistance;
    }
    fit.indices |= best << (2 * i);
  }
  return fit;
}

// The extremes of the counted colours along their principal axis; false when they are all one.
bool PrincipalExtremes(const ColourTask& task, Rgb* low, Rgb* high) {
  float mean[3] = {0, 0, 0};
  int count = 0;
  for (int i = 0; i < 16; ++i) {
    if (task.ignored[i]) continue;
    mean[0] += float(task.colour[i].r), mean[1] += float(task.colour[i].g), mean[2] += float(task.colour[i].b);
    ++count;
  }
  if (count == 0) return false;
  for (float& m : mean) m /= float(count);
  float cov[3][3] = {};
  for (int i = 0; i < 16; ++i) {
    if (task.ignored[i]) continue;
    const float d[3] = {float(task.colour[i].r) - mean[0], float(task.colour[i].g) - mean[1],
                        float(task.colour[i].b) - mean[2]};
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) cov[j][k] += d[j] * d[k];
  }
  // Power iteration from the row of the widest channel.
  int widest = 0;
  for (int k = 1; k < 3; ++k)
    if (cov[k][k] > cov[widest][widest]) widest = k;
  if (cov[widest][widest] <= 0) return false;
  float axis[3] = {cov[widest][0], cov[widest][1], cov[widest][2]};
  for (int step = 0; step < 8; ++step) {
    float next[3];
    for (int j = 0; j < 3; ++j) next[j] = cov[j][0] * axis[0] + cov[j][1] * axis[1] + cov[j][2] * axis[2];
    const float largest = std::max({std::abs(next[0]), std::abs(next[1]), std::abs(next[2])});
    if (largest <= 0) break;
    for (int j = 0; j < 3; ++j) axis[j] = next[j] / largest;
  }
  const float length2 = axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2];
  if (length2 <= 0) return false;
  float lowT = std::numeric_limits<float>::max(), highT = std::numeric_limits<float>::lowest();
  for (int i = 0; i < 16; ++i) {
    if (task.ignored[i]) continue;
    const float t = ((float(task.colour[i].r) - mean[0]) * axis[0] + (float(task.colour[i].g) - mean[1]) * axis[1] +
                     (float(task.colour[i].b) - mean[2]) * axis[2]) /
                    length2;
    lowT = std::min(lowT, t), highT = std::max(highT, t);
  }
  const auto at = [&](float t) {
    const auto channel = [&](int k) { return int(std::clamp(mean[k] + axis[k] * t + 0.5f, 0.0f, 255.0f)); };
    return Rgb{channel(0), channel(1), channel(2)};
  };
  *low = at(lowT);
  *high = at(highT);
  return true;
}

// End colours that fit the colours best, in the least-squares sense, for the indices of `fit`:
// each counted pixel as w parts of the first end and 1 - w of the second.
bool LeastSquaresEnds(const ColourTask& task, const ColourFit& fit, bool threeColour, uint16_t* a, uint16_t* b) {
  static constexpr float kFourWeights[4] = {1.0f, 0.0f, 2.0f / 3.0f, 1.0f / 3.0f};
  static constexpr float kThreeWeights[4] = {1.0f, 0.0f, 0.5f, 0.0f};
  const float* weights = threeColour ? kThreeWeights : kFourWeights;
  float aa = 0, bb = 0, ab = 0, ax[3] = {0, 0, 0}, bx[3] = {0, 0, 0};
  for (int i = 0; i < 16; ++i) {
    if (task.ignored[i]) continue;
    const float w = weights[(fit.indices >> (2 * i)) & 3], v = 1.0f - w;
    const float x[3] = {float(task.colour[i].r), float(task.colour[i].g), float(task.colour[i].b)};
    aa += w * w, bb += v * v, ab += w * v;
    for (int k = 0; k < 3; ++k) ax[k] += w * x[k], bx[k] += v * x[k];
  }
  const float det = aa * bb - ab * ab;
  if (det < 1e-3f) return false;
  int first[3], second[3];
  for (int k = 0; k < 3; ++k) {
    first[k] = int(std::clamp((ax[k] * bb - bx[k] * ab) / det + 0.5f, 0.0f, 255.0f));
    second[k] = int(std::clamp((bx[k] * aa - ax[k] * ab) / det + 0.5f, 0.0f, 255.0f));
  }
  *a = Pack565(first[0], first[1], first[2]);
  *b = Pack565(second[0], second[1], second[2]);
  return true;
}

// For every 8-bit value, the 5- or 6-bit ends whose mix with the weights comes nearest; of equally
// near pairs the closest ends, so that a decoder rounding its mixes otherwise lands near too.
struct EndPair {
  uint8_t first = 0, second = 0;
};

struct SingleColourTable {
  EndPair pairs[2][256];  // 5 bits, 6 bits
  SingleColourTable(uint32_t weightFirst, uint32_t weightSecond) {
    for (int which = 0; which < 2; ++which) {
      const uint32_t bits = which == 0 ? 5 : 6, top = (1u << bits) - 1;
      for (uint32_t value = 0; value < 256; ++value) {
        int bestError = 1 << 30, bestSpread = 1 << 30;
        for (uint32_t a = 0; a <= top; ++a)
          for (uint32_t b = 0; b <= top; ++b) {
            const int wa = int(WidenBits(bits, a)), wb = int(WidenBits(bits, b));
            const int error =
                std::abs(int(MixValue(uint32_t(wa), uint32_t(wb), weightFirst, weightSecond)) - int(value));
            const int spread = std::abs(wa - wb);
            if (error < bestError || (error == bestError && spread < bestSpread)) {
              bestError = error, bestSpread = spread;
              pairs[which][value] = {uint8_t(a), uint8_t(b)};
            }
          }
      }
    }
  }
  void Ends(const Rgb& c, uint16_t* a, uint16_t* b) const {
    const EndPair& r = pairs[0][c.r];
    const EndPair& g = pairs[1][c.g];
    const EndPair& bl = pairs[0][c.b];
    *a = uint16_t(r.first << 11 | g.first << 5 | bl.first);
    *b = uint16_t(r.second << 11 | g.second << 5 | bl.second);
  }
};

const SingleColourTable& TwoToOneTable() {
  static const SingleColourTable table(2, 1);
  return table;
}
const SingleColourTable& EvenTable() {
  static const SingleColourTable table(1, 1);
  return table;
}

void EncodeColours(const ColourTask& task, uint8_t* out) {
  ColourFit best;
  const auto consider = [&](uint16_t a, uint16_t b, bool threeColour) {
    const ColourFit fit = FitIndices(task, a, b, threeColour);
    if (fit.error < best.error) best = fit;
    return fit;
  };
  // Which modes a block may take: four colours unless DXT1 transparency needs three; DXT1 may
  // also take three colours for a block without transparency when that fits better.
  const bool fourAllowed = !task.anyTransparent;
  const bool threeAllowed = task.dxt1;

  int first = -1;
  bool oneColour = true;
  for (int i = 0; i < 16; ++i) {
    if (task.ignored[i]) continue;
    if (first < 0) {
      first = i;
    } else if (Distance(task.colour[i], task.colour[first]) != 0) {
      oneColour = false;
    }
  }
  Rgb low, high;
  if (first < 0) {
    consider(0, 0, task.dxt1);
  } else if (oneColour || !PrincipalExtremes(task, &low, &high)) {
    uint16_t a, b;
    if (fourAllowed) {
      TwoToOneTable().Ends(task.colour[first], &a, &b);
      consider(a, b, false);
    }
    if (threeAllowed) {
      EvenTable().Ends(task.colour[first], &a, &b);
      consider(a, b, true);
    }
  } else {
    for (const bool threeColour : {false, true}) {
      if (threeColour ? !threeAllowed : !fourAllowed) continue;
      ColourFit fit = consider(Pack565(low.r, low.g, low.b), Pack565(high.r, high.g, high.b), threeColour);
      for (int round = 0; round < 3; ++round) {
        uint16_t a, b;
        if (!LeastSquaresEnds(task, fit, threeColour, &a, &b)) break;
        const ColourFit better = consider(a, b, threeColour);
        if (better.error >= fit.error) break;
        fit = better;
      }
    }
  }
  Store16(out, best.c0);
  Store16(out + 2, best.c1);
  for (int i = 0; i < 4; ++i) out[4 + i] = uint8_t(best.indices >> (8 * i));
}

// --- Alpha blocks ---------------------------------------------------------------------------------

std::array<uint32_t, 8> AlphaPalette(uint32_t a0, uint32_t a1) {
  std::array<uint32_t, 8> values{a0, a1, 0, 0, 0, 0, 0, 0};
  if (a0 > a1) {
    for (uint32_t i = 2; i < 8; ++i) values[i] = MixValue(a0, a1, 8 - i, i - 1);
  } else {
    for (uint32_t i = 2; i < 6; ++i) values[i] = MixValue(a0, a1, 6 - i, i - 1);
    values[6] = 0;
    values[7] = 255;
  }
  return values;
}

void DecodeInterpolatedAlpha(const uint8_t* block, uint32_t (&alpha)[16]) {
  const auto values = AlphaPalette(block[0], block[1]);
  uint64_t bits = 0;
  for (int i = 0; i < 6; ++i) bits |= uint64_t{block[2 + i]} << (8 * i);
  for (int i = 0; i < 16; ++i) alpha[i] = values[(bits >> (3 * i)) & 7];
}

struct AlphaFit {
  uint32_t a0 = 0, a1 = 0;
  uint64_t bits = 0;
  int64_t error = 0;
};

AlphaFit FitAlpha(const uint32_t (&alpha)[16], uint32_t a0, uint32_t a1) {
  AlphaFit fit{a0, a1, 0, 0};
  const auto values = AlphaPalette(a0, a1);
  for (int i = 0; i < 16; ++i) {
    uint64_t best = 0;
    int bestDistance = 1 << 30;
    for (uint64_t k = 0; k < 8; ++k) {
      const int d = std::abs(int(alpha[i]) - int(values[k]));
      if (d < bestDistance) bestDistance = d, best = k;
    }
    fit.error += int64_t(bestDistance) * bestDistance;
    fit.bits |= best << (3 * i);
  }
  return fit;
}

// Six steps between the values other than 0 and 255 (which the six-step mode holds exactly), or
// eight between the lowest and the highest, whichever fits better.
void EncodeInterpolatedAlpha(const uint32_t (&alpha)[16], uint8_t* block) {
  uint32_t low = 255, high = 0, innerLow = 255, innerHigh = 0;
  for (const uint32_t a : alpha) {
    low = std::min(low, a), high = std::max(high, a);
    if (a != 0 && a != 255) innerLow = std::min(innerLow, a), innerHigh = std::max(innerHigh, a);
  }
  AlphaFit best = innerLow <= innerHigh ? FitAlpha(alpha, innerLow, innerHigh) : FitAlpha(alpha, 0, 0);
  if (high > low) {
    const AlphaFit eight = FitAlpha(alpha, high, low);
    if (eight.error < best.error) best = eight;
  }
  block[0] = uint8_t(best.a0);
  block[1] = uint8_t(best.a1);
  for (int i = 0; i < 6; ++i) block[2 + i] = uint8_t(best.bits >> (8 * i));
}

}  // namespace

void DecodeDxtBlock(uint32_t fourCC, const uint8_t* block, uint32_t (&argb)[16]) {
  if (fourCC == FOURCC_DXT1) {
    DecodeColours(block, false, argb);
    return;
  }
  DecodeColours(block + 8, true, argb);
  uint32_t alpha[16];
  if (ExplicitAlpha(fourCC)) {
    for (int i = 0; i < 16; ++i) alpha[i] = ((block[i / 2] >> (4 * (i % 2))) & 0xF) * 17;
  } else {
    DecodeInterpolatedAlpha(block, alpha);
  }
  const bool premultiplied = Premultiplied(fourCC);
  for (int i = 0; i < 16; ++i) {
    uint32_t c = argb[i] & 0x00FFFFFFu;
    if (premultiplied) {
      const uint32_t a = alpha[i];
      const auto straight = [a](uint32_t v) { return a ? std::min<uint32_t>(255, (v * 255 + a / 2) / a) : 0; };
      c = Argb(0, straight((c >> 16) & 0xFF), straight((c >> 8) & 0xFF), straight(c & 0xFF));
    }
    argb[i] = c | (alpha[i] << 24);
  }
}

void EncodeDxtBlock(uint32_t fourCC, const uint32_t (&argb)[16], uint8_t* block) {
  ColourTask task;
  for (int i = 0; i < 16; ++i)
    task.colour[i] = {int((argb[i] >> 16) & 0xFF), int((argb[i] >> 8) & 0xFF), int(argb[i] & 0xFF)};
  if (fourCC == FOURCC_DXT1) {
    task.dxt1 = true;
    for (int i = 0; i < 16; ++i) {
      task.ignored[i] = (argb[i] >> 24) < 128;
      task.anyTransparent = task.anyTransparent || task.ignored[i];
    }
    EncodeColours(task, block);
    return;
  }
  // The alpha as the block will give it back, so that premultiplied colour matches what decodes.
  uint32_t alpha[16];
  for (int i = 0; i < 16; ++i) alpha[i] = argb[i] >> 24;
  if (ExplicitAlpha(fourCC)) {
    for (int i = 0; i < 8; ++i) block[i] = uint8_t(NarrowBits(4, alpha[2 * i]) | NarrowBits(4, alpha[2 * i + 1]) << 4);
    for (uint32_t& a : alpha) a = NarrowBits(4, a) * 17;
  } else {
    EncodeInterpolatedAlpha(alpha, block);
    DecodeInterpolatedAlpha(block, alpha);
  }
  if (Premultiplied(fourCC)) {
    for (int i = 0; i < 16; ++i) {
      const int a = int(alpha[i]);
      task.ignored[i] = a == 0;  // its colour is gone: any will do
      Rgb& c = task.colour[i];
      c = {(c.r * a + 127) / 255, (c.g * a + 127) / 255, (c.b * a + 127) / 255};
    }
  }
  EncodeColours(task, block + 8);
}

uint64_t DxtSurfaceBytes(uint32_t fourCC, uint32_t width, uint32_t height) {
  const uint64_t blocksWide = std::max<uint64_t>(1, (uint64_t{width} + 3) / 4);
  const uint64_t blocksHigh = std::max<uint64_t>(1, (uint64_t{height} + 3) / 4);
  return blocksWide * blocksHigh * (fourCC == FOURCC_DXT1 ? 8 : 16);
}

}  // namespace vx::win
