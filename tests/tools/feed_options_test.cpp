#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

#include "tools/feed/flags.h"
#include "tools/feed/options.h"
#include "tools/feed/progress_line.h"

namespace earshot::feed {
namespace {

// The options that differ from a bare command line's, in a fixed order:
// "inputs=a.wav,- rate=16000 format=srt".
std::string differences(const FeedOptions& o) {
  const FeedOptions plain;
  const char* actions[] = {"transcribe",   "locales", "install", "release",
                           "list-devices", "help",    "version"};
  const char* formats[] = {"text", "json", "srt", "vtt", "words"};
  std::ostringstream out;
  auto number = [](double value) {
    std::ostringstream text;
    text << value;
    return text.str();
  };
  auto add = [&](bool differs, const std::string& name, const std::string& value = "") {
    if (differs) out << (out.tellp() > 0 ? " " : "") << name << (value.empty() ? "" : "=") << value;
  };
  add(o.action != plain.action, "action", actions[int(o.action)]);
  std::string inputs;
  for (const std::string& input : o.inputs) inputs += (inputs.empty() ? "" : ",") + input;
  add(o.inputs != plain.inputs, "inputs", inputs);
  add(o.mic, "mic");
  add(o.device != plain.device, "device", o.device);
  add(o.rawRate.has_value(), "rate", o.rawRate ? number(*o.rawRate) : "");
  add(o.locale != plain.locale, "locale", o.locale);
  add(o.chunkMs != plain.chunkMs, "chunk-ms", number(o.chunkMs));
  add(o.flushEverySeconds.has_value(), "flush-every",
      o.flushEverySeconds ? number(*o.flushEverySeconds) : "");
  add(o.realtime, "realtime");
  add(o.format != plain.format, "format", formats[int(o.format)]);
  add(o.outputDir != plain.outputDir, "output-dir", o.outputDir);
  add(o.earshotPath != plain.earshotPath, "earshot", o.earshotPath);
  add(o.assetLocale != plain.assetLocale, "locale-asked", o.assetLocale);
  return out.str();
}

TEST(FeedOptions, AcceptedCommandLines) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"talk.wav"}, "inputs=talk.wav"},
      {{"--rate", "48000", "-", "--locale=de_DE", "--chunk-ms", "20", "--flush-every", "2.5",
        "--realtime", "--json", "--earshot", "/opt/e"},
       "inputs=- rate=48000 locale=de_DE chunk-ms=20 flush-every=2.5 realtime format=json "
       "earshot=/opt/e"},
      // A file named like an option after "--"; a locale value that starts with "--".
      {{"--locale", "--odd", "--", "--x.wav"}, "inputs=--x.wav locale=--odd"},
      // Several inputs in order, a fractional rate, standard input without --rate.
      {{"a.wav", "--rate=16000.5", "b.raw", "-", "--format", "srt", "--output-dir", "caps"},
       "inputs=a.wav,b.raw,- rate=16000.5 format=srt output-dir=caps"},
      {{"-"}, "inputs=-"},
      {{"--mic", "--device", "t.monitor", "--format=words"}, "mic device=t.monitor format=words"},
      {{"--locales", "--json"}, "action=locales format=json"},
      {{"--install", "fr-FR"}, "action=install locale-asked=fr-FR"},
      {{"--release=en_US"}, "action=release locale-asked=en_US"},
      {{"--list-devices"}, "action=list-devices"},
      // Help wins over anything else on the line, even a mistake; then --version.
      {{"--install", "x", "--help", "a", "b"}, "action=help"},
      {{"--loud", "--version"}, "action=version"},
  };
  for (const auto& [arguments, expected] : cases) {
    SCOPED_TRACE(testing::PrintToString(arguments));
    EXPECT_EQ(differences(parseArguments(arguments)), expected);
  }
}

