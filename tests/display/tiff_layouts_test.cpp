// TIFF sample layouts loaded by programs: a grey picture at every bit depth, in contiguous and in
// separate planes, loads with the same pixels either way or ends the program with the image-load
// error; grey with alpha loads at 8 bits in either and is refused at other depths, which the
// library beneath the reader misreads or asserts on; what the library says about a file goes to
// the engine log.
#include <cstring>

#include "common/host_state.h"
#include "runtime/dispatcher_state.h"
#include "tests/display/frame_runner.h"

namespace vx {
namespace {

// A little-endian TIFF of one directory: 16 by 16 grey pixels of `samples` samples of `bits`
// each, in one strip or in one strip per plane, dark on the left half and white on the right,
// stored as they are whatever the compression says.
std::vector<uint8_t> GreyTiff(uint32_t bits, uint32_t samples, uint32_t planar, uint32_t compression = 1) {
  constexpr uint32_t kSide = 16;
  const uint32_t perChunk = planar == 2 ? 1 : samples;
  const uint32_t chunks = planar == 2 ? samples : 1;
  const uint32_t rowBytes = (kSide * perChunk * bits + 7) / 8;
  std::vector<uint8_t> plane(size_t(rowBytes) * kSide, 0);
  const uint32_t top = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
  for (uint32_t y = 0; y < kSide; ++y)
    for (uint32_t x = 0; x < kSide; ++x)
      for (uint32_t s = 0; s < perChunk; ++s) {
        const uint32_t value = x >= kSide / 2 || s > 0 ? top : 0;  // alpha is opaque
        const uint64_t bit = uint64_t(y) * rowBytes * 8 + (uint64_t(x) * perChunk + s) * bits;
        for (uint32_t b = 0; b < bits; ++b)
          if (value >> (bits - 1 - b) & 1) plane[(bit + b) / 8] |= uint8_t(0x80 >> ((bit + b) % 8));
      }
  struct Field {
    uint16_t tag, type;
    uint32_t count, value;
  };
  constexpr uint32_t kEntries = 10;
  const uint32_t arraysAt = 8 + 2 + 12 * kEntries + 4;
  const uint32_t pixelsAt = arraysAt + 8 * chunks;
  const Field fields[kEntries] = {{256, 3, 1, kSide},
                                  {257, 3, 1, kSide},
                                  {258, 3, 1, bits},
                                  {259, 3, 1, compression},
                                  {262, 3, 1, 1},
                                  {273, 4, chunks, chunks == 1 ? pixelsAt : arraysAt},
                                  {277, 3, 1, samples},
                                  {278, 3, 1, kSide},
                                  {279, 4, chunks, chunks == 1 ? uint32_t(plane.size()) : arraysAt + 4 * chunks},
                                  {284, 3, 1, planar}};
  std::vector<uint8_t> file = {'I', 'I', 42, 0, 8, 0, 0, 0};
  const auto put = [&file](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) file.push_back(uint8_t(value >> (8 * i)));
  };
  put(kEntries, 2);
  for (const Field& f : fields) {
    put(f.tag, 2), put(f.type, 2), put(f.count, 4);
    put(f.value, f.type == 3 ? 2 : 4);
    if (f.type == 3) put(0, 2);
  }
  put(0, 4);
  for (uint32_t i = 0; i < chunks; ++i) put(pixelsAt + i * uint32_t(plane.size()), 4);
  for (uint32_t i = 0; i < chunks; ++i) put(uint32_t(plane.size()), 4);
  for (uint32_t i = 0; i < chunks; ++i) file.insert(file.end(), plane.begin(), plane.end());
  return file;
}

class TiffLayoutTest : public test::FrameWorld {
 protected:
  // The error of a program that loads the file into image 1 and pastes it at the top left.
  std::pair<int32_t, bool> LoadAndPaste(const std::vector<uint8_t>& tiff) {
    test::WriteBytes(dir_.path() + "layout.tif", tiff);
    return ErrorOf("cls rgb(0, 0, 64)\nload image \"layout.tif\", 1\npaste image 1, 0, 0\nrefresh screen\nend\n");
  }
};

TEST_F(TiffLayoutTest, GreyOfEveryDepthLoadsTheSameInContiguousAndSeparatePlanes) {
  for (uint32_t bits : {1u, 2u, 4u, 8u, 16u}) {
    std::pair<int32_t, bool> outcome[2];
    uint32_t pixels[2][2] = {};
    for (uint32_t planar : {1u, 2u}) {
      SCOPED_TRACE(testing::Message() << bits << " bits, planar configuration " << planar);
      outcome[planar - 1] = LoadAndPaste(GreyTiff(bits, 1, planar));
      if (outcome[planar - 1].first == 0) {
        pixels[planar - 1][0] = At(2, 5);
        pixels[planar - 1][1] = At(12, 5);
        EXPECT_EQ(pixels[planar - 1][0], 0x000000u);
        EXPECT_EQ(pixels[planar - 1][1], 0xFFFFFFu);
      } else {
        EXPECT_EQ(outcome[planar - 1], std::pair(int32_t(kErrImageFileNotLoaded), true));
      }
    }
    EXPECT_EQ(outcome[0], outcome[1]) << bits << " bits";
    EXPECT_EQ(std::memcmp(pixels[0], pixels[1], sizeof pixels[0]), 0) << bits << " bits";
  }
  // The depths that programs use most load in both.
  EXPECT_EQ(LoadAndPaste(GreyTiff(1, 1, 2)).first, 0);
  EXPECT_EQ(LoadAndPaste(GreyTiff(4, 1, 2)).first, 0);
  EXPECT_EQ(LoadAndPaste(GreyTiff(8, 1, 2)).first, 0);
}

TEST_F(TiffLayoutTest, GreyWithAlphaLoadsAtEightBitsInEitherConfigurationAndIsRefusedAtOthers) {
  for (uint32_t bits : {1u, 2u, 4u, 8u, 16u}) {
    for (uint32_t planar : {1u, 2u}) {
      SCOPED_TRACE(testing::Message() << bits << " bits, planar configuration " << planar);
      const std::pair<int32_t, bool> outcome = LoadAndPaste(GreyTiff(bits, 2, planar));
      if (bits == 8) {
        ASSERT_EQ(outcome.first, 0);
        EXPECT_EQ(At(2, 5), 0x000000u);
        EXPECT_EQ(At(12, 5), 0xFFFFFFu);
      } else {
        EXPECT_EQ(outcome, std::pair(int32_t(kErrImageFileNotLoaded), true));
      }
    }
  }
}

// The library once wrote its messages on the terminal, also the player's. A strip said to be JPEG
// that is none makes it speak whatever its version.
TEST_F(TiffLayoutTest, TheLibrarysMessagesAboutAFileGoToTheEngineLogAndNotToTheTerminal) {
  test::WriteBytes(dir_.path() + "damaged.tif", GreyTiff(8, 1, 1, 7));
  const std::string savedFolder = Host().gProgramFolder;
  Host().gProgramFolder = dir_.path();
  Dispatcher().gDebugMode = 1;
  std::string terminal[2];
  for (const uint8_t standalone : {1, 0}) {
    Interpreter().gStandaloneFlag = standalone;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(Load("load image \"damaged.tif\", 1\nend\n"));
    EXPECT_TRUE(RunFrames());
    terminal[standalone] = testing::internal::GetCapturedStderr();
  }
  Interpreter().gStandaloneFlag = 0;
  Dispatcher().gDebugMode = 0;
  Host().gProgramFolder = savedFolder;
  EXPECT_EQ(terminal[1], "") << "a game writes nothing on the terminal";
  const std::string log = dir_.Read("VX.LOG");
  EXPECT_NE(log.find("ENGINENOTE ON "), std::string::npos) << log;
  EXPECT_NE(log.find("=damaged.tif: "), std::string::npos) << log;
  EXPECT_EQ(std::count(terminal[0].begin(), terminal[0].end(), '\n'), 1) << "one line in the author's run:\n"
                                                                         << terminal[0];
  EXPECT_NE(terminal[0].find("damaged.tif: "), std::string::npos) << terminal[0];
}

}  // namespace
}  // namespace vx
