// The one instance of the dispatcher's state.
#include "runtime/dispatcher_state.h"

namespace vx {

DispatcherState gDispatcherState;

}  // namespace vx
