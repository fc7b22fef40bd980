// 3D scene commands: fog, the ambient light, the backdrop plane behind everything, where in the
// frame the scene is drawn, the 3D device's capabilities, converting a .3ds model into a .x file,
// and the maths functions for moving things in degrees. The handlers change the scene settings
// (engine3d/scene_settings.h) and the backdrop (engine3d/backdrop.h).
#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

#include "common/interpreter_state.h"
#include "common/runtime_hooks.h"
#include "engine3d/backdrop.h"
#include "engine3d/maths3d.h"
#include "engine3d/objects.h"
#include "engine3d/scene_settings.h"
#include "surfaces/display_state.h"
#include "system/file_functions.h"

namespace vx {

namespace {

// --- Fog and ambient light -------------------------------------------------------------------------

// Fog commands need a device that fogs; without one they warn and change nothing.
bool FogAvailable() {
  if (Display().gFogAvailable == 1) return true;
  RaiseRuntimeError(kErrFogNotAvailable);
  return false;
}

void CmdFogOn() {
  if (FogAvailable()) EnableFog();
}

void CmdFogOff() {
  if (FogAvailable()) DisableFog();
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

void CmdSetAmbientLight() {
  const int32_t percent = IntOperand(0);
  SkipOperands(1);
  if (percent < 0 || percent > 100) {
    RaiseRuntimeError(kErrAmbientLightOutOfRange);
    return;
  }
  SetAmbientLevel(percent);
}

void CmdSetAmbientLightColour() {
  const int32_t colour = IntOperand(0);
  SkipOperands(1);
  if (colour < 0) {
    RaiseRuntimeError(kErrValueOutOfRange);
    return;
  }
  SetAmbientColour(uint32_t(colour));
}

// --- Backdrop and drawing order ----------------------------------------------------------------------

void CmdBackdropPlaneOn() { BackdropPlaneOn(); }
void CmdBackdropPlaneOff() { BackdropPlaneOff(); }

void CmdTextureBackdropPlane() {
  const int32_t image = IntOperand(0);
  SkipOperands(1);
  TextureBackdropPlane(image);
}

void CmdSetBackdropPlaneColour() {
  const int32_t colour = IntOperand(0);
  SkipOperands(1);
  SetBackdropPlaneColour(uint32_t(colour));
}

void CmdScrollBackdropPlane() {
  const int32_t u = IntOperand(0), v = IntOperand(1);
  SkipOperands(2);
  ScrollBackdropPlane(u, v);
}

void CmdDrawSceneEveryPass() { Interpreter().gDrawSceneAtFrameUpdate = 0; }
void CmdDrawSceneAtFrameUpdate() { Interpreter().gDrawSceneAtFrameUpdate = 1; }

// --- Converting a .3ds model -------------------------------------------------------------------------

std::string LowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return text;
}

void CmdConvertThreeDsToX() {
  const std::string source = TextOperand(0), destination = TextOperand(1);
  SkipOperands(2);
  if (FileEndingOf(LowerCase(source)) != "3ds") {
    RaiseRuntimeError(kErrConvertSourceNot3ds);
    return;
  }
  if (FileEndingOf(LowerCase(destination)) != "x") {
    RaiseRuntimeError(kErrConvertTargetNotX);
    return;
  }
  if (!FileExists(source)) {
    RaiseRuntimeError(kErrFileNotFound);
    return;
  }
  if (FileExists(destination)) {
    RaiseRuntimeError(kErrFileExists);
    return;
  }
  // A file that is no model converts to nothing: that is a failure, not a quiet success.
  if (ConvertThreeDsFile(source, destination) < 0) RaiseRuntimeError(kErrModelNotRead);
}

// --- Maths in degrees --------------------------------------------------------------------------------

// Result slot and three float inputs.
template <class F>
void FloatFunction3(F f) {
  ValueSlot* result = SlotOperand(0);
  const float a = FloatOperand(1), b = FloatOperand(2), c = FloatOperand(3);
  SkipOperands(4);
  result->f = f(a, b, c);
}

// A speed of 0 or below would divide by zero or run away: the value then goes all the way at once.
float CurveSpeed(float speed) { return speed > 0.0f ? speed : 1.0f; }

void FnCurveValue() {
  FloatFunction3([](float destination, float current, float speed) {
    return current + (destination - current) / CurveSpeed(speed);
  });
}

void FnWrapValue() {
  ValueSlot* result = SlotOperand(0);
  const float angle = FloatOperand(1);
  SkipOperands(2);
  result->f = WrapAngleDegrees(angle);
}

void FnNewXValue() {
  FloatFunction3(
      [](float x, float angle, float distance) { return float(x + std::sin(DegreesToRadians(angle)) * distance); });
}

void FnNewZValue() {
  FloatFunction3(
      [](float z, float angle, float distance) { return float(z + std::cos(DegreesToRadians(angle)) * distance); });
}

void FnNewYValue() {
  FloatFunction3(
      [](float y, float angle, float distance) { return float(y - std::sin(DegreesToRadians(angle)) * distance); });
}

void FnCurveAngle() {
  FloatFunction3([](float destination, float current, float speed) {
    const float d = WrapAngleDegrees(destination), c = WrapAngleDegrees(current);
    float diff = d - c;
    if (diff < -180.0f) diff = d + 360.0f - c;
    if (diff > 180.0f) diff = d - (c + 360.0f);
    return WrapAngleDegrees(diff / CurveSpeed(speed) + c);
  });
}

// --- What the device can do ------------------------------------------------------------------------

void StoreFlag(bool flag) {
  SlotOperand(0)->i = flag ? 1 : 0;
  SkipOperands(1);
}

void FnAlphaBlendingAvailable() { StoreFlag(Display().gBlendLevel > 0); }
void FnTextureFilteringAvailable() { StoreFlag(Display().gFilterLevel > 0); }
void FnFogAvailable() { StoreFlag(Display().gFogAvailable == 1); }
void FnDirectDrawReady() { StoreFlag(Display().gDirectDrawReady != 0); }

}  // namespace

}  // namespace vx

#include "generated/commands/scene.inc"
