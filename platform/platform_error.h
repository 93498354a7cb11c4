#pragma once

#include <stdexcept>
#include <string>

namespace earshot::platform {

// A failure of a platform service. Its what() is the description that the
// host receives unchanged.
class PlatformError : public std::runtime_error {
 public:
  explicit PlatformError(const std::string& description) : std::runtime_error(description) {}
};

}  // namespace earshot::platform
