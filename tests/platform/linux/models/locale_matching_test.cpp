#include "platform/linux/models/locale_matching.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace earshot::platform::linuxos {
namespace {

std::vector<Locale> locales(std::initializer_list<const char*> ids) {
  std::vector<Locale> list;
  for (const char* id : ids) list.push_back(Locale::fromIdentifier(id));
  return list;
}

// What `requested` resolves to, as BCP 47, or "none".
std::string resolved(const char* requested, const std::vector<Locale>& supported) {
  std::optional<Locale> match = matchSupportedLocale(Locale::fromIdentifier(requested), supported);
  return match ? match->bcp47() : "none";
}

TEST(LocaleMatching, FormsOfTheOneInstalledLocale) {
  auto supported = locales({"en-us"});
  struct Case {
    const char* requested;
    const char* expected;
  } cases[] = {
      {"en-US", "en-US"},
      {"en_US", "en-US"},
      {"en-us", "en-US"},
      {"EN-us", "en-US"},
      {"en_US.UTF-8", "en-US"},
      {"en_US_POSIX", "en-US"},
      {"en", "en-US"},
      {"en-Latn-US", "en-US"},
      {"en-GB", "none"},
      {"en_AU", "none"},
      {"fr-FR", "none"},
      {"fr", "none"},
      {"", "none"},
      {"xx", "none"},
      {"--locales", "none"},
      {"und", "none"},
      {"zz-not-a-locale", "none"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(resolved(c.requested, supported), c.expected) << c.requested;
}

TEST(LocaleMatching, SeveralModelsPickTheRegionAskedForOrTheLikelyOne) {
  auto supported = locales({"en-GB", "en-US", "fr-FR", "pt-PT"});
  struct Case {
    const char* requested;
    const char* expected;
  } cases[] = {
      {"en", "en-US"},   {"en_GB", "en-GB"}, {"en-gb", "en-GB"}, {"fr", "fr-FR"},
      {"fr_CA", "none"}, {"pt", "none"},     {"pt-PT", "pt-PT"}, {"de", "none"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(resolved(c.requested, supported), c.expected) << c.requested;
}

}  // namespace
}  // namespace earshot::platform::linuxos
