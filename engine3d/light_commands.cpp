// Light commands: making and deleting lights 1 to 65535, making any light (0, the default light,
// too) a point, spot or directional light, placing, aiming, colouring and switching it, its
// range, and the light queries. Each change is handed to the device light (engine3d/lights.h).
#include <cmath>

#include "common/interpreter_state.h"
#include "common/runtime_hooks.h"
#include "engine3d/lights.h"
#include "engine3d/maths3d.h"
#include "engine3d/object_records.h"
#include "engine3d/object_support.h"
#include "engine3d/scene_settings.h"
#include "platform/d3d/d3d_types.h"

namespace vx {

namespace {

using namespace win;

constexpr float kHalfTurnDegrees = 180.0f;

bool LightNumberInRange(int32_t number) {
  if (number >= 0 && number <= 65535) return true;
  RaiseRuntimeError(kErrLightNumberOutOfRange);
  return false;
}

// The record slot of a light number: light 0 or a mapped number; 7301 or 7303 otherwise.
bool CheckedLight(int32_t number, uint32_t& slot) {
  if (!LightNumberInRange(number)) return false;
  slot = Engine().gLightSlotById[size_t(number)];
  if ((number == 0 || slot > 0) && Engine().gLightRecords.IsTaken(slot)) return true;
  RaiseRuntimeError(kErrLightNotExist);
  return false;
}

LightRecord& Light(uint32_t slot) { return Engine().gLightRecords[slot]; }

// The light's direction becomes the way from `from` to `to`; a way of no length (or not a number)
// leaves the direction as it was.
void AimLight(LightRecord& light, const Vector3f& from, const Vector3f& to) {
  Vector3f way;
  Vector3Subtract(way, to, from);
  const float length = Vector3Length(way);
  if (!(length > 0.0f) || !std::isfinite(length)) return;
  light.directionX = way.x / length;
  light.directionY = way.y / length;
  light.directionZ = way.z / length;
}

// The direction (0, 0, 1) turned by the rotation.
void TurnLightDirection(LightRecord& light, const Matrix4f& rotation) {
  light.directionX = rotation.At(2, 0);
  light.directionY = rotation.At(2, 1);
  light.directionZ = rotation.At(2, 2);
}

void Finish(uint32_t slot) {
  ApplyLight(slot);
  EndSliceAfterCommand(SliceEnd::kAutoRefresh);
}

// Reads the light number and `count` more operands, skips them all and checks the light.
bool LightOperands(int count, uint32_t& slot) {
  const int32_t number = IntOperand(0);
  SkipOperands(1 + count);
  return CheckedLight(number, slot);
}

Vector3f PointOperands() { return Vector3f(FloatOperand(1), FloatOperand(2), FloatOperand(3)); }

// --- Making and deleting -----------------------------------------------------------------------------

void CmdMakeLight() {
  const int32_t number = IntOperand(0);
  SkipOperands(1);
  EndSliceAfterCommand(SliceEnd::kAutoRefresh);
  if (!LightNumberInRange(number)) return;
  if (number < 1 || Engine().gLightSlotById[size_t(number)] != 0) {
    RaiseRuntimeError(kErrLightNumberTaken);
    return;
  }
  const uint32_t slot = AllocLightRecord();
  if (slot == kNoRecordSlot) return;
  Engine().gLightSlotById[size_t(number)] = slot;
  if (!CreateDeviceLight(slot)) {
    // No device light, no light: the number and the record are free again.
    Engine().gLightSlotById[size_t(number)] = 0;
    FreeLightRecord(slot);
    RaiseRuntimeError(kErrLightNotCreated);
    return;
  }
  LightRecord& r = Light(slot);
  r.inUse = r.on = r.deviceEnabled = 1;
  r.type = D3DLIGHT_POINT;
  r.positionX = r.positionY = r.positionZ = 0.0f;
  r.red = r.green = r.blue = 1.0f;
  r.directionX = r.directionY = 0.0f;
  r.directionZ = 1.0f;
  r.lightWord = 0;
  r.range = 3000.0f;
  ApplyLight(slot);
}

void CmdDeleteLight() {
  const int32_t number = IntOperand(0);
  SkipOperands(1);
  EndSliceAfterCommand(SliceEnd::kAutoRefresh);
  if (!LightNumberInRange(number)) return;
  if (number == 0) {
    RaiseRuntimeError(kErrLightZeroNotDeleted);
    return;
  }
  const uint32_t slot = Engine().gLightSlotById[size_t(number)];
  if (slot == 0 || !Engine().gLightRecords.IsTaken(slot)) {
    RaiseRuntimeError(kErrLightNotExist);
    return;
  }
  Engine().gLightSlotById[size_t(number)] = 0;
  Light(slot).inUse = 0;
  FreeLightRecord(slot);
}

// --- Kinds of light ------------------------------------------------------------------------------------

void CmdSetPointLight() {
  uint32_t slot;
  const Vector3f p = PointOperands();
  if (!LightOperands(3, slot)) return;
  LightRecord& r = Light(slot);
  r.type = D3DLIGHT_POINT;
  r.positionX = p.x, r.positionY = p.y, r.positionZ = p.z;
  Finish(slot);
}

void CmdSetSpotLight() {
  uint32_t slot;
  const float inner = FloatOperand(1), outer = FloatOperand(2);
  if (!LightOperands(2, slot)) return;
  // The cone must open from the inner angle to the outer one, within half a turn.
  if (!(inner >= 0.0f && inner <= outer && outer <= kHalfTurnDegrees)) {
    RaiseRuntimeError(kErrValueOutOfRange);
    return;
  }
  LightRecord& r = Light(slot);
  r.type = D3DLIGHT_SPOT;
  r.innerCone = inner * kEngineDegreesToRadians;
  r.outerCone = outer * kEngineDegreesToRadians;
  Finish(slot);
}

void CmdSetDirectionalLight() {
  uint32_t slot;
  const Vector3f d = PointOperands();
  if (!LightOperands(3, slot)) return;
  LightRecord& r = Light(slot);
  r.type = D3DLIGHT_DIRECTIONAL;
  AimLight(r, Vector3f(0, 0, 0), d);
  Finish(slot);
}

// --- Place, aim, colour, switch ------------------------------------------------------------------------

void CmdPositionLight() {
  uint32_t slot;
  const Vector3f p = PointOperands();
  if (!LightOperands(3, slot)) return;
  LightRecord& r = Light(slot);
  // Only lights that stand somewhere have a position.
  if (r.type != D3DLIGHT_POINT && r.type != D3DLIGHT_SPOT) return;
  r.positionX = p.x, r.positionY = p.y, r.positionZ = p.z;
  Finish(slot);
}

void CmdRotateLight() {
  uint32_t slot;
  const Vector3f a = PointOperands();
  if (!LightOperands(3, slot)) return;
  LightRecord& r = Light(slot);
  // Only lights that shine one way have a direction.
  if (r.type != D3DLIGHT_DIRECTIONAL && r.type != D3DLIGHT_SPOT) return;
  Matrix4f turn;
  RotationMatrixFromAngles(turn, a.x * kEngineDegreesToRadians, a.y * kEngineDegreesToRadians,
                           a.z * kEngineDegreesToRadians);
  TurnLightDirection(r, turn);
  r.lightWord = 0;
  Finish(slot);
}

void CmdPointLight() {
  uint32_t slot;
  const Vector3f target = PointOperands();
  if (!LightOperands(3, slot)) return;
  LightRecord& r = Light(slot);
  AimLight(r, Vector3f(r.positionX, r.positionY, r.positionZ), target);
  r.lightWord = 0;
  Finish(slot);
}

void SetLightColour(LightRecord& r, int32_t red, int32_t green, int32_t blue) {
  r.red = float(red) / 255.0f;
  r.green = float(green) / 255.0f;
  r.blue = float(blue) / 255.0f;
}

void CmdColorLight() {
  uint32_t slot;
  const int32_t colour = IntOperand(1);
  if (!LightOperands(1, slot)) return;
  SetLightColour(Light(slot), (colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
  Finish(slot);
}

void CmdColorLightRGB() {
  uint32_t slot;
  const int32_t red = IntOperand(1), green = IntOperand(2), blue = IntOperand(3);
  if (!LightOperands(3, slot)) return;
  SetLightColour(Light(slot), red, green, blue);
  Finish(slot);
}

void ShowLight(int32_t on) {
  uint32_t slot;
  if (!LightOperands(0, slot)) return;
  Light(slot).on = on;
  Finish(slot);
}

void CmdHideLight() { ShowLight(0); }
void CmdShowLight() { ShowLight(1); }

void CmdSetLightRange() {
  uint32_t slot;
  const float range = FloatOperand(1);
  if (!LightOperands(1, slot)) return;
  // A light reaches some way, and no further than the device can: 0 and below would divide the
  // attenuation by zero.
  if (!(range > 0.0f && range <= D3DLIGHT_RANGE_MAX)) {
    RaiseRuntimeError(kErrValueOutOfRange);
    return;
  }
  Light(slot).range = range;
  Finish(slot);
}

// --- Lights and objects ----------------------------------------------------------------------------------

// Reads light and object, skips both and checks them; the object slot.
uint32_t LightAndObjectOperands(uint32_t& lightSlot) {
  const int32_t number = IntOperand(0), object = IntOperand(1);
  SkipOperands(2);
  if (!CheckedLight(number, lightSlot)) return 0;
  return CheckedObject(object);
}

void CmdPositionLightAtObject() {
  uint32_t slot;
  const uint32_t object = LightAndObjectOperands(slot);
  if (!object) return;
  const Vector3f& position = ObjectOf(object).position;
  LightRecord& r = Light(slot);
  r.positionX = position.x, r.positionY = position.y, r.positionZ = position.z;
  Finish(slot);
}

void CmdSetLightToObjectOrientation() {
  uint32_t slot;
  const uint32_t object = LightAndObjectOperands(slot);
  if (!object) return;
  const ObjectRecord& o = ObjectOf(object);
  LightRecord& r = Light(slot);
  Matrix4f facing;
  if (o.freeRotation) {
    r.lightWord = 1;
    r.matrix = o.freeMatrix;
    // The free matrix holds the inverse of the object's turn: the light shines the way the object
    // faces only through the inverse.
    if (MatrixInvert(facing, o.freeMatrix) != kMathsOk) facing = o.freeMatrix;
  } else {
    r.lightWord = 0;
    r.angleX = o.angleX, r.angleY = o.angleY, r.angleZ = o.angleZ;
    // The turn of the object's own frame, in its rotation order.
    ComposeFrameMatrix(r.matrix, Vector3f(0, 0, 0), Vector3f(o.angleX, o.angleY, o.angleZ), Vector3f(1, 1, 1),
                       o.rotationOrder);
    facing = r.matrix;
  }
  TurnLightDirection(r, facing);
  Finish(slot);
}

void CmdNormalizationOn() {
  SetNormalizeNormals(1);
  EndSliceAfterCommand(SliceEnd::kAutoRefresh);
}

void CmdNormalizationOff() {
  SetNormalizeNormals(0);
  EndSliceAfterCommand(SliceEnd::kAutoRefresh);
}

// --- Light queries ------------------------------------------------------------------------------------

// The record of the light number (a number without a light reads the default light's); null
// outside 0 to 65535.
const LightRecord* QueriedLight(int32_t number) {
  if (number < 0 || number > 65535) return nullptr;
  const uint32_t slot = Engine().gLightSlotById[size_t(number)];
  return Engine().gLightRecords.IsTaken(slot) ? &Engine().gLightRecords[slot] : nullptr;
}

template <class Read>
void LightQuery(Read read) {
  ValueSlot* result = SlotOperand(0);
  const int32_t number = IntOperand(1);
  SkipOperands(2);
  // Without a record the result is 0, not whatever the temporary held before.
  result->i = 0;
  if (const LightRecord* r = QueriedLight(number)) read(*r, *result);
}

void FnLightType() {
  LightQuery([](const LightRecord& r, ValueSlot& out) { out.i = r.type >= 1 && r.type <= 3 ? r.type : 0; });
}
void FnLightPositionX() {
  LightQuery([](const LightRecord& r, ValueSlot& out) { out.f = r.positionX; });
}
void FnLightPositionY() {
  LightQuery([](const LightRecord& r, ValueSlot& out) { out.f = r.positionY; });
}
void FnLightPositionZ() {
  LightQuery([](const LightRecord& r, ValueSlot& out) { out.f = r.positionZ; });
}
void FnLightDirectionX() {
  LightQuery([](const LightRecord& r, ValueSlot& out) { out.f = r.directionX; });
}
void FnLightDirectionY() {
  LightQuery([](const LightRecord& r, ValueSlot& out) { out.f = r.directionY; });
}
void FnLightDirectionZ() {
  LightQuery([](const LightRecord& r, ValueSlot& out) { out.f = r.directionZ; });
}
void FnLightVisible() {
  LightQuery([](const LightRecord& r, ValueSlot& out) { out.i = r.on == 1 ? 1 : 0; });
}
void FnLightRange() {
  LightQuery([](const LightRecord& r, ValueSlot& out) { out.f = r.range; });
}

}  // namespace

}  // namespace vx

#include "generated/commands/light.inc"
