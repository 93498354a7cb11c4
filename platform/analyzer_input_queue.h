#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/pcm_buffer.h"

namespace earshot::platform {

// One unit of analyzer input: a buffer in the analyzer's format, owned by
// whoever holds it; once appended, the producer never touches it again.
using AnalyzerInput = std::unique_ptr<PcmBuffer>;

// The unbounded first-in, first-out queue through which audio reaches an
// analyzer. The producer (the audio loop) appends and finishes and never
// waits; the consumer (the analyzer's own thread) blocks in next().
class AnalyzerInputQueue {
 public:
  // Never waits and never drops a value. Values appended after finish() are
  // dropped.
  void append(AnalyzerInput input) {
    {
      std::lock_guard lock(mutex_);
      if (finished_) return;
      values_.push_back(std::move(input));
    }
    ready_.notify_one();
  }

  // No more values will come; the consumer sees the end once it has taken
  // the values already queued.
  void finish() {
    {
      std::lock_guard lock(mutex_);
      finished_ = true;
    }
    ready_.notify_all();
  }

  // Blocks until a value or the end arrives; nullopt at the end.
  std::optional<AnalyzerInput> next() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return !values_.empty() || finished_; });
    if (values_.empty()) return std::nullopt;
    AnalyzerInput value = std::move(values_.front());
    values_.pop_front();
    return value;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<AnalyzerInput> values_;
  bool finished_ = false;
};

}  // namespace earshot::platform
