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
constexpr int32_t kBitmapCount = 32;   // program bitmaps 0 (the screen) to 31
constexpr int32_t kWorkBitmap = 33;    // the image-save item's own bitmap, never the program's
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
  win::Direct3D* gDirect3D = nullptr;                        // only when 3D is wanted
  win::IDirectDrawSurface7* gPrimarySurface = nullptr;
  win::IDirectDrawSurface7* gBackBuffer = nullptr;           // a member of the flip chain when gFlipChain is 1
  win::IDirectDrawSurface7* gZBuffer = nullptr;
  win::IDirectDrawPalette* gDisplayPalette = nullptr;        // only for an 8-bit palettised primary
  win::IDirectDrawGammaControl* gGammaControl = nullptr;
  uint32_t gGammaAvailable = 0;
  win::Direct3DDevice* gD3DDevice = nullptr;
  const char* gD3DDeviceName = "";                           // "T&L", "HAL", "RGB", "MMX" or "OTHER"
  uint32_t gHardwareDevice = 0;                              // 1 for T&L, HAL and OTHER
  win::IDirectDrawSurface7* gPointerImageSurface = nullptr;  // full-screen mouse pointer image
  win::IDirectDrawSurface7* gScreenshotSurface = nullptr;    // temporary copy of a saved screen

  // --- Display values ------------------------------------------------------------------------------
  int32_t gDisplayWidth = 640;      // back buffer, depth buffer and viewport
  int32_t gDisplayHeight = 480;
  int16_t gDisplayDepth = 16;       // colour depth of the display mode
  int16_t gDisplay3DDepth = 16;     // depth chosen by the adapter choice
  int32_t gScreenModeWidth = 640;   // the mode the program asked for (640x480 at gDisplay3DDepth at start)
  int32_t gScreenModeHeight = 480;
  int32_t gScreenModeDepth = 16;
  uint32_t gFullScreen = 1;         // 1 exclusive full screen, 0 windowed
  uint32_t gBlitFlipMode = 0;       // SETUP.INI BLITFLIPMODE
  uint32_t gBlitFlipModeInUse = 0;  // copy taken when DirectDraw is made
  uint32_t gFlipChain = 0;          // primary and back buffer form one flipping chain
  uint32_t gSystemMemorySurfaces = 0;
  uint32_t gSurfaceFallback = 0;    // primary card, system memory, software devices
  uint32_t gAllowTnL = 1;           // the T&L device is tried
  uint32_t gDirectDrawReady = 0;
  int32_t gBackBufferWidth = 0;     // read back after creation
  int32_t gBackBufferHeight = 0;
  int32_t gBackBufferBitCount = 0;
  std::string gFoundDriverName;     // driver taken by the enumeration
  std::string gFoundDriverDescription;
  win::GUID gFoundDriverGuid{};     // all zero for the primary driver
  std::string gCurrentCardName;
  std::string gChosenCardName;      // the card the program or the settings asked for

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
  int32_t gPresentOffsetX = 0;      // left and top of the last window blit target, screen coordinates
  int32_t gPresentOffsetY = 0;
  uint32_t gWindowBorders = 1;      // windowed presentation fills the client area round the picture
  uint32_t gFrameCounter = 0;
  uint32_t gFrameRate = 0;          // frames per second
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

