// Camera commands: placing, aiming, turning and moving the one camera, following a point (kept
// clear of the static world), its range, field of view and viewport, the rotation order, the
// automatic placement by new objects, clearing the screen through the device, and the static
// world's sphere test whose response the program reads back. The handlers change the camera state
// and call its view updates (engine3d/scene_settings.h).
#include <cmath>

#include "common/interpreter_state.h"
#include "common/runtime_hooks.h"
#include "display/draw_queue.h"
#include "engine3d/maths3d.h"
#include "engine3d/object_records.h"
#include "engine3d/object_support.h"
#include "engine3d/scene_settings.h"
#include "engine3d/static_world.h"
#include "surfaces/display_state.h"

namespace vx {

namespace {

void Yield() { EndSliceAfterCommand(SliceEnd::kAutoRefresh); }

// --- Place and aim -----------------------------------------------------------------------------------

void CmdPositionCamera() {
  const Vector3f position(FloatOperand(0), FloatOperand(1), FloatOperand(2));
  SkipOperands(3);
  // The look-at point moves with the camera.
  Scene().gCameraLookAt.Add(Vector3f(position.x - Scene().gCameraPosition.x, position.y - Scene().gCameraPosition.y,
                                     position.z - Scene().gCameraPosition.z));
  Scene().gCameraPosition = position;
  UpdateCameraView();
  Yield();
}

void CmdPointCamera() {
  Scene().gCameraLookAt.Set(FloatOperand(0), FloatOperand(1), FloatOperand(2));
  SkipOperands(3);
  Scene().gCameraMode = kCameraLookAt;
  UpdateCameraLookAt();
  AnglesTowardsPoint(Scene().gCameraPosition.x, Scene().gCameraPosition.y, Scene().gCameraPosition.z,
                     Scene().gCameraLookAt.x, Scene().gCameraLookAt.y, Scene().gCameraLookAt.z, Scene().gCameraAngles.x,
                     Scene().gCameraAngles.y, Scene().gCameraAngles.z);
  Yield();
}

// Camera angles are 0 to below 360 degrees; 7019 otherwise.
bool CameraAngleAccepted(float degrees) {
  if (degrees >= 0.0f && degrees < 360.0f) return true;
  RaiseRuntimeError(kErrAngleOutOfRange);
  return false;
}

void TurnCameraTo() {
  Scene().gCameraMode = kCameraAngles;
  UpdateCameraAngles();
  Yield();
}

void CmdRotateCamera() {
  const float x = FloatOperand(0), y = FloatOperand(1), z = FloatOperand(2);
  SkipOperands(3);
  if (!CameraAngleAccepted(x) || !CameraAngleAccepted(y) || !CameraAngleAccepted(z)) return;
  Scene().gCameraAngles.Set(x * kEngineDegreesToRadians, y * kEngineDegreesToRadians, z * kEngineDegreesToRadians);
  TurnCameraTo();
}

// One of the three angles (0 x, 1 y, 2 z).
void RotateCameraAbout(int axis) {
  const float a = FloatOperand(0);
  SkipOperands(1);
  if (!CameraAngleAccepted(a)) return;
  float* angles[3] = {&Scene().gCameraAngles.x, &Scene().gCameraAngles.y, &Scene().gCameraAngles.z};
  *angles[axis] = a * kEngineDegreesToRadians;
  TurnCameraTo();
}

void CmdXRotateCamera() { RotateCameraAbout(0); }
void CmdYRotateCamera() { RotateCameraAbout(1); }
void CmdZRotateCamera() { RotateCameraAbout(2); }

void CmdMoveCamera() {
  const float step = FloatOperand(0);
  SkipOperands(1);
  const Vector3f ahead(0, 0, step);
  Vector3f v = ahead;
  Matrix4f turn;
  if (Scene().gCameraMode == kCameraFree) {
    if (MatrixInvert(turn, Scene().gCameraFreeMatrix) == kMathsOk) TransformCoord(v, ahead, turn);
  } else {
    RotationMatrixFromAngles(turn, Scene().gCameraAngles.x, Scene().gCameraAngles.y, Scene().gCameraAngles.z);
    TransformCoord(v, ahead, turn);
  }
  Scene().gCameraPosition.Add(v);
  Scene().gCameraLookAt.Add(v);
  UpdateCameraView();
  Yield();
}

// --- Free turns ----------------------------------------------------------------------------------------

// The free matrix turned about the camera's own axes; angles in degrees, each wrapped first.
void TurnCameraFree(float x, float y, float z) {
  RotateMatrixByAngles(Scene().gCameraFreeMatrix, WrapAngleDegrees(x), WrapAngleDegrees(y), WrapAngleDegrees(z));
  Scene().gCameraMode = kCameraFree;
  UpdateCameraFree();
  Yield();
}

float TurnOperand() {
  const float a = FloatOperand(0);
  SkipOperands(1);
  return a;
}

void CmdYawCameraPositive() { TurnCameraFree(0, TurnOperand(), 0); }
void CmdYawCameraNegative() { TurnCameraFree(0, -TurnOperand(), 0); }
void CmdPitchCameraPositive() { TurnCameraFree(TurnOperand(), 0, 0); }
void CmdPitchCameraNegative() { TurnCameraFree(-TurnOperand(), 0, 0); }
void CmdRollCameraNegative() { TurnCameraFree(0, 0, -TurnOperand()); }
void CmdRollCameraPositive() { TurnCameraFree(0, 0, TurnOperand()); }

void CmdSetCameraToObjectOrientation() {
  const int32_t number = IntOperand(0);
  SkipOperands(1);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  const ObjectRecord& o = ObjectOf(slot);
  if (o.freeRotation) {
    Scene().gCameraFreeMatrix = o.freeMatrix;
    Scene().gCameraMode = kCameraFree;
    UpdateCameraFree();
  } else {
    Scene().gCameraAngles.Set(o.angleX * kEngineDegreesToRadians, o.angleY * kEngineDegreesToRadians,
                              o.angleZ * kEngineDegreesToRadians);
    Scene().gCameraMode = kCameraAngles;
    UpdateCameraAngles();
  }
}

// --- Following -------------------------------------------------------------------------------------------

// Keeps the wanted place clear of the static world for a camera of radius r; true on a contact.
bool KeepClearOfStaticWorld(float tx, float ty, float tz, float r, Vector3f& wanted) {
  bool hit = false;
  const float start[3] = {tx, ty + r, tz}, end[3] = {wanted.x, wanted.y, wanted.z};
  float response[3];
  if (StaticWorldSweepTest(start, end, r, 1.0f, response) > 0) {
    wanted.Set(response[0], response[1], response[2]);
    Scene().gCameraFollowFree = wanted;
    hit = true;
  }
  const Vector3f& f = Scene().gCameraFollowFree;
  const float before[6] = {f.x - 2 * r, f.y - r, f.z - 2 * r, f.x + 2 * r, f.y + r, f.z + 2 * r};
  const float after[6] = {wanted.x - 2 * r, wanted.y - r, wanted.z - 2 * r,
                          wanted.x + 2 * r, wanted.y + r, wanted.z + 2 * r};
  float push[3];
  if (StaticBoxListTest(before, after, push) > 0) {
    wanted.Set(wanted.x - push[0], wanted.y - push[1], wanted.z - push[2]);
    hit = true;
  }
  return hit;
}

void CmdSetCameraToFollow() {
  const float tx = FloatOperand(0), ty = FloatOperand(1), tz = FloatOperand(2), angle = FloatOperand(3);
  const float distance = FloatOperand(4), height = FloatOperand(5);
  float smoothing = FloatOperand(6);
  const int32_t radius = IntOperand(7);
  SkipOperands(8);
  // A smoothing of 0 or below would divide by zero or run away: the camera then goes all the way.
  if (!(smoothing > 0.0f)) smoothing = 1.0f;
  const float a = angle * kEngineDegreesToRadians;
  Vector3f wanted(tx - std::sin(a) * distance, height, tz - std::cos(a) * distance);
  bool hit = false;
  if (radius > 0) {
    const float r = float(radius);
    wanted.y = height + r;
    hit = KeepClearOfStaticWorld(tx, ty, tz, r, wanted);
  }
  const Vector3f d(wanted.x - Scene().gCameraPosition.x, wanted.y - Scene().gCameraPosition.y,
                   wanted.z - Scene().gCameraPosition.z);
  const float heading = std::atan2(d.x, d.z);
  const float across = std::sqrt(d.x * d.x + d.z * d.z) / smoothing;
  Scene().gCameraPosition.Set(Scene().gCameraPosition.x + std::sin(heading) * across,
                              Scene().gCameraPosition.y + d.y / smoothing,
                              Scene().gCameraPosition.z + std::cos(heading) * across);
  // The yaw turns two thirds of the way towards the target, the short way round.
  const float target =
      std::atan2(tx - Scene().gCameraPosition.x, tz - Scene().gCameraPosition.z) * kEngineRadiansToDegrees;
  const float current = Scene().gCameraAngles.y * kEngineRadiansToDegrees;
  float diff = target - current;
  if (diff < -180.0f) diff = target + 360.0f - current;
  if (diff > 180.0f) diff = target - (current + 360.0f);
  Scene().gCameraAngles.y = WrapAngleDegrees(diff / 1.5f + current) * kEngineDegreesToRadians;
  Scene().gCameraMode = kCameraAngles;
  UpdateCameraAngles();
  if (!hit) Scene().gCameraFollowFree = wanted;
}

// --- Range, field of view, viewport ----------------------------------------------------------------------

void CmdSetCameraRange() {
  const float nearPlane = FloatOperand(0), farPlane = FloatOperand(1);
  SkipOperands(2);
  EndSliceAfterCommand(SliceEnd::kAlways);
  if (!(farPlane > 0.0f)) {
    RaiseRuntimeError(kErrValueOutOfRange);
    return;
  }
  // Planes that no projection can be built of are refused too, so the values and the matrix agree.
  if (!(nearPlane >= 1.0f) || !(nearPlane < farPlane) ||
      !ProjectionAcceptable(nearPlane, farPlane, Display().gCameraFov)) {
    RaiseRuntimeError(kErrCameraRangeInvalid);
    return;
  }
  Display().gCameraNear = nearPlane;
  Display().gCameraFar = farPlane;
  SetProjection(Display().gCameraNear, Display().gCameraFar, Display().gCameraFov);
}

void CmdSetCameraView() {
  const int32_t x1 = IntOperand(0), y1 = IntOperand(1), x2 = IntOperand(2), y2 = IntOperand(3);
  SkipOperands(4);
  EndSliceAfterCommand(SliceEnd::kAlways);
  auto across = [](int32_t v) { return v >= 0 && v <= Display().gDisplayWidth; };
  auto down = [](int32_t v) { return v >= 0 && v <= Display().gDisplayHeight; };
  if (!across(x1) || !across(x2) || !down(y1) || !down(y2) || x2 <= x1 || y2 <= y1) {
    RaiseRuntimeError(kErrCopyAreaOutside);
    return;
  }
  SetViewportRect(x1, y1, x2, y2);
}

void CmdSetCameraFov() {
  const float fov = FloatOperand(0);
  SkipOperands(1);
  EndSliceAfterCommand(SliceEnd::kAlways);
  if (!(fov > 0.0f) || !ProjectionAcceptable(Display().gCameraNear, Display().gCameraFar, fov)) {
    RaiseRuntimeError(kErrValueOutOfRange);
    return;
  }
  Display().gCameraFov = fov;
  SetProjection(Display().gCameraNear, Display().gCameraFar, Display().gCameraFov);
}

void SetCameraRotationOrder(uint8_t order) {
  Scene().gCameraRotationOrder = order;
  UpdateCameraAngles();
  Yield();
}

void CmdSetCameraRotationZYX() { SetCameraRotationOrder(0); }
void CmdSetCameraRotationXYZ() { SetCameraRotationOrder(1); }
void CmdAutoCameraOn() { Scene().gAutoCamera = 1; }
void CmdAutoCameraOff() { Scene().gAutoCamera = 0; }

void CmdClearScreenColour() {
  const int32_t colour = IntOperand(0);
  SkipOperands(1);
  QueueDeviceClear(uint32_t(colour));
}

// --- The static world's sphere test -------------------------------------------------------------------

void FnStaticWorldCollision() {
  ValueSlot* result = SlotOperand(0);
  const float start[3] = {FloatOperand(1), FloatOperand(2), FloatOperand(3)};
  const float end[3] = {FloatOperand(4), FloatOperand(5), FloatOperand(6)};
  const float size = FloatOperand(7), step = FloatOperand(8);
  SkipOperands(9);
  float response[3];
  const int32_t hit = StaticWorldSweepTest(start, end, size, step, response);
  Scene().gStaticCollisionResponse.Set(response[0], response[1], response[2]);
  result->i = hit > 0 ? 1 : 0;
}

void StoreResponse(float value) {
  SlotOperand(0)->f = value;
  SkipOperands(1);
}

void FnStaticCollisionX() { StoreResponse(Scene().gStaticCollisionResponse.x); }
void FnStaticCollisionY() { StoreResponse(Scene().gStaticCollisionResponse.y); }
void FnStaticCollisionZ() { StoreResponse(Scene().gStaticCollisionResponse.z); }

}  // namespace

}  // namespace vx

#include "generated/commands/camera.inc"