TEST(FeedOptions, RepeatedAndListOptions) {
  FeedOptions o = parseArguments({"--vocabulary", "Ksenia Wojcik", "a.wav", "--vocabulary=earshot",
                                  "--vocabulary-file", "terms.txt", "--channels", "2", "--rate",
                                  "44100", "--locale", "de-DE", "--locale", "fr-FR", "--output",
                                  "out.txt", "--ready-timeout", "0.5", "b.wav"});
  EXPECT_EQ(o.vocabulary, (std::vector<std::string>{"Ksenia Wojcik", "earshot"}));
  EXPECT_EQ(o.inputs, (std::vector<std::string>{"a.wav", "b.wav"}));
  EXPECT_EQ(o.vocabularyFile, "terms.txt");
  EXPECT_EQ(o.channels, 2);
  EXPECT_EQ(o.locale, "fr-FR");  // the last one given wins
  EXPECT_EQ(o.output, "out.txt");
  EXPECT_EQ(o.readyTimeoutSeconds, 0.5);
  EXPECT_FALSE(o.mic);
  EXPECT_EQ(o.adaptation, "");  // not asked for: earshot's default
  EXPECT_EQ(o.profile, "");
  EXPECT_FALSE(o.spoken);  // text as people write it unless asked
  EXPECT_TRUE(parseArguments({"a.wav", "--spoken"}).spoken);
}

TEST(FeedOptions, AdaptationAndProfileAreCarried) {
  for (std::string mode : {"off", "session", "persistent"}) {
    FeedOptions o = parseArguments({"--adaptation", mode, "--profile=kid", "a.wav"});
    EXPECT_EQ(o.adaptation, mode);
    EXPECT_EQ(o.profile, "kid");
  }
}

TEST(FeedOptions, RejectedCommandLinesSayWhy) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "no input: give audio files, - for standard input, or --mic"},
      {{"-", "-"}, "standard input can be read only once"},
      {{"--locale"}, "--locale needs a value"},
      {{"--adaptation", "never", "a.wav"},
       "--adaptation wants one of off, session and persistent, not \"never\""},
      {{"a.wav", "--profile"}, "--profile needs a value"},
      {{"a.wav", "--vocabulary"}, "--vocabulary needs a value"},
      {{"--chunk-ms", "0", "a.wav"}, "--chunk-ms wants a whole number from 1 to 10000, not \"0\""},
      {{"--chunk-ms", "10x", "a.wav"},
       "--chunk-ms wants a whole number from 1 to 10000, not \"10x\""},
      {{"--rate", "-5", "-"}, "--rate wants a number of hertz from 4000 to 768000, not \"-5\""},
      {{"--rate", "16k", "-"}, "--rate wants a number of hertz from 4000 to 768000, not \"16k\""},
      // A rate no recording has would be resampled for hours.
      {{"--rate", "1", "-"}, "--rate wants a number of hertz from 4000 to 768000, not \"1\""},
      {{"--rate=1000000", "-"},
       "--rate wants a number of hertz from 4000 to 768000, not \"1000000\""},
      {{"--quiet=yes", "a.wav"}, "--quiet takes no value"},
      {{"--rate", "16000", "--channels", "0", "-"},
       "--channels wants a whole number from 1 to 32, not \"0\""},
      {{"--channels", "2", "a.wav"}, "--channels describes raw PCM: give its --rate as well"},
      {{"--flush-every", "0", "a.wav"},
       "--flush-every wants a positive number of seconds, not \"0\""},
      {{"--flush-every", "nan", "a.wav"},
       "--flush-every wants a positive number of seconds, not \"nan\""},
      {{"--ready-timeout", "-1", "a.wav"},
       "--ready-timeout wants a positive number of seconds, not \"-1\""},
      {{"--format", "docx", "a.wav"},
       "--format wants one of text, json, srt, vtt and words, not \"docx\""},
      {{"--format", "srt", "--json", "a.wav"}, "--json is --format json: give only one of them"},
      {{"--format", "vtt", "a.wav", "b.wav"},
       "captions of several inputs go to one file each: give --output-dir"},
      {{"--output", "x", "--output-dir", "d", "a.wav"}, "choose one of --output and --output-dir"},
      {{"--json=yes", "a.wav"}, "--json takes no value"},
      {{"--loud", "a.wav"}, "unknown option --loud"},
      {{"--mic", "a.wav"}, "--mic records the microphone: give no input files as well"},
      {{"--device", "x", "a.wav"}, "--device goes with --mic"},
      {{"--mic", "--rate", "16000"}, "--rate describes files, not --mic"},
      {{"--mic", "--output-dir", "d"},
       "--output-dir writes one file per input file: use --output with --mic"},
      {{"--locales", "--release", "en-US"},
       "choose one of --locales, --install, --release and --list-devices (--release came after "
       "another)"},
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

