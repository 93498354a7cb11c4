#include "platform/linux/store/store_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <system_error>

#include "platform/linux/store/store_failure.h"

namespace earshot::platform::linuxos::store {
namespace {

int lockOnce(int fd, int operation) {
  int result;
  while ((result = ::flock(fd, operation)) != 0 && errno == EINTR) {
  }
  return result;
}

// Whether the locked descriptor is still the file at `path`: a holder may
// have removed the file (see removeFile()) while this one waited for it.
bool stillThere(int fd, const std::filesystem::path& path) {
  struct stat held {
  }, named{};
  return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

}  // namespace

StoreLock::StoreLock(const std::filesystem::path& file) {
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  if (error) {
    throw StoreFailure("cannot create " + file.parent_path().string() + ": " + error.message());
  }
  for (;;) {
    fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd_ < 0) failWithErrno("cannot open the lock " + file.string());
    if (lockOnce(fd_, LOCK_EX) != 0) {
      int failure = errno;
      ::close(fd_);
      failWithErrno("cannot lock " + file.string(), failure);
    }
    if (stillThere(fd_, file)) break;
    ::close(fd_);
  }
  path_ = file;
}

void StoreLock::removeFile() {
  if (!path_.empty()) ::unlink(path_.c_str());
}

std::unique_ptr<StoreLock> StoreLock::tryTake(const std::filesystem::path& file) {
  std::unique_ptr<StoreLock> lock(new StoreLock());
  lock->fd_ = ::open(file.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (lock->fd_ < 0) return errno == ENOENT ? std::move(lock) : nullptr;
  if (lockOnce(lock->fd_, LOCK_EX | LOCK_NB) != 0) return nullptr;
  if (!stillThere(lock->fd_, file)) return nullptr;  // replaced meanwhile: left for later
  lock->path_ = file;
  return lock;
}

StoreLock::~StoreLock() {
  if (fd_ >= 0) ::close(fd_);  // closing drops the flock
}

}  // namespace earshot::platform::linuxos::store
