#include <gtest/gtest.h>

#include "channel/line_reader.h"
#include "tests/session/live_harness.h"

namespace earshot {
namespace {

using platform::TranscriptionResult;
using platform::scripted::SessionScript;
using testkit::LiveHarness;

const std::string kInvalidPcm = "Expected mono Int16 PCM with a valid sample rate";
const std::string kInvalidAudio = "Invalid audio message";

std::vector<LiveHarness::Line> afterInit(const std::vector<std::string>& lines) {
  std::vector<LiveHarness::Line> input{{testkit::initLine(), {}}};
  for (const auto& line : lines) input.push_back({line, {}});
  return input;
}

// `text` padded with trailing spaces (valid JSON whitespace) to `bytes`.
std::string paddedTo(std::string text, size_t bytes) {
  text.resize(bytes, ' ');
  return text;
}

struct LineCase {
  const char* name;
  std::vector<std::string> lines;  // after "init"
  std::string last;                // the last output line, after "ready"
  size_t linesRead;                // including "init"
};

TEST(AudioLoop, EachLineIsHandledBeforeTheNextIsRead) {
  const std::string stopped = testkit::stoppedLine();
  const std::string stop = R"({"type":"stop"})";
  for (const LineCase& c : std::vector<LineCase>{
           {"end of input at once", {}, stopped, 1},
           {"stop", {stop}, stopped, 2},
           {"lines after stop are never read", {stop, "[]", "garbage", stop}, stopped, 2},
           {"stop with other members", {R"({"reason":1,"type":"stop"})"}, stopped, 2},
           {"blank line", {"", stop}, testkit::errorLine(testkit::jsonErrorOf("")), 2},
           {"broken JSON",
            {"{\"type\"", stop},
            testkit::errorLine(testkit::jsonErrorOf("{\"type\"")),
            2},
           {"empty array", {"[]", stop}, testkit::errorLine(kInvalidAudio), 2},
           {"array", {"[1]"}, testkit::errorLine(kInvalidAudio), 2},
           {"no type", {"{}"}, testkit::errorLine(kInvalidPcm), 2},
           {"type null", {R"({"type":null})"}, testkit::errorLine(kInvalidPcm), 2},
           {"type of another kind", {R"({"type":["stop"]})"}, testkit::errorLine(kInvalidPcm), 2},
           {"second init", {testkit::initLine()}, testkit::errorLine(kInvalidPcm), 2},
           {"stop in other case", {R"({"type":"Stop"})"}, testkit::errorLine(kInvalidPcm), 2},
           {"unknown type", {R"({"type":"pause"})"}, testkit::errorLine(kInvalidPcm), 2},
           {"line just under the limit",
            {paddedTo(stop, channel::LineReader::kMaxLineBytes - 1)},
            stopped,
            2},
           {"line at the limit",
            {paddedTo(stop, channel::LineReader::kMaxLineBytes)},
            testkit::errorLine(kInvalidAudio),
            2},
           {"line at the limit that is not JSON",
            {std::string(channel::LineReader::kMaxLineBytes, '{')},
            testkit::errorLine(kInvalidAudio),
            2},
           {"flush then stop", {R"({"type":"flush"})", stop}, stopped, 3},
       }) {
    SCOPED_TRACE(c.name);
    auto scripted = LiveHarness::defaultPlatform();
    LiveHarness::Outcome outcome = LiveHarness::run(scripted, afterInit(c.lines));
    EXPECT_EQ(outcome.lines, (std::vector<std::string>{testkit::readyLine(), c.last}));
    EXPECT_EQ(outcome.status, c.last == stopped ? 0 : 1);
    EXPECT_EQ(outcome.linesRead, c.linesRead);
    // The session is finalized only on the way to "stopped".
    size_t sessions = scripted.log->callsStartingWith("start").size();
    EXPECT_EQ(scripted.log->callsStartingWith("finalize").size(),
              c.last == stopped ? sessions : 0u);
  }
}

struct AudioCase {
  const char* name;
  std::string line;
  // What the analyzer got; empty with an error.
  std::vector<std::string> analyzed;
  bool accepted;
};

TEST(AudioLoop, AudioMessagesAreCheckedInFull) {
  auto audio = [](const std::string& pcm, const std::string& rate) {
    return testkit::audioLineWithPcm(pcm, rate);
  };
  const std::string twoSamples = "\"" + testkit::base64({1, 2}) + "\"";
  for (const AudioCase& c : std::vector<AudioCase>{
           {"at the analyzer rate", audio(twoSamples, "16000"), {"analyze(2:1,2)"}, true},
           {"rate as a fraction", audio(twoSamples, "16000.0"), {"analyze(2:1,2)"}, true},
           {"rate in exponent form", audio(twoSamples, "1.6e4"), {"analyze(2:1,2)"}, true},
           {"other members ignored",
            R"({"type":"audio","channels":2,"pcm":"AQACAA==","sampleRate":16000,"pcm2":1})",
            {"analyze(2:1,2)"},
            true},
           {"lowest rate", audio(twoSamples, "8000"), {"analyze(4:1,1,2,2)"}, true},
           {"highest rate", audio(twoSamples, "192000"), {"analyze(1:1)"}, true},
           {"bytes 01 80", audio("\"AYA=\"", "16000"), {"analyze(1:-32767)"}, true},
           {"escaped slashes", audio(R"("\/\/8=")", "16000"), {"analyze(1:-1)"}, true},
           {"empty pcm", audio("\"\"", "16000"), {}, true},
           {"empty pcm at a foreign rate", audio("\"\"", "44100"), {}, true},
           {"empty pcm, rate too low", audio("\"\"", "4000"), {}, false},
           {"empty pcm, no rate", R"({"type":"audio","pcm":""})", {}, false},
           {"no pcm", R"({"type":"audio","sampleRate":16000})", {}, false},
           {"pcm null", audio("null", "16000"), {}, false},
           {"pcm a number", audio("12", "16000"), {}, false},
           {"pcm an array", audio("[\"AQACAA==\"]", "16000"), {}, false},
           {"odd byte count", audio("\"AQ==\"", "16000"), {}, false},
           {"three bytes", audio("\"AQID\"", "16000"), {}, false},
           {"pad inside", audio("\"AQ==AQAC\"", "16000"), {}, false},
           {"three pads", audio("\"AQAC====\"", "16000"), {}, false},
           {"missing padding", audio("\"AQACAA\"", "16000"), {}, false},
           {"escaped line break", audio(R"("AQAC\nAA=")", "16000"), {}, false},
           {"escaped line break at the end", audio(R"("AQACAA==\n")", "16000"), {}, false},
           {"space", audio("\"AQAC AA=\"", "16000"), {}, false},
           {"URL-safe alphabet", audio("\"-_-_\"", "16000"), {}, false},
           {"no rate", R"({"type":"audio","pcm":"AQACAA=="})", {}, false},
           {"rate null", audio(twoSamples, "null"), {}, false},
           {"rate as a string", audio(twoSamples, "\"16000\""), {}, false},
           {"rate just below", audio(twoSamples, "7999.999999"), {}, false},
           {"rate just above", audio(twoSamples, "192000.00001"), {}, false},
           {"rate zero", audio(twoSamples, "0"), {}, false},
           {"rate negative", audio(twoSamples, "-16000"), {}, false},
           {"rate huge", audio(twoSamples, "1e300"), {}, false},
       }) {
    SCOPED_TRACE(c.name);
    auto scripted = LiveHarness::defaultPlatform();
    LiveHarness::Outcome outcome = LiveHarness::run(scripted, afterInit({c.line}));
    EXPECT_EQ(outcome.lines,
              (std::vector<std::string>{
                  testkit::readyLine(),
                  c.accepted ? testkit::stoppedLine() : testkit::errorLine(kInvalidPcm)}));
    EXPECT_EQ(scripted.log->callsStartingWith("analyze"), c.analyzed);
    if (!c.accepted) {
      EXPECT_TRUE(scripted.log->callsStartingWith("makeConverter").empty());
    }
  }
}

TEST(AudioLoop, SamplesReachTheAnalyzerAsTheHostSentThem) {
  auto scripted = LiveHarness::defaultPlatform();
  LiveHarness::Outcome outcome = LiveHarness::run(
      scripted, afterInit({testkit::audioLine({-32768, 32767, 0, 1, -1, 256, -257, 12345}, 16000),
                           testkit::audioLine({7}, 16000)}));
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(
      scripted.log->callsStartingWith("analyze"),
      (std::vector<std::string>{"analyze(8:-32768,32767,0,1,-1,256,-257,12345)", "analyze(1:7)"}));
}

SessionScript failingAtFinalize(std::vector<TranscriptionResult> results, std::string failure) {
  SessionScript script;
  script.results = std::move(results);
  script.resultFailure = std::move(failure);
  return script;
}

TEST(AudioLoop, AParkedFailureEndsTheModeAtTheNextLineWhateverItSays) {
  const std::string audio = testkit::audioLine({1, 2}, 16000);
  for (const std::string& next :
       {std::string(R"({"type":"stop"})"), std::string(R"({"type":"flush"})"), audio,
        std::string("[]"), std::string(""), std::string(channel::LineReader::kMaxLineBytes, 'x')}) {
    SCOPED_TRACE(next.substr(0, 40));
    auto scripted = LiveHarness::defaultPlatform();
    scripted.speech->sessions.scripts = {
        failingAtFinalize({{"one", false}, {"one two", true}}, "Recognizer crashed")};
    // The flush waits for the results thread, so the failure is parked by
    // the time the next line arrives.
    LiveHarness::Outcome outcome =
        LiveHarness::run(scripted, afterInit({audio, R"({"type":"flush"})", next, audio}));
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.lines,
              (std::vector<std::string>{testkit::readyLine(), testkit::transcriptLine("one", false),
                                        testkit::transcriptLine("one two", true),
                                        testkit::errorLine("Recognizer crashed")}));
    EXPECT_EQ(outcome.linesRead, 4u);
    // Nothing of the line was acted on: the second session got no audio and
    // was not finalized.
    EXPECT_EQ(testkit::callsMatching(*scripted.log, {"start", "analyze", "finalize"}),
              (std::vector<std::string>{"start", "analyze(2:1,2)", "finalize", "start"}));
  }
}

struct EndFailureCase {
  const char* name;
  SessionScript script;
  std::vector<std::string> lines;  // after "init"
  std::vector<TranscriptionResult> transcripts;
};

TEST(AudioLoop, AFailureAtTheEndComesAfterTheSessionIsFinalizedAndItsResultsWritten) {
  SessionScript midStream;
  midStream.resultsWhileAnalyzing = {{"partial", false}};
  midStream.results = {{"never written", true}};
  midStream.resultFailure = "Stream broke";
  midStream.failAfterResults = 1;
  SessionScript atStart;
  atStart.resultFailure = "Stream broke";
  atStart.failAfterResults = 0;
  const std::string audio = testkit::audioLine({1, 2}, 16000);
  const std::string stop = R"({"type":"stop"})";
  for (const EndFailureCase& c : std::vector<EndFailureCase>{
           {"at finalize, end of input",
            failingAtFinalize({{"a", false}, {"a b", true}}, "Stream broke"),
            {audio},
            {{"a", false}, {"a b", true}}},
           {"at finalize, stop",
            failingAtFinalize({{"", true}}, "Stream broke"),
            {audio, stop},
            {{"", true}}},
           {"while analyzing, end of input", midStream, {audio}, {{"partial", false}}},
           {"at start, end of input", atStart, {}, {}},
       }) {
    SCOPED_TRACE(c.name);
    auto scripted = LiveHarness::defaultPlatform();
    scripted.speech->sessions.scripts = {c.script};
    LiveHarness::Outcome outcome = LiveHarness::run(scripted, afterInit(c.lines));
    std::vector<std::string> expected{testkit::readyLine()};
    for (const auto& result : c.transcripts) {
      expected.push_back(testkit::transcriptLine(result.text, result.isFinal));
    }
    expected.push_back(testkit::errorLine("Stream broke"));
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.lines, expected);
    EXPECT_EQ(scripted.log->callsStartingWith("finalize").size(), 1u);
  }
}

