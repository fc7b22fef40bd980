// The collision library: shapes placed in the world (boxes, spheres, cylinders, cones and
// triangle meshes), a test of every pair of them, and a response called once per pair in
// contact. Built over FCL; the flat interface is all that the model code and the engine see.
//
// Collision ids are 64 bits: the object slot in the high half and the frame id in the low half,
// so that no slot and frame number can overflow into another's id.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/maths_types.h"

namespace vx {

using CollisionId = uint64_t;

constexpr CollisionId MakeCollisionId(uint32_t objectSlot, uint32_t frameId) {
  return (uint64_t(objectSlot) << 32) | frameId;
}
constexpr uint32_t CollisionObjectSlot(CollisionId id) { return uint32_t(id >> 32); }
constexpr uint32_t CollisionFrameId(CollisionId id) { return uint32_t(id & 0xFFFFFFFFu); }

// Called once for each pair in contact, with the client data it was registered with.
using CollisionResponse = void (*)(void* clientData, CollisionId a, CollisionId b);

constexpr int32_t kResponseNone = 0;    // pairs are counted, nothing is called
constexpr int32_t kResponseSimple = 1;  // the callback is called for each pair

// The default response: the callback for every pair in contact.
void SetDefaultResponse(CollisionResponse callback, int32_t responseType, void* clientData);
// Switches the broad phase off: every pair is then tested exactly. It starts on.
void DisableBroadPhase();
// Tests the pairs of collision objects with different ids, calls the response for each pair in
// contact (in the order the objects were added) and returns the number of such pairs.
int32_t TestCollisions();

// A shape in its own space: centred on `offset`; cylinders and cones stand along y, the cone's
// tip at the top.
struct CollisionShape {
  enum class Kind { Box, Sphere, Cylinder, Cone, Triangles };
  Kind kind = Kind::Box;
  Vector3f size{0, 0, 0};  // box: full extents; sphere: x the radius; cylinder and cone: x radius, y height
  Vector3f offset{0, 0, 0};
  std::vector<Vector3f> vertices;  // triangles: three indices per triangle
  std::vector<uint32_t> indices;
};

// Adds an object with the shape at the origin; returns its handle, 0 when the shape is unusable
// (no extent, no triangles, an index beyond the vertices).
uint32_t AddCollisionObject(CollisionId id, const CollisionShape& shape);
// Places an object: `world` is a rotation and translation in the Direct3D layout (any scale must
// already be in the shape).
void SetCollisionTransform(uint32_t handle, const Matrix4f& world);
void RemoveCollisionObject(uint32_t handle);
CollisionId CollisionObjectIdOf(uint32_t handle);  // 0 for an unknown handle
size_t CollisionObjectCount();
// Back to the start: no objects, broad phase on, no response.
void ResetCollisionLibrary();

}  // namespace vx
