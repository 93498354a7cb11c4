#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include "platform/locale.h"

namespace earshot::platform::linuxos {

// The locale of this user's last live session, kept in one small file of the
// state folder ($XDG_STATE_HOME/earshot/last-live-locale) so that the next
// process can start loading that model before the host names a locale. The
// file holds the BCP 47 identifier and a line feed. It is replaced whole (a
// temporary file flushed to disk, then renamed over it), and only when the
// locale changes. A file that is missing, not a regular file (a link, a
// pipe), larger than a locale can be or not one such line is ignored; a
// folder that cannot be written only means nothing is kept. Never throws;
// any thread.
class LastLiveLocale {
 public:
  explicit LastLiveLocale(std::filesystem::path file) : file_(std::move(file)) {}

  // The identifier kept, or nullopt.
  std::optional<std::string> recall() const noexcept;
  // Keeps `locale` unless it is what the file already holds.
  void remember(const Locale& locale) noexcept;

  const std::filesystem::path& file() const { return file_; }

 private:
  std::filesystem::path file_;
  std::mutex mutex_;
  std::optional<std::string> kept_;  // what this object last found or wrote
};

}  // namespace earshot::platform::linuxos
