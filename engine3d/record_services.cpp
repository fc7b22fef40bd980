// The neighbours of the engine's record pools. The file commands do not exist yet: nothing of
// theirs can have been made, so there is nothing to forget.
#include "engine3d/record_services.h"

#include "engine3d/object_records.h"
#include "engine3d/objects.h"
#include "surfaces/display_state.h"

namespace vx {

void DisableDeviceLight(uint32_t lightSlot) {
  if (!gLightRecords.IsTaken(lightSlot) || !gLightRecords[lightSlot].deviceEnabled) return;
  if (gD3DDevice) gD3DDevice->LightEnable(lightSlot, 0);
  gLightRecords[lightSlot].deviceEnabled = 0;
}

void RegisterObjectCollisionResponse() {
  gCollisionEnabled = 1;
  DisableBroadPhase();
  SetDefaultResponse(CollisionPairCallback, kResponseSimple, nullptr);
  RegisterModelServices();
}

void ClearFileHandles() {}

}  // namespace vx
