// Services of the display, input devices, video and 3D engine that the frame, the focus changes,
// start-up and shut-down call. Until those subsystems exist here each one only reports success,
// so that the frame and the start-up order stay as they will be.
#pragma once

#include "platform/win/types.h"

namespace vx {

// Input devices.
bool InitInputDevices(win::HINSTANCE instance, win::HWND window);
void RefreshInputState();
void AcquireInputDevices();
void UnacquireInputDevices();
void ReleaseInputDevices();

// Display.
bool ChooseBestDisplayCard();
int SetFullScreen(int fullScreen);
bool CreateDirectDrawForCard();
bool SetDisplayMode(int width, int height, int depth);
bool CreateSurfacesAndDevice(int width, int height);
void ClearAndPresentBackBuffer();
void ClearDepthBuffer();
bool RestorePrimarySurface();
void PresentFrame();
void SaveScreenshot();
void LeaveWindowMode();
void ReleaseDirectDrawObjects();
void DestroyWindowGdiObjects();
void CreateTextFontForRun();

// Sprites, pointer, scene, animation and video (the record pools are in engine3d/records.h).
void Reset3DScene();
void LoadPointerBitmap();
void CreatePointerSprites();
void DeletePointerSprites();
void UpdatePointerSprites();
void RestoreSpriteBackgrounds();
void SaveSpriteBackgrounds();
void DrawSpriteLayers();
void DrawBackdropPlane();
void RenderSceneIfReady();
void DrawQueueExecute();
void AdvanceAnimations();
void UpdateAnimations();
void DeleteAllAnimations();
void Shutdown3DEngine(int keep);

extern int gFullScreen;           // 1 while the display is full screen
extern int gDisplay3DDepth;       // bits per pixel of the display
extern int gBlitFlipMode;         // present by blitting instead of flipping
extern int gBlitOverdraw;         // 2 when drawing items repeat on the second page
extern int gPointerSpritesOn;     // the software mouse pointer is drawn
extern int gPresentOffsetX;       // where the picture sits in the window
extern int gPresentOffsetY;

}  // namespace vx
