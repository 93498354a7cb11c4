// The optional members of "init": how they are checked, what reaches the
// platform, and the "transcript" lines they add to.
#include <gtest/gtest.h>

#include "tests/session/live_harness.h"

namespace earshot {
namespace {

using platform::AudioTimeRange;
using platform::TranscriptionResult;
using platform::scripted::SessionScript;
using testkit::initWith;
using testkit::LiveHarness;

std::string quotedList(size_t count, const std::string& phrase) {
  std::string list = "[";
  for (size_t i = 0; i < count; ++i) list += (i ? ",\"" : "\"") + phrase + "\"";
  return list + "]";
}

const std::string kAttributesKind = "attributeOptions must be an array of strings";
const std::string kAttributesValue =
    "attributeOptions may only hold \"audioTimeRange\" and \"transcriptionConfidence\"";
const std::string kPhrasesKind = "contextualStrings must be an array of strings";
const std::string kPhrasesCount = "contextualStrings may hold at most 100 phrases";
const std::string kTextForm = "textForm must be \"written\" or \"spoken\"";
const std::string kPhraseShape =
    "Each phrase of contextualStrings must have 1 to 10 words and at most 100 bytes";

TEST(InitOptions, ABadOptionFailsTheHandshakeBeforeTheLocaleIsLookedAt) {
  struct Case {
    std::string members;
    std::string error;
  } cases[] = {
      {R"("attributeOptions":"audioTimeRange")", kAttributesKind},
      {R"("attributeOptions":1)", kAttributesKind},
      {R"("attributeOptions":true)", kAttributesKind},
      {R"("attributeOptions":{"audioTimeRange":true})", kAttributesKind},
      {R"("attributeOptions":["audioTimeRange",null])", kAttributesKind},
      {R"("attributeOptions":[["audioTimeRange"]])", kAttributesKind},
      {R"("attributeOptions":["AudioTimeRange"])", kAttributesValue},
      {R"("attributeOptions":["audioTimeRange",""])", kAttributesValue},
      {R"("attributeOptions":["confidence"])", kAttributesValue},
      {R"("contextualStrings":"earshot")", kPhrasesKind},
      {R"("contextualStrings":[1])", kPhrasesKind},
      {R"("contextualStrings":["earshot",null])", kPhrasesKind},
      {R"("contextualStrings":{})", kPhrasesKind},
      {R"("contextualStrings":)" + quotedList(101, "earshot"), kPhrasesCount},
      {R"("contextualStrings":[""])", kPhraseShape},
      {R"("contextualStrings":["earshot"," \t "])", kPhraseShape},
      {R"("contextualStrings":["a b c d e f g h i j k"])", kPhraseShape},
      // Unicode white space is white space: no-break, ideographic, em and
      // line separator spaces.
      {"\"contextualStrings\":[\"\u00a0\u3000\u2003\u2028\"]", kPhraseShape},
      {"\"contextualStrings\":[\"\\u00a0\\u3000\"]", kPhraseShape},
      {"\"contextualStrings\":[\"a\u00a0b\u3000c d e f g h i j\u2003k\"]", kPhraseShape},
      {R"("contextualStrings":[")" + std::string(101, 'x') + "\"]", kPhraseShape},
      {R"("textForm":"Spoken")", kTextForm},
      {R"("textForm":"")", kTextForm},
      {R"("textForm":"display")", kTextForm},
      {R"("textForm":true)", kTextForm},
      {R"("textForm":["spoken"])", kTextForm},
      {R"("textForm":{})", kTextForm},
      // The first bad member in this order wins.
      {R"("contextualStrings":[1],"attributeOptions":[2])", kAttributesKind},
      {R"("textForm":1,"contextualStrings":[1])", kPhrasesKind},
  };
  for (const Case& c : cases) testkit::expectInitRefused(c.members, c.error);
  // Even a locale nobody supports is not looked at.
  auto scripted = LiveHarness::defaultPlatform();
  LiveHarness::Outcome outcome = LiveHarness::run(
      scripted, {{R"({"type":"init","locale":"xx-XX","attributeOptions":["x"]})", {}}});
  EXPECT_EQ(outcome.lines, std::vector<std::string>{testkit::errorLine(kAttributesValue)});
}

TEST(InitOptions, GoodOptionsReachEverySessionsTranscriberAndAnalyzer) {
  const std::string plain = "makeTranscriber(en-US)";
  const std::string longest = "a b c d e f g h i j";  // 10 words
  struct Case {
    std::string members;
    std::string transcriber;  // each session's
    std::vector<std::string> phrases;
  } cases[] = {
      {R"("other":1)", plain, {}},
      {R"("attributeOptions":null,"contextualStrings":null)", plain, {}},
      {R"("attributeOptions":[],"contextualStrings":[])", plain, {}},
      {R"("attributeOptions":["audioTimeRange"])", "makeTranscriber(en-US, audioTimeRange)", {}},
      // The written form is the default; only the spoken form is asked for.
      {R"("textForm":"written")", plain, {}},
      {R"("textForm":null)", plain, {}},
      {R"("textForm":"spoken")", "makeTranscriber(en-US, spoken)", {}},
      {R"("textForm":"spoken","attributeOptions":["audioTimeRange"])",
       "makeTranscriber(en-US, audioTimeRange, spoken)",
       {}},
      {R"("attributeOptions":["transcriptionConfidence"])",
       "makeTranscriber(en-US, transcriptionConfidence)",
       {}},
      {R"("attributeOptions":["transcriptionConfidence","audioTimeRange","audioTimeRange"])",
       "makeTranscriber(en-US, audioTimeRange, transcriptionConfidence)",
       {}},
      {R"("contextualStrings":["Ksenia Wojcik","earshot","pull request","earshot"])",
       plain,
       {"Ksenia Wojcik", "earshot", "pull request", "earshot"}},
      {R"("contextualStrings":)" + quotedList(100, longest), plain,
       std::vector<std::string>(100, longest)},
      {R"("contextualStrings":[")" + std::string(100, 'x') + "\"]", plain, {std::string(100, 'x')}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.members);
    auto scripted = LiveHarness::defaultPlatform();
    LiveHarness::Outcome outcome = LiveHarness::run(
        scripted,
        {{initWith(c.members), {}}, {testkit::flushLine(), {}}, {testkit::flushLine(), {}}});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.lines,
              (std::vector<std::string>{testkit::readyLine(), testkit::stoppedLine()}));
    // The handshake's own transcriber serves no session and gets nothing;
    // each of the three sessions gets the options, the phrases before the
    // analyzer is prepared.
    std::vector<std::string> expected{plain};
    std::string context;
    for (const std::string& phrase : c.phrases) context += (context.empty() ? "" : "|") + phrase;
    for (int session = 0; session < 3; ++session) {
      expected.push_back(c.transcriber);
      if (!c.phrases.empty()) expected.push_back("setContext(" + context + ")");
      expected.push_back("prepareToAnalyze(16000)");
    }
    EXPECT_EQ(testkit::callsMatching(*scripted.log, {"makeTranscriber", "setContext", "prepare"}),
              expected);
  }
}

