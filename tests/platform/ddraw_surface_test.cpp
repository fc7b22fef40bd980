// Surfaces: creation and its failures, locks, busy and lost surfaces, the reference an attached
// depth buffer is held by, and new surfaces that start black and end at an inaccessible page
// whether their memory is fresh or was another surface's.
#include <sys/mman.h>
#include <unistd.h>
#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/asan_interface.h>
#endif

#include <algorithm>
#include <cerrno>
#include <set>
#include <vector>

#include "platform/win/low_memory.h"

#include "ddraw_test_support.h"

namespace vx::win::testing {
namespace {

TEST_F(DirectDrawTest, LocksGiveTheRowPitchAndTheAddressOfTheRectangle) {
  for (const DWORD bits : {8u, 24u}) {
    for (DWORD width = 1; width <= 3; ++width) {
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

TEST_F(DirectDrawTest, NewSurfacesStartBlackAndEndAtAnInaccessiblePageThoughTheirMemoryWasUsed) {
  const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  // Sizes of one page count (100x100 and 100x101 at 32 bits both take ten pages), again and again.
  for (const DWORD height : {100u, 100u, 101u, 100u, 7u}) {
    SCOPED_TRACE(::testing::Message() << "100x" << height);
    auto surface = Plain(100, height, 32);
    auto desc = Sized<DDSURFACEDESC2>();
    ASSERT_EQ(surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DD_OK);
    auto* bytes = static_cast<uint8_t*>(desc.lpSurface);
    const size_t size = size_t(desc.lPitch) * height;
    EXPECT_EQ(std::count(bytes, bytes + size, 0), ptrdiff_t(size)) << "black from the start";
    // The last byte is readable, the next one is not (a write from it fails instead of faulting).
    EXPECT_EQ(write(pipeFds[1], bytes + size - 1, 1), 1);
    errno = 0;
    EXPECT_EQ(write(pipeFds[1], bytes + size, 1), -1);
    EXPECT_EQ(errno, EFAULT);
    EXPECT_EQ((reinterpret_cast<uintptr_t>(bytes) + size) % page, 0u);
    std::fill(bytes, bytes + size, uint8_t{0xFF});  // what the next surface must not show
    surface->Unlock(nullptr);
  }
  close(pipeFds[0]);
  close(pipeFds[1]);
}

#ifdef __SANITIZE_ADDRESS__
// A write from the address fails instead of faulting when its page cannot be read.
bool Inaccessible(const uint8_t* at) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return false;
  errno = 0;
  const bool refused = write(pipeFds[1], at, 1) == -1 && errno == EFAULT;
  close(pipeFds[0]);
  close(pipeFds[1]);
  return refused;
}
#endif

// Once the surfaces with mappings of their own reach their budget, small surfaces share a few
// mappings (a mapping per surface would run out of the kernel's at some 30,000 surfaces): each
// starts black though its memory held another surface's, lies below 2 GiB where the machine allows,
// and in a sanitizer build is followed by poisoned bytes. A large one still gets a mapping.
TEST_F(DirectDrawTest, SmallSurfacesShareMappingsOnceTheGuardedOnesReachTheirBudget) {
  SetGuardedSurfaceBudget(GuardedSurfaceCount() + 2);
  const size_t before = SurfaceMappingCount();
  constexpr int kSurfaces = 3000;
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round == 0 ? "fresh" : "used before");
    std::vector<Ref<DirectDrawSurface>> surfaces;
    std::set<uintptr_t> starts;
    for (int i = 0; i < kSurfaces; ++i) {
      surfaces.push_back(Plain(8, 8, 16));
      auto desc = Sized<DDSURFACEDESC2>();
      ASSERT_EQ(surfaces.back()->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DD_OK);
      auto* bytes = static_cast<uint8_t*>(desc.lpSurface);
      const size_t size = size_t(desc.lPitch) * 8;
      ASSERT_EQ(std::count(bytes, bytes + size, 0), ptrdiff_t(size)) << "surface " << i << " starts black";
      std::fill(bytes, bytes + size, uint8_t{0xFF});
      starts.insert(reinterpret_cast<uintptr_t>(bytes));
#ifdef MAP_32BIT
      EXPECT_TRUE(LiesBelow2GiB(bytes, size)) << i;
#endif
#ifdef __SANITIZE_ADDRESS__
      // A surface with a mapping of its own ends at an inaccessible page instead.
      EXPECT_TRUE(__asan_address_is_poisoned(bytes + size) || Inaccessible(bytes + size)) << i;
#endif
      surfaces.back()->Unlock(nullptr);
    }
    EXPECT_EQ(starts.size(), size_t(kSurfaces));
    EXPECT_LE(SurfaceMappingCount(), before + 3) << "two of their own and one shared";
    const size_t shared = SurfaceMappingCount();
    auto large = Plain(200, 100, 32);
    EXPECT_EQ(SurfaceMappingCount(), shared + 1) << "a large surface has its own mapping";
  }
  EXPECT_LE(SurfaceMappingCount(), before + 3) << "released, they gave the mappings back";
}

TEST_F(DirectDrawTest, ALockedSurfaceIsBusyUntilItIsUnlocked) {
  auto surface = Plain(4, 4, 32);
  auto other = Plain(4, 4, 32);
  auto desc = Sized<DDSURFACEDESC2>();
  EXPECT_EQ(surface->Unlock(nullptr), DDERR_NOTLOCKED);
  const RECT outside{0, 0, 5, 1};
  EXPECT_EQ(surface->Lock(&outside, &desc, DDLOCK_WAIT, nullptr), DDERR_INVALIDRECT);
  ASSERT_EQ(surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DD_OK);
  EXPECT_EQ(surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DDERR_SURFACEBUSY);
  EXPECT_EQ(Fill(surface.get(), 1), DDERR_SURFACEBUSY);
  EXPECT_EQ(other->BltFast(0, 0, surface.get(), nullptr, 0), DDERR_SURFACEBUSY);
  ASSERT_EQ(surface->Unlock(nullptr), DD_OK);
  EXPECT_EQ(Fill(surface.get(), 1), DD_OK);
}

TEST_F(DirectDrawTest, SurfaceCreationChecksItsDescription) {
  DDSURFACEDESC2 noSize = Desc(DDSCAPS_OFFSCREENPLAIN);
  DDSURFACEDESC2 badSize = Desc(DDSCAPS_OFFSCREENPLAIN, 4, 4);
  badSize.dwSize = 124;
  DDSURFACEDESC2 tooManyLevels =
      DescWithFormat(DDSCAPS_TEXTURE | DDSCAPS_MIPMAP | DDSCAPS_COMPLEX, 8, 8, DisplayPixelFormat(16));
  tooManyLevels.dwFlags |= DDSD_MIPMAPCOUNT;
  tooManyLevels.dwMipMapCount = 5;  // 8, 4, 2, 1 are four
  DDPIXELFORMAT twelveBits = DisplayPixelFormat(16);
  twelveBits.dwRGBBitCount = 12;
  const struct {
    const char* name;
    DDSURFACEDESC2 desc;
    HRESULT expected;
  } cases[] = {
      {"no size", noSize, DDERR_INVALIDPARAMS},
      {"a 32-bit size field", badSize, DDERR_INVALIDPARAMS},
      {"twelve bits", DescWithFormat(DDSCAPS_OFFSCREENPLAIN, 4, 4, twelveBits), DDERR_INVALIDPIXELFORMAT},
      {"a depth buffer without a depth format", Desc(DDSCAPS_ZBUFFER, 4, 4), DDERR_INVALIDPIXELFORMAT},
      {"more levels than halvings", tooManyLevels, DDERR_INVALIDPARAMS},
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

TEST_F(DirectDrawTest, AnInjectedCreationFailureMakesNoDirectDraw) {
  SetDirectDrawCreationFailure(DDERR_NODIRECTDRAWHW);
  DirectDraw* second = reinterpret_cast<DirectDraw*>(1);
  EXPECT_EQ(DirectDrawCreateEx(nullptr, &second, IID_IDirectDraw7, nullptr), DDERR_NODIRECTDRAWHW);
  EXPECT_EQ(second, nullptr);
  SetDirectDrawCreationFailure(std::nullopt);
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
  EXPECT_EQ(system->BltFast(0, 0, video.get(), nullptr, 0), DDERR_SURFACELOST);

  SetRestoreFails(true);
  EXPECT_EQ(video->Restore(), DDERR_WRONGMODE);
  EXPECT_EQ(dd_->RestoreAllSurfaces(), DDERR_WRONGMODE);
  EXPECT_EQ(video->IsLost(), DDERR_SURFACELOST);
  SetRestoreFails(false);
  EXPECT_EQ(dd_->RestoreAllSurfaces(), DD_OK);
  EXPECT_EQ(video->IsLost(), DD_OK);
  EXPECT_EQ(GetPixel(video.get(), 0, 0), 0u) << "video memory comes back empty";
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

}  // namespace
}  // namespace vx::win::testing
