#pragma once

#include <stdexcept>
#include <string>

namespace earshot::platform {

// A failure of a platform service. Its what() is the description that the
// host receives unchanged.
class PlatformError : public std::runtime_error {
 public:
  explicit PlatformError(std::string description)
      : std::runtime_error(std::string()), description_(std::move(description)) {}
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  // Its own text, not the base class's reference-counted one: a failure is
  // made on one thread and read on another, and a copy must share nothing
  // with the original that its maker destroys whenever it likes.
  std::string description_;
};

}  // namespace earshot::platform