// A partial while audio is analysed, then two finals, one of them empty.
SessionScript attributedResults() {
  using platform::TranscribedWord;
  SessionScript script;
  script.resultsWhileAnalyzing = {
      {"go for",
       false,
       AudioTimeRange{0.3, 1.0},
       {TranscribedWord{"go", AudioTimeRange{0.47, 0.65}, std::nullopt},
        TranscribedWord{"for", AudioTimeRange{0.65, 1.0}, std::nullopt}}}};
  script.results = {{"go forward",
                     true,
                     AudioTimeRange{0.3, 1.2},
                     {TranscribedWord{"go", AudioTimeRange{0.47, 0.65}, 0.998},
                      TranscribedWord{"forward", AudioTimeRange{0.65, 1.1234}, 0.9}}},
                    {"", true, AudioTimeRange{2.0, 2.0}, {}}};
  return script;
}

TEST(TranscriptLines, CarryWhatWasAskedForAndNothingMore) {
  struct Case {
    std::string attributes;
    std::vector<std::string> transcripts;
  } cases[] = {
      // Without options, exactly the lines of a host that knows none.
      {"",
       {R"({"type":"transcript","text":"go for","isFinal":false})",
        R"({"type":"transcript","text":"go forward","isFinal":true})",
        R"({"type":"transcript","text":"","isFinal":true})"}},
      {R"("audioTimeRange")",
       {R"({"type":"transcript","text":"go for","isFinal":false,"start":0.3,"end":1,"words":[)"
        R"({"text":"go","start":0.47,"end":0.65},{"text":"for","start":0.65,"end":1}]})",
        R"({"type":"transcript","text":"go forward","isFinal":true,"start":0.3,"end":1.2,)"
        R"("words":[{"text":"go","start":0.47,"end":0.65},{"text":"forward","start":0.65,)"
        R"("end":1.123}]})",
        R"({"type":"transcript","text":"","isFinal":true,"start":2,"end":2,"words":[]})"}},
      {R"("transcriptionConfidence")",
       {R"({"type":"transcript","text":"go for","isFinal":false})",
        R"({"type":"transcript","text":"go forward","isFinal":true,"confidence":0.949,)"
        R"("words":[{"text":"go","confidence":0.998},{"text":"forward","confidence":0.9}]})",
        R"({"type":"transcript","text":"","isFinal":true,"confidence":0,"words":[]})"}},
      {R"("audioTimeRange","transcriptionConfidence")",
       {R"({"type":"transcript","text":"go for","isFinal":false,"start":0.3,"end":1,"words":[)"
        R"({"text":"go","start":0.47,"end":0.65},{"text":"for","start":0.65,"end":1}]})",
        R"({"type":"transcript","text":"go forward","isFinal":true,"start":0.3,"end":1.2,)"
        R"("confidence":0.949,"words":[{"text":"go","start":0.47,"end":0.65,"confidence":0.998},)"
        R"({"text":"forward","start":0.65,"end":1.123,"confidence":0.9}]})",
        R"({"type":"transcript","text":"","isFinal":true,"start":2,"end":2,"confidence":0,)"
        R"("words":[]})"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.attributes);
    auto scripted = LiveHarness::defaultPlatform();
    scripted.speech->sessions.scripts = {attributedResults()};
    std::string init = c.attributes.empty()
                           ? testkit::initLine()
                           : initWith(R"("attributeOptions":[)" + c.attributes + "]");
    LiveHarness::Outcome outcome =
        LiveHarness::run(scripted, {{init, {}}, {testkit::audioLine({1, 2}, 16000), {}}});
    EXPECT_EQ(outcome.status, 0);
    std::vector<std::string> expected{testkit::readyLine()};
    expected.insert(expected.end(), c.transcripts.begin(), c.transcripts.end());
    expected.push_back(testkit::stoppedLine());
    EXPECT_EQ(outcome.lines, expected);
  }
}

}  // namespace
}  // namespace earshot
