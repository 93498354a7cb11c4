#include "platform/linux/last_live_locale.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <system_error>

#include "platform/linux/support/durable_files.h"

namespace earshot::platform::linuxos {
namespace fs = std::filesystem;
namespace {

// BCP 47 identifiers are far shorter; anything longer is not one of ours.
constexpr size_t largestFile = 128;

// Reads a small regular file without following a link at its name and
// without waiting on a pipe or device put there; nullopt for anything else.
std::optional<std::string> readSmallRegularFile(const fs::path& file, size_t largest) {
  int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> text;
  struct stat status {};
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
      static_cast<size_t>(status.st_size) <= largest) {
    std::string buffer(largest + 1, '\0');
    size_t filled = 0;
    while (filled < buffer.size()) {
      ssize_t n = ::read(fd, buffer.data() + filled, buffer.size() - filled);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (n == 0) {
          buffer.resize(filled);
          text = std::move(buffer);
        }
        break;
      }
      filled += static_cast<size_t>(n);
    }
  }
  ::close(fd);
  if (text && text->size() > largest) return std::nullopt;  // grew while read
  return text;
}

bool isIdentifierCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

std::optional<std::string> parse(std::string_view text) {
  if (text.size() < 2 || text.back() != '\n') return std::nullopt;
  text.remove_suffix(1);
  for (char c : text) {
    if (!isIdentifierCharacter(c)) return std::nullopt;
  }
  return std::string(text);
}

}  // namespace

std::optional<std::string> LastLiveLocale::recall() const noexcept {
  try {
    auto text = readSmallRegularFile(file_, largestFile);
    if (!text) return std::nullopt;
    return parse(*text);
  } catch (...) {
    return std::nullopt;
  }
}

void LastLiveLocale::remember(const Locale& locale) noexcept {
  try {
    std::string identifier = locale.bcp47();
    if (!parse(identifier + "\n")) return;
    std::lock_guard lock(mutex_);
    if (!kept_) kept_ = recall();
    if (kept_ == identifier) return;
    std::error_code error;
    fs::create_directories(file_.parent_path(), error);
    if (error) return;
    support::replaceFileDurably(file_, identifier + "\n");
    kept_ = std::move(identifier);
  } catch (...) {
    // Not kept: the next process preloads the system locale's model.
  }
}

}  // namespace earshot::platform::linuxos
