// The one instance of the display's state, and the values every run starts from.
#include "surfaces/display_state.h"

namespace vx {

DisplayState gDisplayState;

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
