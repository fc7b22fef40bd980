// The backdrop plane: a small grid object drawn before the scene in camera space with depth off,
// covering the screen with one colour or an image's texture. The first 3D object a program builds
// brings it (unless the program switched it off first).
#pragma once
#include <cstdint>

#include "engine3d/scene_state.h"

namespace vx {

// Run set-up: no plane, pending.
void ResetBackdrop();
// Makes the plane once (dark blue) and asks for it at the next frame.
void BackdropPlaneOn();
void BackdropPlaneOff();
void SetBackdropPlaneColour(uint32_t colour);
// The plane, when it exists, shows the image's texture (1-65535: 501 outside, 502 without an image).
void TextureBackdropPlane(int32_t imageNumber);
// The plane's texture, when it exists, moved by u and v hundredths of its size.
void ScrollBackdropPlane(int32_t u, int32_t v);
// Called before the scene: draws the plane when it is on, beginning the scene.
void DrawBackdropPlane();

}  // namespace vx
