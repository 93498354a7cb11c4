#include "platform/linux/support/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace earshot::platform::linuxos::support {

bool readRegularFile(const std::filesystem::path& file, size_t largest,
                     const std::function<bool(std::string_view)>& piece, Links links) {
  // O_NONBLOCK: opening a FIFO must not wait for a writer; O_NOCTTY: a
  // terminal must not become the process's.
  int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  if (links == Links::refuse) flags |= O_NOFOLLOW;
  int fd = ::open(file.c_str(), flags);
  if (fd < 0) return false;
  struct stat status {};
  bool ok = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
            static_cast<unsigned long long>(status.st_size) <= largest;
  size_t total = 0;
  char buffer[65536];
  while (ok) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    total += static_cast<size_t>(got);
    if (total > largest) {
      ok = false;
      break;
    }
    if (!piece(std::string_view(buffer, static_cast<size_t>(got)))) break;
  }
  ::close(fd);
  return ok;
}

std::optional<std::string> readRegularFile(const std::filesystem::path& file, size_t largest,
                                           Links links) {
  std::string text;
  if (!readRegularFile(
          file, largest,
          [&text](std::string_view part) {
            text += part;
            return true;
          },
          links)) {
    return std::nullopt;
  }
  return text;
}

}  // namespace earshot::platform::linuxos::support
