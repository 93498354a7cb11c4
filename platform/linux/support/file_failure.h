#pragma once

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace earshot::platform::linuxos::support {

// Why a file or hashing step failed, in words for the host ("cannot read
// /x: Permission denied"). The store names its own failures with it too
// (StoreFailure), so one catch turns either into a PlatformError.
class FileFailure : public std::runtime_error {
 public:
  explicit FileFailure(const std::string& reason) : std::runtime_error(reason) {}
};

// A FileFailure for a failed system call: "<what>: <strerror(errno)>".
[[noreturn]] inline void failWithErrno(const std::string& what, int error = errno) {
  throw FileFailure(what + ": " + std::strerror(error));
}

}  // namespace earshot::platform::linuxos::support
