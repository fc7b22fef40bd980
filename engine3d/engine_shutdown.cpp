// The engine's release after a run (engine_shutdown.h): the run's resources in the records and the
// neighbours' tables, then the display's DirectDraw objects.
#include "engine3d/engine_shutdown.h"

#include "display/display.h"
#include "display/input_devices.h"
#include "display/locked_pixels.h"
#include "display/memblocks.h"
#include "engine3d/object_records.h"
#include "engine3d/record_services.h"
#include "engine3d/static_world.h"
#include "surfaces/texture_names.h"
#include "system/system_state.h"

namespace vx {

int32_t ReleaseRunResources() {
  UnlockScreenPixels();  // a program may end with the screen locked
  DeleteMultiplayerSession();
  ClearMemblockTable();
  ReleaseKeyboardBuffer();
  ReleaseStaticWorld();
  for (int32_t slot = 0; slot < Engine().gObjectRecords.capacity; ++slot) ReleaseObjectContents(uint32_t(slot));
  for (int32_t slot = 0; slot < Engine().gMeshRecords.capacity; ++slot)
    FreeMeshArrays(Engine().gMeshRecords.records[slot]);
  // The records keep pointing at the entries; the list tells which ones are gone.
  ClearTextureNameList();
  ClearFileHandles();
  return 1;
}

void Shutdown3DEngine(int32_t keep) {
  ReleaseRunResources();
  ReleaseDirectDrawObjects(keep);
}

}  // namespace vx
