#include "platform/linux/last_live_locale.h"

#include <string_view>
#include <system_error>

#include "platform/linux/support/durable_files.h"
#include "platform/linux/support/regular_file.h"

namespace earshot::platform::linuxos {
namespace fs = std::filesystem;
namespace {

// BCP 47 identifiers are far shorter; anything longer is not one of ours.
constexpr size_t kLargestFile = 128;

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
    auto text = support::readRegularFile(file_, kLargestFile);
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