TEST(AudioLoop, TheFirstResultFailureOfTheModeIsTheOneReported) {
  auto scripted = LiveHarness::defaultPlatform();
  scripted.speech->sessions.scripts = {failingAtFinalize({}, "first failure"),
                                       failingAtFinalize({{"late", true}}, "second failure")};
  // No line follows the flush, so the second session runs to its end and
  // fails too before the box is read.
  LiveHarness::Outcome outcome = LiveHarness::run(scripted, afterInit({R"({"type":"flush"})"}));
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.lines,
            (std::vector<std::string>{testkit::readyLine(), testkit::transcriptLine("late", true),
                                      testkit::errorLine("first failure")}));
  EXPECT_EQ(scripted.log->callsStartingWith("finalize").size(), 2u);
}

TEST(AudioLoop, FlushEndsTheSessionSilentlyAndOpensANewOne) {
  auto scripted = LiveHarness::defaultPlatform();
  LiveHarness::Outcome outcome = LiveHarness::run(
      scripted, afterInit({R"({"type":"flush"})", R"({"type":"flush","now":true})"}));
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.lines,
            (std::vector<std::string>{testkit::readyLine(), testkit::stoppedLine()}));
  const std::vector<std::string> session{"makeTranscriber(en-US)", "makeAnalyzer(1)",
                                         "prepareToAnalyze(16000)", "start"};
  // The handshake's own transcriber comes first; it serves no session.
  std::vector<std::string> expected{"makeTranscriber(en-US)"};
  for (int i = 0; i < 3; ++i) {
    expected.insert(expected.end(), session.begin(), session.end());
    expected.push_back("finalize");
  }
  EXPECT_EQ(testkit::callsMatching(*scripted.log, {"make", "prepare", "start", "finalize"}),
            expected);
}

