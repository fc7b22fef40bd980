// The display set-up, modes, presentation and release, driven through the platform layer's
// capability profiles and faults: which device is chosen, what each surface path makes and gives
// back on failure, the mode change with its rollback, where the
// picture goes in a window, and that nothing is left or released twice after the teardown.
#include <cstring>

#include "common/commands.h"
#include "platform/win/messages.h"
#include "platform/win/window.h"
#include "runtime/dispatcher.h"
#include "runtime/program_image.h"
#include "system/system_state.h"
#include "tests/display/bitmap_test_support.h"
#include "tests/support/image_builder.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

using namespace win;

class DisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::PrepareHeadlessDisplay("VXTEST", 640, 480);
    Interpreter().gStandaloneFlag = 0;
    Display().gChosenCardName.clear();
    gClientAreaOnScreen = [](HWND) { return RECT{0, 0, 640, 480}; };
  }
  void TearDown() override {
    ReleaseDirectDrawObjects(0);  // a second call (in the release) finds nothing to release
    test::ReleaseHeadlessDisplay();
  }
  static bool SetUpDisplay(int width = 640, int height = 480) {
    return EnumerateDisplayCards(0, 1) && InitDisplayAndDevice(width, height, 1);
  }
  static std::string LastError() { return Runtime().gLastEngineError; }
};

DeviceProfile Device(const GUID& guid, const char* name, bool hardware) {
  return DeviceProfile{name, name, StandardDeviceCaps(guid, hardware)};
}

