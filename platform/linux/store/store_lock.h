#pragma once

#include <filesystem>

namespace earshot::platform::linuxos::store {

// An exclusive flock on the store's lock file, held for the object's
// lifetime. Installs and releases take it, so that they run one at a time
// across processes; the kernel drops it when a holder dies. Blocks until
// the lock is free. Throws StoreFailure when the file cannot be opened.
class StoreLock {
 public:
  explicit StoreLock(const std::filesystem::path& file);
  ~StoreLock();
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace earshot::platform::linuxos::store
