// The display: drivers and their enumeration, the cooperative level, display modes, the primary
// surface with its flip chain, presentation (headless frames, gamma, BMP dumps, geometry) and one
// presentation into a real SDL window under the dummy video driver.
#include <SDL.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ddraw_test_support.h"
#include "temp_folder.h"

namespace vx::win::testing {
namespace {

struct Listed {
  bool nullGuid;
  std::string description;
};

BOOL ListDriver(GUID* guid, char* description, char* name, void* context) {
  static_cast<std::vector<Listed>*>(context)->push_back({guid == nullptr, description});
  return TRUE_;
}

BOOL TakeFirst(GUID* guid, char* description, char* name, void* context) {
  static_cast<std::vector<Listed>*>(context)->push_back({guid == nullptr, description});
  return FALSE_;
}

TEST_F(DirectDrawTest, DriversAreListedPrimaryFirstAndMadeByGuid) {
  std::vector<Listed> listed;
  ASSERT_EQ(DirectDrawEnumerateA(ListDriver, &listed), DD_OK);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_TRUE(listed[0].nullGuid);
  EXPECT_EQ(listed[0].description, "Primary Display Driver");

  const GUID addOn{0x1234, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
  DisplayDriverInfo primary = CurrentDisplayDrivers()[0];
  DisplayDriverInfo second;
  second.guid = addOn;
  second.description = "Add-on 3D Card";
  second.name = "addon";
  SetDisplayDrivers({primary, second});
  listed.clear();
  ASSERT_EQ(DirectDrawEnumerateA(ListDriver, &listed), DD_OK);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_FALSE(listed[1].nullGuid);
  EXPECT_EQ(listed[1].description, "Add-on 3D Card");
  listed.clear();
  ASSERT_EQ(DirectDrawEnumerateA(TakeFirst, &listed), DD_OK);
  EXPECT_EQ(listed.size(), 1u) << "a callback that answers FALSE ends the enumeration";

  DirectDraw* made = nullptr;
  ASSERT_EQ(DirectDrawCreateEx(&addOn, &made, IID_IDirectDraw7, nullptr), DD_OK);
  Ref<DirectDraw> onCard(made);
  EXPECT_EQ(onCard->DriverGuid(), addOn);
  EXPECT_EQ(LiveDirectDrawCount(), 2u);
  const GUID unknown{0x9999, 0, 0, {}};
  EXPECT_EQ(DirectDrawCreateEx(&unknown, &made, IID_IDirectDraw7, nullptr), DDERR_INVALIDDIRECTDRAWGUID);
}

TEST_F(DirectDrawTest, TheCooperativeLevelIsNormalOrExclusiveFullScreen) {
  const HWND window = TestWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(dd_->SetCooperativeLevel(window, DDSCL_EXCLUSIVE), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dd_->SetCooperativeLevel(window, DDSCL_NORMAL | DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dd_->SetCooperativeLevel(nullptr, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DDERR_INVALIDPARAMS);
  ASSERT_EQ(dd_->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
  EXPECT_TRUE(dd_->IsExclusive());
  DirectDraw* made = nullptr;
  ASSERT_EQ(DirectDrawCreateEx(nullptr, &made, IID_IDirectDraw7, nullptr), DD_OK);
  Ref<DirectDraw> other(made);
  EXPECT_EQ(other->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DDERR_EXCLUSIVEMODEALREADYSET);
  EXPECT_EQ(other->SetCooperativeLevel(window, DDSCL_NORMAL), DD_OK);
  ASSERT_EQ(dd_->SetCooperativeLevel(window, DDSCL_NORMAL | DDSCL_FPUPRESERVE), DD_OK);
  EXPECT_EQ(other->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
}

HRESULT CollectMode(DDSURFACEDESC2* mode, void* context) {
  static_cast<std::vector<DisplayModeInfo>*>(context)->push_back(
      {mode->dwWidth, mode->dwHeight, mode->ddpfPixelFormat.dwRGBBitCount});
  return DDENUMRET_OK;
}

HRESULT StopAtFirst(DDSURFACEDESC2* mode, void* context) {
  CollectMode(mode, context);
  return DDENUMRET_CANCEL;
}

TEST_F(DirectDrawTest, ModesAreTheDesktopsAndTheCommonSizesAtThreeDepths) {
  std::vector<DisplayModeInfo> modes;
  DDSURFACEDESC2 sizeOnly{};
  sizeOnly.dwSize = sizeof sizeOnly;
  ASSERT_EQ(dd_->EnumDisplayModes(0, &sizeOnly, &modes, CollectMode), DD_OK);
  for (const DisplayModeInfo& wanted :
       {DisplayModeInfo{640, 480, 16}, DisplayModeInfo{640, 480, 24}, DisplayModeInfo{640, 480, 32},
        DisplayModeInfo{800, 600, 16}, DisplayModeInfo{1024, 768, 32}}) {
    EXPECT_NE(std::find(modes.begin(), modes.end(), wanted), modes.end()) << wanted.width << "x" << wanted.bitsPerPixel;
  }
  for (size_t i = 0; i < modes.size(); ++i) {
    EXPECT_TRUE(modes[i].bitsPerPixel == 16 || modes[i].bitsPerPixel == 24 || modes[i].bitsPerPixel == 32);
    if (i == 0) continue;
    EXPECT_TRUE(modes[i - 1].width < modes[i].width ||
                (modes[i - 1].width == modes[i].width && modes[i - 1].height <= modes[i].height));
  }
  std::vector<DisplayModeInfo> deep;
  DDSURFACEDESC2 filter = sizeOnly;
  filter.dwFlags = DDSD_PIXELFORMAT | DDSD_WIDTH;
  filter.dwWidth = 800;
  filter.ddpfPixelFormat.dwRGBBitCount = 24;
  ASSERT_EQ(dd_->EnumDisplayModes(0, &filter, &deep, CollectMode), DD_OK);
  EXPECT_EQ(deep, (std::vector<DisplayModeInfo>{{800, 600, 24}}));
  std::vector<DisplayModeInfo> first;
  ASSERT_EQ(dd_->EnumDisplayModes(0, nullptr, &first, StopAtFirst), DD_OK);
  EXPECT_EQ(first.size(), 1u);

  // A configured machine reports exactly its own list, 8-bit modes included.
  DisplayDriverInfo old = CurrentDisplayDrivers()[0];
  old.modes = {{320, 200, 8}, {640, 480, 16}};
  SetDisplayDrivers({old});
  DirectDraw* made = nullptr;
  ASSERT_EQ(DirectDrawCreateEx(nullptr, &made, IID_IDirectDraw7, nullptr), DD_OK);
  Ref<DirectDraw> oldCard(made);
  modes.clear();
  ASSERT_EQ(oldCard->EnumDisplayModes(0, nullptr, &modes, CollectMode), DD_OK);
  EXPECT_EQ(modes, old.modes);
  ASSERT_EQ(oldCard->SetCooperativeLevel(TestWindow(), DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
  EXPECT_EQ(oldCard->SetDisplayMode(800, 600, 16, 0, 0), DDERR_INVALIDMODE);
}

TEST_F(DirectDrawTest, SettingAModeNeedsTheExclusiveLevelForAnotherDepthAndLosesSurfaces) {
  EXPECT_EQ(dd_->SetCooperativeLevel(TestWindow(), DDSCL_NORMAL), DD_OK);
  EXPECT_EQ(dd_->SetDisplayMode(640, 480, 16, 0, 0), DDERR_NOEXCLUSIVEMODE);
  EXPECT_EQ(dd_->SetDisplayMode(641, 480, 32, 0, 0), DDERR_INVALIDMODE);
  ASSERT_EQ(dd_->SetCooperativeLevel(TestWindow(), DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
  auto video = Make(Desc(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY, 4, 4));
  ASSERT_EQ(dd_->SetDisplayMode(800, 600, 16, 0, 0), DD_OK);
  EXPECT_EQ(video->IsLost(), DDERR_SURFACELOST);
  DDSURFACEDESC2 mode{};
  mode.dwSize = sizeof mode;
  ASSERT_EQ(dd_->GetDisplayMode(&mode), DD_OK);
  EXPECT_EQ(mode.dwWidth, 800u);
  EXPECT_EQ(mode.ddpfPixelFormat.dwRGBBitCount, 16u);
  EXPECT_EQ(mode.ddpfPixelFormat.dwGBitMask, 0x07E0u);
  auto plain = Make(Desc(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY, 4, 4));
  DDPIXELFORMAT format{};
  ASSERT_EQ(plain->GetPixelFormat(&format), DD_OK);
  EXPECT_EQ(format.dwRGBBitCount, 16u) << "surfaces take the mode's format";
  // Leaving the exclusive level gives the desktop back.
  ASSERT_EQ(dd_->SetCooperativeLevel(TestWindow(), DDSCL_NORMAL), DD_OK);
  ASSERT_EQ(dd_->GetDisplayMode(&mode), DD_OK);
  EXPECT_EQ(mode.ddpfPixelFormat.dwRGBBitCount, 32u);
}

class FullScreenTest : public DirectDrawTest {
 protected:
  void SetUp() override {
    DirectDrawTest::SetUp();
    ASSERT_EQ(dd_->SetCooperativeLevel(TestWindow(), DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
    ASSERT_EQ(dd_->SetDisplayMode(640, 480, 16, 0, 0), DD_OK);
  }

  // The start-up's flip chain: one complex surface with one back buffer.
  Ref<DirectDrawSurface> FlipChain(HRESULT expected = DD_OK) {
    DDSURFACEDESC2 desc =
        Desc(DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE | DDSCAPS_VIDEOMEMORY);
    desc.dwFlags |= DDSD_BACKBUFFERCOUNT | DDSD_CKSRCBLT;
    desc.dwBackBufferCount = 1;
    return Make(desc, expected);
  }

  DirectDrawSurface* BackBufferOf(DirectDrawSurface* primary) {
    const DDSCAPS2 caps{DDSCAPS_BACKBUFFER, 0, 0, {0}};
    DirectDrawSurface* back = nullptr;
    EXPECT_EQ(primary->GetAttachedSurface(&caps, &back), DD_OK);
    return back;
  }
};

TEST_F(FullScreenTest, FlippingSwapsTheTwoBuffersAndShowsTheNewFront) {
  auto primary = FlipChain();
  ASSERT_TRUE(primary);
  DirectDrawSurface* back = BackBufferOf(primary.get());  // not released: it goes with the primary
  ASSERT_NE(back, nullptr);
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  ASSERT_EQ(primary->GetSurfaceDesc(&desc), DD_OK);
  EXPECT_EQ(desc.dwWidth, 640u);
  EXPECT_EQ(desc.dwBackBufferCount, 1u);
  EXPECT_EQ(desc.ddsCaps.dwCaps & (DDSCAPS_PRIMARYSURFACE | DDSCAPS_FRONTBUFFER | DDSCAPS_FLIP),
            DDSCAPS_PRIMARYSURFACE | DDSCAPS_FRONTBUFFER | DDSCAPS_FLIP);
  EXPECT_EQ(desc.ddpfPixelFormat.dwRGBBitCount, 16u);

  ASSERT_EQ(Fill(back, 0xF800), DD_OK);  // red
  ASSERT_EQ(Fill(primary.get(), 0x001F), DD_OK);
  const uint64_t shown = LastPresentedFrame().number;
  ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  EXPECT_EQ(GetPixel(primary.get(), 10, 10), 0xF800u);
  EXPECT_EQ(GetPixel(back, 10, 10), 0x001Fu);
  const PresentedFrame& frame = LastPresentedFrame();
  EXPECT_GT(frame.number, shown);
  EXPECT_TRUE(frame.fullScreen);
  ASSERT_EQ(frame.width, 640);
  ASSERT_EQ(frame.height, 480);
  EXPECT_EQ(frame.pixels[0], 0xFF0000u);

  EXPECT_EQ(back->Flip(nullptr, 0), DDERR_NOTFLIPPABLE);
  EXPECT_EQ(primary->Flip(primary.get(), 0), DDERR_INVALIDPARAMS);
  MakeSurfacesBusy(1);
  EXPECT_EQ(primary->Flip(nullptr, 0), DDERR_WASSTILLDRAWING);
  LoseAllSurfaces();
  EXPECT_EQ(primary->Flip(nullptr, 0), DDERR_SURFACELOST);
  EXPECT_EQ(back->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(primary->Restore(), DD_OK);
  EXPECT_EQ(back->IsLost(), DD_OK) << "restoring the primary restores its chain";
  EXPECT_EQ(primary->Flip(nullptr, 0), DD_OK);
}

TEST_F(FullScreenTest, TheChainAndItsGammaControlGoWithTheLastReferenceToThePrimary) {
  DirectDrawSurface* primary = FlipChain().release();
  ASSERT_NE(primary, nullptr);
  DirectDrawSurface* back = BackBufferOf(primary);
  EXPECT_EQ(LiveSurfaceCount(), 2u);
  DirectDrawGammaControl* gamma = nullptr;
  ASSERT_EQ(primary->QueryGammaControl(&gamma), DD_OK);
  DirectDrawGammaControl* none = nullptr;
  EXPECT_EQ(back->QueryGammaControl(&none), E_NOINTERFACE);
  EXPECT_EQ(gamma->Release(), 1u) << "the gamma control counts on the primary";
  DirectDrawClipper* clipper = nullptr;
  ASSERT_EQ(dd_->CreateClipper(0, &clipper, nullptr), DD_OK);
  ASSERT_EQ(primary->SetClipper(clipper), DD_OK);
  EXPECT_EQ(clipper->Release(), 1u) << "the primary holds the clipper";
  auto second = Make(Desc(DDSCAPS_PRIMARYSURFACE), DDERR_PRIMARYSURFACEALREADYEXISTS);
  EXPECT_EQ(primary->Release(), 0u);
  EXPECT_EQ(LiveSurfaceCount(), 0u) << "the back buffer went with the primary";
  auto again = Make(Desc(DDSCAPS_PRIMARYSURFACE));
  EXPECT_TRUE(again);
}

TEST_F(FullScreenTest, AFlipChainNeedsTheExclusiveLevelAndAPrimaryComesBackOnlyInItsMode) {
  ASSERT_EQ(dd_->SetCooperativeLevel(TestWindow(), DDSCL_NORMAL), DD_OK);
  auto refused = FlipChain(DDERR_NOEXCLUSIVEMODE);
  EXPECT_FALSE(refused);
  ASSERT_EQ(dd_->SetCooperativeLevel(TestWindow(), DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
  ASSERT_EQ(dd_->SetDisplayMode(640, 480, 16, 0, 0), DD_OK);
  auto primary = FlipChain();
  ASSERT_TRUE(primary);
  ASSERT_EQ(dd_->SetDisplayMode(800, 600, 32, 0, 0), DD_OK);
  EXPECT_EQ(primary->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(primary->Restore(), DDERR_WRONGMODE);
  EXPECT_EQ(dd_->RestoreAllSurfaces(), DDERR_WRONGMODE);
}

TEST_F(FullScreenTest, TheGammaRampIsAppliedToWhatIsShown) {
  auto primary = FlipChain();
  DirectDrawSurface* back = BackBufferOf(primary.get());
  DirectDrawGammaControl* made = nullptr;
  ASSERT_EQ(primary->QueryGammaControl(&made), DD_OK);
  Ref<DirectDrawGammaControl> gamma(made);
  DDGAMMARAMP ramp{};
  ASSERT_EQ(gamma->GetGammaRamp(0, &ramp), DD_OK);
  EXPECT_EQ(ramp.green[255] >> 8, 255);
  for (int i = 0; i < 256; ++i) {
    ramp.red[i] = static_cast<WORD>(i * 128);  // red at half strength
    ramp.blue[i] = 65280;                      // blue full whatever it was
  }
  ASSERT_EQ(Fill(back, 0xFFFF), DD_OK);
  ASSERT_EQ(primary->Flip(nullptr, 0), DD_OK);
  EXPECT_EQ(LastPresentedFrame().pixels[0], 0xFFFFFFu);
  ASSERT_EQ(gamma->SetGammaRamp(0, &ramp), DD_OK);
  EXPECT_EQ(LastPresentedFrame().pixels[0], 0x7FFFFFu) << "setting the ramp shows the picture again";
  ASSERT_EQ(Fill(back, 0x0000), DD_OK);
  ASSERT_EQ(primary->Flip(nullptr, 0), DD_OK);
  EXPECT_EQ(LastPresentedFrame().pixels[0], 0x0000FFu);
  EXPECT_EQ(gamma->SetGammaRamp(0, nullptr), DDERR_INVALIDPARAMS);
}

TEST_F(FullScreenTest, HeadlessFramesDumpToABitmapFile) {
  auto primary = FlipChain();
  DirectDrawSurface* back = BackBufferOf(primary.get());
  ASSERT_EQ(Fill(back, 0x0000), DD_OK);
  SetPixel(back, 0, 0, 0xFFE0);      // yellow top left
  SetPixel(back, 639, 479, 0x07E0);  // green bottom right
  std::vector<uint64_t> hooked;
  SetFrameHook([&](const PresentedFrame& frame) { hooked.push_back(frame.number); });
  ASSERT_EQ(primary->Flip(nullptr, 0), DD_OK);
  EXPECT_EQ(hooked.size(), 1u);
  TempFolder folder;
  const std::string path = folder / "frame.bmp";
  ASSERT_TRUE(WriteFrameBmp(LastPresentedFrame(), path));
  std::ifstream file(path, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  ASSERT_EQ(bytes.size(), 54u + 640u * 480u * 3u);
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(LoadPixel(bytes.data() + 18, 4), 640u);
  EXPECT_EQ(LoadPixel(bytes.data() + 22, 4), 480u);
  EXPECT_EQ(bytes[28], 24);
  const auto pixelAt = [&](size_t x, size_t yFromTop) {
    return LoadPixel(bytes.data() + 54 + (479 - yFromTop) * 640 * 3 + x * 3, 3);
  };
  EXPECT_EQ(pixelAt(0, 0), 0xFFFF00u);
  EXPECT_EQ(pixelAt(639, 479), 0x00FF00u);
  EXPECT_EQ(pixelAt(1, 0), 0u);
  EXPECT_FALSE(WriteFrameBmp(PresentedFrame{}, path));
  EXPECT_FALSE(WriteFrameBmp(LastPresentedFrame(), folder / "missing/frame.bmp"));
}

TEST_F(DirectDrawTest, AWindowedPrimaryIsTheDesktopAndItsClipperClipsBlits) {
  ASSERT_EQ(dd_->SetCooperativeLevel(TestWindow(), DDSCL_NORMAL), DD_OK);
  auto primary = Make(Desc(DDSCAPS_PRIMARYSURFACE));
  ASSERT_TRUE(primary);
  EXPECT_EQ(primary->Width(), static_cast<DWORD>(GetSystemMetrics(SM_CXSCREEN)));
  auto back = Make(Desc(DDSCAPS_3DDEVICE | DDSCAPS_SYSTEMMEMORY, 320, 240));
  ASSERT_EQ(Fill(back.get(), 0x00FF00), DD_OK);
  const RECT leavingTheScreen{-20, -20, 300, 220};
  EXPECT_EQ(primary->Blt(&leavingTheScreen, back.get(), nullptr, DDBLT_WAIT, nullptr), DDERR_INVALIDRECT);
  DirectDrawClipper* made = nullptr;
  ASSERT_EQ(dd_->CreateClipper(0, &made, nullptr), DD_OK);
  Ref<DirectDrawClipper> clipper(made);
  ASSERT_EQ(clipper->SetHWnd(0, TestWindow()), DD_OK);
  ASSERT_EQ(primary->SetClipper(clipper.get()), DD_OK);
  EXPECT_EQ(primary->BltFast(0, 0, back.get(), nullptr, 0), DDERR_BLTFASTCANTCLIP);
  ASSERT_EQ(primary->Blt(&leavingTheScreen, back.get(), nullptr, DDBLT_WAIT, nullptr), DD_OK);
  EXPECT_EQ(GetPixel(primary.get(), 0, 0), 0x00FF00u);
  EXPECT_EQ(GetPixel(primary.get(), 299, 219), 0x00FF00u);
  EXPECT_EQ(GetPixel(primary.get(), 300, 220), 0u);
  const PresentedFrame& frame = LastPresentedFrame();
  EXPECT_FALSE(frame.fullScreen);
  ASSERT_GT(frame.width, 300);
  EXPECT_EQ(frame.pixels[0], 0x00FF00u);
  const RECT inverted{10, 10, 5, 20};
  EXPECT_EQ(primary->Blt(&inverted, back.get(), nullptr, 0, nullptr), DDERR_INVALIDRECT);
}

// The windowed display set-up as the runtime makes it, one frame, and its release in order.
TEST_F(DirectDrawTest, TheWindowedSetUpShowsAFrameAndItsReleaseLeavesNothing) {
  ASSERT_EQ(dd_->SetCooperativeLevel(TestWindow(), DDSCL_NORMAL), DD_OK);
  DDCAPS caps{};
  caps.dwSize = sizeof caps;
  ASSERT_EQ(dd_->GetCaps(&caps, nullptr), DD_OK);
  DirectDrawSurface* primary = Make(Desc(DDSCAPS_PRIMARYSURFACE)).release();
  ASSERT_NE(primary, nullptr);
  DDSURFACEDESC2 backDesc = Desc(DDSCAPS_3DDEVICE | DDSCAPS_VIDEOMEMORY, 640, 480);
  backDesc.dwFlags |= DDSD_CKSRCBLT;
  DirectDrawSurface* back = Make(backDesc).release();
  ASSERT_NE(back, nullptr);
  DirectDrawSurface* depth =
      Make(DescWithFormat(DDSCAPS_ZBUFFER | DDSCAPS_VIDEOMEMORY, 640, 480, DepthFormat(16))).release();
  ASSERT_NE(depth, nullptr);
  ASSERT_EQ(back->AddAttachedSurface(depth), DD_OK);
  DirectDrawClipper* clipper = nullptr;
  ASSERT_EQ(dd_->CreateClipper(0, &clipper, nullptr), DD_OK);
  ASSERT_EQ(clipper->SetHWnd(0, TestWindow()), DD_OK);
  ASSERT_EQ(primary->SetClipper(clipper), DD_OK);
  clipper->Release();
  DirectDrawGammaControl* gamma = nullptr;
  ASSERT_EQ(primary->QueryGammaControl(&gamma), DD_OK);
  const DDCOLORKEY black{0, 0};
  ASSERT_EQ(primary->SetColorKey(DDCKEY_SRCBLT, &black), DD_OK);
  ASSERT_EQ(back->SetColorKey(DDCKEY_SRCBLT, &black), DD_OK);

  ASSERT_EQ(Fill(back, 0x336699), DD_OK);
  const RECT source{0, 0, 640, 480};
  ASSERT_EQ(primary->Blt(&source, back, &source, 0, nullptr), DD_OK);
  EXPECT_EQ(LastPresentedFrame().pixels[640 * 240 + 320], 0x336699u);

  EXPECT_EQ(gamma->Release(), 1u);
  EXPECT_EQ(primary->Release(), 0u);
  EXPECT_EQ(back->Release(), 0u);
  EXPECT_EQ(depth->Release(), 0u);
  EXPECT_EQ(LiveSurfaceCount(), 0u);
}

TEST(PresentationTest, TheFullScreenPictureKeepsItsAspectInTheWindow) {
  struct Case {
    int pictureWidth, pictureHeight, areaWidth, areaHeight;
    PictureRect expected;
  };
  const Case cases[] = {
      {640, 480, 640, 480, {0, 0, 640, 480}},     {640, 480, 1920, 1080, {240, 0, 1440, 1080}},
      {640, 480, 800, 800, {0, 100, 800, 600}},   {320, 240, 1000, 600, {100, 0, 800, 600}},
      {800, 600, 1279, 1024, {0, 32, 1279, 959}}, {640, 480, 0, 480, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FitPicture(c.pictureWidth, c.pictureHeight, c.areaWidth, c.areaHeight), c.expected)
        << c.pictureWidth << "x" << c.pictureHeight << " in " << c.areaWidth << "x" << c.areaHeight;
  }
  EXPECT_FALSE(SetPresentationDriver("x11"));
  EXPECT_TRUE(SetPresentationDriver("headless"));
  EXPECT_TRUE(SetPresentationDriver("auto"));
}

TEST_F(FullScreenTest, PresentationDrawsIntoARealSdlWindow) {
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
  SDL_Window* window = SDL_CreateWindow("display test", 0, 0, 1000, 600, SDL_WINDOW_HIDDEN);
  ASSERT_NE(window, nullptr) << SDL_GetError();
  SetPresentationWindow(window);
  {
    auto primary = FlipChain();
    DirectDrawSurface* back = BackBufferOf(primary.get());
    ASSERT_EQ(Fill(back, 0xF800), DD_OK);
    ASSERT_EQ(primary->Flip(nullptr, 0), DD_OK);
    ASSERT_EQ(primary->Flip(nullptr, 0), DD_OK);  // a second frame reuses the renderer
    ASSERT_EQ(primary->Flip(nullptr, 0), DD_OK);
    PictureRect place{};
    int width = 0;
    int height = 0;
    ASSERT_TRUE(LastPictureRect(&place, &width, &height));
    EXPECT_EQ(place, (PictureRect{100, 0, 800, 600}));
    EXPECT_EQ(width, 640);
    SDL_Renderer* renderer = SDL_GetRenderer(window);
    ASSERT_NE(renderer, nullptr);
    uint32_t inside = 0;
    uint32_t border = 0;
    const SDL_Rect middle{500, 300, 1, 1};
    const SDL_Rect left{50, 300, 1, 1};
    ASSERT_EQ(SDL_RenderReadPixels(renderer, &middle, SDL_PIXELFORMAT_RGB888, &inside, 4), 0) << SDL_GetError();
    ASSERT_EQ(SDL_RenderReadPixels(renderer, &left, SDL_PIXELFORMAT_RGB888, &border, 4), 0) << SDL_GetError();
    EXPECT_EQ(inside & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(border & 0xFFFFFF, 0u);
  }
  dd_.reset();  // gives the renderer back while the window lives
  SetPresentationWindow(nullptr);
  SDL_DestroyWindow(window);
  SDL_PumpEvents();
  SDL_FlushEvent(SDL_WINDOWEVENT);  // our window's events are no other test's
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

}  // namespace
}  // namespace vx::win::testing
