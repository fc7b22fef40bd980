// The engine's release after a run: what the run's objects, meshes, textures, memory blocks, files
// and typed characters hold, then every DirectDraw object of the display.
#pragma once
#include <cstdint>

namespace vx {

// The run's resources; every step may run again. Returns 1.
int32_t ReleaseRunResources();
// The run's resources, then every DirectDraw object (kept when keep's low byte is set).
void Shutdown3DEngine(int32_t keep);

}  // namespace vx
