// 3D scene commands: the camera's place and aim, fog, and the backdrop plane's colour. The handlers
// change the scene settings (engine3d/scene_settings.h) and the backdrop (engine3d/backdrop.h).
#include "common/interpreter.h"
#include "common/runtime_hooks.h"
#include "display/display_state.h"
#include "engine3d/backdrop.h"
#include "engine3d/maths3d.h"
#include "engine3d/scene_settings.h"

namespace vx {

namespace {

// Fog commands need a device that fogs; without one they warn and change nothing.
bool FogAvailable() {
  if (gFogAvailable == 1) return true;
  RaiseRuntimeError(kErrFogNotAvailable);
  return false;
}

void CmdPositionCamera() {
  const Vector3f position(FloatOperand(0), FloatOperand(1), FloatOperand(2));
  SkipOperands(3);
  // The look-at point moves with the camera.
  gCameraLookAt.Add(Vector3f(position.x - gCameraPosition.x, position.y - gCameraPosition.y,
                             position.z - gCameraPosition.z));
  gCameraPosition = position;
  UpdateCameraView();
  EndSliceAfterCommand(SliceEnd::kAutoRefresh);
}

void CmdPointCamera() {
  gCameraLookAt.Set(FloatOperand(0), FloatOperand(1), FloatOperand(2));
  SkipOperands(3);
  gCameraMode = kCameraLookAt;
  UpdateCameraLookAt();
  AnglesTowardsPoint(gCameraPosition.x, gCameraPosition.y, gCameraPosition.z, gCameraLookAt.x, gCameraLookAt.y,
                     gCameraLookAt.z, gCameraAngles.x, gCameraAngles.y, gCameraAngles.z);
  EndSliceAfterCommand(SliceEnd::kAutoRefresh);
}

void CmdFogOn() {
  if (FogAvailable()) EnableFog();
}

void CmdSetFogDistance() {
  const int32_t distance = IntOperand(0);
  SkipOperands(1);
  if (FogAvailable()) SetFogDistance(float(distance));
}

void CmdSetFogColour() {
  const int32_t colour = IntOperand(0);
  SkipOperands(1);
  if (FogAvailable()) SetFogColour(uint32_t(colour));
}

void CmdSetBackdropPlaneColour() {
  const int32_t colour = IntOperand(0);
  SkipOperands(1);
  SetBackdropPlaneColour(uint32_t(colour));
}

}  // namespace

}  // namespace vx

#include "generated/commands/scene.inc"
