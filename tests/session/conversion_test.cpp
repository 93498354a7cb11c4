#include <gtest/gtest.h>

#include <regex>

#include "tests/session/live_harness.h"

namespace earshot {
namespace {

using platform::AudioFormat;
using platform::CommonFormat;
using platform::ConverterOutputStatus;
using platform::scripted::ConverterCall;
using platform::scripted::ConverterScript;
using testkit::LiveHarness;

constexpr auto kHaveData = ConverterOutputStatus::haveData;
constexpr auto kRanDry = ConverterOutputStatus::inputRanDry;
constexpr auto kEnd = ConverterOutputStatus::endOfStream;
constexpr auto kError = ConverterOutputStatus::error;

std::vector<LiveHarness::Line> afterInit(const std::vector<std::string>& lines) {
  std::vector<LiveHarness::Line> input{{testkit::initLine(), {}}};
  for (const auto& line : lines) input.push_back({line, {}});
  return input;
}

// What the mode thread did with converters, and what the analyzer got. The
// analyzer works on a thread of its own, so each view is in order but the
// two are not interleaved; "finalize" marks the session ends in both.
std::vector<std::string> converterCalls(const platform::scripted::CallLog& log) {
  return testkit::callsMatching(log,
                                {"makeConverter", "convert#", "drain#", "inputBlock", "finalize"});
}
std::vector<std::string> analyzerCalls(const platform::scripted::CallLog& log) {
  return testkit::callsMatching(log, {"analyze", "finalize"});
}

const std::string kFlush = R"({"type":"flush"})";

struct SubStateCase {
  const char* name;
  std::vector<std::string> lines;  // after "init"
  std::vector<ConverterScript> scripts;
  std::vector<std::string> converter;
  std::vector<std::string> analyzer;
  std::string last = testkit::stoppedLine();
};

TEST(Conversion, OneConverterPerRunOfAForeignFormatDrainedBeforeItIsDropped) {
  auto at = [](std::vector<int16_t> samples, double rate) {
    return testkit::audioLine(samples, rate);
  };
  ConverterScript holdsOne;
  holdsOne.holdBack = 1;
  ConverterScript refuses;
  refuses.refuse = true;
  const std::string drained1 = "drain#1(cap 4096, out 0, status 2)";
  for (const SubStateCase& c : std::vector<SubStateCase>{
           {"analyzer format, no converter",
            {at({1, 2}, 16000)},
            {},
            {"finalize"},
            {"analyze(2:1,2)", "finalize"}},
           {"foreign format, no converter",
            {at({1, 2}, 8000)},
            {},
            {"makeConverter(8000->16000)", "convert#1(in 2, cap 516, out 4, status 0)", drained1,
             "finalize"},
            {"analyze(4:1,1,2,2)", "finalize"}},
           {"same foreign format again keeps the converter",
            {at({1}, 8000), at({2}, 8000)},
            {},
            {"makeConverter(8000->16000)", "convert#1(in 1, cap 514, out 2, status 0)",
             "convert#1(in 1, cap 514, out 2, status 0)", drained1, "finalize"},
            {"analyze(2:1,1)", "analyze(2:2,2)", "finalize"}},
           {"analyzer format after a converter: held frames first, then the buffer as is",
            {at({1, 2}, 8000), at({7, 8}, 16000), at({9}, 8000)},
            {holdsOne, holdsOne},
            {"makeConverter(8000->16000)", "convert#1(in 2, cap 516, out 3, status 0)",
             "drain#1(cap 4096, out 1, status 0)", drained1, "makeConverter(8000->16000)",
             "convert#2(in 1, cap 514, out 1, status 0)", "drain#2(cap 4096, out 1, status 0)",
             "drain#2(cap 4096, out 0, status 2)", "finalize"},
            {"analyze(3:1,1,2)", "analyze(1:2)", "analyze(2:7,8)", "analyze(1:9)", "analyze(1:9)",
             "finalize"}},
           {"A, B, A makes three converters, each drained before the next",
            {at({1}, 8000), at({2, 3, 4, 5}, 32000), at({6}, 8000)},
            {},
            {"makeConverter(8000->16000)", "convert#1(in 1, cap 514, out 2, status 0)", drained1,
             "makeConverter(32000->16000)", "convert#2(in 4, cap 514, out 2, status 0)",
             "drain#2(cap 4096, out 0, status 2)", "makeConverter(8000->16000)",
             "convert#3(in 1, cap 514, out 2, status 0)", "drain#3(cap 4096, out 0, status 2)",
             "finalize"},
            {"analyze(2:1,1)", "analyze(2:2,4)", "analyze(2:6,6)", "finalize"}},
           {"flush drains and forgets the converter",
            {at({1}, 8000), kFlush, at({2}, 8000)},
            {holdsOne},
            {"makeConverter(8000->16000)", "convert#1(in 1, cap 514, out 1, status 0)",
             "drain#1(cap 4096, out 1, status 0)", drained1, "finalize",
             "makeConverter(8000->16000)", "convert#2(in 1, cap 514, out 2, status 0)",
             "drain#2(cap 4096, out 0, status 2)", "finalize"},
            {"analyze(1:1)", "analyze(1:1)", "finalize", "analyze(2:2,2)", "finalize"}},
           {"empty audio leaves the converter alone",
            {at({1}, 8000), testkit::audioLineWithPcm("\"\"", "16000"), at({2}, 8000)},
            {},
            {"makeConverter(8000->16000)", "convert#1(in 1, cap 514, out 2, status 0)",
             "convert#1(in 1, cap 514, out 2, status 0)", drained1, "finalize"},
            {"analyze(2:1,1)", "analyze(2:2,2)", "finalize"}},
           {"no converter for the format",
            {at({1}, 8000)},
            {refuses},
            {"makeConverter(8000->16000)"},
            {},
            testkit::errorLine("Unsupported input audio format")},
           {"no converter for the next format: the old one is drained first",
            {at({1}, 8000), at({2}, 32000)},
            {holdsOne, refuses},
            {"makeConverter(8000->16000)", "convert#1(in 1, cap 514, out 1, status 0)",
             "drain#1(cap 4096, out 1, status 0)", drained1, "makeConverter(32000->16000)"},
            {"analyze(1:1)", "analyze(1:1)"},
            testkit::errorLine("Unsupported input audio format")},
       }) {
    SCOPED_TRACE(c.name);
    auto scripted = LiveHarness::defaultPlatform();
    scripted.converters->scripts = c.scripts;
    LiveHarness::Outcome outcome = LiveHarness::run(scripted, afterInit(c.lines));
    EXPECT_EQ(outcome.lines, (std::vector<std::string>{testkit::readyLine(), c.last}));
    EXPECT_EQ(converterCalls(*scripted.log), c.converter);
    if (c.last == testkit::stoppedLine()) {
      EXPECT_EQ(analyzerCalls(*scripted.log), c.analyzer);
    } else {
      // The analyzer was dropped without finishing its queue: what it took
      // in before is a prefix of what was appended.
      auto analyzed = analyzerCalls(*scripted.log);
      ASSERT_LE(analyzed.size(), c.analyzer.size());
      EXPECT_TRUE(std::equal(analyzed.begin(), analyzed.end(), c.analyzer.begin()));
    }
  }
}

TEST(Conversion, OnlyTheAnalyzerFormatItselfPassesUnconverted) {
  // Same rate, other sample type: not the analyzer's format.
  auto scripted = LiveHarness::defaultPlatform();
  scripted.speech->format = AudioFormat{CommonFormat::float32, 16000, 1, false};
  LiveHarness::Outcome outcome =
      LiveHarness::run(scripted, afterInit({testkit::audioLine({1, 2}, 16000)}));
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(converterCalls(*scripted.log),
            (std::vector<std::string>{"makeConverter(16000->16000)",
                                      "convert#1(in 2, cap 514, out 2, status 0)",
                                      "drain#1(cap 4096, out 0, status 2)", "finalize"}));
  EXPECT_EQ(analyzerCalls(*scripted.log), (std::vector<std::string>{"analyze(2:1,2)", "finalize"}));
}

struct CapacityCase {
  double analyzerRate;
  double inputRate;
  size_t frames;
  uint32_t capacity;
};

TEST(Conversion, OutputRoomIsTheConvertedLengthRoundedUpPlusHeadroom) {
  for (const CapacityCase& c : std::vector<CapacityCase>{
           {16000, 48000, 300, 612},
           {16000, 48000, 301, 613},
           {16000, 44100, 441, 672},
           {16000, 44100, 1, 513},
           // Dividing before multiplying would round these up one too far.
           {48000, 8000, 17, 614},
           {16000, 8000, 2007, 4526},
           {16000, 22050, 22050, 16512},
       }) {
    SCOPED_TRACE(std::to_string(c.analyzerRate) + " " + std::to_string(c.inputRate) + " " +
                 std::to_string(c.frames));
    auto scripted = LiveHarness::defaultPlatform();
    scripted.speech->format = AudioFormat{CommonFormat::int16, c.analyzerRate, 1, false};
    LiveHarness::Outcome outcome = LiveHarness::run(
        scripted, afterInit({testkit::audioLine(std::vector<int16_t>(c.frames, 3), c.inputRate)}));
    EXPECT_EQ(outcome.status, 0);
    auto converts = scripted.log->callsStartingWith("convert#1");
    ASSERT_EQ(converts.size(), 1u);
    std::smatch match;
    ASSERT_TRUE(std::regex_search(converts[0], match, std::regex(R"(cap (\d+))")));
    EXPECT_EQ(std::stoul(match[1]), c.capacity);
  }
}

struct OutcomeCase {
  const char* name;
  ConverterCall call;
  std::vector<std::string> analyzed;  // before "finalize"
  std::string last;
};

TEST(Conversion, AConversionSucceedsUnlessItReportsError) {
  const std::string stopped = testkit::stoppedLine();
  for (const OutcomeCase& c : std::vector<OutcomeCase>{
           {"have data", {3, kHaveData}, {"analyze(3:0,0,0)"}, stopped},
           {"input ran dry", {3, kRanDry}, {"analyze(3:0,0,0)"}, stopped},
           {"end of stream", {3, kEnd}, {"analyze(3:0,0,0)"}, stopped},
           {"nothing out yet", {0, kHaveData}, {}, stopped},
           {"nothing out, ran dry", {0, kRanDry}, {}, stopped},
           {"error with its own text",
            {3, kError, "Converter jammed"},
            {},
            testkit::errorLine("Converter jammed")},
           {"error without one", {3, kError}, {}, testkit::errorLine("Audio conversion failed")},
       }) {
    SCOPED_TRACE(c.name);
    auto scripted = LiveHarness::defaultPlatform();
    ConverterScript script;
    script.conversions[1] = c.call;
    script.drain = {{0, kEnd}};
    scripted.converters->scripts = {script};
    LiveHarness::Outcome outcome =
        LiveHarness::run(scripted, afterInit({testkit::audioLine({5, 6, 7}, 8000)}));
    EXPECT_EQ(outcome.lines, (std::vector<std::string>{testkit::readyLine(), c.last}));
    // The one-shot input gave its buffer once and then nothing.
    EXPECT_TRUE(scripted.log->callsStartingWith("inputBlock").empty());
    std::vector<std::string> analyzed = c.analyzed;
    if (c.last == stopped) analyzed.push_back("finalize");
    EXPECT_EQ(analyzerCalls(*scripted.log), analyzed);
  }
}

struct DrainCase {
  const char* name;
  std::vector<ConverterCall> rounds;
  size_t calls;                  // drain rounds made
  std::vector<uint32_t> frames;  // what reached the analyzer from the drain
  std::string error;             // empty: the drain succeeded
};

// The analyzer's record of a buffer of `frames` zero samples.
std::string silence(uint32_t frames) {
  std::string entry = "analyze(" + std::to_string(frames);
  for (uint32_t i = 0; frames <= 8 && i < frames; ++i) entry += i == 0 ? ":0" : ",0";
  return entry + ")";
}

std::vector<ConverterCall> repeated(std::vector<ConverterCall> pattern, size_t times) {
  std::vector<ConverterCall> rounds;
  for (size_t i = 0; i < times; ++i) rounds.insert(rounds.end(), pattern.begin(), pattern.end());
  return rounds;
}

TEST(Conversion, ADrainEndsAtEndOfStreamWithinItsLimits) {
  const std::string exceeded = "Audio converter exceeded its flush limit";
  const std::string stuck = "Audio converter did not finish flushing";
  auto withEnd = [](auto rounds, typename decltype(rounds)::value_type last) {
    rounds.push_back(last);
    return rounds;
  };
  for (const DrainCase& c : std::vector<DrainCase>{
           {"ends at once", {{0, kEnd}}, 1, {}, ""},
           {"ends with output", {{10, kEnd}}, 1, {10}, ""},
           {"output, then the end", {{10, kHaveData}, {9, kRanDry}, {0, kEnd}}, 3, {10, 9}, ""},
           {"one empty round is allowed", {{0, kRanDry}, {0, kEnd}}, 2, {}, ""},
           {"two empty rounds in a row", {{0, kHaveData}}, 2, {}, stuck},
           {"two empty rounds, ran dry", {{0, kRanDry}}, 2, {}, stuck},
           {"output in between resets the count",
            {{0, kRanDry}, {5, kHaveData}, {0, kRanDry}, {0, kRanDry}},
            4,
            {5},
            stuck},
           {"empty, output, empty, end",
            {{0, kRanDry}, {5, kHaveData}, {0, kRanDry}, {7, kEnd}},
            4,
            {5, 7},
            ""},
           {"output forever", {{10, kHaveData}}, 64, std::vector<uint32_t>(64, 10), exceeded},
           {"empty and output taking turns forever", repeated({{0, kRanDry}, {4, kHaveData}}, 32),
            64, std::vector<uint32_t>(32, 4), exceeded},
           {"end in the last allowed round",
            withEnd(repeated({{10, kHaveData}}, 63), ConverterCall{3, kEnd}), 64,
            withEnd(std::vector<uint32_t>(63, 10), 3u), ""},
           {"second empty round at the limit",
            withEnd(repeated({{10, kHaveData}}, 62), ConverterCall{0, kRanDry}), 64,
            std::vector<uint32_t>(62, 10), stuck},
           {"error with its own text after output",
            {{3, kHaveData}, {4, kError, "Drain jammed"}},
            2,
            {3},
            "Drain jammed"},
           {"error without one", {{6, kError}}, 1, {}, "Audio conversion flush failed"},
       }) {
    SCOPED_TRACE(c.name);
    auto scripted = LiveHarness::defaultPlatform();
    ConverterScript script;
    script.drain = c.rounds;
    scripted.converters->scripts = {script};
    // The drain comes with "stop", after one ordinary conversion.
    LiveHarness::Outcome outcome = LiveHarness::run(
        scripted, afterInit({testkit::audioLine({1}, 8000), R"({"type":"stop"})"}));
    std::string last = c.error.empty() ? testkit::stoppedLine() : testkit::errorLine(c.error);
    EXPECT_EQ(outcome.lines, (std::vector<std::string>{testkit::readyLine(), last}));
    EXPECT_EQ(scripted.log->callsStartingWith("drain#1").size(), c.calls);
    EXPECT_TRUE(scripted.log->callsStartingWith("inputBlock").empty());
    // Drained frames follow the converted ones into the analyzer; after a
    // failure the analyzer is dropped, so it may have taken fewer.
    std::vector<std::string> expected{"analyze(2:1,1)"};
    for (uint32_t frames : c.frames) expected.push_back(silence(frames));
    auto analyzed = analyzerCalls(*scripted.log);
    if (c.error.empty()) {
      expected.push_back("finalize");
      EXPECT_EQ(analyzed, expected);
    } else {
      ASSERT_LE(analyzed.size(), expected.size());
      EXPECT_TRUE(std::equal(analyzed.begin(), analyzed.end(), expected.begin()));
    }
  }
}

}  // namespace
}  // namespace earshot
