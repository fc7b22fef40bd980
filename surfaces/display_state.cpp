// Definitions of the display's state, with the values a process starts with.
#include "surfaces/display_state.h"

namespace vx {

win::IDirectDraw7* gDirectDraw = nullptr;
win::Direct3D* gDirect3D = nullptr;
win::IDirectDrawSurface7* gPrimarySurface = nullptr;
win::IDirectDrawSurface7* gBackBuffer = nullptr;
win::IDirectDrawSurface7* gZBuffer = nullptr;
win::IDirectDrawPalette* gDisplayPalette = nullptr;
win::IDirectDrawGammaControl* gGammaControl = nullptr;
uint32_t gGammaAvailable = 0;
win::Direct3DDevice* gD3DDevice = nullptr;
const char* gD3DDeviceName = "";
uint32_t gHardwareDevice = 0;
win::IDirectDrawSurface7* gPointerImageSurface = nullptr;
win::IDirectDrawSurface7* gScreenshotSurface = nullptr;

int32_t gDisplayWidth = 640;
int32_t gDisplayHeight = 480;
int16_t gDisplayDepth = 16;
int16_t gDisplay3DDepth = 16;
int32_t gScreenModeWidth = 640;
int32_t gScreenModeHeight = 480;
int32_t gScreenModeDepth = 16;
uint32_t gFullScreen = 1;
uint32_t gBlitFlipMode = 0;
uint32_t gBlitFlipModeInUse = 0;
uint32_t gFlipChain = 0;
uint32_t gSystemMemorySurfaces = 0;
uint32_t gSurfaceFallback = 0;
uint32_t gAllowTnL = 1;
uint32_t gDirectDrawReady = 0;
int32_t gBackBufferWidth = 0;
int32_t gBackBufferHeight = 0;
int32_t gBackBufferBitCount = 0;
std::string gFoundDriverName;
std::string gFoundDriverDescription;
win::GUID gFoundDriverGuid{};
std::string gCurrentCardName;
std::string gChosenCardName;

uint32_t gDrawPrimTLVertex = 0;
uint32_t gBlendLevel = 0;
uint32_t gSecondBlendLevel = 0;
uint32_t gFilterLevel = 0;
uint32_t gFogAvailable = 0;
uint32_t gWBuffer = 0;
uint32_t gTableFogOnly = 0;
uint32_t gMipmapping = 0;
uint32_t gWrapAddressing = 0, gMirrorAddressing = 0, gClampAddressing = 0;
uint32_t gPremultipliedAlpha = 0;
uint32_t gDxtTextures = 0;
uint32_t gColourKeyAvailable = 0;
uint32_t gColourKeyBlendAvailable = 0;
uint32_t gGhostSrcBlend = 0, gGhostDestBlend = 0;
uint32_t gGhostSrcBlend2 = 0, gGhostDestBlend2 = 0;
std::array<win::DDPIXELFORMAT, kMaxTextureFormats> gTextureFormats{};
int32_t gTextureFormatCount = 0;
win::D3DVIEWPORT7 gViewport{};
win::D3DMATERIAL7 gSceneMaterial{}, gFullBrightMaterial{}, gPlainMaterial{};

float gAmbientLevel = 0.5f;
float gCameraNear = 1.0f;
float gCameraFar = 3000.0f;
float gCameraFov = 1.0814433f;

int32_t gPresentOffsetX = 0;
int32_t gPresentOffsetY = 0;
uint32_t gWindowBorders = 1;
uint32_t gFrameCounter = 0;
uint32_t gFrameRate = 0;
std::string gScreenshotFile;
uint32_t gScreenSaveRequest = 0;

uint32_t gRenderEnabled = 1;
uint8_t gDisplayInvalid = 0;
uint32_t gTraceMode = 0;
int32_t gBlitOverdraw = 1;

std::array<win::IDirectDrawSurface7*, kBitmapSlots> gBitmaps{};
std::array<BitmapInfo, kBitmapSlots> gBitmapInfo{};

void ResetDisplayDefaults() {
  gDisplayInvalid = 0;
  gAmbientLevel = 0.5f;
  gCameraNear = 1.0f;
  gCameraFar = 3000.0f;
  gCameraFov = 1.0814433f;
  gSurfaceFallback = 0;
  gAllowTnL = 1;
  gDisplayDepth = gDisplay3DDepth;
}

}  // namespace vx
