// The engine's calls that the display makes through its device events (display/device_events.h):
// after a device set-up the render-state cache and the default transforms, after a display change
// the lights, the object buffers and the camera view.
#pragma once

namespace vx {

// Start-up calls it beside InstallRuntimeHooks; test programs call it too. Calling it again
// changes nothing.
void InstallEngineHooks();

}  // namespace vx
