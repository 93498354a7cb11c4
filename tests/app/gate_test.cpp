#include <gtest/gtest.h>

#include "tests/support/test_channel.h"

namespace earshot {
namespace {

using platform::Locale;
using platform::scripted::ScriptedPlatform;

const char kUnavailable[] =
    R"({"type":"error","message":"Apple Speech requires macOS 26 and supported Apple hardware."})";

TEST(Gate, UnavailableFailsEveryModeButLocalesBeforeAnythingElse) {
  ScriptedPlatform scripted;
  scripted.speech->available = false;
  for (auto arguments : std::vector<std::vector<std::string>>{
           {"earshot"}, {"earshot", "--install", "en-US"}, {"earshot", "--release", "en-US"}}) {
    ScriptedPlatform fresh;
    fresh.speech->available = false;
    testkit::ModeOutcome outcome = testkit::runMode(arguments, fresh, "{\"type\":\"init\"}\n");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.lines, std::vector<std::string>{kUnavailable});
    EXPECT_EQ(fresh.log->calls(), std::vector<std::string>{"isAvailable"});
  }
}

// The live mode may get its model ready while the host writes "init", and
// only once the machine can transcribe at all; the one-shot modes never load
// a model.
TEST(Gate, OnlyTheLiveModeAnticipatesASessionAndOnlyWhenAvailable) {
  struct Case {
    std::vector<std::string> arguments;
    bool available;
    int anticipations;
  };
  for (const Case& c : std::vector<Case>{{{"earshot"}, true, 1},
                                         {{"earshot"}, false, 0},
                                         {{"earshot", "--locales"}, true, 0},
                                         {{"earshot", "--install", "en-US"}, true, 0},
                                         {{"earshot", "--release", "en-US"}, true, 0}}) {
    ScriptedPlatform scripted;
    scripted.speech->available = c.available;
    scripted.speech->supported = {Locale::fromIdentifier("en-US")};
    scripted.speech->installed = {Locale::fromIdentifier("en-US")};
    testkit::runMode(c.arguments, scripted, "{\"type\":\"init\",\"locale\":\"en-US\"}\n");
    EXPECT_EQ(scripted.speech->anticipations, c.anticipations) << c.arguments.back();
  }
}

struct UnsupportedCase {
  std::vector<std::string> arguments;
  std::string input;
  std::string message;
};

TEST(Gate, UnsupportedLocaleQuotesTheRequestVerbatimWithTheModesSuffix) {
  for (const UnsupportedCase& c : std::vector<UnsupportedCase>{
           {{"earshot"},
            "{\"type\":\"init\",\"locale\":\"xx_YY\"}\n",
            "Apple Speech does not support language xx_YY. Choose a supported language in Audio "
            "settings."},
           {{"earshot"},
            "{\"type\":\"init\",\"locale\":\"\"}\n",
            "Apple Speech does not support language . Choose a supported language in Audio "
            "settings."},
           {{"earshot", "--install", "xx_YY"}, "", "Apple Speech does not support language xx_YY."},
           {{"earshot", "--release", " q/\"z "},
            "",
            "Apple Speech does not support language  q/\"z ."},
       }) {
    ScriptedPlatform scripted;
    scripted.speech->supported = {Locale::fromIdentifier("en-US")};
    testkit::ModeOutcome outcome = testkit::runMode(c.arguments, scripted, c.input);
    EXPECT_EQ(outcome.status, 1);
    ASSERT_EQ(outcome.lines.size(), 1u);
    std::string expected =
        channel::OutgoingMessage("error").add("message", c.message).serialize().value();
    EXPECT_EQ(outcome.lines[0], expected);
  }
}

TEST(Locale, BcpIdentifiersAndEquality) {
  EXPECT_EQ(Locale::fromIdentifier("en_US").bcp47(), "en-US");
  EXPECT_EQ(Locale::fromIdentifier("en-us").bcp47(), "en-US");
  EXPECT_EQ(Locale::fromIdentifier("en_US.UTF-8").bcp47(), "en-US");
  EXPECT_EQ(Locale::fromIdentifier("zh-Hant-TW").bcp47(), "zh-Hant-TW");
  EXPECT_EQ(Locale::fromIdentifier("en_US"), Locale::fromIdentifier("en-US"));
  EXPECT_FALSE(Locale::fromIdentifier("en_US") == Locale::fromIdentifier("en_GB"));
  EXPECT_EQ(Locale::fromIdentifier("").bcp47(), "und");
  // Construction never fails, whatever the text.
  for (const char* odd : {"--locales", "\xEF\xBF\xBD", "a_b_c_d_e_f", "1234567890123456789"}) {
    (void)Locale::fromIdentifier(odd).bcp47();
  }
}

}  // namespace
}  // namespace earshot
