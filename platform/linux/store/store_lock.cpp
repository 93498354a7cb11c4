#include "platform/linux/store/store_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <system_error>

#include "platform/linux/store/store_failure.h"

namespace earshot::platform::linuxos::store {

StoreLock::StoreLock(const std::filesystem::path& file) {
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  if (error) {
    throw StoreFailure("cannot create " + file.parent_path().string() + ": " + error.message());
  }
  fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) failWithErrno("cannot open the store lock " + file.string());
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    int failure = errno;
    ::close(fd_);
    failWithErrno("cannot lock the store", failure);
  }
}

StoreLock::~StoreLock() {
  if (fd_ >= 0) ::close(fd_);  // closing drops the flock
}

}  // namespace earshot::platform::linuxos::store
