// The engine's side of the display's device events.
#include "engine3d/engine_hooks.h"

#include "display/device_events.h"
#include "engine3d/lights.h"
#include "engine3d/scene_render.h"
#include "engine3d/scene_settings.h"

namespace vx {

void InstallEngineHooks() {
  gDeviceEvents.deviceSetUp = [] {
    ResetRenderStateCache();  // the cache starts from what the device was just told
    SetDefaultTransforms();
  };
  gDeviceEvents.displayRemade = [] {
    RestoreDeviceLights();
    RestoreObjectBuffers();
    UpdateCameraView();
  };
}

}  // namespace vx
