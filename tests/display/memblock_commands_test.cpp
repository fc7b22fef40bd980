// Memory blocks in programs: every read and write size at a block's edges and the errors of the
// family; copies that overlap; the address a program gets is the real one (written through here,
// read back by the program); bitmaps, images, meshes and sounds through blocks and back; blocks
// that do not hold what their headers promise are refused without touching anything; the run's
// end frees every block.
#include <cstring>

#include "display/memblocks.h"
#include "engine3d/engine_shutdown.h"
#include "sound/sound_system.h"
#include "tests/display/frame_runner.h"

namespace vx {
namespace {

class MemblockCommandTest : public test::FrameWorld {
 protected:
  void TearDown() override {
    ClearMemblockTable();
    for (int n = 1; n <= 3; ++n) Sound().gSoundLibrary.DeleteSample(n), Sound().gSoundSlotInUse[size_t(n)] = 0;
    FrameWorld::TearDown();
  }
  // Each program starts without blocks, meshes or images, as a run does after the one before it.
  std::pair<int32_t, bool> Ends(const std::string& source) {
    ResetEngineRecords();
    return ErrorOf(source);
  }
  int32_t Error(const std::string& source) { return Ends(source).first; }
};

TEST_F(MemblockCommandTest, ValuesOfEachSizeFitUpToTheBlocksEdgeAndNoFurther) {
  RunProgram(
      "make memblock 1, 10\n"
      "write memblock dword 1, 6, 2147483647 : d = memblock dword(1, 6)\n"
      "write memblock word 1, 8, 65535 : w = memblock word(1, 8)\n"
      "write memblock byte 1, 9, 255 : b = memblock byte(1, 9)\n"
      "write memblock float 1, 0, -1.5 : f = memblock dword(1, 0)\n"
      "write memblock word 1, 4, 258 : lo = memblock byte(1, 4) : hi = memblock byte(1, 5)\n"
      "size = get memblock size(1) : there = memblock exist(1) : none = memblock exist(2)\n"
      "end\n");
  EXPECT_EQ(std::tuple(Int("d"), Int("w"), Int("b")), std::tuple(2147483647, 65535, 255));
  float f = 0;
  const int32_t bits = Int("f");
  std::memcpy(&f, &bits, 4);
  EXPECT_EQ(f, -1.5f);
  EXPECT_EQ(std::tuple(Int("lo"), Int("hi"), Int("size"), Int("there"), Int("none")), std::tuple(2, 1, 10, 1, 0));

  const std::string block = "make memblock 1, 10\n";
  for (const char* place : {"write memblock dword 1, 7, 0", "x = memblock dword(1, 7)", "write memblock word 1, 9, 0",
                            "x = memblock word(1, 9)", "write memblock byte 1, 10, 0", "x = memblock byte(1, 10)",
                            "write memblock float 1, 7, 1.0", "x# = memblock float(1, 7)", "x = memblock byte(1, -1)",
                            "write memblock dword 1, -4, 0"})
    EXPECT_EQ(Error(block + place + "\n"), kErrMemblockPositionOutside) << place;
  EXPECT_EQ(Error(block + "write memblock byte 1, 0, 256\n"), kErrByteOutOfRange);
  EXPECT_EQ(Error(block + "write memblock byte 1, 0, -1\n"), kErrByteOutOfRange);
  EXPECT_EQ(Error(block + "write memblock word 1, 0, 65536\n"), kErrWordOutOfRange);
  EXPECT_EQ(Error(block + "write memblock dword 1, 0, -1\n"), kErrValueBelowZero);
  EXPECT_EQ(Error(block + "write memblock float 1, 0, -1.0\nend\n"), 0);
}

TEST_F(MemblockCommandTest, NumbersSizesAndMissingBlocksAreErrors) {
  for (const char* use : {"make memblock 0, 4", "make memblock 256, 4", "delete memblock 0", "x = memblock exist(256)",
                          "x = get memblock ptr(0)", "x = memblock byte(256, 0)", "make memblock from bitmap 0, 0",
                          "make bitmap from memblock 1, 256", "make memblock 1, 4 : copy memblock 1, 0, 0, 0, 1"})
    EXPECT_EQ(Error(std::string(use) + "\n"), kErrMemblockNumberOutOfRange) << use;
  for (const char* use : {"delete memblock 3", "x = get memblock size(3)", "x = memblock word(3, 0)",
                          "make memblock 1, 4 : copy memblock 1, 3, 0, 0, 1", "make image from memblock 1, 3"})
    EXPECT_EQ(Error(std::string(use) + "\n"), kErrMemblockNotExist) << use;
  EXPECT_EQ(Error("make memblock 1, 4 : make memblock 1, 4\n"), kErrMemblockExists);
  EXPECT_EQ(Error("make memblock 1, 0\n"), kErrMemblockSizeBelowOne);
  EXPECT_EQ(Error("make memblock 1, -5\n"), kErrMemblockSizeBelowOne);
  EXPECT_EQ(Error("make memblock 1, 2147483647\n"), kErrMemblockNotAllocated) << "more than lies below 2 GiB";
}

TEST_F(MemblockCommandTest, CopiesStayInsideBothBlocksAndMayOverlap) {
  RunProgram(
      "make memblock 1, 8 : make memblock 2, 4\n"
      "for i = 0 to 7 : write memblock byte 1, i, i + 1 : next i\n"
      "copy memblock 1, 1, 0, 2, 6\n"  // within one block, overlapping
      "copy memblock 1, 2, 6, 0, 2\n"
      "copy memblock 1, 2, 7, 3, 0\n"  // nothing, at the last byte
      "a = memblock dword(1, 0) : b = memblock dword(1, 4) : c = memblock word(2, 0)\n"
      "end\n");
  EXPECT_EQ(uint32_t(Int("a")), 0x02010201u) << "bytes 1 2 1 2 3 4 5 6";
  EXPECT_EQ(uint32_t(Int("b")), 0x06050403u);
  EXPECT_EQ(Int("c"), 0x0605);
  const std::string blocks = "make memblock 1, 8 : make memblock 2, 4\n";
  for (const char* copy :
       {"copy memblock 1, 2, 8, 0, 0", "copy memblock 1, 2, 0, 4, 0", "copy memblock 1, 2, 0, 0, 5",
        "copy memblock 1, 2, 4, 0, 5", "copy memblock 1, 2, 1, 0, -1", "copy memblock 1, 2, -1, 0, 2"})
    EXPECT_EQ(Error(blocks + copy + "\n"), kErrMemblockPositionOutside) << copy;
}

TEST_F(MemblockCommandTest, TheAddressIsTheBlocksOwnAndTheRunsEndFreesEveryBlock) {
  RunProgram("make memblock 7, 16 : p = get memblock ptr(7)\nend\n");
  const int32_t address = Int("p");
  ASSERT_GT(address, 0) << "below 2 GiB: a positive integer";
  // What an outside library given the address would do.
  auto* bytes = reinterpret_cast<uint8_t*>(uintptr_t(uint32_t(address)));
  bytes[15] = 0xAB;
  RunProgram("last = memblock byte(7, 15)\nend\n");
  EXPECT_EQ(Int("last"), 0xAB);
  ReleaseRunResources();
  for (int32_t b = 0; b < kMemblockSlots; ++b) EXPECT_EQ(MemoryAccess().gMemblockData[size_t(b)], nullptr) << b;
}

TEST_F(MemblockCommandTest, BitmapsAndImagesGoThroughBlocksPixelForPixel) {
  RunProgram(
      "create bitmap 1, 100, 50\n"
      "cls rgb(0, 0, 255)\n"
      "ink rgb(255, 0, 0), 0 : dot 3, 2\n"
      "refresh screen\n"
      "make memblock from bitmap 1, 1\n"
      "w = memblock dword(1, 0) : h = memblock dword(1, 4) : d = memblock dword(1, 8) : s = get memblock size(1)\n"
      "rem the pixel at 5, 2 green, in the bitmap's 32-bit format\n"
      "write memblock dword 1, 12 + (2 * 100 + 5) * 4, 65280\n"
      "make bitmap from memblock 2, 1\n"
      "set current bitmap 0\n"
      "copy bitmap 2, 0\n"
      "get image 1, 0, 0, 8, 4\n"
      "refresh screen\n"
      "make memblock from image 2, 1\n"
      "write memblock dword 2, 12, 16776960\n"  // the image's first pixel yellow
      "make image from memblock 1, 2\n"
      "paste image 1, 200, 200\n"
      "refresh screen\n"
      "end\n");
  EXPECT_EQ(std::tuple(Int("w"), Int("h"), Int("d"), Int("s")), std::tuple(100, 50, 32, 20012));
  EXPECT_EQ(At(3, 2), 0xFF0000u);
  EXPECT_EQ(At(5, 2), 0x00FF00u);
  EXPECT_EQ(At(99, 49), 0x0000FFu);
  EXPECT_EQ(At(100, 49), 0u) << "the bitmap is 100 x 50";
  EXPECT_EQ(At(200, 200), 0xFFFF00u);
  EXPECT_EQ(At(203, 202), 0xFF0000u);
  EXPECT_EQ(At(201, 200), 0x0000FFu);
}

TEST_F(MemblockCommandTest, ABlockWithoutEveryPixelIsRefusedAndNothingChanges) {
  // A 4 x 4 header with one byte too few for 32 bits a pixel, and a block too short for a header.
  const std::string shortBlock =
      "make memblock 1, 12 + 4 * 4 * 4 - 1\n"
      "write memblock dword 1, 0, 4 : write memblock dword 1, 4, 4\n";
  EXPECT_EQ(Error(shortBlock + "make bitmap from memblock 3, 1\n"), kErrBitmapNotExist);
  EXPECT_EQ(Display().gBitmaps[3], nullptr) << "no bitmap was made";
  EXPECT_EQ(Error(shortBlock + "make bitmap from memblock 0, 1\n"), kErrBitmapNotExist);
  EXPECT_EQ(Error("get image 5, 0, 0, 4, 4\nrefresh screen\n" + shortBlock + "make image from memblock 5, 1\n"),
            kErrImageNotExist);
  EXPECT_EQ(Records().gImageRecords[Records().gImageSlotById[5]].imageWidth, 4) << "the image is as it was";
  EXPECT_EQ(Error(shortBlock + "make image from memblock 6, 1\n"), kErrImageNotExist);
  EXPECT_EQ(Records().gImageSlotById[6], 0u);
  EXPECT_EQ(Error("make memblock 1, 8\nmake image from memblock 6, 1\n"), kErrImageNotExist);
  EXPECT_EQ(Error("make memblock 1, 8\nmake bitmap from memblock 4, 1\n"), kErrBitmapNotExist);
  EXPECT_EQ(Error("make memblock 1, 12\nmake bitmap from memblock 4, 1\n"), kErrBitmapNotExist) << "0 x 0";
  EXPECT_EQ(Error("make memblock from bitmap 1, 9\n"), kErrBitmapNotExist);
  EXPECT_EQ(Error("make memblock from bitmap 1, 32\n"), kErrBitmapNumberOutOfRange);
  EXPECT_EQ(Error("make memblock from image 1, 9\n"), kErrImageNotExist);
}

// Three vertices, three normals, one face of seven index words, as the mesh layout lays them out.
constexpr const char* kTriangleBlock =
    "make memblock 1, 156\n"
    "restore triangle\n"
    "for i = 0 to 7 : read v : write memblock dword 1, i * 4, v : next i\n"
    "for i = 0 to 8 : read x# : write memblock float 1, 32 + i * 4, x# : next i\n"
    "for i = 0 to 8 : write memblock float 1, 68 + i * 4, 0.5 : next i\n"
    "for i = 0 to 6 : read v : write memblock dword 1, 104 + i * 4, v : next i\n"
    "for i = 0 to 5 : write memblock float 1, 132 + i * 4, i : next i\n";
constexpr const char* kTriangleData =
    "end\n"
    "triangle:\n"
    "data 3, 32, 3, 68, 1, 104, 7, 132\n"
    "data 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0, 0.0\n"
    "data 3, 0, 0, 1, 1, 2, 2\n";

TEST_F(MemblockCommandTest, AMeshGoesThroughABlockAndBackWordForWord) {
  RunProgram(std::string(kTriangleBlock) +
             "make mesh from memblock 9, 1\n"
             "make memblock from mesh 2, 9\n"
             "same = 1\n"
             "for i = 0 to 155 : if memblock byte(1, i) <> memblock byte(2, i) then same = 0\n"
             "next i\n"
             "size = get memblock size(2)\n"
             "write memblock float 1, 44, 7.0\n"
             "change mesh from memblock 9, 1\n" +
             kTriangleData);
  EXPECT_EQ(std::tuple(Int("same"), Int("size")), std::tuple(1, 156));
  const MeshRecord& mesh = Engine().gMeshRecords[Engine().gMeshSlotById[9]];
  EXPECT_EQ(std::tuple(mesh.vertexCount, mesh.normalCount, mesh.faceCount, mesh.faceWordCount), std::tuple(3, 3, 1, 7));
  EXPECT_EQ(mesh.positions[3], 7.0f) << "changed in place";
  EXPECT_EQ(mesh.faces[5], 2u);
  EXPECT_EQ(mesh.textureCoords[5], 5.0f);
}

TEST_F(MemblockCommandTest, MeshBlocksThatPromiseMoreThanTheyHoldAreRefused) {
  const std::string triangle = kTriangleBlock;
  const std::string end = kTriangleData;
  const auto refused = [&](const std::string& change) { return Error(triangle + change + end); };
  EXPECT_EQ(refused("write memblock dword 1, 0, 4\nmake mesh from memblock 9, 1\n"), kErrNoMeshMade)
      << "a fourth vertex the block does not hold";
  EXPECT_EQ(refused("write memblock dword 1, 24, 8\nmake mesh from memblock 9, 1\n"), kErrNoMeshMade);
  EXPECT_EQ(refused("write memblock dword 1, 16, 2\nmake mesh from memblock 9, 1\n"), kErrNoMeshMade)
      << "a second face beyond the index words";
  EXPECT_EQ(refused("write memblock dword 1, 112, 3\nmake mesh from memblock 9, 1\n"), kErrNoMeshMade)
      << "vertex 3 of three";
  EXPECT_EQ(refused("write memblock dword 1, 128, 5\nmake mesh from memblock 9, 1\n"), kErrNoMeshMade)
      << "normal 5 of three";
  EXPECT_EQ(refused("write memblock dword 1, 104, 2\nmake mesh from memblock 9, 1\n"), kErrNoMeshMade) << "two corners";
  EXPECT_EQ(refused("write memblock dword 1, 0, 4294967295 / 12\nmake mesh from memblock 9, 1\n"), kErrNoMeshMade);
  EXPECT_EQ(Error("make memblock 1, 31\nmake mesh from memblock 9, 1\n"), kErrNoMeshMade);
  EXPECT_EQ(refused("make mesh from memblock 9, 1\nmake memblock 2, 156\nchange mesh from memblock 9, 2\n"),
            kErrNoMeshMade)
      << "a block of other counts";
  EXPECT_EQ(refused("change mesh from memblock 9, 1\n"), kErrNoMeshMade) << "no mesh 9";
  EXPECT_EQ(refused("make mesh from memblock 65535, 1\n"), kErrMeshNumberOutOfRange);
  EXPECT_EQ(refused("make memblock from mesh 2, 0\n"), kErrMeshNumberOutOfRange);
  EXPECT_EQ(refused("make memblock from mesh 2, 9\n"), kErrMeshNotExist);
}

TEST_F(MemblockCommandTest, ASoundGoesThroughABlockAndBackWithItsHeader) {
  RunProgram(
      "make memblock 1, 12 + 100\n"
      "write memblock dword 1, 0, 8 : write memblock dword 1, 4, 11025 : write memblock dword 1, 8, 100\n"
      "for i = 0 to 99 : write memblock byte 1, 12 + i, i * 2 : next i\n"
      "make sound from memblock 3, 1\n"
      "make memblock from sound 2, 3\n"
      "bits = memblock dword(2, 0) : hz = memblock dword(2, 4) : n = memblock dword(2, 8)\n"
      "size = get memblock size(2) : last = memblock byte(2, 111)\n"
      "end\n");
  EXPECT_EQ(std::tuple(Int("bits"), Int("hz"), Int("n"), Int("size"), Int("last")),
            std::tuple(8, 11025, 100, 112, 198));
  ASSERT_NE(Sound().gSoundLibrary.Sample(3), nullptr);

  const std::string header =
      "make memblock 1, 12 + 100\nwrite memblock dword 1, 4, 11025 : write memblock dword 1, 8, 50\n";
  for (const char* bad :
       {"write memblock dword 1, 0, 12", "write memblock dword 1, 0, 16 : write memblock dword 1, 8, 51",
        "write memblock dword 1, 0, 8 : write memblock dword 1, 4, 0",
        "write memblock dword 1, 0, 8 : write memblock dword 1, 4, 2000000",
        "write memblock dword 1, 0, 8 : write memblock dword 1, 8, 0"})
    EXPECT_EQ(Ends(header + bad + "\nmake sound from memblock 2, 1\n"), std::pair(int32_t(kErrSoundNotExist), true))
        << bad;
  EXPECT_EQ(Sound().gSoundLibrary.Sample(2), nullptr);
  EXPECT_EQ(Ends("make memblock 1, 11\nmake sound from memblock 2, 1\n").first, kErrSoundNotExist);
  EXPECT_EQ(Ends("make memblock from sound 1, 2\n").first, kErrSoundNotExist);
  EXPECT_EQ(Ends("make memblock from sound 1, 1026\n").first, kErrSoundNumberOutOfRange);
  EXPECT_EQ(Ends("make memblock 1, 20\nmake sound from memblock 0, 1\n").first, kErrSoundNumberOutOfRange);
}

}  // namespace
}  // namespace vx
