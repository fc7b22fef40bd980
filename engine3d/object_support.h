// What the object command families share: the checks of object, limb, mesh, image and angle
// numbers (each raises its runtime error and answers none), the frame update of a limb, and the
// textures of a limb's meshes, of which each mesh holds exactly one use.
#pragma once
#include <cstdint>

namespace vx {

class SceneModel;
struct ObjectRecord;
struct ObjectLimbRecord;
struct RenderItem;

ObjectRecord& ObjectOf(uint32_t objectSlot);
// The object's own render item; null when it has none.
RenderItem* ItemOfObject(uint32_t objectSlot);

// The object slot of a number; 0 after raising 7006 (outside 1 to 65535) or 7008 (no object).
uint32_t CheckedObject(int32_t number);
// The limb of an object: 7021 outside 0 to its capacity - 1, 7023 when it does not exist.
bool LimbInRange(uint32_t objectSlot, int32_t limb);
bool LimbExists(uint32_t objectSlot, int32_t limb);
bool CheckedLimb(uint32_t objectSlot, int32_t limb);
// The mesh slot of a number from `lowest` to 65534 (7001 outside), 7003 when it has no mesh; the
// number 0, where accepted, gives slot 0.
bool CheckedMesh(int32_t number, int32_t lowest, uint32_t& meshSlot);
// The image slot of a number for texturing, 0 to 65535 (501 outside), 502 when a number above 0
// has no image; image 0 gives slot 0.
bool CheckedImage(int32_t number, uint32_t& imageSlot);
// The object slot of a grid number; 0 after raising 7010 (outside 1 to 65535) or 7013 (no grid).
uint32_t CheckedGrid(int32_t number);
// The same for commands that need an image: 1 to 65535 (501 outside), 502 without an image.
bool CheckedImageFromOne(int32_t number, uint32_t& imageSlot);
// Angles in degrees from 0 to 360 (360 itself too); 7019 otherwise.
bool AnglesAccepted(float x, float y, float z);

ObjectLimbRecord& LimbOf(uint32_t objectSlot, int32_t limb);
// The limb's frame from its offset, angles and scale in the object's rotation order.
void UpdateLimbFrame(uint32_t objectSlot, int32_t limb);

// The drawing style of the object's item from a style command's values after the object number:
// fill (1 solid), colour key (1 opaque), culling (1 back faces hidden), then as many of filtering
// (1 smooth), lighting (1 lit), fog and ambient as `count` says; colour-keyed textures are made
// again with black transparent.
void ApplyDrawingStyle(uint32_t objectSlot, const int32_t* values, int count);
// Texture addressing of the object's item (0 repeat, 1 mirror, 2 clamp, each where the device can)
// and, with mipmaps 1, mip-mapped textures for an object without a colour key.
void ApplyTextureMode(uint32_t objectSlot, int32_t mode, int32_t mipmaps);

// Gives every mesh of the frame the texture (0 none): each mesh that takes it takes one use of it
// and gives back one use of the texture it had. The caller's own use is left to the caller.
void AssignFrameTexture(SceneModel* model, int32_t frameId, uint32_t textureSlot);

}  // namespace vx
