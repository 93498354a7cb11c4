#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <utility>

namespace earshot::platform {

// An unbounded first-in, first-out hand-over from producers to one
// consumer, closed once with or without a failure. Used for audio on its
// way to an analyzer and for the results of a transcriber.
//
// Threads: any thread may push and close; neither ever waits for the
// consumer. The consumer blocks in next().
template <typename T>
class ClosableQueue {
 public:
  // Never waits and never drops a value. Ignored once the queue is closed.
  void push(T value) {
    {
      std::lock_guard lock(mutex_);
      if (closed_) return;
      values_.push_back(std::move(value));
    }
    ready_.notify_one();
  }

  // No more values will come; the consumer sees the end (or `failure`)
  // once it has taken the values already queued. The first close counts.
  void close(std::exception_ptr failure = nullptr) {
    {
      std::lock_guard lock(mutex_);
      if (closed_) return;
      closed_ = true;
      failure_ = std::move(failure);
    }
    ready_.notify_all();
  }

  // Blocks until a value or the end arrives: the next value, or nullopt at
  // the end. A failure is thrown once, in place of the first end; after it
  // the queue just ends.
  std::optional<T> next() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return !values_.empty() || closed_; });
    if (!values_.empty()) {
      T value = std::move(values_.front());
      values_.pop_front();
      return value;
    }
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
    return std::nullopt;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<T> values_;
  bool closed_ = false;
  std::exception_ptr failure_;
};

}  // namespace earshot::platform
