// Quit signals (quit_signals.h): the handler only counts, so that it is safe whatever the
// process was doing; the work is done where the count is read.
#include "platform/win/quit_signals.h"

#include <SDL.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <iterator>

namespace vx::win {

namespace {

constexpr int kQuitSignals[] = {SIGTERM, SIGINT, SIGHUP};

std::atomic<int> gArrived{0};
std::atomic<int> gTaken{0};
std::atomic<int> gFirst{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free counter");

void OnQuitSignal(int signal) {
  int none = 0;
  gFirst.compare_exchange_strong(none, signal);
  gArrived.fetch_add(1);
}

}  // namespace

void InstallQuitSignals() {
  // SDL would take only the signals still at their default; with this it does not look.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  for (const int signal : kQuitSignals) {
    struct sigaction previous {};
    sigaction(signal, nullptr, &previous);
    if (previous.sa_handler != SIG_DFL || (previous.sa_flags & SA_SIGINFO)) continue;
    struct sigaction action {};
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
  }
}

bool QuitSignalled() { return gArrived.load() > 0; }

int TakeQuitSignals() {
  const int arrived = gArrived.load();
  return arrived - gTaken.exchange(arrived);
}

void EndByQuitSignal() {
  const int signal = gFirst.load() ? gFirst.load() : SIGTERM;
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  raise(signal);
  _exit(128 + signal);
}

}  // namespace vx::win
