#include "session/failure_box.h"

namespace earshot::session {

void FailureBox::set(std::string failure) {
  threading::MutexLock guard(lock_);
  if (!message_) message_ = std::move(failure);
}

std::optional<std::string> FailureBox::current() const {
  threading::MutexLock guard(lock_);
  return message_;
}

}  // namespace earshot::session
