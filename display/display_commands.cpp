// Display commands of the system services: the software fallback and the hardware transform and
// lighting device, each switch followed by the display made again with the mode in force.
#include "display/display.h"
#include "runtime/command_families.h"
#include "runtime/dispatcher.h"

namespace vx {

namespace {

template <uint32_t* kSwitch, uint32_t kValue>
void CmdSetDisplaySwitch() {
  *kSwitch = kValue;
  RebuildDisplayWithCurrentMode();
}

}  // namespace

void RegisterDisplayCommands() {
  RegisterCommand(9001, CmdSetDisplaySwitch<&gSurfaceFallback, 1>);
  RegisterCommand(9002, CmdSetDisplaySwitch<&gSurfaceFallback, 0>);
  RegisterCommand(9011, CmdSetDisplaySwitch<&gAllowTnL, 0>);
  RegisterCommand(9012, CmdSetDisplaySwitch<&gAllowTnL, 1>);
}

}  // namespace vx
