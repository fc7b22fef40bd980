// The device lights: each LightRecord is mirrored by the Direct3D light of its slot's index. The
// default light (slot 0 after a reset), the light built from a record, and the lights made again
// after the device was.
#pragma once
#include <cstdint>

#include "platform/d3d/d3d_types.h"

namespace vx {

// The Direct3D light a record describes. A range of 0 or below (or not a number) is taken as the
// smallest range, so the attenuation never divides by zero.
win::D3DLIGHT7 DeviceLightOf(uint32_t lightSlot);
// Sets the device light from the record and enables or disables it; 1, or 0 after a logged failure.
int32_t ApplyLight(uint32_t lightSlot);
// A white directional light along (0.2, -0.7, 0.1), enabled; 1, or 0 after a logged failure.
int32_t CreateDeviceLight(uint32_t lightSlot);
// Takes a record (slot 0 after a reset) and makes it the default light; 1 when the device light
// was made.
int32_t CreateDefaultLight();
// After the device was made again: every light in use is made and applied again.
void RestoreDeviceLights();
// After the device was made again: every object's vertex buffers are made again before its next draw.
void RestoreObjectBuffers();

}  // namespace vx
