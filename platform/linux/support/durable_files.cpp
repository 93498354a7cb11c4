#include "platform/linux/support/durable_files.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <system_error>

#include "platform/linux/support/file_failure.h"

namespace earshot::platform::linuxos::support {
namespace {

void syncPath(const std::filesystem::path& path, int flags) {
  int fd = ::open(path.c_str(), flags | O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) failWithErrno("cannot open " + path.string());
  if (::fsync(fd) != 0) {
    int error = errno;
    ::close(fd);
    failWithErrno("cannot flush " + path.string() + " to disk", error);
  }
  ::close(fd);
}

}  // namespace

void writeFileDurably(const std::filesystem::path& file, std::string_view contents) {
  int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) failWithErrno("cannot create " + file.string());
  size_t done = 0;
  while (done < contents.size()) {
    ssize_t wrote = ::write(fd, contents.data() + done, contents.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      int error = wrote < 0 ? errno : ENOSPC;
      ::close(fd);
      failWithErrno("cannot write " + file.string(), error);
    }
    done += static_cast<size_t>(wrote);
  }
  if (::fsync(fd) != 0) {
    int error = errno;
    ::close(fd);
    failWithErrno("cannot flush " + file.string() + " to disk", error);
  }
  if (::close(fd) != 0) failWithErrno("cannot write " + file.string());
}

void replaceFileDurably(const std::filesystem::path& file, std::string_view contents) {
  const std::filesystem::path folder = file.parent_path();
  std::string temporary = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
  int fd = ::mkstemp(temporary.data());
  if (fd < 0) failWithErrno("cannot create a file in " + folder.string());
  ::close(fd);
  // mkstemp chose a name no other writer has; the durable write creates its
  // file afresh and never through a link.
  ::unlink(temporary.c_str());
  try {
    writeFileDurably(temporary, contents);
    if (::rename(temporary.c_str(), file.c_str()) != 0)
      failWithErrno("cannot replace " + file.string());
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
  syncDirectory(folder);
}

void syncTree(const std::filesystem::path& root) {
  std::error_code error;
  std::filesystem::recursive_directory_iterator walk(root, error), end;
  for (; !error && walk != end; walk.increment(error)) {
    auto status = walk->symlink_status(error);
    if (error) break;
    if (std::filesystem::is_regular_file(status)) syncPath(walk->path(), 0);
    if (std::filesystem::is_directory(status)) syncPath(walk->path(), O_DIRECTORY);
  }
  if (error) throw FileFailure("cannot read " + root.string() + ": " + error.message());
  syncPath(root, O_DIRECTORY);
}

void syncDirectory(const std::filesystem::path& dir) {
  syncPath(dir, O_DIRECTORY);
}

}  // namespace earshot::platform::linuxos::support
