// Quit signals (quit_signals.h): the handler only counts, keeps the standard streams from blocking
// and wakes the watcher, so that it is safe whatever the process was doing; the work is done where
// the count is read, or by the watcher, a thread of its own that the signals never interrupt.
#include "platform/win/quit_signals.h"

#include <SDL.h>
#include <fcntl.h>
#include <pthread.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

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

std::atomic<bool> gPromptEnd{false};  // the program asked to be ended promptly
std::atomic<bool> gWatching{false};
std::atomic<uint32_t> gGrace{kQuitGraceMilliseconds};
sem_t gWakeWatcher;  // the handler's way to wake a thread: sem_post is async-signal-safe
// Held by whichever thread runs the clean-up, the program's or the watcher, and by the watcher
// until the process has ended: the other one finds nothing left to do, or waits for the end. A
// plain mutex, so that nothing destroys it while the process exits.
pthread_mutex_t gEnding = PTHREAD_MUTEX_INITIALIZER;

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
  const int savedErrno = errno;
  int none = 0;
  gFirst.compare_exchange_strong(none, signal);
  StopWaitingOnOutputs();
  gArrived.fetch_add(1);
  sem_post(&gWakeWatcher);
  errno = savedErrno;
}

void WaitForWake() {
  while (sem_wait(&gWakeWatcher) != 0) {
  }
}

// The caller holds gEnding.
void RunCleanUpOnce() {
  if (const EndingCleanUp cleanUp = gCleanUp.exchange(nullptr)) cleanUp();
}

// Sleeps out the grace period after each wake until the program has asked for a prompt end (which
// wakes it too); a program that has not ended by itself then is ended here. No stream is flushed:
// the program may be inside a call that holds a stream's lock.
void WatchForQuit() {
  WaitForWake();
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(gGrace.load()));
    if (gPromptEnd.load()) break;
    WaitForWake();
  }
  pthread_mutex_lock(&gEnding);
  RunCleanUpOnce();
  EndByQuitSignal();
}

// The watcher keeps the signals blocked, so that they interrupt the program's own waits.
void StartWatcher() {
  sem_init(&gWakeWatcher, 0, 0);
  sigset_t quitSignals, previous;
  sigemptyset(&quitSignals);
  for (const int signal : kQuitSignals) sigaddset(&quitSignals, signal);
  pthread_sigmask(SIG_BLOCK, &quitSignals, &previous);
  std::thread(WatchForQuit).detach();
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  gWatching.store(true);
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
  [[maybe_unused]] static const bool watching = (StartWatcher(), true);
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
  sigset_t blocked;  // as the watcher keeps it
  sigemptyset(&blocked);
  sigaddset(&blocked, signal);
  pthread_sigmask(SIG_UNBLOCK, &blocked, nullptr);
  raise(signal);
  _exit(128 + signal);
}

void EndPromptlyOnQuit() {
  gPromptEnd.store(true);
  if (gWatching.load() && QuitSignalled()) sem_post(&gWakeWatcher);
}

void SetQuitGrace(uint32_t milliseconds) { gGrace.store(milliseconds); }

void SetEndingCleanUp(EndingCleanUp cleanUp) { gCleanUp.store(cleanUp); }

void RunEndingCleanUp() {
  pthread_mutex_lock(&gEnding);
  RunCleanUpOnce();
  pthread_mutex_unlock(&gEnding);
}

void EndAtOnce(int status) {
  pthread_mutex_lock(&gEnding);
  RunCleanUpOnce();
  std::fflush(nullptr);
  if (QuitSignalled()) EndByQuitSignal();
  RestoreOutputs();
  _exit(status);
}

}  // namespace vx::win
