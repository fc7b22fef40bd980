// The display's process-wide state: the DirectDraw and Direct3D objects, the display size and
// depth, the switches the set-up reads, the capability flags of the chosen 3D device, the
// presentation and frame-rate values, the frame switches of the main loop and the bitmaps. Written
// by the device set-up, the display modes and the bitmap commands, read by the 2D drawing and the
// 3D engine; all of it is one DisplayState reached through Display().
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "platform/d3d/direct3d.h"
#include "platform/ddraw/ddraw.h"
#include "surfaces/surface_colours.h"

namespace vx {

constexpr int kMaxTextureFormats = 99;

// Bitmaps.
constexpr int32_t kBitmapCount = 32;  // program bitmaps 0 (the screen) to 31
constexpr int32_t kWorkBitmap = 33;   // the image-save item's own bitmap, never the program's
constexpr int32_t kBitmapSlots = 34;
// A number a program may give a bitmap: 0 (the screen) to 31.
inline bool IsProgramBitmap(int32_t n) { return n >= 0 && n < kBitmapCount; }

struct BitmapInfo {
  uint32_t width = 0, height = 0, bitsPerPixel = 0;
  uint8_t mirrored = 0, flipped = 0;
};

struct DisplayState {
  // --- Objects (released by the engine shutdown) ---------------------------------------------------
  win::IDirectDraw7* gDirectDraw = nullptr;
  win::Direct3D* gDirect3D = nullptr;  // only when 3D is wanted
  win::IDirectDrawSurface7* gPrimarySurface = nullptr;
  win::IDirectDrawSurface7* gBackBuffer = nullptr;  // a member of the flip chain when gFlipChain is 1
  win::IDirectDrawSurface7* gZBuffer = nullptr;
  win::IDirectDrawPalette* gDisplayPalette = nullptr;  // only for an 8-bit palettised primary
  win::IDirectDrawGammaControl* gGammaControl = nullptr;
  uint32_t gGammaAvailable = 0;
  win::Direct3DDevice* gD3DDevice = nullptr;
  const char* gD3DDeviceName = "";                           // "T&L", "HAL", "RGB", "MMX" or "OTHER"
  uint32_t gHardwareDevice = 0;                              // 1 for T&L, HAL and OTHER
  win::IDirectDrawSurface7* gPointerImageSurface = nullptr;  // full-screen mouse pointer image
  win::IDirectDrawSurface7* gScreenshotSurface = nullptr;    // temporary copy of a saved screen

  // --- Display values ------------------------------------------------------------------------------
  int32_t gDisplayWidth = 640;  // back buffer, depth buffer and viewport
  int32_t gDisplayHeight = 480;
  int16_t gDisplayDepth = 16;      // colour depth of the display mode
  int16_t gDisplay3DDepth = 16;    // depth chosen by the adapter choice
  int32_t gScreenModeWidth = 640;  // the mode the program asked for (640x480 at gDisplay3DDepth at start)
  int32_t gScreenModeHeight = 480;
  int32_t gScreenModeDepth = 16;
  uint32_t gFullScreen = 1;         // 1 exclusive full screen, 0 windowed
  uint32_t gBlitFlipMode = 0;       // SETUP.INI BLITFLIPMODE
  uint32_t gBlitFlipModeInUse = 0;  // copy taken when DirectDraw is made
  uint32_t gFlipChain = 0;          // primary and back buffer form one flipping chain
  uint32_t gSystemMemorySurfaces = 0;
  uint32_t gSurfaceFallback = 0;  // primary card, system memory, software devices
  uint32_t gAllowTnL = 1;         // the T&L device is tried
  uint32_t gDirectDrawReady = 0;
  int32_t gBackBufferWidth = 0;  // read back after creation
  int32_t gBackBufferHeight = 0;
  int32_t gBackBufferBitCount = 0;
  std::string gFoundDriverName;  // driver taken by the enumeration
  std::string gFoundDriverDescription;
  win::GUID gFoundDriverGuid{};  // all zero for the primary driver
  std::string gCurrentCardName;
  std::string gChosenCardName;  // the card the program or the settings asked for

