// Fuzz target of the static world file: the bytes decoded on their own (and what they decode to
// must encode and decode to itself), then read as a world file by the loader into the engine's
// world, culled and tested against as a frame and the collision queries would.
#include <cstdlib>
#include <string>

#include "engine3d/maths3d.h"
#include "engine3d/object_records.h"
#include "engine3d/static_world_file.h"
#include "fuzz/fuzz_targets.h"

namespace vx::fuzz {

void FuzzStaticWorld(const uint8_t* data, size_t size) {
  if (const std::optional<StaticGeometry> decoded = DecodeStaticWorld({data, size})) {
    const std::vector<uint8_t> encoded = EncodeStaticWorld(*decoded);
    const std::optional<StaticGeometry> again = DecodeStaticWorld(encoded);
    if (!again || EncodeStaticWorld(*again) != encoded) std::abort();
  }

  // Texture records for the loader's lookups; the textures beside the input are never there.
  if (!InitRecordPools()) std::abort();
  const std::string path = FuzzWorkFolder() + "world.dat";
  WriteFuzzInput(path, data, size);
  if (ReadStaticWorldFile(path, path)) {
    StaticView view{};
    MatrixLookAt(view.view, {0, 0, -50}, {0, 0, 50}, {0, 1, 0});
    MatrixIdentity(view.worldBase);
    MatrixPerspective(view.projection, 1.0f, 0.75f, 1.0f, 3000.0f);
    view.farRange = 3000.0f;
    CullStaticWorld(view);
    const float before[6] = {-1, -1, -1, 1, 1, 1}, after[6] = {0, 0, 0, 2, 2, 2};
    float out[3];
    StaticBoxListTest(before, after, out);
    StaticWorldSweepTest(before, after + 3, 0.5f, 0.25f, out);
  }
  ReleaseStaticWorld();
}

}  // namespace vx::fuzz
