#pragma once

#include <exception>
#include <string>

namespace earshot::mode {

// A failure whose text this program composes. `message` is the complete text
// the host receives.
class BridgeError : public std::exception {
 public:
  explicit BridgeError(std::string message) : message(std::move(message)) {}
  const char* what() const noexcept override { return message.c_str(); }

  std::string message;
};

}  // namespace earshot::mode
