#pragma once

#include <mutex>
#include <optional>
#include <string>

namespace earshot::session {

// The live mode's one failure slot. A results thread has nobody to throw to,
// so it parks the first result-stream failure here and the audio loop turns
// it into the mode's error. Shared by the loop and every results thread of
// the mode; the lock is held for one read or one conditional store only.
class FailureBox {
 public:
  // Keeps the first failure: a later one never replaces it.
  void set(std::string failure);
  // The stored failure, or nullopt.
  std::optional<std::string> current() const;

 private:
  mutable std::mutex lock_;
  std::optional<std::string> message_;
};

}  // namespace earshot::session
