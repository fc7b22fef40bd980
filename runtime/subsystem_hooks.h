// Services of the 3D engine that the frame, the focus changes, start-up and shut-down call. (The
// software pointer is display/mouse_pointer.h; films are display/video_playback.h.)
#pragma once
#include "engine3d/animation.h"         // AdvanceAnimations
#include "engine3d/backdrop.h"          // DrawBackdropPlane
#include "engine3d/object_collision.h"  // KeepPreviousPositions
#include "engine3d/scene_render.h"      // RenderSceneIfReady
#include "engine3d/scene_settings.h"    // Reset3DScene
