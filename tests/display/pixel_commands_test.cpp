// The screen's pixels in programs: nothing to read before a lock or after an unlock; while locked,
// the address, size, depth and pitch of the back buffer, through which a pixel written here (as an
// outside library would) shows once the program unlocks; a run that ends with the screen locked
// leaves it unlocked; the display's release takes every bitmap with it, the work bitmap too.
#include "display/locked_pixels.h"
#include "engine3d/engine_shutdown.h"
#include "tests/display/frame_runner.h"

namespace vx {
namespace {

class PixelCommandTest : public test::FrameWorld {
 protected:
  void TearDown() override {
    UnlockScreenPixels();
    FrameWorld::TearDown();
  }
};

constexpr const char* kQuestions =
    "p = get pixels pointer() : w = get pixels width() : h = get pixels height()\n"
    "d = get pixels depth() : pitch = get pixels pitch()\n";

TEST_F(PixelCommandTest, ALockedScreenIsWrittenThroughItsAddressAndShowsOnceUnlocked) {
  RunProgram(std::string(kQuestions) + "end\n");
  for (const char* name : {"p", "w", "h", "d", "pitch"}) EXPECT_EQ(Int(name), -1) << name << " before a lock";

  RunProgram(std::string("cls rgb(0, 0, 64)\nlock pixels\n") + kQuestions + "end\n");
  EXPECT_EQ(std::tuple(Int("w"), Int("h"), Int("d")), std::tuple(640, 480, 32));
  const int32_t address = Int("p"), pitch = Int("pitch");
  ASSERT_GT(address, 0) << "below 2 GiB: a positive integer";
  ASSERT_GE(pitch, 640 * 4);
  // What an outside library given the address would do: the pixel at 30, 20 red.
  auto* row = reinterpret_cast<uint8_t*>(uintptr_t(uint32_t(address)) + uintptr_t(20 * pitch));
  const uint32_t red = 0x00FF0000;
  std::memcpy(row + 30 * 4, &red, 4);

  RunProgram(std::string("unlock pixels\n") + kQuestions + "refresh screen\nend\n");
  EXPECT_EQ(Int("p"), -1) << "after an unlock";
  EXPECT_EQ(At(30, 20), 0xFF0000u);
  EXPECT_EQ(At(31, 20), 0x000040u);
}

TEST_F(PixelCommandTest, ARunThatEndsWithTheScreenLockedLeavesItUnlocked) {
  RunProgram("lock pixels\nend\n");
  ASSERT_NE(MemoryAccess().gLockedPixels.address, 0u);
  ReleaseRunResources();
  EXPECT_EQ(MemoryAccess().gLockedPixels.address, 0u);
  win::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  ASSERT_EQ(Display().gBackBuffer->Lock(nullptr, &desc, 0, nullptr), win::DD_OK) << "the screen can be locked again";
  Display().gBackBuffer->Unlock(nullptr);
  RunProgram("unlock pixels\nunlock pixels\nend\n");  // an unlock of an unlocked screen does nothing
}

class DisplayReleaseTest : public test::RealDisplayTest {};

TEST_F(DisplayReleaseTest, TheDisplaysReleaseTakesEveryBitmapAndTheWorkBitmapAndALockedScreen) {
  ASSERT_EQ(CreateBitmapSurface(5, 16, 16), 1);
  ASSERT_EQ(CreateBitmapSurface(kWorkBitmap, 8, 8), 1);
  LockScreenPixels();
  ASSERT_NE(MemoryAccess().gLockedPixels.address, 0u);
  ReleaseDirectDrawObjects(0);
  EXPECT_EQ(Display().gBitmaps[5], nullptr);
  EXPECT_EQ(Display().gBitmaps[kWorkBitmap], nullptr);
  EXPECT_EQ(MemoryAccess().gLockedPixels.address, 0u);
  EXPECT_EQ(win::LiveSurfaceCount(), 0u);
}

}  // namespace
}  // namespace vx
