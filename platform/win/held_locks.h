// The locks each thread holds, counted by the guard that takes them, so that a fault handler can
// tell whether the code it interrupted held one and must not be left for code that takes it again.
#pragma once

namespace vx::win {

// Initial-exec, so that a signal handler reads it without a call that may allocate.
inline thread_local int tLocksHeld __attribute__((tls_model("initial-exec"))) = 0;

// As std::lock_guard, counting the lock while it is held.
template <class Mutex>
class CountedLock {
 public:
  explicit CountedLock(Mutex& mutex) : mutex_(mutex) {
    mutex_.lock();
    ++tLocksHeld;
  }
  ~CountedLock() {
    --tLocksHeld;
    mutex_.unlock();
  }
  CountedLock(const CountedLock&) = delete;
  CountedLock& operator=(const CountedLock&) = delete;

 private:
  Mutex& mutex_;
};

// Locks this thread holds now.
inline int LocksHeld() { return tLocksHeld; }

}  // namespace vx::win
