// The one instance of the display's state, and the values every run starts from.
#include "surfaces/display_state.h"

namespace vx {

DisplayState gDisplayState;

void ResetDisplayDefaults() {
  Display().gDisplayInvalid = 0;
  Display().gAmbientLevel = 0.5f;
  Display().gCameraNear = 1.0f;
  Display().gCameraFar = 3000.0f;
  Display().gCameraFov = 1.0814433f;
  Display().gSurfaceFallback = 0;
  Display().gAllowTnL = 1;
  Display().gDisplayDepth = Display().gDisplay3DDepth;
}

}  // namespace vx