TEST(AudioLoop, TranscriptsOfAudioBeforeAFlushAreWrittenBeforeLaterAudioIsConverted) {
  auto scripted = LiveHarness::defaultPlatform();
  SessionScript first;
  first.resultsWhileAnalyzing = {{"hel", false}, {"hello", false}};
  first.results = {{"hello there", true}};
  SessionScript second;
  second.results = {{"world", true}};
  scripted.speech->sessions.scripts = {first, second};
  std::vector<std::string> written;  // output lines seen at each converter call
  LiveHarness::Outcome outcome = LiveHarness::run(
      scripted, afterInit({testkit::audioLine({1, 2}, 16000), testkit::audioLine({3}, 16000),
                           R"({"type":"flush"})", testkit::audioLine({4}, 8000)}));
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.lines, (std::vector<std::string>{
                               testkit::readyLine(), testkit::transcriptLine("hel", false),
                               testkit::transcriptLine("hello", false),
                               testkit::transcriptLine("hello there", true),
                               testkit::transcriptLine("world", true), testkit::stoppedLine()}));
  // "written(n)" is the number of lines out when the converter was called.
  EXPECT_EQ(testkit::callsMatching(*scripted.log, {"written", "convert#", "finalize", "start"}),
            (std::vector<std::string>{"start", "finalize", "start", "written(4)",
                                      "convert#1(in 1, cap 514, out 2, status 0)", "written(4)",
                                      "finalize"}));
}

