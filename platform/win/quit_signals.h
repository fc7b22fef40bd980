// The signals that ask a process to end (SIGTERM, SIGINT, SIGHUP) taken as a request to quit, as
// closing the window is: the message pump turns each into the close of the program's window, a
// message box gives way to it, and the process ends through its own clean-up.
#pragma once

namespace vx::win {

// Takes the signals over; to be called before anything exists that only the clean-up removes. A
// handler set before (other than the default) is kept. SDL then leaves the signals alone.
void InstallQuitSignals();
// True once one of the signals has come.
bool QuitSignalled();
// How many came since the last call (the pump's: each ends the program once).
int TakeQuitSignals();
// Ends the process by the first signal that came, as its default action would; for a step that
// finishes what it does and cleans up first.
[[noreturn]] void EndByQuitSignal();

}  // namespace vx::win
