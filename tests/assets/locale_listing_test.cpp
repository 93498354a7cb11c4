#include <gtest/gtest.h>

#include "tests/assets/asset_harness.h"

namespace earshot {
namespace {

using platform::Locale;
using platform::scripted::ScriptedPlatform;

std::vector<Locale> locales(std::initializer_list<const char*> identifiers) {
  std::vector<Locale> list;
  for (const char* identifier : identifiers) list.push_back(Locale::fromIdentifier(identifier));
  return list;
}

TEST(Listing, UnavailablePlatformIsReportedWithFourMembersAndNothingElseAsked) {
  ScriptedPlatform scripted;
  scripted.speech->available = false;
  scripted.speech->supported = locales({"en-US"});
  scripted.assets->reserved = locales({"en-US"});
  scripted.assets->maximumReserved = 5;

  testkit::AssetRun run = testkit::runAssetMode({"earshot", "--locales"}, scripted);

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.lines,
            std::vector<std::string>{
                R"({"type":"locales","available":false,"supported":[],"installed":[]})"});
  EXPECT_EQ(scripted.log->calls(), std::vector<std::string>{"isAvailable"});
}

struct ListingCase {
  const char* name;
  std::vector<Locale> supported, installed, reserved;
  int64_t maximumReserved;
  const char* line;
  friend void PrintTo(const ListingCase& c, std::ostream* out) { *out << c.name; }
};

class AvailableListing : public testing::TestWithParam<ListingCase> {};

TEST_P(AvailableListing, WritesTheThreeListsAsGivenThenTheLimit) {
  const ListingCase& c = GetParam();
  ScriptedPlatform scripted;
  scripted.speech->supported = c.supported;
  scripted.speech->installed = c.installed;
  scripted.assets->reserved = c.reserved;
  scripted.assets->maximumReserved = c.maximumReserved;

  testkit::AssetRun run = testkit::runAssetMode({"earshot", "--locales"}, scripted);

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.lines, std::vector<std::string>{c.line});
  EXPECT_EQ(scripted.log->calls(),
            (std::vector<std::string>{"isAvailable", "supportedLocales", "installedLocales",
                                      "reservedLocales", "maximumReservedLocales"}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AvailableListing,
    testing::Values(
        // Platform order, duplicates (in any spelling) and overlaps between
        // the lists all stay; a limit below the reserved count is not checked.
        ListingCase{"OrderDuplicatesAndOverlapsKept",
                    locales({"fr_FR", "en_US", "de-DE", "en-us", "zh_Hant_TW"}),
                    locales({"en_US", "fr-FR"}), locales({"de_DE", "en-US", "fr_FR"}), 2,
                    R"({"type":"locales","available":true,)"
                    R"("supported":["fr-FR","en-US","de-DE","en-US","zh-Hant-TW"],)"
                    R"("installed":["en-US","fr-FR"],"reserved":["de-DE","en-US","fr-FR"],)"
                    R"("maxReserved":2})"},
        ListingCase{"NothingInstalledOrReserved",
                    locales({"en-US"}),
                    {},
                    {},
                    0,
                    R"({"type":"locales","available":true,"supported":["en-US"],)"
                    R"("installed":[],"reserved":[],"maxReserved":0})"},
        // An integer no double can hold: it must not pass through floating point.
        ListingCase{"LimitWrittenAsAnExactInteger",
                    {},
                    {},
                    {},
                    9007199254740993,
                    R"({"type":"locales","available":true,"supported":[],)"
                    R"("installed":[],"reserved":[],"maxReserved":9007199254740993})"}),
    [](const testing::TestParamInfo<ListingCase>& info) { return info.param.name; });

}  // namespace
}  // namespace earshot
