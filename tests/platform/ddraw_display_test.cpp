// The display: drivers and their enumeration, the cooperative level, display modes, the primary
// surface with its flip chain, presentation (headless frames, gamma, BMP dumps, geometry) and one
// presentation into a real SDL window under the dummy video driver.
#include <SDL.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "ddraw_test_support.h"
#include "tests/support/temp_folder.h"

namespace vx::win::testing {
namespace {

constexpr DWORD kFullScreen = DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN;

Ref<DirectDraw> NewDirectDraw(const GUID* driver = nullptr) {
  DirectDraw* made = nullptr;
  EXPECT_EQ(DirectDrawCreateEx(driver, &made, IID_IDirectDraw7, nullptr), DD_OK);
  return Ref<DirectDraw>(made);
}

struct Listing {
  std::vector<std::pair<bool, std::string>> drivers;  // whether the GUID was null, and the description
  bool stop = false;
};

BOOL ListDriver(GUID* guid, char* description, char*, void* context) {
  auto* listing = static_cast<Listing*>(context);
  listing->drivers.emplace_back(guid == nullptr, description);
  return listing->stop ? FALSE_ : TRUE_;
}

TEST_F(DirectDrawTest, DriversAreListedPrimaryFirstAndMadeByGuid) {
  Listing listing;
  ASSERT_EQ(DirectDrawEnumerateA(ListDriver, &listing), DD_OK);
  const std::pair<bool, std::string> primary{true, "Primary Display Driver"};
  EXPECT_EQ(listing.drivers, (std::vector{primary}));

  const GUID addOn{0x1234, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
  SetDisplayDrivers({CurrentDisplayDrivers()[0], DisplayDriverInfo{addOn, "Add-on 3D Card", "addon", 0, {}}});
  listing.drivers.clear();
  ASSERT_EQ(DirectDrawEnumerateA(ListDriver, &listing), DD_OK);
  EXPECT_EQ(listing.drivers, (std::vector{primary, std::pair<bool, std::string>{false, "Add-on 3D Card"}}));
  listing = {{}, true};
  ASSERT_EQ(DirectDrawEnumerateA(ListDriver, &listing), DD_OK);
  EXPECT_EQ(listing.drivers.size(), 1u) << "a callback that answers FALSE ends the enumeration";

  Ref<DirectDraw> onCard = NewDirectDraw(&addOn);
  EXPECT_EQ(onCard->DriverGuid(), addOn);
  EXPECT_EQ(LiveDirectDrawCount(), 2u);
  const GUID unknown{0x9999, 0, 0, {}};
  DirectDraw* made = nullptr;
  EXPECT_EQ(DirectDrawCreateEx(&unknown, &made, IID_IDirectDraw7, nullptr), DDERR_INVALIDDIRECTDRAWGUID);
}

TEST_F(DirectDrawTest, TheCooperativeLevelIsNormalOrExclusiveFullScreen) {
  const HWND window = TestWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(dd_->SetCooperativeLevel(window, DDSCL_EXCLUSIVE), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dd_->SetCooperativeLevel(window, DDSCL_NORMAL | kFullScreen), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dd_->SetCooperativeLevel(nullptr, kFullScreen), DDERR_INVALIDPARAMS);
  ASSERT_EQ(dd_->SetCooperativeLevel(window, kFullScreen), DD_OK);
  EXPECT_TRUE(dd_->IsExclusive());
  Ref<DirectDraw> other = NewDirectDraw();
  EXPECT_EQ(other->SetCooperativeLevel(window, kFullScreen), DDERR_EXCLUSIVEMODEALREADYSET);
  EXPECT_EQ(other->SetCooperativeLevel(window, DDSCL_NORMAL), DD_OK);
  ASSERT_EQ(dd_->SetCooperativeLevel(window, DDSCL_NORMAL | DDSCL_FPUPRESERVE), DD_OK);
  EXPECT_EQ(other->SetCooperativeLevel(window, kFullScreen), DD_OK);
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
  auto filter = Sized<DDSURFACEDESC2>();
  ASSERT_EQ(dd_->EnumDisplayModes(0, &filter, &modes, CollectMode), DD_OK);
  for (const DisplayModeInfo& wanted : {DisplayModeInfo{640, 480, 16}, {640, 480, 24}, {640, 480, 32},
                                        {800, 600, 16}, {1024, 768, 32}}) {
    EXPECT_NE(std::find(modes.begin(), modes.end(), wanted), modes.end()) << wanted.width << "x" << wanted.bitsPerPixel;
  }
  for (size_t i = 0; i < modes.size(); ++i) {
    EXPECT_TRUE(modes[i].bitsPerPixel == 16 || modes[i].bitsPerPixel == 24 || modes[i].bitsPerPixel == 32);
    if (i == 0) continue;
    EXPECT_TRUE(modes[i - 1].width < modes[i].width ||
                (modes[i - 1].width == modes[i].width && modes[i - 1].height <= modes[i].height));
  }
  filter.dwFlags = DDSD_PIXELFORMAT | DDSD_WIDTH;
  filter.dwWidth = 800;
  filter.ddpfPixelFormat.dwRGBBitCount = 24;
  modes.clear();
  ASSERT_EQ(dd_->EnumDisplayModes(0, &filter, &modes, CollectMode), DD_OK);
  EXPECT_EQ(modes, (std::vector<DisplayModeInfo>{{800, 600, 24}}));
  modes.clear();
  ASSERT_EQ(dd_->EnumDisplayModes(0, nullptr, &modes, StopAtFirst), DD_OK);
  EXPECT_EQ(modes.size(), 1u);

  // A configured machine reports exactly its own list, 8-bit modes included.
  DisplayDriverInfo old = CurrentDisplayDrivers()[0];
  old.modes = {{320, 200, 8}, {640, 480, 16}};
  SetDisplayDrivers({old});
  Ref<DirectDraw> oldCard = NewDirectDraw();
  modes.clear();
  ASSERT_EQ(oldCard->EnumDisplayModes(0, nullptr, &modes, CollectMode), DD_OK);
  EXPECT_EQ(modes, old.modes);
  ASSERT_EQ(oldCard->SetCooperativeLevel(TestWindow(), kFullScreen), DD_OK);
  EXPECT_EQ(oldCard->SetDisplayMode(800, 600, 16, 0, 0), DDERR_INVALIDMODE);
}

TEST_F(DirectDrawTest, SettingAModeNeedsTheExclusiveLevelForAnotherDepthAndLosesSurfaces) {
  EXPECT_EQ(dd_->SetCooperativeLevel(TestWindow(), DDSCL_NORMAL), DD_OK);
  EXPECT_EQ(dd_->SetDisplayMode(640, 480, 16, 0, 0), DDERR_NOEXCLUSIVEMODE);
  EXPECT_EQ(dd_->SetDisplayMode(641, 480, 32, 0, 0), DDERR_INVALIDMODE);
  ASSERT_EQ(dd_->SetCooperativeLevel(TestWindow(), kFullScreen), DD_OK);
  auto video = Make(Desc(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY, 4, 4));
  ASSERT_EQ(dd_->SetDisplayMode(800, 600, 16, 0, 0), DD_OK);
  EXPECT_EQ(video->IsLost(), DDERR_SURFACELOST);
  auto mode = Sized<DDSURFACEDESC2>();
  ASSERT_EQ(dd_->GetDisplayMode(&mode), DD_OK);
  EXPECT_EQ(mode.dwWidth, 800u);
  EXPECT_EQ(mode.ddpfPixelFormat.dwRGBBitCount, 16u);
  EXPECT_EQ(mode.ddpfPixelFormat.dwGBitMask, 0x07E0u);
  DDPIXELFORMAT format{};
  ASSERT_EQ(Make(Desc(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY, 4, 4))->GetPixelFormat(&format), DD_OK);
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
    ASSERT_EQ(dd_->SetCooperativeLevel(TestWindow(), kFullScreen), DD_OK);
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

  // Not a reference of its own: the back buffer goes with the primary.
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
  DirectDrawSurface* back = BackBufferOf(primary.get());
  ASSERT_NE(back, nullptr);
  auto desc = Sized<DDSURFACEDESC2>();
  ASSERT_EQ(primary->GetSurfaceDesc(&desc), DD_OK);
  EXPECT_EQ(desc.dwWidth, 640u);
  EXPECT_EQ(desc.dwBackBufferCount, 1u);
  const DWORD front = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FRONTBUFFER | DDSCAPS_FLIP;
  EXPECT_EQ(desc.ddsCaps.dwCaps & front, front);
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
  ASSERT_EQ(std::pair(frame.width, frame.height), std::pair(640, 480));
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
  Make(Desc(DDSCAPS_PRIMARYSURFACE), DDERR_PRIMARYSURFACEALREADYEXISTS);
  EXPECT_EQ(primary->Release(), 0u);
  EXPECT_EQ(LiveSurfaceCount(), 0u) << "the back buffer went with the primary";
  EXPECT_TRUE(Make(Desc(DDSCAPS_PRIMARYSURFACE)));

  // A flip chain needs the exclusive level, and a primary comes back only in its own mode.
  ASSERT_EQ(dd_->SetCooperativeLevel(TestWindow(), DDSCL_NORMAL), DD_OK);
  EXPECT_FALSE(FlipChain(DDERR_NOEXCLUSIVEMODE));
  ASSERT_EQ(dd_->SetCooperativeLevel(TestWindow(), kFullScreen), DD_OK);
  ASSERT_EQ(dd_->SetDisplayMode(640, 480, 16, 0, 0), DD_OK);
  auto chain = FlipChain();
  ASSERT_TRUE(chain);
  ASSERT_EQ(dd_->SetDisplayMode(800, 600, 32, 0, 0), DD_OK);
  EXPECT_EQ(chain->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(chain->Restore(), DDERR_WRONGMODE);
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
  test::TempFolder folder;
  ASSERT_TRUE(WriteFrameBmp(LastPresentedFrame(), folder.path() + "frame.bmp"));
  const std::string file = folder.Read("frame.bmp");
  const auto* bytes = reinterpret_cast<const uint8_t*>(file.data());
  ASSERT_EQ(file.size(), 54u + 640u * 480u * 3u);
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(LoadPixel(bytes + 18, 4), 640u);
  EXPECT_EQ(LoadPixel(bytes + 22, 4), 480u);
  EXPECT_EQ(bytes[28], 24);
  // Rows go bottom up.
  const auto pixelAt = [&](size_t x, size_t y) { return LoadPixel(bytes + 54 + (479 - y) * 640 * 3 + x * 3, 3); };
  EXPECT_EQ(pixelAt(0, 0), 0xFFFF00u);
  EXPECT_EQ(pixelAt(639, 479), 0x00FF00u);
  EXPECT_EQ(pixelAt(1, 0), 0u);
  EXPECT_FALSE(WriteFrameBmp(PresentedFrame{}, folder.path() + "frame.bmp"));
  EXPECT_FALSE(WriteFrameBmp(LastPresentedFrame(), folder.path() + "missing/frame.bmp"));
}

// The windowed display set-up as the runtime makes it: a clipped primary, a back buffer with a
// depth buffer, blits that leave the screen, and a release in order that leaves nothing.
TEST_F(DirectDrawTest, TheWindowedSetUpClipsItsBlitsAndItsReleaseLeavesNothing) {
  ASSERT_EQ(dd_->SetCooperativeLevel(TestWindow(), DDSCL_NORMAL), DD_OK);
  DirectDrawSurface* primary = Make(Desc(DDSCAPS_PRIMARYSURFACE)).release();
  ASSERT_NE(primary, nullptr);
  EXPECT_EQ(primary->Width(), static_cast<DWORD>(GetSystemMetrics(SM_CXSCREEN)));
  DDSURFACEDESC2 backDesc = Desc(DDSCAPS_3DDEVICE | DDSCAPS_VIDEOMEMORY, 640, 480);
  backDesc.dwFlags |= DDSD_CKSRCBLT;
  DirectDrawSurface* back = Make(backDesc).release();
  ASSERT_NE(back, nullptr);
  DirectDrawSurface* depth =
      Make(DescWithFormat(DDSCAPS_ZBUFFER | DDSCAPS_VIDEOMEMORY, 640, 480, DepthFormat(16))).release();
  ASSERT_NE(depth, nullptr);
  ASSERT_EQ(back->AddAttachedSurface(depth), DD_OK);
  DirectDrawGammaControl* gamma = nullptr;
  ASSERT_EQ(primary->QueryGammaControl(&gamma), DD_OK);
  const DDCOLORKEY black{0, 0};
  ASSERT_EQ(primary->SetColorKey(DDCKEY_SRCBLT, &black), DD_OK);
  ASSERT_EQ(back->SetColorKey(DDCKEY_SRCBLT, &black), DD_OK);

  ASSERT_EQ(Fill(back, 0x00FF00), DD_OK);
  const RECT leavingTheScreen{-20, -20, 300, 220};
  EXPECT_EQ(primary->Blt(&leavingTheScreen, back, nullptr, DDBLT_WAIT, nullptr), DDERR_INVALIDRECT);
  DirectDrawClipper* clipper = nullptr;
  ASSERT_EQ(dd_->CreateClipper(0, &clipper, nullptr), DD_OK);
  ASSERT_EQ(clipper->SetHWnd(0, TestWindow()), DD_OK);
  ASSERT_EQ(primary->SetClipper(clipper), DD_OK);
  clipper->Release();
  EXPECT_EQ(primary->BltFast(0, 0, back, nullptr, 0), DDERR_BLTFASTCANTCLIP);
  ASSERT_EQ(primary->Blt(&leavingTheScreen, back, nullptr, DDBLT_WAIT, nullptr), DD_OK);
  EXPECT_EQ(GetPixel(primary, 0, 0), 0x00FF00u);
  EXPECT_EQ(GetPixel(primary, 299, 219), 0x00FF00u);
  EXPECT_EQ(GetPixel(primary, 300, 220), 0u);
  EXPECT_FALSE(LastPresentedFrame().fullScreen);
  ASSERT_GT(LastPresentedFrame().width, 300);
  EXPECT_EQ(LastPresentedFrame().pixels[0], 0x00FF00u);
  const RECT inverted{10, 10, 5, 20};
  EXPECT_EQ(primary->Blt(&inverted, back, nullptr, 0, nullptr), DDERR_INVALIDRECT);
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
  const struct { int pictureWidth, pictureHeight, areaWidth, areaHeight; PictureRect expected; } cases[] = {
      {640, 480, 640, 480, {0, 0, 640, 480}},     {640, 480, 1920, 1080, {240, 0, 1440, 1080}},
      {640, 480, 800, 800, {0, 100, 800, 600}},   {320, 240, 1000, 600, {100, 0, 800, 600}},
      {800, 600, 1279, 1024, {0, 32, 1279, 959}}, {640, 480, 0, 480, {0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
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
    ASSERT_EQ(Fill(BackBufferOf(primary.get()), 0xF800), DD_OK);
    for (int frame = 0; frame < 3; ++frame) ASSERT_EQ(primary->Flip(nullptr, 0), DD_OK);  // reusing the renderer
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
