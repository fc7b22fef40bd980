// Placeholders for the video and 3D services: each reports success and changes nothing.
#include "runtime/subsystem_hooks.h"

namespace vx {

void AdvanceAnimations() {}

}  // namespace vx
