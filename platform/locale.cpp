#include "platform/locale.h"

#include <unicode/uloc.h>

#include <cstdlib>
#include <string>

namespace earshot::platform {
namespace {

// Runs one ICU locale function that writes into a char buffer; empty on error.
template <typename Fn>
std::string icuString(Fn&& fn) {
  char buffer[ULOC_FULLNAME_CAPACITY + 1] = {};
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = fn(buffer, static_cast<int32_t>(sizeof buffer - 1), &status);
  if (U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING || length < 0) return {};
  return std::string(buffer, static_cast<size_t>(length));
}

std::string canonicalize(std::string_view identifier) {
  std::string input(identifier);
  // Strip a POSIX codeset or modifier ("en_US.UTF-8", "de_DE@euro"): ICU would
  // otherwise keep them as keywords and the value would equal no model locale.
  if (auto cut = input.find_first_of(".@"); cut != std::string::npos) input.resize(cut);
  if (input.find('-') != std::string::npos) {
    // A BCP 47 tag: ICU's tag parser understands it better than canonicalize.
    int32_t parsed = 0;
    std::string fromTag = icuString([&](char* out, int32_t capacity, UErrorCode* status) {
      return uloc_forLanguageTag(input.c_str(), out, capacity, &parsed, status);
    });
    if (!fromTag.empty() && parsed == static_cast<int32_t>(input.size())) input = fromTag;
  }
  return icuString([&](char* out, int32_t capacity, UErrorCode* status) {
    return uloc_canonicalize(input.c_str(), out, capacity, status);
  });
}

}  // namespace

Locale Locale::fromIdentifier(std::string_view identifier) {
  Locale locale;
  locale.identifier_ = std::string(identifier);
  locale.canonical_ = canonicalize(identifier);
  return locale;
}

std::string Locale::bcp47() const {
  std::string tag = icuString([&](char* out, int32_t capacity, UErrorCode* status) {
    return uloc_toLanguageTag(canonical_.c_str(), out, capacity, /*strict=*/false, status);
  });
  return tag.empty() ? std::string("und") : tag;
}

std::string Locale::currentIdentifier() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') continue;
    std::string id(value);
    if (auto cut = id.find_first_of(".@"); cut != std::string::npos) id.resize(cut);
    if (id.empty() || id == "C" || id == "POSIX") return "en_US_POSIX";
    return id;
  }
  return "en_US_POSIX";
}

}  // namespace earshot::platform
