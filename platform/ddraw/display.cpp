// The display as the whole process sees it: the drivers the machine reports, the display mode in
// force, the switched-on faults and the live objects.
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <tuple>

#include "platform/ddraw/driver_state.h"
#include "platform/win/window.h"

namespace vx::win {

namespace {

using ddraw_detail::DisplayMode;
using ddraw_detail::DriverState;

constexpr uint64_t kDefaultVideoMemory = uint64_t{128} << 20;
constexpr DWORD kLargestScreenSide = 16384;  // the largest surface side
constexpr DisplayModeInfo kCommonSizes[] = {{640, 480, 0}, {800, 600, 0}, {1024, 768, 0}};

struct Faults {
  std::optional<HRESULT> creationFailure;
  int surfaceFailures = 0;
  HRESULT surfaceFailure = DD_OK;
  DWORD surfaceFailureCaps = 0;
  int busyCalls = 0;
  bool restoreFails = false;
  std::optional<uint64_t> videoMemoryLimit;
  std::optional<size_t> guardedSurfaceBudget;
  int creationThrows = 0;
  DWORD throwingWidth = 0;
  DWORD throwingHeight = 0;
};

// A child process gets its fault from its environment.
Faults FaultsFromEnvironment() {
  Faults faults;
  unsigned width = 0, height = 0;
  const char* size = std::getenv("VX_TEST_SURFACE_THROWS");
  if (size && std::sscanf(size, "%ux%u", &width, &height) == 2) {
    faults.creationThrows = 1;
    faults.throwingWidth = width;
    faults.throwingHeight = height;
  }
  return faults;
}

struct ProcessDisplay {
  std::vector<DisplayDriverInfo> drivers;
  std::optional<DisplayMode> mode;  // none: the desktop's
  std::vector<DriverState*> displays;
  DriverState* exclusiveOwner = nullptr;
  Faults faults = FaultsFromEnvironment();
  size_t liveSurfaces = 0;
};

ProcessDisplay& Process() {
  static ProcessDisplay process;
  return process;
}

std::vector<DisplayDriverInfo> DefaultDrivers() {
  DisplayDriverInfo primary;
  primary.description = "Primary Display Driver";
  primary.name = "display";
  primary.videoMemoryBytes = kDefaultVideoMemory;
  return {primary};
}

}  // namespace

namespace ddraw_detail {

uint64_t DriverState::VideoTotal() const {
  if (const auto limit = Process().faults.videoMemoryLimit) return *limit;
  return driver.videoMemoryBytes;
}

DisplayMode DesktopMode() {
  return DisplayMode{static_cast<DWORD>(std::max(GetSystemMetrics(SM_CXSCREEN), 1)),
                     static_cast<DWORD>(std::max(GetSystemMetrics(SM_CYSCREEN), 1)), 32};
}

DisplayMode ScreenExtent() {
  DisplayMode extent = CurrentMode();
  if (IsHeadless()) return extent;
  const int displays = SDL_GetNumVideoDisplays();
  for (int i = 0; i < displays; ++i) {
    SDL_Rect bounds{};
    if (SDL_GetDisplayBounds(i, &bounds) != 0) continue;
    extent.width = std::max<DWORD>(extent.width, static_cast<DWORD>(std::max(0, bounds.x + bounds.w)));
    extent.height = std::max<DWORD>(extent.height, static_cast<DWORD>(std::max(0, bounds.y + bounds.h)));
  }
  extent.width = std::min<DWORD>(extent.width, kLargestScreenSide);
  extent.height = std::min<DWORD>(extent.height, kLargestScreenSide);
  return extent;
}

DisplayMode CurrentMode() { return Process().mode ? *Process().mode : DesktopMode(); }

void SetCurrentMode(const DisplayMode& mode) {
  const DisplayMode desktop = DesktopMode();
  const bool isDesktop =
      mode.width == desktop.width && mode.height == desktop.height && mode.bitsPerPixel == desktop.bitsPerPixel;
  Process().mode = isDesktop ? std::nullopt : std::optional<DisplayMode>(mode);
}

std::vector<DisplayModeInfo> ModesOf(const DisplayDriverInfo& driver) {
  if (!driver.modes.empty()) return driver.modes;
  std::vector<DisplayModeInfo> sizes(std::begin(kCommonSizes), std::end(kCommonSizes));
  const DisplayMode desktop = DesktopMode();
  sizes.push_back({desktop.width, desktop.height, 0});
  if (!IsHeadless()) {
    const int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; ++i) {
      SDL_DisplayMode mode{};
      if (SDL_GetDisplayMode(0, i, &mode) == 0 && mode.w > 0 && mode.h > 0) {
        sizes.push_back({static_cast<DWORD>(mode.w), static_cast<DWORD>(mode.h), 0});
      }
    }
  }
  std::vector<DisplayModeInfo> modes;
  for (const DisplayModeInfo& size : sizes) {
    for (const DWORD bits : {16u, 24u, 32u}) modes.push_back({size.width, size.height, bits});
  }
  const auto key = [](const DisplayModeInfo& m) { return std::tie(m.width, m.height, m.bitsPerPixel); };
  std::sort(modes.begin(), modes.end(), [&](const auto& a, const auto& b) { return key(a) < key(b); });
  modes.erase(std::unique(modes.begin(), modes.end()), modes.end());
  return modes;
}

std::vector<DriverState*>& Displays() { return Process().displays; }
DriverState*& ExclusiveOwner() { return Process().exclusiveOwner; }
void SurfaceMade() { ++Process().liveSurfaces; }
void SurfaceGone() { --Process().liveSurfaces; }

std::optional<HRESULT> DirectDrawCreationFailure() { return Process().faults.creationFailure; }

std::optional<HRESULT> TakeSurfaceCreationFailure(DWORD caps) {
  Faults& faults = Process().faults;
  if (faults.surfaceFailures <= 0 || (caps & faults.surfaceFailureCaps) != faults.surfaceFailureCaps)
    return std::nullopt;
  --faults.surfaceFailures;
  return faults.surfaceFailure;
}

void ThrowIfCreationThrows(DWORD width, DWORD height) {
  Faults& faults = Process().faults;
  if (faults.creationThrows <= 0 || width != faults.throwingWidth || height != faults.throwingHeight) return;
  --faults.creationThrows;
  throw std::bad_alloc();
}

bool TakeBusy(bool wait) {
  Faults& faults = Process().faults;
  if (faults.busyCalls <= 0) return false;
  --faults.busyCalls;
  return !wait;
}

bool RestoreFails() { return Process().faults.restoreFails; }
std::optional<uint64_t> VideoMemoryLimit() { return Process().faults.videoMemoryLimit; }
std::optional<size_t> GuardedSurfaceBudget() { return Process().faults.guardedSurfaceBudget; }

DDGAMMARAMP IdentityRamp() {
  DDGAMMARAMP ramp{};
  for (int i = 0; i < 256; ++i) {
    const auto value = static_cast<WORD>(i * 257);
    ramp.red[i] = value;
    ramp.green[i] = value;
    ramp.blue[i] = value;
  }
  return ramp;
}

const std::vector<DisplayDriverInfo>& Drivers() {
  if (Process().drivers.empty()) Process().drivers = DefaultDrivers();
  return Process().drivers;
}

}  // namespace ddraw_detail

