// The neighbours of the engine's record pools. The file commands do not exist yet: nothing of
// theirs can have been made, so there is nothing to forget.
#include "engine3d/record_services.h"

#include "engine3d/object_records.h"
#include "engine3d/objects.h"
#include "surfaces/display_state.h"

namespace vx {

void DisableDeviceLight(uint32_t lightSlot) {
  if (!Engine().gLightRecords.IsTaken(lightSlot) || !Engine().gLightRecords[lightSlot].deviceEnabled) return;
  if (Display().gD3DDevice) Display().gD3DDevice->LightEnable(lightSlot, 0);
  Engine().gLightRecords[lightSlot].deviceEnabled = 0;
}

void RegisterObjectCollisionResponse() {
  Engine().gCollisionEnabled = 1;
  DisableBroadPhase();
  SetDefaultResponse(CollisionPairCallback, kResponseSimple, nullptr);
  RegisterModelServices();
}

void ClearFileHandles() {}

}  // namespace vx
