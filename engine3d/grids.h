// Grid meshes (matrices): a flat grid of squares in the XZ plane that a program reshapes point by
// point into terrain. Squares are stored x outer, z inner; each owns four corners and two faces,
// and a grid point is a corner of up to four squares, all of which every writer keeps equal.
#pragma once
#include <cstdint>

namespace vx {

// Builds the grid into the mesh record: xs by zs squares over width by depth. 1, or 0 when the
// segments are below 1, their product too large, or the memory can't be had.
int32_t BuildMatrixGridMesh(uint32_t meshSlot, float width, float depth, int32_t xs, int32_t zs);

// Grid points of a grid object (its first limb's mesh), x in 0..xs and z in 0..zs.
int32_t SetMatrixPointHeight(uint32_t objectSlot, int32_t x, int32_t z, float height);
int32_t SetMatrixPointNormal(uint32_t objectSlot, int32_t x, int32_t z, float nx, float ny, float nz);
float GetMatrixPointHeight(uint32_t objectSlot, int32_t x, int32_t z);
bool GetMatrixPointNormal(uint32_t objectSlot, int32_t x, int32_t z, float& nx, float& ny, float& nz);
// Every point gets (r mod m) / 100 with m = trunc(maximum x 100) and r the next draw of the
// program's random generator; a maximum below 0.01 leaves the ground flat at 0.
int32_t RandomizeMatrixHeights(uint32_t objectSlot, float maximum, int32_t (*nextRandom)());
// The height field moved by one column or row, the line that leaves coming back on the other side.
void ShiftMatrixHeightsLeft(uint32_t objectSlot);
void ShiftMatrixHeightsRight(uint32_t objectSlot);
void ShiftMatrixHeightsUp(uint32_t objectSlot);
void ShiftMatrixHeightsDown(uint32_t objectSlot);
// The height of the ground under (x, z), 0 <= x <= width and 0 <= z <= depth.
float GetMatrixGroundHeight(uint32_t objectSlot, float x, float z);

}  // namespace vx
