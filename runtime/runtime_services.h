// Installing the runtime's services into the hooks of common/runtime_hooks.h, through which the
// engines and command families below the runtime raise errors, log engine errors, pause the
// program, pump messages and open attached files.
#pragma once

namespace vx {

// Start-up calls it first; test programs call it too, so that everything below the runtime
// reaches the runtime's own services. Calling it again changes nothing.
void InstallRuntimeHooks();

}  // namespace vx