  // --- Capability flags of the chosen device -------------------------------------------------------
  uint32_t gDrawPrimTLVertex = 0;
  uint32_t gBlendLevel = 0;        // 0..9, which blend pair ghosts use
  uint32_t gSecondBlendLevel = 0;  // 0, 5, 6 or 7
  uint32_t gFilterLevel = 0;       // 0 point, 1 linear, 2 anisotropic
  uint32_t gFogAvailable = 0;
  uint32_t gWBuffer = 0;
  uint32_t gTableFogOnly = 0;
  uint32_t gMipmapping = 0;
  uint32_t gWrapAddressing = 0, gMirrorAddressing = 0, gClampAddressing = 0;
  uint32_t gPremultipliedAlpha = 0;
  uint32_t gDxtTextures = 0;
  // Colour-keyed textures: the device reports D3DPTEXTURECAPS_TRANSPARENCY, so that a texture made
  // with the black key draws its black texels as holes. Its companion says the key also works
  // while blending (D3DPTEXTURECAPS_COLORKEYBLEND); without it ghosted keyed objects draw opaque.
  uint32_t gColourKeyAvailable = 0;
  uint32_t gColourKeyBlendAvailable = 0;
  // Blend pairs (D3DBLEND values) kept for ghosted drawing; 0 when the level keeps none.
  uint32_t gGhostSrcBlend = 0, gGhostDestBlend = 0;
  uint32_t gGhostSrcBlend2 = 0, gGhostDestBlend2 = 0;
  std::array<win::DDPIXELFORMAT, kMaxTextureFormats> gTextureFormats{};
  int32_t gTextureFormatCount = 0;
  win::D3DVIEWPORT7 gViewport{};  // the viewport the 3D engine projects into

  // Three materials: the scene's (by the ambient level), full bright, and plain.
  win::D3DMATERIAL7 gSceneMaterial{}, gFullBrightMaterial{}, gPlainMaterial{};

  // Camera and scene values that the display defaults reset and the device set-up applies.
  float gAmbientLevel = 0.5f;
  float gCameraNear = 1.0f;
  float gCameraFar = 3000.0f;
  float gCameraFov = 1.0814433f;

  // --- Presentation ----------------------------------------------------------------------------------
  int32_t gPresentOffsetX = 0;  // left and top of the last window blit target, screen coordinates
  int32_t gPresentOffsetY = 0;
  uint32_t gWindowBorders = 1;  // windowed presentation fills the client area round the picture
  uint32_t gFrameCounter = 0;
  uint32_t gFrameRate = 0;            // frames per second
  uint32_t gFramesAtLastMeasure = 0;  // the frame counter and the clock when the rate was last measured
  uint32_t gTimeAtLastMeasure = 0;
  uint32_t gFramesPerSecond = 0;
  // The depth buffer as the last clear left it, which it still is while its content version holds.
  win::IDirectDrawSurface7* gClearedDepth = nullptr;
  uint64_t gClearedDepthVersion = 0;
  std::string gScreenshotFile;      // where the next saved screen goes; its ending picks the format
  uint32_t gScreenSaveRequest = 0;  // the end of the frame saves the shown screen into gScreenshotFile

  // --- Frame switches (written by start-up and the window procedure) ---------------------------------
  uint32_t gRenderEnabled = 1;  // the frame is drawn
  uint8_t gDisplayInvalid = 0;  // the display was inactive or made again
  uint32_t gTraceMode = 0;      // SETUP.INI TRACEMODE: trace lines of the display set-up
  int32_t gBlitOverdraw = 1;    // 2 when pastes are drawn twice (SETUP.INI BLITOVERDRAW), else 1

  // --- Bitmaps -----------------------------------------------------------------------------------
  std::array<win::IDirectDrawSurface7*, kBitmapSlots> gBitmaps{};  // slot 0 unused: the screen is gBackBuffer
  std::array<BitmapInfo, kBitmapSlots> gBitmapInfo{};

  // --- Pixel formats -----------------------------------------------------------------------------
  PixelFormatShifts gPixelShifts{};  // of the surface last given to ComputePixelFormatShifts
};
extern DisplayState gDisplayState;  // the one instance (surfaces/display_state.cpp)
inline DisplayState& Display() { return gDisplayState; }

void ResetDisplayDefaults();

}  // namespace vx
