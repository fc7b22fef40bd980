// The runtime's state (runtime/runtime_state.h): its one instance.
#include "runtime/runtime_state.h"

#include "runtime/attached_files.h"

namespace vx {

RuntimeState gRuntimeState;

RuntimeState::~RuntimeState() = default;

}  // namespace vx
