// Surfaces: creation and its failures, locks, lost and busy surfaces, video memory, reference
// counts of attached surfaces and mip chains, and device contexts handed out by the GDI layer.
#include <sys/mman.h>

#include <vector>

#include "ddraw_test_support.h"

namespace vx::win::testing {
namespace {

TEST_F(DirectDrawTest, LocksGiveTheRowPitchAndTheAddressOfTheRectangle) {
  for (const DWORD bits : {8u, 16u, 24u, 32u}) {
    for (DWORD width = 1; width <= 5; ++width) {
      SCOPED_TRACE(::testing::Message() << bits << " bits, width " << width);
      auto surface = Plain(width, 3, bits);
      auto whole = Sized<DDSURFACEDESC2>();
      ASSERT_EQ(surface->Lock(nullptr, &whole, DDLOCK_WAIT, nullptr), DD_OK);
      EXPECT_EQ(whole.dwFlags & (DDSD_PITCH | DDSD_LPSURFACE | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT),
                DDSD_PITCH | DDSD_LPSURFACE | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT);
      EXPECT_EQ(whole.dwWidth, width);
      EXPECT_EQ(whole.ddpfPixelFormat.dwRGBBitCount, bits);
      EXPECT_GE(whole.lPitch, static_cast<LONG>(width * bits / 8));
      EXPECT_EQ(whole.lPitch % 4, 0);
      auto* start = static_cast<uint8_t*>(whole.lpSurface);
      ASSERT_EQ(surface->Unlock(nullptr), DD_OK);
      const RECT corner{static_cast<LONG>(width) - 1, 2, static_cast<LONG>(width), 3};
      auto part = Sized<DDSURFACEDESC2>();
      ASSERT_EQ(surface->Lock(&corner, &part, DDLOCK_WAIT, nullptr), DD_OK);
      EXPECT_EQ(static_cast<uint8_t*>(part.lpSurface), start + 2 * whole.lPitch + (width - 1) * (bits / 8));
      ASSERT_EQ(surface->Unlock(&corner), DD_OK);
    }
  }
}

#ifdef MAP_32BIT
TEST_F(DirectDrawTest, LockedPixelsSitBelowTwoGigabytes) {
  auto surface = Plain(640, 480, 16);
  auto desc = Sized<DDSURFACEDESC2>();
  ASSERT_EQ(surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DD_OK);
  EXPECT_LT(reinterpret_cast<uintptr_t>(desc.lpSurface), uintptr_t{0x80000000u});
  surface->Unlock(nullptr);
}
#endif

TEST_F(DirectDrawTest, ALockedSurfaceIsBusyUntilItIsUnlocked) {
  auto surface = Plain(4, 4, 32);
  auto other = Plain(4, 4, 32);
  auto desc = Sized<DDSURFACEDESC2>();
  EXPECT_EQ(surface->Unlock(nullptr), DDERR_NOTLOCKED);
  DDSURFACEDESC2 wrongSize = desc;
  wrongSize.dwSize = 124;
  EXPECT_EQ(surface->Lock(nullptr, &wrongSize, DDLOCK_WAIT, nullptr), DDERR_INVALIDPARAMS);
  const RECT outside{0, 0, 5, 1};
  EXPECT_EQ(surface->Lock(&outside, &desc, DDLOCK_WAIT, nullptr), DDERR_INVALIDRECT);
  ASSERT_EQ(surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DD_OK);
  EXPECT_EQ(surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DDERR_SURFACEBUSY);
  EXPECT_EQ(Fill(surface.get(), 1), DDERR_SURFACEBUSY);
  EXPECT_EQ(other->BltFast(0, 0, surface.get(), nullptr, 0), DDERR_SURFACEBUSY);
  const uint64_t before = surface->ContentVersion();
  ASSERT_EQ(surface->Unlock(nullptr), DD_OK);
  EXPECT_GT(surface->ContentVersion(), before);
  EXPECT_EQ(Fill(surface.get(), 1), DD_OK);
}

TEST_F(DirectDrawTest, SurfaceCreationChecksItsDescription) {
  DDSURFACEDESC2 noSize = Desc(DDSCAPS_OFFSCREENPLAIN);
  DDSURFACEDESC2 badSize = Desc(DDSCAPS_OFFSCREENPLAIN, 4, 4);
  badSize.dwSize = 124;
  DDSURFACEDESC2 zeroWide = Desc(DDSCAPS_OFFSCREENPLAIN, 0, 4);
  DDSURFACEDESC2 bothMemories = Desc(DDSCAPS_SYSTEMMEMORY | DDSCAPS_VIDEOMEMORY, 4, 4);
  DDSURFACEDESC2 tooManyLevels =
      DescWithFormat(DDSCAPS_TEXTURE | DDSCAPS_MIPMAP | DDSCAPS_COMPLEX, 8, 8, DisplayPixelFormat(16));
  tooManyLevels.dwFlags |= DDSD_MIPMAPCOUNT;
  tooManyLevels.dwMipMapCount = 5;  // 8, 4, 2, 1 are four
  DDPIXELFORMAT twelveBits = DisplayPixelFormat(16);
  twelveBits.dwRGBBitCount = 12;
  const struct { const char* name; DDSURFACEDESC2 desc; HRESULT expected; } cases[] = {
      {"no size", noSize, DDERR_INVALIDPARAMS},
      {"a 32-bit size field", badSize, DDERR_INVALIDPARAMS},
      {"no width", zeroWide, DDERR_INVALIDPARAMS},
      {"both memories", bothMemories, DDERR_INVALIDCAPS},
      {"twelve bits", DescWithFormat(DDSCAPS_OFFSCREENPLAIN, 4, 4, twelveBits), DDERR_INVALIDPIXELFORMAT},
      {"a depth buffer without a depth format", Desc(DDSCAPS_ZBUFFER, 4, 4), DDERR_INVALIDPIXELFORMAT},
      {"a depth format on a plain surface", DescWithFormat(DDSCAPS_OFFSCREENPLAIN, 4, 4, DepthFormat(16)),
       DDERR_INVALIDPIXELFORMAT},
      {"mip maps of no texture", DescWithFormat(DDSCAPS_MIPMAP | DDSCAPS_COMPLEX, 8, 8, DisplayPixelFormat(16)),
       DDERR_INVALIDCAPS},
      {"more levels than halvings", tooManyLevels, DDERR_INVALIDPARAMS},
      {"a back buffer alone", Desc(DDSCAPS_BACKBUFFER, 4, 4), DDERR_INVALIDCAPS},
      {"wider than any picture", Desc(DDSCAPS_SYSTEMMEMORY, 65536, 2), DDERR_OUTOFMEMORY},
      {"sides whose product overflows 32 bits", Desc(DDSCAPS_SYSTEMMEMORY, 16384, 16384), DDERR_OUTOFMEMORY},
      {"too large for video memory", Desc(DDSCAPS_VIDEOMEMORY, 16000, 16000), DDERR_OUTOFVIDEOMEMORY},
      {"a primary before any cooperative level", Desc(DDSCAPS_PRIMARYSURFACE), DDERR_NOCOOPERATIVELEVELSET},
  };
  for (const auto& c : cases) EXPECT_FALSE(Make(c.desc, c.expected)) << c.name;
  DirectDrawSurface* none = reinterpret_cast<DirectDrawSurface*>(1);
  DDSURFACEDESC2 fine = Desc(DDSCAPS_OFFSCREENPLAIN, 4, 4);
  EXPECT_EQ(dd_->CreateSurface(&fine, &none, reinterpret_cast<void*>(1)), DDERR_INVALIDPARAMS);
  EXPECT_EQ(none, nullptr);
}

TEST_F(DirectDrawTest, SurfacesWithoutAFormatTakeTheDisplaysAndTheirMemoryIsReported) {
  auto plain = Make(Desc(DDSCAPS_OFFSCREENPLAIN, 4, 4));
  auto desc = Sized<DDSURFACEDESC2>();
  ASSERT_EQ(plain->GetSurfaceDesc(&desc), DD_OK);
  EXPECT_EQ(desc.ddpfPixelFormat.dwRGBBitCount, 32u);  // the desktop's, with no mode set
  EXPECT_TRUE(desc.ddsCaps.dwCaps & DDSCAPS_VIDEOMEMORY);
  auto system = Make(Desc(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY, 4, 4));
  ASSERT_EQ(system->GetSurfaceDesc(&desc), DD_OK);
  EXPECT_TRUE(desc.ddsCaps.dwCaps & DDSCAPS_SYSTEMMEMORY);
  EXPECT_FALSE(desc.ddsCaps.dwCaps & DDSCAPS_VIDEOMEMORY);
  DDSURFACEDESC2 managedDesc = Desc(DDSCAPS_TEXTURE, 4, 4);
  managedDesc.ddsCaps.dwCaps2 = DDSCAPS2_TEXTUREMANAGE;
  auto managed = Make(managedDesc);
  ASSERT_EQ(managed->GetSurfaceDesc(&desc), DD_OK);
  EXPECT_FALSE(desc.ddsCaps.dwCaps & (DDSCAPS_VIDEOMEMORY | DDSCAPS_SYSTEMMEMORY));
  EXPECT_EQ(desc.ddsCaps.dwCaps2, DDSCAPS2_TEXTUREMANAGE);
}

TEST_F(DirectDrawTest, VideoMemoryRunsOutAtItsLimit) {
  SetVideoMemoryLimit(uint64_t{1} << 20);
  const DDSCAPS2 textures{DDSCAPS_TEXTURE, 0, 0, {0}};
  DWORD total = 0;
  DWORD free = 0;
  ASSERT_EQ(dd_->GetAvailableVidMem(&textures, &total, &free), DD_OK);
  EXPECT_EQ(total, 1u << 20);
  EXPECT_EQ(free, 1u << 20);
  auto tooLarge = Make(Desc(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY, 640, 480), DDERR_OUTOFVIDEOMEMORY);
  {
    auto video = Make(Desc(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY, 256, 256));  // 256 KiB
    ASSERT_EQ(dd_->GetAvailableVidMem(&textures, &total, &free), DD_OK);
    EXPECT_EQ(free, (1u << 20) - (256u << 10));
    // A surface that names no memory goes to system memory when video memory is short.
    auto placed = Make(Desc(DDSCAPS_OFFSCREENPLAIN, 640, 480));
    DDSCAPS2 caps{};
    ASSERT_EQ(placed->GetCaps(&caps), DD_OK);
    EXPECT_TRUE(caps.dwCaps & DDSCAPS_SYSTEMMEMORY);
  }
  ASSERT_EQ(dd_->GetAvailableVidMem(&textures, &total, &free), DD_OK);
  EXPECT_EQ(free, 1u << 20);
  auto caps = Sized<DDCAPS>();
  ASSERT_EQ(dd_->GetCaps(&caps, nullptr), DD_OK);
  EXPECT_EQ(caps.dwVidMemTotal, 1u << 20);
  EXPECT_TRUE(caps.dwCaps2 & DDCAPS2_PRIMARYGAMMA);
  caps.dwSize = 380;
  EXPECT_EQ(dd_->GetCaps(&caps, nullptr), DDERR_INVALIDPARAMS);
}

TEST_F(DirectDrawTest, InjectedCreationFailuresHitOnlyWhatTheyAimAt) {
  FailSurfaceCreations(1, DDERR_OUTOFVIDEOMEMORY, DDSCAPS_ZBUFFER);
  auto plain = Plain(4, 4, 16);
  EXPECT_TRUE(plain);
  auto depth =
      Make(DescWithFormat(DDSCAPS_ZBUFFER | DDSCAPS_VIDEOMEMORY, 4, 4, DepthFormat(16)), DDERR_OUTOFVIDEOMEMORY);
  auto again = Make(DescWithFormat(DDSCAPS_ZBUFFER | DDSCAPS_VIDEOMEMORY, 4, 4, DepthFormat(16)));
  EXPECT_TRUE(again);

  SetDirectDrawCreationFailure(DDERR_NODIRECTDRAWHW);
  DirectDraw* second = reinterpret_cast<DirectDraw*>(1);
  EXPECT_EQ(DirectDrawCreateEx(nullptr, &second, IID_IDirectDraw7, nullptr), DDERR_NODIRECTDRAWHW);
  EXPECT_EQ(second, nullptr);
  SetDirectDrawCreationFailure(std::nullopt);
  EXPECT_EQ(DirectDrawCreateEx(nullptr, &second, IID_IDirectDrawGammaControl, nullptr), DDERR_INVALIDPARAMS);
}

TEST_F(DirectDrawTest, LostSurfacesRefuseWorkUntilRestored) {
  auto video = Make(Desc(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY, 4, 4));
  auto system = Plain(4, 4, 32);
  ASSERT_EQ(Fill(video.get(), 0x123456), DD_OK);
  LoseAllSurfaces();
  EXPECT_EQ(video->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(system->IsLost(), DD_OK);  // system memory is never lost
  auto desc = Sized<DDSURFACEDESC2>();
  EXPECT_EQ(video->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DDERR_SURFACELOST);
  EXPECT_EQ(Fill(video.get(), 0), DDERR_SURFACELOST);
  EXPECT_EQ(system->BltFast(0, 0, video.get(), nullptr, 0), DDERR_SURFACELOST);
  EXPECT_EQ(video->BltFast(0, 0, system.get(), nullptr, 0), DDERR_SURFACELOST);
  EXPECT_EQ(video->GetSurfaceDesc(&desc), DD_OK);

  SetRestoreFails(true);
  EXPECT_EQ(video->Restore(), DDERR_WRONGMODE);
  EXPECT_EQ(dd_->RestoreAllSurfaces(), DDERR_WRONGMODE);
  EXPECT_EQ(video->IsLost(), DDERR_SURFACELOST);
  SetRestoreFails(false);
  EXPECT_EQ(dd_->RestoreAllSurfaces(), DD_OK);
  EXPECT_EQ(video->IsLost(), DD_OK);
  EXPECT_EQ(GetPixel(video.get(), 0, 0), 0u) << "video memory comes back empty";
  EXPECT_EQ(Fill(video.get(), 1), DD_OK);

  LoseSurface(video.get());
  EXPECT_EQ(video->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(video->Restore(), DD_OK);
  EXPECT_EQ(system->Restore(), DD_OK);
}

TEST_F(DirectDrawTest, BusySurfacesSayStillDrawingUnlessTheCallWaits) {
  auto a = Plain(4, 4, 16);
  auto b = Plain(4, 4, 16);
  auto desc = Sized<DDSURFACEDESC2>();
  MakeSurfacesBusy(4);
  EXPECT_EQ(a->Blt(nullptr, b.get(), nullptr, 0, nullptr), DDERR_WASSTILLDRAWING);
  EXPECT_EQ(a->BltFast(0, 0, b.get(), nullptr, DDBLTFAST_NOCOLORKEY), DDERR_WASSTILLDRAWING);
  EXPECT_EQ(a->Lock(nullptr, &desc, 0, nullptr), DDERR_WASSTILLDRAWING);
  EXPECT_EQ(a->Blt(nullptr, b.get(), nullptr, DDBLT_WAIT, nullptr), DD_OK);  // waits out the last one
  EXPECT_EQ(a->Blt(nullptr, b.get(), nullptr, 0, nullptr), DD_OK);
  MakeSurfacesBusy(1);
  EXPECT_EQ(a->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DD_OK);
  EXPECT_EQ(a->Unlock(nullptr), DD_OK);
  EXPECT_EQ(a->Lock(nullptr, &desc, 0, nullptr), DD_OK);
  EXPECT_EQ(a->Unlock(nullptr), DD_OK);
}

TEST_F(DirectDrawTest, AMipChainWalksLevelByLevelAndGoesWithItsTop) {
  DDSURFACEDESC2 desc = DescWithFormat(DDSCAPS_TEXTURE | DDSCAPS_MIPMAP | DDSCAPS_COMPLEX | DDSCAPS_SYSTEMMEMORY, 128,
                                       64, MakeFourCCFormat(FOURCC_DXT1));
  desc.dwFlags |= DDSD_MIPMAPCOUNT;
  desc.dwMipMapCount = 5;
  DirectDrawSurface* top = nullptr;
  ASSERT_EQ(dd_->CreateSurface(&desc, &top, nullptr), DD_OK);
  EXPECT_EQ(LiveSurfaceCount(), 5u);
  top->AddRef();  // the way a reader holds each level: take the next, give back the current
  DirectDrawSurface* level = top;
  const DDSCAPS2 next{DDSCAPS_COMPLEX | DDSCAPS_TEXTURE | DDSCAPS_MIPMAP, 0, 0, {0}};
  std::vector<std::pair<DWORD, DWORD>> sizes;
  while (level) {
    auto levelDesc = Sized<DDSURFACEDESC2>();
    ASSERT_EQ(level->Lock(nullptr, &levelDesc, DDLOCK_WAIT, nullptr), DD_OK);
    EXPECT_EQ(levelDesc.dwLinearSize,
              std::max<DWORD>(1, levelDesc.dwWidth / 4) * std::max<DWORD>(1, levelDesc.dwHeight / 4) * 8);
    EXPECT_EQ(levelDesc.dwMipMapCount, 5 - sizes.size());
    level->Unlock(nullptr);
    sizes.emplace_back(levelDesc.dwWidth, levelDesc.dwHeight);
    DirectDrawSurface* following = nullptr;
    const HRESULT found = level->GetAttachedSurface(&next, &following);
    EXPECT_EQ(found, following ? DD_OK : DDERR_NOTFOUND);
    level->Release();
    level = following;
  }
  const std::vector<std::pair<DWORD, DWORD>> expected{{128, 64}, {64, 32}, {32, 16}, {16, 8}, {8, 4}};
  EXPECT_EQ(sizes, expected);
  EXPECT_EQ(LiveSurfaceCount(), 5u);
  EXPECT_EQ(top->Release(), 0u);
  EXPECT_EQ(LiveSurfaceCount(), 0u);

  DDSURFACEDESC2 full =
      DescWithFormat(DDSCAPS_TEXTURE | DDSCAPS_MIPMAP | DDSCAPS_COMPLEX, 8, 2, DisplayPixelFormat(16));
  auto chain = Make(full);
  ASSERT_EQ(chain->GetSurfaceDesc(&full), DD_OK);
  EXPECT_EQ(full.dwMipMapCount, 4u);  // 8x2, 4x1, 2x1, 1x1
}

TEST_F(DirectDrawTest, AnAttachedDepthBufferLivesAsLongAsItsSurface) {
  auto target = Make(Desc(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE, 8, 8));
  auto small = Make(DescWithFormat(DDSCAPS_ZBUFFER, 4, 4, DepthFormat(16)));
  DirectDrawSurface* depth = nullptr;
  DDSURFACEDESC2 depthDesc = DescWithFormat(DDSCAPS_ZBUFFER, 8, 8, DepthFormat(24));
  ASSERT_EQ(dd_->CreateSurface(&depthDesc, &depth, nullptr), DD_OK);
  EXPECT_EQ(target->AddAttachedSurface(small.get()), DDERR_CANNOTATTACHSURFACE);
  EXPECT_EQ(target->AddAttachedSurface(target.get()), DDERR_INVALIDPARAMS);
  ASSERT_EQ(target->AddAttachedSurface(depth), DD_OK);
  EXPECT_EQ(target->AddAttachedSurface(depth), DDERR_SURFACEALREADYATTACHED);
  EXPECT_EQ(target->AttachedZBuffer(), depth);
  const DDSCAPS2 zcaps{DDSCAPS_ZBUFFER, 0, 0, {0}};
  DirectDrawSurface* found = nullptr;
  ASSERT_EQ(target->GetAttachedSurface(&zcaps, &found), DD_OK);
  EXPECT_EQ(found, depth);
  found->Release();
  // Depth values fill and read back in the buffer's own bits.
  auto fx = Sized<DDBLTFX>();
  fx.dwFillDepth = 0xFFFFFFFF;
  ASSERT_EQ(depth->Blt(nullptr, nullptr, nullptr, DDBLT_DEPTHFILL, &fx), DD_OK);
  const SurfacePixels pixels = depth->Pixels();
  EXPECT_EQ(pixels.bytesPerPixel, 4u);
  EXPECT_EQ(LoadPixel(pixels.bits, 4), 0x00FFFFFFu);
  EXPECT_EQ(depth->Release(), 1u);  // the target keeps it
  EXPECT_EQ(LiveSurfaceCount(), 3u);
  target.reset();
  EXPECT_EQ(LiveSurfaceCount(), 1u);
}

HRESULT AcquireTestDc(DirectDrawSurface*, HDC* dc) {
  static int token;
  *dc = reinterpret_cast<HDC>(&token);
  return DD_OK;
}
void ReleaseTestDc(DirectDrawSurface*, HDC) {}

TEST_F(DirectDrawTest, DeviceContextsComeFromTheGdiLayerAndHoldTheSurface) {
  auto surface = Plain(4, 4, 32);
  HDC dc = nullptr;
  SetSurfaceDcHooks({});
  EXPECT_EQ(surface->GetDC(&dc), DDERR_CANTCREATEDC);
  SetSurfaceDcHooks({AcquireTestDc, ReleaseTestDc});
  ASSERT_EQ(surface->GetDC(&dc), DD_OK);
  ASSERT_NE(dc, nullptr);
  HDC second = nullptr;
  EXPECT_EQ(surface->GetDC(&second), DDERR_DCALREADYCREATED);
  auto desc = Sized<DDSURFACEDESC2>();
  EXPECT_EQ(surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DDERR_SURFACEBUSY);
  EXPECT_EQ(surface->ReleaseDC(reinterpret_cast<HDC>(&desc)), DDERR_NODC);
  EXPECT_EQ(surface->ReleaseDC(dc), DD_OK);
  EXPECT_EQ(surface->ReleaseDC(dc), DDERR_NODC);
  SetSurfaceDcHooks({});
}

}  // namespace
}  // namespace vx::win::testing
