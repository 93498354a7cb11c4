#pragma once

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace earshot::platform::linuxos::store {

// Why one store step failed, in words for the host ("the server answered
// HTTP 404"). The installation request turns it into one PlatformError that
// names the locale.
class StoreFailure : public std::runtime_error {
 public:
  explicit StoreFailure(const std::string& reason) : std::runtime_error(reason) {}
};

// A StoreFailure for a failed system call: "<what>: <strerror(errno)>".
[[noreturn]] inline void failWithErrno(const std::string& what, int error = errno) {
  throw StoreFailure(what + ": " + std::strerror(error));
}

}  // namespace earshot::platform::linuxos::store
