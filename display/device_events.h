// What the display tells the layers above it about its 3D device: the device was set up (its
// default states are in force), or the whole display was made again after a mode change. The 3D
// engine registers its calls (engine3d/engine_hooks.h); until then nothing is called.
#pragma once

namespace vx {

struct DeviceEvents {
  void (*deviceSetUp)();    // the end of a successful device set-up
  void (*displayRemade)();  // after a display change, once the surfaces and the device are new
};
extern DeviceEvents gDeviceEvents;

}  // namespace vx
