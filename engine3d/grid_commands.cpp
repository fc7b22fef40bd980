// Grid (matrix) commands: making and deleting grids 1 to 65535, their heights (one point, all,
// random), normals, shifts, texture tiles, position and drawing style. A grid is a 3D object whose
// first limb holds the grid mesh (engine3d/grids.h); its number has a map of its own. Point and
// tile changes show after the mesh is rebuilt, which the whole-grid commands do themselves.
#include <cstdint>

#include "common/interpreter_state.h"
#include "common/runtime_hooks.h"
#include "common/value_slot.h"
#include "engine3d/grids.h"
#include "engine3d/meshes.h"
#include "engine3d/object_records.h"
#include "engine3d/object_support.h"
#include "engine3d/objects.h"
#include "engine3d/scene_settings.h"
#include "models/scene_model.h"
#include "surfaces/engine_textures.h"
#include "surfaces/texture_names.h"

namespace vx {

namespace {

// Two triangles a square: at most 5000 squares.
constexpr int64_t kMostTriangles = 10000;

void Yield() { EndSliceAfterCommand(SliceEnd::kAutoRefresh); }

// Reads the grid number and `count` more operands, skips them all and checks the grid.
uint32_t GridOperands(int count) {
  const int32_t number = IntOperand(0);
  SkipOperands(1 + count);
  Yield();
  return CheckedGrid(number);
}

uint32_t GridMesh(uint32_t slot) { return uint32_t(ObjectOf(slot).limbs[0].meshSlot); }

void Rebuild(uint32_t slot) { RebuildMatrixMesh(slot, 0); }

bool PointInside(uint32_t slot, int32_t x, int32_t z) {
  const ObjectRecord& o = ObjectOf(slot);
  if (x >= 0 && z >= 0 && x <= o.gridSegmentsX && z <= o.gridSegmentsZ) return true;
  RaiseRuntimeError(kErrPointOutsideMatrix);
  return false;
}

bool SquareInside(uint32_t slot, int32_t x, int32_t z) {
  const ObjectRecord& o = ObjectOf(slot);
  if (x >= 0 && z >= 0 && x < o.gridSegmentsX && z < o.gridSegmentsZ) return true;
  RaiseRuntimeError(kErrPointOutsideMatrix);
  return false;
}

bool TileInside(uint32_t slot, int32_t tile) {
  if (tile >= 1 && tile <= ObjectOf(slot).tileCount) return true;
  RaiseRuntimeError(kErrTileNumberOutOfRange);
  return false;
}

struct TileRect {
  float uLow, vLow, uHigh, vHigh;
};

// The texture rectangle of a tile of the grid's image, inset by the given texels on each side.
TileRect TileRectOf(uint32_t slot, int32_t tile, float insetU, float insetV) {
  const ObjectRecord& o = ObjectOf(slot);
  const int32_t across = o.tilesAcross, down = o.tilesDown;
  const int32_t t = tile - 1, column = t % across, row = t / across;
  float du = 0.0f, dv = 0.0f;
  const uint32_t image = uint32_t(o.limbs[0].imageSlot);
  if (image > 0 && Records().gImageRecords.IsTaken(image)) {
    const ImageRecord& r = Records().gImageRecords[image];
    if (r.imageWidth > 0) du = insetU / float(r.imageWidth);
    if (r.imageHeight > 0) dv = insetV / float(r.imageHeight);
  }
  return {float(column) / float(across) + du, float(row) / float(down) + dv, float(column + 1) / float(across) - du,
          float(row + 1) / float(down) - dv};
}

void SetSquareTile(uint32_t slot, int32_t x, int32_t z, int32_t tile, float insetU, float insetV) {
  const TileRect r = TileRectOf(slot, tile, insetU, insetV);
  SetMeshSquareUV(GridMesh(slot), x, z, ObjectOf(slot).gridSegmentsZ, r.uLow, r.vLow, r.uHigh, r.vHigh);
}

void FillTiles(uint32_t slot, int32_t tile) {
  const TileRect r = TileRectOf(slot, tile, 1.0f, 1.0f);
  SetMeshAllTiles(GridMesh(slot), r.uLow, r.vLow, r.uHigh, r.vHigh);
}

// --- Making and deleting -------------------------------------------------------------------------------

// The grid's object and mesh records let go, and its number freed.
void DeleteGrid(uint32_t slot, int32_t number) {
  ObjectLimbRecord& limb = ObjectOf(slot).limbs[0];
  if (limb.meshSlot > 0) {
    FreeMeshRecord(uint32_t(limb.meshSlot));
    limb.meshSlot = 0;
  }
  DeleteObjectRecord(slot, -1);
  Engine().gGridSlotById[size_t(number)] = 0;
}

// Stands the camera above the middle of the new grid, looking along it.
void PlaceCameraOverGrid(float width, float depth, float radius) {
  const float height = radius / 100.0f;
  Scene().gCameraPosition.Set(width / 2.0f, height, depth / 2.0f);
  Scene().gCameraLookAt.Set(width / 2.0f, height, depth / 2.0f + 100.0f);
  Scene().gCameraMode = kCameraLookAt;
  UpdateCameraLookAt();
}

void CmdMakeMatrix() {
  const int32_t number = IntOperand(0);
  const float width = FloatOperand(1), depth = FloatOperand(2);
  const int32_t xs = IntOperand(3), zs = IntOperand(4);
  SkipOperands(5);
  Yield();
  if (number < 1 || number > 65535) {
    RaiseRuntimeError(kErrMatrixNumberOutOfRange);
    return;
  }
  if (Engine().gGridSlotById[size_t(number)] != 0) {
    RaiseRuntimeError(kErrMatrixExists);
    return;
  }
  if (!(width > 0.0f) || !(depth > 0.0f)) {
    RaiseRuntimeError(kErrMatrixSizeBelowOne);
    return;
  }
  if (xs < 1 || zs < 1) {
    RaiseRuntimeError(kErrMatrixNeedsSegments);
    return;
  }
  if (int64_t(xs) * int64_t(zs) * 2 > kMostTriangles) {
    RaiseRuntimeError(kErrMatrixTooManyPoints);
    return;
  }
  const uint32_t slot = AllocObjectRecord();
  if (slot == kNoRecordSlot) return;
  Engine().gGridSlotById[size_t(number)] = slot;
  const uint32_t mesh = AllocMeshRecord();
  if (mesh == kNoRecordSlot) {
    DeleteGrid(slot, number);
    return;
  }
  ObjectLimbRecord& limb = ObjectOf(slot).limbs[0];
  limb.meshSlot = int32_t(mesh);
  if (!BuildMatrixGridMesh(mesh, width, depth, xs, zs) || !BuildObjectFromMesh(slot, mesh, 0)) {
    DeleteGrid(slot, number);
    RaiseRuntimeError(kErrOutOfMemory);
    return;
  }
  {
    ObjectRecord& o = ObjectOf(slot);
    o.gridWidth = width;
    o.gridDepth = depth;
    o.gridSegmentsX = xs;
    o.gridSegmentsZ = zs;
    o.tileCount = o.tilesAcross = o.tilesDown = 0;
  }
  // Taking the render item may take the backdrop's records too: the pools may move.
  const uint32_t item = BuildObjectRecords(slot, 0);
  if (item == kNoRecordSlot) {
    DeleteGrid(slot, number);
    return;
  }
  ObjectRecord& o = ObjectOf(slot);
  o.limbCount = 1;
  o.draw.wireframe = 1;
  o.draw.culling = 0;
  o.draw.addressMode = 2;
  Vector3f centre(0, 0, 0);
  float radius = 0.0f;
  o.model->GetOriginBoundingSphere(centre, radius);
  o.centre.Set(0, 0, 0);
  o.radius = o.originRadius = float(SaturateToInt32(radius)) + 1.0f;
  o.collisionOn = 0;
  PlaceCameraOverGrid(width, depth, radius);
}

void CmdDeleteMatrix() {
  const int32_t number = IntOperand(0);
  if (const uint32_t slot = GridOperands(0)) DeleteGrid(slot, number);
}

// --- Drawing -----------------------------------------------------------------------------------------------

void SetWireframe(int32_t on) {
  if (const uint32_t slot = GridOperands(0)) ObjectOf(slot).draw.wireframe = on;
}

void CmdSetMatrixWireframeOn() { SetWireframe(1); }
void CmdSetMatrixWireframeOff() { SetWireframe(0); }

void SetGhost(int32_t on) {
  if (const uint32_t slot = GridOperands(0)) {
    ObjectOf(slot).draw.ghost = on;
    ObjectOf(slot).draw.ghostMode = 0;
  }
}

void CmdGhostMatrixOn() { SetGhost(1); }
void CmdGhostMatrixOff() { SetGhost(0); }

void CmdSetMatrixStyle() {
  int32_t values[7];
  for (int i = 0; i < 7; ++i) values[i] = IntOperand(1 + i);
  if (const uint32_t slot = GridOperands(7)) ApplyDrawingStyle(slot, values, 7);
}

void CmdSetMatrixTextureMode() {
  const int32_t mode = IntOperand(1), mipmaps = IntOperand(2);
  if (const uint32_t slot = GridOperands(2)) ApplyTextureMode(slot, mode, mipmaps);
}

void CmdPositionMatrix() {
  const Vector3f position(FloatOperand(1), FloatOperand(2), FloatOperand(3));
  const uint32_t slot = GridOperands(3);
  if (!slot) return;
  ObjectRecord& o = ObjectOf(slot);
  o.scaleX = o.scaleY = o.scaleZ = 1.0f;
  o.position = position;
  UpdateObjectFrame(slot);
  Engine().gSceneChanged = 1;
}

// --- Heights and normals --------------------------------------------------------------------------------

void CmdFillMatrix() {
  const float height = FloatOperand(1);
  const int32_t tile = IntOperand(2);
  const uint32_t slot = GridOperands(2);
  if (!slot || !TileInside(slot, tile)) return;
  SetMeshAllHeights(GridMesh(slot), height);
  FillTiles(slot, tile);
  Rebuild(slot);
}

void CmdRandomizeMatrix() {
  const float maximum = FloatOperand(1);
  const uint32_t slot = GridOperands(1);
  if (!slot) return;
  if (!(maximum > 0.0f)) {
    RaiseRuntimeError(kErrMatrixHeightRange);
    return;
  }
  RandomizeMatrixHeights(slot, maximum, NextRandomDraw);
  Rebuild(slot);
}

void CmdSetMatrixHeight() {
  const int32_t x = IntOperand(1), z = IntOperand(2);
  const float height = FloatOperand(3);
  const uint32_t slot = GridOperands(3);
  if (slot && PointInside(slot, x, z)) SetMatrixPointHeight(slot, x, z, height);
}

void CmdSetMatrixNormal() {
  const int32_t x = IntOperand(1), z = IntOperand(2);
  const float nx = FloatOperand(3), ny = FloatOperand(4), nz = FloatOperand(5);
  const uint32_t slot = GridOperands(5);
  if (slot && PointInside(slot, x, z)) SetMatrixPointNormal(slot, x, z, nx, ny, nz);
}

void CmdUpdateMatrix() {
  if (const uint32_t slot = GridOperands(0)) Rebuild(slot);
}

// A shift, rebuilt at once, or only when the flag operand is 1.
void Shift(void (*shift)(uint32_t), bool withFlag) {
  const int32_t flag = withFlag ? IntOperand(1) : 1;
  const uint32_t slot = GridOperands(withFlag ? 1 : 0);
  if (!slot) return;
  shift(slot);
  if (flag == 1) Rebuild(slot);
}

void CmdShiftMatrixDown() { Shift(ShiftMatrixHeightsDown, false); }
void CmdShiftMatrixUp() { Shift(ShiftMatrixHeightsUp, false); }
void CmdShiftMatrixLeft() { Shift(ShiftMatrixHeightsLeft, false); }
void CmdShiftMatrixRight() { Shift(ShiftMatrixHeightsRight, false); }
void CmdShiftMatrixDownUpdate() { Shift(ShiftMatrixHeightsDown, true); }
void CmdShiftMatrixUpUpdate() { Shift(ShiftMatrixHeightsUp, true); }
void CmdShiftMatrixLeftUpdate() { Shift(ShiftMatrixHeightsLeft, true); }
void CmdShiftMatrixRightUpdate() { Shift(ShiftMatrixHeightsRight, true); }

// --- Texture tiles ----------------------------------------------------------------------------------------

void CmdPrepareMatrixTexture() {
  const int32_t imageNumber = IntOperand(1), across = IntOperand(2), down = IntOperand(3);
  const uint32_t slot = GridOperands(3);
  if (!slot) return;
  uint32_t image = 0;
  if (!CheckedImageFromOne(imageNumber, image)) return;
  // Across and down each count at least one tile, and together no more tiles than a tile number
  // can name.
  if (across < 1 || down < 1 || int64_t(across) * int64_t(down) > INT32_MAX) {
    RaiseRuntimeError(kErrValueOutOfRange);
    return;
  }
  const uint32_t texture = GetSharedImageTexture(image, 1);
  AssignFrameTexture(ObjectOf(slot).model, 0, texture);
  if (texture) ReleaseTextureSlot(texture, 0);  // the mesh holds its own use
  ObjectRecord& o = ObjectOf(slot);
  o.limbs[0].imageNumber = imageNumber;
  o.limbs[0].imageSlot = int32_t(image);
  o.limbs[0].textureSlot = int32_t(texture);
  o.tilesAcross = across;
  o.tilesDown = down;
  o.tileCount = across * down;
  FillTiles(slot, 1);
  ObjectOf(slot).draw.wireframe = 0;
  Rebuild(slot);
}

void CmdSetMatrixTile() {
  const int32_t x = IntOperand(1), z = IntOperand(2), tile = IntOperand(3);
  const uint32_t slot = GridOperands(3);
  if (slot && TileInside(slot, tile) && SquareInside(slot, x, z)) SetSquareTile(slot, x, z, tile, 1.0f, 1.0f);
}

void CmdSetMatrixTileInset() {
  const int32_t x = IntOperand(1), z = IntOperand(2), tile = IntOperand(3);
  const float insetU = FloatOperand(4), insetV = FloatOperand(5);
  const uint32_t slot = GridOperands(5);
  if (slot && TileInside(slot, tile) && SquareInside(slot, x, z)) SetSquareTile(slot, x, z, tile, insetU, insetV);
}

}  // namespace

}  // namespace vx

#include "generated/commands/grid.inc"
