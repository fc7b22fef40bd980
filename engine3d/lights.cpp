// The device lights (lights.h). Device failures only reach the engine log; the record keeps its
// fields, so a later ApplyLight retries.
#include "engine3d/lights.h"

#include <cmath>

#include "common/runtime_hooks.h"
#include "engine3d/object_records.h"
#include "models/scene_model.h"
#include "platform/d3d/device.h"
#include "surfaces/display_state.h"

namespace vx {

using namespace win;

namespace {

constexpr float kSmallestRange = 0.001f;

constexpr D3DVECTOR kDefaultDirection{0.2f, -0.7f, 0.1f};

bool SetDeviceLight(uint32_t slot, const D3DLIGHT7& light) {
  if (Display().gD3DDevice && Succeeded(Display().gD3DDevice->SetLight(slot, &light))) return true;
  EngineErrorLog("Failed to set Light Object Properties");
  return false;
}

}  // namespace

D3DLIGHT7 DeviceLightOf(uint32_t slot) {
  const LightRecord& r = Engine().gLightRecords[slot];
  D3DLIGHT7 light{};
  light.dltType = D3DLIGHTTYPE(r.type);
  light.dcvDiffuse = D3DCOLORVALUE{r.red, r.green, r.blue, 0.0f};
  const float range = r.range > kSmallestRange ? r.range : kSmallestRange;
  light.dvRange = range;
  light.dvAttenuation0 = 1.0f;
  light.dvAttenuation1 = 0.0f;
  const float third = range / 3.0f;
  light.dvAttenuation2 = 1.0f / (third * third);
  switch (r.type) {
    case D3DLIGHT_POINT:
      light.dvPosition = D3DVECTOR{r.positionX, r.positionY, r.positionZ};
      light.dvFalloff = 1.0f;
      break;
    case D3DLIGHT_SPOT:
      light.dvPosition = D3DVECTOR{r.positionX, r.positionY, r.positionZ};
      light.dvDirection = D3DVECTOR{r.directionX, r.directionY, r.directionZ};
      light.dvTheta = r.innerCone;
      light.dvPhi = r.outerCone;
      light.dvFalloff = 1.0f;
      break;
    default: light.dvDirection = D3DVECTOR{r.directionX, r.directionY, r.directionZ}; break;
  }
  return light;
}

int32_t ApplyLight(uint32_t slot) {
  if (!Engine().gLightRecords.IsTaken(slot)) return 0;
  if (!SetDeviceLight(slot, DeviceLightOf(slot))) return 0;
  LightRecord& r = Engine().gLightRecords[slot];
  if (r.on && !r.deviceEnabled) {
    if (Failed(Display().gD3DDevice->LightEnable(slot, 1))) {
      EngineErrorLog("Failed to enable Light Object");
      return 0;
    }
    r.deviceEnabled = 1;
  }
  if (!r.on && r.deviceEnabled) {
    if (Failed(Display().gD3DDevice->LightEnable(slot, 0))) {
      EngineErrorLog("Failed to disable Light Object");
      return 0;
    }
    r.deviceEnabled = 0;
  }
  return 1;
}

int32_t CreateDeviceLight(uint32_t slot) {
  D3DLIGHT7 light{};
  light.dltType = D3DLIGHT_DIRECTIONAL;
  light.dcvDiffuse = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 0.0f};
  light.dvDirection = kDefaultDirection;
  if (!SetDeviceLight(slot, light)) return 0;
  if (Failed(Display().gD3DDevice->LightEnable(slot, 1))) {
    EngineErrorLog("Failed to enable Light Object");
    return 0;
  }
  return 1;
}

int32_t CreateDefaultLight() {
  const uint32_t slot = AllocLightRecord();
  if (slot == kNoRecordSlot) return 0;
  if (!CreateDeviceLight(slot)) {
    EngineErrorLog("Failed to create a Light Object");
    return 0;
  }
  LightRecord& r = Engine().gLightRecords[slot];
  r.inUse = r.on = r.deviceEnabled = 1;
  r.type = D3DLIGHT_DIRECTIONAL;
  r.directionX = kDefaultDirection.x;
  r.directionY = kDefaultDirection.y;
  r.directionZ = kDefaultDirection.z;
  r.red = r.green = r.blue = 1.0f;
  r.lightWord = 0;
  r.range = 3000.0f;
  ApplyLight(slot);
  return 1;
}

void RestoreDeviceLights() {
  for (int32_t s = 0; s < Engine().gLightRecords.capacity; ++s) {
    if (Engine().gLightRecords.records[s].inUse != 1) continue;
    // The new device knows none of the lights: the record's enabled flag must say so.
    Engine().gLightRecords.records[s].deviceEnabled = CreateDeviceLight(uint32_t(s)) ? 1 : 0;
    ApplyLight(uint32_t(s));
  }
}

void RestoreObjectBuffers() {
  Engine().gObjectRecords.ForEachUsed([](uint32_t slot) {
    if (Engine().gObjectRecords[slot].inUse == 1 && Engine().gObjectRecords[slot].model)
      Engine().gObjectRecords[slot].model->RebuildVertexBuffers();
  });
}

}  // namespace vx
