#include "platform/linux/models/locale_matching.h"

#include <unicode/uloc.h>

#include <string>

namespace earshot::platform::linuxos {
namespace {

struct Subtags {
  std::string language, script, region;
  bool operator==(const Subtags&) const = default;
};

template <typename Fn>
std::string icuPart(const char* id, Fn&& fn) {
  char buffer[ULOC_FULLNAME_CAPACITY + 1] = {};
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = fn(id, buffer, static_cast<int32_t>(sizeof buffer - 1), &status);
  if (U_FAILURE(status) || length < 0) return {};
  return std::string(buffer, static_cast<size_t>(length));
}

// Language, script and region with the likely ones added; nullopt when the
// identifier names no known language.
std::optional<Subtags> likelySubtags(const Locale& locale) {
  const std::string& canonical = locale.canonical();
  std::string language = icuPart(canonical.c_str(), uloc_getLanguage);
  if (language.empty() || language == "und" || language == "root") return std::nullopt;
  std::string maximized = icuPart(canonical.c_str(), uloc_addLikelySubtags);
  if (maximized.empty()) return std::nullopt;
  Subtags subtags{icuPart(maximized.c_str(), uloc_getLanguage),
                  icuPart(maximized.c_str(), uloc_getScript),
                  icuPart(maximized.c_str(), uloc_getCountry)};
  if (subtags.language.empty() || subtags.language == "und") return std::nullopt;
  return subtags;
}

}  // namespace

std::optional<Locale> matchSupportedLocale(const Locale& requested,
                                           const std::vector<Locale>& supported) {
  if (requested.canonical().empty()) return std::nullopt;
  for (const Locale& locale : supported) {
    if (locale == requested) return locale;
  }
  auto wanted = likelySubtags(requested);
  if (!wanted) return std::nullopt;
  for (const Locale& locale : supported) {
    if (likelySubtags(locale) == wanted) return locale;
  }
  return std::nullopt;
}

}  // namespace earshot::platform::linuxos
