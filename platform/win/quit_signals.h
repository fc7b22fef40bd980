// How a process ends when it is not the program that ends it. The signals that ask a process to end
// (SIGTERM, SIGINT, SIGHUP) are taken as a request to quit, as closing the window is: the message
// pump turns each into the close of the program's window, a message box gives way to it, and the
// process ends through its own clean-up and then by the signal. An end that cannot go back to the
// program (its display lost) runs the clean-up the program set and ends at once.
#pragma once

namespace vx::win {

// Takes the signals over; to be called before anything exists that only the clean-up removes. A
// handler set before (other than the default) is kept. SDL then leaves the signals alone. A call
// blocked on a slow device (a full pipe) returns when a signal comes, and from then on writes to
// standard output and error do not wait for a reader that is gone or stuck. A reader of those that
// has gone makes writes fail instead of ending the process (SIGPIPE).
void InstallQuitSignals();
// True once one of the signals has come.
bool QuitSignalled();
// How many came since the last call (the pump's: each ends the program once).
int TakeQuitSignals();
// Ends the process by the first signal that came, as its default action would; for a step that
// finishes what it does and cleans up first.
[[noreturn]] void EndByQuitSignal();

// What must be removed however the process ends (its work folder); set by the program, run once.
using EndingCleanUp = void (*)();
void SetEndingCleanUp(EndingCleanUp cleanUp);
// Runs the clean-up and ends the process with the status, or by the quit signal that came.
[[noreturn]] void EndAtOnce(int status);

}  // namespace vx::win
