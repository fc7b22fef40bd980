// Quit signals (quit_signals.h): the handler only counts, and keeps the standard streams from
// blocking, so that it is safe whatever the process was doing; the work is done where the count
// is read.
#include "platform/win/quit_signals.h"

#include <SDL.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace vx::win {

namespace {

constexpr int kQuitSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int kOutputs[] = {STDOUT_FILENO, STDERR_FILENO};

std::atomic<int> gArrived{0};
std::atomic<int> gTaken{0};
std::atomic<int> gFirst{0};
std::atomic<int> gMadeNonBlocking{0};  // a bit for each standard stream made so here
std::atomic<EndingCleanUp> gCleanUp{nullptr};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free counter");

// A pipe or socket whose reader has stopped would hold the clean-up for ever. Terminals and files
// are left as they are: the shell shares a terminal's flags. Async-signal-safe.
void StopWaitingOnOutputs() {
  for (const int fd : kOutputs) {
    struct stat status {};
    if (fstat(fd, &status) != 0 || !(S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode))) continue;
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || (flags & O_NONBLOCK)) continue;
    if (fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0) gMadeNonBlocking.fetch_or(1 << fd);
  }
}

// The flags belong to the stream that other processes (the shell) share, so they go back before
// the process ends.
void RestoreOutputs() {
  const int made = gMadeNonBlocking.exchange(0);
  for (const int fd : kOutputs) {
    if (!(made & (1 << fd))) continue;
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  }
}

void OnQuitSignal(int signal) {
  int none = 0;
  gFirst.compare_exchange_strong(none, signal);
  StopWaitingOnOutputs();
  gArrived.fetch_add(1);
}

// A write to a reader that has gone fails with EPIPE; unlike SIG_IGN, a handler is not passed on
// to the processes the program starts.
void OnBrokenPipe(int) {}

// Installs the handler unless the signal was already taken or ignored. No SA_RESTART: a call that
// waits on a slow device returns, so that the quit is seen.
void TakeOver(int signal, void (*handler)(int)) {
  struct sigaction previous {};
  sigaction(signal, nullptr, &previous);
  if (previous.sa_handler != SIG_DFL || (previous.sa_flags & SA_SIGINFO)) return;
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

}  // namespace

void InstallQuitSignals() {
  // SDL would take only the signals still at their default; with this it does not look.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  [[maybe_unused]] static const int restoredAtExit = std::atexit(RestoreOutputs);
  for (const int signal : kQuitSignals) TakeOver(signal, OnQuitSignal);
  TakeOver(SIGPIPE, OnBrokenPipe);
}

bool QuitSignalled() { return gArrived.load() > 0; }

int TakeQuitSignals() {
  const int arrived = gArrived.load();
  return arrived - gTaken.exchange(arrived);
}

void EndByQuitSignal() {
  const int signal = gFirst.load() ? gFirst.load() : SIGTERM;
  RestoreOutputs();
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  raise(signal);
  _exit(128 + signal);
}

void SetEndingCleanUp(EndingCleanUp cleanUp) { gCleanUp.store(cleanUp); }

void EndAtOnce(int status) {
  if (const EndingCleanUp cleanUp = gCleanUp.exchange(nullptr)) cleanUp();
  std::fflush(nullptr);
  if (QuitSignalled()) EndByQuitSignal();
  RestoreOutputs();
  _exit(status);
}

}  // namespace vx::win