TEST_F(DisplayTest, DeviceChoiceFollowsTheProfileAndTheSwitches) {
  const Direct3DProfile standard = StandardDirect3DProfile();
  Direct3DProfile withTnL = standard;
  withTnL.devices.push_back(Device(IID_IDirect3DTnLHalDevice, "T&L", true));
  struct Case {
    const char* what;
    Direct3DProfile profile;
    uint32_t fallback, allowTnL;
    std::vector<GUID> failing;
    const char* expected;  // null: no device
    uint32_t hardware;
  };
  const Case cases[] = {
      {"hardware first", standard, 0, 1, {}, "HAL", 1},
      {"T&L when offered", withTnL, 0, 1, {}, "T&L", 1},
      {"fallback takes software", withTnL, 1, 1, {}, "RGB", 0},
      {"MMX after RGB in fallback", standard, 1, 1, {IID_IDirect3DRGBDevice}, "MMX", 0},
      {"nothing left", standard, 0, 1, {IID_IDirect3DHALDevice, IID_IDirect3DRGBDevice}, nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetDirect3DProfile(c.profile);
    Direct3DFaults faults;
    faults.failingDevices = c.failing;
    SetDirect3DFaults(faults);
    Display().gSurfaceFallback = c.fallback;
    Display().gAllowTnL = c.allowTnL;
    const bool made = SetUpDisplay();
    if (c.expected) {
      ASSERT_TRUE(made);
      EXPECT_STREQ(Display().gD3DDeviceName, c.expected);
      EXPECT_EQ(Display().gHardwareDevice, c.hardware);
      DWORD dither = 9;
      Display().gD3DDevice->GetRenderState(D3DRENDERSTATE_DITHERENABLE, &dither);
      EXPECT_EQ(dither, c.fallback ? 0u : 1u);
    } else {
      EXPECT_FALSE(made);
      EXPECT_NE(LastError().find("[..000. & HAL] Failed to create a D3D Device"), std::string::npos) << LastError();
      EXPECT_EQ(Display().gD3DDevice, nullptr);
      EXPECT_EQ(Display().gBackBuffer, nullptr);
      EXPECT_EQ(LiveSurfaceCount(), 0u);  // what the set-up made went back
    }
    ReleaseDirectDrawObjects(0);
    EXPECT_EQ(LiveSurfaceCount(), 0u);
  }
}

TEST_F(DisplayTest, SurfacePathsAndTheirFailures) {
  struct Case {
    const char* what;
    uint32_t fullScreen, blitFlip, fallback;
    std::optional<uint64_t> videoMemory;
    DWORD failCaps;  // a creation with these caps fails once; 0 none
    bool made;
    uint32_t flipChain, systemMemory;
  };
  const Case cases[] = {
      {"full screen flip chain", 1, 0, 0, {}, 0, true, 1, 0},
      {"windowed", 0, 0, 0, {}, 0, true, 0, 0},
      {"little video memory", 1, 0, 0, uint64_t(1500000), 0, true, 0, 1},
      {"flip chain fails: system memory", 1, 0, 0, {}, DDSCAPS_FLIP, true, 0, 1},
      {"video depth buffer fails", 1, 0, 0, {}, DDSCAPS_ZBUFFER | DDSCAPS_VIDEOMEMORY, false, 0, 0},
      {"system depth buffer fails", 1, 0, 1, {}, DDSCAPS_ZBUFFER | DDSCAPS_SYSTEMMEMORY, false, 0, 1},
      {"primary fails", 0, 0, 0, {}, DDSCAPS_PRIMARYSURFACE, false, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ResetDisplayFaults();
    SetVideoMemoryLimit(c.videoMemory);
    Display().gFullScreen = c.fullScreen;
    Display().gBlitFlipMode = c.blitFlip;
    Display().gSurfaceFallback = c.fallback;
    if (c.failCaps) FailSurfaceCreations(c.failCaps == DDSCAPS_PRIMARYSURFACE ? 2 : 1, DDERR_OUTOFMEMORY, c.failCaps);
    ASSERT_TRUE(EnumerateDisplayCards(0, 1));
    const bool made = InitDisplayAndDevice(640, 480, 1);
    EXPECT_EQ(made, c.made) << LastError();
    if (made) {
      EXPECT_EQ(Display().gFlipChain, c.flipChain);
      EXPECT_EQ(Display().gSystemMemorySurfaces, c.systemMemory);
      ASSERT_NE(Display().gBackBuffer, nullptr);
      EXPECT_EQ(Display().gBackBuffer->AttachedZBuffer(), Display().gZBuffer);
      EXPECT_EQ(Display().gBackBufferWidth, 640);
      EXPECT_EQ(Display().gBackBufferHeight, 480);
      EXPECT_EQ(Display().gBitmapInfo[0].width, 640u) << "bitmap 0 is the screen";
      EXPECT_EQ(Display().gBitmapInfo[0].bitsPerPixel, uint32_t(Display().gBackBufferBitCount));
      DDSCAPS2 caps{};
      Display().gBackBuffer->GetCaps(&caps);
      EXPECT_EQ((caps.dwCaps & DDSCAPS_SYSTEMMEMORY) != 0, c.systemMemory == 1);
      DirectDrawClipper* clipper = nullptr;
      EXPECT_EQ(Succeeded(Display().gPrimarySurface->GetClipper(&clipper)), c.flipChain == 0);
      if (clipper) clipper->Release();
    } else {
      EXPECT_EQ(Display().gPrimarySurface, nullptr);
      EXPECT_EQ(Display().gBackBuffer, nullptr);
      EXPECT_EQ(Display().gZBuffer, nullptr);
      EXPECT_EQ(Display().gDirect3D, nullptr);
      EXPECT_EQ(LiveSurfaceCount(), 0u);
    }
    ReleaseDirectDrawObjects(0);
    EXPECT_EQ(LiveSurfaceCount(), 0u);
    EXPECT_EQ(LiveDirectDrawCount(), 0u);
  }
}

TEST_F(DisplayTest, AFailedDisplayChangeKeepsTheProgramsSurfaces) {
  ASSERT_TRUE(SetUpDisplay());
  int32_t width = 123, height = 77, depth = 16;  // not a mode of the driver
  uint32_t fallback = 0;
  EXPECT_EQ(SetDisplayModeFull(width, height, depth, fallback, 640, 480, 16, 0), 0);
  EXPECT_EQ(Interpreter().gErrorCode, kErrDisplayModeNotSet);
  EXPECT_EQ(width, 640);
  ASSERT_NE(Display().gBackBuffer, nullptr);
  EXPECT_EQ(Display().gBackBuffer->Width(), 640u);
  EXPECT_EQ(Display().gDisplayInvalid, 1);

  // Surfaces that cannot be made even in the fallback: rolled back to the mode in force.
  Interpreter().gErrorCode = 0;
  width = 800, height = 600;
  SetDirect3DFaults(
      Direct3DFaults{.failingDevices = {IID_IDirect3DHALDevice, IID_IDirect3DRGBDevice, IID_IDirect3DMMXDevice}});
  EXPECT_EQ(SetDisplayModeFull(width, height, depth, fallback, 640, 480, 16, 0), 0);
  EXPECT_EQ(width, 640);
  EXPECT_EQ(fallback, 0u);
  // Not even the old mode can be rebuilt: the program ends rather than run without surfaces.
  EXPECT_EQ(Interpreter().gErrorCode, kErrDisplaySurfacesOrDeviceNotCreated);
  EXPECT_EQ(Display().gD3DDevice, nullptr);

  Interpreter().gErrorCode = 0;
  SetDirect3DFaults({});
  width = 800, height = 600;
  EXPECT_EQ(SetDisplayModeFull(width, height, depth, fallback, 640, 480, 16, 0), 1);
  EXPECT_EQ(Interpreter().gErrorCode, 0);
  EXPECT_EQ(Display().gBackBuffer->Width(), 800u);
  EXPECT_EQ(Display().gViewport.dwWidth, 800u);
}

TEST_F(DisplayTest, WindowedScreenshotHoldsThePictureNotTheDesktop) {
  Display().gFullScreen = 0;
  ASSERT_TRUE(SetUpDisplay(320, 240));
  gClientAreaOnScreen = [](HWND) { return RECT{200, 100, 520, 340}; };
  DDBLTFX fx{};
  fx.dwSize = sizeof fx;
  fx.dwFillColor = 0x0000FF;  // blue
  Display().gBackBuffer->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
  PresentFrame();
  test::TempFolder dir;
  Display().gScreenshotFile = dir.path() + "shot.bmp";
  ASSERT_EQ(SaveScreenshot(), 1);
  const std::vector<uint8_t> bmp = test::FileBytes(Display().gScreenshotFile);
  ASSERT_GT(bmp.size(), 54u + 3u);
  int32_t width = 0, height = 0, offset = 0;
  std::memcpy(&offset, bmp.data() + 10, 4);
  std::memcpy(&width, bmp.data() + 18, 4);
  std::memcpy(&height, bmp.data() + 22, 4);
  EXPECT_EQ(width, 320);
  EXPECT_EQ(height, 240);
  EXPECT_EQ(bmp[size_t(offset)], 255);  // blue, green, red
  EXPECT_EQ(bmp[size_t(offset) + 2], 0);
  EXPECT_EQ(Display().gScreenshotSurface, nullptr);
}

TEST_F(DisplayTest, TheWindowCommandsMakeTheDisplayAgainForAWindowAndForTheFullScreen) {
  ASSERT_TRUE(SetUpDisplay());
  ResetDrawTarget();
  ASSERT_EQ(Display().gFlipChain, 1u);
  RegisterAllCommands();
  HandlerOf(kCmdWindowOn)();
  EXPECT_EQ(Interpreter().gErrorCode, 0) << LastError();
  // One back buffer of the program's size, shown by a blit: screen items are drawn once.
  EXPECT_EQ(Display().gFullScreen, 0u);
  EXPECT_EQ(Display().gFlipChain, 0u);
  EXPECT_EQ(DrawQueue().gScreenPersistFrames, 1);
  EXPECT_FALSE(Display().gDirectDraw->IsExclusive());
  ASSERT_NE(Display().gBackBuffer, nullptr);
  EXPECT_EQ(std::pair(Display().gBackBuffer->Width(), Display().gBackBuffer->Height()), std::pair(640u, 480u));
  EXPECT_EQ(DWORD(GetWindowLongA(Host().gMainWindow, GWL_STYLE)), 0x00CF0000u);

  HandlerOf(kCmdWindowOff)();
  EXPECT_EQ(Interpreter().gErrorCode, 0) << LastError();
  EXPECT_EQ(System().gWindowMode, 0u);
  EXPECT_EQ(Display().gFullScreen, 1u);
  EXPECT_EQ(Display().gFlipChain, 1u);
  EXPECT_EQ(DrawQueue().gScreenPersistFrames, 2);
  EXPECT_TRUE(Display().gDirectDraw->IsExclusive());
  EXPECT_EQ(DWORD(GetWindowLongA(Host().gMainWindow, GWL_STYLE)), 0x800A0000u);
  DrawQueueFlush();
  DrawQueue().gDrawQueue.Destroy();
}

TEST_F(DisplayTest, TheDepthBufferIsClearedOnlyWhenSomethingWroteIntoItSinceItsLastClear) {
  ASSERT_TRUE(SetUpDisplay());
  Display().gRenderEnabled = 1;
  ASSERT_NE(Display().gZBuffer, nullptr);
  auto depth = [] {
    const SurfacePixels z = Display().gZBuffer->Pixels();
    return LoadPixel(z.bits + 10 * size_t(z.pitch) + 10 * z.bytesPerPixel, z.bytesPerPixel);
  };
  auto scribble = [] {
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    fx.dwFillDepth = 0x1234;
    ASSERT_EQ(Display().gZBuffer->Blt(nullptr, nullptr, nullptr, DDBLT_DEPTHFILL | DDBLT_WAIT, &fx), DD_OK);
  };
  scribble();
  ClearZBuffer();  // a new buffer is cleared whatever it holds
  const uint32_t farthest = depth();
  EXPECT_NE(farthest, 0x1234u);
  const uint64_t cleared = Display().gZBuffer->ContentVersion();
  ClearZBuffer();
  ClearZBuffer();
  EXPECT_EQ(Display().gZBuffer->ContentVersion(), cleared) << "frames without 3D leave it alone";
  scribble();
  ClearZBuffer();
  EXPECT_EQ(depth(), farthest);
  Display().gRenderEnabled = 0;
}

}  // namespace
}  // namespace vx
