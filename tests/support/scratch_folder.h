#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace earshot::testkit {

// A fresh empty folder for the running test, named after it and this test
// process, removed with everything in it (read-only parts too) when the
// object goes.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& prefix)
      : path_(std::filesystem::temp_directory_path() /
              (prefix + "-" + std::to_string(::getpid()) + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name())) {
    remove();
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() { remove(); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  void remove() {
    namespace fs = std::filesystem;
    std::error_code ignored;
    for (fs::recursive_directory_iterator it(path_, ignored), end; !ignored && it != end;
         it.increment(ignored)) {
      if (it->is_directory(ignored)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
      }
    }
    fs::remove_all(path_, ignored);
  }

  std::filesystem::path path_;
};

}  // namespace earshot::testkit
