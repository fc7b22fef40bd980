// What the engine's record pools call of their neighbours when they free or reset records: the
// static world, the device lights, the collision library and the file commands' table.
#pragma once
#include <cstdint>

namespace vx {

// Static world: removes the parts whose owner is the object slot.
void RemoveObjectFromStaticWorld(uint32_t objectSlot);
// Device lights: when the light record's device light is enabled, the device light of that index is
// switched off and the flag cleared.
void DisableDeviceLight(uint32_t lightSlot);
// Collision library: broad phase off and the object collision callback registered; the model
// code's services registered.
void RegisterObjectCollisionResponse();
// System commands: file numbers 0 to 31 forgotten (not closed: the run's end closed them).
void ClearFileHandles();

}  // namespace vx
