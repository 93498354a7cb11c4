#include <gtest/gtest.h>

#include "tests/assets/asset_harness.h"

namespace earshot {
namespace {

using platform::Locale;
using platform::scripted::ScriptedPlatform;

struct ReleaseCase {
  const char* argument;
  bool answer;
  const char* line;
};

TEST(Release, WritesTheResolvedLocaleAndThePlatformsAnswerAndMakesNoOtherCall) {
  for (const ReleaseCase& c : std::vector<ReleaseCase>{
           {"en-US", true, R"({"type":"release-done","locale":"en-US","released":true})"},
           // Nothing released is not a failure.
           {"en-US", false, R"({"type":"release-done","locale":"en-US","released":false})"},
           // The line names the resolved locale, not the argument.
           {"en_US", true, R"({"type":"release-done","locale":"en-US","released":true})"},
           {"en", false, R"({"type":"release-done","locale":"en-US","released":false})"},
       }) {
    SCOPED_TRACE(c.argument);
    ScriptedPlatform scripted;
    scripted.speech->supported = {Locale::fromIdentifier("en-US")};
    scripted.speech->resolutions["en"] = Locale::fromIdentifier("en-US");
    scripted.assets->releaseAnswer = c.answer;

    testkit::AssetRun run = testkit::runAssetMode({"earshot", "--release", c.argument}, scripted);

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.lines, std::vector<std::string>{c.line});
    EXPECT_EQ(
        scripted.log->calls(),
        (std::vector<std::string>{"isAvailable", std::string("supportedLocale(") + c.argument + ")",
                                  "release(en-US)"}));
  }
}

// Both locale modes: an unsupported argument is quoted as given, and no
// asset is touched.
TEST(AssetModesGate, UnsupportedArgumentIsQuotedVerbatimAndNothingElseIsAsked) {
  for (const char* option : {"--install", "--release"}) {
    SCOPED_TRACE(option);
    ScriptedPlatform scripted;
    scripted.speech->supported = {Locale::fromIdentifier("en-US")};
    scripted.assets->needsInstallation = true;

    testkit::AssetRun run = testkit::runAssetMode({"earshot", option, "de_CH"}, scripted);

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.lines,
              std::vector<std::string>{
                  R"({"type":"error","message":"Apple Speech does not support language de_CH."})"});
    EXPECT_EQ(scripted.log->calls(),
              (std::vector<std::string>{"isAvailable", "supportedLocale(de_CH)"}));
  }
}

}  // namespace
}  // namespace earshot
