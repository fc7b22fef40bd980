// How a process ends when it is not the program that ends it. The signals that ask a process to end
// (SIGTERM, SIGINT, SIGHUP) are taken as a request to quit, as closing the window is: the message
// pump turns each into the close of the program's window, a message box gives way to it, and the
// process ends through its own clean-up and then by the signal. A program held by one long command
// does not get there soon: once it has asked for a prompt end, a watcher ends the process for it
// when its own end has not come within a grace period. An end that cannot go back to the program
// (its display lost) runs the clean-up the program set and ends at once.
#pragma once

#include <cstdint>

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

// From now on a quit signal ends the process within the grace period of its coming, or of this
// call, whatever the program is doing then: through the ending clean-up and then by the signal,
// when the program has not ended by itself before. Until then the program ends in its own time (so
// that a file it writes is finished).
void EndPromptlyOnQuit();
// How long the program has to end by itself after a quit signal once it asked for a prompt end.
inline constexpr uint32_t kQuitGraceMilliseconds = 1500;
// Another grace period, for tests; set before InstallQuitSignals.
void SetQuitGrace(uint32_t milliseconds);

// What must be removed however the process ends (its work folder); set by the program, run once.
using EndingCleanUp = void (*)();
void SetEndingCleanUp(EndingCleanUp cleanUp);
// Runs the clean-up set unless it ran already; the program's own way to it. Should the end that
// does not wait for the program have begun, it waits for that end instead of returning.
void RunEndingCleanUp();
// Runs the clean-up and ends the process with the status, or by the quit signal that came.
[[noreturn]] void EndAtOnce(int status);

}  // namespace vx::win