TEST(AudioLoop, FlushedComesAfterEveryTranscriptOfTheOldSessionAndBeforeTheNewOnes) {
  auto scripted = LiveHarness::defaultPlatform();
  SessionScript first;
  first.resultsWhileAnalyzing = {{"hel", false}};
  first.results = {{"hello", false}, {"hello there", true}};
  SessionScript second;
  second.resultsWhileAnalyzing = {{"wor", false}};
  second.results = {{"world", true}};
  SessionScript third;  // opened by the second flush, ended by the stop
  third.results = {{"", true}};
  scripted.speech->sessions.scripts = {first, second, third};
  const std::string init = R"({"type":"init","locale":"en-US","acknowledgeFlush":true})";
  LiveHarness::Outcome outcome =
      LiveHarness::run(scripted, {{init, {}},
                                  {testkit::audioLine({1, 2}, 16000), {}},
                                  {testkit::flushLine(), {}},
                                  {testkit::audioLine({3}, 16000), {}},
                                  {testkit::flushLine(), {}},
                                  {testkit::stopLine(), {}}});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.lines, (std::vector<std::string>{
                               testkit::readyLine(), testkit::transcriptLine("hel", false),
                               testkit::transcriptLine("hello", false),
                               testkit::transcriptLine("hello there", true), testkit::flushedLine(),
                               testkit::transcriptLine("wor", false),
                               testkit::transcriptLine("world", true), testkit::flushedLine(),
                               testkit::transcriptLine("", true), testkit::stoppedLine()}));
}

TEST(AudioLoop, AParkedFailureReplacesFlushed) {
  auto scripted = LiveHarness::defaultPlatform();
  scripted.speech->sessions.scripts = {failingAtFinalize({{"one", true}}, "Recognizer crashed")};
  const std::string init = R"({"type":"init","locale":"en-US","acknowledgeFlush":true})";
  LiveHarness::Outcome outcome =
      LiveHarness::run(scripted, {{init, {}},
                                  {testkit::audioLine({1, 2}, 16000), {}},
                                  {testkit::flushLine(), {}},
                                  {testkit::audioLine({3}, 16000), {}}});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.lines,
            (std::vector<std::string>{testkit::readyLine(), testkit::transcriptLine("one", true),
                                      testkit::errorLine("Recognizer crashed")}));
  // Nothing after the flush was read, and no second session was started.
  EXPECT_EQ(outcome.linesRead, 3u);
  EXPECT_EQ(testkit::callsMatching(*scripted.log, {"start", "finalize"}),
            (std::vector<std::string>{"start", "finalize"}));
}

