#include <gtest/gtest.h>

#include "tools/feed/options.h"

namespace earshot::feed {
namespace {

struct Accepted {
  std::vector<std::string> arguments;
  Action action;
  std::string input;
  std::optional<int> rawRate;
  std::string locale;
  int chunkMs;
  std::optional<double> flushEvery;
  bool realtime, json;
  std::string earshot, assetLocale;
};

TEST(FeedOptions, AcceptedCommandLines) {
  const Accepted cases[] = {
      {{"talk.wav"}, Action::Transcribe, "talk.wav", {}, "en-US", 100, {}, false, false, "", ""},
      {{"--rate", "48000", "-", "--locale=de_DE", "--chunk-ms", "20", "--flush-every", "2.5",
        "--realtime", "--json", "--earshot", "/opt/e"},
       Action::Transcribe,
       "-",
       48000,
       "de_DE",
       20,
       2.5,
       true,
       true,
       "/opt/e",
       ""},
      // A file named like an option after "--"; a locale value that starts with "--".
      {{"--locale", "--odd", "--", "--x.wav"},
       Action::Transcribe,
       "--x.wav",
       {},
       "--odd",
       100,
       {},
       false,
       false,
       "",
       ""},
      {{"--locales", "--json"}, Action::Locales, "", {}, "en-US", 100, {}, false, true, "", ""},
      {{"--install", "fr-FR"},
       Action::Install,
       "",
       {},
       "en-US",
       100,
       {},
       false,
       false,
       "",
       "fr-FR"},
      {{"--release=en_US"}, Action::Release, "", {}, "en-US", 100, {}, false, false, "", "en_US"},
      // Help wins over anything else on the line, even a mistake.
      {{"--install", "x", "--help", "a", "b"},
       Action::Help,
       "",
       {},
       "en-US",
       100,
       {},
       false,
       false,
       "",
       "x"},
  };
  for (const Accepted& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    FeedOptions o = parseArguments(c.arguments);
    EXPECT_EQ(o.action, c.action);
    EXPECT_EQ(o.input, c.input);
    EXPECT_EQ(o.rawRate, c.rawRate);
    EXPECT_EQ(o.locale, c.locale);
    EXPECT_EQ(o.chunkMs, c.chunkMs);
    EXPECT_EQ(o.flushEverySeconds, c.flushEvery);
    EXPECT_EQ(o.realtime, c.realtime);
    EXPECT_EQ(o.json, c.json);
    EXPECT_EQ(o.earshotPath, c.earshot);
    EXPECT_EQ(o.assetLocale, c.assetLocale);
  }
}

TEST(FeedOptions, RejectedCommandLinesSayWhy) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "no input: give an audio file, or - and --rate"},
      {{"-"}, "standard input is raw 16-bit PCM: say its rate with --rate"},
      {{"a.wav", "b.wav"}, "one input at a time, not b.wav as well"},
      {{"--locale"}, "--locale needs a value"},
      {{"--chunk-ms", "0", "a.wav"}, "--chunk-ms wants a whole number from 1 to 10000, not \"0\""},
      {{"--chunk-ms", "10x", "a.wav"},
       "--chunk-ms wants a whole number from 1 to 10000, not \"10x\""},
      {{"--rate", "-5", "-"}, "--rate wants a whole number from 1 to 1000000, not \"-5\""},
      {{"--flush-every", "0", "a.wav"},
       "--flush-every wants a positive number of seconds, not \"0\""},
      {{"--flush-every", "nan", "a.wav"},
       "--flush-every wants a positive number of seconds, not \"nan\""},
      {{"--json=yes", "a.wav"}, "--json takes no value"},
      {{"--loud", "a.wav"}, "unknown option --loud"},
      {{"--locales", "--release", "en-US"},
       "choose one of --locales, --install and --release (--release came after another)"},
      {{"--locales", "a.wav"}, "an audio input makes no sense with this action"},
  };
  for (const auto& [arguments, text] : cases) {
    SCOPED_TRACE(testing::PrintToString(arguments));
    try {
      parseArguments(arguments);
      ADD_FAILURE() << "accepted";
    } catch (const UsageError& error) {
      EXPECT_EQ(std::string(error.what()), text);
    }
  }
}

}  // namespace
}  // namespace earshot::feed
