// The X server going away under a running program. Xlib's own answer is to print and exit, which
// would leave behind what the program's clean-up removes; here the program ends through that
// clean-up instead (quit_signals.h).
#pragma once

namespace vx::win {

// From now on a connection to an X server that breaks says which display was lost on standard
// error and ends the process with status 1 through the ending clean-up (or by a quit signal that
// came before). Xlib cannot go on with a broken connection: SDL would wait for ever for events.
void EndWhenDisplayIsLost();

}  // namespace vx::win
