// 3D object commands: loading a model into an object number and turning an object. The handlers
// check the numbers and call the engine (engine3d/objects.h); each ends the time slice while
// automatic refresh is on, so that a turning object turns once a frame.
#include <string>

#include "common/interpreter.h"
#include "common/runtime_hooks.h"
#include "engine3d/maths3d.h"
#include "engine3d/objects.h"
#include "engine3d/records.h"

namespace vx {

namespace {

// The object slot of a number, 0 after raising 7006 (outside 1 to 65535) or 7008 (no object).
uint32_t CheckedObject(int32_t number) {
  if (number < 1 || number > 65535) {
    RaiseRuntimeError(kErrObjectNumberOutOfRange);
    return 0;
  }
  const uint32_t slot = ObjectSlotOf(number);
  if (!slot) RaiseRuntimeError(kErrObjectNotExist);
  return slot;
}

bool AngleAccepted(float angle) { return angle >= 0.0f && angle <= 360.0f; }

void CmdLoadObject() {
  const std::string fileName = TextOperand(0);
  const int32_t number = IntOperand(1);
  SkipOperands(2);
  LoadObject(fileName, number);
  EndSliceAfterCommand(SliceEnd::kAutoRefresh);
}

void CmdRotateObject() {
  const int32_t number = IntOperand(0);
  const float x = FloatOperand(1), y = FloatOperand(2), z = FloatOperand(3);
  SkipOperands(4);
  const uint32_t slot = CheckedObject(number);
  if (!slot) return;
  if (!AngleAccepted(x) || !AngleAccepted(y) || !AngleAccepted(z)) {
    RaiseRuntimeError(kErrAngleOutOfRange);
    return;
  }
  ObjectRecord& o = gObjectRecords[slot];
  o.angleX = WrapAngleDegrees(x);
  o.angleY = WrapAngleDegrees(y);
  o.angleZ = WrapAngleDegrees(z);
  if (o.freeRotation) {
    o.freeRotation = 0;
    MatrixIdentity(o.freeMatrix);
  }
  UpdateObjectFrame(slot);
  gSceneChanged = 1;
  EndSliceAfterCommand(SliceEnd::kAutoRefresh);
}

}  // namespace

}  // namespace vx

#include "generated/commands/object.inc"
