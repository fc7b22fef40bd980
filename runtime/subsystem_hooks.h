// Services of the video and 3D engine that the frame, the focus changes,
// start-up and shut-down call. Until those subsystems exist here each one only reports success,
// so that the frame and the start-up order stay as they will be.
#pragma once

#include <cstdint>

#include "platform/win/types.h"

namespace vx {

// Text fonts (the display's own functions are in display/display.h).
void CreateTextFontForRun();

// Sprites, pointer, scene and keyframe animation (the record pools are in engine3d/records.h;
// video is display/video_playback.h).
void Reset3DScene();
void LoadPointerBitmap();
// The full-screen software pointer. Until its sprites exist here, only whether it was made and
// whether it is shown are kept.
// Makes the pointer (shown) unless it exists; the flag says whether its images are sprite copies.
void CreatePointerSprites(int32_t spriteFlag = 0);
// Hides the pointer while keeping it.
void HidePointerSprites();
// Shows the pointer again, making it when it does not exist.
void ShowPointerSprites();
void DeletePointerSprites();
void UpdatePointerSprites();
void DrawBackdropPlane();
void RenderSceneIfReady();
void AdvanceAnimations();

extern int gBlitOverdraw;         // 2 when drawing items repeat on the second page

}  // namespace vx
