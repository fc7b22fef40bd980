// The hit tests of the object collision queries: objects with collision boxes are compared box
// against box (oriented boxes, or axis-aligned boxes that also give the push-back out of the side
// the object came from), the others through the collision library's contact pass.
#pragma once
#include <cstdint>

#include "common/maths_types.h"
#include "engine3d/engine_state.h"

namespace vx {

// What the object touches while collisions are on, by the object's kind of collision: with
// another object given, 1 for a contact and else 0; with other 0, the number of an object it
// touches (0 none). Another number outside 1 to 65535, one without an object, and the object's
// own number touch nothing.
int32_t ObjectHitTest(uint32_t objectSlot, int32_t otherNumber);

// The object's number, 0 when the slot holds no numbered object.
int32_t NumberOfObjectSlot(int32_t objectSlot);

// Every frame, before anything moves: each object keeps where it stands as its previous position,
// from which a box test tells the side an object came from.
void KeepPreviousPositions();

}  // namespace vx
