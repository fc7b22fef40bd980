// The display's process-wide state: the DirectDraw and Direct3D objects, the display size and
// depth, the switches the set-up reads, the capability flags of the chosen 3D device, the
// presentation and frame-rate values, the frame switches of the main loop and the bitmaps. Written
// by the device set-up, the display modes and the bitmap commands, read by the 2D drawing and the
// 3D engine.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "platform/d3d/direct3d.h"
#include "platform/ddraw/ddraw.h"

namespace vx {

// --- Objects (released by the engine shutdown) ---------------------------------------------------
extern win::IDirectDraw7* gDirectDraw;
extern win::Direct3D* gDirect3D;                   // only when 3D is wanted
extern win::IDirectDrawSurface7* gPrimarySurface;
extern win::IDirectDrawSurface7* gBackBuffer;      // a member of the flip chain when gFlipChain is 1
extern win::IDirectDrawSurface7* gZBuffer;
extern win::IDirectDrawPalette* gDisplayPalette;   // only for an 8-bit palettised primary
extern win::IDirectDrawGammaControl* gGammaControl;
extern uint32_t gGammaAvailable;
extern win::Direct3DDevice* gD3DDevice;
extern const char* gD3DDeviceName;                 // "T&L", "HAL", "RGB", "MMX" or "OTHER"
extern uint32_t gHardwareDevice;                   // 1 for T&L, HAL and OTHER
extern win::IDirectDrawSurface7* gPointerImageSurface;  // full-screen mouse pointer image
extern win::IDirectDrawSurface7* gScreenshotSurface;    // temporary copy of a saved screen

// --- Display values ------------------------------------------------------------------------------
extern int32_t gDisplayWidth;        // back buffer, depth buffer and viewport
extern int32_t gDisplayHeight;
extern int16_t gDisplayDepth;        // colour depth of the display mode
extern int16_t gDisplay3DDepth;      // depth chosen by the adapter choice
extern int32_t gScreenModeWidth;     // the mode the program asked for (640x480 at gDisplay3DDepth at start)
extern int32_t gScreenModeHeight;
extern int32_t gScreenModeDepth;
extern uint32_t gFullScreen;         // 1 exclusive full screen, 0 windowed
extern uint32_t gBlitFlipMode;       // SETUP.INI BLITFLIPMODE
extern uint32_t gBlitFlipModeInUse;  // copy taken when DirectDraw is made
extern uint32_t gFlipChain;          // primary and back buffer form one flipping chain
extern uint32_t gSystemMemorySurfaces;
extern uint32_t gSurfaceFallback;    // primary card, system memory, software devices
extern uint32_t gAllowTnL;           // the T&L device is tried
extern uint32_t gDirectDrawReady;
extern int32_t gBackBufferWidth;     // read back after creation
extern int32_t gBackBufferHeight;
extern int32_t gBackBufferBitCount;
extern std::string gFoundDriverName;       // driver taken by the enumeration
extern std::string gFoundDriverDescription;
extern win::GUID gFoundDriverGuid;         // all zero for the primary driver
extern std::string gCurrentCardName;
extern std::string gChosenCardName;        // the card the program or the settings asked for

// --- Capability flags of the chosen device -------------------------------------------------------
extern uint32_t gDrawPrimTLVertex;
extern uint32_t gBlendLevel;         // 0..9, which blend pair ghosts use
extern uint32_t gSecondBlendLevel;   // 0, 5, 6 or 7
extern uint32_t gFilterLevel;        // 0 point, 1 linear, 2 anisotropic
extern uint32_t gFogAvailable;
extern uint32_t gWBuffer;
extern uint32_t gTableFogOnly;
extern uint32_t gMipmapping;
extern uint32_t gWrapAddressing, gMirrorAddressing, gClampAddressing;
extern uint32_t gPremultipliedAlpha;
extern uint32_t gDxtTextures;
// Colour-keyed textures: the device reports D3DPTEXTURECAPS_TRANSPARENCY, so that a texture made
// with the black key draws its black texels as holes. Its companion says the key also works
// while blending (D3DPTEXTURECAPS_COLORKEYBLEND); without it ghosted keyed objects draw opaque.
extern uint32_t gColourKeyAvailable;
extern uint32_t gColourKeyBlendAvailable;
// Blend pairs (D3DBLEND values) kept for ghosted drawing; 0 when the level keeps none.
extern uint32_t gGhostSrcBlend, gGhostDestBlend;
extern uint32_t gGhostSrcBlend2, gGhostDestBlend2;
constexpr int kMaxTextureFormats = 99;
extern std::array<win::DDPIXELFORMAT, kMaxTextureFormats> gTextureFormats;
extern int32_t gTextureFormatCount;
extern win::D3DVIEWPORT7 gViewport;  // the viewport the 3D engine projects into

// Three materials: the scene's (by the ambient level), full bright, and plain.
extern win::D3DMATERIAL7 gSceneMaterial, gFullBrightMaterial, gPlainMaterial;

// Camera and scene values that the display defaults reset and the device set-up applies.
extern float gAmbientLevel;
extern float gCameraNear;
extern float gCameraFar;
extern float gCameraFov;

// --- Presentation ----------------------------------------------------------------------------------
extern int32_t gPresentOffsetX;      // left and top of the last window blit target, screen coordinates
extern int32_t gPresentOffsetY;
extern uint32_t gWindowBorders;      // windowed presentation fills the client area round the picture
extern uint32_t gFrameCounter;
extern uint32_t gFrameRate;          // frames per second
extern std::string gScreenshotFile;  // where the next saved screen goes; its ending picks the format
extern uint32_t gScreenSaveRequest;  // the end of the frame saves the shown screen into gScreenshotFile

// --- Frame switches (written by start-up and the window procedure) ---------------------------------
extern uint32_t gRenderEnabled;      // the frame is drawn
extern uint8_t gDisplayInvalid;      // the display was inactive or made again
extern uint32_t gTraceMode;          // SETUP.INI TRACEMODE: trace lines of the display set-up
extern int32_t gBlitOverdraw;        // 2 when pastes are drawn twice (SETUP.INI BLITOVERDRAW), else 1

// --- Bitmaps -----------------------------------------------------------------------------------------
constexpr int32_t kBitmapCount = 32;   // program bitmaps 0 (the screen) to 31
constexpr int32_t kWorkBitmap = 33;    // the image-save item's own bitmap, never the program's
constexpr int32_t kBitmapSlots = 34;
// A number a program may give a bitmap: 0 (the screen) to 31.
inline bool IsProgramBitmap(int32_t n) { return n >= 0 && n < kBitmapCount; }

struct BitmapInfo {
  uint32_t width = 0, height = 0, bitsPerPixel = 0;
  uint8_t mirrored = 0, flipped = 0;
};

extern std::array<win::IDirectDrawSurface7*, kBitmapSlots> gBitmaps;  // slot 0 unused: the screen is gBackBuffer
extern std::array<BitmapInfo, kBitmapSlots> gBitmapInfo;

// The display values that every run starts from: the 3D scene's camera and light, the software
// fallback off, the hardware transform device allowed and the display depth the adapter chose.
void ResetDisplayDefaults();

}  // namespace vx