void SetDisplayDrivers(std::vector<DisplayDriverInfo> drivers) {
  for (DisplayDriverInfo& driver : drivers) {
    if (driver.videoMemoryBytes == 0) driver.videoMemoryBytes = kDefaultVideoMemory;
  }
  Process().drivers = std::move(drivers);
}

GUID AddDisplayDriver(DisplayDriverInfo driver) {
  std::vector<DisplayDriverInfo> drivers = ddraw_detail::Drivers();
  const auto taken = [&](const GUID& guid) {
    return std::any_of(drivers.begin(), drivers.end(), [&](const DisplayDriverInfo& d) { return d.guid == guid; });
  };
  for (uint32_t n = 1; driver.guid == GUID{} || taken(driver.guid); ++n)
    driver.guid = GUID{0x56584400u + n, 0x0DD0, 0x4CA2, {'V', 'X', 'C', 'A', 'R', 'D', 0, 1}};
  drivers.push_back(std::move(driver));
  SetDisplayDrivers(std::move(drivers));
  return Process().drivers.back().guid;
}

std::vector<DisplayDriverInfo> CurrentDisplayDrivers() { return ddraw_detail::Drivers(); }

void SetDirectDrawCreationFailure(std::optional<HRESULT> result) { Process().faults.creationFailure = result; }

void FailSurfaceCreations(int count, HRESULT result, DWORD capsFilter) {
  Faults& faults = Process().faults;
  faults.surfaceFailures = count;
  faults.surfaceFailure = result;
  faults.surfaceFailureCaps = capsFilter;
}

void ThrowOnSurfaceCreations(int count, DWORD width, DWORD height) {
  Faults& faults = Process().faults;
  faults.creationThrows = count;
  faults.throwingWidth = width;
  faults.throwingHeight = height;
}

void MakeSurfacesBusy(int count) { Process().faults.busyCalls = count; }

void LoseAllSurfaces() {
  for (DriverState* display : Process().displays) ddraw_detail::SurfaceAccess::LoseVideoSurfaces(*display);
}

void LoseSurface(DirectDrawSurface* surface) {
  if (surface) ddraw_detail::SurfaceAccess::LoseChain(surface);
}

void SetRestoreFails(bool fail) { Process().faults.restoreFails = fail; }
void SetVideoMemoryLimit(std::optional<uint64_t> bytes) { Process().faults.videoMemoryLimit = bytes; }
void SetGuardedSurfaceBudget(std::optional<size_t> mappings) { Process().faults.guardedSurfaceBudget = mappings; }

void ResetDisplayFaults() {
  Process().faults = Faults{};
  Process().drivers.clear();
}

size_t LiveSurfaceCount() { return Process().liveSurfaces; }
size_t LiveDirectDrawCount() {
  return static_cast<size_t>(std::count_if(Process().displays.begin(), Process().displays.end(),
                                           [](const DriverState* d) { return d->owner != nullptr; }));
}

}  // namespace vx::win