// --help and the man page come from the one table: every flag is in both,
// under its group, and the parser knows each of them.
TEST(FeedFlags, HelpAndManPageListEveryFlag) {
  std::string help = helpText("earshot-feed");
  std::string page = manPage("earshot-feed", "9.9");
  EXPECT_EQ(page.rfind(".TH EARSHOT\\-FEED 1 \"\" \"earshot 9.9\"", 0), 0u) << page;
  for (const char* section :
       {".SH NAME", ".SH SYNOPSIS", ".SH DESCRIPTION", ".SH OPTIONS", ".SS Input", ".SS Output",
        ".SS Recognition", ".SS Speech models and devices", ".SH EXIT STATUS", ".SH SEE ALSO"}) {
    EXPECT_NE(page.find(std::string("\n") + section + "\n"), std::string::npos) << section;
  }
  for (const Flag& flag : flagTable()) {
    SCOPED_TRACE(std::string(flag.name));
    std::string label = (flag.shortName.empty() ? "" : std::string(flag.shortName) + ", ") +
                        std::string(flag.name) +
                        (flag.valueName.empty() ? "" : " " + std::string(flag.valueName));
    EXPECT_NE(help.find("\n  " + label + " "), std::string::npos);
    std::string roffName;
    for (char c : flag.name) roffName += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_NE(page.find(".TP\n" + std::string(flag.shortName.empty() ? "" : "\\fB\\-h\\fR, ") +
                        "\\fB" + roffName + "\\fR"),
              std::string::npos);
    EXPECT_EQ(findFlag(flag.name), &flag);
  }
  // Lines of --help fit 78 columns.
  std::istringstream lines(help);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("       earshot-feed", 0) != 0) {
      EXPECT_LE(line.size(), 78u) << line;
    }
  }
}

TEST(ProgressLine, SaysPercentTimeGoneAndTimeLeftOnceItCanTell) {
  const std::tuple<double, double, std::string> cases[] = {
      {0, 0, "a.wav  0%  0:00 elapsed"},
      {0.04, 10, "a.wav  4%  0:10 elapsed"},   // too little heard to tell
      {0.5, 1.5, "a.wav  50%  0:02 elapsed"},  // too soon to tell
      {0.25, 30, "a.wav  25%  0:30 elapsed, about 1:30 left"},
      {0.999, 3599.6, "a.wav  99%  1:00:00 elapsed, about 0:04 left"},
      {1, 80, "a.wav  100%  1:20 elapsed"},
      {1.2, 80, "a.wav  100%  1:20 elapsed"},
  };
  for (const auto& [fraction, elapsed, text] : cases) {
    EXPECT_EQ(progressText("a.wav", fraction, elapsed), text);
  }
  // Within the terminal's width, the name cut from its start.
  EXPECT_EQ(progressText("/home/ana/recordings/interview.wav", 0.5, 1, 40),
            "\u2026dings/interview.wav  50%  0:01 elapsed");
  EXPECT_EQ(progressText("/home/ana/recordings/interview.wav", 0.5, 1, 80),
            "/home/ana/recordings/interview.wav  50%  0:01 elapsed");
  EXPECT_EQ(progressText("\u00e9t\u00e9.wav", 0.5, 1, 26), "\u2026\u00e9.wav  50%  0:01 elapsed");
  EXPECT_EQ(progressText("a.wav", 0.5, 1, 18), "50%  0:01 elapsed");
}

}  // namespace
}  // namespace earshot::feed
