// The overlap test of two oriented boxes in world space, by separating axes: the object box
// collisions compare turned objects with it.
#pragma once

#include "common/maths_types.h"

namespace vx {

// 22 floats: the centre, the half extents along the box's own axes, and a matrix whose images of
// the unit axes (less the image of the origin, normalised) are the box's axes; its translation
// and scale do not count.
struct OrientedBox {
  float centre[3];
  float halfExtents[3];
  Matrix4f orientation;
};

// True when the boxes intersect or touch; false when one of the fifteen candidate axes separates
// them. An axis of no length (a degenerate matrix, or the cross product of two parallel axes)
// separates nothing; a box whose centre or extents are not numbers overlaps nothing.
bool OverlapBoxes(const OrientedBox& a, const OrientedBox& b);

}  // namespace vx
