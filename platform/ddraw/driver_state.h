// Inside the display layer: the state a DirectDraw object shares with its surfaces, pixel memory,
// the process-wide display (drivers, mode, faults) and the blitter's entry points.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/faults.h"
#include "platform/ddraw/pixel_format.h"
#include "platform/win/low_memory.h"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;

namespace vx::win::ddraw_detail {

// Pixel memory is mapped below 2 GiB where the system allows, so that a program can hold a
// locked surface's address in a 32-bit integer. A surface with a mapping of its own ends right
// before an inaccessible page, so a read past the last pixel faults instead of reading a
// neighbour. The kernel gives a process a limited number of mappings, so small surfaces share
// mappings (always in an optimised build, and in the others once the guarded ones reach their
// budget); a sanitizer build poisons the bytes between shared blocks instead.
struct PixelSlab;

struct PixelMemory {
  uint8_t* bits = nullptr;
  size_t bytes = 0;
  LowMapping own;             // a mapping of its own, or
  PixelSlab* slab = nullptr;  // a block of a shared one
  uint32_t block = 0;

  static std::unique_ptr<PixelMemory> Allocate(uint64_t bytes);  // null when it cannot be had
  PixelMemory() = default;
  PixelMemory(const PixelMemory&) = delete;
  PixelMemory& operator=(const PixelMemory&) = delete;
  ~PixelMemory();
};

// The SDL objects a presentation draws with; the window may go away under them.
struct Presentation {
  SDL_Window* window = nullptr;
  uint32_t windowId = 0;
  SDL_Renderer* renderer = nullptr;
  bool ownsRenderer = false;  // a renderer someone else made for the window is left to them
  SDL_Texture* texture = nullptr;
  int textureWidth = 0;
  int textureHeight = 0;
  bool madeFullScreen = false;  // the window was laid over the whole display by us
  RECT placeBefore{};           // where it stood before, given back when the display lets it go
  void Destroy();
};

struct DriverState {
  DirectDraw* owner = nullptr;  // null once the DirectDraw object is gone
  DisplayDriverInfo driver;
  HWND window = nullptr;
  DWORD cooperativeFlags = 0;
  uint64_t videoUsed = 0;
  std::vector<DirectDrawSurface*> surfaces;  // every live surface it made, members included
  DirectDrawSurface* primary = nullptr;
  DDGAMMARAMP gamma{};
  Presentation presentation;

  bool Exclusive() const { return (cooperativeFlags & DDSCL_EXCLUSIVE) != 0; }
  uint64_t VideoTotal() const;
};

struct DisplayMode {
  DWORD width;
  DWORD height;
  DWORD bitsPerPixel;
};

// The picture the monitor shows outside our window, and the mode an exclusive owner set.
DisplayMode DesktopMode();
// What a windowed primary covers: the desktop, grown to the displays right of and below it.
DisplayMode ScreenExtent();
DisplayMode CurrentMode();
void SetCurrentMode(const DisplayMode& mode);
std::vector<DisplayModeInfo> ModesOf(const DisplayDriverInfo& driver);

const std::vector<DisplayDriverInfo>& Drivers();
std::vector<DriverState*>& Displays();
DriverState*& ExclusiveOwner();
void SurfaceMade();
void SurfaceGone();

// Faults as the layer consults them.
std::optional<HRESULT> DirectDrawCreationFailure();
std::optional<HRESULT> TakeSurfaceCreationFailure(DWORD caps);
void ThrowIfCreationThrows(DWORD width, DWORD height);
bool TakeBusy(bool wait);  // true: the call must report DDERR_WASSTILLDRAWING
bool RestoreFails();
std::optional<uint64_t> VideoMemoryLimit();
std::optional<size_t> GuardedSurfaceBudget();

// The identity ramp, and where presentation happens.
DDGAMMARAMP IdentityRamp();
void PresentPrimary(DriverState& display);
// The display's primary is about to go: a presented frame it holds is made into pixels first.
void KeepPresentedFrame(DriverState& display);
void ApplyCooperativeWindow(DriverState& display);
void EndPresentation(DriverState& display);

// What the process-wide code does to surfaces.
struct SurfaceAccess {
  static void LoseChain(DirectDrawSurface* surface);  // the whole structure the surface belongs to
  static void LoseVideoSurfaces(DriverState& display);
};

// --- Blitter --------------------------------------------------------------------------------------

using BlitSurface = PixelView;

struct BlitRequest {
  RECT dst{};   // where the whole source rectangle goes
  RECT clip{};  // the part of dst that is written, inside it and inside the surface
  RECT src{};
  bool mirrorX = false;
  bool mirrorY = false;
  std::optional<DDCOLORKEY> srcKey;  // pixel values in the range are not copied
  std::optional<DDCOLORKEY> dstKey;  // only pixels in the range are written over
};

HRESULT RunBlit(const BlitSurface& dst, const BlitSurface& src, const BlitRequest& request);
HRESULT FillRect(const BlitSurface& dst, const RECT& area, uint32_t value);

}  // namespace vx::win::ddraw_detail
