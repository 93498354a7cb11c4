#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <optional>
#include <utility>

#include "threading/mutex.h"

namespace earshot::platform {

// An unbounded first-in, first-out hand-over from producers to one
// consumer, closed once with or without a failure. Used for audio on its
// way to an analyzer and for the results of a transcriber.
// Any thread may push and close; neither ever waits for the consumer. The
// consumer blocks in next().
template <typename T>
class ClosableQueue {
 public:
  // Never waits and never drops a value. Ignored once the queue is closed.
  void push(T value) EXCLUDES(mutex_) {
    {
      threading::MutexLock lock(mutex_);
      if (closed_) return;
      values_.push_back(std::move(value));
    }
    ready_.notify_one();
  }

  // No more values will come; the consumer sees the end (or `failure`)
  // once it has taken the values already queued. The first close counts.
  void close(std::exception_ptr failure = nullptr) EXCLUDES(mutex_) {
    {
      threading::MutexLock lock(mutex_);
      if (closed_) return;
      closed_ = true;
      failure_ = std::move(failure);
    }
    ready_.notify_all();
  }

  // Blocks until a value or the end arrives: the next value, or nullopt at
  // the end. A failure is thrown once, in place of the first end; after it
  // the queue just ends.
  std::optional<T> next() EXCLUDES(mutex_) {
    threading::MutexLock lock(mutex_);
    while (values_.empty() && !closed_) lock.wait(ready_);
    if (!values_.empty()) {
      T value = std::move(values_.front());
      values_.pop_front();
      return value;
    }
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
    return std::nullopt;
  }

 private:
  threading::Mutex mutex_;
  std::condition_variable_any ready_;
  std::deque<T> values_ GUARDED_BY(mutex_);
  bool closed_ GUARDED_BY(mutex_) = false;
  std::exception_ptr failure_ GUARDED_BY(mutex_);
};

}  // namespace earshot::platform
