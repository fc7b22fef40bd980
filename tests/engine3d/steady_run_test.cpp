// Programs that make, draw and delete the same things frame after frame, run end to end on the
// headless engine: what the device and the display keep for them (converted textures, surfaces,
// pixel mappings below 2 GiB) stays the same from frame to frame once the first frames are past.
#include "platform/d3d/device.h"
#include "platform/ddraw/faults.h"
#include "platform/win/low_memory.h"
#include "surfaces/display_state.h"
#include "tests/engine3d/program_world.h"

namespace vx {
namespace {

struct Holdings {
  size_t textures, surfaces, mappings;
  bool operator==(const Holdings&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Holdings& h) {
  return out << h.textures << " converted textures, " << h.surfaces << " surfaces, " << h.mappings << " low mappings";
}

class SteadyRunTest : public test::ProgramWorld {
 protected:
  static Holdings Now() {
    return {Display().gD3DDevice->CachedTextureCount(), win::LiveSurfaceCount(), win::LiveLowMappingCount()};
  }
  // Runs the program for a few frames to settle, then checks that further frames keep what they
  // hold the same.
  void ExpectSteady(const std::string& source) {
    ASSERT_TRUE(Start(source));
    Frames(8);
    ASSERT_EQ(Interpreter().gErrorCode, 0) << Runtime().gLastEngineError;
    const Holdings settled = Now();
    Frames(40);
    ASSERT_EQ(Interpreter().gErrorCode, 0) << Runtime().gLastEngineError;
    EXPECT_EQ(Now(), settled) << "after 40 more frames";
    EXPECT_GT(Int("frames"), 40);
  }
};

// Each frame: ten cubes made and textured with ten pictures grabbed at the start, drawn, then
// deleted. A texture made for a cube goes with the last cube that draws with it, and the next
// frame's cubes have it made again.
TEST_F(SteadyRunTest, TexturedObjectsMadeAndDeletedEveryFrameLeaveNothingBehind) {
  ExpectSteady(
      "manual refresh\n"
      "autocam off\n"
      "position camera 0, 0, -10\n"
      "ink rgb(120, 90, 200), 0\n"
      "box 0, 0, 16, 16\n"
      "refresh screen\n"
      "for i = 1 to 10\n"
      "  get image i, 0, 0, 16, 16\n"
      "next i\n"
      "refresh screen\n"
      "frames = 0\n"
      "do\n"
      "  for i = 1 to 10\n"
      "    make object cube i, 1\n"
      "    position object i, i - 5, 0, 0\n"
      "    texture object i, i\n"
      "  next i\n"
      "  refresh screen\n"
      "  for i = 1 to 10\n"
      "    delete object i\n"
      "  next i\n"
      "  frames = frames + 1\n"
      "loop\n");
}

// Each frame: a grid and the backdrop textured, sprites placed and a memory block made with
// pictures grabbed the frame before, then all of them deleted and the pictures grabbed anew.
TEST_F(SteadyRunTest, GridsBackdropsSpritesPicturesAndMemoryBlocksMadeEveryFrameLeaveNothingBehind) {
  ExpectSteady(
      "manual refresh\n"
      "autocam off\n"
      "backdrop on\n"
      "ink rgb(120, 90, 200), 0\n"
      "box 0, 0, 16, 16\n"
      "refresh screen\n"
      "for i = 1 to 4\n"
      "  get image i, 0, 0, 16, 16\n"
      "next i\n"
      "refresh screen\n"
      "position camera 0, 4, -12\n"
      "point camera 0, 0, 0\n"
      "frames = 0\n"
      "do\n"
      "  make matrix 1, 10, 10, 4, 4\n"
      "  prepare matrix texture 1, 1, 2, 2\n"
      "  texture backdrop 2\n"
      "  sprite 1, 20, 20, 3\n"
      "  make memblock 1, 4096\n"
      "  refresh screen\n"
      "  delete sprite 1\n"
      "  delete memblock 1\n"
      "  delete matrix 1\n"
      "  for i = 1 to 4\n"
      "    delete image i\n"
      "    get image i, 0, 0, 16, 16\n"
      "  next i\n"
      "  frames = frames + 1\n"
      "loop\n");
}

}  // namespace
}  // namespace vx
