// Objects handed to the static world: their limbs' meshes, texture by texture, in the place the
// object stands, become parts of the world, for good or owned by the object so that they can be
// taken back. Clearing the world shows again every object that was moved into it.
#pragma once
#include <cstdint>

namespace vx {

// Adds the object's geometry limb by limb and texture by texture, with the build flags of the parts
// (culling box, radius, whole height) and the owner tag (0: for good). 0, or -1 when the world
// refused a part.
int32_t AddObjectToStaticWorld(uint32_t objectSlot, int32_t cullingBox, int32_t radiusFlag, int32_t owner,
                               int32_t extraFlag);
// The same with no flags, owned by the object.
int32_t MoveObjectToStaticWorld(uint32_t objectSlot);
// Empties the world when it holds anything; every object moved into it is shown again.
void ClearStaticWorld();

}  // namespace vx
