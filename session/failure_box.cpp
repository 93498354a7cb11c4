#include "session/failure_box.h"

namespace earshot::session {

void FailureBox::set(std::string failure) {
  std::lock_guard guard(lock_);
  if (!message_) message_ = std::move(failure);
}

std::optional<std::string> FailureBox::current() const {
  std::lock_guard guard(lock_);
  return message_;
}

}  // namespace earshot::session
