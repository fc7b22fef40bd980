// Scene value functions: the camera's place and angles, grids (whether one exists, its place,
// wireframe and tiles, the height of a grid point and of the ground between points), the static
// world's box test with its push-back, whether a light exists, and the statistics of the last
// frame and of the device. None of them ends the time slice.
#include "common/interpreter_state.h"
#include "common/runtime_hooks.h"
#include "engine3d/grids.h"
#include "engine3d/maths3d.h"
#include "engine3d/object_records.h"
#include "engine3d/object_support.h"
#include "engine3d/scene_render.h"
#include "engine3d/scene_settings.h"
#include "engine3d/static_world.h"
#include "surfaces/display_state.h"

namespace vx {

namespace {

// --- Camera ------------------------------------------------------------------------------------------------

void AskCamera(float value) {
  SlotOperand(0)->f = value;
  SkipOperands(1);
}

void FnCameraPositionX() { AskCamera(Scene().gCameraPosition.x); }
void FnCameraPositionY() { AskCamera(Scene().gCameraPosition.y); }
void FnCameraPositionZ() { AskCamera(Scene().gCameraPosition.z); }
void FnCameraAngleX() { AskCamera(Scene().gCameraAngles.x * kEngineRadiansToDegrees); }
void FnCameraAngleY() { AskCamera(Scene().gCameraAngles.y * kEngineRadiansToDegrees); }
void FnCameraAngleZ() { AskCamera(Scene().gCameraAngles.z * kEngineRadiansToDegrees); }

// --- Grids ----------------------------------------------------------------------------------------------

// result, grid and `extra` operands: the answer of `ask` once the grid number checks.
template <class Ask>
void AskGrid(int extra, Ask ask) {
  ValueSlot* result = SlotOperand(0);
  const int32_t number = IntOperand(1);
  OperandWord* const operands = Interpreter().gProgramCounter;
  SkipOperands(2 + extra);
  if (const uint32_t slot = CheckedGrid(number)) ask(*result, slot, operands);
}

// A coordinate of the grid's place, or its wireframe flag.
void AskGridItem(int part) {
  AskGrid(0, [part](ValueSlot& r, uint32_t slot, OperandWord*) {
    const ObjectRecord* o = ItemOfObject(slot) ? &ObjectOf(slot) : nullptr;
    if (part == 3)
      r.i = o && o->draw.wireframe == 1 ? 1 : 0;
    else
      r.f = !o ? 0.0f : part == 0 ? o->position.x : part == 1 ? o->position.y : o->position.z;
  });
}

void FnMatrixExists() {
  AnswerAboutNumber(1, 65535, kErrMatrixNumberOutOfRange, [](ValueSlot& r, int32_t number) {
    const uint32_t slot = Engine().gGridSlotById[size_t(number)];
    r.i = slot != 0 && Engine().gObjectRecords.IsTaken(slot) ? 1 : 0;
  });
}

void FnMatrixWireframe() { AskGridItem(3); }
void FnMatrixPositionX() { AskGridItem(0); }
void FnMatrixPositionY() { AskGridItem(1); }
void FnMatrixPositionZ() { AskGridItem(2); }

void FnMatrixPointHeight() {
  AskGrid(2, [](ValueSlot& r, uint32_t slot, OperandWord* operands) {
    const int32_t x = operands[2].slot->i, z = operands[3].slot->i;
    const ObjectRecord& o = ObjectOf(slot);
    if (x < 0 || z < 0 || x > o.gridSegmentsX || z > o.gridSegmentsZ) {
      RaiseRuntimeError(kErrPointOutsideMatrix);
      return;
    }
    r.f = GetMatrixPointHeight(slot, x, z);
  });
}

void FnMatrixTiled() {
  AskGrid(0, [](ValueSlot& r, uint32_t slot, OperandWord*) { r.i = ObjectOf(slot).tileCount > 0 ? 1 : 0; });
}

void FnMatrixTileCount() {
  AskGrid(0, [](ValueSlot& r, uint32_t slot, OperandWord*) { r.i = ObjectOf(slot).tileCount; });
}

// Outside the grid the ground is at 0.
void FnMatrixGroundHeight() {
  AskGrid(2, [](ValueSlot& r, uint32_t slot, OperandWord* operands) {
    const float x = operands[2].slot->f, z = operands[3].slot->f;
    const ObjectRecord& o = ObjectOf(slot);
    const bool inside = x >= 0.0f && z >= 0.0f && x <= o.gridWidth && z <= o.gridDepth;
    r.f = inside ? GetMatrixGroundHeight(slot, x, z) : 0.0f;
  });
}

// --- Static world ----------------------------------------------------------------------------------------

// result, the box before a move and after it (minimum and maximum corners of each).
void FnStaticBoxCollision() {
  ValueSlot* result = SlotOperand(0);
  float before[6], after[6];
  for (int k = 0; k < 6; ++k) {
    before[k] = FloatOperand(1 + k);
    after[k] = FloatOperand(7 + k);
  }
  SkipOperands(13);
  result->i = StaticBoxListTest(before, after, Engine().gStaticBoxPushBack);
}

void AskStaticPushBack(int k) {
  SlotOperand(0)->f = Engine().gStaticBoxPushBack[k];
  SkipOperands(1);
}

void FnStaticBoxCollisionX() { AskStaticPushBack(0); }
void FnStaticBoxCollisionY() { AskStaticPushBack(1); }
void FnStaticBoxCollisionZ() { AskStaticPushBack(2); }

// --- Lights and statistics --------------------------------------------------------------------------------

// Light 0, the default light, always exists; outside 0 to 65535 nothing is answered.
void FnLightExists() {
  AnswerAboutNumber(0, 65535, 0, [](ValueSlot& r, int32_t number) {
    const uint32_t slot = Engine().gLightSlotById[size_t(number)];
    r.i = number == 0 || (slot != 0 && Engine().gLightRecords.IsTaken(slot)) ? 1 : 0;
  });
}

// 1: triangles the last frame drew; 2: whether the card mip-maps; 3: whether it takes DXT textures.
void FnStatistic() {
  ValueSlot* result = SlotOperand(0);
  const int32_t code = IntOperand(1);
  SkipOperands(2);
  result->i = code == 1   ? int32_t(Scene().gPolygonCounter / 3)
              : code == 2 ? int32_t(Display().gMipmapping)
              : code == 3 ? int32_t(Display().gDxtTextures)
                          : 0;
}

}  // namespace

}  // namespace vx

#include "generated/commands/scene_value.inc"
