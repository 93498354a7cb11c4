#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>

#include "threading/thread_annotations.h"

namespace earshot::threading {

// std::mutex as a capability the thread-safety analysis knows (libstdc++'s
// own is not annotated). Members it guards say GUARDED_BY(its name).
class CAPABILITY("mutex") Mutex {
 public:
  void lock() ACQUIRE() { mutex_.lock(); }
  void unlock() RELEASE() { mutex_.unlock(); }
  bool try_lock() TRY_ACQUIRE(true) { return mutex_.try_lock(); }

 private:
  std::mutex mutex_;
};

// Holds a Mutex from construction to destruction, or to unlock().
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  ~MutexLock() RELEASE() {
    if (held_) mutex_.unlock();
  }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

  // Gives the lock back before the end of the scope.
  void unlock() RELEASE() {
    held_ = false;
    mutex_.unlock();
  }

  // Waits on `condition` with the lock given up meanwhile and holds it
  // again on return, which may be spurious. Callers loop on their own test
  // of the guarded state, so that the analysis sees every read under the
  // lock.
  void wait(std::condition_variable_any& condition) { condition.wait(mutex_); }
  // As wait(), until `deadline` at the latest.
  template <typename Clock, typename Duration>
  std::cv_status waitUntil(std::condition_variable_any& condition,
                           std::chrono::time_point<Clock, Duration> deadline) {
    return condition.wait_until(mutex_, deadline);
  }
  // Gives the lock up until `stop` is requested or `duration` has passed,
  // whatever is notified meanwhile; true when the stop came.
  template <typename Rep, typename Period>
  bool waitForStop(std::condition_variable_any& condition, std::stop_token stop,
                   std::chrono::duration<Rep, Period> duration) {
    return condition.wait_for(mutex_, stop, duration, [] { return false; }) ||
           stop.stop_requested();
  }

 private:
  Mutex& mutex_;
  bool held_ = true;
};

}  // namespace earshot::threading
