#include "platform/linux/result_channel.h"

#include <utility>

namespace earshot::platform::linuxos {

std::optional<TranscriptionResult> ResultChannel::next() {
  std::unique_lock lock(mutex_);
  ready_.wait(lock, [&] { return !pending_.empty() || ended_; });
  if (!pending_.empty()) {
    TranscriptionResult result = std::move(pending_.front());
    pending_.pop_front();
    return result;
  }
  if (failure_) {
    // Thrown once; the sequence is over after it.
    std::exception_ptr failure = std::exchange(failure_, nullptr);
    std::rethrow_exception(failure);
  }
  return std::nullopt;
}

void ResultChannel::deliver(TranscriptionResult result) {
  {
    std::lock_guard lock(mutex_);
    if (ended_) return;
    pending_.push_back(std::move(result));
  }
  ready_.notify_all();
}

void ResultChannel::close(std::exception_ptr failure) {
  {
    std::lock_guard lock(mutex_);
    if (ended_) return;
    ended_ = true;
    failure_ = std::move(failure);
  }
  ready_.notify_all();
}

}  // namespace earshot::platform::linuxos
