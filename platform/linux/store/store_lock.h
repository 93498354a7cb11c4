#pragma once

#include <filesystem>
#include <memory>

namespace earshot::platform::linuxos::store {

// An exclusive flock on a lock file, held for the object's lifetime: the
// store's (installs and releases change the store one at a time across
// processes) or one cached download's (one process at a time fetches one
// archive). The kernel drops it when a holder dies.
class StoreLock {
 public:
  // Blocks until the lock is free. Throws StoreFailure when the file cannot
  // be opened.
  explicit StoreLock(const std::filesystem::path& file);
  ~StoreLock();
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;

  // The lock when it is free now, else nullptr; never creates anything.
  static std::unique_ptr<StoreLock> tryTake(const std::filesystem::path& file);

  // Deletes the lock file while holding it (a cached download's, once the
  // download is gone); a process that waited on it then takes a new one.
  void removeFile();

 private:
  StoreLock() = default;
  int fd_ = -1;
  std::filesystem::path path_;
};

}  // namespace earshot::platform::linuxos::store
