#pragma once

#include <string>
#include <string_view>

namespace earshot::platform {

// A locale value. Built from any identifier string (POSIX "en_US.UTF-8",
// BCP 47 "en-US", odd case, empty, garbage): construction never fails.
// Two locales are equal when their canonical ICU forms are equal.
class Locale {
 public:
  Locale() = default;
  static Locale fromIdentifier(std::string_view identifier);

  // The BCP 47 identifier, subtags joined by hyphens ("en-US"); "und" when
  // the identifier named no language.
  std::string bcp47() const;
  // The canonical ICU identifier ("en_US").
  const std::string& canonical() const { return canonical_; }
  // The identifier exactly as it was given.
  const std::string& identifier() const { return identifier_; }

  bool operator==(const Locale& other) const { return canonical_ == other.canonical_; }

  // The default identifier of the user's current locale, from LC_ALL,
  // LC_MESSAGES, LANG in that order, in POSIX form without codeset or
  // modifier ("en_US"); "en_US_POSIX" for the C and POSIX locales.
  static std::string currentIdentifier();

 private:
  std::string identifier_;
  std::string canonical_;
};

}  // namespace earshot::platform