TEST(AudioLoop, TranscriptsAreWrittenWhileTheLoopWaitsForInput) {
  auto scripted = LiveHarness::defaultPlatform();
  SessionScript script;
  script.resultsWhileAnalyzing = {{"partial", false}};
  script.results = {{"partial text", true}};
  scripted.speech->sessions.scripts = {script};
  const std::string partial = testkit::transcriptLine("partial", false);
  auto partialWritten = [partial](const std::vector<std::string>& lines) {
    return std::find(lines.begin(), lines.end(), partial) != lines.end();
  };
  LiveHarness::Outcome outcome =
      LiveHarness::run(scripted, {{testkit::initLine(), {}},
                                  {testkit::audioLine({1, 2}, 16000), {}},
                                  {R"({"type":"stop"})", partialWritten}});
  EXPECT_TRUE(outcome.waitsMet);
  EXPECT_EQ(outcome.lines, (std::vector<std::string>{testkit::readyLine(), partial,
                                                     testkit::transcriptLine("partial text", true),
                                                     testkit::stoppedLine()}));
}

TEST(AudioLoop, LongTranscriptsAndStoppedNeverShareALine) {
  auto scripted = LiveHarness::defaultPlatform();
  SessionScript script;
  std::vector<std::string> expected{testkit::readyLine()};
  for (int i = 0; i < 6; ++i) {
    // Far longer than a pipe takes in one write.
    std::string text(300'000 + i, static_cast<char>('a' + i));
    text += "\n\"/";  // escaped, so still one line
    bool isFinal = i >= 4;
    (isFinal ? script.results : script.resultsWhileAnalyzing).push_back({text, isFinal});
    expected.push_back(testkit::transcriptLine(text, isFinal));
  }
  expected.push_back(testkit::stoppedLine());
  scripted.speech->sessions.scripts = {script};
  std::vector<std::string> input;
  for (int i = 0; i < 4; ++i) input.push_back(testkit::audioLine({int16_t(i)}, 16000));
  LiveHarness::Outcome outcome = LiveHarness::run(scripted, afterInit(input));
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.lines, expected);
}

struct SessionFailureCase {
  const char* name;
  std::vector<SessionScript> scripts;
  std::vector<std::string> lines;  // after "init"
  std::string error;
  size_t linesRead;
};

TEST(AudioLoop, FailuresOfTheAnalyzerEndTheModeWithTheirOwnText) {
  SessionScript finalizeFails;
  finalizeFails.finalizeFailure = "Finalize failed";
  // Results still pending when the mode fails must not keep it alive.
  finalizeFails.resultsWhileAnalyzing = {{"kept", false}};
  SessionScript prepareFails;
  prepareFails.prepareFailure = "Model vanished";
  SessionScript startFails;
  startFails.startFailure = "Analyzer busy";
  const std::string audio = testkit::audioLine({1, 2}, 16000);
  const std::string flush = R"({"type":"flush"})";
  const std::string stop = R"({"type":"stop"})";
  for (const SessionFailureCase& c : std::vector<SessionFailureCase>{
           {"finalize at flush", {finalizeFails}, {flush, stop}, "Finalize failed", 2},
           {"finalize at stop", {finalizeFails}, {stop}, "Finalize failed", 2},
           {"finalize at end of input", {finalizeFails}, {}, "Finalize failed", 1},
           {"prepare after flush", {{}, prepareFails}, {flush, stop}, "Model vanished", 2},
           {"start after flush", {{}, startFails}, {flush, audio}, "Analyzer busy", 2},
       }) {
    SCOPED_TRACE(c.name);
    auto scripted = LiveHarness::defaultPlatform();
    scripted.speech->sessions.scripts = c.scripts;
    LiveHarness::Outcome outcome = LiveHarness::run(scripted, afterInit(c.lines));
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.lines.back(), testkit::errorLine(c.error));
    EXPECT_EQ(outcome.lines.front(), testkit::readyLine());
    EXPECT_EQ(outcome.linesRead, c.linesRead);
  }
}

}  // namespace
}  // namespace earshot
