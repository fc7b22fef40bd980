// Placeholders for the video and 3D services: each reports success and changes nothing.
#include "runtime/subsystem_hooks.h"

namespace vx {

void Reset3DScene() {}
void DrawBackdropPlane() {}
void RenderSceneIfReady() {}
void AdvanceAnimations() {}

}  // namespace vx
