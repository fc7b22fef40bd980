// The display: display modes, the primary surface with its flip chain and what it holds, the
// presented frame (made when it is looked at, again only where the primary changed, and kept when
// the primary goes) against a pixel-by-pixel reading of the primary, and the windowed set-up's
// clipped blits.
#include <utility>
#include <vector>

#include "ddraw_test_support.h"

namespace vx::win::testing {
namespace {

constexpr DWORD kFullScreen = DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN;

TEST_F(DirectDrawTest, SettingAModeNeedsTheExclusiveLevelForAnotherDepthAndLosesSurfaces) {
  EXPECT_EQ(dd_->SetCooperativeLevel(TestWindow(), DDSCL_NORMAL), DD_OK);
  EXPECT_EQ(dd_->SetDisplayMode(640, 480, 16, 0, 0), DDERR_NOEXCLUSIVEMODE);
  EXPECT_EQ(dd_->SetDisplayMode(641, 480, 32, 0, 0), DDERR_INVALIDMODE);
  ASSERT_EQ(dd_->SetCooperativeLevel(TestWindow(), kFullScreen), DD_OK);
  auto video = Make(Desc(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY, 4, 4));
  ASSERT_EQ(dd_->SetDisplayMode(800, 600, 16, 0, 0), DD_OK);
  EXPECT_EQ(video->IsLost(), DDERR_SURFACELOST);
  auto mode = Sized<DDSURFACEDESC2>();
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
}

// The primary's picture as a presented frame must hold it: each pixel read on its own, through the
// gamma ramp.
std::vector<uint32_t> ShownPicture(DirectDrawSurface* primary, const DDGAMMARAMP& ramp) {
  std::vector<uint32_t> picture;
  const SurfacePixels pixels = primary->Pixels();
  for (DWORD y = 0; y < pixels.height; ++y)
    for (DWORD x = 0; x < pixels.width; ++x) {
      const uint32_t c = ReadPixelArgb(pixels, x, y);
      const uint32_t red = ramp.red[(c >> 16) & 0xFF] >> 8, green = ramp.green[(c >> 8) & 0xFF] >> 8;
      picture.push_back(red << 16 | green << 8 | uint32_t(ramp.blue[c & 0xFF] >> 8));
    }
  return picture;
}

TEST_F(FullScreenTest, AFrameHoldsThePictureShownWhateverChangedSinceTheLastAndOnceThePrimaryWent) {
  DirectDrawSurface* primary = FlipChain().release();
  ASSERT_NE(primary, nullptr);
  DirectDrawSurface* back = BackBufferOf(primary);
  DDGAMMARAMP ramp{};
  for (int i = 0; i < 256; ++i) ramp.red[i] = ramp.green[i] = ramp.blue[i] = WORD(i << 8);
  ASSERT_EQ(Fill(back, 0xF800), DD_OK);
  ASSERT_EQ(primary->Flip(nullptr, 0), DD_OK);
  EXPECT_EQ(LastPresentedFrame().pixels, ShownPicture(primary, ramp));
  // One pixel of one row differs from the last frame.
  ASSERT_EQ(Fill(back, 0xF800), DD_OK);
  SetPixel(back, 5, 7, 0x07E0);
  const uint64_t before = LastPresentedFrame().number;
  ASSERT_EQ(primary->Flip(nullptr, 0), DD_OK);
  const PresentedFrame& frame = LastPresentedFrame();
  EXPECT_EQ(frame.number, before + 1);
  EXPECT_EQ(frame.pixels[7 * 640 + 5], 0x00FF00u);
  EXPECT_EQ(frame.pixels, ShownPicture(primary, ramp));
  // The same bytes under another gamma ramp are another picture.
  DirectDrawGammaControl* gamma = nullptr;
  ASSERT_EQ(primary->QueryGammaControl(&gamma), DD_OK);
  for (int i = 0; i < 256; ++i) ramp.red[i] = ramp.green[i] = ramp.blue[i] = WORD((i / 2) << 8);
  ASSERT_EQ(gamma->SetGammaRamp(0, &ramp), DD_OK);
  gamma->Release();
  EXPECT_EQ(LastPresentedFrame().pixels, ShownPicture(primary, ramp));
  // Drawn on the back buffer only: nothing shown changes.
  const std::vector<uint32_t> shown = LastPresentedFrame().pixels;
  ASSERT_EQ(Fill(back, 0x001F), DD_OK);
  EXPECT_EQ(LastPresentedFrame().pixels, shown);
  // A frame shown but not yet looked at stays when the primary goes.
  ASSERT_EQ(primary->Flip(nullptr, 0), DD_OK);
  const std::vector<uint32_t> last = ShownPicture(primary, ramp);
  EXPECT_EQ(primary->Release(), 0u);
  EXPECT_EQ(LastPresentedFrame().pixels, last);
  EXPECT_EQ(LastPresentedFrame().pixels[0], 0x00007Fu) << "blue at half strength";
}

// The windowed display set-up: a primary clipped to the window takes blits that leave the screen.
TEST_F(DirectDrawTest, TheWindowedSetUpClipsItsBlits) {
  ASSERT_EQ(dd_->SetCooperativeLevel(TestWindow(), DDSCL_NORMAL), DD_OK);
  DirectDrawSurface* primary = Make(Desc(DDSCAPS_PRIMARYSURFACE)).release();
  ASSERT_NE(primary, nullptr);
  EXPECT_EQ(primary->Width(), static_cast<DWORD>(GetSystemMetrics(SM_CXSCREEN)));
  DirectDrawSurface* back = Make(Desc(DDSCAPS_3DDEVICE | DDSCAPS_VIDEOMEMORY, 640, 480)).release();
  ASSERT_NE(back, nullptr);
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
  const RECT inverted{10, 10, 5, 20};
  EXPECT_EQ(primary->Blt(&inverted, back, nullptr, 0, nullptr), DDERR_INVALIDRECT);

  EXPECT_EQ(primary->Release(), 0u);
  EXPECT_EQ(back->Release(), 0u);
}

TEST(DisplayDriversTest, AnAddedCardIsEnumeratedAfterThePrimaryWithAGuidOfItsOwn) {
  ResetDisplayFaults();
  DisplayDriverInfo card;
  card.description = "Second";
  card.name = "second";
  card.modes = {{640, 480, 32}};
  const GUID first = AddDisplayDriver(card);
  card.description = "Third";
  const GUID second = AddDisplayDriver(card);
  EXPECT_FALSE(first == GUID{});
  EXPECT_FALSE(first == second);
  std::vector<std::pair<bool, std::string>> seen;  // null GUID, description
  DirectDrawEnumerateA(
      [](GUID* guid, char* description, char*, void* context) -> BOOL {
        static_cast<decltype(seen)*>(context)->emplace_back(guid == nullptr, description);
        return 1;
      },
      &seen);
  EXPECT_EQ(seen, (std::vector<std::pair<bool, std::string>>{{true, "Primary Display Driver"},
                                                             {false, "Second"},
                                                             {false, "Third"}}));
  // DirectDraw on the added card offers the card's own modes.
  DirectDraw* dd = nullptr;
  ASSERT_EQ(DirectDrawCreateEx(&first, &dd, IID_IDirectDraw7, nullptr), DD_OK);
  EXPECT_EQ(dd->DriverGuid(), first);
  int modes = 0;
  dd->EnumDisplayModes(0, nullptr, &modes, [](DDSURFACEDESC2*, void* context) -> HRESULT {
    ++*static_cast<int*>(context);
    return DDENUMRET_OK;
  });
  EXPECT_EQ(modes, 1);
  dd->Release();
  ResetDisplayFaults();
  EXPECT_EQ(CurrentDisplayDrivers().size(), 1u);
}

}  // namespace
}  // namespace vx::win::testing
