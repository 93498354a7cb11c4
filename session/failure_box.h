#pragma once

#include <optional>
#include <string>

#include "threading/mutex.h"

namespace earshot::session {

// The live mode's one failure slot. A results thread has nobody to throw to,
// so it parks the first result-stream failure here and the audio loop turns
// it into the mode's error. Shared by the loop and every results thread of
// the mode.
class FailureBox {
 public:
  // Keeps the first failure: a later one never replaces it.
  void set(std::string failure) EXCLUDES(lock_);
  // The stored failure, or nullopt.
  std::optional<std::string> current() const EXCLUDES(lock_);

 private:
  mutable threading::Mutex lock_;
  std::optional<std::string> message_ GUARDED_BY(lock_);
};

}  // namespace earshot::session
