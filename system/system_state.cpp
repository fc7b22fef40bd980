// System-services state shared with the runtime core.
#include "system/system_state.h"

namespace vx {

std::array<win::HMODULE, 256> gDllHandles{};
uint32_t gInternalErrorCode = 0;

}  // namespace vx