// The fields under their old names, until every use reads them through Display().
inline auto& gDirectDraw = gDisplayState.gDirectDraw;
inline auto& gDirect3D = gDisplayState.gDirect3D;
inline auto& gPrimarySurface = gDisplayState.gPrimarySurface;
inline auto& gBackBuffer = gDisplayState.gBackBuffer;
inline auto& gZBuffer = gDisplayState.gZBuffer;
inline auto& gDisplayPalette = gDisplayState.gDisplayPalette;
inline auto& gGammaControl = gDisplayState.gGammaControl;
inline auto& gGammaAvailable = gDisplayState.gGammaAvailable;
inline auto& gD3DDevice = gDisplayState.gD3DDevice;
inline auto& gD3DDeviceName = gDisplayState.gD3DDeviceName;
inline auto& gHardwareDevice = gDisplayState.gHardwareDevice;
inline auto& gPointerImageSurface = gDisplayState.gPointerImageSurface;
inline auto& gScreenshotSurface = gDisplayState.gScreenshotSurface;
inline auto& gDisplayWidth = gDisplayState.gDisplayWidth;
inline auto& gDisplayHeight = gDisplayState.gDisplayHeight;
inline auto& gDisplayDepth = gDisplayState.gDisplayDepth;
inline auto& gDisplay3DDepth = gDisplayState.gDisplay3DDepth;
inline auto& gScreenModeWidth = gDisplayState.gScreenModeWidth;
inline auto& gScreenModeHeight = gDisplayState.gScreenModeHeight;
inline auto& gScreenModeDepth = gDisplayState.gScreenModeDepth;
inline auto& gFullScreen = gDisplayState.gFullScreen;
inline auto& gBlitFlipMode = gDisplayState.gBlitFlipMode;
inline auto& gBlitFlipModeInUse = gDisplayState.gBlitFlipModeInUse;
inline auto& gFlipChain = gDisplayState.gFlipChain;
inline auto& gSystemMemorySurfaces = gDisplayState.gSystemMemorySurfaces;
inline auto& gSurfaceFallback = gDisplayState.gSurfaceFallback;
inline auto& gAllowTnL = gDisplayState.gAllowTnL;
inline auto& gDirectDrawReady = gDisplayState.gDirectDrawReady;
inline auto& gBackBufferWidth = gDisplayState.gBackBufferWidth;
inline auto& gBackBufferHeight = gDisplayState.gBackBufferHeight;
inline auto& gBackBufferBitCount = gDisplayState.gBackBufferBitCount;
inline auto& gFoundDriverName = gDisplayState.gFoundDriverName;
inline auto& gFoundDriverDescription = gDisplayState.gFoundDriverDescription;
inline auto& gFoundDriverGuid = gDisplayState.gFoundDriverGuid;
inline auto& gCurrentCardName = gDisplayState.gCurrentCardName;
inline auto& gChosenCardName = gDisplayState.gChosenCardName;
inline auto& gDrawPrimTLVertex = gDisplayState.gDrawPrimTLVertex;
inline auto& gBlendLevel = gDisplayState.gBlendLevel;
inline auto& gSecondBlendLevel = gDisplayState.gSecondBlendLevel;
inline auto& gFilterLevel = gDisplayState.gFilterLevel;
inline auto& gFogAvailable = gDisplayState.gFogAvailable;
inline auto& gWBuffer = gDisplayState.gWBuffer;
inline auto& gTableFogOnly = gDisplayState.gTableFogOnly;
inline auto& gMipmapping = gDisplayState.gMipmapping;
inline auto& gWrapAddressing = gDisplayState.gWrapAddressing;
inline auto& gMirrorAddressing = gDisplayState.gMirrorAddressing;
inline auto& gClampAddressing = gDisplayState.gClampAddressing;
inline auto& gPremultipliedAlpha = gDisplayState.gPremultipliedAlpha;
inline auto& gDxtTextures = gDisplayState.gDxtTextures;
inline auto& gColourKeyAvailable = gDisplayState.gColourKeyAvailable;
inline auto& gColourKeyBlendAvailable = gDisplayState.gColourKeyBlendAvailable;
inline auto& gGhostSrcBlend = gDisplayState.gGhostSrcBlend;
inline auto& gGhostDestBlend = gDisplayState.gGhostDestBlend;
inline auto& gGhostSrcBlend2 = gDisplayState.gGhostSrcBlend2;
inline auto& gGhostDestBlend2 = gDisplayState.gGhostDestBlend2;
inline auto& gTextureFormats = gDisplayState.gTextureFormats;
inline auto& gTextureFormatCount = gDisplayState.gTextureFormatCount;
inline auto& gViewport = gDisplayState.gViewport;
inline auto& gSceneMaterial = gDisplayState.gSceneMaterial;
inline auto& gFullBrightMaterial = gDisplayState.gFullBrightMaterial;
inline auto& gPlainMaterial = gDisplayState.gPlainMaterial;
inline auto& gAmbientLevel = gDisplayState.gAmbientLevel;
inline auto& gCameraNear = gDisplayState.gCameraNear;
inline auto& gCameraFar = gDisplayState.gCameraFar;
inline auto& gCameraFov = gDisplayState.gCameraFov;
inline auto& gPresentOffsetX = gDisplayState.gPresentOffsetX;
inline auto& gPresentOffsetY = gDisplayState.gPresentOffsetY;
inline auto& gWindowBorders = gDisplayState.gWindowBorders;
inline auto& gFrameCounter = gDisplayState.gFrameCounter;
inline auto& gFrameRate = gDisplayState.gFrameRate;
inline auto& gScreenshotFile = gDisplayState.gScreenshotFile;
inline auto& gScreenSaveRequest = gDisplayState.gScreenSaveRequest;
inline auto& gRenderEnabled = gDisplayState.gRenderEnabled;
inline auto& gDisplayInvalid = gDisplayState.gDisplayInvalid;
inline auto& gTraceMode = gDisplayState.gTraceMode;
inline auto& gBlitOverdraw = gDisplayState.gBlitOverdraw;
inline auto& gBitmaps = gDisplayState.gBitmaps;
inline auto& gBitmapInfo = gDisplayState.gBitmapInfo;
inline auto& gPixelShifts = gDisplayState.gPixelShifts;

// The display values that every run starts from: the 3D scene's camera and light, the software
// fallback off, the hardware transform device allowed and the display depth the adapter chose.
void ResetDisplayDefaults();

}  // namespace vx
