// Switches that make the display layer behave as a particular machine or fail as real hardware
// does: the display drivers it reports, video memory, lost and busy surfaces, failing creation.
// Tests set them; nothing in the system calls them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/ddraw/ddraw.h"

namespace vx::win {

struct DisplayModeInfo {
  DWORD width;
  DWORD height;
  DWORD bitsPerPixel;
  friend bool operator==(const DisplayModeInfo&, const DisplayModeInfo&) = default;
};

struct DisplayDriverInfo {
  GUID guid{};  // all zero for the primary driver, which DirectDrawEnumerateA reports with a null GUID
  std::string description;
  std::string name;
  uint64_t videoMemoryBytes = 0;
  std::vector<DisplayModeInfo> modes;  // empty: the desktop's sizes and the common ones at 16, 24, 32 bits
};

// The machine's drivers, the primary first. Empty gives back the one primary driver.
void SetDisplayDrivers(std::vector<DisplayDriverInfo> drivers);
// Adds a driver after those reported now, as a second card would be; a driver without a GUID gets
// one of its own. Returns its GUID.
GUID AddDisplayDriver(DisplayDriverInfo driver);
std::vector<DisplayDriverInfo> CurrentDisplayDrivers();

// DirectDrawCreateEx fails with this result while it is set.
void SetDirectDrawCreationFailure(std::optional<HRESULT> result);
// The next `count` surface creations whose caps hold every bit of capsFilter fail with `result`.
void FailSurfaceCreations(int count, HRESULT result, DWORD capsFilter = 0);
// The next `count` creations of a surface of width x height throw std::bad_alloc, as an allocation
// does when the process has no memory left. A process started with VX_TEST_SURFACE_THROWS=WxH in
// its environment begins with one such creation to come.
void ThrowOnSurfaceCreations(int count, DWORD width, DWORD height);
// The next `count` blits, fast blits, flips and locks that do not wait return DDERR_WASSTILLDRAWING;
// calls that wait use them up and succeed.
void MakeSurfacesBusy(int count);
// Every video-memory surface of every DirectDraw object is lost, as after a switch away from
// full screen; or one surface (its whole chain) alone.
void LoseAllSurfaces();
void LoseSurface(DirectDrawSurface* surface);
// While set, Restore and RestoreAllSurfaces fail with DDERR_WRONGMODE and leave surfaces lost.
void SetRestoreFails(bool fail);
// Video memory of every driver, in place of what it was configured with.
void SetVideoMemoryLimit(std::optional<uint64_t> bytes);
// How many surfaces may have pixel mappings of their own that end at an inaccessible page, in
// place of the share of the kernel's mapping limit they get (an eighth); beyond it small surfaces
// share mappings and large ones go without the page.
void SetGuardedSurfaceBudget(std::optional<size_t> mappings);
// Turns every switch above off and gives back the default drivers.
void ResetDisplayFaults();

// Objects alive now, to check that everything made was released once.
size_t LiveSurfaceCount();
size_t LiveDirectDrawCount();
// The mappings that hold surfaces' pixels now, shared or not, kept for reuse included; and those
// among them that are a surface's own and end at an inaccessible page.
size_t SurfaceMappingCount();
size_t GuardedSurfaceCount();

}  // namespace vx::win
