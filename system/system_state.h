// State of the system services that the runtime core reads or clears: loaded modules of the DLL
// commands and the multiplayer layer's detail code.
#pragma once
#include <array>
#include <cstdint>

#include "platform/win/types.h"

namespace vx {

extern std::array<win::HMODULE, 256> gDllHandles;  // modules of the DLL commands; slot 0 unused
extern uint32_t gInternalErrorCode;                // detail code shown in the error report

}  // namespace vx
