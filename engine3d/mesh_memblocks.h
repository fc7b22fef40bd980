// The mesh layout of memory blocks (display/memblocks.h): four counts, each with the offset of its
// array, then the positions, normals, face list and texture coordinates of a mesh; and the
// commands that move meshes into blocks and back.
#pragma once
#include <cstdint>

namespace vx {

constexpr uint32_t kMeshBlockHeader = 32;  // four counts, each with the offset of its array

// The mesh's arrays into block b in the mesh layout; 0 or kErrMemblockNotAllocated.
int32_t MemblockFromMesh(int32_t b, uint32_t meshSlot);
// A new mesh record from the block's arrays (mapped by the caller), or kNoRecordSlot when the block
// does not hold every array its counts promise, an index beyond its counts, or the memory cannot
// be had.
uint32_t MeshFromMemblock(int32_t b);
// The mesh's arrays overwritten from the block; false, with nothing written, when the block's counts
// differ from the mesh's or it does not hold its arrays.
bool ChangeMeshFromMemblock(int32_t b, uint32_t meshSlot);

}  // namespace vx
